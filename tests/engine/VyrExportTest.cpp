// The headless exporter as a user runs it: outputs, exit codes and the untouched settings.
#include "TestVideos.h"

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

class VyrExportTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void exportsEveryFileBesideItsSource();
    void failureGivesExitCodeAndMessage();
    void overridesLeaveTheStoredChoiceAlone();
    void exportsWithoutDisplayOrSessionBus();

private:
    int run(const QStringList& arguments, QString* errors = nullptr,
            const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());
    QString toolPath() const;
    QString settingsFile() const;

    QTemporaryDir m_dir;
    QString m_clip;
};

void VyrExportTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_clip = m_dir.filePath("clip one.mp4");
    QVERIFY(TestVideos::make(m_clip, 320, 240, 25, 40, true));
}

QString VyrExportTest::toolPath() const
{
    return qEnvironmentVariable("VYR_BIN_DIR") + "/vyr-export";
}

int VyrExportTest::run(const QStringList& arguments, QString* errors, const QProcessEnvironment& environment)
{
    QProcess tool;
    tool.setProcessEnvironment(environment);
    tool.start(toolPath(), QStringList{"--quiet"} + arguments);
    if (!tool.waitForFinished(120000))
        return -1;
    if (errors)
        *errors = QString::fromUtf8(tool.readAllStandardError());
    return tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
}

QString VyrExportTest::settingsFile() const
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Vyr_DoridOvov/virtualBg.ini";
}

void VyrExportTest::exportsEveryFileBesideItsSource()
{
    const QString second = m_dir.filePath("second.mp4");
    QVERIFY(QFile::copy(m_clip, second));
    QCOMPARE(run({m_clip, second}), 0);
    const QStringList outputs = QDir(m_dir.path()).entryList({"Lumetra_*"}, QDir::Files);
    QCOMPARE(outputs.size(), 2);
    for (const QString& output : outputs) {
        QCOMPARE(TestVideos::probe(m_dir.filePath(output), "v", "nb_read_frames"), QString("40"));
        QCOMPARE(TestVideos::probe(m_dir.filePath(output), "a", "codec_type"), QString("audio"));
        QFile::remove(m_dir.filePath(output));
    }
}

void VyrExportTest::failureGivesExitCodeAndMessage()
{
    const QString corrupt = m_dir.filePath("corrupt.mp4");
    QVERIFY(TestVideos::makeCorrupt(corrupt));
    QString errors;
    QCOMPARE(run({corrupt, m_clip}, &errors), 1);
    QVERIFY2(errors.contains("corrupt.mp4: failed: cannot read"), qPrintable(errors));
    // The good file after the bad one is still exported.
    const QStringList outputs = QDir(m_dir.path()).entryList({"Lumetra_*"}, QDir::Files);
    QCOMPARE(outputs.size(), 1);
    QFile::remove(m_dir.filePath(outputs.first()));
}

void VyrExportTest::overridesLeaveTheStoredChoiceAlone()
{
    {
        QSettings stored(settingsFile(), QSettings::IniFormat);
        stored.setValue("portrait_item", "virtualize");
        stored.setValue("portrait_type", 0);
    }
    QCOMPARE(run({"--background", "none", "--portrait-type", "2", m_clip}), 0);
    QSettings stored(settingsFile(), QSettings::IniFormat);
    QCOMPARE(stored.value("portrait_item").toString(), QString("virtualize"));
    QCOMPARE(stored.value("portrait_type").toInt(), 0);
    const QStringList outputs = QDir(m_dir.path()).entryList({"Lumetra_*"}, QDir::Files);
    QCOMPARE(outputs.size(), 1);
    QFile::remove(m_dir.filePath(outputs.first()));
}

// A batch machine has no X server, no Wayland, no session bus and no Qt platform chosen: the
// tool must neither need the widget or bus libraries nor ask for a display.
void VyrExportTest::exportsWithoutDisplayOrSessionBus()
{
    QProcess ldd;
    ldd.start("ldd", {toolPath()});
    QVERIFY(ldd.waitForFinished(30000));
    const QString libraries = QString::fromUtf8(ldd.readAllStandardOutput());
    QVERIFY2(libraries.contains("libQt5Core"), qPrintable(libraries));
    for (const char* unwanted : {"libQt5Widgets", "libQt5DBus", "libdbus-1", "libQt5XcbQpa"})
        QVERIFY2(!libraries.contains(unwanted), qPrintable(QString(unwanted) + " in\n" + libraries));

    QProcessEnvironment headless = QProcessEnvironment::systemEnvironment();
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "DBUS_SESSION_BUS_ADDRESS"})
        headless.remove(variable);
    QString errors;
    QCOMPARE(run({m_clip}, &errors, headless), 0);
    QVERIFY2(errors.isEmpty(), qPrintable(errors));
    const QStringList outputs = QDir(m_dir.path()).entryList({"Lumetra_*"}, QDir::Files);
    QCOMPARE(outputs.size(), 1);
    QCOMPARE(TestVideos::probe(m_dir.filePath(outputs.first()), "v", "nb_read_frames"), QString("40"));
    QFile::remove(m_dir.filePath(outputs.first()));
}

QTEST_GUILESS_MAIN(VyrExportTest)
#include "VyrExportTest.moc"
