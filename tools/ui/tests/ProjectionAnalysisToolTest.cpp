// The projection analysis window: its settings, the parameter sets offered,
// the background choice on the image grid, the folder's rows read and
// placed, the controls a run disables, the request built from the controls,
// the folder tools' exclusivity and the main window's toggle.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include <opencv2/imgcodecs.hpp>

#include "app/FrameCommands.h"
#include "imaging/RenderList.h"
#include "imaging/RenderOverlays.h"
#include "imaging/ui/ROIManager.h"
#include "platform/testsupport/QtTestApplication.h"
#include "support/Profile.h"
#include "support/ui/DialogControls.h"
#include "tools/ui/FractionationAnalysisDlg.h"
#include "tools/ui/ImageAnalysisToolDlg.h"
#include "tools/ui/ImageSelectionDlg.h"
#include "tools/ui/ParamSetCombo.h"
#include "tools/ui/ProjectionAnalysisDlg.h"
#include "tools/ui/ProjectionAnalysisTool.h"
#include "tools/ui/ToolWindows.h"
#include "tools/ui/tests/ToolUiTestSupport.h"

using namespace tools_testing;

namespace {

std::string Setting(const std::string& file, const char* section, const char* key) {
    char buffer[1024] = "";
    Tovanix::E_GetPrivateProfileString(section, key, "", buffer, 1023, file.c_str());
    return buffer;
}

void WriteImage(const fs::path& path, int level) {
    cv::Mat image(120, 160, CV_16UC1, cv::Scalar(level));
    image.rowRange(50, 70).setTo(cv::Scalar(level / 2));
    cv::imwrite(path.string(), image);
}

// A data root with an image folder of three captures and its settings file.
fs::path MakeImageFolder(const std::string& name, const std::string& ini = "") {
    const fs::path root = MakeDataRoot(name, ini);
    const fs::path images = root / "images";
    WriteFile(images / "ExperimentSettings.ini",
              "[CalibrationSettings]\r\nimage_pixels_per_mm=1000\r\nUpperMagnet=20\r\nLowerMagnet=100\r\n"
              "[Cartridge]\r\nCartridgeUpperChannel=10\r\nCartridgeLowerChannel=110\r\n");
    WriteImage(images / "Exp_BF_0001.png", 3000);
    WriteImage(images / "Exp_BF_0002.png", 3200);
    WriteImage(images / "Exp_BF_0003.png", 3400);
    return images;
}

void SelectFiles(ToolWindow& tool, const std::vector<std::string>& names) {
    for (int i = 0; i < tool.FileList()->count(); ++i) {
        QListWidgetItem* item = tool.FileList()->item(i);
        item->setSelected(std::find(names.begin(), names.end(), item->text().toStdString()) != names.end());
    }
}

// Answers the next modal image grid: marks the cells given, then OK or Cancel.
void AnswerGrid(std::vector<int> cells, bool ok) {
    QTimer::singleShot(0, [cells, ok] {
        auto* grid = qobject_cast<ImageSelectionDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(grid, nullptr);
        grid->Rebuild();
        for (int cell : cells) {
            const GridRect& r = grid->Cells()[static_cast<size_t>(cell)].rect;
            grid->ClickAt(QPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2));
        }
        if (ok) {
            grid->accept();
        } else {
            grid->reject();
        }
    });
}

}  // namespace

