#include "frmDemo.h"

#include "DemoCatalogue.h"
#include "DemoHost.h"
#include "EnsureIniFile.h"
#include "ProportionalLayout.h"
#include "core/AppContext.h"
#include "core/AppState.h"
#include "core/Twips.h"
#include "editor/frmDocument.h"
#include "editor/mdlFileChecks.h"
#include "platform/KvError.h"
#include "platform/UserDialogs.h"
#include "runs/mdlKV.h"
#include "toolkit/ToolKit.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>

namespace {

// The design layout: the window's inner size and every control's rectangle in
// twips; a control on a tab page is placed relative to the tab control.
constexpr QSize kDesignInner(11880, 6390);

struct Placed
{
    const char *name;
    QRect rect;
};

// A caption as a label shows it: "&&" is one "&".
QString shown(const QString &caption)
{
    return QString(caption).replace(QStringLiteral("&&"), QStringLiteral("&"));
}

// Rows compare their cells' texts without regard to letter case first, so "fitExam"
// sorts between "BVP" and "IVP"; texts that differ only in case keep a fixed order.
class DemoItem : public QTreeWidgetItem
{
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem &other) const override
    {
        const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
        const QString a = text(column);
        const QString b = other.text(column);
        const int folded = a.compare(b, Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : a < b;
    }
};

QLabel *makeLabel(QWidget *parent, const char *name, const QString &caption)
{
    auto *label = new QLabel(shown(caption), parent);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

} // namespace

frmDemo::frmDemo(AppContext &ctx, DemoHost &host, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_ctx(ctx)
    , m_host(host)
    , m_layout(new ProportionalLayout(this, kDesignInner))
{
    setObjectName(QStringLiteral("frmDemo"));
    setWindowTitle(QStringLiteral("Edit or View Demos"));
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(10.5);
    setFont(font);
    buildControls();
    resize(Twips::toPxX(kDesignInner.width(), this), Twips::toPxY(kDesignInner.height(), this));
}

frmDemo::~frmDemo() = default;

void frmDemo::buildControls()
{
    auto place = [this](QWidget *w, int tabIndex, const QRect &twips) {
        w->setProperty("TabIndex", tabIndex);
        m_layout->add(w, twips);
    };

    QLabel *title = makeLabel(this, "lblTitle", QStringLiteral("Heat Transfer Source Codes"));
    QFont titleFont(QStringLiteral("Arial"));
    titleFont.setPointSize(18);
    title->setFont(titleFont);
    title->setWordWrap(false);
    place(title, 8, {3975, 105, 4590, 405});
    QLabel *descriptions = makeLabel(
        this,
        "lblDescriptions",
        QStringLiteral(
            "Select a demo file and submit it for a run or editing on your mainframe computer."));
    descriptions->setWordWrap(false);
    place(descriptions, 9, {1321, 525, 9945, 240});

    // Created in the keyboard's order: the first three buttons, the tabs with their
    // lists, Cancel.
    auto button = [this, &place](const char *name,
                                 const QString &caption,
                                 int tabIndex,
                                 const QRect &twips,
                                 void (frmDemo::*handler)()) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        QFont f(QStringLiteral("Arial"));
        f.setPointSize(12);
        b->setFont(f);
        b->setAutoDefault(false);
        place(b, tabIndex, twips);
        connect(b, &QPushButton::clicked, this, handler);
        return b;
    };
    m_run = button("cmdRunDemo",
                   QStringLiteral("S&ubmit Demo"),
                   2,
                   {1500, 5770, 2000, 485},
                   &frmDemo::cmdRunDemo_Click);
    m_edit = button("cmdEditDemo",
                    QStringLiteral("&Edit Demo"),
                    3,
                    {4000, 5770, 1600, 485},
                    &frmDemo::cmdEditDemo_Click);
    m_answer = button("cmdViewAnswer",
                      QStringLiteral("View Answer"),
                      4,
                      {6000, 5770, 1600, 485},
                      &frmDemo::cmdViewAnswer_Click);
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("ODE_tabs"));
    place(m_tabs, 1, {0, 979, 11865, 4607});

