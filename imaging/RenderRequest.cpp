#include "imaging/RenderRequest.h"

#include <opencv2/core.hpp>

#include "imaging/ImageDoc.h"
#include "imaging/ImageView.h"

RenderRequest::RenderRequest() = default;

RenderRequest::RenderRequest(CImageView& view) {
    CImageDoc* document = view.GetDocument();
    // A second header: the pixels stay shared with the document and alive
    // while the request holds them, even when the document replaces its image.
    m_pImage = document && document->m_pImage ? new cv::Mat(*document->m_pImage) : new cv::Mat;
    if (ImageViewWindow* window = view.GetWindow()) {
        m_hWnd = window->GetRenderTarget();
        m_rcTarget = window->GetClientRect();
    }
    m_bResample = view.m_bRedraw;
    m_dViewLeft = view.m_dViewLeft;
    m_dViewRight = view.m_dViewRight;
    m_dViewTop = view.m_dViewTop;
    m_dViewBottom = view.m_dViewBottom;
    m_nDisplayMin = view.m_nDisplayMin;
    m_nDisplayMax = view.m_nDisplayMax;
    m_Detections1 = view.m_Detections1;
    m_Detections2 = view.m_Detections2;
    m_EpiDetections = view.m_EpiDetections;
    m_dLastClickX = g_LastClickX;
    m_dLastClickY = g_LastClickY;
    if (view.m_pOverlayCodes) {
        m_pOverlayCodes = new cv::Mat(view.m_pOverlayCodes->clone());
    }
    if (document) {
        m_strImagePath = document->GetPathName();
        if (document->m_bPreview && g_MfgTestBrightnessActive) {
            m_pBrightnessTarget = new MfgTestBrightnessTarget(g_MfgTestBrightnessTarget);
        }
    }
}

RenderRequest::~RenderRequest() {
    delete m_pImage;
    delete m_pOverlayCodes;
    delete m_pDisplayGrid;
    delete m_pOverlayGrid;
    delete m_pBackground;
    delete m_pBrightnessTarget;
}
