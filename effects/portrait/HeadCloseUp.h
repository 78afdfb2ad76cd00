#pragma once
// A second, closer look at the head: the model run again on a square around the face, where
// the head fills far more of its input than in the whole frame, so dark hair over a dark
// background is still told apart; its output is blended into the frame's over the square,
// fading to the frame's own at the square's edges.

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

    // The square looked at for a face box: above the face's centre, so it holds the hair.
    static cv::Rect square(const cv::Rect2f& face);

private:
    cv::Mat crop_, closeUp_, window_;
};

} // namespace portrait
