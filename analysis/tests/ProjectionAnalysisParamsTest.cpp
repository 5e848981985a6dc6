#include "analysis/ProjectionAnalysisParams.h"

#include "app/VelloraApp.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

fs::path Root()
{
    return fs::path(std::getenv("VELLORA_TEST_ROOT"));
}

std::string WriteFile(const fs::path& path, const std::string& text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
}

// A set that passes every check.
ProjectionAnalysisParams ValidParams()
{
    ProjectionAnalysisParams p;
    p.image_pixels_per_mm = 500;
    p.smoothingWindowMicrons = 15;
    p.numPeaksToFind = 2;
    p.stdevIntegrationArea = 1.0;
    p.integrationSamples = 11;
    p.left = 0;
    p.top = 0;
    p.right = 30;
    p.bottom = 30;
    return p;
}

}  // namespace

TEST(ProjectionAnalysisParams, SectionOnlyFileGivesDefaults)
{
    const std::string path = WriteFile(Root() / "LIB" / "empty.pa_params", "[RightSideProjection]\r\n");
    ProjectionAnalysisParams p;
    p.image_pixels_per_mm = 321;
    p.left = p.top = p.right = p.bottom = 7;
    ASSERT_TRUE(p.LoadFromFile(path.c_str()));
    EXPECT_EQ(p.smoothingWindowMicrons, 15.0);
    EXPECT_EQ(p.numPeaksToFind, 0);
    EXPECT_EQ(p.stdevIntegrationArea, 1.0);
    EXPECT_EQ(p.integrationSamples, 11);
    EXPECT_TRUE(p.findValleys);
    EXPECT_FALSE(p.roiName.HasText());
    EXPECT_EQ(p.left + p.top + p.right + p.bottom, 0);
    EXPECT_EQ(p.image_pixels_per_mm, 321);  // not part of the set
}

TEST(ProjectionAnalysisParams, ReadsValuesAndFlagSpellings)
{
    const struct {
        const char* value;
        bool findValleys;
    } cases[] = {{"false", false}, {"FALSE", false}, {"FaLsE", false}, {"no", true}, {"TRUE", true}, {"", true}};
    for (const auto& c : cases) {
        // Written in one letter case of the extension, loaded through another.
        WriteFile(Root() / "LIB" / "set.PA_params",
                  std::string("[RightSideProjection]\r\nSmoothingWindowMicrons=22.5\r\nNumPeaksToFind=3\r\n"
                              "StdevIntegrationArea=1.5\r\nIntegrationSamples=21\r\nFindValleys=") +
                      c.value + "\r\n");
        ProjectionAnalysisParams p;
        p.LoadFromFile((Root() / "LIB" / "set.pa_params").c_str());
        EXPECT_EQ(p.findValleys, c.findValleys) << c.value;
        EXPECT_EQ(p.smoothingWindowMicrons, 22.5);
        EXPECT_EQ(p.numPeaksToFind, 3);
        EXPECT_EQ(p.stdevIntegrationArea, 1.5);
        EXPECT_EQ(p.integrationSamples, 21);
    }
}

TEST(ProjectionAnalysisParams, TakesTheRoiOfANamedRegion)
{
    g_IniPath = WriteFile(Root() / "Vellora.ini",
                          "[ROI]\r\nitem0=\"Other\",1,2,3,4\r\nitem1=\"Channel\",100,900,200,700\r\n")
                    .c_str();
    const std::string path = WriteFile(Root() / "named.pa_params", "[RightSideProjection]\r\nROI_name=Channel\r\n");
    ProjectionAnalysisParams p;
    p.LoadFromFile(path.c_str());
    EXPECT_STREQ(p.roiName.c_str(), "Channel");
    EXPECT_EQ(p.left, 100);
    EXPECT_EQ(p.right, 900);
    EXPECT_EQ(p.top, 200);
    EXPECT_EQ(p.bottom, 700);

    // A name missing from the list leaves the ROI empty, which Validate refuses.
    WriteFile(Root() / "named.pa_params", "[RightSideProjection]\r\nROI_name=Missing\r\n");
    p.LoadFromFile(path.c_str());
    EXPECT_EQ(p.left + p.top + p.right + p.bottom, 0);
}

