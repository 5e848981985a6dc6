#include "app/FrameCommands.h"

#include <filesystem>

#include "app/MainWindowRules.h"
#include "app/tests/FrameTestSupport.h"

namespace {

class FrameCommandsTest : public FrameLogicTest {
protected:
    void SetUp() override {
        FrameLogicTest::SetUp();
        AddMainFrameRules(router);
        for (int id : {cmd::AdminMode, cmd::RunUserInterface, cmd::Manual, cmd::StartExperimentWorkflow,
                       cmd::StopExperimentWorkflow, cmd::DioReset, cmd::PumpInformation, cmd::StageControlPanel,
                       cmd::FluidicScripts, cmd::ROIManager, cmd::LiveImage}) {
            router.SetHandler(id, [this, id] { ran.push_back(id); });
        }
    }
    void TearDown() override {
        theApp.m_nPumpComPort = 0;
        theApp.m_nStageComPort = 0;
        FrameLogicTest::TearDown();
    }
    bool Enabled(int id) const { return router.State(id).enabled; }

    CommandRouter router;
    std::vector<int> ran;
};

TEST_F(FrameCommandsTest, CommandsRunTheirHandlersAndWithoutOneAreDisabled) {
    EXPECT_TRUE(router.Execute(cmd::ROIManager));
    EXPECT_EQ(ran, std::vector<int>{cmd::ROIManager});
    EXPECT_FALSE(router.Execute(cmd::ZoomIn));
    EXPECT_FALSE(router.State(cmd::ZoomIn).enabled);

    // A handler installed later takes the command over.
    router.SetHandler(cmd::ZoomIn, [this] { ran.push_back(-1); });
    EXPECT_TRUE(router.State(cmd::ZoomIn).enabled);
    EXPECT_TRUE(router.Execute(cmd::ZoomIn));
    router.SetHandler(cmd::ROIManager, nullptr);
    EXPECT_FALSE(router.State(cmd::ROIManager).enabled);
}

TEST_F(FrameCommandsTest, EnablingRulesFollowTheModeTheWorkflowAndTheDevices) {
    WriteIni("[Zaber]\r\nInitializeZaberOnStartup=True\r\n");
    struct Case {
        const char* name;
        bool admin;
        bool workflow;
        int pumpPort;
        int stagePort;
        std::vector<std::pair<int, bool>> expected;
    };
    const Case cases[] = {
        {"idle engineer", false, false, 0, 0,
         {{cmd::StartExperimentWorkflow, true}, {cmd::StopExperimentWorkflow, false}, {cmd::DioReset, false},
          {cmd::FluidicScripts, false}, {cmd::PumpInformation, false}, {cmd::StageControlPanel, false},
          {cmd::ROIManager, true}, {cmd::AdminMode, true}}},
        {"administrator, workflow running, devices found", true, true, 5, 6,
         {{cmd::StartExperimentWorkflow, false}, {cmd::StopExperimentWorkflow, true}, {cmd::DioReset, true},
          {cmd::FluidicScripts, true}, {cmd::PumpInformation, true}, {cmd::StageControlPanel, true},
          {cmd::ROIManager, true}, {cmd::AdminMode, false}}},
        {"administrator without pumps", true, false, 0, 6, {{cmd::PumpInformation, false}}},
        {"pumps without administrator", false, false, 5, 0, {{cmd::PumpInformation, false}}},
    };
    for (const Case& c : cases) {
        theApp.m_bAdminMode = c.admin;
        theApp.m_bWorkflowRunning = c.workflow;
        theApp.m_nPumpComPort = c.pumpPort;
        theApp.m_nStageComPort = c.stagePort;
        for (const auto& [id, enabled] : c.expected) {
            EXPECT_EQ(Enabled(id), enabled) << c.name << ", command " << id;
        }
    }
}

TEST_F(FrameCommandsTest, StageControlPanelNeedsTheStageAndItsStartUpSetting) {
    theApp.m_nStageComPort = 6;
    struct Case {
        const char* settings;
        bool enabled;
    };
    const Case cases[] = {
        {"[Zaber]\r\nInitializeZaberOnStartup=TRUE\r\n", true},
        {"[Zaber]\r\nInitializeZaberOnStartup=true\r\n", true},
        {"[Zaber]\r\nInitializeZaberOnStartup=FALSE\r\n", false},
        {"[Zaber]\r\nInitializeZaberOnStartup=TRUE \r\n", false},
        {"", false},
    };
    for (const Case& c : cases) {
        WriteIni(c.settings);
        EXPECT_EQ(Enabled(cmd::StageControlPanel), c.enabled) << c.settings;
    }
}

TEST_F(FrameCommandsTest, ManualIsEnabledWhileItsFileExists) {
    EXPECT_EQ(ManualPath(), (root / "Quillon-1.0_Manual.pdf").string());
    EXPECT_FALSE(Enabled(cmd::Manual));
    std::ofstream(root / "Quillon-1.0_Manual.pdf") << "%PDF";
    EXPECT_TRUE(Enabled(cmd::Manual));
}

TEST_F(FrameCommandsTest, RunScreenCommandsFollowTheScreenAndItsScriptSetting) {
    FrameHooks hooks;
    bool visible = false;
    hooks.customerUiVisible = [&visible] { return visible; };
    SetFrameHooks(hooks);
    EXPECT_TRUE(Enabled(cmd::RunUserInterface));
    visible = true;
    EXPECT_FALSE(Enabled(cmd::RunUserInterface));

    struct Case {
        const char* folder;
        const char* settings;
        const char* script;
        const char* defaultScript;
    };
    const Case cases[] = {
        {"/opt/vellora/CustomerUI", "", "/opt/vellora/CustomerUI/Scripts/DefaultCustomerUI.scr",
         "/opt/vellora/CustomerUI/Scripts/DefaultCustomerUI.scr"},
        {"  /opt/vellora/CustomerUI/ ", "[CustomerUI]\r\nDefaultScript=Run2.scr\r\n",
         "/opt/vellora/CustomerUI/Scripts/DefaultCustomerUI.scr", "/opt/vellora/CustomerUI/Scripts/Run2.scr"},
        {"", "[CustomerUI]\r\nDefaultScript=\r\n", "Scripts/DefaultCustomerUI.scr", "Scripts/DefaultCustomerUI.scr"},
    };
    for (const Case& c : cases) {
        theApp.m_strCustomerUIDir = c.folder;
        WriteIni(c.settings);
        EXPECT_EQ(CustomerUIScriptPath(), c.script) << c.folder;
        EXPECT_EQ(DefaultCustomerScriptPath(), c.defaultScript) << c.folder;
    }
    theApp.m_strCustomerUIDir = "";
}

TEST_F(FrameCommandsTest, LiveImageButtonShowsPressedWhileThePreviewIsOpen) {
    EXPECT_FALSE(router.State(cmd::LiveImage).checked);
    FrameHooks hooks;
    hooks.livePreviewOpen = [] { return true; };
    SetFrameHooks(hooks);
    EXPECT_TRUE(router.State(cmd::LiveImage).checked);
    EXPECT_TRUE(router.State(cmd::LiveImage).enabled);
}

}  // namespace

