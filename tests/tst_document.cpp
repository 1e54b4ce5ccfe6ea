#include "TestDoubles.h"

#include "editor/TextFileCodec.h"
#include "editor/frmDocument.h"
#include "platform/KvError.h"
#include "core/mdlLastFile.h"

#include <Qsci/qsciscintilla.h>

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QTest>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct FakeHost : DocumentHost
{
    void mnuFileSaveAs_Click() override { ++saveAsRuns; }
    int saveAsRuns = 0;
};

void typeText(frmDocument &doc, const QByteArray &utf8)
{
    doc.rtfText()->SendScintilla(QsciScintillaBase::SCI_REPLACESEL, utf8.constData());
}

double fontPoints(const frmDocument &doc)
{
    return doc.rtfText()->SendScintilla(QsciScintillaBase::SCI_STYLEGETSIZEFRACTIONAL,
                                        QsciScintillaBase::STYLE_DEFAULT)
           / 100.0;
}

} // namespace

class DocumentTest : public QObject
{
    Q_OBJECT

private slots:
    void loadThenSaveGivesTheseBytes_data();
    void loadThenSaveGivesTheseBytes();
    void aSavedFileDoesNotGrowOnFurtherSaves();
    void aWindows1252TextThatNoLongerFitsIsSavedAsUtf8();
    void captionAndDirtyStateFollowTheDocument();
    void loadSetsTheFontAndPutsTheCaretAtTheStart();
    void aFailedLoadLeavesTheWindowAsItWas_data();
    void aFailedLoadLeavesTheWindowAsItWas();
    void namesThatAreNoFileRunSaveAs_data();
    void namesThatAreNoFileRunSaveAs();
    void aBareNameSavesIntoTheCurrentDirectory();
    void aFailedWriteIsReportedAndKeepsTheText();
    void aSaveNeverTruncatesTheOldFileOnFailure();
    void closingACleanWindowNeverAsks();
    void closePromptAnswers_data();
    void closePromptAnswers();
    void askFilenameRecordsTheChosenFile();
    void askFilenameCancelledEmptiesCodeNameOnly();
    void askFilenameOnTheFloppyRecordsNothing_data();
    void askFilenameOnTheFloppyRecordsNothing();
    void clipboardCommands();
    void dialogFiltersBecomeQtNameFilters();
    void oddFilesAreRefusedBeforeTheyAreRead_data();
    void oddFilesAreRefusedBeforeTheyAreRead();
    void anAllocationFailureWhileLoadingIsRefused();
};

void DocumentTest::loadThenSaveGivesTheseBytes_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("saved");
    QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << QByteArray("a\r\nb\r\n");
    QTest::newRow("LF") << QByteArray("a\nb\n") << QByteArray("a\r\nb\r\n");
    QTest::newRow("CR") << QByteArray("a\rb\r") << QByteArray("a\r\nb\r\n");
    QTest::newRow("mixed") << QByteArray("a\r\nb\nc\rd") << QByteArray("a\r\nb\r\nc\r\nd\r\n");
    QTest::newRow("no final line end") << QByteArray("a\r\nb") << QByteArray("a\r\nb\r\n");
    QTest::newRow("blank last lines") << QByteArray("a\r\n\r\n\r\n") << QByteArray("a\r\n\r\n\r\n");
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("only a line end") << QByteArray("\r\n") << QByteArray("\r\n");
    QTest::newRow("UTF-8") << QByteArray("Müller ∂T/∂t\r\n") << QByteArray("Müller ∂T/∂t\r\n");
    QTest::newRow("Windows-1252") << QByteArray("caf\xe9 \x80 \x81\x8d \x93q\x94\r\n")
                                  << QByteArray("caf\xe9 \x80 \x81\x8d \x93q\x94\r\n");
    QTest::newRow("Windows-1252, LF") << QByteArray("\xb0"
                                                    "C\n")
                                      << QByteArray("\xb0"
                                                    "C\r\n");
}

