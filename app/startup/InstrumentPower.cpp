#include <chrono>
#include <string>

#include "app/VelloraApp.h"
#include "app/startup/StartUp.h"
#include "devices/UsbProbe.h"
#include "platform/Clock.h"
#include "platform/UiBridge.h"
#include "support/Profile.h"

namespace {

constexpr int kPowerMode = 1;
constexpr int kCameraMode = 2;

void Wait(int ms) { platform::GetClock().SleepFor(std::chrono::milliseconds(ms)); }

}  // namespace

bool CheckInstrumentPower() { return CheckInstrumentPower(DetectInstrumentUsbDevices); }

bool CheckInstrumentPower(const UsbProbe& probe) {
    const std::string caption = theApp.m_strDisplayName.str();
    const bool poweredAtFirst = probe(kPowerMode, true);
    if (!poweredAtFirst) {
        const char* const askForPower =
            "The QX4 power seems to be off.  Please turn on the QX4 power and then click OK button below.";
        bool powered = false;
        for (int prompt = 0; prompt < 2 && !powered; ++prompt) {
            platform::ShowMessageBox(askForPower, caption, platform::MB_OK | platform::MB_ICONWARNING);
            Wait(1000);
            powered = probe(kPowerMode, true);
        }
        if (!powered) {
            return platform::ShowMessageBox("The QX4 power was not detected.  Do you want to continue anyway?",
                                            caption, platform::MB_YESNO | platform::MB_ICONQUESTION) !=
                   platform::IDNO;
        }
    }

    // The camera registers with the computer a while after power comes on.
    bool cameraFound = probe(kCameraMode, false);
    bool late = !poweredAtFirst;
    for (int round = 0; round < 15; ++round) {
        if (cameraFound) break;
        Wait(2000);
        cameraFound = probe(kCameraMode, true);
        late = true;
    }
    Wait(2000);
    if (late && cameraFound) {
        char cameraType[1024] = {};
        Tovanix::E_GetPrivateProfileString("ExperimentSettings", "CameraType", "", cameraType, sizeof cameraType,
                                           g_IniPath);
        // This make needs longer before it answers.
        if (std::string(cameraType) == "Pixelink") Wait(15000);
    }
    return true;
}
