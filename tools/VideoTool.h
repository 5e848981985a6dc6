#pragma once

// The video tool's logic: a grey-scale video of chosen images, or a colour
// video whose frames combine one capture's bright-field, red, green and blue
// images, each stretched from its own intensity range. Capture names end in
// "_<type>_<counter>.png", or "_<type>_<x>_<y>_<z>_<counter>.png" for names
// that hold "_Pos".

#include <array>
#include <string>
#include <vector>

#include "analysis/VideoWriters.h"
#include "tools/ToolFrame.h"

// [VideoDlg] of the main settings file, in the order the keys are written.
ToolSettings MakeVideoSettings();

// "%lf" of the text between 1.0 and 30.0 inclusive.
bool ParseFramesPerSecond(const std::string& text, double* fps);

// Where the type field of a capture name lies; false for a name that does
// not end in ".png" (any case) or has too few "_".
bool FindImageTypeField(const std::string& name, size_t* begin, size_t* end);

// The distinct types of the names (byte order, sorted), at most four: the
// search stops once four are held.
std::vector<std::string> CollectImageTypeNames(const std::vector<std::string>& fileNames);

// For each name, the same capture's name with the channel's type ("" type:
// none at all); names without a type field are taken unchanged; each name
// once, in the order given.
std::vector<std::string> CollectChannelFiles(const std::string& type, const std::vector<std::string>& selected);

// The video's path: a name that is not absolute goes into the image folder;
// its extension becomes ".mp4".
std::string ResolveVideoPath(const std::string& videoText, const std::string& folder);

// "low:high" as two numbers; false when the text does not give two.
bool ReadRangeText(const std::string& text, long* low, long* high);
// The range the writer uses: clamped to 0..65535, 0:65535 for an unreadable text.
Tovanix::IntensityRange RangeFromText(const std::string& text);

struct VideoRequest {
    std::string path;
    std::string folder;
    bool monochrome = true;
    double fps = 3;
    std::array<std::vector<std::string>, 4> channels;  // bright field (or grey), red, green, blue
    std::array<std::string, 4> rangeTexts;
};

// The worker: writes the video through the video writers with "i of n" in the
// status line; Stop ends it before the next frame. The writer's error text,
// or empty.
std::string RunCreateVideo(const VideoRequest& request, const ToolWorkerContext& context);
