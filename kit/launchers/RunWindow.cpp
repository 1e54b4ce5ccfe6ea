#include "RunWindow.h"

#include "TyLexer.h"

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMutex>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <atomic>

// What the worker thread and the window share.
struct RunWindow::Shared
{
    QMutex mutex;
    QStringList pending;          // printed lines the window has not taken yet
    qsizetype pendingDropped = 0; // lines dropped before the window took them
    bool posted = false;          // a call to take them is on its way
    std::atomic<int> line{0};     // the line at work
    std::atomic<bool> stop{false};
    // The outcome, set once when the job has ended.
    int status = RunReport::JobFailed;
    QString problem;
    RunReport::Report report;
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
{
    const QString code = codePath(request);
    const QString data = request.arguments.value(RunReport::DataFile);
    setWindowTitle(request.arguments.value(RunReport::CodeName)
                   + QStringLiteral(".ty - Tessaly run"));

    m_files = new QLabel(
        QStringLiteral("Code file: ") + (code.isEmpty() ? QStringLiteral("(not named)") : code)
        + QStringLiteral("    Data file: ") + (data.isEmpty() ? QStringLiteral("none") : data));
    m_files->setTextFormat(Qt::PlainText);
    m_files->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_phase = new QLabel(QStringLiteral("Checking the code ..."));
    m_phase->setTextFormat(Qt::PlainText);
    m_phase->setWordWrap(true);
    QFont bold = m_phase->font();
    bold.setBold(true);
    m_phase->setFont(bold);

    m_lines = new QPlainTextEdit;
    m_lines->setReadOnly(true);
    m_lines->setMaximumBlockCount(LineCap);
    m_lines->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_lines->setFont(QFont(QStringLiteral("Monospace")));
    m_lines->setFocusPolicy(Qt::NoFocus); // Esc reaches the window
    m_droppedLabel = new QLabel;
    m_droppedLabel->setVisible(false);

    m_bar = new QProgressBar;
    m_code = readCode(code);
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
    layout->addWidget(m_lines, 1);
    layout->addWidget(m_droppedLabel);
    layout->addLayout(progressRow);
    layout->addLayout(buttons);
    resize(720, 480);

    m_timer = new QTimer(this);
    m_timer->setInterval(100);
    connect(m_timer, &QTimer::timeout, this, &RunWindow::tick);
}

RunWindow::~RunWindow()
{
    m_shared->stop = true;
    if (m_worker.joinable())
        m_worker.join();
}

void RunWindow::start()
{
    if (m_state != State::Ready)
        return;
    m_state = State::Running;
    m_closeWhenDone = ToolKitFiles::readSettings(m_request.programDir).closeWindow;
    m_clock.start();
    m_timer->start();
    m_stop->setFocus();

    // The window outlives the worker (the destructor waits for it), so the queued
    // calls below always find it.
    RunReport::Request request = m_request;
    const std::shared_ptr<Shared> shared = m_shared;
    request.printed = [this, shared](const QString &line) {
        {
            QMutexLocker lock(&shared->mutex);
            shared->pending << line;
            if (shared->pending.size() > LineCap) {
                shared->pending.removeFirst();
                ++shared->pendingDropped;
            }
            if (shared->posted)
                return;
            shared->posted = true;
        }
        QMetaObject::invokeMethod(this, &RunWindow::takeLines, Qt::QueuedConnection);
    };
    request.progress = [shared](int line) { shared->line = line; };
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

void RunWindow::stop()
{
    if (m_state != State::Running)
        return;
    m_shared->stop = true;
    m_stop->setEnabled(false);
    m_phase->setText(QStringLiteral("Stopping ..."));
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
    // rest waits for the next turn.
    constexpr qsizetype slice = 1000;
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
        QMetaObject::invokeMethod(this, &RunWindow::takeLines, Qt::QueuedConnection);
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
    const int line = m_shared->line;
    if (line > m_bar->maximum())
        m_bar->setMaximum(line);
    m_bar->setValue(line);
}

void RunWindow::jobEnded()
{
    if (m_worker.joinable())
        m_worker.join();
    // Lines still waiting are shown first, a slice per turn of the event loop.
    takeLines();
    {
        QMutexLocker lock(&m_shared->mutex);
        if (!m_shared->pending.isEmpty()) {
            QMetaObject::invokeMethod(this, &RunWindow::jobEnded, Qt::QueuedConnection);
            return;
        }
    }
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
        if (report.findings > 0)
            m_phase->setText(QStringLiteral("Not run: %1 %2")
                                 .arg(QString::number(report.findings),
                                      report.findings == 1 ? QStringLiteral("finding")
                                                           : QStringLiteral("findings")));
        else if (!report.problems.isEmpty())
            m_phase->setText(QStringLiteral("Stopped at line %1: %2")
                                 .arg(QString::number(report.problems.first().line),
                                      ty::escapeControls(report.problems.first().message)));
        else
            m_phase->setText(QStringLiteral("Finished, not clean: ") + outcome);
        break;
    }
    m_stop->setEnabled(false);
    m_viewOutput->setEnabled(m_status != RunReport::NoReport);
    m_viewPlots->setEnabled(!m_plots.isEmpty());
    m_close->setEnabled(true);
    m_close->setDefault(true);
    m_close->setFocus();
    emit ended(m_status);
    if (m_closeWhenEnded || (m_closeWhenDone && m_status == RunReport::JobDone))
        close();
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
        if (m_state == State::Running)
            stop();
        else
            close();
        return;
    }
    QWidget::keyPressEvent(event);
}
