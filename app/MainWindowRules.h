#pragma once

// When the main window must stay open, and what its status pane shows.

#include <optional>
#include <string>

// The reason the main window may not be minimised or closed now, or empty:
// a script of the scripts console or control panel runs, a batch image
// analysis runs, the experiment workflow runs, or live view runs (the Live
// Image button is pressed). The run screen's own script does not count.
std::string MainWindowBusyReason(bool liveImageRunning);

// Logs the reason and shows it with the stop icon; true when the window
// must stay as it is.
bool RefuseMinimizeOrClose(bool liveImageRunning);

// The session may end (log-off, shutdown) unless the workflow runs.
bool QueryEndSession();

// The text of status pane 1 while the scripts console exists: the file name
// of the script that the console's interpreter runs, empty when none runs.
// No value while the console does not exist (the pane keeps its text).
std::optional<std::string> ScriptStatusPaneText();
