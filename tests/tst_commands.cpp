// Submit with a data file, the floppy drive, the vendor's mail links, the Help
// menu's commands and the about box.
#include "TestDoubles.h"

#include "core/mdlLastFile.h"
#include "editor/frmDocument.h"

#include "runs/RunHost.h"
#include "runs/mdlDataFiles.h"
#include "runs/mdlHelp.h"
#include "runs/mdlKV.h"
#include "runs/mdlMail.h"
#include "shell/frmAbout.h"
#include "shell/frmMain.h"
#include <Qsci/qsciscintilla.h>

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// The main window as the run commands see it: a list of document windows, the
// active one, and the start-up document's dialog.
class FakeHost : public RunHost, public DocumentHost
{
public:
    explicit FakeHost(AppContext &ctx)
        : m_ctx(ctx)
    {}
    QWidget *hostWindow() override { return &window; }
    frmDocument *activeDocument() const override { return active; }
    void mnuFileSave_Click() override {}
    void mnuFileSaveAs_Click() override {}
    bool PrepareRestart(const QString &) override { return true; }
    FileDialogState &startupDialog() override { return *dialog; }
    frmDocument *openNewDocument() override
    {
        docs.push_back(std::make_unique<frmDocument>(m_ctx, *this));
        active = docs.back().get();
        return active;
    }
    // The start-up document: its dialog is the start-up dialog.
    frmDocument *openStartupDocument()
    {
        openNewDocument();
        dialog = active->sharedDialog();
        return active;
    }

    QWidget window;
    std::vector<std::unique_ptr<frmDocument>> docs;
    frmDocument *active = nullptr;
    std::shared_ptr<FileDialogState> dialog = std::make_shared<FileDialogState>();

private:
    AppContext &m_ctx;
};

struct Lab
{
    Lab()
    {
        h.state.BasePath = h.base;
        h.state.ProductDir = u"/Kelvara"_s;
        Harness::write(h.program + u"/DOSstart.ode"_s, "start\r\n");
    }
    QString userDir() const { return h.program + u"/user"_s; }
    // A directory standing for the floppy drive.
    QString makeFloppy()
    {
        const QString floppy = h.tmp.path() + u"/floppy"_s;
        QDir().mkpath(floppy);
        h.desktop.floppy = floppy;
        return floppy;
    }
    // The data-file, floppy and run commands as the main window calls them.
    DataFileCommands commands() { return DataFileCommands(h.ctx, host, runs); }
    QStringList titles() const
    {
        QStringList out;
        for (const MessageRequest &m : h.dialogs.messages)
            out << m.title;
        return out;
    }
    QStringList texts() const
    {
        QStringList out;
        for (const MessageRequest &m : h.dialogs.messages)
            out << m.text;
        return out;
    }

    Harness h;
    FakeHost host{h.ctx};
    RunController runs{h.ctx, host};
};

const QString moveQuestion = u"Okay to move Data file into your Code directory?"_s;
const QString failedText = u"Command failed, not sure why."_s;

// The subject and body of a mail link, decoded.
struct MailParts
{
    QString address, subject, body;
};
MailParts decodeMailLink(const QString &link, const QString &subjectKey)
{
    MailParts parts;
    const qsizetype q = link.indexOf(u'?');
    const qsizetype amp = link.indexOf(u"&body="_s);
    if (!link.startsWith(u"mailto:"_s) || q < 0 || amp < 0
        || link.mid(q + 1, subjectKey.size() + 1) != subjectKey + u'=')
        return parts;
    parts.address = link.mid(7, q - 7);
    parts.subject = QUrl::fromPercentEncoding(
        link.mid(q + subjectKey.size() + 2, amp - q - subjectKey.size() - 2).toLatin1());
    parts.body = QUrl::fromPercentEncoding(link.mid(amp + 6).toLatin1());
    return parts;
}

} // namespace

class CommandsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init() { QGuiApplication::clipboard()->setText(u"before"_s); }

    void aboutBoxShownTwiceIsOneHiddenModalWindow();

    void dataFileQuestionForItsDirectory_data();
    void dataFileQuestionForItsDirectory();
    void dataFileWithNoDocumentRunsTheUserSimulation();
    void dataFileDialogCancelledStartsNothing();

    void floppyModeIsEnteredAndLeft();
    void submitFromFloppyCancelledEndsSilently();
    void submitFromFloppyWithAnUnreadableFileFails();
    void submitFromFloppyKeepsUnsavedChangesOfTheActiveWindow();

    void outputToFloppy_data();
    void outputToFloppy();
    void outputToFloppyCancelledOrMissingFile();

    void batchMailLinkCarriesTheSubjectLineAndInstructions_data();
    void batchMailLinkCarriesTheSubjectLineAndInstructions();
    void batchMailWithoutUsableSubjectFile_data();
    void batchMailWithoutUsableSubjectFile();
    void supportMailLinkAndClipboard();

    void searchShowsTheKeysThenStartsTheToolMaximized();
    void searchWithTheToolMissingSaysSo();
    void manualOpensThroughTheDesktopOrIsReportedMissing();

    void theMainWindowKeepsTheStartupDialogForTheFloppyCommands();
};

void CommandsTest::aboutBoxShownTwiceIsOneHiddenModalWindow()
{
    QWidget owner;
    owner.show();
    QList<QWidget *> seen;
    QStringList texts;
    auto closeWhenShown = [&] {
        QTimer::singleShot(0, &owner, [&] {
            QWidget *modal = QApplication::activeModalWidget();
            seen << modal;
            auto *box = qobject_cast<frmAbout *>(modal);
            if (!box)
                return;
            texts << box->windowTitle() << box->txtTitle()->text() << box->txtTitle2()->text()
                  << box->findChild<QLabel *>(u"Label4"_s)->text() << box->cmdOkay()->text();
            QTest::mouseClick(box->cmdOkay(), Qt::LeftButton);
        });
    };
    closeWhenShown();
    frmAbout *first = frmAbout::showFor(&owner);
    closeWhenShown();
    frmAbout *second = frmAbout::showFor(&owner);

    // While shown, the box is the modal window that takes all input.
    QCOMPARE(seen, (QList<QWidget *>{first, first}));
    QCOMPARE(second, first);
    QCOMPARE(first->parentWidget(), &owner);
    QVERIFY(first->isHidden());
    const QStringList once{u"About ..."_s,
                           u"Kelvara\u2122"_s,
                           u"Version 4.00"_s,
                           u"-----------------------------------------------"_s,
                           u"&OK"_s};
    QCOMPARE(once.at(3).size(), 47);
    QCOMPARE(texts, once + once);
    QCOMPARE(owner.findChildren<frmAbout *>().size(), 1);
}

void CommandsTest::dataFileQuestionForItsDirectory_data()
{
    QTest::addColumn<QString>("dataDir");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<MsgAnswer>("answer");
    QTest::addColumn<bool>("runs");

    QTest::newRow("same directory") << u"proj"_s << false << MsgAnswer::Yes << true;
    QTest::newRow("other directory, yes") << u"data"_s << true << MsgAnswer::Yes << true;
    QTest::newRow("other directory, no") << u"data"_s << true << MsgAnswer::No << false;
    QTest::newRow("other case, yes") << u"Proj"_s << true << MsgAnswer::Yes << true;
    QTest::newRow("other case, no") << u"Proj"_s << true << MsgAnswer::No << false;
    // Only "proj" exists: the dialog's name spells the same directory otherwise.
    QTest::newRow("same directory spelled otherwise, yes")
        << u"PROJ"_s << true << MsgAnswer::Yes << true;
}

