#include "support/ProfileText.h"
#include "support/tests/ProfileTestSupport.h"

#include <csignal>
#include <random>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace {

using profiletest::Bytes;
using profiletest::ProfileTest;
using profiletest::Put;

size_t FilesIn(const std::string& dir) {
    size_t n = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) n += entry.is_regular_file() ? 1 : 0;
    return n;
}

TEST_F(ProfileTest, ConcurrentWritersOfOneFileLoseNothing) {
    const std::string file = Path("Shared.ini");
    Put(file, "[Fixed]\r\nanchor=steady\r\n");
    constexpr int kWriters = 4;
    constexpr int kRounds = 30;
    std::atomic<bool> writing{true};
    std::atomic<int> failedWrites{0};
    std::atomic<int> tornReads{0};
    std::atomic<int> reads{0};

    // A reader that must always find the untouched key: a partly written
    // file would lose it.
    std::thread reader([&] {
        while (writing) {
            if (Value(file, "Fixed", "anchor") != "steady") ++tornReads;
            ++reads;
        }
    });
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([&, w] {
            const std::string key = "Writer" + std::to_string(w);
            for (int round = 0; round < kRounds; ++round) {
                const char* section = (round % 2) ? "Odd" : "Even";
                if (!Tovanix::E_WritePrivateProfileString(section, key.c_str(), std::to_string(round).c_str(),
                                                          file.c_str()))
                    ++failedWrites;
            }
        });
    }
    for (auto& t : writers) t.join();
    writing = false;
    reader.join();

    EXPECT_EQ(failedWrites.load(), 0);
    EXPECT_EQ(tornReads.load(), 0);
    EXPECT_GT(reads.load(), 0);
    for (int w = 0; w < kWriters; ++w) {
        const std::string key = "Writer" + std::to_string(w);
        EXPECT_EQ(Value(file, "Even", key.c_str()), std::to_string(kRounds - 2));
        EXPECT_EQ(Value(file, "Odd", key.c_str()), std::to_string(kRounds - 1));
    }
    EXPECT_EQ(FilesIn(m_dir), 1u);  // no temporary file left behind
}

TEST_F(ProfileTest, ConcurrentWritersOfNewFilesEachGetALock) {
    constexpr int kThreads = 4;
    constexpr int kFiles = 40;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int f = 0; f < kFiles; ++f) {
                std::string file = Path("New_" + std::to_string(t) + "_" + std::to_string(f) + ".ini");
                if (!Tovanix::E_WritePrivateProfileString("S", "k", "v", file.c_str())) ++failures;
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(Bytes(Path("New_3_39.ini")), "[S]\r\nk=v\r\n");
}

TEST_F(ProfileTest, WriteThatRunsOutOfSpaceLeavesOldFileWhole) {
    const std::string file = Path("Full.ini");
    std::string before = "[S]\r\n";
    for (int i = 0; i < 100; ++i) before += "Key" + std::to_string(i) + "=" + std::string(30, 'x') + "\r\n";
    Put(file, before);

    // A file-size limit just above the old size makes the write of the
    // larger new file fail part-way, as a full disk would.
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = saved;
    limited.rlim_cur = before.size() + 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    bool written = Tovanix::E_WritePrivateProfileString("S", "Big", std::string(250, 'y').c_str(), file.c_str());
    bool replaced = Tovanix::E_ReplaceSection("T", std::vector<Tovanix::String>(20, Tovanix::String("line=value")),
                                              file.c_str());
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(written);
    EXPECT_FALSE(replaced);
    EXPECT_EQ(Bytes(file), before);
    EXPECT_EQ(FilesIn(m_dir), 1u);
    EXPECT_NE(Log().find("Tovanix::E_WritePrivateProfileString() : problem writing to file: " + file),
              std::string::npos);
    EXPECT_NE(Log().find("Tovanix::E_ReplaceSection() : problem writing to file: " + file), std::string::npos);
}

TEST_F(ProfileTest, WriteThatCannotCreateItsFileFails) {
    const std::string file = Path("NoFolder/Settings.ini");
    EXPECT_FALSE(Tovanix::E_WritePrivateProfileString("S", "k", "v", file.c_str()));
    EXPECT_NE(Log().find("Tovanix::E_WritePrivateProfileString() : problem opening file for writing: " + file),
              std::string::npos);
}

