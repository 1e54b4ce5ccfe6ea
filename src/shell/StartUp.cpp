#include "StartUp.h"

#include "frmMain.h"
#include "runs/frmIntro.h"
#include "shell/FileAssoc.h"

#include <QCoreApplication>

StartUp::StartUp(AppContext &ctx)
    : m_ctx(ctx)
{}

StartUp::~StartUp()
{
    // The main window unloads first; the introduction screen goes with the start.
    m_main.reset();
    m_intro.reset();
}

bool StartUp::begin()
{
    m_intro = std::make_unique<frmIntro>(m_ctx, *this);
    if (m_intro->Form_Load())
        m_intro->show();
    return !m_failed;
}

void StartUp::openMainWindow()
{
    if (m_failed)
        return;
    if (!m_main) {
        m_main = std::make_unique<frmMain>(m_ctx);
        if (!m_main->MDIForm_Load()) {
            // No base directory: the program ends (a no-op before the event loop
            // runs; begin() then says so).
            m_failed = true;
            QCoreApplication::exit(1);
            return;
        }
    }
    m_main->show();
    m_main->raise();
    m_main->activateWindow();
}

QString StartUp::GetAssociation(const QString &extension)
{
    return ::GetAssociation(m_ctx, extension);
}

void StartUp::RegisterFileType(const QString &extension,
                               const QString &directory,
                               const QString &programName,
                               const QString &description,
                               const QString &iconPath)
{
    ::RegisterFileType(m_ctx, extension, directory, programName, description, iconPath);
}
