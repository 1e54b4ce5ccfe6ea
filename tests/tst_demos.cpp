#include "TestDoubles.h"

#include "core/Twips.h"
#include "core/mdlRegistryAPI.h"
#include "demos/DemoCatalogue.h"
#include "demos/EnsureIniFile.h"
#include "demos/ProportionalLayout.h"
#include "demos/frmDemo.h"
#include "platform/AppInfo.h"
#include "shell/frmMain.h"

#include <QApplication>
#include <QDate>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QStandardPaths>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

using namespace mdlRegistryAPI;

namespace {

// A loaded main window over a temporary install tree, the catalogue opened from
// its menu command. ode-TY is set unless told otherwise.
struct Catalogue
{
    explicit Catalogue(bool toolKit = true)
        : cwd(QDir::currentPath())
    {
        if (toolKit)
            qputenv("ode-TY", "sample");
        else
            qunsetenv("ode-TY");
        Harness::write(h.program + u"/DOSstart.ode"_qs, "# settings\r\n");
        QDir().mkpath(answers());
        w = std::make_unique<frmMain>(h.ctx);
        w->MDIForm_Load();
        w->show();
        h.dialogs.messages.clear();
    }
    ~Catalogue()
    {
        w.reset();
        QDir::setCurrent(cwd);
        qunsetenv("ode-TY");
    }
    frmDemo *open()
    {
        w->mnuKV_Demo_Click();
        return w->demoWindow();
    }
    QString demos() const { return h.program + u"/demos/all"_qs; }
    QString answers() const { return h.program + u"/demos/all/answers"_qs; }
    void demoFile(const QString &name, const QByteArray &bytes = "Print 1\r\n")
    {
        Harness::write(demos() + u'/' + name, bytes);
    }
    void answerFile(const QString &name, const QByteArray &bytes = "answer\r\n")
    {
        Harness::write(answers() + u'/' + name, bytes);
    }
    void viewer() { Harness::write(h.base + u"/plots.exe"_qs, "#!/bin/sh\n"); }

    Harness h;
    QString cwd;
    std::unique_ptr<frmMain> w;
};

// Chooses a row by its file name as a click does.
void choose(frmDemo *d, int tab, const QString &filename)
{
    QTreeWidget *list = d->list(tab);
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (list->topLevelItem(i)->text(0) == filename) {
            list->setCurrentItem(list->topLevelItem(i));
            d->ListView_Click(tab);
            return;
        }
    QFAIL(qPrintable(u"no row "_qs + filename));
}

QStringList column(const QTreeWidget *list, int c)
{
    QStringList texts;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        texts << list->topLevelItem(i)->text(c);
    return texts;
}

} // namespace

class DemosTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // The marker file
    void theMarkerLineIsWindows1252WithTheShortDate();
    void theMarkerIsCreatedOnceAndNeverRewritten();
    void aMarkerThatCannotBeReadOrCreatedIsReported();

    // Contents and display
    void everyRowIsInItsListInOrder();
    void guideAndStartDemoRowsAreFormatted();
    void captionsLabelsAndButtons();
    void submitDemoNeedsTheToolKit();
    void buttonAvailabilityFollowsTheFiles_data();
    void buttonAvailabilityFollowsTheFiles();
    void aMouseClickChoosesTheRow();
    void columnHeadersSortByTheirRules();
    void changingTabChoosesItsRowAndDisablesTheOthers();
    void controlsScaleWithTheWindow();

    // Actions
    void editDemoReusesOnlyAnEmptyCodeDocument();
    void viewAnswerLoadsTheAnswerAndShowsItsPlot_data();
    void viewAnswerLoadsTheAnswerAndShowsItsPlot();
    void viewAnswerWithoutTheViewerKeepsTheCatalogue();
    void editDemoAfterViewAnswerOpensTheCodeAgain();
    void aGuideOpensItsAnswerAndThenItself();
    void submitDemoRunsFromTheDemoFolder();
    void submitDemoRefusesAGuide();
    void anUnreadableDemoIsReportedAndNothingElseHappens();
    void cancelKeepsTheStateAndTheCloseBoxDiscardsIt();
    void exitOnAFirstRunOpensTheCatalogue();
};

void DemosTest::theMarkerLineIsWindows1252WithTheShortDate()
{
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    const QByteArray line = iniFileLine(QDate(2026, 12, 6), us);
    QCOMPARE(line,
             QByteArray("Kelvara\x99 Program                 ")
                 + us.toString(QDate(2026, 12, 6), QLocale::ShortFormat).toLatin1() + "\r\n");
    QCOMPARE(line.count('\n'), 1);
    // A locale whose digits Windows-1252 cannot hold still gives a readable date.
    const QByteArray arabic
        = iniFileLine(QDate(2026, 12, 6), QLocale(QLocale::Arabic, QLocale::Egypt));
    QVERIFY(!arabic.contains('?'));
    QVERIFY(arabic.startsWith("Kelvara\x99 Program "));
}

