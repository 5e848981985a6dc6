#pragma once

// What every analysis tool shares without a window: the folder-and-filter
// file list, the parameter-set files of the LIB folder, a settings section of
// the main settings file with a loading guard, and the context a worker runs
// in (status sink, stop flag, clock), so that a tool's work runs and is
// tested without its window.
//
// Errors: requests validate into message lines; a refused request starts
// nothing. Workers return their report and never show anything themselves.

#include <atomic>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Clock.h"

// The names (without folder) of the files of `folder` that match the
// wildcard `filter`, directories left out, in the folder's listing order.
// An empty folder searches the current directory. False, with `names`
// empty, when nothing matches or the folder cannot be listed.
bool FillFileList(const std::string& folder, const std::string& filter, std::vector<std::string>& names);

// The folder (cut at its first line break, blanks and tabs trimmed) joined
// with a name; the name alone for an empty folder.
std::string JoinToolFolder(const std::string& folder, const std::string& name);

// The LIB folder of the data root, and a set's file in it.
std::string LibFolder();
std::string ParamSetPath(const std::string& name, const std::string& extension);
// The sets of the LIB folder with the extension (e.g. ".counting_params"),
// each named by its file name cut at the first ".", sorted without regard
// to case.
std::vector<std::string> ListParamSets(const std::string& extension);
// A set name must hold a character other than blank or tab, be at most 256
// characters and consist of valid file-name characters, so that a set is
// never saved under a hidden name or outside the LIB folder. False with the
// reason in `error`.
bool CheckParamSetName(const std::string& name, std::string* error);

// The lines of a refused request, one message.
std::string JoinMessageLines(const std::vector<std::string>& lines);

// Where a worker reports progress and learns that it should stop. The sink
// is called on the worker's thread; a window forwards it to its own thread.
struct ToolWorkerContext {
    std::function<void(const std::string&)> status;
    const std::atomic<bool>* stop = nullptr;
    platform::Clock* clock = nullptr;  // null: the program's clock

    bool StopRequested() const { return stop != nullptr && stop->load(); }
    void SetStatus(const std::string& text) const {
        if (status) status(text);
    }
    platform::Clock& Clock() const { return clock ? *clock : platform::GetClock(); }
};

// One tool's section of the main settings file: its keys in the order they
// are written, each with the default a missing key reads as. Values are
// texts, stored as they stand; nothing is checked on load or save.
class ToolSettings {
public:
    struct Key {
        std::string name;
        std::string defaultValue;
    };
    ToolSettings(std::string section, std::vector<Key> keys);

    const std::string& Section() const { return m_section; }
    const std::vector<Key>& Keys() const { return m_keys; }

    // Reads every key (1023 characters at most) from the main settings file.
    void Load();
    // Writes every key in order; false, writing nothing, while loading.
    bool Save() const;

    const std::string& Get(const std::string& key) const;
    void Set(const std::string& key, const std::string& value);
    // "TRUE"/"FALSE" compared without regard to case; other texts leave
    // `current` as it is.
    bool GetFlag(const std::string& key, bool current) const;
    void SetFlag(const std::string& key, bool on) { Set(key, on ? "TRUE" : "FALSE"); }

    // Set while a window puts the loaded values into its controls, whose
    // change handlers would otherwise save half-loaded settings.
    bool Loading() const { return m_loading; }
    void SetLoading(bool loading) { m_loading = loading; }

private:
    std::string m_section;
    std::vector<Key> m_keys;
    std::vector<std::string> m_values;
    bool m_loading = false;
};

// Sets a loading flag for a scope.
class LoadingGuard {
public:
    explicit LoadingGuard(bool& flag) : m_flag(flag) { m_flag = true; }
    ~LoadingGuard() { m_flag = false; }
    LoadingGuard(const LoadingGuard&) = delete;
    LoadingGuard& operator=(const LoadingGuard&) = delete;

private:
    bool& m_flag;
};
