#pragma once

// The capture log of an image folder, read so that every analysed image gets
// its capture time (minutes since the log's first row) and the pump speeds
// and volumes at that moment. The log lies in the folder and is named by its
// bare time stamp, YYYYMMDD-HHMM-SS.log.

#include "platform/CString.h"
#include "support/String.h"

#include <cstdint>
#include <string>
#include <vector>

class ImageLogFileData {
public:
    int32_t searchStart = 0;  // first row GetElapsedMinutes searches
    Tovanix::String logPath;  // the log found by Load
    // One entry per accepted row in each list.
    std::vector<std::string> imageFiles;
    std::vector<uint64_t> timeStamps;  // 100 ns units since 1601, local time as written
    std::vector<float> pump1Speed;     // microlitres per minute; 0 where the log has none
    std::vector<float> pump2Speed;
    std::vector<float> pump1Volume;    // microlitres
    std::vector<float> pump2Volume;

    // Finds and parses the folder's capture log. True when a log was found,
    // opened and its header line found, however many rows it held. On
    // failure `error` holds the message and the lists keep what they had.
    bool Load(const char* folder, CString& error);

    // Makes the row of the given image (any letter case) the first row that
    // GetElapsedMinutes searches.
    bool SetFirstFileName(const char* fileName, CString& error);

    // Minutes from the log's first row to the image's row, negative for a row
    // earlier than the first. `pumpValues`, when given, receives pump 1
    // speed, pump 2 speed, pump 1 volume and pump 2 volume (zeros for an
    // earlier row). 0, with `pumpValues` untouched, for an image not found
    // from searchStart on.
    double GetElapsedMinutes(const char* fileName, float* pumpValues = nullptr) const;

private:
    void ParseRow(const char* line, int layout);
};
