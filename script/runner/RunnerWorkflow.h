#pragma once

// The capture side of the program for the headless script runner: the
// camera, the capture semaphore, the workflow thread and a main window's
// timed workflow without a window, so that scripts can record experiments.
//
// The runner has no user-interface thread: work for it runs on the calling
// thread, one piece at a time (RunOnUiThreadSerialised), and the workflow's
// timer ticks are serialised with it.

#include <functional>
#include <string>

namespace runner {

// Runs `function` as the user-interface thread would: never two at once.
void RunOnUiThreadSerialised(const std::function<void()>& function);

// Starts the camera named by [ExperimentSettings] CameraType, the capture
// semaphore, the workflow thread and the workflow. False, with the reason,
// when the camera cannot be opened.
bool StartCaptureChain(std::string& error);

// Waits until the timed workflow has ended and its last step is filed (at
// most `timeoutMs`), then stops it as the main window's Stop does, so the
// capture log gets its header lines and reaches the disk. False on time-out.
bool FinishWorkflow(long timeoutMs);

// Ends the workflow thread and closes the camera.
void StopCaptureChain();

}  // namespace runner
