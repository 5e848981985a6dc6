#pragma once

// What the montage window checks before it closes with OK: an experiment
// folder holding its settings file and a montage name that is a valid file
// name.

#include <string>

// The refusal's message, or empty when the folder and name are accepted.
std::string CheckMontageRequest(const std::string& directory, const std::string& name);

// The message shown after a montage was made, or the failure's.
std::string MontageOutcomeMessage(bool made, const std::string& directory, const std::string& name);

// The experiment folder last entered in the montage window, kept for the
// rest of the process.
extern std::string g_MontageExperimentDirectory;
