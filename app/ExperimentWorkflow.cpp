#include "app/ExperimentWorkflow.h"

#include <cinttypes>
#include <cstdio>
#include <limits>

#include "app/ImageCaptureLogHeader.h"
#include "app/VelloraApp.h"
#include "platform/UiBridge.h"
#include "support/AppLogs.h"
#include "support/CachedLog.h"
#include "support/Profile.h"

std::atomic<int32_t> g_WorkflowCaptureIndex{0};
std::atomic<SYSTEMTIME*> g_WorkflowStartTime{nullptr};

namespace {

constexpr int32_t kMaxCapturePeriodMs = 3600000;

std::mutex g_hooksMutex;
WorkflowCaptureChain* g_captureChain = nullptr;
std::atomic<ExperimentWorkflow*> g_mainWindowWorkflow{nullptr};

// A "%d" setting of [ExperimentSettings] (31 characters); `fallback` when it
// does not parse. Numbers beyond 32 bits are held at the nearest limit.
int32_t ReadIntSetting(const char* key, int32_t fallback) {
    char text[32] = {};
    Tovanix::E_GetPrivateProfileString("ExperimentSettings", key, "", text, sizeof text, g_IniPath);
    long long value = 0;
    if (std::sscanf(text, "%lld", &value) != 1) return fallback;
    if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

bool CheckDiskSpace(CString& error) {
    std::lock_guard<std::mutex> lock(g_hooksMutex);
    return g_captureChain ? g_captureChain->CheckDiskSpaceForImageCapture(error) : true;
}

bool CheckPeriod(SYSTEMTIME* startTime, CString& error) {
    std::lock_guard<std::mutex> lock(g_hooksMutex);
    return g_captureChain ? g_captureChain->CheckCapturePeriod(startTime, error) : true;
}

void ShowAndLog(const CString& text) {
    LogErrAndInfo(__FILE__, __LINE__, text);
    platform::ShowMessageBox(text.GetString());
}

}  // namespace

void SetWorkflowCaptureChain(WorkflowCaptureChain* chain) {
    std::lock_guard<std::mutex> lock(g_hooksMutex);
    g_captureChain = chain;
}

CString CaptureLogPath::Get() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_path;
}

void CaptureLogPath::Set(const CString& path) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_path = path;
}

void CaptureLogPath::SetIfEmpty(const CString& path) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_path.IsEmpty()) m_path = path;
}

CString CaptureLogPath::Take() {
    std::lock_guard<std::mutex> lock(m_mutex);
    CString path = m_path;
    m_path.Empty();
    return path;
}

ExperimentWorkflow::ExperimentWorkflow(WorkflowTimer& timer) : m_timer(timer) {}

void ExperimentWorkflow::MarkStopped() {
    theApp.m_nWorkflowCaptureIndex = 0;
    theApp.m_bWorkflowRunning = false;
    GetLocalTime(&theApp.m_WorkflowStartTime);
}

void ExperimentWorkflow::Hand(int32_t captureIndex, SYSTEMTIME* startTime) {
    g_WorkflowCaptureIndex = captureIndex;
    g_WorkflowStartTime = startTime;
    if (g_WorkflowEvent) g_WorkflowEvent->Set();
}

