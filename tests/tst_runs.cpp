#include "TestDoubles.h"

#include "core/mdlLastFile.h"
#include "core/mdlRegistryAPI.h"
#include "platform/AppInfo.h"
#include "platform/DesktopEntry.h"
#include "runs/mdlKV.h"
#include "shell/frmMain.h"
#include "shell/mdlRestart.h"
#include "toolkit/ToolKit.h"

#include <Qsci/qsciscintilla.h>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QMdiArea>
#include <QProcess>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QTest>

namespace {

quint32 platformVersion(int major, int minor)
{
    return quint32(major) | (quint32(minor) << 8);
}

// A loaded main window over a temporary install tree with DOSstart.ode present.
struct Loaded
{
    explicit Loaded(const QString &baseName = QStringLiteral("zr tools"))
        : h(baseName)
    {
        Harness::write(h.program + u"/KV-Win.ini"_qs, "");
        Harness::write(h.program + u"/DOSstart.ode"_qs, "# settings\r\n");
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
    // A file in the user directory, loaded into the active document.
    frmDocument *open(const QString &name, const QByteArray &bytes = "Print 1\r\n")
    {
        const QString path = h.program + u"/user/"_qs + name;
        Harness::write(path, bytes);
        frmDocument *doc = w->activeDocument();
        if (!doc || !doc->IsEmpty() || !doc->Filename().isEmpty())
            doc = w->newDocument();
        doc->LoadFile(path);
        return doc;
    }
    QString user() const { return h.program + u"/user"_qs; }
    QStringList lastArguments() const
    {
        return h.desktop.started.isEmpty() ? QStringList() : h.desktop.started.last().arguments;
    }

    Harness h;
    QString cwd;
    std::unique_ptr<frmMain> w;
};

void typeInto(frmDocument *doc, const char *utf8)
{
    doc->rtfText()->SendScintilla(QsciScintillaBase::SCI_REPLACESEL, utf8);
}

} // namespace

class RunsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    // The save-before-run check
    void savedUnmodifiedCodeFileRunsAtOnce();
    void modifiedFileAsksBeforeSaving_data();
    void modifiedFileAsksBeforeSaving();
    void untitledDocumentAsksNamingNoFile_data();
    void untitledDocumentAsksNamingNoFile();
    void startDemoIsNotACodeFileUntilSaved();
    void wrongEndingOffersSaveAndNeverRuns_data();
    void wrongEndingOffersSaveAndNeverRuns();
    void endingIsComparedWithoutRegardToCase();

    // The run
    void launcherIsChosenByPlatformVersion_data();
    void launcherIsChosenByPlatformVersion();
    void runLeavesItsStateAndRegistryValues();
    void dataFileIsPassedToEveryLaterRun();
    void oddNamesReachTheLauncherAsSingleArguments();
    void missingDosStartRefusesBeforeRestartPreparation();
    void demoRunUsesTheToolKitDemoFolder();
    void missingFileGetsTheInvalidNameMessage();
    void launcherThatCannotStartIsReported();

    // No document open
    void noDocumentAndNoMySimSaysSo();
    void noDocumentStartsMySimOnOlderPlatforms_data();
    void noDocumentStartsMySimOnOlderPlatforms();

    // Restart preparation
    void restartRegHasItsFourLines();
    void prepareRestartWritesEntryAndMarker();
    void autostartEntryIsValidForOddPaths();
    void menuEntryExecReadsBackAsTheInstalledPath_data();
    void menuEntryExecReadsBackAsTheInstalledPath();
    void nextStartRemovesEntryAndMarker();
    void prepareRestartFailsQuietlyOnAReadOnlyBase();

    // Output and plots
    void viewLastOutputOpensItMaximized();
    void missingOutputAndViewerEachSaySo();
    void viewOldPlotsPassesTheAnswersDirectory();
    void plotHandOffValuesAreWrittenInOrder();

    // Through the real desktop
    void realLauncherGetsExactArgumentsAndNeverHoldsOurStreams();
};

void RunsTest::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QFile::remove(autostartEntryPath());
}

