#include "TestDoubles.h"

#include "core/Twips.h"
#include "core/mdlLastFile.h"
#include "core/mdlRegistryAPI.h"
#include "core/mdlWindowsVer.h"
#include "platform/AppInfo.h"
#include "shell/frmMain.h"

#include <Qsci/qsciscintilla.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QToolBar>

using namespace mdlRegistryAPI;

namespace {

const QString welcomeText
    = QStringLiteral("For the present, this is -free- and allows one to e-mail their \r\n"
                     "problems to us for compiling & execution. Their results \r\n"
                     "will be e-mailed back to them.\r\n"
                     "\r\n"
                     "Enjoy solving math problems with Calculus (level) Programming.  \r\n"
                     "Please share your successes and this tool with others.");

QRect twipsRect(const QWidget *w, int left, int top, int width, int height)
{
    return QRect(Twips::toPxX(left, w),
                 Twips::toPxY(top, w),
                 Twips::toPxX(width, w),
                 Twips::toPxY(height, w));
}

// Every test starts from the same environment and current directory.
class EnvGuard
{
public:
    EnvGuard()
        : m_cwd(QDir::currentPath())
    {
        qunsetenv("ode-TY");
    }
    ~EnvGuard()
    {
        QDir::setCurrent(m_cwd);
        qunsetenv("ode-TY");
    }

private:
    QString m_cwd;
};

QStringList captions(const frmMain &w)
{
    QStringList out;
    for (QAction *top : w.menuBar()->actions()) {
        out << top->objectName() + u"="_qs + top->text();
        if (top->menu())
            for (QAction *a : top->menu()->actions())
                out << a->objectName() + u"="_qs + (a->isSeparator() ? u"-"_qs : a->text())
                           + (a->shortcut().isEmpty() ? QString()
                                                      : u" "_qs + a->shortcut().toString());
    }
    return out;
}

} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_env = std::make_unique<EnvGuard>(); }
    void cleanup() { m_env.reset(); }

    void startPathFindsTheBaseAboveTheProgramDirectory_data();
    void startPathFindsTheBaseAboveTheProgramDirectory();
    void aProgramDirectoryRightBelowTheRootEndsTheProgram();
    void firstStartWelcomesAndOpensTheStartDemo();
    void aRememberedFileOpensInTheStartupDocument();
    void aRememberedNameWithoutItsEndingStillOpens();
    void aMissingRememberedFileFallsBackToTheDemo();
    void anUnreadableRememberedFileIsReportedAndTheDemoOpens();
    void withoutDemoAnEmptyUntitledWindowIsLeft();
    void startupDeletesTheRestartMarkerAndCreatesTheUserDirectory();
    void aReadOnlyProgramDirectoryIsReportedAndTheProgramRuns();
    void toolKitCommandsNeedOdeTY_data();
    void toolKitCommandsNeedOdeTY();
    void aMailAccountCreatesTheProductKey_data();
    void aMailAccountCreatesTheProductKey();
    void storedPlacementIsRestoredAndBadValuesFallBack();
    void storedPlacementIsFittedToTheScreen_data();
    void storedPlacementIsFittedToTheScreen();
    void damagedSettingsAndRegistryAreReported();
    void exitStoresTheFileAndPlacementAndCloses();
    void exitOfAFirstTimeUserShowsTheCatalogueInstead();
    void closingTheWindowOfAFirstTimeUserLeavesTheCatalogue();
    void aDocumentCanCancelTheExit();
    void aMinimizedWindowDoesNotStoreItsPlacement();
    void fileMenuAvailability();
    void editMenuAvailability();
    void menuTreeAndToolbar();
    void toolbarDispatchesByExactKey();
    void windowsTileAndCascade();
    void newDocumentWindowsOpenCascadedAtAUsableSize();
    void newDocumentWindowsAreNeverSmallerThan300By200();
    void cascadeGivesEveryNormalWindowTheNewWindowSize();
    void childFormTypeTellsWhatIsActive();
    void windowsVersionIsFormattedWithTwoDigits_data();
    void windowsVersionIsFormattedWithTwoDigits();

private:
    std::unique_ptr<EnvGuard> m_env;
};

void MainWindowTest::startPathFindsTheBaseAboveTheProgramDirectory_data()
{
    QTest::addColumn<QString>("relative");
    QTest::addColumn<QString>("base");
    QTest::newRow("base/Kelvara") << "zr tools/Kelvara"
                                  << "zr tools";
    QTest::newRow("deeper install") << "apps/zr-tools/Kelvara"
                                    << "apps/zr-tools";
    QTest::newRow("other product name") << "zr/Program"
                                        << "zr";
}

void MainWindowTest::startPathFindsTheBaseAboveTheProgramDirectory()
{
    QFETCH(QString, relative);
    QFETCH(QString, base);
    Harness h;
    qputenv("ode-TY", "on");
    h.ctx.programDir = h.tmp.path() + u"/"_qs + relative;
    frmMain w(h.ctx);
    QVERIFY(w.Start_Path());
    QCOMPARE(h.state.BasePath, h.tmp.path() + u"/"_qs + base);
    QCOMPARE(h.state.ProductDir, u"/Kelvara"_qs);
    QCOMPARE(h.state.ProgramPath, h.state.BasePath + u"/Kelvara"_qs);
    QCOMPARE(h.state.OdeEnv, u"on"_qs);
    QVERIFY(h.dialogs.messages.isEmpty());
}

