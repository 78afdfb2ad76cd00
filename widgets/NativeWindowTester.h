#pragma once
// What a native window's helper asks of the frameless window it serves: the resize
// band, how far a maximised window reaches past the work area, and whether a point in
// window coordinates belongs to the title bar. Margins are design pixels, before the
// helper's scale factor.
#include <QMargins>
#include <QPoint>

class NativeWindowTester {
public:
    virtual ~NativeWindowTester() = default;
    virtual QMargins draggableMargins() const = 0;
    virtual QMargins maximizedMargins() const = 0;
    virtual bool hitTest(const QPoint &point) const = 0;
};
