#pragma once

// The one way a worker thread reaches the user interface: post a command to
// the main window, run a function on the user-interface thread and wait for
// it, or show a message box. The logic layers include only this header; the
// Qt implementation (platform/ui/QtUiBridge.h) is installed at start-up, and
// tests install a ScriptedUiBridge that answers from a script.

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace platform {

// Message box buttons and icons (combine one of each with |).
enum : unsigned {
    MB_OK = 0x0000,
    MB_OKCANCEL = 0x0001,
    MB_YESNOCANCEL = 0x0003,
    MB_YESNO = 0x0004,
    MB_ICONERROR = 0x0010,
    MB_ICONQUESTION = 0x0020,
    MB_ICONWARNING = 0x0030,
    MB_ICONINFORMATION = 0x0040,
};

// Message box answers.
enum : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

class UiBridge {
public:
    virtual ~UiBridge() = default;
    // Queues a command id, with its argument, for the main window's command
    // handler; returns at once.
    virtual void PostCommand(int commandId, intptr_t argument = 0) = 0;
    // Runs the function on the user-interface thread and waits until it is done
    // (called on that thread, it runs at once). An exception the function
    // throws reaches the caller.
    virtual void RunOnUiThread(const std::function<void()>& function) = 0;
    // Shows a modal message box on the user-interface thread and returns the
    // answer (IDOK, IDYES, ...).
    virtual int MessageBox(const std::string& text, const std::string& caption, unsigned type) = 0;
    // A prompt that a script command raises (the command's name and the
    // prompt's text). True with the answer when the bridge answers prompts
    // from a script of answers; false when the prompt's own window asks.
    virtual bool AnswerPrompt(const std::string& command, const std::string& text, std::string* answer) {
        (void)command;
        (void)text;
        (void)answer;
        return false;
    }
};

// The bridge in use. Without an installed bridge, commands are dropped,
// functions run on the caller's thread and message boxes answer IDOK (or IDYES
// for a Yes/No box), each also written to standard error.
UiBridge& GetUiBridge();
void SetUiBridge(UiBridge* bridge);  // not owned; nullptr restores the default

// Shorthands through the installed bridge.
inline void PostCommand(int commandId, intptr_t argument = 0) { GetUiBridge().PostCommand(commandId, argument); }
inline void RunOnUiThread(const std::function<void()>& function) { GetUiBridge().RunOnUiThread(function); }
inline int ShowMessageBox(const std::string& text, const std::string& caption = "Vellora", unsigned type = MB_OK) {
    return GetUiBridge().MessageBox(text, caption, type);
}

// A bridge for tests: records every command and message box, runs functions
// on the caller's thread, and answers message boxes from a queue of answers
// (IDOK, or IDYES for a Yes/No box, when the queue is empty).
class ScriptedUiBridge : public UiBridge {
public:
    struct ShownBox {
        std::string text;
        std::string caption;
        unsigned type;
        int answer;
    };

    void PostCommand(int commandId, intptr_t argument = 0) override;
    void RunOnUiThread(const std::function<void()>& function) override;
    int MessageBox(const std::string& text, const std::string& caption, unsigned type) override;
    // Answers with the next queued prompt answer when it names this command;
    // otherwise the prompt stays unanswered (false) and the queue unchanged.
    bool AnswerPrompt(const std::string& command, const std::string& text, std::string* answer) override;

    void QueueAnswer(int answer);
    void QueuePromptAnswer(const std::string& command, const std::string& answer);
    // "<command>: <text>" of every prompt raised, answered or not.
    std::vector<std::string> Prompts() const;
    std::vector<int> PostedCommands() const;
    // The arguments of the posted commands, in the same order.
    std::vector<intptr_t> PostedArguments() const;
    std::vector<ShownBox> ShownBoxes() const;
    void Clear();

private:
    mutable std::mutex m_mutex;
    std::deque<int> m_answers;
    std::deque<std::pair<std::string, std::string>> m_promptAnswers;
    std::vector<std::string> m_prompts;
    std::vector<int> m_commands;
    std::vector<intptr_t> m_arguments;
    std::vector<ShownBox> m_boxes;
};

// Installs a bridge for a scope.
class ScopedUiBridge {
public:
    explicit ScopedUiBridge(UiBridge& bridge) { SetUiBridge(&bridge); }
    ~ScopedUiBridge() { SetUiBridge(nullptr); }
    ScopedUiBridge(const ScopedUiBridge&) = delete;
    ScopedUiBridge& operator=(const ScopedUiBridge&) = delete;
};

}  // namespace platform
