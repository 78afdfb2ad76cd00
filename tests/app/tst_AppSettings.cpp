#include "ProbeRunner.h"

#include "app/AppSettings.h"
#include "app/SettingsKeys.h"
#include "platform/Platform.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <atomic>
#include <thread>
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
    // hold a value some thread really wrote; the file gets the last values.
    void fourThreadsSetAndReadTheStoreAtOnce()
    {
        constexpr int threadCount = 4;
        constexpr int rounds = 10000;
        AppSettings& settings = AppSettings::instance();
        // The keys are made before the threads and outlive them: the store shares their text,
        // and the thread sanitizer does not see the reference counting inside Qt's libraries.
        const QString sharedKey("hammer_shared");
        QStringList ownKeys;
        for (int t = 0; t < threadCount; ++t)
            ownKeys << QString("hammer_%1").arg(t);
        std::atomic<int> wrongReads{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < threadCount; ++t) {
            threads.emplace_back([&settings, &wrongReads, &sharedKey, &own = ownKeys.at(t), t] {
                for (int i = 0; i < rounds; ++i) {
                    settings.setValue(own, i);
                    settings.setValue(sharedKey, t * rounds + i);
                    if (settings.value(own).toInt() != i || !settings.contains(own))
                        ++wrongReads;
                    const int shared = settings.value(sharedKey, -1).toInt();
                    if (shared < 0 || shared >= threadCount * rounds)
                        ++wrongReads;
                }
            });
        }
        for (std::thread& thread : threads)
            thread.join();
        QCOMPARE(wrongReads.load(), 0);
        // Qt's deferred write, as the GUI thread's event loop runs it.
        QCoreApplication::processEvents();
        const QSettings reread(settings.fileName(), QSettings::IniFormat);
        for (const QString& own : ownKeys) {
            QCOMPARE(reread.value(own).toInt(), rounds - 1);
            settings.remove(own);
        }
        QCOMPARE(reread.value(sharedKey).toInt() % rounds, rounds - 1);
        settings.remove(sharedKey);
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
