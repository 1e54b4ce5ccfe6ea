#include "Integrators.h"
#include "Report.h"
#include "Solvers.h"

#include <QLocale>
#include <QTest>

#include <cmath>

using namespace kv;

// The building blocks: integrators, root finders, least squares and the report
// formatting every answer goes through.
class TestNumerics : public QObject
{
    Q_OBJECT

private slots:
    void rkf45LandsOnEveryOutputTimeWithinTolerance_data();
    void rkf45LandsOnEveryOutputTimeWithinTolerance();
    void fixedStepMethodsShowTheirOrder_data();
    void fixedStepMethodsShowTheirOrder();
    void fixedStepObserverSeesTheRequestedTimes();
    void stiffIntegratorTakesLargeStepsOnAStiffEquation();
    void stiffIntegratorIsFourthOrderOnTimeDependentEquations();
    void newtonConvergesQuadraticallyToASimpleRoot();
    void newtonReportsAFunctionWithoutRoot();
    void broydenSolvesANonlinearSystem();
    void broydenReportsWhenItRunsOutOfIterations();
    void levenbergMarquardtMatchesTheNormalEquationsOnALinearModel();
    void levenbergMarquardtFitsAnExponentialExactly();
    void numbersAreFormattedInTheCLocale_data();
    void numbersAreFormattedInTheCLocale();
    void reportTablesAlignAndLinesEndInCrLf();
};

namespace {

Rhs decay(double rate)
{
    return [rate](const State &y, State &dy, double) { dy[0] = -rate * y[0]; };
}

// y' = y cos t, exact exp(sin t): time-dependent, so it exercises the time terms.
void cosineRhs(const State &y, State &dy, double t)
{
    dy[0] = y[0] * std::cos(t);
}

} // namespace

void TestNumerics::rkf45LandsOnEveryOutputTimeWithinTolerance_data()
{
    QTest::addColumn<double>("tolerance");
    QTest::newRow("1e-6") << 1e-6;
    QTest::newRow("1e-8") << 1e-8;
    QTest::newRow("1e-10") << 1e-10;
}

void TestNumerics::rkf45LandsOnEveryOutputTimeWithinTolerance()
{
    QFETCH(double, tolerance);
    const std::vector<double> times = {0.1, 0.3333, 1.0, 2.5, 7.0};
    std::vector<double> seen;
    State y = {1.0};
    const StepCounts c = integrateRkf45(
        cosineRhs,
        y,
        0.0,
        times,
        [&](double t, const State &v) {
            seen.push_back(t);
            // A global error a few hundred times the local tolerance at most.
            QVERIFY(std::abs(v[0] - std::exp(std::sin(t))) < 300.0 * tolerance);
        },
        tolerance,
        tolerance);
    QCOMPARE(seen.size(), times.size() + 1);
    QCOMPARE(seen.front(), 0.0);
    for (std::size_t i = 0; i < times.size(); ++i)
        QCOMPARE(seen[i + 1], times[i]);
    QVERIFY(c.accepted > 0);
}

void TestNumerics::fixedStepMethodsShowTheirOrder_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<double>("order");
    QTest::newRow("EULER") << "EULER" << 1.0;
    QTest::newRow("RK4") << "RK4" << 4.0;
    QTest::newRow("ADAMS") << "ADAMS" << 5.0;
}

void TestNumerics::fixedStepMethodsShowTheirOrder()
{
    QFETCH(QString, method);
    QFETCH(double, order);
    auto errorWith = [&](long steps) {
        State y = {1.0};
        const double h = 2.0 / double(steps);
        if (method == "EULER")
            integrateEuler(cosineRhs, y, 0.0, h, steps, nullptr);
        else if (method == "RK4")
            integrateRk4(cosineRhs, y, 0.0, h, steps, nullptr);
        else
            integrateAdams(cosineRhs, y, 0.0, h, steps, nullptr);
        return std::abs(y[0] - std::exp(std::sin(2.0)));
    };
    const double coarse = errorWith(100), fine = errorWith(200);
    const double observed = std::log2(coarse / fine);
    QVERIFY2(std::abs(observed - order) < 0.6,
             qPrintable(QStringLiteral("observed order %1").arg(observed)));
}

void TestNumerics::fixedStepObserverSeesTheRequestedTimes()
{
    std::vector<double> seen;
    State y = {1.0};
    const long n = integrateRk4(
        decay(1.0), y, 1.0, 0.01, 300, [&](double t, const State &) { seen.push_back(t); }, 100);
    QCOMPARE(n, 300L);
    QCOMPARE(seen, std::vector<double>({1.0, 2.0, 3.0, 4.0}));
    QVERIFY(std::abs(y[0] - std::exp(-3.0)) < 1e-10);
}

