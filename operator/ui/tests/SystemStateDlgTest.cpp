// The system state window on the virtual instrument: a refresh when shown,
// the line boxes from the port values, the pump fields, and the main
// window's command that toggles it.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QSignalSpy>

#include <cstdlib>

#include "app/FrameCommands.h"
#include "devices/DigitalIO.h"
#include "devices/tests/InstrumentLines.h"
#include "operator/ui/PromptDialogs.h"
#include "operator/ui/PromptWindows.h"
#include "operator/ui/SystemStateDlg.h"
#include "platform/testsupport/QtTestApplication.h"
#include "sim/VirtualDaq.h"
#include "support/ui/DialogControls.h"

namespace {

QString Text(const QWidget& dialog, int id) { return Tovanix::GetControlText(Tovanix::GetDlgItem(&dialog, id)); }

class SystemStateDlgTest : public devices_testing::InstrumentLines {
protected:
    void SetUp() override
    {
        testsupport::EnsureApplication();
        InstrumentLines::SetUp();
        sim::VirtualDaq::Instance().Reset();
        g_DIOPort0InputTask = nullptr;
        g_DIOPort0OutputTask = nullptr;
        g_DIOPort1Task = nullptr;
        g_DIOPortTable = {};
        WriteSettings(
            "[DIO_Config]\nMapping=Interlock\nLED0_port=0\nLED0_line=0\nLED1_port=0\nLED1_line=1\n"
            "LED2_port=0\nLED2_line=2\nLED3_port=0\nLED3_line=3\nCartridge_Port=0\nCartridge_Line=4\n"
            "Clamp_Port=0\nClamp_Line=5\n");
        CString error;
        ASSERT_TRUE(Initialize_DIO(&error, false)) << error.GetString();
        ASSERT_TRUE(LoadDIOMapping(&error)) << error.GetString();
    }
};

TEST_F(SystemStateDlgTest, ShowingTheWindowRefreshesItFromTheInstrument)
{
    OpenPumps();
    CString error;
    ASSERT_TRUE(SetDIOLine(4, &error)) << error.GetString();  // LED1 on line 1
    {
        auto lock = sim::VirtualInstrument::Instance().Lock();
        sim::VirtualInstrument::Instance().State().cartridgeInserted = true;
        sim::VirtualInstrument::Instance().State().clampClosed = false;
    }
    pumps->ModifyPump(2, [](sim::PumpSimulator::PumpState& pump) { pump.plungerIncrements = 4800; });

    SystemStateDlg dialog;
    QSignalSpy shown(&dialog, &SystemStateDlg::stateShown);
    dialog.show();
    ASSERT_TRUE(shown.wait(10000));
    EXPECT_EQ(dialog.Timer().interval(), 2500);
    const bool expected[8] = {false, true, false, false, true, false, false, false};
    for (int line = 0; line < 8; ++line) {
        EXPECT_EQ(dialog.Port0Line(line)->isChecked(), expected[line]) << line;
        EXPECT_FALSE(dialog.Port0Line(line)->isEnabled());
    }
    EXPECT_EQ(Text(dialog, 1058), "1250");
    EXPECT_EQ(Text(dialog, 1079), "1250");
    EXPECT_EQ(Text(dialog, 1056), "0.000000");
    EXPECT_EQ(Text(dialog, 1075), "250.000000");
    EXPECT_FALSE(Text(dialog, 1057).isEmpty());
    if (const char* folder = std::getenv("VELLORA_SCREENSHOTS"))
        dialog.grab().save(QString(folder) + "/SystemState.png");

    // Hidden, it stops refreshing; shown again, it refreshes at once.
    dialog.hide();
    EXPECT_FALSE(dialog.Timer().isActive());
    ASSERT_TRUE(ClearDIOLine(4, &error)) << error.GetString();
    dialog.show();
    ASSERT_TRUE(shown.wait(10000));
    EXPECT_FALSE(dialog.Port0Line(1)->isChecked());
}

TEST_F(SystemStateDlgTest, TheMainWindowCommandCreatesTheWindowThenToggles)
{
    CommandRouter commands;
    QWidget parent;
    {
        const auto installed = InstallOperatorPromptWindows(commands, &parent);
        EXPECT_EQ(g_SystemStateDlg, nullptr);
        ASSERT_TRUE(commands.Execute(cmd::SystemState));
        ASSERT_NE(g_SystemStateDlg, nullptr);
        EXPECT_TRUE(g_SystemStateDlg->isVisible());
        EXPECT_EQ(g_SystemStateDlg->windowTitle(), "System State");
        ASSERT_TRUE(commands.Execute(cmd::SystemState));
        EXPECT_FALSE(g_SystemStateDlg->isVisible());
    }
    // The windows belong to the parent and go with it.
    g_SystemStateDlg = nullptr;
    g_WaitWithTimerDlg = nullptr;
    g_InformOperatorDlg = nullptr;
}

}  // namespace
