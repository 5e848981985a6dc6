// The focus, meniscus, contrast and video windows: settings loaded and the
// lists filled, runs on their workers with the reports opened, refusals,
// the contrast ranges kept in step with the video tool, the main window's
// toggles, and a screenshot of each.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

#include "analysis/ui/IntensityControlWidget.h"
#include "app/FrameCommands.h"
#include "platform/testsupport/QtTestApplication.h"
#include "support/Profile.h"
#include "tools/ui/ChannelCombo.h"
#include "tools/ui/ContrastDlg.h"
#include "tools/ui/FindMeniscusDlg.h"
#include "tools/ui/FocusToolDlg.h"
#include "tools/ui/ImageSelectionDlg.h"
#include "tools/ui/ToolWindows.h"
#include "tools/ui/VideoDlg.h"
#include "tools/ui/tests/ToolUiTestSupport.h"

using namespace tools_testing;

namespace {

std::string Setting(const char* section, const char* key) {
    char buffer[1024] = "";
    Tovanix::E_GetPrivateProfileString(section, key, "", buffer, 1023, g_IniPath.GetString());
    return buffer;
}

// Captures of two types under a grey channel picture.
fs::path WriteCaptures(const fs::path& folder) {
    fs::create_directories(folder);
    for (int i = 1; i <= 3; ++i) {
        cv::Mat image(400, 1700, CV_16UC1, cv::Scalar(2000 + 500 * i));
        image(cv::Rect(50 * i, 150, 40, 40)).setTo(40000);
        const std::string counter = "000" + std::to_string(i);
        cv::imwrite((folder / ("Exp_BF_" + counter + ".png")).string(), image);
        cv::imwrite((folder / ("Exp_Red_" + counter + ".png")).string(), image / 2);
    }
    return folder;
}

class ImageToolWindowsTest : public ::testing::Test {
protected:
    void SetUp() override { testsupport::EnsureApplication(); }
    fs::path Prepare(const std::string& name, const std::string& sections) {
        const fs::path root = MakeDataRoot(name);
        folder = WriteCaptures(root / "captures");
        // "%FOLDER%" in the sections stands for the captures' folder.
        std::string ini = sections;
        for (size_t at; (at = ini.find("%FOLDER%")) != std::string::npos;) ini.replace(at, 8, folder.string());
        WriteFile(root / "Vellora.ini", "[Cartridge]\r\nCartridgeUpperChannel=0\r\nCartridgeLowerChannel=400\r\n" + ini);
        return root;
    }
    fs::path folder;
};

}  // namespace

TEST_F(ImageToolWindowsTest, FocusToolScoresTheSelectionAndOpensItsReport) {
    Prepare("focus-window", "");
    RecordingUi ui;
    FocusToolDlg tool;
    EXPECT_EQ(tool.FilterEdit()->text(), "*.png");
    tool.OnBnClickedRun();
    EXPECT_EQ(ui.BoxTexts(), (std::vector<std::string>{"You must select at least one file."}));

    tool.FolderEdit()->setText(QString::fromStdString(folder.string()));
    tool.show();
    ASSERT_TRUE(WaitFor([&] { return tool.FileList()->count() == 6 && Setting("FocusTool", "Directory") == folder.string(); }));
    tool.FileList()->item(0)->setSelected(true);
    tool.FileList()->item(1)->setSelected(true);
    QSignalSpy finished(&tool, &ToolWindow::runFinished);
    ASSERT_TRUE(tool.OnBnClickedRun());
    EXPECT_FALSE(tool.FolderEdit()->isEnabled());
    EXPECT_TRUE(tool.StopButton()->isEnabled());
    ASSERT_TRUE(WaitFor([&] { return finished.count() == 1; }));
    EXPECT_TRUE(tool.FolderEdit()->isEnabled());
    EXPECT_FALSE(tool.StopButton()->isEnabled());
    ASSERT_EQ(ui.started.size(), 1u);
    const std::string report = ReadFile(ui.started[0].back());
    EXPECT_NE(report.find("Exp_BF_0001.png\t"), std::string::npos);
    EXPECT_NE(report.find("Exp_BF_0002.png\t"), std::string::npos);
    SaveScreenshot(tool, "FocusToolDlg");
}

