#include "app/ui/SettingsWindows.h"

#include "app/FrameCommands.h"
#include "app/ui/CartridgeDialogs.h"
#include "app/ui/ExperimentSettingsDlg.h"
#include "app/ui/MainFrame.h"
#include "app/ui/ProfileEncryptionDlg.h"
#include "platform/UiBridge.h"

void InstallSettingsWindows(CommandRouter& commands, QWidget* parent, ExperimentCreator createExperiment) {
    commands.SetHandler(cmd::ExperimentSettings, [parent] {
        ExperimentSettingsDlg dialog(parent);
        dialog.DoModal();
    });
    commands.SetHandler(cmd::EncryptedProfiles, [parent] {
        ProfileEncryptionDlg dialog(parent);
        dialog.DoModal();
    });
    commands.SetHandler(cmd::StartExperimentWorkflow, [parent, createExperiment] {
        PromptForExperimentNameDlg dialog(createExperiment, parent);
        dialog.m_nCartridgeTypeIndex = 0;
        if (dialog.DoModal() == platform::IDOK) CMainFrame::StartExperimentWorkflow();
    });
}
