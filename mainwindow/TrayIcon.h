#pragma once
#include <QString>

class QWidget;

// The one notification-area icon of the process. On a desktop without a tray none is made
// and every call below quietly does nothing, so the program behaves the same.
//
// The window must have the slots stTrayIconActive(QSystemTrayIcon::ActivationReason) and
// trayMsgClick(); "退出" in the icon's menu closes it.
void createTrayIcon(QWidget* window);
void removeTrayIcon();
bool hasTrayIcon();
void showTrayMessage(const QString& title, const QString& text);
void showTrayNotice(const QString& text);
