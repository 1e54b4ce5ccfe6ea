#include "RtfManual.h"
#include "TessalyCheck.h"
#include "demos/DemoCatalogue.h"

#include "LimitedRun.h"
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <QTest>

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

QString describe(const QList<TyFinding> &findings)
{
    QStringList lines;
    for (const TyFinding &f : findings)
        lines << QStringLiteral("line %1: %2").arg(f.line).arg(f.message);
    return lines.join(QStringLiteral("; "));
}

// The code examples of a guide: blocks indented by four blanks that follow a blank line.
QList<QByteArray> guideExamples(const QString &text)
{
    QList<QByteArray> blocks;
    QStringList current;
    bool inBlock = false;
    QString previous;
    for (const QString &line : text.split(u'\n')) {
        if (inBlock && line.startsWith(QLatin1String("    "))) {
            current << line.mid(4);
        } else {
            if (inBlock)
                blocks << current.join(u'\n').toUtf8();
            inBlock = false;
            current.clear();
            if (previous.trimmed().isEmpty() && line.startsWith(QLatin1String("    "))
                && !line.startsWith(QLatin1String("     "))) {
                inBlock = true;
                current << line.mid(4);
            }
        }
        previous = line;
    }
    if (inBlock)
        blocks << current.join(u'\n').toUtf8();
    return blocks;
}

} // namespace

class TestLanguage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // The demo directory and the catalogue
    void everyCatalogueRowHasItsDemoFile();
    void theDemoDirectoryHoldsOnlyCatalogueFiles();
    void everyDemoPassesTheChecker_data();
    void everyDemoPassesTheChecker();
    void everyDemoUsesTheSolversOfItsCatalogueRow();
    void theGuidesExamplesPassTheChecker();
    void theElevenCorralDemosDifferOnlyInTheirSolver();

    // The checker
    void checkerReportsEachKindOfFault_data();
    void checkerReportsEachKindOfFault();
    void checkerAcceptsSoundSources_data();
    void checkerAcceptsSoundSources();
    void findingsComeInLineOrderWithoutCascades();
    void commandLineCheckerPrintsFileLineAndMessage();
    void checkerStaysWithinTenTimesTheFileSize_data();
    void checkerStaysWithinTenTimesTheFileSize();

    // The manual
    void rtfEscapeKeepsTheOutputSevenBit_data();
    void rtfEscapeKeepsTheOutputSevenBit();
    void manualMarkupBecomesRtf();
    void manualMarkupFaultsAreReportedWithTheirLine();
    void installedManualIsWellFormedRtf();
};

void TestLanguage::everyCatalogueRowHasItsDemoFile()
{
    const QStringList names = DemoCatalogue::distinctFileNames();
    QCOMPARE(names.size(), 35);
    for (const QString &name : names)
        QVERIFY2(QFile::exists(QStringLiteral(KV_DEMO_DIR "/") + name), qPrintable(name));
}

void TestLanguage::theDemoDirectoryHoldsOnlyCatalogueFiles()
{
    const QStringList files = QDir(QStringLiteral(KV_DEMO_DIR)).entryList(QDir::Files);
    const QStringList names = DemoCatalogue::distinctFileNames();
    for (const QString &file : files)
        QVERIFY2(names.contains(file),
                 qPrintable(file + QStringLiteral(" is in no catalogue row")));
    QCOMPARE(files.size(), names.size());
}

void TestLanguage::everyDemoPassesTheChecker_data()
{
    QTest::addColumn<QString>("file");
    for (const QString &name : DemoCatalogue::distinctFileNames())
        if (name.endsWith(QLatin1String(".ty")))
            QTest::newRow(qPrintable(name)) << name;
}

void TestLanguage::everyDemoPassesTheChecker()
{
    QFETCH(QString, file);
    const QByteArray source = readFile(QStringLiteral(KV_DEMO_DIR "/") + file);
    QVERIFY(!source.isEmpty());
    const QList<TyFinding> findings = checkTessaly(source);
    QVERIFY2(findings.isEmpty(), qPrintable(describe(findings)));
}

