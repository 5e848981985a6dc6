#include "devices/DigitalIO.h"

#include <cstdio>
#include <initializer_list>
#include <mutex>
#include <string>

#include "app/VelloraApp.h"
#include "platform/UiBridge.h"
#include "support/AppLogs.h"
#include "support/Profile.h"

std::array<std::vector<DIOPortLine>, 2> g_DIOPortTable;
int g_DIOLinePort[kDIOLogicalLines] = {};
int g_DIOLineNumber[kDIOLogicalLines] = {};
int g_DIOLineStateForLogicHigh[kDIOLogicalLines] = {};
TaskHandle g_DIOPort0InputTask = nullptr;
TaskHandle g_DIOPort0OutputTask = nullptr;
TaskHandle g_DIOPort1Task = nullptr;
Tovanix::String g_DIODeviceName[2];
CString g_DIOPort1Channel;
platform::Semaphore* g_DIOSemaphore = nullptr;

namespace {

constexpr uint32_t kAccessWaitMs = 1000;
constexpr float64 kIoTimeoutSeconds = 10.0;
constexpr int kLineCount[2] = {8, 4};
const char* const kDefaultDeviceName = "Dev1";

// Guards both line tables: readers never see them half rebuilt.
std::mutex g_DIOTableMutex;
// Held across a read-modify-write of a port, so that two threads switching
// different lines of one port never lose each other's change.
std::mutex g_DIOLineChangeMutex;
std::once_flag g_DIOSemaphoreOnce;

CString DaqErrorText(int32 status) {
    char text[1024] = "";
    DAQmxGetErrorString(status, text, sizeof text);
    return CString(text);
}

std::string ReadSetting(const char* section, const char* key, int bufferSize) {
    std::vector<char> buffer(static_cast<size_t>(bufferSize) + 1, '\0');
    if (!Tovanix::E_GetPrivateProfileString(section, key, "", buffer.data(), static_cast<int>(buffer.size()),
                                            g_IniPath)) {
        return std::string();
    }
    return std::string(buffer.data());
}

bool ParseInt(const std::string& text, int* value) { return std::sscanf(text.c_str(), "%d", value) == 1; }

// A [DIO_Config] number: missing or not a number gives the default; values
// outside the range are held at its ends.
int ReadBoundedSetting(const char* key, int defaultValue, int low, int high) {
    int value = 0;
    if (!ParseInt(ReadSetting("DIO_Config", key, 31), &value)) return defaultValue;
    return value < low ? low : value > high ? high : value;
}

// "%s() : line=%ld : %s", the message made of four pieces joined by blanks.
CString ArgumentError(const char* operation, long sourceLine, std::initializer_list<std::string> pieces) {
    std::string message;
    bool first = true;
    for (const auto& piece : pieces) {
        if (!first) message += ' ';
        message += piece;
        first = false;
    }
    CString error;
    error.Format("%s() : line=%ld : %s", operation, sourceLine, message.c_str());
    return error;
}

// The port (0 or 1), then the line (0..7 on port 0, 0..3 on port 1).
bool CheckPortAndLine(const char* operation, long sourceLine, int port, int line, CString* error) {
    if (port != 0 && port != 1) {
        *error = ArgumentError(operation, sourceLine, {"invalid port:", std::to_string(port), " must be between 0 and 1", ""});
        return false;
    }
    if (line < 0 || line >= kLineCount[port]) {
        *error = ArgumentError(operation, sourceLine,
                               {"invalid port:", std::to_string(port), " must be between 0 and ",
                                std::to_string(kLineCount[port] - 1)});
        return false;
    }
    return true;
}

bool ValidPortLine(int port, int line) { return (port == 0 || port == 1) && line >= 0 && line < kLineCount[port]; }

DIOPortLine TableEntry(int port, int line) {
    std::lock_guard<std::mutex> lock(g_DIOTableMutex);
    const auto& entries = g_DIOPortTable[static_cast<size_t>(port)];
    return static_cast<size_t>(line) < entries.size() ? entries[static_cast<size_t>(line)] : DIOPortLine{0, 0};
}

std::vector<DIOPortLine> PortEntries(int port) {
    std::lock_guard<std::mutex> lock(g_DIOTableMutex);
    return g_DIOPortTable[static_cast<size_t>(port)];
}

void DisposeTask(TaskHandle& task) {
    if (task) DAQmxClearTask(task);
    task = nullptr;
}

// Creates a port-0 task, resetting the device and trying once more when the
// first creation fails.
bool CreatePort0Task(TaskHandle* task, CString* error) {
    if (DAQmxCreateTask("", task) >= 0) return true;
    *task = nullptr;
    const int32 reset = DAQmxResetDevice(g_DIODeviceName[0].c_str());
    if (reset < 0) {
        error->Format("Initialize_NIBoard() : DAQmxResetDevice () returns error : %s", DaqErrorText(reset).GetString());
        return false;
    }
    const int32 status = DAQmxCreateTask("", task);
    if (status < 0) {
        *task = nullptr;
        error->Format("Initialize_NIBoard() : DAQmxCreateTask () returns error : %s", DaqErrorText(status).GetString());
        return false;
    }
    return true;
}

bool CheckDevice(const char* deviceName, CString* error) {
    char productType[256] = "";
    const int32 status = DAQmxGetDeviceAttribute(deviceName, DAQmx_Dev_ProductType, productType, sizeof productType);
    if (status < 0) {
        error->Format("Initialize_DIO() : DAQmxGetDeviceAttribute (%s) returns error : %s", deviceName,
                      DaqErrorText(status).GetString());
        return false;
    }
    return true;
}

Tovanix::String ReadDeviceName() {
    std::string name = ReadSetting("DigitalIO", "NI_USB-6001_Device_Name", 1023);
    if (name.empty()) name = kDefaultDeviceName;
    return Tovanix::String(name.c_str());
}

bool StartPort0(CString* error) {
    g_DIODeviceName[0] = ReadDeviceName();
    Tovanix::E_WritePrivateProfileString("DigitalIO", "NI_USB-6001_Device_Name", g_DIODeviceName[0].c_str(),
                                         g_IniPath);
    if (!CreatePort0Task(&g_DIOPort0InputTask, error) || !CreatePort0Task(&g_DIOPort0OutputTask, error) ||
        !CheckDevice(g_DIODeviceName[0].c_str(), error)) {
        return false;
    }
    for (int line = 0; line < 8; ++line) {
        if (!configure_DIO_hw_line_type(0, line, error)) return false;
    }
    return true;
}

bool StartPort1(CString* error) {
    int32 status = DAQmxCreateTask("", &g_DIOPort1Task);
    if (status < 0) {
        g_DIOPort1Task = nullptr;
        error->Format("Initialize_NIBoard() : DAQmxCreateTask () returns error : %s", DaqErrorText(status).GetString());
        return false;
    }
    g_DIODeviceName[1] = ReadDeviceName();
    if (!CheckDevice(g_DIODeviceName[1].c_str(), error)) return false;
    g_DIOPort1Channel.Format("%s/%s", g_DIODeviceName[1].c_str(), "port1");
    if (g_DIOPort1Channel.GetLength() > 44) g_DIOPort1Channel = g_DIOPort1Channel.Left(44);
    status = DAQmxCreateDOChan(g_DIOPort1Task, g_DIOPort1Channel, "", DAQmx_Val_ChanForAllLines);
    if (status < 0) {
        error->Format("Initialize_DIO() : DAQmxCreateDOChan () retuns error : %s", DaqErrorText(status).GetString());
        return false;
    }
    uInt32 lines = 0;
    status = DAQmxGetDONumLines(g_DIOPort1Task, g_DIOPort1Channel, &lines);
    if (status < 0) {
        error->Format("Initialize_DIO() : DAQmxGetDONumLines () retuns error : %s", DaqErrorText(status).GetString());
        return false;
    }
    if (lines != 4) {
        error->Format("Initialize_DIO() : DAQmxGetDONumLines () retuns error %ld lines, expecting 4 lines",
                      static_cast<long>(lines));
        return false;
    }
    return true;
}

// Waits for the access semaphore on behalf of a port operation.
bool EnterPortOperation(const char* operation, TaskHandle task, CString* error) {
    if (!task) {
        *error = "Digital I/O device not found.";
        return false;
    }
    if (!g_DIOSemaphore) {
        *error = "Digital I/O semphore not initialized.";
        return false;
    }
    if (!g_DIOSemaphore->Wait(kAccessWaitMs)) {
        error->Format("%s() : Timeout after waiting 1 second to access NI USB-6001 device.", operation);
        return false;
    }
    return true;
}

}  // namespace

