#include "PlotData.h"

#include <QFile>
#include <QGuiApplication>
#include <QRandomGenerator>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

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

    void aGifFileReadsBackAsTheSamePicture()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QImage image = renderPlot(threeSeries(), QSize(500, 360));
        const QString path = dir.filePath(QStringLiteral("plot.gif"));
        QString error;
        QVERIFY2(writeGif(image, path, &error), qPrintable(error));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.read(6) == "GIF89a");

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
