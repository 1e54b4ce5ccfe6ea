#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// The syntax checker of the Tessaly sample language (kit/language/LANGUAGE.md).
// It reads a whole code file and reports what a compiler would refuse: unknown
// statements, unbalanced parentheses, unterminated strings, blocks that are not
// closed or closed without being opened, unknown names and solvers, Find and
// Initiate statements naming a model that is never defined, malformed
// assignments and clauses. It never runs the model.

struct TyFinding
{
    int line; // counts from 1
    QString message;
};

// The most findings checkTessaly returns; *total counts them all.
constexpr qsizetype MaxFindings = 10000;

// Findings in order of their line; empty when the source has no fault. The checker
// reads the text twice, a statement at a time, and keeps the first MaxFindings
// findings (in the order it meets them: the first pass reports what cannot be read,
// the second what does not fit the language); *total gets the count of all.
QList<TyFinding> checkTessaly(const QByteArray &source, qsizetype *total = nullptr);

// What is wrong with a call of a built-in function with count arguments ("'sin'
// takes 1 argument(s), 0 given"); empty when nothing is, or name is no built-in.
QString builtinCallFault(const QString &name, qsizetype count);
