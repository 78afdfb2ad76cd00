// The title bar of the real window: the window buttons, the tray's way back to the window and
// the user pop-up.
#include "OfflineAccount.h"

#include "mainwindow/MainWindow.h"
#include "ui_MainWindow.h"

#include <QtTest>

#include <memory>

class TitleBarTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { keepAccountOffline(); }
    void cleanup() { window.reset(); }
    void windowControlsAndTray();
    void userPopupHidesAfterThePointerLeavesBoth();

private:
    void createWindow()
    {
        window = std::make_unique<MainWindow>();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    Ui::MainWindow* ui() const { return window->ui.get(); }

    std::unique_ptr<MainWindow> window;
};

void TitleBarTest::windowControlsAndTray()
{
    createWindow();
    window->showMaximized();
    QTRY_COMPARE(ui()->pb_max->toolTip(), QString("还原"));
    QVERIFY(ui()->pb_max->styleSheet().contains("icon-restore.png"));
    window->showNormal();
    QTRY_COMPARE(ui()->pb_max->toolTip(), QString("最大化"));
    QVERIFY(ui()->pb_max->styleSheet().contains("icon-max.png"));

    window->showMinimized();
    QTRY_VERIFY(window->isMinimized());
    QMetaObject::invokeMethod(window.get(), "stTrayIconActive", Q_ARG(QSystemTrayIcon::ActivationReason, QSystemTrayIcon::Trigger));
    QVERIFY(window->isMinimized());
    QMetaObject::invokeMethod(window.get(), "stTrayIconActive", Q_ARG(QSystemTrayIcon::ActivationReason, QSystemTrayIcon::DoubleClick));
    QTRY_VERIFY(!window->isMinimized());
    window->showMinimized();
    QTRY_VERIFY(window->isMinimized());
    QMetaObject::invokeMethod(window.get(), "trayMsgClick");
    QTRY_VERIFY(!window->isMinimized());
}

void TitleBarTest::userPopupHidesAfterThePointerLeavesBoth()
{
    createWindow();
    auto hover = [](QWidget* widget, QEvent::Type type) {
        QHoverEvent event(type, QPointF(3, 3), QPointF(3, 3));
        QCoreApplication::sendEvent(widget, &event);
    };
    hover(ui()->frame_user, QEvent::HoverEnter);
    QVERIFY(!ui()->frame_user_hover->isHidden());
    hover(ui()->frame_user, QEvent::HoverLeave);
    hover(ui()->frame_user_hover, QEvent::HoverEnter);
    QTest::qWait(300);
    QVERIFY(!ui()->frame_user_hover->isHidden());
    hover(ui()->frame_user_hover, QEvent::HoverLeave);
    QVERIFY(!ui()->frame_user_hover->isHidden());
    QTRY_VERIFY(ui()->frame_user_hover->isHidden());
}

QTEST_MAIN(TitleBarTest)
#include "TitleBarTest.moc"
