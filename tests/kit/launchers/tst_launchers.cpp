// The launchers of the program directory, run as the program runs them: from a
// program directory (here a copy of the build directory's launchers) whose path
// holds blanks and shell characters.

#include "TessalyCheck.h"

#include <PlotData.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

namespace {

const QStringList launcherFiles = {
    "kv-launch",
    "run-KV-Linux.pif",
    "run-KV-W9x.pif",
    "run-sim.pif",
    "list-ty.pif",
    "DOSstart.ode",
};

// A code file with an unclosed parenthesis on line 3 and a tab on line 4.
const QByteArray faultyCode = "Model Slab\n"
                              "  k = 0.5\n"
                              "  q = (k * 2\n"
                              "\tT = 1\n"
                              "End Model\n";

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

struct Result
{
    int status = -1;
    QByteArray out;
    QByteArray err;
};

} // namespace

class tst_Launchers : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_tmp;
    QString m_base;    // the tool-kit base directory
    QString m_program; // the program directory, base + "/Kelvara"
    QString m_user;
    int m_runs = 0;

    Result
    launch(const QString &launcher, const QStringList &arguments, const QStringList &display = {})
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen"); // never a message box waiting for a click
        env.insert("DISPLAY", display.value(0));
        env.insert("WAYLAND_DISPLAY", display.value(1));
        process.setProcessEnvironment(env);
        process.start(m_program + '/' + launcher, arguments);
        Result result;
        if (!process.waitForStarted(-1))
            return result;
        process.waitForFinished(-1);
        result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
        result.out = process.readAllStandardOutput();
        result.err = process.readAllStandardError();
        return result;
    }

    // Starts a launcher without waiting for it, headless.
    void startLauncher(QProcess &process, const QString &launcher, const QStringList &arguments)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        process.setProcessEnvironment(env);
        process.start(m_program + '/' + launcher, arguments);
        QVERIFY(process.waitForStarted(-1));
    }

    QString report() const { return QString::fromUtf8(readFile(m_user + "/~KV-out.txt")); }

    QStringList runArguments(const QString &name, const QString &data = QString()) const
    {
        return {name, m_user, m_user.left(2), m_base, data};
    }

