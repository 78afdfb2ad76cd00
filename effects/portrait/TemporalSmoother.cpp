#include "portrait/TemporalSmoother.h"

#include "common/Stripes.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <utility>

namespace portrait {
namespace {

// Grey-level change of the small frame (after a blur that hides sub-pixel camera shake and
// noise) that counts as real motion, ramping from "still" to "moving". Only the picture
// tells: where it holds still, a mask that jumps is the model changing its mind about an
// uncertain region (hair, shoulders), which is what must not show.
constexpr float kMotionLow = 0.03f, kMotionHigh = 0.10f;

// A measured shift is trusted when the correlation peak is this clear and the shift this small
// (in pixels of the small frame); anything else (a cut, a wild pan) is left to the motion test.
constexpr double kShiftConfidence = 0.1, kMaxShift = 12.0;

inline float ramp(float v, float low, float high)
{
    return std::min(std::max((v - low) / (high - low), 0.f), 1.f);
}

// dst(x, y) = src(x - dx, y - dy), bilinear, edges repeated. A patch of the source's size cut
// around a moved centre; the single-channel state, the largest, goes through a loop of its own
// that the compiler vectorises, several times faster than OpenCV's cut-out.
void translate(const cv::Mat& src, cv::Mat& dst, double dx, double dy)
{
    if (src.type() != CV_32FC1) {
        const cv::Point2f centre(float((src.cols - 1) * 0.5 - dx), float((src.rows - 1) * 0.5 - dy));
        cv::getRectSubPix(src, src.size(), centre, dst);
        return;
    }
    dst.create(src.size(), CV_32FC1);
    const int ix = int(std::floor(-dx)), iy = int(std::floor(-dy));
    const float fx = float(-dx - ix), fy = float(-dy - iy);
    const float w00 = (1 - fx) * (1 - fy), w01 = fx * (1 - fy), w10 = (1 - fx) * fy, w11 = fx * fy;
    const int cols = src.cols, last = cols - 1;
    // Columns whose two source columns x + ix and x + ix + 1 both lie inside the picture.
    const int inFrom = std::clamp(-ix, 0, cols), inTo = std::clamp(last - ix, inFrom, cols);
    for (int y = 0; y < src.rows; ++y) {
        const float* __restrict a = src.ptr<float>(std::clamp(y + iy, 0, src.rows - 1));
        const float* __restrict b = src.ptr<float>(std::clamp(y + iy + 1, 0, src.rows - 1));
        float* __restrict out = dst.ptr<float>(y);
        const auto at = [&](int x) {
            const int c0 = std::clamp(x + ix, 0, last), c1 = std::clamp(x + ix + 1, 0, last);
            return w00 * a[c0] + w01 * a[c1] + w10 * b[c0] + w11 * b[c1];
        };
        for (int x = 0; x < inFrom; ++x)
            out[x] = at(x);
        const float* a0 = a + ix;
        const float* b0 = b + ix;
        for (int x = inFrom; x < inTo; ++x)
            out[x] = w00 * a0[x] + w01 * a0[x + 1] + w10 * b0[x] + w11 * b0[x + 1];
        for (int x = inTo; x < cols; ++x)
            out[x] = at(x);
    }
}

} // namespace

void TemporalSmoother::reset()
{
    state_.release();
    previous_.release();
    fresh_ = true;
}

void TemporalSmoother::observe(const cv::Mat& smallBgr, cv::Size maskSize)
{
    smallBgr.convertTo(colour_, CV_32FC3, 1.0 / 255.0);
    cv::GaussianBlur(colour_, colour_, cv::Size(5, 5), 0);
    cv::cvtColor(colour_, grey_, cv::COLOR_BGR2GRAY);
    fresh_ = state_.size() != maskSize || previous_.size() != colour_.size();
    if (fresh_)
        startShiftMeasurement(grey_.size());
    std::swap(spectrum_, previousSpectrum_);
    cv::multiply(grey_, window_, windowed_);
    cv::dft(windowed_, spectrum_, cv::DFT_COMPLEX_OUTPUT);
    if (fresh_) {
        std::swap(colour_, previous_);
        return;
    }
    const cv::Point2d shift = pictureShift();
    translate(previous_, aligned_, shift.x, shift.y);
    translate(state_, stateAligned_, shift.x * maskSize.width / colour_.cols, shift.y * maskSize.height / colour_.rows);
    // Motion is the largest colour change, widened a little so that it also covers the soft
    // band of the mask beside a moving edge.
    cv::absdiff(colour_, aligned_, difference_);
    motion_.create(grey_.size(), CV_32F);
    for (int y = 0; y < motion_.rows; ++y) {
        const cv::Vec3f* d = difference_.ptr<cv::Vec3f>(y);
        float* m = motion_.ptr<float>(y);
        for (int x = 0; x < motion_.cols; ++x)
            m[x] = std::max(d[x][0], std::max(d[x][1], d[x][2]));
    }
    cv::dilate(motion_, motion_, cv::getStructuringElement(cv::MORPH_RECT, cv::Size(5, 5)));
    cv::resize(motion_, motionFull_, maskSize, 0, 0, cv::INTER_LINEAR);
    std::swap(colour_, previous_);
}

void TemporalSmoother::apply(cv::Mat& mask)
{
    if (fresh_) {
        mask.convertTo(state_, CV_32F);
        fresh_ = false;
        return;
    }
    CV_Assert(mask.size() == state_.size());
    effects::forEachStripe(mask.rows, [&](const cv::Range& rows) {
        // A local: through the reference, the byte stores could change the width as far as the
        // compiler knows, and the loop would not be vectorised.
        const int width = mask.cols;
        for (int y = rows.start; y < rows.end; ++y) {
            uchar* __restrict m = mask.ptr<uchar>(y);
            const float* __restrict aligned = stateAligned_.ptr<float>(y);
            float* __restrict s = state_.ptr<float>(y);
            const float* __restrict motion = motionFull_.ptr<float>(y);
            for (int x = 0; x < width; ++x) {
                const float change = ramp(motion[x], kMotionLow, kMotionHigh);
                s[x] = aligned[x] + (kStillWeight + (1.f - kStillWeight) * change) * (m[x] - aligned[x]);
                m[x] = static_cast<uchar>(s[x] + 0.5f);
            }
        }
    });
}

void TemporalSmoother::startShiftMeasurement(cv::Size size)
{
    // Both depend on the size only: a sequence started afresh at the same size keeps them.
    if (window_.size() == size)
        return;
    cv::createHanningWindow(window_, size, CV_32F);
    // A Gaussian over the frequencies: it widens the correlation peak to about a pixel (sigma),
    // so the weighted centre around it finds a shift between whole pixels. A bare peak is one
    // pixel wide and draws the centre to the nearest whole pixel, up to half a pixel off.
    constexpr double kPeakSigma = 0.7;
    lowPass_.create(size, CV_32F);
    for (int y = 0; y < size.height; ++y) {
        const double fy = double(std::min(y, size.height - y)) / size.height;
        for (int x = 0; x < size.width; ++x) {
            const double fx = double(std::min(x, size.width - x)) / size.width;
            lowPass_.at<float>(y, x) = float(std::exp(-2 * CV_PI * CV_PI * kPeakSigma * kPeakSigma * (fx * fx + fy * fy)));
        }
    }
}

// The shift of the whole picture since the previous frame, in small-frame pixels; zero when
// the measurement is unclear. Phase correlation: the normalised cross-power spectrum of the
// two frames turns back into a peak where the one lies shifted against the other. Each
// frame's spectrum is taken once, when it is observed.
cv::Point2d TemporalSmoother::pictureShift()
{
    cv::mulSpectrums(previousSpectrum_, spectrum_, crossPower_, 0, true);
    for (int y = 0; y < crossPower_.rows; ++y) {
        cv::Vec2f* c = crossPower_.ptr<cv::Vec2f>(y);
        const float* weight = lowPass_.ptr<float>(y);
        for (int x = 0; x < crossPower_.cols; ++x)
            c[x] *= weight[x] / (std::sqrt(c[x][0] * c[x][0] + c[x][1] * c[x][1]) + 1e-20f);
    }
    cv::dft(crossPower_, correlation_, cv::DFT_INVERSE | cv::DFT_REAL_OUTPUT);
    cv::Point peak;
    cv::minMaxLoc(correlation_, nullptr, nullptr, nullptr, &peak);
    // The weighted centre of the 5x5 pixels around the peak; the correlation wraps around.
    const int rows = correlation_.rows, cols = correlation_.cols;
    double sum = 0, sumX = 0, sumY = 0;
    for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx) {
            const double v = correlation_.at<float>((peak.y + dy + rows) % rows, (peak.x + dx + cols) % cols);
            sum += v;
            sumX += dx * v;
            sumY += dy * v;
        }
    // A perfect match puts the whole transform's weight, rows * cols, into the peak.
    const double confidence = sum / (double(rows) * cols);
    if (confidence < kShiftConfidence || sum <= 0)
        return {0, 0};
    const auto wrapped = [](int at, int size) { return at < (size + 1) / 2 ? at : at - size; };
    const cv::Point2d shift(-(wrapped(peak.x, cols) + sumX / sum), -(wrapped(peak.y, rows) + sumY / sum));
    if (std::hypot(shift.x, shift.y) > kMaxShift)
        return {0, 0};
    return shift;
}

} // namespace portrait
