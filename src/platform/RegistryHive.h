#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// One registry value as the hive keeps it: type 1 string, 3 raw bytes, 4 32-bit number.
struct RegValue
{
    enum Type { String = 1, Binary = 3, DWord = 4 };
    int type = String;
    QString text;
    QByteArray bytes;
    quint32 number = 0;

    static RegValue string(const QString &s) { return {String, s, {}, 0}; }
    static RegValue binary(const QByteArray &b) { return {Binary, {}, b, 0}; }
    static RegValue dword(quint32 n) { return {DWord, {}, {}, n}; }
    bool operator==(const RegValue &o) const = default;
};

// The per-user registry (HKEY_CURRENT_USER) kept as a text file in the registry
// editor's "REGEDIT4" format. Key paths are relative to HKEY_CURRENT_USER and use
// backslashes; key paths and value names are compared without regard to case.
// Every change replaces the file atomically under a lock file, so another program
// reading the hive (the plot viewer) never sees a torn file. A file that cannot be
// parsed is moved aside, never silently emptied, and damagedReport() says so.
class RegistryHive
{
public:
    explicit RegistryHive(QString filePath);

    // The hive file under the user's configuration directory.
    static QString defaultPath();

    QString filePath() const { return m_path; }

    bool keyExists(const QString &key) const;
    // Creates the key and its parents; false when the file cannot be written.
    bool createKey(const QString &key);
    std::optional<RegValue> value(const QString &key, const QString &name) const;
    // Stores into an existing key; false when the key is missing or the write failed.
    bool setValue(const QString &key, const QString &name, const RegValue &value);

    // Non-empty once a damaged hive file was found and moved aside: what happened,
    // for the user.
    QString damagedReport() const { return m_damagedReport; }

    struct Value
    {
        QString name; // as first written; empty = the key's default value
        RegValue value;
    };
    struct Key
    {
        QString path; // relative to HKEY_CURRENT_USER, as first written
        QList<Value> values;
    };

    // The format: parse and write the whole file.
    static std::optional<QList<Key>> parse(const QByteArray &text);
    static QByteArray serialize(const QList<Key> &keys);

private:
    QList<Key> load() const;
    bool store(const QList<Key> &keys);

    QString m_path;
    mutable QString m_damagedReport;
};
