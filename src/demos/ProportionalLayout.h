#pragma once

#include <QList>
#include <QObject>
#include <QRect>
#include <QSize>

class QWidget;

// Places controls in proportion to a window's inner size: each control keeps the
// rectangle it has in the design layout (in twips), and whenever the inner size
// changes its left and width scale with the width, its top and height with the
// height.
class ProportionalLayout : public QObject
{
public:
    ProportionalLayout(QWidget *window, QSize designInnerTwips);

    // A design rectangle scaled from the design inner size to the inner size (both
    // in the same unit as the result).
    static QRect scaled(const QRect &design, QSize designInner, QSize inner);

    // Records a control with its design rectangle in twips, relative to the
    // window's client area. A control inside a page of a tab control gives that
    // page as its container: its rectangle is then relative to the tab control's
    // own (whose rectangle must be recorded too).
    void add(QWidget *control, const QRect &designTwips);

    // The rectangle the control gets at this inner size, in pixels, relative to the
    // window's client area.
    QRect placement(const QWidget *control, QSize innerPx, const QWidget *window) const;

    // Places every recorded control for the window's current inner size.
    void apply() const;

protected:
    // A tab page that changes size (the tab control laid itself out) places its
    // controls again.
    bool eventFilter(QObject *watched, QEvent *event) override;

    QSize designInnerTwips() const { return m_design; }

private:
    struct Item
    {
        QWidget *control;
        QRect design;
    };
    void place(const Item &item) const;

    QWidget *m_window;
    QSize m_design;
    QList<Item> m_items;
};
