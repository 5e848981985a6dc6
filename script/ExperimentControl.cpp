#include "script/ExperimentControl.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <strings.h>

#include "app/ExperimentSettingsIni.h"
#include "app/ExperimentWorkflow.h"
#include "app/FrameHooks.h"
#include "app/ImageTypes.h"
#include "app/VelloraApp.h"
#include "imaging/ImageCaptureWorkflow.h"
#include "imaging/LiveView.h"
#include "platform/Files.h"
#include "platform/UiBridge.h"
#include "support/Profile.h"
#include "support/String.h"

namespace {

constexpr char kSection[] = "ExperimentSettings";
constexpr int32_t kMaxCapturePeriodMs = 3600000;
// Longer texts are not examined by the file-name rule.
constexpr size_t kMaxExaminedFileName = 256;

std::string ReadSettingFrom(const char* file, const char* key, size_t characters, const char* fallback = "")
{
    std::string buffer(characters + 1, '\0');
    Tovanix::E_GetPrivateProfileString(kSection, key, fallback, buffer.data(), static_cast<uint32_t>(buffer.size()),
                                       file);
    buffer.resize(std::char_traits<char>::length(buffer.c_str()));
    return buffer;
}

void WriteSettingTo(const char* file, const char* key, const std::string& value)
{
    Tovanix::E_WritePrivateProfileString(kSection, key, value.c_str(), file);
}

bool IsBlankOnly(const std::string& text)
{
    return text.find_first_not_of(" \t") == std::string::npos;
}

std::string KeyOf(const char* key, int32_t itype)
{
    return key + std::to_string(itype);
}

}  // namespace

bool IsValidFileNameText(const std::string& text)
{
    if (text.size() > kMaxExaminedFileName)
        return true;
    for (const char& c : text) {
        if (!Tovanix::IsValidFileNameChar(&c))
            return false;
    }
    return true;
}

std::string WithInvalidFileNameCharsReplaced(const std::string& text)
{
    std::string replaced = text;
    for (char& c : replaced) {
        if (!Tovanix::IsValidFileNameChar(&c))
            c = '_';
    }
    return replaced;
}

std::string ReadExperimentSetting(const char* key)
{
    return ReadSettingFrom(g_IniPath, key, 1023);
}

void WriteExperimentSetting(const char* key, const std::string& value)
{
    WriteSettingTo(g_IniPath, key, value);
}

ExperimentNameProblem CheckExperimentName(const std::string& name)
{
    if (!IsValidFileNameText(name))
        return ExperimentNameProblem::InvalidCharacters;
    if (name.size() > kMaxExperimentNameLength)
        return ExperimentNameProblem::TooLong;
    if (name.size() < 3)
        return ExperimentNameProblem::TooShort;
    return ExperimentNameProblem::None;
}

bool StartRecordingWorkflow(const std::string& experimentName, CString& error)
{
    if (IsBlankOnly(experimentName)) {
        error = "StartRecordingWorkflow() - exp_name may not be empty.";
        return false;
    }
    if (experimentName.size() > kMaxExperimentNameLength) {
        error = "StartRecordingWorkflow() - exp_name may not be longer than 32 characers.";
        return false;
    }
    if (!IsValidFileNameText(experimentName)) {
        error = "StartRecordingWorkflow() - exp_name contains invalid characters. Only valid Windows file name "
                "characters are allowed.";
        return false;
    }
    if (theApp.m_bWorkflowRunning) {
        error = "StartRecordingWorkflow() - Experiment recording workflow is already running.";
        return false;
    }
    if (!theApp.m_pCamera) {
        error = "StartRecordingWorkflow() - no camera found.";
        return false;
    }
    WriteExperimentSetting("ExperimentName", experimentName);
    // Reports its own problems (disk space, period) to the operator.
    StartExperimentWorkflow();

    const FrameHooks hooks = GetFrameHooks();
    if (hooks.customerUiExists && hooks.customerUiExists() && hooks.checkCustomerUiFirstImageType)
        platform::RunOnUiThread(hooks.checkCustomerUiFirstImageType);
    ImageTypeBox::ShowImageType(0);
    return true;
}