void DocumentTest::loadThenSaveGivesTheseBytes()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, saved);
    Harness h;
    FakeHost host;
    const QString path = h.tmp.path() + u"/a model (1).ty"_qs;
    Harness::write(path, file);
    frmDocument doc(h.ctx, host);
    doc.LoadFile(path);
    QVERIFY(!doc.IsDirty());
    doc.SaveFile(path);
    QVERIFY(!doc.IsDirty());
    QCOMPARE(Harness::read(path), saved);
    QCOMPARE(host.saveAsRuns, 0);
}

void DocumentTest::aSavedFileDoesNotGrowOnFurtherSaves()
{
    Harness h;
    FakeHost host;
    const QString path = h.tmp.path() + u"/m.ty"_qs;
    Harness::write(path, "x = 1\r\ny = 2");
    for (int i = 0; i < 3; ++i) {
        frmDocument doc(h.ctx, host);
        doc.LoadFile(path);
        doc.SaveFile(path);
    }
    QCOMPARE(Harness::read(path), QByteArray("x = 1\r\ny = 2\r\n"));
}

void DocumentTest::aWindows1252TextThatNoLongerFitsIsSavedAsUtf8()
{
    Harness h;
    FakeHost host;
    const QString path = h.tmp.path() + u"/m.ty"_qs;
    Harness::write(path, "caf\xe9\r\n");
    frmDocument doc(h.ctx, host);
    doc.LoadFile(path);
    QCOMPARE(doc.encoding(), TextEncoding::Windows1252);
    typeText(doc, "∂");
    doc.SaveFile(path);
    QCOMPARE(QString::fromUtf8(Harness::read(path)), u"∂café\r\n"_qs);
    QCOMPARE(doc.encoding(), TextEncoding::Utf8);
}

void DocumentTest::captionAndDirtyStateFollowTheDocument()
{
    Harness h;
    FakeHost host;
    frmDocument doc(h.ctx, host);
    QCOMPARE(doc.windowTitle(), u"(untitled)"_qs);
    QVERIFY(!doc.IsDirty());
    QVERIFY(doc.IsEmpty());
    QVERIFY(!doc.CanSave());
    QVERIFY(!doc.CanPrint());

    typeText(doc, "x");
    QVERIFY(doc.IsDirty());
    QVERIFY(doc.CanSave());
    QVERIFY(doc.CanPrint());
    QCOMPARE(doc.windowTitle(), u"(untitled)"_qs);

    const QString empty = h.tmp.path() + u"/empty.out"_qs;
    Harness::write(empty, "");
    doc.LoadFile(empty);
    QCOMPARE(doc.windowTitle(), empty);
    QCOMPARE(doc.Filename(), empty);
    QVERIFY(!doc.IsDirty());
    QVERIFY(doc.IsEmpty());
    QVERIFY(!doc.CanPrint());

    doc.setFilename(u"bare.ty"_qs);
    QCOMPARE(doc.windowTitle(), u"bare.ty"_qs);
    doc.setFilename(QString());
    QCOMPARE(doc.windowTitle(), u"(untitled)"_qs);

    // An empty name is no name to save under.
    doc.LoadFile(QString());
    QCOMPARE(doc.windowTitle(), u"(untitled)"_qs);
}

void DocumentTest::loadSetsTheFontAndPutsTheCaretAtTheStart()
{
    Harness h;
    FakeHost host;
    frmDocument doc(h.ctx, host);
    QCOMPARE(fontPoints(doc), 9.75);
    const QString path = h.tmp.path() + u"/m.ty"_qs;
    Harness::write(path, "first\r\nsecond\r\n");
    doc.LoadFile(path);
    QCOMPARE(fontPoints(doc), 12.0);
    QCOMPARE(doc.rtfText()->SendScintilla(QsciScintillaBase::SCI_GETCURRENTPOS), 0L);
    QVERIFY(!doc.CanCopy());
    QCOMPARE(doc.textBytes(), QByteArray("first\r\nsecond\r\n"));
}

void DocumentTest::aFailedLoadLeavesTheWindowAsItWas_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("number");
    QTest::newRow("missing file") << "missing.ty" << 53;
    QTest::newRow("missing directory") << "no dir/missing.ty" << 53;
    QTest::newRow("a directory") << "adir" << 75;
    QTest::newRow("binary data") << "binary.exe" << 75;
}

