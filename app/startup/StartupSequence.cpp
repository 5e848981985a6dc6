#include "app/startup/StartUp.h"

#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <strings.h>

#include <opencv2/core.hpp>

#include "app/CartridgeTypes.h"
#include "app/SuppliedFiles.h"
#include "app/VelloraApp.h"
#include "devices/Camera.h"
#include "devices/CameraFactory.h"
#include "devices/DigitalIO.h"
#include "imaging/ImageCapture.h"
#include "imaging/ImageCaptureWorkflow.h"
#include "imaging/LiveView.h"
#include "imaging/RenderList.h"
#include "operator/ControlPanel.h"
#include "platform/Files.h"
#include "platform/Folders.h"
#include "platform/Sync.h"
#include "platform/Time.h"
#include "platform/UiBridge.h"
#include "support/AppLogs.h"
#include "support/CachedLog.h"
#include "support/Profile.h"
#include "support/SerialPort.h"
#include "support/String.h"

const char* const kPowerCycleText =
    "\n\nPlease close the application, power cycle the QX4 (and make sure it is on), wait for 30 seconds and then "
    "restart Vellora.  \n\nIf problem persists, record the error message and contact support@tessaly.com.";

namespace {

std::mutex g_windowsMutex;
StartupWindows g_windows;
std::unique_ptr<platform::SingleInstanceLock> g_instanceLock;

// The instrument-variant marker: a value below the machine's hardware
// configuration, kept in the program-data folder.
constexpr const char* kHardwareConfigFile = "HardwareConfig.ini";
constexpr const char* kVariantKey = "{6F1D3A52-8C47-4E0B-9A2D-3B5C7E41D980}";
constexpr const char* kVariantValue = "QX4Variant";

StartupWindows Windows() {
    std::lock_guard<std::mutex> lock(g_windowsMutex);
    return g_windows;
}

void Log(const CString& text) { LogErrAndInfo(__FILE__, __LINE__, text); }

void ShowError(const CString& text) {
    platform::ShowMessageBox(text.str(), theApp.m_strDisplayName.str(), platform::MB_OK | platform::MB_ICONERROR);
}

void LogAndShowError(const CString& text) {
    Log(text);
    ShowError(text);
}

void ShowPlain(const CString& text) {
    platform::ShowMessageBox(text.str(), theApp.m_strDisplayName.str(), platform::MB_OK);
}

// One folder level; the parent must exist already. `reported` is the path
// the message names.
bool EnsureFolder(const std::string& path, const std::string& reported = std::string()) {
    const std::string native = platform::NativePath(path);
    if (platform::DirectoryExists(native)) return true;
    if (mkdir(native.c_str(), 0777) == 0) return true;
    LogAndShowError(CString("Unable to create directory: ") + (reported.empty() ? path : reported).c_str());
    return false;
}

std::string ReadText(const char* section, const char* key, size_t characters, const CString& file) {
    std::string buffer(characters + 1, '\0');
    Tovanix::E_GetPrivateProfileString(section, key, "", buffer.data(), static_cast<uint32_t>(buffer.size()),
                                       file);
    buffer.resize(std::char_traits<char>::length(buffer.c_str()));
    return buffer;
}

// The run log's own lines; Windows line ends, as every text file of the program.
void RunLogLine(FILE* runLog, const std::string& line) {
    if (!runLog) return;
    std::fputs(line.c_str(), runLog);
    std::fputs("\r\n", runLog);
    std::fflush(runLog);
}

// The capture semaphore and the workflow and live-view events, then their
// threads. A failure is reported and start-up goes on without the threads.
void CreateImageCaptureWorkflowThread() {
    // A window made before may have made some of them already; those stay.
    if (!g_CaptureSemaphore) g_CaptureSemaphore = std::make_unique<platform::Semaphore>(1, 1);
    if (!g_WorkflowEvent) g_WorkflowEvent = std::make_unique<platform::Event>(true, false);
    if (!g_LiveViewEvent) g_LiveViewEvent = std::make_unique<platform::Event>(true, false);
    if (!StartImageCaptureWorkflowThread()) {
        LogAndShowError(
            "CreateImageCaptureWorkflowThread () : unable to create event to synchronize image capture workflow.");
        return;
    }
    StartLiveViewThread();
}

void InitializeCachedLogs() {
    int interval = 30;
    char text[32] = {};
    if (Tovanix::E_GetPrivateProfileString("ExperimentSettings", "default_cached_log_save_interval_sec", "30", text,
                                           sizeof text, g_IniPath)) {
        if (std::sscanf(text, "%d", &interval) != 1) interval = 30;
    }
    Tovanix::String error;
    if (!InitializeCachedLogging(interval, &error)) LogAndShowError(error.c_str());
}

// The render list's objects and the render thread. The image document
// template starts them with the main window; objects in use stay.
void CreateRenderObjects() {
    if (!_render_list_semaphore) {
        for (RenderRequest*& entry : g_RenderList) entry = nullptr;
    }
    if (!g_MatAccessSemaphore) g_MatAccessSemaphore = std::make_unique<platform::Semaphore>(1, 1);
    if (!g_RenderEvent) g_RenderEvent = std::make_unique<platform::Event>(true, true);
    if (!_render_list_semaphore) _render_list_semaphore = std::make_unique<platform::Semaphore>(1, 1);
    StartImageRenderThread();
}

bool InitializeDigitalIO() {
    CString error;
    bool ok = Initialize_DIO(&error, false);
    if (ok) ok = LoadDIOMapping(&error);
    if (!ok) LogAndShowError(error + kPowerCycleText);
    return ok;
}

// Model, serial number and temperature into the run log; the default exposure.
void ReportCameraDetails(FILE* runLog) {
    Camera* camera = theApp.m_pCamera;
    CString model;
    CString serial;
    CString ignored;
    if (camera) {
        camera->GetModelName(&model, &ignored);
        camera->GetSerialNumber(&serial, &ignored);
    }
    double temperature = 0.0;
    const bool haveTemperature = camera && camera->GetTemperature(&temperature, &ignored);
    LoadMinTimeBetweenImageCaptureEvents();

    CString section;
    section.Format("%s Settings", model.GetString());
    int exposure = 0;
    if (camera && std::sscanf(ReadText(section, "DefaultExposure", 31, g_IniPath).c_str(), "%d", &exposure) == 1 &&
        exposure != 0) {
        CString error;
        if (!camera->SetExposureTime(static_cast<float>(exposure), &error)) LogAndShowError(error);
    }
    RunLogLine(runLog, CString::Formatted("CameraModel=%s\tSN=%s", model.GetString(), serial.GetString()).str());
    RunLogLine(runLog, haveTemperature ? CString::Formatted("Camera TC\t%5.2lf", temperature).str()
                                       : std::string("Camera TC\tNA"));
}

// One second's exposure of the channel; its mean intensity goes to the log
// (0 when the grab failed).
void LogInitialChannelIntensity() {
    cv::Mat image;
    CString error;
    long intensity = 0;
    if (theApp.m_pCamera && CaptureSingleImge(image, 2, 1000000, "Channel2", error, nullptr) && !image.empty()) {
        intensity = static_cast<long>(cv::mean(image)[0]);
    }
    Log(CString::Formatted("Channel 2 initial image intensity: %ld", intensity));
}

bool InstrumentVariantMarkerPresent() {
    const std::string file = platform::JoinPath(platform::ProgramDataFolder(), kHardwareConfigFile);
    if (!platform::FileExists(file)) return false;
    char value[1000] = {};
    return Tovanix::E_GetPrivateProfileString(kVariantKey, kVariantValue, "\x01", value, sizeof value, file.c_str()) &&
           std::string(value) != "\x01";
}

void RunCustomerScriptOnStartup(bool serialOk, bool cameraOk, bool dioOk, const StartupWindows& windows) {
    char text[9] = {};
    Tovanix::E_GetPrivateProfileString("CustomerUI", "RunOnStartup", "", text, sizeof text, g_IniPath);
    if (strcasecmp(text, "TRUE") == 0 && serialOk && cameraOk && dioOk && windows.runUserInterface) {
        windows.runUserInterface();
    }
}

}  // namespace

