#include "analysis/ExperimentFolder.h"

#include "analysis/SplitString.h"
#include "platform/Files.h"
#include "support/Profile.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>

namespace {

// Sorted full paths of the folder's files whose extension equals `ext`
// ignoring case (".log", ".png", ".ini").
std::vector<std::string> ListFiles(const std::string& folder, const std::string& ext)
{
    std::vector<std::string> paths;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        std::string name = entry.path().filename().string();
        if (!entry.is_regular_file(ec) || name.size() <= ext.size())
            continue;
        std::string tail = name.substr(name.size() - ext.size());
        std::transform(tail.begin(), tail.end(), tail.begin(), [](unsigned char c) { return std::tolower(c); });
        if (tail == ext)
            paths.push_back(entry.path().string());
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

std::string ImagesFolder(const std::string& directory)
{
    return platform::FindFileIgnoringCase(platform::JoinPath(platform::NativePath(directory), "Images"));
}

int ReadInt(const char* section, const char* key, const std::string& file)
{
    char buffer[31] = "";
    int value = 0;
    if (!Tovanix::E_GetPrivateProfileString(section, key, "", buffer, sizeof buffer, file.c_str()) ||
        std::sscanf(buffer, "%d", &value) != 1)
        return 0;
    return value;
}

int Index(const std::vector<std::string>& header, const char* name)
{
    const auto it = std::find(header.begin(), header.end(), name);
    return static_cast<int>(it - header.begin());  // the cell count when missing
}

// The four characters in front of the four-character extension, which must
// be digits: the capture index. Throws std::out_of_range for a short name.
bool FrameNumber(const std::string& cell, int32_t& frame)
{
    const std::string digits = cell.substr(cell.size() - 8, 4);
    for (char c : digits)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    frame = static_cast<int32_t>(std::stof(digits));
    return true;
}

enum class LineKind { None, BrightField, Green, Red };

LineKind KindOf(const std::string& cell)
{
    for (const char* key : {"Brightfield", "BrtFld"})
        if (cell.find(key) != std::string::npos)
            return LineKind::BrightField;
    for (const char* key : {"Ex474", "Em524"})
        if (cell.find(key) != std::string::npos)
            return LineKind::Green;
    for (const char* key : {"Ex560", "Em628"})
        if (cell.find(key) != std::string::npos)
            return LineKind::Red;
    return LineKind::None;
}

}  // namespace

bool OpenExperimentFolder(ExperimentDataSet& data, const std::string& folder)
{
    const std::string native = platform::NativePath(folder);
    const std::vector<std::string> logs = ListFiles(native, ".log");
    if (logs.empty())
        return false;
    data.captureLogPath = logs.front();
    const std::string images = ImagesFolder(folder);
    for (const std::string& path : ListFiles(images.empty() ? native : images, ".png"))
        data.imageFiles.push_back(path);
    const std::vector<std::string> inis = ListFiles(native, ".ini");
    if (!inis.empty())
        data.settingsFilePath = inis.front();
    data.directory = folder;
    return true;
}

bool ReadExperimentSettings(ExperimentDataSet& data, const std::string& iniPath, std::string* /*error*/)
{
    data.upperChannelRow = ReadInt("Cartridge", "CartridgeUpperChannel", iniPath);
    data.lowerChannelRowEnd = ReadInt("Cartridge", "CartridgeLowerChannel", iniPath);

    char buffer[31] = "";
    double pixelsPerMm = -1.0;
    if (!Tovanix::E_GetPrivateProfileString("CalibrationSettings", "image_pixels_per_mm", "", buffer, sizeof buffer,
                                           iniPath.c_str()) ||
        std::sscanf(buffer, "%lf", &pixelsPerMm) != 1)
        pixelsPerMm = -1.0;
    data.pixelsPerMm = pixelsPerMm;

    char name[1024] = "";
    Tovanix::E_GetPrivateProfileString("ExperimentSettings", "ExperimentFullName", "", name, sizeof name,
                                       iniPath.c_str());
    data.experimentName = name[0] ? name : data.directory;

    data.lowerChannelRowEnd += 1;
    data.cropStartRow = data.upperChannelRow - 100;
    data.cropEndRow = data.lowerChannelRowEnd + 100;
    return true;
}

uint32_t ParseLogTimestamp(const std::string& date, const std::string& time)
{
    const std::vector<std::string> d = SplitString(date, '/');
    const std::vector<std::string> t = SplitString(time, ':');
    const std::vector<std::string> s = SplitString(t.size() > 2 ? t[2] : std::string(), '.');
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);  // keeps today's daylight-saving flag
    local.tm_year = static_cast<int>(std::stod(d.at(0))) - 1900;
    local.tm_mon = static_cast<int>(std::stod(d.at(1))) - 1;
    local.tm_mday = static_cast<int>(std::stod(d.at(2)));
    local.tm_hour = static_cast<int>(std::stod(t.at(0)));
    local.tm_min = static_cast<int>(std::stod(t.at(1)));
    local.tm_sec = static_cast<int>(std::stod(s.at(0)));
    const uint64_t seconds = static_cast<uint64_t>(static_cast<int64_t>(std::mktime(&local)));
    const uint64_t millis = s.size() > 1 ? static_cast<uint64_t>(std::stod(s[1])) : 0;
    return static_cast<uint32_t>(seconds * 1000u + millis);
}