    struct TabSpec
    {
        const char *caption;
        const char *list;
        QList<std::pair<Placed, QString>> labels;
    };
    // The explanatory labels reach down to the next label or the foot of the page,
    // so their last lines are not cut off in the window font.
    const TabSpec tabs[5] = {
        {"&Initial Value Problems",
         "ListViewIVP",
         {{{"lblIVPIntro", {120, 480, 4095, 2160}},
           QStringLiteral(
               "Initial-Value-Problem (IVP) demo files are listed to the right.  Each file "
               "demonstrates how to integrate some Partial or Ordinary Differential Equations "
               "(PDEs or ODEs) in just a few lines of code.  IVPs must have a set of Initial "
               "Conditions where as Boundary-Value-Problems (BVPs)  find their Initial "
               "Conditions.")},
          {{"lblIVPIntro3", {120, 2640, 4215, 1815}},
           QStringLiteral(
               "The -Find- statement is key to Lumetry.  A Find statement calls a routine until "
               "its objective function (see the -To- phase) is satisfied. There are several "
               "solvers to choose from; all are in a library (you just reference a solver by "
               "name ... no numerical code necessary)!")}}},
        {"&Boundary Value Problems",
         "ListViewBVP",
         {{{"lblBVP1", {120, 480, 4095, 3975}},
           QStringLiteral(
               "Boundary-Value-Problem (IVP) demo files are listed to the right.  Each file "
               "demonstrates how to find their Initial Conditions while integrating some Partial "
               "or Ordinary Differential Equations (PDEs or ODEs) in just a few lines of code.  "
               "Most demos require less than 100 lines of code.")}}},
        {"In&verse Problems",
         "ListViewIP",
         {{{"lblIP1", {120, 480, 4215, 3975}},
           QStringLiteral(
               "Inverse Problems (IPs) are problems where the user knowns the target but not how "
               "to get their.  For example, an airplane crashes at point XYZ but how the plane "
               "got to this position is NOT known.  Create a math model in order to simulate the "
               "airplane flying and set the objective to hit the XYZ point.  Now you have a IP "
               "problem that Lumetry can solve.")}}},
        {"S&olvers",
         "ListViewSolv",
         {{{"lblSolv1", {120, 480, 4095, 3975}},
           QStringLiteral(
               "Solvers are built-in numerical methods for solving various types of math "
               "problems.  Most solvers can be nested; i.e. one solver can execute a routine "
               "where another solver becomes activated.  This allows one to simulate several "
               "R&&D projects, manufacturing processes, and distribution ALL in one run.")}}},
        {"&Templates",
         "ListViewTemp",
         {{{"lblTemp1", {120, 480, 4095, 3975}},
           QStringLiteral(
               "These template files are for you to modify in order that you save time in "
               "developing your Lumetry solutions to your math problems.  Use Windows Explore "
               "and NotePad to edit these files.")}}},
    };
    // Each tab's list comes first in the tab order of its page, so it takes the
    // focus when its tab is chosen; the labels come after everything else.
    const int listTabIndex[5] = {5, 6, 10, 11, 12};
    int labelTabIndex = 13;
    for (int i = 0; i < 5; ++i) {
        auto *page = new QWidget(m_tabs);
        page->setObjectName(QStringLiteral("tab%1").arg(i));
        m_tabs->addTab(page, QLatin1String(tabs[i].caption));
        auto *list = new QTreeWidget(page);
        list->setObjectName(QLatin1String(tabs[i].list));
        list->setColumnCount(4);
        list->setHeaderLabels({QStringLiteral("Filename"),
                               QStringLiteral("Description"),
                               QStringLiteral("Levels"),
                               QStringLiteral("Solver")});
        list->headerItem()->setTextAlignment(2, Qt::AlignCenter);
        const int widths[4] = {1440, 4200, 800, 1440};
        for (int c = 0; c < 4; ++c)
            list->setColumnWidth(c, Twips::toPxX(widths[c], this));
        list->setRootIsDecorated(false);
        list->setItemsExpandable(false);
        list->setUniformRowHeights(true);
        list->setAllColumnsShowFocus(true);
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        list->setSortingEnabled(false);
        list->header()->setSectionsClickable(true);
        list->header()->setSortIndicatorShown(false);
        list->header()->setStretchLastSection(true);
        m_lists[i] = list;
        place(list, listTabIndex[i], {4320, 360, 7455, 4095});
        connect(list, &QTreeWidget::itemClicked, this, [this, i] { ListView_Click(i); });
        connect(list->header(), &QHeaderView::sectionClicked, this, [this, i](int logical) {
            ListView_ColumnClick(i, logical + 1);
        });
        for (const auto &[where, caption] : tabs[i].labels)
            place(makeLabel(page, where.name, caption), labelTabIndex++, where.rect);
    }

