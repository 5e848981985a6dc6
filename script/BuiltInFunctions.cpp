#include "script/BuiltInFunctions.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>

#include "script/BuiltInHandlers.h"

std::vector<BuiltInFunction> g_BuiltInFunctions;

namespace {

// The commands in index order.
const char* const kCommandNames[kBuiltInFunctionCount] = {
    "PromptInfo",                                      // 0
    "PromptContinueCancel",                            // 1
    "SetTopSpeed",                                     // 2
    "MoveToPosition",                                  // 3
    "TerminateMove",                                   // 4
    "SetPumpValveState",                               // 5
    "SetPinchValveState",                              // 6
    "Wait",                                            // 7
    "EmptySyringe",                                    // 8
    "Dispense",                                        // 9
    "Aspirate",                                        // 10
    "WaitWhileSyringeIsMoving",                        // 11
    "InitializeSyringePump",                           // 12
    "SetSyringeVolume",                                // 13
    "PromptForValue",                                  // 14
    "ResetPump",                                       // 15
    "ResetDIO",                                        // 16
    "ValidateDispense",                                // 17
    "ValidateAspirate",                                // 18
    "WaitWithTimer",                                   // 19
    "GetSyringeAspiratedVolume",                       // 20
    "SetBacklashSteps",                                // 21
    "GetBacklashSteps",                                // 22
    "SetChannelDivider",                               // 23
    "GetAccelerationRate",                             // 24
    "SetAccelerationRate",                             // 25
    "StartRecordingWorkflow",                          // 26
    "StopRecordingWorkflow",                           // 27
    "SingleWorkflowImageCapture",                      // 28
    "PromptForString",                                 // 29
    "GetImageCapturePeriodMS",                         // 30
    "SetImageCapturePeriodMS",                         // 31
    "GetImageCaptureCount",                            // 32
    "SetImageCaptureCount",                            // 33
    "GetExperimentName",                               // 34
    "SetExperimentName",                               // 35
    "GetDataDirectory",                                // 36
    "SetDataDirectory",                                // 37
    "GetImageTypeDescription",                         // 38
    "SetImageTypeDescription",                         // 39
    "CaptureBackgroundImagesToMemory",                 // 40
    "GetNumberOfBackgroundImagesLoaded",               // 41
    "SaveBackgroundImagesToFile",                      // 42
    "LoadBackgroundImagesFromFile",                    // 43
    "FG_SetFlowRates",                                 // 44
    "FG_SetPressures",                                 // 45
    "FG_RunState",                                     // 46
    "FG_Start",                                        // 47
    "FG_Stop",                                         // 48
    "ShowExperimentSettings",                          // 49
    "PromptForValueInt",                               // 50
    "SaveTextToImageCaptureLogHeader",                 // 51
    "PromptCustom",                                    // 52
    "FG_SetValveState",                                // 53
    "FG_GetValveState",                                // 54
    "FG_SetMultiValveState",                           // 55
    "FG_GetPressures",                                 // 56
    "FG_GetFlowRates",                                 // 57
    "FG_StartRecordingVolume",                         // 58
    "FG_GetVolume",                                    // 59
    "FG_DispenseAtConstPressure",                      // 60
    "FG_DispenseAtConstFlowRate",                      // 61
    "FG_IsDispensing",                                 // 62
    "FG_Logging",                                      // 63
    "FG_SetSensorRegulation",                          // 64
    "FG_SetSensorCustomScale",                         // 65
    "FG_SetSensorRegulationResponse",                  // 66
    "FG_SetPressureResponse",                          // 67
    "FG_StopRecordingVolume",                          // 68
    "InformOperator",                                  // 69
    "FG_StopDispensing",                               // 70
    "FG_SetFullVolumeCapacity",                        // 71
    "FG_SetInitialVolume",                             // 72
    "FG_ShowVolumeInFluigentView",                     // 73
    "CollectFocusStack",                               // 74
    "RunImageAnalysis",                                // 75
    "GetImageAnalysisRunStatus",                       // 76
    "DeleteImageAnalysisRunHandle",                    // 77
    "GetImageAnalysisRunFiles",                        // 78
    "CompareTwoDataFiles",                             // 79
    "OpenFileUsingDefaultApp",                         // 80
    "ZB_MoveToPosition_mm",                            // 81
    "ZB_MoveRelative_mm",                              // 82
    "ZB_GetPosition_mm",                               // 83
    "ZB_WaitForMoveToFinish",                          // 84
    "CustomerUI_Login",                                // 85
    "CustomerUI_SelectAction",                         // 86
    "CustomerUI_PromptInsertFlowcell",                 // 87
    "CustomerUI_PipetteSample",                        // 88
    "CustomerUI_SampleLoading",                        // 89
    "CustomerUI_SampleEquilibrating",                  // 90
    "CustomerUI_SelectFlowSplitPosition",              // 91
    "CustomerUI_SampleFlowing",                        // 92
    "CustomerUI_SampleBeingCollected",                 // 93
    "CustomerUI_DefineFlowSplitRange",                 // 94
    "GetCartridgeState",                               // 95
    "GetClampState",                                   // 96
    "CustomerUI_SetErrorMessage",                      // 97
    "IsCameraAvailable",                               // 98
    "CustomerUI_SetTextLine",                          // 99
    "CustomerUI_ShowVideo",                            // 100
    "CustomerUI_PromptForInput",                       // 101
    "CustomerUI_SetInput",                             // 102
    "CustomerUI_GetTextEditFieldContents",             // 103
    "CustomerUI_SetTimer",                             // 104
    "IsTecanPumpAvailable",                            // 105
    "CustomerUI_GetFlowSplit",                         // 106
    "CustomerUI_SetNextButtonText",                    // 107
    "CustomerUI_SetBackButtonText",                    // 108
    "CustomerUI_ShowSplitFlowLine",                    // 109
    "CustomerUI_PromptInfo",                           // 110
    "CustomerUI_SetImage",                             // 111
    "MfgTest_BrightnessAtTarget",                      // 112
    "MfgTest_ShowSymbolOverVideo",                     // 113
    "MfgTest_RemoveAllSymbolsOverVideo",               // 114
    "MfgTest_CreateSymbolType",                        // 115
    "MfgTest_AddPointToSymbolType",                    // 116
    "CustomerUI_SetBackgroundColor",                   // 117
    "CustomerUI_SetDefaultTextColor",                  // 118
    "CustomerUI_SetHilightTextColor",                  // 119
    "CustomerUI_SetImagePreviewZoomInArea",            // 120
    "CustomerUI_TriggerEventWhenPumpStopsMoving",      // 121
    "CustomerUI_RestoreDefaultState",                  // 122
    "ZB_Home",                                         // 123
    "CustomerUI_DefineGroupBox",                       // 124
    "CustomerUI_AddActionButtonLine",                  // 125
    "CustomerUI_DefineActionButtonWidth",              // 126
    "CustomerUI_DefineActionButtonBackgroundColors",   // 127
    "CustomerUI_DefineActionButtonTextColors",         // 128
    "CustomerUI_DefineActionButtonFont",               // 129
    "CustomerUI_DefineActionButtonCornerRadius",       // 130
    "CustomerUI_DefineActionButtonVerticalSpacing",    // 131
    "CustomerUI_StopTimer",                            // 132
    "ShowFluidicSystemState",                          // 133
    "StringToInt",                                     // 134
    "StringToDouble",                                  // 135
    "GetTemperatures",                                 // 136
    "CustomerUI_ShowNext",                             // 137
    "CustomerUI_ShowBack",                             // 138
    "CustomerUI_HideNext",                             // 139
    "CustomerUI_HideBack",                             // 140
    "CustomerUI_SetNextImages",                        // 141
    "CustomerUI_SetBackImages",                        // 142
    "SaveTextToLogFile",                               // 143
    "CustomerUI_GetTimerInfo",                         // 144
    "ZaberControlPanel",                               // 145
    "StopLiveImageCapture",                            // 146
    "GetSystemInfo",                                   // 147
    "ParseBarCode",                                    // 148
    "ROI_Hide",                                        // 149
    "ROI_Show",                                        // 150
    "ROI_ChooseByName",                                // 151
    "ROI_DrawProjectionBelow",                         // 152
    "ROI_DrawProjectionRightSide",                     // 153
    "CustomerUI_SetTopLinePos",                        // 154
    "CustomerUI_SetActionsTopLinePos",                 // 155
    "ReadStoredString",                                // 156
    "StrLen",                                          // 157
    "StrLeft",                                         // 158
    "StrRight",                                        // 159
    "StrReplace",                                      // 160
    "TestPumps",                                       // 161
    "GetCurrentTimeAsString",                          // 162
    "InitializeCamera",                                // 163
    "WriteStoredString",                               // 164
    "PlaySound",                                       // 165
    "CustomerUI_SetFlowSplit",                         // 166
    "ROI_Exists",                                      // 167
    "ROI_Read",                                        // 168
    "ROI_Write",                                       // 169
    "ROI_Remove",                                      // 170
    "OpenCreateVideoTool",                             // 171
    "DIO_Reset",                                       // 172
    "DIO_ConfigureLine",                               // 173
    "DIO_GetLineConfiguration",                        // 174
    "DIO_RestoreDefaultState",                         // 175
    "DIO_GetInputLineState",                           // 176
    "DIO_SetOutputLineState",                          // 177
    "GetCartridgeTypeFromBarCode",                     // 178
    "SetCurrentBarCode",                               // 179
    "CustomerUI_PromptForInputChecks",                 // 180
    "CustomerUI_SetCheckboxInput",                     // 181
    "CustomerUI_GetCheckBoxState",                     // 182
    "CustomerUI_GetCartridgeOffset",                   // 183
    "CustomerUI_CreateExperiment",                     // 184
    "CustomerUI_SetupResumeExperiment",                // 185
    "CustomerUI_GetAdminModeStatus",                   // 186
    "CustomerUI_CreateINIBackup",                      // 187
    "CustomerUI_SetTitle",                             // 188
    "CustomerUI_ContinueTimer",                        // 189
    "IsStringInt",                                     // 190
    "CustomerUI_PromptForInputFilename",               // 191
    "CustomerUI_SetInputFilename",                     // 192
    "CustomerUI_SetSelectionActionTitle",              // 193
    "CustomerUI_GetImageFileForContrastAdjustment",    // 194
    "CustomerUI_FluoChannelCheck",                     // 195
    "CustomerUI_FusedImageCheck",                      // 196
    "IsFilenameValid",                                 // 197
    "CustomerUI_PromptForAnalysis",                    // 198
    "CustomerUI_GetGUISize",                           // 199
    "CustomerUI_PromptForMontageAndFractionationReport", // 200
    "CustomerUI_IsExperimentSettingFileValid",         // 201
    "IsFileExist",                                     // 202
    "AutoDetectSplitLineZeroPosition",                 // 203
    "StartDisplayRotationCorrectedImages",             // 204
    "EndDisplayRotationCorrectedImages",               // 205
    "CustomerUI_SetWorkflowLiveImageIntervalByImageType", // 206
    "CustomerUI_ClearWorkflowLiveImageIntervals",      // 207
    "CustomerUI_AllowAdjustSplitFlowLine",             // 208
    "IsQX4Lite",                                       // 209
};

// Byte order of unsigned characters; a prefix sorts before the longer name.
bool NameLess(const std::string& a, const std::string& b)
{
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    });
}

