// kv-rtfmanual: builds the manual "ty-manual 1.rtf" from its text source.
//   kv-rtfmanual <source.txt> <demo directory> <output.rtf>

#include "RtfManual.h"

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4) {
        std::fputs("usage: kv-rtfmanual <source.txt> <demo directory> <output.rtf>\n", stderr);
        return 2;
    }
    QFile source(args.at(1));
    if (!source.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr,
                     "kv-rtfmanual: cannot read %s: %s\n",
                     qPrintable(args.at(1)),
                     qPrintable(source.errorString()));
        return 1;
    }
    const RtfManualResult result = buildManualRtf(QString::fromUtf8(source.readAll()), args.at(2));
    if (!result.error.isEmpty()) {
        std::fprintf(stderr, "%s:%s\n", qPrintable(args.at(1)), qPrintable(result.error));
        return 1;
    }
    QSaveFile out(args.at(3));
    if (!out.open(QIODevice::WriteOnly) || out.write(result.rtf) != result.rtf.size()
        || !out.commit()) {
        std::fprintf(stderr,
                     "kv-rtfmanual: cannot write %s: %s\n",
                     qPrintable(args.at(3)),
                     qPrintable(out.errorString()));
        return 1;
    }
    return 0;
}
