#include "Corral.h"

#include <QTest>

#include <stdexcept>

using namespace kv;

// The hillside corral by calculus: both the fence and the water line bind, so
// w + 2d = 100 and d = 20 give w = 60, A = 1200, with multipliers 20 and 40.
class TestCorral : public QObject
{
    Q_OBJECT

private slots:
    void everyOptimiserReachesTheCalculusOptimum_data();
    void everyOptimiserReachesTheCalculusOptimum();
    void multipliersSatisfyTheKuhnTuckerConditions_data();
    void multipliersSatisfyTheKuhnTuckerConditions();
    void iterationPathsStartAtTheGivenStart();
    void eachSolverHasItsCatalogueFile();
    void unknownSolverIsRejected();
    void smallLinearProgrammeFindsTheBestVertex();
};

void TestCorral::everyOptimiserReachesTheCalculusOptimum_data()
{
    QTest::addColumn<QString>("solver");
    for (const QString &s : corral::solverNames())
        QTest::newRow(qPrintable(s)) << s;
}

void TestCorral::everyOptimiserReachesTheCalculusOptimum()
{
    QFETCH(QString, solver);
    const corral::Result r = corral::solve(solver);
    QCOMPARE(r.solver, solver);
    QVERIFY2(std::abs(r.x[0] - 60.0) < 1e-3, qPrintable(QString::number(r.x[0], 'g', 12)));
    QVERIFY2(std::abs(r.x[1] - 20.0) < 1e-3, qPrintable(QString::number(r.x[1], 'g', 12)));
    QVERIFY(std::abs(r.x[0] * r.x[1] - 1200.0) < 0.01);
    QVERIFY(corral::largestViolation(r.x) < 1e-6);
    QVERIFY(r.converged);
    QVERIFY(r.iterations > 0);
    QVERIFY(r.functionEvaluations > 0);
    // The reported path ends where the result is.
    QCOMPARE(r.path.back().x, r.x);
}

void TestCorral::multipliersSatisfyTheKuhnTuckerConditions_data()
{
    QTest::addColumn<QString>("solver");
    for (const char *s : {"SUMT", "SCP", "ALM", "MMFD", "SQP", "MFD", "SLP", "GRG"})
        QTest::newRow(s) << QString::fromLatin1(s);
}

void TestCorral::multipliersSatisfyTheKuhnTuckerConditions()
{
    QFETCH(QString, solver);
    const corral::Result r = corral::solve(solver);
    QCOMPARE(r.multipliers.size(), Eigen::Index(2));
    QVERIFY2(std::abs(r.multipliers[0] - 20.0) < 1e-3,
             qPrintable(QString::number(r.multipliers[0])));
    QVERIFY2(std::abs(r.multipliers[1] - 40.0) < 1e-3,
             qPrintable(QString::number(r.multipliers[1])));
}

void TestCorral::iterationPathsStartAtTheGivenStart()
{
    for (const QString &s : corral::solverNames()) {
        const corral::Result r = corral::solve(s);
        QCOMPARE(r.path.front().x[0], corral::StartW);
        QCOMPARE(r.path.front().x[1], corral::StartD);
        QCOMPARE(r.iterations, int(r.path.size()) - 1);
    }
}

void TestCorral::eachSolverHasItsCatalogueFile()
{
    QCOMPARE(corral::solverNames().size(), 11);
    QCOMPARE(corral::fileOf("SQP"), QStringLiteral("hb1sqp"));
    QCOMPARE(corral::fileOf("SIMPLEX"), QStringLiteral("hb1nms"));
    QCOMPARE(corral::fileOf("PATTERN"), QStringLiteral("hb1hj"));
    QCOMPARE(corral::fileOf("nonsense"), QString());
}

void TestCorral::unknownSolverIsRejected()
{
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, corral::solve("NEWTON"));
}

void TestCorral::smallLinearProgrammeFindsTheBestVertex()
{
    // maximise 3x + 2y s.t. x + y <= 4, x + 3y <= 6, x <= 3, x >= 0, y >= 0: best (3, 1).
    Mat A(5, 2);
    A << 1, 1, 1, 3, 1, 0, -1, 0, 0, -1;
    Vec b(5);
    b << 4, 6, 3, 0, 0;
    Vec c(2);
    c << 3, 2;
    const Vec x = corral::solveSmallLp(c, A, b);
    QVERIFY(std::abs(x[0] - 3.0) < 1e-12);
    QVERIFY(std::abs(x[1] - 1.0) < 1e-12);
}

QTEST_GUILESS_MAIN(TestCorral)
#include "tst_corral.moc"
