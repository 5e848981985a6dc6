#include "script/BuiltInHandlers.h"

void InstallScriptCommandFamilies(BuiltInHandlerTable& table)
{
    InstallCaptureLogHeaderCommands(table);
    InstallPromptCommands(table);
    InstallCameraCommands(table);
    InstallStageCommands(table);
    InstallDigitalIOCommands(table);
    InstallFileCommands(table);
    InstallAnalysisRunCommands(table);
    InstallStringCommands(table);
    InstallROICommands(table);
    InstallMfgTestCommands(table);
    InstallPumpCommands(table);
    InstallExperimentCommands(table);
    InstallDispatcherCommands(table);
}
