#include "tools/ui/ToolWindows.h"

#include <QPointer>
#include <QPushButton>
#include <QWidget>

#include <algorithm>
#include <vector>

#include "app/FrameCommands.h"
#include "app/FrameHooks.h"
#include "imaging/ui/ROIManager.h"
#include "tools/ui/AlgoIteratorTool.h"
#include "tools/ui/CountingAlgorithmDlg.h"
#include "tools/ui/EpiCellCountingAlgoDlg.h"
#include "tools/ui/FindMeniscusDlg.h"
#include "tools/ui/FocusToolDlg.h"
#include "tools/ui/FractionationAnalysisDlg.h"
#include "tools/ui/ImageAnalysisToolDlg.h"
#include "tools/ui/MontageDlg.h"
#include "tools/ui/ProjectionAnalysisDlg.h"
#include "tools/ui/ProjectionAnalysisTool.h"
#include "tools/ui/VideoDlg.h"

namespace {

// Shows a hidden window and hides a shown one.
void Toggle(QWidget* window) {
    window->setVisible(!window->isVisible());
    if (window->isVisible()) window->raise();
}

void Show(QWidget* window) {
    window->show();
    window->raise();
}

// The global window of a tool, made on first use; forgotten if destroyed.
template <class Window>
Window* Ensure(Window*& global, QWidget* parent) {
    if (global == nullptr) {
        global = new Window(parent);
        QObject::connect(global, &QObject::destroyed, [&global] { global = nullptr; });
    }
    return global;
}

std::vector<QPointer<QWidget>>& FolderTools() {
    static std::vector<QPointer<QWidget>> tools;
    return tools;
}

}  // namespace

void RegisterFolderTool(QWidget* window) {
    auto& tools = FolderTools();
    tools.erase(std::remove(tools.begin(), tools.end(), nullptr), tools.end());
    if (std::find(tools.begin(), tools.end(), window) == tools.end()) tools.emplace_back(window);
}

void ShowOnlyFolderTool(QWidget* shown) {
    RegisterFolderTool(shown);
    for (const QPointer<QWidget>& tool : FolderTools()) {
        if (tool && tool != shown && tool->isVisible()) tool->hide();
    }
}

void ShowROIManagerFrom(QWidget* tool) {
    Show(GetROIManager(tool ? tool->parentWidget() : nullptr));
}

void ShowProjectionParamEditor(QWidget* parent) { Show(Ensure(g_ProjectionAnalysisDlg, parent)); }

void InstallToolWindows(CommandRouter& commands, QWidget* parent) {
    // A second use leaves the counting tool shown.
    commands.SetHandler(cmd::CountingAlgorithmParameters,
                        [parent] { Show(Ensure(g_CountingAlgorithmDlg, parent)); });
    commands.SetHandler(cmd::AlgoIterator, [parent] { Toggle(Ensure(g_AlgoIteratorTool, parent)); });
    // The batch tool and the epifluorescence tool are shown, never hidden, by
    // their commands.
    commands.SetHandler(cmd::EpiCellCountingParameters,
                        [parent] { Show(Ensure(g_EpiCellCountingAlgoDlg, parent)); });
    commands.SetHandler(cmd::ImageAnalysisTool, [parent] { Show(Ensure(g_ImageAnalysisToolDlg, parent)); });
    commands.SetHandler(cmd::FocusTool, [parent] { Toggle(Ensure(g_FocusToolDlg, parent)); });
    commands.SetHandler(cmd::FindMeniscus, [parent] { Toggle(Ensure(g_FindMeniscusDlg, parent)); });
    commands.SetHandler(cmd::CreateVideo, [parent] { Toggle(Ensure(g_VideoDlg, parent)); });
    commands.SetHandler(cmd::Montage, [parent] { RunMontageCommand(parent); });
    commands.SetHandler(cmd::FractionationAnalysisTool,
                        [parent] { Toggle(Ensure(g_FractionationAnalysisDlg, parent)); });
    commands.SetHandler(cmd::ProjectionAnalysisParameters,
                        [parent] { Toggle(Ensure(g_ProjectionAnalysisDlg, parent)); });
    commands.SetHandler(cmd::ProjectionAnalysisTool,
                        [parent] { Toggle(Ensure(g_ProjectionAnalysisTool, parent)); });

    // The main window refuses to close while a batch analysis runs.
    FrameHooks hooks = GetFrameHooks();
    hooks.imageAnalysisRunning = [] {
        return g_ImageAnalysisToolDlg != nullptr && g_ImageAnalysisToolDlg->StopButton()->isEnabled();
    };
    SetFrameHooks(hooks);
}
