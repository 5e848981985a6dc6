// Rendering requests into pictures in memory, as the render thread does:
// the mapping into the output levels and every overlay, checked on the
// picture's pixels.
#include "imaging/ui/RenderImage.h"

#include <gtest/gtest.h>

#include <QImage>

#include <array>
#include <filesystem>

#include <opencv2/imgproc.hpp>

#include "analysis/IntensityControl.h"
#include "app/ActiveROI.h"
#include "app/FlowSplit.h"
#include "imaging/ImageView.h"
#include "imaging/RenderOverlays.h"
#include "imaging/tests/ImagingTestSupport.h"
#include "platform/testsupport/QtTestApplication.h"

namespace {

using imagingtest::ImagingTest;
using imagingtest::WriteText;
using Rgb = std::array<int, 3>;

Rgb At(const cv::Mat& picture, int x, int y) {
    const cv::Vec4b& p = picture.at<cv::Vec4b>(y, x);
    return {p[2], p[1], p[0]};
}

// Pixels of one colour within a rectangle of the picture (edges included).
int CountColour(const cv::Mat& picture, Rgb colour, int left, int top, int right, int bottom) {
    int count = 0;
    for (int y = std::max(top, 0); y <= std::min(bottom, picture.rows - 1); ++y)
        for (int x = std::max(left, 0); x <= std::min(right, picture.cols - 1); ++x)
            if (At(picture, x, y) == colour) ++count;
    return count;
}
int CountColour(const cv::Mat& picture, Rgb colour) {
    return CountColour(picture, colour, 0, 0, picture.cols - 1, picture.rows - 1);
}

class RenderImageTest : public ImagingTest {
protected:
    void SetUp() override {
        testsupport::EnsureApplication();
        ImagingTest::SetUp();
        CreateViewFont();
        ResetFlowSplit();
        *AllocateActiveROI() = ROIRect{};
    }
    void TearDown() override {
        ResetFlowSplit();
        *AllocateActiveROI() = ROIRect{};
        g_ActiveROI = ROIRect{};
        g_EpiOverlayROI = ROIRect{};
        g_HideROIOverlays = false;
        g_ShowProjectionBelow = false;
        g_ShowProjectionRightSide = false;
        SetRunScreenRenderHooks({});
        SetMfgTestSymbolDrawer(nullptr);
        SetMfgTestBrightnessEvent(nullptr);
        SetImageTypeTextSource(nullptr);
        ImagingTest::TearDown();
    }

    // A request for the whole image in a window of width x height.
    static std::unique_ptr<RenderRequest> Request(const cv::Mat& image, int width, int height,
                                                  const char* path = "Run1_BRIGHTFIELD_0001.png") {
        auto request = std::make_unique<RenderRequest>();
        request->m_pImage = new cv::Mat(image);
        request->m_rcTarget = RECT{0, 0, width, height};
        request->m_bResample = true;
        request->m_nDisplayMin = 0;
        request->m_nDisplayMax = 40000;
        request->m_strImagePath = path;
        // The zoom centre away from the corners the tests look at.
        request->m_dLastClickX = 0.5;
        request->m_dLastClickY = 0.5;
        return request;
    }

