#include "Integrators.h"

#include <Eigen/Dense>
#include <boost/numeric/odeint/integrate/integrate_const.hpp>
#include <boost/numeric/odeint/stepper/adams_bashforth_moulton.hpp>
#include <boost/numeric/odeint/stepper/controlled_runge_kutta.hpp>
#include <boost/numeric/odeint/stepper/euler.hpp>
#include <boost/numeric/odeint/stepper/runge_kutta4.hpp>
#include <boost/numeric/odeint/stepper/runge_kutta_cash_karp54.hpp>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace odeint = boost::numeric::odeint;

namespace kv {

namespace {

using ControlledCashKarp = odeint::controlled_runge_kutta<odeint::runge_kutta_cash_karp54<State>>;

ControlledCashKarp makeControlled(double absTol, double relTol)
{
    return ControlledCashKarp(
        odeint::default_error_checker<double, odeint::range_algebra, odeint::default_operations>(
            absTol, relTol));
}

// A first step small against the interval and the state's rate of change.
double initialStep(const Rhs &f, const State &y, double t0, double span)
{
    State d(y.size());
    f(y, d, t0);
    double scale = 0.0;
    for (std::size_t i = 0; i < y.size(); ++i)
        scale = std::max(scale, std::abs(d[i]) / (1.0 + std::abs(y[i])));
    double h = span / 100.0;
    if (scale > 0.0)
        h = std::min(h, 0.01 / scale);
    return std::max(h, span * 1e-12);
}

} // namespace

void rkf45Step(const Rhs &f,
               State &y,
               double &t,
               double &h,
               double hMax,
               StepCounts &counts,
               double absTol,
               double relTol)
{
    ControlledCashKarp stepper = makeControlled(absTol, relTol);
    const double suggested = h;
    const bool clipped = h >= hMax;
    double dt = std::min(h, hMax);
    for (int tries = 0; tries < 200; ++tries) {
        const double tStart = t;
        if (stepper.try_step(f, y, t, dt) == odeint::success) {
            ++counts.accepted;
            // A step shortened to land on an output time keeps the longer suggestion.
            h = clipped ? std::max(dt, suggested) : dt;
            return;
        }
        t = tStart;
        ++counts.rejected;
    }
    throw std::runtime_error("RKF45: step size underflow");
}

State rkf45PlainStep(const Rhs &f, const State &y, double t, double h)
{
    odeint::runge_kutta_cash_karp54<State> stepper;
    State out = y;
    stepper.do_step(f, out, t, h);
    return out;
}

StepCounts integrateRkf45(const Rhs &f,
                          State &y,
                          double t0,
                          const std::vector<double> &outputTimes,
                          const Observer &observe,
                          double absTol,
                          double relTol)
{
    StepCounts counts;
    double t = t0;
    if (observe)
        observe(t, y);
    if (outputTimes.empty())
        return counts;
    double h = initialStep(f, y, t0, outputTimes.back() - t0);
    for (const double target : outputTimes) {
        while (t < target) {
            const double remaining = target - t;
            // Avoid a sliver of a step just short of the output time.
            if (remaining <= 1e-13 * std::max(1.0, std::abs(target))) {
                t = target;
                break;
            }
            rkf45Step(f, y, t, h, remaining, counts, absTol, relTol);
            if (std::abs(target - t) <= 1e-13 * std::max(1.0, std::abs(target)))
                t = target;
        }
        if (observe)
            observe(target, y);
    }
    return counts;
}

namespace {

template<typename Stepper>
long fixedSteps(Stepper &stepper,
                const Rhs &f,
                State &y,
                double t0,
                double h,
                long nSteps,
                const Observer &observe,
                long observeEvery)
{
    if (observe)
        observe(t0, y);
    for (long i = 1; i <= nSteps; ++i) {
        // Times are computed from the step number so no rounding error builds up.
        stepper.do_step(f, y, t0 + double(i - 1) * h, h);
        if (observe && i % observeEvery == 0)
            observe(t0 + double(i) * h, y);
    }
    return nSteps;
}

} // namespace

long integrateRk4(const Rhs &f,
                  State &y,
                  double t0,
                  double h,
                  long nSteps,
                  const Observer &observe,
                  long observeEvery)
{
    odeint::runge_kutta4<State> stepper;
    return fixedSteps(stepper, f, y, t0, h, nSteps, observe, observeEvery);
}

long integrateEuler(const Rhs &f,
                    State &y,
                    double t0,
                    double h,
                    long nSteps,
                    const Observer &observe,
                    long observeEvery)
{
    odeint::euler<State> stepper;
    return fixedSteps(stepper, f, y, t0, h, nSteps, observe, observeEvery);
}

long integrateAdams(const Rhs &f,
                    State &y,
                    double t0,
                    double h,
                    long nSteps,
                    const Observer &observe,
                    long observeEvery)
{
    odeint::adams_bashforth_moulton<5, State> stepper;
    return fixedSteps(stepper, f, y, t0, h, nSteps, observe, observeEvery);
}

struct AdamsStepper::Impl
{
    odeint::adams_bashforth_moulton<5, State> stepper;
};

AdamsStepper::AdamsStepper()
    : m_impl(std::make_unique<Impl>())
{}

AdamsStepper::~AdamsStepper() = default;

void AdamsStepper::step(const Rhs &f, State &y, double t, double h)
{
    m_impl->stepper.do_step(f, y, t, h);
}

namespace {

// Coefficients of the Rosenbrock method RODAS (Hairer and Wanner, order 4 with an
// embedded order-3 error estimate, L-stable), in the form Boost.Odeint's
// rosenbrock4 also uses.
struct Rodas
{
    static constexpr double gamma = 0.25;
    static constexpr double d1 = 0.25, d2 = -0.1043, d3 = 0.1035, d4 = -0.3620000000000023e-01;
    static constexpr double c2 = 0.386, c3 = 0.21, c4 = 0.63;
    static constexpr double c21 = -0.5668800000000000e+01;
    static constexpr double a21 = 0.1544000000000000e+01;
    static constexpr double c31 = -0.2430093356833875e+01, c32 = -0.2063599157091915e+00;
    static constexpr double a31 = 0.9466785280815826e+00, a32 = 0.2557011698983284e+00;
    static constexpr double c41 = -0.1073529058151375e+00, c42 = -0.9594562251023355e+01,
                            c43 = -0.2047028614809616e+02;
    static constexpr double a41 = 0.3314825187068521e+01, a42 = 0.2896124015972201e+01,
                            a43 = 0.9986419139977817e+00;
    static constexpr double c51 = 0.7496443313967647e+01, c52 = -0.1024680431464352e+02,
                            c53 = -0.3399990352819905e+02, c54 = 0.1170890893206160e+02;
    static constexpr double a51 = 0.1221224509226641e+01, a52 = 0.6019134481288629e+01,
                            a53 = 0.1253708332932087e+02, a54 = -0.6878860361058950e+00;
    static constexpr double c61 = 0.8083246795921522e+01, c62 = -0.7981132988064893e+01,
                            c63 = -0.3152159432874371e+02, c64 = 0.1631930543123136e+02,
                            c65 = -0.6058818238834054e+01;
};

using EVec = Eigen::VectorXd;

// One Rosenbrock step from (t, x) of length h: the new state and its error estimate.
void rodasStep(
    const Rhs &f, const Jacobian &jac, const State &x, double t, double h, State &xout, State &xerr)
{
    const auto n = Eigen::Index(x.size());
    State d(x.size()), dfdt(x.size()), tmp(x.size());
    std::vector<double> jm(x.size() * x.size());
    f(x, d, t);
    jac(x, jm, t, dfdt);
    Eigen::MatrixXd M(n, n);
    for (Eigen::Index i = 0; i < n; ++i)
        for (Eigen::Index j = 0; j < n; ++j)
            M(i, j) = -jm[std::size_t(i * n + j)] + (i == j ? 1.0 / (Rodas::gamma * h) : 0.0);
    const Eigen::PartialPivLU<Eigen::MatrixXd> lu(M);
    const Eigen::Map<const EVec> X(x.data(), n);
    const Eigen::Map<const EVec> Ft(dfdt.data(), n);
    auto rhsAt = [&](const EVec &y, double tt) {
        for (Eigen::Index i = 0; i < n; ++i)
            tmp[std::size_t(i)] = y[i];
        State out(x.size());
        f(tmp, out, tt);
        return EVec(Eigen::Map<const EVec>(out.data(), n));
    };
    const EVec g1 = lu.solve(Eigen::Map<const EVec>(d.data(), n) + h * Rodas::d1 * Ft);
    const EVec g2 = lu.solve(rhsAt(X + Rodas::a21 * g1, t + Rodas::c2 * h) + h * Rodas::d2 * Ft
                             + Rodas::c21 * g1 / h);
    const EVec g3 = lu.solve(rhsAt(X + Rodas::a31 * g1 + Rodas::a32 * g2, t + Rodas::c3 * h)
                             + h * Rodas::d3 * Ft + (Rodas::c31 * g1 + Rodas::c32 * g2) / h);
    const EVec g4 = lu.solve(
        rhsAt(X + Rodas::a41 * g1 + Rodas::a42 * g2 + Rodas::a43 * g3, t + Rodas::c4 * h)
        + h * Rodas::d4 * Ft + (Rodas::c41 * g1 + Rodas::c42 * g2 + Rodas::c43 * g3) / h);
    const EVec x5 = X + Rodas::a51 * g1 + Rodas::a52 * g2 + Rodas::a53 * g3 + Rodas::a54 * g4;
    const EVec g5
        = lu.solve(rhsAt(x5, t + h)
                   + (Rodas::c51 * g1 + Rodas::c52 * g2 + Rodas::c53 * g3 + Rodas::c54 * g4) / h);
    const EVec x6 = x5 + g5;
    const EVec err = lu.solve(
        rhsAt(x6, t + h)
        + (Rodas::c61 * g1 + Rodas::c62 * g2 + Rodas::c63 * g3 + Rodas::c64 * g4 + Rodas::c65 * g5)
              / h);
    const EVec out = x6 + err;
    xout.assign(out.data(), out.data() + n);
    xerr.assign(err.data(), err.data() + n);
}

} // namespace

StepCounts integrateStiff(const Rhs &f,
                          const Jacobian &jac,
                          State &y,
                          double t0,
                          const std::vector<double> &outputTimes,
                          const Observer &observe,
                          double absTol,
                          double relTol)
{
    StepCounts counts;
    double t = t0;
    if (observe)
        observe(t, y);
    if (outputTimes.empty())
        return counts;
    double h = 1e-6 * std::max(1.0, outputTimes.front() - t0);
    State xnew(y.size()), xerr(y.size());
    for (const double target : outputTimes) {
        while (t < target) {
            const double remaining = target - t;
            if (remaining <= 1e-13 * std::max(1.0, std::abs(target))) {
                t = target;
                break;
            }
            const bool clipped = h >= remaining;
            const double suggested = h;
            double dt = std::min(h, remaining);
            for (int tries = 0;; ++tries) {
                if (tries > 200)
                    throw std::runtime_error("GEAR: step size underflow");
                rodasStep(f, jac, y, t, dt, xnew, xerr);
                double err = 0.0;
                for (std::size_t i = 0; i < y.size(); ++i) {
                    const double sk = absTol + relTol * std::max(std::abs(y[i]), std::abs(xnew[i]));
                    err += xerr[i] * xerr[i] / (sk * sk);
                }
                err = std::sqrt(err / double(y.size()));
                if (!(err <= 1.0)) { // also catches a step that overflowed
                    ++counts.rejected;
                    dt *= std::isfinite(err) ? std::max(0.9 * std::pow(err, -1.0 / 3.0), 0.2) : 0.2;
                    continue;
                }
                ++counts.accepted;
                t += dt;
                y = xnew;
                const double grow = 0.9 * std::pow(std::max(err, std::pow(5.0, -4.0)), -0.25);
                const double next = dt * grow;
                h = clipped ? std::max(next, suggested) : next;
                break;
            }
            if (std::abs(target - t) <= 1e-13 * std::max(1.0, std::abs(target)))
                t = target;
        }
        if (observe)
            observe(target, y);
    }
    return counts;
}

} // namespace kv
