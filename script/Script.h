#pragma once

// An interpreter instance and the code it loads.
//
// There are two instances: handle 0 serves the scripts console and the
// control panel, handle 1 the customer run screen. Each loads a main script
// into a ScriptCode record and keeps one ScriptCode per user function. User
// functions live in include files, named by "#include" lines at the top of
// the main script and found in the Includes folder of the instance's base
// folder (the data root for handle 0, the run screen's folder for handle 1),
// by a name compared without regard to letter case. Each include file is
// scanned once per run; its function definitions ("void Name(int a, STRING
// b)" followed by a "{" line, the body and the closing "}" line) enter the
// instance's functions table, sorted by name (byte order, case-sensitive).
//
// Errors: false and a message in the caller's error text.

#include <atomic>
#include <cstdint>
#include <istream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/CString.h"
#include "script/Variable.h"
#include "support/String.h"

class Script;

// One open block: the line of its "{" (the physical line number while the
// code is checked, the index of the stored line while it runs) and its kind
// (0 opened by if, 1 by while).
struct CodeBlock {
    int32_t line = 0;
    int32_t kind = 0;
};

// The code of the main script or of one user function.
class ScriptCode {
public:
    std::vector<std::string> lines;
    std::vector<CodeBlock> blocks;
    int32_t definitionLine = 0;  // of a function: its line in its include file
    std::string file;            // of a function: the full path of its include file
    std::string name;            // of a function
    std::vector<std::string> parameterNames;
    std::vector<int32_t> parameterTypes;  // kVariableDouble, kVariableInt, kVariableString

    // The check pass: reads the lines of `file` from its current position,
    // checks every statement, block and call (built-in commands with
    // check_only, user functions by loading their bodies) and stores the
    // lines that the executor runs. `path` and the physical line numbers
    // (counted on from firstLine) go into every message. A function body ends
    // at the "}" that closes it; the main script at the end of the file.
    bool Load(Script& owner, std::istream& file, const char* path, long firstLine, CString& error,
              bool function_body);
    // Reads the arguments of a call (the text from its "(") with the readers
    // of the parameters' types. With `locals`, creates one variable per
    // parameter holding the argument's value; with `passed`, records per
    // parameter the caller's variable that was named, or null for a literal.
    bool BindArguments(const char* arguments, std::vector<Variable>& callerVariables, CString& error,
                       std::vector<Variable>* locals, std::vector<Variable*>* passed) const;
    // Runs the stored lines on `variables` until the end, a return line or a
    // cleared running flag (true); false with the message of the failing line.
    bool Execute(Script& owner, std::vector<Variable>& variables, CString& error, const char* scriptFileName);
};

// Longest physical line of a script or include file.
constexpr long kMaxScriptLineLength = 65535;

// Deepest nesting of user functions, in loads and calls alike.
constexpr int32_t kMaxFunctionCallDepth = 10;
// Longest parameter name of a user function.
constexpr int32_t kMaxFunctionParameterName = 48;

class Script {
public:
    explicit Script(int32_t handle) : handle(handle) {}
    Script(const Script&) = delete;
    Script& operator=(const Script&) = delete;

    int32_t handle;
    std::atomic<bool> running{false};
    ScriptCode mainCode;
    Tovanix::String fileName;                // of the main script, without its folder
    std::string filePath;                    // of the main script, as the run was given it
    std::vector<std::string> includedFiles;  // as written in the #include lines
    std::vector<ScriptCode> functions;       // sorted by name
    // Nesting of user-function loads (check pass) and calls (run) of this
    // instance. Kept per instance: the other instance may run at the same time.
    int32_t functionCallDepth = 0;

    // The folder the include files of this instance are found in; empty while
    // the instance's base folder is not known.
    std::string IncludeFolder() const;

    // One trimmed "#include "name"" line: scans the file unless a file of
    // that name was scanned earlier in this run.
    bool ProcessInclude(const char* line, CString& error);
    // Enters every function of an include file into the functions table.
    bool scan_included_file(const char* path, CString& error);
    bool AddFunctionDescription(const std::string& name, const std::vector<int32_t>& types,
                                const std::vector<std::string>& names, const std::string& file,
                                int32_t definitionLine, CString& error);
    bool FindIncludedFunction(const char* name, int* index) const;

    // Check pass of one call of user function `index`: the arguments must fit
    // its parameters, then its body is loaded and checked with their types.
    bool load_function(int index, const char* arguments, std::vector<Variable>& variables, CString& error);
    // Runs one call of user function `index` on copies of its arguments and
    // hands the parameters' final values back to the variables passed for them.
    bool run_included_function(int index, const char* arguments, std::vector<Variable>& variables,
                               CString& error);

