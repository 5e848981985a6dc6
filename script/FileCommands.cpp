// The commands that reach files: open a file with its program, compare two
// data files into a growing report, add a line to a log file, read and write
// one key of a settings file, and play a sound. A settings file named by a
// script always lies in the data root (the folder of the main settings
// file); a bare log name lies in the LOG folder.

#include <cstdio>
#include <string>

#include "app/VelloraApp.h"
#include "platform/Files.h"
#include "platform/Sound.h"
#include "platform/Time.h"
#include "script/ArgumentReaders.h"
#include "script/BuiltInHandlers.h"
#include "script/Script.h"
#include "support/AppLogs.h"
#include "support/CachedLog.h"
#include "support/DataFiles.h"
#include "support/Profile.h"
#include "support/ShellUtils.h"

namespace {

constexpr int32_t kCompareTwoDataFiles = 79;
constexpr int32_t kOpenFileUsingDefaultApp = 80;
constexpr int32_t kSaveTextToLogFile = 143;
constexpr int32_t kReadStoredString = 156;
constexpr int32_t kWriteStoredString = 164;
constexpr int32_t kPlaySound = 165;

constexpr int kStoredValueSize = 1023;

// The folder of a path with its trailing separator; "" when it has none.
std::string FolderOf(const char* path)
{
    Tovanix::String folder;
    if (!Tovanix::GetPathPart(folder, path, true, false, false))
        return std::string();
    return folder.c_str();
}

// The settings file a command uses: the main settings file, or the named
// file's name and extension in the main settings file's folder.
std::string PlacedSettingsFile(const Tovanix::String& named)
{
    if (named.GetLength() == 0)
        return g_IniPath.str();
    Tovanix::String placed(named);
    placed.SetDirectory(FolderOf(g_IniPath.GetString()).c_str());
    return placed.c_str();
}

// An optional last STRING parameter: absent only when the list has ended.
bool ReadOptionalString(int number, const char*& cursor, Tovanix::String& value, std::vector<Variable>& variables,
                        CString& error)
{
    if (ArgumentListEnded(cursor))
        return true;
    return ReadStringParameter(number, cursor, value, error, &variables, nullptr);
}

}  // namespace

bool Script::OpenFileUsingDefaultApp(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                     CString& error)
{
    const char* cursor = arguments;
    Tovanix::String path, extension;
    if (!OpenArgumentList(cursor, error) || !ReadStringParameter(1, cursor, path, error, &variables, nullptr) ||
        !ReadStringParameter(2, cursor, extension, error, &variables, nullptr))
        return false;
    if (check_only)
        return true;
    // Programs are started from an argument vector, never through a shell, so
    // nothing in the path can run as a command. Without a registered program
    // the desktop's opener takes the file.
    if (!Tovanix::OpenUsingDefaultAppOrDesktop(path.c_str(),
                                               extension.GetLength() > 0 ? extension.c_str() : nullptr)) {
        error.Format("Unable to open file: %s", path.c_str());
        return false;
    }
    return true;
}

