// Capture of one image of a named image type for the live view and the
// scripts: the type is the one the main window's image-type box names, or a
// given index; its exposure comes from [ExperimentSettings].

#include <cstdio>
#include <memory>
#include <string>

#include "app/ImageTypes.h"
#include "app/VelloraApp.h"
#include "devices/Camera.h"
#include "imaging/ImageCapture.h"
#include "platform/Sync.h"
#include "support/Profile.h"

namespace {

constexpr const char* kPrefix = "capture_single_active_image () : ";

// ImageTypeExposure<n> in microseconds; -1 when it does not parse.
int ReadExposure(int type) {
    char key[32];
    std::snprintf(key, sizeof key, "ImageTypeExposure%d", type + 1);
    char text[32] = {};
    int exposure = -1;
    Tovanix::E_GetPrivateProfileString("ExperimentSettings", key, "", text, sizeof text, g_IniPath);
    if (std::sscanf(text, "%d", &exposure) != 1) exposure = -1;
    return exposure;
}

}  // namespace

bool CVelloraApp::capture_single_active_image(cv::Mat& image, int& typeIndex, int& exposure, CString& typeName,
                                              CString& error) {
    if (!m_pCamera) {
        error = "capture_single_active_image () : Camera not initialized.";
        return false;
    }
    {
        // Another capture may be using or replacing the camera object meanwhile.
        std::unique_ptr<platform::SemaphoreLock> hold;
        if (g_CaptureSemaphore) hold = std::make_unique<platform::SemaphoreLock>(*g_CaptureSemaphore, platform::kInfinite);
        CString initError;
        if (!m_pCamera || !m_pCamera->Initialize(&initError, false)) {
            error = CString(kPrefix) + (m_pCamera ? initError : CString("Camera not initialized."));
            return false;
        }
    }

    const ImageTypeNames names = ReadImageTypeNames(g_IniPath);
    std::string wanted;
    if (typeIndex < 0) {
        wanted = ImageTypeBox::Text();
    } else if (typeIndex < kImageTypeCount) {
        wanted = names[static_cast<size_t>(typeIndex)];
    } else {
        error.Format("%sSelect image workflow not found: %d", kPrefix, typeIndex);
        return false;
    }
    // An empty box must not pick an image type whose name is not set.
    const int found = IsImageTypeNameSet(wanted) ? ImageTypeIndexOfName(names, wanted) : -1;
    if (found < 0) {
        error.Format("%sSelect image workflow not found: %s", kPrefix, wanted.c_str());
        return false;
    }

    typeIndex = found;
    m_nLastLiveImageType = found;
    exposure = ReadExposure(found);
    CString captureError;
    if (!CaptureSingleImge(image, found, exposure, wanted.c_str(), captureError, &typeName)) {
        error = CString(kPrefix) + captureError;
        return false;
    }
    return true;
}
