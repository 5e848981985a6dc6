#include "analysis/CountingAlgoOptions.h"

#include "app/VelloraApp.h"
#include "support/String.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

// Writes a settings file with the given lines under the test's root.
std::string WriteSettings(const std::string& name, const std::string& section, const std::vector<std::string>& lines)
{
    const fs::path path = fs::path(std::getenv("VELLORA_TEST_ROOT")) / name;
    std::ofstream out(path, std::ios::binary);
    out << "[" << section << "]\r\n";
    for (const std::string& line : lines)
        out << line << "\r\n";
    return path.string();
}

// Points the main settings file at one holding the given image scale line.
void SetMainSettings(const std::vector<std::string>& calibration)
{
    g_IniPath = WriteSettings("Vellora.ini", "CalibrationSettings", calibration).c_str();
}

const std::vector<std::string> kRegion{"Left=10", "Right=2400", "Top=20", "Bottom=2000"};

std::vector<std::string> With(std::vector<std::string> lines, const std::vector<std::string>& more)
{
    lines.insert(lines.end(), more.begin(), more.end());
    return lines;
}

}  // namespace

TEST(CountingAlgoOptions, LoadsAParameterSet)
{
    SetMainSettings({"image_pixels_per_mm=1234.5"});
    const std::string path = WriteSettings(
        "full.counting_params", "CountingAlgorithmDlg",
        With(kRegion, {"EdgeProcessing=false", "MFilter1=true", "MFilter2=yes", "CFilter1=TRUE", "UseInnerRing2=True",
                       "ProximityFilteringWithinType1=no", "ObjectRadius1=7.5", "ObjectRadiusSweep1=4",
                       "MFilterSamples1=16", "MFilterThreshold2=900", "CFilterThreshold1=abc", "CFilterMinSize2=5",
                       "RestoreImage=TRUE"}));
    CountingAlgoOptions o;
    Tovanix::String problems;
    ASSERT_TRUE(o.LoadFromFile(path.c_str(), problems)) << problems.c_str();
    EXPECT_FALSE(problems.HasText());
    EXPECT_EQ(o.image_pixels_per_mm, 1234.5);
    EXPECT_FALSE(o.EdgeProcessing);
    EXPECT_TRUE(o.MFilter1);
    EXPECT_FALSE(o.MFilter2);  // only "TRUE" switches these on
    EXPECT_TRUE(o.CFilter1);
    EXPECT_FALSE(o.CFilter2);
    EXPECT_FALSE(o.UseInnerRing1);
    EXPECT_TRUE(o.UseInnerRing2);
    EXPECT_TRUE(o.ProximityFilteringWithinType1);  // only "FALSE" switches these off
    EXPECT_TRUE(o.ProximityFilteringWithinType2);
    EXPECT_TRUE(o.ProximityFilteringBetweenType1_2);
    EXPECT_EQ(o.ObjectRadius1, 7.5);
    EXPECT_EQ(o.ObjectRadius2, 0.0);
    EXPECT_EQ(o.ObjectRadiusSweep1, 4);
    EXPECT_EQ(o.MFilterSamples1, 16);
    EXPECT_EQ(o.MFilterThreshold2, 900);
    EXPECT_EQ(o.CFilterThreshold1, 0);
    EXPECT_EQ(o.CFilterMinSize1, 1);
    EXPECT_EQ(o.CFilterMinSize2, 5);
    EXPECT_EQ(o.Left, 10);
    EXPECT_EQ(o.Bottom, 2000);
    EXPECT_FALSE(o.enabled);

    // Without an image scale in the main settings file: 1000 pixels per mm.
    SetMainSettings({"image_pixels_per_mm=unknown"});
    ASSERT_TRUE(o.LoadFromFile(path.c_str(), problems));
    EXPECT_EQ(o.image_pixels_per_mm, 1000.0);
    const std::string bare = WriteSettings("bare.counting_params", "CountingAlgorithmDlg", kRegion);
    ASSERT_TRUE(o.LoadFromFile(bare.c_str(), problems));
    EXPECT_TRUE(o.EdgeProcessing);
    EXPECT_FALSE(o.MFilter1);
}

