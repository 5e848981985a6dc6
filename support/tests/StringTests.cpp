#include "support/String.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Tovanix::String;

namespace {

std::vector<std::string> Texts(const std::vector<String>& fields) {
    std::vector<std::string> out;
    for (const String& field : fields) {
        out.emplace_back(field.c_str());
    }
    return out;
}

// The same path with '\' turned into '/'.
std::string Slashed(std::string path) {
    for (char& ch : path) {
        if (ch == '\\') {
            ch = '/';
        }
    }
    return path;
}

}  // namespace

TEST(StringTest, ConstructionGivesTextNeverNull) {
    EXPECT_STREQ(String().text, "");
    EXPECT_STREQ(String(static_cast<const char*>(nullptr)).text, "");
    EXPECT_STREQ(String("abc").text, "abc");
    EXPECT_STREQ(String(static_cast<int32_t>(-42)).text, "-42");
    EXPECT_STREQ(String(INT32_MIN).text, "-2147483648");
    EXPECT_STREQ(String(2.5).text, "2.5");
    EXPECT_STREQ(String(1.0 / 3).text, "0.33333333");
    String original("copy me");
    String copy(original);
    EXPECT_STREQ(copy.text, "copy me");
    EXPECT_NE(copy.text, original.text);
    EXPECT_FALSE(copy.allocFailed);
}

TEST(StringTest, AssignmentRules) {
    String s("something");
    char* buffer = s.text;
    s = "";
    EXPECT_STREQ(s.text, "");
    EXPECT_EQ(s.text, buffer) << "emptying keeps the buffer";
    s = "abc";
    s = String();
    EXPECT_STREQ(s.text, "") << "an empty source empties the target";
    s = "abc";
    s = static_cast<const char*>(nullptr);
    EXPECT_STREQ(s.text, "");

    s = "same";
    buffer = s.text;
    s = "same";
    EXPECT_EQ(s.text, buffer) << "an equal text changes nothing";
    s = s;
    EXPECT_STREQ(s.text, "same");

    s = "hello world";
    s = s.text + 6;  // a source inside the string's own buffer
    EXPECT_STREQ(s.text, "world");
}

TEST(StringTest, AppendAndNumbers) {
    String s("ab");
    EXPECT_TRUE(s.Append("cd"));
    EXPECT_FALSE(s.Append(nullptr));
    EXPECT_STREQ(s.text, "abcd");
    EXPECT_TRUE(s.Append(s.text));  // appending itself
    EXPECT_STREQ(s.text, "abcdabcd");
    s = "n=";
    s.AppendNumber(4294967295u).AppendNumber(0);
    EXPECT_STREQ(s.text, "n=42949672950");
    EXPECT_TRUE(s.HasText());
    EXPECT_FALSE(String().HasText());
    EXPECT_EQ(s.GetLength(), 13);
}

TEST(StringTest, AllocationFailedStringRefusesAppends) {
    String s("x");
    s.allocFailed = true;
    EXPECT_FALSE(s.Append("y"));
    s.AppendNumber(7);
    EXPECT_STREQ(s.text, "x");
}

TEST(StringTest, AssignTakesAtMostCountCharacters) {
    String s("old");
    EXPECT_TRUE(s.Assign("abcdef", 3));
    EXPECT_STREQ(s.text, "abc");
    EXPECT_TRUE(s.Assign("ab", 10));
    EXPECT_STREQ(s.text, "ab");
    EXPECT_FALSE(s.Assign("xyz", 0));
    EXPECT_FALSE(s.Assign(nullptr, 3));
    EXPECT_STREQ(s.text, "ab");
}

TEST(StringTest, Trim) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"  a b\t", "a b"},
        {"chars  \r\nmore", "chars"},
        {"one\ntwo", "one"},
        {"   ", ""},
        {"\t x \t", "x"},
        {"", ""},
    };
    for (const Case& c : cases) {
        String s(c.in);
        s.Trim();
        EXPECT_STREQ(s.text, c.out) << '"' << c.in << '"';
    }
}

