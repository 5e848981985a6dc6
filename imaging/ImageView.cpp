#include "imaging/ImageView.h"

#include <cmath>
#include <cstdio>
#include <mutex>
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "analysis/BGImages.h"
#include "app/ExperimentSettingsIni.h"
#include "app/VelloraApp.h"
#include "imaging/ChannelMagnetLineSearch.h"
#include "imaging/ImageDoc.h"
#include "imaging/RenderOverlays.h"
#include "imaging/RenderList.h"
#include "platform/Files.h"
#include "platform/UiBridge.h"
#include "support/AppLogs.h"
#include "support/Profile.h"

std::atomic<int32_t> g_ChannelMagnetLines[4] = {-1, -1, -1, -1};
CString g_LastDrawnIniPath;
double g_LastClickX = 0.0;
double g_LastClickY = 0.0;

namespace {

constexpr uint32_t kMatLockWaitMs = 1000;

std::mutex g_imageTypeSourceMutex;
std::function<CString()> g_imageTypeSource;

// An unsigned setting read from at most 31 characters; false when missing or
// unreadable.
bool ReadUnsignedSetting(const char* section, const char* key, const char* file, unsigned* value) {
    char text[32] = {};
    return Tovanix::E_GetPrivateProfileString(section, key, "", text, sizeof text, file) &&
           std::sscanf(text, "%u", value) == 1;
}

int32_t ReadIntSetting(const char* section, const char* key, const char* file, int32_t defaultValue) {
    char text[32] = {};
    int value = 0;
    if (Tovanix::E_GetPrivateProfileString(section, key, "", text, sizeof text, file) &&
        std::sscanf(text, "%d", &value) == 1) {
        return value;
    }
    return defaultValue;
}

// The folder part of a path (before its last separator); the whole path
// when it has none.
std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(0, slash);
}

std::string FileNameOf(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Loads the channel and magnet rows of the experiment a drawn image belongs
// to, once per settings file.
void LoadChannelMagnetLines(const CString& settingsFile) {
    if (settingsFile.Compare(g_LastDrawnIniPath) == 0) {
        return;
    }
    if (!settingsFile.IsEmpty() && platform::FileExists(platform::NativePath(settingsFile.str()))) {
        g_ChannelMagnetLines[3] = ReadIntSetting("CalibrationSettings", "LowerMagnet", settingsFile, 1800);
        g_ChannelMagnetLines[2] = ReadIntSetting("CalibrationSettings", "UpperMagnet", settingsFile, 100);
        g_ChannelMagnetLines[1] = ReadIntSetting("Cartridge", "CartridgeLowerChannel", settingsFile, 1500);
        g_ChannelMagnetLines[0] = ReadIntSetting("Cartridge", "CartridgeUpperChannel", settingsFile, 400);
    }
    g_LastDrawnIniPath = settingsFile;
}

// The background image of a drawn image file: <folder>/<type>.bg.tif for
// the image type its file name carries.
cv::Mat* ReadBackgroundOfImageFile(const std::string& imagePath) {
    // The whole file name is given: a manual capture's name carries its type
    // up to the extension.
    Tovanix::String type;
    if (!GetImageTypeNameFromFileName(FileNameOf(imagePath).c_str(), type)) {
        return nullptr;
    }
    const std::string folder = DirectoryOf(imagePath);
    const std::string name = std::string(type.c_str()) + ".bg.tif";
    const std::string candidate =
        folder == imagePath ? name : platform::JoinPath(platform::NativePath(folder), name);
    const std::string found = platform::FindFileIgnoringCase(candidate);
    if (found.empty()) {
        return nullptr;
    }
    auto* background = new cv::Mat;
    try {
        *background = cv::imread(found, cv::IMREAD_ANYDEPTH);
    } catch (const std::exception&) {
        background->release();
    }
    if (background->empty()) {
        delete background;
        return nullptr;
    }
    return background;
}

// The live preview's background: the in-memory background image of the
// image type chosen in the main window, 1..4, or 0.
int32_t BackgroundIndexOfLiveImageType() {
    bool any = false;
    for (const cv::Mat* image : theApp.m_pBackgroundImages) {
        any = any || image != nullptr;
    }
    if (!any) {
        return 0;
    }
    const CString chosen = GetImageTypeText();
    for (int k = 1; k <= 4; ++k) {
        char name[1024] = {};
        const CString key = CString::Formatted("ImageTypeName%d", k);
        Tovanix::E_GetPrivateProfileString("ExperimentSettings", key, "", name, sizeof name, g_IniPath);
        if (name[0] != '\0' && chosen.CompareNoCase(name) == 0) {
            return k;
        }
    }
    return 0;
}

}  // namespace

