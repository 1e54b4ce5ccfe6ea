#include "TestDoubles.h"

#include "shell/frmMain.h"

#include <Qsci/qsciscintilla.h>

#include <QMdiArea>
#include <QMdiSubWindow>
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

QTEST_MAIN(FileCommandsTest)
#include "tst_filecommands.moc"
