#include "TestDoubles.h"

#include "editor/mdlFileChecks.h"

#include <QFileInfo>
#include <QTest>

#include <unistd.h>

class FileChecksTest : public QObject
{
    Q_OBJECT

private slots:
    void fileExistsCountsPlainVisibleFilesOnly_data();
    void fileExistsCountsPlainVisibleFilesOnly();
    void lookupsFallBackToCaseInsensitiveMatches();
    void anExactMatchWinsOverACaseInsensitiveOne();
    void dirExistsFindsDirectoriesOnly();
    void floppyNotReadyAsksUntilReadyOrCancelled();
    void floppyDriveMissingSaysSoOnce();
    void noAccessAnswersFalseWithoutAMessage();
    void splitFilePathCutsAtTheLastSeparator_data();
    void splitFilePathCutsAtTheLastSeparator();
    void shortLowerPathGivesTheOnDiskPathOrEmpty();
    void dosCopyCopiesIntoADirectoryOrToANewName();
    void dosCopyReportsAFailedCopy();
};

void FileChecksTest::fileExistsCountsPlainVisibleFilesOnly_data()
{
    QTest::addColumn<QString>("relative");
    QTest::addColumn<bool>("expected");
    QTest::newRow("plain file") << "work/model.ty" << true;
    QTest::newRow("blanks and shell characters") << "work/a b;$(x)'.ty" << true;
    QTest::newRow("directory") << "work" << false;
    QTest::newRow("hidden file") << "work/.hidden.ty" << false;
    QTest::newRow("missing") << "work/none.ty" << false;
    QTest::newRow("under a missing directory") << "nowhere/model.ty" << false;
    QTest::newRow("under a file") << "work/model.ty/x" << false;
    QTest::newRow("wildcard matching") << "work/*.ty" << true;
    QTest::newRow("wildcard matching, other case") << "work/*.TY" << true;
    QTest::newRow("wildcard matching only hidden") << "work/.h*" << false;
    QTest::newRow("wildcard matching nothing") << "work/*.out" << false;
    QTest::newRow("question mark") << "work/model.t?" << true;
    QTest::newRow("empty path") << "" << false;
}

void FileChecksTest::fileExistsCountsPlainVisibleFilesOnly()
{
    QFETCH(QString, relative);
    QFETCH(bool, expected);
    Harness h;
    const QString work = h.tmp.path() + u"/work"_qs;
    QDir().mkpath(work);
    Harness::write(work + u"/model.ty"_qs, "x");
    Harness::write(work + u"/a b;$(x)'.ty"_qs, "x");
    Harness::write(work + u"/.hidden.ty"_qs, "x");
    const QString path = relative.isEmpty() ? QString() : h.tmp.path() + u"/"_qs + relative;
    QCOMPARE(FileExists(h.ctx, path), expected);
    QVERIFY(h.dialogs.messages.isEmpty());
}

void FileChecksTest::lookupsFallBackToCaseInsensitiveMatches()
{
    Harness h;
    Harness::write(h.program + u"/demos/all/Heat-ivp.ty"_qs, "x");
    const QString asked = h.program + u"/DEMOS/all/heat-ivp.ty"_qs;
    QVERIFY(FileExists(h.ctx, asked));
    QVERIFY(dirExists(h.ctx, h.program + u"/Demos/ALL"_qs));
    QCOMPARE(resolveExistingPath(asked), h.program + u"/demos/all/Heat-ivp.ty"_qs);
    QCOMPARE(ShortLowerPath(asked),
             QFileInfo(h.program + u"/demos/all/Heat-ivp.ty"_qs).canonicalFilePath());
}

void FileChecksTest::anExactMatchWinsOverACaseInsensitiveOne()
{
    Harness h;
    const QString dir = h.tmp.path();
    Harness::write(dir + u"/Model.ty"_qs, "upper");
    Harness::write(dir + u"/model.ty"_qs, "lower");
    QCOMPARE(resolveExistingPath(dir + u"/model.ty"_qs), dir + u"/model.ty"_qs);
    QCOMPARE(resolveExistingPath(dir + u"/Model.ty"_qs), dir + u"/Model.ty"_qs);
}

