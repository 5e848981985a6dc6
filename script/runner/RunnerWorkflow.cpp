#include "script/runner/RunnerWorkflow.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "app/ExperimentWorkflow.h"
#include "app/ImageCaptureLogHeader.h"
#include "app/VelloraApp.h"
#include "devices/Camera.h"
#include "devices/CameraFactory.h"
#include "imaging/ImageCaptureWorkflow.h"
#include "imaging/ImageFiling.h"
#include "platform/Sync.h"
#include "support/Profile.h"

namespace runner {
namespace {

std::recursive_mutex g_uiMutex;

// Timer 1000 of a window, on a thread of its own: ticks every period until
// killed; a tick runs serialised with the other user-interface work, and a
// tick that a kill or a new period overtook is dropped.
class ThreadTimer : public WorkflowTimer {
public:
    explicit ThreadTimer(std::function<void()> tick) : m_tick(std::move(tick)), m_thread([this] { Loop(); }) {}
    ~ThreadTimer() override
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }
    void SetTimer(uint32_t periodMs) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_period = std::chrono::milliseconds(periodMs);
        m_due = std::chrono::steady_clock::now() + m_period;
        m_active = true;
        ++m_generation;
        m_changed.notify_all();
    }
    void KillTimer() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_active = false;
        ++m_generation;
        m_changed.notify_all();
    }

private:
    void Loop()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_stop) {
            if (!m_active) {
                m_changed.wait(lock);
                continue;
            }
            if (std::chrono::steady_clock::now() < m_due) {
                m_changed.wait_until(lock, m_due);
                continue;
            }
            const uint64_t generation = m_generation;
            // Like a window's timer, a late tick does not make up for lost ones.
            m_due = std::chrono::steady_clock::now() + m_period;
            lock.unlock();
            {
                std::lock_guard<std::recursive_mutex> ui(g_uiMutex);
                if (Current(generation))
                    m_tick();
            }
            lock.lock();
        }
    }
    bool Current(uint64_t generation)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_active && generation == m_generation;
    }

    std::function<void()> m_tick;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_stop = false;
    bool m_active = false;
    uint64_t m_generation = 0;
    std::chrono::milliseconds m_period{0};
    std::chrono::steady_clock::time_point m_due;
    std::thread m_thread;  // last: starts when everything else is set
};

std::unique_ptr<ExperimentWorkflow> g_workflow;
std::unique_ptr<ThreadTimer> g_timer;
std::thread g_workflowThread;
std::atomic<bool> g_stopping{false};
// A hand-over has been taken and its step is not filed yet.
std::atomic<bool> g_stepInFlight{false};

void WorkflowThread()
{
    for (;;) {
        g_WorkflowEvent->Wait(platform::kInfinite);
        if (g_stopping)
            return;
        ServeWorkflowHandOver();
        g_stepInFlight = false;
    }
}

std::string CameraType()
{
    char buffer[256] = {};
    Tovanix::E_GetPrivateProfileString("ExperimentSettings", "CameraType", "", buffer, sizeof buffer, g_IniPath);
    return buffer;
}

}  // namespace

void RunOnUiThreadSerialised(const std::function<void()>& function)
{
    std::lock_guard<std::recursive_mutex> lock(g_uiMutex);
    function();
}

bool StartCaptureChain(std::string& error)
{
    theApp.m_pCamera = CreateCameraForType(CameraType().c_str());
    CString cameraError;
    if (!theApp.m_pCamera || !theApp.m_pCamera->Initialize(&cameraError, false)) {
        error = "The camera did not open: " + cameraError.str();
        return false;
    }
    if (!g_CaptureSemaphore)
        g_CaptureSemaphore = std::make_unique<platform::Semaphore>(1, 1);
    CreateImageCaptureLogHeaderSemaphore();
    g_WorkflowEvent = std::make_unique<platform::Event>(true, false);

    g_timer = std::make_unique<ThreadTimer>([] {
        if (g_workflow)
            g_workflow->OnTimer();
    });
    g_workflow = std::make_unique<ExperimentWorkflow>(*g_timer);
    // The step reads the index handed over with the event, and the log path
    // of capture index 1 goes to the workflow for its Stop.
    SetWorkflowHandOverReader([] {
        g_stepInFlight = true;
        WorkflowHandOver handOver;
        handOver.captureIndex = g_WorkflowCaptureIndex;
        handOver.logPathSink = [](const CString& path) {
            if (g_workflow)
                g_workflow->m_strImageCaptureLogPath.SetIfEmpty(path);
        };
        return handOver;
    });
    SetMainWindowWorkflow(g_workflow.get());
    g_stopping = false;
    g_workflowThread = std::thread(WorkflowThread);
    return true;
}

bool FinishWorkflow(long timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const bool idle = !theApp.m_bWorkflowRunning && !g_WorkflowEvent->IsSet() && !g_stepInFlight;
        if (idle)
            break;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    StopExperimentWorkflow();
    return true;
}

void StopCaptureChain()
{
    if (g_workflowThread.joinable()) {
        g_stopping = true;
        g_WorkflowEvent->Set();
        g_workflowThread.join();
    }
    SetMainWindowWorkflow(nullptr);
    SetWorkflowHandOverReader(nullptr);
    g_timer.reset();
    g_workflow.reset();
    delete theApp.m_pCamera;
    theApp.m_pCamera = nullptr;
}

}  // namespace runner