TEST(CountingAlgoOptions, ListsTheProblemsOfTheRegion)
{
    SetMainSettings({});
    const std::string path =
        WriteSettings("noregion.counting_params", "CountingAlgorithmDlg", {"Right=100", "Bottom=100", "Top=x"});
    CountingAlgoOptions o;
    Tovanix::String problems;
    EXPECT_FALSE(o.LoadFromFile(path.c_str(), problems));
    EXPECT_STREQ(problems.c_str(), ("File: " + path +
                                    "\nSection [CountingAlgorithmDlg]\nHas the following problems:\n"
                                    "\nLeft is missing or invalid\nTop is missing or invalid")
                                       .c_str());
    EXPECT_EQ(o.Right, 100);  // what was read stays

    const std::string missing = (fs::path(std::getenv("VELLORA_TEST_ROOT")) / "none.counting_params").string();
    Tovanix::String all;
    EXPECT_FALSE(o.LoadFromFile(missing.c_str(), all));
    EXPECT_NE(std::string(all.c_str()).find("\nBottom is missing or invalid"), std::string::npos);
}

TEST(CountingAlgoOptions, SetParamByName)
{
    CountingAlgoOptions o;
    Tovanix::String error;
    EXPECT_TRUE(o.SetParamByName("cfilterminsize2", 3.6, error));
    EXPECT_EQ(o.CFilterMinSize2, 4);
    EXPECT_TRUE(o.SetParamByName("ObjectRadius1", 12.25, error));
    EXPECT_EQ(o.ObjectRadius1, 12.25);
    EXPECT_TRUE(o.SetParamByName("MFILTERSAMPLES1", -2.5, error));
    EXPECT_EQ(o.MFilterSamples1, -3);  // halves round away from zero
    EXPECT_TRUE(o.SetParamByName("MFilterThreshold2", 1e12, error));
    EXPECT_EQ(o.MFilterThreshold2, INT32_MAX);
    EXPECT_FALSE(error.HasText());
    EXPECT_FALSE(o.SetParamByName("EdgeProcessing", 1, error));
    EXPECT_STREQ(error.c_str(), "CountingAlgoOptions::SetParamByName() Unknown parameter name: EdgeProcessing");
}

TEST(CountingAlgoOptions, HeaderBlockSaysDisabledOrListsEveryOption)
{
    CountingAlgoOptions o;
    CStringArray lines;
    o.AppendDescription(lines);
    ASSERT_EQ(lines.GetSize(), 1);
    EXPECT_STREQ(lines[0], "# ******** Circular cell detection algo is not enabled. ********");

    SetMainSettings({"image_pixels_per_mm=500"});
    o.enabled = true;
    o.MFilter1 = true;
    o.ObjectRadius1 = 10;
    o.ObjectRadiusSweep1 = 4;
    o.ProximityFilteringBetweenType1_2 = true;
    o.Left = 3;
    lines.RemoveAll();
    lines.Add("header");
    o.AppendDescription(lines);
    EXPECT_EQ(o.image_pixels_per_mm, 500.0);  // filled in from the main settings file
    ASSERT_EQ(lines.GetSize(), 1 + 10 + 2 * 13 + 1);
    EXPECT_STREQ(lines[1], "# ******* Circular cell detection algo parameters ********");
    EXPECT_STREQ(lines[2], "#pixels_per_mm=500.0");
    EXPECT_STREQ(lines[3], "#ROI.left=3");
    EXPECT_STREQ(lines[7], "");
    EXPECT_STREQ(lines[8], "#NUM_FILTERS=2");
    EXPECT_STREQ(lines[9], "#b_edge_processing=false");
    EXPECT_STREQ(lines[11], "# *** Morphological Filter 1 Options ****");
    EXPECT_STREQ(lines[12], "#morph_filter[1]=true");
    EXPECT_STREQ(lines[13], "#radius[1]=10.000\tum");
    EXPECT_STREQ(lines[14], "#radius[1]=5.000\tpixels");
    EXPECT_STREQ(lines[15], "#radius_sweep[idx]=4");
    EXPECT_STREQ(lines[19], "# *** Count Filter 1 Options ****");
    EXPECT_STREQ(lines[20], "#count_filter=false");
    EXPECT_STREQ(lines[23], "#proximity_filtering_per_type[1]=false");
    EXPECT_STREQ(lines[24], "# *** Morphological Filter 2 Options ****");
    EXPECT_STREQ(lines[37], "#cross_type_filtering=true");
}
