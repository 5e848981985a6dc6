#include "devices/UsbProbe.h"

#include <cctype>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "analysis/SplitString.h"
#include "app/VelloraApp.h"
#include "platform/Clock.h"
#include "platform/Files.h"

extern char** environ;

namespace {

const char* const kMakerFolder = "c:\\ProgramData\\Tessaly";
const char* const kFamilyFolder = "c:\\ProgramData\\Tessaly\\Quillon";
const char* const kReportFile = "c:\\ProgramData\\Tessaly\\Quillon\\power_on_test.txt";
const char* const kListerName = "USBDeview.exe";

bool EnsureFolder(const std::string& folder) {
    std::error_code ec;
    if (std::filesystem::is_directory(folder, ec)) return true;
    return std::filesystem::create_directory(folder, ec) || std::filesystem::is_directory(folder, ec);
}

// Runs the lister and waits for it to end; false when it cannot be started.
bool RunLister(const std::string& reportPath) {
    const std::string exeDir = theApp.m_strExeDir.c_str();
    std::string lister = platform::FindFileIgnoringCase(platform::JoinPath(platform::NativePath(exeDir), kListerName));
    if (lister.empty()) return false;
    // An argument vector, never a shell: the paths may hold any character.
    std::vector<std::string> args = {lister, "/stext", reportPath, "/DisplayDisconnected", "0"};
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, lister.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return true;
}

std::string Normalised(std::string line) {
    std::string result;
    for (char ch : line) {
        if (ch == ' ' || ch == '\r' || ch == '\n') continue;
        result += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    }
    return result;
}

bool LineMatches(int mode, const std::string& line) {
    const std::vector<std::string> fields = SplitString(Normalised(line), ':');
    if (fields.size() < 2) return false;
    if (mode == 1) {
        return fields[0].find("description") != std::string::npos &&
               fields[1].find("genericsuperspeedusbhub") != std::string::npos;
    }
    return fields[0] == "description" &&
           (fields[1].find("pixelink") != std::string::npos || fields[1].find("basler") != std::string::npos);
}

}  // namespace

bool DetectInstrumentUsbDevices(int mode, bool runLister) {
    if (!EnsureFolder(platform::NativePath(kMakerFolder)) || !EnsureFolder(platform::NativePath(kFamilyFolder))) {
        return true;
    }
    const std::string reportPath = platform::NativePath(kReportFile);
    if (runLister) {
        if (!RunLister(reportPath)) return true;
        ::Sleep(1000);
    }
    std::ifstream report(reportPath, std::ios::binary);
    if (!report) return false;
    if (mode != 1 && mode != 2) return true;
    std::string line;
    while (std::getline(report, line)) {
        if (LineMatches(mode, line)) return true;
    }
    return false;
}
