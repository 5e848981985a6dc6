// The named-region commands: the name and size rules, the 100-region limit,
// exists, read and remove, and choosing the active region by name with the
// refresh of the ROI manager and the views.

#include <gtest/gtest.h>

#include <string>

#include "app/ActiveROI.h"
#include "app/FrameHooks.h"
#include "app/NamedROIList.h"
#include "app/VelloraApp.h"
#include "script/tests/CommandTestSupport.h"

namespace {

constexpr int kROI_ChooseByName = 151;
constexpr int kROI_Exists = 167;
constexpr int kROI_Read = 168;
constexpr int kROI_Write = 169;
constexpr int kROI_Remove = 170;

class ROICommandTest : public scripttest::CommandTest {
protected:
    void SetUp() override
    {
        CommandTest::SetUp();
        variables = scripttest::Declared({"int e = 5;", "int l = -1;", "int r = -1;", "int t = -1;",
                                          "int b = -1;", "double d = 0.5;"});
        NamedROIList empty;
        ASSERT_TRUE(empty.SaveToIni(g_IniPath.GetString()));
        theApp.SetImageViewInvalidator([this] { ++redraws; });
        FrameHooks hooks = GetFrameHooks();
        saved = hooks;
        hooks.showCurrentROI = [this] { ++managerRefreshes; };
        SetFrameHooks(hooks);
    }
    void TearDown() override
    {
        theApp.SetImageViewInvalidator(nullptr);
        SetFrameHooks(saved);
        CommandTest::TearDown();
    }
    int Stored()
    {
        NamedROIList list;
        list.LoadFromIni(g_IniPath.GetString());
        return list.count;
    }