void RunsTest::savedUnmodifiedCodeFileRunsAtOnce()
{
    Loaded l;
    l.open(u"model.ty"_qs);
    l.w->mnuKV_Submit_Click();
    QVERIFY2(l.h.dialogs.messages.isEmpty(), "a saved code file runs without a question");
    QCOMPARE(l.h.desktop.started.size(), 1);
    const StartRequest &r = l.h.desktop.started.first();
    QCOMPARE(r.program, l.h.program + u"/run-KV-Linux.pif"_qs);
    QCOMPARE(r.style, WindowStyle::NormalFocus);
    const QString user = QFileInfo(l.user()).canonicalFilePath();
    QCOMPARE(r.arguments,
             QStringList({u"model"_qs,
                          user,
                          QStorageInfo(user).rootPath(),
                          QFileInfo(l.h.base).absoluteFilePath(),
                          QString()}));
}

void RunsTest::modifiedFileAsksBeforeSaving_data()
{
    QTest::addColumn<MsgAnswer>("answer");
    QTest::addColumn<bool>("dialogChoosesFile");
    QTest::addColumn<bool>("runs");
    QTest::newRow("cancel") << MsgAnswer::Cancel << true << false;
    QTest::newRow("ok, dialog cancelled") << MsgAnswer::OK << false << false;
    QTest::newRow("ok, saved") << MsgAnswer::OK << true << true;
}

void RunsTest::modifiedFileAsksBeforeSaving()
{
    QFETCH(MsgAnswer, answer);
    QFETCH(bool, dialogChoosesFile);
    QFETCH(bool, runs);
    Loaded l;
    frmDocument *doc = l.open(u"model.ty"_qs);
    typeInto(doc, "x = 1\r\n");
    QVERIFY(doc->IsDirty());
    const QString path = l.user() + u"/model.ty"_qs;
    l.h.dialogs.answers << answer;
    l.h.dialogs.files << (dialogChoosesFile ? std::optional<QString>(path) : std::nullopt);
    l.w->mnuKV_Submit_Click();

    QCOMPARE(l.h.dialogs.messages.size(), 1);
    const MessageRequest &q = l.h.dialogs.messages.first();
    QCOMPARE(q.text, u"Okay to save '"_qs + path + u"' now?"_qs);
    QCOMPARE(q.title, u"File is modified from last save."_qs);
    QCOMPARE(q.buttons, MsgButtons::OKCancel);
    QCOMPARE(q.icon, MsgIcon::Question);
    QCOMPARE(l.h.desktop.started.size(), runs ? 1 : 0);
    QCOMPARE(doc->IsDirty(), !runs);
    QCOMPARE(Harness::read(path).startsWith("x = 1"), runs);
}

void RunsTest::untitledDocumentAsksNamingNoFile_data()
{
    QTest::addColumn<MsgAnswer>("answer");
    QTest::addColumn<QString>("chosen"); // empty: the dialog is cancelled
    QTest::addColumn<int>("launchers");
    QTest::newRow("cancel") << MsgAnswer::Cancel << u"new.ty"_qs << 0;
    QTest::newRow("ok, dialog cancelled") << MsgAnswer::OK << QString() << 0;
    QTest::newRow("ok, saved as .ty") << MsgAnswer::OK << u"new.ty"_qs << 1;
}

void RunsTest::untitledDocumentAsksNamingNoFile()
{
    QFETCH(MsgAnswer, answer);
    QFETCH(QString, chosen);
    QFETCH(int, launchers);
    Loaded l;
    frmDocument *doc = l.w->newDocument();
    typeInto(doc, "Print 2\r\n");
    l.h.dialogs.answers << answer;
    l.h.dialogs.files << (chosen.isEmpty() ? std::nullopt
                                           : std::optional<QString>(l.user() + u'/' + chosen));
    l.w->mnuKV_Submit_Click();
    QVERIFY(!l.h.dialogs.messages.isEmpty());
    QCOMPARE(l.h.dialogs.messages.first().text, u"Okay to save '' now?"_qs);
    QCOMPARE(l.h.dialogs.messages.first().title, u"Code -not- saved!"_qs);
    QCOMPARE(l.h.dialogs.messages.first().icon, MsgIcon::Question);
    QCOMPARE(l.h.desktop.started.size(), launchers);
    if (launchers)
        QCOMPARE(l.lastArguments().first(), u"new"_qs);
}

