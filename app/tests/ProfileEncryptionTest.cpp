#include "app/ProfileEncryption.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "app/tests/AppTestSupport.h"
#include "app/tests/SettingsTestSupport.h"

namespace {

using apptest::Bytes;
using apptest::Put;

const std::string kText = "[ExperimentSettings]\r\nImageCaptureCount=5\r\n";

class ProfileEncryptionTest : public apptest::DataRootTest {
protected:
    void TearDown() override {
        settingstest::ScopedKeyFile::Forget();
        DataRootTest::TearDown();
    }
    bool Enciphered(const std::filesystem::path& file) { return Tovanix::HasEncryptedHeader(Bytes(file)); }
    static bool Registered(const char* name) { return Tovanix::g_EncryptedProfileFiles.count(name) != 0; }
};

TEST_F(ProfileEncryptionTest, CheckingEnciphersAndRegistersUncheckingReverses) {
    settingstest::ScopedKeyFile key(folder);
    Put(IniPath(), kText);
    Tovanix::String error;

    ASSERT_TRUE(SetProfileEncryption(IniPath().c_str(), true, error)) << error.c_str();
    EXPECT_TRUE(Enciphered(IniPath()));
    EXPECT_TRUE(Registered("Vellora.ini"));
    EXPECT_EQ(settingstest::Value("ExperimentSettings", "ImageCaptureCount", IniPath()), "5");

    // Already enciphered: only the registration changes, the bytes stay.
    Tovanix::E_UnmarkFileEncrypted("Vellora.ini");
    const std::string enciphered = Bytes(IniPath());
    ASSERT_TRUE(SetProfileEncryption(IniPath().c_str(), true, error)) << error.c_str();
    EXPECT_EQ(Bytes(IniPath()), enciphered);
    EXPECT_TRUE(Registered("Vellora.ini"));

    ASSERT_TRUE(SetProfileEncryption(IniPath().c_str(), false, error)) << error.c_str();
    EXPECT_EQ(Bytes(IniPath()), kText);
    EXPECT_FALSE(Registered("Vellora.ini"));

    // A plain, unregistered file stays plain when unchecked.
    Tovanix::E_MarkFileEncrypted("Vellora.ini");
    ASSERT_TRUE(SetProfileEncryption(IniPath().c_str(), false, error));
    EXPECT_EQ(Bytes(IniPath()), kText);
    EXPECT_FALSE(Registered("Vellora.ini"));
}

TEST_F(ProfileEncryptionTest, WithoutKeyFileNothingChangesAndTheStoreSaysWhy) {
    Put(IniPath(), kText);
    Tovanix::String error;
    EXPECT_FALSE(SetProfileEncryption(IniPath().c_str(), true, error));
    EXPECT_STREQ(error.c_str(), "Tovanix::encrypt() : internal error #1.");
    EXPECT_EQ(Bytes(IniPath()), kText);
    EXPECT_FALSE(Registered("Vellora.ini"));

    EXPECT_FALSE(SetProfileEncryption((dataRoot / "Users.ini").c_str(), true, error));
    EXPECT_EQ(std::string(error.c_str()),
              "Tovanix::E_IsFileEncrypted() : file does not exist: " + (dataRoot / "Users.ini").string());
}

TEST_F(ProfileEncryptionTest, EditingLeavesAnOwnerOnlyPlainFileThatTheNextWriteEnciphers) {
    settingstest::ScopedKeyFile key(folder);
    const std::filesystem::path users = dataRoot / "Users.ini";
    Put(users, "[Users]\r\nadmin=secret\r\n");
    ::chmod(users.c_str(), 0644);
    Tovanix::String error;
    ASSERT_TRUE(SetProfileEncryption(users.c_str(), true, error)) << error.c_str();

    bool deciphered = false;
    ASSERT_TRUE(DecipherProfileForEditing(users.c_str(), deciphered, error)) << error.c_str();
    EXPECT_TRUE(deciphered);
    EXPECT_EQ(Bytes(users), "[Users]\r\nadmin=secret\r\n");
    struct stat info {};
    ASSERT_EQ(::stat(users.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_TRUE(Registered("Users.ini"));

    // The program's next write of the file enciphers it again.
    ASSERT_TRUE(Tovanix::E_WritePrivateProfileString("Users", "operator", "x", users.c_str()));
    EXPECT_TRUE(Enciphered(users));

    // A plain file is left alone.
    const std::filesystem::path plain = dataRoot / "Plain.ini";
    Put(plain, kText);
    ASSERT_TRUE(DecipherProfileForEditing(plain.c_str(), deciphered, error));
    EXPECT_FALSE(deciphered);
    EXPECT_EQ(Bytes(plain), kText);
}

TEST_F(ProfileEncryptionTest, UsersIniLiesInTheDataRootUnlessNamed) {
    theApp.m_strUsersIniPath = "";
    EXPECT_EQ(std::string(UsersIniPath().c_str()), (dataRoot / "Users.ini").string());
    theApp.m_strUsersIniPath = "/elsewhere/Users.ini";
    EXPECT_STREQ(UsersIniPath().c_str(), "/elsewhere/Users.ini");
    theApp.m_strUsersIniPath = "";
}

}  // namespace
