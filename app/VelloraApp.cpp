#include "app/VelloraApp.h"

#include <algorithm>
#include <cstdio>
#include <opencv2/core.hpp>

#include "devices/Camera.h"
#include "platform/UiBridge.h"
#include "support/AppLogs.h"
#include "support/CachedLog.h"
#include "support/Profile.h"
#include "support/SerialPort.h"

CString g_IniPath;
std::vector<Tovanix::String> g_ReferenceImageRequests;
std::vector<Tovanix::String> g_CloseDocumentRequests;
std::unique_ptr<platform::Semaphore> g_IdleRequestSemaphore;
std::atomic<bool> g_ShowVideoDialogRequested{false};
std::unique_ptr<platform::Semaphore> g_CaptureSemaphore;
std::unique_ptr<platform::Event> g_WorkflowEvent;
std::unique_ptr<platform::Event> g_LiveViewEvent;
std::unique_ptr<platform::Semaphore> g_MatAccessSemaphore;
std::unique_ptr<platform::Event> g_RenderEvent;
std::unique_ptr<platform::Semaphore> _render_list_semaphore;
RenderRequest* g_RenderList[kRenderListSize] = {};

// Defined after the globals above: its constructor creates the idle-request
// semaphore.
CVelloraApp theApp;

namespace {

constexpr int kSerialRecoveryCommand = 1364;

// A "%d" setting; false when it is missing or does not parse.
bool ReadIntSetting(const char* section, const char* key, const char* file, int* value) {
    char text[32] = {};
    return Tovanix::E_GetPrivateProfileString(section, key, "", text, sizeof text, file) &&
           std::sscanf(text, "%d", value) == 1;
}

// The camera model's settings section, "<model> Settings"; false without a
// camera or model name (the camera's error text is left in `error`).
bool CameraSettingsSection(CString& section, CString* error) {
    CString model;
    CString ignored;
    if (!theApp.m_pCamera || !theApp.m_pCamera->GetModelName(&model, error ? error : &ignored)) {
        return false;
    }
    section.Format("%s Settings", model.GetString());
    return true;
}

}  // namespace

CVelloraApp::CVelloraApp() {
    m_dwRestartManagerSupportFlags = 0x3F;
    m_strDisplayName = "Vellora";
    g_IdleRequestSemaphore = std::make_unique<platform::Semaphore>(1, 1);
    // The logs and the crash report (a lower layer) read these fields.
    SetAppLogSources({&m_strDataRoot, &m_strFileVersion, &m_strDisplayName, &g_IniPath});
}

CVelloraApp::~CVelloraApp() {
    delete m_pCamera;
    m_pCamera = nullptr;
    for (cv::Mat*& image : m_pBackgroundImages) {
        delete image;
        image = nullptr;
    }
    SetAppLogSources({});
}

void CVelloraApp::SetImageViewInvalidator(std::function<void()> invalidator) {
    m_invalidateImageViews = std::move(invalidator);
}

void CVelloraApp::InvalidateAllImageViews() {
    if (m_invalidateImageViews) {
        m_invalidateImageViews();
    }
}

void InvalidateImageViews() {
    if (theApp.m_pImageDocTemplate) {
        theApp.InvalidateAllImageViews();
    }
}

void CVelloraApp::GetCartridgeChannelROI(bool band, const CString& settingsFile, CartridgeChannelROI& result) {
    const CString& file = settingsFile.IsEmpty() ? m_strIniPath : settingsFile;
    int upper = 0;
    int lower = 0;
    if (!ReadIntSetting("Cartridge", "CartridgeUpperChannel", file, &upper)) {
        upper = 0;
    }
    if (!ReadIntSetting("Cartridge", "CartridgeLowerChannel", file, &lower)) {
        lower = 0;
    }
    result.top = upper + 100;
    result.bottom = lower - 100;
    result.left = band ? 1844 : 824;
    result.right = band ? 2444 : 1624;
}

void OnSerialPortFailure(int comPort) {
    // Removing the hook first makes one burst of failures post one recovery.
    g_SerialPortFailureHook = nullptr;
    if (theApp.m_pMainWnd) {
        platform::PostCommand(kSerialRecoveryCommand, comPort);
    }
}

int GetCameraRefreshPeriodMs(CString& error) {
    CString section;
    if (!CameraSettingsSection(section, &error)) {
        return 0;
    }
    int period = 0;
    return ReadIntSetting(section, "RefreshPeriodMs", g_IniPath, &period) ? period : 100;
}

void LoadMinTimeBetweenImageCaptureEvents() {
    CString section;
    if (!CameraSettingsSection(section, nullptr)) {
        return;
    }
    int spacing = 0;
    theApp.m_nMinTimeBetweenCaptureEventsMs =
        ReadIntSetting(section, "min_time_between_image_capture_events_ms", g_IniPath, &spacing)
            ? std::clamp(spacing, 100, 1000)
            : 100;
}

int CVelloraApp::ExitInstance() {
    // Worker threads run on and the serial ports close when the process
    // ends; the cached logs write what they hold, or the lines of the last
    // save interval would be lost.
    Tovanix::String error;
    if (!CachedLogging::SaveAll(&error)) {
        LogErrAndInfo(__FILE__, __LINE__, error.c_str());
    }
    return 0;
}
