// The window's share of the update, against the local server: the dot after the check at
// start, one settings dialog however often its button is pressed, and an accepted update
// that runs through the window to the started installer.
#include "mainwindow/MainWindow.h"
#include "settings/QSettingUIWidget.h"
#include "tests/account/AccountServer.h"
#include "tests/update/UpdateTestSupport.h"
#include "update/QUpdateWidget.h"
#include "update/UpdateService.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QtTest>

#include <memory>

namespace {

template <typename T>
QList<T*> visibleWindows()
{
    QList<T*> found;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* typed = qobject_cast<T*>(window); typed && typed->isVisible())
            found << typed;
    }
    return found;
}

} // namespace

class MainWindowUpdateTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void acceptedUpdateRunsThroughTheWindowToTheInstaller();

private:
    std::unique_ptr<AccountServer> server;
};

void MainWindowUpdateTest::initTestCase()
{
    QApplication::setApplicationVersion("3.0.3.0");
    QDir(UpdateService::updateFolder()).removeRecursively();
    server = std::make_unique<AccountServer>();
    QVERIFY(server->isRunning());
    QVERIFY(offerUpdate(*server, "version=3.0.4&popup=0"));
}

void MainWindowUpdateTest::acceptedUpdateRunsThroughTheWindowToTheInstaller()
{
    MainWindow window;
    window.show();
    auto* dot = window.findChild<QLabel*>("label_redpoint");
    QTRY_VERIFY_WITH_TIMEOUT(dot->isVisible(), 10000);

    auto* settingsButton = window.findChild<QPushButton*>("pb_setting");
    settingsButton->click();
    settingsButton->click();
    QCOMPARE(visibleWindows<QSettingUIWidget>().size(), 1);
    QSettingUIWidget* settings = visibleWindows<QSettingUIWidget>().first();
    settings->findChild<QPushButton*>("label_update")->click();
    QCOMPARE(visibleWindows<QUpdateWidget>().size(), 1);

    QString asked;
    answerNextQuestion("立即更新", &asked);
    QPushButton* accept = visibleWindows<QUpdateWidget>().first()->findChild<QPushButton*>("pb_update_sure");
    QVERIFY(quitsWhile([accept] { accept->click(); }));
    QCOMPARE(asked, QString("应用升级|下载完成，是否启动更新？"));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(UpdateService::updateFolder() + "/installer-ran.txt"), 5000);

    // Once closed, the button opens a new one.
    QPointer<QSettingUIWidget> closed = settings;
    settings->close();
    QTRY_VERIFY(!closed);
    settingsButton->click();
    QCOMPARE(visibleWindows<QSettingUIWidget>().size(), 1);

    // Closing the window closes the login page it opened at start (nobody is logged in).
    window.close();
    QTest::qWait(200);
}

int main(int argc, char** argv)
{
    // Nobody is logged in, so the window opens the login page in the web engine at start.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    MainWindowUpdateTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "MainWindowUpdateTest.moc"
