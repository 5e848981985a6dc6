#include "imaging/ImageView.h"

#include <cmath>
#include <cstdio>
#include <mutex>
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "analysis/BGImages.h"
#include "analysis/DisplayMapping.h"
#include "analysis/RowFlattening.h"
#include "app/ActiveROI.h"
#include "app/ExperimentSettingsIni.h"
#include "app/FrameHooks.h"
#include "app/NamedROIList.h"
#include "app/VelloraApp.h"
#include "imaging/ChannelMagnetLineSearch.h"
#include "imaging/ImageDoc.h"
#include "imaging/ImageFiling.h"
#include "imaging/ReferenceImage.h"
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

std::mutex g_toolHooksMutex;
ImageViewToolHooks g_toolHooks;

ImageViewToolHooks ToolHooks() {
    std::lock_guard<std::mutex> lock(g_toolHooksMutex);
    return g_toolHooks;
}

// Rounded half away from zero.
int32_t RoundToInt(double value) { return static_cast<int32_t>(std::lround(value)); }

double Clamp01(double value) { return value < 0.0 ? 0.0 : (value > 1.0 ? 1.0 : value); }

// [CalibrationSettings] image_pixels_per_mm of the main settings file; 0
// when missing or unreadable.
double ReadPixelsPerMM() {
    char text[32] = {};
    double value = 0.0;
    if (!Tovanix::E_GetPrivateProfileString("CalibrationSettings", "image_pixels_per_mm", "", text, sizeof text,
                                            g_IniPath) ||
        std::sscanf(text, "%lf", &value) != 1) {
        return 0.0;
    }
    return value;
}

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
    UpdateDefaultROI();
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
        ApplyAspectRatioLock();
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

void SetImageViewToolHooks(ImageViewToolHooks hooks) {
    std::lock_guard<std::mutex> lock(g_toolHooksMutex);
    g_toolHooks = std::move(hooks);
}

ImageViewToolHooks GetImageViewToolHooks() { return ToolHooks(); }

VisibleRange ZoomInRange(VisibleRange range, double click) {
    const double w = (range.farEdge - range.nearEdge) * 0.5;
    VisibleRange result;
    result.nearEdge = click - w / 2.0;
    if (result.nearEdge < 0.0) result.nearEdge = 0.0;
    result.farEdge = result.nearEdge + w;
    if (result.farEdge > 1.0) {
        result.farEdge = 1.0;
        result.nearEdge = 1.0 - w;
    }
    return result;
}

VisibleRange ZoomOutRange(VisibleRange range, double click) {
    const double w = std::min(1.0, 2.0 * (range.farEdge - range.nearEdge));
    VisibleRange result;
    result.nearEdge = Clamp01(click - w / 2.0);
    result.farEdge = result.nearEdge + w;
    if (result.farEdge > 1.0) {
        result.farEdge = 1.0;
        result.nearEdge = 1.0 - w;
    }
    return result;
}

VisibleRange ScrollRange(VisibleRange range, ScrollCode code, int position) {
    const double e = range.farEdge - range.nearEdge;
    VisibleRange result = range;
    switch (code) {
        case ScrollCode::LineUp:
        case ScrollCode::PageUp: {
            if (range.nearEdge == 0.0) return range;
            const double step = (code == ScrollCode::LineUp ? 0.1 : 0.9) * e;
            result.nearEdge = std::max(0.0, range.nearEdge - step);
            result.farEdge = std::min(1.0, result.nearEdge + e);
            return result;
        }
        case ScrollCode::LineDown:
        case ScrollCode::PageDown: {
            if (range.farEdge == 1.0) return range;
            const double step = (code == ScrollCode::LineDown ? 0.1 : 0.9) * e;
            result.farEdge = std::min(1.0, range.farEdge + step);
            result.nearEdge = Clamp01(result.farEdge - e);
            return result;
        }
        case ScrollCode::ThumbPosition: {
            if (position <= 0) {
                result.nearEdge = 0.0;
                result.farEdge = std::min(1.0, e);
            } else if (position >= 1000) {
                result.nearEdge = std::max(0.0, 1.0 - e);
                result.farEdge = 1.0;
            } else {
                const double start = position / 1000.0 * (1.0 - e);
                result.nearEdge = Clamp01(start);
                result.farEdge = std::min(1.0, start + e);
            }
            return result;
        }
        case ScrollCode::Other:
            break;
    }
    return range;
}

