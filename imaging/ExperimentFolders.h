#pragma once

// Experiment folders: the folder that receives an experiment's images, its
// settings copy and its capture log, made when an experiment is named; the
// resume mark on later image names; and the free-space check before a timed
// series starts.
//
// The current experiment lives only in the main settings file
// ([ExperimentSettings] ExperimentImageNamePrefix, ExperimentFullName,
// ExperimentDirectory, ExperimentFile); every capture reads the keys again.
//
// Errors: false with a message for the user in `error`. Creating and resuming
// share one lock, so the keys of two experiments named at the same moment
// never mix.

#include <cstdint>
#include <functional>
#include <string>

#include "platform/CString.h"
#include "support/String.h"

// Layout: <DataDirectory or data root>[/YYYYMMDD]/YYYYMMDD-HHMM-SS_<name>
// holding ExperimentSettings.ini, the Images folder and <full name>.log.
bool CreateNewExperiment(Tovanix::String name, CString& error);

// Appends "_Resumed" to ExperimentImageNamePrefix; always true.
bool ResumeExperiment(CString& error);

// True when the data drive has the recommended room for the active image
// types; false with a Yes/No question (or the reason the space is unknown).
bool CheckDiskSpaceForImageCapture(CString& message);

// How free space is measured: bytes available to the caller on the disk
// holding a native path; false with an errno-style code when it cannot be
// read. Tests install their own; null restores the platform's.
using DiskFreeSpaceQuery = std::function<bool(const std::string& path, uint64_t* freeBytes, int* errorCode)>;
void SetDiskFreeSpaceQuery(DiskFreeSpaceQuery query);

// Writes the cartridge type's channel offsets into a settings file: the
// cartridge catalogue's ImposeCartridgeTypeOffsets unless a test installs
// its own writer.
using CartridgeOffsetsWriter = std::function<bool(const char* settingsFile, const char* cartridgeCode, CString& error)>;
void SetCartridgeOffsetsWriter(CartridgeOffsetsWriter writer);
bool ImposeCartridgeOffsets(const char* settingsFile, const char* cartridgeCode, CString& error);

// "<folder>\<name>": the folder cut at its first CR or LF, trimmed, a
// separator added unless it ends with one; just the name when the folder is
// empty. Native separators.
std::string JoinExperimentPath(const char* folder, const char* name);
