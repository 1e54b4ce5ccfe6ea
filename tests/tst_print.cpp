#include "TestDoubles.h"

#include "editor/PrintCommands.h"
#include "shell/frmMain.h"

#include <Qsci/qsciscintilla.h>

#include <QDateTime>
#include <QDir>
#include <QImage>
#include <QLocale>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

namespace {

using Sci = QsciScintillaBase;

QString run(const QString &program, const QStringList &arguments)
{
    QProcess p;
    p.start(program, arguments);
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}

int pageCount(const QString &pdf)
{
    const QRegularExpression pages(QStringLiteral("^Pages:\\s+(\\d+)"),
                                   QRegularExpression::MultilineOption);
    const QRegularExpressionMatch m = pages.match(run(u"pdfinfo"_qs, {pdf}));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

QString pageText(const QString &pdf, int page)
{
    const QString n = QString::number(page);
    return run(u"pdftotext"_qs, {u"-f"_qs, n, u"-l"_qs, n, u"-layout"_qs, pdf, u"-"_qs});
}

struct Word
{
    QString text;
    QRectF box; // in points from the paper's top left corner
};

QList<Word> pageWords(const QString &pdf, int page)
{
    const QString n = QString::number(page);
    const QString html
        = run(u"pdftotext"_qs, {u"-bbox"_qs, u"-f"_qs, n, u"-l"_qs, n, pdf, u"-"_qs});
    const QRegularExpression word(QStringLiteral(
        "<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)"
        "</word>"));
    QList<Word> words;
    for (const QRegularExpressionMatch &m : word.globalMatch(html)) {
        const QPointF from(m.captured(1).toDouble(), m.captured(2).toDouble());
        const QPointF to(m.captured(3).toDouble(), m.captured(4).toDouble());
        words << Word{m.captured(5), QRectF(from, to)};
    }
    return words;
}

// Lines "L00001 alpha beta" .. numbered from 1.
QByteArray numberedLines(int count)
{
    QByteArray text;
    for (int i = 1; i <= count; ++i)
        text += "L" + QByteArray::number(i).rightJustified(5, '0') + " alpha beta gamma\r\n";
    return text;
}

// How often each "L00001" appears across all pages, and on which page each stands.
QMap<int, int> lineCounts(const QString &pdf, int pages, QMap<int, int> *pageOfLine = nullptr)
{
    const QRegularExpression line(QStringLiteral("L(\\d{5})"));
    QMap<int, int> counts;
    for (int p = 1; p <= pages; ++p)
        for (const QRegularExpressionMatch &m : line.globalMatch(pageText(pdf, p))) {
            const int n = m.captured(1).toInt();
            ++counts[n];
            if (pageOfLine)
                pageOfLine->insert(n, p);
        }
    return counts;
}

// A loaded main window whose printer writes an A4 PDF into the test's directory.
struct Printing
{
    Printing()
    {
        Harness::write(h.program + u"/KV-Win.ini"_qs, "");
        w = std::make_unique<frmMain>(h.ctx);
        w->MDIForm_Load();
        doc = w->activeDocument();
        pdf = h.tmp.path() + u"/print out.pdf"_qs;
        QPrinter &printer = w->printCommands().printer();
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        printer.setPageSize(QPageSize(QPageSize::A4));
        printer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
        h.dialogs.messages.clear();
    }
    // Loads the text from a file, so the document has a name and its font.
    void load(const QByteArray &text)
    {
        const QString path = h.program + u"/user/my code.ty"_qs;
        Harness::write(path, text);
        doc->LoadFile(path);
    }
    int print()
    {
        QFile::remove(pdf);
        h.dialogs.printAnswers.enqueue(true);
        w->mnuFilePrint_Click();
        return QFile::exists(pdf) ? pageCount(pdf) : 0;
    }

    Harness h;
    std::unique_ptr<frmMain> w;
    frmDocument *doc = nullptr;
    QString pdf;
};

} // namespace

class PrintTest : public QObject
{
    Q_OBJECT

private slots:
    void printDialogShowsTheNameAndPreselectsASelection();
    void cancelledOrWithoutDocumentPrintsNothing();
    void everyLineOnceAcrossThreePagesHeaderOnTheFirst();
    void wrappedLinesBreakAcrossPagesWithoutLoss();
    void shortTextsPrintOnePage();
    void marginsAreMeasuredFromThePaperEdges_data();
    void marginsAreMeasuredFromThePaperEdges();
    void textPrintsBlackWhateverItsColours();
    void printerSetupPrintsNothing();
    void aPrinterThatCannotStartIsReported();
    void aCancelledPrintLeavesNoFileAndKeepsTheOneBefore();
};

void PrintTest::printDialogShowsTheNameAndPreselectsASelection()
{
    Printing p;
    p.doc->rtfText()->SendScintilla(Sci::SCI_SETTEXT, "untitled text");
    p.w->mnuFilePrint_Click();
    QCOMPARE(p.h.dialogs.printDialogs.size(), 1);
    QCOMPARE(p.h.dialogs.printDialogs.last().title, u"Printing "_qs);
    QVERIFY(!p.h.dialogs.printDialogs.last().selectionPreselected);

    p.load("alpha beta\r\n");
    p.doc->rtfText()->SendScintilla(Sci::SCI_SETSEL, 6UL, 10L);
    QCOMPARE(p.print(), 1);
    QCOMPARE(p.h.dialogs.printDialogs.last().title, u"Printing "_qs + p.doc->Filename());
    QVERIFY(p.h.dialogs.printDialogs.last().selectionPreselected);
    // The whole text is printed all the same.
    const QString text = pageText(p.pdf, 1);
    QVERIFY(text.contains(u"alpha"_qs));
    QVERIFY(text.contains(u"beta"_qs));
}

void PrintTest::cancelledOrWithoutDocumentPrintsNothing()
{
    Printing p;
    p.load("text\r\n");
    p.w->mnuFilePrint_Click(); // the dialog is cancelled
    QCOMPARE(p.h.dialogs.printDialogs.size(), 1);
    QVERIFY(!QFile::exists(p.pdf));

    p.doc->unloadAgreed();
    QTRY_VERIFY(!p.w->activeDocument());
    p.h.dialogs.printAnswers.enqueue(true);
    p.w->mnuFilePrint_Click();
    QCOMPARE(p.h.dialogs.printDialogs.size(), 1);
    QVERIFY(!QFile::exists(p.pdf));
    QVERIFY(p.h.dialogs.messages.isEmpty());
}

void PrintTest::everyLineOnceAcrossThreePagesHeaderOnTheFirst()
{
    Printing p;
    // How many lines a page holds, from a first printout.
    p.load(numberedLines(300));
    const int firstPages = p.print();
    QVERIFY(firstPages >= 2);
    QMap<int, int> pageOf;
    lineCounts(p.pdf, firstPages, &pageOf);
    const int perPage = static_cast<int>(std::count(pageOf.cbegin(), pageOf.cend(), 1));
    QVERIFY(perPage > 20);

    // A text that fills its pages exactly ends without a blank page, though its
    // last line end starts one more (empty) line.
    p.load(numberedLines(perPage));
    QCOMPARE(p.print(), 1);
    p.load(numberedLines(2 * perPage));
    QCOMPARE(p.print(), 2);

    const int lines = 2 * perPage + perPage / 2;
    p.load(numberedLines(lines));
    QCOMPARE(p.print(), 3);
    pageOf.clear();
    const QMap<int, int> counts = lineCounts(p.pdf, 3, &pageOf);
    QCOMPARE(counts.size(), lines);
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        QVERIFY2(it.value() == 1,
                 qPrintable(u"line %1 printed %2 times"_qs.arg(it.key()).arg(it.value())));
    }
    QCOMPARE(counts.firstKey(), 1);
    QCOMPARE(counts.lastKey(), lines);
    // The pages follow each other: a line never stands on an earlier page than the
    // one before it, and each page is full but the last.
    for (int n = 2; n <= lines; ++n)
        QVERIFY(pageOf.value(n) >= pageOf.value(n - 1));
    QCOMPARE(pageOf.value(perPage), 1);
    QCOMPARE(pageOf.value(perPage + 1), 2);
    QCOMPARE(pageOf.value(lines), 3);

