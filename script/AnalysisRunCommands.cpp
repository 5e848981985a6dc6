// The commands that run the batch image analysis in the background: start a
// run and get its handle, poll its status, fetch its result files and remove
// it once it has finished. A run's thread writes its status and paths under
// the run's own lock and the commands read a copy (Snapshot); a run is only
// removed once finished, and the thread keeps its own share of the run, so
// removal never frees what the thread still touches.

#include <string>

#include "analysis/ImageAnalysisRun.h"
#include "platform/Files.h"
#include "script/ArgumentReaders.h"
#include "script/BuiltInHandlers.h"
#include "script/Script.h"

namespace {

constexpr int32_t kRunImageAnalysis = 75;
constexpr int32_t kGetImageAnalysisRunStatus = 76;
constexpr int32_t kDeleteImageAnalysisRunHandle = 77;
constexpr int32_t kGetImageAnalysisRunFiles = 78;

bool Exists(const Tovanix::String& path) { return platform::FileExists(platform::NativePath(path.c_str())); }

// A folder argument that must exist.
bool ReadFolder(int number, const char*& cursor, Tovanix::String& folder, const char* label,
                std::vector<Variable>& variables, CString& error)
{
    if (!ReadStringParameter(number, cursor, folder, error, &variables, nullptr))
        return false;
    if (!platform::DirectoryExists(platform::NativePath(folder.c_str()))) {
        error.Format("%s: %s directory does not exist", label, folder.c_str());
        return false;
    }
    return true;
}

// A parameter file argument: when given, taken by name from the library
// folder, where it must exist.
bool ReadParameterFile(int number, const char*& cursor, const Tovanix::String& libraryFolder, Tovanix::String& file,
                       const char* label, std::vector<Variable>& variables, CString& error)
{
    if (!ReadStringParameter(number, cursor, file, error, &variables, nullptr))
        return false;
    if (file.GetLength() == 0)
        return true;
    file.SetDirectory(libraryFolder.c_str());
    if (!Exists(file)) {
        error.Format("%s: %s does not exist", label, file.c_str());
        return false;
    }
    return true;
}

void StoreText(Variable* target, const std::string& text)
{
    if (target && target->type == kVariableString)
        target->sValue = text.c_str();
}

void StoreInt(Variable* target, int32_t value)
{
    if (target && target->type == kVariableInt)
        target->iValue = value;
}

}  // namespace

bool Script::RunImageAnalysis(const char* arguments, std::vector<Variable>& variables, bool check_only,
                              CString& error)
{
    const char* cursor = arguments;
    Tovanix::String imageFolder, libraryFolder, cirFile, epiFile, lpFile, projFile, pattern;
    double gdConc = 0, unusedNumber = 0;
    int upperMagnet = 0, lowerMagnet = 0, unusedHandle = 0;
    Variable* handleTarget = nullptr;
    if (!OpenArgumentList(cursor, error) ||
        !ReadFolder(1, cursor, imageFolder, "image_dir", variables, error) ||
        !ReadFolder(2, cursor, libraryFolder, "lib_dir", variables, error) ||
        !ReadParameterFile(3, cursor, libraryFolder, cirFile, "cir_params", variables, error) ||
        !ReadParameterFile(4, cursor, libraryFolder, epiFile, "epi_params", variables, error) ||
        !ReadParameterFile(5, cursor, libraryFolder, lpFile, "LP_curve_params", variables, error) ||
        !ReadParameterFile(6, cursor, libraryFolder, projFile, "proj_analysis_params", variables, error) ||
        !ReadDoubleParameter(7, cursor, gdConc, error, &variables, nullptr) ||
        !ReadStringParameter(8, cursor, pattern, error, &variables, nullptr) ||
        !ReadIntParameter(9, cursor, upperMagnet, error, &variables, nullptr) ||
        !ReadIntParameter(10, cursor, lowerMagnet, error, &variables, nullptr) ||
        !ReadDoubleParameter(11, cursor, unusedNumber, error, &variables, nullptr) ||
        !ReadIntParameter(12, cursor, unusedHandle, error, &variables, &handleTarget))
        return false;
    if (pattern.GetLength() == 0)
        pattern = "*.png";

    int32_t handle = 0;
    if (!RunImageAnalysisTool(imageFolder.c_str(), cirFile.c_str(), epiFile.c_str(), lpFile.c_str(), gdConc,
                              pattern.c_str(), upperMagnet, lowerMagnet, handle, error, check_only))
        return false;
    if (!check_only)
        StoreInt(handleTarget, handle);
    return true;
}

