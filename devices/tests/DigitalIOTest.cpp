#include "devices/DigitalIO.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "VirtualInstrumentFixture.h"
#include "support/AppLogs.h"

namespace {

// LEDs on port 0 lines 0..3, cartridge on line 4, clamp on line 5: the
// virtual instrument's wiring.
const char* const kInterlockSettings =
    "[DIO_Config]\r\nMapping=Interlock\r\nLED0_port=0\r\nLED0_line=0\r\nLED1_port=0\r\nLED1_line=1\r\n"
    "LED2_port=0\r\nLED2_line=2\r\nLED3_port=0\r\nLED3_line=3\r\nCartridge_Port=0\r\nCartridge_Line=4\r\n"
    "Clamp_Port=0\r\nClamp_Line=5\r\n";

class DigitalIOTest : public VirtualInstrumentTest {
protected:
    void SetUp() override {
        VirtualInstrumentTest::SetUp();
        // The driver's state lives for the process; start each test afresh.
        g_DIOPort0InputTask = nullptr;
        g_DIOPort0OutputTask = nullptr;
        g_DIOPort1Task = nullptr;
        for (int line = 0; line < kDIOLogicalLines; ++line) {
            g_DIOLinePort[line] = 0;
            g_DIOLineNumber[line] = 0;
            g_DIOLineStateForLogicHigh[line] = 0;
        }
        g_DIOPortTable = {};
    }

