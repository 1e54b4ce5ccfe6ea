#pragma once

#include "Solvers.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

// The eleven optimisers of the catalogue on a general problem: minimise f(x)
// subject to g(x) <= 0, derivatives by central differences. The interpreter runs a
// job's Find statements through them.
namespace kv::opt {

struct Problem
{
    std::function<double(const Vec &)> f;
    std::function<Vec(const Vec &)> g; // every constraint as g_i(x) <= 0; may be empty
    Vec start;
    double tolerance = 1e-8;
    int maxIterations = 500;
    // Told each major iteration as it is done, with the most the method makes (its
    // stages, outer iterations or evaluations); may be empty.
    std::function<void(int done, int limit)> iterated;
};

struct Result
{
    Vec x;
    std::vector<Vec> path; // the start and every major iteration
    bool converged = false;
    int evaluations = 0;
    QString method; // one line naming the method
};

// SUMT SCP ALM MMFD SQP MFD SIMPLEX PATTERN SLP GRG BFGS.
QStringList solverNames();

// Throws std::invalid_argument for a name that is not an optimiser.
Result minimise(const QString &solver, const Problem &problem);

} // namespace kv::opt
