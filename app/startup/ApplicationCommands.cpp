#include "app/startup/ApplicationCommands.h"

#include <opencv2/core.hpp>

#include "app/FrameCommands.h"
#include "app/VelloraApp.h"
#include "devices/DigitalIO.h"
#include "imaging/ImageCaptureWorkflow.h"
#include "platform/UiBridge.h"
#include "support/AppLogs.h"

namespace {

void LogAndShowError(const CString& text) {
    LogErrAndInfo(__FILE__, __LINE__, text);
    platform::ShowMessageBox(text.str(), theApp.m_strDisplayName.str(), platform::MB_OK | platform::MB_ICONERROR);
}

void ShowPlain(const CString& text) {
    platform::ShowMessageBox(text.str(), theApp.m_strDisplayName.str(), platform::MB_OK);
}

bool AnyBackgroundImage() {
    for (const cv::Mat* image : theApp.m_pBackgroundImages) {
        if (image) return true;
    }
    return false;
}

void FreeBackgroundImages() {
    for (cv::Mat*& image : theApp.m_pBackgroundImages) {
        delete image;
        image = nullptr;
    }
}

}  // namespace

void OnCaptureActiveImages() {
    CString error;
    if (!CaptureActiveImages(error, nullptr, nullptr)) LogAndShowError(error);
}

void OnDioReset() {
    CString error;
    if (!Initialize_DIO(&error, true)) {
        LogAndShowError(error);
        return;
    }
    for (int line = 3; line <= 6; ++line) {
        CString ignored;
        ClearDIOLine(line, &ignored);
    }
}

void OnCaptureBackgroundImages() {
    if (theApp.m_bWorkflowRunning) {
        ShowPlain(CString::Formatted("%s() - Can't capture background images while the image capture workflow is running.",
                                     "CMainFrame::CaptureBackgroundImages"));
        return;
    }
    FreeBackgroundImages();
    CString error;
    if (!CaptureActiveImages(error, nullptr, theApp.m_pBackgroundImages) ||
        !theApp.SaveBackgroundImagesToFile(error)) {
        ShowPlain(error);
    }
}

void OnUnloadBackgroundImages() { FreeBackgroundImages(); }

void InstallApplicationCommands(CommandRouter& commands) {
    commands.SetHandler(cmd::SingleWorkflowCapture, OnCaptureActiveImages);
    commands.SetHandler(cmd::CaptureActiveImages, OnCaptureActiveImages);
    commands.SetHandler(cmd::DioReset, OnDioReset);
    commands.SetHandler(cmd::CaptureBackgroundImages, OnCaptureBackgroundImages);
    commands.SetHandler(cmd::UnloadBackgroundImages, OnUnloadBackgroundImages);
    commands.SetRule(cmd::CaptureBackgroundImages,
                     [] { return CommandState{!theApp.m_bWorkflowRunning, AnyBackgroundImage()}; });
    commands.SetRule(cmd::UnloadBackgroundImages,
                     [] { return CommandState{!theApp.m_bWorkflowRunning && AnyBackgroundImage(), false}; });
}
