#pragma once

#include <QByteArray>

// The words of the Tessaly language that code documents show in colour, kept in
// one place (TessalyWords.cpp) so that a new word of the language is one line
// there. Every lookup takes a name already in lower case: the language's own
// words are case-insensitive.
namespace TessalyWords {

enum class Kind {
    None,    // a name the user declares
    Word,    // a keyword of a statement or clause: Find, Model, End, To, Minimize ...
    Option,  // the name of a With option: Tolerance, MaxIter ...
    Solver,  // a solver's name: SQP, RKF45 ...
    Builtin, // a built-in function, constant or value: sin, pi, Iteration ...
};

Kind kindOf(const QByteArray &lowerName);

} // namespace TessalyWords
