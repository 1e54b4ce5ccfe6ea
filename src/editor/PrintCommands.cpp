#include "PrintCommands.h"

#include "core/AppContext.h"
#include "editor/EditorHost.h"
#include "editor/Module2.h"
#include "editor/frmDocument.h"
#include "platform/UserDialogs.h"

#include <Qsci/qsciscintilla.h>

#include <QDateTime>
#include <QLocale>
#include <QPainter>
#include <QPrinter>

namespace {
// Draws one header item with its top left corner at a position given in twips
// from the printable area's corner.
void printAt(QPainter &painter, int resolution, int x, int y, const QString &text)
{
    const QPoint at(printerPixels(x, resolution), printerPixels(y, resolution));
    const QRect room(at, QSize(painter.device()->width(), painter.device()->height()));
    painter.drawText(room, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
}
} // namespace

QString generalDateText(const QDateTime &when)
{
    const QLocale locale;
    return locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ')
           + when.time().toString(QStringLiteral("HH:mm:ss"));
}

PrintCommands::PrintCommands(AppContext &ctx, EditorHost &host)
    : m_ctx(ctx)
    , m_host(host)
{}

PrintCommands::~PrintCommands() = default;

QPrinter &PrintCommands::printer()
{
    if (!m_printer)
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *m_printer;
}

void PrintCommands::mnuFilePrint_Click()
{
    frmDocument *doc = m_host.activeDocument();
    if (!doc)
        return;
    PrintDialogState request;
    request.title = QStringLiteral("Printing ") + doc->Filename();
    request.selectionPreselected = doc->CanCopy();
    QPrinter &target = printer();
    if (!m_ctx.dialogs.print(m_host.hostWindow(), target, request))
        return;
    QPainter painter;
    if (!painter.begin(&target)) {
        // Nothing was printed; saying nothing would look like a printout on its way.
        m_ctx.dialogs.message(m_host.hostWindow(),
                              {QStringLiteral("The printer could not be started: nothing was "
                                              "printed."),
                               QStringLiteral("Printing ") + doc->Filename(),
                               MsgButtons::OK,
                               MsgIcon::Exclamation});
        return;
    }
    painter.setPen(Qt::black);
    const int dpi = target.resolution();
    printAt(painter, dpi, 720, 10, doc->Filename());
    printAt(painter, dpi, 9360, 10, generalDateText(QDateTime::currentDateTime()));
    PrintWithMargins(*doc->rtfText(), target, painter, 200, 400, 200, 300);
}

void PrintCommands::mnuFilePrinterSetup_Click()
{
    // The settings chosen there stay with the printer; a cancel changes nothing.
    m_ctx.dialogs.printerSetup(m_host.hostWindow(), printer());
}