bool Initialize_DIO(CString* error, bool forceReset) {
    std::call_once(g_DIOSemaphoreOnce, [] { g_DIOSemaphore = new platform::Semaphore(1, 1); });
    if (!g_DIOSemaphore) {
        *error = "Initialize_DIO () : unable to create semaphore to synchronize access to NI USB-6001 device.";
        return false;
    }
    platform::SemaphoreLock access(*g_DIOSemaphore, kAccessWaitMs);
    if (!access.Held()) {
        *error = "Initialize_DIO() : Timeout after waiting 1 second to access NI USB-6001 device.";
        return false;
    }

    if (!g_DIOPort0InputTask || forceReset) LoadInterlockMapping();
    if (forceReset) {
        if (g_DIOPort0InputTask) DAQmxResetDevice(g_DIODeviceName[0].c_str());
        if (g_DIOPort1Task) DAQmxResetDevice(g_DIODeviceName[1].c_str());
    }

    if (!g_DIOPort0InputTask || forceReset) {
        // Tasks are replaced as a whole; a half-made port is disposed so the
        // next call starts it again instead of reporting it ready.
        DisposeTask(g_DIOPort0InputTask);
        DisposeTask(g_DIOPort0OutputTask);
        if (!StartPort0(error)) {
            DisposeTask(g_DIOPort0InputTask);
            DisposeTask(g_DIOPort0OutputTask);
            return false;
        }
    }

    if (g_DIOPort1Task && !forceReset) return true;
    DisposeTask(g_DIOPort1Task);
    if (!StartPort1(error)) {
        DisposeTask(g_DIOPort1Task);
        return false;
    }
    return true;
}

