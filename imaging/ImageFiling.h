#pragma once

// Image filing: a captured 16-bit frame goes into the current experiment as
// a PNG file with eight XMP tags ("Xmp.dc.<name>") and one row of the
// experiment's tab-separated capture log.
//
// The file is written whole or not at all: the PNG is encoded in memory, the
// tags are added in memory, and a temporary file beside the target is renamed
// over it. The capture log goes through the cached logs; its header block
// (version, camera, computer, the lines scripts queued, the column line) is
// written once per cached record, under one hold of the cached-log semaphore.
//
// Errors: false with a message in `error` ("Problem saving image to file: "
// and the path for the image itself; the cached-log messages for the log).

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "platform/CString.h"

// Files one frame. typeName may be null (no type part in the file name),
// extraPrefix is put in front of the experiment's prefix ("ManualCapture."
// for manual captures), and logPathOut, when given and empty, receives the
// capture log's path. A frame that cannot be written still gets its log row,
// marked "not saved".
bool SaveImageToExperiment(const cv::Mat& image, const char* typeName, int captureIndex, int typeIndex,
                           int exposureUs, CString& error, const char* extraPrefix, CString* logPathOut);

// Tags an existing image file with the eight properties; a failure is logged.
bool AddImageMetadata(const char* path, const char* typeName, int exposureUs, int captureIndex);

// Adds "Xmp.dc.<key>" = value for each pair to an image file, rewriting it
// through a temporary file.
bool Add_XMP_MetaData(const char* path, const std::vector<std::string>& keys, const std::vector<std::string>& values,
                      CString& error);

// The same on an encoded image held in memory; on failure the bytes are
// left as they were.
bool AddXmpMetadataInMemory(std::vector<unsigned char>& encoded, const std::vector<std::string>& keys,
                            const std::vector<std::string>& values, CString& error);

// The eight property names (without "Xmp.dc.") and their values for an image.
void BuildImageMetadata(const char* typeName, int exposureUs, int captureIndex, std::vector<std::string>& keys,
                        std::vector<std::string>& values);

// One frame written (or not) into the experiment, waiting for its log row.
struct FiledImage {
    std::string imagePath;     // the file's full path
    std::string imageFile;     // its name, as the log row gives it
    std::string logPath;       // the experiment's capture log
    int captureIndex = 0;
    int typeIndex = -1;
    int exposureUs = 0;
    bool dark = false;
    bool saturated = false;
    bool saved = false;
};

// The two halves of SaveImageToExperiment, so a workflow step can write its
// frames in parallel and still log them in type order. WriteExperimentImage
// runs the checks and writes the file; AddCaptureLogRow adds the header block
// when the log has none yet, the lines scripts queued, and the row.
bool WriteExperimentImage(const cv::Mat& image, const char* typeName, int captureIndex, int typeIndex, int exposureUs,
                          CString& error, const char* extraPrefix, FiledImage& filed);
bool AddCaptureLogRow(const FiledImage& filed, CString& error, CString* logPathOut);

// The flow-split fraction (of the channel height from the lower wall) that
// the Split column shows while the workflow runs; the shared flow split
// (app/FlowSplit.h) unless another source is installed.
void SetFlowSplitFractionSource(std::function<double()> source);

// The camera that took the last frame, as the capture remembers it, so that
// filing need not query a camera another thread may be grabbing with.
void RememberCameraIdentity(const CString& model, const CString& serialNumber);
void ForgetCameraIdentity();
