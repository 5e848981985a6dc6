// The logic of the image view's dialogs: named regions, boundary spacing
// and the typed display window.

#include <gtest/gtest.h>

#include "app/ActiveROI.h"
#include "app/FrameHooks.h"
#include "imaging/BoundarySpacing.h"
#include "imaging/DisplayWindowEdits.h"
#include "imaging/NamedROIEditing.h"
#include "imaging/tests/ImagingTestSupport.h"

namespace {

using imagingtest::ImagingTest;
using imagingtest::ReadText;
using imagingtest::WriteText;

class ViewDialogLogicTest : public ImagingTest {
protected:
    std::string RoiSection() const {
        const std::string text = ReadText(g_IniPath.str());
        const size_t start = text.find("[ROI]");
        return start == std::string::npos ? "" : text.substr(start);
    }
    static ROIEdits Edits(const char* name, const char* left, const char* right, const char* top,
                          const char* bottom) {
        return ROIEdits{name, left, right, top, bottom};
    }
};

TEST_F(ViewDialogLogicTest, ManagerSavesAddsAndDeletesInFileOrder) {
    ROIManagerModel model;
    model.Reload(g_IniPath);
    CString error;
    EXPECT_EQ(model.SaveChanges(Edits("A", "10", "300", "20", "400"), false, g_IniPath, error),
              ROIManagerModel::SaveResult::Added);
    EXPECT_EQ(RoiSection(), "[ROI]\r\nitem0=\"A\",10,300,20,400\r\n");
    model.SaveChanges(Edits("C", "1", "2", "3", "4"), false, g_IniPath, error);
    model.SaveChanges(Edits("B", "5", "6", "7", "8"), false, g_IniPath, error);
    EXPECT_EQ(model.SortedNames(), std::vector<std::string>({"A", "B", "C"}));

    // Same rectangle: nothing to save; another top: the stored one changes.
    EXPECT_FALSE(model.SaveEnabled(Edits("A", "10", "300", "20", "400")));
    EXPECT_TRUE(model.SaveEnabled(Edits("A", "10", "300", "21", "400")));
    EXPECT_TRUE(model.SaveEnabled(Edits("New", "10", "300", "20", "400")));
    EXPECT_FALSE(model.SaveEnabled(Edits(" \t", "10", "300", "20", "400")));
    EXPECT_FALSE(model.SaveEnabled(Edits("A", "", "300", "20", "400")));
    EXPECT_EQ(model.SaveChanges(Edits("A", "10", "300", "21", "400"), false, g_IniPath, error),
              ROIManagerModel::SaveResult::Replaced);

    // Deleting the middle of three keeps the others in their order.
    ASSERT_TRUE(model.Delete("C", false, g_IniPath));
    EXPECT_EQ(RoiSection(), "[ROI]\r\nitem0=\"A\",10,300,21,400\r\nitem1=\"B\",5,6,7,8\r\n");
    EXPECT_FALSE(model.Delete("C", false, g_IniPath));

    // While the list is being loaded nothing is written.
    model.SaveChanges(Edits("D", "1", "1", "1", "1"), true, g_IniPath, error);
    EXPECT_EQ(RoiSection().find("\"D\""), std::string::npos);
}

TEST_F(ViewDialogLogicTest, ManagerRefusesUnreadableNumbersAndAHundredAndFirstRegion) {
    std::string section = "[ROI]\r\n";
    for (int i = 0; i < 100; ++i) {
        section += "item" + std::to_string(i) + "=\"R" + std::to_string(i) + "\",0,10,0,10\r\n";
    }
    WriteText(g_IniPath.str(), section);
    ROIManagerModel model;
    model.Reload(g_IniPath);
    ASSERT_EQ(model.List().count, 100);
    CString error;
    EXPECT_EQ(model.SaveChanges(Edits("Extra", "1", "2", "3", "4"), false, g_IniPath, error),
              ROIManagerModel::SaveResult::Refused);
    EXPECT_STREQ(error.GetString(), ROIManagerModel::kTooManyMessage);
    EXPECT_EQ(model.List().count, 100);
    // Changing one of the hundred still works.
    EXPECT_EQ(model.SaveChanges(Edits("R5", "1", "2", "3", "4"), false, g_IniPath, error),
              ROIManagerModel::SaveResult::Replaced);
    EXPECT_NE(RoiSection().find("item5=\"R5\",1,2,3,4"), std::string::npos);

    EXPECT_EQ(model.SaveChanges(Edits("R6", "1", "x", "3", "4"), false, g_IniPath, error),
              ROIManagerModel::SaveResult::Refused);
    EXPECT_STREQ(error.GetString(), "Right is not a whole number");
    EXPECT_NE(RoiSection().find("item6=\"R6\",0,10,0,10"), std::string::npos);
}

TEST_F(ViewDialogLogicTest, LookupByNameAndTheChoosersOK) {
    WriteText(g_IniPath.str(), "[ROI]\r\nitem0=\"Cells\",10,300,20,400\r\n");
    ROIRect rect;
    CString error;
    ASSERT_TRUE(ROIManagerModel::SelectROIByName("Cells", rect, error));
    EXPECT_EQ(std::vector<int>({rect.left, rect.top, rect.right, rect.bottom}), std::vector<int>({10, 20, 300, 400}));
    EXPECT_FALSE(ROIManagerModel::SelectROIByName("Beads", rect, error));
    EXPECT_STREQ(error.GetString(), "There is not ROI with name: Beads");

    *AllocateActiveROI() = ROIRect{10, 19, 300, 400};
    g_ActiveROI = ROIRect{1, 2, 3, 4};
    EXPECT_TRUE(MakeChosenROIActive(rect));  // only the top differs
    EXPECT_EQ(g_pActiveROI->top, 20);
    EXPECT_EQ(g_ActiveROI.right, 0);
    EXPECT_FALSE(MakeChosenROIActive(rect));
}

TEST_F(ViewDialogLogicTest, SpacingMovesTheLineOppositeTheAnchor) {
    WriteText(g_IniPath.str(), "[CalibrationSettings]\r\nimage_pixels_per_mm=500\r\n");
    g_ChannelMagnetLines[0] = 400;
    g_ChannelMagnetLines[1] = 1500;
    g_ChannelMagnetLines[2] = 100;
    g_ChannelMagnetLines[3] = 1800;
    EXPECT_STREQ(BoundarySpacingText(BoundaryPair::Magnets).GetString(), "3.400");
    EXPECT_STREQ(BoundarySpacingText(BoundaryPair::Channels).GetString(), "2.200");

    EXPECT_FALSE(BoundaryUpdateEnabled(BoundaryPair::Magnets, "3.400", true));
    EXPECT_TRUE(BoundaryUpdateEnabled(BoundaryPair::Magnets, "4", false));
    EXPECT_TRUE(BoundaryUpdateEnabled(BoundaryPair::Magnets, "abc", true));
    EXPECT_FALSE(BoundaryUpdateEnabled(BoundaryPair::Magnets, "abc", false));

    ASSERT_TRUE(UpdateBoundarySpacing(BoundaryPair::Magnets, false, "4"));
    EXPECT_EQ(g_ChannelMagnetLines[2], -200);
    ASSERT_TRUE(UpdateBoundarySpacing(BoundaryPair::Magnets, true, "4.6"));
    EXPECT_EQ(g_ChannelMagnetLines[3], -200 + 2300);
    ASSERT_TRUE(UpdateBoundarySpacing(BoundaryPair::Channels, true, "1.0011"));  // 500.55 rounds up
    EXPECT_EQ(g_ChannelMagnetLines[1], 901);
    ASSERT_TRUE(UpdateBoundarySpacing(BoundaryPair::Channels, false, "1"));
    EXPECT_EQ(g_ChannelMagnetLines[0], 401);
    EXPECT_FALSE(UpdateBoundarySpacing(BoundaryPair::Channels, false, "wide"));
    EXPECT_EQ(g_ChannelMagnetLines[0], 401);

    const std::string ini = ReadText(g_IniPath.str());
    for (const char* line : {"UpperMagnet=-200", "LowerMagnet=2100", "LowerChannel=901", "UpperChannel=401"}) {
        EXPECT_NE(ini.find(line), std::string::npos) << line;
    }
}

TEST_F(ViewDialogLogicTest, TypedIntensitiesKeepSixteenBitsAndDefaultsAreWrittenAsTyped) {
    struct Case {
        const char* text;
        bool ok;
        int value;
    };
    const Case cases[] = {{"40000", true, 40000}, {"70000", true, 4464}, {"-1", true, 65535},
                          {"", false, 0},          {"high", false, 0}};
    for (const Case& c : cases) {
        uint16_t value = 0;
        CString error;
        EXPECT_EQ(ReadIntensityEdit(c.text, "Max Intensity", value, error), c.ok) << c.text;
        if (c.ok) EXPECT_EQ(value, c.value) << c.text;
        else EXPECT_STREQ(error.GetString(), "Max Intensity is not a whole number");
    }
    ASSERT_TRUE(SaveDisplayWindowDefaults("", "12"));
    const std::string ini = ReadText(g_IniPath.str());
    EXPECT_NE(ini.find("MaxIntensity=\r\n"), std::string::npos);
    EXPECT_NE(ini.find("MinIntensity=12\r\n"), std::string::npos);
}

}  // namespace