void TestLanguage::everyDemoUsesTheSolversOfItsCatalogueRow()
{
    // "Using SQP" and "Initiate RKF45" name the solvers a demo calls; they must be
    // exactly the names of the catalogue's Solver cell ("NEWTON/RK4" = both).
    const QRegularExpression use(QStringLiteral(R"(^\s*(?:Find\b.*\bUsing|Initiate)\s+(\w+))"),
                                 QRegularExpression::CaseInsensitiveOption
                                     | QRegularExpression::MultilineOption);
    int compared = 0;
    for (const DemoRow &row : DemoCatalogue::rows()) {
        if (DemoCatalogue::isGuide(row.filename) || row.solver.isEmpty())
            continue;
        const QString source = QString::fromUtf8(
            readFile(QStringLiteral(KV_DEMO_DIR "/") + DemoCatalogue::fileNameOf(row.filename)));
        QSet<QString> used;
        for (const QRegularExpressionMatch &m : use.globalMatch(source))
            used.insert(m.captured(1).toUpper());
        const QStringList expected = row.solver.split(u'/');
        QCOMPARE(used, QSet<QString>(expected.begin(), expected.end()));
        ++compared;
    }
    QCOMPARE(compared, 30);
}

void TestLanguage::theGuidesExamplesPassTheChecker()
{
    for (const QString &guide :
         {QStringLiteral("^FIND-stmt.txt"), QStringLiteral("^Initiate-stmt.txt")}) {
        const QString text = QString::fromUtf8(readFile(QStringLiteral(KV_DEMO_DIR "/") + guide));
        const QList<QByteArray> examples = guideExamples(text);
        QVERIFY2(examples.size() >= 3, qPrintable(guide));
        for (const QByteArray &example : examples) {
            const QList<TyFinding> findings = checkTessaly(example);
            QVERIFY2(findings.isEmpty(),
                     qPrintable(guide + QStringLiteral(": ") + describe(findings)
                                + QStringLiteral("\n") + QString::fromUtf8(example)));
        }
    }
}

void TestLanguage::theElevenCorralDemosDifferOnlyInTheirSolver()
{
    // With comments, the title, the file's own name and the solver's name taken out,
    // every hb1 file states the same model, Find and output.
    QString reference;
    int corrals = 0;
    for (const DemoRow &row : DemoCatalogue::rows()) {
        if (!row.filename.startsWith(QLatin1String("hb1")))
            continue;
        QString text = QString::fromUtf8(
            readFile(QStringLiteral(KV_DEMO_DIR "/") + DemoCatalogue::fileNameOf(row.filename)));
        text.remove(QRegularExpression(QStringLiteral("![^\n]*")));
        text.remove(QRegularExpression(QStringLiteral("^Title [^\n]*"),
                                       QRegularExpression::MultilineOption));
        QVERIFY2(text.contains(QStringLiteral("Using %1 To Maximize A").arg(row.solver)),
                 qPrintable(row.filename));
        text.replace(QRegularExpression(QStringLiteral("\\n[ \\t]*(?=\\n)")), QString());
        text = text.trimmed();
        text.replace(row.filename, QStringLiteral("<file>"));
        text.replace(row.solver, QStringLiteral("<solver>"));
        if (reference.isEmpty())
            reference = text;
        QCOMPARE(text, reference);
        ++corrals;
    }
    QCOMPARE(corrals, 11);
}

