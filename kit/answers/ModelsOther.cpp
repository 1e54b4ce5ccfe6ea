// Pharm-IP, Pharm-Alg, fitExam, Algebra, BVP, IVP, ImpDEs, StiffDE, PDE-ivp and the
// integration guide.
#include "ModelsCommon.h"

#include <algorithm>

namespace kv {

// ---- pharmacokinetics -----------------------------------------------------------

namespace {
constexpr double Dose = 500.0, Volume = 50.0, PharmStep = 0.005;
const std::vector<double> PharmTimes = {0.5, 1, 2, 3, 4, 6, 8, 12};
const std::vector<double> PharmTargets
    = {4.2723, 6.2104, 6.9552, 6.2579, 5.2932, 3.6054, 2.4219, 1.0886};

// C at every ADAMS step of 0.005 h from 0 to tEnd.
std::vector<double> pharmOdeCurve(double ka, double ke, double tEnd)
{
    auto rhs = [ka, ke](const State &y, State &dy, double) {
        dy[0] = -ka * y[0];
        dy[1] = ka * y[0] / Volume - ke * y[1];
    };
    State y = {Dose, 0.0};
    std::vector<double> c;
    integrateAdams(
        rhs, y, 0.0, PharmStep, std::lround(tEnd / PharmStep), [&](double, const State &v) {
            c.push_back(v[1]);
        });
    return c;
}

} // namespace

double pharmClosedForm(double ka, double ke, double t)
{
    return Dose * ka / (Volume * (ka - ke)) * (std::exp(-ke * t) - std::exp(-ka * t));
}

PharmFit solvePharm(bool withOdes)
{
    PharmFit fit;
    auto residuals = [withOdes](const Vec &p) {
        Vec r(Eigen::Index(PharmTimes.size()));
        std::vector<double> curve;
        if (withOdes)
            curve = pharmOdeCurve(p[0], p[1], 12.0);
        for (std::size_t i = 0; i < PharmTimes.size(); ++i) {
            const double model = withOdes
                                     ? curve[std::size_t(std::lround(PharmTimes[i] / PharmStep))]
                                     : pharmClosedForm(p[0], p[1], PharmTimes[i]);
            r[Eigen::Index(i)] = model - PharmTargets[i];
        }
        return r;
    };
    Vec p0(2);
    p0 << 1.0, 0.5;
    fit.lsq = levenbergMarquardt(residuals, p0);
    const double ka = fit.lsq.p[0], ke = fit.lsq.p[1];
    fit.halfLife = std::log(2.0) / ke;
    if (withOdes) {
        const std::vector<double> c = pharmOdeCurve(ka, ke, 24.0);
        const auto peak = std::size_t(std::max_element(c.begin(), c.end()) - c.begin());
        // Parabola through the largest sample and its neighbours.
        const double a = c[peak - 1], b = c[peak], d = c[peak + 1];
        const double shift = 0.5 * (a - d) / (a - 2.0 * b + d);
        fit.peakTime = (double(peak) + shift) * PharmStep;
        fit.peakConcentration = b - 0.25 * (a - d) * shift;
        for (std::size_t i = peak; i + 1 < c.size(); ++i)
            if (c[i] >= 1.0 && c[i + 1] < 1.0) {
                fit.belowOneTime = (double(i) + (c[i] - 1.0) / (c[i] - c[i + 1])) * PharmStep;
                break;
            }
        for (std::size_t i = 0; i < c.size(); i += 20) {
            fit.curveT.push_back(double(i) * PharmStep);
            fit.curveC.push_back(c[i]);
        }
    } else {
        fit.peakTime = std::log(ka / ke) / (ka - ke);
        fit.peakConcentration = pharmClosedForm(ka, ke, fit.peakTime);
        double lo = fit.peakTime, hi = 100.0;
        while (hi - lo > 1e-12) {
            const double mid = 0.5 * (lo + hi);
            (pharmClosedForm(ka, ke, mid) >= 1.0 ? lo : hi) = mid;
        }
        fit.belowOneTime = 0.5 * (lo + hi);
        for (double t : timeGrid(0.0, 24.0, 0.1)) {
            fit.curveT.push_back(t);
            fit.curveC.push_back(pharmClosedForm(ka, ke, t));
        }
    }
    return fit;
}

namespace {

Answer pharmAnswer(bool withOdes)
{
    const PharmFit fit = solvePharm(withOdes);
    const QString stem = withOdes ? "Pharm-IP" : "Pharm-Alg";
    Report r = withOdes
                   ? openReport(stem,
                                "Pharmacokinetics inverse problem with ODEs",
                                "LSQ/ADAMS",
                                {"Levenberg-Marquardt least squares on (ka, ke); each model run",
                                 "by Adams-Bashforth-Moulton of order 5, fixed step 0.005 h"})
                   : openReport(stem,
                                "Pharmacokinetics inverse problem without ODEs",
                                "LSQ",
                                {"Levenberg-Marquardt least squares on (ka, ke) with the",
                                 "closed-form (Bateman) model"});
    r.heading("Model");
    if (withOdes) {
        r.line("  dAg/dt = -ka Ag, dC/dt = ka Ag/V - ke C; Ag(0) = D = 500 mg, C(0) = 0, V = 50 L");
    } else {
        r.line("  C(t) = D ka / (V (ka - ke)) (exp(-ke t) - exp(-ka t)), D = 500 mg, V = 50 L");
    }
    r.line("  fit ka, ke [1/h] to eight measured concentrations; start ka = 1.0, ke = 0.5");
    r.heading("Least-squares iterations");
    std::vector<QStringList> rows;
    for (std::size_t i = 0; i < fit.lsq.history.size(); ++i)
        rows.push_back({QString::number(i),
                        fix(fit.lsq.history[i].p[0], 8),
                        fix(fit.lsq.history[i].p[1], 8),
                        sci(fit.lsq.history[i].sumOfSquares, 6)});
    r.table({"iteration", "ka [1/h]", "ke [1/h]", "sum of squares"}, rows);
    r.heading("Fit");
    rows.clear();
    for (std::size_t i = 0; i < PharmTimes.size(); ++i)
        rows.push_back({fix(PharmTimes[i], 1),
                        fix(PharmTargets[i], 4),
                        fix(PharmTargets[i] + fit.lsq.residuals[Eigen::Index(i)], 5),
                        sci(fit.lsq.residuals[Eigen::Index(i)], 3)});
    r.table({"t [h]", "target C [mg/L]", "model C [mg/L]", "residual"}, rows);
    r.heading("Fitted concentration");
    rows.clear();
    for (std::size_t i = 0; i < fit.curveT.size(); i += 20)
        rows.push_back({fix(fit.curveT[i], 1), fix(fit.curveC[i], 5)});
    r.table({"t [h]", "C [mg/L]"}, rows);
    r.heading("Results");
    r.field("Converged", fit.lsq.converged ? "yes" : "NO");
    r.field("Absorption rate ka", fix(fit.lsq.p[0], 6) + " 1/h");
    r.field("Elimination rate ke", fix(fit.lsq.p[1], 6) + " 1/h");
    r.field("Elimination half-life ln2/ke", fix(fit.halfLife, 5) + " h");
    r.field("Peak", fix(fit.peakConcentration, 5) + " mg/L at t = " + fix(fit.peakTime, 4) + " h");
    r.field("C falls below 1 mg/L at", fix(fit.belowOneTime, 4) + " h");
    r.field("Sum of squares", sci(fit.lsq.sumOfSquares, 4));
    r.field("Model evaluations", QString::number(fit.lsq.evaluations));

    Answer a{stem, r.bytes(), {}, true, false};
    a.plot.title = stem + ": plasma concentration";
    a.plot.xLabel = "t [h]";
    a.plot.yLabel = "C [mg/L]";
    a.plot.series << makeSeries("target", PharmTimes, PharmTargets)
                  << makeSeries("fitted model", fit.curveT, fit.curveC);
    return a;
}

Answer answerPharmIp()
{
    return pharmAnswer(true);
}

Answer answerPharmAlg()
{
    return pharmAnswer(false);
}

// ---- fitExam ----------------------------------------------------------------------

const std::vector<double> FitX = {0.0, 0.5, 1.0, 1.5, 2.0, 2.5, 3.0, 3.5, 4.0, 4.5, 5.0, 5.5};
const std::vector<double> FitY
    = {6.030, 4.332, 3.297, 2.466, 2.019, 1.697, 1.424, 1.344, 1.194, 1.117, 1.122, 1.051};

double fitModel(const Vec &p, double x)
{
    return p[0] * std::exp(-p[1] * x) + p[2];
}

} // namespace

LsqResult solveFitExam()
{
    Vec p0(3);
    p0 << 1.0, 1.0, 0.0;
    return levenbergMarquardt(
        [](const Vec &p) {
            Vec r(Eigen::Index(FitX.size()));
            for (std::size_t i = 0; i < FitX.size(); ++i)
                r[Eigen::Index(i)] = fitModel(p, FitX[i]) - FitY[i];
            return r;
        },
        p0);
}

namespace {

Answer answerFitExam()
{
    const LsqResult fit = solveFitExam();
    Report r = openReport("fitExam",
                          "Complete application: least-squares curve fit",
                          "LSQ",
                          {"Levenberg-Marquardt, Jacobian by forward differences"});
    r.heading("Model");
    r.line("  y = a exp(-b x) + c fitted to twelve data points; start a = 1, b = 1, c = 0");
    r.heading("Least-squares iterations");
    std::vector<QStringList> rows;
    for (std::size_t i = 0; i < fit.history.size(); ++i)
        rows.push_back({QString::number(i),
                        fix(fit.history[i].p[0], 6),
                        fix(fit.history[i].p[1], 6),
                        fix(fit.history[i].p[2], 6),
                        sci(fit.history[i].sumOfSquares, 6)});
    r.table({"iteration", "a", "b", "c", "sum of squares"}, rows);
    r.heading("Data and fit");
    rows.clear();
    for (std::size_t i = 0; i < FitX.size(); ++i)
        rows.push_back({fix(FitX[i], 1),
                        fix(FitY[i], 3),
                        fix(fitModel(fit.p, FitX[i]), 5),
                        fix(fit.residuals[Eigen::Index(i)], 5)});
    r.table({"x", "y data", "y fit", "residual"}, rows);
    r.heading("Results");
    r.field("Converged", fit.converged ? "yes" : "NO");
    r.field("a", fix(fit.p[0], 6));
    r.field("b", fix(fit.p[1], 6));
    r.field("c", fix(fit.p[2], 6));
    r.field("Sum of squares", sci(fit.sumOfSquares, 5));
    r.field("Standard error of the fit",
            fix(std::sqrt(fit.sumOfSquares / double(FitX.size() - 3)), 5));

    Answer a{"fitExam", r.bytes(), {}, true, false};
    a.plot.title = "fitExam: data and fitted curve";
    a.plot.xLabel = "x";
    a.plot.yLabel = "y";
    std::vector<double> xs, ys;
    for (double x : timeGrid(0.0, 5.5, 0.05)) {
        xs.push_back(x);
        ys.push_back(fitModel(fit.p, x));
    }
    a.plot.series << makeSeries("data", FitX, FitY) << makeSeries("a exp(-b x) + c", xs, ys);
    return a;
}

} // namespace

// ---- Algebra ----------------------------------------------------------------------

SystemRootResult solveAlgebra()
{
    Vec x0(2);
    x0 << 2.0, 0.5;
    return newtonSystem(
        [](const Vec &v) {
            Vec f(2);
            f << v[0] * v[0] + v[1] * v[1] - 4.0, v[0] * v[1] - 1.0;
            return f;
        },
        [](const Vec &v) {
            Mat J(2, 2);
            J << 2.0 * v[0], 2.0 * v[1], v[1], v[0];
            return J;
        },
        x0,
        1e-14);
}

namespace {

Answer answerAlgebra()
{
    const SystemRootResult run = solveAlgebra();
    Report r = openReport("Algebra",
                          "Algebra problem (template)",
                          QString(),
                          {"Newton's method with the analytic Jacobian"});
    r.heading("Model");
    r.line("  x^2 + y^2 = 4, x y = 1; start (x, y) = (2, 0.5)");
    r.heading("Newton iterations");
    std::vector<QStringList> rows;
    for (std::size_t i = 0; i < run.history.size(); ++i)
        rows.push_back({QString::number(i),
                        fix(run.history[i].x[0], 12),
                        fix(run.history[i].x[1], 12),
                        sci(run.history[i].residual.lpNorm<Eigen::Infinity>(), 3)});
    r.table({"iteration", "x", "y", "|F|"}, rows);
    r.heading("Results");
    r.field("Converged", run.converged ? "yes" : "NO");
    r.field("x", fix(run.root[0], 12));
    r.field("y", fix(run.root[1], 12));
    r.field("Exact x = sqrt(2 + sqrt 3)", fix(std::sqrt(2.0 + std::sqrt(3.0)), 12));

    Answer a{"Algebra", r.bytes(), {}, true, false};
    a.plot.title = "Algebra: Newton iterates";
    a.plot.xLabel = "x";
    a.plot.yLabel = "y";
    std::vector<double> ix, iy, cx, cy, hx, hy;
    for (const SystemIterate &it : run.history) {
        ix.push_back(it.x[0]);
        iy.push_back(it.x[1]);
    }
    for (double x : timeGrid(1.7, 2.0, 0.01)) {
        cx.push_back(x);
        cy.push_back(std::sqrt(std::max(0.0, 4.0 - x * x)));
        hx.push_back(x);
        hy.push_back(1.0 / x);
    }
    a.plot.series << makeSeries("iterates", ix, iy) << makeSeries("x^2 + y^2 = 4", cx, cy)
                  << makeSeries("x y = 1", hx, hy);
    return a;
}

// ---- BVP template -------------------------------------------------------------------

void shootTemplate(double s, std::vector<double> *xs, std::vector<double> *ys, double *end)
{
    auto rhs = [](const State &y, State &dy, double) {
        dy[0] = y[1];
        dy[1] = 1.5 * y[0] * y[0];
    };
    State y = {4.0, s};
    std::vector<double> outputs;
    for (int i = 1; i <= 10; ++i)
        outputs.push_back(i * 0.1);
    integrateRkf45(
        rhs,
        y,
        0.0,
        outputs,
        [&](double x, const State &v) {
            if (xs) {
                xs->push_back(x);
                ys->push_back(v[0]);
            }
        },
        1e-10,
        1e-10);
    if (end)
        *end = y[0];
}

} // namespace

ShootingRun solveBvpTemplate()
{
    ShootingRun run;
    run.shooting = newtonScalar(
        [](double s) {
            double end = 0.0;
            shootTemplate(s, nullptr, nullptr, &end);
            return end - 1.0;
        },
        -5.0,
        1e-10);
    for (const ScalarIterate &it : run.shooting.history) {
        std::vector<double> xs, ys;
        shootTemplate(it.s, &xs, &ys, nullptr);
        run.shotsX.push_back(xs);
        run.shotsY.push_back(ys);
    }
    return run;
}

namespace {

Answer answerBvpTemplate()
{
    const ShootingRun run = solveBvpTemplate();
    Report r = openReport("BVP",
                          "Boundary-value problem (template)",
                          QString(),
                          {"shooting on y'(0) with Newton's method; each shot by",
                           "Runge-Kutta 4(5) (Cash-Karp), tolerances 1e-10"});
    r.heading("Model");
    r.line("  y'' = 1.5 y^2 on 0 <= x <= 1, y(0) = 4, y(1) = 1; start y'(0) = -5");
    r.heading("Newton iterations");
    r.table({"iteration", "y'(0)", "y(1) - 1"}, scalarIterationRows(run.shooting, 10));
    r.heading("Solution");
    std::vector<QStringList> rows;
    const std::vector<double> &xs = run.shotsX.back(), &ys = run.shotsY.back();
    for (std::size_t i = 0; i < xs.size(); ++i)
        rows.push_back({fix(xs[i], 1), fix(ys[i], 10), fix(4.0 / std::pow(1.0 + xs[i], 2), 10)});
    r.table({"x", "y", "exact 4/(1+x)^2"}, rows);
    r.heading("Results");
    r.field("Converged", run.shooting.converged ? "yes" : "NO");
    r.field("y'(0)", fix(run.shooting.root, 10) + " (exact -8)");

    Answer a{"BVP", r.bytes(), {}, true, false};
    a.plot.title = "BVP: the shots of the Newton iteration";
    a.plot.xLabel = "x";
    a.plot.yLabel = "y";
    for (std::size_t k = 0; k < run.shotsX.size(); ++k)
        a.plot.series << makeSeries(QStringLiteral("shot %1").arg(k), run.shotsX[k], run.shotsY[k]);
    return a;
}

// ---- IVP template -------------------------------------------------------------------

Answer answerIvpTemplate()
{
    auto rhs = [](const State &y, State &dy, double t) { dy[0] = -2.0 * t * y[0]; };
    State y = {1.0};
    std::vector<double> ts, ys, grid = timeGrid(0.25, 3.0, 0.25);
    const StepCounts steps = integrateRkf45(rhs, y, 0.0, grid, [&](double t, const State &v) {
        ts.push_back(t);
        ys.push_back(v[0]);
    });
    Report r = openReport("IVP",
                          "Initial-value problem (template)",
                          QString(),
                          {"Runge-Kutta 4(5) (Cash-Karp), adaptive step, tolerances 1e-8"});
    r.heading("Model");
    r.line("  y' = -2 t y, y(0) = 1, 0 <= t <= 3; exact y = exp(-t^2)");
    r.heading("Solution");
    std::vector<QStringList> rows;
    double largest = 0.0;
    for (std::size_t i = 0; i < ts.size(); ++i) {
        const double e = std::exp(-ts[i] * ts[i]);
        largest = std::max(largest, std::abs(ys[i] - e));
        rows.push_back({fix(ts[i], 2), fix(ys[i], 10), fix(e, 10), sci(ys[i] - e, 2)});
    }
    r.table({"t", "y", "exact", "error"}, rows);
    r.heading("Results");
    r.field("Largest error", sci(largest, 3));
    r.field("Accepted steps", QString::number(steps.accepted));

    Answer a{"IVP", r.bytes(), {}, true, false};
    a.plot.title = "IVP: y' = -2 t y";
    a.plot.xLabel = "t";
    a.plot.yLabel = "y";
    a.plot.series << makeSeries("y(t)", ts, ys);
    return a;
}

} // namespace

// ---- ImpDEs -----------------------------------------------------------------------

DaeRun solveDae()
{
    DaeRun run;
    // z from 0 = z^3 + z - x^6 - x^2 by Newton (z^3 + z increases, one real root).
    auto algebraic = [](double x) {
        const double rhs = std::pow(x, 6) + x * x;
        double z = rhs; // any start: the cubic is monotone
        for (int k = 0; k < 100; ++k) {
            const double step = (z * z * z + z - rhs) / (3.0 * z * z + 1.0);
            z -= step;
            if (std::abs(step) <= 1e-15 * std::max(1.0, std::abs(z)))
                break;
        }
        return z;
    };
    auto rhs = [&](const State &y, State &dy, double) {
        const double z = algebraic(y[0]);
        dy[0] = -y[0] * z;
        dy[1] = z;
    };
    State y = {1.0, 0.0};
    run.steps = integrateRkf45(rhs, y, 0.0, timeGrid(0.5, 5.0, 0.5), [&](double t, const State &v) {
        const double z = algebraic(v[0]);
        run.t.push_back(t);
        run.x.push_back(v[0]);
        run.y.push_back(v[1]);
        run.z.push_back(z);
        const double ex = 1.0 / std::sqrt(1.0 + 2.0 * t), ey = 0.5 * std::log(1.0 + 2.0 * t);
        run.largestError = std::max(
            {run.largestError, std::abs(v[0] - ex), std::abs(v[1] - ey), std::abs(z - ex * ex)});
        run.largestResidual = std::max(run.largestResidual,
                                       std::abs(z * z * z + z - std::pow(v[0], 6) - v[0] * v[0]));
    });
    return run;
}

namespace {

Answer answerDae()
{
    const DaeRun run = solveDae();
    Report r = openReport("ImpDEs",
                          "Implicit differential equations (index-1 DAE)",
                          "DAE",
                          {"the algebraic variable by Newton's method inside every",
                           "right-hand side; x, y by Runge-Kutta 4(5) (Cash-Karp),",
                           "tolerances 1e-8"});
    r.heading("Model");
    r.line("  x' = -x z, y' = z, 0 = z^3 + z - x^6 - x^2; x(0) = 1, y(0) = 0, z(0) = 1");
    r.line("  exact: x = (1 + 2t)^(-1/2), y = ln(1 + 2t)/2, z = x^2");
    r.heading("Solution");
    std::vector<QStringList> rows;
    for (std::size_t i = 0; i < run.t.size(); ++i)
        rows.push_back({fix(run.t[i], 1),
                        fix(run.x[i], 10),
                        fix(1.0 / std::sqrt(1.0 + 2.0 * run.t[i]), 10),
                        fix(run.y[i], 10),
                        fix(0.5 * std::log(1.0 + 2.0 * run.t[i]), 10),
                        fix(run.z[i], 10)});
    r.table({"t", "x", "x exact", "y", "y exact", "z"}, rows);
    r.heading("Results");
    r.field("Largest error (x, y, z)", sci(run.largestError, 3));
    r.field("Largest algebraic residual", sci(run.largestResidual, 3));
    r.field("Accepted steps", QString::number(run.steps.accepted));

    Answer a{"ImpDEs", r.bytes(), {}, true, false};
    a.plot.title = "ImpDEs: differential and algebraic variables";
    a.plot.xLabel = "t";
    a.plot.yLabel = "x, y, z";
    a.plot.series << makeSeries("x(t)", run.t, run.x) << makeSeries("y(t)", run.t, run.y)
                  << makeSeries("z(t)", run.t, run.z);
    return a;
}

} // namespace

// ---- StiffDE ----------------------------------------------------------------------

StiffRun solveRobertson()
{
    StiffRun run;
    auto rhs = [](const State &y, State &dy, double) {
        dy[0] = -0.04 * y[0] + 1e4 * y[1] * y[2];
        dy[1] = 0.04 * y[0] - 1e4 * y[1] * y[2] - 3e7 * y[1] * y[1];
        dy[2] = 3e7 * y[1] * y[1];
    };
    auto jac = [](const State &y, std::vector<double> &J, double, State &dfdt) {
        J = {-0.04,
             1e4 * y[2],
             1e4 * y[1], //
             0.04,
             -1e4 * y[2] - 6e7 * y[1],
             -1e4 * y[1], //
             0.0,
             6e7 * y[1],
             0.0};
        dfdt.assign(3, 0.0);
    };
    std::vector<double> times;
    for (int j = 0; j <= 60; ++j)
        times.push_back(0.4 * std::pow(10.0, j / 10.0));
    State y = {1.0, 0.0, 0.0};
    run.steps = integrateStiff(
        rhs,
        jac,
        y,
        0.0,
        times,
        [&](double t, const State &v) {
            run.t.push_back(t);
            run.y.push_back(v);
        },
        1e-12,
        1e-8);
    return run;
}

namespace {

Answer answerStiff()
{
    const StiffRun run = solveRobertson();
    Report r = openReport("StiffDE",
                          "A stiff differential equation (Robertson's kinetics)",
                          "GEAR",
                          {"the stiff integrator: Rosenbrock method RODAS (order 4, L-stable),",
                           "adaptive step, absolute tolerance 1e-12, relative 1e-8",
                           "(a linearly implicit one-step method, not Gear's BDF)"});
    r.heading("Model");
    r.line("  y1' = -0.04 y1 + 1e4 y2 y3, y2' = 0.04 y1 - 1e4 y2 y3 - 3e7 y2^2, y3' = 3e7 y2^2");
    r.line("  y(0) = (1, 0, 0), 0 <= t <= 4e5; invariant y1 + y2 + y3 = 1");
    r.heading("Solution");
    std::vector<QStringList> rows;
    for (std::size_t i = 0; i < run.t.size(); ++i) {
        if (i != 0 && (i - 1) % 10 != 0)
            continue;
        const State &v = run.y[i];
        rows.push_back({sci(run.t[i], 1),
                        sci(v[0], 8),
                        sci(v[1], 8),
                        sci(v[2], 8),
                        sci(v[0] + v[1] + v[2] - 1.0, 2)});
    }
    r.table({"t", "y1", "y2", "y3", "y1+y2+y3-1"}, rows);
    r.heading("Results");
    r.field("Accepted steps", QString::number(run.steps.accepted));
    r.field("Rejected steps", QString::number(run.steps.rejected));

    Answer a{"StiffDE", r.bytes(), {}, true, false};
    a.plot.title = "StiffDE: Robertson's kinetics";
    a.plot.xLabel = "log10 t";
    a.plot.yLabel = "y1, 1e4 y2, y3";
    std::vector<double> lt, y1, y2, y3;
    for (std::size_t i = 1; i < run.t.size(); ++i) {
        lt.push_back(std::log10(run.t[i]));
        y1.push_back(run.y[i][0]);
        y2.push_back(1e4 * run.y[i][1]);
        y3.push_back(run.y[i][2]);
    }
    a.plot.series << makeSeries("y1", lt, y1) << makeSeries("1e4 y2", lt, y2)
                  << makeSeries("y3", lt, y3);
    return a;
}

} // namespace

// ---- PDE-ivp: Burgers' equation -----------------------------------------------------

namespace {
constexpr double Nu = 0.01;
constexpr int BurgersIntervals = 100;
} // namespace

double burgersExact(double x, double t)
{
    return 0.5 * (1.0 - std::tanh((x - 0.25 - 0.5 * t) / (4.0 * Nu)));
}

BurgersRun solveBurgers()
{
    BurgersRun run;
    const int n = BurgersIntervals;
    const double h = 1.0 / n;
    auto rhs = [&](const State &u, State &du, double t) {
        for (int i = 1; i < n; ++i) {
            const double left = i == 1 ? burgersExact(0.0, t) : u[std::size_t(i - 2)];
            const double right = i == n - 1 ? burgersExact(1.0, t) : u[std::size_t(i)];
            const double ui = u[std::size_t(i - 1)];
            du[std::size_t(i - 1)]
                = -ui * (right - left) / (2.0 * h) + Nu * (left - 2.0 * ui + right) / (h * h);
        }
    };
    State u;
    for (int i = 1; i < n; ++i)
        u.push_back(burgersExact(i * h, 0.0));
    run.steps = integrateRkf45(
        rhs,
        u,
        0.0,
        {0.25, 0.5, 0.75, 1.0},
        [&](double t, const State &v) {
            State all = {burgersExact(0.0, t)};
            all.insert(all.end(), v.begin(), v.end());
            all.push_back(burgersExact(1.0, t));
            for (int i = 0; i <= n; ++i)
                run.largestError = std::max(run.largestError,
                                            std::abs(all[std::size_t(i)] - burgersExact(i * h, t)));
            run.times.push_back(t);
            run.u.push_back(all);
        },
        1e-7,
        1e-7);
    return run;
}

namespace {

Answer answerBurgers()
{
    const BurgersRun run = solveBurgers();
    Report r = openReport("PDE-ivp",
                          "Burgers' equation by the method of lines",
                          "RKF45",
                          {"method of lines, 100 intervals, central differences;",
                           "Runge-Kutta 4(5) (Cash-Karp), adaptive step, tolerances 1e-7"});
    r.heading("Model");
    r.line("  u_t + u u_x = nu u_xx on 0 <= x <= 1 m, nu = 0.01 m2/s, 0 <= t <= 1 s");
    r.line("  initial and boundary values from u = (1 - tanh((x - 0.25 - t/2)/(4 nu)))/2");
    r.heading("u(x, t)");
    QStringList headers = {"t [s]"};
    for (int i = 0; i <= 10; ++i)
        headers << QStringLiteral("x=%1").arg(fix(i * 0.1, 1));
    std::vector<QStringList> rows;
    for (std::size_t k = 0; k < run.times.size(); ++k) {
        QStringList row = {fix(run.times[k], 2)};
        for (int i = 0; i <= 10; ++i)
            row << fix(run.u[k][std::size_t(10 * i)], 4);
        rows.push_back(row);
    }
    r.table(headers, rows);
    r.heading("Front position (u = 0.5)");
    rows.clear();
    for (std::size_t k = 0; k < run.times.size(); ++k) {
        const State &v = run.u[k];
        double front = 0.0;
        for (std::size_t i = 0; i + 1 < v.size(); ++i)
            if (v[i] >= 0.5 && v[i + 1] < 0.5) {
                front = (double(i) + (v[i] - 0.5) / (v[i] - v[i + 1])) / BurgersIntervals;
                break;
            }
        rows.push_back({fix(run.times[k], 2), fix(front, 5), fix(0.25 + 0.5 * run.times[k], 5)});
    }
    r.table({"t [s]", "computed [m]", "exact [m]"}, rows);
    r.heading("Results");
    r.field("Largest deviation from exact", fix(run.largestError, 5));
    r.field("Accepted steps", QString::number(run.steps.accepted));
    r.field("Rejected steps", QString::number(run.steps.rejected));

    Answer a{"PDE-ivp", r.bytes(), {}, true, true};
    a.plot.title = "PDE-ivp: Burgers' equation, travelling front";
    a.plot.xLabel = "x [m]";
    a.plot.yLabel = "u";
    for (std::size_t k = 0; k < run.times.size(); ++k) {
        std::vector<double> xs;
        for (int i = 0; i <= BurgersIntervals; ++i)
            xs.push_back(double(i) / BurgersIntervals);
        a.plot.series << makeSeries(QStringLiteral("t = %1 s").arg(run.times[k]), xs, run.u[k]);
    }
    return a;
}

} // namespace

// ---- the integration guide --------------------------------------------------------

std::vector<IntegratorComparison> compareIntegrators()
{
    auto rhs = [](const State &y, State &dy, double t) { dy[0] = y[0] * std::cos(t); };
    auto jac = [](const State &y, std::vector<double> &J, double t, State &dfdt) {
        J = {std::cos(t)};
        dfdt = {-y[0] * std::sin(t)};
    };
    auto exact = [](double t) { return std::exp(std::sin(t)); };
    std::vector<IntegratorComparison> out;
    auto finish = [&](IntegratorComparison &c) {
        c.final = c.y.back();
        c.finalError = c.final - exact(10.0);
        for (std::size_t i = 0; i < c.t.size(); i += 2)
            c.largestError = std::max(c.largestError, std::abs(c.y[i] - exact(c.t[i])));
        out.push_back(c);
    };
    auto collect = [](IntegratorComparison &c) {
        return [&c](double t, const State &v) {
            c.t.push_back(t);
            c.y.push_back(v[0]);
        };
    };
    {
        IntegratorComparison c;
        c.name = "EULER";
        c.method = "explicit Euler, dt = 0.01";
        State y = {1.0};
        c.steps = integrateEuler(rhs, y, 0.0, 0.01, 1000, collect(c), 50);
        finish(c);
    }
    {
        IntegratorComparison c;
        c.name = "RK4";
        c.method = "classical Runge-Kutta, dt = 0.1";
        State y = {1.0};
        c.steps = integrateRk4(rhs, y, 0.0, 0.1, 100, collect(c), 5);
        finish(c);
    }
    {
        IntegratorComparison c;
        c.name = "ADAMS";
        c.method = "Adams-Bashforth-Moulton 5, dt = 0.1";
        State y = {1.0};
        c.steps = integrateAdams(rhs, y, 0.0, 0.1, 100, collect(c), 5);
        finish(c);
    }
    {
        IntegratorComparison c;
        c.name = "RKF45";
        c.method = "Runge-Kutta 4(5) Cash-Karp, tol 1e-8";
        State y = {1.0};
        c.steps = integrateRkf45(rhs, y, 0.0, timeGrid(0.5, 10.0, 0.5), collect(c)).accepted;
        finish(c);
    }
    {
        IntegratorComparison c;
        c.name = "GEAR";
        c.method = "Rosenbrock RODAS, tol 1e-8";
        State y = {1.0};
        c.steps = integrateStiff(rhs, jac, y, 0.0, timeGrid(0.5, 10.0, 0.5), collect(c), 1e-8, 1e-8)
                      .accepted;
        finish(c);
    }
    return out;
}

namespace {

Answer answerInitiateGuide()
{
    const std::vector<IntegratorComparison> all = compareIntegrators();
    Report r = openReport("^Initiate-stmt",
                          "Integration guide: the integrators compared",
                          "Integration Guide",
                          {"each integrator on one test equation"});
    r.heading("Test equation");
    r.line("  y' = y cos t, y(0) = 1, 0 <= t <= 10; exact y = exp(sin t)");
    r.line(QStringLiteral("  exact y(10) = %1").arg(fix(std::exp(std::sin(10.0)), 10)));
    r.heading("Comparison");
    std::vector<QStringList> rows;
    for (const IntegratorComparison &c : all)
        rows.push_back({c.name,
                        c.method,
                        QString::number(c.steps),
                        fix(c.final, 10),
                        sci(c.finalError, 3),
                        sci(c.largestError, 3)});
    r.table({"solver", "method", "steps", "y(10)", "error at 10", "largest error (t=0..10)"}, rows);
    r.line("  The fixed-step methods show their order: Euler's error falls only with the step,");
    r.line("  RK4 and ADAMS reach about 1e-6 with a hundred steps, and the adaptive RKF45 and");
    r.line("  GEAR choose their steps to meet the tolerance.");

    Answer a{"^Initiate-stmt", r.bytes(), {}, true, false};
    a.plot.title = "Integration guide: y' = y cos t";
    a.plot.xLabel = "t";
    a.plot.yLabel = "y";
    std::vector<double> xs, ys;
    for (double t : timeGrid(0.0, 10.0, 0.05)) {
        xs.push_back(t);
        ys.push_back(std::exp(std::sin(t)));
    }
    a.plot.series << makeSeries("exact", xs, ys);
    for (const IntegratorComparison &c : all)
        a.plot.series << makeSeries(c.name, c.t, c.y);
    return a;
}

} // namespace

std::vector<AnswerEntry> otherEntries()
{
    return {{"Pharm-IP", answerPharmIp},
            {"Pharm-Alg", answerPharmAlg},
            {"^Initiate-stmt", answerInitiateGuide},
            {"ImpDEs", answerDae},
            {"StiffDE", answerStiff},
            {"Algebra", answerAlgebra},
            {"BVP", answerBvpTemplate},
            {"fitExam", answerFitExam},
            {"IVP", answerIvpTemplate},
            {"PDE-ivp", answerBurgers}};
}

} // namespace kv
