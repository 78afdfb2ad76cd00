#pragma once
#include <QDateTime>
#include <QString>

// What a login operation hands its callback. token is empty and time invalid when the reply
// carried no token.
struct LoginResult
{
    int code = -1;
    QString msg;
    QString token;
    QDateTime time;
};

// What requestQRCodeUrl hands its callback: the URL of the QR login page.
struct LoginUrlResult
{
    int code = -1;
    QString msg;
    QString url;
};
