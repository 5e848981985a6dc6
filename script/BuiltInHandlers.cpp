#include "script/BuiltInHandlers.h"

void InstallScriptCommandFamilies(BuiltInHandlerTable& table)
{
    InstallCaptureLogHeaderCommands(table);
    InstallPromptCommands(table);
    InstallFileCommands(table);
    InstallAnalysisRunCommands(table);
    InstallStringCommands(table);
    InstallROICommands(table);
    InstallMfgTestCommands(table);
}
