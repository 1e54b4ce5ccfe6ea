#include "PlotSource.h"

#include "core/mdlRegistryAPI.h"
#include "platform/AppInfo.h"
#include "platform/KvError.h"
#include "platform/RegistryHive.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

namespace {

// The file's bytes, or the reason it is not read. Opened without waiting (a FIFO
// would otherwise block until a writer comes) and read only when what was opened is
// a regular file of a size the viewer draws.
std::optional<QByteArray> readPlotBytes(const QString &path, QString *why)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *why = QStringLiteral("The plot file '%1' cannot be read: %2")
                   .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return std::nullopt;
    }
    struct stat st = {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        *why = S_ISDIR(st.st_mode)
                   ? QStringLiteral("'%1' is a directory, not a plot file.").arg(path)
                   : QStringLiteral("'%1' is not a plot file: it is a device, a pipe or a socket, "
                                    "not a regular file.")
                         .arg(path);
        return std::nullopt;
    }
    if (st.st_size > maxPlotFileSize) {
        ::close(fd);
        *why = QStringLiteral("'%1' is too large to draw (%2 bytes; the plot viewer draws files "
                              "of up to %3 MB).")
                   .arg(path,
                        QString::number(st.st_size),
                        QString::number(maxPlotFileSize / (1024 * 1024)));
        return std::nullopt;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        *why
            = QStringLiteral("The plot file '%1' cannot be read: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    // Read no more than the limit even if the file grows meanwhile.
    const QByteArray bytes = file.read(maxPlotFileSize + 1);
    if (file.error() != QFileDevice::NoError) {
        *why
            = QStringLiteral("The plot file '%1' cannot be read: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    if (bytes.size() > maxPlotFileSize) {
        *why = QStringLiteral("'%1' is too large to draw (the plot viewer draws files of up to "
                              "%2 MB).")
                   .arg(path, QString::number(maxPlotFileSize / (1024 * 1024)));
        return std::nullopt;
    }
    return bytes;
}

LoadedPlot loadReadablePlot(const QString &path)
{
    const QFileInfo info(path);
    const QString name = info.fileName();
    if (!info.exists())
        return failed(path, QStringLiteral("The plot file '%1' does not exist.").arg(path));

    QString why;
    const std::optional<QByteArray> read = readPlotBytes(path, &why);
    if (!read)
        return failed(path, why);
    const QByteArray &bytes = *read;

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

} // namespace

LoadedPlot loadPlotFile(const QString &requested)
{
    const QString path = resolvePathIgnoringCase(requested);
    try {
        return loadReadablePlot(path);
    } catch (const std::bad_alloc &) {
        return failed(path, QStringLiteral("There is not enough memory to show '%1'.").arg(path));
    }
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
