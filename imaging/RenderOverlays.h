#pragma once

// The geometry and the values behind the overlays the renderer draws over
// an image: where image rows and columns fall on the screen, the channel and
// magnet lines with the flow-split line between the walls, detection
// crosses, the zoom box, regions of interest with the profile drawn below
// them, the choice of the projection parameters, the manufacturing-test
// brightness window, and the row median profile of the channel and magnet
// line search. Nothing here draws: imaging/ui draws what these functions
// compute, so every rule is testable without a window.
//
// Screen positions are rounded half away from zero unless a function says
// otherwise.

#include <cstdint>
#include <functional>
#include <vector>

#include <opencv2/core.hpp>

#include "app/ActiveROI.h"
#include "app/FlowSplit.h"
#include "imaging/MfgTestOverlay.h"
#include "platform/Rect.h"

struct ProjectionAnalysisParams;
namespace Tovanix {
class IntensityControl;
struct ControlRect;
}  // namespace Tovanix

// Image columns and rows mapped onto a target rectangle (L, T, R, B) that
// shows the visible part x0..x1, y0..y1 (fractions of the image).
struct ScreenMapping {
    double L = 0, T = 0, R = 0, B = 0;
    double x0 = 0, x1 = 1, y0 = 0, y1 = 1;
    int cols = 1;
    int rows = 1;

    ScreenMapping() = default;
    ScreenMapping(const RECT& target, double x0, double x1, double y0, double y1, int cols, int rows);
    double X(double col) const { return (R - L) * (col / cols - x0) / (x1 - x0) + L; }
    double Y(double row) const { return (B - T) * (row / rows - y0) / (y1 - y0) + T; }
    int32_t SX(double col) const;
    int32_t SY(double row) const;
};

// --- Channel and magnet lines, flow split -----------------------------------

// One horizontal line across the target.
struct OverlayLine {
    bool draw = false;
    int32_t y = 0;
};

struct ChannelMagnetOverlay {
    OverlayLine upperMagnet, lowerMagnet, upperChannel, lowerChannel;
    // The walls' screen rows, stored even when the line is off the target;
    // false leaves the shared row as it was.
    bool upperChannelPlaced = false;
    bool lowerChannelPlaced = false;
};

// lines: upper channel wall, lower channel wall, upper magnet, lower magnet
// (image rows). A line exists when its row lies inside the image (an upper
// row above 0, a lower row below the image height) and is drawn only
// strictly between the target's top and bottom.
ChannelMagnetOverlay ComputeChannelMagnetOverlay(const ScreenMapping& m, const int32_t lines[4]);

// The split line as drawn: from (x0, y) to (x1, y).
struct SplitLineOverlay {
    bool draw = false;
    int32_t y = 0;
    int32_t x0 = 0;
    int32_t x1 = 0;
};

// Places the channel walls (from `lines`) and the flow-split line into the
// shared values: the wall rows, the line's row, its hit band, and the row
// recomputed from the fraction after a change from outside.
SplitLineOverlay PlaceChannelAndSplitLine(const ScreenMapping& m, const int32_t lines[4],
                                          const ChannelMagnetOverlay& walls, FlowSplitValues& values);

// --- Detections and zoom centre ---------------------------------------------

// A cross is drawn for a detection whose screen point lies at least 3 pixels
// inside the target's left, right and top edges; below, up to 3 pixels past
// the bottom edge still counts.
bool DetectionCrossVisible(const RECT& target, int32_t sx, int32_t sy);

// The zoom centre (from the last click, truncated) and its box clipped to the
// target.
struct ZoomBox {
    int32_t cx = 0, cy = 0;
    int32_t left = 0, top = 0, right = 0, bottom = 0;
};
ZoomBox ComputeZoomBox(const RECT& target, double x0, double x1, double y0, double y1, double clickX,
                       double clickY);

// --- Regions of interest ----------------------------------------------------

// The closed outline of a region (five points), and whether all four edges lie
// strictly inside the target (only then is it drawn).
struct RoiOutline {
    bool inside = false;
    int32_t left = 0, top = 0, right = 0, bottom = 0;
};
RoiOutline ComputeRoiOutline(const ScreenMapping& m, const ROIRect& roi);
// An empty preview record (left equal to right) is not drawn.
inline bool RoiRecordEmpty(const ROIRect& roi) { return roi.left == roi.right; }
// The region lies inside the image with its edges in order.
bool RoiInsideImage(const ROIRect& roi, int cols, int rows);

