#include "platform/Desktop.h"
#include "widgets/FramelessHelper.h"
#include "widgets/NativeWindowHelper.h"

#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QWindow>
#include <QtTest>
#include <memory>

namespace {

const QRect windowRect(100, 100, 400, 300);
constexpr int titleBand = 50;

// A frameless window at windowRect with a 50-pixel title band holding a label and an
// excluded close button; margins 3 unless given.
struct Window {
    std::unique_ptr<QWidget> widget{new QWidget(nullptr, Qt::FramelessWindowHint)};
    FramelessHelper *helper = new FramelessHelper(widget.get());
    QLabel *title = new QLabel(QStringLiteral("标题"), widget.get());
    QPushButton *close = new QPushButton(widget.get());

    explicit Window(bool fixedSize, int margin = 3)
    {
        title->setGeometry(10, 10, 200, 30);
        close->setGeometry(360, 10, 30, 30);
        helper->setDraggableMargins(margin, margin, margin, margin);
        helper->setMaximizedMargins(3, 3, 3, 3);
        helper->setTitleBarHeight(titleBand);
        helper->addExcludeItem(close);
        widget->setGeometry(windowRect);
        if (fixedSize)
            widget->setFixedSize(windowRect.size());
        widget->show();
    }
    NativeWindowHelper *native() const { return widget->windowHandle()->findChild<NativeWindowHelper *>(); }
    WindowHit hit(int x, int y) const { return native()->hitTest(QPoint(x, y)); }
    QWindow *window() const { return widget->windowHandle(); }
};

void sendMouse(QWindow *window, QEvent::Type type, const QPoint &local, Qt::MouseButton button)
{
    const Qt::MouseButtons buttons = type == QEvent::MouseMove ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, local, window->mapToGlobal(local), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &event);
}

} // namespace

Q_DECLARE_METATYPE(WindowHit)

class TestFramelessHelper : public QObject {
    Q_OBJECT
private slots:
    void helperAppearsWithTheNativeWindow();
    void edgesAreThreePixelsWideAndOnlyWhenResizable();
    void zeroMarginsFallBackToSystemFrame();
    void titleBandLabelIsCaptionExcludedButtonIsNot();
    void walkStopsThirtyOneLevelsBelowWindow();
    void edgeShowsResizeCursorOnlyWhenResizable();
    void doubleClickOnTitleMaximisesUnlessFixed();
    void triggersAndStateSignals();
    void scaleFactorFollowsDpiAndScalesMarginsAndBand();
};

void TestFramelessHelper::helperAppearsWithTheNativeWindow()
{
    Window w(false);
    QVERIFY(w.native());
    QCOMPARE(w.native()->scaleFactor(), 1.0);
    // A helper made for a window that is already shown finds the native window at once.
    FramelessHelper late(w.widget.get());
    QCOMPARE(w.window()->findChildren<NativeWindowHelper *>().size(), 2);
}

// The window spans (100..499, 100..399), inclusive.
void TestFramelessHelper::edgesAreThreePixelsWideAndOnlyWhenResizable()
{
    Window resizable(false);
    Window fixed(true);
    const struct {
        int x, y;
        WindowHit hit;
    } points[] = {{102, 250, WindowHit::Left},   {103, 250, WindowHit::Client},     {497, 250, WindowHit::Right},
                  {496, 250, WindowHit::Client}, {300, 100, WindowHit::Top},        {300, 399, WindowHit::Bottom},
                  {300, 396, WindowHit::Client}, {101, 101, WindowHit::TopLeft},    {498, 101, WindowHit::TopRight},
                  {101, 398, WindowHit::BottomLeft}, {498, 398, WindowHit::BottomRight}};
    for (const auto &point : points) {
        QCOMPARE(resizable.hit(point.x, point.y), point.hit);
        // A fixed-size window has no edges; even the top edge in its title band is client.
        QCOMPARE(fixed.hit(point.x, point.y), WindowHit::Client);
    }
    QCOMPARE(fixed.hit(300, 130), WindowHit::Caption);
}

void TestFramelessHelper::zeroMarginsFallBackToSystemFrame()
{
    Window w(false, 0);
    const QSize frame = platform::systemFrameSize();
    QVERIFY(frame.width() >= 1 && frame.height() >= 1);
    QCOMPARE(w.hit(100 + frame.width() - 1, 250), WindowHit::Left);
    QCOMPARE(w.hit(100 + frame.width(), 250), WindowHit::Client);
    QCOMPARE(w.hit(300, 399 - frame.height() + 1), WindowHit::Bottom);
    QCOMPARE(w.hit(300, 399 - frame.height()), WindowHit::Client);
}

void TestFramelessHelper::titleBandLabelIsCaptionExcludedButtonIsNot()
{
    Window w(false);
    QCOMPARE(w.hit(150, 120), WindowHit::Caption);     // on the label
    QCOMPARE(w.hit(300, 145), WindowHit::Caption);     // bare window in the band
    QCOMPARE(w.hit(470, 125), WindowHit::Client);      // on the excluded button
    QCOMPARE(w.hit(300, 100 + titleBand), WindowHit::Client);
    // A child of an excluded item is excluded too.
    auto *icon = new QLabel(w.close);
    icon->setGeometry(5, 5, 20, 20);
    icon->show();
    QCOMPARE(w.hit(470, 125), WindowHit::Client);
    // A deleted excluded item leaves no stale entry behind.
    delete w.close;
    QCOMPARE(w.hit(470, 125), WindowHit::Caption);
}

