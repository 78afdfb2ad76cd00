#include "UpdateTestSupport.h"

#include "tests/account/AccountServer.h"
#include "platform/Platform.h"
#include "update/UpdateService.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

bool offerUpdate(AccountServer& server, const QString& query)
{
    return server.request("POST", "/test/update?" + query) == "{}";
}

QJsonObject updateStats(AccountServer& server)
{
    return QJsonDocument::fromJson(server.request("GET", "/test/updateStats")).object();
}

bool quitsWhile(const std::function<void()>& action, int timeoutMs)
{
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    guard.start(timeoutMs);
    QTimer::singleShot(0, action);
    return QCoreApplication::exec() == 0;
}

void answerNextQuestion(const QString& answer, QString* asked)
{
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, answer, asked] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(window);
            if (!box || !box->isVisible())
                continue;
            *asked = box->windowTitle() + "|" + box->text();
            poll->stop();
            poll->deleteLater();
            for (QAbstractButton* button : box->buttons()) {
                if (button->text() == answer)
                    button->click();
            }
            return;
        }
    });
    poll->start(50);
}

bool placeVerifiedPackage(AccountServer& server, const QString& version)
{
    const QByteArray package = server.request("GET", "/packages/" + version + ".run");
    QDir().mkpath(UpdateService::updateFolder());
    QFile file(UpdateService::updateFolder() + "/" + version + platform::installerSuffix());
    return package.startsWith("#!/bin/sh") && file.open(QIODevice::WriteOnly) && file.write(package) == package.size();
}

std::unique_ptr<UpdateService> wiredUpdateService()
{
    auto service = std::make_unique<UpdateService>();
    QObject::connect(service.get(), &UpdateService::installUpdate, service.get(), &UpdateService::gotoInstall,
                     Qt::QueuedConnection);
    return service;
}

bool checkVersion(UpdateService& service)
{
    service.startVersionCheck();
    return QTest::qWaitFor([&service] { return !service.packagePath().isEmpty(); }, 10000);
}
