#include "imaging/ReferenceImage.h"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include "imaging/ImageDoc.h"
#include "imaging/ImageView.h"
#include "imaging/tests/ImagingTestSupport.h"

namespace {

using imagingtest::FakeViewWindow;
using imagingtest::ImagingTest;

class ReferenceImageTest : public ImagingTest {};

// A picture whose every pixel tells its position: blue = column, green = row
// (both modulo 256), red = column / 256.
cv::Mat PositionPicture(int width, int height) {
    cv::Mat picture(height, width, CV_8UC4);
    for (int r = 0; r < height; ++r) {
        for (int c = 0; c < width; ++c) {
            picture.at<cv::Vec4b>(r, c) = cv::Vec4b(c % 256, r % 256, c / 256, 0);
        }
    }
    return picture;
}

std::unique_ptr<RenderRequest> ViewRequest(const std::string& path, const RECT& target, int cols, int rows) {
    auto request = std::make_unique<RenderRequest>();
    request->m_strImagePath = path.c_str();
    request->m_rcTarget = target;
    request->m_pImage = new cv::Mat(imagingtest::Flat16(rows, cols, 1));
    return request;
}

TEST_F(ReferenceImageTest, CropIsTheImageAreaCentredInTheWindow) {
    struct Case {
        RECT target;
        int cols, rows;
        int x, y, width, height;
    };
    const Case cases[] = {
        // A wide window: the image fills its height, centred across.
        {{0, 0, 1000, 500}, 2448, 2048, 201, 0, 600, 501},
        // A tall window: the image fills its width, centred down.
        {{0, 0, 499, 999}, 2000, 1000, 0, 375, 500, 251},
        // Drawn elsewhere than a view: the whole target.
        {{40, 30, 439, 329}, 2448, 2048, 40, 30, 400, 300},
    };
    for (const Case& c : cases) {
        const ReferenceCrop crop = ComputeReferenceCrop(c.target, c.cols, c.rows);
        EXPECT_EQ(crop.x, c.x);
        EXPECT_EQ(crop.y, c.y);
        EXPECT_EQ(crop.width, c.width);
        EXPECT_EQ(crop.height, c.height);
    }
}

TEST_F(ReferenceImageTest, SavesTheCroppedPictureUnderTheNextFreeName) {
    const std::string image = Path("Images/Run1_GFP_0001.png");
    imagingtest::WriteText(image, "");
    const auto request = ViewRequest(image, RECT{0, 0, 1000, 500}, 2448, 2048);
    const cv::Mat picture = PositionPicture(1001, 501);

    for (int i = 0; i < 3; ++i) {
        SaveReferenceBitmap(*request, picture);
    }
    for (const char* ending : {".REF.BMP", ".REF[1].BMP", ".REF[2].BMP"}) {
        const cv::Mat saved = cv::imread(Path(std::string("Images/Run1_GFP_0001") + ending), cv::IMREAD_COLOR);
        ASSERT_FALSE(saved.empty()) << ending;
        EXPECT_EQ(saved.cols, 600);
        EXPECT_EQ(saved.rows, 501);
        // Copied from x = 201, y = 0.
        EXPECT_EQ(saved.at<cv::Vec3b>(0, 0), cv::Vec3b(201, 0, 0));
        EXPECT_EQ(saved.at<cv::Vec3b>(500, 599), cv::Vec3b(800 % 256, 500 % 256, 800 / 256));
    }
}

TEST_F(ReferenceImageTest, StopsAtIndex999) {
    const std::string stem = Path("image");
    imagingtest::WriteText(stem + ".REF.BMP", "");
    for (int n = 1; n <= 998; ++n) {
        imagingtest::WriteText(stem + ".REF[" + std::to_string(n) + "].BMP", "");
    }
    CString name;
    ASSERT_TRUE(ReferenceImageFileName((stem + ".png").c_str(), name));
    EXPECT_EQ(name, (stem + ".REF[999].BMP").c_str());

    imagingtest::WriteText(stem + ".REF[999].BMP", "");
    const auto request = ViewRequest(stem + ".png", RECT{0, 0, 99, 99}, 100, 100);
    SaveReferenceBitmap(*request, PositionPicture(100, 100));
    EXPECT_NE(LogText().find("Reference image file name index can not exceed 1000 : " + stem + ".REF[999].BMP"),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(stem + ".REF[1000].BMP"));
}

TEST_F(ReferenceImageTest, SaveReferenceImageQueuesARequestOfTheOpenedDocumentsView) {
    const std::string path = Path("image.png");
    ASSERT_TRUE(cv::imwrite(path, imagingtest::Flat16(20, 30, 500)));
    CImageDoc document;
    ASSERT_TRUE(document.OnOpenDocument(path.c_str()));
    document.SetPathName(path.c_str());
    FakeViewWindow window(300, 200);
    CImageView view(&document, &window);
    std::string opened;
    SetImageDocumentOpener([&](const char* file) {
        opened = file;
        return file == path ? &document : nullptr;
    });

    CString error;
    ASSERT_TRUE(SaveReferenceImage(path.c_str(), error, true));
    EXPECT_EQ(opened, path);
    ASSERT_NE(g_RenderList[0], nullptr);
    EXPECT_TRUE(g_RenderList[0]->m_bSaveReference);
    EXPECT_TRUE(g_RenderList[0]->m_bCloseDocument);
    EXPECT_EQ(g_RenderList[0]->m_hWnd, window.GetRenderTarget());
    EXPECT_EQ(g_RenderList[0]->m_rcTarget, (RECT{0, 0, 300, 200}));

    struct Case {
        std::string path;
        std::string error;
    };
    imagingtest::WriteText(Path("other.png"), "");
    const Case failures[] = {
        {Path("missing.png"), "SaveReferenceImage () : " + Path("missing.png") + " does not exist"},
        {Path("other.png"), "SaveReferenceImage () : Problem opening image file: " + Path("other.png")},
    };
    for (const Case& c : failures) {
        EXPECT_FALSE(SaveReferenceImage(c.path.c_str(), error, false));
        EXPECT_EQ(error, c.error.c_str());
    }
    SetImageDocumentOpener(nullptr);
}

}  // namespace
