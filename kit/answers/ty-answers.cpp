// ty-answers: the demos' stored answers, made by running every demo file through
// the tool kit's interpreter.
//
//   ty-answers <answers-directory> <demo-directory>
//
// Each demo "<stem>.ty" gives "<stem>.out", the lines its Print statements write
// (CR LF line ends), and, when it plots, "<stem>.plt" and "<stem>.gif". A demo whose
// run stops with an error fails the build: a demo and its answer cannot disagree.
#include <PlotData.h>
#include <TyRun.h>

#include <QDir>
#include <QGuiApplication>
#include <QSaveFile>
#include <QTemporaryDir>

#include <cstdio>

namespace {

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        std::fprintf(stderr,
                     "ty-answers: cannot write %s: %s\n",
                     qPrintable(path),
                     qPrintable(file.errorString()));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir runtimeDir;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") && runtimeDir.isValid())
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir.path()));
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() != 2) {
        std::fputs("usage: ty-answers <answers-directory> <demo-directory>\n", stderr);
        return 2;
    }
    const QDir demos(args.at(1));
    if (!QDir().mkpath(args.at(0)) || !demos.exists()) {
        std::fprintf(stderr,
                     "ty-answers: no directory %s or %s\n",
                     qPrintable(args.at(0)),
                     qPrintable(args.at(1)));
        return 2;
    }
    const QDir out(args.at(0));
    int failures = 0;
    for (const QString &name : demos.entryList({"*.ty"}, QDir::Files, QDir::Name)) {
        QFile file(demos.filePath(name));
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "ty-answers: cannot read %s\n", qPrintable(file.fileName()));
            ++failures;
            continue;
        }
        const ty::RunResult result = ty::runTessaly(file.readAll());
        const QString stem = QFileInfo(name).completeBaseName();
        if (!result.ok) {
            std::fprintf(stderr,
                         "ty-answers: %s:%d: %s\n",
                         qPrintable(name),
                         result.errorLine,
                         result.error.toUtf8().constData());
            ++failures;
            continue;
        }
        QByteArray text;
        for (const QString &line : result.output)
            text += line.toUtf8() + "\r\n";
        if (!writeFile(out.filePath(stem + ".out"), text))
            ++failures;
        if (result.hasPlot) {
            if (!writeFile(out.filePath(stem + ".plt"), writePlot(result.plot)))
                ++failures;
            QString error;
            if (!writeGif(renderPlot(result.plot, QSize(640, 480)),
                          out.filePath(stem + ".gif"),
                          &error)) {
                std::fprintf(stderr, "ty-answers: %s\n", qPrintable(error));
                ++failures;
            }
        }
    }
    return failures == 0 ? 0 : 1;
}
