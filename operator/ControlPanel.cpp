#include "operator/ControlPanel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <strings.h>
#include <system_error>

#include "app/VelloraApp.h"
#include "devices/TecanCentris.h"
#include "operator/ScriptsConsole.h"
#include "platform/Files.h"
#include "platform/UiBridge.h"
#include "script/Script.h"
#include "support/AppLogs.h"
#include "support/Profile.h"
#include "support/String.h"

namespace ControlPanel {

namespace {

std::string Read(const std::string& file, const std::string& section, const char* key, const char* fallback) {
    char buffer[1024] = {};
    if (!Tovanix::E_GetPrivateProfileString(section.c_str(), key, fallback, buffer, sizeof buffer, file.c_str())) {
        return fallback;
    }
    return buffer;
}

bool Write(const std::string& file, const std::string& section, const char* key, const std::string& value) {
    return Tovanix::E_WritePrivateProfileString(section.c_str(), key, value.c_str(), file.c_str());
}

std::string SelectorPath() { return ScriptsConsole::JoinFolder(PanelFolder(), kSelectorFileName); }

void Report(int line, const std::string& message) {
    LogErrAndInfo("ControlPanelDlg", line, message.c_str());
    platform::ShowMessageBox(message, "Vellora", platform::MB_OK);
}

void Show(const std::string& message) { platform::ShowMessageBox(message, "Vellora", platform::MB_OK); }

bool Ask(const std::string& question) {
    return platform::ShowMessageBox(question, "Vellora", platform::MB_YESNO | platform::MB_ICONQUESTION) ==
           platform::IDYES;
}

bool IsBlank(const std::string& text) { return text.find_first_not_of(" \t") == std::string::npos; }

bool HasExtension(const std::string& name, const char* extension) {
    const size_t length = std::char_traits<char>::length(extension);
    return name.size() > length && strcasecmp(name.c_str() + name.size() - length, extension) == 0;
}

}  // namespace

std::string PanelFolder() {
    const std::string ini = g_IniPath.str();
    const size_t separator = ini.find_last_of("\\/");
    return separator == std::string::npos ? std::string() : ini.substr(0, separator);
}

std::string ButtonSection(int buttonId) { return "ControlPanelButton_" + std::to_string(buttonId - 1090); }

std::string GetActivePanelName() { return Read(SelectorPath(), "ControlPanel", "ActiveControlPanel", "Default"); }

std::string PanelPath(const std::string& name) {
    // Panel names compare without regard to case, as they always did on the
    // instrument's file system.
    const std::string path = ScriptsConsole::JoinFolder(PanelFolder(), name + kExtension);
    const std::string existing = platform::FindFileIgnoringCase(path);
    return existing.empty() ? path : existing;
}

std::string GetActivePanelPath() { return PanelPath(GetActivePanelName()); }

uint32_t ParseColor(const std::string& text) {
    long red = 0, green = 0, blue = 0;
    if (std::sscanf(text.c_str(), "%ld,%ld,%ld", &red, &green, &blue) != 3) return kDefaultColor;
    return static_cast<uint32_t>(red + green * 256 + blue * 65536);
}

std::string FormatColor(uint32_t color) {
    char text[48];
    std::snprintf(text, sizeof text, "%ld,%ld,%ld", static_cast<long>(color & 0xFF),
                  static_cast<long>((color >> 8) & 0xFF), static_cast<long>((color >> 16) & 0xFF));
    return text;
}

uint32_t GetButtonColor(const std::string& panelPath, int buttonId) {
    if (buttonId < kFirstButtonId || buttonId > kLastButtonId) return kDefaultColor;
    return ParseColor(Read(panelPath, ButtonSection(buttonId), "Color", "192,192,192"));
}

std::string GetButtonScript(int buttonId) {
    if (buttonId < kFirstButtonId || buttonId > kLastButtonId) return {};
    return Read(GetActivePanelPath(), ButtonSection(buttonId), "Script", "");
}

bool HasScript(const std::string& script) { return !script.empty() && script != kNotAssigned; }

std::string GetButtonTitle(const std::string& panelPath, int buttonId) {
    if (!HasScript(Read(panelPath, ButtonSection(buttonId), "Script", ""))) return kNotAssigned;
    return Read(panelPath, ButtonSection(buttonId), "Title", "[Empty]");
}

bool RunButtonScript(int buttonId) {
    const std::string script = GetButtonScript(buttonId);
    if (!HasScript(script)) {
        Report(__LINE__, "No script assigned to this button.");
        return false;
    }
    if (strcasecmp(script.c_str(), "Stop") == 0) {
        Script::StopScript(0);
        return true;
    }
    CString error;
    if (!Script::RunScript(0, ScriptsConsole::ScriptPath(script).c_str(), error)) {
        Report(__LINE__, error.str());
        return false;
    }
    return true;
}

std::vector<std::string> ListPanelNames() {
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(PanelFolder(), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string file = it->path().filename().string();
        if (HasExtension(file, kExtension)) names.push_back(file.substr(0, file.find('.')));
    }
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) < 0; });
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

