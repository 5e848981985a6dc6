#pragma once

// The spacing of the two magnet lines, or of the two channel lines, in
// millimetres, and the move of one line that sets a typed spacing. The
// rows are those of g_ChannelMagnetLines; the scale is [CalibrationSettings]
// image_pixels_per_mm of the main settings file. User-interface thread.

#include "platform/CString.h"

enum class BoundaryPair { Magnets, Channels };

// (lower row - upper row) / pixels per mm as "%5.3lf" (a scale that does
// not parse counts 0).
CString BoundarySpacingText(BoundaryPair pair);

// Whether the update button of a pair is enabled after a tick of the
// dialog's timer: disabled while the typed text equals the shown spacing
// (ignoring case), enabled when it reads as a number, else as it was.
bool BoundaryUpdateEnabled(BoundaryPair pair, const char* typed, bool enabledNow);

// Moves one line so that the pair is `typed` millimetres apart: with the
// top anchored the lower line moves, otherwise the upper one. The new row
// goes into g_ChannelMagnetLines and [CalibrationSettings] (LowerMagnet,
// UpperMagnet, LowerChannel or UpperChannel). False, and nothing moved,
// when the text does not read as a number.
bool UpdateBoundarySpacing(BoundaryPair pair, bool anchorTop, const char* typed);
