#include "TySyntax.h"

namespace ty {

namespace {

class Parser
{
public:
    explicit Parser(const LexResult &lexed)
        : m_lexed(lexed)
    {}

    Program run()
    {
        Program program;
        m_index = 0;
        program.statements = block({});
        if (m_index < m_lexed.statements.size())
            throw SyntaxError(m_lexed.statements.at(m_index).line,
                              QStringLiteral("'End' without an open block"));
        return program;
    }

private:
    const LexResult &m_lexed;
    qsizetype m_index = 0; // the statement being read
    const QList<Token> *m_tokens = nullptr;
    qsizetype m_pos = 0;
    int m_line = 0;
    int m_blockDepth = 0; // blocks open around the statement being read
    int m_exprDepth = 0;  // parentheses, signs and calls around the value being read

    // Deeper nesting than any model needs is refused, so that neither the parser nor
    // the interpreter, which both recurse, can exhaust the stack.
    static constexpr int MaxBlockDepth = 1000;
    static constexpr int MaxExprDepth = 200;
    struct Depth
    {
        Depth(int &d, int limit, int line, const char *what)
            : depth(d)
        {
            if (++depth > limit) {
                --depth;
                throw SyntaxError(line,
                                  QStringLiteral("%1 nested more than %2 deep")
                                      .arg(QLatin1String(what), QString::number(limit)));
            }
        }
        ~Depth() { --depth; }
        int &depth;
    };

    // ---- token cursor ----
    const Token *peek(int ahead = 0) const
    {
        const qsizetype i = m_pos + ahead;
        return i < m_tokens->size() ? &m_tokens->at(i) : nullptr;
    }
    bool isWord(const Token *t, const char *w) const
    {
        return t && t->kind == Tok::Ident && !t->prime && t->lower == QLatin1String(w);
    }
    bool acceptWord(const char *w)
    {
        if (!isWord(peek(), w))
            return false;
        ++m_pos;
        return true;
    }
    bool acceptOp(const char *op)
    {
        const Token *t = peek();
        if (!t || !isOp(*t, op))
            return false;
        ++m_pos;
        return true;
    }
    [[noreturn]] void fail(const QString &what) const
    {
        const Token *t = peek();
        throw SyntaxError(t ? t->line : m_line, what);
    }
    void expectOp(const char *op)
    {
        if (!acceptOp(op))
            fail(QStringLiteral("expected '") + QLatin1String(op) + u'\'');
    }
    void expectWord(const char *w)
    {
        if (!acceptWord(w))
            fail(QStringLiteral("expected '") + QLatin1String(w) + u'\'');
    }
    QString name()
    {
        const Token *t = peek();
        if (!t || t->kind != Tok::Ident)
            fail(QStringLiteral("expected a name"));
        ++m_pos;
        return t->text;
    }
    QString string()
    {
        const Token *t = peek();
        if (!t || t->kind != Tok::String)
            fail(QStringLiteral("expected a string"));
        ++m_pos;
        return t->text;
    }
    QStringList names()
    {
        QStringList list;
        do
            list << name();
        while (acceptOp(","));
        return list;
    }
    void expectEnd()
    {
        if (peek())
            fail(QStringLiteral("unexpected text after the end of the statement"));
    }

    // The statements up to the End (or ElseIf / Else) that closes the block.
    Block block(const QStringList &closers)
    {
        const Depth depth(m_blockDepth, MaxBlockDepth, m_line, "blocks");
        Block out;
        while (m_index < m_lexed.statements.size()) {
            const Statement &st = m_lexed.statements.at(m_index);
            m_tokens = &st.tokens;
            m_pos = 0;
            m_line = st.line;
            const Token &first = st.tokens.first();
            const QString head = first.kind == Tok::Ident && !first.prime ? first.lower : QString();
            if (closers.contains(head))
                return out;
            ++m_index;
            out.push_back(statement(head));
        }
        if (!closers.isEmpty())
            throw SyntaxError(m_line, QStringLiteral("a block is never closed"));
        return out;
    }

    void closeBlock(const char *kind)
    {
        if (m_index >= m_lexed.statements.size())
            throw SyntaxError(m_line, QStringLiteral("a block is never closed"));
        const Statement &st = m_lexed.statements.at(m_index);
        m_tokens = &st.tokens;
        m_pos = 0;
        m_line = st.line;
        expectWord("end");
        expectWord(kind);
        expectEnd();
        ++m_index;
    }

