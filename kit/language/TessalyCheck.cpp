#include "TessalyCheck.h"
#include "TyLexer.h"

#include <QHash>
#include <QSet>
#include <QStringList>

#include <algorithm>
#include <optional>

// The checker works in three steps:
//  1. the lexer cuts the text into statements (one per line, or several lines
//     joined by a trailing '&'), reporting strings and characters it cannot read;
//  2. a declaration scan collects every Parameter, Variable, Function, Model and
//     loop name, so names may be used before the line that declares them;
//  3. a recursive-descent parser checks each statement, the nesting of blocks
//     and every name, solver and clause against those declarations.

namespace {

using ty::Statement;
using ty::Tok;
using ty::Token;

enum class SolverKind { Integrator, RootFinder, LeastSquares, Optimizer };

const QHash<QString, SolverKind> &solvers()
{
    static const QHash<QString, SolverKind> table = {
        {"rkf45", SolverKind::Integrator},  {"rk4", SolverKind::Integrator},
        {"euler", SolverKind::Integrator},  {"adams", SolverKind::Integrator},
        {"gear", SolverKind::Integrator},   {"dae", SolverKind::Integrator},
        {"newton", SolverKind::RootFinder}, {"broyden", SolverKind::RootFinder},
        {"lsq", SolverKind::LeastSquares},  {"sumt", SolverKind::Optimizer},
        {"scp", SolverKind::Optimizer},     {"alm", SolverKind::Optimizer},
        {"mmfd", SolverKind::Optimizer},    {"sqp", SolverKind::Optimizer},
        {"mfd", SolverKind::Optimizer},     {"simplex", SolverKind::Optimizer},
        {"pattern", SolverKind::Optimizer}, {"slp", SolverKind::Optimizer},
        {"grg", SolverKind::Optimizer},     {"bfgs", SolverKind::Optimizer},
    };
    return table;
}

// Words that start statements or clauses; they cannot name anything.
const QSet<QString> &reservedWords()
{
    static const QSet<QString> words = {
        "title",    "parameter", "variable", "function", "model",    "end",      "if",
        "then",     "elseif",    "else",     "for",      "to",       "step",     "constraint",
        "residual", "find",      "in",       "using",    "with",     "initiate", "equations",
        "of",       "span",      "until",    "print",    "plot",     "vs",       "named",
        "and",      "or",        "not",      "minimize", "maximize", "zero",     "fit",
        "xlabel",   "ylabel",    "markers",  "dashed",   "logx",     "logy",
    };
    return words;
}

// Built-in functions and how many arguments each takes (-1: one or more).
const QHash<QString, int> &builtins()
{
    static const QHash<QString, int> table = {
        {"sin", 1},  {"cos", 1},  {"tan", 1},   {"asin", 1}, {"acos", 1}, {"atan", 1},
        {"sinh", 1}, {"cosh", 1}, {"tanh", 1},  {"exp", 1},  {"log", 1},  {"log10", 1},
        {"sqrt", 1}, {"abs", 1},  {"floor", 1}, {"ceil", 1}, {"sign", 1}, {"atan2", 2},
        {"pow", 2},  {"mod", 2},  {"min", -1},  {"max", -1}, {"sum", 1},  {"size", 1},
    };
    return table;
}

enum class SymKind { Parameter, Variable, Function, Model, LoopVariable, Constant };

struct Symbol
{
    SymKind kind = SymKind::Variable;
    int dims = 0;  // array dimensions; 0 for a scalar
    int arity = 0; // functions
    int line = 0;
};

QString kindName(SymKind kind)
{
    switch (kind) {
    case SymKind::Parameter:
        return QStringLiteral("a parameter");
    case SymKind::Variable:
        return QStringLiteral("a variable");
    case SymKind::Function:
        return QStringLiteral("a function");
    case SymKind::Model:
        return QStringLiteral("a model");
    case SymKind::LoopVariable:
        return QStringLiteral("a loop variable");
    case SymKind::Constant:
        return QStringLiteral("a built-in constant");
    }
    return QString();
}

// Levenshtein distance, case-insensitive; stops counting past a small limit.
int editDistance(const QString &a, const QString &b)
{
    const QString x = a.toLower(), y = b.toLower();
    QList<int> previous(y.size() + 1), current(y.size() + 1);
    for (int j = 0; j <= y.size(); ++j)
        previous[j] = j;
    for (int i = 1; i <= x.size(); ++i) {
        current[0] = i;
        for (int j = 1; j <= y.size(); ++j) {
            const int substitute = previous[j - 1] + (x.at(i - 1) == y.at(j - 1) ? 0 : 1);
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, substitute});
        }
        std::swap(previous, current);
    }
    return previous[y.size()];
}

// " (did you mean X?)" when exactly one candidate is close to the word; else empty.
QString suggestion(const QString &word, const QStringList &candidates)
{
    // Names differ in case only, or by one or two letters in longer words. A name
    // longer than any a modeller types gets no suggestion: the comparison costs the
    // product of the lengths.
    if (word.size() > 64)
        return QString();
    const int limit = word.size() < 2 ? 0 : word.size() <= 4 ? 1 : 2;
    QString best;
    int bestDistance = limit + 1;
    bool tie = false;
    for (const QString &c : candidates) {
        if (std::abs(c.size() - word.size()) > limit)
            continue;
        const int d = editDistance(word, c);
        if (d < bestDistance) {
            best = c;
            bestDistance = d;
            tie = false;
        } else if (d == bestDistance && c.compare(best, Qt::CaseInsensitive) != 0) {
            tie = true;
        }
    }
    if (best.isEmpty() || tie)
        return QString();
    return QStringLiteral(" (did you mean '%1'?)").arg(best);
}

QStringList solverNames()
{
    QStringList names;
    for (auto it = solvers().cbegin(); it != solvers().cend(); ++it)
        names << it.key().toUpper();
    names.sort();
    return names;
}

const QStringList &statementWords()
{
    static const QStringList words = {"Title",
                                      "Parameter",
                                      "Variable",
                                      "Function",
                                      "Model",
                                      "End",
                                      "If",
                                      "ElseIf",
                                      "Else",
                                      "For",
                                      "Constraint",
                                      "Residual",
                                      "Find",
                                      "Initiate",
                                      "Print",
                                      "Plot"};
    return words;
}

class Checker
{
public:
    QList<TyFinding> run(const QByteArray &source);
    qsizetype total() const { return m_total; }

private:
    // declaration scan
    void declare(const QString &name, const Symbol &symbol, const Token &at);
    // checking
    void checkStatement(Statement &st);
    void checkBalance(Statement &st);

    // The first findings are kept, all are counted.
    void report(int line, const QString &message)
    {
        ++m_total;
        if (m_findings.size() < MaxFindings)
            m_findings.append({line, message});
    }
    qsizetype m_total = 0;
    QList<Token> m_loopNames;
    void scanStatement(const Statement &st);
    void finishDeclarations();

