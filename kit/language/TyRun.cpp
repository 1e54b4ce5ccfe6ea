#include "TyRun.h"

#include "TessalyCheck.h"

#include "TyLexer.h"
#include "TyNumberFormat.h"
#include "TySyntax.h"

#include <Integrators.h>
#include <Optimizers.h>
#include <Solvers.h>

#include <QHash>
#include <QSet>

#include <array>
#include <cmath>
#include <cstring>
#include <deque>
#include <functional>
#include <limits>
#include <map>
#include <numbers>
#include <optional>
#include <stdexcept>
#include <unordered_map>

// Every name is resolved to a slot of the symbol table before the run starts, and
// every block is compiled into a flat list of steps before it runs (see "the compiled
// form"); the tree walk (eval, exec) runs the shapes the steps leave to it.
// A Find or an Initiate calls its model through a closure the kit's solvers and
// integrators take (kit/answers: Integrators.h, Solvers.h, Optimizers.h).

namespace ty {

void PrintLine::text(const QString &s)
{
    m_line += s;
    m_afterText = true;
}

void PrintLine::number(double v)
{
    const QString n = formatNumber(v);
    if (m_afterText) {
        m_line += n;
    } else {
        if (n.size() >= 10 && !m_line.isEmpty())
            m_line += u' ';
        m_line += n.rightJustified(10);
    }
    m_afterText = false;
}

namespace {

struct RunError
{
    int line;
    QString message;
};

enum Builtin {
    Sin,
    Cos,
    Tan,
    Asin,
    Acos,
    Atan,
    Sinh,
    Cosh,
    Tanh,
    Exp,
    Log,
    Log10,
    Sqrt,
    Abs,
    Floor,
    Ceil,
    Sign,
    Atan2,
    Pow,
    Mod,
    Min,
    Max,
    Sum,
    Size,
};

const QHash<QString, int> &builtinIds()
{
    static const QHash<QString, int> ids = {
        {"sin", Sin},   {"cos", Cos},     {"tan", Tan},     {"asin", Asin}, {"acos", Acos},
        {"atan", Atan}, {"sinh", Sinh},   {"cosh", Cosh},   {"tanh", Tanh}, {"exp", Exp},
        {"log", Log},   {"log10", Log10}, {"sqrt", Sqrt},   {"abs", Abs},   {"floor", Floor},
        {"ceil", Ceil}, {"sign", Sign},   {"atan2", Atan2}, {"pow", Pow},   {"mod", Mod},
        {"min", Min},   {"max", Max},     {"sum", Sum},     {"size", Size},
    };
    return ids;
}

struct Symbol
{
    enum Kind { Parameter, Variable, Function, Model, Loop, Local };
    Kind kind = Variable;
    QString name;
    std::vector<double> v{0.0};
    std::vector<double> d{0.0}; // derivatives, while an Initiate runs the model
    std::vector<char> dset{0};  // which derivatives the model set
    std::array<int, 3> dims{1, 1, 1};
    int ndims = 0;
    const Stmt *def = nullptr; // a function's or a model's statement
    std::vector<int> params;   // a function's parameter ids
    bool running = false;      // a model now running
};

class Interpreter
{
public:
    explicit Interpreter(const RunOptions &options)
        : m_options(options)
    {}

    // The job is read twice, a statement outside all blocks (or a whole block) at a
    // time, so that a long job never has all its trees at once. The first reading
    // declares every name, keeps the models and functions, and finds the first
    // syntax fault and the first name that cannot be bound: a job with either runs
    // nothing. The second runs each statement as it is read and then lets it go.
    RunResult run(const QByteArray &source)
    {
        try {
            const QString text = decodeSource(source);
            survey(text);
            runEach(text);
            m_result.ok = true;
        } catch (const SyntaxError &e) {
            m_result.errorLine = e.line;
            m_result.error = e.message;
        } catch (const RunError &e) {
            m_result.errorLine = e.line;
            m_result.error = e.message;
        }
        return m_result;
    }

private:
    const RunOptions &m_options;
    RunResult m_result;
    // The statements kept for the whole run, in the order of the file: the models and
    // functions, and any statement with one inside it (which only a job run without
    // the check can have).
    Block m_definitions;
    qsizetype m_outputKept = 0;
    std::vector<Symbol> m_syms;
    QHash<QString, int> m_names;
    int m_quiet = 0;                                 // Print and Plot write nothing while above 0
    double m_iteration = 0.0;                        // the innermost running Find's iteration
    std::vector<double> *m_constraints = nullptr;    // collects g <= 0 while a Find runs
    std::vector<double> *m_residuals = nullptr;      // collects Residual values for DAE
    long long m_executed = 0, m_nextProgress = 4096; // statements run, for progress
    bool m_titleSet = false, m_xLabelSet = false, m_yLabelSet = false;
    QHash<QString, qsizetype> m_series;

    [[noreturn]] static void fail(int line, const QString &message)
    {
        throw RunError{line, message};
    }

    // ---- names ----
    int addSymbol(const QString &name, Symbol::Kind kind)
    {
        Symbol s;
        s.kind = kind;
        s.name = name;
        m_syms.push_back(std::move(s));
        return int(m_syms.size()) - 1;
    }

    // The names a statement declares, and those of the blocks inside it.
    void collect(const Stmt &st)
    {
        switch (st.kind) {
        case StmtKind::Declare:
            for (const Decl &d : st.decls)
                if (!m_names.contains(d.name)) {
                    const int slot
                        = addSymbol(d.name, st.isParameter ? Symbol::Parameter : Symbol::Variable);
                    m_syms[slot].ndims = int(d.sizes.size());
                    m_names.insert(d.name, slot);
                }
            break;
        case StmtKind::Function:
        case StmtKind::Model: {
            const int slot
                = addSymbol(st.name, st.kind == StmtKind::Model ? Symbol::Model : Symbol::Function);
            m_syms[slot].def = &st;
            m_names.insert(st.name, slot);
            for (const QString &p : st.params) {
                const int local = addSymbol(p, Symbol::Local);
                m_syms[std::size_t(slot)].params.push_back(local);
            }
            collect(st.body);
            break;
        }
        case StmtKind::For:
        case StmtKind::If:
            collect(st.body);
            for (const Block &b : st.branches)
                collect(b);
            break;
        default:
            break;
        }
    }

    void collect(const Block &block)
    {
        for (const StmtPtr &st : block)
            collect(*st);
        // Loop variables no declaration names.
        for (const StmtPtr &st : block)
            if (st->kind == StmtKind::For && !m_names.contains(st->name))
                m_names.insert(st->name, addSymbol(st->name, Symbol::Loop));
    }

    int slotOf(const QString &name, int line, const QHash<QString, int> *locals) const
    {
        if (locals) {
            const auto it = locals->constFind(name);
            if (it != locals->constEnd())
                return *it;
        }
        const auto it = m_names.constFind(name);
        if (it == m_names.constEnd())
            fail(line, QStringLiteral("unknown name '") + name + u'\'');
        return *it;
    }

    // Binding a name can fail only by the table of names, which is whole once the
    // job has been read. While it is first read, the uses of the names are noted
    // instead: the first of each name (and of each count of arguments a call gives
    // it), in the order binding meets them, so that the first to fail is known
    // before anything runs. A use's place is its statement's number and its number
    // within the statement.
    using Place = std::pair<long long, long long>;
    struct Use
    {
        Place place;
        int line = 0;
    };
    struct Uses
    {
        QHash<std::pair<QString, int>, Use> first; // by name and count of arguments (-1: none)
        std::optional<RunError> fault;             // the first that fails whatever is declared
        Place faultPlace;
    };
    Uses *m_noting = nullptr; // set while uses are noted, not bound
    Place m_place;

    // Why a use of name cannot be bound, with arguments when it is called: slot is
    // where it stands, -1 when it is unknown.
    QString useFault(int slot, const QString &name, int arguments) const
    {
        if (slot < 0)
            return QStringLiteral("unknown name '") + name + u'\'';
        if (arguments < 0)
            return {};
        const Symbol &f = m_syms[std::size_t(slot)];
        if (f.kind != Symbol::Function)
            return QStringLiteral("'") + name + QStringLiteral("' is not a function");
        if (f.params.size() != std::size_t(arguments))
            return QStringLiteral("'%1' takes %2 arguments")
                .arg(name, QString::number(f.params.size()));
        return {};
    }

    int bind(const QString &name, int line, const QHash<QString, int> *locals, int arguments)
    {
        ++m_place.second;
        if (m_noting) {
            const std::pair<QString, int> key{name, arguments};
            if (!m_noting->first.contains(key))
                m_noting->first.insert(key, Use{m_place, line});
            return -1;
        }
        int slot = -1;
        if (locals && locals->contains(name))
            slot = locals->value(name);
        else
            slot = m_names.value(name, -1);
        const QString fault = useFault(slot, name, arguments);
        if (!fault.isEmpty())
            fail(line, fault);
        return slot;
    }

    void resolve(const Expr *e, const QHash<QString, int> *locals)
    {
        if (!e)
            return;
        for (const ExprPtr &a : e->args)
            resolve(a.get(), locals);
        switch (e->op) {
        case Op::Name:
        case Op::Index:
        case Op::Deriv:
            e->slot = bind(e->name, e->line, locals, -1);
            break;
        case Op::Call: {
            const auto b = builtinIds().constFind(e->name.toLower());
            if (b != builtinIds().constEnd()) {
                ++m_place.second;
                // A job run without the check may call one with too few arguments.
                const QString fault = builtinCallFault(e->name, qsizetype(e->args.size()));
                if (!fault.isEmpty()) {
                    if (!m_noting)
                        fail(e->line, fault);
                    if (!m_noting->fault) {
                        m_noting->fault = RunError{e->line, fault};
                        m_noting->faultPlace = m_place;
                    }
                }
                e->slot = -2 - *b;
            } else {
                e->slot = bind(e->name, e->line, locals, int(e->args.size()));
            }
            break;
        }
        default:
            break;
        }
    }

    void resolve(const Block &block, const QHash<QString, int> *locals)
    {
        for (const StmtPtr &st : block)
            resolve(*st, locals);
    }

    void resolve(const Stmt &st, const QHash<QString, int> *locals)
    {
        if (st.kind == StmtKind::Function) {
            QHash<QString, int> params;
            const Symbol &f = m_syms[std::size_t(m_names.value(st.name))];
            for (qsizetype i = 0; i < st.params.size(); ++i)
                params.insert(st.params.at(i), f.params[std::size_t(i)]);
            resolve(st.expr.get(), &params);
            return;
        }
        if (st.kind == StmtKind::Assign || st.kind == StmtKind::For)
            st.slot = bind(st.name, st.line, locals, -1);
        for (const Decl &d : st.decls) {
            for (const ExprPtr &e : d.sizes)
                resolve(e.get(), locals);
            resolve(d.value.get(), locals);
            for (const ExprPtr &e : d.list)
                resolve(e.get(), locals);
        }
        for (const Expr *e : {st.expr.get(),
                              st.first.get(),
                              st.last.get(),
                              st.step.get(),
                              st.left.get(),
                              st.right.get(),
                              st.spanFrom.get(),
                              st.spanTo.get(),
                              st.outputStep.get(),
                              st.until.get(),
                              st.x.get()})
            resolve(e, locals);
        for (const ExprPtr &e : st.indices)
            resolve(e.get(), locals);
        for (const ExprPtr &e : st.conditions)
            resolve(e.get(), locals);
        for (const ExprPtr &e : st.ys)
            resolve(e.get(), locals);
        for (const Item &i : st.items)
            resolve(i.expr.get(), locals);
        for (const Option &o : st.options)
            resolve(o.value.get(), locals);
        resolve(st.body, locals);
        for (const Block &b : st.branches)
            resolve(b, locals);
    }

    // A model or a function, or a statement with one inside it.
    static bool defines(const Stmt &st)
    {
        if (st.kind == StmtKind::Model || st.kind == StmtKind::Function)
            return true;
        for (const StmtPtr &inner : st.body)
            if (defines(*inner))
                return true;
        for (const Block &b : st.branches)
            for (const StmtPtr &inner : b)
                if (defines(*inner))
                    return true;
        return false;
    }

    // The first reading (see run).
    void survey(const QString &text)
    {
        Uses uses;
        m_noting = &uses;
        QHash<QString, int> declared;
        bool once = true;
        QStringList loopNames; // of the For loops outside all blocks, in order
        QSet<QString> loopsSeen;
        std::vector<long long> definedAt; // the statement number of each definition
        long long number = 0;
        parseEach(text, [&](StmtPtr &&st) {
            ++number;
            collect(*st);
            if (st->kind == StmtKind::For && !loopsSeen.contains(st->name)) {
                loopsSeen.insert(st->name);
                loopNames << st->name;
            }
            once = once && declaredOnce(*st, declared);
            if (defines(*st)) {
                definedAt.push_back(number);
                m_definitions.push_back(std::move(st));
            } else {
                m_place = {number, 0};
                resolve(*st, nullptr);
            }
        });
        for (const QString &name : loopNames)
            if (!m_names.contains(name))
                m_names.insert(name, addSymbol(name, Symbol::Loop));
        m_flat = once;
        m_noting = nullptr;

        // Every name is declared now: the first use that fails stops the job.
        std::optional<RunError> first = uses.fault;
        Place at = uses.faultPlace;
        const auto earlier = [&](const Place &place, int line, const QString &message) {
            if (!first || place < at) {
                first = RunError{line, message};
                at = place;
            }
        };
        for (auto it = uses.first.cbegin(); it != uses.first.cend(); ++it) {
            const QString fault
                = useFault(m_names.value(it.key().first, -1), it.key().first, it.key().second);
            if (!fault.isEmpty())
                earlier(it->place, it->line, fault);
        }
        // The definitions are bound at once: they stay for the whole run.
        for (std::size_t i = 0; i < m_definitions.size(); ++i) {
            m_place = {definedAt[i], 0};
            try {
                resolve(*m_definitions[i], nullptr);
            } catch (const RunError &e) {
                earlier(m_place, e.line, e.message);
            }
        }
        if (first)
            throw *first;
    }

