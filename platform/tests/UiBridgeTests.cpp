#include "platform/UiBridge.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

TEST(ScriptedUiBridge, AnswersWorkersFromItsQueueThenWithTheDefault) {
    platform::ScriptedUiBridge bridge;
    platform::ScopedUiBridge installed(bridge);
    bridge.QueueAnswer(platform::IDNO);
    bridge.QueueAnswer(platform::IDCANCEL);

    std::vector<int> answers;
    std::thread worker([&] {
        using namespace platform;
        answers.push_back(ShowMessageBox("Continue?", "Vellora", MB_YESNO | MB_ICONQUESTION));
        answers.push_back(ShowMessageBox("Save?", "Vellora", MB_YESNOCANCEL));
        answers.push_back(ShowMessageBox("Again?", "Vellora", MB_YESNO));
        answers.push_back(ShowMessageBox("Done."));
        PostCommand(1364);
        PostCommand(32861);
    });
    worker.join();

    EXPECT_EQ(answers, (std::vector<int>{platform::IDNO, platform::IDCANCEL, platform::IDYES, platform::IDOK}));
    EXPECT_EQ(bridge.PostedCommands(), (std::vector<int>{1364, 32861}));
    auto boxes = bridge.ShownBoxes();
    ASSERT_EQ(boxes.size(), 4u);
    EXPECT_EQ(boxes[0].text, "Continue?");
    EXPECT_EQ(boxes[0].type, platform::MB_YESNO | platform::MB_ICONQUESTION);
    EXPECT_EQ(boxes[0].answer, platform::IDNO);
    EXPECT_EQ(boxes[3].caption, "Vellora");

    bridge.Clear();
    EXPECT_TRUE(bridge.ShownBoxes().empty());
    EXPECT_TRUE(bridge.PostedCommands().empty());
}

TEST(ScriptedUiBridge, AnswersPromptsInOrderOnlyForTheCommandNamed) {
    platform::ScriptedUiBridge bridge;
    bridge.QueuePromptAnswer("PromptForValue", "2.5");
    bridge.QueuePromptAnswer("PromptContinueCancel", "Cancel");

    std::string answer = "unchanged";
    // An answer for another command is not taken.
    EXPECT_FALSE(bridge.AnswerPrompt("PromptContinueCancel", "Go on?", &answer));
    EXPECT_EQ(answer, "unchanged");
    EXPECT_TRUE(bridge.AnswerPrompt("PromptForValue", "Volume", &answer));
    EXPECT_EQ(answer, "2.5");
    EXPECT_TRUE(bridge.AnswerPrompt("PromptContinueCancel", "Go on?", &answer));
    EXPECT_EQ(answer, "Cancel");
    EXPECT_FALSE(bridge.AnswerPrompt("PromptForValue", "Volume", &answer));
    EXPECT_EQ(bridge.Prompts(), (std::vector<std::string>{"PromptContinueCancel: Go on?", "PromptForValue: Volume",
                                                         "PromptContinueCancel: Go on?", "PromptForValue: Volume"}));

    // The bridges of the program ask through the prompt's own window.
    EXPECT_FALSE(platform::GetUiBridge().AnswerPrompt("PromptForValue", "Volume", &answer));
}

TEST(ScriptedUiBridge, WithoutAnInstalledBridgeTheHeadlessOneAnswers) {
    EXPECT_EQ(platform::ShowMessageBox("Question", "Vellora", platform::MB_YESNO), platform::IDYES);
    EXPECT_EQ(platform::ShowMessageBox("Note"), platform::IDOK);
    bool ran = false;
    platform::RunOnUiThread([&] { ran = true; });
    EXPECT_TRUE(ran);
}

}  // namespace
