// Writes the desktop entry that puts an installed Kelvara in the desktop's menus:
//   kv-desktop-entry EXECUTABLE ICON-NAME > kelvara.desktop
// The Exec line is quoted by the same rules as the program's own autostart entry.
#include "platform/DesktopEntry.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 3) {
        std::fputs("usage: kv-desktop-entry EXECUTABLE ICON-NAME\n", stderr);
        return 2;
    }
    // The arguments are read as they are, before anything could interpret them.
    const QString executable = QFile::decodeName(argv[1]);
    const QString icon = QFile::decodeName(argv[2]);
    const QByteArray entry = DesktopEntry::applicationEntry(executable, icon);
    return std::fwrite(entry.constData(), 1, size_t(entry.size()), stdout) == size_t(entry.size())
               ? 0
               : 1;
}
