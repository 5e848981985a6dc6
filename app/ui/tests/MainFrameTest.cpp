#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/FrameHooks.h"
#include "app/ImageTypes.h"
#include "app/VelloraApp.h"
#include "app/ui/MainFrame.h"
#include "app/ui/PasswordDlg.h"
#include "app/ui/ToolBarEx.h"
#include "devices/DigitalIO.h"
#include "devices/tests/VirtualInstrumentFixture.h"
#include "platform/testsupport/QtTestApplication.h"
#include "platform/ui/QtUiBridge.h"
#include "support/SerialPort.h"
#include "support/ui/DialogControls.h"

namespace {

using testsupport::EnsureApplication;

TEST(MainFrame, OpensAsAnEmptyMdiWindowTitledVellora) {
    EnsureApplication();

    CMainFrame frame;
    frame.show();
    QApplication::processEvents();

    EXPECT_EQ(frame.windowTitle().toStdString(), "Vellora");
    ASSERT_NE(frame.mdiArea(), nullptr);
    EXPECT_TRUE(frame.mdiArea()->subWindowList().isEmpty());
    EXPECT_TRUE(frame.isVisible());
}

// A main window on the virtual instrument, with a settings file of the test's own.
class MainFrameTest : public VirtualInstrumentTest {
protected:
    void SetUp() override {
        EnsureApplication();
        VirtualInstrumentTest::SetUp();
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        root = std::filesystem::path(std::getenv("VELLORA_TEST_ROOT")) / test->name();
        std::filesystem::create_directories(root / "LOG");
        theApp.m_strDataRoot = root.c_str();
        theApp.m_bAdminMode = false;
        theApp.m_bWorkflowRunning = false;
        SetFrameHooks({});
    }
    void TearDown() override {
        SetFrameHooks({});
        theApp.m_bAdminMode = false;
        theApp.m_bWorkflowRunning = false;
        theApp.m_strDataRoot.Empty();
        VirtualInstrumentTest::TearDown();
    }
    void Names(const char* n1, const char* n2, const char* n3, const char* n4) {
        WriteSettings(std::string("[ExperimentSettings]\r\nImageTypeName1=") + n1 + "\r\nImageTypeName2=" + n2 +
                      "\r\nImageTypeName3=" + n3 + "\r\nImageTypeName4=" + n4 + "\r\n");
    }
    static std::vector<int> ToolbarIds(const CMainFrame& frame) {
        std::vector<int> ids;
        for (QAction* action : frame.ToolBar()->actions()) ids.push_back(action->isSeparator() ? 0 : action->data().toInt());
        return ids;
    }
    static QAction* MenuAction(const CMainFrame& frame, int id) {
        for (QAction* menu : frame.menuBar()->actions()) {
            for (QAction* action : menu->menu()->actions()) {
                if (!action->isSeparator() && action->data().toInt() == id) return action;
            }
        }
        return nullptr;
    }
    std::filesystem::path root;
};

TEST_F(MainFrameTest, ToolbarMenusAndStatusPanesAreInPlace) {
    Names("Bright Field", "GFP", "", "RFP");
    CMainFrame frame;
    frame.show();
    QApplication::processEvents();

    const std::vector<int> expected = {32859, 0, 57601, 0, 32802, 0, 32830, 0, 32799, 32800, 0,
                                       32815, 0, 32779, 32773, 0, 32780, 32781, 32785, 0, 32860};
    EXPECT_EQ(ToolbarIds(frame), expected);
    EXPECT_EQ(frame.ToolBar()->iconSize(), QSize(66, 49));
    ASSERT_NE(frame.ToolBar()->m_wndImageTypeCombo, nullptr);
    EXPECT_EQ(frame.ToolBar()->m_wndImageTypeCombo->width(), 200);
    EXPECT_EQ(frame.ToolBar()->m_wndImageTypeCombo->currentText().toStdString(), "Bright Field");
    EXPECT_FALSE(frame.ToolBar()->CreateImageTypeCombo()) << "one box only";

    for (int pane : {1, 2}) {
        ASSERT_NE(frame.StatusPane(pane), nullptr);
        EXPECT_EQ(frame.StatusPane(pane)->width(), 250);
    }

    // Idle engineer: the workflow can start, not stop; admin windows are locked;
    // the view commands wait for an image window.
    struct Rule {
        int id;
        bool enabled;
    };
    const Rule rules[] = {{32799, true}, {32800, false}, {32806, false}, {32822, true},
                          {32862, true}, {32780, false}, {32860, false}};
    for (const Rule& rule : rules) {
        bool found = false;
        for (QAction* action : frame.ToolBar()->actions()) {
            if (action->data().toInt() != rule.id) continue;
            found = true;
            EXPECT_EQ(action->isEnabled(), rule.enabled) << "toolbar " << rule.id;
        }
        if (QAction* action = MenuAction(frame, rule.id)) {
            found = true;
            EXPECT_EQ(action->isEnabled(), rule.enabled) << "menu " << rule.id;
        }
        EXPECT_TRUE(found) << rule.id;
    }

    theApp.m_bWorkflowRunning = true;
    frame.UpdateCommandUI();
    EXPECT_FALSE(MenuAction(frame, 32799)->isEnabled());
    EXPECT_TRUE(MenuAction(frame, 32800)->isEnabled());
}

TEST_F(MainFrameTest, ImageTypeBoxListsTheSetNamesAndFollowsShowImageType) {
    Names("", "GFP", " ", "RFP");
    CMainFrame frame;
    platform::QtUiBridge bridge;
    platform::ScopedUiBridge useBridge(bridge);
    CToolBarEx* toolbar = frame.ToolBar();
    QComboBox* box = toolbar->m_wndImageTypeCombo;
    EXPECT_EQ(box->currentText().toStdString(), "GFP");
    EXPECT_EQ(toolbar->GetSelectedImageTypeIndex(), 1);

    // Names change in the settings; the list follows them when it drops down.
    Names("Bright Field", "GFP", "DAPI", "");
    emit toolbar->m_wndImageTypeCombo->droppedDown();
    ASSERT_EQ(box->count(), 3);
    EXPECT_EQ(box->itemText(0).toStdString(), "Bright Field");
    EXPECT_EQ(box->itemText(2).toStdString(), "DAPI");
    EXPECT_EQ(box->currentText().toStdString(), "GFP") << "the shown text stays";

    // A script thread picks the type; the box changes on the user-interface thread.
    std::atomic<bool> done{false};
    bool shown = false;
    std::thread script([&] {
        shown = toolbar->ShowImageType(2);
        done = true;
    });
    while (!done) QApplication::processEvents(QEventLoop::AllEvents, 10);
    script.join();
    EXPECT_TRUE(shown);
    EXPECT_EQ(box->currentText().toStdString(), "DAPI");
    EXPECT_EQ(ImageTypeBox::Text(), "DAPI");
    EXPECT_EQ(toolbar->GetSelectedImageTypeIndex(), 2);

    // Typed text must match a name exactly.
    box->setEditText("dapi");
    EXPECT_EQ(toolbar->GetSelectedImageTypeIndex(), -1);
    box->setEditText(" DAPI");
    EXPECT_EQ(toolbar->GetSelectedImageTypeIndex(), -1);
}

TEST_F(MainFrameTest, ClosingTheListRestartsLiveViewOnlyWhileItRuns) {
    Names("BF", "GFP", "", "");
    CMainFrame frame;
    int liveCommands = 0;
    frame.Commands().SetHandler(32802, [&liveCommands] { ++liveCommands; });
    bool live = false;
    FrameHooks hooks;
    hooks.livePreviewOpen = [&live] { return live; };
    SetFrameHooks(hooks);

    emit frame.ToolBar()->m_wndImageTypeCombo->closedUp();
    QApplication::processEvents();
    EXPECT_EQ(liveCommands, 0);

    live = true;
    emit frame.ToolBar()->m_wndImageTypeCombo->closedUp();
    EXPECT_EQ(liveCommands, 0) << "posted, not run at once";
    QApplication::processEvents();
    EXPECT_EQ(liveCommands, 2);
}

TEST_F(MainFrameTest, StaysOpenAndUnminimisedWhileTheConsoleScriptRuns) {
    bool running = true;
    FrameHooks hooks;
    hooks.isScriptRunning = [&running](uint32_t handle, CString*) { return handle == 0 && running; };
    SetFrameHooks(hooks);
    CMainFrame frame;
    frame.show();
    QApplication::processEvents();

    EXPECT_FALSE(frame.close());
    EXPECT_TRUE(frame.isVisible());
    frame.showMinimized();
    QApplication::processEvents();
    QApplication::processEvents();
    EXPECT_FALSE(frame.isMinimized());

    const std::string reason = "Can't minimize or close the main window when the script is running.";
    ASSERT_EQ(ui.ShownBoxes().size(), 2u);
    EXPECT_EQ(ui.ShownBoxes()[0].text, reason);
    EXPECT_EQ(ui.ShownBoxes()[1].text, reason);
    std::string log;
    for (const auto& entry : std::filesystem::directory_iterator(root / "LOG")) {
        std::ifstream file(entry.path());
        log.assign(std::istreambuf_iterator<char>(file), {});
    }
    EXPECT_NE(log.find(reason), std::string::npos);

    running = false;
    EXPECT_TRUE(frame.close());
}

TEST_F(MainFrameTest, LedsAreSwitchedOffWhenTheWindowGoes) {
    // The virtual instrument's wiring: LEDs on port 0 lines 0..3, the sensors on lines 4 and 5.
    WriteSettings(
        "[DIO_Config]\r\nMapping=Interlock\r\nLED0_port=0\r\nLED0_line=0\r\nLED1_port=0\r\nLED1_line=1\r\n"
        "LED2_port=0\r\nLED2_line=2\r\nLED3_port=0\r\nLED3_line=3\r\nCartridge_Port=0\r\nCartridge_Line=4\r\n"
        "Clamp_Port=0\r\nClamp_Line=5\r\n");
    CString error;
    ASSERT_TRUE(Initialize_DIO(&error, false)) << error.GetString();
    ASSERT_TRUE(LoadDIOMapping(&error)) << error.GetString();
    auto lit = [](int led) {
        return sim::VirtualInstrument::Instance().Snapshot().digitalLines[static_cast<size_t>(3 + led)];
    };
    {
        CMainFrame frame;
        for (int line = 3; line <= 6; ++line) ASSERT_TRUE(SetDIOLine(line, &error)) << error.GetString();
        for (int led = 0; led < 4; ++led) ASSERT_TRUE(lit(led));
    }
    for (int led = 0; led < 4; ++led) EXPECT_FALSE(lit(led)) << "LED" << led;
}

TEST_F(MainFrameTest, AdminModeThroughThePasswordDialog) {
    CMainFrame frame;
    std::vector<std::string> prompts;
    const char* const answers[] = {"wrong", "Marmalade!"};
    // Answers each dialog as it opens: reads its prompt, types, presses OK.
    std::function<void()> answerNext = [&] {
        auto* dialog = qobject_cast<PasswordDlg*>(QApplication::activeModalWidget());
        if (!dialog) {
            QTimer::singleShot(10, answerNext);
            return;
        }
        prompts.push_back(qobject_cast<QLabel*>(Tovanix::GetDlgItem(dialog, PasswordDlg::IDC_PROMPT))->text().toStdString());
        auto* edit = qobject_cast<QLineEdit*>(Tovanix::GetDlgItem(dialog, PasswordDlg::IDC_PASSWORD));
        EXPECT_EQ(edit->echoMode(), QLineEdit::Password);
        edit->setText(answers[prompts.size() - 1]);
        qobject_cast<QPushButton*>(Tovanix::GetDlgItem(dialog, platform::IDOK))->click();
        if (prompts.size() < 2) QTimer::singleShot(10, answerNext);
    };
    QTimer::singleShot(10, answerNext);

    EXPECT_TRUE(frame.OnCommand(32822));

    EXPECT_EQ(prompts, (std::vector<std::string>{"Please enter the admin password:", "Try 2 of 3"}));
    EXPECT_TRUE(theApp.m_bAdminMode);
    QAction* adminMode = MenuAction(frame, 32822);
    EXPECT_TRUE(adminMode->isChecked());
    EXPECT_FALSE(adminMode->isEnabled());
    EXPECT_TRUE(MenuAction(frame, 32806)->isEnabled()) << "the engineering windows are unlocked";
}

TEST_F(MainFrameTest, PasswordDialogKeepsTextOnlyOnOkAndAtMost1022Characters) {
    struct Case {
        std::string typed;
        bool ok;
        std::string kept;
    };
    const Case cases[] = {
        {"secret", true, "secret"},
        {"secret", false, ""},
        {std::string(1500, 'x'), true, std::string(1022, 'x')},
    };
    for (const Case& c : cases) {
        PasswordDlg dialog;
        dialog.m_strPrompt = "Password please";
        QTimer::singleShot(10, [&] {
            qobject_cast<QLineEdit*>(Tovanix::GetDlgItem(&dialog, PasswordDlg::IDC_PASSWORD))
                ->setText(QString::fromStdString(c.typed));
            Tovanix::GetDlgItem(&dialog, c.ok ? platform::IDOK : platform::IDCANCEL)
                ->metaObject()
                ->invokeMethod(Tovanix::GetDlgItem(&dialog, c.ok ? platform::IDOK : platform::IDCANCEL), "click");
        });
        EXPECT_EQ(dialog.DoModal(), c.ok ? platform::IDOK : platform::IDCANCEL);
        EXPECT_EQ(std::string(dialog.m_strPassword.GetString()), c.kept);
    }
}

TEST_F(MainFrameTest, ScriptThreadsStartAndStopTheWorkflowOnTheWindowsThread) {
    WriteSettings("[ExperimentSettings]\r\nImageCapturePeriod=60000\r\nImageCaptureCount=5\r\n");
    CMainFrame frame;
    platform::QtUiBridge bridge;
    platform::ScopedUiBridge useBridge(bridge);
    g_WorkflowEvent = std::make_unique<platform::Event>(true, false);

    auto runOnScriptThread = [](void (*operation)()) {
        std::atomic<bool> done{false};
        std::thread script([&] {
            operation();
            done = true;
        });
        while (!done) QApplication::processEvents(QEventLoop::AllEvents, 10);
        script.join();
    };

    runOnScriptThread(&CMainFrame::StartExperimentWorkflow);
    EXPECT_TRUE(theApp.m_bWorkflowRunning);
    EXPECT_TRUE(g_WorkflowEvent->IsSet());
    EXPECT_EQ(g_WorkflowCaptureIndex.load(), 0);

    runOnScriptThread(&CMainFrame::StopExperimentWorkflow);
    EXPECT_FALSE(theApp.m_bWorkflowRunning);
    g_WorkflowEvent.reset();
}

TEST_F(MainFrameTest, SerialRecoveryPutsTheFailureHookBack) {
    CMainFrame frame;
    g_SerialPortFailureHook = nullptr;
    EXPECT_TRUE(frame.OnCommand(1364));
    EXPECT_EQ(g_SerialPortFailureHook.load(), &OnSerialPortFailure);
    g_SerialPortFailureHook = nullptr;
}

}  // namespace