TEST_F(ImageToolWindowsTest, MeniscusToolFillsItsListFromTheSettingsAndRuns) {
    Prepare("meniscus-window", "[FindMeniscus]\r\nDirectory=%FOLDER%\r\nFilter=*BF*.png\r\n");
    RecordingUi ui;
    FindMeniscusDlg tool;
    tool.OnBnClickedRun();
    EXPECT_EQ(ui.BoxTexts(), (std::vector<std::string>{"You must select at least one image to process."}));
    tool.show();
    ASSERT_TRUE(WaitFor([&] { return tool.FileList()->count() == 3; }));
    tool.FileList()->selectAll();
    QSignalSpy finished(&tool, &ToolWindow::runFinished);
    ASSERT_TRUE(tool.OnBnClickedRun());
    ASSERT_TRUE(WaitFor([&] { return finished.count() == 1; }));
    ASSERT_EQ(ui.started.size(), 1u);
    const std::string report = ReadFile(ui.started[0].back());
    EXPECT_EQ(report.rfind("FindMeniscus\r\nVersion\t", 0), 0u);
    EXPECT_NE(report.find("Exp_BF_0003.png\t"), std::string::npos);
    EXPECT_TRUE(tool.RunButton()->isEnabled());
    SaveScreenshot(tool, "FindMeniscusDlg");
}

TEST_F(ImageToolWindowsTest, ContrastToolShowsTheHistogramsOfACapture) {
    Prepare("contrast-window", "[ContrastDlg]\r\nImageDirectory=%FOLDER%\r\nFilter=*.png\r\nBrightfield=BF\r\nRed=Red\r\nGreen= \r\n");
    ContrastDlg tool;
    tool.show();
    ASSERT_TRUE(WaitFor([&] { return tool.FileList()->count() == 6 && tool.ImageTypeNames().size() == 2; }));
    EXPECT_EQ(tool.ImageTypeNames(), (std::vector<std::string>{"BF", "Red"}));
    tool.Channel(3)->Refill();
    EXPECT_EQ(tool.Channel(3)->count(), 2);
    tool.FileList()->findItems("Exp_Red_0002.png", Qt::MatchExactly).first()->setSelected(true);
    ASSERT_TRUE(WaitFor([&] { return tool.Histogram(0)->isVisible() && tool.Histogram(1)->isVisible(); }));
    EXPECT_FALSE(tool.Histogram(2)->isVisible());  // a blank type
    EXPECT_FALSE(tool.Histogram(3)->isVisible());
    EXPECT_EQ(fs::path(tool.ChannelFiles()[0]).filename(), "Exp_BF_0002.png");

    EXPECT_TRUE(tool.SetLowerAndUpperIntensities(1, 100, 5000));
    EXPECT_FALSE(tool.SetLowerAndUpperIntensities(4, 100, 5000));
    EXPECT_FALSE(tool.SetLowerAndUpperIntensities(1, 300, 300));
    EXPECT_FALSE(tool.SetLowerAndUpperIntensities(1, 0, 65536));
    EXPECT_EQ(tool.LowerIntensity(1), 100);
    EXPECT_EQ(tool.UpperIntensity(1), 5000);
    // Typing in a combo saves the settings a second later.
    tool.Channel(2)->SetText("Green");
    ASSERT_TRUE(WaitFor([&] { return Setting("ContrastDlg", "Green") == "Green"; }));
    SaveScreenshot(tool, "ContrastDlg");
}

