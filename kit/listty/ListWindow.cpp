#include "ListWindow.h"

#include <QAction>
#include <QFontDatabase>
#include <QInputDialog>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTextBlock>

ListWindow::ListWindow(const QString &directory, QWidget *parent)
    : QMainWindow(parent)
    , m_files(directory)
{
    setObjectName(QStringLiteral("ListWindow"));
    m_view = new QPlainTextEdit(this);
    m_view->setObjectName(QStringLiteral("listText"));
    m_view->setReadOnly(true);
    m_view->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    m_view->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // The match stays marked when the focus is elsewhere (the find prompt).
    QPalette pal = m_view->palette();
    pal.setColor(
        QPalette::Inactive, QPalette::Highlight, pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive,
                 QPalette::HighlightedText,
                 pal.color(QPalette::Active, QPalette::HighlightedText));
    m_view->setPalette(pal);
    setCentralWidget(m_view);

    m_prompt = [this](const QString &previous) -> std::optional<QString> {
        bool ok = false;
        const QString text = QInputDialog::getText(this,
                                                   QStringLiteral("Find"),
                                                   QStringLiteral("Find:"),
                                                   QLineEdit::Normal,
                                                   previous,
                                                   &ok);
        if (!ok)
            return std::nullopt;
        return text;
    };

    auto addCommand = [this](QMenu *menu,
                             const QString &name,
                             const QString &text,
                             const QKeySequence &key,
                             void (ListWindow::*slot)()) {
        QAction *action = menu->addAction(text);
        action->setObjectName(name);
        action->setShortcut(key);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    QMenu *search = menuBar()->addMenu(QStringLiteral("&Search"));
    addCommand(search,
               QStringLiteral("actFind"),
               QStringLiteral("Find..."),
               QKeySequence(Qt::Key_Backslash),
               &ListWindow::find);
    addCommand(search,
               QStringLiteral("actFindAgain"),
               QStringLiteral("Find Again"),
               QKeySequence(Qt::ALT | Qt::Key_A),
               &ListWindow::findAgain);
    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    addCommand(file,
               QStringLiteral("actNextFile"),
               QStringLiteral("Next File"),
               QKeySequence(Qt::CTRL | Qt::Key_N),
               &ListWindow::nextFile);
    addCommand(file,
               QStringLiteral("actPrevFile"),
               QStringLiteral("Previous File"),
               QKeySequence(Qt::CTRL | Qt::Key_U),
               &ListWindow::previousFile);
    file->addSeparator();
    QAction *exit = file->addAction(QStringLiteral("Exit"));
    exit->setObjectName(QStringLiteral("actExit"));
    exit->setShortcut(QKeySequence(Qt::Key_Escape));
    connect(exit, &QAction::triggered, this, &QWidget::close);

    m_fileLabel = new QLabel(this);
    m_fileLabel->setObjectName(QStringLiteral("fileStatus"));
    m_matchLabel = new QLabel(this);
    m_matchLabel->setObjectName(QStringLiteral("matchStatus"));
    statusBar()->addWidget(m_fileLabel);
    statusBar()->addWidget(m_matchLabel, 1);
    auto *keys = new QLabel(QStringLiteral("\\ Find   Alt+A Find Again   Ctrl+N Next File   "
                                           "Ctrl+U Prev. File   Esc Exit"),
                            this);
    statusBar()->addPermanentWidget(keys);

    if (m_files.count() > 0) {
        showFile(0);
    } else {
        m_view->setPlainText(m_files.problem());
        setWindowTitle(QStringLiteral("List"));
    }
    resize(900, 700);
}

QString ListWindow::fileStatus() const
{
    return m_fileLabel->text();
}

QString ListWindow::matchStatus() const
{
    return m_matchLabel->text();
}

void ListWindow::say(const QString &text)
{
    m_matchLabel->setText(text);
}

void ListWindow::showFile(qsizetype index)
{
    m_current = index;
    const QString name = m_files.fileName(index);
    const QString error = m_files.readError(index);
    m_view->setPlainText(m_files.text(index));
    // One substitution for all three: a '%' in the file name stays as it is.
    m_fileLabel->setText(
        QStringLiteral("%1 (%2 of %3)")
            .arg(name, QString::number(index + 1), QString::number(m_files.count())));
    setWindowTitle(name + QStringLiteral(" - List"));
    say(error.isEmpty() ? QString() : QStringLiteral("%1 cannot be read: %2").arg(name, error));
}

void ListWindow::nextFile()
{
    if (m_files.count() == 0)
        return;
    if (m_current + 1 >= m_files.count()) {
        say(QStringLiteral("This is the last file."));
        return;
    }
    showFile(m_current + 1);
}

void ListWindow::previousFile()
{
    if (m_files.count() == 0)
        return;
    if (m_current <= 0) {
        say(QStringLiteral("This is the first file."));
        return;
    }
    showFile(m_current - 1);
}

void ListWindow::find()
{
    if (m_files.count() == 0)
        return;
    const std::optional<QString> text = m_prompt(m_needle);
    if (!text || text->isEmpty())
        return;
    m_needle = *text;
    // A new search starts where the view is: at the current match or the cursor.
    search(m_view->textCursor().selectionStart());
}

void ListWindow::findAgain()
{
    if (m_files.count() == 0)
        return;
    if (m_needle.isEmpty()) {
        find();
        return;
    }
    const QTextCursor cursor = m_view->textCursor();
    search(cursor.hasSelection() ? cursor.selectionStart() + 1 : cursor.position());
}

void ListWindow::search(qsizetype from)
{
    const TyFileSet::Match match = m_files.find(m_needle, m_current, from);
    if (!match.found()) {
        say(QStringLiteral("\"%1\" not found in any file.").arg(m_needle));
        return;
    }
    if (match.file != m_current)
        showFile(match.file);
    QTextCursor cursor(m_view->document());
    cursor.setPosition(int(match.position));
    cursor.setPosition(int(match.position + m_needle.size()), QTextCursor::KeepAnchor);
    m_view->setTextCursor(cursor);
    m_view->ensureCursorVisible();
    const auto [line, column] = TyFileSet::lineColumn(m_files.text(match.file), match.position);
    QString text = QStringLiteral("\"%1\" at line %2, column %3")
                       .arg(m_needle, QString::number(line), QString::number(column));
    if (match.wrapped)
        text += QStringLiteral("   (search went round to the first file)");
    say(text);
}
