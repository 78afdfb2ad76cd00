#include "FaceReshaper.h"

#include "face/FaceMeshIndices.h"

#include <cmath>

namespace beauty {

using namespace face::mesh;

namespace {
constexpr int kShapeItems[] = {SMALL_FACE, BIG_EYE,  BIG_NOSE,  LITTLE_FACE, V_FACE,     MOVE_CHIN,
                               BIG_MOUTH,  SMILE,    MOVE_MOUTH, EYE_SPAN,   MOVE_EYE,   MOVE_NOSE,
                               SMALL_CHIN, SMALL_CHEEKBONES, SMALL_MANDIBLE, NARROW_FACE};

// Mirror pairs of outline points (image-left, image-right) used as anchors.
struct Pair {
    int right, left;
};

// Draws the outline points of each pair towards the midline by a fraction of their distance
// from it, plus an extra move along the face's down axis (negative: up).
void pullToMidline(const FaceGeometry& f, WarpField& field, std::initializer_list<Pair> pairs, float fraction,
                   float radius, float lift = 0.f)
{
    for (const Pair& pair : pairs)
        for (int index : {pair.right, pair.left}) {
            const cv::Point2f p = f.at(index);
            field.addShift(p, radius, (f.onMidline(p) - p) * fraction + f.down() * lift);
        }
}

void addFaceOutline(const FaceGeometry& f, const BeautyLevels& l, WarpField& field)
{
    const float w = f.width();
    if (const float a = l.amount(SMALL_FACE))  // cheeks slimmed
        pullToMidline(f, field, {{93, 323}, {58, 288}, {136, 365}}, 0.10f * a, 0.26f * w);
    if (const float a = l.amount(NARROW_FACE))  // the whole width drawn in
        pullToMidline(f, field, {{234, 454}, {93, 323}, {58, 288}, {136, 365}}, 0.07f * a, 0.30f * w);
    if (const float a = l.amount(SMALL_CHEEKBONES))
        pullToMidline(f, field, {{234, 454}, {93, 323}}, 0.10f * a, 0.20f * w);
    if (const float a = l.amount(SMALL_MANDIBLE))  // jaw angles drawn in and up
        pullToMidline(f, field, {{172, 397}, {58, 288}}, 0.12f * a, 0.20f * w, -0.03f * a * f.height());
    if (const float a = l.amount(V_FACE))  // lower jaw towards the chin: a V-shaped outline
        pullToMidline(f, field, {{172, 397}, {136, 365}, {150, 379}}, 0.16f * a, 0.20f * w);
    if (const float a = l.amount(SMALL_CHIN)) {  // chin sides drawn in, tip a little longer: pointed
        pullToMidline(f, field, {{149, 378}, {176, 400}, {148, 377}}, 0.30f * a, 0.22f * w);
        field.addShift(f.at(kChin), 0.25f * w, f.down() * (0.03f * a * f.height()));
    }
    if (const float a = l.amount(LITTLE_FACE)) {  // the lower face shrunk towards the nose
        const cv::Point2f centre = f.at(kNoseTip);
        for (int index : {58, 288, 136, 365, kChin})
            field.addShift(f.at(index), 0.28f * w, (centre - f.at(index)) * (0.08f * a));
    }
    if (const float a = l.amount(MOVE_CHIN))  // positive: a longer chin
        field.addShift(f.at(kChin), 0.45f * w, f.down() * (0.08f * a * f.height()));
}

void addFeatures(const FaceGeometry& f, const BeautyLevels& l, WarpField& field)
{
    const float eye = f.eyeWidth(), mouth = f.mouthWidth();
    if (const float a = l.amount(BIG_EYE))
        for (cv::Point2f c : {f.rightEye(), f.leftEye()})
            field.addScale(c, 1.0f * eye, 0.30f * a);
    if (const float a = l.amount(EYE_SPAN)) {  // positive: eyes further apart
        field.addShift(f.rightEye(), 1.2f * eye, -f.across() * (0.12f * a * eye));
        field.addShift(f.leftEye(), 1.2f * eye, f.across() * (0.12f * a * eye));
    }
    if (const float a = l.amount(MOVE_EYE))  // positive: eyes higher
        for (cv::Point2f c : {f.rightEye(), f.leftEye()})
            field.addShift(c, 1.3f * eye, -f.down() * (0.12f * a * eye));
    if (const float a = l.amount(BIG_NOSE)) {  // positive: a slimmer nose (wings drawn in)
        const float span = float(cv::norm(f.at(kLeftAla) - f.at(kRightAla)));
        pullToMidline(f, field, {{kRightAla, kLeftAla}, {98, 327}}, 0.22f * a, 0.45f * span);
    }
    if (const float a = l.amount(MOVE_NOSE)) {  // positive: a longer nose (tip lowered)
        const float length = float(cv::norm(f.at(kNoseBase) - f.at(kNoseBridgeTop)));
        field.addShift(f.at(kNoseTip), 0.55f * length, f.down() * (0.10f * a * length));
    }
    if (const float a = l.amount(BIG_MOUTH))  // positive: a larger mouth
        field.addScale(f.mouth(), 0.80f * mouth, 0.25f * a);
    if (const float a = l.amount(SMILE))  // mouth corners lifted
        for (int index : {kMouthRight, kMouthLeft})
            field.addShift(f.at(index), 0.35f * mouth, -f.down() * (0.10f * a * mouth));
    if (const float a = l.amount(MOVE_MOUTH))  // positive: a longer philtrum (mouth lowered)
        field.addShift(f.mouth(), 0.90f * mouth, f.down() * (0.05f * a * f.height()));
}
} // namespace

bool FaceReshaper::isActive(const BeautyLevels& levels)
{
    for (int item : kShapeItems)
        if (levels.amount(item) != 0.f)
            return true;
    return false;
}

void FaceReshaper::addWarps(const FaceGeometry& face, const BeautyLevels& levels, WarpField& field)
{
    addFaceOutline(face, levels, field);
    addFeatures(face, levels, field);
}

} // namespace beauty
