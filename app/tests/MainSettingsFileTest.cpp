#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/VelloraApp.h"
#include "app/tests/AppTestSupport.h"
#include "platform/UiBridge.h"
#include "platform/tests/ScopedEnv.h"
#include "support/Profile.h"

namespace {

using apptest::Bytes;
using apptest::Put;

const char kDefault[] =
    "[CalibrationSettings]\r\nUpperMagnet=1\r\nLowerMagnet=2\r\nUpperChannel=3\r\nLowerChannel=4\r\nZFactory=1\r\n"
    "image_pixels_per_mm=100\r\n[TecanCentris]\r\nPump2SyringeVolume=1000\r\n[AutoScale]\r\n"
    "LowMappingDisplayIntensity=25\r\n[DigitalIO]\r\nNI_USB-6001_Device_Name=Dev1\r\n";
const char kOlderCalibration[] =
    "[CalibrationSettings]\r\nUpperMagnet=420\r\nLowerMagnet=1630\r\nUpperChannel=634abc\r\nLowerChannel=1413\r\n"
    "ZFactory=5.25\r\nimage_pixels_per_mm=400.0\r\n";
const char kTwoBlanks[] = "Unable to create Vellora.ini file.  Please contact Tessaly for support.";
const char kOneBlank[] = "Unable to create Vellora.ini file. Please contact Tessaly for support.";
const char kDefaults[] = "Vellora.ini file is created with default values.";

// The data root lies in <public documents>/Tessaly/Vellora, so the older
// installation's file is <public documents>/Tessaly/Vellora.ini.
class MainSettingsFileTest : public apptest::DataRootTest {
protected:
    void SetUp() override {
        DataRootTest::SetUp();
        publicDocuments.emplace("VELLORA_PUBLIC_DOCUMENTS", folder.c_str());
        std::filesystem::create_directories(dataRoot / "LOG");
        bridge.emplace();
        scopedBridge.emplace(*bridge);
    }
    void TearDown() override {
        scopedBridge.reset();
        publicDocuments.reset();
        DataRootTest::TearDown();
    }

    std::filesystem::path DefaultCopy() const { return dataRoot / "Default" / "Vellora.ini"; }
    std::filesystem::path OlderFile() const { return folder / "Tessaly" / "Vellora.ini"; }
    std::filesystem::path Backup() const { return dataRoot / "Backup" / "Vellora.ini.bak"; }

    std::vector<std::string> Boxes(unsigned type) const {
        std::vector<std::string> texts;
        for (const auto& box : bridge->ShownBoxes()) {
            EXPECT_EQ(box.type, type) << box.text;
            texts.push_back(box.text);
        }
        return texts;
    }

    std::string Log() const {
        std::string all;
        for (const auto& entry : std::filesystem::directory_iterator(dataRoot / "LOG")) all += Bytes(entry.path());
        return all;
    }

    std::string Setting(const char* section, const char* key) const {
        char buffer[1024] = {};
        EXPECT_TRUE(Tovanix::E_GetPrivateProfileString(section, key, "<missing>", buffer, sizeof buffer,
                                                       IniPath().c_str()));
        return buffer;
    }

    std::optional<ScopedEnv> publicDocuments;
    std::optional<platform::ScriptedUiBridge> bridge;
    std::optional<platform::ScopedUiBridge> scopedBridge;
};

TEST_F(MainSettingsFileTest, ExistingMainFileIsNeverReplaced) {
    Put(DefaultCopy(), kDefault);
    Put(OlderFile(), kOlderCalibration);
    for (const char* name : {"Vellora.ini", "VELLORA.INI"}) {
        std::filesystem::remove(IniPath());
        Put(dataRoot / name, "not a settings file at all");
        EXPECT_TRUE(theApp.CreateIniIfMissing()) << name;
        EXPECT_EQ(Bytes(dataRoot / name), "not a settings file at all") << name;
        int files = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dataRoot)) files += entry.is_regular_file();
        EXPECT_EQ(files, 1) << name;  // no second file beside one in other letter case
        std::filesystem::remove(dataRoot / name);
    }
    EXPECT_TRUE(bridge->ShownBoxes().empty());
}

TEST_F(MainSettingsFileTest, WithoutDefaultCopyNothingIsCreated) {
    EXPECT_FALSE(theApp.CreateIniIfMissing());
    EXPECT_FALSE(std::filesystem::exists(IniPath()));
    EXPECT_EQ(Boxes(platform::MB_OK | platform::MB_ICONERROR), std::vector<std::string>{kTwoBlanks});
    EXPECT_NE(Log().find(kTwoBlanks), std::string::npos);
}

