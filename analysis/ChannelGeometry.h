#pragma once

// Helpers that prepare the images of a recorded experiment for analysis and
// find the channel's split line in them: rotation about a centre, loading with
// rotation, crop and gain, column profiles and their quadratic fit, column
// flattening, cross-faded joins of montage strips, template matching over the
// left third of an image, and the split-line search with the installed
// split-line templates.
//
// Error contract: none of these functions keeps state. Errors of the image
// library (an unreadable template, a band or crop outside the image, a
// template larger than the searched area) and the float conversion errors of a
// template description propagate to the caller as exceptions; the analysis
// pipelines catch and report them.

#include <opencv2/core.hpp>

#include <string>
#include <vector>

// Work record of the montage image, shared by the profile fit, the column
// flattening and the cross-faded join.
struct MontageWork {
    double reference = 0.0;       // reference value of NormaliseColumnsByProfile
    int overlap = 0;              // overlap width of CrossFadeJoin, in columns
    cv::Mat leftWork;             // the left image's overlapping columns
    cv::Mat rightWork;            // the right image's overlapping columns
    std::vector<double> fitted;   // the last fitted profile
};

// Rotates `image` in place about (centreX, centreY) by `angle` radians and
// moves it `xShift` pixels to the right; bilinear, edges replicated.
void RotateImageAboutCentre(cv::Mat& image, double angle, double centreX, double centreY, int xShift);

// Reads a grayscale image at its own depth, rotates it (only when the angle is
// not 0, with the negated x shift), keeps rows firstRow..endRow-1 and columns
// firstColumn..endColumn-1 when they narrow the image, and applies the gain
// when it is not 1. Empty when the file cannot be read.
cv::Mat& LoadAnalysisImage(cv::Mat& image, const std::string& path, int firstColumn, int endColumn, int firstRow,
                           int endRow, int xShift, double angle, int centreX, int centreY, double gain);

// Multiplies every pixel of an 8- or 16-bit single-channel image by the gain,
// truncating and clamping to the depth's range. False, image untouched, for a
// gain of 0 or less (or not a number) and for other depths.
bool ApplyGain(cv::Mat& image, double gain);

// The mean of each column of a 16-bit single-channel image.
std::vector<double> ComputeColumnMeanProfile(const cv::Mat& image);

// Least-squares fit of y = c2 x^2 + c1 x + c0; returns the fitted values at
// the given x (also stored in `fitted` and in work.fitted).
std::vector<double>& FitQuadraticProfile(MontageWork& work, std::vector<double>& fitted,
                                         const std::vector<double>& y, const std::vector<double>& x);

// Element-wise quadratic + linear + constant.
std::vector<double> SumQuadraticTerms(const std::vector<double>& quadratic, const std::vector<double>& linear,
                                      double constant);

// `result` = the 16-bit source with each pixel of column j divided by
// profile[j] / reference, clamped to 0..65535. A three-channel source is
// worked in gray and returned as three channels. A column without a usable
// profile value (missing, 0 or not a number) is copied unchanged.
cv::Mat& NormaliseColumnsByProfile(double reference, cv::Mat& result, const std::vector<double>& profile,
                                   const cv::Mat& source);

// Joins `right` to the right of `left` (8-bit, three channels) with the last
// work.overlap columns of left cross-faded into the first ones of right.
void CrossFadeJoin(MontageWork& work, cv::Mat& right, cv::Mat& left);

// Normalised-correlation match of the template over the image's columns
// 0..columns/3; the best score and its top-left position.
void MatchTemplateNormed(const cv::Mat& image, const cv::Mat& templ, double& bestScore, int& bestX, int& bestY);

// Finds the split line in an 8-bit channel image (which is blurred in place)
// with the split-line templates of the data root that list `cartridgeType`.
// offset: the split line's row relative to the channel's middle row; rotation
// in radians and its centre. False when there is no template description or no
// template line for the cartridge type; true with zero outputs when the match
// is too weak.
bool FindSplitLine(cv::Mat& image, double pixelsPerMm, double boundaryRow1, double boundaryRow2,
                   const std::string& cartridgeType, int& offset, double& rotation, double& centreX,
                   double& centreY);
