#pragma once

// The application object: the program's shared state that nearly every part
// reads (camera object, folders and files, version strings, the flags of the
// administrator mode and of the experiment workflow, the serial ports found,
// the background images, the cartridge in use), and the process-wide
// synchronisation objects and request queues that start-up creates.
//
// It holds no window: the Qt application and the main window live in app/ui
// and app/main, and register themselves here (m_pMainWnd, the view
// invalidator). Every layer may include this header.

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "platform/CString.h"
#include "platform/Sync.h"
#include "platform/Time.h"
#include "support/String.h"

class Camera;
class CMainFrame;
class CMultiDocTemplate;
class CImageDoc;
struct RenderRequest;
namespace cv {
class Mat;
}

// Default region of interest around the cartridge channel, inclusive pixels.
struct CartridgeChannelROI {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

class CVelloraApp {
public:
    CVelloraApp();
    ~CVelloraApp();
    CVelloraApp(const CVelloraApp&) = delete;
    CVelloraApp& operator=(const CVelloraApp&) = delete;

    // Start-up, idle time and exit.
    bool InitInstance();
    bool OnIdle(long count);
    int ExitInstance();

    // The main settings file. CreateIniIfMissing copies the data root's
    // Default\Vellora.ini when the main file is missing and carries the
    // calibration of an older installation's file over; false (after its own
    // message) ends start-up. RestoreIniFromBackupIfInvalid replaces a main
    // file that fails the full validity test by Backup\Vellora.ini.bak when
    // that one passes; false (after the instructions to the user) ends start-up.
    bool CreateIniIfMissing();
    bool RestoreIniFromBackupIfInvalid();
    bool InitializeEncryptedProfiles(bool& retry);

    // Camera.
    bool ApplyCameraSettings();
    bool ReInitializeCamera();
    bool capture_single_active_image(cv::Mat& image, int& typeIndex, int& exposure, CString& typeName,
                                     CString& error);

    // Serial devices: finds the stage and the pumps; `report` may be null.
    bool ReInitializeSerialPortDevices(FILE* report);

    // Background images of the four image types.
    bool LoadBackgroundImagesFromFile(CString& error);
    bool SaveBackgroundImagesToFile(CString& error);
    bool WriteBackgroundImage(const char* typeName, const char* folder);

    // Image documents and views.
    void OnLiveImage();
    CImageDoc* GetPreviewDoc();
    void InvalidateAllImageViews();
    // The image views' owner installs how all views are invalidated.
    void SetImageViewInvalidator(std::function<void()> invalidator);

    // Channel region from [Cartridge] of the settings file (empty: the main
    // settings file): the wide band (columns 1844..2444) or the narrow one
    // (824..1624), 100 rows inside the upper and lower channel walls.
    void GetCartridgeChannelROI(bool band, const CString& settingsFile, CartridgeChannelROI& result);

    // Framework state.
    CMainFrame* m_pMainWnd = nullptr;
    int m_nCmdShow = 0;
    uint32_t m_dwRestartManagerSupportFlags = 0;

    // Own fields.
    Camera* m_pCamera = nullptr;  // owned
    CMultiDocTemplate* m_pImageDocTemplate = nullptr;
    CString m_strDataRoot;       // <public documents>\Tessaly\Vellora
    CString m_strIniPath;        // <data root>\Vellora.ini
    CString m_strRunLogPath;     // <data root>\LOG\<date-time>.log
    CString m_strFileVersion;    // "%d.%d.%d.%d"
    CString m_strVersion;        // "%d.%d.%d"
    CString m_strBuild;          // "%d"
    CString m_strDisplayName;    // "Vellora"
    CString m_strLiveImageType;  // image type shown by live view
    CString m_strUsersIniPath;   // <data root>\Users.ini
    bool m_bQX4Lite = false;
    int32_t m_nMinTimeBetweenCaptureEventsMs = 100;
    Tovanix::String m_strExeDir;
    Tovanix::String m_strCustomerUIDir;
    int32_t m_nCustomerUIWidth = 0;
    int32_t m_nCustomerUIHeight = 0;
    cv::Mat* m_pBackgroundImages[4] = {};  // owned
    int32_t m_nPumpComPort = 0;
    int32_t m_nStageComPort = 0;
    int32_t m_nStageBaudRate = 0;
    Tovanix::String m_strCartridgeTypeCode;
    bool m_bAdminMode = false;
    bool m_bWorkflowRunning = false;
    int32_t m_nWorkflowCaptureIndex = -1;
    SYSTEMTIME m_WorkflowStartTime{};
    int32_t m_nLastLiveImageType = -1;

private:
    std::function<void()> m_invalidateImageViews;
};

extern CVelloraApp theApp;

// The serial layer's failure hook: removes itself, then asks the main window
// (command 1364, with the failed COM number as its argument) to find the
// serial devices again.
void OnSerialPortFailure(int comPort);

// The validity test of a settings file: [CalibrationSettings]
// image_pixels_per_mm parses as a real other than -1; with the full check also
// [TecanCentris] Pump2SyringeVolume and [AutoScale] LowMappingDisplayIntensity
// parse as integers other than -1. Values are not range-checked.
bool IsIniValid(CString path, bool fullCheck);

// The live refresh period of the camera model in ms ([<model> Settings]
// RefreshPeriodMs, 100 when unparsable); 0 without a camera or model name.
int GetCameraRefreshPeriodMs(CString& error);
// Loads theApp.m_nMinTimeBetweenCaptureEventsMs for the camera model (100..1000).
void LoadMinTimeBetweenImageCaptureEvents();
// InvalidateAllImageViews on theApp, once the image document template exists.
void InvalidateImageViews();

// Globals created by the constructor and by start-up.
extern CString g_IniPath;
extern std::vector<Tovanix::String> g_ReferenceImageRequests;
extern std::vector<Tovanix::String> g_CloseDocumentRequests;
extern std::unique_ptr<platform::Semaphore> g_IdleRequestSemaphore;  // guards both request lists; waits 1000 ms
extern std::atomic<bool> g_ShowVideoDialogRequested;
extern std::unique_ptr<platform::Semaphore> g_CaptureSemaphore;
extern std::unique_ptr<platform::Event> g_WorkflowEvent;
extern std::unique_ptr<platform::Event> g_LiveViewEvent;
extern std::unique_ptr<platform::Semaphore> g_MatAccessSemaphore;
extern std::unique_ptr<platform::Event> g_RenderEvent;
extern std::unique_ptr<platform::Semaphore> _render_list_semaphore;
constexpr int kRenderListSize = 100;
extern RenderRequest* g_RenderList[kRenderListSize];