    // The second reading: each statement outside all blocks is bound, compiled and
    // run as it comes, a few hundred at a time, and then let go. The steps count for
    // progress exactly as they would in one list of the whole job: the count of the
    // statements not yet counted goes on from one list to the next.
    void runEach(const QString &text)
    {
        constexpr std::size_t PerList = 256;
        std::size_t definition = 0;
        Block held; // the statements the list at work points into
        std::size_t listed = 0;
        auto list = std::make_unique<Flat>();
        const auto runList = [&](int counted) {
            const int statements = list->statements, lastLine = list->lastLine;
            complete(*list, counted);
            run(*list);
            list = std::make_unique<Flat>();
            held.clear();
            listed = 0;
            list->statements = statements - counted;
            list->lastLine = lastLine;
        };
        parseEach(text, [&](StmtPtr &&st) {
            const Stmt *stmt = st.get();
            if (defines(*st)) {
                stmt = m_definitions[definition++].get();
                st.reset();
            } else {
                resolve(*st, nullptr);
            }
            if (!m_flat) {
                exec(*stmt);
                return;
            }
            compileListed(*list, *stmt);
            if (st)
                held.push_back(std::move(st));
            if (++listed >= PerList)
                runList(0);
        });
        if (m_flat)
            runList(list->statements);
    }

    // ---- values ----
    Symbol &sym(int slot) { return m_syms[std::size_t(slot)]; }

    std::size_t elementIndex(const Symbol &s, const std::vector<ExprPtr> &indices, int line)
    {
        if (int(indices.size()) != s.ndims)
            fail(line,
                 QStringLiteral("'%1' has %2 sizes but %3 indices are given")
                     .arg(s.name, QString::number(s.ndims), QString::number(indices.size())));
        std::size_t flat = 0;
        std::array<double, 3> given{0, 0, 0};
        bool outside = false;
        for (std::size_t k = 0; k < indices.size(); ++k) {
            // An index is most often a scalar (a loop counter): read it directly.
            // So is a counter plus or minus a number (u[i-1, j, k]): same arithmetic.
            const Expr &ix = *indices[k];
            double v;
            if (ix.op == Op::Name && isPlainScalar(ix)) {
                v = m_syms[std::size_t(ix.slot)].v[0];
            } else if ((ix.op == Op::Add || ix.op == Op::Sub) && ix.args[0]->op == Op::Name
                       && ix.args[1]->op == Op::Number && isPlainScalar(*ix.args[0])) {
                const double a = m_syms[std::size_t(ix.args[0]->slot)].v[0];
                v = ix.op == Op::Add ? a + ix.args[1]->value : a - ix.args[1]->value;
            } else {
                v = eval(ix);
            }
            given[k] = v;
            if (!place(s, k, v, flat, line))
                outside = true;
        }
        if (outside)
            outOfRange(s, given, line);
        return flat;
    }

    // Adds the k-th index v of an element of s to its flat position; false when v lies
    // outside the array (reported once every index is known). Throws when v is not whole.
    static bool place(const Symbol &s, std::size_t k, double v, std::size_t &flat, int line)
    {
        // A whole index inside the array: the common case, taken at once.
        if (v >= 1.0 && v <= double(s.dims[k]) && v == double(int(v))) {
            flat = flat * std::size_t(s.dims[k]) + std::size_t(int(v) - 1);
            return true;
        }
        // Indices are nearly always whole already: the cast is the fast test.
        const double r = (v > -2e9 && v < 2e9 && v == double(int(v))) ? v : std::round(v);
        if (r != v && std::abs(v - r) > 1e-9 * std::max(1.0, std::abs(v)))
            fail(line,
                 QStringLiteral("the index %1 of '%2' is not a whole number")
                     .arg(formatNumber(v), s.name));
        if (!(r >= 1.0 && r <= double(s.dims[k])))
            return false;
        flat = flat * std::size_t(s.dims[k]) + std::size_t(r - 1.0);
        return true;
    }

    [[noreturn]] static void
    outOfRange(const Symbol &s, const std::array<double, 3> &given, int line)
    {
        QStringList index, sizes;
        for (int k = 0; k < s.ndims; ++k) {
            index << formatNumber(given[std::size_t(k)]);
            sizes << QString::number(s.dims[std::size_t(k)]);
        }
        fail(line,
             QStringLiteral("index out of range: %1[%2], but '%1' has the size %3")
                 .arg(s.name, index.join(QStringLiteral(", ")), sizes.join(QStringLiteral(", "))));
    }

    // A name that stands for one number (not an array, a model or a function).
    bool isPlainScalar(const Expr &e) const
    {
        const Symbol &s = m_syms[std::size_t(e.slot)];
        return s.ndims == 0 && s.kind != Symbol::Model && s.kind != Symbol::Function;
    }

    double scalar(const Symbol &s, int line) const
    {
        if (s.kind == Symbol::Model || s.kind == Symbol::Function)
            fail(line, QStringLiteral("'") + s.name + QStringLiteral("' has no value"));
        if (s.ndims > 0)
            fail(line,
                 QStringLiteral("the array '") + s.name
                     + QStringLiteral("' stands where one value is meant; give an index"));
        return s.v[0];
    }

    // The values an argument stands for: all elements of a whole array, else one.
    void values(const Expr &e, std::vector<double> &out)
    {
        if (e.op == Op::Name && sym(e.slot).ndims > 0) {
            const Symbol &s = sym(e.slot);
            out.insert(out.end(), s.v.begin(), s.v.end());
        } else {
            out.push_back(eval(e));
        }
    }

    double checked(double r, const char *what, int line)
    {
        if (!std::isfinite(r))
            fail(line, QString::fromLatin1(what));
        return r;
    }

    double call(const Expr &e)
    {
        if (e.slot >= 0) {
            const Symbol &f = sym(e.slot);
            // Arguments are evaluated first, then bound; the previous values come back
            // afterwards, so a function may call another with the same parameter names.
            constexpr std::size_t Few = 8;
            std::array<double, Few> fewArgs, fewSaved;
            std::vector<double> manyArgs, manySaved;
            const std::size_t n = f.params.size();
            double *args = fewArgs.data(), *saved = fewSaved.data();
            if (n > Few) {
                manyArgs.resize(n);
                manySaved.resize(n);
                args = manyArgs.data();
                saved = manySaved.data();
            }
            for (std::size_t i = 0; i < n; ++i)
                args[i] = eval(*e.args[i]);
            for (std::size_t i = 0; i < n; ++i) {
                double &slot = m_syms[std::size_t(f.params[i])].v[0];
                saved[i] = slot;
                slot = args[i];
            }
            const double r = eval(*f.def->expr);
            for (std::size_t i = 0; i < n; ++i)
                m_syms[std::size_t(f.params[i])].v[0] = saved[i];
            return r;
        }
        const int id = -2 - e.slot;
        const int line = e.line;
        if (id == Min || id == Max || id == Sum || id == Size) {
            std::vector<double> all;
            if (id == Size) {
                if (e.args.size() == 1 && e.args[0]->op == Op::Name)
                    return double(sym(e.args[0]->slot).v.size());
                return 1.0;
            }
            for (const ExprPtr &a : e.args)
                values(*a, all);
            if (id == Sum) {
                double s = 0.0;
                for (double v : all)
                    s += v;
                return s;
            }
            if (all.empty())
                fail(line, QStringLiteral("min and max need at least one value"));
            double r = all.front();
            for (double v : all)
                r = id == Min ? std::min(r, v) : std::max(r, v);
            return r;
        }
        const double a = eval(*e.args[0]);
        const double b = takesTwo(id) ? eval(*e.args[1]) : 0.0;
        return builtin(id, a, b, line);
    }

    static bool takesTwo(int id) { return id == Atan2 || id == Pow || id == Mod; }

    // A built-in function of one number, or of two (atan2, pow, mod).
    double builtin(int id, double a, double b, int line)
    {
        if (takesTwo(id)) {
            if (id == Atan2)
                return std::atan2(a, b);
            if (id == Pow)
                return power(a, b, line);
            if (b == 0.0)
                fail(line, QStringLiteral("division by zero in mod(%1, 0)").arg(formatNumber(a)));
            return a - b * std::floor(a / b);
        }
        switch (id) {
        case Min: // of two, as the list of min(a, b) gives it
            return b < a ? b : a;
        case Max:
            return a < b ? b : a;
        case Sin:
            return std::sin(a);
        case Cos:
            return std::cos(a);
        case Tan:
            return std::tan(a);
        case Asin:
        case Acos:
            if (a < -1.0 || a > 1.0)
                fail(line,
                     QStringLiteral("%1 of %2, which lies outside -1 to 1")
                         .arg(id == Asin ? QStringLiteral("asin") : QStringLiteral("acos"),
                              formatNumber(a)));
            return id == Asin ? std::asin(a) : std::acos(a);
        case Atan:
            return std::atan(a);
        case Sinh:
            return checked(std::sinh(a), "sinh overflows", line);
        case Cosh:
            return checked(std::cosh(a), "cosh overflows", line);
        case Tanh:
            return std::tanh(a);
        case Exp:
            return checked(std::exp(a), "exp overflows: its argument is too large", line);
        case Log:
        case Log10:
            if (a <= 0.0)
                fail(line,
                     QStringLiteral("logarithm of %1, which is not positive").arg(formatNumber(a)));
            return id == Log ? std::log(a) : std::log10(a);
        case Sqrt:
            if (a < 0.0)
                fail(line,
                     QStringLiteral("square root of a negative number (%1)").arg(formatNumber(a)));
            return std::sqrt(a);
        case Abs:
            return std::abs(a);
        case Floor:
            return std::floor(a);
        case Ceil:
            return std::ceil(a);
        case Sign:
            return a > 0 ? 1.0 : a < 0 ? -1.0 : 0.0;
        default:
            return 0.0;
        }
    }

    double divide(double a, double b, int line)
    {
        if (b == 0.0)
            fail(line, QStringLiteral("division by zero (%1 / 0)").arg(formatNumber(a)));
        return a / b;
    }

    double power(double a, double b, int line)
    {
        if (b == 2.0)
            return a * a;
        if (a < 0.0 && b != std::floor(b))
            fail(line,
                 QStringLiteral("a negative number (%1) to a power that is not whole (%2)")
                     .arg(formatNumber(a), formatNumber(b)));
        if (a == 0.0 && b < 0.0)
            fail(line, QStringLiteral("division by zero: 0 to a negative power"));
        return checked(std::pow(a, b), "overflow: a power too large to hold", line);
    }

    // A number or a scalar read at once; anything else by the full walk.
    double operand(const Expr &e)
    {
        if (e.op == Op::Number)
            return e.value;
        if (e.op == Op::Name) {
            const Symbol &s = m_syms[std::size_t(e.slot)];
            if (s.ndims == 0 && s.kind != Symbol::Model && s.kind != Symbol::Function)
                return s.v[0];
        }
        return eval(e);
    }

    double eval(const Expr &e)
    {
        switch (e.op) {
        case Op::Number:
            return e.value;
        case Op::Name:
            return scalar(sym(e.slot), e.line);
        case Op::Index: {
            Symbol &s = sym(e.slot);
            return s.v[elementIndex(s, e.args, e.line)];
        }
        case Op::Deriv: {
            Symbol &s = sym(e.slot);
            return s.d[e.args.empty() ? 0 : elementIndex(s, e.args, e.line)];
        }
        case Op::Call:
            return call(e);
        case Op::Pi:
            return std::numbers::pi;
        case Op::Iteration:
            return m_iteration;
        case Op::Neg:
            return -eval(*e.args[0]);
        case Op::Not:
            return eval(*e.args[0]) == 0.0 ? 1.0 : 0.0;
        case Op::And:
            return eval(*e.args[0]) != 0.0 && eval(*e.args[1]) != 0.0 ? 1.0 : 0.0;
        case Op::Or:
            return eval(*e.args[0]) != 0.0 || eval(*e.args[1]) != 0.0 ? 1.0 : 0.0;
        default:
            break;
        }
        const double a = operand(*e.args[0]);
        const double b = operand(*e.args[1]);
        switch (e.op) {
        case Op::Add:
            return a + b;
        case Op::Sub:
            return a - b;
        case Op::Mul:
            return a * b;
        case Op::Div:
            return divide(a, b, e.line);
        case Op::Pow:
            return power(a, b, e.line);
        case Op::Lt:
            return a < b;
        case Op::Le:
            return a <= b;
        case Op::Gt:
            return a > b;
        case Op::Ge:
            return a >= b;
        case Op::Eq:
            return a == b;
        case Op::Ne:
            return a != b;
        default:
            return 0.0;
        }
    }