namespace {

// A run screen that records what the commands do to it.
struct RunScreenStub {
    bool exists = false;
    bool visible = false;
    bool scriptRuns = false;
    bool startFails = false;
    std::vector<std::string> events;

    void Install() {
        FrameHooks hooks;
        hooks.customerUiExists = [this] { return exists; };
        hooks.customerUiVisible = [this] { return visible; };
        hooks.createCustomerUi = [this] {
            exists = true;
            events.push_back("create");
        };
        hooks.showCustomerUi = [this](bool show) {
            visible = show;
            events.push_back(show ? "show" : "hide");
        };
        hooks.startCustomerScript = [this](const char* path, CString* error) {
            events.push_back(std::string("start ") + path);
            if (startFails) *error = "CustomerUI::StartScript() : Script file not found";
            return !startFails;
        };
        hooks.isScriptRunning = [this](uint32_t handle, CString*) { return handle == 1 && scriptRuns; };
        SetFrameHooks(hooks);
    }
};

TEST_F(FrameCommandsTest, CustomerUICommandTogglesTheRunScreenAndStartsItsScript) {
    theApp.m_strCustomerUIDir = "/ui";
    RunScreenStub screen;
    screen.Install();

    OnCustomerUI();
    EXPECT_EQ(screen.events, (std::vector<std::string>{"create", "show", "start /ui/Scripts/DefaultCustomerUI.scr"}));

    screen.events.clear();
    OnCustomerUI();
    EXPECT_EQ(screen.events, std::vector<std::string>{"hide"});

    // Shown again while its script still runs: no second start.
    screen.events.clear();
    screen.scriptRuns = true;
    OnCustomerUI();
    EXPECT_EQ(screen.events, std::vector<std::string>{"show"});

    // 32859 makes the screen without showing it; a failed start is only logged.
    RunScreenStub fresh;
    fresh.startFails = true;
    fresh.Install();
    WriteIni("[CustomerUI]\r\nDefaultScript=Demo.scr\r\n");
    OnRunUserInterface();
    EXPECT_EQ(fresh.events, (std::vector<std::string>{"create", "start /ui/Scripts/Demo.scr"}));
    EXPECT_TRUE(ui.ShownBoxes().empty());
    EXPECT_NE(ErrorLog().find("CustomerUI::StartScript() : Script file not found"), std::string::npos);
    theApp.m_strCustomerUIDir = "";
}

}  // namespace
