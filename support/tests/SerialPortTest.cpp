#include "support/SerialPort.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <ostream>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>
#include <thread>
#include <vector>

#include "support/tests/PtyPeer.h"

namespace {

constexpr int kPort = 5;

// Whether the terminal at `path` is marked for exclusive use. An ordinary
// user cannot open such a terminal at all (EBUSY); root can, and asks.
bool ExclusiveFlagSet(const std::string& path) {
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return errno == EBUSY;
    }
    int exclusive = 0;
    bool known = ioctl(fd, TIOCGEXCL, &exclusive) == 0;
    close(fd);
    return !known || exclusive != 0;
}

class SerialPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(peer.IsOpen());
        Tovanix::String error;
        ASSERT_TRUE(SetupSerialPort(kPort, 9600, &error)) << error.c_str();
    }
    void TearDown() override {
        g_SerialPortFailureHook = nullptr;
        ReleaseSerialPort(kPort);
    }

    PtyPeer peer{kPort};
};

struct TransactionCase {
    const char* name;
    const char* deviceReply;  // sent after the command arrived; nullptr: the device hangs up
    size_t replyLength;
    char terminator;
    char secondTerminator;
    unsigned timeoutMs;
    bool ok;
    int code;
    std::string reply;
};

// Shown in the test's output by its name, not by its bytes.
void PrintTo(const TransactionCase& c, std::ostream* out) { *out << c.name; }

class SerialTransactionTest : public SerialPortTest, public ::testing::WithParamInterface<TransactionCase> {};

TEST_P(SerialTransactionTest, ReplyAndResultCode) {
    const TransactionCase& c = GetParam();
    std::thread device([&] {
        peer.ReadUntil('\r');
        if (c.deviceReply) {
            peer.Write(std::string(c.deviceReply, c.replyLength));
        } else {
            peer.CloseMaster();
        }
    });
    Tovanix::String reply("stale text");
    int code = -1;
    bool ok = SendSerialCommand(kPort, "/1Q\r", c.terminator, &reply, c.timeoutMs, c.secondTerminator, &code);
    device.join();
    EXPECT_EQ(ok, c.ok);
    EXPECT_EQ(code, c.code);
    EXPECT_EQ(std::string(reply.c_str()), c.reply);
}

const std::string kFlood(2000, 'x');

INSTANTIATE_TEST_SUITE_P(
    Cases, SerialTransactionTest,
    ::testing::Values(
        TransactionCase{"PumpReplyEndsCrLf", "\xFF/0`12\x03\r\n", 9, '\r', '\n', 1000, true, 0, "\xFF/0`12\x03\r\n"},
        TransactionCase{"StageReplyEndsLf", "@01 0 OK IDLE -- 0\n", 19, '\n', 0, 1000, true, 0, "@01 0 OK IDLE -- 0\n"},
        TransactionCase{"LfAloneWhenCrLfWanted", "abc\n", 4, '\r', '\n', 100, false, 10, "abc\n"},
        TransactionCase{"CrAloneWhenCrLfWanted", "abc\r", 4, '\r', '\n', 100, false, 10, "abc\r"},
        TransactionCase{"SilentDevice", "", 0, '\n', 0, 50, false, 10, ""},
        TransactionCase{"EndlessDeviceFillsBuffer", kFlood.c_str(), kFlood.size(), '\n', 0, 500, false, 10,
                        std::string(1023, 'x')},
        TransactionCase{"DeviceGoneDuringRead", nullptr, 0, '\n', 0, 1000, false, 1010, ""}),
    [](const ::testing::TestParamInfo<TransactionCase>& info) { return std::string(info.param.name); });

TEST_F(SerialPortTest, WriteFailureGivesCode9AndCallsTheHookOnce) {
    static std::vector<int> calls;
    calls.clear();
    g_SerialPortFailureHook = [](int comPort) { calls.push_back(comPort); };
    peer.CloseMaster();
    Tovanix::String reply;
    int code = -1;
    EXPECT_FALSE(SendSerialCommand(kPort, "/1Q\r", '\r', &reply, 100, '\n', &code));
    EXPECT_EQ(code, 9);
    EXPECT_EQ(calls, std::vector<int>{kPort});
}