struct Retired {
    int32_t index;
    const char* message;
};

const Retired kRetired[] = {
    {6, "SetPinchValveState() - Function is obsolete"},
    {23, "SetChannelDivider() - This function is obsolete as of V1.445 - please use CustomerUI_SetFlowSplit(isplit)."},
    {44, "FG_SetFlowRates() - not supported after V1.161"},
    {45, "FG_SetPressures() - not supported after V1.491"},
    {46, "FG_RunState() - not supported after V1.161"},
    {47, "FG_Start() - not supported after V1.161"},
    {48, "FG_Stop() - not supported after V1.491"},
    {53, "FG_SetValveState() - not supported after V1.491"},
    {54, "FG_GetValveState() - not supported after V1.491"},
    {55, "FG_SetMultiValveState() - not supported after V1.491"},
    {56, "FG_GetPressures() - not supported after V1.491"},
    {57, "FG_GetFlowRates() - not supported after V1.491"},
    {58, "FG_StartRecordingVolume() - not supported after V1.491"},
    {59, "FG_GetVolume() - not supported after V1.491"},
    {60, "FG_DispenseAtConstPressure() - not supported after V1.491"},
    {61, "FG_DispenseAtConstFlowRate() - not supported after V1.491"},
    {62, "FG_IsDispensing() - not supported after V1.491"},
    {63, "FG_Logging() - not supported after V1.491"},
    {64, "FG_SetSensorRegulation() - not supported after V1.491"},
    {65, "FG_SetSensorCustomScale() - not supported after V1.491"},
    {66, "FG_SetSensorRegulationResponse() - not supported after V1.491"},
    {67, "FG_SetPressureResponse() - not supported after V1.491"},
    {68, "FG_StopRecordingVolume() - not supported after V1.491"},
    {70, "FG_StopDispensing() - not supported after V1.491"},
    {71, "FG_SetFullVolumeCapacity() - not supported after V1.491"},
    {72, "FG_SetInitialVolume() - not supported after V1.491"},
    {73, "FG_ShowVolumeInFluigentView() - not supported after V1.491"},
    {89, "CustomerUI_SampleLoading() is obsolete. Please use ShowVideo()"},
    {90, "CustomerUI_SampleEquilibrating() is obsolete. Please use ShowVideo()"},
    {91, "CustomerUI_SelectFlowSplitPosition() is obsolete. Please use ShowVideo()"},
    {92, "CustomerUI_SampleFlowing() is obsolete. Please use ShowVideo()"},
};

