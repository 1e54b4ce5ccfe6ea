// plots.exe: the tool kit's plot viewer. One argument: a directory ending in "/"
// (its plots are listed) or one plot file; without one, the plot the program
// handed over in the registry.
#include "PlotsWindow.h"

#include "platform/RegistryHive.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Plots"));

    const QStringList arguments = QApplication::arguments().mid(1);
    ViewerStart start = resolveStart(arguments, HandOff());
    HandOff handOff;
    if (start.mode != ViewerStart::Directory) {
        handOff = readHandOff(RegistryHive::defaultPath());
        if (start.mode == ViewerStart::Message)
            start = resolveStart(arguments, handOff);
    }

    PlotsWindow window(start, handOff);
    if (qEnvironmentVariable("KELVARA_WINDOW")
            .compare(QLatin1String("maximized"), Qt::CaseInsensitive)
        == 0)
        window.showMaximized();
    else
        window.show();
    return app.exec();
}
