#include "DeviceId.h"

#include <QNetworkInterface>

QString deviceId()
{
    const auto wanted = QNetworkInterface::IsUp | QNetworkInterface::IsRunning;
    for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
        const auto flags = interface.flags();
        if ((flags & wanted) != wanted || flags.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        const QString address = interface.hardwareAddress();
        if (address.isEmpty())
            break;
        return QString(address).replace(':', '-');
    }
    return QString::fromUtf8("获取mac地址错误");
}