void CommandsTest::dataFileQuestionForItsDirectory()
{
    QFETCH(QString, dataDir);
    QFETCH(bool, asked);
    QFETCH(MsgAnswer, answer);
    QFETCH(bool, runs);

    Lab l;
    const QString root = l.h.tmp.path();
    const QString codeDir = root + u"/proj"_s;
    QDir().mkpath(codeDir);
    Harness::write(codeDir + u"/model.ty"_s, "x = 1\r\n");
    const QString data = root + u'/' + dataDir + u"/input.dat"_s;
    if (dataDir != u"PROJ"_s) {
        QDir().mkpath(root + u'/' + dataDir);
        Harness::write(data, "3 4 5\r\n");
    } else {
        Harness::write(codeDir + u"/input.dat"_s, "3 4 5\r\n");
    }
    l.host.openStartupDocument()->LoadFile(codeDir + u"/model.ty"_s);
    l.h.dialogs.files.enqueue(data);
    l.h.dialogs.answers.enqueue(answer);

    l.commands().mnuKV_Data_Click();

    const FileDialogState &shown = l.h.dialogs.openDialogs.value(0);
    QCOMPARE(shown.title, u"Submit TY Data File"_s);
    QCOMPARE(shown.filterIndex, 1);
    QCOMPARE(l.h.state.DataName, u"input.dat"_s);
    if (!asked) {
        QCOMPARE(l.titles(), QStringList());
    } else if (answer == MsgAnswer::Yes) {
        QCOMPARE(l.texts(), QStringList{moveQuestion});
        QCOMPARE(l.h.dialogs.messages.first().title,
                 u"Data & Code files must be in same directory."_s);
        QCOMPARE(l.h.dialogs.messages.first().buttons, MsgButtons::YesNo);
        QCOMPARE(l.h.dialogs.messages.first().icon, MsgIcon::Question);
        QCOMPARE(l.h.state.DataDir, codeDir);
    } else {
        QCOMPARE(l.texts(),
                 (QStringList{moveQuestion,
                              u"Please merge your Data & Code files into the\r\n"
                              "same sub-directory and then re-submit them."_s}));
        QCOMPARE(l.h.dialogs.messages.last().title, QString());
    }
    // The data file lies beside the code file (a copy leaves the original in place).
    if (runs || !asked)
        QCOMPARE(Harness::read(codeDir + u"/input.dat"_s), QByteArray("3 4 5\r\n"));
    if (dataDir != u"PROJ"_s)
        QCOMPARE(Harness::read(data), QByteArray("3 4 5\r\n"));
    if (answer == MsgAnswer::No)
        QVERIFY(!QFile::exists(codeDir + u"/input.dat"_s));

    QCOMPARE(l.h.desktop.started.size(), runs ? 1 : 0);
    if (runs) {
        const StartRequest &run = l.h.desktop.started.first();
        QCOMPARE(QFileInfo(run.program).fileName(), u"run-KV-Linux.pif"_s);
        QCOMPARE(run.arguments.value(0), u"model"_s);
        QCOMPARE(run.arguments.value(1), codeDir);
        QCOMPARE(run.arguments.value(4), u"input.dat"_s);
    }
}

void CommandsTest::dataFileWithNoDocumentRunsTheUserSimulation()
{
    Lab l;
    l.h.desktop.version = 4 | (10 << 8);
    Harness::write(l.h.program + u"/MySim.exe"_s, "sim");
    Harness::write(l.h.tmp.path() + u"/in.dat"_s, "1\r\n");
    l.h.dialogs.files.enqueue(l.h.tmp.path() + u"/in.dat"_s);

    l.commands().mnuKV_Data_Click();

    QCOMPARE(l.titles(), QStringList());
    QCOMPARE(l.h.desktop.started.size(), 1);
    QCOMPARE(QFileInfo(l.h.desktop.started.first().program).fileName(), u"run-sim.pif"_s);
    QCOMPARE(l.h.desktop.started.first().arguments, QStringList{u"in.dat"_s});
    QVERIFY(l.host.docs.empty());
    QCOMPARE(l.h.state.DataDir, l.h.tmp.path());
}

void CommandsTest::dataFileDialogCancelledStartsNothing()
{
    Lab l;
    l.h.state.DataName = u"old.dat"_s;
    Harness::write(l.userDir() + u"/model.ty"_s, "x = 1\r\n");
    l.host.openStartupDocument()->LoadFile(l.userDir() + u"/model.ty"_s);
    l.host.dialog->fileName = u"/somewhere/old.dat"_s;
    l.h.dialogs.files.enqueue(std::nullopt);

    l.commands().mnuKV_Data_Click();

    QCOMPARE(l.h.dialogs.openDialogs.value(0).fileName, u"/somewhere/old.dat"_s);
    QCOMPARE(l.host.dialog->fileName, u"/somewhere/old.dat"_s);
    QCOMPARE(l.h.state.DataName, u"old.dat"_s);
    QCOMPARE(l.titles(), QStringList());
    QVERIFY(l.h.desktop.started.isEmpty());
}

