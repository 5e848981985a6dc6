#include "platform/Sync.h"

#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Waits (in real time, bounded) until the condition holds.
template <typename Condition>
bool Eventually(Condition condition) {
    for (int i = 0; i < 5000 && !condition(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return condition();
}

TEST(Semaphore, CountsWaitsAndRefusesReleasesBeyondItsMaximum) {
    platform::Semaphore semaphore(1, 2);
    EXPECT_TRUE(semaphore.Wait(0));
    EXPECT_FALSE(semaphore.Wait(0));
    EXPECT_FALSE(semaphore.Wait(20));  // times out
    EXPECT_TRUE(semaphore.Release(2));
    EXPECT_FALSE(semaphore.Release());  // would pass the maximum
    EXPECT_FALSE(semaphore.Release(0));
    EXPECT_FALSE(semaphore.Release(-1));
    EXPECT_EQ(semaphore.Count(), 2);
    {
        platform::SemaphoreLock a(semaphore, 0), b(semaphore, 0), c(semaphore, 0);
        EXPECT_TRUE(a.Held());
        EXPECT_TRUE(b.Held());
        EXPECT_FALSE(c.Held());
        EXPECT_EQ(semaphore.Count(), 0);
    }
    EXPECT_EQ(semaphore.Count(), 2);  // a lock that was not held gives nothing back

    EXPECT_EQ(platform::Semaphore(5, 2).Count(), 2);
    EXPECT_EQ(platform::Semaphore(-1, 2).Count(), 0);
}

TEST(Semaphore, ReleaseWakesAWaiterOnAnotherThread) {
    platform::Semaphore semaphore(0, 1);
    std::atomic<bool> taken{false};
    std::thread waiter([&] { taken = semaphore.Wait(platform::kInfinite); });
    EXPECT_TRUE(semaphore.Release());
    waiter.join();
    EXPECT_TRUE(taken);
    EXPECT_EQ(semaphore.Count(), 0);
}

TEST(Semaphore, TimedWaitsRunOnTheInstalledClock) {
    platform::ManualClock clock;
    platform::ScopedClock installed(clock);
    platform::Semaphore semaphore(0, 1);
    platform::Event event(true, false);

    // By default a manual clock still waits in real time for another thread.
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        semaphore.Release();
        event.Set();
    });
    EXPECT_TRUE(semaphore.Wait(60000));
    EXPECT_TRUE(event.Wait(60000));
    releaser.join();

    // Asked to, it spends a blocked wait's time-out on itself at once.
    clock.ElapseBlockedWaits(true);
    event.Reset();
    const auto start = clock.Now();
    EXPECT_FALSE(semaphore.Wait(1000));
    EXPECT_EQ(clock.Now() - start, std::chrono::milliseconds(1000));
    EXPECT_FALSE(event.Wait(3000));
    EXPECT_EQ(clock.Now() - start, std::chrono::milliseconds(4000));
    // A wait that can be satisfied takes no time.
    ASSERT_TRUE(semaphore.Release());
    EXPECT_TRUE(semaphore.Wait(1000));
    EXPECT_EQ(clock.Now() - start, std::chrono::milliseconds(4000));
    EXPECT_EQ(semaphore.Count(), 0);
}

TEST(Event, AutoResetLetsOneWaiterThroughPerSet) {
    platform::Event event(false, false);
    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i) waiters.emplace_back([&] { woken += event.Wait(10000) ? 1 : 0; });
    for (int round = 1; round <= 3; ++round) {
        event.Set();
        ASSERT_TRUE(Eventually([&] { return woken == round; }));
        EXPECT_FALSE(event.IsSet());  // consumed by the waiter it released
    }
    for (auto& t : waiters) t.join();
    EXPECT_EQ(woken, 3);

    platform::Event initiallySet(false, true);
    EXPECT_TRUE(initiallySet.Wait(0));
    EXPECT_FALSE(initiallySet.Wait(0));
}

TEST(Event, ManualResetReleasesEveryWaiterUntilReset) {
    platform::Event event(true, false);
    EXPECT_FALSE(event.Wait(10));
    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i) waiters.emplace_back([&] { woken += event.Wait(platform::kInfinite) ? 1 : 0; });
    event.Set();
    for (auto& t : waiters) t.join();
    EXPECT_EQ(woken, 3);
    EXPECT_TRUE(event.IsSet());
    EXPECT_TRUE(event.Wait(0));
    event.Reset();
    EXPECT_FALSE(event.Wait(0));
}

TEST(SingleInstanceLock, ASecondInstanceIsRefusedWhileAnotherProcessHoldsIt) {
    const std::string name = "vellora-test-" + std::to_string(getpid());
    platform::SingleInstanceLock childLock(name);
    int ready[2], finish[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(finish), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        char byte = childLock.Acquire() ? '1' : '0';
        (void)!write(ready[1], &byte, 1);
        (void)!read(finish[0], &byte, 1);
        _exit(0);
    }
    char acquired = 0;
    ASSERT_EQ(read(ready[0], &acquired, 1), 1);
    ASSERT_EQ(acquired, '1');

    platform::SingleInstanceLock second(name);
    EXPECT_EQ(second.LockFilePath(), childLock.LockFilePath());
    EXPECT_FALSE(second.Acquire());
    EXPECT_FALSE(second.Held());

    (void)!write(finish[1], "x", 1);
    int status = 0;
    waitpid(child, &status, 0);
    for (int fd : {ready[0], ready[1], finish[0], finish[1]}) close(fd);

    // The lock ends with the process that held it.
    EXPECT_TRUE(second.Acquire());
    EXPECT_TRUE(second.Held());
    platform::SingleInstanceLock third(name);
    EXPECT_FALSE(third.Acquire());
}

TEST(SingleInstanceLock, LockFileIsNamedAfterInstanceAndUserInOneFolder) {
    auto folderOf = [](const std::string& path) { return path.substr(0, path.rfind('/')); };
    platform::SingleInstanceLock instance(platform::kInstanceMutexName);
    const std::string& path = instance.LockFilePath();
    EXPECT_NE(path.find(platform::kInstanceMutexName), std::string::npos);
    EXPECT_NE(path.find(std::to_string(getuid())), std::string::npos);
    // Separators in a name do not lead out of the lock folder.
    EXPECT_EQ(folderOf(platform::SingleInstanceLock("../a/b\\c").LockFilePath()), folderOf(path));
}

TEST(ComputerName, IsAnUpperCaseNameOfAtMostFifteenCharacters) {
    const std::string name = platform::GetComputerName();
    EXPECT_FALSE(name.empty());
    EXPECT_LE(name.size(), 15u);
    for (char ch : name) {
        EXPECT_FALSE(std::islower(static_cast<unsigned char>(ch))) << name;
        EXPECT_NE(ch, '.');
    }
}

}  // namespace
