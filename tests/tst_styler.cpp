// The styles of a document's text: Tessaly code in colour, computed only when the
// editor asks, and the alternating styles the fast wrapping relies on.
#include "TestDoubles.h"

#include "demos/DemoCatalogue.h"
#include "editor/TessalyWords.h"
#include "editor/TextStyler.h"
#include "editor/frmDocument.h"

#include <Qsci/qsciscintilla.h>

#include <QPixmap>
#include <QRegularExpression>
#include <QTest>

namespace {

using Sci = QsciScintillaBase;

struct NoHost : DocumentHost
{
    void mnuFileSaveAs_Click() override {}
};

// One letter per class, as the rows below write them.
char letterOf(TextClass c)
{
    return "pcsnwvb"[static_cast<int>(c)];
}

QByteArray classesOf(const QByteArray &line)
{
    QList<TextClass> classes(line.size());
    TessalySyntax::classifyLine(line.constData(), line.size(), classes.data());
    QByteArray letters;
    for (TextClass c : classes)
        letters += letterOf(c);
    return letters;
}

long send(frmDocument &doc, unsigned int message, unsigned long w = 0, long l = 0)
{
    return doc.rtfText()->SendScintilla(message, w, l);
}

// Styles the whole text now, as the editor would when it shows all of it.
QByteArray shownClasses(frmDocument &doc)
{
    const long length = send(doc, Sci::SCI_GETLENGTH);
    send(doc, Sci::SCI_COLOURISE, 0, length);
    QByteArray letters;
    for (long i = 0; i < length; ++i)
        letters += letterOf(doc.styler()->classAt(i));
    return letters;
}

} // namespace

class TestStyler : public QObject
{
    Q_OBJECT

private slots:
    void eachCharacterGetsTheClassOfItsToken_data();
    void eachCharacterGetsTheClassOfItsToken();
    void everySolverAndBuiltInOfTheLanguageIsKnown();
    void codeFilesAreColouredAndOtherFilesStayPlain();
    void neighbouringCharactersAlternateBetweenTwoLookalikeStyles();
    void anEditThatMakesALineACommentRestylesIt();
    void aLongFileIsStyledOnlyWhereTheEditorShowsIt();
    void anEditRestylesOnlyItsOwnLines();
    void thePlainStyleSetPrintsBlack();
};

void TestStyler::eachCharacterGetsTheClassOfItsToken_data()
{
    // p plain, c comment, s string, n number, w word, v solver, b built-in
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("classes");
    QTest::newRow("a comment after a statement")
        << QByteArray("x = 1 ! set x") << QByteArray("ppppnpccccccc");
    QTest::newRow("a ! inside a string") << QByteArray("Print \"Hi! \"\"x\"\"\", a ! end")
                                         << QByteArray("wwwwwpsssssssssssppppccccc");
    QTest::newRow("numbers in C notation") << QByteArray("a = 1.5e-3 + .5 - 2E+10 * 12.")
                                           << QByteArray("ppppnnnnnnpppnnpppnnnnnpppnnn");
    QTest::newRow("upper-case words") << QByteArray("FIND w In m Using SQP To Minimize A")
                                      << QByteArray("wwwwpppwwpppwwwwwpvvvpwwpwwwwwwwwpp");
    QTest::newRow("lower-case words") << QByteArray("find w in m using sqp to minimize a")
                                      << QByteArray("wwwwpppwwpppwwwwwpvvvpwwpwwwwwwwwpp");
    QTest::newRow("names holding a word")
        << QByteArray("Variable Printer = 1, Endpoint, x1e5, Sinus")
        << QByteArray("wwwwwwwwpppppppppppnppppppppppppppppppppppp");
    QTest::newRow("built-ins") << QByteArray("y = SIN(pi*x) + iteration")
                               << QByteArray("ppppbbbpbbppppppbbbbbbbbb");
    QTest::newRow("a solver and options where Initiate names them")
        << QByteArray("Initiate RKF45 For m With StepSize = 0.1")
        << QByteArray("wwwwwwwwpvvvvvpwwwpppwwwwpwwwwwwwwpppnnn");
    QTest::newRow("solver and option names elsewhere are names")
        << QByteArray("Variable Tolerance = 2, gear") << QByteArray("wwwwwwwwpppppppppppppnpppppp");
    QTest::newRow("an unterminated string")
        << QByteArray("Print \"ab!c") << QByteArray("wwwwwpsssss");
}

