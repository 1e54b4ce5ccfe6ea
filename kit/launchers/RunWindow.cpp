#include "RunWindow.h"

#include "TyLexer.h"

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMutex>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <atomic>
#include <cmath>

#include <signal.h>
#include <unistd.h>

// What the worker thread and the window share.
struct RunWindow::Shared
{
    QMutex mutex;
    QStringList pending;          // printed lines the window has not taken yet
    qsizetype pendingDropped = 0; // lines dropped before the window took them
    bool posted = false;          // a call to take them is on its way
    std::atomic<int> line{0};     // the line at work
    ty::Advance advance;          // how far the Initiate or Find at work has come
    std::atomic<bool> stop{false};
    // The outcome, set once when the job has ended.
    int status = RunReport::JobFailed;
    QString problem;
    RunReport::Report report;

    // Queues a printed line; true when the window must be told to take lines.
    bool push(const QString &line)
    {
        QMutexLocker lock(&mutex);
        pending << line;
        if (pending.size() > RunWindow::LineCap) {
            pending.removeFirst();
            ++pendingDropped;
        }
        if (posted)
            return false;
        posted = true;
        return true;
    }
};

namespace {

QString codePath(const RunReport::Request &request)
{
    const QString name = request.arguments.value(RunReport::CodeName);
    const QString dir = request.arguments.value(RunReport::CodeDirectory);
    if (name.isEmpty() || dir.isEmpty())
        return {};
    return dir + u'/' + name + QStringLiteral(".ty");
}

// The code file's lines; none when it cannot be read or is very large.
QStringList readCode(const QString &path)
{
    QFile file(ToolKitFiles::findPath(path));
    if (path.isEmpty() || file.size() > 64 * 1024 * 1024 || !file.open(QIODevice::ReadOnly))
        return {};
    QString text = ty::decodeSource(file.readAll());
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    if (text.endsWith(u'\n'))
        text.chop(1);
    return text.isEmpty() ? QStringList() : text.split(u'\n');
}

} // namespace

RunWindow::RunWindow(const RunReport::Request &request, Desktop desktop, QWidget *parent)
    : QWidget(parent)
    , m_request(request)
    , m_desktop(std::move(desktop))
    , m_shared(std::make_shared<Shared>())
    , m_terminated(request.terminated)
{
    const QString code = codePath(request);
    const QString data = request.arguments.value(RunReport::DataFile);
    m_code = readCode(code);
    build(request.arguments.value(RunReport::CodeName) + QStringLiteral(".ty - Tessaly run"),
          QStringLiteral("Code file: ") + (code.isEmpty() ? QStringLiteral("(not named)") : code)
              + QStringLiteral("    Data file: ")
              + (data.isEmpty() ? QStringLiteral("none") : data),
          QStringLiteral("Checking the code ..."));
}

RunWindow::RunWindow(const Simulation &simulation,
                     std::function<bool()> terminated,
                     QWidget *parent)
    : QWidget(parent)
    , m_shared(std::make_shared<Shared>())
    , m_isSimulation(true)
    , m_simulation(simulation)
    , m_terminated(std::move(terminated))
{
    build(QFileInfo(simulation.program).fileName() + QStringLiteral(" - Tessaly run"),
          QStringLiteral("Simulation program: ") + simulation.program
              + QStringLiteral("    Data file: ")
              + (simulation.dataFile.isEmpty() ? QStringLiteral("none") : simulation.dataFile),
          QStringLiteral("Starting the simulation program ..."));
    m_bar->setRange(0, 0); // busy: a simulation program does not say how far it is
    m_viewOutput->setVisible(false);
    m_viewPlots->setVisible(false);
}

