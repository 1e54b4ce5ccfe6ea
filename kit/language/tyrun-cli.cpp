// tyrun-cli: runs a Tessaly job and prints what its Print statements write.
//
//   tyrun-cli <file.ty> [<plot.plt>]
//
// With a second argument the plot the job draws is written there as a .plt file.
// Exit status 0 when the run completes, 1 when it stops with an error (the file,
// line and what happened go to standard error), 2 when a file cannot be read or
// written.

#include "TyRun.h"

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty() || args.size() > 2) {
        std::fputs("usage: tyrun-cli <file.ty> [<plot.plt>]\n", stderr);
        return 2;
    }
    QFile file(args.first());
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr,
                     "%s: cannot read: %s\n",
                     qPrintable(args.first()),
                     qPrintable(file.errorString()));
        return 2;
    }
    ty::RunOptions options;
    options.outputKept = 0; // every line is written as it comes
    options.printed = [](const QString &line) { std::printf("%s\n", line.toUtf8().constData()); };
    const ty::RunResult result = ty::runTessaly(file.readAll(), options);
    std::fflush(stdout);
    if (args.size() == 2 && result.hasPlot) {
        QSaveFile plt(args.at(1));
        const QByteArray bytes = writePlot(result.plot);
        if (!plt.open(QIODevice::WriteOnly) || plt.write(bytes) != bytes.size() || !plt.commit()) {
            std::fprintf(stderr,
                         "%s: cannot write: %s\n",
                         qPrintable(args.at(1)),
                         qPrintable(plt.errorString()));
            return 2;
        }
    }
    if (!result.ok) {
        std::fprintf(stderr,
                     "%s:%d: %s\n",
                     qPrintable(args.first()),
                     result.errorLine,
                     result.error.toUtf8().constData());
        return 1;
    }
    return 0;
}
