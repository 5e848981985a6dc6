#include "support/String.h"

#include "platform/Folders.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

std::string TestRoot() {
    const char* root = std::getenv("VELLORA_TEST_ROOT");
    return root ? root : fs::temp_directory_path().string();
}

}  // namespace

TEST(CreateDirectoryTreeTest, CreatesMissingParentsWithEitherSeparator) {
    const std::string root = TestRoot();
    ASSERT_TRUE(Tovanix::CreateDirectoryTree((root + "\\a\\b\\c").c_str()));
    EXPECT_TRUE(fs::is_directory(root + "/a/b/c"));
    ASSERT_TRUE(Tovanix::CreateDirectoryTree((root + "/d/e/").c_str()));
    EXPECT_TRUE(fs::is_directory(root + "/d/e"));
    // A trailing separator names the same directory.
    ASSERT_TRUE(Tovanix::CreateDirectoryTree((root + "\\f\\g\\").c_str()));
    EXPECT_TRUE(fs::is_directory(root + "/f/g"));
    EXPECT_FALSE(fs::exists(root + "/f/g/g"));
    EXPECT_TRUE(Tovanix::CreateDirectoryTree((root + "/f/g").c_str())) << "an existing directory";
}

TEST(CreateDirectoryTreeTest, ExistingFileCountsAndBlockedPathsFail) {
    const std::string root = TestRoot();
    const std::string file = root + "/plain.txt";
    std::ofstream(file) << "x";
    EXPECT_TRUE(Tovanix::CreateDirectoryTree(file.c_str())) << "anything found counts";
    EXPECT_FALSE(Tovanix::CreateDirectoryTree((file + "/below/deeper").c_str()));
    EXPECT_FALSE(Tovanix::CreateDirectoryTree(nullptr));
    EXPECT_FALSE(Tovanix::CreateDirectoryTree(""));
}

TEST(CreateDirectoryTreeTest, WindowsDataRootMapsOntoPublicDocuments) {
    ASSERT_TRUE(Tovanix::CreateDirectoryTree("C:\\Users\\Public\\Documents\\Vellora\\LOG"));
    EXPECT_TRUE(fs::is_directory(fs::path(platform::PublicDocumentsFolder()) / "Vellora" / "LOG"));
}
