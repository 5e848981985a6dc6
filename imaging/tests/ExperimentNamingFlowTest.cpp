#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/CartridgeTypes.h"
#include "app/ExperimentNaming.h"
#include "imaging/ExperimentFolders.h"
#include "imaging/tests/CaptureTestSupport.h"

namespace {

using ExperimentNamingFlowTest = capturetest::CaptureChainTest;

// An accepted experiment name makes the experiment's folder, with the chosen
// cartridge in force for both settings files.
TEST_F(ExperimentNamingFlowTest, AcceptedExperimentNameCreatesTheFolderWithTheChosenCartridge) {
    WriteSettings("CreateDailySubDirectory=FALSE\r\n");
    std::vector<std::string> imposed;
    SetCartridgeOffsetsWriter([&imposed](const char*, const char* code, CString&) {
        imposed.push_back(code);
        return true;
    });
    const ExperimentCreator create = [](const std::string& name, CString& error) {
        return CreateNewExperiment(name.c_str(), error);
    };
    CString cartridgeError;
    CString createError;
    ASSERT_TRUE(AcceptExperimentName("Run_7", 1, create, cartridgeError, createError)) << createError.str();

    EXPECT_TRUE(std::filesystem::is_directory(root / "20240315-0942-07_Run_7" / "Images"));
    EXPECT_EQ(imposed, (std::vector<std::string>{kCartridgeTypeCodes[1], kCartridgeTypeCodes[1]}));
    EXPECT_STREQ(theApp.m_strCartridgeTypeCode.c_str(), kCartridgeTypeCodes[1]);
}

}  // namespace
