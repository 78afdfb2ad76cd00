// The main window with the real engine and generated clips: start-up state, playback
// controls, effect panels and the background list.
#include "OfflineAccount.h"
#include "TestVideos.h"

#include "app/AppSettings.h"
#include "engine/ProcessBeauty.h"
#include "mainwindow/BackgroundStore.h"
#include "mainwindow/FilePicker.h"
#include "mainwindow/BackgroundPanel.h"
#include "mainwindow/BeautyPanel.h"
#include "mainwindow/ControlBar.h"
#include "mainwindow/OpenVideoPanel.h"
#include "mainwindow/EngineHost.h"
#include "mainwindow/ExportFlow.h"
#include "mainwindow/MainWindow.h"
#include "mainwindow/itemvideoopenwidget.h"
#include "mainwindow/qitemwidget.h"
#include "platform/Platform.h"
#include "ui_MainWindow.h"

#include "widgets/SwitchButton.h"

#include <ZR_FaceBeautyLib.h>

#include <QListWidget>
#include <QScreen>
#include <QSlider>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class MainWindowTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void startsWithDefaultsWhenNothingIsStored();
    void unknownStoredPortraitTypeChecksNoButton();
    void playAndExportWithoutVideoDoNothing();
    void cancelledFirstDialogKeepsThePanelAndTile();
    void secondVideoWhilePlayingShowsItPaused();
    void previewClickAndPlayShareOneDebounce();
    void wheelOverASliderIsIgnored();
    void compareEndsOnReleaseAnywhere();
    void slidersReachTheEngine();
    void clearAndRestoreLevels();
    void switcherAndTabsRememberPages();
    void mattingTypeButtons();
    void switchAndRowGiveBackgroundTypes();
    void emptyFoldersGiveTwoRows();
    void uploadedVideoBecomesRowTwoAndDeleteFallsBackToRowZero();
    void storedChoiceIsSelectedAtStart();
    void dpiChangeRescalesAllButTheNoticeHeight();

private:
    void createWindow();
    void chooseFile(const QString& path);
    void loadVideo(const QString& path, const QString& expectedTotal);
    void pressLabel(QWidget* label);
    void setSwitch(bool open);
    QPushButton* button(const char* name) const;
    QString elapsedText() const;
    QString totalText() const;
    Ui::MainWindow* ui() const { return window->ui.get(); }

    QTemporaryDir dir;
    QString shortClip;
    QString longerClip;
    QString minuteClip;
    std::unique_ptr<MainWindow> window;
};

void MainWindowTest::initTestCase()
{
    QVERIFY(dir.isValid());
    keepAccountOffline();
    shortClip = dir.filePath("short.mp4");
    longerClip = dir.filePath("longer.mp4");
    minuteClip = dir.filePath("minute.mp4");
    QVERIFY(TestVideos::make(shortClip, 320, 240, 25, 75, false));
    QVERIFY(TestVideos::make(longerClip, 320, 240, 25, 125, false));
    QVERIFY(TestVideos::make(minuteClip, 64, 48, 10, 590, false));
}

void MainWindowTest::init()
{
    for (const QString& key : QStringList{"portrait_type", "portrait_switch", "portrait_item", "AI_LIGHT", "SMOOTH_FACE", "EYE_SPAN"})
        AppSettings::instance().remove(key);
    QDir(platform::dataDirectory() + "/资源").removeRecursively();
    QDir(BackgroundStore::builtInFolder()).removeRecursively();
}

void MainWindowTest::cleanup()
{
    window.reset();
    FilePicker::setChooser(nullptr);
}

void MainWindowTest::createWindow()
{
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    // The matting switch slides to its stored state and then applies the current row once.
    QTest::qWait(250);
}

void MainWindowTest::chooseFile(const QString& path)
{
    FilePicker::setChooser([path](QWidget*, const QString&, const QString&) { return path; });
}

void MainWindowTest::loadVideo(const QString& path, const QString& expectedTotal)
{
    chooseFile(path);
    button(window->openVideoPanel->isHidden() ? "reimportButton" : "importButton")->click();
    QTRY_COMPARE_WITH_TIMEOUT(totalText(), expectedTotal, 10000);
}

void MainWindowTest::pressLabel(QWidget* label)
{
    QTest::mousePress(label, Qt::LeftButton, Qt::NoModifier, QPoint(2, 2));
}