TEST_F(ProfileTest, WriteIntoReadOnlyFolderLeavesOldFile) {
    if (geteuid() == 0) GTEST_SKIP() << "a read-only folder does not stop root";
    const std::string folder = Path("ReadOnly");
    std::filesystem::create_directory(folder);
    Put(folder + "/Settings.ini", "[S]\r\nk=1\r\n");
    std::filesystem::permissions(folder, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    bool written = Tovanix::E_WritePrivateProfileString("S", "k", "2", (folder + "/Settings.ini").c_str());
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
    EXPECT_FALSE(written);
    EXPECT_EQ(Bytes(folder + "/Settings.ini"), "[S]\r\nk=1\r\n");
}

// Random and truncated INI text: every entry point must cope, and a write
// that reports success must be readable at once.
TEST_F(ProfileTest, MalformedTextNeverBreaksTheStore) {
    const char* fragments[] = {"[", "]", "S", "T", "k", "K", "=", "#", "/", "//", " ", "\t", "\r", "\n", "\r\n",
                            "&", "`", ";", "v", "\x80", "\xff", "[S]\r\n", "[T]", "k=1\r\n", "K =2",
                            "[S]\r\n[T]\r\n", "_"};
    std::mt19937 random(20261210);
    const std::string valid = "[S]\r\nk=1\r\n# c\r\n\r\n[T]\r\nK=2\r\n// x\r\n[U]\r\nz=3\r\n";
    std::vector<std::string> texts;
    for (size_t n = 0; n <= valid.size(); ++n) texts.push_back(valid.substr(0, n));
    for (int i = 0; i < 150; ++i) {
        std::string text;
        int count = int(random() % 60);
        for (int p = 0; p < count; ++p) {
            size_t which = random() % (std::size(fragments) + 1);
            text += which == std::size(fragments) ? std::string(1, '\0') : std::string(fragments[which]);  // NUL too
        }
        texts.push_back(text);
    }

    // Every text is read in full; one write, replace and clean-up each, as
    // rewrites are what costs time here.
    const std::string file = Path("Fuzz.ini");
    const char* sections[] = {"S", "T"};
    const char* keys[] = {"k", "K", "z"};
    for (const std::string& text : texts) {
        Put(file, text);
        for (const char* section : sections) {
            for (const char* key : keys) {
                std::string value;
                for (int size : {1, 2, 4, 64}) Get(file, section, key, "", value, size);
            }
            std::vector<Tovanix::String> lines;
            Tovanix::E_ReadSection(section, lines, file.c_str());
        }
        const char* section = sections[random() % 2];
        const char* key = keys[random() % 3];
        if (Tovanix::E_WritePrivateProfileString(section, key, "new", file.c_str())) {
            ASSERT_EQ(Value(file, section, key), "new") << testing::PrintToString(text);
        }
        Put(file, text);
        Tovanix::E_ReplaceSection("T", {Tovanix::String("a=1")}, file.c_str());
        Put(file, text);
        Tovanix::E_RemoveRedundantSections(file.c_str());
    }

    // The parser on its own, many more texts.
    for (int i = 0; i < 50000; ++i) {
        std::string text;
        int count = int(random() % 30);
        for (int p = 0; p < count; ++p) text += fragments[random() % std::size(fragments)];
        text.resize(text.size() - std::min<size_t>(text.size(), random() % 3));
        Tovanix::ProfileText::NormaliseLineEnds(text);
        size_t header = Tovanix::ProfileText::FindSection(text, "S");
        if (header != std::string::npos) {
            auto lookup = Tovanix::ProfileText::FindKey(text, header, 1, "k");
            if (lookup.result == Tovanix::ProfileText::KeyLookup::Found) {
                ASSERT_LE(lookup.valueBegin, lookup.valueEnd);
                ASSERT_LE(lookup.valueEnd, text.size());
            } else if (lookup.result == Tovanix::ProfileText::KeyLookup::NotFound) {
                ASSERT_LE(lookup.sectionEnd, text.size());
            }
        }
    }
}

TEST(ProfileText, LineEndsAreMadeCrLf) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"", ""},
        {"ab", "ab"},                                   // too short to be given a line end
        {"a=1\r\nb=2\r\n", "a=1\r\nb=2\r\n"},          // already in shape
        {"a=1\nb=2\n", "a=1\r\nb=2\r\n"},              // LF alone
        {"a=1\rb=2\r", "a=1\r\nb=2\r\n"},              // CR alone
        {"\na=1\r\n", "\r\na=1\r\n"},                  // LF first
        {"a\r\rb\r\n", "a\r\n\r\nb\r\n"},              // CR CR
        {"a\n\rb\r\n", "a\r\n\r\nb\r\n"},              // LF CR
        {"a=1\r\r\n", "a=1\r\n\r\n"},                  // CR CR LF: the LF follows a CR, the first CR is alone
        {"[S]\r\nk=v", "[S]\r\nk=v\r\n"},              // last line completed
        {std::string(40, 'x') + "\r\n" + std::string(40, 'y') + "\n",
         std::string(40, 'x') + "\r\n" + std::string(40, 'y') + "\r\n"},  // fault far into the text
    };
    for (const auto& c : cases) {
        std::string text = c.in;
        Tovanix::ProfileText::NormaliseLineEnds(text);
        EXPECT_EQ(text, c.out) << "input of " << c.in.size() << " bytes";
    }
}

// The shape check runs over blocks of bytes: a line end on either side of a
// block edge, at the first or the last byte, must still be found. Converting
// every text byte by byte gives the answer to compare with.
TEST(ProfileText, LineEndsAreFoundAtEveryPosition) {
    auto reference = [](const std::string& in) {
        std::string out;
        for (size_t i = 0; i < in.size(); ++i) {
            if (in[i] == '\r') {
                out += "\r\n";
                if (i + 1 < in.size() && in[i + 1] == '\n') ++i;
            } else if (in[i] == '\n') {
                out += "\r\n";
            } else {
                out += in[i];
            }
        }
        if (out.size() >= 3 && out[out.size() - 2] != '\r') out += "\r\n";
        return out;
    };
    for (size_t length = 1; length <= 70; ++length) {
        // A clean text of CR LF lines, then one fault at each position.
        std::string clean;
        while (clean.size() < length) clean += (clean.size() % 7 == 5) ? "\r\n" : "x";
        clean.resize(length);
        for (const char* fault : {"\r", "\n", "\n\r", "\r\r\n"}) {
            for (size_t at = 0; at <= length; ++at) {
                std::string text = clean.substr(0, at) + fault + clean.substr(at);
                const std::string expected = reference(text);
                Tovanix::ProfileText::NormaliseLineEnds(text);
                ASSERT_EQ(text, expected) << "length " << length << ", fault at " << at;
            }
        }
        std::string text = clean;
        Tovanix::ProfileText::NormaliseLineEnds(text);
        ASSERT_EQ(text, reference(clean)) << "length " << length;
    }
}

}  // namespace
