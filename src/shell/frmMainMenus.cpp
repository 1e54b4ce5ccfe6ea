// The main window's menu bar, toolbar, status bar and window arrangement.
#include "frmMain.h"

#include <Qsci/qscicommand.h>
#include <Qsci/qscicommandset.h>
#include <Qsci/qsciscintilla.h>

#include <QAction>
#include <QDateTime>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionTitleBar>
#include <QTimer>
#include <QToolBar>

QAction *frmMain::addItem(QMenu *menu,
                          const QString &name,
                          const QString &caption,
                          const QKeySequence &shortcut,
                          void (frmMain::*handler)())
{
    auto *action = menu->addAction(caption);
    action->setObjectName(name);
    if (!shortcut.isEmpty())
        action->setShortcut(shortcut);
    if (handler)
        connect(action, &QAction::triggered, this, handler);
    m_items.insert(name, action);
    return action;
}

void frmMain::createMenus()
{
    auto addSeparator = [this](QMenu *menu, const QString &name) {
        QAction *bar = menu->addSeparator();
        bar->setObjectName(name);
        m_items.insert(name, bar);
    };
    auto addMenu = [this](const QString &name, const QString &caption) {
        QMenu *menu = menuBar()->addMenu(caption);
        menu->setObjectName(name);
        menu->menuAction()->setObjectName(name);
        m_items.insert(name, menu->menuAction());
        return menu;
    };

    QMenu *file = addMenu(QStringLiteral("mnuFile"), QStringLiteral("&File"));
    connect(file, &QMenu::aboutToShow, this, &frmMain::mnuFile_Click);
    addItem(
        file, "mnuFileNew", "&New", QKeySequence(Qt::CTRL | Qt::Key_N), &frmMain::mnuFileNew_Click);
    addItem(file,
            "mnuFileOpen",
            "&Open",
            QKeySequence(Qt::CTRL | Qt::Key_O),
            &frmMain::mnuFileOpen_Click);
    addItem(file, "mnuFileClose", "&Close", {}, &frmMain::mnuFileClose_Click);
    addItem(file, "mnuFileDelete", "&Delete ...", {}, &frmMain::mnuFileDelete_Click);
    addSeparator(file, QStringLiteral("mnuFileBar1"));
    addItem(file,
            "mnuFileSave",
            "&Save",
            QKeySequence(Qt::CTRL | Qt::Key_S),
            &frmMain::mnuFileSave_Click);
    addItem(file, "mnuFileSaveAs", "Save &As...", {}, &frmMain::mnuFileSaveAs_Click);
    addSeparator(file, QStringLiteral("mnuFileBar2"));
    addItem(file,
            "mnuFilePrint",
            "&Print ...",
            QKeySequence(Qt::CTRL | Qt::Key_P),
            &frmMain::mnuFilePrint_Click);
    addItem(
        file, "mnuFilePrinterSetup", "Printer Set&up...", {}, &frmMain::mnuFilePrinterSetup_Click);
    addSeparator(file, QStringLiteral("mnuFileBar3"));
    addItem(file, "mnuFileExit", "E&xit", {}, &frmMain::mnuFileExit_Click);

    QMenu *edit = addMenu(QStringLiteral("mnuEdit"), QStringLiteral("&Edit"));
    connect(edit, &QMenu::aboutToShow, this, &frmMain::mnuEdit_Click);
    addItem(edit, "mnuEditUndo", "&Undo", {}, &frmMain::mnuEditUndo_Click);
    addSeparator(edit, QStringLiteral("mnuEditBar1"));
    addItem(
        edit, "mnuEditCut", "Cu&t", QKeySequence(Qt::CTRL | Qt::Key_X), &frmMain::mnuEditCut_Click);
    addItem(edit,
            "mnuEditCopy",
            "&Copy",
            QKeySequence(Qt::CTRL | Qt::Key_C),
            &frmMain::mnuEditCopy_Click);
    addItem(edit,
            "mnuEditPaste",
            "&Paste",
            QKeySequence(Qt::CTRL | Qt::Key_V),
            &frmMain::mnuEditPaste_Click);
    addSeparator(edit, QStringLiteral("mnuEditBar2"));
    addItem(edit,
            "mnuEditFind",
            "&Find...",
            QKeySequence(Qt::CTRL | Qt::Key_F),
            &frmMain::mnuEditFind_Click);
    addItem(edit,
            "mnuEditFindNext",
            "Find &Next",
            QKeySequence(Qt::Key_F3),
            &frmMain::mnuEditFindNext_Click);

    QMenu *kv = addMenu(QStringLiteral("mnuKV"), QStringLiteral("&Tessaly"));
    addItem(kv, "mnuKV_Plots", "View Old Plots ...", {}, &frmMain::mnuKV_Plots_Click);
    addItem(kv,
            "mnuKV_Output",
            "View &Last Output ...",
            QKeySequence(Qt::CTRL | Qt::Key_L),
            &frmMain::mnuKV_Output_Click);
    addItem(kv,
            "mnuKV_Demo",
            "Run a &Demo ...",
            QKeySequence(Qt::CTRL | Qt::Key_D),
            &frmMain::mnuKV_Demo_Click);
    addSeparator(kv, QStringLiteral("mnuKV_Bar1"));
    addItem(kv,
            "mnuKV_Submit",
            "Submit file for &Run",
            QKeySequence(Qt::CTRL | Qt::Key_R),
            &frmMain::mnuKV_Submit_Click);
    addItem(kv, "mnuKV_Data", "Submit with Data file", {}, &frmMain::mnuKV_Data_Click);
    addItem(kv,
            "mnuKV_eMail",
            "eMail file for &Batch Run",
            QKeySequence(Qt::CTRL | Qt::Key_B),
            &frmMain::mnuKV_eMail_Click);
    addSeparator(kv, QStringLiteral("mnuKV_Bar2"));
    addItem(kv,
            "mnuKV_SubmitFromA",
            "Submit &From A: Drive",
            QKeySequence(Qt::Key_F5),
            &frmMain::mnuKV_SubmitFromA_Click);
    addItem(kv,
            "mnuKV_OutputToA",
            "Output &To A: Drive",
            QKeySequence(Qt::Key_F6),
            &frmMain::mnuKV_OutputToA_Click);

    // Hidden and disabled at all times; nothing stands behind it.
    QMenu *web = addMenu(QStringLiteral("mnuWeb"), QStringLiteral("&Web Links"));
    addItem(web, "mnuWebLink", "Remote Batch Job 'Cards' - Algebra", {}, nullptr);
    addItem(web, "mnuWebLink2", "Remote Batch Job 'Cards' - ODEs", {}, nullptr);
    web->menuAction()->setVisible(false);
    web->menuAction()->setEnabled(false);

    m_windowMenu = addMenu(QStringLiteral("mnuWindow"), QStringLiteral("&Window"));
    connect(m_windowMenu, &QMenu::aboutToShow, this, &frmMain::fillWindowMenu);
    addItem(m_windowMenu, "mnuWindowCascade", "&Cascade", {}, &frmMain::mnuWindowCascade_Click);
    addItem(m_windowMenu,
            "mnuWindowTileHorizontal",
            "Tile &Horizontal",
            {},
            &frmMain::mnuWindowTileHorizontal_Click);
    addItem(m_windowMenu,
            "mnuWindowTileVertical",
            "Tile &Vertical",
            {},
            &frmMain::mnuWindowTileVertical_Click);

    QMenu *help = addMenu(QStringLiteral("mnuHelp"), QStringLiteral("&Help"));
    addItem(help, "mnuHelpSearch", "Search Demo &Codes ...", {}, &frmMain::mnuHelpSearch_Click);
    addItem(help, "mnuHelpManual", "&Manual ...", {}, &frmMain::mnuHelpManual_Click);
    addSeparator(help, QStringLiteral("mnuHelpBar1"));
    addItem(help, "mnuHelpEmail", "&E-mail Support ...", {}, &frmMain::mnuHelpEmail_Click);
    addSeparator(help, QStringLiteral("mnuHelpBar2"));
    addItem(help, "mnuHelpAbout", "&About ...", {}, &frmMain::mnuHelpAbout_Click);
}

