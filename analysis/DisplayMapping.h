#pragma once

// Turning 16-bit single-channel images into display pixels: sampling onto the
// display grid, linear mapping into a display range with coloured overlay
// codes, the conversions into the display's pixel depth, automatic contrast
// from percentiles, and the tinted and composite pictures of image files.
//
// Display pixels are 32-bit, one per display point, row by row, each laid out
// blue, green, red and a fourth byte 0 (low byte first): 0x00RRGGBB.

#include <cstdint>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace Tovanix {

// Overlay codes, one byte per display point.
enum OverlayCode : uint8_t {
    kOverlayNone = 0,
    kOverlayRed = 1,
    kOverlayBlue = 2,
    kOverlayGreen = 3,
};

// The process-wide palette of 256 greys used on 8-bit displays.
struct GreyPalette {
    struct Entry {
        uint8_t red;
        uint8_t green;
        uint8_t blue;
        uint8_t flags;
    };
    uint16_t version = 0x300;
    uint16_t entryCount = 256;
    Entry entries[256];
};

// The grey palette, made on first use (safe from any thread) and kept until
// the process ends.
const GreyPalette* GetGreyPalette();

// Samples the part x0..x1, y0..y1 (fractions of the image, 0 to 1) of a
// 16-bit image onto a width x height grid by nearest neighbour. `values` (and
// `overlayCodes`, when an 8-bit `overlay` is given and `overlayCodes` is not
// null) receive width x height entries; grid points outside the image stay 0.
bool SampleImageToDisplayGrid(const cv::Mat& image, std::vector<uint16_t>& values, double x0, double x1, double y0,
                              double y1, int width, int height, const cv::Mat* overlay,
                              std::vector<uint8_t>* overlayCodes);

// Maps `count` values linearly from low..high into displayLow..displayHigh
// (held to 0..255) as grey pixels, tinted where an overlay code says so.
// Equal bounds map every value to 0. Always true.
bool MapIntensitiesToDisplayColours(const uint16_t* values, int count, uint32_t* pixels, uint16_t high,
                                    uint16_t low, const uint8_t* overlayCodes, int16_t displayLow,
                                    int16_t displayHigh);

// The bytes of one row of a display bitmap of the given depth: 24-bit and
// 8-bit rows are padded to an even length. 0 for an unknown depth.
int DisplayRowBytes(int width, int bitsPerPixel);

// Converts a buffer of width x height display pixels in place into the pixel
// layout of a display of `bitsPerPixel` (32, 24, 16 or 8; rows of
// DisplayRowBytes each). The buffer's previous contents are lost. False for
// another depth.
bool ConvertPixelsToDisplayDepth(int width, int height, uint32_t* pixels, int bitsPerPixel);

// Low and high intensities at the given fractions of the pixels at every
// `step`-th row and column.
bool ComputeSampledPercentileRange(const cv::Mat& image, int step, double lowFraction, double highFraction,
                                   uint16_t& low, uint16_t& high);

// One intensity per fraction (each within 0..1), in the order of the
// fractions, from `count` values. Always true.
bool ComputePercentilesOfValues(const uint16_t* values, int count, const std::vector<float>& fractions,
                                std::vector<int>& intensities);

// The picture of one image file for the customer screens: automatic contrast
// from its 50 % and 99.9 % intensities, tinted red ("red"), green ("green")
// or white (anything else). `picture` becomes an 8-bit 4-channel image of
// display pixels; false (and an empty picture) when the file cannot be read.
bool MakeTintedPicture(const std::string& path, const std::string& channelName, cv::Mat& picture);

// The composite picture of up to three image files: the first in grey, the
// second added to green and the third to red (empty paths are left out).
// False when a file cannot be read or differs in size from the first.
bool MakeCompositePicture(const std::string& path1, const std::string& path2, const std::string& path3,
                          cv::Mat& picture);

}  // namespace Tovanix
