// The interpreter of the sample language: the numbers Print writes, what Plot
// draws, how a run ends, and every demo run against an independent reference (the
// separate C++ models of kit/answers, exact solutions, closed forms).

#include "TessalyCheck.h"
#include "TyNumberFormat.h"
#include "TyRun.h"

#include <Models.h>

#include "LimitedRun.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <QTest>

#include <cmath>

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

ty::RunResult runDemo(const QString &stem)
{
    return ty::runTessaly(readFile(QStringLiteral(KV_DEMO_DIR "/") + stem + ".ty"));
}

// The numbers after a text in the run's output (the first line that holds it).
QList<double> numbersAfter(const QStringList &output, const QString &text)
{
    QList<double> values;
    for (const QString &line : output) {
        const qsizetype at = line.indexOf(text);
        if (at < 0)
            continue;
        static const QRegularExpression number("[-+]?(?:\\d+\\.?\\d*|\\.\\d+)(?:[eE][-+]?\\d+)?");
        auto it = number.globalMatch(line.mid(at + text.size()));
        while (it.hasNext())
            values << it.next().captured().toDouble();
        break;
    }
    return values;
}

} // namespace

class TestInterpreter : public QObject
{
    Q_OBJECT

private slots:
    void printWritesSixSignificantDigitsAndWholeNumbersBare_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("small") << 0.0173308 << "0.0173308";
        QTest::newRow("tenths") << 3380.7 << "3380.7";
        QTest::newRow("tiny") << 1.5e-07 << "1.5e-07";
        QTest::newRow("rounded") << 106.53612 << "106.536";
        QTest::newRow("whole") << 1200.0 << "1200";
        QTest::newRow("large whole") << 4e5 << "400000";
        QTest::newRow("negative zero") << -0.0 << "0";
        QTest::newRow("huge") << 1e20 << "1e+20";
        QTest::newRow("third") << 1.0 / 3.0 << "0.333333";
    }

    void printWritesSixSignificantDigitsAndWholeNumbersBare()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(ty::formatNumber(value), text);
    }

    void printAlignsNumbersAndKeepsTexts()
    {
        const ty::RunResult r = ty::runTessaly("Variable a[3] = [1, 2.5, -3]\n"
                                               "Print \"a = \", a[2], \" m\"\n"
                                               "Print a\n"
                                               "Print 1, -1.23456789e-10\n");
        QVERIFY2(r.ok, qPrintable(r.error));
        QCOMPARE(r.output,
                 QStringList(
                     {"a = 2.5 m", "         1       2.5        -3", "         1 -1.23457e-10"}));
    }

    void untilLocatesTheCrossingInsideTheStep_data()
    {
        QTest::addColumn<QString>("solver");
        QTest::newRow("RKF45") << "RKF45";
        QTest::newRow("RK4") << "RK4";
        QTest::newRow("ADAMS") << "ADAMS";
    }

    void untilLocatesTheCrossingInsideTheStep()
    {
        // A ball dropped from 20 m reaches the ground at t = sqrt(2 h / g).
        QFETCH(QString, solver);
        const QByteArray code = "Variable h = 20, v = 0, t = 0\n"
                                "Model fall\n   h' = v\n   v' = -9.81\nEnd Model\n"
                                "Initiate "
                                + solver.toLatin1()
                                + " For fall Equations h, v Of t Span 0, 5 Step 0.5 Until h < 0 "
                                  "With StepSize = 0.01\n"
                                  "Print t\n";
        const ty::RunResult r = ty::runTessaly(code);
        QVERIFY2(r.ok, qPrintable(r.error));
        QCOMPARE(r.output.size(), 1);
        QVERIFY2(std::abs(r.output.first().toDouble() - std::sqrt(40 / 9.81)) < 1e-5,
                 qPrintable(r.output.first()));
    }

    void scalarsTheModelSetsKeepTheOutputPointsOnly()
    {
        // The count of model runs at output points: the evaluations between them
        // leave no trace.
        const ty::RunResult r = ty::runTessaly("Variable y = 1, t = 0, n = 0\n"
                                               "Model m\n   y' = -y\n   n = n + 1\nEnd Model\n"
                                               "Initiate RKF45 For m Equations y Of t Span 0, 1 "
                                               "Step 0.25\nPrint n, y\n");
        QVERIFY2(r.ok, qPrintable(r.error));
        const QList<double> values = numbersAfter(r.output, QString());
        QCOMPARE(values.value(0), 5.0);
        QVERIFY(std::abs(values.value(1) - std::exp(-1.0)) < 1e-6);
    }

    void plotClausesSetStylesAndAxes()
    {
        const ty::RunResult r = ty::runTessaly("Variable i\n"
                                               "For i = 1 To 3\n"
                                               "   Plot i^2 Vs i Named \"data\" Markers LogX LogY\n"
                                               "   Plot i Vs i Named \"line\" Dashed\n"
                                               "   Plot 2*i Vs i\n"
                                               "End For\n");
        QVERIFY2(r.ok, qPrintable(r.error));
        QCOMPARE(r.plot.series.size(), 3);
        QCOMPARE(r.plot.series.at(0).style, PlotSeries::Style::Markers);
        QCOMPARE(r.plot.series.at(1).style, PlotSeries::Style::Dashed);
        QCOMPARE(r.plot.series.at(2).style, PlotSeries::Style::Line);
        QCOMPARE(r.plot.series.at(2).name, QString("2*i"));
        QCOMPARE(r.plot.series.at(0).points.last(), QPointF(3, 9));
        QVERIFY(r.plot.xLog && r.plot.yLog);
    }

    void statementsAndBuiltInsFollowTheLanguage()
    {
        const ty::RunResult r = ty::runTessaly(
            "Parameter a[2, 3] = [1, 2, 3, 4, 5, 6]\n"
            "Variable T = 5, i, s = 0, c\n"
            "Function f(T) = 2*T\n"
            "For i = 3 To 1 Step -1\n"
            "   If i == 3 Then\n      c = 30\n   ElseIf i == 2 Then\n      c = c + 2\n"
            "   Else\n      c = c + 1\n   End If\n"
            "   s = s + a[1, i]\n"
            "End For\n"
            "Print \"say \"\"hi\"\"\", f(1), \" \", T, \" \", c, \" \", s\n"
            "Print sum(a), size(a), min(a), max(a, 10), mod(-7, 3), 2^3^2, -2^2, sign(-4)\n");
        QVERIFY2(r.ok, qPrintable(r.error));
        QCOMPARE(r.output.at(0), QString("say \"hi\"2 5 33 6"));
        QCOMPARE(r.output.at(1).split(' ', Qt::SkipEmptyParts),
                 QStringList({"21", "6", "1", "10", "2", "512", "-4", "-1"}));
    }

    void aFindPlotsEachIterateAsItsOwnSeries()
    {
        const ty::RunResult r = runDemo("BVP");
        QVERIFY2(r.ok, qPrintable(r.error));
        QStringList names;
        for (const PlotSeries &series : r.plot.series)
            names << series.name;
        QStringList expected;
        const int count = int(numbersAfter(r.output, "differences), ").value(0));
        QVERIFY(count > 2);
        for (int k = 0; k <= count; ++k)
            expected << "shot " + QString::number(k);
        QCOMPARE(names, expected);
        for (const PlotSeries &series : r.plot.series)
            QCOMPARE(series.points.size(), 11); // x = 0, 0.1, ..., 1
        // The last shot meets the far boundary condition y(1) = 1.
        QVERIFY(std::abs(r.plot.series.last().points.last().y() - 1.0) < 1e-9);
        QVERIFY(std::abs(r.plot.series.first().points.last().y() - 1.0) > 0.1);
    }

    void errorsStopTheRunAndKeepTheOutput()
    {
        const ty::RunResult r = ty::runTessaly("Variable x = 0\nPrint \"start\"\n"
                                               "Function f(a) = 1/a\nx = f(x)\nPrint \"never\"\n");
        QVERIFY(!r.ok);
        QCOMPARE(r.errorLine, 3);
        QVERIFY(r.error.startsWith("division by zero"));
        QCOMPARE(r.output, QStringList({"start"}));
    }

    // Loops and models run compiled; these shapes take its special paths (an element
    // indexed by a counter kept as an integer, a counter the body changes, a counter
    // that is not whole) and must end as the tree walk would.
    void compiledLoopsKeepResultsAndErrors_data()
    {
        QTest::addColumn<QByteArray>("job");
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("result"); // the error, or the last line printed
        QTest::newRow("offset below the edge")
            << QByteArray("Variable u[3], i, s = 0\nFor i = 1 To 3\n   s = s + u[i-1]\nEnd For\n")
            << 3 << "index out of range: u[0], but 'u' has the size 3";
        QTest::newRow("offset past the edge of a 2-D array")
            << QByteArray("Variable u[3, 2], i, j\nFor i = 1 To 3\n   For j = 1 To 2\n"
                          "      u[i, j+1] = i\n   End For\nEnd For\n")
            << 4 << "index out of range: u[1, 3], but 'u' has the size 3, 2";
        QTest::newRow("counter the body changes")
            << QByteArray("Variable u[4] = [1, 2, 3, 4], i, s = 0\nFor i = 1 To 3\n"
                          "   i = i + 1\n   s = s + u[i]\nEnd For\nPrint s\n")
            << 0 << "9";
        QTest::newRow("counter that is not whole")
            << QByteArray("Variable u[3], x, s = 0\nFor x = 0.5 To 1.5\n   s = s + u[x]\nEnd For\n")
            << 3 << "the index 0.5 of 'u' is not a whole number";
        QTest::newRow("error in a model's loop")
            << QByteArray("Variable y[3] = 1, t, k\nModel m\n   For k = 1 To 3\n"
                          "      y'[k] = 1/(k - 2)\n   End For\nEnd Model\n"
                          "Initiate EULER For m Equations y Of t Span 0, 1 Step 0.5\n")
            << 4 << "division by zero (1 / 0)";
        // What only parameters and numbers make is worked out once before a loop,
        // unless the loop may change a parameter.
        QTest::newRow("parameter declared in the loop")
            << QByteArray("Variable s = 0, i\nFor i = 1 To 3\n   Parameter p = i\n"
                          "   s = s + p*2\nEnd For\nPrint s\n")
            << 0 << "12";
        QTest::newRow("parameter counting an inner loop")
            << QByteArray("Parameter p = 0\nVariable s = 0, i\nFor i = 1 To 2\n"
                          "   For p = 1 To 3\n      s = s + (p + 1)*2\n   End For\nEnd For\n"
                          "Print s\n")
            << 0 << "36";
        QTest::newRow("division by a zero parameter in a branch never taken")
            << QByteArray("Parameter z = 0, w = 3\nVariable s = 0, i\nFor i = 1 To 3\n"
                          "   If i > 5 Then\n      s = s + 1/z\n   End If\n"
                          "   s = s + (w - 1)*2\nEnd For\nPrint s\n")
            << 0 << "12";
        // Ifs in a row that add a neighbour or an edge value to one sum are one step,
        // but not across the end of a block, nor when a test reads the sum.
        QTest::newRow("neighbour sums after an inner block")
            << QByteArray("Variable u[3] = [1, 2, 4], s = 0, c = 0, i\nFor i = 1 To 3\n"
                          "   If c > 0 Then\n      If i > 1 Then\n         s = s + u[i-1]\n"
                          "      Else\n         s = s + 10\n      End If\n   End If\n"
                          "   If i < 3 Then\n      s = s + u[i+1]\n   Else\n"
                          "      s = s + 100\n   End If\nEnd For\nPrint s\n")
            << 0 << "106";
        QTest::newRow("neighbour sums whose test reads the sum")
            << QByteArray("Variable u[3] = [1, 2, 4], s = 3, i\nFor i = 1 To 3\n"
                          "   If i > 1 Then\n      s = s + u[i-1]\n   Else\n      s = s + 1\n"
                          "   End If\n   If s > 3 Then\n      s = s + u[i]\n   Else\n"
                          "      s = s + 1000\n   End If\nEnd For\nPrint s\n")
            << 0 << "14";
        QTest::newRow("neighbour sums started by the statement before")
            << QByteArray("Variable u[3] = [4, 1, 2], s = 0, i\nFor i = 1 To 3\n"
                          "   s = 2*u[i]\n   If s > 3 Then\n      s = s + u[i]\n   Else\n"
                          "      s = s + 100\n   End If\nEnd For\nPrint s\n")
            << 0 << "6";
        // A derivative of two operations is set in one step, with the errors of each.
        QTest::newRow("division by zero in a derivative of two operations")
            << QByteArray("Variable y[3] = 1, t, k\nModel m\n   For k = 1 To 3\n"
                          "      y'[k] = (y[k] + 1)/(k - 2)\n   End For\nEnd Model\n"
                          "Initiate EULER For m Equations y Of t Span 0, 1 Step 0.5\n")
            << 4 << "division by zero (2 / 0)";
        QTest::newRow("index past the edge in a derivative of two operations")
            << QByteArray("Variable y[3] = 1, t, k\nModel m\n   For k = 1 To 3\n"
                          "      y'[k] = y[k+1]*2/3\n   End For\nEnd Model\n"
                          "Initiate EULER For m Equations y Of t Span 0, 1 Step 0.5\n")
            << 4 << "index out of range: y[4], but 'y' has the size 3";
        // A job run without the check (check = no) may call a built-in wrongly.
        QTest::newRow("built-in without its argument")
            << QByteArray("Variable x\nx = sin()\n") << 2 << "'sin' takes 1 argument(s), 0 given";
        QTest::newRow("min of nothing")
            << QByteArray("Variable x\nx = min()\n") << 2 << "'min' takes at least one argument";
    }

    void compiledLoopsKeepResultsAndErrors()
    {
        QFETCH(QByteArray, job);
        QFETCH(int, line);
        QFETCH(QString, result);
        const ty::RunResult r = ty::runTessaly(job);
        QCOMPARE(r.ok, line == 0);
        QCOMPARE(r.errorLine, line);
        QCOMPARE(r.ok ? r.output.value(r.output.size() - 1).trimmed() : r.error, result);
    }

    // A job runs as it is read, a few hundred statements at a time; what is known of
    // the whole file must still hold: a name that cannot be bound, or a fault of the
    // reading, anywhere stops the job before it prints; models and names may be used
    // before the lines that define them; a name declared twice runs by the tree walk.
    void aJobRunAsItIsReadKnowsTheWholeFile_data()
    {
        QTest::addColumn<QByteArray>("job");
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("result"); // the error, or the last line printed
        QTest::addColumn<int>("printed");
        QByteArray prints;
        for (int i = 0; i < 600; ++i)
            prints += "Print " + QByteArray::number(i) + "\n";
        QTest::newRow("unknown name far down") << "Variable x\n" + prints + "x = zz\n"
                                               << 602 << "unknown name 'zz'" << 0;
        QTest::newRow("call of a name declared later as a variable")
            << "Variable x\n" + prints + "x = f(1)\nVariable f\n"
            << 602 << "'f' is not a function" << 0;
        QTest::newRow("wrong count of arguments before the function")
            << "Variable x\n" + prints + "x = f(1, 2)\nFunction f(a) = a\n"
            << 602 << "'f' takes 1 arguments" << 0;
        QTest::newRow("lexer fault after a parser fault")
            << "Variable x\nx = (1\n" + prints + "Print \"open\n"
            << 603 << "unterminated string: a string must end with \" on the line where it starts"
            << 0;
        // A declaration gives its value when its line runs: before it, a is 0.
        QTest::newRow("names and models used before their lines")
            << "Print \"go\"\n" + prints
                   + "Initiate EULER For m Equations a Of t Span 0, 1 Step 0.5\nPrint a, n\n"
                     "Model m\n   a' = -a\nEnd Model\nVariable a = 1, t, n = 3\nPrint a, n\n"
            << 0 << "1         3" << 603;
        QTest::newRow("a model inside a loop, called before it")
            << QByteArray("Variable a = 1, t\nInitiate EULER For m Equations a Of t Span 0, 1 "
                          "Step 1\nPrint a\nFor i = 1 To 2\n   Model m\n      a' = -2*a\n"
                          "   End Model\nEnd For\n")
            << 0 << "-1" << 1;
        QTest::newRow("declared twice, across hundreds of statements")
            << "Variable x = 1\n" + prints + "x = x + 1\nVariable x = 5\nx = x + 1\nPrint x\n"
            << 0 << "6" << 601;
    }

    void aJobRunAsItIsReadKnowsTheWholeFile()
    {
        QFETCH(QByteArray, job);
        QFETCH(int, line);
        QFETCH(QString, result);
        QFETCH(int, printed);
        const ty::RunResult r = ty::runTessaly(job);
        QCOMPARE(r.ok, line == 0);
        QCOMPARE(r.errorLine, line);
        QCOMPARE(r.ok ? r.output.value(r.output.size() - 1).trimmed() : r.error, result);
        QCOMPARE(r.output.size(), printed);
    }

    // The result keeps printed lines up to its limit and counts the rest; every line
    // still goes to the caller.
    void theOutputKeptStopsAtItsLimit()
    {
        QStringList heard;
        ty::RunOptions options;
        options.outputKept = 25; // two lines of ten characters and one of one
        options.printed = [&](const QString &line) { heard << line; };
        const ty::RunResult r = ty::runTessaly("Print 1\nPrint 2\nPrint \"a\"\nPrint 3\n"
                                               "Print \"b\"\n",
                                               options);
        QVERIFY(r.ok);
        QCOMPARE(r.output, QStringList({"         1", "         2", "a"}));
        QCOMPARE(r.linesNotKept, 2);
        QCOMPARE(heard.size(), 5);
    }

    // A long generated job runs in a few times its size: the address space is limited
    // to ten times the file (prlimit --as), with a fixed allowance for the program and
    // its libraries (a job of one line needs about 70 MB).
    void aLongJobRunsWithinTenTimesTheFileSize()
    {
        if (prlimitProgram().isEmpty())
            QSKIP("prlimit (util-linux) is not installed");
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("long.ty"));
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("Variable x, y = 1\n");
            for (int i = 0; i < 350000; ++i)
                f.write("x = 1 + y*2\n");
            f.write("y = x + 1\nPrint y\n");
        }
        const qint64 size = QFileInfo(path).size();
        QVERIFY(size > 4'000'000);
        const LimitedRun run
            = runWithinAddressSpace(KV_TYRUN_CLI, path, 10 * size + 100 * 1024 * 1024);
        QVERIFY(run.finished);
        QCOMPARE(run.err, QByteArray());
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, QByteArray("         4\n"));
    }

    // The checker and the interpreter read one grammar: a job that does not read
    // stops the run at the checker's first finding, word for word.
    void aFaultThatStopsTheReadingIsTheCheckersFinding_data()
    {
        QTest::addColumn<QByteArray>("source");
        QTest::newRow("incomplete value") << QByteArray("Variable x\nPrint 1\nx = 1 +\n");
        QTest::newRow("loop without To") << QByteArray("Variable i\nFor i = 1 3\nEnd For\n");
        QTest::newRow("continued line")
            << QByteArray("Variable x, y\nModel m\nx' = 1\nEnd Model\nInitiate RK4 For m &\n"
                          " Equations x Of y Span 0, 1\n");
        QTest::newRow("ElseIf after Else")
            << QByteArray("Variable x\nIf x > 0 Then\nElse\nElseIf x < 0 Then\nEnd If\n");
    }
    void aFaultThatStopsTheReadingIsTheCheckersFinding()
    {
        QFETCH(QByteArray, source);
        const QList<TyFinding> findings = checkTessaly(source);
        QVERIFY(!findings.isEmpty());
        const ty::RunResult r = ty::runTessaly(source);
        QVERIFY(!r.ok);
        QCOMPARE(r.errorLine, findings.first().line);
        QCOMPARE(r.error, findings.first().message);
    }

    // The example of the chapter on a model of one's own, in the language page and
    // in the manual: it runs, prints what the page shows, and matches the exact
    // solution.
    void theOwnModelExampleRunsAsDocumented()
    {
        const QString page = QString::fromUtf8(readFile(QStringLiteral(KV_LANGUAGE_MD)));
        const qsizetype chapter = page.indexOf("## Writing and running a model of your own");
        QVERIFY(chapter > 0);
        const qsizetype codeStart = page.indexOf("```\n", chapter) + 4;
        const QString code = page.mid(codeStart, page.indexOf("```", codeStart) - codeStart);
        const qsizetype outStart = page.indexOf("```\n", codeStart + code.size() + 3) + 4;
        const QStringList shown = page.mid(outStart, page.indexOf("```", outStart) - outStart)
                                      .split('\n', Qt::SkipEmptyParts);

        const ty::RunResult r = ty::runTessaly(code.toUtf8());
        QVERIFY2(r.ok, qPrintable(r.error));
        QCOMPARE(r.output.mid(0, 3), shown.mid(0, 3));
        QCOMPARE(r.output.last(), shown.last());
        for (qsizetype i = 1; i + 1 < r.output.size(); ++i) {
            const QStringList cells = r.output.at(i).split(' ', Qt::SkipEmptyParts);
            const double t = cells.at(0).toDouble();
            QVERIFY(std::abs(cells.at(1).toDouble() - (20 + 70 * std::exp(-0.1 * t))) < 1e-4);
        }
        QCOMPARE(r.plot.series.size(), 1);
        QCOMPARE(r.plot.title, QString("Newton's law of cooling"));

        const QString manual = QString::fromUtf8(readFile(QStringLiteral(KV_MANUAL_TXT)));
        for (const QString &line : code.split('\n', Qt::SkipEmptyParts))
            QVERIFY2(manual.contains("\n    " + line + '\n'), qPrintable(line));
        QVERIFY(manual.contains(shown.last()));
    }

    // ---- the demos ----
    void everyDemoLineFitsTheFirstScreen()
    {
        const QDir demos(QStringLiteral(KV_DEMO_DIR));
        const QStringList files = demos.entryList({"*.ty", "*.txt"}, QDir::Files);
        QCOMPARE(files.size(), 35);
        for (const QString &name : files) {
            const QStringList lines = QString::fromUtf8(readFile(demos.filePath(name)))
                                          .split(QRegularExpression("\r\n|\n"));
            for (qsizetype i = 0; i < lines.size(); ++i)
                QVERIFY2(lines.at(i).size() <= 70,
                         qPrintable(name + ':' + QString::number(i + 1) + " is "
                                    + QString::number(lines.at(i).size()) + " characters"));
        }
    }

    void everyStoredAnswerIsWhatTheDemoPrints()
    {
        const QDir demos(QStringLiteral(KV_DEMO_DIR));
        const QStringList files = demos.entryList({"*.ty"}, QDir::Files);
        QCOMPARE(files.size(), 33);
        for (const QString &name : files) {
            const QString stem = QFileInfo(name).completeBaseName();
            const ty::RunResult r = runDemo(stem);
            QVERIFY2(r.ok, qPrintable(name + ':' + QString::number(r.errorLine) + ": " + r.error));
            QByteArray text;
            for (const QString &line : r.output)
                text += line.toUtf8() + "\r\n";
            QCOMPARE(readFile(QStringLiteral(KV_ANSWERS_DIR "/") + stem + ".out"), text);
            QCOMPARE(QFileInfo::exists(QStringLiteral(KV_ANSWERS_DIR "/") + stem + ".plt"),
                     r.hasPlot);
        }
    }

    void demosAgreeWithTheirReferences_data()
    {
        QTest::addColumn<QString>("stem");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<double>>("reference");
        QTest::addColumn<double>("tolerance");
        // Exact values and closed forms the demos' comments state.
        QTest::newRow("BVP") << "BVP"
                             << "Initial slope y'(0) = " << QList<double>{-8} << 1e-6;
        for (const char *stem : {"hb1alm",
                                 "hb1bfgs",
                                 "hb1grg",
                                 "hb1hj",
                                 "hb1mfd",
                                 "hb1mmfd",
                                 "hb1nms",
                                 "hb1scp",
                                 "hb1slp",
                                 "hb1sqp",
                                 "hb1sumt"})
            QTest::newRow(stem) << stem << "Largest area            A = " << QList<double>{1200}
                                << 0.05;
        QTest::newRow("ImpDEs") << "ImpDEs"
                                << "Largest errors:" << QList<double>{0, 0, 0} << 1e-7;
        QTest::newRow("Pursuit") << "Pursuit"
                                 << "from the closed form: " << QList<double>{0} << 1e-6;
        QTest::newRow("readRit") << "readRit"
                                 << "from the closed form: " << QList<double>{0} << 1e-6;
        QTest::newRow("PDE-ivp") << "PDE-ivp"
                                 << "from the exact solution: " << QList<double>{0} << 0.02;
        QTest::newRow("Heat-ivp") << "Heat-ivp"
                                  << "from the exact solution: " << QList<double>{0} << 0.06;
        // The separate C++ models of kit/answers.
        const kv::Vec cube = kv::solveCubeBvp().broyden.root;
        QTest::newRow("3d-Kelvara-BVP Ta")
            << "3d-Kelvara-BVP"
            << "x = 0 must be held at " << QList<double>{cube[0]} << 1e-3;
        QTest::newRow("3d-Kelvara-BVP Tb")
            << "3d-Kelvara-BVP"
            << "x = 1 m must be held at " << QList<double>{cube[1]} << 1e-3;
        const kv::Vec fit = kv::solveFitExam().p;
        QTest::newRow("fitExam") << "fitExam"
                                 << "a = " << QList<double>{fit[0], fit[1], fit[2]} << 2e-5;
        const kv::Vec root = kv::solveAlgebra().root;
        QTest::newRow("Algebra") << "Algebra"
                                 << "exact: x = " << QList<double>{root[0], root[1]} << 1e-5;
        for (bool odes : {true, false}) {
            const kv::Vec p = kv::solvePharm(odes).lsq.p;
            QTest::newRow(odes ? "Pharm-IP" : "Pharm-Alg")
                << (odes ? "Pharm-IP" : "Pharm-Alg")
                << "Absorption rate ka = " << QList<double>{p[0]} << 1e-4;
        }
    }

    void demosAgreeWithTheirReferences()
    {
        QFETCH(QString, stem);
        QFETCH(QString, text);
        QFETCH(QList<double>, reference);
        QFETCH(double, tolerance);
        const ty::RunResult r = runDemo(stem);
        QVERIFY2(r.ok, qPrintable(r.error));
        const QList<double> values = numbersAfter(r.output, text);
        QVERIFY2(values.size() >= reference.size(), qPrintable(r.output.join('\n')));
        for (qsizetype i = 0; i < reference.size(); ++i)
            QVERIFY2(std::abs(values.at(i) - reference.at(i)) <= tolerance,
                     qPrintable(QString("%1 against %2").arg(values.at(i)).arg(reference.at(i))));
    }

    void stiffDemoConservesMassAndStopsAtItsStatedEnd()
    {
        const ty::RunResult r = runDemo("StiffDE");
        QVERIFY2(r.ok, qPrintable(r.error));
        QCOMPARE(r.output.size(), 8); // the header and t = 0.4 ... 4e5
        QVERIFY(r.output.last().trimmed().startsWith("400000 "));
        for (qsizetype i = 1; i < r.output.size(); ++i)
            QVERIFY(std::abs(r.output.at(i).split(' ', Qt::SkipEmptyParts).last().toDouble())
                    < 1e-12);
        QVERIFY(r.plot.xLog);
    }
};

QTEST_GUILESS_MAIN(TestInterpreter)
#include "tst_interpreter.moc"
