#include "mdlDataFiles.h"

#include "RunHost.h"
#include "core/AppContext.h"
#include "core/AppState.h"
#include "editor/frmDocument.h"
#include "editor/mdlFileChecks.h"
#include "mdlKV.h"
#include "platform/KvError.h"
#include "platform/UserDialogs.h"
#include "toolkit/ToolKit.h"

namespace {
const QString allFilesFilter = QStringLiteral("All Files (*.*)|*.*|Tessaly (*.ty)|*.ty")
                               + QStringLiteral("|TY Output (*.txt;*.out)|*.txt;*.out");

bool inFloppyMode(const FileDialogState &dialog)
{
    return dialog.initDir == QLatin1String(floppyInitDir);
}
} // namespace

DataFileCommands::DataFileCommands(AppContext &ctx, RunHost &host, RunController &runs)
    : m_ctx(ctx)
    , m_host(host)
    , m_runs(runs)
{}

void DataFileCommands::commandFailed()
{
    m_ctx.dialogs.message(m_host.hostWindow(),
                          {QStringLiteral("Command failed, not sure why."),
                           QString(),
                           MsgButtons::OK,
                           MsgIcon::None});
}

void DataFileCommands::mnuKV_Data_Click()
{
    AppState &s = m_ctx.state;
    QWidget *owner = m_host.hostWindow();
    // 1.
    frmDocument *doc = m_host.activeDocument();
    // 2. The file name field keeps what the dialog held last.
    FileDialogState &dialog = m_host.startupDialog();
    dialog.title = QStringLiteral("Submit TY Data File");
    dialog.filterIndex = 1;
    const std::optional<QString> chosen = m_ctx.dialogs.openFile(owner, dialog);
    // A cancelled dialog ends the command: no run starts with an earlier choice.
    if (!chosen || chosen->isEmpty())
        return;
    dialog.fileName = *chosen;
    // 3.
    QString dataDir;
    const QString dataName = SplitFilePath(*chosen, dataDir);
    // 4. From the floppy the data file goes into the user directory first.
    if (inFloppyMode(dialog)) {
        QString source = *chosen;
        QString target = ToolKit::userDir(m_ctx);
        if (!DosCopy(m_ctx, source, target))
            return; // said by the copy; nothing runs
        dataDir = ToolKit::userDir(m_ctx);
    }
    s.DataName = dataName;
    s.DataDir = dataDir;
    // 5. and 6.
    if (doc) {
        s.CodeName = SplitFilePath(doc->Filename(), s.CodeDir);
        if (s.DataDir != s.CodeDir) {
            const MsgAnswer answer
                = m_ctx.dialogs.message(owner,
                                        {QStringLiteral("Okay to move Data file into your Code "
                                                        "directory?"),
                                         QStringLiteral("Data & Code files must be in same "
                                                        "directory."),
                                         MsgButtons::YesNo,
                                         MsgIcon::Question});
            if (answer != MsgAnswer::Yes) {
                m_ctx.dialogs.message(owner,
                                      {QStringLiteral("Please merge your Data & Code files into "
                                                      "the\r\nsame sub-directory and then "
                                                      "re-submit them."),
                                       QString(),
                                       MsgButtons::OK,
                                       MsgIcon::None});
                return;
            }
            QString source = joinPath(s.DataDir, s.DataName);
            QString target = s.CodeDir;
            // The copy replaces its target only once it is complete, so a directory
            // written in another case (the same one) keeps its data file.
            if (!DosCopy(m_ctx, source, target))
                return; // said by the copy; nothing runs
            s.DataDir = s.CodeDir;
        }
    }
    // 7.
    m_runs.SubmitActive();
}

void DataFileCommands::mnuKV_SubmitFromA_Click()
{
    AppState &s = m_ctx.state;
    try {
        // 1.
        m_host.startupDialog().initDir = QString::fromLatin1(floppyInitDir);
        frmDocument *doc = m_host.activeDocument();
        if (!doc)
            doc = m_host.openNewDocument();
        if (!doc)
            throw KvError::deviceIo();
        // 2. A cancelled dialog ends the command: nothing is saved and nothing runs.
        const QString path = doc->AskFilename(false);
        if (path.isEmpty())
            return;
        // Loading replaces the window's text: unsaved changes stay where they are and
        // the file from the floppy gets a window of its own.
        if (doc->IsDirty())
            doc = m_host.openNewDocument();
        if (!doc)
            throw KvError::deviceIo();
        doc->LoadFile(mapFloppyPath(path, m_ctx.desktop.floppyDirectory()));
        // 3.
        QString dir;
        s.CodeName = SplitFilePath(doc->Filename(), dir);
        if (s.CodeName.isEmpty()) {
            m_ctx.dialogs.message(m_host.hostWindow(),
                                  {QStringLiteral("Unable to open file.  Try again?"),
                                   QString(),
                                   MsgButtons::OK,
                                   MsgIcon::None});
            return;
        }
        // 4. The save says itself why it failed.
        const QString userCopy = joinPath(ToolKit::userDir(m_ctx), s.CodeName);
        doc->SaveFile(userCopy);
        if (doc->IsDirty() || doc->Filename() != userCopy)
            throw KvError::pathFileAccess();
        // 5.
        s.CodeDir = ToolKit::userDir(m_ctx);
        s.RunMode.clear();
        m_runs.RunCodeFile();
    } catch (const KvError &) {
        commandFailed();
    }
}

void DataFileCommands::mnuKV_OutputToA_Click()
{
    QWidget *owner = m_host.hostWindow();
    try {
        // 1. Leaves floppy mode.
        FileDialogState &dialog = m_host.startupDialog();
        dialog.title = QStringLiteral("Select File to be Copied to A: (Floppy Drive)");
        dialog.filter = allFilesFilter;
        dialog.filterIndex = 3;
        dialog.fileName = QStringLiteral("*.out");
        dialog.initDir = ToolKit::userDir(m_ctx);
        const std::optional<QString> chosen = m_ctx.dialogs.openFile(owner, dialog);
        if (!chosen || chosen->isEmpty())
            throw KvError::cancelled();
        const QString path = *chosen;
        // 2.
        if (FileExists(m_ctx, path)) {
            // The drive must be there; while nothing is mounted the user may retry.
            const QString drive = QStringLiteral("a:");
            if (!dirExists(m_ctx, drive))
                throw KvError::diskNotReady();
            QString source = path;
            QString target = drive;
            DosCopy(m_ctx, source, target); // a failed copy is said by the copy
            return;
        }
        // 3.
        m_ctx.dialogs.message(owner,
                              {QStringLiteral("File not found."),
                               QStringLiteral("File '") + path + QStringLiteral("' is missing!"),
                               MsgButtons::OK,
                               MsgIcon::Exclamation});
    } catch (const KvError &) {
        commandFailed();
    }
}
