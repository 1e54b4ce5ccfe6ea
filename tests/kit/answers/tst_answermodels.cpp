#include "Models.h"

#include <QTest>

#include <cmath>

using namespace kv;

// Each model's numbers against an exact solution, a closed form or an invariant.
class TestAnswerModels : public QObject
{
    Q_OBJECT

private slots:
    void slabFollowsTheSeriesSolution();
    void finerSlabGridComesCloserToTheSeries();
    void gridHeatRunsFollowTheirExactSolutions_data();
    void gridHeatRunsFollowTheirExactSolutions();
    void slabBvpMatchesTheKirchhoffSolution();
    void cubeBvpMeetsItsTargetsWithAHarmonicField();
    void finBalancesItsEnergy();
    void slabFitRecoversTheDiffusivity();
    void pharmacokineticFitsRecoverTheRateConstants_data();
    void pharmacokineticFitsRecoverTheRateConstants();
    void curveFitIsALeastSquaresMinimum();
    void algebraFindsTheExactRoot();
    void bvpTemplateFindsTheExactBranch();
    void beamIsInEquilibriumAndMatchesTheElastica();
    void lightlyLoadedBeamFollowsSmallDeflectionTheory();
    void shellWithoutDragFollowsTheVacuumParabola();
    void dragShortensTheShellsFlight();
    void ejectionWithoutAirFollowsTheBallisticClosedForm();
    void seatThatNeverReachesTheTailIsReportedAsNotPassing();
    void daeFollowsItsExactSolution();
    void robertsonConservesMassAndMatchesReferenceValues();
    void pursuitFollowsTheClosedFormCurve();
    void oscillatorMatchesTheClosedForm();
    void burgersFrontMatchesTheTravellingWave();
    void integratorsReachTheirAccuracyOnATimeDependentEquation_data();
    void integratorsReachTheirAccuracyOnATimeDependentEquation();
};

void TestAnswerModels::slabFollowsTheSeriesSolution()
{
    const Slab slab;
    const SlabRun run = solveSlab(slab, {0, 60, 300, 1200});
    QCOMPARE(run.times.size(), std::size_t(4));
    QCOMPARE(run.nodes.front()[10], 20.0); // the initial state
    for (std::size_t k = 1; k < run.times.size(); ++k)
        for (int i = 0; i <= 20; ++i) {
            const double exact = slabExact(slab, i * 0.005, run.times[k]);
            QVERIFY2(std::abs(run.nodes[k][std::size_t(i)] - exact) < 0.06,
                     qPrintable(QStringLiteral("t=%1 i=%2").arg(run.times[k]).arg(i)));
        }
    // The steady state is the held face's temperature.
    QVERIFY(std::abs(slabExact(slab, 0.1, 1e6) - 100.0) < 1e-9);
}

void TestAnswerModels::finerSlabGridComesCloserToTheSeries()
{
    Slab coarse, fine;
    fine.intervals = 40;
    const double t = 300.0;
    const double exact = slabExact(coarse, 0.1, t);
    const double eCoarse = std::abs(solveSlab(coarse, {t}).nodes[0].back() - exact);
    const double eFine = std::abs(solveSlab(fine, {t}).nodes[0].back() - exact);
    // Second-order differences: halving the spacing cuts the error about four times.
    QVERIFY2(eFine < eCoarse / 3.0, qPrintable(QStringLiteral("%1 %2").arg(eCoarse).arg(eFine)));
}

void TestAnswerModels::gridHeatRunsFollowTheirExactSolutions_data()
{
    QTest::addColumn<int>("dims");
    QTest::addColumn<double>("tolerance");
    QTest::addColumn<int>("outputs");
    QTest::newRow("1-D, RKF45") << 1 << 0.1 << 5;
    QTest::newRow("2-D, RKF45") << 2 << 0.2 << 4;
    QTest::newRow("3-D, Euler") << 3 << 0.15 << 11;
}