    StmtPtr statement(const QString &head)
    {
        auto s = std::make_unique<Stmt>();
        s->line = m_line;
        if (head == u"title") {
            ++m_pos;
            s->kind = StmtKind::Title;
            s->text = string();
        } else if (head == u"parameter" || head == u"variable") {
            ++m_pos;
            s->kind = StmtKind::Declare;
            s->isParameter = head == u"parameter";
            do
                s->decls.push_back(declaration());
            while (acceptOp(","));
        } else if (head == u"function") {
            ++m_pos;
            s->kind = StmtKind::Function;
            s->name = name();
            expectOp("(");
            if (!acceptOp(")")) {
                s->params = names();
                expectOp(")");
            }
            expectOp("=");
            s->expr = expression();
        } else if (head == u"model") {
            ++m_pos;
            s->kind = StmtKind::Model;
            s->name = name();
            expectEnd();
            s->body = block({QStringLiteral("end")});
            closeBlock("model");
            return s;
        } else if (head == u"if") {
            s->kind = StmtKind::If;
            for (;;) {
                ++m_pos; // If, ElseIf or Else
                if (isWord(&m_tokens->first(), "else")) {
                    s->conditions.push_back(nullptr);
                } else {
                    s->conditions.push_back(expression());
                    expectWord("then");
                }
                expectEnd();
                s->branches.push_back(block(
                    {QStringLiteral("end"), QStringLiteral("elseif"), QStringLiteral("else")}));
                if (m_index >= m_lexed.statements.size())
                    throw SyntaxError(m_line, QStringLiteral("an 'If' block is never closed"));
                const Statement &st = m_lexed.statements.at(m_index);
                if (isWord(&st.tokens.first(), "end"))
                    break;
                m_tokens = &st.tokens;
                m_pos = 0;
                m_line = st.line;
                ++m_index;
            }
            closeBlock("if");
            return s;
        } else if (head == u"for") {
            ++m_pos;
            s->kind = StmtKind::For;
            s->name = name();
            expectOp("=");
            s->first = expression();
            expectWord("to");
            s->last = expression();
            if (acceptWord("step"))
                s->step = expression();
            expectEnd();
            s->body = block({QStringLiteral("end")});
            closeBlock("for");
            return s;
        } else if (head == u"constraint") {
            ++m_pos;
            s->kind = StmtKind::Constraint;
            const Token *a = peek(), *b = peek(1);
            if (a && a->kind == Tok::Ident && b && isOp(*b, ":")) {
                s->text = a->text;
                m_pos += 2;
            }
            s->left = sum();
            if (acceptOp("<="))
                s->relation = Op::Le;
            else if (acceptOp(">="))
                s->relation = Op::Ge;
            else if (acceptOp("=="))
                s->relation = Op::Eq;
            else
                fail(QStringLiteral("expected <=, >= or =="));
            s->right = sum();
        } else if (head == u"residual") {
            ++m_pos;
            s->kind = StmtKind::Residual;
            s->expr = expression();
        } else if (head == u"find") {
            ++m_pos;
            s->kind = StmtKind::Find;
            s->unknowns = names();
            expectWord("in");
            s->model = name();
            expectWord("using");
            s->solver = name().toUpper();
            expectWord("to");
            s->goal = name().toLower();
            s->objectives = names();
            options(*s);
        } else if (head == u"initiate") {
            ++m_pos;
            s->kind = StmtKind::Initiate;
            s->solver = name().toUpper();
            expectWord("for");
            s->model = name();
            expectWord("equations");
            s->unknowns = names();
            expectWord("of");
            s->independent = name();
            expectWord("span");
            s->spanFrom = expression();
            expectOp(",");
            s->spanTo = expression();
            expectWord("step");
            s->outputStep = expression();
            if (acceptWord("until"))
                s->until = expression();
            options(*s);
        } else if (head == u"print") {
            ++m_pos;
            s->kind = StmtKind::Print;
            if (peek())
                s->items = itemList();
        } else if (head == u"plot") {
            ++m_pos;
            s->kind = StmtKind::Plot;
            plot(*s);
        } else {
            s->kind = StmtKind::Assign;
            const Token *t = peek();
            s->name = name();
            s->derivative = t->prime;
            if (acceptOp("[")) {
                do
                    s->indices.push_back(expression());
                while (acceptOp(","));
                expectOp("]");
            }
            expectOp("=");
            s->expr = expression();
        }
        expectEnd();
        return s;
    }

    Decl declaration()
    {
        Decl d;
        d.line = m_line;
        d.name = name();
        if (acceptOp("[")) {
            do
                d.sizes.push_back(expression());
            while (acceptOp(","));
            expectOp("]");
        }
        if (acceptOp("=")) {
            if (acceptOp("[")) {
                d.hasList = true;
                do
                    d.list.push_back(expression());
                while (acceptOp(","));
                expectOp("]");
            } else {
                d.value = expression();
            }
        }
        return d;
    }

    void options(Stmt &s)
    {
        if (!acceptWord("with"))
            return;
        do {
            Option o;
            o.line = m_line;
            o.name = name().toLower();
            expectOp("=");
            o.value = expression();
            s.options.push_back(std::move(o));
        } while (acceptOp(","));
    }

    std::vector<Item> itemList()
    {
        std::vector<Item> items;
        do {
            Item item;
            const Token *t = peek();
            if (t && t->kind == Tok::String
                && (!peek(1) || isOp(*peek(1), ",") || peek(1)->kind == Tok::Ident)) {
                item.text = t->text;
                ++m_pos;
            } else {
                item.expr = expression();
            }
            items.push_back(std::move(item));
        } while (acceptOp(","));
        return items;
    }

