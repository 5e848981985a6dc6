#include "platform/PortTable.h"

#include <cstdlib>
#include <map>
#include <mutex>
#include <strings.h>
#include <sys/stat.h>

#include "platform/Files.h"
#include "platform/Folders.h"

namespace platform {

namespace {

constexpr const char* kPortsVariable = "VELLORA_COM_PORTS";
constexpr const char* kPortsFile = "ComPorts.ini";

std::mutex g_mutex;
std::map<int, std::string> g_registered;

// The file's entries as last read, with what identified the file then.
struct FileEntries {
    bool read = false;
    std::string path;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    std::map<int, std::string> entries;
};
std::mutex g_fileMutex;
FileEntries g_file;
std::string g_variableText;
std::map<int, std::string> g_variableEntries;

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

bool SameFile(const FileEntries& cached, const std::string& path, const struct stat& now) {
    return cached.read && cached.path == path && cached.device == now.st_dev && cached.inode == now.st_ino &&
           cached.size == now.st_size && cached.modified.tv_sec == now.st_mtim.tv_sec &&
           cached.modified.tv_nsec == now.st_mtim.tv_nsec;
}

// The whole table as it stands now: the file, then the environment, then the
// run-time registrations, each overriding the one before. Discovery looks up
// every COM number, so the file is parsed once and again only when it changes
// (another file, size or modification time), and the variable only when its
// text changes; a changed setting still applies at the next lookup.
std::map<int, std::string> CurrentTable() {
    std::map<int, std::string> table;
    {
        std::lock_guard<std::mutex> lock(g_fileMutex);
        std::string file = FindFileIgnoringCase(JoinPath(ProgramDataFolder(), kPortsFile));
        struct stat status {};
        if (file.empty() || stat(file.c_str(), &status) != 0) {
            g_file = FileEntries{};
        } else if (!SameFile(g_file, file, status)) {
            FileEntries fresh;
            std::string text;
            if (ReadWholeFile(file, &text)) {
                AddEntries(text, '\n', &fresh.entries);
                fresh.read = true;
                fresh.path = file;
                fresh.device = status.st_dev;
                fresh.inode = status.st_ino;
                fresh.size = status.st_size;
                fresh.modified = status.st_mtim;
            }
            g_file = std::move(fresh);
        }
        table = g_file.entries;

        const char* variable = std::getenv(kPortsVariable);
        const std::string variableText = variable ? variable : "";
        if (variableText != g_variableText) {
            g_variableEntries.clear();
            AddEntries(variableText, ';', &g_variableEntries);
            g_variableText = variableText;
        }
        for (const auto& [number, device] : g_variableEntries) table[number] = device;
    }
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
