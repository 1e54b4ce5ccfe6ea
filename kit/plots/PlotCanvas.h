#pragma once

#include "PlotSource.h"

#include <QWidget>

// Shows one loaded plot: a ".plt" plot drawn at the widget's size, a picture scaled
// down to fit, or the message of a file that cannot be shown.
class PlotCanvas : public QWidget
{
    Q_OBJECT

public:
    explicit PlotCanvas(QWidget *parent = nullptr);

    void setPlot(const LoadedPlot &plot);
    void showMessage(const QString &message);

    const LoadedPlot &current() const { return m_plot; }
    // The text shown instead of a plot; empty while a plot or picture is shown.
    QString message() const;
    // What "Save as PNG" writes: a plot as drawn at the canvas's size, a picture as it is.
    QImage imageToSave() const;

    QSize sizeHint() const override { return {640, 480}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    LoadedPlot m_plot;
    mutable QImage m_rendered; // the plot drawn at the last size asked for
};
