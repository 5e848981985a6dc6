#pragma once

// Video files from series of captured images, for the video tool: one series
// as captured (XVID), or a four-channel composite (MJPG) in which a
// bright-field series gives the grey base and up to three fluorescence series
// tint it red, green and blue. Beside them sits a linear 16-bit stretch.
//
// The writers run on the tool's worker thread. They show "i of n" in the
// tool's progress window (set through the user-interface bridge) and stop
// before the next frame once the tool's stop flag is set.
//
// Error contract: false and `error` = the qualified name, "(", the number of
// the failed check, ") : " and the reason, e.g.
// "Tovanix::CreateVideo(139) : image file does not exist: <path>". Frames
// written before a failure stay in the file.

#include "support/String.h"

#include <opencv2/core.hpp>

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace Tovanix {

// The label of the tool's window that shows a writer's progress.
class ProgressWindow {
public:
    virtual ~ProgressWindow() = default;
    // Called on the user-interface thread.
    virtual void SetText(const std::string& text) = 0;
};

// Low and high intensity of one series of the composite.
struct IntensityRange {
    int32_t low = 0;
    int32_t high = 65535;
};
// Bright field, channel 2 (red), channel 3 (green), channel 4 (blue).
using CompositeRanges = std::array<IntensityRange, 4>;

// Maps low..high linearly onto 0..65535 in place (values above high
// saturate). False, image untouched, when high is not above low or the image
// is not 16-bit single-channel.
bool StretchIntensities(cv::Mat& image, uint16_t low, uint16_t high);

// Writes the images as an XVID video. With a range other than 0..65535, a
// 16-bit image is stretched to it before it becomes a colour frame; otherwise
// frames are written as read. `progress` and `stop` may be null.
bool CreateVideo(const std::string& outputPath, const std::string& imageDirectory,
                 const std::vector<String>& imageNames, double framesPerSecond, ProgressWindow* progress,
                 const std::atomic<bool>* stop, String* error, int low = 0, int high = 65535);

// Writes the composite of the four series as an MJPG video, one frame per
// bright-field image. Without ranges each 16-bit value is mapped by >> 8.
bool CreateVideo4Chan(const std::string& outputPath, const std::string& imageDirectory,
                      const std::vector<String>& brightField, const std::vector<String>& channel2,
                      const std::vector<String>& channel3, const std::vector<String>& channel4,
                      double framesPerSecond, ProgressWindow* progress, const std::atomic<bool>* stop,
                      String* error, const CompositeRanges* ranges = nullptr);

// Composes frame `index` of the composite into `frame` (8-bit BGR, the frame
// size already set): half the bright-field level in all three bytes, plus half
// the mapped channel levels in red, green and blue. A channel series that is
// shorter, or whose image is missing, leaves its colour as it is.
bool assign_composite_intensity(const std::string& imageDirectory, const std::vector<String>& brightField,
                                const std::vector<String>& channel2, const std::vector<String>& channel3,
                                const std::vector<String>& channel4, int index, cv::Mat& frame, String* error,
                                const CompositeRanges* ranges = nullptr);

}  // namespace Tovanix
