#pragma once

#include <Eigen/Dense>

#include <functional>
#include <vector>

// Root finders and least squares behind NEWTON, BROYDEN and LSQ.
namespace kv {

using Vec = Eigen::VectorXd;
using Mat = Eigen::MatrixXd;

// Told the number of each iteration as it is done (1, 2, ...), so a caller can show
// how far a solver has come; may be empty.
using Iterated = std::function<void(int iteration)>;

struct ScalarIterate
{
    double s = 0.0;        // the unknown
    double residual = 0.0; // R(s)
};

struct ScalarRootResult
{
    double root = 0.0;
    bool converged = false;
    std::vector<ScalarIterate> history; // every iterate, the start first
};

// NEWTON for one unknown (a shooting parameter): s := s - R(s)/R'(s), the
// derivative by a forward difference with step relStep*max(1,|s|); stops when
// |R(s)| < tol.
ScalarRootResult newtonScalar(const std::function<double(double)> &residual,
                              double s0,
                              double tol,
                              int maxIterations = 50,
                              double relStep = 1e-7);

struct SystemIterate
{
    Vec x;
    Vec residual;
};

struct SystemRootResult
{
    Vec root;
    bool converged = false;
    int evaluations = 0;
    std::vector<SystemIterate> history;
};

// Newton's method with an analytic Jacobian; stops when |F(x)|_inf < tol.
SystemRootResult newtonSystem(const std::function<Vec(const Vec &)> &F,
                              const std::function<Mat(const Vec &)> &J,
                              const Vec &x0,
                              double tol,
                              int maxIterations = 50,
                              const Iterated &iterated = {});

// BROYDEN: quasi-Newton with the "good" rank-one update; the first Jacobian by
// forward differences (step relStep*max(1,|xi|)); stops when |F(x)|_inf < tol.
SystemRootResult broyden(const std::function<Vec(const Vec &)> &F,
                         const Vec &x0,
                         double tol,
                         int maxIterations = 100,
                         double relStep = 1e-6,
                         const Iterated &iterated = {});

struct LsqIterate
{
    Vec p;
    double sumOfSquares = 0.0;
};

struct LsqResult
{
    Vec p;
    Vec residuals;
    double sumOfSquares = 0.0;
    bool converged = false;
    int evaluations = 0;
    std::vector<LsqIterate> history; // accepted iterates, the start first
};

// LSQ: Levenberg-Marquardt on the residual vector r(p), Jacobian by forward
// differences; stops when an accepted step lowers the sum of squares by less than
// 1e-14 relative, or the step is below 1e-12 relative to p.
LsqResult levenbergMarquardt(const std::function<Vec(const Vec &)> &residuals,
                             const Vec &p0,
                             int maxIterations = 200,
                             double relStep = 1e-7,
                             const Iterated &iterated = {});

} // namespace kv