void SetImageTypeTextSource(std::function<CString()> source) {
    std::lock_guard<std::mutex> lock(g_imageTypeSourceMutex);
    g_imageTypeSource = std::move(source);
}

CString GetImageTypeText() {
    std::lock_guard<std::mutex> lock(g_imageTypeSourceMutex);
    return g_imageTypeSource ? g_imageTypeSource() : CString();
}

void ReadDisplayWindowSetting(uint16_t& displayMin, uint16_t& displayMax) {
    unsigned value = 0;
    displayMax = ReadUnsignedSetting("ScaleIntensitiesDlg", "MaxIntensity", g_IniPath, &value)
                     ? static_cast<uint16_t>(value)
                     : 40000;
    displayMin = ReadUnsignedSetting("ScaleIntensitiesDlg", "MinIntensity", g_IniPath, &value)
                     ? static_cast<uint16_t>(value)
                     : 0;
    if (displayMin == displayMax) {
        displayMin = 0;
        displayMax = 40000;
    }
}

int ScrollPositionOfVisiblePart(double start, double end) {
    const double hiddenBefore = start;
    const double hiddenAfter = 1.0 - end;
    if (hiddenBefore == 0.0 && hiddenAfter == 0.0) {
        return 500;
    }
    if (hiddenAfter == 0.0) {
        return 1000;
    }
    if (hiddenBefore == 0.0) {
        return 0;
    }
    const double position = std::trunc(hiddenBefore / (hiddenAfter + hiddenBefore) * 1000.0);
    // Margins left by the aspect-ratio lock make the hidden parts negative;
    // the scroll bar stays inside its range.
    if (!(position >= 0.0)) {
        return 0;
    }
    return position > 1000.0 ? 1000 : static_cast<int>(position);
}

CImageView::CImageView(CImageDoc* document, ImageViewWindow* window) : m_pDocument(document), m_pWindow(window) {
    g_LastDrawnIniPath.Empty();
    ReadDisplayWindowSetting(m_nDisplayMin, m_nDisplayMax);
    if (m_pDocument) {
        m_pDocument->AddView(this);
    }
}

CImageView::~CImageView() {
    if (m_pDocument) {
        m_pDocument->RemoveView(this);
    }
    delete m_pOverlayCodes;
}

void CImageView::Invalidate() {
    if (m_pWindow) {
        m_pWindow->Invalidate();
    }
}

void CImageView::SetCellDetections(std::vector<CellDetection> type1, std::vector<CellDetection> type2) {
    m_Detections1 = std::move(type1);
    m_Detections2 = std::move(type2);
}