void TestStyler::eachCharacterGetsTheClassOfItsToken()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, classes);
    QCOMPARE(classesOf(line), classes);
    // A line end changes nothing before it.
    QCOMPARE(classesOf(line + "\r\n").left(line.size()), classes);
}

void TestStyler::everySolverAndBuiltInOfTheLanguageIsKnown()
{
    // The language's definition and the demo catalogue name them; the word lists
    // must follow when the language grows.
    QFile language(QStringLiteral(QT_TESTCASE_SOURCEDIR "/../kit/language/LANGUAGE.md"));
    if (!language.open(QIODevice::ReadOnly))
        QSKIP("the language's definition is not beside the tests");
    const QString text = QString::fromUtf8(language.readAll());
    QStringList builtins{u"pi"_qs, u"iteration"_qs};
    const qsizetype from = text.indexOf(u"Built-in functions:"_qs);
    const qsizetype to = text.indexOf(QRegularExpression(u"Built-in\\s+constant:"_qs));
    QVERIFY(from >= 0 && to > from);
    static const QRegularExpression spans(u"`([^`]+)`"_qs);
    static const QRegularExpression arguments(u"\\([^)]*\\)"_qs);
    for (const auto &m : spans.globalMatch(text.mid(from, to - from)))
        builtins << m.captured(1).remove(arguments).split(QRegularExpression(u"\\s+"_qs),
                                                          Qt::SkipEmptyParts);
    QVERIFY(builtins.size() > 20);
    for (const QString &name : std::as_const(builtins))
        QVERIFY2(TessalyWords::kindOf(name.toLower().toUtf8()) == TessalyWords::Kind::Builtin,
                 qPrintable(name));

    QStringList solvers;
    static const QRegularExpression capitals(u"\\b[A-Z][A-Z0-9]+\\b"_qs);
    for (const QString &line : text.split(u'\n'))
        if (line.startsWith(u'|'))
            for (const auto &m : capitals.globalMatch(line))
                solvers << m.captured();
    for (const DemoRow &row : DemoCatalogue::rows())
        if (!DemoCatalogue::isGuide(row.filename))
            solvers << row.solver.split(u'/', Qt::SkipEmptyParts);
    QVERIFY(solvers.size() > 20);
    for (const QString &name : std::as_const(solvers))
        QVERIFY2(TessalyWords::kindOf(name.toLower().toUtf8()) == TessalyWords::Kind::Solver,
                 qPrintable(name));
}

void TestStyler::codeFilesAreColouredAndOtherFilesStayPlain()
{
    Harness h;
    NoHost host;
    const QByteArray text = "! heat\r\nFind x In m Using NEWTON To Zero r\r\n";
    for (const QString &name : {u"model.TY"_qs, u"answer.out"_qs, u"notes.txt"_qs}) {
        frmDocument doc(h.ctx, host);
        const QString path = h.tmp.path() + u'/' + name;
        Harness::write(path, text);
        doc.LoadFile(path);
        const QByteArray shown = shownClasses(doc);
        if (name.endsWith(u".TY"_qs))
            QCOMPARE(shown.left(20), QByteArray("ccccccccwwwwpppwwppp"));
        else
            QCOMPARE(shown, QByteArray(text.size(), 'p'));
        // The same font, size and weight in every style of every class.
        for (int style = 1; style < 2 * textClassCount; ++style) {
            QCOMPARE(send(doc, Sci::SCI_STYLEGETSIZEFRACTIONAL, style),
                     send(doc, Sci::SCI_STYLEGETSIZEFRACTIONAL, 0));
            QCOMPARE(send(doc, Sci::SCI_STYLEGETBOLD, style), 0L);
            QCOMPARE(send(doc, Sci::SCI_STYLEGETITALIC, style), 0L);
            char font[64] = {}, font0[64] = {};
            doc.rtfText()->SendScintilla(Sci::SCI_STYLEGETFONT, style, font);
            doc.rtfText()->SendScintilla(Sci::SCI_STYLEGETFONT, 0UL, font0);
            QCOMPARE(QByteArray(font), QByteArray(font0));
        }
    }
}