double AutoScaleHighFraction(const char* name, bool isPreview) {
    CString type;
    if (isPreview) {
        type = name ? name : "";
    } else {
        Tovanix::String found;
        if (name && GetImageTypeNameFromFileName(name, found)) type = found.c_str();
    }
    if (type.IsEmpty() || type.CompareNoCase("BRIGHTFIELD") == 0) return 0.95;
    return 1.0;
}

bool SetCalibrationLine(const char* key, int row) {
    const ImageViewToolHooks hooks = ToolHooks();
    bool toolWindowExists = false;
    for (const auto& store : {hooks.projectionToolStore, hooks.fractionationToolStore}) {
        if (!store) continue;
        toolWindowExists = true;
        bool stored = false;
        if (store(key, row, &stored)) return stored;
    }
    // While a folder tool's window exists, the main settings file is not
    // changed by lines meant for a folder.
    if (toolWindowExists) return true;
    const CString value = CString::Formatted("%d", row);
    if (!Tovanix::E_WritePrivateProfileString("CalibrationSettings", key, value, g_IniPath)) {
        LogErrAndInfo(__FILE__, __LINE__,
                      CString::Formatted("SetCalibrationLine() - could not write [CalibrationSettings] %s to %s", key,
                                         g_IniPath.GetString()));
    }
    return true;
}

bool UpdateDefaultROI() {
    ROIRect* active = AllocateActiveROI();
    CartridgeChannelROI channel;
    theApp.GetCartridgeChannelROI(true, g_LastDrawnIniPath, channel);
    active->left = channel.left;
    active->top = channel.top;
    active->right = channel.right;
    active->bottom = channel.bottom;
    const FrameHooks hooks = GetFrameHooks();
    if (!hooks.showCurrentROI) return false;
    hooks.showCurrentROI();
    return true;
}

int CImageView::ImageRows() const {
    return m_pDocument && m_pDocument->m_pImage ? m_pDocument->m_pImage->rows : 0;
}

int CImageView::ImageColumns() const {
    return m_pDocument && m_pDocument->m_pImage ? m_pDocument->m_pImage->cols : 0;
}

double CImageView::ClientToFractionX(double x) const {
    const RECT client = m_pWindow ? m_pWindow->GetClientRect() : RECT();
    const double width = client.right - client.left;
    if (width == 0.0) return m_dViewLeft;
    return m_dViewLeft + (x - client.left) / width * (m_dViewRight - m_dViewLeft);
}

double CImageView::ClientToFractionY(double y) const {
    const RECT client = m_pWindow ? m_pWindow->GetClientRect() : RECT();
    const double height = client.bottom - client.top;
    if (height == 0.0) return m_dViewTop;
    return m_dViewTop + (y - client.top) / height * (m_dViewBottom - m_dViewTop);
}

bool CImageView::OnCommand(int id) {
    switch (id) {
        case viewcmd::ScaleIntensities: OnScaleIntensities(); return true;
        case viewcmd::AutoScaleIntensities: OnAutoScaleIntensities(); return true;
        case viewcmd::ZoomIn: OnZoomIn(); return true;
        case viewcmd::ZoomOut: OnZoomOut(); return true;
        case viewcmd::FullScale: OnFullScale(); return true;
        case viewcmd::SaveAs: OnFileSaveAs(); return true;
        case viewcmd::SaveImageToExperiment: OnSaveImageToExperiment(); return true;
        case viewcmd::SaveReferenceImage: OnSaveReferenceImage(); return true;
        case viewcmd::ChannelAndMagnetPositions: OnChannelAndMagnetPositions(); return true;
        case viewcmd::FlattenRows: OnFlattenRows(); return true;
        case viewcmd::HideROI:
        case viewcmd::ShowROI: {
            const bool hide = id == viewcmd::HideROI;
            if (g_HideROIOverlays.exchange(hide) != hide) theApp.InvalidateAllImageViews();
            return true;
        }
        case viewcmd::EditActiveROI: EnterDragMode(true); return true;
        case viewcmd::DefinePixelsPerMM: EnterDragMode(false); return true;
        case viewcmd::ChooseDefaultROI: UpdateDefaultROI(); return true;
        case viewcmd::ChooseROIByName:
            if (m_pWindow) m_pWindow->RunChooseROIDialog();
            return true;
        case viewcmd::PlaceUpperMagnet: EnterLineMode(&m_bPlaceUpperMagnet); return true;
        case viewcmd::PlaceLowerMagnet: EnterLineMode(&m_bPlaceLowerMagnet); return true;
        case viewcmd::PlaceUpperChannel: EnterLineMode(&m_bPlaceUpperChannel); return true;
        case viewcmd::PlaceLowerChannel: EnterLineMode(&m_bPlaceLowerChannel); return true;
        case viewcmd::AdjustBoundaries: OnAdjustBoundaries(); return true;
        case viewcmd::DrawProjectionBelow:
        case viewcmd::DrawProjectionRight: {
            std::atomic<bool>& flag =
                id == viewcmd::DrawProjectionBelow ? g_ShowProjectionBelow : g_ShowProjectionRightSide;
            flag = !flag;
            m_bRedraw = true;
            Invalidate();
            return true;
        }
        default:
            return false;
    }
}

