#pragma once

// The four-channel contrast tool's logic: the image-type names of a folder
// of captures, and the files of one capture that carry each channel's type.
// Capture file names end in "_<type>_<counter>.png".

#include <array>
#include <string>
#include <vector>

#include "tools/ToolFrame.h"

// [ContrastDlg] of the main settings file: ImageDirectory, Filter,
// Brightfield, Red, Green, Blue.
ToolSettings MakeContrastSettings();

// The distinct type names (the text between the last two "_") of the ".png"
// names (extension in any case), sorted byte by byte; the search stops once
// four names are held. Names with fewer than two "_" give none.
std::vector<std::string> ContrastImageTypeNames(const std::vector<std::string>& fileNames);

// The same over the "*.png" files of a folder; none when the folder does not
// exist.
std::vector<std::string> ContrastImageTypeNamesOfFolder(const std::string& folder);

// The capture's file of each channel: the selected name with its type
// replaced by the channel's type, in the folder, when that file exists; ""
// for a channel whose type is blank or whose file is missing. False when the
// name has no type field (fewer than two "_", or the type would start the
// name).
bool BuildChannelFileNames(const std::string& folder, const std::string& fileName,
                           const std::array<std::string, 4>& channelTypes, std::array<std::string, 4>& channelFiles);

// A range that a channel's markers may take: channel 0..3, 0 <= lower <
// upper <= 65535.
bool IsValidChannelRange(int channel, long lower, long upper);
