#include "operator/ui/PromptWindows.h"

#include <QWidget>

#include "app/FrameCommands.h"
#include "operator/ui/PromptDialogs.h"
#include "operator/ui/SystemStateDlg.h"
#include "operator/ui/VariableWatchDlg.h"
#include "platform/UiBridge.h"
#include "script/ScriptRun.h"

namespace {

// Shows a hidden window and hides a shown one.
void ToggleVisible(QWidget* window)
{
    window->setVisible(!window->isVisible());
    if (window->isVisible())
        window->raise();
}

// Hands the variables to the watch window while it is shown.
class WatchSink : public VariableWatchSink {
public:
    bool IsVisible() override { return g_VariableWatchDlg && g_VariableWatchDlg->IsShown(); }
    void SetVariables(const std::vector<Variable>& variables) override
    {
        if (VariableWatchDlg* dialog = g_VariableWatchDlg)
            dialog->SetVariables(variables);
    }
};

class Installed : public OperatorPromptWindows {
public:
    Installed()
    {
        SetScriptPromptWindows(&m_prompts);
        SetVariableWatchSink(&m_watch);
    }
    ~Installed() override
    {
        SetVariableWatchSink(nullptr);
        SetScriptPromptWindows(nullptr);
    }

private:
    QtScriptPromptWindows m_prompts;
    WatchSink m_watch;
};

}  // namespace

int QtScriptPromptWindows::PromptInfo(const std::string& message)
{
    int result = platform::IDCANCEL;
    platform::RunOnUiThread([&] {
        PromptInfoDlg dialog(message);
        result = dialog.exec();
    });
    return result == QDialog::Accepted ? platform::IDOK : platform::IDCANCEL;
}

int QtScriptPromptWindows::PromptContinueCancel(const std::string& message)
{
    int result = platform::IDCANCEL;
    platform::RunOnUiThread([&] {
        PromptContinueCancelDlg dialog(message);
        result = dialog.exec();
    });
    return result == QDialog::Accepted ? platform::IDOK : platform::IDCANCEL;
}

int QtScriptPromptWindows::PromptForValue(const std::string& prompt, std::string& value)
{
    int result = platform::IDCANCEL;
    platform::RunOnUiThread([&] {
        PromptForValueDlg dialog(prompt, value);
        result = dialog.exec();
        if (result == QDialog::Accepted)
            value = dialog.Value();
    });
    return result == QDialog::Accepted ? platform::IDOK : platform::IDCANCEL;
}

int QtScriptPromptWindows::PromptCustom(const std::string& message, const std::string& labels, int& pressed)
{
    int result = platform::IDCANCEL;
    platform::RunOnUiThread([&] {
        PromptCustomDlg dialog(message, labels);
        result = dialog.exec();
        pressed = dialog.PressedButton();
    });
    if (result != QDialog::Accepted)
        pressed = 0;
    return result == QDialog::Accepted ? platform::IDOK : platform::IDCANCEL;
}

void QtScriptPromptWindows::ShowWaitWithTimer(int seconds, const std::string& message, int countUp)
{
    platform::RunOnUiThread([&] {
        if (g_WaitWithTimerDlg)
            g_WaitWithTimerDlg->StartWait(message, seconds, countUp);
    });
}

bool QtScriptPromptWindows::IsWaitWithTimerVisible() { return g_WaitWithTimerDlg && g_WaitWithTimerDlg->IsShown(); }

void QtScriptPromptWindows::EndWaitWithTimer()
{
    platform::RunOnUiThread([] {
        if (g_WaitWithTimerDlg)
            g_WaitWithTimerDlg->EndWait();
    });
}

void QtScriptPromptWindows::InformOperator(const std::string& message, int seconds)
{
    platform::RunOnUiThread([&] {
        if (g_InformOperatorDlg)
            g_InformOperatorDlg->Inform(message, seconds);
    });
}

std::unique_ptr<OperatorPromptWindows> InstallOperatorPromptWindows(CommandRouter& commands, QWidget* parent)
{
    if (!g_WaitWithTimerDlg)
        g_WaitWithTimerDlg = new WaitWithTimerDlg(parent);
    if (!g_InformOperatorDlg)
        g_InformOperatorDlg = new InformOperatorDlg(parent);
    commands.SetHandler(cmd::SystemState, [parent] {
        if (!g_SystemStateDlg)
            g_SystemStateDlg = new SystemStateDlg(parent);
        ToggleVisible(g_SystemStateDlg);
    });
    commands.SetHandler(cmd::WatchScriptVariables, [parent] {
        if (!g_VariableWatchDlg)
            g_VariableWatchDlg = new VariableWatchDlg(parent);
        ToggleVisible(g_VariableWatchDlg);
    });
    return std::make_unique<Installed>();
}
