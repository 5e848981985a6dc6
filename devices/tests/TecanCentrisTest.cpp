#include "devices/TecanCentris.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "devices/tests/InstrumentLines.h"

using namespace std::chrono_literals;
using Fault = sim::SerialDeviceSimulator::Fault;

namespace {

using devices_testing::kPumpPort;

std::vector<std::string> g_timingLines;
bool RecordTimingLine(const char* line) {
    g_timingLines.push_back(line);
    return true;
}

std::vector<std::string> Columns(const std::string& line) {
    std::vector<std::string> columns;
    size_t start = 0;
    for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1) {
        columns.push_back(line.substr(start, tab - start));
    }
    columns.push_back(line.substr(start));
    return columns;
}

class TecanCentrisTest : public devices_testing::InstrumentLines {
protected:
    void SetUp() override {
        InstrumentLines::SetUp();
        g_timingLines.clear();
        g_PumpTopSpeed[0] = g_PumpTopSpeed[1] = 0;
        g_PumpValveState[0] = g_PumpValveState[1] = ' ';
    }
};

TEST(TecanCentrisParseResponse, FrameChecksAndStatusTable) {
    struct Case {
        std::string raw;
        bool ok;
        const char* reply;  // what the reply holds afterwards
    };
    const std::string etx = "\x03\r\n";
    const std::vector<Case> cases = {
        {"\xFF/0`123" + etx, true, "123"},
        {"\xFF/0@123" + etx, true, "123"},
        {"\xFF/0b123" + etx, true, "123"},
        {"\xFF/0c123" + etx, true, "123"},
        {"\xFF/0g123" + etx, true, "123"},
        {"\xFF/0`" + etx, true, ""},
        {"\xFF/0A" + etx, false, "Initialization error"},
        {"\xFF/0B" + etx, false, "Invalid command"},
        {"\xFF/0C" + etx, false, "Invalid parameter"},
        {"\xFF/0G" + etx, false, "Device not yet initialized"},
        {"\xFF/0H" + etx, false, "Valve not configured"},
        {"\xFF/0J" + etx, false, "Valve overload"},
        {"\xFF/0M" + etx, false, "FRAM access error"},
        {"\xFF/0O" + etx, false, "Command overflow"},
        {"\xFF/0P" + etx, false, "Command not implemented"},
        {"\xFF/0Q" + etx, false, "FRAM or boot code checksum failure"},
        {"\xFF/0R" + etx, false, "Too many loops or loop comand nestiner error"},
        {"\xFF/0S" + etx, false, "Internal command execution error"},
        {"\xFF/0T" + etx, false, "Power-on self test fail"},
        {"\xFF/0U" + etx, false, "Watchdog reset"},
        {"\xFF/0V" + etx, false, "Low voltage"},
        {"\xFF/0W" + etx, false, "Boot code checksum failure"},
        {"\xFF/0h" + etx, false, "Valve move terminated"},
        {"\xFF/0i" + etx, false, "No valve steps detected"},
        {"\xFF/0j" + etx, false, "Step loss detected"},
        {"\xFF/0k" + etx, false, "Valve Index slot error"},
        {"\xFF/0l" + etx, false, "Valve drive reference voltage check failure"},
        {"\xFF/0m" + etx, false, "Valve diagnostic error"},
        {"\xFF/0X" + etx, false, "Unknown error"},
        {"\xFF/0a" + etx, false, "Unknown error"},
        {"\xFF/\x03\r\n", false, "untouched"},        // five bytes
        {"\xFF/0\x03\r\n", false, "Unknown error"},   // six: the ETX stands as the status
        {"\xFF/0`12\r\n", false, "untouched"},         // no ETX
        {"\xFF/0`1\x03" "2\r\n", false, "untouched"},  // ETX in the wrong place
        {"\x7F/0`12" + etx, false, "untouched"},
        {"\xFF/1`12" + etx, false, "untouched"},
        {"\xFF/0`12\x03\n\r", false, "untouched"},
    };
    for (const auto& c : cases) {
        Tovanix::String reply("untouched");
        EXPECT_EQ(TecanCentris::ParseResponse(c.raw.c_str(), &reply), c.ok) << c.raw;
        EXPECT_STREQ(reply.c_str(), c.reply) << c.raw;
    }
    EXPECT_TRUE(TecanCentris::ParseResponse(("\xFF/0`1" + etx).c_str(), nullptr));
}

