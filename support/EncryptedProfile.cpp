#include "support/EncryptedProfile.h"

#include "platform/Files.h"
#include "support/MurmurHash3.h"
#include "support/Profile.h"
#include "support/ProfileFiles.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <sys/stat.h>

namespace Tovanix {

std::vector<uint8_t> g_RandomFileData;
std::vector<uint8_t> g_RandomFileFingerprint;
std::set<std::string> g_EncryptedProfileFiles;

namespace {

void SetError(String& error, const std::string& text) { error = text.c_str(); }

void StoreLittleEndian(uint64_t value, uint8_t* out) {
    for (int i = 0; i < 8; ++i) out[i] = uint8_t(value >> (8 * i));
}

// XORs the bytes with the key stream. The stream is driven by a 32-byte
// state that starts as the fingerprint and takes in every key byte used; a
// position is never picked twice in a row.
void ApplyKeyStream(uint8_t* bytes, size_t count) {
    const uint8_t* key = g_RandomFileData.data();
    const uint32_t keyLength = static_cast<uint32_t>(g_RandomFileData.size());
    uint8_t state[kEncryptedHeaderSize];
    std::memcpy(state, g_RandomFileFingerprint.data(), kEncryptedHeaderSize);
    int64_t previous = -1;
    for (size_t i = 0; i < count; ++i) {
        uint32_t j = MurmurHash3_x86_32(state, kEncryptedHeaderSize, 0) % keyLength;
        if (j == previous) j = (j + 1) % keyLength;
        bytes[i] ^= key[j];
        state[i % kEncryptedHeaderSize] = key[j];
        previous = j;
    }
}

// The path with its extension replaced by ".new" (Users.ini -> Users.new).
std::string NewFilePath(const std::string& path) {
    size_t name = path.find_last_of("/\\");
    name = name == std::string::npos ? 0 : name + 1;
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot <= name) return path + ".new";
    return path.substr(0, dot) + ".new";
}

// Opens an existing regular file for reading and tells its size; the
// caller's two messages (followed by the path) tell a missing file from one
// that cannot be opened.
bool OpenForReading(const char* path, const char* missingMessage, const char* failedMessage, std::FILE*& file,
                    size_t& size, String& error) {
    const std::string given = path ? path : "";
    const std::string native = ProfileFiles::ResolvePath(given.c_str());
    struct stat info;
    if (native.empty() || ::stat(native.c_str(), &info) != 0) {
        SetError(error, missingMessage + given);
        return false;
    }
    file = S_ISREG(info.st_mode) ? std::fopen(native.c_str(), "rb") : nullptr;
    if (file == nullptr) {
        SetError(error, failedMessage + given);
        return false;
    }
    size = static_cast<size_t>(info.st_size);
    return true;
}

// Replaces a file's content; a failure names the file as `shown`.
// The register changes on the user-interface thread while other threads
// write settings and look their files up in it.
std::mutex& RegisterMutex() {
    static std::mutex mutex;
    return mutex;
}

bool WriteWhole(const char* function, const std::string& path, const char* shown, const std::string& bytes,
                String& error) {
    switch (ProfileFiles::Replace(path, bytes)) {
        case ProfileFiles::WriteResult::Ok:
            return true;
        case ProfileFiles::WriteResult::OpenFailed:
            SetError(error, std::string(function) + "() : unable to open file for writing: " + shown);
            return false;
        case ProfileFiles::WriteResult::WriteFailed:
            SetError(error, std::string(function) + "() : problem writing to file: " + shown);
            return false;
    }
    return false;
}

}  // namespace

bool E_LoadRandomFile(const char* path, String& error) {
    const std::string given = path ? path : "";
    const char* function = "Tovanix::E_LoadRandomFile";
    std::FILE* f = nullptr;
    size_t size = 0;
    if (!OpenForReading(path, "Tovanix::E_LoadRandomFile() File does not exist: ",
                        "Tovanix::E_LoadRandomFile() Can't open file for reading: ", f, size, error)) {
        return false;
    }
    if (size < kMinRandomFileSize || size > kMaxRandomFileSize) {
        std::fclose(f);
        SetError(error, std::string(function) +
                            (size < kMinRandomFileSize ? "() File must be at least 64KB: " : "() File must less than 32MB: ") +
                            given);
        return false;
    }
    g_RandomFileData.resize(size);
    size_t got = std::fread(g_RandomFileData.data(), 1, size, f);
    std::fclose(f);
    if (got != size) {
        g_RandomFileData.clear();
        g_RandomFileFingerprint.clear();
        SetError(error, std::string(function) + "() Problem reading file: " + given);
        return false;
    }

    uint64_t first[2];
    uint64_t second[2];
    MurmurHash3_x64_128(g_RandomFileData.data(), size, 0, first);
    MurmurHash3_x64_128(g_RandomFileData.data(), size, static_cast<uint32_t>(first[0]), second);
    g_RandomFileFingerprint.assign(kEncryptedHeaderSize, 0);
    StoreLittleEndian(first[0], &g_RandomFileFingerprint[0]);
    StoreLittleEndian(first[1], &g_RandomFileFingerprint[8]);
    StoreLittleEndian(second[0], &g_RandomFileFingerprint[16]);
    StoreLittleEndian(second[1], &g_RandomFileFingerprint[24]);
    return true;
}