TEST_F(MainSettingsFileTest, WithoutOlderFileTheDefaultsAreTakenAndSaidOnce) {
    Put(DefaultCopy(), kDefault);
    EXPECT_TRUE(theApp.CreateIniIfMissing());
    EXPECT_EQ(Bytes(IniPath()), kDefault);
    EXPECT_EQ(Bytes(DefaultCopy()), kDefault);
    EXPECT_EQ(Boxes(platform::MB_OK | platform::MB_ICONERROR), std::vector<std::string>{kDefaults});
    EXPECT_NE(Log().find(kDefaults), std::string::npos);

    // The next start finds the file and says nothing.
    bridge->Clear();
    EXPECT_TRUE(theApp.CreateIniIfMissing());
    EXPECT_TRUE(bridge->ShownBoxes().empty());
}

TEST_F(MainSettingsFileTest, OlderCalibrationIsCarriedOverInItsTextForms) {
    Put(DefaultCopy(), kDefault);
    Put(OlderFile(), std::string(kOlderCalibration) + "[DigitalIO]\r\nNI_USB-6001_Device_Name=QX4 Dev 7\r\n");
    ASSERT_TRUE(theApp.CreateIniIfMissing());
    EXPECT_TRUE(bridge->ShownBoxes().empty());
    const struct {
        const char* section;
        const char* key;
        const char* value;
    } expected[] = {
        {"CalibrationSettings", "UpperMagnet", "420"},   {"CalibrationSettings", "LowerMagnet", "1630"},
        {"CalibrationSettings", "UpperChannel", "634"},  {"CalibrationSettings", "LowerChannel", "1413"},
        {"CalibrationSettings", "ZFactory", "5.25"},     {"CalibrationSettings", "image_pixels_per_mm", "400"},
        {"DigitalIO", "NI_USB-6001_Device_Name", "QX4 Dev 7"},
        // Keys the older file does not hold keep the default copy's values.
        {"TecanCentris", "Pump2SyringeVolume", "1000"},
    };
    for (const auto& e : expected) EXPECT_EQ(Setting(e.section, e.key), e.value) << e.key;
}

TEST_F(MainSettingsFileTest, MissingDeviceNameIsCarriedOverEmpty) {
    Put(DefaultCopy(), kDefault);
    Put(OlderFile(), kOlderCalibration);
    ASSERT_TRUE(theApp.CreateIniIfMissing());
    EXPECT_EQ(Setting("DigitalIO", "NI_USB-6001_Device_Name"), "");
    EXPECT_NE(Bytes(IniPath()).find("NI_USB-6001_Device_Name=\r\n"), std::string::npos);
}

TEST_F(MainSettingsFileTest, OlderFileWithoutUsableCalibrationCreatesNothing) {
    const struct {
        const char* key;
        const char* value;  // nullptr: the key is missing
    } cases[] = {
        {"UpperMagnet", "0"},        {"LowerMagnet", nullptr},   {"UpperChannel", "-3"},
        {"LowerChannel", "row"},     {"ZFactory", "0"},          {"image_pixels_per_mm", "-0.5"},
        {"image_pixels_per_mm", ""},
    };
    Put(DefaultCopy(), kDefault);
    for (const auto& c : cases) {
        std::string older = "[CalibrationSettings]\r\n";
        for (const char* key : {"UpperMagnet", "LowerMagnet", "UpperChannel", "LowerChannel", "ZFactory",
                                "image_pixels_per_mm"}) {
            if (std::string(key) != c.key) {
                older += std::string(key) + "=7\r\n";
            } else if (c.value) {
                older += std::string(key) + "=" + c.value + "\r\n";
            }
        }
        Put(OlderFile(), older);
        bridge->Clear();
        EXPECT_FALSE(theApp.CreateIniIfMissing()) << c.key;
        EXPECT_FALSE(std::filesystem::exists(IniPath())) << c.key;
        EXPECT_EQ(Boxes(platform::MB_OK | platform::MB_ICONERROR), std::vector<std::string>{kOneBlank}) << c.key;
    }
    EXPECT_NE(Log().find(kOneBlank), std::string::npos);
}

