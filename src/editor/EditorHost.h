#pragma once

class frmDocument;
class QWidget;

// What the edit, search and print commands need from the main window.
class EditorHost
{
public:
    virtual ~EditorHost() = default;
    // The window that owns the commands' dialogs and boxes.
    virtual QWidget *hostWindow() = 0;
    // The active code document, or null when no document window is active.
    virtual frmDocument *activeDocument() const = 0;
};
