#include "script/BuiltInHandlers.h"

void InstallScriptCommandFamilies(BuiltInHandlerTable& table)
{
    InstallCaptureLogHeaderCommands(table);
    InstallPromptCommands(table);
    InstallDispatcherCommands(table);
}
