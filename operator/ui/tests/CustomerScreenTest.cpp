#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPainter>
#include <QRadioButton>
#include <QTest>

#include <cstdlib>
#include <memory>

#include "app/FrameHooks.h"
#include "imaging/RenderOverlays.h"
#include "operator/CustomerScreenPictures.h"
#include "platform/Files.h"
#include "operator/tests/CustomerUITestSupport.h"
#include "operator/ui/CustomerScreen.h"
#include "platform/testsupport/QtTestApplication.h"

namespace {

using namespace customer_ui;

class CustomerScreenTest : public customer_ui_testing::CustomerUIFixture {
protected:
    void SetUp() override {
        testsupport::EnsureApplication();
        CustomerUIFixture::SetUp();
        ui->AttachWindow(nullptr, nullptr);
        screen = std::make_unique<CustomerScreen>(*ui, 1920, 1080);
        PretendCustomerScriptRuns();
    }
    void TearDown() override {
        screen.reset();
        CustomerUIFixture::TearDown();
    }

    void Enter(int32_t state) {
        CString error;
        ASSERT_TRUE(ui->SetState(state, error)) << error.GetString();
    }

    // Paints offscreen; keeps a copy when VELLORA_SCREENSHOTS names a folder.
    QImage Shot(const char* name) {
        QImage image = screen->Render();
        if (const char* folder = std::getenv("VELLORA_SCREENSHOTS")) {
            image.save(QString("%1/%2.png").arg(folder, name));
        }
        return image;
    }

    static QColor Colour(COLORREF c) { return QColor(RedOf(c), GreenOf(c), BlueOf(c)); }

    // How many pixels of the area have exactly this colour.
    static int CountColour(const QImage& image, const QRect& area, const QColor& colour) {
        int count = 0;
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x) {
                if (image.pixelColor(x, y) == colour) ++count;
            }
        }
        return count;
    }

    std::unique_ptr<CustomerScreen> screen;
};

TEST_F(CustomerScreenTest, WindowTakesItsSizeAndStartsHidden) {
    EXPECT_EQ(screen->size(), QSize(1920, 1080));
    EXPECT_FALSE(screen->isVisible());
    EXPECT_EQ(theApp.m_nCustomerUIWidth, 1920);
    EXPECT_EQ(theApp.m_nCustomerUIHeight, 1080);
    CustomerScreen small(*ui, 1680, 1050);
    EXPECT_EQ(small.geometry(), QRect(40, 75, 1600, 900));
}

TEST_F(CustomerScreenTest, EmptyFrameIsTheBackgroundOnly) {
    ui->ResetForNewScript();
    const QImage image = Shot("empty-frame");
    const QColor background = Colour(kDefaultBackground);
    EXPECT_EQ(CountColour(image, image.rect(), background), image.width() * image.height());

    g_CustomerUIBackgroundColor = Rgb(10, 20, 30);
    EXPECT_EQ(Shot("other-background").pixelColor(5, 5), QColor(10, 20, 30));
    g_CustomerUIBackgroundColor = kDefaultBackground;
}

TEST_F(CustomerScreenTest, ArrowsAreDrawnWhereTheStateHasThem) {
    Enter(2);
    QImage image = Shot("arrows");
    const QColor teal = Colour(kArrowTeal);
    EXPECT_EQ(image.pixelColor(1738, 999), teal);  // Next shaft
    EXPECT_EQ(image.pixelColor(1800, 999), teal);  // near its tip
    EXPECT_EQ(image.pixelColor(182, 999), teal);   // Back shaft
    EXPECT_EQ(image.pixelColor(1817, 999), Colour(kDefaultBackground));
    EXPECT_EQ(ui->Snapshot().content.m_rcNext[0], (RECT{1661, 959, 1815, 1039}));

    // Under the mouse the arrow turns white.
    screen->Render();
    ui->OnMouseMove({1738, 999}, false);
    image = Shot("arrow-hover");
    EXPECT_EQ(image.pixelColor(1738, 999), Colour(kArrowWhite));
    EXPECT_EQ(image.pixelColor(182, 999), teal);

    // The login screen has no Back arrow.
    Enter(kStateLogin);
    image = Shot("login-frame");
    EXPECT_EQ(image.pixelColor(182, 999), Colour(kDefaultBackground));
    Enter(1);
    image = Shot("select-action-frame");
    EXPECT_EQ(image.pixelColor(1738, 999), Colour(kDefaultBackground));
}

