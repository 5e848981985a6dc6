#include "devices/SerialDiscovery.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "devices/tests/InstrumentLines.h"
#include "platform/Sync.h"
#include "support/AppLogs.h"
#include "support/SerialPort.h"

using namespace std::chrono_literals;
using Fault = sim::SerialDeviceSimulator::Fault;
using devices_testing::kPumpPort;
using devices_testing::kSilentPort;
using devices_testing::kStagePort;

namespace {

const char* kBusyMessage =
    "Tecan pumps are not ready to be initialized.  Please close the software and restart it in two minutes.";

// COM numbers open in the serial layer.
std::vector<int> OpenPorts() {
    std::vector<int> ports;
    std::shared_lock<std::shared_mutex> lock(g_SerialPortsLock);
    for (int i = 0; i < g_SerialPorts.count; ++i) ports.push_back(g_SerialPorts.SortedAt(i)->comPort);
    return ports;
}

class SerialDiscoveryTest : public devices_testing::InstrumentLines {
protected:
    // Runs the discovery with a report file of the caller, as start-up does.
    bool Discover() {
        FILE* file = std::tmpfile();
        bool found = theApp.ReInitializeSerialPortDevices(file);
        std::rewind(file);
        report.clear();
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof(buffer), file)) > 0;) report.append(buffer, n);
        std::fclose(file);
        return found;
    }

    bool Reports(const std::string& line) const { return report.find(line + "\r\n") != std::string::npos; }

    std::string report;
};

TEST_F(SerialDiscoveryTest, FindsThePumpsAndTheStageOnTheirPorts) {
    WriteSettings("[Zaber]\nInitializeZaberOnStartup=TRUE\n");
    ASSERT_TRUE(Discover()) << report;
    EXPECT_EQ(theApp.m_nPumpComPort, kPumpPort);
    EXPECT_EQ(theApp.m_nStageComPort, kStagePort);
    EXPECT_EQ(theApp.m_nStageBaudRate, 115200);
    EXPECT_EQ(OpenPorts(), (std::vector<int>{kPumpPort, kStagePort}));
    EXPECT_TRUE(bridge.ShownBoxes().empty());

    for (const char* line : {
             "Tessaly Vellora version 1.0.0.7",
             "************ BEGIN COM Port detection ************",
             "COM3 is active, initialized at 9600 baud",
             "COM5 is active, initialized at 9600 baud",
             "COM6 is active, initialized at 9600 baud",
             "Zaber failed to respond on COM3 to \"/get deviceid\" command at 115200 baud : response: \"\" "
             "error_code: 10",
             "ReInitializing COM3 at 9600 baud after attempt to connect to Zaber at 115200 baud",
             "Zaber good response on COM6 to \"/get deviceid\" command at 115200 baud : response: \"@01 0 OK IDLE -- "
             "50081\r\n\" error_code: 0",
             "Attempting to connect to Tecan via COM3 at 9600 baud",
             "Successfully connected to Tecan via COM5 at 9600 baud",
             "Tecan pumps detected on COM5",
             "Param\tPump1\tPump2",
             "pump_position\t0\t0",
             "pump_backlash\t0\t0",
             "pump_backlash_setting\t0",
             "pump_start_speed\t900\t900",
             "pump_top_speed\t1400\t1400",
             "pump_cutoff_speed\t900\t900",
             "pump_ramp_up_slope\t14\t14",
             "pump_ramp_down_slope\t14\t14",
             "pump_range\t24000\t24000",
             "pump_total_moves\t0\t0",
             "pump_configuration\tSIM-PUMP,1250ul,3-PORT\tSIM-PUMP,1250ul,3-PORT",
             "pump TC\t25.00\t25.000",
             "zaber TC\t31.50",
         }) {
        EXPECT_TRUE(Reports(line)) << line << "\n--- report:\n" << report;
    }
    // The sections in their order, the stage before the pumps, the summary last.
    size_t at = 0;
    for (const char* line : {
             "************ BEGIN COM Port detection ************",
             "Finding active COM ports. COM1 -> COM99 will be checked.",
             "************ END COM Port detection ************",
             "*************** BEGIN ZABER INITIALIZATION ************",
             "ReInitializing COM6 at 115200 baud to check for Zaber",
             "Zaber device on COM6 successfully responded to the \"/get deviceid\" command",
             "*************** END ZABER INITIALIZATION ************",
             "*************** BEGIN TECAN INITIALIZATION ************",
             "*************** END TECAN INITIALIZATION ************",
         }) {
        size_t found = report.find(std::string(line) + "\r\n", at);
        ASSERT_NE(found, std::string::npos) << line << "\n--- report:\n" << report;
        at = found;
    }
    EXPECT_NE(report.find("# ComputerName=" + platform::GetComputerName() + "\r\nTecan pumps detected on COM5\r\n"),
              std::string::npos)
        << report;
    // The stage port is never probed for pumps.
    EXPECT_FALSE(Reports("Attempting to connect to Tecan via COM6 at 9600 baud"));
    EXPECT_EQ(stage->ReceivedBytes(), "/get deviceid\n/01 1 get driver.temperature\n");
    // Found pumps log their commands from now on.
    EXPECT_EQ(g_PumpTimingLogCallback, &AddPumpLogLine);
}