void TestLanguage::checkerReportsEachKindOfFault_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("message");

    const QByteArray model = "Variable x = 1, y, t\n"
                             "Model m\n"
                             "   x' = -x\n"
                             "   y = x^2\n"
                             "End Model\n";

    QTest::newRow("unknown statement")
        << QByteArray("Variable x\nFnd x\n") << 2 << "unknown statement 'Fnd'";
    QTest::newRow("misspelt statement") << QByteArray("Variable x\nPrnt x\n") << 2
                                        << "unknown statement 'Prnt' (did you mean 'Print'?)";
    QTest::newRow("misspelt solver") << model + "Find x In m Using NEWTN To Zero y\n"
                                     << 6 << "unknown solver 'NEWTN' (did you mean 'NEWTON'?)";
    QTest::newRow("misspelt name") << QByteArray("Variable alpha, x\nx = 2*alpah\n") << 2
                                   << "unknown name 'alpah' (did you mean 'alpha'?)";
    QTest::newRow("keyword cannot start")
        << QByteArray("\nThen x\n") << 2 << "'Then' cannot start a statement";
    QTest::newRow("unterminated string")
        << QByteArray("Variable x\nPrint \"x is, x\n") << 2 << "unterminated string";
    QTest::newRow("unexpected character")
        << QByteArray("Variable x\nx = 3 # 4\n") << 2 << "unexpected character '#'";
    QTest::newRow("malformed number")
        << QByteArray("Variable x\nx = 1.5e\n") << 2 << "malformed number '1.5e'";
    QTest::newRow("parenthesis not closed")
        << QByteArray("Variable x\nx = (1 + 2\n") << 2 << "'(' is never closed";
    QTest::newRow("parenthesis never opened")
        << QByteArray("Variable x\n\nx = 1 + 2)\n") << 3 << "')' without a matching '('";
    QTest::newRow("bracket closed by parenthesis")
        << QByteArray("Variable a[3]\na[1) = 2\n") << 2 << "')' closes the '['";
    QTest::newRow("model never closed") << QByteArray("Variable x\nModel m\n   x = 1\n") << 2
                                        << "'Model' block opened here is never closed";
    QTest::newRow("if never closed")
        << QByteArray("Variable x\nIf x > 1 Then\n   x = 1\n") << 2 << "'If' block opened";
    QTest::newRow("end for never opened") << QByteArray("Variable x\nx = 1\nEnd For\n") << 3
                                          << "'End For' closes a block that was never opened";
    QTest::newRow("end names the wrong block")
        << QByteArray("Variable i\nFor i = 1 To 3\n  If i > 1 Then\nEnd For\n") << 3
        << "missing 'End If' before 'End For' at line 4";
    QTest::newRow("bare end") << QByteArray("Model m\nEnd\n") << 2
                              << "'End' must name the block it closes";
    QTest::newRow("else without if")
        << QByteArray("Variable x\nElse\n") << 2 << "'Else' without an open 'If' block";
    QTest::newRow("statement after then") << QByteArray("Variable x\nIf x > 1 Then x = 2\nEnd If\n")
                                          << 2 << "nothing may follow 'Then'";
    QTest::newRow("model inside a block")
        << QByteArray("Variable x\nIf x > 1 Then\nModel m\nEnd Model\nEnd If\n") << 3
        << "a Model must be defined outside every block";
    QTest::newRow("find names an unknown solver") << model + "Find x In m Using NEWTONS To Zero y\n"
                                                  << 6 << "unknown solver 'NEWTONS'";
    QTest::newRow("find names an undefined model")
        << model + "\nFind x In mm Using NEWTON To Zero y\n"
        << 7 << "the model 'mm' is never defined";
    QTest::newRow("initiate names an unknown solver")
        << model + "Initiate RK5 For m Equations x Of t Span 0, 1 Step 0.1\n"
        << 6 << "unknown solver 'RK5'";
    QTest::newRow("initiate names an undefined model")
        << model + "Initiate RK4 For n Equations x Of t Span 0, 1 Step 0.1\n"
        << 6 << "the model 'n' is never defined";
    QTest::newRow("integrator used by find") << model + "Find x In m Using RKF45 To Zero y\n"
                                             << 6 << "RKF45 integrates differential equations";
    QTest::newRow("optimiser used by initiate")
        << model + "Initiate SQP For m Equations x Of t Span 0, 1 Step 0.1\n"
        << 6 << "SQP is not an integrator";
    QTest::newRow("goal does not suit the solver")
        << model + "Find x In m Using LSQ To Minimize y\n"
        << 6 << "LSQ fits data";
    QTest::newRow("root finder counts equations")
        << model + "Find x, t In m Using BROYDEN To Zero y\n"
        << 6 << "BROYDEN needs as many equations as unknowns: 2 unknowns, 1 to zero";
    QTest::newRow("model runs itself")
        << QByteArray("Variable x, y\nModel m\n  y = x\n  Find x In m Using NEWTON To Zero "
                      "y\nEnd Model\n")
        << 4 << "the model 'm' cannot run itself";
    QTest::newRow("state without its derivative")
        << model + "Initiate RK4 For m Equations x, y Of t Span 0, 1 Step 0.1\n"
        << 6 << "the model 'm' never sets y', the derivative of a state";
    QTest::newRow("derivative of an unlisted state")
        << QByteArray("Variable x, y, t\nModel m\n  x' = y\n  y' = -x\nEnd Model\n"
                      "Initiate RK4 For m Equations x Of t Span 0, 1 Step 0.1\n")
        << 6 << "the model 'm' sets y' but this Initiate does not list 'y'";
    QTest::newRow("dae without a residual")
        << QByteArray("Variable x, z, t\nModel m\n  x' = -x*z\nEnd Model\n"
                      "Initiate DAE For m Equations x, z Of t Span 0, 1 Step 0.1\n")
        << 5 << "has 0 Residual statement(s) for 1 state(s) without a derivative";
    QTest::newRow("residual without dae")
        << QByteArray("Variable x, t\nModel m\n  x' = -x\n  Residual x - 1\nEnd Model\n"
                      "Initiate RKF45 For m Equations x Of t Span 0, 1 Step 0.1\n")
        << 6 << "which only the DAE integrator keeps";
    QTest::newRow("objective the model never sets")
        << model + "Find x In m Using NEWTON To Zero t\n"
        << 6 << "the model 'm' never sets 't', the objective of this Find";
    QTest::newRow("unknown listed twice") << model + "Find x, x In m Using SQP To Minimize y\n"
                                          << 6 << "'x' is listed twice";
    QTest::newRow("initiate without span")
        << model + "Initiate RK4 For m Equations x Of t Step 0.1\n"
        << 6 << "expected 'Span'";
    QTest::newRow("unknown option") << model + "Find x In m Using NEWTON To Zero y With Tol = 1\n"
                                    << 6 << "unknown option 'Tol'";
    QTest::newRow("assignment without value")
        << QByteArray("Variable x\nx =\n") << 2 << "malformed assignment: nothing after '='";
    QTest::newRow("assignment without equals")
        << QByteArray("Variable x\nx 3\n") << 2 << "malformed assignment: expected '='";
    QTest::newRow("assignment to a parameter") << QByteArray("Parameter k = 1\nk = 2\n") << 2
                                               << "'k' is a parameter and cannot be assigned";
    QTest::newRow("undeclared name")
        << QByteArray("Variable x\nx = y + 1\n") << 2 << "unknown name 'y'";
    QTest::newRow("names are case-sensitive")
        << QByteArray("Variable T\nt = 1\n") << 2 << "unknown name 't'";
    QTest::newRow("a name in the wrong case is pointed out")
        << QByteArray("Variable T, x\nx = t\n") << 2 << "unknown name 't' (did you mean 'T'?)";
    QTest::newRow("built-in value assigned")
        << QByteArray("iteration = 2\n") << 1 << "'iteration' is built in and cannot be assigned";
    QTest::newRow("declared twice")
        << QByteArray("Variable x\nParameter x = 2\n") << 2 << "'x' is already declared at line 1";
    QTest::newRow("keyword as a name")
        << QByteArray("Variable step\n") << 1 << "'step' is a word of the language";
    QTest::newRow("wrong index count") << QByteArray("Variable u[3, 3], x\nx = u[1]\n") << 2
                                       << "'u' has 2 dimension(s) but 1 index(es)";
    QTest::newRow("index on a scalar")
        << QByteArray("Variable x, y\nx = y[2]\n") << 2 << "'y' is not an array";
    QTest::newRow("wrong argument count")
        << QByteArray("Variable x\nx = atan2(1)\n") << 2 << "'atan2' takes 2 argument(s), 1 given";
    QTest::newRow("derivative outside a model")
        << QByteArray("Variable x\nx' = 1\n") << 2 << "a derivative (x') is set inside a Model";
    QTest::newRow("constraint outside a model") << QByteArray("Variable x\nConstraint x <= 1\n")
                                                << 2 << "a Constraint belongs inside a Model";
    QTest::newRow("array of four dimensions")
        << QByteArray("Variable c[2, 2, 2, 2]\n") << 1 << "an array has one to three";
    QTest::newRow("list of the wrong length")
        << QByteArray("Parameter p[3] = [1, 2]\n") << 1 << "'p' holds 3 values but 2 are given";
    QTest::newRow("equals used to compare")
        << QByteArray("Variable x\nIf x = 1 Then\nEnd If\n") << 2 << "compare with '=='";
    QTest::newRow("continuation past the end")
        << QByteArray("Variable x\nx = 1 + &\n") << 2 << "continues past the end of the file";
    QTest::newRow("plot without vs")
        << QByteArray("Variable x, y\nPlot y, x\n") << 2 << "expected 'Vs'";
    QTest::newRow("named plot of two series")
        << QByteArray("Variable x, y, t\nPlot x, y Vs t Named \"both\"\n") << 2
        << "'Named' names the series of a Plot of one value";
    QTest::newRow("fault on a continued line")
        << QByteArray("Variable x\nx = 1 + &\n    2 + $\n") << 3 << "unexpected character '$'";
    QTest::newRow("cr lf line ends count once")
        << QByteArray("Variable x\r\n\r\nx = (1\r\n") << 3 << "'(' is never closed";
    QTest::newRow("deep nesting is refused, not a crash")
        << QByteArray("Variable x\nx = ") + QByteArray(20000, '(') + "1" + QByteArray(20000, ')')
               + "\n"
        << 2 << "nested too deeply";
    QTest::newRow("a long run of signs is refused")
        << QByteArray("Variable x\n\nx = ") + QByteArray(20000, '-') + "1\n"
        << 3 << "nested too deeply";
    QTest::newRow("cr line ends count")
        << QByteArray("Variable x\r\rx = q\r") << 3 << "unknown name 'q'";
}

