// The camera commands: re-open the camera, collect a focus stack (the stage's
// X or focus axis stepped through positions, one image of every active image
// type saved at each), detect the split line on a fresh frame, and load the
// detected rotation correction into the live view.

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "analysis/ExperimentDataSet.h"
#include "analysis/SplitLineDetection.h"
#include "app/ExperimentSettingsIni.h"
#include "app/ImageTypes.h"
#include "app/VelloraApp.h"
#include "devices/Camera.h"
#include "devices/Zaber.h"
#include "imaging/ImageCaptureWorkflow.h"
#include "imaging/LiveView.h"
#include "platform/Files.h"
#include "platform/Sync.h"
#include "platform/Time.h"
#include "script/ArgumentReaders.h"
#include "script/BuiltInHandlers.h"
#include "script/Script.h"
#include "script/StageAxis.h"
#include "support/AppLogs.h"
#include "support/Profile.h"

namespace {

constexpr int32_t kCollectFocusStack = 74;
constexpr int32_t kInitializeCamera = 163;

constexpr int kMaxFocusStackSteps = 500;

std::string ReadExperimentSetting(const char* key)
{
    char buffer[1024] = {};
    Tovanix::E_GetPrivateProfileString("ExperimentSettings", key, "", buffer, sizeof buffer, g_IniPath);
    return buffer;
}

// The settings copy of the current experiment; empty when there is none.
std::string CurrentExperimentSettingsIni()
{
    return FindExperimentSettingsIni(ReadExperimentSetting("ExperimentDirectory").c_str()).c_str();
}

// The focus-stack checks that both passes make, in their order.
bool CheckFocusStackArguments(const Tovanix::String& axisName, double start, double step, int steps, int& axis,
                              CString& error)
{
    axis = ScriptStageAxis(axisName);
    if (axis < 0) {
        error = "CollectFocusStack() axis must have value \"X\" or \"Z\"";
        return false;
    }
    if (axis == Zaber::kXAxis && !(start >= 0 && start <= 100)) {
        error = "CollectFocusStack() start_mm must have a value between 0 and 100 for the X axis";
        return false;
    }
    if (axis == Zaber::kFocusAxis && !(start >= 0 && start <= 25)) {
        error = "CollectFocusStack() start_mm must have a value between 0 and 25 for the Z axis";
        return false;
    }
    if (!(step >= -10.0 && step <= 10.0)) {
        error = "CollectFocusStack() step_mm must have a value between -10.0 and +10.0";
        return false;
    }
    if (steps < 1 || steps > kMaxFocusStackSteps) {
        error = "CollectFocusStack() nsteps must be a value between 1 and 500";
        return false;
    }
    if (!InitializeStageForCommand("CollectFocusStack", error))
        return false;
    if (!theApp.m_pCamera) {
        error = "CollectFocusStack() - no camera";
        return false;
    }
    if (theApp.m_bWorkflowRunning) {
        error = "CollectFocusStack() - Can't capture image while image workflow is active.";
        return false;
    }
    return true;
}

// The data folder as the settings name it: first line only, blanks trimmed.
std::string DataDirectoryFolder()
{
    std::string text = ReadExperimentSetting("DataDirectory");
    text = text.substr(0, text.find_first_of("\r\n"));
    Tovanix::String trimmed(text.c_str());
    trimmed.Trim();
    return trimmed.c_str();
}

void UnableToCreate(const std::string& folder, CString& error)
{
    error.Format("CollectFocusStack() - unable to create directory: %s", folder.c_str());
}

// The stack's images are written as captured: 16-bit PNG, default settings.
// A failed write loses that image only; it is logged and the stack goes on.
void WriteFocusStackImage(const cv::Mat& image, const std::string& path)
{
    std::vector<uchar> encoded;
    bool written = false;
    try {
        written = cv::imencode(".png", image, encoded) &&
                  platform::WriteFileAtomically(path, encoded.data(), encoded.size());
    } catch (const cv::Exception& e) {
        LogErrAndInfo(__FILE__, __LINE__, (std::string("CollectFocusStack() - ") + e.what()).c_str());
    }
    if (!written) {
        CString message;
        message.Format("CollectFocusStack() - unable to write image: %s", path.c_str());
        LogErrAndInfo(__FILE__, __LINE__, message);
    }
}

// Releases every image of the slots.
struct CapturedImages {
    cv::Mat* slots[kImageTypeCount] = {};
    ~CapturedImages()
    {
        for (cv::Mat*& image : slots) {
            delete image;
            image = nullptr;
        }
    }
};

}  // namespace