private slots:
    void init()
    {
        // A fresh program directory for each test, under a base directory whose name
        // a shell would split, expand and glob.
        QVERIFY(m_tmp.isValid());
        m_base = m_tmp.path() + "/zr tools $HOME; 'q' *" + QString::number(++m_runs);
        m_program = m_base + "/Kelvara";
        m_user = m_program + "/user";
        QVERIFY(QDir().mkpath(m_user));
        for (const QString &name : launcherFiles) {
            const QString from = QStringLiteral(KV_LAUNCH_BUILD_DIR) + '/' + name;
            QVERIFY2(QFile::copy(from, m_program + '/' + name), qPrintable(from));
        }
    }

    void reportShowsArgumentsFilesFindingsAndListing_data()
    {
        QTest::addColumn<QString>("launcher");
        QTest::newRow("current systems") << "run-KV-Linux.pif";
        QTest::newRow("older systems") << "run-KV-W9x.pif";
    }

    void reportShowsArgumentsFilesFindingsAndListing()
    {
        QFETCH(QString, launcher);
        const QString code = m_user + "/slab \"1\"; $x.ty";
        writeFile(code, faultyCode);

        const Result result = launch(launcher, runArguments("slab \"1\"; $x"));
        QCOMPARE(result.status, 1); // a job with findings is not run
        const QByteArray raw = readFile(m_user + "/~KV-out.txt");
        QVERIFY(raw.endsWith("\r\n"));
        QCOMPARE(raw.count("\r\n"), raw.count('\n'));
        const QStringList lines = report().split("\r\n");

        QVERIFY(lines.contains("Launcher:       " + launcher + " in \"" + m_program + '"'));
        QVERIFY(lines.contains("  1 code name        \"slab \\\"1\\\"; $x\""));
        QVERIFY(lines.contains("  2 code directory   \"" + m_user + '"'));
        QVERIFY(lines.contains("  3 drive            \"" + m_user.left(2) + '"'));
        QVERIFY(lines.contains("  4 base directory   \"" + m_base + '"'));
        QVERIFY(lines.contains("  5 data file        \"\""));
        // Quotes in a path are escaped where the report quotes it.
        const QString quotedCode = '"' + m_user + "/slab \\\"1\\\"; $x.ty\"";
        QVERIFY(lines.contains("Code file:      " + quotedCode + " exists"));
        QVERIFY(lines.contains("Data file:      none named"));

        const QList<TyFinding> findings = checkTessaly(faultyCode);
        QVERIFY(!findings.isEmpty());
        QVERIFY(lines.contains(QStringLiteral("Syntax check:   %1 finding%2")
                                   .arg(findings.size())
                                   .arg(findings.size() == 1 ? "" : "s")));
        for (const TyFinding &finding : findings) {
            const QString line
                = QStringLiteral("%1:%2: %3").arg(code).arg(finding.line).arg(finding.message);
            QVERIFY2(lines.contains(line), qPrintable(line));
        }

        const int listing = lines.indexOf("Listing of " + quotedCode + " (5 lines):");
        QVERIFY(listing > 0);
        QCOMPARE(lines.mid(listing + 1, 5),
                 QStringList({"   1 | Model Slab",
                              "   2 |   k = 0.5",
                              "   3 |   q = (k * 2",
                              "   4 |         T = 1",
                              "   5 | End Model"}));
        QVERIFY(lines.contains("Run:            not done: the syntax check has findings; mend "
                               "them and submit again"));
        QVERIFY(!report().contains("Output of the run:"));
    }

    // The offscreen platform means no screen even when a display is named: the
    // launcher opens no run window (which would wait for a click) and reports as
    // without one.
    void offscreenPlatformOpensNoRunWindow()
    {
        writeFile(m_user + "/hello.ty", "Print \"hello\"\n");
        const Result r = launch("run-KV-Linux.pif", runArguments("hello"), {":97", "wayland-97"});
        QCOMPARE(r.status, 0);
        QVERIFY(report().contains("\r\nhello\r\n"));
        QVERIFY(r.out.startsWith("Report written to "));
    }

    void missingCodeFileGivesNonZeroStatusAndSaysSo()
    {
        const Result result = launch("run-KV-Linux.pif", runArguments("absent"));
        QCOMPARE(result.status, 1);
        const QStringList lines = report().split("\r\n");
        QVERIFY(lines.contains("Code file:      \"" + m_user + "/absent.ty\" does not exist"));
        QVERIFY(lines.contains("Syntax check:   not done, there is no code file to check"));
        QVERIFY(!report().contains("Listing of"));
    }

    void missingArgumentsAreShownAndGiveNonZeroStatus()
    {
        const Result result = launch("run-KV-Linux.pif", {"model"});
        QCOMPARE(result.status, 1);
        const QStringList lines = report().split("\r\n");
        QVERIFY(lines.contains("Arguments (1 given, 5 expected):"));
        QVERIFY(lines.contains("  2 code directory   (missing)"));
        QVERIFY(lines.contains("  5 data file        (not given: no data file)"));
    }

    void reportIsReplacedAndNothingElseChanges()
    {
        writeFile(m_user + "/model.ty", "Model M\nEnd Model\n");
        writeFile(m_user + "/notes; $x.txt", "keep me\r\n");
        writeFile(m_user + "/~KV-out.txt", "the previous run's report\r\n");
        writeFile(m_program + "/DOSstart.tmp", "listing = yes\n");
        const QStringList userBefore
            = QDir(m_user).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        const QStringList programBefore
            = QDir(m_program).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);

        QCOMPARE(launch("run-KV-Linux.pif", runArguments("model")).status, 0);

        QVERIFY(!report().contains("the previous run's report"));
        QVERIFY(report().startsWith("Kelvara sample tool kit: run report"));
        QVERIFY(report().contains("Settings:       DOSstart.tmp\r\n"));
        QCOMPARE(QDir(m_user).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 userBefore);
        QCOMPARE(QDir(m_program).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 programBefore);
        QCOMPARE(readFile(m_user + "/model.ty"), QByteArray("Model M\nEnd Model\n"));
        QCOMPARE(readFile(m_user + "/notes; $x.txt"), QByteArray("keep me\r\n"));
        QCOMPARE(readFile(m_program + "/DOSstart.tmp"), QByteArray("listing = yes\n"));
    }

    void codeFileIsFoundWithoutRegardToCase_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("found");
        QTest::addColumn<bool>("caseDiffers");
        QTest::newRow("upper-case file")
            << "model" << QStringList{"Model.TY"} << "Model.TY" << true;
        QTest::newRow("upper-case name")
            << "MODEL" << QStringList{"model.ty"} << "model.ty" << true;
        QTest::newRow("exact name wins")
            << "model" << QStringList{"Model.ty", "model.ty", "MODEL.TY"} << "model.ty" << false;
    }

    void codeFileIsFoundWithoutRegardToCase()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, files);
        QFETCH(QString, found);
        QFETCH(bool, caseDiffers);
        for (const QString &file : files)
            writeFile(m_user + '/' + file, file == found ? "Model A\nEnd Model\n" : "other\n");

        QCOMPARE(launch("run-KV-Linux.pif", runArguments(name)).status, 0);
        const QString text = report();
        QCOMPARE(text.contains("matched without regard to case"), caseDiffers);
        QVERIFY(text.contains("found \"" + m_user + '/' + found + '"')
                || text.contains("Code file:      \"" + m_user + '/' + found + "\" exists"));
        QVERIFY(text.contains("   1 | Model A\r\n"));
    }

    void dataFileIsLookedForInTheCodeDirectory_data()
    {
        QTest::addColumn<bool>("present");
        QTest::addColumn<int>("status");
        QTest::newRow("present") << true << 0;
        QTest::newRow("missing") << false << 1;
    }

    void dataFileIsLookedForInTheCodeDirectory()
    {
        QFETCH(bool, present);
        QFETCH(int, status);
        writeFile(m_user + "/model.ty", "Model M\nEnd Model\n");
        if (present)
            writeFile(m_user + "/heat data;1.dat", "1 2\n");

        QCOMPARE(launch("run-KV-Linux.pif", runArguments("model", "heat data;1.dat")).status,
                 status);
        const QString path = '"' + m_user + "/heat data;1.dat\"";
        QVERIFY(report().contains("  5 data file        \"heat data;1.dat\"\r\n"));
        QVERIFY(report().contains("Data file:      " + path
                                  + (present ? " exists\r\n" : " does not exist\r\n")));
    }

    void launcherSettingsShapeTheListing()
    {
        writeFile(
            m_user + "/wide.ty",
            "Model Wide \xe9\n\tx = 123456789012345678901234567890123456\nEnd Model\nline 4\n");
        writeFile(m_program + "/DOSstart.tmp",
                  "; launcher input\r\nlisting-width = 20\r\ntab-width = 4\r\n"
                  "listing-lines = 3\r\nlisting-width = 5\r\ncolour = red\r\n");

        QCOMPARE(launch("run-KV-Linux.pif", runArguments("wide")).status, 1); // "line 4"
        const QStringList lines = report().split("\r\n");
        const int listing = lines.indexOf("Listing of \"" + m_user
                                          + "/wide.ty\" (4 lines, read as Windows-1252):");
        QVERIFY(listing > 0);
        QCOMPARE(lines.mid(listing + 1, 5),
                 QStringList({QString::fromUtf8("   1 | Model Wide \u00e9"),
                              "   2 |     x = 123456789012",
                              "     + 34567890123456789012",
                              "     + 3456",
                              "   3 | End Model"}));
        QVERIFY(lines.contains("... 1 more lines not listed (listing-lines = 3 in DOSstart.tmp)"));
        QVERIFY(report().contains("  note: DOSstart.tmp line 5: listing-width must be"));
        QVERIFY(report().contains("  note: DOSstart.tmp line 6: unknown setting \"colour\""));
    }

    void missingUserDirectoryGivesStatusTwoAndWritesNothing()
    {
        writeFile(m_program + "/model.ty", "Model M\nEnd Model\n");
        QVERIFY(QDir(m_user).removeRecursively());
        const Result result = launch("run-KV-Linux.pif", {"model", m_program, "/t", m_base, ""});
        QCOMPARE(result.status, 2);
        QVERIFY(result.err.contains("was not written"));
        QVERIFY(!QFileInfo::exists(m_user));
    }

    void simulationLauncherPassesTheDataFileUnchanged_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("empty data file") << QStringList{""};
        QTest::newRow("no argument") << QStringList{};
        QTest::newRow("shell and Qt characters") << QStringList{"-platform", "a b;$c *'\""};
    }

    void simulationLauncherPassesTheDataFileUnchanged()
    {
        QFETCH(QStringList, arguments);
        writeFile(m_program + "/MySim.exe",
                  "#!/bin/sh\nfor a; do printf '[%s]\\n' \"$a\"; done\nexit 7\n");
        QVERIFY(QFile::setPermissions(m_program + "/MySim.exe",
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

        const Result result = launch("run-sim.pif", arguments);
        QCOMPARE(result.status, 7);
        QByteArray expected;
        for (const QString &argument : arguments)
            expected += '[' + argument.toUtf8() + "]\n";
        QCOMPARE(result.out, expected);
    }

    void simulationLauncherExplainsAMissingProgram_data()
    {
        QTest::addColumn<bool>("present");
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("missing") << false << QByteArray("was not found");
        QTest::newRow("not executable") << true << QByteArray("is not executable");
    }

    void simulationLauncherExplainsAMissingProgram()
    {
        QFETCH(bool, present);
        QFETCH(QByteArray, message);
        if (present)
            writeFile(m_program + "/MySim.exe", "#!/bin/sh\nexit 0\n");

        const Result result = launch("run-sim.pif", {"data.dat"});
        QCOMPARE(result.status, 1);
        QVERIFY2(result.err.contains("MySim.exe") && result.err.contains(message),
                 result.err.constData());
    }

    // The two models a new user writes from the language description alone.
    void modelsOfOnesOwnRunAndArePlotted()
    {
        // A damped oscillator x'' + 2 zeta w x' + w^2 x = 0, x(0) = 1, x'(0) = 0.
        writeFile(m_user + "/oscillator.ty",
                  "Title \"Damped oscillator\"\n"
                  "Parameter w = 2, zeta = 0.1\n"
                  "Variable x = 1, v = 0, t = 0\n"
                  "Model spring\n"
                  "   x' = v\n"
                  "   v' = -2*zeta*w*v - w^2*x\n"
                  "   Print t, x\n"
                  "   Plot x Vs t Named \"x(t)\" XLabel \"t\" YLabel \"x\"\n"
                  "End Model\n"
                  "Initiate RKF45 For spring Equations x, v Of t Span 0, 10 Step 0.5 &\n"
                  "   With Tolerance = 1e-9, AbsTolerance = 1e-9\n");
        QCOMPARE(launch("run-KV-Linux.pif", runArguments("oscillator")).status, 0);
        const QStringList lines = report().split("\r\n");
        const qsizetype first = lines.indexOf("Output of the run:") + 2;
        QVERIFY(first > 2);
        const double w = 2, zeta = 0.1, wd = w * std::sqrt(1 - zeta * zeta);
        for (int k = 0; k <= 20; ++k) {
            const QStringList cells = lines.value(first + k).split(' ', Qt::SkipEmptyParts);
            QCOMPARE(cells.size(), 2);
            const double t = 0.5 * k;
            QCOMPARE(cells.at(0).toDouble(), t);
            const double exact
                = std::exp(-zeta * w * t) * (std::cos(wd * t) + zeta * w / wd * std::sin(wd * t));
            QVERIFY2(std::abs(cells.at(1).toDouble() - exact) < 2e-6,
                     qPrintable(lines.value(first + k)));
        }
        QVERIFY(report().contains("\r\nRun:            completed in "));
        const PlotParseResult plot = parsePlot(readFile(m_user + "/oscillator.plt"));
        QVERIFY2(plot.plot, qPrintable(plot.error));
        QCOMPARE(plot.plot->title, QString("Damped oscillator"));
        QCOMPARE(plot.plot->series.size(), 1);
        QCOMPARE(plot.plot->series.first().name, QString("x(t)"));
        QCOMPARE(plot.plot->series.first().points.size(), 21);
        QVERIFY(QFileInfo(m_user + "/oscillator.gif").size() > 0);

        // A straight line through five points by least squares.
        writeFile(m_user + "/line fit.ty",
                  "Parameter xd[5] = [1, 2, 3, 4, 5], yd[5] = [2.2, 2.8, 3.6, 4.5, 5.1]\n"
                  "Variable a = 0, b = 0, r[5], i\n"
                  "Model line\n"
                  "   For i = 1 To 5\n"
                  "      r[i] = a + b*xd[i] - yd[i]\n"
                  "   End For\n"
                  "End Model\n"
                  "Find a, b In line Using LSQ To Fit r\n"
                  "Print \"a = \", a, \" b = \", b\n"
                  "Plot yd Vs xd Named \"data\" Markers\n"
                  "Plot a + b*xd[1] Vs xd[1] Named \"fit\"\n"
                  "Plot a + b*xd[5] Vs xd[5] Named \"fit\"\n");
        QCOMPARE(launch("run-KV-Linux.pif", runArguments("line fit")).status, 0);
        // The normal equations give b = Sxy/Sxx, a = mean(y) - b mean(x).
        const double xs[] = {1, 2, 3, 4, 5}, ys[] = {2.2, 2.8, 3.6, 4.5, 5.1};
        double sxy = 0, sxx = 0;
        for (int i = 0; i < 5; ++i) {
            sxy += (xs[i] - 3) * (ys[i] - 3.64);
            sxx += (xs[i] - 3) * (xs[i] - 3);
        }
        const double b = sxy / sxx, a = 3.64 - 3 * b;
        const QStringList fit = report().split("\r\n").filter(QRegularExpression("^a = "));
        QCOMPARE(fit.size(), 1);
        QCOMPARE(
            fit.first(),
            QString("a = %1 b = %2").arg(QString::number(a, 'g', 6), QString::number(b, 'g', 6)));
        const PlotParseResult line = parsePlot(readFile(m_user + "/line fit.plt"));
        QVERIFY2(line.plot, qPrintable(line.error));
        QCOMPARE(line.plot->series.size(), 2);
        QCOMPARE(line.plot->series.at(0).points.size(), 5);
    }

    void runTimeErrorsStopWithFileLineAndKeepTheOutput_data()
    {
        QTest::addColumn<QByteArray>("code");
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QByteArray>("settings");
        const QByteArray head = "Variable x = 2, y = 1, t = 0, r, i\nPrint \"before\", x\n";
        QTest::newRow("division by zero") << head + "x = 1/(x - 2)\n"
                                          << 3 << "division by zero" << QByteArray();
        QTest::newRow("square root of a negative number")
            << head + "x = sqrt(1 - x)\n"
            << 3 << "square root of a negative number" << QByteArray();
        QTest::newRow("index out of range") << head + "Variable T[3]\nT[x + 2] = 1\n"
                                            << 4 << "index out of range: T[4]" << QByteArray();
        QTest::newRow("no convergence")
            << head + "Model m\n   r = x^2 + 1\nEnd Model\nFind x In m Using NEWTON To Zero r\n"
            << 6 << "NEWTON did not converge" << QByteArray();
        // The optimisers of NLopt once lost the model's error and aborted the launcher.
        QTest::newRow("error inside a model that SQP runs")
            << head
                   + "Model m\n   r = (x - 3)^2 + 1/(y - 1)\nEnd Model\n"
                     "Find x In m Using SQP To Minimize r\n"
            << 4 << "division by zero (1 / 0)" << QByteArray();
        QTest::newRow("step size collapse")
            << head
                   + "Model m\n   y' = y^2\nEnd Model\n"
                     "Initiate RKF45 For m Equations y Of t Span 0, 2 Step 0.5\n"
            << 6 << "RKF45: the step size collapsed at t = 1" << QByteArray();
        QTest::newRow("loop limit") << head + "For i = 1 To 1000\n   x = x + 1\nEnd For\n"
                                    << 3
                                    << "the For loop would make 1000 passes, more than the loop "
                                       "limit 100 (loop-limit in DOSstart.tmp)"
                                    << QByteArray("loop-limit = 100\n");
    }

    void runTimeErrorsStopWithFileLineAndKeepTheOutput()
    {
        QFETCH(QByteArray, code);
        QFETCH(int, line);
        QFETCH(QString, message);
        QFETCH(QByteArray, settings);
        if (!settings.isEmpty())
            writeFile(m_program + "/DOSstart.tmp", settings);
        writeFile(m_user + "/job.ty", code);
        QCOMPARE(launch("run-KV-Linux.pif", runArguments("job")).status, 1);
        const QStringList lines = report().split("\r\n");
        QVERIFY(lines.contains("before2"));
        const QStringList outcome = lines.filter("Run:            stopped after ");
        QCOMPARE(outcome.size(), 1);
        QVERIFY2(outcome.first().contains(" s at " + m_user + "/job.ty:" + QString::number(line)
                                          + ": " + message),
                 qPrintable(outcome.first()));
    }

    // File names and texts that hold '%' reach the report exactly as they are.
    void percentSignsInNamesReachTheReportExactly_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("%1 s%2") << "%1 s%2";
        QTest::newRow("%2%1") << "%2%1";
        QTest::newRow("100%") << "100%";
    }

    void percentSignsInNamesReachTheReportExactly()
    {
        QFETCH(QString, name);
        const QString dir = m_user + '/' + name;
        QVERIFY(QDir().mkpath(dir));
        const QByteArray code = "Variable x\nx = \"open\nx = 1 +\nx = $\n";
        writeFile(dir + '/' + name + ".ty", code);
        writeFile(m_program + "/DOSstart.tmp", "listing-lines = 2\n");
        QCOMPARE(launch("run-KV-Linux.pif", {name, dir, "/", m_base, ""}).status, 1);
        const QStringList lines = report().split("\r\n");
        const QString path = dir + '/' + name + ".ty";
        const QList<TyFinding> findings = checkTessaly(code);
        QCOMPARE(findings.size(), 3);
        QVERIFY(lines.contains("Syntax check:   3 findings"));
        for (const TyFinding &f : findings)
            QVERIFY2(lines.contains(path + ':' + QString::number(f.line) + ": " + f.message),
                     qPrintable(report()));
        QString quotedPath = path;
        QVERIFY(lines.contains("Listing of \"" + quotedPath + "\" (4 lines):"));
        QVERIFY(lines.contains("   2 | x = \"open"));
        QVERIFY(lines.contains("... 2 more lines not listed (listing-lines = 2 in DOSstart.tmp)"));
    }

    // Control bytes and characters beyond 16 bits in a finding and in the listing.
    void controlBytesAreEscapedAndWideCharactersKeptWhole()
    {
        const QByteArray nul("Variable x\nx = 1 \0 2\n", 21);
        writeFile(m_user + "/nul.ty", nul);
        QCOMPARE(launch("run-KV-Linux.pif", runArguments("nul")).status, 1);
        QStringList lines = report().split("\r\n");
        QVERIFY2(lines.contains(m_user + "/nul.ty:2: unexpected character '\\x00'"),
                 qPrintable(report()));
        QVERIFY(lines.contains("   2 | x = 1 \\x00 2"));
        QVERIFY(!report().contains(QChar(0)));

        const QString zero = QString::fromUcs4(U"\U0001D7D8");
        const QString smile = QString::fromUcs4(U"\U0001F600");
        const QByteArray wide
            = ("Variable sq\nsq" + zero + " = 1\nsq = 1 " + smile + "\n").toUtf8();
        writeFile(m_user + "/wide.ty", wide);
        writeFile(m_program + "/DOSstart.tmp", "listing-width = 21\n");
        writeFile(m_user + "/long.ty",
                  ("! " + QString(40, QChar(0)).replace(QChar(0), zero) + "\n").toUtf8());
        QCOMPARE(launch("run-KV-Linux.pif", runArguments("wide")).status, 1);
        lines = report().split("\r\n");
        const QList<TyFinding> findings = checkTessaly(wide);
        QCOMPARE(findings.size(), 2);
        QVERIFY(findings.at(0).message.startsWith("unknown name 'sq" + zero + "'"));
        QCOMPARE(findings.at(1).message, "unexpected character '" + smile + "' (U+1F600)");
        for (const TyFinding &f : findings)
            QVERIFY2(
                lines.contains(m_user + "/wide.ty:" + QString::number(f.line) + ": " + f.message),
                qPrintable(report()));
        QCOMPARE(launch("run-KV-Linux.pif", runArguments("long")).status, 0);
        lines = report().split("\r\n");
        const qsizetype at = lines.indexOf(QRegularExpression("^   1 \\| ! .*"));
        QVERIFY(at > 0);
        QString listed = lines.at(at).mid(9);
        for (qsizetype k = at + 1; lines.at(k).startsWith("     + "); ++k)
            listed += lines.at(k).mid(7);
        QCOMPARE(listed, QString(40, QChar(0)).replace(QChar(0), zero));
        QVERIFY(!report().contains(QChar(QChar::ReplacementCharacter)));
    }

    void binaryFilesAreRefusedAndFindingsCapped()
    {
        QByteArray noise(1 << 20, '\0');
        quint32 seed = 12345;
        for (char &c : noise) {
            seed = seed * 1664525u + 1013904223u;
            c = char(seed >> 24);
        }
        writeFile(m_user + "/noise.ty", noise);
        QCOMPARE(launch("run-KV-Linux.pif", runArguments("noise")).status, 1);
        QVERIFY(report().contains("Syntax check:   not done: \"" + m_user
                                  + "/noise.ty\" is not a text file"));
        QVERIFY(QFileInfo(m_user + "/~KV-out.txt").size() < 4000);

        QByteArray many;
        for (int i = 0; i < 250; ++i)
            many += "x = \n";
        writeFile(m_user + "/many.ty", many);
        QCOMPARE(launch("run-KV-Linux.pif", runArguments("many")).status, 1);
        const QStringList lines = report().split("\r\n");
        QCOMPARE(lines
                     .filter(QRegularExpression("^" + QRegularExpression::escape(m_user)
                                                + "/many.ty:\\d+: "))
                     .size(),
                 100);
        QVERIFY(lines.contains("... and 150 more findings, not listed"));
    }

    // A flood of printed lines fills the report up to the output limit and no
    // further; the report says how many lines it did not keep and still ends whole.
    void floodOfOutputIsCutAtTheOutputLimit()
    {
        writeFile(m_user + "/flood.ty",
                  "For i = 1 To 100000\n   Print \"flood line \", i\nEnd For\n");
        writeFile(m_program + "/DOSstart.tmp", "output-limit = 1\r\n");
        QCOMPARE(launch("run-KV-Linux.pif", runArguments("flood")).status, 0);
        const QByteArray text = readFile(m_user + "/~KV-out.txt");
        QVERIFY2(text.size() < 1024 * 1024 + 16 * 1024,
                 QByteArray::number(text.size()).constData());
        const QStringList lines = QString::fromUtf8(text).split("\r\n");
        const QRegularExpression cut(
            "^\\.\\.\\. (\\d+) more lines not kept \\(the report keeps 1 MB of output: "
            "output-limit in DOSstart.tmp\\)$");
        const int at = lines.indexOf(cut);
        QVERIFY(at > 0);
        // Every line kept is whole, in order, and the kept and the counted make all.
        const QString lastKept = lines.at(at - 1);
        QVERIFY2(lastKept.startsWith("flood line "), qPrintable(lastKept));
        const int kept = lastKept.mid(11).toInt();
        QCOMPARE(lines.at(lines.indexOf("flood line 1") + kept - 1), lastKept);
        QCOMPARE(kept + cut.match(lines.at(at)).captured(1).toInt(), 100000);
        QVERIFY(lines.at(lines.size() - 2).startsWith("Run:            completed in "));
    }

    // Two runs at once, headless: the second waits until the first has written its
    // report, then writes its own, which says whom it waited for. Without the lock the
    // quick second run would end first and the slow first run's report would remain.
    void secondRunWaitsForTheFirstAndWritesAfterIt()
    {
        writeFile(m_user + "/slow.ty", "For i = 1 To 3000000\n   Print \"slow \", i\nEnd For\n");
        writeFile(m_user + "/quick.ty", "Print \"quick\"\n");
        writeFile(m_program + "/DOSstart.tmp", "output-limit = 1\r\n");
        QProcess first;
        startLauncher(first, "run-KV-Linux.pif", runArguments("slow"));
        const qint64 firstPid = first.processId();
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_user + "/~KV-out.lock"), 20000);
        QProcess second;
        startLauncher(second, "run-KV-W9x.pif", runArguments("quick"));
        QVERIFY(first.waitForFinished(-1));
        QCOMPARE(first.exitCode(), 0);
        QVERIFY(second.waitForFinished(-1));
        QCOMPARE(second.exitCode(), 0);
        const QString holder = QString("the run of \"slow.ty\" (process %1)").arg(firstPid);
        const QByteArray said = second.readAllStandardError();
        QVERIFY2(said.contains(("waiting for " + holder).toUtf8()), said.constData());
        const QStringList lines = report().split("\r\n");
        QVERIFY(lines.contains("Launcher:       run-KV-W9x.pif in \"" + m_program + '"'));
        QVERIFY(lines.contains("Waited for:     " + holder + " to end before this run"));
        QVERIFY(lines.contains("quick"));
        QVERIFY(lines.at(lines.size() - 2).startsWith("Run:            completed in "));
        QVERIFY(!QFile::exists(m_user + "/~KV-out.lock"));
    }

    // The lock names its holder's process; a holder that is no run launcher is named
    // by its process alone. A lock left by a process that has ended is taken over.
    void runWaitsForAnyHolderAndTakesOverALeftLock()
    {
        writeFile(m_user + "/hello.ty", "Print \"hello\"\n");
        {
            QLockFile held(m_user + "/~KV-out.lock");
            QVERIFY(held.tryLock(0));
            QProcess run;
            startLauncher(run, "run-KV-Linux.pif", runArguments("hello"));
            QVERIFY(!run.waitForFinished(1000)); // still waiting for the lock
            QVERIFY(!QFile::exists(m_user + "/~KV-out.txt"));
            held.unlock();
            QVERIFY(run.waitForFinished(-1));
            QCOMPARE(run.exitCode(), 0);
            QVERIFY(report().contains(QString("Waited for:     the run of process %1 to end")
                                          .arg(QCoreApplication::applicationPid())));
        }

        // A launcher killed outright leaves its lock file behind.
        writeFile(m_user + "/slow.ty", "For i = 1 To 9000000\n   Print \"slow \", i\nEnd For\n");
        writeFile(m_program + "/DOSstart.tmp", "output-limit = 1\r\n");
        QProcess killed;
        startLauncher(killed, "run-KV-Linux.pif", runArguments("slow"));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_user + "/~KV-out.lock"), 20000);
        killed.kill();
        QVERIFY(killed.waitForFinished(-1));
        QVERIFY(QFile::exists(m_user + "/~KV-out.lock"));
        const Result r = launch("run-KV-Linux.pif", runArguments("hello"));
        QCOMPARE(r.status, 0);
        QVERIFY(!report().contains("Waited for:"));
        QVERIFY(report().contains("\r\nhello\r\n"));
    }

    void searchLauncherStartsTheToolOnTheDemoDirectory()
    {
        QVERIFY(QDir().mkpath(m_program + "/demos/all"));
        const Result missing = launch("list-ty.pif", {});
        QCOMPARE(missing.status, 1);
        QVERIFY2(missing.err.contains("List.com"), missing.err.constData());

        writeFile(m_program + "/List.com",
                  "#!/bin/sh\nprintf '%s|%s|%s\\n' \"$#\" \"$1\" \"$(pwd -P)\"\n");
        QVERIFY(QFile::setPermissions(m_program + "/List.com",
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        const Result result = launch("list-ty.pif", {});
        QCOMPARE(result.status, 0);
        const QString demos = m_program + "/demos/all";
        QCOMPARE(QString::fromUtf8(result.out),
                 "1|" + demos + '|' + QFileInfo(demos).canonicalFilePath() + '\n');
    }
};

QTEST_GUILESS_MAIN(tst_Launchers)
#include "tst_launchers.moc"
