#include "TySyntax.h"

#include <QSet>

#include <functional>
#include <optional>

// The grammar of Tessaly, read one statement at a time. The checker walks the tree of
// each line as it comes (its findings name the parts of a statement that did not read);
// parse() joins the lines into the blocks the interpreter runs.

namespace ty {

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

namespace {

// Expressions nest by recursion; a limit keeps hostile input (thousands of parentheses
// or signs) from exhausting the stack of the parser and of the interpreter.
constexpr int MaxExprDepth = 200;
// Blocks nest in the interpreter's recursion the same way.
constexpr int MaxBlockDepth = 1000;

using LineText = std::function<QString(int line)>;

class LineParser
{
public:
    LineParser(const Statement &st, const LineText &lines)
        : m_tokens(st.tokens)
        , m_lines(lines)
        , m_line(st.line)
        , m_lastLine(st.tokens.last().line)
    {
        m_p.line = st.line;
        m_p.lastLine = m_lastLine;
    }

    ParsedLine run(const Statement &st)
    {
        const Token &first = m_tokens.first();
        const QString head = first.kind == Tok::Ident && !first.prime ? first.lower : QString();
        if (st.broken || !balanced()) {
            m_p.kind = LineKind::Broken;
            m_p.failed = true;
            m_p.head = head;
            m_p.second = m_tokens.size() > 1 ? m_tokens.at(1).lower : QString();
            return std::move(m_p);
        }
        m_s = new Stmt;
        m_p.stmt.reset(m_s);
        m_s->line = m_line;
        if (head == u"parameter" || head == u"variable")
            declaration(head == u"parameter");
        else if (head == u"function")
            function();
        else if (head == u"model")
            model();
        else if (head == u"end")
            end();
        else if (head == u"if" || head == u"elseif")
            condition(head == u"elseif");
        else if (head == u"else") {
            m_p.kind = LineKind::Else;
            ++m_pos;
            expectEnd();
        } else if (head == u"for")
            loop();
        else if (head == u"constraint")
            constraint();
        else if (head == u"residual")
            residual();
        else if (head == u"find")
            find();
        else if (head == u"initiate")
            initiate();
        else if (head == u"print")
            print();
        else if (head == u"plot")
            plot();
        else if (head == u"title")
            title();
        else if (first.kind == Tok::Ident && !reservedWords().contains(first.lower))
            assignment();
        else {
            m_p.kind = LineKind::Unknown;
            m_p.stmt.reset();
            m_p.failed = true;
            m_p.errorLine = first.line;
            if (first.kind == Tok::Ident)
                m_p.error = QStringLiteral("'%1' cannot start a statement").arg(first.text);
            else
                m_p.error
                    = QStringLiteral("unknown statement starting with %1")
                          .arg(first.kind == Tok::String ? QStringLiteral("a string")
                                                         : QStringLiteral("'%1'").arg(first.text));
        }
        return std::move(m_p);
    }

private:
    const QList<Token> &m_tokens;
    const LineText &m_lines;
    int m_line;
    int m_lastLine;
    qsizetype m_pos = 0;
    bool m_failed = false;
    int m_depth = 0;
    bool m_inTop = false;
    ParsedLine m_p;
    Stmt *m_s = nullptr;

    // ---- token cursor ----
    const Token *peek(int ahead = 0) const
    {
        const qsizetype i = m_pos + ahead;
        return i >= 0 && i < m_tokens.size() ? &m_tokens.at(i) : nullptr;
    }
    bool atEnd() const { return m_pos >= m_tokens.size(); }
    static bool isWord(const Token *t, const char *word)
    {
        return t && t->kind == Tok::Ident && !t->prime && t->lower == QLatin1String(word);
    }
    static bool isOpAt(const Token *t, const char *op) { return t && isOp(*t, op); }
    bool acceptWord(const char *word)
    {
        if (!isWord(peek(), word))
            return false;
        ++m_pos;
        return true;
    }
    bool acceptOp(const char *op)
    {
        if (!isOpAt(peek(), op))
            return false;
        ++m_pos;
        return true;
    }
    int lineHere() const { return atEnd() ? m_lastLine : peek()->line; }
    QString describeHere() const
    {
        if (atEnd())
            return QStringLiteral("the end of the statement");
        const Token *t = peek();
        if (t->kind == Tok::String)
            return QStringLiteral("the text \"%1\"").arg(t->text);
        return QStringLiteral("'%1'").arg(t->text + (t->prime ? QStringLiteral("'") : QString()));
    }
    // The first fault of a statement stops its reading.
    void fail(const QString &message)
    {
        if (m_failed)
            return;
        m_failed = true;
        m_p.failed = true;
        m_p.errorLine = lineHere();
        m_p.error = message;
        m_pos = m_tokens.size();
    }
    void expectEnd()
    {
        if (!atEnd() && !m_failed)
            fail(
                QStringLiteral("unexpected %1 after the end of the statement").arg(describeHere()));
    }
    QString expectName(const QString &what)
    {
        const Token *t = peek();
        if (!t || t->kind != Tok::Ident || t->prime || reservedWords().contains(t->lower)) {
            fail(QStringLiteral("expected %1, found %2").arg(what, describeHere()));
            return QString();
        }
        ++m_pos;
        return t->text;
    }
    // Names separated by commas; false when the list stops at a fault.
    bool nameList(const QString &what, QStringList &names, std::vector<int> &lines)
    {
        do {
            const Token *t = peek();
            if (expectName(what).isEmpty())
                return false;
            names << t->text;
            lines.push_back(t->line);
        } while (acceptOp(","));
        return true;
    }

