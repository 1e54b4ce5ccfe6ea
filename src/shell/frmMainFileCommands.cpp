// The File menu's commands of the main window: New, Open, Close, Delete, Save and
// Save As, and the Edit menu's clipboard commands.
#include "shell/frmMain.h"

#include "core/AppContext.h"
#include "core/AppState.h"
#include "editor/EditCommands.h"
#include "editor/mdlFileChecks.h"
#include "platform/KvError.h"
#include "platform/ProgressReporter.h"
#include "platform/UserDialogs.h"

#include <Qsci/qsciscintilla.h>

#include <QFile>
#include <QMdiArea>
#include <QMdiSubWindow>

void frmMain::mnuFileNew_Click()
{
    frmDocument *doc = newDocument();
    doc->setIsDirty(false);
}

void frmMain::mnuFileOpen_Click()
{
    AppState &s = m_ctx.state;
    frmDocument *doc = activeDocument();
    const bool reused = doc && doc->IsEmpty();
    if (!reused) {
        mnuFileNew_Click();
        doc = activeDocument();
    }
    if (!doc)
        return;
    // The chosen file becomes the current one once it is open (or found
    // unreadable): a load the user cancels changes nothing.
    const QString path = doc->AskFilename(false, false);
    bool cancelled = false;
    try {
        if (!path.isEmpty()) {
            std::unique_ptr<ProgressReporter> progress = m_ctx.dialogs.progress(
                this, {QStringLiteral("Open TY Code File"), QStringLiteral("Reading ") + path});
            cancelled = !doc->LoadFile(path, progress.get());
        }
    } catch (const KvError &e) {
        m_ctx.dialogs.message(this,
                              {QStringLiteral("The file '") + path
                                   + QStringLiteral("' could not be opened.\r\n")
                                   + unexpectedErrorText(e),
                               QStringLiteral("Open TY Code File"),
                               MsgButtons::OK,
                               MsgIcon::Exclamation});
    }
    if (cancelled) {
        // The window made for the file goes; an empty window that was there stays.
        if (!reused)
            if (QMdiSubWindow *sub = subWindowOf(doc))
                sub->close();
        return;
    }
    if (!path.isEmpty())
        doc->RememberFilename(path);
    s.CodeName = SplitFilePath(doc->Filename(), s.CodeDir);
    // A cancelled dialog, an empty file or a file that could not be read leaves an
    // empty window: it goes again.
    if (doc->IsEmpty())
        if (QMdiSubWindow *sub = subWindowOf(doc))
            sub->close();
}

void frmMain::mnuFileClose_Click()
{
    if (QMdiSubWindow *sub = m_mdi->activeSubWindow()) {
        sub->close();
        m_ctx.state.CodeName.clear();
    }
}

void frmMain::mnuFileSave_Click()
{
    frmDocument *doc = activeDocument();
    if (!doc)
        return;
    if (doc->Filename().isEmpty()) {
        mnuFileSaveAs_Click();
        return;
    }
    doc->SaveFile(doc->Filename());
}

void frmMain::mnuFileSaveAs_Click()
{
    frmDocument *doc = activeDocument();
    if (!doc)
        return;
    const QString path = doc->AskFilename(true);
    if (!path.isEmpty())
        doc->SaveFile(path);
}

void frmMain::mnuFileDelete_Click()
{
    DeleteChosenFile();
}

void frmMain::DeleteChosenFile()
{
    // The start-up document's dialog, so that Delete opens where that dialog was
    // last left.
    FileDialogState &dialog = m_startupDoc ? m_startupDoc->CommonDialog1() : *m_startupDialog;
    dialog.title = QStringLiteral("Select File to be Deleted");
    dialog.filter = QStringLiteral("All Files (*.*)|*.*|");
    dialog.filterIndex = 1;
    dialog.fileName = QStringLiteral("*.*");
    const std::optional<QString> chosen = m_ctx.dialogs.openFile(this, dialog);
    if (!chosen || chosen->isEmpty())
        return;
    const QString path = *chosen;
    if (FileExists(m_ctx, path)) {
        if (m_ctx.dialogs.message(this,
                                  {QStringLiteral("Delete '") + path + QStringLiteral("' File."),
                                   QStringLiteral("Confirm Delete?"),
                                   MsgButtons::YesNo,
                                   MsgIcon::Question})
            == MsgAnswer::Yes) {
            const QString onDisk = resolveExistingPath(path);
            if (!QFile::remove(onDisk.isEmpty() ? path : onDisk))
                return; // in use, read-only or no access: the command ends
        }
    } else {
        m_ctx.dialogs.message(this,
                              {QStringLiteral("File not found."),
                               QStringLiteral("File '") + path + QStringLiteral("' is missing!"),
                               MsgButtons::OK,
                               MsgIcon::Exclamation});
    }
    QString dir;
    SplitFilePath(path, dir);
    dialog.initDir = dir;
}

void frmMain::mnuEditUndo_Click()
{
    m_edit->mnuEditUndo_Click();
}

void frmMain::mnuEditCut_Click()
{
    m_edit->mnuEditCut_Click();
}

void frmMain::mnuEditCopy_Click()
{
    m_edit->mnuEditCopy_Click();
}

void frmMain::mnuEditPaste_Click()
{
    m_edit->mnuEditPaste_Click();
}
