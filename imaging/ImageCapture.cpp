#include "imaging/ImageCapture.h"

#include <chrono>
#include <cstdio>
#include <exception>
#include <mutex>
#include <string>
#include <strings.h>

#include "app/VelloraApp.h"
#include "devices/Camera.h"
#include "devices/CameraFactory.h"
#include "devices/DigitalIO.h"
#include "imaging/ImageFiling.h"
#include "platform/Clock.h"
#include "platform/Time.h"
#include "support/AppLogs.h"
#include "support/Profile.h"
#include "support/String.h"

uint64_t g_LastCaptureEndMs = 0;

namespace {

std::mutex g_hooksMutex;
std::function<bool()> g_reinitialize;
std::function<bool()> g_customerScreenVisible;

// The camera whose identity the filing was last told about.
const Camera* g_identifiedCamera = nullptr;

uint64_t LocalTimeMs() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return platform::SystemTimeToFileTime100ns(now) / 10000;
}

bool CustomerScreenVisible() {
    std::function<bool()> visible;
    {
        std::lock_guard<std::mutex> lock(g_hooksMutex);
        visible = g_customerScreenVisible;
    }
    return visible && visible();
}

void Log(const CString& text) { LogErrAndInfo(__FILE__, __LINE__, text); }

std::string ReadSetting(const char* key, size_t characters) {
    std::string buffer(characters + 1, '\0');
    Tovanix::E_GetPrivateProfileString("ExperimentSettings", key, "", buffer.data(),
                                       static_cast<uint32_t>(buffer.size()), g_IniPath);
    buffer.resize(std::char_traits<char>::length(buffer.c_str()));
    return buffer;
}

// Sets the exposure; after a failure the camera is re-initialised once and
// the exposure set again on the new object.
bool SetExposure(int exposureUs, bool mayReInitialize, CString& error) {
    if (theApp.m_pCamera->SetExposureTime(static_cast<float>(exposureUs), &error)) return true;
    Log(error);
    if (!mayReInitialize) return false;
    if (!ReInitializeCaptureCamera() || !theApp.m_pCamera) {
        Log("ReInitializeCamera() error");
        return false;
    }
    if (theApp.m_pCamera->SetExposureTime(static_cast<float>(exposureUs), &error)) return true;
    Log(error);
    return false;
}

// Exposure and grab with one re-initialisation for each of them.
bool ExposeAndGrab(cv::Mat& image, int exposureUs, CString& error) {
    if (!SetExposure(exposureUs, true, error)) return false;
    if (theApp.m_pCamera->CaptureSingleFrame(&image, &error)) return true;
    Log(error);
    if (!ReInitializeCaptureCamera() || !theApp.m_pCamera) {
        Log("ReInitializeCamera() error");
        return false;
    }
    if (!SetExposure(exposureUs, false, error)) return false;
    if (theApp.m_pCamera->CaptureSingleFrame(&image, &error)) return true;
    Log(error);
    return false;
}

// Tells the filing which camera took the frames, once per camera object.
void IdentifyCamera() {
    Camera* camera = theApp.m_pCamera;
    if (!camera || camera == g_identifiedCamera) return;
    CString model;
    CString serial;
    CString ignored;
    if (!camera->GetModelName(&model, &ignored)) model.Empty();
    if (!camera->GetSerialNumber(&serial, &ignored)) serial.Empty();
    RememberCameraIdentity(model, serial);
    g_identifiedCamera = camera;
}

}  // namespace

// Replaces the camera object: up to ten attempts about a second apart, each
// with a new object that must open and take an exposure. After ten failures
// no camera object is left, so that every user of the camera sees that there
// is none instead of using one that never opened.
bool CVelloraApp::ReInitializeCamera() {
    delete m_pCamera;
    m_pCamera = nullptr;
    platform::GetClock().SleepFor(std::chrono::milliseconds(250));
    for (long attempt = 0; attempt < 10; ++attempt) {
        if (attempt > 0) {
            delete m_pCamera;
            m_pCamera = nullptr;
            platform::GetClock().SleepFor(std::chrono::milliseconds(1000));
        }
        CString text;
        text.Format("%s() : Attempt # %ld", "CVelloraApp::ReInitializeCamera", attempt);
        Log(text);
        m_pCamera = CreateCameraForType(ReadSetting("CameraType", 1023).c_str());
        CString error;
        if (!m_pCamera) {
            Log(error);
            continue;
        }
        if (!m_pCamera->Initialize(&error, false)) {
            if (!error.IsEmpty()) Log(error);
            continue;
        }
        if (!m_pCamera->SetExposureTime(100.0f, &error)) {
            Log(error);
            continue;
        }
        return true;
    }
    delete m_pCamera;
    m_pCamera = nullptr;
    Log("Failed to reinitialize the camera.");
    return false;
}

