#pragma once

#include <QElapsedTimer>
#include <QString>

#include <memory>

class QProgressDialog;
class QWidget;

// What a progress dialog shows: its title and the line above the bar.
struct ProgressRequest
{
    QString title;
    QString label;
};

// The progress of one long piece of work (a printout, a file read), with a way for
// the user to stop it. The work reports its steps as it goes and asks after each
// whether to go on; the dialog appears only once the work has taken longer than
// half a second, so a short piece of work never shows it. The dialog goes when
// the reporter is destroyed.
class ProgressReporter
{
public:
    virtual ~ProgressReporter() = default;
    // The work's whole size, in its own units (characters, bytes); the steps
    // run from 0 to it.
    virtual void setMaximum(qint64 maximum) = 0;
    // How far the work has come. Also where the user's Cancel is seen.
    virtual void setValue(qint64 value) = 0;
    virtual void setLabelText(const QString &text) = 0;
    // True once the user chose Cancel: the work stops at its next step.
    virtual bool wasCanceled() const = 0;
};

// A QProgressDialog, application-modal, with a Cancel button.
class QtProgressReporter : public ProgressReporter
{
public:
    // Half a second: the work that takes longer shows the dialog.
    static constexpr int showAfterMs = 500;

    QtProgressReporter(QWidget *owner, const ProgressRequest &request);
    ~QtProgressReporter() override;
    void setMaximum(qint64 maximum) override;
    void setValue(qint64 value) override;
    void setLabelText(const QString &text) override;
    bool wasCanceled() const override;

private:
    std::unique_ptr<QProgressDialog> m_dialog;
    // The dialog's bar counts in int: a larger maximum is counted in steps of this.
    qint64 m_unit = 1;
    QElapsedTimer m_sinceStart;
    QElapsedTimer m_sinceRefresh;
    QString m_label;
    bool m_labelChanged = false;
};
