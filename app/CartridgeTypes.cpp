#include "app/CartridgeTypes.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <strings.h>
#include <system_error>

#include "app/VelloraApp.h"
#include "platform/Files.h"
#include "support/AppLogs.h"
#include "support/Profile.h"

CartridgeTypeList g_CartridgeTypes;

namespace {

constexpr int kMaxFormats = 10;
constexpr size_t kMinFormatLength = 10;
constexpr size_t kMaxFormatLength = 13;
constexpr size_t kMinIdLength = 3;
constexpr size_t kMaxIdLength = 7;
constexpr int kMaxOffsetPixels = 2000;
constexpr int kDefaultSampleVolume = 270;

std::string ReadValue(const char* section, const char* key, int size, const char* file) {
    std::string buffer(static_cast<size_t>(size), '\0');
    Tovanix::E_GetPrivateProfileString(section, key, "", buffer.data(), size, file);
    return buffer.c_str();
}

// A "%d" value in 31 characters; `fallback` when missing or not a number.
// Values past the 32-bit range stay at its ends.
int ReadInt(const char* section, const char* key, const char* file, int fallback) {
    const std::string text = ReadValue(section, key, 32, file);
    const char* p = text.c_str();
    while (std::isspace(static_cast<unsigned char>(*p))) ++p;
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(p, &end, 10);
    if (end == p) return fallback;
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

double ReadReal(const char* section, const char* key, const char* file) {
    double value = 0;
    return std::sscanf(ReadValue(section, key, 32, file).c_str(), "%lf", &value) == 1 ? value : 0;
}

// <data root>\Cartridge, created when missing (the failure logged).
bool CartridgeFolder(std::string& folder, CString& error) {
    Tovanix::String path;
    path.SetPath(theApp.m_strDataRoot.GetString(), "Cartridge");
    folder = platform::NativePath(path.c_str());
    std::error_code ec;
    if (platform::DirectoryExists(folder) || (std::filesystem::create_directory(folder, ec) && !ec)) return true;
    error.Format("Unable to create directory: %s", folder.c_str());
    LogErrAndInfo(__FILE__, __LINE__, error);
    return false;
}

// Offset in micrometres to pixels, halves away from zero, held in the int range.
int OffsetToPixels(int micrometres, double pixelsPerMm) {
    const double pixels = std::round(micrometres * pixelsPerMm / 1000.0);
    if (std::isnan(pixels)) return 0;
    return static_cast<int>(std::clamp(pixels, static_cast<double>(INT_MIN), static_cast<double>(INT_MAX)));
}

bool IsWithinOffsetLimit(int micrometres, double pixelsPerMm) {
    const double pixels = std::round(micrometres * pixelsPerMm / 1000.0);
    return pixels >= -kMaxOffsetPixels && pixels <= kMaxOffsetPixels;
}

// The type matching the bar code and its definition file (named after the
// type in the Cartridge folder), with the checks both operations share.
bool FindDefinition(const char* function, const char* barcode, std::string& definition, CString& error) {
    if (!barcode || !*barcode) {
        error.Format("%s() Barcode is empty or missing.", function);
        return false;
    }
    Tovanix::String typeName;
    Tovanix::String filePath;
    if (!FindCartridgeTypeByBarcode(barcode, typeName, filePath)) {
        error.Format("%s() No cartridge type matches barcode: \"%s\"", function, barcode);
        return false;
    }
    definition = typeName.c_str();
    return true;
}

bool DefinitionFile(const std::string& typeName, std::string& path, CString& error) {
    std::string folder;
    if (!CartridgeFolder(folder, error)) return false;
    path = platform::JoinPath(folder, typeName + ".ini");
    const std::string found = platform::FindFileIgnoringCase(path);
    if (found.empty() || platform::DirectoryExists(found)) {
        error.Format("Cartridge definition file does not exist: %s", path.c_str());
        return false;
    }
    path = found;
    return true;
}

bool Write(const char* section, const char* key, const std::string& value, const char* file, CString& error) {
    if (Tovanix::E_WritePrivateProfileString(section, key, value.c_str(), file)) return true;
    error.Format("ImposeCartridgeTypeOffsets() unable to write [%s] %s to file: %s", section, key, file);
    return false;
}

bool IsFormatCharacter(char c) { return c == '#' || c == '-' || c == 'G' || c == 'N'; }

bool FitsFormat(const char* barcode, const char* format) {
    if (std::strlen(barcode) != std::strlen(format)) return false;
    for (size_t i = 0; format[i]; ++i) {
        const bool fits = format[i] == '#' ? barcode[i] >= '0' && barcode[i] <= '9' : barcode[i] == format[i];
        if (!fits) return false;
    }
    return true;
}

}  // namespace

bool CartridgeType::LoadCartridgeTypeFile(const char* filePath, CString& error) {
    m_strFilePath = "";
    m_BarcodeFormats.clear();
    m_BarcodeIDs.clear();
    m_strTypeName = "";
    error = "";
    const char* file = filePath ? filePath : "";
    auto addError = [&](const std::string& message) {
        if (error.IsEmpty()) {
            error.Format("CartridgeFile: %s\n", file);
        } else {
            error += "\n";
        }
        error += message.c_str();
    };

    for (int i = 1; i <= kMaxFormats; ++i) {
        char key[8];
        std::snprintf(key, sizeof key, "f%02d", i);
        const std::string format = ReadValue("BarcodeFormats", key, 1024, file);
        if (format.empty()) break;
        if (format.size() > kMaxFormatLength) {
            addError("Invalid bar code format: " + format + " : must have 13 of fewer characters.");
        } else if (format.size() < kMinFormatLength) {
            addError("Invalid bar code format: " + format + " : must have at least 10 of characters.");
        } else if (!std::all_of(format.begin(), format.end(), IsFormatCharacter)) {
            addError("Invalid bar code format: " + format +
                     " : Invalid character in barcode. Valid characters are '#' '-' 'G' 'N'");
        } else {
            m_BarcodeFormats.emplace_back(format.c_str());
        }
    }

    const std::string ids = ReadValue("BarcodeIDs", "ids", 1024, file);
    if (ids.empty()) {
        addError("[BarcodeIDs] id=\"\" must be present and have at least one value");
    } else if (Tovanix::SplitText(ids.c_str(), m_BarcodeIDs, ',') <= 0) {
        addError("Invalid array of bar code ids: " + ids);
    } else {
        for (const Tovanix::String& id : m_BarcodeIDs) {
            const std::string text = id.c_str();
            const char* problem = nullptr;
            if (text.size() < kMinIdLength) {
                problem = "Bar code id must have at least three characters: ";
            } else if (text.size() > kMaxIdLength) {
                problem = "Bar code id must be no more than 7 characters: ";
            } else if (!std::all_of(text.begin(), text.begin() + 3, [](char c) { return c >= '0' && c <= '9'; })) {
                problem = "The first three characters of a bar code ID must be numbers between 0 and 9: ";
            }
            if (problem) {
                addError(problem + ("\"" + text + "\""));
                break;
            }
        }
    }

    // A name of blanks would name a definition file of blanks.
    const std::string type = ReadValue("General", "Type", 1024, file);
    if (Tovanix::TextLength(type.c_str(), true) == 0) {
        addError("[General] Type=\"\" is missing or blank.");
    } else {
        m_strTypeName = type.c_str();
    }
    m_strFilePath = file;
    return error.IsEmpty();
}

bool CartridgeType::MatchesBarcode(const char* barcode) const {
    if (!barcode) return false;
    for (const Tovanix::String& format : m_BarcodeFormats) {
        if (!FitsFormat(barcode, format.c_str())) continue;
        for (const Tovanix::String& id : m_BarcodeIDs) {
            if (id.GetLength() > 0 && std::strncmp(barcode, id.c_str(), static_cast<size_t>(id.GetLength())) == 0) {
                return true;
            }
        }
    }
    return false;
}

bool LoadCartridgeTypes(CString& error) {
    g_CartridgeTypes.RemoveAll();
    error = "";
    std::string folder;
    if (!CartridgeFolder(folder, error)) return false;

    struct Entry {
        std::string name;
        bool isDirectory;
    };
    std::vector<Entry> entries;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() >= 4 && strcasecmp(name.c_str() + name.size() - 4, ".ini") == 0) {
            std::error_code typeError;
            entries.push_back({name, it->is_directory(typeError)});
        }
    }
    if (ec || entries.empty()) {
        error.Format("Problem finding files in directory: %s", folder.c_str());
        LogErrAndInfo(__FILE__, __LINE__, error);
        return false;
    }
    // Name order, so that every machine loads (and searches) the same way.
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        const int folded = strcasecmp(a.name.c_str(), b.name.c_str());
        return folded != 0 ? folded < 0 : a.name < b.name;
    });

    for (const Entry& entry : entries) {
        if (entry.isDirectory) continue;
        auto* type = new CartridgeType();
        CString fileError;
        if (type->LoadCartridgeTypeFile(platform::JoinPath(folder, entry.name).c_str(), fileError)) {
            g_CartridgeTypes.Add(type);
            continue;
        }
        delete type;
        if (!error.IsEmpty()) error += "\n";
        error += fileError;
    }
    return error.IsEmpty();
}

