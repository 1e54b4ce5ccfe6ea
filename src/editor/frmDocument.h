#pragma once

#include "editor/TextFileCodec.h"
#include "platform/UserDialogs.h"

#include <QWidget>

#include <memory>

struct AppContext;
class ProgressReporter;
class QsciScintilla;
class TextStyler;

// What a document window needs from the main window that holds it.
class DocumentHost
{
public:
    virtual ~DocumentHost() = default;
    // The main window's Save As command, for a name that is no real file name.
    virtual void mnuFileSaveAs_Click() = 0;
};

// A child window of the main window holding one text: a code file, an answer or
// output file, or a new untitled text.
class frmDocument : public QWidget
{
    Q_OBJECT

public:
    frmDocument(AppContext &ctx, DocumentHost &host, QWidget *parent = nullptr);
    ~frmDocument() override;

    // True once the text was changed after the last load or save.
    bool IsDirty() const { return m_isDirty; }
    void setIsDirty(bool dirty) { m_isDirty = dirty; }

    QString Filename() const { return m_filename; }
    // Stores the name and shows it as the caption ("(untitled)" when empty).
    void setFilename(const QString &newValue);

    bool IsEmpty() const;
    bool CanSave() const { return m_isDirty; }
    bool CanCopy() const;
    bool CanCut() const { return CanCopy(); }
    bool CanPaste() const;
    bool CanPrint() const { return !IsEmpty(); }

    void Copy();
    void Cut();
    void Paste();

    // Reads the file into the window; does nothing for an empty name. A failure is
    // thrown as KvError and leaves name and flag as they were, and no part of the
    // file in the window.
    //
    // With progress, the reading reports its pieces there and the user may cancel
    // it: then false is returned and the window is as it was before, but for a text
    // it held (so pass progress only for an empty window).
    bool LoadFile(const QString &newFile, ProgressReporter *progress = nullptr);
    // Saves under newFile, or runs the main window's Save As when newFile names no
    // real file ("ok", empty, "*.ty").
    void SaveFile(const QString &newFile);
    // The save dialog (saveFlag) or the open dialog; the chosen path, or empty.
    // A chosen file becomes the current code file (CodeName, CodeDir, the one the
    // registry remembers, the dialog's next directory) unless remember is false:
    // then RememberFilename does that once the file was opened.
    QString AskFilename(bool saveFlag, bool remember = true);
    void RememberFilename(const QString &chosen);
    // Writes the text to CodeDir/CodeName.
    void writeAnsFile();

    // The window's own open/save dialog state; its initial directory persists.
    FileDialogState &CommonDialog1() { return *m_dialog; }
    // The same state, for a holder that outlives the window (the main window keeps
    // the start-up document's dialog for the Delete command).
    std::shared_ptr<FileDialogState> sharedDialog() const { return m_dialog; }
    QsciScintilla *rtfText() const { return m_text; }
    // The styles of the text: its colours, and the plain set for printing.
    TextStyler *styler() const { return m_styler; }
    TextEncoding encoding() const { return m_encoding; }
    // The whole text as the editor holds it (UTF-8, CR LF line ends).
    QByteArray textBytes() const;

    // The close request (may ask to save): true when the window may close.
    bool Form_QueryUnload();
    // Closes the window without asking again (its close request already agreed).
    void unloadAgreed();

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void Form_Resize();
    void rtfText_Change();
    void setTextFontSize(double points);

    AppContext &m_ctx;
    DocumentHost &m_host;
    QsciScintilla *m_text = nullptr;
    TextStyler *m_styler = nullptr;
    std::shared_ptr<FileDialogState> m_dialog = std::make_shared<FileDialogState>();
    QString m_filename;
    bool m_isDirty = false;
    bool m_closeAgreed = false;
    double m_fontPoints = 0;
    TextEncoding m_encoding = TextEncoding::Utf8;
};
