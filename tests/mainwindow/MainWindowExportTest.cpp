// Exports through the main window with the real engine: the overlay's states from the
// first progress to the done, cancelled and failed ends, and the file that comes out.
#include "OfflineAccount.h"
#include "TestVideos.h"

#include "engine/ProcessBeauty.h"
#include "mainwindow/FilePicker.h"
#include "mainwindow/BackgroundPanel.h"
#include "mainwindow/BeautyPanel.h"
#include "mainwindow/ControlBar.h"
#include "mainwindow/EngineHost.h"
#include "mainwindow/ExportFlow.h"
#include "mainwindow/MainWindow.h"
#include "mainwindow/QLoadingWidget.h"
#include "ui_MainWindow.h"

#include <QProgressBar>
#include <QTemporaryDir>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

#include <future>
#include <memory>

class MainWindowExportTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void exportWritesTheProcessedClipAndReusesTheOverlay();
    void cancelHidesTheOverlayOnceTheEngineConfirms();
    void cancelWhileThePreviewStopsIsNotLost();
    void failedExportShowsTheReasonAndNeverTheDonePanel();
    void closingDuringAnExportEndsIt();

private:
    // A playable clip is loaded once the preview has shown its first frame.
    void loadVideo(const QString& path, bool playable = true);
    void startExport();
    QPushButton* overlayButton(const QString& text) const;
    QString bubbleText() const;

    QTemporaryDir dir;
    std::unique_ptr<MainWindow> window;
};

void MainWindowExportTest::initTestCase()
{
    QVERIFY(dir.isValid());
    keepAccountOffline();
}

void MainWindowExportTest::init()
{
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void MainWindowExportTest::cleanup()
{
    window.reset();
    FilePicker::setChooser(nullptr);
}

void MainWindowExportTest::loadVideo(const QString& path, bool playable)
{
    FilePicker::setChooser([path](QWidget*, const QString&, const QString&) { return path; });
    window->findChild<QPushButton*>("importButton")->click();
    if (playable)
        QTRY_VERIFY_WITH_TIMEOUT(window->engine->effectPassCount() > 0, 10000);
}

void MainWindowExportTest::startExport()
{
    window->findChild<QPushButton*>("exportButton")->click();
    QVERIFY(window->exportFlow->loadingWidget());
    QVERIFY(window->exportFlow->loadingWidget()->isVisible());
    QCOMPARE(bubbleText(), QString("0%"));
    QVERIFY(overlayButton("取消")->isVisible());
}

QPushButton* MainWindowExportTest::overlayButton(const QString& text) const
{
    for (QPushButton* button : window->exportFlow->loadingWidget()->findChildren<QPushButton*>()) {
        if (button->text() == text && !button->parentWidget()->isHidden())
            return button;
    }
    return nullptr;
}

QString MainWindowExportTest::bubbleText() const
{
    for (QLabel* label : window->exportFlow->loadingWidget()->findChildren<QLabel*>()) {
        if (label->text().endsWith('%'))
            return label->text();
    }
    return QString();
}

void MainWindowExportTest::exportWritesTheProcessedClipAndReusesTheOverlay()
{
    const QString source = dir.filePath("clip.mp4");
    QVERIFY(TestVideos::make(source, 320, 240, 25, 50, true));
    loadVideo(source);
    window->ui->slider_smooth->setValue(80);

    const int previewPasses = window->engine->effectPassCount();
    startExport();
    QLoadingWidget* overlay = window->exportFlow->loadingWidget();
    QCOMPARE(overlay->geometry(), window->ui->centralWidget->rect());
    QVERIFY(!window->findChild<QPushButton*>("playButton")->property("playing").toBool());
    QTRY_VERIFY_WITH_TIMEOUT(overlayButton("打开所在文件夹"), 90000);
    QCOMPARE(bubbleText(), QString("100%"));
    QCOMPARE(overlay->findChild<QProgressBar*>()->value(), 10000);

    const QString output = window->exportFlow->savedVideoPath();
    QVERIFY(QFile::exists(output));
    QCOMPARE(QFileInfo(output).path(), QFileInfo(source).path());
    QVERIFY(QFileInfo(output).fileName().startsWith("Lumetra_"));
    QVERIFY(QFileInfo(output).fileName().endsWith("_clip.mp4"));
    QCOMPARE(TestVideos::probe(output, "v", "width"), QString("320"));
    QCOMPARE(TestVideos::probe(output, "v", "height"), QString("240"));
    QCOMPARE(TestVideos::probe(output, "v", "nb_read_frames"), QString("50"));
    QCOMPARE(TestVideos::probe(output, "a", "codec_type"), QString("audio"));

    // The preview is back on the same video, paused.
    QTRY_VERIFY_WITH_TIMEOUT(window->engine->effectPassCount() > previewPasses, 10000);
    QVERIFY(window->engine->isPaused());

    overlayButton("返回")->click();
    QVERIFY(overlay->isHidden());

    startExport();
    QCOMPARE(window->exportFlow->loadingWidget(), overlay);
    QTRY_VERIFY_WITH_TIMEOUT(overlayButton("打开所在文件夹"), 90000);
    QVERIFY(window->exportFlow->savedVideoPath() != output);
    overlayButton("返回")->click();
    QVERIFY(overlay->isHidden());
}

void MainWindowExportTest::cancelHidesTheOverlayOnceTheEngineConfirms()
{
    const QString source = dir.filePath("long.mp4");
    QVERIFY(TestVideos::make(source, 640, 360, 25, 750, false));
    loadVideo(source);
    const int filesBefore = QDir(dir.path()).entryList(QDir::Files).size();

    const int previewPasses = window->engine->effectPassCount();
    startExport();
    QTRY_VERIFY_WITH_TIMEOUT(bubbleText() != "0%", 30000);
    overlayButton("取消")->click();
    overlayButton("取消")->click();
    QVERIFY(window->exportFlow->loadingWidget()->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(window->exportFlow->loadingWidget()->isHidden(), 30000);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), filesBefore);
    QTRY_VERIFY_WITH_TIMEOUT(window->engine->effectPassCount() > previewPasses, 10000);
    QVERIFY(window->engine->isPaused());
}

