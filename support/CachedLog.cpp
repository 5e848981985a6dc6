#include "support/CachedLog.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <strings.h>
#include <thread>

#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Time.h"
#include "platform/UiBridge.h"
#include "support/AppLogs.h"

// Never destroyed: the writer thread may still walk it while the process ends.
std::vector<CachedLog>& g_CachedLogs = *new std::vector<CachedLog>;
int32_t g_LastCachedLogIndex = -1;
int32_t g_DefaultCachedLogSaveInterval = 30;
platform::Semaphore* _CachedLog_semaphore = nullptr;

namespace {

bool TakeSemaphore() { return _CachedLog_semaphore && _CachedLog_semaphore->Wait(kCachedLogWaitMs); }
void ReleaseSemaphore() { _CachedLog_semaphore->Release(); }

int64_t WallSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(platform::GetClock().WallNow().time_since_epoch())
        .count();
}

int64_t MonotonicMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(platform::GetClock().Now().time_since_epoch())
        .count();
}

void SetError(Tovanix::String* error, const std::string& text) {
    if (error) {
        *error = text.c_str();
    }
}

bool MakeDirectoryOf(const std::string& nativeFile) {
    std::filesystem::path directory = std::filesystem::path(nativeFile).parent_path();
    if (directory.empty()) {
        return true;
    }
    std::error_code ec;
    std::filesystem::create_directories(directory, ec);
    return std::filesystem::is_directory(directory, ec);
}

std::string DirectoryPart(const std::string& path) {
    size_t last = path.find_last_of("\\/");
    return last == std::string::npos ? std::string() : path.substr(0, last);
}

// Saves due records; false with the error of the first failed save. Caller
// holds the semaphore.
bool SaveDueLogs(Tovanix::String* error) {
    const int64_t cycleStartMs = MonotonicMs();
    for (size_t i = 0; i < g_CachedLogs.size();) {
        CachedLog& log = g_CachedLogs[i];
        const int64_t sinceSave = WallSeconds() - log.lastSaveTime;
        if (log.HasPendingLines()) {
            // A negative interval never saves.
            if (log.saveIntervalSec >= 0 && sinceSave > log.saveIntervalSec) {
                if (!log.Save(error)) {
                    return false;
                }
                // Leave the rest for the next cycle rather than keep the
                // semaphore from the logging threads for long.
                if (MonotonicMs() - cycleStartMs > 500) {
                    return true;
                }
            }
            ++i;
        } else if (sinceSave > 3 * static_cast<int64_t>(log.saveIntervalSec)) {
            g_CachedLogs.erase(g_CachedLogs.begin() + static_cast<std::ptrdiff_t>(i));
            g_LastCachedLogIndex = -1;
        } else {
            ++i;
        }
    }
    return true;
}

void ReportWriterTimeout() {
    const char* message = "WORKER_THREAD_SaveLogs () - timeout waiting for _CachedLog_semaphore.";
    LogErrAndInfo(__FILE__, __LINE__, message);
    platform::ShowMessageBox(message, "Vellora", platform::MB_OK | platform::MB_ICONERROR);
}

}  // namespace

void CachedLog::AppendLine(const char* line) { lines.emplace_back(line ? line : ""); }

bool CachedLog::Save(Tovanix::String* error) {
    if (!HasPendingLines()) {
        return true;
    }
    std::string target = platform::NativePath(fileName);
    if (!MakeDirectoryOf(target)) {
        // A log folder on a drive that is not there falls back to drive C.
        bool otherDrive = fileName.size() > 1 && fileName[1] == ':' && std::isalpha(static_cast<unsigned char>(fileName[0])) &&
                          fileName[0] != 'C' && fileName[0] != 'c';
        std::string onDriveC = otherDrive ? "C" + fileName.substr(1) : std::string();
        if (!otherDrive || !MakeDirectoryOf(platform::NativePath(onDriveC))) {
            SetError(error, "Can't create directory: " + DirectoryPart(fileName));
            return false;
        }
        target = platform::NativePath(onDriveC);
    }

    const int32_t lastIndex = static_cast<int32_t>(lines.size()) - 1;
    if (lastWrittenIndex < lastIndex) {
        FILE* file = std::fopen(target.c_str(), "ab");
        if (!file) {
            SetError(error, "Can't open file for appending: " + fileName);
            return false;
        }
        bool written = true;
        for (int32_t i = lastWrittenIndex + 1; i <= lastIndex && written; ++i) {
            const std::string& line = lines[static_cast<size_t>(i)];
            written = std::fwrite(line.data(), 1, line.size(), file) == line.size() && std::fputs("\r\n", file) >= 0;
        }
        if (std::fclose(file) != 0 || !written) {
            SetError(error, "Problem writing to file: " + fileName);
            return false;
        }
        // The lines are on disk: a header insertion that fails below must not
        // make the next save append them a second time.
        lastWrittenIndex = lastIndex;
    }

    if (!headerLines.empty() && !SaveHeaderLines(error)) {
        return false;
    }
    lastSaveTime = WallSeconds();
    return true;
}

