// Frame display: contain and cover geometry, and what actually gets painted.
#include "display/OpenglDisplay.h"
#include "display/PixmapDisplay.h"

#include <QtTest>

class PixmapDisplayTest : public QObject
{
    Q_OBJECT
private slots:
    void drawRectangles_data();
    void drawRectangles();
    void containPaintsBarsAroundTheFrame();
    void coverFillsTheWidget();
    void nothingOrANullPixmapStaysBlack();
    void openglDisplayIsAPlainSurface();
};

void PixmapDisplayTest::drawRectangles_data()
{
    QTest::addColumn<QSize>("widget");
    QTest::addColumn<QSize>("pixmap");
    QTest::addColumn<bool>("fitInside");
    QTest::addColumn<QRect>("expected");
    QTest::newRow("720p in the preview") << QSize(910, 650) << QSize(1280, 720) << true << QRect(0, 69, 910, 511);
    QTest::newRow("720p cover 16:9") << QSize(160, 90) << QSize(1280, 720) << false << QRect(0, 0, 160, 90);
    QTest::newRow("720p cover square") << QSize(100, 100) << QSize(1280, 720) << false << QRect(-38, 0, 177, 100);
    QTest::newRow("portrait contain") << QSize(910, 650) << QSize(720, 1280) << true << QRect(272, 0, 365, 650);
    QTest::newRow("portrait cover") << QSize(910, 650) << QSize(720, 1280) << false << QRect(0, -483, 910, 1617);
}

void PixmapDisplayTest::drawRectangles()
{
    QFETCH(QSize, widget);
    QFETCH(QSize, pixmap);
    QFETCH(bool, fitInside);
    QFETCH(QRect, expected);
    QCOMPARE(PixmapDisplay::drawRect(widget, pixmap, fitInside), expected);
}

namespace {
QPixmap filled(int width, int height, Qt::GlobalColor color)
{
    QPixmap pixmap(width, height);
    pixmap.fill(color);
    return pixmap;
}
}

void PixmapDisplayTest::containPaintsBarsAroundTheFrame()
{
    PixmapDisplay display;
    display.resize(910, 650);
    QVERIFY(display.fitsInside());
    display.setPixmap(filled(1280, 720, Qt::red));
    const QImage shown = display.grab().toImage();
    QCOMPARE(shown.pixelColor(455, 30), QColor(Qt::black));
    QCOMPARE(shown.pixelColor(455, 325), QColor(Qt::red));
    QCOMPARE(shown.pixelColor(455, 620), QColor(Qt::black));
}

void PixmapDisplayTest::coverFillsTheWidget()
{
    PixmapDisplay display;
    display.setFit(false);
    display.resize(100, 100);
    display.setPixmap(filled(1280, 720, Qt::green));
    const QImage shown = display.grab().toImage();
    QCOMPARE(shown.pixelColor(0, 0), QColor(Qt::green));
    QCOMPARE(shown.pixelColor(99, 99), QColor(Qt::green));
}

void PixmapDisplayTest::nothingOrANullPixmapStaysBlack()
{
    PixmapDisplay display;
    display.resize(40, 30);
    QCOMPARE(display.grab().toImage().pixelColor(20, 15), QColor(Qt::black));
    display.setPixmap(QPixmap());
    QCOMPARE(display.grab().toImage().pixelColor(20, 15), QColor(Qt::black));
}

void PixmapDisplayTest::openglDisplayIsAPlainSurface()
{
    OpenglDisplay display;
    QCOMPARE(display.metaObject()->className(), "OpenglDisplay");
    QCOMPARE(display.metaObject()->methodCount(), display.metaObject()->superClass()->methodCount());
}

QTEST_MAIN(PixmapDisplayTest)
#include "PixmapDisplayTest.moc"
