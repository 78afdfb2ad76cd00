#include "User.h"

bool User::operator==(const User& other) const
{
    return devId == other.devId && openId == other.openId && userPhone == other.userPhone
        && nickName == other.nickName && userHeadAddr == other.userHeadAddr && userName == other.userName
        && userId == other.userId;
}

void User::registerMetaType()
{
    qRegisterMetaTypeStreamOperators<User>("User");
    qRegisterMetaType<User>("User");
}

// The stream order differs from the declaration order; stored files depend on it.
QDataStream& operator<<(QDataStream& out, const User& user)
{
    return out << user.devId << user.openId << user.userId << user.nickName << user.userName << user.userPhone
               << user.userHeadAddr;
}

QDataStream& operator>>(QDataStream& in, User& user)
{
    return in >> user.devId >> user.openId >> user.userId >> user.nickName >> user.userName >> user.userPhone
              >> user.userHeadAddr;
}
