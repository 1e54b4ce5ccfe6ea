#pragma once

struct AppContext;
class RunController;
class RunHost;

// Submitting a code file with a data file, and the floppy drive A:: a code file
// taken from it and run, a result copied to it.
class DataFileCommands
{
public:
    DataFileCommands(AppContext &ctx, RunHost &host, RunController &runs);

    // Submit with Data file: the data file must lie beside the code file; offers to
    // copy it there. In floppy mode the data file is first copied into the user
    // directory. With no document open, the user's simulation program runs with it.
    void mnuKV_Data_Click();
    // Submit From A: Drive: enters floppy mode, loads a code file from the floppy,
    // saves it into the user directory and runs it from there.
    void mnuKV_SubmitFromA_Click();
    // Output To A: Drive: copies a file the user picks (by default from the user
    // directory) to the floppy drive; ends floppy mode.
    void mnuKV_OutputToA_Click();

private:
    void commandFailed();

    AppContext &m_ctx;
    RunHost &m_host;
    RunController &m_runs;
};

// The marker of floppy mode: the start-up dialog's initial directory.
inline constexpr char floppyInitDir[] = "A:";