    static cv::Mat Render(RenderRequest& request, bool* drawn = nullptr) {
        const RECT& t = request.m_rcTarget;
        cv::Mat picture(t.bottom - t.top + 1, t.right - t.left + 1, CV_8UC4, cv::Scalar(1, 2, 3, 0));
        const bool ok = RenderRequestIntoPicture(&request, picture);
        if (drawn) *drawn = ok;
        return picture;
    }
};

TEST_F(RenderImageTest, UniformImageTakesTheOutputLevelOfItsType) {
    WriteText(g_IniPath.str(), "[AutoScale]\r\nLowMappingDisplayIntensity=20\r\n"
                               "BrightFieldHighMappingDisplayIntensity=180\r\n"
                               "FluorescenceHighMappingDisplayIntensity=240\r\n");
    CString liveType = "brightfield";
    SetImageTypeTextSource([&liveType] { return liveType; });
    struct Case {
        const char* path;
        const char* liveType;
        int value;
        int grey;
    };
    const Case cases[] = {
        {"Run1_BRIGHTFIELD_0001.png", "", 40000, 180},
        {"Run1_BRIGHTFIELD_0001.png", "", 0, 20},
        {"Run1_BRIGHTFIELD_0001.png", "", 20000, 100},  // half way: 20 + 160 / 2
        {"Run1_GFP_0001.png", "", 40000, 240},
        {"Run1_GFP_0001.png", "", 20000, 130},
        {"image.png", "", 40000, 180},  // no type in the name: bright field
        {"", "brightfield", 40000, 180},  // live preview: the chosen type, any case
        {"", "GFP", 40000, 240},
        {"Run1_GFP_0001.png", "", 60000, 255},  // above the window: held at white
    };
    for (const Case& c : cases) {
        liveType = c.liveType;
        auto request = Request(imagingtest::Flat16(64, 80, c.value), 40, 32, c.path);
        bool drawn = false;
        const cv::Mat picture = Render(*request, &drawn);
        ASSERT_TRUE(drawn) << c.path;
        EXPECT_EQ(At(picture, 2, 2), (Rgb{c.grey, c.grey, c.grey})) << c.path << " " << c.liveType << " " << c.value;
        EXPECT_EQ(At(picture, 38, 30), (Rgb{c.grey, c.grey, c.grey})) << c.path << " " << c.liveType;
    }
}

TEST_F(RenderImageTest, ChannelMagnetAndSplitLinesAtTheirRowsWithTheSplitPlacedForTheRunScreen) {
    const int32_t rows[4] = {400, 1500, 100, 1800};
    for (int k = 0; k < 4; ++k) g_ChannelMagnetLines[k] = rows[k];
    SetFlowSplitLineVisible(true);
    int textUpdates = 0;
    RunScreenRenderHooks hooks;
    hooks.updateFlowSplitText = [&textUpdates](bool redraw) { textUpdates += redraw ? 1 : 100; };
    SetRunScreenRenderHooks(hooks);

    // A 2048-row image at half scale: rows 400, 1500, 100, 1800 fall on
    // 200, 750, 50, 900, the split row 950 on 475.
    auto request = Request(imagingtest::Flat16(2048, 400, 0), 200, 1024);
    const cv::Mat picture = Render(*request);
    const Rgb red{255, 0, 0}, blue{0, 0, 255}, pink{255, 128, 128}, lilac{128, 128, 255}, green{100, 255, 100};
    EXPECT_EQ(At(picture, 100, 50), red);
    EXPECT_EQ(At(picture, 100, 900), blue);
    EXPECT_GT(CountColour(picture, pink, 0, 200, 200, 200), 50);  // dash-dot, one pixel
    EXPECT_GT(CountColour(picture, lilac, 0, 750, 200, 750), 50);
    EXPECT_EQ(CountColour(picture, pink), CountColour(picture, pink, 0, 200, 200, 200));
    // The split line, three pixels wide, drawn solid, 3 pixels short of each side.
    EXPECT_EQ(At(picture, 100, 475), green);
    EXPECT_EQ(At(picture, 5, 475), green);
    EXPECT_NE(At(picture, 1, 475), green);

    const FlowSplitValues split = GetFlowSplit();
    EXPECT_EQ(split.ChannelTopY, 200);
    EXPECT_EQ(split.ChannelBottomY, 750);
    EXPECT_EQ(split.FlowSplitLineY, 475);
    EXPECT_EQ(split.FlowSplitHitRect, (RECT{0, 471, 200, 479}));
    EXPECT_EQ(textUpdates, 1);

    // Without the line shown nothing green is drawn.
    SetFlowSplitLineVisible(false);
    auto again = Request(imagingtest::Flat16(2048, 400, 0), 200, 1024);
    EXPECT_EQ(CountColour(Render(*again), green), 0);
}

TEST_F(RenderImageTest, DetectionCrossesNearTheEdgesAreLeftOut) {
    auto request = Request(imagingtest::Flat16(100, 100, 0), 100, 100);
    // Screen x 2 (too near the left edge), 50 (inside), y 98 (near the bottom: still drawn).
    request->m_Detections1 = {CellDetection{2, 50}, CellDetection{50, 50}};
    request->m_Detections2 = {CellDetection{30, 98}};
    request->m_EpiDetections = {CellDetection{97, 20}, CellDetection{98, 70}};
    const cv::Mat picture = Render(*request);
    const Rgb red{255, 0, 0}, cyan{0, 255, 255}, yellow{255, 255, 0};
    EXPECT_EQ(CountColour(picture, red, 0, 40, 8, 60), 0);
    EXPECT_GT(CountColour(picture, red, 44, 44, 56, 56), 10);
    EXPECT_GT(CountColour(picture, cyan, 24, 92, 36, 100), 5);
    EXPECT_GT(CountColour(picture, yellow, 90, 14, 100, 26), 5);
    EXPECT_EQ(CountColour(picture, yellow, 90, 64, 100, 76), 0);
}

TEST_F(RenderImageTest, ProjectionsAreDrawnOnlyForARegionInsideTheImage) {
    WriteText(g_IniPath.str(), "[RightSideProjection]\r\nSmoothingWindowMicrons=0\r\nNumPeaksToFind=1\r\n"
                               "StdevIntegrationArea=2\r\nIntegrationSamples=20\r\n");
    g_ShowProjectionBelow = true;
    g_ShowProjectionRightSide = true;
    cv::Mat image = imagingtest::Flat16(200, 200, 10000);
    cv::line(image, {20, 0}, {180, 199}, cv::Scalar(30000), 9);
    const Rgb frame{192, 192, 0};

    *AllocateActiveROI() = ROIRect{20, 20, 120, 120};
    auto inside = Request(image, 200, 200);
    const cv::Mat drawn = Render(*inside);
    // The frames below and right of the region.
    EXPECT_GT(CountColour(drawn, frame, 20, 121, 120, 200), 20);
    EXPECT_GT(CountColour(drawn, frame, 121, 20, 200, 120), 20);
    EXPECT_GT(CountColour(drawn, Rgb{255, 0, 0}, 20, 121, 120, 200), 20);

    // Reaching past the image's right edge: outline and projections left out.
    *AllocateActiveROI() = ROIRect{20, 20, 260, 120};
    g_EpiOverlayROI = ROIRect{1, 1, 5, 5};
    auto outside = Request(image, 200, 200);
    const cv::Mat skipped = Render(*outside);
    EXPECT_EQ(CountColour(skipped, frame), 0);
    EXPECT_EQ(CountColour(skipped, Rgb{255, 0, 0}, 0, 121, 200, 200), 0);
    // The epifluorescence preview is kept: only the projection right of the region clears it.
    EXPECT_EQ(g_EpiOverlayROI.right, 5);

    // Hidden regions draw nothing at all.
    *AllocateActiveROI() = ROIRect{20, 20, 120, 120};
    g_HideROIOverlays = true;
    auto hidden = Request(image, 200, 200);
    EXPECT_EQ(CountColour(Render(*hidden), frame), 0);
}

TEST_F(RenderImageTest, HiddenRunScreenGetsNothingAndAVisibleOneTakesItsControlsWindow) {
    ASSERT_TRUE(cv::imwrite(Path("Run1_BRIGHTFIELD_0001.png"), imagingtest::Flat16(10, 10, 0)));
    auto request = Request(imagingtest::Flat16(64, 64, 20000), 0, 0, Path("Run1_BRIGHTFIELD_0001.png").c_str());
    request->m_rcTarget = RECT{10, 10, 74, 74};
    request->m_bSaveReference = true;
    bool drawn = true;
    const cv::Mat untouched = Render(*request, &drawn);
    EXPECT_FALSE(drawn);
    EXPECT_EQ(At(untouched, 5, 5), (Rgb{3, 2, 1}));
    EXPECT_FALSE(std::filesystem::exists(Path("Run1_BRIGHTFIELD_0001.REF.BMP")));

    Tovanix::IntensityControl control;
    control.m_rect = Tovanix::ControlRect{100, 10, 300, 30};
    CString error;
    ASSERT_TRUE(control.SetLowerAndUpperIntensities(10000, 30000, error));
    std::vector<RECT> repainted;
    RunScreenRenderHooks hooks;
    hooks.isVisible = [] { return true; };
    hooks.activeIntensityControl = [&control] { return &control; };
    hooks.invalidate = [&repainted](const RECT& area) { repainted.push_back(area); };
    SetRunScreenRenderHooks(hooks);
    auto shown = Request(imagingtest::Flat16(64, 64, 20000), 0, 0);
    shown->m_rcTarget = RECT{10, 10, 74, 74};
    const cv::Mat picture = Render(*shown, &drawn);
    EXPECT_TRUE(drawn);
    // 20000 in the control's window 10000..30000: half way between 25 and 200.
    EXPECT_EQ(At(picture, 30, 30), (Rgb{112, 112, 112}));
    EXPECT_EQ(shown->m_nDisplayMin, 10000);
    EXPECT_EQ(shown->m_nDisplayMax, 30000);
    EXPECT_EQ(repainted, (std::vector<RECT>{RECT{95, 10, 305, 41}}));
}

TEST_F(RenderImageTest, BrightnessWindowIsFramedAndAMedianInTheBandWakesTheScript) {
    cv::Mat image = imagingtest::Flat16(100, 100, 5000);
    image(cv::Rect(45, 45, 11, 11)).setTo(21000);
    // As the script does it: the target first, then the event.
    g_MfgTestBrightnessTarget = MfgTestBrightnessTarget{20000, 22000, 50, 50, 11, 0};
    auto event = std::make_shared<platform::Event>(true, false);
    SetMfgTestBrightnessEvent(event);
    g_MfgTestBrightnessResult = 0;
    // A request made for an earlier measurement carries its band: it does not answer this one.
    auto stale = Request(image, 200, 200, "");
    stale->m_pBrightnessTarget = new MfgTestBrightnessTarget{20500, 21500, 50, 50, 11, 0};
    Render(*stale);
    EXPECT_FALSE(event->IsSet());
    auto request = Request(image, 200, 200, "");
    request->m_pBrightnessTarget = new MfgTestBrightnessTarget{20000, 22000, 50, 50, 11, 0};
    const cv::Mat picture = Render(*request);
    EXPECT_TRUE(event->IsSet());
    EXPECT_EQ(g_MfgTestBrightnessResult, 21000);
    EXPECT_GT(CountColour(picture, Rgb{255, 128, 128}, 85, 85, 115, 115), 40);
    // The value in green right of the window.
    EXPECT_GT(CountColour(picture, Rgb{128, 255, 128}, 112, 80, 200, 120), 20);
}

TEST_F(RenderImageTest, ScreenshotWithEveryOverlay) {
    WriteText(g_IniPath.str(), "[RightSideProjection]\r\nSmoothingWindowMicrons=20\r\nNumPeaksToFind=2\r\n"
                               "StdevIntegrationArea=2\r\nIntegrationSamples=30\r\n"
                               "[CalibrationSettings]\r\nimage_pixels_per_mm=1000\r\n"
                               "[Cartridge]\r\nCartridgeUpperChannel=400\r\nCartridgeLowerChannel=1500\r\n");
    // A channel between dark magnets, with two bright bands of cells.
    cv::Mat image(2048, 2448, CV_16UC1, cv::Scalar(30000));
    image.rowRange(0, 100).setTo(4000);
    image.rowRange(1800, 2048).setTo(4000);
    image.rowRange(395, 406).setTo(9000);
    image.rowRange(1495, 1506).setTo(9000);
    cv::RNG random(3);
    for (int k = 0; k < 300; ++k) {
        const int y = k % 2 ? random.uniform(600, 800) : random.uniform(1100, 1300);
        cv::circle(image, {random.uniform(0, 2448), y}, 8, cv::Scalar(52000), cv::FILLED);
    }
    const int32_t rows[4] = {400, 1500, 100, 1800};
    for (int k = 0; k < 4; ++k) g_ChannelMagnetLines[k] = rows[k];
    SetFlowSplitLineVisible(true);
    SetFlowSplitFraction(0.35);
    *AllocateActiveROI() = ROIRect{300, 420, 1500, 1480};
    g_ShowProjectionBelow = true;
    g_ShowProjectionRightSide = true;
    g_ActiveROI = ROIRect{1700, 500, 2200, 900};
    g_EpiOverlayROI = ROIRect{1700, 1000, 2200, 1400};
    SetMfgTestSymbolDrawer([](const MfgTestSymbol& s, CDC* dc, const RECT&, double, double, double, double,
                              const RECT& image, int, int, int dx, int dy) {
        // A full cross-hair through the symbol's point.
        dc->Painter().drawLine(image.left, image.top + dy, image.right, image.top + dy);
        dc->Painter().drawLine(image.left + dx, image.top, image.left + dx, image.bottom);
        return s.type == 0;
    });
    {
        platform::SemaphoreLock lock(MfgTestSymbolsSemaphore(), kMfgTestSymbolsWaitMs);
        MfgTestSymbol symbol;
        symbol.x = 2000;
        symbol.y = 1600;
        symbol.green = 200;
        symbol.blue = 255;
        symbol.shown = 1;
        symbol.lineWidth = 1;
        g_MfgTestSymbols = {symbol};
    }

    auto request = Request(image, 1224, 1024);
    request->m_nDisplayMin = 2000;
    request->m_nDisplayMax = 56000;
    request->m_dLastClickX = 0.1;
    request->m_dLastClickY = 0.5;
    for (int k = 0; k < 60; ++k) {
        request->m_Detections1.push_back(CellDetection{random.uniform(0, 2448),
                                                       random.uniform(600, 800)});
        request->m_Detections2.push_back(CellDetection{random.uniform(0, 2448),
                                                       random.uniform(1100, 1300)});
    }
    request->m_pBrightnessTarget = new MfgTestBrightnessTarget{25000, 35000, 1900, 1650, 41, 0};
    bool drawn = false;
    const cv::Mat picture = Render(*request, &drawn);
    {
        platform::SemaphoreLock lock(MfgTestSymbolsSemaphore(), kMfgTestSymbolsWaitMs);
        g_MfgTestSymbols.clear();
    }
    ASSERT_TRUE(drawn);
    const QImage shot(picture.data, picture.cols, picture.rows, static_cast<qsizetype>(picture.step),
                      QImage::Format_RGB32);
    ASSERT_TRUE(shot.save(QString::fromStdString(Path("render-overlays.png"))));
    EXPECT_GT(CountColour(picture, Rgb{0, 200, 255}), 1000);  // the test symbol's cross-hair
}

}  // namespace