void TestAnswerModels::gridHeatRunsFollowTheirExactSolutions()
{
    QFETCH(int, dims);
    QFETCH(double, tolerance);
    QFETCH(int, outputs);
    const GridRun run = dims == 1 ? solveBar() : dims == 2 ? solvePlate() : solveCube();
    QCOMPARE(int(run.times.size()), outputs);
    QVERIFY2(run.largestError < tolerance, qPrintable(QString::number(run.largestError)));
    QVERIFY(run.largestError > 0.0); // a grid solution is never exact
    // The temperature decays: the last state is cooler everywhere than the first peak.
    const double firstPeak
        = *std::max_element(run.values.front().begin(), run.values.front().end());
    const double lastPeak = *std::max_element(run.values.back().begin(), run.values.back().end());
    QVERIFY(lastPeak < firstPeak);
    if (dims == 3) {
        const std::size_t centre = (4 * 9 + 4) * 9 + 4;
        QVERIFY(std::abs(run.values.back()[centre] - cubeExact(0.5, 0.5, 0.5, 1000.0)) < tolerance);
    }
}

void TestAnswerModels::slabBvpMatchesTheKirchhoffSolution()
{
    const SlabBvp run = solveSlabBvp();
    QVERIFY(run.shooting.converged);
    QCOMPARE(run.x.size(), std::size_t(11));
    for (std::size_t i = 0; i < run.x.size(); ++i)
        QVERIFY2(std::abs(run.T[i] - slabBvpExact(run.x[i])) < 1e-6,
                 qPrintable(QString::number(i)));
    QVERIFY(std::abs(run.T.back() - run.exactSurface) < 1e-6);
    // The cooled face's boundary condition holds.
    QVERIFY(std::abs(run.Q.back() - 500.0 * (run.T.back() - 20.0)) < 1e-5);
}

void TestAnswerModels::cubeBvpMeetsItsTargetsWithAHarmonicField()
{
    const CubeBvp run = solveCubeBvp();
    QVERIFY(run.broyden.converged);
    const int m = run.intervals - 1;
    auto at = [&](int i, int j, int k) {
        if (i < 0)
            return run.broyden.root[0];
        if (i >= m)
            return run.broyden.root[1];
        if (j < 0 || j >= m || k < 0 || k >= m)
            return 20.0;
        return run.field[std::size_t((k * m + j) * m + i)];
    };
    QVERIFY(std::abs(at(1, 3, 3) - 60.0) < 1e-6);
    QVERIFY(std::abs(at(5, 3, 3) - 40.0) < 1e-6);
    double residual = 0.0;
    for (int k = 0; k < m; ++k)
        for (int j = 0; j < m; ++j)
            for (int i = 0; i < m; ++i)
                residual = std::max(residual,
                                    std::abs(at(i - 1, j, k) + at(i + 1, j, k) + at(i, j - 1, k)
                                             + at(i, j + 1, k) + at(i, j, k - 1) + at(i, j, k + 1)
                                             - 6.0 * at(i, j, k)));
    QVERIFY2(residual < 1e-8, qPrintable(QString::number(residual)));
    // Superposition: the field is linear in the face temperatures, so Broyden's
    // secant model is exact after its first step.
    QVERIFY(run.broyden.history.size() <= 3);
}

void TestAnswerModels::finBalancesItsEnergy()
{
    const FinRun run = solveFin();
    QVERIFY(run.shooting.converged);
    QVERIFY(run.baseHeat > 0.0);
    QVERIFY(std::abs(run.baseHeat - run.faceLoss - run.tipLoss) < 1e-6 * run.baseHeat);
    QVERIFY(run.efficiency > 0.0 && run.efficiency < 1.0);
    // Heat flows outwards: the fin cools monotonically from the base.
    for (std::size_t i = 1; i < run.theta.size(); ++i)
        QVERIFY(run.theta[i] < run.theta[i - 1]);
    QCOMPARE(run.theta.front(), 80.0);
}