    // Start-up: the device, then the mapping.
    void Start(const char* settings = kInterlockSettings) {
        WriteSettings(settings);
        CString error;
        ASSERT_TRUE(Initialize_DIO(&error, false)) << error.GetString();
        ASSERT_TRUE(LoadDIOMapping(&error)) << error.GetString();
    }
    static bool Lit(int led) { return sim::VirtualInstrument::Instance().Snapshot().digitalLines[static_cast<size_t>(3 + led)]; }
    static sim::VirtualDaq& Daq() { return sim::VirtualDaq::Instance(); }
};

TEST_F(DigitalIOTest, MissingDeviceNameBecomesDev1AndIsWrittenBack) {
    WriteSettings("[DigitalIO]\r\nNI_USB-6001_Device_Name=\r\n");
    CString error;
    ASSERT_TRUE(Initialize_DIO(&error, false)) << error.GetString();
    EXPECT_STREQ(g_DIODeviceName[0].c_str(), "Dev1");
    EXPECT_NE(ReadSettings().find("NI_USB-6001_Device_Name=Dev1"), std::string::npos) << ReadSettings();
    EXPECT_EQ(g_DIOPort1Channel, "Dev1/port1");

    // A named device that is not there fails with the library's text.
    g_DIOPort0InputTask = nullptr;
    g_DIOPort1Task = nullptr;
    WriteSettings("[DigitalIO]\r\nNI_USB-6001_Device_Name=Dev7\r\n");
    EXPECT_FALSE(Initialize_DIO(&error, false));
    EXPECT_EQ(error.Find("Initialize_DIO() : DAQmxGetDeviceAttribute (Dev7) returns error : "), 0) << error.GetString();
}

TEST_F(DigitalIOTest, MappingChecksReportEveryCollisionAndKeepThePreviousTable) {
    Start();
    struct Case {
        const char* settings;
        const char* error;
    };
    const Case cases[] = {
        {"[DIO_Config]\r\nMapping=Interlock\r\n",
         "D I/O line assignment collision. LED0 + Cartridge + Clamp assigned to port 0 line 0\n"},
        {"[DIO_Config]\r\nLED1_port=1\r\nLED1_line=5\r\nCartridge_Line=6\r\nClamp_Line=7\r\n",
         "D I/O invalid assignment, port 1 has only lines 0,1,2,3. LED1 assigned to port 1 line 5\n"},
        {"[DIO_Config]\r\nLED0_line=3\r\nLED2_line=9\r\nLED3_line=x\r\nCartridge_Line=5\r\nClamp_Line=6\r\n",
         "D I/O line assignment collision. LED0 + LED3 assigned to port 0 line 3\n"},
        {"[DIO_Config]\r\nLED2_line=-4\r\nCartridge_Line=4\r\nClamp_Line=4\r\nClamp_Port=7\r\n",
         "D I/O line assignment collision. LED0 + LED2 assigned to port 0 line 0\n"
         "D I/O invalid assignment, port 1 has only lines 0,1,2,3. Clamp assigned to port 1 line 4\n"},
    };
    for (const Case& c : cases) {
        WriteSettings(c.settings);
        CString error;
        EXPECT_FALSE(LoadDIOMapping(&error)) << c.settings;
        EXPECT_EQ(error, c.error) << c.settings;
        EXPECT_EQ(g_DIOLineNumber[7], 4) << "the table keeps its contents";
        EXPECT_EQ(g_DIOLineNumber[5], 2);
    }
}

TEST_F(DigitalIOTest, InterlockInputsFollowTheSensorKeysAndBadKeysAreLogged) {
    // The error-and-info log goes to a data root of this test's own.
    const std::filesystem::path root = std::filesystem::path(platform::PublicDocumentsFolder()) / "InterlockLog";
    std::filesystem::create_directories(root / "LOG");
    const CString dataRoot = root.string().c_str();
    SetAppLogSources({&dataRoot, nullptr, nullptr, nullptr});
    // The logs must not keep a pointer to this test's text, however the test ends.
    struct ForgetLogSources {
        ~ForgetLogSources() { SetAppLogSources({}); }
    } forgetLogSources;
    auto logText = [&root] {
        std::string text;
        for (const auto& entry : std::filesystem::directory_iterator(root / "LOG")) {
            std::ifstream file(entry.path(), std::ios::binary);
            std::stringstream content;
            content << file.rdbuf();
            text += content.str();
        }
        return text;
    };
    const std::string leds = "LED0_line=0\r\nLED1_line=1\r\nLED2_line=2\r\nLED3_line=3\r\n";
    struct Case {
        std::string settings;
        int cartridgeType, clampType;  // 1 output, 0 input, of port 0 lines 4 and 5
        const char* logged;            // the key named in the log, or none
        int cartridgeHigh;
    };
    const Case cases[] = {
        // No Mapping key: the lines are assigned and checked, but none is an input.
        {"Cartridge_Port=0\r\nCartridge_Line=4\r\nClamp_Port=0\r\nClamp_Line=5\r\n", 1, 1, nullptr, 1},
        {"Mapping=interlock\r\nCartridge_Port=0\r\nCartridge_Line=4\r\nClamp_Port=0\r\nClamp_Line=5\r\n"
         "Cartridge_StateForLogicHigh=0\r\n",
         0, 0, nullptr, 0},
        // Held at line 7 by the mapping, but not a line of port 0 for the interlock.
        {"Mapping=Interlock\r\nCartridge_Port=0\r\nCartridge_Line=4\r\nClamp_Port=0\r\nClamp_Line=9\r\n", 0, 1,
         "Clamp_Line", 1},
        {"Mapping=Interlock\r\nCartridge_Port=x\r\nCartridge_Line=4\r\nClamp_Port=0\r\nClamp_Line=5\r\n", 1, 1,
         "Cartridge_Port", 1},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(root / "LOG");
        std::filesystem::create_directories(root / "LOG");
        WriteSettings("[DIO_Config]\r\n" + leds + c.settings);
        CString error;
        ASSERT_TRUE(LoadDIOMapping(&error)) << error.GetString();
        int cartridge = -1, clamp = -1;
        ASSERT_TRUE(GetDIOLineType(0, 4, &cartridge, &error));
        ASSERT_TRUE(GetDIOLineType(0, 5, &clamp, &error));
        EXPECT_EQ(cartridge, c.cartridgeType) << c.settings;
        EXPECT_EQ(clamp, c.clampType) << c.settings;
        EXPECT_EQ(g_DIOLineStateForLogicHigh[7], c.cartridgeHigh) << c.settings;
        EXPECT_EQ(g_DIOLineStateForLogicHigh[8], 1) << c.settings;
        const std::string log = logText();
        if (c.logged) {
            const std::string expected =
                std::string("ExperimentSettings.ini [DIO_Config] ") + c.logged + " is missing or invalid";
            EXPECT_NE(log.find("\tDigitalIO\t"), std::string::npos) << log;
            EXPECT_NE(log.find(expected), std::string::npos) << log;
        } else {
            EXPECT_EQ(log.find("is missing or invalid"), std::string::npos) << c.settings << log;
        }
    }
}

TEST_F(DigitalIOTest, BusyDeviceFailsAfterOneSecondWithoutTouchingDeviceOrTables) {
    Start();
    CString error;
    ASSERT_TRUE(SetDIOOutputLineState(0, 1, true, &error)) << error.GetString();
    const int calls = Daq().CallCount();
    // Another thread holds the device; the waits run out on the test's clock.
    ASSERT_TRUE(g_DIOSemaphore->Wait(0));
    clock.ElapseBlockedWaits(true);
    auto start = clock.Now();
    auto waited = [&] {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(clock.Now() - start);
        start = clock.Now();
        return ms.count();
    };
    unsigned char value = 0;
    EXPECT_FALSE(read_port0(&value, &error));
    EXPECT_EQ(error, "read_port0() : Timeout after waiting 1 second to access NI USB-6001 device.");
    EXPECT_EQ(waited(), 1000);
    EXPECT_FALSE(set_port0(0x00, &error));
    EXPECT_EQ(error, "set_port0() : Timeout after waiting 1 second to access NI USB-6001 device.");
    EXPECT_EQ(waited(), 1000);
    EXPECT_EQ(g_DIOPortTable[0][1].state, 1) << "the remembered output stays";
    EXPECT_FALSE(Initialize_DIO(&error, true));
    EXPECT_EQ(error, "Initialize_DIO() : Timeout after waiting 1 second to access NI USB-6001 device.");
    EXPECT_EQ(waited(), 1000);
    EXPECT_EQ(Daq().CallCount(), calls);
    EXPECT_EQ(g_DIOSemaphore->Count(), 0) << "a failed wait gives nothing back";
    g_DIOSemaphore->Release();
    EXPECT_TRUE(read_port0(&value, &error)) << error.GetString();
}

TEST_F(DigitalIOTest, LinesAreCheckedBeforeTheDeviceIsTouched) {
    Start();
    CString error;
    EXPECT_FALSE(SetDIOLine(13, &error));
    EXPECT_EQ(error, "SetDIOLine () : Invalid Digital I/O configuration for dio_idx=13");
    EXPECT_FALSE(ClearDIOLine(13, &error));
    EXPECT_EQ(error, "ClearDIOLine () : Invalid Digital I/O configuration for dio_idx=13");
    EXPECT_FALSE(SetDIOLine(7, &error));
    EXPECT_EQ(error, "SetDIOLine () : Attempt to set the value of an input only digital i/o line, dio_idx=7");

    // Output state already set: no device call.
    ASSERT_TRUE(SetDIOOutputLineState(0, 2, true, &error));
    const int calls = Daq().CallCount();
    EXPECT_TRUE(SetDIOOutputLineState(0, 2, true, &error));
    EXPECT_EQ(Daq().CallCount(), calls);
    EXPECT_FALSE(SetDIOOutputLineState(0, 4, true, &error));
    EXPECT_EQ(error.Find("SetDIOOutputLineState() : line="), 0);
    EXPECT_NE(error.Find(" : port=0 line=4 is configured for input. 0 0 0"), -1) << error.GetString();

    int type = -1;
    EXPECT_FALSE(GetDIOLineType(1, 4, &type, &error));
    EXPECT_NE(error.Find(" : invalid port: 1  must be between 0 and  3"), -1) << error.GetString();
    EXPECT_FALSE(ConfigureDIOLineType(2, 0, 1, &error));
    EXPECT_NE(error.Find(" : invalid port: 2  must be between 0 and 1 "), -1) << error.GetString();
}

TEST_F(DigitalIOTest, PortZeroWithoutInputsReadsTheRememberedOutputs) {
    Start("[DIO_Config]\r\nMapping=Fluigent\r\n");
    EXPECT_EQ(ui.ShownBoxes().size(), 1u);
    CString error;
    ASSERT_TRUE(set_port0(0x05, &error));
    const int reads = Daq().CallCount("DAQmxReadRaw");
    unsigned char value = 0;
    ASSERT_TRUE(read_port0(&value, &error));
    EXPECT_EQ(value, 0x05);
    EXPECT_EQ(Daq().CallCount("DAQmxReadRaw"), reads);
}

TEST_F(DigitalIOTest, SensorsReadThroughTheirLines) {
    Start();
    CString error;
    unsigned char value = 0;
    {
        auto lock = sim::VirtualInstrument::Instance().Lock();
        sim::VirtualInstrument::Instance().State().cartridgeInserted = false;
        sim::VirtualInstrument::Instance().State().clampClosed = true;
    }
    ASSERT_TRUE(ReadDIOLines(0, &value, &error)) << error.GetString();
    EXPECT_EQ((value >> g_DIOLineNumber[7]) & 1, 0);
    EXPECT_EQ((value >> g_DIOLineNumber[8]) & 1, 1);
    bool state = false;
    ASSERT_TRUE(GetDIOInputLineState(0, 5, &state, &error));
    EXPECT_TRUE(state);
    EXPECT_FALSE(GetDIOInputLineState(0, 1, &state, &error));
    EXPECT_NE(error.Find("iport=0 iline=1 is not configured as in input line 0 0 0"), -1);
}

TEST_F(DigitalIOTest, AnLedSwitchedOnShowsInTheNextFrameOnly) {
    Start();
    {
        auto lock = sim::VirtualInstrument::Instance().Lock();
        sim::VirtualInstrument::Instance().State().sample.cells = {{1200, 1000, 12, 1}};
    }
    auto cellLevel = [] {
        std::vector<uint16_t> samples;
        int width = 0, height = 0, bits = 0;
        sim::VirtualCamera::Instance().RenderFrame(&samples, &width, &height, &bits);
        return samples[1000 * static_cast<size_t>(width) + 1200];
    };
    CString error;
    ASSERT_TRUE(SetDIOLine(4, &error)) << error.GetString();  // image type 1, LED1
    EXPECT_TRUE(Lit(1));
    EXPECT_GT(cellLevel(), 1000);
    ASSERT_TRUE(ClearDIOLine(4, &error)) << error.GetString();
    EXPECT_FALSE(Lit(1));
    EXPECT_LT(cellLevel(), 100);
    EXPECT_EQ(Daq().LatchHistory().back().value, 0);
}

TEST_F(DigitalIOTest, PortOneLinesGoThroughPortOne) {
    // LED2 wired to port 1 line 2; the other LEDs stay on port 0.
    sim::DaqWiring wiring = sim::DaqWiring::Default();
    wiring.lines[5] = sim::DaqLine{1, 2};
    Daq().SetWiring(wiring);
    std::string settings = kInterlockSettings;
    const std::string port0 = "LED2_port=0";
    ASSERT_NE(settings.find(port0), std::string::npos);
    settings.replace(settings.find(port0), port0.size(), "LED2_port=1");
    Start(settings.c_str());
    ASSERT_EQ(g_DIOLinePort[5], 1);

    // Each step, then both ports' latches. Port 1's own remembered states
    // (not port 0's) make the value of an output-line change; a whole-port
    // write does not change them.
    struct Step {
        const char* what;
        std::function<bool(CString*)> action;
        uint8_t port1, port0;
    };
    const Step steps[] = {
        {"port 1 written whole", [](CString* e) { return SetDIOLines(1, 0x09, e); }, 0x09, 0x00},
        {"LED2 on", [](CString* e) { return SetDIOLine(5, e); }, 0x0D, 0x00},
        {"LED2 off", [](CString* e) { return ClearDIOLine(5, e); }, 0x09, 0x00},
        {"port 0 line 3 on", [](CString* e) { return SetDIOOutputLineState(0, 3, true, e); }, 0x09, 0x08},
        {"port 1 line 1 on", [](CString* e) { return SetDIOOutputLineState(1, 1, true, e); }, 0x02, 0x08},
        {"port 1 line 3 on", [](CString* e) { return SetDIOOutputLineState(1, 3, true, e); }, 0x0A, 0x08},
        {"port 1 line 1 off", [](CString* e) { return SetDIOOutputLineState(1, 1, false, e); }, 0x08, 0x08},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        CString error;
        ASSERT_TRUE(step.action(&error)) << error.GetString();
        EXPECT_EQ(Daq().OutputLatch(1), step.port1);
        EXPECT_EQ(Daq().OutputLatch(0), step.port0);
        EXPECT_EQ(Lit(2), (step.port1 & 0x04) != 0);
        unsigned char value = 0xFF;
        ASSERT_TRUE(ReadDIOLines(1, &value, &error)) << error.GetString();
        EXPECT_EQ(value, step.port1);
    }
}

TEST_F(DigitalIOTest, PortOneWithWrongLineCountFailsAndIsRetriedAlone) {
    Daq().SetPort1LineCount(3);
    CString error;
    EXPECT_FALSE(Initialize_DIO(&error, false));
    EXPECT_EQ(error, "Initialize_DIO() : DAQmxGetDONumLines () retuns error 3 lines, expecting 4 lines");
    EXPECT_NE(g_DIOPort0InputTask, nullptr) << "port 0 was started";
    EXPECT_EQ(g_DIOPort1Task, nullptr) << "the broken port-1 task is disposed";
    EXPECT_FALSE(Initialize_DIO(&error, false)) << "still broken: not reported ready";

    Daq().SetPort1LineCount(4);
    const int creations = Daq().CallCount("DAQmxCreateTask");
    EXPECT_TRUE(Initialize_DIO(&error, false)) << error.GetString();
    EXPECT_EQ(Daq().CallCount("DAQmxCreateTask"), creations + 1) << "only the port-1 task is made again";
    EXPECT_EQ(g_DIOSemaphore->Count(), 1);
}

TEST_F(DigitalIOTest, PortZeroSetupFailureIsRetriedAndReleasesTheSemaphoreOnce) {
    WriteSettings(kInterlockSettings);
    Daq().InjectFault("DAQmxCreateDOChan", DAQmxErrorTimeout, 1);
    CString error;
    EXPECT_FALSE(Initialize_DIO(&error, false));
    EXPECT_EQ(error.Find("Initialize_DIO() : DAQmxCreateDOChan () retuns error : "), 0) << error.GetString();
    EXPECT_EQ(g_DIOPort0InputTask, nullptr);
    EXPECT_EQ(g_DIOSemaphore->Count(), 1);

    EXPECT_TRUE(Initialize_DIO(&error, false)) << error.GetString();
    EXPECT_EQ(g_DIOSemaphore->Count(), 1);
    unsigned char value = 0;
    EXPECT_TRUE(ReadDIOLines(0, &value, &error)) << error.GetString();

    // A first task creation that fails is retried after a device reset.
    Daq().InjectFault("DAQmxCreateTask", DAQmxErrorTimeout, 1);
    const int resets = Daq().CallCount("DAQmxResetDevice");
    EXPECT_TRUE(Initialize_DIO(&error, true)) << error.GetString();
    EXPECT_EQ(Daq().CallCount("DAQmxResetDevice"), resets + 3) << "two forced resets and the retry's";
}

TEST_F(DigitalIOTest, TwoThreadsSwitchingLinesOfOnePortLoseNoChange) {
    Start();
    for (int round = 0; round < 50; ++round) {
        std::thread first([] {
            CString error;
            EXPECT_TRUE(SetDIOLine(3, &error)) << error.GetString();
        });
        std::thread second([] {
            CString error;
            EXPECT_TRUE(SetDIOLine(6, &error)) << error.GetString();
        });
        first.join();
        second.join();
        ASSERT_EQ(Daq().OutputLatch(0) & 0x09, 0x09) << "round " << round;
        CString error;
        ASSERT_TRUE(ClearDIOLine(3, &error));
        ASSERT_TRUE(ClearDIOLine(6, &error));
        ASSERT_EQ(Daq().OutputLatch(0) & 0x0F, 0);
    }
}

}  // namespace
