#include "analysis/FractionationAnalysis.h"

#include "analysis/AnalysisEngineState.h"
#include "analysis/AnalysisStepGuard.h"
#include "analysis/BackgroundModels.h"
#include "analysis/ChannelGeometry.h"
#include "analysis/ExperimentFolder.h"
#include "analysis/FractionationReport.h"
#include "analysis/MeniscusMasks.h"

#include <opencv2/core.hpp>

#include <algorithm>
#include <cmath>
#include <exception>
#include <stdexcept>

namespace {

// The lead meniscus's texture and the wedge below it reach this many rows and
// columns beyond the contour's first point.
constexpr int kLeadWedge = 175;
constexpr int kMinimumStrips = 5;

bool Refuse(const std::string& reason, std::string* error)
{
    if (error)
        *error = kConductFractionationPrefix + reason;
    return false;
}

int Whole(double value) { return static_cast<int>(std::trunc(value)); }

// The channel rows of each frame from the lead to the trail meniscus, from
// the lead meniscus's column to the frame's right edge, rotated, shifted and
// brought to the run's mean exposure. Frames load in parallel; the strips
// keep the frames' order. False with the first unreadable frame's path.
bool LoadStrips(const std::string& folder, const ExperimentDataSet& data, int first, int last,
                std::vector<cv::Mat>& strips, std::string& unreadable)
{
    const int count = last - first + 1;
    strips.assign(static_cast<size_t>(count), cv::Mat());
    std::vector<std::exception_ptr> errors(static_cast<size_t>(count));
    const int firstColumn = Whole(g_LeadMeniscusSearch.matchX);
    cv::parallel_for_(cv::Range(0, count), [&](const cv::Range& range) {
        for (int i = range.start; i < range.end; ++i) {
            try {
                const FrameRecord& frame = data.frames.at(static_cast<size_t>(first + i));
                // A frame without a recorded exposure is taken as it is.
                const double gain = frame.brightFieldExposure > 0.0
                                        ? data.meanBrightFieldExposure / frame.brightFieldExposure
                                        : 1.0;
                LoadAnalysisImage(strips[static_cast<size_t>(i)],
                                  ResolveExperimentImagePath(folder, frame.brightFieldFile), firstColumn,
                                  data.imageWidth, data.upperChannelRow, data.lowerChannelRowEnd,
                                  data.detectedOffset, data.detectedRotation, Whole(data.rotationCentreX),
                                  Whole(data.rotationCentreY), gain);
            } catch (...) {
                errors[static_cast<size_t>(i)] = std::current_exception();
            }
        }
    });
    for (int i = 0; i < count; ++i) {
        if (errors[static_cast<size_t>(i)])
            std::rethrow_exception(errors[static_cast<size_t>(i)]);
        if (strips[static_cast<size_t>(i)].empty()) {
            unreadable = ResolveExperimentImagePath(folder, data.frames[static_cast<size_t>(first + i)].brightFieldFile);
            return false;
        }
    }
    return true;
}

// The sample ends at the trail meniscus's far edge: what the last strip shows
// beyond it is cleared.
void BlankBeyondTrailMeniscus()
{
    cv::Mat& last = g_FractionationState.frames.back();
    const double edge =
        g_TrailMeniscusSearch.templateWidth + g_TrailMeniscusSearch.matchX - g_LeadMeniscusSearch.matchX;
    const int keep = static_cast<int>(std::clamp(std::trunc(edge), 0.0, static_cast<double>(last.cols)));
    cv::Mat blanked = cv::Mat::zeros(last.size(), last.type());
    last.colRange(0, keep).copyTo(blanked.colRange(0, keep));
    last = blanked;
    g_FractionationState.trailFrame = blanked.clone();
}

cv::Mat MinusBackground(const cv::Mat& strip, int firstColumn)
{
    cv::Mat difference;
    strip.convertTo(difference, CV_32F);
    const cv::Mat& background = g_FractionationState.noiseFreeBackground;
    return difference - background.colRange(firstColumn, firstColumn + difference.cols);
}

// The whole lead strip; with a lead meniscus, the meniscus region masked and
// the wedge to the left of the meniscus cleared.
cv::Mat LeadDifference()
{
    const bool leadFound = std::find(g_LeadMeniscusSearch.matchFlags.begin(), g_LeadMeniscusSearch.matchFlags.end(),
                                     true) != g_LeadMeniscusSearch.matchFlags.end();
    if (!leadFound)
        return MinusBackground(g_FractionationState.frames.front(), 0);

    Contours contours;
    std::vector<cv::Vec4i> hierarchy;
    int index = -1;
    FindLargestContour(CreateLeadMeniscusMask(0), contours, hierarchy, index);
    // A mask without a region leaves nothing to mask.
    if (index < 0)
        return MinusBackground(g_FractionationState.frames.front(), 0);

    cv::Mat difference = MinusBackground(MaskLeadMeniscus(0, contours, index), 0);
    const int c = contours[static_cast<size_t>(index)].front().x;
    for (int r = 0; r < std::min(kLeadWedge, difference.rows); ++r) {
        const int end = std::min(c + kLeadWedge - r, difference.cols);
        if (end > 0)
            difference.row(r).colRange(0, end).setTo(0.0f);
    }
    return difference;
}

// The last w columns of the trail strip with the trail meniscus's dark
// region replaced by the background.
cv::Mat TrailDifference(int strip, int w)
{
    const cv::Mat& image = g_FractionationState.frames.at(static_cast<size_t>(strip));
    cv::Mat inverted = 255 - CreateTrailMeniscusMask(strip);
    Contours contours;
    std::vector<cv::Vec4i> hierarchy;
    int index = -1;
    FindLargestContour(inverted, contours, hierarchy, index);
    const cv::Mat masked = index >= 0 ? MaskTrailMeniscus(strip, contours, index) : image;
    return MinusBackground(masked, 0).colRange(image.cols - w, image.cols);
}

}  // namespace

