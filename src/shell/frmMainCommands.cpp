// The main window's commands that belong to other subsystems: each is one call into
// the unit that does the work.
#include "frmMain.h"

#include "editor/EditCommands.h"
#include "editor/PrintCommands.h"
#include "runs/mdlKV.h"
#include "shell/mdlRestart.h"

bool frmMain::PrepareRestart(const QString &programName)
{
    return ::PrepareRestart(m_ctx, programName);
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
void frmMain::mnuFilePrint_Click()
{
    m_print->mnuFilePrint_Click();
}
void frmMain::mnuFilePrinterSetup_Click()
{
    m_print->mnuFilePrinterSetup_Click();
}
void frmMain::mnuEditFind_Click()
{
    m_edit->mnuEditFind_Click();
}
void frmMain::mnuEditFindNext_Click()
{
    m_edit->mnuEditFindNext_Click();
}

// Not built yet.

void frmMain::mnuKV_Demo_Click() {}
void frmMain::mnuKV_Data_Click() {}
void frmMain::mnuKV_eMail_Click() {}
void frmMain::mnuKV_SubmitFromA_Click() {}
void frmMain::mnuKV_OutputToA_Click() {}
void frmMain::mnuHelpSearch_Click() {}
void frmMain::mnuHelpManual_Click() {}
void frmMain::mnuHelpEmail_Click() {}
void frmMain::mnuHelpAbout_Click() {}