    // statement cursor
    const Token *peek(int ahead = 0) const
    {
        const int i = m_pos + ahead;
        return i < m_tokens->size() ? &m_tokens->at(i) : nullptr;
    }
    bool atEnd() const { return m_pos >= m_tokens->size(); }
    bool isWord(const Token *t, const char *word) const
    {
        return t && t->kind == Tok::Ident && !t->prime && t->lower == QLatin1String(word);
    }
    bool isOp(const Token *t, const char *op) const
    {
        return t && t->kind == Tok::Op && t->text == QLatin1String(op);
    }
    bool acceptWord(const char *word)
    {
        if (isWord(peek(), word)) {
            ++m_pos;
            return true;
        }
        return false;
    }
    bool acceptOp(const char *op)
    {
        if (isOp(peek(), op)) {
            ++m_pos;
            return true;
        }
        return false;
    }
    int lineHere() const { return atEnd() ? m_lastLine : peek()->line; }
    QString describeHere() const;
    void fail(const QString &message); // reports once per statement and stops it

    // statements
    void parseDeclaration(bool isParameter);
    void parseFunction();
    void parseModel();
    void parseEnd();
    void parseIf(bool elseIf);
    void parseFor();
    void parseConstraint();
    void parseResidual();
    void parseFind();
    void parseInitiate();
    void parsePrint();
    void parsePlot();
    void parseTitle();
    void parseAssignment();
    void parseWithOptions(const QStringList &allowed);
    void expectEnd();
    QString expectName(const QString &what);
    // The model a Find or Initiate names; runnable when it is defined and is not
    // the model the statement stands in.
    QString parseModelReference(bool &runnable);
    QList<Token> parseNameList(const QString &what);

    // expressions
    void parseExpression();
    void parseOr();
    void parseAnd();
    void parseNot();
    void parseComparison();
    void parseSum();
    void parseProduct();
    void parseUnary();
    void parsePower();
    void parsePrimary();
    int parseArguments(const char *close);
    void checkNameUse(const Token &name, int indexCount, bool indexed);

    bool inModel() const;
    QString currentModel() const;
    QStringList valueNames() const;    // declared names that have a value
    QStringList functionNames() const; // built-in and declared functions
    // A suggestion compares a word with every name; a file full of unknown names
    // gets suggestions for its first ones only, so checking stays fast.
    QString suggest(const QString &word, const QStringList &candidates);
    QString unknownVariable(const QString &name);
    int m_suggestionsLeft = 50;

    struct Block
    {
        QString kind; // "model", "if", "for"
        int line = 0;
        QString name; // the model's name
        bool sawElse = false;
        bool inModel = false; // this block or one around it is a model
        QString model;        // the name of that model
    };
    // Blocks know the model around them, so finding it costs nothing however deep
    // the nesting.
    void pushBlock(Block block)
    {
        if (!m_blocks.isEmpty() && m_blocks.last().inModel) {
            block.inModel = true;
            block.model = m_blocks.last().model;
        } else if (block.kind == u"model") {
            block.inModel = true;
            block.model = block.name;
        }
        m_blocks << block;
    }

    QList<TyFinding> m_findings;
    QHash<QString, Symbol> m_symbols;
    QList<Block> m_blocks;
    QHash<QString, int> m_functionParams; // parameters of the function being checked
    const QList<Token> *m_tokens = nullptr;
    int m_pos = 0;
    int m_lastLine = 0;
    bool m_failed = false;
    int m_depth = 0; // nesting of the expression being parsed

    // What each model sets, for the checks made once the whole file is read.
    struct ModelInfo
    {
        QSet<QString> derivatives; // names whose derivative the model sets
        QSet<QString> assigned;    // names the model assigns or lets a nested solver set
        int residuals = 0;
    };
    struct SolverUse
    {
        int line = 0;
        QString model;
        QList<Token> names; // Find: its objectives; Initiate: its states
        bool isFind = false;
        bool dae = false;
    };
    QHash<QString, ModelInfo> m_models;
    QList<SolverUse> m_uses;
    void recordSet(const QString &name, bool derivative);
    void checkSolverUses();
    bool noDuplicates(const QList<Token> &names);
};

QList<TyFinding> Checker::run(const QByteArray &source)
{
    // Two passes over the text, one statement at a time, so memory stays a small
    // multiple of the file's size: the first collects the declarations (a name may
    // be used before the line that declares it), the second checks each statement.
    const QString text = ty::decodeSource(source);
    ty::lexEach(
        text,
        [&](Statement &&st) { scanStatement(st); },
        [&](int line, const QString &message) { report(line, message); });
    finishDeclarations();
    ty::lexEach(
        text, [&](Statement &&st) { checkStatement(st); }, [](int, const QString &) {});
    checkSolverUses();
    for (const Block &block : std::as_const(m_blocks)) {
        const QString kind = block.kind == u"model" ? QStringLiteral("Model")
                             : block.kind == u"if"  ? QStringLiteral("If")
                                                    : QStringLiteral("For");
        report(
            block.line,
            QStringLiteral("'%1' block opened here is never closed (missing 'End %1')").arg(kind));
    }
    std::stable_sort(m_findings.begin(),
                     m_findings.end(),
                     [](const TyFinding &a, const TyFinding &b) { return a.line < b.line; });
    return m_findings;
}

void Checker::declare(const QString &name, const Symbol &symbol, const Token &at)
{
    const QString key = name;
    if (reservedWords().contains(key.toLower())) {
        report(at.line,
               QStringLiteral("'%1' is a word of the language and cannot name anything").arg(name));
        return;
    }
    if (builtins().contains(key.toLower()) || key.toLower() == u"pi"
        || key.toLower() == u"iteration") {
        report(at.line, QStringLiteral("'%1' is built in and cannot be declared again").arg(name));
        return;
    }
    const auto it = m_symbols.constFind(key);
    if (it != m_symbols.constEnd()) {
        if (it->kind == SymKind::LoopVariable && symbol.kind == SymKind::LoopVariable)
            return; // several loops may count with the same name
        report(at.line,
               QStringLiteral("'%1' is already declared at line %2")
                   .arg(name, QString::number(it->line)));
        return;
    }
    m_symbols.insert(key, symbol);
}