    // Runs: see script/ScriptRun.h.
    static bool RunScript(int32_t handle, const char* path, CString& error);
    static bool StopScript(int32_t handle);
    static bool IsScriptRunning(int32_t handle, CString* fileName);
    static bool ScriptHasCode(const char* path);
    static bool CheckPumpsIdle(CString& error);

    // Carries out built-in command `index` (0..209) with the argument text
    // from its "(" on.
    bool ExecuteBuiltInFunction(int index, const char* arguments, std::vector<Variable>& variables,
                                bool check_only, CString& error);

    // Command handlers of the script library.
    static bool SaveTextToImageCaptureLogHeader(const char* arguments, std::vector<Variable>& variables,
                                                bool check_only, CString& error);

    // The camera, the focus stack and the rotation correction (script/CameraCommands.cpp).
    static bool InitializeCamera(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                 CString& error);
    static bool CollectFocusStack(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                  CString& error);
    static bool AutoDetectSplitLineZeroPosition(const char* arguments, std::vector<Variable>& variables,
                                                bool check_only, CString& error);
    static bool StartDisplayRotationCorrectedImages(const char* arguments, std::vector<Variable>& variables,
                                                    bool check_only, CString& error);

    // The stage and the temperatures (script/StageCommands.cpp).
    static bool ZB_MoveToPosition_mm(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                     CString& error);
    static bool ZB_Home(const char* arguments, std::vector<Variable>& variables, bool check_only, CString& error);
    static bool ZB_MoveRelative_mm(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                   CString& error);
    static bool ZB_GetPosition_mm(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                  CString& error);
    static bool ZB_WaitForMoveToFinish(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                       CString& error);
    static bool GetTemperatures(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                CString& error);

    // The digital lines, the cartridge sensors and bar codes (script/DigitalIOCommands.cpp).
    static bool GetCartridgeState(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                  CString& error);
    static bool GetClampState(const char* arguments, std::vector<Variable>& variables, bool check_only,
                              CString& error);
    static bool DIO_ConfigureLine(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                  CString& error);
    static bool DIO_GetLineConfiguration(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                         CString& error);
    static bool DIO_GetInputLineState(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                      CString& error);
    static bool DIO_SetOutputLineState(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                       CString& error);
    static bool ParseBarCode(const char* arguments, std::vector<Variable>& variables, bool check_only,
                             CString& error);
    static bool GetCartridgeTypeFromBarCode(const char* arguments, std::vector<Variable>& variables,
                                            bool check_only, CString& error);
    static bool SetCurrentBarCode(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                  CString& error);
    // The syringe-pump commands (script/PumpCommands.cpp).
    static bool SetTopSpeed(const char* arguments, std::vector<Variable>& variables, bool check_only, CString& error);
    static bool MoveToPosition(const char* arguments, std::vector<Variable>& variables, bool check_only,
                               CString& error);
    static bool TerminateMove(const char* arguments, std::vector<Variable>& variables, bool check_only,
                              CString& error);
    static bool SetPumpValveState(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                  CString& error);
    static bool Dispense(const char* arguments, std::vector<Variable>& variables, bool check_only, CString& error);
    static bool Aspirate(const char* arguments, std::vector<Variable>& variables, bool check_only, CString& error);
    static bool WaitWhileSyringeIsMoving(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                         CString& error);
    static bool InitializeSyringePump(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                      CString& error);
    static bool SetSyringeVolume(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                 CString& error);
    static bool ResetPump(const char* arguments, std::vector<Variable>& variables, bool check_only, CString& error);
    static bool GetSyringeAspiratedVolume(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                          CString& error);
    static bool SetBacklashSteps(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                 CString& error);
    static bool GetBacklashSteps(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                 CString& error);
    static bool GetAccelerationRate(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                    CString& error);
    static bool SetAccelerationRate(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                    CString& error);
    // A member: its wait for a pump to report ready ends on a stop request.
    static bool TestPumps(Script& script, const char* arguments, std::vector<Variable>& variables, bool check_only,
                          CString& error);

    // The experiment and workflow commands (script/ExperimentCommands.cpp).
    static bool StartRecordingWorkflow(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                       CString& error);
    static bool SingleWorkflowImageCapture(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                           CString& error);
    static bool SetImageCapturePeriodMS(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                        CString& error);
    static bool GetExperimentName(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                  CString& error);
    static bool SetExperimentName(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                  CString& error);
    static bool GetDataDirectory(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                 CString& error);
    static bool SetDataDirectory(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                 CString& error);
    static bool GetImageTypeDescription(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                        CString& error);
    static bool SetImageTypeDescription(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                        CString& error);
    static bool GetSystemInfo(const char* arguments, std::vector<Variable>& variables, bool check_only,
                              CString& error);
    static bool IsFilenameValid(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                CString& error);
    static bool IsFileExist(const char* arguments, std::vector<Variable>& variables, bool check_only,
                            CString& error);
    static bool CustomerUI_SetWorkflowLiveImageIntervalByImageType(const char* arguments,
                                                                   std::vector<Variable>& variables,
                                                                   bool check_only, CString& error);

