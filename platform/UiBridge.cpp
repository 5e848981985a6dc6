#include "platform/UiBridge.h"

#include <atomic>
#include <cstdio>

namespace platform {

namespace {

// Used until the program or a test installs a bridge: nothing is shown, so
// everything is written to standard error instead.
class HeadlessUiBridge : public UiBridge {
public:
    void PostCommand(int commandId, intptr_t argument) override {
        std::fprintf(stderr, "Vellora: command %d (%ld) posted without a main window\n", commandId,
                     static_cast<long>(argument));
    }
    void RunOnUiThread(const std::function<void()>& function) override { function(); }
    int MessageBox(const std::string& text, const std::string& caption, unsigned type) override {
        std::fprintf(stderr, "Vellora: [%s] %s\n", caption.c_str(), text.c_str());
        return DefaultAnswer(type);
    }
    static int DefaultAnswer(unsigned type) {
        unsigned buttons = type & 0x0F;
        return (buttons == MB_YESNO || buttons == MB_YESNOCANCEL) ? IDYES : IDOK;
    }
};

HeadlessUiBridge g_headlessBridge;
std::atomic<UiBridge*> g_bridge{nullptr};

}  // namespace

UiBridge& GetUiBridge() {
    UiBridge* bridge = g_bridge.load();
    return bridge ? *bridge : g_headlessBridge;
}

void SetUiBridge(UiBridge* bridge) { g_bridge.store(bridge); }

void ScriptedUiBridge::PostCommand(int commandId, intptr_t argument) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_commands.push_back(commandId);
    m_arguments.push_back(argument);
}

void ScriptedUiBridge::RunOnUiThread(const std::function<void()>& function) { function(); }

int ScriptedUiBridge::MessageBox(const std::string& text, const std::string& caption, unsigned type) {
    std::lock_guard<std::mutex> lock(m_mutex);
    int answer = HeadlessUiBridge::DefaultAnswer(type);
    if (!m_answers.empty()) {
        answer = m_answers.front();
        m_answers.pop_front();
    }
    m_boxes.push_back({text, caption, type, answer});
    return answer;
}

bool ScriptedUiBridge::AnswerPrompt(const std::string& command, const std::string& text, std::string* answer) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_prompts.push_back(command + ": " + text);
    if (m_promptAnswers.empty() || m_promptAnswers.front().first != command) {
        return false;
    }
    if (answer) {
        *answer = m_promptAnswers.front().second;
    }
    m_promptAnswers.pop_front();
    return true;
}

void ScriptedUiBridge::QueuePromptAnswer(const std::string& command, const std::string& answer) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_promptAnswers.emplace_back(command, answer);
}

std::vector<std::string> ScriptedUiBridge::Prompts() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_prompts;
}

void ScriptedUiBridge::QueueAnswer(int answer) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_answers.push_back(answer);
}

std::vector<int> ScriptedUiBridge::PostedCommands() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_commands;
}

std::vector<intptr_t> ScriptedUiBridge::PostedArguments() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_arguments;
}

std::vector<ScriptedUiBridge::ShownBox> ScriptedUiBridge::ShownBoxes() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_boxes;
}

void ScriptedUiBridge::Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_answers.clear();
    m_promptAnswers.clear();
    m_prompts.clear();
    m_commands.clear();
    m_arguments.clear();
    m_boxes.clear();
}

}  // namespace platform