void MainWindowTest::setSwitch(bool open)
{
    if (ui()->switch_portrait->isChecked() == open)
        return;
    QSignalSpy changed(ui()->switch_portrait, &SwitchButton::onValueChanged);
    ui()->switch_portrait->setOpen(open);
    QVERIFY(changed.wait(2000));
}

QPushButton* MainWindowTest::button(const char* name) const
{
    return window->findChild<QPushButton*>(name);
}

QString MainWindowTest::elapsedText() const
{
    return window->controlBar->findChildren<QLabel*>().first()->text();
}

QString MainWindowTest::totalText() const
{
    return window->controlBar->findChildren<QLabel*>().last()->text();
}

void MainWindowTest::startsWithDefaultsWhenNothingIsStored()
{
    createWindow();
    const double rate = QGuiApplication::primaryScreen()->logicalDotsPerInch() / 96;
    QCOMPARE(window->scaleRate, rate);
    QCOMPARE(window->size(), QSize(int(1190 * rate), int(700 * rate)));
    QCOMPARE(window->controlBar->height(), int(64 * rate));
    QCOMPARE(ui()->label_display->size(),
             QSize(window->width() - int(230 * rate) - int(50 * rate), window->height() - int(50 * rate)));
    QVERIFY(ui()->pb_ai_portrait->isChecked());
    QVERIFY(!ui()->pb_greenscreen->isChecked() && !ui()->pb_bluescreen->isChecked());
    QVERIFY(ui()->frame_portrait_level->isHidden());
    QCOMPARE(window->engine->portraitType(), 0);
    QVERIFY(ui()->switch_portrait->isChecked());
    QCOMPARE(ui()->listWidget_portrait->currentRow(), 0);
    QVERIFY(ui()->listWidget_portrait->item(0)->isSelected());
    QCOMPARE(window->engine->backgroundType(), 2);
    QCOMPARE(ui()->stackedWidget_item->currentWidget(), ui()->page_beauty_lite);
    QVERIFY(ui()->label_lite_select->isVisible() && ui()->label_full_select->isHidden());

    QVERIFY(window->openVideoPanel->isVisible());
    QVERIFY(window->openVideoTile->isVisible());
    QVERIFY(window->controlBar->isHidden() && window->previewNotice->isHidden());
    QCOMPARE(totalText(), QString("00:00:00"));
    // The tile covers the sliders and the clear and restore buttons, not the tabs.
    const QPoint sliderCentre = ui()->slider_smooth->mapTo(ui()->frame_effect_item, ui()->slider_smooth->rect().center());
    QCOMPARE(ui()->frame_effect_item->childAt(sliderCentre), static_cast<QWidget*>(window->openVideoTile));
    const QPoint clearCentre = ui()->label_clear_effect->mapTo(ui()->frame_effect_item, ui()->label_clear_effect->rect().center());
    QCOMPARE(ui()->frame_effect_item->childAt(clearCentre), static_cast<QWidget*>(window->openVideoTile));
    const QPoint tabCentre = ui()->label_full->mapTo(ui()->frame_effect_item, ui()->label_full->rect().center());
    QCOMPARE(ui()->frame_effect_item->childAt(tabCentre), ui()->label_full);
    // With matching defaults the engine and the sliders agree.
    QCOMPARE(ui()->slider_smooth->value(), 60);
    QCOMPARE(ui()->slider_eye_span->value(), 50);
    QCOMPARE(ui()->label_eye_span_level->text(), QString("0"));
    QCOMPARE(ui()->slider_portrait->value(), 70);
}

void MainWindowTest::unknownStoredPortraitTypeChecksNoButton()
{
    AppSettings::instance().setValue("portrait_type", 5);
    createWindow();
    QVERIFY(!ui()->pb_ai_portrait->isChecked());
    QVERIFY(!ui()->pb_greenscreen->isChecked());
    QVERIFY(!ui()->pb_bluescreen->isChecked());

    cleanup();
    AppSettings::instance().setValue("portrait_type", 2);
    createWindow();
    QVERIFY(ui()->pb_bluescreen->isChecked() && !ui()->pb_ai_portrait->isChecked());
    QVERIFY(!ui()->frame_portrait_level->isHidden());
}

void MainWindowTest::playAndExportWithoutVideoDoNothing()
{
    createWindow();
    button("playButton")->click();
    button("exportButton")->click();
    QTest::qWait(300);
    QVERIFY(window->engine->isPaused());
    QVERIFY(!window->exportFlow->loadingWidget());
    QVERIFY(!window->findChild<QWidget*>("loadingWidget"));
    QVERIFY(!button("playButton")->property("playing").toBool());
}

