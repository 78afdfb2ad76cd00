#include "TimeWidget.h"

#include <QLabel>

namespace {

QLabel* addLabel(QWidget* parent, const QRect& geometry, const QString& text, const QString& style)
{
    auto* label = new QLabel(text, parent);
    label->setGeometry(geometry);
    label->setStyleSheet(style);
    return label;
}

} // namespace

TimeWidget::TimeWidget(QWidget* parent, float scale)
    : QFrame(parent)
{
    auto s = [scale](int v) { return int(v * scale); };
    setStyleSheet("background-color: transparent;");
    // Wide enough for "00:00:00" in the CJK font the program ships, whose digits run wider
    // than those the layout was first drawn for.
    setGeometry(s(24), s(22), s(150), s(19));
    const QString brightStyle = "font: 10pt;color: white;";
    elapsedLabel = addLabel(this, QRect(0, 0, s(64), s(19)), "00:00:00", brightStyle);
    addLabel(this, QRect(s(70), 0, s(6), s(19)), "/", brightStyle);
    totalLabel = addLabel(this, QRect(s(82), 0, s(64), s(19)), "00:00:00",
                          "font: 10pt;color: rgba(255,255,255,153);");
}

QString TimeWidget::formatTime(int seconds)
{
    const int hours = seconds / 3600;
    const int minutes = seconds / 60 - hours * 60;
    return QString("%1:%2:%3")
        .arg(hours, 2, 10, QChar('0'))
        .arg(minutes, 2, 10, QChar('0'))
        .arg(seconds % 60, 2, 10, QChar('0'));
}

void TimeWidget::setTotal(int seconds)
{
    totalLabel->setText(formatTime(seconds));
}

void TimeWidget::setElapsed(int seconds)
{
    elapsedLabel->setText(formatTime(seconds));
}
