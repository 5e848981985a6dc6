#include "imaging/ImageCaptureWorkflow.h"

#include <cstdio>
#include <atomic>
#include <future>
#include <mutex>
#include <string>
#include <strings.h>
#include <system_error>
#include <thread>
#include <vector>

#include "app/CartridgeTypes.h"
#include "app/ExperimentWorkflow.h"
#include "app/VelloraApp.h"
#include "imaging/ExperimentFolders.h"
#include "imaging/ImageCapture.h"
#include "imaging/ImageFiling.h"
#include "platform/UiBridge.h"
#include "support/AppLogs.h"
#include "support/Profile.h"
#include "support/String.h"

namespace {

// The cartridge a manual capture files its experiment under (K4.1).
const char* const kManualCaptureCartridgeCode = kCartridgeTypeCodes[0];

std::mutex g_handOverMutex;
std::function<WorkflowHandOver()> g_handOverReader;

std::string ReadSetting(const char* key, size_t characters) {
    std::string buffer(characters + 1, '\0');
    Tovanix::E_GetPrivateProfileString("ExperimentSettings", key, "", buffer.data(),
                                       static_cast<uint32_t>(buffer.size()), g_IniPath);
    buffer.resize(std::char_traits<char>::length(buffer.c_str()));
    return buffer;
}

std::string Key(const char* name, int type) {
    char key[64];
    std::snprintf(key, sizeof key, "%s%d", name, type);
    return key;
}

struct ImageTypeSettings {
    bool active = false;
    std::string name;
    int exposureUs = -1;
};

void ReadImageTypes(ImageTypeSettings (&types)[4]) {
    for (int n = 1; n <= 4; ++n) {
        ImageTypeSettings& type = types[n - 1];
        type.active = strcasecmp(ReadSetting(Key("IsActive", n).c_str(), 7).c_str(), "TRUE") == 0;
        type.name = ReadSetting(Key("ImageTypeName", n).c_str(), 1022);
        if (std::sscanf(ReadSetting(Key("ImageTypeExposure", n).c_str(), 30).c_str(), "%d", &type.exposureUs) != 1) {
            type.exposureUs = -1;
        }
    }
}

bool IsValidFileName(const std::string& name) {
    Tovanix::String checked(name.c_str());
    checked.MakeValidFileName();
    return name == checked.c_str();
}

void Log(const CString& text) { LogErrAndInfo(__FILE__, __LINE__, text); }

WorkflowHandOver ReadHandOver() {
    std::function<WorkflowHandOver()> reader;
    {
        std::lock_guard<std::mutex> lock(g_handOverMutex);
        reader = g_handOverReader;
    }
    if (reader) return reader();
    WorkflowHandOver handOver;
    handOver.captureIndex = theApp.m_nWorkflowCaptureIndex;
    // The main window's series keeps the path for its Stop, which writes
    // the queued header lines into that log.
    handOver.logPathSink = [](const CString& logPath) {
        if (CaptureLogPath* kept = GetMainWindowCaptureLogPath()) kept->SetIfEmpty(logPath);
    };
    return handOver;
}

// One frame of a step on its way to disk.
struct PendingFiling {
    std::future<bool> written;
    FiledImage filed;
    CString error;
};

}  // namespace

void SetWorkflowHandOverReader(std::function<WorkflowHandOver()> reader) {
    std::lock_guard<std::mutex> lock(g_handOverMutex);
    g_handOverReader = std::move(reader);
}

bool RunImageCaptureWorkflowStep(int captureIndex, CString& error, CString* logPathOut) {
    if (g_WorkflowEvent) g_WorkflowEvent->Reset();

    ImageTypeSettings types[4];
    ReadImageTypes(types);

    if (captureIndex == -1) {
        long totalUs = 0;
        long active = 0;
        for (const ImageTypeSettings& type : types) {
            if (!type.active) continue;
            totalUs += type.exposureUs;
            ++active;
        }
        const long total = totalUs / 1000;
        const long required = static_cast<long>(kMinimumSaveTimePerImageMs) * active;
        int period = 0;
        if (std::sscanf(ReadSetting("ImageCapturePeriod", 30).c_str(), "%d", &period) != 1) period = 0;
        if (period - total < required) {
            error.Format("Image capture period, currently set to %ld ms, must be at least %ld ms longer than the total "
                         "expsoure time for the workflow which is %ld ms. Note: minimum save time per image is %ld ms.",
                         static_cast<long>(period), required, total, static_cast<long>(kMinimumSaveTimePerImageMs));
            return false;
        }
        return true;
    }

    // Frames are written on their own threads while the next type is
    // captured; the rows go into the log in type order afterwards.
    std::vector<std::unique_ptr<PendingFiling>> pending;
    bool ok = true;
    for (int t = 0; t < 4 && ok; ++t) {
        const ImageTypeSettings& type = types[t];
        if (!type.active || (t == 2 && !theApp.m_bWorkflowRunning)) continue;
        cv::Mat frame;
        if (!CaptureSingleImge(frame, t, type.exposureUs, type.name.c_str(), error, nullptr)) {
            ok = false;
            break;
        }
        auto filing = std::make_unique<PendingFiling>();
        PendingFiling* slot = filing.get();
        auto write = [slot, frame, name = type.name, captureIndex, t, exposure = type.exposureUs] {
            return WriteExperimentImage(frame, name.c_str(), captureIndex, t, exposure, slot->error, nullptr,
                                        slot->filed);
        };
        try {
            slot->written = std::async(std::launch::async, write);
        } catch (const std::system_error&) {
            std::promise<bool> done;
            done.set_value(write());
            slot->written = done.get_future();
        }
        pending.push_back(std::move(filing));
    }

    for (auto& filing : pending) {
        const bool written = filing->written.get();
        CString logError;
        const bool logged = AddCaptureLogRow(filing->filed, logError, logPathOut);
        if (!ok) continue;  // the capture's message stands
        if (!written) {
            error = filing->error;
            ok = false;
        } else if (!logged) {
            error = logError;
            ok = false;
        }
    }
    return ok;
}

