#pragma once

// The profile store: every setting of the program is read and written here,
// in INI-style text files, at the moment of use and never cached.
//
// Reads and writes take the arguments of the classic profile-string calls but
// return a flag: section names match with case, key names without, nothing
// is trimmed, and a value that does not fit the caller's buffer is refused.
// Registered files are kept enciphered (support/EncryptedProfile.h). Failures
// go to the store's own error log, each distinct message once per run; the
// caller only sees false.

#include "support/String.h"

#include <set>
#include <string>
#include <vector>

namespace Tovanix {

using ProfileGetHook = bool (*)(const char* section, const char* key, const char* defaultValue, char* buffer,
                                int size, const char* file);
using ProfileWriteHook = bool (*)(const char* section, const char* key, const char* value, const char* file);

// Asked first by every read or write made outside a hook; true from the hook
// answers the call. Installed once at start-up, before other threads run.
extern ProfileGetHook g_E_GetPrivateProfileStringHook;
extern ProfileWriteHook g_E_WritePrivateProfileStringHook;

// True when the buffer holds the key's value, or the default when the file,
// the section or the key is missing. False, with an empty buffer, when the
// value or the default does not fit in size - 1 characters, a name is
// invalid, or an enciphered file cannot be read.
bool E_GetPrivateProfileString(const char* section, const char* key, const char* defaultValue, char* buffer,
                               int size, const char* file);

// Replaces the key's value or adds the key (and the section), then rewrites
// the whole file under the file's write lock. True when the file was
// rewritten.
bool E_WritePrivateProfileString(const char* section, const char* key, const char* value, const char* file);

// Appends the section's lines longer than 2 characters, as they stand, to
// `lines`. True when the section was found and read to its end.
bool E_ReadSection(const char* section, std::vector<String>& lines, const char* file);

// Removes the section (when present) and appends it anew at the end of the
// file with the given lines. True when the file was rewritten.
bool E_ReplaceSection(const char* section, const std::vector<String>& lines, const char* file);

// Drops every later occurrence of a section name (with case), keeping the
// first with its own lines. False only when the file could not be read,
// deciphered or rewritten.
bool E_RemoveRedundantSections(const char* file);

// Reads the whole file. A missing file gives true and leaves the buffer and
// the flag untouched. `encrypted` tells whether the bytes carry the header of
// an enciphered file; with a key file loaded, the header must be its own.
bool read_profile_file_to_memory(std::string& buffer, const char* file, bool& encrypted, String& error);

// The store's error log. Nothing is written until E_SetErrorLog succeeds.
// The application keeps one per day in its LOG folder, named after the date
// (year, month, day) with this format.
constexpr const char* kProfileErrorLogNameFormat = "EncryptedProfile_%04u_%02u_%02u.log";
bool E_SetErrorLog(const char* path, String& error);
// True when the message is in the log (written now or earlier in the run).
bool log_error(const char* message);

extern String g_ErrorLogPath;
extern std::set<std::string> g_LoggedErrorMessages;

}  // namespace Tovanix

// Copies section MigrationAnalysisDlg to FractionationAnalysisDlg when only
// the first exists; the result of the copy, false when nothing was copied.
bool MigrateFractionationSettings(const char* file);

// The application's get hook: reads of some calibration and cartridge keys
// fall back to the sections that held them in older settings files. True when
// it answered the read. A NULL file means the main settings file, whose path
// the application hands over through g_MainSettingsPath.
bool CalibrationProfileHook(const char* section, const char* key, const char* defaultValue, char* buffer,
                            int size, const char* file);

// The main settings file's path for CalibrationProfileHook; installed by the
// application with the hook.
extern const char* (*g_MainSettingsPath)();