void CImageView::ClearModes() {
    m_bEditROI = false;
    m_bMeasurePixelsPerMM = false;
    m_bPlaceLowerMagnet = m_bPlaceUpperMagnet = m_bPlaceLowerChannel = m_bPlaceUpperChannel = false;
}

void CImageView::EnterDragMode(bool editROI) {
    ClearModes();
    if (editROI) {
        m_bEditROI = true;
    } else {
        m_bMeasurePixelsPerMM = true;
    }
    m_rcDrag = RECT();
    Invalidate();
}

void CImageView::EnterLineMode(bool* mode) {
    ClearModes();
    *mode = true;
}

std::vector<ViewMenuEntry> CImageView::BuildContextMenu() const {
    std::vector<ViewMenuEntry> menu;
    const bool hidden = g_HideROIOverlays;
    menu.push_back(hidden ? ViewMenuEntry{viewcmd::ShowROI, "Show ROI"} : ViewMenuEntry{viewcmd::HideROI, "Hide ROI"});
    if (!hidden) {
        menu.push_back({viewcmd::EditActiveROI, "Edit Active Region Of Interest"});
        menu.push_back({viewcmd::ChooseDefaultROI, "Choose Default ROI"});
        NamedROIList named;
        if (named.LoadFromIni(g_IniPath) && named.count > 0) {
            menu.push_back({viewcmd::ChooseROIByName, "Choose Active Region Of Interest By Name"});
        }
    }
    menu.push_back({});
    menu.push_back({viewcmd::PlaceUpperMagnet, "Place Upper Magnet Line"});
    menu.push_back({viewcmd::PlaceLowerMagnet, "Place Lower Magnet Line"});
    menu.push_back({});
    menu.push_back({viewcmd::PlaceUpperChannel, "Place Upper Channel Line"});
    menu.push_back({viewcmd::PlaceLowerChannel, "Place Lower Channel Line"});
    menu.push_back({});
    menu.push_back({viewcmd::DefinePixelsPerMM, "Define pixels per mm"});
    menu.push_back({viewcmd::AdjustBoundaries, "Adjust Boundaries"});
    // The automatic search sits with the manual line placing.
    menu.push_back({viewcmd::ChannelAndMagnetPositions, "Channel and Magnet Positions"});
    menu.push_back({});
    if (!hidden) {
        menu.push_back({viewcmd::DrawProjectionBelow, "Draw Projection Below ROI", g_ShowProjectionBelow});
        menu.push_back({viewcmd::DrawProjectionRight, "Draw Projection Right of ROI", g_ShowProjectionRightSide});
    }
    return menu;
}

void CImageView::OnScaleIntensities() {
    if (!m_pWindow) return;
    uint16_t maximum = m_nDisplayMax;
    uint16_t minimum = m_nDisplayMin;
    if (!m_pWindow->RunScaleIntensitiesDialog(maximum, minimum)) return;
    m_nDisplayMax = maximum;
    m_nDisplayMin = minimum;
    m_bRedraw = true;
    Invalidate();
}

