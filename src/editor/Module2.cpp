#include "Module2.h"

#include "platform/ProgressReporter.h"

#include <Qsci/qsciscintilla.h>

#include <QPainter>
#include <QPrinter>

#include <cmath>

int printerPixels(int twips, int resolution)
{
    return static_cast<int>(std::lround(twips * static_cast<double>(resolution) / 1440.0));
}

int PrintWithMargins(QsciScintilla &rtfText,
                     QPrinter &printer,
                     QPainter &painter,
                     int leftMargin,
                     int topMargin,
                     int rightMargin,
                     int bottomMargin,
                     ProgressReporter *progress)
{
    using Sci = QsciScintillaBase;
    const int dpi = printer.resolution();
    // The painter's origin is the printable area's corner; the margins are measured
    // from the paper's edges.
    const QRect paper = printer.paperRect(QPrinter::DevicePixel).toRect();
    const QRect printable = printer.pageRect(QPrinter::DevicePixel).toRect();
    const int offsetX = printable.left() - paper.left();
    const int offsetY = printable.top() - paper.top();
    QRect drawing;
    drawing.setLeft(printerPixels(leftMargin, dpi) - offsetX);
    drawing.setTop(printerPixels(topMargin, dpi) - offsetY);
    drawing.setRight(paper.width() - printerPixels(rightMargin, dpi) - offsetX - 1);
    drawing.setBottom(paper.height() - printerPixels(bottomMargin, dpi) - offsetY - 1);

    const long length = rtfText.SendScintilla(Sci::SCI_GETLENGTH);
    const long oldColourMode = rtfText.SendScintilla(Sci::SCI_GETPRINTCOLOURMODE);
    const long oldWrapMode = rtfText.SendScintilla(Sci::SCI_GETPRINTWRAPMODE);
    rtfText.SendScintilla(Sci::SCI_SETPRINTCOLOURMODE, Sci::SC_PRINT_BLACKONWHITE);
    rtfText.SendScintilla(Sci::SCI_SETPRINTWRAPMODE, Sci::SC_WRAP_WORD);

    if (progress) {
        progress->setMaximum(length);
        progress->setLabelText(QStringLiteral("Printing page 1"));
    }
    int pages = 1;
    long start = 0;
    bool cancelled = false;
    while (drawing.isValid()) {
        const long next
            = rtfText.SendScintilla(Sci::SCI_FORMATRANGE, 1UL, &painter, drawing, start, length);
        // A page that takes nothing (a line taller than the page) ends the job
        // rather than printing blank pages for ever.
        if (next >= length || next <= start)
            break;
        start = next;
        if (progress) {
            // A Cancel seen after the last page changes nothing: the job is whole.
            progress->setLabelText(QStringLiteral("Printing page ") + QString::number(pages + 1));
            progress->setValue(start);
            if (progress->wasCanceled()) {
                cancelled = true;
                break;
            }
        }
        if (!printer.newPage())
            break;
        ++pages;
    }
    // A printer on the desktop may take back what it was sent; a file is the
    // caller's to remove.
    if (cancelled && printer.outputFileName().isEmpty())
        printer.abort();
    painter.end();

    rtfText.SendScintilla(Sci::SCI_SETPRINTCOLOURMODE, static_cast<unsigned long>(oldColourMode));
    rtfText.SendScintilla(Sci::SCI_SETPRINTWRAPMODE, static_cast<unsigned long>(oldWrapMode));
    return cancelled ? 0 : pages;
}
