// Serial device discovery: finds the stage and the pumps among the COM ports,
// configures the pumps and reports what it found.

#include "devices/SerialDiscovery.h"

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "app/VelloraApp.h"
#include "devices/TecanCentris.h"
#include "devices/Zaber.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Sync.h"
#include "platform/Time.h"
#include "platform/UiBridge.h"
#include "support/AppLogs.h"
#include "support/Profile.h"
#include "support/SerialPort.h"

namespace {

constexpr int kPumpBaudRate = 9600;
constexpr int kStageBaudRate = 115200;
constexpr int kHighestComPort = 99;
constexpr uint32_t kQueryTimeoutMs = 200;
constexpr unsigned int kStageProbeTimeoutMs = 500;
constexpr int kRecoveryTries = 10;
constexpr const char* kSupportContact = "Tessaly support";

// Report lines end with CR LF like every text file of the program.
void Report(FILE* file, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Report(FILE* file, const char* format, ...) {
    if (!file) return;
    va_list args;
    va_start(args, format);
    CString text;
    text.FormatV(format, args);
    va_end(args);
    std::string out;
    for (char ch : text.str()) {
        if (ch == '\n' && (out.empty() || out.back() != '\r')) out += '\r';
        out += ch;
    }
    std::fwrite(out.data(), 1, out.size(), file);
    std::fflush(file);
}

std::string ReadSetting(const char* section, const char* key, int size) {
    std::vector<char> buffer(static_cast<size_t>(size) + 1, '\0');
    Tovanix::E_GetPrivateProfileString(section, key, "", buffer.data(), size, static_cast<const char*>(g_IniPath));
    return buffer.data();
}

int ReadIntSetting(const char* section, const char* key) {
    int value;
    return std::sscanf(ReadSetting(section, key, 31).c_str(), "%d", &value) == 1 ? value : 0;
}

// COM numbers of every port open in the serial layer, ascending.
std::vector<int> OpenPorts() {
    std::vector<int> ports;
    std::shared_lock<std::shared_mutex> lock(g_SerialPortsLock);
    for (int i = 0; i < g_SerialPorts.count; ++i) ports.push_back(g_SerialPorts.SortedAt(i)->comPort);
    return ports;
}

void RestoreTo9600(FILE* report, int port) {
    Tovanix::String error;
    if (!SetupSerialPort(port, kPumpBaudRate, &error)) {
        Report(report, "Failed to restore COM%ld to 9600 baud\n", static_cast<long>(port));
    }
}

// What the report's parameter table shows of the two pumps.
struct PumpParameters {
    int32_t position[2] = {0, 0};
    int32_t backlash[2] = {0, 0};
    int32_t startSpeed[2] = {0, 0};
    int32_t topSpeed[2] = {0, 0};
    int32_t cutoffSpeed[2] = {0, 0};
    int32_t rampUp[2] = {0, 0};
    int32_t rampDown[2] = {0, 0};
    int32_t range[2] = {0, 0};
    int32_t totalMoves[2] = {0, 0};
    Tovanix::String configuration[2];
    double temperature[2] = {0, 0};
};

void Log(const char* message, FILE* report) { LogErrAndInfo(__FILE__, __LINE__, message, report); }

}  // namespace

bool CVelloraApp::ReInitializeSerialPortDevices(FILE* callerReport) {
    FILE* report = callerReport;
    bool ownReport = false;
    if (!callerReport) {
        SYSTEMTIME today;
        GetLocalTime(&today);
        char name[96];
        std::snprintf(name, sizeof(name), "LOG\\ReInitializeSerialPortDevices_%04u_%02u_%02u.log", today.wYear,
                      today.wMonth, today.wDay);
        std::string path = platform::NativePath(platform::JoinPath(static_cast<const char*>(m_strDataRoot), name));
        report = std::fopen(path.c_str(), "ab");
        ownReport = report != nullptr;
        if (m_nPumpComPort != 0) ReleaseSerialPort(m_nPumpComPort);
        if (m_nStageComPort != 0) ReleaseSerialPort(m_nStageComPort);
        m_nPumpComPort = 0;
        m_nStageComPort = 0;
    }

    SYSTEMTIME start;
    GetLocalTime(&start);
    const bool pumpDetection =
        CString(ReadSetting("TecanCentris", "InitializeTecanPumpsOnStartup", 9).c_str()).CompareNoCase("FALSE") != 0;
    const bool stageDetection =
        CString(ReadSetting("Zaber", "InitializeZaberOnStartup", 9).c_str()).CompareNoCase("TRUE") == 0;
    Report(report, "Tessaly %s version %s\n", static_cast<const char*>(m_strDisplayName),
           static_cast<const char*>(m_strFileVersion));
    Report(report, "Time\t%04u/%02u/%02u %02u:%02u:%02u\n", start.wYear, start.wMonth, start.wDay, start.wHour,
           start.wMinute, start.wSecond);

    if (pumpDetection || stageDetection) {
        Report(report, "************ BEGIN COM Port detection ************\n");
        Report(report, "Finding active COM ports. COM1 -> COM99 will be checked.\n");
        for (int port = 1; port <= kHighestComPort; ++port) {
            Tovanix::String error;
            if (SetupSerialPort(port, kPumpBaudRate, &error)) {
                Report(report, "COM%ld is active, initialized at 9600 baud\n", static_cast<long>(port));
            }
        }
        Report(report, "************ END COM Port detection ************\n");
    }
    const std::vector<int> activePorts = OpenPorts();

    double stageTemperature = 0;
    if (stageDetection) {
        Report(report, "*************** BEGIN ZABER INITIALIZATION ************\n");
        for (int port : activePorts) {
            const long p = port;
            Tovanix::String error;
            ReleaseSerialPort(port);
            Report(report, "ReInitializing COM%ld at 115200 baud to check for Zaber\n", p);
            if (!SetupSerialPort(port, kStageBaudRate, &error)) {
                Report(report, "Failed to reinitialize COM%ld to 115200 baud, returning to 9600 baud\n", p);
                RestoreTo9600(report, port);
                continue;
            }
            Tovanix::String reply;
            int code = 0;
            bool answered = SendSerialCommand(port, "/get deviceid\n", '\n', &reply, kStageProbeTimeoutMs, 0, &code);
            if (answered) {
                Report(report, "Zaber device on COM%ld successfully responded to the \"/get deviceid\" command\n", p);
                if (reply.c_str()[0] == '@') {
                    m_nStageComPort = port;
                    m_nStageBaudRate = kStageBaudRate;
                    Report(report,
                           "Zaber good response on COM%ld to \"/get deviceid\" command at 115200 baud : response: "
                           "\"%s\" error_code: %ld\n",
                           p, reply.c_str(), static_cast<long>(code));
                    break;
                }
                Report(report, "Zaber bad response on COM%ld \"%s\" error_code: %ld\n", p, reply.c_str(),
                       static_cast<long>(code));
            } else {
                Report(report,
                       "Zaber failed to respond on COM%ld to \"/get deviceid\" command at 115200 baud : response: "
                       "\"%s\" error_code: %ld\n",
                       p, reply.c_str(), static_cast<long>(code));
            }
            ReleaseSerialPort(port);
            Report(report, "ReInitializing COM%ld at 9600 baud after attempt to connect to Zaber at 115200 baud\n", p);
            RestoreTo9600(report, port);
        }
        CString stageError;
        Zaber::GetTemperature(&stageTemperature, &stageError);
        Report(report, "*************** END ZABER INITIALIZATION ************\n");
    }

    PumpParameters pumps;
    int32_t backlashSetting = 0;
    if (pumpDetection) {
        bool busySeen = false;
        Report(report, "*************** BEGIN TECAN INITIALIZATION ************\n");
        for (int port : activePorts) {
            if (port == m_nStageComPort) continue;
            Report(report, "Attempting to connect to Tecan via COM%ld at 9600 baud\n", static_cast<long>(port));
            Tovanix::String error;
            int32_t position = 0;
            Tovanix::String status1;
            Tovanix::String status2;
            if (!TecanCentris::QueryLong(port, 1, "?1", &position, &error) ||
                !TecanCentris::SendCommand(port, 1, "?29", kQueryTimeoutMs, &status1, &error) ||
                !TecanCentris::SendCommand(port, 2, "?29", kQueryTimeoutMs, &status2, &error)) {
                continue;
            }
            if (Tovanix::String::CompareNoCase(status1.c_str(), "0") != 0 ||
                Tovanix::String::CompareNoCase(status2.c_str(), "0") != 0) {
                platform::ShowMessageBox(
                    "Tecan pumps are not ready to be initialized.  Please close the software and restart it in two "
                    "minutes.");
                Log("Tecan pumps are busy.", report);
                busySeen = true;
                continue;
            }
            Report(report, "Successfully connected to Tecan via COM%ld at 9600 baud\n", static_cast<long>(port));
            g_PumpTimingLogCallback = AddPumpLogLine;
            int minGap = ReadIntSetting("TecanCentris", "min_time_between_commands_ms");
            Tovanix::String gapError;
            if (!TecanCentris::SetMinimumTimeBetweenCommands(static_cast<uint16_t>(minGap), &gapError)) {
                Log(gapError.c_str(), report);
            }
            backlashSetting = ReadIntSetting("TecanCentris", "backlash_steps");

            if (!TecanCentris::QueryLong(port, 1, "?4", &pumps.backlash[0], &error)) continue;
            m_nPumpComPort = port;
            for (int pump = 1; pump <= 2; ++pump) {
                int32_t& backlash = pumps.backlash[pump - 1];
                Tovanix::String pumpError;
                if (pump == 2 && !TecanCentris::QueryLong(port, 2, "?4", &backlash, &pumpError)) {
                    Log(pumpError.c_str(), report);
                    continue;
                }
                if (backlash == backlashSetting) continue;
                if (!TecanCentris::SetBacklashSteps(port, pump, static_cast<uint32_t>(backlashSetting), &pumpError)) {
                    Log(pumpError.c_str(), report);
                }
                if (!TecanCentris::QueryLong(port, pump, "?4", &backlash, &pumpError)) {
                    Log(pumpError.c_str(), report);
                }
            }
            if (pumps.backlash[0] != backlashSetting || pumps.backlash[1] != backlashSetting) {
                char message[160];
                std::snprintf(message, sizeof(message),
                              "Failed to set pump backlash to %ld steps : current setting is pump1=%ld and pump2=%ld "
                              "steps",
                              static_cast<long>(backlashSetting), static_cast<long>(pumps.backlash[0]),
                              static_cast<long>(pumps.backlash[1]));
                Log(message, report);
            }

            struct Query {
                const char* command;
                int32_t* values;
            };
            const Query queries[] = {
                {"?1", pumps.position},     {"?6", pumps.startSpeed}, {"?7", pumps.topSpeed},
                {"?8", pumps.cutoffSpeed},  {"?9", pumps.rampUp},     {"?10", pumps.rampDown},
                {"?16", pumps.range},       {"?45", pumps.totalMoves},
            };
            for (const Query& query : queries) {
                for (int pump = 1; pump <= 2; ++pump) {
                    Tovanix::String ignored;
                    TecanCentris::QueryLong(port, pump, query.command, &query.values[pump - 1], &ignored);
                }
            }
            for (int pump = 1; pump <= 2; ++pump) {
                Tovanix::String ignored;
                TecanCentris::SendCommand(port, pump, "?76", kQueryTimeoutMs, &pumps.configuration[pump - 1],
                                          &ignored);
            }
            Tovanix::String ignored;
            TecanCentris::GetTemperature(port, &pumps.temperature[0], &pumps.temperature[1], &ignored);
            break;
        }
        if (m_nPumpComPort == 0 && !busySeen) {
            if (callerReport) {
                Report(callerReport, "Tecan pumps not detected\n");
                std::string message =
                    std::string("Failed to establish communication with QX4 pump.") +
                    "\n\nPlease close the application, power cycle the QX4 (and make sure it is on), wait for 30 "
                    "seconds and then restart Vellora.  \n\nIf problem persists, record the error message and "
                    "contact " +
                    kSupportContact + ".";
                Log(message.c_str(), nullptr);
                platform::ShowMessageBox(message, "Vellora", platform::MB_OK | platform::MB_ICONERROR);
            } else {
                Log("Tecan pumps not detected\n", report);
            }
        }
        Report(report, "*************** END TECAN INITIALIZATION ************\n");
    }

    for (int port : activePorts) {
        if (port != m_nPumpComPort && port != m_nStageComPort) ReleaseSerialPort(port);
    }

    Report(report, "# ComputerName=%s\n", platform::GetComputerName().c_str());
    if (m_nPumpComPort != 0) {
        Report(report, "Tecan pumps detected on COM%ld\n", static_cast<long>(m_nPumpComPort));
        Report(report, "Param\tPump1\tPump2\n");
        auto row = [&](const char* name, const int32_t* values) {
            Report(report, "%s\t%ld\t%ld\n", name, static_cast<long>(values[0]), static_cast<long>(values[1]));
        };
        row("pump_position", pumps.position);
        row("pump_backlash", pumps.backlash);
        Report(report, "pump_backlash_setting\t%ld\n", static_cast<long>(backlashSetting));
        row("pump_start_speed", pumps.startSpeed);
        row("pump_top_speed", pumps.topSpeed);
        row("pump_cutoff_speed", pumps.cutoffSpeed);
        row("pump_ramp_up_slope", pumps.rampUp);
        row("pump_ramp_down_slope", pumps.rampDown);
        row("pump_range", pumps.range);
        row("pump_total_moves", pumps.totalMoves);
        Report(report, "pump_configuration\t%s\t%s\n", pumps.configuration[0].c_str(), pumps.configuration[1].c_str());
        Report(report, "pump TC\t%5.2lf\t%5.3lf\n", pumps.temperature[0], pumps.temperature[1]);
    } else {
        Report(report, "Tecan pumps not detected\n");
    }
    if (m_nStageComPort != 0) Report(report, "zaber TC\t%5.2lf\n", stageTemperature);

    if (ownReport) std::fclose(report);
    return (!pumpDetection || m_nPumpComPort != 0) && (!stageDetection || m_nStageComPort != 0);
}

bool RecoverSerialPortDevices() {
    Sleep(250);
    bool found = false;
    for (int attempt = 0; attempt < kRecoveryTries && !found; ++attempt) {
        if (attempt > 0) Sleep(1000);
        found = theApp.ReInitializeSerialPortDevices(nullptr);
    }
    g_SerialPortFailureHook = OnSerialPortFailure;
    return found;
}
