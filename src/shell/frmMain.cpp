#include "frmMain.h"

#include "core/AppContext.h"
#include "core/AppState.h"
#include "core/Twips.h"
#include "core/mdlLastFile.h"
#include "core/mdlRegistryAPI.h"
#include "demos/frmDemo.h"
#include "editor/EditCommands.h"
#include "editor/PrintCommands.h"
#include "editor/mdlFileChecks.h"
#include "platform/AppInfo.h"
#include "platform/KvError.h"
#include "platform/RegistryHive.h"
#include "platform/Settings.h"
#include "platform/UserDialogs.h"
#include "runs/mdlKV.h"
#include "shell/mdlRestart.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScreen>
#include <QSessionManager>
#include <QTabWidget>
#include <QVBoxLayout>

using namespace mdlRegistryAPI;

namespace {

int settingNumber(Settings &settings, const QString &key, int defaultValue)
{
    bool ok = false;
    const int value = settings.get(key, QString::number(defaultValue)).trimmed().toInt(&ok);
    return ok ? value : defaultValue;
}

} // namespace

frmMain::frmMain(AppContext &ctx, QWidget *parent)
    : QMainWindow(parent)
    , m_ctx(ctx)
    , m_runs(std::make_unique<RunController>(ctx, *this))
    , m_edit(std::make_unique<EditCommands>(ctx, *this))
    , m_print(std::make_unique<PrintCommands>(ctx, *this))
    , m_mdi(new QMdiArea(this))
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Lumetry Editor for Tessaly Code"));
    m_mdi->setObjectName(QStringLiteral("mdiArea"));
    m_mdi->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_mdi->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(m_mdi);
    createMenus();
    createToolBar();
    createStatusBar();
    setWindowIcon(QIcon(QStringLiteral(":/icons/kelvara.svg")));
    if (!ctx.closeMainWindow)
        ctx.closeMainWindow = [w = QPointer<frmMain>(this)] {
            if (w)
                w->close();
        };
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager &) {
        m_sessionEnding = true;
    });
}

frmMain::~frmMain()
{
    // The catalogue is a window of its own; it goes with the main window.
    delete m_demo;
}

QString frmMain::kvWinIniPath() const
{
    return joinPath(m_ctx.programDir, QStringLiteral("KV-Win.ini"));
}

bool frmMain::MDIForm_Load()
{
    // 1. Placement, in twips.
    const int left = settingNumber(m_ctx.settings, QStringLiteral("MainLeft"), 1000);
    const int top = settingNumber(m_ctx.settings, QStringLiteral("MainTop"), 1000);
    const int width = settingNumber(m_ctx.settings, QStringLiteral("MainWidth"), 12500);
    const int height = settingNumber(m_ctx.settings, QStringLiteral("MainHeight"), 9500);
    setGeometry(fitToScreen(QRect(Twips::toPxX(left, this),
                                  Twips::toPxY(top, this),
                                  std::max(Twips::toPxX(width, this), 200),
                                  std::max(Twips::toPxY(height, this), 150))));

    // 2.
    m_ctx.state.CodeName = QStringLiteral("ok");
    m_exitRequested = false;

    // 3. The start-up document; its dialog opens in the user directory.
    m_startupDoc = newDocument();
    m_startupDialog = m_startupDoc->sharedDialog();
    m_startupDoc->CommonDialog1().initDir = joinPath(m_ctx.programDir, QStringLiteral("user"));

    // 4. and 5.
    if (!Start_Path())
        return false;
    StartWorkspace();

    // 6. The tool-kit commands need the compiling part of the tool kit.
    const bool toolKit = !m_ctx.state.BasePath.isEmpty() && !m_ctx.state.OdeEnv.isEmpty();
    for (const char *name : {"mnuKV_Submit", "mnuKV_Data", "mnuKV_SubmitFromA", "mnuKV_OutputToA"})
        m_items.value(QLatin1String(name))->setEnabled(toolKit);
    m_buttons.value(QStringLiteral("Submit"))->setVisible(toolKit);
    m_buttons.value(QStringLiteral("Data"))->setVisible(toolKit);

    // 7. to 9. From here on every failure is ignored.
    try {
        const QString manager = QStringLiteral("Software\\microsoft\\internet account manager");
        QString account
            = ReadValue(
                  m_ctx.hive, manager, QStringLiteral("Default Mail Account"), REG_SZ, QString())
                  .toString();
        if (account.isEmpty())
            account = QStringLiteral("00000001");
        if (KeyExists(m_ctx.hive, manager + QStringLiteral("\\accounts\\") + account)
            && !KeyExists(m_ctx.hive, AppInfo::productKey()))
            CreateKey(m_ctx.hive, AppInfo::productKey());
    } catch (const KvError &) {
    }

    // Damaged settings or registry files were moved aside; say so once.
    for (const QString &report : {m_ctx.settings.damagedReport(), m_ctx.hive.damagedReport()})
        if (!report.isEmpty())
            m_ctx.dialogs.message(this, {report, QString(), MsgButtons::OK, MsgIcon::Exclamation});
    return true;
}

