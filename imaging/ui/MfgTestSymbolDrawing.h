#pragma once

// Drawing one manufacturing-test symbol over an image: the full cross-hair
// (type 0), the small cross of 25 window pixels each way (type 1), or a user
// type's shape (1000 and above). The render path selects the symbol's pen
// and hands over where the image lies in the window.

#include "imaging/MfgTestOverlay.h"
#include "imaging/ui/RenderImage.h"
#include "platform/Rect.h"

// destination: the image's rectangle in the window; x0..x1, y0..y1: the
// visible part of the image as fractions of its width and height;
// imageRect: the window rectangle of the whole image; dx, dy: the symbol's
// position relative to imageRect's top-left corner. False for a type that is
// neither 0, 1 nor an existing user type (nothing is drawn); true otherwise,
// also when a user type has no points.
bool DrawMfgTestSymbol(const MfgTestSymbol& symbol, CDC* dc, const RECT& destination, double x0, double x1,
                       double y0, double y1, const RECT& imageRect, int width, int height, int dx, int dy);
