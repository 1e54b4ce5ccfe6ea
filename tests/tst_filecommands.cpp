#include "TestDoubles.h"

#include "core/mdlLastFile.h"
#include "shell/frmMain.h"

#include <Qsci/qsciscintilla.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTest>

namespace {

void typeText(frmDocument *doc, const char *utf8)
{
    doc->rtfText()->SendScintilla(QsciScintillaBase::SCI_REPLACESEL, utf8);
}

// A loaded main window with one clean, empty document and KV-Win.ini present.
struct Loaded
{
    Loaded()
    {
        Harness::write(h.program + u"/KV-Win.ini"_qs, "");
        cwd = QDir::currentPath();
        w = std::make_unique<frmMain>(h.ctx);
        w->MDIForm_Load();
        h.dialogs.messages.clear();
    }
    ~Loaded()
    {
        w.reset();
        QDir::setCurrent(cwd);
    }
    // Document windows still open (closed ones are deleted later by the event loop).
    int openDocuments() const
    {
        int n = 0;
        for (QMdiSubWindow *sub : w->mdiArea()->subWindowList())
            n += sub->isHidden() ? 0 : 1;
        return n;
    }
    Harness h;
    QString cwd;
    std::unique_ptr<frmMain> w;
};

// The main window as the user meets it: loaded, shown and active, with the
// keyboard in the active document.
struct Started
{
    explicit Started(Harness &h)
        : cwd(QDir::currentPath())
        , w(std::make_unique<frmMain>(h.ctx))
    {
        w->MDIForm_Load();
        h.dialogs.messages.clear();
        w->resize(900, 700);
        w->show();
        w->activateWindow();
        if (QTest::qWaitForWindowActive(w.get()) && w->activeDocument())
            w->activeDocument()->rtfText()->setFocus();
    }
    ~Started()
    {
        w.reset();
        QDir::setCurrent(cwd);
    }
    // A key pressed where the keyboard is: the focus widget, or the main window
    // when it holds no focus.
    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::ControlModifier) const
    {
        QWidget *target = QApplication::focusWidget();
        QTest::keyClick(target && target->window() == w.get() ? target : w.get(), key, modifiers);
    }
    void type(const char *text) const { QTest::keyClicks(QApplication::focusWidget(), text); }

    // Opens a menu with its access key and closes it with Esc, as a user glancing
    // at it would; the items enabled while it was open.
    QStringList glanceAt(Qt::Key accessKey, const QString &menuName) const
    {
        auto *menu = w->findChild<QMenu *>(menuName);
        QWidget *focus = QApplication::focusWidget();
        QTest::keyClick(w.get(), accessKey, Qt::AltModifier);
        if (!QTest::qWaitFor([&] { return menu->isVisible(); }))
            return {u"the menu did not open"_qs};
        QStringList enabled;
        for (QAction *a : menu->actions())
            if (!a->isSeparator() && a->isEnabled())
                enabled << a->objectName();
        QTest::keyClick(menu, Qt::Key_Escape);
        // Esc leaves the keyboard on the menu bar; a second one gives it back.
        QTest::keyClick(w->menuBar(), Qt::Key_Escape);
        if (focus)
            focus->setFocus();
        return enabled;
    }

    QString cwd;
    std::unique_ptr<frmMain> w;
};

} // namespace

class FileCommandsTest : public QObject
{
    Q_OBJECT

private slots:
    void newOpensACleanUntitledWindow();
    void openReusesAnEmptyWindowAndKeepsOthers();
    void openCancelledClosesTheEmptyWindowAgain();
    void openCancelledOnAnEmptiedModifiedWindowAsksFirst();
    void openingAnEmptyFileClosesItsWindowButNamesTheFile();
    void openingAnUnreadableFileIsReportedAndLosesNothing();
    void aCancelledOpenLeavesNoWindowAndChangesNothing_data();
    void aCancelledOpenLeavesNoWindowAndChangesNothing();
    void closeEmptiesCodeNameEvenWhenCancelled();
    void saveOfAnUntitledDocumentIsSaveAs();
    void saveWritesToTheLoadedPathWhateverTheCurrentDirectory();
    void saveAsCancelledSavesNothing();
    void deleteAsksAndDeletes_data();
    void deleteAsksAndDeletes();
    void deleteOfAMissingFileSaysSo();
    void deleteCancelledChangesNothing();
    void deleteKeepsItsDirectoryAfterTheStartupWindowClosed();
    void deletingAnOpenFileKeepsTheWindow();
    void ctrlSSavesAnEditMadeAfterTheFileMenuWasOpened();
    void ctrlSOnAnUntitledEditAsksForAName();
    void ctrlSFollowsTheDocumentNotTheLastOpenedMenu();
    void editShortcutsFollowSelectionAndClipboard_data();
    void editShortcutsFollowSelectionAndClipboard();
    void theMenusKeysReachTheMenusNotTheEditor();
    void newAndOpenShortcutsWorkAfterAnyMenu_data();
    void newAndOpenShortcutsWorkAfterAnyMenu();
};

