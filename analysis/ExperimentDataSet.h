#pragma once

// The record every analysis of a recorded experiment works on: what the
// experiment folder holds (capture log, settings file, images) and what was
// derived from them. A plain value: analysis steps receive copies, so no step
// changes the pipeline's own record.

#include <cstdint>
#include <string>
#include <vector>

// One channel image of a frame: its file (a name in log rows, a full path in
// frame lists), its exposure in microseconds and its capture index.
struct ChannelImage {
    std::string file;
    double exposure = 0.0;
    int32_t frame = 0;
};

// One capture event (one bright-field row of the capture log) with its
// fluorescence images and the instrument state at capture.
struct FrameRecord {
    std::string brightFieldFile;
    double brightFieldSetExposure = 0.0;
    int32_t brightFieldIndex = 0;
    std::string channel1File;  // "Ex474" / "Em524"; empty when none
    double channel1SetExposure = 0.0;
    int32_t channel1Index = 0;
    std::string channel2File;  // "Ex560" / "Em628"; empty when none
    double channel2SetExposure = 0.0;
    int32_t channel2Index = 0;
    double brightFieldExposure = 0.0;  // microseconds
    double channel1Exposure = 0.0;
    double channel2Exposure = 0.0;
    double pump1Speed = 0.0;  // microlitres per minute
    double pump2Speed = 0.0;
    // Local calendar time in milliseconds, kept in 32 bits: only differences
    // between frames mean anything, and unsigned arithmetic keeps them right
    // across the wrap.
    uint32_t captureTimeMs = 0;
};

// The capture-log parser's name for the same record.
using CaptureLogRow = FrameRecord;

struct ExperimentDataSet {
    FrameRecord referenceFrame;  // the log's second row, taken before sample flow
    std::string directory;
    std::string settingsFilePath;
    std::string captureLogPath;
    std::string experimentName;
    std::string cartridgeCodePrefix;  // at most 3 characters
    std::vector<FrameRecord> logRows;
    std::vector<FrameRecord> frames;  // the longest consecutive run captured while pumping
    std::vector<std::string> imageFiles;  // the folder's images, full paths
    double detectedRotation = 0.0;    // radians
    double rotationCentreX = 0.0;
    double rotationCentreY = 0.0;
    double pixelsPerMm = 0.0;  // -1 once read from settings without a calibration
    double meanBrightFieldExposure = 0.0;
    double meanChannel1Exposure = 0.0;
    double meanChannel2Exposure = 0.0;
    int32_t lowerChannelRowEnd = 0;
    int32_t upperChannelRow = 0;
    int32_t detectedOffset = 0;
    int32_t cropEndRow = 0;
    int32_t cropStartRow = 0;
    int32_t imageHeight = 2048;
    int32_t imageWidth = 2448;
};