void TestLanguage::checkerReportsEachKindOfFault()
{
    QFETCH(QByteArray, source);
    QFETCH(int, line);
    QFETCH(QString, message);
    const QList<TyFinding> findings = checkTessaly(source);
    QVERIFY2(findings.size() == 1, qPrintable(describe(findings)));
    QCOMPARE(findings.first().line, line);
    QVERIFY2(findings.first().message.contains(message), qPrintable(findings.first().message));
}

void TestLanguage::checkerAcceptsSoundSources_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBFVariable x\r\nx = 1\r\n");
    QTest::newRow("byte-order mark on a Windows-1252 file")
        << QByteArray("\xEF\xBB\xBFVariable x\r\nx = 1 ! caf\xE9\r\n");
    QTest::newRow("utf-8 letters in names")
        << QByteArray("Variable caf\xC3\xA9\ncaf\xC3\xA9 = 1\n");
    QTest::newRow("windows-1252 letters in names") << QByteArray("Variable caf\xE9\ncaf\xE9 = 1\n");
    QTest::newRow("comments only") << QByteArray("! nothing here\n   ! nor here\n");
    QTest::newRow("keywords in any case")
        << QByteArray("variable x = 1, y\nMODEL m\n  y = x - 2\nend model\n"
                      "FIND x IN m USING newton TO ZERO y\nprint \"x = \", x\n");
    QTest::newRow("names used before their declaration")
        << QByteArray("x = 2*k\nParameter k = 3\nVariable x\n");
    QTest::newRow("continued statement")
        << QByteArray("Variable x\nx = 1 + &   ! more below\n    2\nPrint x\n");
    QTest::newRow("string with a quote and a comment sign")
        << QByteArray("Print \"say \"\"hi\"\" ! not a comment\"\n");
    QTest::newRow("nested blocks and elseif")
        << QByteArray("Variable i, s\nFor i = 1 To 10 Step 2\n  If i < 3 Then\n    s = 1\n"
                      "  ElseIf i < 5 and not (s == 2) Then\n    s = 2\n  Else\n    s = 3\n"
                      "  End If\nEnd For\n");
    QTest::newRow("function parameters are local")
        << QByteArray("Function f(a, b) = a*b + pi\nVariable x\nx = f(1, 2)\n");
    QTest::newRow("dae with a residual")
        << QByteArray("Variable x = 1, z = 1, t\nModel d\n  x' = -x*z\n  Residual z - x^2\n"
                      "End Model\nInitiate DAE For d Equations x, z Of t Span 0, 1 Step 0.1\n");
    QTest::newRow("nested find and initiate")
        << QByteArray("Variable y, v, s, x, miss\nModel ode\n  y' = v\n  v' = -y\nEnd Model\n"
                      "Model shoot\n  y = 0\n  v = s\n"
                      "  Initiate RK4 For ode Equations y, v Of x Span 0, 1 Step 0.5 Until y < "
                      "0 With StepSize = 0.01\n"
                      "  miss = y - 1\nEnd Model\n"
                      "Find s In shoot Using NEWTON To Zero miss With Tolerance = 1e-9\n");
    QTest::newRow("plot clauses") << QByteArray(
        "Variable x[3], y[3], t\nPlot y Vs x Named \"t = \", t Title \"T\" XLabel "
        "\"x\" YLabel \"y\"\n");
}

