#pragma once

// Enciphered profile files. The cipher is keyed by an external key file
// (rand.bin in the data root). An enciphered file is the key file's 32-byte
// fingerprint followed by the profile text XORed with key-file bytes that a
// hash-driven generator picks; the stream depends only on the key file, so
// enciphering and deciphering are the same operation.
//
// Every function reports a failure by returning false and filling the
// caller's error text; none logs or shows anything itself.

#include "support/String.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace Tovanix {

constexpr size_t kEncryptedHeaderSize = 32;
constexpr size_t kMinRandomFileSize = 64000;
constexpr size_t kMaxRandomFileSize = 32000000;

// The key file's bytes and fingerprint; empty until E_LoadRandomFile
// succeeds. Loaded once at start-up, before other threads run.
extern std::vector<uint8_t> g_RandomFileData;
extern std::vector<uint8_t> g_RandomFileFingerprint;
// Names (name and extension, no folder, compared with case) of the files
// the profile store writes enciphered.
extern std::set<std::string> g_EncryptedProfileFiles;

bool E_LoadRandomFile(const char* path, String& error);

// `buffer` becomes the fingerprint followed by the enciphered bytes.
bool encrypt(std::string& buffer, String& error);
// `buffer` (header and enciphered bytes) becomes the plain text.
bool decrypt(std::string& buffer, String& error);

// True when the bytes look enciphered: at least 32 of them, and a byte of 128
// or more among the first 32. Plain ASCII profile text never does.
bool HasEncryptedHeader(const std::string& bytes);

// False when the file cannot be examined, or is enciphered with another key
// file than the loaded one or while none is loaded (the flag is then true).
bool E_IsFileEncrypted(const char* path, bool& encrypted, String& error);

// Enciphers a plain file in place (an enciphered one is left alone).
bool E_EncryptFile(const char* path, String& error);
// Deciphers an enciphered file in place (a plain one is left alone).
bool E_DecryptFile(const char* path, String& error);

// Registers a file name for enciphering on every rewrite; always true.
bool E_MarkFileEncrypted(const char* name);
// Removes a registered file name; always true.
bool E_UnmarkFileEncrypted(const char* name);
// True when the path's name and extension are registered.
bool IsFileToBeEncrypted(const char* path);

}  // namespace Tovanix
