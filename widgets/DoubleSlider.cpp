#include "DoubleSlider.h"

#include <QPainter>

DoubleSlider::DoubleSlider(QWidget *parent)
    : QSlider(Qt::Horizontal, parent)
{
}

void DoubleSlider::paintEvent(QPaintEvent *event)
{
    QSlider::paintEvent(event);
    const int mid = (minimum() + maximum()) / 2;
    const int level = value();
    if (level == mid)
        return;

    const double range = maximum() - minimum();
    // The offset puts the line's end on the edge of a 16-pixel handle that faces the
    // middle; the handle's own travel is folded in by the ratio 8 / (maximum - mid).
    const float ratio = 8.0f / float(maximum() - mid);
    const float offset = float(level - mid) * ratio + (level < mid ? -8.0f : 8.0f);
    const int edge = int((level - minimum()) / range * width() - offset);
    const int centre = int((mid - minimum()) / range * width());
    const bool pointsRightWay = level > mid ? edge >= centre : edge <= centre;
    if (edge == centre || !pointsRightWay)
        return;

    QPainter painter(this);
    const QColor accent(0, 190, 255);
    painter.setPen(QPen(accent, 4));
    painter.setBrush(QBrush(accent, Qt::SolidPattern));
    painter.setRenderHint(QPainter::Antialiasing);
    painter.drawLine(edge, height() / 2, centre, height() / 2);
}
