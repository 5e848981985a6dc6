#pragma once

// The crash report: when a processor-level fault (invalid memory access and
// the like) interrupts a guarded section such as a camera grab, a short text
// report and a dump of the process, named by date and time, go into the DMP
// folder beside the main settings file; both are then offered to the upload.
// No upload server is configured, so the upload stops with its message.

#include <cstdint>
#include <signal.h>

#include "support/String.h"

// Upload target; nothing in the program assigns these.
extern Tovanix::String g_FtpAddress;
extern Tovanix::String g_FtpUser;
extern Tovanix::String g_FtpPassword;
extern Tovanix::String g_FtpDirectory;

// Exception codes written into the reports for the fault signals.
constexpr uint32_t kExceptionAccessViolation = 0xC0000005u;  // SIGSEGV
constexpr uint32_t kExceptionInPageError = 0xC0000006u;      // SIGBUS
constexpr uint32_t kExceptionIllegalInstruction = 0xC000001Du;  // SIGILL
constexpr uint32_t kExceptionIntDivideByZero = 0xC0000094u;  // SIGFPE

// What the fault handler knows of the fault; the "exception pointers".
struct CrashContext {
    int signalNumber = 0;
    const siginfo_t* info = nullptr;
    const void* machineContext = nullptr;  // ucontext_t of the faulting thread
};

// Builds the crash banner and calls CreateDMP. Always true.
bool WriteCrashReport(uint32_t exceptionCode, const CrashContext* context);
// Writes the text report and the dump, then uploads both. True when the
// report was written and both uploads succeeded.
bool CreateDMP(const char* comment, uint32_t exceptionCode, const CrashContext* context);
bool UpLoadFile(const char* localPath, Tovanix::String* error);

// The exception code reported for a fault signal.
uint32_t ExceptionCodeForSignal(int signalNumber);

// Guards a section of code against processor faults on the calling thread:
// a fault inside writes the crash report, logs "Exception during
// acquisition." with the guard's source position and ends the process with
// exit code -1. Faults outside any guard keep their default action.
class CrashGuard {
public:
    CrashGuard(const char* sourceFile, int sourceLine);
    ~CrashGuard();
    CrashGuard(const CrashGuard&) = delete;
    CrashGuard& operator=(const CrashGuard&) = delete;

private:
    static void OnFault(int signalNumber, siginfo_t* info, void* machineContext);

    const CrashGuard* m_outer;
    const char* m_sourceFile;
    int m_sourceLine;
};