void TestAnswerModels::slabFitRecoversTheDiffusivity()
{
    const SlabFit fit = solveSlabFit();
    QVERIFY(fit.lsq.converged);
    // The targets came from the exact series with alpha = 1e-5 m2/s, rounded to 0.01 C.
    QVERIFY2(std::abs(fit.alpha - 1e-5) < 1e-8, qPrintable(QString::number(fit.alpha)));
    QVERIFY(fit.lsq.sumOfSquares < 1e-3);
}

void TestAnswerModels::pharmacokineticFitsRecoverTheRateConstants_data()
{
    QTest::addColumn<bool>("withOdes");
    QTest::newRow("Pharm-IP, ODEs by ADAMS") << true;
    QTest::newRow("Pharm-Alg, closed form") << false;
}

void TestAnswerModels::pharmacokineticFitsRecoverTheRateConstants()
{
    QFETCH(bool, withOdes);
    const PharmFit fit = solvePharm(withOdes);
    QVERIFY(fit.lsq.converged);
    QVERIFY(std::abs(fit.lsq.p[0] - 1.2) < 1e-3);
    QVERIFY(std::abs(fit.lsq.p[1] - 0.2) < 1e-4);
    QVERIFY(std::abs(fit.halfLife - std::log(2.0) / fit.lsq.p[1]) < 1e-12);
    const double ka = fit.lsq.p[0], ke = fit.lsq.p[1];
    const double peak = std::log(ka / ke) / (ka - ke);
    QVERIFY(std::abs(fit.peakTime - peak) < 1e-3);
    QVERIFY(std::abs(fit.peakConcentration - pharmClosedForm(ka, ke, peak)) < 1e-5);
    QVERIFY(std::abs(pharmClosedForm(ka, ke, fit.belowOneTime) - 1.0) < 1e-4);
}

void TestAnswerModels::curveFitIsALeastSquaresMinimum()
{
    const LsqResult fit = solveFitExam();
    QVERIFY(fit.converged);
    const std::vector<double> xs = {0.0, 0.5, 1.0, 1.5, 2.0, 2.5, 3.0, 3.5, 4.0, 4.5, 5.0, 5.5};
    const std::vector<double> ys
        = {6.030, 4.332, 3.297, 2.466, 2.019, 1.697, 1.424, 1.344, 1.194, 1.117, 1.122, 1.051};
    auto sse = [&](const Vec &p) {
        double s = 0.0;
        for (std::size_t i = 0; i < xs.size(); ++i)
            s += std::pow(p[0] * std::exp(-p[1] * xs[i]) + p[2] - ys[i], 2);
        return s;
    };
    QVERIFY(std::abs(sse(fit.p) - fit.sumOfSquares) < 1e-14);
    for (int j = 0; j < 3; ++j)
        for (double d : {1e-4, -1e-4}) {
            Vec q = fit.p;
            q[j] += d;
            QVERIFY(sse(q) > fit.sumOfSquares);
        }
    QVERIFY(std::abs(fit.p[0] - 5.0) < 0.1 && std::abs(fit.p[1] - 0.8) < 0.02
            && std::abs(fit.p[2] - 1.0) < 0.02);
}

void TestAnswerModels::algebraFindsTheExactRoot()
{
    const SystemRootResult r = solveAlgebra();
    QVERIFY(r.converged);
    const double x = std::sqrt(2.0 + std::sqrt(3.0));
    QVERIFY(std::abs(r.root[0] - x) < 1e-13);
    QVERIFY(std::abs(r.root[1] - 1.0 / x) < 1e-13);
}