    // ---- the compiled form ----
    // Before a block runs, its statements and their expressions are turned into one
    // flat list of steps: each step names its operands by address (a scalar's value,
    // a constant, a temporary of the list) and the step that follows it, so a run is a
    // loop over the list with no walk of the tree and no look-up. The common shapes
    // get a step of their own: an array element whose indices are counters plus or
    // minus numbers, a sum with such an element, a comparison that decides an If, a
    // For loop's passes. The steps do the same operations in the same order as the
    // tree walk (eval, exec), with the same errors; a shape without a step of its own
    // is handed to the tree walk.

    // An array element whose every index is a scalar or a number, plus or minus a
    // number (u[i-1, j, 5]): index k is *at[k] + off[k]. An index without an offset
    // adds -0, which leaves every value as it is.
    // When every index is a whole number or the counter of a loop that keeps its
    // counter whole (see LoopState), the same indices are also kept as integers:
    // index k is *iat[k] + ioff[k] + 1 (ioff holds the offset less one, so that the
    // sum is the place counted from 0), and integral is set.
    struct Elem
    {
        Symbol *s = nullptr;
        int n = 0;
        std::array<const double *, 3> at{};
        std::array<double, 3> off{};
        int line = 0;
        bool integral = false;
        std::array<const int *, 3> iat{};
        std::array<int, 3> ioff{};
    };

    enum class Step : unsigned char {
        Copy,
        Neg,
        Not,
        Add,
        Sub,
        Mul,
        Div,
        Pow,
        Square,
        Lt,
        Le,
        Gt,
        Ge,
        Eq,
        Ne,
        AddElem, // *a + element
        SubElem,
        MulElem,
        LoadElem,
        LoadDeriv,
        LoadDeriv0, // the derivative of a scalar
        Builtin,
        Tree, // an expression the tree walk evaluates
        AndJump,
        OrJump,
        Truth,
        JumpUnlessLt,
        JumpUnlessLe,
        JumpUnlessGt,
        JumpUnlessGe,
        JumpUnlessEq,
        JumpUnlessNe,
        JumpIfZero,
        Jump,
        StoreElem,
        StoreDeriv,
        StoreDeriv0,
        StoreDerivOp,  // an element's derivative set to a + b, a - b, a * b or a / b (aux)
        StoreDerivOp2, // set to (a op b) op2 c: op (+, -, *) in aux / 256, op2 in aux % 256
        Fill,
        Count,       // counts the statements before it for progress (see counts)
        IfAdd,       // a whole If whose branches each assign a sum (see AddTo)
        IfLtAddElem, // the same, when a < b: *dst = *c + element (a whole one), else *dst2 = *d +
                     // *e
        IfLeAddElem, // a <= b
        IfAddChain,  // IfLtAddElem and IfLeAddElem in a row that add to one scalar (see Link)
        ForInit,
        ForNext,
        Exec, // a statement the tree walk runs
        Return,
    };

    struct LoopState;

    // The branch of an If that is one assignment to a scalar of a sum of a scalar or
    // number and a scalar, number or simple element (nb = nb + u[i-1, j, k], nb = nb +
    // uFace): *dst = *a + (elem ? element : *b). An empty branch has no dst.
    struct AddTo
    {
        double *dst = nullptr;
        const double *a = nullptr, *b = nullptr;
        const Elem *elem = nullptr;
    };

    // One If of an IfAddChain: when *a < *b (<= with orEqual), add the element, else *e.
    struct Link
    {
        const double *a = nullptr, *b = nullptr, *e = nullptr;
        const Elem *elem = nullptr;
        bool orEqual = false;
    };
    using Chain = std::vector<Link>;

    struct Ins
    {
        Step op = Step::Return;
        int aux = 0;  // a built-in's id; IfAdd's <=; the statements Count, ForNext, Return count
        int line = 0; // where an error is reported
        int next = 0, alt = 0;                    // the step that follows; the one a jump takes
        const Ins *to = nullptr, *jump = nullptr; // the same, once the list is complete
        double *dst = nullptr;
        const double *a = nullptr, *b = nullptr, *c = nullptr;
        const Elem *elem = nullptr;
        Symbol *sym = nullptr;
        LoopState *loop = nullptr;
        const Expr *expr = nullptr;
        const Stmt *stmt = nullptr;
        const std::array<AddTo, 2> *sums = nullptr; // IfAdd: when the test holds, else
        double *dst2 = nullptr;                     // IfLtAddElem, IfLeAddElem: the Else's
        const double *d = nullptr, *e = nullptr;
        Chain *chain = nullptr;        // IfAddChain's Ifs, in order
        const void *handler = nullptr; // the code that carries the step out (see run)
    };

    // A For loop's passes. A loop whose body cannot change its counter (no statement
    // in it assigns or declares the counter, runs a Find or an Initiate) also keeps
    // the counter as an integer, whole, when the first value and the step are whole
    // numbers, else NotWhole, which no index accepts.
    static constexpr int NotWhole = -1000000000;
    struct LoopState
    {
        double first = 0.0, step = 0.0;
        long long n = 0, k = 0;
        int whole = NotWhole, wholeStep = 0;
    };

    // A compiled block. Addresses into it stay valid: constants, temporaries and
    // elements live in deques. A model's list never runs inside itself (a model
    // cannot call itself), so each For loop keeps its passes in loops.
    struct Flat
    {
        std::vector<Ins> ins;
        std::deque<double> pool;
        std::deque<Elem> elems;
        std::deque<int> wholes; // whole-number indices
        std::deque<LoopState> loops;
        std::deque<std::array<AddTo, 2>> sums;             // IfAdd's branches
        std::vector<std::pair<int, const int *>> counters; // while compiling: kept counters
        int statements = 0, lastLine = 0, depth = 0;       // while compiling: see counts
        bool threaded = false;                             // every step's handler is set
        std::deque<Chain> chains;                          // IfAddChain's
        // While compiling: the block whose statements are compiled, and the block and
        // step of the last IfLtAddElem, IfLeAddElem or IfAddChain.
        const Block *block = nullptr, *chainBlock = nullptr, *startBlock = nullptr;
        std::size_t chainStep = 0;
        std::size_t startStep = 0; // the AddElem, SubElem or MulElem a chain may start with
        std::unordered_map<const Expr *, const double *> hoisted; // see hoist
        int hoisting = 0; // while compiling: inside a loop whose invariants are hoisted
    };

    bool m_flat = false; // blocks run compiled (every name is declared at most once)
    std::map<int, Flat> m_models;

    // Compiled code holds the addresses of scalars and the number of indices of every
    // array, as the declarations give them. A name declared twice could change both
    // while a list runs, so such a job runs by the tree walk throughout.
    bool declaredOnce(const Stmt &st, QHash<QString, int> &seen) const
    {
        for (const Decl &d : st.decls)
            if (seen[d.name]++ > 0)
                return false;
        if (!declaredOnce(st.body, seen))
            return false;
        for (const Block &b : st.branches)
            if (!declaredOnce(b, seen))
                return false;
        return true;
    }

    bool declaredOnce(const Block &block, QHash<QString, int> &seen) const
    {
        for (const StmtPtr &st : block)
            if (!declaredOnce(*st, seen))
                return false;
        return true;
    }

    void compile(Flat &f, const Block &block)
    {
        compileBlock(f, block);
        complete(f, f.statements);
    }

    // Ends the list with its Return, which counts the last statements, and links the
    // steps.
    void complete(Flat &f, int counted)
    {
        put(f, Step::Return, f.lastLine).aux = counted;
        // Follow jumps to their targets, so a branch's last step leads out directly.
        auto target = [&](int i) {
            while (std::size_t(i) < f.ins.size() && f.ins[std::size_t(i)].op == Step::Jump)
                i = f.ins[std::size_t(i)].next;
            return i;
        };
        for (Ins &in : f.ins) {
            in.next = target(in.next);
            in.alt = target(in.alt);
        }
        for (Ins &in : f.ins) {
            in.to = f.ins.data() + std::min(std::size_t(in.next), f.ins.size() - 1);
            in.jump = f.ins.data() + std::min(std::size_t(in.alt), f.ins.size() - 1);
        }
    }

    Ins &put(Flat &f, Step op, int line = 0)
    {
        Ins in;
        in.op = op;
        in.line = line;
        in.next = int(f.ins.size()) + 1;
        f.ins.push_back(in);
        return f.ins.back();
    }

    const double *constant(Flat &f, double v)
    {
        f.pool.push_back(v);
        return &f.pool.back();
    }

    double *temporary(Flat &f)
    {
        f.pool.push_back(0.0);
        return &f.pool.back();
    }

    bool plainScalar(const Symbol &s) const
    {
        return s.ndims == 0 && s.kind != Symbol::Model && s.kind != Symbol::Function;
    }

    // The element of slot at these indices, if every index is a simple one.
    const Elem *element(Flat &f, int slot, const std::vector<ExprPtr> &indices, int line)
    {
        Symbol &s = sym(slot);
        if (indices.empty() || int(indices.size()) != s.ndims || indices.size() > 3)
            return nullptr;
        Elem el;
        el.s = &s;
        el.n = int(indices.size());
        el.line = line;
        for (std::size_t k = 0; k < indices.size(); ++k) {
            const Expr &ix = *indices[k];
            el.off[k] = -0.0;
            if (ix.op == Op::Number) {
                el.at[k] = constant(f, ix.value);
            } else if (ix.op == Op::Name && plainScalar(sym(ix.slot))) {
                el.at[k] = sym(ix.slot).v.data();
            } else if ((ix.op == Op::Add || ix.op == Op::Sub) && ix.args[0]->op == Op::Name
                       && ix.args[1]->op == Op::Number && plainScalar(sym(ix.args[0]->slot))) {
                // a - b is a + (-b) exactly
                el.at[k] = sym(ix.args[0]->slot).v.data();
                el.off[k] = ix.op == Op::Add ? ix.args[1]->value : -ix.args[1]->value;
            } else {
                return nullptr;
            }
        }
        el.integral = true;
        for (std::size_t k = 0; k < indices.size() && el.integral; ++k) {
            const Expr &ix = *indices[k];
            const bool sum = ix.op == Op::Add || ix.op == Op::Sub;
            const Expr &base = sum ? *ix.args[0] : ix;
            const double off = sum ? ix.args[1]->value : ix.op == Op::Number ? ix.value : 0.0;
            const bool small = off == std::floor(off) && std::abs(off) < 1e6;
            el.ioff[k] = small ? int(ix.op == Op::Sub ? -off : off) - 1 : 0;
            el.iat[k] = nullptr;
            if (ix.op == Op::Number) {
                if (small) {
                    f.wholes.push_back(int(off));
                    el.iat[k] = &f.wholes.back();
                    el.ioff[k] = -1;
                }
            } else if (small) {
                for (const auto &[slot, whole] : f.counters)
                    if (slot == base.slot)
                        el.iat[k] = whole;
            }
            el.integral = el.iat[k] != nullptr;
        }
        // The sizes past an array's last are 1: index 1 there leaves the position as it
        // is, so every whole-number element takes three indices.
        for (std::size_t k = indices.size(); k < 3 && el.integral; ++k) {
            f.wholes.push_back(1);
            el.iat[k] = &f.wholes.back();
            el.ioff[k] = -1;
        }
        f.elems.push_back(el);
        return &f.elems.back();
    }

    // Whether a loop body leaves its counter as the loop sets it.
    bool keepsCounter(const Block &body, int slot) const
    {
        for (const StmtPtr &st : body) {
            switch (st->kind) {
            case StmtKind::Assign:
                if (!st->derivative && st->slot == slot)
                    return false;
                break;
            case StmtKind::For:
                if (st->slot == slot || !keepsCounter(st->body, slot))
                    return false;
                break;
            case StmtKind::If:
                for (const Block &b : st->branches)
                    if (!keepsCounter(b, slot))
                        return false;
                break;
            case StmtKind::Declare:
            case StmtKind::Find:
            case StmtKind::Initiate:
                return false;
            default:
                break;
            }
        }
        return true;
    }

    // Emits the steps of e; returns where its value is. With into, the last step
    // writes the value there.
    // Where the value of e already is, when it takes no step: a number, a scalar.
    const double *leafOf(Flat &f, const Expr &e)
    {
        switch (e.op) {
        case Op::Number:
            return constant(f, e.value);
        case Op::Pi:
            return constant(f, std::numbers::pi);
        case Op::Iteration:
            return &m_iteration;
        case Op::Name:
            return plainScalar(sym(e.slot)) ? sym(e.slot).v.data() : nullptr;
        case Op::Neg: // -6: the negation of a number is exact
            return e.args[0]->op == Op::Number ? constant(f, -e.args[0]->value) : nullptr;
        default:
            return nullptr;
        }
    }

