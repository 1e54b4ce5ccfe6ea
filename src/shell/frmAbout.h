#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// The about box: the product's name and version. Created once, on the first Help >
// About, then shown (modal, owned by the main window) and hidden again by OK for the
// rest of the program run.
class frmAbout : public QDialog
{
    Q_OBJECT

public:
    explicit frmAbout(QWidget *owner);

    // Shows the owner's about box modally, creating it on first use; returns when
    // the user has closed it. The box stays loaded, hidden, for the next time.
    static frmAbout *showFor(QWidget *owner);

    QLabel *txtTitle() const { return m_title; }
    QLabel *txtTitle2() const { return m_title2; }
    QPushButton *cmdOkay() const { return m_okay; }

private:
    void Form_Initialize();
    void cmdOkay_Click();

    QLabel *m_title = nullptr;
    QLabel *m_title2 = nullptr;
    QLabel *m_line = nullptr;
    QPushButton *m_okay = nullptr;
};