// The icons are compiled into the program's library, which must register them.
static void initResources()
{
    Q_INIT_RESOURCE(resources);
}

void frmMain::createToolBar()
{
    initResources();
    m_toolBar = addToolBar(QStringLiteral("Toolbar"));
    m_toolBar->setObjectName(QStringLiteral("tbToolBar"));
    m_toolBar->setMovable(false);
    struct Button
    {
        const char *key;
        const char *tooltip;
        const char *icon;
        bool groupEnd;
    };
    static const Button buttons[] = {
        {"New", "New", ":/icons/new.svg", false},
        {"Open", "Open", ":/icons/open.svg", false},
        {"Save", "Save", ":/icons/save.svg", false},
        {"Print", "Print", ":/icons/print.svg", true},
        {"Undo", "Undo", ":/icons/undo.svg", true},
        {"Cut", "Cut", ":/icons/cut.svg", false},
        {"Copy", "Copy", ":/icons/copy.svg", false},
        {"Paste", "Paste", ":/icons/paste.svg", false},
        {"Find", "Find", ":/icons/find.svg", true},
        {"Submit", "Submit for Execution", ":/icons/submit.svg", false},
        {"Data", "Submit with Data file", ":/icons/data.svg", false},
        {"Demo", "Run a Demo", ":/icons/demo.svg", false},
        {"Output", "View Last Output", ":/icons/output.svg", false},
    };
    for (const Button &b : buttons) {
        const QString key = QLatin1String(b.key);
        auto *action = m_toolBar->addAction(QIcon(QLatin1String(b.icon)), key);
        action->setObjectName(QStringLiteral("tb") + key);
        action->setData(key);
        action->setToolTip(QLatin1String(b.tooltip));
        // The toolbar runs its command whatever the menu's availability says.
        connect(action, &QAction::triggered, this, [this, key] { tbToolBar_ButtonClick(key); });
        m_buttons.insert(key, action);
        if (b.groupEnd)
            m_toolBar->addSeparator();
    }
}

