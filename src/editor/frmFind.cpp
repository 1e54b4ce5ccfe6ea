#include "frmFind.h"

#include "core/Twips.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {
// Places a control at a rectangle given in twips.
void placeAt(QWidget *control, int left, int top, int width, int height)
{
    const QWidget *w = control->parentWidget();
    control->setGeometry(Twips::toPxX(left, w),
                         Twips::toPxY(top, w),
                         Twips::toPxX(width, w),
                         Twips::toPxY(height, w));
}
} // namespace

frmFind::frmFind(QWidget *parent)
    : QDialog(parent)
    , m_label1(new QLabel(QStringLiteral("Find:"), this))
    , m_txtFind(new QLineEdit(this))
    , m_cmdFind(new QPushButton(QStringLiteral("&Find"), this))
    , m_cmdCancel(new QPushButton(QStringLiteral("Cancel"), this))
{
    setObjectName(QStringLiteral("frmFind"));
    setWindowTitle(QStringLiteral("Find"));
    setModal(true);
    m_label1->setObjectName(QStringLiteral("Label1"));
    m_txtFind->setObjectName(QStringLiteral("txtFind"));
    m_cmdFind->setObjectName(QStringLiteral("cmdFind"));
    m_cmdCancel->setObjectName(QStringLiteral("cmdCancel"));

    setFixedSize(Twips::toPxX(5040, this), Twips::toPxY(1080, this));
    placeAt(m_label1, 120, 180, 435, 240);
    placeAt(m_txtFind, 870, 120, 3945, 315);
    placeAt(m_cmdFind, 1320, 600, 1035, 345);
    placeAt(m_cmdCancel, 3000, 600, 1035, 345);

    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(11.25);
    m_txtFind->setFont(font);

    // Enter presses Find wherever the focus is; Escape is Cancel (reject).
    m_cmdFind->setDefault(true);
    m_cmdCancel->setAutoDefault(false);
    setTabOrder(m_txtFind, m_cmdFind);
    setTabOrder(m_cmdFind, m_cmdCancel);
    m_txtFind->setFocus();

    connect(m_cmdFind, &QPushButton::clicked, this, &frmFind::cmdFind_Click);
    connect(m_cmdCancel, &QPushButton::clicked, this, &frmFind::cmdCancel_Click);
}

void frmFind::cmdFind_Click()
{
    CancelPressed = false;
    // Hiding the dialog ends its modal display.
    done(QDialog::Accepted);
}

void frmFind::cmdCancel_Click()
{
    CancelPressed = true;
    done(QDialog::Rejected);
}

void frmFind::reject()
{
    cmdCancel_Click();
}