bool encrypt(std::string& buffer, String& error) {
    if (g_RandomFileFingerprint.size() != kEncryptedHeaderSize || g_RandomFileData.empty()) {
        SetError(error, "Tovanix::encrypt() : internal error #1.");
        return false;
    }
    ApplyKeyStream(reinterpret_cast<uint8_t*>(buffer.data()), buffer.size());
    buffer.insert(0, reinterpret_cast<const char*>(g_RandomFileFingerprint.data()), kEncryptedHeaderSize);
    return true;
}

bool decrypt(std::string& buffer, String& error) {
    if (g_RandomFileFingerprint.size() != kEncryptedHeaderSize || g_RandomFileData.empty()) {
        SetError(error, "Tovanix::decrypt() : internal error #1.");
        return false;
    }
    if (buffer.size() < kEncryptedHeaderSize) {
        SetError(error, "Tovanix::decrypt() : internal error #2.");
        return false;
    }
    if (std::memcmp(buffer.data(), g_RandomFileFingerprint.data(), kEncryptedHeaderSize) != 0) {
        SetError(error, "Tovanix::decrypt() : internal error #3.");
        return false;
    }
    buffer.erase(0, kEncryptedHeaderSize);
    ApplyKeyStream(reinterpret_cast<uint8_t*>(buffer.data()), buffer.size());
    return true;
}

bool HasEncryptedHeader(const std::string& bytes) {
    if (bytes.size() < kEncryptedHeaderSize) return false;
    for (size_t i = 0; i < kEncryptedHeaderSize; ++i) {
        if (static_cast<uint8_t>(bytes[i]) >= 0x80) return true;
    }
    return false;
}

bool E_IsFileEncrypted(const char* path, bool& encrypted, String& error) {
    encrypted = false;
    const std::string given = path ? path : "";
    const char* function = "Tovanix::E_IsFileEncrypted";
    std::FILE* f = nullptr;
    size_t size = 0;
    if (!OpenForReading(path, "Tovanix::E_IsFileEncrypted() : file does not exist: ",
                        "Tovanix::E_IsFileEncrypted() : problem trying to open file for reading: ", f, size, error)) {
        return false;
    }
    if (size < kEncryptedHeaderSize) {
        std::fclose(f);
        return true;
    }
    std::string header(kEncryptedHeaderSize, '\0');
    size_t got = std::fread(header.data(), 1, kEncryptedHeaderSize, f);
    std::fclose(f);
    if (got != kEncryptedHeaderSize) {
        SetError(error, std::string(function) + "() : problem trying to read file: " + given);
        return false;
    }
    if (!HasEncryptedHeader(header)) return true;
    encrypted = true;
    // With no key file loaded no enciphered file is compatible.
    if (g_RandomFileFingerprint.size() == kEncryptedHeaderSize &&
        std::memcmp(header.data(), g_RandomFileFingerprint.data(), kEncryptedHeaderSize) == 0) {
        return true;
    }
    SetError(error, std::string(function) + "() : encrypted file not compatible with rand.bin: " + given);
    return false;
}

bool E_EncryptFile(const char* path, String& error) {
    const char* function = "Tovanix::E_EncryptFile";
    bool encrypted = false;
    if (!E_IsFileEncrypted(path, encrypted, error)) return false;
    if (encrypted) return true;

    std::string buffer;
    if (!read_profile_file_to_memory(buffer, path, encrypted, error)) return false;
    if (!encrypt(buffer, error)) return false;

    // The plain file stays until the enciphered copy is written and examined;
    // the rename then replaces it in one step.
    const std::string native = ProfileFiles::ResolvePath(path);
    const std::string newPath = NewFilePath(native);
    if (!WriteWhole(function, newPath, newPath.c_str(), buffer, error)) return false;
    if (!E_IsFileEncrypted(newPath.c_str(), encrypted, error)) return false;
    if (std::rename(newPath.c_str(), native.c_str()) != 0) {
        SetError(error, std::string(function) + "() : problem renaming: " + newPath + " -> " + path);
        return false;
    }
    return true;
}

bool E_DecryptFile(const char* path, String& error) {
    const char* function = "Tovanix::E_DecryptFile";
    bool encrypted = false;
    if (!E_IsFileEncrypted(path, encrypted, error)) return false;
    if (!encrypted) return true;

    std::string buffer;
    if (!read_profile_file_to_memory(buffer, path, encrypted, error)) return false;
    if (!decrypt(buffer, error)) return false;
    return WriteWhole(function, ProfileFiles::ResolvePath(path), path, buffer, error);
}

bool E_MarkFileEncrypted(const char* name) {
    if (name != nullptr) {
        std::lock_guard<std::mutex> lock(RegisterMutex());
        g_EncryptedProfileFiles.insert(name);
    }
    return true;
}

bool E_UnmarkFileEncrypted(const char* name) {
    if (name != nullptr) {
        std::lock_guard<std::mutex> lock(RegisterMutex());
        g_EncryptedProfileFiles.erase(name);
    }
    return true;
}

bool IsFileToBeEncrypted(const char* path) {
    if (path == nullptr) return false;
    String name;
    if (!GetPathPart(name, path, false, true, true)) return false;
    std::lock_guard<std::mutex> lock(RegisterMutex());
    return g_EncryptedProfileFiles.count(name.text) != 0;
}

}  // namespace Tovanix
