#include "operator/ui/ScriptWindows.h"

#include <QCoreApplication>
#include <QLineEdit>

#include "app/AdminMode.h"
#include "app/FrameCommands.h"
#include "operator/ControlPanel.h"
#include "operator/ScriptsConsole.h"
#include "operator/ui/ControlPanelDlg.h"
#include "operator/ui/ScriptsDlg.h"
#include "script/ScriptRun.h"

namespace {

void ToggleVisible(QWidget* window) {
    window->setVisible(!window->isVisible());
    if (window->isVisible()) window->raise();
}

// Runs `function` on the user-interface thread without waiting for it.
template <class Function>
void Post(Function function) {
    if (QCoreApplication* application = QCoreApplication::instance()) {
        QMetaObject::invokeMethod(application, std::move(function), Qt::QueuedConnection);
    }
}

// What a run of interpreter 0 shows in the console. Everything else, and
// everything of interpreter 1, goes on to the observer installed before.
// The window is reached only on the user-interface thread; the script
// thread does not wait for it.
class ConsoleRunObserver : public ScriptRunObserver {
public:
    void Chain(ScriptRunObserver* next) { m_next = next == this ? nullptr : next; }

    void ShowCurrentLine(int32_t handle, const std::string& line) override {
        if (handle == 0 && m_lines.Set(line)) {
            Post([this] {
                const std::string newest = m_lines.Take();
                if (g_ScriptsDlg) g_ScriptsDlg->CurrentLine()->setText(QString::fromStdString(newest));
            });
        }
        if (m_next) m_next->ShowCurrentLine(handle, line);
    }
    bool IsVariableWatchVisible() override { return m_next && m_next->IsVariableWatchVisible(); }
    void SetVariables(const std::vector<Variable>& variables) override {
        if (m_next) m_next->SetVariables(variables);
    }
    void OnScriptEnded(int32_t handle, bool failed) override {
        // Queued behind the run's last line, so the line box ends empty.
        if (handle == 0) {
            Post([] {
                if (g_ScriptsDlg) g_ScriptsDlg->OnScriptEnded();
            });
        }
        if (m_next) m_next->OnScriptEnded(handle, failed);
    }
    void ClearMfgTestSymbols() override {
        if (m_next) m_next->ClearMfgTestSymbols();
    }

private:
    ScriptRunObserver* m_next = nullptr;
    ScriptsConsole::CurrentLineFeed m_lines;
};

ConsoleRunObserver g_consoleObserver;

}  // namespace

void InstallScriptWindows(CommandRouter& commands, QWidget* parent) {
    ControlPanel::EnsureActiveControlPanelIni();

    if (g_ScriptsDlg == nullptr) {
        g_ScriptsDlg = new ScriptsDlg(parent);
        QObject::connect(g_ScriptsDlg, &QObject::destroyed, [] { g_ScriptsDlg = nullptr; });
    }
    commands.SetHandler(cmd::FluidicScripts, [] {
        if (g_ScriptsDlg) ToggleVisible(g_ScriptsDlg);
    });
    commands.SetHandler(cmd::ControlPanel, [parent] {
        if (g_ControlPanelDlg == nullptr) {
            g_ControlPanelDlg = new ControlPanelDlg(parent);
            QObject::connect(g_ControlPanelDlg, &QObject::destroyed, [] { g_ControlPanelDlg = nullptr; });
        }
        ToggleVisible(g_ControlPanelDlg);
    });

    // Both windows follow the administrator mode, after whatever was
    // installed before.
    auto previous = GetAdminModeChangedHook();
    SetAdminModeChangedHook([previous](bool adminMode) {
        if (previous) previous(adminMode);
        if (g_ControlPanelDlg) g_ControlPanelDlg->SetAdminMode(adminMode);
        if (g_ScriptsDlg) g_ScriptsDlg->UpdateButtons();
    });

    g_consoleObserver.Chain(GetScriptRunObserver());
    SetScriptRunObserver(&g_consoleObserver);
}
