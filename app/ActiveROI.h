#pragma once

// The active region of interest that the image views draw and the ROI
// manager, the tools, the scripts and the row flattening read.

#include <atomic>
#include <cstdint>

// Four inclusive pixel coordinates.
struct ROIRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

// Null until first needed; then allocated once and kept to the end.
extern ROIRect* g_pActiveROI;

// Two preview regions the image views draw: the one the ROI dialogs and the
// counting tool show, and the epifluorescence tool's overlay. A record whose
// left equals its right is empty.
extern ROIRect g_ActiveROI;
extern ROIRect g_EpiOverlayROI;

// Overlay switches of the image views, set by the view's context menu and
// the scripts: hide every region, draw the column profile below the active
// region, draw the row projection right of it.
extern std::atomic<bool> g_HideROIOverlays;
extern std::atomic<bool> g_ShowProjectionBelow;
extern std::atomic<bool> g_ShowProjectionRightSide;

// Allocates the active region on first use (any thread) and returns it.
ROIRect* AllocateActiveROI();

// Makes the named region of the main settings file the active one (through
// the ROI manager), refreshes the ROI manager when the region changed, and
// redraws every image view. False, with the active region unchanged, when
// the name is not found.
bool SetActiveROIByName(const char* name);