void FileChecksTest::dirExistsFindsDirectoriesOnly()
{
    Harness h;
    Harness::write(h.tmp.path() + u"/file"_qs, "x");
    QDir().mkpath(h.tmp.path() + u"/.hidden dir"_qs);
    QVERIFY(dirExists(h.ctx, h.program));
    QVERIFY(dirExists(h.ctx, h.program + u"/"_qs));
    QVERIFY(dirExists(h.ctx, h.tmp.path() + u"/.hidden dir"_qs));
    QVERIFY(!dirExists(h.ctx, h.tmp.path() + u"/file"_qs));
    QVERIFY(!dirExists(h.ctx, h.tmp.path() + u"/missing"_qs));
}

void FileChecksTest::floppyNotReadyAsksUntilReadyOrCancelled()
{
    Harness h;
    h.desktop.floppy = h.tmp.path() + u"/floppy"_qs;
    QDir().mkpath(h.desktop.floppy);
    Harness::write(h.desktop.floppy + u"/model.ty"_qs, "x");

    // Not ready twice, the user presses OK each time, then the disk is in.
    h.desktop.floppyStates << DriveState::NotReady << DriveState::NotReady;
    h.dialogs.answers << MsgAnswer::OK << MsgAnswer::OK;
    QVERIFY(FileExists(h.ctx, u"A:model.ty"_qs));
    QCOMPARE(h.dialogs.messages.size(), 2);
    const MessageRequest &m = h.dialogs.messages.first();
    QCOMPARE(m.text, u"Put a floppy disk in the drive and cloce the drive door."_qs);
    QCOMPARE(m.title, u"In 'FileExists' routine ..."_qs);
    QCOMPARE(m.buttons, MsgButtons::OKCancel);
    QCOMPARE(m.icon, MsgIcon::Exclamation);

    // Cancel gives false.
    h.dialogs.messages.clear();
    h.desktop.floppyState = DriveState::NotReady;
    h.dialogs.answers << MsgAnswer::Cancel;
    QVERIFY(!dirExists(h.ctx, h.desktop.floppy));
    QCOMPARE(h.dialogs.messages.size(), 1);
    QCOMPARE(h.dialogs.messages.first().title, u"In 'dirExists' routine ..."_qs);
}

void FileChecksTest::floppyDriveMissingSaysSoOnce()
{
    Harness h;
    h.desktop.floppyState = DriveState::Unavailable;
    QVERIFY(!FileExists(h.ctx, u"a:model.ty"_qs));
    QCOMPARE(h.dialogs.messages.size(), 1);
    QCOMPARE(h.dialogs.messages.first().text, u"This drive or path does not exist: a:model.ty"_qs);
    QCOMPARE(h.dialogs.messages.first().buttons, MsgButtons::OK);
}

void FileChecksTest::noAccessAnswersFalseWithoutAMessage()
{
    if (::geteuid() == 0)
        QSKIP("root reads every directory");
    Harness h;
    const QString locked = h.tmp.path() + u"/locked"_qs;
    QDir().mkpath(locked);
    Harness::write(locked + u"/model.ty"_qs, "x");
    QFile::setPermissions(locked, QFileDevice::Permissions());
    QVERIFY(!FileExists(h.ctx, locked + u"/model.ty"_qs));
    QFile::setPermissions(locked,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QVERIFY(h.dialogs.messages.isEmpty());
}

void FileChecksTest::splitFilePathCutsAtTheLastSeparator_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("dir");
    QTest::newRow("full path") << "/zr-tools/Kelvara/user/model.ty"
                               << "model.ty"
                               << "/zr-tools/Kelvara/user";
    QTest::newRow("file in the root") << "/model.ty"
                                      << "model.ty"
                                      << "/";
    QTest::newRow("trailing separator") << "/work/"
                                        << ""
                                        << "/work";
    QTest::newRow("blanks") << "/my dir/a b.ty"
                            << "a b.ty"
                            << "/my dir";
    QTest::newRow("bare name") << "model.ty"
                               << "model.ty" << QDir::currentPath();
    QTest::newRow("empty") << ""
                           << "" << QDir::currentPath();
}

