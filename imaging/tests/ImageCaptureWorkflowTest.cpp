#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>

#include "app/ExperimentWorkflow.h"
#include "imaging/ImageCaptureWorkflow.h"
#include "imaging/tests/CaptureTestSupport.h"
#include "support/Profile.h"

namespace {

using capturetest::Fields;

class ImageCaptureWorkflowTest : public capturetest::VirtualCaptureTest {
protected:
    void SetUp() override {
        VirtualCaptureTest::SetUp();
        g_WorkflowEvent = std::make_unique<platform::Event>(true, false);
    }
    void TearDown() override {
        SetWorkflowHandOverReader(nullptr);
        theApp.m_bWorkflowRunning = false;
        g_WorkflowEvent.reset();
        VirtualCaptureTest::TearDown();
    }

    // Names the experiment Run3 in <root>/Data (no daily folder).
    std::filesystem::path StartExperiment(const std::string& types) {
        WriteSettings("DataDirectory=" + (root / "Data").string() + "\r\nCreateDailySubDirectory=FALSE\r\n" + types);
        CString error;
        EXPECT_TRUE(CreateNewExperiment("Run3", error)) << error.GetString();
        return root / "Data" / "20240315-0942-07_Run3";
    }
    std::vector<std::string> Images(const std::filesystem::path& experiment) {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(experiment / "Images")) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    // The log's rows: (file, IllumChan).
    std::vector<std::pair<std::string, std::string>> Rows(const std::filesystem::path& experiment) {
        std::vector<std::pair<std::string, std::string>> rows;
        bool body = false;
        for (const std::string& line : FlushedLog((experiment / "20240315-0942-07_Run3.log").string())) {
            if (body) rows.emplace_back(Fields(line)[0], Fields(line)[6]);
            body = body || line.rfind("ImageFile\t", 0) == 0;
        }
        return rows;
    }
};

const char* kTwoTypes =
    "IsActive1=TRUE\r\nImageTypeName1=BF\r\nImageTypeExposure1=20000\r\n"
    "IsActive2=TRUE\r\nImageTypeName2=GFP\r\nImageTypeExposure2=500000\r\n";

TEST_F(ImageCaptureWorkflowTest, PeriodValidationAgainstExposuresAndSaveTime) {
    struct Case {
        std::string keys;
        bool valid;
    };
    const Case cases[] = {
        {std::string(kTwoTypes) + "ImageCapturePeriod=1219\r\n", false},
        {std::string(kTwoTypes) + "ImageCapturePeriod=1220\r\n", true},
        {"IsActive1=FALSE\r\nImageCapturePeriod=0\r\n", true},
        {"IsActive1=TRUE\r\nImageTypeExposure1=100\r\n", false},  // a missing period counts as 0
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        WriteSettings(c.keys);
        CString error;
        EXPECT_EQ(RunImageCaptureWorkflowStep(-1, error, nullptr), c.valid);
    }
    WriteSettings(std::string(kTwoTypes) + "ImageCapturePeriod=1219\r\n");
    CString error;
    RunImageCaptureWorkflowStep(-1, error, nullptr);
    EXPECT_EQ(error.str(),
              "Image capture period, currently set to 1219 ms, must be at least 700 ms longer than the total expsoure "
              "time for the workflow which is 520 ms. Note: minimum save time per image is 350 ms.");
    EXPECT_EQ(Device().counters.grabs, 0) << "validation captures nothing";
}

TEST_F(ImageCaptureWorkflowTest, SeriesOfThreeStepsFilesEveryTypeInOrder) {
    const auto experiment = StartExperiment(kTwoTypes);
    theApp.m_bWorkflowRunning = true;
    CString logPath;
    for (int index = 0; index < 3; ++index) {
        CString error;
        ASSERT_TRUE(RunImageCaptureWorkflowStep(index, error, index == 1 ? &logPath : nullptr)) << error.GetString();
    }
    EXPECT_EQ(logPath.str(), (experiment / "20240315-0942-07_Run3.log").string());
    EXPECT_EQ(Images(experiment),
              (std::vector<std::string>{"20240315-0942-07_Run3_BF_0000.png", "20240315-0942-07_Run3_BF_0001.png",
                                        "20240315-0942-07_Run3_BF_0002.png", "20240315-0942-07_Run3_GFP_0000.png",
                                        "20240315-0942-07_Run3_GFP_0001.png", "20240315-0942-07_Run3_GFP_0002.png"}));
    const auto rows = Rows(experiment);
    ASSERT_EQ(rows.size(), 6u);
    for (int index = 0; index < 3; ++index) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "_%04d.png", index);
        EXPECT_EQ(rows[2 * index].first, std::string("20240315-0942-07_Run3_BF") + suffix);
        EXPECT_EQ(rows[2 * index].second, "0");
        EXPECT_EQ(rows[2 * index + 1].first, std::string("20240315-0942-07_Run3_GFP") + suffix);
        EXPECT_EQ(rows[2 * index + 1].second, "1");
    }
    // Only the images of index 1 are queued for their reference rendering.
    ASSERT_EQ(g_ReferenceImageRequests.size(), 2u);
    for (const auto& request : g_ReferenceImageRequests) {
        EXPECT_NE(std::string(request.c_str()).find("_0001.png"), std::string::npos);
    }
    EXPECT_EQ(Device().counters.grabs, 6);
    EXPECT_FALSE(AnyLedLit());
}

