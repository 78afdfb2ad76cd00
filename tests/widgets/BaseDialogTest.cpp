// Runs twice, at 144 DPI (factor 1.5) and at 120 DPI (factor 1.25); see CMakeLists.txt.
#include "widgets/FramelessHelper.h"
#include "widgets/QBaseUI.h"
#include "widgets/Toast.h"

#include <QApplication>
#include <QDesktopWidget>
#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QtTest>

namespace {

qreal firstScreenDpi()
{
    return QGuiApplication::screens().first()->logicalDotsPerInch();
}

QList<QFrame *> toastsOf(QWidget *parent)
{
    return parent->findChildren<QFrame *>(QString(), Qt::FindDirectChildrenOnly);
}

QFrame *topLevelToast(const QString &text)
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        auto *label = window->findChild<QLabel *>();
        if (qobject_cast<QFrame *>(window) && label && label->text() == text)
            return static_cast<QFrame *>(window);
    }
    return nullptr;
}

} // namespace

class BaseDialogTest : public QObject {
    Q_OBJECT
private slots:
    void fixedSizeDialogEndsAtDesignSizeTimesFactor();
    void dialogWithoutLimitsIsEnlargedTwice();
    void screenDpiChangeRescalesAndCentres();
    void toastIsCentredOpaqueAndGoneAfterItsFade();
    void toastWithoutParentIsCentredOnTheScreen();
};

void BaseDialogTest::fixedSizeDialogEndsAtDesignSizeTimesFactor()
{
    const qreal factor = firstScreenDpi() / 96;
    auto *dialog = new QBaseUI;
    dialog->setFixedSize(400, 300);
    FramelessHelper *helper = installFrameless(dialog, 50);
    QCOMPARE(dialog->scaleFactor(), factor);
    QCOMPARE(dialog->size(), QSize(400, 300) * factor);
    QCOMPARE(helper->titleBarHeight(), factor == 1.5 ? 75 : 62);
    delete dialog;
}

// Its form only resizes it: the scaling sets its geometry once, and the size limits
// (none) do not stop the second enlargement; the contents are scaled once.
void BaseDialogTest::dialogWithoutLimitsIsEnlargedTwice()
{
    const qreal factor = firstScreenDpi() / 96;
    auto *dialog = new QBaseUI;
    dialog->resize(400, 261);
    auto *notes = new QLabel(dialog);
    notes->setGeometry(20, 40, 200, 100);
    installFrameless(dialog, 40);
    if (factor == 1.25) {
        QCOMPARE(dialog->size(), QSize(625, 407));
        QCOMPARE(notes->geometry(), QRect(25, 50, 250, 125));
    } else {
        QCOMPARE(dialog->size(), QSize(900, 586));
        QCOMPARE(notes->geometry(), QRect(30, 60, 300, 150));
    }
    delete dialog;
}

void BaseDialogTest::screenDpiChangeRescalesAndCentres()
{
    QPointer<QBaseUI> dialog = new QBaseUI;
    dialog->setFixedSize(400, 300);
    auto *button = new QWidget(dialog);
    button->setGeometry(40, 20, 30, 30);
    installFrameless(dialog, 50);
    emit QGuiApplication::screens().first()->logicalDotsPerInchChanged(192);
    QCOMPARE(dialog->scaleFactor(), 2.0);
    QCOMPARE(dialog->size(), QSize(800, 600));
    // Scaled by new / old on top of the first, truncated scaling (37 -> 59 at 1.25).
    const qreal first = firstScreenDpi() / 96;
    const int side = int(int(30 * first) * (2.0 / first));
    QCOMPARE(button->geometry(), QRect(80, 40, side, side));
    const QWidget *desktop = QApplication::desktop();
    QCOMPARE(dialog->pos(), QPoint(desktop->width() / 2 - 400, desktop->height() / 2 - 300));
    delete dialog;
    // A deleted dialog no longer listens.
    emit QGuiApplication::screens().first()->logicalDotsPerInchChanged(96);
}

void BaseDialogTest::toastIsCentredOpaqueAndGoneAfterItsFade()
{
    QWidget window;
    window.resize(800, 600);
    window.show();
    showToast(&window, QStringLiteral("ID已复制到剪切板"));
    QList<QFrame *> toasts = toastsOf(&window);
    QCOMPARE(toasts.size(), 1);
    QPointer<QFrame> first = toasts.first();
    QVERIFY(first->isVisible());
    QCOMPARE(first->windowOpacity(), 1.0);
    QVERIFY(qAbs(first->geometry().center().x() - 400) <= 1);
    QVERIFY(qAbs(first->geometry().center().y() - 300) <= 1);
    auto *label = first->findChild<QLabel *>();
    QCOMPARE(label->size(), first->size());
    QVERIFY(label->styleSheet().contains("background:#E0000000;color:#ffffff;font:10.5pt;"));

    // A second toast does not wait for the first.
    showToast(&window, QStringLiteral("已绑定"));
    QCOMPARE(toastsOf(&window).size(), 2);
    QTRY_VERIFY_WITH_TIMEOUT(first.isNull(), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(toastsOf(&window).isEmpty(), 5000);
}

void BaseDialogTest::toastWithoutParentIsCentredOnTheScreen()
{
    const QString text = QStringLiteral("您的登录已失效");
    showToast(nullptr, text);
    QPointer<QFrame> toast = topLevelToast(text);
    QVERIFY(toast);
    QVERIFY(toast->isVisible());
    const QPoint screenCentre = QGuiApplication::primaryScreen()->geometry().center();
    QVERIFY(qAbs(toast->geometry().center().x() - screenCentre.x()) <= 1);
    QVERIFY(qAbs(toast->geometry().center().y() - screenCentre.y()) <= 1);
    QTRY_VERIFY_WITH_TIMEOUT(toast.isNull(), 5000);
}

QTEST_MAIN(BaseDialogTest)
#include "BaseDialogTest.moc"
