#include "imaging/ChannelMagnetLineSearch.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "imaging/ImageDoc.h"
#include "imaging/ImageView.h"
#include "imaging/RenderOverlays.h"
#include "imaging/tests/ImagingTestSupport.h"
#include "platform/UiBridge.h"

namespace {

using imagingtest::FakeViewWindow;
using imagingtest::ImagingTest;
using imagingtest::WriteText;

// The row brightness of a 2048-row channel image: dark magnets at the top
// (up to row 80, rising to full brightness at row 120) and the bottom (from
// row 1970, falling from row 1930), bright between, the channel's interior
// a little darker, and the two walls V-shaped dips at rows 400 and 1500.
int32_t ChannelRow(int y) {
    if (y < 80) return 200;
    if (y <= 120) return 200 + 70 * (y - 80);
    if (std::abs(y - 400) <= 20) return 1000 + 100 * std::abs(y - 400);
    if (std::abs(y - 1500) <= 18) return 1200 + 100 * std::abs(y - 1500);
    if (y > 420 && y < 1482) return 2500;
    if (y >= 1930 && y <= 1970) return 3000 - 70 * (y - 1930);
    if (y > 1970) return 200;
    return 3000;
}

std::vector<int32_t> ChannelProfile(int rows = 2048) {
    std::vector<int32_t> profile(static_cast<size_t>(rows));
    for (int y = 0; y < rows; ++y) profile[static_cast<size_t>(y)] = ChannelRow(y);
    return profile;
}

cv::Mat ChannelImage(int cols = 48) {
    cv::Mat image(2048, cols, CV_16UC1);
    for (int y = 0; y < image.rows; ++y) {
        // Every row's median is its brightness; a few outliers do not move it.
        image.row(y).setTo(ChannelRow(y));
        image.at<uint16_t>(y, 0) = 65535;
        image.at<uint16_t>(y, 1) = 0;
    }
    return image;
}

TEST(ChannelMagnetLineSearchTest, FindsTheWallsRefinedAndTheMagnetsAtTheirThreshold) {
    ChannelMagnetLines lines;
    CString error;
    ASSERT_TRUE(FindChannelAndMagnetLines(ChannelProfile(), ChannelMagnetLineParams(), lines, error)) << error.str();
    // Walls: the dips at 400 and 1500, moved to where the profile passes 80 %
    // of the way back to the bright level (thresholds 2600 and 2640).
    EXPECT_EQ(lines.upperChannel, 384);
    EXPECT_EQ(lines.lowerChannel, 1515);
    // Magnets: where the profile crosses 30 % of its 90th percentile (900);
    // the first estimates (rows 91 and 1956, as dark as the walls) give way.
    EXPECT_EQ(lines.upperMagnet, 89);
    EXPECT_EQ(lines.lowerMagnet, 1961);

    // A smaller share keeps the walls nearer their dips.
    ChannelMagnetLineParams params;
    params.channel_relative_intensity_pct = 0.5;  // thresholds 2000 and 2100
    ASSERT_TRUE(FindChannelAndMagnetLines(ChannelProfile(), params, lines, error));
    EXPECT_EQ(lines.upperChannel, 390);
    EXPECT_EQ(lines.lowerChannel, 1509);
}

TEST(ChannelMagnetLineSearchTest, EqualDeepestMinimaTakeTheUpperAndAMissingLowerMagnetIsNoFailure) {
    std::vector<int32_t> profile = ChannelProfile();
    // A second dip as deep as the wall's, lower in the window.
    for (int y = 580; y <= 620; ++y) profile[static_cast<size_t>(y)] = 1000 + 100 * std::abs(y - 600);
    // No dark region at the bottom.
    for (int y = 1519; y < 2048; ++y) profile[static_cast<size_t>(y)] = 3000;
    ChannelMagnetLines lines;
    CString error;
    ASSERT_TRUE(FindChannelAndMagnetLines(profile, ChannelMagnetLineParams(), lines, error)) << error.str();
    EXPECT_EQ(lines.upperChannel, 384);
    EXPECT_EQ(lines.lowerChannel, 1500);  // no bright level below the wall to refine towards
    EXPECT_EQ(lines.lowerMagnet, -1);
}

TEST(ChannelMagnetLineSearchTest, EachMissingLineStopsTheSearchWithItsMessage) {
    struct Case {
        const char* name;
        std::vector<int32_t> profile;
        const char* message;
    };
    std::vector<int32_t> noLowerWall = ChannelProfile();
    for (int y = 1482; y <= 1518; ++y) noLowerWall[static_cast<size_t>(y)] = 2500;
    std::vector<int32_t> noUpperMagnet = ChannelProfile();
    for (int y = 0; y < 380; ++y) noUpperMagnet[static_cast<size_t>(y)] = 3000;
    // Wall dips at row 101 of a 106-row profile and at row 1406 of a 1410-row
    // one: their neighbours five rows below lie past the end, so neither counts.
    std::vector<int32_t> shortTop(106, 3000);
    for (int y = 96; y < 106; ++y) shortTop[static_cast<size_t>(y)] = 1000 + 100 * std::abs(y - 101);
    std::vector<int32_t> shortBottom = ChannelProfile(1410);
    for (int y = 1400; y < 1410; ++y) shortBottom[static_cast<size_t>(y)] = 1000 + 100 * std::abs(y - 1406);
    const Case cases[] = {
        {"flat", std::vector<int32_t>(2048, 3000), "Could not find upper channel line."},
        {"no lower wall", noLowerWall, "Could not find lower channel line."},
        {"image too short for the lower window", ChannelProfile(1300), "Could not find lower channel line."},
        {"no dark rows above the upper wall", noUpperMagnet, "Could not find the upper magnet line"},
        {"upper dip at the end of a short profile", shortTop, "Could not find upper channel line."},
        {"lower dip at the end of the profile", shortBottom, "Could not find lower channel line."},
    };
    for (const Case& c : cases) {
        ChannelMagnetLines lines;
        CString error;
        EXPECT_FALSE(FindChannelAndMagnetLines(c.profile, ChannelMagnetLineParams(), lines, error)) << c.name;
        EXPECT_STREQ(error.GetString(), c.message) << c.name;
    }
}

class ChannelAndMagnetPositionsTest : public ImagingTest {
protected:
    void SetUp() override {
        ImagingTest::SetUp();
        document.m_pImage = new cv::Mat(ChannelImage());
        document.SetPathName(Path("Run1_BRIGHTFIELD_0001.png").c_str());
    }
    std::vector<int> Rows() const {
        return {g_ChannelMagnetLines[0], g_ChannelMagnetLines[1], g_ChannelMagnetLines[2], g_ChannelMagnetLines[3]};
    }

