// The commands that prepare and run image-capture experiments: the
// experiment name and data folder, the recording workflow and single
// captures, the capture period, the image-type descriptions, the live view's
// intervals, system information and file-name checks. The work itself is in
// script/ExperimentControl; these handlers read the arguments and hand the
// answers to the script's variables.
//
// The answer-style commands (SetExperimentName with a reason variable,
// IsFilenameValid, IsFileExist) number their parameters from 0. Their
// optional answer variables are missing only when the list ends before them;
// one that is written but cannot be read fails the command.

#include <string>

#include "app/VelloraApp.h"
#include "platform/Files.h"
#include "platform/Sync.h"
#include "script/ArgumentReaders.h"
#include "script/BuiltInHandlers.h"
#include "script/ExperimentControl.h"
#include "script/Script.h"

namespace {

constexpr int32_t kStartRecordingWorkflow = 26;
constexpr int32_t kSingleWorkflowImageCapture = 28;
constexpr int32_t kSetImageCapturePeriodMS = 31;
constexpr int32_t kGetExperimentName = 34;
constexpr int32_t kSetExperimentName = 35;
constexpr int32_t kGetDataDirectory = 36;
constexpr int32_t kSetDataDirectory = 37;
constexpr int32_t kGetImageTypeDescription = 38;
constexpr int32_t kSetImageTypeDescription = 39;
constexpr int32_t kGetSystemInfo = 147;
constexpr int32_t kIsFilenameValid = 197;
constexpr int32_t kIsFileExist = 202;
constexpr int32_t kCustomerUI_SetWorkflowLiveImageIntervalByImageType = 206;

void StoreString(Variable* variable, const std::string& value)
{
    if (variable && variable->type == kVariableString)
        variable->sValue = value.c_str();
}

void StoreInt(Variable* variable, int32_t value)
{
    if (variable && variable->type == kVariableInt)
        variable->iValue = value;
}

// One STRING parameter (numbered 1), with the variable that supplied it.
bool ReadOneString(const char* arguments, std::vector<Variable>& variables, Tovanix::String& value,
                   Variable** found, CString& error)
{
    const char* cursor = arguments;
    return OpenArgumentList(cursor, error) && ReadStringParameter(1, cursor, value, error, &variables, found);
}

// The answer form: a text (parameter 0), then an optional int variable
// (1) and an optional STRING variable (2).
struct Answer {
    Tovanix::String text;
    Variable* ok = nullptr;
    Variable* reason = nullptr;
};

bool ReadAnswerForm(const char* arguments, std::vector<Variable>& variables, Answer& answer, CString& error)
{
    const char* cursor = arguments;
    if (!OpenArgumentList(cursor, error) || !ReadStringParameter(0, cursor, answer.text, error, &variables, nullptr))
        return false;
    if (ArgumentListEnded(cursor))
        return true;
    int ignored = 0;
    if (!ReadIntParameter(1, cursor, ignored, error, &variables, &answer.ok))
        return false;
    if (ArgumentListEnded(cursor))
        return true;
    Tovanix::String unused;
    return ReadStringParameter(2, cursor, unused, error, &variables, &answer.reason);
}

}  // namespace

bool Script::StartRecordingWorkflow(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                    CString& error)
{
    Tovanix::String name;
    if (!ReadOneString(arguments, variables, name, nullptr, error))
        return false;
    if (check_only)
        return true;
    return ::StartRecordingWorkflow(name.c_str(), error);
}

bool Script::SingleWorkflowImageCapture(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                        CString& error)
{
    Tovanix::String type;
    if (!ReadOneString(arguments, variables, type, nullptr, error))
        return false;
    if (!theApp.m_pCamera) {
        error = "SingleWorkflowImageCapture() - no camera";
        return false;
    }
    if (check_only)
        return true;
    return ::SingleWorkflowImageCapture(type.c_str(), error);
}

bool Script::SetImageCapturePeriodMS(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                     CString& error)
{
    const char* cursor = arguments;
    int period = 0;
    if (!OpenArgumentList(cursor, error) || !ReadIntParameter(1, cursor, period, error, &variables, nullptr))
        return false;
    if (check_only)
        return true;
    return ::SetImageCapturePeriodMS(period, error);
}

