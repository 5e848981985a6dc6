#pragma once

// The one camera abstraction of the program. Every operation with an error
// argument returns true on success and, on failure, false with a readable
// text assigned to *error (some failures leave it as it was; the drivers say
// which). Operations never throw.
//
// Frames are single-channel 16-bit images: 8- to 12-bit samples are shifted
// left by 4, 16-bit samples are kept; then the frame is flipped around the
// horizontal axis (flip vertical) and after that around the vertical axis
// (flip horizontal), as the flags say.

#include <opencv2/core.hpp>

#include "platform/CString.h"

class Camera {
public:
    virtual ~Camera() = default;

    virtual bool Initialize(CString* error, bool retry) = 0;
    virtual bool IsInitialized() = 0;
    virtual bool GetModelName(CString* model, CString* error) = 0;
    virtual bool GetSerialNumber(CString* serial, CString* error) = 0;
    virtual bool GetImageSize(int* width, int* height, CString* error) = 0;
    virtual bool SetImageSize(int width, int height, CString* error) = 0;
    virtual bool StartStream(CString* error) = 0;
    virtual bool StopStream(CString* error) = 0;
    virtual bool CaptureSingleFrame(cv::Mat* frame, CString* error) = 0;
    virtual bool SetPixelDepth(int bits, CString* error) = 0;
    virtual bool GetPixelDepth(int* bits, CString* error) = 0;
    virtual bool GetGain(float* gain, CString* error) = 0;
    virtual bool SetGain(float gain, CString* error) = 0;
    // Microseconds.
    virtual bool GetExposureTime(float* exposure, CString* error) = 0;
    virtual bool SetExposureTime(float exposure, CString* error) = 0;
    // Camera output lines 1 and 2.
    virtual bool GetDigitalOutput(int channel, bool* state, CString* error) = 0;
    virtual bool SetDigitalOutput(int channel, bool state, CString* error) = 0;
    virtual void SetFlipHorizontal(bool on) = 0;
    virtual void SetFlipVertical(bool on) = 0;
    // Degrees Celsius.
    virtual bool GetTemperature(double* degrees, CString* error) = 0;
};
