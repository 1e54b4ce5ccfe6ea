// Printing a large answer file to PDF: the Print command against the editor
// component's own page formatting (QsciPrinter) of the same text, and the memory
// the printing needs above the open file's, in turns.
// Run: bench_print [megabytes (default 50)] [rounds (default 2)]
#include "BenchAnswerFile.h"
#include "TestDoubles.h"

#include "editor/EditorHost.h"
#include "editor/PrintCommands.h"
#include "editor/frmDocument.h"

#include <Qsci/qsciprinter.h>
#include <Qsci/qsciscintilla.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPrinter>

#include <cstdio>

namespace {
struct Host : DocumentHost, EditorHost
{
    void mnuFileSaveAs_Click() override {}
    QWidget *hostWindow() override { return doc; }
    frmDocument *activeDocument() const override { return doc; }
    frmDocument *doc = nullptr;
};

// The resident memory's high-water mark since the last reset, in MB.
long highWaterMegabytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return peakMegabytes();
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong() / 1024;
    return peakMegabytes();
}

// Starts a new high-water mark at the current resident size.
void resetHighWater()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
}

void toPdf(QPrinter &printer, const QString &path)
{
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
}
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int megabytes = argc > 1 ? std::atoi(argv[1]) : 50;
    Harness h;
    const QString path = h.tmp.path() + u"/big answer.out"_qs;
    if (!writeAnswerFile(path, megabytes))
        return 1;
    Host host;
    frmDocument doc(h.ctx, host);
    host.doc = &doc;
    doc.resize(900, 700);
    doc.show();
    doc.LoadFile(path);
    QApplication::processEvents();
    const long openMb = highWaterMegabytes();

    // The Print command (its dialog answered with Print) and the editor component's
    // own page formatting of the same text to the same kind of page, in turns, so
    // that a change in the machine's load falls on both; the best of each counts.
    // The real progress dialog, as the Print command shows it.
    h.dialogs.makeProgress = [](QWidget *owner, const ProgressRequest &request) {
        return std::unique_ptr<ProgressReporter>(new QtProgressReporter(owner, request));
    };
    PrintCommands print(h.ctx, host);
    QsciPrinter component(QPrinter::HighResolution);
    const QString ours = h.tmp.path() + u"/print.pdf"_qs;
    const QString theirs = h.tmp.path() + u"/component.pdf"_qs;
    toPdf(print.printer(), ours);
    toPdf(component, theirs);
    component.setWrapMode(QsciScintilla::WrapWord);
    double printSeconds = 1e9;
    double componentSeconds = 1e9;
    long beforeMb = 0;
    long printPeakMb = 0;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 2;
    for (int round = 0; round < rounds; ++round) {
        h.dialogs.printAnswers.enqueue(true);
        resetHighWater();
        beforeMb = highWaterMegabytes();
        QElapsedTimer t;
        t.start();
        print.mnuFilePrint_Click();
        const double oursNow = t.nsecsElapsed() / 1e9;
        printPeakMb = std::max(printPeakMb, highWaterMegabytes() - beforeMb);
        t.restart();
        component.printRange(doc.rtfText());
        const double theirsNow = t.nsecsElapsed() / 1e9;
        std::printf("round %d: print %.2f s, component %.2f s\n", round + 1, oursNow, theirsNow);
        std::fflush(stdout);
        printSeconds = std::min(printSeconds, oursNow);
        componentSeconds = std::min(componentSeconds, theirsNow);
    }

    std::printf("print %d MB answer file to PDF: %.2f s (%.1f MB of PDF)\n",
                megabytes,
                printSeconds,
                QFileInfo(ours).size() / 1048576.0);
    std::printf("the editor component's own page formatting: %.2f s (%.1f MB of PDF)\n",
                componentSeconds,
                QFileInfo(theirs).size() / 1048576.0);
    std::printf("ratio print / component: %.2f (target <= 2.0)\n", printSeconds / componentSeconds);
    std::printf("memory while printing: %ld MB above the %ld MB with the file open (peak while "
                "opening %ld MB; target < 300 MB above)\n",
                printPeakMb,
                beforeMb,
                openMb);
    return 0;
}
