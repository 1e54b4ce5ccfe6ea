// The launchers of the program directory, run as the program runs them: from a
// program directory (here a copy of the build directory's launchers) whose path
// holds blanks and shell characters.

#include "TessalyCheck.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

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

    Result launch(const QString &launcher, const QStringList &arguments)
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen"); // never a message box waiting for a click
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
        QCOMPARE(result.status, 0);
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
        QVERIFY(report().contains("does not compile or solve them"));
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

        QCOMPARE(launch("run-KV-Linux.pif", runArguments("wide")).status, 0);
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
