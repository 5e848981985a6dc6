#pragma once

// The view of an image document: what the user has chosen for showing one
// image (visible part, display window, detections and overlay codes of the
// analysis tools) and the drawing that turns every paint into a render
// request for the render thread. The view never draws pixels itself.
//
// This is the window-free half of the image view; its window (imaging/ui)
// implements ImageViewWindow and calls OnDraw when it is asked to paint.
// Everything here runs on the user-interface thread, except Invalidate,
// which any thread may call.

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "analysis/CellDetection.h"
#include "imaging/RenderRequest.h"
#include "platform/CString.h"
#include "platform/Rect.h"

namespace cv {
class Mat;
}
class CImageDoc;

// What the view needs of its window.
class ImageViewWindow {
public:
    virtual ~ImageViewWindow() = default;
    // Client rectangle: left = top = 0, right and bottom the client size.
    virtual RECT GetClientRect() const = 0;
    // The window's handle in the render target registry.
    virtual HWND GetRenderTarget() const = 0;
    // Queues a repaint; safe from any thread.
    virtual void Invalidate() = 0;
    // Scroll bar positions, 0..1000.
    virtual void SetScrollPositions(int horizontal, int vertical) = 0;
    // The document's title changed.
    virtual void TitleChanged() = 0;
    // Starts a one-shot timer that calls CImageView::OnTimer(id) after
    // `milliseconds` on the user-interface thread. A window without timers
    // ignores it.
    virtual void StartOneShotTimer(int id, int milliseconds) {
        (void)id;
        (void)milliseconds;
    }
    // Shows or ends the wait cursor over the window.
    virtual void ShowWaitCursor(bool on) { (void)on; }

    // Adds or removes both scroll bars (and redoes the layout).
    virtual void ShowScrollBars(bool shown) { (void)shown; }
    // The pointer over the view.
    enum class Cursor { Arrow, Hand, LowerLine, UpperLine };
    virtual void SetViewCursor(Cursor cursor) { (void)cursor; }
    // The rubber band (CImageView::m_rcDrag) changed: the window shows it
    // over the picture, as an outline or, while measuring, as two lines
    // across the whole width.
    virtual void RubberBandChanged() {}

    // The dialogs the view opens. A window without dialogs answers as if
    // the user had cancelled.
    // Save As: the chosen path; false when cancelled.
    virtual bool AskSaveAsPath(CString& path) {
        (void)path;
        return false;
    }
    // Scale Intensities on this view's display window; true with the new
    // window on OK.
    virtual bool RunScaleIntensitiesDialog(uint16_t& maximum, uint16_t& minimum) {
        (void)maximum;
        (void)minimum;
        return false;
    }
    // The pixel-size calibration for a measured height in image rows.
    virtual void RunPixelsPerMMDialog(double heightPixels) { (void)heightPixels; }
    // Choose ROI by name.
    virtual void RunChooseROIDialog() {}
    // Creates or shows the Adjust Boundaries window and attaches it to this view.
    virtual void ShowAdjustBoundariesDialog() {}
    // A path saved to goes to the recent-file list.
    virtual void AddToRecentFileList(const char* path) { (void)path; }
};

// The view's commands: ids of the menus and the context menu.
namespace viewcmd {
constexpr int ScaleIntensities = 32773;
constexpr int AutoScaleIntensities = 32779;
constexpr int ZoomIn = 32780;
constexpr int ZoomOut = 32781;
constexpr int FullScale = 32785;
constexpr int PixelReadout = 32786;
constexpr int SaveAs = 57604;
constexpr int SaveImageToExperiment = 32790;
constexpr int SaveReferenceImage = 32837;
constexpr int ChannelAndMagnetPositions = 32839;
constexpr int HideROI = 32864;
constexpr int ShowROI = 32866;
constexpr int EditActiveROI = 32819;
constexpr int ChooseDefaultROI = 32874;
constexpr int ChooseROIByName = 32863;
constexpr int PlaceUpperMagnet = 32820;
constexpr int PlaceLowerMagnet = 32821;
constexpr int PlaceUpperChannel = 32826;
constexpr int PlaceLowerChannel = 32827;
constexpr int DefinePixelsPerMM = 32825;
constexpr int AdjustBoundaries = 32828;
constexpr int DrawProjectionBelow = 32831;
constexpr int DrawProjectionRight = 32832;
constexpr int FlattenRows = 32856;
}  // namespace viewcmd

