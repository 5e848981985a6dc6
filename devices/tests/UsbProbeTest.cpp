#include "devices/UsbProbe.h"

#include <filesystem>

#include "VirtualInstrumentFixture.h"
#include "devices/DigitalIO.h"
#include "sim/UsbDevices.h"
#include "sim/VirtualInstrumentSession.h"

namespace {

class UsbProbeTest : public VirtualInstrumentTest {
protected:
    void SetUp() override {
        VirtualInstrumentTest::SetUp();
        theApp.m_strExeDir = (platform::ProgramFolder() + "/").c_str();
        reportPath = platform::NativePath("c:\\ProgramData\\Tessaly\\Quillon\\power_on_test.txt");
    }
    void WriteReport(const std::string& text) {
        std::filesystem::create_directories(std::filesystem::path(reportPath).parent_path());
        ASSERT_TRUE(platform::WriteFileAtomically(reportPath, text.data(), text.size()));
    }
    // Puts the lister beside the program.
    static void InstallLister() {
        std::filesystem::copy_file(VELLORA_USB_LISTER, platform::JoinPath(platform::ProgramFolder(), "USBDeview.exe"),
                                   std::filesystem::copy_options::overwrite_existing);
    }

    std::string reportPath;
};

TEST_F(UsbProbeTest, DescriptionLinesMatchWhateverTheirSpacingAndCase) {
    struct Case {
        const char* report;
        bool hub;     // mode 1
        bool camera;  // mode 2
    };
    const Case cases[] = {
        {"Description       : Generic SuperSpeed USB Hub\r\n", true, false},
        {"DESCRIPTION:GENERIC  super speed usb HUB\n", true, false},
        {"Driver Description: Generic SuperSpeed USB Hub\r\n", true, false},
        {"Description : Generic USB Hub\r\nDescription : USB Root Hub (USB 3.0)\r\n", false, false},
        {"Description       : Basler acA2440-35um\r\n", false, true},
        {"description:pixeLINK PL-D7512MU\n", false, true},
        {"Driver Description: Basler acA2440-35um\r\n", false, false},
        {"Device Name : Basler camera\r\n", false, false},
        {"Description Basler Generic SuperSpeed USB Hub\r\n", false, false},
        {"", false, false},
    };
    for (const Case& c : cases) {
        WriteReport(c.report);
        EXPECT_EQ(DetectInstrumentUsbDevices(1, false), c.hub) << c.report;
        EXPECT_EQ(DetectInstrumentUsbDevices(2, false), c.camera) << c.report;
        EXPECT_TRUE(DetectInstrumentUsbDevices(3, false)) << "other modes pass once the report exists";
    }
}

TEST_F(UsbProbeTest, MissingReportFailsAndMissingListerPasses) {
    EXPECT_FALSE(DetectInstrumentUsbDevices(2, false));
    EXPECT_FALSE(DetectInstrumentUsbDevices(1, false));
    // The lister is not beside the program: the probe cannot work and lets
    // start-up go on.
    EXPECT_TRUE(DetectInstrumentUsbDevices(1, true));
    EXPECT_TRUE(DetectInstrumentUsbDevices(2, true));
}

TEST_F(UsbProbeTest, ListerReportsThePowerAndCameraOfTheVirtualInstrument) {
    InstallLister();
    struct Case {
        bool powered;
        sim::CameraMake make;
        bool attached;
        bool hub, camera;
    };
    for (const Case& c : {Case{true, sim::CameraMake::Basler, true, true, true},
                          Case{true, sim::CameraMake::Pixelink, true, true, true},
                          Case{true, sim::CameraMake::Basler, false, true, false},
                          Case{false, sim::CameraMake::Basler, true, false, false}}) {
        {
            auto lock = sim::VirtualInstrument::Instance().Lock();
            sim::VirtualInstrument::Instance().State().powered = c.powered;
        }
        sim::VirtualCamera::Instance().Attach(c.make);
        ChangeCamera([&](sim::CameraDeviceState& s) { s.identity.attached = c.attached; });
        ASSERT_TRUE(sim::PublishUsbDevices());
        const auto before = clock.Now();
        EXPECT_EQ(DetectInstrumentUsbDevices(1, true), c.hub);
        EXPECT_EQ(clock.Now() - before, std::chrono::milliseconds(1000)) << "a second after the lister ends";
        EXPECT_EQ(DetectInstrumentUsbDevices(2, false), c.camera) << "the same report, searched again";
    }
}

// The start-up power check end to end: the running virtual instrument, the
// lister beside the program, the probe, and the digital I/O device that hangs
// on the instrument.
TEST_F(UsbProbeTest, PowerSwitchReachesTheProbeAndTheDigitalIO) {
    InstallLister();
    sim::VirtualInstrumentSession session;
    std::string error;
    ASSERT_TRUE(session.Start(&error)) << error;
    struct Step {
        bool powered;
        bool hub, camera, dio;
    };
    for (const Step& step : {Step{false, false, false, false}, Step{true, true, true, true}}) {
        g_DIOPort0InputTask = nullptr;
        g_DIOPort0OutputTask = nullptr;
        g_DIOPort1Task = nullptr;
        sim::VirtualInstrument::Instance().SetPowered(step.powered);
        EXPECT_EQ(DetectInstrumentUsbDevices(1, true), step.hub) << "powered " << step.powered;
        EXPECT_EQ(DetectInstrumentUsbDevices(2, false), step.camera) << "powered " << step.powered;
        CString dioError;
        EXPECT_EQ(Initialize_DIO(&dioError, false), step.dio) << dioError.GetString();
    }
}

}  // namespace
