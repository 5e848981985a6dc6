#include "sim/VirtualCamera.h"

#include <gtest/gtest.h>

#include <numeric>

#include <opencv2/core.hpp>

#include "sim/VirtualInstrument.h"

namespace sim {
namespace {

class VirtualCameraTest : public ::testing::Test {
protected:
    void SetUp() override {
        VirtualCamera::Instance().Reset();
        auto lock = VirtualInstrument::Instance().Lock();
        InstrumentState& state = VirtualInstrument::Instance().State();
        state = InstrumentState{};
        // One plain cell and one that glows under LED 2, both in the channel.
        state.sample.cells = {{600, 1000, 12, -1}, {1800, 1000, 12, 2}};
        state.stageFocusMm = state.focusBestMm;
    }

    static void SetLeds(unsigned mask) {
        auto lock = VirtualInstrument::Instance().Lock();
        for (int led = 0; led < 4; ++led) {
            VirtualInstrument::Instance().State().digitalLines[static_cast<size_t>(led + 3)] = (mask >> led) & 1u;
        }
    }
    static void SetParameters(double exposureUs, int bits) {
        auto lock = VirtualCamera::Instance().Lock();
        VirtualCamera::Instance().State().parameters.exposureUs = exposureUs;
        VirtualCamera::Instance().State().parameters.pixelBits = bits;
    }
    static cv::Mat Grab() {
        std::vector<uint16_t> samples;
        int width = 0, height = 0, bits = 0;
        VirtualCamera::Instance().RenderFrame(&samples, &width, &height, &bits);
        return cv::Mat(height, width, CV_16UC1, samples.data()).clone();
    }
    static double MeanAround(const cv::Mat& frame, int x, int y, int half) {
        return cv::mean(frame(cv::Rect(x - half, y - half, 2 * half + 1, 2 * half + 1)))[0];
    }
};

TEST_F(VirtualCameraTest, FrameMeanGrowsWithExposureAndSaturatesAtTheSampleDepth) {
    SetLeds(1);
    double previous = 0;
    for (double exposure : {500.0, 2000.0, 8000.0}) {
        SetParameters(exposure, 12);
        const double mean = cv::mean(Grab())[0];
        EXPECT_GT(mean, previous * 1.5) << "exposure " << exposure;
        previous = mean;
    }
    // Far too long an exposure: the liquid saturates at 4095 (12 bits) or 255 (8 bits).
    for (int bits : {12, 8}) {
        SetParameters(1e6, bits);
        const cv::Mat frame = Grab();
        double maxValue = 0;
        cv::minMaxLoc(frame, nullptr, &maxValue);
        EXPECT_EQ(maxValue, (1 << bits) - 1);
        EXPECT_EQ(frame.at<uint16_t>(1000, 1200), (1 << bits) - 1);
    }
}

TEST_F(VirtualCameraTest, FluorescentCellIsBrightOnlyUnderItsLed) {
    SetParameters(5000, 12);
    struct Case {
        unsigned leds;
        bool glowing;
    };
    for (const Case& c : {Case{0, false}, Case{1u << 1, false}, Case{1u << 2, true}, Case{1u << 3, false}}) {
        SetLeds(c.leds);
        const cv::Mat frame = Grab();
        const double cell = MeanAround(frame, 1800, 1000, 4);
        const double background = MeanAround(frame, 1200, 1000, 4);
        if (c.glowing) {
            EXPECT_GT(cell, background + 1000) << "LED mask " << c.leds;
        } else {
            EXPECT_LT(cell, background + 50) << "LED mask " << c.leds;
        }
        // The plain cell never glows.
        EXPECT_LT(MeanAround(frame, 600, 1000, 4), background + 50) << "LED mask " << c.leds;
    }
}

TEST_F(VirtualCameraTest, SameSeedGivesTheSameFrameAndNewFramesNewNoise) {
    SetLeds(1);
    SetParameters(4000, 12);
    const cv::Mat first = Grab();
    const cv::Mat second = Grab();
    EXPECT_GT(cv::norm(first, second, cv::NORM_L1), 0.0) << "consecutive frames carry fresh noise";

    {
        auto lock = VirtualInstrument::Instance().Lock();
        VirtualInstrument::Instance().State().seed = 99;
    }
    const cv::Mat seeded = Grab();
    {
        auto lock = VirtualInstrument::Instance().Lock();
        VirtualInstrument::Instance().State().seed = 1;
    }
    EXPECT_EQ(cv::norm(Grab(), first, cv::NORM_L1), 0.0) << "seed 1 again restarts its sequence";
    EXPECT_GT(cv::norm(seeded, first, cv::NORM_L1), 0.0);
}

TEST_F(VirtualCameraTest, BrightFieldShowsWallsAndCellRingsThatBlurOutOfFocus) {
    SetLeds(1);
    SetParameters(8000, 12);
    const ChannelGeometry geometry = ChannelGeometry::ForSensorHeight(2048);
    cv::Mat frame = Grab();
    const double wall = MeanAround(frame, 1200, (geometry.upperWallTop + geometry.upperWallBottom) / 2, 5);
    const double liquid = MeanAround(frame, 1200, 1000, 5);
    EXPECT_LT(wall, liquid / 2);

    // Ring (dark) against halo (bright) of the plain cell, sharp then defocused.
    auto ringContrast = [](const cv::Mat& f) {
        return f.at<uint16_t>(1000, 600 + 13) - static_cast<double>(f.at<uint16_t>(1000, 600 + 11));
    };
    const double sharp = ringContrast(frame);
    {
        auto lock = VirtualInstrument::Instance().Lock();
        VirtualInstrument::Instance().State().stageFocusMm += 0.2;
    }
    frame = Grab();
    EXPECT_GT(sharp, 400);
    EXPECT_LT(ringContrast(frame), sharp / 4);
}

TEST_F(VirtualCameraTest, ReadOutRegionAndDecimationSetTheFrameSize) {
    {
        auto lock = VirtualCamera::Instance().Lock();
        auto& p = VirtualCamera::Instance().State().parameters;
        p.left = 100;
        p.top = 40;
        p.width = 640;
        p.height = 480;
        p.decimation = 2;
    }
    std::vector<uint16_t> samples;
    int width = 0, height = 0, bits = 0;
    VirtualCamera::Instance().RenderFrame(&samples, &width, &height, &bits);
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 240);
    EXPECT_EQ(samples.size(), 320u * 240u);
}

}  // namespace
}  // namespace sim