bool LoadInterlockMapping() {
    std::array<std::vector<DIOPortLine>, 2> table;
    table[0].assign(8, DIOPortLine{0, 0});
    table[1].assign(4, DIOPortLine{0, 0});
    auto publish = [&table] {
        std::lock_guard<std::mutex> lock(g_DIOTableMutex);
        g_DIOPortTable = table;
    };

    if (CString(ReadSetting("DIO_Config", "Mapping", 1023)).CompareNoCase("Interlock") != 0) {
        publish();
        return true;
    }
    struct Sensor {
        const char* lineKey;
        const char* portKey;
    };
    for (const Sensor& sensor : {Sensor{"Cartridge_Line", "Cartridge_Port"}, Sensor{"Clamp_Line", "Clamp_Port"}}) {
        int line = 0, port = 0;
        const bool lineParsed = ParseInt(ReadSetting("DIO_Config", sensor.lineKey, 31), &line);
        const bool portParsed = ParseInt(ReadSetting("DIO_Config", sensor.portKey, 31), &port);
        const char* badKey = nullptr;
        if (!lineParsed) {
            badKey = sensor.lineKey;
        } else if (!portParsed || port < 0 || port > 1) {
            badKey = sensor.portKey;
        } else if (line < 0 || line >= kLineCount[port]) {
            badKey = sensor.lineKey;
        }
        if (badKey) {
            CString message;
            message.Format("ExperimentSettings.ini [%s] %s is missing or invalid", "DIO_Config", badKey);
            LogErrAndInfo("DigitalIO", __LINE__, message, nullptr);
            publish();
            return false;
        }
        table[static_cast<size_t>(port)][static_cast<size_t>(line)].is_input = 1;
    }
    publish();
    return true;
}

