#pragma once

#include "PlotData.h"

#include <QImage>
#include <QString>
#include <QStringList>

// What the plot viewer finds in one file: a plot to draw, a picture to show, or
// the reason it can show neither.
struct LoadedPlot
{
    enum Kind { Nothing, Plot, Picture, Failed };
    Kind kind = Nothing;
    QString path;
    PlotData plot;
    QImage picture;
    QString message; // for Failed and Nothing: the text the window shows instead
};

// The largest file the viewer reads: a thousand times the largest demo plot, and
// small enough that parsing and drawing it stay within a few hundred megabytes.
constexpr qint64 maxPlotFileSize = 32 * 1024 * 1024;

// Reads a ".plt" plot or a ".gif" picture (other files by their content). Never
// throws and never waits; a missing, unreadable or damaged file gives kind Failed and
// a message naming the file and, for a plot, the parser's "line N: ..." report. What
// is not a regular file (a directory, a FIFO, a device such as /dev/zero) and a file
// larger than maxPlotFileSize are refused unread; running out of memory is reported
// the same way.
LoadedPlot loadPlotFile(const QString &path);

// The ".plt" and ".gif" files of a directory (endings in any case), by name without
// regard to case.
QStringList plotFilesIn(const QString &directory);

// The path as it is on disk: the exact path when it exists, otherwise each
// component matched without regard to case; unchanged when nothing matches.
QString resolvePathIgnoringCase(const QString &path);

// The values the program leaves in the registry (key Software\Brindlemoor) before it
// starts the viewer on one plot.
struct HandOff
{
    QString activePath; // the plot's directory
    QString programPath;
    QString fileIn;  // the plot's file name
    QString problem; // non-empty when the registry could not be read as it should

    bool names() const { return !fileIn.isEmpty(); }
    // ActivePath and fileIn joined by exactly one separator.
    QString plotPath() const;
    // The status line's text: "Handed over: <ActivePath>/<fileIn>" and the program path.
    QString statusText() const;
};

HandOff readHandOff(const QString &hivePath);

// How the viewer starts: on a directory (its plots listed beside the chosen one), on
// one plot, or with only a message when it has been given nothing to show.
struct ViewerStart
{
    enum Mode { Message, Directory, SinglePlot };
    Mode mode = Message;
    QString path;
    QString message;
};

// From the command line's arguments (without the program name). A directory is an
// argument ending in "/" (or "\"), or any existing directory. Without an argument the
// hand-off's plot is shown. An argument with blanks arrives whole when the caller
// quoted it; the pieces of an unquoted one are joined again.
ViewerStart resolveStart(const QStringList &arguments, const HandOff &handOff);