TEST_F(ImageCaptureWorkflowTest, TypeThreeOnlyWhileTheSeriesRuns) {
    std::string keys;
    for (int n = 1; n <= 4; ++n) {
        keys += "IsActive" + std::to_string(n) + "=TRUE\r\nImageTypeName" + std::to_string(n) + "=T" +
                std::to_string(n) + "\r\nImageTypeExposure" + std::to_string(n) + "=1000\r\n";
    }
    const auto experiment = StartExperiment(keys);
    theApp.m_bWorkflowRunning = false;
    CString error;
    ASSERT_TRUE(RunImageCaptureWorkflowStep(0, error, nullptr)) << error.GetString();
    EXPECT_EQ(Images(experiment),
              (std::vector<std::string>{"20240315-0942-07_Run3_T1_0000.png", "20240315-0942-07_Run3_T2_0000.png",
                                        "20240315-0942-07_Run3_T4_0000.png"}));
    theApp.m_bWorkflowRunning = true;
    ASSERT_TRUE(RunImageCaptureWorkflowStep(1, error, nullptr)) << error.GetString();
    EXPECT_TRUE(std::filesystem::exists(experiment / "Images" / "20240315-0942-07_Run3_T3_0001.png"));

    // No active type: nothing is captured and the step passes.
    WriteSettings("");
    EXPECT_TRUE(RunImageCaptureWorkflowStep(2, error, nullptr));
    EXPECT_EQ(Device().counters.grabs, 7);
}

TEST_F(ImageCaptureWorkflowTest, FailedTypeEndsTheStepAndTheThreadReportsIt) {
    const auto experiment =
        StartExperiment(std::string(kTwoTypes) + "IsActive4=TRUE\r\nImageTypeName4=Cy5\r\nImageTypeExposure4=100\r\n");
    // Type 2's exposure is beyond what the camera takes.
    Tovanix::E_WritePrivateProfileString("ExperimentSettings", "ImageTypeExposure2", "5", g_IniPath);
    int reinitializations = 0;
    SetCameraReInitializer([&] {
        ++reinitializations;
        return true;
    });
    theApp.m_bWorkflowRunning = true;
    int index = 5;
    SetWorkflowHandOverReader([&index] {
        WorkflowHandOver handOver;
        handOver.captureIndex = index;
        return handOver;
    });
    g_WorkflowEvent->Set();
    ASSERT_TRUE(ServeWorkflowHandOver());
    EXPECT_FALSE(g_WorkflowEvent->IsSet());
    EXPECT_EQ(Images(experiment), std::vector<std::string>{"20240315-0942-07_Run3_BF_0005.png"});
    EXPECT_EQ(reinitializations, 1);
    ASSERT_EQ(ui.ShownBoxes().size(), 1u);
    const std::string message = ui.ShownBoxes()[0].text;
    EXPECT_FALSE(message.empty());
    size_t logged = 0;
    for (size_t at = LogText().find(message); at != std::string::npos; at = LogText().find(message, at + 1)) {
        ++logged;
    }
    EXPECT_GE(logged, 2u);
    EXPECT_FALSE(AnyLedLit());

    // The next step tries every type again.
    Tovanix::E_WritePrivateProfileString("ExperimentSettings", "ImageTypeExposure2", "500", g_IniPath);
    index = 6;
    g_WorkflowEvent->Set();
    ASSERT_TRUE(ServeWorkflowHandOver());
    EXPECT_EQ(Images(experiment).size(), 4u);
    EXPECT_EQ(ui.ShownBoxes().size(), 1u);
}

