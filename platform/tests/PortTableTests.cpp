#include "platform/PortTable.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "platform/Files.h"
#include "platform/Folders.h"
#include "platform/tests/ScopedEnv.h"

namespace {

std::string PortsFile() { return platform::JoinPath(platform::ProgramDataFolder(), "ComPorts.ini"); }

class PortTable : public ::testing::Test {
protected:
    void TearDown() override { std::remove(PortsFile().c_str()); }
    static void WritePortsFile(const std::string& text) {
        ASSERT_TRUE(platform::WriteFileAtomically(PortsFile(), text.data(), text.size()));
    }
};

TEST_F(PortTable, EntriesFromEnvironmentFileAndRegistrationsOverrideInThatOrder) {
    WritePortsFile("; serial devices\r\n[Ports]\r\nCOM3=/dev/ttyS3\r\ncom5 = /dev/ttyUSB9\r\nCOMx=/dev/bad\n");
    ScopedEnv ports("VELLORA_COM_PORTS", "5=/dev/ttyUSB0; COM7 = /dev/pts/4;bad;0=/dev/null;-2=/dev/null;9=");

    EXPECT_EQ(platform::ComPortDevicePath(3), "/dev/ttyS3");
    EXPECT_EQ(platform::ComPortDevicePath(5), "/dev/ttyUSB0");  // the environment wins over the file
    EXPECT_EQ(platform::ComPortDevicePath(7), "/dev/pts/4");
    EXPECT_EQ(platform::ComPortDevicePath(9), "");
    EXPECT_EQ(platform::ComPortDevicePath(1), "");
    EXPECT_EQ(platform::ComPortDevicePath(0), "");
    EXPECT_EQ(platform::KnownComPorts(), (std::vector<int>{3, 5, 7}));

    platform::RegisterComPort(5, "/dev/pts/11");
    platform::RegisterComPort(12, "/dev/pts/12");
    platform::RegisterComPort(-1, "/dev/pts/13");
    EXPECT_EQ(platform::ComPortDevicePath(5), "/dev/pts/11");
    EXPECT_EQ(platform::KnownComPorts(), (std::vector<int>{3, 5, 7, 12}));

    platform::UnregisterComPort(5);
    platform::RegisterComPort(12, "");
    EXPECT_EQ(platform::ComPortDevicePath(5), "/dev/ttyUSB0");
    EXPECT_EQ(platform::ComPortDevicePath(12), "");
}

TEST_F(PortTable, WithoutSourcesOnlyRegistrationsExist) {
    ScopedEnv ports("VELLORA_COM_PORTS", nullptr);
    EXPECT_TRUE(platform::KnownComPorts().empty());
    platform::RegisterComPort(4, "/dev/pts/4");
    EXPECT_EQ(platform::ComPortDevicePath(4), "/dev/pts/4");
    EXPECT_EQ(platform::KnownComPorts(), std::vector<int>{4});
    platform::UnregisterComPort(4);
    EXPECT_TRUE(platform::KnownComPorts().empty());
}

}  // namespace