void RunsTest::startDemoIsNotACodeFileUntilSaved()
{
    Harness h;
    Harness::write(h.program + u"/KV-Win.ini"_qs, "");
    Harness::write(h.program + u"/DOSstart.ode"_qs, "x\r\n");
    Harness::write(h.program + u"/demos/all/heat-ivp.ty"_qs, "Print 1\r\n");
    const QString cwd = QDir::currentPath();
    frmMain w(h.ctx);
    QVERIFY(w.MDIForm_Load());
    QCOMPARE(w.activeDocument()->Filename(), u"Heat Transfer (IVP)"_qs);
    h.dialogs.messages.clear();
    h.dialogs.answers << MsgAnswer::OK;
    h.dialogs.files << std::optional<QString>(h.program + u"/user/heat.ty"_qs);
    w.mnuKV_Submit_Click();
    QCOMPARE(h.dialogs.messages.size(), 1);
    QCOMPARE(h.dialogs.messages.first().text, u"Okay to save 'Heat Transfer (IVP)' now?"_qs);
    QCOMPARE(h.dialogs.messages.first().title, u"Code -not- saved!"_qs);
    QCOMPARE(h.dialogs.saveDialogs.size(), 1);
    // Saved under the chosen name, the demo's own file untouched, and run from there.
    QCOMPARE(Harness::read(h.program + u"/user/heat.ty"_qs), QByteArray("Print 1\r\n"));
    QCOMPARE(h.desktop.started.size(), 1);
    QCOMPARE(h.desktop.started.first().arguments.first(), u"heat"_qs);
    QDir::setCurrent(cwd);
}

void RunsTest::wrongEndingOffersSaveAndNeverRuns_data()
{
    QTest::addColumn<MsgAnswer>("answer");
    QTest::newRow("yes saves") << MsgAnswer::Yes;
    QTest::newRow("no does nothing") << MsgAnswer::No;
}

void RunsTest::wrongEndingOffersSaveAndNeverRuns()
{
    QFETCH(MsgAnswer, answer);
    Loaded l;
    frmDocument *doc = l.open(u"model.txt"_qs);
    l.h.dialogs.answers << answer;
    // File Save of a named, unmodified file does nothing; an edit shows whether the
    // save ran.
    typeInto(doc, "y = 2\r\n");
    doc->setIsDirty(false);
    l.h.dialogs.files << std::optional<QString>(l.user() + u"/model.txt"_qs);
    l.w->mnuKV_Submit_Click();
    QCOMPARE(l.h.dialogs.messages.size(), 1);
    const MessageRequest &q = l.h.dialogs.messages.first();
    QCOMPARE(q.text, u"Okay to save file with '.TY' fileType?"_qs);
    QCOMPARE(q.title, u"'"_qs + l.user() + u"/model.txt' is non-existent!"_qs);
    QCOMPARE(q.buttons, MsgButtons::YesNo);
    QCOMPARE(q.icon, MsgIcon::Exclamation);
    QVERIFY(l.h.desktop.started.isEmpty());
}

void RunsTest::endingIsComparedWithoutRegardToCase()
{
    Loaded l;
    l.open(u"MODEL.TY"_qs);
    l.w->mnuKV_Submit_Click();
    QCOMPARE(l.h.desktop.started.size(), 1);
    QCOMPARE(l.lastArguments().first(), u"MODEL"_qs);
}

void RunsTest::launcherIsChosenByPlatformVersion_data()
{
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<QString>("launcher"); // empty: refused
    QTest::newRow("4.00") << 4 << 0 << QString();
    QTest::newRow("3.95") << 3 << 95 << QString();
    QTest::newRow("4.10") << 4 << 10 << u"run-KV-W9x.pif"_qs;
    QTest::newRow("4.11") << 4 << 11 << u"run-KV-W9x.pif"_qs;
    QTest::newRow("4.90") << 4 << 90 << u"run-KV-Linux.pif"_qs;
    QTest::newRow("5.01") << 5 << 1 << u"run-KV-Linux.pif"_qs;
    QTest::newRow("6.01") << 6 << 1 << u"run-KV-Linux.pif"_qs;
}

void RunsTest::launcherIsChosenByPlatformVersion()
{
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(QString, launcher);
    Loaded l;
    l.h.desktop.version = platformVersion(major, minor);
    l.open(u"model.ty"_qs);
    l.w->mnuKV_Submit_Click();
    if (launcher.isEmpty()) {
        QVERIFY(l.h.desktop.started.isEmpty());
        QCOMPARE(l.h.dialogs.messages.size(), 1);
        QCOMPARE(l.h.dialogs.messages.first().text, u"Sorry, requires Windows 3.3 or newer!"_qs);
        QCOMPARE(l.h.dialogs.messages.first().title,
                 u"GetWindowsVer = "_qs + QString::number(major) + u'.'
                     + QString::number(minor).rightJustified(2, u'0'));
        // The restart was prepared before the refusal.
        QVERIFY(QFileInfo::exists(l.h.base + u"/re-start.reg"_qs));
    } else {
        QCOMPARE(l.h.desktop.started.size(), 1);
        QCOMPARE(l.h.desktop.started.first().program, l.h.program + u'/' + launcher);
    }
}