bool Script::GetExperimentName(const char* arguments, std::vector<Variable>& variables, bool check_only,
                               CString& error)
{
    Tovanix::String ignored;
    Variable* target = nullptr;
    if (!ReadOneString(arguments, variables, ignored, &target, error))
        return false;
    if (!check_only)
        StoreString(target, ReadExperimentSetting("ExperimentName"));
    return true;
}

bool Script::SetExperimentName(const char* arguments, std::vector<Variable>& variables, bool check_only,
                               CString& error)
{
    Answer answer;
    if (!ReadAnswerForm(arguments, variables, answer, error))
        return false;
    if (check_only)
        return true;
    const std::string name = answer.text.c_str();
    // Only with a reason variable do the problems become answers.
    const bool answers = answer.reason != nullptr;
    auto refuse = [&](const char* reason, const CString& message) {
        if (!answers) {
            error = message;
            return false;
        }
        StoreInt(answer.ok, 0);
        StoreString(answer.reason, reason);
        return true;
    };
    switch (CheckExperimentName(name)) {
    case ExperimentNameProblem::InvalidCharacters:
        return refuse("Invalid experiment name. Must be valid Windows file name.",
                      CString::Formatted("SetExperimentName() : %s has invalid characters, only valid Windows file "
                                         "name characters allowed.",
                                         WithInvalidFileNameCharsReplaced(name).c_str()));
    case ExperimentNameProblem::TooLong:
        return refuse("Experiment name 32 characters max.",
                      "SetExperimentName() : experiment name may be no longer than 32 characters.");
    case ExperimentNameProblem::TooShort:
        return refuse("Experiment name 3 characters min.",
                      "SetExperimentName() : experiment name must be at least 3 characters.");
    case ExperimentNameProblem::None:
        break;
    }
    StoreInt(answer.ok, 1);
    StoreString(answer.reason, "");
    WriteExperimentSetting("ExperimentName", name);
    return true;
}

bool Script::GetDataDirectory(const char* arguments, std::vector<Variable>& variables, bool check_only,
                              CString& error)
{
    Tovanix::String ignored;
    Variable* target = nullptr;
    if (!ReadOneString(arguments, variables, ignored, &target, error))
        return false;
    if (!check_only)
        StoreString(target, ReadExperimentSetting("DataDirectory"));
    return true;
}

bool Script::SetDataDirectory(const char* arguments, std::vector<Variable>& variables, bool check_only,
                              CString& error)
{
    Tovanix::String folder;
    if (!ReadOneString(arguments, variables, folder, nullptr, error))
        return false;
    if (check_only)
        return true;
    return ::SetDataDirectory(folder.c_str(), error);
}

bool Script::GetImageTypeDescription(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                     CString& error)
{
    const char* cursor = arguments;
    int itype = 0, ignored = 0;
    Tovanix::String unused;
    Variable* active = nullptr;
    Variable* name = nullptr;
    Variable* exposure = nullptr;
    if (!OpenArgumentList(cursor, error) || !ReadIntParameter(1, cursor, itype, error, &variables, nullptr) ||
        !ReadIntParameter(2, cursor, ignored, error, &variables, &active) ||
        !ReadStringParameter(3, cursor, unused, error, &variables, &name) ||
        !ReadIntParameter(4, cursor, ignored, error, &variables, &exposure))
        return false;
    if (check_only)
        return true;
    ImageTypeDescription description;
    if (!::GetImageTypeDescription(itype, description, error))
        return false;
    StoreInt(active, description.active ? 1 : 0);
    StoreString(name, description.name);
    StoreInt(exposure, description.exposureUs);
    return true;
}

bool Script::SetImageTypeDescription(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                     CString& error)
{
    const char* cursor = arguments;
    int itype = 0, active = 0, exposure = 0, alsoExperiment = 0;
    Tovanix::String name;
    if (!OpenArgumentList(cursor, error) || !ReadIntParameter(1, cursor, itype, error, &variables, nullptr) ||
        !ReadIntParameter(2, cursor, active, error, &variables, nullptr) ||
        !ReadStringParameter(3, cursor, name, error, &variables, nullptr) ||
        !ReadIntParameter(4, cursor, exposure, error, &variables, nullptr) ||
        !ReadIntParameter(5, cursor, alsoExperiment, error, &variables, nullptr))
        return false;
    if (check_only)
        return true;
    return ::SetImageTypeDescription(itype, active, name.c_str(), exposure, alsoExperiment != 0, error);
}

