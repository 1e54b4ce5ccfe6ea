#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// The small modal dialog that asks for the text to find.
class frmFind : public QDialog
{
    Q_OBJECT

public:
    explicit frmFind(QWidget *parent = nullptr);

    // How the dialog was left: true for Cancel, Escape or the close box.
    bool CancelPressed = false;

    QLineEdit *txtFind() const { return m_txtFind; }
    QPushButton *cmdFind() const { return m_cmdFind; }
    QPushButton *cmdCancel() const { return m_cmdCancel; }

    void cmdFind_Click();
    void cmdCancel_Click();

    // Escape and the close box end the dialog like Cancel.
    void reject() override;

private:
    QLabel *m_label1 = nullptr;
    QLineEdit *m_txtFind = nullptr;
    QPushButton *m_cmdFind = nullptr;
    QPushButton *m_cmdCancel = nullptr;
};
