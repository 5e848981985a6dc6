#pragma once

// The picture the virtual camera sees: a stretch of the cartridge's channel
// between two horizontal walls, lit by whichever LEDs are on, with the sample's
// cells and fronts in it, blurred by the stage's distance from focus, scaled by
// exposure and gain, with photon and read noise and saturation at the sample
// depth.
//
// Rendering is split so that live view stays cheap: the noiseless radiance of a
// view (geometry, lighting, sample, blur) is kept in a small cache, and a frame
// only scales it and adds noise drawn from a precomputed table.

#include <cstdint>
#include <list>
#include <mutex>
#include <vector>

#include <opencv2/core.hpp>

#include "sim/VirtualInstrument.h"

namespace sim {

// Everything that fixes the noiseless picture.
struct SceneView {
    int sensorWidth = 2448;
    int sensorHeight = 2048;
    // Read-out region, in sensor pixels.
    int left = 0;
    int top = 0;
    int width = 2448;
    int height = 2048;
    unsigned ledMask = 0;  // bit n: LED n (image type n) is lit
    double defocusMm = 0;  // stage focus position minus the best focus
    const SampleContent* sample = nullptr;
};

// How a frame is exposed and read out.
struct SceneExposure {
    double exposureUs = 10000;
    double gain = 1.0;
    int bits = 12;          // sample depth: 8, 10, 12 or 16
    uint64_t noiseKey = 0;  // picks the frame's noise; equal keys give equal frames
};

// Level of a 12-bit sample for one microsecond at gain 1 (radiance units).
struct SceneLevels {
    static constexpr double kBrightLiquid = 0.26;
    static constexpr double kBrightAir = 0.30;
    static constexpr double kBrightMeniscus = 0.08;
    static constexpr double kBrightWall = 0.05;
    static constexpr double kBrightOutside = 0.16;
    static constexpr double kCellInside = 0.22;
    static constexpr double kCellRing = 0.07;
    static constexpr double kCellHalo = 0.33;
    static constexpr double kFluorescentBackground = 0.003;
    static constexpr double kFluorescentCell = 0.40;
    static constexpr double kBlackLevel = 16;  // 12-bit levels, without light
    static constexpr double kReadNoise = 2.0;  // 12-bit levels
    static constexpr double kPhotonNoisePerLevel = 0.25;  // variance per 12-bit level
};

// Blur of the picture per millimetre of defocus, and its upper limit (pixels).
constexpr double kBlurPixelsPerMm = 30.0;
constexpr double kMaxBlurPixels = 25.0;

// Rows of the channel walls in a sensor of the given height.
struct ChannelGeometry {
    int upperWallTop, upperWallBottom;  // [top, bottom)
    int lowerWallTop, lowerWallBottom;
    static ChannelGeometry ForSensorHeight(int sensorHeight);
};

class SceneRenderer {
public:
    SceneRenderer();

    // Renders one frame of view.width x view.height samples, row by row, into
    // `out`. Thread-safe.
    void Render(const SceneView& view, const SceneExposure& exposure, uint16_t* out);

    // The noiseless radiance of a view (for tests and tools).
    cv::Mat Radiance(const SceneView& view);

private:
    struct CacheKey {
        int sensorWidth, sensorHeight, left, top, width, height;
        unsigned ledMask;
        int blurQuarterPixels;
        uint64_t sampleHash;
        bool operator==(const CacheKey&) const = default;
    };
    struct CacheEntry {
        CacheKey key;
        cv::Mat radiance;  // CV_32FC1
    };

    static CacheKey KeyOf(const SceneView& view);
    static void BuildRadiance(const SceneView& view, const CacheKey& key, cv::Mat& radiance);
    // Under m_mutex.
    const cv::Mat& CachedRadiance(const SceneView& view);

    std::mutex m_mutex;
    std::list<CacheEntry> m_cache;  // most recently used first
    std::vector<float> m_noise;     // standard normal values, with a row's worth of padding
};

}  // namespace sim