TEST_F(SerialDiscoveryTest, PumpsAreNeverSearchedOnTheStagesPort) {
    // The stage on a lower number than the pumps: the pump search meets its
    // port first and must pass it by.
    constexpr int kLowStagePort = 2;
    stage->Stop();
    ASSERT_TRUE(stage->Start(kLowStagePort));
    WriteSettings("[Zaber]\nInitializeZaberOnStartup=TRUE\n");
    ASSERT_TRUE(Discover()) << report;
    EXPECT_EQ(theApp.m_nStageComPort, kLowStagePort);
    EXPECT_EQ(theApp.m_nPumpComPort, kPumpPort);
    EXPECT_FALSE(Reports("Attempting to connect to Tecan via COM2 at 9600 baud")) << report;
    EXPECT_TRUE(Reports("Attempting to connect to Tecan via COM3 at 9600 baud")) << report;
    EXPECT_EQ(stage->ReceivedBytes(), "/get deviceid\n/01 1 get driver.temperature\n");
    EXPECT_EQ(OpenPorts(), (std::vector<int>{kLowStagePort, kPumpPort}));
    ReleaseSerialPort(kLowStagePort);
}

TEST_F(SerialDiscoveryTest, APortThatAnswersTheStageProbeOtherwiseIsNotTheStage) {
    AnswerOnSilentLine('\n', [](const std::string&) { return std::string("?\r\n"); });
    WriteSettings("[Zaber]\nInitializeZaberOnStartup=TRUE\n");
    ASSERT_TRUE(Discover()) << report;
    EXPECT_EQ(theApp.m_nStageComPort, kStagePort);
    for (const char* line : {
             "Zaber device on COM3 successfully responded to the \"/get deviceid\" command",
             "Zaber bad response on COM3 \"?\r\n\" error_code: 0",
             "ReInitializing COM3 at 9600 baud after attempt to connect to Zaber at 115200 baud",
             "Attempting to connect to Tecan via COM3 at 9600 baud",
         }) {
        EXPECT_TRUE(Reports(line)) << line << "\n--- report:\n" << report;
    }
    EXPECT_FALSE(Reports("Zaber good response on COM3"));
    EXPECT_EQ(OpenPorts(), (std::vector<int>{kPumpPort, kStagePort}));
}

TEST_F(SerialDiscoveryTest, WithoutSettingsOnlyThePumpsAreSearched) {
    EXPECT_TRUE(Discover()) << report;
    EXPECT_EQ(theApp.m_nPumpComPort, kPumpPort);
    EXPECT_EQ(theApp.m_nStageComPort, 0);
    EXPECT_EQ(stage->ReceivedBytes(), "");
    EXPECT_FALSE(Reports("*************** BEGIN ZABER INITIALIZATION ************"));
    EXPECT_EQ(OpenPorts(), (std::vector<int>{kPumpPort}));

    // Stage wanted but switched off: the result says what was missed.
    stage->Stop();
    WriteSettings("[Zaber]\nInitializeZaberOnStartup=TRUE\n");
    ReleaseSerialPort(kPumpPort);
    theApp.m_nPumpComPort = 0;
    EXPECT_FALSE(Discover());
    EXPECT_EQ(theApp.m_nPumpComPort, kPumpPort);
}

TEST_F(SerialDiscoveryTest, BacklashIsSetOnlyWhereItDiffers) {
    pumps->ModifyPump(2, [](sim::PumpSimulator::PumpState& p) { p.backlashSteps = 8; });
    WriteSettings("[TecanCentris]\nbacklash_steps=8\n");
    ASSERT_TRUE(Discover());
    std::string wire = pumps->ReceivedBytes();
    EXPECT_NE(wire.find("/1K8R\r/1iR\r/1!R\r"), std::string::npos) << wire;
    EXPECT_EQ(wire.find("/2K"), std::string::npos) << wire;
    EXPECT_TRUE(Reports("pump_backlash\t8\t8"));
    EXPECT_TRUE(Reports("pump_backlash_setting\t8"));

    // Backlash 0 everywhere: nothing is sent.
    pumps->ModifyPump(1, [](sim::PumpSimulator::PumpState& p) { p.backlashSteps = 0; });
    pumps->ModifyPump(2, [](sim::PumpSimulator::PumpState& p) { p.backlashSteps = 0; });
    WriteSettings("");
    pumps->ClearReceived();
    ASSERT_TRUE(Discover());
    EXPECT_EQ(pumps->ReceivedBytes().find('K'), std::string::npos);
}

