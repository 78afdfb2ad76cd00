// The face-beauty library without faces: identity, its interface's refusals, the background
// modes and keying, and the background exchange between threads.
#include "BeautyTestSupport.h"
#include "ChromaKeyer.h"
#include "PictureFilters.h"

#include <opencv2/imgproc.hpp>

#include <QtTest>

#include <atomic>
#include <thread>

using namespace beautytest;

namespace {
cv::Mat noisyPicture(cv::Size size, int seed)
{
    cv::Mat picture(size, CV_8UC3);
    cv::RNG rng(seed);
    rng.fill(picture, cv::RNG::UNIFORM, 0, 256);
    cv::GaussianBlur(picture, picture, cv::Size(), 1.5);
    return picture;
}

// A keying clip frame with a known alpha: a textured skin-coloured disc and a grey bar, drawn
// at 4x and area-averaged, so their edges are true partial coverage; the screen has a
// lighting gradient and sensor noise.
struct KeyFrame {
    cv::Mat bgr;
    cv::Mat alpha;  // CV_32F
};

KeyFrame keyFrame(cv::Scalar screen, int index)
{
    const cv::Size size(240, 180);
    cv::Mat cover(size * 4, CV_8U, cv::Scalar(0));
    cv::circle(cover, cv::Point(400 + 12 * index, 340), 210, cv::Scalar(255), cv::FILLED);
    cv::rectangle(cover, cv::Rect(120, 80, 60, 500), cv::Scalar(255), cv::FILLED);
    KeyFrame k;
    cv::resize(cover, k.alpha, size, 0, 0, cv::INTER_AREA);
    k.alpha.convertTo(k.alpha, CV_32F, 1.0 / 255);
    cv::Mat fg(size, CV_32FC3, cv::Scalar(120, 150, 200)), bg(size, CV_32FC3), noise(size, CV_32FC3);
    cv::RNG rng(index);
    rng.fill(noise, cv::RNG::NORMAL, 0, 10);
    fg += noise;
    fg(cv::Rect(0, 0, 60, size.height)).setTo(cv::Scalar(190, 190, 190));
    for (int y = 0; y < size.height; ++y)
        bg.row(y).setTo(screen * (0.8 + 0.3 * y / size.height));
    rng.fill(noise, cv::RNG::NORMAL, 0, 4);
    bg += noise;
    cv::Mat a3;
    cv::merge(std::vector<cv::Mat>(3, k.alpha), a3);
    cv::Mat mixed = fg.mul(a3) + bg.mul(cv::Scalar::all(1.0) - a3);
    mixed.convertTo(k.bgr, CV_8UC3);
    return k;
}

// Mean of how far the screen channel stands above the others, over the pixels of the band.
double fringe(const cv::Mat& bgr, const cv::Mat& band, int channel)
{
    double sum = 0;
    int count = 0;
    for (int y = 0; y < bgr.rows; ++y)
        for (int x = 0; x < bgr.cols; ++x)
            if (band.at<uchar>(y, x)) {
                const cv::Vec3b p = bgr.at<cv::Vec3b>(y, x);
                sum += std::max(0, p[channel] - std::max(p[(channel + 1) % 3], p[(channel + 2) % 3]));
                ++count;
            }
    return count ? sum / count : 0;
}
} // namespace

class CompositionTest : public QObject {
    Q_OBJECT
    int handle = -1;

private slots:
    void init()
    {
        handle = zr_fb_native_init(modelsDir().c_str(), 4);
        QVERIFY(handle >= 0);
        setNeutral(handle);
    }
    void cleanup() { zr_fb_native_uninit(handle); }

    void neutralLevelsGiveTheNv12OfTheInput()
    {
        const cv::Mat picture = noisyPicture(cv::Size(320, 240), 1);
        QVERIFY(maxDifference(render(handle, picture), toNv12(picture)) <= 1);
        // Levels out of range or not numbers are clamped or ignored, never applied raw.
        zr_fb_native_setBeautyLevel(handle, 8, std::nanf(""));
        zr_fb_native_setAILight(handle, -3.f);
        QVERIFY(maxDifference(render(handle, picture), toNv12(picture)) <= 1);
    }

