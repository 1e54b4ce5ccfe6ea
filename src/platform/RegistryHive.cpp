#include "RegistryHive.h"

#include "FileAccess.h"
#include "KvError.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>

#include <sys/stat.h>

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

QString folded(const QString &s)
{
    return s.toCaseFolded();
}

// A hive larger than this is no hive the program wrote: it is not read whole.
constexpr qint64 maxHiveBytes = qint64(256) << 20;

QString decodeBytes(const QByteArray &bytes)
{
    if (QByteArrayView(bytes).isValidUtf8())
        return QString::fromUtf8(bytes);
    QStringDecoder decoder("windows-1252");
    return decoder.decode(bytes);
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

std::optional<QList<RegistryHive::Key>> RegistryHive::parse(const QByteArray &data,
                                                            Encoding *encoding)
{
    return parseIndexed(data, encoding, nullptr);
}

std::optional<QList<RegistryHive::Key>> RegistryHive::parseIndexed(const QByteArray &data,
                                                                   Encoding *encoding,
                                                                   QHash<QString, qsizetype> *index)
{
    QList<Key> keys;
    const bool utf8 = QByteArrayView(data).isValidUtf8();
    if (encoding)
        *encoding = utf8 ? Encoding::Utf8 : Encoding::Windows1252;
    QString text = decodeBytes(data);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const QStringList lines = text.split(QLatin1Char('\n'));
    // Join continued hex lines ("hex:01,02,\" + next line).
    QStringList joined;
    joined.reserve(lines.size());
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
    // Every key and every value is found through a hash: the cost grows with the
    // file's length, and a section that appears again (in any case) adds to its key.
    QHash<QString, qsizetype> ownIndex;
    QHash<QString, qsizetype> &keyIndex = index ? *index : ownIndex;
    keyIndex.clear();
    // Names are looked up one by one in a key with few values, through a hash of
    // their own in a key with many.
    constexpr qsizetype fewValues = 16;
    QHash<qsizetype, QHash<QString, qsizetype>> manyValues;
    qsizetype current = -1;
    for (++i; i < joined.size(); ++i) {
        const QString trimmed = joined.at(i).trimmed();
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
            const QString fold = folded(path);
            const auto found = keyIndex.constFind(fold);
            if (found != keyIndex.constEnd()) {
                current = *found;
            } else {
                current = keys.size();
                keyIndex.insert(fold, current);
                keys.append({path, {}});
            }
            continue;
        }
        if (current < 0)
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
            // A string with line breaks: its bytes and the terminating null.
            auto bytes = readHex(data.mid(7));
            if (!bytes)
                return std::nullopt;
            if (bytes->endsWith('\0'))
                bytes->chop(1);
            value = RegValue::string(decodeBytes(*bytes));
        } else if (data.startsWith(QLatin1String("hex:"), Qt::CaseInsensitive)) {
            const auto bytes = readHex(data.mid(4));
            if (!bytes)
                return std::nullopt;
            value = RegValue::binary(*bytes);
        } else {
            return std::nullopt;
        }
        // A later value of the same name replaces the earlier one.
        QList<Value> &values = keys[current].values;
        qsizetype at = -1;
        if (values.size() < fewValues) {
            for (qsizetype v = 0; v < values.size() && at < 0; ++v)
                if (values.at(v).name.compare(name, Qt::CaseInsensitive) == 0)
                    at = v;
            if (at < 0)
                values.append({name, value});
        } else {
            QHash<QString, qsizetype> &names = manyValues[current];
            if (names.isEmpty())
                for (qsizetype v = 0; v < values.size(); ++v)
                    names.insert(folded(values.at(v).name), v);
            const QString fold = folded(name);
            at = names.value(fold, -1);
            if (at < 0) {
                names.insert(fold, values.size());
                values.append({name, value});
            }
        }
        if (at >= 0)
            values[at].value = value;
    }
    return keys;
}

namespace {

QString serializeText(const QList<RegistryHive::Key> &keys)
{
    QString out = QStringLiteral("REGEDIT4\r\n");
    for (const RegistryHive::Key &key : keys) {
        out += QStringLiteral("\r\n[") + hkcu;
        if (!key.path.isEmpty())
            out += QLatin1Char('\\') + key.path;
        out += QStringLiteral("]\r\n");
        for (const RegistryHive::Value &v : key.values) {
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
    return out;
}

// The text in the encoding asked for; UTF-8 when it does not fit Windows-1252.
QByteArray
encodeText(const QString &text, RegistryHive::Encoding wanted, RegistryHive::Encoding *used)
{
    if (wanted == RegistryHive::Encoding::Windows1252) {
        QStringEncoder encoder("windows-1252");
        const QByteArray bytes = encoder.encode(text);
        QStringDecoder back("windows-1252");
        if (!encoder.hasError() && QString(back.decode(bytes)) == text) {
            *used = wanted;
            return bytes;
        }
    }
    *used = RegistryHive::Encoding::Utf8;
    return text.toUtf8();
}

} // namespace

QByteArray RegistryHive::serialize(const QList<Key> &keys, Encoding encoding)
{
    Encoding used = encoding;
    return encodeText(serializeText(keys), encoding, &used);
}

RegistryHive::Stamp RegistryHive::stampOf() const
{
    Stamp stamp;
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(m_path).constData(), &st) != 0)
        return stamp;
    stamp.exists = true;
    stamp.inode = static_cast<qint64>(st.st_ino);
    stamp.size = static_cast<qint64>(st.st_size);
    stamp.mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    stamp.ctimeNs = qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return stamp;
}

