#include "analysis/ImageLogFileData.h"

#include "analysis/FolderListing.h"
#include "platform/Files.h"
#include "platform/Time.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

constexpr char kHeaderStart[] = "ImageFile\tDate\tTime\t";

// The column layouts the header line can announce. A header matches when it
// begins with the whole text; further columns may follow.
struct LogLayout {
    const char* header;
    int speedColumn;   // first of two fields: pump 1, pump 2
    int volumeColumn;  // first of two fields: pump 1, pump 2
};
constexpr LogLayout kLayouts[] = {
    {"ImageFile\tDate\tTime\tExposure(us)\tStatus\tError\tIllumChan\tPinchValveInput\tPinchValveOutput1\t"
     "PinchValveOutput2\tPump1ValvePos\tPump2ValvePos\tPump1SpeedULpMin\tPump2SpeedULpMin\tPump1VolUL\tPump2VolUL",
     12, 14},
    {"ImageFile\tDate\tTime\tExposure(us)\tStatus\tError\tIllumChan\tPump1ValvePos\tPump2ValvePos\t"
     "Pump1SpeedULpMin\tPump2SpeedULpMin\tPump1VolUL\tPump2VolUL",
     9, 11},
    {"ImageFile\tDate\tTime\tExposure(us)\tStatus\tError\tIllumChan\tP1\tP2\tP3\tP4\tQ1\tQ2\tVSampleUL\t"
     "VBufferUL\tVTopOutletUL\tVBotOutletUL",
     11, 15},
};
constexpr int kNoLayout = -1;

bool StartsWith(const char* text, const char* prefix)
{
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// The text from the start of the given zero-based field, or NULL when the
// line ends before it.
const char* FieldStart(const char* line, int column)
{
    for (int k = 0; k < column; ++k) {
        line = std::strchr(line, '\t');
        if (!line)
            return nullptr;
        ++line;
    }
    return line;
}

// Whether a name minus its dashes and ".log" reads as YYYYMMDD HHMM SS: the
// first candidate decides the search (see Load).
enum class LogName { NotACandidate, Valid, Invalid };

LogName JudgeLogName(const std::string& name)
{
    Tovanix::String copy(name.c_str());
    if (copy.Replace("-", " ", 1000) != 2)
        return LogName::NotACandidate;
    copy.Replace(".log", "", 1000);
    if (copy.GetLength() != 16)
        return LogName::NotACandidate;
    for (int i = 0; i < 16; ++i) {
        const char ch = copy.c_str()[i];
        if (std::isdigit(static_cast<unsigned char>(ch)) || ((i == 8 || i == 13) && ch == ' '))
            continue;
        return LogName::Invalid;
    }
    return LogName::Valid;
}

bool SameNameIgnoringCase(const std::string& a, const char* b)
{
    return Tovanix::String::CompareNoCase(a.c_str(), b) == 0;
}

}  // namespace

bool ImageLogFileData::Load(const char* folder, CString& error)
{
    logPath = "";
    Tovanix::String trimmed(folder);
    trimmed.Trim();

    std::vector<FolderEntry> entries;
    if (!ListFolderEntriesEndingWith(trimmed.c_str(), ".log", entries) || entries.empty()) {
        error = CString("No log file found in directory: ") + folder;
        return false;
    }
    for (const FolderEntry& entry : entries) {
        if (entry.isDirectory)
            continue;
        const LogName judged = JudgeLogName(entry.name);
        if (judged == LogName::NotACandidate)
            continue;
        if (judged == LogName::Valid)
            logPath = platform::JoinPath(platform::NativePath(trimmed.c_str()), entry.name).c_str();
        break;
    }
    if (!logPath.HasText()) {
        error = CString("No log file with a valid name found in directory: ") + folder;
        return false;
    }

    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(logPath.c_str(), "rb"), &std::fclose);
    if (!file) {
        error.Format("Unable to open log file for reading: %s", logPath.c_str());
        return false;
    }
    // Lines longer than the buffer continue as further lines, as they always have.
    char line[4096];
    int layout = kNoLayout;
    bool headerFound = false;
    while (std::fgets(line, sizeof line, file.get())) {
        if (!headerFound) {
            if (!StartsWith(line, kHeaderStart))
                continue;
            headerFound = true;
            for (int k = 0; k < static_cast<int>(std::size(kLayouts)); ++k)
                if (StartsWith(line, kLayouts[k].header)) {
                    layout = k;
                    break;
                }
            continue;
        }
        ParseRow(line, layout);
    }
    if (!headerFound) {
        error.Format("Did not find line beginning with: \"ImageFile\tDate\tTime\t\" in file %s", logPath.c_str());
        return false;
    }
    return true;
}

