#include "FramelessHelper.h"

#include "FramelessHelperPrivate.h"
#include "NativeWindowHelper.h"

#include <QEvent>
#include <QWidget>
#include <QWindow>
#include <cmath>

namespace {

bool fuzzyEqual(qreal a, qreal b)
{
    return std::abs(a - b) * 1000000000000.0 <= qMin(std::abs(a), std::abs(b));
}

} // namespace

FramelessHelper::FramelessHelper(QWidget *window)
    : QObject(window)
    , d(new FramelessHelperPrivate)
{
    d->window = window;
    window->installEventFilter(this);
    // A window that already has its native window gets no further id change.
    if (window->windowHandle())
        attachNativeWindow();
}

// The native window may outlive this helper; its helper must not keep asking our data.
FramelessHelper::~FramelessHelper()
{
    delete d->helper;
}

void FramelessHelper::setDraggableMargins(int left, int top, int right, int bottom)
{
    d->draggable = QMargins(left, top, right, bottom);
}

void FramelessHelper::setMaximizedMargins(int left, int top, int right, int bottom)
{
    d->maximizedMargin = QMargins(left, top, right, bottom);
}

void FramelessHelper::addExcludeItem(QObject *item)
{
    if (!item)
        return;
    d->excludeItems.insert(item);
    // A later object at the same address must not inherit the exclusion.
    connect(item, &QObject::destroyed, this, [this](QObject *gone) { d->excludeItems.remove(gone); });
}

int FramelessHelper::titleBarHeight() const
{
    return d->titleBarHeight;
}

void FramelessHelper::setTitleBarHeight(int value)
{
    if (value == d->titleBarHeight)
        return;
    d->titleBarHeight = value;
    emit titleBarHeightChanged(value);
}

void FramelessHelper::triggerMinimizeButtonAction()
{
    if (d->window)
        d->window->showMinimized();
}

void FramelessHelper::triggerMaximizeButtonAction()
{
    if (!d->window)
        return;
    if (d->window->isMaximized())
        d->window->showNormal();
    else
        d->window->showMaximized();
}

void FramelessHelper::triggerCloseButtonAction()
{
    if (d->window)
        d->window->close();
}

bool FramelessHelper::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == d->window) {
        if (event->type() == QEvent::WindowStateChange) {
            const bool maximized = d->window->windowState().testFlag(Qt::WindowMaximized);
            if (maximized != d->maximized) {
                d->maximized = maximized;
                emit maximizedChanged(maximized);
            }
        } else if (event->type() == QEvent::WinIdChange && !d->helper) {
            attachNativeWindow();
        }
    }
    return QObject::eventFilter(watched, event);
}

void FramelessHelper::attachNativeWindow()
{
    QWindow *native = d->window->windowHandle();
    if (!native || d->helper)
        return;
    d->helper = new NativeWindowHelper(native, d.get());
    connect(d->helper, &NativeWindowHelper::scaleFactorChanged, this, &FramelessHelper::scaleFactorChanged);
    if (!fuzzyEqual(d->helper->scaleFactor(), 1.0))
        emit scaleFactorChanged(d->helper->scaleFactor());
}
