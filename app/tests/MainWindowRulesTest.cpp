#include "app/MainWindowRules.h"

#include "app/ActiveROI.h"
#include "app/tests/FrameTestSupport.h"

namespace {

class MainWindowRulesTest : public FrameLogicTest {
protected:
    // Installs interpreters that run (or not) and an analysis tool.
    void Install(bool consoleRuns, bool customerRuns, bool analysisRuns, bool consoleExists = true) {
        FrameHooks hooks;
        hooks.isScriptRunning = [=](uint32_t handle, CString* name) {
            const bool runs = handle == kConsoleInterpreter ? consoleRuns : handle == kCustomerInterpreter && customerRuns;
            if (runs && name) *name = handle == kConsoleInterpreter ? "Prime.scr" : "Customer.scr";
            return runs;
        };
        hooks.imageAnalysisRunning = [=] { return analysisRuns; };
        hooks.scriptsConsoleExists = [=] { return consoleExists; };
        SetFrameHooks(hooks);
    }
};

TEST_F(MainWindowRulesTest, RefusesToMinimiseOrCloseWhileSomethingRuns) {
    struct Case {
        const char* name;
        bool consoleRuns, customerRuns, analysisRuns, workflow, live;
        const char* reason;
    };
    const Case cases[] = {
        {"idle", false, false, false, false, false, ""},
        {"console script", true, false, false, false, false,
         "Can't minimize or close the main window when the script is running."},
        // The run screen's own interpreter is not looked at.
        {"run screen script", false, true, false, false, false, ""},
        {"batch analysis", false, false, true, false, false,
         "Can't minimize or close the main window when image analysis is running."},
        {"workflow", false, false, false, true, false,
         "Can't minimize or close the main window while running image collection workflow."},
        {"live view", false, false, false, false, true,
         "Can't minimize or close the main window while running image capture with auto refresh."},
        // The first reason wins.
        {"all", true, true, true, true, true, "Can't minimize or close the main window when the script is running."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ui.Clear();
        Install(c.consoleRuns, c.customerRuns, c.analysisRuns);
        theApp.m_bWorkflowRunning = c.workflow;

        const bool refused = RefuseMinimizeOrClose(c.live);

        EXPECT_EQ(refused, *c.reason != '\0');
        if (refused) {
            ASSERT_EQ(ui.ShownBoxes().size(), 1u);
            EXPECT_EQ(ui.ShownBoxes()[0].text, c.reason);
            EXPECT_EQ(ui.ShownBoxes()[0].type & 0xF0, platform::MB_ICONERROR);
            EXPECT_NE(ErrorLog().find(c.reason), std::string::npos);
        } else {
            EXPECT_TRUE(ui.ShownBoxes().empty());
        }
    }
}

TEST_F(MainWindowRulesTest, SessionEndIsRefusedOnlyWhileTheWorkflowRuns) {
    Install(true, true, true);
    EXPECT_TRUE(QueryEndSession());
    theApp.m_bWorkflowRunning = true;
    EXPECT_FALSE(QueryEndSession());
}

TEST_F(MainWindowRulesTest, StatusPaneNamesTheConsoleScript) {
    EXPECT_FALSE(ScriptStatusPaneText().has_value()) << "no console, no text";
    Install(false, true, false);
    EXPECT_EQ(ScriptStatusPaneText(), std::optional<std::string>(""));
    Install(true, true, false);
    EXPECT_EQ(ScriptStatusPaneText(), std::optional<std::string>("Prime.scr"));
    Install(true, true, false, false);
    EXPECT_FALSE(ScriptStatusPaneText().has_value());
}

TEST_F(MainWindowRulesTest, ActiveRegionByName) {
    int refreshes = 0;
    int invalidations = 0;
    theApp.SetImageViewInvalidator([&invalidations] { ++invalidations; });
    FrameHooks hooks;
    hooks.selectROIByName = [](const char* name, ROIRect* rect, CString* error) {
        if (std::string(name) == "Channel") {
            *rect = {10, 20, 300, 400};
            return true;
        }
        *error = "not found";
        return false;
    };
    hooks.showCurrentROI = [&refreshes] { ++refreshes; };
    SetFrameHooks(hooks);

    const ROIRect before = *AllocateActiveROI();
    EXPECT_FALSE(SetActiveROIByName("Unknown"));
    EXPECT_EQ(g_pActiveROI->left, before.left);
    EXPECT_EQ(g_pActiveROI->bottom, before.bottom);
    EXPECT_EQ(invalidations, 0);

    EXPECT_TRUE(SetActiveROIByName("Channel"));
    EXPECT_EQ(g_pActiveROI->left, 10);
    EXPECT_EQ(g_pActiveROI->top, 20);
    EXPECT_EQ(g_pActiveROI->right, 300);
    EXPECT_EQ(g_pActiveROI->bottom, 400);
    EXPECT_EQ(refreshes, 1);
    EXPECT_EQ(invalidations, 1);

    // The same region again: the ROI manager is left alone, the views still redraw.
    EXPECT_TRUE(SetActiveROIByName("Channel"));
    EXPECT_EQ(refreshes, 1);
    EXPECT_EQ(invalidations, 2);
    theApp.SetImageViewInvalidator(nullptr);
}

}  // namespace
