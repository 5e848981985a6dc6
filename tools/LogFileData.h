#pragma once

// What the fractionation tool needs of an image folder's capture log: for
// every captured image the speeds of the two syringe pumps, and from them the
// channel divider, the share of the channel height from the upper wall that
// carries pump 1's part of the flow.
//
// Errors: a false result and the reader's message in the caller's text;
// nothing is thrown and the log file is never changed.

#include "support/SortedPtrList.h"
#include "support/String.h"

#include <string>

struct LogFileRow {
    Tovanix::String imageFile;  // field 1 of the row, as written
    float pump1Speed = 0.0f;    // microlitres per minute
    float pump2Speed = 0.0f;
};

// The header a log must carry: the 13 columns of a log with the pump columns.
inline constexpr const char* kCaptureLogHeader =
    "ImageFile\tDate\tTime\tExposure(us)\tStatus\tError\tIllumChan\tPump1ValvePos\tPump2ValvePos\t"
    "Pump1SpeedULpMin\tPump2SpeedULpMin\tPump1VolUL\tPump2VolUL";

class LogFileData {
public:
    LogFileData();

    Tovanix::String LogPath;  // empty when no log is loaded
    // Rows by image file name without regard to case; a repeated name is refused.
    Tovanix::SortedPtrList<LogFileRow, Tovanix::TextOrderNoCase<&LogFileRow::imageFile>> Rows;

    // Empties the path and rows, then finds and reads the one "*.log" of the
    // folder; an experiment's "Images" folder (any case) without a log of
    // its own takes the one of the experiment folder above it. An empty
    // folder text loads nothing and succeeds. On a failed
    // read the path is emptied; rows read before the failing line stay.
    bool Load(const std::string& folder, std::string& error);
    // Reads the file at LogPath into the rows.
    bool LoadFromText(std::string& error);
    // The divider of the image whose file name (any case) has a row.
    bool GetChannelDivider(const char* imagePath, double& divider, std::string& error) const;
};

// The share x of the channel height, counted from the upper wall, for which
// 3x^2 - 2x^3 = q1 / (q1 + q2): 0.5 for equal speeds, 0 for q1 = 0, 1 for
// q2 = 0. Speeds are zero or more and finite.
float ComputeFlowDividerPosition(float q1, float q2);
