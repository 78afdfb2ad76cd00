// A file server whose self-signed certificate server.ini does not name is refused: the
// manifest never reaches the server, and no update is offered.
#include "UpdateTestSupport.h"

#include "tests/account/AccountServer.h"
#include "update/UpdateService.h"

#include <QApplication>
#include <QSignalSpy>
#include <QtTest>

class ManifestTlsRefusedTest : public QObject {
    Q_OBJECT
private slots:
    void unknownCertificateOffersNothing()
    {
        QApplication::setApplicationVersion("3.0.3.0");
        AccountServer server(false);
        QVERIFY(server.isRunning());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^download fi : Download failed:\nSSL handshake failed"));
        UpdateService service;
        QSignalSpy found(&service, &UpdateService::updateFound);
        service.startVersionCheck();
        // A refused handshake on this machine takes milliseconds; the ignored message above
        // must have come by the end of the test.
        QTest::qWait(2000);
        QVERIFY(!service.info().updateAvailable);
        QCOMPARE(found.count(), 0);
        QCOMPARE(updateStats(server).value("manifestRequests").toInt(), 0);
    }
};

QTEST_MAIN(ManifestTlsRefusedTest)
#include "ManifestTlsRefusedTest.moc"
