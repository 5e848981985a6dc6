#pragma once

// The variable watch: an engineer follows up to ten variables of a running
// script. The script thread hands a copy of its variables to the window at
// most once a second; the window takes the copy on the user-interface thread
// and shows the values of the names in its rows.
//
// The hand-over is guarded: the script thread replaces the pending copy and
// the name list under a lock, and the window takes or reads them under the
// same lock, so neither side ever sees a list the other is freeing.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "script/Variable.h"

constexpr int kVariableWatchRows = 10;

// The value of a variable as the watch shows it: int "%ld", double in the
// short number form, STRING its text; false (no text) for any other type.
bool VariableToText(const Variable& variable, std::string& text);

class VariableWatchFeed {
public:
    // Script thread: keeps a copy of the variables unless the last copy is
    // less than a second old. True when a copy was kept (the window should
    // show it shortly).
    bool SetVariables(const std::vector<Variable>& variables, int64_t nowMs);
    // User-interface thread: takes the pending copy; none when no copy came
    // since the last take.
    std::unique_ptr<std::vector<Variable>> TakePending();
    // The names of the last copy in the list's order; none before the first copy.
    std::optional<std::vector<std::string>> Names() const;

private:
    mutable std::mutex m_mutex;
    std::optional<int64_t> m_lastCopyMs;
    std::unique_ptr<std::vector<Variable>> m_pending;
    std::unique_ptr<std::vector<std::string>> m_names;
};

// One refresh of the rows from a copy: for each row's name, the new value
// text, or none where the row keeps its text (a name not in the copy, a
// type without text). An empty name empties its row.
std::vector<std::optional<std::string>> WatchRowValues(const std::vector<std::string>& rowNames,
                                                        const std::vector<Variable>& copy);

// "Watch All": the names of the ten rows, in the copy's order, empty where
// the copy has fewer names.
std::vector<std::string> WatchAllNames(const std::vector<std::string>& names);
