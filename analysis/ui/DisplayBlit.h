#pragma once

// Drawing display pixels and image-file pictures with a QPainter.

#include <cstdint>

#include <QPainter>
#include <QRect>

namespace Tovanix {

// Draws width x height display pixels (0x00RRGGBB, row by row) at (x, y).
// The buffer is first converted in place into the pixel layout of the
// painter's device depth (32, 24, 16 or 8 bits); its contents are lost.
// False for another depth or an empty size.
bool BlitPixelsToDC(QPainter& dc, int width, int height, uint32_t* pixels, int x, int y);

// Draws an image file stretched into `destination` with bilinear filtering,
// tinted by `channelName` ("red", "green", anything else white) with
// automatic contrast. A file that cannot be read draws nothing. Returns 1.
int DrawImageFileTinted(const char* path, const char* channelName, QPainter& dc, const QRect& destination);

// Draws the composite of up to three image files (the first in grey, the
// second added to green, the third to red; the second and third may be
// empty) stretched into `destination`. Returns 1.
int DrawCompositeImageFiles(const char* path1, const char* path2, const char* path3, QPainter& dc,
                            const QRect& destination);

}  // namespace Tovanix