void DocumentTest::aFailedLoadLeavesTheWindowAsItWas()
{
    QFETCH(QString, name);
    QFETCH(int, number);
    Harness h;
    FakeHost host;
    QDir().mkpath(h.tmp.path() + u"/adir"_qs);
    Harness::write(h.tmp.path() + u"/binary.exe"_qs, QByteArray("MZ\x00\x01\x02", 5));
    const QString good = h.tmp.path() + u"/good.ty"_qs;
    Harness::write(good, "good\r\n");
    frmDocument doc(h.ctx, host);
    doc.LoadFile(good);
    typeText(doc, "edit ");
    try {
        doc.LoadFile(h.tmp.path() + u"/"_qs + name);
        QFAIL("no error raised");
    } catch (const KvError &e) {
        QCOMPARE(e.number(), number);
    }
    QCOMPARE(doc.textBytes(), QByteArray("edit good\r\n"));
    QCOMPARE(doc.Filename(), good);
    QVERIFY(doc.IsDirty());
}

void DocumentTest::namesThatAreNoFileRunSaveAs_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("ok") << "/somewhere/ok";
    QTest::newRow("empty") << "";
    QTest::newRow("pattern") << "/somewhere/*.ty";
    QTest::newRow("trailing separator") << "/somewhere/";
}

void DocumentTest::namesThatAreNoFileRunSaveAs()
{
    QFETCH(QString, name);
    Harness h;
    FakeHost host;
    frmDocument doc(h.ctx, host);
    typeText(doc, "x");
    doc.SaveFile(name);
    QCOMPARE(host.saveAsRuns, 1);
    QVERIFY(doc.IsDirty());
}

void DocumentTest::aBareNameSavesIntoTheCurrentDirectory()
{
    Harness h;
    FakeHost host;
    const QString saved = QDir::currentPath();
    QDir::setCurrent(h.tmp.path());
    frmDocument doc(h.ctx, host);
    typeText(doc, "x");
    doc.SaveFile(u"bare model.ty"_qs);
    QDir::setCurrent(saved);
    const QString full = QDir(h.tmp.path()).absoluteFilePath(u"bare model.ty"_qs);
    QCOMPARE(doc.Filename(), full);
    QCOMPARE(h.state.CodeName, u"bare model.ty"_qs);
    QCOMPARE(Harness::read(full), QByteArray("x\r\n"));
    // A later save goes to the same file whatever the current directory is.
    typeText(doc, "y");
    doc.SaveFile(doc.Filename());
    QCOMPARE(Harness::read(full), QByteArray("xy\r\n"));
}

void DocumentTest::aFailedWriteIsReportedAndKeepsTheText()
{
    Harness h;
    FakeHost host;
    frmDocument doc(h.ctx, host);
    typeText(doc, "precious");
    doc.SaveFile(h.tmp.path() + u"/no such dir/m.ty"_qs);
    QCOMPARE(h.dialogs.messages.size(), 1);
    const MessageRequest &m = h.dialogs.messages.first();
    QVERIFY2(m.text.startsWith(u"Unexpected error # "_qs), qPrintable(m.text));
    QVERIFY(m.text.contains(u" occured: "_qs));
    QCOMPARE(m.title, u"In 'writeAnsFile' routine ..."_qs);
    QCOMPARE(m.icon, MsgIcon::Critical);
    QCOMPARE(m.buttons, MsgButtons::OK);
    QVERIFY(doc.IsDirty());
    QCOMPARE(doc.Filename(), QString());
    QCOMPARE(doc.textBytes(), QByteArray("precious"));
}

