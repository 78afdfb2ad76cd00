#pragma once
// A second, closer look at the head: the model run again on a square around the face, where
// the head fills far more of its input than in the whole frame, so dark hair over a dark
// background is still told apart; its output is blended into the frame's over the square,
// fading to the frame's own at the square's edges. While the picture inside the square holds
// still, the close look taken last is blended in again instead of running the model anew.

#include "portrait/PersonSegmenter.h"

#include <opencv2/core.hpp>

namespace portrait {

class HeadCloseUp {
public:
    // Runs the model on the square around face (not empty), found in picture. False, and no
    // close look held, when too little of the square lies in the picture.
    bool look(const cv::Mat& picture, const cv::Rect2f& face, PersonSegmenter& model);
    // True when the picture inside the square looked at last is as it was then, sensor noise
    // aside: the close look taken then still holds, and where the face is need not be asked.
    bool holdsStill(const cv::Mat& picture);
    bool holds() const { return !look_.empty(); }
    // Blends the close look held into the frame's person probability (CV_32F, at the size of
    // the picture looked at).
    void blendInto(cv::Mat& probability) const;
    void reset();

    // The square looked at for a face box: above the face's centre, so it holds the hair.
    static cv::Rect square(const cv::Rect2f& face);

private:
    // Fills thumbnail_ with a small copy of the picture inside look_.
    void takeThumbnail(const cv::Mat& picture);

    cv::Rect look_;          // the square of the last close look, empty when there is none
    cv::Size lookedAt_;      // the size of the picture it was taken in
    cv::Mat crop_, closeUp_, window_, thumbnail_, reference_, difference_;
};

} // namespace portrait
