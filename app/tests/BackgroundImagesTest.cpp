#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "app/VelloraApp.h"
#include "app/tests/AppTestSupport.h"

namespace {

using apptest::Bytes;
using apptest::Put;

// A small 16-bit frame whose every value differs, with both ends of the range.
cv::Mat Frame(int seed) {
    cv::Mat image(7, 5, CV_16UC1);
    for (int i = 0; i < static_cast<int>(image.total()); ++i) {
        image.at<uint16_t>(i) = static_cast<uint16_t>(seed * 7919 + i * 4099);
    }
    image.at<uint16_t>(0) = 0;
    image.at<uint16_t>(1) = 65535;
    return image;
}

bool SameImage(const cv::Mat& a, const cv::Mat& b) {
    return a.type() == b.type() && a.size() == b.size() && cv::countNonZero(a != b) == 0;
}

cv::Mat ReadTiff(const std::filesystem::path& path) { return cv::imread(path.string(), cv::IMREAD_ANYDEPTH); }

class BackgroundImagesTest : public apptest::DataRootTest {
protected:
    void TearDown() override {
        SetImages({});
        DataRootTest::TearDown();
    }
    // Replaces the in-memory images; a missing entry leaves the slot empty.
    void SetImages(std::initializer_list<std::pair<int, cv::Mat>> images) {
        for (cv::Mat*& slot : theApp.m_pBackgroundImages) {
            delete slot;
            slot = nullptr;
        }
        for (const auto& [type, image] : images) theApp.m_pBackgroundImages[type - 1] = new cv::Mat(image.clone());
    }
    std::filesystem::path Folder() const { return dataRoot / "BgImages"; }
    std::filesystem::path File(int type) const {
        return Folder() / ("BgImageType." + std::to_string(type) + ".tif");
    }
};

TEST_F(BackgroundImagesTest, SavingTwiceKeepsThePreviousFilesAsOld) {
    SetImages({{1, Frame(1)}, {3, Frame(3)}});
    CString error;
    ASSERT_TRUE(theApp.SaveBackgroundImagesToFile(error)) << error.str();
    EXPECT_TRUE(SameImage(ReadTiff(File(1)), Frame(1)));  // 16-bit values survive exactly
    EXPECT_TRUE(SameImage(ReadTiff(File(3)), Frame(3)));
    EXPECT_FALSE(std::filesystem::exists(File(2)));
    EXPECT_FALSE(std::filesystem::exists(File(4)));

    // Each later save moves the file to ".old", replacing the older ".old".
    for (int previous : {0, 20}) {
        const int next = previous + 20;
        SetImages({{1, Frame(next + 1)}, {3, Frame(next + 3)}});
        ASSERT_TRUE(theApp.SaveBackgroundImagesToFile(error)) << error.str();
        EXPECT_TRUE(SameImage(ReadTiff(File(1)), Frame(next + 1)));
        EXPECT_TRUE(SameImage(ReadTiff(File(1).string() + ".old"), Frame(previous + 1)));
        EXPECT_TRUE(SameImage(ReadTiff(File(3).string() + ".old"), Frame(previous + 3)));
    }
    // Nothing else is left in the folder (no temporary files).
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Folder()), {}), 4);
}

TEST_F(BackgroundImagesTest, EmptySlotsLeaveTheirFilesAsTheyWere) {
    Put(File(2), "the file of type 2");
    SetImages({{3, Frame(3)}});
    CString error;
    ASSERT_TRUE(theApp.SaveBackgroundImagesToFile(error)) << error.str();
    EXPECT_EQ(Bytes(File(2)), "the file of type 2");
    EXPECT_FALSE(std::filesystem::exists(File(2).string() + ".old"));
    EXPECT_TRUE(std::filesystem::exists(File(3)));
}

