#include "frmAbout.h"

#include "platform/AppInfo.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

frmAbout::frmAbout(QWidget *owner)
    : QDialog(owner,
              Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                  | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About ..."));
    setModal(true);

    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("txtTitle"));
    QFont big = m_title->font();
    big.setPointSizeF(big.pointSizeF() * 1.8);
    big.setBold(true);
    m_title->setFont(big);
    m_title->setAlignment(Qt::AlignCenter);

    m_title2 = new QLabel(this);
    m_title2->setObjectName(QStringLiteral("txtTitle2"));
    m_title2->setAlignment(Qt::AlignCenter);

    m_line = new QLabel(QString(47, QLatin1Char('-')), this);
    m_line->setObjectName(QStringLiteral("Label4"));
    m_line->setAlignment(Qt::AlignCenter);

    m_okay = new QPushButton(QStringLiteral("&OK"), this);
    m_okay->setObjectName(QStringLiteral("cmdOkay"));
    m_okay->setDefault(true);
    connect(m_okay, &QPushButton::clicked, this, &frmAbout::cmdOkay_Click);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_okay);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 18, 24, 14);
    layout->setSpacing(8);
    layout->addWidget(m_title);
    layout->addWidget(m_title2);
    layout->addWidget(m_line);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    Form_Initialize();
}

frmAbout *frmAbout::showFor(QWidget *owner)
{
    auto *box = owner ? owner->findChild<frmAbout *>(QStringLiteral("frmAbout"),
                                                     Qt::FindDirectChildrenOnly)
                      : nullptr;
    if (!box)
        box = new frmAbout(owner);
    box->exec();
    return box;
}

void frmAbout::Form_Initialize()
{
    m_title->setText(AppInfo::productName() + QChar(0x2122));
    m_title2->setText(QStringLiteral("Version ") + AppInfo::version());
}

void frmAbout::cmdOkay_Click()
{
    // Hidden, not destroyed: the next Help > About shows this same window.
    accept();
}
