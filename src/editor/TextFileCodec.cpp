#include "TextFileCodec.h"

#include "platform/FileAccess.h"
#include "platform/KvError.h"

#include <QByteArrayView>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <cstring>
#include <new>

namespace TextFileCodec {

namespace {
// How much readTextFile reads at a time.
constexpr qint64 pieceOfRead = qint64(4) << 20;
} // namespace

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

namespace {

// The UTF-8 form of every Windows-1252 byte from 0x80 on, as the encoder that
// writes the file back knows them.
struct Cp1252Table
{
    char bytes[128][4] = {};
    quint8 length[128] = {};
};

const Cp1252Table &cp1252()
{
    static const Cp1252Table table = [] {
        Cp1252Table t;
        for (int b = 0x80; b <= 0xff; ++b) {
            QStringDecoder decoder("windows-1252");
            const char byte = static_cast<char>(b);
            const QByteArray utf8 = QString(decoder.decode(QByteArrayView(&byte, 1))).toUtf8();
            const qsizetype n = std::min<qsizetype>(utf8.size(), 4);
            std::memcpy(t.bytes[b - 0x80], utf8.constData(), n);
            t.length[b - 0x80] = static_cast<quint8>(n);
        }
        return t;
    }();
    return table;
}

KvError tooLarge(qint64 bytes, qint64 limit, const QString &why)
{
    const KvError base = KvError::outOfMemory();
    const auto mb = [](qint64 n) { return QString::number((n + (1 << 20) - 1) >> 20); };
    return {base.number(),
            base.description() + QStringLiteral(": the text takes ") + mb(bytes)
                + QStringLiteral(" MB, more than the ") + mb(limit) + QStringLiteral(" MB ") + why};
}

void checkSize(qint64 bytes)
{
    if (bytes > maxDocumentBytes)
        throw tooLarge(bytes, maxDocumentBytes, QStringLiteral("a document can hold"));
    const qint64 available = FileAccess::availableMemory();
    if (available >= 0 && bytes > available / memoryPerDocumentByte)
        throw tooLarge(
            bytes, available / memoryPerDocumentByte, QStringLiteral("the free memory can hold"));
}

// Rewrites text in place, from its end backwards: line ends become CR LF, a last
// line gets its line end, and (for Windows-1252) every byte from 0x80 on becomes
// its UTF-8 form. Each piece grows or stays, so the output never overtakes the
// input still to be read.
template<bool FromCp1252>
void rewriteInPlace(QByteArray &text)
{
    const Cp1252Table &table = cp1252();
    const qsizetype n = text.size();
    const auto *p = reinterpret_cast<const uchar *>(text.constData());
    qint64 out = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const uchar c = p[i];
        if (c == '\r') {
            out += 2;
            if (i + 1 < n && p[i + 1] == '\n')
                ++i;
        } else if (c == '\n') {
            out += 2;
        } else if (FromCp1252 && c >= 0x80) {
            out += table.length[c - 0x80];
        } else {
            ++out;
        }
    }
    const bool addFinal = n > 0 && p[n - 1] != '\n' && p[n - 1] != '\r';
    if (addFinal)
        out += 2;
    if (out == n)
        return; // every piece kept its size: nothing changes
    if (out > maxDocumentBytes)
        throw tooLarge(out, maxDocumentBytes, QStringLiteral("a document can hold"));
    text.resize(static_cast<qsizetype>(out));
    char *d = text.data();
    qsizetype w = static_cast<qsizetype>(out);
    if (addFinal) {
        d[--w] = '\n';
        d[--w] = '\r';
    }
    for (qsizetype i = n; i-- > 0;) {
        const auto c = static_cast<uchar>(d[i]);
        if (c == '\n') {
            const bool pair = i > 0 && d[i - 1] == '\r';
            d[--w] = '\n';
            d[--w] = '\r';
            if (pair)
                --i;
        } else if (c == '\r') {
            d[--w] = '\n';
            d[--w] = '\r';
        } else if (FromCp1252 && c >= 0x80) {
            const quint8 len = table.length[c - 0x80];
            w -= len;
            std::memcpy(d + w, table.bytes[c - 0x80], len);
        } else {
            d[--w] = static_cast<char>(c);
        }
    }
}

} // namespace

DecodedText decode(QByteArray raw)
{
    DecodedText result;
    result.encoding
        = QByteArrayView(raw).isValidUtf8() ? TextEncoding::Utf8 : TextEncoding::Windows1252;
    if (result.encoding == TextEncoding::Utf8)
        rewriteInPlace<false>(raw);
    else
        rewriteInPlace<true>(raw);
    result.utf8 = std::move(raw);
    return result;
}