    void sharpenAndLightWorkWithoutFaces()
    {
        // The light is judged on a copy reduced by whole blocks: the rows below the last whole
        // block are lifted like those above them.
        const cv::Mat picture = noisyPicture(cv::Size(320, 244), 2) / 2;
        zr_fb_native_setAILight(handle, 1.f);
        const cv::Mat lit = fromNv12(render(handle, picture));
        QVERIFY(cv::mean(lit)[1] > cv::mean(picture)[1] + 5);
        const auto lift = [&](int first, int rows) {
            return cv::mean(lit.rowRange(first, first + rows))[1] - cv::mean(picture.rowRange(first, first + rows))[1];
        };
        QVERIFY(std::abs(lift(240, 4) - lift(232, 8)) < 2);
        setNeutral(handle);
        zr_fb_native_setBeautyLevel(handle, 8, 1.f);
        cv::Mat detail, sharpDetail;
        cv::Laplacian(picture, detail, CV_32F);
        cv::Laplacian(fromNv12(render(handle, picture)), sharpDetail, CV_32F);
        QVERIFY(cv::norm(sharpDetail) > 1.3 * cv::norm(detail));
    }

    void sharpeningIsTheBlurAndWeightedSumItStandsFor()
    {
        // Edges mirrored as the blur mirrors them, and stripe boundaries inside the frame.
        beauty::PictureFilters filters;
        for (const cv::Size size : {cv::Size(2, 2), cv::Size(3, 7), cv::Size(333, 181), cv::Size(1920, 1080)}) {
            cv::Mat picture(size, CV_8UC3), blurred, expected, out;
            cv::randu(picture, 0, 256);
            for (const float amount : {0.f, 0.3f, 0.6f, 1.f}) {
                cv::GaussianBlur(picture, blurred, cv::Size(3, 3), 0);
                cv::addWeighted(picture, 1.0 + amount, blurred, -amount, 0, expected);
                filters.sharpen(picture, out, amount);
                // Fixed point: the amount in 128ths, the sum rounded once.
                QVERIFY2(maxDifference(out, expected) <= 1.0, qPrintable(QString::number(maxDifference(out, expected))));
            }
        }
    }

    void mutualItemsAreTheSixCentredOnes()
    {
        for (int i = -1; i < 23; ++i)
            QCOMPARE(zr_fb_native_isMutualBeautyType(i), i == 11 || i == 12 || i == 14 || i == 15 || i == 16 || i == 17);
    }

    void unusableCallsAreRefused()
    {
        cv::Mat picture = noisyPicture(cv::Size(64, 48), 3);
        cv::Mat nv12(72, 64, CV_8U);
        BeautyFrame f = frameFor(picture);
        f.data = nv12.data;
        QCOMPARE(zr_fb_native_process2(handle, &f, nullptr), -1);  // nothing processed yet
        QCOMPARE(zr_fb_native_process(handle, nullptr), -1);
        QCOMPARE(zr_fb_native_process(handle + 100, &f), -1);
        for (auto spoil : {+[](BeautyFrame& b) { b.data = nullptr; }, +[](BeautyFrame& b) { b.width = 63; },
                           +[](BeautyFrame& b) { b.pixelFormat = 3; }, +[](BeautyFrame& b) { b.dataSize = 100; },
                           +[](BeautyFrame& b) { b.height = -2; }}) {
            BeautyFrame bad = frameFor(picture);
            spoil(bad);
            QCOMPARE(zr_fb_native_process(handle, &bad), -1);
        }
        BeautyFrame good = frameFor(picture);
        QVERIFY(zr_fb_native_process(handle, &good) >= 0);
        good.data = nullptr;  // output skipped: nothing written, no failure
        QCOMPARE(zr_fb_native_process2(handle, &good, nullptr), 0);
        good.width = 32;  // another size than the processed frame
        good.data = nv12.data;
        QCOMPARE(zr_fb_native_process2(handle, &good, nullptr), -1);
        // The smallest frame, with every item and the light at full, still goes through.
        for (int i = 0; i < 22; ++i)
            zr_fb_native_setBeautyLevel(handle, i, 1.f);
        zr_fb_native_setAILight(handle, 1.f);
        QCOMPARE(render(handle, noisyPicture(cv::Size(2, 2), 6)).total(), size_t(6));
        zr_fb_native_uninit(handle);
        QVERIFY(!zr_fb_native_isInited(handle));
        handle = zr_fb_native_init(modelsDir().c_str(), 4);
    }

