#pragma once

// The stage control panel's transactions: jog, home, stop, absolute moves and
// constant-velocity moves of the focus and X axes, their positions, and the
// controller's identity. Each is one Zaber ASCII exchange on the stage port,
// run through the serial layer's per-port lock, so script threads that drive
// the stage at the same time never receive the panel's replies or the
// reverse. Failures and refused input are reported to the log sink (the
// error-and-info log by default) and give false.

#include <cstdint>
#include <functional>
#include <string>

class StagePanel {
public:
    using LogSink = std::function<void(const std::string&)>;

    enum class Axis { Focus, X };

    // The [Zaber] keys of the four edits that the panel keeps.
    static constexpr const char* kMoveAbsPosFocusKey = "MoveAbsPos_Focus";
    static constexpr const char* kMoveAbsPosXAxisKey = "MoveAbsPos_XAxis";
    static constexpr const char* kMoveVelocityFocusKey = "MoveVelocity_Focus";
    static constexpr const char* kMoveVelocityXAxisKey = "MoveVelocity_XAxis";

    explicit StagePanel(LogSink log = {});

    // Reads the device and axis numbers, the steps-per-mm factors and whether
    // the X axis is in use from the [Zaber] settings (defaults where a value
    // does not read as a number).
    void LoadSettings();
    // Whether [Zaber] InitializeZaberXAxisOnStartup is "TRUE" (any case).
    static bool XAxisEnabledSetting();

    // The increment of a list's selected item: 1 gives 0.01 mm, 2 gives
    // 0.1 mm, anything else 0.001 mm.
    static double IncrementMm(int selectedItem);

    bool GetPosition_mm(Axis axis, double* positionMm);
    bool MoveRelative_mm(Axis axis, double distanceMm);
    // `velocityText` is the axis's velocity edit; `sign` is -1 or +1.
    bool MoveVelocity(Axis axis, const std::string& velocityText, int sign);
    bool MoveAbsolute(Axis axis, const std::string& targetText);
    bool Home(Axis axis);
    bool Stop(Axis axis);
    // "X-MCB2 Controller" or "DeviceID <n>".
    bool GetDeviceId(std::string* identity);
    // "S/N <n>".
    bool GetSerialNumber(std::string* serial);

    // Writes the four edits' texts, exactly as shown, to their [Zaber] keys.
    static bool SaveEdits(const std::string& absFocus, const std::string& absX, const std::string& velocityFocus,
                          const std::string& velocityX);

    int32_t focusDevice = 1;
    int32_t focusAxis = 1;
    int32_t xDevice = 1;
    int32_t xAxis = 2;
    double stepsPerMM_X = 20997.38;
    double stepsPerMM_Z = 20997.38;
    bool xAxisEnabled = false;

private:
    void DeviceAxis(Axis axis, int32_t* device, int32_t* axisNumber) const;
    double StepsPerMm(int32_t axisNumber) const;
    // One exchange; false when no reply came.
    bool Send(const std::string& command, std::string* reply);
    void Log(const std::string& message);

    LogSink m_log;
};