void FileCommandsTest::newOpensACleanUntitledWindow()
{
    Loaded l;
    const int before = l.openDocuments();
    l.w->mnuFileNew_Click();
    QCOMPARE(l.openDocuments(), before + 1);
    frmDocument *doc = l.w->activeDocument();
    QCOMPARE(doc->windowTitle(), u"(untitled)"_qs);
    QVERIFY(!doc->IsDirty());
    QVERIFY(doc->CommonDialog1().initDir.isEmpty());
}

void FileCommandsTest::openReusesAnEmptyWindowAndKeepsOthers()
{
    Loaded l;
    const QString a = l.h.tmp.path() + u"/a model.ty"_qs;
    const QString b = l.h.tmp.path() + u"/b;model.out"_qs;
    Harness::write(a, "alpha\r\n");
    Harness::write(b, "beta\r\n");
    QVERIFY(l.w->activeDocument()->IsEmpty());
    frmDocument *empty = l.w->activeDocument();

    l.h.dialogs.files << a;
    l.w->mnuFileOpen_Click();
    QCOMPARE(l.w->activeDocument(), empty);
    QCOMPARE(empty->Filename(), a);
    QCOMPARE(l.h.state.CodeName, u"a model.ty"_qs);

    l.h.dialogs.files << b;
    l.w->mnuFileOpen_Click();
    QCOMPARE(l.openDocuments(), 2);
    QVERIFY(l.w->activeDocument() != empty);
    QCOMPARE(l.w->activeDocument()->textBytes(), QByteArray("beta\r\n"));
    QCOMPARE(empty->textBytes(), QByteArray("alpha\r\n"));
    QCOMPARE(l.h.state.CodeName, u"b;model.out"_qs);
    QCOMPARE(l.h.state.CodeDir, l.h.tmp.path());
    QCOMPARE(l.h.dialogs.openDialogs.first().title, u"Open TY Code File"_qs);
}

void FileCommandsTest::openCancelledClosesTheEmptyWindowAgain()
{
    Loaded l;
    Harness::write(l.h.tmp.path() + u"/x.ty"_qs, "x\r\n");
    l.h.dialogs.files << l.h.tmp.path() + u"/x.ty"_qs;
    l.w->mnuFileOpen_Click(); // the start-up window now holds text
    const int before = l.openDocuments();
    l.h.dialogs.files << std::nullopt;
    l.w->mnuFileOpen_Click();
    QCOMPARE(l.openDocuments(), before);
    QCOMPARE(l.h.state.CodeName, QString());
    QVERIFY(l.h.dialogs.messages.isEmpty());
}

void FileCommandsTest::openCancelledOnAnEmptiedModifiedWindowAsksFirst()
{
    Loaded l;
    frmDocument *doc = l.w->activeDocument();
    typeText(doc, "x");
    doc->rtfText()->SendScintilla(QsciScintillaBase::SCI_CLEARALL);
    QVERIFY(doc->IsEmpty());
    QVERIFY(doc->IsDirty());
    l.h.dialogs.files << std::nullopt;
    l.h.dialogs.answers << MsgAnswer::No;
    l.w->mnuFileOpen_Click();
    QCOMPARE(l.h.dialogs.messages.size(), 1);
    QCOMPARE(l.h.dialogs.messages.first().text,
             u"The text in this window has been modified.\rDo you wish to save it?"_qs);
    QCOMPARE(l.openDocuments(), 0);
}