bool CaptureActiveImages(CString& error, const char* typeName, cv::Mat* images[4]) {
    for (int n = 1; n <= 4; ++n) {
        if (!typeName && strcasecmp(ReadSetting(Key("IsActive", n).c_str(), 7).c_str(), "TRUE") != 0) continue;
        const std::string nameKey = Key("ImageTypeName", n);
        const std::string name = ReadSetting(nameKey.c_str(), 1022);
        if (!IsValidFileName(name)) {
            error.Format("CaptureSingleImge() - %s is invalid, must have only valid Windows file name characters. "
                         "Open the Experiment Settings dialog.",
                         nameKey.c_str());
            return false;
        }
        if (typeName && strcasecmp(name.c_str(), typeName) != 0) continue;
        const std::string exposureKey = Key("ImageTypeExposure", n);
        int exposure = 0;
        if (std::sscanf(ReadSetting(exposureKey.c_str(), 30).c_str(), "%d", &exposure) != 1 || exposure < 29 ||
            exposure > 1000000) {
            error.Format("CaptureSingleImge() - %s is invalid, must be an integer between 29 and 1000000. Open the "
                         "Experiment Settings dialog.",
                         exposureKey.c_str());
            return false;
        }
        cv::Mat frame;
        if (!CaptureSingleImage_low_level(frame, n - 1, exposure, error)) return false;
        if (images) {
            images[n - 1] = new cv::Mat(frame);  // the caller owns it
            continue;
        }
        if (n == 1) {
            // A manual capture with the first type opens an experiment of its
            // own; its images are filed wherever the keys point even when
            // that fails, so the failure is only logged.
            theApp.m_strCartridgeTypeCode = kManualCaptureCartridgeCode;
            CString setupError;
            if (!ImposeCartridgeOffsets(g_IniPath, kManualCaptureCartridgeCode, setupError)) Log(setupError);
            if (!CreateNewExperiment("Manual_Image_Capture", setupError)) Log(setupError);
        }
        if (!SaveImageToExperiment(frame, name.c_str(), 1, n - 1, exposure, error, "ManualCapture.", nullptr)) {
            return false;
        }
    }
    return true;
}

namespace {

std::mutex g_workflowThreadMutex;
std::thread g_workflowThread;
std::atomic<bool> g_workflowThreadStopping{false};

}  // namespace

bool ServeWorkflowHandOver() {
    if (!g_WorkflowEvent) return false;
    g_WorkflowEvent->Wait(platform::kInfinite);
    // The wake-up that ends the thread hands over no step.
    if (g_workflowThreadStopping) return false;
    const WorkflowHandOver handOver = ReadHandOver();
    CString logPath;
    CString error;
    const bool ok = RunImageCaptureWorkflowStep(handOver.captureIndex, error,
                                                handOver.captureIndex == 1 ? &logPath : nullptr);
    if (handOver.captureIndex == 1 && !logPath.IsEmpty() && handOver.logPathSink) handOver.logPathSink(logPath);
    if (!ok) {
        Log(error);
        Log(error);
        platform::ShowMessageBox(error.str(), "Vellora", platform::MB_OK | platform::MB_ICONERROR);
    }
    return true;
}

void ImageCaptureWorkflowThreadProc() {
    while (ServeWorkflowHandOver()) {
    }
}

bool StartImageCaptureWorkflowThread() {
    std::lock_guard<std::mutex> lock(g_workflowThreadMutex);
    if (!g_WorkflowEvent) return false;
    if (g_workflowThread.joinable()) return true;
    g_workflowThreadStopping = false;
    g_workflowThread = std::thread(ImageCaptureWorkflowThreadProc);
    return true;
}

void StopImageCaptureWorkflowThread() {
    std::lock_guard<std::mutex> lock(g_workflowThreadMutex);
    if (!g_workflowThread.joinable()) return;
    g_workflowThreadStopping = true;
    g_WorkflowEvent->Set();
    g_workflowThread.join();
    g_workflowThreadStopping = false;
}
