#pragma once

#include <QFileDevice>
#include <QString>

#include <exception>

// A failure with the classic run-time number and description that the program's
// messages show ("Unexpected error # 53 occured: File not found").
class KvError : public std::exception
{
public:
    KvError(int number, QString description)
        : m_number(number)
        , m_description(std::move(description))
        , m_what(QStringLiteral("%1: %2").arg(m_number).arg(m_description).toUtf8())
    {}

    int number() const { return m_number; }
    QString description() const { return m_description; }
    const char *what() const noexcept override { return m_what.constData(); }

    static KvError outOfMemory() { return {7, QStringLiteral("Out of memory")}; }
    static KvError fileNotFound() { return {53, QStringLiteral("File not found")}; }
    static KvError deviceIo() { return {57, QStringLiteral("Device I/O error")}; }
    static KvError diskFull() { return {61, QStringLiteral("Disk full")}; }
    static KvError permissionDenied() { return {70, QStringLiteral("Permission denied")}; }
    static KvError pathFileAccess() { return {75, QStringLiteral("Path/File access error")}; }
    static KvError pathNotFound() { return {76, QStringLiteral("Path not found")}; }
    static KvError deviceUnavailable() { return {68, QStringLiteral("Device unavailable")}; }
    static KvError diskNotReady() { return {71, QStringLiteral("Disk not ready")}; }
    static KvError cancelled() { return {32755, QStringLiteral("Cancel was selected.")}; }

    // The classic number for what the operating system said about a file.
    static KvError fromFile(const QFileDevice &file);
    static KvError fromErrno(int err);

private:
    int m_number;
    QString m_description;
    QByteArray m_what;
};

namespace KvErrorNumber {
constexpr int FileNotFound = 53;
constexpr int DeviceUnavailable = 68;
constexpr int PermissionDenied = 70;
constexpr int DiskNotReady = 71;
constexpr int Registry = 1001;
constexpr int Cancelled = 32755;
} // namespace KvErrorNumber

// "Unexpected error # 53 occured: File not found": the number after one blank,
// where the sign of a positive number would stand.
QString unexpectedErrorText(int number, const QString &description);
inline QString unexpectedErrorText(const KvError &e)
{
    return unexpectedErrorText(e.number(), e.description());
}
