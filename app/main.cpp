#include "core/AppContext.h"
#include "core/AppState.h"
#include "platform/DesktopServices.h"
#include "platform/RegistryHive.h"
#include "platform/Settings.h"
#include "platform/UserDialogs.h"
#include "shell/StartUp.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kelvara Solver"));
    QApplication::setOrganizationName(QStringLiteral("Brindlemoor"));
    // Every window and box shows the program's icon; the desktop matches the windows
    // to the menu entry "kelvara.desktop".
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/kelvara.svg")));
    QGuiApplication::setDesktopFileName(QStringLiteral("kelvara"));

    AppState state;
    RegistryHive hive(RegistryHive::defaultPath());
    IniSettings settings;
    QtDesktopServices desktop(
        qEnvironmentVariable("KELVARA_FLOPPY", QStringLiteral("/media/floppy")));
    // A dialog whose initial directory is "A:" opens on the floppy directory.
    QtUserDialogs dialogs(desktop.floppyDirectory());
    AppContext ctx{state, hive, settings, desktop, dialogs, QApplication::applicationDirPath(), {}};

    // The introduction screen first; it opens the main window.
    StartUp start(ctx);
    if (!start.begin())
        return 1;
    return QApplication::exec();
}
