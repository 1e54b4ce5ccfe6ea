#include "core/AppContext.h"
#include "core/AppState.h"
#include "platform/DesktopServices.h"
#include "platform/RegistryHive.h"
#include "platform/Settings.h"
#include "platform/UserDialogs.h"
#include "shell/StartUp.h"

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
    QtUserDialogs dialogs;
    AppContext ctx{state, hive, settings, desktop, dialogs, QApplication::applicationDirPath(), {}};

    // The introduction screen first; it opens the main window.
    StartUp start(ctx);
    if (!start.begin())
        return 1;
    return QApplication::exec();
}