TEST_F(MainSettingsFileTest, ValidityTestFullAndPartial) {
    const struct {
        const char* ini;
        bool partial;
        bool full;
    } cases[] = {
        {"[CalibrationSettings]\r\nimage_pixels_per_mm=400\r\n[TecanCentris]\r\nPump2SyringeVolume=1000\r\n"
         "[AutoScale]\r\nLowMappingDisplayIntensity=25\r\n",
         true, true},
        {"[CalibrationSettings]\r\nimage_pixels_per_mm=-1\r\n[TecanCentris]\r\nPump2SyringeVolume=1000\r\n"
         "[AutoScale]\r\nLowMappingDisplayIntensity=25\r\n",
         false, false},
        {"[CalibrationSettings]\r\nimage_pixels_per_mm=-1.5\r\n[TecanCentris]\r\nPump2SyringeVolume=1000\r\n"
         "[AutoScale]\r\nLowMappingDisplayIntensity=25\r\n",
         true, true},
        // Zero and negative values other than -1 are not refused.
        {"[CalibrationSettings]\r\nimage_pixels_per_mm=0\r\n[TecanCentris]\r\nPump2SyringeVolume=-5\r\n"
         "[AutoScale]\r\nLowMappingDisplayIntensity=0\r\n",
         true, true},
        {"[CalibrationSettings]\r\nimage_pixels_per_mm=400\r\n[AutoScale]\r\nLowMappingDisplayIntensity=25\r\n", true,
         false},
        {"[CalibrationSettings]\r\nimage_pixels_per_mm=400\r\n[TecanCentris]\r\nPump2SyringeVolume=1000\r\n"
         "[AutoScale]\r\nLowMappingDisplayIntensity=-1\r\n",
         true, false},
        {"[CalibrationSettings]\r\nimage_pixels_per_mm=many\r\n", false, false},
        // A value longer than the 31 characters read is not read at all.
        {"[CalibrationSettings]\r\nimage_pixels_per_mm=400.000000000000000000000000000000\r\n", false, false},
        {"", false, false},
    };
    for (const auto& c : cases) {
        Put(IniPath(), c.ini);
        EXPECT_EQ(IsIniValid(g_IniPath, false), c.partial) << c.ini;
        EXPECT_EQ(IsIniValid(g_IniPath, true), c.full) << c.ini;
    }
    EXPECT_FALSE(IsIniValid((dataRoot / "none.ini").c_str(), false));
}

TEST_F(MainSettingsFileTest, InvalidMainFileIsRestoredFromAValidBackup) {
    const std::string invalid = "[CalibrationSettings]\r\nimage_pixels_per_mm=-1\r\n[Mine]\r\nNewer=1\r\n";
    Put(IniPath(), invalid);
    Put(Backup(), kDefault);
    EXPECT_TRUE(theApp.RestoreIniFromBackupIfInvalid());
    EXPECT_EQ(Bytes(IniPath()), kDefault);
    EXPECT_EQ(Boxes(platform::MB_OK),
              std::vector<std::string>{"The Vellora.ini file is corrupted and is retored from the backup."});
    // The replaced file is kept beside the backups.
    EXPECT_EQ(Bytes(dataRoot / "Backup" / "Vellora.ini.corrupted"), invalid);

    // A valid main file is left alone.
    bridge->Clear();
    Put(Backup(), "[CalibrationSettings]\r\nimage_pixels_per_mm=7\r\n");
    EXPECT_TRUE(theApp.RestoreIniFromBackupIfInvalid());
    EXPECT_EQ(Bytes(IniPath()), kDefault);
    EXPECT_TRUE(bridge->ShownBoxes().empty());
}

TEST_F(MainSettingsFileTest, WithoutAValidBackupTheUserGetsTheThreeSteps) {
    const std::string invalid = "[CalibrationSettings]\r\nimage_pixels_per_mm=400\r\n";  // full test fails
    const std::string steps = "The Vellora.ini file is corrupted. Please: \n1) Select an Vellora.ini backup in '" +
                              (dataRoot / "Backup").string() + "'; \n2) Copy it to '" + dataRoot.string() +
                              "'; and \n3) Rename the copy to Vellora.ini.";
    for (const char* backup : {static_cast<const char*>(nullptr), "[CalibrationSettings]\r\nimage_pixels_per_mm=-1\r\n"}) {
        std::filesystem::remove(Backup());
        if (backup) Put(Backup(), backup);
        Put(IniPath(), invalid);
        bridge->Clear();
        EXPECT_FALSE(theApp.RestoreIniFromBackupIfInvalid());
        EXPECT_EQ(Bytes(IniPath()), invalid);
        EXPECT_EQ(Boxes(platform::MB_OK), std::vector<std::string>{steps});
    }
    EXPECT_EQ(Log().find("corrupted"), std::string::npos);  // shown, not logged
}

}  // namespace
