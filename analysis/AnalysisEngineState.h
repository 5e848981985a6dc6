#pragma once

// The state through which the analyses of a recorded experiment hand their
// results to each other: the meniscus searches, the flow geometry, the
// fractionation working data and the display settings of the montage.
//
// The state is process-wide, so only one pipeline may use it at a time. Every
// pipeline holds AnalysisEngineLock for its whole run (the main window and a
// script thread can both start one).

#include <opencv2/core.hpp>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

struct MeniscusSearchState {
    int32_t scaleDivisor = 2;           // frames and templates are shrunk by this before matching
    double distanceToRightEdge = 0.0;   // trail: columns from the match's left edge to the frame's right edge
    bool found = false;                 // trail: a template matched
    double frameIndex = 0.0;            // index into the data set's frames
    double matchX = 0.0;                // full-resolution column of the match's left edge
    std::string templateDirectory;
    double templateWidth = 0.0;
    int32_t framesSearched = 0;
    std::vector<bool> matchFlags;       // lead: one per searched frame
    std::vector<std::string> templateFiles;
};

struct FlowGeometry {
    double pixelShiftPerFrame = 0.0;  // columns the sample moves between consecutive frames
    double splitOffsetPercent = 0.0;  // the split relative to the channel centre
    double splitRow = 0.0;            // row of the split in a frame cropped to cropStartRow..cropEndRow
};

struct FractionationState {
    std::vector<double> intensityProfile;
    cv::Mat leadFrame;
    cv::Mat maximumBackground;
    cv::Mat medianBackground;
    cv::Mat noiseFreeBackground;
    cv::Mat maximumRoot;
    cv::Mat trailFrame;
    std::vector<cv::Mat> frames;
    double bottomFraction = 0.0;
    double topFraction = 0.0;
};

struct ChannelDisplaySettings {
    uint16_t brightFieldLow = 0;
    uint16_t brightFieldHigh = 0;
    uint8_t brightFieldMax = 0;
    bool useChannel1 = false;
    uint16_t channel1Low = 0;
    uint16_t channel1High = 0;
    uint8_t channel1Max = 0;
    bool useChannel2 = false;
    uint16_t channel2Low = 0;
    uint16_t channel2High = 0;
    uint8_t channel2Max = 0;
};

extern MeniscusSearchState g_LeadMeniscusSearch;
extern MeniscusSearchState g_TrailMeniscusSearch;
extern FlowGeometry g_FlowGeometry;
extern FractionationState g_FractionationState;
extern ChannelDisplaySettings g_MontageDisplaySettings;

// Held by a pipeline for its whole run; the engine state is touched only
// under it.
std::mutex& AnalysisEngineLock();

// Back to the start-up values (the display settings are kept).
void ResetMeniscusSearches();
void ResetFlowGeometry();
void ResetFractionationState();

struct ExperimentDataSet;

// What every montage and fractionation pipeline does at its end, whatever its
// result: fresh meniscus searches, the pipeline's data set emptied, the flow
// geometry zeroed. Under AnalysisEngineLock.
void ResetAfterPipeline(ExperimentDataSet& data);
