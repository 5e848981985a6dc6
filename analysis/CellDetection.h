#pragma once

// One cell found by circular counting. Kept in one list per cell type and
// copied whole by the views and reports, so the layout stays fixed at 20 bytes.

#include <cstdint>

struct CellDetection {
    int32_t x = 0;        // centre column, image pixels
    int32_t y = 0;        // centre row, image pixels
    float score = 0.0f;   // strength of the detection; reports call it "confidence"
    float height = 0.0f;  // 0 as detected; filled in by callers that report a height
    float radius = 0.0f;  // trial radius, in pixels, at which it was found
};

static_assert(sizeof(CellDetection) == 20, "CellDetection is a fixed 20-byte record");