bool CImageView::OnFlattenRows() {
    // Scripts may move the active region meanwhile: use one copy of it.
    const ROIRect* active = g_pActiveROI;
    if (!active) return false;
    const Tovanix::Roi roi{active->left, active->top, active->right, active->bottom};
    CImageDoc* document = m_pDocument;
    if (!document || !document->m_pImage) return false;
    if (!g_MatAccessLock || !g_MatAccessLock->Wait(kMatLockWaitMs)) return false;
    std::vector<uint16_t> profile;
    cv::Mat* image = document->m_pImage;  // the live view may have replaced it while we waited
    const bool flattened =
        image && ComputeRowPercentileProfile(*image, roi, 0.99, profile) && FlattenRows(*image, roi, profile);
    g_MatAccessLock->Release();
    if (!flattened) return false;
    m_bRedraw = true;
    Invalidate();
    return true;
}

void CImageView::OnAutoScaleIntensities() {
    CImageDoc* document = m_pDocument;
    if (!document || !document->m_pImage) return;
    if (!g_MatAccessLock || !g_MatAccessLock->Wait(kMatLockWaitMs)) return;
    const double high = document->GetPathName().IsEmpty()
                            ? AutoScaleHighFraction(GetImageTypeText(), true)
                            : AutoScaleHighFraction(FileNameOf(document->GetPathName().str()).c_str(), false);
    uint16_t low = m_nDisplayMin;
    uint16_t top = m_nDisplayMax;
    if (!document->m_pImage->empty() &&
        Tovanix::ComputeSampledPercentileRange(*document->m_pImage, 10, 0.05, high, low, top)) {
        m_nDisplayMin = low;
        m_nDisplayMax = top == 0 ? 10 : top;
    }
    g_MatAccessLock->Release();
    m_bRedraw = true;
    Invalidate();
}

void CImageView::OnZoomIn() {
    const VisibleRange h = ZoomInRange({m_dViewLeft, m_dViewRight}, g_LastClickX);
    const VisibleRange v = ZoomInRange({m_dViewTop, m_dViewBottom}, g_LastClickY);
    m_dViewLeft = h.nearEdge;
    m_dViewRight = h.farEdge;
    m_dViewTop = v.nearEdge;
    m_dViewBottom = v.farEdge;
    if (m_pWindow) m_pWindow->ShowScrollBars(true);
    Invalidate();
    m_bRedraw = true;
}

void CImageView::OnZoomOut() {
    if (m_dViewRight - m_dViewLeft == 1.0 && m_dViewBottom - m_dViewTop == 1.0) return;
    const VisibleRange h = ZoomOutRange({m_dViewLeft, m_dViewRight}, g_LastClickX);
    const VisibleRange v = ZoomOutRange({m_dViewTop, m_dViewBottom}, g_LastClickY);
    m_dViewLeft = h.nearEdge;
    m_dViewRight = h.farEdge;
    m_dViewTop = v.nearEdge;
    m_dViewBottom = v.farEdge;
    Invalidate();
    m_bRedraw = true;
    if (m_dViewLeft == 0.0 && m_dViewRight == 1.0 && m_pWindow) m_pWindow->ShowScrollBars(false);
}

void CImageView::OnFullScale() {
    m_dViewLeft = 0.0;
    m_dViewRight = 1.0;
    m_dViewTop = 0.0;
    m_dViewBottom = 1.0;
    Invalidate();
    m_bRedraw = true;
    if (m_pWindow) m_pWindow->ShowScrollBars(false);
}

bool CImageView::SaveImageAs(const char* path, CString& error, uint32_t lockWaitMs) {
    const CString message = CString::Formatted("Problem saving image to file: %s", path);
    CImageDoc* document = m_pDocument;
    if (!document || !document->m_pImage) {
        error = message;
        return false;
    }
    if (!g_MatAccessLock || !g_MatAccessLock->Wait(lockWaitMs)) {
        error = message;
        return false;
    }
    bool written = false;
    try {
        // Encoded in memory and written beside the target first, so a failed
        // save leaves an existing file whole.
        const std::string native = platform::NativePath(path);
        const size_t dot = native.find_last_of('.');
        const size_t slash = native.find_last_of('/');
        const std::string extension =
            dot == std::string::npos || (slash != std::string::npos && dot < slash) ? ".png" : native.substr(dot);
        std::vector<uchar> encoded;
        written = cv::imencode(extension, *document->m_pImage, encoded) &&
                  platform::WriteFileAtomically(native, encoded.data(), encoded.size());
    } catch (const std::exception&) {
        written = false;
    }
    g_MatAccessLock->Release();
    if (!written) error = message;
    return written;
}

