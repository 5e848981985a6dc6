#include "platform/PortTable.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>

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

TEST_F(PortTable, FileIsReadAgainOnlyWhenItChanges) {
    ScopedEnv ports("VELLORA_COM_PORTS", nullptr);
    WritePortsFile("COM3=/dev/ttyS3\n");
    EXPECT_EQ(platform::ComPortDevicePath(3), "/dev/ttyS3");

    // Rewritten in place with the same size and its old modification time:
    // nothing tells it changed, so the table read before still stands.
    struct stat before {};
    ASSERT_EQ(stat(PortsFile().c_str(), &before), 0);
    std::ofstream(PortsFile(), std::ios::binary | std::ios::trunc) << "COM3=/dev/ttyS4\n";
    const timespec oldTimes[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, PortsFile().c_str(), oldTimes, 0), 0);
    EXPECT_EQ(platform::ComPortDevicePath(3), "/dev/ttyS3");

    // Each sign of a change makes it read again.
    const timespec newTimes[2] = {before.st_atim, {before.st_mtim.tv_sec + 5, before.st_mtim.tv_nsec}};
    ASSERT_EQ(utimensat(AT_FDCWD, PortsFile().c_str(), newTimes, 0), 0);
    EXPECT_EQ(platform::ComPortDevicePath(3), "/dev/ttyS4");
    std::ofstream(PortsFile(), std::ios::binary | std::ios::trunc) << "COM3=/dev/ttyS30\n";
    ASSERT_EQ(utimensat(AT_FDCWD, PortsFile().c_str(), newTimes, 0), 0);
    EXPECT_EQ(platform::ComPortDevicePath(3), "/dev/ttyS30");  // another size
    WritePortsFile("COM3=/dev/ttyS7\n");                       // replaced by another file
    EXPECT_EQ(platform::ComPortDevicePath(3), "/dev/ttyS7");

    std::remove(PortsFile().c_str());
    EXPECT_EQ(platform::ComPortDevicePath(3), "");
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
