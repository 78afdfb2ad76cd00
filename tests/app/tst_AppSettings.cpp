#include "ProbeRunner.h"

#include "app/AppSettings.h"
#include "app/SettingsKeys.h"
#include "platform/Platform.h"

#include <QDir>
#include <QFile>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <memory>
#include <vector>

class TestAppSettings : public QObject
{
    Q_OBJECT

private:
    QString dataDir() const { return platform::dataDirectory(); }

    void writeFile(const QString& name, const QByteArray& bytes)
    {
        QDir().mkpath(dataDir());
        QFile file(dataDir() + "/" + name);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }

private slots:
    void initTestCase()
    {
        QCoreApplication::setApplicationName("Vyr_DoridOvov");
        QDir(dataDir()).removeRecursively();
    }

    void dataDirectoryIsNamedAfterTheProgram()
    {
        QVERIFY(dataDir().endsWith("/.local/share/Vyr_DoridOvov"));
    }

    void defaultsWithoutAFile()
    {
        QVERIFY(!QFile::exists(dataDir() + "/virtualBg.ini"));
        const AppSettings& settings = AppSettings::instance();
        QVERIFY(!settings.contains(SettingsKeys::userInfo));
        QCOMPARE(settings.value(SettingsKeys::portraitSwitch, SettingsKeys::portraitSwitchDefault).toBool(), true);
        QCOMPARE(settings.value(SettingsKeys::portraitType, SettingsKeys::portraitTypeDefault).toInt(), 0);
        QCOMPARE(settings.value(SettingsKeys::portraitLevel, SettingsKeys::portraitLevelDefault).toInt(), 70);
        QCOMPARE(settings.value(SettingsKeys::msmf, SettingsKeys::msmfDefault).toBool(), false);
        QVERIFY(!settings.value(SettingsKeys::authTime).toDateTime().isValid());
    }

    // Levels are single-precision variants and the token time a date-time: the file keeps
    // their types, so the next run reads them back unchanged.
    void typedValuesSurviveTheFile()
    {
        AppSettings& settings = AppSettings::instance();
        const QDateTime when(QDate(2024, 3, 1), QTime(9, 5, 7));
        settings.setValue("SMALL_FACE", 0.35f);
        settings.setValue(SettingsKeys::authTime, when);
        settings.sync();
        QFile file(settings.fileName());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        QVERIFY2(text.contains("SMALL_FACE=@Variant("), text.constData());
        QVERIFY2(text.contains("auth_time=@DateTime("), text.constData());
        const QSettings reread(settings.fileName(), QSettings::IniFormat);
        QCOMPARE(reread.value("SMALL_FACE").userType(), int(QMetaType::Float));
        QCOMPARE(reread.value("SMALL_FACE").toFloat(), 0.35f);
        QCOMPARE(reread.value(SettingsKeys::authTime).toDateTime(), when);
        settings.remove("SMALL_FACE");
        settings.remove(SettingsKeys::authTime);
        settings.sync();
    }

    // The GUI, engine and task-pool threads share the one store. Each thread owns a key nobody
    // else writes, so it must always read back its own last value; the shared key must always
    // hold a value some thread really wrote. Meanwhile this thread runs the event loop, where
    // the store's deferred write to the file happens.
    void fourThreadsSetAndReadTheStoreAtOnce()
    {
        constexpr int threadCount = 4;
        constexpr int rounds = 10000;
        AppSettings& settings = AppSettings::instance();
        std::atomic<int> wrongReads{0};
        std::vector<std::unique_ptr<QThread>> threads;
        for (int t = 0; t < threadCount; ++t) {
            threads.emplace_back(QThread::create([&settings, &wrongReads, t] {
                const QString own = QString("hammer_%1").arg(t);
                for (int i = 0; i < rounds; ++i) {
                    settings.setValue(own, i);
                    settings.setValue("hammer_shared", t * rounds + i);
                    if (settings.value(own).toInt() != i || !settings.contains(own))
                        ++wrongReads;
                    const int shared = settings.value("hammer_shared", -1).toInt();
                    if (shared < 0 || shared >= threadCount * rounds)
                        ++wrongReads;
                }
            }));
            threads.back()->start();
        }
        const auto allFinished = [&threads] {
            for (const auto& thread : threads)
                if (!thread->isFinished())
                    return false;
            return true;
        };
        QTRY_VERIFY_WITH_TIMEOUT(allFinished(), 240000);
        QCOMPARE(wrongReads.load(), 0);
        settings.sync();
        const QSettings reread(settings.fileName(), QSettings::IniFormat);
        for (int t = 0; t < threadCount; ++t) {
            QCOMPARE(reread.value(QString("hammer_%1").arg(t)).toInt(), rounds - 1);
            settings.remove(QString("hammer_%1").arg(t));
        }
        QCOMPARE(reread.value("hammer_shared").toInt() % rounds, rounds - 1);
        settings.remove("hammer_shared");
        settings.sync();
    }

    void userWrittenByOneProcessIsReadByAnother()
    {
        QCOMPARE(runProbe({"write-user"}).exitCode, 0);
        const ProbeResult read = runProbe({"read-user"});
        QCOMPARE(read.exitCode, 0);
        const QStringList fields = QString::fromUtf8(read.output).split('\n');
        QCOMPARE(fields.mid(0, 7), QStringList({"dev-1", "open-2", "13800000000", "小明",
                                                "http://example.invalid/head.png", "xiaoming", "42"}));
    }

    void serverIniWithOnlyTheServerKeepsTheFileDefault()
    {
        QFile::remove(dataDir() + "/server.ini");
        QCOMPARE(runProbe({"read-server"}).output,
                 QByteArray("https://api.doridovov.com:6802\nhttps://api.doridovov.com\n"));
        writeFile("server.ini", "[General]\nserver=https://test.invalid:7000\n");
        QCOMPARE(runProbe({"read-server"}).output, QByteArray("https://test.invalid:7000\nhttps://api.doridovov.com\n"));
    }

    void damagedFileGivesDefaultsAndIsNotRewritten()
    {
        const QByteArray garbage("\x01\x02[[[=\xff\xfe portrait_type\n\x00\x00garbage", 32);
        writeFile("virtualBg.ini", garbage);
        QCOMPARE(runProbe({"read", "portrait_type"}).output, QByteArray("<absent>\n"));
        QFile file(dataDir() + "/virtualBg.ini");
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), garbage);
    }
};

QTEST_GUILESS_MAIN(TestAppSettings)
#include "tst_AppSettings.moc"