void MainWindowTest::aProgramDirectoryRightBelowTheRootEndsTheProgram()
{
    Harness h;
    h.ctx.programDir = u"/Kelvara"_qs;
    frmMain w(h.ctx);
    QVERIFY(!w.MDIForm_Load());
    QCOMPARE(h.dialogs.messages.size(), 1);
    const MessageRequest &m = h.dialogs.messages.first();
    QCOMPARE(m.text,
             u"Missing Kelvara's base directory, /ZR-Tools; Can't proceed without it.\r\n"
             "Did you re-boot since installing Kelvara?\r\n"
             "Please re-boot or re-install Kelvara AND re-boot."_qs);
    QCOMPARE(m.title, u"In 'Start_Path' routine ... Exiting!"_qs);
    QCOMPARE(m.icon, MsgIcon::Critical);
    QVERIFY(h.state.BasePath.isEmpty());
    // Nothing was saved on the way out.
    QVERIFY(h.settings.values.isEmpty());
    QVERIFY(!QFile::exists(h.hive.filePath()));
}

void MainWindowTest::firstStartWelcomesAndOpensTheStartDemo()
{
    Harness h;
    Harness::write(h.program + u"/demos/all/Heat-ivp.ty"_qs, "Title 'slab'\r\n");
    frmMain w(h.ctx);
    QVERIFY(w.MDIForm_Load());
    QCOMPARE(h.dialogs.messages.size(), 1);
    const MessageRequest &m = h.dialogs.messages.first();
    QCOMPARE(m.text, welcomeText);
    QCOMPARE(m.title, u"See e-mail option under Tessaly menu."_qs);
    QCOMPARE(m.icon, MsgIcon::Exclamation);
    QCOMPARE(h.state.CodeName, u"ok"_qs);

    QCOMPARE(w.documents().size(), 1);
    frmDocument *doc = w.activeDocument();
    QCOMPARE(doc->windowTitle(), u"Heat Transfer (IVP)"_qs);
    QCOMPARE(doc->textBytes(), QByteArray("Title 'slab'\r\n"));
    QVERIFY(!doc->IsDirty());
    QCOMPARE(w.mdiArea()->activeSubWindow()->geometry(), twipsRect(&w, 0, 0, 11500, 6500));

    w.show();
    QCOMPARE(w.geometry(), twipsRect(&w, 1000, 1000, 7500, 6500));
    QCOMPARE(w.windowTitle(), u"Lumetry Editor for Tessaly Code"_qs);
}

void MainWindowTest::aRememberedFileOpensInTheStartupDocument()
{
    Harness h;
    Harness::write(h.program + u"/KV-Win.ini"_qs, "");
    const QString dir = h.tmp.path() + u"/my models"_qs;
    QDir().mkpath(dir);
    Harness::write(dir + u"/beam (2).ty"_qs, "beam\r\n");
    SaveLastFile(h.hive, u"beam (2).ty"_qs, dir);
    frmMain w(h.ctx);
    QVERIFY(w.MDIForm_Load());
    QVERIFY(h.dialogs.messages.isEmpty());
    QCOMPARE(w.documents().size(), 1);
    QCOMPARE(w.activeDocument(), w.startupDocument());
    QCOMPARE(w.activeDocument()->Filename(), dir + u"/beam (2).ty"_qs);
    QCOMPARE(w.startupDocument()->CommonDialog1().initDir, h.program + u"/user"_qs);
    QCOMPARE(h.state.CodeName, u"beam (2).ty"_qs);
    QCOMPARE(h.state.CodeDir, dir);
    w.show();
    QCOMPARE(w.geometry(), twipsRect(&w, 1000, 1000, 7500, 6500));
}

void MainWindowTest::aRememberedNameWithoutItsEndingStillOpens()
{
    Harness h;
    Harness::write(h.program + u"/KV-Win.ini"_qs, "");
    Harness::write(h.program + u"/user/model.ty"_qs, "m\r\n");
    SaveLastFile(h.hive, u"model"_qs, h.program + u"/user"_qs);
    frmMain w(h.ctx);
    QVERIFY(w.MDIForm_Load());
    QCOMPARE(w.activeDocument()->Filename(), h.program + u"/user/model.ty"_qs);
    // The stored values stay as they were written.
    QString name, dir;
    ReadLastFile(h.hive, name, dir);
    QCOMPARE(name, u"model"_qs);
}

void MainWindowTest::aMissingRememberedFileFallsBackToTheDemo()
{
    Harness h;
    Harness::write(h.program + u"/KV-Win.ini"_qs, "");
    Harness::write(h.program + u"/demos/all/heat-ivp.ty"_qs, "demo\r\n");
    SaveLastFile(h.hive, u"gone.ty"_qs, h.tmp.path());
    frmMain w(h.ctx);
    QVERIFY(w.MDIForm_Load());
    QCOMPARE(w.documents().size(), 1);
    QCOMPARE(w.activeDocument()->windowTitle(), u"Heat Transfer (IVP)"_qs);
    QTRY_VERIFY(!w.startupDocument()); // the empty start-up window was closed
}