void CImageView::OnDraw() {
    if (m_bResized) {
        m_bRedraw = true;
    }
    CImageDoc* document = m_pDocument;
    if (!document || !document->m_pImage) {
        return;
    }

    CString settingsFile;
    if (document->m_bPreview) {
        if (document->GetTitle() != theApp.m_strLiveImageType) {
            document->SetTitle(theApp.m_strLiveImageType);
            if (m_pWindow) {
                m_pWindow->TitleChanged();
            }
        }
        settingsFile = theApp.m_strIniPath;
    } else {
        settingsFile = FindExperimentSettingsIni(DirectoryOf(document->GetPathName().str()).c_str()).c_str();
    }
    LoadChannelMagnetLines(settingsFile);

    if (!g_MatAccessLock || !g_MatAccessLock->Wait(kMatLockWaitMs)) {
        return;  // the next paint tries again
    }
    auto* request = new RenderRequest(*this);
    g_MatAccessLock->Release();

    if (!request->m_strImagePath.IsEmpty()) {
        request->m_pBackground = ReadBackgroundOfImageFile(request->m_strImagePath.str());
    } else {
        request->m_nBackgroundIndex = BackgroundIndexOfLiveImageType();
    }

    if (!AddToRenderList(request)) {
        delete request;
        LogErrAndInfo("CImageView::OnDraw", 673, "AddToRenderList() returns false");
    }

    if (m_pWindow) {
        m_pWindow->SetScrollPositions(ScrollPositionOfVisiblePart(m_dViewLeft, m_dViewRight),
                                      ScrollPositionOfVisiblePart(m_dViewTop, m_dViewBottom));
    }
}

void CImageView::OnChannelAndMagnetPositions() {
    CImageDoc* document = m_pDocument;
    if (!document || !document->m_pImage) {
        return;
    }
    if (!g_MatAccessLock || !g_MatAccessLock->Wait(kMatLockWaitMs)) {
        return;
    }
    // A second header keeps the pixels while the live view may replace the
    // document's image.
    const cv::Mat image = *document->m_pImage;
    g_MatAccessLock->Release();
    if (image.empty()) {
        return;
    }

    if (m_pWindow) m_pWindow->ShowWaitCursor(true);
    std::vector<int32_t> profile;
    ComputeRowMedianProfile(image, ROIRect{0, 0, image.cols - 1, image.rows - 1}, profile);
    ChannelMagnetLines found;
    CString error;
    const bool ok = FindChannelAndMagnetLines(profile, ReadChannelMagnetLineParams(), found, error);
    if (m_pWindow) m_pWindow->ShowWaitCursor(false);
    if (!ok) {
        LogErrAndInfo(__FILE__, __LINE__, error);
        platform::ShowMessageBox(error.str(), "Vellora", platform::MB_OK | platform::MB_ICONERROR);
        return;
    }
    g_ChannelMagnetLines[0] = found.upperChannel;
    g_ChannelMagnetLines[1] = found.lowerChannel;
    g_ChannelMagnetLines[2] = found.upperMagnet;
    g_ChannelMagnetLines[3] = found.lowerMagnet;
    m_bRedraw = true;
    Invalidate();
    if (m_pWindow) m_pWindow->StartOneShotTimer(kKeepLinesTimer, 1000);
}

void CImageView::OnTimer(int id) {
    if (id != kKeepLinesTimer) {
        return;
    }
    static const char* const kKeys[4] = {"UpperChannel", "LowerChannel", "UpperMagnet", "LowerMagnet"};
    const int answer = platform::ShowMessageBox("Do you want to keep the Channel and Magnet Lines?", "Vellora",
                                                platform::MB_YESNO | platform::MB_ICONQUESTION);
    if (answer == platform::IDYES) {
        for (int k = 0; k < 4; ++k) {
            const CString value = CString::Formatted("%d", static_cast<int>(g_ChannelMagnetLines[k]));
            if (!Tovanix::E_WritePrivateProfileString("CalibrationSettings", kKeys[k], value, g_IniPath)) {
                LogErrAndInfo(__FILE__, __LINE__,
                              CString::Formatted("CImageView::OnTimer() - could not write [CalibrationSettings] %s "
                                                 "to %s",
                                                 kKeys[k], g_IniPath.GetString()));
            }
        }
        return;
    }
    for (int k = 0; k < 4; ++k) {
        g_ChannelMagnetLines[k] = ReadIntSetting("CalibrationSettings", kKeys[k], g_IniPath, g_ChannelMagnetLines[k]);
    }
    m_bRedraw = true;
    Invalidate();
}
