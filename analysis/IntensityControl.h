#pragma once

// The histogram-and-range control: a framed strip with the intensity
// histogram of an image as bars on a logarithmic intensity axis, and two
// triangular markers under the strip for the lower and upper intensities of a
// display range, which the operator drags with the mouse.
//
// It is not a window: its owner places it (m_rect), forwards painting and
// mouse events to it and reads the markers back. Histogram updates may come
// from another thread than the painting; m_access_semaphore guards the
// histogram and the bars. Everything else belongs to the owner's
// user-interface thread.

#include <atomic>
#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

#include "platform/CString.h"
#include "platform/Sync.h"

namespace Tovanix {

// Rectangles in the owner's client coordinates. Filled rectangles leave out
// their right column and bottom row, as the window system's do.
struct ControlRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    bool operator==(const ControlRect&) const = default;
};

struct ControlPoint {
    int32_t x = 0;
    int32_t y = 0;
    bool operator==(const ControlPoint&) const = default;
};

struct ControlColour {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
};

// What the control draws with; the owner's window supplies one.
class IntensityCanvas {
public:
    virtual ~IntensityCanvas() = default;
    // Lines through the points in order, with a solid pen.
    virtual void DrawPolyline(const std::vector<ControlPoint>& points, ControlColour colour, int penWidth) = 0;
    // A rectangle outlined with a one-pixel pen and filled, both in `colour`.
    virtual void DrawFilledRect(const ControlRect& rect, ControlColour colour) = 0;
    // A polygon outlined with a solid pen of `penWidth` and filled, both in `colour`.
    virtual void DrawFilledPolygon(const std::vector<ControlPoint>& points, ControlColour colour, int penWidth) = 0;
};

class IntensityControl {
public:
    IntensityControl();

    bool SetHistogramFromValues(const uint16_t* values, int count, CString& errorText);
    bool SetHistogramFromImage(const cv::Mat& image, CString& errorText);
    bool SetLowerAndUpperIntensities(uint16_t lower, uint16_t upper, CString& errorText);

    bool Draw(IntensityCanvas& dc, CString& errorText);
    bool DrawBars(IntensityCanvas& dc, CString& errorText);
    bool DrawMarkers(IntensityCanvas& dc);

    int IntensityToX(uint16_t intensity) const;
    uint16_t XToIntensity(int x) const;

    // 1 when a marker was hit (its drag begins), else 0.
    int OnButtonDown(ControlPoint point);
    // 1 when the lower, 2 when the upper intensity changed, else 0.
    int OnMouseMove(ControlPoint point);

    bool m_hidden = false;
    platform::Semaphore m_access_semaphore{1, 1};
    ControlRect m_rect;
    ControlRect m_tracking_rect;
    ControlRect m_lower_marker_rect;
    ControlRect m_upper_marker_rect;
    ControlColour m_frame_colour{192, 192, 192};
    ControlColour m_bar_colour{255, 100, 100};
    ControlColour m_marker_colour{255, 255, 100};
    int m_margin = 1;
    int m_bar_width = 4;
    int m_marker_pen_width = 1;
    std::vector<uint16_t> m_bars;
    uint16_t m_min_intensity = 0;
    uint16_t m_max_intensity = 65535;
    uint16_t m_lower_intensity = 0;
    uint16_t m_upper_intensity = 65535;
    std::vector<int32_t> m_histogram;
    bool m_dragging_lower = false;
    bool m_dragging_upper = false;

private:
    // Whether m_histogram holds counts, readable without the semaphore so
    // that painting needs the semaphore only for the bars.
    std::atomic<bool> m_has_histogram{false};

    // Counts the values the callback hands over into m_histogram and builds
    // the bars; the caller holds the semaphore.
    template <typename ForEachValue>
    void BuildHistogram(ForEachValue forEachValue);
    // The marker triangle's height h and half-width w.
    void MarkerSize(int& h, int& w) const;
    // log2 of the axis span.
    double AxisLog() const;
};

}  // namespace Tovanix
