// The manifest's member and type rules, the version comparison, the file digest and the
// progress text; no network.
#include "update/FileDigest.h"
#include "update/PackageDownload.h"
#include "update/UpdateInfo.h"
#include "update/VersionManifest.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QTemporaryDir>
#include <QtTest>

class VersionManifestTest : public QObject {
    Q_OBJECT
private slots:
    void readsEveryMemberOfAWellFormedManifest();
    void membersOfAnotherTypeLeaveTheirFields_data();
    void membersOfAnotherTypeLeaveTheirFields();
    void bodyThatIsNoObjectChangesNothing_data();
    void bodyThatIsNoObjectChangesNothing();
    void comparesVersionsNumericallyAndOnlyAtEqualLength_data();
    void comparesVersionsNumericallyAndOnlyAtEqualLength();
    void runningVersionDropsTheBuildNumber();
    void digestsFilesOfEverySizeAndRefusesMissingOnes();
    void uppercaseDigestNeverMatches();
    void progressTextShowsPercentOrBytesWithoutTotal();
};

namespace {

UpdateInfo filled()
{
    UpdateInfo info;
    info.version = "1.0.0";
    info.versionInfo = "old notes";
    info.url = "https://old";
    info.md5 = "old";
    info.forceUpdate = QStringList{"0.9.0"};
    info.popupWindow = true;
    return info;
}

} // namespace

void VersionManifestTest::readsEveryMemberOfAWellFormedManifest()
{
    UpdateInfo info;
    parseVersionManifest(R"({"version": "3.0.4", "vesioninfo": {"cn": "修复"},
        "apk": {"x64": {"url": "https://h/p.run", "md5": "abc"}}, "popupWindow": true,
        "forceUpdate": ["3.0.3", 7], "extra": 1})", info);
    QCOMPARE(info.version, QString("3.0.4"));
    QCOMPARE(info.versionInfo, QString("修复"));
    QCOMPARE(info.url, QString("https://h/p.run"));
    QCOMPARE(info.md5, QString("abc"));
    QCOMPARE(info.popupWindow, true);
    QCOMPARE(info.forceUpdate, (QStringList{"3.0.3", "7"}));
    QVERIFY(!info.updateAvailable && !info.hasDownloaded && !info.isDownloading);
}

void VersionManifestTest::membersOfAnotherTypeLeaveTheirFields_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("all absent") << QByteArray("{}");
    QTest::newRow("wrong types") << QByteArray(R"({"version": 3, "vesioninfo": "notes", "popupWindow": "yes",
        "forceUpdate": "3.0.3", "apk": {"x64": {"url": 5, "md5": null}}})");
    QTest::newRow("notes under the usual spelling are not read") << QByteArray(R"({"versioninfo": {"cn": "x"}})");
}

void VersionManifestTest::membersOfAnotherTypeLeaveTheirFields()
{
    QFETCH(QByteArray, body);
    UpdateInfo info = filled();
    parseVersionManifest(body, info);
    const UpdateInfo before = filled();
    QCOMPARE(info.version, before.version);
    QCOMPARE(info.versionInfo, before.versionInfo);
    QCOMPARE(info.url, before.url);
    QCOMPARE(info.md5, before.md5);
    QCOMPARE(info.forceUpdate, before.forceUpdate);
    QCOMPARE(info.popupWindow, before.popupWindow);
}

void VersionManifestTest::bodyThatIsNoObjectChangesNothing_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("not json") << QByteArray("<html>502</html>");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("array") << QByteArray(R"([{"version": "9.9.9"}])");
}

void VersionManifestTest::bodyThatIsNoObjectChangesNothing()
{
    QFETCH(QByteArray, body);
    UpdateInfo info = filled();
    parseVersionManifest(body, info);
    QCOMPARE(info.version, QString("1.0.0"));
    QCOMPARE(info.md5, QString("old"));
}

void VersionManifestTest::comparesVersionsNumericallyAndOnlyAtEqualLength_data()
{
    QTest::addColumn<QString>("current");
    QTest::addColumn<QString>("offered");
    QTest::addColumn<bool>("newer");
    QTest::newRow("numeric, not textual") << "3.0.3" << "3.0.10" << true;
    QTest::newRow("fewer parts") << "3.0.3" << "3.1" << false;
    QTest::newRow("more parts") << "3.0.3" << "3.0.3.1" << false;
    QTest::newRow("equal") << "3.0.3" << "3.0.3" << false;
    QTest::newRow("older") << "3.0.3" << "3.0.2" << false;
    QTest::newRow("first part decides") << "3.0.3" << "4.0.0" << true;
    QTest::newRow("earlier part wins over later") << "3.1.0" << "3.0.9" << false;
    QTest::newRow("not a number counts as 0") << "3.0.3" << "3.0.x" << false;
    QTest::newRow("empty part counts as 0") << "3..3" << "3.1.3" << true;
    QTest::newRow("empty offer") << "3.0.3" << "" << false;
}

void VersionManifestTest::comparesVersionsNumericallyAndOnlyAtEqualLength()
{
    QFETCH(QString, current);
    QFETCH(QString, offered);
    QFETCH(bool, newer);
    QCOMPARE(isNewerVersion(current, offered), newer);
}

void VersionManifestTest::runningVersionDropsTheBuildNumber()
{
    QCoreApplication::setApplicationVersion("3.0.3.0");
    QCOMPARE(runningVersion(), QString("3.0.3"));
}

void VersionManifestTest::digestsFilesOfEverySizeAndRefusesMissingOnes()
{
    QTemporaryDir dir;
    for (int size : {0, 4095, 4096, 4097, 3 * 4096 + 17}) {
        QByteArray bytes(size, '\0');
        for (int i = 0; i < size; ++i)
            bytes[i] = char(i * 31 + 7);
        const QString path = dir.filePath(QString::number(size));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        QCOMPARE(fileMd5(path), QCryptographicHash::hash(bytes, QCryptographicHash::Md5));
    }
    QTest::ignoreMessage(QtWarningMsg, "file open error.");
    QVERIFY(fileMd5(dir.filePath("missing")).isEmpty());
    QTest::ignoreMessage(QtWarningMsg, "file open error.");
    QVERIFY(!fileMatchesMd5(dir.filePath("missing"), QString()));
}

void VersionManifestTest::uppercaseDigestNeverMatches()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("package.run");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("package");
    file.close();
    const QString hex = QCryptographicHash::hash("package", QCryptographicHash::Md5).toHex();
    QString actual;
    QVERIFY(fileMatchesMd5(path, hex, &actual));
    QCOMPARE(actual, hex);
    QVERIFY(!fileMatchesMd5(path, hex.toUpper()));
}

void VersionManifestTest::progressTextShowsPercentOrBytesWithoutTotal()
{
    QCOMPARE(downloadProgressText(0, 1000), QString("正在下载(0%)"));
    QCOMPARE(downloadProgressText(999, 1000), QString("正在下载(99%)"));
    QCOMPARE(downloadProgressText(1000, 1000), QString("正在下载(100%)"));
    QCOMPARE(downloadProgressText(12897485, -1), QString("正在下载(12.3MB)"));
    QCOMPARE(downloadProgressText(0, 0), QString("正在下载(0.0MB)"));
}

QTEST_GUILESS_MAIN(VersionManifestTest)
#include "VersionManifestTest.moc"
