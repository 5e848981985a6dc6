#include "imaging/ChannelMagnetLineSearch.h"

#include <algorithm>
#include <cstdio>

#include "analysis/Rounding.h"
#include "app/VelloraApp.h"
#include "support/Profile.h"

namespace {

constexpr int kNeighbourReach = 5;

double ReadParam(const char* key, double defaultValue) {
    char text[32] = {};
    double value = 0.0;
    if (Tovanix::E_GetPrivateProfileString("ChannelAndMagnetLineAlgoParams", key, "", text, sizeof text, g_IniPath) &&
        std::sscanf(text, "%lf", &value) == 1) {
        return value;
    }
    return defaultValue;
}

// A local minimum compares with the rows 1 and 5 away on both sides; a row
// whose neighbours fall outside the profile is not one.
bool IsLocalMinimum(const std::vector<int32_t>& p, int i) {
    const int n = static_cast<int>(p.size());
    if (i - kNeighbourReach < 0 || i + kNeighbourReach > n - 1) return false;
    return p[i] < p[i + 1] && p[i] <= p[i - 1] && p[i] < p[i + kNeighbourReach] && p[i] < p[i - kNeighbourReach];
}

// The deepest local minimum of rows first..last (the first of equals), or -1.
int DeepestMinimum(const std::vector<int32_t>& p, int first, int last) {
    int best = -1;
    for (int i = std::max(first, 0); i <= last && i < static_cast<int>(p.size()); ++i) {
        if (IsLocalMinimum(p, i) && (best < 0 || p[i] < p[best])) best = i;
    }
    return best;
}

int32_t MaxOfRangeAndZero(const std::vector<int32_t>& p, int first, int endExclusive) {
    int32_t highest = 0;
    for (int i = std::max(first, 0); i < endExclusive && i < static_cast<int>(p.size()); ++i)
        highest = std::max(highest, p[i]);
    return highest;
}

}  // namespace

ChannelMagnetLineParams ReadChannelMagnetLineParams() {
    ChannelMagnetLineParams params;
    params.channel_relative_intensity_pct =
        ReadParam("channel_relative_intensity_pct", params.channel_relative_intensity_pct);
    params.magnet_high_intensity_pct = ReadParam("magnet_high_intensity_pct", params.magnet_high_intensity_pct);
    params.magnet_threshold_intensity_fraction =
        ReadParam("magnet_threshold_intensity_fraction", params.magnet_threshold_intensity_fraction);
    return params;
}

bool FindChannelAndMagnetLines(const std::vector<int32_t>& p, const ChannelMagnetLineParams& params,
                               ChannelMagnetLines& lines, CString& error) {
    const int n = static_cast<int>(p.size());

    // The channel walls: the deepest minima of their windows.
    int u = DeepestMinimum(p, 100, 700);
    if (u < 0) {
        error = "Could not find upper channel line.";
        return false;
    }
    const int32_t wu = p[u];
    int g = DeepestMinimum(p, u + 1000, std::min(u + 1375, n - 1));
    if (g < 0) {
        error = "Could not find lower channel line.";
        return false;
    }
    const int32_t wg = p[g];

    // First estimates of the magnets: the nearest rows beyond the walls that
    // are as dark as the wall, with their neighbours.
    int m = -1;
    for (int row = u - 10; row >= 0; --row) {
        if (p[row] <= wu && (row < 1 || p[row - 1] <= wu) && (row < 5 || p[row - 5] <= wu)) {
            m = row;
            break;
        }
    }
    if (m < 0) {
        error = "Could not find the upper magnet line";
        return false;
    }
    int z = -1;
    for (int row = g + 10; row < n; ++row) {
        if (p[row] <= wg && (row > n - 2 || p[row + 1] <= wg) && (row + 5 > n - 1 || p[row + 5] <= wg)) {
            z = row;
            break;
        }
    }

    // Walls refined to where the profile climbs back through a share of the
    // brightness between wall and magnet.
    const int32_t upperBright = MaxOfRangeAndZero(p, m, u);
    const int32_t upperThreshold =
        p[u] + RoundToInt32((static_cast<double>(upperBright) - p[u]) * params.channel_relative_intensity_pct);
    int upperChannel = u;
    for (int l = u; l > m; --l) {
        if (p[l - 1] > upperThreshold && p[l] <= upperThreshold) {
            upperChannel = l;
            break;
        }
    }
    const int32_t lowerBright = z < 0 ? 0 : MaxOfRangeAndZero(p, g, z);
    const int32_t lowerThreshold =
        p[g] + RoundToInt32((static_cast<double>(lowerBright) - p[g]) * params.channel_relative_intensity_pct);
    int lowerChannel = g;
    for (int l = g; l < z; ++l) {
        if (p[l - 1] < lowerThreshold && p[l] >= lowerThreshold) {
            lowerChannel = l;
            break;
        }
    }

    // The magnets: where the profile crosses a share of its bright level
    // near the top and the bottom of the image.
    std::vector<int32_t> sorted(p);
    std::sort(sorted.begin(), sorted.end());
    const float r = static_cast<float>(n - 1) * static_cast<float>(params.magnet_high_intensity_pct);
    size_t i = r > 0.0f ? static_cast<size_t>(r) : 0;
    i = std::min(i, static_cast<size_t>(n - 1));
    const size_t j = std::min(i + 1, static_cast<size_t>(n - 1));
    const int32_t q = RoundToInt32(sorted[i] + (static_cast<double>(sorted[j]) - sorted[i]) * (r - static_cast<float>(i)));
    const int32_t threshold = RoundToInt32(q * params.magnet_threshold_intensity_fraction);
    for (int x = 0; x < 300 && x + 1 < n; ++x) {
        if (p[x] < threshold && threshold <= p[x + 1]) {
            m = x;
            break;
        }
    }
    for (int x = n - 1; x > n - 300 && x >= 1; --x) {
        if (p[x] < threshold && threshold <= p[x - 1]) {
            z = x;
            break;
        }
    }

    lines.upperChannel = upperChannel;
    lines.lowerChannel = lowerChannel;
    lines.upperMagnet = m;
    lines.lowerMagnet = z;
    return true;
}
