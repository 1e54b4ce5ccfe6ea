#pragma once

#include "runs/IntroHost.h"

#include <memory>

struct AppContext;
class frmIntro;
class frmMain;

// The program's start: the introduction screen first, which on every start but
// the first hands over to the main window before it is shown.
class StartUp : public IntroHost
{
public:
    explicit StartUp(AppContext &ctx);
    ~StartUp() override;

    // Opens the first window. False when the program must end at once (the main
    // window could not be loaded).
    bool begin();

    frmIntro *intro() const { return m_intro.get(); }
    frmMain *mainWindow() const { return m_main.get(); }
    bool failed() const { return m_failed; }

    // IntroHost
    void openMainWindow() override;
    QString GetAssociation(const QString &extension) override;
    void RegisterFileType(const QString &extension,
                          const QString &directory,
                          const QString &programName,
                          const QString &description,
                          const QString &iconPath) override;

private:
    AppContext &m_ctx;
    std::unique_ptr<frmMain> m_main;
    std::unique_ptr<frmIntro> m_intro;
    bool m_failed = false;
};
