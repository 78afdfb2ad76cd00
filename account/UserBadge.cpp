#include "UserBadge.h"

#include "app/User.h"

#include <QBitmap>
#include <QPainter>

namespace UserBadge {

QString name(const User& user)
{
    return user.nickName.isEmpty() ? user.userPhone : user.nickName;
}

QPixmap avatar(const User& user)
{
    if (user.userHeadAddr.isEmpty())
        return QPixmap(":/image/icon_head.png");
    QPixmap picture(user.userHeadAddr);
    if (picture.isNull())
        return picture;
    QBitmap mask(picture.size());
    mask.fill(Qt::color0);
    QPainter painter(&mask);
    painter.setBrush(Qt::color1);
    painter.setPen(Qt::color1);
    painter.drawEllipse(mask.rect());
    painter.end();
    picture.setMask(mask);
    const int side = 2 * qMin(picture.width(), picture.height());
    return picture.scaled(side, side, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

QString idLine(const User& user)
{
    return "ID:" + user.userId.left(10);
}

} // namespace UserBadge
