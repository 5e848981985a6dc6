#pragma once

// The ring filter's per-pixel work for a block of neighbouring columns at
// once, for the common sample counts. The samples of one ray for the
// columns x, x + 1, ... of a row lie side by side in the image, so the
// order statistics of a ring are found for a whole block of columns with a
// selection network of vector minima and maxima: the same values one pixel
// at a time would give, without sorting pixel by pixel.

#include <cstdint>
#include <vector>

// The sample rows of one filtered row: column x of ring[k] (inner[k],
// outer[k]) reads sample k of that ring for the pixel at column x.
struct RingSampleRows {
    const uint16_t* const* ring = nullptr;
    const uint16_t* const* inner = nullptr;
    const uint16_t* const* outer = nullptr;
};

struct RingBlockSettings {
    int samples = 0;
    bool useInnerRing = false;
    int threshold = 0;  // ring threshold, 0..65535 (0: none)
};

// A column that may respond, with the two sorted sample values each ring's
// quantile lies between: the ring's 0.25 quantile and the inner and outer
// rings' 0.75 quantiles (inner only with the inner ring).
struct RingCandidate {
    int x = 0;
    uint16_t ring[2] = {0, 0};
    uint16_t inner[2] = {0, 0};
    uint16_t outer[2] = {0, 0};
};

// Whether FindRingCandidates handles rings of this many samples.
bool HasRingBlocks(int samples);

// The block widths (columns) this processor can run, narrowest first. All
// give the same result; FindRingCandidates takes the widest unless `lanes`
// names another.
std::vector<int> RingBlockWidths();

// Works through whole blocks of columns from x0 while they end at or before
// x1 and returns the first column it did not reach. Every column of those
// blocks that can respond is appended to `found` with its order statistics,
// left to right; any other column of them has response 0: more than n/4
// inner samples at least as bright as their ring samples (with the inner
// ring), a ring quantile below the threshold, or an inner or outer quantile
// certainly above the ring quantile.
int FindRingCandidates(const RingSampleRows& rows, const RingBlockSettings& settings, int x0, int x1,
                       std::vector<RingCandidate>& found, int lanes = 0);