void frmMain::createStatusBar()
{
    QStatusBar *bar = statusBar();
    bar->setObjectName(QStringLiteral("sbStatusBar"));
    auto *status = new QLabel(QStringLiteral("Status"), bar);
    status->setObjectName(QStringLiteral("sbStatus"));
    m_datePanel = new QLabel(bar);
    m_datePanel->setObjectName(QStringLiteral("sbDate"));
    m_timePanel = new QLabel(bar);
    m_timePanel->setObjectName(QStringLiteral("sbTime"));
    bar->addWidget(status, 1);
    bar->addPermanentWidget(m_datePanel);
    bar->addPermanentWidget(m_timePanel);
    auto update = [this] {
        const QDateTime now = QDateTime::currentDateTime();
        m_datePanel->setText(QLocale().toString(now.date(), QLocale::ShortFormat));
        m_timePanel->setText(QLocale().toString(now.time(), QLocale::ShortFormat));
    };
    update();
    auto *timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, update);
    timer->start(1000);
}

void frmMain::mnuFile_Click()
{
    const int t = ChildFormType();
    for (const char *name : {"mnuFileClose", "mnuFileSave", "mnuFileSaveAs", "mnuFilePrint"})
        m_items.value(QLatin1String(name))->setEnabled(t > 0);
    if (t > 0) {
        frmDocument *doc = activeDocument();
        if (!doc->CanSave())
            m_items.value(QStringLiteral("mnuFileSave"))->setEnabled(false);
        if (!doc->CanPrint())
            m_items.value(QStringLiteral("mnuFilePrint"))->setEnabled(false);
    }
}