void CommandsTest::floppyModeIsEnteredAndLeft()
{
    Lab l;
    const QString floppy = l.makeFloppy();
    Harness::write(floppy + u"/heat.ty"_s, "t = 2\r\n");
    Harness::write(floppy + u"/heat.dat"_s, "9\r\n");
    frmDocument *startup = l.host.openStartupDocument();
    l.h.state.CodeName = u"kept.ty"_s;
    l.h.state.CodeDir = u"/kept"_s;

    // Submit From A: Drive: the code file from the floppy, saved and run in the user
    // directory.
    l.h.dialogs.files.enqueue(floppy + u"/heat.ty"_s);
    l.commands().mnuKV_SubmitFromA_Click();
    QCOMPARE(l.h.dialogs.openDialogs.value(0).initDir, u"A:"_s);
    QCOMPARE(l.h.dialogs.openDialogs.value(0).title, u"Open TY Code File"_s);
    QCOMPARE(l.host.dialog->initDir, u"A:"_s);
    QCOMPARE(startup->Filename(), l.userDir() + u"/heat.ty"_s);
    QCOMPARE(Harness::read(l.userDir() + u"/heat.ty"_s), QByteArray("t = 2\r\n"));
    QCOMPARE(l.titles(), QStringList());
    QCOMPARE(l.h.desktop.started.size(), 1);
    QCOMPARE(l.h.desktop.started.last().arguments.mid(0, 2), (QStringList{u"heat"_s, l.userDir()}));

    // In floppy mode a data file is first copied into the user directory, where the
    // code file now is: no question.
    l.h.dialogs.files.enqueue(floppy + u"/heat.dat"_s);
    l.commands().mnuKV_Data_Click();
    QCOMPARE(Harness::read(l.userDir() + u"/heat.dat"_s), QByteArray("9\r\n"));
    QCOMPARE(l.h.state.DataDir, l.userDir());
    QCOMPARE(l.titles(), QStringList());
    QCOMPARE(l.h.desktop.started.size(), 2);
    QCOMPARE(l.h.desktop.started.last().arguments.value(4), u"heat.dat"_s);
    QCOMPARE(l.host.dialog->initDir, u"A:"_s);

    // Output To A: Drive ends floppy mode: a later data file is not copied.
    l.h.dialogs.files.enqueue(std::nullopt);
    l.commands().mnuKV_OutputToA_Click();
    QCOMPARE(l.host.dialog->initDir, l.userDir());
    l.h.dialogs.messages.clear();
    const QString other = l.h.tmp.path() + u"/other.dat"_s;
    Harness::write(other, "0\r\n");
    l.h.dialogs.files.enqueue(other);
    l.h.dialogs.answers.enqueue(MsgAnswer::No);
    l.commands().mnuKV_Data_Click();
    QVERIFY(!QFile::exists(l.userDir() + u"/other.dat"_s));
    QCOMPARE(l.h.state.DataDir, l.h.tmp.path());
    QCOMPARE(l.texts().value(0), moveQuestion);
}

void CommandsTest::submitFromFloppyCancelledEndsSilently()
{
    Lab l;
    // No document open: a new one is opened for the dialog.
    l.h.dialogs.files.enqueue(std::nullopt);
    l.commands().mnuKV_SubmitFromA_Click();
    QCOMPARE(l.host.docs.size(), size_t(1));
    QCOMPARE(l.host.dialog->initDir, u"A:"_s);
    QCOMPARE(l.titles(), QStringList());
    QVERIFY(l.h.desktop.started.isEmpty());
    QCOMPARE(QDir(l.userDir()).entryList(QDir::Files), QStringList());
}