void TestNumerics::stiffIntegratorTakesLargeStepsOnAStiffEquation()
{
    // y' = -1e4 (y - cos t) - sin t has the smooth solution cos t; an explicit
    // method would need steps below 2e-4 for stability, i.e. 50000 of them.
    auto f = [](const State &y, State &dy, double t) {
        dy[0] = -1e4 * (y[0] - std::cos(t)) - std::sin(t);
    };
    auto jac = [](const State &, std::vector<double> &J, double t, State &dfdt) {
        J = {-1e4};
        dfdt = {-1e4 * std::sin(t) - std::cos(t)};
    };
    State y = {1.0};
    const StepCounts c = integrateStiff(f, jac, y, 0.0, {10.0}, nullptr, 1e-8, 1e-8);
    QVERIFY(std::abs(y[0] - std::cos(10.0)) < 1e-6);
    QVERIFY2(c.accepted < 10000, qPrintable(QString::number(c.accepted)));
}

void TestNumerics::stiffIntegratorIsFourthOrderOnTimeDependentEquations()
{
    // Tightening the tolerance 10^4 times should cost about 10 times the steps for
    // a fourth-order method; a method that lost its order on the time terms needs
    // far more.
    auto jac = [](const State &y, std::vector<double> &J, double t, State &dfdt) {
        J = {std::cos(t)};
        dfdt = {-y[0] * std::sin(t)};
    };
    bool accurate = true;
    auto steps = [&](double tol) {
        State y = {1.0};
        const StepCounts c = integrateStiff(cosineRhs, jac, y, 0.0, {10.0}, nullptr, tol, tol);
        accurate = accurate && std::abs(y[0] - std::exp(std::sin(10.0))) < 100.0 * tol;
        return double(c.accepted);
    };
    const double loose = steps(1e-5), tight = steps(1e-9);
    QVERIFY(accurate);
    QVERIFY2(tight / loose < 20.0, qPrintable(QStringLiteral("%1 -> %2").arg(loose).arg(tight)));
}

void TestNumerics::newtonConvergesQuadraticallyToASimpleRoot()
{
    const ScalarRootResult r = newtonScalar([](double s) { return s * s - 2.0; }, 1.0, 1e-14);
    QVERIFY(r.converged);
    QVERIFY(std::abs(r.root - std::sqrt(2.0)) < 1e-12);
    QVERIFY(r.history.size() <= 7);
    // Quadratic convergence: each residual is about the square of the one before.
    for (std::size_t i = 2; i + 1 < r.history.size(); ++i)
        QVERIFY(std::abs(r.history[i].residual) < 10.0 * std::pow(r.history[i - 1].residual, 2));
}

void TestNumerics::newtonReportsAFunctionWithoutRoot()
{
    const ScalarRootResult r = newtonScalar([](double s) { return s * s + 1.0; }, 0.5, 1e-10, 30);
    QVERIFY(!r.converged);
    QVERIFY(!r.history.empty());
}

void TestNumerics::broydenSolvesANonlinearSystem()
{
    // x^2 + y^2 = 4 and e^x + y = 1 cross near (-1.8163, 0.8374).
    auto F = [](const Vec &v) {
        Vec f(2);
        f << v[0] * v[0] + v[1] * v[1] - 4.0, std::exp(v[0]) + v[1] - 1.0;
        return f;
    };
    Vec x0(2);
    x0 << -2.0, 1.0;
    const SystemRootResult r = broyden(F, x0, 1e-12);
    QVERIFY(r.converged);
    QVERIFY(F(r.root).lpNorm<Eigen::Infinity>() < 1e-12);
    QVERIFY(std::abs(r.root[0] + 1.8163) < 1e-3);
    QCOMPARE(r.history.front().x, x0);
}

void TestNumerics::broydenReportsWhenItRunsOutOfIterations()
{
    auto F = [](const Vec &v) {
        Vec f(1);
        f << v[0] * v[0] + 1.0; // no real root
        return f;
    };
    Vec x0(1);
    x0 << 1.0;
    const SystemRootResult r = broyden(F, x0, 1e-10, 20);
    QVERIFY(!r.converged);
    QVERIFY(r.history.size() <= 21);
}

