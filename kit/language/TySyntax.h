#pragma once

#include "TyLexer.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <stdexcept>
#include <vector>

// The syntax tree of a Tessaly job, as the interpreter runs it. The parser expects a
// job the checker accepts; anything else stops it with a SyntaxError naming the line.
namespace ty {

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

} // namespace ty