QRect frmMain::fitToScreen(const QRect &placement, const QMargins &frame) const
{
    // The screen the placement lies most on; one off every screen comes back onto
    // the primary screen.
    const QScreen *target = nullptr;
    qint64 best = 0;
    for (const QScreen *screen : QGuiApplication::screens()) {
        const QRect common = screen->availableGeometry().intersected(placement);
        const qint64 overlap = qint64(common.width()) * common.height();
        if (overlap > best) {
            best = overlap;
            target = screen;
        }
    }
    QRect r = placement.marginsAdded(frame);
    if (!target) {
        target = QGuiApplication::primaryScreen();
        if (!target)
            return placement;
        r.moveTopLeft(target->availableGeometry().topLeft());
    }
    const QRect avail = target->availableGeometry();
    r.setSize(r.size().boundedTo(avail.size()));
    r.moveTopLeft(QPoint(std::clamp(r.x(), avail.x(), avail.x() + avail.width() - r.width()),
                         std::clamp(r.y(), avail.y(), avail.y() + avail.height() - r.height())));
    return r.marginsRemoved(frame);
}

QMargins frmMain::frameMargins() const
{
    const QRect frame = frameGeometry();
    const QRect client = geometry();
    return {client.left() - frame.left(),
            client.top() - frame.top(),
            frame.right() - client.right(),
            frame.bottom() - client.bottom()};
}

bool frmMain::Start_Path()
{
    AppState &s = m_ctx.state;
    s.ProductDir = QStringLiteral("/Kelvara");
    s.OdeEnv = qEnvironmentVariable("ode-TY");
    // The base directory is the program directory's parent; a program directory
    // right below a root has none.
    QDir programDir(m_ctx.programDir);
    const QString absolute = QDir::cleanPath(programDir.absolutePath());
    const QString parent = QFileInfo(absolute).path();
    if (absolute == QLatin1String("/") || parent.isEmpty() || QDir(parent).isRoot()) {
        const QString product = AppInfo::productName();
        m_ctx.dialogs.message(this,
                              {QStringLiteral("Missing ") + product
                                   + QStringLiteral("'s base directory, /ZR-Tools; ")
                                   + QStringLiteral("Can't proceed without it.\r\n")
                                   + QStringLiteral("Did you re-boot since installing ") + product
                                   + QStringLiteral("?\r\nPlease re-boot or re-install ") + product
                                   + QStringLiteral(" AND re-boot."),
                               QStringLiteral("In 'Start_Path' routine ... Exiting!"),
                               MsgButtons::OK,
                               MsgIcon::Critical});
        return false;
    }
    s.BasePath = parent;
    s.ProgramPath = s.BasePath + s.ProductDir;
    return true;
}

void frmMain::reportUnreadable(const QString &what, const QString &path, const KvError &e)
{
    m_ctx.dialogs.message(
        this,
        {what + path + QStringLiteral("' could not be read.\r\n") + unexpectedErrorText(e),
         QString(),
         MsgButtons::OK,
         MsgIcon::Exclamation});
}