void TestNumerics::levenbergMarquardtMatchesTheNormalEquationsOnALinearModel()
{
    const std::vector<double> xs = {0, 1, 2, 3, 4, 5}, ys = {1.1, 2.9, 5.2, 7.1, 8.8, 11.2};
    auto residuals = [&](const Vec &p) {
        Vec r(6);
        for (int i = 0; i < 6; ++i)
            r[i] = p[0] + p[1] * xs[std::size_t(i)] - ys[std::size_t(i)];
        return r;
    };
    Mat A(6, 2);
    Vec b(6);
    for (int i = 0; i < 6; ++i) {
        A(i, 0) = 1.0;
        A(i, 1) = xs[std::size_t(i)];
        b[i] = ys[std::size_t(i)];
    }
    const Vec exact = (A.transpose() * A).ldlt().solve(A.transpose() * b);
    const LsqResult fit = levenbergMarquardt(residuals, Vec::Zero(2));
    QVERIFY(fit.converged);
    QVERIFY((fit.p - exact).norm() < 1e-6);
    QVERIFY(std::abs(fit.sumOfSquares - residuals(exact).squaredNorm()) < 1e-10);
    // The sum of squares never rises from one accepted iterate to the next.
    for (std::size_t i = 1; i < fit.history.size(); ++i)
        QVERIFY(fit.history[i].sumOfSquares <= fit.history[i - 1].sumOfSquares);
}

void TestNumerics::levenbergMarquardtFitsAnExponentialExactly()
{
    auto residuals = [](const Vec &p) {
        Vec r(8);
        for (int i = 0; i < 8; ++i)
            r[i] = p[0] * std::exp(-p[1] * i) - 3.0 * std::exp(-0.4 * i);
        return r;
    };
    Vec p0(2);
    p0 << 1.0, 1.0;
    const LsqResult fit = levenbergMarquardt(residuals, p0);
    QVERIFY(fit.converged);
    QVERIFY(std::abs(fit.p[0] - 3.0) < 1e-6);
    QVERIFY(std::abs(fit.p[1] - 0.4) < 1e-7);
    QVERIFY(fit.sumOfSquares < 1e-12);
}

void TestNumerics::numbersAreFormattedInTheCLocale_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("digits");
    QTest::addColumn<QString>("expected");
    QTest::newRow("fixed") << "fix" << 1234.5678 << 2 << "1234.57";
    QTest::newRow("negative zero loses its sign") << "fix" << -0.0001 << 2 << "0.00";
    QTest::newRow("small negative keeps it") << "fix" << -0.006 << 2 << "-0.01";
    QTest::newRow("scientific") << "sci" << 0.000123456 << 3 << "1.235e-04";
    QTest::newRow("scientific negative zero") << "sci" << -0.0 << 2 << "0.00e+00";
    QTest::newRow("num of a moderate value") << "num" << 3.14159265 << 6 << "3.14159";
    QTest::newRow("num of a large value") << "num" << 25484.2 << 6 << "25484.2";
    QTest::newRow("num of a tiny value") << "num" << 1.5e-7 << 3 << "1.50e-07";
    QTest::newRow("num of a huge value") << "num" << 4.0e9 << 3 << "4.00e+09";
}

void TestNumerics::numbersAreFormattedInTheCLocale()
{
    QFETCH(QString, kind);
    QFETCH(double, value);
    QFETCH(int, digits);
    QFETCH(QString, expected);
    // A user's decimal comma must not leak into the answers.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QString text = kind == "fix"   ? fix(value, digits)
                         : kind == "sci" ? sci(value, digits)
                                         : num(value, digits);
    QLocale::setDefault(QLocale::c());
    QCOMPARE(text, expected);
}

void TestNumerics::reportTablesAlignAndLinesEndInCrLf()
{
    Report r;
    r.title("Demo");
    r.table({"t", "value"}, {{"0", "1.5"}, {"10", "-22.25"}});
    r.field("Name", "x");
    r.field(QString(), "continued");
    r.line("two\nlines   ");
    const QByteArray bytes = r.bytes();
    const QList<QByteArray> lines = bytes.split('\n');
    QCOMPARE(bytes.count('\n'), bytes.count("\r\n"));
    QVERIFY(bytes.endsWith("lines\r\n")); // trailing blanks dropped, one line end
    QVERIFY(bytes.contains("  ========\r\n") || bytes.contains("========\r\n"));
    // Right-aligned columns: the values end in the same column.
    const int a = int(bytes.indexOf("    1.5\r\n"));
    const int b = int(bytes.indexOf(" -22.25\r\n"));
    QVERIFY(a > 0 && b > 0);
    // Field names are padded with dots to one width.
    QVERIFY(bytes.contains(QByteArray("  Name " + QByteArray(29, '.') + ": x\r\n")));
    QVERIFY(bytes.contains(QByteArray(QByteArray(38, ' ') + "continued\r\n")));
    QVERIFY(lines.size() > 8);
}

QTEST_GUILESS_MAIN(TestNumerics)
#include "tst_numerics.moc"
