#include "support/AppLogs.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <string>
#include <unistd.h>

#include "platform/Files.h"
#include "platform/Sync.h"
#include "platform/Time.h"
#include "support/CachedLog.h"

namespace {

AppLogSources g_sources;

const char* SourceText(const CString* text) { return text ? text->GetString() : ""; }

CString DatedPath(const char* pattern) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char relative[256];
    std::snprintf(relative, sizeof relative, pattern, now.wYear, now.wMonth, now.wDay);
    return DataRootPath(relative);
}

std::string ComputerNameLine() { return "# ComputerName=" + platform::GetComputerName() + "\r\n"; }

// Appends a line to a cached log whose record is new (or was dropped after
// being idle): its column line goes first.
void AddCachedRow(const CString& path, const char* columnLine, const CString& row) {
    Tovanix::String ignored;
    if (GetNLines(path, &ignored) == 0) {
        AddALine(path, columnLine, &ignored);
    }
    AddALine(path, row, &ignored);
}

}  // namespace

void SetAppLogSources(const AppLogSources& sources) { g_sources = sources; }
const AppLogSources& GetAppLogSources() { return g_sources; }

CString DataRootPath(const char* relative) {
    CString root = SourceText(g_sources.dataRoot);
    root.Trim();
    if (root.IsEmpty()) {
        return CString(platform::NativePath(relative).c_str());
    }
    return CString(platform::JoinPath(platform::NativePath(root.str()), platform::NativePath(relative)).c_str());
}

void LogErrAndInfo(const char* sourceFile, int sourceLine, const char* message, FILE* file) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char relative[64];
    std::snprintf(relative, sizeof relative, "LOG\\Err_And_Info_%04u_%02u_%02u.log", now.wYear, now.wMonth, now.wDay);
    const CString path = DataRootPath(relative);

    std::string row = CString::Formatted("%s\t%02u:%02u:%02u\t%s\t%ld\t%s\r\n", SourceText(g_sources.fileVersion), now.wHour,
                                 now.wMinute, now.wSecond, sourceFile ? sourceFile : "",
                                 static_cast<long>(sourceLine), message ? message : "")
                          .str();
    const std::string leading = ComputerNameLine() + "version\ttime\tfile\tline\tmessage\r\n";

    if (file) {
        if (!platform::FileExists(path.str())) {
            row = leading + row;
        }
        std::fwrite(row.data(), 1, row.size(), file);
        return;
    }
    // Whoever creates the day's file writes its leading lines, in the same
    // single write as its row, so concurrent first rows cannot interleave them.
    int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
        row = leading + row;
    } else if (errno == EEXIST) {
        fd = open(path, O_WRONLY | O_APPEND | O_CLOEXEC);
    }
    if (fd < 0) {
        return;
    }
    ssize_t ignored = write(fd, row.data(), row.size());
    (void)ignored;
    close(fd);
}

bool AddPumpLogLine(const char* timingLine) {
    // The file is fixed by the first pump command of the process, so a run
    // past midnight stays in one pump log.
    static std::once_flag first;
    static CString path;
    std::call_once(first, [] {
        path = DatedPath("LOG\\PumpLog_%04u_%02u_%02u.log");
        if (_CachedLog_semaphore && _CachedLog_semaphore->Wait(kCachedLogWaitMs)) {
            CachedLog* log = GetCachedLogObj(path);
            log->headerInsertPos = static_cast<int32_t>(log->lines.size());
            log->AppendLine(
                "timestamp\ttotal_time_ms\tt_waiting_for_semaphore_ms\timposed_sleep_time_ms\t"
                "time_to_send_commands_ms\tnattempts_to_send_command\tnattempts_to_reset_port\traw_command\t"
                "com_port\tipump\tresponse\terr_msg");
            _CachedLog_semaphore->Release();
        }
    });
    Tovanix::String ignored;
    return AddALine(path, timingLine, &ignored, false, true);
}

void LogScriptLine(const char* scriptName, const char* lineText) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    CString row = CString::Formatted("%s\t%02u:%02u:%02u\t%s\t%s", SourceText(g_sources.fileVersion), now.wHour, now.wMinute,
                             now.wSecond, scriptName ? scriptName : "", lineText ? lineText : "");
    AddCachedRow(DatedPath("LOG\\Script_%04u_%02u_%02u.log"), "version\ttime\tScript\tline", row);
}

void LogCustomerUIAction(const char* action, const char* stateName, const char* info) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    CString row = CString::Formatted("%s\t%02u:%02u:%02u\t%s\t%s\t%s", SourceText(g_sources.fileVersion), now.wHour,
                             now.wMinute, now.wSecond, action ? action : "", stateName ? stateName : "",
                             info ? info : "");
    AddCachedRow(DatedPath("LOG\\CustomerUI_%04u_%02u_%02u.log"), "version\ttime\tAction\tStateName\tInfo", row);
}

namespace {

// LOG\Script_YYYY_MM_DD_HH_MM_SS of the data root, created now; empty when it
// cannot be created or exists already (two runs in one second: that run's
// copy is there).
std::string CreateRunArchiveFolder() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char relative[96];
    std::snprintf(relative, sizeof relative, "LOG\\Script_%04u_%02u_%02u_%02u_%02u_%02u", now.wYear, now.wMonth,
                  now.wDay, now.wHour, now.wMinute, now.wSecond);
    const CString folder = DataRootPath(relative);
    std::error_code ec;
    if (!std::filesystem::create_directory(folder.str(), ec)) {
        return std::string();
    }
    return folder.str();
}

void CopyIntoFolder(const std::string& source, const std::string& folder) {
    std::error_code ec;
    const std::filesystem::path name = std::filesystem::path(source).filename();
    std::filesystem::copy_file(source, std::filesystem::path(folder) / name,
                               std::filesystem::copy_options::overwrite_existing, ec);
}

}  // namespace

void ArchiveScriptToLog(const char* scriptName) {
    const std::string folder = CreateRunArchiveFolder();
    if (folder.empty()) {
        return;
    }
    const std::string scripts = DataRootPath("Scripts").str();
    std::string source = platform::FindFileIgnoringCase(platform::JoinPath(scripts, platform::NativePath(scriptName ? scriptName : "")));
    if (source.empty()) {
        return;
    }
    CopyIntoFolder(source, folder);
}

void ArchiveScriptFileToLog(const char* scriptPath) {
    const std::string source = platform::NativePath(scriptPath ? scriptPath : "");
    std::error_code ec;
    if (source.empty() || !std::filesystem::is_regular_file(source, ec)) {
        return;
    }
    const std::string folder = CreateRunArchiveFolder();
    if (!folder.empty()) {
        CopyIntoFolder(source, folder);
    }
}

void WriteComputerNameLine(FILE* file) {
    if (!file) {
        return;
    }
    const std::string line = ComputerNameLine();
    std::fwrite(line.data(), 1, line.size(), file);
}