namespace {

// Checks one piece of a text that must be UTF-8 with CR LF line ends. The bytes at
// the piece's end that cannot be judged yet (a CR whose LF may follow, a character
// cut in two) are left for the next piece: the result is how many bytes were
// judged good, or -1 when the text is not such a text.
qsizetype checkCrLfUtf8(const char *p, qsizetype n, char before, bool atEnd)
{
    qsizetype judged = n;
    if (!atEnd) {
        // A character cut at the end: its lead byte and what follows wait.
        qsizetype i = n;
        int back = 0;
        while (i > 0 && back < 4 && (static_cast<uchar>(p[i - 1]) & 0xc0) == 0x80) {
            --i;
            ++back;
        }
        if (i > 0) {
            const auto lead = static_cast<uchar>(p[i - 1]);
            const int need = lead >= 0xf0 ? 4 : lead >= 0xe0 ? 3 : lead >= 0xc0 ? 2 : 1;
            if (need > 1 && back + 1 < need)
                judged = i - 1;
        }
        if (judged > 0 && p[judged - 1] == '\r')
            --judged;
    }
    if (judged <= 0)
        return 0;
    if (std::memchr(p, '\0', static_cast<size_t>(judged)))
        return -1;
    // Every LF follows a CR, and there are as many CRs as LFs: then every CR is
    // followed by its LF too.
    qsizetype lineFeeds = 0;
    const char *end = p + judged;
    for (const char *q = p; (q = static_cast<const char *>(std::memchr(q, '\n', end - q))); ++q) {
        if ((q > p ? q[-1] : before) != '\r')
            return -1;
        ++lineFeeds;
    }
    if (std::count(p, end, '\r') != lineFeeds)
        return -1;
    if (!QByteArrayView(p, judged).isValidUtf8())
        return -1;
    return judged;
}

// One pass over the file; sink may be empty (the checking pass). False when the
// file is not UTF-8 with CR LF line ends.
bool crLfUtf8Pass(const QString &path,
                  const std::function<void(const char *, qsizetype)> &sink,
                  qsizetype pieceBytes,
                  const ReadProgress &onPiece)
{
    QFile file;
    FileAccess::openRegularFile(file, path);
    checkSize(file.size());
    QByteArray buffer(pieceBytes + 8, Qt::Uninitialized);
    char *d = buffer.data();
    qsizetype held = 0; // bytes left over from the last piece, at the buffer's start
    qint64 total = 0;
    char before = 0;
    char last = 0;
    for (;;) {
        const qint64 r = file.read(d + held, pieceBytes - held + 8);
        if (r < 0)
            throw KvError::fromFile(file);
        const bool atEnd = r == 0;
        const qsizetype n = held + static_cast<qsizetype>(r);
        total += r;
        checkSize(total);
        const qsizetype good = checkCrLfUtf8(d, n, before, atEnd);
        if (good < 0 || (atEnd && good != n))
            return false;
        if (good > 0) {
            if (sink)
                sink(d, good);
            before = d[good - 1];
            last = before;
        }
        held = n - good;
        std::memmove(d, d + good, static_cast<size_t>(held));
        if (atEnd)
            break;
        if (onPiece)
            onPiece(total);
    }
    if (total > 0 && last != '\n' && sink)
        sink("\r\n", 2);
    return true;
}

} // namespace

bool isCrLfUtf8File(const QString &path, qsizetype pieceBytes, const ReadProgress &onPiece)
{
    try {
        return crLfUtf8Pass(path, {}, std::max<qsizetype>(pieceBytes, 16), onPiece);
    } catch (const std::bad_alloc &) {
        throw KvError::outOfMemory();
    }
}

void readCrLfUtf8InPieces(const QString &path,
                          const std::function<void(const char *, qsizetype)> &sink,
                          qsizetype pieceBytes)
{
    try {
        if (!crLfUtf8Pass(path, sink, std::max<qsizetype>(pieceBytes, 16), {}))
            throw KvError(KvError::deviceIo().number(),
                          KvError::deviceIo().description()
                              + QStringLiteral(": the file changed while it was read"));
    } catch (const std::bad_alloc &) {
        throw KvError::outOfMemory();
    }
}

DecodedText readTextFile(const QString &path, const ReadProgress &onPiece)
{
    try {
        // The size first: a file too large is refused before anything is read.
        const QFileInfo info(path);
        if (info.isFile())
            checkSize(info.size());
        QFile file;
        FileAccess::openRegularFile(file, path);
        const qint64 size = file.size();
        checkSize(size);
        QByteArray raw(static_cast<qsizetype>(size), Qt::Uninitialized);
        qint64 got = 0;
        for (;;) {
            if (got == raw.size()) {
                // The file may have grown since its size was asked.
                char probe = 0;
                const qint64 r = file.read(&probe, 1);
                if (r < 0)
                    throw KvError::fromFile(file);
                if (r == 0)
                    break;
                checkSize(got + (1 << 16));
                raw.resize(got + (1 << 16));
                raw[got++] = probe;
            }
            // In pieces, so that the reading can be followed (and stopped).
            const qint64 r
                = file.read(raw.data() + got, std::min<qint64>(raw.size() - got, pieceOfRead));
            if (r < 0)
                throw KvError::fromFile(file);
            if (r == 0)
                break;
            got += r;
            if (onPiece)
                onPiece(got);
        }
        raw.truncate(static_cast<qsizetype>(got));
        file.close();
        if (!looksLikeText(raw))
            throw KvError(KvError::pathFileAccess().number(),
                          QStringLiteral("Path/File access error: the file holds binary data, "
                                         "not text"));
        return decode(std::move(raw));
    } catch (const std::bad_alloc &) {
        throw KvError::outOfMemory();
    }
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