void FileCommandsTest::openingAnEmptyFileClosesItsWindowButNamesTheFile()
{
    Loaded l;
    const QString empty = l.h.tmp.path() + u"/empty.ty"_qs;
    Harness::write(empty, "");
    l.h.dialogs.files << empty;
    l.w->mnuFileOpen_Click();
    QCOMPARE(l.openDocuments(), 0);
    QCOMPARE(l.h.state.CodeName, u"empty.ty"_qs);
    QCOMPARE(l.h.state.CodeDir, l.h.tmp.path());
}

void FileCommandsTest::openingAnUnreadableFileIsReportedAndLosesNothing()
{
    Loaded l;
    const QString binary = l.h.tmp.path() + u"/plot.gif"_qs;
    const QByteArray bytes("GIF89a\x00\x01\x00", 9);
    Harness::write(binary, bytes);
    l.h.dialogs.files << binary;
    l.w->mnuFileOpen_Click();
    QCOMPARE(l.h.dialogs.messages.size(), 1);
    QVERIFY(l.h.dialogs.messages.first().text.contains(binary));
    QCOMPARE(l.openDocuments(), 0);
    QCOMPARE(Harness::read(binary), bytes);

    l.h.dialogs.messages.clear();
    l.h.dialogs.files << l.h.tmp.path() + u"/typed name that does not exist.ty"_qs;
    l.w->mnuFileOpen_Click();
    QCOMPARE(l.h.dialogs.messages.size(), 1);
    QVERIFY(l.h.dialogs.messages.first().text.contains(u"File not found"_qs));
}

void FileCommandsTest::aCancelledOpenLeavesNoWindowAndChangesNothing_data()
{
    QTest::addColumn<QByteArray>("lineEnd");
    QTest::addColumn<int>("cancelAtStep");
    // A CR LF file is checked (step 1), then read into the window (step 2); any
    // other file is read whole (step 1), then handed to the window (step 2).
    QTest::newRow("CR LF, while checking") << QByteArray("\r\n") << 1;
    QTest::newRow("CR LF, part of it in the window") << QByteArray("\r\n") << 2;
    QTest::newRow("LF, read and in the window") << QByteArray("\n") << 2;
}

