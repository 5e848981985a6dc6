#include "imaging/ExperimentFolders.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <strings.h>
#include <system_error>

#include "app/CartridgeTypes.h"
#include "app/VelloraApp.h"
#include "platform/Files.h"
#include "platform/Time.h"
#include "support/AppLogs.h"
#include "support/Profile.h"

namespace {

const char* const kSection = "ExperimentSettings";

std::mutex g_experimentMutex;

std::mutex g_hooksMutex;
DiskFreeSpaceQuery g_diskFreeSpaceQuery;
CartridgeOffsetsWriter g_cartridgeOffsetsWriter;

std::string ReadSetting(const char* key, size_t characters) {
    std::string buffer(characters + 1, '\0');
    Tovanix::E_GetPrivateProfileString(kSection, key, "", buffer.data(), static_cast<uint32_t>(buffer.size()),
                                       g_IniPath);
    buffer.resize(std::char_traits<char>::length(buffer.c_str()));
    return buffer;
}

void WriteSetting(const char* key, const std::string& value) {
    if (!Tovanix::E_WritePrivateProfileString(kSection, key, value.c_str(), g_IniPath)) {
        CString message;
        message.Format("CreateNewExperiment() - unable to write [%s] %s to %s", kSection, key, g_IniPath.GetString());
        LogErrAndInfo(__FILE__, __LINE__, message);
    }
}

bool IsActive(int type) {
    char key[32];
    std::snprintf(key, sizeof key, "IsActive%d", type);
    return strcasecmp(ReadSetting(key, 7).c_str(), "TRUE") == 0;
}

// The folder exists afterwards (one level is created when missing).
bool EnsureFolder(const std::string& folder) {
    if (platform::DirectoryExists(folder)) return true;
    std::error_code ec;
    std::filesystem::create_directory(folder, ec);
    return platform::DirectoryExists(folder);
}

void DirectoryError(const std::string& folder, CString& error) {
    error = ("Unable to create directory: " + folder).c_str();
    Tovanix::String checked(folder.c_str());
    if (checked.MakeValidFileName() && std::string(checked.c_str()) != folder) {
        error += " : directory name contains invalid character(s)";
    }
}

bool PlatformFreeSpace(const std::string& path, uint64_t* freeBytes, int* errorCode) {
    errno = 0;
    if (platform::GetDiskFreeSpace(path, freeBytes)) return true;
    *errorCode = errno ? errno : ENOENT;
    return false;
}

}  // namespace

std::string JoinExperimentPath(const char* folder, const char* name) {
    Tovanix::String path;
    path.SetPath(folder ? folder : "", name ? name : "");
    return platform::NativePath(path.c_str());
}

void SetDiskFreeSpaceQuery(DiskFreeSpaceQuery query) {
    std::lock_guard<std::mutex> lock(g_hooksMutex);
    g_diskFreeSpaceQuery = std::move(query);
}

void SetCartridgeOffsetsWriter(CartridgeOffsetsWriter writer) {
    std::lock_guard<std::mutex> lock(g_hooksMutex);
    g_cartridgeOffsetsWriter = std::move(writer);
}

bool ImposeCartridgeOffsets(const char* settingsFile, const char* cartridgeCode, CString& error) {
    CartridgeOffsetsWriter writer;
    {
        std::lock_guard<std::mutex> lock(g_hooksMutex);
        writer = g_cartridgeOffsetsWriter;
    }
    return writer ? writer(settingsFile, cartridgeCode, error)
                  : ImposeCartridgeTypeOffsets(settingsFile, cartridgeCode, error);
}