void DemosTest::theMarkerIsCreatedOnceAndNeverRewritten()
{
    Harness h;
    const QString path = h.program + u"/KV-Win.ini"_qs;
    QVERIFY(EnsureIniFile(h.ctx, nullptr));
    QCOMPARE(Harness::read(path), iniFileLine(QDate::currentDate(), QLocale::system()));

    // A line written by hand, an empty file: read, accepted, left as they are.
    for (const QByteArray &bytes : {QByteArray("my own line\nsecond\n"), QByteArray()}) {
        Harness::write(path, bytes);
        QVERIFY(EnsureIniFile(h.ctx, nullptr));
        QCOMPARE(Harness::read(path), bytes);
    }
    QVERIFY(h.dialogs.messages.isEmpty());
}

void DemosTest::aMarkerThatCannotBeReadOrCreatedIsReported()
{
    const QString text = u"Reading your KV-Win.ini file caused an error, please delete file\r\n"
                         "OR edit it and remove any odd additions."_qs;
    {
        // A directory in the marker's place cannot be read, nor replaced.
        Harness h;
        QDir().mkpath(h.program + u"/KV-Win.ini"_qs);
        QVERIFY(!EnsureIniFile(h.ctx, nullptr));
        QCOMPARE(h.dialogs.messages.size(), 1);
        QCOMPARE(h.dialogs.messages[0].text, text);
        QVERIFY(QFileInfo(h.program + u"/KV-Win.ini"_qs).isDir());
    }
    {
        // A program directory that is gone: the file cannot be created, and the
        // catalogue opens all the same.
        Catalogue c;
        QDir(c.h.program).removeRecursively();
        frmDemo *d = c.open();
        QVERIFY(d && d->isVisible());
        QCOMPARE(c.h.dialogs.messages.size(), 1);
        QCOMPARE(c.h.dialogs.messages[0].text, text);
        QCOMPARE(d->list(0)->topLevelItemCount(), 5);
    }
}

void DemosTest::everyRowIsInItsListInOrder()
{
    Catalogue c;
    frmDemo *d = c.open();
    QCOMPARE(column(d->list(0), 0),
             QStringList({"Heat-ivp", "Beam", "1d-Kelvara", "2d-Kelvara", "3d-Kelvara"}));
    QCOMPARE(column(d->list(1), 0), QStringList({"Heat-bvp", "3d-Kelvara-BVP", "Heat-Fin"}));
    QCOMPARE(column(d->list(2), 0), QStringList({"Heat-ip", "Pharm-IP", "Pharm-Alg"}));
    QCOMPARE(column(d->list(2), 1),
             QStringList({"Heat Transfer on a slab",
                          "Know decay time, need right parameters to get there!",
                          "same idea as 'Pharm-IP' but w/o ODEs"}));
    QCOMPARE(column(d->list(2), 2), QStringList({"11", "11", "10"}));

    const QTreeWidget *solvers = d->list(3);
    QCOMPARE(solvers->topLevelItemCount(), 18);
    QCOMPARE(solvers->topLevelItem(0)->text(0), u"^FIND-stmt"_qs);
    QCOMPARE(solvers->topLevelItem(12)->text(0), u"^Initiate-stmt"_qs);
    QCOMPARE(solvers->topLevelItem(12)->text(3), u"Integration Guide"_qs);
    QCOMPARE(solvers->topLevelItem(17)->text(0), u"Pursuit"_qs);
    for (int i = 1; i <= 11; ++i) {
        QVERIFY(solvers->topLevelItem(i)->text(0).startsWith(u"hb1"_qs));
        QVERIFY(solvers->topLevelItem(i)->text(1).startsWith(u"Hillside Corral..."_qs));
    }
    QCOMPARE(solvers->topLevelItem(5)->text(1),
             u"Hillside Corral...Sequential quadratic programming"_qs);

    // The templates are shown sorted by file name.
    QCOMPARE(column(d->list(4), 0),
             QStringList({"^FIND-stmt",
                          "^Initiate-stmt",
                          "Algebra",
                          "BVP",
                          "fitExam",
                          "IVP",
                          "PDE-ivp",
                          "readRit"}));
    QCOMPARE(d->sortState(4).sorted, true);
    QCOMPARE(d->sortState(4).sortOrder, 0);

    // Each list has the four columns, their headers in this order.
    for (int tab = 0; tab < 5; ++tab) {
        const QTreeWidgetItem *header = d->list(tab)->headerItem();
        QCOMPARE(header->text(0) + u'|' + header->text(1) + u'|' + header->text(2) + u'|'
                     + header->text(3),
                 u"Filename|Description|Levels|Solver"_qs);
    }
    int total = 0;
    for (int tab = 0; tab < 5; ++tab)
        total += d->list(tab)->topLevelItemCount();
    QCOMPARE(total, 37);
}