    CImageDoc document;
    FakeViewWindow window{200, 160};
    platform::ScriptedUiBridge ui;
    platform::ScopedUiBridge useUi{ui};
};

TEST_F(ChannelAndMagnetPositionsTest, LinesShowAtOnceAndYesKeepsThemAsCalibration) {
    WriteText(g_IniPath.str(), "[ChannelAndMagnetLineAlgoParams]\r\nchannel_relative_intensity_pct=0.5\r\n");
    CImageView view(&document, &window);
    const int before = window.invalidations;
    view.OnChannelAndMagnetPositions();
    EXPECT_EQ(Rows(), (std::vector<int>{390, 1509, 89, 1961}));
    EXPECT_GT(window.invalidations, before);
    ASSERT_EQ(window.timers.size(), 1u);
    EXPECT_EQ(window.timers[0], (std::pair<int, int>{1001, 1000}));
    EXPECT_TRUE(ui.ShownBoxes().empty());

    ui.QueueAnswer(platform::IDYES);
    view.OnTimer(1001);
    ASSERT_EQ(ui.ShownBoxes().size(), 1u);
    EXPECT_EQ(ui.ShownBoxes()[0].text, "Do you want to keep the Channel and Magnet Lines?");
    EXPECT_EQ(ui.ShownBoxes()[0].type & 0x0F, platform::MB_YESNO);
    const std::string ini = imagingtest::ReadText(g_IniPath.str());
    for (const char* line : {"UpperChannel=390", "LowerChannel=1509", "UpperMagnet=89", "LowerMagnet=1961"})
        EXPECT_NE(ini.find(line), std::string::npos) << line << " in " << ini;
}

TEST_F(ChannelAndMagnetPositionsTest, NoReadsTheStoredLinesBackAndAMissingKeyKeepsTheSearchedRow) {
    WriteText(g_IniPath.str(), "[CalibrationSettings]\r\nUpperChannel=410\r\nLowerChannel=1490\r\n"
                               "UpperMagnet=garbage\r\n");
    CImageView view(&document, &window);
    view.OnChannelAndMagnetPositions();
    ui.QueueAnswer(platform::IDNO);
    const int before = window.invalidations;
    view.OnTimer(1001);
    EXPECT_EQ(Rows(), (std::vector<int>{410, 1490, 89, 1961}));
    EXPECT_GT(window.invalidations, before);
    EXPECT_EQ(imagingtest::ReadText(g_IniPath.str()).find("LowerMagnet"), std::string::npos);
}

TEST_F(ChannelAndMagnetPositionsTest, FailedSearchTellsWhyAndLeavesTheLines) {
    *document.m_pImage = imagingtest::Flat16(2048, 48, 3000);
    for (int k = 0; k < 4; ++k) g_ChannelMagnetLines[k] = 11 * (k + 1);
    CImageView view(&document, &window);
    view.OnChannelAndMagnetPositions();
    EXPECT_EQ(Rows(), (std::vector<int>{11, 22, 33, 44}));
    EXPECT_TRUE(window.timers.empty());
    ASSERT_EQ(ui.ShownBoxes().size(), 1u);
    EXPECT_EQ(ui.ShownBoxes()[0].text, "Could not find upper channel line.");
    EXPECT_NE(LogText().find("Could not find upper channel line."), std::string::npos);
}

}  // namespace
