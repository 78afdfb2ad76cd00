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
    // frameProbability: the model's output for the whole picture (CV_32F, any size).
    // face: the head found in the picture (not empty).
    // probability: set to the combined person probability at the picture's size.
    void combine(const cv::Mat& picture, const cv::Mat& frameProbability, const cv::Rect2f& face,
                 PersonSegmenter& model, cv::Mat& probability);
    // True when the picture inside the square looked at last is as it was then, sensor noise
    // aside: the close look taken then still holds, and where the face is need not be asked.
    bool holdsStill(const cv::Mat& picture);
    // As combine, with the close look taken last.
    void reuse(const cv::Mat& picture, const cv::Mat& frameProbability, cv::Mat& probability);
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
