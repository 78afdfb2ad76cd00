// The main window's parts on their own: time texts, the export overlay and the background
// files on disk.
#include "TestVideos.h"

#include "mainwindow/BackgroundStore.h"
#include "mainwindow/QLoadingWidget.h"
#include "mainwindow/TimeWidget.h"
#include "platform/Platform.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

class MainWindowPartsTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void timeTexts_data();
    void timeTexts();
    void progressMovesBarAndBubble();
    void overlayPanelsShowOneAtATime();
    void videoThumbnailsLieInTheSiblingPreviewFolder();
    void staleBuiltInCopiesAreRemovedFromTheUserFolder();
    void uploadNeverReusesATakenNumber();
    void unreadableUploadIsReportedNotCreated();
    void uploadedVideoGetsItsThumbnail();

private:
    static QString writeFile(const QString& path, const QByteArray& content = "x");
};

QString MainWindowPartsTest::writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
    return path;
}

void MainWindowPartsTest::init()
{
    QDir(platform::dataDirectory() + "/资源").removeRecursively();
}

void MainWindowPartsTest::timeTexts_data()
{
    QTest::addColumn<int>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("start") << 0 << "00:00:00";
    QTest::newRow("one minute short") << 59 << "00:00:59";
    QTest::newRow("one hour") << 3600 << "01:00:00";
    QTest::newRow("mixed") << 3725 << "01:02:05";
    QTest::newRow("hours past 99") << 360000 << "100:00:00";
}

void MainWindowPartsTest::timeTexts()
{
    QFETCH(int, seconds);
    QFETCH(QString, text);
    QCOMPARE(TimeWidget::formatTime(seconds), text);

    TimeWidget widget(nullptr, 1.0f);
    widget.setTotal(seconds);
    widget.setElapsed(seconds);
    const QList<QLabel*> labels = widget.findChildren<QLabel*>();
    QCOMPARE(labels.first()->text(), text);
    QCOMPARE(labels.last()->text(), text);
}

void MainWindowPartsTest::progressMovesBarAndBubble()
{
    QLoadingWidget overlay(nullptr, 1.0f);
    auto* bar = overlay.findChild<QProgressBar*>();
    QLabel* bubble = nullptr;
    for (QLabel* label : overlay.findChildren<QLabel*>()) {
        if (label->text() == "0%")
            bubble = label;
    }
    QVERIFY(bubble);

    overlay.setProgress(0.375f);
    QCOMPARE(bubble->text(), QString("37%"));
    QCOMPARE(bar->value(), 3750);
    QCOMPARE(bubble->x(), 148);

    overlay.setProgress(1.0f);
    QCOMPARE(bubble->text(), QString("100%"));
    QCOMPARE(bar->value(), 10000);

    overlay.resetProgress();
    QCOMPARE(bubble->text(), QString("0%"));
    QCOMPARE(bar->value(), 0);
    QCOMPARE(bubble->x(), 0);
}

void MainWindowPartsTest::overlayPanelsShowOneAtATime()
{
    QLoadingWidget overlay(nullptr, 1.0f);
    overlay.resize(1190, 700);
    overlay.show();
    auto buttonNamed = [&overlay](const QString& text) {
        QList<QPushButton*> found;
        for (QPushButton* button : overlay.findChildren<QPushButton*>()) {
            if (button->text() == text)
                found << button;
        }
        return found;
    };
    QPushButton* cancel = buttonNamed("取消").value(0);
    QPushButton* reveal = buttonNamed("打开所在文件夹").value(0);
    QCOMPARE(buttonNamed("返回").size(), 2);
    QPushButton* doneBack = buttonNamed("返回")[0];
    QPushButton* failedBack = buttonNamed("返回")[1];

    QVERIFY(cancel->isVisible());
    QVERIFY(!reveal->isVisible() && !doneBack->isVisible() && !failedBack->isVisible());

    QSignalSpy cancelled(&overlay, &QLoadingWidget::onCancel);
    cancel->click();
    cancel->click();
    QCOMPARE(cancelled.size(), 2);

    overlay.showDone();
    QVERIFY(reveal->isVisible() && doneBack->isVisible());
    QVERIFY(!cancel->isVisible() && !failedBack->isVisible());
    QSignalSpy revealed(&overlay, &QLoadingWidget::openSaveDir);
    reveal->click();
    QCOMPARE(revealed.size(), 1);

    overlay.showFailed("cannot write /nowhere/out.mp4");
    QVERIFY(failedBack->isVisible());
    QVERIFY(!reveal->isVisible() && !cancel->isVisible());
    bool reasonShown = false;
    for (QLabel* label : overlay.findChildren<QLabel*>())
        reasonShown = reasonShown || (label->isVisible() && label->text() == "cannot write /nowhere/out.mp4");
    QVERIFY(reasonShown);
    QSignalSpy back(&overlay, &QLoadingWidget::onBack);
    failedBack->click();
    QCOMPARE(back.size(), 1);

    overlay.resetProgress();
    QVERIFY(cancel->isVisible() && !failedBack->isVisible() && !reveal->isVisible());
}

