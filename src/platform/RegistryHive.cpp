#include "RegistryHive.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

const QString hkcu = QStringLiteral("HKEY_CURRENT_USER");

QString normalKey(QString key)
{
    key.replace(QLatin1Char('/'), QLatin1Char('\\'));
    while (key.startsWith(QLatin1Char('\\')))
        key.remove(0, 1);
    while (key.endsWith(QLatin1Char('\\')))
        key.chop(1);
    return key;
}

qsizetype findKey(const QList<RegistryHive::Key> &keys, const QString &key)
{
    const QString wanted = normalKey(key);
    for (qsizetype i = 0; i < keys.size(); ++i)
        if (keys.at(i).path.compare(wanted, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

// Replaces the value of that name (compared without regard to case) or adds it.
void putValue(QList<RegistryHive::Value> &values, const QString &name, const RegValue &value)
{
    for (RegistryHive::Value &v : values)
        if (v.name.compare(name, Qt::CaseInsensitive) == 0) {
            v.value = value;
            return;
        }
    values.append({name, value});
}

QString quoted(const QString &s)
{
    QString out;
    out.reserve(s.size() + 2);
    out += QLatin1Char('"');
    for (QChar c : s) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('"'))
            out += QLatin1Char('\\');
        out += c;
    }
    out += QLatin1Char('"');
    return out;
}

QString hexList(const QByteArray &bytes)
{
    QStringList parts;
    parts.reserve(bytes.size());
    for (char b : bytes)
        parts << QStringLiteral("%1").arg(static_cast<quint8>(b), 2, 16, QLatin1Char('0'));
    return parts.join(QLatin1Char(','));
}

// Reads a quoted string starting at pos (at the opening quote); pos ends after the
// closing quote. False when the quote is not closed.
bool readQuoted(const QString &line, qsizetype &pos, QString &out)
{
    if (pos >= line.size() || line.at(pos) != QLatin1Char('"'))
        return false;
    ++pos;
    out.clear();
    while (pos < line.size()) {
        const QChar c = line.at(pos++);
        if (c == QLatin1Char('\\')) {
            if (pos >= line.size())
                return false;
            out += line.at(pos++);
        } else if (c == QLatin1Char('"')) {
            return true;
        } else {
            out += c;
        }
    }
    return false;
}

std::optional<QByteArray> readHex(const QString &text)
{
    QByteArray out;
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return out;
    for (const QString &part : trimmed.split(QLatin1Char(','))) {
        bool ok = false;
        const uint b = part.trimmed().toUInt(&ok, 16);
        if (!ok || b > 0xff)
            return std::nullopt;
        out.append(static_cast<char>(b));
    }
    return out;
}

} // namespace

RegistryHive::RegistryHive(QString filePath)
    : m_path(std::move(filePath))
{}

QString RegistryHive::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
           + QStringLiteral("/Kelvara/HKEY_CURRENT_USER.reg");
}

std::optional<QList<RegistryHive::Key>> RegistryHive::parse(const QByteArray &data)
{
    QList<Key> keys;
    QString text = QString::fromUtf8(data);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QStringList lines = text.split(QLatin1Char('\n'));
    // Join continued hex lines ("hex:01,02,\" + next line).
    QStringList joined;
    for (const QString &line : lines) {
        if (!joined.isEmpty() && joined.constLast().endsWith(QLatin1Char('\\'))
            && joined.constLast().contains(QStringLiteral("=hex"))) {
            joined.last().chop(1);
            joined.last() += line.trimmed();
        } else {
            joined << line;
        }
    }
    qsizetype i = 0;
    while (i < joined.size() && joined.at(i).trimmed().isEmpty())
        ++i;
    if (i >= joined.size())
        return keys; // an empty file is an empty hive
    if (joined.at(i).trimmed() != QLatin1String("REGEDIT4"))
        return std::nullopt;
    for (++i; i < joined.size(); ++i) {
        const QString line = joined.at(i);
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char(';')))
            continue;
        if (trimmed.startsWith(QLatin1Char('['))) {
            if (!trimmed.endsWith(QLatin1Char(']')))
                return std::nullopt;
            const QString full = trimmed.mid(1, trimmed.size() - 2);
            if (full.compare(hkcu, Qt::CaseInsensitive) != 0
                && !full.startsWith(hkcu + QLatin1Char('\\'), Qt::CaseInsensitive))
                return std::nullopt;
            const QString path = normalKey(full.mid(hkcu.size()));
            if (path.isEmpty())
                continue;
            if (findKey(keys, path) < 0)
                keys.append({path, {}});
            continue;
        }
        if (keys.isEmpty())
            return std::nullopt;
        qsizetype pos = 0;
        QString name;
        if (trimmed.startsWith(QLatin1Char('@'))) {
            pos = 1;
        } else if (!readQuoted(trimmed, pos, name)) {
            return std::nullopt;
        }
        if (pos >= trimmed.size() || trimmed.at(pos) != QLatin1Char('='))
            return std::nullopt;
        const QString data = trimmed.mid(pos + 1);
        RegValue value;
        if (data.startsWith(QLatin1Char('"'))) {
            qsizetype p = 0;
            QString s;
            if (!readQuoted(data, p, s) || p != data.size())
                return std::nullopt;
            value = RegValue::string(s);
        } else if (data.startsWith(QLatin1String("dword:"), Qt::CaseInsensitive)) {
            bool ok = false;
            const QString digits = data.mid(6);
            const quint32 n = digits.toUInt(&ok, 16);
            if (!ok || digits.size() > 8)
                return std::nullopt;
            value = RegValue::dword(n);
        } else if (data.startsWith(QLatin1String("hex(1):"), Qt::CaseInsensitive)) {
            // A string with line breaks: its UTF-8 bytes and the terminating null.
            auto bytes = readHex(data.mid(7));
            if (!bytes)
                return std::nullopt;
            if (bytes->endsWith('\0'))
                bytes->chop(1);
            value = RegValue::string(QString::fromUtf8(*bytes));
        } else if (data.startsWith(QLatin1String("hex:"), Qt::CaseInsensitive)) {
            const auto bytes = readHex(data.mid(4));
            if (!bytes)
                return std::nullopt;
            value = RegValue::binary(*bytes);
        } else {
            return std::nullopt;
        }
        putValue(keys.last().values, name, value);
    }
    return keys;
}