TEST(StringTest, Insert) {
    struct Case {
        const char* start;
        int32_t position;
        const char* source;
        int32_t count;
        const char* out;
    } cases[] = {
        {"abc", 5, "x", -1, "abc  x"},     // gap after the end filled with blanks
        {"abc", 3, "   ", -1, "abc"},      // blanks only at the end insert nothing
        {"abc", 3, "de  ", -1, "abcde"},   // trailing blanks at the end dropped
        {"abc", 1, "XY", -1, "aXYbc"},
        {"abc", 1, "XYZ", 2, "aXYbc"},
        {"abc", 1, "X", 3, "aX  bc"},      // short source padded with blanks inside
        {"abc", 0, "  ", -1, "  abc"},     // blanks inside the text are kept
        {"abc", 1, nullptr, -1, "abc"},
        {"abc", 1, "X", 0, "abc"},
        {"", 0, "x ", -1, "x"},
    };
    for (const Case& c : cases) {
        String s(c.start);
        EXPECT_TRUE(s.Insert(c.position, c.source, c.count));
        EXPECT_STREQ(s.text, c.out) << c.start << " @" << c.position;
    }
}

TEST(StringTest, Delete) {
    String s("abcdef");
    EXPECT_FALSE(s.Delete(-1, 1));
    EXPECT_TRUE(s.Delete(10, 1));
    EXPECT_STREQ(s.text, "abcdef");
    char* buffer = s.text;
    EXPECT_TRUE(s.Delete(1, 2));
    EXPECT_STREQ(s.text, "adef");
    EXPECT_EQ(s.text, buffer) << "a removal inside the text works in place";
    EXPECT_TRUE(s.Delete(2, 99));
    EXPECT_STREQ(s.text, "ad");
    EXPECT_TRUE(s.Delete(0, 2));
    EXPECT_STREQ(s.text, "");
}

TEST(StringTest, Cut) {
    struct Case {
        int32_t position;
        int32_t count;
        const char* piece;
        const char* rest;
    } cases[] = {
        {1, 1, "b", "ac"},
        {1, -1, "bc", "a"},
        {1, 5, "bc", "a"},
        {3, 1, "", "abc"},
        {0, 3, "abc", ""},
    };
    for (const Case& c : cases) {
        String s("abc");
        std::unique_ptr<String> piece = s.Cut(c.position, c.count);
        ASSERT_TRUE(piece);
        EXPECT_STREQ(piece->text, c.piece) << c.position << "," << c.count;
        EXPECT_STREQ(s.text, c.rest) << c.position << "," << c.count;
    }
}

TEST(StringTest, Replace) {
    struct Case {
        const char* start;
        const char* search;
        const char* replacement;
        int32_t max;
        int32_t replaced;
        const char* out;
    } cases[] = {
        {"aXa", "a", "bb", 10, 2, "bbXbb"},
        {"aXa", "a", "bb", 0, 1, "bbXa"},
        {"aXa", "a", "bb", 1, 1, "bbXa"},
        {"aaa", "a", "b", 10, 3, "bbb"},          // same length: in place
        {"aaa", "a", "aa", 10, 3, "aaaaaa"},      // search goes on after the insert
        {"abcabc", "bc", nullptr, 10, 2, "aa"},   // NULL replacement is empty
        {"abc", "", "x", 10, 0, "abc"},
        {"abc", nullptr, "x", 10, 0, "abc"},
        {"a\t", "\t", " ", 10, 1, "a "},          // the replacement's blank at the end stays
        {"a-b", "-", "  ", 10, 1, "a  b"},
    };
    for (const Case& c : cases) {
        String s(c.start);
        EXPECT_EQ(s.Replace(c.search, c.replacement, c.max), c.replaced) << c.start;
        EXPECT_STREQ(s.text, c.out) << c.start;
    }
}

