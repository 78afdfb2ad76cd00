#include "PixmapDisplay.h"

#include <QPainter>

PixmapDisplay::PixmapDisplay(QWidget* parent) : QWidget(parent) {}

PixmapDisplay::~PixmapDisplay() = default;

void PixmapDisplay::setFit(bool inside)
{
    m_fitInside = inside;
}

void PixmapDisplay::setPixmap(const QPixmap& pix)
{
    // Qt's copy shares the pixel data: no frame copy here.
    m_pixmap = std::make_unique<QPixmap>(pix);
    update();
}

QRect PixmapDisplay::drawRect(const QSize& widget, const QSize& pixmap, bool fitInside)
{
    const int w = widget.width(), h = widget.height();
    const int pw = pixmap.width(), ph = pixmap.height();
    const bool widgetWider = static_cast<float>(w) / h > static_cast<float>(pw) / ph;
    // Contain follows the narrower fit, cover the wider one.
    if (widgetWider == fitInside) {
        const int width = pw * h / ph;
        return QRect((w - width) / 2, 0, width, h);
    }
    const int height = ph * w / pw;
    return QRect(0, (h - height) / 2, w, height);
}

void PixmapDisplay::paintEvent(QPaintEvent* event)
{
    {
        QPainter painter(this);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QBrush(Qt::black, Qt::SolidPattern));
        painter.drawRect(rect());
        if (m_pixmap && !m_pixmap->isNull() && width() > 0 && height() > 0)
            painter.drawPixmap(drawRect(size(), m_pixmap->size(), m_fitInside), *m_pixmap);
    }
    QWidget::paintEvent(event);
}