void CommandsTest::submitFromFloppyWithAnUnreadableFileFails()
{
    Lab l;
    l.host.openStartupDocument();
    l.h.dialogs.files.enqueue(l.h.tmp.path() + u"/gone.ty"_s);
    l.commands().mnuKV_SubmitFromA_Click();
    QCOMPARE(l.texts(), QStringList{failedText});
    QCOMPARE(l.h.dialogs.messages.first().title, QString());
    QCOMPARE(l.h.dialogs.messages.first().icon, MsgIcon::None);
    QVERIFY(l.h.desktop.started.isEmpty());
}

void CommandsTest::submitFromFloppyKeepsUnsavedChangesOfTheActiveWindow()
{
    Lab l;
    const QString floppy = l.makeFloppy();
    Harness::write(floppy + u"/heat.ty"_s, "t = 2\r\n");
    Harness::write(l.h.tmp.path() + u"/mine.ty"_s, "mine\r\n");
    frmDocument *edited = l.host.openStartupDocument();
    edited->LoadFile(l.h.tmp.path() + u"/mine.ty"_s);
    edited->rtfText()->append(u"edited\r\n"_s);
    QVERIFY(edited->IsDirty());
    const QByteArray before = edited->textBytes();

    l.h.dialogs.files.enqueue(floppy + u"/heat.ty"_s);
    l.commands().mnuKV_SubmitFromA_Click();

    QCOMPARE(l.host.docs.size(), size_t(2));
    QCOMPARE(edited->textBytes(), before);
    QVERIFY(edited->IsDirty());
    QCOMPARE(edited->Filename(), l.h.tmp.path() + u"/mine.ty"_s);
    QCOMPARE(l.host.active->Filename(), l.userDir() + u"/heat.ty"_s);
    QCOMPARE(Harness::read(l.userDir() + u"/heat.ty"_s), QByteArray("t = 2\r\n"));
    QCOMPARE(l.h.desktop.started.size(), 1);
}

void CommandsTest::outputToFloppy_data()
{
    QTest::addColumn<QList<DriveState>>("looks");
    QTest::addColumn<QList<MsgAnswer>>("answers");
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<bool>("copied");

    const QString checkDir = u"In 'dirExists' routine ..."_s;
    QTest::newRow("mounted") << QList<DriveState>{DriveState::Ready} << QList<MsgAnswer>{}
                             << QStringList() << true;
    QTest::newRow("unmounted, retry cancelled")
        << QList<DriveState>{DriveState::NotReady} << QList<MsgAnswer>{MsgAnswer::Cancel}
        << QStringList{checkDir, QString()} << false;
    QTest::newRow("unmounted, then mounted")
        << QList<DriveState>{DriveState::NotReady, DriveState::Ready}
        << QList<MsgAnswer>{MsgAnswer::OK} << QStringList{checkDir} << true;
    QTest::newRow("missing") << QList<DriveState>{DriveState::Unavailable} << QList<MsgAnswer>{}
                             << QStringList{checkDir, QString()} << false;
}

void CommandsTest::outputToFloppy()
{
    QFETCH(QList<DriveState>, looks);
    QFETCH(QList<MsgAnswer>, answers);
    QFETCH(QStringList, titles);
    QFETCH(bool, copied);

    Lab l;
    const QString floppy = l.makeFloppy();
    for (DriveState s : looks)
        l.h.desktop.floppyStates.enqueue(s);
    for (MsgAnswer a : answers)
        l.h.dialogs.answers.enqueue(a);
    Harness::write(l.userDir() + u"/model.out"_s, "answers\r\n");
    l.host.dialog->initDir = u"A:"_s;
    l.h.dialogs.files.enqueue(l.userDir() + u"/model.out"_s);

    l.commands().mnuKV_OutputToA_Click();

    const FileDialogState &shown = l.h.dialogs.openDialogs.value(0);
    QCOMPARE(shown.title, u"Select File to be Copied to A: (Floppy Drive)"_s);
    QCOMPARE(shown.filter,
             u"All Files (*.*)|*.*|Tessaly (*.ty)|*.ty|TY Output (*.txt;*.out)|*.txt;*.out"_s);
    QCOMPARE(shown.filterIndex, 3);
    QCOMPARE(shown.fileName, u"*.out"_s);
    QCOMPARE(shown.initDir, l.userDir());
    QCOMPARE(l.titles(), titles);
    if (!titles.isEmpty()) {
        const QString first = l.texts().first();
        QVERIFY2(first.startsWith(u"Put a floppy disk"_s)
                     || first.startsWith(u"This drive or path does not exist"_s),
                 qPrintable(first));
    }
    if (!copied)
        QCOMPARE(l.texts().last(), failedText);
    QCOMPARE(Harness::read(floppy + u"/model.out"_s), copied ? QByteArray("answers\r\n") : "");
    QCOMPARE(l.h.desktop.floppyStates.size(), 0);
}