    void pictureModeCoversTheFrameWithFeatheredEdges()
    {
        const cv::Mat picture = noisyPicture(cv::Size(64, 64), 4);
        cv::Mat mask(64, 64, CV_8U, cv::Scalar(0));
        QVERIFY(maxDifference(render(handle, picture, 0, mask), toNv12(picture)) <= 1);  // no picture yet
        cv::Mat background(50, 100, CV_8UC3, cv::Scalar(0, 0, 255));
        background.colRange(50, 100).setTo(cv::Scalar(255, 0, 0));
        zr_fb_native_setBgBuffer(handle, background.data, background.cols, background.rows);
        cv::Mat out = fromNv12(render(handle, picture, 0, mask));
        // Scaled to cover: height fills the frame, the width's middle is kept.
        QVERIFY(out.at<cv::Vec3b>(32, 8)[2] > 200 && out.at<cv::Vec3b>(32, 8)[0] < 50);
        QVERIFY(out.at<cv::Vec3b>(32, 56)[0] > 200 && out.at<cv::Vec3b>(32, 56)[2] < 50);
        // A hard-edged mask gives a soft edge: some pixels lie strictly between the two sides.
        const cv::Mat white(64, 64, CV_8UC3, cv::Scalar(255, 255, 255));
        mask.colRange(0, 32).setTo(255);
        out = fromNv12(render(handle, white, 0, mask));
        int between = 0;
        for (int x = 26; x < 38; ++x) {
            const int g = out.at<cv::Vec3b>(10, x)[1];
            between += g > 30 && g < 225;
        }
        QVERIFY2(between >= 2, "mask edge is not feathered");
        QVERIFY(out.at<cv::Vec3b>(10, 5)[1] > 245);
    }

    void blurModeBlursOnlyTheBackground()
    {
        // A red person on a green, striped background; the blur is worked on whole blocks of
        // 4 pixels, and the last 2 columns and rows lie beyond them.
        cv::Mat picture(122, 166, CV_8UC3, cv::Scalar(40, 160, 40));
        for (int x = 0; x < 166; x += 4)
            picture.colRange(x, x + 2).setTo(cv::Scalar(80, 200, 80));
        const cv::Rect person(60, 30, 40, 90);
        picture(person).setTo(cv::Scalar(30, 30, 230));
        cv::Mat mask(picture.size(), CV_8U, cv::Scalar(0));
        mask(person).setTo(255);
        const cv::Mat out = fromNv12(render(handle, picture, 3, mask));
        const cv::Mat inNv12 = fromNv12(toNv12(picture));
        // The person's inside is kept.
        QVERIFY(maxDifference(out(cv::Rect(66, 40, 28, 70)), inNv12(cv::Rect(66, 40, 28, 70))) <= 2);
        // The stripes are blurred away.
        const cv::Scalar blurred = cv::mean(out(cv::Rect(5, 40, 40, 60)));
        for (const cv::Rect& r : {cv::Rect(5, 40, 40, 60), cv::Rect(162, 0, 4, 60), cv::Rect(0, 118, 40, 4)}) {
            cv::Scalar mean, stripes;
            cv::meanStdDev(out(r), mean, stripes);
            QVERIFY(stripes[1] < 6);
            QVERIFY(std::abs(mean[1] - blurred[1]) < 6);
        }
        // No red halo of the person in the background just beside it.
        const cv::Mat beside = out(cv::Rect(44, 40, 12, 60));
        double red = 0;
        std::vector<cv::Mat> channels;
        cv::split(beside, channels);
        cv::minMaxLoc(channels[2], nullptr, &red);
        QVERIFY2(red < 70, qPrintable(QString("red in the background beside the person: %1").arg(red)));
    }