    bool balanced()
    {
        QList<const Token *> open;
        for (const Token &t : m_tokens) {
            if (t.kind != Tok::Op)
                continue;
            if (t.text == u"(" || t.text == u"[") {
                open << &t;
            } else if (t.text == u")" || t.text == u"]") {
                const QString want = t.text == u")" ? QStringLiteral("(") : QStringLiteral("[");
                if (open.isEmpty()) {
                    m_p.errorLine = t.line;
                    m_p.error
                        = QStringLiteral("unbalanced parentheses: '%1' without a matching '%2'")
                              .arg(t.text, want);
                    return false;
                }
                if (open.last()->text != want) {
                    m_p.errorLine = t.line;
                    m_p.error = QStringLiteral("unbalanced parentheses: '%1' closes the '%2' "
                                               "opened on line %3")
                                    .arg(t.text, open.last()->text)
                                    .arg(open.last()->line);
                    return false;
                }
                open.removeLast();
            }
        }
        if (!open.isEmpty()) {
            const QString close
                = open.last()->text == u"(" ? QStringLiteral(")") : QStringLiteral("]");
            m_p.errorLine = open.last()->line;
            m_p.error = QStringLiteral("unbalanced parentheses: '%1' is never closed by '%2'")
                            .arg(open.last()->text, close);
            return false;
        }
        return true;
    }

    // ---- statements; the comments number the stages a ParsedLine reports ----

    // Declarations: each DeclPart has its own stage (see TySyntax.h).
    void declaration(bool isParameter)
    {
        ++m_pos;
        m_s->kind = StmtKind::Declare;
        m_s->isParameter = isParameter;
        const QString what
            = isParameter ? QStringLiteral("a parameter name") : QStringLiteral("a variable name");
        do {
            Decl d;
            d.line = m_line;
            DeclPart part;
            const bool done = declared(d, part, what, isParameter);
            m_s->decls.push_back(std::move(d));
            m_p.decls.push_back(part);
            if (!done)
                return;
        } while (acceptOp(","));
        expectEnd();
    }
    bool declared(Decl &d, DeclPart &part, const QString &what, bool isParameter)
    {
        const Token *nameTok = peek();
        if (nameTok && nameTok->kind == Tok::Ident && reservedWords().contains(nameTok->lower)) {
            fail(QStringLiteral("'%1' is a word of the language and cannot name anything")
                     .arg(nameTok->text));
            m_p.silent = true; // the declaration scan reports it
            return false;
        }
        d.name = expectName(what);
        if (d.name.isEmpty())
            return false;
        part.line = nameTok->line;
        part.stage = 1;
        if (acceptOp("[")) {
            do {
                const Token *sizeTok = peek();
                const qsizetype before = m_pos;
                d.sizes.push_back(top());
                if (m_failed)
                    return false;
                part.sizeLiterals << (m_pos == before + 1 && sizeTok->kind == Tok::Number
                                          ? sizeTok->text
                                          : QString());
            } while (acceptOp(","));
            if (!acceptOp("]")) {
                fail(QStringLiteral("expected ']' after the size of '%1', found %2")
                         .arg(nameTok->text, describeHere()));
                return false;
            }
        }
        part.stage = 2;
        if (acceptOp("=")) {
            if (acceptOp("[")) {
                d.hasList = true;
                do {
                    d.list.push_back(top());
                    if (m_failed)
                        return false;
                } while (acceptOp(","));
                if (!acceptOp("]")) {
                    fail(QStringLiteral("expected ',' or ']' in the values of '%1', found %2")
                             .arg(nameTok->text, describeHere()));
                    return false;
                }
            } else {
                d.value = top();
                if (m_failed)
                    return false;
            }
        } else if (isParameter) {
            fail(QStringLiteral("the parameter '%1' needs a value: %1 = ...").arg(nameTok->text));
            return false;
        }
        part.stage = 3;
        return true;
    }

