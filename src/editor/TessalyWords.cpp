#include "TessalyWords.h"

#include <QHash>

namespace {

// The language's words, solvers and built-ins as kit/language/LANGUAGE.md defines
// them (the solvers are also the ones the demo catalogue names), in lower case.
constexpr const char *words[] = {
    "title",    "parameter", "variable", "function", "model",    "end",      "if",
    "then",     "elseif",    "else",     "for",      "to",       "step",     "constraint",
    "residual", "find",      "in",       "using",    "with",     "initiate", "equations",
    "of",       "span",      "until",    "print",    "plot",     "vs",       "named",
    "and",      "or",        "not",      "minimize", "maximize", "zero",     "fit",
    "xlabel",   "ylabel",
};

// The options of a With clause: words only there, names anywhere else.
constexpr const char *options[] = {"tolerance", "maxiter", "abstolerance", "stepsize"};

constexpr const char *solvers[] = {
    // Optimizers (To Minimize, To Maximize)
    "sumt",
    "scp",
    "alm",
    "mmfd",
    "sqp",
    "mfd",
    "simplex",
    "pattern",
    "slp",
    "grg",
    "bfgs",
    // Root finders (To Zero) and least squares (To Fit)
    "newton",
    "broyden",
    "lsq",
    // Integrators (Initiate)
    "rkf45",
    "rk4",
    "euler",
    "adams",
    "gear",
    "dae",
};

constexpr const char *builtins[] = {
    "sin", "cos", "tan",   "asin", "acos", "atan",  "sinh", "cosh",      "tanh",
    "exp", "log", "log10", "sqrt", "abs",  "floor", "ceil", "sign",      "atan2",
    "pow", "mod", "min",   "max",  "sum",  "size",  "pi",   "iteration",
};

QHash<QByteArray, TessalyWords::Kind> buildTable()
{
    using TessalyWords::Kind;
    QHash<QByteArray, Kind> table;
    for (const char *w : words)
        table.insert(w, Kind::Word);
    for (const char *w : options)
        table.insert(w, Kind::Option);
    for (const char *w : solvers)
        table.insert(w, Kind::Solver);
    for (const char *w : builtins)
        table.insert(w, Kind::Builtin);
    return table;
}

} // namespace

TessalyWords::Kind TessalyWords::kindOf(const QByteArray &lowerName)
{
    static const QHash<QByteArray, Kind> table = buildTable();
    return table.value(lowerName, Kind::None);
}