TEST(ProjectionAnalysisTool, SettingsAreLoadedAndSavedInTheirOrder)
{
    testsupport::EnsureApplication();
    MakeDataRoot("proj_tool_settings",
                 "[ProjectionAnalysisTool]\r\nDirectory=/data/run 7\r\nProjectionAnalysisParams=Bands\r\nROI=Channel\r\n"
                 "Filter=*.tif\r\nLPCurve=Curve A\r\nOpenSummary=true\r\nGd_conc=25\r\n");
    ProjectionAnalysisTool tool;
    EXPECT_EQ(tool.windowTitle(), "Projection Analysis Tool");
    EXPECT_EQ(tool.FolderEdit()->text(), "/data/run 7");
    EXPECT_EQ(tool.ParamsCombo()->currentText(), "Bands");
    EXPECT_EQ(tool.RoiCombo()->currentText(), "Channel");
    EXPECT_EQ(tool.FilterEdit()->text(), "*.tif");
    EXPECT_EQ(tool.LPCurveCombo()->currentText(), "Curve A");
    EXPECT_TRUE(tool.OpenSummaryBox()->isChecked());  // "true" in lower case checks it
    EXPECT_EQ(tool.GdEdit()->text(), "25");

    tool.GdEdit()->setText("12.5");
    ASSERT_TRUE(tool.SaveSettings());
    const std::string ini = ReadFile(fs::path(g_IniPath.GetString()));
    EXPECT_NE(ini.find("[ProjectionAnalysisTool]\r\nDirectory=/data/run 7\r\nProjectionAnalysisParams=Bands\r\nROI=Channel\r\n"
                       "Filter=*.tif\r\nLPCurve=Curve A\r\nOpenSummary=TRUE\r\nGd_conc=12.5\r\n"),
              std::string::npos)
        << ini;

    // "FALSE" in any case clears the box; any other text leaves it.
    struct Case {
        const char* stored;
        bool before;
        bool after;
    } cases[] = {{"fAlSe", true, false}, {"TRUE", false, true}, {"yes", true, true}, {"", false, false}};
    for (const Case& c : cases) {
        Tovanix::E_WritePrivateProfileString("ProjectionAnalysisTool", "OpenSummary", c.stored, g_IniPath.GetString());
        tool.OpenSummaryBox()->setChecked(c.before);
        tool.LoadSettings();
        EXPECT_EQ(tool.OpenSummaryBox()->isChecked(), c.after) << c.stored;
    }

    // An empty section: the filter alone has a default.
    MakeDataRoot("proj_tool_settings_empty");
    ProjectionAnalysisTool fresh;
    EXPECT_TRUE(fresh.FolderEdit()->text().isEmpty());
    EXPECT_EQ(fresh.FilterEdit()->text(), "*.png");
    EXPECT_FALSE(fresh.OpenSummaryBox()->isChecked());
    EXPECT_FALSE(fresh.RunButton()->isEnabled());
    EXPECT_FALSE(fresh.PreviewButton()->isEnabled());
    EXPECT_FALSE(fresh.StopButton()->isEnabled());
}

TEST(ProjectionAnalysisTool, ParameterSetsAreListedUnderTheirFirstName)
{
    testsupport::EnsureApplication();
    const fs::path root = MakeDataRoot("proj_tool_sets");
    WriteFile(root / "LIB" / "Wide.v2.PA_params", "");
    WriteFile(root / "LIB" / "narrow.pa_params", "");
    WriteFile(root / "LIB" / "Curve.LP_curve_params", "");
    fs::create_directories(root / "LIB" / "folder.PA_params");
    ProjectionAnalysisTool tool;
    tool.ParamsCombo()->SetText("typed");
    tool.ParamsCombo()->Refill();
    std::vector<std::string> items;
    for (int i = 0; i < tool.ParamsCombo()->count(); ++i) items.push_back(tool.ParamsCombo()->itemText(i).toStdString());
    EXPECT_EQ(items, (std::vector<std::string>{"narrow", "Wide"}));
    EXPECT_EQ(tool.ParamsCombo()->currentText(), "typed");
    tool.LPCurveCombo()->Refill();
    ASSERT_EQ(tool.LPCurveCombo()->count(), 1);
    EXPECT_EQ(tool.LPCurveCombo()->itemText(0), "Curve");
}

TEST(ProjectionAnalysisTool, BackgroundChoiceDecidesRunAndPreview)
{
    testsupport::EnsureApplication();
    const fs::path images = MakeImageFolder("proj_tool_background");
    RecordingUi ui;
    ProjectionAnalysisTool tool;
    tool.FolderEdit()->setText(QString::fromStdString(images.string()));
    ASSERT_TRUE(tool.FillFileListBox());

    tool.OnBnClickedSelectBackgroundImages();
    EXPECT_EQ(ui.BoxTexts(), (std::vector<std::string>{"You must select at least one file from the list."}));

    // The grid shows the selected files in list order; the marked ones become
    // the background images.
    SelectFiles(tool, {"Exp_BF_0001.png", "Exp_BF_0003.png"});
    AnswerGrid({1}, true);
    tool.OnBnClickedSelectBackgroundImages();
    EXPECT_EQ(tool.BackgroundImages(), (std::vector<std::string>{"Exp_BF_0003.png"}));
    EXPECT_EQ(tool.BackgroundCountEdit()->text(), "1");
    EXPECT_TRUE(tool.RunButton()->isEnabled());
    EXPECT_TRUE(tool.PreviewButton()->isEnabled());

    // Cancel keeps the previous choice, whatever was marked.
    AnswerGrid({0, 1}, false);
    tool.OnBnClickedSelectBackgroundImages();
    EXPECT_EQ(tool.BackgroundImages(), (std::vector<std::string>{"Exp_BF_0003.png"}));
    EXPECT_EQ(tool.BackgroundCountEdit()->text(), "1");
    EXPECT_TRUE(tool.RunButton()->isEnabled());

    // OK with nothing marked: no background, and neither Run nor Preview.
    AnswerGrid({}, true);
    tool.OnBnClickedSelectBackgroundImages();
    EXPECT_TRUE(tool.BackgroundImages().empty());
    EXPECT_EQ(tool.BackgroundCountEdit()->text(), "0");
    EXPECT_FALSE(tool.RunButton()->isEnabled());
    EXPECT_FALSE(tool.PreviewButton()->isEnabled());
    EXPECT_EQ(ui.BoxTexts().size(), 1u);
}

