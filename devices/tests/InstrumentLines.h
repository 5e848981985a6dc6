#pragma once

// Test fixture: the virtual instrument's serial devices behind real
// pseudo-terminals, reached through the program's own serial layer. The pumps
// answer on COM5, the stage on COM6 and COM3 is a line with nothing on it
// (unless a test makes it answer).
// Time runs on a manual clock, so retry pauses and polls cost nothing.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <poll.h>
#include <unistd.h>

#include "app/VelloraApp.h"
#include "devices/TecanCentris.h"
#include "devices/Zaber.h"
#include "platform/Clock.h"
#include "platform/Folders.h"
#include "platform/PortTable.h"
#include "platform/UiBridge.h"
#include "sim/PumpSimulator.h"
#include "sim/Pty.h"
#include "sim/StageSimulator.h"
#include "sim/VirtualInstrument.h"
#include "support/AppLogs.h"
#include "support/SerialPort.h"

namespace devices_testing {

constexpr int kPumpPort = 5;
constexpr int kStagePort = 6;
constexpr int kSilentPort = 3;

class InstrumentLines : public ::testing::Test {
protected:
    void SetUp() override {
        auto& instrument = sim::VirtualInstrument::Instance();
        {
            auto lock = instrument.Lock();
            instrument.State() = sim::InstrumentState{};
        }
        dataRoot = platform::PublicDocumentsFolder();
        std::filesystem::create_directories(dataRoot + "/LOG");
        theApp.m_strDataRoot = dataRoot.c_str();
        theApp.m_strIniPath = (dataRoot + "/Vellora.ini").c_str();
        theApp.m_strDisplayName = "Vellora";
        theApp.m_strFileVersion = "1.0.0.7";
        g_IniPath = theApp.m_strIniPath;
        SetAppLogSources({&theApp.m_strDataRoot, &theApp.m_strFileVersion, &theApp.m_strDisplayName, &g_IniPath});
        WriteSettings("");

        pumps = std::make_unique<sim::PumpSimulator>();
        stage = std::make_unique<sim::StageSimulator>();
        pumps->SetSpeedFactor(0);
        stage->SetSpeedFactor(0);
        ASSERT_TRUE(pumps->Start(kPumpPort));
        ASSERT_TRUE(stage->Start(kStagePort));
        ASSERT_TRUE(silentLine.Open(nullptr));
        platform::RegisterComPort(kSilentPort, silentLine.SlavePath());
    }

    void TearDown() override {
        g_SerialPortFailureHook = nullptr;
        g_PumpTimingLogCallback = nullptr;
        g_PumpMinTimeBetweenCommandsMs = 0;
        g_PumpLastCommandTime = 0;
        for (int port : {kSilentPort, kPumpPort, kStagePort}) ReleaseSerialPort(port);
        theApp.m_nPumpComPort = 0;
        theApp.m_nStageComPort = 0;
        theApp.m_nStageBaudRate = 0;
        theApp.m_pMainWnd = nullptr;
        g_ZaberStepsPerMM_Z = g_ZaberStepsPerMM_X = 0;
        g_ZaberFocusDeviceIndex = g_ZaberXAxisDeviceIndex = g_ZaberFocusAxisIndex = g_ZaberXAxisIndex = 0;
        platform::UnregisterComPort(kSilentPort);
    }

    // Replaces the main settings file; `text` uses "\n" line ends.
    void WriteSettings(const std::string& text) {
        std::ofstream file(dataRoot + "/Vellora.ini", std::ios::binary | std::ios::trunc);
        for (char ch : text) {
            if (ch == '\n') file << '\r';
            file << ch;
        }
    }

    // Opens the pump line as discovery leaves it and initialises both pumps.
    void OpenPumps() {
        Tovanix::String error;
        ASSERT_TRUE(SetupSerialPort(kPumpPort, 9600, &error)) << error.c_str();
        theApp.m_nPumpComPort = kPumpPort;
        ASSERT_TRUE(TecanCentris::InitializeSyringePump(kPumpPort, 1, &error)) << error.c_str();
        ASSERT_TRUE(TecanCentris::InitializeSyringePump(kPumpPort, 2, &error)) << error.c_str();
        pumps->ClearReceived();
    }

    void OpenStage() {
        Tovanix::String error;
        ASSERT_TRUE(SetupSerialPort(kStagePort, 115200, &error)) << error.c_str();
        theApp.m_nStageComPort = kStagePort;
        theApp.m_nStageBaudRate = 115200;
    }

    // Makes the line on COM3 answer each command that ends with `terminator`
    // with what `answer` makes of it (terminator removed): a device that
    // speaks the frame but says odd things.
    void AnswerOnSilentLine(char terminator, std::function<std::string(const std::string&)> answer) {
        silentDevice = std::jthread([this, terminator, answer](std::stop_token stop) {
            std::string pending;
            while (!stop.stop_requested()) {
                pollfd pfd{silentLine.MasterFd(), POLLIN, 0};
                char buffer[256];
                ssize_t n = ::poll(&pfd, 1, 5) > 0 ? ::read(silentLine.MasterFd(), buffer, sizeof(buffer)) : 0;
                if (n <= 0) continue;
                pending.append(buffer, static_cast<size_t>(n));
                for (size_t end; (end = pending.find(terminator)) != std::string::npos;) {
                    silentLine.Write(answer(pending.substr(0, end)));
                    pending.erase(0, end + 1);
                }
            }
        });
    }

    std::string ReadFile(const std::string& path) {
        std::ifstream file(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }

    std::string dataRoot;
    platform::ManualClock clock;
    platform::ScopedClock useClock{clock};
    platform::ScriptedUiBridge bridge;
    platform::ScopedUiBridge useBridge{bridge};
    std::unique_ptr<sim::PumpSimulator> pumps;
    std::unique_ptr<sim::StageSimulator> stage;
    sim::Pty silentLine;
    std::jthread silentDevice;  // stops before the line closes
};

}  // namespace devices_testing