std::vector<double> ComputeRowSums(const cv::Mat& image)
{
    cv::Mat sums;
    cv::reduce(image, sums, 1, cv::REDUCE_SUM, CV_64F);
    std::vector<double> result(static_cast<size_t>(sums.rows));
    const int splitRow = Whole(g_FlowGeometry.splitRow + 0.5) - 100;
    for (int r = 0; r < sums.rows; ++r) {
        const double sum = sums.at<double>(r, 0);
        result[static_cast<size_t>(r)] = sum;
        if (r < splitRow)
            g_FractionationState.topFraction += sum;
        else if (r > splitRow)
            g_FractionationState.bottomFraction += sum;
    }
    return result;
}

void AddRowSumsToProfile(std::vector<double>& profile, const std::vector<double>& sums)
{
    for (size_t r = 0; r < profile.size() && r < sums.size(); ++r)
        profile[r] = std::trunc(profile[r]) + std::trunc(sums[r]);
}

bool ConductFractionationAnalysis(std::string folder, std::string experimentName, std::string reportName,
                                  ExperimentDataSet data, std::string* error)
{
    return RunGuardedStep(kConductFractionationPrefix, error, [&] {
        FractionationState& state = g_FractionationState;
        // Each run starts from an empty profile and empty sums.
        ResetFractionationState();

        const int first = Whole(g_LeadMeniscusSearch.frameIndex);
        const int last = Whole(g_TrailMeniscusSearch.frameIndex);
        if (first < 0 || last >= static_cast<int>(data.frames.size()))
            return Refuse("the meniscus frames lie outside the experiment's frames", error);
        const int n = last - first + 1;
        if (n < kMinimumStrips)
            return Refuse("at least " + std::to_string(kMinimumStrips) +
                              " frames from the lead to the trail meniscus are needed, there are " +
                              std::to_string(std::max(n, 0)),
                          error);

        std::string unreadable;
        if (!LoadStrips(folder, data, first, last, state.frames, unreadable))
            return Refuse("could not read " + unreadable, error);
        if (g_TrailMeniscusSearch.found)
            BlankBeyondTrailMeniscus();

        ComputeMaximumPixelBackground();
        ComputeMedianPixelBackground(n);
        ComputeNoiseFreeMaximumPixelBackground();

        const int width = state.frames.front().cols;
        const int w = static_cast<int>(std::clamp(std::trunc(g_FlowGeometry.pixelShiftPerFrame), 0.0,
                                                  static_cast<double>(width)));
        state.intensityProfile = ComputeRowSums(LeadDifference());
        // Each later frame adds only the w columns that are new in it.
        if (w > 0) {
            for (int i = 1; i < n - 1; ++i) {
                const cv::Mat& strip = state.frames[static_cast<size_t>(i)];
                const cv::Mat difference = MinusBackground(strip.colRange(strip.cols - w, strip.cols), strip.cols - w);
                AddRowSumsToProfile(state.intensityProfile, ComputeRowSums(difference));
            }
            // The trail strip counts only when its meniscus lies in its new columns.
            if (g_TrailMeniscusSearch.matchX > width + g_LeadMeniscusSearch.matchX - w)
                AddRowSumsToProfile(state.intensityProfile, ComputeRowSums(TrailDifference(n - 1, w)));
        }

        std::string reportError;
        if (!WriteCellFractionationReport(folder, experimentName, reportName, data, &reportError))
            return Refuse(reportError, error);
        return true;
    });
}
