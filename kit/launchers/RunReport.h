#pragma once

#include "ToolKitFiles.h"

#include <TyRun.h>

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>

// What the run launchers (run-KV-Linux.pif, run-KV-W9x.pif) do: they read the five
// arguments the program passes, look at the code and data files, check the code's
// syntax, run a job that has no findings, and write the report user/~KV-out.txt in
// the program directory: arguments, findings and listing, then the run's output, its
// plot files (user/<code name>.plt and .gif) and the run's outcome and time.
namespace RunReport {

// The launcher's arguments, in the order the program passes them.
enum Argument { CodeName, CodeDirectory, Drive, BaseDirectory, DataFile, ArgumentCount };

// Exit statuses of a run launcher.
enum Status {
    JobDone = 0,      // report written; the job ran to its end
    JobFailed = 1,    // report written; a file is missing or not text, the check has
                      // findings, or the run stopped with an error
    NoReport = 2,     // the report could not be written
    JobStopped = 3,   // report written; the user stopped the run in the run window
    JobTerminated = 4 // report written; the launcher was told to end (SIGTERM) during the run
};

struct Request
{
    QString programDir;   // the launcher's own directory
    QString launcherName; // "run-KV-Linux.pif" or "run-KV-W9x.pif"
    QStringList arguments;
    QDateTime when;
    // Called with every line the job prints and now and then with the line being run,
    // so a window can follow the run; may be empty.
    std::function<void(const QString &line)> printed;
    std::function<void(int line)> progress;
    // Called as an Initiate or a Find goes on (how far it has come of how far it
    // goes), and with total 0 when it has ended; may be empty.
    std::function<void(const ty::Advance &advance)> advance;
    // Called once, when the check is done and the job starts to run; may be empty.
    std::function<void()> running;
    // Asked with every printed line and every progress call; when it answers true
    // the run ends at once and the report ends with "Stopped by the user after N s".
    // May be empty. Called on the thread that builds the report.
    std::function<bool()> stopRequested;
    // Asked like stopRequested: true when the launcher was told to end from outside;
    // the run ends and the report says so. May be empty.
    std::function<bool()> terminated;
    // When the launcher waited for another run to end before it began, which run
    // that was ("the run of "model.ty" (process 123)"); empty when it did not wait.
    QString waitedFor;
};

struct Report
{
    QByteArray text;  // UTF-8, CR LF line ends
    QString codeFile; // the code file found; empty when missing
    Status status = JobFailed;
    QString outcome;   // the run's outcome as the report's last line gives it
    QStringList plots; // the plot files (.plt) the run wrote
    // The check's findings (the first ones the report lists) or the run-time error
    // that stopped the run, each a code line and what is wrong there.
    struct Problem
    {
        int line = 0;
        QString message;
    };
    QList<Problem> problems;
    qsizetype findings = 0; // how many findings the check had
};

// The report for a request. Reads the files and runs the job; writes only the plot
// files of the run.
Report buildReport(const Request &request, const ToolKitFiles::LaunchSettings &settings);

// programDir + "/user/~KV-out.txt".
QString reportPath(const QString &programDir);

// Builds the report from the program directory's settings and replaces the report
// file atomically. Returns the exit status; *problem says why when it is NoReport.
// *done, when given, gets the report built (also when it could not be written).
int run(const Request &request, QString *problem, Report *done = nullptr);

} // namespace RunReport