void MainWindowTest::anUnreadableRememberedFileIsReportedAndTheDemoOpens()
{
    Harness h;
    Harness::write(h.program + u"/KV-Win.ini"_qs, "");
    Harness::write(h.program + u"/demos/all/heat-ivp.ty"_qs, "demo\r\n");
    Harness::write(h.program + u"/user/model.ty"_qs,
                   QByteArray("\x7f"
                              "ELF\x00\x00",
                              6));
    SaveLastFile(h.hive, u"model.ty"_qs, h.program + u"/user"_qs);
    frmMain w(h.ctx);
    QVERIFY(w.MDIForm_Load());
    QCOMPARE(h.dialogs.messages.size(), 1);
    QVERIFY(h.dialogs.messages.first().text.contains(h.program + u"/user/model.ty"_qs));
    QCOMPARE(w.activeDocument()->windowTitle(), u"Heat Transfer (IVP)"_qs);
    // The file itself is untouched.
    QCOMPARE(Harness::read(h.program + u"/user/model.ty"_qs),
             QByteArray("\x7f"
                        "ELF\x00\x00",
                        6));
}

void MainWindowTest::withoutDemoAnEmptyUntitledWindowIsLeft()
{
    Harness h;
    Harness::write(h.program + u"/KV-Win.ini"_qs, "");
    frmMain w(h.ctx);
    QVERIFY(w.MDIForm_Load());
    QCOMPARE(w.documents().size(), 1);
    QCOMPARE(w.activeDocument()->windowTitle(), u"(untitled)"_qs);
    QVERIFY(w.activeDocument()->IsEmpty());
    QVERIFY(!w.activeDocument()->IsDirty());
}

void MainWindowTest::startupDeletesTheRestartMarkerAndCreatesTheUserDirectory()
{
    Harness h;
    QDir(h.program + u"/user"_qs).removeRecursively();
    Harness::write(h.program + u"/KV-Win.ini"_qs, "");
    Harness::write(h.program + u"/DOSstart.tmp"_qs, "marker");
    Harness::write(h.program + u"/DOSstart.ode"_qs, "input");
    frmMain w(h.ctx);
    QVERIFY(w.MDIForm_Load());
    QVERIFY(!QFile::exists(h.program + u"/DOSstart.tmp"_qs));
    QVERIFY(QFile::exists(h.program + u"/DOSstart.ode"_qs));
    QVERIFY(QFileInfo(h.program + u"/user"_qs).isDir());
    QCOMPARE(QDir::currentPath(), QFileInfo(h.program + u"/user"_qs).canonicalFilePath());
}

void MainWindowTest::aReadOnlyProgramDirectoryIsReportedAndTheProgramRuns()
{
    Harness h;
    // A file where the user directory should be: it cannot be created.
    QDir(h.program + u"/user"_qs).removeRecursively();
    Harness::write(h.program + u"/user"_qs, "in the way");
    Harness::write(h.program + u"/KV-Win.ini"_qs, "");
    frmMain w(h.ctx);
    QVERIFY(w.MDIForm_Load());
    QCOMPARE(h.dialogs.messages.size(), 1);
    QVERIFY(h.dialogs.messages.first().text.contains(u"could not be created"_qs));
    QCOMPARE(w.documents().size(), 1);
    QCOMPARE(Harness::read(h.program + u"/user"_qs), QByteArray("in the way"));
}

void MainWindowTest::toolKitCommandsNeedOdeTY_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("unset") << QByteArray() << false;
    QTest::newRow("set") << QByteArray("c:\\tessaly") << true;
}

void MainWindowTest::toolKitCommandsNeedOdeTY()
{
    QFETCH(QByteArray, value);
    QFETCH(bool, enabled);
    Harness h;
    if (!value.isEmpty())
        qputenv("ode-TY", value);
    frmMain w(h.ctx);
    QVERIFY(w.MDIForm_Load());
    for (const char *name :
         {"mnuKV_Submit", "mnuKV_Data", "mnuKV_SubmitFromA", "mnuKV_OutputToA"}) {
        QVERIFY(w.menuItem(QLatin1String(name))->isVisible());
        QCOMPARE(w.menuItem(QLatin1String(name))->isEnabled(), enabled);
    }
    QCOMPARE(w.toolButton(u"Submit"_qs)->isVisible(), enabled);
    QCOMPARE(w.toolButton(u"Data"_qs)->isVisible(), enabled);
    for (const char *name : {"mnuKV_Demo", "mnuKV_Output", "mnuKV_Plots", "mnuKV_eMail"})
        QVERIFY(w.menuItem(QLatin1String(name))->isEnabled());
}

void MainWindowTest::aMailAccountCreatesTheProductKey_data()
{
    QTest::addColumn<QString>("defaultAccount");
    QTest::addColumn<QString>("accountKey");
    QTest::addColumn<bool>("created");
    QTest::newRow("no mail program") << ""
                                     << "" << false;
    QTest::newRow("default account present") << ""
                                             << "00000001" << true;
    QTest::newRow("named account present") << "00000004"
                                           << "00000004" << true;
    QTest::newRow("named account missing") << "00000004"
                                           << "00000001" << false;
}

void MainWindowTest::aMailAccountCreatesTheProductKey()
{
    QFETCH(QString, defaultAccount);
    QFETCH(QString, accountKey);
    QFETCH(bool, created);
    Harness h;
    const QString manager = u"Software\\Microsoft\\Internet Account Manager"_qs;
    CreateKey(h.hive, manager);
    if (!defaultAccount.isEmpty())
        WriteValue(h.hive, manager, u"Default Mail Account"_qs, REG_SZ, defaultAccount);
    if (!accountKey.isEmpty())
        CreateKey(h.hive, manager + u"\\Accounts\\"_qs + accountKey);
    frmMain w(h.ctx);
    QVERIFY(w.MDIForm_Load());
    QCOMPARE(KeyExists(h.hive, AppInfo::productKey()), created);
}

