#include "TestDoubles.h"

#include "core/mdlLastFile.h"
#include "platform/AppInfo.h"
#include "runs/frmIntro.h"
#include "shell/FileAssoc.h"
#include "shell/StartUp.h"
#include "shell/frmMain.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QXmlStreamReader>

namespace {

QString dataDir()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
}

// What a MIME package declares: type, comment, parent type and glob, "|"-joined.
QString readPackage(const QString &extension)
{
    QFile file(FileAssoc::mimePackagePath(extension));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("(no package)");
    QXmlStreamReader xml(&file);
    QStringList parts;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        const QString name = xml.name().toString();
        if (name == u"mime-type")
            parts << xml.attributes().value(QLatin1String("type")).toString();
        else if (name == u"comment")
            parts << xml.readElementText();
        else if (name == u"sub-class-of")
            parts << u"sub-class-of " + xml.attributes().value(QLatin1String("type")).toString();
        else if (name == u"glob")
            parts << xml.attributes().value(QLatin1String("pattern")).toString();
        else if (name != u"mime-info")
            parts << name;
    }
    if (xml.hasError())
        return u"(bad package) "_qs + xml.errorString();
    return parts.join(u'|');
}

QString classValue(Harness &h, const QString &key)
{
    return ReadRegString(h.ctx, FileAssoc::classesRoot(), key, QString(), u"(none)"_qs);
}

} // namespace

class IntroTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init()
    {
        QDir(dataDir() + u"/mime"_qs).removeRecursively();
        m_cwd = QDir::currentPath();
        qunsetenv("ode-TY");
    }
    void cleanup() { QDir::setCurrent(m_cwd); }

    void aFirstStartShowsTheScreenAndRegistersBothTypes();
    void aLaterStartGoesStraightToTheMainWindow();
    void aTypeRegisteredBeforeIsLeftUntouched();
    void registrationEntriesFollowTheirRules();
    void viewOldPlotsShowsThePlotsThenTheMainWindow_data();
    void viewOldPlotsShowsThePlotsThenTheMainWindow();
    void closingTheScreenOnAFirstStartLeavesNoWindow();
    void aMainWindowThatCannotLoadEndsTheStart();

private:
    QString m_cwd;
};

void IntroTest::aFirstStartShowsTheScreenAndRegistersBothTypes()
{
    Harness h;
    StartUp start(h.ctx);
    QVERIFY(start.begin());
    frmIntro *intro = start.intro();
    QVERIFY(intro->isVisible());
    QVERIFY(!start.mainWindow());
    QCOMPARE(intro->windowTitle(), u"Introduction to Tessaly (TY)"_qs);
    QCOMPARE(QDir::currentPath(), QDir(h.program).canonicalPath());

    QCOMPARE(intro->cmdRunIntro()->text(), u"&Run/Edit a Demo"_qs);
    QCOMPARE(intro->cmdCreateIntro()->text(), u"&Build a Math Problem"_qs);
    QCOMPARE(intro->cmdViewPlots()->text(), u"&View Old Plots"_qs);
    QVERIFY(!intro->cmdRunIntro()->isEnabled());
    QVERIFY(!intro->cmdCreateIntro()->isEnabled());
    QVERIFY(intro->cmdViewPlots()->isEnabled());
    auto label = [&](const char *name) { return intro->findChild<QLabel *>(QLatin1String(name)); };
    QCOMPARE(label("lblTitleIntro")->text(), u"Calculus-level Programming Intro"_qs);
    QCOMPARE(label("lblSentence1")->text(),
             u"Lumetry (LM) solves constrained, implicit, nonlinear, any order equations within "
             "hours.  LM allows a user to work on their math model, constraints, etc. and leaves "
             "the numerical work to a compiler.  Users quickly learn of their math model "
             "accuracies or inaccuracies."_qs);
    QCOMPARE(label("lblSentence2")->text(),
             u"Optimization is LM's bread & butter.  Convert your simulation problems into "
             "optimizations.  Nesting of problems is allowed and very powerful.  For example, "
             "inner problem may minimize 'weight' while outer maximizes 'efficiency'."_qs);
    for (QWidget *w : {static_cast<QWidget *>(label("lblSentence2")),
                       static_cast<QWidget *>(intro->cmdViewPlots())})
        QCOMPARE(w->font().family(), u"Arial"_qs);

    // The desktop learns both types, as plain text the text editor opens.
    QCOMPARE(readPackage(u"TY"_qs), u"text/x-kelvara-ty|Tessaly|sub-class-of text/plain|*.ty"_qs);
    QCOMPARE(readPackage(u"Out"_qs),
             u"text/x-kelvara-out|TY Output|sub-class-of text/plain|*.out"_qs);
    QCOMPARE(classValue(h, u".TY"_qs), u"notePad"_qs);
    QCOMPARE(classValue(h, u".Out"_qs), u"notePad"_qs);
    QCOMPARE(classValue(h, u"notePad"_qs), u"TY Output"_qs);
    const QString update = QStandardPaths::findExecutable(u"update-mime-database"_qs);
    if (update.isEmpty()) {
        QVERIFY(h.desktop.started.isEmpty());
    } else {
        QCOMPARE(h.desktop.started.size(), 2);
        QCOMPARE(h.desktop.started[0].program, update);
        QCOMPARE(h.desktop.started[0].arguments, QStringList{dataDir() + u"/mime"_qs});
        QCOMPARE(h.desktop.started[0].style, WindowStyle::Hidden);
    }
    QVERIFY(h.dialogs.messages.isEmpty());
    intro->close();
}

