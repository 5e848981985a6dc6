// The custom prompt's layout and the clocks of the wait and notice windows.

#include <gtest/gtest.h>

#include "app/VelloraApp.h"
#include "operator/PromptLayout.h"
#include "operator/PromptTimers.h"
#include "platform/Files.h"
#include "platform/Folders.h"

namespace {

RECT Box(int left, int right) { return RECT{left, 100, right, 123}; }

TEST(PromptLayout, LabelsSplitAtSemicolonsWithQuotedLabelsWhole)
{
    EXPECT_EQ(SplitButtonLabels("Yes;No;Later"), (std::vector<std::string>{"Yes", "No", "Later"}));
    EXPECT_EQ(SplitButtonLabels("  Yes; \"No;never\""), (std::vector<std::string>{"Yes", "No;never"}));
    EXPECT_TRUE(SplitButtonLabels("").empty());
}

TEST(PromptLayout, AButtonIsSizedToItsTextAndKeepsItsCentre)
{
    // Text 40 + 2 x "W" 12 = 64 wide from 50: 7 pixels more on each side.
    EXPECT_EQ(SizeButtonToText(Box(100, 150), 40, 12, 1.0), Box(93, 157));
    // Narrower than before; an odd difference loses its half pixel.
    EXPECT_EQ(SizeButtonToText(Box(100, 150), 11, 12, 1.0), Box(107, 143));
    // Scaled measures are rounded to whole pixels first: 40 x 1.5 = 60, 12 x 1.5 = 18: 96 wide.
    EXPECT_EQ(SizeButtonToText(Box(100, 150), 40, 12, 1.5), Box(77, 173));
    EXPECT_EQ(ButtonGap(1.0), 8);
    EXPECT_EQ(ButtonGap(1.25), 10);
    EXPECT_EQ(ButtonGap(1.3), 10);
}

TEST(PromptLayout, ShownButtonsFormOneCentredRowInTheirLeftToRightOrder)
{
    // Widths 60 and 40, gap 8: S = 2 x 8 - 1 + 61 + 41 = 117; first left (400 - 117 + 1) / 2 = 142.
    std::vector<RECT> buttons = {Box(300, 340), Box(10, 70)};
    PlaceButtonRow(buttons, 400, 8);
    EXPECT_EQ(buttons[1], Box(142, 202));
    EXPECT_EQ(buttons[0], Box(211, 251));

    std::vector<RECT> none;
    PlaceButtonRow(none, 400, 8);
    EXPECT_TRUE(none.empty());
}

TEST(PromptLayout, TheMonitorScaleFactorFallsBackToOne)
{
    const std::string ini = platform::JoinPath(platform::PublicDocumentsFolder(), "Vellora.ini");
    g_IniPath = ini.c_str();
    const struct {
        const char* settings;
        double scale;
    } cases[] = {
        {"[ExperimentSettings]\r\nMonitorScaleFactor=1.5\r\n", 1.5},
        {"[ExperimentSettings]\r\nMonitorScaleFactor=abc\r\n", 1.0},
        {"[ExperimentSettings]\r\nOther=2\r\n", 1.0},
        {"", 1.0},
    };
    for (const auto& c : cases) {
        const std::string text = c.settings;
        ASSERT_TRUE(platform::WriteFileAtomically(ini, text.data(), text.size()));
        EXPECT_DOUBLE_EQ(ReadMonitorScaleFactor(), c.scale) << c.settings;
    }
}

TEST(WaitCountdown, CountsDownAndClosesInItsLastMoments)
{
    EXPECT_EQ(FormatWaitTime(0), "00:00");
    EXPECT_EQ(FormatWaitTime(75), "01:15");
    EXPECT_EQ(FormatWaitTime(6000), "100:00");  // more than 99 minutes: three digits

    WaitCountdown wait;
    EXPECT_EQ(wait.Start(1, false, 10000), "00:01");
    // 950 ms later 50 ms remain: the field empties and the window closes.
    WaitCountdown::Tick tick = wait.OnTimer(10950);
    EXPECT_EQ(tick.text, "");
    EXPECT_TRUE(tick.close);

    EXPECT_EQ(wait.Start(3, false, 0), "00:03");
    tick = wait.OnTimer(950);
    EXPECT_EQ(tick.text, "00:02");  // 2050 ms remain
    EXPECT_FALSE(tick.close);
    tick = wait.OnTimer(2700);
    EXPECT_EQ(tick.text, "");  // 300 ms remain: empty, not yet closed
    EXPECT_FALSE(tick.close);
    EXPECT_TRUE(wait.OnTimer(2850).close);
}

TEST(WaitCountdown, CountingUpShowsTheElapsedTimeAndStillCloses)
{
    WaitCountdown wait;
    EXPECT_EQ(wait.Start(120, true, 0), "00:00");
    EXPECT_EQ(wait.OnTimer(950).text, "00:01");
    EXPECT_EQ(wait.OnTimer(61400).text, "01:01");
    EXPECT_FALSE(wait.OnTimer(119000).close);
    EXPECT_TRUE(wait.OnTimer(119900).close);
}

TEST(OperatorNotice, SecondsDecideHowLongTheNoticeStays)
{
    OperatorNotice notice;
    // 0: hidden first, then shown, and the first tick hides it.
    OperatorNotice::Actions actions = notice.Inform(0);
    EXPECT_TRUE(actions.hideFirst);
    EXPECT_EQ(actions.timer, OperatorNotice::Timer::StartAtOnce);
    EXPECT_TRUE(notice.OnTimer());

    // Below 0: no timer, it stays until closed.
    actions = notice.Inform(-1);
    EXPECT_FALSE(actions.hideFirst);
    EXPECT_EQ(actions.timer, OperatorNotice::Timer::Kill);

    // A second notice with 5 seconds gives the shown notice a countdown.
    actions = notice.Inform(5);
    EXPECT_EQ(actions.timer, OperatorNotice::Timer::StartEverySecond);
    for (int tick = 1; tick < 5; ++tick)
        EXPECT_FALSE(notice.OnTimer()) << tick;
    EXPECT_TRUE(notice.OnTimer());
    EXPECT_EQ(notice.SecondsLeft(), 0);
}

}  // namespace