void RunWindow::build(const QString &title, const QString &files, const QString &phase)
{
    setWindowTitle(title);
    m_files = new QLabel(files);
    m_files->setTextFormat(Qt::PlainText);
    m_files->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_phase = new QLabel(phase);
    m_phase->setTextFormat(Qt::PlainText);
    m_phase->setWordWrap(true);
    QFont bold = m_phase->font();
    bold.setBold(true);
    m_phase->setFont(bold);

    // While another run holds the report: which one, and what to do about it.
    m_question = new QWidget;
    m_questionText = new QLabel;
    m_questionText->setTextFormat(Qt::PlainText);
    m_questionText->setWordWrap(true);
    m_stopHolder = new QPushButton(QStringLiteral("Stop That Run"));
    m_waitForHolder = new QPushButton(QStringLiteral("Wait for It"));
    auto *questionRow = new QHBoxLayout(m_question);
    questionRow->setContentsMargins(0, 0, 0, 0);
    questionRow->addWidget(m_questionText, 1);
    questionRow->addWidget(m_stopHolder);
    questionRow->addWidget(m_waitForHolder);
    m_question->setVisible(false);
    connect(m_stopHolder, &QPushButton::clicked, this, [this] {
        m_askedHolder = true;
        if (m_wait.stopHolder)
            m_wait.stopHolder();
        m_question->setVisible(false);
        m_phase->setText(QStringLiteral("Waiting: %1 was asked to stop ...").arg(m_wait.holder));
    });
    connect(m_waitForHolder, &QPushButton::clicked, this, [this] {
        m_question->setVisible(false);
        m_phase->setText(QStringLiteral("Waiting for %1 to end ...").arg(m_wait.holder));
    });

    m_lines = new QPlainTextEdit;
    m_lines->setReadOnly(true);
    m_lines->setMaximumBlockCount(LineCap);
    m_lines->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_lines->setFont(QFont(QStringLiteral("Monospace")));
    m_lines->setFocusPolicy(Qt::NoFocus); // Esc reaches the window
    m_droppedLabel = new QLabel;
    m_droppedLabel->setVisible(false);

    m_bar = new QProgressBar;
    m_bar->setRange(0, qMax(1, int(m_code.size())));
    m_bar->setValue(0);
    m_bar->setFormat(QStringLiteral("line %v of %m"));
    m_elapsed = new QLabel(QStringLiteral("0.0 s"));

    m_stop = new QPushButton(QStringLiteral("Stop"));
    m_viewOutput = new QPushButton(QStringLiteral("View Output"));
    m_viewPlots = new QPushButton(QStringLiteral("View Plots"));
    m_close = new QPushButton(QStringLiteral("Close"));
    m_viewOutput->setEnabled(false);
    m_viewPlots->setEnabled(false);
    m_close->setEnabled(false);
    connect(m_stop, &QPushButton::clicked, this, &RunWindow::stop);
    connect(m_viewOutput, &QPushButton::clicked, this, &RunWindow::viewOutput);
    connect(m_viewPlots, &QPushButton::clicked, this, &RunWindow::viewPlots);
    connect(m_close, &QPushButton::clicked, this, &QWidget::close);

    auto *progressRow = new QHBoxLayout;
    progressRow->addWidget(m_bar, 1);
    progressRow->addWidget(m_elapsed);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_stop);
    buttons->addStretch(1);
    buttons->addWidget(m_viewOutput);
    buttons->addWidget(m_viewPlots);
    buttons->addWidget(m_close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_files);
    layout->addWidget(m_phase);
    layout->addWidget(m_question);
    layout->addWidget(m_lines, 1);
    layout->addWidget(m_droppedLabel);
    layout->addLayout(progressRow);
    layout->addLayout(buttons);
    resize(720, 480);

    m_timer = new QTimer(this);
    m_timer->setInterval(100);
    connect(m_timer, &QTimer::timeout, this, &RunWindow::tick);
    m_lockTimer = new QTimer(this);
    m_lockTimer->setInterval(100);
    connect(m_lockTimer, &QTimer::timeout, this, &RunWindow::pollLock);
}

RunWindow::~RunWindow()
{
    m_shared->stop = true;
    if (m_worker.joinable())
        m_worker.join();
    if (m_process && m_process->state() != QProcess::NotRunning) {
        ::kill(-pid_t(m_process->processId()), SIGKILL);
        m_process->waitForFinished(1000);
    }
}