void frmMain::mnuEdit_Click()
{
    const int t = ChildFormType();
    for (const char *name : {"mnuEditCut", "mnuEditCopy", "mnuEditPaste"})
        m_items.value(QLatin1String(name))->setEnabled(t >= 1);
    if (t >= 1) {
        frmDocument *doc = activeDocument();
        if (!doc->CanCopy())
            m_items.value(QStringLiteral("mnuEditCopy"))->setEnabled(false);
        if (!doc->CanCut())
            m_items.value(QStringLiteral("mnuEditCut"))->setEnabled(false);
        if (!doc->CanPaste())
            m_items.value(QStringLiteral("mnuEditPaste"))->setEnabled(false);
    }
}

void frmMain::updateCommandAvailability()
{
    mnuFile_Click();
    mnuEdit_Click();
}

bool frmMain::isFileOrEditShortcut(const QKeyEvent &key) const
{
    const QKeySequence pressed(
        QKeyCombination(key.modifiers() & ~Qt::KeypadModifier, Qt::Key(key.key())));
    for (auto it = m_items.cbegin(); it != m_items.cend(); ++it)
        if ((it.key().startsWith(QLatin1String("mnuFile"))
             || it.key().startsWith(QLatin1String("mnuEdit")))
            && !it.value()->shortcut().isEmpty() && it.value()->shortcut() == pressed)
            return true;
    return false;
}

bool frmMain::event(QEvent *event)
{
    // A key reaches a menu item's shortcut only after it was offered to the focus
    // widget and its parents. The availability rules are applied then, so the key
    // finds each File and Edit item as the active document is now, not as it was
    // when its menu was last opened.
    if (event->type() == QEvent::ShortcutOverride
        && isFileOrEditShortcut(*static_cast<QKeyEvent *>(event)))
        updateCommandAvailability();
    return QMainWindow::event(event);
}

void frmMain::releaseMenuKeys(frmDocument *doc) const
{
    // The editor component binds some of the menus' keys itself (Ctrl+X, Ctrl+C,
    // Ctrl+V, Ctrl+L, Ctrl+D); it would take them before the menu items could.
    const QList<QsciCommand *> commands = doc->rtfText()->standardCommands()->commands();
    for (const QAction *item : m_items) {
        if (item->shortcut().isEmpty())
            continue;
        const int key = item->shortcut()[0].toCombined();
        for (QsciCommand *command : commands) {
            if (command->key() == key)
                command->setKey(0);
            if (command->alternateKey() == key)
                command->setAlternateKey(0);
        }
    }
}

void frmMain::tbToolBar_ButtonClick(const QString &key)
{
    using Handler = void (frmMain::*)();
    static const std::pair<const char *, Handler> table[] = {
        {"New", &frmMain::mnuFileNew_Click},
        {"Open", &frmMain::mnuFileOpen_Click},
        {"Save", &frmMain::mnuFileSave_Click},
        {"Print", &frmMain::mnuFilePrint_Click},
        {"Undo", &frmMain::mnuEditUndo_Click},
        {"Cut", &frmMain::mnuEditCut_Click},
        {"Copy", &frmMain::mnuEditCopy_Click},
        {"Paste", &frmMain::mnuEditPaste_Click},
        {"Find", &frmMain::mnuEditFind_Click},
        {"Submit", &frmMain::mnuKV_Submit_Click},
        {"Data", &frmMain::mnuKV_Data_Click},
        {"Demo", &frmMain::mnuKV_Demo_Click},
        {"Output", &frmMain::mnuKV_Output_Click},
    };
    for (const auto &[name, handler] : table) {
        if (key == QLatin1String(name)) {
            (this->*handler)();
            return;
        }
    }
}

