#include "app/SuppliedFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/VelloraApp.h"
#include "app/tests/AppTestSupport.h"
#include "platform/UiBridge.h"
#include "support/Profile.h"

namespace {

using apptest::Bytes;
using apptest::Put;

class SuppliedFilesTest : public apptest::DataRootTest {};

TEST_F(SuppliedFilesTest, MissingFilesAreInstalledAndPresentOnesKept) {
    ASSERT_NE(FindSuppliedDataRootFile("Default/Vellora.ini"), nullptr);
    Put(dataRoot / "default" / "vellora.ini", "mine");  // another letter case counts as present

    std::string error;
    ASSERT_TRUE(InstallMissingDataRootFiles(theApp.m_strDataRoot, &error)) << error;
    EXPECT_EQ(Bytes(dataRoot / "default" / "vellora.ini"), "mine");
    EXPECT_FALSE(std::filesystem::exists(dataRoot / "Default" / "Vellora.ini"));

    std::filesystem::remove_all(dataRoot / "default");
    ASSERT_TRUE(InstallMissingDataRootFiles(theApp.m_strDataRoot, &error)) << error;
    for (size_t i = 0; i < kSuppliedDataRootFilesCount; ++i) {
        const SuppliedFile& file = kSuppliedDataRootFiles[i];
        EXPECT_EQ(Bytes(dataRoot / file.path), InstalledContent(file)) << file.path;
    }
}

TEST_F(SuppliedFilesTest, SettingsTextIsInstalledWithCrLfLineEnds) {
    const unsigned char text[] = "[A]\nx=1\r\ny=2\n";
    const SuppliedFile ini{"Default/X.ini", text, sizeof text - 1};
    EXPECT_EQ(InstalledContent(ini), "[A]\r\nx=1\r\ny=2\r\n");
    const SuppliedFile picture{"Templates/x.png", text, sizeof text - 1};
    EXPECT_EQ(InstalledContent(picture), std::string(reinterpret_cast<const char*>(text)));
}

TEST_F(SuppliedFilesTest, UnwritableDataRootIsReported) {
    Put(dataRoot / "Default", "a file where the folder belongs");
    std::string error;
    EXPECT_FALSE(InstallMissingDataRootFiles(theApp.m_strDataRoot, &error));
    EXPECT_NE(error.find("InstallMissingDataRootFiles() : unable to write file: "), std::string::npos);
    EXPECT_NE(error.find("Vellora.ini"), std::string::npos);
}

// A fresh machine: the installed default settings file makes a complete,
// valid main settings file.
TEST_F(SuppliedFilesTest, FreshDataRootComesUpWithAValidMainSettingsFile) {
    platform::ScriptedUiBridge bridge;
    platform::ScopedUiBridge scoped(bridge);
    std::string error;
    ASSERT_TRUE(InstallMissingDataRootFiles(theApp.m_strDataRoot, &error)) << error;
    ASSERT_TRUE(theApp.CreateIniIfMissing());
    EXPECT_TRUE(IsIniValid(g_IniPath, true));
    EXPECT_TRUE(theApp.RestoreIniFromBackupIfInvalid());

    // Settings the program reads without a usable default of its own.
    const struct {
        const char* section;
        const char* key;
    } keys[] = {
        {"CalibrationSettings", "UpperMagnet"},         {"CalibrationSettings", "LowerMagnet"},
        {"CalibrationSettings", "UpperChannel"},        {"CalibrationSettings", "LowerChannel"},
        {"CalibrationSettings", "ZFactory"},            {"CalibrationSettings", "image_pixels_per_mm"},
        {"Cartridge", "CartridgeUpperChannel"},         {"Cartridge", "CartridgeLowerChannel"},
        {"ExperimentSettings", "ImageTypeName1"},       {"ExperimentSettings", "IsActive1"},
        {"ExperimentSettings", "ImageTypeExposure1"},   {"ExperimentSettings", "ImageCapturePeriod"},
        {"ExperimentSettings", "default_cached_log_save_interval_sec"},
        {"TecanCentris", "Pump2SyringeVolume"},         {"AutoScale", "LowMappingDisplayIntensity"},
        {"Zaber", "InitializeZaberOnStartup"},          {"DigitalIO", "NI_USB-6001_Device_Name"},
        {"DIO_Config", "Mapping"},                      {"DIO_Config", "Cartridge_Line"},
        {"DIO_Config", "Clamp_Line"},                   {"ScaleIntensitiesDlg", "MaxIntensity"},
    };
    for (const auto& k : keys) {
        char value[64] = {};
        Tovanix::E_GetPrivateProfileString(k.section, k.key, "", value, sizeof value, g_IniPath);
        EXPECT_STRNE(value, "") << "[" << k.section << "] " << k.key;
    }
}

}  // namespace