void RunWindow::start()
{
    if (m_state != State::Ready && m_state != State::Waiting)
        return;
    m_state = State::Running;
    m_lockTimer->stop();
    m_question->setVisible(false);
    m_clock.start();
    m_timer->start();
    m_stop->setFocus();
    if (m_isSimulation)
        startSimulation();
    else
        startJob();
}

void RunWindow::startJob()
{
    m_closeWhenDone = ToolKitFiles::readSettings(m_request.programDir).closeWindow;
    m_phase->setText(QStringLiteral("Checking the code ..."));
    // The window outlives the worker (the destructor waits for it), so the queued
    // calls below always find it.
    RunReport::Request request = m_request;
    const std::shared_ptr<Shared> shared = m_shared;
    request.printed = [this, shared](const QString &line) {
        if (shared->push(line))
            QMetaObject::invokeMethod(this, &RunWindow::takeLines, Qt::QueuedConnection);
    };
    request.progress = [shared](int line) { shared->line = line; };
    request.advance = [shared](const ty::Advance &advance) {
        QMutexLocker lock(&shared->mutex);
        shared->advance = advance;
    };
    request.running = [this] {
        QMetaObject::invokeMethod(this, &RunWindow::showRunning, Qt::QueuedConnection);
    };
    request.stopRequested = [shared] { return shared->stop.load(); };
    m_worker = std::thread([this, shared, request] {
        QString problem;
        RunReport::Report report;
        const int status = RunReport::run(request, &problem, &report);
        {
            QMutexLocker lock(&shared->mutex);
            shared->status = status;
            shared->problem = problem;
            shared->report = report;
        }
        QMetaObject::invokeMethod(this, &RunWindow::jobEnded, Qt::QueuedConnection);
    });
}

void RunWindow::waitThenStart(Wait wait)
{
    if (m_state != State::Ready)
        return;
    m_wait = std::move(wait);
    if (m_wait.tryTake && m_wait.tryTake()) {
        start();
        return;
    }
    m_state = State::Waiting;
    m_request.waitedFor = m_wait.holder;
    m_phase->setText(QStringLiteral("Waiting for %1 to end ...").arg(m_wait.holder));
    m_questionText->setText(
        QStringLiteral("Another run is still writing the report ~KV-out.txt. Stop that run and "
                       "start this one, or wait for it to end?"));
    m_question->setVisible(true);
    m_waitForHolder->setDefault(true);
    m_waitForHolder->setFocus();
    m_lockTimer->start();
}

void RunWindow::pollLock()
{
    if (m_state != State::Waiting)
        return;
    if (m_terminated && m_terminated()) {
        endWait(QStringLiteral("told to end while waiting for %1; no report written")
                    .arg(m_wait.holder));
        return;
    }
    if (m_wait.tryTake && m_wait.tryTake())
        start();
}

// The wait ends without a run: nothing was written, the other run's report stands.
void RunWindow::endWait(const QString &why)
{
    m_lockTimer->stop();
    m_state = State::Ended;
    m_status = RunReport::NoReport;
    m_problem = why;
    m_question->setVisible(false);
    m_phase->setText(QStringLiteral("Not run: ") + why);
    showEnded(m_closeWhenEnded);
}

void RunWindow::stop()
{
    if (m_state == State::Waiting) {
        endWait(QStringLiteral("stopped by the user while waiting for %1; no report written")
                    .arg(m_wait.holder));
        return;
    }
    if (m_state != State::Running)
        return;
    m_shared->stop = true;
    m_stopAsked = true;
    tick(); // what the bar shows now is where the run stopped
    m_stop->setEnabled(false);
    m_phase->setText(QStringLiteral("Stopping ..."));
    if (m_isSimulation && m_process && m_process->state() != QProcess::NotRunning) {
        // The program and everything it started: its own process group. What does not
        // end at SIGTERM is killed a little later.
        m_simulationStopped = true;
        const pid_t group = pid_t(m_process->processId());
        ::kill(-group, SIGTERM);
        QTimer::singleShot(300, m_process, [process = m_process, group] {
            if (process->state() != QProcess::NotRunning)
                ::kill(-group, SIGKILL);
        });
    }
}

