#include "support/CrashReport.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <execinfo.h>
#include <filesystem>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

#include "platform/Files.h"
#include "platform/Sync.h"
#include "platform/Time.h"
#include "platform/UiBridge.h"
#include "support/AppLogs.h"

Tovanix::String g_FtpAddress;
Tovanix::String g_FtpUser;
Tovanix::String g_FtpPassword;
Tovanix::String g_FtpDirectory;

namespace {

thread_local const CrashGuard* t_innermostGuard = nullptr;

constexpr int kFaultSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE};
struct sigaction g_previousActions[sizeof kFaultSignals / sizeof kFaultSignals[0]];

const char* Text(const CString* text) { return text ? text->GetString() : ""; }

// The DMP folder beside the main settings file.
std::string ReportFolder() {
    std::string ini = platform::NativePath(Text(GetAppLogSources().iniPath));
    size_t last = ini.find_last_of('/');
    std::string directory = last == std::string::npos ? std::string() : ini.substr(0, last + 1);
    return directory + "DMP";
}

void WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n <= 0) {
            return;
        }
        done += static_cast<size_t>(n);
    }
}

std::string Hex(uint64_t value) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%016llx", static_cast<unsigned long long>(value));
    return text;
}

// Our dump: what a debugger needs to place the fault: the signal, the faulting
// thread's registers and call stack, the thread list and the memory map.
void WriteDump(const std::string& path, uint32_t exceptionCode, const CrashContext* context) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return;
    }
    char line[256];
    std::snprintf(line, sizeof line, "VELLORA PROCESS DUMP 1\r\npid: %ld\r\nthread: %ld\r\n", static_cast<long>(getpid()),
                  static_cast<long>(syscall(SYS_gettid)));
    WriteAll(fd, line);
    if (context) {
        std::snprintf(line, sizeof line, "signal: %d\r\nexception_code: %X\r\n", context->signalNumber, exceptionCode);
        WriteAll(fd, line);
        if (context->info) {
            WriteAll(fd, "fault_address: " + Hex(reinterpret_cast<uintptr_t>(context->info->si_addr)) + "\r\n");
        }
#if defined(__x86_64__)
        if (context->machineContext) {
            const auto* uc = static_cast<const ucontext_t*>(context->machineContext);
            static const char* const names[] = {"r8",  "r9",  "r10", "r11", "r12", "r13", "r14", "r15",
                                                "rdi", "rsi", "rbp", "rbx", "rdx", "rax", "rcx", "rsp", "rip"};
            for (int i = 0; i < 17; ++i) {
                WriteAll(fd, std::string(names[i]) + ": " + Hex(static_cast<uint64_t>(uc->uc_mcontext.gregs[i])) + "\r\n");
            }
        }
#endif
    }
    WriteAll(fd, "stack:\r\n");
    void* frames[64];
    int depth = backtrace(frames, 64);
    backtrace_symbols_fd(frames, depth, fd);
    WriteAll(fd, "threads:\r\n");
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task", ec)) {
        WriteAll(fd, entry.path().filename().string() + "\r\n");
    }
    WriteAll(fd, "maps:\r\n");
    std::string maps;
    if (platform::ReadWholeFile("/proc/self/maps", &maps)) {
        WriteAll(fd, maps);
    }
    close(fd);
}

bool WriteTextReport(const std::string& path, const SYSTEMTIME& now, const char* comment, const std::string& folder,
                     uint32_t exceptionCode) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        return false;
    }
    std::fprintf(file, "**** CreateDMP () ****\r\n");
    std::fprintf(file, "Date: %d-%d-%d\r\n", now.wYear, now.wMonth, now.wDay);
    std::fprintf(file, "Time: %d:%d:%d\r\n", now.wHour, now.wMinute, now.wSecond);
    std::fprintf(file, "Comment: %s\r\n", comment ? comment : "");
    std::fprintf(file, "Computer: %s\r\n", platform::GetComputerName().c_str());
    std::fprintf(file, "dmp_directory: %s\r\n", folder.c_str());
    std::fprintf(file, "ftp_addr: %s\r\n", g_FtpAddress.c_str());
    std::fprintf(file, "ftp_user: %s\r\n", g_FtpUser.c_str());
    std::fprintf(file, "ftp_directory: %s\r\n", g_FtpDirectory.c_str());
    std::fprintf(file, "xc: %lX\r\n", static_cast<unsigned long>(exceptionCode));
    return std::fclose(file) == 0;
}

