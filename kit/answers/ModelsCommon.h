#pragma once

#include "Models.h"

#include <cmath>
#include <numbers>

// Pieces the model files share.
namespace kv {

constexpr double Pi = std::numbers::pi;

// A report opened with the demo's title, its solver and the generator's note.
Report openReport(const QString &stem,
                  const QString &title,
                  const QString &solver,
                  const QStringList &methods);

// Times t0, t0 + dt, ..., t1 (computed from the index, so no rounding drift).
std::vector<double> timeGrid(double t0, double t1, double dt);

// The iterations of a shooting Newton method as table rows.
std::vector<QStringList> scalarIterationRows(const ScalarRootResult &r, int decimals);

// Each model file lists its answers by demo stem; the answers are made on demand.
struct AnswerEntry
{
    QString stem;
    Answer (*make)();
};
std::vector<AnswerEntry> heatEntries();
std::vector<AnswerEntry> motionEntries();
std::vector<AnswerEntry> otherEntries();
std::vector<AnswerEntry> corralEntries();

} // namespace kv
