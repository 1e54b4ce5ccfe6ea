#pragma once

#include <QString>
#include <QStringList>

enum class WindowStyle { Hidden, NormalFocus, MaximizedFocus };

// A program to start: an absolute path and an argument list, never one command
// line through a shell, so blanks and shell characters in paths stay harmless.
struct StartRequest
{
    QString program;
    QStringList arguments;
    WindowStyle style = WindowStyle::NormalFocus;
};

enum class DriveState { Ready, NotReady, Unavailable };

// The desktop around the program: starting programs, opening documents and links,
// the platform version and the directory that stands for the floppy drive A:.
class DesktopServices
{
public:
    virtual ~DesktopServices() = default;
    // False when the program could not be started.
    virtual bool startProgram(const StartRequest &request) = 0;
    // The shell verb ("Open", "open") on a file path or a link such as mailto:.
    virtual bool openDocument(const QString &verb, const QString &target, WindowStyle style) = 0;
    // The platform version in the classic layout: major version in the low byte,
    // minor version in the high byte of the low word.
    virtual quint32 platformVersion() const = 0;
    // The directory that stands for drive A:.
    virtual QString floppyDirectory() const = 0;
    // Whether a path can be looked at now: a path on the floppy drive is
    // unavailable while its directory is missing and not ready while nothing is
    // mounted there.
    virtual DriveState driveState(const QString &path) const = 0;
};

class QtDesktopServices : public DesktopServices
{
public:
    explicit QtDesktopServices(QString floppyDirectory = QStringLiteral("/media/floppy"));
    bool startProgram(const StartRequest &request) override;
    bool openDocument(const QString &verb, const QString &target, WindowStyle style) override;
    quint32 platformVersion() const override;
    QString floppyDirectory() const override { return m_floppy; }
    DriveState driveState(const QString &path) const override;

private:
    QString m_floppy;
};

// Whether path lies on the drive that floppyDir stands for ("A:", "a:model.ty" or
// below the directory itself).
bool isOnFloppy(const QString &path, const QString &floppyDir);
// "A:model.ty" -> "<floppyDir>/model.ty"; other paths unchanged.
QString mapFloppyPath(const QString &path, const QString &floppyDir);
// Kernel version "6.1.0-18-amd64" -> 0x0106 style value of platformVersion().
quint32 versionFromKernel(const QString &kernelVersion);