// One entry of the view's context menu; id 0 is a separator.
struct ViewMenuEntry {
    int id = 0;
    const char* text = "";
    bool checked = false;
};

// Scroll bar actions.
enum class ScrollCode { LineUp, LineDown, PageUp, PageDown, ThumbPosition, Other };

// The message the Scale Intensities dialog sends its view (WM_USER) and
// its two kinds: a new maximum or a new minimum in lParam.
constexpr unsigned kViewUserMessage = 1024;
constexpr uintptr_t kSetDisplayMax = 32774;
constexpr uintptr_t kSetDisplayMin = 32775;

class CImageView {
public:
    // Reads the display window from the main settings file and adds the view
    // to the document.
    CImageView(CImageDoc* document, ImageViewWindow* window);
    ~CImageView();
    CImageView(const CImageView&) = delete;
    CImageView& operator=(const CImageView&) = delete;

    CImageDoc* GetDocument() const { return m_pDocument; }
    ImageViewWindow* GetWindow() const { return m_pWindow; }

    // The paint entry: queues a render request for the document's image.
    void OnDraw();
    // Replaces the circular counting detections. Nothing is redrawn here.
    void SetCellDetections(std::vector<CellDetection> type1, std::vector<CellDetection> type2);
    void Invalidate();

    // "Channel and Magnet Positions": finds the four calibration lines in the
    // document's image, shows them at once, and a second later (timer 1001)
    // asks whether to keep them. A failed search tells the user why and
    // leaves the lines as they were.
    void OnChannelAndMagnetPositions();
    // The view's timers; 1001 asks whether to keep the searched lines:
    // Yes stores them as calibration, No reads the stored ones back.
    void OnTimer(int id);
    static constexpr int kKeepLinesTimer = 1001;

    // Commands of the table above; false for an id the view does not know.
    bool OnCommand(int id);
    void OnScaleIntensities();
    void OnAutoScaleIntensities();
    void OnZoomIn();
    void OnZoomOut();
    void OnFullScale();
    void OnFileSaveAs();
    void OnSaveImageToExperiment();
    void OnSaveReferenceImage();
    void OnAdjustBoundaries();
    // Row flattening of the image inside the active region: each row is
    // scaled so that its 99th-percentile intensity comes to the median of
    // those intensities. Without an active region, an image or the image
    // lock nothing changes. True when the image was flattened (and the view
    // asked to repaint).
    bool OnFlattenRows();
    // The context menu for the current overlay switches and named regions.
    std::vector<ViewMenuEntry> BuildContextMenu() const;

    // Mouse in client coordinates; `leftHeld` tells whether the left button
    // is down during a move.
    void OnLButtonDown(int x, int y);
    void OnMouseMove(int x, int y, bool leftHeld);
    void OnLButtonUp(int x, int y);
    void OnScroll(bool horizontal, ScrollCode code, int position);
    // The window is shown: scroll bars and the active region.
    void OnShowWindow();
    // WM_USER with kSetDisplayMax or kSetDisplayMin: the display window
    // takes the low 16 bits of lParam; true when consumed.
    bool PreTranslateMessage(unsigned message, uintptr_t wParam, intptr_t lParam);
    // "pix[x,y]=value" at the last click; false when there is nothing to show.
    bool GetPixelReadout(CString& text) const;
    // Keeps image pixels square when [ExperimentSettings] LockAspectRatio is TRUE.
    void ApplyAspectRatioLock();
    // Writes the image to a file (format by its extension); false with
    // "Problem saving image to file: <path>" when the image lock is not had
    // in time or the write fails.
    bool SaveImageAs(const char* path, CString& error, uint32_t lockWaitMs = 10000);

    // Image fractions of a client point.
    double ClientToFractionX(double x) const;
    double ClientToFractionY(double y) const;

