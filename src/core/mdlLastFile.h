#pragma once

#include <QString>

class RegistryHive;

// The current code file kept in the product key for the next start.

// Fills name and dir from "fileIn" and "fileInPath" of the product key; both keep
// their values when the product key does not exist.
void ReadLastFile(const RegistryHive &hive, QString &name, QString &dir);
// Writes "FileInPath" and then "FileIn", creating the product key when missing.
// Raises error 1001 when the key cannot be created.
void SaveLastFile(RegistryHive &hive, const QString &name, const QString &dir);
