#include "imaging/ImageView.h"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include "imaging/ImageDoc.h"
#include "imaging/tests/ImagingTestSupport.h"

namespace {

using imagingtest::FakeViewWindow;
using imagingtest::ImagingTest;
using imagingtest::WriteText;

class ImageViewTest : public ImagingTest {
protected:
    // A document of an image file (pixels only; the file need not exist).
    std::unique_ptr<CImageDoc> Document(const std::string& path) {
        auto document = std::make_unique<CImageDoc>();
        document->m_pImage = new cv::Mat(imagingtest::Flat16(8, 8, 1000));
        document->SetPathName(path.c_str());
        return document;
    }

    std::vector<int> Rows() const {
        return {g_ChannelMagnetLines[0], g_ChannelMagnetLines[1], g_ChannelMagnetLines[2], g_ChannelMagnetLines[3]};
    }
};

TEST_F(ImageViewTest, DisplayWindowComesFromTheScaleIntensitiesSettings) {
    struct Case {
        const char* settings;
        int min, max;
    };
    const Case cases[] = {
        {"", 0, 40000},
        {"MinIntensity=100\r\n", 100, 40000},
        {"MinIntensity=500\r\nMaxIntensity=500\r\n", 0, 40000},
        {"MinIntensity=20\r\nMaxIntensity=70000\r\n", 20, 4464},  // kept in 16 bits
        {"MinIntensity=x\r\nMaxIntensity=12000\r\n", 0, 12000},
    };
    for (const Case& c : cases) {
        WriteText(g_IniPath.str(), std::string("[ScaleIntensitiesDlg]\r\n") + c.settings);
        CImageDoc document;
        CImageView view(&document, nullptr);
        EXPECT_EQ(view.m_nDisplayMin, c.min) << c.settings;
        EXPECT_EQ(view.m_nDisplayMax, c.max) << c.settings;
    }
}

TEST_F(ImageViewTest, ScrollPositionsFollowTheVisiblePart) {
    struct Case {
        double start, end;
        int position;
    };
    const Case cases[] = {
        {0.0, 1.0, 500},  {0.25, 0.75, 500}, {0.0, 0.5, 0}, {0.5, 1.0, 1000},
        {0.2, 0.9, 666},
        // Margins of the aspect-ratio lock: held to the scroll range.
        {-0.098, 1.098, 499}, {-0.2, 0.9, 1000}, {0.1, 1.2, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ScrollPositionOfVisiblePart(c.start, c.end), c.position) << c.start << ".." << c.end;
    }

    auto document = Document(Path("a.png"));
    FakeViewWindow window(100, 100);
    CImageView view(document.get(), &window);
    view.m_dViewLeft = 0.2;
    view.m_dViewRight = 0.9;
    view.m_dViewTop = 0.5;
    view.m_dViewBottom = 1.0;
    view.OnDraw();
    EXPECT_EQ(window.scrollH, 666);
    EXPECT_EQ(window.scrollV, 1000);
}

TEST_F(ImageViewTest, RowsAreReadWhenTheDrawnExperimentChanges) {
    WriteText(Path("exp1/ExperimentSettings.ini"),
              "[CalibrationSettings]\r\nLowerMagnet=1700\r\nUpperMagnet=150\r\n"
              "[Cartridge]\r\nCartridgeLowerChannel=1400\r\nCartridgeUpperChannel=450\r\n");
    WriteText(Path("exp2/ExperimentSettings.ini"), "[Cartridge]\r\nCartridgeUpperChannel=x\r\n");
    // An image folder inside the experiment finds the experiment's file.
    std::filesystem::create_directories(Path("exp1/Images"));
    auto first = Document(Path("exp1/Images/Run_GFP_0001.png"));
    FakeViewWindow window(100, 100);
    CImageView view(first.get(), &window);
    view.OnDraw();
    EXPECT_EQ(Rows(), (std::vector<int>{450, 1400, 150, 1700}));

    // Repaints read nothing again.
    WriteText(Path("exp1/ExperimentSettings.ini"), "[Cartridge]\r\nCartridgeUpperChannel=1\r\n");
    view.OnDraw();
    EXPECT_EQ(Rows(), (std::vector<int>{450, 1400, 150, 1700}));

    // Another experiment: the defaults for keys missing or unreadable.
    auto second = Document(Path("exp2/b.png"));
    CImageView secondView(second.get(), &window);
    secondView.OnDraw();
    EXPECT_EQ(Rows(), (std::vector<int>{400, 1500, 100, 1800}));

    // A folder without settings keeps the rows; a new view reads again.
    auto loose = Document(Path("loose/c.png"));
    CImageView looseView(loose.get(), &window);
    looseView.OnDraw();
    EXPECT_EQ(Rows(), (std::vector<int>{400, 1500, 100, 1800}));
    CImageView again(first.get(), &window);
    again.OnDraw();
    EXPECT_EQ(Rows(), (std::vector<int>{1, 1500, 100, 1800}));
}

TEST_F(ImageViewTest, DrawQueuesARequestWithTheViewsChoices) {
    auto document = Document(Path("a.png"));
    FakeViewWindow window(320, 240);
    CImageView view(document.get(), &window);
    view.m_nDisplayMin = 100;
    view.m_nDisplayMax = 9000;
    view.m_dViewLeft = 0.25;
    view.SetCellDetections({CellDetection{3, 4, 1.0f, 0.0f, 5.0f}}, {});
    view.m_pOverlayCodes = new cv::Mat(8, 8, CV_8UC1, cv::Scalar(2));
    view.OnDraw();

    RenderRequest* request = g_RenderList[0];
    ASSERT_NE(request, nullptr);
    EXPECT_EQ(request->m_hWnd, window.GetRenderTarget());
    EXPECT_EQ(request->m_rcTarget, (RECT{0, 0, 320, 240}));
    EXPECT_EQ(request->m_strImagePath, Path("a.png").c_str());
    EXPECT_EQ(request->m_nDisplayMin, 100);
    EXPECT_EQ(request->m_nDisplayMax, 9000);
    EXPECT_EQ(request->m_dViewLeft, 0.25);
    EXPECT_TRUE(request->m_bResample);
    ASSERT_EQ(request->m_Detections1.size(), 1u);
    EXPECT_EQ(request->m_Detections1[0].y, 4);
    // Pixels shared with the document, overlay codes copied.
    EXPECT_EQ(request->m_pImage->data, document->m_pImage->data);
    ASSERT_NE(request->m_pOverlayCodes, nullptr);
    EXPECT_NE(request->m_pOverlayCodes->data, view.m_pOverlayCodes->data);

    // A document still without an image queues nothing.
    imagingtest::ClearRenderList();
    CImageDoc empty;
    CImageView emptyView(&empty, &window);
    emptyView.OnDraw();
    EXPECT_EQ(g_RenderList[0], nullptr);
}

TEST_F(ImageViewTest, PaintQueuesNothingWhileTheImageLockStaysTaken) {
    auto document = Document(Path("a.png"));
    FakeViewWindow window(64, 64);
    CImageView view(document.get(), &window);
    ASSERT_TRUE(g_MatAccessLock->Wait(0));
    view.OnDraw();
    g_MatAccessLock->Release();
    EXPECT_EQ(g_RenderList[0], nullptr);
    view.OnDraw();  // the next paint tries again
    EXPECT_NE(g_RenderList[0], nullptr);
}

TEST_F(ImageViewTest, FileBackgroundIsThatOfTheImageTypeInItsName) {
    const cv::Mat background = imagingtest::Flat16(8, 8, 321);
    std::filesystem::create_directories(Path("exp"));
    ASSERT_TRUE(cv::imwrite(Path("exp/BRIGHTFIELD.bg.tif"), background));
    struct Case {
        std::string image;
        bool withBackground;
    };
    const Case cases[] = {
        {"exp/Run1_BRIGHTFIELD_0003.png", true},
        {"exp/ManualCapture.Run1_BRIGHTFIELD.png", true},
        {"exp/Run1_GFP_0003.png", false},
        {"exp/image.png", false},
    };
    FakeViewWindow window(64, 64);
    for (const Case& c : cases) {
        auto document = Document(Path(c.image));
        CImageView view(document.get(), &window);
        view.OnDraw();
        RenderRequest* request = g_RenderList[0];
        ASSERT_NE(request, nullptr);
        if (c.withBackground) {
            ASSERT_NE(request->m_pBackground, nullptr) << c.image;
            EXPECT_EQ(request->m_pBackground->at<uint16_t>(7, 7), 321);
        } else {
            EXPECT_EQ(request->m_pBackground, nullptr) << c.image;
        }
        EXPECT_EQ(request->m_nBackgroundIndex, 0);
        imagingtest::ClearRenderList();
    }
}

TEST_F(ImageViewTest, LivePreviewBackgroundMatchesTheChosenTypeWithoutRegardToCase) {
    WriteText(g_IniPath.str(), "[ExperimentSettings]\r\nImageTypeName1=Brightfield\r\nImageTypeName2=gfp\r\n");
    SetImageTypeTextSource([] { return CString("GFP"); });
    theApp.m_strLiveImageType = "GFP";
    CImageDoc preview;
    preview.m_bPreview = true;
    preview.m_pImage = new cv::Mat(imagingtest::Flat16(8, 8, 5));
    FakeViewWindow window(64, 64);
    CImageView view(&preview, &window);

    view.OnDraw();  // no background images in memory
    ASSERT_NE(g_RenderList[0], nullptr);
    EXPECT_EQ(g_RenderList[0]->m_nBackgroundIndex, 0);
    EXPECT_EQ(g_RenderList[0]->m_strImagePath, "");
    EXPECT_EQ(preview.GetTitle(), "GFP");
    EXPECT_EQ(window.titleChanges, 1);

    theApp.m_pBackgroundImages[3] = new cv::Mat(imagingtest::Flat16(8, 8, 1));
    view.OnDraw();
    EXPECT_EQ(g_RenderList[0]->m_nBackgroundIndex, 2);

    delete theApp.m_pBackgroundImages[3];
    theApp.m_pBackgroundImages[3] = nullptr;
    SetImageTypeTextSource(nullptr);
    theApp.m_strLiveImageType = "";
}

TEST_F(ImageViewTest, RefusedRequestIsDeletedAndLogged) {
    for (int i = 0; i < kRenderListSize; ++i) {
        auto* other = new RenderRequest;
        other->m_strImagePath = CString::Formatted("other%d.png", i);
        ASSERT_TRUE(AddToRenderList(other));
    }
    auto document = Document(Path("a.png"));
    FakeViewWindow window(64, 64);
    CImageView view(document.get(), &window);
    view.OnDraw();
    EXPECT_NE(LogText().find("CImageView::OnDraw\t673\tAddToRenderList() returns false"), std::string::npos);
    EXPECT_EQ(window.scrollH, 500);  // the scroll bars move all the same
}

}  // namespace