void FileCommandsTest::aCancelledOpenLeavesNoWindowAndChangesNothing()
{
    QFETCH(QByteArray, lineEnd);
    QFETCH(int, cancelAtStep);
    Loaded l;
    using Sci = QsciScintillaBase;
    const QString small = l.h.tmp.path() + u"/small.ty"_qs;
    const QString big = l.h.tmp.path() + u"/big answer.out"_qs;
    Harness::write(small, "small\r\n");
    QByteArray bigText;
    for (int i = 0; i < 4000; ++i)
        bigText += "line " + QByteArray::number(i) + " of numbers 1.25 2.5" + lineEnd;
    Harness::write(big, bigText);

    frmDocument *untitled = l.w->activeDocument();
    QVERIFY(untitled && untitled->IsEmpty());
    const long untitledFont
        = untitled->rtfText()->SendScintilla(Sci::SCI_STYLEGETSIZEFRACTIONAL, Sci::STYLE_DEFAULT);
    const FileDialogState dialogBefore = untitled->CommonDialog1();
    SaveLastFile(l.h.hive, u"remembered.ty"_qs, u"/remembered/dir"_qs);
    l.h.state.CodeName = u"current.ty"_qs;
    l.h.state.CodeDir = u"/current/dir"_qs;
    const auto unchanged = [&] {
        QString name, dir;
        ReadLastFile(l.h.hive, name, dir);
        QCOMPARE(name, u"remembered.ty"_qs);
        QCOMPARE(dir, u"/remembered/dir"_qs);
        QCOMPARE(l.h.state.CodeName, u"current.ty"_qs);
        QCOMPARE(l.h.state.CodeDir, u"/current/dir"_qs);
        QVERIFY(l.h.dialogs.messages.isEmpty());
        QVERIFY(l.h.dialogs.progresses.last()->cancelled);
        QVERIFY(l.h.dialogs.progresses.last()->ended);
    };

    // Into the empty untitled window: it stays, empty, untitled and as it was.
    l.h.dialogs.files << big;
    l.h.dialogs.cancelAtSteps << cancelAtStep;
    l.w->mnuFileOpen_Click();
    QCOMPARE(l.h.dialogs.progresses.size(), 1);
    QCOMPARE(l.h.dialogs.progresses.first()->values.size(), cancelAtStep);
    unchanged();
    QCOMPARE(l.openDocuments(), 1);
    QCOMPARE(l.w->activeDocument(), untitled);
    QVERIFY(untitled->IsEmpty());
    QVERIFY(!untitled->IsDirty());
    QCOMPARE(untitled->Filename(), QString());
    QCOMPARE(untitled->windowTitle(), u"(untitled)"_qs);
    QCOMPARE(
        untitled->rtfText()->SendScintilla(Sci::SCI_STYLEGETSIZEFRACTIONAL, Sci::STYLE_DEFAULT),
        untitledFont);
    QCOMPARE(untitled->CommonDialog1().initDir, dialogBefore.initDir);

    // Beside a window with text: the window made for the file goes again.
    typeText(untitled, "mine");
    l.h.dialogs.files << big;
    l.h.dialogs.cancelAtSteps << cancelAtStep;
    l.w->mnuFileOpen_Click();
    unchanged();
    QCOMPARE(l.openDocuments(), 1);
    QCOMPARE(l.w->activeDocument(), untitled);
    QCOMPARE(untitled->textBytes(), QByteArray("mine"));

    // Let run, the same file opens whole, the progress reaching its end.
    l.h.dialogs.files << big;
    l.w->mnuFileOpen_Click();
    QCOMPARE(l.openDocuments(), 2);
    frmDocument *opened = l.w->activeDocument();
    QVERIFY(opened != untitled);
    QCOMPARE(opened->Filename(), big);
    QByteArray expected = bigText;
    expected.replace("\r\n", "\n").replace("\n", "\r\n");
    QCOMPARE(opened->textBytes(), expected);
    QVERIFY(!opened->IsDirty());
    QCOMPARE(l.h.state.CodeName, u"big answer.out"_qs);
    QString name, dir;
    ReadLastFile(l.h.hive, name, dir);
    QCOMPARE(name, u"big answer.out"_qs);
    QCOMPARE(dir, l.h.tmp.path());
    const ProgressRecord &done = *l.h.dialogs.progresses.last();
    QVERIFY(!done.cancelled);
    QVERIFY(done.ended);
    QCOMPARE(done.maximum, 2 * bigText.size());
    QCOMPARE(done.values.last(), done.maximum);
    QVERIFY(l.h.dialogs.messages.isEmpty());
}

void FileCommandsTest::closeEmptiesCodeNameEvenWhenCancelled()
{
    Loaded l;
    typeText(l.w->activeDocument(), "keep me");
    l.h.state.CodeName = u"model.ty"_qs;
    l.h.dialogs.answers << MsgAnswer::Cancel;
    l.w->mnuFileClose_Click();
    QCOMPARE(l.openDocuments(), 1);
    QCOMPARE(l.h.state.CodeName, QString());
    QCOMPARE(l.w->activeDocument()->textBytes(), QByteArray("keep me"));

    // With no document window, Close does nothing.
    l.h.dialogs.answers << MsgAnswer::No;
    l.w->mnuFileClose_Click();
    QCOMPARE(l.openDocuments(), 0);
    l.h.state.CodeName = u"untouched"_qs;
    l.w->mnuFileClose_Click();
    QCOMPARE(l.h.state.CodeName, u"untouched"_qs);
}

void FileCommandsTest::saveOfAnUntitledDocumentIsSaveAs()
{
    Loaded l;
    typeText(l.w->activeDocument(), "x = 1");
    const QString target = l.h.tmp.path() + u"/new $name.ty"_qs;
    l.h.dialogs.files << target;
    l.w->mnuFileSave_Click();
    QCOMPARE(l.h.dialogs.saveDialogs.size(), 1);
    QCOMPARE(l.h.dialogs.saveDialogs.first().title, u"Save TY Code File"_qs);
    QCOMPARE(Harness::read(target), QByteArray("x = 1\r\n"));
    QCOMPARE(l.w->activeDocument()->windowTitle(), target);
    QVERIFY(!l.w->activeDocument()->IsDirty());
}

