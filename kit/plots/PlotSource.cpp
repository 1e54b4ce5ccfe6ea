#include "PlotSource.h"

#include "platform/AppInfo.h"
#include "platform/KvError.h"
#include "platform/RegistryHive.h"
#include "core/mdlRegistryAPI.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <algorithm>

namespace {

bool endsWithSeparator(const QString &path)
{
    return path.endsWith(QLatin1Char('/')) || path.endsWith(QLatin1Char('\\'));
}

LoadedPlot failed(const QString &path, const QString &message)
{
    LoadedPlot out;
    out.kind = LoadedPlot::Failed;
    out.path = path;
    out.message = message;
    return out;
}

} // namespace

QString resolvePathIgnoringCase(const QString &path)
{
    if (path.isEmpty() || QFileInfo::exists(path))
        return path;
    const QString clean = QDir::cleanPath(QDir::fromNativeSeparators(path));
    const bool absolute = clean.startsWith(QLatin1Char('/'));
    const QStringList parts = clean.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString current = absolute ? QStringLiteral("/") : QStringLiteral(".");
    for (const QString &part : parts) {
        QDir dir(current);
        QString next = dir.filePath(part);
        if (!QFileInfo::exists(next)) {
            const QStringList entries = dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System
                                                      | QDir::NoDotAndDotDot);
            const auto it = std::find_if(entries.cbegin(), entries.cend(), [&](const QString &e) {
                return e.compare(part, Qt::CaseInsensitive) == 0;
            });
            if (it == entries.cend())
                return path;
            next = dir.filePath(*it);
        }
        current = next;
    }
    if (!absolute && current.startsWith(QStringLiteral("./")))
        current.remove(0, 2);
    return endsWithSeparator(path) ? current + QLatin1Char('/') : current;
}

LoadedPlot loadPlotFile(const QString &requested)
{
    const QString path = resolvePathIgnoringCase(requested);
    const QFileInfo info(path);
    const QString name = info.fileName();
    if (!info.exists())
        return failed(path, QStringLiteral("The plot file '%1' does not exist.").arg(path));
    if (info.isDir())
        return failed(path, QStringLiteral("'%1' is a directory, not a plot file.").arg(path));

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return failed(
            path,
            QStringLiteral("The plot file '%1' cannot be read: %2").arg(path, file.errorString()));
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        return failed(
            path,
            QStringLiteral("The plot file '%1' cannot be read: %2").arg(path, file.errorString()));
    }

    const QString suffix = info.suffix().toLower();
    const bool looksLikePlot
        = suffix == QLatin1String("plt")
          || (suffix != QLatin1String("gif") && bytes.trimmed().startsWith("#KVPLOT"));
    if (looksLikePlot) {
        const PlotParseResult parsed = parsePlot(bytes);
        if (!parsed.plot) {
            return failed(path,
                          QStringLiteral("'%1' is not a plot this viewer can draw:\n%2")
                              .arg(name, parsed.error));
        }
        LoadedPlot out;
        out.kind = LoadedPlot::Plot;
        out.path = path;
        out.plot = *parsed.plot;
        return out;
    }

    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, suffix == QLatin1String("gif") ? QByteArray("gif") : QByteArray());
    if (suffix != QLatin1String("gif"))
        reader.setAutoDetectImageFormat(true);
    QImage picture = reader.read();
    if (picture.isNull()) {
        return failed(path,
                      QStringLiteral("'%1' cannot be shown: it is not a .plt plot or a picture "
                                     "this viewer reads (%2).")
                          .arg(name, reader.errorString()));
    }
    LoadedPlot out;
    out.kind = LoadedPlot::Picture;
    out.path = path;
    out.picture = std::move(picture);
    return out;
}

QStringList plotFilesIn(const QString &directory)
{
    QDir dir(directory);
    dir.setFilter(QDir::Files | QDir::Readable | QDir::Hidden);
    dir.setNameFilters({QStringLiteral("*.plt"), QStringLiteral("*.gif")});
    QStringList names = dir.entryList(); // name filters match without regard to case
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}

QString HandOff::plotPath() const
{
    if (fileIn.isEmpty())
        return QString();
    if (activePath.isEmpty() || endsWithSeparator(activePath))
        return activePath + fileIn;
    return activePath + QLatin1Char('/') + fileIn;
}

QString HandOff::statusText() const
{
    QString text;
    if (names())
        text = QStringLiteral("Handed over: %1").arg(plotPath());
    else
        text = QStringLiteral("No plot handed over");
    if (!programPath.isEmpty())
        text += QStringLiteral("   (program: %1)").arg(programPath);
    if (!problem.isEmpty())
        text += QStringLiteral("   ") + problem;
    return text;
}

HandOff readHandOff(const QString &hivePath)
{
    HandOff out;
    const RegistryHive hive(hivePath);
    const QString key = AppInfo::companyKey();
    try {
        out.activePath
            = mdlRegistryAPI::ReadValue(
                  hive, key, QStringLiteral("ActivePath"), mdlRegistryAPI::REG_SZ, QString())
                  .toString();
        out.programPath
            = mdlRegistryAPI::ReadValue(
                  hive, key, QStringLiteral("ProgramPath"), mdlRegistryAPI::REG_SZ, QString())
                  .toString();
        out.fileIn = mdlRegistryAPI::ReadValue(
                         hive, key, QStringLiteral("fileIn"), mdlRegistryAPI::REG_SZ, QString())
                         .toString();
    } catch (const KvError &e) {
        out.problem
            = QStringLiteral("The hand-off values could not be read: %1").arg(e.description());
    }
    if (!hive.damagedReport().isEmpty())
        out.problem = hive.damagedReport().replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    return out;
}

ViewerStart resolveStart(const QStringList &arguments, const HandOff &handOff)
{
    const QString argument = arguments.join(QLatin1Char(' '));
    ViewerStart start;
    if (argument.trimmed().isEmpty()) {
        if (handOff.names()) {
            start.mode = ViewerStart::SinglePlot;
            start.path = resolvePathIgnoringCase(handOff.plotPath());
            return start;
        }
        start.message = QStringLiteral(
            "No plot to show.\n\nStart the plot viewer with a plot file (.plt or .gif) or with "
            "a directory ending in \"/\" to list its plots.\nNo plot was handed over by the "
            "program either.");
        return start;
    }
    QString trimmed = argument;
    while (trimmed.size() > 1 && endsWithSeparator(trimmed))
        trimmed.chop(1);
    const QString path = resolvePathIgnoringCase(trimmed);
    if (endsWithSeparator(argument) || QFileInfo(path).isDir()) {
        start.mode = ViewerStart::Directory;
        start.path = path;
        return start;
    }
    start.mode = ViewerStart::SinglePlot;
    start.path = path;
    return start;
}