void MainWindowExportTest::cancelWhileThePreviewStopsIsNotLost()
{
    const QString source = dir.filePath("quick.mp4");
    QVERIFY(TestVideos::make(source, 320, 240, 25, 50, false));
    loadVideo(source);
    const int filesBefore = QDir(dir.path()).entryList(QDir::Files).size();

    // Holding the window's job chain keeps the export's stop from finishing before "取消".
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    window->host->runJob([released] { released.wait(); });
    startExport();
    overlayButton("取消")->click();
    release.set_value();

    QTRY_VERIFY_WITH_TIMEOUT(window->exportFlow->loadingWidget()->isHidden(), 30000);
    QTest::qWait(2000);
    QVERIFY(window->exportFlow->loadingWidget()->isHidden());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), filesBefore);
    QVERIFY(window->engine->isPaused());
}

void MainWindowExportTest::failedExportShowsTheReasonAndNeverTheDonePanel()
{
    const QString source = dir.filePath("broken.mp4");
    QVERIFY(TestVideos::makeCorrupt(source));
    loadVideo(source, false);

    startExport();
    QTRY_VERIFY_WITH_TIMEOUT(!overlayButton("取消"), 30000);
    QVERIFY(!overlayButton("打开所在文件夹"));
    QPushButton* back = overlayButton("返回");
    QVERIFY(back);
    bool failureShown = false;
    for (QLabel* label : window->exportFlow->loadingWidget()->findChildren<QLabel*>())
        failureShown = failureShown || (label->isVisible() && label->text() == "视频导出失败");
    QVERIFY(failureShown);
    back->click();
    QVERIFY(window->exportFlow->loadingWidget()->isHidden());
}

// Answers the question the window asks when it is closed, once it is shown.
static void answerQuitQuestion(const QString& button, bool* asked)
{
    QTimer::singleShot(50, [button, asked] {
        auto* question = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!question)
            return answerQuitQuestion(button, asked);
        *asked = question->text() == "导出进行中，确定退出吗？";
        for (QAbstractButton* choice : question->buttons()) {
            if (choice->text() == button)
                choice->click();
        }
    });
}

void MainWindowExportTest::closingDuringAnExportEndsIt()
{
    const QString source = dir.filePath("closing.mp4");
    QVERIFY(TestVideos::make(source, 640, 360, 25, 750, false));
    loadVideo(source);
    startExport();
    QTRY_VERIFY_WITH_TIMEOUT(bubbleText() != "0%", 30000);
    // The window asks first: "取消" keeps it and the export running.
    bool asked = false;
    answerQuitQuestion("取消", &asked);
    QVERIFY(!window->close());
    QVERIFY(asked);
    QVERIFY(window->isVisible());
    const QString before = bubbleText();
    QTRY_VERIFY_WITH_TIMEOUT(bubbleText() != before, 30000);
    asked = false;
    answerQuitQuestion("退出", &asked);
    QVERIFY(window->close());
    QVERIFY(asked);
    // Ends well within the engine's exit limit, after which the process would end itself.
    window.reset();
    QVERIFY(QDir(dir.path()).entryList({"Lumetra_*_closing.mp4"}).isEmpty());
}

QTEST_MAIN(MainWindowExportTest)
#include "MainWindowExportTest.moc"
