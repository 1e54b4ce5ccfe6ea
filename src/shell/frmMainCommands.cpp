// Commands of the main window that do nothing yet.
#include "frmMain.h"

void frmMain::mnuFilePrint_Click() {}
void frmMain::mnuFilePrinterSetup_Click() {}
void frmMain::mnuEditFind_Click() {}
void frmMain::mnuEditFindNext_Click() {}
void frmMain::mnuKV_Plots_Click() {}
void frmMain::mnuKV_Output_Click() {}
void frmMain::mnuKV_Demo_Click() {}
void frmMain::mnuKV_Submit_Click() {}
void frmMain::mnuKV_Data_Click() {}
void frmMain::mnuKV_eMail_Click() {}
void frmMain::mnuKV_SubmitFromA_Click() {}
void frmMain::mnuKV_OutputToA_Click() {}
void frmMain::mnuHelpSearch_Click() {}
void frmMain::mnuHelpManual_Click() {}
void frmMain::mnuHelpEmail_Click() {}
void frmMain::mnuHelpAbout_Click() {}
