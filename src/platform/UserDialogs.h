#pragma once

#include "ProgressReporter.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class QPrinter;
class QWidget;

enum class MsgIcon { None, Critical, Question, Exclamation, Information };
enum class MsgButtons { OK, OKCancel, YesNo, YesNoCancel };
enum class MsgAnswer { OK, Cancel, Yes, No };

// One message box: exactly the text, title, buttons and icon the user sees.
// An empty title shows the program's title.
struct MessageRequest
{
    QString text;
    QString title;
    MsgButtons buttons = MsgButtons::OK;
    MsgIcon icon = MsgIcon::None;
};

// What an open or save dialog shows and remembers. The filter list is written as
// the classic common dialog takes it: "Description|patterns|Description|patterns".
// filterIndex counts entries from 1. initDir persists from one use to the next.
struct FileDialogState
{
    QString title;
    QString filter;
    int filterIndex = 1;
    QString fileName;
    QString initDir;
    bool promptOverwrite = false;
};

// What the print dialog shows: its title and whether Selection stands chosen
// instead of All.
struct PrintDialogState
{
    QString title;
    bool selectionPreselected = false;
};

// Splits "All Files (*.*)|*.*|Tessaly (*.ty)|*.ty" into Qt's name filters.
QStringList qtNameFilters(const QString &commonDialogFilter);

// Every question the program asks the user goes through this interface, so a test
// can answer the boxes and dialogs and read back what was asked.
class UserDialogs
{
public:
    virtual ~UserDialogs() = default;
    virtual MsgAnswer message(QWidget *owner, const MessageRequest &request) = 0;
    // The chosen full path, or nothing when the user cancelled.
    virtual std::optional<QString> openFile(QWidget *owner, const FileDialogState &state) = 0;
    virtual std::optional<QString> saveFile(QWidget *owner, const FileDialogState &state) = 0;
    // The print dialog on the printer's settings: true when the user chose to print.
    virtual bool print(QWidget *owner, QPrinter &printer, const PrintDialogState &state) = 0;
    // The printer setup dialog; the settings chosen there stay with the printer.
    virtual bool printerSetup(QWidget *owner, QPrinter &printer) = 0;
    // The progress of a long piece of work, with its Cancel button.
    virtual std::unique_ptr<ProgressReporter> progress(QWidget *owner,
                                                       const ProgressRequest &request)
        = 0;
};

// The real boxes and dialogs.
class QtUserDialogs : public UserDialogs
{
public:
    // floppyDirectory: where a dialog whose initial directory is "A:" opens.
    explicit QtUserDialogs(QString floppyDirectory = QString())
        : m_floppy(std::move(floppyDirectory))
    {}
    MsgAnswer message(QWidget *owner, const MessageRequest &request) override;
    std::optional<QString> openFile(QWidget *owner, const FileDialogState &state) override;
    std::optional<QString> saveFile(QWidget *owner, const FileDialogState &state) override;
    bool print(QWidget *owner, QPrinter &printer, const PrintDialogState &state) override;
    bool printerSetup(QWidget *owner, QPrinter &printer) override;
    std::unique_ptr<ProgressReporter> progress(QWidget *owner,
                                               const ProgressRequest &request) override;

private:
    QString m_floppy;
};
