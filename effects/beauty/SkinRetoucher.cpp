#include "SkinRetoucher.h"

#include "RowParallel.h"
#include "face/FaceMeshIndices.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace beauty {

using namespace face::mesh;

namespace {
using Polygon = std::vector<cv::Point>;

// from moved by k of the way towards to, as a byte: cv::saturate_cast<uchar> of the sum, rounded
// to nearest even as it rounds, but in operations the compiler vectorises (its own rounding is an
// instruction on one value): adding 1.5 * 2^23 rounds a float of this range to a whole number.
inline uchar movedTowards(float from, float to, float k)
{
    constexpr float kRound = 12582912.f;
    return uchar(std::clamp((from + k * (to - from) + kRound) - kRound, 0.f, 255.f));
}

Polygon shifted(Polygon polygon, cv::Point origin)
{
    for (auto& p : polygon)
        p -= origin;
    return polygon;
}

// A Gaussian blur whose cost does not grow with sigma: a wide one is worked at a reduced
// size, where it is narrow, and scaled back (a wide blur has no detail to lose by that).
cv::Mat wideBlur(const cv::Mat& picture, float sigma)
{
    constexpr float kNarrow = 3.f;
    cv::Mat out;
    if (sigma <= kNarrow) {
        cv::GaussianBlur(picture, out, cv::Size(), std::max(sigma, 0.5f));
        return out;
    }
    const double shrink = kNarrow / sigma;
    cv::resize(picture, out, cv::Size(), shrink, shrink, cv::INTER_AREA);
    cv::GaussianBlur(out, out, cv::Size(), kNarrow);
    cv::resize(out, out, picture.size(), 0, 0, cv::INTER_LINEAR);
    return out;
}

cv::Mat feathered(const cv::Mat& mask8, float sigma)
{
    cv::Mat weights;
    wideBlur(mask8, sigma).convertTo(weights, CV_32F, 1.0 / 255);
    return weights;
}

// Runs work on the part of the face's area around the given points (picture pixels), grown
// by pad: a feature's retouch need not touch the whole face.
template <typename Work>
void within(cv::Mat& area, cv::Point origin, const Polygon& points, float pad, Work work)
{
    const cv::Rect box = cv::boundingRect(points);
    const int p = int(std::ceil(pad));
    const cv::Rect part = (cv::Rect(box.x - p, box.y - p, box.width + 2 * p, box.height + 2 * p) - origin)
                          & cv::Rect(0, 0, area.cols, area.rows);
    if (part.width < 2 || part.height < 2)
        return;
    cv::Mat sub = area(part);
    work(sub, origin + part.tl());
}

Polygon joined(std::initializer_list<Polygon> parts)
{
    Polygon all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

// out = in + weight * (target - in), per pixel, weights 0..1.
void blendTowards(cv::Mat& area, const cv::Mat& target, const cv::Mat& weights, float strength)
{
    forEachRow(area.rows, [&](int y) {
        cv::Vec3b* out = area.ptr<cv::Vec3b>(y);
        const cv::Vec3b* t = target.ptr<cv::Vec3b>(y);
        const float* w = weights.ptr<float>(y);
        // No test for a zero weight: a pixel times nothing is itself. Without a branch, and
        // with its bounds in locals the byte stores cannot change, the loop is vectorised.
        const int width = area.cols;
        const float amount = strength;
        for (int x = 0; x < width; ++x) {
            const float k = std::max(w[x] * amount, 0.f);
            for (int c = 0; c < 3; ++c)
                out[x][c] = movedTowards(out[x][c], t[x][c], k);
        }
    });
}

// Edge-preserving smoothing (a guided filter, the picture guiding itself per channel), blended
// in by the weights. The coefficients are smooth, so they are found at a reduced size and
// scaled back; the filter's output q = a * I + b is worked out only in the blend.
void smoothTowards(cv::Mat& area, const cv::Mat& weights, float radius, float strength)
{
    const double shrink = std::min(1.0, 4.0 / radius);
    cv::Mat reduced, small;
    cv::resize(area, reduced, cv::Size(), shrink, shrink, cv::INTER_AREA);
    reduced.convertTo(small, CV_32FC3, 1.0 / 255);
    const int r = std::max(1, int(std::lround(radius * shrink)));
    const cv::Size box(2 * r + 1, 2 * r + 1);
    // OpenCV's box filter runs on the calling thread: in stripes, the second core takes half.
    const auto boxMean = [&box](const cv::Mat& in, cv::Mat& out) { cv::boxFilter(in, out, -1, box); };
    const float eps = 0.004f;  // variance below this is texture to smooth, above it an edge
    cv::Mat mean, meanSq, a, b, meanA, meanB;
    effects::filterInStripes(small, mean, CV_32FC3, boxMean);
    effects::filterInStripes(small.mul(small), meanSq, CV_32FC3, boxMean);
    a.create(small.size(), CV_32FC3);
    b.create(small.size(), CV_32FC3);
    const float* m = mean.ptr<float>();
    const float* m2 = meanSq.ptr<float>();
    float* pa = a.ptr<float>();
    float* pb = b.ptr<float>();
    for (size_t i = 0; i < a.total() * 3; ++i) {
        const float variance = m2[i] - m[i] * m[i];
        pa[i] = variance / (variance + eps);
        // b in 8-bit units, so that q = a * I + b holds for the 8-bit picture.
        pb[i] = (m[i] - pa[i] * m[i]) * 255.f;
    }
    effects::filterInStripes(a, meanA, CV_32FC3, boxMean);
    effects::filterInStripes(b, meanB, CV_32FC3, boxMean);
    cv::resize(meanA, a, area.size(), 0, 0, cv::INTER_LINEAR);
    cv::resize(meanB, b, area.size(), 0, 0, cv::INTER_LINEAR);
    forEachRow(area.rows, [&](int y) {
        cv::Vec3b* out = area.ptr<cv::Vec3b>(y);
        const cv::Vec3f* ay = a.ptr<cv::Vec3f>(y);
        const cv::Vec3f* by = b.ptr<cv::Vec3f>(y);
        const float* w = weights.ptr<float>(y);
        const int width = area.cols;
        const float amount = strength;
        for (int x = 0; x < width; ++x) {
            const float k = std::max(w[x] * amount, 0.f);
            for (int c = 0; c < 3; ++c) {
                const float smoothed = ay[x][c] * out[x][c] + by[x][c];
                out[x][c] = movedTowards(out[x][c], smoothed, k);
            }
        }
    });
}

// Lighter skin with its hue kept: every channel of a pixel gets the same gain (so hue and
// saturation stay), from a curve that lifts mid-tones and leaves black and white; then a
// little of the colour goes towards the pixel's own grey, which keeps the hue too. Worked in
// place and only where the weight is above 0.
void whiten(cv::Mat& area, const cv::Mat& weights, float amount)
{
    const float beta = 1.f + 3.f * amount;
    const float desaturate = 0.12f * amount;
    float gain[256];
    for (int v = 0; v < 256; ++v)
        gain[v] = v == 0 ? 1.f : 255.f * std::log1p((beta - 1.f) * v / 255.f) / std::log(beta) / v;
    forEachRow(area.rows, [&](int y) {
        cv::Vec3b* row = area.ptr<cv::Vec3b>(y);
        const float* w = weights.ptr<float>(y);
        for (int x = 0; x < area.cols; ++x) {
            if (w[x] <= 0.f)
                continue;
            const cv::Vec3b p = row[x];
            const int luma = (29 * p[0] + 150 * p[1] + 77 * p[2]) >> 8;
            const int top = std::max({p[0], p[1], p[2]});
            const float g = std::min(gain[luma], top > 0 ? 255.f / top : 1.f);
            const float grey = luma * g;
            for (int c = 0; c < 3; ++c) {
                const float whiter = p[c] * g + desaturate * (grey - p[c] * g);
                row[x][c] = movedTowards(p[c], whiter, w[x]);
            }
        }
    });
}

// Lightens dark detail (a fold, a shadow under the eye) towards a wide blur of itself, raised
// by lift; what is already lighter is left as it is.
cv::Mat lightened(const cv::Mat& area, float sigma, float lift)
{
    cv::Mat blurred = wideBlur(area, sigma), out;
    blurred.convertTo(blurred, -1, lift);
    cv::max(area, blurred, out);
    return out;
}

cv::Mat regionMask(cv::Size size, const std::vector<Polygon>& polygons, cv::Point origin, float feather)
{
    cv::Mat mask(size, CV_8U, cv::Scalar(0));
    for (const auto& polygon : polygons)
        cv::fillPoly(mask, std::vector<Polygon>{shifted(polygon, origin)}, cv::Scalar(255), cv::LINE_AA);
    return feathered(mask, feather);
}

// The band under a lower lid, reaching down by depth along the face's down axis.
template <size_t N>
Polygon underEye(const FaceGeometry& f, const std::array<int, N>& lid, float depth)
{
    Polygon band = f.polygon(lid);
    for (auto it = lid.rbegin(); it != lid.rend(); ++it) {
        const cv::Point2f p = f.at(*it) + f.down() * depth;
        band.emplace_back(cvRound(p.x), cvRound(p.y));
    }
    return band;
}

void retouchUnderEyes(cv::Mat& face, const FaceGeometry& f, cv::Point faceOrigin, float amount)
{
    const float eye = f.eyeWidth();
    const Polygon right = underEye(f, kRightLowerLid, 0.45f * eye), left = underEye(f, kLeftLowerLid, 0.45f * eye);
    within(face, faceOrigin, joined({right, left}), eye, [&](cv::Mat& area, cv::Point origin) {
        const cv::Mat weights = regionMask(area.size(), {right, left}, origin, 0.15f * eye);
        blendTowards(area, lightened(area, 0.35f * eye, 1.08f), weights, 0.85f * amount);
    });
}

void retouchFolds(cv::Mat& face, const FaceGeometry& f, cv::Point faceOrigin, float amount)
{
    // From beside each nose wing down to just outside the mouth corner.
    Polygon ends;
    for (auto [ala, corner] : {std::pair{kRightAla, kMouthRight}, std::pair{kLeftAla, kMouthLeft}}) {
        const cv::Point2f out = f.at(corner) - f.mouth();
        ends.emplace_back(f.at(ala) + (f.at(ala) - f.at(kNoseTip)) * 0.15f);
        ends.emplace_back(f.at(corner) + out * 0.25f);
    }
    const float thickness = 0.08f * f.width();
    within(face, faceOrigin, ends, 3.f * thickness, [&](cv::Mat& area, cv::Point origin) {
        cv::Mat mask(area.size(), CV_8U, cv::Scalar(0));
        for (size_t i = 0; i < ends.size(); i += 2)
            cv::line(mask, ends[i] - origin, ends[i + 1] - origin, cv::Scalar(255), std::max(1, int(thickness)),
                     cv::LINE_AA);
        blendTowards(area, lightened(area, 0.06f * f.width(), 1.03f), feathered(mask, 0.5f * thickness),
                     0.9f * amount);
    });
}

void brightenEyes(cv::Mat& face, const FaceGeometry& f, cv::Point faceOrigin, float amount)
{
    const float eye = f.eyeWidth();
    const Polygon right = f.polygon(kRightEye), left = f.polygon(kLeftEye);
    within(face, faceOrigin, joined({right, left}), 0.5f * eye, [&](cv::Mat& area, cv::Point origin) {
        const cv::Mat weights = regionMask(area.size(), {right, left}, origin, 0.06f * eye);
        cv::Mat clearer;
        // Local contrast raised and a little light added.
        cv::addWeighted(area, 1.8 + 0.06, wideBlur(area, std::max(1.f, 0.08f * eye)), -0.8, 0, clearer);
        blendTowards(area, clearer, weights, amount);
    });
}
// How close each pixel's chroma is to this face's skin, measured on the cheeks and the
// forehead, which are skin on every face; so any skin tone in any light is recognised.
// picture is the face's area scaled by k; at, the landmarks' offset into it before scaling.
cv::Mat skinColourLikeness(const cv::Mat& picture, const FaceGeometry& f, cv::Point2f at, double k)
{
    cv::Mat ycrcb, samples(picture.size(), CV_8U, cv::Scalar(0));
    cv::cvtColor(picture, ycrcb, cv::COLOR_BGR2YCrCb);
    const int radius = std::max(2, int(0.06 * f.width() * k));
    for (int i : {kRightCheek, kLeftCheek, kForeheadCentre})
        cv::circle(samples, cv::Point((f.at(i) - at) * k), radius, cv::Scalar(255), cv::FILLED);
    cv::Scalar mean, deviation;
    cv::meanStdDev(ycrcb, mean, deviation, samples);
    // Fully skin within 2.5 spreads of the mean chroma, not skin beyond 4; very dark pixels are
    // shadow or hair. Each term depends on one channel, so each is a table.
    float crTerm[256], cbTerm[256], darkness[256];
    const float spreadCr = std::max(6.f, float(deviation[1])), spreadCb = std::max(6.f, float(deviation[2]));
    for (int v = 0; v < 256; ++v) {
        crTerm[v] = std::pow((v - float(mean[1])) / spreadCr, 2.f);
        cbTerm[v] = std::pow((v - float(mean[2])) / spreadCb, 2.f);
        darkness[v] = 255.f * std::clamp((v - 20.f) / 20.f, 0.f, 1.f);
    }
    constexpr float kFull = 2.5f, kNone = 4.f;
    cv::Mat likeness(picture.size(), CV_8U);
    const int width = picture.cols;
    for (int y = 0; y < picture.rows; ++y) {
        const cv::Vec3b* p = ycrcb.ptr<cv::Vec3b>(y);
        uchar* out = likeness.ptr<uchar>(y);
        for (int x = 0; x < width; ++x) {
            const float squared = crTerm[p[x][1]] + cbTerm[p[x][2]];
            const float chroma = std::clamp((kNone - std::sqrt(squared)) / (kNone - kFull), 0.f, 1.f);
            out[x] = uchar(darkness[p[x][0]] * chroma);
        }
    }
    return likeness;
}

// Where skin may be at all: the face a little beyond its outline (the mesh stops about at
// the hairline), the ears beside it and the neck below the chin.
cv::Mat skinRegion(cv::Size size, const FaceGeometry& f, cv::Point2f at, double k)
{
    Polygon oval;
    for (const cv::Point& p : f.polygon(kFaceOval))
        oval.emplace_back((cv::Point2f(p) - at) * k);
    cv::Mat region(size, CV_8U, cv::Scalar(0));
    // The oval grown by a disc: its outline drawn as wide as the disc (a thick line has round
    // ends, so its corners are round too), a fraction of the cost of a dilation that wide.
    const int grow = std::max(1, int(0.1 * f.width() * k));
    cv::fillPoly(region, std::vector<Polygon>{oval}, cv::Scalar(255));
    cv::polylines(region, std::vector<Polygon>{oval}, true, cv::Scalar(255), 2 * grow);
    const float angle = float(std::atan2(f.across().y, f.across().x) * 180.0 / CV_PI);
    const auto addEllipse = [&](cv::Point2f centre, float across, float down) {
        cv::ellipse(region, cv::RotatedRect((centre - at) * k, cv::Size2f(across * k, down * k), angle), cv::Scalar(255),
                    cv::FILLED);
    };
    for (auto [point, outward] : {std::pair{kRightCheekbone, -1.f}, std::pair{kLeftCheekbone, 1.f}})
        addEllipse(f.at(point) + f.across() * (outward * 0.08f * f.width()) + f.down() * (0.08f * f.height()),
                   0.22f * f.width(), 0.5f * f.height());
    addEllipse(f.at(kChin) + f.down() * (0.35f * f.height()), 0.8f * f.width(), 0.9f * f.height());
    return region;
}

} // namespace

bool SkinRetoucher::isActive(const BeautyLevels& l)
{
    for (int item : {SMOOTH_FACE, BRIGHT_WHITE, EYEDETAIL, NOSEDETAIL, BRIGHT_EYE})
        if (l.amount(item) > 0.f)
            return true;
    return false;
}

cv::Mat SkinRetoucher::skinMask(const cv::Mat& area, const FaceGeometry& f, cv::Point origin)
{
    // The weight is smooth by design, so it is found on a copy where the face is about
    // kWorkWidth pixels wide and scaled back.
    constexpr double kWorkWidth = 100;
    const double k = std::min(1.0, kWorkWidth / std::max(1.f, f.width()));
    cv::Mat small;
    cv::resize(area, small, cv::Size(), k, k, cv::INTER_AREA);
    const cv::Point2f at(origin);
    cv::Mat skin;
    cv::min(skinColourLikeness(small, f, at, k), skinRegion(small.size(), f, at, k), skin);
    // Eyes, brows and lips are no skin, but they are the face's own: the weight stops sharply
    // at them (smoothing must not reach into an eye) and does not fade in around them.
    cv::Mat features(small.size(), CV_8U, cv::Scalar(0));
    const int grow = std::max(1, int(0.04 * f.width() * k));
    for (const Polygon& feature : {f.polygon(kRightEye), f.polygon(kLeftEye), f.polygon(kRightBrow),
                                   f.polygon(kLeftBrow), f.polygon(kLipsOuter)}) {
        Polygon scaled;
        for (const cv::Point& p : feature)
            scaled.emplace_back((cv::Point2f(p) - at) * k);
        cv::fillPoly(features, std::vector<Polygon>{scaled}, cv::Scalar(255), cv::LINE_AA);
        cv::polylines(features, std::vector<Polygon>{scaled}, true, cv::Scalar(255), 2 * grow, cv::LINE_AA);
    }
    // Elsewhere the weight rises from 0 at the skin's edge to 1 a fifth of the face width
    // inside it: every boundary is soft, and nothing beyond the skin changes.
    cv::Mat solid = (skin >= 128) | (features >= 128), distance;
    // Freckles, pores and specks of shadow fail the colour test, but a hole in the weight
    // around each would show: gaps narrower than a twentieth of the face width are closed.
    const int speck = std::max(1, int(0.025 * f.width() * k));
    cv::morphologyEx(solid, solid, cv::MORPH_CLOSE,
                     cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(2 * speck + 1, 2 * speck + 1)));
    cv::distanceTransform(solid, distance, cv::DIST_L2, cv::DIST_MASK_3);
    const float fade = float(std::max(1.0, f.width() * k / 5.0));
    cv::Mat featherOut = feathered(features, float(0.02 * f.width() * k));
    cv::Mat weights(small.size(), CV_32F);
    for (int y = 0; y < small.rows; ++y) {
        const float* d = distance.ptr<float>(y);
        const float* hole = featherOut.ptr<float>(y);
        float* w = weights.ptr<float>(y);
        for (int x = 0; x < small.cols; ++x) {
            const float t = std::min(d[x] / fade, 1.f);
            w[x] = t * t * (3.f - 2.f * t) * (1.f - hole[x]);
        }
    }
    cv::resize(weights, weights, area.size(), 0, 0, cv::INTER_LINEAR);
    return weights;
}