void FileCommandsTest::saveWritesToTheLoadedPathWhateverTheCurrentDirectory()
{
    Loaded l;
    const QString dirA = l.h.tmp.path() + u"/a"_qs;
    QDir().mkpath(dirA);
    QDir().mkpath(l.h.tmp.path() + u"/b"_qs);
    Harness::write(dirA + u"/m.ty"_qs, "one\r\n");
    l.h.dialogs.files << dirA + u"/m.ty"_qs;
    l.w->mnuFileOpen_Click();
    QDir::setCurrent(l.h.tmp.path() + u"/b"_qs);
    typeText(l.w->activeDocument(), "zero ");
    l.w->mnuFileSave_Click();
    QCOMPARE(Harness::read(dirA + u"/m.ty"_qs), QByteArray("zero one\r\n"));
    QVERIFY(!QFile::exists(l.h.tmp.path() + u"/b/m.ty"_qs));
    QVERIFY(l.h.dialogs.saveDialogs.isEmpty());
}

void FileCommandsTest::saveAsCancelledSavesNothing()
{
    Loaded l;
    typeText(l.w->activeDocument(), "x");
    l.h.state.CodeName = u"before.ty"_qs;
    l.h.dialogs.files << std::nullopt;
    l.w->mnuFileSaveAs_Click();
    QCOMPARE(l.h.state.CodeName, QString());
    QVERIFY(l.w->activeDocument()->IsDirty());
    QVERIFY(QDir(l.h.program + u"/user"_qs).isEmpty());
}

void FileCommandsTest::deleteAsksAndDeletes_data()
{
    QTest::addColumn<MsgAnswer>("answer");
    QTest::addColumn<bool>("gone");
    QTest::newRow("yes") << MsgAnswer::Yes << true;
    QTest::newRow("no") << MsgAnswer::No << false;
}

void FileCommandsTest::deleteAsksAndDeletes()
{
    QFETCH(MsgAnswer, answer);
    QFETCH(bool, gone);
    Loaded l;
    const QString dir = l.h.tmp.path() + u"/old runs"_qs;
    QDir().mkpath(dir);
    const QString victim = dir + u"/x'; rm -rf ~.out"_qs;
    Harness::write(victim, "x");
    l.h.dialogs.files << victim;
    l.h.dialogs.answers << answer;
    l.w->mnuFileDelete_Click();

    const FileDialogState &d = l.h.dialogs.openDialogs.first();
    QCOMPARE(d.title, u"Select File to be Deleted"_qs);
    QCOMPARE(d.filter, u"All Files (*.*)|*.*|"_qs);
    QCOMPARE(d.filterIndex, 1);
    QCOMPARE(d.fileName, u"*.*"_qs);
    QCOMPARE(d.initDir, l.h.program + u"/user"_qs);

    const MessageRequest &m = l.h.dialogs.messages.first();
    QCOMPARE(m.text, u"Delete '"_qs + victim + u"' File."_qs);
    QCOMPARE(m.title, u"Confirm Delete?"_qs);
    QCOMPARE(m.buttons, MsgButtons::YesNo);
    QCOMPARE(m.icon, MsgIcon::Question);
    QCOMPARE(!QFile::exists(victim), gone);
    // Either way the next dialog opens in that directory, also the start-up
    // window's own Open dialog.
    QCOMPARE(l.w->startupDocument()->CommonDialog1().initDir, dir);
}

void FileCommandsTest::deleteOfAMissingFileSaysSo()
{
    Loaded l;
    const QString typed = l.h.tmp.path() + u"/typed.ty"_qs;
    l.h.dialogs.files << typed;
    l.w->mnuFileDelete_Click();
    QCOMPARE(l.h.dialogs.messages.size(), 1);
    const MessageRequest &m = l.h.dialogs.messages.first();
    QCOMPARE(m.text, u"File not found."_qs);
    QCOMPARE(m.title, u"File '"_qs + typed + u"' is missing!"_qs);
    QCOMPARE(m.icon, MsgIcon::Exclamation);
    QCOMPARE(m.buttons, MsgButtons::OK);
}

void FileCommandsTest::deleteCancelledChangesNothing()
{
    Loaded l;
    l.h.dialogs.files << std::nullopt;
    l.w->mnuFileDelete_Click();
    QVERIFY(l.h.dialogs.messages.isEmpty());
    QCOMPARE(l.w->startupDocument()->CommonDialog1().initDir, l.h.program + u"/user"_qs);
}

