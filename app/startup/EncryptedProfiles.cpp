#include <cstdio>
#include <string>

#include "app/VelloraApp.h"
#include "app/startup/StartUp.h"
#include "platform/Files.h"
#include "platform/Time.h"
#include "platform/UiBridge.h"
#include "support/AppLogs.h"
#include "support/EncryptedProfile.h"
#include "support/Profile.h"

namespace {

void LogAndShowError(const char* text) {
    LogErrAndInfo(__FILE__, __LINE__, text);
    platform::ShowMessageBox(text, theApp.m_strDisplayName.str(), platform::MB_OK | platform::MB_ICONERROR);
}

// Writes go on as usual: the hook never answers a write itself.
bool PassWrite(const char*, const char*, const char*, const char*) { return false; }

const char* MainSettingsPath() { return g_IniPath.GetString(); }

std::string FileName(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

void RegisterEncryptedProfile(const char* path) {
    const std::string native = platform::NativePath(path ? path : "");
    if (!platform::FileExists(native)) return;
    bool encrypted = false;
    Tovanix::String error;
    if (!Tovanix::E_IsFileEncrypted(native.c_str(), encrypted, error)) {
        LogAndShowError(error.c_str());
        return;
    }
    if (encrypted) Tovanix::E_MarkFileEncrypted(FileName(native).c_str());
}

bool CVelloraApp::InitializeEncryptedProfiles(bool& retry) {
    retry = false;
    SYSTEMTIME today;
    GetLocalTime(&today);
    char name[64];
    std::snprintf(name, sizeof name, Tovanix::kProfileErrorLogNameFormat, today.wYear, today.wMonth, today.wDay);
    const std::string errorLog = platform::JoinPath(platform::JoinPath(m_strDataRoot.str(), "LOG"), name);
    Tovanix::String error;
    if (!Tovanix::E_SetErrorLog(errorLog.c_str(), error)) LogAndShowError(error.c_str());

    // Without the key file every profile stays plain.
    const std::string keyFile = platform::JoinPath(m_strDataRoot.str(), "rand.bin");
    if (!platform::FileExists(keyFile)) {
        retry = true;
        return false;
    }
    error = "";
    if (!Tovanix::E_LoadRandomFile(keyFile.c_str(), error)) {
        LogAndShowError(error.c_str());
        return false;
    }
    g_MainSettingsPath = MainSettingsPath;
    Tovanix::g_E_GetPrivateProfileStringHook = CalibrationProfileHook;
    Tovanix::g_E_WritePrivateProfileStringHook = PassWrite;
    RegisterEncryptedProfile(g_IniPath);
    RegisterEncryptedProfile(m_strUsersIniPath);
    Tovanix::E_RemoveRedundantSections(g_IniPath);
    return true;
}