void CImageView::OnFileSaveAs() {
    if (!m_pDocument || !m_pDocument->m_pImage || !m_pWindow) return;
    CString path;
    if (!m_pWindow->AskSaveAsPath(path)) return;
    CString error;
    if (!SaveImageAs(path, error)) {
        // The document keeps its former path: nothing was saved under the new one.
        LogErrAndInfo(__FILE__, __LINE__, error);
        platform::ShowMessageBox(error.str(), "Vellora", platform::MB_OK | platform::MB_ICONERROR);
        return;
    }
    m_pDocument->SetPathName(path);
    m_pWindow->TitleChanged();
    m_pWindow->AddToRecentFileList(path);
}

void CImageView::OnSaveImageToExperiment() {
    CImageDoc* document = m_pDocument;
    if (!document || !document->m_pImage) return;
    if (!g_MatAccessLock || !g_MatAccessLock->Wait(kMatLockWaitMs)) return;
    const cv::Mat image = *document->m_pImage;
    g_MatAccessLock->Release();
    CString error;
    SaveImageToExperiment(image, "", -1, -1, 0, error, "", nullptr);
}

void CImageView::OnSaveReferenceImage() {
    if (!m_pDocument) return;
    CString error;
    if (!SaveReferenceImage(m_pDocument->GetPathName(), error, false)) {
        LogErrAndInfo(__FILE__, __LINE__, error);
        platform::ShowMessageBox(error.str(), "Vellora", platform::MB_OK | platform::MB_ICONERROR);
    }
}

void CImageView::OnAdjustBoundaries() {
    const double pixelsPerMM = ReadPixelsPerMM();
    if (pixelsPerMM == 0.0) {
        platform::ShowMessageBox(
            "[CalibrationSettings] image_pixels_per_mm has not been assigned.\nRight click on an image and select "
            "\"Define pixels per mm\"",
            "Vellora", platform::MB_OK);
        return;
    }
    if (m_pWindow) m_pWindow->ShowAdjustBoundariesDialog();
}

void CImageView::OnLButtonDown(int x, int y) {
    if (m_bEditROI) {
        m_ptEditROIAnchor[0] = x;
        m_ptEditROIAnchor[1] = y;
        m_rcDrag = RECT();
        return;
    }
    if (m_bMeasurePixelsPerMM) {
        m_ptMeasureAnchor[0] = x;
        m_ptMeasureAnchor[1] = y;
        m_rcDrag = RECT();
        return;
    }
    struct LineMode {
        bool* mode;
        int index;  // into g_ChannelMagnetLines
        const char* key;
        int magnet;  // 1 lower magnet, 2 upper magnet, 0 a channel line
    };
    const LineMode modes[] = {
        {&m_bPlaceLowerMagnet, 3, "LowerMagnet", 1},
        {&m_bPlaceUpperMagnet, 2, "UpperMagnet", 2},
        {&m_bPlaceLowerChannel, 1, "LowerChannel", 0},
        {&m_bPlaceUpperChannel, 0, "UpperChannel", 0},
    };
    bool placed = false;
    for (const LineMode& line : modes) {
        if (!*line.mode) continue;
        const int row = RoundToInt(ImageRows() * ClientToFractionY(y));
        g_ChannelMagnetLines[line.index] = row;
        SetCalibrationLine(line.key, row);
        if (line.magnet != 0) {
            const ImageViewToolHooks hooks = ToolHooks();
            if (hooks.magnetLinePlaced) hooks.magnetLinePlaced(line.magnet == 1);
        }
        *line.mode = false;
        placed = true;
        break;
    }
    if (!placed) {
        g_LastClickX = ClientToFractionX(x);
        g_LastClickY = ClientToFractionY(y);
    }
    theApp.InvalidateAllImageViews();
}