    const QString name = p.doc->Filename().simplified();
    const QString today = QLocale().toString(QDate::currentDate(), QLocale::ShortFormat);
    const QString first = pageText(p.pdf, 1).simplified();
    QVERIFY2(first.contains(name), qPrintable(first.left(300)));
    QVERIFY(first.contains(today));
    for (int page : {2, 3}) {
        const QString later = pageText(p.pdf, page).simplified();
        QVERIFY(!later.contains(u"my code.ty"_qs));
        QVERIFY(!later.contains(today));
    }
    QVERIFY(p.h.dialogs.messages.isEmpty());
}

void PrintTest::wrappedLinesBreakAcrossPagesWithoutLoss()
{
    Printing p;
    // Long lines of numbered words wrap over several printed lines; some of them
    // cross a page break.
    QByteArray text;
    int word = 0;
    for (int line = 0; line < 60; ++line) {
        for (int i = 0; i < 40; ++i)
            text += "L" + QByteArray::number(++word).rightJustified(5, '0') + ' ';
        text += "\r\n";
    }
    p.load(text);
    const int pages = p.print();
    QVERIFY(pages >= 3);
    const QMap<int, int> counts = lineCounts(p.pdf, pages);
    QCOMPARE(counts.size(), word);
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        QVERIFY2(it.value() == 1,
                 qPrintable(u"word %1 printed %2 times"_qs.arg(it.key()).arg(it.value())));
    QVERIFY(!pageText(p.pdf, pages).simplified().isEmpty());
}

