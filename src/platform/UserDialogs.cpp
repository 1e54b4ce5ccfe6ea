#include "UserDialogs.h"

#include "AppInfo.h"
#include "DesktopServices.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrintDialog>

QStringList qtNameFilters(const QString &commonDialogFilter)
{
    const QStringList parts = commonDialogFilter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts.at(i + 1);
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        // "*.*" means every file here, also those without a dot.
        patterns.replace(QStringLiteral("*.*"), QStringLiteral("*"));
        // The description usually names its patterns already: "Tessaly (*.ty)".
        QString description = parts.at(i).trimmed();
        if (description.endsWith(QLatin1Char(')')) && description.contains(QLatin1Char('(')))
            description = description.left(description.lastIndexOf(QLatin1Char('('))).trimmed();
        filters << description + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    return filters;
}

MsgAnswer QtUserDialogs::message(QWidget *owner, const MessageRequest &request)
{
    QMessageBox box(owner);
    box.setWindowTitle(request.title.isEmpty() ? AppInfo::programTitle() : request.title);
    QString text = request.text;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    box.setText(text);
    box.setTextFormat(Qt::PlainText);
    switch (request.icon) {
    case MsgIcon::None:
        break;
    case MsgIcon::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    case MsgIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case MsgIcon::Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case MsgIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    }
    switch (request.buttons) {
    case MsgButtons::OK:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case MsgButtons::OKCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case MsgButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case MsgButtons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Ok:
        return MsgAnswer::OK;
    case QMessageBox::Yes:
        return MsgAnswer::Yes;
    case QMessageBox::No:
        return MsgAnswer::No;
    default:
        // Escape or the close box of a box with a Cancel button.
        return request.buttons == MsgButtons::OK ? MsgAnswer::OK : MsgAnswer::Cancel;
    }
}

namespace {

std::optional<QString>
runFileDialog(QWidget *owner, const FileDialogState &state, bool save, const QString &floppy)
{
    QFileDialog dialog(owner, state.title);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // The open dialog lets the user type any name, existing or not.
    dialog.setFileMode(QFileDialog::AnyFile);
    if (!state.promptOverwrite)
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    // Return a link itself rather than its target.
    dialog.setOption(QFileDialog::DontResolveSymlinks);
    const QStringList filters = qtNameFilters(state.filter);
    dialog.setNameFilters(filters);
    if (state.filterIndex >= 1 && state.filterIndex <= filters.size())
        dialog.selectNameFilter(filters.at(state.filterIndex - 1));
    const QString dir = floppy.isEmpty() ? state.initDir : mapFloppyPath(state.initDir, floppy);
    dialog.setDirectory(dir.isEmpty() || !QDir(dir).exists() ? QDir::currentPath() : dir);
    if (!state.fileName.isEmpty() && !state.fileName.contains(QLatin1Char('*')))
        dialog.selectFile(state.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

} // namespace

std::optional<QString> QtUserDialogs::openFile(QWidget *owner, const FileDialogState &state)
{
    return runFileDialog(owner, state, false, m_floppy);
}

std::optional<QString> QtUserDialogs::saveFile(QWidget *owner, const FileDialogState &state)
{
    return runFileDialog(owner, state, true, m_floppy);
}

bool QtUserDialogs::print(QWidget *owner, QPrinter &printer, const PrintDialogState &state)
{
    QPrintDialog dialog(&printer, owner);
    dialog.setWindowTitle(state.title);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, true);
    dialog.setPrintRange(state.selectionPreselected ? QAbstractPrintDialog::Selection
                                                    : QAbstractPrintDialog::AllPages);
    return dialog.exec() == QDialog::Accepted;
}

bool QtUserDialogs::printerSetup(QWidget *owner, QPrinter &printer)
{
    QPageSetupDialog dialog(&printer, owner);
    return dialog.exec() == QDialog::Accepted;
}

std::unique_ptr<ProgressReporter> QtUserDialogs::progress(QWidget *owner,
                                                          const ProgressRequest &request)
{
    return std::make_unique<QtProgressReporter>(owner, request);
}