    // 0 no name, 1 no '(', 2 in the parameters, 3 no '=', 4 the formula
    void function()
    {
        ++m_pos;
        m_s->kind = StmtKind::Function;
        const Token *nameTok = peek();
        m_s->name = expectName(QStringLiteral("the function's name"));
        if (m_s->name.isEmpty())
            return;
        m_p.nameLine = nameTok->line;
        m_p.stage = 1;
        if (!acceptOp("("))
            return fail(QStringLiteral("expected '(' and the parameters of '%1', found %2")
                            .arg(nameTok->text, describeHere()));
        m_p.stage = 2;
        if (!acceptOp(")")) {
            if (!nameList(QStringLiteral("a parameter name"), m_s->params, m_p.paramLines))
                return;
            if (!acceptOp(")"))
                return fail(
                    QStringLiteral("expected ',' or ')' in the parameters of '%1', found %2")
                        .arg(nameTok->text, describeHere()));
        }
        m_p.stage = 3;
        if (!acceptOp("="))
            return fail(QStringLiteral("expected '=' and the function's formula, found %1")
                            .arg(describeHere()));
        m_p.stage = 4;
        m_s->expr = top();
        expectEnd();
    }

    // 0 no name, 1 named
    void model()
    {
        ++m_pos;
        m_s->kind = StmtKind::Model;
        const Token *nameTok = peek();
        m_s->name = expectName(QStringLiteral("the model's name"));
        if (!m_s->name.isEmpty()) {
            m_p.nameLine = nameTok->line;
            m_p.stage = 1;
        }
        expectEnd();
    }

    void end()
    {
        ++m_pos;
        m_p.kind = LineKind::End;
        m_p.stmt.reset();
        const Token *kindTok = peek();
        static const QStringList kinds = {"model", "if", "for"};
        if (!kindTok || kindTok->kind != Tok::Ident || !kinds.contains(kindTok->lower)) {
            // taken as closing the innermost block
            m_failed = m_p.failed = true;
            m_p.errorLine = m_line;
            m_p.error = QStringLiteral(
                "'End' must name the block it closes: End Model, End If or End For");
            return;
        }
        ++m_pos;
        m_p.second = kindTok->lower;
        m_p.endWord = kindTok->text;
        expectEnd();
    }

    // If and ElseIf: 0 no condition, 1 the condition
    void condition(bool elseIf)
    {
        ++m_pos;
        m_s->kind = StmtKind::If;
        if (elseIf)
            m_p.kind = LineKind::ElseIf;
        if (atEnd() || isWord(peek(), "then"))
            return fail(QStringLiteral("expected a condition after '%1'")
                            .arg(elseIf ? QStringLiteral("ElseIf") : QStringLiteral("If")));
        m_p.stage = 1;
        m_s->conditions.push_back(top());
        if (m_failed)
            return;
        if (!acceptWord("then"))
            return fail(QStringLiteral("expected 'Then' after the condition, found %1")
                            .arg(describeHere()));
        if (!atEnd())
            fail(QStringLiteral("nothing may follow 'Then' on its line; write the statements on "
                                "the lines below"));
    }

    // 0 no loop variable, 1 no '=', 2 the values
    void loop()
    {
        ++m_pos;
        m_s->kind = StmtKind::For;
        const Token *var = peek();
        m_s->name = expectName(QStringLiteral("the loop variable"));
        if (m_s->name.isEmpty())
            return;
        m_p.nameLine = var->line;
        m_p.stage = 1;
        if (!acceptOp("="))
            return fail(QStringLiteral("expected '=' after the loop variable, found %1")
                            .arg(describeHere()));
        m_p.stage = 2;
        m_s->first = top();
        if (m_failed)
            return;
        if (!acceptWord("to"))
            return fail(QStringLiteral("expected 'To' and the last value of the loop, found %1")
                            .arg(describeHere()));
        m_s->last = top();
        if (m_failed)
            return;
        if (acceptWord("step"))
            m_s->step = top();
        expectEnd();
    }

    // 0 a bad label, 1 the sides
    void constraint()
    {
        ++m_pos;
        m_s->kind = StmtKind::Constraint;
        // an optional label: "Constraint fence: ..."
        if (peek() && peek()->kind == Tok::Ident && isOpAt(peek(1), ":")) {
            m_s->text = expectName(QStringLiteral("the constraint's label"));
            if (m_s->text.isEmpty())
                return;
            ++m_pos;
        }
        m_p.stage = 1;
        m_s->left = top(&LineParser::sum);
        if (m_failed)
            return;
        if (acceptOp("<="))
            m_s->relation = Op::Le;
        else if (acceptOp(">="))
            m_s->relation = Op::Ge;
        else if (acceptOp("=="))
            m_s->relation = Op::Eq;
        else
            return fail(
                QStringLiteral("a constraint compares two sides with <=, >= or ==; found %1")
                    .arg(describeHere()));
        m_s->right = top(&LineParser::sum);
        expectEnd();
    }

    void residual()
    {
        ++m_pos;
        m_s->kind = StmtKind::Residual;
        if (atEnd())
            return fail(QStringLiteral("expected the expression the DAE solver drives to zero"));
        m_s->expr = top(&LineParser::sum);
        expectEnd();
    }

