#include "mdlLastFile.h"

#include "platform/AppInfo.h"
#include "core/mdlRegistryAPI.h"

using namespace mdlRegistryAPI;

void ReadLastFile(const RegistryHive &hive, QString &name, QString &dir)
{
    const QString key = AppInfo::productKey();
    if (!KeyExists(hive, key))
        return;
    name = ReadValue(hive, key, QStringLiteral("fileIn"), REG_SZ, QString()).toString();
    dir = ReadValue(hive, key, QStringLiteral("fileInPath"), REG_SZ, QString()).toString();
}

void SaveLastFile(RegistryHive &hive, const QString &name, const QString &dir)
{
    const QString key = AppInfo::productKey();
    if (!KeyExists(hive, key))
        CreateKey(hive, key);
    WriteValue(hive, key, QStringLiteral("FileInPath"), REG_SZ, dir);
    WriteValue(hive, key, QStringLiteral("FileIn"), REG_SZ, name);
}
