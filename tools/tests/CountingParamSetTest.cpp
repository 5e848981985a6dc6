// Counting parameter sets: the file written with its keys in order, the
// reading rules of each kind of key, saving under a name, the unsaved-change
// test and the spin steps.

#include <gtest/gtest.h>

#include "tools/CountingParamSet.h"
#include "tools/ToolFrame.h"
#include "tools/tests/ToolTestSupport.h"

using namespace tools_testing;

namespace {

CountingParamValues SampleValues()
{
    CountingParamValues values;
    ReadCountingParams("/nonexistent", values);  // every number default, every default-on flag on
    values.SetFlag("MFilter1", true);
    values.Set("ObjectRadius1", "12.5");
    return values;
}

}  // namespace

TEST(CountingParamSet, SavedSetHoldsTheKeysInOrderAndReadsBack)
{
    const fs::path root = MakeDataRoot("save");
    std::string error;
    ASSERT_TRUE(SaveCountingParamSet("Mine", SampleValues(), &error)) << error;
    const std::string text = ReadFile(root / "LIB" / "Mine.counting_params");
    EXPECT_EQ(text.rfind("[CountingAlgorithmDlg]\r\nEdgeProcessing=FALSE\r\nMFilter1=TRUE\r\nMFilter2=FALSE\r\n", 0), 0u)
        << text;
    size_t position = 0;
    for (const CountingParamKey& key : kCountingParamKeys) {
        const size_t found = text.find(std::string("\n") + key.key + "=", position);
        ASSERT_NE(found, std::string::npos) << key.key;
        position = found + 1;
    }
    EXPECT_NE(text.find("\nObjectRadius1=12.5\r\n"), std::string::npos);
    EXPECT_NE(text.find("\nBottom=1000\r\n"), std::string::npos);

    CountingParamValues back;
    ReadCountingParams((root / "LIB" / "Mine.counting_params").string(), back);
    EXPECT_EQ(back.text, SampleValues().text);
}

TEST(CountingParamSet, KindsOfKeysReadByTheirRules)
{
    const fs::path root = MakeDataRoot("kinds");
    const std::string path = WriteFile(root / "LIB" / "hand.counting_params",
                                       "[CountingAlgorithmDlg]\r\nMFilter1=true\r\nMFilter2=yes\r\nCFilter1=False\r\n"
                                       "UseInnerRing2=FALSE\r\nProximityFilteringWithinType1=no\r\nObjectRadius2=\r\n"
                                       "Left=abc\r\n");
    CountingParamValues values;
    values.SetFlag("EdgeProcessing", true);
    values.SetFlag("MFilter2", true);
    values.SetFlag("CFilter1", true);
    ReadCountingParams(path, values);
    EXPECT_TRUE(values.Flag("EdgeProcessing"));  // missing: unchanged
    EXPECT_TRUE(values.Flag("MFilter1"));        // any letter case
    EXPECT_TRUE(values.Flag("MFilter2"));        // neither TRUE nor FALSE: unchanged
    EXPECT_FALSE(values.Flag("CFilter1"));
    EXPECT_TRUE(values.Flag("UseInnerRing1"));   // missing: checked
    EXPECT_FALSE(values.Flag("UseInnerRing2"));
    EXPECT_TRUE(values.Flag("ProximityFilteringWithinType1"));  // anything but FALSE
    EXPECT_EQ(values.Get("ObjectRadius1"), "13");                // missing: default
    EXPECT_EQ(values.Get("ObjectRadius2"), "");                  // present and empty
    EXPECT_EQ(values.Get("Left"), "abc");                        // kept as typed
}

TEST(CountingParamSet, ChangeDetectionComparesWithTheStoredSet)
{
    MakeDataRoot("change");
    CountingParamValues values = SampleValues();
    EXPECT_TRUE(CountingParamSetDiffers("Mine", values));  // no set file yet
    std::string error;
    ASSERT_TRUE(SaveCountingParamSet("Mine", values, &error)) << error;
    EXPECT_FALSE(CountingParamSetDiffers("Mine", values));
    values.Set("MFilterSamples1", "121");
    EXPECT_TRUE(CountingParamSetDiffers("Mine", values));
    values.Set("MFilterSamples1", "12");
    EXPECT_FALSE(CountingParamSetDiffers("Mine", values));
}

TEST(CountingParamSet, HandWrittenSetWithTheSameValuesCountsAsChanged)
{
    const fs::path root = MakeDataRoot("reordered");
    CountingParamValues values = SampleValues();
    std::string error;
    ASSERT_TRUE(SaveCountingParamSet("Mine", values, &error)) << error;
    std::string text = ReadFile(root / "LIB" / "Mine.counting_params");
    const std::string first = "EdgeProcessing=FALSE\r\n";
    text.erase(text.find(first), first.size());
    text += first;  // same values, another order
    WriteFile(root / "LIB" / "Mine.counting_params", text);
    CountingParamValues back;
    ReadCountingParams((root / "LIB" / "Mine.counting_params").string(), back);
    EXPECT_EQ(back.text, values.text);
    EXPECT_TRUE(CountingParamSetDiffers("Mine", values));
}

TEST(CountingParamSet, RefusedNamesWriteNothing)
{
    const fs::path root = MakeDataRoot("names");
    std::string error;
    EXPECT_FALSE(SaveCountingParamSet("", SampleValues(), &error));
    EXPECT_FALSE(fs::exists(root / "LIB" / ".counting_params"));
    EXPECT_FALSE(SaveCountingParamSet("../outside", SampleValues(), &error));
    EXPECT_FALSE(fs::exists(root / "outside.counting_params"));
    EXPECT_EQ(error, "Name in the combo box must be a valid windows file name.");
}

TEST(CountingParamSet, ToolChoicesKeepTheirStateUnlessTrueOrFalse)
{
    MakeDataRoot("choices", "[CountingAlgorithmDlg]\r\nParamSetName=Mine\r\nCreateResultsFiles=true\r\nOpenSummary=maybe\r\n");
    CountingToolChoices choices;
    choices.openSummary = true;
    ReadCountingToolChoices(choices);
    EXPECT_EQ(choices.paramSetName, "Mine");
    EXPECT_TRUE(choices.createResultsFiles);
    EXPECT_TRUE(choices.openSummary);
}

TEST(CountingParamSet, SpinStepsStopAtTheirLimits)
{
    struct Case {
        const char* key;
        const char* text;
        bool up;
        const char* result;  // null: nothing happens
    };
    const Case cases[] = {
        {"ObjectRadius1", "49", true, "50"},      {"ObjectRadius1", "49.5", true, nullptr},
        {"ObjectRadius1", "50", true, nullptr},   {"ObjectRadius1", "2", false, "1"},
        {"ObjectRadius1", "1", false, nullptr},   {"ObjectRadius1", "abc", true, nullptr},
        {"MFilterThreshold2", "495", true, "500"}, {"CFilterThreshold1", "6", false, "1"},
        {"ObjectRadiusSweep1", "1", false, "0"},  {"MFilterSamples1", "4", false, nullptr},
        {"ObjectRadius2", "2.5", true, "3.5"},    {"Left", "5", true, nullptr},
    };
    for (const Case& c : cases) {
        const std::optional<std::string> result = SpinCountingParam(c.key, c.text, c.up);
        if (c.result) {
            ASSERT_TRUE(result.has_value()) << c.key << " " << c.text;
            EXPECT_EQ(*result, c.result) << c.key << " " << c.text;
        } else {
            EXPECT_FALSE(result.has_value()) << c.key << " " << c.text;
        }
    }
}
