#pragma once

#include "platform/DesktopServices.h"

#include <QString>
#include <QStringList>

#include <optional>

struct AppContext;
struct AppState;
class QWidget;

// Where the tool kit keeps its files and how its programs are started. Every path
// of the tool kit and every argument list of a launcher or viewer is built here
// and nowhere else.
//
// B is the tool-kit base directory (BasePath), P the program directory (the
// directory of the program's executable, normally B/Kelvara).
namespace ToolKit {

// P/<name>
QString programFile(const AppContext &ctx, const QString &name);
// P/DOSstart.ode, the launchers' input; P/DOSstart.tmp, its copy made before a run.
QString dosStartOde(const AppContext &ctx);
QString dosStartTmp(const AppContext &ctx);
// P/user and P/user/~KV-out.txt, the output of the last run.
QString userDir(const AppContext &ctx);
QString lastOutput(const AppContext &ctx);
// P/MySim.exe, the user's own simulation program.
QString mySim(const AppContext &ctx);
// The plot viewer: P/../plots.exe, in the base directory.
QString plotsViewer(const AppContext &ctx);
// P/demos/all/answers/ with its trailing "/".
QString answersDir(const AppContext &ctx);
// P/demos/all, the demo folder the catalogue shows and edits from.
QString demoDir(const AppContext &ctx);
// P/demos/all/Answers/ with its trailing "/": where View Answer loads an answer
// (the look-up does not mind the case, so it is the same folder as answersDir).
QString demoAnswersDir(const AppContext &ctx);
// B/Kelvara/demos/all: where a demo run looks for the demo (from the state's
// BasePath and ProductDir, not from the program directory).
QString demoRunDir(const AppState &state);
// B/re-start.reg, written before each run.
QString restartReg(const AppState &state);
// P/ty-manual 1.rtf, P/email.txt, P/list-ty.pif.
QString manual(const AppContext &ctx);
QString emailText(const AppContext &ctx);
QString listTy(const AppContext &ctx);

// The run launchers, chosen by the platform version in hundredths (major * 100 +
// minor): none up to 4.00, run-KV-W9x.pif up to 4.11, run-KV-Linux.pif above.
std::optional<QString> runLauncherName(int versionHundredths);
// "6.01" -> 601; anything unreadable gives 0.
int versionHundredths(const QString &versionText);

// The drive a directory lies on: the mount point of the volume that holds it.
QString driveOf(const QString &dir);

// A run launcher started on a code file: the code name without ".ty", the code
// directory, its drive, the base directory and the data file name (an empty
// argument when there is none), in this order.
StartRequest runLauncherRequest(const AppContext &ctx,
                                const QString &launcherName,
                                const QString &codeName,
                                const QString &codeDir,
                                const QString &dataName);
// run-sim.pif with the data file name as its only argument (empty when none).
StartRequest runSimRequest(const AppContext &ctx, const QString &dataName);
// plots.exe with a directory ending in "/" or the full path of one plot file.
StartRequest plotsRequest(const AppContext &ctx, const QString &argument, WindowStyle style);
// list-ty.pif, no arguments.
StartRequest listTyRequest(const AppContext &ctx, WindowStyle style);

// Starts the program; when it cannot be started (missing, not executable), says so
// naming the file, and returns false. The program never waits for it.
bool startOrReport(AppContext &ctx, QWidget *owner, const StartRequest &request);
// The same for a program of the tool kit that is first looked up on disk (without
// regard to case): a missing one is said the same way and not started.
bool startToolOrReport(AppContext &ctx, QWidget *owner, StartRequest request);

} // namespace ToolKit
