#include "devices/ui/DeviceWindows.h"

#include <QWidget>

#include "app/FrameCommands.h"
#include "app/VelloraApp.h"
#include "devices/ui/CameraSettingsDlg.h"
#include "devices/ui/DigitalIOConfigurationDlg.h"
#include "devices/ui/PumpInformationDlg.h"
#include "devices/ui/ZaberControlPanel.h"

namespace {

// Shows a hidden window and hides a shown one.
void ToggleVisible(QWidget* window) {
    window->setVisible(!window->isVisible());
    if (window->isVisible()) window->raise();
}

}  // namespace

void InstallDeviceWindows(CommandRouter& commands, QWidget* parent) {
    commands.SetHandler(cmd::PumpInformation, [parent] {
        if (g_PumpInformationDlg == nullptr) g_PumpInformationDlg = new PumpInformationDlg(parent);
        ToggleVisible(g_PumpInformationDlg);
    });
    commands.SetHandler(cmd::DioConfiguration, [parent] {
        if (g_DigitalIOConfigurationDlg == nullptr) g_DigitalIOConfigurationDlg = new DigitalIOConfigurationDlg(parent);
        ToggleVisible(g_DigitalIOConfigurationDlg);
    });
    // The camera settings window is modal and made afresh each time.
    commands.SetHandler(cmd::CameraSettings, [parent] {
        CameraSettingsDlg dialog(theApp.m_pCamera, parent);
        dialog.exec();
    });
    commands.SetHandler(cmd::StageControlPanel, [parent] {
        if (g_ZaberControlPanel == nullptr) g_ZaberControlPanel = new ZaberControlPanel(parent);
        ToggleVisible(g_ZaberControlPanel);
    });
}
