#include "TrayIcon.h"

#include <QAction>
#include <QDebug>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QWidget>

namespace {

QSystemTrayIcon* trayIcon = nullptr;
// The menu has no parent (a tray menu is a top-level popup), so it is owned here.
QMenu* trayMenu = nullptr;

} // namespace

void createTrayIcon(QWidget* window)
{
    removeTrayIcon();
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        qDebug() << "no system tray, running without a tray icon";
        return;
    }
    const QIcon icon(":/doridOvov.ico");
    trayIcon = new QSystemTrayIcon(icon, window);
    trayIcon->setToolTip(window->windowTitle());
    trayMenu = new QMenu();
    QAction* quit = trayMenu->addAction(icon, "退出");
    trayIcon->setContextMenu(trayMenu);
    QObject::connect(trayIcon, SIGNAL(activated(QSystemTrayIcon::ActivationReason)),
                     window, SLOT(stTrayIconActive(QSystemTrayIcon::ActivationReason)));
    QObject::connect(trayIcon, SIGNAL(messageClicked()), window, SLOT(trayMsgClick()));
    QObject::connect(quit, &QAction::triggered, window, &QWidget::close);
    trayIcon->setVisible(true);
}

void removeTrayIcon()
{
    delete trayIcon;
    trayIcon = nullptr;
    delete trayMenu;
    trayMenu = nullptr;
}

bool hasTrayIcon()
{
    return trayIcon != nullptr;
}

void showTrayMessage(const QString& title, const QString& text)
{
    if (trayIcon)
        trayIcon->showMessage(title, text, QIcon(":/doridOvov.ico"), 10000);
}

void showTrayNotice(const QString& text)
{
    showTrayMessage("提示", text);
}
