#include "app/AdminMode.h"

#include <vector>

#include "app/tests/FrameTestSupport.h"

namespace {

// Answers the password prompts in turn; an answer of null cancels.
struct PromptScript {
    std::vector<const char*> answers;
    std::vector<std::string> prompts;

    PasswordPrompt Prompt() {
        return [this](const std::string& prompt, std::string* typed) {
            prompts.push_back(prompt);
            const char* answer = answers.at(prompts.size() - 1);
            if (!answer) return false;
            *typed = answer;
            return true;
        };
    }
};

class AdminModeTest : public FrameLogicTest {
protected:
    void SetUp() override {
        FrameLogicTest::SetUp();
        SetAdminModeChangedHook([this](bool on) { changes.push_back(on); });
    }
    void TearDown() override {
        SetAdminModeChangedHook(nullptr);
        FrameLogicTest::TearDown();
    }
    std::vector<bool> changes;
};

TEST_F(AdminModeTest, ThreeTriesForThePassword) {
    struct Case {
        const char* name;
        std::vector<const char*> answers;
        std::vector<std::string> prompts;
        bool adminMode;
        std::vector<bool> changes;
        bool failureShown;
    };
    const std::string first = "Please enter the admin password:";
    const Case cases[] = {
        {"right at once", {"Marmalade!"}, {first}, true, {true}, false},
        {"right on the third try", {"marmalade!", " Marmalade!", "Marmalade!"}, {first, "Try 2 of 3", "Try 3 of 3"}, true,
         {true}, false},
        {"three wrong", {"jam", "Marmalade", "Marmalade! "}, {first, "Try 2 of 3", "Try 3 of 3"}, false, {}, true},
        {"cancelled on the second try", {"jam", nullptr}, {first, "Try 2 of 3"}, false, {false}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        theApp.m_bAdminMode = false;
        changes.clear();
        ui.Clear();
        PromptScript script{c.answers, {}};

        RunAdminModeCommand(script.Prompt());

        EXPECT_EQ(script.prompts, c.prompts);
        EXPECT_EQ(theApp.m_bAdminMode, c.adminMode);
        EXPECT_EQ(changes, c.changes);
        if (c.failureShown) {
            ASSERT_EQ(ui.ShownBoxes().size(), 1u);
            EXPECT_EQ(ui.ShownBoxes()[0].text, "Failed to enter correct password after three tries. Admin mode is off.");
        } else {
            EXPECT_TRUE(ui.ShownBoxes().empty());
        }
    }
}

TEST_F(AdminModeTest, OnceOnTheCommandAsksNothingAndStaysCheckedAndDisabled) {
    PromptScript script{{"Marmalade!"}, {}};
    RunAdminModeCommand(script.Prompt());
    ASSERT_TRUE(theApp.m_bAdminMode);

    RunAdminModeCommand(script.Prompt());
    EXPECT_EQ(script.prompts.size(), 1u);
    const AdminModeCommandState state = GetAdminModeCommandState();
    EXPECT_TRUE(state.checked);
    EXPECT_FALSE(state.enabled);
}

TEST_F(AdminModeTest, TheSettingDisablesTheCommand) {
    struct Case {
        const char* settings;
        bool enabled;
    };
    const Case cases[] = {
        {"", true},
        {"[AdminMode]\r\nSetting=1\r\n", true},
        {"[AdminMode]\r\nSetting=0\r\n", false},
        {"[AdminMode]\r\nSetting=00\r\n", false},
        {"[AdminMode]\r\nSetting=off\r\n", true},
        {"[AdminMode]\r\nSetting=\r\n", true},
        {"[AdminMode]\r\nSetting=-3\r\n", true},
    };
    for (const Case& c : cases) {
        WriteIni(c.settings);
        const AdminModeCommandState state = GetAdminModeCommandState();
        EXPECT_EQ(state.enabled, c.enabled) << c.settings;
        EXPECT_FALSE(state.checked) << c.settings;
    }
}

}  // namespace
