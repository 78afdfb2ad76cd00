#pragma once
#include <QObject>
#include <QString>
#include <QSystemTrayIcon>

#include <memory>

class QMenu;
class QWidget;

// The notification-area icon of the window, with its menu ("退出" closes the window). On a
// desktop without a tray none is shown and every call quietly does nothing, so the program
// behaves the same.
class TrayIcon : public QObject
{
    Q_OBJECT
public:
    explicit TrayIcon(QWidget* window);
    ~TrayIcon() override;

    bool isShown() const { return m_icon != nullptr; }
    // A balloon from the icon that exists in this process, if any.
    static void showMessage(const QString& title, const QString& text);
    // A balloon titled "提示".
    static void showNotice(const QString& text);

signals:
    void activated(QSystemTrayIcon::ActivationReason reason);
    void messageClicked();

private:
    static TrayIcon* s_shown;
    QSystemTrayIcon* m_icon = nullptr;
    // A tray menu is a top-level popup without a parent, so it is owned here.
    std::unique_ptr<QMenu> m_menu;
};
