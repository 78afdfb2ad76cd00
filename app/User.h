#pragma once
#include <QDataStream>
#include <QMetaType>
#include <QString>

// The signed-in account as the server describes it.
struct User
{
    QString devId;
    QString openId;
    QString userPhone;
    QString nickName;
    QString userHeadAddr;
    QString userName;
    QString userId;

    bool operator==(const User& other) const;
    // Makes "User" known to the meta-type system with its stream operators, so it travels in
    // queued signals and is stored in the settings file. Call once at start-up.
    static void registerMetaType();
};

QDataStream& operator<<(QDataStream& out, const User& user);
QDataStream& operator>>(QDataStream& in, User& user);

Q_DECLARE_METATYPE(User)
