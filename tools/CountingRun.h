#pragma once

// One run of circular cell counting on the image of the active view, as the
// counting tool makes it: the request built from the tool's control texts
// checks itself, the detection runs with those options, and the detection
// report and its summary with the height histograms are written beside the
// image.
//
// Relative height of a detection: h = (Lower - y) / (Lower - Upper) with the
// magnet rows (0 on the lower magnet line, 1 on the upper one). Histogram:
// 30 bins per type, bin trunc(h x 29) held inside 0..29.

#include <opencv2/core.hpp>

#include <array>
#include <string>
#include <vector>

#include "analysis/CellDetection.h"
#include "analysis/CountingAlgoOptions.h"
#include "tools/CountingParamSet.h"

struct CountingRequest {
    CountingParamValues values;  // the parameter controls
    std::string upperMagnet;     // edit texts
    std::string lowerMagnet;
    bool createResultsFiles = false;
    bool openSummary = false;
    double pixelsPerMm = 1000.0;  // [CalibrationSettings] image_pixels_per_mm

    // The tool's request from its controls, with the main settings file's
    // pixel scale.
    static CountingRequest FromControls(const CountingParamValues& values, const std::string& upperMagnet,
                                        const std::string& lowerMagnet, bool createResultsFiles, bool openSummary);

    // The problems that refuse a run on an image of `imageRows` rows, one
    // line each: the radius sweep, the region, and numbers that do not read,
    // equal magnet rows or a pixel scale that is not positive.
    std::vector<std::string> Validate(int imageRows) const;
    // The detection's options (enabled flag off); meaningful after Validate
    // found nothing.
    CountingAlgoOptions Options() const;
    int32_t Upper() const;
    int32_t Lower() const;
};

struct CountingResult {
    std::vector<std::vector<CellDetection>> detections;  // type 1, type 2
    cv::Mat outputImage;  // filled only without "Restore Image"
};

// Runs the detection; the output image is made only when the request's
// "Restore Image" is off.
void RunCounting(const cv::Mat& image, const CountingRequest& request, CountingResult& result);

// Relative height between the magnets, and its histogram bin.
double RelativeHeight(int32_t y, int32_t lower, int32_t upper);
int HeightBin(double h);

// The report beside the image: <image less extension>.txt, else the first
// free <...>[n].txt for n = 1..100, else number 100 (overwritten).
std::string ChooseCountingReportPath(const std::string& imagePath);
// The summary that goes with a report: ".txt" becomes ".sum.txt".
std::string CountingSummaryPath(const std::string& reportPath);

// Writes the detection report and the summary. False with "Can't create
// file: <path>" in `error`; a report written before the summary failed stays.
bool WriteCountingReports(const std::string& imagePath, const CountingRequest& request, const CountingResult& result,
                          const std::string& reportPath, std::string* error);