void MainWindowTest::storedPlacementIsRestoredAndBadValuesFallBack()
{
    Harness h;
    Harness::write(h.program + u"/KV-Win.ini"_qs, "");
    h.settings.values = {{u"MainLeft"_qs, u"300"_qs},
                         {u"MainTop"_qs, u"600"_qs},
                         {u"MainWidth"_qs, u"9000"_qs},
                         {u"MainHeight"_qs, u"not a number"_qs}};
    frmMain w(h.ctx);
    QVERIFY(w.MDIForm_Load());
    w.show();
    // A stored placement wins over the first-showing size.
    QCOMPARE(w.geometry(), twipsRect(&w, 300, 600, 9000, 9500));
}

void MainWindowTest::storedPlacementIsFittedToTheScreen_data()
{
    // Stored in twips. Expected in pixels at 96 dpi: a number is kept as stored;
    // flush = against the near edge of the available area, far = against its far
    // edge, full = the whole available width or height (window frame included).
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("absurd height") << QStringList{u"300"_qs, u"600"_qs, u"9000"_qs, u"99999999"_qs}
                                   << QStringList{u"20"_qs, u"flush"_qs, u"600"_qs, u"full"_qs};
    QTest::newRow("absurd width and height")
        << QStringList{u"0"_qs, u"0"_qs, u"2147483647"_qs, u"2147483647"_qs}
        << QStringList{u"flush"_qs, u"flush"_qs, u"full"_qs, u"full"_qs};
    QTest::newRow("hanging over the right edge")
        << QStringList{u"9000"_qs, u"600"_qs, u"6000"_qs, u"3000"_qs}
        << QStringList{u"far"_qs, u"40"_qs, u"400"_qs, u"200"_qs};
    QTest::newRow("hanging over the top left corner")
        << QStringList{u"-1500"_qs, u"-750"_qs, u"6000"_qs, u"3000"_qs}
        << QStringList{u"flush"_qs, u"flush"_qs, u"400"_qs, u"200"_qs};
    QTest::newRow("off every screen")
        << QStringList{u"-2000000000"_qs, u"2000000000"_qs, u"6000"_qs, u"3000"_qs}
        << QStringList{u"flush"_qs, u"flush"_qs, u"400"_qs, u"200"_qs};
}

void MainWindowTest::storedPlacementIsFittedToTheScreen()
{
    QFETCH(QStringList, stored);
    QFETCH(QStringList, expected);
    Harness h;
    Harness::write(h.program + u"/KV-Win.ini"_qs, "");
    h.settings.values = {{u"MainLeft"_qs, stored.at(0)},
                         {u"MainTop"_qs, stored.at(1)},
                         {u"MainWidth"_qs, stored.at(2)},
                         {u"MainHeight"_qs, stored.at(3)}};
    frmMain w(h.ctx);
    QVERIFY(w.MDIForm_Load());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.logicalDpiX(), 96);
    const QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY(avail.width() >= 800 && avail.height() >= 600);
    const QRect frame = w.frameGeometry();
    const QRect client = w.geometry();
    const QMargins m(client.left() - frame.left(),
                     client.top() - frame.top(),
                     frame.right() - client.right(),
                     frame.bottom() - client.bottom());
    QVERIFY(avail.contains(frame));

    auto size = [](const QString &e, int full, int margins) {
        return e == u"full"_qs ? full - margins : e.toInt();
    };
    auto place = [](const QString &e, int lo, int hi, int extent, int before, int after) {
        if (e == u"flush"_qs)
            return lo + before;
        if (e == u"far"_qs)
            return hi + 1 - after - extent;
        return e.toInt();
    };
    const int width = size(expected.at(2), avail.width(), m.left() + m.right());
    const int height = size(expected.at(3), avail.height(), m.top() + m.bottom());
    QCOMPARE(client.size(), QSize(width, height));
    QCOMPARE(client.x(),
             place(expected.at(0), avail.left(), avail.right(), width, m.left(), m.right()));
    QCOMPARE(client.y(),
             place(expected.at(1), avail.top(), avail.bottom(), height, m.top(), m.bottom()));
}

void MainWindowTest::damagedSettingsAndRegistryAreReported()
{
    Harness h;
    Harness::write(h.program + u"/KV-Win.ini"_qs, "");
    const QString ini = h.tmp.path() + u"/settings.ini"_qs;
    Harness::write(ini, QByteArray("[Settings]\nMainLeft=1\n\x00\x01\x02garbage", 30));
    Harness::write(h.hive.filePath(), "not a registry file");
    IniSettings settings(ini);
    AppContext ctx{h.state, h.hive, settings, h.desktop, h.dialogs, h.program, {}};
    frmMain w(ctx);
    QVERIFY(w.MDIForm_Load());
    QCOMPARE(h.dialogs.messages.size(), 2);
    QVERIFY(h.dialogs.messages.at(0).text.contains(u"settings"_qs));
    QVERIFY(h.dialogs.messages.at(1).text.contains(u"registry"_qs));
    QCOMPARE(QDir(h.tmp.path()).entryList({u"settings.ini.damaged-*"_qs}).size(), 1);
    QCOMPARE(QDir(h.tmp.path() + u"/config"_qs).entryList({u"*.damaged-*"_qs}).size(), 1);
}

