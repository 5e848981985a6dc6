#include "analysis/IntensityControl.h"
#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

using Tovanix::ControlColour;
using Tovanix::ControlPoint;
using Tovanix::ControlRect;
using Tovanix::IntensityControl;

// Records what the control draws.
class RecordingCanvas : public Tovanix::IntensityCanvas {
public:
    struct Shape {
        std::string kind;
        std::vector<ControlPoint> points;  // a rectangle as its two corners
        int penWidth;
        ControlColour colour;
    };

    void DrawPolyline(const std::vector<ControlPoint>& points, ControlColour colour, int penWidth) override {
        shapes.push_back({"line", points, penWidth, colour});
    }
    void DrawFilledRect(const ControlRect& rect, ControlColour colour) override {
        shapes.push_back({"rect", {{rect.left, rect.top}, {rect.right, rect.bottom}}, 1, colour});
    }
    void DrawFilledPolygon(const std::vector<ControlPoint>& points, ControlColour colour, int penWidth) override {
        shapes.push_back({"polygon", points, penWidth, colour});
    }

    std::vector<Shape> Of(const std::string& kind) const {
        std::vector<Shape> found;
        for (const Shape& shape : shapes) {
            if (shape.kind == kind) {
                found.push_back(shape);
            }
        }
        return found;
    }

    std::vector<Shape> shapes;
};

// A control on a strip 206 pixels wide and 50 high: 51 bars of 4 pixels,
// x0 = 1 and x1 = 205.
class IntensityControlTest : public testing::Test {
protected:
    IntensityControlTest() { control.m_rect = {0, 0, 206, 50}; }

    std::vector<uint16_t> BarsFor(std::vector<uint16_t> values) {
        CString error;
        EXPECT_TRUE(control.SetHistogramFromValues(values.data(), static_cast<int>(values.size()), error));
        return control.m_bars;
    }

    IntensityControl control;
};

