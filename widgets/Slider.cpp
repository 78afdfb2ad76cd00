#include "Slider.h"

#include <QPainter>

Slider::Slider(QWidget *parent)
    : QWidget(parent)
{
}

void Slider::setColor(const QColor &value)
{
    color = value;
    update();
}

void Slider::setDiameter(int value)
{
    knobDiameter = value;
    update();
}

void Slider::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    painter.fillRect(rect(), Qt::transparent);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    const int radius = knobDiameter / 2;
    painter.drawRoundedRect(QRect(0, 0, knobDiameter, knobDiameter), radius, radius, Qt::AbsoluteSize);
}