void TestLanguage::checkerAcceptsSoundSources()
{
    QFETCH(QByteArray, source);
    const QList<TyFinding> findings = checkTessaly(source);
    QVERIFY2(findings.isEmpty(), qPrintable(describe(findings)));
}

void TestLanguage::findingsComeInLineOrderWithoutCascades()
{
    // An If left open at line 2 is reported at its own line, before the later
    // faults; the unbalanced line 3 gives one finding, not a second one for its parse.
    const QByteArray source = "Variable x\n"
                              "If x > 0 Then\n"
                              "  x = (x + 1\n"
                              "  x = zz\n";
    const QList<TyFinding> findings = checkTessaly(source);
    QCOMPARE(findings.size(), 3);
    QCOMPARE(findings.at(0).line, 2);
    QCOMPARE(findings.at(1).line, 3);
    QCOMPARE(findings.at(2).line, 4);
    QVERIFY(findings.at(2).message.contains(QLatin1String("unknown name 'zz'")));
}

void TestLanguage::commandLineCheckerPrintsFileLineAndMessage()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString bad = dir.filePath(QStringLiteral("my model; $HOME.ty"));
    const QString good = dir.filePath(QStringLiteral("good.ty"));
    {
        QFile f(bad);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("Variable x\nx = y\n");
        QFile g(good);
        QVERIFY(g.open(QIODevice::WriteOnly));
        g.write("Variable x\nx = 1\n");
    }
    QProcess process;
    process.start(QStringLiteral(KV_TYCHECK_CLI), {good, bad});
    QVERIFY(process.waitForFinished());
    QCOMPARE(process.exitCode(), 1);
    QCOMPARE(QString::fromUtf8(process.readAllStandardOutput()),
             bad + QStringLiteral(":2: unknown name 'y'\n"));

    process.start(QStringLiteral(KV_TYCHECK_CLI), {good});
    QVERIFY(process.waitForFinished());
    QCOMPARE(process.exitCode(), 0);
    QVERIFY(process.readAllStandardOutput().isEmpty());

    // Control bytes are escaped as the run report escapes them; a file that is not
    // text is refused in one line.
    const QString nul = dir.filePath(QStringLiteral("nul.ty"));
    const QString noise = dir.filePath(QStringLiteral("noise.ty"));
    {
        QFile f(nul);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("Variable x\nx = 1 \0 2\n", 21));
        QFile g(noise);
        QVERIFY(g.open(QIODevice::WriteOnly));
        QByteArray bytes(4096, '\0');
        for (int i = 0; i < bytes.size(); ++i)
            bytes[i] = char((i * 7919) % 251);
        g.write(bytes);
    }
    process.start(QStringLiteral(KV_TYCHECK_CLI), {nul, noise});
    QVERIFY(process.waitForFinished());
    QCOMPARE(process.exitCode(), 1);
    QCOMPARE(QString::fromUtf8(process.readAllStandardOutput()),
             nul + QStringLiteral(":2: unexpected character '\\x00'\n") + noise
                 + QStringLiteral(": not a text file (it holds NUL and other control bytes)\n"));

    process.start(QStringLiteral(KV_TYCHECK_CLI), {dir.filePath(QStringLiteral("missing.ty"))});
    QVERIFY(process.waitForFinished());
    QCOMPARE(process.exitCode(), 2);
    QVERIFY(process.readAllStandardError().contains("cannot read"));
}

