#include "Toast.h"

#include "WidgetScaling.h"

#include <QApplication>
#include <QDesktopWidget>
#include <QFrame>
#include <QLabel>
#include <QPropertyAnimation>
#include <QScreen>

namespace {

constexpr int fadeMs = 1000;

// A toast without a parent window lives on the desktop, which makes it a window of its
// own; it is centred on the screen.
QSize areaOf(const QWidget *parent)
{
    if (parent->windowType() == Qt::Desktop && QGuiApplication::primaryScreen())
        return QGuiApplication::primaryScreen()->size();
    return parent->size();
}

} // namespace

void showToast(QWidget *parent, const QString &text, const QString &font, const QString &color,
               const QString &background)
{
    if (!parent)
        parent = QApplication::desktop();
    auto *frame = new QFrame(parent);
    auto *label = new QLabel(frame);
    label->setStyleSheet(QStringLiteral("QLabel{background:%1;color:%2;font:%3;border-radius:5px;}")
                             .arg(background, color, font));
    label->setText(text);
    label->setAlignment(Qt::AlignCenter);
    label->adjustSize();
    label->resize(label->width() + 60, label->height() + 30);
    frame->resize(label->size());

    frame->setWindowFlags(Qt::FramelessWindowHint);
    frame->setAttribute(Qt::WA_TranslucentBackground);
    // Scaled before it is centred: scaling a centred frame would push it off the middle.
    initialScale(frame, true);
    const QSize area = areaOf(parent);
    frame->move((area.width() - frame->width()) / 2, (area.height() - frame->height()) / 2);
    frame->show();

    // Not the frame's child: deleting the frame from the animation's own signal would
    // pull the animation away under itself.
    auto *fade = new QPropertyAnimation(frame, "windowOpacity");
    fade->setDuration(fadeMs);
    fade->setEasingCurve(QEasingCurve::InCirc);
    fade->setStartValue(1.0f);
    fade->setEndValue(0.0f);
    QObject::connect(fade, &QPropertyAnimation::finished, frame, [frame] { delete frame; });
    fade->start(QAbstractAnimation::DeleteWhenStopped);
}
