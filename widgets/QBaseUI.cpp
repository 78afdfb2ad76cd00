#include "QBaseUI.h"

#include "FramelessHelper.h"
#include "WidgetScaling.h"

#include <QGuiApplication>
#include <QScreen>

namespace {

constexpr qreal designDpi = 96.0;
constexpr int frameMargin = 3;

// Resizes by the factor, truncated; the widget's size limits bound the result.
void resizeBy(QWidget *widget, qreal factor)
{
    widget->resize(int(widget->width() * factor), int(widget->height() * factor));
}

} // namespace

QBaseUI::QBaseUI(QWidget *parent)
    : QDialog(parent)
{
    setWindowFlags(Qt::SubWindow | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_DeleteOnClose);
    const QList<QScreen *> screens = QGuiApplication::screens();
    for (QScreen *screen : screens)
        screenConnections << connect(screen, &QScreen::logicalDotsPerInchChanged, this, &QBaseUI::updateWindowScale);
}

QBaseUI::~QBaseUI()
{
    for (const QMetaObject::Connection &connection : qAsConst(screenConnections))
        disconnect(connection);
}

void QBaseUI::updateWindowScale(qreal dpi)
{
    const double newScale = dpi / designDpi;
    const double ratio = newScale / scale;
    scale = newScale;
    scaleWidget(this, ratio, true);
    resizeBy(this, ratio);
    centerOnDesktop(this);
}

FramelessHelper *installFrameless(QBaseUI *dialog, int titleBarHeight)
{
    dialog->scale = initialScale(dialog, true);
    resizeBy(dialog, dialog->scale);
    auto *helper = new FramelessHelper(dialog);
    helper->setDraggableMargins(frameMargin, frameMargin, frameMargin, frameMargin);
    helper->setMaximizedMargins(frameMargin, frameMargin, frameMargin, frameMargin);
    helper->setTitleBarHeight(int(titleBarHeight * dialog->scale));
    return helper;
}