void TestStyler::neighbouringCharactersAlternateBetweenTwoLookalikeStyles()
{
    Harness h;
    NoHost host;
    frmDocument doc(h.ctx, host);
    const QString path = h.tmp.path() + u"/model.ty"_qs;
    // "é" and "€" are two and three bytes: each keeps one style for all its bytes.
    Harness::write(path, "Print \"\xc3\xa9\xe2\x82\xac\" ! caf\xc3\xa9\r\nx = 1\r\n");
    doc.LoadFile(path);
    shownClasses(doc);
    const long length = send(doc, Sci::SCI_GETLENGTH);
    long previous = -1;
    for (long i = 0; i < length; i = send(doc, Sci::SCI_POSITIONAFTER, i)) {
        const long style = send(doc, Sci::SCI_GETSTYLEAT, i);
        const long next = send(doc, Sci::SCI_POSITIONAFTER, i);
        for (long b = i + 1; b < next; ++b)
            QCOMPARE(send(doc, Sci::SCI_GETSTYLEAT, b), style);
        if (send(doc, Sci::SCI_LINEFROMPOSITION, i)
            == send(doc, Sci::SCI_LINEFROMPOSITION, previous))
            QVERIFY2(style != send(doc, Sci::SCI_GETSTYLEAT, previous),
                     qPrintable(QString::number(i)));
        // Both styles of a pair look the same.
        QCOMPARE(send(doc, Sci::SCI_STYLEGETFORE, style),
                 send(doc, Sci::SCI_STYLEGETFORE, style ^ 1));
        previous = i;
    }
    // The wrapping breaks at blanks only, so style changes are no break points.
    QCOMPARE(send(doc, Sci::SCI_GETWRAPMODE), long(Sci::SC_WRAP_WHITESPACE));
}

void TestStyler::anEditThatMakesALineACommentRestylesIt()
{
    Harness h;
    NoHost host;
    frmDocument doc(h.ctx, host);
    const QString path = h.tmp.path() + u"/model.ty"_qs;
    Harness::write(path, "a = 1\r\nPrint a\r\nb = 2\r\n");
    doc.LoadFile(path);
    QCOMPARE(shownClasses(doc),
             QByteArray("ppppnpp"
                        "wwwwwpppp"
                        "ppppnpp"));
    const long line2 = send(doc, Sci::SCI_POSITIONFROMLINE, 1);
    send(doc, Sci::SCI_INSERTTEXT, line2, reinterpret_cast<long>("!"));
    QCOMPARE(shownClasses(doc),
             QByteArray("ppppnpp"
                        "cccccccccc"
                        "ppppnpp"));
    send(doc, Sci::SCI_UNDO);
    QCOMPARE(shownClasses(doc),
             QByteArray("ppppnpp"
                        "wwwwwpppp"
                        "ppppnpp"));
    // Saved under another name, the text follows that name's language.
    h.state.CodeDir = h.tmp.path();
    h.state.CodeName = u"model.txt"_qs;
    doc.writeAnsFile();
    QCOMPARE(doc.styler()->language(), TextStyler::Language::Plain);
    QCOMPARE(shownClasses(doc), QByteArray(23, 'p'));
}

