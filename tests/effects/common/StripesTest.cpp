#include "common/Stripes.h"

#include <QtTest>

#include <opencv2/imgproc.hpp>

class StripesTest : public QObject
{
    Q_OBJECT

private slots:
    void filtersInStripesGiveTheWholeCall_data();
    void filtersInStripesGiveTheWholeCall();
};

void StripesTest::filtersInStripesGiveTheWholeCall_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("fewer rows than a stripe") << QSize(40, 7);
    QTest::newRow("rows no multiple of the stripes") << QSize(97, 131);
    QTest::newRow("1080p") << QSize(1920, 1080);
}

// Each stripe reads its neighbours' rows as the whole call does, at the picture's edges too.
void StripesTest::filtersInStripesGiveTheWholeCall()
{
    QFETCH(QSize, size);
    cv::Mat picture(size.height(), size.width(), CV_32FC4);
    cv::randu(picture, 0.f, 1.f);
    const auto box = [](const cv::Mat& in, cv::Mat& out) { cv::boxFilter(in, out, CV_32F, cv::Size(9, 9)); };
    cv::Mat whole, striped;
    box(picture, whole);
    effects::filterInStripes(picture, striped, picture.type(), box);
    QCOMPARE(cv::norm(whole, striped, cv::NORM_INF), 0.0);

    cv::Mat covered(size.height(), 1, CV_32S, cv::Scalar(0));
    effects::forEachStripe(size.height(), [&](const cv::Range& rows) { covered.rowRange(rows) += 1; });
    QCOMPARE(cv::countNonZero(covered != 1), 0);
}

QTEST_GUILESS_MAIN(StripesTest)
#include "StripesTest.moc"
