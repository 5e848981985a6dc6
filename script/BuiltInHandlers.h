#pragma once

// The command families of the script library. Each family lives in a file of
// its own and has one install function that puts its handlers into the table
// by command index; InstallScriptCommandFamilies calls them all once, when
// the handlers are first needed.

#include <array>

#include "script/BuiltInFunctions.h"

struct BuiltInHandlerTable {
    std::array<BuiltInHandlerRow, kBuiltInFunctionCount> rows{};
    // Ignored for an index outside the table and for a retired command.
    void Set(int32_t index, BuiltInFunctionHandler handler);
    void Set(int32_t index, BuiltInMemberHandler handler);
};

void InstallScriptCommandFamilies(BuiltInHandlerTable& table);

// The families.
void InstallCaptureLogHeaderCommands(BuiltInHandlerTable& table);
void InstallPromptCommands(BuiltInHandlerTable& table);
void InstallCameraCommands(BuiltInHandlerTable& table);
void InstallStageCommands(BuiltInHandlerTable& table);
void InstallDigitalIOCommands(BuiltInHandlerTable& table);
void InstallFileCommands(BuiltInHandlerTable& table);
void InstallAnalysisRunCommands(BuiltInHandlerTable& table);
void InstallStringCommands(BuiltInHandlerTable& table);
void InstallROICommands(BuiltInHandlerTable& table);
void InstallMfgTestCommands(BuiltInHandlerTable& table);
void InstallPumpCommands(BuiltInHandlerTable& table);
void InstallExperimentCommands(BuiltInHandlerTable& table);
void InstallDispatcherCommands(BuiltInHandlerTable& table);
