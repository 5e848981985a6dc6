#include "support/DataFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

class DataFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = std::filesystem::path(std::getenv("VELLORA_TEST_ROOT")) / "data" / test->name();
        std::filesystem::create_directories(folder);
    }
    std::string Write(const char* name, const std::string& content) {
        std::filesystem::path path = folder / name;
        std::ofstream(path, std::ios::binary) << content;
        return path.string();
    }
    bool Compare(const std::string& a, const std::string& b, std::vector<Tovanix::String> names) {
        return Tovanix::CompareDataFiles(a.c_str(), b.c_str(), names, count, largest, error);
    }

    std::filesystem::path folder;
    int count = -1;
    std::vector<double> largest;
    Tovanix::String error;
};

TEST_F(DataFilesTest, IdenticalFilesByLengthAndBytes) {
    const std::string big(1048577, 'a');
    std::string bigOther = big;
    bigOther.back() = 'b';
    const std::string empty1 = Write("empty1", "");
    const std::string empty2 = Write("empty2", "");
    const std::string a = Write("a", big);
    const std::string same = Write("same", big);
    const std::string lastByte = Write("lastByte", bigOther);
    const std::string shorter = Write("shorter", big.substr(1));
    const std::string missing = (folder / "missing").string();

    EXPECT_TRUE(Tovanix::AreFilesIdentical(empty1.c_str(), empty2.c_str()));
    EXPECT_TRUE(Tovanix::AreFilesIdentical(a.c_str(), same.c_str()));
    EXPECT_FALSE(Tovanix::AreFilesIdentical(a.c_str(), lastByte.c_str()));
    EXPECT_FALSE(Tovanix::AreFilesIdentical(a.c_str(), shorter.c_str()));
    EXPECT_FALSE(Tovanix::AreFilesIdentical(a.c_str(), missing.c_str()));
    EXPECT_FALSE(Tovanix::AreFilesIdentical(missing.c_str(), missing.c_str()));
}

TEST_F(DataFilesTest, ColumnsAreMatchedByNameWhereverTheyStand) {
    // Header behind two title lines in A; columns reversed in B; the last
    // column of each row compared like the others, with either line end.
    const std::string a = Write("a.txt",
                                "Counting report\r\n"
                                "run 7\r\n"
                                "Image\tCells\tArea\r\n"
                                "img1\t10\t1.5\r\n"
                                "img2\t20\t2.5\r\n");
    const std::string b = Write("b.txt",
                                "Area\tCells\tImage\n"
                                "1.25\t11\timg1\n"
                                "2.5\t17\timg2\n");
    EXPECT_TRUE(Compare(a, b, {"Cells", "Area"})) << error.c_str();
    EXPECT_EQ(count, 4);
    ASSERT_EQ(largest.size(), 2u);
    EXPECT_DOUBLE_EQ(largest[0], 3.0);
    EXPECT_DOUBLE_EQ(largest[1], 0.25);
}

TEST_F(DataFilesTest, ComparisonStopsAtTheShorterFile) {
    std::string rowsA = "x\r\n";
    std::string rowsB = "x\r\n";
    for (int i = 0; i < 12; ++i) {
        if (i < 10) {
            rowsA += std::to_string(i) + "\r\n";
        }
        rowsB += std::to_string(i * 2) + "\r\n";
    }
    EXPECT_TRUE(Compare(Write("a.txt", rowsA), Write("b.txt", rowsB), {"x"}));
    EXPECT_EQ(count, 10);
    EXPECT_DOUBLE_EQ(largest[0], 9.0);
}

TEST_F(DataFilesTest, FailuresNameTheFileColumnAndLine) {
    const std::string good = Write("good.txt", "t\r\nA\tB\r\n1\t2\r\n3\t4\r\n5\t6\r\n7\t8\r\n9\t10\r\n");
    const std::string letters = Write("letters.txt", "t\r\nt\r\nB\tA\r\n2\t1\r\n4\t3\r\n6\t5\r\nsix\t7\r\n");
    const std::string shortRow = Write("short.txt", "A\tB\r\n1\t2\r\n3\r\n");
    const std::string noColumn = Write("nocolumn.txt", "A\tC\r\n1\t2\r\n");
    const std::string missing = (folder / "missing.txt").string();

    struct Case {
        std::string a, b;
        std::string message;
        int count;
    };
    const Case cases[] = {
        {good, letters, letters + " - invalid data, column 1 line 7 not a valid number: six", 7},
        {shortRow, good, shortRow + " - invalid row, column 2 referenced in the header, but not found at line 3", 3},
        {good, noColumn, "Not all data colums found within the first 2 lines in file : " + noColumn, 0},
        {good, missing, "File does not exist: " + missing, 0},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(Compare(c.a, c.b, {"A", "B"}));
        EXPECT_EQ(std::string(error.c_str()), c.message);
        EXPECT_EQ(count, c.count) << c.message;
    }
}

TEST_F(DataFilesTest, HeaderSearchGivesUpAfterAThousandLines) {
    std::string content;
    for (int i = 0; i < 1000; ++i) {
        content += "title\r\n";
    }
    content += "A\r\n1\r\n";
    const std::string late = Write("late.txt", content);
    EXPECT_FALSE(Compare(late, late, {"A"}));
    EXPECT_EQ(std::string(error.c_str()), "Not all data colums found within the first 1000 lines in file : " + late);
}

}  // namespace