void RunsTest::runLeavesItsStateAndRegistryValues()
{
    Loaded l;
    l.open(u"Model.ty"_qs);
    l.w->mnuKV_Submit_Click();
    const QString user = QFileInfo(l.user()).canonicalFilePath();
    QCOMPARE(l.h.state.CodeName, u"Model"_qs);
    QCOMPARE(l.h.state.CodeDir, user);
    QCOMPARE(l.h.state.CodePath, user + u"/Model.ty"_qs);
    QCOMPARE(l.h.state.RunMode, QString());
    QString name, dir;
    ReadLastFile(l.h.hive, name, dir);
    QCOMPARE(name, u"Model"_qs);
    QCOMPARE(dir, user);
    QVERIFY(QFileInfo::exists(l.h.program + u"/DOSstart.tmp"_qs));
}

void RunsTest::dataFileIsPassedToEveryLaterRun()
{
    Loaded l;
    l.open(u"model.ty"_qs);
    l.h.state.DataName = u"heat.dat"_qs;
    l.w->mnuKV_Submit_Click();
    l.open(u"other.ty"_qs);
    l.w->mnuKV_Submit_Click();
    QCOMPARE(l.h.desktop.started.size(), 2);
    QCOMPARE(l.h.desktop.started.at(0).arguments.at(4), u"heat.dat"_qs);
    QCOMPARE(l.h.desktop.started.at(1).arguments.at(4), u"heat.dat"_qs);
    QCOMPARE(l.h.desktop.started.at(1).arguments.at(0), u"other"_qs);
}

void RunsTest::oddNamesReachTheLauncherAsSingleArguments()
{
    Loaded l(u"base \"q\"; $HOME"_qs);
    const QString dir = l.user() + u"/my dir; $x 'y'"_qs;
    QVERIFY(QDir().mkpath(dir));
    const QString path = dir + u"/a \"b\"; $c & d.ty"_qs;
    Harness::write(path, "Print 1\r\n");
    l.w->activeDocument()->LoadFile(path);
    l.h.state.DataName = u"data $1;.dat"_qs;
    l.w->mnuKV_Submit_Click();
    QCOMPARE(l.h.desktop.started.size(), 1);
    const QStringList args = l.lastArguments();
    QCOMPARE(args.size(), 5);
    QCOMPARE(args.at(0), u"a \"b\"; $c & d"_qs);
    QCOMPARE(args.at(1), QFileInfo(dir).canonicalFilePath());
    QCOMPARE(args.at(3), QFileInfo(l.h.base).absoluteFilePath());
    QCOMPARE(args.at(4), u"data $1;.dat"_qs);
}

void RunsTest::missingDosStartRefusesBeforeRestartPreparation()
{
    Loaded l;
    QFile::remove(l.h.program + u"/DOSstart.ode"_qs);
    l.open(u"model.ty"_qs);
    l.w->mnuKV_Submit_Click();
    QVERIFY(l.h.desktop.started.isEmpty());
    QCOMPARE(l.h.dialogs.messages.size(), 1);
    QCOMPARE(l.h.dialogs.messages.first().title, u"A Kelvara File is missing!"_qs);
    QCOMPARE(l.h.dialogs.messages.first().text,
             u"Re-Install Kelvara Program; if this continues please contact us.  Try running a "
             "Demo and see if this error occurs."_qs);
    QVERIFY(!QFileInfo::exists(l.h.base + u"/re-start.reg"_qs));
    // The file was still remembered (the refusal comes after that step).
    QString name, dir;
    ReadLastFile(l.h.hive, name, dir);
    QCOMPARE(name, u"model"_qs);
}

void RunsTest::demoRunUsesTheToolKitDemoFolder()
{
    Loaded l;
    Harness::write(l.h.program + u"/demos/all/heat-ivp.ty"_qs, "Print 1\r\n");
    l.h.state.CodeDir = u"/somewhere/else"_qs;
    l.h.state.CodeName = u"heat-ivp.ty"_qs;
    l.h.state.RunMode = u"demo"_qs;
    QVERIFY(l.w->runs().RunCodeFile());
    QCOMPARE(l.lastArguments().at(0), u"heat-ivp"_qs);
    QCOMPARE(l.lastArguments().at(1),
             QFileInfo(l.h.program + u"/demos/all"_qs).canonicalFilePath());
}