    // The operator's prompts, the timed wait and the notice (script/PromptCommands.cpp).
    static bool PromptInfo(const char* arguments, std::vector<Variable>& variables, bool check_only, CString& error);
    static bool PromptContinueCancel(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                     CString& error);
    static bool PromptForValue(const char* arguments, std::vector<Variable>& variables, bool check_only,
                               CString& error);
    static bool PromptForValueInt(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                  CString& error);
    static bool PromptForString(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                CString& error);
    static bool PromptCustom(const char* arguments, std::vector<Variable>& variables, bool check_only,
                             CString& error);
    static bool WaitWithTimer(Script& script, const char* arguments, std::vector<Variable>& variables,
                              bool check_only, CString& error);
    static bool InformOperator(const char* arguments, std::vector<Variable>& variables, bool check_only,
                               CString& error);
    static bool ShowFluidicSystemState(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                       CString& error);

    // Files, logs, stored settings and sounds (script/FileCommands.cpp).
    static bool OpenFileUsingDefaultApp(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                        CString& error);
    static bool CompareTwoDataFiles(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                    CString& error);
    static bool SaveTextToLogFile(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                  CString& error);
    static bool ReadStoredString(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                 CString& error);
    static bool WriteStoredString(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                  CString& error);
    static bool PlaySound(const char* arguments, std::vector<Variable>& variables, bool check_only, CString& error);
    // Batch image analysis runs (script/AnalysisRunCommands.cpp).
    static bool RunImageAnalysis(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                 CString& error);
    static bool GetImageAnalysisRunStatus(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                          CString& error);
    static bool GetImageAnalysisRunFiles(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                         CString& error);
    static bool DeleteImageAnalysisRunHandle(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                             CString& error);
    // Texts, numbers and the time (script/StringCommands.cpp).
    static bool StringToInt(const char* arguments, std::vector<Variable>& variables, bool check_only, CString& error);
    static bool StringToDouble(const char* arguments, std::vector<Variable>& variables, bool check_only,
                               CString& error);
    static bool IsStringInt(const char* arguments, std::vector<Variable>& variables, bool check_only, CString& error);
    static bool StrLen(const char* arguments, std::vector<Variable>& variables, bool check_only, CString& error);
    static bool StrLeft(const char* arguments, std::vector<Variable>& variables, bool check_only, CString& error);
    static bool StrRight(const char* arguments, std::vector<Variable>& variables, bool check_only, CString& error);
    static bool StrReplace(const char* arguments, std::vector<Variable>& variables, bool check_only, CString& error);
    static bool GetCurrentTimeAsString(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                       CString& error);
    // Named regions of interest (script/ROICommands.cpp).
    static bool ROI_Exists(const char* arguments, std::vector<Variable>& variables, bool check_only, CString& error);
    static bool ROI_Read(const char* arguments, std::vector<Variable>& variables, bool check_only, CString& error);
    static bool ROI_Write(const char* arguments, std::vector<Variable>& variables, bool check_only, CString& error);
    static bool ROI_Remove(const char* arguments, std::vector<Variable>& variables, bool check_only, CString& error);
    static bool ROI_ChooseByName(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                 CString& error);
    // Manufacturing tests over the live image (script/MfgTestCommands.cpp).
    static bool MfgTest_BrightnessAtTarget(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                           CString& error);
    static bool MfgTest_ShowSymbolOverVideo(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                            CString& error);
    static bool MfgTest_RemoveAllSymbolsOverVideo(const char* arguments, std::vector<Variable>& variables,
                                                  bool check_only, CString& error);
    static bool MfgTest_CreateSymbolType(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                         CString& error);
    static bool MfgTest_AddPointToSymbolType(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                             CString& error);
};

// Parses a function definition after its "void ": the name, then the typed
// parameters in parentheses.
bool ParseFunctionDefinition(const Tovanix::String& definition, std::string& name, std::vector<int32_t>& types,
                             std::vector<std::string>& names, CString& error);

// The functions table, sorted by name in byte order of unsigned characters.
// Insert fails (inserting nothing) when the name is there already.
bool InsertFunctionSorted(std::vector<ScriptCode>& functions, ScriptCode code, int* index);
int FindFunctionSorted(const std::vector<ScriptCode>& functions, const char* name);