TEST_F(TecanCentrisTest, ExactBytesOnTheWire) {
    OpenPumps();
    Tovanix::String error;
    Tovanix::String reply;
    struct Case {
        const char* what;
        std::function<bool()> operation;
        const char* bytes;
    };
    const std::vector<Case> cases = {
        {"top speed", [&] { return TecanCentris::SetTopSpeed(kPumpPort, 1, 600, &error); }, "/1V10.000,1R\r"},
        {"syringe", [&] { return TecanCentris::SetSyringeVolume(kPumpPort, 1, 1250, &error); }, "/1U91\r"},
        {"syringe 50", [&] { return TecanCentris::SetSyringeVolume(kPumpPort, 2, 50, &error); }, "/2U93\r"},
        {"initialise", [&] { return TecanCentris::InitializeSyringePump(kPumpPort, 2, &error); }, "/2ZR\r"},
        {"backlash", [&] { return TecanCentris::SetBacklashSteps(kPumpPort, 1, 12, &error); },
         "/1K12R\r/1iR\r/1!R\r"},
        {"ramps", [&] { return TecanCentris::SetAccelerationRate(kPumpPort, 1, 5, 7, &error); },
         "/1L5,7R\r/1iR\r/1!R\r/1?9\r/1?10\r"},
        {"valve", [&] { return TecanCentris::SetValveOutput(kPumpPort, 2, &error); }, "/2O\r/2R\r"},
        {"move", [&] { return TecanCentris::MoveToPosition(kPumpPort, 1, 12.5, &error); }, "/1A12.500,1R\r"},
        {"aspirate", [&] { return TecanCentris::Aspirate_ul(kPumpPort, 1, 100, &error); },
         "/1?17\r/1?18\r/1P100,1R\r"},
        {"aspirate third", [&] { return TecanCentris::Aspirate_ul(kPumpPort, 1, 1.0 / 3, &error); },
         "/1?17\r/1?18\r/1P0.33333333,1R\r"},
        {"dispense", [&] { return TecanCentris::Dispense_ul(kPumpPort, 1, 0.5, &error); }, "/1?18\r/1D0.500,1R\r"},
        {"terminate", [&] { return TecanCentris::TerminateMove(kPumpPort, 1, &error); }, "/1T\r"},
        {"reset", [&] { return TecanCentris::ResetPump(kPumpPort, 2, &error); }, "/2!R\r"},
        {"report", [&] { return TecanCentris::QueryReport(kPumpPort, 2, 29, &reply, &error); }, "/2?29\r"},
    };
    for (const auto& c : cases) {
        pumps->ClearReceived();
        EXPECT_TRUE(c.operation()) << c.what << ": " << error.c_str();
        EXPECT_EQ(pumps->ReceivedBytes(), c.bytes) << c.what;
    }
    EXPECT_DOUBLE_EQ(g_PumpTopSpeed[0], 600);
    EXPECT_EQ(g_PumpValveState[1], 'O');
    EXPECT_EQ(pumps->Pump(1).backlashSteps, 12);
    EXPECT_EQ(pumps->Pump(2).valve, 'O');
    EXPECT_STREQ(reply.c_str(), "0");
}