    const double *compileExpr(Flat &f, const Expr &e, double *into = nullptr)
    {
        if (!f.hoisted.empty()) {
            const auto it = f.hoisted.find(&e);
            if (it != f.hoisted.end()) {
                if (!into)
                    return it->second;
                put(f, Step::Copy).a = it->second;
                f.ins.back().dst = into;
                return into;
            }
        }
        const double *leaf = leafOf(f, e);
        if (leaf && !into)
            return leaf;
        double *dst = into ? into : temporary(f);
        if (leaf) {
            put(f, Step::Copy).a = leaf;
            f.ins.back().dst = dst;
            return dst;
        }
        auto tree = [&]() -> const double * {
            Ins &in = put(f, Step::Tree, e.line);
            in.expr = &e;
            in.dst = dst;
            return dst;
        };
        auto unary = [&](Step op) -> const double * {
            const double *a = compileExpr(f, *e.args[0]);
            Ins &in = put(f, op, e.line);
            in.a = a;
            in.dst = dst;
            return dst;
        };
        switch (e.op) {
        case Op::Index: {
            const Elem *el = element(f, e.slot, e.args, e.line);
            if (!el)
                return tree();
            Ins &in = put(f, Step::LoadElem, e.line);
            in.elem = el;
            in.dst = dst;
            return dst;
        }
        case Op::Deriv: {
            if (e.args.empty()) {
                Ins &in = put(f, Step::LoadDeriv0, e.line);
                in.sym = &sym(e.slot);
                in.dst = dst;
                return dst;
            }
            const Elem *el = element(f, e.slot, e.args, e.line);
            if (!el)
                return tree();
            Ins &in = put(f, Step::LoadDeriv, e.line);
            in.elem = el;
            in.dst = dst;
            return dst;
        }
        case Op::Call: {
            const int id = -2 - e.slot;
            // min and max of two numbers (no whole array among them) are a step too.
            const auto wholeArray
                = [&](const Expr &x) { return x.op == Op::Name && sym(x.slot).ndims > 0; };
            const bool two = takesTwo(id)
                             || ((id == Min || id == Max) && e.args.size() == 2
                                 && !wholeArray(*e.args[0]) && !wholeArray(*e.args[1]));
            if (e.slot >= 0 || ((id == Min || id == Max) && !two) || id == Sum || id == Size
                || e.args.size() != (two ? 2u : 1u))
                return tree();
            const double *a = compileExpr(f, *e.args[0]);
            const double *b = two ? compileExpr(f, *e.args[1]) : nullptr;
            Ins &in = put(f, Step::Builtin, e.line);
            in.aux = id;
            in.a = a;
            in.b = b;
            in.dst = dst;
            return dst;
        }
        case Op::Neg:
            return unary(Step::Neg);
        case Op::Not:
            return unary(Step::Not);
        case Op::And:
        case Op::Or: {
            // The right operand runs only when the left does not decide.
            double *value = into ? temporary(f) : dst;
            const double *a = compileExpr(f, *e.args[0]);
            const std::size_t jump = f.ins.size();
            Ins &in = put(f, e.op == Op::And ? Step::AndJump : Step::OrJump, e.line);
            in.a = a;
            in.dst = value;
            const double *b = compileExpr(f, *e.args[1]);
            Ins &truth = put(f, Step::Truth, e.line);
            truth.a = b;
            truth.dst = value;
            f.ins[jump].alt = int(f.ins.size());
            if (into) {
                Ins &copy = put(f, Step::Copy, e.line);
                copy.a = value;
                copy.dst = into;
            }
            return dst;
        }
        case Op::Name:
            return tree(); // not a plain scalar: the walk reports it
        default:
            break;
        }
        static const std::map<Op, Step> binary = {
            {Op::Add, Step::Add},
            {Op::Sub, Step::Sub},
            {Op::Mul, Step::Mul},
            {Op::Div, Step::Div},
            {Op::Pow, Step::Pow},
            {Op::Lt, Step::Lt},
            {Op::Le, Step::Le},
            {Op::Gt, Step::Gt},
            {Op::Ge, Step::Ge},
            {Op::Eq, Step::Eq},
            {Op::Ne, Step::Ne},
        };
        const auto op = binary.find(e.op);
        if (op == binary.end() || e.args.size() != 2)
            return tree();
        const double *a = compileExpr(f, *e.args[0]);
        const Expr &right = *e.args[1];
        if (right.op == Op::Index && (e.op == Op::Add || e.op == Op::Sub || e.op == Op::Mul)) {
            if (const Elem *el = element(f, right.slot, right.args, right.line)) {
                Ins &in = put(f,
                              e.op == Op::Add   ? Step::AddElem
                              : e.op == Op::Sub ? Step::SubElem
                                                : Step::MulElem,
                              e.line);
                in.a = a;
                in.elem = el;
                in.dst = dst;
                return dst;
            }
        }
        const double *b = compileExpr(f, right);
        const bool squared = e.op == Op::Pow && right.op == Op::Number && right.value == 2.0;
        Ins &in = put(f, squared ? Step::Square : op->second, e.line);
        in.a = a;
        in.b = b;
        in.dst = dst;
        return dst;
    }

    // ---- what a loop computes once ----
    // An expression of parameters and numbers alone (M - 1, h^2, pi^2) gives the same
    // value at every pass of a loop that declares nothing and runs no Find or
    // Initiate, so it is worked out once, before the loop's first pass. Only
    // operations that cannot fail are taken (+, -, *, a square, a division by a
    // number other than 0): one worked out early, even for a branch that never runs,
    // has no other effect.
    bool invariant(const Expr &e)
    {
        switch (e.op) {
        case Op::Number:
        case Op::Pi:
            return true;
        case Op::Name: {
            const Symbol &s = sym(e.slot);
            return s.kind == Symbol::Parameter && s.ndims == 0;
        }
        case Op::Neg:
            return e.args.size() == 1 && invariant(*e.args[0]);
        case Op::Add:
        case Op::Sub:
        case Op::Mul:
            return e.args.size() == 2 && invariant(*e.args[0]) && invariant(*e.args[1]);
        case Op::Pow:
            return e.args.size() == 2 && e.args[1]->op == Op::Number && e.args[1]->value == 2.0
                   && invariant(*e.args[0]);
        case Op::Div:
            return e.args.size() == 2 && e.args[1]->op == Op::Number && e.args[1]->value != 0.0
                   && invariant(*e.args[0]);
        default:
            return false;
        }
    }

    // Whether a block may change a parameter: a declaration, a Find or an Initiate
    // (which run models), a loop counting with a parameter.
    bool changesParameters(const Block &block)
    {
        for (const StmtPtr &st : block) {
            switch (st->kind) {
            case StmtKind::Declare:
            case StmtKind::Find:
            case StmtKind::Initiate:
                return true;
            case StmtKind::For:
                if (sym(st->slot).kind == Symbol::Parameter || changesParameters(st->body))
                    return true;
                break;
            case StmtKind::If:
                for (const Block &b : st->branches)
                    if (changesParameters(b))
                        return true;
                break;
            default:
                break;
            }
        }
        return false;
    }

    // Emits the steps of the largest invariant parts of e that take a step.
    void hoist(Flat &f, const Expr *e)
    {
        if (!e)
            return;
        if (invariant(*e)) {
            if (!leafOf(f, *e))
                f.hoisted.emplace(e, compileExpr(f, *e));
            return;
        }
        for (const ExprPtr &a : e->args)
            hoist(f, a.get());
    }

    // The invariant parts of what a loop body compiles (assigned values, the tests of
    // If, the bounds of inner loops).
    void hoist(Flat &f, const Block &block)
    {
        for (const StmtPtr &st : block) {
            switch (st->kind) {
            case StmtKind::Assign:
                hoist(f, st->expr.get());
                break;
            case StmtKind::If:
                for (const ExprPtr &c : st->conditions)
                    hoist(f, c.get());
                for (const Block &b : st->branches)
                    hoist(f, b);
                break;
            case StmtKind::For:
                hoist(f, st->first.get());
                hoist(f, st->last.get());
                hoist(f, st->step.get());
                hoist(f, st->body);
                break;
            default:
                break;
            }
        }
    }

    // Emits a condition that jumps to alt (set later) when it does not hold; returns
    // the jump's step.
    std::size_t compileCondition(Flat &f, const Expr &e)
    {
        static const std::map<Op, Step> jumps = {
            {Op::Lt, Step::JumpUnlessLt},
            {Op::Le, Step::JumpUnlessLe},
            {Op::Gt, Step::JumpUnlessGt},
            {Op::Ge, Step::JumpUnlessGe},
            {Op::Eq, Step::JumpUnlessEq},
            {Op::Ne, Step::JumpUnlessNe},
        };
        const auto jump = jumps.find(e.op);
        if (jump != jumps.end() && e.args.size() == 2) {
            const double *a = compileExpr(f, *e.args[0]);
            const double *b = compileExpr(f, *e.args[1]);
            Ins &in = put(f, jump->second, e.line);
            in.a = a;
            in.b = b;
        } else {
            const double *a = compileExpr(f, e);
            put(f, Step::JumpIfZero, e.line).a = a;
        }
        return f.ins.size() - 1;
    }

    // Progress counts statements, but not step by step: a For loop's ForNext counts
    // the statements of its body at each pass (at least one, so that empty loops
    // count too), a Count step after every few hundred statements outside loops, and
    // the list's Return the rest. A statement is counted whichever branch an If takes,
    // so the count runs somewhat ahead; the tree walk counts the statements it runs.
    static constexpr int CountEvery = 256;

    static void counts(Flat &f, const Stmt &st, int statements = 1)
    {
        f.statements += statements;
        f.lastLine = st.line;
    }

    void compileBlock(Flat &f, const Block &block)
    {
        const Block *outer = std::exchange(f.block, &block);
        for (const StmtPtr &st : block)
            compileListed(f, *st);
        f.block = outer;
    }

    // A statement of a block, counted for progress.
    void compileListed(Flat &f, const Stmt &st)
    {
        compileStmt(f, st);
        if (f.depth == 0 && f.statements >= CountEvery) {
            Ins &in = put(f, Step::Count, f.lastLine);
            in.aux = f.statements;
            f.statements = 0;
        }
    }

    void compileStmt(Flat &f, const Stmt &st)
    {
        auto tree = [&] { put(f, Step::Exec, st.line).stmt = &st; };
        switch (st.kind) {
        case StmtKind::Assign: {
            Symbol &s = sym(st.slot);
            if (st.derivative) {
                const Elem *el = nullptr;
                if (!st.indices.empty()) {
                    el = element(f, st.slot, st.indices, st.line);
                    if (!el)
                        return tree();
                } else if (s.ndims > 0) {
                    return tree();
                }
                // u'[i, j, k] = a/b: the last operation and the store in one step.
                static const std::map<Op, Step> last = {
                    {Op::Add, Step::Add},
                    {Op::Sub, Step::Sub},
                    {Op::Mul, Step::Mul},
                    {Op::Div, Step::Div},
                };
                const auto op = last.find(st.expr->op);
                // alpha*nb/h^2: two operations, the first one that cannot fail (so that
                // whatever its right side computes before it has the same effect).
                const Expr *inner = op != last.end() && st.expr->args.size() == 2
                                        ? st.expr->args[0].get()
                                        : nullptr;
                const auto op1 = inner ? last.find(inner->op) : last.end();
                const auto store = [&](Step step, int line, const double *a) -> Ins & {
                    Ins &in = put(f, step, line);
                    in.a = a;
                    in.elem = el;
                    in.sym = &s;
                    counts(f, st);
                    return in;
                };
                if (el && op1 != last.end() && op1->first != Op::Div && inner->args.size() == 2
                    && !f.hoisted.count(inner)) {
                    const double *a = compileExpr(f, *inner->args[0]);
                    const double *b = compileExpr(f, *inner->args[1]);
                    const double *c = compileExpr(f, *st.expr->args[1]);
                    Ins &in = store(Step::StoreDerivOp2, st.expr->line, a);
                    in.aux = int(op1->second) * 256 + int(op->second);
                    in.b = b;
                    in.c = c;
                    return;
                }
                if (el && op != last.end() && st.expr->args.size() == 2) {
                    const double *a = compileExpr(f, *st.expr->args[0]);
                    const double *b = compileExpr(f, *st.expr->args[1]);
                    Ins &in = store(Step::StoreDerivOp, st.expr->line, a);
                    in.aux = int(op->second);
                    in.b = b;
                    return;
                }
                store(el ? Step::StoreDeriv : Step::StoreDeriv0, st.line, compileExpr(f, *st.expr));
                return;
            }
            if (s.kind == Symbol::Parameter || s.kind == Symbol::Model
                || s.kind == Symbol::Function)
                return tree(); // the walk reports it, after the value
            if (st.indices.empty() && s.ndims == 0) {
                compileExpr(f, *st.expr, s.v.data());
                const Step last = f.ins.back().op;
                if ((last == Step::AddElem || last == Step::SubElem || last == Step::MulElem)
                    && f.ins.back().dst == s.v.data() && f.ins.back().elem->integral) {
                    f.startBlock = f.block;
                    f.startStep = f.ins.size() - 1;
                }
                counts(f, st);
                return;
            }
            const Elem *el = nullptr;
            if (!st.indices.empty()) {
                el = element(f, st.slot, st.indices, st.line);
                if (!el)
                    return tree();
            }
            const double *v = compileExpr(f, *st.expr);
            Ins &in = put(f, el ? Step::StoreElem : Step::Fill, st.line);
            in.a = v;
            in.elem = el;
            in.sym = &s;
            counts(f, st);
            return;
        }
        case StmtKind::If: {
            if (compileIfAdd(f, st))
                return;
            std::vector<std::size_t> exits;
            for (std::size_t i = 0; i < st.branches.size(); ++i) {
                if (!st.conditions[i]) {
                    compileBlock(f, st.branches[i]);
                    break;
                }
                const std::size_t test = compileCondition(f, *st.conditions[i]);
                if (i == 0)
                    counts(f, st);
                compileBlock(f, st.branches[i]);
                if (i + 1 < st.branches.size()) {
                    exits.push_back(f.ins.size());
                    put(f, Step::Jump);
                }
                f.ins[test].alt = int(f.ins.size());
            }
            for (std::size_t j : exits)
                f.ins[j].next = int(f.ins.size());
            return;
        }
        case StmtKind::For: {
            if (!plainScalar(sym(st.slot)))
                return tree();
            const bool hoists = f.hoisting == 0 && sym(st.slot).kind != Symbol::Parameter
                                && !changesParameters(st.body);
            if (hoists)
                hoist(f, st.body);
            f.hoisting += hoists;
            const double *first = compileExpr(f, *st.first);
            const double *last = compileExpr(f, *st.last);
            const double *step = st.step ? compileExpr(f, *st.step) : constant(f, 1.0);
            const std::size_t init = f.ins.size();
            Ins &in = put(f, Step::ForInit, st.line);
            in.dst = sym(st.slot).v.data();
            in.a = first;
            in.b = last;
            in.c = step;
            LoopState &loop = f.loops.emplace_back();
            in.loop = &loop;
            counts(f, st);
            const bool kept = keepsCounter(st.body, st.slot);
            if (kept)
                f.counters.emplace_back(st.slot, &loop.whole);
            const int body = int(f.ins.size());
            const int outside = f.statements;
            f.statements = 0;
            ++f.depth;
            compileBlock(f, st.body);
            --f.depth;
            if (kept)
                f.counters.pop_back();
            Ins &next = put(f, Step::ForNext, st.line);
            next.aux = std::max(f.statements, 1);
            f.statements = outside;
            next.dst = sym(st.slot).v.data();
            next.loop = &loop;
            next.alt = body;
            f.ins[init].alt = int(f.ins.size());
            f.hoisting -= hoists;
            return;
        }
        default:
            return tree();
        }
    }

