#pragma once
#include "app/User.h"

#include <QObject>

class FramelessHelper;
class QEvent;
class QMainWindow;
namespace Ui {
class MainWindow;
}

// The main window's title bar: the window buttons, the settings button with its update dot,
// the login button, the user badge (avatar and name) with its pop-up (name, ID, logout), and
// the copy of the user's ID. It works on the widgets of the window's form and tells the window
// what the user asked for by its signals.
class TitleBar : public QObject
{
    Q_OBJECT
public:
    // Makes the window frameless: dragged by the title bar (height pixels), resized by its edges.
    TitleBar(QMainWindow* window, Ui::MainWindow* ui, int height, double scale);

    void setScale(double scale) { m_scale = scale; }
    // The red dot beside the settings button: an update is there.
    void setUpdateDot(bool shown);
    void hideUserPopup();

public slots:
    // Logged in: the badge with the user's avatar, name and ID; logged out: the login button.
    void showUser(bool isLogon, const User& user);

signals:
    void settingsRequested();
    void loginRequested();
    void logoutRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void connectWindowButtons(FramelessHelper* frameless);
    void handleUserHover(QObject* watched, bool entered);
    void copyUserId();

    QMainWindow* m_window;
    Ui::MainWindow* m_ui;
    double m_scale;
    QString m_userId;
    bool m_hoverOnUser = false;
    bool m_hoverOnUserPopup = false;
};
