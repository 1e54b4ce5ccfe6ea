#include "TyNumberFormat.h"

#include <cmath>

namespace ty {

QString formatNumber(double value)
{
    if (std::isnan(value))
        return QStringLiteral("nan");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("inf") : QStringLiteral("-inf");
    if (value == 0.0)
        return QStringLiteral("0");
    if (value == std::floor(value) && std::abs(value) < 1e15)
        return QString::number(value, 'f', 0);
    return QString::number(value, 'g', 6);
}

} // namespace ty
