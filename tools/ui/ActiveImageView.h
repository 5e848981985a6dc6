#pragma once

// The image view of the main window's current image window, which the
// counting tools run on. Tests install their own source.

#include <functional>

class CImageView;

// Null when there is no image window.
CImageView* ActiveImageView();
// Replaces where the view comes from; an empty function restores the main
// window's current image window.
void SetActiveImageViewSource(std::function<CImageView*()> source);