bool Script::GetSystemInfo(const char* arguments, std::vector<Variable>& variables, bool check_only, CString& error)
{
    const char* cursor = arguments;
    Tovanix::String unused;
    Variable* computer = nullptr;
    Variable* version = nullptr;
    if (!OpenArgumentList(cursor, error) || !ReadStringParameter(1, cursor, unused, error, &variables, &computer) ||
        !ReadStringParameter(2, cursor, unused, error, &variables, &version))
        return false;
    if (check_only)
        return true;
    StoreString(computer, platform::GetComputerName().substr(0, 15));
    StoreString(version, theApp.m_strFileVersion.str());
    return true;
}

bool Script::IsFilenameValid(const char* arguments, std::vector<Variable>& variables, bool check_only,
                             CString& error)
{
    Answer answer;
    if (!ReadAnswerForm(arguments, variables, answer, error))
        return false;
    if (check_only)
        return true;
    const std::string name = answer.text.c_str();
    if (name.empty()) {
        StoreInt(answer.ok, 0);
        StoreString(answer.reason, "Filename can't be an empty string.");
    } else if (IsValidFileNameText(name)) {
        StoreInt(answer.ok, 1);
        StoreString(answer.reason, "");
    } else {
        StoreInt(answer.ok, 0);
        StoreString(answer.reason, "The entered filename has invalid character(s).");
    }
    return true;
}

bool Script::IsFileExist(const char* arguments, std::vector<Variable>& variables, bool check_only, CString& error)
{
    Answer answer;
    if (!ReadAnswerForm(arguments, variables, answer, error))
        return false;
    if (check_only)
        return true;
    // Paths written on the instrument's computer ignore letter case.
    const std::string path = answer.text.c_str();
    const bool exists = !path.empty() && !platform::FindFileIgnoringCase(platform::NativePath(path)).empty();
    StoreString(answer.reason, "");
    StoreInt(answer.ok, exists ? 1 : 0);
    return true;
}

bool Script::CustomerUI_SetWorkflowLiveImageIntervalByImageType(const char* arguments,
                                                                std::vector<Variable>& variables, bool check_only,
                                                                CString& error)
{
    const char* cursor = arguments;
    Tovanix::String type;
    int interval = 0;
    if (!OpenArgumentList(cursor, error) || !ReadStringParameter(1, cursor, type, error, &variables, nullptr) ||
        !ReadIntParameter(2, cursor, interval, error, &variables, nullptr))
        return false;
    if (check_only)
        return true;
    return SetWorkflowLiveImageIntervalByImageType(type.c_str(), interval, error);
}

void InstallExperimentCommands(BuiltInHandlerTable& table)
{
    table.Set(kStartRecordingWorkflow, &Script::StartRecordingWorkflow);
    table.Set(kSingleWorkflowImageCapture, &Script::SingleWorkflowImageCapture);
    table.Set(kSetImageCapturePeriodMS, &Script::SetImageCapturePeriodMS);
    table.Set(kGetExperimentName, &Script::GetExperimentName);
    table.Set(kSetExperimentName, &Script::SetExperimentName);
    table.Set(kGetDataDirectory, &Script::GetDataDirectory);
    table.Set(kSetDataDirectory, &Script::SetDataDirectory);
    table.Set(kGetImageTypeDescription, &Script::GetImageTypeDescription);
    table.Set(kSetImageTypeDescription, &Script::SetImageTypeDescription);
    table.Set(kGetSystemInfo, &Script::GetSystemInfo);
    table.Set(kIsFilenameValid, &Script::IsFilenameValid);
    table.Set(kIsFileExist, &Script::IsFileExist);
    table.Set(kCustomerUI_SetWorkflowLiveImageIntervalByImageType,
              &Script::CustomerUI_SetWorkflowLiveImageIntervalByImageType);
}
