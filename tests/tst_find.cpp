#include "TestDoubles.h"

#include "core/Twips.h"
#include "editor/EditCommands.h"
#include "editor/frmFind.h"
#include "shell/frmMain.h"

#include <Qsci/qsciscintilla.h>

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

using Sci = QsciScintillaBase;

void setText(frmDocument *doc, const char *utf8)
{
    doc->rtfText()->SendScintilla(Sci::SCI_SETTEXT, utf8);
}

void selectBytes(frmDocument *doc, long from, long to)
{
    doc->rtfText()->SendScintilla(Sci::SCI_SETSEL, static_cast<unsigned long>(from), to);
}

QString selection(frmDocument *doc)
{
    return doc->rtfText()->selectedText();
}

long selectionStart(frmDocument *doc)
{
    return doc->rtfText()->SendScintilla(Sci::SCI_GETSELECTIONSTART);
}

// How the next Find dialog is answered, and what it showed when it opened.
struct FindAnswer
{
    QString typed;
    bool cancel = false;
    bool closeBox = false;
    QString shownText;
    bool answered = false;
};

// Waits for the Find dialog to be shown modally, then types the text and presses
// Enter (Find) or Escape (Cancel), or closes it by its frame.
void answerNextFind(FindAnswer &answer)
{
    auto *poll = new QTimer;
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, &answer] {
        auto *dialog = qobject_cast<frmFind *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        poll->stop();
        poll->deleteLater();
        answer.shownText = dialog->txtFind()->text();
        dialog->txtFind()->setText(answer.typed);
        if (answer.closeBox)
            dialog->close();
        else
            QTest::keyClick(dialog->txtFind(), answer.cancel ? Qt::Key_Escape : Qt::Key_Return);
        answer.answered = true;
    });
    poll->start();
}

// A loaded main window with one empty document.
struct Loaded
{
    Loaded()
    {
        Harness::write(h.program + u"/KV-Win.ini"_qs, "");
        w = std::make_unique<frmMain>(h.ctx);
        w->MDIForm_Load();
        w->show();
        doc = w->activeDocument();
        h.dialogs.messages.clear();
    }
    // Find through the menu, answered with the text typed and Enter.
    FindAnswer find(const QString &text, bool cancel = false)
    {
        FindAnswer answer;
        answer.typed = text;
        answer.cancel = cancel;
        answerNextFind(answer);
        w->mnuEditFind_Click();
        return answer;
    }
    frmDocument *second()
    {
        w->mnuFileNew_Click();
        return w->activeDocument();
    }
    int notFoundMessages() const
    {
        int n = 0;
        for (const MessageRequest &m : h.dialogs.messages)
            n += m.text == u"String not found"_qs && m.title.isEmpty()
                         && m.buttons == MsgButtons::OK && m.icon == MsgIcon::Exclamation
                     ? 1
                     : 0;
        return n;
    }
    EditCommands &edit() { return w->editCommands(); }

    Harness h;
    std::unique_ptr<frmMain> w;
    frmDocument *doc = nullptr;
};

} // namespace

class FindTest : public QObject
{
    Q_OBJECT

private slots:
    void findDialogLooksAsDesigned();
    void findDialogIsLeftByItsButtonsKeysAndFrame();
    void findIgnoresCaseAndMatchesInsideWords_data();
    void findIgnoresCaseAndMatchesInsideWords();
    void findInsideASelectionStaysInside();
    void findNextGoesOnAndRestartsNearTheStartAfterAMiss();
    void findNextContinuesInAnotherWindowAtTheLeftPosition();
    void findNextStartBeyondAShorterTextIsAMiss();
    void findCancelledKeepsTheSearchState();
    void findNextBeforeAnyFindDoesNothing();
    void positionsCountCharactersNotBytes();
    void withoutADocumentOnlyFindChangesTheState();
    void copyAndCutWithoutSelectionEmptyTheClipboard();
    void undoTakesBackTheLastEdit();
};