bool LoadDIOMapping(CString* error) {
    std::string mapping = ReadSetting("DIO_Config", "Mapping", 1023);
    if (mapping.empty()) mapping = "Interlock";
    const bool fluigent = CString(mapping).CompareNoCase("Fluigent") == 0;

    int ledPort[4], ledLine[4];
    for (int led = 0; led < 4; ++led) {
        char key[32];
        std::snprintf(key, sizeof key, "LED%d_port", led);
        ledPort[led] = ReadBoundedSetting(key, 0, 0, 1);
        std::snprintf(key, sizeof key, "LED%d_line", led);
        ledLine[led] = ReadBoundedSetting(key, led, 0, 7);
    }
    const int cartridgePort = ReadBoundedSetting("Cartridge_Port", 0, 0, 1);
    const int cartridgeLine = ReadBoundedSetting("Cartridge_Line", 0, 0, 7);
    const int cartridgeHigh = ReadBoundedSetting("Cartridge_StateForLogicHigh", 1, 0, 1);
    const int clampPort = ReadBoundedSetting("Clamp_Port", 0, 0, 1);
    const int clampLine = ReadBoundedSetting("Clamp_Line", 0, 0, 7);
    const int clampHigh = ReadBoundedSetting("Clamp_StateForLogicHigh", 1, 0, 1);

    std::string slots[16];
    auto assign = [&slots](int port, int line, const char* label) {
        std::string& slot = slots[port * 8 + line];
        slot += slot.empty() ? label : std::string(" + ") + label;
    };
    for (int led = 0; led < 4; ++led) {
        char label[8];
        std::snprintf(label, sizeof label, "LED%d", led);
        assign(ledPort[led], ledLine[led], label);
    }
    if (fluigent) {
        platform::ShowMessageBox("Mapping Error in Vellora.ini file.");
    } else {
        assign(cartridgePort, cartridgeLine, "Cartridge");
        assign(clampPort, clampLine, "Clamp");
    }
    for (int slot = 0; slot < 16; ++slot) {
        if (slots[slot].empty()) continue;
        if (slot >= 12) {
            error->AppendFormat("D I/O invalid assignment, port 1 has only lines 0,1,2,3. %s assigned to port %ld line %ld\n",
                                slots[slot].c_str(), static_cast<long>(slot / 8), static_cast<long>(slot % 8));
        } else if (slots[slot].find('+') != std::string::npos) {
            error->AppendFormat("D I/O line assignment collision. %s assigned to port %ld line %ld\n", slots[slot].c_str(),
                                static_cast<long>(slot / 8), static_cast<long>(slot % 8));
        }
    }
    if (!error->IsEmpty()) return false;

    {
        std::lock_guard<std::mutex> lock(g_DIOTableMutex);
        for (int led = 0; led < 4; ++led) {
            g_DIOLinePort[3 + led] = ledPort[led];
            g_DIOLineNumber[3 + led] = ledLine[led];
        }
        for (int& state : g_DIOLineStateForLogicHigh) state = 1;
        g_DIOLinePort[7] = cartridgePort;
        g_DIOLineNumber[7] = cartridgeLine;
        g_DIOLineStateForLogicHigh[7] = cartridgeHigh;
        g_DIOLinePort[8] = clampPort;
        g_DIOLineNumber[8] = clampLine;
        g_DIOLineStateForLogicHigh[8] = clampHigh;
    }
    LoadInterlockMapping();
    return true;
}

bool configure_DIO_hw_line_type(int port, int line, CString* error) {
    CString physical, name;
    physical.Format("%s/port%ld/line%ld", g_DIODeviceName[0].c_str(), static_cast<long>(port), static_cast<long>(line));
    name.Format("p%ld l%ld", static_cast<long>(port), static_cast<long>(line));
    if (TableEntry(port, line).is_input) {
        const int32 status = DAQmxCreateDIChan(g_DIOPort0InputTask, physical, name, DAQmx_Val_ChanPerLine);
        if (status < 0) {
            error->Format("Initialize_DIO() : DAQmxCreateDIChan () retuns error : %s", DaqErrorText(status).GetString());
            return false;
        }
    } else {
        const int32 status = DAQmxCreateDOChan(g_DIOPort0OutputTask, physical, name, DAQmx_Val_ChanPerLine);
        if (status < 0) {
            error->Format("Initialize_DIO() : DAQmxCreateDOChan () retuns error : %s", DaqErrorText(status).GetString());
            return false;
        }
    }
    return true;
}

bool ConfigureDIOLineType(int port, int line, int type, CString* error) {
    if (!CheckPortAndLine("ConfigureDIOLineType", __LINE__, port, line, error)) return false;
    {
        std::lock_guard<std::mutex> lock(g_DIOTableMutex);
        g_DIOPortTable[static_cast<size_t>(port)].resize(static_cast<size_t>(kLineCount[port]), DIOPortLine{0, 0});
        g_DIOPortTable[static_cast<size_t>(port)][static_cast<size_t>(line)].is_input = type ? 0 : 1;
    }
    if (port != 0) return true;
    // The channel is made under the access semaphore like every device call.
    if (!g_DIOSemaphore) {
        *error = "Digital I/O semphore not initialized.";
        return false;
    }
    platform::SemaphoreLock access(*g_DIOSemaphore, kAccessWaitMs);
    if (!access.Held()) {
        *error = "ConfigureDIOLineType() : Timeout after waiting 1 second to access NI USB-6001 device.";
        return false;
    }
    return configure_DIO_hw_line_type(port, line, error);
}

