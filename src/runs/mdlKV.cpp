#include "mdlKV.h"

#include "RunHost.h"
#include "core/AppContext.h"
#include "core/AppState.h"
#include "core/mdlLastFile.h"
#include "core/mdlRegistryAPI.h"
#include "core/mdlWindowsVer.h"
#include "editor/frmDocument.h"
#include "editor/mdlFileChecks.h"
#include "platform/AppInfo.h"
#include "platform/KvError.h"
#include "platform/UserDialogs.h"
#include "toolkit/ToolKit.h"

RunController::RunController(AppContext &ctx, RunHost &host)
    : m_ctx(ctx)
    , m_host(host)
{}

void RunController::SubmitActive()
{
    AppState &s = m_ctx.state;
    if (frmDocument *doc = m_host.activeDocument()) {
        s.CodeName = SplitFilePath(doc->Filename(), s.CodeDir);
        s.RunMode.clear();
        CheckSavedThenRun();
        return;
    }
    if (FileExists(m_ctx, ToolKit::mySim(m_ctx))) {
        RunMySim(s.DataName);
        return;
    }
    m_ctx.dialogs.message(m_host.hostWindow(),
                          {QStringLiteral("No MySim.exe file was found in your ") + m_ctx.programDir
                               + QStringLiteral(" directory."),
                           QStringLiteral("No active file & No MySim.exe file."),
                           MsgButtons::OK,
                           MsgIcon::Exclamation});
}

void RunController::CheckSavedThenRun()
{
    AppState &s = m_ctx.state;
    QWidget *owner = m_host.hostWindow();
    frmDocument *doc = m_host.activeDocument();
    if (!doc)
        return;
    try {
        s.CodePath = joinPath(s.CodeDir, s.CodeName);
        const QString checkedPath = s.CodePath;

        const bool onDisk = !s.CodeName.isEmpty() && FileExists(m_ctx, s.CodePath);
        if (!onDisk || doc->IsDirty()) {
            const MessageRequest ask
                = onDisk ? MessageRequest{QStringLiteral("Okay to save '") + s.CodePath
                                              + QStringLiteral("' now?"),
                                          QStringLiteral("File is modified from last save."),
                                          MsgButtons::OKCancel,
                                          MsgIcon::Question}
                         : MessageRequest{QStringLiteral("Okay to save '") + s.CodeName
                                              + QStringLiteral("' now?"),
                                          QStringLiteral("Code -not- saved!"),
                                          MsgButtons::OKCancel,
                                          MsgIcon::Question};
            if (m_ctx.dialogs.message(owner, ask) != MsgAnswer::OK)
                return;
            const QString path = doc->AskFilename(true);
            if (!path.isEmpty())
                doc->SaveFile(path);
            // The dialog was cancelled or the save failed (and said why).
            if (doc->IsDirty())
                return;
        }

        // The ending from the last "." on, without regard to case.
        const qsizetype dot = s.CodeName.lastIndexOf(QLatin1Char('.'));
        const QString ending = (dot < 0 ? s.CodeName : s.CodeName.mid(dot)).toLower();
        if (ending == QLatin1String(".ty")) {
            s.RunMode.clear();
            RunCodeFile();
            return;
        }
        if (m_ctx.dialogs.message(
                owner,
                {QStringLiteral("Okay to save file with '.TY' fileType?"),
                 QStringLiteral("'") + checkedPath + QStringLiteral("' is non-existent!"),
                 MsgButtons::YesNo,
                 MsgIcon::Exclamation})
            == MsgAnswer::Yes)
            m_host.mnuFileSave_Click();
    } catch (const KvError &) {
        // Anything else that fails here ends the command; what failed has been said
        // where it failed.
    }
}

