#include "Desktop.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDebug>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>
#include <QWidget>

namespace platform {

QSize systemFrameSize()
{
    // Linux window managers publish no such metric; 4 is the usual resize frame.
    return QSize(4, 4);
}

namespace {

const char* const kFileManagerService = "org.freedesktop.FileManager1";

bool openFolderOf(const QString& path)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
}

bool fileManagerReachable(const QDBusConnection& bus)
{
    if (!bus.isConnected())
        return false;
    const QDBusConnectionInterface* busInterface = bus.interface();
    return busInterface->isServiceRegistered(kFileManagerService)
        || busInterface->activatableServiceNames().value().contains(kFileManagerService);
}

} // namespace

bool revealInFileManager(const QString& path)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!fileManagerReachable(bus))
        return openFolderOf(path);
    QDBusMessage showItems = QDBusMessage::createMethodCall(kFileManagerService, "/org/freedesktop/FileManager1",
                                                            kFileManagerService, "ShowItems");
    showItems << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
    // The file manager may take seconds to start: the answer is awaited off the caller's way.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(showItems));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [path](QDBusPendingCallWatcher* finished) {
        if (finished->isError()) {
            qWarning() << "file manager : " << finished->error().message();
            openFolderOf(path);
        }
        finished->deleteLater();
    });
    return true;
}

void bringToFront(QWidget* window)
{
    window->showNormal();
    window->raise();
    window->activateWindow();
}

} // namespace platform
