#pragma once

#include <QString>

namespace ty {

// A number as Print writes it: C's %g with six significant digits (0.0173308,
// 3380.7, 1.5e-07), a whole number of up to fifteen digits without a decimal point
// (1200, 400000), never "-0". Independent of the locale.
QString formatNumber(double value);

} // namespace ty