const RegistryHive::Cache &RegistryHive::load() const
{
    const Stamp now = stampOf();
    if (m_cache.valid && m_cache.stamp == now)
        return m_cache;
    Cache fresh;
    fresh.valid = true;
    fresh.stamp = now;
    if (!now.exists) {
        m_cache = std::move(fresh);
        return m_cache;
    }
    QByteArray data;
    try {
        // A pipe in the hive's place would wait for a writer for ever: only a
        // plain file is opened, and a name that is none is left as it is.
        QFile file;
        FileAccess::openRegularFile(file, m_path);
        if (file.size() > maxHiveBytes)
            throw KvError::outOfMemory();
        data = file.readAll();
        if (file.error() != QFileDevice::NoError)
            throw KvError::fromFile(file);
    } catch (const KvError &e) {
        fresh.readable = false;
        m_damagedReport = QStringLiteral("The registry file '") + m_path
                          + QStringLiteral("' could not be read.\r\n") + unexpectedErrorText(e)
                          + QStringLiteral("\r\nIt was left as it is; the program goes on "
                                           "without the values stored there.");
        m_cache = std::move(fresh);
        return m_cache;
    }
    if (auto keys = parseIndexed(data, &fresh.encoding, &fresh.index)) {
        fresh.keys = std::move(*keys);
        m_cache = std::move(fresh);
        return m_cache;
    }
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
        fresh.readable = false;
    }
    fresh.stamp = stampOf();
    m_cache = std::move(fresh);
    return m_cache;
}

qsizetype RegistryHive::findKey(const QString &key) const
{
    return load().index.value(folded(normalKey(key)), -1);
}

void RegistryHive::store(const QString &failure)
{
    if (!m_cache.readable)
        throw KvError(KvErrorNumber::Registry,
                      failure
                          + QStringLiteral(": the registry file could not be read, so it is "
                                           "not replaced"));
    Encoding used = m_cache.encoding;
    const QByteArray bytes = encodeText(serializeText(m_cache.keys), m_cache.encoding, &used);
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        const KvError e = KvError::fromFile(file);
        // The kept hive holds the change the file does not: read the file again.
        m_cache.valid = false;
        throw KvError(KvErrorNumber::Registry, failure + QStringLiteral(": ") + e.description());
    }
    m_cache.encoding = used;
    m_cache.stamp = stampOf();
}

bool RegistryHive::keyExists(const QString &key) const
{
    return findKey(key) >= 0;
}

namespace {

// Writers hold the lock only while they read, change and replace the file. A lock
// is taken over only when the process that holds it has ended: a live one is never
// broken however long it takes, and a write that cannot get the lock in time is
// reported.
class HiveLock
{
public:
    explicit HiveLock(const QString &path)
        : m_lock(path + QStringLiteral(".lock"))
    {
        m_lock.setStaleLockTime(0);
        if (!m_lock.tryLock(lockWaitMs))
            throw KvError(KvErrorNumber::Registry,
                          QStringLiteral("The registry file is in use by another program; the "
                                         "change was not saved"));
    }

    static constexpr int lockWaitMs = 5000;

private:
    QLockFile m_lock;
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
    load();
    // Create every missing parent too, as the registry does.
    const QStringList parts = path.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    QString partial;
    bool changed = false;
    for (const QString &part : parts) {
        partial = partial.isEmpty() ? part : partial + QLatin1Char('\\') + part;
        const QString fold = folded(partial);
        if (!m_cache.index.contains(fold)) {
            m_cache.index.insert(fold, m_cache.keys.size());
            m_cache.keys.append({partial, {}});
            changed = true;
        }
    }
    if (!changed)
        return true;
    try {
        store(QStringLiteral("Unable to create the registry key"));
    } catch (const KvError &) {
        return false;
    }
    return true;
}

std::optional<RegValue> RegistryHive::value(const QString &key, const QString &name) const
{
    const qsizetype k = findKey(key);
    if (k < 0)
        return std::nullopt;
    for (const Value &v : m_cache.keys.at(k).values)
        if (v.name.compare(name, Qt::CaseInsensitive) == 0)
            return v.value;
    return std::nullopt;
}

bool RegistryHive::setValue(const QString &key, const QString &name, const RegValue &value)
{
    HiveLock lock(m_path);
    const qsizetype k = findKey(key);
    if (k < 0)
        return false;
    QList<Value> &values = m_cache.keys[k].values;
    auto it = std::find_if(values.begin(), values.end(), [&](const Value &v) {
        return v.name.compare(name, Qt::CaseInsensitive) == 0;
    });
    if (it != values.end())
        it->value = value;
    else
        values.append({name, value});
    store(QStringLiteral("Unable to save the registry value"));
    return true;
}