TEST_F(SerialPortTest, FailureHookRunsOncePerFailedTransactionButNotForUnknownPorts) {
    static std::vector<int> calls;
    calls.clear();
    g_SerialPortFailureHook = [](int comPort) { calls.push_back(comPort); };
    Tovanix::String reply;
    int code = -1;
    EXPECT_FALSE(SendSerialCommand(kPort, "/1Q\r", '\r', &reply, 30, '\n', &code));
    EXPECT_EQ(code, 10);
    EXPECT_EQ(calls, std::vector<int>{kPort});

    EXPECT_FALSE(SendSerialCommand(42, "/1Q\r", '\r', &reply, 30, '\n', &code));
    EXPECT_EQ(code, 2000);
    EXPECT_EQ(calls, std::vector<int>{kPort});
}

TEST_F(SerialPortTest, LateReplyToAnEarlierCommandIsNotTakenAsTheNextReply) {
    // The device answers a command that already timed out; the bytes are
    // waiting when the next command goes out.
    peer.Write("late\r\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::thread device([&] {
        peer.ReadUntil('\r');
        peer.Write("fresh\r\n");
    });
    Tovanix::String reply;
    int code = -1;
    EXPECT_TRUE(SendSerialCommand(kPort, "/1Q\r", '\r', &reply, 1000, '\n', &code));
    device.join();
    EXPECT_STREQ(reply.c_str(), "fresh\r\n");
}

TEST_F(SerialPortTest, ThreadsSharingAPortNeverSwapReplies) {
    std::atomic<bool> stop{false};
    std::thread device([&] {
        while (!stop) {
            std::string command = peer.ReadUntil('\r', 100);
            if (command.size() >= 2) {
                // A slow device: the reply comes a little after the command.
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                peer.Write(command.substr(1, command.size() - 2) + "\n");
            }
        }
    });
    std::atomic<int> mismatches{0};
    auto client = [&](const std::string& name) {
        for (int i = 0; i < 40; ++i) {
            Tovanix::String reply;
            int code = -1;
            std::string command = "/" + name + std::to_string(i) + "\r";
            if (!SendSerialCommand(kPort, command.c_str(), '\n', &reply, 1000, 0, &code) ||
                std::string(reply.c_str()) != name + std::to_string(i) + "\n") {
                ++mismatches;
            }
        }
    };
    std::thread a(client, "stage-panel-");
    std::thread b(client, "script-");
    a.join();
    b.join();
    stop = true;
    device.join();
    EXPECT_EQ(mismatches, 0);
}

TEST_F(SerialPortTest, SecondSetupOfAPortInUseIsRefusedAndKeepsTheFirst) {
    Tovanix::String error("unchanged");
    EXPECT_FALSE(SetupSerialPort(kPort, 9600, &error));
    EXPECT_STREQ(error.c_str(),
                 "SetupSerialPort () - Port 5 is already being used - call ReleaseSerialPort () first.");

    std::thread device([&] {
        peer.ReadUntil('\r');
        peer.Write("ok\n");
    });
    Tovanix::String reply;
    int code = -1;
    EXPECT_TRUE(SendSerialCommand(kPort, "/1Q\r", '\n', &reply, 1000, 0, &code));
    device.join();
}

TEST_F(SerialPortTest, SetupFailsForUnknownPortsAndDevicesAlreadyOpen) {
    Tovanix::String error;
    EXPECT_FALSE(SetupSerialPort(77, 9600, &error));
    EXPECT_STREQ(error.c_str(), "SetupSerialPort () : COM77 problem trying to setup serial port resource.");

    // The same device under another number: the port is used exclusively.
    platform::RegisterComPort(8, peer.DevicePath());
    EXPECT_FALSE(SetupSerialPort(8, 9600, &error));
    EXPECT_STREQ(error.c_str(), "SetupSerialPort () : COM8 problem trying to setup serial port resource.");
    platform::UnregisterComPort(8);
    EXPECT_FALSE(ReleaseSerialPort(8));
}

