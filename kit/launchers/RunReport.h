#pragma once

#include "ToolKitFiles.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

// What the run launchers (run-KV-Linux.pif, run-KV-W9x.pif) do: they read the five
// arguments the program passes, look at the code and data files, check the code's
// syntax, and write the report user/~KV-out.txt in the program directory.
namespace RunReport {

// The launcher's arguments, in the order the program passes them.
enum Argument { CodeName, CodeDirectory, Drive, BaseDirectory, DataFile, ArgumentCount };

// Exit statuses of a run launcher.
enum Status {
    JobChecked = 0,    // report written; code file (and data file, if named) found
    JobIncomplete = 1, // report written; the code file or the named data file is missing
    NoReport = 2       // the report could not be written
};

struct Request
{
    QString programDir;   // the launcher's own directory
    QString launcherName; // "run-KV-Linux.pif" or "run-KV-W9x.pif"
    QStringList arguments;
    QDateTime when;
};

struct Report
{
    QByteArray text;       // UTF-8, CR LF line ends
    QString codeFile;      // the code file found; empty when missing
    bool complete = false; // the code file and any named data file were found and read
};

// The report for a request. Reads files, writes nothing.
Report buildReport(const Request &request, const ToolKitFiles::LaunchSettings &settings);

// programDir + "/user/~KV-out.txt".
QString reportPath(const QString &programDir);

// Builds the report from the program directory's settings and replaces the report
// file atomically. Returns the exit status; *problem says why when it is NoReport.
int run(const Request &request, QString *problem);

} // namespace RunReport
