// The main window's commands that belong to other subsystems: each is one call into
// the unit that does the work.
#include "frmMain.h"

#include "runs/mdlKV.h"
#include "shell/mdlRestart.h"

bool frmMain::PrepareRestart(const QString &programName)
{
    return ::PrepareRestart(m_ctx, programName);
}

bool frmMain::RunCodeFile()
{
    return m_runs->RunCodeFile();
}

void frmMain::mnuKV_Plots_Click()
{
    m_runs->mnuKV_Plots_Click();
}
void frmMain::mnuKV_Output_Click()
{
    m_runs->mnuKV_Output_Click();
}
void frmMain::mnuKV_Submit_Click()
{
    m_runs->SubmitActive();
}

// Not built yet.

void frmMain::mnuFilePrint_Click() {}
void frmMain::mnuFilePrinterSetup_Click() {}
void frmMain::mnuEditFind_Click() {}
void frmMain::mnuEditFindNext_Click() {}
void frmMain::mnuKV_Data_Click() {}
void frmMain::mnuKV_eMail_Click() {}
void frmMain::mnuKV_SubmitFromA_Click() {}
void frmMain::mnuKV_OutputToA_Click() {}
void frmMain::mnuHelpSearch_Click() {}
void frmMain::mnuHelpManual_Click() {}
void frmMain::mnuHelpEmail_Click() {}
void frmMain::mnuHelpAbout_Click() {}
