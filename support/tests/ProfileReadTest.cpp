#include "support/tests/ProfileTestSupport.h"

namespace {

using profiletest::ProfileTest;

const char* const kSettings =
    "[Main]\r\n"
    "Gain=5\r\n"
    "key = 5\r\n"
    "Mixed_Case.Key=7\r\n"
    "# hashed=1\r\n"
    "// slashed=2\r\n"
    ";semi=3\r\n"
    "1digit=4\r\n"
    " \tIndented=6\r\n"
    "Empty=\r\n"
    "Quoted=\"a b\" \r\n"
    "Repeated=first\r\n"
    "Repeated=second\r\n"
    "\r\n"
    "[Next]\r\n"
    "OnlyNext=9\r\n"
    "[main]\r\n"
    "Lower=1\r\n";

struct ReadCase {
    const char* section;
    const char* key;
    const char* def;
    bool ok;
    const char* value;
};

TEST_F(ProfileTest, ParserRules) {
    const std::string file = Path("Settings.ini");
    profiletest::Put(file, kSettings);
    const ReadCase cases[] = {
        {"Main", "Gain", "d", true, "5"},
        {"Main", "gain", "d", true, "5"},            // keys compare without case
        {"Main", "GAIN", "d", true, "5"},
        {"Main", "mixed_case.KEY", "d", true, "7"},
        {"main", "Gain", "d", true, "d"},            // sections compare with case
        {"main", "Lower", "d", true, "1"},
        {"Main", "key", "d", true, "d"},             // "key " is the name in the file
        {"Main", "hashed", "d", true, "d"},          // comments
        {"Main", "slashed", "d", true, "d"},
        {"Main", "semi", "d", true, "d"},
        {"Main", "Indented", "d", true, "6"},        // leading blanks and tabs skipped
        {"Main", "Empty", "d", true, ""},            // empty value wins over the default
        {"Main", "Quoted", "d", true, "\"a b\" "},   // nothing trimmed or unquoted
        {"Main", "Repeated", "d", true, "first"},
        {"Main", "OnlyNext", "d", true, "d"},        // the section ends at the next header
        {"Next", "OnlyNext", "", true, "9"},
        {"Main", "Absent", "", true, ""},
        {"Main", "Absent", nullptr, false, ""},
        {"Missing", "Gain", "d", true, "d"},
        {"Missing", "Gain", nullptr, false, ""},
        {"Bad]Name", "Gain", "d", false, ""},        // invalid names
        {"Main", "key ", "d", false, ""},
        {"9Main", "Gain", "d", false, ""},
        {"Main", "", "d", false, ""},
    };
    for (const ReadCase& c : cases) {
        std::string value;
        EXPECT_EQ(Get(file, c.section, c.key, c.def, value), c.ok) << c.section << "/" << c.key;
        EXPECT_EQ(value, c.value) << c.section << "/" << c.key;
    }
}

TEST_F(ProfileTest, SectionHeaderCountsOnlyAtLineStart) {
    const char* const kDefault = "<missing>";
    struct Case {
        const char* text;
        const char* value;
    };
    const Case cases[] = {
        {"[S]\r\nk=1\r\n", "1"},
        {"  [S]\r\nk=1\r\n", kDefault},                        // leading blanks: no header
        {"note=[S]\r\n", kDefault},                            // inside a value
        {"note=[S]\r\n[S]\r\nk=2\r\n", "2"},              // the header that starts a line
        {"x\r\n[S]x\r\nk=1\r\n", kDefault},                    // header line must end right after ']'
        {"[S] \r\nk=1\r\n", kDefault},
        {"[S]\r\n  [T]\r\nk=3\r\n", "3"},                 // an indented '[' does not end the section
        {"[S]\r\n/x\r\nk=1\r\n", kDefault},                    // a lone '/' ends the scan as unreadable
        {"[S]\r\na&b=1\r\nk=1\r\n", kDefault},                 // '&', '`', '[' in a key name: unreadable
        {"[S]\r\na`b=1\r\nk=1\r\n", kDefault},
        {"[S]\r\na[b=1\r\nk=1\r\n", kDefault},
        {"[S]\r\nno equals sign\r\nk=4\r\n", "4"},        // a key line without '=' is skipped
        {"[S]\r\nk\r\n=5\r\n", kDefault},
    };
    for (const Case& c : cases) {
        const std::string file = Path("Header.ini");
        profiletest::Put(file, c.text);
        EXPECT_EQ(Value(file, "S", "k"), c.value) << c.text;
    }
}

TEST_F(ProfileTest, KeyNameLengthLimitInFile) {
    const std::string file = Path("Long.ini");
    const std::string name128(128, 'a');
    profiletest::Put(file, "[S]\r\n" + name128 + "=1\r\nk=2\r\n");
    EXPECT_EQ(Value(file, "S", "k"), "2");
    profiletest::Put(file, "[S]\r\n" + name128 + "b=1\r\nk=2\r\n");  // 129: unreadable
    EXPECT_EQ(Value(file, "S", "k"), "<missing>");
}

TEST_F(ProfileTest, LineEndsAreNormalisedForReading) {
    const std::string file = Path("Ends.ini");
    profiletest::Put(file, "[S]\nk=1\rj=2\n\n[T]\r\nx=3");
    EXPECT_EQ(Value(file, "S", "k"), "1");
    EXPECT_EQ(Value(file, "S", "j"), "2");
    EXPECT_EQ(Value(file, "T", "x"), "3");
    EXPECT_EQ(Value(file, "S", "x"), "<missing>");  // a lone LF does not merge lines
}

TEST_F(ProfileTest, BufferSizeRefusal) {
    const std::string file = Path("Size.ini");
    profiletest::Put(file, "[S]\r\nk=12345\r\n");
    std::string value;
    EXPECT_TRUE(Get(file, "S", "k", "", value, 6));  // exactly size - 1 characters
    EXPECT_EQ(value, "12345");
    EXPECT_FALSE(Get(file, "S", "k", "", value, 5));
    EXPECT_EQ(value, "");
    EXPECT_NE(Log().find("Tovanix::E_GetPrivateProfileString() : Item: k in section: S in file: " + file +
                         " is too large for provided buffer size: 5\r\n"),
              std::string::npos)
        << Log();

    // A default that does not fit is refused too, never cut.
    EXPECT_FALSE(Get(file, "S", "absent", "123456", value, 6));
    EXPECT_EQ(value, "");
    EXPECT_NE(Log().find("() : Item not found: absent in section: S in file: " + file +
                         " and default value provided is too large."),
              std::string::npos);
    EXPECT_FALSE(Get(Path("NoSuchFile.ini"), "S", "k", "123456", value, 6));
    EXPECT_EQ(value, "");
}

TEST_F(ProfileTest, MissingFileGivesDefaultWithoutMessage) {
    std::string value;
    EXPECT_TRUE(Get(Path("None.ini"), "S", "k", "dflt", value));
    EXPECT_EQ(value, "dflt");
    EXPECT_TRUE(Get(Path("None.ini"), "S", "k", "", value));
    EXPECT_EQ(value, "");
    EXPECT_EQ(Log(), "");
}

TEST_F(ProfileTest, NullArgumentsAreRefusedSafely) {
    const std::string file = Path("Null.ini");
    profiletest::Put(file, "[S]\r\nk=1\r\n");
    char buffer[8] = "xxxxxxx";
    EXPECT_FALSE(Tovanix::E_GetPrivateProfileString(nullptr, "k", "", buffer, 8, file.c_str()));
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_FALSE(Tovanix::E_GetPrivateProfileString("S", nullptr, "", buffer, 8, file.c_str()));
    EXPECT_FALSE(Tovanix::E_GetPrivateProfileString("S", "k", "", buffer, 8, nullptr));
    EXPECT_FALSE(Tovanix::E_GetPrivateProfileString("S", "k", "", buffer, 0, file.c_str()));
    EXPECT_FALSE(Tovanix::E_GetPrivateProfileString("S", "k", "", nullptr, 8, file.c_str()));
    EXPECT_FALSE(Tovanix::E_WritePrivateProfileString("S", "k", nullptr, file.c_str()));
    EXPECT_FALSE(Tovanix::E_WritePrivateProfileString(nullptr, "k", "v", file.c_str()));
    EXPECT_EQ(profiletest::Bytes(file), "[S]\r\nk=1\r\n");
}

TEST_F(ProfileTest, FileNameLetterCaseIsIgnoredForExistingFiles) {
    profiletest::Put(Path("Set.PA_params"), "[S]\r\nk=1\r\n");
    EXPECT_EQ(Value(Path("Set.pa_params"), "S", "k"), "1");
    EXPECT_TRUE(Tovanix::E_WritePrivateProfileString("S", "k", "2", Path("SET.pa_params").c_str()));
    EXPECT_EQ(profiletest::Bytes(Path("Set.PA_params")), "[S]\r\nk=2\r\n");
    EXPECT_FALSE(std::filesystem::exists(Path("SET.pa_params")));
}

TEST_F(ProfileTest, WindowsSeparatorsResolve) {
    profiletest::Put(Path("Win.ini"), "[S]\r\nk=1\r\n");
    std::string windowsStyle = m_dir + "\\Win.ini";
    EXPECT_EQ(Value(windowsStyle, "S", "k"), "1");
}

}  // namespace
