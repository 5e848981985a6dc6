#include "imaging/ui/RenderImage.h"
#include "imaging/ui/MfgTestSymbolDrawing.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include <QFontMetrics>
#include <QImage>
#include <QPen>

#include <opencv2/core.hpp>

#include "analysis/BGImages.h"
#include "analysis/DisplayMapping.h"
#include "analysis/IntensityControl.h"
#include "analysis/Profiles.h"
#include "analysis/Projection.h"
#include "analysis/ProjectionAnalysisParams.h"
#include "analysis/ui/DisplayBlit.h"
#include "analysis/ui/ProjectionPainter.h"
#include "app/ActiveROI.h"
#include "app/FlowSplit.h"
#include "app/VelloraApp.h"
#include "imaging/ImageView.h"
#include "imaging/ReferenceImage.h"
#include "imaging/RenderOverlays.h"
#include "support/AppLogs.h"
#include "support/Profile.h"

std::unique_ptr<QFont> g_ViewFont;

namespace {

int ReadIntSetting(const char* section, const char* key, int defaultValue) {
    char text[32] = {};
    int value = 0;
    if (Tovanix::E_GetPrivateProfileString(section, key, "", text, sizeof text, g_IniPath) &&
        std::sscanf(text, "%d", &value) == 1) {
        return value;
    }
    return defaultValue;
}

// The image type a request shows: from its file name, or the live image
// type chosen in the main window for the live preview. False when none.
bool ImageTypeOfRequest(const RenderRequest& request, CString& type) {
    if (request.m_strImagePath.IsEmpty()) {
        type = GetImageTypeText();
        return !type.IsEmpty();
    }
    const std::string& path = request.m_strImagePath.str();
    const size_t slash = path.find_last_of("\\/");
    // The whole file name: a manual capture's name carries its type up to
    // the extension.
    Tovanix::String name;
    if (!GetImageTypeNameFromFileName(slash == std::string::npos ? path.c_str() : path.c_str() + slash + 1, name)) {
        return false;
    }
    type = name.c_str();
    return true;
}

// The output levels the display window maps into.
void ReadOutputLevels(const RenderRequest& request, int& low, int& high) {
    low = ReadIntSetting("AutoScale", "LowMappingDisplayIntensity", 25);
    high = ReadIntSetting("AutoScale", "BrightFieldHighMappingDisplayIntensity", 200);
    CString type;
    if (ImageTypeOfRequest(request, type) && type.CompareNoCase("BRIGHTFIELD") != 0) {
        high = ReadIntSetting("AutoScale", "FluorescenceHighMappingDisplayIntensity", 255);
    }
}

int16_t ToLevel(int value) {
    return static_cast<int16_t>(value < -32768 ? -32768 : value > 32767 ? 32767 : value);
}

void InvertArea(QPainter& painter, int x, int y, int width, int height) {
    if (width > 0 && height > 0) {
        painter.fillRect(x, y, width, height, Qt::white);
    }
}

// Runs `draw` with the painter set to invert what it fills.
template <typename Draw>
void WithInvertingPainter(CDC* dc, Draw draw) {
    QPainter& painter = dc->Painter();
    painter.save();
    painter.setCompositionMode(QPainter::RasterOp_NotDestination);
    painter.setPen(Qt::NoPen);
    draw(painter);
    painter.restore();
}

enum class PenStyle { Solid, Dot, DashDot };

// A pen as the overlays name it: width 0 is one device pixel; a dash or dot
// pen wider than one pixel draws solid.
QPen MakePen(PenStyle style, int width, int red, int green, int blue) {
    QPen pen(QColor(red, green, blue));
    pen.setWidth(width);
    Qt::PenStyle qtStyle = Qt::SolidLine;
    if (width <= 1 && style == PenStyle::Dot) qtStyle = Qt::DotLine;
    if (width <= 1 && style == PenStyle::DashDot) qtStyle = Qt::DashDotLine;
    pen.setStyle(qtStyle);
    return pen;
}

void DrawHorizontalLine(QPainter& painter, const QPen& pen, int x0, int x1, int y) {
    painter.setPen(pen);
    painter.drawLine(x0, y, x1, y);
}

std::mutex g_drawerMutex;
MfgTestSymbolDrawer g_symbolDrawer;
std::atomic<bool> g_histogramFailureLogged{false};

// Hands the sampled values to the run screen's intensity control and takes
// the display window from its markers.
void UpdateRunScreenHistogram(const RunScreenRenderHooks& hooks, RenderRequest& request, int count) {
    Tovanix::IntensityControl* control = hooks.activeIntensityControl ? hooks.activeIntensityControl() : nullptr;
    if (!control) {
        return;
    }
    CString error;
    if (control->SetHistogramFromValues(request.m_pDisplayGrid->data(), count, error)) {
        if (hooks.invalidate) hooks.invalidate(HistogramRepaintArea(control->m_rect));
    } else if (!g_histogramFailureLogged.exchange(true)) {
        LogErrAndInfo(__FILE__, __LINE__, error);
    }
    request.m_nDisplayMin = control->m_lower_intensity;
    request.m_nDisplayMax = control->m_upper_intensity;
}

void DrawChannelMagnetAndSplitLines(QPainter& painter, const ScreenMapping& mapping, const RECT& target,
                                    const RunScreenRenderHooks& hooks) {
    int32_t lines[4];
    for (int k = 0; k < 4; ++k) lines[k] = g_ChannelMagnetLines[k];
    const ChannelMagnetOverlay overlay = ComputeChannelMagnetOverlay(mapping, lines);
    struct Styled {
        const OverlayLine& line;
        QPen pen;
    };
    const Styled styled[] = {
        {overlay.upperMagnet, MakePen(PenStyle::DashDot, 2, 255, 0, 0)},
        {overlay.lowerMagnet, MakePen(PenStyle::DashDot, 2, 0, 0, 255)},
        {overlay.upperChannel, MakePen(PenStyle::DashDot, 1, 255, 128, 128)},
        {overlay.lowerChannel, MakePen(PenStyle::DashDot, 1, 128, 128, 255)},
    };
    for (const Styled& s : styled) {
        if (s.line.draw) DrawHorizontalLine(painter, s.pen, target.left, target.right, s.line.y);
    }

    SplitLineOverlay split;
    UpdateFlowSplit([&](FlowSplitValues& values) { split = PlaceChannelAndSplitLine(mapping, lines, overlay, values); });
    if (split.draw) {
        DrawHorizontalLine(painter, MakePen(PenStyle::Dot, 3, 100, 255, 100), split.x0, split.x1, split.y);
    }
    if (hooks.updateFlowSplitText) hooks.updateFlowSplitText(true);
}

void DrawDetections(QPainter& painter, const ScreenMapping& mapping, const RenderRequest& request) {
    struct List {
        const std::vector<CellDetection>& detections;
        QPen pen;
    };
    const List lists[] = {
        {request.m_Detections1, MakePen(PenStyle::Solid, 2, 255, 0, 0)},
        {request.m_Detections2, MakePen(PenStyle::Solid, 2, 0, 255, 255)},
        {request.m_EpiDetections, MakePen(PenStyle::Solid, 2, 255, 255, 0)},
    };
    for (const List& list : lists) {
        if (list.detections.empty()) continue;
        painter.setPen(list.pen);
        for (const CellDetection& detection : list.detections) {
            const int32_t sx = mapping.SX(detection.x);
            const int32_t sy = mapping.SY(detection.y);
            if (!DetectionCrossVisible(request.m_rcTarget, sx, sy)) continue;
            painter.drawLine(sx - 4, sy, sx + 3, sy);
            painter.drawLine(sx, sy - 4, sx, sy + 3);
        }
    }
}

void DrawRoiOutline(QPainter& painter, const ScreenMapping& mapping, const ROIRect& roi, const QPen& pen) {
    const RoiOutline outline = ComputeRoiOutline(mapping, roi);
    if (!outline.inside) return;
    painter.save();
    painter.setPen(pen);
    const QPoint points[] = {{outline.left, outline.top},
                             {outline.left, outline.bottom},
                             {outline.right, outline.bottom},
                             {outline.right, outline.top},
                             {outline.left, outline.top}};
    painter.drawPolyline(points, 5);
    painter.restore();
}

void DrawProjectionBelow(QPainter& painter, const ScreenMapping& mapping, const cv::Mat& image, const ROIRect& roi,
                         const RenderRequest& request) {
    const cv::Mat* background = request.m_pBackground;
    if (request.m_nBackgroundIndex >= 1 && request.m_nBackgroundIndex <= 4) {
        background = theApp.m_pBackgroundImages[request.m_nBackgroundIndex - 1];
    }
    std::vector<int32_t> profile;
    if (!ComputeColumnProfile(image, Tovanix::Roi{roi.left, roi.top, roi.right, roi.bottom}, profile, background)) {
        return;
    }
    const ProjectionBelowOverlay overlay = ComputeProjectionBelow(mapping, roi, profile);
    if (overlay.frameInside) {
        painter.save();
        painter.setPen(MakePen(PenStyle::Solid, 0, 192, 192, 0));
        const QPoint frame[] = {{overlay.frameLeft, overlay.frameTop},
                                {overlay.frameLeft, overlay.frameBottom},
                                {overlay.frameRight, overlay.frameBottom},
                                {overlay.frameRight, overlay.frameTop},
                                {overlay.frameLeft, overlay.frameTop}};
        painter.drawPolyline(frame, 5);
        painter.restore();
    }
    painter.save();
    painter.setPen(MakePen(PenStyle::Solid, 0, 255, 0, 0));
    for (const cv::Point& point : overlay.points) painter.drawPoint(point.x, point.y);
    painter.restore();
}

void DrawProjectionRightSide(QPainter& painter, const ScreenMapping& mapping, const cv::Mat& image,
                             const ROIRect& roi, const RenderRequest& request) {
    ProjectionAnalysisParams params;
    ChooseRightSideProjectionParams(roi, params);
    g_EpiOverlayROI = ROIRect{};
    PainterProjectionCanvas canvas(painter);
    ProjectionDrawTarget drawTarget;
    drawTarget.canvas = &canvas;
    drawTarget.left = mapping.L;
    drawTarget.top = mapping.T;
    drawTarget.right = mapping.R;
    drawTarget.bottom = mapping.B;
    drawTarget.vx0 = request.m_dViewLeft;
    drawTarget.vx1 = request.m_dViewRight;
    drawTarget.vy0 = request.m_dViewTop;
    drawTarget.vy1 = request.m_dViewBottom;
    std::vector<ProjectionPeak> peaks;
    int32_t elapsedMs = 0;
    CString error;
    ComputeAndPlotProjection(image, params, peaks, elapsedMs, error, &drawTarget, nullptr);
    DeleteProjectionResults(peaks);
}

void DrawRegionsOfInterest(QPainter& painter, const ScreenMapping& mapping, const RenderRequest& request) {
    const cv::Mat& image = *request.m_pImage;
    if (ROIRect* active = g_pActiveROI) {
        const ROIRect roi = *active;
        DrawRoiOutline(painter, mapping, roi, MakePen(PenStyle::Dot, 0, 255, 0, 0));
        // The profiles read the image under the region: only a region inside
        // the image has one.
        if (RoiInsideImage(roi, image.cols, image.rows)) {
            if (g_ShowProjectionBelow) DrawProjectionBelow(painter, mapping, image, roi, request);
            if (g_ShowProjectionRightSide) DrawProjectionRightSide(painter, mapping, image, roi, request);
        }
    }
    const ROIRect preview = g_ActiveROI;
    if (!RoiRecordEmpty(preview)) DrawRoiOutline(painter, mapping, preview, MakePen(PenStyle::Dot, 0, 0, 255, 0));
    const ROIRect epi = g_EpiOverlayROI;
    if (!RoiRecordEmpty(epi)) DrawRoiOutline(painter, mapping, epi, MakePen(PenStyle::Dot, 0, 0, 0, 255));
}

void DrawZoomCentre(QPainter& painter, const ZoomBox& box) {
    painter.save();
    painter.setPen(MakePen(PenStyle::Dot, 0, 255, 0, 0));
    for (int x = box.left; x <= box.right; x += 4) painter.drawLine(x, box.cy, x + 2, box.cy);
    for (int y = box.top; y <= box.bottom; y += 4) painter.drawLine(box.cx, y, box.cx, y + 2);
    painter.restore();
}

void DrawBrightnessTarget(QPainter& painter, const ScreenMapping& mapping, const cv::Mat& image,
                          const MfgTestBrightnessTarget& target) {
    const int32_t half = target.sz / 2;
    const int32_t xl = mapping.SX(target.ix - half);
    const int32_t xr = mapping.SX(target.ix + half);
    const int32_t yt = mapping.SY(target.iy - half);
    const int32_t yb = mapping.SY(target.iy + half);
    painter.setPen(MakePen(PenStyle::Solid, 3, 255, 128, 128));
    const QPoint frame[] = {{xl, yt}, {xr, yt}, {xr, yb}, {xl, yb}, {xl, yt}};
    painter.drawPolyline(frame, 5);

    int32_t median = 0;
    if (!MeasureBrightnessWindow(image, target, median)) {
        return;
    }
    painter.save();
    if (g_ViewFont) painter.setFont(*g_ViewFont);
    const QFontMetrics metrics(painter.font());
    const QString text = QString::number(median);
    const OverlayColour colour = BrightnessTextColour(median, target.low, target.high);
    painter.setPen(QColor(colour.red, colour.green, colour.blue));
    const int x = xr + metrics.horizontalAdvance(QStringLiteral("W")) / 2;
    const int y = (yt + yb) / 2 - metrics.height() / 2;
    painter.drawText(x, y + metrics.ascent(), text);
    painter.restore();
    ReportMfgTestBrightness(median, target);
}

void DrawMfgTestSymbols(QPainter& painter, const ScreenMapping& mapping, const RenderRequest* request, CDC* dc) {
    MfgTestSymbolDrawer drawer;
    {
        std::lock_guard<std::mutex> lock(g_drawerMutex);
        drawer = g_symbolDrawer;
    }
    if (!drawer) drawer = &DrawMfgTestSymbol;
    const RECT imageRect{mapping.SX(0), mapping.SY(0), mapping.SX(mapping.cols - 1), mapping.SY(mapping.rows - 1)};
    size_t index = 0;
    MfgTestSymbol symbol;
    while (NextShownMfgTestSymbol(index, symbol)) {
        const int dx = mapping.SX(symbol.x) - imageRect.left;
        const int dy = mapping.SY(symbol.y) - imageRect.top;
        painter.save();
        painter.setPen(MakePen(PenStyle::Solid, symbol.lineWidth, symbol.red, symbol.green, symbol.blue));
        drawer(symbol, dc, request->m_rcTarget, request->m_dViewLeft, request->m_dViewRight, request->m_dViewTop,
               request->m_dViewBottom, imageRect, mapping.cols, mapping.rows, dx, dy);
        painter.restore();
    }
}

}  // namespace

