#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QString>

#include <optional>

// The tool kit's plot file (".plt"): plain UTF-8 text, CR LF or LF line ends.
//
//   #KVPLOT 1                 first non-blank line, exactly
//   title <text>              optional, before the first series (so are xlabel, ylabel,
//   xlabel <text>               xscale and yscale)
//   ylabel <text>
//   xscale log                optional: a logarithmic x axis ("xscale linear" is the default)
//   yscale log                optional: a logarithmic y axis
//   # a comment               any later line starting with '#'
//   series <name>             starts a series; at least one per plot
//   style markers             optional, right after its "series" line: line (the default),
//                               dashed or markers (points alone, for measured data)
//   0.25 1.5e-3               a point "x y", C-locale numbers, blanks or a tab between
//
// Every series has at least one point, and every value on a logarithmic axis is
// positive; anything else is an error reported as "line N: <what is wrong>". A file
// without style and scale lines is read as line series on linear axes, as files were
// before those lines existed.

struct PlotSeries
{
    // How the series is drawn: joined by a solid or a dashed line, or as markers
    // alone (measured data).
    enum class Style { Line, Dashed, Markers };

    QString name;
    QList<QPointF> points;
    Style style = Style::Line;
};

struct PlotData
{
    QString title, xLabel, yLabel;
    QList<PlotSeries> series;
    // Logarithmic axes (every value drawn on such an axis must be positive).
    bool xLog = false;
    bool yLog = false;
};

struct PlotParseResult
{
    std::optional<PlotData> plot;
    QString error; // "line 12: ..." when plot is empty
};

PlotParseResult parsePlot(const QByteArray &text);

// The plot as a ".plt" file with CR LF line ends. Numbers are written in their
// shortest exact form, so parsing the result gives back the same values. Line
// breaks inside a title, label or series name become blanks. The defaults (line
// series, linear axes) are not written, so such a plot gives the same bytes as before
// styles and scales existed.
QByteArray writePlot(const PlotData &plot);

// Draws the plot on a white image of the given size: title, axes with ticks at
// round values (at powers of ten on a logarithmic axis, labelled 10 with a raised
// exponent, with unlabelled ticks at 2 ... 9 times each), axis labels, a legend and one
// colour per series. A line series is a solid line, with a dot at each point when it
// has few; a dashed series a dashed line without dots; a markers series its points
// alone, as filled circles, squares, triangles or diamonds by the series' place. Solid
// lines are drawn first, dashed ones over them, markers last. The legend goes where it
// hides no line and no point: the first free corner of the plot area (top right, top
// left, bottom right, bottom left), else the middle of the top or bottom edge, else in
// rows below the plot. Points a logarithmic axis cannot show (zero, negative) are left
// out. Needs a QGuiApplication. An empty size gives a null image.
QImage renderPlot(const PlotData &plot, QSize size);

// Where renderPlot puts the plot's parts at that size.
struct PlotFrame
{
    QRectF area;   // inside the axes
    QRectF legend; // the legend's box, or the strip below the plot it takes
    bool legendBelow = false;
    double xLo = 0, xHi = 1; // the axes' ends (powers of ten on a logarithmic axis)
    double yLo = 0, yHi = 1;
    bool xLog = false, yLog = false;

    // The image position of a data value; NaN for one a logarithmic axis cannot show.
    QPointF place(QPointF value) const;
};

PlotFrame plotFrame(const PlotData &plot, QSize size);

// Writes the image as a GIF89a file (at most 256 colours: a plot's own colours are
// kept exactly, anti-aliased shades go to the nearest kept colour). Transparent
// parts are laid on white. False, with the reason in *error, when it cannot be
// written; an existing file is replaced only by a complete new one.
bool writeGif(const QImage &image, const QString &path, QString *error);

// The colour renderPlot gives the series with this index.
QColor plotSeriesColour(qsizetype index);
