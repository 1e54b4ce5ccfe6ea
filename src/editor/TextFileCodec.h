#pragma once

#include <QByteArray>

enum class TextEncoding { Utf8, Windows1252 };

// What a text file becomes in the editor: UTF-8 bytes in which every line, the last
// one included, ends in CR LF (CR LF, a lone CR and a lone LF each end a line).
struct DecodedText
{
    QByteArray utf8;
    TextEncoding encoding = TextEncoding::Utf8;
};

namespace TextFileCodec {

// False for data that is no text (it holds NUL bytes).
bool looksLikeText(const QByteArray &raw);
// A file that is not valid UTF-8 is read as Windows-1252.
DecodedText decode(const QByteArray &raw);
// The bytes a save writes: CR LF line ends, exactly one line end after the last
// line, an empty text as an empty file; in the encoding the file was read in,
// unless the text no longer fits Windows-1252 (then UTF-8, and usedEncoding says so).
QByteArray
encode(const QByteArray &editorUtf8, TextEncoding encoding, TextEncoding *usedEncoding = nullptr);
// Line ends made CR LF; when ensureFinal, a missing line end after the last line added.
QByteArray normalizeLineEnds(const QByteArray &text, bool ensureFinal);

} // namespace TextFileCodec
