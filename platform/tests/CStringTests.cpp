#include "platform/CString.h"
#include "platform/CStringArray.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace {

TEST(CString, FormatsLikePrintfAndKeepsLongTexts) {
    CString text;
    text.Format("/%ld%s\r", 1L, "ZR");
    EXPECT_EQ(text.str(), "/1ZR\r");
    text.Format("%04u/%02u/%02u %5.2f", 2024u, 3u, 7u, 2.5);
    EXPECT_EQ(text.str(), "2024/03/07  2.50");

    const std::string longText(1000, 'x');
    text.Format("[%s]", longText.c_str());
    EXPECT_EQ(text.GetLength(), 1002);
    EXPECT_EQ(text.str(), "[" + longText + "]");

    text.AppendFormat(" %d", -5);
    EXPECT_EQ(text.Right(3).str(), " -5");
}

TEST(CString, FormatMayReadItsOwnText) {
    CString text("abc");
    text.Format("<%s>", text.GetString());
    EXPECT_EQ(text.str(), "<abc>");
    text.AppendFormat("%s", text.GetString());
    EXPECT_EQ(text.str(), "<abc><abc>");
    text += text;
    EXPECT_EQ(text.GetLength(), 20);
}

TEST(CString, NullAndCountedConstruction) {
    EXPECT_TRUE(CString(static_cast<const char*>(nullptr)).IsEmpty());
    EXPECT_EQ(CString("abcdef", 3).str(), "abc");
    EXPECT_EQ(CString("ab", 10).str(), "ab");  // never reads past the terminator
    EXPECT_TRUE(CString("ab", -1).IsEmpty());
    EXPECT_EQ(CString('-', 3).str(), "---");
    EXPECT_TRUE(CString('-', 0).IsEmpty());

    CString text("x");
    text = static_cast<const char*>(nullptr);
    EXPECT_TRUE(text.IsEmpty());
    text += static_cast<const char*>(nullptr);
    EXPECT_EQ(text.Compare(nullptr), 0);
}

TEST(CString, SubstringsClipToTheText) {
    const CString hello("Hello");
    struct Case {
        CString actual;
        const char* expected;
    } cases[] = {
        {hello.Left(2), "He"},     {hello.Left(-1), ""},       {hello.Left(99), "Hello"},
        {hello.Right(3), "llo"},   {hello.Right(99), "Hello"}, {hello.Right(-2), ""},
        {hello.Mid(1), "ello"},    {hello.Mid(5), ""},         {hello.Mid(9), ""},
        {hello.Mid(-2, 3), "Hel"}, {hello.Mid(3, 99), "lo"},   {hello.Mid(1, -1), ""},
    };
    for (const auto& c : cases) EXPECT_EQ(c.actual.str(), c.expected);
}

TEST(CString, SearchesAndComparisons) {
    const CString text("a.b.c");
    EXPECT_EQ(text.Find('.'), 1);
    EXPECT_EQ(text.Find('.', 2), 3);
    EXPECT_EQ(text.Find('x'), -1);
    EXPECT_EQ(text.Find('.', 99), -1);
    EXPECT_EQ(text.Find(".c"), 3);
    EXPECT_EQ(text.Find("b", -4), -1);
    EXPECT_EQ(text.Find(static_cast<const char*>(nullptr)), -1);
    EXPECT_EQ(text.ReverseFind('.'), 3);
    EXPECT_EQ(text.ReverseFind('x'), -1);

    struct Case {
        const char* a;
        const char* b;
        int compare;        // sign
        int compareNoCase;  // sign
    } cases[] = {
        {"abc", "abc", 0, 0}, {"ABC", "abc", -1, 0}, {"abc", "abd", -1, -1},
        {"b", "A", 1, 1},     {"", "a", -1, -1},     {"TRUE", "true", -1, 0},
    };
    auto sign = [](int v) { return (v > 0) - (v < 0); };
    for (const auto& c : cases) {
        EXPECT_EQ(sign(CString(c.a).Compare(c.b)), c.compare) << c.a << " " << c.b;
        EXPECT_EQ(sign(CString(c.a).CompareNoCase(c.b)), c.compareNoCase) << c.a << " " << c.b;
    }
    EXPECT_TRUE(CString("a") < CString("b"));
}

TEST(CString, OperatorsWorkFromBothSides) {
    CString name("Vellora");
    EXPECT_EQ(("<" + name + ">" + '!').str(), "<Vellora>!");
    EXPECT_TRUE("Vellora" == name);
    EXPECT_TRUE(name == "Vellora");
    EXPECT_TRUE("x" != name);
    EXPECT_TRUE(name != CString("vellora"));
    EXPECT_EQ(name[0], 'V');
    name.SetAt(0, 'v');
    EXPECT_EQ(name.GetAt(0), 'v');
}

TEST(CString, EditsInPlace) {
    CString text("a--b--c");
    EXPECT_EQ(text.Replace("--", "+"), 2);
    EXPECT_EQ(text.str(), "a+b+c");
    EXPECT_EQ(text.Replace("", "x"), 0);
    EXPECT_EQ(text.Replace('+', '-'), 2);
    EXPECT_EQ(text.str(), "a-b-c");
    EXPECT_EQ(text.Replace("-", "--"), 2);  // the replacement is not searched again
    EXPECT_EQ(text.str(), "a--b--c");

    EXPECT_EQ(CString("MiXed").MakeUpper().str(), "MIXED");
    EXPECT_EQ(CString("MiXed").MakeLower().str(), "mixed");

    EXPECT_EQ(CString(" \t x y \r\n").Trim().str(), "x y");
    EXPECT_EQ(CString("  x ").TrimLeft().str(), "x ");
    EXPECT_EQ(CString("  x ").TrimRight().str(), "  x");
    EXPECT_EQ(CString("0012.500").TrimRight("0").TrimLeft("0").str(), "12.5");
    EXPECT_TRUE(CString(" \r\n").Trim().IsEmpty());

    CString edit("abcdef");
    EXPECT_EQ(edit.Delete(1, 2), 4);
    EXPECT_EQ(edit.str(), "adef");
    EXPECT_EQ(edit.Delete(3, 99), 3);
    EXPECT_EQ(edit.Delete(-1, 1), 2);
    EXPECT_EQ(edit.str(), "de");
    EXPECT_EQ(edit.Insert(1, "XY"), 4);
    EXPECT_EQ(edit.Insert(99, "!"), 5);
    EXPECT_EQ(edit.str(), "dXYe!");
}

TEST(CStringArray, KeepsTextsInOrderAndRefusesBadIndexes) {
    CStringArray lines;
    EXPECT_TRUE(lines.IsEmpty());
    EXPECT_EQ(lines.Add("first"), 0);
    EXPECT_EQ(lines.Add(CString("second")), 1);
    lines[1] += "!";
    EXPECT_EQ(lines.GetSize(), 2);
    EXPECT_EQ(lines.GetAt(1).str(), "second!");
    std::string joined;
    for (const CString& line : lines) joined += line.str() + ";";
    EXPECT_EQ(joined, "first;second!;");
    EXPECT_THROW(lines.GetAt(2), std::out_of_range);
    EXPECT_THROW(lines.GetAt(-1), std::out_of_range);
    lines.RemoveAll();
    EXPECT_EQ(lines.GetCount(), 0);
}

}  // namespace
