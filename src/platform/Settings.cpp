#include "Settings.h"

#include "AppInfo.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace {
const QString section = QStringLiteral("Settings");

// QSettings reads almost anything; a file with NUL bytes or lines that are no
// INI lines at all is damaged.
bool looksDamaged(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray data = file.readAll();
    if (data.contains('\0'))
        return true;
    for (const QByteArray &raw : data.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(';') || line.startsWith('#'))
            continue;
        if (line.startsWith('[') && line.endsWith(']'))
            continue;
        if (!line.contains('='))
            return true;
    }
    return false;
}
} // namespace

IniSettings::IniSettings(QString filePath)
    : m_path(std::move(filePath))
{
    if (const QFileInfo info(m_path); info.exists() && !info.isFile()) {
        m_unusable = true;
        m_damagedReport = QStringLiteral("The settings file '") + m_path
                          + QStringLiteral("' is no plain file and could not be read.\r\nIt "
                                           "was left as it is; the default settings are used.");
        return;
    }
    bool damaged = looksDamaged(m_path);
    if (!damaged) {
        QSettings probe(m_path, QSettings::IniFormat);
        damaged = probe.status() == QSettings::FormatError;
    }
    if (damaged) {
        const QString aside
            = m_path + QStringLiteral(".damaged-")
              + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
        const bool moved = QFile::rename(m_path, aside);
        m_damagedReport = moved ? QStringLiteral("The settings file '%1' was damaged.\r\nIt was "
                                                 "kept as '%2'; the default settings are used.")
                                      .arg(m_path, aside)
                                : QStringLiteral("The settings file '%1' is damaged; the default "
                                                 "settings are used.")
                                      .arg(m_path);
    }
}

QString IniSettings::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
           + QLatin1Char('/') + AppInfo::programTitle() + QLatin1Char('/') + AppInfo::programTitle()
           + QStringLiteral(".ini");
}

QString IniSettings::get(const QString &key, const QString &defaultValue) const
{
    if (m_unusable)
        return defaultValue;
    QSettings s(m_path, QSettings::IniFormat);
    return s.value(section + QLatin1Char('/') + key, defaultValue).toString();
}

void IniSettings::save(const QString &key, const QString &value)
{
    if (m_unusable)
        return;
    QSettings s(m_path, QSettings::IniFormat);
    s.setValue(section + QLatin1Char('/') + key, value);
    s.sync();
}
