#pragma once
// One per native window of a frameless widget: holds the window's scale factor and
// decides, for a screen point, whether it is client area, title bar or one of the
// resize edges. Through Qt's own system move and resize it lets the window be dragged
// by its title band and resized at its edges, shows the resize cursor there, and
// maximises or restores on a title-band double click unless the window's size is fixed.
// Parent: the native window. GUI thread only.
#include <QMargins>
#include <QObject>
#include <QPoint>

class NativeWindowTester;
class QScreen;
class QWindow;

enum class WindowHit { Client, Caption, Left, Top, Right, Bottom, TopLeft, TopRight, BottomLeft, BottomRight };

class NativeWindowHelper : public QObject {
    Q_OBJECT
public:
    NativeWindowHelper(QWindow *window, NativeWindowTester *tester);

    qreal scaleFactor() const;
    // point: screen coordinates in device pixels.
    WindowHit hitTest(const QPoint &point) const;
    // Each margin times the scale factor, rounded.
    QMargins scaledMargins(const QMargins &margins) const;

    static Qt::Edges edgesOf(WindowHit hit);
    static Qt::CursorShape cursorOf(WindowHit hit);

signals:
    void scaleFactorChanged(qreal factor);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void followScreen(QScreen *screen);
    void dpiChanged(qreal dpi);
    WindowHit hitAtEvent(const QEvent *event) const;
    bool pressed(const QEvent *event);
    bool moved(const QEvent *event);
    bool doubleClicked(const QEvent *event);
    void showCursorFor(WindowHit hit, const QPoint &localPoint);
    bool resizable(Qt::Orientation orientation) const;

    QWindow *window;
    NativeWindowTester *tester;
    qreal scale;
    qreal lastDpi;
    bool dragPending = false;
    bool edgeCursorShown = false;
    QMetaObject::Connection dpiConnection;
};
