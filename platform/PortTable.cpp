#include "platform/PortTable.h"

#include <cstdlib>
#include <map>
#include <mutex>
#include <strings.h>

#include "platform/Files.h"
#include "platform/Folders.h"

namespace platform {

namespace {

constexpr const char* kPortsVariable = "VELLORA_COM_PORTS";
constexpr const char* kPortsFile = "ComPorts.ini";

std::mutex g_mutex;
std::map<int, std::string> g_registered;

std::string Trimmed(const std::string& text) {
    const char* blanks = " \t\r\n";
    size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// Reads one entry "5=/dev/ttyUSB0" or "COM5=/dev/ttyUSB0" into the table;
// anything else (comments, sections, bad numbers) is skipped.
void AddEntry(const std::string& entry, std::map<int, std::string>* table) {
    size_t equals = entry.find('=');
    if (equals == std::string::npos) return;
    std::string port = Trimmed(entry.substr(0, equals));
    std::string device = Trimmed(entry.substr(equals + 1));
    if (port.size() > 3 && strncasecmp(port.c_str(), "COM", 3) == 0) port.erase(0, 3);
    if (port.empty() || port.size() > 4 || device.empty()) return;
    for (char ch : port) {
        if (ch < '0' || ch > '9') return;
    }
    int number = std::atoi(port.c_str());
    if (number > 0) (*table)[number] = device;
}

void AddEntries(const std::string& text, char separator, std::map<int, std::string>* table) {
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find(separator, pos);
        if (end == std::string::npos) end = text.size();
        AddEntry(text.substr(pos, end - pos), table);
        pos = end + 1;
    }
}

// The whole table as it stands now: the file, then the environment, then the
// run-time registrations, each overriding the one before. The file and the
// variable are read on every call, so a changed setting applies at once.
std::map<int, std::string> CurrentTable() {
    std::map<int, std::string> table;
    std::string file = FindFileIgnoringCase(JoinPath(ProgramDataFolder(), kPortsFile));
    std::string text;
    if (!file.empty() && ReadWholeFile(file, &text)) AddEntries(text, '\n', &table);
    if (const char* variable = std::getenv(kPortsVariable)) AddEntries(variable, ';', &table);
    std::lock_guard<std::mutex> lock(g_mutex);
    for (const auto& [number, device] : g_registered) table[number] = device;
    return table;
}

}  // namespace

std::string ComPortDevicePath(int comNumber) {
    if (comNumber <= 0) return {};
    auto table = CurrentTable();
    auto found = table.find(comNumber);
    return found == table.end() ? std::string() : found->second;
}

void RegisterComPort(int comNumber, const std::string& devicePath) {
    if (comNumber <= 0) return;
    std::lock_guard<std::mutex> lock(g_mutex);
    if (devicePath.empty()) {
        g_registered.erase(comNumber);
    } else {
        g_registered[comNumber] = devicePath;
    }
}

void UnregisterComPort(int comNumber) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_registered.erase(comNumber);
}

std::vector<int> KnownComPorts() {
    std::vector<int> numbers;
    for (const auto& entry : CurrentTable()) numbers.push_back(entry.first);
    return numbers;
}

}  // namespace platform