// The column profile drawn below a region: its frame (drawn only when inside
// the target) and one point per profile entry.
struct ProjectionBelowOverlay {
    bool frameInside = false;
    int32_t frameLeft = 0, frameTop = 0, frameRight = 0, frameBottom = 0;
    std::vector<cv::Point> points;
};
ProjectionBelowOverlay ComputeProjectionBelow(const ScreenMapping& m, const ROIRect& roi,
                                              const std::vector<int32_t>& profile);

// Where the projection right of the region takes its analysis values from:
// the projection parameter editor's controls while its window is visible,
// else the fractionation tool's set while that tool is visible (each false
// when the window is not visible or its values do not read). Installed by
// the tools while their windows exist.
struct ProjectionParamsSources {
    std::function<bool(ProjectionAnalysisParams&)> parameterEditor;
    std::function<bool(ProjectionAnalysisParams&)> fractionationTool;
};
void SetProjectionParamsSources(ProjectionParamsSources sources);
ProjectionParamsSources GetProjectionParamsSources();

// The parameters of the projection right of the region: the scale and the
// channel rows of the main settings file, the region given, and the five
// analysis values from the first source that answers (the main settings
// file's [RightSideProjection] when no tool does).
void ChooseRightSideProjectionParams(const ROIRect& roi, ProjectionAnalysisParams& params);

// --- Manufacturing-test brightness window -----------------------------------

// The median (the element at sz*sz/2 in ascending order) of the sz x sz
// window centred on (ix, iy). False when the size is not positive or the
// window does not lie inside a 16-bit image.
bool MeasureBrightnessWindow(const cv::Mat& image, const MfgTestBrightnessTarget& target, int32_t& median);

struct OverlayColour {
    int red = 0, green = 0, blue = 0;
    bool operator==(const OverlayColour&) const = default;
};
// The colour of the measured value: green within the band, turning red as the
// median rises above it and blue as it falls below it.
OverlayColour BrightnessTextColour(int32_t median, int32_t low, int32_t high);

// --- Run screen -------------------------------------------------------------

// What the renderer needs of the customer run screen; installed by the run
// screen. With nothing installed, the run screen does not exist.
struct RunScreenRenderHooks {
    // The run screen's window exists and is visible.
    std::function<bool()> isVisible;
    // The intensity control of the image type checked on the screen (radio
    // 1355 the second control, 1356 the third, otherwise the first); the
    // renderer hands it the sampled values and takes its markers as the
    // display window.
    std::function<Tovanix::IntensityControl*()> activeIntensityControl;
    // Invalidates (with erase) an area of the run screen.
    std::function<void(const RECT&)> invalidate;
    // CustomerUI::UpdateFlowSplitText, called after every drawing while the
    // run screen's window exists.
    std::function<void(bool redraw)> updateFlowSplitText;
    // While the run screen shows its live video screen: the window every
    // render request is drawn into instead of its own view, the video panel
    // and the part of the image shown there (left, right, top, bottom as
    // fractions). False while requests go to their own views.
    std::function<bool(uintptr_t* window, RECT* panel, double zoom[4])> videoTarget;
};
void SetRunScreenRenderHooks(RunScreenRenderHooks hooks);
RunScreenRenderHooks GetRunScreenRenderHooks();

// The run screen's area to repaint after its histogram changed: the
// control's rectangle with h = half its height rounded up to even, widened by
// h / 2 on both sides and lengthened downwards by h + 1.
RECT HistogramRepaintArea(const Tovanix::ControlRect& control);

// --- Row profile ------------------------------------------------------------

// The value at `fraction` of the sorted values, interpolated linearly
// between neighbours. At least one value is required (0 for none).
float ComputeFloatPercentile(std::vector<float> values, float fraction);

// Entry i = the median of row roi.top + i over columns roi.left..roi.right,
// rounded. The profile grows to the region's height when shorter. Always
// true; rows and columns outside a 16-bit image give 0.
bool ComputeRowMedianProfile(const cv::Mat& image, const ROIRect& roi, std::vector<int32_t>& profile);
