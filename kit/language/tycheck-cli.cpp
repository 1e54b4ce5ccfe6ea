// tycheck-cli: checks Tessaly code files and prints each finding as
// "file:line: message". Exit status 0 when every file is clean, 1 when a file
// has findings or is not a text file (said in one line), 2 when a file cannot be
// read or no file is given.

#include "TessalyCheck.h"
#include "TyLexer.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList files = app.arguments().mid(1);
    if (files.isEmpty()) {
        std::fputs("usage: tycheck-cli <file.ty> [more files]\n", stderr);
        return 2;
    }
    int status = 0;
    for (const QString &name : files) {
        QFile file(name);
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(
                stderr, "%s: cannot read: %s\n", qPrintable(name), qPrintable(file.errorString()));
            status = 2;
            continue;
        }
        const QByteArray bytes = file.readAll();
        if (ty::looksBinary(bytes)) {
            std::printf("%s: not a text file (it holds NUL and other control bytes)\n",
                        qPrintable(name));
            if (status == 0)
                status = 1;
            continue;
        }
        const QList<TyFinding> findings = checkTessaly(bytes);
        for (const TyFinding &f : findings)
            std::printf("%s:%d: %s\n",
                        qPrintable(name),
                        f.line,
                        ty::escapeControls(f.message).toUtf8().constData());
        if (!findings.isEmpty() && status == 0)
            status = 1;
    }
    return status;
}
