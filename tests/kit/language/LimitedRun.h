#pragma once

#include <QByteArray>
#include <QProcess>
#include <QStandardPaths>
#include <QString>

// A kit program run on a file with its address space limited (prlimit --as), for the
// tests that bound a program's memory by the size of the file it reads.
struct LimitedRun
{
    bool finished = false;
    int exitCode = -1;
    QByteArray out, err;
};

inline QString prlimitProgram()
{
    return QStandardPaths::findExecutable(QStringLiteral("prlimit"));
}

inline LimitedRun runWithinAddressSpace(const QString &program, const QString &path, qint64 limit)
{
    LimitedRun run;
    QProcess process;
    process.start(prlimitProgram(),
                  {QStringLiteral("--as=") + QString::number(limit), program, path});
    run.finished = process.waitForFinished(-1);
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}
