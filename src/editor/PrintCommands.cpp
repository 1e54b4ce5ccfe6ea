#include "PrintCommands.h"

#include "core/AppContext.h"
#include "editor/EditorHost.h"
#include "editor/Module2.h"
#include "editor/frmDocument.h"
#include "platform/FileAccess.h"
#include "platform/UserDialogs.h"

#include <Qsci/qsciscintilla.h>

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QPainter>
#include <QPrinter>
#include <QScopeGuard>

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
    const QString title = request.title;
    const auto tell = [&](const QString &text) {
        m_ctx.dialogs.message(m_host.hostWindow(),
                              {text, title, MsgButtons::OK, MsgIcon::Exclamation});
    };
    const QString cannotStart
        = QStringLiteral("The printer could not be started: nothing was printed.");

    // Printed to a file, the pages go to a file beside it that takes its name only
    // once the printout is whole: a cancelled or failed printout leaves nothing
    // behind, and a file of that name that was there before stays as it was.
    const QString outputFile = target.outputFileName();
    QString finalFile;
    QString partFile;
    if (!outputFile.isEmpty()) {
        const QFileInfo info(outputFile);
        finalFile = info.isSymLink() && info.exists() ? info.canonicalFilePath() : outputFile;
        const QFileInfo finalInfo(finalFile);
        // The replacement would also replace a file the user may not write.
        if (finalInfo.exists() && (finalInfo.isDir() || !finalInfo.isWritable())) {
            tell(cannotStart);
            return;
        }
        partFile = FileAccess::createFileBeside(finalFile);
        if (partFile.isEmpty()) {
            tell(cannotStart);
            return;
        }
        target.setOutputFileName(partFile);
    }
    const auto restoreName = qScopeGuard([&] {
        if (!outputFile.isEmpty())
            target.setOutputFileName(outputFile);
    });

    QPainter painter;
    if (!painter.begin(&target)) {
        // Nothing was printed; saying nothing would look like a printout on its way.
        if (!partFile.isEmpty())
            QFile::remove(partFile);
        tell(cannotStart);
        return;
    }
    painter.setPen(Qt::black);
    const int dpi = target.resolution();
    printAt(painter, dpi, 720, 10, doc->Filename());
    printAt(painter, dpi, 9360, 10, generalDateText(QDateTime::currentDateTime()));
    std::unique_ptr<ProgressReporter> progress
        = m_ctx.dialogs.progress(m_host.hostWindow(), {title, QString()});
    const int pages
        = PrintWithMargins(*doc->rtfText(), target, painter, 200, 400, 200, 300, progress.get());
    progress.reset();
    if (partFile.isEmpty())
        return;
    if (pages == 0) {
        QFile::remove(partFile);
        return;
    }
    QString why;
    if (!FileAccess::replaceFile(partFile, finalFile, &why)) {
        QFile::remove(partFile);
        tell(QStringLiteral("The printout could not be saved as '") + finalFile
             + QStringLiteral("': ") + why);
    }
}

void PrintCommands::mnuFilePrinterSetup_Click()
{
    // The settings chosen there stay with the printer; a cancel changes nothing.
    m_ctx.dialogs.printerSetup(m_host.hostWindow(), printer());
}