TEST(ProjectionAnalysisTool, AFolderWithoutSettingsIsReportedOnceAfterTheLastEdit)
{
    testsupport::EnsureApplication();
    const fs::path images = MakeImageFolder("proj_tool_no_settings");
    const fs::path bare = images.parent_path() / "bare";
    fs::create_directories(bare);
    RecordingUi ui;
    ProjectionAnalysisTool tool;
    tool.show();
    const std::string typed = bare.string();
    for (size_t n = typed.size() - 4; n <= typed.size(); ++n) tool.FolderEdit()->setText(QString::fromStdString(typed.substr(0, n)));
    ASSERT_TRUE(WaitFor([&] { return !ui.BoxTexts().empty() && !tool.IsTimerActive(1003); }));
    EXPECT_EQ(ui.BoxTexts(), (std::vector<std::string>{"There is no ExperimentSettings.ini file here: " + typed}));
    EXPECT_EQ(tool.Rows(), (ChannelMagnetRows{0, 0, 0, 0}));

    // A folder with its settings file: the rows follow, without a message.
    tool.FolderEdit()->setText(QString::fromStdString(images.string()));
    ASSERT_TRUE(WaitFor([&] { return tool.Rows() == ChannelMagnetRows{10, 110, 20, 100}; }));
    EXPECT_EQ(ui.BoxTexts().size(), 1u);
    ASSERT_TRUE(WaitFor([&] { return tool.FileList()->count() == 3; }));
    EXPECT_EQ(Setting(g_IniPath.str(), "ProjectionAnalysisTool", "Directory"), images.string());
}

TEST(ProjectionAnalysisTool, PlacedRowsGoToTheVisibleToolsFolder)
{
    testsupport::EnsureApplication();
    const fs::path images = MakeImageFolder("proj_tool_rows", "[CalibrationSettings]\r\nUpperMagnet=5\r\n");
    const std::string folderIni = (images / "ExperimentSettings.ini").string();
    ProjectionAnalysisTool tool;
    tool.FolderEdit()->setText(QString::fromStdString(images.string()));
    ASSERT_TRUE(tool.LoadCalibrationValues());

    // Names in any case; magnets to [CalibrationSettings], channels to
    // [Cartridge]; another name writes nothing.
    EXPECT_TRUE(tool.StoreCalibrationValue("uppermagnet", 25));
    EXPECT_TRUE(tool.StoreCalibrationValue("LowerChannel", 105));
    EXPECT_FALSE(tool.StoreCalibrationValue("MiddleMagnet", 1));
    EXPECT_EQ(Setting(folderIni, "CalibrationSettings", "UpperMagnet"), "25");
    EXPECT_EQ(Setting(folderIni, "Cartridge", "CartridgeLowerChannel"), "105");
    EXPECT_EQ(Setting(folderIni, "CalibrationSettings", "MiddleMagnet"), "");
    EXPECT_EQ(tool.Rows(), (ChannelMagnetRows{10, 105, 25, 100}));

    // Shown, the tool takes the views' placed lines and lends them its rows.
    tool.show();
    EXPECT_TRUE(SetCalibrationLine("LowerMagnet", 90));
    EXPECT_EQ(Setting(folderIni, "CalibrationSettings", "LowerMagnet"), "90");
    ApplyToolChannelMagnetLines();
    EXPECT_EQ(g_ChannelMagnetLines[3].load(), 90);
    tool.hide();
    ApplyToolChannelMagnetLines();
    EXPECT_FALSE(g_ToolLinesActive);

    // Hidden, it passes a placed line to a visible fractionation tool.
    const fs::path other = images.parent_path() / "other";
    WriteFile(other / "ExperimentSettings.ini", "[CalibrationSettings]\r\nLowerMagnet=1\r\n");
    FractionationAnalysisDlg fractionation;
    fractionation.FolderEdit()->setText(QString::fromStdString(other.string()));
    fractionation.show();
    EXPECT_TRUE(SetCalibrationLine("LowerMagnet", 95));
    EXPECT_EQ(Setting((other / "ExperimentSettings.ini").string(), "CalibrationSettings", "LowerMagnet"), "95");
    EXPECT_EQ(Setting(folderIni, "CalibrationSettings", "LowerMagnet"), "90");
    fractionation.hide();

    // Neither visible: the line is kept nowhere.
    EXPECT_TRUE(SetCalibrationLine("UpperMagnet", 7));
    EXPECT_EQ(Setting(g_IniPath.str(), "CalibrationSettings", "UpperMagnet"), "5");
    EXPECT_EQ(Setting(folderIni, "CalibrationSettings", "UpperMagnet"), "25");
}

