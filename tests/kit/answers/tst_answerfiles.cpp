#include "PlotData.h"
#include "demos/DemoCatalogue.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

// Runs the generator as the build does and checks what it writes.
class TestAnswerFiles : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyCatalogueRowHasAnAnswerAndAPlot_data();
    void everyCatalogueRowHasAnAnswerAndAPlot();
    void everyAnswerNamesTheCataloguesSolver();
    void everyPlotFileParses();
    void everyGifIsAGifFile();
    void reportsUseCrLfLinesAndClaimNoFailedSolve();
    void generatorIsDeterministic();
    void chosenStemsAreTheOnlyFilesWritten();
    void unknownStemIsRejectedWithoutWritingAnything();
    void unwritableDirectoryIsReportedAsAFailure();

private:
    static int runGenerator(const QStringList &args, QString *errorText = nullptr);
    QTemporaryDir m_dir;
    QString m_answers;
};

int TestAnswerFiles::runGenerator(const QStringList &args, QString *errorText)
{
    QProcess p;
    p.setProgram(QStringLiteral(KV_ANSWERS_EXE));
    p.setArguments(args);
    p.setStandardInputFile(QProcess::nullDevice());
    p.start();
    if (!p.waitForFinished(120000))
        return -1;
    if (errorText)
        *errorText = QString::fromLocal8Bit(p.readAllStandardError());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

void TestAnswerFiles::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(m_dir.isValid());
    m_answers = m_dir.filePath("answers with blanks & $signs");
    QString err;
    QCOMPARE(runGenerator({m_answers}, &err), 0);
    QVERIFY2(!err.contains("kv-answers:"), qPrintable(err));
}

void TestAnswerFiles::everyCatalogueRowHasAnAnswerAndAPlot_data()
{
    QTest::addColumn<QString>("stem");
    QStringList seen;
    for (const DemoRow &row : DemoCatalogue::rows())
        if (!seen.contains(row.filename)) {
            seen << row.filename;
            QTest::newRow(qPrintable(row.filename)) << row.filename;
        }
    QCOMPARE(seen.size(), 35);
}

void TestAnswerFiles::everyCatalogueRowHasAnAnswerAndAPlot()
{
    QFETCH(QString, stem);
    const QDir dir(m_answers);
    QFile out(dir.filePath(stem + ".out"));
    QVERIFY2(out.open(QIODevice::ReadOnly), qPrintable(out.fileName()));
    const QByteArray text = out.readAll();
    QVERIFY(text.size() > 200);
    QVERIFY(text.contains(stem.toUtf8()));
    QVERIFY2(dir.exists(stem + ".plt") || dir.exists(stem + ".gif"), qPrintable(stem));
}

void TestAnswerFiles::everyAnswerNamesTheCataloguesSolver()
{
    for (const DemoRow &row : DemoCatalogue::rows()) {
        if (DemoCatalogue::isGuide(row.filename))
            continue;
        QFile f(QDir(m_answers).filePath(row.filename + ".out"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(f.readAll());
        static const QRegularExpression solverLine(QStringLiteral("Solver \\.+: (.*)\r\n"));
        const QRegularExpressionMatch m = solverLine.match(text);
        QVERIFY2(m.hasMatch(), qPrintable(row.filename));
        const QString expected = row.solver.isEmpty() ? QStringLiteral("(none named)") : row.solver;
        QCOMPARE(m.captured(1), expected);
    }
}

void TestAnswerFiles::everyPlotFileParses()
{
    const QStringList plots = QDir(m_answers).entryList({"*.plt"}, QDir::Files);
    QVERIFY(plots.size() >= 25);
    for (const QString &name : plots) {
        QFile f(QDir(m_answers).filePath(name));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const PlotParseResult parsed = parsePlot(f.readAll());
        QVERIFY2(parsed.plot.has_value(), qPrintable(name + ": " + parsed.error));
        QVERIFY(!parsed.plot->title.isEmpty());
        QVERIFY(!parsed.plot->series.isEmpty());
        for (const PlotSeries &s : parsed.plot->series)
            for (const QPointF &p : s.points)
                QVERIFY2(std::isfinite(p.x()) && std::isfinite(p.y()),
                         qPrintable(name + " " + s.name));
    }
}

void TestAnswerFiles::everyGifIsAGifFile()
{
    const QStringList gifs = QDir(m_answers).entryList({"*.gif"}, QDir::Files);
    QVERIFY(gifs.size() >= 8);
    for (const QString &name : gifs) {
        QFile f(QDir(m_answers).filePath(name));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.read(6), QByteArray("GIF89a"));
    }
}

void TestAnswerFiles::reportsUseCrLfLinesAndClaimNoFailedSolve()
{
    for (const QString &name : QDir(m_answers).entryList({"*.out"}, QDir::Files)) {
        QFile f(QDir(m_answers).filePath(name));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray text = f.readAll();
        QCOMPARE(text.count('\n'), text.count("\r\n"));
        QVERIFY(text.endsWith("\r\n"));
        QVERIFY2(!text.contains(": NO"), qPrintable(name)); // "Converged ...: NO"
        static const QRegularExpression notANumber(QStringLiteral("\\b(nan|inf)\\b"),
                                                   QRegularExpression::CaseInsensitiveOption);
        QVERIFY2(!QString::fromUtf8(text).contains(notANumber), qPrintable(name));
    }
}

void TestAnswerFiles::generatorIsDeterministic()
{
    const QString again = m_dir.filePath("again");
    QCOMPARE(runGenerator({again}), 0);
    const QStringList first = QDir(m_answers).entryList(QDir::Files, QDir::Name);
    const QStringList second = QDir(again).entryList(QDir::Files, QDir::Name);
    QCOMPARE(second, first);
    for (const QString &name : first) {
        QFile a(QDir(m_answers).filePath(name)), b(QDir(again).filePath(name));
        QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
        QVERIFY2(a.readAll() == b.readAll(), qPrintable(name));
    }
}

void TestAnswerFiles::chosenStemsAreTheOnlyFilesWritten()
{
    const QString some = m_dir.filePath("some");
    QCOMPARE(runGenerator({some, "Shell", "^FIND-stmt"}), 0);
    const QStringList files = QDir(some).entryList(QDir::Files, QDir::Name);
    QCOMPARE(
        files,
        QStringList({"Shell.gif", "Shell.out", "Shell.plt", "^FIND-stmt.out", "^FIND-stmt.plt"}));
}

void TestAnswerFiles::unknownStemIsRejectedWithoutWritingAnything()
{
    const QString none = m_dir.filePath("none");
    QString err;
    QCOMPARE(runGenerator({none, "Heat-ivp", "no-such-demo"}, &err), 2);
    QVERIFY(err.contains("no-such-demo"));
    QVERIFY(QDir(none).entryList(QDir::Files).isEmpty());
    QCOMPARE(runGenerator({}), 2);
}

void TestAnswerFiles::unwritableDirectoryIsReportedAsAFailure()
{
    const QString blocked = m_dir.filePath("blocked");
    QFile file(blocked); // a file where the directory should be
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QString err;
    QCOMPARE(runGenerator({blocked, "IVP"}, &err), 1);
    QVERIFY2(err.contains("kv-answers:"), qPrintable(err));
}

QTEST_GUILESS_MAIN(TestAnswerFiles)
#include "tst_answerfiles.moc"
