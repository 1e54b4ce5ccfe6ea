#pragma once

class QString;

// What the introduction screen needs from the program around it: the main window
// and the desktop's file types.
class IntroHost
{
public:
    virtual ~IntroHost() = default;
    // Loads the main window (once), shows it and gives it the focus.
    virtual void openMainWindow() = 0;
    // The class registered for the extension (without the dot), or empty.
    virtual QString GetAssociation(const QString &extension) = 0;
    // Registers the extension to open in programName from directory.
    virtual void RegisterFileType(const QString &extension,
                                  const QString &directory,
                                  const QString &programName,
                                  const QString &description,
                                  const QString &iconPath)
        = 0;
};