TEST(StringTest, SplitTextFields) {
    struct Case {
        const char* text;
        char separator;
        int32_t read;
        std::vector<std::string> fields;  // the whole list, empty slots too
    } cases[] = {
        {"a\tb\t\tc", '\t', 4, {"a", "b", "", "c"}},
        {"a\t", '\t', 1, {"a", ""}},
        {"\"x,y\",z", ',', 2, {"x,y", "z", ""}},
        {"", ',', 0, {""}},
        {"  a , b  ", ',', 2, {"a ", "b"}},     // leading blanks skipped; last field's end blanks dropped
        {"\ta;b", ';', 2, {"\ta", "b"}},        // tabs are not skipped
        {"a,\"open", ',', 1, {"a", ""}},        // unclosed quote ends the split
        {"\"\",x", ',', 2, {"", "x"}},
        {"\"q\" junk,x", ',', 2, {"q", "x"}},   // after the quote, on past the next separator
        {"one", ',', 1, {"one"}},
    };
    for (const Case& c : cases) {
        std::vector<String> list{String("stale")};
        EXPECT_EQ(Tovanix::SplitText(c.text, list, c.separator), c.read) << c.text;
        EXPECT_EQ(Texts(list), c.fields) << c.text;

        // The member form yields the same fields in a new array.
        std::unique_ptr<String[]> array;
        EXPECT_EQ(String(c.text).Split(array, c.separator), c.read) << c.text;
        ASSERT_TRUE(array);
        for (size_t i = 0; i < c.fields.size(); ++i) {
            EXPECT_STREQ(array[i].text, c.fields[i].c_str()) << c.text << " field " << i;
        }
    }
}

TEST(StringTest, GetPathPartWithEitherSeparator) {
    struct Case {
        const char* path;
        bool directory, name, extension;
        bool ok;
        const char* out;
    } cases[] = {
        {"  C:\\data\\run.1\\img.png", true, false, false, true, "C:\\data\\run.1\\"},
        {"  C:\\data\\run.1\\img.png", false, true, false, true, "img"},
        {"  C:\\data\\run.1\\img.png", false, false, true, true, ".png"},
        {"  C:\\data\\run.1\\img.png", false, true, true, true, "img.png"},
        {"  C:\\data\\run.1\\img.png", true, true, false, true, "C:\\data\\run.1\\img"},
        {"C:\\data\\run.1\\README", false, true, false, true, "README"},
        {"C:\\data\\run.1\\README", false, false, true, true, ""},
        {"C:\\data\\run.1\\README", true, true, false, true, "C:\\data\\run.1\\README"},
        {"file.txt", true, false, false, true, ""},
        {"file.txt", false, true, true, true, "file.txt"},
        {"C:\\data\\", false, true, true, false, "unchanged"},
        {"C:img.bg.tif", true, false, false, true, "C:"},
        {"C:img.bg.tif", false, true, false, true, "img.bg"},
        {"C:\\a\\b.txt  tail", false, false, true, true, ".txt"},
        {"   ", false, true, true, false, "unchanged"},
        {"", true, false, false, false, "unchanged"},
    };
    for (const Case& c : cases) {
        for (const std::string& path : {std::string(c.path), Slashed(c.path)}) {
            String out("unchanged");
            EXPECT_EQ(Tovanix::GetPathPart(out, path.c_str(), c.directory, c.name, c.extension), c.ok)
                << path << " " << c.directory << c.name << c.extension;
            const std::string expected = path == c.path ? c.out : Slashed(c.out);
            EXPECT_STREQ(out.text, expected.c_str()) << path << " " << c.directory << c.name << c.extension;
        }
    }
    String untouched("unchanged");
    EXPECT_FALSE(Tovanix::GetPathPart(untouched, nullptr, true, true, true));
    EXPECT_STREQ(untouched.text, "unchanged");
}