void MainWindowPartsTest::videoThumbnailsLieInTheSiblingPreviewFolder()
{
    QCOMPARE(BackgroundStore::picturePathOf("/opt/app/Resource/video.mp4"), QString("/opt/app/VideoPreview/video.bmp"));
    QCOMPARE(BackgroundStore::picturePathOf("/d/资源/Resource/123.MP4"), QString("/d/资源/VideoPreview/123.bmp"));
    QCOMPARE(BackgroundStore::picturePathOf("/opt/app/Resource/1.jpg"), QString("/opt/app/Resource/1.jpg"));
    QCOMPARE(BackgroundStore::picturePathOf(":/image/item_clear_effect.png"), QString(":/image/item_clear_effect.png"));
    QVERIFY(BackgroundStore::isVideo("a.Mp4"));
    QVERIFY(!BackgroundStore::isVideo("a.png"));
}

void MainWindowPartsTest::staleBuiltInCopiesAreRemovedFromTheUserFolder()
{
    const QString folder = BackgroundStore::userFolder();
    for (const QString& name : QStringList{"1.jpg", "3.jpg", "5.jpg", "video.mp4", "6.jpg", "31.jpg"})
        writeFile(folder + "/" + name);
    QStringList listed;
    for (const QFileInfo& file : BackgroundStore::userFiles())
        listed << file.fileName();
    listed.sort();
    QCOMPARE(listed, QStringList({"31.jpg", "6.jpg"}));
    QVERIFY(!QFile::exists(folder + "/3.jpg"));
    QVERIFY(!QFile::exists(folder + "/video.mp4"));
}

void MainWindowPartsTest::uploadNeverReusesATakenNumber()
{
    const QString folder = BackgroundStore::userFolder();
    writeFile(folder + "/500.jpg", "older background");
    writeFile(folder + "/501.png", "another one");
    writeFile(BackgroundStore::userThumbnailFolder() + "/502.bmp", "thumbnail of a removed video");
    const QString chosen = writeFile(QDir::tempPath() + "/upload-source.jpg", "new picture");

    const QString stored = BackgroundStore::copyUpload(chosen, 500);
    QCOMPARE(stored, folder + "/503.jpg");
    QCOMPARE(QFileInfo(stored).size(), qint64(QByteArray("new picture").size()));
    QFile older(folder + "/500.jpg");
    QVERIFY(older.open(QIODevice::ReadOnly));
    QCOMPARE(older.readAll(), QByteArray("older background"));

    // The copy is stamped as the newest file, so it is listed first at the next start.
    QFile::remove(folder + "/500.jpg");
    writeFile(folder + "/500.jpg", "older background");
    QTest::qWait(20);
    QCOMPARE(BackgroundStore::copyUpload(chosen, 500), folder + "/504.jpg");
    QCOMPARE(BackgroundStore::userFiles().first().fileName(), QString("504.jpg"));
}

void MainWindowPartsTest::unreadableUploadIsReportedNotCreated()
{
    QVERIFY(BackgroundStore::copyUpload("/nonexistent/picture.jpg", 700).isEmpty());
    QVERIFY(!QFile::exists(BackgroundStore::userFolder() + "/700.jpg"));
}

void MainWindowPartsTest::uploadedVideoGetsItsThumbnail()
{
    const QString clip = QDir::tempPath() + "/upload-clip.MP4";
    QVERIFY(TestVideos::make(clip, 160, 120, 10, 5, false));
    const QString stored = BackgroundStore::copyUpload(clip, 900);
    QCOMPARE(stored, BackgroundStore::userFolder() + "/900.MP4");
    QVERIFY(BackgroundStore::writeVideoThumbnail(stored));
    const QString thumbnail = BackgroundStore::userThumbnailFolder() + "/900.bmp";
    QCOMPARE(BackgroundStore::picturePathOf(stored), thumbnail);
    QCOMPARE(QImage(thumbnail).size(), QSize(160, 120));

    const QString broken = writeFile(BackgroundStore::userFolder() + "/901.mp4", "not a video");
    QVERIFY(!BackgroundStore::writeVideoThumbnail(broken));
}

QTEST_MAIN(MainWindowPartsTest)
#include "MainWindowPartsTest.moc"