void TestAnswerModels::bvpTemplateFindsTheExactBranch()
{
    const ShootingRun run = solveBvpTemplate();
    QVERIFY(run.shooting.converged);
    QVERIFY(std::abs(run.shooting.root + 8.0) < 1e-8);
    const auto &xs = run.shotsX.back();
    const auto &ys = run.shotsY.back();
    for (std::size_t i = 0; i < xs.size(); ++i)
        QVERIFY(std::abs(ys[i] - 4.0 / std::pow(1.0 + xs[i], 2)) < 1e-8);
    QCOMPARE(run.shotsX.size(), run.shooting.history.size());
}

void TestAnswerModels::beamIsInEquilibriumAndMatchesTheElastica()
{
    const BeamRun run = solveBeam(5000.0);
    QVERIFY(run.shooting.converged);
    // The clamp moment balances the load on its lever arm.
    QVERIFY(std::abs(2.0e4 * run.shooting.root - 5000.0 * run.x.back()) < 1e-6);
    // Tabulated elastica of a tip-loaded cantilever, P L^2/EI = 1: y/L = 0.3017.
    QVERIFY2(std::abs(run.y.back() / 2.0 - 0.3017) < 5e-4,
             qPrintable(QString::number(run.y.back())));
    // The beam is inextensible: the tip lies within the beam's length of the clamp.
    QVERIFY(std::hypot(run.x.back(), run.y.back()) < 2.0);
}

void TestAnswerModels::lightlyLoadedBeamFollowsSmallDeflectionTheory()
{
    const BeamRun run = solveBeam(50.0);
    const double linear = 50.0 * 8.0 / (3.0 * 2.0e4);
    QVERIFY(std::abs(run.y.back() - linear) < 1e-3 * linear);
}

void TestAnswerModels::shellWithoutDragFollowsTheVacuumParabola()
{
    ShellParams p;
    p.dragCoefficient = 0.0;
    const ShellRun run = solveShell(p);
    const double e = p.elevationDeg * M_PI / 180.0;
    QVERIFY(std::abs(run.range - p.speed * p.speed * std::sin(2 * e) / p.g) < 1e-3);
    QVERIFY(std::abs(run.flightTime - 2 * p.speed * std::sin(e) / p.g) < 1e-6);
    QVERIFY(std::abs(run.apex - std::pow(p.speed * std::sin(e), 2) / (2 * p.g)) < 1e-3);
    QVERIFY(std::abs(run.impactSpeed - p.speed) < 1e-6);
}

void TestAnswerModels::dragShortensTheShellsFlight()
{
    const ShellRun run = solveShell();
    QVERIFY(run.range > 5000.0 && run.range < 25484.0);
    QVERIFY(run.impactSpeed < 500.0);
    // With drag the descent is steeper than the 45 degree climb.
    QVERIFY(run.impactAngleDeg > 45.0);
    QCOMPARE(run.y.back(), 0.0);
}

void TestAnswerModels::ejectionWithoutAirFollowsTheBallisticClosedForm()
{
    EjectParams p;
    p.density = 0.0;
    const EjectRun run = solveEject(p);
    QVERIFY(run.passed);
    const double te = p.ejectAngleDeg * M_PI / 180.0;
    const double x0 = -p.rail * std::sin(te), y0 = p.rail * std::cos(te);
    const double back = p.ejectSpeed * std::sin(te), up = p.ejectSpeed * std::cos(te);
    const double t = (x0 - p.tailX) / back;
    QVERIFY2(std::abs(run.passTime - t) < 1e-6, qPrintable(QString::number(run.passTime - t)));
    QVERIFY(std::abs(run.passHeight - (y0 + up * t - 0.5 * p.g * t * t)) < 1e-5);
}

void TestAnswerModels::seatThatNeverReachesTheTailIsReportedAsNotPassing()
{
    // Without air and with a seat fired straight up it never drifts back to the tail.
    EjectParams p;
    p.density = 0.0;
    p.ejectAngleDeg = 0.0;
    const EjectRun run = solveEject(p);
    QVERIFY(!run.passed);
}

