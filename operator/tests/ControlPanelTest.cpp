#include <gtest/gtest.h>

#include "devices/tests/InstrumentLines.h"
#include "operator/ControlPanel.h"
#include "script/tests/ScriptRunTestSupport.h"
#include "support/Profile.h"

namespace {

using scripttest::ReadText;
namespace fs = std::filesystem;

class ControlPanelTest : public scripttest::ScriptFolderTest {
protected:
    void SetUp() override {
        ScriptFolderTest::SetUp();
        fs::remove(root / "Default.ControlPanel");
        fs::remove(root / "ActiveControlPanel.ini");
    }
    void Set(const std::string& file, int button, const char* key, const char* value) {
        Tovanix::E_WritePrivateProfileString(("ControlPanelButton_" + std::to_string(button)).c_str(), key, value,
                                             (root / file).c_str());
    }
    std::string Get(const std::string& file, const char* section, const char* key) {
        char buffer[256] = {};
        Tovanix::E_GetPrivateProfileString(section, key, "<missing>", buffer, sizeof buffer, (root / file).c_str());
        return buffer;
    }
    std::string Boxes() {
        std::string text;
        for (const auto& box : ui.ShownBoxes()) text += box.text + "|";
        return text;
    }
};

TEST_F(ControlPanelTest, ColoursParseAsThreeNumbersOrFallBackToGrey) {
    const struct {
        const char* text;
        uint32_t color;
    } cases[] = {
        {"10,20,30", 10 + 20 * 256 + 30 * 65536},
        {"255,0,0", 255},
        {"0, 128,0", 128 * 256},
        {"red", ControlPanel::kDefaultColor},
        {"1,2", ControlPanel::kDefaultColor},
        {"", ControlPanel::kDefaultColor},
    };
    for (const auto& c : cases) EXPECT_EQ(ControlPanel::ParseColor(c.text), c.color) << c.text;
    EXPECT_EQ(ControlPanel::FormatColor(10 + 20 * 256 + 30 * 65536), "10,20,30");

    Set("Default.ControlPanel", 2, "Color", "0,0,255");
    const std::string panel = ControlPanel::GetActivePanelPath();
    EXPECT_EQ(panel, (root / "Default.ControlPanel").string());
    EXPECT_EQ(ControlPanel::GetButtonColor(panel, 1092), 255u * 65536);
    EXPECT_EQ(ControlPanel::GetButtonColor(panel, 1091), ControlPanel::kDefaultColor);
    EXPECT_EQ(ControlPanel::GetButtonColor(panel, 1111), ControlPanel::kDefaultColor);
}

TEST_F(ControlPanelTest, TitlesAndScriptsOfTheActivePanel) {
    Tovanix::E_WritePrivateProfileString("ControlPanel", "ActiveControlPanel", "Wash",
                                         (root / "ActiveControlPanel.ini").c_str());
    Set("Wash.ControlPanel", 1, "Script", "prime.scr");  // no title
    Set("Wash.ControlPanel", 2, "Script", "prime.scr");
    Set("Wash.ControlPanel", 2, "Title", "");
    Set("Wash.ControlPanel", 3, "Title", "Lonely");  // no script
    Set("Wash.ControlPanel", 4, "Script", "<NotAssigned>");
    Set("Wash.ControlPanel", 5, "Script", "STOP");
    Set("Wash.ControlPanel", 5, "Title", "Halt");
    const std::string panel = ControlPanel::GetActivePanelPath();
    EXPECT_EQ(panel, (root / "Wash.ControlPanel").string());
    const char* titles[] = {"[Empty]", "", "<NotAssigned>", "<NotAssigned>", "Halt", "<NotAssigned>"};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(ControlPanel::GetButtonTitle(panel, 1091 + i), titles[i]) << i;
    EXPECT_EQ(ControlPanel::GetButtonScript(1095), "STOP");
    EXPECT_EQ(ControlPanel::GetButtonScript(1090), "");
}

TEST_F(ControlPanelTest, ButtonsRunStopAndReportTheInterpretersRefusal) {
    Write("Scripts/long.scr", "Wait(1000);\n");
    Set("Default.ControlPanel", 1, "Script", "long.scr");
    Set("Default.ControlPanel", 2, "Script", "sToP");
    Set("Default.ControlPanel", 3, "Title", "nothing");

    EXPECT_FALSE(ControlPanel::RunButtonScript(1093));
    EXPECT_EQ(Boxes(), "No script assigned to this button.|");
    ui.Clear();

    ASSERT_TRUE(ControlPanel::RunButtonScript(1091));
    ASSERT_TRUE(scripttest::StandInWait::Instance().WaitUntilBlocked());
    // A second press while the script runs is refused; the run goes on.
    EXPECT_FALSE(ControlPanel::RunButtonScript(1091));
    EXPECT_EQ(Boxes(), "CreateActiveScriptHandle(0) - Interpreter instance with handle: 0 already exists.|");
    EXPECT_TRUE(Script::IsScriptRunning(0, nullptr));

    // "Stop" in any case stops interpreter 0 and runs nothing.
    ASSERT_TRUE(ControlPanel::RunButtonScript(1092));
    EXPECT_FALSE(Script::IsScriptRunning(0, nullptr));
    scripttest::StandInWait::Instance().ReleaseAll();
    EXPECT_TRUE(observer.WaitForEnds(1));
}

TEST_F(ControlPanelTest, PanelNameRules) {
    Set("Default.ControlPanel", 1, "Script", "a.scr");
    Set("Other.ControlPanel", 1, "Script", "b.scr");
    const auto active = [&] { return ControlPanel::GetActivePanelName(); };

    std::string name = "dEfAuLt";
    EXPECT_EQ(ControlPanel::ChoosePanel(&name), ControlPanel::PanelChoice::Refreshed);
    name = " \t";
    EXPECT_EQ(ControlPanel::ChoosePanel(&name), ControlPanel::PanelChoice::Ignored);
    name = std::string(33, 'x');
    EXPECT_EQ(ControlPanel::ChoosePanel(&name), ControlPanel::PanelChoice::Refused);
    EXPECT_EQ(Boxes(), "Control panel names may not be longer than 32 characters.|");
    ui.Clear();

    // An existing panel is switched to without a question.
    name = "Other";
    EXPECT_EQ(ControlPanel::ChoosePanel(&name), ControlPanel::PanelChoice::Switched);
    EXPECT_EQ(active(), "Other");
    EXPECT_TRUE(ui.ShownBoxes().empty());

    // An invalid name is repaired when the operator agrees.
    name = "a:b";
    ui.QueueAnswer(platform::IDNO);
    EXPECT_EQ(ControlPanel::ChoosePanel(&name), ControlPanel::PanelChoice::Refused);
    EXPECT_EQ(name, "a:b");
    ui.Clear();

    // 32 characters are accepted; the new panel is a copy of the active one.
    const std::string longName = "a:" + std::string(30, 'n');
    name = longName;
    for (int i = 0; i < 3; ++i) ui.QueueAnswer(platform::IDYES);
    EXPECT_EQ(ControlPanel::ChoosePanel(&name), ControlPanel::PanelChoice::Switched);
    EXPECT_EQ(name, "a_" + std::string(30, 'n'));
    ASSERT_EQ(ui.ShownBoxes().size(), 3u);
    EXPECT_EQ(ui.ShownBoxes()[0].text, "The control panel must be a valid file name. Fix the name?");
    EXPECT_EQ(ui.ShownBoxes()[1].text, "Create a new control panel: " + name + "?");
    EXPECT_EQ(ui.ShownBoxes()[2].text, "The contents of the active control panel Other will be copied to the new "
                                       "control panel " + name + ". Continue?");
    EXPECT_EQ(ReadText(root / (name + ".ControlPanel")), ReadText(root / "Other.ControlPanel"));
    EXPECT_EQ(active(), name);
}

TEST_F(ControlPanelTest, NewPanelsNeedBothAnswersAndAnActivePanelToCopy) {
    Set("Default.ControlPanel", 1, "Script", "a.scr");
    std::string name = "Fresh";
    ui.QueueAnswer(platform::IDYES);
    ui.QueueAnswer(platform::IDNO);
    EXPECT_EQ(ControlPanel::ChoosePanel(&name), ControlPanel::PanelChoice::Refused);
    EXPECT_FALSE(fs::exists(root / "Fresh.ControlPanel"));
    EXPECT_EQ(ControlPanel::GetActivePanelName(), "Default");
    ui.Clear();

    // The active panel's file is missing: the copy fails and is reported.
    fs::remove(root / "Default.ControlPanel");
    ui.QueueAnswer(platform::IDYES);
    ui.QueueAnswer(platform::IDYES);
    EXPECT_EQ(ControlPanel::ChoosePanel(&name), ControlPanel::PanelChoice::Refused);
    ASSERT_EQ(ui.ShownBoxes().size(), 3u);
    EXPECT_EQ(ui.ShownBoxes()[2].text, "Problem copying file: " + (root / "Default.ControlPanel").string() + "\n to " +
                                           (root / "Fresh.ControlPanel").string());
    EXPECT_FALSE(fs::exists(root / "ActiveControlPanel.ini"));
}

TEST_F(ControlPanelTest, ListsPanelsCutAtTheirFirstDot) {
    Set("Default.ControlPanel", 1, "Title", "x");
    Set("v1.2.ControlPanel", 1, "Title", "x");
    Set("Wash.controlpanel", 1, "Title", "x");
    Write("Notes.txt", "");
    EXPECT_EQ(ControlPanel::ListPanelNames(), (std::vector<std::string>{"Default", "v1", "Wash"}));
}

TEST_F(ControlPanelTest, ButtonPropertiesLoadAndSave) {
    Write("Scripts/prime.scr", "");
    const std::string panel = (root / "Default.ControlPanel").string();
    ControlPanel::ButtonProperties loaded = ControlPanel::LoadButtonProperties(panel, "ControlPanelButton_4");
    EXPECT_EQ(loaded.script, "<NotAssigned>");
    EXPECT_EQ(loaded.title, "");
    EXPECT_EQ(loaded.color, ControlPanel::kDefaultColor);
    const std::vector<std::string> scripts = ControlPanel::AssignableScripts();
    EXPECT_EQ(scripts, (std::vector<std::string>{"<NotAssigned>", "prime.scr", "Stop"}));

    const std::string script = "Stop";
    ASSERT_TRUE(ControlPanel::SaveButtonProperties(panel, "ControlPanelButton_4", 1 + 2 * 256 + 3 * 65536, "Halt",
                                                   &script));
    EXPECT_EQ(Get("Default.ControlPanel", "ControlPanelButton_4", "Color"), "1,2,3");
    EXPECT_EQ(Get("Default.ControlPanel", "ControlPanelButton_4", "Title"), "Halt");
    EXPECT_EQ(Get("Default.ControlPanel", "ControlPanelButton_4", "Script"), "Stop");
    // Without a chosen script the stored one stays.
    ASSERT_TRUE(ControlPanel::SaveButtonProperties(panel, "ControlPanelButton_4", 0, "", nullptr));
    EXPECT_EQ(Get("Default.ControlPanel", "ControlPanelButton_4", "Script"), "Stop");
    EXPECT_EQ(Get("Default.ControlPanel", "ControlPanelButton_4", "Title"), "");
}

TEST_F(ControlPanelTest, StartUpSeedsTheDefaultPanelFromTheMainSettingsOnce) {
    Tovanix::E_WritePrivateProfileString("ControlPanelButton_3", "Title", "Prime", g_IniPath);
    Tovanix::E_WritePrivateProfileString("ControlPanelButton_3", "Script", "prime.scr", g_IniPath);
    ControlPanel::EnsureActiveControlPanelIni();
    EXPECT_EQ(Get("Default.ControlPanel", "ControlPanelButton_3", "Title"), "Prime");
    EXPECT_EQ(Get("Default.ControlPanel", "ControlPanelButton_3", "Script"), "prime.scr");
    EXPECT_EQ(Get("Default.ControlPanel", "ControlPanelButton_20", "Color"), "");
    EXPECT_EQ(Get("ActiveControlPanel.ini", "ControlPanel", "ActiveControlPanel"), "Default");

    Set("Default.ControlPanel", 3, "Title", "Edited");
    ControlPanel::EnsureActiveControlPanelIni();
    EXPECT_EQ(Get("Default.ControlPanel", "ControlPanelButton_3", "Title"), "Edited");
}

class SyringeGaugeTest : public devices_testing::InstrumentLines {};

TEST_F(SyringeGaugeTest, ReadsVolumeAndDisplacementFromThePumps) {
    OpenPumps();
    pumps->ModifyPump(1, [](sim::PumpSimulator::PumpState& pump) {
        pump.syringeVolumeUl = 1250;
        pump.plungerIncrements = sim::PumpSimulator::UlToIncrements(250, 1250);
    });
    const ControlPanel::SyringeReading first = ControlPanel::ReadSyringe(1, true);
    ASSERT_TRUE(first.haveVolume);
    ASSERT_TRUE(first.haveDisplacement);
    EXPECT_EQ(first.volumeUl, 1250);
    EXPECT_NEAR(first.displacementUl, 250, 0.5);
    EXPECT_EQ(ControlPanel::GaugePosition(first.volumeUl, first.displacementUl), 1000);
    EXPECT_EQ(ControlPanel::DisplacementText(first.displacementUl), "250");
    EXPECT_EQ(pumps->ReceivedBytes(), "/1?17\r/1?18\r");

    // The refresh asks the displacement only.
    pumps->ClearReceived();
    EXPECT_FALSE(ControlPanel::ReadSyringe(2, false).haveVolume);
    EXPECT_EQ(pumps->ReceivedBytes(), "/2?18\r");

    // Without a pump port nothing is read.
    theApp.m_nPumpComPort = 0;
    const ControlPanel::SyringeReading none = ControlPanel::ReadSyringe(1, true);
    EXPECT_FALSE(none.haveVolume);
    EXPECT_FALSE(none.haveDisplacement);
}

}  // namespace