bool GetDIOLineType(int port, int line, int* type, CString* error) {
    if (!CheckPortAndLine("GetDIOLineType", __LINE__, port, line, error)) return false;
    *type = TableEntry(port, line).is_input ? 0 : 1;
    return true;
}

bool GetDIOInputLineState(int port, int line, bool* state, CString* error) {
    if (!ValidPortLine(port, line) || !TableEntry(port, line).is_input) {
        char text[96];
        std::snprintf(text, sizeof text, "iport=%ld iline=%ld is not configured as in input line",
                      static_cast<long>(port), static_cast<long>(line));
        *error = ArgumentError("GetDIOInputLineState", __LINE__, {text, "0", "0", "0"});
        return false;
    }
    unsigned char value = 0;
    if (!(port == 0 ? read_port0(&value, error) : read_port1(&value, error))) return false;
    *state = (value >> line) & 1u;
    return true;
}

bool SetDIOOutputLineState(int port, int line, bool on, CString* error) {
    if (!ValidPortLine(port, line) || TableEntry(port, line).is_input) {
        char text[96];
        std::snprintf(text, sizeof text, "port=%ld line=%ld is configured for input.", static_cast<long>(port),
                      static_cast<long>(line));
        *error = ArgumentError("SetDIOOutputLineState", __LINE__, {text, "0", "0", "0"});
        return false;
    }
    std::lock_guard<std::mutex> change(g_DIOLineChangeMutex);
    unsigned char value = 0;
    {
        std::lock_guard<std::mutex> lock(g_DIOTableMutex);
        auto& entries = g_DIOPortTable[static_cast<size_t>(port)];
        if (entries.size() < static_cast<size_t>(kLineCount[port])) {
            entries.resize(static_cast<size_t>(kLineCount[port]), DIOPortLine{0, 0});
        }
        if ((entries[static_cast<size_t>(line)].state != 0) == on) return true;
        // Kept even when the write fails.
        entries[static_cast<size_t>(line)].state = on ? 1 : 0;
        for (size_t i = 0; i < entries.size(); ++i) {
            if (!entries[i].is_input && entries[i].state == 1) value |= static_cast<unsigned char>(1u << i);
        }
    }
    return port == 0 ? set_port0(value, error) : set_port1(value, error);
}

bool read_port0(unsigned char* value, CString* error) {
    error->Empty();
    if (!EnterPortOperation("read_port0", g_DIOPort0InputTask, error)) return false;
    unsigned char result = 0;
    const std::vector<DIOPortLine> entries = PortEntries(0);
    bool anyInput = false;
    for (const auto& entry : entries) anyInput = anyInput || entry.is_input;
    if (anyInput) {
        uint16_t raw = 0;
        int32 read = 0, bytesPerSample = 0;
        const int32 status = g_DIOPort0InputTask
                                 ? DAQmxReadRaw(g_DIOPort0InputTask, 1, kIoTimeoutSeconds, &raw, sizeof raw, &read,
                                                &bytesPerSample, nullptr)
                                 : DAQmxErrorInvalidTask;
        if (status < 0) {
            error->Format("read_port0() : DAQmxReadRaw () returns error : %s", DaqErrorText(status).GetString());
            raw = 0;
        }
        result = static_cast<unsigned char>(raw & 0xFF);
    }
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].is_input) continue;
        const unsigned char bit = static_cast<unsigned char>(1u << i);
        result = static_cast<unsigned char>(entries[i].state ? (result | bit) : (result & ~bit));
    }
    g_DIOSemaphore->Release();
    *value = result;
    return error->IsEmpty();
}

