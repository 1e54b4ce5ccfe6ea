#include "ProportionalLayout.h"

#include "core/Twips.h"

#include <QEvent>
#include <QWidget>

#include <cmath>

ProportionalLayout::ProportionalLayout(QWidget *window, QSize designInnerTwips)
    : QObject(window)
    , m_window(window)
    , m_design(designInnerTwips)
{}

QRect ProportionalLayout::scaled(const QRect &design, QSize designInner, QSize inner)
{
    if (designInner.width() <= 0 || designInner.height() <= 0)
        return design;
    const double fx = double(inner.width()) / designInner.width();
    const double fy = double(inner.height()) / designInner.height();
    // Edges are scaled, not sizes, so neighbours that touch in the design still
    // touch after rounding.
    const int left = int(std::lround(design.x() * fx));
    const int top = int(std::lround(design.y() * fy));
    const int right = int(std::lround((design.x() + design.width()) * fx));
    const int bottom = int(std::lround((design.y() + design.height()) * fy));
    return QRect(left, top, right - left, bottom - top);
}

void ProportionalLayout::add(QWidget *control, const QRect &designTwips)
{
    m_items.append({control, designTwips});
    QWidget *parent = control->parentWidget();
    if (parent && parent != m_window)
        parent->installEventFilter(this);
}

bool ProportionalLayout::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Resize)
        for (const Item &item : m_items)
            if (item.control->parentWidget() == watched)
                place(item);
    return QObject::eventFilter(watched, event);
}

QRect ProportionalLayout::placement(const QWidget *control,
                                    QSize innerPx,
                                    const QWidget *window) const
{
    const QSize designPx(Twips::toPxX(m_design.width(), window),
                         Twips::toPxY(m_design.height(), window));
    for (const Item &item : m_items)
        if (item.control == control) {
            const QRect designPxRect(Twips::toPxX(item.design.x(), window),
                                     Twips::toPxY(item.design.y(), window),
                                     Twips::toPxX(item.design.width(), window),
                                     Twips::toPxY(item.design.height(), window));
            return scaled(designPxRect, designPx, innerPx);
        }
    return {};
}

void ProportionalLayout::apply() const
{
    for (const Item &item : m_items)
        place(item);
}

void ProportionalLayout::place(const Item &item) const
{
    QRect r = placement(item.control, m_window->size(), m_window);
    QWidget *parent = item.control->parentWidget();
    if (parent && parent != m_window) {
        // A control on a tab page: its rectangle is relative to the tab control,
        // whose header takes the top of it; the page starts below the header.
        const QWidget *tabs
            = parent->parentWidget() ? parent->parentWidget()->parentWidget() : nullptr;
        const QPoint pageOrigin = tabs ? parent->mapTo(tabs, QPoint(0, 0)) : QPoint();
        r.translate(-pageOrigin);
        if (r.top() < 2)
            r.moveTop(2);
        const int room = parent->height() - r.top() - 2;
        if (parent->height() > 0 && r.height() > room)
            r.setHeight(std::max(room, 0));
    }
    item.control->setGeometry(r);
}
