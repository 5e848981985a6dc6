#include "devices/Zaber.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "devices/tests/InstrumentLines.h"

using namespace std::chrono_literals;
using Fault = sim::SerialDeviceSimulator::Fault;

namespace {

size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// An operation that must fail with the message.
struct RefusalCase {
    std::function<bool(CString*)> operation;
    const char* message;
};

class ZaberTest : public devices_testing::InstrumentLines {
protected:
    void Initialize() {
        OpenStage();
        CString error;
        ASSERT_TRUE(Zaber::Initialize(&error)) << error.GetString();
        stage->ClearReceived();
    }
};

TEST_F(ZaberTest, EverythingButTheTemperatureNeedsInitializeFirst) {
    OpenStage();
    Tovanix::String status;
    double value = 0;
    const std::vector<RefusalCase> cases = {
        {[&](CString* e) { return Zaber::CheckStatus(1, &status, e); },
         "Zaber::CheckStatus() - must call Zaber::Initialize() first."},
        {[&](CString* e) { return Zaber::WaitForMoveToFinish(1, e); },
         "Zaber::CheckStatus() - must call Zaber::Initialize() first."},
        {[&](CString* e) { return Zaber::MoveToPosition_mm(1, 1.0, e); },
         "Zaber::MoveToPosition_mm() - must call Zaber::Initialize() first."},
        {[&](CString* e) { return Zaber::MoveRelative_mm(1, 1.0, e); },
         "Zaber::MoveRelative_mm() - must call Zaber::Initialize() first."},
        // Device 0 would address every controller on the line.
        {[&](CString* e) { return Zaber::Home(1, e); }, "Zaber::Home() - must call Zaber::Initialize() first."},
        {[&](CString* e) { return Zaber::GetPosition_mm_s(0, &value, e); },
         "Zaber::GetPosition_mm_s() - must call Zaber::Initialize() first."},
    };
    for (const auto& c : cases) {
        CString error;
        EXPECT_FALSE(c.operation(&error));
        EXPECT_STREQ(error.GetString(), c.message);
    }
    EXPECT_EQ(stage->ReceivedBytes(), "");
    CString error;
    EXPECT_TRUE(Zaber::GetTemperature(&value, &error)) << error.GetString();
    EXPECT_DOUBLE_EQ(value, 31.5);
}

TEST_F(ZaberTest, InitializeWithoutAStage) {
    struct Case {
        const char* settings;
        const char* error;  // afterwards
    };
    const char* ask = "Please set InitializeZaberOnStartup=TRUE in the ExperimentSettings.ini file and restart Vellora";
    const std::vector<Case> cases = {
        {"[Zaber]\nInitializeZaberOnStartup=true\n", "before"},
        {"[Zaber]\nInitializeZaberOnStartup=yes\n", ask},
        {"", ask},
    };
    for (const auto& c : cases) {
        WriteSettings(c.settings);
        CString error("before");
        EXPECT_FALSE(Zaber::Initialize(&error));
        EXPECT_STREQ(error.GetString(), c.error) << c.settings;
    }
    double value;
    CString error;
    EXPECT_FALSE(Zaber::GetTemperature(&value, &error));
    EXPECT_STREQ(error.GetString(), "Zaber::GetTemperature() - Zaber stage is not connected.");
}

TEST_F(ZaberTest, InitializeReadsTheSettingsEachTime) {
    OpenStage();
    CString error;
    ASSERT_TRUE(Zaber::Initialize(&error));
    EXPECT_EQ(g_ZaberFocusDeviceIndex, 1);
    EXPECT_EQ(g_ZaberXAxisDeviceIndex, 1);
    EXPECT_EQ(g_ZaberFocusAxisIndex, 1);
    EXPECT_EQ(g_ZaberXAxisIndex, 2);
    EXPECT_DOUBLE_EQ(g_ZaberStepsPerMM_Z, 20997.38);
    EXPECT_DOUBLE_EQ(g_ZaberStepsPerMM_X, 20997.38);

    WriteSettings("[Zaber]\nZaberFocusDeviceIndex=2\nZaberXAxisIndex=x\nZaberStepsPerMM_Z=1000\n");
    ASSERT_TRUE(Zaber::Initialize(&error));
    EXPECT_EQ(g_ZaberFocusDeviceIndex, 2);
    EXPECT_EQ(g_ZaberXAxisIndex, 2);
    EXPECT_DOUBLE_EQ(g_ZaberStepsPerMM_Z, 1000);

    // The temperature always comes from device 1, axis 1.
    stage->ClearReceived();
    double degrees = 0;
    EXPECT_TRUE(Zaber::GetTemperature(&degrees, &error));
    EXPECT_EQ(stage->ReceivedBytes(), "/01 1 get driver.temperature\n");
    // The focus axis now lives on a device that is not there.
    EXPECT_FALSE(Zaber::MoveToPosition_mm(1, 1.0, &error));
    EXPECT_STREQ(error.GetString(), "Zaber fails to respond to \"move abs\" command");
}

TEST_F(ZaberTest, ExactBytesOnTheWire) {
    Initialize();
    Tovanix::String status;
    double value = 0;
    CString error;
    struct Case {
        std::function<bool()> operation;
        const char* bytes;
    };
    const std::vector<Case> cases = {
        {[&] { return Zaber::MoveToPosition_mm(1, 1.0, &error); }, "/01 1 move abs 20997\n"},
        {[&] { return Zaber::MoveRelative_mm(1, -0.5, &error); }, "/01 1 move rel -10499\n"},
        {[&] { return Zaber::MoveToPosition_mm(0, 2.0, &error); }, "/01 2 move abs 41995\n"},
        {[&] { return Zaber::MoveToPosition_mm(1, 100.0, &error); }, "/01 1 move abs 2099738\n"},
        {[&] { return Zaber::Home(0, &error); }, "/01 2 home\n"},
        {[&] { return Zaber::CheckStatus(1, &status, &error); }, "/01 1\n"},
        {[&] { return Zaber::GetPosition_mm_s(1, &value, &error); }, "/01 1 get pos\n"},
        {[&] { return Zaber::GetTemperature(&value, &error); }, "/01 1 get driver.temperature\n"},
    };
    for (const auto& c : cases) {
        stage->ClearReceived();
        EXPECT_TRUE(c.operation()) << c.bytes << error.GetString();
        EXPECT_EQ(stage->ReceivedBytes(), c.bytes);
    }
    EXPECT_STREQ(status.c_str(), "IDLE");
}

TEST_F(ZaberTest, RefusedBeforeAnyTraffic) {
    Initialize();
    Tovanix::String status;
    double value = 0;
    const std::vector<RefusalCase> cases = {
        {[](CString* e) { return Zaber::MoveToPosition_mm(1, 100.001, e); },
         "Absolute position setting must be betwen -100.0 and 100.0 mm"},
        {[](CString* e) { return Zaber::MoveToPosition_mm(0, -100.001, e); },
         "Absolute position setting must be betwen -100.0 and 100.0 mm"},
        {[](CString* e) { return Zaber::MoveRelative_mm(1, 250, e); },
         "Relative position setting must be betwen -100.0 and 100.0 mm"},
        {[](CString* e) { return Zaber::MoveToPosition_mm(2, 1.0, e); }, "Invalid axis specified."},
        {[](CString* e) { return Zaber::Home(-1, e); }, "Invalid axis specified."},
        {[&](CString* e) { return Zaber::CheckStatus(5, &status, e); }, "Invalid axis specified."},
        {[&](CString* e) { return Zaber::GetPosition_mm_s(2, &value, e); }, "Invalid axis specified."},
    };
    for (const auto& c : cases) {
        CString error;
        EXPECT_FALSE(c.operation(&error));
        EXPECT_STREQ(error.GetString(), c.message);
    }
    EXPECT_EQ(stage->ReceivedBytes(), "");
}

TEST_F(ZaberTest, PositionInMillimetres) {
    Initialize();
    stage->SetPosition(sim::StageSimulator::kFocusAxis, 41994);
    double mm = 0;
    CString error;
    ASSERT_TRUE(Zaber::GetPosition_mm_s(1, &mm, &error));
    EXPECT_NEAR(mm, 2.0, 1e-4);

    ASSERT_TRUE(Zaber::MoveToPosition_mm(0, 3.5, &error));
    ASSERT_TRUE(Zaber::GetPosition_mm_s(0, &mm, &error));
    EXPECT_NEAR(mm, 3.5, 1e-4);
    EXPECT_NEAR(sim::VirtualInstrument::Instance().Snapshot().stageXMm, 3.5, 1e-4);
}

TEST_F(ZaberTest, FaultsAreReported) {
    Initialize();
    struct Case {
        Fault fault;
        std::function<bool(CString*)> operation;
        const char* message;
    };
    Tovanix::String status;
    double value = 0;
    const std::vector<Case> cases = {
        {Fault::NoReply, [](CString* e) { return Zaber::MoveToPosition_mm(1, 1, e); },
         "Zaber fails to respond to \"move abs\" command"},
        {Fault::Garbled, [](CString* e) { return Zaber::MoveToPosition_mm(1, 1, e); },
         "Zaber provides invalid response to \"move abs\" command #1"},
        {Fault::DeviceError, [](CString* e) { return Zaber::MoveRelative_mm(1, 1, e); },
         "Zaber provides invalid response to \"move rel\" command #1"},
        {Fault::NoReply, [](CString* e) { return Zaber::Home(1, e); }, "Zaber fails to respond to \"home\" command"},
        {Fault::DeviceError, [](CString* e) { return Zaber::Home(1, e); },
         "Zaber provides invalid response to \"home\" command #1"},
        {Fault::NoReply, [&](CString* e) { return Zaber::CheckStatus(1, &status, e); }, "Zaber fails to respond"},
        {Fault::Garbled, [&](CString* e) { return Zaber::CheckStatus(1, &status, e); },
         "Zaber provides invalid response"},
        {Fault::DeviceError, [&](CString* e) { return Zaber::GetPosition_mm_s(1, &value, e); },
         "Zaber provides invalid response to \"get pos\" command #1"},
        {Fault::NoReply, [&](CString* e) { return Zaber::GetTemperature(&value, e); },
         "Zaber fails to respond to \"/01 1 get driver.temperature\n\" command"},
        {Fault::Garbled, [&](CString* e) { return Zaber::GetTemperature(&value, e); },
         "Zaber provides invalid to respond  #1 \"\xC0\xB0\xB1 1 OK IDLE -- 31.5\r\n\" to \"/01 1 get "
         "driver.temperature\n\" command"},
    };
    for (const auto& c : cases) {
        stage->SetFault(c.fault, 1);
        CString error;
        EXPECT_FALSE(c.operation(&error)) << c.message;
        EXPECT_STREQ(error.GetString(), c.message);
    }
}

TEST_F(ZaberTest, RepliesOfAnotherAxisOrWithoutAValueAreRefused) {
    // A controller on COM3 whose one reply is set per case.
    Tovanix::String lineError;
    ASSERT_TRUE(SetupSerialPort(devices_testing::kSilentPort, 115200, &lineError)) << lineError.c_str();
    theApp.m_nStageComPort = devices_testing::kSilentPort;
    CString error;
    ASSERT_TRUE(Zaber::Initialize(&error));
    Tovanix::String status;
    double value = 0;
    struct Case {
        const char* reply;
        std::function<bool(CString*)> operation;
        const char* message;
    };
    const std::vector<Case> cases = {
        // Axis 2 answering a status query of device 1, axis 1.
        {"@01 2 OK IDLE -- 0\r\n", [&](CString* e) { return Zaber::CheckStatus(1, &status, e); },
         "Zaber provides invalid response"},
        {"@01 1 OK\r\n", [&](CString* e) { return Zaber::CheckStatus(1, &status, e); },
         "Zaber provides invalid response"},
        {"@01 1 OK IDLE -- far\r\n", [&](CString* e) { return Zaber::GetPosition_mm_s(1, &value, e); },
         "Zaber provides invalid response to \"get pos\" command #2"},
        {"@01 1 OK IDLE -- warm\r\n", [&](CString* e) { return Zaber::GetTemperature(&value, e); },
         "Zaber provides invalid to respond #3 \"@01 1 OK IDLE -- warm\r\n\" to \"/01 1 get driver.temperature\n\" "
         "command"},
    };
    for (const auto& c : cases) {
        const std::string reply = c.reply;
        AnswerOnSilentLine('\n', [reply](const std::string&) { return reply; });
        error = "";
        EXPECT_FALSE(c.operation(&error)) << c.reply;
        EXPECT_STREQ(error.GetString(), c.message);
    }

    // The status is the word after the prefix, whatever flag follows it.
    AnswerOnSilentLine('\n', [](const std::string&) { return std::string("@01 1 OK BUSY WR 0\r\n"); });
    ASSERT_TRUE(Zaber::CheckStatus(1, &status, &error)) << error.GetString();
    EXPECT_STREQ(status.c_str(), "BUSY");
}

TEST_F(ZaberTest, WaitForMoveToFinish) {
    Initialize();
    stage->SetSpeedFactor(1);
    CString error;
    ASSERT_TRUE(Zaber::MoveToPosition_mm(1, 10.0, &error));   // 1 s at full speed
    auto before = clock.Now();
    EXPECT_TRUE(Zaber::WaitForMoveToFinish(1, &error)) << error.GetString();
    EXPECT_EQ(clock.Now() - before, 1000ms);
    EXPECT_EQ(Count(stage->ReceivedBytes(), "/01 1\n"), 5u);

    // An axis that stays busy: 80 queries, 79 pauses, then the time-out.
    stage->ClearReceived();
    stage->SetSpeedFactor(3);
    ASSERT_TRUE(Zaber::MoveRelative_mm(1, 80.0, &error));      // 24 s, longer than the wait
    before = clock.Now();
    EXPECT_FALSE(Zaber::WaitForMoveToFinish(1, &error));
    EXPECT_STREQ(error.GetString(), "WaitForMoveToFinish() - timeout");
    EXPECT_EQ(Count(stage->ReceivedBytes(), "/01 1\n"), 80u);
    EXPECT_EQ(clock.Now() - before, 79 * 250ms);
    EXPECT_TRUE(stage->IsBusy(sim::StageSimulator::kFocusAxis));   // the axis is not stopped

    stage->SetFault(Fault::NoReply, 1);
    EXPECT_FALSE(Zaber::WaitForMoveToFinish(1, &error));
    EXPECT_STREQ(error.GetString(), "Zaber fails to respond");
}

}  // namespace
