#include "support/tests/ProfileTestSupport.h"

namespace {

using profiletest::Bytes;
using profiletest::ProfileTest;
using profiletest::Put;
using profiletest::Texts;
using Lines = std::vector<std::string>;

std::vector<Tovanix::String> ToStrings(const Lines& lines) {
    std::vector<Tovanix::String> out;
    for (const auto& line : lines) out.emplace_back(line.c_str());
    return out;
}

TEST_F(ProfileTest, ReadSectionReturnsLinesAsTheyStand) {
    const std::string file = Path("Read.ini");
    Put(file, "[A]\r\na=1\r\na=\r\n\r\n# note\r\n  k = v \r\nxy\r\n  [Indented]\r\n[B]\r\nb=2\r\n[Empty]\r\n");
    std::vector<Tovanix::String> lines;
    EXPECT_TRUE(Tovanix::E_ReadSection("A", lines, file.c_str()));
    // Lines of 2 characters or fewer are skipped; comments are kept.
    EXPECT_EQ(Texts(lines), (Lines{"a=1", "# note", "  k = v ", "  [Indented]"}));

    lines.clear();
    EXPECT_TRUE(Tovanix::E_ReadSection("Empty", lines, file.c_str()));
    EXPECT_TRUE(lines.empty());
    EXPECT_FALSE(Tovanix::E_ReadSection("Absent", lines, file.c_str()));
    EXPECT_FALSE(Tovanix::E_ReadSection("A", lines, Path("None.ini").c_str()));
    EXPECT_FALSE(Tovanix::E_ReadSection("A]", lines, file.c_str()));
    EXPECT_EQ(Log().find("Absent"), std::string::npos);  // a missing section is no error
    EXPECT_NE(Log().find("Tovanix::E_ReadSection() : Invalid section name: A]"), std::string::npos);

    // A line that starts with a NUL ends the section like a header does.
    Put(file, std::string("[A]\r\na=1\r\n\0b=2\r\nc=3\r\n[B]\r\n", 26));
    lines.clear();
    EXPECT_TRUE(Tovanix::E_ReadSection("A", lines, file.c_str()));
    EXPECT_EQ(Texts(lines), (Lines{"a=1"}));
}

TEST_F(ProfileTest, ReplaceSectionMovesItToTheEnd) {
    struct Case {
        const char* name;
        const char* before;
        const char* after;
    };
    const Case cases[] = {
        {"middle section", "[A]\r\nx=1\r\n[B]\r\ny=2\r\n; c\r\n\r\n[C]\r\nz=3\r\n",
         "[A]\r\nx=1\r\n[C]\r\nz=3\r\n[B]\r\nq=1\r\nr = 2\r\n"},
        {"first section", "[B]\r\ny=2\r\n[C]\r\nz=3", "[C]\r\nz=3\r\n[B]\r\nq=1\r\nr = 2\r\n"},
        {"new section", "[A]\r\nx=1\r\n", "[A]\r\nx=1\r\n[B]\r\nq=1\r\nr = 2\r\n"},
        {"empty file", "", "[B]\r\nq=1\r\nr = 2\r\n"},
        {"lone LF", "[A]\nx=1\n[B]\ny=2\n", "[A]\r\nx=1\r\n[B]\r\nq=1\r\nr = 2\r\n"},
    };
    for (const Case& c : cases) {
        const std::string file = Path("Replace.ini");
        Put(file, c.before);
        EXPECT_TRUE(Tovanix::E_ReplaceSection("B", ToStrings({"q=1", "r = 2"}), file.c_str())) << c.name;
        EXPECT_EQ(Bytes(file), c.after) << c.name;
    }
    // The replaced section ends at a line that starts with a NUL; what
    // follows stays in place.
    const std::string file = Path("Replace.ini");
    Put(file, std::string("[B]\r\ny=2\r\n\0z\r\n", 14));
    EXPECT_TRUE(Tovanix::E_ReplaceSection("B", ToStrings({"q=1"}), file.c_str()));
    EXPECT_EQ(Bytes(file), std::string("\0z\r\n[B]\r\nq=1\r\n", 14));

    const std::string missing = Path("Created.ini");
    EXPECT_TRUE(Tovanix::E_ReplaceSection("B", ToStrings({}), missing.c_str()));
    EXPECT_EQ(Bytes(missing), "[B]\r\n");
}

TEST_F(ProfileTest, RemoveRedundantSectionsKeepsFirstOccurrence) {
    const std::string file = Path("Dupes.ini");
    Put(file, "top=0\r\n[A]\r\nx=1\r\n[B]\r\ny=2\r\n[A]\r\nx=3\r\n[a]\r\nx=4\r\n  [B]\r\ny=5\r\n[A]\r\n");
    EXPECT_TRUE(Tovanix::E_RemoveRedundantSections(file.c_str()));
    EXPECT_EQ(Bytes(file), "top=0\r\n[A]\r\nx=1\r\n[B]\r\ny=2\r\n[a]\r\nx=4\r\n");
    EXPECT_NE(Log().find("\tTovanix::log_error()\tTovanix::E_RemoveRedundantSections() : 3 sections will be deleted "
                         "from file : " +
                         file + "\r\n"),
              std::string::npos)
        << Log();

    // Nothing to remove: the file is not touched, not even normalised.
    const std::string clean = Path("Clean.ini");
    Put(clean, "[A]\nx=1\n[B]\ny=2\n");
    EXPECT_TRUE(Tovanix::E_RemoveRedundantSections(clean.c_str()));
    EXPECT_EQ(Bytes(clean), "[A]\nx=1\n[B]\ny=2\n");
}

TEST_F(ProfileTest, MigrateFractionationSettingsCopiesOnce) {
    const std::string file = Path("Vellora.ini");
    Put(file, "[MigrationAnalysisDlg]\r\nSplit=1\r\nMode=2\r\n[Other]\r\n");
    EXPECT_TRUE(MigrateFractionationSettings(file.c_str()));
    EXPECT_EQ(Bytes(file),
              "[MigrationAnalysisDlg]\r\nSplit=1\r\nMode=2\r\n[Other]\r\n[FractionationAnalysisDlg]\r\nSplit=1\r\nMode=2\r\n");
    // Once the target exists nothing more is copied.
    EXPECT_FALSE(MigrateFractionationSettings(file.c_str()));
    EXPECT_FALSE(MigrateFractionationSettings(Path("None.ini").c_str()));
}

}  // namespace
