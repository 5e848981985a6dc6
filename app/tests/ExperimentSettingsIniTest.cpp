#include "app/ExperimentSettingsIni.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

TEST(ExperimentSettingsIni, FolderFileThenParentFileThenNothing) {
    const std::filesystem::path root = std::filesystem::path(std::getenv("VELLORA_TEST_ROOT")) / "ExperimentIni";
    std::filesystem::create_directories(root / "exp" / "Images");
    std::filesystem::create_directories(root / "loose");
    std::ofstream(root / "exp" / "ExperimentSettings.ini") << "[Cartridge]\r\n";

    const std::string exp = (root / "exp").string();
    EXPECT_STREQ(FindExperimentSettingsIni(exp.c_str()).c_str(), (exp + "/ExperimentSettings.ini").c_str());
    EXPECT_STREQ(FindExperimentSettingsIni((exp + "/Images").c_str()).c_str(),
                 (exp + "/Images/../ExperimentSettings.ini").c_str());
    // A folder written on the instrument's Windows computer.
    std::string windows = exp + "\\Images";
    EXPECT_STREQ(FindExperimentSettingsIni(windows.c_str()).c_str(),
                 (exp + "/Images/../ExperimentSettings.ini").c_str());
    EXPECT_STREQ(FindExperimentSettingsIni((root / "loose").c_str()).c_str(), "");

    // The folder's own copy wins over the parent's.
    std::ofstream(root / "exp" / "Images" / "ExperimentSettings.ini") << "[Cartridge]\r\n";
    EXPECT_STREQ(FindExperimentSettingsIni((exp + "/Images").c_str()).c_str(),
                 (exp + "/Images/ExperimentSettings.ini").c_str());
}

}  // namespace
