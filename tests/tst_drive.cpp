#include "TestDoubles.h"

#include "editor/mdlFileChecks.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

namespace {

// The environment variable that tells a copy of this test that it runs in a
// private mount namespace and may mount at the directory it names.
const char *const mountDirVariable = "KELVARA_TEST_MOUNT_DIR";

const QString floppyBox
    = QStringLiteral("Put a floppy disk in the drive and cloce the drive door.");

// A program context whose drive check is the desktop's own.
struct DriveHarness
{
    explicit DriveHarness(const QString &floppy)
        : desktop(floppy)
        , hive(tmp.path() + QStringLiteral("/hive.reg"))
        , ctx{state, hive, settings, desktop, dialogs, tmp.path(), {}}
    {}
    QTemporaryDir tmp;
    AppState state;
    QtDesktopServices desktop;
    RegistryHive hive;
    MemorySettings settings;
    ScriptedDialogs dialogs;
    AppContext ctx;
};

bool run(const QString &program, const QStringList &arguments)
{
    QProcess p;
    p.start(program, arguments);
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

} // namespace

class DriveTest : public QObject
{
    Q_OBJECT

private slots:
    void mountPointsTheSystemKnowsAreReady_data();
    void mountPointsTheSystemKnowsAreReady();
    void aPlainDirectoryIsNotReadyAndAMissingOneUnavailable();
    void aMountedDriveIsReadyAndItsAbsenceAsksForADisk();
};

void DriveTest::mountPointsTheSystemKnowsAreReady_data()
{
    QTest::addColumn<QString>("dir");
    QTest::newRow("root") << u"/"_qs;
    QTest::newRow("proc") << u"/proc"_qs;
}

void DriveTest::mountPointsTheSystemKnowsAreReady()
{
    QFETCH(QString, dir);
    const QtDesktopServices desktop(dir);
    QCOMPARE(desktop.driveState(u"A:model.ty"_qs), DriveState::Ready);
    // A directory below the mount point is on the same drive.
    QCOMPARE(desktop.driveState(dir + u"/self"_qs), DriveState::Ready);
}

void DriveTest::aPlainDirectoryIsNotReadyAndAMissingOneUnavailable()
{
    QTemporaryDir tmp;
    const QtDesktopServices present(tmp.path());
    QCOMPARE(present.driveState(u"A:model.ty"_qs), DriveState::NotReady);
    QCOMPARE(present.driveState(tmp.path() + u"/model.ty"_qs), DriveState::NotReady);
    // Paths elsewhere never depend on the drive.
    QCOMPARE(present.driveState(u"/tmp/model.ty"_qs), DriveState::Ready);
    const QtDesktopServices missing(tmp.path() + u"/no such drive"_qs);
    QCOMPARE(missing.driveState(u"A:model.ty"_qs), DriveState::Unavailable);

    // Through the file check: the retry box, and Cancel ends the look.
    DriveHarness h(tmp.path());
    Harness::write(tmp.path() + u"/model.ty"_qs, "x\r\n");
    h.dialogs.answers << MsgAnswer::Cancel;
    QVERIFY(!FileExists(h.ctx, u"A:model.ty"_qs));
    QCOMPARE(h.dialogs.messages.size(), 1);
    QCOMPARE(h.dialogs.messages.first().text, floppyBox);
}

void DriveTest::aMountedDriveIsReadyAndItsAbsenceAsksForADisk()
{
    const QByteArray dir = qgetenv(mountDirVariable);
    if (dir.isEmpty()) {
        // Mounting needs a private mount namespace: run this case again in one.
        const QString unshare = QStandardPaths::findExecutable(u"unshare"_qs);
        if (unshare.isEmpty())
            QSKIP("unshare(1) is not installed: no private mount namespace to mount a drive in");
        if (!run(unshare, {u"--mount"_qs, u"--propagation"_qs, u"private"_qs, u"true"_qs}))
            QSKIP("this user may not create a private mount namespace (needs root or "
                  "CAP_SYS_ADMIN), so no drive can be mounted");
        QTemporaryDir tmp;
        const QString floppy = tmp.path() + u"/floppy drive"_qs;
        QVERIFY(QDir().mkpath(floppy));
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QString::fromLatin1(mountDirVariable), floppy);
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(unshare,
                    {u"--mount"_qs,
                     u"--propagation"_qs,
                     u"private"_qs,
                     QCoreApplication::applicationFilePath(),
                     u"aMountedDriveIsReadyAndItsAbsenceAsksForADisk"_qs});
        QVERIFY(child.waitForFinished(60000));
        const QByteArray output = child.readAll();
        QVERIFY2(child.exitCode() == 0, output.constData());
        // The mount stayed inside the namespace.
        QCOMPARE(QtDesktopServices(floppy).driveState(floppy), DriveState::NotReady);
        return;
    }

    const QString floppy = QString::fromLocal8Bit(dir);
    QVERIFY(
        run(u"mount"_qs, {u"-t"_qs, u"tmpfs"_qs, u"-o"_qs, u"size=1m"_qs, u"tmpfs"_qs, floppy}));
    Harness::write(floppy + u"/model.ty"_qs, "x\r\n");
    {
        DriveHarness h(floppy);
        QCOMPARE(h.desktop.driveState(u"A:model.ty"_qs), DriveState::Ready);
        QVERIFY(FileExists(h.ctx, u"A:model.ty"_qs));
        QVERIFY(h.dialogs.messages.isEmpty());
    }
    QVERIFY(run(u"umount"_qs, {floppy}));
    {
        DriveHarness h(floppy);
        QCOMPARE(h.desktop.driveState(u"A:model.ty"_qs), DriveState::NotReady);
        // OK tries again (still no disk), Cancel gives up.
        h.dialogs.answers << MsgAnswer::OK << MsgAnswer::Cancel;
        QVERIFY(!FileExists(h.ctx, u"A:model.ty"_qs));
        QCOMPARE(h.dialogs.messages.size(), 2);
        QCOMPARE(h.dialogs.messages.last().text, floppyBox);
    }
}

QTEST_GUILESS_MAIN(DriveTest)
#include "tst_drive.moc"
