#pragma once

// The pixel-size calibration without its window: the scale of the camera
// image, [CalibrationSettings] image_pixels_per_mm of the main settings
// file, from a measured height in image rows and the object's real height
// in millimetres.

#include "platform/CString.h"

// What the dialog shows for a typed height.
struct PixelsPerMMState {
    double pixelsPerMM = 0.0;  // 0 while the typed height is out of range
    bool saveEnabled = false;
    CString saveText = "Save";
    // The message line; `messageChanged` false keeps the line's text.
    bool messageChanged = false;
    CString message;
};

// A typed height h (text that does not read as a number counts 0) is valid
// for 0.49999 < h < 100.00001; the scale is then heightPixels / h, and the
// message shows the scale stored now, when there is one other than 0.
PixelsPerMMState EvaluatePixelsPerMM(double heightPixels, const char* typedHeight);

// Writes the scale (FormatNumber) into the main settings file. False, with
// the problem logged, when the write fails.
bool WritePixelsPerMM(double pixelsPerMM);