void ImageLogFileData::ParseRow(const char* line, int layout)
{
    const char* tab = std::strchr(line, '\t');
    if (!tab)
        return;
    unsigned long year = 0, month = 0, day = 0, hour = 0, minute = 0;
    double seconds = 0.0;
    if (std::sscanf(tab + 1, "%lu/%lu/%lu\t%lu:%lu:%lf", &year, &month, &day, &hour, &minute, &seconds) != 6)
        return;
    // A date or time that is no calendar time is as malformed as one that
    // does not parse.
    if (year > 30827 || month > 12 || day > 31 || hour > 23 || minute > 59 || !(seconds >= 0.0 && seconds < 60.0))
        return;
    SYSTEMTIME when{};
    when.wYear = static_cast<uint16_t>(year);
    when.wMonth = static_cast<uint16_t>(month);
    when.wDay = static_cast<uint16_t>(day);
    when.wHour = static_cast<uint16_t>(hour);
    when.wMinute = static_cast<uint16_t>(minute);
    const int whole = static_cast<int>(seconds);
    when.wSecond = static_cast<uint16_t>(whole);
    when.wMilliseconds = static_cast<uint16_t>(static_cast<int>((seconds - whole) * 1000));
    const uint64_t stamp = platform::SystemTimeToFileTime100ns(when);
    if (stamp == 0)
        return;

    imageFiles.emplace_back(line, static_cast<size_t>(tab - line));
    timeStamps.push_back(stamp);
    float values[4] = {0, 0, 0, 0};
    if (layout != kNoLayout) {
        const LogLayout& l = kLayouts[layout];
        const char* speeds = FieldStart(line, l.speedColumn);
        if (speeds && std::sscanf(speeds, "%f\t%f", &values[0], &values[1]) == 2) {
            float volumes[2];
            const char* volumeText = FieldStart(line, l.volumeColumn);
            if (volumeText && std::sscanf(volumeText, "%f\t%f", &volumes[0], &volumes[1]) == 2) {
                values[2] = volumes[0];
                values[3] = volumes[1];
            }
        } else {
            values[0] = values[1] = 0;
        }
    }
    pump1Speed.push_back(values[0]);
    pump2Speed.push_back(values[1]);
    pump1Volume.push_back(values[2]);
    pump2Volume.push_back(values[3]);
}

bool ImageLogFileData::SetFirstFileName(const char* fileName, CString& error)
{
    if (imageFiles.empty()) {
        error = "ImageLogFileData::SetFirstFileName() - Must call Load() before calling this function.";
        return false;
    }
    for (size_t i = 0; i < imageFiles.size(); ++i)
        if (SameNameIgnoringCase(imageFiles[i], fileName)) {
            searchStart = static_cast<int32_t>(i);
            return true;
        }
    error.Format("ImageLogFileData::SetFirstFileName() - did not find file %s in the log.", fileName);
    return false;
}

double ImageLogFileData::GetElapsedMinutes(const char* fileName, float* pumpValues) const
{
    for (size_t i = static_cast<size_t>(std::max(searchStart, 0)); i < imageFiles.size(); ++i) {
        if (!SameNameIgnoringCase(imageFiles[i], fileName))
            continue;
        const uint64_t t = timeStamps[i];
        const uint64_t t0 = timeStamps[0];
        if (t >= t0) {
            if (pumpValues) {
                pumpValues[0] = pump1Speed[i];
                pumpValues[1] = pump2Speed[i];
                pumpValues[2] = pump1Volume[i];
                pumpValues[3] = pump2Volume[i];
            }
            return static_cast<double>((t - t0) / 10000) / 1000.0 / 60.0;
        }
        if (pumpValues)
            pumpValues[0] = pumpValues[1] = pumpValues[2] = pumpValues[3] = 0.0f;
        return -(static_cast<double>((t0 - t) / 10000) / 1000.0 / 60.0);
    }
    return 0.0;
}
