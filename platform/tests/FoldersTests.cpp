#include "platform/Folders.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

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
    ScopedEnv home("HOME", "/home/tester");
    ScopedEnv documents("VELLORA_PUBLIC_DOCUMENTS", nullptr);
    ScopedEnv data("VELLORA_PROGRAM_DATA", "");  // empty counts as unset
    ScopedEnv program("VELLORA_PROGRAM_DIR", nullptr);
    EXPECT_EQ(platform::PublicDocumentsFolder(), "/home/tester/.local/share/Vellora/PublicDocuments");
    EXPECT_EQ(platform::ProgramDataFolder(), "/home/tester/.local/share/Vellora/ProgramData");
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(platform::ProgramFolder()) /
                                        program_invocation_short_name));
}

}  // namespace
