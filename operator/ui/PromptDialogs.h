#pragma once

// The small dialogs that scripts open to talk to the operator: four modal
// prompts (information, continue or cancel, a value, custom buttons) and two
// modeless windows that exist once for the program (the timed wait's
// countdown and the operator notice). They share one look: an empty caption,
// no close box, and centred multi-line text.
//
// The modal prompts hand back QDialog's result, IDOK (1) or IDCANCEL (2);
// they neither check nor convert what the operator typed. The script
// commands decide what the answers mean.

#include <QDialog>
#include <QTimer>

#include <atomic>
#include <string>
#include <vector>

#include "operator/PromptTimers.h"

class QLabel;
class QLineEdit;
class QPushButton;

// Control ids the dialogs' code knows their controls by.
namespace promptid {
constexpr int kOk = 1;
constexpr int kCancel = 2;
constexpr int kMessage = 1213;
constexpr int kTime = 1212;
constexpr int kPrompt = 1202;
constexpr int kValue = 1203;
constexpr int kButtons[4] = {1080, 1011, 1081, 1082};
}  // namespace promptid

// A message and "Continue" (IDOK); Escape gives IDCANCEL.
class PromptInfoDlg : public QDialog {
    Q_OBJECT
public:
    explicit PromptInfoDlg(const std::string& message, QWidget* parent = nullptr);

protected:
    PromptInfoDlg(const std::string& message, bool withCancel, QWidget* parent);
};

// A message, "Continue" (IDOK) and "Cancel" (IDCANCEL).
class PromptContinueCancelDlg : public PromptInfoDlg {
    Q_OBJECT
public:
    explicit PromptContinueCancelDlg(const std::string& message, QWidget* parent = nullptr);
};

// A prompt and an edit field with the value; OK hands back the edited text
// (at most 1023 characters), Cancel leaves the value unchanged.
class PromptForValueDlg : public QDialog {
    Q_OBJECT
public:
    PromptForValueDlg(const std::string& prompt, const std::string& value, QWidget* parent = nullptr);
    const std::string& Value() const { return m_value; }
    void accept() override;

private:
    std::string m_value;
    QLineEdit* m_edit = nullptr;
};

// A message and one button per ";"-separated label, at most four, each sized
// to its label and all in one centred row. A button ends the dialog with
// IDOK and its number 1..4; Escape gives IDCANCEL and 0.
class PromptCustomDlg : public QDialog {
    Q_OBJECT
public:
    PromptCustomDlg(const std::string& message, const std::string& buttonList, QWidget* parent = nullptr);
    int PressedButton() const { return m_pressed; }
    QPushButton* Button(int index) const { return m_buttons[static_cast<size_t>(index)]; }

private:
    void LayOutButtons(const std::vector<std::string>& labels);

    int m_pressed = 0;
    std::vector<QPushButton*> m_buttons;
};

// The countdown of a timed wait: shown by the wait command with a message,
// a number of seconds and whether to count up; it hides itself when the time
// is up or the operator presses "Continue". Its time follows the program's
// clock.
class WaitWithTimerDlg : public QDialog {
    Q_OBJECT
public:
    explicit WaitWithTimerDlg(QWidget* parent = nullptr);

    // Sets message, seconds and count-up flag, then shows the window. An
    // empty message keeps the previous text.
    void StartWait(const std::string& message, int seconds, int countUp);
    // Ends the window as "Continue" does.
    void EndWait();
    // Safe to ask from any thread.
    bool IsShown() const { return m_shown.load(); }

    // One tick of the 950 ms timer.
    void OnTimer();
    QTimer& Timer() { return m_timer; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    std::string m_message;
    int m_seconds = 0;
    int m_countUp = 0;
    WaitCountdown m_countdown;
    QTimer m_timer;
    QLabel* m_time = nullptr;
    QLabel* m_text = nullptr;
    std::atomic<bool> m_shown{false};
};

// A notice for the operator that hides itself after a number of seconds, or
// stays until "Close".
class InformOperatorDlg : public QDialog {
    Q_OBJECT
public:
    explicit InformOperatorDlg(QWidget* parent = nullptr);

    // A new notice replaces the text and the countdown of the previous one.
    void Inform(const std::string& message, int seconds);
    // One tick of timer 1000.
    void OnTimer();
    QTimer& Timer() { return m_timer; }
    int SecondsLeft() const { return m_notice.SecondsLeft(); }

protected:
    void reject() override;

private:
    OperatorNotice m_notice;
    QTimer m_timer;
    QLabel* m_text = nullptr;
};

// The two shared windows, created hidden at start-up.
extern WaitWithTimerDlg* g_WaitWithTimerDlg;
extern InformOperatorDlg* g_InformOperatorDlg;

// The look the six dialogs share: the font that takes the place of
// "Microsoft Sans Serif".
QFont PromptFont(int pointSize = 14);