void TestStyler::aLongFileIsStyledOnlyWhereTheEditorShowsIt()
{
    Harness h;
    NoHost host;
    frmDocument doc(h.ctx, host);
    const QString path = h.tmp.path() + u"/long.ty"_qs;
    QByteArray text;
    for (int i = 0; i < 20000; ++i)
        text += "Find x In m Using SQP To Minimize f ! iteration " + QByteArray::number(i) + "\r\n";
    Harness::write(path, text);
    doc.resize(500, 300);
    doc.show();
    doc.LoadFile(path);
    // Loading styles nothing; showing the first screen styles about that screen.
    QCOMPARE(doc.styler()->styledEnd(), qsizetype(0));
    // The first screen drawn, with no time for work in the background.
    QPixmap screen(doc.rtfText()->viewport()->size());
    doc.rtfText()->viewport()->render(&screen);
    const qsizetype styled = doc.styler()->styledEnd();
    QVERIFY2(styled > 0, "the shown lines are styled");
    QVERIFY2(styled < text.size() / 50, qPrintable(QString::number(styled)));
    QCOMPARE(doc.styler()->classAt(0), TextClass::Word);
    QCOMPARE(doc.styler()->classAt(18), TextClass::Solver);
}

void TestStyler::anEditRestylesOnlyItsOwnLines()
{
    Harness h;
    NoHost host;
    frmDocument doc(h.ctx, host);
    const QString path = h.tmp.path() + u"/long.ty"_qs;
    QByteArray text;
    for (int i = 0; i < 5000; ++i)
        text += "Print \"x\", 12 ! line " + QByteArray::number(i) + "\r\n";
    Harness::write(path, text);
    doc.LoadFile(path);
    const QByteArray before = shownClasses(doc);
    const qsizetype computed = doc.styler()->stylesComputed();
    QCOMPARE(computed, qsizetype(text.size()));
    // A line in the middle becomes two, the first a comment; then the last line is
    // shown (Ctrl+End).
    const long middle = send(doc, Sci::SCI_POSITIONFROMLINE, 2500);
    send(doc, Sci::SCI_INSERTTEXT, middle, reinterpret_cast<long>("! Print\r\nx = "));
    const long length = send(doc, Sci::SCI_GETLENGTH);
    send(doc, Sci::SCI_COLOURISE, length - 10, length);
    QVERIFY2(doc.styler()->stylesComputed() - computed < 200,
             qPrintable(QString::number(doc.styler()->stylesComputed() - computed)));
    const QByteArray after = shownClasses(doc);
    const qsizetype at = middle;
    QCOMPARE(after.left(at), before.left(at));
    QCOMPARE(after.mid(at, 9), QByteArray("ccccccccc"));
    QCOMPARE(after.mid(at + 9, 4), QByteArray("pppp"));
    // The old line goes on after "x = " with its classes; every later line keeps its own.
    QCOMPARE(after.mid(at + 13), before.mid(at));
}

void TestStyler::thePlainStyleSetPrintsBlack()
{
    Harness h;
    NoHost host;
    frmDocument doc(h.ctx, host);
    const QString path = h.tmp.path() + u"/model.ty"_qs;
    Harness::write(path, "! a comment\r\n");
    doc.LoadFile(path);
    QVERIFY(send(doc, Sci::SCI_STYLEGETFORE, 2) != 0); // comments are coloured on screen
    doc.styler()->applyStyles(TextStyler::plainStyles());
    for (int style = 0; style < 2 * textClassCount; ++style)
        QCOMPARE(send(doc, Sci::SCI_STYLEGETFORE, style), 0L);
    // Pages formatted by the editor component print black whatever the styles.
    QCOMPARE(send(doc, Sci::SCI_GETPRINTCOLOURMODE), long(Sci::SC_PRINT_BLACKONWHITE));
    doc.styler()->applyStyles(TextStyler::screenStyles());
    QVERIFY(send(doc, Sci::SCI_STYLEGETFORE, 2) != 0);
}

QTEST_MAIN(TestStyler)
#include "tst_styler.moc"
