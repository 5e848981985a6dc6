#include "support/Profile.h"

#include "platform/Files.h"
#include "platform/Sync.h"
#include "platform/Time.h"
#include "support/EncryptedProfile.h"
#include "support/ProfileFiles.h"
#include "support/ProfileText.h"
#include "support/SortedPtrList.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>

namespace Tovanix {

ProfileGetHook g_E_GetPrivateProfileStringHook = nullptr;
ProfileWriteHook g_E_WritePrivateProfileStringHook = nullptr;
String g_ErrorLogPath;
std::set<std::string> g_LoggedErrorMessages;

namespace {

using ProfileFiles::ReadResult;
using ProfileFiles::WriteResult;
using ProfileText::KeyLookup;

// Nesting depth of reads and writes: only the outermost call asks a hook, so
// the reads a hook makes never reach it again. Per thread, so that one
// thread's call never makes another thread's call skip the hook.
thread_local int g_ProfileGetDepth = 0;
thread_local int g_ProfileWriteDepth = 0;

class DepthGuard {
public:
    explicit DepthGuard(int& depth) : m_depth(depth) { ++m_depth; }
    ~DepthGuard() { --m_depth; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;

private:
    int& m_depth;
};

constexpr uint32_t kFileLockWaitMs = 2000;
constexpr uint32_t kErrorLogWaitMs = 1000;
constexpr size_t kMaxReplacedValue = 1024;
constexpr size_t kMaxAddedValue = 256;

const char* TextOf(const String& s) { return s.text ? s.text : ""; }

// One write lock per file path (compared without case), made the first time
// the path is written and kept for the rest of the run. The list itself is
// guarded, so two threads writing two new files at once both get an entry.
struct ProfileFileLock {
    String path;
    platform::Semaphore semaphore{1, 1};
};

using FileLockList = SortedPtrList<ProfileFileLock, TextOrderNoCase<&ProfileFileLock::path>>;

FileLockList& ProfileFileLocks() {
    static FileLockList* locks = [] {
        auto* list = new FileLockList;  // kept to the end of the process, like its entries
        list->flags = FileLockList::kOwnsElements | FileLockList::kSorted;
        return list;
    }();
    return *locks;
}

std::mutex g_ProfileFileLocksMutex;

platform::Semaphore& FileLockFor(const char* file) {
    std::lock_guard<std::mutex> guard(g_ProfileFileLocksMutex);
    FileLockList& locks = ProfileFileLocks();
    ProfileFileLock key;
    key.path = file;
    ProfileFileLock* lock = locks.Find(key);
    if (lock == nullptr) {
        lock = new ProfileFileLock;
        lock->path = file;
        locks.Add(lock);
    }
    return lock->semaphore;
}

// Reads the file's bytes and checks the header of an enciphered file against
// the loaded key file. `missing` tells that there is no file (true result).
bool ReadProfileBytes(const std::string& path, const char* file, std::string& bytes, bool& encrypted,
                      std::string& error, bool& missing) {
    missing = false;
    switch (ProfileFiles::ReadAll(path, bytes)) {
        case ReadResult::Missing:
            missing = true;
            return true;
        case ReadResult::OpenFailed:
            error = std::string("Tovanix::read_profile_file_to_memory() : unable to open file for reading: ") + file;
            return false;
        case ReadResult::ReadFailed:
            error = std::string("Tovanix::read_profile_file_to_memory() : problem reading file: ") + file;
            return false;
        case ReadResult::Ok:
            break;
    }
    encrypted = HasEncryptedHeader(bytes);
    // Without a key file there is nothing to compare with; deciphering then
    // fails with its own message.
    if (!encrypted || g_RandomFileFingerprint.empty()) return true;
    if (std::memcmp(bytes.data(), g_RandomFileFingerprint.data(), kEncryptedHeaderSize) == 0) return true;
    error = std::string("Tovanix::read_profile_file_to_memory() : encrypted file not compatible with rand.bin: ") + file;
    return false;
}

enum class Load { Ok, Missing, ReadFailed, DecipherFailed };

bool Failed(Load load) { return load == Load::ReadFailed || load == Load::DecipherFailed; }

// Reads, deciphers and normalises a profile file into `text` (empty for a
// missing file). On a failure `message` holds the reader's or the
// decipherer's text.
Load LoadText(const char* file, const std::string& path, std::string& text, std::string& message) {
    text.clear();
    bool encrypted = false;
    bool missing = false;
    if (!ReadProfileBytes(path, file, text, encrypted, message, missing)) return Load::ReadFailed;
    if (missing) return Load::Missing;
    if (encrypted) {
        String error;
        if (!decrypt(text, error)) {
            message = TextOf(error);
            return Load::DecipherFailed;
        }
    }
    ProfileText::NormaliseLineEnds(text);
    return Load::Ok;
}

// Enciphers the text when the file is registered and replaces the file.
bool StoreText(const char* function, const char* file, const std::string& path, std::string text,
               std::string& message) {
    if (IsFileToBeEncrypted(file)) {
        String error;
        if (!encrypt(text, error)) {
            message = TextOf(error);
            return false;
        }
    } else if (HasEncryptedHeader(text)) {
        // A plain text with a byte of 128 or more among its first 32 would
        // read back as an enciphered file, and so could not be read at all.
        message = std::string(function) + "() : text would be taken for an encrypted file: " + file;
        return false;
    }
    switch (ProfileFiles::Replace(path, text)) {
        case WriteResult::Ok:
            return true;
        case WriteResult::OpenFailed:
            message = std::string(function) + "() : problem opening file for writing: " + file;
            return false;
        case WriteResult::WriteFailed:
            message = std::string(function) + "() : problem writing to file: " + file;
            return false;
    }
    return false;
}

void LogIfAny(const std::string& message) {
    if (!message.empty()) log_error(message.c_str());
}

bool CheckNames(const char* function, const char* section, const char* key, std::string& message) {
    if (!ProfileText::IsValidSectionName(section)) {
        message = std::string(function) + "() : Invalid section name: " + section;
        return false;
    }
    if (!ProfileText::IsValidKeyName(key)) {
        message = std::string(function) + "() : Invalid item name: " + key;
        return false;
    }
    return true;
}

bool CopyDefault(const char* section, const char* key, const char* defaultValue, char* buffer, int size,
                 const char* file, std::string& message) {
    if (defaultValue == nullptr) return false;
    size_t length = std::strlen(defaultValue);
    if (length + 1 > static_cast<size_t>(size)) {
        message = std::string("Tovanix::E_GetPrivateProfileString() : Item not found: ") + key + " in section: " +
                  section + " in file: " + file + " and default value provided is too large.";
        return false;
    }
    std::memcpy(buffer, defaultValue, length + 1);
    return true;
}

bool GetValue(const char* section, const char* key, const char* defaultValue, char* buffer, int size,
              const char* file, std::string& message) {
    const std::string path = ProfileFiles::ResolvePath(file);
    std::string text;
    bool encrypted = false;
    bool missing = false;
    if (!ReadProfileBytes(path, file, text, encrypted, message, missing)) return false;
    // A missing file gives the default before names are looked at.
    if (missing) return CopyDefault(section, key, defaultValue, buffer, size, file, message);

    const char* function = "Tovanix::E_GetPrivateProfileString";
    if (!CheckNames(function, section, key, message)) return false;
    if (encrypted) {
        String error;
        if (!decrypt(text, error)) {
            message = TextOf(error);
            return false;
        }
    }
    ProfileText::NormaliseLineEnds(text);

    const size_t sectionLength = std::strlen(section);
    size_t header = ProfileText::FindSection(text, section);
    if (header == std::string::npos) {
        if (defaultValue == nullptr) {
            message = std::string(function) + "() : Section not found: " + section + " in file: " + file;
            return false;
        }
        return CopyDefault(section, key, defaultValue, buffer, size, file, message);
    }
    KeyLookup lookup = ProfileText::FindKey(text, header, sectionLength, key);
    if (lookup.result != KeyLookup::Found) {
        return CopyDefault(section, key, defaultValue, buffer, size, file, message);
    }
    size_t length = lookup.valueEnd - lookup.valueBegin;
    if (length > static_cast<size_t>(size) - 1) {
        char number[24];
        std::snprintf(number, sizeof number, "%lu", static_cast<unsigned long>(size));
        message = std::string(function) + "() : Item: " + key + " in section: " + section + " in file: " + file +
                  " is too large for provided buffer size: " + number;
        return false;
    }
    std::memcpy(buffer, text.data() + lookup.valueBegin, length);
    buffer[length] = '\0';
    return true;
}

// A new key line goes in only after a complete line, past the first bytes
// of the text, and with a value of at most 256 characters.
bool CanAddKeyLine(const std::string& text, size_t at, const char* value) {
    return std::strlen(value) <= kMaxAddedValue && at >= 5 && text[at - 2] == '\r' && text[at - 1] == '\n';
}

bool WriteValue(const char* section, const char* key, const char* value, const char* file,
                std::string& message) {
    const char* function = "Tovanix::E_WritePrivateProfileString";
    if (!CheckNames(function, section, key, message)) return false;
    // A line end inside a value would split it and could plant other keys or
    // sections in the file.
    if (std::strpbrk(value, "\r\n") != nullptr) {
        message = std::string(function) + "() : Value holds a line end: " + key + " in section: " + section +
                  " in file: " + file;
        return false;
    }
    const std::string path = ProfileFiles::ResolvePath(file);
    std::string text;
    if (Failed(LoadText(file, path, text, message))) return false;

    const size_t header = ProfileText::FindSection(text, section);
    if (header != std::string::npos) {
        KeyLookup lookup = ProfileText::FindKey(text, header, std::strlen(section), key);
        if (lookup.result == KeyLookup::Unreadable) return false;
        if (lookup.result == KeyLookup::Found) {
            size_t oldLength = lookup.valueEnd - lookup.valueBegin;
            if (oldLength > kMaxReplacedValue) return false;
            if (text.compare(lookup.valueBegin, oldLength, value) != 0) text.replace(lookup.valueBegin, oldLength, value);
        } else {
            if (!CanAddKeyLine(text, lookup.sectionEnd, value)) return false;
            text.insert(lookup.sectionEnd, std::string(key) + "=" + value + "\r\n");
        }
    } else {
        ProfileText::CompleteLastLine(text);
        text += '[';
        text += section;
        text += "]\r\n";
        if (!CanAddKeyLine(text, text.size(), value)) return false;
        text += key;
        text += '=';
        text += value;
        text += "\r\n";
    }
    return StoreText(function, file, path, std::move(text), message);
}

enum class Edit { Rewrite, Unchanged, Refused };

// Edits a file's whole text under the file's write lock, so that such an
// edit and a key write of one file never lose each other's change. A file
// that cannot be read gives false quietly; a decipher failure is logged. The
// text is written back when the edit asks for it.
template <class EditText>
bool EditUnderLock(const char* function, const char* file, EditText edit) {
    std::string message;
    bool ok = false;
    {
        platform::SemaphoreLock lock(FileLockFor(file), kFileLockWaitMs);
        if (!lock.Held()) return false;
        const std::string path = ProfileFiles::ResolvePath(file);
        std::string text;
        Load load = LoadText(file, path, text, message);
        if (load == Load::ReadFailed) message.clear();
        if (!Failed(load)) {
            switch (edit(text)) {
                case Edit::Unchanged:
                    return true;
                case Edit::Refused:
                    return false;
                case Edit::Rewrite:
                    ok = StoreText(function, file, path, std::move(text), message);
                    break;
            }
        }
    }
    LogIfAny(message);
    return ok;
}

bool EqualsNoCase(const char* a, const char* b) {
    auto fold = [](char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; };
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (fold(*a) != fold(*b)) return false;
    }
    return *a == *b;
}

}  // namespace

bool read_profile_file_to_memory(std::string& buffer, const char* file, bool& encrypted, String& error) {
    if (file == nullptr) {
        error = "Tovanix::read_profile_file_to_memory() : no file";
        return false;
    }
    std::string bytes;
    std::string message;
    bool missing = false;
    bool isEncrypted = false;
    if (!ReadProfileBytes(ProfileFiles::ResolvePath(file), file, bytes, isEncrypted, message, missing)) {
        error = message.c_str();
        return false;
    }
    if (missing) return true;
    buffer.swap(bytes);
    encrypted = isEncrypted;
    return true;
}

bool E_GetPrivateProfileString(const char* section, const char* key, const char* defaultValue, char* buffer,
                               int size, const char* file) {
    if (buffer != nullptr && size > 0) buffer[0] = '\0';
    if (section == nullptr || key == nullptr || buffer == nullptr || size < 1) return false;

    // The hook may answer for a NULL file (it stands for the main settings
    // file there); the store itself needs a file.
    if (g_ProfileGetDepth == 0 && g_E_GetPrivateProfileStringHook != nullptr) {
        bool answered;
        {
            DepthGuard depth(g_ProfileGetDepth);
            answered = g_E_GetPrivateProfileStringHook(section, key, defaultValue, buffer, size, file);
        }
        if (answered) return true;
        buffer[0] = '\0';
    }
    if (file == nullptr) return false;
    DepthGuard depth(g_ProfileGetDepth);
    std::string message;
    bool ok = GetValue(section, key, defaultValue, buffer, size, file, message);
    if (!ok) buffer[0] = '\0';
    LogIfAny(message);
    return ok;
}

bool E_WritePrivateProfileString(const char* section, const char* key, const char* value, const char* file) {
    if (section == nullptr || key == nullptr || value == nullptr || file == nullptr) return false;

    if (g_ProfileWriteDepth == 0 && g_E_WritePrivateProfileStringHook != nullptr) {
        DepthGuard depth(g_ProfileWriteDepth);
        if (g_E_WritePrivateProfileStringHook(section, key, value, file)) return true;
    }
    DepthGuard depth(g_ProfileWriteDepth);
    std::string message;
    bool ok = false;
    {
        // The whole read-modify-rewrite runs under the file's lock.
        platform::SemaphoreLock lock(FileLockFor(file), kFileLockWaitMs);
        if (!lock.Held()) return false;
        ok = WriteValue(section, key, value, file, message);
    }
    LogIfAny(message);
    return ok;
}

bool E_ReadSection(const char* section, std::vector<String>& lines, const char* file) {
    if (section == nullptr || file == nullptr) return false;
    if (!ProfileText::IsValidSectionName(section)) {
        log_error((std::string("Tovanix::E_ReadSection() : Invalid section name: ") + section).c_str());
        return false;
    }
    std::string text;
    std::string message;
    Load load = LoadText(file, ProfileFiles::ResolvePath(file), text, message);
    if (load == Load::DecipherFailed) LogIfAny(message);
    if (load != Load::Ok) return false;

    size_t header = ProfileText::FindSection(text, section);
    if (header == std::string::npos) return false;
    size_t p = ProfileText::AfterHeaderLine(text, header);
    if (p == std::string::npos) return false;
    // The section ends at the next header line or at a line that starts with
    // a NUL, where a text read as a C string would end.
    while (p < text.size() && text[p] != '[' && text[p] != '\0') {
        size_t end = text.find('\r', p);
        if (end == std::string::npos) return false;  // a last line without its line end
        if (end - p > 2) lines.emplace_back(text.substr(p, end - p).c_str());
        p = end + 2;
    }
    return true;
}

bool E_ReplaceSection(const char* section, const std::vector<String>& lines, const char* file) {
    const char* function = "Tovanix::E_ReplaceSection";
    if (section == nullptr || file == nullptr) return false;
    if (!ProfileText::IsValidSectionName(section)) {
        log_error((std::string(function) + "() : Invalid section name: " + section).c_str());
        return false;
    }
    return EditUnderLock(function, file, [&](std::string& text) {
        size_t header = ProfileText::FindSection(text, section);
        if (header != std::string::npos) {
            size_t after = ProfileText::AfterHeaderLine(text, header);
            if (after == std::string::npos) return Edit::Refused;
            text.erase(header, ProfileText::SectionEnd(text, after) - header);
        }
        ProfileText::CompleteLastLine(text);
        text += '[';
        text += section;
        text += "]\r\n";
        for (const String& line : lines) {
            text += TextOf(line);
            text += "\r\n";
        }
        return Edit::Rewrite;
    });
}

bool E_RemoveRedundantSections(const char* file) {
    const char* function = "Tovanix::E_RemoveRedundantSections";
    if (file == nullptr) return false;
    return EditUnderLock(function, file, [&](std::string& text) {
        // A section starts at a line whose first character after blanks and
        // tabs is '['; its name runs to the next ']' on that line. The first
        // occurrence of each name stays, later ones go with all their lines.
        std::set<std::string> seen;
        std::string kept;
        kept.reserve(text.size());
        unsigned long removed = 0;
        bool dropping = false;
        size_t p = 0;
        while (p < text.size()) {
            size_t lineEnd = text.find('\n', p);
            lineEnd = lineEnd == std::string::npos ? text.size() : lineEnd + 1;
            size_t q = p;
            while (q < lineEnd && (text[q] == ' ' || text[q] == '\t')) ++q;
            if (q < lineEnd && text[q] == '[') {
                size_t close = q + 1;
                while (close < lineEnd && text[close] != ']' && text[close] != '\r' && text[close] != '\n') ++close;
                dropping = !seen.insert(text.substr(q + 1, close - q - 1)).second;
                if (dropping) ++removed;
            }
            if (!dropping) kept.append(text, p, lineEnd - p);
            p = lineEnd;
        }
        if (removed == 0) return Edit::Unchanged;
        char number[24];
        std::snprintf(number, sizeof number, "%lu", removed);
        log_error((std::string(function) + "() : " + number + " sections will be deleted from file : " + file).c_str());
        text.swap(kept);
        return Edit::Rewrite;
    });
}

bool E_SetErrorLog(const char* path, String& error) {
    if (path == nullptr) return false;
    const std::string native = platform::NativePath(path);
    bool exists = platform::FileExists(native);
    std::FILE* f = std::fopen(native.c_str(), exists ? "ab" : "wb");
    if (f == nullptr) {
        error = (std::string("Tovanix::E_SetErrorLog") + (exists ? "() unable to open file: " : "() unable to create file: ") + path).c_str();
        return false;
    }
    std::fclose(f);
    g_ErrorLogPath = path;
    return true;
}

bool log_error(const char* message) {
    if (message == nullptr || !g_ErrorLogPath.HasText()) return false;
    static platform::Semaphore semaphore(1, 1);
    platform::SemaphoreLock lock(semaphore, kErrorLogWaitMs);
    if (!lock.Held()) return false;
    if (!g_LoggedErrorMessages.insert(message).second) return true;
    // Once in the set the message is not tried again, even when the file
    // cannot be opened now.
    std::FILE* f = std::fopen(platform::NativePath(TextOf(g_ErrorLogPath)).c_str(), "ab");
    if (f == nullptr) return false;
    SYSTEMTIME now;
    GetLocalTime(&now);
    std::fprintf(f, "%04u/%02u/%02u %02u:%02u:%02u\t%s()\t%s\r\n", unsigned(now.wYear), unsigned(now.wMonth),
                 unsigned(now.wDay), unsigned(now.wHour), unsigned(now.wMinute), unsigned(now.wSecond),
                 "Tovanix::log_error", message);
    std::fclose(f);
    return true;
}

}  // namespace Tovanix

