// The face-beauty library on a real face: every shape item moves its feature the right way
// and nothing outside the face, the outline items leave the background where it is, the skin
// items do what they promise through a soft weight that stays on skin, the landmark filter
// holds a still face and follows a moving one, and small or several faces are found.
#include "BeautyTestSupport.h"
#include "FaceGeometry.h"
#include "SkinRetoucher.h"
#include "engine/EffectParameters.h"
#include "face/FaceMeshIndices.h"
#include "face/FaceTracker.h"

#include <opencv2/imgproc.hpp>

#include <QtTest>

#include <cmath>
#include <functional>

using namespace beautytest;
using Points = std::vector<cv::Point2f>;

namespace {
float dist(const Points& p, int a, int b) { return float(cv::norm(p[a] - p[b])); }
cv::Point2f mid(const Points& p, int a, int b) { return (p[a] + p[b]) * 0.5f; }
template <size_t N>
cv::Point2f centre(const Points& p, const std::array<int, N>& group)
{
    cv::Point2f sum;
    for (int i : group)
        sum += p[i];
    return sum / float(N);
}
template <size_t N>
float area(const Points& p, const std::array<int, N>& group)
{
    std::vector<cv::Point2f> polygon;
    for (int i : group)
        polygon.push_back(p[i]);
    return float(cv::contourArea(polygon));
}

using namespace face::mesh;
// A measure of one feature, in pixels (or square pixels).
const std::map<QString, std::function<float(const Points&)>> kMeasures = {
    {"cheek width", [](const Points& p) { return dist(p, 58, 288); }},
    {"jaw width", [](const Points& p) { return dist(p, 172, 397); }},
    {"chin width", [](const Points& p) { return dist(p, 149, 378) + dist(p, 176, 400) + dist(p, 148, 377); }},
    {"cheekbone width", [](const Points& p) { return dist(p, 234, 454); }},
    {"face area", [](const Points& p) { return area(p, kFaceOval); }},
    {"eye area", [](const Points& p) { return area(p, kRightEye) + area(p, kLeftEye); }},
    {"nose width", [](const Points& p) { return dist(p, kRightAla, kLeftAla); }},
    {"nose length", [](const Points& p) { return dist(p, kNoseBridgeTop, kNoseTip); }},
    {"chin length", [](const Points& p) { return dist(p, kNoseTip, kChin); }},
    {"mouth width", [](const Points& p) { return dist(p, kMouthRight, kMouthLeft); }},
    {"corner height", [](const Points& p) { return p[13].y + p[14].y - p[kMouthRight].y - p[kMouthLeft].y; }},
    {"philtrum", [](const Points& p) { return dist(p, kNoseBase, kUpperLipTop); }},
    {"eye distance", [](const Points& p) { return float(cv::norm(centre(p, kRightEye) - centre(p, kLeftEye))); }},
    {"eye height", [](const Points& p) { return float(cv::norm(mid(p, kMouthRight, kMouthLeft) - (centre(p, kRightEye) + centre(p, kLeftEye)) * 0.5f)); }},
};

int itemIndex(const QString& name)
{
    for (int i = 0; i < EffectParameters::itemCount; ++i)
        if (name == EffectParameters::itemName(i))
            return i;
    return -1;
}

std::vector<Points> facesIn(const cv::Mat& picture, bool filtered = true)
{
    face::FaceTracker tracker;
    std::string error;
    if (!tracker.load(modelsDir(), error))
        return {};
    tracker.update(picture);
    std::vector<Points> faces;
    for (const auto& f : tracker.update(picture))
        faces.push_back(filtered ? f.points : f.raw);
    return faces;
}

// Mean of |Laplacian| of the grey picture in a disc: how much fine detail is there.
double detail(const cv::Mat& bgr, cv::Point2f c, float radius)
{
    cv::Mat grey, lap, mask(bgr.size(), CV_8U, cv::Scalar(0));
    cv::cvtColor(bgr, grey, cv::COLOR_BGR2GRAY);
    cv::Laplacian(grey, lap, CV_32F);
    cv::circle(mask, c, int(radius), cv::Scalar(255), cv::FILLED);
    return cv::mean(cv::abs(lap), mask)[0];
}

// Mean gradient magnitude along a loop of landmarks.
template <size_t N>
double edgeStrength(const cv::Mat& bgr, const Points& p, const std::array<int, N>& loop)
{
    cv::Mat grey, gx, gy, magnitude;
    cv::cvtColor(bgr, grey, cv::COLOR_BGR2GRAY);
    cv::Sobel(grey, gx, CV_32F, 1, 0);
    cv::Sobel(grey, gy, CV_32F, 0, 1);
    cv::magnitude(gx, gy, magnitude);
    cv::Mat mask(bgr.size(), CV_8U, cv::Scalar(0));
    std::vector<cv::Point> polygon;
    for (int i : loop)
        polygon.emplace_back(p[i]);
    cv::polylines(mask, std::vector<std::vector<cv::Point>>{polygon}, true, cv::Scalar(255), 3);
    return cv::mean(magnitude, mask)[0];
}

cv::Mat landscape()
{
    cv::Mat picture(360, 640, CV_8UC3);
    for (int y = 0; y < picture.rows; ++y)
        picture.row(y).setTo(y < 200 ? cv::Scalar(230 - y / 2, 180 - y / 3, 120) : cv::Scalar(40, 110 + (y % 7), 60));
    cv::RNG rng(7);
    cv::Mat noise(picture.size(), CV_8UC3);
    rng.fill(noise, cv::RNG::UNIFORM, 0, 12);
    picture += noise;
    cv::circle(picture, cv::Point(500, 80), 40, cv::Scalar(200, 240, 255), cv::FILLED);
    return picture;
}

cv::Mat filledOval(cv::Size size, const Points& p, int grow)
{
    std::vector<cv::Point> oval;
    for (int i : kFaceOval)
        oval.emplace_back(p[i]);
    cv::Mat region(size, CV_8U, cv::Scalar(0));
    cv::fillPoly(region, std::vector<std::vector<cv::Point>>{oval}, cv::Scalar(255));
    const int r = std::abs(grow);
    const cv::Mat round = cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(2 * r + 1, 2 * r + 1));
    if (grow > 0)
        cv::dilate(region, region, round);
    else if (grow < 0)
        cv::erode(region, region, round);
    return region;
}