void CommandsTest::outputToFloppyCancelledOrMissingFile()
{
    Lab l;
    l.h.dialogs.files.enqueue(std::nullopt);
    l.commands().mnuKV_OutputToA_Click();
    QCOMPARE(l.texts(), QStringList{failedText});

    l.h.dialogs.messages.clear();
    const QString gone = l.userDir() + u"/gone.out"_s;
    l.h.dialogs.files.enqueue(gone);
    l.commands().mnuKV_OutputToA_Click();
    QCOMPARE(l.texts(), QStringList{u"File not found."_s});
    QCOMPARE(l.titles(), QStringList{u"File '"_s + gone + u"' is missing!"_s});
    QCOMPARE(l.h.dialogs.messages.first().icon, MsgIcon::Exclamation);
}

void CommandsTest::batchMailLinkCarriesTheSubjectLineAndInstructions_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("subject");

    QTest::newRow("one line") << QByteArray("Batch job for Kelvara\r\n")
                              << u"Batch job for Kelvara"_s;
    QTest::newRow("first of several, no line end")
        << QByteArray("heat.TY from ACME & Co?x=1 #2 100%\nsecond")
        << u"heat.TY from ACME & Co?x=1 #2 100%"_s;
    QTest::newRow("empty first line") << QByteArray("\r\nlater") << QString();
    QTest::newRow("not UTF-8") << QByteArray("Caf\xe9 job\r") << u"Caf\u00e9 job"_s;
}

void CommandsTest::batchMailLinkCarriesTheSubjectLineAndInstructions()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, subject);
    Lab l;
    Harness::write(l.h.program + u"/email.txt"_s, file);

    VendorMail::mnuKV_eMail_Click(l.h.ctx, &l.host.window);

    QCOMPARE(l.h.desktop.opened.size(), 1);
    QCOMPARE(l.h.desktop.opened.first().verb, u"Open"_s);
    QCOMPARE(l.h.desktop.opened.first().style, WindowStyle::NormalFocus);
    const QString link = l.h.desktop.opened.first().target;
    QVERIFY2(!link.contains(u' ') && !link.contains(u'\n'), qPrintable(link));
    const MailParts parts = decodeMailLink(link, u"Subject"_s);
    QCOMPARE(parts.address, u"batch@kelvara.example"_s);
    QCOMPARE(parts.subject, subject);
    const QString body
        = u"Your Subject must look like this: 'FileName.TY from XYZ Company'and we will respond "
          "to such a subject. Attach your TY file that you wantus to compile and execute.  Your "
          "results will be e-mailed back to you.\r\n"
          "Form of AttachedFileName:  'xxx3a.ty' where 'xxx' is your initials or "
          "_________________________  first name, '3' is job number and 'a' is card type (a = "
          "Algebraic or o = ODE). AttachedFileName must be 8 characters or less.\r\n"
          "This is a hand operation and available Monday thru Friday. Jobs will be run overnight "
          "(i.e. within 24 hours).  Please be patient.  We are working on automating the "
          "procedure but until then its all hands. :)\r\n"
          "We hope this e-mail method will help you learn the power of Calculus level "
          "programming.\r\n"
          "Sincerely, Brindlemoor."_s;
    QCOMPARE(parts.body, body);

    QCOMPARE(QGuiApplication::clipboard()->text(), u"batch@kelvara.example "_s);
    QCOMPARE(l.titles(), QStringList{u"If default e-Mail program was Not found."_s});
    QCOMPARE(l.h.dialogs.messages.first().icon, MsgIcon::Exclamation);
    QCOMPARE(l.texts().first(),
             u"If this didn't work automatically!  Please e-mail us at batch@kelvara.example \r\n"
             "   ---> ('Cntl V' will retrieve our e-mail address!)  <---\r\n"
             "with Subject: YourLastName & short comment.\r\n"
             "Please remember to attach your TY code to this message."_s);
}

