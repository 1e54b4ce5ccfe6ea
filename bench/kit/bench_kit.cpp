// The tool kit's interpreter, measured by hand (never by tests):
//
//   build-dev/bench/kit/bench_kit
//
// 1. the whole demo catalogue run through the interpreter;
// 2. the 3-D heat demo (explicit Euler, 100 steps of its 729-unknown right-hand
//    side) through the interpreter beside the compiled model of kit/answers; and one
//    right-hand side on its own: the demo run with 1000 steps less the run with 100,
//    over the 900 evaluations between, beside the same seven-point Laplacian in C++;
// 3. the checker on 16,000 nested For loops outside a model beside a flat job of
//    the same number of statements.

#include <Models.h>
#include <TessalyCheck.h>
#include <TyRun.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <cstdio>
#include <vector>

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The best of a few runs, in seconds.
template<typename F>
double best(int runs, F f)
{
    double fastest = 1e30;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        f();
        fastest = std::min(fastest, double(timer.nsecsElapsed()) * 1e-9);
    }
    return fastest;
}

// The right-hand side of kv::solveCube written out: the seven-point Laplacian of
// the 9 x 9 x 9 inner nodes (faces at 0) times the diffusivity.
void cubeRhs(const std::vector<double> &u, std::vector<double> &du)
{
    const int m = 9;
    const double inv = 100.0, alpha = 1e-4;
    auto at = [&](int i, int j, int k) {
        if (i < 0 || i >= m || j < 0 || j >= m || k < 0 || k >= m)
            return 0.0;
        return u[std::size_t((k * m + j) * m + i)];
    };
    for (int k = 0; k < m; ++k)
        for (int j = 0; j < m; ++j)
            for (int i = 0; i < m; ++i) {
                double s = at(i - 1, j, k) + at(i + 1, j, k) - 2.0 * at(i, j, k);
                s += at(i, j - 1, k) + at(i, j + 1, k) - 2.0 * at(i, j, k);
                s += at(i, j, k - 1) + at(i, j, k + 1) - 2.0 * at(i, j, k);
                du[std::size_t((k * m + j) * m + i)] = s * inv * alpha;
            }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QDir demos(QStringLiteral(KV_DEMO_DIR));
    QList<QByteArray> jobs;
    for (const QString &name : demos.entryList({"*.ty"}, QDir::Files))
        jobs << readFile(demos.filePath(name));

    const double catalogue = best(3, [&] {
        for (const QByteArray &job : jobs)
            if (!ty::runTessaly(job).ok)
                std::fprintf(stderr, "a demo failed\n");
    });
    std::printf("whole catalogue (%lld demos) through the interpreter: %.2f s\n",
                (long long)jobs.size(),
                catalogue);

    const QByteArray cube = readFile(demos.filePath("3d-Kelvara.ty"));
    // On this machine the compiled model runs at one of two speeds, a factor of
    // two apart, and keeps one for a while (a neighbour on the same core, likely);
    // the interpreter hardly moves. So both are timed in turns, and the ratio is
    // taken from the fastest of each: against the compiled model at its best.
    double interpreted = 1e30, compiled = 1e30, slowest = 0;
    for (int round = 0; round < 8; ++round) {
        interpreted = std::min(interpreted, best(3, [&] { ty::runTessaly(cube); }));
        const double c = best(10, [] { kv::solveCube(); });
        compiled = std::min(compiled, c);
        slowest = std::max(slowest, c);
    }
    // 100 Euler steps and 11 output points: 111 runs of the model each way.
    std::printf("3-D heat demo, one right-hand side: interpreter %.4f ms, compiled %.4f ms "
                "(%.4f ms in its slower rounds), ratio %.1f (%.1f)\n",
                interpreted / 111 * 1e3,
                compiled / 111 * 1e3,
                slowest / 111 * 1e3,
                interpreted / compiled,
                interpreted / slowest);

    // One right-hand side: ten times the steps (StepSize 1 s, the same 11 output
    // points) costs 900 more evaluations and nothing else.
    QByteArray longer = cube;
    longer.replace("StepSize = dt", "StepSize = 1");
    if (longer == cube)
        std::fprintf(stderr, "the heat demo no longer sets StepSize = dt\n");
    const double fewSteps = best(10, [&] { ty::runTessaly(cube); });
    const double manySteps = best(5, [&] { ty::runTessaly(longer); });
    const double perRhs = (manySteps - fewSteps) / 900;
    std::vector<double> u(729, 1.0), du(729);
    for (std::size_t i = 0; i < u.size(); ++i)
        u[i] = double(i % 17);
    const double compiledRhs = best(10,
                                    [&] {
                                        for (int r = 0; r < 1000; ++r) {
                                            cubeRhs(u, du);
                                            u[std::size_t(r) % u.size()] += du[0];
                                        }
                                    })
                               / 1000;
    std::printf("3-D heat demo, one right-hand side alone (1000-step run less the 100-step "
                "run): interpreter %.4f ms, the same Laplacian in C++ %.4f ms, ratio %.1f\n",
                perRhs * 1e3,
                compiledRhs * 1e3,
                perRhs / compiledRhs);

    QByteArray nested = "Variable x\n", flat = "Variable x\n";
    const int depth = 16000;
    for (int i = 0; i < depth; ++i)
        nested += "For i" + QByteArray::number(i) + " = 1 To 1\n";
    nested += "x = 1\n";
    for (int i = 0; i < depth; ++i)
        nested += "End For\n";
    while (flat.size() < nested.size())
        flat += "x = 1\n";
    const double nestedTime = best(3, [&] { checkTessaly(nested); });
    const double flatTime = best(3, [&] { checkTessaly(flat); });
    std::printf("checker, %d nested loops outside a model (%lld bytes): %.3f s; flat job of "
                "the same size: %.3f s\n",
                depth,
                (long long)nested.size(),
                nestedTime,
                flatTime);
    return 0;
}
