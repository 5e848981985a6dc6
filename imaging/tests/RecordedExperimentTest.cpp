// A short experiment recorded end to end on the virtual instrument: the
// pumps (behind their serial line) push a sample plug through the channel
// while the workflow captures bright field and fluorescence at every step,
// so the folder holds what an analysis of a real run would find.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>

#include "devices/TecanCentris.h"
#include "imaging/ImageCaptureWorkflow.h"
#include "imaging/tests/CaptureTestSupport.h"
#include "imaging/tests/RecordedExperimentFixture.h"
#include "sim/CameraScene.h"
#include "sim/PumpSimulator.h"
#include "sim/SampleFlow.h"
#include "support/SerialPort.h"

namespace {

using capturetest::Fields;

using recordedtest::kPumpPort;

// The plug is pushed in steps here: each move finishes at once.
class RecordedExperimentTest : public recordedtest::RecordedExperimentFixture {};

// Mean of a bright-field frame's channel middle row around a column.
double ChannelLevel(const cv::Mat& frame, int column) {
    const auto walls = sim::ChannelGeometry::ForSensorHeight(frame.rows);
    const int row = (walls.upperWallBottom + walls.lowerWallTop) / 2 + 40;
    const cv::Rect patch(std::clamp(column - 2, 0, frame.cols - 5), row - 2, 5, 5);
    return cv::mean(frame(patch))[0];
}

TEST_F(RecordedExperimentTest, PumpedPlugCrossesTheFieldFrameByFrame) {
    WriteSettings("DataDirectory=" + (root / "Data").string() +
                  "\r\nCreateDailySubDirectory=FALSE\r\n"
                  "IsActive1=TRUE\r\nImageTypeName1=BF\r\nImageTypeExposure1=2000\r\n"
                  "IsActive2=TRUE\r\nImageTypeName2=GFP\r\nImageTypeExposure2=200000\r\n");
    CString error;
    ASSERT_TRUE(CreateNewExperiment("SampleFlow", error)) << error.GetString();
    const auto experiment = root / "Data" / "20240315-0942-07_SampleFlow";

    sim::SamplePlug plug;
    plug.seed = 7;
    plug.inletColumn = -50;
    plug.pixelsPerUl = 60;
    plug.volumeUl = 30;
    plug.cellsPerUl = 3;  // sparse, so the liquid's own level shows between them
    sim::SampleFlow::Instance().Load(plug);

    Tovanix::String pumpError;
    for (int pump = 1; pump <= 2; ++pump) {
        ASSERT_TRUE(TecanCentris::SetValveOutput(kPumpPort, pump, &pumpError)) << pumpError.c_str();
        ASSERT_TRUE(TecanCentris::SetTopSpeed(kPumpPort, pump, 600, &pumpError)) << pumpError.c_str();
    }
    theApp.m_bWorkflowRunning = true;
    constexpr int kSteps = 6;
    for (int index = 0; index < kSteps; ++index) {
        // Pump 1 pushes 6 ul and pump 2 4 ul per step: the plug moves 600
        // pixels and pump 1's stream fills 60 % of the channel.
        ASSERT_TRUE(TecanCentris::Dispense_ul(kPumpPort, 1, 6, &pumpError)) << pumpError.c_str();
        ASSERT_TRUE(TecanCentris::Dispense_ul(kPumpPort, 2, 4, &pumpError)) << pumpError.c_str();
        ASSERT_TRUE(RunImageCaptureWorkflowStep(index, error, nullptr)) << error.GetString();
        clock.Advance(std::chrono::milliseconds(2000));
    }

    // Every step's frames are on disk, and the log rows carry the pumps.
    bool body = false;
    std::vector<std::vector<std::string>> rows;
    for (const std::string& line : FlushedLog((experiment / "20240315-0942-07_SampleFlow.log").string())) {
        if (body) rows.push_back(Fields(line));
        body = body || line.rfind("ImageFile\t", 0) == 0;
    }
    ASSERT_EQ(rows.size(), 2u * kSteps);
    for (int index = 0; index < kSteps; ++index) {
        const auto& row = rows[2 * index];
        ASSERT_EQ(row.size(), 14u);
        EXPECT_EQ(row[7], "O");
        EXPECT_EQ(row[8], "O");
        EXPECT_EQ(row[9], "0.00") << "the pump has stopped when the frame is filed";
        EXPECT_NEAR(std::stod(row[11]), 625 - 6.0 * (index + 1), 0.1);
        EXPECT_NEAR(std::stod(row[12]), 625 - 4.0 * (index + 1), 0.1);
        EXPECT_EQ(row[13], "0");
    }

    // The bright-field frames show the lead meniscus arriving and the trail
    // leaving: liquid behind the lead, air ahead of it and behind the trail.
    const double expectedRatio = sim::SceneLevels::kBrightAir / sim::SceneLevels::kBrightLiquid;
    int framesWithBoth = 0;
    for (int index = 0; index < kSteps; ++index) {
        char name[96];
        std::snprintf(name, sizeof name, "20240315-0942-07_SampleFlow_BF_%04d.png", index);
        const cv::Mat frame = cv::imread((experiment / "Images" / name).string(), cv::IMREAD_ANYDEPTH);
        ASSERT_EQ(frame.type(), CV_16UC1) << name;
        const double lead = -50 + 600.0 * (index + 1);
        const double trail = lead - 30 * 60;
        double wet = 0, dry = 0;
        int wetCount = 0, dryCount = 0;
        for (int column = 60; column < frame.cols - 60; column += 100) {
            // The camera delivers its frames mirrored left to right.
            const int sensorColumn = frame.cols - 1 - column;
            if (std::abs(sensorColumn - lead) < 40 || std::abs(sensorColumn - trail) < 40) continue;
            if (sensorColumn < lead && sensorColumn > trail) {
                wet += ChannelLevel(frame, column);
                ++wetCount;
            } else {
                dry += ChannelLevel(frame, column);
                ++dryCount;
            }
        }
        if (wetCount == 0 || dryCount == 0) continue;
        ++framesWithBoth;
        EXPECT_NEAR((dry / dryCount) / (wet / wetCount), expectedRatio, 0.05) << name;
    }
    EXPECT_GE(framesWithBoth, 4) << "the plug is seen entering and leaving";

    // Cells light up under their own LED in the fluorescence frames of the
    // steps where the plug is in view.
    const cv::Mat gfp =
        cv::imread((experiment / "Images" / "20240315-0942-07_SampleFlow_GFP_0002.png").string(), cv::IMREAD_ANYDEPTH);
    double lowest = 0;
    double highest = 0;
    cv::minMaxLoc(gfp, &lowest, &highest);
    EXPECT_GT(highest, 4 * cv::mean(gfp)[0]);
}

}  // namespace
