#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>

#include "app/AdminMode.h"
#include "app/FrameCommands.h"
#include "devices/tests/InstrumentLines.h"
#include "operator/ui/ControlPanelDlg.h"
#include "operator/ui/ScriptWindows.h"
#include "operator/ui/ScriptsDlg.h"
#include "platform/testsupport/QtTestApplication.h"
#include "script/tests/ScriptRunTestSupport.h"
#include "support/Profile.h"

namespace {

using scripttest::StandInWait;
namespace fs = std::filesystem;

void SetButton(const std::string& panelFile, int button, const char* key, const char* value) {
    Tovanix::E_WritePrivateProfileString(("ControlPanelButton_" + std::to_string(button)).c_str(), key, value,
                                         panelFile.c_str());
}

std::string Setting(const std::string& file, const char* section, const char* key) {
    char buffer[256] = {};
    Tovanix::E_GetPrivateProfileString(section, key, "<missing>", buffer, sizeof buffer, file.c_str());
    return buffer;
}

void SaveScreenshot(QWidget& window, const char* name) {
    if (const char* folder = std::getenv("VELLORA_SCREENSHOTS")) window.grab().save(QString(folder) + "/" + name);
}

class ControlPanelDlgTest : public scripttest::ScriptFolderTest {
protected:
    void SetUp() override {
        testsupport::EnsureApplication();
        ScriptFolderTest::SetUp();
        theApp.m_bAdminMode = false;
        panel = (root / "Default.ControlPanel").string();
        fs::remove(panel);
        SetButton(panel, 1, "Script", "long.scr");
        SetButton(panel, 1, "Title", "Prime");
        SetButton(panel, 1, "Color", "255,0,0");
        SetButton(panel, 2, "Script", "Stop");
        SetButton(panel, 2, "Title", "Stop");
        SetButton(panel, 2, "Color", "0,200,0");
        SetButton(panel, 3, "Title", "unassigned");
        Write("Scripts/long.scr", "Wait(1000);\n");
        InstallScriptWindows(commands, nullptr);
        ASSERT_TRUE(commands.Execute(cmd::ControlPanel));
        dlg = g_ControlPanelDlg;
        ASSERT_NE(dlg, nullptr);
        ASSERT_TRUE(dlg->isVisible());
    }
    void TearDown() override {
        StandInWait::Instance().ReleaseAll();
        delete g_ControlPanelDlg;
        delete g_ScriptsDlg;
        ScriptFolderTest::TearDown();
    }
    void SetAdminMode(bool on) {
        theApp.m_bAdminMode = on;
        GetAdminModeChangedHook()(on);
    }

