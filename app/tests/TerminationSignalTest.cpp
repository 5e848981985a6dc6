// The program itself, started unattended on the offscreen platform with the
// test's own machine folders, ends normally when it gets a termination
// signal: the signal closes its main window instead of killing the process.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

#include "platform/tests/ScopedEnv.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;

// The program is up, its handlers in place, once start-up has closed its run
// log (<date>-<time>.log) with the column line.
bool DiscoveryReportWritten() {
    const std::filesystem::path log =
        std::filesystem::path(std::getenv("VELLORA_PUBLIC_DOCUMENTS")) / "Tessaly" / "Vellora" / "LOG";
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(log, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || name[0] < '0' || name[0] > '9') continue;
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (text.find("ImageFile\tDate\tTime") != std::string::npos) return true;
    }
    return false;
}

// Waits for the child to end; false when it has not ended within the time.
bool WaitForExit(pid_t pid, int* status, std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (waitpid(pid, status, WNOHANG) == pid) return true;
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

TEST(TerminationSignal, EachSignalEndsTheProgramThroughItsOrderlyExit) {
    // Unattended, so that start-up messages (a new settings file, for one)
    // are answered instead of waiting for a user; it would close itself only
    // long after the test ends.
    ScopedEnv unattended("VELLORA_EXIT_AFTER_MS", "600000");
    for (int signal : {SIGTERM, SIGHUP, SIGINT}) {
        char program[] = VELLORA_PROGRAM;
        char* argv[] = {program, nullptr};
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t defaults;
        sigemptyset(&defaults);
        sigaddset(&defaults, signal);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
        // Unattended, so that no start-up message box waits for an answer; its
        // own closing time lies far beyond the test.
        std::vector<std::string> variables = {"VELLORA_EXIT_AFTER_MS=600000"};
        for (char** variable = environ; *variable; ++variable) {
            if (std::string(*variable).rfind("VELLORA_EXIT_AFTER_MS=", 0) != 0) variables.emplace_back(*variable);
        }
        std::vector<char*> environment;
        for (std::string& variable : variables) environment.push_back(variable.data());
        environment.push_back(nullptr);
        pid_t pid = 0;
        ASSERT_EQ(posix_spawn(&pid, program, nullptr, &attributes, argv, environment.data()), 0);
        posix_spawnattr_destroy(&attributes);

        const auto end = std::chrono::steady_clock::now() + 120s;
        while (!DiscoveryReportWritten() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(20ms);
        int status = 0;
        if (!DiscoveryReportWritten()) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            FAIL() << "the program did not come up";
        }
        ASSERT_EQ(kill(pid, signal), 0);
        if (!WaitForExit(pid, &status, 60s)) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            FAIL() << "the program did not end after signal " << signal;
        }
        EXPECT_TRUE(WIFEXITED(status)) << "signal " << signal << " killed the program";
        if (WIFEXITED(status)) {
            EXPECT_EQ(WEXITSTATUS(status), 0) << "signal " << signal;
        }
        std::filesystem::remove_all(std::filesystem::path(std::getenv("VELLORA_PUBLIC_DOCUMENTS")) / "Tessaly");
    }
}

}  // namespace