void frmMain::StartWorkspace()
{
    AppState &s = m_ctx.state;
    // 1. A first-time user is welcomed.
    if (!FileExists(m_ctx, kvWinIniPath())) {
        m_ctx.dialogs.message(
            this,
            {QStringLiteral("For the present, this is -free- and allows one to e-mail their \r\n"
                            "problems to us for compiling & execution. Their results \r\n"
                            "will be e-mailed back to them.\r\n"
                            "\r\n"
                            "Enjoy solving math problems with Calculus (level) Programming.  \r\n"
                            "Please share your successes and this tool with others."),
             QStringLiteral("See e-mail option under Tessaly menu."),
             MsgButtons::OK,
             MsgIcon::Exclamation});
    }

    // 2. and 3. The user directory, created when missing, becomes the current one.
    QString userDir = resolveExistingPath(joinPath(m_ctx.programDir, QStringLiteral("user")));
    if (userDir.isEmpty() || !dirExists(m_ctx, userDir)) {
        userDir = joinPath(m_ctx.programDir, QStringLiteral("user"));
        if (!QDir().mkpath(userDir)) {
            m_ctx.dialogs.message(
                this,
                {QStringLiteral("The user directory '") + userDir
                     + QStringLiteral("' could not be created (is the program directory "
                                      "read-only?).\r\nYour files are saved where you choose "
                                      "in the Save dialog."),
                 QString(),
                 MsgButtons::OK,
                 MsgIcon::Exclamation});
            userDir.clear();
        }
    }
    if (!userDir.isEmpty())
        QDir::setCurrent(userDir);

    // 4. The remembered code file.
    ReadLastFile(m_ctx.hive, s.CodeName, s.CodeDir);

    // 5. It opens in the start-up document; a name remembered without its ".ty"
    // (left by a run) finds the code file too.
    bool loaded = false;
    if (!s.CodeName.isEmpty()) {
        const QString remembered = joinPath(s.CodeDir, s.CodeName);
        QString path;
        if (FileExists(m_ctx, remembered))
            path = remembered;
        else if (!s.CodeName.endsWith(QLatin1String(".ty"), Qt::CaseInsensitive)
                 && FileExists(m_ctx, remembered + QStringLiteral(".ty")))
            path = remembered + QStringLiteral(".ty");
        if (!path.isEmpty() && activeDocument()) {
            try {
                activeDocument()->LoadFile(path);
                loaded = true;
            } catch (const KvError &e) {
                reportUnreadable(QStringLiteral("The last code file '"), path, e);
            }
        }
    }

    // 6. Otherwise the start demo.
    if (!loaded) {
        if (frmDocument *doc = activeDocument(); doc && doc->IsEmpty())
            subWindowOf(doc)->close();
        frmDocument *doc = newDocument();
        doc->setIsDirty(false);
        const QString demo = joinPath(m_ctx.programDir, QStringLiteral("demos/all/heat-ivp.ty"));
        if (FileExists(m_ctx, demo)) {
            try {
                doc->LoadFile(demo);
                doc->setFilename(QStringLiteral("Heat Transfer (IVP)"));
            } catch (const KvError &e) {
                reportUnreadable(QStringLiteral("The start demo '"), demo, e);
            }
        }
    }

    // 7.
    if (QMdiSubWindow *sub = m_mdi->activeSubWindow()) {
        sub->showNormal();
        sub->setGeometry(0, 0, Twips::toPxX(11500, this), Twips::toPxY(6500, this));
    }

    // 8. A run started before the last restart is over.
    const QString marker = joinPath(m_ctx.programDir, QStringLiteral("DOSstart.tmp"));
    if (FileExists(m_ctx, marker))
        QFile::remove(resolveExistingPath(marker));
    removeAutostartEntry();
}

void frmMain::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (m_firstShow) {
        m_firstShow = false;
        MDIForm_Resize();
        // The window frame is known from here on; frame and all must fit.
        const QRect fitted = fitToScreen(geometry(), frameMargins());
        if (fitted != geometry())
            setGeometry(fitted);
    }
}

void frmMain::MDIForm_Resize()
{
    // Only the first showing, and only while no placement was ever stored: the
    // user may size the window freely afterwards.
    if (!m_ctx.settings.get(QStringLiteral("MainLeft"), QString()).isEmpty())
        return;
    if (m_ctx.state.CodeName.isEmpty() || isMinimized() || isMaximized())
        return;
    setGeometry(fitToScreen(QRect(Twips::toPxX(1000, this),
                                  Twips::toPxY(1000, this),
                                  Twips::toPxX(7500, this),
                                  Twips::toPxY(6500, this))));
}

// The frame's active child is the current sub-window: it stays the same while the
// frame is hidden or another top-level window (the demo catalogue) has the focus.
int frmMain::ChildFormType() const
{
    QMdiSubWindow *sub = m_mdi->currentSubWindow();
    if (!sub)
        return 0;
    return qobject_cast<frmDocument *>(sub->widget()) ? 1 : -1;
}

frmDocument *frmMain::activeDocument() const
{
    QMdiSubWindow *sub = m_mdi->currentSubWindow();
    return sub ? qobject_cast<frmDocument *>(sub->widget()) : nullptr;
}

