#pragma once

// The stage controller of the virtual instrument: one motion controller with
// two axes (axis 1 focus, axis 2 X) speaking the controller's ASCII protocol
// at 115200 baud.
//
// Commands: "/" [device] [axis] [command] LF; device 0 or none addresses
// every device, axis 0 or none the whole device. A device that is not
// addressed stays silent.
// Replies: "@" device(2 digits) " " axis " " OK|RJ " " IDLE|BUSY " " warning
// flag ("--" when none) " " data CR LF. Rejections carry the reason as data
// (BADCOMMAND, BADDATA, BADAXIS).
// Commands understood: the empty status query, "get pos", "get deviceid",
// "get driver.temperature", "move abs n", "move rel n", "move vel n",
// "stop", "home". Positions are microsteps, 0 .. kMaxSteps.

#include <array>
#include <chrono>
#include <cstdint>
#include <string>

#include "sim/SerialDeviceSimulator.h"

namespace sim {

class StageSimulator : public SerialDeviceSimulator {
public:
    static constexpr int kBaudRate = 115200;
    static constexpr int kAxisCount = 2;
    static constexpr int kFocusAxis = 1;
    static constexpr int kXAxis = 2;
    // Microsteps per millimetre of the stage's lead screws.
    static constexpr double kStepsPerMm = 20997.38;
    static constexpr int32_t kMaxSteps = 2099738;      // 100 mm of travel
    static constexpr double kMaxSpeedStepsPerS = 209974;  // 10 mm/s
    static constexpr int kDeviceId = 50081;
    static constexpr int kSerialNumber = 34567;

    explicit StageSimulator(int deviceNumber = 1);
    ~StageSimulator() override;

    int DeviceNumber() const { return m_deviceNumber; }
    // Axis 1 or 2, in microsteps, evaluated now.
    int32_t Position(int axis) const;
    bool IsBusy(int axis) const;
    void SetPosition(int axis, int32_t steps);
    void SetTemperature(double degreesC);
    // The warning flag of the rejections sent while the DeviceError fault is on.
    void SetErrorFlag(const std::string& flag);

protected:
    std::string HandleLine(const std::string& line) override;
    void Tick() override;

private:
    struct Axis {
        double position = 0;  // microsteps
        double from = 0;
        double to = 0;
        std::chrono::steady_clock::time_point start{};
        std::chrono::steady_clock::time_point end{};
        bool moving = false;
    };

    static void Advance(Axis& axis, std::chrono::steady_clock::time_point now);
    void StartMove(Axis& axis, double target, double speed, std::chrono::steady_clock::time_point now);
    std::string Reply(int axis, bool ok, const std::string& data, const std::string& flag = "--") const;
    std::string Execute(int axisNumber, const std::string& command);
    void Publish();

    const int m_deviceNumber;
    std::array<Axis, kAxisCount> m_axes;
    double m_temperatureC = 31.5;
    std::string m_errorFlag = "FF";
};

}  // namespace sim
