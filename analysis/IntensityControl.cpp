#include "analysis/IntensityControl.h"

#include <algorithm>
#include <cmath>

namespace Tovanix {

namespace {

// The wait result reported when the semaphore was not obtained in time.
constexpr unsigned long kWaitTimeout = 258;

bool Contains(const ControlRect& rect, ControlPoint point) {
    return point.x >= rect.left && point.x <= rect.right && point.y >= rect.top && point.y <= rect.bottom;
}

void SetWaitError(CString& errorText, const char* operation) {
    errorText.Format("%s() failed waiting for m_access_semaphore: %lu", operation, kWaitTimeout);
}

}  // namespace

IntensityControl::IntensityControl() = default;

double IntensityControl::AxisLog() const {
    return std::log2(static_cast<double>(m_max_intensity) - m_min_intensity + 1.0);
}

void IntensityControl::MarkerSize(int& h, int& w) const {
    h = (m_rect.bottom - m_rect.top) / 2;
    if (h % 2 != 0) {
        ++h;
    }
    w = h / 2;
}

template <typename ForEachValue>
void IntensityControl::BuildHistogram(ForEachValue forEachValue) {
    // One counter per intensity from the axis minimum; values past the last
    // counter are not counted.
    const int counters = std::max(static_cast<int>(m_max_intensity) - m_min_intensity, 0);
    m_histogram.assign(static_cast<size_t>(counters), 0);
    const int minimum = m_min_intensity;
    forEachValue([&](uint16_t v) {
        const int index = static_cast<int>(v) - minimum;
        if (index >= 0 && index < counters) {
            ++m_histogram[index];
        }
    });

    // Log-spaced bins; neighbouring bins share their boundary counter.
    const int bins = std::max((m_rect.right - m_rect.left - 2 * m_margin) / std::max(m_bar_width, 1), 1);
    const double step = AxisLog() / bins;
    std::vector<int64_t> sums(static_cast<size_t>(bins), 0);
    for (int i = 0; i < bins; ++i) {
        const double first = i == 0 ? m_min_intensity : std::round(m_min_intensity + std::exp2(i * step));
        const double last = std::min(std::round(std::exp2((i + 1) * step)), static_cast<double>(counters - 1));
        for (double index = std::max(first, 0.0); index <= last; ++index) {
            sums[i] += m_histogram[static_cast<size_t>(index)];
        }
    }

    m_has_histogram.store(!m_histogram.empty());

    const int64_t largest = *std::max_element(sums.begin(), sums.end());
    const int64_t fullHeight = m_rect.bottom - m_rect.top - 2 * m_margin - 1;
    m_bars.assign(static_cast<size_t>(bins), 0);
    if (largest > 0) {
        for (int i = 0; i < bins; ++i) {
            m_bars[i] = static_cast<uint16_t>(std::clamp<int64_t>(fullHeight * sums[i] / largest, 0, 65535));
        }
    }
}

bool IntensityControl::SetHistogramFromValues(const uint16_t* values, int count, CString& errorText) {
    if (m_rect.bottom - m_rect.top <= 1) {
        return true;
    }
    platform::SemaphoreLock lock(m_access_semaphore, 3000);
    if (!lock.Held()) {
        SetWaitError(errorText, "Tovanix::IntensityControl::SetHistogramFromValues");
        return false;
    }
    BuildHistogram([&](auto count_value) {
        for (int k = 0; k < count; ++k) {
            count_value(values[k]);
        }
    });
    return true;
}

bool IntensityControl::SetHistogramFromImage(const cv::Mat& image, CString& errorText) {
    platform::SemaphoreLock lock(m_access_semaphore, 3000);
    if (!lock.Held()) {
        SetWaitError(errorText, "Tovanix::IntensityControl::SetHistogramFromImage");
        return false;
    }
    BuildHistogram([&](auto count_value) {
        if (image.type() != CV_16UC1) {
            return;
        }
        for (int r = 0; r < image.rows; ++r) {
            const uint16_t* row = image.ptr<uint16_t>(r);
            for (int c = 0; c < image.cols; ++c) {
                count_value(row[c]);
            }
        }
    });
    return true;
}

bool IntensityControl::SetLowerAndUpperIntensities(uint16_t lower, uint16_t upper, CString& errorText) {
    if (lower >= upper) {
        errorText.Format("%s() lower intensity must be less than upper intensity.",
                         "Tovanix::IntensityControl::SetLowerAndUpperIntensities");
        return false;
    }
    m_lower_intensity = lower;
    m_upper_intensity = upper;
    return true;
}

bool IntensityControl::Draw(IntensityCanvas& dc, CString& errorText) {
    if (m_hidden) {
        return true;
    }
    const ControlRect& r = m_rect;
    dc.DrawPolyline({{r.left, r.top}, {r.right, r.top}, {r.right, r.bottom}, {r.left, r.bottom}, {r.left, r.top}},
                    m_frame_colour, m_margin);
    if (m_has_histogram.load() && !DrawBars(dc, errorText)) {
        return false;
    }
    return DrawMarkers(dc);
}

bool IntensityControl::DrawBars(IntensityCanvas& dc, CString& errorText) {
    platform::SemaphoreLock lock(m_access_semaphore, 1000);
    if (!lock.Held()) {
        SetWaitError(errorText, "Tovanix::IntensityControl::DrawBars");
        return false;
    }
    const int bottom = m_rect.bottom - m_margin;
    for (size_t k = 0; k < m_bars.size(); ++k) {
        const int left = m_rect.left + m_margin + static_cast<int>(k) * m_bar_width;
        dc.DrawFilledRect({left, bottom - m_bars[k] - 1, left + m_bar_width - 1, bottom}, m_bar_colour);
    }
    return true;
}

bool IntensityControl::DrawMarkers(IntensityCanvas& dc) {
    int h = 0;
    int w = 0;
    MarkerSize(h, w);
    const int bottom = m_rect.bottom;
    auto drawMarker = [&](uint16_t intensity, ControlRect& hitRect) {
        const int x = IntensityToX(intensity);
        dc.DrawFilledPolygon({{x, bottom}, {x - w, bottom + h}, {x + w, bottom + h}}, m_marker_colour,
                             m_marker_pen_width);
        hitRect = {x - w, bottom, x + w, bottom + h};
    };
    drawMarker(m_lower_intensity, m_lower_marker_rect);
    drawMarker(m_upper_intensity, m_upper_marker_rect);
    return true;
}

int IntensityControl::IntensityToX(uint16_t intensity) const {
    const int x0 = m_rect.left + m_margin;
    const int x1 = m_rect.right - m_margin;
    const int d = static_cast<int>(intensity) - m_min_intensity;
    if (d <= 0) {
        return x0;
    }
    const double ratio = std::log2(static_cast<double>(d)) / AxisLog();
    if (!(ratio < 1.0)) {
        return x1;
    }
    return x0 + static_cast<int>(std::lround(ratio * (x1 - x0 + 1)));
}

uint16_t IntensityControl::XToIntensity(int x) const {
    const int x0 = m_rect.left + m_margin;
    const int x1 = m_rect.right - m_margin;
    if (x <= x0) {
        return m_min_intensity;
    }
    if (x >= x1) {
        return m_max_intensity;
    }
    const double v = m_min_intensity + std::round(std::exp2(AxisLog() * (x - x0) / (x1 - x0 + 1)));
    const double held = std::clamp(v, static_cast<double>(m_min_intensity), static_cast<double>(m_max_intensity));
    return static_cast<uint16_t>(held);
}

int IntensityControl::OnButtonDown(ControlPoint point) {
    if (Contains(m_lower_marker_rect, point)) {
        m_dragging_lower = true;
        return 1;
    }
    if (Contains(m_upper_marker_rect, point)) {
        m_dragging_upper = true;
        return 1;
    }
    return 0;
}

int IntensityControl::OnMouseMove(ControlPoint point) {
    int h = 0;
    int w = 0;
    MarkerSize(h, w);
    m_tracking_rect = {m_rect.left - w, m_rect.top, m_rect.right + w, m_rect.bottom + h + 1};
    if (!Contains(m_tracking_rect, point)) {
        m_dragging_lower = false;
        m_dragging_upper = false;
        return 0;
    }
    const uint16_t v = XToIntensity(point.x);
    if (m_dragging_lower) {
        if (v != m_lower_intensity && v < m_upper_intensity) {
            m_lower_intensity = v;
            return 1;
        }
    }
    if (m_dragging_upper) {
        if (v != m_upper_intensity && v > m_lower_intensity) {
            m_upper_intensity = v;
            return 2;
        }
    }
    return 0;
}

}  // namespace Tovanix