// The handler rows, filled with the script library's own command families
// on first use; the higher layers add theirs through the setters.
std::array<BuiltInHandlerRow, kBuiltInFunctionCount>& HandlerRows()
{
    static std::array<BuiltInHandlerRow, kBuiltInFunctionCount> rows = [] {
        BuiltInHandlerTable table;
        InstallScriptCommandFamilies(table);
        return table.rows;
    }();
    return rows;
}

bool InTable(int32_t index) { return static_cast<uint32_t>(index) < static_cast<uint32_t>(kBuiltInFunctionCount); }

}  // namespace

void BuiltInHandlerTable::Set(int32_t index, BuiltInFunctionHandler handler)
{
    if (InTable(index) && !RetiredBuiltInFunctionMessage(index))
        rows[static_cast<size_t>(index)] = {handler, nullptr};
}

void BuiltInHandlerTable::Set(int32_t index, BuiltInMemberHandler handler)
{
    if (InTable(index) && !RetiredBuiltInFunctionMessage(index))
        rows[static_cast<size_t>(index)] = {nullptr, handler};
}

void BuildBuiltInFunctionTable()
{
    g_BuiltInFunctions.clear();
    int next = 0;
    for (const char* name : kCommandNames)
        AddBuiltInFunction(name, next);
    std::sort(g_BuiltInFunctions.begin(), g_BuiltInFunctions.end(),
              [](const BuiltInFunction& a, const BuiltInFunction& b) { return NameLess(a.name, b.name); });
}

