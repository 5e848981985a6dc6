#include "imaging/RenderOverlays.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <mutex>

#include "analysis/IntensityControl.h"
#include "analysis/ProjectionAnalysisParams.h"
#include "analysis/Rounding.h"
#include "app/VelloraApp.h"
#include "support/Profile.h"

namespace {

std::mutex g_hooksMutex;
ProjectionParamsSources g_projectionSources;
RunScreenRenderHooks g_runScreenHooks;

int32_t ReadIntSetting(const char* section, const char* key, int32_t defaultValue) {
    char text[32] = {};
    int value = 0;
    if (Tovanix::E_GetPrivateProfileString(section, key, "", text, sizeof text, g_IniPath) &&
        std::sscanf(text, "%d", &value) == 1) {
        return value;
    }
    return defaultValue;
}

double ReadDoubleSetting(const char* section, const char* key, double defaultValue) {
    char text[32] = {};
    double value = 0.0;
    if (Tovanix::E_GetPrivateProfileString(section, key, "", text, sizeof text, g_IniPath) &&
        std::sscanf(text, "%lf", &value) == 1) {
        return value;
    }
    return defaultValue;
}

// A line at an image row: its screen row, drawn strictly inside the target.
OverlayLine LineAt(const ScreenMapping& m, int32_t row) {
    OverlayLine line;
    line.y = m.SY(row);
    line.draw = m.T < line.y && line.y < m.B;
    return line;
}

}  // namespace

ScreenMapping::ScreenMapping(const RECT& target, double viewLeft, double viewRight, double viewTop,
                             double viewBottom, int imageCols, int imageRows)
    : L(target.left),
      T(target.top),
      R(target.right),
      B(target.bottom),
      x0(viewLeft),
      x1(viewRight),
      y0(viewTop),
      y1(viewBottom),
      cols(imageCols),
      rows(imageRows) {}

int32_t ScreenMapping::SX(double col) const { return RoundToInt32(X(col)); }
int32_t ScreenMapping::SY(double row) const { return RoundToInt32(Y(row)); }

ChannelMagnetOverlay ComputeChannelMagnetOverlay(const ScreenMapping& m, const int32_t lines[4]) {
    ChannelMagnetOverlay overlay;
    if (lines[2] > 0) overlay.upperMagnet = LineAt(m, lines[2]);
    if (lines[3] < m.rows) overlay.lowerMagnet = LineAt(m, lines[3]);
    if (lines[0] > 0) {
        overlay.upperChannel = LineAt(m, lines[0]);
        overlay.upperChannelPlaced = true;
    }
    if (lines[1] < m.rows) {
        overlay.lowerChannel = LineAt(m, lines[1]);
        overlay.lowerChannelPlaced = true;
    }
    return overlay;
}

SplitLineOverlay PlaceChannelAndSplitLine(const ScreenMapping& m, const int32_t lines[4],
                                          const ChannelMagnetOverlay& walls, FlowSplitValues& values) {
    if (walls.upperChannelPlaced) values.ChannelTopY = walls.upperChannel.y;
    if (walls.lowerChannelPlaced) values.ChannelBottomY = walls.lowerChannel.y;

    SplitLineOverlay split;
    const double fraction = values.FlowSplitFraction;
    const int32_t upper = lines[0];
    const int32_t lower = lines[1];
    if (values.FlowSplitLineVisible && fraction > 0.0 && fraction < 1.0 && lower < m.rows && upper > 0) {
        const double splitRow = std::trunc(lower - (static_cast<double>(lower) - upper) * fraction);
        values.FlowSplitLineY = m.SY(splitRow);
        const int32_t y = values.FlowSplitLineY + values.FlowSplitDragDeltaY;
        const auto left = static_cast<int32_t>(m.L);
        const auto right = static_cast<int32_t>(m.R);
        if (m.T < y && y < m.B) {
            split.draw = true;
            split.y = y;
            split.x0 = left + 3;
            split.x1 = right - 3;
        }
        values.FlowSplitHitRect = RECT{left, y - 4, right, y + 4};
    }
    if (values.FlowSplitChanged) {
        values.FlowSplitChanged = false;
        values.FlowSplitLineY = RoundToInt32(
            (static_cast<double>(values.ChannelBottomY) - values.ChannelTopY) * (1.0 - fraction) + values.ChannelTopY);
    }
    return split;
}

bool DetectionCrossVisible(const RECT& target, int32_t sx, int32_t sy) {
    return target.left + 3 <= sx && sx <= target.right - 3 && target.top + 3 <= sy && sy <= target.bottom + 3;
}

