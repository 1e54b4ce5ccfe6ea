#pragma once

#include "Solvers.h"

#include <QString>
#include <QStringList>

#include <vector>

// The hillside corral: a rectangle of width w along a stream and depth d up a 30°
// slope, fenced on three sides with 100 m of fence, its upper side at most 10 m
// above the stream. Maximise the area w*d. Eleven optimisers solve it.
namespace kv::corral {

constexpr double FenceLength = 100.0; // m
constexpr double SlopeDegrees = 30.0; // hillside
constexpr double MaxRise = 10.0;      // m above the stream
constexpr double StartW = 10.0, StartD = 10.0;
constexpr int ConstraintCount = 6; // fence, water line, four bounds

// f = -w*d (minimised), its gradient and Hessian.
double objective(const Vec &x);
Vec objectiveGradient(const Vec &x);
// g(x) <= 0: fence w + 2d - 100, water line d sin30° - 10, -w, -d, w - 100, d - 50.
Vec constraints(const Vec &x);
Mat constraintJacobian(const Vec &x); // one row per constraint
QStringList constraintNames();
double largestViolation(const Vec &x);

struct Iterate
{
    Vec x;
    double area = 0.0;
    double violation = 0.0;
};

struct Result
{
    QString file;   // "hb1sqp"
    QString solver; // "SQP"
    QString method; // one line
    QString notes;  // a few lines on how the method was set up
    Vec x;
    int iterations = 0;
    int functionEvaluations = 0; // values of f and g together
    int gradientEvaluations = 0;
    std::vector<Iterate> path; // the start and every major iteration
    Vec multipliers;           // for the fence and the water line, where the method has them
    bool converged = false;
};

// The solver names, in catalogue order, and their demo files.
QStringList solverNames();
QString fileOf(const QString &solver);

// Solves the corral with the named optimiser; throws std::invalid_argument for an
// unknown name.
Result solve(const QString &solver);

// Small dense linear programme: maximise c.x subject to A x <= b, by checking every
// vertex of the feasible set (it must be bounded and non-empty). For the direction
// and step problems of MFD and SLP, which have two or three unknowns.
Vec solveSmallLp(const Vec &c, const Mat &A, const Vec &b);

} // namespace kv::corral
