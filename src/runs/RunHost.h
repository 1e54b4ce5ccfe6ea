#pragma once

class frmDocument;
class QString;
class QWidget;
struct FileDialogState;

// What the run commands need from the main window.
class RunHost
{
public:
    virtual ~RunHost() = default;
    // The window that owns the run commands' boxes.
    virtual QWidget *hostWindow() = 0;
    // The active code document, or null when no document window is active.
    virtual frmDocument *activeDocument() const = 0;
    // The File Save command.
    virtual void mnuFileSave_Click() = 0;
    // Arranges the program's one-time start at the next log-on; false when a step
    // failed (the run goes on all the same).
    virtual bool PrepareRestart(const QString &programName) = 0;
    // The start-up document's file dialog, also once that window was closed: the
    // data-file and floppy commands use it whichever window is active, and its
    // initial directory "A:" marks floppy mode.
    virtual FileDialogState &startupDialog() = 0;
    // A new empty document window, shown and active.
    virtual frmDocument *openNewDocument() = 0;
};
