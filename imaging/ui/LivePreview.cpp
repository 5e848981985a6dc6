#include "imaging/ui/LivePreview.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <string>

#include "app/FrameCommands.h"
#include "app/FrameHooks.h"
#include "app/VelloraApp.h"
#include "devices/Camera.h"
#include "devices/CameraFactory.h"
#include "devices/DigitalIO.h"
#include "imaging/ImageDoc.h"
#include "imaging/LiveView.h"
#include "imaging/ui/DocTemplate.h"
#include "support/AppLogs.h"
#include "support/Profile.h"

namespace {

// The four LED lines; errors are not reported (the capture reports its own).
void SwitchLedsOff() {
    for (int line = 3; line <= 6; ++line) {
        CString ignored;
        ClearDIOLine(line, &ignored);
    }
}

// The camera named by [ExperimentSettings] CameraType, opened, when there is
// none yet.
void OpenCameraIfNone() {
    if (theApp.m_pCamera) return;
    char type[256] = {};
    Tovanix::E_GetPrivateProfileString("ExperimentSettings", "CameraType", "", type, sizeof type, g_IniPath);
    theApp.m_pCamera = CreateCameraForType(type);
    CString error;
    if (!theApp.m_pCamera->Initialize(&error, false) && !error.IsEmpty()) {
        LogErrAndInfo(__FILE__, __LINE__, error);
    }
    LoadMinTimeBetweenImageCaptureEvents();
}

void LoadDigitalIOMapping() {
    CString error;
    if (!Initialize_DIO(&error, false) || !LoadDIOMapping(&error)) {
        LogErrAndInfo(__FILE__, __LINE__, error);
    }
}

}  // namespace

bool CloseLivePreview() {
    CMultiDocTemplate* documents = theApp.m_pImageDocTemplate;
    CImageDoc* preview = theApp.GetPreviewDoc();
    if (!documents || !preview || !preview->GetFirstView()) return false;
    // The window goes at the next turn of the event loop; the live view stops
    // handing frames to it now, and a new preview may open meanwhile.
    ForgetPreviewDocument(preview);
    documents->CloseDocument(preview);
    return true;
}

void CVelloraApp::OnLiveImage() {
    if (CloseLivePreview()) {
        m_strLiveImageType.Empty();
        return;
    }
    CMultiDocTemplate* documents = m_pImageDocTemplate;
    if (!documents) return;
    SwitchLedsOff();
    CImageDoc* document = documents->OpenNewDocument();
    if (document) {
        document->m_bPreview = true;
        SetPreviewDocument(document);
        if (g_LiveViewEvent) g_LiveViewEvent->Set();
    }
    SwitchLedsOff();
}

ScopedLiveView::ScopedLiveView(CommandRouter& commands) : m_commands(commands) {
    OpenCameraIfNone();
    LoadDigitalIOMapping();
    StartLiveViewThread();
    m_commands.SetHandler(cmd::LiveImage, [] { theApp.OnLiveImage(); });
    FrameHooks hooks = GetFrameHooks();
    hooks.livePreviewOpen = [] { return PreviewDocumentExists(); };
    hooks.closeLivePreview = [] { return CloseLivePreview(); };
    SetFrameHooks(hooks);
}

ScopedLiveView::~ScopedLiveView() {
    FrameHooks hooks = GetFrameHooks();
    hooks.livePreviewOpen = nullptr;
    hooks.closeLivePreview = nullptr;
    SetFrameHooks(hooks);
    m_commands.SetHandler(cmd::LiveImage, [] {});
    // The thread may be waiting for a call it queued onto this thread.
    StopLiveViewThread([] { QCoreApplication::processEvents(QEventLoop::AllEvents, 10); });
}
