// Heat-ivp, Heat-bvp, Heat-ip, Heat-Fin, 1d/2d/3d-Kelvara and 3d-Kelvara-BVP.
#include "ModelsCommon.h"

#include <algorithm>

namespace kv {

// ---- the slab (Heat-ivp, Heat-ip) -------------------------------------------

double slabExact(const Slab &slab, double x, double t)
{
    double sum = 0.0;
    for (int n = 0; n < 400; ++n) {
        const double m = (2.0 * n + 1.0) * Pi;
        const double k = m / (2.0 * slab.length);
        const double decay = std::exp(-k * k * slab.diffusivity * t);
        sum += 4.0 / m * std::sin(k * x) * decay;
        if (decay < 1e-18)
            break;
    }
    return slab.face + (slab.initial - slab.face) * sum;
}

SlabRun solveSlab(const Slab &slab, const std::vector<double> &times, double tol)
{
    const int n = slab.intervals;
    const double dx = slab.length / n;
    const double c = slab.diffusivity / (dx * dx);
    // Unknowns: nodes 1..n; node 0 is the held face, node n the insulated one.
    auto rhs = [&](const State &T, State &dT, double) {
        for (int i = 1; i <= n; ++i) {
            const double left = i == 1 ? slab.face : T[std::size_t(i - 2)];
            const double right = i == n ? T[std::size_t(n - 2)] : T[std::size_t(i)];
            dT[std::size_t(i - 1)] = c * (left - 2.0 * T[std::size_t(i - 1)] + right);
        }
    };
    SlabRun run;
    State T(std::size_t(n), slab.initial);
    std::vector<double> outputs;
    for (double t : times)
        if (t > 0.0)
            outputs.push_back(t);
    const bool wantStart = !times.empty() && times.front() <= 0.0;
    auto observe = [&](double t, const State &y) {
        if (t <= 0.0 && !wantStart)
            return; // only the requested times are kept
        State all(std::size_t(n + 1));
        all[0] = t > 0.0 ? slab.face : slab.initial;
        std::copy(y.begin(), y.end(), all.begin() + 1);
        run.times.push_back(t);
        run.nodes.push_back(all);
    };
    run.steps = integrateRkf45(rhs, T, 0.0, outputs, observe, tol, tol);
    return run;
}

namespace {

Answer answerHeatIvp()
{
    const Slab slab;
    const std::vector<double> times = {0, 60, 120, 300, 600, 900, 1200};
    const SlabRun run = solveSlab(slab, times);
    Report r = openReport("Heat-ivp",
                          "Heat transfer on a slab (initial value problem)",
                          "RKF45",
                          {"method of lines, 20 intervals; embedded Runge-Kutta 4(5)",
                           "(Cash-Karp), adaptive step, tolerances 1e-8"});
    r.heading("Model");
    r.line("  dT/dt = alpha d2T/dx2 on 0 < x < L, L = 0.10 m, alpha = 1.0e-5 m2/s");
    r.line("  T(x,0) = 20 C; T(0,t) = 100 C; dT/dx(L,t) = 0 (insulated face)");
    r.heading("Temperature T(x,t) in C");
    QStringList headers = {"t [s]"};
    for (int i = 0; i <= 20; i += 4)
        headers << QStringLiteral("x=%1").arg(fix(i * 0.005, 2));
    std::vector<QStringList> rows;
    for (std::size_t k = 0; k < run.times.size(); ++k) {
        QStringList row = {fix(run.times[k], 0)};
        for (int i = 0; i <= 20; i += 4)
            row << fix(run.nodes[k][std::size_t(i)], 3);
        rows.push_back(row);
    }
    r.table(headers, rows);
    r.heading("Insulated face against the exact series solution");
    rows.clear();
    double largest = 0.0;
    for (std::size_t k = 0; k < run.times.size(); ++k) {
        if (run.times[k] <= 0.0)
            continue;
        const double exact = slabExact(slab, slab.length, run.times[k]);
        rows.push_back({fix(run.times[k], 0),
                        fix(run.nodes[k][20], 4),
                        fix(exact, 4),
                        fix(run.nodes[k][20] - exact, 4)});
        for (int i = 1; i <= 20; ++i)
            largest = std::max(
                largest,
                std::abs(run.nodes[k][std::size_t(i)] - slabExact(slab, i * 0.005, run.times[k])));
    }
    r.table({"t [s]", "T(L) computed", "T(L) exact", "difference"}, rows);
    r.heading("Results");
    r.field("Largest deviation from exact", fix(largest, 4) + " C (grid of 20 intervals)");
    r.field("Accepted steps", QString::number(run.steps.accepted));
    r.field("Rejected steps", QString::number(run.steps.rejected));

    Answer a{"Heat-ivp", r.bytes(), {}, true, true};
    a.plot.title = "Heat-ivp: temperature in the slab";
    a.plot.xLabel = "x [m]";
    a.plot.yLabel = "T [C]";
    for (double t : {60.0, 300.0, 600.0, 1200.0}) {
        const auto k
            = std::size_t(std::find(run.times.begin(), run.times.end(), t) - run.times.begin());
        std::vector<double> xs, ys;
        for (int i = 0; i <= 20; ++i) {
            xs.push_back(i * 0.005);
            ys.push_back(run.nodes[k][std::size_t(i)]);
        }
        a.plot.series << makeSeries(QStringLiteral("t = %1 s").arg(t), xs, ys);
    }
    return a;
}

} // namespace

// ---- 1-D, 2-D, 3-D heat transfer -----------------------------------------------

namespace {
constexpr double GridDiffusivity = 1e-4;
}

double barExact(double x, double t)
{
    const double a = GridDiffusivity * Pi * Pi * t;
    return 100.0 * std::exp(-a) * std::sin(Pi * x)
           + 50.0 * std::exp(-9.0 * a) * std::sin(3.0 * Pi * x);
}

double plateExact(double x, double y, double t)
{
    const double a = GridDiffusivity * Pi * Pi * t;
    return 100.0 * std::exp(-2.0 * a) * std::sin(Pi * x) * std::sin(Pi * y)
           + 40.0 * std::exp(-5.0 * a) * std::sin(2.0 * Pi * x) * std::sin(Pi * y);
}

double cubeExact(double x, double y, double z, double t)
{
    return 100.0 * std::exp(-3.0 * GridDiffusivity * Pi * Pi * t) * std::sin(Pi * x)
           * std::sin(Pi * y) * std::sin(Pi * z);
}

namespace {

// Interior values of a grid with m = intervals-1 nodes per direction, x fastest.
State sampleGrid(int dims, int intervals, const std::function<double(double, double, double)> &u)
{
    const int m = intervals - 1;
    const double h = 1.0 / intervals;
    const int ny = dims >= 2 ? m : 1, nz = dims >= 3 ? m : 1;
    State v;
    for (int k = 0; k < nz; ++k)
        for (int j = 0; j < ny; ++j)
            for (int i = 0; i < m; ++i)
                v.push_back(
                    u((i + 1) * h, dims >= 2 ? (j + 1) * h : 0.5, dims >= 3 ? (k + 1) * h : 0.5));
    return v;
}

// The Laplacian on the interior of a grid whose boundary is held at 0.
void gridLaplacian(int dims, int intervals, const State &u, State &out)
{
    const int m = intervals - 1;
    const double inv = double(intervals) * intervals;
    const int ny = dims >= 2 ? m : 1, nz = dims >= 3 ? m : 1;
    auto at = [&](int i, int j, int k) {
        if (i < 0 || i >= m || j < 0 || j >= ny || k < 0 || k >= nz)
            return 0.0;
        return u[std::size_t((k * ny + j) * m + i)];
    };
    for (int k = 0; k < nz; ++k)
        for (int j = 0; j < ny; ++j)
            for (int i = 0; i < m; ++i) {
                double s = at(i - 1, j, k) + at(i + 1, j, k) - 2.0 * at(i, j, k);
                if (dims >= 2)
                    s += at(i, j - 1, k) + at(i, j + 1, k) - 2.0 * at(i, j, k);
                if (dims >= 3)
                    s += at(i, j, k - 1) + at(i, j, k + 1) - 2.0 * at(i, j, k);
                out[std::size_t((k * ny + j) * m + i)] = s * inv;
            }
}

double gridError(int dims, int intervals, const State &u, double t)
{
    const State exact = sampleGrid(dims, intervals, [&](double x, double y, double z) {
        return dims == 1 ? barExact(x, t) : dims == 2 ? plateExact(x, y, t) : cubeExact(x, y, z, t);
    });
    double e = 0.0;
    for (std::size_t i = 0; i < u.size(); ++i)
        e = std::max(e, std::abs(u[i] - exact[i]));
    return e;
}

GridRun runGrid(int dims, int intervals, const std::vector<double> &times, double tol)
{
    GridRun run;
    run.intervals = intervals;
    State u = sampleGrid(dims, intervals, [&](double x, double y, double z) {
        return dims == 1 ? barExact(x, 0) : dims == 2 ? plateExact(x, y, 0) : cubeExact(x, y, z, 0);
    });
    auto rhs = [&](const State &y, State &dy, double) {
        gridLaplacian(dims, intervals, y, dy);
        for (double &v : dy)
            v *= GridDiffusivity;
    };
    std::vector<double> outputs(times.begin() + 1, times.end());
    const StepCounts c = integrateRkf45(
        rhs,
        u,
        0.0,
        outputs,
        [&](double t, const State &y) {
            run.times.push_back(t);
            run.values.push_back(y);
            run.largestError = std::max(run.largestError, gridError(dims, intervals, y, t));
        },
        tol,
        tol);
    run.steps = c.accepted;
    return run;
}

} // namespace

GridRun solveBar()
{
    return runGrid(1, 40, {0, 250, 500, 750, 1000}, 1e-8);
}

GridRun solvePlate()
{
    return runGrid(2, 20, {0, 100, 250, 500}, 1e-6);
}

GridRun solveCube()
{
    GridRun run;
    run.intervals = 10;
    State u = sampleGrid(3, 10, [](double x, double y, double z) { return cubeExact(x, y, z, 0); });
    auto rhs = [&](const State &y, State &dy, double) {
        gridLaplacian(3, 10, y, dy);
        for (double &v : dy)
            v *= GridDiffusivity;
    };
    run.steps = integrateEuler(
        rhs,
        u,
        0.0,
        10.0,
        100,
        [&](double t, const State &y) {
            run.times.push_back(t);
            run.values.push_back(y);
        },
        10);
    run.largestError = gridError(3, 10, run.values.back(), 1000.0);
    return run;
}

namespace {

Answer answerBar()
{
    const GridRun run = solveBar();
    Report r = openReport("1d-Kelvara",
                          "1-D heat transfer, general case",
                          "RKF45",
                          {"method of lines, 40 intervals; Runge-Kutta 4(5) (Cash-Karp),",
                           "adaptive step, tolerances 1e-8"});
    r.heading("Model");
    r.line("  du/dt = alpha d2u/dx2 on 0 < x < 1 m, alpha = 1.0e-4 m2/s, u(0,t) = u(1,t) = 0 C");
    r.line("  u(x,0) = 100 sin(pi x) + 50 sin(3 pi x) C");
    r.heading("Temperature u(x,t) in C");
    QStringList headers = {"t [s]"};
    for (int i = 1; i <= 9; ++i)
        headers << QStringLiteral("x=%1").arg(fix(i * 0.1, 1));
    headers << "exact x=0.5";
    std::vector<QStringList> rows;
    for (std::size_t k = 0; k < run.times.size(); ++k) {
        QStringList row = {fix(run.times[k], 0)};
        for (int i = 1; i <= 9; ++i)
            row << fix(run.values[k][std::size_t(4 * i - 1)], 3);
        row << fix(barExact(0.5, run.times[k]), 3);
        rows.push_back(row);
    }
    r.table(headers, rows);
    r.heading("Results");
    r.field("Largest deviation from exact", fix(run.largestError, 5) + " C");
    r.field("Accepted steps", QString::number(run.steps));

    Answer a{"1d-Kelvara", r.bytes(), {}, true, false};
    a.plot.title = "1d-Kelvara: temperature along the bar";
    a.plot.xLabel = "x [m]";
    a.plot.yLabel = "u [C]";
    for (std::size_t k : {std::size_t(0), std::size_t(1), std::size_t(2), std::size_t(4)}) {
        std::vector<double> xs = {0.0}, ys = {0.0};
        for (int i = 0; i < 39; ++i) {
            xs.push_back((i + 1) * 0.025);
            ys.push_back(run.values[k][std::size_t(i)]);
        }
        xs.push_back(1.0);
        ys.push_back(0.0);
        a.plot.series << makeSeries(QStringLiteral("t = %1 s").arg(run.times[k]), xs, ys);
    }
    return a;
}

Answer answerPlate()
{
    const GridRun run = solvePlate();
    Report r = openReport("2d-Kelvara",
                          "2-D heat transfer, general case",
                          "RKF45",
                          {"method of lines, 20 x 20 intervals, five-point Laplacian;",
                           "Runge-Kutta 4(5) (Cash-Karp), adaptive step, tolerances 1e-6"});
    r.heading("Model");
    r.line("  du/dt = alpha (d2u/dx2 + d2u/dy2) on the square 1 m x 1 m, alpha = 1.0e-4 m2/s");
    r.line("  edges held at 0 C; u(x,y,0) = 100 sin(pi x) sin(pi y) + 40 sin(2 pi x) sin(pi y) C");
    r.heading("Temperature u(x, 0.5 m, t) in C");
    QStringList headers = {"t [s]"};
    for (int i = 1; i <= 9; ++i)
        headers << QStringLiteral("x=%1").arg(fix(i * 0.1, 1));
    std::vector<QStringList> rows;
    const int m = 19, row = 9; // y = 0.5 m is the tenth interior row
    for (std::size_t k = 0; k < run.times.size(); ++k) {
        QStringList cells = {fix(run.times[k], 0)};
        for (int i = 1; i <= 9; ++i)
            cells << fix(run.values[k][std::size_t(row * m + 2 * i - 1)], 3);
        rows.push_back(cells);
    }
    r.table(headers, rows);
    r.heading("Results");
    r.field("Centre u(0.5, 0.5, 500 s)",
            fix(run.values.back()[std::size_t(row * m + 9)], 4) + " C");
    r.field("Exact value there", fix(plateExact(0.5, 0.5, 500.0), 4) + " C");
    r.field("Largest deviation from exact", fix(run.largestError, 4) + " C");
    r.field("Accepted steps", QString::number(run.steps));

    Answer a{"2d-Kelvara", r.bytes(), {}, true, true};
    a.plot.title = "2d-Kelvara: temperature along y = 0.5 m";
    a.plot.xLabel = "x [m]";
    a.plot.yLabel = "u [C]";
    for (std::size_t k = 0; k < run.times.size(); ++k) {
        std::vector<double> xs = {0.0}, ys = {0.0};
        for (int i = 0; i < m; ++i) {
            xs.push_back((i + 1) * 0.05);
            ys.push_back(run.values[k][std::size_t(row * m + i)]);
        }
        xs.push_back(1.0);
        ys.push_back(0.0);
        a.plot.series << makeSeries(QStringLiteral("t = %1 s").arg(run.times[k]), xs, ys);
    }
    return a;
}

Answer answerCube()
{
    const GridRun run = solveCube();
    Report r = openReport("3d-Kelvara",
                          "3-D heat transfer, general case",
                          "EULER",
                          {"finite differences, 10 x 10 x 10 intervals, seven-point Laplacian;",
                           "explicit Euler, dt = 10 s (stable below 16.7 s), 100 steps"});
    r.heading("Model");
    r.line("  du/dt = alpha (d2u/dx2 + d2u/dy2 + d2u/dz2) in the unit cube, alpha = 1.0e-4 m2/s");
    r.line("  faces held at 0 C; u(x,y,z,0) = 100 sin(pi x) sin(pi y) sin(pi z) C");
    const int m = 9;
    const std::size_t centre = std::size_t((4 * m + 4) * m + 4);
    r.heading("Centre temperature in C");
    std::vector<QStringList> rows;
    std::vector<double> ts, computed, exact;
    for (std::size_t k = 0; k < run.times.size(); ++k) {
        const double e = cubeExact(0.5, 0.5, 0.5, run.times[k]);
        rows.push_back({fix(run.times[k], 0),
                        fix(run.values[k][centre], 4),
                        fix(e, 4),
                        fix(run.values[k][centre] - e, 4)});
        ts.push_back(run.times[k]);
        computed.push_back(run.values[k][centre]);
        exact.push_back(e);
    }
    r.table({"t [s]", "computed", "exact", "difference"}, rows);
    r.heading("Profile along y = z = 0.5 m at t = 1000 s");
    rows.clear();
    for (int i = 0; i < m; ++i)
        rows.push_back({fix((i + 1) * 0.1, 1),
                        fix(run.values.back()[std::size_t((4 * m + 4) * m + i)], 4),
                        fix(cubeExact((i + 1) * 0.1, 0.5, 0.5, 1000.0), 4)});
    r.table({"x [m]", "computed", "exact"}, rows);
    r.heading("Results");
    r.field("Largest deviation at t = 1000 s", fix(run.largestError, 4) + " C");
    r.field("Euler steps", QString::number(run.steps));

    Answer a{"3d-Kelvara", r.bytes(), {}, false, true};
    a.plot.title = "3d-Kelvara: centre temperature";
    a.plot.xLabel = "t [s]";
    a.plot.yLabel = "u [C]";
    a.plot.series << makeSeries("explicit Euler", ts, computed) << makeSeries("exact", ts, exact);
    return a;
}

} // namespace

// ---- Heat-bvp ------------------------------------------------------------------

namespace {
constexpr double BvpL = 0.05, BvpQ = 2.0e6, BvpK0 = 15.0, BvpBeta = 0.002, BvpH = 500.0,
                 BvpAir = 20.0, BvpWall = 100.0;

double bvpK(double T)
{
    return BvpK0 * (1.0 + BvpBeta * (T - 20.0));
}

double kirchhoff(double T)
{
    const double u = T - 20.0;
    return BvpK0 * (u + 0.5 * BvpBeta * u * u);
}

double kirchhoffInverse(double K)
{
    return 20.0 + (-1.0 + std::sqrt(1.0 + 2.0 * BvpBeta * K / BvpK0)) / BvpBeta;
}

double bvpExactSurface()
{
    // k0 beta/2 u^2 + (k0 + h L) u - (K(100) + q L^2/2) = 0, u = T(L) - 20.
    const double a = 0.5 * BvpK0 * BvpBeta, b = BvpK0 + BvpH * BvpL;
    const double c = -(kirchhoff(BvpWall) + 0.5 * BvpQ * BvpL * BvpL);
    return 20.0 + (-b + std::sqrt(b * b - 4.0 * a * c)) / (2.0 * a);
}

// One shot: T and Q at the 11 points for the initial gradient s.
void shootSlab(double s,
               std::vector<double> *x,
               std::vector<double> *T,
               std::vector<double> *Q,
               double *residual)
{
    auto rhs = [](const State &y, State &dy, double) {
        dy[0] = -y[1] / bvpK(y[0]);
        dy[1] = BvpQ;
    };
    State y = {BvpWall, -bvpK(BvpWall) * s};
    std::vector<double> outputs;
    for (int i = 1; i <= 10; ++i)
        outputs.push_back(i * BvpL / 10.0);
    integrateRkf45(
        rhs,
        y,
        0.0,
        outputs,
        [&](double t, const State &v) {
            if (x) {
                x->push_back(t);
                T->push_back(v[0]);
                Q->push_back(v[1]);
            }
        },
        1e-8,
        1e-8);
    if (residual)
        *residual = y[1] - BvpH * (y[0] - BvpAir);
}

} // namespace

double slabBvpExact(double x)
{
    const double q0 = BvpH * (bvpExactSurface() - BvpAir) - BvpQ * BvpL;
    return kirchhoffInverse(kirchhoff(BvpWall) - q0 * x - 0.5 * BvpQ * x * x);
}

SlabBvp solveSlabBvp()
{
    SlabBvp out;
    out.shooting = newtonScalar(
        [](double s) {
            double r = 0.0;
            shootSlab(s, nullptr, nullptr, nullptr, &r);
            return r;
        },
        0.0,
        1e-6);
    shootSlab(out.shooting.root, &out.x, &out.T, &out.Q, nullptr);
    out.exactSurface = bvpExactSurface();
    return out;
}

namespace {

Answer answerSlabBvp()
{
    const SlabBvp run = solveSlabBvp();
    Report r = openReport("Heat-bvp",
                          "Heat transfer on a slab (boundary value problem)",
                          "NEWTON/RKF45",
                          {"shooting on the initial gradient dT/dx(0): Newton's method,",
                           "forward-difference derivative; each shot by Runge-Kutta 4(5)",
                           "(Cash-Karp), tolerances 1e-8"});
    r.heading("Model");
    r.line("  dT/dx = -Q/k(T), dQ/dx = q; k(T) = 15 (1 + 0.002 (T - 20)) W/(m K), q = 2.0e6 W/m3");
    r.line("  slab 0 <= x <= 0.05 m; T(0) = 100 C; Q(L) = h (T(L) - 20 C), h = 500 W/(m2 K)");
    r.heading("Newton iterations");
    r.table({"iteration", "dT/dx(0) [K/m]", "residual [W/m2]"},
            scalarIterationRows(run.shooting, 6));
    r.heading("Solution");
    std::vector<QStringList> rows;
    std::size_t hottest = 0;
    for (std::size_t i = 0; i < run.x.size(); ++i) {
        rows.push_back({fix(run.x[i] * 1000.0, 1),
                        fix(run.T[i], 4),
                        fix(slabBvpExact(run.x[i]), 4),
                        fix(run.Q[i], 2)});
        if (run.T[i] > run.T[hottest])
            hottest = i;
    }
    r.table({"x [mm]", "T [C]", "T exact [C]", "Q [W/m2]"}, rows);
    r.heading("Results");
    r.field("Converged", run.shooting.converged ? "yes" : "NO");
    r.field("Initial gradient dT/dx(0)", fix(run.shooting.root, 6) + " K/m");
    r.field("Heat flux Q(0)", fix(run.Q.front(), 3) + " W/m2 (negative: into the wall)");
    r.field("Surface temperature T(L)", fix(run.T.back(), 6) + " C");
    r.field("Exact T(L) (Kirchhoff transform)", fix(run.exactSurface, 6) + " C");
    r.field("Hottest of the 11 points",
            fix(run.T[hottest], 4) + " C at x = " + fix(run.x[hottest] * 1000.0, 1) + " mm");

    Answer a{"Heat-bvp", r.bytes(), {}, true, false};
    a.plot.title = "Heat-bvp: shots of the Newton iteration";
    a.plot.xLabel = "x [mm]";
    a.plot.yLabel = "T [C]";
    for (std::size_t k = 0; k < run.shooting.history.size(); ++k) {
        std::vector<double> xs, ts, qs;
        shootSlab(run.shooting.history[k].s, &xs, &ts, &qs, nullptr);
        for (double &v : xs)
            v *= 1000.0;
        a.plot.series << makeSeries(QStringLiteral("shot %1").arg(k), xs, ts);
    }
    return a;
}

} // namespace

// ---- 3d-Kelvara-BVP -------------------------------------------------------------

State steadyCube(double ta, double tb, int intervals, long *steps)
{
    const int m = intervals - 1;
    auto face = [&](int i) { return i < 0 ? ta : i >= m ? tb : 20.0; };
    State T(std::size_t(m * m * m), 20.0), next(T.size());
    auto at = [&](const State &u, int i, int j, int k) {
        if (i < 0 || i >= m)
            return face(i);
        if (j < 0 || j >= m || k < 0 || k >= m)
            return 20.0;
        return u[std::size_t((k * m + j) * m + i)];
    };
    // Explicit Euler on dT/dt = alpha lap T with dt = h^2/(6 alpha): each step
    // replaces a node by the mean of its six neighbours.
    long n = 0;
    for (; n < 100000; ++n) {
        double change = 0.0;
        for (int k = 0; k < m; ++k)
            for (int j = 0; j < m; ++j)
                for (int i = 0; i < m; ++i) {
                    const double v
                        = (at(T, i - 1, j, k) + at(T, i + 1, j, k) + at(T, i, j - 1, k)
                           + at(T, i, j + 1, k) + at(T, i, j, k - 1) + at(T, i, j, k + 1))
                          / 6.0;
                    const std::size_t idx = std::size_t((k * m + j) * m + i);
                    change = std::max(change, std::abs(v - T[idx]));
                    next[idx] = v;
                }
        T.swap(next);
        if (change < 1e-10) {
            ++n;
            break;
        }
    }
    if (steps)
        *steps = n;
    return T;
}

CubeBvp solveCubeBvp()
{
    CubeBvp out;
    const int m = out.intervals - 1;
    const std::size_t p1 = std::size_t((3 * m + 3) * m + 1), p2 = std::size_t((3 * m + 3) * m + 5);
    auto F = [&](const Vec &v) {
        long steps = 0;
        const State T = steadyCube(v[0], v[1], out.intervals, &steps);
        out.eulerStepsTotal += steps;
        ++out.solves;
        Vec r(2);
        r << T[p1] - 60.0, T[p2] - 40.0;
        return r;
    };
    Vec x0(2);
    x0 << 50.0, 50.0;
    out.broyden = broyden(F, x0, 1e-7);
    out.field = steadyCube(out.broyden.root[0], out.broyden.root[1], out.intervals, nullptr);
    return out;
}

namespace {

Answer answerCubeBvp()
{
    const CubeBvp run = solveCubeBvp();
    const int m = run.intervals - 1;
    Report r = openReport("3d-Kelvara-BVP",
                          "3-D heat transfer BVP",
                          "BROYDEN/EULER",
                          {"unknown face temperatures by Broyden's method (first Jacobian by",
                           "forward differences); each steady state by explicit Euler time",
                           "marching, dt = h^2/(6 alpha), until the change is below 1e-10 C"});
    r.heading("Model");
    r.line(
        "  lap T = 0 in the unit cube, 8 x 8 x 8 intervals; face x = 0 at Ta, face x = 1 m at Tb,");
    r.line("  the other faces at 20 C; find Ta, Tb with T(0.25,0.5,0.5) = 60 C, T(0.75,0.5,0.5) = "
           "40 C");
    r.heading("Broyden iterations");
    std::vector<QStringList> rows;
    for (std::size_t i = 0; i < run.broyden.history.size(); ++i) {
        const SystemIterate &it = run.broyden.history[i];
        rows.push_back({QString::number(i),
                        fix(it.x[0], 6),
                        fix(it.x[1], 6),
                        sci(it.residual[0], 3),
                        sci(it.residual[1], 3)});
    }
    r.table({"iteration", "Ta [C]", "Tb [C]", "residual 1 [C]", "residual 2 [C]"}, rows);
    r.heading("Centre line y = z = 0.5 m");
    rows.clear();
    std::vector<double> xs = {0.0}, ts = {run.broyden.root[0]};
    for (int i = 0; i < m; ++i) {
        const double v = run.field[std::size_t((3 * m + 3) * m + i)];
        rows.push_back({fix((i + 1) * 0.125, 3), fix(v, 5)});
        xs.push_back((i + 1) * 0.125);
        ts.push_back(v);
    }
    xs.push_back(1.0);
    ts.push_back(run.broyden.root[1]);
    r.table({"x [m]", "T [C]"}, rows);
    r.heading("Results");
    r.field("Converged", run.broyden.converged ? "yes" : "NO");
    r.field("Face temperature Ta", fix(run.broyden.root[0], 6) + " C");
    r.field("Face temperature Tb", fix(run.broyden.root[1], 6) + " C");
    r.field("Steady-state solves", QString::number(run.solves));
    r.field("Euler steps in all", QString::number(run.eulerStepsTotal));

    Answer a{"3d-Kelvara-BVP", r.bytes(), {}, false, true};
    a.plot.title = "3d-Kelvara-BVP: centre-line temperature";
    a.plot.xLabel = "x [m]";
    a.plot.yLabel = "T [C]";
    a.plot.series << makeSeries("T(x, 0.5, 0.5)", xs, ts)
                  << makeSeries("targets", {0.25, 0.75}, {60.0, 40.0});
    return a;
}

} // namespace

// ---- Heat-Fin ------------------------------------------------------------------

namespace {
constexpr double FinL = 0.05, FinT0 = 0.004, FinTL = 0.002, FinK = 200.0, FinBase = 80.0;
constexpr int FinSteps = 500;

double finThickness(double x)
{
    return FinT0 + (FinTL - FinT0) * x / FinL;
}

// Convective heat flux h(theta) theta = 3 |theta|^1.25, signed.
double finFlux(double theta)
{
    return 3.0 * std::copysign(std::pow(std::abs(theta), 1.25), theta);
}

double finH(double theta)
{
    return 3.0 * std::pow(std::abs(theta), 0.25);
}

void shootFin(double s,
              std::vector<double> *x,
              std::vector<double> *theta,
              std::vector<double> *q,
              double *residual)
{
    auto rhs = [](const State &y, State &dy, double xx) {
        dy[0] = y[1] / (FinK * finThickness(xx));
        dy[1] = 2.0 * finFlux(y[0]);
    };
    State y = {FinBase, FinK * FinT0 * s};
    integrateRk4(rhs, y, 0.0, FinL / FinSteps, FinSteps, [&](double xx, const State &v) {
        if (x) {
            x->push_back(xx);
            theta->push_back(v[0]);
            q->push_back(v[1]);
        }
    });
    if (residual)
        *residual = y[1] + finFlux(y[0]) * FinTL;
}

} // namespace

FinRun solveFin()
{
    FinRun run;
    run.shooting = newtonScalar(
        [](double s) {
            double r = 0.0;
            shootFin(s, nullptr, nullptr, nullptr, &r);
            return r;
        },
        0.0,
        1e-10);
    shootFin(run.shooting.root, &run.x, &run.theta, &run.q, nullptr);
    run.baseHeat = -FinK * FinT0 * run.shooting.root;
    const double h = FinL / FinSteps;
    double sum = 0.0;
    for (int i = 0; i <= FinSteps; ++i) {
        const double w = (i == 0 || i == FinSteps) ? 1.0 : (i % 2 ? 4.0 : 2.0);
        sum += w * 2.0 * finFlux(run.theta[std::size_t(i)]);
    }
    run.faceLoss = sum * h / 3.0;
    run.tipLoss = finFlux(run.theta.back()) * FinTL;
    run.efficiency = run.baseHeat / (finFlux(FinBase) * (2.0 * FinL + FinTL));
    return run;
}

namespace {

Answer answerFin()
{
    const FinRun run = solveFin();
    Report r = openReport("Heat-Fin",
                          "Heat transfer in a tapered fin",
                          "NEWTON/RK4",
                          {"shooting on dtheta/dx(0): Newton's method, forward-difference",
                           "derivative; each shot by classical Runge-Kutta, 500 fixed steps"});
    r.heading("Model");
    r.line("  d/dx(k t(x) dtheta/dx) = 2 h(theta) theta, theta = T - 20 C, per metre of width");
    r.line("  k = 200 W/(m K); t(x) = 4 mm tapering linearly to 2 mm at x = L = 50 mm");
    r.line(
        "  h(theta) = 3.0 theta^0.25 W/(m2 K); theta(0) = 80 K; tip: -k tL theta'(L) = h theta tL");
    r.heading("Newton iterations");
    r.table({"iteration", "dtheta/dx(0) [K/m]", "residual [W/m]"},
            scalarIterationRows(run.shooting, 6));
    r.heading("Temperature along the fin");
    std::vector<QStringList> rows;
    for (int i = 0; i <= FinSteps; i += 50)
        rows.push_back({fix(run.x[std::size_t(i)] * 1000.0, 0),
                        fix(run.theta[std::size_t(i)] + 20.0, 4),
                        fix(finH(run.theta[std::size_t(i)]), 4),
                        fix(run.q[std::size_t(i)], 4)});
    r.table({"x [mm]", "T [C]", "h [W/(m2 K)]", "k t dtheta/dx [W/m]"}, rows);
    r.heading("Results");
    r.field("Converged", run.shooting.converged ? "yes" : "NO");
    r.field("Heat taken from the base", fix(run.baseHeat, 4) + " W per m of width");
    r.field("Lost from both faces", fix(run.faceLoss, 4) + " W/m (Simpson's rule)");
    r.field("Lost from the tip", fix(run.tipLoss, 4) + " W/m");
    r.field("Energy balance (base - losses)",
            sci(run.baseHeat - run.faceLoss - run.tipLoss, 3) + " W/m");
    r.field("Tip temperature", fix(run.theta.back() + 20.0, 4) + " C");
    r.field("Fin efficiency", fix(run.efficiency, 4));

    Answer a{"Heat-Fin", r.bytes(), {}, true, false};
    a.plot.title = "Heat-Fin: temperature and heat transfer coefficient";
    a.plot.xLabel = "x [mm]";
    a.plot.yLabel = "T [C], h [W/(m2 K)]";
    std::vector<double> xs, ts, hs;
    for (int i = 0; i <= FinSteps; i += 10) {
        xs.push_back(run.x[std::size_t(i)] * 1000.0);
        ts.push_back(run.theta[std::size_t(i)] + 20.0);
        hs.push_back(finH(run.theta[std::size_t(i)]));
    }
    a.plot.series << makeSeries("T(x)", xs, ts) << makeSeries("h(x)", xs, hs);
    return a;
}

} // namespace

// ---- Heat-ip -------------------------------------------------------------------

namespace {
const std::vector<double> IpTimes = {200, 400, 600, 800, 1000};
const std::vector<double> IpTargets = {38.22, 62.04, 76.82, 85.85, 91.36};
} // namespace

SlabFit solveSlabFit()
{
    SlabFit fit;
    auto residuals = [](const Vec &p) {
        Slab slab;
        slab.diffusivity = p[0] * 1e-5;
        const SlabRun run = solveSlab(slab, IpTimes, 1e-8);
        Vec r(Eigen::Index(IpTimes.size()));
        for (std::size_t i = 0; i < IpTimes.size(); ++i)
            r[Eigen::Index(i)] = run.nodes[i].back() - IpTargets[i];
        return r;
    };
    Vec p0(1);
    p0 << 0.5;
    fit.lsq = levenbergMarquardt(residuals, p0, 100, 1e-6);
    fit.alpha = fit.lsq.p[0] * 1e-5;
    return fit;
}

namespace {

Answer answerSlabFit()
{
    const SlabFit fit = solveSlabFit();
    Report r = openReport("Heat-ip",
                          "Heat transfer on a slab (inverse problem)",
                          "LSQ/RKF45",
                          {"Levenberg-Marquardt least squares on alpha = p * 1e-5 m2/s;",
                           "each model run by the method of lines (20 intervals) and",
                           "Runge-Kutta 4(5) (Cash-Karp), tolerances 1e-8"});
    r.heading("Model");
    r.line(
        "  the slab of Heat-ivp (L = 0.10 m, T(x,0) = 20 C, T(0,t) = 100 C, insulated at x = L)");
    r.line("  with unknown diffusivity; targets: T(L,t) at t = 200, 400, 600, 800, 1000 s");
    r.heading("Least-squares iterations");
    std::vector<QStringList> rows;
    for (std::size_t i = 0; i < fit.lsq.history.size(); ++i)
        rows.push_back({QString::number(i),
                        fix(fit.lsq.history[i].p[0], 8),
                        sci(fit.lsq.history[i].sumOfSquares, 6)});
    r.table({"iteration", "p", "sum of squares [C2]"}, rows);
    r.heading("Fit");
    rows.clear();
    for (std::size_t i = 0; i < IpTimes.size(); ++i)
        rows.push_back({fix(IpTimes[i], 0),
                        fix(IpTargets[i], 2),
                        fix(IpTargets[i] + fit.lsq.residuals[Eigen::Index(i)], 4),
                        fix(fit.lsq.residuals[Eigen::Index(i)], 4)});
    r.table({"t [s]", "target T(L) [C]", "model [C]", "residual [C]"}, rows);
    Slab slab;
    slab.diffusivity = fit.alpha;
    const SlabRun at1000 = solveSlab(slab, {1000.0});
    r.heading("Slab at t = 1000 s with the fitted diffusivity");
    rows.clear();
    for (int i = 0; i <= 20; i += 4)
        rows.push_back({fix(i * 0.005, 2), fix(at1000.nodes.back()[std::size_t(i)], 3)});
    r.table({"x [m]", "T [C]"}, rows);
    r.heading("Results");
    r.field("Converged", fit.lsq.converged ? "yes" : "NO");
    r.field("Fitted diffusivity alpha", sci(fit.alpha, 6) + " m2/s");
    r.field("Sum of squares", sci(fit.lsq.sumOfSquares, 4) + " C2");
    r.field("Model evaluations", QString::number(fit.lsq.evaluations));

    Answer a{"Heat-ip", r.bytes(), {}, true, false};
    a.plot.title = "Heat-ip: insulated-face temperature";
    a.plot.xLabel = "t [s]";
    a.plot.yLabel = "T(L) [C]";
    const std::vector<double> grid = timeGrid(0.0, 1000.0, 20.0);
    const SlabRun curve = solveSlab(slab, grid);
    std::vector<double> ys;
    for (const State &s : curve.nodes)
        ys.push_back(s.back());
    a.plot.series << makeSeries("target", IpTimes, IpTargets)
                  << makeSeries("fitted model", grid, ys);
    return a;
}

} // namespace

std::vector<AnswerEntry> heatEntries()
{
    return {{"Heat-ivp", answerHeatIvp},
            {"1d-Kelvara", answerBar},
            {"2d-Kelvara", answerPlate},
            {"3d-Kelvara", answerCube},
            {"Heat-bvp", answerSlabBvp},
            {"3d-Kelvara-BVP", answerCubeBvp},
            {"Heat-Fin", answerFin},
            {"Heat-ip", answerSlabFit}};
}

} // namespace kv
