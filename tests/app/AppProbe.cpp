// Helper process for the application-frame tests. Usage: app_probe COMMAND [ARGS]
//   log                 start the log as the program does and write one message of each kind
//   crash DIR REPORTER  install the crash handler (dumps into DIR, REPORTER gets the message) and crash
//   write-user          store a User under user_info
//   read-user           print the stored User, one field per line
//   read-server         print the endpoints of server.ini
//   read KEY            print the value of KEY, or <absent>
#include "app/AppSettings.h"
#include "app/Log.h"
#include "app/ServerConfig.h"
#include "app/User.h"
#include "platform/Platform.h"

#include <QCoreApplication>
#include <QDebug>
#include <QTextStream>

#include <cstdio>
#include <iostream>

namespace {

User sampleUser()
{
    return User{"dev-1", "open-2", "13800000000", "小明", "http://example.invalid/head.png", "xiaoming", "42"};
}

int writeLog()
{
    installLogRedirection();
    qInstallMessageHandler(logMessageHandler);
    qDebug() << "debug text";
    qInfo() << "info text";
    qWarning() << "warning text";
    qCritical() << "critical text";
    std::printf("stdout text\n");
    qDebug() << "after stdout";
    std::cout << "cout text" << std::endl;
    std::cerr << "cerr text" << std::endl;
    qDebug() << "中文 text";
    return 0;
}

[[noreturn]] void crash(const QString& dir, const QString& reporter)
{
    platform::installCrashHandler(dir, {"/bin/sh", "-c", "printf '%s' \"$1\" > \"$0\"", reporter});
    volatile int* nowhere = nullptr;
    *nowhere = 1;
    std::abort();
}

int printUser()
{
    if (!AppSettings::instance().contains("user_info"))
        return 1;
    const User user = AppSettings::instance().value("user_info").value<User>();
    QTextStream out(stdout);
    out << user.devId << '\n' << user.openId << '\n' << user.userPhone << '\n' << user.nickName << '\n'
        << user.userHeadAddr << '\n' << user.userName << '\n' << user.userId << '\n';
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("Vyr_DoridOvov");
    User::registerMetaType();
    const QStringList args = app.arguments().mid(1);
    const QString command = args.value(0);
    QTextStream out(stdout);
    if (command == "log")
        return writeLog();
    if (command == "crash")
        crash(args.value(1), args.value(2));
    if (command == "write-user") {
        AppSettings::instance().setValue("user_info", QVariant::fromValue(sampleUser()));
        return 0;
    }
    if (command == "read-user")
        return printUser();
    if (command == "read-server") {
        const ServerConfig config;
        out << config.server() << '\n' << config.file() << '\n';
        return 0;
    }
    if (command == "read") {
        const QString key = args.value(1);
        out << (AppSettings::instance().contains(key) ? AppSettings::instance().value(key).toString() : "<absent>")
            << '\n';
        return 0;
    }
    return 2;
}
