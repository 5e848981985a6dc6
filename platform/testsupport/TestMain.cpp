// GoogleTest entry point shared by every test executable.
//
// Each test process gets fresh temporary machine folders (public documents,
// program data, the program's own folder) through the environment overrides
// the platform layer reads, so tests never see or touch real user data.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>

namespace {

class MachineFoldersEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "vellora-test-XXXXXX").string();
        char* made = mkdtemp(pattern.data());
        if (!made) {
            std::abort();
        }
        root_ = made;
        setFolder("VELLORA_PUBLIC_DOCUMENTS", "PublicDocuments");
        setFolder("VELLORA_PROGRAM_DATA", "ProgramData");
        setFolder("VELLORA_PROGRAM_DIR", "Program");
        // The program's single-instance lock lives in the runtime folder: a
        // test's program must not meet another test's, nor a running program.
        setFolder("XDG_RUNTIME_DIR", "Runtime");
        std::filesystem::permissions(root_ / "Runtime", std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace);
        setenv("VELLORA_TEST_ROOT", root_.c_str(), 1);
        if (!std::getenv("QT_QPA_PLATFORM")) {
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
        }
    }

    void TearDown() override {
        if (std::getenv("VELLORA_KEEP_TEST_FOLDERS")) {
            return;
        }
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }

private:
    void setFolder(const char* variable, const char* name) {
        std::filesystem::path folder = root_ / name;
        std::filesystem::create_directories(folder);
        setenv(variable, folder.c_str(), 1);
    }

    std::filesystem::path root_;
};

}  // namespace

// Leaks of system libraries that our code cannot free (fontconfig keeps its
// caches until exit); leak checking stays on for everything else.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new MachineFoldersEnvironment);
    return RUN_ALL_TESTS();
}