void DemosTest::guideAndStartDemoRowsAreFormatted()
{
    Catalogue c;
    frmDemo *d = c.open();
    const QColor plain = d->list(0)->topLevelItem(1)->foreground(1).color();
    for (int tab : {3, 4}) {
        const QTreeWidget *list = d->list(tab);
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            const QTreeWidgetItem *row = list->topLevelItem(i);
            const bool guide = DemoCatalogue::isGuide(row->text(0));
            QCOMPARE(row->font(1).bold(), guide);
            QCOMPARE(row->foreground(1).color() == QColor(255, 0, 0), guide);
            QVERIFY(!row->font(0).bold());
            QVERIFY(!row->font(2).bold() && !row->font(3).bold());
        }
    }
    const QTreeWidgetItem *start = d->list(0)->topLevelItem(0);
    QCOMPARE(start->text(0), u"Heat-ivp"_qs);
    QVERIFY(!start->font(0).bold());
    QVERIFY(start->font(1).bold() && start->font(2).bold() && start->font(3).bold());
    QVERIFY(start->foreground(1).color() != QColor(255, 0, 0));
    const QTreeWidgetItem *beam = d->list(0)->topLevelItem(1);
    for (int col = 0; col < 4; ++col)
        QVERIFY(!beam->font(col).bold());
    QVERIFY(plain != QColor(255, 0, 0));
    // "Heat-bvp" and "Heat-ip" are not the start demo.
    QVERIFY(!d->list(1)->topLevelItem(0)->font(1).bold());
}

void DemosTest::captionsLabelsAndButtons()
{
    Catalogue c;
    frmDemo *d = c.open();
    QCOMPARE(d->windowTitle(), u"Edit or View Demos"_qs);
    QTabWidget *tabs = d->ODE_tabs();
    QCOMPARE(tabs->count(), 5);
    QCOMPARE(tabs->currentIndex(), 0);
    const QStringList captions = {"&Initial Value Problems",
                                  "&Boundary Value Problems",
                                  "In&verse Problems",
                                  "S&olvers",
                                  "&Templates"};
    for (int i = 0; i < 5; ++i)
        QCOMPARE(tabs->tabText(i), captions[i]);
    auto label = [&](const char *name) {
        auto *l = d->findChild<QLabel *>(QLatin1String(name));
        return l ? l->text() : u"(missing)"_qs;
    };
    QCOMPARE(label("lblTitle"), u"Heat Transfer Source Codes"_qs);
    QCOMPARE(
        label("lblDescriptions"),
        u"Select a demo file and submit it for a run or editing on your mainframe computer."_qs);
    QVERIFY(label("lblSolv1").contains(u"several R&D projects, manufacturing"_qs));
    QVERIFY(label("lblIVPIntro").contains(u"(BVPs)  find their"_qs));
    QVERIFY(label("lblIP1").endsWith(u"Now you have a IP problem that Lumetry can solve."_qs));
    QVERIFY(
        label("lblIVPIntro3").startsWith(u"The -Find- statement is key to Lumetry.  A Find"_qs));
    QVERIFY(label("lblBVP1").endsWith(u"Most demos require less than 100 lines of code."_qs));
    QVERIFY(label("lblTemp1").endsWith(u"Use Windows Explore and NotePad to edit these files."_qs));
    // The labels of a tab lie on its page.
    QCOMPARE(d->findChild<QLabel *>(u"lblIVPIntro3"_qs)->parentWidget(), tabs->widget(0));
    QCOMPARE(d->findChild<QLabel *>(u"lblTemp1"_qs)->parentWidget(), tabs->widget(4));

    QCOMPARE(d->cmdRunDemo()->text(), u"S&ubmit Demo"_qs);
    QCOMPARE(d->cmdEditDemo()->text(), u"&Edit Demo"_qs);
    QCOMPARE(d->cmdViewAnswer()->text(), u"View Answer"_qs);
    QCOMPARE(d->cmdCancelDemo()->text(), u"&Cancel"_qs);
    for (QPushButton *b :
         {d->cmdRunDemo(), d->cmdEditDemo(), d->cmdViewAnswer(), d->cmdCancelDemo()}) {
        QCOMPARE(b->font().family(), u"Arial"_qs);
        QCOMPARE(b->font().pointSize(), 12);
    }
    QCOMPARE(d->findChild<QLabel *>(u"lblTitle"_qs)->font().pointSize(), 18);
    QCOMPARE(d->font().pointSizeF(), 10.5);
    // The keyboard goes through the first three buttons, the tabs, the list, Cancel.
    // Only what the Tab key can reach counts.
    QList<QWidget *> chain;
    for (QWidget *w = d->cmdRunDemo(); chain.size() < 500 && (chain.isEmpty() || w != chain[0]);
         w = w->nextInFocusChain())
        if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(d) && w->isEnabled())
            chain << w;
    QStringList names;
    for (QWidget *w : chain)
        names << w->objectName() + u':' + QLatin1String(w->metaObject()->className());
    const QList<QWidget *> order = {d->cmdRunDemo(),
                                    d->cmdEditDemo(),
                                    d->cmdViewAnswer(),
                                    tabs->tabBar(),
                                    d->list(0),
                                    d->cmdCancelDemo()};
    for (int i = 1; i < order.size(); ++i)
        QVERIFY2(chain.indexOf(order[i - 1]) < chain.indexOf(order[i]),
                 qPrintable(names.join(u' ')));
    // The menu command hid the main window and put the keyboard on the tabs.
    QVERIFY(!c.w->isVisible());
    QCOMPARE(d->focusWidget(), tabs->tabBar()); // the tab control's own focus
}

