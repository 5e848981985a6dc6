#include "app/ActiveROI.h"

#include "app/FrameHooks.h"
#include "app/VelloraApp.h"

ROIRect* g_pActiveROI = nullptr;
ROIRect g_ActiveROI;
ROIRect g_EpiOverlayROI;
std::atomic<bool> g_HideROIOverlays{false};
std::atomic<bool> g_ShowProjectionBelow{false};
std::atomic<bool> g_ShowProjectionRightSide{false};

ROIRect* AllocateActiveROI() {
    static ROIRect* const allocated = g_pActiveROI ? g_pActiveROI : (g_pActiveROI = new ROIRect);
    return allocated;
}

bool SetActiveROIByName(const char* name) {
    const FrameHooks hooks = GetFrameHooks();
    ROIRect found;
    CString error;
    if (!hooks.selectROIByName || !hooks.selectROIByName(name ? name : "", &found, &error)) return false;

    ROIRect* active = AllocateActiveROI();
    if (active->left != found.left || active->top != found.top || active->right != found.right ||
        active->bottom != found.bottom) {
        *active = found;
        if (hooks.showCurrentROI) hooks.showCurrentROI();
    }
    theApp.InvalidateAllImageViews();
    return true;
}
