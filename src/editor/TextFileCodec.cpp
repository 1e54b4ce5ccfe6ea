#include "TextFileCodec.h"

#include <QByteArrayView>
#include <QStringDecoder>
#include <QStringEncoder>

namespace TextFileCodec {

bool looksLikeText(const QByteArray &raw)
{
    return !raw.contains('\0');
}

QByteArray normalizeLineEnds(const QByteArray &text, bool ensureFinal)
{
    const qsizetype n = text.size();
    const char *p = text.constData();
    // Most files are CR LF throughout: find the first place that needs work.
    qsizetype i = 0;
    for (; i < n; ++i) {
        if (p[i] == '\n')
            break;
        if (p[i] == '\r') {
            if (i + 1 < n && p[i + 1] == '\n') {
                ++i;
                continue;
            }
            break;
        }
    }
    const bool endsWell = n == 0 || (n >= 2 && p[n - 2] == '\r' && p[n - 1] == '\n');
    if (i == n && (!ensureFinal || endsWell))
        return text;

    QByteArray out;
    out.reserve(n + n / 16 + 2);
    out.append(p, i);
    for (; i < n; ++i) {
        const char c = p[i];
        if (c == '\r') {
            out.append("\r\n", 2);
            if (i + 1 < n && p[i + 1] == '\n')
                ++i;
        } else if (c == '\n') {
            out.append("\r\n", 2);
        } else {
            out.append(c);
        }
    }
    if (ensureFinal && !out.isEmpty() && !out.endsWith("\r\n"))
        out.append("\r\n", 2);
    return out;
}

DecodedText decode(const QByteArray &raw)
{
    DecodedText result;
    if (QByteArrayView(raw).isValidUtf8()) {
        result.utf8 = normalizeLineEnds(raw, true);
        return result;
    }
    QStringDecoder decoder("windows-1252");
    const QString text = decoder.decode(raw);
    result.encoding = TextEncoding::Windows1252;
    result.utf8 = normalizeLineEnds(text.toUtf8(), true);
    return result;
}

QByteArray encode(const QByteArray &editorUtf8, TextEncoding encoding, TextEncoding *usedEncoding)
{
    const QByteArray normalized = normalizeLineEnds(editorUtf8, true);
    if (usedEncoding)
        *usedEncoding = encoding;
    if (encoding == TextEncoding::Utf8)
        return normalized;
    const QString text = QString::fromUtf8(normalized);
    QStringEncoder encoder("windows-1252");
    QByteArray bytes = encoder.encode(text);
    // Windows-1252 cannot hold every character; a text that no longer fits is
    // written as UTF-8 rather than losing characters.
    QStringDecoder back("windows-1252");
    if (encoder.hasError() || QString(back.decode(bytes)) != text) {
        if (usedEncoding)
            *usedEncoding = TextEncoding::Utf8;
        return normalized;
    }
    return bytes;
}

} // namespace TextFileCodec