void Checker::scanStatement(const Statement &st)
{
    if (st.broken)
        return;
    const QList<Token> &tk = st.tokens;
    const QString head = tk.first().kind == Tok::Ident ? tk.first().lower : QString();
    if (head == u"parameter" || head == u"variable") {
        const SymKind kind = head == u"parameter" ? SymKind::Parameter : SymKind::Variable;
        int depth = 0;
        bool expectName = true;
        for (int i = 1; i < tk.size(); ++i) {
            const Token &t = tk.at(i);
            if (t.kind == Tok::Op && (t.text == u"(" || t.text == u"["))
                ++depth;
            else if (t.kind == Tok::Op && (t.text == u")" || t.text == u"]"))
                --depth;
            else if (t.kind == Tok::Op && t.text == u"," && depth == 0)
                expectName = true;
            else if (expectName && t.kind == Tok::Ident && depth == 0) {
                expectName = false;
                Symbol sym{kind, 0, 0, t.line};
                if (i + 1 < tk.size() && isOp(&tk.at(i + 1), "[")) {
                    int d = 1, commas = 0;
                    for (int j = i + 2; j < tk.size() && d > 0; ++j) {
                        if (isOp(&tk.at(j), "[") || isOp(&tk.at(j), "("))
                            ++d;
                        else if (isOp(&tk.at(j), "]") || isOp(&tk.at(j), ")"))
                            --d;
                        else if (isOp(&tk.at(j), ",") && d == 1)
                            ++commas;
                    }
                    sym.dims = commas + 1;
                }
                declare(t.text, sym, t);
            } else {
                expectName = false;
            }
        }
    } else if ((head == u"function" || head == u"model") && tk.size() > 1
               && tk.at(1).kind == Tok::Ident) {
        Symbol sym{head == u"model" ? SymKind::Model : SymKind::Function, 0, 0, tk.at(1).line};
        if (head == u"function") {
            int params = 0;
            if (tk.size() > 2 && isOp(&tk.at(2), "(")) {
                for (int j = 3; j < tk.size() && !isOp(&tk.at(j), ")"); ++j)
                    if (tk.at(j).kind == Tok::Ident)
                        ++params;
            }
            sym.arity = params;
        }
        declare(tk.at(1).text, sym, tk.at(1));
    } else if (head == u"for" && tk.size() > 1 && tk.at(1).kind == Tok::Ident) {
        m_loopNames << tk.at(1);
    }
}

void Checker::finishDeclarations()
{
    // Loop variables are declared last so that an explicit declaration wins.
    for (const Token &t : std::as_const(m_loopNames)) {
        if (!m_symbols.contains(t.text))
            declare(t.text, Symbol{SymKind::LoopVariable, 0, 0, t.line}, t);
    }
}

QString Checker::describeHere() const
{
    if (atEnd())
        return QStringLiteral("the end of the statement");
    const Token *t = peek();
    if (t->kind == Tok::String)
        return QStringLiteral("the text \"%1\"").arg(t->text);
    return QStringLiteral("'%1'").arg(t->text + (t->prime ? QStringLiteral("'") : QString()));
}

void Checker::fail(const QString &message)
{
    if (m_failed)
        return;
    m_failed = true;
    report(lineHere(), message);
    m_pos = m_tokens->size();
}

void Checker::checkBalance(Statement &st)
{
    QList<const Token *> open;
    for (const Token &t : std::as_const(st.tokens)) {
        if (t.kind != Tok::Op)
            continue;
        if (t.text == u"(" || t.text == u"[") {
            open << &t;
        } else if (t.text == u")" || t.text == u"]") {
            const QString want = t.text == u")" ? QStringLiteral("(") : QStringLiteral("[");
            if (open.isEmpty()) {
                report(t.line,
                       QStringLiteral("unbalanced parentheses: '%1' without a matching '%2'")
                           .arg(t.text, want));
                st.broken = true;
                return;
            }
            if (open.last()->text != want) {
                report(
                    t.line,
                    QStringLiteral("unbalanced parentheses: '%1' closes the '%2' opened on line %3")
                        .arg(t.text, open.last()->text)
                        .arg(open.last()->line));
                st.broken = true;
                return;
            }
            open.removeLast();
        }
    }
    if (!open.isEmpty()) {
        const QString close = open.last()->text == u"(" ? QStringLiteral(")") : QStringLiteral("]");
        report(open.last()->line,
               QStringLiteral("unbalanced parentheses: '%1' is never closed by '%2'")
                   .arg(open.last()->text, close));
        st.broken = true;
    }
}

QString Checker::suggest(const QString &word, const QStringList &candidates)
{
    if (m_suggestionsLeft <= 0)
        return QString();
    --m_suggestionsLeft;
    return suggestion(word, candidates);
}

QString Checker::unknownVariable(const QString &name)
{
    const QString hint = suggest(name, valueNames());
    return QStringLiteral("unknown name '%1'").arg(name)
           + (hint.isEmpty() ? QStringLiteral(" (declare it with Variable)") : hint);
}

QStringList Checker::valueNames() const
{
    if (m_suggestionsLeft <= 0)
        return QStringList();
    QStringList names;
    for (auto it = m_symbols.cbegin(); it != m_symbols.cend(); ++it)
        if (it->kind != SymKind::Model && it->kind != SymKind::Function)
            names << it.key();
    for (auto it = m_functionParams.cbegin(); it != m_functionParams.cend(); ++it)
        names << it.key();
    return names;
}

QStringList Checker::functionNames() const
{
    if (m_suggestionsLeft <= 0)
        return QStringList();
    QStringList names;
    for (auto it = builtins().cbegin(); it != builtins().cend(); ++it)
        names << it.key();
    for (auto it = m_symbols.cbegin(); it != m_symbols.cend(); ++it)
        if (it->kind == SymKind::Function)
            names << it.key();
    return names;
}

bool Checker::inModel() const
{
    return !m_blocks.isEmpty() && m_blocks.last().inModel;
}

QString Checker::currentModel() const
{
    return m_blocks.isEmpty() ? QString() : m_blocks.last().model;
}

void Checker::checkStatement(Statement &st)
{
    m_tokens = &st.tokens;
    m_pos = 0;
    m_failed = false;
    m_lastLine = st.tokens.last().line;
    if (!st.broken)
        checkBalance(st);

    const Token &first = st.tokens.first();
    const QString head = first.kind == Tok::Ident && !first.prime ? first.lower : QString();

    if (st.broken) {
        // Keep the block structure in step so that one bad line gives one finding.
        if (head == u"model" || head == u"if" || head == u"for") {
            Block b;
            b.kind = head;
            b.line = first.line;
            b.name = st.tokens.size() > 1 ? st.tokens.at(1).lower : QString();
            pushBlock(b);
        } else if (head == u"end" && st.tokens.size() > 1) {
            const QString kind = st.tokens.at(1).lower;
            if (!m_blocks.isEmpty() && m_blocks.last().kind == kind)
                m_blocks.removeLast();
        }
        return;
    }

    if (head == u"parameter")
        parseDeclaration(true);
    else if (head == u"variable")
        parseDeclaration(false);
    else if (head == u"function")
        parseFunction();
    else if (head == u"model")
        parseModel();
    else if (head == u"end")
        parseEnd();
    else if (head == u"if")
        parseIf(false);
    else if (head == u"elseif")
        parseIf(true);
    else if (head == u"else") {
        ++m_pos;
        if (m_blocks.isEmpty() || m_blocks.last().kind != u"if") {
            report(first.line, QStringLiteral("'Else' without an open 'If' block"));
            return;
        }
        if (m_blocks.last().sawElse)
            report(first.line,
                   QStringLiteral("a second 'Else' in the 'If' block opened at line %1")
                       .arg(m_blocks.last().line));
        m_blocks.last().sawElse = true;
        expectEnd();
    } else if (head == u"for")
        parseFor();
    else if (head == u"constraint")
        parseConstraint();
    else if (head == u"residual")
        parseResidual();
    else if (head == u"find")
        parseFind();
    else if (head == u"initiate")
        parseInitiate();
    else if (head == u"print")
        parsePrint();
    else if (head == u"plot")
        parsePlot();
    else if (head == u"title")
        parseTitle();
    else if (first.kind == Tok::Ident && !reservedWords().contains(first.lower))
        parseAssignment();
    else if (first.kind == Tok::Ident)
        report(first.line, QStringLiteral("'%1' cannot start a statement").arg(first.text));
    else
        report(first.line,
               QStringLiteral("unknown statement starting with %1")
                   .arg(first.kind == Tok::String ? QStringLiteral("a string")
                                                  : QStringLiteral("'%1'").arg(first.text)));
}

