// The two update dialogs on their own: texts, forced mode, progress and button reset.
// Runs at 144 DPI (factor 1.5), which QT_FONT_DPI sets under the offscreen platform.
#include "update/QUpdateWidget.h"
#include "update/UpdateInfo.h"
#include "update/versionupdateUI.h"

#include <QApplication>
#include <QDesktopWidget>
#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextEdit>
#include <QTimer>
#include <QtTest>

namespace {

UpdateInfo offer()
{
    UpdateInfo info;
    info.version = "3.0.4";
    info.versionInfo = "1. 更快\n2. <b>不是</b>富文本";
    return info;
}

template <typename T>
T* child(QWidget* dialog, const char* name)
{
    T* widget = dialog->findChild<T*>(name);
    Q_ASSERT(widget);
    return widget;
}

// Runs the application's own loop until something quits it; false after timeoutMs.
bool quitsWithin(int timeoutMs)
{
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    guard.start(timeoutMs);
    return QCoreApplication::exec() == 0;
}

} // namespace

class UpdateDialogsTest : public QObject {
    Q_OBJECT
private slots:
    void importantDialogNamesTheOfferedVersion();
    void importantDialogIsScaledOnceAndCentred();
    void notForcedEscapeAndCancelClose();
    void notForcedUpdateAsksAndCloses();
    void forcedUpdateDisablesItselfShowsProgressAndComesBack();
    void forcedSwallowsEscapeAndQuitsOnExit();
    void updateWidgetShowsNotesAndAsksOnce();
    void updateWidgetDisablesDuringADownload();
};

void UpdateDialogsTest::importantDialogNamesTheOfferedVersion()
{
    versionupdateUI dialog;
    dialog.setVersionInfo(offer());
    QCOMPARE(dialog.windowTitle(), QString("重要版本更新"));
    QVERIFY(dialog.testAttribute(Qt::WA_TranslucentBackground));
    QVERIFY(child<QLabel>(&dialog, "label_content")->text().contains("应用版本3.0.4，请您尽快完成更新"));
    QCOMPARE(child<QLabel>(&dialog, "label_title")->text(), QString("版本更新提示"));
    QCOMPARE(child<QPushButton>(&dialog, "pb_sure")->text(), QString("一键升级"));
    QCOMPARE(child<QPushButton>(&dialog, "pb_cancel")->text(), QString("暂不更新"));
}

// Its form fixes the design size, so the window is enlarged once, like its contents, and
// no transparent margin pushes the visible frame off the centre.
void UpdateDialogsTest::importantDialogIsScaledOnceAndCentred()
{
    versionupdateUI dialog;
    dialog.show();
    QCOMPARE(child<QFrame>(&dialog, "frame")->geometry(), QRect(0, 0, 600, 391));
    // The size limits are rounded, the geometry truncated: at most a pixel apart.
    QCOMPARE(dialog.width(), 600);
    QVERIFY(dialog.height() - 391 <= 1);
    const QRect desktop = QApplication::desktop()->geometry();
    QCOMPARE(dialog.pos(), QPoint(desktop.width() / 2 - 300, desktop.height() / 2 - dialog.height() / 2));
}

void UpdateDialogsTest::notForcedEscapeAndCancelClose()
{
    QPointer<versionupdateUI> byEscape = new versionupdateUI;
    byEscape->show();
    QTest::keyClick(byEscape, Qt::Key_Escape);
    QTRY_VERIFY(!byEscape);

    QPointer<versionupdateUI> byButton = new versionupdateUI;
    byButton->show();
    QTest::mouseClick(child<QPushButton>(byButton, "pb_cancel"), Qt::LeftButton);
    QTRY_VERIFY(!byButton);
}

