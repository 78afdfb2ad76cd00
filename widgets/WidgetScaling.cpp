#include "WidgetScaling.h"

#include "SwitchButton.h"

#include <QApplication>
#include <QDesktopWidget>
#include <QScreen>
#include <QWidget>

namespace {

constexpr qreal designDpi = 96.0;

QRect scaledRect(const QRect &r, qreal f)
{
    return QRect(int(r.x() * f), int(r.y() * f), int(r.width() * f), int(r.height() * f));
}

// Keeps the height and moves down so that the widget stays centred on its scaled row.
QRect movedToScaledRow(const QRect &r, qreal f, int width)
{
    return QRect(int(r.x() * f), int(r.y() * f + r.height() * (f - 1) * 0.5), width, r.height());
}

// "No limit" stays no limit rather than a product Qt would clamp with a warning.
int roundedLimit(int value, qreal f)
{
    return value >= QWIDGETSIZE_MAX ? QWIDGETSIZE_MAX : qMin(qRound(value * f), QWIDGETSIZE_MAX);
}

QSize roundedSize(const QSize &size, qreal f)
{
    return QSize(roundedLimit(size.width(), f), roundedLimit(size.height(), f));
}

// Set before the new geometry: the old limits would otherwise clamp it, and a widget whose
// maximum is its design size would keep that size.
void scaleSizeLimits(QWidget *widget, const QSize &oldMinimum, const QSize &oldMaximum, qreal f)
{
    widget->setMinimumSize(roundedSize(oldMinimum, f));
    widget->setMaximumSize(roundedSize(oldMaximum, f));
}

void scaleChild(QWidget *child, qreal f)
{
    const QString className = QString::fromLatin1(child->metaObject()->className());
    const QRect r = child->geometry();
    const QSize minimum = child->minimumSize();
    const QSize maximum = child->maximumSize();
    if (className == QLatin1String("QWebEngineView")) {
        child->setGeometry(movedToScaledRow(r, f, r.width()));
        return;
    }
    scaleSizeLimits(child, minimum, maximum, f);
    if (className == QLatin1String("QSlider"))
        child->setGeometry(movedToScaledRow(r, f, int(r.width() * f)));
    else if (className == QLatin1String("SwitchButton"))
        static_cast<SwitchButton *>(child)->setGeometry(scaledRect(r, f));
    else
        child->setGeometry(scaledRect(r, f));
    scaleChildren(child, f);
}

} // namespace

void scaleChildren(QObject *object, qreal factor)
{
    const QObjectList children = object->children();
    for (QObject *child : children) {
        if (child->isWidgetType())
            scaleChild(static_cast<QWidget *>(child), factor);
    }
}

void scaleWidget(QWidget *widget, qreal factor, bool includeSelf)
{
    scaleChildren(widget, factor);
    if (!includeSelf)
        return;
    const QSize minimum = widget->minimumSize();
    const QSize maximum = widget->maximumSize();
    const QRect geometry = widget->geometry();
    scaleSizeLimits(widget, minimum, maximum, factor);
    widget->setGeometry(scaledRect(geometry, factor));
}

qreal initialScale(QWidget *widget, bool includeSelf)
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    const qreal factor = screens.isEmpty() ? 1.0 : screens.first()->logicalDotsPerInch() / designDpi;
    scaleWidget(widget, factor, includeSelf);
    return factor;
}

void centerOnDesktop(QWidget *widget)
{
    const QWidget *desktop = QApplication::desktop();
    widget->move(desktop->width() / 2 - widget->width() / 2, desktop->height() / 2 - widget->height() / 2);
}