bool Script::InitializeCamera(const char* arguments, std::vector<Variable>& variables, bool check_only,
                              CString& error)
{
    const char* cursor = arguments;
    int ignoredInt = 0;
    Tovanix::String ignoredText;
    Variable* ok = nullptr;
    Variable* reason = nullptr;
    if (!OpenArgumentList(cursor, error) || !ReadIntParameter(1, cursor, ignoredInt, error, &variables, &ok) ||
        !ReadStringParameter(2, cursor, ignoredText, error, &variables, &reason))
        return false;
    if (check_only)
        return true;

    int answer = 0;
    CString why;
    if (!theApp.m_pCamera) {
        why = "Camera object was not initialized on startup.";
    } else {
        // No grab of the live view, the workflow or another script may run
        // on the camera while it is opened again.
        std::unique_ptr<platform::SemaphoreLock> hold;
        if (g_CaptureSemaphore)
            hold = std::make_unique<platform::SemaphoreLock>(*g_CaptureSemaphore, platform::kInfinite);
        CString cameraError;
        if (theApp.m_pCamera->Initialize(&cameraError, true))
            answer = 1;
        else
            why = cameraError;
    }
    if (ok && ok->type == kVariableInt)
        ok->iValue = answer;
    if (!answer && reason && reason->type == kVariableString)
        reason->sValue = why.GetString();
    return true;
}

bool Script::CollectFocusStack(const char* arguments, std::vector<Variable>& variables, bool check_only,
                               CString& error)
{
    const char* cursor = arguments;
    Tovanix::String axisName;
    double start = 0, step = 0;
    int steps = 0;
    int axis = -1;
    if (!OpenArgumentList(cursor, error) || !ReadStringParameter(1, cursor, axisName, error, &variables, nullptr) ||
        !ReadDoubleParameter(2, cursor, start, error, &variables, nullptr) ||
        !ReadDoubleParameter(3, cursor, step, error, &variables, nullptr) ||
        !ReadIntParameter(4, cursor, steps, error, &variables, nullptr))
        return false;
    if (!CheckFocusStackArguments(axisName, start, step, steps, axis, error))
        return false;
    if (check_only)
        return true;

    SYSTEMTIME now;
    GetLocalTime(&now);
    char day[32];
    std::snprintf(day, sizeof day, "%u%02u%02u", now.wYear, now.wMonth, now.wDay);
    char stackName[64];
    std::snprintf(stackName, sizeof stackName, "Stack%s_%04u%02u%02u-%02u%02u%02u", axisName.c_str(), now.wYear,
                  now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);

    std::string folder = DataDirectoryFolder();
    if (folder.empty() || !platform::IsPathSeparator(folder.back()))
        folder += '/';
    folder = platform::NativePath(folder + day);
    std::error_code ec;
    if (!platform::DirectoryExists(folder) && !std::filesystem::create_directory(folder, ec)) {
        UnableToCreate(folder, error);
        return false;
    }
    // A stack folder that exists already (a stack started in the same second) is refused.
    folder = platform::JoinPath(folder, stackName);
    if (!std::filesystem::create_directory(folder, ec)) {
        UnableToCreate(folder, error);
        return false;
    }

    ImageTypeNames typeNames = ReadImageTypeNames(g_IniPath);
    for (std::string& name : typeNames) {
        Tovanix::String valid(name.c_str());
        valid.MakeValidFileName();
        name = valid.c_str();
    }

    for (int k = 0; k <= steps; ++k) {
        CString stepError;
        const bool moved = k == 0 ? Zaber::MoveToPosition_mm(axis, start, &stepError)
                                  : Zaber::MoveRelative_mm(axis, step, &stepError);
        if (!moved || !Zaber::WaitForMoveToFinish(axis, &stepError)) {
            error = stepError;
            return false;
        }
        CapturedImages captured;
        if (!CaptureActiveImages(stepError, nullptr, captured.slots)) {
            error = stepError;
            return false;
        }
        // The nominal position, from the arguments, in micrometres.
        const long position = std::lround((k * step + start) * 1000.0);
        for (int t = 0; t < kImageTypeCount; ++t) {
            if (!captured.slots[t])
                continue;
            char file[64];
            std::snprintf(file, sizeof file, "_%s%06ld.png", axisName.c_str(), position);
            const std::string name = std::string(stackName) + "_" + typeNames[static_cast<size_t>(t)] + file;
            WriteFocusStackImage(*captured.slots[t], platform::JoinPath(folder, name));
        }
    }
    return true;
}

