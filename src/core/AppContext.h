#pragma once

#include <QString>

#include <functional>

struct AppState;
class RegistryHive;
class Settings;
class DesktopServices;
class UserDialogs;

// Everything the program reaches outside itself. The program and the tests differ
// only in what they put in here.
struct AppContext
{
    AppState &state;
    RegistryHive &hive;
    Settings &settings;
    DesktopServices &desktop;
    UserDialogs &dialogs;
    QString programDir; // the directory that holds the program's executable
    // The program's normal shutdown (closing the main window), for the checks that
    // end the program after an unexpected failure.
    std::function<void()> closeMainWindow;
};
