// The variable watch window: disabled without a console run, values handed
// over from the script thread at most once a second, names matched without
// case, "Watch All", the drop-downs, and the main window's command.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "app/FrameCommands.h"
#include "operator/ui/PromptDialogs.h"
#include "operator/ui/PromptWindows.h"
#include "operator/ui/VariableWatchDlg.h"
#include "platform/Clock.h"
#include "platform/testsupport/QtTestApplication.h"
#include "script/tests/ScriptRunTestSupport.h"
#include "script/tests/ScriptTestSupport.h"

namespace {

using scripttest::Declared;

class VariableWatchDlgTest : public scripttest::ScriptFolderTest {
protected:
    void SetUp() override
    {
        testsupport::EnsureApplication();
        ScriptFolderTest::SetUp();
    }
    void TearDown() override
    {
        scripttest::StandInWait::Instance().ReleaseAll();
        observer.WaitForEnds(0);
        ScriptFolderTest::TearDown();
    }

    // Starts a console run that waits until the test ends.
    void StartConsoleRun()
    {
        const std::string path = Write("Scripts/hold.scr", "Wait(1000);\n");
        CString error;
        ASSERT_TRUE(Script::RunScript(0, path.c_str(), error)) << error.GetString();
        ASSERT_TRUE(scripttest::StandInWait::Instance().WaitUntilBlocked());
    }

    // Hands the variables over from a thread of their own, as the executor does.
    static void HandOver(VariableWatchDlg& dialog, const std::vector<Variable>& variables)
    {
        std::thread script([&] { dialog.SetVariables(variables); });
        script.join();
    }

    // Lets the window's 10 ms timer run.
    static void Serve(int ms = 60)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }

    platform::ManualClock clock;
    platform::ScopedClock useClock{clock};
};

TEST_F(VariableWatchDlgTest, WithoutAConsoleRunTheRowsAreDisabled)
{
    VariableWatchDlg dialog;
    dialog.show();
    EXPECT_FALSE(dialog.WatchAllButton()->isEnabled());
    EXPECT_FALSE(dialog.NameCombo(9)->isEnabled());
    EXPECT_FALSE(dialog.ValueEdit(0)->isEnabled());
}

TEST_F(VariableWatchDlgTest, ValuesArriveAtMostOnceASecondAndNamesMatchWithoutCase)
{
    StartConsoleRun();
    VariableWatchDlg dialog;
    dialog.show();
    EXPECT_TRUE(dialog.WatchAllButton()->isEnabled());
    dialog.NameCombo(0)->setEditText("COUNT");
    dialog.NameCombo(1)->setEditText("operator");
    dialog.NameCombo(2)->setEditText("nosuch");
    dialog.ValueEdit(2)->setText("left alone");

    std::vector<Variable> variables =
        Declared({"int Count = 7;", "STRING Operator = \"Ada\";", "double Volume = 12.5;"});
    HandOver(dialog, variables);
    Serve();
    EXPECT_EQ(dialog.ValueEdit(0)->text(), "7");
    EXPECT_EQ(dialog.ValueEdit(1)->text(), "Ada");
    EXPECT_EQ(dialog.ValueEdit(2)->text(), "left alone");

    // Within the same second the new value is not handed over.
    variables[0].iValue = 8;
    clock.Advance(std::chrono::milliseconds(999));
    HandOver(dialog, variables);
    Serve();
    EXPECT_EQ(dialog.ValueEdit(0)->text(), "7");
    clock.Advance(std::chrono::milliseconds(1));
    HandOver(dialog, variables);
    Serve();
    EXPECT_EQ(dialog.ValueEdit(0)->text(), "8");

    // "Watch All" names the rows in the variables' order and empties the values.
    dialog.WatchAllButton()->click();
    EXPECT_EQ(dialog.NameCombo(0)->currentText(), "Count");
    EXPECT_EQ(dialog.NameCombo(1)->currentText(), "Operator");
    EXPECT_EQ(dialog.NameCombo(2)->currentText(), "Volume");
    EXPECT_EQ(dialog.NameCombo(3)->currentText(), "");
    EXPECT_EQ(dialog.ValueEdit(0)->text(), "");
    clock.Advance(std::chrono::milliseconds(1000));
    HandOver(dialog, variables);
    Serve();
    EXPECT_EQ(dialog.ValueEdit(2)->text(), "12.5");
    if (const char* folder = std::getenv("VELLORA_SCREENSHOTS"))
        dialog.grab().save(QString(folder) + "/VariableWatch.png");

    // A drop-down offers the names sorted and clears the row's text.
    dialog.OnDropDown(4);
    EXPECT_EQ(dialog.NameCombo(4)->count(), 3);
    EXPECT_EQ(dialog.NameCombo(4)->itemText(0), "Count");
    EXPECT_EQ(dialog.NameCombo(4)->itemText(1), "Operator");
    EXPECT_EQ(dialog.NameCombo(4)->itemText(2), "Volume");
    EXPECT_EQ(dialog.NameCombo(4)->currentText(), "");
}

TEST_F(VariableWatchDlgTest, ARunFeedsTheShownWindowThroughTheMainWindowsCommand)
{
    CommandRouter commands;
    QWidget parent;
    {
        const auto installed = InstallOperatorPromptWindows(commands, &parent);
        ASSERT_TRUE(commands.Execute(cmd::WatchScriptVariables));
        ASSERT_NE(g_VariableWatchDlg, nullptr);
        EXPECT_EQ(g_VariableWatchDlg->windowTitle(), "Variable Watch");
        g_VariableWatchDlg->NameCombo(0)->setEditText("n");

        // The executor hands the variables over before the line that waits.
        const std::string path = Write("Scripts/feed.scr", "int N = 41;\nN += 1;\nWait(1000);\n");
        clock.Advance(std::chrono::milliseconds(5000));
        CString error;
        ASSERT_TRUE(Script::RunScript(0, path.c_str(), error)) << error.GetString();
        ASSERT_TRUE(scripttest::StandInWait::Instance().WaitUntilBlocked());
        Serve();
        // The first line's copy was kept; the others came within the same second.
        EXPECT_TRUE(g_VariableWatchDlg->NameCombo(0)->isEnabled());
        // A drop-down clears its row only once a copy came: the copy of the
        // first line, before any variable existed.
        g_VariableWatchDlg->NameCombo(1)->setEditText("typed");
        g_VariableWatchDlg->OnDropDown(1);
        EXPECT_EQ(g_VariableWatchDlg->NameCombo(1)->currentText(), "");
        EXPECT_EQ(g_VariableWatchDlg->NameCombo(1)->count(), 0);

        ASSERT_TRUE(commands.Execute(cmd::WatchScriptVariables));
        EXPECT_FALSE(g_VariableWatchDlg->isVisible());
        scripttest::StandInWait::Instance().ReleaseAll();
        ASSERT_TRUE(observer.WaitForEnds(1));
    }
    g_VariableWatchDlg = nullptr;
    g_WaitWithTimerDlg = nullptr;
    g_InformOperatorDlg = nullptr;
}

}  // namespace
