#include "analysis/BGImages.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

TEST(BGImages, ImageTypeNames)
{
    struct Case {
        const char* fileName;
        const char* typeName;  // nullptr: none
    };
    const Case cases[] = {
        {"Run3_BRIGHTFIELD_0007.png", "BRIGHTFIELD"},
        {"Run3_BRIGHTFIELD_0007", "BRIGHTFIELD"},
        {"ManualCapture.Run3_GFP.png", "GFP"},
        {"ManualCapture.Run3_BRIGHTFIELD", "BRIGHTF"},
        {"ManualCapture.Run3_.png", ""},
        {"ManualCapture.Run3_png", nullptr},  // fewer than four characters to drop
        {"manualcapture.Run3_GFP.png", nullptr},  // the prefix matches with case; then no earlier '_'
        {"X_Y__B", "Y_"},
        {"image.png", nullptr},
        {"A_B", nullptr},
        {"_A_B", nullptr},
        {"X__B", nullptr},
        {"", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fileName);
        Tovanix::String name("untouched");
        EXPECT_EQ(GetImageTypeNameFromFileName(c.fileName, name), c.typeName != nullptr);
        EXPECT_STREQ(name.c_str(), c.typeName ? c.typeName : "untouched");
    }
}

TEST(BGImages, LoadsTheBackgroundsOfAFolder)
{
    const fs::path folder = fs::path(std::getenv("VELLORA_TEST_ROOT")) / "Exp1";
    fs::create_directories(folder / "old.bg.tif");
    cv::Mat bright(4, 6, CV_16UC1, cv::Scalar(40000));
    cv::Mat green(4, 6, CV_16UC1, cv::Scalar(1234));
    ASSERT_TRUE(cv::imwrite((folder / "BRIGHTFIELD.bg.tif").string(), bright));
    ASSERT_TRUE(cv::imwrite((folder / "GFP.bg.tif").string(), green));
    ASSERT_TRUE(cv::imwrite((folder / "a.bg.tif.bg.tif").string(), green));
    ASSERT_TRUE(cv::imwrite((folder / "X.BG.TIF").string(), green));
    std::ofstream(folder / "notes.txt") << "not an image";

    std::vector<cv::Mat> images;
    std::vector<Tovanix::String> names;
    Tovanix::String error;
    // Trailing blanks and a line end after the folder are dropped.
    ASSERT_TRUE(LoadBGImages((folder.string() + "  \r\nmore").c_str(), images, names, error));
    EXPECT_FALSE(error.HasText());
    ASSERT_EQ(names.size(), 2u);
    ASSERT_EQ(images.size(), 2u);
    EXPECT_STREQ(names[0].c_str(), "BRIGHTFIELD");
    EXPECT_STREQ(names[1].c_str(), "GFP");
    EXPECT_EQ(images[0].type(), CV_16UC1);
    EXPECT_EQ(images[0].at<uint16_t>(3, 5), 40000);
    EXPECT_EQ(images[1].at<uint16_t>(0, 0), 1234);

    // A file the library cannot decode comes back as an empty image.
    std::ofstream(folder / "RED.bg.tif") << "not a tiff";
    images.clear();
    names.clear();
    ASSERT_TRUE(LoadBGImages(folder.c_str(), images, names, error));
    ASSERT_EQ(images.size(), 3u);
    EXPECT_STREQ(names[2].c_str(), "RED");
    EXPECT_TRUE(images[2].empty());

    EXPECT_FALSE(LoadBGImages((folder / "old.bg.tif").c_str(), images, names, error));  // no match inside
    EXPECT_FALSE(LoadBGImages((folder / "missing").c_str(), images, names, error));
    EXPECT_FALSE(error.HasText());
}