void TestLanguage::checkerStaysWithinTenTimesTheFileSize_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("lines");
    QTest::addColumn<QByteArray>("output");
    // 50 MB of statements, and one line of 54 MB (refused in one finding).
    QTest::newRow("50 MB of statements") << QByteArray("x = 1 + y*2\n") << 4369066 << QByteArray();
    QTest::newRow("one line of 54 MB")
        << QByteArray("x = 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1")
        << -760000 << QByteArray("long");
}

void TestLanguage::checkerStaysWithinTenTimesTheFileSize()
{
    // The address space is limited to ten times the file's size (prlimit --as); the
    // checker must finish its work inside it.
    QFETCH(QByteArray, line);
    QFETCH(int, lines);
    QFETCH(QByteArray, output);
    if (prlimitProgram().isEmpty())
        QSKIP("prlimit (util-linux) is not installed");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("big.ty"));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("Variable x, y\n");
        if (lines > 0) {
            for (int i = 0; i < lines; ++i)
                f.write(line);
        } else {
            f.write("x = 1");
            for (int i = 0; i < -lines; ++i)
                f.write(line.mid(5) + " + ");
            f.write("1\n");
        }
    }
    const qint64 size = QFileInfo(path).size();
    QVERIFY(size > 50'000'000);
    const LimitedRun run = runWithinAddressSpace(KV_TYCHECK_CLI, path, 10 * size);
    QVERIFY(run.finished);
    QCOMPARE(run.exitCode, output.isEmpty() ? 0 : 1);
    const QByteArray printed = run.out;
    if (lines > 0) {
        QCOMPARE(printed, QByteArray());
    } else {
        const qint64 length = 5 + qint64(line.size() - 5 + 3) * -lines + 1;
        QCOMPARE(printed,
                 path.toUtf8() + ":2: the line is " + QByteArray::number(length)
                     + " characters long; a line holds at most 100000\n");
    }
}

