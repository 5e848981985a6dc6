#include "operator/CustomerUILayout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace customer_ui {

namespace {

int32_t Width(const RECT& rect) { return rect.right - rect.left; }
int32_t Height(const RECT& rect) { return rect.bottom - rect.top; }

// The Next outline around x = d; the Back outline is its mirror image.
std::array<Point, 8> ArrowPolygon(const RECT& client, int32_t screenHeight, int32_t bottomMargin, bool next) {
    const int32_t width = Width(client);
    const int32_t height = Height(client);
    const int32_t d = RoundHalfAway(width * (next ? 0.86 : 0.14));
    const int32_t g = (RoundHalfAway(height * 0.91) + RoundHalfAway(height * 0.94)) / 2;
    const int32_t sign = next ? 1 : -1;
    const std::array<std::array<int32_t, 2>, 8> offsets = {{
        {10, 24}, {10, -24}, {124, -24}, {124, -40}, {164, 0}, {124, 40}, {124, 24}, {10, 24},
    }};
    // Keep the lowest point above the bottom margin.
    const int32_t lowest = screenHeight - bottomMargin - 1;
    const int32_t lift = g + 40 > lowest ? (g + 40) - lowest : 0;
    std::array<Point, 8> points;
    for (size_t i = 0; i < offsets.size(); ++i) {
        points[i] = {d + sign * offsets[i][0], g + offsets[i][1] - lift};
    }
    return points;
}

}  // namespace

int32_t RoundHalfAway(double value) { return static_cast<int32_t>(std::lround(value)); }

bool PointInRect(const RECT& rect, Point point) {
    return point.x >= rect.left && point.x <= rect.right && point.y >= rect.top && point.y <= rect.bottom;
}

bool RectsIntersect(const RECT& a, const RECT& b) {
    return a.left <= b.right && b.left <= a.right && a.top <= b.bottom && b.top <= a.bottom;
}

WindowPlacement ChooseWindowPlacement(int32_t desktopWidth, int32_t desktopHeight) {
    WindowPlacement placement;
    const bool large = desktopWidth >= 1920 && desktopHeight >= 1080;
    placement.width = large ? 1920 : 1600;
    placement.height = large ? 1080 : 900;
    placement.left = (desktopWidth - placement.width) / 2;
    placement.top = (desktopHeight - placement.height) / 2;
    return placement;
}

ScreenLayout ComputeScreenLayout(int32_t width, int32_t height, int32_t exposurePanelLayout) {
    ScreenLayout layout;
    const double w = width - 1;
    const double h = height - 1;
    layout.video.left = RoundHalfAway(0.25 * w);
    layout.video.right = RoundHalfAway(0.75 * w);
    layout.video.top = RoundHalfAway((exposurePanelLayout == 1 ? 0.12 : 0.30) * h);
    layout.video.bottom = RoundHalfAway((exposurePanelLayout == 1 ? 0.64 : 0.82) * h);

    if (exposurePanelLayout == 1) {
        layout.splitPercent.right = layout.video.left - 10;
        layout.splitPercent.left = layout.splitPercent.right - 80;
    } else {
        layout.splitPercent.left = layout.video.right + 10;
        layout.splitPercent.right = layout.splitPercent.left + 80;
    }
    layout.splitPercent.top = layout.video.top + (Height(layout.video) - 40) / 2;
    layout.splitPercent.bottom = layout.splitPercent.top + 40;

    layout.timer.left = RoundHalfAway(0.05 * width);
    layout.timer.right = layout.timer.left + 120;
    layout.timer.top = (height - 120) / 2;
    layout.timer.bottom = layout.timer.top + 120;
    return layout;
}

RECT ScaleRect(const RECT& rect, double left, double top, double right, double bottom) {
    const double width = Width(rect);
    const double height = Height(rect);
    return {RoundHalfAway(width * left), RoundHalfAway(height * top), RoundHalfAway(width * right),
            RoundHalfAway(height * bottom)};
}

bool IsNextButtonState(int32_t state) { return state == 0 || state == 2 || state == 3 || (state >= 7 && state <= 14); }

bool IsBackButtonState(int32_t state) { return state == 2 || state == 3 || (state >= 7 && state <= 14); }

std::array<Point, 8> NextArrowPolygon(const RECT& client, int32_t screenHeight, int32_t bottomMargin) {
    return ArrowPolygon(client, screenHeight, bottomMargin, true);
}

std::array<Point, 8> BackArrowPolygon(const RECT& client, int32_t screenHeight, int32_t bottomMargin) {
    return ArrowPolygon(client, screenHeight, bottomMargin, false);
}

RECT PolygonBounds(const std::array<Point, 8>& points) {
    RECT bounds{points[0].x, points[0].y, points[0].x, points[0].y};
    for (const Point& p : points) {
        bounds.left = std::min(bounds.left, p.x);
        bounds.top = std::min(bounds.top, p.y);
        bounds.right = std::max(bounds.right, p.x);
        bounds.bottom = std::max(bounds.bottom, p.y);
    }
    return bounds;
}