TEST_F(CustomerScreenTest, TimerBoxShowsItsDirectionByColour) {
    Enter(9);
    ui->StartScriptTimer(65000, true);
    QImage image = Shot("timer-countdown");
    EXPECT_EQ(image.pixelColor(100, 540), Colour(kTimerCountDownColour));
    // The text is white in the middle of the box.
    EXPECT_GT(CountColour(image, QRect(106, 500, 100, 80), QColor(255, 255, 255)), 20);

    ui->StartScriptTimer(65000, false);
    image = Shot("timer-countup");
    EXPECT_EQ(image.pixelColor(100, 540), Colour(kTimerCountUpColour));

    // Run out: the box is gone.
    clock.Advance(std::chrono::milliseconds(66000));
    image = Shot("timer-gone");
    EXPECT_EQ(image.pixelColor(100, 540), Colour(kDefaultBackground));
}

TEST_F(CustomerScreenTest, MessageLineStartsRedOrangeAndFades) {
    Enter(9);
    ui->ShowMessage("Please close the clamp lever.", 2);
    const RECT r = ui->Snapshot().message.m_rcMessage;
    const QRect area(r.left, r.top, r.right - r.left + 1, r.bottom - r.top + 1);
    EXPECT_GT(area.width(), 200);
    QImage image = Shot("message");
    EXPECT_GT(CountColour(image, area, Colour(kMessageColour)), 50);
    Elapse(2100, 100);
    image = Shot("message-faded");
    EXPECT_EQ(CountColour(image, area, Colour(kMessageColour)), 0);
    EXPECT_EQ(CountColour(image, area, Colour(kDefaultBackground)), area.width() * area.height());
}

TEST_F(CustomerScreenTest, GroupBoxesAndTitleAreDrawnOnTheFrame) {
    CString error;
    ASSERT_TRUE(ui->DefineGroupBox({200, 200, 600, 400}, Rgb(50, 80, 90), Rgb(200, 200, 0), 4, 40, error));
    ui->EditContent([](CustomerUIContent& c) { c.m_strTitle = "Sample 12"; });
    const QImage image = Shot("group-box-title");
    EXPECT_EQ(image.pixelColor(400, 300), QColor(50, 80, 90));
    EXPECT_EQ(image.pixelColor(400, 201), QColor(200, 200, 0));
    EXPECT_EQ(image.pixelColor(201, 201), Colour(kDefaultBackground));  // rounded corner
    EXPECT_GT(CountColour(image, QRect(1500, 75, 382, 45), Colour(kTitleColour)), 20);
}

TEST_F(CustomerScreenTest, LogoFromTheProgramFolderSitsTopLeft) {
    const std::string program = dataRoot + "/Program";
    ASSERT_TRUE(InstallCustomerScreenPictures(program, customerDir, nullptr));
    theApp.m_strExeDir = program.c_str();
    screen = std::make_unique<CustomerScreen>(*ui, 1920, 1080);
    const QImage image = Shot("logo");
    // The logo's ring, 35 pixels right of its centre at (45, 45) of the picture.
    const Point at = LogoPosition(1920, 1080);
    EXPECT_EQ(image.pixelColor(at.x + 80, at.y + 45), Colour(kArrowTeal));
    EXPECT_EQ(image.pixelColor(at.x - 2, at.y + 45), Colour(kDefaultBackground));
    theApp.m_strExeDir = "";
}

TEST_F(CustomerScreenTest, TextLinesAndTheOffBoxOfAHiddenCombo) {
    ui->EditContent([](CustomerUIContent& c) { c.m_vecTextLines = {"Sample is flowing", "Second line", "Third"}; });
    ui->MoveControl(IDC_COMBO2, {1500, 400, 1600, 430});
    ui->ShowControl(IDC_COMBO2, false);
    QImage image(screen->size(), QImage::Format_RGB32);
    image.fill(Colour(kDefaultBackground));
    {
        QPainter painter(&image);
        painter.setPen(Qt::white);
        RECT bounds;
        EXPECT_EQ(screen->DrawTextLines(painter, 2, &bounds, 0.7), 2);
        EXPECT_EQ(bounds.top, 756);
        EXPECT_GT(bounds.bottom, 756 + 2 * 30);
        screen->DrawExposureOffBox(painter, IDC_COMBO2);
        ui->ShowControl(IDC_COMBO1, true);
        ui->MoveControl(IDC_COMBO1, {1500, 300, 1600, 330});
        screen->DrawExposureOffBox(painter, IDC_COMBO1);  // shown: no box
    }
    if (const char* folder = std::getenv("VELLORA_SCREENSHOTS")) image.save(QString(folder) + "/text-off-box.png");
    const QColor grey = Colour(kOffBoxColour);
    EXPECT_EQ(image.pixelColor(1500, 415), grey);  // frame
    EXPECT_EQ(image.pixelColor(1550, 400), grey);
    EXPECT_GT(CountColour(image, QRect(1510, 404, 80, 22), grey), 10);  // "OFF"
    EXPECT_EQ(image.pixelColor(1500, 315), Colour(kDefaultBackground));
    EXPECT_GT(CountColour(image, QRect(0, 756, 1920, 100), QColor(Qt::white)), 100);
}

