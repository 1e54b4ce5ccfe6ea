#pragma once

class frmDocument;
class QWidget;

// What the demo catalogue needs from the main window.
class DemoHost
{
public:
    virtual ~DemoHost() = default;
    // The main window itself: the catalogue hides it and brings it back.
    virtual QWidget *hostWindow() = 0;
    // Recomputes the tool-kit paths; false (after its message) when there is no base
    // directory.
    virtual bool Start_Path() = 0;
    // 0 with no active child window, 1 for a code document, -1 for any other.
    virtual int ChildFormType() const = 0;
    // The active code document, or null.
    virtual frmDocument *activeDocument() const = 0;
    // File New: a new, empty code document that becomes the active one.
    virtual void mnuFileNew_Click() = 0;
    // The run of CodeDir/CodeName with the run state set by the caller.
    virtual bool RunCodeFile() = 0;
};