void SetStartupWindows(StartupWindows windows) {
    std::lock_guard<std::mutex> lock(g_windowsMutex);
    g_windows = std::move(windows);
}

std::string ProgramFileVersion() {
    return CString::Formatted("%d.%d.%d.%d", VELLORA_VERSION_MAJOR, VELLORA_VERSION_MINOR, VELLORA_VERSION_PATCH,
                              VELLORA_VERSION_BUILD)
        .str();
}

void ReleaseInstanceLock() { g_instanceLock.reset(); }

void StopStartupThreads() { StopImageCaptureWorkflowThread(); }

bool CVelloraApp::InitInstance() {
    const StartupWindows windows = Windows();

    // One instance at a time.
    auto instanceLock = std::make_unique<platform::SingleInstanceLock>(platform::kInstanceMutexName);
    if (!instanceLock->Acquire()) {
        ShowPlain("Another instance of Vellora is already running.");
        return false;
    }
    g_instanceLock = std::move(instanceLock);

    // Data root, its LOG folder and the run log.
    // The maker's folder is made too, so that a fresh machine starts without
    // an installer; the public documents folder itself must exist.
    const std::string makerFolder = platform::JoinPath(platform::PublicDocumentsFolder(), "Tessaly");
    m_strDataRoot = platform::JoinPath(makerFolder, "Vellora").c_str();
    if (!EnsureFolder(makerFolder, m_strDataRoot.str()) || !EnsureFolder(m_strDataRoot.str())) return false;
    m_strIniPath = platform::JoinPath(m_strDataRoot.str(), "Vellora.ini").c_str();
    m_strExeDir = platform::ProgramFolder().c_str();
    m_strCustomerUIDir = platform::JoinPath(m_strExeDir.c_str(), "CustomerUI").c_str();
    m_strFileVersion = ProgramFileVersion().c_str();
    m_strVersion.Format("%d.%d.%d", VELLORA_VERSION_MAJOR, VELLORA_VERSION_MINOR, VELLORA_VERSION_PATCH);
    m_strBuild.Format("%d", VELLORA_VERSION_BUILD);

    SYSTEMTIME now;
    GetLocalTime(&now);
    const std::string logFolder = platform::JoinPath(m_strDataRoot.str(), "LOG");
    if (!EnsureFolder(logFolder)) return false;
    m_strRunLogPath = platform::JoinPath(logFolder, CString::Formatted("%d%02d%02d-%02d%02d-%02d.log", now.wYear,
                                                                       now.wMonth, now.wDay, now.wHour, now.wMinute,
                                                                       now.wSecond)
                                                        .str())
                          .c_str();
    std::unique_ptr<FILE, int (*)(FILE*)> runLog(std::fopen(platform::NativePath(m_strRunLogPath.str()).c_str(), "wb"),
                                                 &std::fclose);
    if (!runLog) {
        LogAndShowError(CString::Formatted("Unable to create file: %s", m_strRunLogPath.GetString()));
        return false;
    }
    for (const char* folder : {"Tmp", "LIB", "Backup"}) {
        if (!EnsureFolder(platform::JoinPath(m_strDataRoot.str(), folder))) return false;
    }

    g_IniPath = m_strIniPath;
    m_strUsersIniPath = platform::JoinPath(m_strDataRoot.str(), "Users.ini").c_str();

    // Enciphered profiles, then the main settings file, created from the
    // supplied default copy when missing and restored when invalid.
    bool retryProfiles = false;
    InitializeEncryptedProfiles(retryProfiles);
    std::string suppliedError;
    if (!InstallMissingDataRootFiles(m_strDataRoot, &suppliedError)) Log(suppliedError.c_str());
    if (!CreateIniIfMissing()) return false;
    if (!RestoreIniFromBackupIfInvalid()) return false;
    if (retryProfiles) InitializeEncryptedProfiles(retryProfiles);

    // Framework, document template, control panel file, main window.
    if (windows.createDocumentTemplate && !windows.createDocumentTemplate()) return false;
    ControlPanel::EnsureActiveControlPanelIni();
    if (windows.createMainWindow && !windows.createMainWindow()) return false;

    if (!CheckInstrumentPower()) return false;

    // The camera of [ExperimentSettings] CameraType.
    m_pCamera = CreateCameraForType(ReadText("ExperimentSettings", "CameraType", 1023, g_IniPath).c_str());
    if (!m_pCamera) {
        LogAndShowError("");
        return false;
    }
    {
        CString error;
        if (!m_pCamera->Initialize(&error, false)) {
            Log(error);
            const CString message = CString("Failed to establish communication with QX4 camera.") + kPowerCycleText;
            Log(message);
            ShowPlain(message);
            return false;
        }
    }
    const bool cameraOk = ApplyCameraSettings();
    CreateImageCaptureWorkflowThread();
    InitializeCachedLogs();
    CreateRenderObjects();
    const bool dioOk = InitializeDigitalIO();

    // Serial devices: discovery runs without the failure hook.
    g_SerialPortFailureHook = nullptr;
    const bool serialOk = ReInitializeSerialPortDevices(runLog.get());
    g_SerialPortFailureHook = OnSerialPortFailure;

    ReportCameraDetails(runLog.get());
    m_bQX4Lite = false;
    LogInitialChannelIntensity();
    m_bQX4Lite = InstrumentVariantMarkerPresent();
    RunLogLine(runLog.get(), "ImageFile\tDate\tTime\tExposure(us)\tStatus\tError");
    runLog.reset();

    if (windows.createModelessWindows) windows.createModelessWindows();
    RunCustomerScriptOnStartup(serialOk, cameraOk, dioOk, windows);

    CString cartridgeError;
    if (!LoadCartridgeTypes(cartridgeError)) LogAndShowError(cartridgeError);
    return true;
}
