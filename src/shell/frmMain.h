#pragma once

#include "demos/DemoHost.h"
#include "demos/frmDemo.h"
#include "editor/EditorHost.h"
#include "editor/frmDocument.h"
#include "runs/RunHost.h"

#include <QHash>
#include <QMainWindow>
#include <QPointer>

#include <memory>

struct AppContext;
class EditCommands;
class KvError;
class QAction;
class QKeyEvent;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class PrintCommands;
class QToolBar;
class RunController;

// The main window: a multiple-document frame holding the code document windows,
// the menu bar, the toolbar and the status bar.
class frmMain : public QMainWindow,
                public DocumentHost,
                public RunHost,
                public DemoHost,
                public EditorHost
{
    Q_OBJECT

public:
    explicit frmMain(AppContext &ctx, QWidget *parent = nullptr);
    ~frmMain() override;

    // Runs once when the main window is loaded. False when the program must end at
    // once (no tool-kit base directory).
    bool MDIForm_Load();
    // Fills BasePath, ProductDir, ProgramPath and OdeEnv; false (after its message)
    // when the program directory has no base directory above it.
    bool Start_Path() override;
    // 0 with no active child window, 1 for a code document, -1 for any other.
    int ChildFormType() const override;
    frmDocument *activeDocument() const override;
    QList<frmDocument *> documents() const;
    // The window created while loading; null once it was closed.
    frmDocument *startupDocument() const { return m_startupDoc; }
    bool ExitRequested() const { return m_exitRequested; }
    // The demo catalogue window, once it was opened.
    frmDemo *demoWindow() const;

    // Creates a new document window and shows it.
    frmDocument *newDocument();

    // File menu
    void mnuFile_Click();
    void mnuFileNew_Click() override;
    void mnuFileOpen_Click();
    void mnuFileClose_Click();
    void mnuFileDelete_Click();
    void mnuFileSave_Click() override;
    void mnuFileSaveAs_Click() override;
    void mnuFilePrint_Click();
    void mnuFilePrinterSetup_Click();
    void mnuFileExit_Click();
    // Edit menu
    void mnuEdit_Click();
    void mnuEditUndo_Click();
    void mnuEditCut_Click();
    void mnuEditCopy_Click();
    void mnuEditPaste_Click();
    void mnuEditFind_Click();
    void mnuEditFindNext_Click();
    // Tessaly menu
    void mnuKV_Plots_Click();
    void mnuKV_Output_Click();
    void mnuKV_Demo_Click();
    void mnuKV_Submit_Click();
    void mnuKV_Data_Click();
    void mnuKV_eMail_Click();
    void mnuKV_SubmitFromA_Click();
    void mnuKV_OutputToA_Click();
    // Window menu
    void mnuWindowCascade_Click();
    void mnuWindowTileHorizontal_Click();
    void mnuWindowTileVertical_Click();
    // Help menu
    void mnuHelpSearch_Click();
    void mnuHelpManual_Click();
    void mnuHelpEmail_Click();
    void mnuHelpAbout_Click();

    // Runs the command of the toolbar button with this key (exact case).
    void tbToolBar_ButtonClick(const QString &key);

    // The menu item or toolbar button of that name ("mnuFileSave", "Save").
    QAction *menuItem(const QString &name) const { return m_items.value(name); }
    QAction *toolButton(const QString &key) const { return m_buttons.value(key); }
    QMdiArea *mdiArea() const { return m_mdi; }
    RunController &runs() { return *m_runs; }
    EditCommands &editCommands() { return *m_edit; }
    PrintCommands &printCommands() { return *m_print; }

    // RunHost
    QWidget *hostWindow() override { return this; }
    bool PrepareRestart(const QString &programName) override;
    FileDialogState &startupDialog() override;
    frmDocument *openNewDocument() override;

    // The size a new or cascaded document window gets: three quarters of the
    // frame's client area each way, never less than 300 x 200 pixels.
    QSize documentWindowSize() const;
    // DemoHost
    bool RunCodeFile() override;

protected:
    bool event(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void StartWorkspace();
    // A file the start-up could not open: said, and the start-up goes on.
    void reportUnreadable(const QString &what, const QString &path, const KvError &e);
    void MDIForm_Resize();
    // The placement, with its window frame, moved and shrunk into the available
    // area of the screen it lies most on (the primary screen when it lies on none).
    QRect fitToScreen(const QRect &placement, const QMargins &frame = {}) const;
    // The window frame's width on each side; none until the window was shown.
    QMargins frameMargins() const;
    // The File and Edit availability rules, applied now.
    void updateCommandAvailability();
    // True when the key is the shortcut of a File or Edit menu item.
    bool isFileOrEditShortcut(const QKeyEvent &key) const;
    // The editor must not take the keys the menus own.
    void releaseMenuKeys(frmDocument *doc) const;
    // One title-bar height: the step between cascaded document windows.
    int cascadeStep() const;
    QRect newDocumentGeometry() const;
    void MDIForm_QueryUnload(bool &cancel, int unloadMode);
    void MDIForm_Unload(bool &cancel);
    void DeleteChosenFile();
    void createMenus();
    void createToolBar();
    void createStatusBar();
    void fillWindowMenu();
    void tileWindows(Qt::Orientation stacking);
    // Asks every document window whether it may close, then closes them all.
    bool unloadDocuments();
    QString kvWinIniPath() const;
    void showDemoCatalogue();
    QAction *addItem(QMenu *menu,
                     const QString &name,
                     const QString &caption,
                     const QKeySequence &shortcut,
                     void (frmMain::*handler)());
    QMdiSubWindow *subWindowOf(frmDocument *doc) const;

    AppContext &m_ctx;
    std::unique_ptr<RunController> m_runs;
    std::unique_ptr<EditCommands> m_edit;
    std::unique_ptr<PrintCommands> m_print;
    QMdiArea *m_mdi = nullptr;
    QToolBar *m_toolBar = nullptr;
    QMenu *m_windowMenu = nullptr;
    QHash<QString, QAction *> m_items;
    QHash<QString, QAction *> m_buttons;
    QList<QAction *> m_windowListActions;
    QLabel *m_datePanel = nullptr;
    QLabel *m_timePanel = nullptr;
    QPointer<frmDocument> m_startupDoc;
    // The start-up document's dialog; kept for Delete after that window closed.
    std::shared_ptr<FileDialogState> m_startupDialog;
    QPointer<frmDemo> m_demo;
    bool m_exitRequested = false;
    bool m_firstShow = true;
    bool m_exitInProgress = false;
    bool m_closingByExit = false;
    bool m_sessionEnding = false;
};
