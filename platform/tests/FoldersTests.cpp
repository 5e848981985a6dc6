#include "platform/Folders.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "platform/tests/ScopedEnv.h"

namespace {

TEST(Folders, EnvironmentOverridesWin) {
    ScopedEnv documents("VELLORA_PUBLIC_DOCUMENTS", "/srv/docs");
    ScopedEnv data("VELLORA_PROGRAM_DATA", "/srv/data");
    ScopedEnv program("VELLORA_PROGRAM_DIR", "/opt/vellora");
    EXPECT_EQ(platform::PublicDocumentsFolder(), "/srv/docs");
    EXPECT_EQ(platform::ProgramDataFolder(), "/srv/data");
    EXPECT_EQ(platform::ProgramFolder(), "/opt/vellora");
}

TEST(Folders, DefaultsArePerUserOrTheExecutablesFolder) {
    // A new user's home: the per-user stand-ins for the system folders are
    // made on first use, as those folders always exist on the instrument.
    const std::filesystem::path tester = std::filesystem::temp_directory_path() /
                                         ("vellora-folders-" + std::to_string(::getpid()));
    std::filesystem::remove_all(tester);
    std::filesystem::create_directories(tester);
    ScopedEnv home("HOME", tester.c_str());
    ScopedEnv documents("VELLORA_PUBLIC_DOCUMENTS", nullptr);
    ScopedEnv data("VELLORA_PROGRAM_DATA", "");  // empty counts as unset
    ScopedEnv program("VELLORA_PROGRAM_DIR", nullptr);
    EXPECT_EQ(platform::PublicDocumentsFolder(), tester.string() + "/.local/share/Vellora/PublicDocuments");
    EXPECT_EQ(platform::ProgramDataFolder(), tester.string() + "/.local/share/Vellora/ProgramData");
    EXPECT_TRUE(std::filesystem::is_directory(tester / ".local/share/Vellora/PublicDocuments"));
    EXPECT_TRUE(std::filesystem::is_directory(tester / ".local/share/Vellora/ProgramData"));
    std::filesystem::remove_all(tester);
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(platform::ProgramFolder()) /
                                        program_invocation_short_name));
}

}  // namespace