void DemosTest::submitDemoNeedsTheToolKit()
{
    {
        Catalogue c(true);
        QVERIFY(c.open()->cmdRunDemo()->isEnabled());
    }
    {
        Catalogue c(false);
        frmDemo *d = c.open();
        QVERIFY(!d->cmdRunDemo()->isEnabled());
        // No other choice changes it.
        c.demoFile(u"Beam.ty"_qs);
        choose(d, 0, u"Beam"_qs);
        d->ODE_tabs()->setCurrentIndex(2);
        QVERIFY(!d->cmdRunDemo()->isEnabled());
    }
}

void DemosTest::buttonAvailabilityFollowsTheFiles_data()
{
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("row");
    QTest::addColumn<QStringList>("demoFiles");
    QTest::addColumn<QStringList>("answerFiles");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<bool>("edit");
    QTest::addColumn<bool>("answer");

    QTest::newRow("file and answer") << 0 << "Beam" << QStringList{"Beam.ty"}
                                     << QStringList{"Beam.out"} << "Beam.ty" << true << true;
    QTest::newRow("answer missing")
        << 0 << "Beam" << QStringList{"Beam.ty"} << QStringList{} << "Beam.ty" << true << false;
    QTest::newRow("nothing there")
        << 1 << "Heat-Fin" << QStringList{} << QStringList{} << "Heat-Fin.ty" << false << false;
    QTest::newRow("only the answer")
        << 2 << "Pharm-IP" << QStringList{} << QStringList{"Pharm-IP.out"} << "Pharm-IP.ty" << false
        << true;
    QTest::newRow("guide") << 3 << "^FIND-stmt" << QStringList{"^FIND-stmt.txt"}
                           << QStringList{"^FIND-stmt.out"} << "^FIND-stmt.txt" << true << true;
    QTest::newRow("guide without answer")
        << 4 << "^Initiate-stmt" << QStringList{"^Initiate-stmt.txt"}
        << QStringList{"^Initiate-stmt.txt"} << "^Initiate-stmt.txt" << true << false;
    QTest::newRow("case of the files differs")
        << 0 << "Heat-ivp" << QStringList{"heat-IVP.ty"} << QStringList{"HEAT-ivp.out"}
        << "Heat-ivp.ty" << true << true;
}

void DemosTest::buttonAvailabilityFollowsTheFiles()
{
    QFETCH(int, tab);
    QFETCH(QString, row);
    QFETCH(QStringList, demoFiles);
    QFETCH(QStringList, answerFiles);
    QFETCH(QString, chosen);
    QFETCH(bool, edit);
    QFETCH(bool, answer);

    Catalogue c;
    frmDemo *d = c.open();
    // Loading leaves both available, whatever the demo folder holds.
    QCOMPARE(d->DemoFilename(), u"heat-ivp.ty"_qs);
    QVERIFY(d->cmdEditDemo()->isEnabled() && d->cmdViewAnswer()->isEnabled());

    for (const QString &name : demoFiles)
        c.demoFile(name);
    for (const QString &name : answerFiles)
        c.answerFile(name);
    d->ODE_tabs()->setCurrentIndex(tab);
    choose(d, tab, row);
    QCOMPARE(d->DemoFilename(), chosen);
    QCOMPARE(d->cmdEditDemo()->isEnabled(), edit);
    QCOMPARE(d->cmdViewAnswer()->isEnabled(), answer);
    QCOMPARE(c.h.state.ProgramPath, c.h.program);
}

void DemosTest::aMouseClickChoosesTheRow()
{
    Catalogue c;
    frmDemo *d = c.open();
    QVERIFY(QTest::qWaitForWindowExposed(d));
    QTreeWidget *list = d->list(0);
    const QRect rect = list->visualItemRect(list->topLevelItem(2));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    QCOMPARE(d->DemoFilename(), u"1d-Kelvara.ty"_qs);
    QVERIFY(!d->cmdEditDemo()->isEnabled());
}

