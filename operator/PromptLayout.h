#pragma once

// Layout of the custom-button prompt: the labels, the scale factor of the
// monitor, each button sized to its text and the shown buttons placed in one
// centred row. Pure functions over measured text widths, so tests fix the
// metrics.

#include <string>
#include <vector>

#include "platform/Rect.h"

// At most this many custom buttons are shown.
constexpr int kMaxCustomButtons = 4;

// The labels of a ";"-separated list (double-quoted labels stay whole,
// leading blanks are skipped); an empty list gives none.
std::vector<std::string> SplitButtonLabels(const std::string& list);

// [ExperimentSettings] MonitorScaleFactor of the main settings file; 1 when
// the key is missing or does not read as a number.
double ReadMonitorScaleFactor();

// The button widened or narrowed to its text: text width plus twice the
// width of "W", both measured unscaled and scaled by `scale` to whole pixels;
// the button keeps its centre.
RECT SizeButtonToText(const RECT& button, int textWidth, int letterWWidth, double scale);

// The gap between buttons: 8 pixels times the scale, rounded.
int ButtonGap(double scale);

// Places the buttons in a row centred in a dialog of the given outer width,
// in the order of their left edges, `gap` pixels apart; widths and vertical
// positions stay.
void PlaceButtonRow(std::vector<RECT>& buttons, int dialogWidth, int gap);