bool Script::AutoDetectSplitLineZeroPosition(const char* arguments, std::vector<Variable>&, bool check_only,
                                             CString& error)
{
    const char* cursor = arguments;
    if (!ParseEmptyArgumentList(cursor, error))
        return false;
    if (check_only)
        return true;

    const std::string settingsCopy = CurrentExperimentSettingsIni();
    // The first frame after the switch of light is thrown away.
    cv::Mat image;
    bool grabbed = false;
    for (int grab = 0; grab < 2; ++grab) {
        int typeIndex = 0, exposure = 0;
        CString typeName, grabError;
        image.release();
        grabbed = theApp.capture_single_active_image(image, typeIndex, exposure, typeName, grabError);
    }
    // Without a settings copy there is nowhere to keep what is found.
    if (grabbed && !settingsCopy.empty()) {
        ExperimentDataSet data;
        std::string detectError;
        DetectSplitLine(data, settingsCopy, theApp.m_strCartridgeTypeCode.c_str(), image, &detectError);
    }
    return true;
}

bool Script::StartDisplayRotationCorrectedImages(const char*, std::vector<Variable>&, bool, CString&)
{
    const std::string settingsCopy = CurrentExperimentSettingsIni();
    if (settingsCopy.empty()) {
        SetLiveRotation(LiveRotation{});
        return true;
    }
    // A key that is missing or does not read counts as not detected.
    auto readKey = [&](const char* key, const char* format, void* value) {
        char buffer[32] = {};
        Tovanix::E_GetPrivateProfileString("Cartridge", key, "", buffer, sizeof buffer, settingsCopy.c_str());
        return std::sscanf(buffer, format, value) == 1;
    };
    int offset = kSplitLineNotDetected, centerX = kSplitLineNotDetected, centerY = kSplitLineNotDetected;
    double angle = kSplitLineNotDetected;
    if (!readKey("CartridgeChannelDetectedOffset", "%d", &offset))
        offset = kSplitLineNotDetected;
    if (!readKey("CartridgeChannelDetectedRotation", "%lf", &angle))
        angle = kSplitLineNotDetected;
    if (!readKey("CartridgeChannelDetectedRotationCenterX", "%d", &centerX))
        centerX = kSplitLineNotDetected;
    if (!readKey("CartridgeChannelDetectedRotationCenterY", "%d", &centerY))
        centerY = kSplitLineNotDetected;

    const bool detected = offset != kSplitLineNotDetected && angle != kSplitLineNotDetected &&
                          centerX != kSplitLineNotDetected && centerY != kSplitLineNotDetected;
    SetLiveRotation(detected ? LiveRotation{angle, offset, centerX, centerY} : LiveRotation{});
    return true;
}

void InstallCameraCommands(BuiltInHandlerTable& table)
{
    table.Set(kCollectFocusStack, &Script::CollectFocusStack);
    table.Set(kInitializeCamera, &Script::InitializeCamera);
    table.Set(BuiltIn::kAutoDetectSplitLineZeroPosition, &Script::AutoDetectSplitLineZeroPosition);
    table.Set(BuiltIn::kStartDisplayRotationCorrectedImages, &Script::StartDisplayRotationCorrectedImages);
}
