#pragma once

// The timed experiment workflow as the main window runs it: Start checks the
// disk space and the settings and hands capture index 0 to the workflow
// thread, the window's timer 1000 hands on the next index every period until
// [ExperimentSettings] ImageCaptureCount, and Stop ends the series and
// writes the run's capture-log header lines.
//
// The state lives in theApp (m_bWorkflowRunning, m_nWorkflowCaptureIndex =
// the index handed out last, m_WorkflowStartTime). Everything here runs on
// the user-interface thread; StartExperimentWorkflow and
// StopExperimentWorkflow may be called from any thread and wait while the
// user-interface thread runs them.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/CString.h"
#include "platform/Time.h"

// Hand-over to the workflow thread: both are written before g_WorkflowEvent
// is set. A start time of null with index 0 asks for one pass: one image of
// every active image type, captured and filed once.
extern std::atomic<int32_t> g_WorkflowCaptureIndex;
extern std::atomic<SYSTEMTIME*> g_WorkflowStartTime;

// What the main window needs of the capture chain. Until one is installed,
// the disk and period checks pass.
class WorkflowCaptureChain {
public:
    virtual ~WorkflowCaptureChain() = default;
    // False, with the question to ask, when the disk is short of space.
    virtual bool CheckDiskSpaceForImageCapture(CString& error) = 0;
    // The capture step with index -1: only checks the period against the
    // exposures; captures nothing.
    virtual bool CheckCapturePeriod(SYSTEMTIME* startTime, CString& error) = 0;
};
void SetWorkflowCaptureChain(WorkflowCaptureChain* chain);  // not owned; null removes it

// The main window's timer 1000.
class WorkflowTimer {
public:
    virtual ~WorkflowTimer() = default;
    virtual void SetTimer(uint32_t periodMs) = 0;
    virtual void KillTimer() = 0;
};

// Path of the running series' capture log: the workflow thread fills it when
// it files capture index 1, Stop flushes that log and empties it.
class CaptureLogPath {
public:
    CString Get() const;
    void Set(const CString& path);
    // Sets it only while it is empty.
    void SetIfEmpty(const CString& path);
    CString Take();

private:
    mutable std::mutex m_mutex;
    CString m_path;
};

class ExperimentWorkflow {
public:
    explicit ExperimentWorkflow(WorkflowTimer& timer);

    void Start();
    // A tick of timer 1000.
    void OnTimer();
    void Stop();
    // While the series runs: one tick at once, then timer 1000 again with
    // the new period (a changed ImageCapturePeriod takes effect now).
    void RestartTimer(uint32_t periodMs);

    CaptureLogPath m_strImageCaptureLogPath;

private:
    void MarkStopped();
    void Hand(int32_t captureIndex, SYSTEMTIME* startTime);

    WorkflowTimer& m_timer;
};

// The main window's workflow, installed by the main window (null while none).
void SetMainWindowWorkflow(ExperimentWorkflow* workflow);
// The capture-log path holder of the main window's workflow, null while none.
CaptureLogPath* GetMainWindowCaptureLogPath();
// The workflow operations for every caller, on the user-interface thread; the
// caller waits. Without a main window they do nothing.
void StartExperimentWorkflow();
void StopExperimentWorkflow();
// RestartTimer of the main window's workflow, on the user-interface thread.
void RestartExperimentWorkflowTimer(uint32_t periodMs);
