// The install tree: installs the whole build into a temporary base directory (whose
// name holds blanks and shell characters) and checks every path the program relies
// on, the demos and their answers, the stored plots, the installed run launcher on
// every code demo, and that a reinstall leaves the user's files alone.

#include "PlotData.h"
#include "demos/DemoCatalogue.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

} // namespace

class tst_KitLayout : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_tmp;
    QString m_base;    // the install prefix: the tool-kit base directory
    QString m_program; // base + "/Kelvara"
    QString m_demos;   // program + "/demos/all"

    // cmake --install <build dir> --prefix <base>; the output when it fails.
    QString install()
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DESTDIR");
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral(KV_CMAKE_COMMAND),
                      {"--install", QStringLiteral(KV_BUILD_DIR), "--prefix", m_base});
        if (!process.waitForStarted(-1))
            return "cmake could not be started: " + process.errorString();
        process.waitForFinished(-1);
        if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
            // The lines after the "-- Installing" ones say what is wrong.
            QStringList problems;
            for (const QString &line : QString::fromLocal8Bit(process.readAll()).split('\n'))
                if (!line.startsWith("-- "))
                    problems << line;
            return "cmake --install failed (the whole build must be built first):\n"
                   + problems.join('\n');
        }
        return {};
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_tmp.isValid());
        m_base = m_tmp.path() + "/zr tools $HOME; *";
        m_program = m_base + '/' + KV_PROGRAM_DIR;
        m_demos = m_program + "/demos/all";
        const QString failure = install();
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
    }

    void everyPathOfTheInstallTreeExists_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("kind");
        const QString p = QStringLiteral(KV_PROGRAM_DIR) + '/';
        QTest::newRow("plot viewer") << "plots.exe"
                                     << "program";
        QTest::newRow("program") << p + "Kelvara"
                                 << "program";
        QTest::newRow("launcher input") << p + "DOSstart.ode"
                                        << "file";
        QTest::newRow("launcher, older systems") << p + "run-KV-W9x.pif"
                                                 << "program";
        QTest::newRow("launcher, current systems") << p + "run-KV-Linux.pif"
                                                   << "program";
        QTest::newRow("simulation launcher") << p + "run-sim.pif"
                                             << "program";
        QTest::newRow("search launcher") << p + "list-ty.pif"
                                         << "program";
        QTest::newRow("search tool") << p + "List.com"
                                     << "program";
        QTest::newRow("launchers' program") << p + "kv-launch"
                                            << "program";
        QTest::newRow("manual") << p + "ty-manual 1.rtf"
                                << "file";
        QTest::newRow("mail subject") << p + "email.txt"
                                      << "file";
        QTest::newRow("user directory") << p + "user"
                                        << "directory";
        QTest::newRow("demo directory") << p + "demos/all"
                                        << "directory";
        QTest::newRow("answers directory") << p + "demos/all/answers"
                                           << "directory";
    }

    void everyPathOfTheInstallTreeExists()
    {
        QFETCH(QString, path);
        QFETCH(QString, kind);
        const QFileInfo info(m_base + '/' + path);
        QVERIFY2(info.exists(), qPrintable(path + " is missing"));
        if (kind == "directory") {
            QVERIFY(info.isDir());
        } else {
            QVERIFY(info.isFile());
            QVERIFY2(info.size() > 0, qPrintable(path + " is empty"));
            QCOMPARE(info.isExecutable(), kind == "program");
        }
    }

    void freshInstallPutsNothingIntoTheUserDirectory()
    {
        QCOMPARE(QDir(m_program + "/user")
                     .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList());
    }

    void toolFilesHaveTheirContent()
    {
        const QList<QByteArray> email = readFile(m_program + "/email.txt").split('\n');
        QVERIFY(!email.first().trimmed().isEmpty()); // the mail's subject
        QVERIFY(readFile(m_program + "/ty-manual 1.rtf").startsWith("{\\rtf"));
        QVERIFY(readFile(m_program + "/DOSstart.ode").contains("listing-width"));
    }

    void everyCatalogueRowHasItsDemoAnswerAndPlot_data()
    {
        QTest::addColumn<QString>("row");
        QSet<QString> seen;
        for (const DemoRow &row : DemoCatalogue::rows()) {
            if (!seen.contains(row.filename))
                QTest::newRow(qPrintable(row.filename)) << row.filename;
            seen.insert(row.filename);
        }
        QCOMPARE(seen.size(), 35);
    }

    void everyCatalogueRowHasItsDemoAnswerAndPlot()
    {
        QFETCH(QString, row);
        const QString file = DemoCatalogue::fileNameOf(row);
        QVERIFY2(QFileInfo(m_demos + '/' + file).isFile(), qPrintable(file + " is missing"));
        const QString answers = m_demos + "/answers/" + row;
        QVERIFY2(QFileInfo(answers + ".out").isFile(), qPrintable(row + ".out is missing"));
        if (!DemoCatalogue::isGuide(row))
            QVERIFY2(QFileInfo(answers + ".plt").isFile() || QFileInfo(answers + ".gif").isFile(),
                     qPrintable(row + " has neither a .plt nor a .gif plot"));
    }

    void everyStoredPlotReadsBack()
    {
        const QDir answers(m_demos + "/answers");
        const QStringList plots = answers.entryList({"*.plt", "*.gif"}, QDir::Files);
        QVERIFY2(!plots.isEmpty(), "no stored plot in demos/all/answers");
        QStringList faults;
        for (const QString &name : plots) {
            const QString path = answers.filePath(name);
            if (name.endsWith(".plt")) {
                const PlotParseResult result = parsePlot(readFile(path));
                if (!result.plot.has_value())
                    faults << name + ": " + result.error;
                else if (result.plot->series.isEmpty())
                    faults << name + ": no series";
            } else {
                QImageReader reader(path);
                if (reader.format() != "gif" || reader.read().isNull())
                    faults << name + ": not a readable GIF (" + reader.errorString() + ')';
            }
        }
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join('\n')));
    }

    void installedRunLauncherRunsEveryCodeDemo_data()
    {
        QTest::addColumn<QString>("row");
        for (const QString &file : DemoCatalogue::distinctFileNames())
            if (file.endsWith(".ty"))
                QTest::newRow(qPrintable(file)) << file.chopped(3);
    }

    void installedRunLauncherRunsEveryCodeDemo()
    {
        QFETCH(QString, row);
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        process.setProcessEnvironment(env);
        process.start(m_program + "/run-KV-Linux.pif", {row, m_demos, m_demos.left(2), m_base, ""});
        QVERIFY(process.waitForStarted(-1));
        process.waitForFinished(-1);
        QCOMPARE(process.exitCode(), 0);
        const QString report = QString::fromUtf8(readFile(m_program + "/user/~KV-out.txt"));
        QVERIFY(report.contains("Code file:      \"" + m_demos + '/' + row + ".ty\" exists"));
        QVERIFY2(report.contains("Syntax check:   no findings"), qPrintable(report));
        // The installed kit runs the demo: its output is the stored answer, its plot
        // goes into the user directory.
        QVERIFY2(report.contains("\r\nRun:            completed in "), qPrintable(report));
        const QByteArray answer = readFile(m_demos + "/answers/" + row + ".out");
        const QByteArray expected = QByteArray("------------------\r\n") + answer + "\r\n";
        QVERIFY(report.toUtf8().contains(expected));
        QCOMPARE(QFileInfo::exists(m_program + "/user/" + row + ".plt"),
                 QFileInfo::exists(m_demos + "/answers/" + row + ".plt"));
    }

    void reinstallLeavesTheUserFilesUntouched()
    {
        const QString mine = m_program + "/user/my model; $x.ty";
        const QString report = m_program + "/user/~KV-out.txt";
        for (const QString &path : {mine, report}) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("the user's own text\r\n");
            file.close();
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(QDateTime::currentDateTime().addDays(-30),
                                     QFileDevice::FileModificationTime));
        }
        const QDateTime before = QFileInfo(mine).lastModified();
        const QStringList files = QDir(m_program + "/user").entryList(QDir::Files | QDir::Hidden);
        QVERIFY(files.contains("my model; $x.ty"));

        const QString failure = install();
        QVERIFY2(failure.isEmpty(), qPrintable(failure));

        QCOMPARE(QDir(m_program + "/user").entryList(QDir::Files | QDir::Hidden), files);
        QCOMPARE(readFile(mine), QByteArray("the user's own text\r\n"));
        QCOMPARE(readFile(report), QByteArray("the user's own text\r\n"));
        QCOMPARE(QFileInfo(mine).lastModified(), before);
    }
};

QTEST_GUILESS_MAIN(tst_KitLayout)
#include "tst_kitlayout.moc"
