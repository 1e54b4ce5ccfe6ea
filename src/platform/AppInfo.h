#pragma once

#include <QString>

namespace AppInfo {
// The application's title: the per-user settings are kept under it and a message
// box without a title of its own shows it.
inline QString programTitle()
{
    return QStringLiteral("Kelvara Solver");
}
inline QString productName()
{
    return QStringLiteral("Kelvara");
}
inline QString version()
{
    return QStringLiteral("4.00");
}
inline QString companyKey()
{
    return QStringLiteral("Software\\Brindlemoor");
}
inline QString productKey()
{
    return QStringLiteral("Software\\Brindlemoor\\Kelvara");
}
} // namespace AppInfo
