#pragma once

// Files and store state for the profile store's tests.

#include "platform/Folders.h"
#include "support/EncryptedProfile.h"
#include "support/Profile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace profiletest {

inline std::string Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void Put(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

inline std::string Text(const Tovanix::String& s) { return s.text ? s.text : ""; }

inline std::vector<std::string> Texts(const std::vector<Tovanix::String>& lines) {
    std::vector<std::string> out;
    for (const auto& line : lines) out.push_back(Text(line));
    return out;
}

// Each test gets a folder of its own and a store without key file, hooks,
// registrations or logged messages; the error log goes to LOG/profile.log.
class ProfileTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "." + info->name();
        for (char& c : name) {
            if (c == '/') c = '_';
        }
        m_dir = (std::filesystem::path(platform::PublicDocumentsFolder()) / "profile-tests" / name).string();
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir + "/LOG");
        ResetStore();
        Tovanix::String error;
        ASSERT_TRUE(Tovanix::E_SetErrorLog(LogPath().c_str(), error));
    }

    void TearDown() override { ResetStore(); }

    static void ResetStore() {
        Tovanix::g_E_GetPrivateProfileStringHook = nullptr;
        Tovanix::g_E_WritePrivateProfileStringHook = nullptr;
        Tovanix::g_RandomFileData.clear();
        Tovanix::g_RandomFileFingerprint.clear();
        Tovanix::g_EncryptedProfileFiles.clear();
        Tovanix::g_ErrorLogPath = "";
        Tovanix::g_LoggedErrorMessages.clear();
        g_MainSettingsPath = nullptr;
    }

    std::string Path(const std::string& name) const { return m_dir + "/" + name; }
    std::string LogPath() const { return m_dir + "/LOG/profile.log"; }
    std::string Log() const { return Bytes(LogPath()); }

    // Reads a key into a buffer of `size` bytes.
    static bool Get(const std::string& file, const char* section, const char* key, const char* def, std::string& value,
                    int size = 1024) {
        std::vector<char> buffer(size_t(size) + 1, 'X');
        buffer.back() = '\0';
        bool ok = Tovanix::E_GetPrivateProfileString(section, key, def, buffer.data(), size, file.c_str());
        value = buffer.data();
        return ok;
    }

    static std::string Value(const std::string& file, const char* section, const char* key) {
        std::string value;
        Get(file, section, key, "<missing>", value);
        return value;
    }

    std::string m_dir;
};

}  // namespace profiletest