void CommandsTest::batchMailWithoutUsableSubjectFile_data()
{
    QTest::addColumn<bool>("present");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("title");

    QTest::newRow("missing") << false << QByteArray() << u"If this continues, re-install KV-Win."_s;
    QTest::newRow("zero bytes") << true << QByteArray() << u"Can't find your e-Mail program."_s;
    QTest::newRow("binary") << true << QByteArray("a\0b", 3)
                            << u"Can't find your e-Mail program."_s;
}

void CommandsTest::batchMailWithoutUsableSubjectFile()
{
    QFETCH(bool, present);
    QFETCH(QByteArray, file);
    QFETCH(QString, title);
    Lab l;
    if (present)
        Harness::write(l.h.program + u"/email.txt"_s, file);

    VendorMail::mnuKV_eMail_Click(l.h.ctx, &l.host.window);

    QCOMPARE(l.titles(), QStringList{title});
    QCOMPARE(l.h.dialogs.messages.first().icon, MsgIcon::Exclamation);
    QCOMPARE(
        l.texts().first(),
        present ? QString(u"Your e-Mail program file was not found.\r\nPlease 'manually' e-mail us "
                          "your "_s
                          + l.h.program + u"/eMail.txt file."_s)
                : QString(l.h.program + u"/eMail.txt file not found."_s));
    QVERIFY(l.h.desktop.opened.isEmpty());
    QCOMPARE(QGuiApplication::clipboard()->text(), u"before"_s);
}

void CommandsTest::supportMailLinkAndClipboard()
{
    Lab l;
    VendorMail::mnuHelpEmail_Click(l.h.ctx, &l.host.window);

    QCOMPARE(l.h.desktop.opened.size(), 1);
    QCOMPARE(l.h.desktop.opened.first().verb, u"Open"_s);
    const QString link = l.h.desktop.opened.first().target;
    QVERIFY2(!link.contains(u' ') && link.contains(u"Kelvara%204.00"_s), qPrintable(link));
    const MailParts parts = decodeMailLink(link, u"subject"_s);
    QCOMPARE(parts.address, u"support@kelvara.example"_s);
    QCOMPARE(parts.subject, u"Kelvara 4.00: (Please enter your Title/Subject here.)"_s);
    QCOMPARE(parts.body, u"(Please attach your TY code -file- to this message.)"_s);
    QCOMPARE(QGuiApplication::clipboard()->text(), u"support@kelvara.example"_s);
    QCOMPARE(l.titles(), QStringList{u"No default e-Mail program was found."_s});
    QCOMPARE(l.texts().first(),
             u"If this didn't work automatically!  Please e-mail us at support@kelvara.example\r\n"
             "   ---> ('Cntl V' will retrieve our e-mail address!)  <---\r\n"
             "with Subject: YourLastName & short comment.\r\n"
             "Please remember to attach your TY code to this message."_s);
}

void CommandsTest::searchShowsTheKeysThenStartsTheToolMaximized()
{
    Lab l;
    Harness::write(l.h.program + u"/list-ty.pif"_s, "#!/bin/sh\n");
    mdlHelp::mnuHelpSearch_Click(l.h.ctx, &l.host.window);

    QCOMPARE(l.titles(), QStringList{u"Searching with Quorrel's List.com."_s});
    QCOMPARE(l.h.dialogs.messages.first().icon, MsgIcon::Exclamation);
    const QStringList keys = l.texts().first().split(u"\r\n"_s);
    QCOMPARE(keys,
             (QStringList{u"Commands once a file apears:"_s,
                          u"            \\ ---> Find"_s,
                          u"    <Alt>A ---> Find Again"_s,
                          u"  <Cntl>N ---> Next File"_s,
                          u"  <Cntl>U ---> Prev. File"_s,
                          u"     <Esc> ---> Exit"_s}));
    QCOMPARE(l.h.desktop.started.size(), 1);
    QCOMPARE(l.h.desktop.started.first().program, l.h.program + u"/list-ty.pif"_s);
    QCOMPARE(l.h.desktop.started.first().arguments, QStringList());
    QCOMPARE(l.h.desktop.started.first().style, WindowStyle::MaximizedFocus);
}

