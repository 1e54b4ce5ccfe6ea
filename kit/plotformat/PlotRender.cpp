#include "PlotData.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// A series with no more points than this shows a marker at each.
constexpr qsizetype maxMarkedPoints = 40;

// An axis running from lo to hi with ticks every step, lo and hi being multiples of it.
struct Axis
{
    double lo = 0;
    double hi = 1;
    double step = 0.2;

    QList<double> ticks() const
    {
        QList<double> out;
        for (int i = 0; i <= 200; ++i) {
            const double v = lo + i * step;
            if (v > hi + step * 1e-6)
                break;
            out.append(std::abs(v) < step * 1e-9 ? 0.0 : v);
        }
        return out;
    }
};

// Ticks at 1, 2, 2.5 or 5 times a power of ten, at most about maxTicks of them.
Axis niceAxis(double min, double max, int maxTicks)
{
    if (!(max > min)) {
        const double d = min == 0 ? 1.0 : std::abs(min) * 0.1;
        min -= d;
        max += d;
    }
    maxTicks = std::max(2, maxTicks);
    const double span = max - min;
    if (!std::isfinite(span)) {
        // The numbers reach the ends of the double range: no room to round outwards.
        return Axis{min, max, max / maxTicks - min / maxTicks};
    }
    const double raw = span / maxTicks;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double f = raw / magnitude;
    const double step = (f <= 1 ? 1 : f <= 2 ? 2 : f <= 2.5 ? 2.5 : f <= 5 ? 5 : 10) * magnitude;
    Axis a{std::floor(min / step) * step, std::ceil(max / step) * step, step};
    if (!std::isfinite(a.lo) || !std::isfinite(a.hi))
        a = Axis{min, max, span / maxTicks};
    return a;
}

// Consecutive points that fall into one pixel column are drawn through that column's
// first, lowest, highest and last point: the same picture from at most four points a
// column, however many the series has.
QPolygonF thinned(const QPolygonF &in)
{
    QPolygonF out;
    out.reserve(std::min<qsizetype>(in.size(), 4096));
    qsizetype i = 0;
    while (i < in.size()) {
        const double column = std::floor(in.at(i).x());
        qsizetype j = i, lo = i, hi = i;
        while (j + 1 < in.size() && std::floor(in.at(j + 1).x()) == column) {
            ++j;
            if (in.at(j).y() < in.at(lo).y())
                lo = j;
            if (in.at(j).y() > in.at(hi).y())
                hi = j;
        }
        const qsizetype keep[4] = {i, std::min(lo, hi), std::max(lo, hi), j};
        qsizetype last = -1;
        for (qsizetype k : keep) {
            if (k != last)
                out.append(in.at(k));
            last = k;
        }
        i = j + 1;
    }
    return out;
}

QString tickText(double v)
{
    return QString::number(v, 'g', 6);
}

QFont pixelFont(int px, bool bold = false)
{
    QFont f;
    f.setPixelSize(px);
    f.setBold(bold);
    return f;
}

} // namespace

QColor plotSeriesColour(qsizetype index)
{
    static const QRgb fixed[] = {0x1f77b4,
                                 0xd62728,
                                 0x2ca02c,
                                 0xff7f0e,
                                 0x9467bd,
                                 0x8c564b,
                                 0xe377c2,
                                 0x17becf,
                                 0xbcbd22,
                                 0x000080};
    constexpr qsizetype count = sizeof(fixed) / sizeof(fixed[0]);
    if (index >= 0 && index < count)
        return QColor::fromRgb(fixed[index]);
    return QColor::fromHsv(int((index * 137) % 360), 220, 190);
}

