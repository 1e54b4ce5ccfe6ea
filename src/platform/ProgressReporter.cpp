#include "ProgressReporter.h"

#include "AppInfo.h"

#include <QCoreApplication>
#include <QProgressDialog>

#include <algorithm>
#include <climits>

namespace {
// While the dialog shows, it takes the user's clicks and repaints this often; a
// work's steps in between cost no more than a clock reading.
constexpr qint64 refreshMs = 40;
} // namespace

QtProgressReporter::QtProgressReporter(QWidget *owner, const ProgressRequest &request)
    : m_dialog(std::make_unique<QProgressDialog>(owner))
{
    m_dialog->setWindowTitle(request.title.isEmpty() ? AppInfo::programTitle() : request.title);
    m_dialog->setLabelText(request.label);
    m_dialog->setCancelButtonText(QStringLiteral("Cancel"));
    m_dialog->setWindowModality(Qt::ApplicationModal);
    m_dialog->setMinimumDuration(showAfterMs);
    // The work ends the dialog itself: reaching the maximum neither hides it nor
    // forgets a Cancel.
    m_dialog->setAutoReset(false);
    m_dialog->setAutoClose(false);
    m_dialog->setRange(0, 1);
    // The clock of the minimum duration starts now.
    m_dialog->setValue(0);
    m_sinceStart.start();
}

QtProgressReporter::~QtProgressReporter()
{
    m_dialog->hide();
}

void QtProgressReporter::setMaximum(qint64 maximum)
{
    m_unit = maximum > INT_MAX ? maximum / INT_MAX + 1 : 1;
    m_dialog->setMaximum(static_cast<int>(std::max<qint64>(1, maximum / m_unit)));
}

void QtProgressReporter::setValue(qint64 value)
{
    if (m_sinceRefresh.isValid() && m_sinceRefresh.elapsed() < refreshMs)
        return;
    m_sinceRefresh.start();
    if (m_labelChanged) {
        m_dialog->setLabelText(m_label);
        m_labelChanged = false;
    }
    m_dialog->setValue(
        static_cast<int>(std::clamp<qint64>(value / m_unit, 1, m_dialog->maximum())));
    // The dialog's own guess of the time left may keep it hidden: past the
    // minimum duration it shows whatever the guess.
    if (!m_dialog->isVisible() && !m_dialog->wasCanceled() && m_sinceStart.elapsed() >= showAfterMs)
        m_dialog->show();
    // The modal dialog paints and takes a click on Cancel here.
    if (m_dialog->isVisible())
        QCoreApplication::processEvents();
}

void QtProgressReporter::setLabelText(const QString &text)
{
    m_label = text;
    m_labelChanged = true;
}

bool QtProgressReporter::wasCanceled() const
{
    return m_dialog->wasCanceled();
}