// Hand-marked on astronaut.png: hair above the forehead, the orange suit, the backdrop.
const std::vector<cv::Point> kAstronautHair = {{165, 95}, {170, 60}, {190, 32}, {230, 20}, {270, 28}, {290, 55},
                                               {292, 95}, {280, 86}, {272, 68}, {230, 64}, {190, 68}, {175, 92}};
const cv::Rect kAstronautSuit(60, 330, 60, 80), kAstronautBackdrop(110, 25, 35, 50);

cv::Mat withNoise(const cv::Mat& picture, int seed, double sigma)
{
    cv::Mat noise(picture.size(), CV_16SC3), out;
    cv::RNG rng(seed);
    rng.fill(noise, cv::RNG::NORMAL, 0, sigma);
    picture.convertTo(out, CV_16SC3);
    out += noise;
    out.convertTo(out, CV_8UC3);
    return out;
}
} // namespace

class FacesTest : public QObject {
    Q_OBJECT
    int handle = -1;
    cv::Mat astronaut, neutralOut;
    Points neutralPoints;

    cv::Mat renderWith(const QString& item, float level, const cv::Mat& picture)
    {
        setNeutral(handle);
        zr_fb_native_setBeautyLevel(handle, itemIndex(item), level);
        zr_fb_native_resetCache(handle);
        return fromNv12(render(handle, picture));
    }

private slots:
    void initTestCase()
    {
        astronaut = testPicture("astronaut.png");
        QVERIFY2(!astronaut.empty(), "astronaut.png missing: run scripts/setup");
        handle = zr_fb_native_init(modelsDir().c_str(), 4);
        QVERIFY(handle >= 0);
        setNeutral(handle);
        const cv::Mat neutralNv12 = render(handle, astronaut);
        QVERIFY(maxDifference(neutralNv12, toNv12(astronaut)) <= 1);  // a face changes nothing at neutral
        neutralOut = fromNv12(neutralNv12);
        const auto faces = facesIn(neutralOut);
        QCOMPARE(int(faces.size()), 1);
        neutralPoints = faces[0];
    }
    void cleanupTestCase() { zr_fb_native_uninit(handle); }