QImage renderPlot(const PlotData &plot, QSize size)
{
    if (size.isEmpty())
        return QImage();
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);

    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    const QFont textFont = pixelFont(12);
    const QFont titleFont = pixelFont(15, true);
    const QFontMetrics fm(textFont);
    const QFontMetrics tfm(titleFont);

    // The data's extent.
    double xMin = std::numeric_limits<double>::infinity(), xMax = -xMin;
    double yMin = xMin, yMax = -xMin;
    for (const PlotSeries &s : plot.series) {
        for (const QPointF &pt : s.points) {
            xMin = std::min(xMin, pt.x());
            xMax = std::max(xMax, pt.x());
            yMin = std::min(yMin, pt.y());
            yMax = std::max(yMax, pt.y());
        }
    }
    if (!(xMin <= xMax)) {
        xMin = yMin = 0;
        xMax = yMax = 1;
    }

    // Room around the plot area: title above; tick labels and axis labels left and below.
    const int pad = 8;
    const int top = pad + (plot.title.isEmpty() ? fm.height() / 2 : tfm.height() + pad);
    const int bottom = pad + fm.height() + 6 + (plot.xLabel.isEmpty() ? 0 : fm.height() + pad);
    const int right = pad + fm.horizontalAdvance(QStringLiteral("0000")) / 2 + pad;
    const int plotHeight = std::max(1, size.height() - top - bottom);
    const Axis yAxis = niceAxis(yMin, yMax, std::min(12, plotHeight / (fm.height() * 3)));
    int yTickWidth = 0;
    const QList<double> yTicks = yAxis.ticks();
    for (double v : yTicks)
        yTickWidth = std::max(yTickWidth, fm.horizontalAdvance(tickText(v)));
    const int left = pad + (plot.yLabel.isEmpty() ? 0 : fm.height() + pad) + yTickWidth + 6;
    const QRectF area(left, top, std::max(1, size.width() - left - right), plotHeight);

    const Axis xProbe = niceAxis(xMin, xMax, 8);
    const int xLabelWidth = std::max(fm.horizontalAdvance(tickText(xProbe.lo)),
                                     fm.horizontalAdvance(tickText(xProbe.hi)))
                            + fm.horizontalAdvance(QStringLiteral("0000"));
    const Axis xAxis
        = niceAxis(xMin, xMax, std::min(12, int(area.width()) / std::max(1, xLabelWidth)));
    const QList<double> xTicks = xAxis.ticks();

    // Halved before subtracting, so values near the ends of the double range still map.
    auto mapX = [&](double x) {
        return area.left()
               + (x * 0.5 - xAxis.lo * 0.5) / (xAxis.hi * 0.5 - xAxis.lo * 0.5) * area.width();
    };
    auto mapY = [&](double y) {
        return area.bottom()
               - (y * 0.5 - yAxis.lo * 0.5) / (yAxis.hi * 0.5 - yAxis.lo * 0.5) * area.height();
    };

    // Grid, frame, ticks and their labels.
    p.setFont(textFont);
    p.setPen(QPen(QColor(0xe4, 0xe4, 0xe4), 1));
    for (double v : xTicks)
        p.drawLine(QPointF(mapX(v), area.top()), QPointF(mapX(v), area.bottom()));
    for (double v : yTicks)
        p.drawLine(QPointF(area.left(), mapY(v)), QPointF(area.right(), mapY(v)));
    p.setPen(QPen(QColor(0x40, 0x40, 0x40), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(area);
    p.setPen(Qt::black);
    for (double v : xTicks) {
        const double x = mapX(v);
        p.drawLine(QPointF(x, area.bottom()), QPointF(x, area.bottom() + 4));
        const QString t = tickText(v);
        const int w = fm.horizontalAdvance(t);
        p.drawText(QPointF(x - w / 2.0, area.bottom() + 6 + fm.ascent()), t);
    }
    for (double v : yTicks) {
        const double y = mapY(v);
        p.drawLine(QPointF(area.left() - 4, y), QPointF(area.left(), y));
        const QString t = tickText(v);
        const int w = fm.horizontalAdvance(t);
        p.drawText(QPointF(area.left() - 6 - w, y + (fm.ascent() - fm.descent()) / 2.0), t);
    }

    // Title and axis labels.
    if (!plot.title.isEmpty()) {
        p.setFont(titleFont);
        p.drawText(QRectF(0, pad, size.width(), tfm.height()),
                   Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine,
                   tfm.elidedText(plot.title, Qt::ElideRight, size.width() - 2 * pad));
        p.setFont(textFont);
    }
    if (!plot.xLabel.isEmpty()) {
        p.drawText(
            QRectF(area.left(), size.height() - pad - fm.height(), area.width(), fm.height()),
            Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine,
            fm.elidedText(plot.xLabel, Qt::ElideRight, int(area.width())));
    }
    if (!plot.yLabel.isEmpty()) {
        p.save();
        p.translate(pad, area.bottom());
        p.rotate(-90);
        p.drawText(QRectF(0, 0, area.height(), fm.height()),
                   Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine,
                   fm.elidedText(plot.yLabel, Qt::ElideRight, int(area.height())));
        p.restore();
    }

    // The series: lines, with markers when there are few points.
    QList<QPolygonF> drawn;
    p.save();
    p.setClipRect(area.adjusted(-4, -4, 4, 4));
    for (qsizetype i = 0; i < plot.series.size(); ++i) {
        const PlotSeries &s = plot.series.at(i);
        const QColor colour = plotSeriesColour(i);
        QPolygonF line;
        line.reserve(s.points.size());
        for (const QPointF &pt : s.points)
            line.append(QPointF(mapX(pt.x()), mapY(pt.y())));
        if (line.size() > maxMarkedPoints)
            line = thinned(line);
        p.setPen(QPen(colour, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        if (line.size() > 1)
            p.drawPolyline(line);
        drawn.append(line);
        if (line.size() <= maxMarkedPoints) {
            p.setBrush(colour);
            p.setPen(QPen(colour, 1));
            for (const QPointF &pt : line)
                p.drawEllipse(pt, 3.5, 3.5);
        }
    }
    p.restore();

    // The legend, as many entries as fit.
    if (!plot.series.isEmpty()) {
        const int sample = 24;
        const int rowHeight = fm.height() + 2;
        const int maxRows = std::max(1, int(area.height() - 12) / rowHeight);
        const int nameRoom = std::max(20, int(area.width() / 2) - sample - 20);
        int rows = int(std::min<qsizetype>(plot.series.size(), maxRows));
        const bool cut = rows < plot.series.size();
        QStringList names;
        int nameWidth = 0;
        for (int i = 0; i < rows; ++i) {
            QString name = fm.elidedText(plot.series.at(i).name, Qt::ElideRight, nameRoom);
            if (cut && i == rows - 1)
                name = QStringLiteral("(%1 more)").arg(plot.series.size() - rows + 1);
            names.append(name);
            nameWidth = std::max(nameWidth, fm.horizontalAdvance(name));
        }
        // In the corner of the plot area that hides the fewest points (top right first).
        const QSizeF boxSize(nameWidth + sample + 18, rows * rowHeight + 8);
        const QPointF corners[] = {
            {area.right() - 8 - boxSize.width(), area.top() + 8},
            {area.left() + 8, area.top() + 8},
            {area.right() - 8 - boxSize.width(), area.bottom() - 8 - boxSize.height()},
            {area.left() + 8, area.bottom() - 8 - boxSize.height()},
        };
        QRectF box(corners[0], boxSize);
        qsizetype fewest = -1;
        for (const QPointF &corner : corners) {
            const QRectF candidate = QRectF(corner, boxSize).adjusted(-4, -4, 4, 4);
            qsizetype hidden = 0;
            for (const QPolygonF &line : drawn)
                for (const QPointF &pt : line)
                    hidden += candidate.contains(pt);
            if (fewest < 0 || hidden < fewest) {
                fewest = hidden;
                box = QRectF(corner, boxSize);
            }
        }
        p.setPen(QPen(QColor(0xa0, 0xa0, 0xa0), 1));
        p.setBrush(QColor(255, 255, 255, 235));
        p.drawRect(box);
        for (int i = 0; i < rows; ++i) {
            const double y = box.top() + 4 + i * rowHeight + rowHeight / 2.0;
            const bool more = cut && i == rows - 1;
            if (!more) {
                const QColor colour = plotSeriesColour(i);
                p.setPen(QPen(colour, 2));
                p.drawLine(QPointF(box.left() + 6, y), QPointF(box.left() + 6 + sample, y));
                if (plot.series.at(i).points.size() <= maxMarkedPoints) {
                    p.setBrush(colour);
                    p.setPen(QPen(colour, 1));
                    p.drawEllipse(QPointF(box.left() + 6 + sample / 2.0, y), 3.5, 3.5);
                }
            }
            p.setPen(Qt::black);
            p.drawText(QPointF(box.left() + 12 + sample, y + (fm.ascent() - fm.descent()) / 2.0),
                       names.at(i));
        }
    }
    p.end();
    return image;
}
