#include "TrayIcon.h"

#include <QAction>
#include <QDebug>
#include <QMenu>
#include <QWidget>

TrayIcon* TrayIcon::s_shown = nullptr;

TrayIcon::TrayIcon(QWidget* window) : QObject(window)
{
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        qDebug() << "no system tray, running without a tray icon";
        return;
    }
    const QIcon icon(":/doridOvov.ico");
    m_icon = new QSystemTrayIcon(icon, this);
    m_icon->setToolTip(window->windowTitle());
    m_menu = std::make_unique<QMenu>();
    QAction* quit = m_menu->addAction(icon, "退出");
    m_icon->setContextMenu(m_menu.get());
    connect(m_icon, &QSystemTrayIcon::activated, this, &TrayIcon::activated);
    connect(m_icon, &QSystemTrayIcon::messageClicked, this, &TrayIcon::messageClicked);
    connect(quit, &QAction::triggered, window, &QWidget::close);
    m_icon->setVisible(true);
    s_shown = this;
}

TrayIcon::~TrayIcon()
{
    if (s_shown == this)
        s_shown = nullptr;
    delete m_icon;
}

void TrayIcon::showMessage(const QString& title, const QString& text)
{
    if (s_shown)
        s_shown->m_icon->showMessage(title, text, QIcon(":/doridOvov.ico"), 10000);
}

void TrayIcon::showNotice(const QString& text)
{
    showMessage("提示", text);
}
