#include "analysis/SplitLineDetection.h"

#include "analysis/tests/SplitLineFixture.h"
#include "app/tests/AppTestSupport.h"
#include "support/Profile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

class SplitLineDetectionTest : public apptest::DataRootTest {
protected:
    void SetUp() override
    {
        apptest::DataRootTest::SetUp();
        experiment = folder / "Exp1";
        fs::create_directories(experiment / "Images");
        ini = (experiment / "Exp1.ini").string();
        data.referenceFrame.brightFieldFile = "Exp1_Brightfield_0001.png";
        data.pixelsPerMm = 10.0;
        data.upperChannelRow = 100;
        data.lowerChannelRowEnd = 201;
        data.cartridgeCodePrefix = "ABC";
    }

    void WriteIni(const std::string& cartridgeKeys)
    {
        std::ofstream(ini) << "[Cartridge]\r\nCartridgeUpperChannel=100\r\nCartridgeLowerChannel=200\r\n"
                           << cartridgeKeys << "[CalibrationSettings]\r\nimage_pixels_per_mm=10\r\n";
    }

    std::string Key(const char* key)
    {
        char buffer[64] = "";
        Tovanix::E_GetPrivateProfileString("Cartridge", key, "absent", buffer, sizeof buffer, ini.c_str());
        return buffer;
    }

    std::vector<std::string> CachedKeys()
    {
        return {Key("CartridgeChannelDetectedOffset"), Key("CartridgeChannelDetectedRotation"),
                Key("CartridgeChannelDetectedRotationCenterX"), Key("CartridgeChannelDetectedRotationCenterY")};
    }

    fs::path experiment;
    std::string ini;
    ExperimentDataSet data;
};

}  // namespace

TEST_F(SplitLineDetectionTest, CachedValuesAreUsedWithoutAnImage)
{
    WriteIni("CartridgeChannelDetectedOffset=-7\r\nCartridgeChannelDetectedRotation=0.0125\r\n"
             "CartridgeChannelDetectedRotationCenterX=61\r\nCartridgeChannelDetectedRotationCenterY=812\r\n");
    std::string error;
    ASSERT_TRUE(DetectSplitLineFromLogs(data, experiment.string(), ini, &error)) << error;
    EXPECT_EQ(data.detectedOffset, -7);
    EXPECT_EQ(data.detectedRotation, 0.0125);
    EXPECT_EQ(data.rotationCentreX, 61.0);
    EXPECT_EQ(data.rotationCentreY, 812.0);
}

TEST_F(SplitLineDetectionTest, MissingOrUndetectedKeyMeasuresAndStores)
{
    const char* partial[] = {
        "CartridgeChannelDetectedOffset=3\r\nCartridgeChannelDetectedRotation=0\r\n"
        "CartridgeChannelDetectedRotationCenterX=1\r\n",
        "CartridgeChannelDetectedOffset=10000\r\nCartridgeChannelDetectedRotation=0\r\n"
        "CartridgeChannelDetectedRotationCenterX=1\r\nCartridgeChannelDetectedRotationCenterY=1\r\n",
    };
    WriteSplitLineTemplates(dataRoot, "ABC,DEF");
    ASSERT_TRUE(cv::imwrite((experiment / "Images" / data.referenceFrame.brightFieldFile).string(),
                            SplitLineChannel(true)));
    for (const char* keys : partial) {
        WriteIni(keys);
        ExperimentDataSet found = data;
        std::string error;
        ASSERT_TRUE(DetectSplitLineFromLogs(found, experiment.string(), ini, &error)) << error;
        EXPECT_EQ(found.detectedOffset, 2);
        EXPECT_NEAR(found.detectedRotation, std::atan(4.0 / 370.0), 1e-12);
        const std::vector<std::string> stored = CachedKeys();
        EXPECT_EQ(stored[0], "2");
        EXPECT_NEAR(std::stod(stored[1]), std::atan(4.0 / 370.0), 1e-6);
        EXPECT_EQ(stored[2], "50");
        EXPECT_EQ(stored[3], "140");
    }
}

TEST_F(SplitLineDetectionTest, FailureInsideIsReportedAndNothingWritten)
{
    WriteSplitLineTemplates(dataRoot, "ABC");
    WriteIni("CartridgeChannelDetectedOffset=10000\r\n");
    // No reference image: the detector is handed an empty image.
    std::string error;
    EXPECT_FALSE(DetectSplitLineFromLogs(data, experiment.string(), ini, &error));
    EXPECT_EQ(error.rfind("Function detect splitline from logs", 0), 0u) << error;
    EXPECT_GT(error.size(), std::string("Function detect splitline from logs").size());
    EXPECT_EQ(CachedKeys(), (std::vector<std::string>{"10000", "absent", "absent", "absent"}));
}

TEST_F(SplitLineDetectionTest, CapturedImageResultIsAlwaysStored)
{
    WriteIni("");
    cv::Mat wide;
    SplitLineChannel(true).convertTo(wide, CV_16U, 256.0);
    std::string error;
    // No templates for the type: zeros are stored.
    ExperimentDataSet none;
    EXPECT_FALSE(DetectSplitLine(none, ini, "XYZ-123", wide, &error));
    EXPECT_EQ(CachedKeys(), (std::vector<std::string>{"0", "0", "0", "0"}));

    // A 16-bit image is scaled to 8 bits before the search.
    WriteSplitLineTemplates(dataRoot, "ABC");
    ExperimentDataSet found;
    ASSERT_TRUE(DetectSplitLine(found, ini, "ABC-7731", wide, &error)) << error;
    EXPECT_EQ(found.cartridgeCodePrefix, "ABC");
    EXPECT_EQ(found.upperChannelRow, 100);
    EXPECT_EQ(found.detectedOffset, 2);
    EXPECT_EQ(CachedKeys()[0], "2");
    EXPECT_EQ(CachedKeys()[3], "140");

    // An image the detector cannot search (smaller than its band): reported, zeros stored.
    ExperimentDataSet small;
    EXPECT_FALSE(DetectSplitLine(small, ini, "ABC", cv::Mat(50, 600, CV_8UC1, cv::Scalar(9)), &error));
    EXPECT_EQ(error.rfind("Function detect splitline ", 0), 0u) << error;
    EXPECT_EQ(CachedKeys(), (std::vector<std::string>{"0", "0", "0", "0"}));
}