    FrameHooks saved;
    int redraws = 0;
    int managerRefreshes = 0;
};

TEST_F(ROICommandTest, WriteChecksNameAndSizeInOrder)
{
    const std::string name32(32, 'a');
    const struct {
        std::string arguments;
        const char* result;
    } cases[] = {
        {"(\"" + name32 + "\", 0, 10, 0, 10);", "ok"},
        {"(\"" + name32 + "b\", 0, 10, 0, 10);", "Name may be no more than 32 characters"},
        {"(\"has space\", 0, 10, 0, 10);", "ROI names may only include letters, numbers and underscores."},
        {"(\"dash-ed\", 0, 10, 0, 10);", "ROI names may only include letters, numbers and underscores."},
        {"(\"Under_score9\", 0, 10, 0, 10);", "ok"},
        {"(\"\", 0, 10, 0, 10);", "ok"},  // an empty name is not checked
        {"(\"w\", 0, 9, 0, 10);", "right - left must be at least 10"},
        {"(\"w\", 0, 10, 5, 14);", "bottom - top must be at least 10"},
        {"(\"w\", -1, 10, -1, 10);", "left must be at least 0"},
        {"(\"w\", 0, 10, -1, 10);", "top must be at least 0"},
        {"(\"w\", 0, 5001, 0, 5001);", "right may be no more than 5000"},
        {"(\"w\", 0, 5000, 0, 5001);", "bottom may be no more than 5000"},
        // Far-apart coordinates do not wrap round into range.
        {"(\"w\", 2147483647, -2147483648, 0, 10);", "right - left must be at least 10"},
        {"(\"w\", 0, 10);", "Invalid int parameter 4"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Run(kROI_Write, c.arguments), c.result) << c.arguments;
    EXPECT_EQ(Stored(), 3);
    // Values are checked only when the line runs.
    EXPECT_EQ(Run(kROI_Write, "(\"bad name\", 0, 1, 0, 1);", true), "ok");
    EXPECT_EQ(Stored(), 3);
}

TEST_F(ROICommandTest, WriteReplacesReadsExistsAndRemove)
{
    ASSERT_EQ(Run(kROI_Write, "(\"Cells\", 10, 110, 20, 220);"), "ok");
    ASSERT_EQ(Run(kROI_Write, "(\"Other\", 0, 50, 0, 50);"), "ok");
    ASSERT_EQ(Run(kROI_Write, "(\"Cells\", 11, 111, 21, 221);"), "ok");
    EXPECT_EQ(Stored(), 2);
    EXPECT_EQ(Run(kROI_Read, "(\"Cells\", l, r, t, b);"), "ok");
    EXPECT_EQ(Value("l") + Value("r") + Value("t") + Value("b"), "int 11int 111int 21int 221");
    // Stored as name, left, right, top, bottom.
    EXPECT_NE(scripttest::ReadText(root / "Vellora.ini").find("\"Cells\",11,111,21,221"), std::string::npos);

    // A missing name reads nothing and succeeds; a double receives nothing.
    EXPECT_EQ(Run(kROI_Read, "(\"cells\", l, r, t, b);"), "ok");
    EXPECT_EQ(Value("l"), "int 11");
    EXPECT_EQ(Run(kROI_Read, "(\"Other\", d, r, t, b);"), "ok");
    EXPECT_EQ(Value("d"), "double 0.5");
    EXPECT_EQ(Value("r"), "int 50");

    EXPECT_EQ(Run(kROI_Exists, "(\"Cells\", e);"), "ok");
    EXPECT_EQ(Value("e"), "int 1");
    EXPECT_EQ(Run(kROI_Exists, "(\"CELLS\", e);"), "ok");
    EXPECT_EQ(Value("e"), "int 0");

    EXPECT_EQ(Run(kROI_Remove, "(\"CELLS\");"), "There is no ROI with name: CELLS");
    EXPECT_EQ(Run(kROI_Remove, "(\"Cells\");", true), "ok");
    EXPECT_EQ(Stored(), 2);
    EXPECT_EQ(Run(kROI_Remove, "(\"Cells\");"), "ok");
    EXPECT_EQ(Stored(), 1);
    EXPECT_EQ(Run(kROI_Exists, "(\"Cells\", e);"), "ok");
    EXPECT_EQ(Value("e"), "int 0");
    EXPECT_EQ(Run(kROI_Exists, "(\"Other\", e);"), "ok");
    EXPECT_EQ(Value("e"), "int 1");
}

TEST_F(ROICommandTest, AtMostAHundredRegions)
{
    NamedROIList list;
    for (int i = 0; i < 100; ++i)
        list.Add(new NamedROI(("r" + std::to_string(i)).c_str(), 0, 0, 10, 10));
    ASSERT_TRUE(list.SaveToIni(g_IniPath.GetString()));
    EXPECT_EQ(Run(kROI_Write, "(\"r100\", 0, 10, 0, 10);"),
              "Can't write new ROI object because there are already 100 named ROI objects.");
    EXPECT_EQ(Stored(), 100);
    EXPECT_EQ(Run(kROI_Exists, "(\"r100\", e);"), "ok");
    EXPECT_EQ(Value("e"), "int 0");
    EXPECT_EQ(Run(kROI_Write, "(\"r42\", 5, 20, 5, 20);"), "ok");
    EXPECT_EQ(Stored(), 100);
    EXPECT_EQ(Run(kROI_Read, "(\"r42\", l, r, t, b);"), "ok");
    EXPECT_EQ(Value("r"), "int 20");
}

TEST_F(ROICommandTest, ChooseByNameSetsTheActiveRegionAndRedrawsOnlyOnAChange)
{
    ASSERT_EQ(Run(kROI_Write, "(\"Pick\", 100, 300, 50, 250);"), "ok");
    ASSERT_EQ(Run(kROI_Write, "(\"Another\", 0, 20, 0, 20);"), "ok");
    *AllocateActiveROI() = ROIRect{};
    EXPECT_EQ(Run(kROI_ChooseByName, "(\"Pick\");", true), "ok");
    EXPECT_EQ(redraws, 0);
    EXPECT_EQ(Run(kROI_ChooseByName, "(\"pick\");"), "ROI with name: \"pick\" does not exist.");
    EXPECT_EQ(Run(kROI_ChooseByName, "(\"Pick\");"), "ok");
    const ROIRect active = *g_pActiveROI;
    EXPECT_EQ(active.left, 100);
    EXPECT_EQ(active.top, 50);
    EXPECT_EQ(active.right, 300);
    EXPECT_EQ(active.bottom, 250);
    EXPECT_EQ(redraws, 1);
    EXPECT_EQ(managerRefreshes, 1);
    EXPECT_EQ(Run(kROI_ChooseByName, "(\"Pick\");"), "ok");
    EXPECT_EQ(redraws, 1);
    EXPECT_EQ(Run(kROI_ChooseByName, "(\"Another\");"), "ok");
    EXPECT_EQ(redraws, 2);
    EXPECT_EQ(managerRefreshes, 2);
}

TEST_F(ROICommandTest, ChooseByNameWithoutARegionSectionSaysWhy)
{
    std::ofstream(root / "Vellora.ini", std::ios::binary) << "[Other]\r\nx=1\r\n";
    const std::string message = Run(kROI_ChooseByName, "(\"Pick\");");
    EXPECT_NE(message.find("ROI_ChooseByName()"), std::string::npos) << message;
    EXPECT_NE(message.find(g_IniPath.str()), std::string::npos) << message;
    // The other commands take a missing section as an empty list.
    EXPECT_EQ(Run(kROI_Exists, "(\"Pick\", e);"), "ok");
    EXPECT_EQ(Value("e"), "int 0");
    EXPECT_EQ(Run(kROI_Write, "(\"Pick\", 0, 10, 0, 10);"), "ok");
    EXPECT_EQ(Stored(), 1);
}

}  // namespace