TEST_F(ImageCaptureWorkflowTest, ThreadHandsTheLogPathOfIndexOne) {
    const auto experiment = StartExperiment(kTwoTypes);
    CString kept;
    SetWorkflowHandOverReader([&kept] {
        WorkflowHandOver handOver;
        handOver.captureIndex = 1;
        handOver.logPathSink = [&kept](const CString& path) { kept = path; };
        return handOver;
    });
    g_WorkflowEvent->Set();
    ASSERT_TRUE(ServeWorkflowHandOver());
    EXPECT_EQ(kept.str(), (experiment / "20240315-0942-07_Run3.log").string());
}

TEST_F(ImageCaptureWorkflowTest, WithoutAReaderTheMainWindowSeriesKeepsTheLogPath) {
    struct IdleTimer : WorkflowTimer {
        void SetTimer(uint32_t) override {}
        void KillTimer() override {}
    } timer;
    ExperimentWorkflow series(timer);
    SetMainWindowWorkflow(&series);
    const auto experiment = StartExperiment(kTwoTypes);
    theApp.m_nWorkflowCaptureIndex = 1;
    g_WorkflowEvent->Set();
    ASSERT_TRUE(ServeWorkflowHandOver());
    SetMainWindowWorkflow(nullptr);
    theApp.m_nWorkflowCaptureIndex = 0;
    EXPECT_EQ(series.m_strImageCaptureLogPath.Get().str(), (experiment / "20240315-0942-07_Run3.log").string());
}

TEST_F(ImageCaptureWorkflowTest, CaptureActiveImagesToMemoryOrAsManualCaptures) {
    WriteSettings("IsActive2=TRUE\r\nImageTypeName2=GFP\r\nImageTypeExposure2=1000\r\n"
                  "IsActive4=TRUE\r\nImageTypeName4=Cy5\r\nImageTypeExposure4=1000\r\n");
    cv::Mat untouched;
    cv::Mat* images[4] = {&untouched, nullptr, &untouched, nullptr};
    CString error;
    ASSERT_TRUE(CaptureActiveImages(error, nullptr, images)) << error.GetString();
    EXPECT_EQ(images[0], &untouched);
    EXPECT_EQ(images[2], &untouched);
    ASSERT_NE(images[1], nullptr);
    ASSERT_NE(images[3], nullptr);
    EXPECT_EQ(images[1]->type(), CV_16UC1);
    delete images[1];
    delete images[3];

    // With type 1 the capture opens an experiment of its own and files
    // every type into it without an index.
    WriteSettings("DataDirectory=" + (root / "Data").string() +
                  "\r\nCreateDailySubDirectory=FALSE\r\nIsActive1=TRUE\r\nImageTypeName1=BF\r\nImageTypeExposure1=100"
                  "\r\nIsActive3=TRUE\r\nImageTypeName3=GFP\r\nImageTypeExposure3=1000\r\n");
    ASSERT_TRUE(CaptureActiveImages(error, nullptr, nullptr)) << error.GetString();
    const auto manual = root / "Data" / "20240315-0942-07_Manual_Image_Capture";
    EXPECT_EQ(Images(manual),
              (std::vector<std::string>{"ManualCapture.20240315-0942-07_Manual_Image_Capture_BF.png",
                                        "ManualCapture.20240315-0942-07_Manual_Image_Capture_GFP.png"}));
    EXPECT_STREQ(theApp.m_strCartridgeTypeCode.c_str(), "410-001-0001");
    EXPECT_TRUE(g_ReferenceImageRequests.empty());
}

TEST_F(ImageCaptureWorkflowTest, CaptureByNameChecksEveryTypeNameFirst) {
    WriteSettings("ImageTypeName1=a/b\r\nImageTypeName3=GFP\r\nImageTypeExposure3=1000\r\n");
    CString error;
    EXPECT_FALSE(CaptureActiveImages(error, "gfp", nullptr));
    EXPECT_EQ(error.str(), "CaptureSingleImge() - ImageTypeName1 is invalid, must have only valid Windows file name "
                           "characters. Open the Experiment Settings dialog.");
    EXPECT_EQ(Device().counters.grabs, 0);

    WriteSettings("ImageTypeName1=BF\r\nImageTypeName3=GFP\r\nImageTypeExposure3=1000\r\n");
    cv::Mat* images[4] = {};
    ASSERT_TRUE(CaptureActiveImages(error, "gfp", images)) << error.GetString();
    EXPECT_EQ(images[0], nullptr) << "only the named type, active or not";
    ASSERT_NE(images[2], nullptr);
    delete images[2];
}

}  // namespace