void DocumentTest::aSaveNeverTruncatesTheOldFileOnFailure()
{
    Harness h;
    FakeHost host;
    // A directory where the file should go: the replacement cannot happen, and the
    // directory (standing for the old file) is untouched.
    const QString target = h.tmp.path() + u"/taken"_qs;
    QDir().mkpath(target);
    Harness::write(target + u"/inside"_qs, "kept");
    frmDocument doc(h.ctx, host);
    typeText(doc, "new");
    doc.SaveFile(target);
    QCOMPARE(h.dialogs.messages.size(), 1);
    QCOMPARE(Harness::read(target + u"/inside"_qs), QByteArray("kept"));
    QVERIFY(doc.IsDirty());
    QVERIFY(QDir(h.tmp.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

void DocumentTest::closingACleanWindowNeverAsks()
{
    Harness h;
    FakeHost host;
    auto *doc = new frmDocument(h.ctx, host);
    doc->show();
    QVERIFY(doc->close());
    QVERIFY(h.dialogs.messages.isEmpty());
    delete doc;
}

void DocumentTest::closePromptAnswers_data()
{
    QTest::addColumn<bool>("named");
    QTest::addColumn<MsgAnswer>("answer");
    QTest::addColumn<bool>("dialogCancelled");
    QTest::addColumn<bool>("writeFails");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("dirtyAfter");
    QTest::addColumn<QByteArray>("onDisk");

    QTest::newRow("cancel") << true << MsgAnswer::Cancel << false << false << false << "FILE"
                            << true << QByteArray("old\r\n");
    QTest::newRow("no") << true << MsgAnswer::No << false << false << true << "removed" << false
                        << QByteArray("old\r\n");
    QTest::newRow("yes") << true << MsgAnswer::Yes << false << false << true << "FILE" << false
                         << QByteArray("new old\r\n");
    QTest::newRow("yes, untitled, saved") << false << MsgAnswer::Yes << false << false << true
                                          << "FILE" << false << QByteArray("new \r\n");
    QTest::newRow("yes, untitled, dialog cancelled")
        << false << MsgAnswer::Yes << true << false << false << "(untitled)" << true
        << QByteArray();
    // The save fails: the window stays open with its text rather than losing it.
    QTest::newRow("yes, the write fails")
        << true << MsgAnswer::Yes << false << true << false << "FILE" << true << QByteArray();
}

void DocumentTest::closePromptAnswers()
{
    QFETCH(bool, named);
    QFETCH(MsgAnswer, answer);
    QFETCH(bool, dialogCancelled);
    QFETCH(bool, writeFails);
    QFETCH(bool, closes);
    QFETCH(QString, caption);
    QFETCH(bool, dirtyAfter);
    QFETCH(QByteArray, onDisk);

    Harness h;
    FakeHost host;
    QString file = h.tmp.path() + u"/model.ty"_qs;
    auto *doc = new frmDocument(h.ctx, host);
    if (named) {
        Harness::write(file, "old\r\n");
        doc->LoadFile(file);
        if (writeFails) {
            QFile::remove(file);
            QDir().mkpath(file); // a directory now stands where the file was
        }
    } else {
        h.dialogs.files << (dialogCancelled ? std::nullopt : std::optional<QString>(file));
    }
    typeText(*doc, "new ");
    const QString titleBefore = doc->windowTitle();
    doc->show();
    h.dialogs.answers << answer;

    QCOMPARE(doc->close(), closes);
    const MessageRequest &m = h.dialogs.messages.first();
    QCOMPARE(m.text, u"The text in this window has been modified.\rDo you wish to save it?"_qs);
    QCOMPARE(m.title, titleBefore);
    QCOMPARE(m.buttons, MsgButtons::YesNoCancel);
    QCOMPARE(m.icon, MsgIcon::Information);
    QCOMPARE(doc->windowTitle(), caption == u"FILE"_qs ? file : caption);
    QCOMPARE(doc->IsDirty(), dirtyAfter);
    if (!writeFails)
        QCOMPARE(Harness::read(file), onDisk);
    if (!closes)
        QVERIFY(doc->textBytes().startsWith("new "));
    delete doc;
}

void DocumentTest::askFilenameRecordsTheChosenFile()
{
    Harness h;
    FakeHost host;
    frmDocument doc(h.ctx, host);
    const QString chosen = h.tmp.path() + u"/my dir/a;b $x.ty"_qs;
    h.dialogs.files << chosen;
    QCOMPARE(doc.AskFilename(false), chosen);
    const FileDialogState &d = h.dialogs.openDialogs.first();
    QCOMPARE(d.title, u"Open TY Code File"_qs);
    QCOMPARE(d.filter,
             u"All Files (*.*)|*.*|Tessaly (*.ty)|*.ty|TY Output (*.txt;*.out)|*.txt;*.out"_qs);
    QCOMPARE(d.filterIndex, 2);
    QCOMPARE(d.fileName, u"*"_qs);
    QCOMPARE(h.state.CodeName, u"a;b $x.ty"_qs);
    QCOMPARE(h.state.CodeDir, h.tmp.path() + u"/my dir"_qs);
    QString name, dir;
    ReadLastFile(h.hive, name, dir);
    QCOMPARE(name, u"a;b $x.ty"_qs);
    QCOMPARE(dir, h.tmp.path() + u"/my dir"_qs);
    // The next use opens where this one ended.
    h.dialogs.files << std::nullopt;
    doc.AskFilename(true);
    QCOMPARE(h.dialogs.saveDialogs.first().initDir, h.tmp.path() + u"/my dir"_qs);
    QCOMPARE(h.dialogs.saveDialogs.first().title, u"Save TY Code File"_qs);
    QVERIFY(h.dialogs.saveDialogs.first().promptOverwrite);
}

void DocumentTest::askFilenameCancelledEmptiesCodeNameOnly()
{
    Harness h;
    FakeHost host;
    frmDocument doc(h.ctx, host);
    doc.CommonDialog1().initDir = u"/start"_qs;
    h.state.CodeName = u"kept.ty"_qs;
    h.state.CodeDir = u"/kept"_qs;
    QCOMPARE(doc.AskFilename(true), QString());
    QCOMPARE(h.state.CodeName, QString());
    QCOMPARE(h.state.CodeDir, u"/kept"_qs);
    QCOMPARE(doc.CommonDialog1().initDir, u"/start"_qs);
    QVERIFY(!QFile::exists(h.hive.filePath()));
}

void DocumentTest::askFilenameOnTheFloppyRecordsNothing_data()
{
    QTest::addColumn<QString>("initDir");
    QTest::addColumn<bool>("records");
    QTest::newRow("A:") << "A:" << false;
    QTest::newRow("a: is not the floppy case") << "a:" << true;
}

void DocumentTest::askFilenameOnTheFloppyRecordsNothing()
{
    QFETCH(QString, initDir);
    QFETCH(bool, records);
    Harness h;
    FakeHost host;
    frmDocument doc(h.ctx, host);
    doc.CommonDialog1().initDir = initDir;
    h.state.CodeName = u"kept.ty"_qs;
    h.state.CodeDir = u"/kept"_qs;
    h.dialogs.files << u"/media/floppy/job.ty"_qs;
    QCOMPARE(doc.AskFilename(false), u"/media/floppy/job.ty"_qs);
    QCOMPARE(h.state.CodeName, records ? u"job.ty"_qs : u"kept.ty"_qs);
    QCOMPARE(doc.CommonDialog1().initDir, records ? u"/media/floppy"_qs : initDir);
    QCOMPARE(QFile::exists(h.hive.filePath()), records);
}

void DocumentTest::clipboardCommands()
{
    Harness h;
    FakeHost host;
    frmDocument doc(h.ctx, host);
    typeText(doc, "alpha beta");
    QVERIFY(!doc.CanCopy());
    QVERIFY(!doc.CanCut());
    doc.rtfText()->SendScintilla(QsciScintillaBase::SCI_SETSEL, 0L, 5L);
    QVERIFY(doc.CanCopy());
    doc.Copy();
    QCOMPARE(QApplication::clipboard()->text(), u"alpha"_qs);
    QVERIFY(doc.CanPaste());
    doc.Cut();
    QCOMPARE(doc.textBytes(), QByteArray(" beta"));

    // A clipboard without text: nothing to paste, and the selection stays.
    auto *image = new QMimeData;
    image->setImageData(QImage(4, 4, QImage::Format_RGB32));
    QApplication::clipboard()->setMimeData(image);
    QVERIFY(!doc.CanPaste());
    doc.rtfText()->SendScintilla(QsciScintillaBase::SCI_SETSEL, 0L, 3L);
    doc.Paste();
    QCOMPARE(doc.textBytes(), QByteArray(" beta"));

    QApplication::clipboard()->setText(u"x\ny"_qs);
    doc.Paste();
    QCOMPARE(doc.textBytes(), QByteArray("x\r\nyta"));
}

void DocumentTest::dialogFiltersBecomeQtNameFilters()
{
    QCOMPARE(
        qtNameFilters(u"All Files (*.*)|*.*|Tessaly (*.ty)|*.ty|TY Output "
                      "(*.txt;*.out)|*.txt;*.out"_qs),
        QStringList({u"All Files (*)"_qs, u"Tessaly (*.ty)"_qs, u"TY Output (*.txt *.out)"_qs}));
    QCOMPARE(qtNameFilters(u"All Files (*.*)|*.*|"_qs), QStringList({u"All Files (*)"_qs}));
}

void DocumentTest::oddFilesAreRefusedBeforeTheyAreRead_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("says");
    // A pipe waits for a writer and a device never ends: neither is opened.
    QTest::newRow("pipe") << "pipe" << 75 << "pipe";
    QTest::newRow("endless device") << "/dev/zero" << 75 << "device";
    QTest::newRow("folder") << "folder" << 75 << "folder";
    // Larger than a document holds: refused by its size, nothing read.
    QTest::newRow("too large") << "huge" << 7 << "Out of memory";
}

void DocumentTest::oddFilesAreRefusedBeforeTheyAreRead()
{
    QFETCH(QString, kind);
    QFETCH(int, number);
    QFETCH(QString, says);
    Harness h;
    FakeHost host;
    QString path = kind;
    if (kind == u"pipe"_qs) {
        path = h.tmp.path() + u"/model.ty"_qs;
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (kind == u"folder"_qs) {
        path = h.tmp.path() + u"/models.ty"_qs;
        QVERIFY(QDir().mkpath(path));
    } else if (kind == u"huge"_qs) {
        path = h.tmp.path() + u"/huge.out"_qs;
        QFile huge(path);
        QVERIFY(huge.open(QIODevice::WriteOnly));
        QVERIFY(huge.resize(TextFileCodec::maxDocumentBytes + 1)); // sparse: no disk used
    }
    const QString good = h.tmp.path() + u"/good.ty"_qs;
    Harness::write(good, "good\r\n");
    frmDocument doc(h.ctx, host);
    doc.LoadFile(good);
    typeText(doc, "edit ");
    try {
        doc.LoadFile(path);
        QFAIL("no error raised");
    } catch (const KvError &e) {
        QCOMPARE(e.number(), number);
        QVERIFY2(e.description().contains(says), qPrintable(e.description()));
    }
    QCOMPARE(doc.textBytes(), QByteArray("edit good\r\n"));
    QCOMPARE(doc.Filename(), good);
    QVERIFY(doc.IsDirty());
}

void DocumentTest::anAllocationFailureWhileLoadingIsRefused()
{
    Harness h;
    FakeHost host;
    // A file the size check lets through, and an address space too small for it.
    const QString path = h.tmp.path() + u"/big.out"_qs;
    {
        QFile big(path);
        QVERIFY(big.open(QIODevice::WriteOnly));
        QVERIFY(big.resize(qint64(512) << 20));
    }
    frmDocument doc(h.ctx, host);
    Harness::write(h.tmp.path() + u"/good.ty"_qs, "good\r\n");
    doc.LoadFile(h.tmp.path() + u"/good.ty"_qs);
    rlimit old{};
    QCOMPARE(::getrlimit(RLIMIT_AS, &old), 0);
    QFile statm(u"/proc/self/statm"_qs);
    QVERIFY(statm.open(QIODevice::ReadOnly));
    const qint64 pages = statm.readAll().split(' ').value(0).toLongLong();
    QVERIFY(pages > 0);
    rlimit tight = old;
    tight.rlim_cur = static_cast<rlim_t>(pages * ::sysconf(_SC_PAGESIZE) + (qint64(64) << 20));
    QCOMPARE(::setrlimit(RLIMIT_AS, &tight), 0);
    int number = 0;
    try {
        doc.LoadFile(path);
    } catch (const KvError &e) {
        number = e.number();
    }
    QCOMPARE(::setrlimit(RLIMIT_AS, &old), 0);
    QCOMPARE(number, 7);
    QCOMPARE(doc.textBytes(), QByteArray("good\r\n"));
}

QTEST_MAIN(DocumentTest)
#include "tst_document.moc"
