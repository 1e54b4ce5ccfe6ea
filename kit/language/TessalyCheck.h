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

// Findings in order of their line; empty when the source has no fault.
QList<TyFinding> checkTessaly(const QByteArray &source);