    bool m_bRedraw = true;
    bool m_bResized = true;
    double m_dViewLeft = 0.0;
    double m_dViewRight = 1.0;
    double m_dViewTop = 0.0;
    double m_dViewBottom = 1.0;
    uint16_t m_nDisplayMin = 0;
    uint16_t m_nDisplayMax = 40000;
    std::vector<CellDetection> m_Detections1;
    std::vector<CellDetection> m_Detections2;
    std::vector<CellDetection> m_EpiDetections;
    cv::Mat* m_pOverlayCodes = nullptr;  // owned, or null
    RECT m_rcDrag;
    bool m_bEditROI = false;
    int32_t m_ptEditROIAnchor[2] = {-1, -1};
    bool m_bMeasurePixelsPerMM = false;
    int32_t m_ptMeasureAnchor[2] = {-1, -1};
    bool m_bPlaceLowerMagnet = false;
    bool m_bPlaceUpperMagnet = false;
    bool m_bPlaceLowerChannel = false;
    bool m_bPlaceUpperChannel = false;

private:
    void EnterDragMode(bool editROI);
    void EnterLineMode(bool* mode);
    void ClearModes();
    int ImageRows() const;
    int ImageColumns() const;

    CImageDoc* m_pDocument;
    ImageViewWindow* m_pWindow;
    ImageViewWindow::Cursor m_cursor = ImageViewWindow::Cursor::Arrow;
};

// The visible part after zooming in or out around a click (fractions), and
// after a scroll action; the pure arithmetic of the commands above.
struct VisibleRange {
    double nearEdge = 0.0;
    double farEdge = 1.0;
};
VisibleRange ZoomInRange(VisibleRange range, double click);
VisibleRange ZoomOutRange(VisibleRange range, double click);
// Unchanged when the action does nothing.
VisibleRange ScrollRange(VisibleRange range, ScrollCode code, int position);

// The high fraction of auto scaling for an image file name (no path), or for
// the live preview's image-type text when `isPreview`: 0.95 for BRIGHTFIELD
// or no type, 1.0 otherwise.
double AutoScaleHighFraction(const char* name, bool isPreview);

// Stores a placed calibration line: in the projection analysis tool when its
// window is visible, else in the fractionation analysis window when that is
// visible; nowhere when either window exists but neither is visible;
// otherwise as [CalibrationSettings] key = row in the main settings file.
bool SetCalibrationLine(const char* key, int row);

// Fills the active region with the wide channel band of the drawn
// experiment's settings and shows it in the ROI manager. False when no ROI
// manager shows it.
bool UpdateDefaultROI();

// What the view tells the analysis tools; each set by the tool's window when
// it exists, empty otherwise.
struct ROIRect;
struct ImageViewToolHooks {
    // The folder tools that keep placed lines in their image folder's
    // settings file, asked in this order; each is set while its window
    // exists and answers true, with *stored its result, when its window is
    // visible and took the line.
    using StoreCalibrationValue = std::function<bool(const char* key, int row, bool* stored)>;
    StoreCalibrationValue projectionToolStore;
    StoreCalibrationValue fractionationToolStore;
    // A magnet line was placed (lower or upper).
    std::function<void(bool lower)> magnetLinePlaced;
    // The active region was dragged anew.
    std::function<void(const ROIRect& roi)> activeROIDragged;
};
void SetImageViewToolHooks(ImageViewToolHooks hooks);
ImageViewToolHooks GetImageViewToolHooks();

// Reads the display window of a new view from [ScaleIntensitiesDlg] of the
// main settings file: MaxIntensity (40000 when missing) and MinIntensity (0),
// each kept in 16 bits; equal values give 0..40000.
void ReadDisplayWindowSetting(uint16_t& displayMin, uint16_t& displayMax);

// The scroll bar position (0..1000) of a visible part start..end of 0..1.
int ScrollPositionOfVisiblePart(double start, double end);

// The image rows drawn on every view: upper channel wall, lower channel
// wall, upper magnet, lower magnet (-1 until loaded).
extern std::atomic<int32_t> g_ChannelMagnetLines[4];
// The settings file whose rows g_ChannelMagnetLines hold; every new view
// empties it.
extern CString g_LastDrawnIniPath;
// The last plain left click in any image view, as fractions of the image.
extern double g_LastClickX;
extern double g_LastClickY;

// The text of the main window's image-type box, for the live preview's
// background choice. Installed by the main window; empty until then.
void SetImageTypeTextSource(std::function<CString()> source);
CString GetImageTypeText();
