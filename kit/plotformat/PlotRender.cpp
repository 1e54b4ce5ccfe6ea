#include "PlotData.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace {

// A line series with no more points than this shows a dot at each.
constexpr qsizetype maxMarkedPoints = 40;
constexpr double dotRadius = 3.5;
// The size of a markers-only series' symbols (half their width).
constexpr double markerRadius = 4.5;
constexpr double lineWidth = 2;

// An axis running from lo to hi with major ticks every step, lo and hi being multiples
// of it. A logarithmic axis holds the powers of ten: lo, hi and step are exponents.
struct Axis
{
    double lo = 0;
    double hi = 1;
    double step = 0.2;
    bool log = false;

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

    // On a logarithmic axis with a tick at every power of ten, the places of 2, 3 ... 9
    // times each (as exponents); nothing on a linear axis.
    QList<double> minorTicks() const
    {
        QList<double> out;
        if (!log || step != 1 || hi - lo > 12)
            return out;
        for (double e = lo; e < hi; e += 1)
            for (int k = 2; k <= 9; ++k)
                out.append(e + std::log10(double(k)));
        return out;
    }

    // Where a data value lies on the axis (its exponent on a logarithmic one); NaN for a
    // value a logarithmic axis cannot show.
    double coordinate(double v) const
    {
        if (!log)
            return v;
        return v > 0 ? std::log10(v) : std::numeric_limits<double>::quiet_NaN();
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

// A logarithmic axis from the exponents of the smallest and largest value: whole
// decades, a tick at every one or every 2, 5, 10, 20 ... of them.
Axis logAxis(double minExponent, double maxExponent, int maxTicks)
{
    maxTicks = std::max(2, maxTicks);
    double lo = std::floor(minExponent);
    double hi = std::ceil(maxExponent);
    if (hi <= lo) {
        lo -= 1;
        hi += 1;
    }
    double step = 1;
    for (double magnitude = 1;; magnitude *= 10) {
        for (double f : {1.0, 2.0, 5.0}) {
            step = f * magnitude;
            if ((std::ceil(hi / step) - std::floor(lo / step)) <= maxTicks)
                return Axis{std::floor(lo / step) * step, std::ceil(hi / step) * step, step, true};
        }
    }
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

// Markers that would land on the same pixel are drawn once.
QPolygonF distinctPixels(const QPolygonF &in)
{
    if (in.size() <= maxMarkedPoints)
        return in;
    QPolygonF out;
    QSet<qint64> seen;
    for (const QPointF &pt : in) {
        const qint64 key = (qint64(std::lround(pt.x())) << 32) ^ qint64(std::lround(pt.y()));
        if (!seen.contains(key)) {
            seen.insert(key);
            out.append(pt);
        }
    }
    return out;
}

// A tick label: the number, or on a logarithmic axis "10" with its exponent raised.
struct TickLabel
{
    QString base;
    QString exponent;
};

TickLabel tickLabel(const Axis &axis, double v)
{
    if (!axis.log)
        return {QString::number(v, 'g', 6), QString()};
    QString e = QString::number(std::lround(v));
    e.replace(QLatin1Char('-'), QChar(0x2212)); // a real minus sign
    return {QStringLiteral("10"), e};
}

QFont pixelFont(int px, bool bold = false)
{
    QFont f;
    f.setPixelSize(px);
    f.setBold(bold);
    return f;
}

struct Fonts
{
    QFont text = pixelFont(12);
    QFont small = pixelFont(9);
    QFont title = pixelFont(15, true);
    QFontMetrics fm{text};
    QFontMetrics sfm{small};
    QFontMetrics tfm{title};

    int width(const TickLabel &label) const
    {
        return fm.horizontalAdvance(label.base)
               + (label.exponent.isEmpty() ? 0 : sfm.horizontalAdvance(label.exponent) + 1);
    }
};

void drawTickLabel(QPainter &p, const Fonts &fonts, const TickLabel &label, QPointF baseline)
{
    p.setFont(fonts.text);
    p.drawText(baseline, label.base);
    if (label.exponent.isEmpty())
        return;
    p.setFont(fonts.small);
    p.drawText(QPointF(baseline.x() + fonts.fm.horizontalAdvance(label.base) + 1,
                       baseline.y() - fonts.fm.ascent() * 0.45),
               label.exponent);
    p.setFont(fonts.text);
}

// The extent of the values each axis can show.
struct Extent
{
    double xMin = 0, xMax = 1, yMin = 0, yMax = 1;
};

Extent extentOf(const PlotData &plot)
{
    const Axis xProbe{0, 1, 1, plot.xLog}, yProbe{0, 1, 1, plot.yLog};
    double xMin = std::numeric_limits<double>::infinity(), xMax = -xMin;
    double yMin = xMin, yMax = -xMin;
    for (const PlotSeries &s : plot.series) {
        for (const QPointF &pt : s.points) {
            const double x = xProbe.coordinate(pt.x()), y = yProbe.coordinate(pt.y());
            if (!std::isfinite(x) || !std::isfinite(y))
                continue;
            xMin = std::min(xMin, x);
            xMax = std::max(xMax, x);
            yMin = std::min(yMin, y);
            yMax = std::max(yMax, y);
        }
    }
    if (!(xMin <= xMax))
        return Extent{};
    return Extent{xMin, xMax, yMin, yMax};
}

// Where everything goes for a given image size and room kept below for a legend.
struct Layout
{
    QRectF area;
    Axis x, y;
    int pad = 8;
};

Layout makeLayout(const PlotData &plot, QSize size, const Extent &e, const Fonts &f, int below)
{
    const QFontMetrics &fm = f.fm;
    Layout l;
    const int pad = l.pad;
    const int exponentRise = (plot.yLog || plot.xLog) ? f.sfm.height() / 3 : 0;
    const int top
        = pad + exponentRise + (plot.title.isEmpty() ? fm.height() / 2 : f.tfm.height() + pad);
    const int bottom = pad + fm.height() + 6 + exponentRise
                       + (plot.xLabel.isEmpty() ? 0 : fm.height() + pad) + below;
    const int right = pad + fm.horizontalAdvance(QStringLiteral("0000")) / 2 + pad;
    const int plotHeight = std::max(1, size.height() - top - bottom);
    const int maxYTicks = std::min(12, plotHeight / (fm.height() * 3));
    l.y = plot.yLog ? logAxis(e.yMin, e.yMax, maxYTicks) : niceAxis(e.yMin, e.yMax, maxYTicks);
    int yTickWidth = 0;
    for (double v : l.y.ticks())
        yTickWidth = std::max(yTickWidth, f.width(tickLabel(l.y, v)));
    const int left = pad + (plot.yLabel.isEmpty() ? 0 : fm.height() + pad) + yTickWidth + 6;
    l.area = QRectF(left, top, std::max(1, size.width() - left - right), plotHeight);

    const Axis xProbe = plot.xLog ? logAxis(e.xMin, e.xMax, 8) : niceAxis(e.xMin, e.xMax, 8);
    const int xLabelWidth
        = std::max(f.width(tickLabel(xProbe, xProbe.lo)), f.width(tickLabel(xProbe, xProbe.hi)))
          + fm.horizontalAdvance(QStringLiteral("0000"));
    const int maxXTicks = std::min(12, int(l.area.width()) / std::max(1, xLabelWidth));
    l.x = plot.xLog ? logAxis(e.xMin, e.xMax, maxXTicks) : niceAxis(e.xMin, e.xMax, maxXTicks);
    return l;
}

// Halved before subtracting, so values near the ends of the double range still map.
double mapX(const Layout &l, double c)
{
    return l.area.left()
           + (c * 0.5 - l.x.lo * 0.5) / (l.x.hi * 0.5 - l.x.lo * 0.5) * l.area.width();
}

double mapY(const Layout &l, double c)
{
    return l.area.bottom()
           - (c * 0.5 - l.y.lo * 0.5) / (l.y.hi * 0.5 - l.y.lo * 0.5) * l.area.height();
}

// One series as it is drawn: the line through its points (thinned when dense) and the
// points that get a symbol.
struct DrawnSeries
{
    QPolygonF line;
    QPolygonF marks;
    PlotSeries::Style style = PlotSeries::Style::Line;
};

bool showsDots(const PlotSeries &s)
{
    return s.style == PlotSeries::Style::Line && s.points.size() <= maxMarkedPoints;
}

QList<DrawnSeries> drawnSeries(const PlotData &plot, const Layout &l)
{
    QList<DrawnSeries> out;
    for (const PlotSeries &s : plot.series) {
        QPolygonF pts;
        pts.reserve(s.points.size());
        for (const QPointF &pt : s.points) {
            const double x = l.x.coordinate(pt.x()), y = l.y.coordinate(pt.y());
            if (std::isfinite(x) && std::isfinite(y))
                pts.append(QPointF(mapX(l, x), mapY(l, y)));
        }
        DrawnSeries d;
        d.style = s.style;
        if (s.style == PlotSeries::Style::Markers) {
            d.marks = distinctPixels(pts);
        } else {
            d.line = pts.size() > maxMarkedPoints ? thinned(pts) : pts;
            if (showsDots(s) || d.line.size() == 1)
                d.marks = d.line;
        }
        out.append(d);
    }
    return out;
}

// Whether the segment from a to b passes through the rectangle (Liang-Barsky clipping).
bool segmentMeets(QPointF a, QPointF b, const QRectF &r)
{
    double t0 = 0, t1 = 1;
    const double dx = b.x() - a.x(), dy = b.y() - a.y();
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x() - r.left(), r.right() - a.x(), a.y() - r.top(), r.bottom() - a.y()};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0)
                return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1)
            return false;
    }
    return true;
}