void IntroTest::aLaterStartGoesStraightToTheMainWindow()
{
    Harness h;
    Harness::write(h.program + u"/KV-Win.ini"_qs, "");
    Harness::write(h.program + u"/user/model.ty"_qs, "Print 1\r\n");
    SaveLastFile(h.hive, u"model.ty"_qs, h.program + u"/user"_qs);
    StartUp start(h.ctx);
    QVERIFY(start.begin());
    QVERIFY(!start.intro()->isVisible());
    QVERIFY(start.mainWindow());
    QVERIFY(start.mainWindow()->isVisible());
    QCOMPARE(start.mainWindow()->activeDocument()->Filename(), h.program + u"/user/model.ty"_qs);
    // Nothing is registered on such a start.
    QVERIFY(!QFile::exists(FileAssoc::mimePackagePath(u"TY"_qs)));
    QCOMPARE(classValue(h, u".TY"_qs), u"(none)"_qs);
    QVERIFY(h.desktop.started.isEmpty());
}

void IntroTest::aTypeRegisteredBeforeIsLeftUntouched()
{
    Harness h;
    QCOMPARE(WriteRegString(h.ctx, FileAssoc::classesRoot(), QString(), u".TY"_qs, u"emacs"_qs), 0);
    StartUp start(h.ctx);
    QVERIFY(start.begin());
    QCOMPARE(GetAssociation(h.ctx, u"TY"_qs), u"emacs"_qs);
    QVERIFY(!QFile::exists(FileAssoc::mimePackagePath(u"TY"_qs)));
    QCOMPARE(classValue(h, u".Out"_qs), u"notePad"_qs);
    QCOMPARE(classValue(h, u"notePad"_qs), u"TY Output"_qs);
    QVERIFY(QFile::exists(FileAssoc::mimePackagePath(u"Out"_qs)));
    start.intro()->close();
}

