#pragma once

#include <QWidget>

#include <algorithm>
#include <limits>

// Sizes and positions are given in twips: 1440 twips make one inch on the screen.
// The arithmetic is done in floating point and the result held within int, so no
// stored size, however absurd, can overflow.
namespace Twips {
namespace detail {
inline int clampToInt(double v)
{
    constexpr double lo = std::numeric_limits<int>::min();
    constexpr double hi = std::numeric_limits<int>::max();
    return static_cast<int>(qRound64(std::clamp(v, lo, hi)));
}
inline double dpiX(const QWidget *w)
{
    return w ? w->logicalDpiX() : 96;
}
inline double dpiY(const QWidget *w)
{
    return w ? w->logicalDpiY() : 96;
}
} // namespace detail

inline int toPxX(int twips, const QWidget *w)
{
    return detail::clampToInt(twips * detail::dpiX(w) / 1440.0);
}
inline int toPxY(int twips, const QWidget *w)
{
    return detail::clampToInt(twips * detail::dpiY(w) / 1440.0);
}
inline int fromPxX(int px, const QWidget *w)
{
    return detail::clampToInt(px * 1440.0 / detail::dpiX(w));
}
inline int fromPxY(int px, const QWidget *w)
{
    return detail::clampToInt(px * 1440.0 / detail::dpiY(w));
}
} // namespace Twips