void Checker::expectEnd()
{
    if (!atEnd() && !m_failed)
        fail(QStringLiteral("unexpected %1 after the end of the statement").arg(describeHere()));
}

QString Checker::expectName(const QString &what)
{
    const Token *t = peek();
    if (!t || t->kind != Tok::Ident || t->prime || reservedWords().contains(t->lower)) {
        fail(QStringLiteral("expected %1, found %2").arg(what, describeHere()));
        return QString();
    }
    ++m_pos;
    return t->text;
}

QList<Token> Checker::parseNameList(const QString &what)
{
    QList<Token> names;
    do {
        const Token *t = peek();
        if (expectName(what).isEmpty())
            return names;
        names << *t;
    } while (acceptOp(","));
    return names;
}

void Checker::parseDeclaration(bool isParameter)
{
    ++m_pos;
    const QString what
        = isParameter ? QStringLiteral("a parameter name") : QStringLiteral("a variable name");
    do {
        const Token *nameTok = peek();
        if (nameTok && nameTok->kind == Tok::Ident && reservedWords().contains(nameTok->lower)) {
            // the declaration scan has reported it already
            m_failed = true;
            m_pos = m_tokens->size();
            return;
        }
        if (expectName(what).isEmpty())
            return;
        QList<int> sizes; // literal sizes; -1 when given by an expression
        if (acceptOp("[")) {
            do {
                const Token *sizeTok = peek();
                const int before = m_pos;
                parseExpression();
                if (m_failed)
                    return;
                bool ok = false;
                const int n = (m_pos == before + 1 && sizeTok->kind == Tok::Number)
                                  ? sizeTok->text.toInt(&ok)
                                  : -1;
                if (m_pos == before + 1 && sizeTok->kind == Tok::Number && (!ok || n < 1)) {
                    report(sizeTok->line,
                           QStringLiteral("the size of '%1' must be a whole number of at least 1")
                               .arg(nameTok->text));
                }
                sizes << (ok ? n : -1);
            } while (acceptOp(","));
            if (!acceptOp("]"))
                return fail(QStringLiteral("expected ']' after the size of '%1', found %2")
                                .arg(nameTok->text, describeHere()));
            if (sizes.size() > 3)
                report(nameTok->line,
                       QStringLiteral("'%1' has %2 sizes; an array has one to three")
                           .arg(nameTok->text, QString::number(sizes.size())));
        }
        if (acceptOp("=")) {
            if (acceptOp("[")) {
                // a list of values for an array
                int count = 0;
                do {
                    parseExpression();
                    if (m_failed)
                        return;
                    ++count;
                } while (acceptOp(","));
                if (!acceptOp("]"))
                    return fail(
                        QStringLiteral("expected ',' or ']' in the values of '%1', found %2")
                            .arg(nameTok->text, describeHere()));
                if (sizes.isEmpty()) {
                    report(
                        nameTok->line,
                        QStringLiteral("'%1' is given a list of values but no size; write %1[%2]")
                            .arg(nameTok->text, QString::number(count)));
                } else if (!sizes.contains(-1)) {
                    int total = 1;
                    for (int s : std::as_const(sizes))
                        total *= s;
                    if (total != count)
                        report(nameTok->line,
                               QStringLiteral("'%1' holds %2 values but %3 are given")
                                   .arg(nameTok->text,
                                        QString::number(total),
                                        QString::number(count)));
                }
            } else {
                parseExpression();
                if (m_failed)
                    return;
            }
        } else if (isParameter) {
            return fail(
                QStringLiteral("the parameter '%1' needs a value: %1 = ...").arg(nameTok->text));
        }
    } while (acceptOp(","));
    expectEnd();
}

void Checker::parseFunction()
{
    const int line = peek()->line;
    ++m_pos;
    if (!m_blocks.isEmpty())
        report(line, QStringLiteral("a Function must be defined outside every block"));
    const Token *nameTok = peek();
    if (expectName(QStringLiteral("the function's name")).isEmpty())
        return;
    if (!acceptOp("("))
        return fail(QStringLiteral("expected '(' and the parameters of '%1', found %2")
                        .arg(nameTok->text, describeHere()));
    m_functionParams.clear();
    if (!acceptOp(")")) {
        do {
            const Token *p = peek();
            if (expectName(QStringLiteral("a parameter name")).isEmpty())
                return;
            m_functionParams.insert(p->text, p->line);
        } while (acceptOp(","));
        if (!acceptOp(")"))
            return fail(QStringLiteral("expected ',' or ')' in the parameters of '%1', found %2")
                            .arg(nameTok->text, describeHere()));
    }
    if (!acceptOp("="))
        return fail(QStringLiteral("expected '=' and the function's formula, found %1")
                        .arg(describeHere()));
    parseExpression();
    m_functionParams.clear();
    expectEnd();
}

void Checker::parseModel()
{
    const int line = peek()->line;
    ++m_pos;
    const QString name = expectName(QStringLiteral("the model's name"));
    if (!m_blocks.isEmpty()) {
        report(line,
               QStringLiteral("a Model must be defined outside every block (the '%1' block of "
                              "line %2 is still open)")
                   .arg(m_blocks.last().kind == u"model" ? QStringLiteral("Model")
                        : m_blocks.last().kind == u"if"  ? QStringLiteral("If")
                                                         : QStringLiteral("For"))
                   .arg(m_blocks.last().line));
    }
    pushBlock(Block{QStringLiteral("model"), line, name, false, false, QString()});
    expectEnd();
}

void Checker::parseEnd()
{
    const int line = peek()->line;
    ++m_pos;
    const Token *kindTok = peek();
    static const QStringList kinds = {"model", "if", "for"};
    if (!kindTok || kindTok->kind != Tok::Ident || !kinds.contains(kindTok->lower)) {
        // Taken as closing the innermost block, so that one fault gives one finding.
        if (!m_blocks.isEmpty())
            m_blocks.removeLast();
        report(line,
               QStringLiteral("'End' must name the block it closes: End Model, End If or "
                              "End For"));
        return;
    }
    ++m_pos;
    const QString kind = kindTok->lower;
    const QString shown = QStringLiteral("End ") + kindTok->text;
    if (m_blocks.isEmpty()) {
        report(line, QStringLiteral("'%1' closes a block that was never opened").arg(shown));
        return;
    }
    if (m_blocks.last().kind != kind) {
        int match = -1;
        for (int i = m_blocks.size() - 1; i >= 0; --i)
            if (m_blocks.at(i).kind == kind) {
                match = i;
                break;
            }
        if (match < 0) {
            report(line, QStringLiteral("'%1' closes a block that was never opened").arg(shown));
            return;
        }
        // The blocks opened after the one this End closes were never closed.
        while (m_blocks.size() > match + 1) {
            const Block b = m_blocks.takeLast();
            const QString k = b.kind == u"model" ? QStringLiteral("Model")
                              : b.kind == u"if"  ? QStringLiteral("If")
                                                 : QStringLiteral("For");
            report(b.line,
                   QStringLiteral("'%1' block opened here is never closed (missing 'End "
                                  "%1' before '%2' at line %3)")
                       .arg(k, shown)
                       .arg(line));
        }
    }
    m_blocks.removeLast();
    expectEnd();
}

