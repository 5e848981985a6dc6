#include "imaging/RenderOverlays.h"

#include <gtest/gtest.h>

#include "analysis/IntensityControl.h"
#include "analysis/ProjectionAnalysisParams.h"
#include "imaging/tests/ImagingTestSupport.h"

namespace {

using imagingtest::ImagingTest;
using imagingtest::WriteText;

// A 2448 x 2048 camera image shown whole in a 1224 x 1024 window.
ScreenMapping HalfScale() { return ScreenMapping(RECT{0, 0, 1224, 1024}, 0.0, 1.0, 0.0, 1.0, 2448, 2048); }

TEST(ComputeFloatPercentileTest, InterpolatesBetweenSortedValues) {
    struct Case {
        std::vector<float> values;
        float fraction;
        float expected;
    };
    const Case cases[] = {
        {{1, 2, 3, 4}, 0.5f, 2.5f},
        {{7}, 0.5f, 7.0f},
        {{7}, 1.0f, 7.0f},
        {{40, 0, 30, 10, 20}, 0.25f, 10.0f},
        {{5, 1, 3}, 0.0f, 1.0f},
        {{5, 1, 3}, 1.0f, 5.0f},
    };
    for (const Case& c : cases) EXPECT_FLOAT_EQ(ComputeFloatPercentile(c.values, c.fraction), c.expected);
}

TEST(ComputeRowMedianProfileTest, MedianOfEachRowRoundedAndGrownToTheRegion) {
    cv::Mat image(3, 4, CV_16UC1);
    const uint16_t rows[3][4] = {{1, 2, 9, 9}, {4, 1, 3, 2}, {10, 11, 30, 13}};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c) image.at<uint16_t>(r, c) = rows[r][c];
    std::vector<int32_t> profile;
    ASSERT_TRUE(ComputeRowMedianProfile(image, ROIRect{0, 0, 3, 2}, profile));
    // Even counts take the mean of the two middle values, rounded half up.
    EXPECT_EQ(profile, (std::vector<int32_t>{6, 3, 12}));

    // Columns 1..2 of rows 1..2 only; a longer profile keeps its length.
    profile.assign(5, -1);
    ASSERT_TRUE(ComputeRowMedianProfile(image, ROIRect{1, 1, 2, 2}, profile));
    EXPECT_EQ(profile, (std::vector<int32_t>{2, 21, -1, -1, -1}));

    // Rows past the image give 0 instead of reading outside it.
    profile.clear();
    ASSERT_TRUE(ComputeRowMedianProfile(image, ROIRect{0, 1, 9, 4}, profile));
    EXPECT_EQ(profile, (std::vector<int32_t>{3, 12, 0, 0}));
}

TEST(ChannelMagnetOverlayTest, LinesInsideTheImageAreDrawnAtTheirScreenRows) {
    const ScreenMapping m = HalfScale();
    const int32_t lines[4] = {400, 1500, 100, 1800};
    const ChannelMagnetOverlay o = ComputeChannelMagnetOverlay(m, lines);
    EXPECT_TRUE(o.upperChannel.draw && o.lowerChannel.draw && o.upperMagnet.draw && o.lowerMagnet.draw);
    EXPECT_EQ(o.upperChannel.y, 200);
    EXPECT_EQ(o.lowerChannel.y, 750);
    EXPECT_EQ(o.upperMagnet.y, 50);
    EXPECT_EQ(o.lowerMagnet.y, 900);

    // An upper magnet at row 0 and a lower magnet at the image height are
    // not drawn; an upper wall at row 0 does not place the channel top.
    const int32_t edges[4] = {0, 2048, 0, 2048};
    const ChannelMagnetOverlay e = ComputeChannelMagnetOverlay(m, edges);
    EXPECT_FALSE(e.upperMagnet.draw || e.lowerMagnet.draw || e.upperChannel.draw || e.lowerChannel.draw);
    EXPECT_FALSE(e.upperChannelPlaced);
    EXPECT_FALSE(e.lowerChannelPlaced);

    // Zoomed in on the lower half: the upper lines fall off the target but
    // the wall's row is still placed.
    const ScreenMapping lower(RECT{0, 0, 1224, 1024}, 0.0, 1.0, 0.5, 1.0, 2448, 2048);
    const ChannelMagnetOverlay z = ComputeChannelMagnetOverlay(lower, lines);
    EXPECT_FALSE(z.upperChannel.draw);
    EXPECT_TRUE(z.upperChannelPlaced);
    EXPECT_EQ(z.upperChannel.y, -624);
    EXPECT_TRUE(z.lowerChannel.draw);
}

