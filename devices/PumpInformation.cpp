#include "devices/PumpInformation.h"

#include <cerrno>
#include <cstdlib>

#include "devices/TecanCentris.h"

namespace PumpInformation {

const std::vector<std::string>& QueryRows() {
    static const std::vector<std::string> rows = {
        "?0 : Reports the absolute plunger position in full steps",
        "?1 : Reports the current plunger position in increments. This is the plunger set by a previous[A], [P], or[D] command",
        "?2 : Reports the encoder position in increments",
        "?3 : Reports the encoder position in full steps",
        "?4 : Reports the number of backlash steps in increments",
        "?6 : Reports the start speed in increments per second",
        "?7 : Reports the top speed in increments per second",
        "?8 : Reports the cutoff speed in increments per second",
        "?9 : Reports the plunger drive ramp-up slope code setting",
        "?10 : Reports the plunger drive ramp-down slope code setting",
        "?16 : Reports the plunger maximum range in increments",
        "?17 : Report the syringe volume in micro-liters.",
        "?18 : Report the plunger absolute position in microliters",
        "?20 : Reports the valve position",
        "?23 : Reports the firmware version string",
        "?29 : Reports the busy status (1 busy, 0 ready)",
        "?30 : Reports the state of digital input 1",
        "?31 : Reports the state of digital input 2",
        "?36 : Report start speed in micro-liters per second",
        "?37 : Report top speed in micro-liters per second",
        "?38 : Report cutoff speed in micro-liters per second",
        "?40 : Reports the total operating time in hours",
        "?41 : Reports the operating time since the last reset in hours",
        "?42 : Reports the total number of power-ups",
        "?43 : Reports the number of power-ups since the last reset",
        "?44 : Reports the total number of initialisations",
        "?45 : Reports the total number of plunger movements (absolute). Initialization moves are not included.",
        "?46 : Reports the number of plunger movements since the last reset",
        "?47 : Reports the total number of valve movements",
        "?48 : Reports the number of downloads",
        "?50 : Reports the main supply voltage",
        "?51 : Reports the logic supply voltage",
        "?52 : Reports the motor supply voltage",
        "?53 : Reports the real-time pump temperature in \xC2\xB0" "F",
        "?54 : Reports the highest recorded pump temperature",
        "?55 : Reports the lowest recorded pump temperature",
        "?60 : Reports the number of valve movements since the last reset",
        "?61 : Reports the boot loader firmware string",
        "?62 : Reports the application firmware checksum",
        "?63 : Reports the boot loader checksum",
        "?64 : Reports the parameter memory checksum",
        "?65 : Reports the configuration checksum",
        "?67 : Reports the command buffer contents",
        "?76 : Reports the pump configuration in ASCII text (see below)",
    };
    static const std::vector<std::string> all = [] {
        std::vector<std::string> list = rows;
        for (int n = 80; n <= 89; ++n) {
            list.push_back("?" + std::to_string(n) + " : Reports stored command string " + std::to_string(n - 80));
        }
        for (int n = 90; n <= 96; ++n) {
            list.push_back("?" + std::to_string(n) + " : Reports stored command string " + std::to_string(n - 80));
        }
        list.push_back("?99 : Reports the loaded command string");
        return list;
    }();
    return all;
}

bool ParseQueryRow(const std::string& text, uint32_t* reportNumber) {
    const std::string head = text.substr(0, 1023);
    if (head.empty() || head[0] != '?') return false;
    if (!((head.size() > 3 && head[3] == ':') || (head.size() > 4 && head[4] == ':'))) return false;
    const char* start = head.c_str() + 1;
    char* end = nullptr;
    errno = 0;
    const long number = std::strtol(start, &end, 10);
    if (end == start || errno == ERANGE || number > 99) return false;
    // A negative number would wrap to a huge report number; the pumps have none.
    if (number < 0) return false;
    *reportNumber = static_cast<uint32_t>(number);
    return true;
}

std::string QueryBothPumps(int comPort, uint32_t reportNumber) {
    Tovanix::String replies[2];
    for (int pump = 1; pump <= 2; ++pump) {
        Tovanix::String error;
        if (!TecanCentris::QueryReport(comPort, pump, reportNumber, &replies[pump - 1], &error)) {
            return error.c_str();
        }
    }
    return std::string("pump1: ") + replies[0].c_str() + "\r\npump2: " + replies[1].c_str();
}

}  // namespace PumpInformation