void RunsTest::missingFileGetsTheInvalidNameMessage()
{
    Loaded l;
    l.h.state.CodeDir = l.user();
    l.h.state.CodeName = u"gone.ty"_qs;
    QVERIFY(!l.w->runs().RunCodeFile());
    QCOMPARE(l.h.dialogs.messages.size(), 1);
    QCOMPARE(l.h.dialogs.messages.first().title, u"An invalid file name. "_qs);
    QCOMPARE(l.h.dialogs.messages.first().text,
             u"File names must end with a '.ty' ... this one didn't!\r\nRe-save this file "
             "with '.ty' ending and try running it again."_qs);
    QVERIFY(l.h.desktop.started.isEmpty());
}

void RunsTest::launcherThatCannotStartIsReported()
{
    Loaded l;
    l.h.desktop.startSucceeds = false;
    l.open(u"model.ty"_qs);
    l.w->mnuKV_Submit_Click();
    QCOMPARE(l.h.dialogs.messages.size(), 1);
    QVERIFY(l.h.dialogs.messages.first().text.contains(l.h.program + u"/run-KV-Linux.pif"_qs));
    // The program goes on: a second Submit asks again.
    l.w->mnuKV_Submit_Click();
    QCOMPARE(l.h.dialogs.messages.size(), 2);
}

void RunsTest::noDocumentAndNoMySimSaysSo()
{
    Loaded l;
    l.w->mdiArea()->closeAllSubWindows();
    QCOMPARE(l.w->activeDocument(), nullptr);
    l.w->mnuKV_Submit_Click();
    QCOMPARE(l.h.dialogs.messages.size(), 1);
    QCOMPARE(l.h.dialogs.messages.first().text,
             u"No MySim.exe file was found in your "_qs + l.h.program + u" directory."_qs);
    QCOMPARE(l.h.dialogs.messages.first().title, u"No active file & No MySim.exe file."_qs);
    QCOMPARE(l.h.dialogs.messages.first().icon, MsgIcon::Exclamation);
    QVERIFY(l.h.desktop.started.isEmpty());
}

void RunsTest::noDocumentStartsMySimOnOlderPlatforms_data()
{
    QTest::addColumn<int>("minorOf4");
    QTest::addColumn<QString>("dataName");
    QTest::addColumn<bool>("starts");
    QTest::newRow("4.10, no data file") << 10 << QString() << true;
    QTest::newRow("4.00 with a data file") << 0 << u"heat.dat"_qs << true;
    QTest::newRow("4.90 refused") << 90 << QString() << false;
}

void RunsTest::noDocumentStartsMySimOnOlderPlatforms()
{
    QFETCH(int, minorOf4);
    QFETCH(QString, dataName);
    QFETCH(bool, starts);
    Loaded l;
    Harness::write(l.h.program + u"/MySim.exe"_qs, "sim");
    l.h.desktop.version = platformVersion(4, minorOf4);
    l.h.state.DataName = dataName;
    l.w->mdiArea()->closeAllSubWindows();
    l.w->mnuKV_Submit_Click();
    if (starts) {
        QVERIFY(l.h.dialogs.messages.isEmpty());
        QCOMPARE(l.h.desktop.started.size(), 1);
        QCOMPARE(l.h.desktop.started.first().program, l.h.program + u"/run-sim.pif"_qs);
        QCOMPARE(l.h.desktop.started.first().arguments, QStringList{dataName});
    } else {
        QVERIFY(l.h.desktop.started.isEmpty());
        QCOMPARE(l.h.dialogs.messages.size(), 1);
        QCOMPARE(l.h.dialogs.messages.first().text,
                 u"MySim.exe requires Windows 95 or 98 in order to execute."_qs);
        QCOMPARE(l.h.dialogs.messages.first().title, u"An invalid Operating System. "_qs);
    }
}

void RunsTest::restartRegHasItsFourLines()
{
    QCOMPARE(restartRegBytes(u"/home/someone/zr-tools/Kelvara/Kelvara"_qs),
             QByteArray("REGEDIT4\r\n\r\n"
                        "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce]"
                        "\r\n\"Kelvara startup\"=\"/home/someone/zr-tools/Kelvara/Kelvara\"\r\n"));
    // A backslash is doubled and a quote escaped, as the import format requires.
    QCOMPARE(restartRegBytes(u"c:\\zr-tools\\Kelvara\\Kelvara.exe"_qs).split('\n').at(3),
             QByteArray("\"Kelvara startup\"=\"c:\\\\zr-tools\\\\Kelvara\\\\Kelvara.exe\"\r"));
    QCOMPARE(restartRegBytes(u"/a \"b\"/K"_qs).split('\n').at(3),
             QByteArray("\"Kelvara startup\"=\"/a \\\"b\\\"/K\"\r"));
}

