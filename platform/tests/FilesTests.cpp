#include "platform/Files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

#include "platform/Folders.h"

namespace fs = std::filesystem;

namespace {

class Files : public ::testing::Test {
protected:
    void SetUp() override {
        m_root = fs::path(std::getenv("VELLORA_TEST_ROOT")) /
                 ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(m_root);
        fs::create_directories(m_root);
    }
    std::string Path(const std::string& relative) const { return (m_root / relative).string(); }
    static std::string Content(const std::string& path) {
        std::string content;
        EXPECT_TRUE(platform::ReadWholeFile(path, &content)) << path;
        return content;
    }
    size_t EntriesInRoot() const { return static_cast<size_t>(std::distance(fs::directory_iterator(m_root), {})); }

    fs::path m_root;
};

TEST_F(Files, NativePathTakesBothSeparatorsAndMapsTheMachineFolders) {
    const std::string documents = platform::PublicDocumentsFolder();
    const std::string programData = platform::ProgramDataFolder();
    struct Case {
        const char* path;
        std::string expected;
    } cases[] = {
        {"C:\\Users\\Public\\Documents\\Tessaly\\Vellora\\Vellora.ini", documents + "/Tessaly/Vellora/Vellora.ini"},
        {"c:/users/PUBLIC/documents", documents},
        {"C:\\Users\\Public\\Documents\\", documents + "/"},
        {"c:\\ProgramData\\Tessaly\\Quillon\\power_on_test.txt", programData + "/Tessaly/Quillon/power_on_test.txt"},
        {"C:\\Users\\Public\\DocumentsOld\\a", "/Users/Public/DocumentsOld/a"},
        {"D:\\Users\\Public\\Documents\\x", "/Users/Public/Documents/x"},
        {"D:\\data\\run 1\\x.png", "/data/run 1/x.png"},
        {"C:\\", "/"},
        {"Images\\sub/file.PNG", "Images/sub/file.PNG"},
        {"/home/user/a.ini", "/home/user/a.ini"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(platform::NativePath(c.path), c.expected) << c.path;
}

TEST_F(Files, JoinPathPutsOneSeparatorBetweenTheParts) {
    struct Case {
        const char* directory;
        const char* name;
        const char* expected;
    } cases[] = {
        {"a", "b", "a/b"},   {"a/", "b", "a/b"}, {"a\\\\", "\\b", "a/b"}, {"", "b", "b"},
        {"a", "", "a"},      {"/", "b", "/b"},   {"/data", "LOG/x.log", "/data/LOG/x.log"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::JoinPath(c.directory, c.name), c.expected) << c.directory << " + " << c.name;
    }
}

TEST_F(Files, FindFileIgnoringCaseResolvesEveryComponent) {
    fs::create_directories(m_root / "Data" / "Images");
    platform::WriteFileAtomically(Path("Data/Images/Cell.PNG"), "x", 1);
    const std::string onDisk = Path("Data/Images/Cell.PNG");

    EXPECT_EQ(platform::FindFileIgnoringCase(onDisk), onDisk);
    EXPECT_EQ(platform::FindFileIgnoringCase(Path("data/IMAGES/cell.png")), onDisk);
    EXPECT_EQ(platform::FindFileIgnoringCase(m_root.string() + "\\DATA\\images\\CELL.png"), onDisk);
    EXPECT_EQ(platform::FindFileIgnoringCase(Path("data/images")), Path("Data/Images"));
    EXPECT_EQ(platform::FindFileIgnoringCase(Path("data/images/../IMAGES/cell.png")),
              Path("Data/Images/../Images/Cell.PNG"));
    EXPECT_EQ(platform::FindFileIgnoringCase(Path("data/images/missing.png")), "");
    EXPECT_EQ(platform::FindFileIgnoringCase(Path("nothing/cell.png")), "");
    EXPECT_EQ(platform::FindFileIgnoringCase(""), "");

    // Where names differ only in case, the exact one wins.
    platform::WriteFileAtomically(Path("Data/Images/cell.png"), "y", 1);
    EXPECT_EQ(platform::FindFileIgnoringCase(Path("Data/Images/cell.png")), Path("Data/Images/cell.png"));
    EXPECT_EQ(platform::FindFileIgnoringCase(Path("Data/Images/Cell.PNG")), onDisk);

    // Windows settings paths resolve through the machine folders.
    fs::create_directories(fs::path(platform::PublicDocumentsFolder()) / "Tessaly");
    EXPECT_EQ(platform::FindFileIgnoringCase("C:\\Users\\Public\\Documents\\TESSALY"),
              platform::PublicDocumentsFolder() + "/Tessaly");
}

TEST_F(Files, CrlfTextWriterEndsEveryLineWithCrLf) {
    const std::string path = Path("report.txt");
    {
        platform::CrlfTextWriter writer(path);
        ASSERT_TRUE(writer.IsOpen());
        EXPECT_TRUE(writer.Write("a\nb\r\nc"));
        EXPECT_TRUE(writer.Write("\r"));  // a CR LF split across two writes stays one line end
        EXPECT_TRUE(writer.Write("\nlone\rcr"));
        EXPECT_TRUE(writer.WriteLine(""));
        EXPECT_TRUE(writer.WriteLine("last"));
        EXPECT_TRUE(writer.Commit());
        EXPECT_FALSE(writer.Commit());
        EXPECT_FALSE(writer.Write("late"));
    }
    EXPECT_EQ(Content(path), "a\r\nb\r\nc\r\nlone\rcr\r\nlast\r\n");
    EXPECT_EQ(EntriesInRoot(), 1u);
}

TEST_F(Files, UncommittedOrFailedWritesLeaveTheOldFileWhole) {
    const std::string path = Path("Vellora.ini");
    ASSERT_TRUE(platform::WriteFileAtomically(path, "old\r\n", 5));
    {
        platform::CrlfTextWriter writer(path);
        ASSERT_TRUE(writer.IsOpen());
        writer.WriteLine("new");
        EXPECT_EQ(Content(path), "old\r\n");  // nothing visible before the commit
    }
    EXPECT_EQ(Content(path), "old\r\n");
    EXPECT_EQ(EntriesInRoot(), 1u);  // the temporary file is gone

    platform::CrlfTextWriter nowhere(Path("missing/folder/x.txt"));
    EXPECT_FALSE(nowhere.IsOpen());
    EXPECT_FALSE(nowhere.Write("x"));
    EXPECT_FALSE(nowhere.Commit());
    EXPECT_FALSE(platform::WriteFileAtomically(Path("missing/x.bin"), "x", 1));
    EXPECT_FALSE(platform::WriteFileAtomically(path, nullptr, 3));
    EXPECT_EQ(Content(path), "old\r\n");
}

TEST_F(Files, AtomicWriteReplacesContentAndKeepsPermissions) {
    const std::string path = Path("data.bin");
    const char bytes[] = {'\0', '\x01', '\xff', '\n'};
    ASSERT_TRUE(platform::WriteFileAtomically(path, bytes, sizeof bytes));
    EXPECT_EQ(Content(path), std::string(bytes, sizeof bytes));
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    ASSERT_TRUE(platform::WriteFileAtomically(path, "", 0));
    EXPECT_EQ(Content(path), "");
    struct stat info{};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(EntriesInRoot(), 1u);
}

TEST_F(Files, ExistenceReadingAndDiskSpace) {
    const std::string file = Path("f.txt");
    platform::WriteFileAtomically(file, "abc", 3);
    EXPECT_TRUE(platform::FileExists(file));
    EXPECT_FALSE(platform::DirectoryExists(file));
    EXPECT_TRUE(platform::FileExists(m_root.string()));
    EXPECT_TRUE(platform::DirectoryExists(m_root.string()));
    EXPECT_FALSE(platform::FileExists(Path("none")));
    EXPECT_FALSE(platform::FileExists(""));

    std::string content = "unchanged";
    EXPECT_FALSE(platform::ReadWholeFile(Path("none"), &content));
    EXPECT_FALSE(platform::ReadWholeFile(m_root.string(), &content));
    EXPECT_EQ(content, "unchanged");

    uint64_t freeBytes = 0, totalBytes = 0;
    ASSERT_TRUE(platform::GetDiskFreeSpace(m_root.string(), &freeBytes, &totalBytes));
    EXPECT_GT(totalBytes, 0u);
    EXPECT_LE(freeBytes, totalBytes);
    EXPECT_TRUE(platform::GetDiskFreeSpace(m_root.string(), &freeBytes));
    EXPECT_FALSE(platform::GetDiskFreeSpace(Path("none"), &freeBytes));
    EXPECT_FALSE(platform::GetDiskFreeSpace("", &freeBytes));
}

}  // namespace

TEST_F(Files, NewFileWriteAndCopyRefuseToReplaceUnlessAsked) {
    const std::string path = Path("settings.ini");
    ASSERT_TRUE(platform::WriteNewFileAtomically(path, "first", 5));
    EXPECT_FALSE(platform::WriteNewFileAtomically(path, "second", 6));
    EXPECT_EQ(Content(path), "first");

    const std::string source = Path("source.ini");
    platform::WriteFileAtomically(source, "copied", 6);
    EXPECT_FALSE(platform::CopyFileAtomically(source, path, false));
    EXPECT_EQ(Content(path), "first");
    EXPECT_TRUE(platform::CopyFileAtomically(source, path, true));
    EXPECT_EQ(Content(path), "copied");
    EXPECT_TRUE(platform::CopyFileAtomically(source, Path("new.ini"), false));
    EXPECT_EQ(Content(Path("new.ini")), "copied");
    EXPECT_FALSE(platform::CopyFileAtomically(Path("none"), Path("other.ini"), false));
    EXPECT_FALSE(platform::FileExists(Path("other.ini")));
    EXPECT_FALSE(platform::WriteNewFileAtomically(Path("no/folder.ini"), "x", 1));
    // No temporary file is left behind by any of these.
    EXPECT_EQ(EntriesInRoot(), 3u);
}
