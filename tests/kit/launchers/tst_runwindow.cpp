// The run window of the run launchers, built and driven directly (off screen): the
// job's lines reach it while the job runs, Stop ends the job and the report says so,
// closing the window stops the job, and the end offers the report and the plots.

#include "RunWindow.h"

#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <signal.h>

namespace {

// Prints a line, then loops for far longer than any test waits.
const QByteArray endlessJob = "Variable i, j, s = 0\n"
                              "Print \"first line\"\n"
                              "For i = 1 To 1000000\n"
                              "  For j = 1 To 1000000\n"
                              "    s = s + 1\n"
                              "  End For\n"
                              "End For\n"
                              "Print \"never printed\"\n";

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QByteArray lastLine(const QByteArray &text)
{
    QList<QByteArray> lines = text.trimmed().split('\n');
    return lines.isEmpty() ? QByteArray() : lines.last().trimmed();
}

QPushButton *button(QWidget &window, const QString &text)
{
    for (QPushButton *b : window.findChildren<QPushButton *>())
        if (b->text() == text)
            return b;
    return nullptr;
}

} // namespace

class tst_RunWindow : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_tmp;
    QString m_program; // the program directory
    QStringList m_opened;
    QStringList m_started;

    RunReport::Request request(const QString &name, const QByteArray &code)
    {
        QFile file(m_program + "/user/" + name + ".ty");
        if (!file.open(QIODevice::WriteOnly) || file.write(code) != code.size())
            qFatal("cannot write the code file");
        file.close();
        RunReport::Request r;
        r.programDir = m_program;
        r.launcherName = "run-KV-Linux.pif";
        r.arguments = {name, m_program + "/user", m_program.left(2), m_tmp.path(), ""};
        r.when = QDateTime::currentDateTime();
        return r;
    }

    RunWindow::Desktop desktop()
    {
        RunWindow::Desktop d;
        d.openFile = [this](const QString &file) {
            m_opened << file;
            return true;
        };
        d.startProgram = [this](const QString &program, const QStringList &arguments) {
            m_started << program + " " + arguments.join(' ');
            return true;
        };
        return d;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_tmp.isValid());
        m_program = m_tmp.filePath("tool kit $x/Kelvara");
        QVERIFY(QDir().mkpath(m_program + "/user"));
    }

    void init()
    {
        m_opened.clear();
        m_started.clear();
        QFile::remove(RunReport::reportPath(m_program));
    }

    // The first line shows while the job still runs; Stop (and Esc) end it, the
    // report keeps that line and ends with the stop, the status says stopped.
    void stopEndsTheRun_data()
    {
        QTest::addColumn<bool>("byEscape");
        QTest::newRow("Stop button") << false;
        QTest::newRow("Esc") << true;
    }
    void stopEndsTheRun()
    {
        QFETCH(bool, byEscape);
        RunWindow window(request("endless", endlessJob), desktop());
        QCOMPARE(window.windowTitle(), QString("endless.ty - Tessaly run"));
        QSignalSpy ended(&window, &RunWindow::ended);
        window.show();
        window.start();
        QTRY_VERIFY(window.linesText().contains("first line"));
        QTRY_VERIFY(window.phaseText().startsWith("Running"));
        QTRY_VERIFY(window.lineAtWork() >= 3);
        QVERIFY(window.isRunning());
        QVERIFY(!button(window, "View Output")->isEnabled());

        if (byEscape) {
            QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(&window, &esc);
        } else {
            button(window, "Stop")->click();
        }
        QTRY_COMPARE(ended.size(), 1);
        QCOMPARE(window.status(), int(RunReport::JobStopped));
        QVERIFY2(window.phaseText().startsWith("Stopped by the user after "),
                 qPrintable(window.phaseText()));
        QVERIFY(window.isVisible()); // stopping keeps the window to read

        const QByteArray report = readFile(RunReport::reportPath(m_program));
        const QByteArray output = report.mid(report.indexOf("Output of the run:"));
        QVERIFY(output.contains("\r\nfirst line\r\n"));
        QVERIFY(!output.contains("never printed")); // the listing holds it, the output not
        QVERIFY2(QRegularExpression(R"(^Run: +Stopped by the user after \d+\.\d\d s$)")
                     .match(QString::fromUtf8(lastLine(report)))
                     .hasMatch(),
                 lastLine(report).constData());

        button(window, "View Output")->click();
        QCOMPARE(m_opened, QStringList{RunReport::reportPath(m_program)});
        QVERIFY(!button(window, "View Plots")->isEnabled()); // a stopped run keeps no plot
    }

    // Closing the window while the job runs stops it; the window goes once the report
    // is written.
    void closingStopsTheRun()
    {
        RunWindow window(request("endless", endlessJob), desktop());
        QSignalSpy ended(&window, &RunWindow::ended);
        window.show();
        window.start();
        QTRY_VERIFY(window.linesText().contains("first line"));
        window.close();
        QTRY_COMPARE(ended.size(), 1);
        QTRY_VERIFY(!window.isVisible());
        QCOMPARE(window.status(), int(RunReport::JobStopped));
        QVERIFY(
            lastLine(readFile(RunReport::reportPath(m_program))).contains("Stopped by the user"));
    }

    // A job that ends by itself: how it ended, its plot offered to the viewer; a job
    // with a finding is not run and the window says why.
    void endOfTheRun()
    {
        {
            RunWindow window(request("plot",
                                     "Variable x\n"
                                     "For x = 1 To 5\n"
                                     "  Print \"x = \", x\n"
                                     "  Plot x * x Vs x\n"
                                     "End For\n"),
                             desktop());
            QSignalSpy ended(&window, &RunWindow::ended);
            window.start();
            QTRY_COMPARE(ended.size(), 1);
            QCOMPARE(window.status(), int(RunReport::JobDone));
            QVERIFY2(window.phaseText().startsWith("Finished: completed in"),
                     qPrintable(window.phaseText()));
            QCOMPARE(window.linesText().count("x = "), 5);
            QPushButton *plots = button(window, "View Plots");
            QVERIFY(plots->isEnabled());
            plots->click();
            QCOMPARE(m_started,
                     QStringList{QDir::cleanPath(m_program + "/../plots.exe") + " " + m_program
                                 + "/user/plot.plt"});
        }
        {
            RunWindow window(request("faulty", "Print (1\n"), desktop());
            QSignalSpy ended(&window, &RunWindow::ended);
            window.start();
            QTRY_COMPARE(ended.size(), 1);
            QCOMPARE(window.status(), int(RunReport::JobFailed));
            QCOMPARE(window.phaseText(), QString("Not run: 1 finding"));
            QVERIFY2(window.linesText().startsWith("faulty.ty:1: ")
                         && window.linesText().endsWith("\n    1 | Print (1"),
                     qPrintable(window.linesText()));
            QVERIFY(!button(window, "View Plots")->isEnabled());
        }
    }

    // A run-time error: the window names the line and shows it after the output.
    void runTimeErrorShowsTheCodeLine()
    {
        RunWindow window(request("divide",
                                 "Variable x = 2\n"
                                 "Print \"before\"\n"
                                 "x = 1/(x - 2)\n"),
                         desktop());
        QSignalSpy ended(&window, &RunWindow::ended);
        window.start();
        QTRY_COMPARE(ended.size(), 1);
        QCOMPARE(window.status(), int(RunReport::JobFailed));
        QCOMPARE(window.phaseText(), QString("Stopped at line 3: division by zero (1 / 0)"));
        QCOMPARE(window.progressText(), QString("line 3 of 3"));
        QCOMPARE(window.linesText(),
                 QString("before\ndivide.ty:3: division by zero (1 / 0)\n    3 | x = 1/(x - 2)"));
    }

    // Told to end from outside during a run (the launcher's SIGTERM handler answers
    // terminated): the report keeps the output and says how the run ended.
    void endedFromOutside()
    {
        RunReport::Request r = request("endless", endlessJob);
        bool printed = false;
        r.printed = [&](const QString &) { printed = true; };
        r.terminated = [&] { return printed; };
        QString problem;
        QCOMPARE(RunReport::run(r, &problem), int(RunReport::JobTerminated));
        const QByteArray report = readFile(RunReport::reportPath(m_program));
        QVERIFY(report.mid(report.indexOf("Output of the run:")).contains("\r\nfirst line\r\n"));
        QVERIFY2(lastLine(report).startsWith("Run:            Ended from outside"),
                 lastLine(report).constData());
    }

    // close-window = yes closes the window after a clean finish only.
    void closeWindowSetting()
    {
        QFile settings(m_program + "/DOSstart.ode");
        QVERIFY(settings.open(QIODevice::WriteOnly));
        settings.write("close-window = yes\n");
        settings.close();
        for (const bool clean : {true, false}) {
            RunWindow window(request("short", clean ? "Print \"ok\"\n" : "Print (\n"), desktop());
            QSignalSpy ended(&window, &RunWindow::ended);
            window.show();
            window.start();
            QTRY_COMPARE(ended.size(), 1);
            QCOMPARE(window.isVisible(), !clean);
        }
        QVERIFY(settings.remove());
    }

    // A job that prints more lines than the window keeps: the last ones are shown
    // and the window counts the rest; the report has them all.
    void lineCap()
    {
        RunWindow window(request("many",
                                 "Variable i\n"
                                 "For i = 1 To 12500\n"
                                 "  Print \"line \", i\n"
                                 "End For\n"),
                         desktop());
        QSignalSpy ended(&window, &RunWindow::ended);
        window.start();
        QTRY_COMPARE(ended.size(), 1);
        QCOMPARE(window.status(), int(RunReport::JobDone));
        QCOMPARE(window.droppedLines(), 2500);
        const QStringList shown = window.linesText().split('\n');
        QCOMPARE(shown.size(), RunWindow::LineCap);
        QCOMPARE(shown.first(), QString("line 2501"));
        QCOMPARE(shown.last(), QString("line 12500"));
        QVERIFY(readFile(RunReport::reportPath(m_program)).contains("line 1\r\n"));
    }

    // Another run holds the report. The window waits and asks; each answer: Stop That
    // Run asks the holder to end and the job runs once it has; Wait for It runs the
    // job when the holder lets go by itself; Stop ends the wait and writes nothing.
    void twoRuns_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::newRow("Stop That Run") << "Stop That Run";
        QTest::newRow("Wait for It") << "Wait for It";
        QTest::newRow("Stop") << "Stop";
    }
    void twoRuns()
    {
        QFETCH(QString, answer);
        QFile other(RunReport::reportPath(m_program));
        QVERIFY(other.open(QIODevice::WriteOnly));
        other.write("the other run's report\r\n");
        other.close();

        bool held = true;
        int stopsAsked = 0;
        RunWindow window(request("second", "Print \"second run\"\n"), desktop());
        QSignalSpy ended(&window, &RunWindow::ended);
        RunWindow::Wait wait;
        wait.holder = "the run of \"first.ty\" (process 4321)";
        wait.tryTake = [&] { return !held; };
        wait.stopHolder = [&] { ++stopsAsked; };
        window.show();
        window.waitThenStart(wait);
        QVERIFY(window.isWaiting());
        QVERIFY(window.phaseText().contains("the run of \"first.ty\" (process 4321)"));
        QPushButton *stopHolder = button(window, "Stop That Run");
        QVERIFY(stopHolder && stopHolder->isVisible());

        button(window, answer)->click();
        QTest::qWait(300); // several looks at the lock, all finding it held
        QCOMPARE(stopsAsked, answer == "Stop That Run" ? 1 : 0);
        QCOMPARE(readFile(RunReport::reportPath(m_program)), "the other run's report\r\n");
        if (answer == "Stop") {
            QCOMPARE(ended.size(), 1);
            QCOMPARE(window.status(), int(RunReport::NoReport));
            QVERIFY2(window.phaseText().startsWith("Not run: stopped by the user while waiting"),
                     qPrintable(window.phaseText()));
            held = false;
            QTest::qWait(300); // the job never starts
            QCOMPARE(readFile(RunReport::reportPath(m_program)), "the other run's report\r\n");
            return;
        }
        QVERIFY(window.isWaiting());
        QVERIFY(!stopHolder->isVisible()); // answered once
        held = false;                      // the holder has ended
        QTRY_COMPARE(ended.size(), 1);
        QCOMPARE(window.status(), int(RunReport::JobDone));
        QCOMPARE(window.linesText(), QString("second run"));
        const QByteArray report = readFile(RunReport::reportPath(m_program));
        QVERIFY(report.contains("Waited for:     the run of \"first.ty\" (process 4321)"));
        QVERIFY(report.contains("\r\nsecond run\r\n"));
    }

    // The bar follows the statement at work: the share of an Initiate's Span, the
    // iterations a Find has used of its limit.
    void progressOfTheStatementAtWork_data()
    {
        QTest::addColumn<QByteArray>("code");
        QTest::addColumn<QString>("pattern");
        QTest::newRow("Initiate") << QByteArray("Variable y = 1, t = 0\n"
                                                "Model decay\n"
                                                "  y' = -1e-9*y\n"
                                                "End Model\n"
                                                "Initiate RK4 For decay Equations y Of t &\n"
                                                "  Span 0, 1e6 Step 1e5 With StepSize = 0.01\n")
                                  << R"(^line 5: Initiate, (\d+)% of the Span$)";
        // x^2 + 1 has no root: Newton goes on to its limit, each model run taking a while.
        QTest::newRow("Find") << QByteArray(
            "Variable x = 3, r, i, s\n"
            "Model m\n"
            "  s = 0\n"
            "  For i = 1 To 2000000\n"
            "    s = s + 1\n"
            "  End For\n"
            "  r = x*x + 1\n"
            "End Model\n"
            "Find x In m Using NEWTON To Zero r With MaxIter = 400\n")
                              << R"(^line 9: Find, iteration (\d+) of 400$)";
    }
    void progressOfTheStatementAtWork()
    {
        QFETCH(QByteArray, code);
        QFETCH(QString, pattern);
        RunWindow window(request("long", code), desktop());
        QSignalSpy ended(&window, &RunWindow::ended);
        window.show();
        window.start();
        const QRegularExpression shape(pattern);
        QTRY_VERIFY2_WITH_TIMEOUT(shape.match(window.progressText()).hasMatch()
                                      && shape.match(window.progressText()).captured(1).toInt() > 0,
                                  qPrintable(window.progressText()),
                                  20000);
        QVERIFY(window.isRunning());
        window.stop();
        QTRY_COMPARE(ended.size(), 1);
        QCOMPARE(window.status(), int(RunReport::JobStopped));
    }

    // run-sim.pif: what the simulation program writes to its standard output and error
    // shows as it comes; Stop ends the program and what it started.
    void simulationProgram()
    {
        const QString program = m_tmp.filePath("MySim.exe");
        const QString childPid = m_tmp.filePath("child.pid");
        QFile script(program);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\n"
                     "echo \"data: $1\"\n"
                     "echo 'to standard error' >&2\n"
                     "if [ \"$1\" = forever ]; then\n"
                     "  sleep 600 &\n"
                     "  echo $! > '"
                     + childPid.toUtf8()
                     + "'\n"
                       "  wait\n"
                       "fi\n"
                       "exit 0\n");
        script.close();
        QVERIFY(script.setPermissions(script.permissions() | QFile::ExeOwner));

        {
            RunWindow window({program, {"data file.dat"}, "data file.dat"}, {});
            QCOMPARE(window.windowTitle(), QString("MySim.exe - Tessaly run"));
            QSignalSpy ended(&window, &RunWindow::ended);
            window.start();
            QTRY_COMPARE(ended.size(), 1);
            QCOMPARE(window.status(), 0);
            QVERIFY2(window.phaseText().startsWith("Finished in "), qPrintable(window.phaseText()));
            QCOMPARE(window.linesText(), QString("data: data file.dat\nto standard error"));
            QVERIFY(!button(window, "View Output")->isVisible());
        }
        {
            RunWindow window({program, {"forever"}, "forever"}, {});
            QSignalSpy ended(&window, &RunWindow::ended);
            window.show();
            window.start();
            QTRY_VERIFY(window.linesText().contains("data: forever"));
            QTRY_VERIFY(QFile::exists(childPid) && QFile(childPid).size() > 0);
            const pid_t child = pid_t(readFile(childPid).trimmed().toInt());
            QVERIFY(child > 0 && ::kill(child, 0) == 0);
            button(window, "Stop")->click();
            QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 2000);
            QCOMPARE(window.status(), int(RunReport::JobStopped));
            QVERIFY2(window.phaseText().startsWith("Stopped by the user after "),
                     qPrintable(window.phaseText()));
            QTRY_VERIFY(::kill(child, 0) != 0); // the program's own child ended too
        }
    }
};

QTEST_MAIN(tst_RunWindow)
#include "tst_runwindow.moc"
