#include "mdlRegistryAPI.h"

#include "platform/KvError.h"
#include "platform/RegistryHive.h"

#include <cmath>

namespace mdlRegistryAPI {

bool KeyExists(const RegistryHive &hive, const QString &key)
{
    return hive.keyExists(key);
}

void CreateKey(RegistryHive &hive, const QString &key)
{
    if (!hive.createKey(key))
        throw KvError(KvErrorNumber::Registry, QStringLiteral("Unable to create the registry key"));
}

QVariant ReadValue(const RegistryHive &hive,
                   const QString &key,
                   const QString &name,
                   int type,
                   const QVariant &defaultValue)
{
    if (type != REG_SZ && type != REG_BINARY && type != REG_DWORD) {
        if (!hive.keyExists(key))
            return defaultValue;
        throw KvError(KvErrorNumber::Registry, QStringLiteral("Unsupported value type"));
    }
    const auto stored = hive.value(key, name);
    if (!stored || stored->type != type)
        return defaultValue;
    switch (type) {
    case REG_SZ:
        return stored->text;
    case REG_BINARY:
        return stored->bytes;
    default:
        return static_cast<qint32>(stored->number);
    }
}

void WriteValue(
    RegistryHive &hive, const QString &key, const QString &name, int type, const QVariant &value)
{
    switch (type) {
    case REG_SZ:
        hive.setValue(key, name, RegValue::string(value.toString()));
        break;
    case REG_BINARY:
        hive.setValue(key, name, RegValue::binary(value.toByteArray()));
        break;
    case REG_DWORD:
        hive.setValue(key,
                      name,
                      RegValue::dword(static_cast<quint32>(
                          static_cast<qint32>(std::lround(value.toDouble())))));
        break;
    default:
        break;
    }
}

} // namespace mdlRegistryAPI
