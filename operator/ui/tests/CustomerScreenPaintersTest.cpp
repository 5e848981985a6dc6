// The painters of the run screen's single screens, offscreen at 1920 x 1080:
// what each draws and hides, the hit rectangles it leaves for the clicks,
// and the content it must not read when the script left it out. Every
// state is saved as a screenshot when VELLORA_SCREENSHOTS names a folder.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QLineEdit>

#include <cstdlib>
#include <memory>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "imaging/RenderList.h"
#include "imaging/RenderOverlays.h"
#include "imaging/ui/RenderImage.h"
#include "operator/CustomerScreenPictures.h"
#include "operator/tests/CustomerUITestSupport.h"
#include "operator/ui/CustomerScreen.h"
#include "platform/testsupport/QtTestApplication.h"

namespace {

using namespace customer_ui;

class CustomerScreenPaintersTest : public customer_ui_testing::CustomerUIFixture {
protected:
    void SetUp() override {
        testsupport::EnsureApplication();
        CustomerUIFixture::SetUp();
        ASSERT_TRUE(InstallCustomerScreenPictures(dataRoot + "/program", customerDir, nullptr));
        WriteSetting("ImageTypeName1", "Brightfield");
        WriteSetting("ImageTypeName2", "Red");
        WriteSetting("ImageTypeName3", "Green");
        ui->AttachWindow(nullptr, nullptr);
        screen = std::make_unique<CustomerScreen>(*ui, 1920, 1080);
        PretendCustomerScriptRuns();
    }
    void TearDown() override {
        screen.reset();
        theApp.m_bQX4Lite = false;
        CustomerUIFixture::TearDown();
    }

    void Enter(int32_t state) {
        CString error;
        ASSERT_TRUE(ui->SetState(state, error)) << error.GetString();
    }
    QImage Shot(const char* name) {
        QImage image = screen->Render();
        if (const char* folder = std::getenv("VELLORA_SCREENSHOTS")) image.save(QString("%1/%2.png").arg(folder, name));
        return image;
    }
    bool Visible(int id) { return ui->GetControl(id).visible; }

    // A 16-bit picture with a bright square, as the analyses write them.
    std::string Picture16(const std::string& name, int value) {
        cv::Mat image(120, 160, CV_16UC1, cv::Scalar(2000));
        image(cv::Rect(40, 30, 60, 50)).setTo(cv::Scalar(value));
        const std::string path = customerDir + "/" + name;
        cv::imwrite(path, image);
        return path;
    }

    static int CountNot(const QImage& image, const QRect& area, const QColor& colour) {
        int count = 0;
        for (int y = area.top(); y <= area.bottom(); y += 2)
            for (int x = area.left(); x <= area.right(); x += 2) count += image.pixelColor(x, y) != colour ? 1 : 0;
        return count;
    }
    QColor Background() const {
        const COLORREF c = g_CustomerUIBackgroundColor.load();
        return QColor(RedOf(c), GreenOf(c), BlueOf(c));
    }