TEST(SplitLineTest, SplitRowHitBandAndTheRowAfterAChangeFromOutside) {
    const ScreenMapping m = HalfScale();
    const int32_t lines[4] = {400, 1500, 100, 1800};
    const ChannelMagnetOverlay walls = ComputeChannelMagnetOverlay(m, lines);

    FlowSplitValues values;
    values.FlowSplitLineVisible = true;
    values.FlowSplitDragDeltaY = 10;
    SplitLineOverlay split = PlaceChannelAndSplitLine(m, lines, walls, values);
    // Fraction 0.5 between rows 400 and 1500: split row 950, screen row 475.
    EXPECT_EQ(values.FlowSplitLineY, 475);
    EXPECT_EQ(values.ChannelTopY, 200);
    EXPECT_EQ(values.ChannelBottomY, 750);
    EXPECT_TRUE(split.draw);
    EXPECT_EQ(split.y, 485);
    EXPECT_EQ(split.x0, 3);
    EXPECT_EQ(split.x1, 1221);
    EXPECT_EQ(values.FlowSplitHitRect, (RECT{0, 481, 1224, 489}));

    // Hidden, or with the fraction at an end: nothing placed or drawn.
    for (auto change : {+[](FlowSplitValues& v) { v.FlowSplitLineVisible = false; },
                        +[](FlowSplitValues& v) { v.FlowSplitFraction = 1.0; },
                        +[](FlowSplitValues& v) { v.FlowSplitFraction = 0.0; }}) {
        FlowSplitValues other;
        other.FlowSplitLineVisible = true;
        other.FlowSplitLineY = 7;
        change(other);
        split = PlaceChannelAndSplitLine(m, lines, walls, other);
        EXPECT_FALSE(split.draw);
        EXPECT_EQ(other.FlowSplitLineY, 7);
        EXPECT_EQ(other.FlowSplitHitRect, RECT{});
    }

    // A fraction stored by the fractionation tool places the line from the
    // channel rows, once.
    FlowSplitValues changed;
    changed.FlowSplitFraction = 0.8;
    changed.FlowSplitChanged = true;
    PlaceChannelAndSplitLine(m, lines, walls, changed);
    EXPECT_FALSE(changed.FlowSplitChanged);
    EXPECT_EQ(changed.FlowSplitLineY, 310);  // 200 + 0.2 x 550
}

TEST(OverlayGeometryTest, CrossesAndRegionOutlinesStayInsideTheTarget) {
    const RECT target{0, 0, 100, 100};
    struct Cross {
        int x, y;
        bool visible;
    };
    const Cross crosses[] = {{2, 50, false}, {3, 50, true},   {97, 50, true}, {98, 50, false},
                             {50, 2, false}, {50, 102, true}, {50, 103, true}, {50, 104, false}};
    for (const Cross& c : crosses) EXPECT_EQ(DetectionCrossVisible(target, c.x, c.y), c.visible) << c.x << "," << c.y;

    const ScreenMapping m(target, 0.0, 1.0, 0.0, 1.0, 200, 200);
    RoiOutline outline = ComputeRoiOutline(m, ROIRect{20, 40, 100, 120});
    EXPECT_TRUE(outline.inside);
    EXPECT_EQ(outline.left, 10);
    EXPECT_EQ(outline.top, 20);
    EXPECT_EQ(outline.right, 50);
    EXPECT_EQ(outline.bottom, 60);
    // An edge on the target's edge is not drawn.
    EXPECT_FALSE(ComputeRoiOutline(m, ROIRect{0, 40, 100, 120}).inside);
    EXPECT_FALSE(ComputeRoiOutline(m, ROIRect{20, 40, 200, 120}).inside);

    EXPECT_TRUE(RoiInsideImage(ROIRect{0, 0, 199, 199}, 200, 200));
    EXPECT_FALSE(RoiInsideImage(ROIRect{0, 0, 200, 199}, 200, 200));
    EXPECT_FALSE(RoiInsideImage(ROIRect{-1, 0, 10, 10}, 200, 200));
    EXPECT_FALSE(RoiInsideImage(ROIRect{10, 10, 5, 20}, 200, 200));

    const ZoomBox box = ComputeZoomBox(target, 0.0, 1.0, 0.0, 1.0, 0.02, 0.5);
    EXPECT_EQ(box.cx, 1);
    EXPECT_EQ(box.cy, 49);
    EXPECT_EQ(box.left, 0);
    EXPECT_EQ(box.right, 9);
    EXPECT_EQ(box.top, 41);
    EXPECT_EQ(box.bottom, 57);
}