void PrintTest::shortTextsPrintOnePage()
{
    Printing p;
    p.load("one line\r\n");
    QCOMPARE(p.print(), 1);
    QVERIFY(pageText(p.pdf, 1).contains(u"one line"_qs));
    p.load(numberedLines(20));
    QCOMPARE(p.print(), 1);
    QCOMPARE(lineCounts(p.pdf, 1).size(), 20);
}

void PrintTest::marginsAreMeasuredFromThePaperEdges_data()
{
    QTest::addColumn<double>("printerMarginMm");
    QTest::newRow("no printer margin") << 0.0;
    QTest::newRow("printable area 12 mm inside the paper") << 12.0;
}

void PrintTest::marginsAreMeasuredFromThePaperEdges()
{
    QFETCH(double, printerMarginMm);
    Printing p;
    QPrinter &printer = p.w->printCommands().printer();
    printer.setPageMargins(
        QMarginsF(printerMarginMm, printerMarginMm, printerMarginMm, printerMarginMm),
        QPageLayout::Millimeter);
    p.load(numberedLines(200));
    const int pages = p.print();
    QVERIFY(pages >= 2);
    const double offset = printerMarginMm * 72 / 25.4; // in points
    const double pageHeight = 842;                     // A4
    for (int page = 1; page <= pages; ++page) {
        for (const Word &w : pageWords(p.pdf, page)) {
            if (w.text.startsWith(u'L') && w.text.size() == 6) {
                // 200 twips = 10 pt left, 400 = 20 pt top, 300 = 15 pt bottom.
                QVERIFY2(w.box.left() >= 10 - 0.5 && w.box.left() < 14,
                         qPrintable(QString::number(w.box.left())));
                QVERIFY(w.box.top() >= 20 - 0.5);
                QVERIFY(w.box.bottom() <= pageHeight - 15 + 0.5);
            } else if (w.text == u"code.ty"_qs) {
                QCOMPARE(page, 1);
                // The header's second half of the name, right of 720 twips (36 pt)
                // from the printable area's corner, 10 twips down.
                QVERIFY(w.box.left() > offset + 36);
                QVERIFY(w.box.top() >= offset + 0.5 - 0.5 && w.box.top() < offset + 8);
            }
        }
    }
    // The date and time begin 9360 twips (468 pt) right of the printable corner.
    bool dateSeen = false;
    const QString today
        = QLocale().toString(QDate::currentDate(), QLocale::ShortFormat).section(u' ', 0, 0);
    for (const Word &w : pageWords(p.pdf, 1))
        if (w.text == today && w.box.left() > offset + 100) {
            dateSeen = true;
            QVERIFY(qAbs(w.box.left() - (offset + 468)) < 1);
        }
    QVERIFY(dateSeen);
}

void PrintTest::textPrintsBlackWhateverItsColours()
{
    Printing p;
    p.load(numberedLines(30));
    QsciScintilla *rtf = p.doc->rtfText();
    for (int style : {int(Sci::STYLE_DEFAULT), 0}) {
        rtf->SendScintilla(Sci::SCI_STYLESETFORE, style, QColor(Qt::red));
        rtf->SendScintilla(Sci::SCI_STYLESETBACK, style, QColor(Qt::yellow));
    }
    QCOMPARE(p.print(), 1);
    const QString image = p.h.tmp.path() + u"/page"_qs;
    run(u"pdftoppm"_qs, {u"-r"_qs, u"40"_qs, u"-png"_qs, u"-singlefile"_qs, p.pdf, image});
    QImage page(image + u".png"_qs);
    QVERIFY(!page.isNull());
    int dark = 0;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x) {
            const QColor c = page.pixelColor(x, y);
            QVERIFY2(qAbs(c.red() - c.green()) < 24 && qAbs(c.green() - c.blue()) < 24,
                     qPrintable(c.name()));
            dark += c.value() < 128 ? 1 : 0;
        }
    QVERIFY(dark > 100); // the text is there
}