bool CreateNewExperiment(Tovanix::String name, CString& error) {
    std::lock_guard<std::mutex> lock(g_experimentMutex);

    std::string dataDirectory = ReadSetting("DataDirectory", 1022);
    if (dataDirectory.empty()) dataDirectory = theApp.m_strDataRoot.str();
    const bool daily = strcasecmp(ReadSetting("CreateDailySubDirectory", 7).c_str(), "FALSE") != 0;

    SYSTEMTIME now;
    GetLocalTime(&now);
    std::string fullName;
    if (name.HasText()) {
        char stamp[64];
        std::snprintf(stamp, sizeof stamp, "%d%02d%02d-%02d%02d-%02d_", now.wYear, now.wMonth, now.wDay, now.wHour,
                      now.wMinute, now.wSecond);
        fullName = std::string(stamp) + name.c_str();
    }

    std::string folder = platform::NativePath(dataDirectory);
    if (!EnsureFolder(folder)) {
        DirectoryError(folder, error);
        return false;
    }
    if (daily) {
        char day[16];
        std::snprintf(day, sizeof day, "%d%02d%02d", now.wYear, now.wMonth, now.wDay);
        folder = JoinExperimentPath(folder.c_str(), day);
        if (!EnsureFolder(folder)) {
            DirectoryError(folder, error);
            return false;
        }
    }
    folder = JoinExperimentPath(folder.c_str(), fullName.c_str());
    if (!EnsureFolder(folder)) {
        DirectoryError(folder, error);
        return false;
    }
    const std::string settingsCopy = JoinExperimentPath(folder.c_str(), "ExperimentSettings.ini");

    WriteSetting("ExperimentImageNamePrefix", fullName);
    WriteSetting("ExperimentFullName", fullName);
    WriteSetting("ExperimentDirectory", folder);
    WriteSetting("ExperimentFile", settingsCopy);

    const std::string mainSettings = platform::NativePath(g_IniPath.str());
    if (!platform::CopyFileAtomically(mainSettings, settingsCopy, false)) {
        error.Format("Problem copying %s -> %s", mainSettings.c_str(), settingsCopy.c_str());
        return false;
    }
    const char* cartridge = theApp.m_strCartridgeTypeCode.c_str();
    if (!ImposeCartridgeOffsets(settingsCopy.c_str(), cartridge, error) ||
        !ImposeCartridgeOffsets(mainSettings.c_str(), cartridge, error)) {
        return false;
    }

    // The backup that start-up restores from; a failed copy is not the
    // experiment's failure, but it must not pass unnoticed.
    const std::string backup = JoinExperimentPath(JoinExperimentPath(theApp.m_strDataRoot, "Backup").c_str(),
                                                  "Vellora.ini.bak");
    if (!platform::CopyFileAtomically(mainSettings, backup, true)) {
        CString message;
        message.Format("CreateNewExperiment() - Problem copying %s -> %s", mainSettings.c_str(), backup.c_str());
        LogErrAndInfo(__FILE__, __LINE__, message);
    }

    const std::string images = JoinExperimentPath(folder.c_str(), "Images");
    if (!EnsureFolder(images)) {
        DirectoryError(images, error);
        return false;
    }
    return true;
}

bool ResumeExperiment(CString& error) {
    std::lock_guard<std::mutex> lock(g_experimentMutex);
    const std::string prefix = ReadSetting("ExperimentImageNamePrefix", 1022) + "_Resumed";
    Tovanix::E_WritePrivateProfileString(kSection, "ExperimentImageNamePrefix", prefix.c_str(), g_IniPath);
    error.Empty();
    return true;
}

bool CheckDiskSpaceForImageCapture(CString& message) {
    const std::string directory = ReadSetting("DataDirectory", 1022);
    std::string checkPath = directory.size() >= 2 && directory[1] == ':' ? directory.substr(0, 3) : directory;
    // Experiments without a data directory go to the data root, so that is
    // the disk to check.
    if (checkPath.empty()) checkPath = theApp.m_strDataRoot.str();

    DiskFreeSpaceQuery query;
    {
        std::lock_guard<std::mutex> lock(g_hooksMutex);
        query = g_diskFreeSpaceQuery;
    }
    uint64_t freeBytes = 0;
    int errorCode = 0;
    const std::string nativePath = platform::NativePath(checkPath);
    const bool known = query ? query(nativePath, &freeBytes, &errorCode)
                             : PlatformFreeSpace(nativePath, &freeBytes, &errorCode);
    if (!known) {
        CString logLine;
        logLine.Format("GetDiskFreeSpaceEx() %s fails, err=%lu", checkPath.c_str(),
                       static_cast<unsigned long>(static_cast<uint32_t>(errorCode)));
        LogErrAndInfo(__FILE__, __LINE__, logLine);
        message = ("Unable to check for available disk space at location: " + checkPath).c_str();
        return false;
    }

    int active = 0;
    for (int type = 1; type <= 4; ++type) active += IsActive(type) ? 1 : 0;
    int perType = 5;
    if (std::sscanf(ReadSetting("DiskSpaceCheckMBPerChannel", 30).c_str(), "%d", &perType) != 1) perType = 5;
    const uint64_t required = static_cast<uint64_t>(static_cast<int64_t>(active) * perType < 0
                                                        ? 0
                                                        : static_cast<int64_t>(active) * perType);
    const uint64_t freeGb = freeBytes >> 30;

    CString logLine;
    logLine.Format("disk_space_gb=%ld check_path=%s", static_cast<long>(freeGb), checkPath.c_str());
    LogErrAndInfo(__FILE__, __LINE__, logLine);

    if (freeGb < required) {
        message.Format(
            "Recommended disk space for this operation is %llu GB. You have %llu GB available.\n\nPlease delete "
            "files and empty the Recycle Bin.\n\nContinue with image capture?\n\nYES: continue with image "
            "capture.\n\nNO: Image capture will stop; any runing scripts will continue.\n       You can resume "
            "image capture when desired, using the\n       red Record button.",
            static_cast<unsigned long long>(required), static_cast<unsigned long long>(freeGb));
        return false;
    }
    return true;
}
