#pragma once

#include <functional>
#include <memory>
#include <vector>

// The integrators behind the catalogue's solver names, on a plain vector state.
// RKF45, RK4, EULER, ADAMS and GEAR all take the same right-hand side.
namespace kv {

using State = std::vector<double>;
using Rhs = std::function<void(const State &y, State &dydt, double t)>;
// Row-major Jacobian dfi/dyj (n*n entries) and the partial derivative df/dt.
using Jacobian = std::function<void(const State &y, std::vector<double> &J, double t, State &dfdt)>;
// Called at the start and at every requested output time.
using Observer = std::function<void(double t, const State &y)>;

struct StepCounts
{
    long accepted = 0;
    long rejected = 0;
};

// Embedded Runge-Kutta 4(5) pair (Cash-Karp) with step control. Integrates y from
// t0 through every time of outputTimes (ascending, each > t0) and lands on each exactly.
StepCounts integrateRkf45(const Rhs &f,
                          State &y,
                          double t0,
                          const std::vector<double> &outputTimes,
                          const Observer &observe,
                          double absTol = 1e-8,
                          double relTol = 1e-8);

// One adaptive RKF45 step from t, at most hMax long. On return t and y are advanced
// and h holds the suggested next step. Counts go to counts.
void rkf45Step(const Rhs &f,
               State &y,
               double &t,
               double &h,
               double hMax,
               StepCounts &counts,
               double absTol = 1e-8,
               double relTol = 1e-8);

// One plain (uncontrolled) step of the Cash-Karp pair's fifth-order solution; used
// to locate events inside an accepted step.
State rkf45PlainStep(const Rhs &f, const State &y, double t, double h);

// Fixed-step methods: nSteps steps of size h from t0; observe is called at t0 and
// after every step whose number is a multiple of observeEvery.
long integrateRk4(const Rhs &f,
                  State &y,
                  double t0,
                  double h,
                  long nSteps,
                  const Observer &observe,
                  long observeEvery = 1);
long integrateEuler(const Rhs &f,
                    State &y,
                    double t0,
                    double h,
                    long nSteps,
                    const Observer &observe,
                    long observeEvery = 1);
// Adams-Bashforth-Moulton of order 5 (predictor-corrector), started by RK4.
long integrateAdams(const Rhs &f,
                    State &y,
                    double t0,
                    double h,
                    long nSteps,
                    const Observer &observe,
                    long observeEvery = 1);

// A step-by-step ADAMS integrator for runs that stop on an event.
class AdamsStepper
{
public:
    AdamsStepper();
    ~AdamsStepper();
    AdamsStepper(const AdamsStepper &) = delete;
    AdamsStepper &operator=(const AdamsStepper &) = delete;
    void step(const Rhs &f, State &y, double t, double h);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// The stiff integrator (GEAR): the Rosenbrock method RODAS (order 4, L-stable)
// with step control.
StepCounts integrateStiff(const Rhs &f,
                          const Jacobian &jac,
                          State &y,
                          double t0,
                          const std::vector<double> &outputTimes,
                          const Observer &observe,
                          double absTol,
                          double relTol);

} // namespace kv
