// The small general commands: the timed wait, the workflow's capture count
// and period, the background images, a few windows and view switches, the
// availability queries, the digital I/O resets and the rotation display's
// end. Argument errors show in the check pass; ranges and effects when the
// line runs, unless a command says otherwise.

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>

#include "app/ActiveROI.h"
#include "app/ExperimentWorkflow.h"
#include "app/VelloraApp.h"
#include "devices/Camera.h"
#include "devices/DigitalIO.h"
#include "imaging/ImageCaptureWorkflow.h"
#include "imaging/LiveView.h"
#include "imaging/MfgTestOverlay.h"
#include "platform/Clock.h"
#include "platform/UiBridge.h"
#include "script/ArgumentReaders.h"
#include "script/BuiltInHandlers.h"
#include "script/DispatcherCommands.h"
#include "support/AppLogs.h"
#include "support/Profile.h"

namespace {

enum : int32_t {
    kWait = 7,
    kEmptySyringe = 8,
    kResetDIO = 16,
    kStopRecordingWorkflow = 27,
    kGetImageCapturePeriodMS = 30,
    kGetImageCaptureCount = 32,
    kSetImageCaptureCount = 33,
    kCaptureBackgroundImagesToMemory = 40,
    kGetNumberOfBackgroundImagesLoaded = 41,
    kSaveBackgroundImagesToFile = 42,
    kLoadBackgroundImagesFromFile = 43,
    kShowExperimentSettings = 49,
    kIsCameraAvailable = 98,
    kIsTecanPumpAvailable = 105,
    kZaberControlPanel = 145,
    kROIHide = 149,
    kROIShow = 150,
    kROIDrawProjectionBelow = 152,
    kROIDrawProjectionRightSide = 153,
    kOpenCreateVideoTool = 171,
    kDIOReset = 172,
    kDIORestoreDefaultState = 175,
    kEndDisplayRotationCorrectedImages = 205,
    kIsQX4Lite = 209,
};

// The main window's stage control panel.
constexpr int kStageControlPanelCommand = 32850;
constexpr int kMaxWaitSeconds = 36000;
constexpr uint32_t kMaxImageCaptureCount = 10000;

using Variables = std::vector<Variable>;

std::mutex g_experimentSettingsWindowMutex;
std::function<void()> g_experimentSettingsWindow;

// Reads one int parameter, the list opened first.
bool ReadOneInt(const char* arguments, Variables& variables, int& value, Variable** found, CString& error) {
    const char* cursor = arguments;
    return OpenArgumentList(cursor, error) && ReadIntParameter(1, cursor, value, error, &variables, found);
}

bool ReadEmpty(const char* arguments, CString& error) {
    const char* cursor = arguments;
    return ParseEmptyArgumentList(cursor, error);
}

void StoreInt(Variable* variable, int32_t value) {
    if (variable && variable->type == kVariableInt) variable->iValue = value;
}

// A command that reports one int into a variable.
bool ReportInt(const char* arguments, Variables& variables, bool check_only, CString& error,
               const std::function<int32_t()>& value) {
    int ignored = 0;
    Variable* found = nullptr;
    if (!ReadOneInt(arguments, variables, ignored, &found, error)) return false;
    if (!check_only) StoreInt(found, value());
    return true;
}

// An [ExperimentSettings] number of the main settings file, parsed as "%d".
int32_t ExperimentSettingsInt(const char* key, int32_t fallback) {
    char buffer[31] = {};
    Tovanix::E_GetPrivateProfileString("ExperimentSettings", key, "", buffer, 30, g_IniPath);
    int value = 0;
    return std::sscanf(buffer, "%d", &value) == 1 ? value : fallback;
}

bool Wait(const char* arguments, Variables& variables, bool check_only, CString& error) {
    int seconds = 0;
    if (!ReadOneInt(arguments, variables, seconds, nullptr, error)) return false;
    if (check_only) return true;
    if (seconds < 1 || seconds > kMaxWaitSeconds) {
        error = "Wait() seconds must be between 1 and 36000";
        return false;
    }
    // The whole wait runs; a stop request takes effect after it.
    for (int i = 0; i < seconds; ++i) Sleep(1000);
    return true;
}

bool EmptySyringe(const char* arguments, Variables& variables, bool check_only, CString& error) {
    int syringe = 0;
    if (!ReadOneInt(arguments, variables, syringe, nullptr, error)) return false;
    if (check_only) return true;
    if (static_cast<uint32_t>(syringe) > 2u)
        error = "EmptySyringe() isyringe must be equal to 0 (both) 1 or 2";
    else
        error = "EmptySyringe() - Function is obsolete";
    return false;
}

// ResetDIO is written without an argument list, so nothing of its text is read.
bool ResetDIO(const char*, Variables&, bool check_only, CString& error) {
    if (check_only) return true;
    return Initialize_DIO(&error, true);
}

bool DIOReset(const char* arguments, Variables&, bool check_only, CString& error) {
    if (!ReadEmpty(arguments, error)) return false;
    if (check_only) return true;
    return Initialize_DIO(&error, true);
}

bool DIORestoreDefaultState(const char* arguments, Variables&, bool check_only, CString& error) {
    if (!ReadEmpty(arguments, error)) return false;
    if (check_only) return true;
    return Initialize_DIO(&error, true) && LoadDIOMapping(&error);
}

bool StopRecordingWorkflow(const char* arguments, Variables&, bool check_only, CString& error) {
    if (!ReadEmpty(arguments, error)) return false;
    if (!check_only && theApp.m_bWorkflowRunning) StopExperimentWorkflow();
    return true;
}

bool GetImageCapturePeriodMS(const char* arguments, Variables& variables, bool check_only, CString& error) {
    return ReportInt(arguments, variables, check_only, error,
                     [] { return ExperimentSettingsInt("ImageCapturePeriod", 1000); });
}

bool GetImageCaptureCount(const char* arguments, Variables& variables, bool check_only, CString& error) {
    return ReportInt(arguments, variables, check_only, error,
                     [] { return ExperimentSettingsInt("ImageCaptureCount", 10); });
}

bool SetImageCaptureCount(const char* arguments, Variables& variables, bool check_only, CString& error) {
    int count = 0;
    if (!ReadOneInt(arguments, variables, count, nullptr, error)) return false;
    if (check_only) return true;
    if (static_cast<uint32_t>(count) > kMaxImageCaptureCount) {
        error = "SetImageCaptureCount () : value must be between 1 and 10000, where zero indicates that only a "
                "single image will be captured";
        return false;
    }
    char text[16];
    std::snprintf(text, sizeof text, "%ld", static_cast<long>(count));
    // The script goes on either way, but a lost setting must not pass unnoticed.
    if (!Tovanix::E_WritePrivateProfileString("ExperimentSettings", "ImageCaptureCount", text, g_IniPath)) {
        LogErrAndInfo("Script", __LINE__,
                      ("SetImageCaptureCount () : unable to write ImageCaptureCount to " + g_IniPath.str()).c_str());
    }
    return true;
}

bool CaptureBackgroundImagesToMemory(const char* arguments, Variables&, bool check_only, CString& error) {
    if (!ReadEmpty(arguments, error)) return false;
    if (theApp.m_bWorkflowRunning) {
        error = "CaptureBackgroundImages() - Not available when experiment workflow is running.";
        return false;
    }
    if (check_only) return true;
    if (!theApp.m_pCamera || !theApp.m_pCamera->IsInitialized()) {
        error.Format("%s() - camara is not ready.", "Script::CaptureBackgroundImagesToMemory");
        return false;
    }
    if (theApp.m_bWorkflowRunning) {
        error.Format("%s() - Can't capture background images while the image capture workflow is running.",
                     "CMainFrame::CaptureBackgroundImages");
        return false;
    }
    for (cv::Mat*& image : theApp.m_pBackgroundImages) {
        delete image;
        image = nullptr;
    }
    return CaptureActiveImages(error, nullptr, theApp.m_pBackgroundImages);
}

bool GetNumberOfBackgroundImagesLoaded(const char* arguments, Variables& variables, bool check_only,
                                       CString& error) {
    return ReportInt(arguments, variables, check_only, error, [] {
        int32_t count = 0;
        for (const cv::Mat* image : theApp.m_pBackgroundImages) count += image ? 1 : 0;
        return count;
    });
}

bool SaveBackgroundImagesToFile(const char* arguments, Variables&, bool check_only, CString& error) {
    if (!ReadEmpty(arguments, error)) return false;
    return check_only || theApp.SaveBackgroundImagesToFile(error);
}

bool LoadBackgroundImagesFromFile(const char* arguments, Variables&, bool check_only, CString& error) {
    if (!ReadEmpty(arguments, error)) return false;
    return check_only || theApp.LoadBackgroundImagesFromFile(error);
}

bool ShowExperimentSettings(const char* arguments, Variables&, bool check_only, CString& error) {
    if (!ReadEmpty(arguments, error)) return false;
    if (check_only) return true;
    std::function<void()> window;
    {
        std::lock_guard<std::mutex> lock(g_experimentSettingsWindowMutex);
        window = g_experimentSettingsWindow;
    }
    if (window) window();
    return true;
}

bool IsCameraAvailable(const char* arguments, Variables& variables, bool check_only, CString& error) {
    return ReportInt(arguments, variables, check_only, error,
                     [] { return theApp.m_pCamera && theApp.m_pCamera->IsInitialized() ? 1 : 0; });
}

bool IsTecanPumpAvailable(const char* arguments, Variables& variables, bool check_only, CString& error) {
    return ReportInt(arguments, variables, check_only, error, [] { return theApp.m_nPumpComPort != 0 ? 1 : 0; });
}

bool IsQX4Lite(const char* arguments, Variables& variables, bool check_only, CString& error) {
    return ReportInt(arguments, variables, check_only, error, [] { return theApp.m_bQX4Lite ? 1 : 0; });
}

bool ZaberControlPanel(const char* arguments, Variables&, bool check_only, CString& error) {
    if (!ReadEmpty(arguments, error)) return false;
    if (check_only) return true;
    if (theApp.m_nStageComPort == 0) {
        error = "Zaber is not initialized.";
        return false;
    }
    platform::PostCommand(kStageControlPanelCommand);
    return true;
}

bool OpenCreateVideoTool(const char* arguments, Variables&, bool check_only, CString& error) {
    if (!ReadEmpty(arguments, error)) return false;
    if (!check_only) g_ShowVideoDialogRequested = true;
    return true;
}

template <bool Hide>
bool ROIOverlays(const char* arguments, Variables&, bool check_only, CString& error) {
    if (!ReadEmpty(arguments, error)) return false;
    if (check_only) return true;
    if (g_HideROIOverlays.exchange(Hide) != Hide) theApp.InvalidateAllImageViews();
    return true;
}

template <bool Below>
bool ROIDrawProjection(const char* arguments, Variables& variables, bool check_only, CString& error) {
    int on = 0;
    if (!ReadOneInt(arguments, variables, on, nullptr, error)) return false;
    if (check_only) return true;
    std::atomic<bool>& flag = Below ? g_ShowProjectionBelow : g_ShowProjectionRightSide;
    if (flag.exchange(on != 0) != (on != 0)) theApp.InvalidateAllImageViews();
    return true;
}

// Acts in the check pass as well, so a checked script already ends the
// rotation-corrected display.
bool EndDisplayRotationCorrectedImages(const char*, Variables&, bool, CString&) {
    SetLiveRotation(LiveRotation{});
    return true;
}

}  // namespace

