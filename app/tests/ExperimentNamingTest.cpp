#include "app/ExperimentNaming.h"

#include <gtest/gtest.h>

#include "app/CartridgeTypes.h"
#include "app/SuppliedFiles.h"
#include "app/tests/AppTestSupport.h"
#include "app/tests/SettingsTestSupport.h"

namespace {

using settingstest::Value;

TEST(ExperimentNaming, NamesAreCleanedThenTruncatedThenAccepted) {
    struct Step {
        ExperimentNameCheck check;
        std::string name;  // after the press
        const char* message;
    };
    struct Case {
        std::string typed;
        std::vector<Step> presses;
    };
    const char* cleaned = "Invalid characters removed from file name.";
    const char* truncated = "Experiment name truncated at 32 characters.";
    const std::string forty(40, 'x');
    const std::string long300 = std::string(150, 'a') + ":" + std::string(149, 'b');
    const std::vector<Case> cases = {
        {"a:b", {{ExperimentNameCheck::CharactersReplaced, "a_b", cleaned}, {ExperimentNameCheck::Accepted, "a_b", ""}}},
        {forty,
         {{ExperimentNameCheck::Truncated, forty.substr(0, 32), truncated},
          {ExperimentNameCheck::Accepted, forty.substr(0, 32), ""}}},
        {std::string(32, 'y'), {{ExperimentNameCheck::Accepted, std::string(32, 'y'), ""}}},
        {"", {{ExperimentNameCheck::Accepted, "", ""}}},
        {"Run 1 (cells)", {{ExperimentNameCheck::Accepted, "Run 1 (cells)", ""}}},
        // Every character is examined, however long the name.
        {long300,
         {{ExperimentNameCheck::CharactersReplaced, std::string(150, 'a') + "_" + std::string(149, 'b'), cleaned},
          {ExperimentNameCheck::Truncated, std::string(32, 'a'), truncated},
          {ExperimentNameCheck::Accepted, std::string(32, 'a'), ""}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.substr(0, 40));
        std::string name = c.typed;
        for (const Step& step : c.presses) {
            std::string message = "stale";
            EXPECT_EQ(CheckExperimentName(name, message), step.check);
            EXPECT_EQ(name, step.name);
            EXPECT_EQ(message, step.message);
        }
    }
}

TEST(ExperimentNaming, CartridgeChoicesAndTheirCodes) {
    for (int index = 0; index < kCartridgeChoiceCount; ++index) {
        EXPECT_STREQ(CartridgeTypeCodeOfChoice(index), kCartridgeTypeCodes[index]);
        EXPECT_EQ(CartridgeChoiceOfCode(kCartridgeTypeCodes[index]), index);
    }
    EXPECT_STREQ(CartridgeTypeCodeOfChoice(-1), kCartridgeTypeCodes[0]);
    EXPECT_STREQ(CartridgeTypeCodeOfChoice(4), kCartridgeTypeCodes[0]);
    // Only the first three characters count, and only in a longer code.
    const std::string third = std::string(kCartridgeTypeCodes[2]).substr(0, 3);
    EXPECT_EQ(CartridgeChoiceOfCode((third + "-999-9999").c_str()), 2);
    EXPECT_EQ(CartridgeChoiceOfCode(third.c_str()), 0);
    EXPECT_EQ(CartridgeChoiceOfCode("999-001-0001"), 0);
    EXPECT_EQ(CartridgeChoiceOfCode(""), 0);
    EXPECT_EQ(CartridgeChoiceOfCode(nullptr), 0);

    EXPECT_EQ(CartridgeChoiceLabel(0, false), std::string(kCartridgeTypeCodes[0]).substr(0, 3) + " (K4.1)");
    EXPECT_EQ(CartridgeChoiceLabel(3, false), std::string(kCartridgeTypeCodes[3]).substr(0, 3) + " (K4.3-IR)");
    EXPECT_EQ(CartridgeChoiceLabel(3, true), std::string(kCartridgeTypeCodes[3]).substr(0, 3) + " (K4.6-IR)");
}

class AcceptExperimentNameTest : public apptest::DataRootTest {
protected:
    void SetUp() override {
        DataRootTest::SetUp();
        std::string error;
        ASSERT_TRUE(InstallMissingDataRootFiles(dataRoot.c_str(), &error)) << error;
        std::filesystem::copy_file(dataRoot / "Default" / "Vellora.ini", IniPath());
        CString loadError;
        ASSERT_TRUE(LoadCartridgeTypes(loadError)) << loadError.str();
    }
    void TearDown() override {
        g_CartridgeTypes.RemoveAll();
        theApp.m_strCartridgeTypeCode = "";
        DataRootTest::TearDown();
    }
};

TEST_F(AcceptExperimentNameTest, TheChosenCartridgeIsImposedBeforeTheExperimentIsCreated) {
    std::string createdName;
    std::string cartridgeAtCreation;
    const ExperimentCreator create = [&](const std::string& name, CString&) {
        createdName = name;
        cartridgeAtCreation = Value("ExperimentSettings", "Barcode", IniPath());
        return true;
    };
    CString cartridgeError;
    CString createError;
    ASSERT_TRUE(AcceptExperimentName("Run_1", 2, create, cartridgeError, createError));
    EXPECT_TRUE(cartridgeError.IsEmpty()) << cartridgeError.str();
    EXPECT_EQ(createdName, "Run_1");
    EXPECT_EQ(cartridgeAtCreation, kCartridgeTypeCodes[2]);
    EXPECT_STREQ(theApp.m_strCartridgeTypeCode.c_str(), kCartridgeTypeCodes[2]);
    EXPECT_EQ(Value("ExperimentSettings", "CartridgeType", IniPath()), "K4.3");
}

TEST_F(AcceptExperimentNameTest, ACreationFailureIsHandedBack) {
    const ExperimentCreator failing = [](const std::string&, CString& error) {
        error = "CreateNewExperiment() - no room";
        return false;
    };
    CString cartridgeError;
    CString createError;
    EXPECT_FALSE(AcceptExperimentName("Run_2", 0, failing, cartridgeError, createError));
    EXPECT_EQ(createError.str(), "CreateNewExperiment() - no room");
    EXPECT_STREQ(theApp.m_strCartridgeTypeCode.c_str(), kCartridgeTypeCodes[0]);
}

}  // namespace
