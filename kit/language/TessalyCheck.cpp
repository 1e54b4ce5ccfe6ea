#include "TessalyCheck.h"
#include "TyLexer.h"
#include "TySyntax.h"

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
//  3. the parser (TySyntax) reads each statement into its tree, stopping at the
//     first fault; the checker walks that tree in the order it was written and
//     checks the nesting of blocks and every name, solver and clause against
//     those declarations, reporting the fault where the reading stopped.

namespace {

using ty::Expr;
using ty::ExprPtr;
using ty::LineKind;
using ty::Op;
using ty::ParsedLine;
using ty::Statement;
using ty::Stmt;
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

} // namespace

QString builtinCallFault(const QString &name, qsizetype count)
{
    const auto bit = builtins().constFind(name.toLower());
    if (bit == builtins().constEnd())
        return {};
    if (*bit >= 0 && count != *bit)
        return QStringLiteral("'%1' takes %2 argument(s), %3 given")
            .arg(name, QString::number(*bit), QString::number(count));
    if (*bit < 0 && count < 1)
        return QStringLiteral("'%1' takes at least one argument").arg(name);
    return {};
}

namespace {

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

// A name as a statement lists it, with its line.
struct Named
{
    QString text;
    int line = 0;
};

QList<Named> listed(const QStringList &names, const std::vector<int> &lines)
{
    QList<Named> out;
    for (qsizetype i = 0; i < names.size(); ++i)
        out.append({names.at(i), lines.at(std::size_t(i))});
    return out;
}

class Checker
{
public:
    QList<TyFinding> run(const QByteArray &source);
    qsizetype total() const { return m_total; }

private:
    // The first findings are kept, all are counted.
    void report(int line, const QString &message)
    {
        ++m_total;
        if (m_findings.size() < MaxFindings)
            m_findings.append({line, message});
    }
    qsizetype m_total = 0;

    // declaration scan
    void declare(const QString &name, const Symbol &symbol, int line);
    void scanStatement(const Statement &st);
    void finishDeclarations();
    QList<Named> m_loopNames;

    // checking, one statement's tree at a time
    void checkStatement(const Statement &st);
    const ParsedLine *m_line = nullptr;
    bool m_stopped = false; // the fault where the reading stopped is reported
    // Reports the fault the reading of the statement stopped at, once.
    void stop()
    {
        if (m_stopped || !m_line->failed)
            return;
        m_stopped = true;
        if (!m_line->silent && !m_line->error.isEmpty())
            report(m_line->errorLine, m_line->error);
    }
    // Checks an expression a statement holds; false (the fault reported) when its
    // reading stopped in it or right after it.
    bool walkTop(const ExprPtr &e)
    {
        if (!e || !walk(*e) || (m_line->failed && e.get() == m_line->stopAt)) {
            stop();
            return false;
        }
        return true;
    }
    bool walk(const Expr &e);
    void checkCall(const Expr &e);
    void checkNameUse(const Expr &e);

    void checkBroken(const ParsedLine &p);
    void checkDeclaration(const Stmt &s);
    void checkFunction(const Stmt &s);
    void checkModel(const Stmt &s);
    void checkEnd();
    void checkIf(const Stmt &s, bool elseIf);
    void checkElse();
    void checkFor(const Stmt &s);
    void checkConstraint(const Stmt &s);
    void checkResidual(const Stmt &s);
    void checkFind(const Stmt &s);
    void checkInitiate(const Stmt &s);
    void checkPrint(const Stmt &s);
    void checkPlot(const Stmt &s);
    void checkTitle();
    void checkAssignment(const Stmt &s);
    bool checkOptions(const Stmt &s);
    bool checkItems(const Stmt &s, std::size_t from, std::size_t to);
    // The model a Find or Initiate names; runnable when it is defined and is not
    // the model the statement stands in.
    bool checkModelReference(const QString &model);

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
        QList<Named> names; // Find: its objectives; Initiate: its states
        bool isFind = false;
        bool dae = false;
    };
    QHash<QString, ModelInfo> m_models;
    QList<SolverUse> m_uses;
    void recordSet(const QString &name, bool derivative);
    void checkSolverUses();
    bool noDuplicates(const QList<Named> &names);
};

