#include "imaging/ImageView.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <opencv2/imgcodecs.hpp>

#include "app/ActiveROI.h"
#include "app/FrameHooks.h"
#include "imaging/ImageDoc.h"
#include "imaging/tests/ImagingTestSupport.h"
#include "platform/UiBridge.h"

namespace {

using imagingtest::FakeViewWindow;
using imagingtest::ImagingTest;
using imagingtest::ReadText;
using imagingtest::WriteText;

// A view window that answers the view's dialogs as a test tells it.
class DialogWindow : public FakeViewWindow {
public:
    using FakeViewWindow::FakeViewWindow;
    bool AskSaveAsPath(CString& path) override {
        path = saveAsPath.c_str();
        return !saveAsPath.empty();
    }
    void RunPixelsPerMMDialog(double height) override { measuredHeights.push_back(height); }
    void ShowAdjustBoundariesDialog() override { ++adjustBoundariesShown; }
    void AddToRecentFileList(const char* path) override { recent.push_back(path); }
    void ShowScrollBars(bool shown) override { scrollBars = shown ? 1 : 0; }

    std::string saveAsPath;
    std::vector<double> measuredHeights;
    std::vector<std::string> recent;
    int adjustBoundariesShown = 0;
    int scrollBars = -1;
};

class ImageViewInteractionTest : public ImagingTest {
protected:
    void SetUp() override {
        ImagingTest::SetUp();
        g_LastClickX = g_LastClickY = 0.0;
        g_HideROIOverlays = false;
        g_ShowProjectionBelow = g_ShowProjectionRightSide = false;
        *AllocateActiveROI() = ROIRect{};
    }
    void TearDown() override {
        SetFrameHooks({});
        SetImageViewToolHooks({});
        ImagingTest::TearDown();
    }

    std::unique_ptr<CImageDoc> Document(int rows, int cols, const std::string& path = "") {
        auto document = std::make_unique<CImageDoc>();
        document->m_pImage = new cv::Mat(imagingtest::Flat16(rows, cols, 1000));
        if (!path.empty()) document->SetPathName(path.c_str());
        return document;
    }