void FindTest::findDialogLooksAsDesigned()
{
    frmFind f;
    QCOMPARE(f.windowTitle(), u"Find"_qs);
    QCOMPARE(f.size(), QSize(Twips::toPxX(5040, &f), Twips::toPxY(1080, &f)));
    auto *label = f.findChild<QLabel *>(u"Label1"_qs);
    QVERIFY(label);
    QCOMPARE(label->text(), u"Find:"_qs);
    QCOMPARE(label->geometry(),
             QRect(Twips::toPxX(120, &f),
                   Twips::toPxY(180, &f),
                   Twips::toPxX(435, &f),
                   Twips::toPxY(240, &f)));
    QCOMPARE(f.txtFind()->objectName(), u"txtFind"_qs);
    QVERIFY(f.txtFind()->text().isEmpty());
    QCOMPARE(f.txtFind()->font().family(), u"Arial"_qs);
    QCOMPARE(f.txtFind()->font().pointSizeF(), 11.25);
    QCOMPARE(f.txtFind()->geometry(),
             QRect(Twips::toPxX(870, &f),
                   Twips::toPxY(120, &f),
                   Twips::toPxX(3945, &f),
                   Twips::toPxY(315, &f)));
    QCOMPARE(f.cmdFind()->text(), u"&Find"_qs);
    QCOMPARE(f.cmdFind()->geometry(),
             QRect(Twips::toPxX(1320, &f),
                   Twips::toPxY(600, &f),
                   Twips::toPxX(1035, &f),
                   Twips::toPxY(345, &f)));
    QVERIFY(f.cmdFind()->isDefault());
    QCOMPARE(f.cmdCancel()->text(), u"Cancel"_qs);
    QCOMPARE(f.cmdCancel()->geometry().topLeft(),
             QPoint(Twips::toPxX(3000, &f), Twips::toPxY(600, &f)));
    QVERIFY(!f.cmdCancel()->isDefault());
    // Tab order: the text, Find, Cancel.
    QCOMPARE(f.txtFind()->nextInFocusChain(), f.cmdFind());
    QCOMPARE(f.cmdFind()->nextInFocusChain(), f.cmdCancel());
}

void FindTest::findDialogIsLeftByItsButtonsKeysAndFrame()
{
    Loaded l;
    setText(l.doc, "one two");
    FindAnswer enter = l.find(u"two"_qs);
    QVERIFY(enter.answered);
    QCOMPARE(selection(l.doc), u"two"_qs);

    FindAnswer escape = l.find(u"one"_qs, true);
    QVERIFY(escape.answered);
    QCOMPARE(escape.shownText, u"two"_qs); // the dialog shows the last search text
    QCOMPARE(l.edit().SearchText(), u"two"_qs);

    FindAnswer frame;
    frame.typed = u"one"_qs;
    frame.closeBox = true;
    answerNextFind(frame);
    l.w->mnuEditFind_Click();
    QVERIFY(frame.answered);
    QCOMPARE(l.edit().SearchText(), u"two"_qs);
    QCOMPARE(selection(l.doc), u"two"_qs);

    // The dialog is gone after each use.
    QTRY_VERIFY(!l.w->findChild<frmFind *>());
}

void FindTest::findIgnoresCaseAndMatchesInsideWords_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("search");
    QTest::addColumn<int>("found");

    QTest::newRow("upper finds lower") << QByteArray("x = 1\r\ndo i\r\n") << u"DO"_qs << 7;
    QTest::newRow("inside a word") << QByteArray("endo DO") << u"do"_qs << 2;
    QTest::newRow("mixed case") << QByteArray("a Do b") << u"dO"_qs << 2;
    QTest::newRow("absent") << QByteArray("nothing here") << u"xyz"_qs << -1;
}

void FindTest::findIgnoresCaseAndMatchesInsideWords()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, search);
    QFETCH(int, found);
    Loaded l;
    setText(l.doc, text.constData());
    l.find(search);
    QCOMPARE(l.edit().SearchText(), search);
    // Where Find Next starts: after the occurrence, or the length minus one.
    QCOMPARE(l.edit().SearchStart(), found + search.size());
    if (found >= 0) {
        QCOMPARE(selectionStart(l.doc), found);
        QCOMPARE(selection(l.doc).toLower(), search.toLower());
        QCOMPARE(l.notFoundMessages(), 0);
    } else {
        QCOMPARE(l.notFoundMessages(), 1);
        QCOMPARE(l.h.dialogs.messages.size(), 1);
    }
}

