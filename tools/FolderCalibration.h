#pragma once

// The channel and magnet rows of an image folder's experiment, kept in the
// folder's ExperimentSettings.ini (or its parent's): read when a folder tool
// points at the folder, written when the user places a line on an image
// while that tool is shown.
//
// Errors: false with the message in the caller's text; an empty text where
// the failure has nothing to say.

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

// Upper channel, lower channel, upper magnet, lower magnet (the order of the
// image views' lines); -1 for a value the folder's settings file does not
// hold.
using ChannelMagnetRows = std::array<int32_t, 4>;

// The rows of the folder's settings file. False without a message when the
// folder is not a directory; false with "There is no ExperimentSettings.ini
// file here: <folder>" when it has no settings file.
bool LoadFolderCalibration(const std::string& folder, ChannelMagnetRows& rows, std::string& error);

// Stores a placed line ("UpperMagnet", "LowerMagnet", "UpperChannel",
// "LowerChannel", any case) in the folder's settings file and in `rows`.
// False, writing nothing, for another key, a folder that is not a directory
// or one without a settings file.
bool StoreFolderCalibrationValue(const std::string& folder, const std::string& key, int32_t row,
                                 ChannelMagnetRows& rows);

// The rows a folder tool holds for its folder and lends the image views
// while it is shown; the render thread reads them, the tool's thread writes
// them.
class FolderCalibrationRows {
public:
    ChannelMagnetRows Get() const;
    void CopyTo(int32_t rows[4]) const;
    // Reads the folder's rows (see LoadFolderCalibration) and redraws every
    // image view when they differ from the rows the views draw.
    bool Load(const std::string& folder, std::string& error);
    // Stores a placed line (see StoreFolderCalibrationValue).
    bool Store(const std::string& folder, const std::string& key, int32_t row);

private:
    void Set(const ChannelMagnetRows& rows);

    std::atomic<int32_t> m_rows[4] = {0, 0, 0, 0};
};
