#pragma once

// Opening a recorded experiment folder: its capture log, settings file and
// images, the capture log parsed into one row per bright-field frame, and the
// frames recorded while the pumps moved.
//
// Error contract: the operations return false and report nothing themselves;
// ReadExperimentSettings takes the step's error text. ParseCaptureLog lets a
// number cell that does not parse leave as the standard library's exception;
// the analysis steps that call it catch and report it (RunGuardedStep).

#include "analysis/ExperimentDataSet.h"

#include <cstdint>
#include <string>
#include <vector>

// A run of consecutive frame numbers in a row list: first row, one past the
// last row, number of rows. A single-row run has first -1.
struct FrameRun {
    int32_t first = -1;
    int32_t end = 0;
    int32_t length = 0;
};

// Finds the first "*.log" (false when none), the images ("Images/*.png", else
// "*.png") and the first "*.ini" of the folder.
bool OpenExperimentFolder(ExperimentDataSet& data, const std::string& folder);

// Channel rows, crop rows, calibration and the experiment's name from the
// experiment's settings file. Missing keys take their defaults; always true.
bool ReadExperimentSettings(ExperimentDataSet& data, const std::string& iniPath, std::string* error);

// Appends the log's bright-field rows with their fluorescence images, the
// reference frame, the cartridge code, the pumping frames and the mean
// exposures. False when the log cannot be read, is malformed, has fewer than
// two rows, or has no run of at least two consecutive pumping frames.
bool ParseCaptureLog(ExperimentDataSet& data, const std::string& logPath);

// Milliseconds of a log's Date ("YYYY/MM/DD") and Time ("HH:MM:SS.mmm") in
// local time, low 32 bits.
uint32_t ParseLogTimestamp(const std::string& date, const std::string& time);

std::vector<FrameRun> FindConsecutiveFrameRuns(const std::vector<FrameRecord>& rows);

// Appends the rows of the longest run (the earliest of equals) to the data
// set's frames. False when every run has a single row.
bool SelectLongestFrameRun(ExperimentDataSet& data, const std::vector<FrameRun>& runs,
                           const std::vector<FrameRecord>& rows);

// The image's path: in the folder's Images folder when there is one, else in
// the folder itself.
std::string ResolveExperimentImagePath(const std::string& directory, const std::string& fileName);

// The image paths of the eleventh frame. False with fewer than 11 frames or
// when a named image does not exist.
bool GetReferenceFrameImageFiles(const ExperimentDataSet& data, std::string& brightField, std::string& green,
                                 std::string& red);

// Clears a wanted flag unless every frame but the last has that fluorescence
// image. Returns the frame count - 1.
int32_t CheckFluorescenceChannels(const ExperimentDataSet& data, bool& greenWanted, bool& redWanted);
