#pragma once

// The small general commands of the script language (waits, workflow counts,
// background images, windows, view switches, availability queries, digital
// I/O resets). Their family installs with the other command families.

#include <functional>

// The experiment settings window, run modally while the script waits; the
// program installs it at start-up. Without it the command does nothing.
void SetExperimentSettingsWindow(std::function<void()> window);
