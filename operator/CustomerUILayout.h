#pragma once

// Geometry and looks of the customer run screen, as pure functions: the
// window's size and place on the desktop, the fixed layout rectangles, the
// Next and Back arrow outlines, the placing of arrow images, the timer box's
// text and colour, the message line's fading colour and place, and the
// centred text lines. Text sizes come from a TextMetrics object, so tests fix
// the metrics and the window supplies its real fonts.
//
// Rectangles are client pixels; "round" is rounding half away from zero and
// "/" between integers truncates toward zero, as the screen's drawing does.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Rect.h"

// A colour as 0x00BBGGRR.
using COLORREF = uint32_t;

namespace customer_ui {

constexpr COLORREF Rgb(int red, int green, int blue) {
    return static_cast<COLORREF>((red & 0xFF) | ((green & 0xFF) << 8) | ((blue & 0xFF) << 16));
}
constexpr int RedOf(COLORREF colour) { return static_cast<int>(colour & 0xFF); }
constexpr int GreenOf(COLORREF colour) { return static_cast<int>((colour >> 8) & 0xFF); }
constexpr int BlueOf(COLORREF colour) { return static_cast<int>((colour >> 16) & 0xFF); }

// Colours of the screen.
constexpr COLORREF kDefaultBackground = Rgb(33, 50, 63);
constexpr COLORREF kTitleColour = Rgb(61, 156, 158);
constexpr COLORREF kTextColour = 0xFFFFFF;
constexpr COLORREF kHighlightColour = Rgb(68, 179, 180);
constexpr COLORREF kArrowTeal = Rgb(68, 179, 180);
constexpr COLORREF kArrowWhite = Rgb(244, 248, 254);
constexpr COLORREF kTimerCountDownColour = Rgb(68, 179, 180);
constexpr COLORREF kTimerCountUpColour = Rgb(122, 5, 105);
constexpr COLORREF kMessageColour = Rgb(228, 50, 27);
constexpr COLORREF kOffBoxColour = Rgb(100, 100, 100);

struct Point {
    int32_t x = 0;
    int32_t y = 0;
    bool operator==(const Point&) const = default;
};

struct TextSize {
    int32_t cx = 0;
    int32_t cy = 0;
};

// The screen's fonts: Text (height 40; every screen's text and the edits),
// Small (20), Combo (the exposure combos' height), Symbol (24), Medium (24).
enum class Font { Text, Small, Combo, Symbol, Medium };

// Measures one line of text in one of the screen's fonts.
class TextMetrics {
public:
    virtual ~TextMetrics() = default;
    virtual TextSize Measure(Font font, const std::string& text) const = 0;
};

int32_t RoundHalfAway(double value);

// Whether a point lies in a rectangle, all four edges inclusive.
bool PointInRect(const RECT& rect, Point point);
// Whether two rectangles share a pixel, edges inclusive.
bool RectsIntersect(const RECT& a, const RECT& b);

// The window: 1920 x 1080 when the desktop's client area holds it, else
// 1600 x 900, centred (integer division).
struct WindowPlacement {
    int32_t width = 0;
    int32_t height = 0;
    int32_t left = 0;
    int32_t top = 0;
};
WindowPlacement ChooseWindowPlacement(int32_t desktopWidth, int32_t desktopHeight);

// The rectangles fixed once the window size is known. Layout 1 puts the
// video panel high with the split value left of it, layout 0 low with the
// split value right of it.
struct ScreenLayout {
    RECT video;
    RECT splitPercent;
    RECT timer;
};
ScreenLayout ComputeScreenLayout(int32_t width, int32_t height, int32_t exposurePanelLayout);

// Edges at the given fractions of the rectangle's width and height, each
// rounded; the rectangle's own origin is not added.
RECT ScaleRect(const RECT& rect, double left, double top, double right, double bottom);

// States that have the Next arrow (0, 2, 3, 7..14) and the Back arrow (2, 3, 7..14).
bool IsNextButtonState(int32_t state);
bool IsBackButtonState(int32_t state);

// The arrow outlines: eight points, moved up so that the lowest point stays
// above screenHeight - bottomMargin - 1.
std::array<Point, 8> NextArrowPolygon(const RECT& client, int32_t screenHeight, int32_t bottomMargin);
std::array<Point, 8> BackArrowPolygon(const RECT& client, int32_t screenHeight, int32_t bottomMargin);
RECT PolygonBounds(const std::array<Point, 8>& points);

// A width x height rectangle centred on the box, kept above the bottom margin.
RECT CenterImageRect(const RECT& box, int32_t width, int32_t height, int32_t screenHeight, int32_t bottomMargin);

// The timer box: "mm:ss" of the rounded seconds, and its colour.
std::string TimerText(uint64_t milliseconds);
COLORREF TimerBoxColour(bool countDown);

// What the timer box shows at `nowMs`: nothing (false) when no timer runs or
// it has run out; else the milliseconds to show (remaining when counting
// down, elapsed otherwise).
bool TimerShownMs(uint64_t nowMs, int64_t startMs, uint32_t durationMs, bool countDown, uint64_t* shownMs);

// The message line's colour with `ticksLeft` of `ticks` left: red-orange
// when fresh, the background when the ticks are used up.
COLORREF MessageColour(int32_t ticksLeft, int32_t ticks, COLORREF background);
// The message line's place: centred, its top at 90% of the client height.
RECT MessageRect(const TextMetrics& metrics, const std::string& text, int32_t clientWidth, int32_t clientHeight);

// Centred text lines from `topFraction` of the client height: line 0 is the
// first line (a blank when there is none); with maxLines >= 2 further lines
// follow, each (h0 - 1) / 10 below the previous one.
struct PlacedText {
    std::string text;
    Point at;
    TextSize size;
};
struct TextLinesLayout {
    std::vector<PlacedText> lines;  // what to draw
    RECT bounds;
    int32_t count = 0;  // lines drawn, 0 for an empty list
};
TextLinesLayout LayoutTextLines(const TextMetrics& metrics, const std::vector<std::string>& lines,
                                const RECT& client, int32_t maxLines, double topFraction);

// The title's place: right end at 98% of the width, top at 7% of the height.
Point TitlePosition(const TextMetrics& metrics, const std::string& title, int32_t clientWidth, int32_t clientHeight);
// The logo's top-left corner.
Point LogoPosition(int32_t clientWidth, int32_t clientHeight);

}  // namespace customer_ui