    // A branch as an AddTo, if it has that shape.
    bool addTo(Flat &f, const Block &branch, AddTo &to)
    {
        if (branch.empty())
            return true;
        const Stmt &st = *branch.front();
        if (branch.size() != 1 || st.kind != StmtKind::Assign || st.derivative
            || !st.indices.empty() || !plainScalar(sym(st.slot))
            || sym(st.slot).kind == Symbol::Parameter || st.expr->op != Op::Add
            || st.expr->args.size() != 2)
            return false;
        const Expr &right = *st.expr->args[1];
        to.a = leafOf(f, *st.expr->args[0]);
        to.b = leafOf(f, right);
        if (!to.b && right.op == Op::Index)
            to.elem = element(f, right.slot, right.args, right.line);
        to.dst = sym(st.slot).v.data();
        return to.a && (to.b || to.elem);
    }

    // If x < y Then s = s + a Else s = s + b End If, the test a comparison (<, <=, >,
    // >=), each branch an AddTo or empty: the test's operands, then one step. a > b is
    // taken as b < a, which holds exactly when a > b does (NaN included); aux is 1 for
    // <=.
    bool compileIfAdd(Flat &f, const Stmt &st)
    {
        if (st.branches.size() > 2 || (st.branches.size() == 2 && st.conditions[1]))
            return false;
        const Expr &test = *st.conditions[0];
        if ((test.op != Op::Lt && test.op != Op::Le && test.op != Op::Gt && test.op != Op::Ge)
            || test.args.size() != 2)
            return false;
        AddTo then, otherwise;
        if (!addTo(f, st.branches[0], then)
            || (st.branches.size() == 2 && !addTo(f, st.branches[1], otherwise)))
            return false;
        const double *a = compileExpr(f, *test.args[0]);
        const double *b = compileExpr(f, *test.args[1]);
        const bool swapped = test.op == Op::Gt || test.op == Op::Ge;
        const bool orEqual = test.op == Op::Le || test.op == Op::Ge;
        // The common shape, a neighbour or the value at the edge (If i > 1 Then nb = nb
        // + u[i-1, j, k] Else nb = nb + uFace), has a step that reads its branches at once.
        const bool edge
            = then.dst && then.elem && then.elem->integral && otherwise.dst && !otherwise.elem;
        const Link link{swapped ? b : a, swapped ? a : b, otherwise.b, then.elem, orEqual};
        if (edge && chained(f, then, otherwise, link)) {
            Ins &last = f.ins.back();
            if (last.op != Step::IfAddChain) {
                last.chain = &f.chains.emplace_back(
                    Chain{Link{last.a, last.b, last.e, last.elem, last.op == Step::IfLeAddElem}});
                last.op = Step::IfAddChain;
                last.aux = ChainFromSum;
            }
            last.chain->push_back(link);
            counts(f, st, 2);
            return true;
        }
        if (edge && startsChain(f, then, otherwise, link)) {
            Ins &first = f.ins.back();
            first.aux = first.op == Step::AddElem   ? ChainAdd
                        : first.op == Step::SubElem ? ChainSub
                                                    : ChainMul;
            first.c = first.a;
            first.op = Step::IfAddChain;
            first.chain = &f.chains.emplace_back(Chain{link});
            f.chainBlock = f.block;
            f.chainStep = f.ins.size() - 1;
            counts(f, st, 2);
            return true;
        }
        Ins &in = put(f,
                      !edge     ? Step::IfAdd
                      : orEqual ? Step::IfLeAddElem
                                : Step::IfLtAddElem,
                      test.line);
        in.a = swapped ? b : a;
        in.b = swapped ? a : b;
        in.aux = orEqual;
        counts(f, st, then.dst || otherwise.dst ? 2 : 1);
        if (edge) {
            in.dst = then.dst;
            in.c = then.a;
            in.elem = then.elem;
            in.dst2 = otherwise.dst;
            in.d = otherwise.a;
            in.e = otherwise.b;
            f.chainBlock = f.block;
            f.chainStep = f.ins.size() - 1;
            return true;
        }
        in.sums = &f.sums.emplace_back(std::array<AddTo, 2>{then, otherwise});
        return true;
    }

    // Whether an If of the edge shape joins the IfLtAddElem, IfLeAddElem or
    // IfAddChain step just before it: that step is the previous statement's, in the
    // same block (so no jump leads in between), and both add to one scalar (s = s +
    // ...) that no test or else value reads. The chain keeps the scalar in hand
    // between its Ifs and makes the same additions in the same order.
    static bool chained(const Flat &f, const AddTo &then, const AddTo &otherwise, const Link &l)
    {
        if (f.ins.empty() || f.chainBlock != f.block || f.chainStep != f.ins.size() - 1)
            return false;
        const Ins &last = f.ins.back();
        double *sum = last.dst;
        // A chain's own Ifs were taken in on these same terms.
        const bool accumulates = last.op == Step::IfAddChain
                                 || (last.c == sum && last.dst2 == sum && last.d == sum
                                     && last.a != sum && last.b != sum && last.e != sum);
        return accumulates && then.dst == sum && then.a == sum && otherwise.dst == sum
               && otherwise.a == sum && l.a != sum && l.b != sum && l.e != sum;
    }

    // How an IfAddChain starts its sum: from the scalar, or as the statement before
    // the Ifs computed it (nb = -6*u[i, j, k]: *c times the element).
    enum ChainStart { ChainFromSum, ChainAdd, ChainSub, ChainMul };

    // Whether the first If of a chain can take in the statement just before it, an
    // assignment of a scalar or number and a whole-number element to the sum, in the
    // same block with nothing in between.
    static bool startsChain(const Flat &f, const AddTo &then, const AddTo &otherwise, const Link &l)
    {
        if (f.ins.empty() || f.startBlock != f.block || f.startStep != f.ins.size() - 1)
            return false;
        const Ins &start = f.ins.back();
        double *sum = start.dst;
        return start.a != sum && then.dst == sum && then.a == sum && otherwise.dst == sum
               && otherwise.a == sum && l.a != sum && l.b != sum && l.e != sum;
    }

    // Counts statements run; progress hears of every 4096th.
    void tick(int statements, int line)
    {
        m_executed += statements;
        if (m_executed >= m_nextProgress) {
            m_nextProgress = m_executed + 4096;
            m_options.progress(line);
        }
    }

    [[gnu::always_inline]] std::size_t at(const Elem &el)
    {
        if (el.integral)
            return atWhole(el);
        const Symbol &s = *el.s;
        std::size_t flat = 0;
        for (int k = 0; k < el.n; ++k) {
            const double v = *el.at[std::size_t(k)] + el.off[std::size_t(k)];
            const int dim = s.dims[std::size_t(k)];
            if (v >= 1.0 && v <= double(dim)) {
                const int whole = int(v);
                if (double(whole) == v) {
                    flat = flat * std::size_t(dim) + std::size_t(whole - 1);
                    continue;
                }
            }
            return atSlowly(el);
        }
        return flat;
    }

    [[gnu::always_inline]] std::size_t atWhole(const Elem &el)
    {
        const Symbol &s = *el.s;
        const unsigned i = unsigned(*el.iat[0] + el.ioff[0]);
        const unsigned j = unsigned(*el.iat[1] + el.ioff[1]);
        const unsigned k = unsigned(*el.iat[2] + el.ioff[2]);
        const unsigned di = unsigned(s.dims[0]), dj = unsigned(s.dims[1]), dk = unsigned(s.dims[2]);
        if ((i >= di) | (j >= dj) | (k >= dk)) // one branch, taken only on the way to an error
            return atSlowly(el);
        return (std::size_t(i) * dj + j) * dk + k;
    }

    // An index that is not whole or lies outside: the tree walk's rules and messages.
    std::size_t atSlowly(const Elem &el)
    {
        const Symbol &s = *el.s;
        std::array<double, 3> given{0, 0, 0};
        std::size_t flat = 0;
        bool outside = false;
        for (std::size_t k = 0; k < std::size_t(el.n); ++k) {
            given[k] = *el.at[k] + el.off[k];
            if (!place(s, k, given[k], flat, el.line))
                outside = true;
        }
        if (outside)
            outOfRange(s, given, el.line);
        return flat;
    }

    // The value of an element's derivative (the place is worked out after the value,
    // as the tree walk does), marked as set.
    [[gnu::always_inline]] void storeDerivative(const Ins &in, double v)
    {
        const std::size_t i = at(*in.elem);
        in.sym->d[i] = v;
        in.sym->dset[i] = 1;
    }

    double arithmetic(Step op, double a, double b, int line)
    {
        switch (op) {
        case Step::Add:
            return a + b;
        case Step::Sub:
            return a - b;
        case Step::Mul:
            return a * b;
        default:
            return divide(a, b, line);
        }
    }

