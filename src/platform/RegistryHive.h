#pragma once

#include <QByteArray>
#include <QHash>
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
// reading the hive (the plot viewer) never sees a torn file. The parsed hive is
// kept and the file read again only when it changed. A file that cannot be parsed
// is moved aside, never silently emptied; one that is no plain file (a pipe) or
// cannot be opened is left as it is; damagedReport() says either.
class RegistryHive
{
public:
    enum class Encoding { Utf8, Windows1252 };

    explicit RegistryHive(QString filePath);

    // The hive file under the user's configuration directory.
    static QString defaultPath();

    QString filePath() const { return m_path; }

    bool keyExists(const QString &key) const;
    // Creates the key and its parents; false when the file cannot be written.
    // Throws KvError (1001) when the lock cannot be had.
    bool createKey(const QString &key);
    std::optional<RegValue> value(const QString &key, const QString &name) const;
    // Stores into an existing key; false when the key is missing. A change that
    // cannot be written (locked by another program, no plain file, disk full) is
    // thrown as KvError (1001).
    bool setValue(const QString &key, const QString &name, const RegValue &value);

    // Non-empty once a damaged hive file was found and moved aside, or the file
    // could not be read: what happened, for the user.
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

    // The format: parse and write the whole file. A file that is not valid UTF-8
    // is read as Windows-1252 (encoding says which); it is written back in the
    // encoding it was read in, unless a text no longer fits Windows-1252.
    static std::optional<QList<Key>> parse(const QByteArray &text, Encoding *encoding = nullptr);
    static QByteArray serialize(const QList<Key> &keys, Encoding encoding = Encoding::Utf8);

private:
    // The file's identity: a change of any of these means another writer.
    struct Stamp
    {
        bool exists = false;
        qint64 inode = 0;
        qint64 size = 0;
        qint64 mtimeNs = 0;
        qint64 ctimeNs = 0;
        bool operator==(const Stamp &o) const = default;
    };
    struct Cache
    {
        bool valid = false;
        Stamp stamp;
        QList<Key> keys;
        QHash<QString, qsizetype> index; // folded key path -> position in keys
        Encoding encoding = Encoding::Utf8;
        bool readable = true; // false: the name is no plain file or cannot be read
    };

    static std::optional<QList<Key>>
    parseIndexed(const QByteArray &text, Encoding *encoding, QHash<QString, qsizetype> *index);
    const Cache &load() const;
    qsizetype findKey(const QString &key) const;
    void store(const QString &failure);
    Stamp stampOf() const;

    QString m_path;
    mutable Cache m_cache;
    mutable QString m_damagedReport;
};