QString blockWord(const QString &kind)
{
    return kind == u"model" ? QStringLiteral("Model")
           : kind == u"if"  ? QStringLiteral("If")
                            : QStringLiteral("For");
}

QList<TyFinding> Checker::run(const QByteArray &source)
{
    // Two passes over the text, one statement at a time, so memory stays a small
    // multiple of the file's size: the first collects the declarations (a name may
    // be used before the line that declares them), the second checks each statement.
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
        const QString kind = blockWord(block.kind);
        report(
            block.line,
            QStringLiteral("'%1' block opened here is never closed (missing 'End %1')").arg(kind));
    }
    std::stable_sort(m_findings.begin(),
                     m_findings.end(),
                     [](const TyFinding &a, const TyFinding &b) { return a.line < b.line; });
    return m_findings;
}

void Checker::declare(const QString &name, const Symbol &symbol, int line)
{
    const QString key = name;
    if (ty::reservedWords().contains(key.toLower())) {
        report(line,
               QStringLiteral("'%1' is a word of the language and cannot name anything").arg(name));
        return;
    }
    if (builtins().contains(key.toLower()) || key.toLower() == u"pi"
        || key.toLower() == u"iteration") {
        report(line, QStringLiteral("'%1' is built in and cannot be declared again").arg(name));
        return;
    }
    const auto it = m_symbols.constFind(key);
    if (it != m_symbols.constEnd()) {
        if (it->kind == SymKind::LoopVariable && symbol.kind == SymKind::LoopVariable)
            return; // several loops may count with the same name
        report(line,
               QStringLiteral("'%1' is already declared at line %2")
                   .arg(name, QString::number(it->line)));
        return;
    }
    m_symbols.insert(key, symbol);
}

// The declaration scan reads the tokens, not the tree: it takes every name a
// declaration lists, even in a statement whose reading stops at a fault, so that one
// fault does not make every later use of its names a finding too.
void Checker::scanStatement(const Statement &st)
{
    if (st.broken)
        return;
    const QList<Token> &tk = st.tokens;
    const auto op = [&](int i, const char *o) { return i < tk.size() && ty::isOp(tk.at(i), o); };
    const QString head = tk.first().kind == Tok::Ident ? tk.first().lower : QString();
    if (head == u"parameter" || head == u"variable") {
        const SymKind kind = head == u"parameter" ? SymKind::Parameter : SymKind::Variable;
        int depth = 0;
        bool expectName = true;
        for (int i = 1; i < tk.size(); ++i) {
            const Token &t = tk.at(i);
            if (op(i, "(") || op(i, "["))
                ++depth;
            else if (op(i, ")") || op(i, "]"))
                --depth;
            else if (op(i, ",") && depth == 0)
                expectName = true;
            else if (expectName && t.kind == Tok::Ident && depth == 0) {
                expectName = false;
                Symbol sym{kind, 0, 0, t.line};
                if (op(i + 1, "[")) {
                    int d = 1, commas = 0;
                    for (int j = i + 2; j < tk.size() && d > 0; ++j) {
                        if (op(j, "[") || op(j, "("))
                            ++d;
                        else if (op(j, "]") || op(j, ")"))
                            --d;
                        else if (op(j, ",") && d == 1)
                            ++commas;
                    }
                    sym.dims = commas + 1;
                }
                declare(t.text, sym, t.line);
            } else {
                expectName = false;
            }
        }
    } else if ((head == u"function" || head == u"model") && tk.size() > 1
               && tk.at(1).kind == Tok::Ident) {
        Symbol sym{head == u"model" ? SymKind::Model : SymKind::Function, 0, 0, tk.at(1).line};
        if (head == u"function") {
            int params = 0;
            if (op(2, "(")) {
                for (int j = 3; j < tk.size() && !op(j, ")"); ++j)
                    if (tk.at(j).kind == Tok::Ident)
                        ++params;
            }
            sym.arity = params;
        }
        declare(tk.at(1).text, sym, tk.at(1).line);
    } else if (head == u"for" && tk.size() > 1 && tk.at(1).kind == Tok::Ident) {
        m_loopNames.append({tk.at(1).text, tk.at(1).line});
    }
}