bool CachedLog::SaveHeaderLines(Tovanix::String* error) {
    if (headerInsertPos < 0) {
        return true;
    }
    std::string block;
    for (const std::string& line : headerLines) {
        block += line;
        block += "\r\n";
    }
    const std::string path = platform::NativePath(fileName);
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        SetError(error, "Can't open file for reading: " + fileName);
        return false;
    }
    std::string content;
    char chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        content.append(chunk, got);
    }
    bool readFailed = std::ferror(file) != 0;
    std::fclose(file);
    if (readFailed) {
        SetError(error, "Problem reading file: " + fileName);
        return false;
    }

    size_t position = 0;
    for (int32_t pairs = 0; pairs < headerInsertPos; ++pairs) {
        size_t found = content.find("\r\n", position);
        if (found == std::string::npos) {
            SetError(error, "CachedLog::SaveHeaderLines() Did not find the insert line position.");
            return false;
        }
        position = found + 2;
    }
    content.insert(position, block);
    // Rewritten through a temporary file, so a failure keeps the old log whole.
    if (!platform::WriteFileAtomically(path, content.data(), content.size())) {
        SetError(error, "Can't open file for writing: " + fileName);
        return false;
    }
    headerInsertPos += static_cast<int32_t>(headerLines.size());
    headerLines.clear();
    return true;
}

bool InitializeCachedLogging(int saveIntervalSec, Tovanix::String* error) {
    if (_CachedLog_semaphore) {
        SetError(error, "InitializeCachedLogging () - has already been called.");
        return false;
    }
    _CachedLog_semaphore = new platform::Semaphore(1, 1);
    g_DefaultCachedLogSaveInterval = saveIntervalSec;
    try {
        std::thread(WORKER_THREAD_SaveLogs).detach();
    } catch (const std::system_error&) {
        SetError(error, "InitializeCachedLogging () - unable to create worker thread.");
        return false;
    }
    return true;
}

CachedLog* GetCachedLogObj(const char* fileName, bool* created) {
    const char* name = fileName ? fileName : "";
    if (created) {
        *created = false;
    }
    const int32_t size = static_cast<int32_t>(g_CachedLogs.size());
    if (g_LastCachedLogIndex > 0 && g_LastCachedLogIndex < size &&
        strcasecmp(g_CachedLogs[static_cast<size_t>(g_LastCachedLogIndex)].fileName.c_str(), name) == 0) {
        return &g_CachedLogs[static_cast<size_t>(g_LastCachedLogIndex)];
    }
    for (int32_t i = 0; i < size; ++i) {
        if (strcasecmp(g_CachedLogs[static_cast<size_t>(i)].fileName.c_str(), name) == 0) {
            g_LastCachedLogIndex = i;
            return &g_CachedLogs[static_cast<size_t>(i)];
        }
    }
    CachedLog& log = g_CachedLogs.emplace_back();
    log.fileName = name;
    log.saveIntervalSec = g_DefaultCachedLogSaveInterval;
    g_LastCachedLogIndex = size;
    if (created) {
        *created = true;
    }
    return &log;
}

bool RemoveCachedLogObj(const char* fileName) {
    g_LastCachedLogIndex = -1;
    const char* name = fileName ? fileName : "";
    for (auto it = g_CachedLogs.begin(); it != g_CachedLogs.end(); ++it) {
        if (strcasecmp(it->fileName.c_str(), name) == 0) {
            g_CachedLogs.erase(it);
            break;
        }
    }
    return true;
}