    // The list runs threaded: every step holds the address of the code that carries
    // it out, and each piece ends by jumping straight to the next step's, so a step
    // costs one indirect jump and no look-up (labels as values, which g++ and clang
    // both have). The addresses are filled in when a list first runs.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpedantic"
    void run(Flat &f)
    {
        // In the order of Step.
        static const void *const handlers[] = {
            &&doCopy,         &&doNeg,          &&doNot,
            &&doAdd,          &&doSub,          &&doMul,
            &&doDiv,          &&doPow,          &&doSquare,
            &&doLt,           &&doLe,           &&doGt,
            &&doGe,           &&doEq,           &&doNe,
            &&doAddElem,      &&doSubElem,      &&doMulElem,
            &&doLoadElem,     &&doLoadDeriv,    &&doLoadDeriv0,
            &&doBuiltin,      &&doTree,         &&doAndJump,
            &&doOrJump,       &&doTruth,        &&doJumpUnlessLt,
            &&doJumpUnlessLe, &&doJumpUnlessGt, &&doJumpUnlessGe,
            &&doJumpUnlessEq, &&doJumpUnlessNe, &&doJumpIfZero,
            &&doJump,         &&doStoreElem,    &&doStoreDeriv,
            &&doStoreDeriv0,  &&doStoreDerivOp, &&doStoreDerivOp2,
            &&doFill,         &&doCount,        &&doIfAdd,
            &&doIfLtAddElem,  &&doIfLeAddElem,  &&doIfAddChain,
            &&doForInit,      &&doForNext,      &&doExec,
            &&doReturn,
        };
        static_assert(std::size(handlers) == std::size_t(Step::Return) + 1);
        if (!f.threaded) {
            for (Ins &in : f.ins)
                in.handler = handlers[std::size_t(in.op)];
            f.threaded = true;
        }
        const bool progress = bool(m_options.progress);
        const Ins *step = f.ins.data();
#define KV_GO(target)                                                                              \
    do {                                                                                           \
        step = (target);                                                                           \
        goto * step->handler;                                                                      \
    } while (false)
        KV_GO(step);
    doCopy : {
        const Ins &in = *step;
        *in.dst = *in.a;
        KV_GO(in.to);
    }
    doNeg : {
        const Ins &in = *step;
        *in.dst = -*in.a;
        KV_GO(in.to);
    }
    doNot : {
        const Ins &in = *step;
        *in.dst = *in.a == 0.0 ? 1.0 : 0.0;
        KV_GO(in.to);
    }
    doAdd : {
        const Ins &in = *step;
        *in.dst = *in.a + *in.b;
        KV_GO(in.to);
    }
    doSub : {
        const Ins &in = *step;
        *in.dst = *in.a - *in.b;
        KV_GO(in.to);
    }
    doMul : {
        const Ins &in = *step;
        *in.dst = *in.a * *in.b;
        KV_GO(in.to);
    }
    doDiv : {
        const Ins &in = *step;
        *in.dst = divide(*in.a, *in.b, in.line);
        KV_GO(in.to);
    }
    doPow : {
        const Ins &in = *step;
        *in.dst = power(*in.a, *in.b, in.line);
        KV_GO(in.to);
    }
    doSquare : {
        const Ins &in = *step;
        *in.dst = *in.a * *in.a;
        KV_GO(in.to);
    }
    doLt : {
        const Ins &in = *step;
        *in.dst = *in.a < *in.b;
        KV_GO(in.to);
    }
    doLe : {
        const Ins &in = *step;
        *in.dst = *in.a <= *in.b;
        KV_GO(in.to);
    }
    doGt : {
        const Ins &in = *step;
        *in.dst = *in.a > *in.b;
        KV_GO(in.to);
    }
    doGe : {
        const Ins &in = *step;
        *in.dst = *in.a >= *in.b;
        KV_GO(in.to);
    }
    doEq : {
        const Ins &in = *step;
        *in.dst = *in.a == *in.b;
        KV_GO(in.to);
    }
    doNe : {
        const Ins &in = *step;
        *in.dst = *in.a != *in.b;
        KV_GO(in.to);
    }
    doAddElem : {
        const Ins &in = *step;
        *in.dst = *in.a + in.elem->s->v[at(*in.elem)];
        KV_GO(in.to);
    }
    doSubElem : {
        const Ins &in = *step;
        *in.dst = *in.a - in.elem->s->v[at(*in.elem)];
        KV_GO(in.to);
    }
    doMulElem : {
        const Ins &in = *step;
        *in.dst = *in.a * in.elem->s->v[at(*in.elem)];
        KV_GO(in.to);
    }
    doLoadElem : {
        const Ins &in = *step;
        *in.dst = in.elem->s->v[at(*in.elem)];
        KV_GO(in.to);
    }
    doLoadDeriv : {
        const Ins &in = *step;
        *in.dst = in.elem->s->d[at(*in.elem)];
        KV_GO(in.to);
    }
    doLoadDeriv0 : {
        const Ins &in = *step;
        *in.dst = in.sym->d[0];
        KV_GO(in.to);
    }
    doBuiltin : {
        const Ins &in = *step;
        *in.dst = builtin(in.aux, *in.a, in.b ? *in.b : 0.0, in.line);
        KV_GO(in.to);
    }
    doTree : {
        const Ins &in = *step;
        *in.dst = eval(*in.expr);
        KV_GO(in.to);
    }
    doAndJump : {
        const Ins &in = *step;
        if (*in.a == 0.0) {
            *in.dst = 0.0;
            KV_GO(in.jump);
        }
        KV_GO(in.to);
    }
    doOrJump : {
        const Ins &in = *step;
        if (*in.a != 0.0) {
            *in.dst = 1.0;
            KV_GO(in.jump);
        }
        KV_GO(in.to);
    }
    doTruth : {
        const Ins &in = *step;
        *in.dst = *in.a != 0.0 ? 1.0 : 0.0;
        KV_GO(in.to);
    }
    doJumpUnlessLt : {
        const Ins &in = *step;
        KV_GO(*in.a < *in.b ? in.to : in.jump);
    }
    doJumpUnlessLe : {
        const Ins &in = *step;
        KV_GO(*in.a <= *in.b ? in.to : in.jump);
    }
    doJumpUnlessGt : {
        const Ins &in = *step;
        KV_GO(*in.a > *in.b ? in.to : in.jump);
    }
    doJumpUnlessGe : {
        const Ins &in = *step;
        KV_GO(*in.a >= *in.b ? in.to : in.jump);
    }
    doJumpUnlessEq : {
        const Ins &in = *step;
        KV_GO(*in.a == *in.b ? in.to : in.jump);
    }
    doJumpUnlessNe : {
        const Ins &in = *step;
        KV_GO(*in.a != *in.b ? in.to : in.jump);
    }
    doJumpIfZero : {
        const Ins &in = *step;
        KV_GO(*in.a == 0.0 ? in.jump : in.to);
    }
    doJump : {
        const Ins &in = *step;
        KV_GO(in.to);
    }
    doStoreElem : {
        const Ins &in = *step;
        in.sym->v[at(*in.elem)] = *in.a;
        KV_GO(in.to);
    }
    doStoreDeriv : {
        const Ins &in = *step;
        storeDerivative(in, *in.a);
        KV_GO(in.to);
    }
    doStoreDeriv0 : {
        const Ins &in = *step;
        in.sym->d[0] = *in.a;
        in.sym->dset[0] = 1;
        KV_GO(in.to);
    }
    doStoreDerivOp : {
        const Ins &in = *step;
        storeDerivative(in, arithmetic(Step(in.aux), *in.a, *in.b, in.line));
        KV_GO(in.to);
    }
    doStoreDerivOp2 : {
        const Ins &in = *step;
        const double ab = arithmetic(Step(in.aux / 256), *in.a, *in.b, in.line);
        storeDerivative(in, arithmetic(Step(in.aux % 256), ab, *in.c, in.line));
        KV_GO(in.to);
    }
    doFill : {
        const Ins &in = *step;
        std::fill(in.sym->v.begin(), in.sym->v.end(), *in.a);
        KV_GO(in.to);
    }
    doCount : {
        const Ins &in = *step;
        if (progress)
            tick(in.aux, in.line);
        KV_GO(in.to);
    }
    doIfAdd : {
        const Ins &in = *step;
        const bool holds = in.aux ? *in.a <= *in.b : *in.a < *in.b;
        const AddTo &to = (*in.sums)[holds ? 0 : 1];
        if (to.dst)
            *to.dst = *to.a + (to.elem ? to.elem->s->v[at(*to.elem)] : *to.b);
        KV_GO(in.to);
    }
    doIfLtAddElem : {
        const Ins &in = *step;
        if (*in.a < *in.b)
            *in.dst = *in.c + in.elem->s->v[at(*in.elem)];
        else
            *in.dst2 = *in.d + *in.e;
        KV_GO(in.to);
    }
    doIfLeAddElem : {
        const Ins &in = *step;
        if (*in.a <= *in.b)
            *in.dst = *in.c + in.elem->s->v[at(*in.elem)];
        else
            *in.dst2 = *in.d + *in.e;
        KV_GO(in.to);
    }
    doIfAddChain : {
        // An error stops the run, so the sum needs no storing on the way to one.
        const Ins &in = *step;
        double sum = *in.dst;
        if (in.aux != ChainFromSum) {
            const double v = in.elem->s->v[atWhole(*in.elem)];
            sum = in.aux == ChainAdd ? *in.c + v : in.aux == ChainSub ? *in.c - v : *in.c * v;
        }
        for (const Link &l : *in.chain)
            sum = sum
                  + ((l.orEqual ? *l.a <= *l.b : *l.a < *l.b) ? l.elem->s->v[atWhole(*l.elem)]
                                                              : *l.e);
        *in.dst = sum;
        KV_GO(in.to);
    }
    doForInit : {
        const Ins &in = *step;
        LoopState &l = *in.loop;
        l.n = passes(*in.a, *in.b, *in.c, in.line);
        l.first = *in.a;
        l.step = *in.c;
        l.k = 0;
        if (l.n == 0)
            KV_GO(in.jump);
        *in.dst = l.first + double(l.k) * l.step;
        // Whole values below 10^9 are exact both ways.
        const bool counts
            = whole(l.first) && whole(l.step) && std::abs(l.first + double(l.n - 1) * l.step) < 1e9;
        l.whole = counts ? int(l.first) : NotWhole;
        l.wholeStep = counts ? int(l.step) : 0;
        KV_GO(in.to);
    }
    doForNext : {
        const Ins &in = *step;
        LoopState &l = *in.loop;
        const bool again = ++l.k < l.n;
        if (again) {
            *in.dst = l.first + double(l.k) * l.step;
            l.whole += l.wholeStep;
        }
        if (progress)
            tick(in.aux, in.line);
        KV_GO(again ? in.jump : in.to);
    }
    doExec : {
        const Ins &in = *step;
        exec(*in.stmt);
        KV_GO(in.to);
    }
    doReturn : {
        const Ins &in = *step;
        if (progress && in.aux > 0)
            tick(in.aux, in.line);
        return;
    }
#undef KV_GO
    }
#pragma GCC diagnostic pop

    // ---- statements ----
    void exec(const Block &block)
    {
        for (const StmtPtr &st : block)
            exec(*st);
    }

    void exec(const Stmt &st)
    {
        if (m_options.progress)
            tick(1, st.line);
        switch (st.kind) {
        case StmtKind::Title:
            m_result.title = st.text;
            if (!m_titleSet && m_result.plot.title.isEmpty())
                m_result.plot.title = st.text;
            break;
        case StmtKind::Declare:
            for (const Decl &d : st.decls)
                declare(d, st.isParameter);
            break;
        case StmtKind::Function:
        case StmtKind::Model:
            break; // definitions: they run when called
        case StmtKind::Assign:
            assign(st);
            break;
        case StmtKind::If:
            for (std::size_t i = 0; i < st.branches.size(); ++i)
                if (!st.conditions[i] || eval(*st.conditions[i]) != 0.0) {
                    exec(st.branches[i]);
                    break;
                }
            break;
        case StmtKind::For:
            loop(st);
            break;
        case StmtKind::Constraint:
            if (m_constraints) {
                const double l = eval(*st.left), r = eval(*st.right);
                if (st.relation == Op::Le)
                    m_constraints->push_back(l - r);
                else if (st.relation == Op::Ge)
                    m_constraints->push_back(r - l);
                else {
                    m_constraints->push_back(l - r);
                    m_constraints->push_back(r - l);
                }
            }
            break;
        case StmtKind::Residual:
            if (m_residuals)
                m_residuals->push_back(eval(*st.expr));
            break;
        case StmtKind::Find:
            find(st);
            break;
        case StmtKind::Initiate:
            initiate(st);
            break;
        case StmtKind::Print:
            if (m_quiet == 0)
                print(st);
            break;
        case StmtKind::Plot:
            if (m_quiet == 0)
                plot(st);
            break;
        }
    }

    void declare(const Decl &d, bool isParameter)
    {
        Symbol &s = sym(m_names.value(d.name));
        (void)isParameter;
        std::size_t total = 1;
        for (std::size_t k = 0; k < d.sizes.size(); ++k) {
            const double v = eval(*d.sizes[k]);
            if (v < 1 || v != std::floor(v) || v > 1e8)
                fail(d.line,
                     QStringLiteral("the size of '%1' is %2; it must be a whole number from 1")
                         .arg(d.name, formatNumber(v)));
            s.dims[k] = int(v);
            total *= std::size_t(v);
            if (total > 100000000)
                fail(d.line, QStringLiteral("the array '%1' is too large").arg(d.name));
        }
        s.ndims = int(d.sizes.size());
        // Compiled steps hold a scalar's address: a size that stays keeps the storage.
        if (s.v.size() == total)
            std::fill(s.v.begin(), s.v.end(), 0.0);
        else
            s.v.assign(total, 0.0);
        s.d.assign(total, 0.0);
        s.dset.assign(total, 0);
        if (d.hasList) {
            if (d.list.size() != total)
                fail(d.line,
                     QStringLiteral("'%1' holds %2 values but %3 are given")
                         .arg(d.name, QString::number(total), QString::number(d.list.size())));
            for (std::size_t i = 0; i < total; ++i)
                s.v[i] = eval(*d.list[i]);
        } else if (d.value) {
            const double v = eval(*d.value);
            std::fill(s.v.begin(), s.v.end(), v);
        }
    }

    void assign(const Stmt &st)
    {
        Symbol &s = sym(st.slot);
        const double v = eval(*st.expr);
        if (st.derivative) {
            const std::size_t i = st.indices.empty() ? 0 : elementIndex(s, st.indices, st.line);
            if (st.indices.empty() && s.ndims > 0)
                fail(st.line,
                     QStringLiteral("give the index of the derivative of '%1'").arg(s.name));
            s.d[i] = v;
            s.dset[i] = 1;
            return;
        }
        if (s.kind == Symbol::Parameter || s.kind == Symbol::Model || s.kind == Symbol::Function)
            fail(st.line, QStringLiteral("'%1' cannot be assigned").arg(s.name));
        if (st.indices.empty()) {
            std::fill(s.v.begin(), s.v.end(), v);
            return;
        }
        s.v[elementIndex(s, st.indices, st.line)] = v;
    }

    void loop(const Stmt &st)
    {
        Symbol &counter = sym(st.slot);
        const double first = eval(*st.first), last = eval(*st.last);
        const double step = st.step ? eval(*st.step) : 1.0;
        const long long n = passes(first, last, step, st.line);
        for (long long k = 0; k < n; ++k) {
            counter.v[0] = first + double(k) * step;
            exec(st.body);
        }
    }

    // The passes of a For loop, fixed before the first: values come from the pass
    // number, so no rounding builds up (For x = 0 To 5.5 Step 0.05 makes 111 passes).
    // A whole number below 10^9, which an int holds exactly (no call of floor).
    static bool whole(double v)
    {
        return std::abs(v) < 1e9 && double(int(v)) == v;
    }

