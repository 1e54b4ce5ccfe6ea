#pragma once

#include <QString>

// The per-user application settings: application "Kelvara Solver", section
// "Settings", every value kept as text.
class Settings
{
public:
    virtual ~Settings() = default;
    virtual QString get(const QString &key, const QString &defaultValue) const = 0;
    virtual void save(const QString &key, const QString &value) = 0;
    // Non-empty when the settings file was damaged: what happened, for the user.
    virtual QString damagedReport() const { return {}; }
};

// QSettings in INI format. A file QSettings cannot read is moved aside and reported;
// a name that is no plain file (a pipe would make every read wait) is reported and
// left alone, and the defaults are used without writing.
class IniSettings : public Settings
{
public:
    explicit IniSettings(QString filePath = defaultPath());
    static QString defaultPath();

    QString get(const QString &key, const QString &defaultValue) const override;
    void save(const QString &key, const QString &value) override;
    QString damagedReport() const override { return m_damagedReport; }

private:
    QString m_path;
    QString m_damagedReport;
    bool m_unusable = false;
};
