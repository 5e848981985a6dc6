#pragma once

// What the main window asks of the windows and threads that higher layers
// own (script interpreters, the run screen, the tools, the ROI manager). Each
// layer installs its part at start-up; until then each question has the
// answer of a program in which that part is idle or absent.

#include <cstdint>
#include <functional>
#include <string>

#include "platform/CString.h"

struct ROIRect;

struct FrameHooks {
    // Whether the interpreter with the handle exists and runs; copies the
    // running script's file name when `scriptName` is given.
    std::function<bool(uint32_t handle, CString* scriptName)> isScriptRunning;
    // Whether the scripts console window exists.
    std::function<bool()> scriptsConsoleExists;
    // Whether the image analysis tool runs a batch (its Stop button is enabled).
    std::function<bool()> imageAnalysisRunning;
    // Whether a live preview document is open (the Live Image button shows pressed).
    std::function<bool()> livePreviewOpen;
    // Closes the live preview document; true when one was closed.
    std::function<bool()> closeLivePreview;
    // The ROI manager: looks a named region up in the main settings file.
    std::function<bool(const char* name, ROIRect* rect, CString* error)> selectROIByName;
    // The ROI manager shows the active region, when its window exists.
    std::function<void()> showCurrentROI;

    // The customer run screen.
    std::function<bool()> customerUiExists;
    std::function<bool()> customerUiVisible;
    std::function<void()> createCustomerUi;           // made hidden
    std::function<void(bool visible)> showCustomerUi;
    std::function<bool(const char* path, CString* error)> startCustomerScript;
    // Checks the screen's first image-type radio button (a recording started).
    std::function<void()> checkCustomerUiFirstImageType;
};

// Installs the hooks. A layer takes the installed ones, fills in its own
// members and installs them again; members left empty keep the idle answers.
void SetFrameHooks(const FrameHooks& hooks);
FrameHooks GetFrameHooks();

// Interpreter 0 runs the scripts console and the control panel, interpreter
// 1 the customer run screen.
constexpr uint32_t kConsoleInterpreter = 0;
constexpr uint32_t kCustomerInterpreter = 1;

// Through the hooks; false while no script layer is installed.
bool IsScriptRunning(uint32_t handle, CString* scriptName);