TEST_F(SerialDiscoveryTest, BacklashThatWillNotTakeIsReported) {
    WriteSettings("[TecanCentris]\nbacklash_steps=5000\nmin_time_between_commands_ms=1500\n");
    ASSERT_TRUE(Discover());
    EXPECT_NE(report.find("Failed to set pump backlash to 5000 steps : current setting is pump1=0 and pump2=0 steps"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("TecanCentris::SetMinimumTimeBetweenCommands (1500) maximum delay is 1000 ms"),
              std::string::npos);
    EXPECT_EQ(g_PumpMinTimeBetweenCommandsMs, 0);
}

TEST_F(SerialDiscoveryTest, BusyPumpsAreReportedOnceAndNotTakenAsFound) {
    pumps->HoldBusy(1, 600s);
    EXPECT_FALSE(Discover());
    EXPECT_EQ(theApp.m_nPumpComPort, 0);
    auto boxes = bridge.ShownBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, kBusyMessage);
    EXPECT_NE(report.find("Tecan pumps are busy."), std::string::npos);
    EXPECT_EQ(report.find("Failed to establish communication"), std::string::npos);
    EXPECT_TRUE(Reports("Tecan pumps not detected"));   // the closing summary
    EXPECT_EQ(OpenPorts(), std::vector<int>{});
}

TEST_F(SerialDiscoveryTest, MissingPumpsAtStartUpAreShownAsAnError) {
    pumps->Stop();
    EXPECT_FALSE(Discover());
    auto boxes = bridge.ShownBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text.rfind("Failed to establish communication with QX4 pump.\n\nPlease close the application",
                                  0),
              0u);
    EXPECT_NE(boxes[0].type & platform::MB_ICONERROR, 0u);
    EXPECT_TRUE(Reports("Tecan pumps not detected"));
    EXPECT_EQ(OpenPorts(), std::vector<int>{});
}

TEST_F(SerialDiscoveryTest, ReRunWritesTheDaysLogAndReopensThePorts) {
    WriteSettings("[Zaber]\nInitializeZaberOnStartup=TRUE\n");
    ASSERT_TRUE(Discover());
    pumps->ClearReceived();
    ASSERT_TRUE(theApp.ReInitializeSerialPortDevices(nullptr));
    EXPECT_EQ(theApp.m_nPumpComPort, kPumpPort);
    EXPECT_EQ(theApp.m_nStageComPort, kStagePort);
    EXPECT_NE(pumps->ReceivedBytes().find("/1?1\r"), std::string::npos);

    SYSTEMTIME today;
    GetLocalTime(&today);
    char name[96];
    std::snprintf(name, sizeof(name), "/LOG/ReInitializeSerialPortDevices_%04u_%02u_%02u.log", today.wYear,
                  today.wMonth, today.wDay);
    std::string log = ReadFile(dataRoot + name);
    EXPECT_NE(log.find("Zaber good response on COM6"), std::string::npos) << log;
    EXPECT_NE(log.find("Tecan pumps detected on COM5\r\n"), std::string::npos) << log;
}

TEST_F(SerialDiscoveryTest, SerialFailurePostsRecoveryOnceAndRecoveryFindsTheDevicesAgain) {
    ASSERT_TRUE(Discover());
    int fakeFrame = 0;
    theApp.m_pMainWnd = reinterpret_cast<CMainFrame*>(&fakeFrame);  // only tested for presence
    g_SerialPortFailureHook = OnSerialPortFailure;

    // Two failed tries in one command: one recovery request.
    pumps->SetFault(Fault::NoReply, 2);
    Tovanix::String reply;
    Tovanix::String error;
    EXPECT_TRUE(TecanCentris::SendCommand(kPumpPort, 1, "?29", 200, &reply, &error)) << error.c_str();
    EXPECT_EQ(bridge.PostedCommands(), std::vector<int>{1364});
    EXPECT_EQ(bridge.PostedArguments(), std::vector<intptr_t>{kPumpPort});
    EXPECT_EQ(g_SerialPortFailureHook.load(), nullptr);

    // The handler: the pumps' line went away and came back on another number.
    pumps->Stop();
    ASSERT_TRUE(pumps->Start(8));
    EXPECT_TRUE(RecoverSerialPortDevices());
    EXPECT_EQ(theApp.m_nPumpComPort, 8);
    EXPECT_EQ(g_SerialPortFailureHook.load(), &OnSerialPortFailure);
    ReleaseSerialPort(8);
}

TEST_F(SerialDiscoveryTest, RecoveryGivesUpAfterTenRunsAndStillReinstallsTheHook) {
    pumps->Stop();
    stage->Stop();
    platform::UnregisterComPort(kSilentPort);
    auto before = clock.Now();
    EXPECT_FALSE(RecoverSerialPortDevices());
    // 250 ms first, then a second between each of the ten runs.
    EXPECT_EQ(clock.Now() - before, 250ms + 9 * 1000ms);
    EXPECT_EQ(g_SerialPortFailureHook.load(), &OnSerialPortFailure);
    // Recovery runs report into the day's log, not in message boxes.
    EXPECT_TRUE(bridge.ShownBoxes().empty());
}

}  // namespace