    CommandRouter commands;
    ControlPanelDlg* dlg = nullptr;
    std::string panel;
};

TEST_F(ControlPanelDlgTest, OutsideAdministratorModeOnlyButtonsWithAScriptShow) {
    EXPECT_EQ(dlg->windowTitle(), "Control Panel");
    EXPECT_EQ(dlg->PanelName()->currentText(), "Default");
    EXPECT_FALSE(dlg->PanelName()->isEnabled());
    EXPECT_TRUE(dlg->Button(1091)->isVisible());
    EXPECT_EQ(dlg->Button(1091)->text(), "Prime");
    EXPECT_EQ(dlg->Color(1091), 255u);
    EXPECT_EQ(dlg->Color(1092), 200u * 256);
    EXPECT_TRUE(dlg->Button(1092)->isVisible());
    EXPECT_FALSE(dlg->Button(1093)->isVisible());
    EXPECT_FALSE(dlg->Button(1110)->isVisible());
    // Without a pump port the gauges keep their empty look.
    EXPECT_TRUE(dlg->Gauge(1)->isVisible());
    EXPECT_TRUE(dlg->GaugeLabel(2)->text().isEmpty());
    SaveScreenshot(*dlg, "ControlPanel.png");

    SetAdminMode(true);
    EXPECT_TRUE(dlg->PanelName()->isEnabled());
    EXPECT_TRUE(dlg->Button(1093)->isVisible());
    EXPECT_EQ(dlg->Button(1093)->text(), "<NotAssigned>");
    EXPECT_EQ(dlg->Color(1093), 192u + 192 * 256 + 192 * 65536);
    SaveScreenshot(*dlg, "ControlPanelAdmin.png");

    // Pressing a button without a script says so.
    QTest::mouseClick(dlg->Button(1093), Qt::LeftButton);
    ASSERT_EQ(ui.ShownBoxes().size(), 1u);
    EXPECT_EQ(ui.ShownBoxes()[0].text, "No script assigned to this button.");

    ASSERT_TRUE(commands.Execute(cmd::ControlPanel));
    EXPECT_FALSE(dlg->isVisible());
}

TEST_F(ControlPanelDlgTest, ButtonsRunAndStopAndTheCaptionTellsARun) {
    QTest::mouseClick(dlg->Button(1091), Qt::LeftButton);
    ASSERT_TRUE(StandInWait::Instance().WaitUntilBlocked());
    EXPECT_FALSE(dlg->Button(1091)->isDown());
    dlg->UpdateCaption();
    EXPECT_EQ(dlg->windowTitle(), "Control Panel - Script Running");

    QTest::mouseClick(dlg->Button(1092), Qt::LeftButton);
    EXPECT_FALSE(Script::IsScriptRunning(0, nullptr));
    StandInWait::Instance().ReleaseAll();
    ASSERT_TRUE(observer.WaitForEnds(1));
    dlg->UpdateCaption();
    EXPECT_EQ(dlg->windowTitle(), "Control Panel");
    EXPECT_TRUE(ui.ShownBoxes().empty());
}

TEST_F(ControlPanelDlgTest, TypingAnotherPanelsNameSwitchesToIt) {
    const std::string other = (root / "Other.ControlPanel").string();
    SetButton(other, 5, "Script", "long.scr");
    SetButton(other, 5, "Title", "Other five");
    SetAdminMode(true);
    dlg->PanelName()->setEditText("other");
    dlg->OnPanelNameChosen();
    EXPECT_EQ(Setting((root / "ActiveControlPanel.ini").string(), "ControlPanel", "ActiveControlPanel"), "other");
    EXPECT_EQ(dlg->Button(1095)->text(), "Other five");
    EXPECT_EQ(dlg->Button(1091)->text(), "<NotAssigned>");

    // A refused name keeps what was typed (repaired when agreed).
    ui.QueueAnswer(platform::IDNO);
    dlg->PanelName()->setEditText("bad|name");
    dlg->OnPanelNameChosen();
    EXPECT_EQ(dlg->PanelName()->currentText(), "bad|name");
    EXPECT_EQ(Setting((root / "ActiveControlPanel.ini").string(), "ControlPanel", "ActiveControlPanel"), "other");
}

TEST_F(ControlPanelDlgTest, PropertiesSelectTheStoredScriptAndOkWritesThem) {
    Write("Scripts/prime.scr", "");
    SetButton(panel, 4, "Script", "PRIME");
    SetButton(panel, 4, "Title", "Four");
    SetButton(panel, 4, "Color", "1,2,3");
    ControlPanelButtonProperties properties(panel, "ControlPanelButton_4");
    EXPECT_EQ(properties.windowTitle(), "Control Panel Button Properties");
    properties.OnInitDialog();
    EXPECT_EQ(properties.Title()->text(), "Four");
    EXPECT_EQ(properties.m_color, 1u + 2 * 256 + 3 * 65536);
    QListWidget* scripts = properties.Scripts();
    ASSERT_EQ(scripts->count(), 4);
    EXPECT_EQ(scripts->item(0)->text(), "<NotAssigned>");
    EXPECT_EQ(scripts->item(3)->text(), "Stop");
    ASSERT_NE(scripts->currentItem(), nullptr);
    EXPECT_EQ(scripts->currentItem()->text(), "prime.scr");
    properties.show();
    SaveScreenshot(properties, "ControlPanelButtonProperties.png");

    scripts->setCurrentRow(0);
    properties.Title()->setText("");
    properties.accept();
    EXPECT_EQ(Setting(panel, "ControlPanelButton_4", "Script"), "<NotAssigned>");
    EXPECT_EQ(Setting(panel, "ControlPanelButton_4", "Title"), "");
    EXPECT_EQ(Setting(panel, "ControlPanelButton_4", "Color"), "1,2,3");

    // The panel refreshes after the dialog's OK.
    dlg->propertiesPrompt = [&](int buttonId) {
        SetButton(panel, buttonId - 1090, "Script", "long.scr");
        SetButton(panel, buttonId - 1090, "Title", "Edited");
        return true;
    };
    dlg->EditButtonProperties(1094);
    EXPECT_EQ(dlg->Button(1094)->text(), "Edited");
    EXPECT_TRUE(dlg->Button(1094)->isVisible());
}

class ControlPanelGaugeTest : public devices_testing::InstrumentLines {
protected:
    void SetUp() override {
        testsupport::EnsureApplication();
        InstrumentLines::SetUp();
    }
    void TearDown() override {
        delete g_ControlPanelDlg;
        InstrumentLines::TearDown();
    }
};

TEST_F(ControlPanelGaugeTest, GaugesShowTheSyringesOfTheVirtualPumps) {
    OpenPumps();
    pumps->ModifyPump(1, [](sim::PumpSimulator::PumpState& pump) {
        pump.syringeVolumeUl = 1250;
        pump.plungerIncrements = sim::PumpSimulator::UlToIncrements(250, 1250);
    });
    pumps->ModifyPump(2, [](sim::PumpSimulator::PumpState& pump) {
        pump.syringeVolumeUl = 5000;
        pump.plungerIncrements = 0;
    });
    g_ControlPanelDlg = new ControlPanelDlg;
    QSignalSpy updated(g_ControlPanelDlg, &ControlPanelDlg::gaugesUpdated);
    g_ControlPanelDlg->show();
    ASSERT_TRUE(updated.count() > 0 || updated.wait(10000));
    EXPECT_EQ(g_ControlPanelDlg->Gauge(1)->maximum(), 1250);
    EXPECT_EQ(g_ControlPanelDlg->Gauge(1)->value(), 1000);
    EXPECT_EQ(g_ControlPanelDlg->GaugeLabel(1)->text(), "250");
    EXPECT_EQ(g_ControlPanelDlg->Gauge(2)->maximum(), 5000);
    EXPECT_EQ(g_ControlPanelDlg->Gauge(2)->value(), 5000);
    EXPECT_EQ(g_ControlPanelDlg->GaugeLabel(2)->text(), "0");
    SaveScreenshot(*g_ControlPanelDlg, "ControlPanelGauges.png");

    // The refresh reads the displacement only, against the volume of the show.
    pumps->ModifyPump(2, [](sim::PumpSimulator::PumpState& pump) {
        pump.plungerIncrements = sim::PumpSimulator::UlToIncrements(1000, 5000);
    });
    pumps->ClearReceived();
    g_ControlPanelDlg->RefreshGauges();
    ASSERT_TRUE(updated.wait(10000));
    EXPECT_EQ(g_ControlPanelDlg->Gauge(2)->value(), 4000);
    EXPECT_EQ(g_ControlPanelDlg->GaugeLabel(2)->text(), "1000");
    EXPECT_EQ(pumps->ReceivedBytes(), "/1?18\r/2?18\r");
}

TEST_F(ControlPanelGaugeTest, APumpThatDoesNotAnswerHidesItsGauge) {
    theApp.m_nPumpComPort = devices_testing::kSilentPort;
    Tovanix::String error;
    ASSERT_TRUE(SetupSerialPort(devices_testing::kSilentPort, 9600, &error));
    g_ControlPanelDlg = new ControlPanelDlg;
    QSignalSpy updated(g_ControlPanelDlg, &ControlPanelDlg::gaugesUpdated);
    g_ControlPanelDlg->show();
    // The window stays responsive while the line is silent.
    EXPECT_TRUE(g_ControlPanelDlg->isVisible());
    ASSERT_TRUE(updated.wait(20000));
    EXPECT_FALSE(g_ControlPanelDlg->Gauge(1)->isVisible());
    EXPECT_FALSE(g_ControlPanelDlg->Gauge(2)->isVisible());
    EXPECT_TRUE(g_ControlPanelDlg->GaugeLabel(1)->text().isEmpty());
}

}  // namespace
