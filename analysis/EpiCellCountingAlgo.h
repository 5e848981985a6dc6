#pragma once

// Epifluorescence cell counting: cells show as small dark objects. Two dark
// thresholds come from percentiles of the region of interest; the connected
// regions between them (islands) whose pixel count, extent and fill ratio
// look like a cell become detections. The parameters form a named set kept
// in a ".epi_counting_params" file (section [EpiCellCountingAlgoDlg]).
//
// Errors: false with one text that starts with the operation's name
// ("EpiCellCountingAlgo() - ..."), or the parameters' validation messages.

#include "analysis/CellDetection.h"
#include "platform/CStringArray.h"
#include "support/String.h"

#include <opencv2/core.hpp>

#include <array>
#include <cstdint>
#include <vector>

struct EpiCellCountingAlgoParams {
    bool enabled = false;  // set by the owner once the set is loaded and valid
    int32_t Left = 100;    // region of interest, inclusive pixels
    int32_t Top = 100;
    int32_t Right = 1000;
    int32_t Bottom = 1000;
    bool UseBgImageIfAvail = true;  // correct with the folder's background image of the image's type
    float DarkPct0 = 0.002f;        // fraction of the region for threshold 0: an object's darkest pixel
    float DarkPct1 = 0.01f;         // fraction for threshold 1: every pixel of an object
    float MaxRatio = 0.35f;         // largest pixel count / side^2
    int32_t MinPixelCount = 60;
    int32_t MinSize = 20;  // smallest side of the enclosing square, pixels
    // Display options of the counting dialog; not stored.
    bool showThreshold0Pixels = false;
    bool showThreshold1Pixels = false;
    bool showFoundObjectPixels = false;
    std::array<uint8_t, 32> digest{};  // of the values last loaded or saved

    // Missing or unparsable keys take the defaults above. Recomputes the digest.
    bool LoadFromFile(const char* path);
    // Writes every stored key; false when a write failed. Recomputes the digest.
    bool SaveToFile(const char* path);
    // SHA-256 of the 37-byte packed record of the stored values.
    void ComputeDigest(uint8_t out[32]) const;
    // True when `error` stays empty; otherwise one line per failed check.
    bool Validate(Tovanix::String& error) const;
    // The block that heads result files, or one line when not enabled.
    bool AppendDescription(CStringArray& lines) const;
};

// Overlay codes written by EpiCellCountingAlgo.
enum : uint8_t { kEpiCodeThreshold0 = 1, kEpiCodeThreshold1 = 2, kEpiCodeFoundObject = 3 };

// Appends one detection per accepted island: x, y the rounded centroid,
// radius = side / 3. `overlay`, when given, receives the codes the params'
// display options choose (it is made an 8-bit image of the image's size when
// it is not one). `background`, when given, flattens the region first.
bool EpiCellCountingAlgo(const cv::Mat& image, const EpiCellCountingAlgoParams& params,
                         std::vector<CellDetection>& detections, Tovanix::String& error, cv::Mat* overlay = nullptr,
                         const cv::Mat* background = nullptr);