bool RunController::RunCodeFile()
{
    AppState &s = m_ctx.state;
    QWidget *owner = m_host.hostWindow();
    // 1. A demo runs from the tool kit's demo folder, wherever its caller found it.
    if (s.RunMode == QLatin1String("demo"))
        s.CodeDir = ToolKit::demoRunDir(s);
    // 2. and 3. The file as it exists on disk; empty when it does not exist.
    s.CodePath = ShortLowerPath(joinPath(s.CodeDir, s.CodeName));
    s.CodeName = SplitFilePath(s.CodePath, s.CodeDir);
    if (s.CodePath.isEmpty())
        s.CodeDir.clear();
    // 4.
    if (s.CodeName.right(3).toLower() != QLatin1String(".ty")) {
        m_ctx.dialogs.message(owner,
                              {QStringLiteral("File names must end with a '.ty' ... this one "
                                              "didn't!\r\nRe-save this file with '.ty' ending "
                                              "and try running it again."),
                               QStringLiteral("An invalid file name. "),
                               MsgButtons::OK,
                               MsgIcon::Exclamation});
        return false;
    }
    // 5. and 6. The file is remembered without its ending.
    s.CodeName.chop(3);
    if (!s.CodeDir.isEmpty()) {
        try {
            SaveLastFile(m_ctx.hive, s.CodeName, s.CodeDir);
        } catch (const KvError &) {
            // Only the memory for the next start is lost; the run goes on.
        }
    }
    // 8.
    if (!FileExists(m_ctx, ToolKit::dosStartOde(m_ctx))) {
        const QString product = AppInfo::productName();
        m_ctx.dialogs.message(owner,
                              {QStringLiteral("Re-Install ") + product
                                   + QStringLiteral(" Program; if this continues please "
                                                    "contact us.  Try running a Demo and see "
                                                    "if this error occurs."),
                               QStringLiteral("A ") + product + QStringLiteral(" File is missing!"),
                               MsgButtons::OK,
                               MsgIcon::Exclamation});
        return false;
    }
    // 9. Its result does not matter to the run.
    m_host.PrepareRestart(AppInfo::productName());
    // 10. and 11.
    const QString version = GetWindowsVer(m_ctx.desktop);
    const auto launcher = ToolKit::runLauncherName(ToolKit::versionHundredths(version));
    if (!launcher) {
        m_ctx.dialogs.message(owner,
                              {QStringLiteral("Sorry, requires Windows 3.3 or newer!"),
                               QStringLiteral("GetWindowsVer = ") + version,
                               MsgButtons::OK,
                               MsgIcon::Exclamation});
        return false;
    }
    // 7. and 12. Started with its five arguments; the program does not wait.
    return ToolKit::startOrReport(
        m_ctx,
        owner,
        ToolKit::runLauncherRequest(m_ctx, *launcher, s.CodeName, s.CodeDir, s.DataName));
}

void RunController::RunMySim(const QString &dataName)
{
    if (!FileExists(m_ctx, ToolKit::mySim(m_ctx)))
        return;
    const QString version = GetWindowsVer(m_ctx.desktop);
    if (ToolKit::versionHundredths(version) > 410) {
        m_ctx.dialogs.message(m_host.hostWindow(),
                              {QStringLiteral("MySim.exe requires Windows 95 or 98 in order to "
                                              "execute."),
                               QStringLiteral("An invalid Operating System. "),
                               MsgButtons::OK,
                               MsgIcon::Exclamation});
        return;
    }
    ToolKit::startOrReport(m_ctx, m_host.hostWindow(), ToolKit::runSimRequest(m_ctx, dataName));
}

void RunController::mnuKV_Output_Click()
{
    const QString path = ToolKit::lastOutput(m_ctx);
    if (FileExists(m_ctx, path)) {
        m_ctx.desktop.openDocument(
            QStringLiteral("Open"), resolveExistingPath(path), WindowStyle::MaximizedFocus);
        return;
    }
    m_ctx.dialogs.message(m_host.hostWindow(),
                          {QStringLiteral("No output file (~KV-out.txt) exists at this time.\r\n"
                                          "Previous answer files are saved under file names "
                                          "'*.out'.\r\n"
                                          "Open these answer files with the File | Open menu."),
                           QStringLiteral("'~KV-out.txt' output file not found."),
                           MsgButtons::OK,
                           MsgIcon::Exclamation});
}

void RunController::mnuKV_Plots_Click()
{
    ViewOldPlots(m_ctx, m_host.hostWindow());
}

void ViewOldPlots(AppContext &ctx, QWidget *owner)
{
    const QString viewer = ToolKit::plotsViewer(ctx);
    if (FileExists(ctx, viewer)) {
        StartRequest request
            = ToolKit::plotsRequest(ctx, ToolKit::answersDir(ctx), WindowStyle::NormalFocus);
        request.program = resolveExistingPath(viewer);
        ToolKit::startOrReport(ctx, owner, request);
        return;
    }
    ctx.dialogs.message(owner,
                        {QStringLiteral("Plots File missing! Did you re-boot since installing "
                                        "this software?\r\nIf not, please re-boot.  Otherwise "
                                        "you must re-install the ")
                             + AppInfo::productName() + QStringLiteral(" program."),
                         QStringLiteral("Plots.exe file not found."),
                         MsgButtons::OK,
                         MsgIcon::Exclamation});
}

void SetPlotFile(AppContext &ctx, const QString &plotName, const QString &plotDir)
{
    using namespace mdlRegistryAPI;
    const QString key = AppInfo::companyKey();
    if (!KeyExists(ctx.hive, key))
        CreateKey(ctx.hive, key);
    WriteValue(ctx.hive, key, QStringLiteral("ActivePath"), REG_SZ, plotDir);
    WriteValue(ctx.hive,
               key,
               QStringLiteral("ProgramPath"),
               REG_SZ,
               QString(ctx.state.BasePath + ctx.state.ProductDir));
    WriteValue(ctx.hive, key, QStringLiteral("fileIn"), REG_SZ, plotName);
}
