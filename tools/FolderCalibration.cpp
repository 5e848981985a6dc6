#include "tools/FolderCalibration.h"

#include "app/ExperimentSettingsIni.h"
#include "app/VelloraApp.h"
#include "imaging/ImageView.h"
#include "platform/Files.h"
#include "support/Profile.h"
#include "support/String.h"

#include <cstdio>

namespace {

std::string SettingsFileOf(const std::string& folder) {
    return FindExperimentSettingsIni(Tovanix::String(folder.c_str())).c_str();
}

bool IsDirectory(const std::string& folder) {
    return !folder.empty() && platform::DirectoryExists(platform::NativePath(folder));
}

int32_t ReadRow(const char* section, const char* key, const std::string& file) {
    char buffer[32] = {};
    Tovanix::E_GetPrivateProfileString(section, key, "", buffer, sizeof buffer, file.c_str());
    int value = -1;
    if (std::sscanf(buffer, "%d", &value) != 1) return -1;
    return value;
}

struct RowKey {
    const char* key;
    int index;
    const char* section;
    const char* iniKey;
};
constexpr RowKey kRowKeys[] = {
    {"UpperMagnet", 2, "CalibrationSettings", "UpperMagnet"},
    {"LowerMagnet", 3, "CalibrationSettings", "LowerMagnet"},
    {"UpperChannel", 0, "Cartridge", "CartridgeUpperChannel"},
    {"LowerChannel", 1, "Cartridge", "CartridgeLowerChannel"},
};

}  // namespace

bool LoadFolderCalibration(const std::string& folder, ChannelMagnetRows& rows, std::string& error) {
    if (!IsDirectory(folder)) return false;
    const std::string ini = SettingsFileOf(folder);
    if (ini.empty()) {
        error = "There is no ExperimentSettings.ini file here: " + folder;
        return false;
    }
    rows[0] = ReadRow("Cartridge", "CartridgeUpperChannel", ini);
    rows[1] = ReadRow("Cartridge", "CartridgeLowerChannel", ini);
    rows[2] = ReadRow("CalibrationSettings", "UpperMagnet", ini);
    rows[3] = ReadRow("CalibrationSettings", "LowerMagnet", ini);
    return true;
}

bool StoreFolderCalibrationValue(const std::string& folder, const std::string& key, int32_t row,
                                 ChannelMagnetRows& rows) {
    if (!IsDirectory(folder)) return false;
    const std::string ini = SettingsFileOf(folder);
    if (ini.empty()) return false;
    for (const RowKey& k : kRowKeys) {
        if (!Tovanix::TextEquals(key.c_str(), k.key, false, -1) || key.size() != std::char_traits<char>::length(k.key))
            continue;
        rows[static_cast<size_t>(k.index)] = row;
        return Tovanix::E_WritePrivateProfileString(k.section, k.iniKey, std::to_string(row).c_str(), ini.c_str());
    }
    return false;
}

ChannelMagnetRows FolderCalibrationRows::Get() const {
    return {m_rows[0].load(), m_rows[1].load(), m_rows[2].load(), m_rows[3].load()};
}

void FolderCalibrationRows::CopyTo(int32_t rows[4]) const {
    for (int k = 0; k < 4; ++k) rows[k] = m_rows[k].load();
}

void FolderCalibrationRows::Set(const ChannelMagnetRows& rows) {
    for (size_t k = 0; k < rows.size(); ++k) m_rows[k] = rows[k];
}

bool FolderCalibrationRows::Load(const std::string& folder, std::string& error) {
    ChannelMagnetRows rows = Get();
    if (!LoadFolderCalibration(folder, rows, error)) return false;
    Set(rows);
    bool changed = false;
    for (size_t k = 0; k < rows.size(); ++k) changed = changed || rows[k] != g_ChannelMagnetLines[k].load();
    if (changed) theApp.InvalidateAllImageViews();
    return true;
}

bool FolderCalibrationRows::Store(const std::string& folder, const std::string& key, int32_t row) {
    ChannelMagnetRows rows = Get();
    if (!StoreFolderCalibrationValue(folder, key, row, rows)) return false;
    Set(rows);
    return true;
}