void FileCommandsTest::deleteKeepsItsDirectoryAfterTheStartupWindowClosed()
{
    Loaded l;
    const QString dir = l.h.tmp.path() + u"/elsewhere"_qs;
    QDir().mkpath(dir);
    Harness::write(dir + u"/a.out"_qs, "a");
    Harness::write(dir + u"/b.out"_qs, "b");
    l.h.dialogs.files << dir + u"/a.out"_qs;
    l.h.dialogs.answers << MsgAnswer::No;
    l.w->mnuFileDelete_Click();
    l.w->mnuFileClose_Click();
    QCOMPARE(l.openDocuments(), 0);
    l.h.dialogs.files << dir + u"/b.out"_qs;
    l.w->mnuFileDelete_Click();
    QCOMPARE(l.h.dialogs.openDialogs.last().initDir, dir);
    QVERIFY(!QFile::exists(dir + u"/b.out"_qs));
}

void FileCommandsTest::deletingAnOpenFileKeepsTheWindow()
{
    Loaded l;
    const QString file = l.h.tmp.path() + u"/open.ty"_qs;
    Harness::write(file, "text\r\n");
    l.h.dialogs.files << file;
    l.w->mnuFileOpen_Click();
    l.h.dialogs.files << file;
    l.w->mnuFileDelete_Click();
    QVERIFY(!QFile::exists(file));
    QCOMPARE(l.w->activeDocument()->Filename(), file);
    QCOMPARE(l.w->activeDocument()->textBytes(), QByteArray("text\r\n"));
    // The next Save writes it again under the same name.
    typeText(l.w->activeDocument(), "more ");
    l.w->mnuFileSave_Click();
    QCOMPARE(Harness::read(file), QByteArray("more text\r\n"));
}

void FileCommandsTest::ctrlSSavesAnEditMadeAfterTheFileMenuWasOpened()
{
    Harness h;
    Harness::write(h.program + u"/KV-Win.ini"_qs, "");
    const QString file = h.tmp.path() + u"/my model.ty"_qs;
    Harness::write(file, "orig\r\n");
    SaveLastFile(h.hive, u"my model.ty"_qs, h.tmp.path());
    Started s(h);
    QCOMPARE(s.w->activeDocument()->Filename(), file);
    QCOMPARE(QApplication::focusWidget(), s.w->activeDocument()->rtfText());

    // The menu shows Save greyed: nothing was changed yet.
    const QStringList shown = {u"mnuFileNew"_qs,
                               u"mnuFileOpen"_qs,
                               u"mnuFileClose"_qs,
                               u"mnuFileDelete"_qs,
                               u"mnuFileSaveAs"_qs,
                               u"mnuFilePrint"_qs,
                               u"mnuFilePrinterSetup"_qs,
                               u"mnuFileExit"_qs};
    QCOMPARE(s.glanceAt(Qt::Key_F, u"mnuFile"_qs), shown);
    s.type("EDIT");
    s.press(Qt::Key_S);
    QCOMPARE(Harness::read(file), QByteArray("EDITorig\r\n"));
    QVERIFY(!s.w->activeDocument()->IsDirty());
    QVERIFY(h.dialogs.messages.isEmpty());
    QVERIFY(h.dialogs.saveDialogs.isEmpty());
}

void FileCommandsTest::ctrlSOnAnUntitledEditAsksForAName()
{
    Harness h;
    Harness::write(h.program + u"/KV-Win.ini"_qs, "");
    Started s(h);
    QCOMPARE(s.w->activeDocument()->windowTitle(), u"(untitled)"_qs);
    QVERIFY(!s.glanceAt(Qt::Key_F, u"mnuFile"_qs).contains(u"mnuFileSave"_qs));
    s.type("EDIT");
    const QString target = h.tmp.path() + u"/named.ty"_qs;
    h.dialogs.files << target;
    s.press(Qt::Key_S);
    QCOMPARE(h.dialogs.saveDialogs.size(), 1);
    QCOMPARE(Harness::read(target), QByteArray("EDIT\r\n"));
}