void RunsTest::prepareRestartWritesEntryAndMarker()
{
    Loaded l;
    Harness::write(l.h.program + u"/DOSstart.ode"_qs, "steps = 10\r\n");
    QVERIFY(PrepareRestart(l.h.ctx, u"Kelvara"_qs));
    QCOMPARE(Harness::read(l.h.base + u"/re-start.reg"_qs),
             restartRegBytes(l.h.program + u"/Kelvara"_qs));
    QCOMPARE(Harness::read(l.h.program + u"/DOSstart.tmp"_qs), QByteArray("steps = 10\r\n"));
    QCOMPARE(Harness::read(autostartEntryPath()),
             autostartEntryBytes(l.h.program + u"/Kelvara"_qs));
    // A second run rewrites, never appends.
    QVERIFY(PrepareRestart(l.h.ctx, u"Kelvara"_qs));
    QCOMPARE(Harness::read(l.h.base + u"/re-start.reg"_qs),
             restartRegBytes(l.h.program + u"/Kelvara"_qs));
    QFile::remove(autostartEntryPath());
}

namespace {
// Reads an Exec value back the way a desktop reads it: string escapes first, then the
// quoting of the one argument.
QString readExecArgument(QString value)
{
    QString unescaped;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value.at(i) == u'\\' && i + 1 < value.size()) {
            const QChar n = value.at(++i);
            unescaped += n == u'n' ? u'\n' : n == u't' ? u'\t' : n == u'r' ? u'\r' : n;
        } else {
            unescaped += value.at(i);
        }
    }
    unescaped.replace(u"%%"_qs, u"%"_qs);
    if (!unescaped.startsWith(u'"'))
        return unescaped;
    QString arg;
    for (qsizetype i = 1; i < unescaped.size() - 1; ++i) {
        if (unescaped.at(i) == u'\\')
            ++i;
        arg += unescaped.at(i);
    }
    return arg;
}

void validateDesktopFile(const QByteArray &entry)
{
    const QString validator = QStandardPaths::findExecutable(u"desktop-file-validate"_qs);
    if (validator.isEmpty())
        QSKIP("desktop-file-validate is not installed (Debian package desktop-file-utils)");
    QTemporaryDir dir;
    const QString file = dir.path() + u"/kelvara.desktop"_qs;
    Harness::write(file, entry);
    QProcess p;
    p.start(validator, {file});
    QVERIFY(p.waitForFinished());
    const QByteArray out = p.readAllStandardOutput() + p.readAllStandardError();
    QVERIFY2(p.exitCode() == 0 && !out.contains("error"), out.constData());
}
} // namespace

void RunsTest::autostartEntryIsValidForOddPaths()
{
    const QString exe = u"/home/a b/q\"uote/$HOME/100%/back\\slash/`tick`/Kelvara"_qs;
    const QByteArray entry = autostartEntryBytes(exe);
    QVERIFY(entry.contains(
        "Exec=\"/home/a "
        "b/q\\\\\"uote/\\\\$HOME/100%%/back\\\\\\\\slash/\\\\`tick\\\\`/Kelvara\"\n"));
    validateDesktopFile(entry);
}


void RunsTest::menuEntryExecReadsBackAsTheInstalledPath_data()
{
    QTest::addColumn<QString>("executable");
    QTest::newRow("plain") << u"/home/ann/zr-tools/Kelvara/Kelvara"_qs;
    QTest::newRow("blanks") << u"/home/ann/my tools/Kelvara/Kelvara"_qs;
    QTest::newRow("quotes, $ and %") << u"/home/ann/\"q\" 'x' $HOME %f 100%/Kelvara/Kelvara"_qs;
    QTest::newRow("backslash and backquote") << u"/srv/a\\b/`c`/Kelvara/Kelvara"_qs;
}

