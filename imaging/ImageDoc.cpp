#include "imaging/ImageDoc.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <string>

#include <opencv2/imgcodecs.hpp>

#include "imaging/ImageView.h"
#include "imaging/LiveView.h"
#include "platform/Files.h"
#include "platform/UiBridge.h"
#include "support/AppLogs.h"

std::unique_ptr<platform::Semaphore>& g_MatAccessLock = g_MatAccessSemaphore;

namespace {

constexpr uint32_t kMatLockWaitMs = 1000;

// Reads an image file at its own depth. An empty result means the file could
// not be decoded; an exception of the image library counts the same.
cv::Mat* ReadImageFile(const char* path) {
    auto* image = new cv::Mat;
    try {
        *image = cv::imread(platform::NativePath(path ? path : ""), cv::IMREAD_ANYDEPTH);
    } catch (const std::exception&) {
        image->release();
    }
    if (image->empty()) {
        delete image;
        return nullptr;
    }
    return image;
}

// Rows of the same size and type as the destination.
void CopyPixels(const cv::Mat& from, cv::Mat& to) {
    const size_t rowBytes = static_cast<size_t>(from.cols) * from.elemSize();
    for (int r = 0; r < from.rows; ++r) {
        std::memcpy(to.ptr(r), from.ptr(r), rowBytes);
    }
}

}  // namespace

CImageDoc::CImageDoc() = default;

CImageDoc::~CImageDoc() {
    // The live view hands frames only to a registered preview; once this
    // returns it no longer reaches this document.
    ForgetPreviewDocument(this);
    delete m_pImage;
    m_pImage = nullptr;
}

bool CImageDoc::OnNewDocument() {
    return true;
}

bool CImageDoc::OnOpenDocument(const char* path) {
    cv::Mat* image = ReadImageFile(path);
    if (!image) {
        // A file the image library cannot decode is refused like one that
        // makes it throw: an empty window would look like an empty image.
        const CString message = CString("Problem trying to open image: ") + (path ? path : "");
        LogErrAndInfo(__FILE__, __LINE__, message);
        platform::ShowMessageBox(message.str(), "Vellora", platform::MB_OK | platform::MB_ICONERROR);
        return false;
    }
    delete m_pImage;
    m_pImage = image;
    return true;
}

bool CImageDoc::SetMat(cv::Mat*& image, CString& error) {
    if (!g_MatAccessLock || !g_MatAccessLock->Wait(kMatLockWaitMs)) {
        error = "CImageDoc::SetMat () timeout waiting for access to mat object.";
        return false;
    }
    if (image && m_pImage && m_pImage->rows == image->rows && m_pImage->cols == image->cols &&
        m_pImage->type() == image->type()) {
        CopyPixels(*image, *m_pImage);
        delete image;
    } else {
        delete m_pImage;
        m_pImage = image;
    }
    image = nullptr;
    g_MatAccessLock->Release();

    std::lock_guard<std::mutex> lock(m_viewsMutex);
    if (m_views.empty()) {
        return false;
    }
    m_views.front()->Invalidate();
    return true;
}

bool CImageDoc::ReloadFromFile(CString& error) {
    delete m_pImage;
    m_pImage = nullptr;
    m_pImage = ReadImageFile(m_strPathName);
    if (!m_pImage) {
        error = CString("Problem trying to open image: ") + m_strPathName;
        return false;
    }
    return true;
}

void CImageDoc::SetPathName(const char* path) {
    m_strPathName = path ? path : "";
    // The title is the file name, as the window list shows it.
    const std::string full = m_strPathName.str();
    const size_t slash = full.find_last_of("\\/");
    SetTitle(slash == std::string::npos ? full.c_str() : full.c_str() + slash + 1);
}

void CImageDoc::SetTitle(const char* title) {
    m_strTitle = title ? title : "";
}

void CImageDoc::AddView(CImageView* view) {
    std::lock_guard<std::mutex> lock(m_viewsMutex);
    m_views.push_back(view);
}

void CImageDoc::RemoveView(CImageView* view) {
    std::lock_guard<std::mutex> lock(m_viewsMutex);
    m_views.erase(std::remove(m_views.begin(), m_views.end(), view), m_views.end());
}

CImageView* CImageDoc::GetFirstView() const {
    std::lock_guard<std::mutex> lock(m_viewsMutex);
    return m_views.empty() ? nullptr : m_views.front();
}

int CImageDoc::GetViewCount() const {
    std::lock_guard<std::mutex> lock(m_viewsMutex);
    return static_cast<int>(m_views.size());
}