void Checker::parseIf(bool elseIf)
{
    const int line = peek()->line;
    ++m_pos;
    if (elseIf) {
        if (m_blocks.isEmpty() || m_blocks.last().kind != u"if") {
            report(line, QStringLiteral("'ElseIf' without an open 'If' block"));
            return;
        }
        if (m_blocks.last().sawElse)
            report(line,
                   QStringLiteral("'ElseIf' after the 'Else' of the 'If' block of line %1")
                       .arg(m_blocks.last().line));
    } else {
        pushBlock(Block{QStringLiteral("if"), line, QString(), false, false, QString()});
    }
    if (atEnd() || isWord(peek(), "then"))
        return fail(QStringLiteral("expected a condition after '%1'")
                        .arg(elseIf ? QStringLiteral("ElseIf") : QStringLiteral("If")));
    parseExpression();
    if (m_failed)
        return;
    if (!acceptWord("then"))
        return fail(
            QStringLiteral("expected 'Then' after the condition, found %1").arg(describeHere()));
    if (!atEnd())
        fail(QStringLiteral("nothing may follow 'Then' on its line; write the statements on the "
                            "lines below"));
}

void Checker::parseFor()
{
    const int line = peek()->line;
    ++m_pos;
    pushBlock(Block{QStringLiteral("for"), line, QString(), false, false, QString()});
    const Token *var = peek();
    if (expectName(QStringLiteral("the loop variable")).isEmpty())
        return;
    const Symbol sym = m_symbols.value(var->text);
    if (sym.kind != SymKind::LoopVariable && sym.kind != SymKind::Variable)
        report(var->line,
               QStringLiteral("'%1' is %2 and cannot count a loop")
                   .arg(var->text, kindName(sym.kind)));
    else if (sym.dims > 0)
        report(var->line,
               QStringLiteral("'%1' is an array and cannot count a loop").arg(var->text));
    if (!acceptOp("="))
        return fail(
            QStringLiteral("expected '=' after the loop variable, found %1").arg(describeHere()));
    parseExpression();
    if (m_failed)
        return;
    if (!acceptWord("to"))
        return fail(QStringLiteral("expected 'To' and the last value of the loop, found %1")
                        .arg(describeHere()));
    parseExpression();
    if (m_failed)
        return;
    if (acceptWord("step"))
        parseExpression();
    expectEnd();
}

void Checker::parseConstraint()
{
    const int line = peek()->line;
    ++m_pos;
    if (!inModel())
        report(line, QStringLiteral("a Constraint belongs inside a Model"));
    // an optional label: "Constraint fence: ..."
    if (peek() && peek()->kind == Tok::Ident && isOp(peek(1), ":")) {
        if (expectName(QStringLiteral("the constraint's label")).isEmpty())
            return;
        ++m_pos;
    }
    parseSum();
    if (m_failed)
        return;
    if (!(acceptOp("<=") || acceptOp(">=") || acceptOp("==")))
        return fail(QStringLiteral("a constraint compares two sides with <=, >= or ==; found %1")
                        .arg(describeHere()));
    parseSum();
    expectEnd();
}

void Checker::parseResidual()
{
    const int line = peek()->line;
    ++m_pos;
    if (!inModel())
        report(line, QStringLiteral("a Residual belongs inside a Model"));
    else
        ++m_models[currentModel()].residuals;
    if (atEnd())
        return fail(QStringLiteral("expected the expression the DAE solver drives to zero"));
    parseSum();
    expectEnd();
}

void Checker::parseWithOptions(const QStringList &allowed)
{
    do {
        const Token *opt = peek();
        if (!opt || opt->kind != Tok::Ident) {
            return fail(QStringLiteral("expected an option name after 'With', found %1")
                            .arg(describeHere()));
        }
        bool known = false;
        for (const QString &a : allowed)
            known = known || a.toLower() == opt->lower;
        if (!known) {
            return fail(QStringLiteral("unknown option '%1'; this statement takes %2")
                            .arg(opt->text, allowed.join(QStringLiteral(", "))));
        }
        ++m_pos;
        if (!acceptOp("="))
            return fail(QStringLiteral("expected '=' after the option '%1', found %2")
                            .arg(opt->text, describeHere()));
        parseExpression();
        if (m_failed)
            return;
    } while (acceptOp(","));
}

void Checker::recordSet(const QString &name, bool derivative)
{
    const QString model = currentModel();
    if (model.isEmpty())
        return;
    if (derivative)
        m_models[model].derivatives.insert(name);
    else
        m_models[model].assigned.insert(name);
}

bool Checker::noDuplicates(const QList<Token> &names)
{
    QSet<QString> seen;
    for (const Token &t : names) {
        if (seen.contains(t.text)) {
            report(t.line, QStringLiteral("'%1' is listed twice").arg(t.text));
            return false;
        }
        seen.insert(t.text);
    }
    return true;
}

void Checker::checkSolverUses()
{
    for (const SolverUse &use : std::as_const(m_uses)) {
        const ModelInfo info = m_models.value(use.model);
        if (use.isFind) {
            for (const Token &t : use.names)
                if (!info.assigned.contains(t.text))
                    report(use.line,
                           QStringLiteral("the model '%1' never sets '%2', the objective of this "
                                          "Find")
                               .arg(use.model, t.text));
            continue;
        }
        QStringList withoutDerivative;
        QSet<QString> listed;
        for (const Token &t : use.names) {
            listed.insert(t.text);
            if (!info.derivatives.contains(t.text))
                withoutDerivative << t.text;
        }
        if (use.dae) {
            if (withoutDerivative.size() != info.residuals)
                report(use.line,
                       QStringLiteral("the model '%1' has %2 Residual statement(s) for %3 state(s) "
                                      "without a derivative")
                           .arg(use.model,
                                QString::number(info.residuals),
                                QString::number(withoutDerivative.size())));
        } else {
            for (const QString &name : std::as_const(withoutDerivative))
                report(use.line,
                       QStringLiteral("the model '%1' never sets %2', the derivative of a state "
                                      "of this Initiate")
                           .arg(use.model, name));
            if (info.residuals > 0)
                report(use.line,
                       QStringLiteral("the model '%1' has Residual statements, which only the DAE "
                                      "integrator keeps")
                           .arg(use.model));
        }
        QStringList unlisted;
        for (const QString &name : info.derivatives)
            if (!listed.contains(name))
                unlisted << name;
        unlisted.sort();
        for (const QString &name : std::as_const(unlisted))
            report(use.line,
                   QStringLiteral("the model '%1' sets %2' but this Initiate does not list '%2' "
                                  "after Equations")
                       .arg(use.model, name));
    }
}