    std::unique_ptr<CustomerScreen> screen;
};

TEST_F(CustomerScreenPaintersTest, LoginShowsUserAndPasswordEditsUnderTheFirstLine) {
    Enter(kStateLogin);
    Shot("state00_login");
    EXPECT_TRUE(Visible(IDC_INPUT1));
    EXPECT_TRUE(Visible(IDC_PASSWORD));
    EXPECT_FALSE(Visible(IDC_INPUT2));
    const RECT user = ui->GetControl(IDC_INPUT1).rect;
    const RECT password = ui->GetControl(IDC_PASSWORD).rect;
    EXPECT_EQ(user.right, password.right);
    EXPECT_GT(user.top, RoundHalfAway(1080 * 0.4));
    EXPECT_GT(password.top, user.bottom);
}

TEST_F(CustomerScreenPaintersTest, ActionChoiceDefaultsAndButtonsLeaveTheirHitRectangles) {
    Enter(kStateSelectAction);
    Shot("state01_actions_default");
    RECT first = ui->Snapshot().content.m_rcDefaultActions[0];
    EXPECT_GT(first.right, first.left);
    // A click on the first default choice hands back its name.
    ui->OnLButtonDown({(first.left + first.right) / 2, (first.top + first.bottom) / 2});
    CString event;
    ASSERT_TRUE(ui->WaitForEvent(&event, 0));
    EXPECT_EQ(event.str(), "Live Cell Enrichment");

    ui->EditContent([](CustomerUIContent& c) {
        c.m_vecActionLines = {"Run enrichment", "Clean the cartridge", "Shut down"};
        c.m_crActionBack = Rgb(40, 80, 100);
        c.m_nActionCornerRadius = 20;
    });
    Shot("state01_actions_buttons");
    const std::vector<RECT> buttons = ui->Snapshot().content.m_vecActionRects;
    ASSERT_EQ(buttons.size(), 3u);
    const RECT second = buttons[1];
    ui->OnLButtonDown({(second.left + second.right) / 2, (second.top + second.bottom) / 2});
    ASSERT_TRUE(ui->WaitForEvent(&event, 0));
    EXPECT_EQ(event.str(), "Clean the cartridge");
}

TEST_F(CustomerScreenPaintersTest, FixedPromptsDrawTheirPictures) {
    Enter(2);
    QImage image = Shot("state02_insert_cartridge");
    const QRect picture(480, 324, 960, 648);
    EXPECT_GT(CountNot(image, picture, Background()), 1000);
    Enter(3);
    image = Shot("state03_pipette_sample");
    EXPECT_GT(CountNot(image, picture, Background()), 1000);
}

TEST_F(CustomerScreenPaintersTest, FormsPlaceEditsCheckBoxesAndBrowseBoxes) {
    ui->EditContent([](CustomerUIContent& c) { c.m_vecTextLines = {"Describe the sample"}; });
    ui->SetInput(0, "Sample name:", "S-17", 12);
    ui->SetInput(1, "Volume (ul):", "200", 5);
    ui->EditContent([](CustomerUIContent& c) {
        c.m_strNextText = "Next";
        c.m_strBackText = "Back";
    });
    Enter(8);
    Shot("state08_inputs");
    EXPECT_TRUE(Visible(IDC_INPUT1));
    EXPECT_TRUE(Visible(IDC_INPUT2));
    EXPECT_FALSE(Visible(IDC_INPUT3));
    EXPECT_FALSE(Visible(IDC_CHECK1));
    const RECT edit1 = ui->GetControl(IDC_INPUT1).rect;
    const RECT edit2 = ui->GetControl(IDC_INPUT2).rect;
    EXPECT_EQ(edit1.left, edit2.left);
    EXPECT_GT(edit1.right - edit1.left, edit2.right - edit2.left);

    Enter(kStatePromptForFilename);
    Shot("state11_file_names");
    const std::vector<RECT> browse = ui->Snapshot().content.m_vecBrowseRects;
    ASSERT_EQ(browse.size(), 2u);
    EXPECT_EQ(browse[0].right, edit1.right);
    EXPECT_GT(browse[0].top, edit1.bottom);

    ui->SetCheckboxInput(0, "Rinse first", 1);
    ui->SetCheckboxInput(1, "Keep the sample", 0);
    Enter(10);
    Shot("state10_check_boxes");
    EXPECT_TRUE(Visible(IDC_CHECK1));
    EXPECT_TRUE(Visible(IDC_CHECK1 + 1));
    EXPECT_FALSE(Visible(IDC_CHECK1 + 2));
    EXPECT_FALSE(Visible(IDC_INPUT1));
}

TEST_F(CustomerScreenPaintersTest, InformationScreenWithAPicture) {
    CString error;
    ASSERT_TRUE(ui->SetImage(1, "PipetteSample.png", error)) << error.GetString();
    ui->EditContent([](CustomerUIContent& c) { c.m_vecTextLines = {"The run has finished.", "", "Remove the cartridge."}; });
    Enter(9);
    const QImage image = Shot("state09_information");
    EXPECT_GT(CountNot(image, QRect(480, 162, 960, 560), Background()), 1000);
}

TEST_F(CustomerScreenPaintersTest, VideoScreenPanelPerVariant) {
    ui->EditContent([](CustomerUIContent& c) { c.m_vecTextLines = {"Sample is flowing"}; });
    Enter(kStateShowVideo);
    Shot("state07_video");
    for (int id : {IDC_RADIO1, IDC_RADIO2, IDC_RADIO3}) EXPECT_TRUE(Visible(id)) << id;
    EXPECT_TRUE(ui->GetControl(IDC_RADIO1).checked);  // no toolbar: type 1
    EXPECT_FALSE(ui->Snapshot().content.m_bExposurePanelLayoutDirty);
    const RECT combo1 = ui->GetControl(IDC_COMBO1).rect;
    const RECT radio1 = ui->GetControl(IDC_RADIO1).rect;
    EXPECT_GT(radio1.left, combo1.right);
    // The first paint switches live capture on (no stop request is pending).
    EXPECT_TRUE(ui->Timers().IsArmed(kTimerLiveOn));
    // A stop request from the script holds the restart off until 11 s passed.
    ui->KillTimer(kTimerLiveOn);
    SYSTEMTIME now;
    GetLocalTime(&now);
    ui->m_ftLiveStopRequest = platform::SystemTimeToFileTime100ns(now);
    screen->Render();
    EXPECT_FALSE(ui->Timers().IsArmed(kTimerLiveOn));
    clock.Advance(std::chrono::seconds(12));
    screen->Render();
    EXPECT_TRUE(ui->Timers().IsArmed(kTimerLiveOn));

    // Hiding the split line removes its value box.
    ui->EditContent([](CustomerUIContent& c) { c.m_bShowSplitLine = false; });
    const QImage hidden = screen->Render();
    const RECT box = ui->Snapshot().content.m_rcSplitPercent;
    EXPECT_EQ(CountNot(hidden, QRect(box.left, box.top, box.right - box.left, box.bottom - box.top), Background()), 0);
}

TEST_F(CustomerScreenPaintersTest, TheRenderThreadsPictureReachesTheVideoPanel) {
    Enter(kStateShowVideo);
    ui->EditContent([](CustomerUIContent& c) {
        c.m_dZoomLeft = 0.5;  // the right half of the image: its bright part
    });
    RunScreenRenderHooks hooks;
    hooks.isVisible = [] { return true; };
    hooks.activeIntensityControl = [this] { return &ui->m_IntensityControls[0]; };
    hooks.invalidate = [](const RECT&) {};
    hooks.updateFlowSplitText = [](bool) {};
    hooks.videoTarget = [this](uintptr_t* window, RECT* panel, double zoom[4]) {
        *window = screen->RenderTargetHandle();
        *panel = ui->GetVideoRect();
        const CustomerUIContent c = ui->Snapshot().content;
        zoom[0] = c.m_dZoomLeft;
        zoom[1] = c.m_dZoomRight;
        zoom[2] = c.m_dZoomTop;
        zoom[3] = c.m_dZoomBottom;
        return true;
    };
    SetRunScreenRenderHooks(hooks);
    SetRenderImageFunction(RenderRequestIntoPicture);

    // A request of an image view, drawn on this thread as the render thread would.
    auto* request = new RenderRequest();
    request->m_pImage = new cv::Mat(200, 400, CV_16UC1, cv::Scalar(0));
    (*request->m_pImage)(cv::Rect(200, 0, 200, 200)).setTo(cv::Scalar(60000));
    request->m_nDisplayMin = 0;
    request->m_nDisplayMax = 65535;
    ServeRenderRequest(request);
    const bool arrived = [&] {
        for (int i = 0; i < 3000 && screen->VideoPicture().isNull(); ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        return !screen->VideoPicture().isNull();
    }();
    SetRunScreenRenderHooks({});
    ASSERT_TRUE(arrived);
    const QImage image = Shot("state07_video_live");
    const RECT panel = ui->GetVideoRect();
    const int y = (panel.top + panel.bottom) / 2;
    const QColor centre = image.pixelColor((panel.left + panel.right) / 2, y);
    EXPECT_NE(centre, Background());
    // Only the bright half of the image is in the panel: it is even.
    EXPECT_EQ(image.pixelColor(panel.left + 20, y), image.pixelColor(panel.right - 20, y));
    EXPECT_GT(centre.red(), 100);
}

TEST_F(CustomerScreenPaintersTest, VideoScreenLiteVariantOffersOneImageType) {
    theApp.m_bQX4Lite = true;
    Enter(kStateShowVideo);
    Shot("state07_video_lite");
    EXPECT_TRUE(Visible(IDC_RADIO1));
    EXPECT_FALSE(Visible(IDC_RADIO2));
    EXPECT_FALSE(Visible(IDC_RADIO3));
    EXPECT_FALSE(Visible(IDC_COMBO2));
    EXPECT_FALSE(Visible(IDC_COMBO3));
}

TEST_F(CustomerScreenPaintersTest, ImageChecksSideBySideWithTheirCheckRow) {
    ui->EditContent([&](CustomerUIContent& c) {
        c.m_vecTextLines = {"Check both channels"};
        c.m_vecImages = {"", "", "", Picture16("green.png", 40000), Picture16("red.png", 30000)};
        // Only the first of the two images has a caption: the second draws grey.
        c.m_vecImageCaptions = {"", "", "", "green"};
        c.m_vecInputLabels = {"Green OK", "Red OK"};
        c.m_strNextText = "Accept";
    });
    Enter(12);
    const QImage image = Shot("state12_image_checks");
    EXPECT_TRUE(Visible(IDC_CHECK1));
    EXPECT_TRUE(Visible(IDC_CHECK1 + 1));
    EXPECT_FALSE(Visible(IDC_CHECK1 + 2));
    const RECT left = CheckScreenImageRect(1920, 1080, 3);
    const QColor middle = image.pixelColor((left.left + left.right) / 2, (left.top + left.bottom) / 2);
    EXPECT_GT(middle.green(), middle.red());
    const RECT right = CheckScreenImageRect(1920, 1080, 4);
    const QColor grey = image.pixelColor((right.left + right.right) / 2, (right.top + right.bottom) / 2);
    EXPECT_EQ(grey.red(), grey.green());
    EXPECT_GT(grey.red(), 100);
}

TEST_F(CustomerScreenPaintersTest, CheckAndReportScreensWithoutTheirContentShowOnlyTheFrame) {
    ui->ShowControl(IDC_INPUT1, true);
    for (int state : {12, 13, 14}) {
        Enter(state);
        const QImage image = screen->Render();
        // No arrows either: only the background and the frame.
        EXPECT_EQ(CountNot(image, QRect(0, 540, 1920, 540), Background()), 0) << state;
    }
    EXPECT_TRUE(Visible(IDC_INPUT1));  // the controls keep their visibility
}

TEST_F(CustomerScreenPaintersTest, FusedImageAndMontageReport) {
    const std::string grey = Picture16("grey.png", 20000);
    ui->EditContent([&](CustomerUIContent& c) {
        c.m_vecTextLines = {"Fused image"};
        // Images 4 and 5 are missing: the composite is drawn from what there is.
        c.m_vecImages = {grey};
    });
    Enter(13);
    QImage image = Shot("state13_fused_image");
    const RECT r1 = CheckScreenImageRect(1920, 1080, 0);
    EXPECT_GT(CountNot(image, QRect(r1.left, r1.top, r1.right - r1.left, r1.bottom - r1.top), Background()), 1000);

    cv::Mat montage(100, 900, CV_8UC3, cv::Scalar(30, 160, 200));
    const std::string montagePath = customerDir + "/montage.png";
    cv::imwrite(montagePath, montage);
    ui->EditContent([&](CustomerUIContent& c) {
        c.m_vecTextLines = {"Montage of the run"};  // only line 1: line 2 is not read
        c.m_vecImages = {"", "", "", "", "", montagePath};
        c.m_vecInputLabels = {"Top fraction: 1234 cells", "Bottom fraction: 56 cells"};
    });
    Enter(14);
    image = Shot("state14_montage_report");
    const RECT strip = CheckScreenImageRect(1920, 1080, 5);
    const QColor inside = image.pixelColor((strip.left + strip.right) / 2, (strip.top + strip.bottom) / 2);
    EXPECT_EQ(inside, QColor(200, 160, 30));
    // The two results stand under the strip.
    EXPECT_GT(CountNot(image, QRect(0, strip.bottom + 40, 1920, 40), Background()), 50);
}

}  // namespace