// Whether a box there would hide any line or symbol of the plot.
bool coversData(const QRectF &box, const QList<DrawnSeries> &series)
{
    const QRectF nearLine
        = box.adjusted(-lineWidth - 2, -lineWidth - 2, lineWidth + 2, lineWidth + 2);
    const QRectF nearMark
        = box.adjusted(-markerRadius - 2, -markerRadius - 2, markerRadius + 2, markerRadius + 2);
    for (const DrawnSeries &s : series) {
        for (const QPointF &pt : s.marks)
            if (nearMark.contains(pt))
                return true;
        for (qsizetype i = 1; i < s.line.size(); ++i)
            if (segmentMeets(s.line.at(i - 1), s.line.at(i), nearLine))
                return true;
    }
    return false;
}

QPen seriesPen(const QColor &colour, PlotSeries::Style style)
{
    if (style == PlotSeries::Style::Dashed) {
        QPen pen(colour, lineWidth, Qt::CustomDashLine, Qt::FlatCap, Qt::RoundJoin);
        pen.setDashPattern({4, 2.5}); // in line widths: 8 pixels drawn, 5 left out
        return pen;
    }
    return QPen(colour, lineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// The polyline in pieces of a few points: the painter strokes a long line that
// crosses itself many times (noisy data) in time that grows much faster than its
// length (201 points of a zigzag: 3.8 s as one line, 0.2 s in pieces of four). The
// pieces' round ends make the same corners as round joins; a dashed line's pattern
// runs on from piece to piece.
void drawLine(QPainter &p, const QPolygonF &line, QPen pen)
{
    constexpr qsizetype piece = 4;
    double along = 0;
    for (qsizetype start = 0; start + 1 < line.size(); start += piece) {
        const qsizetype count = std::min(piece + 1, line.size() - start);
        pen.setDashOffset(along / pen.widthF());
        p.setPen(pen);
        p.drawPolyline(line.constData() + start, int(count));
        for (qsizetype i = start + 1; i < start + count; ++i)
            along += std::hypot(line.at(i).x() - line.at(i - 1).x(),
                                line.at(i).y() - line.at(i - 1).y());
    }
}

// A markers-only series' symbol: circle, square, triangle, diamond or inverted
// triangle by the series' place, so series stay apart where colours are alike.
void drawMarker(QPainter &p, qsizetype index, QPointF c)
{
    const double r = markerRadius;
    switch (index % 5) {
    case 0:
        p.drawEllipse(c, r, r);
        break;
    case 1:
        p.drawRect(QRectF(c.x() - r * 0.85, c.y() - r * 0.85, 1.7 * r, 1.7 * r));
        break;
    case 2:
        p.drawPolygon(QPolygonF{
            {c.x(), c.y() - r * 1.1}, {c.x() + r, c.y() + r * 0.8}, {c.x() - r, c.y() + r * 0.8}});
        break;
    case 3:
        p.drawPolygon(QPolygonF{
            {c.x(), c.y() - r}, {c.x() + r, c.y()}, {c.x(), c.y() + r}, {c.x() - r, c.y()}});
        break;
    default:
        p.drawPolygon(QPolygonF{
            {c.x(), c.y() + r * 1.1}, {c.x() + r, c.y() - r * 0.8}, {c.x() - r, c.y() - r * 0.8}});
        break;
    }
}

// A legend entry's sample: the series' line, dashes or symbol.
void drawSample(QPainter &p, const PlotSeries &s, qsizetype index, QPointF from, double length)
{
    const QColor colour = plotSeriesColour(index);
    const QPointF middle(from.x() + length / 2, from.y());
    if (s.style == PlotSeries::Style::Markers) {
        p.setPen(QPen(colour, 1));
        p.setBrush(colour);
        drawMarker(p, index, middle);
        return;
    }
    p.setPen(seriesPen(colour, s.style));
    p.drawLine(from, QPointF(from.x() + length, from.y()));
    if (showsDots(s)) {
        p.setBrush(colour);
        p.setPen(QPen(colour, 1));
        p.drawEllipse(middle, dotRadius, dotRadius);
    }
}

// The legend: its entries' names (the last may stand for the ones left out) and how
// they are arranged, in a box inside the plot area or in rows below the plot.
struct Legend
{
    QStringList names;
    int rowHeight = 0;
    int sample = 24;
    bool outside = false;
    QSizeF boxSize;        // inside
    QList<QPointF> outAt;  // outside: where each entry starts (relative to the legend)
    int outsideHeight = 0; // outside: the room it takes below the plot
    bool cut = false;

    qsizetype shown() const { return names.size() - (cut ? 1 : 0); }
};

Legend insideLegend(const PlotData &plot, const Layout &l, const Fonts &f)
{
    Legend g;
    g.rowHeight = f.fm.height() + 2;
    const int maxRows = std::max(1, int(l.area.height() - 12) / g.rowHeight);
    const int nameRoom = std::max(20, int(l.area.width() / 2) - g.sample - 20);
    const int rows = int(std::min<qsizetype>(plot.series.size(), maxRows));
    g.cut = rows < plot.series.size();
    int nameWidth = 0;
    for (int i = 0; i < rows; ++i) {
        QString name = f.fm.elidedText(plot.series.at(i).name, Qt::ElideRight, nameRoom);
        if (g.cut && i == rows - 1)
            name = QStringLiteral("(%1 more)").arg(plot.series.size() - rows + 1);
        g.names.append(name);
        nameWidth = std::max(nameWidth, f.fm.horizontalAdvance(name));
    }
    g.boxSize = QSizeF(nameWidth + g.sample + 18, rows * g.rowHeight + 8);
    return g;
}

// The entries side by side in as many rows as they need, at most a quarter of the
// image's height.
Legend outsideLegend(const PlotData &plot, QSize size, const Fonts &f)
{
    Legend g;
    g.outside = true;
    g.rowHeight = f.fm.height() + 2;
    const int width = std::max(40, size.width() - 16);
    const int maxRows = std::max(1, size.height() / 4 / g.rowHeight);
    const int gap = 16;
    auto entryWidth
        = [&](const QString &name) { return g.sample + 6 + f.fm.horizontalAdvance(name); };
    double x = 0;
    int row = 0;
    for (qsizetype i = 0; i < plot.series.size(); ++i) {
        const QString name = f.fm.elidedText(
            plot.series.at(i).name, Qt::ElideRight, std::max(20, width - g.sample - 6));
        const int w = entryWidth(name);
        if (x > 0 && x + w > width) {
            x = 0;
            ++row;
        }
        if (row >= maxRows) {
            // No room for the rest: the last place says how many are left out.
            g.cut = true;
            const QString more = QStringLiteral("(%1 more)").arg(plot.series.size() - i + 1);
            g.names.removeLast();
            g.names.append(more);
            row = maxRows - 1;
            break;
        }
        g.names.append(name);
        g.outAt.append(QPointF(x, row * g.rowHeight));
        x += w + gap;
    }
    g.outsideHeight = (row + 1) * g.rowHeight + 6;
    return g;
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

namespace {

// Everything placed: the layout, the series as drawn and the legend.
struct Placed
{
    Layout l;
    QList<DrawnSeries> drawn;
    Legend legend;
    QRectF legendBox; // inside the plot area; for a legend below it, the room it takes
};

Placed place(const PlotData &plot, QSize size, const Fonts &f)
{
    Placed out;
    const Extent extent = extentOf(plot);
    out.l = makeLayout(plot, size, extent, f, 0);
    out.drawn = drawnSeries(plot, out.l);
    if (plot.series.isEmpty())
        return out;

    // The legend goes in the first corner of the plot area where it hides nothing (top
    // right first), else in the middle of its top or bottom edge; where every one of
    // those places would hide data, below the plot.
    out.legend = insideLegend(plot, out.l, f);
    const QSizeF &boxSize = out.legend.boxSize;
    const QRectF &a = out.l.area;
    const QPointF corners[] = {
        {a.right() - 8 - boxSize.width(), a.top() + 8},
        {a.left() + 8, a.top() + 8},
        {a.right() - 8 - boxSize.width(), a.bottom() - 8 - boxSize.height()},
        {a.left() + 8, a.bottom() - 8 - boxSize.height()},
        {a.center().x() - boxSize.width() / 2, a.top() + 8},
        {a.center().x() - boxSize.width() / 2, a.bottom() - 8 - boxSize.height()},
    };
    for (const QPointF &corner : corners) {
        const QRectF box(corner, boxSize);
        if (a.contains(box) && !coversData(box, out.drawn)) {
            out.legendBox = box;
            return out;
        }
    }
    out.legend = outsideLegend(plot, size, f);
    out.l = makeLayout(plot, size, extent, f, out.legend.outsideHeight);
    out.drawn = drawnSeries(plot, out.l);
    const int below = out.legend.outsideHeight;
    out.legendBox
        = QRectF(out.l.pad, size.height() - out.l.pad - below, size.width() - 2 * out.l.pad, below);
    return out;
}

} // namespace

QPointF PlotFrame::place(QPointF value) const
{
    const Axis xa{xLo, xHi, 1, xLog}, ya{yLo, yHi, 1, yLog};
    const double x = xa.coordinate(value.x()), y = ya.coordinate(value.y());
    if (!std::isfinite(x) || !std::isfinite(y))
        return QPointF(qQNaN(), qQNaN());
    Layout l;
    l.area = area;
    l.x = xa;
    l.y = ya;
    return QPointF(mapX(l, x), mapY(l, y));
}

PlotFrame plotFrame(const PlotData &plot, QSize size)
{
    PlotFrame frame;
    if (size.isEmpty())
        return frame;
    const Fonts f;
    const Placed placed = place(plot, size, f);
    frame.area = placed.l.area;
    frame.legend = placed.legendBox;
    frame.legendBelow = placed.legend.outside;
    frame.xLo = placed.l.x.lo;
    frame.xHi = placed.l.x.hi;
    frame.yLo = placed.l.y.lo;
    frame.yHi = placed.l.y.hi;
    frame.xLog = placed.l.x.log;
    frame.yLog = placed.l.y.log;
    return frame;
}

QImage renderPlot(const PlotData &plot, QSize size)
{
    if (size.isEmpty())
        return QImage();
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);

    const Fonts f;
    const QFontMetrics &fm = f.fm;
    const Placed placed = place(plot, size, f);
    const Layout &l = placed.l;
    const QList<DrawnSeries> &drawn = placed.drawn;
    const Legend &legend = placed.legend;
    const QRectF &legendBox = placed.legendBox;
    const QRectF &area = l.area;
    const int pad = l.pad;

    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setFont(f.text);

    // Grid, frame, ticks and their labels.
    const QList<double> xTicks = l.x.ticks(), yTicks = l.y.ticks();
    const QList<double> xMinor = l.x.minorTicks(), yMinor = l.y.minorTicks();
    p.setPen(QPen(QColor(0xf0, 0xf0, 0xf0), 1));
    for (double v : xMinor)
        p.drawLine(QPointF(mapX(l, v), area.top()), QPointF(mapX(l, v), area.bottom()));
    for (double v : yMinor)
        p.drawLine(QPointF(area.left(), mapY(l, v)), QPointF(area.right(), mapY(l, v)));
    p.setPen(QPen(QColor(0xe4, 0xe4, 0xe4), 1));
    for (double v : xTicks)
        p.drawLine(QPointF(mapX(l, v), area.top()), QPointF(mapX(l, v), area.bottom()));
    for (double v : yTicks)
        p.drawLine(QPointF(area.left(), mapY(l, v)), QPointF(area.right(), mapY(l, v)));
    p.setPen(QPen(QColor(0x40, 0x40, 0x40), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(area);
    p.setPen(Qt::black);
    for (double v : xMinor)
        p.drawLine(QPointF(mapX(l, v), area.bottom()), QPointF(mapX(l, v), area.bottom() + 2));
    for (double v : yMinor)
        p.drawLine(QPointF(area.left() - 2, mapY(l, v)), QPointF(area.left(), mapY(l, v)));
    const int exponentRise = (plot.yLog || plot.xLog) ? f.sfm.height() / 3 : 0;
    for (double v : xTicks) {
        const double x = mapX(l, v);
        p.drawLine(QPointF(x, area.bottom()), QPointF(x, area.bottom() + 4));
        const TickLabel t = tickLabel(l.x, v);
        drawTickLabel(
            p, f, t, QPointF(x - f.width(t) / 2.0, area.bottom() + 6 + exponentRise + fm.ascent()));
    }
    for (double v : yTicks) {
        const double y = mapY(l, v);
        p.drawLine(QPointF(area.left() - 4, y), QPointF(area.left(), y));
        const TickLabel t = tickLabel(l.y, v);
        drawTickLabel(
            p, f, t, QPointF(area.left() - 6 - f.width(t), y + (fm.ascent() - fm.descent()) / 2.0));
    }

    // Title and axis labels.
    if (!plot.title.isEmpty()) {
        p.setFont(f.title);
        p.drawText(QRectF(0, pad, size.width(), f.tfm.height()),
                   Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine,
                   f.tfm.elidedText(plot.title, Qt::ElideRight, size.width() - 2 * pad));
        p.setFont(f.text);
    }
    const double xLabelTop = area.bottom() + 6 + exponentRise + fm.height() + pad;
    if (!plot.xLabel.isEmpty()) {
        p.drawText(QRectF(area.left(), xLabelTop, area.width(), fm.height()),
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

    // The series: solid or dashed lines (dots at the points of a short solid one), or
    // symbols alone. Solid lines go first, dashed ones over them (a curve that lies on
    // another shows through its gaps), symbols last.
    p.save();
    p.setClipRect(area.adjusted(-markerRadius, -markerRadius, markerRadius, markerRadius));
    QList<qsizetype> order(drawn.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&drawn](qsizetype a, qsizetype b) {
        return int(drawn.at(a).style) < int(drawn.at(b).style);
    });
    for (const qsizetype i : order) {
        const DrawnSeries &s = drawn.at(i);
        const QColor colour = plotSeriesColour(i);
        if (s.line.size() > 1) {
            p.setBrush(Qt::NoBrush);
            drawLine(p, s.line, seriesPen(colour, s.style));
        }
        p.setBrush(colour);
        p.setPen(QPen(colour, 1));
        for (const QPointF &pt : s.marks) {
            if (s.style == PlotSeries::Style::Markers)
                drawMarker(p, i, pt);
            else
                p.drawEllipse(pt, dotRadius, dotRadius);
        }
    }
    p.restore();

    // The legend.
    if (!legend.names.isEmpty()) {
        const double textShift = (fm.ascent() - fm.descent()) / 2.0;
        if (!legend.outside) {
            p.setPen(QPen(QColor(0xa0, 0xa0, 0xa0), 1));
            p.setBrush(Qt::white);
            p.drawRect(legendBox);
            for (qsizetype i = 0; i < legend.names.size(); ++i) {
                const double y
                    = legendBox.top() + 4 + i * legend.rowHeight + legend.rowHeight / 2.0;
                if (i < legend.shown())
                    drawSample(
                        p, plot.series.at(i), i, QPointF(legendBox.left() + 6, y), legend.sample);
                p.setPen(Qt::black);
                p.drawText(QPointF(legendBox.left() + 12 + legend.sample, y + textShift),
                           legend.names.at(i));
            }
        } else {
            for (qsizetype i = 0; i < legend.names.size(); ++i) {
                const QPointF at = legendBox.topLeft() + QPointF(0, 4) + legend.outAt.at(i);
                const double y = at.y() + legend.rowHeight / 2.0;
                if (i < legend.shown())
                    drawSample(p, plot.series.at(i), i, QPointF(at.x() + 2, y), legend.sample);
                p.setPen(Qt::black);
                p.drawText(QPointF(at.x() + 8 + legend.sample, y + textShift), legend.names.at(i));
            }
        }
    }
    p.end();
    return image;
}
