#pragma once
// Gives a frameless top-level widget (Qt::FramelessWindowHint) back what a system frame
// provides: moving by dragging its own title band, resizing at the edges and corners,
// maximise and restore on a title-band double click, and the minimise/maximise/close
// actions for its own title-bar buttons. Create one per window, as the window's child;
// register the title-bar buttons with addExcludeItem so they keep their clicks.
//
// Signals: maximizedChanged when the window state flips, scaleFactorChanged when the
// window lands on a screen with another pixel density (1 below 144 DPI, else 2).
// GUI thread only.
#include <QObject>
#include <memory>

class FramelessHelperPrivate;
class QWidget;

class FramelessHelper : public QObject {
    Q_OBJECT
public:
    explicit FramelessHelper(QWidget *window);
    ~FramelessHelper() override;

    void setDraggableMargins(int left, int top, int right, int bottom);
    void setMaximizedMargins(int left, int top, int right, int bottom);
    void addExcludeItem(QObject *item);
    int titleBarHeight() const;

public slots:
    void setTitleBarHeight(int value);
    void triggerMinimizeButtonAction();
    void triggerMaximizeButtonAction();
    void triggerCloseButtonAction();

signals:
    void titleBarHeightChanged(int newValue);
    void scaleFactorChanged(qreal factor);
    void maximizedChanged(bool maximized);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void attachNativeWindow();

    std::unique_ptr<FramelessHelperPrivate> d;
};