    void options(const QStringList &allowed)
    {
        do {
            const Token *opt = peek();
            if (!opt || opt->kind != Tok::Ident)
                return fail(QStringLiteral("expected an option name after 'With', found %1")
                                .arg(describeHere()));
            bool known = false;
            for (const QString &a : allowed)
                known = known || a.toLower() == opt->lower;
            if (!known)
                return fail(QStringLiteral("unknown option '%1'; this statement takes %2")
                                .arg(opt->text, allowed.join(QStringLiteral(", "))));
            ++m_pos;
            if (!acceptOp("="))
                return fail(QStringLiteral("expected '=' after the option '%1', found %2")
                                .arg(opt->text, describeHere()));
            Option o;
            o.name = opt->lower;
            o.line = m_line;
            o.value = top();
            m_s->options.push_back(std::move(o));
            if (m_failed)
                return;
        } while (acceptOp(","));
    }

    // 0 in the unknowns, 1 no 'In', 2 no model, 3 no solver, 4 no goal, 5 in the
    // objectives, 6 the options
    void find()
    {
        ++m_pos;
        m_s->kind = StmtKind::Find;
        if (!nameList(
                QStringLiteral("the name of an unknown to find"), m_s->unknowns, m_p.unknownLines))
            return;
        m_p.stage = 1;
        if (!acceptWord("in"))
            return fail(
                QStringLiteral("expected 'In' and the model's name, found %1").arg(describeHere()));
        m_p.stage = 2;
        const Token *modelTok = peek();
        m_s->model = expectName(QStringLiteral("the model's name"));
        if (m_s->model.isEmpty())
            return;
        m_p.modelLine = modelTok->line;
        m_p.stage = 3;
        if (!acceptWord("using"))
            return fail(QStringLiteral("expected 'Using' and a solver's name, found %1")
                            .arg(describeHere()));
        const Token *solverTok = peek();
        if (!solverTok || solverTok->kind != Tok::Ident)
            return fail(QStringLiteral("expected a solver's name, found %1").arg(describeHere()));
        ++m_pos;
        m_s->solver = solverTok->text.toUpper();
        m_p.solverText = solverTok->text;
        m_p.solverLine = solverTok->line;
        m_p.stage = 4;
        if (!acceptWord("to"))
            return fail(QStringLiteral("expected 'To' and the objective (Minimize, Maximize, Zero "
                                       "or Fit), found %1")
                            .arg(describeHere()));
        const Token *goalTok = peek();
        static const QStringList goals = {"minimize", "maximize", "zero", "fit"};
        if (!goalTok || goalTok->kind != Tok::Ident || !goals.contains(goalTok->lower))
            return fail(
                QStringLiteral("expected Minimize, Maximize, Zero or Fit after 'To', found %1")
                    .arg(describeHere()));
        ++m_pos;
        m_s->goal = goalTok->lower;
        m_p.goalText = goalTok->text;
        m_p.goalLine = goalTok->line;
        m_p.stage = 5;
        if (!nameList(QStringLiteral("the objective's name"), m_s->objectives, m_p.objectiveLines))
            return;
        m_p.stage = 6;
        if (acceptWord("with"))
            options({QStringLiteral("Tolerance"), QStringLiteral("MaxIter")});
        expectEnd();
    }

    // 0 no solver, 1 no model, 2 in the states, 3 no independent variable, 4 the span
    void initiate()
    {
        ++m_pos;
        m_s->kind = StmtKind::Initiate;
        const Token *solverTok = peek();
        if (!solverTok || solverTok->kind != Tok::Ident)
            return fail(QStringLiteral("expected an integrator's name after 'Initiate', found %1")
                            .arg(describeHere()));
        ++m_pos;
        m_s->solver = solverTok->text.toUpper();
        m_p.solverText = solverTok->text;
        m_p.solverLine = solverTok->line;
        m_p.stage = 1;
        if (!acceptWord("for"))
            return fail(QStringLiteral("expected 'For' and the model's name, found %1")
                            .arg(describeHere()));
        const Token *modelTok = peek();
        m_s->model = expectName(QStringLiteral("the model's name"));
        if (m_s->model.isEmpty())
            return;
        m_p.modelLine = modelTok->line;
        m_p.stage = 2;
        if (!acceptWord("equations"))
            return fail(QStringLiteral("expected 'Equations' and the state variables, found %1")
                            .arg(describeHere()));
        if (!nameList(QStringLiteral("a state variable"), m_s->unknowns, m_p.unknownLines))
            return;
        m_p.stage = 3;
        if (!acceptWord("of"))
            return fail(QStringLiteral("expected 'Of' and the independent variable, found %1")
                            .arg(describeHere()));
        const Token *indep = peek();
        m_s->independent = expectName(QStringLiteral("the independent variable"));
        if (m_s->independent.isEmpty())
            return;
        m_p.independentLine = indep->line;
        m_p.stage = 4;
        if (!acceptWord("span"))
            return fail(
                QStringLiteral("expected 'Span' with the first and last value of %1, found %2")
                    .arg(indep->text, describeHere()));
        m_s->spanFrom = top();
        if (m_failed)
            return;
        if (!acceptOp(","))
            return fail(QStringLiteral("expected ',' and the last value of the span, found %1")
                            .arg(describeHere()));
        m_s->spanTo = top();
        if (m_failed)
            return;
        if (!acceptWord("step"))
            return fail(QStringLiteral("expected 'Step' and the output step, found %1")
                            .arg(describeHere()));
        m_s->outputStep = top();
        if (m_failed)
            return;
        if (acceptWord("until")) {
            m_s->until = top();
            if (m_failed)
                return;
        }
        if (acceptWord("with"))
            options({QStringLiteral("Tolerance"),
                     QStringLiteral("AbsTolerance"),
                     QStringLiteral("StepSize")});
        expectEnd();
    }

