// A customer script run in interpreter instance 1 on the run screen, with a
// test operator who works the offscreen window as a user would: types into
// its edits, ticks its check boxes and clicks the hit rectangles the screen
// painted (the Next and Back arrows, the action buttons).

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QTest>

#include <cstdlib>
#include <memory>

#include "operator/CustomerScreenPictures.h"
#include "operator/CustomerUICommands.h"
#include "operator/tests/CustomerUITestSupport.h"
#include "operator/ui/CustomerScreen.h"
#include "platform/Clock.h"
#include "platform/testsupport/QtTestApplication.h"
#include "script/BuiltInFunctions.h"
#include "script/ScriptRun.h"

namespace {

using namespace customer_ui;

template <class Done>
bool SpinUntil(Done done) {
    QDeadlineTimer deadline(60000);
    while (!done() && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

class CustomerRunTest : public customer_ui_testing::CustomerUIFixture {
protected:
    void SetUp() override {
        testsupport::EnsureApplication();
        CustomerUIFixture::SetUp();
        // The run takes real time: the screen's timers and the script timer
        // follow the real clock here.
        platform::SetClock(nullptr);
        ui->AttachWindow(nullptr, nullptr);
        std::string error;
        ASSERT_TRUE(InstallMissingDataRootFiles(dataRoot.c_str(), &error)) << error;
        std::filesystem::copy_file(dataRoot + "/Default/Vellora.ini", dataRoot + "/Vellora.ini",
                                   std::filesystem::copy_options::overwrite_existing);
        BuildBuiltInFunctionTable();
        InstallCustomerUICommands();
        g_CustomerUI.ResetForNewScript();
        screen = std::make_unique<CustomerScreen>(g_CustomerUI, 1920, 1080);
    }
    void TearDown() override {
        Script::StopScript(1);
        g_CustomerUI.HandBack("Next", true);
        SpinUntil([] { return !ScriptInstanceExists(1); });
        screen.reset();
        g_CustomerUI.ResetForNewScript();
        CustomerUIFixture::TearDown();
    }

    // Paints like the window does and waits until the script shows `state`.
    void AwaitScreen(int32_t state) {
        ASSERT_TRUE(SpinUntil([&] { return g_CustomerUI.GetState() == state; })) << "state " << state;
        Shot();
    }
    void Shot() {
        screen->SyncControls();
        const QImage image = screen->Render();
        // The saved picture shows the child controls too.
        if (const char* folder = std::getenv("VELLORA_SCREENSHOTS"))
            screen->grab().save(QString("%1/run_%2_%3.png").arg(folder).arg(++m_shots).arg(g_CustomerUI.GetState()));
    }
    void ClickAt(const RECT& r) {
        ASSERT_GT(r.right, r.left);
        QTest::mouseClick(screen.get(), Qt::LeftButton, Qt::NoModifier,
                          QPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2));
    }
    void ClickNext() {
        const CustomerUISnapshot s = g_CustomerUI.Snapshot();
        ClickAt(s.content.m_rcNext[static_cast<size_t>(s.content.m_nNextLook)]);
    }
    void ClickBack() {
        const CustomerUISnapshot s = g_CustomerUI.Snapshot();
        ClickAt(s.content.m_rcBack[static_cast<size_t>(s.content.m_nBackLook)]);
    }
    void Type(int id, const char* text) {
        auto* edit = qobject_cast<QLineEdit*>(screen->Control(id));
        ASSERT_NE(edit, nullptr);
        ASSERT_TRUE(edit->isVisibleTo(screen.get())) << id;
        QTest::keyClicks(edit, text);
    }

    std::unique_ptr<CustomerScreen> screen;
    int m_shots = 0;
};

TEST_F(CustomerRunTest, LoginActionFormChecksAndTimer) {
    const std::string script = customerDir + "/Scripts/Run.scr";
    WriteFile(script,
              "STRING ev;\nSTRING log;\nSTRING name;\nint rinse;\n"
              "CustomerUI_Login(ev);\n"
              "log += ev;\n"
              "CustomerUI_AddActionButtonLine(\"Sort cells\");\n"
              "CustomerUI_AddActionButtonLine(\"Clean up\");\n"
              "CustomerUI_SelectAction(ev);\n"
              "log += \";\";\nlog += ev;\n"
              "CustomerUI_RestoreDefaultState();\n"
              "CustomerUI_SetTextLine(1, \"Name the sample\");\n"
              "CustomerUI_SetInput(1, \"Sample:\", \"\", 10);\n"
              "CustomerUI_PromptForInput(ev);\n"
              "log += \";\";\nlog += ev;\n"
              "CustomerUI_SetTextLine(1, \"Name it again\");\n"
              "CustomerUI_PromptForInput(ev);\n"
              "log += \";\";\nlog += ev;\n"
              "CustomerUI_GetTextEditFieldContents(1, name);\n"
              "log += \";\";\nlog += name;\n"
              "CustomerUI_RestoreDefaultState();\n"
              "CustomerUI_SetCheckboxInput(1, \"Rinse first\", 0);\n"
              "CustomerUI_PromptForInputChecks(ev);\n"
              "CustomerUI_GetCheckBoxState(1, rinse);\n"
              "if (rinse == 1)\n{\n  log += \";rinse\";\n}\n"
              "CustomerUI_RestoreDefaultState();\n"
              "CustomerUI_SetTextLine(1, \"Please wait\");\n"
              "CustomerUI_SetTimer(1, 1);\n"
              "CustomerUI_PromptInfo(ev);\n"
              "log += \";\";\nlog += ev;\n"
              "CustomerUI_SetTitle(log);\n");
    CString error;
    ASSERT_TRUE(g_CustomerUI.StartScript(script.c_str(), error)) << error.GetString();

    AwaitScreen(kStateLogin);
    Type(IDC_INPUT1, "operator");
    Type(IDC_PASSWORD, "secret");
    ClickNext();

    AwaitScreen(kStateSelectAction);
    ASSERT_TRUE(SpinUntil([] { return g_CustomerUI.Snapshot().content.m_vecActionLines.size() == 2; }));
    Shot();
    ClickAt(g_CustomerUI.Snapshot().content.m_vecActionRects.at(1));

    AwaitScreen(8);
    ClickBack();
    // The second prompt, once the script has taken the Back (a click before
    // that would answer the first prompt): the operator names the sample and
    // goes on.
    ASSERT_TRUE(SpinUntil([] {
        const CustomerUISnapshot s = g_CustomerUI.Snapshot();
        return !s.content.m_vecTextLines.empty() && s.content.m_vecTextLines[0] == "Name it again";
    }));
    ASSERT_TRUE(SpinUntil([&] {
        Shot();
        return screen->Control(IDC_INPUT1)->isVisibleTo(screen.get());
    }));
    Type(IDC_INPUT1, "S-9");
    ClickNext();

    AwaitScreen(10);
    ASSERT_TRUE(SpinUntil([&] {
        Shot();
        return screen->Control(IDC_CHECK1)->isVisibleTo(screen.get());
    }));
    auto* rinse = qobject_cast<QCheckBox*>(screen->Control(IDC_CHECK1));
    ASSERT_NE(rinse, nullptr);
    rinse->click();  // the operator ticks the box
    EXPECT_TRUE(g_CustomerUI.GetControl(IDC_CHECK1).checked);
    ClickNext();

    // Nobody clicks: the script timer ends the information screen.
    AwaitScreen(9);
    ASSERT_TRUE(SpinUntil([] { return !ScriptInstanceExists(1); }));
    EXPECT_EQ(g_CustomerUI.Snapshot().content.m_strTitle, "Login Success;Clean up;Back;Next;S-9;rinse;TimerExpired");
}

}  // namespace