bool Script::CompareTwoDataFiles(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                 CString& error)
{
    const char* cursor = arguments;
    Tovanix::String first, second, names, report;
    if (!OpenArgumentList(cursor, error) || !ReadStringParameter(1, cursor, first, error, &variables, nullptr) ||
        !ReadStringParameter(2, cursor, second, error, &variables, nullptr) ||
        !ReadStringParameter(3, cursor, names, error, &variables, nullptr) ||
        !ReadStringParameter(4, cursor, report, error, &variables, nullptr))
        return false;
    if (check_only)
        return true;

    std::vector<Tovanix::String> columns;
    if (names.GetLength() == 0 || Tovanix::SplitText(names.c_str(), columns, '\t') <= 0 || columns.empty()) {
        error = "names parameter is invalid";
        return false;
    }
    int count = 0;
    std::vector<double> differences;
    Tovanix::String compareError;
    if (!Tovanix::CompareDataFiles(first.c_str(), second.c_str(), columns, count, differences, compareError)) {
        error = compareError.c_str();
        return false;
    }

    const std::string reportPath = platform::NativePath(report.c_str());
    const bool existed = platform::FileExists(reportPath);
    FILE* file = std::fopen(reportPath.c_str(), "ab");
    if (!file) {
        error.Format("Problem opening report file: %s", report.c_str());
        return false;
    }
    std::string text;
    if (!existed) {
        text = "TimeStamp\tVersion\tnrows";
        for (const Tovanix::String& name : columns)
            text += std::string("\t") + name.c_str();
        text += "\r\n";
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    char head[64];
    std::snprintf(head, sizeof head, "%02u/%02u/%04u %02u:%02u:%02u\t", now.wMonth, now.wDay, now.wYear, now.wHour,
                  now.wMinute, now.wSecond);
    const int rows = count / static_cast<int>(columns.size());
    text += head + theApp.m_strFileVersion.str() + "\t" + std::to_string(rows);
    for (size_t i = 0; i < columns.size(); ++i) {
        char number[32] = "";
        Tovanix::FormatNumber(i < differences.size() ? differences[i] : 0.0, number);
        text += std::string("\t") + number;
    }
    text += "\r\n";
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (std::fclose(file) != 0 || !written) {
        error.Format("Problem writing to file: %s", report.c_str());
        return false;
    }
    return true;
}

bool Script::SaveTextToLogFile(const char* arguments, std::vector<Variable>& variables, bool check_only,
                               CString& error)
{
    const char* cursor = arguments;
    Tovanix::String file, text;
    if (!OpenArgumentList(cursor, error) || !ReadStringParameter(1, cursor, file, error, &variables, nullptr) ||
        !ReadStringParameter(2, cursor, text, error, &variables, nullptr))
        return false;
    if (check_only)
        return true;

    SYSTEMTIME now;
    GetLocalTime(&now);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%02u/%02u/%04u %02u:%02u:%02u.%03u\t", now.wMonth, now.wDay, now.wYear,
                  now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    const std::string line = std::string(stamp) + text.c_str();

    // A bare name goes into the folder of the run log, the data root's LOG
    // folder (also before a run log has been named).
    Tovanix::String path(file);
    if (FolderOf(file.c_str()).empty()) {
        std::string folder = FolderOf(theApp.m_strRunLogPath.GetString());
        if (folder.empty())
            folder = DataRootPath("LOG").str();
        path.SetDirectory(folder.c_str());
    }

    if (!_CachedLog_semaphore) {
        error.Format("SaveTextToLogFile() - log files are not available, the line for %s is lost", path.c_str());
        return false;
    }
    if (!_CachedLog_semaphore->Wait(kCachedLogWaitMs)) {
        error = "AddALine () - timeout waiting for _CachedLog_semaphore.";
        return false;
    }
    CachedLog* log = GetCachedLogObj(path.c_str());
    if (log)
        log->AppendLine(line.c_str());
    _CachedLog_semaphore->Release();
    if (!log) {
        error.Format("SaveTextToLogFile() - unable to open the log of file %s", path.c_str());
        return false;
    }
    return true;
}

bool Script::ReadStoredString(const char* arguments, std::vector<Variable>& variables, bool check_only,
                              CString& error)
{
    const char* cursor = arguments;
    Tovanix::String section, key, unused, named;
    Variable* target = nullptr;
    if (!OpenArgumentList(cursor, error) || !ReadStringParameter(1, cursor, section, error, &variables, nullptr) ||
        !ReadStringParameter(2, cursor, key, error, &variables, nullptr) ||
        !ReadStringParameter(3, cursor, unused, error, &variables, &target) ||
        !ReadOptionalString(4, cursor, named, variables, error))
        return false;
    if (check_only)
        return true;

    const std::string file = PlacedSettingsFile(named);
    char buffer[kStoredValueSize] = "";
    // A missing key or file reads as empty; a value that cannot be read whole
    // (too long, or a file that cannot be read) is an error, never an empty text.
    if (!Tovanix::E_GetPrivateProfileString(section.c_str(), key.c_str(), "", buffer, kStoredValueSize,
                                            file.c_str())) {
        error.Format("ReadStoredString() - unable to read key %s of section [%s] in file %s (value longer than "
                     "%d characters, or the file cannot be read)",
                     key.c_str(), section.c_str(), file.c_str(), kStoredValueSize - 1);
        return false;
    }
    if (target && target->type == kVariableString)
        target->sValue = buffer;
    return true;
}

bool Script::WriteStoredString(const char* arguments, std::vector<Variable>& variables, bool check_only,
                               CString& error)
{
    const char* cursor = arguments;
    Tovanix::String section, key, value, named;
    if (!OpenArgumentList(cursor, error) || !ReadStringParameter(1, cursor, section, error, &variables, nullptr) ||
        !ReadStringParameter(2, cursor, key, error, &variables, nullptr) ||
        !ReadStringParameter(3, cursor, value, error, &variables, nullptr) ||
        !ReadOptionalString(4, cursor, named, variables, error))
        return false;
    if (check_only)
        return true;

    const std::string file = PlacedSettingsFile(named);
    const bool written = Tovanix::E_WritePrivateProfileString(section.c_str(), key.c_str(), value.c_str(),
                                                              file.c_str());
    if (!written || (named.GetLength() > 0 && !platform::FileExists(platform::NativePath(file)))) {
        error.Format("Problem writing to file: %s", file.c_str());
        return false;
    }
    return true;
}

bool Script::PlaySound(const char* arguments, std::vector<Variable>& variables, bool check_only, CString& error)
{
    const char* cursor = arguments;
    Tovanix::String name;
    if (!OpenArgumentList(cursor, error) || !ReadStringParameter(1, cursor, name, error, &variables, nullptr))
        return false;
    if (check_only)
        return true;

    Tovanix::String folder(FolderOf(g_IniPath.GetString()).c_str());
    folder.Trim();
    folder.AppendPath("Sounds");
    if (!platform::DirectoryExists(platform::NativePath(folder.c_str()))) {
        error.Format("Directory %s does not exist.", folder.c_str());
        return false;
    }
    Tovanix::String file(folder);
    file.AppendPath((std::string(name.c_str()) + ".wav").c_str());
    const std::string native = platform::NativePath(file.c_str());
    if (!platform::FileExists(native)) {
        error.Format("File %s does not exist.", file.c_str());
        return false;
    }
    std::string reason;
    if (!platform::PlayWaveFileSync(native, &reason)) {
        error.Format("PlaySound() - unable to play file %s: %s", file.c_str(), reason.c_str());
        return false;
    }
    return true;
}

void InstallFileCommands(BuiltInHandlerTable& table)
{
    table.Set(kCompareTwoDataFiles, &Script::CompareTwoDataFiles);
    table.Set(kOpenFileUsingDefaultApp, &Script::OpenFileUsingDefaultApp);
    table.Set(kSaveTextToLogFile, &Script::SaveTextToLogFile);
    table.Set(kReadStoredString, &Script::ReadStoredString);
    table.Set(kWriteStoredString, &Script::WriteStoredString);
    table.Set(kPlaySound, &Script::PlaySound);
}
