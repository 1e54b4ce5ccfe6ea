#pragma once

#include <QString>

#include <memory>

struct AppContext;
class EditorHost;
class QDateTime;
class QPrinter;

// The date and time as the header of a printout shows them: the locale's short
// date followed by the time with seconds.
QString generalDateText(const QDateTime &when);

// The File menu's Print and Printer Setup commands. The printer they share stands
// for the desktop's current printer: Printer Setup and the print dialog change its
// settings, and Print prints through it.
class PrintCommands
{
public:
    PrintCommands(AppContext &ctx, EditorHost &host);
    ~PrintCommands();

    // Prints the active document's whole text with a header naming the file and
    // the date and time of printing on the first page. A long printout shows its
    // progress, page by page, with a Cancel button. Printed to a file, the file
    // appears only once the printout is whole; a cancelled or failed one leaves
    // no file behind, and an earlier file of that name as it was.
    void mnuFilePrint_Click();
    void mnuFilePrinterSetup_Click();

    QPrinter &printer();

private:
    AppContext &m_ctx;
    EditorHost &m_host;
    std::unique_ptr<QPrinter> m_printer;
};