TEST(StringTest, SetDirectorySetPathAppendPath) {
    struct DirCase {
        const char* start;
        const char* directory;
        bool ok;
        const char* out;
    } dirCases[] = {
        {"C:\\old\\img.png", " /new/dir \r\n", true, "/new/dir/img.png"},
        {"C:\\old\\img.png", "D:\\new\\", true, "D:\\new\\img.png"},
        {"/old/img.png", "/new/", true, "/new/img.png"},
        {"C:\\old\\img.png", "   ", true, "img.png"},
        {"C:\\old\\", "/new", false, "C:\\old\\"},
        {"img.png", nullptr, false, "img.png"},
    };
    for (const DirCase& c : dirCases) {
        String s(c.start);
        EXPECT_EQ(s.SetDirectory(c.directory), c.ok) << c.start;
        EXPECT_STREQ(s.text, c.out) << c.start;
    }

    String s("anything");
    EXPECT_TRUE(s.SetPath(" /data ", "a.txt"));
    EXPECT_STREQ(s.text, "/data/a.txt");
    EXPECT_TRUE(s.SetPath("C:\\data\\", "a.txt"));
    EXPECT_STREQ(s.text, "C:\\data\\a.txt");
    EXPECT_TRUE(s.SetPath(nullptr, "a.txt"));
    EXPECT_STREQ(s.text, "a.txt");
    EXPECT_TRUE(s.SetPath("/data", s.text));  // the name from our own text
    EXPECT_STREQ(s.text, "/data/a.txt");

    s = " /data \t";
    EXPECT_TRUE(s.AppendPath("LOG"));
    EXPECT_STREQ(s.text, "/data/LOG");
    s = "C:\\data\\";
    EXPECT_TRUE(s.AppendPath("LOG"));
    EXPECT_STREQ(s.text, "C:\\data\\LOG");
    s = "";
    EXPECT_TRUE(s.AppendPath("LOG"));
    EXPECT_STREQ(s.text, "/LOG");
}

TEST(StringTest, RemoveExtension) {
    struct Case {
        const char* start;
        bool ok;
        const char* out;
    } cases[] = {
        {"C:\\data\\run.1\\img.bg.tif", true, "C:\\data\\run.1\\img.bg"},
        {"/data/run.1/img.png", true, "/data/run.1/img"},
        {"/data/run.1/README", true, "/data/run.1/README"},
        {"  name.txt", true, "name"},
        {"  \t", false, "  \t"},
        {"", false, ""},
    };
    for (const Case& c : cases) {
        String s(c.start);
        EXPECT_EQ(s.RemoveExtension(), c.ok) << c.start;
        EXPECT_STREQ(s.text, c.out) << c.start;
    }
}

TEST(StringTest, FileNameCharactersAndRepair) {
    const std::string accepted =
        "ABCXYZabcxyz0189 !#$%()+,-.;<=>@[]^_{}~";
    for (char ch : accepted) {
        EXPECT_TRUE(Tovanix::IsValidFileNameChar(&ch)) << ch;
    }
    std::string refused = "\"&'*/:?\\`|\x7f";
    for (int c = 0; c < 32; ++c) {
        refused += static_cast<char>(c);
    }
    for (int c = 128; c < 256; ++c) {
        refused += static_cast<char>(c);
    }
    for (char ch : refused) {
        EXPECT_FALSE(Tovanix::IsValidFileNameChar(&ch)) << static_cast<int>(static_cast<unsigned char>(ch));
    }
    EXPECT_FALSE(Tovanix::IsValidFileNameChar(nullptr));

    String name("a:b*c<d>");
    EXPECT_TRUE(name.MakeValidFileName());
    EXPECT_STREQ(name.text, "a_b_c<d>");
    const std::string atLimit(256, '?');
    String limit(atLimit.c_str());
    EXPECT_TRUE(limit.MakeValidFileName());
    EXPECT_EQ(std::string(limit.text), std::string(256, '_'));
    const std::string tooLong(257, '?');
    String refusedName(tooLong.c_str());
    EXPECT_FALSE(refusedName.MakeValidFileName());
    EXPECT_EQ(std::string(refusedName.text), tooLong);
}