void FileCommandsTest::ctrlSFollowsTheDocumentNotTheLastOpenedMenu()
{
    Harness h;
    Harness::write(h.program + u"/KV-Win.ini"_qs, "");
    const QString first = h.tmp.path() + u"/first.ty"_qs;
    const QString second = h.tmp.path() + u"/second.ty"_qs;
    Harness::write(first, "one\r\n");
    Harness::write(second, "two\r\n");
    SaveLastFile(h.hive, u"first.ty"_qs, h.tmp.path());
    Started s(h);
    frmDocument *one = s.w->activeDocument();

    // Saved by the toolbar after the menu showed Save: the document is unchanged
    // again, and Ctrl+S writes nothing (the file, deleted meanwhile, stays away).
    s.type("1");
    QVERIFY(s.glanceAt(Qt::Key_F, u"mnuFile"_qs).contains(u"mnuFileSave"_qs));
    s.w->toolButton(u"Save"_qs)->trigger();
    QCOMPARE(Harness::read(first), QByteArray("1one\r\n"));
    QFile::remove(first);
    s.press(Qt::Key_S);
    QVERIFY(!QFile::exists(first));

    // Another window becomes active: Ctrl+S is about that one.
    h.dialogs.files << second;
    s.press(Qt::Key_O);
    frmDocument *two = s.w->activeDocument();
    QVERIFY(two != one);
    QCOMPARE(two->Filename(), second);
    two->rtfText()->setFocus();
    s.type("2");
    s.w->mdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow *>(one->parentWidget()));
    one->rtfText()->setFocus();
    s.press(Qt::Key_S);
    QCOMPARE(Harness::read(second), QByteArray("two\r\n"));
    QVERIFY(!QFile::exists(first));
    s.w->mdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow *>(two->parentWidget()));
    two->rtfText()->setFocus();
    s.press(Qt::Key_S);
    QCOMPARE(Harness::read(second), QByteArray("2two\r\n"));
}

void FileCommandsTest::editShortcutsFollowSelectionAndClipboard_data()
{
    // The text is "abcdef"; a selection is "abc", otherwise the caret is at the end.
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("selectedAtMenu");
    QTest::addColumn<QString>("clipAtMenu");
    QTest::addColumn<bool>("selectedAtKey");
    QTest::addColumn<QString>("clipAtKey");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("clip");
    QTest::newRow("copy of a selection made after the menu")
        << int(Qt::Key_C) << false << QString() << true << QString() << QByteArray("abcdef")
        << u"abc"_qs;
    QTest::newRow("cut of a selection made after the menu")
        << int(Qt::Key_X) << false << QString() << true << QString() << QByteArray("def")
        << u"abc"_qs;
    QTest::newRow("paste of a clipboard filled after the menu")
        << int(Qt::Key_V) << false << QString() << false << u"clip"_qs << QByteArray("abcdefclip")
        << u"clip"_qs;
    QTest::newRow("paste over a selection made after the menu")
        << int(Qt::Key_V) << false << QString() << true << u"new"_qs << QByteArray("newdef")
        << u"new"_qs;
    QTest::newRow("copy after the selection went")
        << int(Qt::Key_C) << true << u"old"_qs << false << u"old"_qs << QByteArray("abcdef")
        << u"old"_qs;
    QTest::newRow("cut after the selection went") << int(Qt::Key_X) << true << u"old"_qs << false
                                                  << u"old"_qs << QByteArray("abcdef") << u"old"_qs;
}

void FileCommandsTest::editShortcutsFollowSelectionAndClipboard()
{
    QFETCH(int, key);
    QFETCH(bool, selectedAtMenu);
    QFETCH(QString, clipAtMenu);
    QFETCH(bool, selectedAtKey);
    QFETCH(QString, clipAtKey);
    QFETCH(QByteArray, text);
    QFETCH(QString, clip);
    Harness h;
    Harness::write(h.program + u"/KV-Win.ini"_qs, "");
    Started s(h);
    s.type("abcdef");
    QsciScintilla *editor = s.w->activeDocument()->rtfText();
    auto arrange = [&](bool selected, const QString &clipboard) {
        editor->SendScintilla(
            QsciScintillaBase::SCI_SETSEL, selected ? 0L : 6L, selected ? 3L : 6L);
        if (clipboard.isEmpty())
            QApplication::clipboard()->clear();
        else
            QApplication::clipboard()->setText(clipboard);
    };

    arrange(selectedAtMenu, clipAtMenu);
    const QStringList shown = s.glanceAt(Qt::Key_E, u"mnuEdit"_qs);
    QCOMPARE(shown.contains(u"mnuEditCut"_qs), selectedAtMenu);
    QCOMPARE(shown.contains(u"mnuEditCopy"_qs), selectedAtMenu);
    QCOMPARE(shown.contains(u"mnuEditPaste"_qs), !clipAtMenu.isEmpty());

    arrange(selectedAtKey, clipAtKey);
    s.press(Qt::Key(key));
    QCOMPARE(s.w->activeDocument()->textBytes(), text);
    QCOMPARE(QApplication::clipboard()->text(), clip);
}