void FileChecksTest::splitFilePathCutsAtTheLastSeparator()
{
    QFETCH(QString, path);
    QFETCH(QString, name);
    QFETCH(QString, dir);
    QString gotDir = u"untouched"_qs;
    QCOMPARE(SplitFilePath(path, gotDir), name);
    QCOMPARE(gotDir, dir);
}

void FileChecksTest::shortLowerPathGivesTheOnDiskPathOrEmpty()
{
    Harness h;
    const QString file = h.tmp.path() + u"/My Model.TY"_qs;
    Harness::write(file, "x");
    // Names keep their case here: file names are case-sensitive.
    QCOMPARE(ShortLowerPath(file), QFileInfo(file).canonicalFilePath());
    QVERIFY(ShortLowerPath(file).endsWith(u"/My Model.TY"_qs));
    QCOMPARE(ShortLowerPath(h.tmp.path() + u"/missing.ty"_qs), QString());
}

void FileChecksTest::dosCopyCopiesIntoADirectoryOrToANewName()
{
    Harness h;
    const QString src = h.program + u"/user/model.out"_qs;
    Harness::write(src, "answer\r\n");
    h.desktop.floppy = h.tmp.path() + u"/floppy"_qs;
    QDir().mkpath(h.desktop.floppy);

    QString source = src, destination = u"a:"_qs;
    QVERIFY(DosCopy(h.ctx, source, destination));
    QCOMPARE(source, QFileInfo(src).canonicalFilePath());
    QCOMPARE(Harness::read(h.desktop.floppy + u"/model.out"_qs), QByteArray("answer\r\n"));

    // A destination that does not exist yet is used unchanged.
    source = src;
    destination = h.program + u"/DOSstart copy.tmp"_qs;
    QVERIFY(DosCopy(h.ctx, source, destination));
    QCOMPARE(destination, h.program + u"/DOSstart copy.tmp"_qs);
    QCOMPARE(Harness::read(destination), QByteArray("answer\r\n"));

    // An existing destination is replaced.
    Harness::write(src, "second\r\n");
    source = src;
    QVERIFY(DosCopy(h.ctx, source, destination));
    QCOMPARE(Harness::read(h.program + u"/DOSstart copy.tmp"_qs), QByteArray("second\r\n"));
    QVERIFY(h.dialogs.messages.isEmpty());
}

void FileChecksTest::dosCopyReportsAFailedCopy()
{
    Harness h;
    QString source = h.tmp.path() + u"/missing.out"_qs;
    QString destination = h.tmp.path() + u"/copy.out"_qs;
    QVERIFY(!DosCopy(h.ctx, source, destination));
    QCOMPARE(h.dialogs.messages.size(), 1);
    QCOMPARE(h.dialogs.messages.first().title, u"In 'DosCopy' routine ..."_qs);
    QVERIFY(h.dialogs.messages.first().text.contains(u"could not be copied"_qs));
    QVERIFY(!QFile::exists(destination));

    // Into a directory that does not exist.
    Harness::write(h.tmp.path() + u"/real.out"_qs, "x");
    source = h.tmp.path() + u"/real.out"_qs;
    destination = h.tmp.path() + u"/no such dir/copy.out"_qs;
    QVERIFY(!DosCopy(h.ctx, source, destination));
    QCOMPARE(h.dialogs.messages.size(), 2);
}

QTEST_GUILESS_MAIN(FileChecksTest)
#include "tst_filechecks.moc"
