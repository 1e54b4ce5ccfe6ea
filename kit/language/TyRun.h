#pragma once

#include <PlotData.h>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

// The interpreter of the Tessaly sample language: runs a job the checker accepts
// (kit/language/LANGUAGE.md) with the tool kit's own integrators and solvers.
namespace ty {

// How far the statement at work has come: an Initiate across its Span (done and
// total in units of the independent variable), a Find through its iteration limit.
// total is 0 when no Initiate or Find is at work.
struct Advance
{
    int line = 0;
    double done = 0;
    double total = 0;
    bool iterations = false; // a Find: done iterations of total
};

struct RunOptions
{
    // Most passes one For loop may make; a loop that would make more stops the run.
    long long loopLimit = 10000000;
    QString loopLimitSetting = QStringLiteral("loop-limit"); // where the limit is set
    // Called with every line the job's Print statements write, as it is written.
    std::function<void(const QString &line)> printed;
    // The most characters of printed lines RunResult.output keeps; the lines past them
    // are only counted. A caller that takes every line through printed keeps none.
    qsizetype outputKept = 64 * 1024 * 1024;
    // Called now and then with the line being run, so a window can follow the run.
    std::function<void(int line)> progress;
    // Called as an Initiate or a Find goes on, and with total 0 when it has ended.
    std::function<void(const Advance &advance)> advance;
};

struct RunResult
{
    bool ok = false;
    int errorLine = 0;       // where a run-time error stopped the run
    QString error;           // what happened; empty when the run completed
    QStringList output;      // the lines the job printed, up to the error (see outputKept)
    qint64 linesNotKept = 0; // the lines printed after those output keeps
    QString title;           // the Title statement's text
    PlotData plot;           // every point the Plot statements added
    bool hasPlot = false;    // at least one Plot statement ran
};

RunResult runTessaly(const QByteArray &source, const RunOptions &options = {});

// A line of Print output: strings as written, numbers by formatNumber; a number
// that does not follow a string is right-aligned in ten columns (a wider one gets a
// blank before it).
class PrintLine
{
public:
    void text(const QString &s);
    void number(double v);
    QString line() const { return m_line; }

private:
    QString m_line;
    bool m_afterText = false;
};

} // namespace ty