bool AddALine(const char* fileName, const char* line, Tovanix::String* error, bool markHeaderPosition,
              bool addTimeStamp) {
    std::string text;
    if (addTimeStamp) {
        SYSTEMTIME now;
        GetLocalTime(&now);
        char stamp[64];
        std::snprintf(stamp, sizeof stamp, "%04u/%02u/%02u %02u:%02u:%02u.%03u\t", now.wYear, now.wMonth, now.wDay,
                      now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
        text = stamp;
    }
    text += line ? line : "";
    if (!TakeSemaphore()) {
        SetError(error, "AddALine () - timeout waiting for _CachedLog_semaphore.");
        return false;
    }
    CachedLog* log = GetCachedLogObj(fileName);
    if (markHeaderPosition) {
        log->headerInsertPos = static_cast<int32_t>(log->lines.size());
    }
    log->lines.push_back(std::move(text));
    ReleaseSemaphore();
    return true;
}

bool AddALine_ToDefaultLog(const char* line, Tovanix::String* error, uint32_t waitMs) {
    if (!_CachedLog_semaphore || !_CachedLog_semaphore->Wait(waitMs)) {
        SetError(error, "AddALine_ToDefaultLog () - timeout waiting for _CachedLog_semaphore.");
        return false;
    }
    const bool any = !g_CachedLogs.empty();
    if (any) g_CachedLogs.front().AppendLine(line ? line : "");
    ReleaseSemaphore();
    if (!any) SetError(error, "AddALine_ToDefaultLog () - there are no active cached log objects.");
    return any;
}

bool AddAHeaderLine(const char* fileName, const char* line, Tovanix::String* error) {
    if (!TakeSemaphore()) {
        SetError(error, "AddALine () - timeout waiting for _CachedLog_semaphore.");
        return false;
    }
    GetCachedLogObj(fileName)->headerLines.emplace_back(line ? line : "");
    ReleaseSemaphore();
    return true;
}

int GetNLines(const char* fileName, Tovanix::String* error) {
    if (!TakeSemaphore()) {
        SetError(error, "GetNLines () - timeout waiting for _CachedLog_semaphore.");
        return 0;
    }
    int count = static_cast<int>(GetCachedLogObj(fileName)->lines.size());
    ReleaseSemaphore();
    return count;
}

bool CachedLogging::Release(const char* fileName, Tovanix::String* error) {
    if (!TakeSemaphore()) {
        SetError(error, "Release () - timeout waiting for _CachedLog_semaphore.");
        return false;
    }
    bool created = false;
    CachedLog* log = GetCachedLogObj(fileName, &created);
    if (!created) {
        Tovanix::String saveError;
        if (!log->Save(&saveError)) {
            char message[1024];
            std::snprintf(message, sizeof message, "%s() : %s", "CachedLogging::Release", saveError.c_str());
            LogErrAndInfo(__FILE__, __LINE__, message);
        }
    }
    RemoveCachedLogObj(fileName);
    ReleaseSemaphore();
    return true;
}

void WORKER_THREAD_SaveLogs() {
    if (!TakeSemaphore()) {
        ReportWriterTimeout();
        return;
    }
    bool held = true;
    for (;;) {
        if (held) {
            ReleaseSemaphore();
        }
        Sleep(1000);
        held = TakeSemaphore();
        if (!held) {
            ReportWriterTimeout();
            continue;
        }
        Tovanix::String error;
        if (!SaveDueLogs(&error)) {
            LogErrAndInfo(__FILE__, __LINE__, error.c_str());
            // The box waits for the user: never keep the logging threads
            // waiting on the semaphore meanwhile.
            ReleaseSemaphore();
            held = false;
            platform::ShowMessageBox(error.c_str(), "Vellora", platform::MB_OK | platform::MB_ICONERROR);
        }
    }
}

bool CachedLogging::SaveAll(Tovanix::String* error) {
    if (!_CachedLog_semaphore) {
        return true;
    }
    if (!TakeSemaphore()) {
        SetError(error, "SaveAll () - timeout waiting for _CachedLog_semaphore.");
        return false;
    }
    bool saved = true;
    for (CachedLog& log : g_CachedLogs) {
        Tovanix::String saveError;
        if (!log.Save(&saveError) && saved) {
            saved = false;
            SetError(error, saveError.c_str());
        }
    }
    ReleaseSemaphore();
    return saved;
}
