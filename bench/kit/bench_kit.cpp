// The tool kit's interpreter, measured by hand (never by tests):
//
//   build-dev/bench/kit/bench_kit
//
// 1. the whole demo catalogue run through the interpreter;
// 2. the 3-D heat demo (explicit Euler, 100 steps of its 729-unknown right-hand
//    side) through the interpreter beside the compiled model of kit/answers;
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
    const double interpreted = best(10, [&] { ty::runTessaly(cube); });
    const double compiled = best(50, [] { kv::solveCube(); });
    // 100 Euler steps and 11 output points: 111 runs of the model each way.
    std::printf("3-D heat demo, one right-hand side: interpreter %.3f ms, compiled %.3f ms, "
                "ratio %.1f\n",
                interpreted / 111 * 1e3,
                compiled / 111 * 1e3,
                interpreted / compiled);

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