void CImageView::OnMouseMove(int x, int y, bool leftHeld) {
    if (m_bEditROI && m_ptEditROIAnchor[0] >= 0 && m_ptEditROIAnchor[1] >= 0 && !leftHeld) {
        m_bEditROI = false;
        m_ptEditROIAnchor[0] = m_ptEditROIAnchor[1] = -1;
    }
    if (m_bMeasurePixelsPerMM && m_ptMeasureAnchor[0] >= 0 && m_ptMeasureAnchor[1] >= 0 && !leftHeld) {
        m_bMeasurePixelsPerMM = false;
        m_ptMeasureAnchor[0] = m_ptMeasureAnchor[1] = -1;
    }

    ImageViewWindow::Cursor cursor = ImageViewWindow::Cursor::Arrow;
    if (m_bEditROI || m_bMeasurePixelsPerMM) {
        cursor = ImageViewWindow::Cursor::Hand;
    } else if (m_bPlaceLowerMagnet || m_bPlaceLowerChannel) {
        cursor = ImageViewWindow::Cursor::LowerLine;
    } else if (m_bPlaceUpperMagnet || m_bPlaceUpperChannel) {
        cursor = ImageViewWindow::Cursor::UpperLine;
    }
    if (cursor != m_cursor) {
        m_cursor = cursor;
        if (m_pWindow) m_pWindow->SetViewCursor(cursor);
    }

    const int32_t* anchor = nullptr;
    if (m_bEditROI && m_ptEditROIAnchor[0] >= 0 && m_ptEditROIAnchor[1] >= 0) {
        anchor = m_ptEditROIAnchor;
    } else if (m_bMeasurePixelsPerMM && m_ptMeasureAnchor[0] >= 0 && m_ptMeasureAnchor[1] >= 0) {
        anchor = m_ptMeasureAnchor;
    }
    if (anchor) {
        m_rcDrag.left = std::min(anchor[0], x);
        m_rcDrag.right = std::max(anchor[0], x);
        m_rcDrag.top = std::min(anchor[1], y);
        m_rcDrag.bottom = std::max(anchor[1], y);
        if (m_pWindow) m_pWindow->RubberBandChanged();
    }
}

void CImageView::OnLButtonUp(int, int) {
    if (m_bEditROI) {
        ROIRect* active = AllocateActiveROI();
        const int cols = ImageColumns();
        const int rows = ImageRows();
        active->left = RoundToInt(cols * ClientToFractionX(m_rcDrag.left));
        active->right = RoundToInt(cols * ClientToFractionX(m_rcDrag.right));
        active->top = RoundToInt(rows * ClientToFractionY(m_rcDrag.top));
        active->bottom = RoundToInt(rows * ClientToFractionY(m_rcDrag.bottom));
        const FrameHooks frameHooks = GetFrameHooks();
        if (frameHooks.showCurrentROI) frameHooks.showCurrentROI();
        const ImageViewToolHooks hooks = ToolHooks();
        if (hooks.activeROIDragged) hooks.activeROIDragged(*active);
        m_rcDrag = RECT();
        if (m_pWindow) m_pWindow->RubberBandChanged();
        Invalidate();
    } else if (m_bMeasurePixelsPerMM) {
        const int rows = ImageRows();
        // A drag upwards spans the same rows as one downwards: the height is
        // never negative, so the scale written from it cannot be either.
        const double height = std::fabs(rows * ClientToFractionY(m_rcDrag.bottom) -
                                        rows * ClientToFractionY(m_rcDrag.top));
        if (m_pWindow) m_pWindow->RunPixelsPerMMDialog(height);
        m_rcDrag = RECT();
        if (m_pWindow) m_pWindow->RubberBandChanged();
        Invalidate();
    }
}

void CImageView::OnScroll(bool horizontal, ScrollCode code, int position) {
    double& nearEdge = horizontal ? m_dViewLeft : m_dViewTop;
    double& farEdge = horizontal ? m_dViewRight : m_dViewBottom;
    const VisibleRange before{nearEdge, farEdge};
    const VisibleRange after = ScrollRange(before, code, position);
    if (after.nearEdge == before.nearEdge && after.farEdge == before.farEdge) return;
    nearEdge = after.nearEdge;
    farEdge = after.farEdge;
    Invalidate();
    m_bRedraw = true;
}

void CImageView::OnShowWindow() {
    if (m_pWindow && m_dViewLeft <= 0.0 && m_dViewRight >= 1.0 && m_dViewTop <= 0.0 && m_dViewBottom >= 1.0) {
        m_pWindow->ShowScrollBars(false);
    }
    ROIRect* active = AllocateActiveROI();
    if (active->left == 0 && active->top == 0 && active->right == 0 && active->bottom == 0) UpdateDefaultROI();
}

