#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include <opencv2/imgcodecs.hpp>

#include "operator/CustomerScreenPictures.h"
#include "platform/Folders.h"

namespace {

namespace fs = std::filesystem;

TEST(CustomerScreenPicturesTest, MissingPicturesAreWrittenAndLoadAsImages) {
    const fs::path root = platform::PublicDocumentsFolder();
    const fs::path program = root / "Program";
    const fs::path customer = program / "CustomerUI";
    std::string error;
    ASSERT_TRUE(InstallCustomerScreenPictures(program.string(), customer.string(), &error)) << error;

    std::set<std::string> names;
    for (size_t i = 0; i < kCustomerScreenPicturesCount; ++i) names.insert(kCustomerScreenPictures[i].path);
    for (const char* name : {"LogoDarkBackground_sm.png", "PromptInsertFlowcell.png", "PipetteSample.png",
                             "PipetteSample_1.png", "SampleEqulibrating_1.png", "NextArrow.png", "NextArrowHover.png",
                             "BackArrow.png", "BackArrowHover.png"}) {
        EXPECT_EQ(names.count(name), 1u) << name;
    }
    EXPECT_TRUE(fs::exists(program / "LogoDarkBackground_sm.png"));
    EXPECT_FALSE(fs::exists(customer / "LogoDarkBackground_sm.png"));
    for (const std::string& name : names) {
        if (name == "LogoDarkBackground_sm.png") continue;
        const cv::Mat image = cv::imread((customer / name).string(), cv::IMREAD_UNCHANGED);
        EXPECT_FALSE(image.empty()) << name;
    }
}

TEST(CustomerScreenPicturesTest, PicturesThatAreThereStayAndAFailedWriteIsNamed) {
    const fs::path root = platform::PublicDocumentsFolder();
    const fs::path customer = root / "CustomerUI";
    fs::create_directories(customer);
    std::ofstream(customer / "pipettesample.png") << "own picture";
    std::string error;
    ASSERT_TRUE(InstallCustomerScreenPictures(root.string(), customer.string(), &error)) << error;
    EXPECT_FALSE(fs::exists(customer / "PipetteSample.png"));
    std::ifstream kept(customer / "pipettesample.png");
    std::string text;
    std::getline(kept, text);
    EXPECT_EQ(text, "own picture");

    // A program folder that is a file cannot take the logo.
    std::ofstream(root / "NotAFolder") << "x";
    error.clear();
    EXPECT_FALSE(InstallCustomerScreenPictures((root / "NotAFolder").string(), customer.string(), &error));
    EXPECT_NE(error.find("LogoDarkBackground_sm.png"), std::string::npos) << error;
}

}  // namespace
