#include "imaging/ReferenceImage.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <mutex>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "imaging/ImageDoc.h"
#include "imaging/ImageView.h"
#include "imaging/RenderList.h"
#include "platform/Files.h"
#include "support/AppLogs.h"

namespace {

constexpr const char* kLogSource = "ImageView.cpp";
constexpr int kLastReferenceIndex = 999;

std::mutex g_openerMutex;
ImageDocumentOpener g_opener;

int RoundHalfAway(double value) {
    return static_cast<int>(std::round(value));
}

// The path less the extension of its file name.
std::string WithoutExtension(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return path;
    }
    return path.substr(0, dot);
}

bool WriteBitmap(const cv::Mat& pixels, const std::string& path) {
    try {
        cv::Mat bgr;
        cv::cvtColor(pixels, bgr, cv::COLOR_BGRA2BGR);
        std::vector<uchar> encoded;
        if (!cv::imencode(".bmp", bgr, encoded)) {
            return false;
        }
        return platform::WriteFileAtomically(path, encoded.data(), encoded.size());
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

bool ReferenceImageFileName(const char* imagePath, CString& name) {
    const std::string stem = WithoutExtension(imagePath ? imagePath : "");
    name = (stem + ".REF.BMP").c_str();
    for (int n = 1; platform::FileExists(platform::NativePath(name.str())); ++n) {
        if (n > kLastReferenceIndex) {
            return false;
        }
        name.Format("%s.REF[%d].BMP", stem.c_str(), n);
    }
    return true;
}

ReferenceCrop ComputeReferenceCrop(const RECT& target, int imageColumns, int imageRows) {
    const int widthPx = target.right - target.left + 1;
    const int heightPx = target.bottom - target.top + 1;
    ReferenceCrop crop;
    int cropRight = target.right;
    int cropBottom = target.bottom;
    int cropLeft = target.left;
    int cropTop = target.top;
    if (target.left == 0 && imageColumns > 0 && imageRows > 0 && heightPx > 0) {
        const double imageAspect = static_cast<double>(imageColumns) / imageRows;
        const double targetAspect = static_cast<double>(widthPx) / heightPx;
        if (targetAspect > imageAspect) {
            const double t = imageAspect / targetAspect;
            crop.x = RoundHalfAway((target.right + 1) * (1.0 - t) * 0.5);
            cropRight = RoundHalfAway(widthPx * t);
        } else {
            const double t = targetAspect / imageAspect;
            crop.y = RoundHalfAway(heightPx * (1.0 - t) * 0.5);
            cropBottom = RoundHalfAway(heightPx * t);
        }
    } else {
        crop.x = target.left;
        crop.y = target.top;
    }
    crop.width = cropRight - cropLeft + 1;
    crop.height = cropBottom - cropTop + 1;
    return crop;
}

void SaveReferenceBitmap(const RenderRequest& request, const cv::Mat& picture) {
    if (!request.m_pImage || request.m_pImage->empty() || picture.empty()) {
        return;
    }
    const ReferenceCrop crop = ComputeReferenceCrop(request.m_rcTarget, request.m_pImage->cols,
                                                    request.m_pImage->rows);
    // The picture starts at the target's top-left corner. Rounding can reach
    // one pixel past it: the copy stays inside the picture.
    const int x = std::clamp(crop.x - request.m_rcTarget.left, 0, picture.cols);
    const int y = std::clamp(crop.y - request.m_rcTarget.top, 0, picture.rows);
    const int width = std::min(crop.width, picture.cols - x);
    const int height = std::min(crop.height, picture.rows - y);
    if (width <= 0 || height <= 0) {
        return;
    }
    CString name;
    if (!ReferenceImageFileName(request.m_strImagePath, name)) {
        LogErrAndInfo(kLogSource, __LINE__,
                      CString::Formatted("Reference image file name index can not exceed 1000 : %s",
                                         name.GetString()));
        return;
    }
    if (!WriteBitmap(picture(cv::Rect(x, y, width, height)), platform::NativePath(name.str()))) {
        LogErrAndInfo(kLogSource, __LINE__,
                      CString::Formatted("Problem saving reference image : %s", name.GetString()));
    }
}

void SetImageDocumentOpener(ImageDocumentOpener opener) {
    std::lock_guard<std::mutex> lock(g_openerMutex);
    g_opener = std::move(opener);
}

CImageDoc* OpenImageDocument(const char* path) {
    ImageDocumentOpener opener;
    {
        std::lock_guard<std::mutex> lock(g_openerMutex);
        opener = g_opener;
    }
    return opener ? opener(path ? path : "") : nullptr;
}

bool SaveReferenceImage(const char* path, CString& error, bool autoScaleAndClose) {
    const char* imagePath = path ? path : "";
    if (!platform::FileExists(platform::NativePath(imagePath))) {
        error.Format("SaveReferenceImage () : %s does not exist", imagePath);
        return false;
    }
    ImageDocumentOpener opener;
    {
        std::lock_guard<std::mutex> lock(g_openerMutex);
        opener = g_opener;
    }
    CImageDoc* document = opener ? opener(imagePath) : nullptr;
    CImageView* view = document ? document->GetFirstView() : nullptr;
    if (!view) {
        error.Format("SaveReferenceImage () : Problem opening image file: %s", imagePath);
        return false;
    }
    if (autoScaleAndClose) {
        view->OnAutoScaleIntensities();
        view->OnFullScale();
        view->ApplyAspectRatioLock();
    }
    auto* request = new RenderRequest(*view);
    request->m_bSaveReference = true;
    request->m_bCloseDocument = autoScaleAndClose;
    if (!AddToRenderList(request)) {
        delete request;
        error.Format("SaveReferenceImage () : Problem adding image file to the render list: %s", imagePath);
        return false;
    }
    return true;
}
