#pragma once

#include <QString>

struct AppContext;
class QWidget;
class RunHost;

// Running code through the tool kit, and what a run leaves behind: the Submit
// command with its save-before-run check, the run itself, the user's simulation
// program, and the last output and the demo plots.
class RunController
{
public:
    RunController(AppContext &ctx, RunHost &host);

    // Submit: the active document's file runs after the save-before-run check; with
    // no document open, the user's simulation program runs instead.
    void SubmitActive();
    // The save-before-run check for the active document, whose file is CodeDir and
    // CodeName; ends in RunCodeFile when the file is saved with a ".ty" name.
    void CheckSavedThenRun();
    // The run of CodeDir/CodeName (RunMode "demo": of the demo folder). True when a
    // launcher was started; false when the run was refused or the launcher could
    // not be started (each said to the user).
    bool RunCodeFile();
    // Starts MySim.exe through run-sim.pif with the data file name.
    void RunMySim(const QString &dataName);

    // View Last Output: user/~KV-out.txt through the desktop's viewer.
    void mnuKV_Output_Click();
    // View Old Plots: the plot viewer on the demo answers directory.
    void mnuKV_Plots_Click();

private:
    AppContext &m_ctx;
    RunHost &m_host;
};

// View Old Plots: the plot viewer on the demo answers directory (its trailing "/"
// included), or the plot-viewer-missing message. The introduction screen's button
// does the same.
void ViewOldPlots(AppContext &ctx, QWidget *owner);

// The plot viewer's hand-off values in the company key (created when missing), in
// this order: ActivePath = plotDir, ProgramPath = BasePath + ProductDir, fileIn =
// plotName.
void SetPlotFile(AppContext &ctx, const QString &plotName, const QString &plotDir);