    long long passes(double first, double last, double step, int line) const
    {
        if (step == 0.0)
            fail(line, QStringLiteral("the For loop's Step is 0, so it would never end"));
        // Counting by 1 between whole numbers (For i = 1 To M - 1) needs no division;
        // the count is the one the general rule gives.
        const bool byOne = step == 1.0 && whole(first) && whole(last);
        const double span = byOne ? last - first : (last - first) / step;
        const double passes = span < -1e-9 ? 0.0
                              : byOne      ? span + 1.0
                                           : std::floor(span + 1e-9) + 1.0;
        if (passes > double(m_options.loopLimit))
            fail(line,
                 QStringLiteral(
                     "the For loop would make %1 passes, more than the loop limit %2 (%3)")
                     .arg(formatNumber(passes),
                          QString::number(m_options.loopLimit),
                          m_options.loopLimitSetting));
        return (long long)passes;
    }

    void print(const Stmt &st)
    {
        PrintLine line;
        for (const Item &item : st.items) {
            if (!item.expr) {
                line.text(item.text);
                continue;
            }
            std::vector<double> all;
            values(*item.expr, all);
            for (double v : all)
                line.number(v);
        }
        putLine(line.line());
    }

    // A line of output: kept in the result while it has room, and handed on.
    void putLine(const QString &line)
    {
        if (m_result.linesNotKept == 0 && line.size() <= m_options.outputKept - m_outputKept) {
            m_result.output << line;
            m_outputKept += line.size();
        } else {
            ++m_result.linesNotKept;
        }
        if (m_options.printed)
            m_options.printed(line);
    }

    QString seriesName(const Stmt &st, std::size_t y)
    {
        if (!st.named)
            return st.yTexts.at(qsizetype(y));
        QString name;
        for (const Item &item : st.items) {
            if (!item.expr) {
                name += item.text;
                continue;
            }
            std::vector<double> all;
            values(*item.expr, all);
            for (double v : all)
                name += formatNumber(v);
        }
        return name;
    }

    void plot(const Stmt &st)
    {
        PlotData &p = m_result.plot;
        m_result.hasPlot = true;
        if (st.hasTitle && !m_titleSet) {
            p.title = st.plotTitle;
            m_titleSet = true;
        }
        if (st.hasXLabel && !m_xLabelSet) {
            p.xLabel = st.xLabel;
            m_xLabelSet = true;
        }
        if (st.hasYLabel && !m_yLabelSet) {
            p.yLabel = st.yLabel;
            m_yLabelSet = true;
        }
        p.xLog = p.xLog || st.logX;
        p.yLog = p.yLog || st.logY;
        std::vector<double> xs;
        values(*st.x, xs);
        for (std::size_t k = 0; k < st.ys.size(); ++k) {
            std::vector<double> ys;
            values(*st.ys[k], ys);
            if (ys.size() != xs.size())
                fail(st.line,
                     QStringLiteral("Plot: %1 values against %2; x and y must have the same size")
                         .arg(QString::number(ys.size()), QString::number(xs.size())));
            const QString name = seriesName(st, k);
            auto it = m_series.constFind(name);
            if (it == m_series.constEnd()) {
                PlotSeries s;
                s.name = name;
                p.series << s;
                it = m_series.insert(name, p.series.size() - 1);
            }
            PlotSeries &series = p.series[*it];
            if (st.markers)
                series.style = PlotSeries::Style::Markers;
            else if (st.dashed)
                series.style = PlotSeries::Style::Dashed;
            for (std::size_t i = 0; i < ys.size(); ++i) {
                if (!std::isfinite(xs[i]) || !std::isfinite(ys[i]))
                    continue;
                series.points << QPointF(xs[i], ys[i]);
            }
        }
    }

    // ---- models and their solvers ----
    int modelSlot(const Stmt &st)
    {
        const int slot = slotOf(st.model, st.line, nullptr);
        if (sym(slot).kind != Symbol::Model)
            fail(st.line, QStringLiteral("'%1' is not a model").arg(st.model));
        return slot;
    }

    void callModel(int slot, int line)
    {
        Symbol &model = sym(slot);
        if (model.running)
            fail(line, QStringLiteral("the model '%1' cannot run itself").arg(model.name));
        model.running = true;
        try {
            if (m_flat) {
                auto it = m_models.find(slot);
                if (it == m_models.end()) {
                    it = m_models.try_emplace(slot).first;
                    compile(it->second, model.def->body);
                }
                run(it->second);
            } else {
                exec(model.def->body);
            }
        } catch (...) {
            model.running = false;
            throw;
        }
        model.running = false;
    }

    // The quiet run of a model (Print and Plot write nothing).
    void quietCall(int slot, int line)
    {
        ++m_quiet;
        try {
            callModel(slot, line);
        } catch (...) {
            --m_quiet;
            throw;
        }
        --m_quiet;
    }

    std::vector<int> variableSlots(const QStringList &names, int line)
    {
        std::vector<int> ids;
        for (const QString &n : names) {
            const int slot = slotOf(n, line, nullptr);
            const Symbol::Kind k = sym(slot).kind;
            if (k != Symbol::Variable && k != Symbol::Loop)
                fail(line, QStringLiteral("'%1' is not a variable").arg(n));
            ids.push_back(slot);
        }
        return ids;
    }

    std::vector<double> gather(const std::vector<int> &ids)
    {
        std::vector<double> out;
        for (int s : ids)
            out.insert(out.end(), sym(s).v.begin(), sym(s).v.end());
        return out;
    }

    template<typename V>
    void scatter(const std::vector<int> &ids, const V &x)
    {
        Eigen::Index k = 0;
        for (int s : ids)
            for (double &v : sym(s).v)
                v = x[k++];
    }

    double option(const Stmt &st, const char *name, double fallback)
    {
        for (const Option &o : st.options)
            if (o.name == QLatin1String(name))
                return eval(*o.value);
        return fallback;
    }

    void find(const Stmt &st)
    {
        const int model = modelSlot(st);
        const std::vector<int> unknowns = variableSlots(st.unknowns, st.line);
        const std::vector<int> objectives = variableSlots(st.objectives, st.line);
        const double tol = option(st, "tolerance", 1e-8);
        const int maxIter = int(std::clamp(option(st, "maxiter", 0.0), 0.0, 1e6));
        const std::vector<double> start = gather(unknowns);
        const kv::Vec x0 = Eigen::Map<const kv::Vec>(start.data(), Eigen::Index(start.size()));
        AdvanceShown shown(*this);
        auto iterated = [&](int done, int limit) {
            shown.report({st.line, double(done), double(limit), true});
        };

        auto evaluate = [&](const kv::Vec &x, std::vector<double> *constraints) {
            scatter(unknowns, x);
            std::vector<double> *saved = m_constraints;
            m_constraints = constraints;
            try {
                quietCall(model, st.line);
            } catch (...) {
                m_constraints = saved;
                throw;
            }
            m_constraints = saved;
            const std::vector<double> r = gather(objectives);
            return kv::Vec(Eigen::Map<const kv::Vec>(r.data(), Eigen::Index(r.size())));
        };

        std::vector<kv::Vec> path;
        kv::Vec solution = x0;
        bool converged = false;
        QString method;
        const QString &solver = st.solver;
        if (solver == u"NEWTON" || solver == u"BROYDEN") {
            auto F = [&](const kv::Vec &x) { return evaluate(x, nullptr); };
            if (F(x0).size() != x0.size())
                fail(st.line, QStringLiteral("%1 needs as many equations as unknowns").arg(solver));
            if (solver == u"NEWTON") {
                method = QStringLiteral("Newton's method, Jacobian by differences");
                auto J = [&](const kv::Vec &x) {
                    const kv::Vec f0 = F(x);
                    kv::Mat m(f0.size(), x.size());
                    for (Eigen::Index j = 0; j < x.size(); ++j) {
                        kv::Vec y = x;
                        const double h = 1e-7 * std::max(1.0, std::abs(x[j]));
                        y[j] += h;
                        m.col(j) = (F(y) - f0) / h;
                    }
                    F(x);
                    return m;
                };
                const int limit = maxIter > 0 ? maxIter : 50;
                const kv::SystemRootResult r = kv::newtonSystem(
                    F, J, x0, tol, limit, [&](int done) { iterated(done, limit); });
                for (const kv::SystemIterate &i : r.history)
                    path.push_back(i.x);
                solution = r.root;
                converged = r.converged;
            } else {
                method = QStringLiteral("Broyden's quasi-Newton method");
                const int limit = maxIter > 0 ? maxIter : 100;
                const kv::SystemRootResult r = kv::broyden(
                    F, x0, tol, limit, 1e-6, [&](int done) { iterated(done, limit); });
                for (const kv::SystemIterate &i : r.history)
                    path.push_back(i.x);
                solution = r.root;
                converged = r.converged;
            }
        } else if (solver == u"LSQ") {
            method = QStringLiteral("Levenberg-Marquardt least squares");
            const int limit = maxIter > 0 ? maxIter : 200;
            const kv::LsqResult r
                = kv::levenbergMarquardt([&](const kv::Vec &x) { return evaluate(x, nullptr); },
                                         x0,
                                         limit,
                                         1e-7,
                                         [&](int done) { iterated(done, limit); });
            for (const kv::LsqIterate &i : r.history)
                path.push_back(i.p);
            solution = r.p;
            converged = r.converged;
        } else if (kv::opt::solverNames().contains(solver)) {
            const double sign = st.goal == u"maximize" ? -1.0 : 1.0;
            kv::opt::Problem problem;
            problem.start = x0;
            problem.tolerance = tol;
            if (maxIter > 0)
                problem.maxIterations = maxIter;
            problem.iterated = iterated;
            problem.f = [&](const kv::Vec &x) { return sign * evaluate(x, nullptr)[0]; };
            problem.g = [&](const kv::Vec &x) {
                std::vector<double> g;
                evaluate(x, &g);
                return kv::Vec(Eigen::Map<const kv::Vec>(g.data(), Eigen::Index(g.size())));
            };
            const kv::opt::Result r = [&] {
                try {
                    return kv::opt::minimise(solver, problem);
                } catch (const std::runtime_error &e) { // the library's own failure
                    fail(st.line,
                         QStringLiteral("%1: the method failed (%2)")
                             .arg(solver, QString::fromStdString(e.what())));
                }
            }();
            path = r.path;
            solution = r.x;
            converged = r.converged;
            method = r.method;
        } else {
            fail(st.line, QStringLiteral("unknown solver %1").arg(solver));
        }

        // Print and Plot of the model run once per iteration, with the iterate.
        const double savedIteration = m_iteration;
        for (std::size_t k = 0; k < path.size() && m_quiet == 0; ++k) {
            m_iteration = double(k);
            scatter(unknowns, path[k]);
            callModel(model, st.line);
        }
        m_iteration = savedIteration;
        if (!converged)
            fail(st.line,
                 QStringLiteral("%1 did not converge in %2 iterations (Tolerance = %3)")
                     .arg(solver,
                          QString::number(path.empty() ? 0 : path.size() - 1),
                          formatNumber(tol)));
        evaluate(solution, nullptr);
        if (m_quiet == 0) {
            PrintLine head;
            head.text(QStringLiteral("Find: ") + solver + QStringLiteral(" (") + method
                      + QStringLiteral("), ") + QString::number(path.empty() ? 0 : path.size() - 1)
                      + QStringLiteral(" iterations:"));
            for (int u : unknowns) {
                head.text(QStringLiteral("  ") + sym(u).name + QStringLiteral(" = "));
                for (double v : sym(u).v)
                    head.text(formatNumber(v)
                              + (sym(u).v.size() > 1 ? QStringLiteral(" ") : QString()));
            }
            putLine(head.line());
        }
    }

    // The scalar variables a model's own statements assign (not those of models it
    // calls), found once per model.
    const std::vector<int> &assignedScalars(int model)
    {
        auto it = m_assigned.find(model);
        if (it != m_assigned.end())
            return it->second;
        std::vector<int> found;
        std::function<void(const Block &)> walk = [&](const Block &block) {
            for (const StmtPtr &st : block) {
                if (st->kind == StmtKind::Assign && !st->derivative && sym(st->slot).ndims == 0
                    && std::find(found.begin(), found.end(), st->slot) == found.end())
                    found.push_back(st->slot);
                walk(st->body);
                for (const Block &b : st->branches)
                    walk(b);
            }
        };
        walk(sym(model).def->body);
        return m_assigned.emplace(model, std::move(found)).first->second;
    }
    std::map<int, std::vector<int>> m_assigned;

    // Tells the run's follower how far an Initiate or a Find has come, and when it
    // is left (by its end or an error) what the one around it, if any, had reached.
    class AdvanceShown
    {
    public:
        explicit AdvanceShown(Interpreter &run)
            : m_run(run)
            , m_outer(run.m_advance)
        {}
        ~AdvanceShown()
        {
            m_run.m_advance = m_outer;
            if (m_run.m_options.advance && m_run.m_quiet == 0)
                m_run.m_options.advance(m_outer);
        }
        void report(const Advance &a)
        {
            if (!m_run.m_options.advance || m_run.m_quiet > 0)
                return;
            m_run.m_advance = a;
            m_run.m_options.advance(a);
        }

    private:
        Interpreter &m_run;
        Advance m_outer;
    };
    Advance m_advance; // the innermost Initiate or Find at work

