#pragma once

// One fractionation run: for every selected image, the background-corrected
// cell signal of each row of the region, weighted by the flow across the
// channel, is cut at the row where the two streams meet (from the pump
// speeds of the capture log) and the share above the cut is the image's top
// fraction; the images are combined weighted by their signal. The "Cell
// Fractionation Report" is written into the image folder.
//
// Runs without a window: the tool builds the request, the worker returns
// the errors it met (each to be logged and shown) and the report's path.

#include "tools/FractionationTool.h"
#include "tools/LogFileData.h"
#include "tools/ToolFrame.h"

#include <string>
#include <vector>

struct FractionationRequest {
    std::string folder;                        // the tool's folder text
    std::vector<std::string> backgroundPaths;  // full paths
    std::string roiName;                       // the ROI combo's text
    std::string paramSetName;                  // the projection set combo's text
    std::vector<std::string> imagePaths;       // selected entries, full paths, list order
    bool brightField = true;                   // signal = baseline minus image
    std::string programName = "Vellora";
    std::string programVersion;
};

struct FractionationImageResult {
    std::string path;
    float fractTop = 0.0f;
    float weight = 0.0f;  // normalised once the run has combined the images
    float chanDiv = 0.0f;
    std::vector<int32_t> projection;  // weighted projection, one per ROI row; empty when not processed
};

struct FractionationResult {
    std::vector<std::string> errors;  // in the order met
    std::string reportPath;           // empty when no report was written
    double totalTop = 0.0;
    std::vector<FractionationImageResult> images;
};

// The divider row: (lower - upper + 1) x divider + upper, halves away from 0.
int32_t FractionationDividerRow(int32_t upper, int32_t lower, double divider);

FractionationResult WORKER_THREAD_AnalyzeFractionation(const FractionationRequest& request, const LogFileData& log,
                                                       const ToolWorkerContext& context);