QList<frmDocument *> frmMain::documents() const
{
    QList<frmDocument *> docs;
    for (QMdiSubWindow *sub : m_mdi->subWindowList(QMdiArea::CreationOrder))
        if (auto *doc = qobject_cast<frmDocument *>(sub->widget()))
            docs << doc;
    return docs;
}

QMdiSubWindow *frmMain::subWindowOf(frmDocument *doc) const
{
    for (QMdiSubWindow *sub : m_mdi->subWindowList())
        if (sub->widget() == doc)
            return sub;
    return nullptr;
}

frmDocument *frmMain::newDocument()
{
    // Placed from the window active before it.
    const QRect place = newDocumentGeometry();
    auto *doc = new frmDocument(m_ctx, *this);
    releaseMenuKeys(doc);
    QMdiSubWindow *sub = m_mdi->addSubWindow(doc);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->setWindowIcon(windowIcon());
    sub->setGeometry(place);
    sub->show();
    m_mdi->setActiveSubWindow(sub);
    return doc;
}

void frmMain::mnuFileExit_Click()
{
    AppState &s = m_ctx.state;
    if (FileExists(m_ctx, kvWinIniPath())) {
        if (s.CodeDir.endsWith(QLatin1Char('/')) && s.CodeDir.size() > 1)
            s.CodeDir.chop(1);
        try {
            SaveLastFile(m_ctx.hive, s.CodeName, s.CodeDir);
        } catch (const KvError &) {
            // Only the memory of the last file is lost; the exit goes on.
        }
        m_exitRequested = true;
        if (!m_exitInProgress) {
            m_closingByExit = true;
            close();
            m_closingByExit = false;
        }
        return;
    }
    // A first-time user is shown the demo catalogue instead.
    showDemoCatalogue();
}

frmDemo *frmMain::demoWindow() const
{
    return m_demo;
}

void frmMain::showDemoCatalogue()
{
    if (!m_demo) {
        m_demo = new frmDemo(m_ctx, *this);
        m_demo->setAttribute(Qt::WA_DeleteOnClose);
        m_demo->Form_Load();
    }
    m_demo->show();
    m_demo->raise();
    m_demo->activateWindow();
}

void frmMain::mnuKV_Demo_Click()
{
    hide();
    showDemoCatalogue();
    m_demo->ODE_tabs()->setFocus();
}

void frmMain::MDIForm_QueryUnload(bool &cancel, int unloadMode)
{
    cancel = false;
    if (unloadMode == 0)
        mnuFileExit_Click();
}

void frmMain::closeEvent(QCloseEvent *event)
{
    // The Exit command closes with its own mode; a close box or the system's
    // close is the user's (0) unless the session is ending.
    const int unloadMode = m_closingByExit ? 1 : (m_sessionEnding ? 2 : 0);
    m_exitInProgress = true;
    bool cancel = false;
    MDIForm_QueryUnload(cancel, unloadMode);
    if (cancel || !unloadDocuments()) {
        m_exitInProgress = false;
        event->ignore();
        return;
    }
    m_exitInProgress = false;
    MDIForm_Unload(cancel);
    event->accept();
}

bool frmMain::unloadDocuments()
{
    const QList<frmDocument *> docs = documents();
    for (frmDocument *doc : docs)
        if (!doc->Form_QueryUnload())
            return false;
    for (frmDocument *doc : docs)
        doc->unloadAgreed();
    return true;
}

void frmMain::MDIForm_Unload(bool &cancel)
{
    if (!m_exitRequested)
        return;
    if (!isMinimized()) {
        const QRect g = geometry();
        m_ctx.settings.save(QStringLiteral("MainLeft"),
                            QString::number(Twips::fromPxX(g.x(), this)));
        m_ctx.settings.save(QStringLiteral("MainTop"),
                            QString::number(Twips::fromPxY(g.y(), this)));
        m_ctx.settings.save(QStringLiteral("MainWidth"),
                            QString::number(Twips::fromPxX(g.width(), this)));
        m_ctx.settings.save(QStringLiteral("MainHeight"),
                            QString::number(Twips::fromPxY(g.height(), this)));
    }
    try {
        if (KeyExists(m_ctx.hive, AppInfo::companyKey()))
            WriteValue(
                m_ctx.hive, AppInfo::companyKey(), QStringLiteral("fileIn"), REG_SZ, QString());
    } catch (const KvError &) {
        // A registry that cannot be written does not keep the program open.
    }
    cancel = false;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (cancel)
            break;
        if (w != this && w->isVisible() && !w->inherits("QMenu"))
            cancel = !w->close();
    }
}
