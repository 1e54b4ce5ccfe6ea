#include "Solvers.h"

#include <algorithm>
#include <cmath>

namespace kv {

ScalarRootResult newtonScalar(const std::function<double(double)> &residual,
                              double s0,
                              double tol,
                              int maxIterations,
                              double relStep)
{
    ScalarRootResult result;
    double s = s0;
    double r = residual(s);
    result.history.push_back({s, r});
    for (int k = 0; k < maxIterations && !(std::abs(r) < tol); ++k) {
        const double ds = relStep * std::max(1.0, std::abs(s));
        const double slope = (residual(s + ds) - r) / ds;
        if (slope == 0.0 || !std::isfinite(slope))
            break;
        s -= r / slope;
        r = residual(s);
        result.history.push_back({s, r});
    }
    result.root = s;
    result.converged = std::abs(r) < tol;
    return result;
}

SystemRootResult newtonSystem(const std::function<Vec(const Vec &)> &F,
                              const std::function<Mat(const Vec &)> &J,
                              const Vec &x0,
                              double tol,
                              int maxIterations,
                              const Iterated &iterated)
{
    SystemRootResult result;
    Vec x = x0;
    Vec fx = F(x);
    result.evaluations = 1;
    result.history.push_back({x, fx});
    for (int k = 0; k < maxIterations && !(fx.lpNorm<Eigen::Infinity>() < tol); ++k) {
        x -= J(x).partialPivLu().solve(fx);
        fx = F(x);
        ++result.evaluations;
        result.history.push_back({x, fx});
        if (iterated)
            iterated(k + 1);
    }
    result.root = x;
    result.converged = fx.lpNorm<Eigen::Infinity>() < tol;
    return result;
}

SystemRootResult broyden(const std::function<Vec(const Vec &)> &F,
                         const Vec &x0,
                         double tol,
                         int maxIterations,
                         double relStep,
                         const Iterated &iterated)
{
    SystemRootResult result;
    const Eigen::Index n = x0.size();
    Vec x = x0;
    Vec fx = F(x);
    result.evaluations = 1;
    result.history.push_back({x, fx});
    Mat B(n, n);
    for (Eigen::Index j = 0; j < n; ++j) {
        Vec xp = x;
        const double h = relStep * std::max(1.0, std::abs(x[j]));
        xp[j] += h;
        B.col(j) = (F(xp) - fx) / h;
        ++result.evaluations;
    }
    for (int k = 0; k < maxIterations && !(fx.lpNorm<Eigen::Infinity>() < tol); ++k) {
        const Vec s = -B.partialPivLu().solve(fx);
        const Vec xn = x + s;
        const Vec fn = F(xn);
        ++result.evaluations;
        const double ss = s.squaredNorm();
        if (ss > 0.0)
            B += ((fn - fx - B * s) * s.transpose()) / ss;
        x = xn;
        fx = fn;
        result.history.push_back({x, fx});
        if (iterated)
            iterated(k + 1);
    }
    result.root = x;
    result.converged = fx.lpNorm<Eigen::Infinity>() < tol;
    return result;
}

LsqResult levenbergMarquardt(const std::function<Vec(const Vec &)> &residuals,
                             const Vec &p0,
                             int maxIterations,
                             double relStep,
                             const Iterated &iterated)
{
    LsqResult result;
    Vec p = p0;
    Vec r = residuals(p);
    result.evaluations = 1;
    double sse = r.squaredNorm();
    result.history.push_back({p, sse});
    double lambda = 1e-3;
    const Eigen::Index n = p.size();
    for (int k = 0; k < maxIterations; ++k) {
        Mat Jm(r.size(), n);
        for (Eigen::Index j = 0; j < n; ++j) {
            Vec pp = p;
            const double h = relStep * std::max(1e-8, std::abs(p[j]));
            pp[j] += h;
            Jm.col(j) = (residuals(pp) - r) / h;
            ++result.evaluations;
        }
        const Mat A = Jm.transpose() * Jm;
        const Vec g = Jm.transpose() * r;
        bool accepted = false;
        bool tinyStep = false;
        for (int tries = 0; tries < 40; ++tries) {
            Mat D = A;
            for (Eigen::Index j = 0; j < n; ++j)
                D(j, j) += lambda * std::max(A(j, j), 1e-300);
            const Vec step = -D.ldlt().solve(g);
            const Vec pn = p + step;
            const Vec rn = residuals(pn);
            ++result.evaluations;
            const double ssen = rn.squaredNorm();
            if (std::isfinite(ssen) && ssen < sse) {
                const double drop = (sse - ssen) / std::max(sse, 1e-300);
                tinyStep = step.norm() <= 1e-12 * std::max(1.0, p.norm());
                p = pn;
                r = rn;
                sse = ssen;
                lambda = std::max(lambda / 10.0, 1e-12);
                accepted = true;
                result.history.push_back({p, sse});
                if (drop < 1e-14)
                    tinyStep = true;
                break;
            }
            lambda *= 10.0;
        }
        if (iterated)
            iterated(k + 1);
        if (!accepted || tinyStep) {
            // No step lowers the sum of squares any more: a minimum to working precision.
            result.converged = true;
            break;
        }
    }
    result.p = p;
    result.residuals = r;
    result.sumOfSquares = sse;
    return result;
}

} // namespace kv
