#include "PlotCanvas.h"
#include "PlotSource.h"
#include "PlotsWindow.h"

#include "core/mdlRegistryAPI.h"
#include "platform/RegistryHive.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

const QByteArray goodPlot = "#KVPLOT 1\r\ntitle Decay\r\nseries N\r\n0 100\r\n1 50\r\n2 25\r\n";

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

QByteArray smallGif()
{
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::red);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("x.gif"));
    QString error;
    if (!writeGif(image, path, &error))
        return {};
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class PlotsViewerTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void aDirectoryListsItsPlotsSortedWithoutRegardToCase()
    {
        QTemporaryDir dir;
        writeFile(dir.filePath(QStringLiteral("b-run.gif")), smallGif());
        writeFile(dir.filePath(QStringLiteral("A-heat.plt")), goodPlot);
        writeFile(dir.filePath(QStringLiteral("c-wave.PLT")), goodPlot);
        writeFile(dir.filePath(QStringLiteral("a-heat.out")), "answer");
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("d.plt")));
        const QStringList expected{QStringLiteral("A-heat.plt"),
                                   QStringLiteral("b-run.gif"),
                                   QStringLiteral("c-wave.PLT")};
        QCOMPARE(plotFilesIn(dir.path()), expected);

        const ViewerStart start = resolveStart({dir.path() + QLatin1Char('/')}, HandOff());
        QCOMPARE(start.mode, ViewerStart::Directory);
        PlotsWindow window(start, HandOff());
        QListWidget *list = window.plotList();
        QVERIFY(list);
        QCOMPARE(list->count(), 3);
        QCOMPARE(list->item(1)->text(), expected.at(1));
        // The first plot is drawn at once; choosing another draws that one.
        QCOMPARE(list->currentRow(), 0);
        QCOMPARE(window.canvas()->current().kind, LoadedPlot::Plot);
        QCOMPARE(window.windowTitle(), QStringLiteral("A-heat.plt - Plots"));
        list->setCurrentRow(1);
        QCOMPARE(window.canvas()->current().kind, LoadedPlot::Picture);
        QCOMPARE(window.canvas()->current().picture.size(), QSize(40, 30));
        QCOMPARE(window.windowTitle(), QStringLiteral("b-run.gif - Plots"));
    }

    void aDirectoryNamedWithPercentSignsIsNamedAsItIs()
    {
        QTemporaryDir root;
        const QString path = root.filePath(QStringLiteral("%2 runs %1"));
        QVERIFY(QDir().mkdir(path));
        writeFile(QDir(path).filePath(QStringLiteral("%1.plt")), goodPlot);
        PlotsWindow window(resolveStart({path + QLatin1Char('/')}, HandOff()), HandOff());
        auto *status = window.findChild<QLabel *>(QStringLiteral("handOffStatus"));
        QVERIFY(status);
        QCOMPARE(status->text(),
                 QStringLiteral("1 plot file in ") + QDir::toNativeSeparators(path));
        QCOMPARE(window.windowTitle(), QStringLiteral("%1.plt - Plots"));
    }

    void aDirectoryWithoutPlotsOrMissingSaysSo()
    {
        QTemporaryDir dir;
        PlotsWindow empty(resolveStart({dir.path() + QLatin1Char('/')}, HandOff()), HandOff());
        QVERIFY2(empty.canvas()->message().contains(QStringLiteral("no plots")),
                 qPrintable(empty.canvas()->message()));
        const QString missing = dir.filePath(QStringLiteral("gone")) + QLatin1Char('/');
        PlotsWindow gone(resolveStart({missing}, HandOff()), HandOff());
        QVERIFY2(gone.canvas()->message().contains(QStringLiteral("does not exist")),
                 qPrintable(gone.canvas()->message()));
    }

    void aFileThatCannotBeShownGivesItsReasonInTheWindow_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected");
        QTest::newRow("damaged plot")
            << "Heat-ivp.plt" << QByteArray("#KVPLOT 1\nseries T\n0 1\n1 one\n")
            << "'Heat-ivp.plt' is not a plot this viewer can draw:\n"
               "line 4: \"one\" is not a finite number";
        QTest::newRow("empty plot") << "e.plt" << QByteArray()
                                    << "'e.plt' is not a plot this viewer can draw:\nline 1: "
                                       "the file is empty; a plot file starts with \"#KVPLOT 1\"";
        QTest::newRow("cut-off gif")
            << "cut.gif" << smallGif().left(20) << "'cut.gif' cannot be shown";
        QTest::newRow("text called gif")
            << "t.gif" << QByteArray("hello\n") << "'t.gif' cannot be shown";
        QTest::newRow("missing") << "" << QByteArray() << "does not exist";
    }

    void aFileThatCannotBeShownGivesItsReasonInTheWindow()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        QString path = dir.filePath(QStringLiteral("absent.plt"));
        if (!name.isEmpty()) {
            path = dir.filePath(name);
            writeFile(path, bytes);
        }
        PlotsWindow window(resolveStart({path}, HandOff()), HandOff());
        QCOMPARE(window.canvas()->current().kind, LoadedPlot::Failed);
        QVERIFY2(window.canvas()->message().contains(expected),
                 qPrintable(window.canvas()->message()));
        window.resize(400, 300);
        QVERIFY(!window.grab().isNull()); // painting the message does not fail
        QString error;
        QVERIFY(!window.savePng(dir.filePath(QStringLiteral("out.png")), &error));
    }

    // What is not a regular file, or is too large, is refused unread with a message in
    // the window: a FIFO would block the viewer before it shows a window, /dev/zero
    // would fill the memory.
    void whatIsNotAPlotFileIsRefusedUnread_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("expected");
        QTest::newRow("FIFO") << "fifo"
                              << "is not a plot file: it is a device, a pipe or a socket";
        QTest::newRow("/dev/zero") << "zero"
                                   << "'/dev/zero' is not a plot file: it is a device";
        QTest::newRow("directory handed over as the plot") << "directory"
                                                           << "is a directory, not a plot file.";
        QTest::newRow("too large") << "large"
                                   << "is too large to draw (33554433 bytes; the plot viewer "
                                      "draws files of up to 32 MB).";
    }

    void whatIsNotAPlotFileIsRefusedUnread()
    {
        QFETCH(QString, kind);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        QString path = dir.filePath(QStringLiteral("run.plt"));
        if (kind == QLatin1String("fifo")) {
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (kind == QLatin1String("zero")) {
            path = QStringLiteral("/dev/zero");
        } else if (kind == QLatin1String("directory")) {
            QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("run.plt")));
        } else {
            // A sparse file one byte past the limit, starting like a plot.
            writeFile(path, goodPlot);
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.resize(maxPlotFileSize + 1));
        }

        const LoadedPlot loaded = loadPlotFile(path);
        QCOMPARE(loaded.kind, LoadedPlot::Failed);
        QVERIFY2(loaded.message.contains(expected), qPrintable(loaded.message));

        // The same in the window, whether named on the command line or handed over.
        HandOff handOff;
        handOff.activePath = QFileInfo(path).path();
        handOff.fileIn = QFileInfo(path).fileName();
        const ViewerStart start = resolveStart({}, handOff);
        QCOMPARE(start.mode, ViewerStart::SinglePlot);
        PlotsWindow window(start, handOff);
        QCOMPARE(window.canvas()->current().kind, LoadedPlot::Failed);
        QVERIFY2(window.canvas()->message().contains(expected),
                 qPrintable(window.canvas()->message()));
        QVERIFY(!window.grab().isNull());

        // Such a file is not offered in a directory's list either.
        if (kind != QLatin1String("zero") && kind != QLatin1String("large"))
            QVERIFY(!plotFilesIn(dir.path()).contains(QStringLiteral("run.plt")));
    }

    void theStartFollowsTheArgumentOrTheHandOff_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("activePath"); // "@" stands for the temporary directory
        QTest::addColumn<QString>("fileIn");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("path");
        const int dirMode = ViewerStart::Directory, one = ViewerStart::SinglePlot,
                  none = ViewerStart::Message;
        QTest::newRow("directory with slash") << QStringList{"@/answers/"} << ""
                                              << "" << dirMode << "@/answers";
        QTest::newRow("directory with backslash") << QStringList{"@/answers\\"} << ""
                                                  << "" << dirMode << "@/answers";
        QTest::newRow("directory without slash") << QStringList{"@/answers"} << ""
                                                 << "" << dirMode << "@/answers";
        QTest::newRow("one plot") << QStringList{"@/answers/My plot.plt"} << "@/x"
                                  << "y.plt" << one << "@/answers/My plot.plt";
        QTest::newRow("unquoted name with a blank") << QStringList{"@/answers/My", "plot.plt"} << ""
                                                    << "" << one << "@/answers/My plot.plt";
        QTest::newRow("name in another case") << QStringList{"@/ANSWERS/my PLOT.plt"} << ""
                                              << "" << one << "@/answers/My plot.plt";
        QTest::newRow("hand-off when no argument")
            << QStringList{} << "@/answers"
            << "My plot.plt" << one << "@/answers/My plot.plt";
        QTest::newRow("hand-off directory ending in a slash")
            << QStringList{} << "@/answers/"
            << "My plot.plt" << one << "@/answers/My plot.plt";
        QTest::newRow("nothing at all") << QStringList{} << "@/answers/"
                                        << "" << none << "";
    }

    void theStartFollowsTheArgumentOrTheHandOff()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, activePath);
        QFETCH(QString, fileIn);
        QFETCH(int, mode);
        QFETCH(QString, path);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("answers")));
        writeFile(dir.filePath(QStringLiteral("answers/My plot.plt")), goodPlot);
        const QString root = dir.path();
        for (QString &a : arguments)
            a.replace(QLatin1Char('@'), root);
        HandOff handOff;
        handOff.activePath = activePath.replace(QLatin1Char('@'), root);
        handOff.fileIn = fileIn;

        const ViewerStart start = resolveStart(arguments, handOff);
        QCOMPARE(int(start.mode), mode);
        QCOMPARE(start.path, path.replace(QLatin1Char('@'), root));
        if (start.mode == ViewerStart::Message)
            QVERIFY(start.message.contains(QStringLiteral("No plot to show")));
    }

    void theHandOffValuesAreReadFromTheRegistryAndShown()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("answers")));
        writeFile(dir.filePath(QStringLiteral("answers/Heat-ivp.plt")), goodPlot);
        const QString hivePath = dir.filePath(QStringLiteral("hive.reg"));
        {
            RegistryHive hive(hivePath);
            const QString key = QStringLiteral("Software\\Brindlemoor");
            mdlRegistryAPI::CreateKey(hive, key);
            mdlRegistryAPI::WriteValue(hive,
                                       key,
                                       QStringLiteral("ActivePath"),
                                       mdlRegistryAPI::REG_SZ,
                                       dir.filePath(QStringLiteral("answers/")));
            mdlRegistryAPI::WriteValue(hive,
                                       key,
                                       QStringLiteral("ProgramPath"),
                                       mdlRegistryAPI::REG_SZ,
                                       QStringLiteral("/opt/zr tools/Kelvara"));
            mdlRegistryAPI::WriteValue(hive,
                                       key,
                                       QStringLiteral("fileIn"),
                                       mdlRegistryAPI::REG_SZ,
                                       QStringLiteral("Heat-ivp.plt"));
        }
        const HandOff handOff = readHandOff(hivePath);
        QCOMPARE(handOff.activePath, dir.filePath(QStringLiteral("answers/")));
        QCOMPARE(handOff.programPath, QStringLiteral("/opt/zr tools/Kelvara"));
        QCOMPARE(handOff.fileIn, QStringLiteral("Heat-ivp.plt"));

        PlotsWindow window(resolveStart({}, handOff), handOff);
        QCOMPARE(window.canvas()->current().kind, LoadedPlot::Plot);
        QCOMPARE(window.windowTitle(), QStringLiteral("Heat-ivp.plt - Plots"));
        auto *status = window.findChild<QLabel *>(QStringLiteral("handOffStatus"));
        QVERIFY(status);
        QCOMPARE(status->text(),
                 QStringLiteral("Handed over: %1   (program: /opt/zr tools/Kelvara)")
                     .arg(dir.filePath(QStringLiteral("answers/Heat-ivp.plt"))));

        // No hive at all: nothing handed over, and the window says what to do.
        const HandOff nothing = readHandOff(dir.filePath(QStringLiteral("none.reg")));
        QVERIFY(!nothing.names());
        PlotsWindow idle(resolveStart({}, nothing), nothing);
        QVERIFY(idle.canvas()->message().contains(QStringLiteral("No plot to show")));
        QCOMPARE(idle.windowTitle(), QStringLiteral("Plots"));
    }

    void saveAsPngWritesWhatIsShown()
    {
        QTemporaryDir dir;
        const QString plt = dir.filePath(QStringLiteral("a.plt"));
        const QString gif = dir.filePath(QStringLiteral("b.gif"));
        writeFile(plt, goodPlot);
        writeFile(gif, smallGif());

        PlotsWindow window(resolveStart({plt}, HandOff()), HandOff());
        window.canvas()->resize(320, 240);
        QString error;
        const QString out = dir.filePath(QStringLiteral("a.png"));
        QVERIFY2(window.savePng(out, &error), qPrintable(error));
        QImage back(out);
        QCOMPARE(back.size(), QSize(320, 240));
        QVERIFY(back.pixelColor(0, 0) == QColor(Qt::white));

        PlotsWindow picture(resolveStart({gif}, HandOff()), HandOff());
        const QString out2 = dir.filePath(QStringLiteral("b.png"));
        QVERIFY2(picture.savePng(out2, &error), qPrintable(error));
        back = QImage(out2);
        QCOMPARE(back.size(), QSize(40, 30));
        QCOMPARE(back.pixelColor(5, 5), QColor(Qt::red));

        QVERIFY(!window.savePng(dir.filePath(QStringLiteral("no/such/dir.png")), &error));
        QVERIFY2(error.contains(QStringLiteral("could not be saved")), qPrintable(error));
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    PlotsViewerTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_plotsviewer.moc"