TEST_F(SerialPortTest, ReleaseClosesThePortSoItCanBeSetUpAgain) {
    EXPECT_TRUE(ReleaseSerialPort(kPort));
    EXPECT_FALSE(ReleaseSerialPort(kPort));
    Tovanix::String reply;
    int code = -1;
    EXPECT_FALSE(SendSerialCommand(kPort, "/1Q\r", '\n', &reply, 30, 0, &code));
    EXPECT_EQ(code, 2000);

    Tovanix::String error;
    EXPECT_TRUE(SetupSerialPort(kPort, 115200, &error)) << error.c_str();
}

TEST_F(SerialPortTest, ReleasedPortsLeaveTheLineFreeForEveryUser) {
    EXPECT_TRUE(ExclusiveFlagSet(peer.DevicePath()));

    // A second number for the same device is refused, and the refusal leaves
    // the holder's exclusive use alone.
    platform::RegisterComPort(8, peer.DevicePath());
    Tovanix::String error;
    EXPECT_FALSE(SetupSerialPort(8, 9600, &error));
    platform::UnregisterComPort(8);
    EXPECT_TRUE(ExclusiveFlagSet(peer.DevicePath()));

    // The line stays up (the device keeps its side open) after the release.
    ASSERT_TRUE(ReleaseSerialPort(kPort));
    EXPECT_FALSE(ExclusiveFlagSet(peer.DevicePath()));

    // Set up again at another rate, it is held and freed the same way.
    ASSERT_TRUE(SetupSerialPort(kPort, 115200, &error)) << error.c_str();
    EXPECT_TRUE(ExclusiveFlagSet(peer.DevicePath()));
    ASSERT_TRUE(ReleaseSerialPort(kPort));
    EXPECT_FALSE(ExclusiveFlagSet(peer.DevicePath()));
}

// A silent device costs the whole time-out, never less: read passes of 10 ms,
// each waited out in full, and at least one pass however short the time-out.
TEST_F(SerialPortTest, SilentDeviceIsWaitedForTheWholeTimeOut) {
    struct Case {
        unsigned timeoutMs;
        std::chrono::milliseconds atLeast;
    };
    for (const Case& c : {Case{0, std::chrono::milliseconds(10)}, Case{5, std::chrono::milliseconds(10)},
                          Case{200, std::chrono::milliseconds(200)}, Case{500, std::chrono::milliseconds(500)}}) {
        Tovanix::String reply;
        int code = -1;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(SendSerialCommand(kPort, "/1Q\r", '\n', &reply, c.timeoutMs, 0, &code));
        const auto waited = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(code, 10);
        EXPECT_GE(waited, c.atLeast) << "time-out " << c.timeoutMs << " ms";
    }
}

TEST_F(SerialPortTest, ReplyJustInsideTheTimeOutIsTaken) {
    std::thread device([&] {
        peer.ReadUntil('\r');
        std::this_thread::sleep_for(std::chrono::milliseconds(1900));
        peer.Write("late but in time\n");
    });
    Tovanix::String reply;
    int code = -1;
    EXPECT_TRUE(SendSerialCommand(kPort, "/1Q\r", '\n', &reply, 2000, 0, &code));
    device.join();
    EXPECT_EQ(code, 0);
    EXPECT_STREQ(reply.c_str(), "late but in time\n");
}

TEST(SerialPortRecordTest, RecordWithoutHandleGivesCode8) {
    SerialPortRecord record;
    record.comPort = 3;
    Tovanix::String reply("old");
    int code = -1;
    EXPECT_FALSE(record.SendCommand("/1Q\r", '\r', &reply, 100, '\n', &code));
    EXPECT_EQ(code, 8);
    EXPECT_EQ(record.errorCode, 8);
    EXPECT_STREQ(reply.c_str(), "");
}

}  // namespace