    // Texts and values, as Print and a Plot's Named clause take them; false at a fault.
    bool items()
    {
        do {
            Item item;
            if (peek() && peek()->kind == Tok::String) {
                item.text = peek()->text;
                ++m_pos;
                m_s->items.push_back(std::move(item));
                continue;
            }
            item.expr = top();
            m_s->items.push_back(std::move(item));
            if (m_failed)
                return false;
        } while (acceptOp(","));
        return true;
    }

    void print()
    {
        ++m_pos;
        m_s->kind = StmtKind::Print;
        if (atEnd())
            return; // an empty line of output
        if (items())
            expectEnd();
    }

    // The text of the tokens from..to-1 as written (they may span continued lines).
    QString textOf(qsizetype from, qsizetype to) const
    {
        const Token &a = m_tokens.at(from), &b = m_tokens.at(to - 1);
        if (a.line == b.line && m_lines)
            return m_lines(a.line).mid(a.column, b.endColumn - a.column);
        QStringList parts;
        for (qsizetype i = from; i < to; ++i)
            parts << m_tokens.at(i).text;
        return parts.join(u' ');
    }

    // 0 in what is plotted, 1 no 'Vs' or horizontal axis, 2 the clauses
    void plot()
    {
        ++m_pos;
        m_s->kind = StmtKind::Plot;
        if (atEnd() || isWord(peek(), "vs"))
            return fail(QStringLiteral("expected what to plot before 'Vs'"));
        do {
            const qsizetype from = m_pos;
            m_s->ys.push_back(top());
            if (m_failed)
                return;
            m_s->yTexts << textOf(from, m_pos);
        } while (acceptOp(","));
        m_p.stage = 1;
        if (!acceptWord("vs"))
            return fail(QStringLiteral("expected 'Vs' and the horizontal axis, found %1")
                            .arg(describeHere()));
        m_s->x = top();
        if (m_failed)
            return;
        m_p.stage = 2;
        while (!atEnd()) {
            const Token *clause = peek();
            const bool flag = isWord(clause, "markers") || isWord(clause, "dashed")
                              || isWord(clause, "logx") || isWord(clause, "logy");
            if (!(flag || isWord(clause, "title") || isWord(clause, "xlabel")
                  || isWord(clause, "ylabel") || isWord(clause, "named")))
                return fail(QStringLiteral("expected Named, Title, XLabel, YLabel, Markers, "
                                           "Dashed, LogX or LogY, found %1")
                                .arg(describeHere()));
            ++m_pos;
            PlotClause c{clause->text, clause->lower, clause->line, m_s->items.size(), 0};
            const QString &w = clause->lower;
            m_s->markers = m_s->markers || w == u"markers";
            m_s->dashed = m_s->dashed || w == u"dashed";
            m_s->logX = m_s->logX || w == u"logx";
            m_s->logY = m_s->logY || w == u"logy";
            if (flag) {
                m_p.clauses.push_back(c);
                continue;
            }
            if (w == u"named") {
                m_s->named = true;
                const bool read = items();
                c.itemsTo = m_s->items.size();
                m_p.clauses.push_back(c);
                if (!read)
                    return;
                continue;
            }
            m_p.clauses.push_back(c);
            if (!peek() || peek()->kind != Tok::String)
                return fail(QStringLiteral("expected a text in quotes after '%1', found %2")
                                .arg(clause->text, describeHere()));
            const QString text = peek()->text;
            ++m_pos;
            if (w == u"title") {
                m_s->hasTitle = true;
                m_s->plotTitle = text;
            } else if (w == u"xlabel") {
                m_s->hasXLabel = true;
                m_s->xLabel = text;
            } else {
                m_s->hasYLabel = true;
                m_s->yLabel = text;
            }
        }
    }

