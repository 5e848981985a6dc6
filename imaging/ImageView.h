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
};

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
    CImageDoc* m_pDocument;
    ImageViewWindow* m_pWindow;
};

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