    void initiate(const Stmt &st);
};

// ---- Initiate ----

void Interpreter::initiate(const Stmt &st)
{
    const int model = modelSlot(st);
    const std::vector<int> states = variableSlots(st.unknowns, st.line);
    const int tSlot = variableSlots({st.independent}, st.line).front();
    Symbol &tSym = sym(tSlot);
    if (tSym.ndims > 0)
        fail(st.line,
             QStringLiteral("the independent variable '%1' must be a scalar").arg(tSym.name));
    const double t0 = eval(*st.spanFrom), t1 = eval(*st.spanTo), dt = eval(*st.outputStep);
    const double relTol = option(st, "tolerance", 1e-8);
    const double absTol = option(st, "abstolerance", relTol);
    const double stepSize = option(st, "stepsize", dt);
    if (t1 < t0)
        fail(st.line,
             QStringLiteral("the Span runs from %1 back to %2; it must run forwards")
                 .arg(formatNumber(t0), formatNumber(t1)));
    if (t1 > t0 && !(dt > 0.0))
        fail(st.line, QStringLiteral("the output Step must be positive"));
    const QString &solver = st.solver;

    // Output times t0 + k dt, the last one t1.
    std::vector<double> times;
    if (t1 > t0) {
        const double n = std::ceil((t1 - t0) / dt - 1e-9);
        if (n > 1e7)
            fail(st.line, QStringLiteral("the Span holds more than 10^7 output steps"));
        for (long k = 1; k < long(n); ++k)
            times.push_back(t0 + double(k) * dt);
        times.push_back(t1);
    }

    // DAE: the states whose derivative the model does not set are fixed by Residual.
    std::vector<int> diff = states, alg;
    auto clearDerivatives = [&] {
        for (int s : states)
            std::fill(sym(s).dset.begin(), sym(s).dset.end(), 0);
    };
    tSym.v[0] = t0;
    if (solver == u"DAE") {
        clearDerivatives();
        quietCall(model, st.line);
        diff.clear();
        for (int s : states) {
            const bool all
                = std::all_of(sym(s).dset.begin(), sym(s).dset.end(), [](char c) { return c; });
            (all ? diff : alg).push_back(s);
        }
    }
    std::size_t algCount = 0;
    for (int s : alg)
        algCount += sym(s).v.size();

    // Solves the residuals for the algebraic states at the present differential ones.
    std::function<void()> save, restore;
    auto solveAlgebraic = [&]() {
        if (alg.empty())
            return;
        save(); // the trial runs of Newton's method leave no trace
        struct Restore
        {
            std::function<void()> &f;
            ~Restore() { f(); }
        } restoreAfter{restore};
        auto R = [&](const kv::Vec &z) {
            scatter(alg, z);
            std::vector<double> r;
            std::vector<double> *saved = m_residuals;
            m_residuals = &r;
            try {
                quietCall(model, st.line);
            } catch (...) {
                m_residuals = saved;
                throw;
            }
            m_residuals = saved;
            if (r.size() != algCount)
                fail(st.line,
                     QStringLiteral("DAE: %1 Residual values for %2 states without a derivative")
                         .arg(QString::number(r.size()), QString::number(algCount)));
            return kv::Vec(Eigen::Map<const kv::Vec>(r.data(), Eigen::Index(r.size())));
        };
        const std::vector<double> start = gather(alg);
        kv::Vec z = Eigen::Map<const kv::Vec>(start.data(), Eigen::Index(start.size()));
        for (int it = 0;; ++it) {
            const kv::Vec r = R(z);
            if (r.lpNorm<Eigen::Infinity>() <= 1e-13 * std::max(1.0, z.lpNorm<Eigen::Infinity>()))
                break;
            if (it == 50)
                fail(st.line,
                     QStringLiteral("DAE: the Residual equations have no solution near "
                                    "the states' values (Newton did not converge)"));
            kv::Mat J(r.size(), z.size());
            for (Eigen::Index j = 0; j < z.size(); ++j) {
                kv::Vec y = z;
                const double h = 1e-7 * std::max(1.0, std::abs(z[j]));
                y[j] += h;
                J.col(j) = (R(y) - r) / h;
            }
            const kv::Vec dz = J.fullPivLu().solve(-r);
            z += dz;
            if (dz.lpNorm<Eigen::Infinity>()
                <= 1e-15 * std::max(1.0, z.lpNorm<Eigen::Infinity>())) {
                R(z);
                break;
            }
        }
        scatter(alg, z);
    };

    auto setState = [&](const kv::State &y, double t) {
        scatter(diff, y);
        tSym.v[0] = t;
        solveAlgebraic();
    };
    // Between output points the model's own scalar assignments are undone after
    // each evaluation, so a running maximum or a counter sees the output points only.
    std::vector<int> kept;
    for (int v : assignedScalars(model))
        if (v != tSlot && std::find(states.begin(), states.end(), v) == states.end())
            kept.push_back(v);
    std::vector<double> savedValues(kept.size());
    save = [&] {
        for (std::size_t i = 0; i < kept.size(); ++i)
            savedValues[i] = sym(kept[i]).v[0];
    };
    restore = [&] {
        for (std::size_t i = 0; i < kept.size(); ++i)
            sym(kept[i]).v[0] = savedValues[i];
    };
    auto collectDerivatives = [&](kv::State &dydt, double t) {
        std::size_t n = 0;
        for (int s : diff)
            n += sym(s).v.size();
        dydt.resize(n);
        std::size_t k = 0;
        for (int s : diff) {
            const Symbol &sy = sym(s);
            // Most often every derivative is set and a number: look for a fault only
            // when a quick pass finds one.
            const std::size_t count = sy.v.size();
            bool finite = true;
            for (std::size_t i = 0; i < count; ++i)
                finite &= std::isfinite(sy.d[i]);
            if (finite && !std::memchr(sy.dset.data(), 0, count)) {
                std::copy_n(sy.d.begin(), count, dydt.begin() + std::ptrdiff_t(k));
                k += count;
                continue;
            }
            for (std::size_t i = 0; i < sy.v.size(); ++i, ++k) {
                if (!sy.dset[i])
                    fail(st.line,
                         QStringLiteral("the model '%1' does not set the derivative of %2")
                             .arg(sym(model).name,
                                  sy.ndims ? sy.name + QStringLiteral("[...]") : sy.name));
                if (!std::isfinite(sy.d[i]))
                    fail(st.line,
                         QStringLiteral("the derivative of %1 is not a number at %2 = %3")
                             .arg(sy.name, tSym.name, formatNumber(t)));
                dydt[k] = sy.d[i];
            }
        }
    };
    // The evaluation an Until test makes is kept for the step that follows it.
    double cachedT = std::numeric_limits<double>::quiet_NaN();
    kv::State cachedY, cachedD;
    AdvanceShown shown(*this);
    unsigned evaluations = 0;
    const kv::Rhs rhs = [&](const kv::State &y, kv::State &dydt, double t) {
        if (m_options.advance && (++evaluations & 0x3f) == 0)
            shown.report({st.line, t - t0, t1 - t0, false});
        if (t == cachedT && y == cachedY) {
            dydt = cachedD;
            return;
        }
        save();
        setState(y, t);
        clearDerivatives();
        quietCall(model, st.line);
        collectDerivatives(dydt, t);
        restore();
    };
    auto output = [&](double t, const kv::State &y) {
        shown.report({st.line, t - t0, t1 - t0, false});
        setState(y, t);
        if (m_quiet == 0) {
            clearDerivatives();
            callModel(model, st.line);
        }
    };
    auto until = [&](double t, const kv::State &y) {
        save();
        setState(y, t);
        clearDerivatives();
        quietCall(model, st.line);
        const bool holds = eval(*st.until) != 0.0;
        collectDerivatives(cachedD, t);
        cachedT = t;
        cachedY = y;
        restore();
        return holds;
    };

    kv::State y = gather(diff);
    if (solver == u"DAE")
        solveAlgebraic();
    output(t0, y);
    if (times.empty())
        return;

    // One step of the chosen method from (t, y) over h; the adaptive ones choose h.
    const bool adaptive = solver == u"RKF45" || solver == u"DAE";
    const bool fixed = solver == u"RK4" || solver == u"EULER" || solver == u"ADAMS";
    auto fixedStep = [&](kv::State &state, double t, double h) {
        if (solver == u"EULER")
            kv::integrateEuler(rhs, state, t, h, 1, {}, 1);
        else
            kv::integrateRk4(rhs, state, t, h, 1, {}, 1);
    };

    try {
        if (solver == u"GEAR") {
            const kv::Jacobian jac
                = [&](const kv::State &s, std::vector<double> &J, double t, kv::State &dfdt) {
                      const std::size_t n = s.size();
                      kv::State f0(n), f1(n);
                      rhs(s, f0, t);
                      J.assign(n * n, 0.0);
                      for (std::size_t j = 0; j < n; ++j) {
                          kv::State p = s;
                          const double h = 1e-8 * std::max(1.0, std::abs(s[j]));
                          p[j] += h;
                          rhs(p, f1, t);
                          for (std::size_t i = 0; i < n; ++i)
                              J[i * n + j] = (f1[i] - f0[i]) / h;
                      }
                      const double ht = 1e-8 * std::max(1.0, std::abs(t));
                      rhs(s, f1, t + ht);
                      dfdt.resize(n);
                      for (std::size_t i = 0; i < n; ++i)
                          dfdt[i] = (f1[i] - f0[i]) / ht;
                  };
            double t = t0;
            for (const double target : times) {
                kv::integrateStiff(rhs, jac, y, t, {target}, {}, absTol, relTol);
                t = target;
                output(t, y);
                if (st.until && until(t, y))
                    break;
            }
        } else if (adaptive) {
            double t = t0;
            double h = std::min(times.front() - t0, (t1 - t0) / 100.0);
            {
                kv::State d(y.size());
                rhs(y, d, t0);
                double scale = 0.0;
                for (std::size_t i = 0; i < y.size(); ++i)
                    scale = std::max(scale, std::abs(d[i]) / (1.0 + std::abs(y[i])));
                if (scale > 0.0)
                    h = std::min(h, 0.01 / scale);
                h = std::max(h, (t1 - t0) * 1e-12);
            }
            kv::StepCounts counts;
            bool stopped = false;
            for (const double target : times) {
                while (t < target && !stopped) {
                    const double remaining = target - t;
                    if (remaining <= 1e-13 * std::max(1.0, std::abs(target))) {
                        t = target;
                        break;
                    }
                    const kv::State before = y;
                    const double tBefore = t;
                    kv::rkf45Step(rhs, y, t, h, remaining, counts, absTol, relTol);
                    if (std::abs(target - t) <= 1e-13 * std::max(1.0, std::abs(target)))
                        t = target;
                    if (st.until && until(t, y)) {
                        // Bisect the step for the first point where the condition holds.
                        double lo = 0.0, hi = t - tBefore;
                        for (int k = 0; k < 60; ++k) {
                            const double mid = 0.5 * (lo + hi);
                            const kv::State ym = kv::rkf45PlainStep(rhs, before, tBefore, mid);
                            (until(tBefore + mid, ym) ? hi : lo) = mid;
                        }
                        y = kv::rkf45PlainStep(rhs, before, tBefore, hi);
                        t = tBefore + hi;
                        stopped = true;
                    }
                    if (h < 1e-14 * std::max(1.0, std::abs(t)) && !stopped)
                        fail(st.line,
                             QStringLiteral("%1: the step size collapsed at %2 = %3")
                                 .arg(solver, tSym.name, formatNumber(t)));
                }
                output(stopped ? t : target, y);
                if (stopped)
                    break;
            }
        } else if (fixed) {
            if (!(stepSize > 0.0))
                fail(st.line, QStringLiteral("the StepSize must be positive"));
            // Steps of one length through the whole span: each output interval is
            // divided into whole steps (the last interval may get a shorter one).
            const double perOutput = std::max(1.0, std::round(dt / stepSize));
            const double h = std::min(dt, t1 - t0) / perOutput;
            if ((t1 - t0) / h > 1e9)
                fail(st.line, QStringLiteral("the StepSize gives more than 10^9 steps"));
            std::unique_ptr<kv::AdamsStepper> adams;
            double t = t0;
            double usedH = 0.0;
            bool stopped = false;
            for (const double target : times) {
                const double span = target - t;
                const long steps = std::max(1L, long(std::llround(span / h)));
                const double hh = span / double(steps);
                if (solver == u"ADAMS" && (!adams || std::abs(hh - usedH) > 1e-12 * hh)) {
                    adams = std::make_unique<kv::AdamsStepper>();
                    usedH = hh;
                }
                const double tStart = t;
                for (long k = 0; k < steps; ++k) {
                    const kv::State before = y;
                    const double tb = tStart + double(k) * hh;
                    if (adams)
                        adams->step(rhs, y, tb, hh);
                    else
                        fixedStep(y, tb, hh);
                    t = tStart + double(k + 1) * hh;
                    if (st.until && until(t, y)) {
                        double lo = 0.0, hi = hh;
                        for (int b = 0; b < 60; ++b) {
                            const double mid = 0.5 * (lo + hi);
                            kv::State ym = before;
                            fixedStep(ym, tb, mid);
                            (until(tb + mid, ym) ? hi : lo) = mid;
                        }
                        y = before;
                        fixedStep(y, tb, hi);
                        t = tb + hi;
                        stopped = true;
                        break;
                    }
                }
                output(t, y);
                if (stopped)
                    break;
            }
        } else {
            fail(st.line, QStringLiteral("unknown integrator %1").arg(solver));
        }
    } catch (const std::runtime_error &e) {
        fail(st.line,
             QStringLiteral("%1: the step size collapsed (%2)")
                 .arg(solver, QString::fromStdString(e.what())));
    }
}

} // namespace

RunResult runTessaly(const QByteArray &source, const RunOptions &options)
{
    return Interpreter(options).run(source);
}

} // namespace ty