QString Checker::parseModelReference(bool &runnable)
{
    runnable = false;
    const Token *modelTok = peek();
    const QString model = expectName(QStringLiteral("the model's name"));
    if (model.isEmpty())
        return model;
    const auto mit = m_symbols.constFind(model);
    if (mit == m_symbols.constEnd() || mit->kind != SymKind::Model)
        report(modelTok->line,
               QStringLiteral("the model '%1' is never defined").arg(modelTok->text));
    else if (model == currentModel())
        report(modelTok->line,
               QStringLiteral("the model '%1' cannot run itself").arg(modelTok->text));
    else
        runnable = true;
    return model;
}

void Checker::parseFind()
{
    ++m_pos;
    const QList<Token> unknowns = parseNameList(QStringLiteral("the name of an unknown to find"));
    if (m_failed)
        return;
    noDuplicates(unknowns);
    for (const Token &u : unknowns)
        recordSet(u.text, false);
    int scalarUnknowns = 0;
    bool countable = true;
    for (const Token &u : unknowns) {
        const auto it = m_symbols.constFind(u.text);
        if (it == m_symbols.constEnd())
            report(u.line, unknownVariable(u.text));
        else if (it->kind != SymKind::Variable)
            report(u.line,
                   QStringLiteral("'%1' is %2; Find changes variables only")
                       .arg(u.text, kindName(it->kind)));
        else if (it->dims > 0)
            countable = false;
        else
            ++scalarUnknowns;
    }
    if (!acceptWord("in"))
        return fail(
            QStringLiteral("expected 'In' and the model's name, found %1").arg(describeHere()));
    const Token *modelTok = peek();
    bool runnable = false;
    const QString model = parseModelReference(runnable);
    if (model.isEmpty())
        return;
    if (!acceptWord("using"))
        return fail(
            QStringLiteral("expected 'Using' and a solver's name, found %1").arg(describeHere()));
    const Token *solverTok = peek();
    if (!solverTok || solverTok->kind != Tok::Ident)
        return fail(QStringLiteral("expected a solver's name, found %1").arg(describeHere()));
    ++m_pos;
    const auto sit = solvers().constFind(solverTok->lower);
    std::optional<SolverKind> kind;
    if (sit == solvers().constEnd())
        report(solverTok->line,
               QStringLiteral("unknown solver '%1'").arg(solverTok->text)
                   + suggest(solverTok->text, solverNames()));
    else if (*sit == SolverKind::Integrator)
        report(solverTok->line,
               QStringLiteral("%1 integrates differential equations; use it with Initiate, not "
                              "Find")
                   .arg(solverTok->text.toUpper()));
    else
        kind = *sit;
    if (!acceptWord("to"))
        return fail(QStringLiteral("expected 'To' and the objective (Minimize, Maximize, Zero or "
                                   "Fit), found %1")
                        .arg(describeHere()));
    const Token *goalTok = peek();
    static const QStringList goals = {"minimize", "maximize", "zero", "fit"};
    if (!goalTok || goalTok->kind != Tok::Ident || !goals.contains(goalTok->lower))
        return fail(QStringLiteral("expected Minimize, Maximize, Zero or Fit after 'To', found %1")
                        .arg(describeHere()));
    ++m_pos;
    const QString goal = goalTok->lower;
    if (kind) {
        const QString s = solverTok->text.toUpper();
        if (*kind == SolverKind::RootFinder && goal != u"zero")
            report(goalTok->line, QStringLiteral("%1 finds roots: write 'To Zero'").arg(s));
        else if (*kind == SolverKind::LeastSquares && goal != u"fit")
            report(goalTok->line, QStringLiteral("%1 fits data: write 'To Fit'").arg(s));
        else if (*kind == SolverKind::Optimizer && goal != u"minimize" && goal != u"maximize")
            report(goalTok->line,
                   QStringLiteral("%1 optimizes: write 'To Minimize' or 'To Maximize'").arg(s));
    }
    const QList<Token> targets = parseNameList(QStringLiteral("the objective's name"));
    if (m_failed)
        return;
    noDuplicates(targets);
    if (runnable)
        m_uses << SolverUse{modelTok->line, model, targets, true, false};
    int scalarTargets = 0;
    for (const Token &t : targets) {
        const auto it = m_symbols.constFind(t.text);
        if (it == m_symbols.constEnd())
            report(t.line, unknownVariable(t.text));
        else if (it->kind != SymKind::Variable)
            report(t.line,
                   QStringLiteral("'%1' is %2; the objective must be a variable the model "
                                  "sets")
                       .arg(t.text, kindName(it->kind)));
        else if (it->dims > 0)
            countable = false;
        else
            ++scalarTargets;
    }
    if ((goal == u"minimize" || goal == u"maximize") && targets.size() != 1)
        report(goalTok->line,
               QStringLiteral("To %1 takes exactly one objective").arg(goalTok->text));
    if (kind == SolverKind::RootFinder && goal == u"zero" && countable
        && scalarUnknowns != scalarTargets)
        report(goalTok->line,
               QStringLiteral("%1 needs as many equations as unknowns: %2 unknowns, %3 to zero")
                   .arg(solverTok->text.toUpper(),
                        QString::number(scalarUnknowns),
                        QString::number(scalarTargets)));
    if (acceptWord("with"))
        parseWithOptions({QStringLiteral("Tolerance"), QStringLiteral("MaxIter")});
    expectEnd();
}