TEST_F(TecanCentrisTest, RefusalsSendNothing) {
    OpenPumps();
    g_PumpTimingLogCallback = RecordTimingLine;
    struct Case {
        std::function<bool(Tovanix::String*)> operation;
        const char* message;
        bool timingLine;
    };
    const std::vector<Case> cases = {
        {[](Tovanix::String* e) { return TecanCentris::SetSyringeVolume(kPumpPort, 1, 750, e); },
         "TecanCentris::SetSyringeVolume () Unknown volume value: 750", false},
        {[](Tovanix::String* e) { return TecanCentris::InitializeSyringePump(kPumpPort, 3, e); },
         "TecanCentris::SendCommand () : Invalid ipump=3 : must be 1 or 2", true},
        {[](Tovanix::String* e) { return TecanCentris::InitializeSyringePump(0, 1, e); },
         "TecanCentris::SendCommand () : Invalid com_port=0 : must be 1 and 100", true},
        {[](Tovanix::String* e) { return TecanCentris::SetMinimumTimeBetweenCommands(1001, e); },
         "TecanCentris::SetMinimumTimeBetweenCommands (1001) maximum delay is 1000 ms", false},
    };
    for (const auto& c : cases) {
        Tovanix::String error;
        g_timingLines.clear();
        EXPECT_FALSE(c.operation(&error));
        EXPECT_STREQ(error.c_str(), c.message);
        ASSERT_EQ(g_timingLines.size(), c.timingLine ? 1u : 0u) << c.message;
        if (c.timingLine) {
            auto columns = Columns(g_timingLines[0]);
            ASSERT_EQ(columns.size(), 11u);
            EXPECT_EQ(columns[4], "0");    // no transaction
            EXPECT_EQ(columns[6], "ZR");
            EXPECT_EQ(columns[10], c.message);
        }
    }
    EXPECT_EQ(pumps->ReceivedBytes(), "");
    Tovanix::String error;
    EXPECT_TRUE(TecanCentris::SetMinimumTimeBetweenCommands(1000, &error));
    EXPECT_EQ(g_PumpMinTimeBetweenCommandsMs, 1000);
}

TEST_F(TecanCentrisTest, DeviceErrorsAndGarbledRepliesAreFailures) {
    OpenPumps();
    Tovanix::String error;
    Tovanix::String reply;

    pumps->SetErrorStatus('j');
    pumps->SetFault(Fault::DeviceError, 1);
    EXPECT_FALSE(TecanCentris::SendCommand(kPumpPort, 1, "?29", 200, &reply, &error));
    EXPECT_STREQ(error.c_str(), "TecanCentris::SendCommand () : com_port=5 pump=1 command=?29 error: Step loss detected");

    pumps->SetFault(Fault::Garbled, 1);
    reply = "";
    EXPECT_FALSE(TecanCentris::SetTopSpeed(kPumpPort, 2, 120, &error));
    EXPECT_STREQ(error.c_str(),
                 "TecanCentris::SendCommand () : com_port=5 pump=2 command=V2.000,1R command sent but no valid "
                 "response received before timeout of 2000 ms");
    EXPECT_DOUBLE_EQ(g_PumpTopSpeed[1], 0);  // not remembered

    // A refused valve turn is not remembered either.
    pumps->SetErrorStatus('J');
    pumps->SetFault(Fault::DeviceError, 1);
    EXPECT_FALSE(TecanCentris::SetValveBypass(kPumpPort, 1, &error));
    EXPECT_EQ(g_PumpValveState[0], ' ');

    // A pump's own refusal: not initialised.
    pumps->ModifyPump(2, [](sim::PumpSimulator::PumpState& p) { p.initialized = false; });
    EXPECT_FALSE(TecanCentris::MoveToPosition(kPumpPort, 2, 10, &error));
    EXPECT_STREQ(error.c_str(),
                 "TecanCentris::SendCommand () : com_port=5 pump=2 command=A10.000,1R error: Device not yet initialized");

    // The ramps are read back even when the pump refuses them.
    EXPECT_FALSE(TecanCentris::SetAccelerationRate(kPumpPort, 1, 0, 7, &error));
    EXPECT_STREQ(error.c_str(), "TecanCentris::SetAccelerationRate() : assigned ramp_up=0 read back ramp_up=14");
}