    void title()
    {
        ++m_pos;
        m_s->kind = StmtKind::Title;
        if (!peek() || peek()->kind != Tok::String)
            return fail(
                QStringLiteral("expected the title in quotes, found %1").arg(describeHere()));
        m_s->text = peek()->text;
        ++m_pos;
        expectEnd();
    }

    // 0 no '=' or '[' after the first word, 1 in the indices, 3 the value
    void assignment()
    {
        m_s->kind = StmtKind::Assign;
        const Token &target = *peek();
        ++m_pos;
        m_s->name = target.text;
        m_s->derivative = target.prime;
        m_p.nameLine = target.line;
        if (!isOpAt(peek(), "=") && !isOpAt(peek(), "["))
            return fail(QStringLiteral("malformed assignment: expected '=' after '%1', found %2")
                            .arg(target.text + (target.prime ? QStringLiteral("'") : QString()),
                                 describeHere()));
        m_p.stage = 1;
        if (acceptOp("[")) {
            m_p.indexed = true;
            if (!acceptOp("]")) {
                do {
                    m_s->indices.push_back(top());
                    if (m_failed)
                        return;
                } while (acceptOp(","));
                if (!acceptOp("]"))
                    return fail(
                        QStringLiteral("expected ',' or ']', found %1").arg(describeHere()));
            }
        }
        if (!acceptOp("="))
            return fail(
                QStringLiteral("malformed assignment: expected '=' after '%1[...]', found %2")
                    .arg(target.text, describeHere()));
        if (atEnd())
            return fail(QStringLiteral("malformed assignment: nothing after '='"));
        m_p.stage = 3;
        m_s->expr = top();
        expectEnd();
    }

    // ---- expressions, from the loosest binding to the tightest ----

    // An expression a statement holds; the line's stopAt when the reading stops in it.
    ExprPtr top(ExprPtr (LineParser::*level)() = &LineParser::expression)
    {
        ExprPtr e = (this->*level)();
        if (m_failed && !m_p.stopAt)
            m_p.stopAt = e.get();
        return e;
    }

    struct Nesting
    {
        explicit Nesting(int &depth)
            : m_depth(depth)
        {
            ++m_depth;
        }
        ~Nesting() { --m_depth; }
        int &m_depth;
    };

    ExprPtr node(Op op, int line)
    {
        auto e = std::make_unique<Expr>();
        e->op = op;
        e->line = line;
        return e;
    }
    ExprPtr binary(Op op, ExprPtr a, ExprPtr b)
    {
        ExprPtr e = node(op, a->line);
        e->args.push_back(std::move(a));
        if (b)
            e->args.push_back(std::move(b));
        e->complete = !m_failed;
        return e;
    }