void Checker::parseInitiate()
{
    ++m_pos;
    const Token *solverTok = peek();
    if (!solverTok || solverTok->kind != Tok::Ident)
        return fail(QStringLiteral("expected an integrator's name after 'Initiate', found %1")
                        .arg(describeHere()));
    ++m_pos;
    const auto sit = solvers().constFind(solverTok->lower);
    if (sit == solvers().constEnd())
        report(solverTok->line,
               QStringLiteral("unknown solver '%1'").arg(solverTok->text)
                   + suggest(solverTok->text, solverNames()));
    else if (*sit != SolverKind::Integrator)
        report(solverTok->line,
               QStringLiteral("%1 is not an integrator; Initiate takes RKF45, RK4, EULER, ADAMS, "
                              "GEAR or DAE")
                   .arg(solverTok->text.toUpper()));
    if (!acceptWord("for"))
        return fail(
            QStringLiteral("expected 'For' and the model's name, found %1").arg(describeHere()));
    const Token *modelTok = peek();
    bool runnable = false;
    const QString model = parseModelReference(runnable);
    if (model.isEmpty())
        return;
    if (!acceptWord("equations"))
        return fail(QStringLiteral("expected 'Equations' and the state variables, found %1")
                        .arg(describeHere()));
    const QList<Token> states = parseNameList(QStringLiteral("a state variable"));
    if (m_failed)
        return;
    if (noDuplicates(states) && runnable)
        m_uses << SolverUse{modelTok->line, model, states, false, solverTok->lower == u"dae"};
    for (const Token &s : states)
        recordSet(s.text, false);
    for (const Token &s : states) {
        const auto it = m_symbols.constFind(s.text);
        if (it == m_symbols.constEnd())
            report(s.line, unknownVariable(s.text));
        else if (it->kind != SymKind::Variable)
            report(s.line,
                   QStringLiteral("'%1' is %2; only variables can be integrated")
                       .arg(s.text, kindName(it->kind)));
    }
    if (!acceptWord("of"))
        return fail(QStringLiteral("expected 'Of' and the independent variable, found %1")
                        .arg(describeHere()));
    const Token *indep = peek();
    if (expectName(QStringLiteral("the independent variable")).isEmpty())
        return;
    recordSet(indep->text, false);
    {
        const auto it = m_symbols.constFind(indep->text);
        if (it == m_symbols.constEnd())
            report(indep->line, unknownVariable(indep->text));
        else if (it->kind != SymKind::Variable || it->dims > 0)
            report(indep->line,
                   QStringLiteral("the independent variable '%1' must be a scalar variable")
                       .arg(indep->text));
    }
    if (!acceptWord("span"))
        return fail(QStringLiteral("expected 'Span' with the first and last value of %1, found %2")
                        .arg(indep->text, describeHere()));
    parseExpression();
    if (m_failed)
        return;
    if (!acceptOp(","))
        return fail(QStringLiteral("expected ',' and the last value of the span, found %1")
                        .arg(describeHere()));
    parseExpression();
    if (m_failed)
        return;
    if (!acceptWord("step"))
        return fail(
            QStringLiteral("expected 'Step' and the output step, found %1").arg(describeHere()));
    parseExpression();
    if (m_failed)
        return;
    if (acceptWord("until")) {
        parseExpression();
        if (m_failed)
            return;
    }
    if (acceptWord("with"))
        parseWithOptions({QStringLiteral("Tolerance"),
                          QStringLiteral("AbsTolerance"),
                          QStringLiteral("StepSize")});
    expectEnd();
}

void Checker::parsePrint()
{
    ++m_pos;
    if (atEnd())
        return; // an empty line of output
    do {
        if (peek() && peek()->kind == Tok::String) {
            ++m_pos;
            continue;
        }
        parseExpression();
        if (m_failed)
            return;
    } while (acceptOp(","));
    expectEnd();
}

void Checker::parsePlot()
{
    ++m_pos;
    if (atEnd() || isWord(peek(), "vs"))
        return fail(QStringLiteral("expected what to plot before 'Vs'"));
    int plotted = 0;
    do {
        parseExpression();
        if (m_failed)
            return;
        ++plotted;
    } while (acceptOp(","));
    if (!acceptWord("vs"))
        return fail(
            QStringLiteral("expected 'Vs' and the horizontal axis, found %1").arg(describeHere()));
    parseExpression();
    if (m_failed)
        return;
    QSet<QString> seen;
    while (!atEnd()) {
        const Token *clause = peek();
        const bool flag = isWord(clause, "markers") || isWord(clause, "dashed")
                          || isWord(clause, "logx") || isWord(clause, "logy");
        if (!(flag || isWord(clause, "title") || isWord(clause, "xlabel")
              || isWord(clause, "ylabel") || isWord(clause, "named")))
            return fail(QStringLiteral("expected Named, Title, XLabel, YLabel, Markers, Dashed, "
                                       "LogX or LogY, found %1")
                            .arg(describeHere()));
        ++m_pos;
        if (seen.contains(clause->lower))
            report(clause->line, QStringLiteral("'%1' is given twice").arg(clause->text));
        seen.insert(clause->lower);
        if (seen.contains(QStringLiteral("markers")) && seen.contains(QStringLiteral("dashed"))
            && (clause->lower == u"markers" || clause->lower == u"dashed"))
            report(clause->line,
                   QStringLiteral("a series is drawn either with Markers or Dashed, not both"));
        if (flag)
            continue;
        if (clause->lower == u"named" && plotted > 1)
            report(clause->line,
                   QStringLiteral("'Named' names the series of a Plot of one value; this Plot "
                                  "draws %1 (give each its own Plot)")
                       .arg(plotted));
        if (clause->lower == u"named") {
            // the series' name: texts and values, as in Print
            do {
                if (peek() && peek()->kind == Tok::String) {
                    ++m_pos;
                    continue;
                }
                parseExpression();
                if (m_failed)
                    return;
            } while (acceptOp(","));
            continue;
        }
        if (!peek() || peek()->kind != Tok::String)
            return fail(QStringLiteral("expected a text in quotes after '%1', found %2")
                            .arg(clause->text, describeHere()));
        ++m_pos;
    }
}

void Checker::parseTitle()
{
    ++m_pos;
    if (!m_blocks.isEmpty())
        report(peek(-1)->line, QStringLiteral("the Title belongs outside every block"));
    if (!peek() || peek()->kind != Tok::String)
        return fail(QStringLiteral("expected the title in quotes, found %1").arg(describeHere()));
    ++m_pos;
    expectEnd();
}

void Checker::parseAssignment()
{
    const Token &target = *peek();
    ++m_pos;
    // Something that is not an assignment: report the first word as the fault.
    if (!isOp(peek(), "=") && !isOp(peek(), "[")) {
        if (!m_symbols.contains(target.text) && !target.prime) {
            report(target.line,
                   QStringLiteral("unknown statement '%1'").arg(target.text)
                       + suggest(target.text, statementWords()));
            m_pos = m_tokens->size();
            return;
        }
        return fail(QStringLiteral("malformed assignment: expected '=' after '%1', found %2")
                        .arg(target.text + (target.prime ? QStringLiteral("'") : QString()),
                             describeHere()));
    }
    int indexCount = 0;
    const bool indexed = acceptOp("[");
    if (indexed) {
        indexCount = parseArguments("]");
        if (m_failed)
            return;
    }
    if (!acceptOp("="))
        return fail(QStringLiteral("malformed assignment: expected '=' after '%1[...]', found %2")
                        .arg(target.text, describeHere()));
    if (atEnd())
        return fail(QStringLiteral("malformed assignment: nothing after '='"));

    recordSet(target.text, target.prime);
    const auto it = m_symbols.constFind(target.text);
    if (target.lower == u"pi" || target.lower == u"iteration") {
        report(target.line,
               QStringLiteral("'%1' is built in and cannot be assigned").arg(target.text));
    } else if (it == m_symbols.constEnd()) {
        report(target.line, unknownVariable(target.text));
    } else if (it->kind != SymKind::Variable) {
        report(target.line,
               QStringLiteral("'%1' is %2 and cannot be assigned")
                   .arg(target.text, kindName(it->kind)));
    } else {
        if (target.prime && !inModel())
            report(target.line,
                   QStringLiteral("a derivative (%1') is set inside a Model").arg(target.text));
        if (indexed && it->dims == 0)
            report(target.line,
                   QStringLiteral("'%1' is not an array and takes no index").arg(target.text));
        else if (indexed && indexCount != it->dims)
            report(target.line,
                   QStringLiteral("'%1' has %2 dimension(s) but %3 index(es) are given")
                       .arg(target.text, QString::number(it->dims), QString::number(indexCount)));
        else if (!indexed && it->dims > 0)
            report(target.line,
                   QStringLiteral("'%1' is an array: assign its elements, %1[i] = ...")
                       .arg(target.text));
    }
    parseExpression();
    expectEnd();
}

