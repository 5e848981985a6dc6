#pragma once

// The pictures of the main toolbar's large buttons (66 x 49 pixels), drawn
// by the program so that they scale with the screen and need no files.

#include <QIcon>
#include <QSize>

constexpr QSize kToolbarButtonSize(66, 49);

// The picture of a toolbar command; a blank picture for an unknown id.
QIcon ToolbarIcon(int commandId);