    ExprPtr expression()
    {
        const Nesting nesting(m_depth);
        if (m_depth > MaxExprDepth) {
            fail(QStringLiteral("the expression is nested too deeply"));
            return nullptr;
        }
        ExprPtr e = conjunction();
        while (!m_failed && acceptWord("or"))
            e = binary(Op::Or, std::move(e), conjunction());
        return e;
    }
    ExprPtr conjunction()
    {
        ExprPtr e = negation();
        while (!m_failed && acceptWord("and"))
            e = binary(Op::And, std::move(e), negation());
        return e;
    }
    ExprPtr negation()
    {
        const Nesting nesting(m_depth);
        if (m_depth > MaxExprDepth) {
            fail(QStringLiteral("the expression is nested too deeply"));
            return nullptr;
        }
        if (acceptWord("not")) {
            ExprPtr e = node(Op::Not, m_line);
            if (ExprPtr operand = negation())
                e->args.push_back(std::move(operand));
            e->complete = !m_failed;
            return e;
        }
        return comparison();
    }
    ExprPtr comparison()
    {
        ExprPtr e = sum();
        if (m_failed)
            return e;
        static const std::pair<const char *, Op> relations[] = {{"<", Op::Lt},
                                                                {"<=", Op::Le},
                                                                {">", Op::Gt},
                                                                {">=", Op::Ge},
                                                                {"==", Op::Eq},
                                                                {"<>", Op::Ne}};
        for (const auto &[text, op] : relations) {
            if (acceptOp(text)) {
                e = binary(op, std::move(e), sum());
                if (!m_failed) {
                    for (const auto &again : relations)
                        if (isOpAt(peek(), again.first))
                            fail(QStringLiteral("comparisons cannot be chained; join them with "
                                                "'and'"));
                }
                return e;
            }
        }
        if (isOpAt(peek(), "="))
            fail(QStringLiteral("'=' assigns; compare with '=='"));
        return e;
    }
    ExprPtr sum()
    {
        ExprPtr e = product();
        for (;;) {
            if (m_failed)
                return e;
            if (acceptOp("+"))
                e = binary(Op::Add, std::move(e), product());
            else if (acceptOp("-"))
                e = binary(Op::Sub, std::move(e), product());
            else
                return e;
        }
    }
    ExprPtr product()
    {
        ExprPtr e = unary();
        for (;;) {
            if (m_failed)
                return e;
            if (acceptOp("*"))
                e = binary(Op::Mul, std::move(e), unary());
            else if (acceptOp("/"))
                e = binary(Op::Div, std::move(e), unary());
            else
                return e;
        }
    }
    ExprPtr unary()
    {
        const Nesting nesting(m_depth);
        if (m_depth > MaxExprDepth) {
            fail(QStringLiteral("the expression is nested too deeply"));
            return nullptr;
        }
        if (acceptOp("-")) {
            ExprPtr e = node(Op::Neg, m_line);
            if (ExprPtr operand = unary())
                e->args.push_back(std::move(operand));
            e->complete = !m_failed;
            return e;
        }
        if (acceptOp("+"))
            return unary();
        return power();
    }
    ExprPtr power()
    {
        ExprPtr base = primary();
        if (!m_failed && acceptOp("^")) // right-associative: 2^3^2 = 2^9
            return binary(Op::Pow, std::move(base), unary());
        return base;
    }
    // The arguments up to close, into e; false at a fault.
    bool arguments(Expr &e, const char *close)
    {
        if (acceptOp(close))
            return true;
        do {
            if (ExprPtr a = expression())
                e.args.push_back(std::move(a));
            if (m_failed)
                return false;
        } while (acceptOp(","));
        if (!acceptOp(close)) {
            fail(QStringLiteral("expected ',' or '%1', found %2")
                     .arg(QLatin1String(close), describeHere()));
            return false;
        }
        return true;
    }
    ExprPtr primary()
    {
        const Token *t = peek();
        if (!t) {
            fail(QStringLiteral("the expression is incomplete"));
            return nullptr;
        }
        if (t->kind == Tok::Number) {
            ++m_pos;
            ExprPtr e = node(Op::Number, t->line);
            e->value = t->text.toDouble();
            return e;
        }
        if (t->kind == Tok::String) {
            fail(QStringLiteral("a text in quotes cannot be part of a calculation"));
            return nullptr;
        }
        if (isOp(*t, "(")) {
            ++m_pos;
            ExprPtr e = expression();
            if (!m_failed && !acceptOp(")"))
                fail(QStringLiteral("expected ')', found %1").arg(describeHere()));
            return e;
        }
        if (t->kind != Tok::Ident || reservedWords().contains(t->lower)) {
            fail(QStringLiteral("expected a number, a name or '(', found %1").arg(describeHere()));
            return nullptr;
        }
        ++m_pos;
        ExprPtr e = node(t->prime ? Op::Deriv : Op::Name, t->line);
        e->name = t->text;
        if (!t->prime && acceptOp("(")) {
            e->op = Op::Call;
            e->complete = arguments(*e, ")");
            return e;
        }
        if (acceptOp("[")) {
            e->indexed = true;
            if (e->op == Op::Name)
                e->op = Op::Index;
            e->complete = arguments(*e, "]");
            return e;
        }
        // pi, and the number of the running Find's iteration
        if (!t->prime && t->lower == u"pi")
            e->op = Op::Pi;
        else if (!t->prime && t->lower == u"iteration")
            e->op = Op::Iteration;
        return e;
    }
};

// Joins the lines into blocks. With a receiver, every statement outside all blocks
// goes to it as soon as it is whole (a block with its End) and is not kept.
class Assembler
{
public:
    explicit Assembler(const std::function<void(StmtPtr &&)> &receiver = {})
        : m_receiver(receiver)
    {}

    void add(ParsedLine &&p)
    {
        addLine(std::move(p));
        if (m_receiver && m_open.empty() && !m_program.statements.empty()) {
            StmtPtr whole = std::move(m_program.statements.back());
            m_program.statements.clear();
            m_receiver(std::move(whole));
        }
    }

