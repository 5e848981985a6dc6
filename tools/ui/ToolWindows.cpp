#include "tools/ui/ToolWindows.h"

#include <QWidget>

#include "app/FrameCommands.h"
#include "app/FrameHooks.h"
#include "tools/ui/AlgoIteratorTool.h"
#include "tools/ui/CountingAlgorithmDlg.h"

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

}  // namespace

void InstallToolWindows(CommandRouter& commands, QWidget* parent) {
    // A second use leaves the counting tool shown.
    commands.SetHandler(cmd::CountingAlgorithmParameters,
                        [parent] { Show(Ensure(g_CountingAlgorithmDlg, parent)); });
    commands.SetHandler(cmd::AlgoIterator, [parent] { Toggle(Ensure(g_AlgoIteratorTool, parent)); });
}