void TestLanguage::rtfEscapeKeepsTheOutputSevenBit_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("rtf");
    QTest::newRow("plain") << QStringLiteral("Find x") << QByteArray("Find x");
    QTest::newRow("braces and backslash") << QStringLiteral("{a}\\b") << QByteArray("\\{a\\}\\\\b");
    QTest::newRow("latin") << QStringLiteral("°C é") << QByteArray("\\u176?C \\u233?");
    QTest::newRow("above 32767 is negative") << QString(QChar(0xFB01)) << QByteArray("\\u-1279?");
    QTest::newRow("beyond the basic plane")
        << QString::fromUcs4(U"\U0001D70B") << QByteArray("\\u-10187?\\u-8437?");
    QTest::newRow("tab and line ends") << QStringLiteral("a\tb\r\n") << QByteArray("a\\tab b");
}

void TestLanguage::rtfEscapeKeepsTheOutputSevenBit()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, rtf);
    QCOMPARE(rtfEscape(text), rtf);
}

void TestLanguage::manualMarkupBecomesRtf()
{
    const QString markup = QStringLiteral("# Chapter {one}\n"
                                          "Some *bold* and `code` text\n"
                                          "that goes on.\n"
                                          "\n"
                                          "| A | B |\n"
                                          "|---|---|\n"
                                          "| 1 | 2 |\n"
                                          "\n"
                                          "    Model m\n"
                                          "       x' = 1\n"
                                          "- a point\n");
    const RtfManualResult result = buildManualRtf(markup, QStringLiteral(KV_DEMO_DIR));
    QVERIFY2(result.error.isEmpty(), qPrintable(result.error));
    const QByteArray &rtf = result.rtf;
    QVERIFY(rtf.startsWith("{\\rtf1\\ansi"));
    QVERIFY(rtf.contains("Chapter \\{one\\}\\cf1\\b0\\par"));
    QVERIFY(rtf.contains("Some \\b bold\\b0  and \\f2 code\\f1  text that goes on.\\par"));
    QCOMPARE(rtf.count("\\row"), 2); // the rule line is not a row
    QVERIFY(rtf.contains("\\b A\\b0 \\cell"));
    QVERIFY(rtf.contains("   x' = 1\\par")); // code keeps its indentation
    QVERIFY(rtf.contains("\\bullet\\tab a point\\par"));
}

