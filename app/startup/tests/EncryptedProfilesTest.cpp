#include <gtest/gtest.h>

#include <filesystem>

#include "app/VelloraApp.h"
#include "app/tests/AppTestSupport.h"
#include "platform/UiBridge.h"
#include "support/Profile.h"

namespace {

class EncryptedProfilesTest : public apptest::DataRootTest {
protected:
    platform::ScriptedUiBridge ui;
    platform::ScopedUiBridge useUi{ui};
};

// Without the key file: no message, the retry flag, the profile store's error
// log set up, no hook installed, and the settings stay plain.
TEST_F(EncryptedProfilesTest, WithoutTheKeyFileProfilesStayPlainAndAskForARetry) {
    std::filesystem::create_directories(dataRoot / "LOG");
    Tovanix::g_E_GetPrivateProfileStringHook = nullptr;
    apptest::Put(IniPath(), "[CalibrationSettings]\r\nimage_pixels_per_mm=300\r\n");

    bool retry = false;
    EXPECT_FALSE(theApp.InitializeEncryptedProfiles(retry));
    EXPECT_TRUE(retry);
    EXPECT_TRUE(ui.ShownBoxes().empty());
    EXPECT_EQ(Tovanix::g_E_GetPrivateProfileStringHook, nullptr);
    bool found = false;
    for (const auto& entry : std::filesystem::directory_iterator(dataRoot / "LOG")) {
        found = found || entry.path().filename().string().rfind("EncryptedProfile_", 0) == 0;
    }
    EXPECT_TRUE(found);
    EXPECT_EQ(apptest::Bytes(IniPath()), "[CalibrationSettings]\r\nimage_pixels_per_mm=300\r\n");
}

// A key file that cannot be loaded is reported and leaves the profiles plain.
TEST_F(EncryptedProfilesTest, AnUnusableKeyFileIsReported) {
    std::filesystem::create_directories(dataRoot / "LOG");
    Tovanix::g_E_GetPrivateProfileStringHook = nullptr;
    apptest::Put(dataRoot / "rand.bin", "too short");
    bool retry = true;
    EXPECT_FALSE(theApp.InitializeEncryptedProfiles(retry));
    EXPECT_FALSE(retry);
    ASSERT_EQ(ui.ShownBoxes().size(), 1u);
    EXPECT_EQ(ui.ShownBoxes()[0].type, platform::MB_OK | platform::MB_ICONERROR);
    EXPECT_EQ(Tovanix::g_E_GetPrivateProfileStringHook, nullptr);
}

}  // namespace
