#include "FramelessHelperPrivate.h"

#include "NativeWindowHelper.h"

#include <QWidget>

namespace {
// How deep below the window the title-bar test looks for the widget under a point.
constexpr int maxChildLevels = 31;
}

QMargins FramelessHelperPrivate::draggableMargins() const
{
    return draggable;
}

QMargins FramelessHelperPrivate::maximizedMargins() const
{
    return maximizedMargin;
}

bool FramelessHelperPrivate::hitTest(const QPoint &point) const
{
    const qreal scale = helper ? helper->scaleFactor() : 1.0;
    const int band = int(scale * titleBarHeight);
    if (band == 0 || point.y() >= band)
        return false;
    QWidget *deepest = deepestChildAt(point);
    for (QWidget *widget = deepest; widget && widget != window; widget = widget->parentWidget()) {
        if (excludeItems.contains(widget))
            return false;
    }
    return true;
}

// One level per step, so that the level limit counts generations below the window.
QWidget *FramelessHelperPrivate::deepestChildAt(const QPoint &point) const
{
    QWidget *current = window;
    QPoint local = point;
    for (int level = 0; level < maxChildLevels; ++level) {
        QWidget *child = directChildAt(current, local);
        if (!child)
            break;
        local = child->mapFromParent(local);
        current = child;
    }
    return current == window ? nullptr : current;
}

QWidget *FramelessHelperPrivate::directChildAt(QWidget *parent, const QPoint &point)
{
    QWidget *child = parent->childAt(point);
    while (child && child->parentWidget() != parent)
        child = child->parentWidget();
    return child;
}
