#include "FileAccess.h"

#include "KvError.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FileAccess {

namespace {

enum class Kind { Regular, Directory, Pipe, Device, Socket, Other };

Kind kindOfMode(mode_t mode)
{
    if (S_ISREG(mode))
        return Kind::Regular;
    if (S_ISDIR(mode))
        return Kind::Directory;
    if (S_ISFIFO(mode))
        return Kind::Pipe;
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return Kind::Device;
    if (S_ISSOCK(mode))
        return Kind::Socket;
    return Kind::Other;
}

KvError notAFile(Kind kind)
{
    QString what;
    switch (kind) {
    case Kind::Directory:
        what = QStringLiteral("the name is a folder, not a file");
        break;
    case Kind::Pipe:
        what = QStringLiteral("the name is a pipe, not a file");
        break;
    case Kind::Device:
        what = QStringLiteral("the name is a device, not a file");
        break;
    case Kind::Socket:
        what = QStringLiteral("the name is a socket, not a file");
        break;
    case Kind::Regular:
    case Kind::Other:
        what = QStringLiteral("the name is not a plain file");
        break;
    }
    const KvError base = KvError::pathFileAccess();
    return {base.number(), base.description() + QStringLiteral(": ") + what};
}

} // namespace

void openRegularFile(QFile &file, const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st
    {
    };
    if (::stat(name.constData(), &st) != 0)
        throw KvError::fromErrno(errno);
    if (!S_ISREG(st.st_mode))
        throw notAFile(kindOfMode(st.st_mode));
    // Not waiting: should the name have become a pipe since, open returns at once.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw KvError::fromErrno(errno);
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const Kind kind = kindOfMode(st.st_mode);
        ::close(fd);
        throw notAFile(kind);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    file.setFileName(path);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw KvError::fromFile(file);
    }
}

qint64 availableMemory()
{
    QFile info(QStringLiteral("/proc/meminfo"));
    if (!info.open(QIODevice::ReadOnly))
        return -1;
    // Files under /proc report no size: read the whole text.
    const QByteArray text = info.readAll();
    for (const QByteArray &line : text.split('\n')) {
        if (!line.startsWith("MemAvailable:"))
            continue;
        bool ok = false;
        const qint64 kib = line.mid(13).trimmed().split(' ').value(0).toLongLong(&ok);
        return ok ? kib * 1024 : -1;
    }
    return -1;
}

QString createFileBeside(const QString &target)
{
    const QFileInfo info(target);
    QTemporaryFile file(info.absolutePath() + QStringLiteral("/.") + info.fileName()
                        + QStringLiteral(".XXXXXX"));
    file.setAutoRemove(false);
    if (!file.open())
        return {};
    file.close();
    // A temporary file is the owner's alone; the file it becomes is not.
    const QFileDevice::Permissions readable
        = info.exists() ? info.permissions()
                        : QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                              | QFileDevice::ReadOther;
    file.setPermissions(readable | QFileDevice::WriteOwner);
    return file.fileName();
}

bool replaceFile(const QString &from, const QString &target, QString *error)
{
    // rename() replaces an existing target in one step.
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(target).constData())
        == 0)
        return true;
    if (error)
        *error = qt_error_string(errno);
    return false;
}

} // namespace FileAccess
