#include "app/CartridgeTypes.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/SuppliedFiles.h"
#include "app/VelloraApp.h"
#include "app/tests/AppTestSupport.h"
#include "platform/UiBridge.h"
#include "support/Profile.h"

namespace {

using apptest::Bytes;
using apptest::Put;

std::string Definition(const std::string& type, const std::string& ids, const std::string& offsets = "") {
    return "[General]\r\nType=" + type + "\r\n[BarcodeFormats]\r\nf01=###-###-####\r\n[BarcodeIDs]\r\nids=" + ids +
           "\r\n" + offsets;
}

CartridgeType TypeWith(std::vector<const char*> formats, std::vector<const char*> ids) {
    CartridgeType type;
    for (const char* f : formats) type.m_BarcodeFormats.emplace_back(f);
    for (const char* id : ids) type.m_BarcodeIDs.emplace_back(id);
    return type;
}

class CartridgeTypesTest : public apptest::DataRootTest {
protected:
    void SetUp() override {
        DataRootTest::SetUp();
        std::filesystem::create_directories(dataRoot / "LOG");
    }
    void TearDown() override {
        g_CartridgeTypes.RemoveAll();
        DataRootTest::TearDown();
    }
    std::filesystem::path Cartridge(const std::string& name) const { return dataRoot / "Cartridge" / name; }
    std::string Setting(const char* section, const char* key) const {
        char buffer[256] = {};
        Tovanix::E_GetPrivateProfileString(section, key, "<missing>", buffer, sizeof buffer, IniPath().c_str());
        return buffer;
    }
    std::vector<std::string> LoadOrder() const {
        std::vector<std::string> files;
        for (int i = 0; i < g_CartridgeTypes.count; ++i) {
            files.push_back(std::filesystem::path(g_CartridgeTypes.items[i]->m_strFilePath.c_str()).filename());
        }
        return files;
    }
};

TEST_F(CartridgeTypesTest, BarcodeMatchesFormatThenIdPrefix) {
    const struct {
        CartridgeType type;
        const char* barcode;
        bool matches;
    } cases[] = {
        {TypeWith({"###-###-####"}, {"123"}), "123-456-7890", true},
        {TypeWith({"###-###-####"}, {"123"}), "123-456-789", false},    // length
        {TypeWith({"###-###-####"}, {"123"}), "124-456-7890", false},   // prefix
        {TypeWith({"###-###-####"}, {"123"}), "12a-456-7890", false},   // digit expected
        {TypeWith({"###-###-####"}, {"123"}), "123-456 7890", false},   // '-' stands for itself
        {TypeWith({"NNN##-GGG-##"}, {"NNN"}), "NNN12-GGG-34", true},
        {TypeWith({"NNN##-GGG-##"}, {"NNN"}), "NNN12-GgG-34", false},   // case-sensitive
        {TypeWith({"NNN##-GGG-##"}, {"NNN"}), "nnn12-GGG-34", false},
        {TypeWith({"NNN##-GGG-##"}, {"NNN"}), "NNN1G-GGG-34", false},
        // A fitting format without a matching id goes on to the next format.
        {TypeWith({"###-###-####", "##########"}, {"4567", "123-4"}), "4567890123", true},
        {TypeWith({"###-###-####", "##########"}, {"4567", "123-4"}), "123-556-7890", false},
        {TypeWith({"###-###-####", "##########"}, {"4567", "123-4"}), "123-499-7890", true},
        {TypeWith({}, {"123"}), "123-456-7890", false},
        {TypeWith({"###-###-####"}, {"123-456-78901"}), "123-456-7890", false},  // id longer than the code
    };
    for (const auto& c : cases) EXPECT_EQ(c.type.MatchesBarcode(c.barcode), c.matches) << c.barcode;
}

TEST_F(CartridgeTypesTest, DefinitionFileProblemsAreReportedLineByLine) {
    const std::string f14(14, '#');
    const struct {
        std::string text;
        std::vector<std::string> problems;  // empty: the file loads
    } cases[] = {
        {"[General]\r\nType=K4.1\r\n[BarcodeFormats]\r\nf01=###-###-####\r\nf02=#############\r\n"
         "[BarcodeIDs]\r\nids=410,4101234\r\n",
         {}},
        {"[General]\r\nType=A\r\n[BarcodeFormats]\r\nf01=" + f14 + "\r\nf02=#########\r\nf03=###-###-##X#\r\n"
         "f04=##########\r\n[BarcodeIDs]\r\nids=123\r\n",
         {"Invalid bar code format: " + f14 + " : must have 13 of fewer characters.",
          "Invalid bar code format: ######### : must have at least 10 of characters.",
          "Invalid bar code format: ###-###-##X# : Invalid character in barcode. Valid characters are '#' '-' 'G' "
          "'N'"}},
        {Definition("A", "12,1234567,12345678"), {"Bar code id must have at least three characters: \"12\""}},
        {Definition("A", "123,12345678"), {"Bar code id must be no more than 7 characters: \"12345678\""}},
        {Definition("A", "123,,456"), {"Bar code id must have at least three characters: \"\""}},
        {Definition("A", "1a34"),
         {"The first three characters of a bar code ID must be numbers between 0 and 9: \"1a34\""}},
        {"[General]\r\nType=A\r\n[BarcodeFormats]\r\nf01=###-###-####\r\n",
         {"[BarcodeIDs] id=\"\" must be present and have at least one value"}},
        {Definition(" \t", "123"), {"[General] Type=\"\" is missing or blank."}},
        {"[BarcodeFormats]\r\nf01=12\r\n",
         {"Invalid bar code format: 12 : must have at least 10 of characters.",
          "[BarcodeIDs] id=\"\" must be present and have at least one value",
          "[General] Type=\"\" is missing or blank."}},
    };
    const std::string path = Cartridge("Test.ini").string();
    for (const auto& c : cases) {
        Put(path, c.text);
        CartridgeType type;
        CString error;
        std::string expected;
        for (const std::string& problem : c.problems) {
            expected += (expected.empty() ? "CartridgeFile: " + path + "\n" : "\n") + problem;
        }
        EXPECT_EQ(type.LoadCartridgeTypeFile(path.c_str(), error), c.problems.empty()) << c.text;
        EXPECT_EQ(error.str(), expected) << c.text;
        EXPECT_STREQ(type.m_strFilePath.c_str(), path.c_str());
    }
}

TEST_F(CartridgeTypesTest, FormatsEndAtTheFirstMissingKey) {
    const std::string path = Cartridge("Gap.ini").string();
    Put(path, "[General]\r\nType=Gap\r\n[BarcodeFormats]\r\nf01=###-###-####\r\nf03=##########\r\n"
              "[BarcodeIDs]\r\nids=123,4567\r\n");
    CartridgeType type;
    CString error;
    ASSERT_TRUE(type.LoadCartridgeTypeFile(path.c_str(), error)) << error.str();
    ASSERT_EQ(type.m_BarcodeFormats.size(), 1u);
    EXPECT_STREQ(type.m_BarcodeFormats[0].c_str(), "###-###-####");
    ASSERT_EQ(type.m_BarcodeIDs.size(), 2u);
    EXPECT_STREQ(type.m_BarcodeIDs[1].c_str(), "4567");
    EXPECT_STREQ(type.m_strTypeName.c_str(), "Gap");
}

TEST_F(CartridgeTypesTest, CatalogueLoadsInNameOrderAndLeavesBadFilesOut) {
    Put(Cartridge("c.ini"), Definition("Same", "123"));
    Put(Cartridge("a.ini"), Definition("Same", "123"));
    Put(Cartridge("B.INI"), Definition("Other", "124"));
    Put(Cartridge("bad.ini"), Definition("Bad", "1"));
    Put(Cartridge("notes.txt"), "not a definition");
    std::filesystem::create_directories(Cartridge("folder.ini"));

    CString error;
    EXPECT_FALSE(LoadCartridgeTypes(error));
    EXPECT_EQ(error.str(), "CartridgeFile: " + Cartridge("bad.ini").string() +
                               "\nBar code id must have at least three characters: \"1\"");
    EXPECT_EQ(LoadOrder(), (std::vector<std::string>{"a.ini", "B.INI", "c.ini"}));

    // Equal type names are both kept; the search takes the first loaded.
    Tovanix::String typeName = "unchanged";
    Tovanix::String filePath = "unchanged";
    ASSERT_TRUE(FindCartridgeTypeByBarcode("123-000-0000", typeName, filePath));
    EXPECT_STREQ(typeName.c_str(), "Same");
    EXPECT_EQ(std::string(filePath.c_str()), Cartridge("a.ini").string());
    EXPECT_FALSE(FindCartridgeTypeByBarcode("999-000-0000", typeName, filePath));
    EXPECT_STREQ(typeName.c_str(), "Same");  // outputs unchanged

    // Loading again replaces the catalogue.
    std::filesystem::remove(Cartridge("bad.ini"));
    std::filesystem::remove(Cartridge("c.ini"));
    EXPECT_TRUE(LoadCartridgeTypes(error));
    EXPECT_EQ(error.str(), "");
    EXPECT_EQ(LoadOrder(), (std::vector<std::string>{"a.ini", "B.INI"}));
}

TEST_F(CartridgeTypesTest, CatalogueFolderProblems) {
    CString error;
    // Created when missing, but without definition files the listing fails.
    EXPECT_FALSE(LoadCartridgeTypes(error));
    EXPECT_EQ(error.str(), "Problem finding files in directory: " + (dataRoot / "Cartridge").string());
    EXPECT_TRUE(std::filesystem::is_directory(dataRoot / "Cartridge"));

    theApp.m_strDataRoot = (dataRoot / "missing" / "root").c_str();
    EXPECT_FALSE(LoadCartridgeTypes(error));
    EXPECT_EQ(error.str(), "Unable to create directory: " + (dataRoot / "missing" / "root" / "Cartridge").string());
    EXPECT_EQ(g_CartridgeTypes.count, 0);

    std::string log;
    for (const auto& entry : std::filesystem::directory_iterator(dataRoot / "LOG")) log += Bytes(entry.path());
    EXPECT_NE(log.find("Problem finding files in directory: "), std::string::npos);
}

TEST_F(CartridgeTypesTest, ImposingWritesTheTypeAndTheShiftedChannelRows) {
    const struct {
        const char* offsets;
        const char* upper;   // CartridgeUpperChannel written
        const char* lower;
        const char* volume;
    } cases[] = {
        {"UpperChannelOffset=1500\r\nLowerChannelOffset=-1500\r\n", "675", "1325", "270"},
        // Halves round away from zero: 50.5 -> 51, -50.5 -> -51.
        {"UpperChannelOffset=1010\r\nLowerChannelOffset=-1010\r\n", "651", "1349", "270"},
        // 2000 pixels is still within the limit.
        {"UpperChannelOffset=-40000\r\nLowerChannelOffset=40000\r\n", "-1400", "3400", "270"},
        {"", "600", "1400", "270"},
    };
    for (const auto& c : cases) {
        Put(Cartridge("K9.ini"), Definition("K9", "123", std::string("[OffsetsInMicron]\r\n") + c.offsets));
        Put(IniPath(), "[CalibrationSettings]\r\nimage_pixels_per_mm=50\r\nUpperChannel=600\r\nLowerChannel=1400\r\n");
        CString error;
        ASSERT_TRUE(LoadCartridgeTypes(error)) << error.str();
        ASSERT_TRUE(ImposeCartridgeTypeOffsets(g_IniPath, "123-456-7890", error)) << error.str();
        EXPECT_EQ(Setting("ExperimentSettings", "CartridgeType"), "K9");
        EXPECT_EQ(Setting("ExperimentSettings", "Barcode"), "123-456-7890");
        EXPECT_EQ(Setting("Cartridge", "CartridgeUpperChannel"), c.upper) << c.offsets;
        EXPECT_EQ(Setting("Cartridge", "CartridgeLowerChannel"), c.lower) << c.offsets;
        EXPECT_EQ(Setting("Cartridge", "SampleAspirateVolume"), c.volume) << c.offsets;
    }
    Put(Cartridge("K9.ini"), Definition("K9", "123", "[SampleLoadInMicroLitre]\r\nSampleAspirateVolume=310\r\n"));
    CString error;
    ASSERT_TRUE(ImposeCartridgeTypeOffsets(g_IniPath, "123-456-7890", error)) << error.str();
    EXPECT_EQ(Setting("Cartridge", "SampleAspirateVolume"), "310");
}

TEST_F(CartridgeTypesTest, ImposingFailures) {
    Put(Cartridge("K9.ini"), Definition("K9", "123", "[OffsetsInMicron]\r\nUpperChannelOffset=45000\r\n"));
    Put(Cartridge("Renamed.ini"), Definition("K8", "124"));
    CString error;
    ASSERT_TRUE(LoadCartridgeTypes(error)) << error.str();
    const std::string calibration = "[CalibrationSettings]\r\nimage_pixels_per_mm=50\r\nUpperChannel=600\r\n";

    const struct {
        const char* barcode;
        std::string message;
        bool typeWritten;
    } cases[] = {
        {"", "ImposeCartridgeTypeOffsets() Barcode is empty or missing.", false},
        {"999-456-7890", "ImposeCartridgeTypeOffsets() No cartridge type matches barcode: \"999-456-7890\"", false},
        // 45000 um at 50 pixels per mm is 2250 pixels, past the limit; the type
        // and bar code are written before the offsets are read.
        {"123-456-7890", "Invalid UpperChannelOffset in file: " + Cartridge("K9.ini").string(), true},
        // A type is found by its bar code but read from the file named after it.
        {"124-456-7890", "Cartridge definition file does not exist: " + Cartridge("K8.ini").string(), true},
    };
    for (const auto& c : cases) {
        Put(IniPath(), calibration);
        EXPECT_FALSE(ImposeCartridgeTypeOffsets(g_IniPath, c.barcode, error)) << c.barcode;
        EXPECT_EQ(error.str(), c.message);
        EXPECT_EQ(Setting("ExperimentSettings", "Barcode") == c.barcode, c.typeWritten) << c.barcode;
        EXPECT_EQ(Setting("Cartridge", "CartridgeUpperChannel"), "<missing>") << c.barcode;
    }

    // The offset query takes the same offset without the limit and writes nothing.
    Put(IniPath(), calibration);
    int upper = 0;
    ASSERT_TRUE(GetCartridgeTypeOffsetIntValues(g_IniPath, "123-456-7890", &upper, error)) << error.str();
    EXPECT_EQ(upper, 2250);
    EXPECT_EQ(Bytes(IniPath()), calibration);
    EXPECT_FALSE(GetCartridgeTypeOffsetIntValues(g_IniPath, "", &upper, error));
    EXPECT_EQ(error.str(), "GetCartridgeTypeOffsetIntValues() Barcode is empty or missing.");
    EXPECT_FALSE(GetCartridgeTypeOffsetIntValues(g_IniPath, "1", &upper, error));
    EXPECT_EQ(error.str(), "GetCartridgeTypeOffsetIntValues() No cartridge type matches barcode: \"1\"");
}

// The supplied definitions load without error and each cartridge type code of
// the cartridge choices finds its type, whose offsets the supplied settings
// file takes.
TEST_F(CartridgeTypesTest, SuppliedDefinitionsServeEveryCartridgeChoice) {
    platform::ScriptedUiBridge bridge;
    platform::ScopedUiBridge scoped(bridge);
    std::string installError;
    ASSERT_TRUE(InstallMissingDataRootFiles(theApp.m_strDataRoot, &installError)) << installError;
    ASSERT_TRUE(theApp.CreateIniIfMissing());
    CString error;
    ASSERT_TRUE(LoadCartridgeTypes(error)) << error.str();

    const char* expectedTypes[] = {"K4.1", "K4.1-IR", "K4.3", "K4.3-IR"};
    for (int i = 0; i < 4; ++i) {
        Tovanix::String typeName, filePath;
        ASSERT_TRUE(FindCartridgeTypeByBarcode(kCartridgeTypeCodes[i], typeName, filePath)) << kCartridgeTypeCodes[i];
        EXPECT_STREQ(typeName.c_str(), expectedTypes[i]);
        EXPECT_TRUE(ImposeCartridgeTypeOffsets(g_IniPath, kCartridgeTypeCodes[i], error)) << error.str();
        EXPECT_EQ(Setting("ExperimentSettings", "CartridgeType"), expectedTypes[i]);
    }
}

}  // namespace
