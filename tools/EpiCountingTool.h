#pragma once

// The epifluorescence counting tool without its window: the set files of
// the LIB folder (".epi_counting_params"), the texts its edits show and how
// they read back, change detection by the digest of the values, the region
// it previews on the image views, and a run on an image document.
//
// Errors: false with the message in `error`.

#include <opencv2/core.hpp>

#include <string>
#include <vector>

#include "analysis/CellDetection.h"
#include "analysis/EpiCellCountingAlgo.h"
#include "app/ActiveROI.h"

class CImageDoc;

constexpr const char* kEpiCountingExtension = ".epi_counting_params";

// The set file of a name: at most 256 valid file-name characters (an empty
// name passes); the LIB folder is made when missing.
bool GetEpiParamSetPath(const std::string& name, std::string* path, std::string* error);

// The texts of the tool's edits.
struct EpiControlTexts {
    std::string darkPct0, darkPct1, minPixelCount, minSize, maxRatio;
    std::string left, top, right, bottom;
    bool useBgImageIfAvail = true;
};

// DarkPct0 and DarkPct1 "%6.4f", MinPixelCount and MinSize "%d", MaxRatio
// "%5.3f", the region as whole numbers.
EpiControlTexts EpiParamsToControls(const EpiCellCountingAlgoParams& params);
// Reads the texts into the record; a text that is not a number gives the
// fallback (DarkPct0 0.002, DarkPct1 0.01, MinPixelCount 60, MinSize 20,
// MaxRatio 0.25, region 100, 100, 1000, 1000). The debug flags and the
// stored digest are left as they are.
void EpiControlsToParams(const EpiControlTexts& texts, EpiCellCountingAlgoParams& params);
// True when the record's values differ from those last loaded or saved.
bool EpiParamsChanged(const EpiCellCountingAlgoParams& params);

// The region the views preview, from the four region texts; a side whose
// text is not a whole number keeps its previous value.
void PublishEpiRegion(const EpiControlTexts& texts, ROIRect& region);

// Writes the record as the named set (stores the new digest). Messages:
// the path's, "Can't write to file: %s".
bool SaveEpiParamSet(const std::string& name, EpiCellCountingAlgoParams& params, std::string* error);

struct EpiRunResult {
    std::vector<CellDetection> detections;
    cv::Mat debugImage;  // made only when a debug flag is set
};

// Reads the document's image again from its file, checks the record, and
// counts (with the folder's background image of the image's type when the
// record asks for one and it exists). Messages: the reload's, the record's
// checks, "Must have a valid ROI" (no region was ever made active), "No
// valid image loaded", the algorithm's.
bool RunEpiCountingOnDocument(CImageDoc& document, const EpiCellCountingAlgoParams& params, EpiRunResult& result,
                              std::string* error);
