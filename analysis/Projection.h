#pragma once

// Row projections of a channel image and the Gaussian fits of their peaks.
//
// The row projection of a 16-bit image over a region of interest holds, per
// region row from top to bottom, the integer mean of the row's pixels from the
// left to the right column. ComputeAndPlotProjection normalises it, smooths
// it, finds its strongest peaks (or valleys) and fits each with a Gaussian by
// a pattern search; the image view draws the result beside the region, the
// analysis tools use the file-based routines on series of images.
//
// Errors: a false result and a text that starts with the routine's name. A
// region that is not inside the image, or a baseline whose length is not the
// region's height, is refused before any pixel is read.

#include "analysis/ProjectionAnalysisParams.h"
#include "platform/CString.h"
#include "support/String.h"

#include <opencv2/core.hpp>

#include <cstdint>
#include <memory>
#include <vector>

// One fitted peak or valley. Positions and widths are in profile x units
// (fractions of the region's height from its top).
struct ProjectionPeak {
    bool errorFlag = false;  // a probe of the fit left the profile
    double stdev = 0.0;
    double amplitude = 0.0;  // fitting-space value at the centre
    double centre = 0.0;
    double fitError = 0.0;  // final GaussianFitError; 1e200 when it could not be computed
    int32_t index = 0;      // profile sample where it was found
    // The fitted curve, when kept: x values and 1 - fitted value.
    std::unique_ptr<std::vector<double>> curveX;
    std::unique_ptr<std::vector<double>> curveY;

    void ReleaseCurves();
};

// Releases every record's curves and empties the list.
void DeleteProjectionResults(std::vector<ProjectionPeak>& peaks);

// A fit error that cannot be computed.
inline constexpr double kInvalidFitError = 1e200;

// Where ComputeAndPlotProjection draws. The view supplies a canvas over its
// painter; positions are device pixels.
struct ProjectionPoint {
    int x = 0;
    int y = 0;
};
struct ProjectionPen {
    int red = 0;
    int green = 0;
    int blue = 0;
    int width = 0;  // 0: one device pixel
};
class ProjectionCanvas {
public:
    virtual ~ProjectionCanvas() = default;
    virtual void Polyline(const std::vector<ProjectionPoint>& points, const ProjectionPen& pen) = 0;
};
struct ProjectionDrawTarget {
    ProjectionCanvas* canvas = nullptr;
    double left = 0, top = 0, right = 0, bottom = 0;  // the image's rectangle on the device
    double vx0 = 0, vx1 = 1, vy0 = 0, vy1 = 1;        // visible part of the image, as fractions
};

// The row projection of the params' region. False when the image is not a
// 16-bit single-channel image or the region is empty or not inside it; the
// message starts with `operation`.
bool ComputeRowProjection(const cv::Mat& image, const ProjectionAnalysisParams& params, std::vector<int32_t>& projection,
                          const char* operation, CString& error);

// Projects, normalises and, when the params validate, smooths and fits the
// peaks into `peaks`; draws on `target` when given and writes the first
// peak's fit to `resultFile` when given. With invalid params the profile is
// still computed (and drawn) and `error` holds the checks' messages. False
// only for a region or baseline that does not fit the image.
bool ComputeAndPlotProjection(const cv::Mat& image, const ProjectionAnalysisParams& params,
                              std::vector<ProjectionPeak>& peaks, int32_t& elapsedMs, CString& error,
                              const ProjectionDrawTarget* target, const char* resultFile);

// Smooths `y` in place (window in samples, 0 for none), finds the peaks or
// valleys and fits each. `od` (one per sample, may be shorter) is only
// written to the result file. A result file that cannot be created is
// reported in a message box; the fits are stored all the same.
bool FitProjectionPeaks(const std::vector<double>& x, std::vector<double>& y, const std::vector<float>& od,
                        int smoothingWindow, int peaksToFind, bool findValleys, double stdevIntegrationArea,
                        int integrationSamples, std::vector<ProjectionPeak>& peaks, bool keepCurves,
                        const char* resultFile);

// The mean absolute difference between a Gaussian of the given centre and
// stdev, scaled to v's value at the centre, and v, over `samples` points
// spanning centre +- stdev x area, divided by that amplitude. x ascending.
// kInvalidFitError when a point falls outside [x first, x last).
double GaussianFitError(const std::vector<double>& x, const std::vector<double>& v, double centre, double stdev,
                        double stdevIntegrationArea, int integrationSamples, double* amplitude = nullptr,
                        std::vector<double>* curveX = nullptr, std::vector<double>* curveY = nullptr);

// The global maximum (minimum) first, then the strongest local maxima
// (minima) that no sample within window / 2 exceeds (undercuts) and that lie
// more than window / 2 from the global one, at most `count` indexes in all.
// An empty profile gives none.
bool FindProfilePeaks(const std::vector<double>& profile, int count, int window, std::vector<int32_t>& indexes);
bool FindProfileValleys(const std::vector<double>& profile, int count, int window, std::vector<int32_t>& indexes);

// The mean of a forward and a backward running mean of `window` samples
// (shortened at the ends). A window below 2 leaves the values as they are.
bool SmoothProjection(std::vector<double>& values, int window);

// Per region row, the median over the files of their row projections,
// rounded and never below 0. `fileMeans`, when given, receives each file's
// rounded mean projection value.
bool ComputeMedianProjectionOfFiles(const std::vector<Tovanix::String>& files, const ProjectionAnalysisParams& params,
                                    std::vector<int32_t>& median, Tovanix::String& error,
                                    std::vector<int32_t>* fileMeans = nullptr);

// The file's row projection less the baseline (baseline less projection with
// `invert`), never below 0, smoothed and weighted by 1 - 4t^2 across the
// channel (t from -0.5 at the upper wall to +0.5 at the lower), 0 outside it.
bool ComputeChannelWeightedProjection(const char* file, const ProjectionAnalysisParams& params,
                                      const std::vector<int32_t>& baseline, std::vector<int32_t>& projection,
                                      Tovanix::String& error, bool invert);