void PrintTest::printerSetupPrintsNothing()
{
    Printing p;
    p.load("text\r\n");
    p.w->mnuFilePrinterSetup_Click();
    p.h.dialogs.printerSetupAnswers.enqueue(true);
    p.w->mnuFilePrinterSetup_Click();
    QCOMPARE(p.h.dialogs.printerSetups, 2);
    QVERIFY(p.h.dialogs.printDialogs.isEmpty());
    QVERIFY(p.h.dialogs.messages.isEmpty());
    QVERIFY(!QFile::exists(p.pdf));
}

void PrintTest::aPrinterThatCannotStartIsReported()
{
    Printing p;
    p.load("text\r\n");
    p.w->printCommands().printer().setOutputFileName(p.h.tmp.path() + u"/missing/out.pdf"_qs);
    p.h.dialogs.printAnswers.enqueue(true);
    p.w->mnuFilePrint_Click();
    QCOMPARE(p.h.dialogs.messages.size(), 1);
    QVERIFY(p.h.dialogs.messages.first().text.contains(u"nothing was printed"_qs));
    QCOMPARE(p.w->activeDocument(), p.doc);
}

void PrintTest::aCancelledPrintLeavesNoFileAndKeepsTheOneBefore()
{
    Printing p;
    p.load(numberedLines(400));
    const long length = p.doc->rtfText()->SendScintilla(Sci::SCI_GETLENGTH);
    const auto filesBeside
        = [&] { return QDir(p.h.tmp.path()).entryList(QDir::Files | QDir::Hidden | QDir::System); };
    const auto printCancelledAt = [&](int step) {
        p.h.dialogs.printAnswers.enqueue(true);
        p.h.dialogs.cancelAtSteps.enqueue(step);
        p.w->mnuFilePrint_Click();
        const ProgressRecord &record = *p.h.dialogs.progresses.last();
        QVERIFY(record.cancelled);
        QVERIFY(record.ended);
        QCOMPARE(record.values.size(), step);
    };

    // A whole printout first: one step per page after the first, each where the
    // next page starts, and nothing left beside the file.
    const QStringList before = filesBeside();
    const int pages = p.print();
    QVERIFY(pages >= 4);
    const ProgressRecord &whole = *p.h.dialogs.progresses.last();
    QVERIFY(!whole.cancelled);
    QCOMPARE(whole.request.title, u"Printing "_qs + p.doc->Filename());
    QCOMPARE(whole.maximum, length);
    QCOMPARE(whole.values.size(), pages - 1);
    for (qsizetype i = 1; i < whole.values.size(); ++i)
        QVERIFY(whole.values.at(i) > whole.values.at(i - 1));
    QVERIFY(whole.values.last() < length);
    QCOMPARE(whole.labels.last(), u"Printing page "_qs + QString::number(pages));
    QCOMPARE(filesBeside(), QStringList(before) << QFileInfo(p.pdf).fileName());

    // Cancelled after the first page and before the last: no file at all.
    for (int step : {1, pages - 1}) {
        QFile::remove(p.pdf);
        printCancelledAt(step);
        QVERIFY(!QFile::exists(p.pdf));
        QCOMPARE(filesBeside(), before);
    }

    // A file of that name from before stays as it was.
    Harness::write(p.pdf, "the user's own file");
    QFile::setPermissions(p.pdf, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    printCancelledAt(2);
    QCOMPARE(Harness::read(p.pdf), QByteArray("the user's own file"));
    QCOMPARE(filesBeside(), QStringList(before) << QFileInfo(p.pdf).fileName());

    // Printed whole, the printout takes its place, readable as the file was.
    p.h.dialogs.printAnswers.enqueue(true);
    p.w->mnuFilePrint_Click();
    QCOMPARE(pageCount(p.pdf), pages);
    QCOMPARE(QFileInfo(p.pdf).permissions()
                 & ~QFile::Permissions(QFile::ReadUser | QFile::WriteUser),
             QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    QCOMPARE(filesBeside(), QStringList(before) << QFileInfo(p.pdf).fileName());
    QCOMPARE(p.w->printCommands().printer().outputFileName(), p.pdf);
    QVERIFY(p.h.dialogs.messages.isEmpty());
}

QTEST_MAIN(PrintTest)
#include "tst_print.moc"