TEST(ProjectionAnalysisTool, ARunDisablesItsInputsAndStopIsTheOnlyWayOut)
{
    testsupport::EnsureApplication();
    MakeImageFolder("proj_tool_controls");
    ProjectionAnalysisTool tool;
    const std::vector<QWidget*> inputs = {
        tool.FolderEdit(),   tool.BrowseButton(),   tool.FilterEdit(),     tool.RunButton(),
        tool.LPCurveCombo(), tool.LPCurveButton(),  tool.GdEdit(),         tool.FileList(),
        tool.OpenSummaryBox(), tool.ParamsCombo(), tool.ParamsEditorButton(), tool.RoiManagerButton(),
        tool.PreviewButton(), tool.RoiCombo()};
    tool.SetBackgroundImages({"Exp_BF_0001.png"});

    tool.DisableControls();
    for (QWidget* control : inputs) EXPECT_FALSE(control->isEnabled()) << Tovanix::GetDlgCtrlID(control);
    EXPECT_TRUE(tool.StopButton()->isEnabled());
    EXPECT_TRUE(tool.BackgroundButton()->isEnabled());
    EXPECT_TRUE(tool.BackgroundCountEdit()->isEnabled());

    tool.EnableControls();
    for (QWidget* control : inputs) EXPECT_TRUE(control->isEnabled()) << Tovanix::GetDlgCtrlID(control);
    EXPECT_FALSE(tool.StopButton()->isEnabled());

    // Without a background image Run and Preview stay disabled.
    tool.SetBackgroundImages({});
    tool.DisableControls();
    tool.EnableControls();
    EXPECT_FALSE(tool.RunButton()->isEnabled());
    EXPECT_FALSE(tool.PreviewButton()->isEnabled());
    EXPECT_TRUE(tool.FolderEdit()->isEnabled());
}

TEST(ProjectionAnalysisTool, RunTakesItsRequestFromTheControlsAndShowsARefusal)
{
    testsupport::EnsureApplication();
    const fs::path images = MakeImageFolder("proj_tool_request");
    RecordingUi ui;
    ProjectionAnalysisTool tool;
    tool.FolderEdit()->setText(QString::fromStdString(images.string()));
    ASSERT_TRUE(tool.FillFileListBox());
    SelectFiles(tool, {"Exp_BF_0003.png", "Exp_BF_0001.png"});
    tool.SetBackgroundImages({"Exp_BF_0002.png"});
    tool.ParamsCombo()->SetText("Bands");
    tool.RoiCombo()->setEditText("Channel");
    tool.LPCurveCombo()->SetText("Curve A");
    tool.GdEdit()->setText(" 25 ");
    tool.OpenSummaryBox()->setChecked(true);

    const ProjectionRunRequest request = tool.BuildRunRequest();
    EXPECT_EQ(request.folder, images.string());
    EXPECT_EQ(request.fileNames, (std::vector<std::string>{"Exp_BF_0001.png", "Exp_BF_0003.png"}));
    EXPECT_EQ(request.backgroundNames, (std::vector<std::string>{"Exp_BF_0002.png"}));
    EXPECT_EQ(request.paramSetName, "Bands");
    EXPECT_EQ(request.roiName, "Channel");
    EXPECT_EQ(request.lpCurveName, "Curve A");
    EXPECT_EQ(request.gdText, " 25 ");
    EXPECT_TRUE(request.openSummary);
    EXPECT_EQ(request.programName, "Vellora");
    EXPECT_EQ(request.programVersion, "1.0.0.0");

    // No projection parameter set exists: the run is refused in a message
    // box and nothing starts.
    EXPECT_FALSE(tool.OnBnClickedRun());
    EXPECT_EQ(ui.BoxTexts().size(), 1u);
    EXPECT_FALSE(tool.IsRunning());
    EXPECT_TRUE(tool.RunButton()->isEnabled());
    EXPECT_TRUE(tool.FolderEdit()->isEnabled());
    EXPECT_FALSE(tool.StopButton()->isEnabled());
}

