#include "Optimizers.h"

#include <nlopt.hpp>

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <stdexcept>

namespace kv::opt {

namespace {

// Counts evaluations and gives central-difference derivatives.
struct Model
{
    const Problem &p;
    int evaluations = 0;
    int limit = 0; // the most major iterations the method makes
    // A major iteration is done at x.
    void mark(Result &r, const Vec &x)
    {
        r.path.push_back(x);
        if (p.iterated)
            p.iterated(int(r.path.size()) - 1, limit);
    }
    double f(const Vec &x)
    {
        ++evaluations;
        return p.f(x);
    }
    Vec g(const Vec &x) { return p.g ? p.g(x) : Vec(); }
    double h(const Vec &x, Eigen::Index i) const { return 1e-6 * std::max(1.0, std::abs(x[i])); }
    Vec df(const Vec &x)
    {
        Vec d(x.size());
        for (Eigen::Index i = 0; i < x.size(); ++i) {
            Vec a = x, b = x;
            a[i] += h(x, i);
            b[i] -= h(x, i);
            d[i] = (f(a) - f(b)) / (2 * h(x, i));
        }
        return d;
    }
    Mat dg(const Vec &x)
    {
        const Eigen::Index m = g(x).size();
        Mat J(m, x.size());
        for (Eigen::Index i = 0; i < x.size(); ++i) {
            Vec a = x, b = x;
            a[i] += h(x, i);
            b[i] -= h(x, i);
            J.col(i) = (g(a) - g(b)) / (2 * h(x, i));
        }
        return J;
    }
    double violation(const Vec &x)
    {
        const Vec v = g(x);
        return v.size() == 0 ? 0.0 : std::max(0.0, v.maxCoeff());
    }
    double penalty(const Vec &x, double r)
    {
        double v = f(x);
        const Vec gx = g(x);
        for (Eigen::Index i = 0; i < gx.size(); ++i)
            v += r * std::pow(std::max(0.0, gx[i]), 2);
        return v;
    }
};

Vec numericGradient(const std::function<double(const Vec &)> &fn, const Vec &x)
{
    Vec d(x.size());
    for (Eigen::Index i = 0; i < x.size(); ++i) {
        const double h = 1e-6 * std::max(1.0, std::abs(x[i]));
        Vec a = x, b = x;
        a[i] += h;
        b[i] -= h;
        d[i] = (fn(a) - fn(b)) / (2 * h);
    }
    return d;
}

// BFGS with an Armijo backtracking line search (the inverse Hessian updated).
void bfgsMinimise(const std::function<double(const Vec &)> &value,
                  Vec &x,
                  double gradTol,
                  int maxIt)
{
    const Eigen::Index n = x.size();
    Mat H = Mat::Identity(n, n);
    double fx = value(x);
    Vec gx = numericGradient(value, x);
    bool scaled = false;
    for (int k = 0; k < maxIt && gx.norm() > gradTol && std::isfinite(fx); ++k) {
        Vec p = -H * gx;
        double slope = gx.dot(p);
        if (slope >= 0.0) {
            H.setIdentity();
            p = -gx;
            slope = -gx.squaredNorm();
        }
        double a = 1.0;
        Vec xn = x + p;
        double fn = value(xn);
        int cuts = 0;
        while (!(fn <= fx + 1e-4 * a * slope) && cuts < 60) {
            a *= 0.5;
            xn = x + a * p;
            fn = value(xn);
            ++cuts;
        }
        if (cuts == 60)
            break;
        const Vec gn = numericGradient(value, xn);
        const Vec s = xn - x, y = gn - gx;
        const double sy = s.dot(y);
        if (sy > 1e-300) {
            if (!scaled) {
                H *= sy / y.squaredNorm();
                scaled = true;
            }
            const double rho = 1.0 / sy;
            const Mat I = Mat::Identity(n, n);
            H = (I - rho * s * y.transpose()) * H * (I - rho * y * s.transpose())
                + rho * s * s.transpose();
        }
        x = xn;
        fx = fn;
        gx = gn;
        if (s.norm() < 1e-15 * std::max(1.0, x.norm()))
            break;
    }
}

// Nelder-Mead on n + 1 vertices.
void nelderMead(const std::function<double(const Vec &)> &fn, Vec &x, double size, int maxIt)
{
    const Eigen::Index n = x.size();
    std::vector<Vec> p(n + 1, x);
    for (Eigen::Index i = 0; i < n; ++i)
        p[i + 1][i] += size;
    std::vector<double> v;
    for (const Vec &q : p)
        v.push_back(fn(q));
    std::vector<std::size_t> order(p.size());
    for (int it = 0; it < maxIt; ++it) {
        for (std::size_t i = 0; i < order.size(); ++i)
            order[i] = i;
        std::sort(order.begin(), order.end(), [&](auto a, auto b) { return v[a] < v[b]; });
        const std::size_t best = order.front(), worst = order.back(),
                          second = order[order.size() - 2];
        double extent = 0.0;
        for (const Vec &q : p)
            extent = std::max(extent, (q - p[best]).norm());
        if (extent < 1e-11 * std::max(1.0, p[best].norm()))
            break;
        Vec centre = Vec::Zero(n);
        for (std::size_t i = 0; i < p.size(); ++i)
            if (i != worst)
                centre += p[i];
        centre /= double(n);
        const Vec xr = centre + (centre - p[worst]);
        const double vr = fn(xr);
        if (vr < v[best]) {
            const Vec xe = centre + 2.0 * (centre - p[worst]);
            const double ve = fn(xe);
            p[worst] = ve < vr ? xe : xr;
            v[worst] = std::min(ve, vr);
        } else if (vr < v[second]) {
            p[worst] = xr;
            v[worst] = vr;
        } else {
            const Vec xc = vr < v[worst] ? Vec(centre + 0.5 * (xr - centre))
                                         : Vec(centre + 0.5 * (p[worst] - centre));
            const double vc = fn(xc);
            if (vc < std::min(vr, v[worst])) {
                p[worst] = xc;
                v[worst] = vc;
            } else {
                for (std::size_t i = 0; i < p.size(); ++i)
                    if (i != best) {
                        p[i] = p[best] + 0.5 * (p[i] - p[best]);
                        v[i] = fn(p[i]);
                    }
            }
        }
    }
    x = p[std::size_t(std::min_element(v.begin(), v.end()) - v.begin())];
}

// Hooke-Jeeves pattern search.
void hookeJeeves(const std::function<double(const Vec &)> &fn, Vec &x, double step)
{
    auto explore = [&](Vec base, double &value) {
        for (Eigen::Index i = 0; i < base.size(); ++i)
            for (double sign : {1.0, -1.0}) {
                Vec trial = base;
                trial[i] += sign * step;
                const double v = fn(trial);
                if (v < value) {
                    base = trial;
                    value = v;
                    break;
                }
            }
        return base;
    };
    double fx = fn(x);
    while (step > 1e-11 * std::max(1.0, x.norm())) {
        double fe = fx;
        Vec xe = explore(x, fe);
        if (fe < fx) {
            for (int moves = 0; moves < 100000; ++moves) {
                const Vec pattern = xe + (xe - x);
                x = xe;
                fx = fe;
                double fp = fn(pattern);
                const Vec xp = explore(pattern, fp);
                if (fp >= fx)
                    break;
                xe = xp;
                fe = fp;
            }
        } else {
            step *= 0.5;
        }
    }
}

// Exterior-penalty continuation r = 10, 100, ..., 1e10.
template<typename Stage>
void penaltySequence(Result &r, Model &m, Vec &x, Stage stage)
{
    m.limit = 10;
    for (double rp = 10.0; rp <= 1e10 * 1.001; rp *= 10.0) {
        stage(x, rp, rp == 10.0);
        m.mark(r, x);
    }
}

// One of NLopt's gradient-based or derivative-free constrained methods.
void runNlopt(nlopt::algorithm algorithm, Model &m, Result &r, Vec &x)
{
    const unsigned n = unsigned(x.size());
    nlopt::opt solver(algorithm, n);
    // NLopt turns whatever the model throws into a bare "nlopt failure"; the model's
    // own error (a division by zero at line 7) is kept here and thrown again.
    struct Context
    {
        Model *m;
        Result *r;
        std::exception_ptr failure;
    } context{&m, &r, nullptr};
    struct Keep
    {
        [[noreturn]] static void failure(void *data)
        {
            static_cast<Context *>(data)->failure = std::current_exception();
            throw nlopt::forced_stop();
        }
    };
    solver.set_min_objective(
        [](unsigned dim, const double *px, double *grad, void *data) -> double {
            try {
                auto *c = static_cast<Context *>(data);
                const Vec v = Eigen::Map<const Vec>(px, dim);
                if (grad) {
                    const Vec d = c->m->df(v);
                    std::copy(d.data(), d.data() + dim, grad);
                    c->m->mark(*c->r, v); // a gradient is asked for at each major iterate
                } else if (c->m->p.iterated) {
                    // A method without gradients: every evaluation counts.
                    c->m->p.iterated(c->m->evaluations + 1, c->m->limit);
                }
                return c->m->f(v);
            } catch (...) {
                Keep::failure(data);
            }
        },
        &context);
    const Eigen::Index count = m.g(x).size();
    if (count > 0)
        solver.add_inequality_mconstraint(
            [](unsigned mc,
               double *result,
               unsigned dim,
               const double *px,
               double *grad,
               void *data) {
                try {
                    auto *c = static_cast<Context *>(data);
                    const Vec v = Eigen::Map<const Vec>(px, dim);
                    const Vec gv = c->m->g(v);
                    std::copy(gv.data(), gv.data() + mc, result);
                    if (grad) {
                        const Mat J = c->m->dg(v);
                        for (unsigned i = 0; i < mc; ++i)
                            for (unsigned j = 0; j < dim; ++j)
                                grad[i * dim + j] = J(i, j);
                    }
                } catch (...) {
                    Keep::failure(data);
                }
            },
            &context,
            std::vector<double>(std::size_t(count), 1e-10));
    solver.set_xtol_rel(std::max(1e-14, m.p.tolerance * 1e-4));
    solver.set_ftol_rel(std::max(1e-15, m.p.tolerance * 1e-6));
    const int maxEvaluations = std::max(1000, m.p.maxIterations * 50);
    solver.set_maxeval(maxEvaluations);
    m.limit = maxEvaluations;
    if (algorithm == nlopt::LN_COBYLA)
        solver.set_initial_step(std::vector<double>(n, std::max(1.0, 0.1 * x.norm())));
    std::vector<double> xs(x.data(), x.data() + n);
    double value = 0;
    try {
        solver.optimize(xs, value);
    } catch (const nlopt::roundoff_limited &) {
        // the best point found stands
    } catch (...) {
        if (context.failure)
            std::rethrow_exception(context.failure);
        throw;
    }
    x = Eigen::Map<const Vec>(xs.data(), n);
    if (algorithm == nlopt::LN_COBYLA)
        r.path.push_back(x);
}

} // namespace

QStringList solverNames()
{
    return {"SUMT", "SCP", "ALM", "MMFD", "SQP", "MFD", "SIMPLEX", "PATTERN", "SLP", "GRG", "BFGS"};
}

Result minimise(const QString &solver, const Problem &problem)
{
    Model m{problem};
    Result r;
    Vec x = problem.start;
    r.path.push_back(x);
    const Eigen::Index count = m.g(x).size();
    if (solver == u"SUMT") {
        r.method = "Sequential unconstrained minimization: logarithmic interior barrier, BFGS";
        // A start outside the constraints is first brought inside by the penalty.
        if (count > 0 && m.g(x).maxCoeff() >= 0.0) {
            for (double rp = 10.0; rp <= 1e8 && m.g(x).maxCoeff() >= 0.0; rp *= 10.0)
                bfgsMinimise(
                    [&](const Vec &y) {
                        return m.penalty(y, rp)
                               + 1e-3 * rp * (m.g(y).array() + 1e-6).max(0.0).sum();
                    },
                    x,
                    1e-9,
                    200);
        }
        m.limit = 12;
        for (double rb = 100.0; rb >= 1e-9 * 0.999; rb /= 10.0) {
            bfgsMinimise(
                [&](const Vec &y) {
                    const Vec gy = m.g(y);
                    if (count > 0 && (gy.array() >= 0.0).any())
                        return std::numeric_limits<double>::infinity();
                    return m.f(y) - (count > 0 ? rb * (-gy.array()).log().sum() : 0.0);
                },
                x,
                1e-10,
                problem.maxIterations);
            m.mark(r, x);
        }
    } else if (solver == u"ALM") {
        r.method = "Augmented Lagrange multiplier method, rho = 100, inner BFGS";
        const double rho = 100.0;
        Vec lambda = Vec::Zero(count);
        m.limit = 200;
        for (int k = 0; k < m.limit; ++k) {
            bfgsMinimise(
                [&](const Vec &y) {
                    const Vec gy = m.g(y);
                    double v = m.f(y);
                    for (Eigen::Index i = 0; i < count; ++i)
                        v += (std::pow(std::max(0.0, lambda[i] + rho * gy[i]), 2)
                              - lambda[i] * lambda[i])
                             / (2.0 * rho);
                    return v;
                },
                x,
                1e-9,
                problem.maxIterations);
            const Vec gx = m.g(x);
            Vec next(count);
            for (Eigen::Index i = 0; i < count; ++i)
                next[i] = std::max(0.0, lambda[i] + rho * gx[i]);
            const double change = count ? (next - lambda).lpNorm<Eigen::Infinity>() : 0.0;
            lambda = next;
            m.mark(r, x);
            const double scale = std::max(1.0, count ? lambda.lpNorm<Eigen::Infinity>() : 0.0);
            if (change < 1e-8 * scale && m.violation(x) < 1e-8 * std::max(1.0, x.norm()))
                break;
        }
    } else if (solver == u"SIMPLEX") {
        r.method = "Nelder-Mead downhill simplex on an exterior penalty";
        penaltySequence(r, m, x, [&](Vec &y, double rp, bool first) {
            nelderMead([&](const Vec &z) { return m.penalty(z, rp); },
                       y,
                       first ? std::max(1.0, 0.5 * y.norm()) : 0.01 * std::max(1.0, y.norm()),
                       20000);
        });
    } else if (solver == u"PATTERN") {
        r.method = "Hooke-Jeeves pattern search on an exterior penalty";
        penaltySequence(r, m, x, [&](Vec &y, double rp, bool first) {
            hookeJeeves([&](const Vec &z) { return m.penalty(z, rp); },
                        y,
                        first ? std::max(1.0, 0.5 * y.norm()) : 0.01 * std::max(1.0, y.norm()));
        });
    } else if (solver == u"BFGS") {
        r.method = "Quasi-Newton BFGS on an exterior penalty";
        penaltySequence(r, m, x, [&](Vec &y, double rp, bool) {
            bfgsMinimise([&](const Vec &z) { return m.penalty(z, rp); },
                         y,
                         1e-9 * rp,
                         problem.maxIterations);
        });
    } else if (solver == u"SQP") {
        r.method = "Sequential quadratic programming (NLopt SLSQP)";
        runNlopt(nlopt::LD_SLSQP, m, r, x);
    } else if (solver == u"SCP") {
        r.method = "Sequential convex programming: method of moving asymptotes (NLopt MMA)";
        runNlopt(nlopt::LD_MMA, m, r, x);
    } else if (solver == u"SLP") {
        r.method = "Linear approximations of objective and constraints (NLopt COBYLA)";
        runNlopt(nlopt::LN_COBYLA, m, r, x);
    } else if (solver == u"MMFD" || solver == u"MFD" || solver == u"GRG") {
        r.method = solver == u"GRG" ? "Reduced gradient on the linearized active constraints"
                                    : "Feasible directions: gradient projected on the active "
                                      "constraints";
        // Steepest descent projected onto the eps-active constraints, a backtracking
        // line search that keeps every constraint, a return to the active ones.
        std::vector<Eigen::Index> active;
        m.limit = problem.maxIterations * 4;
        for (int k = 0; k < m.limit; ++k) {
            const Vec grad = m.df(x);
            const Vec gx = m.g(x);
            const Mat J = count ? m.dg(x) : Mat(0, x.size());
            active.clear();
            for (Eigen::Index i = 0; i < count; ++i)
                if (gx[i] >= -1e-7 * std::max(1.0, J.row(i).norm()))
                    active.push_back(i);
            Vec s = -grad;
            for (int drop = 0; drop < 50; ++drop) {
                s = -grad;
                Vec u;
                if (!active.empty()) {
                    Mat N(Eigen::Index(active.size()), x.size());
                    for (std::size_t i = 0; i < active.size(); ++i)
                        N.row(Eigen::Index(i)) = J.row(active[i]);
                    u = -(N * N.transpose()).completeOrthogonalDecomposition().solve(N * grad);
                    s = -(grad + N.transpose() * u);
                }
                if (s.norm() > 1e-10 * std::max(1.0, grad.norm()) || active.empty())
                    break;
                Eigen::Index worst = 0;
                if (u.minCoeff(&worst) >= -1e-12)
                    break; // a Kuhn-Tucker point
                active.erase(active.begin() + worst);
            }
            if (s.norm() <= 1e-10 * std::max(1.0, grad.norm()))
                break;
            // The longest step along s (at most the distance to a constraint), then halved
            // until f decreases and the constraints hold.
            double aMax = 1e3 * std::max(1.0, x.norm()) / s.norm();
            for (Eigen::Index i = 0; i < count; ++i) {
                const double rate = J.row(i).dot(s);
                if (rate > 1e-14 && std::find(active.begin(), active.end(), i) == active.end())
                    aMax = std::min(aMax, std::max(0.0, -gx[i]) / rate);
            }
            const double f0 = m.f(x), slope = grad.dot(s);
            const double f1 = m.f(x + aMax * s);
            const double curvature = (f1 - f0 - slope * aMax) / (aMax * aMax);
            double a = curvature <= 0.0 ? aMax : std::min(aMax, -slope / (2.0 * curvature));
            Vec xn = x + a * s;
            for (int cut = 0; cut < 60 && (m.f(xn) > f0 || m.violation(xn) > 1e-8); ++cut) {
                a *= 0.5;
                xn = x + a * s;
            }
            const double moved = (xn - x).norm();
            x = xn;
            m.mark(r, x);
            if (moved < 1e-13 * std::max(1.0, x.norm()))
                break;
        }
    } else {
        throw std::invalid_argument("unknown optimiser " + solver.toStdString());
    }
    r.x = x;
    r.evaluations = m.evaluations;
    r.converged = std::isfinite(m.f(x)) && m.violation(x) < 1e-6 * std::max(1.0, x.norm());
    return r;
}

} // namespace kv::opt
