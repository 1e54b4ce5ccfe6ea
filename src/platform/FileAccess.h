#pragma once

#include <QString>

class QFile;

// Reading files whose kind the user chooses: a name may stand for a pipe or a
// device, whose opening waits for a writer or never ends.
namespace FileAccess {

// Opens a regular file for reading without ever waiting on a pipe: anything else
// is refused with the classic error (75 for a directory, pipe or device, 53 when
// missing, 70 without permission). The kind is checked again on the opened file,
// so a name swapped meanwhile is refused too. Throws KvError.
void openRegularFile(QFile &file, const QString &path);

// The memory the system can give the program now without swapping, in bytes;
// -1 when it cannot tell.
qint64 availableMemory();

// A new, empty file beside target, for writing what is to replace target once it
// is whole: readable as target is (or as a new file would be). Empty when no file
// can be made in that directory.
QString createFileBeside(const QString &target);

// Puts the file at from in the place of target, in one step: target is either
// the old file or the new one, never a mixture. False, with the system's reason in
// error, when that fails (from is then left where it is).
bool replaceFile(const QString &from, const QString &target, QString *error = nullptr);

} // namespace FileAccess