void TestLanguage::manualMarkupFaultsAreReportedWithTheirLine()
{
    RtfManualResult result = buildManualRtf(QStringLiteral("text\n\n@demo NoSuchDemo.ty\n"),
                                            QStringLiteral(KV_DEMO_DIR));
    QVERIFY(result.rtf.isEmpty());
    QVERIFY2(result.error.startsWith(QLatin1String("line 3: cannot read the demo file")),
             qPrintable(result.error));
    result = buildManualRtf(QStringLiteral("@include x\n"), QStringLiteral(KV_DEMO_DIR));
    QCOMPARE(result.error, QStringLiteral("line 1: unknown directive @include"));
}

void TestLanguage::installedManualIsWellFormedRtf()
{
    const QByteArray rtf = readFile(QStringLiteral(KV_MANUAL_RTF));
    QVERIFY(rtf.startsWith("{\\rtf1\\ansi"));
    // Groups balance: the depth never falls below one inside the document and
    // returns to zero exactly at its last brace; escaped braces do not count.
    int depth = 0;
    int closedAt = -1;
    for (int i = 0; i < rtf.size(); ++i) {
        const char c = rtf.at(i);
        QVERIFY2(uchar(c) < 0x80, "RTF must be 7-bit");
        if (c == '\\') {
            ++i;
            continue;
        }
        if (c == '{') {
            QVERIFY2(closedAt < 0, "text after the document's last brace");
            ++depth;
        } else if (c == '}') {
            --depth;
            QVERIFY(depth >= 0);
            if (depth == 0)
                closedAt = i;
        }
    }
    QCOMPARE(depth, 0);
    QVERIFY(rtf.mid(closedAt + 1).trimmed().isEmpty());
    QVERIFY(rtf.contains("{\\fonttbl"));

    // It describes the program's commands, the catalogue and the language.
    for (const char *text : {"Submit file for Run",
                             "View Old Plots",
                             "Run a Demo",
                             "Search Demo Codes",
                             "Tile Horizontal",
                             "Edit Demo",
                             "View Answer",
                             "The Find statement",
                             "The Initiate statement"})
        QVERIFY2(rtf.contains(text), text);
    for (const QString &name : DemoCatalogue::distinctFileNames())
        QVERIFY2(rtf.contains(rtfEscape(name)), qPrintable(name));
}

QTEST_GUILESS_MAIN(TestLanguage)
#include "tst_language.moc"