void UpdateDialogsTest::notForcedUpdateAsksAndCloses()
{
    QPointer<versionupdateUI> dialog = new versionupdateUI;
    dialog->show();
    QSignalSpy asked(dialog.data(), &versionupdateUI::startDownloadPkg);
    QTest::mouseClick(child<QPushButton>(dialog, "pb_sure"), Qt::LeftButton);
    QCOMPARE(asked.count(), 1);
    QTRY_VERIFY(!dialog);
}

void UpdateDialogsTest::forcedUpdateDisablesItselfShowsProgressAndComesBack()
{
    versionupdateUI dialog;
    dialog.setForced(true);
    dialog.show();
    auto* sure = child<QPushButton>(&dialog, "pb_sure");
    QSignalSpy asked(&dialog, &versionupdateUI::startDownloadPkg);
    QTest::mouseClick(sure, Qt::LeftButton);
    QCOMPARE(asked.count(), 1);
    QVERIFY(!sure->isEnabled());
    QVERIFY(dialog.isVisible());
    dialog.showProgress(25, 100);
    QCOMPARE(sure->text(), QString("正在下载(25%)"));
    dialog.showProgress(3 * 1024 * 1024, -1);
    QCOMPARE(sure->text(), QString("正在下载(3.0MB)"));
    dialog.resetUpdateButton();
    QVERIFY(sure->isEnabled());
    QCOMPARE(sure->text(), QString("一键升级"));
}

void UpdateDialogsTest::forcedSwallowsEscapeAndQuitsOnExit()
{
    QPointer<versionupdateUI> dialog = new versionupdateUI;
    dialog->setForced(true);
    dialog->show();
    auto* cancel = child<QPushButton>(dialog, "pb_cancel");
    QCOMPARE(cancel->text(), QString("退出应用"));
    QTest::keyClick(dialog, Qt::Key_Escape);
    QCoreApplication::processEvents();
    QVERIFY(dialog && dialog->isVisible());
    QTimer::singleShot(0, cancel, [cancel] { QTest::mouseClick(cancel, Qt::LeftButton); });
    QVERIFY(quitsWithin(5000));
    QVERIFY(dialog && dialog->isVisible());
    delete dialog;
}

void UpdateDialogsTest::updateWidgetShowsNotesAndAsksOnce()
{
    QPointer<QUpdateWidget> dialog = new QUpdateWidget;
    dialog->setUpdateInfo(offer());
    dialog->show();
    QCOMPARE(dialog->windowTitle(), QString("更新"));
    QCOMPARE(child<QLabel>(dialog, "update_version")->text(), QString("有新版本3.0.4 可升级，更新内容如下："));
    auto* notes = child<QTextEdit>(dialog, "update_des");
    QCOMPARE(notes->toPlainText(), offer().versionInfo);
    QVERIFY(notes->isReadOnly());
    QCOMPARE(child<QPushButton>(dialog, "pb_update_close")->toolTip(), QString("关闭"));
    auto* sure = child<QPushButton>(dialog, "pb_update_sure");
    QCOMPARE(sure->text(), QString("确认更新"));
    QVERIFY(sure->isEnabled());
    QSignalSpy asked(dialog.data(), &QUpdateWidget::startDownloadPkg);
    QTest::mouseClick(sure, Qt::LeftButton);
    QCOMPARE(asked.count(), 1);
    QTRY_VERIFY(!dialog);
}

void UpdateDialogsTest::updateWidgetDisablesDuringADownload()
{
    QUpdateWidget dialog;
    UpdateInfo info = offer();
    info.isDownloading = true;
    dialog.setUpdateInfo(info);
    QVERIFY(!child<QPushButton>(&dialog, "pb_update_sure")->isEnabled());

    QPointer<QUpdateWidget> closing = new QUpdateWidget;
    closing->show();
    QTest::mouseClick(child<QPushButton>(closing, "pb_update_close"), Qt::LeftButton);
    QTRY_VERIFY(!closing);
}

QTEST_MAIN(UpdateDialogsTest)
#include "UpdateDialogsTest.moc"
