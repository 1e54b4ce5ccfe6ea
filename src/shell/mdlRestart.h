#pragma once

#include <QString>

struct AppContext;

// The one-time start of the program at the user's next log-on, arranged before
// each run (a run may end in a restart of the machine), and its clean-up.

// Writes BasePath/re-start.reg (the registry import file a Windows build imports;
// here it documents the entry), writes the log-on entry (an XDG autostart desktop
// entry that starts this program once) and copies DOSstart.ode to DOSstart.tmp.
// False at the first step that fails; the remaining steps are skipped. Reports
// nothing to the user.
bool PrepareRestart(AppContext &ctx, const QString &programName);

// The four lines of re-start.reg for the program's executable path, each ended by
// CR LF (backslashes and quotes in the path escaped as the import format requires).
QByteArray restartRegBytes(const QString &executablePath);
// The autostart entry that starts the executable once.
QByteArray autostartEntryBytes(const QString &executablePath);
// Where the autostart entry lives: <user config dir>/autostart/kelvara-startup.desktop.
QString autostartEntryPath();
// Removes the log-on entry when it exists (at start-up, beside the marker).
void removeAutostartEntry();