void SetMfgTestSymbolDrawer(MfgTestSymbolDrawer drawer) {
    std::lock_guard<std::mutex> lock(g_drawerMutex);
    g_symbolDrawer = std::move(drawer);
}

void CreateViewFont() {
    if (g_ViewFont) {
        return;
    }
    // Century Gothic is not shipped with Linux; a geometric sans of the same
    // kind takes its place where it is missing.
    QFont::insertSubstitution("Century Gothic", "URW Gothic");
    g_ViewFont = std::make_unique<QFont>("Century Gothic");
    g_ViewFont->setPixelSize(40);
    g_ViewFont->setWeight(QFont::Bold);
}

bool RenderImage(RenderRequest* request, CDC* dc) {
    if (!request || !dc || !request->m_pImage) {
        return false;
    }
    const RECT& target = request->m_rcTarget;
    const bool runScreen = target.left != 0;
    const RunScreenRenderHooks runScreenHooks = GetRunScreenRenderHooks();
    // A request redirected to the run screen is drawn only while it shows.
    if (runScreen && !(runScreenHooks.isVisible && runScreenHooks.isVisible())) {
        return false;
    }
    const int width = target.right - target.left + 1;
    const int height = target.bottom - target.top + 1;
    if (width <= 0 || height <= 0) {
        return false;
    }

    if (request->m_bResample) {
        delete request->m_pDisplayGrid;
        request->m_pDisplayGrid = nullptr;
    }
    if (!request->m_pDisplayGrid) {
        delete request->m_pOverlayGrid;
        request->m_pOverlayGrid = nullptr;
        auto grid = std::make_unique<std::vector<uint16_t>>();
        auto overlayGrid = request->m_pOverlayCodes ? std::make_unique<std::vector<uint8_t>>() : nullptr;
        if (!Tovanix::SampleImageToDisplayGrid(*request->m_pImage, *grid, request->m_dViewLeft,
                                                request->m_dViewRight, request->m_dViewTop,
                                                request->m_dViewBottom, width, height, request->m_pOverlayCodes,
                                                overlayGrid.get())) {
            return false;
        }
        request->m_pDisplayGrid = grid.release();
        request->m_pOverlayGrid = overlayGrid && !overlayGrid->empty() ? overlayGrid.release() : nullptr;
    }
    request->m_bResample = false;

    const int count = width * height;
    if (runScreen) {
        UpdateRunScreenHistogram(runScreenHooks, *request, count);
    }

    int low = 0;
    int high = 0;
    ReadOutputLevels(*request, low, high);

    // A picture of exactly the target's size takes the display pixels
    // directly (its bytes are laid out as they are); any other device gets
    // them through a blit.
    cv::Mat* picture = dc->Picture();
    const bool direct = picture && picture->type() == CV_8UC4 && picture->isContinuous() &&
                        picture->cols == width && picture->rows == height;
    std::vector<uint32_t> buffer;
    if (!direct) {
        buffer.resize(static_cast<size_t>(count));
    }
    uint32_t* pixels = direct ? reinterpret_cast<uint32_t*>(picture->data) : buffer.data();
    if (!Tovanix::MapIntensitiesToDisplayColours(
            request->m_pDisplayGrid->data(), count, pixels, request->m_nDisplayMax, request->m_nDisplayMin,
            request->m_pOverlayGrid ? request->m_pOverlayGrid->data() : nullptr, ToLevel(low), ToLevel(high))) {
        return false;
    }
    if (!direct && !Tovanix::BlitPixelsToDC(dc->Painter(), width, height, pixels, target.left, target.top)) {
        return false;
    }

    const cv::Mat& image = *request->m_pImage;
    const ScreenMapping mapping(target, request->m_dViewLeft, request->m_dViewRight, request->m_dViewTop,
                                request->m_dViewBottom, image.cols, image.rows);
    QPainter& painter = dc->Painter();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setBrush(Qt::NoBrush);

    DrawChannelMagnetAndSplitLines(painter, mapping, target, runScreenHooks);
    DrawDetections(painter, mapping, *request);
    const ZoomBox zoom = ComputeZoomBox(target, request->m_dViewLeft, request->m_dViewRight, request->m_dViewTop,
                                        request->m_dViewBottom, request->m_dLastClickX, request->m_dLastClickY);
    if (!g_HideROIOverlays) {
        DrawRegionsOfInterest(painter, mapping, *request);
    }
    if (!runScreen) {
        DrawZoomCentre(painter, zoom);
    }
    if (request->m_pBrightnessTarget) {
        DrawBrightnessTarget(painter, mapping, image, *request->m_pBrightnessTarget);
    }
    DrawMfgTestSymbols(painter, mapping, request, dc);
    painter.restore();

    if (request->m_bSaveReference && dc->Picture()) {
        SaveReferenceBitmap(*request, *dc->Picture());
    }
    return true;
}

