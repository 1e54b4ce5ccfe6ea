// The main window's commands that belong to other subsystems: each is one call into
// the unit that does the work.
#include "frmMain.h"

#include "runs/mdlDataFiles.h"
#include "runs/mdlHelp.h"
#include "editor/EditCommands.h"
#include "editor/PrintCommands.h"
#include "runs/mdlKV.h"
#include "runs/mdlMail.h"
#include "shell/frmAbout.h"
#include "shell/mdlRestart.h"

bool frmMain::PrepareRestart(const QString &programName)
{
    return ::PrepareRestart(m_ctx, programName);
}

FileDialogState &frmMain::startupDialog()
{
    // The same state the start-up document holds while it is open.
    if (!m_startupDialog)
        m_startupDialog = std::make_shared<FileDialogState>();
    return *m_startupDialog;
}

frmDocument *frmMain::openNewDocument()
{
    return newDocument();
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

void frmMain::mnuKV_Data_Click()
{
    DataFileCommands(m_ctx, *this, *m_runs).mnuKV_Data_Click();
}
void frmMain::mnuKV_SubmitFromA_Click()
{
    DataFileCommands(m_ctx, *this, *m_runs).mnuKV_SubmitFromA_Click();
}
void frmMain::mnuKV_OutputToA_Click()
{
    DataFileCommands(m_ctx, *this, *m_runs).mnuKV_OutputToA_Click();
}
void frmMain::mnuKV_eMail_Click()
{
    VendorMail::mnuKV_eMail_Click(m_ctx, this);
}
void frmMain::mnuHelpSearch_Click()
{
    mdlHelp::mnuHelpSearch_Click(m_ctx, this);
}
void frmMain::mnuHelpManual_Click()
{
    mdlHelp::mnuHelpManual_Click(m_ctx, this);
}
void frmMain::mnuHelpEmail_Click()
{
    VendorMail::mnuHelpEmail_Click(m_ctx, this);
}
void frmMain::mnuHelpAbout_Click()
{
    frmAbout::showFor(this);
}

// Not built yet.

