#include "sim/CameraScene.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <random>

#include <opencv2/imgproc.hpp>

namespace sim {

namespace {

constexpr size_t kNoiseTableSize = size_t{1} << 20;  // power of two
constexpr size_t kNoisePadding = 8192;              // wider than any row
constexpr size_t kCacheEntries = 6;                 // four image types and some slack

uint64_t SplitMix64(uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

uint64_t HashDouble(uint64_t h, double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return SplitMix64(h ^ bits);
}

uint64_t HashSample(const SampleContent* sample) {
    if (!sample) return 0;
    uint64_t h = SplitMix64(sample->cells.size());
    for (const auto& cell : sample->cells) {
        h = HashDouble(h, cell.x);
        h = HashDouble(h, cell.y);
        h = HashDouble(h, cell.radius);
        h = SplitMix64(h ^ static_cast<uint64_t>(cell.fluorescentType + 7));
    }
    h = HashDouble(h, sample->meniscusColumn);
    h = SplitMix64(h ^ (sample->plug ? 0x5Au : 0xA5u));
    h = HashDouble(h, sample->leadMeniscusColumn);
    h = HashDouble(h, sample->trailMeniscusColumn);
    return HashDouble(h, sample->splitLineRow);
}

// Adds `value` to the radiance of the rows [top, bottom) of the view, clipped.
void FillRows(cv::Mat& radiance, int top, int bottom, float value) {
    top = std::max(top, 0);
    bottom = std::min(bottom, radiance.rows);
    if (top < bottom) radiance.rowRange(top, bottom).setTo(value);
}

// Calls shade(pixel, distance) for the pixels of the view within `reach` of
// (cx, cy), clipped to the view.
template <class Shade>
void ShadeAround(cv::Mat& r, double cx, double cy, double reach, Shade shade) {
    const int x0 = std::max(0, static_cast<int>(std::floor(cx - reach)));
    const int x1 = std::min(r.cols - 1, static_cast<int>(std::ceil(cx + reach)));
    const int y0 = std::max(0, static_cast<int>(std::floor(cy - reach)));
    const int y1 = std::min(r.rows - 1, static_cast<int>(std::ceil(cy + reach)));
    for (int y = y0; y <= y1; ++y) {
        float* row = r.ptr<float>(y);
        for (int x = x0; x <= x1; ++x) shade(row[x], std::hypot(x - cx, y - cy));
    }
}

void DrawBrightField(cv::Mat& r, const SceneView& view) {
    const ChannelGeometry g = ChannelGeometry::ForSensorHeight(view.sensorHeight);
    const int dy = view.top;
    r.setTo(static_cast<float>(SceneLevels::kBrightOutside));
    FillRows(r, g.upperWallTop - dy, g.upperWallBottom - dy, SceneLevels::kBrightWall);
    FillRows(r, g.lowerWallTop - dy, g.lowerWallBottom - dy, SceneLevels::kBrightWall);
    FillRows(r, g.upperWallBottom - dy, g.lowerWallTop - dy, SceneLevels::kBrightLiquid);

    const SampleContent* sample = view.sample;
    if (!sample) return;
    const int channelTop = std::max(g.upperWallBottom - dy, 0);
    const int channelBottom = std::min(g.lowerWallTop - dy, r.rows);
    // Columns of the view that hold liquid: all, or the plug's stretch.
    int liquidFrom = 0;
    int liquidTo = r.cols;
    if (sample->plug) {
        const double lead = sample->leadMeniscusColumn - view.left;
        const double trail = sample->trailMeniscusColumn - view.left;
        liquidFrom = std::clamp(static_cast<int>(std::ceil(trail + 6)), 0, r.cols);
        liquidTo = std::clamp(static_cast<int>(std::floor(lead - 6)), 0, r.cols);
        for (int y = channelTop; y < channelBottom; ++y) {
            float* row = r.ptr<float>(y);
            for (int x = 0; x < r.cols; ++x) {
                if (std::abs(x - lead) <= 6 || std::abs(x - trail) <= 6) {
                    row[x] = static_cast<float>(SceneLevels::kBrightMeniscus);
                } else if (x > lead || x < trail) {
                    row[x] = static_cast<float>(SceneLevels::kBrightAir);
                }
            }
        }
    } else if (sample->meniscusColumn >= 0) {
        // Air behind the front, with the front itself as a dark band.
        const double front = sample->meniscusColumn - view.left;
        for (int y = channelTop; y < channelBottom; ++y) {
            float* row = r.ptr<float>(y);
            for (int x = std::max(0, static_cast<int>(std::floor(front - 6))); x < r.cols; ++x) {
                row[x] = static_cast<float>(std::abs(x - front) <= 6 ? SceneLevels::kBrightMeniscus
                                                                       : SceneLevels::kBrightAir);
            }
        }
    }
    if (sample->splitLineRow >= 0) {
        const int line = static_cast<int>(std::lround(sample->splitLineRow)) - dy;
        for (int y = std::max(line - 1, channelTop); y <= std::min(line + 1, channelBottom - 1); ++y) {
            if (liquidFrom < liquidTo) r.row(y).colRange(liquidFrom, liquidTo) *= 0.85;
        }
    }
    for (const auto& cell : sample->cells) {
        const double rad = cell.radius;
        ShadeAround(r, cell.x - view.left, cell.y - dy, rad + 3, [rad](float& pixel, double d) {
            if (d < rad - 2) {
                pixel = static_cast<float>(SceneLevels::kCellInside);
            } else if (d < rad) {
                pixel = static_cast<float>(SceneLevels::kCellRing);
            } else if (d < rad + 2) {
                pixel = static_cast<float>(SceneLevels::kCellHalo);
            }
        });
    }
}

// Adds the glow of the cells of one fluorescent type.
void AddFluorescence(cv::Mat& r, const SceneView& view, int type) {
    if (!view.sample) return;
    for (const auto& cell : view.sample->cells) {
        if (cell.fluorescentType != type) continue;
        const double rad = cell.radius;
        ShadeAround(r, cell.x - view.left, cell.y - view.top, rad + 1, [rad](float& pixel, double d) {
            // A soft edge one pixel wide.
            pixel += static_cast<float>(SceneLevels::kFluorescentCell * std::clamp(rad + 0.5 - d, 0.0, 1.0));
        });
    }
}

}  // namespace

ChannelGeometry ChannelGeometry::ForSensorHeight(int sensorHeight) {
    const int wall = std::max(2, sensorHeight / 50);
    ChannelGeometry g;
    g.upperWallTop = sensorHeight * 3 / 10;
    g.upperWallBottom = g.upperWallTop + wall;
    g.lowerWallBottom = sensorHeight * 7 / 10;
    g.lowerWallTop = g.lowerWallBottom - wall;
    return g;
}

SceneRenderer::SceneRenderer() : m_noise(kNoiseTableSize + kNoisePadding) {
    // The table is the same in every process: a frame depends only on its
    // noise key.
    std::mt19937_64 engine(0x5EEDCAFEull);
    std::normal_distribution<float> normal(0.0f, 1.0f);
    for (float& value : m_noise) value = normal(engine);
}

SceneRenderer::CacheKey SceneRenderer::KeyOf(const SceneView& view) {
    const double blur = std::min(kMaxBlurPixels, std::abs(view.defocusMm) * kBlurPixelsPerMm);
    return CacheKey{view.sensorWidth, view.sensorHeight, view.left, view.top, view.width, view.height,
                    view.ledMask & 0x0Fu, static_cast<int>(std::lround(blur * 4)), HashSample(view.sample)};
}

void SceneRenderer::BuildRadiance(const SceneView& view, const CacheKey& key, cv::Mat& radiance) {
    // Reuses the memory of an evicted picture: fresh 20 MB buffers cost more
    // in page faults than the drawing itself.
    radiance.create(std::max(view.height, 0), std::max(view.width, 0), CV_32FC1);
    radiance.setTo(0);
    if (radiance.empty()) return;
    if (key.ledMask & 1u) {
        DrawBrightField(radiance, view);
        AddFluorescence(radiance, view, 0);
    }
    for (int type = 1; type < 4; ++type) {
        if (!(key.ledMask & (1u << type))) continue;
        radiance += SceneLevels::kFluorescentBackground;
        AddFluorescence(radiance, view, type);
    }
    const double sigma = key.blurQuarterPixels / 4.0;
    if (sigma >= 2.0) {
        // Wide blurs run on a smaller picture: a focus sweep rebuilds the
        // picture at every step.
        const int factor = std::min(8, static_cast<int>(sigma));
        cv::Mat small;
        cv::resize(radiance, small, cv::Size(std::max(1, radiance.cols / factor), std::max(1, radiance.rows / factor)), 0,
                   0, cv::INTER_AREA);
        const double rest = std::sqrt(std::max(0.25, sigma * sigma - factor * factor / 4.0)) / factor;
        cv::GaussianBlur(small, small, cv::Size(0, 0), rest, rest, cv::BORDER_REFLECT);
        cv::resize(small, radiance, radiance.size(), 0, 0, cv::INTER_LINEAR);
    } else if (sigma >= 0.3) {
        cv::GaussianBlur(radiance, radiance, cv::Size(0, 0), sigma, sigma, cv::BORDER_REFLECT);
    }
}

const cv::Mat& SceneRenderer::CachedRadiance(const SceneView& view) {
    const CacheKey key = KeyOf(view);
    for (auto it = m_cache.begin(); it != m_cache.end(); ++it) {
        if (it->key == key) {
            m_cache.splice(m_cache.begin(), m_cache, it);
            return m_cache.front().radiance;
        }
    }
    if (m_cache.size() < kCacheEntries) {
        m_cache.push_front(CacheEntry{key, cv::Mat()});
    } else {
        m_cache.splice(m_cache.begin(), m_cache, std::prev(m_cache.end()));
        m_cache.front().key = key;
    }
    BuildRadiance(view, key, m_cache.front().radiance);
    return m_cache.front().radiance;
}

cv::Mat SceneRenderer::Radiance(const SceneView& view) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return CachedRadiance(view).clone();
}

void SceneRenderer::Render(const SceneView& view, const SceneExposure& exposure, uint16_t* out) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const cv::Mat& radiance = CachedRadiance(view);
    const int bits = std::clamp(exposure.bits, 8, 16);
    const float scale = std::ldexp(1.0f, bits - 12);
    const float maxValue = static_cast<float>((1u << bits) - 1u);
    const float signalPerRadiance = static_cast<float>(std::max(0.0, exposure.exposureUs * exposure.gain));
    const float black = static_cast<float>(SceneLevels::kBlackLevel);
    const float photon = static_cast<float>(SceneLevels::kPhotonNoisePerLevel);
    const float read2 = static_cast<float>(SceneLevels::kReadNoise * SceneLevels::kReadNoise);
    const size_t width = static_cast<size_t>(radiance.cols);

    for (int y = 0; y < radiance.rows; ++y) {
        const float* in = radiance.ptr<float>(y);
        uint16_t* row = out + static_cast<size_t>(y) * width;
        // Rows wider than the table's padding take fresh noise per stretch.
        for (size_t start = 0; start < width; start += kNoisePadding) {
            const size_t end = std::min(width, start + kNoisePadding);
            const uint64_t stretch = static_cast<uint64_t>(y) * 64 + start / kNoisePadding;
            const float* noise = m_noise.data() +
                                 (SplitMix64(exposure.noiseKey * 0x100000001B3ull + stretch) & (kNoiseTableSize - 1));
            const float* src = in + start;
            uint16_t* dst = row + start;
            const size_t count = end - start;
            for (size_t x = 0; x < count; ++x) {
                const float signal = src[x] * signalPerRadiance;
                const float sigma = std::sqrt(signal * photon + read2);
                float v = (signal + black + sigma * noise[x]) * scale + 0.5f;
                v = std::min(std::max(v, 0.0f), maxValue);
                dst[x] = static_cast<uint16_t>(v);
            }
        }
    }
}

}  // namespace sim
