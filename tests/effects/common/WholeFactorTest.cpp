#include "common/WholeFactor.h"

#include <QtTest>

#include <opencv2/imgproc.hpp>

class WholeFactorTest : public QObject
{
    Q_OBJECT

private slots:
    void reductionGivesOpenCvsAreaAverage_data();
    void reductionGivesOpenCvsAreaAverage();
    void widenedRowsGiveTheEnlargement();
    void mixedRowsKeepTheirLevels();
};

void WholeFactorTest::reductionGivesOpenCvsAreaAverage_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("factor");
    QTest::newRow("colour, halved") << QSize(97, 61) << CV_8UC3 << 2;
    QTest::newRow("colour by 3, ragged edges") << QSize(100, 50) << CV_8UC3 << 3;
    QTest::newRow("colour by 8, 1080p") << QSize(1920, 1080) << CV_8UC3 << 8;
    QTest::newRow("grey by 5") << QSize(913, 517) << CV_8UC1 << 5;
    QTest::newRow("grey, one block") << QSize(16, 16) << CV_8UC1 << 16;
    QTest::newRow("colour by 40") << QSize(910, 512) << CV_8UC3 << 40;
    QTest::newRow("four channels by 4") << QSize(64, 33) << CV_8UC4 << 4;
    QTest::newRow("float by 4") << QSize(70, 45) << CV_32FC1 << 4;
}

// The same bytes as OpenCV's area averaging of the whole blocks, ties between two levels
// included (a picture of two levels only makes many of them).
void WholeFactorTest::reductionGivesOpenCvsAreaAverage()
{
    QFETCH(QSize, size);
    QFETCH(int, type);
    QFETCH(int, factor);
    cv::Mat noise(size.height(), size.width(), type), steps(size.height(), size.width(), type);
    cv::randu(noise, 0, 256);
    cv::randu(steps, 0, 2);
    steps *= 255;
    for (const cv::Mat& picture : {noise, steps}) {
        const cv::Rect covered = effects::wholeBlocks(picture.size(), factor);
        cv::Mat expected, reduced;
        cv::resize(picture(covered), expected, covered.size() / factor, 0, 0, cv::INTER_AREA);
        effects::reduceByWhole(picture, factor, reduced);
        QCOMPARE(reduced.type(), picture.type());
        QCOMPARE(reduced.size(), expected.size());
        QCOMPARE(cv::norm(reduced, expected, cv::NORM_INF), 0.0);
    }
    // Smaller than a block: nothing to average, and nothing read beyond the picture.
    cv::Mat tiny = noise(cv::Rect(0, 0, std::min(size.width(), factor - 1), 1)), none;
    effects::reduceByWhole(tiny, factor, none);
    QVERIFY(none.empty());
    // In place, the result would take the picture's buffer before it is read: refused.
    cv::Mat same = noise.clone();
    QVERIFY_EXCEPTION_THROWN(effects::reduceByWhole(same, factor, same), cv::Exception);
}

// Every row of the enlargement, from the first to the ones beyond the last whole block, from
// two widened rows.
void WholeFactorTest::widenedRowsGiveTheEnlargement()
{
    for (const int factor : {1, 2, 3, 8}) {
        cv::Mat small(5, 7, CV_32F), extended, large, rows;
        cv::randu(small, -1.f, 1.f);
        // OpenCV's own bilinear enlargement of the bordered picture.
        cv::copyMakeBorder(small, extended, 0, 1, 0, 1, cv::BORDER_REPLICATE);
        cv::resize(extended, large, extended.size() * factor, 0, 0, cv::INTER_LINEAR);
        effects::widenByWhole(small, factor, extended, rows);
        QCOMPARE(rows.cols, large.cols);
        for (int y = 0; y < large.rows; ++y) {
            const effects::EnlargedRow row = effects::enlargedRow(y, factor, rows.rows);
            cv::Mat expected = rows.row(row.above) * (1.f - row.weight) + rows.row(row.below) * row.weight;
            QVERIFY2(cv::norm(large.row(y), expected, cv::NORM_INF) < 1e-5,
                     qPrintable(QString("factor %1, row %2").arg(factor).arg(y)));
        }
    }
}

// The two rows' weighted mean within a level, for the full range of 8- and 16-bit values.
template <typename T>
void checkMixedRows(T top)
{
    const std::vector<T> above{0, top, top, 17, 0}, below{top, 0, top, 200, 0};
    std::vector<T> out(above.size());
    for (const float weight : {0.f, 0.25f, 0.5f, 0.9f, 1.f}) {
        effects::mixRows(above.data(), below.data(), weight, out.data(), int(out.size()));
        for (size_t i = 0; i < out.size(); ++i) {
            const double expected = above[i] * (1.0 - weight) + below[i] * weight;
            QVERIFY2(std::abs(out[i] - expected) <= 1.0, qPrintable(QString("%1 for %2").arg(out[i]).arg(expected)));
        }
    }
}

void WholeFactorTest::mixedRowsKeepTheirLevels()
{
    checkMixedRows<uint8_t>(255);
    checkMixedRows<uint16_t>(65535);
}

QTEST_GUILESS_MAIN(WholeFactorTest)
#include "WholeFactorTest.moc"