void FindTest::findInsideASelectionStaysInside()
{
    Loaded l;
    setText(l.doc, "do 1 do 2 do 3");
    selectBytes(l.doc, 3, 10); // "1 do 2 "
    l.find(u"do"_qs);
    QCOMPARE(selectionStart(l.doc), 5);
    QCOMPARE(l.edit().SearchStart(), 7);
    // The occurrence is now the selection: the same Find finds it again.
    l.find(u"do"_qs);
    QCOMPARE(selectionStart(l.doc), 5);
    QCOMPARE(l.edit().SearchStart(), 7);
    l.w->mnuEditFindNext_Click();
    QCOMPARE(selectionStart(l.doc), 10);
    QCOMPARE(l.edit().SearchStart(), 12);

    // A selection without the text: not found, the selection stays.
    selectBytes(l.doc, 0, 2); // "do"
    l.find(u"do 1 do"_qs);
    QCOMPARE(l.notFoundMessages(), 1);
    QCOMPARE(selectionStart(l.doc), 0);
    QCOMPARE(selection(l.doc), u"do"_qs);
}

void FindTest::findNextGoesOnAndRestartsNearTheStartAfterAMiss()
{
    Loaded l;
    setText(l.doc, "abc abc abc");
    l.find(u"abc"_qs);
    QCOMPARE(l.edit().SearchStart(), 3);
    l.w->mnuEditFindNext_Click();
    QCOMPARE(selectionStart(l.doc), 4);
    l.w->mnuEditFindNext_Click();
    QCOMPARE(selectionStart(l.doc), 8);
    QCOMPARE(l.edit().SearchStart(), 11);
    QCOMPARE(l.notFoundMessages(), 0);

    l.w->mnuEditFindNext_Click();
    QCOMPARE(l.notFoundMessages(), 1);
    QCOMPARE(l.edit().SearchStart(), 2); // three characters, not found: 2
    QCOMPARE(selectionStart(l.doc), 8);  // a miss leaves the selection

    // No wrap-around: the search starts at 2, so the first one found is at 4.
    l.w->mnuEditFindNext_Click();
    QCOMPARE(selectionStart(l.doc), 4);
    QCOMPARE(l.edit().SearchStart(), 7);
}

void FindTest::findNextContinuesInAnotherWindowAtTheLeftPosition()
{
    Loaded l;
    setText(l.doc, "xx abc");
    l.find(u"ABC"_qs);
    QCOMPARE(l.edit().SearchStart(), 6);
    frmDocument *other = l.second();
    QVERIFY(other && other != l.doc);
    setText(other, "abc abc abc");
    l.w->mnuEditFindNext_Click();
    QCOMPARE(selectionStart(other), 8);
    QCOMPARE(l.edit().SearchStart(), 11);
    QCOMPARE(l.notFoundMessages(), 0);
}

void FindTest::findNextStartBeyondAShorterTextIsAMiss()
{
    Loaded l;
    setText(l.doc, "a long text that ends with the word needle");
    l.find(u"needle"_qs);
    const int start = l.edit().SearchStart();
    QCOMPARE(start, 42);
    frmDocument *shorter = l.second();
    setText(shorter, "needle");
    l.w->mnuEditFindNext_Click();
    QCOMPARE(l.notFoundMessages(), 1);
    QCOMPARE(l.edit().SearchStart(), 5);
    // The next one starts at 5 of "needle": still nothing, and nothing breaks.
    l.w->mnuEditFindNext_Click();
    QCOMPARE(l.notFoundMessages(), 2);
    // The text got shorter in the same window.
    setText(l.doc, "needle");
    l.w->mnuEditFindNext_Click();
    QCOMPARE(l.notFoundMessages(), 3);
}

void FindTest::findCancelledKeepsTheSearchState()
{
    Loaded l;
    setText(l.doc, "abc abc");
    l.find(u"abc"_qs);
    l.w->mnuEditFindNext_Click();
    QCOMPARE(l.edit().SearchStart(), 7);
    selectBytes(l.doc, 0, 0);
    FindAnswer cancelled = l.find(u"zzz"_qs, true);
    QCOMPARE(cancelled.shownText, u"abc"_qs);
    QCOMPARE(l.edit().SearchText(), u"abc"_qs);
    QCOMPARE(l.edit().SearchStart(), 7);
    QCOMPARE(selectionStart(l.doc), 0);
    QVERIFY(l.h.dialogs.messages.isEmpty());
}

void FindTest::findNextBeforeAnyFindDoesNothing()
{
    Loaded l;
    setText(l.doc, "abc");
    selectBytes(l.doc, 1, 1);
    l.w->mnuEditFindNext_Click();
    QVERIFY(l.h.dialogs.messages.isEmpty());
    QCOMPARE(selectionStart(l.doc), 1);
    QCOMPARE(l.edit().SearchStart(), 0);
}