TEST(ProjectionAnalysisTool, RunWritesItsRunFolderAndGivesTheControlsBack)
{
    testsupport::EnsureApplication();
    const fs::path images = MakeImageFolder("proj_tool_run", "[ROI]\r\nitem0=\"Band\",10,149,10,109\r\n");
    const fs::path lib = images.parent_path() / "LIB";
    WriteFile(lib / "Bands.PA_params",
              "[RightSideProjection]\r\nSmoothingWindowMicrons=5\r\nNumPeaksToFind=1\r\nStdevIntegrationArea=1.0\r\n"
              "IntegrationSamples=11\r\nFindValleys=TRUE\r\n");
    WriteFile(lib / "Curve.LP_curve_params",
              "[LPCurveParams]\r\nChiGd_factor=0.0003\r\nrhobuffer=1.0\r\nmunot=1.0\r\ng=9.81\r\ncubic=0\r\n"
              "square=0\r\nlinear=2\r\nconstant=1\r\nmag_gap=1.5\r\nChiPar=0\r\n");
    RecordingUi ui;
    ProjectionAnalysisTool tool;
    tool.FolderEdit()->setText(QString::fromStdString(images.string()));
    ASSERT_TRUE(tool.FillFileListBox());
    SelectFiles(tool, {"Exp_BF_0001.png", "Exp_BF_0003.png"});
    tool.SetBackgroundImages({"Exp_BF_0002.png"});
    tool.ParamsCombo()->SetText("Bands");
    tool.RoiCombo()->setEditText("Band");
    tool.LPCurveCombo()->SetText("Curve");
    tool.GdEdit()->setText("50");
    tool.OpenSummaryBox()->setChecked(false);

    ASSERT_TRUE(tool.OnBnClickedRun()) << (ui.BoxTexts().empty() ? "" : ui.BoxTexts()[0]);
    ASSERT_TRUE(WaitFor([&] { return !tool.IsRunning(); }));
    ASSERT_TRUE(WaitFor([&] { return tool.RunButton()->isEnabled(); }));
    EXPECT_TRUE(ui.BoxTexts().empty()) << ui.BoxTexts()[0];
    EXPECT_FALSE(tool.StopButton()->isEnabled());

    // One time-stamped run folder with the summary named after the first file.
    std::vector<fs::path> runs;
    for (const auto& entry : fs::directory_iterator(images)) {
        if (entry.is_directory()) runs.push_back(entry.path());
    }
    ASSERT_EQ(runs.size(), 1u);
    const std::string summary = ReadFile(runs[0] / "Exp_BF_0001.Analysis.txt");
    EXPECT_NE(summary.find("#LP_curve=Curve"), std::string::npos);
    EXPECT_NE(summary.find("Exp_BF_0001.png\t"), std::string::npos);
    EXPECT_NE(summary.find("Exp_BF_0003.png\t"), std::string::npos);
    EXPECT_TRUE(fs::exists(runs[0] / "Exp_BF_0001.[vert_proj].txt"));
    EXPECT_TRUE(fs::exists(runs[0] / "Exp_BF_0001.[horz_proj].txt"));
}

