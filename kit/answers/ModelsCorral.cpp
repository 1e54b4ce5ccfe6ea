// The hillside corral's eleven answers (hb1...) and the solver guide.
#include "Corral.h"
#include "ModelsCommon.h"

namespace kv {

namespace {

void describeCorral(Report &r)
{
    r.heading("Model");
    r.line(
        "  A rectangular corral on a hillside rising at 30 degrees: its lower side runs along a");
    r.line(
        "  stream (no fence), the two sides up the slope and the upper side take 100 m of fence,");
    r.line("  and the water line reaches at most 10 m above the stream.");
    r.line("  maximise A = w d  (w along the stream, d up the slope, in m)");
    r.line("  subject to  w + 2d <= 100 (fence), d sin30 <= 10 (water line),");
    r.line("              0 <= w <= 100, 0 <= d <= 50; start w = 10 m, d = 10 m");
    r.line("  By calculus both constraints hold with equality at the optimum:");
    r.line("  w = 60 m, d = 20 m, A = 1200 m2.");
}

Answer corralAnswer(const QString &solver)
{
    using namespace corral;
    const Result res = solve(solver);
    Report r = openReport(res.file, "Hillside corral", solver, {res.method});
    r.line(res.notes);
    describeCorral(r);
    r.heading("Iterations");
    std::vector<QStringList> rows;
    for (std::size_t i = 0; i < res.path.size(); ++i) {
        const Iterate &it = res.path[i];
        rows.push_back({QString::number(i),
                        fix(it.x[0], 8),
                        fix(it.x[1], 8),
                        fix(it.area, 6),
                        sci(it.violation, 2)});
    }
    r.table({"iteration", "w [m]", "d [m]", "area [m2]", "violation [m]"}, rows);
    r.heading("Constraints at the optimum");
    rows.clear();
    const Vec g = constraints(res.x);
    const QStringList names = constraintNames();
    for (int i = 0; i < ConstraintCount; ++i)
        rows.push_back({names.at(i), sci(g[i], 3)});
    r.table({"constraint g <= 0", "value"}, rows);
    r.heading("Results");
    r.field("Width w", fix(res.x[0], 8) + " m");
    r.field("Depth d", fix(res.x[1], 8) + " m");
    r.field("Area", fix(res.x[0] * res.x[1], 6) + " m2");
    r.field("Distance from (60, 20)", sci(std::hypot(res.x[0] - 60.0, res.x[1] - 20.0), 3) + " m");
    if (res.multipliers.size() == 2) {
        r.field("Multiplier of the fence", fix(res.multipliers[0], 5) + " m2 per m (exact 20)");
        r.field("Multiplier of the water line",
                fix(res.multipliers[1], 5) + " m2 per m (exact 40)");
    }
    r.field("Iterations", QString::number(res.iterations));
    r.field("Function evaluations", QString::number(res.functionEvaluations));
    r.field("Gradient evaluations", QString::number(res.gradientEvaluations));

    Answer a{res.file, r.bytes(), {}, true, false};
    a.plot.title = res.file + ": " + solver + " iterates on the hillside corral";
    a.plot.xLabel = "w [m]";
    a.plot.yLabel = "d [m]";
    std::vector<double> px, py;
    for (const Iterate &it : res.path) {
        px.push_back(it.x[0]);
        py.push_back(it.x[1]);
    }
    a.plot.series << makeSeries("iterates", px, py)
                  << makeSeries("fence w + 2d = 100", {0, 100}, {50, 0})
                  << makeSeries("water line d = 20", {0, 100}, {20, 20});
    return a;
}

Answer answerFindGuide()
{
    Report r = openReport("^FIND-stmt",
                          "Solver guide: the optimisers compared",
                          QString(),
                          {"each of the eleven optimisers on the hillside corral"});
    describeCorral(r);
    r.heading("Comparison");
    std::vector<QStringList> rows;
    Answer a{"^FIND-stmt", {}, {}, true, false};
    a.plot.title = "Solver guide: area against iteration";
    a.plot.xLabel = "iteration";
    a.plot.yLabel = "area [m2]";
    std::vector<corral::Result> results;
    for (const QString &solver : corral::solverNames()) {
        results.push_back(corral::solve(solver));
        const corral::Result &res = results.back();
        rows.push_back({res.file,
                        solver,
                        QString::number(res.iterations),
                        QString::number(res.functionEvaluations),
                        fix(res.x[0], 6),
                        fix(res.x[1], 6),
                        fix(res.x[0] * res.x[1], 5),
                        sci(std::hypot(res.x[0] - 60.0, res.x[1] - 20.0), 2)});
        std::vector<double> it, area;
        for (std::size_t i = 0; i < res.path.size(); ++i) {
            it.push_back(double(i));
            area.push_back(res.path[i].area);
        }
        a.plot.series << makeSeries(solver, it, area);
    }
    r.table({"file",
             "solver",
             "iterations",
             "evaluations",
             "w [m]",
             "d [m]",
             "area [m2]",
             "from (60,20)"},
            rows);
    r.heading("Methods");
    for (const corral::Result &res : results)
        r.line(QStringLiteral("  %1  %2").arg(res.solver, -8).arg(res.method));
    r.line();
    r.line("  Methods that follow the constraints (MMFD, GRG, SLP, SQP, SCP) land on the corner");
    r.line("  in a few iterations; penalty and barrier methods (SUMT, SIMPLEX, PATTERN, BFGS)");
    r.line("  approach it stage by stage, and direct search (SIMPLEX, PATTERN) needs far more");
    r.line("  function evaluations than the methods that use gradients.");
    a.report = r.bytes();
    return a;
}

template<int I>
Answer corralByIndex()
{
    return corralAnswer(corral::solverNames().at(I));
}

} // namespace

std::vector<AnswerEntry> corralEntries()
{
    return {{"^FIND-stmt", answerFindGuide},
            {"hb1sumt", corralByIndex<0>},
            {"hb1scp", corralByIndex<1>},
            {"hb1alm", corralByIndex<2>},
            {"hb1mmfd", corralByIndex<3>},
            {"hb1sqp", corralByIndex<4>},
            {"hb1mfd", corralByIndex<5>},
            {"hb1nms", corralByIndex<6>},
            {"hb1hj", corralByIndex<7>},
            {"hb1slp", corralByIndex<8>},
            {"hb1grg", corralByIndex<9>},
            {"hb1bfgs", corralByIndex<10>}};
}

} // namespace kv
