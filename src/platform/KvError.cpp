#include "KvError.h"

#include <QFileInfo>

#include <cerrno>

KvError KvError::fromErrno(int err)
{
    switch (err) {
    case ENOENT:
        return fileNotFound();
    case ENOTDIR:
        return pathNotFound();
    case EACCES:
    case EPERM:
    case EROFS:
        return permissionDenied();
    case ENOSPC:
    case EDQUOT:
        return diskFull();
    case EIO:
        return deviceIo();
    case ENXIO:
    case ENODEV:
        return deviceUnavailable();
    default:
        return pathFileAccess();
    }
}

KvError KvError::fromFile(const QFileDevice &file)
{
    const int err = errno;
    switch (file.error()) {
    case QFileDevice::NoError:
        return fromErrno(err);
    case QFileDevice::PermissionsError:
        return permissionDenied();
    case QFileDevice::ResourceError:
        return err == ENOSPC || err == EDQUOT ? diskFull() : deviceIo();
    case QFileDevice::OpenError:
    case QFileDevice::ReadError:
    case QFileDevice::WriteError:
    case QFileDevice::FatalError:
    case QFileDevice::AbortError:
    case QFileDevice::TimeOutError:
    case QFileDevice::UnspecifiedError:
    case QFileDevice::RemoveError:
    case QFileDevice::RenameError:
    case QFileDevice::PositionError:
    case QFileDevice::ResizeError:
    case QFileDevice::CopyError:
        break;
    }
    if (!file.fileName().isEmpty() && !QFileInfo::exists(file.fileName()))
        return fileNotFound();
    return fromErrno(err);
}

QString unexpectedErrorText(int number, const QString &description)
{
    return QStringLiteral("Unexpected error #") + (number >= 0 ? QStringLiteral(" ") : QString())
           + QString::number(number) + QStringLiteral(" occured: ") + description;
}