TEST_F(ImageToolWindowsTest, VideoToolRefusesBadInputsAndWritesAColourVideo) {
    Prepare("video-window", "[VideoDlg]\r\nDirectory=%FOLDER%\r\nMonochrome=false\r\nBrightfield=BF\r\nRed=Red\r\nRange0=-5:70000\r\n"
                                "Range1=0:30000\r\nRange3=1:2\r\n");
    RecordingUi ui;
    VideoDlg tool;
    EXPECT_FALSE(tool.MonochromeCheck()->isChecked());
    EXPECT_FALSE(tool.TrimCheck()->isEnabled());
    EXPECT_EQ(tool.FpsEdit()->text(), "3");
    tool.show();
    ASSERT_TRUE(WaitFor([&] { return tool.FileList()->count() == 6 && tool.ImageTypeNames().size() == 2; }));

    tool.FpsEdit()->setText("30.5");
    EXPECT_FALSE(tool.OnBnClickedCreate());
    tool.FpsEdit()->setText("2");
    EXPECT_FALSE(tool.OnBnClickedCreate());
    EXPECT_EQ(ui.BoxTexts(), (std::vector<std::string>{"fps must be between 1.0 and 30.0",
                                                       "You must provide the name of the video file to create."}));

    tool.VideoFileEdit()->setText("clip.avi");
    for (const char* name : {"Exp_Red_0001.png", "Exp_Red_0002.png", "Exp_Red_0003.png"})
        tool.FileList()->findItems(name, Qt::MatchExactly).first()->setSelected(true);
    QSignalSpy finished(&tool, &ToolWindow::runFinished);
    ASSERT_TRUE(tool.OnBnClickedCreate());
    EXPECT_FALSE(tool.Channel(0)->isEnabled());
    EXPECT_TRUE(tool.StopButton()->isEnabled());
    ASSERT_TRUE(WaitFor([&] { return finished.count() == 1; }));
    EXPECT_EQ(ui.BoxTexts().size(), 2u);  // no failure
    EXPECT_EQ(tool.LastRequest().channels[0],
              (std::vector<std::string>{"Exp_BF_0001.png", "Exp_BF_0002.png", "Exp_BF_0003.png"}));
    EXPECT_TRUE(tool.LastRequest().channels[3].empty());  // the Blue combo is empty
    const std::string path = (folder / "clip.mp4").string();
    cv::VideoCapture video(path);
    ASSERT_TRUE(video.isOpened());
    EXPECT_EQ(video.get(cv::CAP_PROP_FRAME_COUNT), 3);
    EXPECT_EQ(video.get(cv::CAP_PROP_FRAME_WIDTH), 1700);
    EXPECT_EQ(video.get(cv::CAP_PROP_FRAME_HEIGHT), 400);

    // The file exists now: No keeps it and starts nothing.
    ui.bridge.QueueAnswer(platform::IDNO);
    EXPECT_FALSE(tool.OnBnClickedCreate());
    EXPECT_EQ(ui.BoxTexts().back(), "File already exists: " + path + "\n\nDo you want to overwrite it?");

    // Monochrome disables the channel combos on the next save.
    tool.MonochromeCheck()->click();
    ASSERT_TRUE(WaitFor([&] { return !tool.Channel(1)->isEnabled() && Setting("VideoDlg", "Monochrome") == "TRUE"; }));
    SaveScreenshot(tool, "VideoDlg");
}

TEST_F(ImageToolWindowsTest, VideoToolPreviewShowsTheChosenFilesOnTheGrid) {
    Prepare("video-preview", "[VideoDlg]\r\nDirectory=%FOLDER%\r\n");
    RecordingUi ui;
    VideoDlg tool;
    tool.show();
    ASSERT_TRUE(WaitFor([&] { return tool.FileList()->count() == 6; }));
    EXPECT_EQ(tool.PreviewButton()->text(), "Preview");
    tool.PreviewButton()->click();
    EXPECT_EQ(ui.BoxTexts(), std::vector<std::string>{"You must select at least one file from the list."});

    for (const char* name : {"Exp_Red_0002.png", "Exp_BF_0001.png"})
        tool.FileList()->findItems(name, Qt::MatchExactly).first()->setSelected(true);
    std::vector<std::string> shown;
    QTimer::singleShot(0, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* grid = qobject_cast<ImageSelectionDlg*>(widget);
            if (!grid || !grid->isVisible()) continue;
            for (const ImageSelectionItem& item : *grid->Items()) shown.push_back(item.path.c_str());
            grid->reject();
        }
    });
    tool.PreviewButton()->click();
    // List order, each joined to the folder.
    EXPECT_EQ(shown, (std::vector<std::string>{(folder / "Exp_BF_0001.png").string(),
                                               (folder / "Exp_Red_0002.png").string()}));
    EXPECT_EQ(ui.BoxTexts().size(), 1u);
    SaveScreenshot(tool, "VideoDlgWithPreview");
}