void ExperimentWorkflow::Start() {
    m_timer.KillTimer();

    CString diskError;
    if (!CheckDiskSpace(diskError) &&
        platform::ShowMessageBox(diskError.GetString(), "Vellora", platform::MB_YESNO) == platform::IDNO) {
        return;
    }

    theApp.m_nWorkflowCaptureIndex = 0;
    theApp.m_bWorkflowRunning = true;
    GetLocalTime(&theApp.m_WorkflowStartTime);

    const int32_t period = ReadIntSetting("ImageCapturePeriod", 0);
    const int32_t count = ReadIntSetting("ImageCaptureCount", 1);

    if (period < 0 || period > kMaxCapturePeriodMs) {
        CString text;
        text.Format("[ExperimentSettings] invalid ImageCapturePeriod=%" PRId32
                    " : must be an integer between 0 and 3600000",
                    period);
        ShowAndLog(text);
        MarkStopped();
        return;
    }

    if (period == 0) {
        // One pass: every active image type once, with no start time.
        Hand(0, nullptr);
        MarkStopped();
        return;
    }

    m_timer.SetTimer(static_cast<uint32_t>(period));
    CString periodError;
    if (!CheckPeriod(&theApp.m_WorkflowStartTime, periodError)) {
        MarkStopped();
        m_timer.KillTimer();
        if (!periodError.IsEmpty()) ShowAndLog(periodError);
        return;
    }
    Hand(0, &theApp.m_WorkflowStartTime);
    if (count <= 1) {
        MarkStopped();
        m_timer.KillTimer();
    }
}

void ExperimentWorkflow::OnTimer() {
    if (!theApp.m_bWorkflowRunning) {
        theApp.m_nWorkflowCaptureIndex = 0;
        GetLocalTime(&theApp.m_WorkflowStartTime);
        m_timer.KillTimer();
        return;
    }
    // The count is read at every tick, so a script may change it mid-run.
    const int32_t count = ReadIntSetting("ImageCaptureCount", 1);
    const int64_t handedOut = theApp.m_nWorkflowCaptureIndex;
    if (handedOut + 1 >= count || !theApp.m_bWorkflowRunning) {
        MarkStopped();
        m_timer.KillTimer();
        return;
    }
    const int32_t next = static_cast<int32_t>(handedOut + 1);
    theApp.m_nWorkflowCaptureIndex = next;
    Hand(next, &theApp.m_WorkflowStartTime);
    if (int64_t{next} >= int64_t{count} - 1 || !theApp.m_bWorkflowRunning) {
        MarkStopped();
        m_timer.KillTimer();
    }
}

void ExperimentWorkflow::Stop() {
    m_timer.KillTimer();
    MarkStopped();

    // Without a capture log (no capture has been filed yet) the header lines
    // stay queued for the next run's log instead of going to a nameless one.
    const CString logPath = m_strImageCaptureLogPath.Get();
    if (logPath.IsEmpty()) return;
    Tovanix::String ignored;
    std::vector<Tovanix::String> lines;
    TakeImageCaptureLogHeaderLines(lines);
    for (const Tovanix::String& line : lines) {
        AddAHeaderLine(logPath, line.c_str(), &ignored);
    }
    CachedLogging::Release(logPath, &ignored);
    m_strImageCaptureLogPath.Take();
}

void ExperimentWorkflow::RestartTimer(uint32_t periodMs) {
    if (!theApp.m_bWorkflowRunning) return;
    m_timer.KillTimer();
    OnTimer();
    m_timer.SetTimer(periodMs);
}

void SetMainWindowWorkflow(ExperimentWorkflow* workflow) { g_mainWindowWorkflow = workflow; }

CaptureLogPath* GetMainWindowCaptureLogPath() {
    ExperimentWorkflow* workflow = g_mainWindowWorkflow.load();
    return workflow ? &workflow->m_strImageCaptureLogPath : nullptr;
}

void StartExperimentWorkflow() {
    platform::RunOnUiThread([] {
        if (ExperimentWorkflow* workflow = g_mainWindowWorkflow.load()) workflow->Start();
    });
}

void StopExperimentWorkflow() {
    platform::RunOnUiThread([] {
        if (ExperimentWorkflow* workflow = g_mainWindowWorkflow.load()) workflow->Stop();
    });
}

void RestartExperimentWorkflowTimer(uint32_t periodMs) {
    platform::RunOnUiThread([periodMs] {
        if (ExperimentWorkflow* workflow = g_mainWindowWorkflow.load()) workflow->RestartTimer(periodMs);
    });
}