RECT CenterImageRect(const RECT& box, int32_t width, int32_t height, int32_t screenHeight, int32_t bottomMargin) {
    RECT rect;
    rect.bottom = (box.top + box.bottom) / 2 + height / 2;
    if (rect.bottom >= screenHeight - bottomMargin) rect.bottom = screenHeight - bottomMargin - 1;
    rect.top = rect.bottom - height;
    rect.left = (box.left + box.right) / 2 - width / 2;
    rect.right = rect.left + width;
    return rect;
}

std::string TimerText(uint64_t milliseconds) {
    const uint64_t seconds = (milliseconds + 500) / 1000;
    char text[48];
    std::snprintf(text, sizeof text, "%02lu:%02lu", static_cast<unsigned long>(seconds / 60),
                  static_cast<unsigned long>(seconds % 60));
    return text;
}

COLORREF TimerBoxColour(bool countDown) { return countDown ? kTimerCountDownColour : kTimerCountUpColour; }

bool TimerShownMs(uint64_t nowMs, int64_t startMs, uint32_t durationMs, bool countDown, uint64_t* shownMs) {
    // Unsigned on purpose: a start of 0 (no timer) or in the future gives a
    // huge elapsed time, so nothing is shown.
    const uint64_t elapsed = nowMs - static_cast<uint64_t>(startMs);
    if (elapsed > durationMs) return false;
    *shownMs = countDown ? durationMs - elapsed : elapsed;
    return true;
}

COLORREF MessageColour(int32_t ticksLeft, int32_t ticks, COLORREF background) {
    const float f = ticks > 0 ? 1.0f - static_cast<float>(ticks - ticksLeft) / static_cast<float>(ticks) : 0.0f;
    auto channel = [f](int base, int target) {
        return std::clamp(base + RoundHalfAway((target - base) * f), 0, 255);
    };
    return Rgb(channel(RedOf(background), RedOf(kMessageColour)), channel(GreenOf(background), GreenOf(kMessageColour)),
               channel(BlueOf(background), BlueOf(kMessageColour)));
}

RECT MessageRect(const TextMetrics& metrics, const std::string& text, int32_t clientWidth, int32_t clientHeight) {
    const TextSize size = metrics.Measure(Font::Text, text);
    RECT rect;
    rect.left = RoundHalfAway(clientWidth * 0.5 - size.cx / 2.0);
    rect.right = rect.left + size.cx - 1;
    rect.top = RoundHalfAway(clientHeight * 0.9);
    rect.bottom = rect.top + size.cy - 1;
    return rect;
}

TextLinesLayout LayoutTextLines(const TextMetrics& metrics, const std::vector<std::string>& lines,
                                const RECT& client, int32_t maxLines, double topFraction) {
    TextLinesLayout layout;
    const int32_t width = Width(client);
    const int32_t height = Height(client);
    auto centred = [&](const std::string& text, int32_t y) {
        PlacedText placed;
        placed.text = text;
        placed.size = metrics.Measure(Font::Text, text);
        placed.at = {RoundHalfAway(0.5 * width - placed.size.cx / 2.0), y};
        return placed;
    };
    PlacedText first = centred(lines.empty() ? std::string(" ") : lines[0], RoundHalfAway(height * topFraction));
    layout.bounds = {first.at.x, first.at.y, first.at.x + first.size.cx, first.at.y + first.size.cy};
    const int32_t gap = (first.size.cy - 1) / 10;
    layout.lines.push_back(first);
    layout.count = lines.empty() ? 0 : 1;
    if (lines.size() >= 2 && maxLines >= 2) {
        for (size_t i = 1; i < lines.size() && layout.count < maxLines; ++i) {
            PlacedText next = centred(lines[i], layout.bounds.bottom + gap);
            layout.bounds.left = std::min(layout.bounds.left, next.at.x);
            layout.bounds.right = std::max(layout.bounds.right, next.at.x + next.size.cx);
            layout.bounds.bottom = next.at.y + next.size.cy;
            layout.lines.push_back(next);
            ++layout.count;
        }
    }
    return layout;
}

Point TitlePosition(const TextMetrics& metrics, const std::string& title, int32_t clientWidth, int32_t clientHeight) {
    const TextSize size = metrics.Measure(Font::Text, title);
    return {RoundHalfAway(0.98 * clientWidth - size.cx), RoundHalfAway(0.07 * clientHeight)};
}

Point LogoPosition(int32_t clientWidth, int32_t clientHeight) {
    return {RoundHalfAway(0.02 * clientWidth), RoundHalfAway(0.07 * clientHeight)};
}

}  // namespace customer_ui