    Program finish(int lastLine)
    {
        if (!m_open.empty())
            throw SyntaxError(lastLine, QStringLiteral("a block is never closed"));
        return std::move(m_program);
    }

private:
    void addLine(ParsedLine &&p)
    {
        if (p.failed)
            throw SyntaxError(p.errorLine, p.error);
        switch (p.kind) {
        case LineKind::Statement: {
            Stmt *s = p.stmt.get();
            if (s->kind == StmtKind::Plot)
                keepLastNamed(*s, p.clauses);
            current().push_back(std::move(p.stmt));
            if (s->kind == StmtKind::Model || s->kind == StmtKind::For || s->kind == StmtKind::If) {
                if (m_open.size() >= std::size_t(MaxBlockDepth))
                    throw SyntaxError(
                        p.line,
                        QStringLiteral("blocks nested more than %1 deep").arg(MaxBlockDepth));
                if (s->kind == StmtKind::If)
                    s->branches.emplace_back();
                m_open.push_back({s, false, p.line});
            }
            break;
        }
        case LineKind::ElseIf:
        case LineKind::Else: {
            const bool isElse = p.kind == LineKind::Else;
            if (m_open.empty() || m_open.back().owner->kind != StmtKind::If)
                throw SyntaxError(p.line,
                                  isElse ? QStringLiteral("'Else' without an open 'If' block")
                                         : QStringLiteral("'ElseIf' without an open 'If' block"));
            Open &b = m_open.back();
            if (b.sawElse)
                throw SyntaxError(p.line,
                                  (isElse ? QStringLiteral("a second 'Else' in the 'If' block "
                                                           "opened at line %1")
                                          : QStringLiteral("'ElseIf' after the 'Else' of the 'If' "
                                                           "block of line %1"))
                                      .arg(b.line));
            b.sawElse = isElse;
            b.owner->conditions.push_back(isElse ? nullptr : std::move(p.stmt->conditions.front()));
            b.owner->branches.emplace_back();
            break;
        }
        case LineKind::End: {
            const StmtKind want = p.second == u"model" ? StmtKind::Model
                                  : p.second == u"if"  ? StmtKind::If
                                                       : StmtKind::For;
            if (m_open.empty() || m_open.back().owner->kind != want)
                throw SyntaxError(
                    p.line,
                    QStringLiteral("'End %1' does not close the innermost block").arg(p.endWord));
            m_open.pop_back();
            break;
        }
        case LineKind::Broken:
        case LineKind::Unknown:
            throw SyntaxError(p.line, p.error);
        }
    }

    struct Open
    {
        Stmt *owner;
        bool sawElse;
        int line;
    };
    std::function<void(StmtPtr &&)> m_receiver;
    Program m_program;
    std::vector<Open> m_open;

    Block &current()
    {
        if (m_open.empty())
            return m_program.statements;
        Stmt *s = m_open.back().owner;
        return s->kind == StmtKind::If ? s->branches.back() : s->body;
    }

    // A Plot's series is named by its last Named clause.
    static void keepLastNamed(Stmt &s, const std::vector<PlotClause> &clauses)
    {
        const PlotClause *last = nullptr;
        for (const PlotClause &c : clauses)
            if (c.lower == u"named")
                last = &c;
        if (last && last->itemsFrom > 0)
            s.items.erase(s.items.begin(), s.items.begin() + qsizetype(last->itemsFrom));
    }
};

} // namespace

ParsedLine parseLine(const Statement &st, const QStringList *lines)
{
    LineText text;
    if (lines)
        text = [lines](int line) { return lines->value(line - 1); };
    return LineParser(st, text).run(st);
}

Program parse(const LexResult &lexed)
{
    Assembler assembler;
    int lastLine = 0;
    for (const Statement &st : lexed.statements) {
        assembler.add(parseLine(st, &lexed.lines));
        lastLine = st.line;
    }
    return assembler.finish(lastLine);
}

namespace {

// The text of a line of a source, asked for in the order of the lines: the cursor
// only moves forward, so finding a line costs nothing but the text between.
class LineCursor
{
public:
    explicit LineCursor(const QString &text)
        : m_text(text)
    {}
    QString at(int line)
    {
        if (line < m_line) {
            m_line = 1;
            m_start = 0;
        }
        while (m_line < line && m_start < m_text.size()) {
            const qsizetype end = lineEnd(m_start);
            m_start = end;
            if (m_start < m_text.size())
                m_start += m_text.at(m_start) == u'\r' && m_start + 1 < m_text.size()
                                   && m_text.at(m_start + 1) == u'\n'
                               ? 2
                               : 1;
            ++m_line;
        }
        return m_text.mid(m_start, lineEnd(m_start) - m_start);
    }

private:
    qsizetype lineEnd(qsizetype from) const
    {
        qsizetype end = from;
        while (end < m_text.size() && m_text.at(end) != u'\r' && m_text.at(end) != u'\n')
            ++end;
        return end;
    }
    const QString &m_text;
    int m_line = 1;
    qsizetype m_start = 0;
};

} // namespace

Program parse(const QString &text)
{
    return parseEach(text, {});
}

Program parseEach(const QString &text, const std::function<void(StmtPtr &&)> &receiver)
{
    Assembler assembler(receiver);
    LineCursor cursor(text);
    const LineText lines = [&cursor](int line) { return cursor.at(line); };
    std::optional<SyntaxError> lexFault, fault;
    int lastLine = 0;
    lexEach(
        text,
        [&](Statement &&st) {
            lastLine = st.line;
            if (lexFault || fault)
                return;
            try {
                assembler.add(LineParser(st, lines).run(st));
            } catch (const SyntaxError &e) {
                fault = e;
            }
        },
        [&](int line, const QString &message) {
            if (!lexFault)
                lexFault.emplace(line, message);
        });
    if (lexFault)
        throw *lexFault;
    if (fault)
        throw *fault;
    return assembler.finish(lastLine);
}

} // namespace ty