void SkinRetoucher::apply(cv::Mat& bgr, const FaceGeometry& f, const BeautyLevels& l)
{
    // The face's hull grown to where its skin may reach: ears and temples beside it, the
    // forehead above, the neck below.
    const cv::Rect hull = cv::boundingRect(f.hull());
    const int side = int(0.35f * f.width()), below = int(0.8f * f.height());
    const cv::Rect box = cv::Rect(hull.x - side, hull.y - side, hull.width + 2 * side, hull.height + side + below)
                         & cv::Rect(0, 0, bgr.cols, bgr.rows);
    if (box.width < 8 || box.height < 8)
        return;
    cv::Mat area = bgr(box);
    const cv::Point origin = box.tl();
    const cv::Mat skin = skinMask(area, f, origin);
    // Smoothing and whitening are worked only where there is skin, usually a part of the area.
    const cv::Rect skinBox = cv::boundingRect(skin > 0.f);
    if (skinBox.width >= 2 && skinBox.height >= 2) {
        cv::Mat skinArea = area(skinBox);
        const cv::Mat skinWeights = skin(skinBox);
        if (const float a = l.amount(SMOOTH_FACE))
            // Some of the skin's own texture stays, so it never looks like plastic.
            smoothTowards(skinArea, skinWeights, 0.035f * f.width(), 0.85f * a);
        if (const float a = l.amount(BRIGHT_WHITE))
            whiten(skinArea, skinWeights, a);
    }
    if (const float a = l.amount(EYEDETAIL))
        retouchUnderEyes(area, f, origin, a);
    if (const float a = l.amount(NOSEDETAIL))
        retouchFolds(area, f, origin, a);
    if (const float a = l.amount(BRIGHT_EYE))
        brightenEyes(area, f, origin, a);
}

} // namespace beauty