TEST_F(TecanCentrisTest, SilentPumpGetsFourTriesThenTheErrorIsLoggedAndThePortReopened) {
    OpenPumps();
    g_PumpTimingLogCallback = RecordTimingLine;
    pumps->SetFault(Fault::NoReply);
    Tovanix::String error;
    Tovanix::String reply;
    auto before = clock.Now();
    EXPECT_FALSE(TecanCentris::SendCommand(kPumpPort, 1, "?29", 200, &reply, &error));
    EXPECT_EQ(clock.Now() - before, 3000ms);  // three pauses between four tries
    EXPECT_STREQ(error.c_str(), "TecanCentris::SendCommand () : error sending command to com port: 5");
    EXPECT_EQ(pumps->ReceivedBytes(), "/1?29\r/1?29\r/1?29\r/1?29\r");

    ASSERT_EQ(g_timingLines.size(), 1u);
    auto columns = Columns(g_timingLines[0]);
    EXPECT_EQ(columns[4], "4");
    EXPECT_EQ(columns[5], "1");
    EXPECT_EQ(columns[10], error.c_str());

    SYSTEMTIME today;
    GetLocalTime(&today);
    char name[64];
    std::snprintf(name, sizeof(name), "/LOG/Err_And_Info_%04u_%02u_%02u.log", today.wYear, today.wMonth, today.wDay);
    EXPECT_NE(ReadFile(dataRoot + name).find("error sending command to com port: 5"), std::string::npos);

    // The port was set up again: the next command goes through.
    pumps->SetFault(Fault::None);
    EXPECT_TRUE(TecanCentris::SendCommand(kPumpPort, 1, "?29", 200, &reply, &error));
    EXPECT_STREQ(reply.c_str(), "0");
}

// A move whose reply is lost may be running already: sending it again would
// move the liquid a second time.
TEST_F(TecanCentrisTest, MoveWhoseReplyIsLostIsNotSentAgain) {
    OpenPumps();
    struct Case {
        const char* command;  // the move whose reply is lost
        std::function<bool(Tovanix::String*)> operation;
        const char* wire;
        double plungerUl;  // where the plunger stands afterwards
        char valve;
    };
    const std::vector<Case> cases = {
        {"P12.5,1R", [](Tovanix::String* e) { return TecanCentris::Aspirate_ul(kPumpPort, 1, 12.5, e); },
         "/1?17\r/1?18\r/1P12.5,1R\r", 12.5, 'I'},
        {"D6.250,1R", [](Tovanix::String* e) { return TecanCentris::Dispense_ul(kPumpPort, 1, 6.25, e); },
         "/1?18\r/1D6.250,1R\r", 6.25, 'I'},
        {"A2.500,1R", [](Tovanix::String* e) { return TecanCentris::MoveToPosition(kPumpPort, 1, 2.5, e); },
         "/1A2.500,1R\r", 2.5, 'I'},
        {"R", [](Tovanix::String* e) { return TecanCentris::SetValveOutput(kPumpPort, 1, e); }, "/1O\r/1R\r", 2.5,
         'O'},
        {"ZR", [](Tovanix::String* e) { return TecanCentris::InitializeSyringePump(kPumpPort, 1, e); }, "/1ZR\r", 0,
         'O'},
    };
    for (const Case& c : cases) {
        pumps->ClearReceived();
        pumps->SetFault(Fault::LostReply, 1, c.command);
        Tovanix::String error;
        const auto before = clock.Now();
        EXPECT_FALSE(c.operation(&error)) << c.command;
        EXPECT_EQ(clock.Now() - before, 0ms) << c.command << ": no pause for a second try";
        EXPECT_EQ(pumps->ReceivedBytes(), c.wire) << c.command;
        EXPECT_EQ(std::string(error.c_str()),
                  std::string("TecanCentris::SendCommand () : error sending command to com port: 5 : command=") +
                      c.command + " not sent again, the pump may have carried it out");

        // The port was opened afresh, and the pump tells where it stands.
        double aspirated = -1;
        ASSERT_TRUE(TecanCentris::QueryDouble(kPumpPort, 1, "?18", &aspirated, &error)) << error.c_str();
        EXPECT_DOUBLE_EQ(aspirated, c.plungerUl) << c.command;
        EXPECT_EQ(pumps->Pump(1).valve, c.valve) << c.command;
    }
    EXPECT_EQ(g_PumpValveState[0], ' ');  // a valve turn without its reply is not remembered
}