void MainWindowTest::exitStoresTheFileAndPlacementAndCloses()
{
    Harness h;
    Harness::write(h.program + u"/KV-Win.ini"_qs, "");
    CreateKey(h.hive, AppInfo::companyKey());
    WriteValue(h.hive, AppInfo::companyKey(), u"fileIn"_qs, REG_SZ, u"beam.plt"_qs);
    frmMain w(h.ctx);
    QVERIFY(w.MDIForm_Load());
    w.show();
    w.setGeometry(twipsRect(&w, 1500, 1200, 9000, 7000));
    h.state.CodeName = u"model.ty"_qs;
    h.state.CodeDir = u"/work/models/"_qs;
    w.mnuFileExit_Click();
    QVERIFY(!w.isVisible());
    QVERIFY(w.ExitRequested());
    QString name, dir;
    ReadLastFile(h.hive, name, dir);
    QCOMPARE(name, u"model.ty"_qs);
    QCOMPARE(dir, u"/work/models"_qs);
    QCOMPARE(h.settings.order,
             QStringList({u"MainLeft"_qs, u"MainTop"_qs, u"MainWidth"_qs, u"MainHeight"_qs}));
    QCOMPARE(h.settings.values.value(u"MainLeft"_qs).toInt(), Twips::fromPxX(w.geometry().x(), &w));
    QCOMPARE(h.settings.values.value(u"MainWidth"_qs).toInt(),
             Twips::fromPxX(w.geometry().width(), &w));
    QCOMPARE(ReadValue(h.hive, AppInfo::companyKey(), u"fileIn"_qs, REG_SZ, u"x"_qs).toString(),
             QString(""));
}

void MainWindowTest::exitOfAFirstTimeUserShowsTheCatalogueInstead()
{
    Harness h;
    frmMain w(h.ctx);
    QVERIFY(w.MDIForm_Load());
    w.show();
    w.mnuFileExit_Click();
    QVERIFY(w.isVisible());
    QVERIFY(w.demoWindow());
    QVERIFY(w.demoWindow()->isVisible());
    QCOMPARE(w.demoWindow()->windowTitle(), u"Edit or View Demos"_qs);
    QVERIFY(!w.ExitRequested());
    QVERIFY(h.settings.values.isEmpty());
    QVERIFY(!KeyExists(h.hive, AppInfo::productKey()));
    w.demoWindow()->close();
}

void MainWindowTest::closingTheWindowOfAFirstTimeUserLeavesTheCatalogue()
{
    Harness h;
    frmMain w(h.ctx);
    QVERIFY(w.MDIForm_Load());
    w.show();
    QVERIFY(w.close());
    QVERIFY(!w.isVisible());
    QVERIFY(w.demoWindow() && w.demoWindow()->isVisible());
    QVERIFY(h.settings.values.isEmpty());
    w.demoWindow()->close();
}

void MainWindowTest::aDocumentCanCancelTheExit()
{
    Harness h;
    Harness::write(h.program + u"/KV-Win.ini"_qs, "");
    frmMain w(h.ctx);
    QVERIFY(w.MDIForm_Load());
    w.show();
    frmDocument *first = w.activeDocument();
    first->rtfText()->SendScintilla(QsciScintillaBase::SCI_REPLACESEL, "first");
    frmDocument *second = w.newDocument();
    second->rtfText()->SendScintilla(QsciScintillaBase::SCI_REPLACESEL, "second");
    // The first window agrees to lose its text, the second cancels: nothing closes.
    h.dialogs.answers << MsgAnswer::No << MsgAnswer::Cancel;
    w.mnuFileExit_Click();
    QVERIFY(w.isVisible());
    QVERIFY(w.ExitRequested());
    QCOMPARE(w.documents().size(), 2);
    QCOMPARE(first->windowTitle(), u"removed"_qs);
    QVERIFY(!first->IsDirty());
    QVERIFY(second->IsDirty());
    QVERIFY(h.settings.values.isEmpty());
}

void MainWindowTest::aMinimizedWindowDoesNotStoreItsPlacement()
{
    Harness h;
    Harness::write(h.program + u"/KV-Win.ini"_qs, "");
    h.settings.values.insert(u"MainLeft"_qs, u"4321"_qs);
    frmMain w(h.ctx);
    QVERIFY(w.MDIForm_Load());
    w.showMinimized();
    w.mnuFileExit_Click();
    QVERIFY(w.ExitRequested());
    QVERIFY(h.settings.order.isEmpty());
    QCOMPARE(h.settings.values.value(u"MainLeft"_qs), u"4321"_qs);
}

void MainWindowTest::fileMenuAvailability()
{
    Harness h;
    frmMain w(h.ctx);
    QVERIFY(w.MDIForm_Load());
    auto enabled = [&](const char *name) { return w.menuItem(QLatin1String(name))->isEnabled(); };

    // An unchanged, empty document: Close and Save As, but not Save or Print.
    for (frmDocument *d : w.documents())
        delete d->parentWidget();
    w.mnuFileNew_Click();
    w.mnuFile_Click();
    QVERIFY(enabled("mnuFileClose"));
    QVERIFY(enabled("mnuFileSaveAs"));
    QVERIFY(!enabled("mnuFileSave"));
    QVERIFY(!enabled("mnuFilePrint"));

    w.activeDocument()->rtfText()->SendScintilla(QsciScintillaBase::SCI_REPLACESEL, "x");
    w.mnuFile_Click();
    QVERIFY(enabled("mnuFileSave"));
    QVERIFY(enabled("mnuFilePrint"));

    // No document at all.
    delete w.activeDocument()->parentWidget();
    QCOMPARE(w.ChildFormType(), 0);
    w.mnuFile_Click();
    for (const char *name : {"mnuFileClose", "mnuFileSave", "mnuFileSaveAs", "mnuFilePrint"})
        QVERIFY2(!enabled(name), name);
    for (const char *name :
         {"mnuFileNew", "mnuFileOpen", "mnuFileDelete", "mnuFilePrinterSetup", "mnuFileExit"})
        QVERIFY2(enabled(name), name);
}

