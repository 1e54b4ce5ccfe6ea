#pragma once

class frmDocument;
class QString;
class QWidget;

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
};