    // The text of the tokens from..to-1 as written (they may span continued lines).
    QString textOf(qsizetype from, qsizetype to) const
    {
        const Token &a = m_tokens->at(from), &b = m_tokens->at(to - 1);
        if (a.line == b.line)
            return m_lexed.lines.at(a.line - 1).mid(a.column, b.endColumn - a.column);
        QStringList parts;
        for (qsizetype i = from; i < to; ++i)
            parts << m_tokens->at(i).text;
        return parts.join(u' ');
    }

    void plot(Stmt &s)
    {
        do {
            const qsizetype from = m_pos;
            s.ys.push_back(expression());
            s.yTexts << textOf(from, m_pos);
        } while (acceptOp(","));
        expectWord("vs");
        s.x = expression();
        while (peek()) {
            if (acceptWord("named")) {
                s.named = true;
                s.items = itemList();
            } else if (acceptWord("title")) {
                s.hasTitle = true;
                s.plotTitle = string();
            } else if (acceptWord("xlabel")) {
                s.hasXLabel = true;
                s.xLabel = string();
            } else if (acceptWord("ylabel")) {
                s.hasYLabel = true;
                s.yLabel = string();
            } else if (acceptWord("markers")) {
                s.markers = true;
            } else if (acceptWord("dashed")) {
                s.dashed = true;
            } else if (acceptWord("logx")) {
                s.logX = true;
            } else if (acceptWord("logy")) {
                s.logY = true;
            } else {
                fail(QStringLiteral("unknown Plot clause"));
            }
        }
    }

    // ---- expressions, from the loosest binding to the tightest ----
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
        e->args.push_back(std::move(b));
        return e;
    }

    ExprPtr expression()
    {
        const Depth depth(m_exprDepth, MaxExprDepth, m_line, "expressions");
        ExprPtr e = conjunction();
        while (acceptWord("or"))
            e = binary(Op::Or, std::move(e), conjunction());
        return e;
    }
    ExprPtr conjunction()
    {
        ExprPtr e = negation();
        while (acceptWord("and"))
            e = binary(Op::And, std::move(e), negation());
        return e;
    }
    ExprPtr negation()
    {
        const Depth depth(m_exprDepth, MaxExprDepth, m_line, "expressions");
        if (acceptWord("not")) {
            ExprPtr e = node(Op::Not, m_line);
            e->args.push_back(negation());
            return e;
        }
        return comparison();
    }
    ExprPtr comparison()
    {
        ExprPtr e = sum();
        static const std::pair<const char *, Op> ops[] = {{"<=", Op::Le},
                                                          {">=", Op::Ge},
                                                          {"==", Op::Eq},
                                                          {"<>", Op::Ne},
                                                          {"<", Op::Lt},
                                                          {">", Op::Gt}};
        for (const auto &[text, op] : ops)
            if (acceptOp(text))
                return binary(op, std::move(e), sum());
        return e;
    }
    ExprPtr sum()
    {
        ExprPtr e = product();
        for (;;) {
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
        const Depth depth(m_exprDepth, MaxExprDepth, m_line, "expressions");
        if (acceptOp("-")) {
            ExprPtr e = node(Op::Neg, m_line);
            e->args.push_back(unary());
            return e;
        }
        if (acceptOp("+"))
            return unary();
        return power();
    }
    ExprPtr power()
    {
        ExprPtr base = primary();
        if (acceptOp("^")) // right-associative; the exponent may carry a sign
            return binary(Op::Pow, std::move(base), unary());
        return base;
    }
    ExprPtr primary()
    {
        const Token *t = peek();
        if (!t)
            fail(QStringLiteral("expected a value"));
        const int line = t->line;
        if (t->kind == Tok::Number) {
            ++m_pos;
            ExprPtr e = node(Op::Number, line);
            e->value = t->text.toDouble();
            return e;
        }
        if (acceptOp("(")) {
            ExprPtr e = expression();
            expectOp(")");
            return e;
        }
        if (t->kind != Tok::Ident)
            fail(QStringLiteral("expected a value"));
        ++m_pos;
        if (!t->prime && t->lower == u"pi" && !(peek() && isOp(*peek(), "(")))
            return node(Op::Pi, line);
        if (!t->prime && t->lower == u"iteration")
            return node(Op::Iteration, line);
        ExprPtr e = node(t->prime ? Op::Deriv : Op::Name, line);
        e->name = t->text;
        if (!t->prime && acceptOp("(")) {
            e->op = Op::Call;
            if (!acceptOp(")")) {
                do
                    e->args.push_back(expression());
                while (acceptOp(","));
                expectOp(")");
            }
        } else if (acceptOp("[")) {
            if (e->op == Op::Name)
                e->op = Op::Index;
            do
                e->args.push_back(expression());
            while (acceptOp(","));
            expectOp("]");
        }
        return e;
    }
};

} // namespace

Program parse(const LexResult &lexed)
{
    return Parser(lexed).run();
}

} // namespace ty