bool CreateReportFiles(const char* comment, uint32_t exceptionCode, const CrashContext* context) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char name[64];
    std::snprintf(name, sizeof name, "%d_%d_%d_%d_%d_%d", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
                  now.wSecond);
    const std::string folder = ReportFolder();
    if (!platform::DirectoryExists(folder) && mkdir(folder.c_str(), 0755) != 0) {
        char message[1024];
        std::snprintf(message, sizeof message, "CreateDMP () Unable to create directory: %s", folder.c_str());
        LogErrAndInfo(__FILE__, __LINE__, message);
        platform::ShowMessageBox(message);
        return false;
    }
    const std::string base = platform::JoinPath(folder, name);
    WriteTextReport(base + ".txt", now, comment, folder, exceptionCode);
    WriteDump(base + ".dmp", exceptionCode, context);

    std::string errors;
    bool uploaded = true;
    for (const char* extension : {".dmp", ".txt"}) {
        Tovanix::String error;
        if (!UpLoadFile((base + extension).c_str(), &error)) {
            uploaded = false;
            if (error.HasText()) {
                errors += errors.empty() ? "" : "\n";
                errors += error.c_str();
            }
        }
    }
    if (!errors.empty()) {
        LogErrAndInfo(__FILE__, __LINE__, errors.c_str());
        platform::ShowMessageBox(errors);
    }
    return uploaded;
}

}  // namespace

uint32_t ExceptionCodeForSignal(int signalNumber) {
    switch (signalNumber) {
    case SIGBUS: return kExceptionInPageError;
    case SIGILL: return kExceptionIllegalInstruction;
    case SIGFPE: return kExceptionIntDivideByZero;
    default: return kExceptionAccessViolation;
    }
}

bool WriteCrashReport(uint32_t exceptionCode, const CrashContext* context) {
    const AppLogSources& sources = GetAppLogSources();
    char banner[512];
    std::snprintf(banner, sizeof banner, "Tessaly %s %s (%s %s)", Text(sources.displayName), Text(sources.fileVersion),
                  __DATE__, __TIME__);
    CreateDMP(banner, exceptionCode, context);
    return true;
}

bool CreateDMP(const char* comment, uint32_t exceptionCode, const CrashContext* context) {
    try {
        return CreateReportFiles(comment, exceptionCode, context);
    } catch (...) {
        _exit(255);
    }
}

bool UpLoadFile(const char* localPath, Tovanix::String* error) {
    if (!g_FtpAddress.HasText()) {
        *error = "UploadFile () : ftp connection not established.";
        return false;
    }
    if (!localPath || !platform::FileExists(localPath)) {
        char message[1024];
        std::snprintf(message, sizeof message, "UpLoadFile() : file %s does not exist", localPath ? localPath : "");
        *error = message;
        return false;
    }
    // This build carries no FTP client, so a configured server is never reached.
    char message[1024];
    std::snprintf(message, sizeof message, "Unable to connect to %s as user %s", g_FtpAddress.c_str(), g_FtpUser.c_str());
    *error = message;
    return false;
}

CrashGuard::CrashGuard(const char* sourceFile, int sourceLine)
    : m_outer(t_innermostGuard), m_sourceFile(sourceFile), m_sourceLine(sourceLine) {
    static std::once_flag installed;
    std::call_once(installed, [] {
        struct sigaction action {};
        action.sa_sigaction = &CrashGuard::OnFault;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        for (size_t i = 0; i < sizeof kFaultSignals / sizeof kFaultSignals[0]; ++i) {
            sigaction(kFaultSignals[i], &action, &g_previousActions[i]);
        }
    });
    t_innermostGuard = this;
}

CrashGuard::~CrashGuard() { t_innermostGuard = m_outer; }

void CrashGuard::OnFault(int signalNumber, siginfo_t* info, void* machineContext) {
    const CrashGuard* guard = t_innermostGuard;
    if (!guard) {
        // Not a guarded section: hand the fault to whoever handled it before.
        for (size_t i = 0; i < sizeof kFaultSignals / sizeof kFaultSignals[0]; ++i) {
            if (kFaultSignals[i] != signalNumber) {
                continue;
            }
            const struct sigaction& previous = g_previousActions[i];
            if ((previous.sa_flags & SA_SIGINFO) && previous.sa_sigaction) {
                previous.sa_sigaction(signalNumber, info, machineContext);
                return;
            }
            if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN && previous.sa_handler) {
                previous.sa_handler(signalNumber);
                return;
            }
        }
        signal(signalNumber, SIG_DFL);
        raise(signalNumber);
        return;
    }
    // One report per process: another thread faulting meanwhile would write
    // into the same files (they are named by the second), so it waits for the
    // first to end the process.
    static std::atomic_flag reporting = ATOMIC_FLAG_INIT;
    if (reporting.test_and_set()) {
        for (;;) {
            pause();
        }
    }
    CrashContext context{signalNumber, info, machineContext};
    WriteCrashReport(ExceptionCodeForSignal(signalNumber), &context);
    LogErrAndInfo(guard->m_sourceFile, guard->m_sourceLine, "Exception during acquisition.");
    _exit(-1);
}
