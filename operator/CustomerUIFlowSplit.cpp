// The flow split line of the run screen's video screen.

#include "operator/CustomerUI.h"

namespace customer_ui {

bool CustomerUI::SetFlowSplit(int isplit) {
    (void)isplit;
    return false;
}

void CustomerUI::UpdateFlowSplitText(bool redraw) { (void)redraw; }

void CustomerUI::MoveSplitLine(int y, bool finished) {
    (void)y;
    (void)finished;
}

std::string CustomerUI::GetSplitPercent() const {
    std::lock_guard<std::mutex> lock(m_csSplit);
    return m_strSplitPercent;
}

bool CustomerUI::SplitHitTest(Point point) const {
    (void)point;
    return false;
}

void CustomerUI::ResetSplitLine() {}

}  // namespace customer_ui
