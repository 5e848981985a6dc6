#pragma once

// Counting parameter values that find the synthetic rings of
// analysis/testsupport/SyntheticCells.h (10-pixel rings at 1000 pixels per mm).

#include "tools/CountingParamSet.h"

namespace tools_testing {

inline CountingParamValues RingCountingValues(int width, int height) {
    CountingParamValues v;
    v.SetFlag("MFilter1", true);
    v.SetFlag("CFilter1", true);
    v.SetFlag("ProximityFilteringWithinType1", true);
    v.SetFlag("UseInnerRing1", true);
    v.SetFlag("RestoreImage", true);
    v.Set("ObjectRadius1", "10");
    v.Set("ObjectRadius2", "4");
    v.Set("ObjectRadiusSweep1", "2");
    v.Set("ObjectRadiusSweep2", "0");
    v.Set("MFilterSamples1", "16");
    v.Set("MFilterSamples2", "8");
    v.Set("MFilterThreshold1", "10000");
    v.Set("MFilterThreshold2", "250");
    v.Set("CFilterThreshold1", "200");
    v.Set("CFilterThreshold2", "100");
    v.Set("CFilterMinSize1", "1");
    v.Set("CFilterMinSize2", "1");
    v.Set("Left", "0");
    v.Set("Top", "0");
    v.Set("Right", std::to_string(width - 1));
    v.Set("Bottom", std::to_string(height - 1));
    return v;
}

}  // namespace tools_testing
