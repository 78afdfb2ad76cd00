#include "widgets/DoubleSlider.h"
#include "widgets/Slider.h"
#include "widgets/SwitchButton.h"

#include <QtTest>

namespace {

const QColor accent(0, 190, 255);

Slider *knobOf(SwitchButton &button)
{
    return button.findChild<Slider *>();
}

// Pixels of the accent colour on the slider's middle row.
QVector<int> accentColumns(DoubleSlider &slider)
{
    const QImage image = slider.grab().toImage();
    QVector<int> columns;
    for (int x = 0; x < image.width(); ++x) {
        if (QColor(image.pixel(x, slider.height() / 2)) == accent)
            columns << x;
    }
    return columns;
}

} // namespace

class CustomControlsTest : public QObject {
    Q_OBJECT
private slots:
    void switchGeometrySizesKnobAndSlidesBetweenMargins();
    void switchIgnoresSecondClickWhileSliding();
    void switchSetOpenIgnoredWhenSameStateOrSliding();
    void switchPillTakesStateColourAtOnce();
    void doubleSliderHighlightsFromMiddleToHandleEdge();
};

void CustomControlsTest::switchGeometrySizesKnobAndSlidesBetweenMargins()
{
    QWidget parent;
    SwitchButton button(&parent);
    button.setGeometry(QRect(0, 0, 40, 20));
    Slider *knob = knobOf(button);
    QCOMPARE(button.size(), QSize(40, 20));
    QCOMPARE(knob->size(), QSize(16, 16));
    QCOMPARE(knob->diameter(), 16);
    QCOMPARE(knob->pos(), QPoint(2, 2));

    QSignalSpy changed(&button, &SwitchButton::onValueChanged);
    button.setOpen(true);
    QVERIFY(button.isChecked());
    QTRY_COMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toBool(), true);
    QCOMPARE(knob->geometry(), QRect(22, 2, 16, 16));

    button.setOpen(false);
    QTRY_COMPARE(changed.count(), 2);
    QCOMPARE(changed.at(1).at(0).toBool(), false);
    QCOMPARE(knob->geometry(), QRect(2, 2, 16, 16));
}

void CustomControlsTest::switchIgnoresSecondClickWhileSliding()
{
    SwitchButton button;
    button.setGeometry(QRect(0, 0, 40, 20));
    button.show();
    QSignalSpy changed(&button, &SwitchButton::onValueChanged);
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(10, 10));
    QVERIFY(button.isChecked());
    QTRY_COMPARE(changed.count(), 1);
    QTest::qWait(300);
    QCOMPARE(changed.count(), 1);
    QVERIFY(button.isChecked());

    // Once idle again, a click is taken.
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(10, 10));
    QTRY_COMPARE(changed.count(), 2);
    QVERIFY(!button.isChecked());
}

void CustomControlsTest::switchSetOpenIgnoredWhenSameStateOrSliding()
{
    SwitchButton button;
    button.setGeometry(QRect(0, 0, 40, 20));
    QSignalSpy changed(&button, &SwitchButton::onValueChanged);
    button.setOpen(false);
    button.setOpen(true);
    button.setOpen(false); // dropped: the knob is still sliding
    QTRY_COMPARE(changed.count(), 1);
    button.setOpen(true);
    QTest::qWait(300);
    QCOMPARE(changed.count(), 1);
    QVERIFY(button.isChecked());
    QCOMPARE(knobOf(button)->x(), 22);
}

void CustomControlsTest::switchPillTakesStateColourAtOnce()
{
    SwitchButton button;
    button.setGeometry(QRect(0, 0, 40, 20));
    // The middle of the pill, between the knob's two resting places, is never covered.
    QCOMPARE(QColor(button.grab().toImage().pixel(20, 1)), QColor(Qt::gray));
    button.setOpen(true);
    QCOMPARE(QColor(button.grab().toImage().pixel(20, 1)), accent);
}

void CustomControlsTest::doubleSliderHighlightsFromMiddleToHandleEdge()
{
    DoubleSlider slider;
    slider.setRange(0, 100);
    slider.resize(200, 20);

    slider.setValue(50);
    QVERIFY(accentColumns(slider).isEmpty());

    // At the maximum: from the middle (100) to the handle's left edge (200 - 16); the
    // square line cap reaches 2 pixels further at each end.
    slider.setValue(100);
    QVector<int> columns = accentColumns(slider);
    QVERIFY(!columns.isEmpty());
    QCOMPARE(columns.first(), 98);
    QCOMPARE(columns.last(), 185);

    // At the minimum: from the handle's right edge (16) to the middle.
    slider.setValue(0);
    columns = accentColumns(slider);
    QVERIFY(!columns.isEmpty());
    QCOMPARE(columns.first(), 14);
    QCOMPARE(columns.last(), 101);

    // Just off the middle the handle still covers the centre: nothing drawn.
    slider.setValue(52);
    QVERIFY(accentColumns(slider).isEmpty());
}

QTEST_MAIN(CustomControlsTest)
#include "CustomControlsTest.moc"