ZoomBox ComputeZoomBox(const RECT& target, double x0, double x1, double y0, double y1, double clickX,
                       double clickY) {
    const double width = static_cast<double>(target.right) - target.left;
    const double height = static_cast<double>(target.bottom) - target.top;
    ZoomBox box;
    box.cx = static_cast<int32_t>(std::trunc((clickX - x0) * (width - 1.0) / (x1 - x0))) + target.left;
    box.cy = static_cast<int32_t>(std::trunc((clickY - y0) * (height - 1.0) / (y1 - y0))) + target.top;
    box.left = std::max(box.cx - 8, target.left);
    box.right = std::min(box.cx + 8, target.right);
    box.top = std::max(box.cy - 8, target.top);
    box.bottom = std::min(box.cy + 8, target.bottom);
    return box;
}

RoiOutline ComputeRoiOutline(const ScreenMapping& m, const ROIRect& roi) {
    RoiOutline outline;
    outline.left = m.SX(roi.left);
    outline.right = m.SX(roi.right);
    outline.top = m.SY(roi.top);
    outline.bottom = m.SY(roi.bottom);
    outline.inside = m.L < outline.left && outline.right < m.R && m.T < outline.top && outline.bottom < m.B;
    return outline;
}

bool RoiInsideImage(const ROIRect& roi, int cols, int rows) {
    return roi.left >= 0 && roi.top >= 0 && roi.left <= roi.right && roi.top <= roi.bottom && roi.right < cols &&
           roi.bottom < rows;
}

ProjectionBelowOverlay ComputeProjectionBelow(const ScreenMapping& m, const ROIRect& roi,
                                              const std::vector<int32_t>& profile) {
    ProjectionBelowOverlay overlay;
    if (profile.empty()) return overlay;
    const auto [lowest, highest] = std::minmax_element(profile.begin(), profile.end());
    const double min = *lowest;
    const double max = *highest;
    const int32_t k = std::min((roi.bottom - roi.top + 1) / 4, 100);
    const double n = static_cast<double>(roi.right) - roi.left + 1.0;
    const double xL = m.X(roi.left);
    const double xR = m.X(roi.right);
    const double yT = m.Y(roi.bottom + 1.0);
    const double yB = m.Y(roi.bottom - 1.0 + k);

    overlay.frameLeft = RoundToInt32(xL);
    overlay.frameRight = RoundToInt32(xR);
    overlay.frameTop = RoundToInt32(yT) + 1;
    overlay.frameBottom = RoundToInt32(yB) + 1;
    overlay.frameInside = m.L < overlay.frameLeft && overlay.frameRight < m.R && m.T < overlay.frameTop &&
                          overlay.frameBottom < m.B;
    overlay.points.reserve(profile.size());
    for (size_t i = 0; i < profile.size(); ++i) {
        const double x = static_cast<double>(i) / n * (xR - xL) + xL;
        const double y = (1.0 - (profile[i] - min) / (max - min + 1.0)) * (yB - yT) + yT;
        overlay.points.emplace_back(RoundToInt32(x), RoundToInt32(y));
    }
    return overlay;
}

void SetProjectionParamsSources(ProjectionParamsSources sources) {
    std::lock_guard<std::mutex> lock(g_hooksMutex);
    g_projectionSources = std::move(sources);
}

ProjectionParamsSources GetProjectionParamsSources() {
    std::lock_guard<std::mutex> lock(g_hooksMutex);
    return g_projectionSources;
}

void ChooseRightSideProjectionParams(const ROIRect& roi, ProjectionAnalysisParams& params) {
    const ProjectionParamsSources sources = GetProjectionParamsSources();
    ProjectionAnalysisParams chosen;
    if (!(sources.parameterEditor && sources.parameterEditor(chosen))) {
        chosen = ProjectionAnalysisParams();
        if (!(sources.fractionationTool && sources.fractionationTool(chosen))) {
            chosen = ProjectionAnalysisParams();
            chosen.LoadFromFile(g_IniPath.GetString());
        }
    }
    params.smoothingWindowMicrons = chosen.smoothingWindowMicrons;
    params.numPeaksToFind = chosen.numPeaksToFind;
    params.findValleys = chosen.findValleys;
    params.stdevIntegrationArea = chosen.stdevIntegrationArea;
    params.integrationSamples = chosen.integrationSamples;
    params.image_pixels_per_mm = ReadDoubleSetting("CalibrationSettings", "image_pixels_per_mm", 1000.0);
    params.upperChannel = ReadIntSetting("Cartridge", "CartridgeUpperChannel", 0);
    params.lowerChannel = ReadIntSetting("Cartridge", "CartridgeLowerChannel", 0);
    params.left = roi.left;
    params.top = roi.top;
    params.right = roi.right;
    params.bottom = roi.bottom;
}

