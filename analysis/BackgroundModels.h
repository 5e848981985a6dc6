#pragma once

// The channel background that the fractionation analysis subtracts from its
// strips, modelled from the strips themselves: the per-pixel maximum over all
// strips, the per-pixel median of the last five, and from the two a
// "noise-free" maximum that removes the upward bias of a maximum taken over
// noisy images.
//
// All three work on g_FractionationState (its strips in, its background
// images out); the caller holds AnalysisEngineLock. Errors of the image
// library (strips of different sizes) and too few strips for the median are
// raised as exceptions for the calling step's guard.

#include <cstdint>

// maximumBackground = per-pixel maximum over every strip.
void ComputeMaximumPixelBackground();

// medianBackground = per-pixel median of the strips n - 5 .. n - 1. Raises
// std::invalid_argument when n is below 5 or beyond the loaded strips.
void ComputeMedianPixelBackground(int32_t n);

// maximumRoot = sqrt(maximum); noiseFreeBackground = maximum - k * maximumRoot
// (32-bit float), with k chosen so that on average the background lies as far
// below the maximum as the median does. k is 0 when the maximum is black.
void ComputeNoiseFreeMaximumPixelBackground();