void RunsTest::menuEntryExecReadsBackAsTheInstalledPath()
{
    QFETCH(QString, executable);
    const QByteArray entry = DesktopEntry::applicationEntry(executable, u"kelvara"_qs);
    QString exec;
    for (const QByteArray &line : entry.split('\n'))
        if (line.startsWith("Exec="))
            exec = QString::fromUtf8(line.mid(5));
    QCOMPARE(readExecArgument(exec), executable);
    QVERIFY(entry.contains("\nCategories=Development;Science;Math;\n"));
    QVERIFY(entry.contains("\nTerminal=false\n"));
    QVERIFY(!entry.contains("MimeType"));
    validateDesktopFile(entry);
    // The autostart entry quotes by the same rules.
    validateDesktopFile(autostartEntryBytes(executable));
}

void RunsTest::nextStartRemovesEntryAndMarker()
{
    Harness h;
    Harness::write(h.program + u"/KV-Win.ini"_qs, "");
    Harness::write(h.program + u"/DOSstart.ode"_qs, "x\r\n");
    QVERIFY(PrepareRestart(h.ctx, u"Kelvara"_qs));
    QVERIFY(QFileInfo::exists(autostartEntryPath()));
    const QString cwd = QDir::currentPath();
    {
        frmMain w(h.ctx);
        QVERIFY(w.MDIForm_Load());
    }
    QDir::setCurrent(cwd);
    QVERIFY(!QFileInfo::exists(autostartEntryPath()));
    QVERIFY(!QFileInfo::exists(h.program + u"/DOSstart.tmp"_qs));
    QVERIFY(QFileInfo::exists(h.program + u"/DOSstart.ode"_qs));
}

void RunsTest::prepareRestartFailsQuietlyOnAReadOnlyBase()
{
    Loaded l;
    // A directory where re-start.reg should be: its replacement cannot be written.
    QVERIFY(QDir().mkpath(l.h.base + u"/re-start.reg"_qs));
    QVERIFY(!PrepareRestart(l.h.ctx, u"Kelvara"_qs));
    QVERIFY(!QFileInfo::exists(l.h.program + u"/DOSstart.tmp"_qs));
    QVERIFY(l.h.dialogs.messages.isEmpty());
    // The run goes on all the same.
    l.open(u"model.ty"_qs);
    l.w->mnuKV_Submit_Click();
    QCOMPARE(l.h.desktop.started.size(), 1);
}

void RunsTest::viewLastOutputOpensItMaximized()
{
    Loaded l;
    Harness::write(l.user() + u"/~KV-out.txt"_qs, "report\r\n");
    const int windows = l.w->documents().size();
    l.w->mnuKV_Output_Click();
    QCOMPARE(l.h.desktop.opened.size(), 1);
    QCOMPARE(l.h.desktop.opened.first().verb, u"Open"_qs);
    QCOMPARE(l.h.desktop.opened.first().target, l.user() + u"/~KV-out.txt"_qs);
    QCOMPARE(l.h.desktop.opened.first().style, WindowStyle::MaximizedFocus);
    QCOMPARE(l.w->documents().size(), windows);
}

void RunsTest::missingOutputAndViewerEachSaySo()
{
    Loaded l;
    l.w->mnuKV_Output_Click();
    l.w->mnuKV_Plots_Click();
    QVERIFY(l.h.desktop.opened.isEmpty());
    QVERIFY(l.h.desktop.started.isEmpty());
    QCOMPARE(l.h.dialogs.messages.size(), 2);
    const MessageRequest &out = l.h.dialogs.messages.at(0);
    QCOMPARE(out.title, u"'~KV-out.txt' output file not found."_qs);
    QCOMPARE(out.text,
             u"No output file (~KV-out.txt) exists at this time.\r\nPrevious answer files are "
             "saved under file names '*.out'.\r\nOpen these answer files with the File | Open "
             "menu."_qs);
    QCOMPARE(out.icon, MsgIcon::Exclamation);
    const MessageRequest &plots = l.h.dialogs.messages.at(1);
    QCOMPARE(plots.title, u"Plots.exe file not found."_qs);
    QCOMPARE(plots.text,
             u"Plots File missing! Did you re-boot since installing this software?\r\nIf not, "
             "please re-boot.  Otherwise you must re-install the Kelvara program."_qs);
    QCOMPARE(plots.icon, MsgIcon::Exclamation);
}

void RunsTest::viewOldPlotsPassesTheAnswersDirectory()
{
    Loaded l;
    Harness::write(l.h.base + u"/plots.exe"_qs, "viewer");
    l.w->mnuKV_Plots_Click();
    QCOMPARE(l.h.desktop.started.size(), 1);
    QCOMPARE(l.h.desktop.started.first().program, l.h.base + u"/plots.exe"_qs);
    QCOMPARE(l.h.desktop.started.first().arguments,
             QStringList{l.h.program + u"/demos/all/answers/"_qs});
    QCOMPARE(l.h.desktop.started.first().style, WindowStyle::NormalFocus);
}

