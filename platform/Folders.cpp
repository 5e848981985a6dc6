#include "platform/Folders.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>
#include <vector>

namespace platform {

namespace {

std::string Override(const char* variable) {
    const char* value = std::getenv(variable);
    return value ? std::string(value) : std::string();
}

std::string HomeFolder() {
    std::string home = Override("HOME");
    if (!home.empty()) return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir) {
        return found->pw_dir;
    }
    return "/tmp";
}

// The per-user stand-in for a system folder. Such folders always exist on
// the instrument's computer, and the program makes only its own folders
// below them, so the stand-in is made on first use.
std::string UserDataFolder(const char* name) {
    std::string folder = HomeFolder() + "/.local/share/Vellora/" + name;
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    return folder;
}

}  // namespace

std::string PublicDocumentsFolder() {
    std::string folder = Override("VELLORA_PUBLIC_DOCUMENTS");
    return folder.empty() ? UserDataFolder("PublicDocuments") : folder;
}

std::string ProgramDataFolder() {
    std::string folder = Override("VELLORA_PROGRAM_DATA");
    return folder.empty() ? UserDataFolder("ProgramData") : folder;
}

std::string ProgramFolder() {
    std::string folder = Override("VELLORA_PROGRAM_DIR");
    if (!folder.empty()) return folder;
    std::error_code error;
    std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return std::filesystem::current_path(error).string();
    return executable.parent_path().string();
}

}  // namespace platform