void SetExperimentSettingsWindow(std::function<void()> window) {
    std::lock_guard<std::mutex> lock(g_experimentSettingsWindowMutex);
    g_experimentSettingsWindow = std::move(window);
}

void InstallDispatcherCommands(BuiltInHandlerTable& table) {
    table.Set(kWait, &Wait);
    table.Set(kEmptySyringe, &EmptySyringe);
    table.Set(kResetDIO, &ResetDIO);
    table.Set(kDIOReset, &DIOReset);
    table.Set(kDIORestoreDefaultState, &DIORestoreDefaultState);
    table.Set(kStopRecordingWorkflow, &StopRecordingWorkflow);
    table.Set(kGetImageCapturePeriodMS, &GetImageCapturePeriodMS);
    table.Set(kGetImageCaptureCount, &GetImageCaptureCount);
    table.Set(kSetImageCaptureCount, &SetImageCaptureCount);
    table.Set(kCaptureBackgroundImagesToMemory, &CaptureBackgroundImagesToMemory);
    table.Set(kGetNumberOfBackgroundImagesLoaded, &GetNumberOfBackgroundImagesLoaded);
    table.Set(kSaveBackgroundImagesToFile, &SaveBackgroundImagesToFile);
    table.Set(kLoadBackgroundImagesFromFile, &LoadBackgroundImagesFromFile);
    table.Set(kShowExperimentSettings, &ShowExperimentSettings);
    table.Set(kIsCameraAvailable, &IsCameraAvailable);
    table.Set(kIsTecanPumpAvailable, &IsTecanPumpAvailable);
    table.Set(kIsQX4Lite, &IsQX4Lite);
    table.Set(kZaberControlPanel, &ZaberControlPanel);
    table.Set(kOpenCreateVideoTool, &OpenCreateVideoTool);
    table.Set(kROIHide, &ROIOverlays<true>);
    table.Set(kROIShow, &ROIOverlays<false>);
    table.Set(kROIDrawProjectionBelow, &ROIDrawProjection<true>);
    table.Set(kROIDrawProjectionRightSide, &ROIDrawProjection<false>);
    table.Set(kEndDisplayRotationCorrectedImages, &EndDisplayRotationCorrectedImages);
}