void TestAnswerModels::daeFollowsItsExactSolution()
{
    const DaeRun run = solveDae();
    QCOMPARE(run.t.size(), std::size_t(11));
    QVERIFY(run.largestError < 1e-7);
    QVERIFY(run.largestResidual < 1e-12);
}

void TestAnswerModels::robertsonConservesMassAndMatchesReferenceValues()
{
    const StiffRun run = solveRobertson();
    for (const State &y : run.y)
        QVERIFY(std::abs(y[0] + y[1] + y[2] - 1.0) < 1e-12);
    const auto at40 = std::find_if(
        run.t.begin(), run.t.end(), [](double t) { return std::abs(t - 40.0) < 1e-9; });
    QVERIFY(at40 != run.t.end());
    const State &y = run.y[std::size_t(at40 - run.t.begin())];
    // Reference solution of Robertson's problem at t = 40.
    QVERIFY(std::abs(y[0] - 0.7158271) < 1e-6);
    QVERIFY(std::abs(y[1] - 9.185535e-6) < 1e-10);
    QVERIFY(std::abs(y[2] - 0.2841637) < 1e-6);
    // A stiff integrator needs far fewer steps than the explicit stability limit allows.
    QVERIFY(run.steps.accepted < 5000);
}

void TestAnswerModels::pursuitFollowsTheClosedFormCurve()
{
    const PursuitRun run = solvePursuit();
    QVERIFY(run.largestPathError < 1e-6);
    QVERIFY(std::abs(run.captureTime - 10.0 / 3.0) < 1e-3);
    QVERIFY(std::abs(run.captureY - 2000.0 / 3.0) < 0.2);
    QVERIFY(std::abs(pursuitClosedForm(0.0)) < 1e-12); // the curve starts at the origin
}

void TestAnswerModels::oscillatorMatchesTheClosedForm()
{
    const OscillatorRun run = solveOscillator();
    QCOMPARE(run.t.size(), std::size_t(401));
    QVERIFY(run.largestError < 1e-6);
    QCOMPARE(oscillatorExact(0.0), 0.0);
}

void TestAnswerModels::burgersFrontMatchesTheTravellingWave()
{
    const BurgersRun run = solveBurgers();
    QCOMPARE(run.times.size(), std::size_t(5));
    QVERIFY2(run.largestError < 0.02, qPrintable(QString::number(run.largestError)));
    // The front (u = 0.5) sits half-way between the nodes around x0 + t/2 = 0.75 m at t = 1 s.
    const State &u = run.u.back();
    QVERIFY(u[74] > 0.5 && u[76] < 0.5);
}

void TestAnswerModels::integratorsReachTheirAccuracyOnATimeDependentEquation_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<double>("tolerance");
    QTest::newRow("EULER") << "EULER" << 0.05;
    QTest::newRow("RK4") << "RK4" << 1e-5;
    QTest::newRow("ADAMS") << "ADAMS" << 1e-4;
    QTest::newRow("RKF45") << "RKF45" << 1e-6;
    QTest::newRow("GEAR") << "GEAR" << 1e-6;
}

void TestAnswerModels::integratorsReachTheirAccuracyOnATimeDependentEquation()
{
    QFETCH(QString, name);
    QFETCH(double, tolerance);
    const std::vector<IntegratorComparison> all = compareIntegrators();
    const auto it
        = std::find_if(all.begin(), all.end(), [&](const auto &c) { return c.name == name; });
    QVERIFY(it != all.end());
    QVERIFY2(it->largestError < tolerance, qPrintable(QString::number(it->largestError)));
    QCOMPARE(it->t.size(), std::size_t(21));
    QCOMPARE(it->t.back(), 10.0);
    if (name == "GEAR") // an adaptive method of order 4 needs no thousands of steps
        QVERIFY2(it->steps < 1000, qPrintable(QString::number(it->steps)));
}

QTEST_GUILESS_MAIN(TestAnswerModels)
#include "tst_answermodels.moc"
