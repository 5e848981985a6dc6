#include "sim/VirtualDaq.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/Clock.h"
#include "platform/vendor/NIDAQmx.h"
#include "sim/VirtualInstrument.h"

namespace sim {
namespace {

class VirtualDaqTest : public ::testing::Test {
protected:
    void SetUp() override {
        VirtualDaq::Instance().Reset();
        auto lock = VirtualInstrument::Instance().Lock();
        VirtualInstrument::Instance().State() = InstrumentState{};
    }

    static TaskHandle Task() {
        TaskHandle task = nullptr;
        EXPECT_EQ(DAQmxCreateTask("", &task), 0);
        return task;
    }
    static std::array<bool, 13> Lines() { return VirtualInstrument::Instance().Snapshot().digitalLines; }

    platform::ManualClock clock;
    platform::ScopedClock useClock{clock};
};

TEST_F(VirtualDaqTest, OutputWritesDriveTheLedsAndAreRecordedOverTime) {
    TaskHandle out = Task();
    for (int line = 0; line < 4; ++line) {
        const std::string channel = "Dev1/port0/line" + std::to_string(line);
        ASSERT_EQ(DAQmxCreateDOChan(out, channel.c_str(), "", DAQmx_Val_ChanPerLine), 0);
    }
    const uInt8 led2 = 0x04;
    ASSERT_EQ(DAQmxWriteRaw(out, 1, 1, 10.0, &led2, nullptr, nullptr), 0);
    EXPECT_TRUE(Lines()[5]);
    EXPECT_FALSE(Lines()[3]);
    clock.Advance(std::chrono::milliseconds(40));
    const uInt8 off = 0;
    ASSERT_EQ(DAQmxWriteRaw(out, 1, 1, 10.0, &off, nullptr, nullptr), 0);
    EXPECT_FALSE(Lines()[5]);

    const auto history = VirtualDaq::Instance().LatchHistory();
    ASSERT_EQ(history.size(), 2u);
    EXPECT_EQ(history[0].value, 0x04);
    EXPECT_EQ(history[1].value, 0x00);
    EXPECT_EQ(history[1].time - history[0].time, std::chrono::milliseconds(40));
}

TEST_F(VirtualDaqTest, InputLinesFollowTheSensorsAndPortOneHasFourLines) {
    TaskHandle in = Task();
    ASSERT_EQ(DAQmxCreateDIChan(in, "Dev1/port0/line4", "p0 l4", DAQmx_Val_ChanPerLine), 0);
    ASSERT_EQ(DAQmxCreateDIChan(in, "Dev1/port0/line5", "p0 l5", DAQmx_Val_ChanPerLine), 0);
    {
        auto lock = VirtualInstrument::Instance().Lock();
        VirtualInstrument::Instance().State().cartridgeInserted = true;
        VirtualInstrument::Instance().State().clampClosed = false;
    }
    uint16_t raw = 0xFFFF;
    int32 read = 0, bytes = 0;
    ASSERT_EQ(DAQmxReadRaw(in, 1, 10.0, &raw, 2, &read, &bytes, nullptr), 0);
    EXPECT_EQ(raw, 0x10);

    TaskHandle port1 = Task();
    ASSERT_EQ(DAQmxCreateDOChan(port1, "Dev1/port1", "", DAQmx_Val_ChanForAllLines), 0);
    uInt32 lines = 0;
    ASSERT_EQ(DAQmxGetDONumLines(port1, "Dev1/port1", &lines), 0);
    EXPECT_EQ(lines, 4u);
    const uInt8 value = 0xFF;
    ASSERT_EQ(DAQmxWriteDigitalU8(port1, 1, 1, 10.0, DAQmx_Val_GroupByChannel, &value, nullptr, nullptr), 0);
    uInt8 back = 0;
    ASSERT_EQ(DAQmxReadDigitalU8(port1, 1, 10.0, DAQmx_Val_GroupByChannel, &back, 1, nullptr, nullptr), 0);
    EXPECT_EQ(back, 0x0F);
}

TEST_F(VirtualDaqTest, WithoutInstrumentPowerTheDeviceIsGoneAndItsOutputsDrop) {
    TaskHandle out = Task();
    ASSERT_EQ(DAQmxCreateDOChan(out, "Dev1/port0/line3", "", DAQmx_Val_ChanPerLine), 0);
    const uInt8 led3 = 0x08;
    ASSERT_EQ(DAQmxWriteRaw(out, 1, 1, 10.0, &led3, nullptr, nullptr), 0);
    ASSERT_TRUE(Lines()[6]);

    VirtualInstrument::Instance().SetPowered(false);
    EXPECT_FALSE(Lines()[6]);
    EXPECT_EQ(VirtualDaq::Instance().OutputLatch(0), 0);
    char type[64];
    EXPECT_EQ(DAQmxGetDeviceAttribute("Dev1", DAQmx_Dev_ProductType, type, sizeof type), DAQmxErrorDeviceNotFound);
    EXPECT_EQ(DAQmxWriteRaw(out, 1, 1, 10.0, &led3, nullptr, nullptr), DAQmxErrorDeviceNotFound);
    TaskHandle in = Task();
    EXPECT_EQ(DAQmxCreateDIChan(in, "Dev1/port0/line4", "", DAQmx_Val_ChanPerLine), DAQmxErrorDeviceNotFound);
    EXPECT_FALSE(Lines()[6]);

    // Powered again, the device is back with its outputs low.
    VirtualInstrument::Instance().SetPowered(true);
    EXPECT_EQ(DAQmxGetDeviceAttribute("Dev1", DAQmx_Dev_ProductType, type, sizeof type), 0);
    EXPECT_EQ(VirtualDaq::Instance().OutputLatch(0), 0);
    EXPECT_EQ(DAQmxWriteRaw(out, 1, 1, 10.0, &led3, nullptr, nullptr), 0);
    EXPECT_TRUE(Lines()[6]);
}

TEST_F(VirtualDaqTest, FaultsAndUnknownDevicesFailWithTheirText) {
    TaskHandle task = Task();
    EXPECT_EQ(DAQmxCreateDOChan(task, "Dev2/port0/line0", "", 0), DAQmxErrorDeviceNotFound);
    EXPECT_EQ(DAQmxCreateDOChan(task, "Dev1/port1/line4", "", 0), DAQmxErrorPhysicalChanDoesNotExist);

    VirtualDaq::Instance().InjectFault("DAQmxCreateTask", DAQmxErrorTimeout, 1);
    TaskHandle failed = nullptr;
    EXPECT_EQ(DAQmxCreateTask("", &failed), DAQmxErrorTimeout);
    EXPECT_EQ(DAQmxCreateTask("", &failed), 0) << "the fault is used up";
    EXPECT_EQ(VirtualDaq::Instance().CallCount("DAQmxCreateTask"), 3);

    char text[1024];
    DAQmxGetErrorString(DAQmxErrorDeviceNotFound, text, sizeof text);
    EXPECT_STRNE(text, "");
    DAQmxGetErrorString(-1, text, 8);
    EXPECT_LT(strlen(text), 8u);
}

}  // namespace
}  // namespace sim