bool Script::GetImageAnalysisRunStatus(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                       CString& error)
{
    const char* cursor = arguments;
    int handle = 0, unusedState = 0;
    Tovanix::String unusedStatus;
    Variable* stateTarget = nullptr;
    Variable* statusTarget = nullptr;
    if (!OpenArgumentList(cursor, error) || !ReadIntParameter(1, cursor, handle, error, &variables, nullptr) ||
        !ReadIntParameter(2, cursor, unusedState, error, &variables, &stateTarget) ||
        !ReadStringParameter(3, cursor, unusedStatus, error, &variables, &statusTarget))
        return false;
    if (check_only)
        return true;
    const std::shared_ptr<ImageAnalysisRun> run = g_ImageAnalysisJobs.Find(handle);
    if (!run) {
        StoreInt(stateTarget, -1);
        StoreText(statusTarget, std::string());
        return true;
    }
    const ImageAnalysisRun::State state = run->Snapshot();
    StoreInt(stateTarget, state.finished ? 0 : 1);
    StoreText(statusTarget, state.statusText);
    return true;
}

bool Script::GetImageAnalysisRunFiles(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                      CString& error)
{
    const char* cursor = arguments;
    int handle = 0;
    Variable* targets[4] = {};  // analysis, horizontal, vertical projection, image log
    if (!OpenArgumentList(cursor, error) || !ReadIntParameter(1, cursor, handle, error, &variables, nullptr))
        return false;
    for (int i = 0; i < 4; ++i) {
        Tovanix::String unused;
        if (!ReadStringParameter(i + 2, cursor, unused, error, &variables, &targets[i]))
            return false;
    }
    if (check_only)
        return true;
    const std::shared_ptr<ImageAnalysisRun> run = g_ImageAnalysisJobs.Find(handle);
    if (!run) {
        error = "Invalid handle.";
        return false;
    }
    const ImageAnalysisRun::State state = run->Snapshot();
    StoreText(targets[0], state.analysisFile);
    StoreText(targets[1], state.horzProjFile);
    StoreText(targets[2], state.vertProjFile);
    StoreText(targets[3], state.imageLogFile);
    return true;
}

bool Script::DeleteImageAnalysisRunHandle(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                          CString& error)
{
    const char* cursor = arguments;
    int handle = 0;
    if (!OpenArgumentList(cursor, error) || !ReadIntParameter(1, cursor, handle, error, &variables, nullptr))
        return false;
    if (check_only)
        return true;
    // The finished test and the removal happen in one step under the table's
    // lock, so a run cannot be removed between a look and the removal.
    switch (g_ImageAnalysisJobs.RemoveFinished(handle)) {
    case ImageAnalysisJobs::RemoveResult::Removed:
        return true;
    case ImageAnalysisJobs::RemoveResult::NoSuchHandle:
        error = "No such image analysis handle.";
        return false;
    case ImageAnalysisJobs::RemoveResult::StillRunning:
        error = "Image analysis is still running for given handle.";
        return false;
    }
    error = "Failed to remove.";
    return false;
}

void InstallAnalysisRunCommands(BuiltInHandlerTable& table)
{
    table.Set(kRunImageAnalysis, &Script::RunImageAnalysis);
    table.Set(kGetImageAnalysisRunStatus, &Script::GetImageAnalysisRunStatus);
    table.Set(kDeleteImageAnalysisRunHandle, &Script::DeleteImageAnalysisRunHandle);
    table.Set(kGetImageAnalysisRunFiles, &Script::GetImageAnalysisRunFiles);
}