bool RenderRequestIntoPicture(RenderRequest* request, cv::Mat& picture) {
    if (picture.empty() || picture.type() != CV_8UC4) {
        return false;
    }
    QImage image(picture.data, picture.cols, picture.rows, static_cast<qsizetype>(picture.step),
                 QImage::Format_RGB32);
    QPainter painter(&image);
    // The picture starts at the target's top-left corner; drawing uses the
    // target window's coordinates.
    painter.translate(-request->m_rcTarget.left, -request->m_rcTarget.top);
    CDC dc(painter, &picture);
    request->m_pDC = &dc;
    const bool drawn = RenderImage(request, &dc);
    request->m_pDC = nullptr;
    return drawn;
}

void InvertRectOutline(CDC* dc, const RECT* rect) {
    if (!dc || !rect) {
        return;
    }
    WithInvertingPainter(dc, [rect](QPainter& painter) {
        const int height = rect->bottom - rect->top + 1;
        const int width = rect->right - rect->left + 1;
        // Every outline pixel once, corners included, so that a second call
        // restores the pixels.
        InvertArea(painter, rect->left, rect->top, 1, height);
        if (rect->right != rect->left) {
            InvertArea(painter, rect->right, rect->top, 1, height);
        }
        InvertArea(painter, rect->left + 1, rect->top, width - 2, 1);
        if (rect->bottom != rect->top) {
            InvertArea(painter, rect->left + 1, rect->bottom, width - 2, 1);
        }
    });
}

void InvertRectTopBottom(CDC* dc, const RECT* rect) {
    if (!dc || !rect) {
        return;
    }
    WithInvertingPainter(dc, [rect](QPainter& painter) {
        const int width = rect->right - rect->left + 1;
        InvertArea(painter, rect->left, rect->top, width, 1);
        if (rect->bottom != rect->top) {
            InvertArea(painter, rect->left, rect->bottom, width, 1);
        }
    });
}
