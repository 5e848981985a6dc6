// The epifluorescence tool without its window: edit texts and their reading
// back, change detection by digest, the previewed region, saving a set and a
// run on an image document.

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include "imaging/ImageDoc.h"
#include "tools/EpiCountingTool.h"
#include "tools/tests/EpiTestSupport.h"
#include "tools/tests/ToolTestSupport.h"

using namespace tools_testing;

TEST(EpiCountingTool, TextsShowTheValuesAndReadBackWithFallbacks)
{
    EpiCellCountingAlgoParams params;
    params.DarkPct0 = 0.0025f;
    const EpiControlTexts texts = EpiParamsToControls(params);
    EXPECT_EQ(texts.darkPct0, "0.0025");
    EXPECT_EQ(texts.darkPct1, "0.0100");
    EXPECT_EQ(texts.minPixelCount, "60");
    EXPECT_EQ(texts.maxRatio, "0.350");
    EXPECT_EQ(texts.right, "1000");

    EpiControlTexts typed = texts;
    typed.darkPct0 = "";
    typed.maxRatio = "abc";
    typed.minSize = "x";
    typed.left = "?";
    EpiCellCountingAlgoParams read;
    read.Left = 7;
    EpiControlsToParams(typed, read);
    EXPECT_FLOAT_EQ(read.DarkPct0, 0.002f);
    EXPECT_FLOAT_EQ(read.MaxRatio, 0.25f);  // not the file default
    EXPECT_EQ(read.MinSize, 20);
    EXPECT_EQ(read.Left, 100);
}

TEST(EpiCountingTool, ChangesAreFoundByDigest)
{
    const fs::path root = MakeDataRoot("epi-digest");
    EpiCellCountingAlgoParams params;
    params.LoadFromFile((root / "LIB" / "Default.epi_counting_params").string().c_str());  // no file: defaults
    EpiControlTexts texts = EpiParamsToControls(params);
    EpiControlsToParams(texts, params);
    EXPECT_FALSE(EpiParamsChanged(params));
    texts.minSize = "21";
    EpiControlsToParams(texts, params);
    EXPECT_TRUE(EpiParamsChanged(params));
    texts.minSize = "20";
    EpiControlsToParams(texts, params);
    EXPECT_FALSE(EpiParamsChanged(params));

    // More decimals than the edit shows: the rounded text reads back as
    // another value.
    const std::string path = WriteFile(root / "LIB" / "Fine.epi_counting_params",
                                       "[EpiCellCountingAlgoDlg]\r\nDarkPct0=0.00123\r\n");
    EpiCellCountingAlgoParams fine;
    fine.LoadFromFile(path.c_str());
    EpiControlsToParams(EpiParamsToControls(fine), fine);
    EXPECT_TRUE(EpiParamsChanged(fine));
}

TEST(EpiCountingTool, RegionSideThatDoesNotReadKeepsItsValue)
{
    ROIRect region{1, 2, 3, 4};
    EpiControlTexts texts;
    texts.left = "10";
    texts.top = "";
    texts.right = "abc";
    texts.bottom = "40";
    PublishEpiRegion(texts, region);
    EXPECT_EQ(region.left, 10);
    EXPECT_EQ(region.top, 2);
    EXPECT_EQ(region.right, 3);
    EXPECT_EQ(region.bottom, 40);
}

TEST(EpiCountingTool, SavesSetsUnderValidNamesOnly)
{
    const fs::path root = MakeDataRoot("epi-save");
    EpiCellCountingAlgoParams params = EpiSceneParams();
    WriteFile(root / "LIB" / "Mine.epi_counting_params", "[EpiCellCountingAlgoDlg]\r\nExtra=1\r\n");
    std::string error;
    ASSERT_TRUE(SaveEpiParamSet("Mine", params, &error)) << error;
    EXPECT_FALSE(EpiParamsChanged(params));
    const std::string text = ReadFile(root / "LIB" / "Mine.epi_counting_params");
    EXPECT_EQ(text.find("Extra"), std::string::npos);  // the file holds only the set
    EXPECT_NE(text.find("MinSize=15"), std::string::npos);

    EXPECT_FALSE(SaveEpiParamSet("../x", params, &error));
    EXPECT_EQ(error, "EpiCountingAlgoDlg - Drop down box must have a valid file name: ../x");
    std::string path;
    EXPECT_FALSE(GetEpiParamSetPath(std::string(257, 'a'), &path, &error));
}

TEST(EpiCountingTool, RunsOnTheDocumentsImage)
{
    const fs::path root = MakeDataRoot("epi-run");
    const std::string image = (root / "exp_FL_1.png").string();
    ASSERT_TRUE(cv::imwrite(image, EpiScene()));
    CImageDoc document;
    document.SetPathName(image.c_str());
    EpiCellCountingAlgoParams params = EpiSceneParams();
    EpiRunResult result;
    std::string error;
    if (g_pActiveROI == nullptr) {
        EXPECT_FALSE(RunEpiCountingOnDocument(document, params, result, &error));
        EXPECT_EQ(error, "Must have a valid ROI");
    }
    AllocateActiveROI();

    // A background of another type is not used; a run with debug pixels
    // gives its overlay.
    cv::imwrite((root / "PH.bg.tif").string(), cv::Mat(300, 300, CV_16UC1, cv::Scalar(60000)));
    params.showFoundObjectPixels = true;
    ASSERT_TRUE(RunEpiCountingOnDocument(document, params, result, &error)) << error;
    EXPECT_EQ(result.detections.size(), EpiRings().size());
    ASSERT_FALSE(result.debugImage.empty());
    EXPECT_GT(cv::countNonZero(result.debugImage), 0);

    params.MinPixelCount = 1;  // refused by the record's checks
    EXPECT_FALSE(RunEpiCountingOnDocument(document, params, result, &error));
    EXPECT_EQ(error, "Min pixel count must be an integer between 10 and 1000\n");

    document.SetPathName((root / "missing.png").string().c_str());
    EXPECT_FALSE(RunEpiCountingOnDocument(document, EpiSceneParams(), result, &error));
    EXPECT_EQ(error, "Problem trying to open image: " + (root / "missing.png").string());
}
