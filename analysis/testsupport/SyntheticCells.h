#pragma once

// Synthetic 16-bit images of round cells for the counting tests and
// benchmarks: each cell is a bright ring (a Gaussian profile across it) on a
// noisy flat background, as cells look in a bright-field image.

#include <opencv2/core.hpp>

#include <cmath>
#include <cstdint>
#include <vector>

struct SyntheticCellImage {
    cv::Mat image;                    // CV_16UC1
    std::vector<cv::Point> centres;   // where the cells were put
};

struct SyntheticCellSpec {
    cv::Size size{320, 240};
    int cellCount = 10;
    double ringRadius = 10.0;   // pixels
    double ringWidth = 1.0;     // standard deviation across the ring, pixels
    double background = 8000.0;
    double ringHeight = 6000.0;  // added at the ring's crest
    double noise = 150.0;        // standard deviation of the background noise
    int margin = 40;             // no cell centre closer to an edge
    int minSpacing = 45;         // between cell centres
    uint64_t seed = 1;
};

inline SyntheticCellImage MakeSyntheticCellImage(const SyntheticCellSpec& spec)
{
    SyntheticCellImage out;
    cv::RNG rng(spec.seed);
    cv::Mat level(spec.size, CV_32FC1);
    rng.fill(level, cv::RNG::NORMAL, spec.background, spec.noise);

    const int tries = spec.cellCount * 200;
    for (int attempt = 0; attempt < tries && static_cast<int>(out.centres.size()) < spec.cellCount; ++attempt) {
        const cv::Point c(rng.uniform(spec.margin, spec.size.width - spec.margin),
                          rng.uniform(spec.margin, spec.size.height - spec.margin));
        bool free = true;
        for (const cv::Point& other : out.centres) {
            const cv::Point d = other - c;
            if (d.x * d.x + d.y * d.y < spec.minSpacing * spec.minSpacing) {
                free = false;
                break;
            }
        }
        if (free)
            out.centres.push_back(c);
    }

    const int reach = static_cast<int>(std::ceil(spec.ringRadius + 5 * spec.ringWidth));
    for (const cv::Point& c : out.centres) {
        for (int y = std::max(c.y - reach, 0); y <= std::min(c.y + reach, spec.size.height - 1); ++y) {
            float* row = level.ptr<float>(y);
            for (int x = std::max(c.x - reach, 0); x <= std::min(c.x + reach, spec.size.width - 1); ++x) {
                const double off = std::hypot(x - c.x, y - c.y) - spec.ringRadius;
                row[x] += static_cast<float>(spec.ringHeight *
                                             std::exp(-off * off / (2 * spec.ringWidth * spec.ringWidth)));
            }
        }
    }
    level.convertTo(out.image, CV_16UC1);  // rounds and saturates
    return out;
}
