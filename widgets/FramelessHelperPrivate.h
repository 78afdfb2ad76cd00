#pragma once
// The data of a FramelessHelper, and the title-bar test its native window asks for.
#include "NativeWindowTester.h"

#include <QPointer>
#include <QSet>

class NativeWindowHelper;
class QObject;
class QWidget;

class FramelessHelperPrivate : public NativeWindowTester {
public:
    QMargins draggableMargins() const override;
    QMargins maximizedMargins() const override;
    // True when the point (window coordinates) lies in the title band and not on an
    // excluded item or one of its children.
    bool hitTest(const QPoint &point) const override;

    QWidget *window = nullptr;
    QPointer<NativeWindowHelper> helper;
    QMargins draggable;
    QMargins maximizedMargin;
    int titleBarHeight = 0;
    QSet<const QObject *> excludeItems;
    bool maximized = false;

private:
    QWidget *deepestChildAt(const QPoint &point) const;
    static QWidget *directChildAt(QWidget *parent, const QPoint &point);
};
