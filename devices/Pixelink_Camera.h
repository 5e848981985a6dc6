#pragma once

// Camera driver for the PixeLINK make: software-triggered streaming, one frame
// per grab, parameters as PixeLINK features.

#include <mutex>
#include <vector>

#include "devices/Camera.h"
#include "platform/vendor/PxLApi.h"

class Pixelink_Camera : public Camera {
public:
    Pixelink_Camera();
    ~Pixelink_Camera() override;
    Pixelink_Camera(const Pixelink_Camera&) = delete;
    Pixelink_Camera& operator=(const Pixelink_Camera&) = delete;

    bool Initialize(CString* error, bool retry) override;
    bool IsInitialized() override;
    bool GetModelName(CString* model, CString* error) override;
    bool GetSerialNumber(CString* serial, CString* error) override;
    bool GetImageSize(int* width, int* height, CString* error) override;
    bool SetImageSize(int width, int height, CString* error) override;
    bool StartStream(CString* error) override;
    bool StopStream(CString* error) override;
    bool CaptureSingleFrame(cv::Mat* frame, CString* error) override;
    bool SetPixelDepth(int bits, CString* error) override;
    bool GetPixelDepth(int* bits, CString* error) override;
    bool GetGain(float* gain, CString* error) override;
    bool SetGain(float gain, CString* error) override;
    bool GetExposureTime(float* exposure, CString* error) override;
    bool SetExposureTime(float exposure, CString* error) override;
    bool GetDigitalOutput(int channel, bool* state, CString* error) override;
    bool SetDigitalOutput(int channel, bool state, CString* error) override;
    void SetFlipHorizontal(bool on) override;
    void SetFlipVertical(bool on) override;
    bool GetTemperature(double* degrees, CString* error) override;

private:
    bool GetFloatFeature(U32 feature, float* value);
    bool SetFloatFeature(U32 feature, float value);
    bool GetPixelFormatCode(U32* code);
    // Bytes of one frame at the current region, decimation and format; 0 when
    // it cannot be known.
    size_t FrameBufferSize();
    // Fetches one frame into the buffer, restarting the stream up to three times.
    bool NextFrame(std::vector<uint8_t>& buffer);

    HANDLE cameraHandle = nullptr;
    bool initialised = false;
    bool streaming = false;
    bool flipVertical = false;
    bool flipHorizontal = false;
    CString modelName = "Pixelink";
    CString serialNumber = "Unknown";
    std::mutex frameLock;  // held for the whole of a grab
};
