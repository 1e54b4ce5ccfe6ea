#pragma once

#include "TyFileSet.h"

#include <QMainWindow>

#include <functional>
#include <optional>

class QLabel;
class QPlainTextEdit;

// List.com: the demo code files shown one at a time, read-only, with the keys
//   \        Find (asks for the text)
//   Alt+A    Find Again (on into the next files, round to the first)
//   Ctrl+N   next file
//   Ctrl+U   previous file
//   Esc      exit
// Finding does not care about case. The status line names the file, "(n of m)", and
// where the match is (line, column).
class ListWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit ListWindow(const QString &directory, QWidget *parent = nullptr);

    // Asks for the text to find; nothing when the user cancels. The default asks with
    // a small dialog; tests put in their own.
    using Prompt = std::function<std::optional<QString>(const QString &previous)>;
    void setPrompt(Prompt prompt) { m_prompt = std::move(prompt); }

    const TyFileSet &files() const { return m_files; }
    qsizetype currentFile() const { return m_current; }
    QPlainTextEdit *view() const { return m_view; }
    QString fileStatus() const;
    QString matchStatus() const;

    void find();
    void findAgain();
    void nextFile();
    void previousFile();

private:
    void showFile(qsizetype index);
    void search(qsizetype from);
    void say(const QString &text);

    TyFileSet m_files;
    qsizetype m_current = -1;
    QString m_needle;
    Prompt m_prompt;
    QPlainTextEdit *m_view = nullptr;
    QLabel *m_fileLabel = nullptr;
    QLabel *m_matchLabel = nullptr;
};