void CommandsTest::searchWithTheToolMissingSaysSo()
{
    Lab l;
    mdlHelp::mnuHelpSearch_Click(l.h.ctx, &l.host.window);
    QCOMPARE(l.titles(),
             (QStringList{u"Searching with Quorrel's List.com."_s,
                          u"A tool-kit program could not be started."_s}));
    QVERIFY(l.texts().last().contains(l.h.program + u"/list-ty.pif"_s));
    QVERIFY(l.h.desktop.started.isEmpty());
}

void CommandsTest::manualOpensThroughTheDesktopOrIsReportedMissing()
{
    Lab l;
    const QString manual = l.h.program + u"/ty-manual 1.rtf"_s;
    mdlHelp::mnuHelpManual_Click(l.h.ctx, &l.host.window);
    QVERIFY(l.h.desktop.opened.isEmpty());
    QCOMPARE(l.titles(), QStringList{u"Manual not found."_s});
    QVERIFY(l.texts().first().contains(manual));

    l.h.dialogs.messages.clear();
    Harness::write(manual, "{\\rtf1 }");
    mdlHelp::mnuHelpManual_Click(l.h.ctx, &l.host.window);
    QCOMPARE(l.titles(), QStringList());
    QCOMPARE(l.h.desktop.opened.size(), 1);
    QCOMPARE(l.h.desktop.opened.first().verb, u"open"_s);
    QCOMPARE(l.h.desktop.opened.first().target, manual);
    QCOMPARE(l.h.desktop.opened.first().style, WindowStyle::MaximizedFocus);
}

void CommandsTest::theMainWindowKeepsTheStartupDialogForTheFloppyCommands()
{
    Harness h;
    Harness::write(h.program + u"/KV-Win.ini"_s, "");
    Harness::write(h.tmp.path() + u"/model.ty"_s, "x = 1\r\n");
    SaveLastFile(h.hive, u"model.ty"_s, h.tmp.path());
    frmMain w(h.ctx);
    QVERIFY(w.MDIForm_Load());
    frmDocument *startup = w.startupDocument();
    QVERIFY(startup && w.activeDocument() == startup);

    h.dialogs.files.enqueue(std::nullopt);
    w.mnuKV_SubmitFromA_Click();
    QCOMPARE(h.dialogs.openDialogs.value(0).initDir, u"A:"_s);
    QCOMPARE(startup->CommonDialog1().initDir, u"A:"_s);

    // Closed, the start-up window leaves its dialog to the commands that use it.
    w.mnuFileClose_Click();
    QTRY_VERIFY(!w.startupDocument());
    QCOMPARE(w.startupDialog().initDir, u"A:"_s);
    h.dialogs.files.enqueue(std::nullopt);
    w.mnuKV_OutputToA_Click();
    QCOMPARE(h.dialogs.openDialogs.value(1).title,
             u"Select File to be Copied to A: (Floppy Drive)"_s);
    QCOMPARE(w.startupDialog().initDir, h.program + u"/user"_s);
    QCOMPARE(h.dialogs.messages.last().text, failedText);

    QTimer::singleShot(0, &w, [] {
        if (auto *box = qobject_cast<frmAbout *>(QApplication::activeModalWidget()))
            box->cmdOkay()->click();
    });
    w.mnuHelpAbout_Click();
    const auto boxes = w.findChildren<frmAbout *>();
    QCOMPARE(boxes.size(), 1);
    QVERIFY(boxes.first()->isHidden());
}

QTEST_MAIN(CommandsTest)
#include "tst_commands.moc"
