#pragma once

#include <QWidget>

// Sizes and positions are given in twips: 1440 twips make one inch on the screen.
namespace Twips {
inline int toPxX(int twips, const QWidget *w)
{
    return qRound(twips * (w ? w->logicalDpiX() : 96) / 1440.0);
}
inline int toPxY(int twips, const QWidget *w)
{
    return qRound(twips * (w ? w->logicalDpiY() : 96) / 1440.0);
}
inline int fromPxX(int px, const QWidget *w)
{
    return qRound(px * 1440.0 / (w ? w->logicalDpiX() : 96));
}
inline int fromPxY(int px, const QWidget *w)
{
    return qRound(px * 1440.0 / (w ? w->logicalDpiY() : 96));
}
} // namespace Twips