void MainWindowTest::cancelledFirstDialogKeepsThePanelAndTile()
{
    createWindow();
    chooseFile(QString());
    button("importButton")->click();
    QVERIFY(window->openVideoPanel->isVisible());
    QVERIFY(window->openVideoTile->isVisible());
    QVERIFY(window->controlBar->isHidden());
    QVERIFY(window->currentVideoPath.empty());
}

void MainWindowTest::secondVideoWhilePlayingShowsItPaused()
{
    createWindow();
    loadVideo(shortClip, "00:00:03");
    QVERIFY(window->openVideoPanel->isHidden() && window->openVideoTile->isHidden());
    QVERIFY(window->controlBar->isVisible() && window->previewNotice->isVisible());
    QTRY_VERIFY(window->engine->isPaused());

    button("playButton")->click();
    QVERIFY(button("playButton")->property("playing").toBool());
    QVERIFY(!window->engine->isPaused());
    QTRY_COMPARE_WITH_TIMEOUT(elapsedText(), QString("00:00:01"), 5000);

    loadVideo(longerClip, "00:00:05");
    QVERIFY(!button("playButton")->property("playing").toBool());
    QVERIFY(window->engine->isPaused());
    QTest::qWait(1500);
    QVERIFY(window->engine->isPaused());
    QCOMPARE(window->currentVideoPath, longerClip.toStdString());

    loadVideo(minuteClip, "00:00:59");
}

void MainWindowTest::previewClickAndPlayShareOneDebounce()
{
    createWindow();
    loadVideo(shortClip, "00:00:03");
    const int barY = window->controlBar->y();

    pressLabel(ui()->label_display);
    button("playButton")->click();
    QVERIFY(window->engine->isPaused());
    QVERIFY(!button("playButton")->property("playing").toBool());
    // The overlays slide out: the bar leaves the window, the notice folds up.
    QTRY_COMPARE(window->controlBar->y(), barY + window->controlBar->height());
    QTRY_COMPARE(window->previewNotice->height(), 0);

    QTest::qWait(600);
    pressLabel(ui()->label_display);
    QTRY_COMPARE(window->controlBar->y(), barY);
    QTRY_COMPARE(window->previewNotice->height(), window->metrics.noticeHeight);

    QTest::qWait(1100);
    button("playButton")->click();
    QVERIFY(!window->engine->isPaused());
    // A preview click right after a play toggle is swallowed too.
    pressLabel(ui()->label_display);
    QTest::qWait(600);
    QCOMPARE(window->controlBar->y(), barY);
}

