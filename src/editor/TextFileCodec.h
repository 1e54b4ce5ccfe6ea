#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

enum class TextEncoding { Utf8, Windows1252 };

// What a text file becomes in the editor: UTF-8 bytes in which every line, the last
// one included, ends in CR LF (CR LF, a lone CR and a lone LF each end a line).
struct DecodedText
{
    QByteArray utf8;
    TextEncoding encoding = TextEncoding::Utf8;
};

namespace TextFileCodec {

// The largest file, and the largest decoded text, a document holds: 1 GiB. The
// editor component counts positions in 32 bits (2 GiB), and a Windows-1252 text
// may grow by half or more when decoded, so this keeps well inside its range.
constexpr qint64 maxDocumentBytes = qint64(1) << 30;
// Loading holds the text about three times at its peak (the decoded text, the
// editor's copy and the editor's character styles): a file is read only when the
// system can give that much memory.
constexpr int memoryPerDocumentByte = 3;

// After every piece read: how many bytes of the file were read so far. It may
// throw to stop the reading.
using ReadProgress = std::function<void(qint64 bytesRead)>;

// Reads a text file whole and decodes it, never holding more than one buffer of
// it. Refuses, with the classic error (a KvError), what is no regular file (75),
// a file too large to hold (7), binary data (75), and an allocation that fails (7).
DecodedText readTextFile(const QString &path, const ReadProgress &onPiece = {});

// The common case read without holding the file whole: a text file that is valid
// UTF-8 with CR LF line ends throughout. isCrLfUtf8File checks a file in one pass
// (throwing the same refusals as readTextFile); readCrLfUtf8InPieces then hands it
// to sink piece by piece (pieceBytes at a time), exactly the bytes readTextFile
// would give (a missing last line end added). A file that changed meanwhile into
// something else throws 57.
bool isCrLfUtf8File(const QString &path,
                    qsizetype pieceBytes = qsizetype(4) << 20,
                    const ReadProgress &onPiece = {});
void readCrLfUtf8InPieces(const QString &path,
                          const std::function<void(const char *, qsizetype)> &sink,
                          qsizetype pieceBytes = qsizetype(4) << 20);

// False for data that is no text (it holds NUL bytes).
bool looksLikeText(const QByteArray &raw);
// A file that is not valid UTF-8 is read as Windows-1252. The bytes are decoded in
// place: pass a buffer nobody else holds (std::move) to avoid a copy.
DecodedText decode(QByteArray raw);
// The bytes a save writes: CR LF line ends, exactly one line end after the last
// line, an empty text as an empty file; in the encoding the file was read in,
// unless the text no longer fits Windows-1252 (then UTF-8, and usedEncoding says so).
QByteArray
encode(const QByteArray &editorUtf8, TextEncoding encoding, TextEncoding *usedEncoding = nullptr);
// Line ends made CR LF; when ensureFinal, a missing line end after the last line added.
QByteArray normalizeLineEnds(const QByteArray &text, bool ensureFinal);

} // namespace TextFileCodec