bool CImageView::PreTranslateMessage(unsigned message, uintptr_t wParam, intptr_t lParam) {
    if (message != kViewUserMessage || (wParam != kSetDisplayMax && wParam != kSetDisplayMin)) return false;
    const auto value = static_cast<uint16_t>(static_cast<uintptr_t>(lParam) & 0xFFFF);
    if (wParam == kSetDisplayMax) {
        m_nDisplayMax = value;
    } else {
        m_nDisplayMin = value;
    }
    m_bRedraw = true;
    Invalidate();
    return true;
}

bool CImageView::GetPixelReadout(CString& text) const {
    CImageDoc* document = m_pDocument;
    if (!document || !document->m_pImage) return false;
    const cv::Mat& image = *document->m_pImage;
    if (image.rows == 0 || image.cols == 0) return false;
    // Truncated toward zero, so a click less than a pixel left of or above
    // the image still reads pixel 0.
    const auto x = static_cast<int32_t>(image.cols * g_LastClickX);
    const auto y = static_cast<int32_t>(image.rows * g_LastClickY);
    if (x < 0 || x >= image.cols || y < 0 || y >= image.rows) return false;
    if (!g_MatAccessLock || !g_MatAccessLock->Wait(kMatLockWaitMs)) return false;
    int32_t value = 0;
    const cv::Mat& held = *document->m_pImage;
    if (x < held.cols && y < held.rows) {
        switch (held.depth()) {
            case CV_8U: value = held.ptr<uint8_t>(y)[x * held.channels()]; break;
            case CV_8S: value = held.ptr<int8_t>(y)[x * held.channels()]; break;
            case CV_16U: value = held.ptr<uint16_t>(y)[x * held.channels()]; break;
            case CV_16S: value = held.ptr<int16_t>(y)[x * held.channels()]; break;
            case CV_32S: value = held.ptr<int32_t>(y)[x * held.channels()]; break;
            case CV_32F: value = static_cast<int32_t>(held.ptr<float>(y)[x * held.channels()]); break;
            case CV_64F: value = static_cast<int32_t>(held.ptr<double>(y)[x * held.channels()]); break;
            default: break;
        }
    }
    g_MatAccessLock->Release();
    text = CString::Formatted("pix[%ld,%ld]=%ld", static_cast<long>(x), static_cast<long>(y), static_cast<long>(value));
    return true;
}

void CImageView::ApplyAspectRatioLock() {
    char text[9] = {};
    Tovanix::E_GetPrivateProfileString("ExperimentSettings", "LockAspectRatio", "", text, sizeof text, g_IniPath);
    if (CString(text).CompareNoCase("TRUE") != 0) return;
    const int rows = ImageRows();
    const int cols = ImageColumns();
    if (rows == 0 || cols == 0 || !m_pWindow) return;
    const RECT client = m_pWindow->GetClientRect();
    const double W = client.right - client.left + 1;
    const double H = client.bottom - client.top + 1;
    const double sx = (m_dViewRight - m_dViewLeft) * cols / W;
    const double sy = (m_dViewBottom - m_dViewTop) * rows / H;
    if (std::fabs(sy - sx) > 0.001) {
        if (sx > sy) {
            const double extent = H * sx / rows;
            m_dViewTop = 0.5 - extent / 2.0;
            m_dViewBottom = 0.5 + extent / 2.0;
        } else {
            const double extent = W * sy / cols;
            m_dViewLeft = 0.5 - extent / 2.0;
            m_dViewRight = 0.5 + extent / 2.0;
        }
    }
    const double eh = m_dViewRight - m_dViewLeft;
    const double ev = m_dViewBottom - m_dViewTop;
    if (eh > 1.001 && ev > 1.001) {
        if (ev > eh) {
            m_dViewLeft = 0.0;
            m_dViewRight = 1.0;
            m_dViewTop = -(ev / eh - 1.0) / 2.0;
            m_dViewBottom = 1.0 + (ev / eh - 1.0) / 2.0;
        } else {
            m_dViewTop = 0.0;
            m_dViewBottom = 1.0;
            m_dViewLeft = -(eh / ev - 1.0) / 2.0;
            m_dViewRight = 1.0 + (eh / ev - 1.0) / 2.0;
        }
    }
}
