#pragma once

// The timed experiment workflow's capture side. The main window owns the
// timing: it writes the capture index of the next step, then sets
// g_WorkflowEvent; the workflow thread (ImageCaptureWorkflowThreadProc) wakes,
// runs RunImageCaptureWorkflowStep for that index and goes back to waiting.
// A step captures every active image type in the order 1..4 (type 3 only
// while theApp.m_bWorkflowRunning is set) and files each frame into the
// current experiment; the frames of one step are written in parallel while
// the next type is captured, and their log rows follow in type order.
//
// CaptureActiveImages is the one-shot capture of the active image types that
// the single-capture command, the background capture and scripts use.
//
// Errors: false with the first failure's message in `error`; the workflow
// thread logs a failed step twice and shows it in a message box through the
// user-interface bridge.

#include <cstdint>
#include <functional>

#include <opencv2/core.hpp>

#include "platform/CString.h"

// Per-image time the period must leave on top of the exposures.
constexpr int kMinimumSaveTimePerImageMs = 350;

// Index -1 only checks [ExperimentSettings] ImageCapturePeriod against the
// exposures of the active types; any other index captures and files. At
// index 1 an empty logPathOut receives the capture log's path.
bool RunImageCaptureWorkflowStep(int captureIndex, CString& error, CString* logPathOut);

// typeName: only the image type of that name (any activity); null: every
// active type. images: each captured type index t gets images[t] = a new
// matrix that the caller owns (other slots stay as they were), instead of
// the frame being filed as a manual capture.
bool CaptureActiveImages(CString& error, const char* typeName, cv::Mat* images[4]);

// What the main window handed over with g_WorkflowEvent.
struct WorkflowHandOver {
    int32_t captureIndex = 0;
    // Receives the capture log's path when the step files capture index 1
    // (may be empty: nobody keeps the path).
    std::function<void(const CString& logPath)> logPathSink;
};
// Replaceable (the headless runner installs its own); without a reader the
// index is theApp.m_nWorkflowCaptureIndex and the log path goes to the main
// window's series, when one is set.
void SetWorkflowHandOverReader(std::function<WorkflowHandOver()> reader);

// One wake-up of the workflow thread: waits for g_WorkflowEvent, runs the
// handed-over step and reports its failure. False when there is no event.
bool ServeWorkflowHandOver();

// The workflow thread's procedure: serves hand-overs for the life of the
// process (returns at once when start-up made no workflow event).
void ImageCaptureWorkflowThreadProc();

// Starts the workflow thread once; false when start-up made no workflow
// event. Stop ends it after the step it runs (before the process tears down
// what it waits on); a step handed over meanwhile is not run.
bool StartImageCaptureWorkflowThread();
void StopImageCaptureWorkflowThread();
