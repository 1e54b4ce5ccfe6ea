#pragma once

#include "RunReport.h"

#include <QElapsedTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <thread>

class QLabel;
class QPlainTextEdit;
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

    RunWindow(const RunReport::Request &request, Desktop desktop, QWidget *parent = nullptr);
    ~RunWindow() override; // stops a job still running and waits for it

    void start(); // starts the job on the worker thread
    void stop();  // asks the job to stop; it ends within a fraction of a second

    bool isRunning() const { return m_state == State::Running; }
    bool hasEnded() const { return m_state == State::Ended; }
    int status() const { return m_status; }       // the launcher's exit status, once ended
    QString problem() const { return m_problem; } // why no report was written (NoReport)

    // What the window shows, for the tests.
    QString phaseText() const;
    QString linesText() const;
    qsizetype droppedLines() const { return m_dropped; }
    int lineAtWork() const;

signals:
    void ended(int status);

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    struct Shared;
    enum class State { Ready, Running, Ended };

    void takeLines();
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
    QTimer *m_timer = nullptr;
};
