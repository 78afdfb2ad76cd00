#include "portrait/Orientation.h"

namespace portrait {
namespace {

int quarterTurns(int orientation)
{
    return ((orientation % 4) + 4) % 4;
}

// No turn shares the pixels instead of copying them.
void rotate(const cv::Mat& src, int turns, cv::Mat& dst)
{
    static const int codes[] = {0, cv::ROTATE_90_CLOCKWISE, cv::ROTATE_180, cv::ROTATE_90_COUNTERCLOCKWISE};
    if (turns == 0)
        dst = src;
    else
        cv::rotate(src, dst, codes[turns]);
}

} // namespace

void orient(const cv::Mat& src, int orientation, bool mirror, cv::Mat& dst)
{
    if (mirror) {
        cv::Mat rotated;
        rotate(src, quarterTurns(orientation), rotated);
        cv::flip(rotated, dst, 1);
    } else {
        rotate(src, quarterTurns(orientation), dst);
    }
}

void unorient(const cv::Mat& src, int orientation, bool mirror, cv::Mat& dst)
{
    cv::Mat unmirrored;
    if (mirror)
        cv::flip(src, unmirrored, 1);
    else
        unmirrored = src;
    rotate(unmirrored, (4 - quarterTurns(orientation)) % 4, dst);
}

} // namespace portrait
