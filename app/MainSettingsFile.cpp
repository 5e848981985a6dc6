// The main settings file's lifecycle at start-up: creation from the default
// copy (with the calibration of an older installation carried over), the
// validity test, and the restoration from the backup copy.

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/VelloraApp.h"
#include "platform/Files.h"
#include "platform/UiBridge.h"
#include "support/AppLogs.h"
#include "support/Profile.h"

namespace {

// The older installation kept its settings one folder above today's data root.
constexpr char kOlderIniPath[] = "C:\\Users\\Public\\Documents\\Tessaly\\Vellora.ini";
constexpr char kCreatedWithDefaults[] = "Vellora.ini file is created with default values.";
// The two texts differ by one blank after the first full stop.
constexpr char kCopyFailed[] = "Unable to create Vellora.ini file.  Please contact Tessaly for support.";
constexpr char kCarryOverFailed[] = "Unable to create Vellora.ini file. Please contact Tessaly for support.";
constexpr char kRestored[] = "The Vellora.ini file is corrupted and is retored from the backup.";
constexpr char kNotRestored[] =
    "The Vellora.ini file is corrupted. Please: \n1) Select an Vellora.ini backup in '%s'; \n2) Copy it to '%s'; "
    "and \n3) Rename the copy to Vellora.ini.";
// Where an invalid main file is kept before the backup replaces it.
constexpr char kInvalidCopyName[] = "Vellora.ini.corrupted";

// The file as it exists on disk, letter case aside; the path itself when none does.
std::string Resolve(const std::string& path) {
    const std::string native = platform::NativePath(path);
    const std::string found = platform::FindFileIgnoringCase(native);
    return found.empty() ? native : found;
}

std::string InDataRoot(const CString& dataRoot, const char* relative) {
    return platform::JoinPath(platform::NativePath(dataRoot.str()), platform::NativePath(relative));
}

void ShowError(const char* message) {
    LogErrAndInfo(__FILE__, __LINE__, message);
    platform::ShowMessageBox(message, theApp.m_strDisplayName.str(), platform::MB_OK | platform::MB_ICONERROR);
}

std::string ReadValue(const char* section, const char* key, int size, const std::string& file) {
    std::string buffer(static_cast<size_t>(size), '\0');
    Tovanix::E_GetPrivateProfileString(section, key, "", buffer.data(), size, file.c_str());
    return buffer.c_str();
}

// A "%d" value; values past the 32-bit range stay at its ends instead of
// wrapping round to a small, plausible one.
int ReadIntOr(const char* section, const char* key, const std::string& file, int fallback) {
    const std::string text = ReadValue(section, key, 32, file);
    const char* begin = text.c_str();
    while (std::isspace(static_cast<unsigned char>(*begin))) ++begin;
    char* end = nullptr;
    const long long value = std::strtoll(begin, &end, 10);
    return end == begin ? fallback : static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

double ReadRealOr(const char* section, const char* key, const std::string& file, double fallback) {
    double value = 0;
    return std::sscanf(ReadValue(section, key, 32, file).c_str(), "%lf", &value) == 1 ? value : fallback;
}

// The calibration of the instrument that a new main settings file takes over
// from the older installation's file.
struct CarriedOver {
    int upperMagnet, lowerMagnet, upperChannel, lowerChannel;
    double zFactory, pixelsPerMm;
    std::string deviceName;

    static CarriedOver ReadFrom(const std::string& file) {
        const char* calibration = "CalibrationSettings";
        return {ReadIntOr(calibration, "UpperMagnet", file, -1),
                ReadIntOr(calibration, "LowerMagnet", file, -1),
                ReadIntOr(calibration, "UpperChannel", file, -1),
                ReadIntOr(calibration, "LowerChannel", file, -1),
                ReadRealOr(calibration, "ZFactory", file, -1),
                ReadRealOr(calibration, "image_pixels_per_mm", file, -1),
                ReadValue("DigitalIO", "NI_USB-6001_Device_Name", 1024, file)};
    }

    bool IsUsable() const {
        return upperMagnet > 0 && lowerMagnet > 0 && upperChannel > 0 && lowerChannel > 0 && zFactory > 0 &&
               pixelsPerMm > 0;
    }

    // False, with the failed key logged, when a value could not be written.
    bool WriteTo(const char* file) const {
        char zFactoryText[16];
        char pixelsPerMmText[16];
        Tovanix::FormatNumber(zFactory, zFactoryText);
        Tovanix::FormatNumber(pixelsPerMm, pixelsPerMmText);
        const struct {
            const char* section;
            const char* key;
            std::string value;
        } values[] = {
            {"CalibrationSettings", "UpperMagnet", std::to_string(upperMagnet)},
            {"CalibrationSettings", "LowerMagnet", std::to_string(lowerMagnet)},
            {"CalibrationSettings", "UpperChannel", std::to_string(upperChannel)},
            {"CalibrationSettings", "LowerChannel", std::to_string(lowerChannel)},
            {"CalibrationSettings", "ZFactory", zFactoryText},
            {"CalibrationSettings", "image_pixels_per_mm", pixelsPerMmText},
            {"DigitalIO", "NI_USB-6001_Device_Name", deviceName},
        };
        for (const auto& v : values) {
            if (!Tovanix::E_WritePrivateProfileString(v.section, v.key, v.value.c_str(), file)) {
                LogErrAndInfo(__FILE__, __LINE__,
                              CString::Formatted("CVelloraApp::CreateIniIfMissing() : unable to write [%s] %s to %s",
                                                 v.section, v.key, file));
                return false;
            }
        }
        return true;
    }
};

}  // namespace

bool IsIniValid(CString path, bool fullCheck) {
    try {
        const std::string file = path.str();
        bool valid = ReadRealOr("CalibrationSettings", "image_pixels_per_mm", file, -1) != -1;
        if (fullCheck) {
            // Both are read even when the first test failed.
            const bool pumpValid = ReadIntOr("TecanCentris", "Pump2SyringeVolume", file, -1) != -1;
            const bool scaleValid = ReadIntOr("AutoScale", "LowMappingDisplayIntensity", file, -1) != -1;
            valid = valid && pumpValid && scaleValid;
        }
        return valid;
    } catch (...) {
        return false;
    }
}

bool CVelloraApp::CreateIniIfMissing() {
    const std::string iniPath = platform::NativePath(m_strIniPath.str());
    if (!platform::FindFileIgnoringCase(iniPath).empty()) return true;

    // The default copy never replaces a main file, not even one that appeared
    // since the test above.
    const std::string defaultCopy = Resolve(InDataRoot(m_strDataRoot, "Default\\Vellora.ini"));
    if (!platform::CopyFileAtomically(defaultCopy, iniPath, false)) {
        ShowError(kCopyFailed);
        return false;
    }

    const std::string older = Resolve(kOlderIniPath);
    if (!platform::FileExists(older)) {
        ShowError(kCreatedWithDefaults);
        return true;
    }
    const CarriedOver values = CarriedOver::ReadFrom(older);
    // A calibration that did not arrive whole must not pass for the
    // instrument's own, so a failed write ends the creation as a bad value does.
    if (!values.IsUsable() || !values.WriteTo(g_IniPath)) {
        ShowError(kCarryOverFailed);
        std::remove(iniPath.c_str());
        return false;
    }
    return true;
}

bool CVelloraApp::RestoreIniFromBackupIfInvalid() {
    if (IsIniValid(g_IniPath, true)) return true;

    const std::string iniPath = platform::NativePath(m_strIniPath.str());
    const std::string backupFolder = InDataRoot(m_strDataRoot, "Backup");
    const std::string backup = Resolve(platform::JoinPath(backupFolder, "Vellora.ini.bak"));
    if (platform::FileExists(backup) && IsIniValid(backup.c_str(), true)) {
        // The invalid file may still hold settings newer than the backup's;
        // it is kept beside the backups rather than overwritten unseen.
        const std::string current = Resolve(iniPath);
        const std::string kept = platform::JoinPath(backupFolder, kInvalidCopyName);
        const bool keptOrNone =
            !platform::FileExists(current) || platform::CopyFileAtomically(current, kept, true);
        if (!keptOrNone) {
            LogErrAndInfo(__FILE__, __LINE__,
                          CString::Formatted("CVelloraApp::RestoreIniFromBackupIfInvalid() : unable to keep %s as %s",
                                             current.c_str(), kept.c_str()));
        }
        if (keptOrNone && platform::CopyFileAtomically(backup, current, true)) {
            platform::ShowMessageBox(kRestored, m_strDisplayName.str(), platform::MB_OK);
            return true;
        }
    }
    platform::ShowMessageBox(CString::Formatted(kNotRestored, backupFolder.c_str(), m_strDataRoot.GetString()).str(),
                             m_strDisplayName.str(), platform::MB_OK);
    return false;
}