TEST_F(ImageToolWindowsTest, VideoToolKeepsTheContrastRangesInStep) {
    Prepare("video-contrast", "[VideoDlg]\r\nDirectory=%FOLDER%\r\nMonochrome=FALSE\r\nBrightfield=BF\r\nRed=Red\r\nRange0=100:9000\r\nRange2=5:6\r\n");
    RecordingUi ui;
    VideoDlg tool;
    tool.show();
    tool.OnBnClickedContrast();
    ASSERT_NE(g_ContrastDlg, nullptr);
    EXPECT_TRUE(g_ContrastDlg->isVisible());
    EXPECT_EQ(g_ContrastDlg->FolderEdit()->text().toStdString(), folder.string());
    EXPECT_EQ(g_ContrastDlg->Channel(1)->Text(), "Red");
    EXPECT_EQ(g_ContrastDlg->LowerIntensity(0), 100);
    EXPECT_EQ(g_ContrastDlg->UpperIntensity(0), 9000);
    g_ContrastDlg->SetLowerAndUpperIntensities(1, 200, 3000);
    ASSERT_TRUE(WaitFor([&] { return tool.RangeStatic(1)->text() == "200:3000"; }));
    EXPECT_EQ(tool.RangeStatic(0)->text(), "100:9000");
    EXPECT_EQ(tool.RangeStatic(2)->text(), "");  // no type for green
    ASSERT_TRUE(WaitFor([&] { return Setting("VideoDlg", "Range1") == "200:3000"; }));
    SaveScreenshot(*g_ContrastDlg, "ContrastDlgFromVideo");
    // A closed contrast window gets one last copy, then none.
    g_ContrastDlg->SetLowerAndUpperIntensities(1, 300, 3000);
    g_ContrastDlg->hide();
    ASSERT_TRUE(WaitFor([&] { return tool.RangeStatic(1)->text() == "300:3000"; }));
    g_ContrastDlg->SetLowerAndUpperIntensities(1, 400, 3000);
    QTest::qWait(2500);
    EXPECT_EQ(tool.RangeStatic(1)->text(), "300:3000");
    delete g_ContrastDlg;
}

TEST_F(ImageToolWindowsTest, TheCommandsToggleTheWindows) {
    Prepare("image-tools-toggle", "");
    CommandRouter commands;
    InstallToolWindows(commands, nullptr);
    for (int id : {cmd::FocusTool, cmd::FindMeniscus, cmd::CreateVideo}) {
        ASSERT_TRUE(commands.Execute(id));
        QWidget* window = id == cmd::FocusTool      ? static_cast<QWidget*>(g_FocusToolDlg)
                          : id == cmd::FindMeniscus ? static_cast<QWidget*>(g_FindMeniscusDlg)
                                                    : static_cast<QWidget*>(g_VideoDlg);
        ASSERT_NE(window, nullptr) << id;
        EXPECT_TRUE(window->isVisible());
        commands.Execute(id);
        EXPECT_FALSE(window->isVisible());
        delete window;
    }
    EXPECT_EQ(g_FocusToolDlg, nullptr);
    EXPECT_EQ(g_FindMeniscusDlg, nullptr);
    EXPECT_EQ(g_VideoDlg, nullptr);
}