TEST(ProjectionAnalysisTool, ShowingItHidesTheOtherFolderToolsAndItsButtonsShowTheirWindows)
{
    testsupport::EnsureApplication();
    const fs::path images = MakeImageFolder("proj_tool_exclusive");
    ImageAnalysisToolDlg batch;
    FractionationAnalysisDlg fractionation;
    ProjectionAnalysisTool projection;
    batch.show();
    fractionation.show();
    projection.show();
    EXPECT_FALSE(batch.isVisible());
    EXPECT_FALSE(fractionation.isVisible());
    fractionation.show();
    EXPECT_FALSE(projection.isVisible());
    projection.show();

    // "..." beside the set shows the editor and never hides it.
    ASSERT_EQ(g_ProjectionAnalysisDlg, nullptr);
    projection.ParamsEditorButton()->click();
    ASSERT_NE(g_ProjectionAnalysisDlg, nullptr);
    EXPECT_TRUE(g_ProjectionAnalysisDlg->isVisible());
    projection.ParamsEditorButton()->click();
    EXPECT_TRUE(g_ProjectionAnalysisDlg->isVisible());
    delete g_ProjectionAnalysisDlg;
    EXPECT_EQ(g_ProjectionAnalysisDlg, nullptr);

    // Both folder tools' ROI manager buttons show the one ROI manager.
    delete FindROIManager();
    projection.RoiManagerButton()->click();
    ASSERT_NE(FindROIManager(), nullptr);
    EXPECT_TRUE(FindROIManager()->isVisible());
    FindROIManager()->hide();
    fractionation.RoiManagerButton()->click();
    EXPECT_TRUE(FindROIManager()->isVisible());
    delete FindROIManager();

    // "..." beside the LP curve opens the chosen curve's file as text.
    RecordingUi ui;
    projection.LPCurveCombo()->SetText("Curve A");
    projection.LPCurveButton()->click();
    ASSERT_EQ(ui.started.size(), 1u);
    const std::string opened = ui.started[0].back();
    EXPECT_NE(opened.find("Curve A.LP_curve_params"), std::string::npos) << opened;

    // A look at the window with a folder listed.
    projection.FolderEdit()->setText(QString::fromStdString(images.string()));
    projection.FillFileListBox();
    SelectFiles(projection, {"Exp_BF_0002.png"});
    projection.SetBackgroundImages({"Exp_BF_0001.png"});
    SaveScreenshot(projection, "projection_analysis_tool");
}

TEST(ProjectionAnalysisTool, TheMainWindowCommandTogglesIt)
{
    testsupport::EnsureApplication();
    MakeDataRoot("proj_tool_command");
    CommandRouter commands;
    InstallToolWindows(commands, nullptr);
    ASSERT_EQ(g_ProjectionAnalysisTool, nullptr);
    ASSERT_TRUE(commands.Execute(cmd::ProjectionAnalysisTool));
    ASSERT_NE(g_ProjectionAnalysisTool, nullptr);
    EXPECT_TRUE(g_ProjectionAnalysisTool->isVisible());
    ProjectionAnalysisTool* first = g_ProjectionAnalysisTool;
    ASSERT_TRUE(commands.Execute(cmd::ProjectionAnalysisTool));
    EXPECT_FALSE(first->isVisible());
    ASSERT_TRUE(commands.Execute(cmd::ProjectionAnalysisTool));
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(g_ProjectionAnalysisTool, first);
    delete g_ProjectionAnalysisTool;
    EXPECT_EQ(g_ProjectionAnalysisTool, nullptr);
}

TEST(ProjectionAnalysisTool, ViewsTakeProjectionValuesFromTheShownEditorThenTheShownFractionationTool)
{
    testsupport::EnsureApplication();
    const fs::path images = MakeImageFolder("proj_tool_curves", "[RightSideProjection]\r\nNumPeaksToFind=1\r\n"
                                                                "[ProjectionAnalysisTool]\r\nProjectionAnalysisParams=Edited\r\n");
    const fs::path lib = images.parent_path() / "LIB";
    WriteFile(lib / "Edited.pa_params", "[RightSideProjection]\r\nNumPeaksToFind=4\r\n");
    WriteFile(lib / "Fract.pa_params", "[RightSideProjection]\r\nNumPeaksToFind=6\r\n");
    const ROIRect roi{10, 20, 100, 110};
    auto peaks = [&roi] {
        ProjectionAnalysisParams params;
        ChooseRightSideProjectionParams(roi, params);
        return params.numPeaksToFind;
    };

    FractionationAnalysisDlg fractionation;
    fractionation.FolderEdit()->setText(QString::fromStdString(images.string()));
    fractionation.ParamsCombo()->setEditText("Fract");
    ProjectionAnalysisDlg editor;
    EXPECT_EQ(peaks(), 1);  // neither shown: the main settings file
    fractionation.show();
    EXPECT_EQ(peaks(), 6);
    editor.show();
    EXPECT_EQ(peaks(), 4);
    editor.PeaksEdit()->setText("3");  // every edit is drawn at once
    EXPECT_EQ(peaks(), 3);
    editor.hide();
    fractionation.hide();
    EXPECT_EQ(peaks(), 1);
}
