#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Small helpers the kit's launchers share: finding files the way the program does,
// showing argument values unambiguously, and reading the launcher input file.
namespace ToolKitFiles {

// The path itself when it exists; otherwise the first path whose components match
// it without regard to case (an exact component always wins, candidates are taken
// in name order); empty when nothing matches. Relative paths are taken from the
// current directory; the answer is absolute in that case.
QString findPath(const QString &path);

// The value in double quotes, with '"' and '\' escaped by a backslash and control
// characters written as \n, \r, \t or \xNN, so blanks, quotes and line breaks show.
QString quoted(const QString &value);

// The launcher settings read from DOSstart.tmp (the copy the program makes before a
// run) or, when there is none, from DOSstart.ode.
struct LaunchSettings
{
    bool listing = true;      // list the code with line numbers
    int listingWidth = 100;   // characters of code per listing line before it continues
    int listingLines = 5000;  // most code lines listed; 0 lists all
    int tabWidth = 8;         // tab stops of the listing
    bool check = true;        // run the syntax check
    int loopLimit = 10000000; // most passes of one For loop in a run
    bool closeWindow = false; // the run window closes by itself after a clean finish
    int outputLimit = 64;     // megabytes of printed output the report keeps
    QString source;           // the file the settings came from; empty: built-in values
    QStringList notes;        // what was wrong in that file ("DOSstart.tmp line 3: ...")
};

// Reads "name = value" lines; blank lines and lines starting with ';' or '#' are
// skipped. A bad line becomes a note and leaves that setting at its built-in value.
LaunchSettings parseSettings(const QByteArray &text, const QString &fileName);

// The settings of the program directory: DOSstart.tmp, else DOSstart.ode, else
// the built-in values with a note saying so.
LaunchSettings readSettings(const QString &programDir);

} // namespace ToolKitFiles