    void shapeItemMovesItsFeatureAndNothingOutside_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<float>("level");
        QTest::addColumn<QString>("measure");
        QTest::addColumn<int>("direction");
        QTest::addColumn<float>("least");  // smallest relative change that counts as clear
        QTest::newRow("SMALL_FACE") << "SMALL_FACE" << 1.f << "cheek width" << -1 << 0.02f;
        QTest::newRow("NARROW_FACE") << "NARROW_FACE" << 1.f << "cheekbone width" << -1 << 0.02f;
        QTest::newRow("SMALL_CHEEKBONES") << "SMALL_CHEEKBONES" << 1.f << "cheekbone width" << -1 << 0.02f;
        QTest::newRow("SMALL_MANDIBLE") << "SMALL_MANDIBLE" << 1.f << "jaw width" << -1 << 0.02f;
        QTest::newRow("V_FACE") << "V_FACE" << 1.f << "jaw width" << -1 << 0.02f;
        // The landmark model sees only part of a narrower chin, which shows clearly on screen.
        QTest::newRow("SMALL_CHIN") << "SMALL_CHIN" << 1.f << "chin width" << -1 << 0.01f;
        QTest::newRow("LITTLE_FACE") << "LITTLE_FACE" << 1.f << "face area" << -1 << 0.02f;
        QTest::newRow("BIG_EYE") << "BIG_EYE" << 1.f << "eye area" << 1 << 0.02f;
        QTest::newRow("BIG_NOSE") << "BIG_NOSE" << 1.f << "nose width" << -1 << 0.02f;
        QTest::newRow("SMILE") << "SMILE" << 1.f << "corner height" << 1 << 0.02f;
        QTest::newRow("MOVE_CHIN up") << "MOVE_CHIN" << 1.f << "chin length" << 1 << 0.02f;
        QTest::newRow("MOVE_CHIN down") << "MOVE_CHIN" << 0.f << "chin length" << -1 << 0.02f;
        QTest::newRow("BIG_MOUTH up") << "BIG_MOUTH" << 1.f << "mouth width" << 1 << 0.02f;
        QTest::newRow("BIG_MOUTH down") << "BIG_MOUTH" << 0.f << "mouth width" << -1 << 0.02f;
        QTest::newRow("MOVE_MOUTH up") << "MOVE_MOUTH" << 1.f << "philtrum" << 1 << 0.02f;
        QTest::newRow("MOVE_MOUTH down") << "MOVE_MOUTH" << 0.f << "philtrum" << -1 << 0.02f;
        QTest::newRow("EYE_SPAN up") << "EYE_SPAN" << 1.f << "eye distance" << 1 << 0.02f;
        QTest::newRow("EYE_SPAN down") << "EYE_SPAN" << 0.f << "eye distance" << -1 << 0.02f;
        QTest::newRow("MOVE_EYE up") << "MOVE_EYE" << 1.f << "eye height" << 1 << 0.02f;
        QTest::newRow("MOVE_EYE down") << "MOVE_EYE" << 0.f << "eye height" << -1 << 0.02f;
        QTest::newRow("MOVE_NOSE up") << "MOVE_NOSE" << 1.f << "nose length" << 1 << 0.02f;
        QTest::newRow("MOVE_NOSE down") << "MOVE_NOSE" << 0.f << "nose length" << -1 << 0.02f;
    }
    void shapeItemMovesItsFeatureAndNothingOutside()
    {
        QFETCH(QString, item);
        QFETCH(float, level);
        QFETCH(QString, measure);
        QFETCH(int, direction);
        QFETCH(float, least);
        const cv::Mat out = renderWith(item, level, astronaut);
        const auto faces = facesIn(out);
        QCOMPARE(int(faces.size()), 1);
        const auto& m = kMeasures.at(measure);
        const float before = m(neutralPoints), after = m(faces[0]);
        const float change = (after - before) / std::abs(before);
        qInfo("%s at %.0f: %s %.2f -> %.2f (%+.1f %%)", qPrintable(item), double(level), qPrintable(measure),
              double(before), double(after), 100.0 * change);
        QVERIFY2(change * direction > least, "the feature did not move the right way by a clear margin");

        // Outside the face's hull and its margin (and a pixel of chroma sharing) nothing changes.
        std::vector<cv::Point2f> hull;
        cv::convexHull(neutralPoints, hull);
        std::vector<cv::Point> polygon(hull.begin(), hull.end());
        cv::Mat inside(out.size(), CV_8U, cv::Scalar(0));
        cv::fillPoly(inside, std::vector<std::vector<cv::Point>>{polygon}, cv::Scalar(255));
        const int reach = int(0.25f * dist(neutralPoints, kRightCheekbone, kLeftCheekbone)) + 4;
        cv::dilate(inside, inside, cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(2 * reach + 1, 2 * reach + 1)));
        cv::Mat changed;
        cv::absdiff(out, neutralOut, changed);
        cv::cvtColor(changed, changed, cv::COLOR_BGR2GRAY);
        changed.setTo(0, inside);
        QCOMPARE(cv::countNonZero(changed), 0);
    }

    void smoothingLowersCheekDetailButKeepsEdges()
    {
        const cv::Mat out = renderWith("SMOOTH_FACE", 1.f, astronaut);
        const float radius = 0.07f * dist(neutralPoints, kRightCheekbone, kLeftCheekbone);
        for (int cheek : {kRightCheek, kLeftCheek}) {
            const double before = detail(neutralOut, neutralPoints[cheek], radius);
            const double after = detail(out, neutralPoints[cheek], radius);
            qInfo("cheek %d detail %.2f -> %.2f", cheek, before, after);
            QVERIFY(after < 0.7 * before);
        }
        const double eyes = edgeStrength(out, neutralPoints, kRightEye) / edgeStrength(neutralOut, neutralPoints, kRightEye);
        const double lips = edgeStrength(out, neutralPoints, kLipsOuter) / edgeStrength(neutralOut, neutralPoints, kLipsOuter);
        qInfo("edges kept: eye %.2f, lips %.2f", eyes, lips);
        QVERIFY(eyes > 0.85 && lips > 0.85);
    }

    void whiteningLightensSkinWithoutAColourCast()
    {
        const cv::Mat out = renderWith("BRIGHT_WHITE", 1.f, astronaut);
        cv::Mat mask(out.size(), CV_8U, cv::Scalar(0));
        const float radius = 0.07f * dist(neutralPoints, kRightCheekbone, kLeftCheekbone);
        for (int at : {kRightCheek, kLeftCheek, 151})
            cv::circle(mask, neutralPoints[at], int(radius), cv::Scalar(255), cv::FILLED);
        auto lab = [&](const cv::Mat& bgr) {
            cv::Mat l;
            cv::cvtColor(bgr, l, cv::COLOR_BGR2Lab);
            return cv::mean(l, mask);
        };
        const cv::Scalar before = lab(neutralOut), after = lab(out);
        const double hueBefore = std::atan2(before[2] - 128, before[1] - 128) * 180 / CV_PI;
        const double hueAfter = std::atan2(after[2] - 128, after[1] - 128) * 180 / CV_PI;
        qInfo("skin lightness %.1f -> %.1f, hue %.1f -> %.1f degrees", before[0], after[0], hueBefore, hueAfter);
        QVERIFY(after[0] > before[0] + 8);
        QVERIFY(std::abs(hueAfter - hueBefore) < 3);
    }

    void skinDetailItemsLightenTheirRegion_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<int>("anchor");
        QTest::newRow("EYEDETAIL") << "EYEDETAIL" << int(kRightEyeBottom);
        QTest::newRow("NOSEDETAIL") << "NOSEDETAIL" << 206;  // beside the nose wing, on the fold
        QTest::newRow("BRIGHT_EYE") << "BRIGHT_EYE" << 468;  // the eye's middle
    }
    void skinDetailItemsLightenTheirRegion()
    {
        QFETCH(QString, item);
        QFETCH(int, anchor);
        const float eye = dist(neutralPoints, kRightEyeOuter, kRightEyeInner);
        cv::Point2f at = anchor < 468 ? neutralPoints[anchor] : centre(neutralPoints, kRightEye);
        if (item == "EYEDETAIL")
            at.y += 0.25f * eye;
        cv::Mat mask(astronaut.size(), CV_8U, cv::Scalar(0));
        cv::circle(mask, at, int(0.2f * eye), cv::Scalar(255), cv::FILLED);
        const cv::Mat out = renderWith(item, 1.f, astronaut);
        cv::Mat changed;
        cv::absdiff(out, neutralOut, changed);
        const double change = cv::mean(changed, mask)[1];
        qInfo("%s changes its region by %.1f levels", qPrintable(item), change);
        QVERIFY(change > 2);
        // Far from the face (the picture's corner) nothing changes.
        QCOMPARE(maxDifference(out(cv::Rect(0, 0, 60, 60)), neutralOut(cv::Rect(0, 0, 60, 60))), 0.0);
    }

    // The outline items draw the face in without bending what lies beside it: outside the
    // face's contour (and two pixels of its edge) every pixel keeps its value, even at 100.
    void outlineItemsLeaveTheBackgroundWhereItIs_data()
    {
        QTest::addColumn<QStringList>("items");
        QTest::newRow("V_FACE") << QStringList{"V_FACE"};
        QTest::newRow("NARROW_FACE") << QStringList{"NARROW_FACE"};
        QTest::newRow("SMALL_FACE") << QStringList{"SMALL_FACE"};
        QTest::newRow("all outline items") << QStringList{"V_FACE", "NARROW_FACE", "SMALL_FACE", "SMALL_CHEEKBONES",
                                                          "SMALL_MANDIBLE", "SMALL_CHIN", "LITTLE_FACE"};
    }
    void outlineItemsLeaveTheBackgroundWhereItIs()
    {
        QFETCH(QStringList, items);
        setNeutral(handle);
        for (const QString& item : items)
            zr_fb_native_setBeautyLevel(handle, itemIndex(item), 1.f);
        zr_fb_native_resetCache(handle);
        const cv::Mat out = fromNv12(render(handle, astronaut));
        cv::Mat changed;
        cv::absdiff(out, neutralOut, changed);
        cv::cvtColor(changed, changed, cv::COLOR_BGR2GRAY);
        const beauty::FaceGeometry geometry(neutralPoints);
        cv::Mat inside(out.size(), CV_8U, cv::Scalar(0));
        cv::fillPoly(inside, std::vector<std::vector<cv::Point>>{geometry.contour()}, cv::Scalar(255));
        cv::dilate(inside, inside, cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(5, 5)));
        const double inner = cv::mean(changed, inside)[0];
        changed.setTo(0, inside);
        double outside = 0;
        cv::minMaxLoc(changed, nullptr, &outside);
        qInfo("%s at 100: mean change inside the contour %.2f, largest outside %.0f levels",
              qPrintable(items.join('+')), inner, outside);
        QVERIFY(inner > 1.0);  // the face itself did change
        QVERIFY(outside <= 2);  // chroma shared over 2x2 in NV12
    }

    // The skin weight covers the face's skin up to its edges, rises softly (no step sharper
    // than over a tenth of the face width) and is nothing on hair, suit and backdrop.
    void skinWeightIsSoftAndStaysOnSkin()
    {
        const beauty::FaceGeometry geometry(neutralPoints);
        const float width = geometry.width();
        const cv::Mat weights = beauty::SkinRetoucher::skinMask(neutralOut, geometry, cv::Point());
        QCOMPARE(weights.size(), neutralOut.size());
        for (int at : {kRightCheek, kLeftCheek, kForeheadCentre})
            QVERIFY2(weights.at<float>(neutralPoints[at]) > 0.8f, "skin");
        cv::Mat hair(weights.size(), CV_8U, cv::Scalar(0));
        cv::fillPoly(hair, std::vector<std::vector<cv::Point>>{kAstronautHair}, cv::Scalar(255));
        // Light strands of hair share the skin's colour: the hair is judged on the whole.
        const double onHair = cv::mean(weights, hair)[0];
        double suitMost = 0, backdropMost = 0;
        cv::minMaxLoc(weights(kAstronautSuit), nullptr, &suitMost);
        cv::minMaxLoc(weights(kAstronautBackdrop), nullptr, &backdropMost);
        qInfo("skin weight: mean on hair %.3f, largest on suit %.3f and backdrop %.3f", onHair, suitMost, backdropMost);
        QVERIFY(onHair < 0.05 && suitMost == 0 && backdropMost == 0);

        // The steepest slope in a band around the face's outline, as the width over which the
        // weight would go from 0 to 1 at that slope.
        cv::Mat gx, gy, slope;
        cv::Sobel(weights, gx, CV_32F, 1, 0, 3, 1.0 / 8);
        cv::Sobel(weights, gy, CV_32F, 0, 1, 3, 1.0 / 8);
        cv::magnitude(gx, gy, slope);
        const int band = int(0.2f * width);
        cv::Mat boundary = filledOval(weights.size(), neutralPoints, band) - filledOval(weights.size(), neutralPoints, -band);
        // Eyes, brows and lips are the weight's own sharp holes, not the face's boundary.
        for (const auto& feature : {geometry.polygon(kRightEye), geometry.polygon(kLeftEye), geometry.polygon(kRightBrow),
                                    geometry.polygon(kLeftBrow), geometry.polygon(kLipsOuter)})
            cv::polylines(boundary, std::vector<std::vector<cv::Point>>{feature}, true, cv::Scalar(0), int(0.2f * width));
        double steepest = 0;
        cv::minMaxLoc(slope, nullptr, &steepest, nullptr, nullptr, boundary);
        qInfo("sharpest step of the skin weight across the face boundary: over %.3f face widths", 1.0 / steepest / width);
        QVERIFY(1.0 / steepest >= 0.1 * width);

        // Through the library: whitening at 100 changes the skin and leaves hair and suit.
        const cv::Mat out = renderWith("BRIGHT_WHITE", 1.f, astronaut);
        cv::Mat changed;
        cv::absdiff(out, neutralOut, changed);
        cv::cvtColor(changed, changed, cv::COLOR_BGR2GRAY);
        qInfo("whitening at 100: forehead +%.0f levels, hair %.2f, suit %.2f", double(changed.at<uchar>(neutralPoints[kForeheadCentre])),
              cv::mean(changed, hair)[0], cv::mean(changed(kAstronautSuit))[0]);
        QVERIFY(changed.at<uchar>(neutralPoints[kForeheadCentre]) > 8);
        QVERIFY(cv::mean(changed, hair)[0] < 0.5);
        QCOMPARE(cv::countNonZero(changed(kAstronautSuit) > 2), 0);
    }

    void withoutAFaceShapeItemsDoNothing()
    {
        const cv::Mat picture = landscape();
        setNeutral(handle);
        for (int i = 0; i < 22; ++i)
            if (i != 2 && i != 4 && i != 5 && i != 6 && i != 7 && i != 8)
                zr_fb_native_setBeautyLevel(handle, i, 1.f);
        zr_fb_native_resetCache(handle);
        QCOMPARE(maxDifference(fromNv12(render(handle, picture)), fromNv12(toNv12(picture))), 0.0);
    }

    void stillFaceHoldsMovingFaceFollows()
    {
        face::FaceTracker tracker;
        std::string error;
        QVERIFY(tracker.load(modelsDir(), error));
        // Still clip with sensor noise: frame-to-frame motion of the points.
        Points lastRaw, lastFiltered;
        double rawMotion = 0, filteredMotion = 0;
        int samples = 0;
        for (int i = 0; i < 40; ++i) {
            const auto& faces = tracker.update(withNoise(astronaut, i, 4.0));
            QCOMPARE(int(faces.size()), 1);
            if (i >= 5) {
                for (size_t k = 0; k < faces[0].raw.size(); ++k) {
                    rawMotion += std::pow(cv::norm(faces[0].raw[k] - lastRaw[k]), 2);
                    filteredMotion += std::pow(cv::norm(faces[0].points[k] - lastFiltered[k]), 2);
                }
                samples += int(faces[0].raw.size());
            }
            lastRaw = faces[0].raw;
            lastFiltered = faces[0].points;
        }
        rawMotion = std::sqrt(rawMotion / samples);
        filteredMotion = std::sqrt(filteredMotion / samples);
        qInfo("still clip: RMS point motion %.3f px unfiltered, %.3f px filtered", rawMotion, filteredMotion);
        QVERIFY(filteredMotion < 0.5);
        QVERIFY(filteredMotion < rawMotion / 2);

        // Moving clip: the picture slides by 2 px a frame; the lag is how far the filtered
        // points trail the unfiltered ones.
        tracker.reset();
        const cv::Mat canvas(600, 700, CV_8UC3, cv::Scalar(200, 200, 200));
        double lag = 0;
        int lagFrames = 0;
        for (int i = 0; i < 40; ++i) {
            cv::Mat frame = canvas.clone();
            astronaut.copyTo(frame(cv::Rect(20 + 2 * i, 40, astronaut.cols, astronaut.rows)));
            const auto& faces = tracker.update(withNoise(frame, 100 + i, 4.0));
            QCOMPARE(int(faces.size()), 1);
            if (i < 10)
                continue;
            cv::Point2f trail;
            for (size_t k = 0; k < faces[0].raw.size(); ++k)
                trail += faces[0].raw[k] - faces[0].points[k];
            lag += trail.x / faces[0].raw.size();
            ++lagFrames;
        }
        lag /= lagFrames;
        qInfo("moving clip at 2 px/frame: lag %.2f px (%.2f frames)", lag, lag / 2);
        QVERIFY(lag < 2.0);
    }

    void filterFollowsAMouthOpeningInAStillFace()
    {
        // A still face of 468 noisy points in which 40 points start moving at 1.5 px a frame.
        face::LandmarkFilter filter;
        cv::RNG rng(3);
        Points truth(468);
        for (int i = 0; i < 468; ++i)
            truth[i] = cv::Point2f(200 + 70 * std::cos(i * 0.1f), 200 + 90 * std::sin(i * 0.1f));
        double stillMotion = 0, lag = 0;
        int stillSamples = 0;
        Points last;
        for (int frame = 0; frame < 45; ++frame) {
            if (frame >= 35)
                for (int i = 0; i < 40; ++i)
                    truth[i].y += 1.5f;
            Points noisy = truth;
            for (auto& p : noisy)
                p += cv::Point2f(float(rng.gaussian(0.3)), float(rng.gaussian(0.3)));
            const Points filtered = filter.filter(noisy);
            if (frame >= 10 && frame < 35) {
                for (int i = 40; i < 468; ++i)
                    stillMotion += std::pow(cv::norm(filtered[i] - last[i]), 2);
                stillSamples += 428;
            }
            last = filtered;
        }
        for (int i = 0; i < 40; ++i)
            lag += (truth[i].y - last[i].y) / 40;
        stillMotion = std::sqrt(stillMotion / stillSamples);
        qInfo("moving points lag %.2f px after 10 frames at 1.5 px/frame; still points move %.3f px RMS", lag, stillMotion);
        QVERIFY(lag < 1.5);
        QVERIFY(stillMotion < 0.15);
    }

    void smallAndSeveralFacesAreFound()
    {
        // Three small copies in a preview-sized frame: each face about 45 px, under a tenth
        // of the frame height.
        cv::Mat frame(510, 904, CV_8UC3, cv::Scalar(90, 100, 110)), small;
        cv::resize(astronaut, small, cv::Size(), 0.4, 0.4, cv::INTER_AREA);
        for (int x : {40, 360, 680})
            small.copyTo(frame(cv::Rect(x, 150 + x / 10, small.cols, small.rows)));
        // A real small face: 34 px in a 548x342 football picture.
        const cv::Mat messi = testPicture("messi5.jpg");
        QVERIFY2(!messi.empty(), "messi5.jpg missing: run scripts/setup");
        const auto found = facesIn(messi);
        QCOMPARE(int(found.size()), 1);
        const cv::Point2f nose = found[0][kNoseTip];
        QVERIFY(cv::Rect2f(222, 98, 34, 34).contains(nose));

        setNeutral(handle);
        zr_fb_native_setBeautyLevel(handle, 1, 1.f);
        zr_fb_native_resetCache(handle);
        cv::Mat work = frame.clone();
        BeautyFrame f = frameFor(work);
        QCOMPARE(zr_fb_native_process(handle, &f), 3);
        // Forgetting the cache drops the frame between the two calls and the faces.
        zr_fb_native_resetCache(handle);
        cv::Mat nv12(frame.rows * 3 / 2, frame.cols, CV_8U);
        f.data = nv12.data;
        QCOMPARE(zr_fb_native_process2(handle, &f, nullptr), -1);
    }
};

QTEST_GUILESS_MAIN(FacesTest)
#include "FacesTest.moc"