PanelChoice ChoosePanel(std::string* name) {
    const std::string activeName = GetActivePanelName();
    if (strcasecmp(name->c_str(), activeName.c_str()) == 0) return PanelChoice::Refreshed;
    if (IsBlank(*name)) return PanelChoice::Ignored;
    if (name->size() > static_cast<size_t>(kMaxPanelNameLength)) {
        Show("Control panel names may not be longer than 32 characters.");
        return PanelChoice::Refused;
    }
    std::string repaired = *name;
    for (char& ch : repaired) {
        const char single[2] = {ch, 0};
        if (!Tovanix::IsValidFileNameChar(single)) ch = '_';
    }
    if (repaired != *name) {
        if (!Ask("The control panel must be a valid file name. Fix the name?")) return PanelChoice::Refused;
        *name = repaired;
    }
    const std::string path = PanelPath(*name);
    if (!platform::FileExists(path)) {
        if (!Ask("Create a new control panel: " + *name + "?")) return PanelChoice::Refused;
        if (!Ask("The contents of the active control panel " + activeName + " will be copied to the new control panel " +
                 *name + ". Continue?")) {
            return PanelChoice::Refused;
        }
        const std::string activePath = GetActivePanelPath();
        if (!platform::CopyFileAtomically(activePath, path, false)) {
            Show("Problem copying file: " + activePath + "\n to " + path);
            return PanelChoice::Refused;
        }
    }
    if (!Write(SelectorPath(), "ControlPanel", "ActiveControlPanel", *name)) {
        Report(__LINE__, "ControlPanelDlg : unable to write " + SelectorPath());
        return PanelChoice::Refused;
    }
    return PanelChoice::Switched;
}

ButtonProperties LoadButtonProperties(const std::string& panelPath, const std::string& section) {
    ButtonProperties properties;
    properties.color = ParseColor(Read(panelPath, section, "Color", "192,192,192"));
    properties.title = Read(panelPath, section, "Title", "");
    properties.script = Read(panelPath, section, "Script", kNotAssigned);
    return properties;
}

std::vector<std::string> AssignableScripts() {
    std::vector<std::string> scripts{kNotAssigned};
    std::error_code ec;
    for (std::filesystem::directory_iterator it(ScriptsConsole::ScriptsFolder(), ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string file = it->path().filename().string();
        if (HasExtension(file, ".scr")) scripts.push_back(file);
    }
    scripts.push_back("Stop");
    return scripts;
}

bool SaveButtonProperties(const std::string& panelPath, const std::string& section, uint32_t color,
                          const std::string& title, const std::string* script) {
    bool written = Write(panelPath, section, "Color", FormatColor(color));
    written = Write(panelPath, section, "Title", title) && written;
    if (script) written = Write(panelPath, section, "Script", *script) && written;
    if (!written) Report(__LINE__, "ControlPanelButtonProperties : unable to write " + panelPath);
    return written;
}

SyringeReading ReadSyringe(int pump, bool withVolume) {
    SyringeReading reading;
    const int port = theApp.m_nPumpComPort;
    Tovanix::String error;
    if (withVolume) {
        reading.haveVolume = TecanCentris::QueryLong(port, pump, "?17", &reading.volumeUl, &error);
        if (!reading.haveVolume) return reading;
    }
    reading.haveDisplacement = TecanCentris::QueryDouble(port, pump, "?18", &reading.displacementUl, &error);
    return reading;
}

std::string DisplacementText(double displacementUl) {
    char text[64];
    std::snprintf(text, sizeof text, "%1.0lf", displacementUl);
    return text;
}

int GaugePosition(int32_t volumeUl, double displacementUl) {
    return static_cast<int>(std::lround(static_cast<double>(volumeUl) - displacementUl));
}

void EnsureActiveControlPanelIni() {
    const std::string defaultPanel = PanelPath("Default");
    if (platform::FileExists(defaultPanel)) return;
    for (int button = 1; button <= kButtonCount; ++button) {
        const std::string section = "ControlPanelButton_" + std::to_string(button);
        for (const char* key : {"Color", "Title", "Script"}) {
            Write(defaultPanel, section, key, Read(g_IniPath.str(), section, key, ""));
        }
    }
    Write(SelectorPath(), "ControlPanel", "ActiveControlPanel", "Default");
}

}  // namespace ControlPanel