const char* (*g_MainSettingsPath)() = nullptr;

namespace {

// Reads one fallback; answered when the buffer is not empty afterwards.
bool ReadAnswered(const char* section, const char* key, const char* defaultValue, char* buffer, int size,
                  const char* file) {
    Tovanix::E_GetPrivateProfileString(section, key, defaultValue, buffer, size, file);
    return buffer != nullptr && size > 0 && buffer[0] != '\0';
}

struct Fallback {
    const char* section;
    const char* key;  // NULL: the caller's key
};

// Reads the fallbacks in order up to the first answered one; the last is
// read even when it finds nothing, and its result stands.
bool ReadFallbacks(std::initializer_list<Fallback> fallbacks, const char* key, const char* defaultValue,
                   char* buffer, int size, const char* file) {
    size_t left = fallbacks.size();
    for (const Fallback& f : fallbacks) {
        if (ReadAnswered(f.section, f.key ? f.key : key, defaultValue, buffer, size, file) || --left == 0) break;
    }
    return true;
}

}  // namespace

bool CalibrationProfileHook(const char* section, const char* key, const char* defaultValue, char* buffer,
                            int size, const char* file) {
    using Tovanix::EqualsNoCase;
    if (section == nullptr || key == nullptr) return false;
    if (file == nullptr) file = g_MainSettingsPath != nullptr ? g_MainSettingsPath() : nullptr;
    if (file == nullptr) return false;

    // Hook reads are plain reads, whoever calls the hook.
    Tovanix::DepthGuard depth(Tovanix::g_ProfileGetDepth);
    if (EqualsNoCase(section, "CalibrationSettings")) {
        for (const char* name : {"UpperMagnet", "LowerMagnet", "UpperChannel", "LowerChannel"}) {
            if (EqualsNoCase(key, name)) {
                return ReadFallbacks({{"CalibrationSettings", nullptr}, {"CountingAlgorithmDlg", nullptr}}, key,
                                     defaultValue, buffer, size, file);
            }
        }
        if (EqualsNoCase(key, "image_pixels_per_mm")) {
            return ReadFallbacks({{"CalibrationSettings", nullptr}, {"ExperimentSettings", nullptr}}, key,
                                 defaultValue, buffer, size, file);
        }
        if (EqualsNoCase(key, "ZFactory")) {
            return ReadFallbacks({{"CalibrationSettings", nullptr}, {"Zaber", nullptr}}, key, defaultValue, buffer,
                                 size, file);
        }
        return false;
    }
    if (EqualsNoCase(section, "Cartridge")) {
        if (EqualsNoCase(key, "CartridgeUpperChannel")) {
            return ReadFallbacks({{"Cartridge", "CartridgeUpperChannel"},
                                  {"CalibrationSettings", "UpperChannel"},
                                  {"CountingAlgorithmDlg", "UpperChannel"}},
                                 key, defaultValue, buffer, size, file);
        }
        if (EqualsNoCase(key, "CartridgeLowerChannel")) {
            return ReadFallbacks({{"Cartridge", "CartridgeLowerChannel"},
                                  {"CalibrationSettings", "LowerChannel"},
                                  {"CountingAlgorithmDlg", "LowerChannel"}},
                                 key, defaultValue, buffer, size, file);
        }
    }
    return false;
}

bool MigrateFractionationSettings(const char* file) {
    std::vector<Tovanix::String> lines;
    std::vector<Tovanix::String> existing;
    if (Tovanix::E_ReadSection("MigrationAnalysisDlg", lines, file) &&
        !Tovanix::E_ReadSection("FractionationAnalysisDlg", existing, file)) {
        return Tovanix::E_ReplaceSection("FractionationAnalysisDlg", lines, file);
    }
    return false;
}
