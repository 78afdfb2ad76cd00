#include "TitleBar.h"
#include "ui_MainWindow.h"

#include "widgets/FramelessHelper.h"
#include "widgets/Toast.h"

#include <QApplication>
#include <QBitmap>
#include <QClipboard>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

namespace {

const int kPopupHideDelayMs = 200;
const int kBadgeXLoggedIn = 56;
const int kBadgeXLoggedOut = 108;

// The avatar as a circle: the inscribed ellipse of the picture, scaled to a square of twice
// its smaller side.
QPixmap circularAvatar(const QString& path)
{
    QPixmap picture(path);
    if (picture.isNull())
        return QPixmap(":/image/icon_head.png");
    QBitmap mask(picture.size());
    mask.fill(Qt::color0);
    QPainter painter(&mask);
    painter.setBrush(Qt::color1);
    painter.drawEllipse(0, 0, picture.width(), picture.height());
    painter.end();
    picture.setMask(mask);
    const int side = 2 * qMin(picture.width(), picture.height());
    return picture.scaled(side, side, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

} // namespace

TitleBar::TitleBar(QMainWindow* window, Ui::MainWindow* ui, int height, double scale)
    : QObject(window), m_window(window), m_ui(ui), m_scale(scale)
{
    auto* frameless = new FramelessHelper(window);
    frameless->setDraggableMargins(3, 3, 3, 3);
    frameless->setMaximizedMargins(3, 3, 3, 3);
    frameless->setTitleBarHeight(height);
    connectWindowButtons(frameless);
    connect(ui->pb_setting, &QPushButton::clicked, this, &TitleBar::settingsRequested);
    connect(ui->pb_login, &QPushButton::clicked, this, &TitleBar::loginRequested);
    connect(ui->pb_logout, &QPushButton::clicked, this, &TitleBar::logoutRequested);
    ui->frame_user->setAttribute(Qt::WA_Hover);
    ui->frame_user_hover->setAttribute(Qt::WA_Hover);
    for (QWidget* widget : {static_cast<QWidget*>(ui->frame_user), static_cast<QWidget*>(ui->frame_user_hover),
                            static_cast<QWidget*>(ui->label_id_hover)})
        widget->installEventFilter(this);
    ui->label_redpoint->hide();
    ui->frame_user_hover->hide();
}

void TitleBar::connectWindowButtons(FramelessHelper* frameless)
{
    for (QWidget* item : std::initializer_list<QWidget*>{m_ui->pb_min, m_ui->pb_max, m_ui->pb_close, m_ui->pb_setting,
                                                         m_ui->pb_login, m_ui->frame_user, m_ui->label_icon,
                                                         m_ui->label_name})
        frameless->addExcludeItem(item);
    m_ui->pb_help->hide();
    connect(m_ui->pb_min, &QPushButton::clicked, frameless, &FramelessHelper::triggerMinimizeButtonAction);
    connect(m_ui->pb_max, &QPushButton::clicked, frameless, &FramelessHelper::triggerMaximizeButtonAction);
    connect(m_ui->pb_close, &QPushButton::clicked, frameless, &FramelessHelper::triggerCloseButtonAction);
    connect(frameless, &FramelessHelper::maximizedChanged, this, [this](bool maximized) {
        const QString look = maximized ? "restore" : "max";
        m_ui->pb_max->setToolTip(maximized ? "还原" : "最大化");
        m_ui->pb_max->setStyleSheet(QString("QPushButton{border-image: url(:/image/icon-%1.png);background-color: transparent;}"
                                            "QPushButton:pressed{border-image: url(:/image/icon-%1_press.png);}"
                                            "QPushButton:hover{border-image: url(:/image/icon-%1_hover.png);}")
                                        .arg(look));
    });
}

void TitleBar::setUpdateDot(bool shown)
{
    m_ui->label_redpoint->setVisible(shown);
}

void TitleBar::hideUserPopup()
{
    m_ui->frame_user_hover->hide();
}

void TitleBar::showUser(bool isLogon, const User& user)
{
    m_ui->frame_user->setVisible(isLogon);
    m_ui->pb_login->setVisible(!isLogon);
    m_ui->frame_user_all->move(int((isLogon ? kBadgeXLoggedIn : kBadgeXLoggedOut) * m_scale), m_ui->frame_user_all->y());
    const QString name = user.nickName.isEmpty() ? user.userPhone : user.nickName;
    m_ui->label_name->setText(name);
    m_ui->label_name_hover->setText(name);
    const QPixmap avatar = user.userHeadAddr.isEmpty() ? QPixmap(":/image/icon_head.png") : circularAvatar(user.userHeadAddr);
    m_ui->label_icon->setPixmap(avatar);
    m_ui->label_id_hover->setText("ID:" + user.userId.left(10));
    m_userId = user.userId;
}

void TitleBar::copyUserId()
{
    QApplication::clipboard()->setText(m_userId);
    showToast(nullptr, "ID已复制到剪切板", "10.5pt", "#ffffff", "#E0000000");
}

bool TitleBar::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::HoverEnter || event->type() == QEvent::HoverLeave)
        handleUserHover(watched, event->type() == QEvent::HoverEnter);
    if (watched == m_ui->label_id_hover && event->type() == QEvent::MouseButtonPress
        && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        copyUserId();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void TitleBar::handleUserHover(QObject* watched, bool entered)
{
    bool* flag = watched == m_ui->frame_user ? &m_hoverOnUser
        : watched == m_ui->frame_user_hover  ? &m_hoverOnUserPopup
                                             : nullptr;
    if (!flag)
        return;
    *flag = entered;
    if (entered) {
        m_ui->frame_user_hover->show();
        return;
    }
    QTimer::singleShot(kPopupHideDelayMs, this, [this] {
        if (!m_hoverOnUser && !m_hoverOnUserPopup)
            m_ui->frame_user_hover->hide();
    });
}