bool FindCartridgeTypeByBarcode(const char* barcode, Tovanix::String& typeName, Tovanix::String& filePath) {
    for (int i = 0; i < g_CartridgeTypes.count; ++i) {
        const CartridgeType& type = *g_CartridgeTypes.items[i];
        if (type.MatchesBarcode(barcode)) {
            typeName = type.m_strTypeName;
            filePath = type.m_strFilePath;
            return true;
        }
    }
    return false;
}

bool ImposeCartridgeTypeOffsets(const char* settingsFile, const char* barcode, CString& error) {
    const char* function = "ImposeCartridgeTypeOffsets";
    std::string typeName;
    if (!FindDefinition(function, barcode, typeName, error)) return false;
    const char* file = settingsFile ? settingsFile : "";
    if (!Write("ExperimentSettings", "CartridgeType", typeName, file, error) ||
        !Write("ExperimentSettings", "Barcode", barcode, file, error)) {
        return false;
    }
    const double pixelsPerMm = ReadReal("CalibrationSettings", "image_pixels_per_mm", file);
    std::string definition;
    if (!DefinitionFile(typeName, definition, error)) return false;

    const int upperOffset = ReadInt("OffsetsInMicron", "UpperChannelOffset", definition.c_str(), 0);
    if (!IsWithinOffsetLimit(upperOffset, pixelsPerMm)) {
        error.Format("Invalid UpperChannelOffset in file: %s", definition.c_str());
        return false;
    }
    const int lowerOffset = ReadInt("OffsetsInMicron", "LowerChannelOffset", definition.c_str(), 0);
    if (!IsWithinOffsetLimit(lowerOffset, pixelsPerMm)) {
        error.Format("Invalid LowerChannelOffset in file: %s", definition.c_str());
        return false;
    }
    // Channel rows plus offsets of at most 2000 pixels, held in the int range.
    auto shifted = [](int row, int offset) {
        return std::to_string(std::clamp<long long>(static_cast<long long>(row) + offset, INT_MIN, INT_MAX));
    };
    const int upperChannel = ReadInt("CalibrationSettings", "UpperChannel", file, 0);
    const int lowerChannel = ReadInt("CalibrationSettings", "LowerChannel", file, 0);
    const int volume = ReadInt("SampleLoadInMicroLitre", "SampleAspirateVolume", definition.c_str(),
                               kDefaultSampleVolume);
    return Write("Cartridge", "CartridgeUpperChannel",
                 shifted(upperChannel, OffsetToPixels(upperOffset, pixelsPerMm)), file, error) &&
           Write("Cartridge", "CartridgeLowerChannel",
                 shifted(lowerChannel, OffsetToPixels(lowerOffset, pixelsPerMm)), file, error) &&
           Write("Cartridge", "SampleAspirateVolume", std::to_string(volume), file, error);
}

bool GetCartridgeTypeOffsetIntValues(const char* settingsFile, const char* barcode, int* upperOffsetPixels,
                                     CString& error) {
    std::string typeName;
    if (!FindDefinition("GetCartridgeTypeOffsetIntValues", barcode, typeName, error)) return false;
    const double pixelsPerMm = ReadReal("CalibrationSettings", "image_pixels_per_mm", settingsFile ? settingsFile : "");
    std::string definition;
    if (!DefinitionFile(typeName, definition, error)) return false;
    const int upperOffset = ReadInt("OffsetsInMicron", "UpperChannelOffset", definition.c_str(), 0);
    if (upperOffsetPixels) *upperOffsetPixels = OffsetToPixels(upperOffset, pixelsPerMm);
    return true;
}
