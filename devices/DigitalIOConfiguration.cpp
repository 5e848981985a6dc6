#include "devices/DigitalIOConfiguration.h"

#include <cstdio>
#include <strings.h>

#include "app/VelloraApp.h"
#include "devices/DigitalIO.h"
#include "support/Profile.h"

namespace DigitalIOConfiguration {

namespace {

constexpr const char* kSection = "DIO_Config";

std::string Setting(const char* key) {
    char buffer[64];
    if (!Tovanix::E_GetPrivateProfileString(kSection, key, "", buffer, sizeof(buffer), g_IniPath)) return {};
    return buffer;
}

bool NonNegative(const char* key, int* value) {
    return std::sscanf(Setting(key).c_str(), "%d", value) == 1 && *value >= 0;
}

std::string Missing(const char* key) {
    return std::string("ExperimentSettings.ini [") + kSection + "] " + key + " is missing or invalid";
}

}  // namespace

int GetLineButtonId(int port, int line) {
    if (port == 0 && line >= 0 && line <= 7) return kFirstPort0Box + line;
    if (port == 1 && line >= 0 && line <= 3) return kFirstPort1Box + line;
    return 0;
}

bool SetLineState(int port, int line, bool on, CString* error) {
    if (line < 0 || line > 7) {
        error->Format("SetLineState: invalid line %d", line);
        return false;
    }
    unsigned char value = 0;
    if (!Initialize_DIO(error, false) || !ReadDIOLines(port, &value, error)) return false;
    const unsigned char bit = static_cast<unsigned char>(1u << line);
    value = on ? static_cast<unsigned char>(value | bit) : static_cast<unsigned char>(value & ~bit);
    return SetDIOLines(port, value, error);
}

bool WriteMappingChoice(const char* key, int index, CString* error) {
    if (index >= 0) {
        Tovanix::E_WritePrivateProfileString(kSection, key, std::to_string(index).c_str(), g_IniPath);
    }
    return LoadDIOMapping(error);
}

std::vector<int> InterlockInputBoxes(std::string* problem) {
    std::vector<int> boxes;
    if (strcasecmp(Setting("Mapping").c_str(), "Interlock") != 0) return boxes;
    for (const char* sensor : {"Cartridge", "Clamp"}) {
        const std::string lineKey = std::string(sensor) + "_Line";
        const std::string portKey = std::string(sensor) + "_Port";
        int line = 0;
        int port = 0;
        if (!NonNegative(lineKey.c_str(), &line)) {
            *problem = Missing(lineKey.c_str());
            return boxes;
        }
        if (!NonNegative(portKey.c_str(), &port)) {
            *problem = Missing(portKey.c_str());
            return boxes;
        }
        if (const int box = GetLineButtonId(port, line)) boxes.push_back(box);
    }
    return boxes;
}

}  // namespace DigitalIOConfiguration
