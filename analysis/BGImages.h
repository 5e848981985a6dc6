#pragma once

// Background images of an image folder ("<type>.bg.tif", one per image
// type) and the image-type name in a captured image's file name.

#include "support/String.h"

#include <opencv2/core.hpp>

#include <vector>

// Appends every "*.bg.tif" of the folder (read at its own depth, one
// channel) to `images` and its type name (the file name less ".bg.tif") to
// `typeNames`; names holding ".bg.tif" more than once, or only in another
// letter case, are skipped. False without a message when the folder has no
// such file or does not exist; false with `error` set when the image library
// fails on a file (what was read before stays in the lists).
bool LoadBGImages(const char* folder, std::vector<cv::Mat>& images, std::vector<Tovanix::String>& typeNames,
                  Tovanix::String& error);

// The image-type name of <prefix>_<type>_<index>.png (the text between the
// last two '_') or of ManualCapture.<prefix>_<type>.png (the text after the
// last '_' less its four-character extension). False, with `typeName`
// untouched, when the name holds none.
bool GetImageTypeNameFromFileName(const char* fileName, Tovanix::String& typeName);
