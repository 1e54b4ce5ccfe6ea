#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The demo code files ("*.ty") of one directory, sorted by name without regard to
// case, with the search that runs through all of them.
class TyFileSet
{
public:
    explicit TyFileSet(const QString &directory);

    QString directory() const { return m_directory; }
    // Why there is nothing to show (no such directory, no code files); empty otherwise.
    QString problem() const { return m_problem; }

    qsizetype count() const { return m_names.size(); }
    QString fileName(qsizetype index) const { return m_names.at(index); }
    QString filePath(qsizetype index) const;
    // The file's text with its lines ended by "\n" whatever they were on disk (read
    // once); empty when it cannot be read, and then readError() says why.
    const QString &text(qsizetype index) const;
    QString readError(qsizetype index) const;

    struct Match
    {
        qsizetype file = -1;     // -1: found nowhere
        qsizetype position = -1; // in text(file)
        bool wrapped = false;    // the search went round past the last file
        bool found() const { return file >= 0; }
    };
    // The first place at or after position in file where needle occurs (case does not
    // matter), going on into the following files, round from the last to the first,
    // and back to the starting file up to the starting position.
    Match find(const QString &needle, qsizetype file, qsizetype position) const;

    // Line and column of a position, both counting from 1.
    static std::pair<int, int> lineColumn(const QString &text, qsizetype position);

private:
    void load(qsizetype index) const;

    QString m_directory;
    QString m_problem;
    QStringList m_names;
    mutable QList<QString> m_texts;
    mutable QList<QString> m_errors;
    mutable QList<bool> m_loaded;
};
