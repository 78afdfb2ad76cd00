#include "SwitchButton.h"

#include "Slider.h"

#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>

SwitchButton::SwitchButton(QWidget *parent)
    : QWidget(parent)
    , trackHeight(qMin(height(), width()))
    , trackSpan(width() - trackHeight)
    , knob(new Slider(this))
{
    const int side = height() - 2 * margin;
    knob->setColor(Qt::white);
    knob->resize(side, side);
    knob->move(margin, margin);
    knob->setDiameter(side);
    setCursor(Qt::PointingHandCursor);
}

void SwitchButton::setOpen(bool open)
{
    if (open == checked || !idle)
        return;
    idle = false;
    checked = open;
    slide();
}

void SwitchButton::setGeometry(const QRect &rect)
{
    QWidget::setGeometry(rect);
    trackHeight = qMin(rect.height(), rect.width());
    const int diameter = trackHeight - 2 * margin;
    knob->setDiameter(diameter);
    knob->resize(diameter, diameter);
    trackSpan = rect.width() - trackHeight;
    repaint();
}

void SwitchButton::setGeometry(int x, int y, int width, int height)
{
    setGeometry(QRect(x, y, width, height));
}

void SwitchButton::mousePressEvent(QMouseEvent *event)
{
    if (!idle)
        return;
    idle = false;
    checked = !checked;
    slide();
    QWidget::mousePressEvent(event);
}

void SwitchButton::paintEvent(QPaintEvent *)
{
    QPainterPath pill;
    pill.addEllipse(0, 0, trackHeight, trackHeight);
    pill.addRect(trackHeight / 2, 0, trackSpan, trackHeight);
    pill.addEllipse(trackSpan, 0, trackHeight, trackHeight);
    pill.setFillRule(Qt::WindingFill);

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(checked ? onColor : offColor);
    painter.drawPath(pill.simplified());
}

void SwitchButton::slide()
{
    const int k = knob->diameter();
    auto *animation = new QPropertyAnimation(knob, "geometry", this);
    animation->setDuration(duration);
    if (checked) {
        animation->setStartValue(QRect(margin, margin, k, k));
        animation->setEndValue(QRect(width() - margin - k, margin, k, k));
    } else {
        animation->setStartValue(QRect(knob->x(), knob->y(), k, k));
        animation->setEndValue(QRect(margin, margin, k, k));
    }
    connect(animation, &QPropertyAnimation::valueChanged, this, qOverload<>(&QWidget::update));
    connect(animation, &QPropertyAnimation::finished, this, [this] {
        idle = true;
        emit onValueChanged(checked);
    });
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}