void SetCameraReInitializer(std::function<bool()> reinitialize) {
    std::lock_guard<std::mutex> lock(g_hooksMutex);
    g_reinitialize = std::move(reinitialize);
}

bool ReInitializeCaptureCamera() {
    std::function<bool()> reinitialize;
    {
        std::lock_guard<std::mutex> lock(g_hooksMutex);
        reinitialize = g_reinitialize;
    }
    g_identifiedCamera = nullptr;  // the new object may reuse the old one's address
    return reinitialize ? reinitialize() : theApp.ReInitializeCamera();
}

void SetCustomerScreenVisibleQuery(std::function<bool()> visible) {
    std::lock_guard<std::mutex> lock(g_hooksMutex);
    g_customerScreenVisible = std::move(visible);
}

bool CaptureSingleImage_low_level(cv::Mat& image, int typeIndex, int exposureUs, CString& error) {
    if (!g_CaptureSemaphore) {
        error = "CaptureSingleImage_low_level() - semaphore not initialized, call CreateImageCaptureWorkflowThread() "
                "first";
        return false;
    }
    g_CaptureSemaphore->Wait(platform::kInfinite);

    const uint64_t now = LocalTimeMs();
    const uint64_t spacing = static_cast<uint64_t>(theApp.m_nMinTimeBetweenCaptureEventsMs);
    if (g_LastCaptureEndMs != 0 && now - g_LastCaptureEndMs < spacing) {
        platform::GetClock().SleepFor(std::chrono::milliseconds(spacing - (now - g_LastCaptureEndMs)));
    }

    const int line = typeIndex + 3;
    bool result = false;
    bool lit = false;
    if (SetDIOLine(line, &error)) {
        lit = true;
        platform::GetClock().SleepFor(std::chrono::milliseconds(5));
    } else {
        Log(error);
    }
    if (lit || CustomerScreenVisible()) {
        try {
            if (!theApp.m_pCamera) {
                error.Format("%s() Line: %ld - Internal error #1", "CaptureSingleImage_low_level", 154L);
                Log(error);
            } else if (ExposeAndGrab(image, exposureUs, error)) {
                IdentifyCamera();
                result = true;
            }
        } catch (const std::exception& e) {
            error.Format("CaptureSingleImage_low_level() - Exception during acquisition: %s", e.what());
            Log(error);
        }
        // The light goes off on every way out, so the next image of another
        // type is never exposed under two lights.
        if (lit) {
            CString clearError;
            if (!ClearDIOLine(line, &clearError)) {
                Log(clearError);
                if (result && !CustomerScreenVisible()) {
                    error = clearError;
                    result = false;
                }
            }
        }
    }

    g_LastCaptureEndMs = LocalTimeMs();
    g_CaptureSemaphore->Release(1);
    return result;
}

bool CaptureSingleImge(cv::Mat& image, int typeIndex, int exposureUs, const char* typeName, CString& error,
                       CString* typeNameOut) {
    if (typeName && typeIndex >= 0 && exposureUs >= 0) {
        const bool result = CaptureSingleImage_low_level(image, typeIndex, exposureUs, error);
        if (typeNameOut) *typeNameOut = typeName;
        return result;
    }
    int type = 0;
    for (int n = 1; n <= 4 && type == 0; ++n) {
        char key[32];
        std::snprintf(key, sizeof key, "IsActive%d", n);
        if (strcasecmp(ReadSetting(key, 7).c_str(), "TRUE") == 0) type = n;
    }
    if (type == 0) {
        error = "CaptureSingleImge() - There is no active image capture workflow. Open the Experiment Settings "
                "dialog.";
        return false;
    }
    char key[32];
    std::snprintf(key, sizeof key, "ImageTypeExposure%d", type);
    int exposure = 0;
    if (std::sscanf(ReadSetting(key, 30).c_str(), "%d", &exposure) != 1 || exposure < 29 || exposure > 1000000) {
        error.Format("CaptureSingleImge() - %s is invalid, must be an integer between 29 and 1000000. Open the "
                     "Experiment Settings dialog.",
                     key);
        return false;
    }
    std::snprintf(key, sizeof key, "ImageTypeName%d", type);
    const std::string name = ReadSetting(key, 1022);
    Tovanix::String checked(name.c_str());
    checked.MakeValidFileName();
    if (name != checked.c_str()) {
        error.Format("CaptureSingleImge() - %s is invalid, must have only valid Windows file name characters. Open "
                     "the Experiment Settings dialog.",
                     key);
        return false;
    }
    const bool result = CaptureSingleImage_low_level(image, type - 1, exposure, error);
    if (typeNameOut) *typeNameOut = name.c_str();
    return result;
}