// ---- run-sim.pif ----

void RunWindow::startSimulation()
{
    m_process = new QProcess(this);
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    m_process->setInputChannelMode(QProcess::ManagedInputChannel);
    // A group of its own, so Stop reaches whatever the program starts as well.
    m_process->setChildProcessModifier([] { ::setpgid(0, 0); });
    connect(m_process, &QProcess::readyReadStandardOutput, this, &RunWindow::readSimulation);
    connect(m_process, &QProcess::finished, this, &RunWindow::simulationEnded);
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            simulationEnded();
    });
    m_process->start(m_simulation.program, m_simulation.arguments);
    m_process->closeWriteChannel();
    m_phase->setText(QStringLiteral("Running ..."));
}

void RunWindow::readSimulation()
{
    m_partial += m_process->readAllStandardOutput();
    qsizetype from = 0;
    bool posted = false;
    for (qsizetype end; (end = m_partial.indexOf('\n', from)) >= 0; from = end + 1) {
        QByteArray line = m_partial.mid(from, end - from);
        if (line.endsWith('\r'))
            line.chop(1);
        posted |= m_shared->push(QString::fromLocal8Bit(line));
    }
    m_partial.remove(0, from);
    // A line without end grows no further than a window line can show.
    if (m_partial.size() > 64 * 1024) {
        posted |= m_shared->push(QString::fromLocal8Bit(m_partial));
        m_partial.clear();
    }
    if (posted)
        QMetaObject::invokeMethod(this, &RunWindow::takeLines, Qt::QueuedConnection);
}

void RunWindow::simulationEnded()
{
    if (m_state != State::Running)
        return;
    readSimulation();
    if (!m_partial.isEmpty() && m_shared->push(QString::fromLocal8Bit(m_partial)))
        QMetaObject::invokeMethod(this, &RunWindow::takeLines, Qt::QueuedConnection);
    m_partial.clear();
    if (linesStillWaiting(&RunWindow::simulationEnded))
        return;
    tick();
    m_timer->stop();
    m_state = State::Ended;
    const QString seconds = QString::number(double(m_clock.elapsed()) / 1000.0, 'f', 2);
    const QString program = QFileInfo(m_simulation.program).fileName();
    if (m_process->error() == QProcess::FailedToStart) {
        m_status = RunReport::JobFailed;
        m_problem = QStringLiteral("%1 could not be started: %2")
                        .arg(ToolKitFiles::quoted(m_simulation.program), m_process->errorString());
        m_phase->setText(QStringLiteral("Not run: ") + m_problem);
    } else if (m_terminated && m_terminated()) {
        m_status = RunReport::JobTerminated;
        m_phase->setText(QStringLiteral("Ended from outside after %1 s").arg(seconds));
    } else if (m_simulationStopped) {
        m_status = RunReport::JobStopped;
        m_phase->setText(QStringLiteral("Stopped by the user after %1 s").arg(seconds));
    } else if (m_process->exitStatus() != QProcess::NormalExit) {
        m_status = RunReport::JobFailed;
        m_phase->setText(QStringLiteral("%1 ended abnormally after %2 s").arg(program, seconds));
    } else {
        m_status = m_process->exitCode();
        m_phase->setText(m_status == 0 ? QStringLiteral("Finished in %1 s").arg(seconds)
                                       : QStringLiteral("%1 ended with exit status %2 after %3 s")
                                             .arg(program, QString::number(m_status), seconds));
    }
    m_bar->setRange(0, 1);
    m_bar->setValue(m_status == 0 ? 1 : 0);
    m_bar->setFormat(QString());
    showEnded(m_closeWhenEnded);
}

QString RunWindow::phaseText() const
{
    return m_phase->text();
}

QString RunWindow::linesText() const
{
    return m_lines->toPlainText();
}

int RunWindow::lineAtWork() const
{
    return m_bar->value();
}