bool ParseCaptureLog(ExperimentDataSet& data, const std::string& logPath)
{
    std::ifstream log(platform::NativePath(logPath), std::ios::binary);
    if (logPath.empty() || !log)
        return false;

    int fileColumn = 0, dateColumn = 0, timeColumn = 0, exposureColumn = 0, pump1Column = 0, pump2Column = 0;
    std::string line;
    while (std::getline(log, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::vector<std::string> cells = SplitString(line, '\t');
        const int count = static_cast<int>(cells.size());
        if (line.find("Cartridge barcode") != std::string::npos && cells.size() > 1) {
            const std::vector<std::string> words = SplitString(cells[1], ' ');
            data.cartridgeCodePrefix = words.back().substr(0, 3);
        }
        if (std::find(cells.begin(), cells.end(), "ImageFile") != cells.end()) {
            fileColumn = Index(cells, "ImageFile");
            dateColumn = Index(cells, "Date");
            timeColumn = Index(cells, "Time");
            exposureColumn = Index(cells, "Exposure(us)");
            pump1Column = Index(cells, "Pump1SpeedULpMin");
            pump2Column = Index(cells, "Pump2SpeedULpMin");
        }
        if (fileColumn >= count)
            continue;  // no ImageFile cell: not an image line
        const std::string& cell = cells[static_cast<size_t>(fileColumn)];
        const LineKind kind = KindOf(cell);
        if (kind == LineKind::None)
            continue;
        int32_t frame = 0;
        if (!FrameNumber(cell, frame))
            return false;

        if (kind == LineKind::BrightField) {
            if (std::max({fileColumn, dateColumn, timeColumn, exposureColumn, pump1Column, pump2Column}) >= count)
                return false;
            FrameRecord row;
            row.brightFieldFile = cell;
            row.brightFieldExposure = std::stod(cells[static_cast<size_t>(exposureColumn)]);
            row.pump1Speed = std::stod(cells[static_cast<size_t>(pump1Column)]);
            row.pump2Speed = std::stod(cells[static_cast<size_t>(pump2Column)]);
            row.captureTimeMs = ParseLogTimestamp(cells[static_cast<size_t>(dateColumn)],
                                                  cells[static_cast<size_t>(timeColumn)]);
            row.brightFieldIndex = frame;
            data.logRows.push_back(row);
            continue;
        }
        if (exposureColumn >= count)
            return false;
        const double exposure = std::stod(cells[static_cast<size_t>(exposureColumn)]);
        const auto owner = std::find_if(data.logRows.begin(), data.logRows.end(),
                                        [frame](const FrameRecord& r) { return r.brightFieldIndex == frame; });
        if (owner == data.logRows.end())
            continue;  // a fluorescence image without its bright-field frame
        if (kind == LineKind::Green) {
            owner->channel1File = cell;
            owner->channel1Exposure = exposure;
            owner->channel1Index = frame;
        } else {
            owner->channel2File = cell;
            owner->channel2Exposure = exposure;
            owner->channel2Index = frame;
        }
    }
    if (data.logRows.size() < 2)
        return false;
    data.referenceFrame = data.logRows[1];

    std::vector<FrameRecord> pumping;
    for (const FrameRecord& row : data.logRows) {
        const auto flowing = [](double speed) { return speed > 0.0 && speed < 1000.0; };
        if (flowing(row.pump1Speed) || flowing(row.pump2Speed))
            pumping.push_back(row);
    }
    const bool selected = SelectLongestFrameRun(data, FindConsecutiveFrameRuns(pumping), pumping);

    if (!data.frames.empty()) {
        const double n = static_cast<double>(data.frames.size());
        double brightField = 0.0, green = 0.0, red = 0.0;
        for (const FrameRecord& f : data.frames) {
            brightField += f.brightFieldExposure;
            if (!f.channel1File.empty())
                green += f.channel1Exposure;
            if (!f.channel2File.empty())
                red += f.channel2Exposure;
        }
        data.meanBrightFieldExposure = brightField / n;
        if (!data.frames.front().channel1File.empty())
            data.meanChannel1Exposure = green / n;
        if (!data.frames.front().channel2File.empty())
            data.meanChannel2Exposure = red / n;
    }
    return selected;
}

std::vector<FrameRun> FindConsecutiveFrameRuns(const std::vector<FrameRecord>& rows)
{
    std::vector<FrameRun> runs;
    if (rows.empty())
        return runs;
    FrameRun run{-1, 0, 1};
    const int32_t count = static_cast<int32_t>(rows.size());
    for (int32_t i = 1; i < count; ++i) {
        if (rows[static_cast<size_t>(i)].brightFieldIndex == rows[static_cast<size_t>(i - 1)].brightFieldIndex + 1) {
            if (run.first < 0)
                run.first = i - 1;
            ++run.length;
        } else {
            run.end = i;
            runs.push_back(run);
            run = FrameRun{-1, 0, 1};
        }
    }
    run.end = count;
    runs.push_back(run);
    return runs;
}

bool SelectLongestFrameRun(ExperimentDataSet& data, const std::vector<FrameRun>& runs,
                           const std::vector<FrameRecord>& rows)
{
    const FrameRun* longest = nullptr;
    for (const FrameRun& run : runs)
        if (!longest || run.length > longest->length)
            longest = &run;
    if (!longest || longest->first < 0)
        return false;
    data.frames.insert(data.frames.end(), rows.begin() + longest->first, rows.begin() + longest->end);
    return true;
}

std::string ResolveExperimentImagePath(const std::string& directory, const std::string& fileName)
{
    Tovanix::String trimmed(directory.c_str());
    trimmed.Trim();
    const std::string images = ImagesFolder(trimmed.c_str());
    const std::string base = images.empty() ? platform::NativePath(directory) : images;
    return base.empty() ? fileName : platform::JoinPath(base, fileName);
}

bool GetReferenceFrameImageFiles(const ExperimentDataSet& data, std::string& brightField, std::string& green,
                                 std::string& red)
{
    brightField.clear();
    green.clear();
    red.clear();
    if (data.frames.size() < 11)
        return false;
    const FrameRecord& frame = data.frames[10];
    bool allExist = true;
    const auto resolve = [&](const std::string& file, std::string& out) {
        if (file.empty())
            return;
        out = ResolveExperimentImagePath(data.directory, file);
        allExist = allExist && platform::FileExists(out);
    };
    resolve(frame.brightFieldFile, brightField);
    resolve(frame.channel1File, green);
    resolve(frame.channel2File, red);
    return allExist;
}

int32_t CheckFluorescenceChannels(const ExperimentDataSet& data, bool& greenWanted, bool& redWanted)
{
    const int32_t last = static_cast<int32_t>(data.frames.size()) - 1;
    for (int32_t i = 0; i < last; ++i) {
        const FrameRecord& f = data.frames[static_cast<size_t>(i)];
        if (greenWanted && f.channel1Index != f.brightFieldIndex)
            greenWanted = false;
        if (redWanted && f.channel2Index != f.brightFieldIndex)
            redWanted = false;
    }
    return last;
}