void frmMain::fillWindowMenu()
{
    for (QAction *a : std::as_const(m_windowListActions)) {
        m_windowMenu->removeAction(a);
        a->deleteLater();
    }
    m_windowListActions.clear();
    const QList<QMdiSubWindow *> subs = m_mdi->subWindowList(QMdiArea::CreationOrder);
    if (subs.isEmpty())
        return;
    m_windowListActions << m_windowMenu->addSeparator();
    int n = 1;
    for (QMdiSubWindow *sub : subs) {
        QString title = sub->windowTitle();
        title.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction *a = m_windowMenu->addAction(
            n < 10 ? QStringLiteral("&%1 %2").arg(QString::number(n), title) : title);
        a->setCheckable(true);
        a->setChecked(sub == m_mdi->activeSubWindow());
        connect(a, &QAction::triggered, this, [this, sub = QPointer<QMdiSubWindow>(sub)] {
            if (sub)
                m_mdi->setActiveSubWindow(sub);
        });
        m_windowListActions << a;
        ++n;
    }
}

int frmMain::cascadeStep() const
{
    QStyleOptionTitleBar option;
    option.initFrom(m_mdi);
    option.titleBarFlags = Qt::SubWindow | Qt::WindowTitleHint | Qt::WindowSystemMenuHint;
    const QWidget *sub = m_mdi->activeSubWindow();
    return std::max(1, m_mdi->style()->pixelMetric(QStyle::PM_TitleBarHeight, &option, sub));
}

QSize frmMain::documentWindowSize() const
{
    const QSize area = m_mdi->viewport()->size();
    return {std::max(area.width() * 3 / 4, 300), std::max(area.height() * 3 / 4, 200)};
}

QRect frmMain::newDocumentGeometry() const
{
    QRect r(QPoint(0, 0), documentWindowSize());
    if (const QMdiSubWindow *active = m_mdi->activeSubWindow(); active && !active->isMinimized()) {
        const int step = cascadeStep();
        r.moveTopLeft(active->geometry().topLeft() + QPoint(step, step));
    }
    if (!m_mdi->viewport()->rect().contains(r))
        r.moveTopLeft(QPoint(0, 0));
    return r;
}

// Every normal window gets the size of a new document window, each one title-bar
// height below and right of the one before; a window that would leave the client
// area starts again at 0, 0. The active window ends in front. Minimised windows
// keep their place.
void frmMain::mnuWindowCascade_Click()
{
    const QRect area = m_mdi->viewport()->rect();
    const QSize size = documentWindowSize();
    const int step = cascadeStep();
    QPoint next(0, 0);
    for (QMdiSubWindow *sub : m_mdi->subWindowList(QMdiArea::StackingOrder)) {
        if (sub->isMinimized() || sub->isHidden())
            continue;
        if (sub->isMaximized())
            sub->showNormal();
        QRect r(next, size);
        if (!area.contains(r))
            r.moveTopLeft(QPoint(0, 0));
        sub->setGeometry(r);
        next = r.topLeft() + QPoint(step, step);
    }
}

void frmMain::mnuWindowTileHorizontal_Click()
{
    tileWindows(Qt::Vertical);
}

void frmMain::mnuWindowTileVertical_Click()
{
    tileWindows(Qt::Horizontal);
}

// Horizontal tiling stacks the windows one above the other (each full width);
// vertical tiling puts them side by side (each full height). Minimised windows
// keep their place.
void frmMain::tileWindows(Qt::Orientation stacking)
{
    QList<QMdiSubWindow *> subs;
    for (QMdiSubWindow *sub : m_mdi->subWindowList(QMdiArea::StackingOrder))
        if (!sub->isMinimized() && sub->isVisible())
            subs << sub;
    if (subs.isEmpty())
        return;
    const QRect area = m_mdi->viewport()->rect();
    const int n = static_cast<int>(subs.size());
    for (int i = 0; i < n; ++i) {
        QMdiSubWindow *sub = subs.at(n - 1 - i); // the active window first
        if (sub->isMaximized())
            sub->showNormal();
        QRect r;
        if (stacking == Qt::Vertical) {
            const int top = area.height() * i / n;
            const int bottom = area.height() * (i + 1) / n;
            r = QRect(0, top, area.width(), bottom - top);
        } else {
            const int left = area.width() * i / n;
            const int right = area.width() * (i + 1) / n;
            r = QRect(left, 0, right - left, area.height());
        }
        sub->setGeometry(r);
    }
}
