#pragma once

#include <QWidget>

struct AppContext;
class IntroHost;
class QPushButton;

// The first window of the program. On a first start (no code directory remembered)
// it welcomes the user, registers the code and answer file types, and offers the
// old demo plots before the main window opens; on every later start it closes
// before it is shown and the main window opens at once.
class frmIntro : public QWidget
{
    Q_OBJECT

public:
    frmIntro(AppContext &ctx, IntroHost &host, QWidget *parent = nullptr);

    // The load: true when the window is to stay (a first start); false when it
    // closed at once and the main window was opened.
    bool Form_Load();

    // "&View Old Plots": the plot viewer on the demo answers, then the main window.
    void cmdViewPlots_Click();

    QPushButton *cmdRunIntro() const { return m_run; }
    QPushButton *cmdCreateIntro() const { return m_create; }
    QPushButton *cmdViewPlots() const { return m_plots; }

private:
    AppContext &m_ctx;
    IntroHost &m_host;
    QPushButton *m_run = nullptr;
    QPushButton *m_create = nullptr;
    QPushButton *m_plots = nullptr;
};
