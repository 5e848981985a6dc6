#include "imaging/ImageDoc.h"

#include <gtest/gtest.h>

#include <thread>

#include <opencv2/imgcodecs.hpp>

#include "imaging/ImageView.h"
#include "imaging/tests/ImagingTestSupport.h"
#include "platform/UiBridge.h"

namespace {

using imagingtest::FakeViewWindow;
using imagingtest::ImagingTest;

class ImageDocTest : public ImagingTest {};

// A frame whose every pixel differs from its neighbours, so that a copy of
// too few or too many bytes per row shows.
cv::Mat NumberedFrame(int rows, int cols, int type, int offset) {
    cv::Mat frame(rows, cols, type);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            const int value = (r * cols + c + offset) % (type == CV_8UC1 ? 256 : 65536);
            if (type == CV_8UC1) {
                frame.at<uint8_t>(r, c) = static_cast<uint8_t>(value);
            } else {
                frame.at<uint16_t>(r, c) = static_cast<uint16_t>(value);
            }
        }
    }
    return frame;
}

bool SamePixels(const cv::Mat& a, const cv::Mat& b) {
    return a.size() == b.size() && a.type() == b.type() && cv::countNonZero(a != b) == 0;
}

TEST_F(ImageDocTest, FrameOfTheSameSizeIsCopiedIntoTheDocumentsBuffer) {
    // 8-bit frames take one byte per column: a copy of two would run past
    // the end of every row (and of the buffer).
    for (const int type : {CV_16UC1, CV_8UC1}) {
        SCOPED_TRACE(type == CV_8UC1 ? "8-bit" : "16-bit");
        CImageDoc document;
        CString error;
        auto* first = new cv::Mat(NumberedFrame(48, 61, type, 0));
        document.SetMat(first, error);
        ASSERT_EQ(first, nullptr);
        cv::Mat* const matrix = document.m_pImage;
        const uchar* const buffer = matrix->data;

        const cv::Mat expected = NumberedFrame(48, 61, type, 7);
        auto* second = new cv::Mat(expected.clone());
        document.SetMat(second, error);

        EXPECT_EQ(second, nullptr);
        EXPECT_EQ(document.m_pImage, matrix);
        EXPECT_EQ(document.m_pImage->data, buffer);
        EXPECT_TRUE(SamePixels(*document.m_pImage, expected));
    }
}

TEST_F(ImageDocTest, FrameOfAnotherSizeOrTypeReplacesTheMatrix) {
    CImageDoc document;
    CString error;
    auto* first = new cv::Mat(NumberedFrame(20, 30, CV_16UC1, 0));
    document.SetMat(first, error);

    for (const cv::Mat& next : {NumberedFrame(20, 30, CV_8UC1, 3), NumberedFrame(21, 30, CV_8UC1, 3)}) {
        auto* frame = new cv::Mat(next);
        cv::Mat* const handedOver = frame;
        document.SetMat(frame, error);
        EXPECT_EQ(document.m_pImage, handedOver);
        EXPECT_TRUE(SamePixels(*document.m_pImage, next));
    }
}

TEST_F(ImageDocTest, SetMatInvalidatesTheFirstViewOrReportsThatThereIsNone) {
    CImageDoc document;
    CString error = "earlier text";
    auto* frame = new cv::Mat(imagingtest::Flat16(4, 4, 9));
    EXPECT_FALSE(document.SetMat(frame, error));
    EXPECT_EQ(error, "earlier text");
    ASSERT_NE(document.m_pImage, nullptr);  // stored all the same

    FakeViewWindow window(100, 80);
    CImageView view(&document, &window);
    frame = new cv::Mat(imagingtest::Flat16(4, 4, 10));
    EXPECT_TRUE(document.SetMat(frame, error));
    EXPECT_EQ(window.invalidations, 1);
}

TEST_F(ImageDocTest, SetMatGivesUpWhenTheImageLockStaysTaken) {
    CImageDoc document;
    CString error;
    auto* first = new cv::Mat(imagingtest::Flat16(4, 4, 1));
    document.SetMat(first, error);

    ASSERT_TRUE(g_MatAccessLock->Wait(0));
    auto* frame = new cv::Mat(imagingtest::Flat16(4, 4, 2));
    const bool set = document.SetMat(frame, error);
    g_MatAccessLock->Release();

    EXPECT_FALSE(set);
    EXPECT_EQ(error, "CImageDoc::SetMat () timeout waiting for access to mat object.");
    ASSERT_NE(frame, nullptr);  // still the caller's
    EXPECT_EQ(frame->at<uint16_t>(0, 0), 2);
    EXPECT_EQ(document.m_pImage->at<uint16_t>(0, 0), 1);
    delete frame;
}

TEST_F(ImageDocTest, OpenKeepsTheFilesDepthAndRefusesWhatCannotBeRead) {
    const cv::Mat pixels = NumberedFrame(12, 16, CV_16UC1, 40000);
    ASSERT_TRUE(cv::imwrite(Path("image.png"), pixels));
    imagingtest::WriteText(Path("notes.png"), "not an image");

    platform::ScriptedUiBridge bridge;
    platform::ScopedUiBridge installed(bridge);
    CImageDoc document;
    ASSERT_TRUE(document.OnOpenDocument(Path("image.png").c_str()));
    EXPECT_TRUE(SamePixels(*document.m_pImage, pixels));
    cv::Mat* const opened = document.m_pImage;

    // A file the image library cannot decode is an error, not an empty image.
    EXPECT_FALSE(document.OnOpenDocument(Path("notes.png").c_str()));
    EXPECT_EQ(document.m_pImage, opened);
    const std::string message = "Problem trying to open image: " + Path("notes.png");
    ASSERT_EQ(bridge.ShownBoxes().size(), 1u);
    EXPECT_EQ(bridge.ShownBoxes()[0].text, message);
    EXPECT_NE(LogText().find(message), std::string::npos);
}

TEST_F(ImageDocTest, ReloadReadsTheFileAgainOrLeavesNoImage) {
    ASSERT_TRUE(cv::imwrite(Path("image.png"), imagingtest::Flat16(5, 5, 100)));
    CImageDoc document;
    document.SetPathName(Path("image.png").c_str());
    CString error;
    ASSERT_TRUE(document.ReloadFromFile(error));
    EXPECT_EQ(document.m_pImage->at<uint16_t>(4, 4), 100);

    ASSERT_TRUE(cv::imwrite(Path("image.png"), imagingtest::Flat16(5, 5, 200)));
    ASSERT_TRUE(document.ReloadFromFile(error));
    EXPECT_EQ(document.m_pImage->at<uint16_t>(4, 4), 200);

    std::filesystem::remove(Path("image.png"));
    EXPECT_FALSE(document.ReloadFromFile(error));
    EXPECT_EQ(error, ("Problem trying to open image: " + Path("image.png")).c_str());
    EXPECT_EQ(document.m_pImage, nullptr);
}

}  // namespace