QByteArray RegistryHive::serialize(const QList<Key> &keys)
{
    QString out = QStringLiteral("REGEDIT4\r\n");
    for (const Key &key : keys) {
        out += QStringLiteral("\r\n[") + hkcu + QLatin1Char('\\') + key.path
               + QStringLiteral("]\r\n");
        for (const Value &v : key.values) {
            out += v.name.isEmpty() ? QStringLiteral("@") : quoted(v.name);
            out += QLatin1Char('=');
            switch (v.value.type) {
            case RegValue::String:
                if (v.value.text.contains(QLatin1Char('\n'))
                    || v.value.text.contains(QLatin1Char('\r')))
                    out += QStringLiteral("hex(1):") + hexList(v.value.text.toUtf8() + '\0');
                else
                    out += quoted(v.value.text);
                break;
            case RegValue::Binary:
                out += QStringLiteral("hex:") + hexList(v.value.bytes);
                break;
            case RegValue::DWord:
                out += QStringLiteral("dword:%1").arg(v.value.number, 8, 16, QLatin1Char('0'));
                break;
            }
            out += QStringLiteral("\r\n");
        }
    }
    out += QStringLiteral("\r\n");
    return out.toUtf8();
}

QList<RegistryHive::Key> RegistryHive::load() const
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray data = file.readAll();
    file.close();
    if (auto keys = parse(data))
        return *keys;
    // Keep the damaged file for the user to look at, and start afresh.
    const QString aside
        = m_path + QStringLiteral(".damaged-")
          + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    if (QFile::rename(m_path, aside)) {
        m_damagedReport = QStringLiteral("The registry file '%1' was damaged and could not be "
                                         "read.\r\nIt was kept as '%2' and a new one was started.")
                              .arg(m_path, aside);
    } else {
        m_damagedReport = QStringLiteral("The registry file '%1' is damaged and could not be "
                                         "read or moved aside.")
                              .arg(m_path);
    }
    return {};
}

bool RegistryHive::store(const QList<Key> &keys)
{
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(serialize(keys));
    return file.commit();
}

bool RegistryHive::keyExists(const QString &key) const
{
    return findKey(load(), key) >= 0;
}

namespace {

class HiveLock
{
public:
    explicit HiveLock(const QString &path)
        : m_lock(path + QStringLiteral(".lock"))
    {
        m_lock.setStaleLockTime(10000);
        m_locked = m_lock.tryLock(5000);
    }
    bool locked() const { return m_locked; }

private:
    QLockFile m_lock;
    bool m_locked = false;
};

} // namespace

bool RegistryHive::createKey(const QString &key)
{
    const QString path = normalKey(key);
    if (path.isEmpty())
        return false;
    if (!QDir().mkpath(QFileInfo(m_path).absolutePath()))
        return false;
    HiveLock lock(m_path);
    if (!lock.locked())
        return false;
    QList<Key> keys = load();
    // Create every missing parent too, as the registry does.
    const QStringList parts = path.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    QString partial;
    bool changed = false;
    for (const QString &part : parts) {
        partial = partial.isEmpty() ? part : partial + QLatin1Char('\\') + part;
        if (findKey(keys, partial) < 0) {
            keys.append({partial, {}});
            changed = true;
        }
    }
    return !changed || store(keys);
}

std::optional<RegValue> RegistryHive::value(const QString &key, const QString &name) const
{
    const QList<Key> keys = load();
    const qsizetype k = findKey(keys, key);
    if (k < 0)
        return std::nullopt;
    for (const Value &v : keys.at(k).values)
        if (v.name.compare(name, Qt::CaseInsensitive) == 0)
            return v.value;
    return std::nullopt;
}

bool RegistryHive::setValue(const QString &key, const QString &name, const RegValue &value)
{
    HiveLock lock(m_path);
    if (!lock.locked())
        return false;
    QList<Key> keys = load();
    const qsizetype k = findKey(keys, key);
    if (k < 0)
        return false;
    putValue(keys[k].values, name, value);
    return store(keys);
}
