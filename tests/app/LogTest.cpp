#include "ProbeRunner.h"

#include "platform/Platform.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QtTest>

class LogTest : public QObject
{
    Q_OBJECT

private:
    QString dataDir() const { return platform::dataDirectory(); }

    QByteArray readFile(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private slots:
    void initTestCase()
    {
        QCoreApplication::setApplicationName("Vyr_DoridOvov");
        QDir(dataDir()).removeRecursively();
    }

    void linesOfOneRunInFormatAndOrder()
    {
        QDir().mkpath(dataDir());
        QFile old(dataDir() + "/vyr_log.txt");
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("a line of the previous run\r\n");
        old.close();

        QCOMPARE(runProbe({"log"}).exitCode, 0);
        const QByteArray log = readFile(dataDir() + "/vyr_log.txt");
        QVERIFY2(!log.contains("previous run"), log.constData());

        const QString stamp = R"( \(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d \S+\)\r\n)";
        const QString pattern = "^Debug: File:\\(\\) Line:\\(0\\) debug text" + stamp
            + " File:\\(\\) Line:\\(0\\) info text" + stamp
            + "Warning: File:\\(\\) Line:\\(0\\) warning text" + stamp
            + "Critical: File:\\(\\) Line:\\(0\\) critical text" + stamp
            + "stdout text\n"
            + "Debug: File:\\(\\) Line:\\(0\\) after stdout" + stamp
            + "cout text\n"
            + "cerr text\n"
            + "Debug: File:\\(\\) Line:\\(0\\) 中文 text" + stamp + "$";
        const QRegularExpression expected(pattern);
        QVERIFY2(expected.match(QString::fromUtf8(log)).hasMatch(), log.constData());
    }

    void unusableDataDirectoryIsReportedAndTheProgramGoesOn()
    {
        const QString blocker = dataDir() + "/not-a-folder";
        QDir().mkpath(dataDir());
        QFile file(blocker);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_DATA_HOME", blocker);
        const ProbeResult result = runProbe({"log"}, environment);
        QCOMPARE(result.status, QProcess::NormalExit);
        QCOMPARE(result.exitCode, 0);
        QVERIFY2(result.errors.contains("cannot create the data directory " + blocker.toLocal8Bit()),
                 result.errors.constData());
    }

    void crashLeavesADumpAndTellsTheUser()
    {
        const QString report = dataDir() + "/report.txt";
        const ProbeResult crashed = runProbe({"crash", dataDir(), report});
        QCOMPARE(crashed.status, QProcess::CrashExit);

        const QStringList dumps = QDir(dataDir()).entryList({"vyr_*.dmp"}, QDir::Files);
        QCOMPARE(dumps.size(), 1);
        QVERIFY2(QRegularExpression(R"(^vyr_\d{4}-\d\d-\d\d-\d\d-\d\d-\d\d-\d{3}\.dmp$)").match(dumps[0]).hasMatch(),
                 qPrintable(dumps[0]));
        const QByteArray dump = readFile(dataDir() + "/" + dumps[0]);
        QVERIFY(dump.contains("signal: 11 (SEGV)"));
        QVERIFY(dump.contains("fault address: 0x0\n"));
        QVERIFY(dump.contains("backtrace:\n"));

        // The message comes from a separate process that the crashed one does not wait for.
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(report) && QFileInfo(report).size() > 0, 10000);
        const QString message = QString::fromLocal8Bit(readFile(report));
        QVERIFY2(message.startsWith("Sorry for crash.\nPlease contact us and provide the bottom informations:\n\n"
                                    "errorcode : b, errorAddr : "),
                 qPrintable(message));
        QVERIFY(message.endsWith("\n" + dataDir() + "/" + dumps[0]));
        const QString address = message.section("errorAddr : ", 1).section('\n', 0, 0);
        QVERIFY(QRegularExpression("^[0-9a-f]{1,8}$").match(address).hasMatch());
    }
};

QTEST_GUILESS_MAIN(LogTest)
#include "LogTest.moc"