    void keyingMatchesTheKnownAlpha_data()
    {
        QTest::addColumn<int>("screen");
        QTest::newRow("green") << int(beauty::ChromaKeyer::Green);
        QTest::newRow("blue") << int(beauty::ChromaKeyer::Blue);
    }
    void keyingMatchesTheKnownAlpha()
    {
        QFETCH(int, screen);
        const cv::Scalar colour = screen == beauty::ChromaKeyer::Green ? cv::Scalar(60, 190, 50) : cv::Scalar(200, 70, 30);
        const int channel = screen == beauty::ChromaKeyer::Green ? 1 : 0;
        const cv::Mat grey(180, 240, CV_8UC3, cv::Scalar(128, 128, 128));
        zr_fb_native_setBgBuffer(handle, grey.data, grey.cols, grey.rows);
        double meanError = 0, edgeError = 0, worstFringe = 0;
        const int frames = 5;
        for (int i = 0; i < frames; ++i) {
            const KeyFrame k = keyFrame(colour, i);
            beauty::ChromaKeyer keyer(beauty::ChromaKeyer::Screen(screen), 70, 20);
            cv::Mat error;
            cv::absdiff(keyer.alpha(k.bgr), k.alpha, error);
            meanError += cv::mean(error)[0] / frames;
            const cv::Mat edge = (k.alpha > 0.02) & (k.alpha < 0.98);
            edgeError += cv::mean(error, edge)[0] / frames;
            // Through the interface: the keyed frame over grey keeps no screen colour at the edges.
            cv::Mat band;
            cv::dilate(edge, band, cv::Mat(), cv::Point(-1, -1), 2);
            const cv::Mat out = fromNv12(render(handle, k.bgr, screen, cv::Mat(), 70, 20));
            worstFringe = std::max(worstFringe, fringe(out, band, channel));
        }
        qInfo("keying %s: mean alpha error %.4f, at edges %.3f, fringe %.2f levels", QTest::currentDataTag(),
              meanError, edgeError, worstFringe);
        QVERIFY(meanError < 0.02);
        QVERIFY(edgeError < 0.06);
        QVERIFY(worstFringe < 3.0);
    }

    void backgroundAndLevelsChangeWhileFramesAreComposed()
    {
        // Another thread replaces the background picture and moves the levels all the time.
        const cv::Mat picture = noisyPicture(cv::Size(96, 64), 5);
        const cv::Mat mask(64, 96, CV_8U, cv::Scalar(0));  // all background
        std::atomic<bool> stop{false};
        std::thread writer([&] {
            for (int i = 0; !stop; ++i) {
                const cv::Mat uniform(40 + (i % 3) * 20, 60 + (i % 2) * 30, CV_8UC3, cv::Scalar::all((i * 37) % 256));
                zr_fb_native_setBgBuffer(handle, uniform.data, uniform.cols, uniform.rows);
                zr_fb_native_setBeautyLevel(handle, 8, (i % 7) / 6.f);
                zr_fb_native_setAILight(handle, (i % 5) / 4.f);
            }
        });
        const cv::Mat first(2, 2, CV_8UC3, cv::Scalar::all(9));  // a picture before the first frame
        zr_fb_native_setBgBuffer(handle, first.data, first.cols, first.rows);
        int torn = 0;
        for (int n = 0; n < 300; ++n) {
            const cv::Mat nv12 = render(handle, picture, 0, mask);
            double low, high;
            cv::minMaxLoc(nv12.rowRange(0, 64), &low, &high);
            torn += high - low > 2;
        }
        stop = true;
        writer.join();
        QCOMPARE(torn, 0);
    }
};

QTEST_GUILESS_MAIN(CompositionTest)
#include "CompositionTest.moc"
