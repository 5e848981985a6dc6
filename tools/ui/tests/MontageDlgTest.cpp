// The montage window: its refusals, the remembered folder, and the montage
// command run on an experiment recorded on the virtual instrument.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QTimer>

#include "app/FrameCommands.h"
#include "imaging/tests/RecordedExperimentFixture.h"
#include "platform/testsupport/QtTestApplication.h"
#include "tools/MontageRequest.h"
#include "tools/ui/MontageDlg.h"
#include "tools/ui/ToolWindows.h"
#include "tools/ui/tests/ToolUiTestSupport.h"

using namespace tools_testing;

TEST(MontageDlg, RefusesAndRemembersTheFolder) {
    testsupport::EnsureApplication();
    const fs::path root = MakeDataRoot("montage-window");
    const std::string plain = (root / "plain").string();
    fs::create_directories(plain);
    RecordingUi ui;
    g_MontageExperimentDirectory.clear();
    {
        MontageDlg dialog;
        dialog.show();
        EXPECT_FALSE(dialog.OnBnClickedOk());
        dialog.DirectoryEdit()->setText(QString::fromStdString(plain));
        dialog.NameEdit()->setText("m");
        EXPECT_FALSE(dialog.OnBnClickedOk());
        EXPECT_TRUE(dialog.isVisible());
        SaveScreenshot(dialog, "MontageDlg");
        dialog.reject();  // Cancel keeps the folder of the refused OK
    }
    EXPECT_EQ(ui.BoxTexts(), (std::vector<std::string>{"Please select the experiment directory.",
                                                       "The selected directory is not a valid experiment directory."}));
    MontageDlg next;
    EXPECT_EQ(next.DirectoryEdit()->text().toStdString(), plain);
}

using MontageCommandTest = recordedtest::RecordedExperimentFixture;

TEST_F(MontageCommandTest, TheCommandMakesTheMontageOfARecordedExperiment) {
    testsupport::EnsureApplication();
    recordedtest::RecordingPlan plan;
    plan.flowingFrames = 12;
    const auto recorded = Record(plan);
    if (HasFatalFailure()) return;

    RecordingUi ui;
    CommandRouter commands;
    InstallToolWindows(commands, nullptr);
    QTimer::singleShot(0, [&] {
        MontageDlg* dialog = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* found = qobject_cast<MontageDlg*>(widget); found && found->isVisible()) dialog = found;
        }
        ASSERT_NE(dialog, nullptr);
        dialog->DirectoryEdit()->setText(QString::fromStdString(recorded.folder.string()));
        dialog->NameEdit()->setText("Flow Montage");
        dialog->OnBnClickedOk();
    });
    ASSERT_TRUE(commands.Execute(cmd::Montage));
    const std::vector<std::string> boxes = ui.BoxTexts();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Montage image is created successfully and it is saved as Flow Montage.png in " +
                            recorded.folder.string() + " directory.");
    EXPECT_TRUE(fs::exists(recorded.folder / "Flow Montage.png"));
    EXPECT_TRUE(fs::exists(recorded.folder / "Flow Montage.small.png"));
    EXPECT_EQ(g_MontageExperimentDirectory, recorded.folder.string());
}