    platform::ScriptedUiBridge ui;
    platform::ScopedUiBridge installedUi{ui};
};

TEST(ViewRangeArithmetic, ZoomAndScrollFollowTheClickAndClampAtTheEdges) {
    struct Case {
        const char* what;
        VisibleRange result;
        double nearEdge, farEdge;
    };
    const Case cases[] = {
        {"zoom in at 0.02 from full", ZoomInRange({0, 1}, 0.02), 0.0, 0.5},
        {"second zoom in", ZoomInRange({0, 0.5}, 0.02), 0.0, 0.25},
        {"zoom in near the far edge", ZoomInRange({0, 1}, 0.95), 0.5, 1.0},
        {"zoom in centred", ZoomInRange({0, 1}, 0.5), 0.25, 0.75},
        {"zoom out from 0.6..0.85 at 0.9", ZoomOutRange({0.6, 0.85}, 0.9), 0.5, 1.0},
        {"zoom out never past the whole", ZoomOutRange({0.2, 0.8}, 0.5), 0.0, 1.0},
        {"thumb at 1000, width 0.3", ScrollRange({0.1, 0.4}, ScrollCode::ThumbPosition, 1000), 0.7, 1.0},
        {"thumb at 0", ScrollRange({0.5, 0.8}, ScrollCode::ThumbPosition, 0), 0.0, 0.3},
        {"thumb at 500", ScrollRange({0.0, 0.5}, ScrollCode::ThumbPosition, 500), 0.25, 0.75},
        {"line up", ScrollRange({0.5, 0.7}, ScrollCode::LineUp, 0), 0.48, 0.68},
        {"line up at the edge", ScrollRange({0.0, 0.7}, ScrollCode::LineUp, 0), 0.0, 0.7},
        {"page up clamps", ScrollRange({0.1, 0.6}, ScrollCode::PageUp, 0), 0.0, 0.5},
        {"line down", ScrollRange({0.2, 0.4}, ScrollCode::LineDown, 0), 0.22, 0.42},
        {"page down clamps", ScrollRange({0.3, 0.8}, ScrollCode::PageDown, 0), 0.5, 1.0},
        {"line down at the edge", ScrollRange({0.3, 1.0}, ScrollCode::LineDown, 0), 0.3, 1.0},
        {"thumb tracking changes nothing", ScrollRange({0.3, 0.5}, ScrollCode::Other, 900), 0.3, 0.5},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(c.result.nearEdge, c.nearEdge, 1e-12) << c.what;
        EXPECT_NEAR(c.result.farEdge, c.farEdge, 1e-12) << c.what;
    }
}

TEST(ViewRangeArithmetic, AutoScaleTakesAHighFractionByImageType) {
    struct Case {
        const char* name;
        bool preview;
        double fraction;
    };
    const Case cases[] = {
        {"Run1_BRIGHTFIELD_0003.png", false, 0.95}, {"Run1_GFP_0003.png", false, 1.0},
        {"image.png", false, 0.95},                 {"Brightfield", true, 0.95},
        {"GFP", true, 1.0},                         {"", true, 0.95},
    };
    for (const Case& c : cases) EXPECT_EQ(AutoScaleHighFraction(c.name, c.preview), c.fraction) << c.name;
}

TEST_F(ImageViewInteractionTest, ZoomCommandsMoveTheVisiblePartAndTheScrollBars) {
    auto document = Document(100, 100);
    DialogWindow window(100, 100);
    CImageView view(document.get(), &window);
    g_LastClickX = 0.02;
    g_LastClickY = 0.98;
    ASSERT_TRUE(view.OnCommand(viewcmd::ZoomIn));
    EXPECT_DOUBLE_EQ(view.m_dViewLeft, 0.0);
    EXPECT_DOUBLE_EQ(view.m_dViewRight, 0.5);
    EXPECT_DOUBLE_EQ(view.m_dViewTop, 0.5);
    EXPECT_DOUBLE_EQ(view.m_dViewBottom, 1.0);
    EXPECT_EQ(window.scrollBars, 1);
    view.OnCommand(viewcmd::ZoomOut);
    EXPECT_DOUBLE_EQ(view.m_dViewRight - view.m_dViewLeft, 1.0);
    EXPECT_EQ(window.scrollBars, 0);
    view.OnCommand(viewcmd::ZoomIn);
    view.OnScroll(true, ScrollCode::ThumbPosition, 1000);
    EXPECT_DOUBLE_EQ(view.m_dViewLeft, 0.5);
    view.OnCommand(viewcmd::FullScale);
    EXPECT_EQ(std::vector<double>({view.m_dViewLeft, view.m_dViewRight, view.m_dViewTop, view.m_dViewBottom}),
              std::vector<double>({0, 1, 0, 1}));
    EXPECT_EQ(window.scrollBars, 0);
}

TEST_F(ImageViewInteractionTest, AspectRatioLockKeepsPixelsSquare) {
    auto document = Document(2048, 2448);
    DialogWindow window(999, 999);  // 1000 x 1000 with the inclusive corner
    CImageView view(document.get(), &window);
    WriteText(g_IniPath.str(), "[ExperimentSettings]\r\nLockAspectRatio=False\r\n");
    view.ApplyAspectRatioLock();
    EXPECT_EQ(view.m_dViewTop, 0.0);

    WriteText(g_IniPath.str(), "[ExperimentSettings]\r\nLockAspectRatio=tRUe\r\n");
    view.ApplyAspectRatioLock();
    EXPECT_NEAR(view.m_dViewBottom - view.m_dViewTop, 2448.0 / 2048.0, 1e-9);
    EXPECT_NEAR(view.m_dViewTop, -0.09766, 1e-4);
    EXPECT_EQ(view.m_dViewLeft, 0.0);
    EXPECT_EQ(view.m_dViewRight, 1.0);

    // A window larger than the image both ways: margins on the long side only.
    DialogWindow wide(5999, 2999);
    CImageView small(document.get(), &wide);
    small.ApplyAspectRatioLock();
    EXPECT_EQ(small.m_dViewTop, 0.0);
    EXPECT_EQ(small.m_dViewBottom, 1.0);
    EXPECT_LT(small.m_dViewLeft, 0.0);
    EXPECT_NEAR(small.m_dViewLeft + small.m_dViewRight, 1.0, 1e-9);
}

TEST_F(ImageViewInteractionTest, AClickSetsThePixelReadout) {
    auto document = Document(20, 40);
    document->m_pImage->at<uint16_t>(5, 10) = 4321;
    DialogWindow window(400, 200);  // 10 client pixels per image pixel
    CImageView view(document.get(), &window);
    view.OnLButtonDown(105, 55);
    CString text;
    ASSERT_TRUE(view.GetPixelReadout(text));
    EXPECT_STREQ(text.GetString(), "pix[10,5]=4321");

    // A click in a margin left of the image a pixel or more: no readout.
    view.m_dViewLeft = -0.5;
    view.m_dViewRight = 1.5;
    view.OnLButtonDown(0, 55);
    EXPECT_FALSE(view.GetPixelReadout(text));
}

TEST_F(ImageViewInteractionTest, PlacedLinesAreStoredUnderTheirKeys) {
    auto document = Document(2000, 100);
    DialogWindow window(100, 1000);
    CImageView view(document.get(), &window);
    struct Case {
        int command;
        int y;
        int index;
        const char* line;
    };
    const Case cases[] = {
        {viewcmd::PlaceUpperMagnet, 50, 2, "UpperMagnet=100"},
        {viewcmd::PlaceLowerMagnet, 900, 3, "LowerMagnet=1800"},
        {viewcmd::PlaceUpperChannel, 200, 0, "UpperChannel=400"},
        {viewcmd::PlaceLowerChannel, 750, 1, "LowerChannel=1500"},
    };
    for (const Case& c : cases) {
        view.OnCommand(c.command);
        view.OnLButtonDown(10, c.y);
        EXPECT_EQ(g_ChannelMagnetLines[c.index], 2 * c.y) << c.line;
        EXPECT_NE(ReadText(g_IniPath.str()).find(c.line), std::string::npos) << c.line;
        EXPECT_FALSE(view.m_bPlaceLowerMagnet || view.m_bPlaceUpperMagnet || view.m_bPlaceLowerChannel ||
                     view.m_bPlaceUpperChannel);
    }
    // The next click is a plain one again.
    view.OnLButtonDown(50, 500);
    EXPECT_DOUBLE_EQ(g_LastClickY, 0.5);

    // A visible folder tool keeps the lines itself, the projection tool
    // before the fractionation tool; while their windows exist but neither
    // is visible the line is kept nowhere.
    std::vector<std::string> kept;
    bool projectionVisible = false;
    bool fractionationVisible = true;
    auto store = [&kept](const char* tool, const bool* visible) {
        return [&kept, tool, visible](const char* key, int row, bool* stored) {
            if (!*visible) return false;
            kept.push_back(std::string(tool) + ":" + key + "=" + std::to_string(row));
            *stored = true;
            return true;
        };
    };
    ImageViewToolHooks hooks;
    hooks.projectionToolStore = store("projection", &projectionVisible);
    hooks.fractionationToolStore = store("fractionation", &fractionationVisible);
    SetImageViewToolHooks(hooks);
    view.OnCommand(viewcmd::PlaceUpperMagnet);
    view.OnLButtonDown(10, 10);
    projectionVisible = true;
    view.OnCommand(viewcmd::PlaceLowerMagnet);
    view.OnLButtonDown(10, 20);
    projectionVisible = fractionationVisible = false;
    EXPECT_TRUE(SetCalibrationLine("UpperMagnet", 77));
    EXPECT_EQ(kept, (std::vector<std::string>{"fractionation:UpperMagnet=20", "projection:LowerMagnet=40"}));
    const std::string ini = ReadText(g_IniPath.str());
    EXPECT_EQ(ini.find("UpperMagnet=20"), std::string::npos);
    EXPECT_EQ(ini.find("UpperMagnet=77"), std::string::npos);
}

TEST_F(ImageViewInteractionTest, DraggingSetsTheActiveROIAndMeasuresUpwardDragsPositive) {
    auto document = Document(200, 400);
    DialogWindow window(200, 100);  // 2 image pixels per client pixel
    CImageView view(document.get(), &window);
    int shown = 0;
    FrameHooks hooks;
    hooks.showCurrentROI = [&shown] { ++shown; };
    SetFrameHooks(hooks);

    view.OnCommand(viewcmd::EditActiveROI);
    EXPECT_TRUE(view.m_bEditROI);
    view.OnLButtonDown(100, 80);
    view.OnMouseMove(20, 10, true);  // dragged up and left
    EXPECT_EQ(view.m_rcDrag.left, 20);
    EXPECT_EQ(view.m_rcDrag.bottom, 80);
    view.OnLButtonUp(20, 10);
    const ROIRect roi = *g_pActiveROI;
    EXPECT_EQ(std::vector<int>({roi.left, roi.top, roi.right, roi.bottom}), std::vector<int>({40, 20, 200, 160}));
    EXPECT_EQ(shown, 1);
    view.OnMouseMove(30, 30, false);
    EXPECT_FALSE(view.m_bEditROI);

    view.OnCommand(viewcmd::DefinePixelsPerMM);
    view.OnLButtonDown(50, 90);
    view.OnMouseMove(50, 40, true);
    view.OnLButtonUp(50, 40);
    ASSERT_EQ(window.measuredHeights.size(), 1u);
    EXPECT_DOUBLE_EQ(window.measuredHeights[0], 100.0);
    EXPECT_EQ(view.m_rcDrag.right, 0);
}

TEST_F(ImageViewInteractionTest, ContextMenuFollowsTheSwitchesAndTheNamedRegions) {
    CImageView view(nullptr, nullptr);
    auto ids = [&view] {
        std::vector<int> result;
        for (const ViewMenuEntry& entry : view.BuildContextMenu()) result.push_back(entry.id);
        return result;
    };
    using namespace viewcmd;
    EXPECT_EQ(ids(), std::vector<int>({HideROI, EditActiveROI, ChooseDefaultROI, 0, PlaceUpperMagnet,
                                       PlaceLowerMagnet, 0, PlaceUpperChannel, PlaceLowerChannel, 0,
                                       DefinePixelsPerMM, AdjustBoundaries, ChannelAndMagnetPositions, 0,
                                       DrawProjectionBelow, DrawProjectionRight}));
    WriteText(g_IniPath.str(), "[ROI]\r\nitem0=\"A\",1,2,3,4\r\n");
    EXPECT_EQ(ids()[3], ChooseROIByName);
    view.OnCommand(DrawProjectionBelow);
    EXPECT_TRUE(view.BuildContextMenu().back().checked == false);
    EXPECT_TRUE(view.BuildContextMenu()[view.BuildContextMenu().size() - 2].checked);
    view.OnCommand(HideROI);
    EXPECT_EQ(ids(), std::vector<int>({ShowROI, 0, PlaceUpperMagnet, PlaceLowerMagnet, 0, PlaceUpperChannel,
                                       PlaceLowerChannel, 0, DefinePixelsPerMM, AdjustBoundaries,
                                       ChannelAndMagnetPositions, 0}));
}

TEST_F(ImageViewInteractionTest, DisplayWindowMessagesKeepSixteenBits) {
    CImageView view(nullptr, nullptr);
    EXPECT_TRUE(view.PreTranslateMessage(kViewUserMessage, kSetDisplayMax, 70000));
    EXPECT_EQ(view.m_nDisplayMax, 4464);
    EXPECT_TRUE(view.PreTranslateMessage(kViewUserMessage, kSetDisplayMin, -1));
    EXPECT_EQ(view.m_nDisplayMin, 65535);
    EXPECT_FALSE(view.PreTranslateMessage(kViewUserMessage, 1, 5));
    EXPECT_FALSE(view.PreTranslateMessage(kViewUserMessage + 1, kSetDisplayMax, 5));
}

TEST_F(ImageViewInteractionTest, AutoScaleUsesThePercentilesOfTheImage) {
    auto document = Document(100, 100, Path("Run1_GFP_0001.png"));
    for (int r = 0; r < 100; ++r) {
        for (int c = 0; c < 100; ++c) document->m_pImage->at<uint16_t>(r, c) = static_cast<uint16_t>(c * 100);
    }
    DialogWindow window(100, 100);
    CImageView view(document.get(), &window);
    view.OnCommand(viewcmd::AutoScaleIntensities);
    EXPECT_LT(view.m_nDisplayMin, 1000);
    EXPECT_EQ(view.m_nDisplayMax, 9000);  // every tenth column; the brightest sampled
}

TEST_F(ImageViewInteractionTest, SaveAsKeepsTheOldPathWhenTheWriteFails) {
    auto document = Document(10, 10, Path("old.png"));
    DialogWindow window(100, 100);
    CImageView view(document.get(), &window);
    // A read-only folder; a superuser writes there anyway, so for one the
    // folder is a plain file instead.
    const auto locked = root / "locked";
    if (geteuid() == 0) {
        WriteText(locked, "not a folder");
    } else {
        std::filesystem::create_directories(locked);
        chmod(locked.c_str(), 0500);
    }
    window.saveAsPath = (locked / "new.png").string();
    view.OnCommand(viewcmd::SaveAs);
    if (geteuid() != 0) chmod(locked.c_str(), 0700);
    ASSERT_EQ(ui.ShownBoxes().size(), 1u);
    EXPECT_EQ(ui.ShownBoxes()[0].text, "Problem saving image to file: " + window.saveAsPath);
    EXPECT_NE(LogText().find("Problem saving image to file"), std::string::npos);
    EXPECT_EQ(document->GetPathName().str(), Path("old.png"));
    EXPECT_TRUE(window.recent.empty());

    // A lock that stays taken is reported the same way.
    ASSERT_TRUE(g_MatAccessLock->Wait(0));
    CString error;
    EXPECT_FALSE(view.SaveImageAs(Path("other.png").c_str(), error, 10));
    g_MatAccessLock->Release();
    EXPECT_STREQ(error.GetString(), ("Problem saving image to file: " + Path("other.png")).c_str());

    window.saveAsPath = Path("new.tif");
    view.OnCommand(viewcmd::SaveAs);
    EXPECT_EQ(document->GetPathName().str(), Path("new.tif"));
    EXPECT_EQ(window.recent, std::vector<std::string>{Path("new.tif")});
    const cv::Mat back = cv::imread(Path("new.tif"), cv::IMREAD_ANYDEPTH);
    ASSERT_EQ(back.type(), CV_16UC1);
    EXPECT_EQ(back.at<uint16_t>(3, 3), 1000);
}

TEST_F(ImageViewInteractionTest, AdjustBoundariesNeedsAPixelSize) {
    DialogWindow window(100, 100);
    CImageView view(nullptr, &window);
    view.OnCommand(viewcmd::AdjustBoundaries);
    ASSERT_EQ(ui.ShownBoxes().size(), 1u);
    EXPECT_EQ(ui.ShownBoxes()[0].text,
              "[CalibrationSettings] image_pixels_per_mm has not been assigned.\nRight click on an image and select "
              "\"Define pixels per mm\"");
    EXPECT_EQ(window.adjustBoundariesShown, 0);
    WriteText(g_IniPath.str(), "[CalibrationSettings]\r\nimage_pixels_per_mm=500\r\n");
    view.OnCommand(viewcmd::AdjustBoundaries);
    EXPECT_EQ(window.adjustBoundariesShown, 1);
}

TEST_F(ImageViewInteractionTest, ShowingAViewFillsAnEmptyActiveROIWithTheChannelBand) {
    WriteText(g_IniPath.str(), "[Cartridge]\r\nCartridgeUpperChannel=400\r\nCartridgeLowerChannel=1500\r\n");
    CImageView view(nullptr, nullptr);
    view.OnShowWindow();
    const ROIRect roi = *g_pActiveROI;
    EXPECT_EQ(std::vector<int>({roi.left, roi.top, roi.right, roi.bottom}), std::vector<int>({1844, 500, 2444, 1400}));
}

}  // namespace