// Queries and settings change nothing when repeated: a lost reply is asked again.
TEST_F(TecanCentrisTest, QueriesAndSettingsAreTriedAgainAfterALostReply) {
    OpenPumps();
    struct Case {
        const char* lostReplyTo;
        std::function<bool(Tovanix::String*)> operation;
        const char* wire;
    };
    const std::vector<Case> cases = {
        {"V", [](Tovanix::String* e) { return TecanCentris::SetTopSpeed(kPumpPort, 1, 600, e); },
         "/1V10.000,1R\r/1V10.000,1R\r"},
        {"?18",
         [](Tovanix::String* e) {
             double value = 0;
             return TecanCentris::QueryDouble(kPumpPort, 1, "?18", &value, e);
         },
         "/1?18\r/1?18\r"},
        {"O", [](Tovanix::String* e) { return TecanCentris::SetValveOutput(kPumpPort, 1, e); },
         "/1O\r/1O\r/1R\r"},  // the letter alone is only stored by the pump
    };
    for (const Case& c : cases) {
        pumps->ClearReceived();
        pumps->SetFault(Fault::LostReply, 1, c.lostReplyTo);
        Tovanix::String error;
        const auto before = clock.Now();
        EXPECT_TRUE(c.operation(&error)) << c.lostReplyTo << ": " << error.c_str();
        EXPECT_EQ(clock.Now() - before, 1000ms) << c.lostReplyTo;
        EXPECT_EQ(pumps->ReceivedBytes(), c.wire) << c.lostReplyTo;
    }
    EXPECT_DOUBLE_EQ(g_PumpTopSpeed[0], 600);
    EXPECT_EQ(g_PumpValveState[0], 'O');
}

TEST_F(TecanCentrisTest, TimingLineShowsTheEnforcedGapAndTheCleanedReply) {
    OpenPumps();
    g_PumpTimingLogCallback = RecordTimingLine;
    Tovanix::String error;
    ASSERT_TRUE(TecanCentris::SetMinimumTimeBetweenCommands(100, &error));
    Tovanix::String reply;
    ASSERT_TRUE(TecanCentris::SendCommand(kPumpPort, 1, "?29", 200, &reply, &error));
    clock.Advance(30ms);
    ASSERT_TRUE(TecanCentris::SendCommand(kPumpPort, 2, "?29", 200, &reply, &error));
    ASSERT_EQ(g_timingLines.size(), 2u);
    auto columns = Columns(g_timingLines[1]);
    ASSERT_EQ(columns.size(), 11u);
    EXPECT_EQ(columns[2], "70");
    EXPECT_EQ(columns[4], "1");
    EXPECT_EQ(columns[5], "0");
    EXPECT_EQ(columns[6], "?29");
    EXPECT_EQ(columns[7], "5");
    EXPECT_EQ(columns[8], "2");
    EXPECT_EQ(columns[9], "0");  // 0xFF, '/', ETX, CR, LF gone; then "0`" dropped
}

