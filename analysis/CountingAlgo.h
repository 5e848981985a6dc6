#pragma once

// Circular cell counting: finds round cells of up to two configured sizes in
// a 16-bit image by sweeping the trial radius around each type's nominal
// radius, running the ring filter and the count filter at every radius, and
// thinning overlapping detections within and between the types.

#include "analysis/CellDetection.h"
#include "analysis/CountingAlgoOptions.h"

#include <opencv2/core.hpp>

#include <vector>

// The trial radii of one type, in the order they are tried: the nominal
// radius r0, then r0 + d and (when at least 3 pixels) r0 - d for
// d = 1, 1 + k, 1 + 2k, ... up to the sweep s, with the step k chosen so that
// no side has more than six offsets.
std::vector<double> BuildRadiusList(double nominalRadius, int sweep);

// Removes overlapping detections between the two types: of an overlapping
// pair the higher score stays, a tie keeps the type-1 detection. All pairs
// are judged before anything is removed; the rest keep their order.
void ThinDetectionsBetweenTypes(std::vector<CellDetection>& type1, std::vector<CellDetection>& type2);

// Counts the cells of a 16-bit single-channel image. `detections` receives
// one list per type (type 1 first); it is given two lists when it has fewer,
// and detections are appended. `filteredImage`, when given, receives the
// working image after the last filter run. False only for an image of
// another type.
bool CountingAlgo(const cv::Mat& image, const CountingAlgoOptions& options,
                  std::vector<std::vector<CellDetection>>& detections, cv::Mat* filteredImage = nullptr);
