#include "widgets/DoubleSlider.h"
#include "widgets/Slider.h"
#include "widgets/SwitchButton.h"
#include "widgets/WidgetScaling.h"

#include <QApplication>
#include <QDesktopWidget>
#include <QFrame>
#include <QLabel>
#include <QSlider>
#include <QWebEngineView>
#include <QtTest>

namespace {

// A 96-DPI form with one child of every kind the scaling tells apart.
struct Form {
    QWidget root;
    QSlider *slider = new QSlider(Qt::Horizontal, &root);
    DoubleSlider *doubleSlider = new DoubleSlider(&root);
    QWebEngineView *web = new QWebEngineView(&root);
    QWidget *webChild = new QWidget(web);
    SwitchButton *switchButton = new SwitchButton(&root);
    QFrame *frame = new QFrame(&root);
    QLabel *label = new QLabel(frame);

    Form()
    {
        root.setGeometry(20, 30, 400, 303);
        slider->setGeometry(10, 40, 200, 20);
        doubleSlider->setGeometry(10, 40, 200, 20);
        web->setGeometry(10, 40, 200, 100);
        web->setMinimumSize(200, 100);
        webChild->setGeometry(1, 1, 10, 10);
        switchButton->setGeometry(QRect(10, 100, 40, 20));
        frame->setGeometry(0, 200, 101, 51);
        frame->setMinimumSize(33, 21);
        frame->setMaximumSize(101, 51);
        label->setGeometry(3, 5, 30, 14);
    }
};

} // namespace

class WidgetScalingTest : public QObject {
    Q_OBJECT
private slots:
    void factorOneAndAHalf();
    void centerOnDesktopUsesIntegerHalves();
};

void WidgetScalingTest::factorOneAndAHalf()
{
    Form form;
    scaleWidget(&form.root, 1.5, true);
    QCOMPARE(form.root.geometry(), QRect(30, 45, 600, 454));
    // A plain slider grows in width only and moves down a quarter of its height.
    QCOMPARE(form.slider->geometry(), QRect(15, 65, 300, 20));
    // A subclass of QSlider is any other widget.
    QCOMPARE(form.doubleSlider->geometry(), QRect(15, 60, 300, 30));
    // The web view is only moved; its limits and children are left alone.
    QCOMPARE(form.web->geometry(), QRect(15, 85, 200, 100));
    QCOMPARE(form.web->minimumSize(), QSize(200, 100));
    QCOMPARE(form.webChild->geometry(), QRect(1, 1, 10, 10));
    // The switch's knob follows its new height.
    QCOMPARE(form.switchButton->geometry(), QRect(15, 150, 60, 30));
    QCOMPARE(form.switchButton->findChild<Slider *>()->diameter(), 26);
    // Other widgets scale with their children.
    QCOMPARE(form.frame->geometry(), QRect(0, 300, 151, 76));
    QCOMPARE(form.label->geometry(), QRect(4, 7, 45, 21));
    // Limits round (49.5 -> 50) while geometry truncates; the frame's old maximum of
    // 101 x 51 does not hold back its new size.
    QCOMPARE(form.frame->minimumSize(), QSize(50, 32));
    QCOMPARE(form.frame->maximumSize(), QSize(152, 77));

    // Without includeSelf only the children move.
    Form childrenOnly;
    scaleWidget(&childrenOnly.root, 1.5, false);
    QCOMPARE(childrenOnly.root.geometry(), QRect(20, 30, 400, 303));
    QCOMPARE(childrenOnly.slider->geometry(), QRect(15, 65, 300, 20));
}

void WidgetScalingTest::centerOnDesktopUsesIntegerHalves()
{
    QWidget widget;
    widget.resize(301, 201);
    centerOnDesktop(&widget);
    const QWidget *desktop = QApplication::desktop();
    QCOMPARE(widget.pos(), QPoint(desktop->width() / 2 - 150, desktop->height() / 2 - 100));
}

int main(int argc, char **argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    WidgetScalingTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "WidgetScalingTest.moc"