TEST_F(BackgroundImagesTest, OldFileThatCannotBeDeletedStopsTheSaveAtItsType) {
    // A folder in place of the ".old" file cannot be deleted like a file.
    Put(File(2), "previous");
    Put(File(2).string() + ".old/inside", "x");
    SetImages({{1, Frame(1)}, {2, Frame(2)}, {3, Frame(3)}});
    CString error;
    EXPECT_FALSE(theApp.SaveBackgroundImagesToFile(error));
    EXPECT_EQ(error.str(), "CVelloraApp::SaveBackgroundImagesToFile() - unable to delete file " + File(2).string() +
                               ".old.");
    EXPECT_TRUE(std::filesystem::exists(File(1)));  // written before
    EXPECT_EQ(Bytes(File(2)), "previous");
    EXPECT_FALSE(std::filesystem::exists(File(3)));  // never reached
}

TEST_F(BackgroundImagesTest, MissingDataRootIsReportedByBothDirections) {
    const std::filesystem::path missing = folder / "no" / "such" / "root";
    theApp.m_strDataRoot = missing.c_str();
    SetImages({{1, Frame(1)}});
    CString error;
    EXPECT_FALSE(theApp.SaveBackgroundImagesToFile(error));
    EXPECT_EQ(error.str(), "CVelloraApp::SaveBackgroundImagesToFile() - can't create directory: " +
                               (missing / "BgImages").string());
    EXPECT_FALSE(theApp.LoadBackgroundImagesFromFile(error));
    EXPECT_EQ(error.str(), "CVelloraApp::LoadBackgroundImagesFromFile() - unable to create directory: " +
                               (missing / "BgImages").string());
    EXPECT_NE(theApp.m_pBackgroundImages[0], nullptr);  // nothing was dropped
}

TEST_F(BackgroundImagesTest, LoadingFillsOnlyTheSlotsWithFiles) {
    SetImages({{2, Frame(2)}});
    CString error;
    ASSERT_TRUE(theApp.SaveBackgroundImagesToFile(error)) << error.str();
    SetImages({{1, Frame(1)}, {4, Frame(4)}});

    ASSERT_TRUE(theApp.LoadBackgroundImagesFromFile(error)) << error.str();
    EXPECT_EQ(theApp.m_pBackgroundImages[0], nullptr);
    ASSERT_NE(theApp.m_pBackgroundImages[1], nullptr);
    EXPECT_TRUE(SameImage(*theApp.m_pBackgroundImages[1], Frame(2)));
    EXPECT_EQ(theApp.m_pBackgroundImages[2], nullptr);
    EXPECT_EQ(theApp.m_pBackgroundImages[3], nullptr);
}

TEST_F(BackgroundImagesTest, FileThatDoesNotDecodeFailsTheLoad) {
    SetImages({{1, Frame(1)}});
    CString error;
    ASSERT_TRUE(theApp.SaveBackgroundImagesToFile(error)) << error.str();
    Put(File(3), "not a TIFF file");

    EXPECT_FALSE(theApp.LoadBackgroundImagesFromFile(error));
    EXPECT_EQ(error.str(),
              "CVelloraApp::LoadBackgroundImagesFromFile() - problem trying to load image: " + File(3).string());
    ASSERT_NE(theApp.m_pBackgroundImages[0], nullptr);  // loaded before the bad file
    EXPECT_EQ(theApp.m_pBackgroundImages[2], nullptr);  // no empty image in its place
}

TEST_F(BackgroundImagesTest, ExperimentCopyIsNamedAfterTheCallersTypeName) {
    Put(IniPath(), "[ExperimentSettings]\r\nImageTypeName1=BrightField\r\nImageTypeName2=Channel1\r\n");
    SetImages({{1, Frame(1)}});
    const std::filesystem::path images = folder / "Experiment" / "Images";
    std::filesystem::create_directories(images);
    const std::string folderText = "  " + images.string() + "\t";  // trimmed, separator added

    EXPECT_TRUE(theApp.WriteBackgroundImage("brightfield", folderText.c_str()));
    EXPECT_TRUE(SameImage(ReadTiff(images / "brightfield.bg.tif"), Frame(1)));
    // A type without a background and a name of no type write nothing.
    EXPECT_TRUE(theApp.WriteBackgroundImage("Channel1", folderText.c_str()));
    EXPECT_TRUE(theApp.WriteBackgroundImage("Unknown", folderText.c_str()));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(images), {}), 1);

    EXPECT_FALSE(theApp.WriteBackgroundImage("BrightField", (folder / "missing").c_str()));
}

}  // namespace