TEST(OverlayGeometryTest, ProfileBelowARegionKeepsItsPointsWhenTheFrameTouchesTheEdge) {
    const ScreenMapping m(RECT{0, 0, 100, 100}, 0.0, 1.0, 0.0, 1.0, 100, 100);
    // Rows 10..49: box height 10 rows below the region.
    const ROIRect roi{10, 10, 13, 49};
    const std::vector<int32_t> profile{100, 300, 200, 100};
    ProjectionBelowOverlay o = ComputeProjectionBelow(m, roi, profile);
    EXPECT_TRUE(o.frameInside);
    EXPECT_EQ(o.frameLeft, 10);
    EXPECT_EQ(o.frameRight, 13);
    EXPECT_EQ(o.frameTop, 51);
    EXPECT_EQ(o.frameBottom, 59);
    // x = i / 4 x 3 + 10; y from the bottom of the box (low) to near its top.
    const std::vector<cv::Point> expected{{10, 58}, {11, 50}, {12, 54}, {12, 58}};
    EXPECT_EQ(o.points, expected);

    // A region on the left edge: no frame, the points all the same.
    o = ComputeProjectionBelow(m, ROIRect{0, 10, 3, 49}, profile);
    EXPECT_FALSE(o.frameInside);
    EXPECT_EQ(o.points.size(), 4u);
    EXPECT_TRUE(ComputeProjectionBelow(m, roi, {}).points.empty());
}

TEST(BrightnessWindowTest, MedianOfTheWindowAndNothingOutsideTheImage) {
    cv::Mat image = imagingtest::Flat16(20, 20, 0);
    // A 3 x 3 window at (5, 5) holding 1..9.
    for (int k = 0; k < 9; ++k) image.at<uint16_t>(4 + k / 3, 4 + k % 3) = static_cast<uint16_t>(9 - k);
    int32_t median = -1;
    ASSERT_TRUE(MeasureBrightnessWindow(image, MfgTestBrightnessTarget{0, 10, 5, 5, 3, 0}, median));
    EXPECT_EQ(median, 5);
    ASSERT_TRUE(MeasureBrightnessWindow(image, MfgTestBrightnessTarget{0, 10, 5, 5, 1, 0}, median));
    EXPECT_EQ(median, 5);
    for (const MfgTestBrightnessTarget& outside :
         {MfgTestBrightnessTarget{0, 10, 1, 5, 5, 0}, MfgTestBrightnessTarget{0, 10, 18, 5, 5, 0},
          MfgTestBrightnessTarget{0, 10, 5, 19, 3, 0}, MfgTestBrightnessTarget{0, 10, 5, 5, 0, 0}}) {
        EXPECT_FALSE(MeasureBrightnessWindow(image, outside, median));
    }
}

