#pragma once

// An epifluorescence scene for the tool tests: a 300 x 300 image at 5000 with
// a dim patch at 3000 and three dark rings at 1000, and a set that finds them.

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <vector>

#include "analysis/EpiCellCountingAlgo.h"

namespace tools_testing {

inline const std::vector<cv::Point>& EpiRings() {
    static const std::vector<cv::Point> rings{{60, 60}, {150, 80}, {90, 220}};
    return rings;
}

inline cv::Mat EpiScene() {
    cv::Mat image(300, 300, CV_16UC1, cv::Scalar(5000));
    image(cv::Rect(200, 200, 30, 30)).setTo(cv::Scalar(3000));
    for (const cv::Point& c : EpiRings()) cv::circle(image, c, 9, cv::Scalar(1000), 2);
    return image;
}

inline EpiCellCountingAlgoParams EpiSceneParams() {
    EpiCellCountingAlgoParams p;
    p.Left = 10;
    p.Top = 10;
    p.Right = 289;
    p.Bottom = 289;
    p.MinSize = 15;
    p.MaxRatio = 0.45f;
    p.UseBgImageIfAvail = true;
    return p;
}

}  // namespace tools_testing
