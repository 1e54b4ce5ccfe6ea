#pragma once

#include <QVariant>

class RegistryHive;

// The small registry access layer. Keys are below HKEY_CURRENT_USER, written with
// backslashes. Value types: 1 string, 3 raw bytes, 4 32-bit number.
namespace mdlRegistryAPI {

constexpr int REG_SZ = 1;
constexpr int REG_BINARY = 3;
constexpr int REG_DWORD = 4;

// True when the key can be opened.
bool KeyExists(const RegistryHive &hive, const QString &key);
// Creates the key (or opens an existing one); error 1001 "Unable to create the
// registry key" when that fails.
void CreateKey(RegistryHive &hive, const QString &key);
// The stored value (QString, QByteArray or qint32 by type), or defaultValue when the
// key or value is missing. Any other type raises 1001 "Unsupported value type".
QVariant ReadValue(const RegistryHive &hive,
                   const QString &key,
                   const QString &name,
                   int type,
                   const QVariant &defaultValue = {});
// Stores into an existing key; a missing key or an unknown type stores nothing.
void WriteValue(
    RegistryHive &hive, const QString &key, const QString &name, int type, const QVariant &value);

} // namespace mdlRegistryAPI
