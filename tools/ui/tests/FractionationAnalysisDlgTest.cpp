// The fractionation window: its settings defaults, the capture log and rows
// loaded after a folder change, the background choice enabling Run, a run on
// the window's worker with its report opened, and the folder tools'
// exclusivity.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include <opencv2/imgcodecs.hpp>

#include "platform/testsupport/QtTestApplication.h"
#include "tools/ui/FractionationAnalysisDlg.h"
#include "tools/ui/ImageAnalysisToolDlg.h"
#include "tools/ui/tests/ToolUiTestSupport.h"

using namespace tools_testing;

namespace {

void WriteImage(const fs::path& path, int from, int to) {
    cv::Mat image(200, 100, CV_16UC1, cv::Scalar(4000));
    if (from >= 0) image.rowRange(from, to + 1).setTo(cv::Scalar(2000));
    cv::imwrite(path.string(), image);
}

fs::path MakeFolder(const std::string& name) {
    const fs::path root = MakeDataRoot(name, "[ROI]\r\nitem0=\"Band\",10,89,20,179\r\n");
    const fs::path images = root / "images";
    WriteFile(root / "LIB" / "Fr.pa_params", "[RightSideProjection]\r\nSmoothingWindowMicrons=0\r\n");
    WriteFile(images / "ExperimentSettings.ini",
              "[CalibrationSettings]\r\nimage_pixels_per_mm=1000\r\nUpperChannel=40\r\nLowerChannel=159\r\n"
              "UpperMagnet=50\r\nLowerMagnet=150\r\n[Cartridge]\r\nCartridgeUpperChannel=40\r\nCartridgeLowerChannel=159\r\n");
    WriteImage(images / "bg0.png", -1, -1);
    WriteImage(images / "bg1.png", -1, -1);
    WriteImage(images / "a.png", 60, 70);
    WriteImage(images / "b.png", 130, 140);
    std::string log = std::string(kCaptureLogHeader) + "\r\n";
    for (const char* n : {"a.png", "b.png", "bg0.png", "bg1.png"})
        log += std::string(n) + "\td\tt\t100\tOK\t0\t1\t1\t1\t1\t2\t0\t0\r\n";
    WriteFile(images / "run.log", log);
    return images;
}

}  // namespace

TEST(FractionationAnalysisDlg, DefaultsFromAnEmptySection)
{
    testsupport::EnsureApplication();
    MakeDataRoot("fract_dlg_defaults");
    FractionationAnalysisDlg dialog;
    EXPECT_TRUE(dialog.FolderEdit()->text().isEmpty());
    EXPECT_EQ(dialog.FilterEdit()->text(), "*.png");
    EXPECT_TRUE(dialog.BrightFieldBox()->isChecked());
    EXPECT_FALSE(dialog.RunButton()->isEnabled());
    EXPECT_FALSE(dialog.OpenLogButton()->isEnabled());
}

TEST(FractionationAnalysisDlg, RunsOnTheFolderAndOpensTheReport)
{
    testsupport::EnsureApplication();
    const fs::path images = MakeFolder("fract_dlg_run");
    WriteFile(fs::path(g_IniPath.GetString()),
              ReadFile(fs::path(g_IniPath.GetString())) + "[FractionationAnalysisDlg]\r\nDirectory=" + images.string() +
                  "\r\nProjectionAnalysisParams=Fr\r\nROI=Band\r\nBrightField=false\r\n");
    RecordingUi ui;
    FractionationAnalysisDlg dialog;
    EXPECT_FALSE(dialog.BrightFieldBox()->isChecked());
    dialog.show();
    ASSERT_TRUE(WaitFor([&] { return dialog.OpenLogButton()->isEnabled() && dialog.FileList()->count() == 4; }));
    EXPECT_EQ(dialog.Log().Rows.count, 4);
    ASSERT_TRUE(WaitFor([&] { return dialog.Rows() == ChannelMagnetRows{40, 159, 50, 150}; }));

    // A grid that ends with no image marked leaves Run disabled.
    dialog.SetBackgroundImages({});
    EXPECT_FALSE(dialog.RunButton()->isEnabled());
    EXPECT_EQ(dialog.BackgroundCountEdit()->text(), "0");
    dialog.SetBackgroundImages({"bg0.png", "bg1.png"});
    EXPECT_TRUE(dialog.RunButton()->isEnabled());
    EXPECT_TRUE(dialog.PreviewButton()->isEnabled());
    EXPECT_EQ(dialog.BackgroundCountEdit()->text(), "2");

    for (int i = 0; i < dialog.FileList()->count(); ++i) {
        QListWidgetItem* item = dialog.FileList()->item(i);
        item->setSelected(item->text() == "a.png" || item->text() == "b.png");
    }
    SaveScreenshot(dialog, "fractionation_analysis");
    ASSERT_TRUE(dialog.OnBnClickedRun());
    ASSERT_TRUE(WaitFor([&] { return !dialog.IsRunning(); }));
    EXPECT_TRUE(ui.BoxTexts().empty()) << ui.BoxTexts().front();
    ASSERT_FALSE(dialog.LastReport().empty());
    const std::string report = ReadFile(dialog.LastReport());
    // Pumps at 1 and 2 put the divider at about 0.387 of the channel, above
    // b's band and below a's: a goes wholly to the top.
    EXPECT_NE(report.find("a.png\t1.000000\t0.500000\t0.38"), std::string::npos) << report.substr(0, 800);
    EXPECT_NE(report.find("total_fraction_cells_to_the_top\t0.500000"), std::string::npos);
    ASSERT_FALSE(ui.started.empty());
    EXPECT_TRUE(dialog.RunButton()->isEnabled());

    // The stored BrightField is written as TRUE/FALSE with the other keys.
    dialog.SaveSettings();
    const std::string ini = ReadFile(fs::path(g_IniPath.GetString()));
    EXPECT_NE(ini.find("BrightField=FALSE"), std::string::npos);
    EXPECT_NE(ini.find("ChannelDivider=\r\n"), std::string::npos);
}

TEST(FractionationAnalysisDlg, ShowingItHidesTheOtherFolderTools)
{
    testsupport::EnsureApplication();
    MakeDataRoot("fract_dlg_exclusive");
    ImageAnalysisToolDlg batch;
    FractionationAnalysisDlg fractionation;
    batch.show();
    EXPECT_TRUE(batch.isVisible());
    fractionation.show();
    EXPECT_FALSE(batch.isVisible());
    batch.show();
    EXPECT_FALSE(fractionation.isVisible());
}