void TestFramelessHelper::walkStopsThirtyOneLevelsBelowWindow()
{
    Window w(false);
    // A chain of nested widgets, each covering (300..340, 110..140) of the window.
    QWidget *parent = w.widget.get();
    QList<QWidget *> chain;
    for (int level = 1; level <= 33; ++level) {
        auto *child = new QWidget(parent);
        child->setGeometry(level == 1 ? QRect(200, 10, 40, 30) : QRect(0, 0, 40, 30));
        child->show();
        chain << child;
        parent = child;
    }
    const QPoint inside(310, 120);
    w.helper->addExcludeItem(chain.at(32)); // level 33: below the walk
    QCOMPARE(w.hit(inside.x(), inside.y()), WindowHit::Caption);
    w.helper->addExcludeItem(chain.at(30)); // level 31: the deepest one reached
    QCOMPARE(w.hit(inside.x(), inside.y()), WindowHit::Client);
}

void TestFramelessHelper::edgeShowsResizeCursorOnlyWhenResizable()
{
    Window resizable(false);
    sendMouse(resizable.window(), QEvent::MouseMove, QPoint(1, 150), Qt::NoButton);
    QCOMPARE(resizable.window()->cursor().shape(), Qt::SizeHorCursor);
    sendMouse(resizable.window(), QEvent::MouseMove, QPoint(398, 298), Qt::NoButton);
    QCOMPARE(resizable.window()->cursor().shape(), Qt::SizeFDiagCursor);
    resizable.close->setCursor(Qt::PointingHandCursor);
    sendMouse(resizable.window(), QEvent::MouseMove, QPoint(370, 20), Qt::NoButton);
    QCOMPARE(resizable.window()->cursor().shape(), Qt::PointingHandCursor);

    Window fixed(true);
    sendMouse(fixed.window(), QEvent::MouseMove, QPoint(1, 150), Qt::NoButton);
    QVERIFY(fixed.window()->cursor().shape() != Qt::SizeHorCursor);
}

void TestFramelessHelper::doubleClickOnTitleMaximisesUnlessFixed()
{
    Window fixed(true);
    sendMouse(fixed.window(), QEvent::MouseButtonDblClick, QPoint(150, 20), Qt::LeftButton);
    QTest::qWait(50);
    QVERIFY(!fixed.widget->isMaximized());

    Window resizable(false);
    sendMouse(resizable.window(), QEvent::MouseButtonDblClick, QPoint(370, 20), Qt::LeftButton);
    QTest::qWait(50);
    QVERIFY(!resizable.widget->isMaximized()); // on the excluded button
    sendMouse(resizable.window(), QEvent::MouseButtonDblClick, QPoint(150, 20), Qt::LeftButton);
    QTRY_VERIFY(resizable.widget->isMaximized());
    sendMouse(resizable.window(), QEvent::MouseButtonDblClick, QPoint(150, 20), Qt::LeftButton);
    QTRY_VERIFY(!resizable.widget->isMaximized());
}

void TestFramelessHelper::triggersAndStateSignals()
{
    Window w(false);
    QSignalSpy maximized(w.helper, &FramelessHelper::maximizedChanged);
    w.helper->triggerMaximizeButtonAction();
    QTRY_COMPARE(maximized.count(), 1);
    QCOMPARE(maximized.at(0).at(0).toBool(), true);
    w.helper->triggerMaximizeButtonAction();
    QTRY_COMPARE(maximized.count(), 2);
    QCOMPARE(maximized.at(1).at(0).toBool(), false);

    w.helper->triggerCloseButtonAction();
    QVERIFY(!w.widget->isVisible());
}

void TestFramelessHelper::scaleFactorFollowsDpiAndScalesMarginsAndBand()
{
    Window w(false);
    QSignalSpy scale(w.helper, &FramelessHelper::scaleFactorChanged);
    QScreen *screen = w.window()->screen();
    emit screen->logicalDotsPerInchChanged(144);
    QCOMPARE(scale.count(), 1);
    QCOMPARE(scale.at(0).at(0).toReal(), 2.0);
    // Margins 3 become 6, the 50-pixel band 100.
    QCOMPARE(w.hit(105, 250), WindowHit::Left);
    QCOMPARE(w.hit(106, 250), WindowHit::Client);
    QCOMPARE(w.hit(300, 190), WindowHit::Caption);
    emit screen->logicalDotsPerInchChanged(168);
    QCOMPARE(scale.count(), 1);
    emit screen->logicalDotsPerInchChanged(96);
    QCOMPARE(scale.count(), 2);
    QCOMPARE(scale.at(1).at(0).toReal(), 1.0);
}

QTEST_MAIN(TestFramelessHelper)
#include "tst_frameless_helper.moc"