void MainWindowTest::editMenuAvailability()
{
    Harness h;
    frmMain w(h.ctx);
    QVERIFY(w.MDIForm_Load());
    auto enabled = [&](const char *name) { return w.menuItem(QLatin1String(name))->isEnabled(); };
    QApplication::clipboard()->clear();
    w.mnuEdit_Click();
    for (const char *name : {"mnuEditCut", "mnuEditCopy", "mnuEditPaste"})
        QVERIFY2(!enabled(name), name);
    for (const char *name : {"mnuEditUndo", "mnuEditFind", "mnuEditFindNext"})
        QVERIFY2(enabled(name), name);

    w.activeDocument()->rtfText()->SendScintilla(QsciScintillaBase::SCI_REPLACESEL, "abc");
    w.activeDocument()->rtfText()->SendScintilla(QsciScintillaBase::SCI_SETSEL, 0L, 2L);
    QApplication::clipboard()->setText(u"clip"_qs);
    w.mnuEdit_Click();
    for (const char *name : {"mnuEditCut", "mnuEditCopy", "mnuEditPaste"})
        QVERIFY2(enabled(name), name);

    for (frmDocument *d : w.documents())
        delete d->parentWidget();
    w.mnuEdit_Click();
    QVERIFY(!enabled("mnuEditPaste"));
}

void MainWindowTest::menuTreeAndToolbar()
{
    Harness h;
    frmMain w(h.ctx);
    const QStringList expected = {u"mnuFile=&File"_qs,
                                  u"mnuFileNew=&New Ctrl+N"_qs,
                                  u"mnuFileOpen=&Open Ctrl+O"_qs,
                                  u"mnuFileClose=&Close"_qs,
                                  u"mnuFileDelete=&Delete ..."_qs,
                                  u"mnuFileBar1=-"_qs,
                                  u"mnuFileSave=&Save Ctrl+S"_qs,
                                  u"mnuFileSaveAs=Save &As..."_qs,
                                  u"mnuFileBar2=-"_qs,
                                  u"mnuFilePrint=&Print ... Ctrl+P"_qs,
                                  u"mnuFilePrinterSetup=Printer Set&up..."_qs,
                                  u"mnuFileBar3=-"_qs,
                                  u"mnuFileExit=E&xit"_qs,
                                  u"mnuEdit=&Edit"_qs,
                                  u"mnuEditUndo=&Undo"_qs,
                                  u"mnuEditBar1=-"_qs,
                                  u"mnuEditCut=Cu&t Ctrl+X"_qs,
                                  u"mnuEditCopy=&Copy Ctrl+C"_qs,
                                  u"mnuEditPaste=&Paste Ctrl+V"_qs,
                                  u"mnuEditBar2=-"_qs,
                                  u"mnuEditFind=&Find... Ctrl+F"_qs,
                                  u"mnuEditFindNext=Find &Next F3"_qs,
                                  u"mnuKV=&Tessaly"_qs,
                                  u"mnuKV_Plots=View Old Plots ..."_qs,
                                  u"mnuKV_Output=View &Last Output ... Ctrl+L"_qs,
                                  u"mnuKV_Demo=Run a &Demo ... Ctrl+D"_qs,
                                  u"mnuKV_Bar1=-"_qs,
                                  u"mnuKV_Submit=Submit file for &Run Ctrl+R"_qs,
                                  u"mnuKV_Data=Submit with Data file"_qs,
                                  u"mnuKV_eMail=eMail file for &Batch Run Ctrl+B"_qs,
                                  u"mnuKV_Bar2=-"_qs,
                                  u"mnuKV_SubmitFromA=Submit &From A: Drive F5"_qs,
                                  u"mnuKV_OutputToA=Output &To A: Drive F6"_qs,
                                  u"mnuWeb=&Web Links"_qs,
                                  u"mnuWebLink=Remote Batch Job 'Cards' - Algebra"_qs,
                                  u"mnuWebLink2=Remote Batch Job 'Cards' - ODEs"_qs,
                                  u"mnuWindow=&Window"_qs,
                                  u"mnuWindowCascade=&Cascade"_qs,
                                  u"mnuWindowTileHorizontal=Tile &Horizontal"_qs,
                                  u"mnuWindowTileVertical=Tile &Vertical"_qs,
                                  u"mnuHelp=&Help"_qs,
                                  u"mnuHelpSearch=Search Demo &Codes ..."_qs,
                                  u"mnuHelpManual=&Manual ..."_qs,
                                  u"mnuHelpBar1=-"_qs,
                                  u"mnuHelpEmail=&E-mail Support ..."_qs,
                                  u"mnuHelpBar2=-"_qs,
                                  u"mnuHelpAbout=&About ..."_qs};
    QCOMPARE(captions(w), expected);
    QVERIFY(!w.menuItem(u"mnuWeb"_qs)->isVisible());
    QVERIFY(!w.menuItem(u"mnuWeb"_qs)->isEnabled());

    const QList<std::pair<QString, QString>> buttons = {{u"New"_qs, u"New"_qs},
                                                        {u"Open"_qs, u"Open"_qs},
                                                        {u"Save"_qs, u"Save"_qs},
                                                        {u"Print"_qs, u"Print"_qs},
                                                        {u"Undo"_qs, u"Undo"_qs},
                                                        {u"Cut"_qs, u"Cut"_qs},
                                                        {u"Copy"_qs, u"Copy"_qs},
                                                        {u"Paste"_qs, u"Paste"_qs},
                                                        {u"Find"_qs, u"Find"_qs},
                                                        {u"Submit"_qs, u"Submit for Execution"_qs},
                                                        {u"Data"_qs, u"Submit with Data file"_qs},
                                                        {u"Demo"_qs, u"Run a Demo"_qs},
                                                        {u"Output"_qs, u"View Last Output"_qs}};
    QList<std::pair<QString, QString>> shown;
    auto *bar = w.findChild<QToolBar *>(u"tbToolBar"_qs);
    QVERIFY(bar);
    for (QAction *a : bar->actions())
        if (!a->isSeparator()) {
            shown.append({a->data().toString(), a->toolTip()});
            QVERIFY(!a->icon().isNull());
        }
    QCOMPARE(shown, buttons);
}

