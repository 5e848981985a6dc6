#pragma once

// The work the user-interface thread does between messages
// (CVelloraApp::OnIdle): one request per call, reference images before
// document closes before the video window. Producers append to the request
// lists under g_IdleRequestSemaphore; each list is served newest first, and
// a close waits until every reference image asked before it is made. A call
// that served something returns true, and the caller calls again before it
// waits for messages.
//
// The windows it reaches are installed by the program; without them a close
// or a video request is taken and dropped.

#include <functional>
#include <string>

#include "platform/CString.h"

struct IdleWindows {
    // Makes the reference image of an image file (opens it, scales it, closes
    // it once saved). Default: SaveReferenceImage.
    std::function<bool(const char* path, CString& error)> saveReferenceImage;
    // Closes the first open image document whose path equals `path` without
    // regard to ASCII letter case and that has a window.
    std::function<void(const std::string& path)> closeDocument;
    // Creates the video window when needed and shows it.
    std::function<void()> showVideoWindow;
};
void SetIdleWindows(IdleWindows windows);