void FindTest::positionsCountCharactersNotBytes()
{
    Loaded l;
    // Two-byte letters before the occurrences: positions count characters.
    setText(l.doc,
            "\xc3\xa4\xc3\xb6\xc3\xbc abc \xc3\x84"
            "Bc abc");
    l.find(u"\u00e4bc"_qs);
    QCOMPARE(selection(l.doc), u"\u00c4Bc"_qs);
    QCOMPARE(l.edit().SearchStart(), 11);
    selectBytes(l.doc, 0, 0);
    l.find(u"abc"_qs);
    QCOMPARE(l.edit().SearchStart(), 7);
    l.w->mnuEditFindNext_Click();
    QCOMPARE(l.edit().SearchStart(), 15);
    QCOMPARE(selection(l.doc), u"abc"_qs);
    QCOMPARE(FindInControl(*l.doc->rtfText(), u"abc"_qs, 5), 12);
}

void FindTest::withoutADocumentOnlyFindChangesTheState()
{
    Loaded l;
    QApplication::clipboard()->setText(u"kept"_qs);
    for (QMdiSubWindow *sub : l.w->mdiArea()->subWindowList())
        sub->close();
    QTRY_VERIFY(!l.w->activeDocument());
    l.w->mnuEditUndo_Click();
    l.w->mnuEditCut_Click();
    l.w->mnuEditCopy_Click();
    l.w->mnuEditPaste_Click();
    l.w->mnuEditFindNext_Click();
    QCOMPARE(QApplication::clipboard()->text(), u"kept"_qs);
    // Find takes the text over and advances by its length, without a message.
    l.find(u"abcd"_qs);
    QCOMPARE(l.edit().SearchText(), u"abcd"_qs);
    QCOMPARE(l.edit().SearchStart(), 4);
    l.find(u"abcd"_qs);
    QCOMPARE(l.edit().SearchStart(), 8);
    l.w->mnuEditFindNext_Click();
    QCOMPARE(l.edit().SearchStart(), 8);
    QVERIFY(l.h.dialogs.messages.isEmpty());
}

void FindTest::copyAndCutWithoutSelectionEmptyTheClipboard()
{
    Loaded l;
    setText(l.doc, "alpha beta");
    selectBytes(l.doc, 6, 10);
    l.w->mnuEditCopy_Click();
    QCOMPARE(QApplication::clipboard()->text(), u"beta"_qs);
    QVERIFY(l.doc->CanPaste());

    selectBytes(l.doc, 3, 3);
    l.w->mnuEditCopy_Click();
    QVERIFY(QApplication::clipboard()->text().isEmpty());
    QVERIFY(!l.doc->CanPaste());

    QApplication::clipboard()->setText(u"old"_qs);
    l.w->tbToolBar_ButtonClick(u"Cut"_qs);
    QVERIFY(QApplication::clipboard()->text().isEmpty());
    QVERIFY(!l.doc->CanPaste());
    QCOMPARE(l.doc->textBytes(), QByteArray("alpha beta"));

    // Paste of an empty clipboard changes nothing.
    selectBytes(l.doc, 0, 5);
    l.w->mnuEditPaste_Click();
    QCOMPARE(l.doc->textBytes(), QByteArray("alpha beta"));

    selectBytes(l.doc, 0, 6);
    l.w->mnuEditCut_Click();
    QCOMPARE(QApplication::clipboard()->text(), u"alpha "_qs);
    QCOMPARE(l.doc->textBytes(), QByteArray("beta"));
    l.doc->rtfText()->SendScintilla(Sci::SCI_GOTOPOS, 4L);
    l.w->mnuEditPaste_Click();
    QCOMPARE(l.doc->textBytes(), QByteArray("betaalpha "));
}

void FindTest::undoTakesBackTheLastEdit()
{
    Loaded l;
    setText(l.doc, "first");
    l.doc->rtfText()->SendScintilla(Sci::SCI_EMPTYUNDOBUFFER);
    l.doc->rtfText()->SendScintilla(Sci::SCI_GOTOPOS, 5L);
    l.doc->rtfText()->SendScintilla(Sci::SCI_REPLACESEL, " second");
    QCOMPARE(l.doc->textBytes(), QByteArray("first second"));
    l.doc->setIsDirty(false);
    l.w->tbToolBar_ButtonClick(u"Undo"_qs);
    QCOMPARE(l.doc->textBytes(), QByteArray("first"));
    QVERIFY(l.doc->IsDirty());
}

QTEST_MAIN(FindTest)
#include "tst_find.moc"