void MainWindowTest::wheelOverASliderIsIgnored()
{
    createWindow();
    for (QSlider* slider : QList<QSlider*>{ui()->slider_smooth, ui()->slider_eye_span, ui()->slider_portrait}) {
        const int before = slider->value();
        QWheelEvent wheel(QPointF(10, 10), QPointF(slider->mapToGlobal(QPoint(10, 10))), QPoint(), QPoint(0, 120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(slider, &wheel);
        QCOMPARE(slider->value(), before);
    }
}

void MainWindowTest::compareEndsOnReleaseAnywhere()
{
    createWindow();
    pressLabel(ui()->label_compare);
    QVERIFY(window->beautyPanel->comparePressed());
    QVERIFY(ui()->label_compare->styleSheet().contains("icon-compare_press"));

    QTest::mouseRelease(ui()->label_display, Qt::LeftButton, Qt::NoModifier, QPoint(100, 100));
    QVERIFY(!window->beautyPanel->comparePressed());
    QVERIFY(!ui()->label_compare->styleSheet().contains("icon-compare_press"));

    pressLabel(ui()->label_compare);
    QTest::mouseRelease(ui()->frame_title, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    QVERIFY(!window->beautyPanel->comparePressed());
}

void MainWindowTest::slidersReachTheEngine()
{
    createWindow();
    ui()->slider_eye_span->setValue(30);
    QCOMPARE(ui()->label_eye_span_level->text(), QString("-20"));
    QCOMPARE(window->engine->beautyLevel(15), 0.3f);
    QCOMPARE(AppSettings::instance().value("EYE_SPAN").toFloat(), 0.3f);

    ui()->slider_smooth->setValue(53);
    QCOMPARE(ui()->label_smooth_level->text(), QString("53"));
    QCOMPARE(window->engine->beautyLevel(4), 0.53f);
    ui()->slider_ailight->setValue(45);
    QCOMPARE(window->engine->aiLight(), 0.45f);
    ui()->slider_portrait->setValue(33);
    QCOMPARE(ui()->label_portrait_level->text(), QString("33"));
    QCOMPARE(window->engine->portraitLevel(), 33.0f);

    // A level that is not exact in binary comes back to the same slider value at the next start.
    cleanup();
    createWindow();
    QCOMPARE(ui()->slider_smooth->value(), 53);
    QCOMPARE(ui()->slider_eye_span->value(), 30);
    QCOMPARE(ui()->slider_ailight->value(), 45);
    QCOMPARE(ui()->slider_portrait->value(), 33);
    ui()->slider_portrait->setValue(70);
}

void MainWindowTest::clearAndRestoreLevels()
{
    createWindow();
    ui()->slider_eye_span->setValue(80);
    pressLabel(ui()->label_clear_effect);
    QCOMPARE(ui()->slider_smooth->value(), 0);
    QCOMPARE(ui()->slider_ailight->value(), 0);
    QCOMPARE(window->engine->aiLight(), 0.0f);
    QCOMPARE(ui()->slider_smile->value(), 0);
    for (int item = 0; item < 22; ++item) {
        const float expected = zr_fb_native_isMutualBeautyType(item) ? window->engine->defaultBeautyLevel(item) : 0.0f;
        QCOMPARE(window->engine->beautyLevel(item), expected);
    }
    if (zr_fb_native_isMutualBeautyType(15)) {
        QCOMPARE(ui()->slider_eye_span->value(), 50);
        QCOMPARE(ui()->label_eye_span_level->text(), QString("0"));
    }

    pressLabel(ui()->label_reset_level);
    QCOMPARE(ui()->slider_smooth->value(), 60);
    QCOMPARE(ui()->slider_ailight->value(), 60);
    QCOMPARE(ui()->slider_eye_span->value(), 50);
    for (int item = 0; item < 22; ++item)
        QCOMPARE(window->engine->beautyLevel(item), window->engine->defaultBeautyLevel(item));
    QCOMPARE(ui()->slider_portrait->value(), 70);
}

void MainWindowTest::switcherAndTabsRememberPages()
{
    createWindow();
    QStackedWidget* pages = ui()->stackedWidget_item;
    pressLabel(ui()->label_beauty);
    QCOMPARE(pages->currentWidget(), ui()->page_beauty_lite);

    pressLabel(ui()->label_full);
    QCOMPARE(pages->currentWidget(), ui()->page_beauty_plus);
    QVERIFY(ui()->label_full_select->isVisible() && ui()->label_lite_select->isHidden());

    pressLabel(ui()->label_portrait);
    QCOMPARE(pages->currentWidget(), ui()->page_portrait);
    QCOMPARE(ui()->label_lite->text(), QString("选择背景"));
    QCOMPARE(ui()->label_full->text(), QString("抠图设置"));
    QVERIFY(ui()->label_compare->isHidden());
    QVERIFY(ui()->label_upload_media->isVisible() && ui()->label_clear_effect->isHidden());

    pressLabel(ui()->label_full);
    QCOMPARE(pages->currentWidget(), ui()->page_portrait_setting);
    QVERIFY(ui()->frame_bottom_btn->isHidden());

    pressLabel(ui()->label_beauty);
    QCOMPARE(pages->currentWidget(), ui()->page_beauty_plus);
    QCOMPARE(ui()->label_lite->text(), QString("基础美颜"));
    QVERIFY(ui()->frame_bottom_btn->isVisible() && ui()->label_compare->isVisible());
    QVERIFY(ui()->label_clear_effect->isVisible() && ui()->label_upload_media->isHidden());

    pressLabel(ui()->label_portrait);
    QCOMPARE(pages->currentWidget(), ui()->page_portrait_setting);
    pressLabel(ui()->label_lite);
    QCOMPARE(pages->currentWidget(), ui()->page_portrait);
    QVERIFY(ui()->frame_bottom_btn->isVisible());
}

void MainWindowTest::mattingTypeButtons()
{
    createWindow();
    struct Case { QPushButton* button; int type; bool levelShown; };
    const QList<Case> cases = {{ui()->pb_greenscreen, 1, true}, {ui()->pb_bluescreen, 2, true},
                               {ui()->pb_ai_portrait, 0, false}, {ui()->pb_ai_portrait, 0, false}};
    for (const Case& each : cases) {
        each.button->click();
        QVERIFY(each.button->isChecked());
        int checked = 0;
        for (QPushButton* other : {ui()->pb_ai_portrait, ui()->pb_greenscreen, ui()->pb_bluescreen})
            checked += other->isChecked();
        QCOMPARE(checked, 1);
        QCOMPARE(window->engine->portraitType(), each.type);
        QCOMPARE(!ui()->frame_portrait_level->isHidden(), each.levelShown);
        QCOMPARE(AppSettings::instance().value("portrait_type").toInt(), each.type);
    }
}

void MainWindowTest::switchAndRowGiveBackgroundTypes()
{
    QDir().mkpath(BackgroundStore::builtInFolder());
    const QString picture = BackgroundStore::builtInFolder() + "/1.jpg";
    QImage(64, 36, QImage::Format_RGB32).save(picture);
    createWindow();
    QListWidget* list = ui()->listWidget_portrait;
    QCOMPARE(list->count(), 3);

    struct Case { int row; int typeOn; int typeOff; };
    for (const Case& each : {Case{0, 2, 0}, Case{1, 4, 5}, Case{2, 3, 1}}) {
        setSwitch(true);
        list->setCurrentRow(each.row);
        emit list->itemPressed(list->item(each.row));
        QCOMPARE(window->engine->backgroundType(), each.typeOn);
        setSwitch(false);
        QCOMPARE(window->engine->backgroundType(), each.typeOff);
        QCOMPARE(AppSettings::instance().value("portrait_switch").toBool(), false);
        emit list->itemPressed(list->item(each.row));
        QCOMPARE(window->engine->backgroundType(), each.typeOff);
    }
    QCOMPARE(AppSettings::instance().value("portrait_item").toString(), picture);
    setSwitch(true);
    QCOMPARE(window->engine->backgroundType(), 3);
    list->setCurrentRow(0);
    emit list->itemPressed(list->item(0));
    QVERIFY(!AppSettings::instance().contains("portrait_item"));
    list->setCurrentRow(1);
    emit list->itemPressed(list->item(1));
    QCOMPARE(AppSettings::instance().value("portrait_item").toString(), QString("virtualize"));
}

void MainWindowTest::emptyFoldersGiveTwoRows()
{
    createWindow();
    QCOMPARE(ui()->listWidget_portrait->count(), 2);
    QVERIFY(window->backgroundPanel->files().isEmpty());
    cleanup();

    QDir().mkpath(BackgroundStore::userFolder());
    QFile stale(BackgroundStore::userFolder() + "/3.jpg");
    QVERIFY(stale.open(QIODevice::WriteOnly));
    stale.close();
    createWindow();
    QCOMPARE(ui()->listWidget_portrait->count(), 2);
    QVERIFY(!stale.exists());
    for (int row = 0; row < 2; ++row) {
        auto* item = qobject_cast<qitemwidget*>(ui()->listWidget_portrait->itemWidget(ui()->listWidget_portrait->item(row)));
        QHoverEvent enter(QEvent::HoverEnter, QPointF(5, 5), QPointF(-1, -1));
        QCoreApplication::sendEvent(item, &enter);
        QVERIFY(!item->deleteButtonVisible());
    }
}

void MainWindowTest::uploadedVideoBecomesRowTwoAndDeleteFallsBackToRowZero()
{
    QDir().mkpath(BackgroundStore::builtInFolder());
    QImage(64, 36, QImage::Format_RGB32).save(BackgroundStore::builtInFolder() + "/1.jpg");
    const QString upload = dir.filePath("upload.MP4");
    QVERIFY(TestVideos::make(upload, 160, 120, 10, 5, false));
    createWindow();
    QListWidget* list = ui()->listWidget_portrait;
    QCOMPARE(list->count(), 3);

    chooseFile(QString());
    pressLabel(ui()->label_upload_media);
    QCOMPARE(list->count(), 3);
    QCOMPARE(list->currentRow(), 0);

    chooseFile(upload);
    pressLabel(ui()->label_upload_media);
    QTRY_COMPARE_WITH_TIMEOUT(list->count(), 4, 10000);
    QCOMPARE(list->currentRow(), 2);
    QVERIFY(list->item(2)->isSelected());
    QCOMPARE(window->backgroundPanel->files().size(), 2);
    const QFileInfo stored = window->backgroundPanel->files().first();
    QCOMPARE(stored.suffix(), QString("MP4"));
    bool numeric = false;
    stored.completeBaseName().toLong(&numeric);
    QVERIFY(numeric);
    QCOMPARE(stored.path(), BackgroundStore::userFolder());
    QVERIFY(QFile::exists(BackgroundStore::userThumbnailFolder() + "/" + stored.completeBaseName() + ".bmp"));
    auto* row2 = qobject_cast<qitemwidget*>(list->itemWidget(list->item(2)));
    QVERIFY(row2->findChild<QLabel*>("label_video")->styleSheet().contains("item_video_play"));
    QHoverEvent enter(QEvent::HoverEnter, QPointF(5, 5), QPointF(-1, -1));
    QCoreApplication::sendEvent(row2, &enter);
    QVERIFY(row2->deleteButtonVisible());
    QCOMPARE(window->engine->backgroundType(), 3);
    QCOMPARE(AppSettings::instance().value("portrait_item").toString(), stored.absoluteFilePath());
    // The row after the upload still maps to the built-in picture.
    emit list->itemPressed(list->item(3));
    QCOMPARE(AppSettings::instance().value("portrait_item").toString(), BackgroundStore::builtInFolder() + "/1.jpg");
    list->setCurrentRow(2);
    emit list->itemPressed(list->item(2));

    row2->findChild<QPushButton*>("pb_delete")->click();
    QCOMPARE(list->count(), 3);
    QCOMPARE(list->currentRow(), 0);
    QCOMPARE(window->engine->backgroundType(), 2);
    QVERIFY(!AppSettings::instance().contains("portrait_item"));
    QVERIFY(!stored.exists());
    QVERIFY(!QFile::exists(BackgroundStore::userThumbnailFolder() + "/" + stored.completeBaseName() + ".bmp"));
    QCOMPARE(window->backgroundPanel->files().size(), 1);
    QCOMPARE(window->backgroundPanel->files().first().fileName(), QString("1.jpg"));
    QTest::qWait(50);
}

void MainWindowTest::storedChoiceIsSelectedAtStart()
{
    QDir().mkpath(BackgroundStore::builtInFolder());
    const QString picture = BackgroundStore::builtInFolder() + "/2.jpg";
    QImage(64, 36, QImage::Format_RGB32).save(BackgroundStore::builtInFolder() + "/1.jpg");
    QImage(64, 36, QImage::Format_RGB32).save(picture);
    AppSettings::instance().setValue("portrait_item", picture);
    createWindow();
    QCOMPARE(ui()->listWidget_portrait->currentRow(), 3);
    QCOMPARE(window->engine->backgroundType(), 3);
    cleanup();

    AppSettings::instance().setValue("portrait_item", "virtualize");
    AppSettings::instance().setValue("portrait_switch", false);
    createWindow();
    QCOMPARE(ui()->listWidget_portrait->currentRow(), 1);
    QVERIFY(!ui()->switch_portrait->isChecked());
    QCOMPARE(window->engine->backgroundType(), 5);
}

void MainWindowTest::dpiChangeRescalesAllButTheNoticeHeight()
{
    QDir().mkpath(BackgroundStore::builtInFolder());
    QImage(64, 36, QImage::Format_RGB32).save(BackgroundStore::builtInFolder() + "/1.jpg");
    createWindow();
    const double startRate = window->scaleRate;
    const QSize startSize = window->size();
    const int startNotice = window->metrics.noticeHeight;
    const int startBar = window->metrics.controlBarHeight;
    const int startItemWidth = window->metrics.bgItemWidth;

    QVERIFY(QMetaObject::invokeMethod(window.get(), "updateWindowScale", Q_ARG(double, startRate * 96 * 1.5)));
    QCOMPARE(window->scaleRate, startRate * 1.5);
    QCOMPARE(window->metrics.controlBarHeight, int(startBar * 1.5));
    QCOMPARE(window->metrics.bgItemWidth, int(startItemWidth * 1.5));
    QCOMPARE(window->metrics.noticeHeight, startNotice);
    QCOMPARE(window->size(), QSize(int(startSize.width() * 1.5), int(startSize.height() * 1.5)));
    QListWidget* list = ui()->listWidget_portrait;
    for (int row = 0; row < list->count(); ++row)
        QCOMPARE(list->item(row)->sizeHint(), QSize(window->metrics.bgItemWidth, window->metrics.bgItemHeight));
    // The layout follows the new metrics at the next resize.
    QTRY_COMPARE(ui()->frame_effect_item->x(), window->width() - window->metrics.effectPanelWidth);
}

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