TEST_F(IntensityControlTest, LogSpacedBinsOfA206PixelStrip) {
    // Full height: 50 - 2 x margin - 1.
    const uint16_t full = 47;
    struct Case {
        const char* name;
        std::vector<uint16_t> values;
        std::vector<int> fullBars;  // every other bar is 0
    };
    const std::vector<Case> cases = {
        {"bin 0 covers 0 and 1", {0}, {0}},
        {"boundary counted in both bins", {1}, {0, 1}},
        {"one bin", std::vector<uint16_t>(100000, 1000), {31}},
        {"last bin ends at 65534", {65534}, {50}},
        {"65535 is not counted", {65535}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint16_t> bars = BarsFor(c.values);
        ASSERT_EQ(bars.size(), 51u);
        std::vector<uint16_t> expected(51, 0);
        for (int bin : c.fullBars) {
            expected[bin] = full;
        }
        EXPECT_EQ(bars, expected);
        EXPECT_EQ(control.m_histogram.size(), 65535u);
    }

    // Heights scale with the largest bin, rounding down.
    std::vector<uint16_t> values(300, 0);
    values.insert(values.end(), 100, 65534);
    const std::vector<uint16_t> bars = BarsFor(values);
    EXPECT_EQ(bars[0], full);
    EXPECT_EQ(bars[50], full * 100 / 300);
}

TEST_F(IntensityControlTest, HistogramFromImageCountsEveryPixel) {
    cv::Mat image(40, 50, CV_16UC1, cv::Scalar(1000));
    image.at<uint16_t>(3, 3) = 0;
    CString error;
    ASSERT_TRUE(control.SetHistogramFromImage(image, error));
    EXPECT_EQ(control.m_histogram[1000], 1999);
    EXPECT_EQ(control.m_histogram[0], 1);
    EXPECT_EQ(control.m_bars[31], 47);
    EXPECT_EQ(control.m_bars[0], 47 * 1 / 1999);
}

TEST_F(IntensityControlTest, FlatStripLeavesTheHistogramAlone) {
    control.m_rect = {0, 10, 206, 11};
    const uint16_t value = 5;
    CString error;
    EXPECT_TRUE(control.SetHistogramFromValues(&value, 1, error));
    EXPECT_TRUE(control.m_histogram.empty());
    EXPECT_TRUE(control.m_bars.empty());
}

TEST_F(IntensityControlTest, NarrowAxisCountsOnlyItsOwnIntensities) {
    control.m_min_intensity = 100;
    control.m_max_intensity = 200;
    const std::vector<uint16_t> values{50, 100, 199, 200, 250, 299, 65535};
    CString error;
    ASSERT_TRUE(control.SetHistogramFromValues(values.data(), static_cast<int>(values.size()), error));
    ASSERT_EQ(control.m_histogram.size(), 100u);
    EXPECT_EQ(control.m_histogram[0], 1);
    EXPECT_EQ(control.m_histogram[99], 1);
    int counted = 0;
    for (int32_t count : control.m_histogram) {
        counted += count;
    }
    EXPECT_EQ(counted, 2);
}

TEST_F(IntensityControlTest, AxisConversions) {
    struct ToX {
        uint16_t intensity;
        int x;
    };
    for (const ToX& c : std::vector<ToX>{{0, 1}, {1, 1}, {2, 14}, {1000, 129}, {65534, 206}, {65535, 206}}) {
        EXPECT_EQ(control.IntensityToX(c.intensity), c.x) << c.intensity;
    }
    struct ToIntensity {
        int x;
        uint16_t intensity;
    };
    for (const ToIntensity& c :
         std::vector<ToIntensity>{{-5, 0}, {1, 0}, {2, 1}, {100, 212}, {150, 3168}, {205, 65535}, {400, 65535}}) {
        EXPECT_EQ(control.XToIntensity(c.x), c.intensity) << c.x;
    }

    // A shifted axis starts at its minimum and stays within it.
    control.m_min_intensity = 1000;
    control.m_max_intensity = 1255;
    EXPECT_EQ(control.IntensityToX(500), 1);
    EXPECT_EQ(control.IntensityToX(1001), 1);
    EXPECT_EQ(control.IntensityToX(1255), 206);  // the maximum lands one past x1
    EXPECT_EQ(control.XToIntensity(103), 1000 + 16);
}

TEST_F(IntensityControlTest, MarkersMustStayOrdered) {
    CString error;
    EXPECT_TRUE(control.SetLowerAndUpperIntensities(100, 5000, error));
    EXPECT_FALSE(control.SetLowerAndUpperIntensities(500, 500, error));
    EXPECT_STREQ(error, "Tovanix::IntensityControl::SetLowerAndUpperIntensities() lower intensity must be less "
                        "than upper intensity.");
    EXPECT_FALSE(control.SetLowerAndUpperIntensities(600, 500, error));
    EXPECT_EQ(control.m_lower_intensity, 100);
    EXPECT_EQ(control.m_upper_intensity, 5000);
}

TEST_F(IntensityControlTest, DrawsFrameBarsAndMarkersBelowTheStrip) {
    RecordingCanvas canvas;
    CString error;
    ASSERT_TRUE(control.Draw(canvas, error));
    // Without a histogram: the frame and the markers only.
    EXPECT_EQ(canvas.Of("rect").size(), 0u);
    ASSERT_EQ(canvas.Of("line").size(), 1u);
    EXPECT_EQ(canvas.Of("line")[0].points,
              (std::vector<ControlPoint>{{0, 0}, {206, 0}, {206, 50}, {0, 50}, {0, 0}}));
    EXPECT_EQ(canvas.Of("line")[0].penWidth, 1);

    const std::vector<uint16_t> values(10, 1000);
    ASSERT_TRUE(control.SetHistogramFromValues(values.data(), 10, error));
    ASSERT_TRUE(control.SetLowerAndUpperIntensities(2, 1000, error));
    canvas.shapes.clear();
    ASSERT_TRUE(control.Draw(canvas, error));

    const auto bars = canvas.Of("rect");
    ASSERT_EQ(bars.size(), 51u);
    // Bar 31: left 1 + 31 x 4, right + 3, from the bottom inset up by its height + 1.
    EXPECT_EQ(bars[31].points, (std::vector<ControlPoint>{{125, 49 - 47 - 1}, {128, 49}}));
    EXPECT_EQ(bars[0].points, (std::vector<ControlPoint>{{1, 48}, {4, 49}}));  // empty bar
    EXPECT_EQ(bars[31].colour.green, 100);

    // h = 25 raised to 26, w = 13; tips on the strip's bottom edge.
    const auto markers = canvas.Of("polygon");
    ASSERT_EQ(markers.size(), 2u);
    EXPECT_EQ(markers[0].points, (std::vector<ControlPoint>{{14, 50}, {1, 76}, {27, 76}}));
    EXPECT_EQ(markers[1].points, (std::vector<ControlPoint>{{129, 50}, {116, 76}, {142, 76}}));
    EXPECT_EQ(control.m_lower_marker_rect.left, 1);
    EXPECT_EQ(control.m_lower_marker_rect.bottom, 76);
    EXPECT_EQ(control.m_upper_marker_rect.right, 142);

    control.m_hidden = true;
    canvas.shapes.clear();
    ASSERT_TRUE(control.Draw(canvas, error));
    EXPECT_TRUE(canvas.shapes.empty());
}

TEST_F(IntensityControlTest, DraggingTheMarkers) {
    CString error;
    ASSERT_TRUE(control.SetLowerAndUpperIntensities(2, 1000, error));
    RecordingCanvas canvas;
    control.DrawMarkers(canvas);  // places the hit areas: lower 1..27, upper 116..142

    EXPECT_EQ(control.OnButtonDown({60, 60}), 0);
    EXPECT_EQ(control.OnButtonDown({20, 50}), 1);  // the lower marker's top edge
    EXPECT_TRUE(control.m_dragging_lower);
    EXPECT_FALSE(control.m_dragging_upper);

    EXPECT_EQ(control.OnMouseMove({100, 60}), 1);
    EXPECT_EQ(control.m_lower_intensity, 212);
    EXPECT_EQ(control.OnMouseMove({100, 60}), 0);  // no change
    // At or past the upper marker: nothing moves.
    EXPECT_EQ(control.OnMouseMove({129, 60}), 0);
    EXPECT_EQ(control.OnMouseMove({150, 60}), 0);
    EXPECT_EQ(control.m_lower_intensity, 212);

    // Leaving the tracking area (the strip widened by w = 13, down to 77) ends the drag.
    EXPECT_EQ(control.OnMouseMove({-13, 77}), 1);  // still inside: maps to the minimum
    EXPECT_EQ(control.m_lower_intensity, 0);
    EXPECT_EQ(control.OnMouseMove({100, 78}), 0);
    EXPECT_FALSE(control.m_dragging_lower);
    EXPECT_EQ(control.OnMouseMove({100, 60}), 0);

    // Where the two hit areas overlap the lower marker wins.
    ASSERT_TRUE(control.SetLowerAndUpperIntensities(1000, 1001, error));
    control.DrawMarkers(canvas);
    EXPECT_EQ(control.OnButtonDown({129, 60}), 1);
    EXPECT_TRUE(control.m_dragging_lower);
    control.m_dragging_lower = false;

    ASSERT_TRUE(control.SetLowerAndUpperIntensities(2, 1000, error));
    control.DrawMarkers(canvas);
    EXPECT_EQ(control.OnButtonDown({142, 76}), 1);
    EXPECT_TRUE(control.m_dragging_upper);
    EXPECT_EQ(control.OnMouseMove({150, 60}), 2);
    EXPECT_EQ(control.m_upper_intensity, 3168);
    EXPECT_EQ(control.OnMouseMove({14, 60}), 0);  // down to the lower marker: refused
    EXPECT_EQ(control.m_upper_intensity, 3168);
}

TEST_F(IntensityControlTest, BusySemaphoreKeepsTheOldHistogram) {
    const std::vector<uint16_t> values(5, 1000);
    CString error;
    ASSERT_TRUE(control.SetHistogramFromValues(values.data(), 5, error));
    const std::vector<uint16_t> barsBefore = control.m_bars;

    ASSERT_TRUE(control.m_access_semaphore.Wait(0));  // another thread's update in progress
    // The waits run out on a test clock instead of in real time.
    platform::ManualClock clock;
    platform::ScopedClock installed(clock);
    clock.ElapseBlockedWaits(true);
    const auto start = clock.Now();
    auto waitedMs = [&] { return std::chrono::duration_cast<std::chrono::milliseconds>(clock.Now() - start).count(); };
    const uint16_t other = 0;
    EXPECT_FALSE(control.SetHistogramFromValues(&other, 1, error));
    EXPECT_STREQ(error, "Tovanix::IntensityControl::SetHistogramFromValues() failed waiting for "
                        "m_access_semaphore: 258");
    EXPECT_EQ(waitedMs(), 3000);
    RecordingCanvas canvas;
    EXPECT_FALSE(control.Draw(canvas, error));
    EXPECT_STREQ(error, "Tovanix::IntensityControl::DrawBars() failed waiting for m_access_semaphore: 258");
    EXPECT_EQ(waitedMs(), 4000) << "the drawing waits 1 s";
    EXPECT_TRUE(canvas.Of("rect").empty());
    EXPECT_TRUE(canvas.Of("polygon").empty());
    control.m_access_semaphore.Release();

    EXPECT_EQ(control.m_bars, barsBefore);
    EXPECT_EQ(control.m_histogram[1000], 5);
}

}  // namespace