bool SingleWorkflowImageCapture(const std::string& imageType, CString& error)
{
    if (!theApp.m_pCamera) {
        error = "SingleWorkflowImageCapture() - no camera";
        return false;
    }
    if (!imageType.empty()) {
        if (imageType.size() > kMaxExperimentNameLength) {
            error = "SingleWorkflowImageCapture() - image type must not be longer than 32 characters";
            return false;
        }
        if (!IsValidFileNameText(imageType)) {
            error = "SingleWorkflowImageCapture() - image type must be a valid Windows file name string";
            return false;
        }
        if (ImageTypeIndexOfName(ReadImageTypeNames(g_IniPath), imageType) < 0) {
            error = "SingleWorkflowImageCapture() - the given image type not found in ExperimentSettings.ini";
            return false;
        }
    }
    if (theApp.m_bWorkflowRunning) {
        error = "SingleWorkflowImageCapture() - Can't capture image while image workflow is active.";
        return false;
    }
    CString captureError;
    if (!CaptureActiveImages(captureError, imageType.empty() ? nullptr : imageType.c_str(), nullptr)) {
        error.Format("SingleWorkflowImageCapture() - %s", captureError.GetString());
        return false;
    }
    return true;
}

bool SetImageCapturePeriodMS(int32_t periodMs, CString& error)
{
    if (periodMs < 0 || periodMs > kMaxCapturePeriodMs) {
        error = "SetImageCapturePeriodMS () : value must be between 0 and 3600000, where zero indicates that only a "
                "single image will be captured";
        return false;
    }
    WriteExperimentSetting("ImageCapturePeriod", std::to_string(periodMs));
    if (theApp.m_bWorkflowRunning)
        RestartExperimentWorkflowTimer(static_cast<uint32_t>(periodMs));
    return true;
}

bool SetDataDirectory(const std::string& folder, CString& error)
{
    if (!platform::DirectoryExists(platform::NativePath(folder))) {
        error.Format("SetExperimentName() : %s is not an existing directory.", folder.c_str());
        return false;
    }
    WriteExperimentSetting("DataDirectory", folder);
    return true;
}

bool GetImageTypeDescription(int32_t itype, ImageTypeDescription& description, CString& error)
{
    if (itype < 1 || itype > 4) {
        error = "GetImageTypeDescription() : itype must be an integer between 1 and 4";
        return false;
    }
    description.active = strcasecmp(ReadSettingFrom(g_IniPath, KeyOf("IsActive", itype).c_str(), 7).c_str(),
                                    "TRUE") == 0;
    description.name = ReadSettingFrom(g_IniPath, KeyOf("ImageTypeName", itype).c_str(), 1023);
    const std::string exposure = ReadSettingFrom(g_IniPath, KeyOf("ImageTypeExposure", itype).c_str(), 31);
    int value = 0;
    description.exposureUs = std::sscanf(exposure.c_str(), "%d", &value) == 1 ? value : 100;
    return true;
}

bool SetImageTypeDescription(int32_t itype, int32_t active, const std::string& name, int32_t exposureUs,
                             bool alsoExperiment, CString& error)
{
    if (itype < 1 || itype > 4) {
        error = "SetImageTypeDescription() : itype must be an integer between 1 and 4";
        return false;
    }
    if (name.size() > kMaxExperimentNameLength) {
        error = "SetImageTypeDescription() : name may not be more than 32 characters";
        return false;
    }
    if (!IsValidFileNameText(name)) {
        error = "SetImageTypeDescription() : name may only contain valid Windows file name chacters";
        return false;
    }
    if (exposureUs < 29 || exposureUs > 1000000) {
        error = "SetImageTypeDescription() exp_us must be between 29 and 1000000.";
        return false;
    }
    const std::string activeKey = KeyOf("IsActive", itype);
    const std::string activeValue = active == 1 ? "TRUE" : "FALSE";
    WriteExperimentSetting(activeKey.c_str(), activeValue);
    if (alsoExperiment) {
        // Without a current experiment there is no copy to write.
        const std::string directory = ReadExperimentSetting("ExperimentDirectory");
        const Tovanix::String copy = directory.empty() ? Tovanix::String() : FindExperimentSettingsIni(directory.c_str());
        if (copy.HasText() && platform::FileExists(platform::NativePath(copy.c_str())))
            WriteSettingTo(copy.c_str(), activeKey.c_str(), activeValue);
    }
    WriteExperimentSetting(KeyOf("ImageTypeName", itype).c_str(), name);
    WriteExperimentSetting(KeyOf("ImageTypeExposure", itype).c_str(), std::to_string(exposureUs));
    return true;
}

bool SetWorkflowLiveImageIntervalByImageType(const std::string& imageType, int32_t intervalMs, CString& error)
{
    if (intervalMs < 10 || intervalMs > 100000) {
        error = "CustomerUI_SetWorkflowLiveImageIntervalByImageType () : interval must be between 10ms and 100000ms";
        return false;
    }
    std::lock_guard<std::mutex> lock(g_LiveIntervalLock);
    g_LiveIntervalByImageType[imageType] = intervalMs;
    g_LiveIntervalChanged = true;
    return true;
}
