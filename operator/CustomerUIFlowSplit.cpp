// The flow split line of the run screen's video screen: the split value
// beside the video panel and the operator's drag of the line. The values
// themselves are the shared flow-split set (app/FlowSplit.h).

#include <cmath>
#include <strings.h>

#include "app/FlowSplit.h"
#include "operator/CustomerUI.h"

namespace customer_ui {

bool CustomerUI::SetFlowSplit(int isplit) {
    bool accepted = false;
    UpdateFlowSplit([&](FlowSplitValues& values) {
        if (isplit < values.FlowSplitMin || isplit > values.FlowSplitMax) return;
        values.FlowSplitFraction = 1.0 - (50 - isplit) / 100.0;
        accepted = true;
    });
    return accepted;
}

void CustomerUI::UpdateFlowSplitText(bool redraw) {
    const FlowSplitValues values = GetFlowSplit();
    const int32_t height = values.ChannelBottomY - values.ChannelTopY;
    double x = 0.5;
    // A channel without height is as unknown as one not placed yet.
    if (values.ChannelBottomY >= 0 && height > 0) {
        x = static_cast<double>(values.FlowSplitDragDeltaY + values.FlowSplitLineY - values.ChannelTopY) / height;
        if (x < 0.1 || x > 0.9) x = 0.5;
    }
    const std::string text = std::to_string(std::lround(50 - 100 * x));
    RECT area;
    {
        std::lock_guard<std::mutex> lock(m_csContent);
        area = m_content.m_rcSplitPercent;
    }
    {
        std::lock_guard<std::mutex> lock(m_csSplit);
        if (strcasecmp(text.c_str(), m_strSplitPercent.c_str()) == 0) return;
        m_strSplitPercent = text;
    }
    if (redraw) Invalidate(&area, true);
}

void CustomerUI::MoveSplitLine(int y, bool finished) {
    int32_t start = 0;
    {
        std::lock_guard<std::mutex> lock(m_csSplit);
        start = m_nSplitDragStartY;
    }
    UpdateFlowSplit([&](FlowSplitValues& v) {
        const int32_t height = v.ChannelBottomY - v.ChannelTopY;
        if (height <= 0) {
            // No channel to move the line in: the drag moves nothing.
            v.FlowSplitDragDeltaY = 0;
            return;
        }
        // The line may not leave the rows of the script's split range.
        const int32_t lowest = static_cast<int32_t>((1 - v.FlowSplitMaxFraction) * height - v.FlowSplitLineY +
                                                    v.ChannelTopY);
        const int32_t highest = static_cast<int32_t>((1 - v.FlowSplitMinFraction) * height - v.FlowSplitLineY +
                                                     v.ChannelTopY);
        const int32_t delta = std::min(std::max(y - start, lowest), highest);
        if (finished) {
            v.FlowSplitLineY += delta;
            v.FlowSplitDragDeltaY = 0;
            v.FlowSplitFraction = 1 - static_cast<double>(v.FlowSplitLineY - v.ChannelTopY) / height;
        } else {
            v.FlowSplitDragDeltaY = delta;
        }
    });
    UpdateFlowSplitText(true);
    if (finished) {
        std::lock_guard<std::mutex> lock(m_csSplit);
        m_nSplitDragStartY = 0;
    }
}

std::string CustomerUI::GetSplitPercent() const {
    std::lock_guard<std::mutex> lock(m_csSplit);
    return m_strSplitPercent;
}

bool CustomerUI::SplitHitTest(Point point) const {
    const RECT band = GetFlowSplit().FlowSplitHitRect;
    return band.right > band.left && PointInRect(band, point);
}

void CustomerUI::ResetSplitLine() {
    UpdateFlowSplit([](FlowSplitValues& v) {
        v.FlowSplitDragDeltaY = 0;
        v.FlowSplitLineY = static_cast<int32_t>((v.ChannelBottomY - v.ChannelTopY) * 0.5);
        v.FlowSplitFraction = 0.5;
    });
}

}  // namespace customer_ui