    m_cancel = button("cmdCancelDemo",
                      QStringLiteral("&Cancel"),
                      7,
                      {8000, 5770, 1600, 485},
                      &frmDemo::cmdCancelDemo_Click);
    // The captionless labels that fill the gaps of the button row.
    const Placed fills[4] = {{"lblFillLeft", {0, 5770, 1500, 485}},
                             {"lblFillCtr1", {3500, 5770, 500, 485}},
                             {"lblFillCtr2", {5600, 5770, 400, 485}},
                             {"lblFillRight", {9600, 5770, 2280, 485}}};
    int fillIndex = 30;
    for (const Placed &fill : fills)
        place(makeLabel(this, fill.name, QString()), fillIndex++, fill.rect);

    connect(m_tabs, &QTabWidget::currentChanged, this, [this] { ODE_tabs_Click(); });
}

void frmDemo::Form_Load()
{
    AppState &s = m_ctx.state;
    // 1. and 2.
    m_host.Start_Path();
    EnsureIniFile(m_ctx, this);
    // 3.
    m_run->setEnabled(!s.OdeEnv.isEmpty() && !s.BasePath.isEmpty());
    // 4.
    m_demoPath = ToolKit::demoDir(m_ctx);
    // 5. Every row of the catalogue, tab by tab.
    for (const DemoRow &row : DemoCatalogue::rows())
        AddDemoRow(m_lists[row.tab], {row.filename, row.description, row.levels, row.solver});
    // 6. The templates are shown sorted by file name, ascending.
    m_sort[4].sortKey = 0;
    m_sort[4].sorted = true;
    sortList(4);
    // Every list reports a selected row from the start: its first one.
    for (QTreeWidget *list : m_lists)
        if (list->topLevelItemCount() > 0)
            list->setCurrentItem(list->topLevelItem(0));
    // 7. and 8.
    m_demoFilename = QStringLiteral("heat-ivp.ty");
    show();
}

void frmDemo::AddDemoRow(QTreeWidget *list, const std::array<QString, 4> &fields)
{
    auto *item = new DemoItem(list, QStringList{fields[0]});
    for (int i = 1; i <= 3; ++i) {
        item->setText(i, fields[i]);
        if (i == 1 && DemoCatalogue::isGuide(fields[0])) {
            QFont bold = item->font(i);
            bold.setBold(true);
            item->setFont(i, bold);
            item->setForeground(i, QColor(255, 0, 0));
        } else if (fields[0] == QLatin1String("Heat-ivp")) {
            QFont bold = item->font(i);
            bold.setBold(true);
            item->setFont(i, bold);
        }
    }
    item->setTextAlignment(2, Qt::AlignCenter);
}

void frmDemo::AddDemoExtension()
{
    m_demoFilename = DemoCatalogue::fileNameOf(m_demoFilename);
}

void frmDemo::UpdateDemoButtons()
{
    AppState &s = m_ctx.state;
    s.ProgramPath = m_ctx.programDir;
    m_edit->setEnabled(FileExists(m_ctx, joinPath(ToolKit::demoDir(m_ctx), m_demoFilename)));
    const QString ext = m_demoFilename.right(4) == QLatin1String(".txt") ? QStringLiteral(".txt")
                                                                         : QStringLiteral(".ty");
    const QString answer = QString(m_demoFilename).replace(ext, QStringLiteral(".out"));
    m_answer->setEnabled(FileExists(m_ctx, ToolKit::answersDir(m_ctx) + answer));
}

