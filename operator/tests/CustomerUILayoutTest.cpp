#include <gtest/gtest.h>

#include "operator/CustomerUILayout.h"
#include "operator/TimerBank.h"
#include "operator/tests/CustomerUITestSupport.h"

namespace {

using namespace customer_ui;

void ExpectRect(const RECT& rect, int left, int top, int right, int bottom) {
    EXPECT_EQ(rect.left, left);
    EXPECT_EQ(rect.top, top);
    EXPECT_EQ(rect.right, right);
    EXPECT_EQ(rect.bottom, bottom);
}

TEST(CustomerUILayoutTest, WindowTakesTheLargeSizeOnlyWhenTheDesktopHoldsIt) {
    struct Case {
        int desktopWidth, desktopHeight, width, height, left, top;
    } cases[] = {
        {1680, 1050, 1600, 900, 40, 75},
        {2560, 1440, 1920, 1080, 320, 180},
        {1920, 1080, 1920, 1080, 0, 0},
        {1920, 1079, 1600, 900, 160, 89},
    };
    for (const Case& c : cases) {
        const WindowPlacement p = ChooseWindowPlacement(c.desktopWidth, c.desktopHeight);
        EXPECT_EQ(p.width, c.width) << c.desktopWidth << "x" << c.desktopHeight;
        EXPECT_EQ(p.height, c.height);
        EXPECT_EQ(p.left, c.left);
        EXPECT_EQ(p.top, c.top);
    }
}

TEST(CustomerUILayoutTest, LayoutRectanglesAtBothWindowSizes) {
    const ScreenLayout large = ComputeScreenLayout(1920, 1080, 1);
    ExpectRect(large.video, 480, 129, 1439, 691);
    ExpectRect(large.splitPercent, 390, 390, 470, 430);
    ExpectRect(large.timer, 96, 480, 216, 600);

    const ScreenLayout small = ComputeScreenLayout(1600, 900, 1);
    ExpectRect(small.video, 400, 108, 1199, 575);
    ExpectRect(small.splitPercent, 310, 321, 390, 361);
    ExpectRect(small.timer, 80, 390, 200, 510);

    // Layout 0: the panel lower, the split value to its right.
    const ScreenLayout low = ComputeScreenLayout(1920, 1080, 0);
    ExpectRect(low.video, 480, 324, 1439, 885);
    EXPECT_EQ(low.splitPercent.left, 1449);
    EXPECT_EQ(low.splitPercent.right, 1529);
}

TEST(CustomerUILayoutTest, ScaleRectRoundsFractionsOfTheSize) {
    ExpectRect(ScaleRect({0, 0, 1920, 1080}, 0.25, 0.3, 0.75, 0.9), 480, 324, 1440, 972);
    // The origin is not added.
    ExpectRect(ScaleRect({100, 100, 300, 300}, 0.5, 0.5, 1.0, 1.0), 100, 100, 200, 200);
}

TEST(CustomerUILayoutTest, ArrowStatesFollowTheStateTable) {
    for (int state = -1; state <= 15; ++state) {
        const bool next = state == 0 || state == 2 || state == 3 || (state >= 7 && state <= 14);
        const bool back = state == 2 || state == 3 || (state >= 7 && state <= 14);
        EXPECT_EQ(IsNextButtonState(state), next) << state;
        EXPECT_EQ(IsBackButtonState(state), back) << state;
    }
}

TEST(CustomerUILayoutTest, ArrowOutlinesAndTheirBounds) {
    const RECT client{0, 0, 1920, 1080};
    const auto next = NextArrowPolygon(client, 1080, 40);
    // g = (983 + 1015) / 2 = 999; the lowest point 1039 stays where it is.
    const std::array<Point, 8> expected = {{{1661, 1023}, {1661, 975}, {1775, 975}, {1775, 959},
                                            {1815, 999}, {1775, 1039}, {1775, 1023}, {1661, 1023}}};
    EXPECT_EQ(next, expected);
    const auto back = BackArrowPolygon(client, 1080, 40);
    EXPECT_EQ(back[4], (Point{105, 999}));
    EXPECT_EQ(back[0], (Point{259, 1023}));
    ExpectRect(PolygonBounds(next), 1661, 959, 1815, 1039);
    ExpectRect(PolygonBounds(back), 105, 959, 259, 1039);

    // A bigger margin lifts all points together.
    const auto lifted = NextArrowPolygon(client, 1080, 60);
    for (size_t i = 0; i < lifted.size(); ++i) EXPECT_EQ(lifted[i].y, expected[i].y - 20);

    const auto small = NextArrowPolygon({0, 0, 1600, 900}, 900, 40);
    // d = 1376, g = (819 + 846) / 2 = 832; the lowest point 872 moves up to 859.
    EXPECT_EQ(small[4], (Point{1540, 819}));
}

TEST(CustomerUILayoutTest, ImageRectangleIsCentredOnTheArrowAndKeptAboveTheMargin) {
    ExpectRect(CenterImageRect({1661, 959, 1815, 1039}, 100, 60, 1080, 40), 1688, 969, 1788, 1029);
    // Too tall: the bottom stops one row above the margin.
    ExpectRect(CenterImageRect({1661, 959, 1815, 1039}, 100, 200, 1080, 40), 1688, 839, 1788, 1039);
}

TEST(CustomerUILayoutTest, TimerTextRoundsToSecondsAndTheColourTellsTheDirection) {
    struct Case {
        uint64_t ms;
        const char* text;
    } cases[] = {{0, "00:00"}, {499, "00:00"}, {500, "00:01"}, {59499, "00:59"}, {61000, "01:01"}, {3600000, "60:00"}};
    for (const Case& c : cases) EXPECT_EQ(TimerText(c.ms), c.text) << c.ms;
    EXPECT_EQ(TimerBoxColour(true), Rgb(68, 179, 180));
    EXPECT_EQ(TimerBoxColour(false), Rgb(122, 5, 105));

    uint64_t shown = 0;
    EXPECT_FALSE(TimerShownMs(5000, 0, 0, true, &shown));             // no timer
    EXPECT_TRUE(TimerShownMs(1000 + 1600, 1000, 2000, true, &shown));  // 400 ms left
    EXPECT_EQ(shown, 400u);
    EXPECT_EQ(TimerText(shown), "00:00");
    EXPECT_TRUE(TimerShownMs(1000 + 1600, 1000, 2000, false, &shown));
    EXPECT_EQ(shown, 1600u);
    EXPECT_FALSE(TimerShownMs(1000 + 2001, 1000, 2000, true, &shown));  // run out
    EXPECT_FALSE(TimerShownMs(999, 1000, 2000, true, &shown));          // start in the future
}

TEST(CustomerUILayoutTest, MessageFadesFromRedOrangeIntoTheBackground) {
    const COLORREF background = kDefaultBackground;
    EXPECT_EQ(MessageColour(20, 20, background), Rgb(228, 50, 27));
    EXPECT_EQ(MessageColour(0, 20, background), background);
    // Half way: 33 + round(195 * 0.5) = 131, 50, 63 + round(-36 * 0.5) = 45.
    EXPECT_EQ(MessageColour(10, 20, background), Rgb(131, 50, 45));
    EXPECT_EQ(MessageColour(20, 20, Rgb(255, 255, 255)), Rgb(228, 50, 27));
}

TEST(CustomerUILayoutTest, TextLinesAreCentredAndStackedWithFixedMetrics) {
    customer_ui_testing::FixedMetrics metrics(20, 41);
    const RECT client{0, 0, 1920, 1080};
    TextLinesLayout layout = LayoutTextLines(metrics, {"abcd", "ab", "abcdef"}, client, 2, 0.7);
    ASSERT_EQ(layout.count, 2);
    ASSERT_EQ(layout.lines.size(), 2u);
    EXPECT_EQ(layout.lines[0].at, (Point{920, 756}));
    // (41 - 1) / 10 = 4 rows below the first line's bottom.
    EXPECT_EQ(layout.lines[1].at, (Point{940, 756 + 41 + 4}));
    ExpectRect(layout.bounds, 920, 756, 1000, 756 + 41 + 4 + 41);

    layout = LayoutTextLines(metrics, {}, client, 2, 0.01);
    EXPECT_EQ(layout.count, 0);
    ASSERT_EQ(layout.lines.size(), 1u);  // the blank is still placed
    EXPECT_EQ(layout.lines[0].text, " ");
    EXPECT_EQ(layout.lines[0].at.y, 11);

    layout = LayoutTextLines(metrics, {"a", "b", "c"}, client, 1, 0.5);
    EXPECT_EQ(layout.count, 1);
}

TEST(CustomerUILayoutTest, MessageAndTitlePlaces) {
    customer_ui_testing::FixedMetrics metrics(20, 40);
    ExpectRect(MessageRect(metrics, "0123456789", 1920, 1080), 860, 972, 1059, 1011);
    // A title longer than the screen ends at 98% and runs off the left edge.
    const Point title = TitlePosition(metrics, std::string(100, 'x'), 1920, 1080);
    EXPECT_EQ(title, (Point{1882 - 2000, 76}));
    EXPECT_EQ(LogoPosition(1600, 900), (Point{32, 63}));
}

TEST(TimerBankTest, TimersRepeatUntilKilledAndRestartOnSet) {
    TimerBank bank;
    bank.Set(1008, 1000, 0);
    bank.Set(1013, 100, 0);
    EXPECT_TRUE(bank.TakeDue(99).empty());
    EXPECT_EQ(bank.TakeDue(100), std::vector<int>({1013}));
    EXPECT_EQ(bank.TakeDue(950), std::vector<int>({1013}));
    EXPECT_EQ(bank.TakeDue(1000), std::vector<int>({1008}));
    EXPECT_EQ(bank.TakeDue(1100), std::vector<int>({1013}));
    EXPECT_EQ(bank.TakeDue(2000), std::vector<int>({1013, 1008}));  // earliest due first
    bank.Set(1008, 1000, 1500);  // restart: due at 2500, not 3000
    EXPECT_EQ(bank.TakeDue(2400), std::vector<int>({1013}));
    EXPECT_EQ(bank.TakeDue(2500), std::vector<int>({1008, 1013}));
    bank.Kill(1013);
    EXPECT_FALSE(bank.IsArmed(1013));
    EXPECT_EQ(bank.Period(1008), 1000u);
    EXPECT_EQ(bank.Period(1013), 0u);
}

}  // namespace
