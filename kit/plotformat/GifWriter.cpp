#include "PlotData.h"

#include <QHash>
#include <QPainter>
#include <QSaveFile>

#include <algorithm>
#include <array>

namespace {

// The image's colours reduced to at most 256: the most frequent ones are kept as they
// are, every other colour is drawn with the nearest kept one. A plot has a handful of
// real colours (background, text, grid, one per series) and anti-aliased shades
// between them, so the real ones always survive.
struct Indexed
{
    QList<QRgb> palette;
    QByteArray pixels; // one palette index per pixel, row by row
};

int distance(QRgb a, QRgb b)
{
    const int dr = qRed(a) - qRed(b), dg = qGreen(a) - qGreen(b), db = qBlue(a) - qBlue(b);
    return 2 * dr * dr + 4 * dg * dg + 3 * db * db;
}

Indexed quantise(const QImage &rgb)
{
    QHash<QRgb, qint64> counts;
    for (int y = 0; y < rgb.height(); ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x)
            ++counts[line[x] & 0xffffff];
    }
    QList<std::pair<qint64, QRgb>> byCount;
    byCount.reserve(counts.size());
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        byCount.append({it.value(), it.key()});
    // Most frequent first; equal counts by colour value, so the result does not
    // depend on the hash's order.
    std::sort(byCount.begin(), byCount.end(), [](const auto &a, const auto &b) {
        return a.first != b.first ? a.first > b.first : a.second < b.second;
    });

    Indexed out;
    QHash<QRgb, uchar> index;
    for (qsizetype i = 0; i < byCount.size() && i < 256; ++i) {
        index.insert(byCount.at(i).second, uchar(i));
        out.palette.append(byCount.at(i).second);
    }
    out.pixels.resize(qsizetype(rgb.width()) * rgb.height());
    char *dst = out.pixels.data();
    for (int y = 0; y < rgb.height(); ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x) {
            const QRgb c = line[x] & 0xffffff;
            auto it = index.constFind(c);
            if (it == index.cend()) {
                int best = 0;
                int bestDistance = distance(c, out.palette.at(0));
                for (int k = 1; k < out.palette.size(); ++k) {
                    const int d = distance(c, out.palette.at(k));
                    if (d < bestDistance) {
                        best = k;
                        bestDistance = d;
                    }
                }
                it = index.insert(c, uchar(best));
            }
            *dst++ = char(it.value());
        }
    }
    return out;
}

// Packs variable-length codes least significant bit first into 255-byte sub-blocks.
class CodeWriter
{
public:
    explicit CodeWriter(QByteArray &out)
        : m_out(out)
    {}

    void write(int code, int bits)
    {
        m_buffer |= quint32(code) << m_bitCount;
        m_bitCount += bits;
        while (m_bitCount >= 8) {
            byte(char(m_buffer & 0xff));
            m_buffer >>= 8;
            m_bitCount -= 8;
        }
    }

    void finish()
    {
        if (m_bitCount > 0)
            byte(char(m_buffer & 0xff));
        m_buffer = 0;
        m_bitCount = 0;
        flushBlock();
        m_out.append('\0'); // block terminator
    }

private:
    void byte(char b)
    {
        m_block.append(b);
        if (m_block.size() == 255)
            flushBlock();
    }

    void flushBlock()
    {
        if (m_block.isEmpty())
            return;
        m_out.append(char(m_block.size()));
        m_out.append(m_block);
        m_block.clear();
    }

    QByteArray &m_out;
    QByteArray m_block;
    quint32 m_buffer = 0;
    int m_bitCount = 0;
};

// GIF's variable-length LZW over the palette indices.
void lzwEncode(const QByteArray &pixels, int minCodeSize, QByteArray &out)
{
    const int clearCode = 1 << minCodeSize;
    const int endCode = clearCode + 1;
    // The string table as a trie: child[code * 256 + index] = code of that extension.
    std::vector<quint16> child(4096 * 256, 0);
    int codeSize = minCodeSize + 1;
    int lastCode = endCode;

    CodeWriter writer(out);
    writer.write(clearCode, codeSize);
    if (pixels.isEmpty()) {
        writer.write(endCode, codeSize);
        writer.finish();
        return;
    }
    int current = uchar(pixels.at(0));
    for (qsizetype i = 1; i < pixels.size(); ++i) {
        const uchar next = uchar(pixels.at(i));
        const quint16 known = child[size_t(current) * 256 + next];
        if (known) {
            current = known;
            continue;
        }
        writer.write(current, codeSize);
        child[size_t(current) * 256 + next] = quint16(++lastCode);
        if (lastCode >= (1 << codeSize))
            ++codeSize;
        if (lastCode == 4095) {
            // The table is full: start a new one.
            writer.write(clearCode, codeSize);
            std::fill(child.begin(), child.end(), quint16(0));
            codeSize = minCodeSize + 1;
            lastCode = endCode;
        }
        current = next;
    }
    writer.write(current, codeSize);
    writer.write(endCode, codeSize);
    writer.finish();
}

void putWord(QByteArray &out, int v)
{
    out.append(char(v & 0xff));
    out.append(char((v >> 8) & 0xff));
}

} // namespace

bool writeGif(const QImage &image, const QString &path, QString *error)
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (image.isNull())
        return fail(QStringLiteral("There is no image to write."));
    if (image.width() > 65535 || image.height() > 65535)
        return fail(QStringLiteral("The image is too large for a GIF file (at most 65535 pixels "
                                   "wide and high)."));

    // Transparent parts on white.
    QImage rgb(image.size(), QImage::Format_RGB32);
    rgb.fill(Qt::white);
    {
        QPainter painter(&rgb);
        painter.drawImage(0, 0, image);
    }
    const Indexed indexed = quantise(rgb);

    int tableBits = 1; // the colour table holds 2^tableBits entries
    while ((1 << tableBits) < indexed.palette.size())
        ++tableBits;
    const int minCodeSize = std::max(2, tableBits);

    QByteArray out("GIF89a");
    putWord(out, image.width());
    putWord(out, image.height());
    out.append(char(0x80 | ((tableBits - 1) << 4) | (tableBits - 1))); // global colour table
    out.append('\0');                                                  // background colour index
    out.append('\0');                                                  // no pixel aspect ratio
    for (int i = 0; i < (1 << tableBits); ++i) {
        const QRgb c = i < indexed.palette.size() ? indexed.palette.at(i) : 0;
        out.append(char(qRed(c)));
        out.append(char(qGreen(c)));
        out.append(char(qBlue(c)));
    }
    out.append(',');
    putWord(out, 0);
    putWord(out, 0);
    putWord(out, image.width());
    putWord(out, image.height());
    out.append('\0'); // no local colour table, not interlaced
    out.append(char(minCodeSize));
    lzwEncode(indexed.pixels, minCodeSize, out);
    out.append(';');

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(QStringLiteral("Cannot write '%1': %2").arg(path, file.errorString()));
    if (file.write(out) != out.size() || !file.commit())
        return fail(QStringLiteral("Cannot write '%1': %2").arg(path, file.errorString()));
    return true;
}