void frmDemo::ListView_Click(int tab)
{
    // A click beside the rows leaves the chosen demo as it is.
    QTreeWidgetItem *item = m_lists[tab]->currentItem();
    if (!item)
        return;
    m_demoFilename = item->text(0);
    AddDemoExtension();
    UpdateDemoButtons();
}

void frmDemo::ODE_tabs_Click()
{
    EnableTabControls(m_tabs);
    SelectTabDemo();
}

void frmDemo::SelectTabDemo()
{
    const int tab = m_tabs->currentIndex();
    if (tab < 0 || tab > 4)
        return;
    QTreeWidgetItem *item = m_lists[tab]->currentItem();
    if (!item)
        return;
    m_demoFilename = item->text(0);
    AddDemoExtension();
    UpdateDemoButtons();
}

void frmDemo::EnableTabControls(QTabWidget *tab)
{
    int lowest = 99999;
    for (int i = 0; i < tab->count(); ++i) {
        const bool visiblePage = i == tab->currentIndex();
        const QList<QWidget *> controls
            = tab->widget(i)->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
        for (QWidget *control : controls) {
            if (control->objectName().startsWith(QLatin1String("mnu")))
                continue;
            if (!visiblePage) {
                control->setEnabled(false);
                continue;
            }
            control->setEnabled(true);
            const int index = control->property("TabIndex").toInt();
            if (index < lowest) {
                lowest = index;
                if (control->focusPolicy() != Qt::NoFocus)
                    control->setFocus();
            }
        }
    }
}

void frmDemo::ListView_ColumnClick(int tab, int column)
{
    SortState &state = m_sort[tab];
    if (state.sorted && column == state.sortKey + 1)
        state.sortOrder = state.sortOrder == 0 ? 1 : 0;
    else {
        state.sortOrder = 0;
        state.sortKey = column - 1;
    }
    state.sorted = true;
    sortList(tab);
}

void frmDemo::sortList(int tab)
{
    const SortState &state = m_sort[tab];
    m_lists[tab]->sortItems(state.sortKey,
                            state.sortOrder == 0 ? Qt::AscendingOrder : Qt::DescendingOrder);
}

frmDocument *frmDemo::chooseDocument()
{
    if (m_host.ChildFormType() > 0)
        if (frmDocument *doc = m_host.activeDocument(); doc && doc->IsEmpty())
            return doc;
    m_host.mnuFileNew_Click();
    return m_host.activeDocument();
}

bool frmDemo::loadInto(frmDocument *doc, const QString &path)
{
    if (!doc)
        return false;
    try {
        doc->LoadFile(path);
        return true;
    } catch (const KvError &e) {
        m_ctx.dialogs.message(this,
                              {QStringLiteral("The file '") + path
                                   + QStringLiteral("' could not be read.\r\n")
                                   + unexpectedErrorText(e),
                               QString(),
                               MsgButtons::OK,
                               MsgIcon::Exclamation});
        return false;
    }
}

void frmDemo::showMainWindow()
{
    QWidget *main = m_host.hostWindow();
    main->show();
    main->raise();
    main->activateWindow();
}

void frmDemo::cmdRunDemo_Click()
{
    AppState &s = m_ctx.state;
    m_host.Start_Path();
    s.CodeDir = ToolKit::demoDir(m_ctx);
    s.CodeName = m_demoFilename;
    s.RunMode = QStringLiteral("demo");
    m_host.RunCodeFile();
}

namespace {
// Whether a chosen demo names a code file or a guide (exact case).
bool namesDemoFile(const QString &name)
{
    return name.right(3) == QLatin1String("txt") || name.right(2) == QLatin1String("ty");
}
} // namespace

