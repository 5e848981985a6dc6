#pragma once

// Cached logs: log files that are written often (script, customer screen,
// pumps, capture logs) collect their lines in memory, and one writer thread
// appends the new lines to their files every few seconds, in the order they
// were added. A cached log can also hold header lines that are inserted into
// the file later, at a line position marked earlier.
//
// One semaphore guards the table and every record; every wait on it is
// limited to 30 s. Record pointers are valid only while it is held.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Sync.h"
#include "support/String.h"

struct CachedLog {
    int64_t lastSaveTime = 0;       // seconds of the last successful save; 0 when created
    int32_t lastWrittenIndex = -1;  // index in `lines` of the last line on disk
    int32_t saveIntervalSec = 30;
    std::string fileName;           // the key of the record
    int32_t headerInsertPos = -1;   // file lines after which header lines go; -1: none marked
    std::vector<std::string> lines;        // every line added, written ones included
    std::vector<std::string> headerLines;  // header lines waiting to be inserted

    // Caller holds _CachedLog_semaphore for all three.
    void AppendLine(const char* line);
    bool Save(Tovanix::String* error);
    bool SaveHeaderLines(Tovanix::String* error);

    bool HasPendingLines() const {
        return lastWrittenIndex < static_cast<int32_t>(lines.size()) - 1 || !headerLines.empty();
    }
};

// The table of records, in creation order; one record per file name, names
// compared without regard to ASCII letter case.
extern std::vector<CachedLog>& g_CachedLogs;
extern int32_t g_LastCachedLogIndex;
extern int32_t g_DefaultCachedLogSaveInterval;
// Null until InitializeCachedLogging.
extern platform::Semaphore* _CachedLog_semaphore;

constexpr uint32_t kCachedLogWaitMs = 30000;

// Creates the semaphore and starts the writer thread.
bool InitializeCachedLogging(int saveIntervalSec, Tovanix::String* error);

// Caller holds the semaphore. Finds or creates the record of the file.
CachedLog* GetCachedLogObj(const char* fileName, bool* created = nullptr);
// Caller holds the semaphore. True whether or not a record was found.
bool RemoveCachedLogObj(const char* fileName);

bool AddALine(const char* fileName, const char* line, Tovanix::String* error, bool markHeaderPosition = false,
              bool addTimeStamp = false);
// Appends the line to the first record of the table, the default log of the
// script commands. Waits at most waitMs for the semaphore; false with the
// reason when it times out or the table is empty (the line is dropped).
bool AddALine_ToDefaultLog(const char* line, Tovanix::String* error, uint32_t waitMs = 5000);
bool AddAHeaderLine(const char* fileName, const char* line, Tovanix::String* error);
int GetNLines(const char* fileName, Tovanix::String* error);

namespace CachedLogging {
// Writes the file's pending lines at once and drops its record.
bool Release(const char* fileName, Tovanix::String* error);
// Writes every record's pending lines at once; called at an orderly end of the
// program, so the lines of the last save interval are not lost. False with the
// first failure (the other records are still saved); true when logging never
// started.
bool SaveAll(Tovanix::String* error);
}  // namespace CachedLogging

// The writer thread: every second it saves the records whose save interval
// has passed and drops records idle for three intervals.
void WORKER_THREAD_SaveLogs();