void AddBuiltInFunction(const char* name, int& nextIndex)
{
    g_BuiltInFunctions.push_back({name, nextIndex});
    ++nextIndex;
}

const char* BuiltInFunctionName(int32_t index)
{
    return InTable(index) ? kCommandNames[index] : nullptr;
}

int FindBuiltInFunction(const char* name)
{
    if (!name || g_BuiltInFunctions.empty())
        return -1;
    const std::string key(name);
    const auto found = std::lower_bound(
        g_BuiltInFunctions.begin(), g_BuiltInFunctions.end(), key,
        [](const BuiltInFunction& entry, const std::string& value) { return NameLess(entry.name, value); });
    if (found == g_BuiltInFunctions.end() || found->name != key)
        return -1;
    return static_cast<int>(found - g_BuiltInFunctions.begin());
}

const char* RetiredBuiltInFunctionMessage(int32_t index)
{
    for (const Retired& retired : kRetired) {
        if (retired.index == index)
            return retired.message;
    }
    return nullptr;
}

bool SetBuiltInFunctionHandler(int32_t index, BuiltInFunctionHandler handler)
{
    if (!InTable(index) || RetiredBuiltInFunctionMessage(index))
        return false;
    HandlerRows()[static_cast<size_t>(index)] = {handler, nullptr};
    return true;
}

bool SetBuiltInMemberHandler(int32_t index, BuiltInMemberHandler handler)
{
    if (!InTable(index) || RetiredBuiltInFunctionMessage(index))
        return false;
    HandlerRows()[static_cast<size_t>(index)] = {nullptr, handler};
    return true;
}

BuiltInHandlerRow GetBuiltInHandler(int32_t index)
{
    return InTable(index) ? HandlerRows()[static_cast<size_t>(index)] : BuiltInHandlerRow{};
}
