#pragma once

// Camera driver for the Basler make. When no camera can be opened the object
// stays usable as a substitute: after one failed initialisation its
// operations answer with fixed values and a grab shows "The camera is not
// connected.", so that dialogs and workflows keep running without hardware.

#include <cstdint>

#include "devices/Camera.h"
#include "platform/vendor/Pylon.h"

// Time of the last initialisation attempt of any object, in 0.5 ms units of
// the local time as a file time; 0 at program start.
extern uint64_t g_PylonLastInitAttempt;
// Number of times the camera runtime was started.
extern uint64_t g_PylonInitCount;

class Pylon_Camera : public Camera {
public:
    Pylon_Camera();
    ~Pylon_Camera() override;
    Pylon_Camera(const Pylon_Camera&) = delete;
    Pylon_Camera& operator=(const Pylon_Camera&) = delete;

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
    // Lazy start: initialises when needed; false when that fails.
    bool EnsureInitialized(CString* error);
    // The camera's friendly name parts; these raise the library's exceptions.
    CString ReadModelName();
    CString ReadSerialNumber();
    // One of the two above, caught; without a camera the substitute text.
    bool ReadNamePart(CString (Pylon_Camera::*read)(), const char* substitute, const char* failure, CString* text,
                      CString* error);
    bool HasSfnc2();
    // A float parameter by node name; without a camera the read gives the
    // substitute value and the write does nothing. `failure` holds one %s for
    // the library's text.
    bool ReadFloatFeature(const char* node, float substitute, const char* failure, float* value, CString* error);
    bool WriteFloatFeature(const char* node, const char* failure, float value, CString* error);
    // Points the line and user-output selectors at one output channel.
    void SelectOutputLine(const char* line, const char* userOutput);

    bool initialised = false;
    bool initialising = false;
    bool initFailed = false;
    bool flipVertical = false;
    bool flipHorizontal = false;
    Pylon::CInstantCamera* camera = nullptr;
};
