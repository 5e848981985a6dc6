#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "platform/PortTable.h"
#include "sim/UsbDevices.h"
#include "sim/VirtualInstrument.h"
#include "sim/VirtualInstrumentSession.h"

namespace {

bool ListedHub() {
    std::vector<sim::UsbDevice> devices;
    EXPECT_TRUE(sim::ReadUsbDeviceList(sim::UsbDeviceListPath(), &devices));
    for (const auto& device : devices) {
        if (device.description == "Generic SuperSpeed USB Hub") return true;
    }
    return false;
}

}  // namespace

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

TEST(VirtualInstrumentSession, UsbDeviceListFollowsThePowerSwitch) {
    sim::VirtualInstrumentSession session;
    std::string error;
    ASSERT_TRUE(session.Start(&error)) << error;
    EXPECT_TRUE(ListedHub());

    sim::VirtualInstrument::Instance().SetPowered(false);
    EXPECT_FALSE(ListedHub());
    std::vector<sim::UsbDevice> devices;
    ASSERT_TRUE(sim::ReadUsbDeviceList(sim::UsbDeviceListPath(), &devices));
    EXPECT_EQ(devices.size(), sim::ComputerUsbDevices().size());

    sim::VirtualInstrument::Instance().SetPowered(true);
    EXPECT_TRUE(ListedHub());

    // A stopped session no longer writes the list.
    session.Stop();
    sim::VirtualInstrument::Instance().SetPowered(false);
    EXPECT_TRUE(ListedHub());
    sim::VirtualInstrument::Instance().SetPowered(true);
}
