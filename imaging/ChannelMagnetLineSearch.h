#pragma once

// The automatic search of the four calibration lines of a channel image: the
// two channel walls are the darkest rows (local minima of the row median
// profile) in fixed windows of rows, refined to where the profile climbs back
// towards the brightness between wall and magnet; the two magnets are the
// dark regions at the top and the bottom of the image.
//
// Errors: false and the message the user is shown.

#include <cstdint>
#include <vector>

#include "platform/CString.h"

// [ChannelAndMagnetLineAlgoParams] of the main settings file.
struct ChannelMagnetLineParams {
    double channel_relative_intensity_pct = 0.8;
    double magnet_high_intensity_pct = 0.9;
    double magnet_threshold_intensity_fraction = 0.3;
};

// Reads the three parameters; a missing or unreadable value keeps its default.
ChannelMagnetLineParams ReadChannelMagnetLineParams();

// Image rows in the order of g_ChannelMagnetLines. The lower magnet is -1
// when neither of its searches finds it.
struct ChannelMagnetLines {
    int32_t upperChannel = -1;
    int32_t lowerChannel = -1;
    int32_t upperMagnet = -1;
    int32_t lowerMagnet = -1;
};

// Searches the row profile (one value per image row). False with
// "Could not find upper channel line.", "Could not find lower channel line."
// or "Could not find the upper magnet line" in `error`.
bool FindChannelAndMagnetLines(const std::vector<int32_t>& profile, const ChannelMagnetLineParams& params,
                               ChannelMagnetLines& lines, CString& error);
