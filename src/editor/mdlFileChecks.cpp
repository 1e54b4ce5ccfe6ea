#include "mdlFileChecks.h"

#include "platform/DesktopServices.h"
#include "platform/KvError.h"
#include "platform/UserDialogs.h"
#include "core/AppContext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#include <cerrno>
#include <sys/stat.h>

namespace {

bool hasWildcard(const QString &name)
{
    return name.contains(QLatin1Char('*')) || name.contains(QLatin1Char('?'));
}

bool lexists(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

// The entry of dir whose name equals name without regard to case; empty when none.
QString matchEntry(const QString &dir, const QString &name)
{
    const QStringList entries = QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System
                                                    | QDir::NoDotAndDotDot);
    for (const QString &entry : entries)
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return entry;
    return {};
}

enum class Kind { File, Directory };

// The outcome of asking the file system about one path.
struct Probe
{
    bool found = false;
    int err = 0; // errno of a failure other than "not there" or "no access"
};

Probe probePath(const QString &path, Kind kind)
{
    Probe probe;
    const QFileInfo info(path);
    const QString dir = info.absolutePath();
    const QString name = info.fileName();
    if (kind == Kind::File && hasWildcard(name)) {
        const QString resolvedDir = resolveExistingPath(dir);
        if (resolvedDir.isEmpty())
            return probe;
        const QRegularExpression re(QRegularExpression::wildcardToRegularExpression(name),
                                    QRegularExpression::CaseInsensitiveOption);
        const QStringList files = QDir(resolvedDir).entryList(QDir::Files | QDir::NoDotAndDotDot);
        for (const QString &f : files)
            if (re.match(f).hasMatch()) {
                probe.found = true;
                break;
            }
        return probe;
    }
    const QString resolved = resolveExistingPath(path);
    if (resolved.isEmpty())
        return probe;
    struct stat st;
    if (::stat(QFile::encodeName(resolved).constData(), &st) != 0) {
        const int e = errno;
        if (e != ENOENT && e != ENOTDIR && e != EACCES && e != ELOOP)
            probe.err = e;
        return probe;
    }
    if (kind == Kind::Directory)
        probe.found = S_ISDIR(st.st_mode);
    else
        probe.found
            = S_ISREG(st.st_mode) && !QFileInfo(resolved).fileName().startsWith(QLatin1Char('.'));
    return probe;
}

bool checkPath(AppContext &ctx, const QString &rawPath, Kind kind, const QString &routine)
{
    const QString title = QStringLiteral("In '") + routine + QStringLiteral("' routine ...");
    const QString floppy = ctx.desktop.floppyDirectory();
    const QString path = mapFloppyPath(rawPath, floppy);
    for (;;) {
        switch (ctx.desktop.driveState(path)) {
        case DriveState::Ready:
            break;
        case DriveState::NotReady:
            if (ctx.dialogs.message(nullptr,
                                    {QStringLiteral("Put a floppy disk in the drive and cloce the "
                                                    "drive door."),
                                     title,
                                     MsgButtons::OKCancel,
                                     MsgIcon::Exclamation})
                == MsgAnswer::OK)
                continue;
            return false;
        case DriveState::Unavailable:
            ctx.dialogs.message(nullptr,
                                {QStringLiteral("This drive or path does not exist: ") + rawPath,
                                 title,
                                 MsgButtons::OK,
                                 MsgIcon::Exclamation});
            return false;
        }
        const Probe probe = probePath(path, kind);
        if (probe.err != 0) {
            const KvError e = KvError::fromErrno(probe.err);
            ctx.dialogs.message(nullptr,
                                {unexpectedErrorText(e), title, MsgButtons::OK, MsgIcon::Critical});
            if (ctx.closeMainWindow)
                ctx.closeMainWindow();
            return false;
        }
        return probe.found;
    }
}

} // namespace

QString resolveExistingPath(const QString &path)
{
    if (path.isEmpty())
        return {};
    if (lexists(path))
        return path;
    const QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    const QStringList parts = absolute.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString current = QStringLiteral("/");
    for (const QString &part : parts) {
        const QString exact = joinPath(current, part);
        if (lexists(exact)) {
            current = exact;
            continue;
        }
        const QString match = matchEntry(current, part);
        if (match.isEmpty())
            return {};
        current = joinPath(current, match);
    }
    return current;
}

QString joinPath(const QString &dir, const QString &name)
{
    if (dir.isEmpty())
        return name;
    if (dir.endsWith(QLatin1Char('/')))
        return dir + name;
    return dir + QLatin1Char('/') + name;
}

bool dirExists(AppContext &ctx, const QString &path)
{
    return checkPath(ctx, path, Kind::Directory, QStringLiteral("dirExists"));
}

bool FileExists(AppContext &ctx, const QString &path)
{
    return checkPath(ctx, path, Kind::File, QStringLiteral("FileExists"));
}

QString SplitFilePath(const QString &path, QString &dir)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0) {
        dir = QDir::currentPath();
        return path;
    }
    dir = slash == 0 ? QStringLiteral("/") : path.left(slash);
    return path.mid(slash + 1);
}

QString ShortLowerPath(const QString &path)
{
    const QString resolved = resolveExistingPath(path);
    if (resolved.isEmpty())
        return {};
    const QString canonical = QFileInfo(resolved).canonicalFilePath();
    return canonical.isEmpty() ? QFileInfo(resolved).absoluteFilePath() : canonical;
}

bool DosCopy(AppContext &ctx, QString &source, QString &destination)
{
    const QString floppy = ctx.desktop.floppyDirectory();
    source = ShortLowerPath(mapFloppyPath(source, floppy));
    const QString mappedDest = mapFloppyPath(destination, floppy);
    const QString existingDest = ShortLowerPath(mappedDest);
    if (!existingDest.isEmpty())
        destination = existingDest;
    QString target = existingDest.isEmpty() ? mappedDest : existingDest;
    if (QFileInfo(target).isDir())
        target = joinPath(target, QFileInfo(source).fileName());

    auto fail = [&](const KvError &e) {
        ctx.dialogs.message(nullptr,
                            {QStringLiteral("The file '") + source
                                 + QStringLiteral("' could not be copied to '") + target
                                 + QStringLiteral("'.\r\n") + unexpectedErrorText(e),
                             QStringLiteral("In 'DosCopy' routine ..."),
                             MsgButtons::OK,
                             MsgIcon::Critical});
        return false;
    };
    QFile in(source);
    if (source.isEmpty() || !in.open(QIODevice::ReadOnly))
        return fail(source.isEmpty() ? KvError::fileNotFound() : KvError::fromFile(in));
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly))
        return fail(KvError::fromFile(out));
    while (!in.atEnd()) {
        const QByteArray chunk = in.read(1 << 20);
        if (chunk.isEmpty() && in.error() != QFileDevice::NoError)
            return fail(KvError::fromFile(in));
        if (out.write(chunk) != chunk.size())
            return fail(KvError::fromFile(out));
    }
    if (!out.commit())
        return fail(KvError::fromFile(out));
    return true;
}
