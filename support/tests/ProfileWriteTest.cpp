#include "support/tests/ProfileTestSupport.h"

namespace {

using profiletest::Bytes;
using profiletest::ProfileTest;
using profiletest::Put;

bool Write(const std::string& file, const char* section, const char* key, const std::string& value) {
    return Tovanix::E_WritePrivateProfileString(section, key, value.c_str(), file.c_str());
}

struct WriteCase {
    const char* name;
    const char* before;  // nullptr: no file
    const char* section;
    const char* key;
    const char* value;
    const char* after;
};

TEST_F(ProfileTest, WritesAreByteExact) {
    const WriteCase cases[] = {
        {"new file", nullptr, "S", "k", "v", "[S]\r\nk=v\r\n"},
        {"empty file", "", "S", "k", "v", "[S]\r\nk=v\r\n"},
        {"replace in middle", "[S]\r\na=1\r\nk=old\r\nz=2\r\n", "S", "K", "new", "[S]\r\na=1\r\nk=new\r\nz=2\r\n"},
        {"replace keeps rest of line ends", "[S]\r\nk=1\r\n[T]\r\nk=2\r\n", "T", "k", "3",
         "[S]\r\nk=1\r\n[T]\r\nk=3\r\n"},
        {"new key lands before next header", "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n", "A", "Zed", "3",
         "[A]\r\nx=1\r\n\r\nZed=3\r\n[B]\r\ny=2\r\n"},
        {"new key in empty section", "[A]\r\n[B]\r\ny=2\r\n", "A", "z", "3", "[A]\r\nz=3\r\n[B]\r\ny=2\r\n"},
        {"new key after comment lines", "[A]\r\nx=1\r\n# note\r\n[B]\r\n", "A", "z", "3",
         "[A]\r\nx=1\r\n# note\r\nz=3\r\n[B]\r\n"},
        {"new key at end of text", "[A]\r\nx=1\r\n", "A", "z", "3", "[A]\r\nx=1\r\nz=3\r\n"},
        {"new section at end", "[A]\r\nx=1\r\n", "B", "y", "2", "[A]\r\nx=1\r\n[B]\r\ny=2\r\n"},
        {"last line completed", "[A]\r\nx=1", "B", "y", "2", "[A]\r\nx=1\r\n[B]\r\ny=2\r\n"},
        {"lone LF and CR normalised", "[A]\nx=1\ry=2\n", "A", "z", "3", "[A]\r\nx=1\r\ny=2\r\nz=3\r\n"},
        {"short junk completed", "x", "B", "y", "2", "x\r\n[B]\r\ny=2\r\n"},
        {"value kept verbatim", nullptr, "S", "k", " a = b ", "[S]\r\nk= a = b \r\n"},
        {"empty value", "[S]\r\nk=1\r\n", "S", "k", "", "[S]\r\nk=\r\n"},
        {"same value rewrites normalised", "[S]\nk=1\n", "S", "k", "1", "[S]\r\nk=1\r\n"},
        {"header inside value is no header", "n=[S]\r\n", "S", "k", "1", "n=[S]\r\n[S]\r\nk=1\r\n"},
    };
    for (const WriteCase& c : cases) {
        const std::string file = Path("Write.ini");
        std::filesystem::remove(file);
        if (c.before != nullptr) Put(file, c.before);
        EXPECT_TRUE(Write(file, c.section, c.key, c.value)) << c.name;
        EXPECT_EQ(Bytes(file), c.after) << c.name;
    }
}

TEST_F(ProfileTest, RefusedWritesLeaveTheFileAsItWas) {
    const std::string old1025 = "[S]\r\nk=" + std::string(1025, 'o') + "\r\n";
    const WriteCase cases[] = {
        {"value of 257 characters", "[S]\r\nx=1\r\n", "S", "k", nullptr, nullptr},
        {"unreadable line in section", "[S]\r\n/x\r\n[T]\r\n", "S", "k", "1", nullptr},
        {"bad character in key line", "[S]\r\na&b=1\r\n", "S", "k", "1", nullptr},
        {"header not ending at ']'", "[S] \r\nk=1\r\n", "S", "k", "2", nullptr},
        {"header without line end after ']'", "[S]x\r\nk=1\r\n", "S", "k", "2", nullptr},
        {"old value over 1024 characters", old1025.c_str(), "S", "k", "new", nullptr},
        {"invalid section name", "[S]\r\n", "S]", "k", "1", nullptr},
        {"invalid key name", "[S]\r\n", "S", "k k", "1", nullptr},
        {"line end in value", "[S]\r\n", "S", "k", "a\r\n[T]\r\nb=c", nullptr},
        {"LF in value", "[S]\r\n", "S", "k", "a\nb", nullptr},
    };
    for (const WriteCase& c : cases) {
        const std::string file = Path("Refused.ini");
        Put(file, c.before);
        std::string value = c.value ? c.value : std::string(257, 'v');
        EXPECT_FALSE(Write(file, c.section, c.key, value)) << c.name;
        EXPECT_EQ(Bytes(file), c.before) << c.name;
    }
}

TEST_F(ProfileTest, AddedValueLimitIs256Characters) {
    const std::string file = Path("Limit.ini");
    EXPECT_TRUE(Write(file, "S", "k", std::string(256, 'v')));
    EXPECT_FALSE(Write(file, "S", "j", std::string(257, 'v')));
    EXPECT_FALSE(Write(file, "T", "j", std::string(257, 'v')));
    EXPECT_EQ(Bytes(file), "[S]\r\nk=" + std::string(256, 'v') + "\r\n");
    // Replacing an existing value has no such limit.
    EXPECT_TRUE(Write(file, "S", "k", std::string(1000, 'w')));
    EXPECT_EQ(Value(file, "S", "k"), std::string(1000, 'w'));
}

TEST_F(ProfileTest, SameKeysInSameOrderGiveIdenticalFiles) {
    const std::string a = Path("A.counting_params");
    const std::string b = Path("B.counting_params");
    Put(b, "");
    const char* keys[][3] = {{"CountingAlgorithmDlg", "ParamSetName", "cells"},
                             {"CountingAlgorithmDlg", "Radius1", "7.5"},
                             {"Other", "X", ""},
                             {"CountingAlgorithmDlg", "Radius2", "12"},
                             {"CountingAlgorithmDlg", "Radius1", "8"}};
    for (auto& k : keys) {
        ASSERT_TRUE(Write(a, k[0], k[1], k[2]));
        ASSERT_TRUE(Write(b, k[0], k[1], k[2]));
    }
    EXPECT_EQ(Bytes(a), Bytes(b));
    EXPECT_EQ(Bytes(a), "[CountingAlgorithmDlg]\r\nParamSetName=cells\r\nRadius1=8\r\nRadius2=12\r\n[Other]\r\nX=\r\n");
}

TEST_F(ProfileTest, WrittenValueIsReadAtOnce) {
    const std::string file = Path("Now.ini");
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(Write(file, "S", "Count", std::to_string(i)));
        ASSERT_EQ(Value(file, "S", "count"), std::to_string(i));
    }
}

TEST_F(ProfileTest, InvalidNamesAreLogged) {
    const std::string file = Path("Names.ini");
    Put(file, "[S]\r\n");
    EXPECT_FALSE(Write(file, "1S", "k", "v"));
    EXPECT_FALSE(Write(file, "S", "k=", "v"));
    std::string value;
    EXPECT_FALSE(Get(file, "Absent", "k", nullptr, value));
    EXPECT_NE(Log().find("Tovanix::E_WritePrivateProfileString() : Invalid section name: 1S"), std::string::npos);
    EXPECT_NE(Log().find("Tovanix::E_WritePrivateProfileString() : Invalid item name: k="), std::string::npos);
    EXPECT_NE(Log().find("Tovanix::E_GetPrivateProfileString() : Section not found: Absent in file: " + file),
              std::string::npos);
}

}  // namespace
