#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "platform/PortTable.h"
#include "sim/UsbDevices.h"
#include "sim/VirtualInstrumentSession.h"

TEST(VirtualInstrumentSession, RegistersBothSerialLinesAndTheUsbDevicesUntilStopped) {
    sim::VirtualInstrumentSession session;
    std::string error;
    ASSERT_TRUE(session.Start(&error)) << error;
    EXPECT_FALSE(platform::ComPortDevicePath(sim::VirtualInstrumentSession::kPumpComPort).empty());
    EXPECT_FALSE(platform::ComPortDevicePath(sim::VirtualInstrumentSession::kStageComPort).empty());

    std::vector<sim::UsbDevice> devices;
    ASSERT_TRUE(sim::ReadUsbDeviceList(sim::UsbDeviceListPath(), &devices));
    EXPECT_EQ(devices.size(), sim::CurrentUsbDevices().size());

    session.Stop();
    EXPECT_TRUE(platform::ComPortDevicePath(sim::VirtualInstrumentSession::kPumpComPort).empty());
    EXPECT_TRUE(platform::ComPortDevicePath(sim::VirtualInstrumentSession::kStageComPort).empty());
}
