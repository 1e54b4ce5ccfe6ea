#pragma once

#include "TyLexer.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

// The syntax tree of a Tessaly job, read by the checker and run by the interpreter.
// The grammar is read one statement at a time (parseLine), which is how the checker
// reads a file; parse() joins the statements into blocks and stops at the first fault
// with a SyntaxError naming the line, in the checker's words.
namespace ty {

// Words that start statements or clauses (lower case); they cannot name anything.
const QSet<QString> &reservedWords();

enum class Op {
    Number,
    Name,  // a scalar, a whole array, a loop variable, a function parameter
    Index, // name[i, ...]
    Call,  // f(a, ...), built-in or declared
    Deriv, // x' or x'[i]
    Pi,
    Iteration,
    Neg,
    Add,
    Sub,
    Mul,
    Div,
    Pow,
    Lt,
    Le,
    Gt,
    Ge,
    Eq,
    Ne,
    And,
    Or,
    Not,
};

struct Expr
{
    Op op = Op::Number;
    bool complete = true; // false in the tree of a line whose reading stopped inside it
    bool indexed = false; // written with [ ], even an empty pair (a derivative's index)
    double value = 0.0;
    QString name;
    std::vector<std::unique_ptr<Expr>> args; // operands, indices or call arguments
    int line = 0;
    mutable int slot = -1; // the interpreter's symbol or built-in, once resolved
};
using ExprPtr = std::unique_ptr<Expr>;

enum class StmtKind {
    Title,
    Declare,
    Function,
    Model,
    Assign,
    If,
    For,
    Constraint,
    Residual,
    Find,
    Initiate,
    Print,
    Plot,
};

struct Stmt;
using StmtPtr = std::unique_ptr<Stmt>;
using Block = std::vector<StmtPtr>;

struct Decl
{
    QString name;
    std::vector<ExprPtr> sizes;
    ExprPtr value;             // one value for every element
    std::vector<ExprPtr> list; // or a list in brackets
    bool hasList = false;
    int line = 0;
};

// An item of Print or of a Plot's Named clause: a string or an expression.
struct Item
{
    QString text;
    ExprPtr expr; // null for a string
};

struct Option
{
    QString name; // lower case
    ExprPtr value;
    int line = 0;
};

struct Stmt
{
    StmtKind kind = StmtKind::Assign;
    int line = 0;
    mutable int slot = -1;    // the interpreter's symbol for the name, once resolved
    QString text;             // Title; Constraint label
    bool isParameter = false; // Declare
    std::vector<Decl> decls;
    QString name;       // Function, Model, Assign target, For variable
    QStringList params; // Function
    ExprPtr expr;       // Function formula, assigned value, Residual
    Block body;         // Model, For
    // Assign
    bool derivative = false;
    std::vector<ExprPtr> indices;
    // If: one condition per branch, the Else branch last with a null condition
    std::vector<ExprPtr> conditions;
    std::vector<Block> branches;
    // For
    ExprPtr first, last, step;
    // Constraint: left relation right, relation Le, Ge or Eq
    ExprPtr left, right;
    Op relation = Op::Le;
    // Find and Initiate
    QString solver; // upper case
    QString model;
    QStringList unknowns; // Find's unknowns, Initiate's states
    QString goal;         // minimize, maximize, zero, fit
    QStringList objectives;
    QString independent; // Initiate's t
    ExprPtr spanFrom, spanTo, outputStep, until;
    std::vector<Option> options;
    // Print; Plot's Named clause
    std::vector<Item> items;
    // Plot
    std::vector<ExprPtr> ys;
    QStringList yTexts; // the text of each y, a series' name without Named
    ExprPtr x;
    bool named = false;
    QString plotTitle, xLabel, yLabel;
    bool hasTitle = false, hasXLabel = false, hasYLabel = false;
    bool markers = false, dashed = false, logX = false, logY = false;
};

struct Program
{
    Block statements;
};

struct SyntaxError : std::runtime_error
{
    SyntaxError(int l, const QString &m)
        : std::runtime_error(m.toStdString())
        , line(l)
        , message(m)
    {}
    int line;
    QString message;
};

// The tree of the statements a lexer made; throws SyntaxError.
Program parse(const LexResult &lexed);
// The tree of a whole source, read a statement at a time so that only one statement's
// tokens are held; throws SyntaxError with the lexer's first fault, when there is one,
// else the parser's.
Program parse(const QString &text);
// The same, handing each statement outside all blocks (a block whole, with its End) to
// receiver as soon as it is read, so that only one such statement's tree is held; the
// program returned is then empty. Nothing is handed on after the first fault, and the
// fault is thrown only once the whole text is read: a lexer's fault on a later line
// still comes first. The receiver may throw; the reading stops there.
Program parseEach(const QString &text, const std::function<void(StmtPtr &&)> &receiver);

// ---- one statement at a time, as the checker reads a file ----

enum class LineKind {
    Statement, // a statement; a block's first line (Model, If, For) with its body empty
    ElseIf,    // stmt is an If holding the one condition
    Else,
    End,     // second: the block word in lower case (empty when there is none), endWord as written
    Broken,  // the lexer or the balance of parentheses refused it; head and second keep blocks in
             // step
    Unknown, // no statement starts so
};

// A Plot clause as written, in order; a Named clause's items are stmt->items[itemsFrom, itemsTo).
struct PlotClause
{
    QString text;
    QString lower;
    int line = 0;
    std::size_t itemsFrom = 0, itemsTo = 0;
};

// Where a declared name stands, and how far its declaration was read: 0 not even its
// name, 1 its name (and the sizes in the tree), 2 its sizes, 3 all of it.
struct DeclPart
{
    int line = 0;
    int stage = 0;
    QStringList sizeLiterals; // each size written as one number: its text; else a null string
};

// A statement read on its own. When its reading stops at a fault, failed is set, the
// tree holds what was read before it, and stage says how far the statement got (the
// steps of each statement are numbered in TySyntax.cpp). stopAt is the outermost
// expression the reading stopped in or right after, when there is one.
struct ParsedLine
{
    LineKind kind = LineKind::Statement;
    StmtPtr stmt;
    int line = 0;     // the first token's
    int lastLine = 0; // the last token's
    int stage = 0;
    bool failed = false;
    bool silent = false; // the fault is one the declaration scan reports
    int errorLine = 0;
    QString error;
    const Expr *stopAt = nullptr;
    QString head, second, endWord;
    // the lines of the parts a finding names
    int nameLine = 0, modelLine = 0, solverLine = 0, goalLine = 0, independentLine = 0;
    QString solverText, goalText; // as written
    bool indexed = false;         // an assignment's target written with [ ]
    std::vector<int> unknownLines, objectiveLines, paramLines;
    std::vector<DeclPart> decls;
    std::vector<PlotClause> clauses;
};

// Reads one statement of a lexer; lines are the source lines (a Plot names a series by
// its text), null when not at hand.
ParsedLine parseLine(const Statement &st, const QStringList *lines = nullptr);

} // namespace ty
