#pragma once

// The button control panel's files and actions, without the window.
//
// Panels live beside the main settings file: "ActiveControlPanel.ini" names
// the active panel ([ControlPanel] ActiveControlPanel, "Default" when
// missing) and each panel is a file "<name>.ControlPanel" with the sections
// "ControlPanelButton_1" to "ControlPanelButton_20" (Title, Script, Color).
// Button n is control 1090 + n. Every reader opens the files afresh, so a
// change made outside the window shows at the next refresh.
//
// Failures the operator must see are written to the error-and-info log and
// shown in a message box through the user-interface bridge; questions are
// asked there as well.

#include <cstdint>
#include <string>
#include <vector>

namespace ControlPanel {

constexpr int kFirstButtonId = 1091;
constexpr int kLastButtonId = 1110;
constexpr int kButtonCount = 20;
constexpr uint32_t kDefaultColor = 192 + 192 * 256 + 192 * 65536;
constexpr const char* kNotAssigned = "<NotAssigned>";
constexpr const char* kSelectorFileName = "ActiveControlPanel.ini";
constexpr const char* kExtension = ".ControlPanel";
constexpr int kMaxPanelNameLength = 32;

// The folder of the main settings file.
std::string PanelFolder();
// "ControlPanelButton_<id - 1090>".
std::string ButtonSection(int buttonId);

// The active panel's name and file.
std::string GetActivePanelName();
std::string GetActivePanelPath();
// The panel's file; an existing file whose name differs only in letter case
// is that panel's file.
std::string PanelPath(const std::string& name);

// "%ld,%ld,%ld" as red + green * 256 + blue * 65536; 192,192,192 for
// anything else.
uint32_t ParseColor(const std::string& text);
std::string FormatColor(uint32_t color);
uint32_t GetButtonColor(const std::string& panelPath, int buttonId);
// The button's script in the active panel; empty outside 1091..1110.
std::string GetButtonScript(int buttonId);
// "<NotAssigned>" for a button without a script, else its Title ("[Empty]"
// when missing).
std::string GetButtonTitle(const std::string& panelPath, int buttonId);
// Empty, missing and "<NotAssigned>" mean that the button has no script.
bool HasScript(const std::string& script);

// Starts the button's script in interpreter 0, or stops that interpreter
// when the script is "Stop" (any case). False after reporting why not.
bool RunButtonScript(int buttonId);

// The names of the folder's panel files, each cut at its first ".".
std::vector<std::string> ListPanelNames();

// What choosing a panel name did.
enum class PanelChoice {
    Ignored,     // blank name
    Refreshed,   // the active panel's own name
    Switched,    // another panel is active now (made first when new)
    Refused,     // reported or declined; nothing changed
};
// Makes the named panel active. A name with characters that a file name
// cannot hold is repaired to '_' after the operator agrees (`name` then
// holds the repaired text); a panel that does not exist is created, after
// two questions, as a copy of the active one.
PanelChoice ChoosePanel(std::string* name);

// The button-properties dialog's values.
struct ButtonProperties {
    std::string title;
    uint32_t color = kDefaultColor;
    std::string script;  // "<NotAssigned>" when missing
};
ButtonProperties LoadButtonProperties(const std::string& panelPath, const std::string& section);
// The scripts the dialog offers: "<NotAssigned>", the folder's "*.scr"
// files, "Stop".
std::vector<std::string> AssignableScripts();
// Writes Color and Title, and Script when `script` is given.
bool SaveButtonProperties(const std::string& panelPath, const std::string& section, uint32_t color,
                          const std::string& title, const std::string* script);

// One syringe gauge's readings.
struct SyringeReading {
    bool haveVolume = false;
    int32_t volumeUl = 0;  // "?17"
    bool haveDisplacement = false;
    double displacementUl = 0;  // "?18"
};
// Asks the pump (1 or 2) on the pump port; the volume only when asked for.
SyringeReading ReadSyringe(int pump, bool withVolume);
// "%1.0lf" of the displacement.
std::string DisplacementText(double displacementUl);
// The gauge's position: volume - displacement, rounded.
int GaugePosition(int32_t volumeUl, double displacementUl);

// Start-up: makes "Default.ControlPanel" from the main settings file's
// button sections and selects it, when it does not exist.
void EnsureActiveControlPanelIni();

}  // namespace ControlPanel
