#include "app/NamedROIList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/tests/AppTestSupport.h"

namespace {

struct Rect {
    uint32_t left, top, right, bottom;
};

class NamedROIListTest : public apptest::DataRootTest {
protected:
    void PutIni(const std::string& text) { apptest::Put(IniPath(), text); }
    std::string Ini() const { return apptest::Bytes(IniPath()); }
    const char* File() const { return g_IniPath.GetString(); }
};

std::vector<std::string> ItemNames(const NamedROIList& list) {
    std::vector<std::string> names;
    for (int i = 0; i < list.count; ++i) names.emplace_back(list.items[i]->name.c_str());
    return names;
}

std::vector<std::string> SortedNames(const NamedROIList& list) {
    std::vector<std::string> names;
    for (int i = 0; i < list.count; ++i) names.emplace_back(list.SortedAt(i)->name.c_str());
    return names;
}

TEST_F(NamedROIListTest, LoadKeepsRecordLinesAndSkipsTheRest) {
    struct Case {
        std::string line;
        std::string name;  // empty: the line is skipped
        Rect rect;         // left, top, right, bottom
    };
    const std::string name127(127, 'n');
    const std::string name128(128, 'm');
    const Case cases[] = {
        {"item0=\"Counting\",0,1200,0,2047", "Counting", {0, 0, 1200, 2047}},
        {"item=\"NoDigits\",1,2,3,4", "NoDigits", {1, 3, 2, 4}},
        {"item12=\"Semicolon\";5,6,7,8", "Semicolon", {5, 7, 6, 8}},
        {"item13=\"Spaces\", 5, 6, 7, 8", "Spaces", {5, 7, 6, 8}},
        {"item14=\"Huge\",4294967296,4294967295,0,0", "Huge", {4294967295u, 0, 4294967295u, 0}},
        {"item15=\"" + name127 + "\",1,2,3,4", name127, {1, 3, 2, 4}},
        {"item16=\"" + name128 + "\",1,2,3,4", "", {}},
        {"item-1=\"BelowZero\",1,2,3,4", "", {}},
        {"item1x=\"NotADigit\",1,2,3,4", "", {}},
        {"item17=Unquoted,1,2,3,4", "", {}},
        {"item18=\"Unclosed,1,2,3,4", "", {}},
        {"item19=\"ThreeNumbers\",1,2,3", "", {}},
        {"item20=\"NoNumbers\"", "", {}},
        {"region=\"OtherKey\",1,2,3,4", "", {}},
    };
    std::string ini = "[ROI]\r\n";
    for (const Case& c : cases) ini += c.line + "\r\n";
    PutIni(ini + "[Other]\r\nitem0=\"Elsewhere\",1,2,3,4\r\n");

    NamedROIList list;
    ASSERT_TRUE(list.LoadFromIni(File()));
    int at = 0;
    for (const Case& c : cases) {
        if (c.name.empty()) continue;
        ASSERT_LT(at, list.count) << c.line;
        const NamedROI& roi = *list.items[at++];
        EXPECT_EQ(roi.name.c_str(), c.name) << c.line;
        EXPECT_EQ(roi.left, c.rect.left) << c.line;
        EXPECT_EQ(roi.top, c.rect.top) << c.line;
        EXPECT_EQ(roi.right, c.rect.right) << c.line;
        EXPECT_EQ(roi.bottom, c.rect.bottom) << c.line;
    }
    EXPECT_EQ(list.count, at);
}

TEST_F(NamedROIListTest, SaveWritesTheRecordLineFormatInItemOrder) {
    PutIni("[ExperimentSettings]\r\nIsActive1=TRUE\r\n[ROI]\r\nitem0=\"Old\",9,9,9,9\r\n[Zaber]\r\nZFactory=1\r\n");
    NamedROIList list;
    list.Add(new NamedROI("Zeta", 1, 2, 3, 4));
    list.Add(new NamedROI("Alpha", 10, 20, 30, 40));
    ASSERT_TRUE(list.SaveToIni(File()));
    // The whole section is replaced and moves to the end of the file; the
    // numbers go in the file order left, right, top, bottom.
    EXPECT_EQ(Ini(),
              "[ExperimentSettings]\r\nIsActive1=TRUE\r\n[Zaber]\r\nZFactory=1\r\n"
              "[ROI]\r\nitem0=\"Zeta\",1,3,2,4\r\nitem1=\"Alpha\",10,30,20,40\r\n");

    NamedROIList reloaded;
    ASSERT_TRUE(reloaded.LoadFromIni(File()));
    EXPECT_EQ(ItemNames(reloaded), (std::vector<std::string>{"Zeta", "Alpha"}));
    const NamedROI* alpha = reloaded.Find(NamedROI("Alpha", 0, 0, 0, 0));
    ASSERT_NE(alpha, nullptr);
    EXPECT_EQ(alpha->left, 10u);
    EXPECT_EQ(alpha->top, 20u);
    EXPECT_EQ(alpha->right, 30u);
    EXPECT_EQ(alpha->bottom, 40u);
}

TEST_F(NamedROIListTest, SaveStoresAtMostOneHundredRecords) {
    NamedROIList list;
    for (int i = 0; i < 120; ++i) list.Add(new NamedROI(("R" + std::to_string(i)).c_str(), i, i, i, i));
    ASSERT_TRUE(list.SaveToIni(File()));
    const std::string ini = Ini();
    EXPECT_NE(ini.find("item99=\"R99\",99,99,99,99\r\n"), std::string::npos);
    EXPECT_EQ(ini.find("item100="), std::string::npos);
    EXPECT_EQ(ini.find("\"R100\""), std::string::npos);

    NamedROIList reloaded;
    ASSERT_TRUE(reloaded.LoadFromIni(File()));
    EXPECT_EQ(reloaded.count, 100);
}

TEST_F(NamedROIListTest, LoadThenSaveKeepsFileOrderAndRenumbersFromItemZero) {
    PutIni("[ROI]\r\nitem7=\"b\",1,2,3,4\r\nitem3=\"a\",5,6,7,8\r\nitem=\"c\",0,0,0,0\r\n");
    NamedROIList list;
    ASSERT_TRUE(list.LoadFromIni(File()));
    ASSERT_TRUE(list.SaveToIni(File()));
    EXPECT_EQ(Ini(), "[ROI]\r\nitem0=\"b\",1,2,3,4\r\nitem1=\"a\",5,6,7,8\r\nitem2=\"c\",0,0,0,0\r\n");
}

TEST_F(NamedROIListTest, MissingSectionLeavesTheListAsItWas) {
    PutIni("[Other]\r\nitem0=\"x\",1,2,3,4\r\n");
    NamedROIList list;
    list.Add(new NamedROI("Kept", 1, 2, 3, 4));
    EXPECT_FALSE(list.LoadFromIni(File()));
    EXPECT_EQ(ItemNames(list), std::vector<std::string>{"Kept"});

    // A section without a single record still loads, and empties the list.
    PutIni("[ROI]\r\nnothing here\r\n");
    EXPECT_TRUE(list.LoadFromIni(File()));
    EXPECT_EQ(list.count, 0);
}

TEST_F(NamedROIListTest, EqualNamesStayAndTheNameOrderUsesSignedBytes) {
    PutIni("[ROI]\r\nitem0=\"b\",1,1,1,1\r\nitem1=\"a\",2,2,2,2\r\nitem2=\"\xE9t\xE9\",3,3,3,3\r\n"
           "item3=\"a\",4,4,4,4\r\nitem4=\"B\",5,5,5,5\r\n");
    NamedROIList list;
    ASSERT_TRUE(list.LoadFromIni(File()));
    EXPECT_EQ(SortedNames(list), (std::vector<std::string>{"\xE9t\xE9", "B", "a", "a", "b"}));

    bool found = false;
    EXPECT_EQ(list.FindSortedPos(NamedROI("a", 0, 0, 0, 0), found), 4);  // just after the last "a"
    EXPECT_TRUE(found);
    EXPECT_EQ(list.FindSortedPos(NamedROI("ab", 0, 0, 0, 0), found), 4);
    EXPECT_FALSE(found);
    EXPECT_EQ(list.Find(NamedROI("A", 0, 0, 0, 0)), nullptr);  // names match with case

    // Removing by item index keeps the name order of the others.
    ASSERT_TRUE(list.RemoveAt(1));  // the first "a"
    EXPECT_EQ(SortedNames(list), (std::vector<std::string>{"\xE9t\xE9", "B", "a", "b"}));
    EXPECT_EQ(list.Find(NamedROI("a", 0, 0, 0, 0))->left, 4u);
    EXPECT_FALSE(list.RemoveAt(4));
}

TEST_F(NamedROIListTest, NameThatCannotBeReadBackIsNotSaved) {
    // A quote would end the name early and a line end would split the record
    // (or start a section of its own): such a record is left out, the save
    // reports it, and the others are stored.
    for (const char* name : {"a\"b", "line\r\n[ExperimentSettings]", "new\nline"}) {
        NamedROIList list;
        list.Add(new NamedROI("Before", 1, 1, 1, 1));
        list.Add(new NamedROI(name, 2, 2, 2, 2));
        list.Add(new NamedROI("After", 3, 3, 3, 3));
        EXPECT_FALSE(list.SaveToIni(File())) << name;
        EXPECT_EQ(Ini(), "[ROI]\r\nitem0=\"Before\",1,1,1,1\r\nitem1=\"After\",3,3,3,3\r\n") << name;
    }
}

}  // namespace
