#include "Corral.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <limits>
#include <numbers>
#include <stdexcept>

namespace kv::corral {

namespace {

const double SinSlope = std::sin(SlopeDegrees * std::numbers::pi / 180.0);

// Counts the evaluations a method makes.
struct Counter
{
    int values = 0;
    int gradients = 0;
    double f(const Vec &x)
    {
        ++values;
        return objective(x);
    }
    Vec g(const Vec &x) { return constraints(x); } // counted with f: one evaluation is both
    Vec df(const Vec &x)
    {
        ++gradients;
        return objectiveGradient(x);
    }
};

Vec start()
{
    Vec x(2);
    x << StartW, StartD;
    return x;
}

Iterate iterateAt(const Vec &x)
{
    return {x, x[0] * x[1], largestViolation(x)};
}

// ---- shared pieces -------------------------------------------------------

// Exterior quadratic penalty f + r sum max(0, gi)^2, its gradient.
double penalty(Counter &c, const Vec &x, double r)
{
    const Vec g = c.g(x);
    double p = c.f(x);
    for (Eigen::Index i = 0; i < g.size(); ++i)
        p += r * std::pow(std::max(0.0, g[i]), 2);
    return p;
}

Vec penaltyGradient(Counter &c, const Vec &x, double r)
{
    const Vec g = constraints(x);
    const Mat J = constraintJacobian(x);
    Vec grad = c.df(x);
    for (Eigen::Index i = 0; i < g.size(); ++i)
        if (g[i] > 0.0)
            grad += 2.0 * r * g[i] * J.row(i).transpose();
    return grad;
}

// Modified Newton direction: the Hessian gets a multiple of the identity added
// until it is positive definite (the objective -w*d is not convex).
Vec newtonDirection(Mat H, const Vec &grad)
{
    double shift = 0.0;
    for (int k = 0; k < 60; ++k) {
        Mat Hs = H;
        Hs.diagonal().array() += shift;
        Eigen::LLT<Mat> llt(Hs);
        if (llt.info() == Eigen::Success)
            return -llt.solve(grad);
        shift = shift == 0.0 ? 1e-3 * std::max(1.0, H.diagonal().cwiseAbs().maxCoeff()) : shift * 4;
    }
    return -grad;
}

// Minimises phi(x) - r sum ln(-gi(x)) from a strictly feasible x by modified Newton
// with a backtracking line search that stays strictly feasible. phiHessian gives the
// objective's Hessian; the constraints' own Hessians vanish (they are linear).
struct SmoothObjective
{
    std::function<double(const Vec &)> value;
    std::function<Vec(const Vec &)> gradient;
    std::function<Mat(const Vec &)> hessian;
};

int barrierStage(const SmoothObjective &phi, Vec &x, double r, int maxNewton = 100)
{
    auto barrierValue = [&](const Vec &y) {
        const Vec g = constraints(y);
        if ((g.array() >= 0.0).any())
            return std::numeric_limits<double>::infinity();
        return phi.value(y) - r * (-g.array()).log().sum();
    };
    int iterations = 0;
    for (; iterations < maxNewton; ++iterations) {
        const Vec g = constraints(x);
        const Mat J = constraintJacobian(x);
        Vec grad = phi.gradient(x);
        Mat H = phi.hessian(x);
        for (Eigen::Index i = 0; i < g.size(); ++i) {
            grad -= r / g[i] * J.row(i).transpose();
            H += r / (g[i] * g[i]) * J.row(i).transpose() * J.row(i);
        }
        const Vec p = newtonDirection(H, grad);
        const double slope = grad.dot(p);
        if (std::abs(slope) < 1e-22 * std::max(1.0, std::abs(phi.value(x))))
            break;
        const double v0 = barrierValue(x);
        double alpha = 1.0;
        Vec xn = x + p;
        double vn = barrierValue(xn);
        while (!(vn <= v0 + 1e-4 * alpha * slope) && alpha > 1e-20) {
            alpha *= 0.5;
            xn = x + alpha * p;
            vn = barrierValue(xn);
        }
        if (alpha <= 1e-20)
            break;
        const double moved = (xn - x).norm();
        x = xn;
        if (moved < 1e-14 * std::max(1.0, x.norm()))
            break;
    }
    return iterations;
}

// BFGS (inverse-Hessian update) with an Armijo backtracking line search; returns the
// number of iterations. Stops when the gradient is below gradTol.
int bfgsMinimise(const std::function<double(const Vec &)> &value,
                 const std::function<Vec(const Vec &)> &gradient,
                 Vec &x,
                 double gradTol,
                 int maxIterations = 500)
{
    const Eigen::Index n = x.size();
    Mat Hinv = Mat::Identity(n, n);
    double fx = value(x);
    Vec gx = gradient(x);
    bool scaled = false;
    int k = 0;
    for (; k < maxIterations && gx.norm() > gradTol; ++k) {
        Vec p = -Hinv * gx;
        double slope = gx.dot(p);
        if (slope >= 0.0) { // lost descent: restart from steepest descent
            Hinv.setIdentity();
            p = -gx;
            slope = -gx.squaredNorm();
        }
        double alpha = 1.0;
        Vec xn = x + p;
        double fn = value(xn);
        int cuts = 0;
        while (!(fn <= fx + 1e-4 * alpha * slope) && cuts < 60) {
            alpha *= 0.5;
            xn = x + alpha * p;
            fn = value(xn);
            ++cuts;
        }
        if (cuts == 60)
            break;
        const Vec gn = gradient(xn);
        const Vec s = xn - x;
        const Vec y = gn - gx;
        const double sy = s.dot(y);
        if (sy > 1e-300) {
            if (!scaled) { // scale the first approximation to the problem
                Hinv *= sy / y.squaredNorm();
                scaled = true;
            }
            const double rho = 1.0 / sy;
            const Mat I = Mat::Identity(n, n);
            Hinv = (I - rho * s * y.transpose()) * Hinv * (I - rho * y * s.transpose())
                   + rho * s * s.transpose();
        }
        const double moved = s.norm();
        x = xn;
        fx = fn;
        gx = gn;
        if (moved < 1e-15 * std::max(1.0, x.norm()))
            break;
    }
    return k;
}

// Largest step along s from x that keeps every constraint satisfied (the
// constraints are linear, so the ratio test is exact).
double largestFeasibleStep(const Vec &x, const Vec &s)
{
    const Vec g = constraints(x);
    const Vec gs = constraintJacobian(x) * s;
    double alpha = std::numeric_limits<double>::infinity();
    for (Eigen::Index i = 0; i < g.size(); ++i)
        if (gs[i] > 1e-14)
            alpha = std::min(alpha, std::max(0.0, -g[i]) / gs[i]);
    return alpha;
}

// Minimises f along x + a s for 0 < a <= aMax by quadratic interpolation from
// f(x), its slope and f(x + aMax s); exact for this quadratic objective.
double lineMinimum(Counter &c, const Vec &x, const Vec &s, double aMax)
{
    const double f0 = c.f(x);
    const double slope = c.df(x).dot(s);
    if (!std::isfinite(aMax))
        aMax = 1e3;
    const double f1 = c.f(x + aMax * s);
    const double curvature = (f1 - f0 - slope * aMax) / (aMax * aMax);
    if (curvature <= 0.0)
        return aMax;
    return std::min(aMax, -slope / (2.0 * curvature));
}

Result makeResult(const QString &solver)
{
    Result r;
    r.solver = solver;
    r.file = fileOf(solver);
    return r;
}

void finish(Result &r, const Vec &x, const Counter &c)
{
    r.x = x;
    r.iterations = int(r.path.size()) - 1;
    r.functionEvaluations = c.values;
    r.gradientEvaluations = c.gradients;
    r.converged = largestViolation(x) < 1e-6;
}

// Multipliers of the fence and water line from the stationarity condition at x,
// when both are active there.
Vec multipliersAt(const Vec &x)
{
    const Mat J = constraintJacobian(x).topRows(2);
    return J.transpose().colPivHouseholderQr().solve(-objectiveGradient(x));
}

// ---- the eleven methods ---------------------------------------------------

Result solveSumt()
{
    Result r = makeResult("SUMT");
    r.method = "Sequential unconstrained minimization (logarithmic interior barrier)";
    r.notes = "Minimises f - r*sum(ln(-g)) for r = 100, 10, ..., 1e-9 (one stage each);\n"
              "each stage by Newton's method (Hessian shifted to be positive definite)\n"
              "with a backtracking line search that stays strictly feasible.";
    Counter c;
    SmoothObjective phi{[&](const Vec &x) { return c.f(x); },
                        [&](const Vec &x) { return c.df(x); },
                        [](const Vec &) {
                            Mat H(2, 2);
                            H << 0, -1, -1, 0;
                            return H;
                        }};
    Vec x = start();
    r.path.push_back(iterateAt(x));
    for (double rb = 100.0; rb >= 1e-9 * 0.999; rb /= 10.0) {
        barrierStage(phi, x, rb);
        r.path.push_back(iterateAt(x));
    }
    // The barrier's multiplier estimates -r/gi of the final stage.
    finish(r, x, c);
    r.multipliers = multipliersAt(x);
    return r;
}

Result solveScp()
{
    Result r = makeResult("SCP");
    r.method = "Sequential convex programming (convex linearization, CONLIN)";
    r.notes = "Each step replaces f by its convex linearization: linear in 1/x_i where\n"
              "df/dx_i < 0, linear in x_i otherwise (the constraints are linear and kept);\n"
              "the convex sub-problem is solved by the logarithmic barrier method.";
    Counter c;
    Vec x = start();
    r.path.push_back(iterateAt(x));
    for (int k = 0; k < 100; ++k) {
        const Vec x0 = x;
        const Vec grad = c.df(x0);
        const double f0 = c.f(x0);
        // Approximation terms: reciprocal (coefficient ci, ci/x) or direct (slope).
        Vec coef(2);
        std::vector<bool> reciprocal(2);
        for (int i = 0; i < 2; ++i) {
            reciprocal[i] = grad[i] < 0.0;
            coef[i] = reciprocal[i] ? -grad[i] * x0[i] * x0[i] : grad[i];
        }
        SmoothObjective approx{[=](const Vec &y) {
                                   double v = f0;
                                   for (int i = 0; i < 2; ++i)
                                       v += reciprocal[i] ? coef[i] * (1.0 / y[i] - 1.0 / x0[i])
                                                          : coef[i] * (y[i] - x0[i]);
                                   return v;
                               },
                               [=](const Vec &y) {
                                   Vec gr(2);
                                   for (int i = 0; i < 2; ++i)
                                       gr[i] = reciprocal[i] ? -coef[i] / (y[i] * y[i]) : coef[i];
                                   return gr;
                               },
                               [=](const Vec &y) {
                                   Mat H = Mat::Zero(2, 2);
                                   for (int i = 0; i < 2; ++i)
                                       if (reciprocal[i])
                                           H(i, i) = 2.0 * coef[i] / (y[i] * y[i] * y[i]);
                                   return H;
                               }};
        // The sub-problem starts from a strictly feasible point near x0.
        Vec y = x0;
        const Vec g = constraints(y);
        if ((g.array() > -1e-6).any())
            y = 0.999 * x0 + 0.001 * start();
        for (double rb = 1.0; rb >= 1e-12 * 0.999; rb /= 10.0)
            barrierStage(approx, y, rb);
        x = y;
        r.path.push_back(iterateAt(x));
        if ((x - x0).norm() < 1e-8)
            break;
    }
    finish(r, x, c);
    r.multipliers = multipliersAt(x);
    return r;
}

Result solveAlm()
{
    Result r = makeResult("ALM");
    r.method = "Augmented Lagrange multiplier method";
    r.notes = "LA = f + (1/2rho) sum(max(0, lambda_i + rho g_i)^2 - lambda_i^2), rho = 100;\n"
              "each outer iteration minimises LA by BFGS, then lambda_i := max(0, lambda_i\n"
              "+ rho g_i).";
    Counter c;
    const double rho = 100.0;
    Vec lambda = Vec::Zero(ConstraintCount);
    Vec x = start();
    r.path.push_back(iterateAt(x));
    auto value = [&](const Vec &y) {
        const Vec g = c.g(y);
        double v = c.f(y);
        for (int i = 0; i < ConstraintCount; ++i)
            v += (std::pow(std::max(0.0, lambda[i] + rho * g[i]), 2) - lambda[i] * lambda[i])
                 / (2.0 * rho);
        return v;
    };
    auto gradient = [&](const Vec &y) {
        const Vec g = constraints(y);
        const Mat J = constraintJacobian(y);
        Vec gr = c.df(y);
        for (int i = 0; i < ConstraintCount; ++i)
            gr += std::max(0.0, lambda[i] + rho * g[i]) * J.row(i).transpose();
        return gr;
    };
    for (int k = 0; k < 200; ++k) {
        bfgsMinimise(value, gradient, x, 1e-11);
        const Vec g = constraints(x);
        Vec next(ConstraintCount);
        for (int i = 0; i < ConstraintCount; ++i)
            next[i] = std::max(0.0, lambda[i] + rho * g[i]);
        const double change = (next - lambda).lpNorm<Eigen::Infinity>();
        lambda = next;
        r.path.push_back(iterateAt(x));
        if (change < 1e-9 && largestViolation(x) < 1e-9)
            break;
    }
    finish(r, x, c);
    r.multipliers = lambda.head(2);
    return r;
}

// Active-set bookkeeping for the feasible-direction methods.
std::vector<int> activeSet(const Vec &x, double eps)
{
    std::vector<int> active;
    const Vec g = constraints(x);
    for (int i = 0; i < ConstraintCount; ++i)
        if (g[i] >= -eps)
            active.push_back(i);
    return active;
}

Result solveMmfd()
{
    Result r = makeResult("MMFD");
    r.method = "Modified method of feasible directions";
    r.notes = "Steepest descent projected onto the active constraints (zero push-off), a\n"
              "line search up to the next constraint, a return to the active constraints,\n"
              "and a constraint dropped when its multiplier turns negative.";
    Counter c;
    Vec x = start();
    r.path.push_back(iterateAt(x));
    std::vector<int> active = activeSet(x, 1e-9);
    for (int k = 0; k < 200; ++k) {
        const Vec grad = c.df(x);
        const Mat Jall = constraintJacobian(x);
        Mat N(Eigen::Index(active.size()), 2);
        for (std::size_t i = 0; i < active.size(); ++i)
            N.row(Eigen::Index(i)) = Jall.row(active[i]);
        Vec s = -grad;
        Vec u;
        if (!active.empty()) {
            const Mat NNt = N * N.transpose();
            u = -NNt.ldlt().solve(N * grad);
            s = -(grad + N.transpose() * u);
        }
        if (s.norm() < 1e-9 * std::max(1.0, grad.norm())) {
            if (active.empty())
                break;
            Eigen::Index worst = 0;
            const double most = u.minCoeff(&worst);
            if (most >= -1e-12)
                break; // Kuhn-Tucker point
            active.erase(active.begin() + worst);
            continue;
        }
        const double aMax = largestFeasibleStep(x, s);
        const double a = lineMinimum(c, x, s, aMax);
        x += a * s;
        // Return to the active constraints (a no-op up to rounding for linear ones).
        if (!active.empty()) {
            Vec ga(Eigen::Index(active.size()));
            const Vec g = c.g(x);
            for (std::size_t i = 0; i < active.size(); ++i)
                ga[Eigen::Index(i)] = g[active[i]];
            x -= N.transpose() * (N * N.transpose()).ldlt().solve(ga);
        }
        r.path.push_back(iterateAt(x));
        for (int i : activeSet(x, 1e-9))
            if (std::find(active.begin(), active.end(), i) == active.end())
                active.push_back(i);
        std::sort(active.begin(), active.end());
    }
    finish(r, x, c);
    r.multipliers = multipliersAt(x);
    return r;
}

// Convex QP: minimise g.p + p'Bp/2 subject to A p <= b, by checking each candidate
// active set of at most n constraints; returns p and the multipliers.
std::pair<Vec, Vec> solveSmallQp(const Mat &B, const Vec &grad, const Mat &A, const Vec &b)
{
    const Eigen::Index n = grad.size(), m = A.rows();
    double best = std::numeric_limits<double>::infinity();
    Vec bestP = Vec::Zero(n), bestMu = Vec::Zero(m);
    std::vector<int> set;
    std::function<void(int)> visit = [&](int from) {
        const Eigen::Index k = Eigen::Index(set.size());
        Mat K = Mat::Zero(n + k, n + k);
        Vec rhs(n + k);
        K.topLeftCorner(n, n) = B;
        rhs.head(n) = -grad;
        for (Eigen::Index i = 0; i < k; ++i) {
            K.block(n + i, 0, 1, n) = A.row(set[std::size_t(i)]);
            K.block(0, n + i, n, 1) = A.row(set[std::size_t(i)]).transpose();
            rhs[n + i] = b[set[std::size_t(i)]];
        }
        Eigen::FullPivLU<Mat> lu(K);
        if (lu.isInvertible()) {
            const Vec sol = lu.solve(rhs);
            const Vec p = sol.head(n);
            const Vec mu = sol.tail(k);
            const bool feasible = ((A * p - b).array() <= 1e-9).all();
            const bool dual = k == 0 || (mu.array() >= -1e-12).all();
            const double q = grad.dot(p) + 0.5 * p.dot(B * p);
            if (feasible && dual && q < best - 1e-15) {
                best = q;
                bestP = p;
                bestMu.setZero();
                for (Eigen::Index i = 0; i < k; ++i)
                    bestMu[set[std::size_t(i)]] = mu[i];
            }
        }
        if (k == n)
            return;
        for (int j = from; j < int(m); ++j) {
            set.push_back(j);
            visit(j + 1);
            set.pop_back();
        }
    };
    visit(0);
    return {bestP, bestMu};
}

Result solveSqp()
{
    Result r = makeResult("SQP");
    r.method = "Sequential quadratic programming";
    r.notes = "Quadratic sub-problem with a BFGS approximation of the Lagrangian's Hessian\n"
              "(Powell's damping), solved exactly over its candidate active sets; step\n"
              "length by backtracking on the L1 exact-penalty merit function.";
    Counter c;
    Vec x = start();
    r.path.push_back(iterateAt(x));
    Mat B = Mat::Identity(2, 2);
    Vec mu = Vec::Zero(ConstraintCount);
    double sigma = 1.0;
    auto merit = [&](const Vec &y) { return c.f(y) + sigma * c.g(y).cwiseMax(0.0).sum(); };
    for (int k = 0; k < 200; ++k) {
        const Vec grad = c.df(x);
        const Vec g = c.g(x);
        const Mat J = constraintJacobian(x);
        const auto [p, muNew] = solveSmallQp(B, grad, J, -g);
        mu = muNew;
        sigma = std::max(sigma, 1.5 * mu.maxCoeff());
        if (p.norm() < 1e-11 && largestViolation(x) < 1e-11)
            break;
        const double m0 = merit(x);
        const double slope = grad.dot(p) - sigma * g.cwiseMax(0.0).sum();
        double alpha = 1.0;
        while (!(merit(x + alpha * p) <= m0 + 1e-4 * alpha * slope) && alpha > 1e-12)
            alpha *= 0.5;
        const Vec xn = x + alpha * p;
        // Damped BFGS update of the Lagrangian's Hessian.
        const Vec s = xn - x;
        const Vec gradN = c.df(xn);
        const Vec y = (gradN + J.transpose() * mu) - (grad + J.transpose() * mu);
        const double sBs = s.dot(B * s);
        if (sBs > 1e-300) {
            const double sy = s.dot(y);
            const double theta = sy >= 0.2 * sBs ? 1.0 : 0.8 * sBs / (sBs - sy);
            const Vec yd = theta * y + (1.0 - theta) * B * s;
            B += yd * yd.transpose() / s.dot(yd) - (B * s) * (B * s).transpose() / sBs;
        }
        x = xn;
        r.path.push_back(iterateAt(x));
        if (s.norm() < 1e-12)
            break;
    }
    finish(r, x, c);
    r.multipliers = mu.head(2);
    return r;
}

Result solveMfd()
{
    Result r = makeResult("MFD");
    r.method = "Method of feasible directions (Zoutendijk)";
    r.notes = "Direction from the linear programme max beta s.t. grad(f).s + beta <= 0,\n"
              "grad(g_j).s + beta <= 0 for the eps-active constraints, -1 <= s_i <= 1;\n"
              "line search along s kept feasible; eps divided by 10 when beta vanishes.";
    Counter c;
    Vec x = start();
    r.path.push_back(iterateAt(x));
    double eps = 1.0;
    for (int k = 0; k < 500; ++k) {
        const std::vector<int> active = activeSet(x, eps);
        const Vec grad = c.df(x);
        const Mat Jall = constraintJacobian(x);
        // Unknowns (s1, s2, beta); rows: objective, active constraints, box, beta <= 1.
        const Eigen::Index rows = 1 + Eigen::Index(active.size()) + 5;
        Mat A = Mat::Zero(rows, 3);
        Vec b = Vec::Zero(rows);
        // Scale the gradients so that beta compares like with like.
        A.block(0, 0, 1, 2) = grad.transpose() / std::max(1e-12, grad.norm());
        A(0, 2) = 1.0;
        Eigen::Index row = 1;
        for (int i : active) {
            A.block(row, 0, 1, 2) = Jall.row(i) / Jall.row(i).norm();
            A(row, 2) = 1.0;
            ++row;
        }
        for (int i = 0; i < 2; ++i) {
            A(row, i) = 1.0;
            b[row++] = 1.0;
            A(row, i) = -1.0;
            b[row++] = 1.0;
        }
        A(row, 2) = 1.0;
        b[row] = 1.0;
        Vec cost = Vec::Zero(3);
        cost[2] = 1.0;
        const Vec sol = solveSmallLp(cost, A, b);
        const double beta = sol[2];
        if (beta <= 1e-10) {
            if (eps <= 1e-10)
                break;
            eps /= 10.0;
            continue;
        }
        const Vec s = sol.head(2);
        const double aMax = largestFeasibleStep(x, s);
        const double a = lineMinimum(c, x, s, aMax);
        x += a * s;
        r.path.push_back(iterateAt(x));
    }
    finish(r, x, c);
    r.multipliers = multipliersAt(x);
    return r;
}

// Penalty continuation shared by SIMPLEX, PATTERN and BFGS: r = 10, 100, ..., 1e10.
template<typename Minimise>
Vec penaltySequence(Result &r, Counter &c, Minimise minimise)
{
    Vec x = start();
    r.path.push_back(iterateAt(x));
    for (double rp = 10.0; rp <= 1e10 * 1.001; rp *= 10.0) {
        minimise(x, rp, rp == 10.0);
        r.path.push_back(iterateAt(x));
    }
    (void)c;
    return x;
}

void nelderMead(const std::function<double(const Vec &)> &fn, Vec &x, double size)
{
    std::vector<Vec> p = {x, x, x};
    p[1][0] += size;
    p[2][1] += size;
    std::vector<double> v = {fn(p[0]), fn(p[1]), fn(p[2])};
    for (int it = 0; it < 5000; ++it) {
        std::array<int, 3> order = {0, 1, 2};
        std::sort(order.begin(), order.end(), [&](int a, int b) { return v[a] < v[b]; });
        const int best = order[0], mid = order[1], worst = order[2];
        const double extent = std::max((p[mid] - p[best]).norm(), (p[worst] - p[best]).norm());
        if (extent < 1e-11 * std::max(1.0, p[best].norm()))
            break;
        const Vec centre = 0.5 * (p[best] + p[mid]);
        const Vec xr = centre + (centre - p[worst]);
        const double vr = fn(xr);
        if (vr < v[best]) {
            const Vec xe = centre + 2.0 * (centre - p[worst]);
            const double ve = fn(xe);
            if (ve < vr) {
                p[worst] = xe;
                v[worst] = ve;
            } else {
                p[worst] = xr;
                v[worst] = vr;
            }
        } else if (vr < v[mid]) {
            p[worst] = xr;
            v[worst] = vr;
        } else {
            const bool outside = vr < v[worst];
            const Vec xc = outside ? Vec(centre + 0.5 * (xr - centre))
                                   : Vec(centre + 0.5 * (p[worst] - centre));
            const double vc = fn(xc);
            if (vc < std::min(vr, v[worst])) {
                p[worst] = xc;
                v[worst] = vc;
            } else { // shrink towards the best vertex
                for (int i : {mid, worst}) {
                    p[i] = p[best] + 0.5 * (p[i] - p[best]);
                    v[i] = fn(p[i]);
                }
            }
        }
    }
    int best = 0;
    for (int i = 1; i < 3; ++i)
        if (v[i] < v[best])
            best = i;
    x = p[best];
}

Result solveSimplex()
{
    Result r = makeResult("SIMPLEX");
    r.method = "Nelder-Mead downhill simplex on an exterior penalty";
    r.notes = "Minimises f + r*sum(max(0, g)^2) for r = 10, 100, ..., 1e10, each stage\n"
              "started from the last result with a fresh simplex (edge 5 m, then 0.1 m);\n"
              "reflection 1, expansion 2, contraction 0.5, shrink 0.5.";
    Counter c;
    const Vec x = penaltySequence(r, c, [&](Vec &y, double rp, bool first) {
        nelderMead([&](const Vec &z) { return penalty(c, z, rp); }, y, first ? 5.0 : 0.1);
    });
    finish(r, x, c);
    return r;
}

void hookeJeeves(const std::function<double(const Vec &)> &fn, Vec &x, double step)
{
    auto explore = [&](Vec base, double &value) {
        for (int i = 0; i < base.size(); ++i) {
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
        }
        return base;
    };
    double fx = fn(x);
    while (step > 1e-11) {
        double fe = fx;
        Vec xe = explore(x, fe);
        if (fe < fx) {
            // Pattern moves while they keep paying off.
            for (int moves = 0; moves < 100000; ++moves) {
                const Vec pattern = xe + (xe - x);
                x = xe;
                fx = fe;
                double fp = fn(pattern);
                const Vec xp = explore(pattern, fp);
                if (fp < fx) {
                    xe = xp;
                    fe = fp;
                } else {
                    break;
                }
            }
        } else {
            step *= 0.5;
        }
    }
}

Result solvePattern()
{
    Result r = makeResult("PATTERN");
    r.method = "Hooke-Jeeves pattern search on an exterior penalty";
    r.notes = "Minimises f + r*sum(max(0, g)^2) for r = 10, 100, ..., 1e10; exploratory\n"
              "moves along the axes, pattern moves while they pay, the step halved when\n"
              "nothing improves (5 m at first, 0.1 m in later stages, down to 1e-11 m).";
    Counter c;
    const Vec x = penaltySequence(r, c, [&](Vec &y, double rp, bool first) {
        hookeJeeves([&](const Vec &z) { return penalty(c, z, rp); }, y, first ? 5.0 : 0.1);
    });
    finish(r, x, c);
    return r;
}

Result solveSlp()
{
    Result r = makeResult("SLP");
    r.method = "Sequential linear programming with move limits";
    r.notes = "Each step minimises the linearized f subject to the linearized constraints\n"
              "and |dx_i| <= m; m starts at 10 m and is halved whenever a step would not\n"
              "lower f + 100*sum(max(0, g)).";
    Counter c;
    Vec x = start();
    r.path.push_back(iterateAt(x));
    double moveLimit = 10.0;
    const double sigma = 100.0;
    auto merit = [&](const Vec &y) { return c.f(y) + sigma * c.g(y).cwiseMax(0.0).sum(); };
    for (int k = 0; k < 500 && moveLimit > 1e-10; ++k) {
        const Vec grad = c.df(x);
        const Vec g = c.g(x);
        const Mat J = constraintJacobian(x);
        Mat A(ConstraintCount + 4, 2);
        Vec b(ConstraintCount + 4);
        A.topRows(ConstraintCount) = J;
        b.head(ConstraintCount) = -g;
        A.bottomRows(4) << 1, 0, -1, 0, 0, 1, 0, -1;
        b.tail(4).setConstant(moveLimit);
        const Vec dx = solveSmallLp(-grad, A, b);
        if (dx.norm() < 1e-10)
            break;
        if (merit(x + dx) < merit(x)) {
            x += dx;
            r.path.push_back(iterateAt(x));
        } else {
            moveLimit *= 0.5;
        }
    }
    finish(r, x, c);
    r.multipliers = multipliersAt(x);
    return r;
}

Result solveGrg()
{
    Result r = makeResult("GRG");
    r.method = "Generalized reduced gradient";
    r.notes = "Slacks s1, s2 >= 0 turn the fence and water line into equalities\n"
              "w + 2d + s1 = 100, d sin30 + s2 = 10; the two variables farthest from their\n"
              "bounds are basic, the reduced gradient moves the others, the basic ones are\n"
              "restored from the equalities, the line search stays within the bounds.";
    Counter c;
    // z = (w, d, s1, s2); A z = b; lo <= z <= hi.
    Mat A(2, 4);
    A << 1, 2, 1, 0, 0, SinSlope, 0, 1;
    Vec b(2);
    b << FenceLength, MaxRise;
    const Vec lo = Vec::Zero(4);
    Vec hi(4);
    hi << 100.0, 50.0, 1e30, 1e30;
    Vec z(4);
    z << StartW, StartD, 0, 0;
    z.tail(2) = b - A.leftCols(2) * z.head(2);
    r.path.push_back(iterateAt(z.head(2)));
    auto fz = [&](const Vec &v) { return c.f(v.head(2)); };
    auto gradz = [&](const Vec &v) {
        Vec gr = Vec::Zero(4);
        gr.head(2) = c.df(v.head(2));
        return gr;
    };
    for (int k = 0; k < 200; ++k) {
        // Basic variables: the two farthest from their bounds with an invertible basis.
        std::array<int, 4> order = {0, 1, 2, 3};
        auto room = [&](int i) { return std::min(z[i] - lo[i], hi[i] - z[i]); };
        std::stable_sort(
            order.begin(), order.end(), [&](int a, int b2) { return room(a) > room(b2); });
        std::array<int, 2> basic = {-1, -1};
        for (int i = 0; i < 4 && basic[1] < 0; ++i)
            for (int j = i + 1; j < 4 && basic[1] < 0; ++j) {
                Mat Bm(2, 2);
                Bm << A.col(order[i]), A.col(order[j]);
                if (std::abs(Bm.determinant()) > 1e-9)
                    basic = {order[i], order[j]};
            }
        std::vector<int> nonbasic;
        for (int i = 0; i < 4; ++i)
            if (i != basic[0] && i != basic[1])
                nonbasic.push_back(i);
        Mat Bm(2, 2), Nm(2, 2);
        Bm << A.col(basic[0]), A.col(basic[1]);
        Nm << A.col(nonbasic[0]), A.col(nonbasic[1]);
        const Mat BinvN = Bm.partialPivLu().solve(Nm);
        const Vec gr = gradz(z);
        Vec gB(2), gN(2);
        gB << gr[basic[0]], gr[basic[1]];
        gN << gr[nonbasic[0]], gr[nonbasic[1]];
        const Vec reduced = gN - BinvN.transpose() * gB;
        Vec dN = -reduced;
        for (int i = 0; i < 2; ++i) {
            const int v = nonbasic[std::size_t(i)];
            if ((z[v] <= lo[v] + 1e-12 && dN[i] < 0) || (z[v] >= hi[v] - 1e-12 && dN[i] > 0))
                dN[i] = 0.0;
        }
        if (dN.norm() < 1e-10)
            break;
        const Vec dB = -BinvN * dN;
        Vec d = Vec::Zero(4);
        d[basic[0]] = dB[0];
        d[basic[1]] = dB[1];
        d[nonbasic[0]] = dN[0];
        d[nonbasic[1]] = dN[1];
        double aMax = std::numeric_limits<double>::infinity();
        for (int i = 0; i < 4; ++i) {
            if (d[i] < -1e-15)
                aMax = std::min(aMax, (z[i] - lo[i]) / -d[i]);
            else if (d[i] > 1e-15)
                aMax = std::min(aMax, (hi[i] - z[i]) / d[i]);
        }
        const double f0 = fz(z);
        const double slope = gr.dot(d);
        const double f1 = fz(z + aMax * d);
        const double curvature = (f1 - f0 - slope * aMax) / (aMax * aMax);
        const double a = curvature <= 0.0 ? aMax : std::min(aMax, -slope / (2.0 * curvature));
        z += a * d;
        z = z.cwiseMax(lo).cwiseMin(hi);
        // Restore the basic variables from the equalities.
        Vec rest = b;
        for (int i : nonbasic)
            rest -= A.col(i) * z[i];
        const Vec zB = Bm.partialPivLu().solve(rest);
        z[basic[0]] = zB[0];
        z[basic[1]] = zB[1];
        r.path.push_back(iterateAt(z.head(2)));
    }
    const Vec x = z.head(2);
    finish(r, x, c);
    r.multipliers = multipliersAt(x);
    return r;
}

Result solveBfgs()
{
    Result r = makeResult("BFGS");
    r.method = "Quasi-Newton BFGS on an exterior penalty";
    r.notes = "Minimises f + r*sum(max(0, g)^2) for r = 10, 100, ..., 1e10 by BFGS\n"
              "(inverse-Hessian update, Armijo backtracking line search), each stage\n"
              "started from the last result.";
    Counter c;
    const Vec x = penaltySequence(r, c, [&](Vec &y, double rp, bool) {
        bfgsMinimise([&](const Vec &z) { return penalty(c, z, rp); },
                     [&](const Vec &z) { return penaltyGradient(c, z, rp); },
                     y,
                     1e-9 * rp);
    });
    finish(r, x, c);
    return r;
}

} // namespace

double objective(const Vec &x)
{
    return -x[0] * x[1];
}

Vec objectiveGradient(const Vec &x)
{
    Vec g(2);
    g << -x[1], -x[0];
    return g;
}

Vec constraints(const Vec &x)
{
    Vec g(ConstraintCount);
    g << x[0] + 2.0 * x[1] - FenceLength, x[1] * SinSlope - MaxRise, -x[0], -x[1], x[0] - 100.0,
        x[1] - 50.0;
    return g;
}

Mat constraintJacobian(const Vec &)
{
    Mat J(ConstraintCount, 2);
    J << 1, 2, 0, SinSlope, -1, 0, 0, -1, 1, 0, 0, 1;
    return J;
}

QStringList constraintNames()
{
    return {"fence  w + 2d - 100",
            "water line  d sin30 - 10",
            "w >= 0",
            "d >= 0",
            "w <= 100",
            "d <= 50"};
}

double largestViolation(const Vec &x)
{
    return std::max(0.0, constraints(x).maxCoeff());
}

QStringList solverNames()
{
    return {"SUMT", "SCP", "ALM", "MMFD", "SQP", "MFD", "SIMPLEX", "PATTERN", "SLP", "GRG", "BFGS"};
}

QString fileOf(const QString &solver)
{
    static const QStringList files = {"hb1sumt",
                                      "hb1scp",
                                      "hb1alm",
                                      "hb1mmfd",
                                      "hb1sqp",
                                      "hb1mfd",
                                      "hb1nms",
                                      "hb1hj",
                                      "hb1slp",
                                      "hb1grg",
                                      "hb1bfgs"};
    const qsizetype i = solverNames().indexOf(solver);
    return i < 0 ? QString() : files.at(i);
}

Result solve(const QString &solver)
{
    if (solver == "SUMT")
        return solveSumt();
    if (solver == "SCP")
        return solveScp();
    if (solver == "ALM")
        return solveAlm();
    if (solver == "MMFD")
        return solveMmfd();
    if (solver == "SQP")
        return solveSqp();
    if (solver == "MFD")
        return solveMfd();
    if (solver == "SIMPLEX")
        return solveSimplex();
    if (solver == "PATTERN")
        return solvePattern();
    if (solver == "SLP")
        return solveSlp();
    if (solver == "GRG")
        return solveGrg();
    if (solver == "BFGS")
        return solveBfgs();
    throw std::invalid_argument("unknown optimiser " + solver.toStdString());
}

Vec solveSmallLp(const Vec &c, const Mat &A, const Vec &b)
{
    const Eigen::Index n = c.size(), m = A.rows();
    double best = -std::numeric_limits<double>::infinity();
    Vec bestX = Vec::Zero(n);
    std::vector<int> rows;
    std::function<void(int)> visit = [&](int from) {
        if (Eigen::Index(rows.size()) == n) {
            Mat M(n, n);
            Vec rhs(n);
            for (Eigen::Index i = 0; i < n; ++i) {
                M.row(i) = A.row(rows[std::size_t(i)]);
                rhs[i] = b[rows[std::size_t(i)]];
            }
            Eigen::FullPivLU<Mat> lu(M);
            if (!lu.isInvertible())
                return;
            const Vec x = lu.solve(rhs);
            const double scale = 1e-9 * std::max(1.0, b.cwiseAbs().maxCoeff());
            if (((A * x - b).array() <= scale).all() && c.dot(x) > best + 1e-14) {
                best = c.dot(x);
                bestX = x;
            }
            return;
        }
        for (int j = from; j < int(m); ++j) {
            rows.push_back(j);
            visit(j + 1);
            rows.pop_back();
        }
    };
    visit(0);
    return bestX;
}

} // namespace kv::corral
