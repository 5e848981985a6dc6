#include "script/BuiltInHandlers.h"

void InstallScriptCommandFamilies(BuiltInHandlerTable& table)
{
    InstallCaptureLogHeaderCommands(table);
    InstallPromptCommands(table);
    InstallCameraCommands(table);
    InstallStageCommands(table);
    InstallDigitalIOCommands(table);
}
