#include "frmIntro.h"

#include "IntroHost.h"
#include "core/AppContext.h"
#include "core/AppState.h"
#include "core/mdlLastFile.h"
#include "mdlKV.h"

#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLabel *makeLabel(QWidget *parent, const char *name, const QString &caption, int points)
{
    // "&&" in a caption is one "&" on screen.
    auto *label
        = new QLabel(QString(caption).replace(QStringLiteral("&&"), QStringLiteral("&")), parent);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(points);
    label->setFont(font);
    return label;
}

} // namespace

frmIntro::frmIntro(AppContext &ctx, IntroHost &host, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_ctx(ctx)
    , m_host(host)
{
    setObjectName(QStringLiteral("frmIntro"));
    setWindowTitle(QStringLiteral("Introduction to Tessaly (TY)"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/kelvara.svg")));

    auto button = [this](const char *name, const QString &caption) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        QFont font(QStringLiteral("Arial"));
        font.setPointSize(11);
        b->setFont(font);
        return b;
    };
    m_run = button("cmdRunIntro", QStringLiteral("&Run/Edit a Demo"));
    m_create = button("cmdCreateIntro", QStringLiteral("&Build a Math Problem"));
    m_plots = button("cmdViewPlots", QStringLiteral("&View Old Plots"));
    connect(m_plots, &QPushButton::clicked, this, &frmIntro::cmdViewPlots_Click);

    QLabel *title
        = makeLabel(this, "lblTitleIntro", QStringLiteral("Calculus-level Programming Intro"), 18);
    title->setAlignment(Qt::AlignCenter);
    QLabel *first = makeLabel(
        this,
        "lblSentence1",
        QStringLiteral("Lumetry (LM) solves constrained, implicit, nonlinear, any order equations "
                       "within hours.  LM allows a user to work on their math model, constraints, "
                       "etc. and leaves the numerical work to a compiler.  Users quickly learn of "
                       "their math model accuracies or inaccuracies."),
        12);
    QLabel *second = makeLabel(
        this,
        "lblSentence2",
        QStringLiteral("Optimization is LM's bread && butter.  Convert your simulation problems "
                       "into optimizations.  Nesting of problems is allowed and very powerful.  "
                       "For example, inner problem may minimize 'weight' while outer maximizes "
                       "'efficiency'."),
        12);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_run);
    buttons->addWidget(m_create);
    buttons->addWidget(m_plots);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addSpacing(8);
    layout->addWidget(first);
    layout->addSpacing(8);
    layout->addWidget(second);
    layout->addStretch();
    layout->addLayout(buttons);
    layout->setContentsMargins(18, 14, 18, 14);
    resize(560, 340);
}

bool frmIntro::Form_Load()
{
    AppState &s = m_ctx.state;
    // 1. and 2.
    ReadLastFile(m_ctx.hive, s.CodeName, s.CodeDir);
    QDir::setCurrent(m_ctx.programDir);
    // 3. Used before: straight to the main window.
    if (!s.CodeDir.isEmpty()) {
        m_host.openMainWindow();
        return false;
    }
    // 4. A first start.
    m_create->setEnabled(false);
    m_run->setEnabled(false);
    if (m_host.GetAssociation(QStringLiteral("TY")).isEmpty())
        m_host.RegisterFileType(QStringLiteral("TY"),
                                QStringLiteral("c:\\windows"),
                                QStringLiteral("notePad"),
                                QStringLiteral("Tessaly"),
                                QString());
    if (m_host.GetAssociation(QStringLiteral("Out")).isEmpty())
        m_host.RegisterFileType(QStringLiteral("Out"),
                                QStringLiteral("c:\\windows"),
                                QStringLiteral("notePad"),
                                QStringLiteral("TY Output"),
                                QString());
    return true;
}

void frmIntro::cmdViewPlots_Click()
{
    // The viewer, or the message that it is missing.
    ViewOldPlots(m_ctx, this);
    // Out of sight before the main window loads (which may greet the user); closed
    // only once the main window is open, so the program never finds itself without
    // a window.
    hide();
    m_host.openMainWindow();
    close();
}
