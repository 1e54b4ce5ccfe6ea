// Find Next through a large answer file: without a match, and with the only match
// near the end. Run: bench_find [megabytes]   (default 50)
#include "BenchAnswerFile.h"
#include "TestDoubles.h"

#include "editor/EditCommands.h"
#include "editor/EditorHost.h"
#include "editor/frmDocument.h"
#include "editor/frmFind.h"

#include <Qsci/qsciscintilla.h>

#include <QApplication>
#include <QByteArrayMatcher>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTimer>

#include <cstdio>

namespace {
struct Host : DocumentHost, EditorHost
{
    void mnuFileSaveAs_Click() override {}
    QWidget *hostWindow() override { return doc; }
    frmDocument *activeDocument() const override { return doc; }
    frmDocument *doc = nullptr;
};

// The best of a few runs, in seconds.
template<typename F>
double bestOf(int runs, F &&work)
{
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        work();
        best = std::min(best, t.nsecsElapsed() / 1e9);
    }
    return best;
}
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int megabytes = argc > 1 ? std::atoi(argv[1]) : 50;
    Harness h;
    const QString path = h.tmp.path() + u"/big answer.out"_qs;
    if (!writeAnswerFile(path, megabytes, "final residual NEEDLE-7 reached\r\n9  t= 0\r\n"))
        return 1;
    Host host;
    frmDocument doc(h.ctx, host);
    host.doc = &doc;
    doc.resize(900, 700);
    doc.show();
    doc.LoadFile(path);
    QApplication::processEvents();
    EditCommands edit(h.ctx, host);

    // The search text comes from the Find dialog, answered here as a user would.
    auto find = [&](const QString &text) {
        auto *poll = new QTimer;
        QObject::connect(poll, &QTimer::timeout, poll, [poll, text] {
            if (auto *dialog = qobject_cast<frmFind *>(QApplication::activeModalWidget())) {
                poll->deleteLater();
                poll->stop();
                dialog->txtFind()->setText(text);
                dialog->cmdFind_Click();
            }
        });
        poll->start(1);
        edit.mnuEditFind_Click();
    };
    auto timed = [&](auto &&work) {
        QElapsedTimer t;
        t.start();
        work();
        return t.nsecsElapsed() / 1e9;
    };

    // A text that is nowhere: Find misses, then Find Next searches from near the
    // start to the end and misses again.
    find(u"no such text"_qs);
    double miss = 1e9;
    for (int i = 0; i < 3; ++i)
        miss = std::min(miss, timed([&] { edit.mnuEditFindNext_Click(); }));
    const bool missed = edit.SearchStart() == characterCount(u"no such text"_qs) - 1;

    // The only occurrence near the end: after a miss Find Next starts near the
    // start and runs through the whole text to it.
    find(u"needle-7"_qs);
    double nearEnd = 1e9;
    bool foundIt = true;
    for (int i = 0; i < 3; ++i) {
        edit.mnuEditFindNext_Click(); // after the last one: a miss
        nearEnd = std::min(nearEnd, timed([&] { edit.mnuEditFindNext_Click(); }));
        foundIt = foundIt && doc.rtfText()->selectedText() == u"NEEDLE-7"_qs;
    }

    // A text whose first letter starts a word on every line ("t=", "T(1)="): each
    // of those places is compared, and none matches.
    find(u"T(9)"_qs);
    double frequent = 1e9;
    for (int i = 0; i < 3; ++i)
        frequent = std::min(frequent, timed([&] { edit.mnuEditFindNext_Click(); }));

    // The memory's own speed: one case-sensitive scan of the same bytes.
    const QByteArray bytes = doc.textBytes();
    const double scan = bestOf(3, [&] {
        volatile qsizetype at = QByteArrayMatcher("no such text").indexIn(bytes);
        (void)at;
    });

    std::printf(
        "Find Next through %d MB, no match:        %.3f s (target <= 0.3 s)\n", megabytes, miss);
    std::printf(
        "Find Next through %d MB, match near end:  %.3f s (target <= 0.3 s)\n", megabytes, nearEnd);
    std::printf("Find Next through %d MB, no match, first letter on every line: %.3f s\n",
                megabytes,
                frequent);
    std::printf(
        "(a case-sensitive byte scan of the same text: %.3f s; ratio %.2f)\n", scan, miss / scan);
    std::printf("(miss reported: %s; occurrence selected: %s; %lld messages answered)\n",
                missed ? "yes" : "NO",
                foundIt ? "yes" : "NO",
                static_cast<long long>(h.dialogs.messages.size()));
    std::printf("peak memory: %ld MB\n", peakMegabytes());
    return 0;
}
