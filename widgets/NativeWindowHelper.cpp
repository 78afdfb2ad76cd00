#include "NativeWindowHelper.h"

#include "NativeWindowTester.h"
#include "platform/Desktop.h"

#include <QMouseEvent>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <cmath>

namespace {

// Windows' rule for a window's scale after a DPI change: 2 from 144 DPI up, else 1.
qreal scaleForDpi(qreal dpi)
{
    return dpi < 144 ? 1.0 : 2.0;
}

bool fuzzyEqual(qreal a, qreal b)
{
    return std::abs(a - b) * 1000000000000.0 <= qMin(std::abs(a), std::abs(b));
}

int roundedScaled(int value, qreal factor)
{
    return qRound(value * factor);
}

struct EdgeFlags {
    bool left, top, right, bottom;
};

// Corners need the window to be resizable both ways; an impossible combination (left
// and right together on a tiny window) counts as no edge.
WindowHit edgeHit(EdgeFlags f, bool resizableW, bool resizableH)
{
    const bool both = resizableW && resizableH;
    const int key = (f.left ? 1 : 0) | (f.top ? 2 : 0) | (f.right ? 4 : 0) | (f.bottom ? 8 : 0);
    switch (key) {
    case 2: return resizableH ? WindowHit::Top : WindowHit::Client;
    case 8: return resizableH ? WindowHit::Bottom : WindowHit::Client;
    case 1: return resizableW ? WindowHit::Left : WindowHit::Client;
    case 4: return resizableW ? WindowHit::Right : WindowHit::Client;
    case 3: return both ? WindowHit::TopLeft : WindowHit::Client;
    case 6: return both ? WindowHit::TopRight : WindowHit::Client;
    case 9: return both ? WindowHit::BottomLeft : WindowHit::Client;
    case 12: return both ? WindowHit::BottomRight : WindowHit::Client;
    default: return WindowHit::Caption; // no edge: the title-bar test decides
    }
}

bool isEdge(WindowHit hit)
{
    return hit != WindowHit::Client && hit != WindowHit::Caption;
}

} // namespace

NativeWindowHelper::NativeWindowHelper(QWindow *window, NativeWindowTester *tester)
    : QObject(window)
    , window(window)
    , tester(tester)
    , scale(window->screen() ? window->screen()->devicePixelRatio() : 1.0)
    , lastDpi(window->screen() ? window->screen()->logicalDotsPerInchY() : 96.0)
{
    if (!window->flags().testFlag(Qt::FramelessWindowHint))
        return;
    window->installEventFilter(this);
    connect(window, &QWindow::screenChanged, this, &NativeWindowHelper::followScreen);
    followScreen(window->screen());
}

qreal NativeWindowHelper::scaleFactor() const
{
    return scale;
}

QMargins NativeWindowHelper::scaledMargins(const QMargins &m) const
{
    return QMargins(roundedScaled(m.left(), scale), roundedScaled(m.top(), scale),
                    roundedScaled(m.right(), scale), roundedScaled(m.bottom(), scale));
}

WindowHit NativeWindowHelper::hitTest(const QPoint &point) const
{
    const qreal ratio = window->devicePixelRatio();
    const QRect frame = window->frameGeometry();
    const QSize systemFrame = platform::systemFrameSize();
    QMargins d = scaledMargins(tester->draggableMargins());
    d.setLeft(d.left() < 1 ? systemFrame.width() : d.left());
    d.setRight(d.right() < 1 ? systemFrame.width() : d.right());
    d.setTop(d.top() < 1 ? systemFrame.height() : d.top());
    d.setBottom(d.bottom() < 1 ? systemFrame.height() : d.bottom());

    const QPoint p(int(point.x() / ratio), int(point.y() / ratio));
    const EdgeFlags flags{p.x() < frame.left() + d.left(), p.y() < frame.top() + d.top(),
                          p.x() > frame.right() - d.right(), p.y() > frame.bottom() - d.bottom()};
    const WindowHit hit = edgeHit(flags, resizable(Qt::Horizontal), resizable(Qt::Vertical));
    if (hit != WindowHit::Caption)
        return hit;
    return tester->hitTest(window->mapFromGlobal(p)) ? WindowHit::Caption : WindowHit::Client;
}

Qt::Edges NativeWindowHelper::edgesOf(WindowHit hit)
{
    switch (hit) {
    case WindowHit::Left: return Qt::LeftEdge;
    case WindowHit::Top: return Qt::TopEdge;
    case WindowHit::Right: return Qt::RightEdge;
    case WindowHit::Bottom: return Qt::BottomEdge;
    case WindowHit::TopLeft: return Qt::TopEdge | Qt::LeftEdge;
    case WindowHit::TopRight: return Qt::TopEdge | Qt::RightEdge;
    case WindowHit::BottomLeft: return Qt::BottomEdge | Qt::LeftEdge;
    case WindowHit::BottomRight: return Qt::BottomEdge | Qt::RightEdge;
    default: return {};
    }
}