void RunWindow::takeLines()
{
    // A slice at a time, so a flood of lines never holds the event loop long; the
    // rest waits for the next turn. The next slice comes by a zero timer, not a posted
    // call: posted calls that post the next are all run in one pass of the event
    // loop, with no timer or paint between them.
    constexpr qsizetype slice = 100;
    QStringList lines;
    qsizetype dropped = 0;
    bool more = false;
    {
        QMutexLocker lock(&m_shared->mutex);
        if (m_shared->pending.size() <= slice) {
            lines.swap(m_shared->pending);
        } else {
            lines = m_shared->pending.first(slice);
            m_shared->pending.remove(0, slice);
            more = true;
        }
        dropped = m_shared->pendingDropped;
        m_shared->pendingDropped = 0;
        m_shared->posted = more;
    }
    if (more)
        QTimer::singleShot(0, this, &RunWindow::takeLines);
    if (lines.isEmpty() && dropped == 0)
        return;
    m_received += lines.size() + dropped;
    for (QString &line : lines)
        line = ty::escapeControls(line);
    if (!lines.isEmpty())
        m_lines->appendPlainText(lines.join(u'\n'));
    m_dropped = qMax<qsizetype>(0, m_received - LineCap);
    if (m_dropped > 0) {
        m_droppedLabel->setText(QStringLiteral("The window keeps the last %1 lines; %2 earlier "
                                               "lines are only in the report.")
                                    .arg(LineCap)
                                    .arg(m_dropped));
        m_droppedLabel->setVisible(true);
    }
}

void RunWindow::showRunning()
{
    if (m_state == State::Running && !m_shared->stop)
        m_phase->setText(QStringLiteral("Running ..."));
}

void RunWindow::tick()
{
    m_elapsed->setText(QString::number(double(m_clock.elapsed()) / 1000.0, 'f', 1)
                       + QStringLiteral(" s"));
    if (m_isSimulation)
        return;
    const int line = m_shared->line;
    ty::Advance advance;
    {
        QMutexLocker lock(&m_shared->mutex);
        advance = m_shared->advance;
    }
    // A stopped run keeps showing how far it had come.
    if (m_stopAsked && advance.total <= 0)
        advance = m_shownAdvance;
    m_shownAdvance = advance;
    if (advance.total > 0 && advance.iterations) {
        // A Find: the iterations used of the most its method makes.
        m_bar->setRange(0, int(std::min(advance.total, 1e9)));
        m_bar->setValue(int(std::clamp(advance.done, 0.0, advance.total)));
        m_bar->setFormat(
            QStringLiteral("line %1: Find, iteration %v of %m").arg(QString::number(advance.line)));
    } else if (advance.total > 0) {
        // An Initiate: the share of its Span covered.
        m_bar->setRange(0, 1000);
        m_bar->setValue(
            int(std::round(1000.0 * std::clamp(advance.done / advance.total, 0.0, 1.0))));
        m_bar->setFormat(QStringLiteral("line %1: Initiate, %p% of the Span")
                             .arg(QString::number(advance.line)));
    } else {
        m_bar->setRange(0, std::max(qMax(1, int(m_code.size())), line));
        m_bar->setValue(line);
        m_bar->setFormat(QStringLiteral("line %v of %m"));
    }
}

QString RunWindow::progressText() const
{
    return m_bar->text();
}