void MainWindowTest::toolbarDispatchesByExactKey()
{
    Harness h;
    frmMain w(h.ctx);
    QVERIFY(w.MDIForm_Load());
    const qsizetype before = w.documents().size();
    w.tbToolBar_ButtonClick(u"new"_qs);
    w.tbToolBar_ButtonClick(u"NEW"_qs);
    w.tbToolBar_ButtonClick(u"Nothing"_qs);
    QCOMPARE(w.documents().size(), before);
    w.toolButton(u"New"_qs)->trigger();
    QCOMPARE(w.documents().size(), before + 1);

    // The toolbar's Save runs even while the menu item would be greyed: an
    // untitled document goes to Save As, which asks for a name.
    h.dialogs.files << std::nullopt;
    w.tbToolBar_ButtonClick(u"Save"_qs);
    QCOMPARE(h.dialogs.saveDialogs.size(), 1);

    // Its Cut runs on the active document.
    frmDocument *doc = w.activeDocument();
    doc->rtfText()->SendScintilla(QsciScintillaBase::SCI_REPLACESEL, "cut me");
    doc->rtfText()->SendScintilla(QsciScintillaBase::SCI_SETSEL, 0L, 4L);
    w.tbToolBar_ButtonClick(u"Cut"_qs);
    QCOMPARE(doc->textBytes(), QByteArray("me"));
    QCOMPARE(QApplication::clipboard()->text(), u"cut "_qs);
}

void MainWindowTest::windowsTileAndCascade()
{
    Harness h;
    frmMain w(h.ctx);
    QVERIFY(w.MDIForm_Load());
    w.resize(900, 700);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.newDocument();
    w.newDocument();
    w.mdiArea()->activeSubWindow()->showMaximized();
    const QRect area = w.mdiArea()->viewport()->rect();
    const QList<QMdiSubWindow *> subs = w.mdiArea()->subWindowList();
    QCOMPARE(subs.size(), 3);

    w.mnuWindowTileHorizontal_Click();
    int totalHeight = 0;
    for (QMdiSubWindow *s : subs) {
        QVERIFY(!s->isMaximized());
        QCOMPARE(s->geometry().width(), area.width());
        QCOMPARE(s->geometry().x(), 0);
        totalHeight += s->geometry().height();
    }
    QCOMPARE(totalHeight, area.height());

    w.mnuWindowTileVertical_Click();
    int totalWidth = 0;
    for (QMdiSubWindow *s : subs) {
        QCOMPARE(s->geometry().height(), area.height());
        QCOMPARE(s->geometry().y(), 0);
        totalWidth += s->geometry().width();
    }
    QCOMPARE(totalWidth, area.width());

    w.mnuWindowCascade_Click();
    QVERIFY(subs.at(0)->geometry().topLeft() != subs.at(1)->geometry().topLeft());

    // The Window menu lists the documents and checks the active one.
    auto *menu = w.findChild<QMenu *>(u"mnuWindow"_qs);
    emit menu->aboutToShow();
    int listed = 0, checked = 0;
    for (QAction *a : menu->actions())
        if (a->isCheckable()) {
            ++listed;
            checked += a->isChecked() ? 1 : 0;
        }
    QCOMPARE(listed, 3);
    QCOMPARE(checked, 1);
}

// The shown main window with the start-up document and the keyboard in it.
static void showActive(frmMain &w, int width, int height)
{
    w.show();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.resize(width, height);
    QTRY_COMPARE(w.size(), QSize(width, height));
    w.activeDocument()->rtfText()->setFocus();
}

