#pragma once

// The program's daily log files in the LOG folder of the data root: the
// error-and-info log every subsystem reports to, the pump log, the script log
// with a copy of each script run, the customer-screen action log, and the
// computer-name line other reports start with.

#include <cstdio>

#include "platform/CString.h"

// The application object lives in a higher layer; it tells the logs (and the
// crash report) where its data root, version, display name and main settings
// file are. The strings are read at each use, so later changes show.
struct AppLogSources {
    const CString* dataRoot = nullptr;     // e.g. <public documents>\Tessaly\Vellora
    const CString* fileVersion = nullptr;  // four-part file version
    const CString* displayName = nullptr;  // product display name
    const CString* iniPath = nullptr;      // main settings file
};
void SetAppLogSources(const AppLogSources& sources);
const AppLogSources& GetAppLogSources();

// <data root>\<relative> (the relative part alone when the data root is
// empty), as a native path.
CString DataRootPath(const char* relative);

// Appends one row to the day's error-and-info log, or to `file` when given.
// Never fails towards its caller.
void LogErrAndInfo(const char* sourceFile, int sourceLine, const char* message, FILE* file = nullptr);
// Adds one row to the pump log, whose file is fixed by the first call of the process.
bool AddPumpLogLine(const char* timingLine);
void LogScriptLine(const char* scriptName, const char* lineText);
// Copies <data root>\Scripts\<scriptName> into a folder of its own for this run.
void ArchiveScriptToLog(const char* scriptName);
// Copies the script file at `scriptPath` (the file a run read) into a folder
// of its own for this run.
void ArchiveScriptFileToLog(const char* scriptPath);
void LogCustomerUIAction(const char* action, const char* stateName, const char* info);
void WriteComputerNameLine(FILE* file);
