#pragma once

// What the camera settings window does, without the window: fills its
// fields from the camera and the model's settings section, applies pixel
// depth, gain and exposure to the camera, toggles the camera's two digital
// outputs, and validates and writes the section.
//
// Every field is the text of its control, exactly as shown or typed; the
// section receives the texts unchanged. Every failure is written to the
// error-and-info log and shown in a message box through the user-interface
// bridge; the functions then give false.

#include <string>

class Camera;

struct CameraSettingsFields {
    std::string model;
    std::string serialNumber;
    std::string width;
    std::string height;
    std::string pixelDepth;
    std::string gain;
    std::string exposure;
    std::string defaultExposure;
    bool digitalOutput1 = false;
    bool digitalOutput2 = false;
    std::string refreshPeriodMs;
    std::string minTimeBetweenCapturesMs;
    std::string minExposureUs;
    std::string maxExposureUs;
};

class CameraSettingsForm {
public:
    enum class LoadResult {
        Loaded,
        NoCamera,     // reported; the window closes
        QueryFailed,  // reported; the window stays open with its fields empty
    };

    explicit CameraSettingsForm(Camera* camera) : m_camera(camera) {}

    // Asks the camera for its identity, size, depth, gain, exposure and
    // outputs, then reads the section. Fills `fields` only when every query
    // succeeded.
    LoadResult Load(CameraSettingsFields* fields);

    // Writes every field of the section; refused, writing nothing, while the
    // minimum time between captures is not an integer from 100 to 1000.
    bool SaveSettings(const CameraSettingsFields& fields);

    // Applies a pixel depth of 8, 12 or 16 bits and saves. Any other value,
    // or one the camera refuses, puts the camera's depth back into the field.
    bool ApplyPixelDepth(CameraSettingsFields* fields);
    // Applies the gain field (0 when it does not read as a number) and saves.
    bool ApplyGain(const CameraSettingsFields& fields);
    // Applies the exposure field, in microseconds, and saves.
    bool ApplyExposure(const CameraSettingsFields& fields);
    // Saves when the refresh period is an integer from 25 to 10000 ms.
    bool CheckRefreshPeriodAndSave(const CameraSettingsFields& fields);
    // Reads output `channel` (1 or 2) and writes its inverse.
    bool ToggleDigitalOutput(int channel);

    static constexpr const char* kNoCameraMessage = "No camera initialized.";
    static constexpr const char* kMinTimeMessage =
        "Minimum time between image capture (ms) must be an integer between 100 and 1000";
    static constexpr const char* kRefreshPeriodMessage = "Refresh period (ms) must be an integer between 25 and 10000";

private:
    void Report(int line, const std::string& message);

    Camera* m_camera;
};