void MainWindowTest::newDocumentWindowsOpenCascadedAtAUsableSize()
{
    Harness h;
    Harness::write(h.program + u"/KV-Win.ini"_qs, "");
    Harness::write(h.tmp.path() + u"/a.ty"_qs, "a\r\n");
    frmMain w(h.ctx);
    QVERIFY(w.MDIForm_Load());
    showActive(w, 900, 700);
    const QRect area = w.mdiArea()->viewport()->rect();
    const QSize size(area.width() * 3 / 4, area.height() * 3 / 4);
    QMdiSubWindow *startup = w.mdiArea()->activeSubWindow();
    QCOMPARE(startup->geometry(), twipsRect(&w, 0, 0, 11500, 6500));
    // One title-bar height, as the sub-window draws its title bar.
    const int step = startup->widget()->geometry().top();
    QVERIFY(step > 10);

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_N, Qt::ControlModifier);
    QMdiSubWindow *second = w.mdiArea()->activeSubWindow();
    QVERIFY(second != startup);
    QCOMPARE(second->geometry(), QRect(QPoint(step, step), size));
    // The text has room: the editor is most of the window high.
    QVERIFY(w.activeDocument()->rtfText()->height() > size.height() / 2);

    // An Open that needs a new window places it the same way.
    w.activeDocument()->rtfText()->SendScintilla(QsciScintillaBase::SCI_REPLACESEL, "x");
    h.dialogs.files << h.tmp.path() + u"/a.ty"_qs;
    QTest::keyClick(w.activeDocument()->rtfText(), Qt::Key_O, Qt::ControlModifier);
    QMdiSubWindow *third = w.mdiArea()->activeSubWindow();
    QCOMPARE(w.activeDocument()->Filename(), h.tmp.path() + u"/a.ty"_qs);
    QCOMPARE(third->geometry(), QRect(QPoint(2 * step, 2 * step), size));

    // Down the diagonal until the next one would leave the client area.
    QPoint last = third->pos();
    while (area.contains(QRect(last + QPoint(step, step), size))) {
        w.mnuFileNew_Click();
        QCOMPARE(w.mdiArea()->activeSubWindow()->geometry(),
                 QRect(last + QPoint(step, step), size));
        last = w.mdiArea()->activeSubWindow()->pos();
    }
    w.mnuFileNew_Click();
    QCOMPARE(w.mdiArea()->activeSubWindow()->geometry(), QRect(QPoint(0, 0), size));
}

void MainWindowTest::newDocumentWindowsAreNeverSmallerThan300By200()
{
    Harness h;
    frmMain w(h.ctx);
    QVERIFY(w.MDIForm_Load());
    showActive(w, 380, 300);
    QVERIFY(w.mdiArea()->viewport()->width() * 3 / 4 < 300);
    QVERIFY(w.mdiArea()->viewport()->height() * 3 / 4 < 200);
    w.mnuFileNew_Click();
    // Larger than the client area: it starts at 0, 0.
    QCOMPARE(w.mdiArea()->activeSubWindow()->geometry(), QRect(0, 0, 300, 200));
    QVERIFY(w.activeDocument()->rtfText()->height() > 100);
}

void MainWindowTest::cascadeGivesEveryNormalWindowTheNewWindowSize()
{
    Harness h;
    frmMain w(h.ctx);
    QVERIFY(w.MDIForm_Load());
    showActive(w, 900, 700);
    const QRect area = w.mdiArea()->viewport()->rect();
    const QSize size(area.width() * 3 / 4, area.height() * 3 / 4);
    for (int i = 0; i < 3; ++i)
        w.newDocument();
    w.mnuWindowTileVertical_Click();
    const QList<QMdiSubWindow *> subs = w.mdiArea()->subWindowList(QMdiArea::StackingOrder);
    QCOMPARE(subs.size(), 4);
    subs.at(0)->showMinimized();
    const QRect minimized = subs.at(0)->geometry();
    w.mdiArea()->setActiveSubWindow(subs.at(2));
    subs.at(2)->showMaximized();

    w.mnuWindowCascade_Click();
    QVERIFY(subs.at(0)->isMinimized());
    QCOMPARE(subs.at(0)->geometry(), minimized);
    const int step = subs.at(1)->widget()->geometry().top();
    QList<QPoint> places;
    for (QMdiSubWindow *sub : w.mdiArea()->subWindowList(QMdiArea::StackingOrder)) {
        if (sub == subs.at(0))
            continue;
        QVERIFY(!sub->isMaximized());
        QCOMPARE(sub->size(), size);
        places << sub->pos();
    }
    QCOMPARE(places, QList<QPoint>({{0, 0}, {step, step}, {2 * step, 2 * step}}));
    // The active window is still in front.
    QCOMPARE(w.mdiArea()->subWindowList(QMdiArea::StackingOrder).last(), subs.at(2));
}

void MainWindowTest::childFormTypeTellsWhatIsActive()
{
    Harness h;
    frmMain w(h.ctx);
    QCOMPARE(w.ChildFormType(), 0);
    w.newDocument();
    QCOMPARE(w.ChildFormType(), 1);
    QMdiSubWindow *other = w.mdiArea()->addSubWindow(new QWidget);
    other->show();
    w.mdiArea()->setActiveSubWindow(other);
    QCOMPARE(w.ChildFormType(), -1);
}

void MainWindowTest::windowsVersionIsFormattedWithTwoDigits_data()
{
    QTest::addColumn<quint32>("version");
    QTest::addColumn<QString>("text");
    QTest::newRow("4.10") << quint32(0x0a04) << "4.10";
    QTest::newRow("5.01") << quint32(0x0105) << "5.01";
    QTest::newRow("high word ignored") << quint32(0xabcd0006) << "6.00";
    QTest::newRow("kernel 6.1") << versionFromKernel(u"6.1.0-18-amd64"_qs) << "6.01";
}

void MainWindowTest::windowsVersionIsFormattedWithTwoDigits()
{
    QFETCH(quint32, version);
    QFETCH(QString, text);
    RecordingDesktop desktop;
    desktop.version = version;
    QCOMPARE(GetWindowsVer(desktop), text);
}

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