void RunsTest::plotHandOffValuesAreWrittenInOrder()
{
    Loaded l;
    using namespace mdlRegistryAPI;
    QVERIFY(!KeyExists(l.h.hive, AppInfo::companyKey()));
    SetPlotFile(l.h.ctx, u"heat-ivp.gif"_qs, u"/x y/answers/"_qs);
    const QString key = AppInfo::companyKey();
    QCOMPARE(ReadValue(l.h.hive, key, u"ActivePath"_qs, REG_SZ).toString(), u"/x y/answers/"_qs);
    QCOMPARE(ReadValue(l.h.hive, key, u"ProgramPath"_qs, REG_SZ).toString(),
             l.h.state.BasePath + u"/Kelvara"_qs);
    QCOMPARE(ReadValue(l.h.hive, key, u"fileIn"_qs, REG_SZ).toString(), u"heat-ivp.gif"_qs);
    // The viewer reads them in the order they were written.
    const QByteArray text = Harness::read(l.h.hive.filePath());
    const qsizetype a = text.indexOf("\"ActivePath\""), p = text.indexOf("\"ProgramPath\""),
                    f = text.indexOf("\"fileIn\"");
    QVERIFY(a >= 0 && a < p && p < f);
}

void RunsTest::realLauncherGetsExactArgumentsAndNeverHoldsOurStreams()
{
    // The whole flow through the desktop the program really uses: a launcher that
    // records its arguments and where its standard streams lead, then sleeps.
    Harness h(u"zr tools; $x"_qs);
    QtDesktopServices desktop;
    AppContext ctx{h.state, h.hive, h.settings, desktop, h.dialogs, h.program, {}};
    Harness::write(h.program + u"/KV-Win.ini"_qs, "");
    Harness::write(h.program + u"/DOSstart.ode"_qs, "x\r\n");
    const QString record = h.tmp.path() + u"/args"_qs;
    Harness::write(h.program + u"/run-KV-Linux.pif"_qs,
                   "#!/bin/sh\n"
                   "out=\"$(dirname \"$0\")/../../args\"\n"
                   "for a in \"$@\"; do printf '%s\\0' \"$a\"; done > \"$out.tmp\"\n"
                   "fds=$(readlink /proc/$$/fd/0 /proc/$$/fd/1 /proc/$$/fd/2)\n"
                   "printf '%s\\n' \"$fds\" > \"$out.fds\"\n"
                   "mv \"$out.tmp\" \"$out\"\n"
                   "sleep 3\n");
    QFile::setPermissions(h.program + u"/run-KV-Linux.pif"_qs,
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    Harness::write(h.program + u"/run-KV-W9x.pif"_qs, ""); // never chosen here
    const QString cwd = QDir::currentPath();
    frmMain w(ctx);
    QVERIFY(w.MDIForm_Load());
    const QString code = h.program + u"/user/it's a \"model\".ty"_qs;
    Harness::write(code, "Print 1\r\n");
    w.activeDocument()->LoadFile(code);
    h.state.DataName = u"d;ata.dat"_qs;
    QElapsedTimer clock;
    clock.start();
    w.mnuKV_Submit_Click();
    const qint64 returnedAfter = clock.elapsed();
    QVERIFY2(
        h.dialogs.messages.isEmpty(),
        qPrintable(h.dialogs.messages.isEmpty() ? QString() : h.dialogs.messages.first().text));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(record), 5000);
    // The launcher still sleeps: the program did not wait for it.
    QVERIFY(returnedAfter < clock.elapsed() + 1 && returnedAfter < 2500);
    const QString user = QFileInfo(h.program + u"/user"_qs).canonicalFilePath();
    const QByteArray expected
        = (u"it's a \"model\""_qs + QChar(0) + user + QChar(0) + QStorageInfo(user).rootPath()
           + QChar(0) + QFileInfo(h.base).absoluteFilePath() + QChar(0) + u"d;ata.dat"_qs
           + QChar(0))
              .toUtf8();
    QCOMPARE(Harness::read(record), expected);
    QCOMPARE(Harness::read(record + u".fds"_qs), QByteArray("/dev/null\n/dev/null\n/dev/null\n"));
    QDir::setCurrent(cwd);
}

QTEST_MAIN(RunsTest)
#include "tst_runs.moc"