TEST_F(TecanCentrisTest, VolumeChecksAgainstThePumpsReports) {
    OpenPumps();
    Tovanix::String error;
    ASSERT_TRUE(TecanCentris::SetSyringeVolume(kPumpPort, 1, 250, &error));
    ASSERT_TRUE(TecanCentris::Aspirate_ul(kPumpPort, 1, 200, &error));
    pumps->ClearReceived();
    EXPECT_FALSE(TecanCentris::Aspirate_ul(kPumpPort, 1, 100, &error));
    EXPECT_STREQ(error.c_str(), "Aspirate_ul (100) : Invalid aspirate, will exceed syringe capacity : 250 ul");
    EXPECT_FALSE(TecanCentris::Aspirate_ul(kPumpPort, 1, 300, &error));   // more than the syringe: no ?18
    EXPECT_FALSE(TecanCentris::Dispense_ul(kPumpPort, 1, 200.5, &error));
    EXPECT_STREQ(error.c_str(),
                 "Dispense_ul (200.5) : Invalid dispense, current aspirated volume is too small : 200 ul");
    EXPECT_EQ(pumps->ReceivedBytes(), "/1?17\r/1?18\r/1?17\r/1?18\r");
    EXPECT_TRUE(TecanCentris::Dispense_ul(kPumpPort, 1, 200, &error));
}

TEST_F(TecanCentrisTest, RepliesThatAreNotNumbersAreRefusedAndLeaveTheValue) {
    // Pumps on COM3 that answer with success frames: pump 1 with "77.0" to
    // "?53" and "hot" to everything else, pump 2 always with "hot".
    AnswerOnSilentLine('\r', [](const std::string& command) {
        std::string data = command == "/1?53" ? "77.0" : "hot";
        return "\xFF/0`" + data + "\x03\r\n";
    });
    const int port = devices_testing::kSilentPort;
    Tovanix::String error;
    ASSERT_TRUE(SetupSerialPort(port, 9600, &error)) << error.c_str();
    int32_t whole = 7;
    EXPECT_FALSE(TecanCentris::QueryLong(port, 1, "?4", &whole, &error));
    EXPECT_STREQ(error.c_str(), "TecanCentris::SendCommand(?4) : invalid resonse : hot");
    EXPECT_EQ(whole, 7);
    double real = 7.5;
    EXPECT_FALSE(TecanCentris::QueryDouble(port, 2, "?18", &real, &error));
    EXPECT_STREQ(error.c_str(), "TecanCentris::SendCommand(?18) : invalid resonse : hot");
    EXPECT_DOUBLE_EQ(real, 7.5);
    double pump1 = 0;
    double pump2 = 0;
    EXPECT_FALSE(TecanCentris::GetTemperature(port, &pump1, &pump2, &error));
    EXPECT_STREQ(error.c_str(), "TecanCentris::GetTemperature() Invalid response to command: ?53 for pump2: hot");
}

TEST_F(TecanCentrisTest, TemperatureInCelsiusRounded) {
    OpenPumps();
    pumps->ModifyPump(2, [](sim::PumpSimulator::PumpState& p) { p.temperatureF = 98.6; });
    double pump1 = 0;
    double pump2 = 0;
    Tovanix::String error;
    ASSERT_TRUE(TecanCentris::GetTemperature(kPumpPort, &pump1, &pump2, &error));
    EXPECT_DOUBLE_EQ(pump1, 25.0);
    EXPECT_DOUBLE_EQ(pump2, 37.0);
}

TEST_F(TecanCentrisTest, TerminateBusyPumpsStopsOnlyTheBusyOne) {
    OpenPumps();
    pumps->HoldBusy(2, 60s);
    Tovanix::String error("stale");
    EXPECT_TRUE(TecanCentris::TerminateBusyPumps(kPumpPort, &error));
    EXPECT_STREQ(error.c_str(), "");
    EXPECT_EQ(pumps->ReceivedBytes(), "/1?29\r/2?29\r/2T\r");
    EXPECT_FALSE(pumps->Pump(2).busy);

    pumps->SetFault(Fault::DeviceError);
    EXPECT_FALSE(TecanCentris::TerminateBusyPumps(kPumpPort, &error));
    EXPECT_STREQ(error.c_str(),
                 "TecanCentris::SendCommand () : com_port=5 pump=1 command=?29 error: Internal command execution error"
                 " : TecanCentris::SendCommand () : com_port=5 pump=2 command=?29 error: Internal command execution "
                 "error");
}

}  // namespace
