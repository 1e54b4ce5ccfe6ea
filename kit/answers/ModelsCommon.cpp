#include "ModelsCommon.h"

namespace kv {

Report openReport(const QString &stem,
                  const QString &title,
                  const QString &solver,
                  const QStringList &methods)
{
    Report r;
    r.title(stem + QStringLiteral(": ") + title);
    r.line(QStringLiteral("Answer of the demo \"%1\", computed by the sample tool kit's answers")
               .arg(stem));
    r.line(QStringLiteral("generator from the model stated in the demo file (fixed formats, no"));
    r.line(QStringLiteral("time stamps: a rerun gives the same file)."));
    r.line();
    r.field(QStringLiteral("Solver"), solver.isEmpty() ? QStringLiteral("(none named)") : solver);
    for (qsizetype i = 0; i < methods.size(); ++i)
        r.field(i == 0 ? QStringLiteral("Method") : QString(), methods.at(i));
    return r;
}

std::vector<double> timeGrid(double t0, double t1, double dt)
{
    std::vector<double> times;
    const long n = std::lround((t1 - t0) / dt);
    for (long i = 0; i <= n; ++i)
        times.push_back(t0 + double(i) * dt);
    return times;
}

std::vector<QStringList> scalarIterationRows(const ScalarRootResult &r, int decimals)
{
    std::vector<QStringList> rows;
    for (std::size_t i = 0; i < r.history.size(); ++i)
        rows.push_back(
            {QString::number(i), fix(r.history[i].s, decimals), sci(r.history[i].residual, 3)});
    return rows;
}

} // namespace kv