TEST(BrightnessWindowTest, TextColourShowsWhereTheMedianLiesAgainstTheBand) {
    struct Case {
        int32_t median, low, high;
        OverlayColour colour;
    };
    const Case cases[] = {
        {1000, 1000, 2000, {128, 255, 128}},  // at low: green
        {1500, 1000, 2000, {128, 255, 128}},
        {0, 1000, 2000, {128, 128, 255}},   // far below: blue
        {500, 1000, 2000, {128, 128, 192}},  // under = round(63.5) = 64: green 127 - 192 < 0
        {65535, 1000, 2000, {255, 128, 128}},
        {2000, 1000, 2000, {128, 255, 128}},   // at high: over 0
        {0, 0, 2000, {128, 255, 128}},          // low 0: never under
        {65535, 0, 65535, {255, 128, 128}},     // upper bound 65535: full red, no division by zero
        {65535, 65535, 65535, {255, 128, 128}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(BrightnessTextColour(c.median, c.low, c.high), c.colour) << c.median << " " << c.low << " " << c.high;
}

TEST(BrightnessWindowTest, ValueInTheBandWakesTheScriptAndOneOutsideIsKept) {
    // As the script does it: the target first, then the event.
    const MfgTestBrightnessTarget target{100, 200, 5, 5, 3, 0};
    g_MfgTestBrightnessTarget = target;
    auto event = std::make_shared<platform::Event>(true, false);
    SetMfgTestBrightnessEvent(event);
    g_MfgTestBrightnessResult = 0;
    g_MfgTestBrightnessLastValue = 0;

    ReportMfgTestBrightness(250, target);
    EXPECT_FALSE(event->IsSet());
    EXPECT_EQ(g_MfgTestBrightnessLastValue, 250);
    ReportMfgTestBrightness(100, target);
    EXPECT_TRUE(event->IsSet());
    EXPECT_EQ(g_MfgTestBrightnessResult, 100);

    // Without a waiting script a value in the band changes nothing.
    SetMfgTestBrightnessEvent(nullptr);
    ReportMfgTestBrightness(150, target);
    EXPECT_EQ(g_MfgTestBrightnessResult, 100);
    EXPECT_EQ(g_MfgTestBrightnessLastValue, 250);
}

TEST(MfgTestSymbolsTest, OnlyShownSymbolsAreHandedOutInOrder) {
    {
        platform::SemaphoreLock lock(MfgTestSymbolsSemaphore(), kMfgTestSymbolsWaitMs);
        g_MfgTestSymbols.clear();
        for (int k = 0; k < 4; ++k) {
            MfgTestSymbol symbol;
            symbol.x = k;
            symbol.shown = k == 1 ? 0 : 1;
            g_MfgTestSymbols.push_back(symbol);
        }
    }
    std::vector<int> xs;
    size_t index = 0;
    MfgTestSymbol symbol;
    while (NextShownMfgTestSymbol(index, symbol)) xs.push_back(symbol.x);
    EXPECT_EQ(xs, (std::vector<int>{0, 2, 3}));

    platform::SemaphoreLock cleanup(MfgTestSymbolsSemaphore(), kMfgTestSymbolsWaitMs);
    g_MfgTestSymbols.clear();
}

TEST(RunScreenTest, HistogramRepaintAreaCoversTheMarkersBelowTheControl) {
    Tovanix::ControlRect control;
    control.left = 10;
    control.top = 20;
    control.right = 110;
    control.bottom = 40;  // half height 10, even already
    EXPECT_EQ(HistogramRepaintArea(control), (RECT{5, 20, 115, 51}));
    control.bottom = 34;  // half height 7, rounded up to 8
    EXPECT_EQ(HistogramRepaintArea(control), (RECT{6, 20, 114, 43}));
}

class RightSideProjectionParamsTest : public ImagingTest {
protected:
    void TearDown() override {
        SetProjectionParamsSources({});
        ImagingTest::TearDown();
    }
};

TEST_F(RightSideProjectionParamsTest, ToolsFirstThenTheMainSettingsFile) {
    WriteText(g_IniPath.str(), "[CalibrationSettings]\r\nimage_pixels_per_mm=812.5\r\n"
                               "[Cartridge]\r\nCartridgeUpperChannel=410\r\nCartridgeLowerChannel=1490\r\n"
                               "[RightSideProjection]\r\nSmoothingWindowMicrons=12\r\nNumPeaksToFind=3\r\n");
    const ROIRect roi{10, 20, 300, 400};
    ProjectionAnalysisParams params;
    ChooseRightSideProjectionParams(roi, params);
    EXPECT_EQ(params.smoothingWindowMicrons, 12.0);
    EXPECT_EQ(params.numPeaksToFind, 3);
    EXPECT_EQ(params.image_pixels_per_mm, 812.5);
    EXPECT_EQ(params.upperChannel, 410);
    EXPECT_EQ(params.lowerChannel, 1490);
    EXPECT_EQ(params.left, 10);
    EXPECT_EQ(params.bottom, 400);

    // A visible fractionation tool answers before the file; the parameter
    // editor before both. A tool that does not answer is passed over.
    ProjectionParamsSources sources;
    sources.fractionationTool = [](ProjectionAnalysisParams& p) {
        p.numPeaksToFind = 5;
        p.left = 999;  // the tool's own region is not used
        return true;
    };
    sources.parameterEditor = [](ProjectionAnalysisParams&) { return false; };
    SetProjectionParamsSources(sources);
    ChooseRightSideProjectionParams(roi, params);
    EXPECT_EQ(params.numPeaksToFind, 5);
    EXPECT_EQ(params.smoothingWindowMicrons, 0.0);
    EXPECT_EQ(params.left, 10);

    sources.parameterEditor = [](ProjectionAnalysisParams& p) {
        p.numPeaksToFind = 2;
        p.findValleys = true;
        return true;
    };
    SetProjectionParamsSources(sources);
    ChooseRightSideProjectionParams(roi, params);
    EXPECT_EQ(params.numPeaksToFind, 2);
    EXPECT_TRUE(params.findValleys);

    // Nothing in the file: the scale defaults to 1000 and the rows to 0.
    WriteText(g_IniPath.str(), "");
    ChooseRightSideProjectionParams(roi, params);
    EXPECT_EQ(params.image_pixels_per_mm, 1000.0);
    EXPECT_EQ(params.upperChannel, 0);
    EXPECT_EQ(params.lowerChannel, 0);
}

}  // namespace
