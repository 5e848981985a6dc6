#pragma once

// The machine folders the program uses, each with an environment override
// (every test sets them to temporary folders).

#include <string>

namespace platform {

// VELLORA_PUBLIC_DOCUMENTS, else ~/.local/share/Vellora/PublicDocuments.
std::string PublicDocumentsFolder();
// VELLORA_PROGRAM_DATA, else ~/.local/share/Vellora/ProgramData.
std::string ProgramDataFolder();
// VELLORA_PROGRAM_DIR, else the folder of the running executable.
std::string ProgramFolder();

}  // namespace platform