bool set_port0(unsigned char value, CString* error) {
    if (!EnterPortOperation("set_port0", g_DIOPort0OutputTask, error)) return false;
    int32 written = 0;
    const int32 status = g_DIOPort0OutputTask
                             ? DAQmxWriteRaw(g_DIOPort0OutputTask, 1, 1, kIoTimeoutSeconds, &value, &written, nullptr)
                             : DAQmxErrorInvalidTask;
    if (status >= 0) {
        std::lock_guard<std::mutex> lock(g_DIOTableMutex);
        auto& entries = g_DIOPortTable[0];
        for (size_t i = 0; i < entries.size(); ++i) {
            if (!entries[i].is_input) entries[i].state = (value >> i) & 1u;
        }
    } else {
        error->Format("set_port0() : DAQmxWriteRaw () returns error : %s", DaqErrorText(status).GetString());
    }
    g_DIOSemaphore->Release();
    return status >= 0;
}

bool read_port1(unsigned char* value, CString* error) {
    if (!EnterPortOperation("read_port1", g_DIOPort1Task, error)) return false;
    *value = 0;
    int32 read = 0;
    const int32 status = g_DIOPort1Task ? DAQmxReadDigitalU8(g_DIOPort1Task, 1, kIoTimeoutSeconds,
                                                             DAQmx_Val_GroupByChannel, value, 1, &read, nullptr)
                                        : DAQmxErrorInvalidTask;
    if (status < 0) {
        error->Format("read_port1() : DAQmxReadDigitalU8 () returns error : %s", DaqErrorText(status).GetString());
    }
    g_DIOSemaphore->Release();
    return status >= 0;
}

bool set_port1(unsigned char value, CString* error) {
    if (!EnterPortOperation("set_port1", g_DIOPort1Task, error)) return false;
    int32 written = 0;
    const int32 status = g_DIOPort1Task ? DAQmxWriteDigitalU8(g_DIOPort1Task, 1, 1, kIoTimeoutSeconds,
                                                              DAQmx_Val_GroupByChannel, &value, &written, nullptr)
                                        : DAQmxErrorInvalidTask;
    if (status < 0) {
        error->Format("set_port1() : DAQmxWriteDigitalU8 () returns error : %s", DaqErrorText(status).GetString());
    }
    g_DIOSemaphore->Release();
    return status >= 0;
}

bool ReadDIOLines(int port, unsigned char* value, CString* error) {
    if (!Initialize_DIO(error, false)) return false;
    if (port == 0) return read_port0(value, error);
    if (port == 1) return read_port1(value, error);
    error->Format("ReadDIOLines() - port=%ld, valid ports are 0 and 1.", static_cast<long>(port));
    return false;
}

bool SetDIOLines(int port, unsigned char value, CString* error) {
    if (!Initialize_DIO(error, false)) return false;
    if (port == 0) return set_port0(value, error);
    if (port == 1) return set_port1(value, error);
    error->Format("SetDIOLines() - port=%ld, valid ports are 0 and 1.", static_cast<long>(port));
    return false;
}

namespace {

// Switches one mapped line by reading its port, changing the bit and writing
// the port back, all under the line-change lock.
bool ChangeDIOLine(const char* operation, int logicalLine, bool on, CString* error) {
    if (logicalLine < 0 || logicalLine >= kDIOLogicalLines) {
        error->Format("%s () : Invalid Digital I/O configuration for dio_idx=%ld", operation,
                      static_cast<long>(logicalLine));
        return false;
    }
    int port = 0, line = 0;
    {
        std::lock_guard<std::mutex> lock(g_DIOTableMutex);
        port = g_DIOLinePort[logicalLine];
        line = g_DIOLineNumber[logicalLine];
    }
    if (on && TableEntry(port, line).is_input) {
        error->Format("SetDIOLine () : Attempt to set the value of an input only digital i/o line, dio_idx=%ld",
                      static_cast<long>(logicalLine));
        return false;
    }
    std::lock_guard<std::mutex> change(g_DIOLineChangeMutex);
    unsigned char value = 0;
    if (!ReadDIOLines(port, &value, error)) return false;
    const unsigned char bit = static_cast<unsigned char>(1u << line);
    value = static_cast<unsigned char>(on ? (value | bit) : (value & ~bit));
    return SetDIOLines(port, value, error);
}

}  // namespace

bool SetDIOLine(int logicalLine, CString* error) { return ChangeDIOLine("SetDIOLine", logicalLine, true, error); }

bool ClearDIOLine(int logicalLine, CString* error) { return ChangeDIOLine("ClearDIOLine", logicalLine, false, error); }
