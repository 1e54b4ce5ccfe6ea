// Beam, Shell, EjectSim, Pursuit and readRit.
#include "ModelsCommon.h"

#include <algorithm>

namespace kv {

// ---- Beam ------------------------------------------------------------------------

namespace {
constexpr double BeamL = 2.0, BeamEI = 2.0e4;
constexpr int BeamSteps = 400;

void shootBeam(double load, double s, BeamRun *out, double *residual)
{
    auto rhs = [load](const State &y, State &dy, double) {
        dy[0] = y[1];
        dy[1] = -(load / BeamEI) * std::cos(y[0]);
        dy[2] = std::cos(y[0]);
        dy[3] = std::sin(y[0]);
    };
    State y = {0.0, s, 0.0, 0.0};
    integrateRk4(rhs, y, 0.0, BeamL / BeamSteps, BeamSteps, [&](double arc, const State &v) {
        if (out) {
            out->s.push_back(arc);
            out->theta.push_back(v[0]);
            out->x.push_back(v[2]);
            out->y.push_back(v[3]);
        }
    });
    if (residual)
        *residual = y[1];
}

} // namespace

BeamRun solveBeam(double load)
{
    BeamRun run;
    run.shooting = newtonScalar(
        [load](double s) {
            double r = 0.0;
            shootBeam(load, s, nullptr, &r);
            return r;
        },
        0.0,
        1e-10);
    shootBeam(load, run.shooting.root, &run, nullptr);
    return run;
}

namespace {

Answer answerBeam()
{
    const double load = 5000.0;
    const BeamRun run = solveBeam(load);
    Report r = openReport("Beam",
                          "Cantilever beam, large deflection",
                          "NEWTON/RK4",
                          {"shooting on the curvature at the clamp: Newton's method,",
                           "forward-difference derivative; each shot by classical",
                           "Runge-Kutta, 400 fixed steps of 5 mm"});
    r.heading("Model");
    r.line(
        "  elastica in arc length s: theta' = kappa, kappa' = -(P/EI) cos theta, x' = cos theta,");
    r.line("  y' = sin theta (y downwards); L = 2.0 m, EI = 2.0e4 N m2, tip load P = 5000 N");
    r.line("  clamped: theta(0) = 0, x(0) = y(0) = 0; free end: kappa(L) = 0");
    r.heading("Newton iterations");
    r.table({"iteration", "kappa(0) [1/m]", "kappa(L) [1/m]"},
            scalarIterationRows(run.shooting, 8));
    r.heading("Deflected beam");
    std::vector<QStringList> rows;
    for (int i = 0; i <= BeamSteps; i += 40)
        rows.push_back({fix(run.s[std::size_t(i)], 2),
                        fix(run.x[std::size_t(i)], 5),
                        fix(run.y[std::size_t(i)], 5),
                        fix(run.theta[std::size_t(i)] * 180.0 / Pi, 4)});
    r.table({"s [m]", "x [m]", "y [m]", "theta [deg]"}, rows);
    r.heading("Results");
    r.field("Converged", run.shooting.converged ? "yes" : "NO");
    r.field("Clamp moment EI kappa(0)", fix(BeamEI * run.shooting.root, 4) + " N m");
    r.field("Load times lever arm P x(L)", fix(load * run.x.back(), 4) + " N m");
    r.field("Tip deflection y(L)",
            fix(run.y.back(), 6) + " m (y/L = " + fix(run.y.back() / BeamL, 5) + ")");
    r.field("Tip position x(L)", fix(run.x.back(), 6) + " m");
    r.field("Tip slope", fix(run.theta.back() * 180.0 / Pi, 4) + " deg");
    r.field("Small-deflection theory P L^3/(3EI)",
            fix(load * std::pow(BeamL, 3) / (3.0 * BeamEI), 6) + " m");

    Answer a{"Beam", r.bytes(), {}, false, true};
    a.plot.title = "Beam: deflected cantilever";
    a.plot.xLabel = "x [m]";
    a.plot.yLabel = "height [m]";
    std::vector<double> xs, ys, ls, lys;
    for (int i = 0; i <= BeamSteps; i += 10) {
        xs.push_back(run.x[std::size_t(i)]);
        ys.push_back(-run.y[std::size_t(i)]);
        const double s = run.s[std::size_t(i)];
        ls.push_back(s);
        lys.push_back(-load * s * s * (3.0 * BeamL - s) / (6.0 * BeamEI));
    }
    a.plot.series << makeSeries("large deflection (elastica)", xs, ys)
                  << makeSeries("small-deflection theory", ls, lys);
    return a;
}

} // namespace

// ---- Shell ------------------------------------------------------------------------

ShellRun solveShell(const ShellParams &p)
{
    ShellRun run;
    const double c = 0.5 * p.density * p.dragCoefficient * Pi * p.diameter * p.diameter / 4.0;
    auto rhs = [&](const State &y, State &dy, double) {
        const double v = std::hypot(y[2], y[3]);
        dy[0] = y[2];
        dy[1] = y[3];
        dy[2] = -(c / p.mass) * v * y[2];
        dy[3] = -p.g - (c / p.mass) * v * y[3];
    };
    const double e = p.elevationDeg * Pi / 180.0;
    State y = {0.0, 0.0, p.speed * std::cos(e), p.speed * std::sin(e)};
    double t = 0.0, h = 0.01, nextOut = 5.0;
    auto record = [&](double tt, const State &v) {
        run.t.push_back(tt);
        run.x.push_back(v[0]);
        run.y.push_back(v[1]);
        run.speed.push_back(std::hypot(v[2], v[3]));
    };
    record(0.0, y);
    run.pathX.push_back(0.0);
    run.pathY.push_back(0.0);
    // Finds tau in (0, span] where component k of the state stepped from prev crosses 0.
    auto locate = [&](const State &prev, double tPrev, double span, int k) {
        double lo = 0.0, hi = span;
        const bool risingBelow = prev[std::size_t(k)] < 0.0;
        while (hi - lo > 1e-10) {
            const double mid = 0.5 * (lo + hi);
            const State s = rkf45PlainStep(rhs, prev, tPrev, mid);
            if ((s[std::size_t(k)] < 0.0) == risingBelow)
                lo = mid;
            else
                hi = mid;
        }
        return hi;
    };
    for (int guard = 0; guard < 1000000; ++guard) {
        const State prev = y;
        const double tPrev = t;
        rkf45Step(rhs, y, t, h, nextOut - t, run.steps);
        if (prev[3] > 0.0 && y[3] <= 0.0) { // the apex lies in this step
            const double tau = locate(prev, tPrev, t - tPrev, 3);
            run.apex = rkf45PlainStep(rhs, prev, tPrev, tau)[1];
        }
        if (y[1] < 0.0) { // impact within this step
            const double tau = locate(prev, tPrev, t - tPrev, 1);
            const State hit = rkf45PlainStep(rhs, prev, tPrev, tau);
            run.flightTime = tPrev + tau;
            run.range = hit[0];
            run.impactSpeed = std::hypot(hit[2], hit[3]);
            run.impactAngleDeg = std::atan2(-hit[3], hit[2]) * 180.0 / Pi;
            record(run.flightTime, {hit[0], 0.0, hit[2], hit[3]});
            run.pathX.push_back(hit[0]);
            run.pathY.push_back(0.0);
            break;
        }
        run.pathX.push_back(y[0]);
        run.pathY.push_back(y[1]);
        if (std::abs(t - nextOut) < 1e-12) {
            t = nextOut;
            record(t, y);
            nextOut += 5.0;
        }
    }
    return run;
}

namespace {

Answer answerShell()
{
    const ShellParams p;
    const ShellRun run = solveShell(p);
    Report r = openReport("Shell",
                          "Shell projectile with air drag",
                          "RKF45",
                          {"Runge-Kutta 4(5) (Cash-Karp), adaptive step, tolerances 1e-8;",
                           "apex and impact located by bisection inside the step"});
    r.heading("Model");
    r.line("  x' = vx, y' = vy, vx' = -(c/m)|v| vx, vy' = -g - (c/m)|v| vy, c = rho Cd A / 2");
    r.line("  m = 45 kg, d = 0.155 m, Cd = 0.30, rho = 1.225 kg/m3, g = 9.81 m/s2");
    r.line("  muzzle speed 500 m/s at 45 degrees from (0, 0)");
    r.heading("Trajectory");
    std::vector<QStringList> rows;
    for (std::size_t i = 0; i < run.t.size(); ++i)
        rows.push_back(
            {fix(run.t[i], 3), fix(run.x[i], 2), fix(run.y[i], 2), fix(run.speed[i], 3)});
    r.table({"t [s]", "x [m]", "y [m]", "speed [m/s]"}, rows);
    const double e = p.elevationDeg * Pi / 180.0;
    const double vacuumRange = p.speed * p.speed * std::sin(2.0 * e) / p.g;
    const double vacuumTime = 2.0 * p.speed * std::sin(e) / p.g;
    r.heading("Results");
    r.field("Time of flight", fix(run.flightTime, 4) + " s (vacuum " + fix(vacuumTime, 4) + " s)");
    r.field("Range", fix(run.range, 3) + " m (vacuum " + fix(vacuumRange, 3) + " m)");
    r.field("Apex height",
            fix(run.apex, 3) + " m (vacuum "
                + fix(std::pow(p.speed * std::sin(e), 2) / (2.0 * p.g), 3) + " m)");
    r.field("Impact speed", fix(run.impactSpeed, 3) + " m/s");
    r.field("Impact angle below horizontal", fix(run.impactAngleDeg, 3) + " deg");
    r.field("Accepted steps", QString::number(run.steps.accepted));
    r.field("Rejected steps", QString::number(run.steps.rejected));

    Answer a{"Shell", r.bytes(), {}, true, true};
    a.plot.title = "Shell: trajectory with drag and in vacuum";
    a.plot.xLabel = "x [m]";
    a.plot.yLabel = "y [m]";
    std::vector<double> vx, vy;
    for (int i = 0; i <= 100; ++i) {
        const double tt = vacuumTime * i / 100.0;
        vx.push_back(p.speed * std::cos(e) * tt);
        vy.push_back(std::max(0.0, p.speed * std::sin(e) * tt - 0.5 * p.g * tt * tt));
    }
    a.plot.series << makeSeries("with drag", run.pathX, run.pathY) << makeSeries("vacuum", vx, vy);
    return a;
}

} // namespace

// ---- EjectSim ----------------------------------------------------------------------

EjectRun solveEject(const EjectParams &p)
{
    EjectRun run;
    const double te = p.ejectAngleDeg * Pi / 180.0;
    auto rhs = [&](const State &s, State &ds, double) {
        const double drag = 0.5 * p.density * p.dragCoefficient * p.area * s[0] * s[0];
        ds[0] = -drag / p.mass - p.g * std::sin(s[1]);
        ds[1] = -p.g * std::cos(s[1]) / s[0];
        ds[2] = s[0] * std::cos(s[1]) - p.aircraftSpeed;
        ds[3] = s[0] * std::sin(s[1]);
    };
    const double vx = p.aircraftSpeed - p.ejectSpeed * std::sin(te);
    const double vy = p.ejectSpeed * std::cos(te);
    State s
        = {std::hypot(vx, vy), std::atan2(vy, vx), -p.rail * std::sin(te), p.rail * std::cos(te)};
    const long maxSteps = std::lround(10.0 / p.step);
    const long every = std::max(1L, std::lround(0.05 / p.step));
    run.t.push_back(0.0);
    run.x.push_back(s[2]);
    run.y.push_back(s[3]);
    run.pathX.push_back(s[2]);
    run.pathY.push_back(s[3]);
    for (long i = 1; i <= maxSteps; ++i) {
        const State prev = s;
        const double tPrev = double(i - 1) * p.step;
        integrateRk4(rhs, s, tPrev, p.step, 1, nullptr);
        const double t = double(i) * p.step;
        if (i % std::max(1L, every / 10) == 0 || s[2] <= p.tailX) {
            run.pathX.push_back(s[2]);
            run.pathY.push_back(s[3]);
        }
        if (i % every == 0 || s[2] <= p.tailX) {
            run.t.push_back(t);
            run.x.push_back(s[2]);
            run.y.push_back(s[3]);
        }
        if (s[2] <= p.tailX) {
            const double f = (prev[2] - p.tailX) / (prev[2] - s[2]);
            run.passed = true;
            run.passTime = tPrev + f * p.step;
            run.passHeight = prev[3] + f * (s[3] - prev[3]);
            run.clearance = run.passHeight - p.tailHeight;
            break;
        }
    }
    return run;
}

namespace {

Answer answerEject()
{
    const EjectParams p;
    const EjectRun run = solveEject(p);
    Report r = openReport("EjectSim",
                          "Pilot ejection simulation",
                          "RK4",
                          {"classical Runge-Kutta, fixed step 0.001 s; the moment the seat",
                           "passes the tail interpolated linearly inside the step"});
    r.heading("Model");
    r.line("  after the rail: V' = -D/m - g sin(gamma), gamma' = -g cos(gamma)/V,");
    r.line("  x' = V cos(gamma) - vA, y' = V sin(gamma) (x, y relative to the aircraft), D = rho "
           "Cd A V^2/2");
    r.line("  vA = 274 m/s, rho = 1.225 kg/m3, m = 102 kg, Cd = 1.0, A = 0.93 m2, g = 9.81 m/s2");
    r.line("  rail 1.22 m, ejection 12.2 m/s tilted 15 deg backwards; t = 0 at the rail's end");
    r.line("  tail top 9.15 m behind and 3.66 m above the seat's start");
    r.heading("Trajectory relative to the aircraft");
    std::vector<QStringList> rows;
    for (std::size_t i = 0; i < run.t.size(); ++i)
        rows.push_back({fix(run.t[i], 3), fix(run.x[i], 4), fix(run.y[i], 4)});
    r.table({"t [s]", "x [m]", "y [m]"}, rows);
    r.heading("Results");
    if (run.passed) {
        r.field("Seat passes the tail at", fix(run.passTime, 4) + " s");
        r.field("Height there", fix(run.passHeight, 4) + " m");
        r.field("Clearance over the tail",
                fix(run.clearance, 4) + " m (" + (run.clearance > 0 ? "clears" : "HITS THE TAIL")
                    + ")");
    } else {
        r.field("Seat passes the tail", "not within 10 s");
    }
    r.heading("Clearance against aircraft speed");
    rows.clear();
    for (int v = 100; v <= 400; v += 50) {
        EjectParams q = p;
        q.aircraftSpeed = v;
        const EjectRun rv = solveEject(q);
        rows.push_back({QString::number(v),
                        rv.passed ? fix(rv.passTime, 4) : QStringLiteral("-"),
                        rv.passed ? fix(rv.clearance, 4) : QStringLiteral("-"),
                        !rv.passed         ? "does not pass"
                        : rv.clearance > 0 ? "clears"
                                           : "hits"});
    }
    r.table({"vA [m/s]", "passes at [s]", "clearance [m]", "verdict"}, rows);

    Answer a{"EjectSim", r.bytes(), {}, false, true};
    a.plot.title = "EjectSim: seat trajectory relative to the aircraft";
    a.plot.xLabel = "x [m]";
    a.plot.yLabel = "y [m]";
    a.plot.series << makeSeries("seat", run.pathX, run.pathY)
                  << makeSeries("tail", {p.tailX, p.tailX}, {0.0, p.tailHeight});
    return a;
}

} // namespace

// ---- Pursuit ----------------------------------------------------------------------

namespace {
constexpr double PursuitA = 1000.0, TargetSpeed = 200.0, MissileSpeed = 400.0;
}

double pursuitClosedForm(double x)
{
    const double k = TargetSpeed / MissileSpeed, u = 1.0 - x / PursuitA;
    return PursuitA / 2.0 * (std::pow(u, 1.0 + k) / (1.0 + k) - std::pow(u, 1.0 - k) / (1.0 - k))
           + PursuitA * k / (1.0 - k * k);
}

PursuitRun solvePursuit()
{
    PursuitRun run;
    auto rhs = [](const State &y, State &dy, double t) {
        const double dx = PursuitA - y[0], dyy = TargetSpeed * t - y[1];
        const double r = std::hypot(dx, dyy);
        dy[0] = MissileSpeed * dx / r;
        dy[1] = MissileSpeed * dyy / r;
    };
    const double h = 1e-4;
    State y = {0.0, 0.0};
    AdamsStepper stepper;
    run.t.push_back(0.0);
    run.x.push_back(0.0);
    run.y.push_back(0.0);
    run.pathX.push_back(0.0);
    run.pathY.push_back(0.0);
    for (long i = 1; i <= 200000; ++i) {
        stepper.step(rhs, y, double(i - 1) * h, h);
        const double t = double(i) * h;
        const double dist = std::hypot(PursuitA - y[0], TargetSpeed * t - y[1]);
        if (y[0] < 0.999 * PursuitA)
            run.largestPathError
                = std::max(run.largestPathError, std::abs(y[1] - pursuitClosedForm(y[0])));
        const bool captured = dist < 0.1;
        if (i % 2500 == 0 || captured) {
            run.t.push_back(t);
            run.x.push_back(y[0]);
            run.y.push_back(y[1]);
        }
        if (i % 100 == 0 || captured) {
            run.pathX.push_back(y[0]);
            run.pathY.push_back(y[1]);
        }
        if (captured) {
            run.captureTime = t;
            run.captureX = y[0];
            run.captureY = y[1];
            run.steps = i;
            break;
        }
    }
    return run;
}

namespace {

Answer answerPursuit()
{
    const PursuitRun run = solvePursuit();
    const double k = TargetSpeed / MissileSpeed;
    const double yc = PursuitA * k / (1.0 - k * k);
    Report r = openReport("Pursuit",
                          "Missile pursuit problem",
                          "ADAMS",
                          {"Adams-Bashforth-Moulton predictor-corrector of order 5,",
                           "fixed step 1e-4 s, started by Runge-Kutta 4"});
    r.heading("Model");
    r.line(
        "  target from (1000 m, 0) along x = 1000 m at 200 m/s; missile from (0, 0) at 400 m/s,");
    r.line("  always heading at the target: x' = vM (xT - x)/r, y' = vM (yT - y)/r");
    r.line("  capture: distance below 0.1 m");
    r.heading("Pursuit");
    std::vector<QStringList> rows;
    for (std::size_t i = 0; i < run.t.size(); ++i)
        rows.push_back(
            {fix(run.t[i], 4),
             fix(run.x[i], 3),
             fix(run.y[i], 3),
             fix(TargetSpeed * run.t[i], 3),
             fix(std::hypot(PursuitA - run.x[i], TargetSpeed * run.t[i] - run.y[i]), 3)});
    r.table({"t [s]", "missile x [m]", "missile y [m]", "target y [m]", "distance [m]"}, rows);
    r.heading("Results");
    r.field("Capture time",
            fix(run.captureTime, 4) + " s (closed form " + fix(yc / TargetSpeed, 4) + " s)");
    r.field("Capture point", "(" + fix(run.captureX, 3) + ", " + fix(run.captureY, 3) + ") m");
    r.field("Closed-form capture point", "(" + fix(PursuitA, 3) + ", " + fix(yc, 3) + ") m");
    r.field("Largest deviation of y(x)", sci(run.largestPathError, 3) + " m (x < 999 m)");
    r.field("Steps", QString::number(run.steps));

    Answer a{"Pursuit", r.bytes(), {}, true, true};
    a.plot.title = "Pursuit: missile and target";
    a.plot.xLabel = "x [m]";
    a.plot.yLabel = "y [m]";
    std::vector<double> cx, cy;
    for (int i = 0; i <= 100; ++i) {
        cx.push_back(PursuitA * i / 100.0);
        cy.push_back(pursuitClosedForm(PursuitA * i / 100.0));
    }
    a.plot.series << makeSeries("closed form", cx, cy)
                  << makeSeries("missile", run.pathX, run.pathY)
                  << makeSeries("target", {PursuitA, PursuitA}, {0.0, run.captureY});
    return a;
}

} // namespace

// ---- readRit ------------------------------------------------------------------------

namespace {
constexpr double OscM = 1.0, OscC = 0.4, OscK = 4.0, OscF = 1.0, OscW = 1.5;
}

double oscillatorExact(double t)
{
    const double den = std::pow(OscK - OscM * OscW * OscW, 2) + std::pow(OscC * OscW, 2);
    const double a = OscF * (OscK - OscM * OscW * OscW) / den, b = OscF * OscC * OscW / den;
    // particular solution a cos(wt) + b sin(wt); homogeneous part cancels x(0), x'(0).
    const double wn = std::sqrt(OscK / OscM), zeta = OscC / (2.0 * std::sqrt(OscK * OscM));
    const double wd = wn * std::sqrt(1.0 - zeta * zeta);
    const double A = -a, B = (zeta * wn * A - b * OscW) / wd;
    return a * std::cos(OscW * t) + b * std::sin(OscW * t)
           + std::exp(-zeta * wn * t) * (A * std::cos(wd * t) + B * std::sin(wd * t));
}

OscillatorRun solveOscillator()
{
    OscillatorRun run;
    auto rhs = [](const State &y, State &dy, double t) {
        dy[0] = y[1];
        dy[1] = (OscF * std::cos(OscW * t) - OscC * y[1] - OscK * y[0]) / OscM;
    };
    State y = {0.0, 0.0};
    std::vector<double> grid = timeGrid(0.0, 40.0, 0.1);
    grid.erase(grid.begin());
    run.steps = integrateRkf45(rhs, y, 0.0, grid, [&](double t, const State &v) {
        run.t.push_back(t);
        run.x.push_back(v[0]);
        run.v.push_back(v[1]);
        run.largestError = std::max(run.largestError, std::abs(v[0] - oscillatorExact(t)));
    });
    return run;
}

namespace {

Answer answerOscillator()
{
    const OscillatorRun run = solveOscillator();
    Report r = openReport(
        "readRit",
        "Plot example: a complete application",
        "RKF45",
        {"Runge-Kutta 4(5) (Cash-Karp), adaptive step, tolerances 1e-8,", "output every 0.1 s"});
    r.heading("Model");
    r.line("  driven damped oscillator m x'' + c x' + k x = F0 cos(w t)");
    r.line("  m = 1 kg, c = 0.4 N s/m, k = 4 N/m, F0 = 1 N, w = 1.5 rad/s; x(0) = 0, x'(0) = 0");
    r.heading("Motion");
    std::vector<QStringList> rows;
    for (std::size_t i = 0; i < run.t.size(); i += 20)
        rows.push_back({fix(run.t[i], 1),
                        fix(run.x[i], 6),
                        fix(run.v[i], 6),
                        fix(oscillatorExact(run.t[i]), 6)});
    r.table({"t [s]", "x [m]", "v [m/s]", "x exact [m]"}, rows);
    const double den = std::pow(OscK - OscM * OscW * OscW, 2) + std::pow(OscC * OscW, 2);
    r.heading("Results");
    r.field("Steady-state amplitude", fix(OscF / std::sqrt(den), 6) + " m");
    r.field("Phase lag",
            fix(std::atan2(OscC * OscW, OscK - OscM * OscW * OscW) * 180.0 / Pi, 4) + " deg");
    r.field("Largest deviation from exact", sci(run.largestError, 3) + " m");
    r.field("Accepted steps", QString::number(run.steps.accepted));

    Answer a{"readRit", r.bytes(), {}, true, true};
    a.plot.title = "readRit: driven damped oscillator";
    a.plot.xLabel = "t [s]";
    a.plot.yLabel = "x [m], v [m/s]";
    a.plot.series << makeSeries("x(t)", run.t, run.x) << makeSeries("v(t)", run.t, run.v);
    return a;
}

} // namespace

std::vector<AnswerEntry> motionEntries()
{
    return {{"Beam", answerBeam},
            {"Shell", answerShell},
            {"EjectSim", answerEject},
            {"Pursuit", answerPursuit},
            {"readRit", answerOscillator}};
}

} // namespace kv
