#include "PlotCanvas.h"

#include <QPainter>

#include <new>

namespace {

// The plot drawn at that size; a null image when there is not the memory for it.
QImage drawn(const PlotData &plot, QSize size)
{
    try {
        return renderPlot(plot, size);
    } catch (const std::bad_alloc &) {
        return QImage();
    }
}

} // namespace

PlotCanvas::PlotCanvas(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("plotCanvas"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(160, 120);
}

void PlotCanvas::setPlot(const LoadedPlot &plot)
{
    m_plot = plot;
    m_rendered = QImage();
    update();
}

void PlotCanvas::showMessage(const QString &message)
{
    LoadedPlot plot;
    plot.message = message;
    setPlot(plot);
}

QString PlotCanvas::message() const
{
    return m_plot.kind == LoadedPlot::Plot || m_plot.kind == LoadedPlot::Picture ? QString()
                                                                                 : m_plot.message;
}

QImage PlotCanvas::imageToSave() const
{
    if (m_plot.kind == LoadedPlot::Picture)
        return m_plot.picture;
    if (m_plot.kind == LoadedPlot::Plot)
        return drawn(m_plot.plot, size());
    return QImage();
}

void PlotCanvas::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    switch (m_plot.kind) {
    case LoadedPlot::Plot: {
        const qreal ratio = devicePixelRatioF();
        const QSize wanted = (QSizeF(size()) * ratio).toSize();
        if (m_rendered.size() != wanted) {
            m_rendered = drawn(m_plot.plot, wanted);
            m_rendered.setDevicePixelRatio(ratio);
        }
        if (m_rendered.isNull()) {
            p.setPen(QColor(0xa0, 0x10, 0x10));
            p.drawText(rect().adjusted(24, 24, -24, -24),
                       Qt::AlignCenter | Qt::TextWordWrap,
                       QStringLiteral("There is not enough memory to draw this plot."));
            break;
        }
        p.drawImage(0, 0, m_rendered);
        break;
    }
    case LoadedPlot::Picture: {
        const QImage &picture = m_plot.picture;
        QSizeF shown = QSizeF(picture.size()) / picture.devicePixelRatio();
        if (shown.width() > width() || shown.height() > height())
            shown.scale(QSizeF(size()), Qt::KeepAspectRatio);
        const QRectF target((width() - shown.width()) / 2,
                            (height() - shown.height()) / 2,
                            shown.width(),
                            shown.height());
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(target, picture);
        break;
    }
    case LoadedPlot::Failed:
    case LoadedPlot::Nothing: {
        p.setPen(m_plot.kind == LoadedPlot::Failed ? QColor(0xa0, 0x10, 0x10)
                                                   : palette().color(QPalette::WindowText));
        const QRect box = rect().adjusted(24, 24, -24, -24);
        p.drawText(box, Qt::AlignCenter | Qt::TextWordWrap, m_plot.message);
        break;
    }
    }
}
