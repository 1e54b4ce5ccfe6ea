// kv-launch: the program behind the launchers of the program directory.
//
//   kv-launch run  <program dir> <launcher name> <code name> <code dir> <drive> <base dir> [<data
//   file>] kv-launch sim  <program dir> [<data file>] kv-launch list <program dir>
//
// The .pif scripts call it with their own directory as <program dir>. Every other
// argument is data: it is never handed to a shell or read as an option.

#include "RunReport.h"
#include "RunWindow.h"
#include "ToolKitFiles.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QMessageBox>
#include <QProcess>
#include <QTextStream>
#include <QTimer>
#include <QUrl>

#include <atomic>
#include <csignal>

#include <signal.h>
#include <sys/types.h>

namespace {

const QString toolKitTitle = QStringLiteral("Kelvara sample tool kit");

// Set when the launcher is told to end (SIGTERM): a run then ends at once and its
// report says so.
std::atomic<bool> terminationAsked{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void askTermination(int)
{
    terminationAsked = true;
}

void catchTermination()
{
    struct sigaction action = {};
    action.sa_handler = askTermination;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
}

bool displayAvailable()
{
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    if (platform.startsWith(u"offscreen") || platform.startsWith(u"minimal"))
        return false;
    return !qEnvironmentVariableIsEmpty("DISPLAY")
           || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// The application object, made when first needed: for a message box, or to draw a
// run's plot. It gets no arguments of the launcher: Qt would take some of them
// ("-platform", "-style", ...) for itself. Without a screen it draws off screen.
QApplication &application()
{
    static int argc = 1;
    static char name[] = "kv-launch";
    static char *argv[] = {name, nullptr};
    if (!displayAvailable())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(argc, argv);
    return app;
}

// The text goes to standard error, and into a message box when there is a screen to
// show one on (the program starts the launchers without a terminal).
void tellUser(const QString &text)
{
    QTextStream(stderr) << toolKitTitle << ": " << text << Qt::endl;
    if (!displayAvailable())
        return;
    application();
    QMessageBox box(QMessageBox::Warning, toolKitTitle, text, QMessageBox::Ok);
    box.exec();
}

// Runs a program of the tool kit with the launcher's own standard channels and
// returns its exit status.
int runTool(const QString &program,
            const QStringList &arguments,
            const QString &workingDirectory,
            const QString &label)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.setInputChannelMode(QProcess::ForwardedInputChannel);
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    process.start(program, arguments);
    if (!process.waitForStarted(-1)) {
        tellUser(QStringLiteral("%1 %2 could not be started: %3")
                     .arg(label, ToolKitFiles::quoted(program), process.errorString()));
        return 1;
    }
    process.waitForFinished(-1);
    if (process.exitStatus() != QProcess::NormalExit) {
        QTextStream(stderr) << toolKitTitle << ": " << label << " ended abnormally" << Qt::endl;
        return 1;
    }
    return process.exitCode();
}

// Shows the run window raised and focused, begins its work and runs until it is
// closed. Told to end (SIGTERM), the window stops its job and goes once that has ended.
void showUntilClosed(QApplication &app, RunWindow &window, const std::function<void()> &begin)
{
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &window, [&window] {
        if (terminationAsked)
            window.close();
    });
    watch.start(100);
    window.setWindowIcon(QIcon(QStringLiteral(":/kv-launch/kelvara.svg")));
    window.show();
    window.raise();
    window.activateWindow();
    begin();
    app.exec();
}

// With a display the job runs in the run window, which the user watches and may
// stop; the launcher ends when the window is closed.
int runInWindow(const RunReport::Request &request,
                QLockFile &lock,
                const RunWindow::Wait *wait,
                QString *problem)
{
    QApplication &app = application();
    RunWindow::Desktop desktop;
    desktop.openFile
        = [](const QString &file) { return QDesktopServices::openUrl(QUrl::fromLocalFile(file)); };
    desktop.startProgram = [](const QString &program, const QStringList &arguments) {
        return QProcess::startDetached(program, arguments);
    };
    RunWindow window(request, desktop);
    // The report is written: the next run may begin while this window stays open.
    QObject::connect(&window, &RunWindow::ended, &window, [&lock] { lock.unlock(); });
    showUntilClosed(app, window, [&window, wait] {
        if (wait)
            window.waitThenStart(*wait);
        else
            window.start();
    });
    *problem = window.problem();
    return window.status();
}

// run-sim.pif with a display: the simulation program runs in the run window.
int simulateInWindow(const RunWindow::Simulation &simulation)
{
    QApplication &app = application();
    RunWindow window(simulation, [] { return terminationAsked.load(); });
    showUntilClosed(app, window, [&window] { window.start(); });
    return window.status();
}

// The run that holds the report lock: the process the lock file names, and its job
// when it is a run launcher (its arguments: run <program dir> <launcher> <code name>).
QString lockHolder(qint64 pid)
{
    QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
    QString job;
    if (cmdline.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> parts = cmdline.readAll().split('\0');
        if (parts.size() > 4 && parts.at(1) == "run")
            job = QString::fromLocal8Bit(parts.at(4)) + QStringLiteral(".ty");
    }
    if (job.isEmpty())
        return QStringLiteral("the run of process %1").arg(pid);
    return QStringLiteral("the run of %1 (process %2)")
        .arg(ToolKitFiles::quoted(job), QString::number(pid));
}

// Takes the report lock user/~KV-out.lock at once when it is free; false when another
// run holds it (*holder names that run, *holderPid its process). The lock of a process
// that has ended is taken over. A lock that cannot be made at all (no user directory,
// no write permission) is passed over: writing the report then fails and says why.
bool tryReportLock(QLockFile &lock, QString *holder = nullptr, qint64 *holderPid = nullptr)
{
    lock.setStaleLockTime(0); // a lock is stale only when its process has ended
    if (lock.tryLock(0) || lock.error() != QLockFile::LockFailedError)
        return true;
    qint64 pid = 0;
    QString host;
    QString app;
    lock.getLockInfo(&pid, &host, &app);
    if (holder)
        *holder = lockHolder(pid);
    if (holderPid)
        *holderPid = pid;
    return false;
}

// Without a display a second run waits for the first, so two runs at once never write
// over each other's report. Returns false when the launcher was told to end while it
// waited.
bool waitForReportLock(QLockFile &lock, const QString &holder, RunReport::Request &request)
{
    QTextStream(stderr) << toolKitTitle << ": waiting for " << holder << " to end" << Qt::endl;
    request.waitedFor = holder;
    while (!lock.tryLock(100)) {
        if (terminationAsked)
            return false;
        if (lock.error() != QLockFile::LockFailedError)
            return true;
    }
    return true;
}

// run-KV-Linux.pif, run-KV-W9x.pif.
int runJob(const QString &programDir, const QStringList &args)
{
    RunReport::Request request;
    request.programDir = programDir;
    request.launcherName = args.value(0);
    request.arguments = args.mid(1);
    request.when = QDateTime::currentDateTime();
    request.terminated = [] { return terminationAsked.load(); };
    QLockFile lock(QDir(programDir).filePath(QStringLiteral("user/~KV-out.lock")));
    QString holder;
    qint64 holderPid = 0;
    const bool free = tryReportLock(lock, &holder, &holderPid);
    QString problem;
    int status = 0;
    if (displayAvailable()) {
        // The window waits for the run that holds the report, and asks whether to stop it.
        RunWindow::Wait wait;
        wait.holder = holder;
        wait.tryTake = [&lock] { return tryReportLock(lock); };
        wait.stopHolder = [holderPid] {
            // A run told to end writes its report (status 4) and then lets go.
            if (holderPid > 0)
                ::kill(pid_t(holderPid), SIGTERM);
        };
        status = runInWindow(request, lock, free ? nullptr : &wait, &problem);
        // The window has shown why no report was written.
        if (status == RunReport::NoReport)
            QTextStream(stderr) << toolKitTitle << ": " << problem << Qt::endl;
    } else {
        if (!free && !waitForReportLock(lock, holder, request)) {
            QTextStream(stderr) << toolKitTitle
                                << ": told to end while waiting for another run; no report "
                                   "written"
                                << Qt::endl;
            return RunReport::NoReport;
        }
        application(); // the run's plot is drawn into a GIF picture
        status = RunReport::run(request, &problem);
        if (status == RunReport::NoReport)
            tellUser(problem);
    }
    if (status != RunReport::NoReport)
        QTextStream(stdout) << "Report written to " << RunReport::reportPath(programDir)
                            << Qt::endl;
    return status;
}

// run-sim.pif: the user's simulation program MySim.exe of the program directory gets
// the launcher's arguments (the data file name, possibly empty) unchanged.
int runSimulation(const QString &programDir, const QStringList &args)
{
    const QString wanted = QDir(programDir).filePath(QStringLiteral("MySim.exe"));
    const QString found = ToolKitFiles::findPath(wanted);
    const QFileInfo info(found);
    if (found.isEmpty() || !info.isFile()) {
        tellUser(QStringLiteral("No simulation program: %1 was not found. Put your simulation "
                                "program into the program directory as MySim.exe (executable) "
                                "and submit again.")
                     .arg(ToolKitFiles::quoted(wanted)));
        return 1;
    }
    if (!info.isExecutable()) {
        tellUser(QStringLiteral("The simulation program %1 is not executable. Give it execute "
                                "permission (chmod +x) and submit again.")
                     .arg(ToolKitFiles::quoted(found)));
        return 1;
    }
    if (displayAvailable()) {
        RunWindow::Simulation simulation;
        simulation.program = found;
        simulation.arguments = args;
        simulation.dataFile = args.value(0);
        return simulateInWindow(simulation);
    }
    return runTool(found, args, {}, QStringLiteral("The simulation program"));
}

// list-ty.pif: the demo-code search tool List.com over demos/all.
int runSearch(const QString &programDir)
{
    const QString wanted = QDir(programDir).filePath(QStringLiteral("List.com"));
    const QString tool = ToolKitFiles::findPath(wanted);
    if (tool.isEmpty() || !QFileInfo(tool).isFile() || !QFileInfo(tool).isExecutable()) {
        tellUser(QStringLiteral("The demo-code search tool %1 is missing or not executable. "
                                "Re-install the Kelvara tool kit.")
                     .arg(ToolKitFiles::quoted(wanted)));
        return 1;
    }
    const QString demosWanted = QDir(programDir).filePath(QStringLiteral("demos/all"));
    const QString demos = ToolKitFiles::findPath(demosWanted);
    if (demos.isEmpty() || !QFileInfo(demos).isDir()) {
        tellUser(QStringLiteral("The demo directory %1 is missing. Re-install the Kelvara "
                                "tool kit.")
                     .arg(ToolKitFiles::quoted(demosWanted)));
        return 1;
    }
    return runTool(tool, {demos}, demos, QStringLiteral("The demo-code search tool"));
}

} // namespace

int main(int argc, char **argv)
{
    // Read before any Qt application object exists, which would take some arguments
    // for itself; these are the user's data.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);

    const QString mode = args.value(0);
    if (args.size() < 2 || (mode == u"run" && args.size() < 3)
        || (mode != u"run" && mode != u"sim" && mode != u"list")) {
        QTextStream(stderr) << "usage: kv-launch run <program dir> <launcher name> <arguments>\n"
                               "       kv-launch sim <program dir> [<data file>]\n"
                               "       kv-launch list <program dir>\n"
                               "The launchers of the program directory (*.pif) call it.\n";
        return 2;
    }
    // A run ends with its report when told to; a simulation in the run window ends its
    // program's process group first. Without a window a simulation ends as it always did.
    if (mode == u"run" || (mode == u"sim" && displayAvailable()))
        catchTermination();
    const QString programDir = QDir(args.at(1)).absolutePath();
    const QStringList rest = args.mid(2);
    if (mode == u"run")
        return runJob(programDir, rest);
    if (mode == u"sim")
        return runSimulation(programDir, rest);
    return runSearch(programDir);
}