void FileCommandsTest::theMenusKeysReachTheMenusNotTheEditor()
{
    Harness h;
    Harness::write(h.program + u"/KV-Win.ini"_qs, "");
    Started s(h);
    frmDocument *doc = s.w->activeDocument();
    s.type("line one");
    doc->rtfText()->SendScintilla(QsciScintillaBase::SCI_SETSEL, 0L, 4L);
    QApplication::clipboard()->setText(u"clip"_qs);
    for (const auto &[key, name] : {std::pair{Qt::Key_C, "mnuEditCopy"},
                                    std::pair{Qt::Key_X, "mnuEditCut"},
                                    std::pair{Qt::Key_V, "mnuEditPaste"}}) {
        QSignalSpy chosen(s.w->menuItem(QLatin1String(name)), &QAction::triggered);
        s.press(key);
        QCOMPARE(chosen.size(), 1);
    }
    QCOMPARE(doc->textBytes(), QByteArray("line one"));
    // The editor component would cut the whole line on Ctrl+L.
    QSignalSpy output(s.w->menuItem(u"mnuKV_Output"_qs), &QAction::triggered);
    doc->rtfText()->setFocus();
    s.press(Qt::Key_L);
    QCOMPARE(output.size(), 1);
    QCOMPARE(doc->textBytes(), QByteArray("line one"));
}

void FileCommandsTest::newAndOpenShortcutsWorkAfterAnyMenu_data()
{
    QTest::addColumn<QString>("state");
    QTest::newRow("no document") << u"none"_qs;
    QTest::newRow("unchanged document") << u"clean"_qs;
    QTest::newRow("changed document with a selection") << u"dirty"_qs;
}

void FileCommandsTest::newAndOpenShortcutsWorkAfterAnyMenu()
{
    QFETCH(QString, state);
    Harness h;
    Harness::write(h.program + u"/KV-Win.ini"_qs, "");
    const QString file = h.tmp.path() + u"/open me.ty"_qs;
    Harness::write(file, "opened\r\n");
    Started s(h);
    if (state == u"none"_qs) {
        s.w->mnuFileClose_Click();
        QTRY_VERIFY(s.w->mdiArea()->subWindowList().isEmpty());
        s.w->setFocus();
    } else if (state == u"dirty"_qs) {
        s.type("text");
        s.w->activeDocument()->rtfText()->SendScintilla(QsciScintillaBase::SCI_SETSEL, 0L, 2L);
    }
    const QStringList fileItems = s.glanceAt(Qt::Key_F, u"mnuFile"_qs);
    QCOMPARE(fileItems.contains(u"mnuFileSaveAs"_qs), state != u"none"_qs);
    QCOMPARE(fileItems.contains(u"mnuFileSave"_qs), state == u"dirty"_qs);
    s.glanceAt(Qt::Key_E, u"mnuEdit"_qs);

    const qsizetype before = s.w->documents().size();
    s.press(Qt::Key_N);
    QCOMPARE(s.w->documents().size(), before + 1);
    QCOMPARE(s.w->activeDocument()->windowTitle(), u"(untitled)"_qs);

    // The new window is empty, so Open loads into it.
    s.glanceAt(Qt::Key_F, u"mnuFile"_qs);
    h.dialogs.files << file;
    s.press(Qt::Key_O);
    QCOMPARE(h.dialogs.openDialogs.size(), 1);
    QCOMPARE(s.w->documents().size(), before + 1);
    QCOMPARE(s.w->activeDocument()->textBytes(), QByteArray("opened\r\n"));
}

QTEST_MAIN(FileCommandsTest)
#include "tst_filecommands.moc"
