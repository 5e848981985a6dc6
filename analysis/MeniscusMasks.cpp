#include "analysis/MeniscusMasks.h"

#include "analysis/AnalysisEngineState.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace {

const cv::Mat& Strip(int index) { return g_FractionationState.frames.at(static_cast<size_t>(index)); }

int LeadRegionWidth(const cv::Mat& strip)
{
    const double width = std::trunc(g_LeadMeniscusSearch.templateWidth + 200.0);
    return static_cast<int>(std::clamp(width, 0.0, static_cast<double>(strip.cols)));
}

int TrailRegionWidth(const cv::Mat& strip)
{
    const double width = std::trunc(g_FlowGeometry.pixelShiftPerFrame);
    return static_cast<int>(std::clamp(width, 0.0, static_cast<double>(strip.cols)));
}

// Three single erosions with a 15 x 3 rectangle; the default constant border
// leaves the edge pixels uneroded.
void Erode(cv::Mat& mask)
{
    const cv::Mat kernel = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(15, 3));
    for (int i = 0; i < 3; ++i)
        cv::erode(mask, mask, kernel);
}

// `keepInside` where the contour is filled, `keepOutside` elsewhere.
cv::Mat CombineByContour(const cv::Mat& keepInside, const cv::Mat& keepOutside, const Contours& contours, int index)
{
    cv::Mat inside = cv::Mat::zeros(keepInside.size(), CV_16UC1);
    cv::drawContours(inside, contours, index, cv::Scalar(65535), cv::FILLED, cv::LINE_8);
    cv::bitwise_and(inside, keepInside, inside);
    cv::Mat outside(keepOutside.size(), CV_16UC1, cv::Scalar(65535));
    cv::drawContours(outside, contours, index, cv::Scalar(0), cv::FILLED, cv::LINE_8);
    cv::bitwise_and(outside, keepOutside, outside);
    cv::Mat combined;
    cv::add(inside, outside, combined);
    return combined;
}

cv::Mat NoiseFreeBackground16(int firstColumn, int endColumn)
{
    cv::Mat background;
    g_FractionationState.noiseFreeBackground.colRange(firstColumn, endColumn).convertTo(background, CV_16U);
    return background;
}

cv::Mat JoinAsFloat(const cv::Mat& left, const cv::Mat& right)
{
    cv::Mat joined;
    if (left.cols == 0)
        joined = right;
    else if (right.cols == 0)
        joined = left;
    else
        cv::hconcat(left, right, joined);
    cv::Mat result;
    joined.convertTo(result, CV_32F);
    return result;
}

}  // namespace

cv::Mat CreateLeadMeniscusMask(int strip)
{
    const cv::Mat& image = Strip(strip);
    FractionationState& state = g_FractionationState;
    state.leadFrame = image.colRange(0, LeadRegionWidth(image)).clone();

    // Log-scaled 8-bit picture of the region, stretched to the full range.
    cv::Mat work;
    state.leadFrame.convertTo(work, CV_8U, 1.0 / 256.0);
    work.convertTo(work, CV_32F);
    work += 1.0;
    cv::log(work, work);
    cv::normalize(work, work, 0.0, 255.0, cv::NORM_MINMAX);
    cv::convertScaleAbs(work, work);
    cv::GaussianBlur(work, work, cv::Size(3, 3), 2.0, 2.0);

    // Mean-shift smoothing flattens the liquid and the air into even areas;
    // the Gabor filter then picks out the meniscus's slanted texture.
    cv::Mat colour, smoothed;
    cv::cvtColor(work, colour, cv::COLOR_GRAY2BGR);
    cv::pyrMeanShiftFiltering(colour, smoothed, 41, 61, 1,
                              cv::TermCriteria(cv::TermCriteria::MAX_ITER + cv::TermCriteria::EPS, 5, 1.0));
    cv::Mat grey;
    cv::cvtColor(smoothed, grey, cv::COLOR_BGR2GRAY);
    const cv::Mat gabor = cv::getGaborKernel(cv::Size(27, 27), 5.0, 0.2617993877991494, 1.0, 45.0, 0.0, CV_64F);
    cv::Mat texture;
    cv::filter2D(grey, texture, CV_8U, gabor);

    cv::Mat mask;
    cv::threshold(texture, mask, 0, 255, cv::THRESH_BINARY | cv::THRESH_TRIANGLE);
    Erode(mask);
    return mask;
}

cv::Mat CreateTrailMeniscusMask(int strip)
{
    const cv::Mat& image = Strip(strip);
    FractionationState& state = g_FractionationState;
    state.trailFrame = image.colRange(image.cols - TrailRegionWidth(image), image.cols).clone();

    cv::Mat work;
    state.trailFrame.convertTo(work, CV_8U, 1.0 / 256.0);
    cv::GaussianBlur(work, work, cv::Size(3, 3), 0.0);
    cv::Mat mask;
    cv::threshold(work, mask, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
    Erode(mask);
    return mask;
}

void FindLargestContour(const cv::Mat& image, Contours& contours, std::vector<cv::Vec4i>& hierarchy, int& index)
{
    contours.clear();
    hierarchy.clear();
    cv::findContours(image, contours, hierarchy, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_NONE);
    double largest = 0.0;
    for (size_t i = 0; i < contours.size(); ++i) {
        const double area = std::fabs(cv::contourArea(contours[i]));
        if (area > largest) {
            largest = area;
            index = static_cast<int>(i);
        }
    }
}

cv::Mat MaskLeadMeniscus(int strip, const Contours& contours, int index)
{
    const cv::Mat& image = Strip(strip);
    FractionationState& state = g_FractionationState;
    const int width = LeadRegionWidth(image);
    state.leadFrame = image.colRange(0, width).clone();
    state.leadFrame = CombineByContour(state.leadFrame, NoiseFreeBackground16(0, width), contours, index);
    return JoinAsFloat(state.leadFrame, image.colRange(width, image.cols));
}

cv::Mat MaskTrailMeniscus(int strip, const Contours& contours, int index)
{
    const cv::Mat& image = Strip(strip);
    FractionationState& state = g_FractionationState;
    const int first = image.cols - TrailRegionWidth(image);
    state.trailFrame = image.colRange(first, image.cols).clone();
    const cv::Mat background =
        NoiseFreeBackground16(g_FractionationState.noiseFreeBackground.cols - (image.cols - first),
                              g_FractionationState.noiseFreeBackground.cols);
    state.trailFrame = CombineByContour(background, state.trailFrame, contours, index);
    return JoinAsFloat(image.colRange(0, first), state.trailFrame);
}