// Expressions ------------------------------------------------------------

// Expressions nest by recursion; a limit keeps hostile input (thousands of
// parentheses or signs) from exhausting the stack.
constexpr int maxNesting = 200;

struct NestingGuard
{
    explicit NestingGuard(int &depth)
        : m_depth(depth)
    {
        ++m_depth;
    }
    ~NestingGuard() { --m_depth; }
    int &m_depth;
};

void Checker::parseExpression()
{
    NestingGuard guard(m_depth);
    if (m_depth > maxNesting)
        return fail(QStringLiteral("the expression is nested too deeply"));
    parseOr();
}

void Checker::parseOr()
{
    parseAnd();
    while (!m_failed && acceptWord("or"))
        parseAnd();
}

void Checker::parseAnd()
{
    parseNot();
    while (!m_failed && acceptWord("and"))
        parseNot();
}

void Checker::parseNot()
{
    NestingGuard guard(m_depth);
    if (m_depth > maxNesting)
        return fail(QStringLiteral("the expression is nested too deeply"));
    if (acceptWord("not"))
        return parseNot();
    parseComparison();
}

void Checker::parseComparison()
{
    parseSum();
    if (m_failed)
        return;
    static const char *const relations[] = {"<", "<=", ">", ">=", "==", "<>"};
    for (const char *rel : relations) {
        if (acceptOp(rel)) {
            parseSum();
            if (!m_failed) {
                for (const char *again : relations)
                    if (isOp(peek(), again))
                        return fail(QStringLiteral("comparisons cannot be chained; join them with "
                                                   "'and'"));
            }
            return;
        }
    }
    if (isOp(peek(), "="))
        fail(QStringLiteral("'=' assigns; compare with '=='"));
}

void Checker::parseSum()
{
    parseProduct();
    while (!m_failed && (acceptOp("+") || acceptOp("-")))
        parseProduct();
}

void Checker::parseProduct()
{
    parseUnary();
    while (!m_failed && (acceptOp("*") || acceptOp("/")))
        parseUnary();
}

void Checker::parseUnary()
{
    NestingGuard guard(m_depth);
    if (m_depth > maxNesting)
        return fail(QStringLiteral("the expression is nested too deeply"));
    if (acceptOp("-") || acceptOp("+"))
        return parseUnary();
    parsePower();
}

void Checker::parsePower()
{
    parsePrimary();
    if (!m_failed && acceptOp("^"))
        parseUnary(); // right-associative: 2^3^2 = 2^9
}

int Checker::parseArguments(const char *close)
{
    if (acceptOp(close))
        return 0;
    int count = 0;
    do {
        parseExpression();
        if (m_failed)
            return count;
        ++count;
    } while (acceptOp(","));
    if (!acceptOp(close)) {
        fail(QStringLiteral("expected ',' or '%1', found %2")
                 .arg(QLatin1String(close), describeHere()));
    }
    return count;
}

void Checker::parsePrimary()
{
    const Token *t = peek();
    if (!t)
        return fail(QStringLiteral("the expression is incomplete"));
    if (t->kind == Tok::Number) {
        ++m_pos;
        return;
    }
    if (t->kind == Tok::String)
        return fail(QStringLiteral("a text in quotes cannot be part of a calculation"));
    if (isOp(t, "(")) {
        ++m_pos;
        parseExpression();
        if (m_failed)
            return;
        if (!acceptOp(")"))
            fail(QStringLiteral("expected ')', found %1").arg(describeHere()));
        return;
    }
    if (t->kind != Tok::Ident || reservedWords().contains(t->lower))
        return fail(
            QStringLiteral("expected a number, a name or '(', found %1").arg(describeHere()));
    ++m_pos;
    if (!t->prime && isOp(peek(), "(")) {
        ++m_pos;
        const int line = t->line;
        const int count = parseArguments(")");
        if (m_failed)
            return;
        const auto bit = builtins().constFind(t->lower);
        if (bit != builtins().constEnd()) {
            if (*bit >= 0 && count != *bit)
                report(line,
                       QStringLiteral("'%1' takes %2 argument(s), %3 given")
                           .arg(t->text, QString::number(*bit), QString::number(count)));
            else if (*bit < 0 && count < 1)
                report(line, QStringLiteral("'%1' takes at least one argument").arg(t->text));
            return;
        }
        const auto it = m_symbols.constFind(t->text);
        if (it == m_symbols.constEnd())
            report(line,
                   QStringLiteral("unknown function '%1'").arg(t->text)
                       + suggest(t->text, functionNames()));
        else if (it->kind != SymKind::Function)
            report(line,
                   QStringLiteral("'%1' is %2, not a function; an array takes [ ]")
                       .arg(t->text, kindName(it->kind)));
        else if (it->arity != count)
            report(line,
                   QStringLiteral("'%1' takes %2 argument(s), %3 given")
                       .arg(t->text, QString::number(it->arity), QString::number(count)));
        return;
    }
    int indexCount = 0;
    const bool indexed = acceptOp("[");
    if (indexed) {
        indexCount = parseArguments("]");
        if (m_failed)
            return;
    }
    checkNameUse(*t, indexCount, indexed);
}

void Checker::checkNameUse(const Token &name, int indexCount, bool indexed)
{
    if (m_functionParams.contains(name.text) && !indexed && !name.prime)
        return;
    // pi, and the number of the running Find's iteration
    if ((name.lower == u"pi" || name.lower == u"iteration") && !indexed && !name.prime)
        return;
    if (builtins().contains(name.lower)) {
        report(name.line,
               QStringLiteral("the function '%1' needs its arguments in ( )").arg(name.text));
        return;
    }
    const auto it = m_symbols.constFind(name.text);
    if (it == m_symbols.constEnd()) {
        report(name.line,
               QStringLiteral("unknown name '%1'").arg(name.text)
                   + suggest(name.text, valueNames()));
        return;
    }
    if (it->kind == SymKind::Model || it->kind == SymKind::Function) {
        report(name.line,
               QStringLiteral("'%1' is %2 and has no value").arg(name.text, kindName(it->kind)));
        return;
    }
    if (name.prime && it->kind != SymKind::Variable) {
        report(
            name.line,
            QStringLiteral("'%1' is %2 and has no derivative").arg(name.text, kindName(it->kind)));
        return;
    }
    if (indexed && it->dims == 0)
        report(name.line, QStringLiteral("'%1' is not an array and takes no index").arg(name.text));
    else if (indexed && indexCount != it->dims)
        report(name.line,
               QStringLiteral("'%1' has %2 dimension(s) but %3 index(es) are given")
                   .arg(name.text, QString::number(it->dims), QString::number(indexCount)));
}

} // namespace

QList<TyFinding> checkTessaly(const QByteArray &source, qsizetype *total)
{
    Checker checker;
    QList<TyFinding> findings = checker.run(source);
    if (total)
        *total = checker.total();
    return findings;
}
