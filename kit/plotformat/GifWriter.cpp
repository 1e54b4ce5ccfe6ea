#include "PlotData.h"

#include <QHash>
#include <QPainter>
#include <QSaveFile>

#include <gif_lib.h>

#include <algorithm>

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

// giflib hands the encoded bytes here; the whole file is built in memory and
// written at once.
int appendBytes(GifFileType *gif, const GifByteType *bytes, int length)
{
    static_cast<QByteArray *>(gif->UserData)->append(reinterpret_cast<const char *>(bytes), length);
    return length;
}

QString gifError(int code)
{
    const char *text = GifErrorString(code);
    return text ? QString::fromLatin1(text) : QStringLiteral("error %1").arg(code);
}

// The indexed image as a GIF89a file in memory; empty with the reason when giflib fails.
QByteArray encode(const Indexed &indexed, QSize size, QString *why)
{
    int tableBits = 1; // the colour table holds 2^tableBits entries
    while ((1 << tableBits) < indexed.palette.size())
        ++tableBits;
    QList<GifColorType> colours(1 << tableBits, GifColorType{0, 0, 0});
    for (qsizetype i = 0; i < indexed.palette.size(); ++i) {
        const QRgb c = indexed.palette.at(i);
        colours[i]
            = GifColorType{GifByteType(qRed(c)), GifByteType(qGreen(c)), GifByteType(qBlue(c))};
    }

    QByteArray out;
    int code = 0;
    GifFileType *gif = EGifOpen(&out, appendBytes, &code);
    if (!gif) {
        *why = gifError(code);
        return QByteArray();
    }
    ColorMapObject *map = GifMakeMapObject(int(colours.size()), colours.data());
    bool ok = map != nullptr;
    if (ok) {
        EGifSetGifVersion(gif, true);
        // The screen keeps its own copy of the colour table.
        ok = EGifPutScreenDesc(gif, size.width(), size.height(), tableBits, 0, map) == GIF_OK
             && EGifPutImageDesc(gif, 0, 0, size.width(), size.height(), false, nullptr) == GIF_OK;
        GifFreeMapObject(map);
    }
    QByteArray row;
    for (int y = 0; ok && y < size.height(); ++y) {
        row = indexed.pixels.sliced(qsizetype(y) * size.width(), size.width());
        ok = EGifPutLine(gif, reinterpret_cast<GifPixelType *>(row.data()), size.width()) == GIF_OK;
    }
    if (!ok)
        code = gif->Error;
    int closeCode = 0;
    if (EGifCloseFile(gif, &closeCode) != GIF_OK && ok) {
        ok = false;
        code = closeCode;
    }
    if (!ok) {
        *why = map ? gifError(code) : QStringLiteral("no memory for the colour table");
        return QByteArray();
    }
    return out;
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
    QString why;
    const QByteArray out = encode(indexed, image.size(), &why);
    if (out.isEmpty())
        return fail(QStringLiteral("Cannot encode the GIF picture for '%1': %2").arg(path, why));

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(QStringLiteral("Cannot write '%1': %2").arg(path, file.errorString()));
    if (file.write(out) != out.size() || !file.commit())
        return fail(QStringLiteral("Cannot write '%1': %2").arg(path, file.errorString()));
    return true;
}
