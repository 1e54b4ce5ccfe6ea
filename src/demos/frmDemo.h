#pragma once

#include <QWidget>

#include <array>

struct AppContext;
class DemoHost;
class frmDocument;
class ProportionalLayout;
class QLabel;
class QPushButton;
class QTabWidget;
class QTreeWidget;

// The demo catalogue: the demonstration files of the tool kit on five tabs, one
// chosen demo, and the four buttons that run, edit, answer or put it away. A
// window of its own beside the main window; hiding it keeps its state, closing it
// discards it.
class frmDemo : public QWidget
{
    Q_OBJECT

public:
    frmDemo(AppContext &ctx, DemoHost &host, QWidget *parent = nullptr);
    ~frmDemo() override;

    // Runs once, when the window is loaded; shows it.
    void Form_Load();

    // The chosen demo, with its extension ("heat-ivp.ty", "^FIND-stmt.txt").
    QString DemoFilename() const { return m_demoFilename; }
    // The directory of the last demo action.
    QString DemoPath() const { return m_demoPath; }

    // The list of a tab (0 to 4) and the tab control.
    QTreeWidget *list(int tab) const { return m_lists[tab]; }
    QTabWidget *ODE_tabs() const { return m_tabs; }
    // The button row: cmdRunDemo, cmdEditDemo, cmdViewAnswer, cmdCancelDemo.
    QPushButton *cmdRunDemo() const { return m_run; }
    QPushButton *cmdEditDemo() const { return m_edit; }
    QPushButton *cmdViewAnswer() const { return m_answer; }
    QPushButton *cmdCancelDemo() const { return m_cancel; }
    ProportionalLayout &layoutHelper() const { return *m_layout; }

    // A mouse click in a tab's list (the row under the mouse is then selected).
    void ListView_Click(int tab);
    // A click on a column header of a tab's list; column is one-based.
    void ListView_ColumnClick(int tab, int column);
    // The user changes tab.
    void ODE_tabs_Click();

    void cmdRunDemo_Click();
    void cmdEditDemo_Click();
    void cmdViewAnswer_Click();
    void cmdCancelDemo_Click();
    // The close request: unload mode 0 when the user closes the window.
    void Form_QueryUnload(bool &cancel, int unloadMode);

    // Each list's sorting: the zero-based sort column, 0 ascending / 1 descending,
    // and whether it was sorted.
    struct SortState
    {
        int sortKey = 0;
        int sortOrder = 0;
        bool sorted = false;
    };
    SortState sortState(int tab) const { return m_sort[tab]; }

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void buildControls();
    void AddDemoRow(QTreeWidget *list, const std::array<QString, 4> &fields);
    void AddDemoExtension();
    void UpdateDemoButtons();
    void EnableTabControls(QTabWidget *tab);
    void SelectTabDemo();
    void sortList(int tab);
    // Edit Demo and View Answer load into an empty active code document, else into
    // a new one; null when neither exists.
    frmDocument *chooseDocument();
    // Loads path into doc; says why when it cannot, and then false.
    bool loadInto(frmDocument *doc, const QString &path);
    void showMainWindow();

    AppContext &m_ctx;
    DemoHost &m_host;
    QString m_demoFilename;
    QString m_demoPath;
    QTabWidget *m_tabs = nullptr;
    std::array<QTreeWidget *, 5> m_lists{};
    std::array<SortState, 5> m_sort{};
    QPushButton *m_run = nullptr;
    QPushButton *m_edit = nullptr;
    QPushButton *m_answer = nullptr;
    QPushButton *m_cancel = nullptr;
    ProportionalLayout *m_layout = nullptr;
};
