#pragma once

// Capture of one image: the illumination of one image type is switched on,
// the camera exposure set and one 16-bit frame grabbed, then the light is
// switched off again. Every capture of the program (workflow, live view,
// manual and script captures, the start-up test grab) goes through
// CaptureSingleImage_low_level, which holds g_CaptureSemaphore for the whole
// grab and keeps the minimum spacing (theApp.m_nMinTimeBetweenCaptureEventsMs)
// between the end of one capture and the light of the next.
//
// Image type index t (0..3) is lit by logical digital line t + 3. A light
// that was switched on is switched off on every way out of the capture.
// A failed exposure setting or grab re-initialises the camera once and
// retries once.
//
// Errors: false with the driver's text, or a message that starts with the
// operation's name.

#include <cstdint>
#include <functional>

#include <opencv2/core.hpp>

#include "platform/CString.h"

// Local time in milliseconds since 1601 at which the previous capture ended;
// 0 before the first. Read and written only inside the capture semaphore.
extern uint64_t g_LastCaptureEndMs;

bool CaptureSingleImage_low_level(cv::Mat& image, int typeIndex, int exposureUs, CString& error);

// Direct mode (typeName given, typeIndex >= 0, exposureUs >= 0) captures that
// type; otherwise the first active type of [ExperimentSettings], with its
// exposure and name checked. typeNameOut receives the type's name whenever a
// capture was attempted.
bool CaptureSingleImge(cv::Mat& image, int typeIndex, int exposureUs, const char* typeName, CString& error,
                       CString* typeNameOut);

// Replaces the camera object after a failed exposure or grab; true when a
// working camera is in theApp.m_pCamera again. Until the application
// installs its own, the camera is re-created from [ExperimentSettings]
// CameraType and initialised.
void SetCameraReInitializer(std::function<bool()> reinitialize);
bool ReInitializeCaptureCamera();

// Whether the customer run screen is visible: while it is, a light that
// cannot be switched is only logged and the capture goes on. Installed by
// the run screen; false until then.
void SetCustomerScreenVisibleQuery(std::function<bool()> visible);
