#pragma once

// The flow split: where, inside the cartridge channel, the line lies that
// divides the sample flow into a top and a bottom fraction. One shared set of
// values is read and written by the image renderer (which places the line and
// the channel rows on the screen), the capture log, the scripts, the run
// screen (which lets the operator drag the line) and the fractionation tool.
//
// The values live in one guarded object: readers take a consistent snapshot,
// writers change one value or several at once under the same lock, so no
// thread ever sees half of an update.
//
// The split value s (an integer percentage, 0 = the middle of the channel,
// positive above it) and the fraction f (of the channel height, measured from
// the lower wall) correspond by s = round(100 f - 50) and f = 1 - (50 - s) / 100.

#include <cstdint>
#include <functional>

#include "platform/Rect.h"

struct FlowSplitValues {
    // Split position as a fraction of the channel height from the lower wall.
    double FlowSplitFraction = 0.5;
    // Allowed range of the split value (a script may set them within -45..45),
    // and the same limits as fractions (value / 100 + 0.5).
    int32_t FlowSplitMin = -10;
    int32_t FlowSplitMax = 10;
    double FlowSplitMinFraction = 0.4;
    double FlowSplitMaxFraction = 0.6;
    // Screen rows at which the renderer last drew the upper and lower channel
    // walls; -1 while no image has placed the channel.
    int32_t ChannelTopY = -1;
    int32_t ChannelBottomY = -1;
    // Screen row of the split line, and how far a drag in progress moves it.
    int32_t FlowSplitLineY = 0;
    int32_t FlowSplitDragDeltaY = 0;
    // The band in which a click starts a drag of the line.
    RECT FlowSplitHitRect;
    // The line is shown.
    bool FlowSplitLineVisible = false;
    // A new fraction was stored from outside the run screen: the next drawing
    // places the line from the fraction and the channel rows.
    bool FlowSplitChanged = false;
};

// Limits of the split range a script may set.
constexpr int32_t kFlowSplitLimit = 45;

// Pure conversions between the split value and the fraction.
int32_t FlowSplitValueFromFraction(double fraction);
double FlowSplitFractionFromValue(int32_t value);

// A consistent copy of all values.
FlowSplitValues GetFlowSplit();

// Changes several values at once under the lock; the function must not call
// back into this module.
void UpdateFlowSplit(const std::function<void(FlowSplitValues&)>& change);

void SetFlowSplitFraction(double fraction);
// Sets the integer range and its fractions together. False, changing nothing,
// when min > max or either lies outside -45..45.
bool SetFlowSplitRange(int32_t min, int32_t max);
void SetChannelScreenRows(int32_t topY, int32_t bottomY);
void SetFlowSplitLineY(int32_t lineY);
void SetFlowSplitDragDeltaY(int32_t deltaY);
void SetFlowSplitHitRect(const RECT& rect);
void SetFlowSplitLineVisible(bool visible);
void SetFlowSplitChanged(bool changed);

// Back to the values at start-up (tests and a fresh run screen).
void ResetFlowSplit();