TEST(StringTest, TextHelpers) {
    EXPECT_TRUE(Tovanix::TextEquals(nullptr, nullptr, true, 0));
    EXPECT_FALSE(Tovanix::TextEquals(nullptr, "", true, 0));
    EXPECT_FALSE(Tovanix::TextEquals("", nullptr, true, 0));
    EXPECT_TRUE(Tovanix::TextEquals("abc", "abc", true, 0));
    EXPECT_FALSE(Tovanix::TextEquals("abc", "ABC", true, 0));
    EXPECT_TRUE(Tovanix::TextEquals("abc", "ABC", false, 0));
    EXPECT_FALSE(Tovanix::TextEquals("ab", "abc", true, 0));
    EXPECT_FALSE(Tovanix::TextEquals("abc", "ab", true, 0));
    EXPECT_TRUE(Tovanix::TextEquals("abcdef", "abcxyz", true, 3));
    EXPECT_FALSE(Tovanix::TextEquals("[", "{", false, 0)) << "only a..z fold";

    EXPECT_EQ(Tovanix::TextLength(nullptr, false), 0);
    EXPECT_EQ(Tovanix::TextLength(" a\tb ", false), 5);
    EXPECT_EQ(Tovanix::TextLength(" a\tb ", true), 2);

    const char* text = "Hello World";
    EXPECT_EQ(Tovanix::FindText(text, "World", true), text + 6);
    EXPECT_EQ(Tovanix::FindText(text, "world", true), nullptr);
    EXPECT_EQ(Tovanix::FindText(text, "WORLD", false), text + 6);
    EXPECT_EQ(Tovanix::FindText(text, "Hello World!", true), nullptr);
    EXPECT_EQ(Tovanix::FindText(nullptr, "a", true), nullptr);
    EXPECT_EQ(Tovanix::FindText(text, nullptr, true), nullptr);
    const char* twice = "xabab";
    EXPECT_EQ(Tovanix::FindText(twice, "AB", false), twice + 1) << "the first match";
}

TEST(StringTest, OrdersOfTexts) {
    EXPECT_LT(String::Compare("ABC", "abc"), 0);
    EXPECT_LT(String::Compare("ab", "abc"), 0) << "a prefix is smaller";
    EXPECT_LT(String::Compare("a", "a\x80"), 0) << "a prefix is smaller, even before high bytes";
    EXPECT_LT(String::Compare("\xe9t\xe9", "Zebra"), 0) << "bytes from 128 up sort first";
    EXPECT_EQ(String::Compare("same", "same"), 0);
    EXPECT_EQ(String::CompareNoCase("ABC", "abc"), 0);
    EXPECT_GT(String::CompareNoCase("abd", "ABC"), 0);
    EXPECT_TRUE(String("abc").LessNoCase("ABD"));
    EXPECT_TRUE(String("abd").GreaterNoCase("ABC"));
    EXPECT_FALSE(String("abc").LessNoCase("ABC"));
    EXPECT_FALSE(String("abc").GreaterNoCase("ABC"));
}

TEST(FormatNumberTest, Table) {
    struct Case {
        double value;
        const char* text;
        bool ok;
    } cases[] = {
        {0, "0", true},
        {-0.0, "0", true},
        {1000000, "1000000", true},
        {-1000000, "-1000000", true},
        {2.5, "2.5", true},
        {1.0 / 3, "0.33333333", true},
        {-1234.56789, "-1234.5679", true},
        {1000000.5, "1000000.5", true},
        {123456789012.0, "1.2345e+11", false},
        {-123456789012.0, "-1.234e+11", false},
        {0.0000001, "1e-7", true},
        {0.000001, "1e-6", true},
        {0.00012, "0.00012", true},
        {-0.0000001, "-1e-7", true},
        {0.000001234567891, "1.23457e-6", true},
        {1e10, "1e+10", true},
        {15000000, "15000000", true},
        {-0.00000012345678901, "-1.2345e-7", false},
        {1234567.891, "1234567.89", false},
        {-1234567.891, "-1234567.8", false},
        // Ten integer digits and a sign: exponent form rather than a tenth of the value.
        {-9999999999.0, "-1e+10", false},
        {-1234567890.0, "-1.2346e+9", false},
    };
    for (const Case& c : cases) {
        char buffer[11];
        EXPECT_EQ(Tovanix::FormatNumber(c.value, buffer), c.ok) << c.value;
        EXPECT_STREQ(buffer, c.text) << c.value;
    }
}

TEST(FormatNumberTest, TrimNumberText) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"2.50", "2.5"},
        {"2.0", "2.0"},
        {"2.", "2"},
        {"1.5e+007", "1.5e+7"},
        {"1.e+7", "1e+7"},
        {"1.5E-010", "1.5E-10"},
        {"3e+00", "3e+0"},
        {"100", "100"},
        {"1.2000", "1.2"},
    };
    for (const Case& c : cases) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%s", c.in);
        Tovanix::TrimNumberText(buffer);
        EXPECT_STREQ(buffer, c.out) << c.in;
    }
}