Qt::CursorShape NativeWindowHelper::cursorOf(WindowHit hit)
{
    switch (hit) {
    case WindowHit::Left:
    case WindowHit::Right: return Qt::SizeHorCursor;
    case WindowHit::Top:
    case WindowHit::Bottom: return Qt::SizeVerCursor;
    case WindowHit::TopLeft:
    case WindowHit::BottomRight: return Qt::SizeFDiagCursor;
    case WindowHit::TopRight:
    case WindowHit::BottomLeft: return Qt::SizeBDiagCursor;
    default: return Qt::ArrowCursor;
    }
}

bool NativeWindowHelper::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == window) {
        switch (event->type()) {
        case QEvent::MouseButtonPress: return pressed(event);
        case QEvent::MouseMove: return moved(event);
        case QEvent::MouseButtonRelease: dragPending = false; break;
        case QEvent::MouseButtonDblClick: return doubleClicked(event);
        default: break;
        }
    }
    return QObject::eventFilter(watched, event);
}

void NativeWindowHelper::followScreen(QScreen *screen)
{
    disconnect(dpiConnection);
    if (!screen)
        return;
    dpiConnection = connect(screen, &QScreen::logicalDotsPerInchChanged, this, &NativeWindowHelper::dpiChanged);
    dpiChanged(screen->logicalDotsPerInchY());
}

// Like a DPI-change message, only a new density rescales: a move between two screens of
// the same density leaves the factor alone.
void NativeWindowHelper::dpiChanged(qreal dpi)
{
    if (fuzzyEqual(dpi, lastDpi))
        return;
    lastDpi = dpi;
    const qreal factor = scaleForDpi(dpi);
    if (fuzzyEqual(factor, scale))
        return;
    scale = factor;
    emit scaleFactorChanged(factor);
}

WindowHit NativeWindowHelper::hitAtEvent(const QEvent *event) const
{
    const auto *mouse = static_cast<const QMouseEvent *>(event);
    return hitTest((mouse->screenPos() * window->devicePixelRatio()).toPoint());
}

// An edge press starts the system resize at once; a title-band press waits for the
// first move, so that a double click still reaches us.
bool NativeWindowHelper::pressed(const QEvent *event)
{
    if (static_cast<const QMouseEvent *>(event)->button() != Qt::LeftButton)
        return false;
    const WindowHit hit = hitAtEvent(event);
    dragPending = hit == WindowHit::Caption;
    // Without a window manager that offers system resizing, the press stays the widget's.
    return isEdge(hit) && window->startSystemResize(edgesOf(hit));
}

bool NativeWindowHelper::moved(const QEvent *event)
{
    const auto *mouse = static_cast<const QMouseEvent *>(event);
    if (mouse->buttons() == Qt::NoButton) {
        showCursorFor(hitAtEvent(event), mouse->localPos().toPoint());
        return false;
    }
    if (!dragPending || !mouse->buttons().testFlag(Qt::LeftButton))
        return false;
    dragPending = false;
    return window->startSystemMove();
}

bool NativeWindowHelper::doubleClicked(const QEvent *event)
{
    if (static_cast<const QMouseEvent *>(event)->button() != Qt::LeftButton
        || hitAtEvent(event) != WindowHit::Caption)
        return false;
    dragPending = false;
    if (resizable(Qt::Horizontal) && resizable(Qt::Vertical)) {
        if (window->windowStates().testFlag(Qt::WindowMaximized))
            window->showNormal();
        else
            window->showMaximized();
    }
    return true;
}

// Leaving the band gives the pointer back the cursor of the widget under it.
void NativeWindowHelper::showCursorFor(WindowHit hit, const QPoint &localPoint)
{
    if (isEdge(hit)) {
        window->setCursor(cursorOf(hit));
        edgeCursorShown = true;
        return;
    }
    if (!edgeCursorShown)
        return;
    edgeCursorShown = false;
    QWidget *top = QWidget::find(window->winId());
    QWidget *under = top ? top->childAt(localPoint) : nullptr;
    if (under)
        window->setCursor(under->cursor());
    else if (top)
        window->setCursor(top->cursor());
    else
        window->unsetCursor();
}

bool NativeWindowHelper::resizable(Qt::Orientation orientation) const
{
    const QSize min = window->minimumSize();
    const QSize max = window->maximumSize();
    return orientation == Qt::Horizontal ? min.width() < max.width() : min.height() < max.height();
}