void frmDemo::cmdEditDemo_Click()
{
    AppState &s = m_ctx.state;
    // 1. An answer name left by View Answer turns back into its demo's name: ".ty"
    // for a code file, ".txt" for a guide.
    if (m_demoFilename.right(3).toLower() == QLatin1String("out")) {
        m_demoFilename.chop(3);
        const QString stem
            = m_demoFilename.endsWith(u'.') ? m_demoFilename.chopped(1) : m_demoFilename;
        m_demoFilename
            += DemoCatalogue::isGuide(stem) ? QStringLiteral("txt") : QStringLiteral("ty");
    }
    // 2. to 5.
    if (!namesDemoFile(m_demoFilename))
        return;
    frmDocument *doc = chooseDocument();
    m_demoPath = ToolKit::demoDir(m_ctx);
    const QString path = joinPath(m_demoPath, m_demoFilename);
    if (!loadInto(doc, path))
        return;
    // 6. The file as it was found on disk.
    const QString found = resolveExistingPath(path);
    s.CodeName = SplitFilePath(found.isEmpty() ? path : found, s.CodeDir);
    // 7.
    hide();
    showMainWindow();
}

void frmDemo::cmdViewAnswer_Click()
{
    AppState &s = m_ctx.state;
    // 1. and 2.
    if (!namesDemoFile(m_demoFilename))
        return;
    frmDocument *doc = chooseDocument();
    // 3. and 4. A code file's answer replaces ".ty" by ".out"; a guide's replaces
    // ".txt", the answer whose presence made the button available.
    m_demoPath = ToolKit::demoAnswersDir(m_ctx);
    const QString ext = m_demoFilename.right(4) == QLatin1String(".txt") ? QStringLiteral(".txt")
                                                                         : QStringLiteral(".ty");
    m_demoFilename.replace(ext, QStringLiteral(".out"));
    // 5. and 6.
    const QString path = m_demoPath + m_demoFilename;
    if (!loadInto(doc, path))
        return;
    const QString found = resolveExistingPath(path);
    QString dir;
    s.CodeName = SplitFilePath(found.isEmpty() ? path : found, dir);
    s.CodeDir = dir + QLatin1Char('/');
    // 7. Without the plot viewer the catalogue stays.
    const QString viewer = ToolKit::plotsViewer(m_ctx);
    if (!FileExists(m_ctx, viewer))
        return;
    // 8. and 9.
    const qsizetype dot = m_demoFilename.lastIndexOf(u'.');
    const QString stem = dot < 0 ? m_demoFilename : m_demoFilename.left(dot);
    const QString plotDir = ToolKit::answersDir(m_ctx);
    hide();
    showMainWindow();
    // 10. to 12. The picture is preferred to the plot data; at most one is shown.
    for (const QString &plotExt : {QStringLiteral(".gif"), QStringLiteral(".plt")}) {
        const QString plot = resolveExistingPath(plotDir + stem + plotExt);
        if (plot.isEmpty() || !FileExists(m_ctx, plot))
            continue;
        QString foundDir;
        const QString plotName = SplitFilePath(plot, foundDir);
        try {
            SetPlotFile(m_ctx, plotName, foundDir + QLatin1Char('/'));
        } catch (const KvError &) {
            // The viewer still shows the plot it is given; only the hand-off is lost.
        }
        StartRequest request = ToolKit::plotsRequest(m_ctx, plot, WindowStyle::MaximizedFocus);
        request.program = resolveExistingPath(viewer);
        ToolKit::startOrReport(m_ctx, this, request);
        return;
    }
    m_host.hostWindow()->activateWindow();
}

void frmDemo::cmdCancelDemo_Click()
{
    hide();
    showMainWindow();
}

void frmDemo::Form_QueryUnload(bool &cancel, int unloadMode)
{
    if (unloadMode == 0)
        cmdCancelDemo_Click();
    cancel = false;
}

void frmDemo::closeEvent(QCloseEvent *event)
{
    // The window system's close (the close box) is the user's; a close by the
    // program (the main window unloading) is not.
    bool cancel = false;
    Form_QueryUnload(cancel, event->spontaneous() ? 0 : 1);
    event->setAccepted(!cancel);
}

void frmDemo::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_layout->apply();
}