void IntroTest::registrationEntriesFollowTheirRules()
{
    Harness h;
    QCOMPARE(GetAssociation(h.ctx, u"TY"_qs), QString());
    QCOMPARE(
        ReadRegString(h.ctx, FileAssoc::classesRoot(), u"no\\such\\key"_qs, QString(), u"dflt"_qs),
        u"dflt"_qs);
    const QString command = u"\"c:\\windows\\notePad\" %1"_qs;
    for (const QString &dir : {u"c:\\windows"_qs, u"c:\\windows\\"_qs}) {
        RegisterFileType(h.ctx, u"TY"_qs, dir, u"notePad"_qs, u"Tessaly"_qs, QString());
        QCOMPARE(classValue(h, u"notePad\\shell\\open\\command"_qs), command);
    }
    QCOMPARE(classValue(h, u"notePad\\DefaultIcon"_qs), u"(none)"_qs);
    RegisterFileType(
        h.ctx, u"Out"_qs, u"/opt/x"_qs, u"viewer"_qs, u"TY Output"_qs, u"/i/out.png"_qs);
    QCOMPARE(classValue(h, u"viewer\\DefaultIcon"_qs), u"/i/out.png,0"_qs);
    QCOMPARE(GetAssociation(h.ctx, u"Out"_qs), u"viewer"_qs);
    // Registry strings are read back whole, however long.
    const QString longText(600, u'x');
    QCOMPARE(WriteRegString(h.ctx, FileAssoc::classesRoot(), u"long"_qs, QString(), longText), 0);
    QCOMPARE(classValue(h, u"long"_qs), longText);
    // The class root lies apart from the program's own keys.
    QCOMPARE(
        ReadRegString(
            h.ctx, u"HKEY_CURRENT_USER"_qs, u"Software\\Classes\\.TY"_qs, QString(), QString()),
        u"notePad"_qs);
}

void IntroTest::viewOldPlotsShowsThePlotsThenTheMainWindow_data()
{
    QTest::addColumn<bool>("viewer");
    QTest::newRow("viewer installed") << true;
    QTest::newRow("viewer missing") << false;
}

void IntroTest::viewOldPlotsShowsThePlotsThenTheMainWindow()
{
    QFETCH(bool, viewer);
    Harness h;
    if (viewer)
        Harness::write(h.base + u"/plots.exe"_qs, "#!/bin/sh\n");
    StartUp start(h.ctx);
    QVERIFY(start.begin());
    h.desktop.started.clear();
    QTest::mouseClick(start.intro()->cmdViewPlots(), Qt::LeftButton);
    if (viewer) {
        QCOMPARE(h.desktop.started.size(), 1);
        QCOMPARE(h.desktop.started[0].program, h.base + u"/plots.exe"_qs);
        QCOMPARE(h.desktop.started[0].arguments,
                 QStringList{h.program + u"/demos/all/answers/"_qs});
    } else {
        QVERIFY(h.desktop.started.isEmpty());
        QVERIFY(!h.dialogs.messages.isEmpty());
        QCOMPARE(h.dialogs.messages[0].title, u"Plots.exe file not found."_qs);
    }
    QVERIFY(!start.intro()->isVisible());
    QVERIFY(start.mainWindow() && start.mainWindow()->isVisible());
}

void IntroTest::closingTheScreenOnAFirstStartLeavesNoWindow()
{
    Harness h;
    StartUp start(h.ctx);
    QVERIFY(start.begin());
    start.intro()->close();
    QVERIFY(!start.mainWindow());
    // No window is left, so the program ends.
    for (QWidget *w : QApplication::topLevelWidgets())
        QVERIFY2(!w->isVisible(), qPrintable(w->objectName()));
}

void IntroTest::aMainWindowThatCannotLoadEndsTheStart()
{
    Harness h;
    SaveLastFile(h.hive, u"model.ty"_qs, h.program + u"/user"_qs);
    h.ctx.programDir = u"/kelvara-test-nowhere"_qs; // no base directory above it
    StartUp start(h.ctx);
    QVERIFY(!start.begin());
    QVERIFY(start.failed());
    QVERIFY(!start.mainWindow()->isVisible());
    QCOMPARE(h.dialogs.messages.size(), 1);
    QCOMPARE(h.dialogs.messages[0].title, u"In 'Start_Path' routine ... Exiting!"_qs);
}

QTEST_MAIN(IntroTest)
#include "tst_intro.moc"