void RunWindow::jobEnded()
{
    if (m_worker.joinable())
        m_worker.join();
    // Lines still waiting are shown first, a slice per turn of the event loop.
    if (linesStillWaiting(&RunWindow::jobEnded))
        return;
    tick();
    m_timer->stop();
    m_state = State::Ended;
    RunReport::Report report;
    {
        QMutexLocker lock(&m_shared->mutex);
        m_status = m_shared->status;
        m_problem = m_shared->problem;
        report = m_shared->report;
    }
    m_plots = report.plots;
    const QString outcome = report.outcome;
    // Findings and run-time errors, each with the code line it points at.
    const QString codeName = m_request.arguments.value(RunReport::CodeName) + QStringLiteral(".ty");
    for (const RunReport::Report::Problem &problem : report.problems) {
        QString text = codeName + u':' + QString::number(problem.line) + QStringLiteral(": ")
                       + ty::escapeControls(problem.message);
        if (problem.line >= 1 && problem.line <= m_code.size())
            text += QStringLiteral("\n    ") + QString::number(problem.line) + QStringLiteral(" | ")
                    + ty::escapeControls(m_code.at(problem.line - 1));
        m_lines->appendPlainText(text);
    }
    switch (m_status) {
    case RunReport::JobDone:
        m_phase->setText(QStringLiteral("Finished: ") + outcome);
        m_bar->setValue(m_bar->maximum());
        break;
    case RunReport::JobStopped:
    case RunReport::JobTerminated:
        m_phase->setText(outcome);
        break;
    case RunReport::NoReport:
        m_phase->setText(QStringLiteral("No report: ") + m_problem);
        break;
    default:
        if (report.findings > 0 || outcome.startsWith(u"not done"))
            m_bar->setFormat(QStringLiteral("not run"));
        if (report.findings > 0)
            m_phase->setText(QStringLiteral("Not run: %1 %2")
                                 .arg(QString::number(report.findings),
                                      report.findings == 1 ? QStringLiteral("finding")
                                                           : QStringLiteral("findings")));
        else if (!report.problems.isEmpty()) {
            const int line = report.problems.first().line;
            // A short run may stop before the bar heard of any line; a Find or an
            // Initiate keeps its own count.
            if (m_bar->format() == QStringLiteral("line %v of %m") && line > m_bar->value()
                && line <= m_bar->maximum())
                m_bar->setValue(line);
            m_phase->setText(QStringLiteral("Stopped at line %1: %2")
                                 .arg(QString::number(line),
                                      ty::escapeControls(report.problems.first().message)));
        } else
            m_phase->setText(QStringLiteral("Finished, not clean: ") + outcome);
        break;
    }
    m_viewOutput->setEnabled(m_status != RunReport::NoReport);
    m_viewPlots->setEnabled(!m_plots.isEmpty());
    showEnded(m_closeWhenEnded || (m_closeWhenDone && m_status == RunReport::JobDone));
}

void RunWindow::showEnded(bool closeNow)
{
    m_stop->setEnabled(false);
    m_close->setEnabled(true);
    m_close->setDefault(true);
    m_close->setFocus();
    emit ended(m_status);
    if (closeNow)
        close();
}

bool RunWindow::linesStillWaiting(void (RunWindow::*again)())
{
    takeLines();
    QMutexLocker lock(&m_shared->mutex);
    if (m_shared->pending.isEmpty())
        return false;
    QTimer::singleShot(0, this, again);
    return true;
}

void RunWindow::viewOutput()
{
    const QString report = RunReport::reportPath(m_request.programDir);
    if (!m_desktop.openFile || !m_desktop.openFile(report))
        m_phase->setText(m_phase->text() + QStringLiteral("\nThe report ") + report
                         + QStringLiteral(" could not be opened."));
}

void RunWindow::viewPlots()
{
    if (m_plots.isEmpty())
        return;
    const QString viewer = QDir::cleanPath(m_request.programDir + QStringLiteral("/../plots.exe"));
    if (!m_desktop.startProgram || !m_desktop.startProgram(viewer, {m_plots.first()}))
        m_phase->setText(m_phase->text() + QStringLiteral("\nThe plot viewer ") + viewer
                         + QStringLiteral(" could not be started."));
}

void RunWindow::closeEvent(QCloseEvent *event)
{
    if (m_state == State::Waiting) {
        stop(); // ends the wait; nothing was written
        event->accept();
        return;
    }
    if (m_state == State::Running) {
        // Closing stops the job; the window goes once the report is written.
        m_closeWhenEnded = true;
        stop();
        event->ignore();
        return;
    }
    event->accept();
}

void RunWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        if (m_state == State::Running || m_state == State::Waiting)
            stop();
        else
            close();
        return;
    }
    QWidget::keyPressEvent(event);
}
