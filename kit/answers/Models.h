#pragma once

#include "Integrators.h"
#include "Report.h"
#include "Solvers.h"

#include <QList>

#include <vector>

// The demos' models (MODELS.md beside this file states them) and their answers.
// Each model has a solve function returning its numbers, which the tests check
// against exact solutions, and an answer function that writes the report and plot.
namespace kv {

// ---- heat transfer -----------------------------------------------------------

// Heat-ivp and Heat-ip: slab, face x = 0 held hot, face x = L insulated.
struct Slab
{
    double length = 0.10;      // m
    double diffusivity = 1e-5; // m^2/s
    double initial = 20.0;     // degC
    double face = 100.0;       // degC
    int intervals = 20;
};
double slabExact(const Slab &slab, double x, double t);
struct SlabRun
{
    std::vector<double> times;
    std::vector<State> nodes; // per time: all nodes 0..intervals
    StepCounts steps;
};
SlabRun solveSlab(const Slab &slab, const std::vector<double> &times, double tol = 1e-8);

// 1d-Kelvara, 2d-Kelvara, 3d-Kelvara: the exact solutions and the runs.
double barExact(double x, double t);
double plateExact(double x, double y, double t);
double cubeExact(double x, double y, double z, double t);
struct GridRun
{
    std::vector<double> times;
    std::vector<State> values; // per time: the grid's interior values, x fastest
    int intervals = 0;         // per direction
    long steps = 0;
    double largestError = 0.0; // against the exact solution over the output times
};
GridRun solveBar();
GridRun solvePlate();
GridRun solveCube();

// Heat-bvp: steady slab with heat generation and k(T), shooting.
struct SlabBvp
{
    ScalarRootResult shooting;   // s = dT/dx(0)
    std::vector<double> x, T, Q; // the solution at 11 points
    double exactSurface = 0.0;   // T(L) from the Kirchhoff transform
};
SlabBvp solveSlabBvp();
double slabBvpExact(double x); // the exact T(x)

// 3d-Kelvara-BVP: steady cube, two unknown face temperatures.
struct CubeBvp
{
    SystemRootResult broyden; // unknowns (Ta, Tb)
    State field;              // steady interior temperatures, x fastest
    long eulerStepsTotal = 0;
    int solves = 0;
    int intervals = 8;
};
CubeBvp solveCubeBvp();
State steadyCube(double ta, double tb, int intervals, long *steps);

// Heat-Fin: tapered fin with natural convection.
struct FinRun
{
    ScalarRootResult shooting;
    std::vector<double> x, theta, q; // every node
    double baseHeat = 0.0;           // W per m of width, into the fin
    double faceLoss = 0.0;           // both faces, Simpson's rule over the nodes
    double tipLoss = 0.0;
    double efficiency = 0.0;
};
FinRun solveFin();

// Heat-ip: diffusivity fitted to the insulated face's temperatures.
struct SlabFit
{
    LsqResult lsq; // p, alpha = p * 1e-5
    double alpha = 0.0;
};
SlabFit solveSlabFit();

// ---- inverse problems, fits, algebra ------------------------------------------

struct PharmFit
{
    LsqResult lsq; // (ka, ke) in 1/h
    double halfLife = 0.0, peakTime = 0.0, peakConcentration = 0.0, belowOneTime = 0.0;
    std::vector<double> curveT, curveC; // the fitted model every 0.1 h
};
PharmFit solvePharm(bool withOdes);
double pharmClosedForm(double ka, double ke, double t);

LsqResult solveFitExam();
SystemRootResult solveAlgebra();
struct ShootingRun
{
    ScalarRootResult shooting;
    std::vector<std::vector<double>> shotsX, shotsY; // each shot's profile
};
ShootingRun solveBvpTemplate();

// ---- motion ----------------------------------------------------------------

struct BeamRun
{
    ScalarRootResult shooting;          // s = curvature at the clamp
    std::vector<double> s, x, y, theta; // along the beam (every node)
};
BeamRun solveBeam(double load = 5000.0);

struct ShellParams
{
    double mass = 45.0, diameter = 0.155, dragCoefficient = 0.30, density = 1.225, g = 9.81;
    double speed = 500.0, elevationDeg = 45.0;
};
struct ShellRun
{
    std::vector<double> t, x, y, speed; // every 5 s and the impact
    std::vector<double> pathX, pathY;   // every accepted step
    double flightTime = 0.0, range = 0.0, apex = 0.0, impactSpeed = 0.0, impactAngleDeg = 0.0;
    StepCounts steps;
};
ShellRun solveShell(const ShellParams &p = ShellParams());

struct EjectParams
{
    double aircraftSpeed = 274.0, density = 1.225, g = 9.81, mass = 102.0, dragCoefficient = 1.0,
           area = 0.93, ejectSpeed = 12.2, ejectAngleDeg = 15.0, rail = 1.22, tailX = -9.15,
           tailHeight = 3.66, step = 0.001;
};
struct EjectRun
{
    std::vector<double> t, x, y;      // every 0.05 s
    std::vector<double> pathX, pathY; // every 0.005 s
    bool passed = false;              // reached the tail's x within 10 s
    double passTime = 0.0, passHeight = 0.0, clearance = 0.0;
};
EjectRun solveEject(const EjectParams &p = EjectParams());

struct DaeRun
{
    std::vector<double> t, x, y, z; // every 0.5 s
    double largestError = 0.0, largestResidual = 0.0;
    StepCounts steps;
};
DaeRun solveDae();

struct StiffRun
{
    std::vector<double> t;
    std::vector<State> y;
    StepCounts steps;
};
StiffRun solveRobertson();

struct PursuitRun
{
    std::vector<double> t, x, y;      // every 0.25 s and at capture
    std::vector<double> pathX, pathY; // every 100 steps
    double captureTime = 0.0, captureX = 0.0, captureY = 0.0;
    double largestPathError = 0.0; // against the closed form, x < 0.999 a
    long steps = 0;
};
PursuitRun solvePursuit();
double pursuitClosedForm(double x); // y on the closed-form curve

struct OscillatorRun
{
    std::vector<double> t, x, v; // every 0.1 s
    double largestError = 0.0;
    StepCounts steps;
};
OscillatorRun solveOscillator();
double oscillatorExact(double t);

struct BurgersRun
{
    std::vector<double> times;
    std::vector<State> u; // all nodes 0..100 per time
    double largestError = 0.0;
    StepCounts steps;
};
BurgersRun solveBurgers();
double burgersExact(double x, double t);

// ---- the guides' comparisons -------------------------------------------------

struct IntegratorComparison
{
    QString name, method;
    long steps = 0;
    double final = 0.0, finalError = 0.0, largestError = 0.0;
    std::vector<double> t, y; // every 0.5
};
std::vector<IntegratorComparison> compareIntegrators();

// ---- answers -----------------------------------------------------------------

// Every answer, in catalogue order, the guides included (each once).
QList<Answer> allAnswers();
// The answer of one demo stem; an empty stem when there is none.
Answer answerFor(const QString &stem);
QStringList answerStems();

} // namespace kv
