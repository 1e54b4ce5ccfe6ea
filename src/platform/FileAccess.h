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

} // namespace FileAccess
