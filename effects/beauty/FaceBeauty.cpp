#include "FaceBeauty.h"

#include "BeautyLog.h"
#include "FaceGeometry.h"
#include "FaceReshaper.h"
#include "RowParallel.h"
#include "SkinRetoucher.h"

namespace beauty {

namespace {
constexpr int kPackedBgr = 7;
constexpr float kMostShift = 0.12f;  // longest move of any pixel by the shape items, in face widths

bool isUsableFrame(const BeautyFrame& f)
{
    // NV12 needs even sides; the caller's frames always have them.
    return f.data && f.width > 1 && f.height > 1 && f.width % 2 == 0 && f.height % 2 == 0
           && f.pixelFormat == kPackedBgr && int64_t(f.dataSize) >= int64_t(f.width) * f.height * 3;
}
} // namespace

FaceBeauty::FaceBeauty(const std::string& modelsDir)
{
    std::string error;
    if (tracker_.load(modelsDir, error))
        BeautyLog::write(BeautyLog::Info, "face models loaded from " + modelsDir);
    else
        BeautyLog::write(BeautyLog::Warning, "no face analysis, face items stay without effect: " + error);
}

bool FaceBeauty::usesFaces() const
{
    return SkinRetoucher::isActive(levels_) || FaceReshaper::isActive(levels_) || levels_.light() > 0.f;
}

void FaceBeauty::retouchSkin(cv::Mat& bgr, const std::vector<FaceGeometry>& faces)
{
    if (SkinRetoucher::isActive(levels_))
        for (const auto& f : faces)
            SkinRetoucher::apply(bgr, f, levels_);
}

void FaceBeauty::planWarp(const std::vector<FaceGeometry>& faces, cv::Size picture)
{
    cv::Rect area;
    for (const auto& f : faces)
        area |= f.area(f.margin());
    warp_.reset(area, picture);
    std::vector<std::vector<cv::Point>> hulls, outlines;
    float margin = 0.f, widest = 0.f;
    for (const auto& f : faces) {
        FaceReshaper::addWarps(f, levels_, warp_);
        hulls.push_back(f.hull());
        outlines.push_back(f.contour());
        margin = std::max(margin, f.margin());
        widest = std::max(widest, f.width());
    }
    warp_.confine(hulls, margin);
    warp_.limit(kMostShift * widest);
    warp_.plan(outlines, picture);
}

void FaceBeauty::beautify(cv::Mat& bgr)
{
    std::vector<FaceGeometry> faces;
    if (usesFaces()) {
        for (const auto& tracked : tracker_.update(bgr))
            faces.emplace_back(tracked.points);
    } else {
        // Nothing looks at faces now; stale positions would only mislead the next search.
        tracker_.reset();
    }
    const bool reshaping = FaceReshaper::isActive(levels_) && !faces.empty();
    // The warp depends on the landmarks only, not on the retouched pixels: it is planned on
    // the second core while the skin is retouched on this one.
    if (reshaping) {
        side_.runBeside([&] { planWarp(faces, bgr.size()); }, [&] { retouchSkin(bgr, faces); });
        warp_.apply(bgr);
    } else {
        retouchSkin(bgr, faces);
    }
    filters_.fillLight(bgr, faces, levels_.light());
}

int FaceBeauty::process(BeautyFrame& frame)
{
    if (!isUsableFrame(frame))
        return -1;
    std::lock_guard<std::mutex> lock(work_);
    cv::Mat bgr(frame.height, frame.width, CV_8UC3, frame.data);
    beautify(bgr);
    // The last item is worked straight into the kept copy, which then goes back into the
    // caller's frame: a pass over the frame fewer than working it in place and copying.
    const float sharpness = levels_.amount(SHARPEN);
    filters_.sharpen(bgr, result_, sharpness);
    if (sharpness > 0.f)
        copyInStripes(result_, bgr);
    return int(tracker_.faces().size());
}

int FaceBeauty::process2(BeautyFrame& frame)
{
    std::lock_guard<std::mutex> lock(work_);
    if (result_.cols != frame.width || result_.rows != frame.height)
        return -1;
    if (frame.data)
        compositor_.compose(result_, frame.backgroundMode, frame.backgroundLevel, frame.backgroundParam,
                            frame.mask, frame.data);
    return 0;
}

void FaceBeauty::resetCache()
{
    std::lock_guard<std::mutex> lock(work_);
    tracker_.reset();
    result_.release();
}

} // namespace beauty
