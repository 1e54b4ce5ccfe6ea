#include "PlotData.h"

#include <algorithm>

#include <QFile>
#include <QGuiApplication>
#include <QRandomGenerator>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(PlotData)
Q_DECLARE_METATYPE(PlotSeries::Style)

#include <cmath>

namespace {

qsizetype pixelsOfColour(const QImage &image, QColor colour)
{
    const QRgb wanted = colour.rgb() & 0xffffff;
    qsizetype n = 0;
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < rgb.height(); ++y)
        for (int x = 0; x < rgb.width(); ++x)
            n += (rgb.pixel(x, y) & 0xffffff) == wanted;
    return n;
}

PlotData threeSeries()
{
    PlotData plot;
    plot.title = QStringLiteral("Heat flow");
    plot.xLabel = QStringLiteral("time [s]");
    plot.yLabel = QStringLiteral("temperature");
    for (int s = 0; s < 3; ++s) {
        PlotSeries series{QStringLiteral("T%1").arg(s), {}};
        for (int i = 0; i <= 100; ++i)
            series.points.append(QPointF(i * 0.1, std::sin(i * 0.1 + s) * (s + 1)));
        plot.series.append(series);
    }
    return plot;
}

// The pixel under an image position.
QRgb pixelAt(const QImage &image, QPointF at)
{
    return image.pixel(int(std::floor(at.x())), int(std::floor(at.y()))) & 0xffffff;
}

// How many of the pixels on the way from a to b (its middle half) have the colour.
double shareOfColourBetween(const QImage &image, QPointF a, QPointF b, QColor colour)
{
    int hits = 0, steps = 0;
    const double length = std::hypot(b.x() - a.x(), b.y() - a.y());
    for (double t = 0.25; t <= 0.75; t += 1.0 / length, ++steps)
        hits += pixelAt(image, a + (b - a) * t) == (colour.rgb() & 0xffffff);
    return steps ? double(hits) / steps : 0;
}

// Two humps near the top corners and three lower curves under them, like the 1-D
// heat demo's temperature profiles.
PlotData barProfiles()
{
    PlotData plot;
    plot.title = QStringLiteral("temperature along the bar");
    plot.xLabel = QStringLiteral("x [m]");
    plot.yLabel = QStringLiteral("u [C]");
    const double pi = std::acos(-1.0);
    const double decay[] = {0, 0.3, 0.45, 0.65};
    for (int s = 0; s < 4; ++s) {
        PlotSeries series{QStringLiteral("t = %1 s").arg(s * 250), {}};
        for (int i = 0; i <= 40; ++i) {
            const double x = i / 40.0;
            const double u = s == 0 ? 100 * std::sin(pi * x) + 50 * std::sin(3 * pi * x)
                                    : 105 * (1 - decay[s]) * std::sin(pi * x);
            series.points.append(QPointF(x, u));
        }
        plot.series.append(series);
    }
    return plot;
}

} // namespace

class PlotFormatTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void aWellFormedFileGivesItsTitleLabelsAndSeries()
    {
        const QByteArray text = "\xEF\xBB\xBF\r\n"
                                "#KVPLOT 1\r\n"
                                "# written by hand\r\n"
                                "ylabel  concentration c(t) \r\n"
                                "title Reactor start-up\r\n"
                                "xlabel t\r\n"
                                "\r\n"
                                "series first run\r\n"
                                "0 1\r\n"
                                "0.25\t1.5e-3\r\n"
                                "  -1E+2   -2.5e-300  \r\n"
                                "series second\n"
                                "1e3 .5\n";
        const PlotParseResult r = parsePlot(text);
        QVERIFY2(r.plot, qPrintable(r.error));
        QCOMPARE(r.error, QString());
        QCOMPARE(r.plot->title, QStringLiteral("Reactor start-up"));
        QCOMPARE(r.plot->xLabel, QStringLiteral("t"));
        QCOMPARE(r.plot->yLabel, QStringLiteral("concentration c(t)"));
        QCOMPARE(r.plot->series.size(), 2);
        QCOMPARE(r.plot->series.at(0).name, QStringLiteral("first run"));
        const QList<QPointF> expected{{0, 1}, {0.25, 1.5e-3}, {-100, -2.5e-300}};
        QCOMPARE(r.plot->series.at(0).points, expected);
        QCOMPARE(r.plot->series.at(1).name, QStringLiteral("second"));
        QCOMPARE(r.plot->series.at(1).points, QList<QPointF>{QPointF(1000, 0.5)});
    }

    void eachFaultIsReportedWithItsLine_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("error");
        QTest::newRow("empty file") << QByteArray("")
                                    << "line 1: the file is empty; a plot file starts with "
                                       "\"#KVPLOT 1\"";
        QTest::newRow("only blank lines")
            << QByteArray("\r\n  \r\n")
            << "line 1: the file is empty; a plot file starts with \"#KVPLOT 1\"";
        QTest::newRow("other version") << QByteArray("\n#KVPLOT 2\nseries a\n1 2\n")
                                       << "line 2: a plot file starts with \"#KVPLOT 1\", "
                                          "found \"#KVPLOT 2\"";
        QTest::newRow("no series")
            << QByteArray("#KVPLOT 1\ntitle x\n") << "line 2: the plot has no series";
        QTest::newRow("series without points at the end")
            << QByteArray("#KVPLOT 1\nseries a\n1 2\nseries b\n\n")
            << "line 4: series \"b\" has no data points";
        QTest::newRow("series without points in the middle")
            << QByteArray("#KVPLOT 1\r\nseries a\r\nseries b\r\n1 2\r\n")
            << "line 2: series \"a\" has no data points";
        QTest::newRow("series without a name")
            << QByteArray("#KVPLOT 1\nseries  \n1 2\n") << "line 2: \"series\" needs a name";
        QTest::newRow("point before any series") << QByteArray("#KVPLOT 1\n1 2\n")
                                                 << "line 2: data point before the first "
                                                    "\"series\" line";
        QTest::newRow("one number") << QByteArray("#KVPLOT 1\nseries a\n1 2\n3\n")
                                    << "line 4: a data point is two numbers \"x y\", found 1 "
                                       "field";
        QTest::newRow("three numbers") << QByteArray("#KVPLOT 1\nseries a\n1 2 3\n")
                                       << "line 3: a data point is two numbers \"x y\", found "
                                          "3 fields";
        QTest::newRow("decimal comma") << QByteArray("#KVPLOT 1\nseries a\n1,5 2\n")
                                       << "line 3: \"1,5\" is not a finite number";
        QTest::newRow("bad y") << QByteArray("#KVPLOT 1\nseries a\n1 2x\n")
                               << "line 3: \"2x\" is not a finite number";
        QTest::newRow("infinity") << QByteArray("#KVPLOT 1\nseries a\n1 inf\n")
                                  << "line 3: \"inf\" is not a finite number";
        QTest::newRow("not a number") << QByteArray("#KVPLOT 1\nseries a\nnan 1\n")
                                      << "line 3: \"nan\" is not a finite number";
        QTest::newRow("unknown keyword") << QByteArray("#KVPLOT 1\nseries a\n1 2\ncolour red\n")
                                         << "line 4: unknown keyword \"colour\"";
        QTest::newRow("title after a series")
            << QByteArray("#KVPLOT 1\nseries a\n1 2\ntitle late\n")
            << "line 4: \"title\" must come before the first series";
        QTest::newRow("second xlabel") << QByteArray("#KVPLOT 1\nxlabel a\r\nxlabel b\n")
                                       << "line 3: a second \"xlabel\" (the first is on line 2)";
        QTest::newRow("lone CR ends a line too") << QByteArray("#KVPLOT 1\rseries a\r1 2\r1 x\r")
                                                 << "line 4: \"x\" is not a finite number";
        QTest::newRow("not UTF-8")
            << QByteArray("#KVPLOT 1\ntitle caf\xE9\n") << "line 2: the text is not UTF-8";
        QTest::newRow("unknown style")
            << QByteArray("#KVPLOT 1\nseries a\nstyle dotted\n1 2\n")
            << "line 3: a series' style is \"line\", \"dashed\" or \"markers\", found "
               "\"dotted\"";
        QTest::newRow("style without a word")
            << QByteArray("#KVPLOT 1\nseries a\nstyle\n1 2\n")
            << "line 3: a series' style is \"line\", \"dashed\" or \"markers\", found \"\"";
        QTest::newRow("style after the points")
            << QByteArray("#KVPLOT 1\nseries a\n1 2\nstyle markers\n")
            << "line 4: \"style\" must come right after its \"series\" line";
        QTest::newRow("style before any series")
            << QByteArray("#KVPLOT 1\nstyle markers\nseries a\n1 2\n")
            << "line 2: \"style\" must come right after its \"series\" line";
        QTest::newRow("second style")
            << QByteArray("#KVPLOT 1\nseries a\nstyle line\nstyle dashed\n1 2\n")
            << "line 4: a second \"style\" for series \"a\" (the first is on line 3)";
        QTest::newRow("unknown scale") << QByteArray("#KVPLOT 1\nxscale ln\nseries a\n1 2\n")
                                       << "line 2: \"xscale\" is \"log\" or \"linear\", "
                                          "found \"ln\"";
        QTest::newRow("scale after a series")
            << QByteArray("#KVPLOT 1\nseries a\n1 2\nyscale log\n")
            << "line 4: \"yscale\" must come before the first series";
        QTest::newRow("second scale")
            << QByteArray("#KVPLOT 1\nyscale log\nyscale linear\nseries a\n1 2\n")
            << "line 3: a second \"yscale\" (the first is on line 2)";
        QTest::newRow("zero on a log x axis")
            << QByteArray("#KVPLOT 1\nxscale log\nseries a\n1 2\n0 3\n")
            << "line 5: x = 0 cannot be drawn on the logarithmic x axis (every value on it "
               "must be positive)";
        QTest::newRow("negative on a log y axis, in a later series")
            << QByteArray("#KVPLOT 1\nyscale log\nseries a\n1 2\nseries b\n  1e-3\t-2.5e-7 \n")
            << "line 6: y = -2.5e-07 cannot be drawn on the logarithmic y axis (every value on "
               "it must be positive)";
        QTest::newRow("log x, but a negative y is fine; a negative x is not")
            << QByteArray("#KVPLOT 1\nxscale log\nseries a\n1 -2\n-1 2\n")
            << "line 5: x = -1 cannot be drawn on the logarithmic x axis (every value on it "
               "must be positive)";
    }

    void eachFaultIsReportedWithItsLine()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, error);
        const PlotParseResult r = parsePlot(text);
        QVERIFY(!r.plot);
        QCOMPARE(r.error, error);
    }

    void aWrittenPlotReadsBackUnchanged()
    {
        PlotData plot;
        plot.title = QStringLiteral("Two\r\nlines");
        plot.yLabel = QStringLiteral("µ [mol/m³]");
        plot.series.append({QStringLiteral("a b"), {{0.1, 1.0 / 3}, {-2.5e10, 1e-300}}});
        plot.series.append({QStringLiteral("x"), {{1.7976931348623157e308, -0.0}}});
        const QByteArray text = writePlot(plot);
        QVERIFY(text.startsWith("#KVPLOT 1\r\n"));
        QCOMPARE(text.count('\n'), text.count("\r\n"));
        QVERIFY(text.endsWith("\r\n"));

        const PlotParseResult r = parsePlot(text);
        QVERIFY2(r.plot, qPrintable(r.error));
        QCOMPARE(r.plot->title, QStringLiteral("Two  lines"));
        QCOMPARE(r.plot->xLabel, QString());
        QCOMPARE(r.plot->yLabel, plot.yLabel);
        QCOMPARE(r.plot->series.size(), 2);
        for (int s = 0; s < 2; ++s) {
            QCOMPARE(r.plot->series.at(s).name, plot.series.at(s).name);
            // Exact, not fuzzy: the written numbers must carry every bit.
            const auto &got = r.plot->series.at(s).points;
            const auto &want = plot.series.at(s).points;
            QCOMPARE(got.size(), want.size());
            for (qsizetype i = 0; i < got.size(); ++i) {
                QVERIFY(got.at(i).x() == want.at(i).x());
                QVERIFY(got.at(i).y() == want.at(i).y());
            }
        }
    }

    void stylesAndScalesAreReadAndWrittenBack()
    {
        const QByteArray text = "#KVPLOT 1\r\n"
                                "xscale log\r\n"
                                "title Stiff\r\n"
                                "yscale   log \r\n"
                                "series measured\r\n"
                                "# a comment between\r\n"
                                "style markers\r\n"
                                "1e-3 2\r\n"
                                "series fitted\r\n"
                                "style dashed\r\n"
                                "1 1e-300\r\n"
                                "series plain\r\n"
                                "style line\r\n"
                                "2 3\r\n"
                                "series default\r\n"
                                "4 5\r\n";
        const PlotParseResult r = parsePlot(text);
        QVERIFY2(r.plot, qPrintable(r.error));
        QVERIFY(r.plot->xLog);
        QVERIFY(r.plot->yLog);
        const QList<PlotSeries::Style> styles{PlotSeries::Style::Markers,
                                              PlotSeries::Style::Dashed,
                                              PlotSeries::Style::Line,
                                              PlotSeries::Style::Line};
        QCOMPARE(r.plot->series.size(), styles.size());
        for (qsizetype i = 0; i < styles.size(); ++i)
            QCOMPARE(r.plot->series.at(i).style, styles.at(i));

        // Written back: the header lines before the series, a style only where it is not
        // the default, and the same plot when read again.
        const QByteArray written = writePlot(*r.plot);
        QCOMPARE(written,
                 QByteArray("#KVPLOT 1\r\ntitle Stiff\r\nxscale log\r\nyscale log\r\n"
                            "series measured\r\nstyle markers\r\n0.001 2\r\n"
                            "series fitted\r\nstyle dashed\r\n1 1e-300\r\n"
                            "series plain\r\n2 3\r\nseries default\r\n4 5\r\n"));
        const PlotParseResult again = parsePlot(written);
        QVERIFY2(again.plot, qPrintable(again.error));
        QCOMPARE(again.plot->xLog, true);
        QCOMPARE(again.plot->yLog, true);
        for (qsizetype i = 0; i < styles.size(); ++i)
            QCOMPARE(again.plot->series.at(i).style, styles.at(i));

        // "linear" is accepted and is the default, which is not written.
        const PlotParseResult linear
            = parsePlot("#KVPLOT 1\nxscale linear\nyscale linear\nseries a\n-1 0\n");
        QVERIFY2(linear.plot, qPrintable(linear.error));
        QVERIFY(!linear.plot->xLog && !linear.plot->yLog);
        QCOMPARE(writePlot(*linear.plot), QByteArray("#KVPLOT 1\r\nseries a\r\n-1 0\r\n"));
    }

    // A file written before styles and scales existed reads and writes as it always did.
    void anOlderFileKeepsItsBytes()
    {
        const QByteArray old = "#KVPLOT 1\r\ntitle t\r\nxlabel x\r\nylabel y\r\n"
                               "series a\r\n0 -1\r\n0.5 2\r\nseries b\r\n1 0\r\n";
        const PlotParseResult r = parsePlot(old);
        QVERIFY2(r.plot, qPrintable(r.error));
        QVERIFY(!r.plot->xLog && !r.plot->yLog);
        for (const PlotSeries &s : r.plot->series)
            QCOMPARE(s.style, PlotSeries::Style::Line);
        QCOMPARE(writePlot(*r.plot), old);
    }

    void theRendererDrawsEverySeriesInItsOwnColour()
    {
        const PlotData plot = threeSeries();
        const QImage image = renderPlot(plot, QSize(640, 480));
        QCOMPARE(image.size(), QSize(640, 480));
        QVERIFY(pixelsOfColour(image, Qt::white) < 640 * 480 * 0.95);
        QVERIFY(pixelsOfColour(image, Qt::black) > 50); // text and ticks
        QSet<QRgb> colours;
        for (int s = 0; s < 3; ++s) {
            colours.insert(plotSeriesColour(s).rgb());
            QVERIFY2(pixelsOfColour(image, plotSeriesColour(s)) > 200,
                     qPrintable(QStringLiteral("series %1").arg(s)));
        }
        QCOMPARE(colours.size(), 3);
        QVERIFY(renderPlot(plot, QSize(0, 100)).isNull());
    }

    void awkwardDataStillGivesAPlot_data()
    {
        QTest::addColumn<QList<QPointF>>("points");
        QTest::newRow("one point") << QList<QPointF>{{2, 3}};
        QTest::newRow("all at zero") << QList<QPointF>{{0, 0}, {0, 0}};
        QTest::newRow("flat line") << QList<QPointF>{{0, 5}, {1, 5}, {2, 5}};
        QTest::newRow("tiny range") << QList<QPointF>{{1, 1}, {1 + 1e-12, 1 + 1e-12}};
        QTest::newRow("whole double range")
            << QList<QPointF>{{-1.7e308, -1.7e308}, {1.7e308, 1.7e308}};
    }

    void awkwardDataStillGivesAPlot()
    {
        QFETCH(QList<QPointF>, points);
        PlotData plot;
        plot.series.append({QStringLiteral("s"), points});
        const QImage image = renderPlot(plot, QSize(300, 200));
        QCOMPARE(image.size(), QSize(300, 200));
        QVERIFY(pixelsOfColour(image, plotSeriesColour(0)) > 10);
    }

    // Many points per pixel column are drawn through fewer points; a single peak among
    // them must still show.
    void aDenseSeriesKeepsItsPeaks()
    {
        PlotData plot;
        PlotSeries flat{QStringLiteral("flat"), {}};
        for (int i = 0; i < 200000; ++i)
            flat.points.append(QPointF(i, i == 50001 ? 1.0 : 0.0));
        plot.series.append(flat);
        const QImage image
            = renderPlot(plot, QSize(300, 200)).convertToFormat(QImage::Format_RGB32);
        const QRgb colour = plotSeriesColour(0).rgb();
        int highest = image.height();
        for (int y = 0; y < image.height() && highest == image.height(); ++y)
            for (int x = 0; x < image.width() / 2; ++x) // the legend is on the right
                if (image.pixel(x, y) == colour) {
                    highest = y;
                    break;
                }
        QVERIFY2(highest < image.height() / 4, qPrintable(QString::number(highest)));
    }

    // A line joins its points, dashes leave gaps, markers stand alone.
    void eachStyleIsDrawnItsOwnWay_data()
    {
        QTest::addColumn<PlotSeries::Style>("style");
        QTest::addColumn<double>("least");
        QTest::addColumn<double>("most");
        QTest::newRow("line") << PlotSeries::Style::Line << 0.95 << 1.0;
        QTest::newRow("dashed") << PlotSeries::Style::Dashed << 0.3 << 0.8;
        QTest::newRow("markers") << PlotSeries::Style::Markers << 0.0 << 0.0;
    }

    void eachStyleIsDrawnItsOwnWay()
    {
        QFETCH(PlotSeries::Style, style);
        QFETCH(double, least);
        QFETCH(double, most);
        PlotData plot;
        PlotSeries level{QStringLiteral("level"), {}, style};
        for (int i = 0; i <= 4; ++i)
            level.points.append(QPointF(i, 1));
        plot.series.append(level);
        plot.series.append({QStringLiteral("ends"), {{0, 0}, {4, 2}}, PlotSeries::Style::Markers});
        const QSize size(500, 360);
        const QImage image = renderPlot(plot, size);
        const PlotFrame frame = plotFrame(plot, size);
        const QColor colour = plotSeriesColour(0);
        for (int i = 1; i <= 4; ++i) {
            const QPointF a = frame.place(level.points.at(i - 1));
            const QPointF b = frame.place(level.points.at(i));
            const double share = shareOfColourBetween(image, a, b, colour);
            if (share < least || share > most)
                QFAIL(qPrintable(QStringLiteral("segment %1: %2").arg(i).arg(share)));
        }
        // A solid line and markers show at every point; markers on top of other series.
        if (style != PlotSeries::Style::Dashed) {
            for (const QPointF &pt : level.points)
                QCOMPARE(pixelAt(image, frame.place(pt)), colour.rgb() & 0xffffff);
        }
        for (const QPointF &pt : plot.series.at(1).points)
            QCOMPARE(pixelAt(image, frame.place(pt)), plotSeriesColour(1).rgb() & 0xffffff);
    }

    // On a logarithmic axis every power of ten is the same distance on, the axis ends
    // at whole decades, and values it cannot show are left out.
    void logarithmicAxesSpaceDecadesEvenly_data()
    {
        QTest::addColumn<bool>("xLog");
        QTest::newRow("x axis") << true;
        QTest::newRow("y axis") << false;
    }

    void logarithmicAxesSpaceDecadesEvenly()
    {
        QFETCH(bool, xLog);
        PlotData plot;
        plot.xLog = xLog;
        plot.yLog = !xLog;
        PlotSeries decades{QStringLiteral("decades"), {}, PlotSeries::Style::Markers};
        for (int e = -3; e <= 3; ++e) {
            const double v = std::pow(10.0, e);
            decades.points.append(xLog ? QPointF(v, e) : QPointF(e, v));
        }
        plot.series.append(decades);
        // Given through the program, not a file: zero and negative values.
        plot.series.append({QStringLiteral("partly hidden"),
                            {xLog ? QPointF(0, 1) : QPointF(1, 0),
                             xLog ? QPointF(-5, 2) : QPointF(2, -5),
                             {0.5, 0.5}}});
        const QSize size(600, 420);
        const QImage image = renderPlot(plot, size);
        const PlotFrame frame = plotFrame(plot, size);
        QCOMPARE(frame.xLog, xLog);
        QCOMPARE(frame.yLog, !xLog);
        const double lo = xLog ? frame.xLo : frame.yLo, hi = xLog ? frame.xHi : frame.yHi;
        QCOMPARE(lo, std::floor(lo));
        QCOMPARE(hi, std::floor(hi));
        QVERIFY(lo <= -3 && hi >= 3 && hi - lo <= 8);

        QList<double> along;
        for (const QPointF &pt : decades.points) {
            const QPointF at = frame.place(pt);
            QVERIFY(frame.area.adjusted(-1, -1, 1, 1).contains(at));
            QCOMPARE(pixelAt(image, at), plotSeriesColour(0).rgb() & 0xffffff);
            along.append(xLog ? at.x() : at.y());
        }
        const double spacing = along.at(1) - along.at(0);
        QVERIFY(std::abs(spacing) > 20);
        for (qsizetype i = 2; i < along.size(); ++i)
            QVERIFY2(std::abs(along.at(i) - along.at(i - 1) - spacing) < 0.01,
                     qPrintable(QString::number(along.at(i) - along.at(i - 1))));
        QVERIFY(std::isnan(frame.place(plot.series.at(1).points.at(0)).x()));
        QVERIFY(std::isnan(frame.place(plot.series.at(1).points.at(1)).x()));
        QCOMPARE(pixelAt(image, frame.place({0.5, 0.5})), plotSeriesColour(1).rgb() & 0xffffff);
    }

    // The legend covers no line and no point wherever a free corner exists (the
    // profiles' first curve peaks near both top corners), and goes below the plot
    // when data fill every corner.
    void theLegendHidesNoData_data()
    {
        QTest::addColumn<PlotData>("plot");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("below"); // 1: below the plot, 0: inside, -1: either
        QTest::newRow("bar profiles") << barProfiles() << QSize(640, 480) << 0;
        QTest::newRow("bar profiles, wide") << barProfiles() << QSize(1000, 400) << 0;
        QTest::newRow("bar profiles, small") << barProfiles() << QSize(400, 300) << -1;
        QTest::newRow("bar profiles, tiny") << barProfiles() << QSize(160, 120) << -1;
        PlotData full;
        PlotSeries zigzag{QStringLiteral("zigzag"), {}};
        for (int i = 0; i <= 200; ++i)
            zigzag.points.append(QPointF(i, i % 2));
        full.series.append(zigzag);
        full.series.append({QStringLiteral("dots"), {{0, 0.5}, {100, 0.5}}});
        QTest::newRow("every place covered") << full << QSize(640, 480) << 1;
    }

    void theLegendHidesNoData()
    {
        QFETCH(PlotData, plot);
        QFETCH(QSize, size);
        QFETCH(int, below);
        const QImage image = renderPlot(plot, size);
        const PlotFrame frame = plotFrame(plot, size);
        if (below >= 0)
            QCOMPARE(frame.legendBelow, below == 1);
        QVERIFY(!frame.legend.isEmpty());
        QVERIFY(QRectF(QPointF(0, 0), QSizeF(size)).contains(frame.legend));
        if (frame.legendBelow)
            QVERIFY(frame.legend.top() > frame.area.bottom());
        // Every point and every step along each line lies outside the legend's box
        // (with the line's width), so each shows in the picture.
        const QRectF box = frame.legend.adjusted(-1, -1, 1, 1);
        for (qsizetype s = 0; s < plot.series.size(); ++s) {
            const QList<QPointF> &pts = plot.series.at(s).points;
            qsizetype hiddenAt = -1;
            for (qsizetype i = 0; i < pts.size() && hiddenAt < 0; ++i) {
                const QPointF b = frame.place(pts.at(i));
                const QPointF a = frame.place(pts.at(i == 0 ? 0 : i - 1));
                for (double t = 0; t <= 1 && hiddenAt < 0; t += 0.01)
                    if (box.contains(a + (b - a) * t))
                        hiddenAt = i;
            }
            QVERIFY2(
                hiddenAt < 0,
                qPrintable(QStringLiteral("series %1 hidden at point %2").arg(s).arg(hiddenAt)));
        }
        // The first series' highest point shows in its colour.
        const QList<QPointF> &first = plot.series.at(0).points;
        const QPointF peak = *std::max_element(
            first.cbegin(), first.cend(), [](QPointF a, QPointF b) { return a.y() < b.y(); });
        QCOMPARE(pixelAt(image, frame.place(peak)), plotSeriesColour(0).rgb() & 0xffffff);
        // The legend is drawn where the frame says: the first series' sample is in it
        // (on a tiny picture it may only say how many series it leaves out).
        if (size.width() < 300)
            return;
        qsizetype samplePixels = 0;
        const QRect inside = frame.legend.toAlignedRect() & image.rect();
        for (int y = inside.top(); y <= inside.bottom(); ++y)
            for (int x = inside.left(); x <= inside.right(); ++x)
                samplePixels
                    += (image.pixel(x, y) & 0xffffff) == (plotSeriesColour(0).rgb() & 0xffffff);
        QVERIFY2(samplePixels > 20, qPrintable(QString::number(samplePixels)));
    }

    void aGifFileReadsBackAsTheSamePicture()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        // A line, a dashed line and markers: each keeps its colour in 256.
        PlotData plot = threeSeries();
        plot.series[1].style = PlotSeries::Style::Dashed;
        plot.series[2].style = PlotSeries::Style::Markers;
        const QImage image = renderPlot(plot, QSize(500, 360));
        const QString path = dir.filePath(QStringLiteral("plot.gif"));
        QString error;
        QVERIFY2(writeGif(image, path, &error), qPrintable(error));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.read(6) == "GIF89a");
        // Stored answers compare by bytes: the same plot gives the same file.
        const QString again = dir.filePath(QStringLiteral("again.gif"));
        QVERIFY2(writeGif(renderPlot(plot, QSize(500, 360)), again, &error), qPrintable(error));
        QFile second(again);
        QVERIFY(second.open(QIODevice::ReadOnly));
        file.seek(0);
        QVERIFY(file.readAll() == second.readAll());

        const QImage back(path);
        QCOMPARE(back.size(), image.size());
        // The plot's own colours survive exactly (shades next to them may join them).
        for (int s = 0; s < 3; ++s) {
            const qsizetype before = pixelsOfColour(image, plotSeriesColour(s));
            const qsizetype after = pixelsOfColour(back, plotSeriesColour(s));
            QVERIFY2(after >= before && after < before * 1.2,
                     qPrintable(QStringLiteral("%1 -> %2").arg(before).arg(after)));
        }
        // Every pixel is close to the original (anti-aliased shades may move a little).
        const QImage a = image.convertToFormat(QImage::Format_RGB32);
        const QImage b = back.convertToFormat(QImage::Format_RGB32);
        qsizetype far = 0;
        for (int y = 0; y < a.height(); ++y) {
            for (int x = 0; x < a.width(); ++x) {
                const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
                far += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q))
                           + std::abs(qBlue(p) - qBlue(q))
                       > 60;
            }
        }
        QVERIFY2(far < a.width() * a.height() / 200, qPrintable(QString::number(far)));
    }

    // Images with at most 256 colours come back pixel for pixel; random content makes
    // the encoder fill and restart its string table many times.
    void imagesWithFewColoursAreKeptExactly_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("colours");
        QTest::newRow("one pixel") << QSize(1, 1) << 1;
        QTest::newRow("two colours") << QSize(37, 23) << 2;
        QTest::newRow("sixteen colours") << QSize(200, 150) << 16;
        QTest::newRow("full palette, noise") << QSize(320, 240) << 256;
        QTest::newRow("one long row") << QSize(5000, 1) << 7;
    }

    void imagesWithFewColoursAreKeptExactly()
    {
        QFETCH(QSize, size);
        QFETCH(int, colours);
        QRandomGenerator random(42);
        QList<QRgb> palette;
        for (int i = 0; i < colours; ++i)
            palette.append(qRgb(i, (i * 37) % 256, 255 - i));
        QImage image(size, QImage::Format_RGB32);
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x)
                image.setPixel(x, y, palette.at(random.bounded(colours)));

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("noise.gif"));
        QString error;
        QVERIFY2(writeGif(image, path, &error), qPrintable(error));
        const QImage back = QImage(path).convertToFormat(QImage::Format_RGB32);
        QCOMPARE(back.size(), size);
        QVERIFY(back == image);
    }

    void aGifThatCannotBeWrittenSaysWhy()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("missing/plot.gif"));
        QString error;
        QVERIFY(!writeGif(renderPlot(threeSeries(), QSize(100, 80)), path, &error));
        QVERIFY2(error.contains(path), qPrintable(error));
        QVERIFY(!QFile::exists(path));
        QVERIFY(!writeGif(QImage(), dir.filePath(QStringLiteral("x.gif")), &error));
        QVERIFY(!error.isEmpty());
    }
};

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    PlotFormatTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_plotformat.moc"
