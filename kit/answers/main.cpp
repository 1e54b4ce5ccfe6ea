// kv-answers: writes every demo's answer report and plots into a directory.
//
//   kv-answers <answers-directory> [stem ...]
//
// Without stems it writes all of them. Each answer is "<stem>.out" and, as the
// demo calls for, "<stem>.plt" and/or "<stem>.gif". The output is deterministic.
#include "Models.h"

#include <QDir>
#include <QGuiApplication>
#include <QSaveFile>
#include <QTemporaryDir>

#include <cstdio>
#include <exception>

namespace {

bool writeFile(const QString &path, const QByteArray &bytes, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

void fail(const QString &message)
{
    std::fprintf(stderr, "kv-answers: %s\n", qPrintable(message));
}

} // namespace

int main(int argc, char **argv)
{
    // The GIFs are drawn off screen; no display is needed. A batch run in a build
    // has no session either, so it gets a private runtime directory of its own.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir runtimeDir;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") && runtimeDir.isValid())
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir.path()));
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty() || args.first().startsWith(QLatin1Char('-'))) {
        std::fprintf(stderr, "usage: kv-answers <answers-directory> [stem ...]\n");
        return 2;
    }
    const QString dirPath = args.first();
    if (!QDir().mkpath(dirPath)) {
        fail(QStringLiteral("cannot create the directory %1").arg(dirPath));
        return 1;
    }
    const QDir dir(dirPath);
    QStringList stems = args.mid(1);
    const QStringList known = kv::answerStems();
    for (const QString &stem : stems)
        if (!known.contains(stem)) {
            fail(QStringLiteral("no demo named \"%1\"").arg(stem));
            return 2;
        }
    if (stems.isEmpty())
        stems = known;
    int failures = 0;
    for (const QString &stem : stems) {
        kv::Answer answer;
        try {
            answer = kv::answerFor(stem);
        } catch (const std::exception &e) {
            fail(QStringLiteral("%1: %2").arg(stem, QString::fromLocal8Bit(e.what())));
            ++failures;
            continue;
        }
        QString error;
        if (!writeFile(dir.filePath(stem + ".out"), answer.report, &error)) {
            fail(error);
            ++failures;
            continue;
        }
        if (answer.writePlt
            && !writeFile(dir.filePath(stem + ".plt"), writePlot(answer.plot), &error)) {
            fail(error);
            ++failures;
        }
        if (answer.writeGif) {
            const QImage image = renderPlot(answer.plot, QSize(640, 480));
            if (image.isNull() || !writeGif(image, dir.filePath(stem + ".gif"), &error)) {
                fail(image.isNull() ? QStringLiteral("%1: the plot could not be drawn").arg(stem)
                                    : error);
                ++failures;
            }
        }
    }
    return failures == 0 ? 0 : 1;
}
