// The montage window's checks of the experiment folder and the name.

#include <gtest/gtest.h>

#include "tools/MontageRequest.h"
#include "tools/tests/ToolTestSupport.h"

using namespace tools_testing;

TEST(MontageRequest, RefusalsInTheirOrder) {
    const fs::path root = MakeDataRoot("montage-request");
    const std::string experiment = (root / "experiment").string();
    const std::string plain = (root / "plain").string();
    WriteFile(root / "experiment" / "ExperimentSettings.ini", "");
    fs::create_directories(plain);
    const struct {
        std::string directory, name, message;
    } cases[] = {
        {"", "", "Please select the experiment directory."},
        {plain, "m", "The selected directory is not a valid experiment directory."},
        {experiment, "", "Please define the montage image filename."},
        {experiment, "a*b", "Invalid experiment name. Must be valid Windows file name."},
        {experiment, "a?b", "Invalid experiment name. Must be valid Windows file name."},
        {experiment, "a\\b", "Invalid experiment name. Must be valid Windows file name."},
        {experiment, "a:b", "Invalid experiment name. Must be valid Windows file name."},
        {experiment, "a/b", "Invalid experiment name. Must be valid Windows file name."},
        {experiment, "Run 1.final (2) [b]", ""},
        {experiment, std::string(257, '*'), ""},  // longer names are not checked
    };
    for (const auto& c : cases) EXPECT_EQ(CheckMontageRequest(c.directory, c.name), c.message) << c.directory << " " << c.name;
    EXPECT_EQ(MontageOutcomeMessage(true, "/d", "m"), "Montage image is created successfully and it is saved as m.png in /d directory.");
    EXPECT_EQ(MontageOutcomeMessage(false, "/d", "m"), "Error in Creating Montage.");
}