void DemosTest::columnHeadersSortByTheirRules()
{
    Catalogue c;
    frmDemo *d = c.open();
    QTreeWidget *temp = d->list(4);
    // A first click on the sorted column reverses it.
    d->ListView_ColumnClick(4, 1);
    QCOMPARE(column(temp, 0),
             QStringList({"readRit",
                          "PDE-ivp",
                          "IVP",
                          "fitExam",
                          "BVP",
                          "Algebra",
                          "^Initiate-stmt",
                          "^FIND-stmt"}));
    // Another column sorts ascending by its text; again reverses it.
    d->ListView_ColumnClick(4, 3);
    QCOMPARE(column(temp, 2), QStringList({"00", "00", "00", "00", "00", "01", "10", "10"}));
    QCOMPARE(d->sortState(4).sortKey, 2);
    d->ListView_ColumnClick(4, 3);
    QCOMPARE(column(temp, 2), QStringList({"10", "10", "01", "00", "00", "00", "00", "00"}));
    d->ListView_ColumnClick(4, 3);
    QCOMPARE(column(temp, 2).first(), u"00"_qs);
    // Whole rows move.
    for (int i = 0; i < temp->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *row = temp->topLevelItem(i);
        if (row->text(0) == u"fitExam"_qs)
            QCOMPARE(row->text(1), u"Complete Application"_qs);
    }

    // The solvers list, unsorted at first: its first header click sorts ascending,
    // mixing the guide headings in with the solver rows.
    QTreeWidget *solv = d->list(3);
    QVERIFY(!d->sortState(3).sorted);
    choose(d, 3, u"hb1sqp"_qs);
    d->ListView_ColumnClick(3, 1);
    const QStringList names = column(solv, 0);
    QCOMPARE(names.mid(0, 4), QStringList({"^FIND-stmt", "^Initiate-stmt", "EjectSim", "hb1alm"}));
    QCOMPARE(names.last(), u"StiffDE"_qs);
    QStringList sorted = names;
    std::sort(sorted.begin(), sorted.end(), [](const QString &a, const QString &b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    QCOMPARE(names, sorted);
    // Sorting leaves the chosen demo and the selected row alone.
    QCOMPARE(d->DemoFilename(), u"hb1sqp.ty"_qs);
    QCOMPARE(solv->currentItem()->text(0), u"hb1sqp"_qs);
    d->ListView_ColumnClick(3, 4);
    QCOMPARE(d->sortState(3).sortOrder, 0);
    QCOMPARE(column(solv, 3).first(), QString());
}

void DemosTest::changingTabChoosesItsRowAndDisablesTheOthers()
{
    Catalogue c;
    c.demoFile(u"^FIND-stmt.txt"_qs);
    frmDemo *d = c.open();
    QTabWidget *tabs = d->ODE_tabs();
    tabs->setCurrentIndex(3);
    // The first row is reported as selected before any click.
    QCOMPARE(d->DemoFilename(), u"^FIND-stmt.txt"_qs);
    QVERIFY(d->cmdEditDemo()->isEnabled());
    QVERIFY(!d->cmdViewAnswer()->isEnabled());
    for (int tab = 0; tab < 5; ++tab) {
        QCOMPARE(d->list(tab)->isEnabled(), tab == 3);
        for (QLabel *label : tabs->widget(tab)->findChildren<QLabel *>())
            QCOMPARE(label->isEnabled(), tab == 3);
    }
    QCOMPARE(d->focusWidget(), d->list(3));

    choose(d, 3, u"Pursuit"_qs);
    tabs->setCurrentIndex(4);
    QCOMPARE(d->DemoFilename(), u"^FIND-stmt.txt"_qs); // the sorted templates' first row
    tabs->setCurrentIndex(3);
    QCOMPARE(d->DemoFilename(), u"Pursuit.ty"_qs);
    QVERIFY(!d->list(4)->isEnabled());
    QVERIFY(d->cmdCancelDemo()->isEnabled());
}

void DemosTest::controlsScaleWithTheWindow()
{
    // The arithmetic: edges scale with the inner size.
    QCOMPARE(ProportionalLayout::scaled({100, 50, 200, 30}, {1000, 500}, {2000, 500}),
             QRect(200, 50, 400, 30));
    QCOMPARE(ProportionalLayout::scaled({100, 50, 200, 30}, {1000, 500}, {1000, 250}),
             QRect(100, 25, 200, 15));
    QCOMPARE(ProportionalLayout::scaled({1, 1, 1, 1}, {3, 3}, {4, 4}), QRect(1, 1, 2, 2));

    Catalogue c;
    frmDemo *d = c.open();
    QVERIFY(QTest::qWaitForWindowExposed(d));
    const QSize design(Twips::toPxX(11880, d), Twips::toPxY(6390, d));
    QCOMPARE(d->size(), design);
    QList<QWidget *> controls = {d->ODE_tabs(),
                                 d->cmdRunDemo(),
                                 d->cmdEditDemo(),
                                 d->cmdViewAnswer(),
                                 d->cmdCancelDemo(),
                                 d->findChild<QLabel *>(u"lblTitle"_qs),
                                 d->findChild<QLabel *>(u"lblDescriptions"_qs)};
    QList<QRect> before;
    for (QWidget *w : controls)
        before << w->geometry();
    QCOMPARE(before[1],
             QRect(Twips::toPxX(1500, d),
                   Twips::toPxY(5770, d),
                   Twips::toPxX(2000, d),
                   Twips::toPxY(485, d)));
    const QRect listBefore = QRect(d->list(0)->mapTo(d->ODE_tabs(), QPoint()), d->list(0)->size());

    d->resize(design.width() * 2, design.height());
    QTRY_COMPARE(d->size(), QSize(design.width() * 2, design.height()));
    for (int i = 0; i < controls.size(); ++i) {
        const QRect now = controls[i]->geometry();
        QVERIFY2(qAbs(now.x() - 2 * before[i].x()) <= 1, qPrintable(controls[i]->objectName()));
        QVERIFY2(qAbs(now.width() - 2 * before[i].width()) <= 2,
                 qPrintable(controls[i]->objectName()));
        QCOMPARE(now.y(), before[i].y());
        QCOMPARE(now.height(), before[i].height());
    }
    const QRect listNow = QRect(d->list(0)->mapTo(d->ODE_tabs(), QPoint()), d->list(0)->size());
    QVERIFY(qAbs(listNow.x() - 2 * listBefore.x()) <= 2);
    QVERIFY(qAbs(listNow.width() - 2 * listBefore.width()) <= 2);
    QCOMPARE(listNow.height(), listBefore.height());

    d->resize(design);
    QTRY_COMPARE(d->size(), design);
    for (int i = 0; i < controls.size(); ++i)
        QCOMPARE(controls[i]->geometry(), before[i]);
}

void DemosTest::editDemoReusesOnlyAnEmptyCodeDocument()
{
    Catalogue c;
    c.demoFile(u"Beam.ty"_qs, "Beam model\r\n");
    c.demoFile(u"Heat-bvp.ty"_qs, "Heat bvp\r\n");
    frmDemo *d = c.open();
    // The start-up document is empty (no start demo in this tree): it is reused.
    QCOMPARE(c.w->documents().size(), 1);
    QVERIFY(c.w->activeDocument()->IsEmpty());
    choose(d, 0, u"Beam"_qs);
    d->cmdEditDemo_Click();
    QCOMPARE(c.w->documents().size(), 1);
    QCOMPARE(c.w->activeDocument()->Filename(), c.demos() + u"/Beam.ty"_qs);
    QCOMPARE(c.h.state.CodeName, u"Beam.ty"_qs);
    QCOMPARE(c.h.state.CodeDir, c.demos());
    QCOMPARE(d->DemoPath(), c.demos());
    QVERIFY(!d->isVisible());
    QVERIFY(c.w->isVisible());

    // A document with text is kept; a new window takes the demo.
    c.w->mnuKV_Demo_Click();
    d->ODE_tabs()->setCurrentIndex(1);
    d->cmdEditDemo_Click();
    QCOMPARE(c.w->documents().size(), 2);
    QCOMPARE(c.w->activeDocument()->Filename(), c.demos() + u"/Heat-bvp.ty"_qs);
    QCOMPARE(c.w->documents().first()->Filename(), c.demos() + u"/Beam.ty"_qs);

    // With no document window at all, one is opened.
    for (frmDocument *doc : c.w->documents())
        doc->unloadAgreed();
    QTRY_COMPARE(c.w->documents().size(), 0);
    c.w->mnuKV_Demo_Click();
    d->cmdEditDemo_Click(); // still Heat-bvp.ty
    QCOMPARE(c.w->documents().size(), 1);
    QCOMPARE(c.w->activeDocument()->Filename(), c.demos() + u"/Heat-bvp.ty"_qs);
}

void DemosTest::viewAnswerLoadsTheAnswerAndShowsItsPlot_data()
{
    QTest::addColumn<QStringList>("plots");
    QTest::addColumn<QString>("shown");
    QTest::newRow("picture and data")
        << QStringList{"Heat-ivp.gif", "Heat-ivp.plt"} << "Heat-ivp.gif";
    QTest::newRow("data only") << QStringList{"Heat-ivp.plt"} << "Heat-ivp.plt";
    QTest::newRow("no plot") << QStringList{} << "";
}

void DemosTest::viewAnswerLoadsTheAnswerAndShowsItsPlot()
{
    QFETCH(QStringList, plots);
    QFETCH(QString, shown);
    Catalogue c;
    c.viewer();
    c.demoFile(u"Heat-ivp.ty"_qs);
    c.answerFile(u"Heat-ivp.out"_qs, "Heat answer\r\n");
    for (const QString &plot : plots)
        c.answerFile(plot, "plot");
    frmDemo *d = c.open();
    choose(d, 0, u"Heat-ivp"_qs);
    d->cmdViewAnswer_Click();

    const QString answers = c.answers() + u'/';
    QCOMPARE(d->DemoFilename(), u"Heat-ivp.out"_qs);
    QCOMPARE(d->DemoPath(), c.demos() + u"/Answers/"_qs);
    QCOMPARE(c.w->activeDocument()->Filename(), answers + u"Heat-ivp.out"_qs);
    QCOMPARE(c.h.state.CodeName, u"Heat-ivp.out"_qs);
    QCOMPARE(c.h.state.CodeDir, answers);
    QVERIFY(!d->isVisible());
    QVERIFY(c.w->isVisible());
    if (shown.isEmpty()) {
        QVERIFY(c.h.desktop.started.isEmpty());
        QVERIFY(!KeyExists(c.h.hive, AppInfo::companyKey())
                || ReadValue(c.h.hive, AppInfo::companyKey(), u"fileIn"_qs, REG_SZ)
                       .toString()
                       .isEmpty());
        return;
    }
    QCOMPARE(c.h.desktop.started.size(), 1);
    const StartRequest &viewer = c.h.desktop.started[0];
    QCOMPARE(viewer.program, c.h.base + u"/plots.exe"_qs);
    QCOMPARE(viewer.arguments, QStringList{answers + shown});
    QCOMPARE(viewer.style, WindowStyle::MaximizedFocus);
    const QString key = AppInfo::companyKey();
    QCOMPARE(ReadValue(c.h.hive, key, u"fileIn"_qs, REG_SZ).toString(), shown);
    QCOMPARE(ReadValue(c.h.hive, key, u"ActivePath"_qs, REG_SZ).toString(), answers);
    QCOMPARE(ReadValue(c.h.hive, key, u"ProgramPath"_qs, REG_SZ).toString(), c.h.program);

    // A second View Answer does nothing: the chosen demo is an answer name now.
    c.w->mnuKV_Demo_Click();
    d->cmdViewAnswer_Click();
    QCOMPARE(c.h.desktop.started.size(), 1);
    QVERIFY(d->isVisible());
}

void DemosTest::viewAnswerWithoutTheViewerKeepsTheCatalogue()
{
    Catalogue c;
    c.demoFile(u"Beam.ty"_qs);
    c.answerFile(u"Beam.out"_qs);
    c.answerFile(u"Beam.gif"_qs);
    frmDemo *d = c.open();
    choose(d, 0, u"Beam"_qs);
    d->cmdViewAnswer_Click();
    QCOMPARE(c.w->activeDocument()->Filename(), c.answers() + u"/Beam.out"_qs);
    QVERIFY(d->isVisible());
    QVERIFY(!c.w->isVisible());
    QVERIFY(c.h.desktop.started.isEmpty());
    QVERIFY(c.h.dialogs.messages.isEmpty());
}

void DemosTest::editDemoAfterViewAnswerOpensTheCodeAgain()
{
    Catalogue c;
    c.demoFile(u"Pharm-IP.ty"_qs, "code\r\n");
    c.answerFile(u"Pharm-IP.out"_qs, "answer\r\n");
    frmDemo *d = c.open();
    d->ODE_tabs()->setCurrentIndex(2);
    choose(d, 2, u"Pharm-IP"_qs);
    d->cmdViewAnswer_Click();
    QCOMPARE(d->DemoFilename(), u"Pharm-IP.out"_qs);
    c.w->mnuKV_Demo_Click();
    d->cmdEditDemo_Click();
    QCOMPARE(d->DemoFilename(), u"Pharm-IP.ty"_qs);
    QCOMPARE(c.w->documents().size(), 2);
    QCOMPARE(c.w->activeDocument()->Filename(), c.demos() + u"/Pharm-IP.ty"_qs);
    QCOMPARE(c.h.state.CodeDir, c.demos());
}

void DemosTest::aGuideOpensItsAnswerAndThenItself()
{
    Catalogue c;
    c.demoFile(u"^FIND-stmt.txt"_qs, "guide\r\n");
    c.answerFile(u"^FIND-stmt.out"_qs, "guide answer\r\n");
    frmDemo *d = c.open();
    d->ODE_tabs()->setCurrentIndex(3);
    QVERIFY(d->cmdViewAnswer()->isEnabled());
    d->cmdViewAnswer_Click();
    QCOMPARE(c.w->activeDocument()->Filename(), c.answers() + u"/^FIND-stmt.out"_qs);
    QCOMPARE(c.h.state.CodeName, u"^FIND-stmt.out"_qs);
    c.w->mnuKV_Demo_Click();
    d->cmdEditDemo_Click();
    QCOMPARE(d->DemoFilename(), u"^FIND-stmt.txt"_qs);
    QCOMPARE(c.w->activeDocument()->Filename(), c.demos() + u"/^FIND-stmt.txt"_qs);
    QVERIFY(c.h.dialogs.messages.isEmpty());
}

void DemosTest::submitDemoRunsFromTheDemoFolder()
{
    Catalogue c;
    c.demoFile(u"Heat-ivp.ty"_qs);
    frmDemo *d = c.open();
    // The chosen demo at load is "heat-ivp.ty"; the run finds the file as it is.
    d->cmdRunDemo_Click();
    QCOMPARE(c.h.state.RunMode, u"demo"_qs);
    QCOMPARE(c.h.state.CodeName, u"Heat-ivp"_qs);
    QCOMPARE(c.h.state.CodeDir, c.demos());
    QCOMPARE(c.h.desktop.started.size(), 1);
    QCOMPARE(c.h.desktop.started[0].arguments.mid(0, 2), QStringList({"Heat-ivp", c.demos()}));
    // The catalogue stays open and keeps its choice.
    QVERIFY(d->isVisible());
    QCOMPARE(d->DemoFilename(), u"heat-ivp.ty"_qs);
}

void DemosTest::submitDemoRefusesAGuide()
{
    Catalogue c;
    c.demoFile(u"^Initiate-stmt.txt"_qs);
    frmDemo *d = c.open();
    d->ODE_tabs()->setCurrentIndex(4);
    choose(d, 4, u"^Initiate-stmt"_qs);
    d->cmdRunDemo_Click();
    QVERIFY(c.h.desktop.started.isEmpty());
    QCOMPARE(c.h.dialogs.messages.size(), 1);
    QCOMPARE(c.h.dialogs.messages[0].title, u"An invalid file name. "_qs);
}

void DemosTest::anUnreadableDemoIsReportedAndNothingElseHappens()
{
    Catalogue c;
    frmDemo *d = c.open();
    const QString before = c.h.state.CodeName;
    d->cmdEditDemo_Click(); // heat-ivp.ty is not in this tree
    QCOMPARE(c.h.dialogs.messages.size(), 1);
    QVERIFY(c.h.dialogs.messages[0].text.contains(u"heat-ivp.ty"_qs));
    QCOMPARE(c.h.state.CodeName, before);
    QVERIFY(d->isVisible());
}

void DemosTest::cancelKeepsTheStateAndTheCloseBoxDiscardsIt()
{
    Catalogue c;
    frmDemo *d = c.open();
    d->ODE_tabs()->setCurrentIndex(2);
    choose(d, 2, u"Pharm-Alg"_qs);
    d->ListView_ColumnClick(2, 1);
    d->cmdCancelDemo_Click();
    QVERIFY(!d->isVisible());
    QVERIFY(c.w->isVisible());

    c.w->mnuKV_Demo_Click();
    QCOMPARE(c.w->demoWindow(), d);
    QCOMPARE(d->ODE_tabs()->currentIndex(), 2);
    QCOMPARE(d->DemoFilename(), u"Pharm-Alg.ty"_qs);
    QCOMPARE(column(d->list(2), 0), QStringList({"Heat-ip", "Pharm-Alg", "Pharm-IP"}));
    QCOMPARE(d->list(2)->currentItem()->text(0), u"Pharm-Alg"_qs);

    // The close box: the main window comes back and the catalogue is unloaded.
    bool cancel = true;
    d->Form_QueryUnload(cancel, 0);
    QVERIFY(!cancel);
    QVERIFY(c.w->isVisible());
    QPointer<frmDemo> gone = d;
    d->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!gone);
    QVERIFY(!c.w->demoWindow());
    frmDemo *fresh = c.open();
    QCOMPARE(fresh->ODE_tabs()->currentIndex(), 0);
    QCOMPARE(fresh->DemoFilename(), u"heat-ivp.ty"_qs);
    QCOMPARE(column(fresh->list(2), 0), QStringList({"Heat-ip", "Pharm-IP", "Pharm-Alg"}));

    // A close by the program (the main window unloading) does not bring the main
    // window back.
    c.w->hide();
    fresh->close();
    QVERIFY(!c.w->isVisible());
}

void DemosTest::exitOnAFirstRunOpensTheCatalogue()
{
    Catalogue c;
    const QString marker = c.h.program + u"/KV-Win.ini"_qs;
    QVERIFY(!QFile::exists(marker));
    c.w->mnuFileExit_Click();
    frmDemo *d = c.w->demoWindow();
    QVERIFY(d && d->isVisible());
    QVERIFY(c.w->isVisible());
    QCOMPARE(d->list(0)->topLevelItemCount(), 5);
    QVERIFY(QFile::exists(marker));
    // Now the marker exists: Exit ends the program.
    c.w->mnuFileExit_Click();
    QVERIFY(c.w->ExitRequested());
}

QTEST_MAIN(DemosTest)
#include "tst_demos.moc"
