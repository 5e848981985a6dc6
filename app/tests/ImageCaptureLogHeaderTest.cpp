#include "app/ImageCaptureLogHeader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <string>
#include <thread>

#include "platform/Clock.h"

namespace {

std::vector<std::string> Texts(const std::vector<Tovanix::String>& lines)
{
    std::vector<std::string> texts;
    for (const auto& line : lines)
        texts.emplace_back(line.c_str());
    return texts;
}

// A wall time of 09:05:07.045 today, local time.
std::chrono::system_clock::time_point LocalMorning()
{
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    local.tm_hour = 9;
    local.tm_min = 5;
    local.tm_sec = 7;
    local.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&local)) + std::chrono::milliseconds(45);
}

class CaptureLogHeaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CreateImageCaptureLogHeaderSemaphore();
        std::vector<Tovanix::String> drained;
        TakeImageCaptureLogHeaderLines(drained);
    }
};

}  // namespace

// Runs first in this file: before any script run there is no semaphore and a
// take reports nothing.
TEST(CaptureLogHeaderBeforeFirstRun, TakeAndQueueDoNothingWithoutTheSemaphore)
{
    if (g_ImageCaptureLogHeaderSemaphore.load() != nullptr)
        GTEST_SKIP() << "another test of this process already created the semaphore";
    QueueImageCaptureLogHeaderLine("dropped");
    std::vector<Tovanix::String> lines{Tovanix::String("kept")};
    EXPECT_EQ(0, TakeImageCaptureLogHeaderLines(lines));
    EXPECT_EQ(std::vector<std::string>{"kept"}, Texts(lines));
    EXPECT_TRUE(g_ImageCaptureLogHeaderLines.empty());
}

TEST_F(CaptureLogHeaderTest, LinesAreStampedWithTheLocalTimeAndTakenInOrder)
{
    platform::ManualClock clock;
    clock.SetWallTime(LocalMorning());
    platform::ScopedClock useClock(clock);

    QueueImageCaptureLogHeaderLine("pump speed 100");
    QueueImageCaptureLogHeaderLine("second line");
    // A line queued from the other interpreter's thread joins the same queue.
    std::thread other([] { QueueImageCaptureLogHeaderLine("from instance 1"); });
    other.join();

    std::vector<Tovanix::String> lines;
    EXPECT_EQ(3, TakeImageCaptureLogHeaderLines(lines));
    EXPECT_EQ((std::vector<std::string>{"09:05:07.045\tpump speed 100", "09:05:07.045\tsecond line",
                                        "09:05:07.045\tfrom instance 1"}),
              Texts(lines));

    std::vector<Tovanix::String> again;
    EXPECT_EQ(0, TakeImageCaptureLogHeaderLines(again));
    EXPECT_TRUE(again.empty());
}

TEST_F(CaptureLogHeaderTest, TakeReplacesTheCallersLinesOnlyWhenSomethingIsQueued)
{
    std::vector<Tovanix::String> lines{Tovanix::String("old 1"), Tovanix::String("old 2")};
    // Nothing queued: the caller's lines stay and are counted.
    EXPECT_EQ(2, TakeImageCaptureLogHeaderLines(lines));
    EXPECT_EQ((std::vector<std::string>{"old 1", "old 2"}), Texts(lines));

    QueueImageCaptureLogHeaderLine("new");
    EXPECT_EQ(1, TakeImageCaptureLogHeaderLines(lines));
    ASSERT_EQ(1u, lines.size());
    EXPECT_NE(std::string::npos, std::string(lines[0].c_str()).find("\tnew"));
}

TEST_F(CaptureLogHeaderTest, ATakeThatCannotGetTheSemaphoreLeavesTheLinesQueued)
{
    QueueImageCaptureLogHeaderLine("waiting");
    platform::Semaphore* semaphore = g_ImageCaptureLogHeaderSemaphore.load();
    ASSERT_TRUE(semaphore->Wait(0));
    std::vector<Tovanix::String> lines;
    EXPECT_EQ(0, TakeImageCaptureLogHeaderLines(lines));  // gives up after 1000 ms
    semaphore->Release();
    EXPECT_TRUE(lines.empty());

    EXPECT_EQ(1, TakeImageCaptureLogHeaderLines(lines));
}