bool MeasureBrightnessWindow(const cv::Mat& image, const MfgTestBrightnessTarget& target, int32_t& median) {
    if (target.sz <= 0 || image.empty() || image.type() != CV_16UC1) return false;
    const int32_t half = target.sz / 2;
    const int64_t left = static_cast<int64_t>(target.ix) - half;
    const int64_t top = static_cast<int64_t>(target.iy) - half;
    const int64_t right = static_cast<int64_t>(target.ix) + half;
    const int64_t bottom = static_cast<int64_t>(target.iy) + half;
    if (left < 0 || top < 0 || right >= image.cols || bottom >= image.rows) return false;
    std::vector<uint16_t> values;
    values.reserve(static_cast<size_t>((right - left + 1) * (bottom - top + 1)));
    for (int64_t r = top; r <= bottom; ++r) {
        const uint16_t* row = image.ptr<uint16_t>(static_cast<int>(r));
        values.insert(values.end(), row + left, row + right + 1);
    }
    // sz*sz/2 of an odd size is the middle; an even size has one row and
    // column more than sz, so the same index is taken of what is there.
    const size_t index = std::min(static_cast<size_t>(target.sz) * static_cast<size_t>(target.sz) / 2,
                                  values.size() - 1);
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(index), values.end());
    median = values[index];
    return true;
}

OverlayColour BrightnessTextColour(int32_t median, int32_t low, int32_t high) {
    int over = 0;
    if (median >= high) {
        // At the top of the 16-bit range there is no room above the band:
        // a median that reaches it is as far over as it can be.
        over = high >= 65535 ? 127 : RoundToInt32((static_cast<double>(median) - high) / (65535.0 - high) * 127.0);
    }
    int under = 0;
    if (median <= low && low > 0) under = RoundToInt32((static_cast<double>(low) - median) * 127.0 / low);
    const int green = std::max(0, 127 - 3 * (over + under));
    return OverlayColour{128 + over, 128 + green, 128 + under};
}

void SetRunScreenRenderHooks(RunScreenRenderHooks hooks) {
    std::lock_guard<std::mutex> lock(g_hooksMutex);
    g_runScreenHooks = std::move(hooks);
}

RunScreenRenderHooks GetRunScreenRenderHooks() {
    std::lock_guard<std::mutex> lock(g_hooksMutex);
    return g_runScreenHooks;
}

RECT HistogramRepaintArea(const Tovanix::ControlRect& control) {
    int32_t h = (control.bottom - control.top) / 2;
    if (h % 2 != 0) h += 1;
    return RECT{control.left - h / 2, control.top, control.right + h / 2, control.bottom + h + 1};
}

float ComputeFloatPercentile(std::vector<float> values, float fraction) {
    if (values.empty()) return 0.0f;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    const float position = static_cast<float>(n - 1) * fraction;
    size_t i = position > 0.0f ? static_cast<size_t>(position) : 0;
    if (i > n - 1) i = n - 1;
    const size_t j = std::min(i + 1, n - 1);
    return values[i] + (values[j] - values[i]) * (position - static_cast<float>(i));
}

bool ComputeRowMedianProfile(const cv::Mat& image, const ROIRect& roi, std::vector<int32_t>& profile) {
    if (roi.bottom < roi.top) return true;
    const size_t count = static_cast<size_t>(static_cast<int64_t>(roi.bottom) - roi.top + 1);
    if (profile.size() < count) profile.resize(count);
    const bool usable = !image.empty() && image.type() == CV_16UC1;
    const int firstColumn = std::max(roi.left, 0);
    const int lastColumn = usable ? std::min(roi.right, image.cols - 1) : -1;
    std::vector<float> values;
    for (int64_t r = roi.top; r <= roi.bottom; ++r) {
        const size_t entry = static_cast<size_t>(r - roi.top);
        if (!usable || r < 0 || r >= image.rows || firstColumn > lastColumn) {
            profile[entry] = 0;
            continue;
        }
        const uint16_t* row = image.ptr<uint16_t>(static_cast<int>(r));
        values.assign(row + firstColumn, row + lastColumn + 1);
        profile[entry] = RoundToInt32(ComputeFloatPercentile(std::move(values), 0.5f));
        values.clear();
    }
    return true;
}
