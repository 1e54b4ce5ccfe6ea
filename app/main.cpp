#include "platform/DesktopServices.h"
#include "platform/RegistryHive.h"
#include "platform/Settings.h"
#include "platform/UserDialogs.h"
#include "core/AppContext.h"
#include "core/AppState.h"
#include "shell/frmMain.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kelvara Solver"));
    QApplication::setOrganizationName(QStringLiteral("Brindlemoor"));

    AppState state;
    RegistryHive hive(RegistryHive::defaultPath());
    IniSettings settings;
    QtDesktopServices desktop(
        qEnvironmentVariable("KELVARA_FLOPPY", QStringLiteral("/media/floppy")));
    // A dialog whose initial directory is "A:" opens on the floppy directory.
    QtUserDialogs dialogs(desktop.floppyDirectory());
    AppContext ctx{state, hive, settings, desktop, dialogs, QApplication::applicationDirPath(), {}};

    frmMain mainWindow(ctx);
    if (!mainWindow.MDIForm_Load())
        return 1;
    mainWindow.show();
    return QApplication::exec();
}
