#pragma once

#include "RunReport.h"

#include <QElapsedTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <thread>

class QLabel;
class QPlainTextEdit;
class QProcess;
class QProgressBar;
class QPushButton;
class QTimer;

// The run window of the run launchers: the job, its phase (checking, running,
// finished), every line it prints as it prints it, a progress bar for the line at
// work, the elapsed time, and Stop (Esc and closing the window stop too). When the
// job has ended it says how and offers View Output, View Plots and Close.
//
// The job runs on a worker thread (RunReport::run); its lines reach the window in
// batches through queued calls, so a job that prints without end leaves the window
// responsive. The window keeps the last LineCap lines and counts the ones it dropped.
//
// When another run still writes the report, the window first waits for it and asks
// whether to stop that run or to wait for it to end.
//
// For run-sim.pif the window runs the user's simulation program instead: what it
// writes to its standard output and error shows as it comes, and Stop ends its whole
// process group.
class RunWindow : public QWidget
{
    Q_OBJECT

public:
    static constexpr int LineCap = 10000;

    // The desktop around the window: opening the report, starting the plot viewer.
    struct Desktop
    {
        std::function<bool(const QString &file)> openFile;
        std::function<bool(const QString &program, const QStringList &arguments)> startProgram;
    };

    // Another run holds the report lock.
    struct Wait
    {
        QString holder;                   // "the run of "model.ty" (process 123)"
        std::function<bool()> tryTake;    // true once the lock is this run's
        std::function<void()> stopHolder; // asks the holding run to end
    };

    // The user's simulation program and its arguments (run-sim.pif).
    struct Simulation
    {
        QString program;
        QStringList arguments;
        QString dataFile; // shown in the window; may be empty
    };

    RunWindow(const RunReport::Request &request, Desktop desktop, QWidget *parent = nullptr);
    RunWindow(const Simulation &simulation,
              std::function<bool()> terminated,
              QWidget *parent = nullptr);
    ~RunWindow() override; // stops a job still running and waits for it

    void start(); // starts the job (on the worker thread, or the simulation program)
    void stop();  // asks the job to stop; it ends within a fraction of a second
    // Waits until wait.tryTake() holds, then starts the job; asks meanwhile whether
    // to stop the holder. Stop, Esc and closing end the wait: no report is written.
    void waitThenStart(Wait wait);

    bool isWaiting() const { return m_state == State::Waiting; }
    bool isRunning() const { return m_state == State::Running; }
    bool hasEnded() const { return m_state == State::Ended; }
    int status() const { return m_status; }       // the launcher's exit status, once ended
    QString problem() const { return m_problem; } // why no report was written (NoReport)

    // What the window shows, for the tests.
    QString phaseText() const;
    QString linesText() const;
    qsizetype droppedLines() const { return m_dropped; }
    int lineAtWork() const;
    QString progressText() const; // what the progress bar says

signals:
    void ended(int status);

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    struct Shared;
    enum class State { Ready, Waiting, Running, Ended };

    void build(const QString &title, const QString &files, const QString &phase);
    void startJob();
    void startSimulation();
    void readSimulation();
    void simulationEnded();
    void pollLock();
    void endWait(const QString &why);
    void takeLines();
    // Takes a slice of the lines still waiting; true when more wait, and again is then
    // called on a later turn of the event loop.
    bool linesStillWaiting(void (RunWindow::*again)());
    void showEnded(bool closeNow); // Stop off, Close the default; emits ended
    void showRunning();
    void jobEnded();
    void tick();
    void viewOutput();
    void viewPlots();

    RunReport::Request m_request;
    Desktop m_desktop;
    std::shared_ptr<Shared> m_shared;
    std::thread m_worker;
    State m_state = State::Ready;
    bool m_closeWhenEnded = false;
    bool m_closeWhenDone = false; // close-window = yes in the launcher settings
    int m_status = RunReport::JobFailed;
    QString m_problem;
    QStringList m_plots;
    QStringList m_code; // the code file's lines, to show the ones a problem points at
    qsizetype m_received = 0;
    qsizetype m_dropped = 0;
    QElapsedTimer m_clock;
    Wait m_wait;
    bool m_stopAsked = false;
    ty::Advance m_shownAdvance; // what the bar shows of an Initiate or Find
    bool m_askedHolder = false;
    // run-sim.pif
    bool m_isSimulation = false;
    Simulation m_simulation;
    std::function<bool()> m_terminated;
    QProcess *m_process = nullptr;
    QByteArray m_partial; // the simulation's last line, not yet ended
    bool m_simulationStopped = false;

    QLabel *m_files = nullptr;
    QLabel *m_phase = nullptr;
    QPlainTextEdit *m_lines = nullptr;
    QLabel *m_droppedLabel = nullptr;
    QProgressBar *m_bar = nullptr;
    QLabel *m_elapsed = nullptr;
    QPushButton *m_stop = nullptr;
    QPushButton *m_viewOutput = nullptr;
    QPushButton *m_viewPlots = nullptr;
    QPushButton *m_close = nullptr;
    QWidget *m_question = nullptr; // Stop That Run / Wait for It, while waiting
    QLabel *m_questionText = nullptr;
    QPushButton *m_stopHolder = nullptr;
    QPushButton *m_waitForHolder = nullptr;
    QTimer *m_timer = nullptr;
    QTimer *m_lockTimer = nullptr;
};