TEST_F(CustomerScreenTest, ControlsFollowTheLogicAndReportTyping) {
    ui->ShowEditControls(IDC_INPUT1, IDC_PASSWORD, 0);
    ui->MoveControl(IDC_INPUT1, {800, 500, 1200, 540});
    screen->SyncControls();
    auto* user = qobject_cast<QLineEdit*>(screen->Control(IDC_INPUT1));
    auto* password = qobject_cast<QLineEdit*>(screen->Control(IDC_PASSWORD));
    ASSERT_TRUE(user && password);
    EXPECT_TRUE(user->isVisibleTo(screen.get()));
    EXPECT_TRUE(password->isVisibleTo(screen.get()));
    EXPECT_FALSE(screen->Control(IDC_INPUT2)->isVisibleTo(screen.get()));
    EXPECT_EQ(user->geometry(), QRect(800, 500, 400, 40));
    EXPECT_EQ(password->echoMode(), QLineEdit::Password);
    EXPECT_NE(user->styleSheet().indexOf("#21323f"), -1);  // the screen's background

    QTest::keyClicks(user, "oper");
    EXPECT_EQ(ui->GetControlText(IDC_INPUT1), "oper");
    ASSERT_TRUE(ui->SetInput(0, "Name", "Preset", 10));
    screen->SyncControls();
    EXPECT_EQ(user->text(), "Preset");

    auto* combo = qobject_cast<QComboBox*>(screen->Control(IDC_COMBO1));
    ASSERT_TRUE(combo);
    EXPECT_EQ(combo->count(), 14);
    auto* radio = qobject_cast<QRadioButton*>(screen->Control(IDC_RADIO3));
    ASSERT_TRUE(radio);
    radio->click();
    EXPECT_EQ(ui->ActiveIntensityControl(), 2);
    EXPECT_TRUE(ui->Timers().IsArmed(kTimerRadio));
}

TEST_F(CustomerScreenTest, EnterIsSwallowedAndEscapeAsksFirst) {
    Enter(2);
    bridge.QueueAnswer(platform::IDNO);
    QTest::keyClick(screen.get(), Qt::Key_Escape);
    EXPECT_TRUE(ui->IsVisible());
    QTest::keyClick(screen.get(), Qt::Key_Return);
    EXPECT_EQ(bridge.ShownBoxes().size(), 1u);
    bridge.QueueAnswer(platform::IDYES);
    QTest::keyClick(screen.get(), Qt::Key_Escape);
    EXPECT_FALSE(ui->IsVisible());
    EXPECT_FALSE(screen->isVisible());
}

}  // namespace

namespace {

TEST(CustomerScreenInstallTest, TheProgramsScreenAnswersTheHooksOfTheOtherWindows) {
    testsupport::EnsureApplication();
    theApp.m_strExeDir = "";
    theApp.m_strCustomerUIDir = "";
    InstallCustomerScreen();
    ASSERT_NE(GetCustomerScreen(), nullptr);
    EXPECT_FALSE(GetCustomerScreen()->isVisible());
    EXPECT_TRUE(platform::FileExists(platform::JoinPath(theApp.m_strCustomerUIDir.c_str(), "PipetteSample.png")));
    const FrameHooks hooks = GetFrameHooks();
    ASSERT_TRUE(hooks.customerUiExists && hooks.customerUiVisible && hooks.showCustomerUi);
    EXPECT_TRUE(hooks.customerUiExists());
    EXPECT_FALSE(hooks.customerUiVisible());
    EXPECT_FALSE(GetRunScreenRenderHooks().isVisible());
    hooks.showCustomerUi(true);
    EXPECT_TRUE(hooks.customerUiVisible());
    EXPECT_TRUE(GetRunScreenRenderHooks().isVisible());
    EXPECT_EQ(GetRunScreenRenderHooks().activeIntensityControl(), &g_CustomerUI.m_IntensityControls[0]);

    // A missing script starts nothing and is no failure.
    CString error;
    EXPECT_TRUE(hooks.startCustomerScript("/nowhere/DefaultCustomerUI.scr", &error));
    EXPECT_EQ(g_CustomerUI.GetState(), kUndefinedState);

    RemoveCustomerScreen();
    EXPECT_EQ(GetCustomerScreen(), nullptr);
    EXPECT_FALSE(GetFrameHooks().customerUiExists);
    EXPECT_FALSE(GetRunScreenRenderHooks().isVisible);
    theApp.m_strExeDir = "";
    theApp.m_strCustomerUIDir = "";
}

}  // namespace