TEST(ProjectionAnalysisParams, ValidationMessagesInCheckOrder)
{
    using Setter = void (*)(ProjectionAnalysisParams&);
    const struct {
        Setter change;
        const char* error;
    } cases[] = {
        {[](ProjectionAnalysisParams& p) { p.smoothingWindowMicrons = 150.0; }, ""},
        {[](ProjectionAnalysisParams& p) { p.smoothingWindowMicrons = 150.0001; },
         "Smoothing Window (um) is invalid, must be between 0 and 150.0"},
        {[](ProjectionAnalysisParams& p) { p.numPeaksToFind = -1; },
         "Num Peaks To Find is invalid, must be between 0 and 10"},
        {[](ProjectionAnalysisParams& p) { p.stdevIntegrationArea = 0.49; },
         "Stdev Integration Area is invalid, must be between 0.5 and 2.0"},
        {[](ProjectionAnalysisParams& p) { p.integrationSamples = 49; }, ""},
        {[](ProjectionAnalysisParams& p) { p.integrationSamples = 48; },
         "Integration Samples is invalid, must be an odd number between 5 and 49"},
        {[](ProjectionAnalysisParams& p) { p.integrationSamples = 51; },
         "Integration Samples is invalid, must be an odd number between 5 and 49"},
        {[](ProjectionAnalysisParams& p) { p.image_pixels_per_mm = 29.9; },
         "Pixels per mm is invalid, must be between 30 and 5000"},
        {[](ProjectionAnalysisParams& p) { p.right = p.bottom = 29; },
         "ROI is invalid, must be at least 30x30 and all numbers positive integers."},
        {[](ProjectionAnalysisParams& p) {
             p.smoothingWindowMicrons = -1;
             p.integrationSamples = 4;
             p.top = -1;
         },
         "Smoothing Window (um) is invalid, must be between 0 and 150.0\n"
         "Integration Samples is invalid, must be an odd number between 5 and 49\n"
         "ROI is invalid, must be at least 30x30 and all numbers positive integers."},
    };
    for (const auto& c : cases) {
        ProjectionAnalysisParams p = ValidParams();
        c.change(p);
        CString error = "old text";
        EXPECT_EQ(p.Validate(error), *c.error == '\0');
        EXPECT_STREQ(error.GetString(), c.error);
    }
}

TEST(ProjectionAnalysisParams, DescriptionBlock)
{
    ProjectionAnalysisParams p = ValidParams();
    p.roiName = "Channel";
    CStringArray lines;
    lines.Add("before");
    ASSERT_TRUE(p.AppendDescription(lines));
    const std::vector<std::string> expected = {
        "before",
        "# *******************  ProjectionAnalysisParams ********************************",
        "# ROI left\t0",
        "# ROI right\t30",
        "# ROI top\t0",
        "# ROI bottom\t30",
        "# SmoothingWindowMicrons\t15.000",
        "# NumPeaks/ValleysToFind\t2",
        "# FindValleys\tFALSE",
        "# StdevIntegrationArea\t1.000",
        "# IntegrationSamples\t11",
        "# PixelsPerMM\t500.00",
        "# ROI_name\tChannel",
        ""};
    ASSERT_EQ(lines.GetSize(), static_cast<int>(expected.size()));
    for (int i = 0; i < lines.GetSize(); ++i)
        EXPECT_EQ(lines[i].str(), expected[static_cast<size_t>(i)]);
}

TEST(ProjectionAnalysisParams, CalibrationFromExperimentOrMainSettings)
{
    g_IniPath = WriteFile(Root() / "Vellora.ini",
                          "[CalibrationSettings]\r\nimage_pixels_per_mm=812.5\r\nUpperChannel=11\r\nLowerChannel=22\r\n")
                    .c_str();
    // The experiment's own file, one level above the image folder.
    WriteFile(Root() / "exp" / "ExperimentSettings.ini",
              "[CalibrationSettings]\r\nimage_pixels_per_mm=640\r\nUpperChannel=300\r\nLowerChannel=900\r\n");
    fs::create_directories(Root() / "exp" / "Images");
    ProjectionAnalysisParams p;
    ASSERT_TRUE(p.LoadCalibration((Root() / "exp" / "Images").c_str()));
    EXPECT_EQ(p.image_pixels_per_mm, 640);
    EXPECT_EQ(p.upperChannel, 300);
    EXPECT_EQ(p.lowerChannel, 900);

    // Without a scale there, all three come from the main settings file.
    WriteFile(Root() / "exp" / "ExperimentSettings.ini",
              "[CalibrationSettings]\r\nUpperChannel=300\r\nLowerChannel=900\r\n");
    p.LoadCalibration((Root() / "exp").c_str());
    EXPECT_EQ(p.image_pixels_per_mm, 812.5);
    EXPECT_EQ(p.upperChannel, 11);
    EXPECT_EQ(p.lowerChannel, 22);

    // No main settings value either: 500.
    g_IniPath = WriteFile(Root() / "Vellora.ini", "[Other]\r\n").c_str();
    p.LoadCalibration((Root() / "nowhere").c_str());
    EXPECT_EQ(p.image_pixels_per_mm, 500);
}

TEST(ProjectionAnalysisParams, SetFilePaths)
{
    g_IniPath = (Root() / "Vellora.ini").c_str();
    theApp.m_strDataRoot = Root().c_str();
    EXPECT_EQ(ProjectionParamsFilePath("__ExperimentSettings__"), g_IniPath.str());
    EXPECT_EQ(ProjectionParamsFilePath("Narrow band"), (Root() / "LIB" / "Narrow band.pa_params").string());
}
