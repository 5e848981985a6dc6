#include "tools/LogFileData.h"

#include "platform/Files.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kFieldCount = 13;
constexpr size_t kMaxLine = 4094;

std::string TrimBlanks(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    const size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// A wildcard match of "*.log" without regard to case, as the folder
// search of the instrument's computer matched it.
bool IsLogName(const std::string& name) {
    if (name.size() < 4) return false;
    std::string tail = name.substr(name.size() - 4);
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == ".log";
}

// Reads a speed as "%f" did; negative or non-finite speeds are refused too,
// since the divider search is only defined for speeds of zero or more.
bool ReadSpeed(const char* text, float& value) {
    float v = 0.0f;
    if (std::sscanf(text, "%f", &v) != 1) return false;
    if (!std::isfinite(v) || v < 0.0f) return false;
    value = v;
    return true;
}

// The full paths of the "*.log" files of a folder; directories that match
// are passed over.
std::vector<std::string> FindLogFiles(const std::string& folder) {
    std::vector<std::string> found;
    std::error_code ec;
    const fs::path dir = platform::NativePath(folder);
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!IsLogName(name) || it->is_directory()) continue;
        Tovanix::String path;
        path.SetPath(folder.c_str(), name.c_str());
        found.emplace_back(path.c_str());
    }
    return found;
}

// The folder as a path without trailing separators.
fs::path FolderPath(const std::string& folder) {
    std::string native = platform::NativePath(folder);
    while (native.size() > 1 && native.back() == '/') native.pop_back();
    return fs::path(native).lexically_normal();
}

bool IsImagesFolder(const std::string& folder) {
    std::string name = FolderPath(folder).filename().string();
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name == "images";
}

}  // namespace

LogFileData::LogFileData() {
    Rows.flags = Tovanix::SortedPtrList<LogFileRow>::kOwnsElements | Tovanix::SortedPtrList<LogFileRow>::kSorted |
                 Tovanix::SortedPtrList<LogFileRow>::kNoDuplicates;
}

bool LogFileData::Load(const std::string& folderText, std::string& error) {
    LogPath = "";
    Rows.RemoveAll();
    if (folderText.empty()) return true;

    const std::string folder = TrimBlanks(folderText);
    std::vector<std::string> found = FindLogFiles(folder);
    // The capture chain files an experiment's images in its Images folder
    // and the capture log beside that folder.
    if (found.empty() && IsImagesFolder(folder)) {
        found = FindLogFiles(FolderPath(folder).parent_path().string());
    }
    if (found.empty()) {
        error = "No log file found in image directory: " + folderText;
        return false;
    }
    if (found.size() > 1) {
        error = "Expect only 1 log file, found " + std::to_string(found.size()) +
                " log files in the image directory: " + folderText;
        return false;
    }
    LogPath = found.front().c_str();
    if (!LoadFromText(error)) {
        LogPath = "";
        return false;
    }
    return true;
}

bool LogFileData::LoadFromText(std::string& error) {
    std::ifstream in(platform::NativePath(LogPath.c_str()), std::ios::binary);
    if (!in) {
        error = std::string("Unable to open log file for reading, make sure that it is not open in Excel: ") +
                LogPath.c_str();
        return false;
    }
    const size_t headerLength = std::strlen(kCaptureLogHeader);
    std::string line;
    long lineNumber = 0;
    auto readLine = [&]() -> bool {
        if (!std::getline(in, line)) return false;
        ++lineNumber;
        if (line.size() > kMaxLine) line.resize(kMaxLine);
        if (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
        return true;
    };
    bool header = false;
    while (readLine()) {
        if (line.compare(0, headerLength, kCaptureLogHeader) == 0) {
            header = true;
            break;
        }
    }
    if (!header) {
        error = std::string("Did not find expected header line in the log file: ") + kCaptureLogHeader;
        return false;
    }
    auto lineError = [&](const std::string& text) {
        error = "Error at line " + std::to_string(lineNumber) + " : " + text;
        return false;
    };
    while (readLine()) {
        std::vector<Tovanix::String> fields;
        const int32_t n = line.empty() ? 0 : Tovanix::SplitText(line.c_str(), fields, '\t');
        if (n < kFieldCount) {
            return lineError("LogFileData::LoadFromText() - invalid line, expected " + std::to_string(kFieldCount) +
                             " items, found " + std::to_string(n) + " items");
        }
        auto row = std::make_unique<LogFileRow>();
        row->imageFile = fields[0];
        if (!ReadSpeed(fields[9].c_str(), row->pump1Speed)) {
            return lineError(
                std::string("LogFileData::LoadFromText() - invalid line, expected floating point value for column 10 "
                            "(Pump1SpeedULpMin): ") +
                fields[9].c_str());
        }
        if (!ReadSpeed(fields[10].c_str(), row->pump2Speed)) {
            return lineError(
                std::string("LogFileData::LoadFromText() - invalid line, expected floating point value for column 11 "
                            "(Pump2SpeedULpMin): ") +
                fields[10].c_str());
        }
        const std::string name = row->imageFile.c_str();
        if (!Rows.Add(row.get())) {
            error = "Log file error at line " + std::to_string(lineNumber) + ", repeated file name: " + name;
            return false;
        }
        row.release();
    }
    return true;
}

bool LogFileData::GetChannelDivider(const char* imagePath, double& divider, std::string& error) const {
    LogFileRow key;
    Tovanix::GetPathPart(key.imageFile, imagePath, false, true, true);
    const LogFileRow* row = Rows.Find(key);
    if (row == nullptr) {
        error = std::string("Missing log file data for image: ") + imagePath;
        return false;
    }
    if (row->pump1Speed == 0.0f && row->pump2Speed == 0.0f) {
        divider = 0.5;
    } else {
        divider = ComputeFlowDividerPosition(row->pump1Speed, row->pump2Speed);
    }
    return true;
}

float ComputeFlowDividerPosition(float q1, float q2) {
    if (q1 == q2) return 0.5f;
    if (q1 == 0.0f) return 0.0f;
    if (q2 == 0.0f) return 1.0f;
    const float c = 1.0f / (2.0f * (q1 / q2 + 1.0f));
    auto g = [c](double d) {
        const float d3 = static_cast<float>(d) * static_cast<float>(d) * static_cast<float>(d);
        return static_cast<float>(std::fabs(static_cast<double>(d3) - 1.5 * d * d + c));
    };
    double d = 0.5;
    double s = 0.01;
    // The search settles within a few tens of rounds; the bound only guards
    // against speeds the capture workflow never writes.
    for (int round = 0; round < 100000; ++round) {
        const float gm = g(d - s);
        const float g0 = g(d);
        const float gp = g(d + s);
        if (gm >= g0 && gp > g0) {
            if (s < 0.002) return static_cast<float>(1.0 - d);
            s = 0.001;
        }
        if (gp != gm) d = d - s * g0 / (static_cast<double>(gp) - gm);
        if (d < s) d = s;
        if (d > 1.0 - s) d = 1.0 - s;
    }
    return static_cast<float>(1.0 - d);
}
