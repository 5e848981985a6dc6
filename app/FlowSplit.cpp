#include "app/FlowSplit.h"

#include <cmath>
#include <mutex>

namespace {

std::mutex g_flowSplitMutex;
FlowSplitValues g_flowSplit;

}  // namespace

int32_t FlowSplitValueFromFraction(double fraction) {
    const double value = 100.0 * fraction - 50.0;
    if (std::isnan(value)) return 0;
    if (value >= static_cast<double>(INT32_MAX)) return INT32_MAX;
    if (value <= static_cast<double>(INT32_MIN)) return INT32_MIN;
    return static_cast<int32_t>(std::lround(value));
}

double FlowSplitFractionFromValue(int32_t value) { return 1.0 - (50.0 - value) / 100.0; }

FlowSplitValues GetFlowSplit() {
    std::lock_guard<std::mutex> lock(g_flowSplitMutex);
    return g_flowSplit;
}

void UpdateFlowSplit(const std::function<void(FlowSplitValues&)>& change) {
    std::lock_guard<std::mutex> lock(g_flowSplitMutex);
    change(g_flowSplit);
}

void SetFlowSplitFraction(double fraction) {
    UpdateFlowSplit([fraction](FlowSplitValues& v) { v.FlowSplitFraction = fraction; });
}

bool SetFlowSplitRange(int32_t min, int32_t max) {
    if (min > max || min < -kFlowSplitLimit || max > kFlowSplitLimit) return false;
    UpdateFlowSplit([min, max](FlowSplitValues& v) {
        v.FlowSplitMin = min;
        v.FlowSplitMax = max;
        v.FlowSplitMinFraction = min / 100.0 + 0.5;
        v.FlowSplitMaxFraction = max / 100.0 + 0.5;
    });
    return true;
}

void SetChannelScreenRows(int32_t topY, int32_t bottomY) {
    UpdateFlowSplit([topY, bottomY](FlowSplitValues& v) {
        v.ChannelTopY = topY;
        v.ChannelBottomY = bottomY;
    });
}

void SetFlowSplitLineY(int32_t lineY) {
    UpdateFlowSplit([lineY](FlowSplitValues& v) { v.FlowSplitLineY = lineY; });
}

void SetFlowSplitDragDeltaY(int32_t deltaY) {
    UpdateFlowSplit([deltaY](FlowSplitValues& v) { v.FlowSplitDragDeltaY = deltaY; });
}

void SetFlowSplitHitRect(const RECT& rect) {
    UpdateFlowSplit([&rect](FlowSplitValues& v) { v.FlowSplitHitRect = rect; });
}

void SetFlowSplitLineVisible(bool visible) {
    UpdateFlowSplit([visible](FlowSplitValues& v) { v.FlowSplitLineVisible = visible; });
}

void SetFlowSplitChanged(bool changed) {
    UpdateFlowSplit([changed](FlowSplitValues& v) { v.FlowSplitChanged = changed; });
}

void ResetFlowSplit() {
    UpdateFlowSplit([](FlowSplitValues& v) { v = FlowSplitValues(); });
}
