#pragma once

// One queued drawing of an image: everything the render thread needs to draw
// an image view, copied when the view paints, so that the user-interface
// thread never waits for the drawing.
//
// The request shares the document's pixels (a second matrix header), so
// building it copies no pixels; the overlay codes and detection lists are
// copied.

#include <cstdint>
#include <vector>

#include "analysis/CellDetection.h"
#include "imaging/MfgTestOverlay.h"
#include "platform/CString.h"
#include "platform/Rect.h"

namespace cv {
class Mat;
}
class CImageView;
class CDC;

// A render target's window: a handle the render target registry gives out
// and never reuses; 0 is no window.
using HWND = uintptr_t;

struct RenderRequest {
    // Fills the request from the view and its document; the caller holds
    // g_MatAccessLock when the document's image may change meanwhile.
    explicit RenderRequest(CImageView& view);
    // An empty request (no image), for the render list's own use and tests.
    RenderRequest();
    ~RenderRequest();
    RenderRequest(const RenderRequest&) = delete;
    RenderRequest& operator=(const RenderRequest&) = delete;

    cv::Mat* m_pImage = nullptr;         // shares the document's pixels
    cv::Mat* m_pOverlayCodes = nullptr;  // owned copy of the view's codes, or null
    RECT m_rcTarget;                     // target rectangle, client coordinates
    bool m_bResample = false;
    std::vector<uint16_t>* m_pDisplayGrid = nullptr;  // owned, made by the renderer
    std::vector<uint8_t>* m_pOverlayGrid = nullptr;   // owned, made by the renderer
    double m_dViewLeft = 0.0;
    double m_dViewRight = 1.0;
    double m_dViewTop = 0.0;
    double m_dViewBottom = 1.0;
    double m_dLastClickX = 0.0;
    double m_dLastClickY = 0.0;
    uint16_t m_nDisplayMin = 0;
    uint16_t m_nDisplayMax = 0;
    std::vector<CellDetection> m_Detections1;
    std::vector<CellDetection> m_Detections2;
    std::vector<CellDetection> m_EpiDetections;
    CString m_strImagePath;  // key of the render list; empty for the live preview
    HWND m_hWnd = 0;
    int32_t m_nBackgroundIndex = 0;    // 1..4: the application's background image of that type
    cv::Mat* m_pBackground = nullptr;  // owned, or null
    bool m_bSaveReference = false;
    bool m_bCloseDocument = false;
    // Owned copy of the manufacturing-test brightness target, for the live
    // preview while a measurement runs; null otherwise.
    MfgTestBrightnessTarget* m_pBrightnessTarget = nullptr;
    CDC* m_pDC = nullptr;  // the drawing context while the renderer draws this request
};
