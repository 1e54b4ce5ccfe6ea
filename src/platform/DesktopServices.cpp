#include "DesktopServices.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStorageInfo>
#include <QSysInfo>
#include <QUrl>

QtDesktopServices::QtDesktopServices(QString floppyDirectory)
    : m_floppy(std::move(floppyDirectory))
{}

bool QtDesktopServices::startProgram(const StartRequest &request)
{
    QProcess process;
    process.setProgram(request.program);
    process.setArguments(request.arguments);
    // The child must not hold the program's own pipes.
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    if (request.style == WindowStyle::MaximizedFocus)
        process.setEnvironment(QProcess::systemEnvironment()
                               << QStringLiteral("KELVARA_WINDOW=maximized"));
    else if (request.style == WindowStyle::Hidden)
        process.setEnvironment(QProcess::systemEnvironment()
                               << QStringLiteral("KELVARA_WINDOW=hidden"));
    return process.startDetached();
}

bool QtDesktopServices::openDocument(const QString &, const QString &target, WindowStyle)
{
    const QUrl url = target.contains(QLatin1Char(':')) && !target.startsWith(QLatin1Char('/'))
                         ? QUrl(target)
                         : QUrl::fromLocalFile(target);
    return QDesktopServices::openUrl(url);
}

quint32 QtDesktopServices::platformVersion() const
{
    return versionFromKernel(QSysInfo::kernelVersion());
}

namespace {

// Whether something is mounted at dir itself: the volume that holds it has its
// root there.
bool isMountPoint(const QString &dir)
{
    const QString canonical = QFileInfo(dir).canonicalFilePath();
    if (canonical.isEmpty())
        return false;
    const QStorageInfo volume(canonical);
    if (!volume.isValid())
        return false;
    return QDir::cleanPath(volume.rootPath()) == canonical;
}

} // namespace

DriveState QtDesktopServices::driveState(const QString &path) const
{
    if (!isOnFloppy(path, m_floppy))
        return DriveState::Ready;
    if (!QFileInfo(m_floppy).isDir())
        return DriveState::Unavailable;
    return isMountPoint(m_floppy) ? DriveState::Ready : DriveState::NotReady;
}

bool isOnFloppy(const QString &path, const QString &floppyDir)
{
    if (path.size() >= 2 && path.at(1) == QLatin1Char(':')
        && path.at(0).toLower() == QLatin1Char('a'))
        return true;
    if (floppyDir.isEmpty())
        return false;
    const QString clean = QDir::cleanPath(path);
    const QString floppy = QDir::cleanPath(floppyDir);
    return clean == floppy || clean.startsWith(floppy + QLatin1Char('/'));
}

QString mapFloppyPath(const QString &path, const QString &floppyDir)
{
    if (path.size() >= 2 && path.at(1) == QLatin1Char(':')
        && path.at(0).toLower() == QLatin1Char('a')) {
        QString rest = path.mid(2);
        while (rest.startsWith(QLatin1Char('/')) || rest.startsWith(QLatin1Char('\\')))
            rest.remove(0, 1);
        return rest.isEmpty() ? floppyDir : floppyDir + QLatin1Char('/') + rest;
    }
    return path;
}

quint32 versionFromKernel(const QString &kernelVersion)
{
    static const QRegularExpression re(QStringLiteral("^(\\d+)\\.(\\d+)"));
    const auto m = re.match(kernelVersion);
    if (!m.hasMatch())
        return 0;
    const quint32 major = m.captured(1).toUInt() & 0xff;
    const quint32 minor = m.captured(2).toUInt() & 0xff;
    return major | (minor << 8);
}