void Checker::finishDeclarations()
{
    // Loop variables are declared last so that an explicit declaration wins.
    for (const Named &t : std::as_const(m_loopNames)) {
        if (!m_symbols.contains(t.text))
            declare(t.text, Symbol{SymKind::LoopVariable, 0, 0, t.line}, t.line);
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

void Checker::checkStatement(const Statement &st)
{
    const ParsedLine p = ty::parseLine(st);
    m_line = &p;
    m_stopped = false;
    const Stmt *s = p.stmt.get();
    switch (p.kind) {
    case LineKind::Broken:
        checkBroken(p);
        break;
    case LineKind::Unknown:
        stop();
        break;
    case LineKind::ElseIf:
        checkIf(*s, true);
        break;
    case LineKind::Else:
        checkElse();
        break;
    case LineKind::End:
        checkEnd();
        break;
    case LineKind::Statement:
        switch (s->kind) {
        case ty::StmtKind::Declare:
            checkDeclaration(*s);
            break;
        case ty::StmtKind::Function:
            checkFunction(*s);
            break;
        case ty::StmtKind::Model:
            checkModel(*s);
            break;
        case ty::StmtKind::If:
            checkIf(*s, false);
            break;
        case ty::StmtKind::For:
            checkFor(*s);
            break;
        case ty::StmtKind::Constraint:
            checkConstraint(*s);
            break;
        case ty::StmtKind::Residual:
            checkResidual(*s);
            break;
        case ty::StmtKind::Find:
            checkFind(*s);
            break;
        case ty::StmtKind::Initiate:
            checkInitiate(*s);
            break;
        case ty::StmtKind::Print:
            checkPrint(*s);
            break;
        case ty::StmtKind::Plot:
            checkPlot(*s);
            break;
        case ty::StmtKind::Title:
            checkTitle();
            break;
        case ty::StmtKind::Assign:
            checkAssignment(*s);
            break;
        }
        break;
    }
    m_line = nullptr;
}

void Checker::checkBroken(const ParsedLine &p)
{
    stop(); // unbalanced parentheses; the lexer has reported its own faults
    // Keep the block structure in step so that one bad line gives one finding.
    if (p.head == u"model" || p.head == u"if" || p.head == u"for") {
        Block b;
        b.kind = p.head;
        b.line = p.line;
        b.name = p.second;
        pushBlock(b);
    } else if (p.head == u"end" && !p.second.isEmpty()) {
        if (!m_blocks.isEmpty() && m_blocks.last().kind == p.second)
            m_blocks.removeLast();
    }
}

void Checker::checkDeclaration(const Stmt &s)
{
    for (std::size_t i = 0; i < s.decls.size(); ++i) {
        const ty::Decl &d = s.decls.at(i);
        const ty::DeclPart &part = m_line->decls.at(i);
        if (part.stage == 0)
            return stop();
        QList<int> sizes; // literal sizes; -1 when given by an expression
        for (std::size_t k = 0; k < d.sizes.size(); ++k) {
            if (!walkTop(d.sizes.at(k)))
                return;
            const QString literal = part.sizeLiterals.value(qsizetype(k));
            bool ok = false;
            const int n = literal.isNull() ? -1 : literal.toInt(&ok);
            if (!literal.isNull() && (!ok || n < 1))
                report(d.sizes.at(k)->line,
                       QStringLiteral("the size of '%1' must be a whole number of at least 1")
                           .arg(d.name));
            sizes << (ok ? n : -1);
        }
        if (part.stage == 1)
            return stop();
        if (sizes.size() > 3)
            report(part.line,
                   QStringLiteral("'%1' has %2 sizes; an array has one to three")
                       .arg(d.name, QString::number(sizes.size())));
        if (d.hasList) {
            for (const ExprPtr &e : d.list)
                if (!walkTop(e))
                    return;
            if (part.stage == 2)
                return stop();
            const qsizetype count = qsizetype(d.list.size());
            if (sizes.isEmpty()) {
                report(part.line,
                       QStringLiteral("'%1' is given a list of values but no size; write %1[%2]")
                           .arg(d.name, QString::number(count)));
            } else if (!sizes.contains(-1)) {
                int total = 1;
                for (int n : std::as_const(sizes))
                    total *= n;
                if (total != count)
                    report(part.line,
                           QStringLiteral("'%1' holds %2 values but %3 are given")
                               .arg(d.name, QString::number(total), QString::number(count)));
            }
        } else if (d.value) {
            if (!walkTop(d.value))
                return;
        }
        if (part.stage == 2)
            return stop();
    }
    stop();
}

void Checker::checkFunction(const Stmt &s)
{
    if (!m_blocks.isEmpty())
        report(m_line->line, QStringLiteral("a Function must be defined outside every block"));
    if (m_line->stage < 2)
        return stop();
    m_functionParams.clear();
    for (qsizetype i = 0; i < s.params.size(); ++i)
        m_functionParams.insert(s.params.at(i), m_line->paramLines.at(std::size_t(i)));
    if (m_line->stage < 4)
        return stop();
    const bool read = walkTop(s.expr);
    m_functionParams.clear();
    if (read)
        stop();
}

void Checker::checkModel(const Stmt &s)
{
    if (m_line->stage < 1)
        stop();
    const int line = m_line->line;
    if (!m_blocks.isEmpty()) {
        report(line,
               QStringLiteral("a Model must be defined outside every block (the '%1' block of "
                              "line %2 is still open)")
                   .arg(blockWord(m_blocks.last().kind), QString::number(m_blocks.last().line)));
    }
    pushBlock(Block{QStringLiteral("model"), line, s.name, false, false, QString()});
    stop();
}

void Checker::checkEnd()
{
    const int line = m_line->line;
    if (m_line->second.isEmpty()) {
        // Taken as closing the innermost block, so that one fault gives one finding.
        if (!m_blocks.isEmpty())
            m_blocks.removeLast();
        return stop();
    }
    const QString kind = m_line->second;
    const QString shown = QStringLiteral("End ") + m_line->endWord;
    if (m_blocks.isEmpty()) {
        report(line, QStringLiteral("'%1' closes a block that was never opened").arg(shown));
        return;
    }
    if (m_blocks.last().kind != kind) {
        int match = -1;
        for (int i = int(m_blocks.size()) - 1; i >= 0; --i)
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
            report(b.line,
                   QStringLiteral("'%1' block opened here is never closed (missing 'End "
                                  "%1' before '%2' at line %3)")
                       .arg(blockWord(b.kind), shown)
                       .arg(line));
        }
    }
    m_blocks.removeLast();
    stop();
}

void Checker::checkIf(const Stmt &s, bool elseIf)
{
    const int line = m_line->line;
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
    if (m_line->stage < 1 || !walkTop(s.conditions.front()))
        return stop();
    stop();
}

void Checker::checkElse()
{
    const int line = m_line->line;
    if (m_blocks.isEmpty() || m_blocks.last().kind != u"if") {
        report(line, QStringLiteral("'Else' without an open 'If' block"));
        return;
    }
    if (m_blocks.last().sawElse)
        report(line,
               QStringLiteral("a second 'Else' in the 'If' block opened at line %1")
                   .arg(m_blocks.last().line));
    m_blocks.last().sawElse = true;
    stop();
}

void Checker::checkFor(const Stmt &s)
{
    pushBlock(Block{QStringLiteral("for"), m_line->line, QString(), false, false, QString()});
    if (m_line->stage < 1)
        return stop();
    const int varLine = m_line->nameLine;
    const Symbol sym = m_symbols.value(s.name);
    if (sym.kind != SymKind::LoopVariable && sym.kind != SymKind::Variable)
        report(
            varLine,
            QStringLiteral("'%1' is %2 and cannot count a loop").arg(s.name, kindName(sym.kind)));
    else if (sym.dims > 0)
        report(varLine, QStringLiteral("'%1' is an array and cannot count a loop").arg(s.name));
    if (m_line->stage < 2 || !walkTop(s.first) || !walkTop(s.last))
        return stop();
    if (s.step && !walkTop(s.step))
        return;
    stop();
}

void Checker::checkConstraint(const Stmt &s)
{
    if (!inModel())
        report(m_line->line, QStringLiteral("a Constraint belongs inside a Model"));
    if (m_line->stage < 1 || !walkTop(s.left) || !walkTop(s.right))
        return stop();
    stop();
}

void Checker::checkResidual(const Stmt &s)
{
    if (!inModel())
        report(m_line->line, QStringLiteral("a Residual belongs inside a Model"));
    else
        ++m_models[currentModel()].residuals;
    if (!walkTop(s.expr))
        return;
    stop();
}

bool Checker::checkOptions(const Stmt &s)
{
    for (const ty::Option &o : s.options)
        if (!walkTop(o.value))
            return false;
    return true;
}

bool Checker::checkItems(const Stmt &s, std::size_t from, std::size_t to)
{
    for (std::size_t i = from; i < to; ++i)
        if (s.items.at(i).expr && !walkTop(s.items.at(i).expr))
            return false;
    return true;
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

bool Checker::noDuplicates(const QList<Named> &names)
{
    QSet<QString> seen;
    for (const Named &t : names) {
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
            for (const Named &t : use.names)
                if (!info.assigned.contains(t.text))
                    report(use.line,
                           QStringLiteral("the model '%1' never sets '%2', the objective of this "
                                          "Find")
                               .arg(use.model, t.text));
            continue;
        }
        QStringList withoutDerivative;
        QSet<QString> listed;
        for (const Named &t : use.names) {
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

bool Checker::checkModelReference(const QString &model)
{
    const int line = m_line->modelLine;
    const auto mit = m_symbols.constFind(model);
    if (mit == m_symbols.constEnd() || mit->kind != SymKind::Model)
        report(line, QStringLiteral("the model '%1' is never defined").arg(model));
    else if (model == currentModel())
        report(line, QStringLiteral("the model '%1' cannot run itself").arg(model));
    else
        return true;
    return false;
}

void Checker::checkFind(const Stmt &s)
{
    const ParsedLine &p = *m_line;
    if (p.stage < 1)
        return stop();
    const QList<Named> unknowns = listed(s.unknowns, p.unknownLines);
    noDuplicates(unknowns);
    for (const Named &u : unknowns)
        recordSet(u.text, false);
    int scalarUnknowns = 0;
    bool countable = true;
    for (const Named &u : unknowns) {
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
    if (p.stage < 3)
        return stop();
    const bool runnable = checkModelReference(s.model);
    if (p.stage < 4)
        return stop();
    const QString solverLower = p.solverText.toLower();
    const QString solverUpper = p.solverText.toUpper();
    const auto sit = solvers().constFind(solverLower);
    std::optional<SolverKind> kind;
    if (sit == solvers().constEnd())
        report(p.solverLine,
               QStringLiteral("unknown solver '%1'").arg(p.solverText)
                   + suggest(p.solverText, solverNames()));
    else if (*sit == SolverKind::Integrator)
        report(p.solverLine,
               QStringLiteral("%1 integrates differential equations; use it with Initiate, not "
                              "Find")
                   .arg(solverUpper));
    else
        kind = *sit;
    if (p.stage < 5)
        return stop();
    const QString &goal = s.goal;
    if (kind) {
        if (*kind == SolverKind::RootFinder && goal != u"zero")
            report(p.goalLine, QStringLiteral("%1 finds roots: write 'To Zero'").arg(solverUpper));
        else if (*kind == SolverKind::LeastSquares && goal != u"fit")
            report(p.goalLine, QStringLiteral("%1 fits data: write 'To Fit'").arg(solverUpper));
        else if (*kind == SolverKind::Optimizer && goal != u"minimize" && goal != u"maximize")
            report(p.goalLine,
                   QStringLiteral("%1 optimizes: write 'To Minimize' or 'To Maximize'")
                       .arg(solverUpper));
    }
    if (p.stage < 6)
        return stop();
    const QList<Named> targets = listed(s.objectives, p.objectiveLines);
    noDuplicates(targets);
    if (runnable)
        m_uses << SolverUse{p.modelLine, s.model, targets, true, false};
    int scalarTargets = 0;
    for (const Named &t : targets) {
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
        report(p.goalLine, QStringLiteral("To %1 takes exactly one objective").arg(p.goalText));
    if (kind == SolverKind::RootFinder && goal == u"zero" && countable
        && scalarUnknowns != scalarTargets)
        report(
            p.goalLine,
            QStringLiteral("%1 needs as many equations as unknowns: %2 unknowns, %3 to zero")
                .arg(solverUpper, QString::number(scalarUnknowns), QString::number(scalarTargets)));
    if (!checkOptions(s))
        return;
    stop();
}

void Checker::checkInitiate(const Stmt &s)
{
    const ParsedLine &p = *m_line;
    if (p.stage < 1)
        return stop();
    const auto sit = solvers().constFind(p.solverText.toLower());
    if (sit == solvers().constEnd())
        report(p.solverLine,
               QStringLiteral("unknown solver '%1'").arg(p.solverText)
                   + suggest(p.solverText, solverNames()));
    else if (*sit != SolverKind::Integrator)
        report(p.solverLine,
               QStringLiteral("%1 is not an integrator; Initiate takes RKF45, RK4, EULER, ADAMS, "
                              "GEAR or DAE")
                   .arg(p.solverText.toUpper()));
    if (p.stage < 2)
        return stop();
    const bool runnable = checkModelReference(s.model);
    if (p.stage < 3)
        return stop();
    const QList<Named> states = listed(s.unknowns, p.unknownLines);
    if (noDuplicates(states) && runnable)
        m_uses << SolverUse{p.modelLine, s.model, states, false, p.solverText.toLower() == u"dae"};
    for (const Named &st : states)
        recordSet(st.text, false);
    for (const Named &st : states) {
        const auto it = m_symbols.constFind(st.text);
        if (it == m_symbols.constEnd())
            report(st.line, unknownVariable(st.text));
        else if (it->kind != SymKind::Variable)
            report(st.line,
                   QStringLiteral("'%1' is %2; only variables can be integrated")
                       .arg(st.text, kindName(it->kind)));
    }
    if (p.stage < 4)
        return stop();
    recordSet(s.independent, false);
    {
        const auto it = m_symbols.constFind(s.independent);
        if (it == m_symbols.constEnd())
            report(p.independentLine, unknownVariable(s.independent));
        else if (it->kind != SymKind::Variable || it->dims > 0)
            report(p.independentLine,
                   QStringLiteral("the independent variable '%1' must be a scalar variable")
                       .arg(s.independent));
    }
    if (!walkTop(s.spanFrom) || !walkTop(s.spanTo) || !walkTop(s.outputStep))
        return;
    if (s.until && !walkTop(s.until))
        return;
    if (!checkOptions(s))
        return;
    stop();
}

void Checker::checkPrint(const Stmt &s)
{
    if (checkItems(s, 0, s.items.size()))
        stop();
}

void Checker::checkPlot(const Stmt &s)
{
    for (const ExprPtr &y : s.ys)
        if (!walkTop(y))
            return;
    if (m_line->stage < 1 || !walkTop(s.x))
        return stop();
    const qsizetype plotted = qsizetype(s.ys.size());
    QSet<QString> seen;
    for (const ty::PlotClause &clause : m_line->clauses) {
        if (seen.contains(clause.lower))
            report(clause.line, QStringLiteral("'%1' is given twice").arg(clause.text));
        seen.insert(clause.lower);
        if (seen.contains(QStringLiteral("markers")) && seen.contains(QStringLiteral("dashed"))
            && (clause.lower == u"markers" || clause.lower == u"dashed"))
            report(clause.line,
                   QStringLiteral("a series is drawn either with Markers or Dashed, not both"));
        if (clause.lower == u"named") {
            if (plotted > 1)
                report(clause.line,
                       QStringLiteral("'Named' names the series of a Plot of one value; this "
                                      "Plot draws %1 (give each its own Plot)")
                           .arg(plotted));
            // the series' name: texts and values, as in Print
            if (!checkItems(s, clause.itemsFrom, clause.itemsTo))
                return;
        }
    }
    stop();
}

void Checker::checkTitle()
{
    if (!m_blocks.isEmpty())
        report(m_line->line, QStringLiteral("the Title belongs outside every block"));
    stop();
}

void Checker::checkAssignment(const Stmt &s)
{
    const ParsedLine &p = *m_line;
    const int line = p.nameLine;
    if (p.stage == 0) {
        // Something that is not an assignment: report the first word as the fault.
        if (!m_symbols.contains(s.name) && !s.derivative) {
            m_stopped = true;
            report(line,
                   QStringLiteral("unknown statement '%1'").arg(s.name)
                       + suggest(s.name, statementWords()));
            return;
        }
        return stop();
    }
    for (const ExprPtr &e : s.indices)
        if (!walkTop(e))
            return;
    if (p.stage < 3)
        return stop();
    const bool indexed = p.indexed;
    const qsizetype indexCount = qsizetype(s.indices.size());
    recordSet(s.name, s.derivative);
    const auto it = m_symbols.constFind(s.name);
    const QString lower = s.name.toLower();
    if (lower == u"pi" || lower == u"iteration") {
        report(line, QStringLiteral("'%1' is built in and cannot be assigned").arg(s.name));
    } else if (it == m_symbols.constEnd()) {
        report(line, unknownVariable(s.name));
    } else if (it->kind != SymKind::Variable) {
        report(line,
               QStringLiteral("'%1' is %2 and cannot be assigned").arg(s.name, kindName(it->kind)));
    } else {
        if (s.derivative && !inModel())
            report(line, QStringLiteral("a derivative (%1') is set inside a Model").arg(s.name));
        if (indexed && it->dims == 0)
            report(line, QStringLiteral("'%1' is not an array and takes no index").arg(s.name));
        else if (indexed && indexCount != it->dims)
            report(line,
                   QStringLiteral("'%1' has %2 dimension(s) but %3 index(es) are given")
                       .arg(s.name, QString::number(it->dims), QString::number(indexCount)));
        else if (!indexed && it->dims > 0)
            report(
                line,
                QStringLiteral("'%1' is an array: assign its elements, %1[i] = ...").arg(s.name));
    }
    if (!walkTop(s.expr))
        return;
    stop();
}

// Expressions ------------------------------------------------------------

// The checks of an expression come in the order its parts are written: the
// arguments of a call or an index before the name they belong to.
bool Checker::walk(const Expr &e)
{
    for (const ExprPtr &a : e.args)
        if (!walk(*a))
            return false;
    if (!e.complete)
        return false;
    switch (e.op) {
    case Op::Call:
        checkCall(e);
        break;
    case Op::Name:
    case Op::Index:
    case Op::Deriv:
        checkNameUse(e);
        break;
    default:
        break;
    }
    return true;
}

void Checker::checkCall(const Expr &e)
{
    const qsizetype count = qsizetype(e.args.size());
    const QString lower = e.name.toLower();
    if (builtins().contains(lower)) {
        const QString fault = builtinCallFault(e.name, count);
        if (!fault.isEmpty())
            report(e.line, fault);
        return;
    }
    const auto it = m_symbols.constFind(e.name);
    if (it == m_symbols.constEnd())
        report(e.line,
               QStringLiteral("unknown function '%1'").arg(e.name)
                   + suggest(e.name, functionNames()));
    else if (it->kind != SymKind::Function)
        report(e.line,
               QStringLiteral("'%1' is %2, not a function; an array takes [ ]")
                   .arg(e.name, kindName(it->kind)));
    else if (it->arity != count)
        report(e.line,
               QStringLiteral("'%1' takes %2 argument(s), %3 given")
                   .arg(e.name, QString::number(it->arity), QString::number(count)));
}

void Checker::checkNameUse(const Expr &e)
{
    const bool indexed = e.indexed;
    const bool prime = e.op == Op::Deriv;
    const qsizetype indexCount = qsizetype(e.args.size());
    if (m_functionParams.contains(e.name) && !indexed && !prime)
        return;
    const QString lower = e.name.toLower();
    if (builtins().contains(lower)) {
        report(e.line, QStringLiteral("the function '%1' needs its arguments in ( )").arg(e.name));
        return;
    }
    const auto it = m_symbols.constFind(e.name);
    if (it == m_symbols.constEnd()) {
        report(e.line,
               QStringLiteral("unknown name '%1'").arg(e.name) + suggest(e.name, valueNames()));
        return;
    }
    if (it->kind == SymKind::Model || it->kind == SymKind::Function) {
        report(e.line,
               QStringLiteral("'%1' is %2 and has no value").arg(e.name, kindName(it->kind)));
        return;
    }
    if (prime && it->kind != SymKind::Variable) {
        report(e.line,
               QStringLiteral("'%1' is %2 and has no derivative").arg(e.name, kindName(it->kind)));
        return;
    }
    if (indexed && it->dims == 0)
        report(e.line, QStringLiteral("'%1' is not an array and takes no index").arg(e.name));
    else if (indexed && indexCount != it->dims)
        report(e.line,
               QStringLiteral("'%1' has %2 dimension(s) but %3 index(es) are given")
                   .arg(e.name, QString::number(it->dims), QString::number(indexCount)));
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
