#include "tools/ParameterSweep.h"

#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <filesystem>
#include <system_error>

#include "analysis/CountingAlgo.h"
#include "analysis/CountingAlgoOptions.h"
#include "app/VelloraApp.h"
#include "platform/Files.h"
#include "platform/Sync.h"
#include "support/Profile.h"
#include "support/String.h"
#include "tools/CountingParamSet.h"

const std::vector<std::string> kSweepParamNames = {
    "ObjectRadius1",   "ObjectRadius2",   "MFilterThreshold1", "MFilterThreshold2", "MFilterSamples1",
    "MFilterSamples2", "CFilterMinSize1", "CFilterMinSize2",   "CFilterThreshold1", "CFilterThreshold2",
};

namespace {

constexpr double kGridTolerance = 1e-9;

bool ParseDouble(const std::string& text, double* value) {
    const char* start = text.c_str();
    char* end = nullptr;
    const double parsed = std::strtod(start, &end);
    if (end == start || !std::isfinite(parsed)) return false;
    *value = parsed;
    return true;
}

// The number of steps after the first value.
double StepCount(double start, double stop, double step) {
    return std::floor((stop - start) / step + kGridTolerance);
}

std::string FormatValue(double value) {
    char buffer[32] = "";
    Tovanix::FormatNumber(value, buffer);
    return buffer;
}

void AppendLines(const CStringArray& from, std::vector<std::string>& lines) {
    for (int i = 0; i < from.GetSize(); ++i) lines.push_back(from[i].str());
}

}  // namespace

ToolSettings MakeSweepSettings() {
    char directory[1024] = "";
    if (!Tovanix::E_GetPrivateProfileString("ExperimentSettings", "DataDirectory", "", directory, 1023,
                                            g_IniPath.GetString())) {
        directory[0] = '\0';
    }
    return ToolSettings("AlgoIteratorTool", {{"CountingAlgoParams", ""},
                                             {"ParamNameLevel1", "ObjectRadius1"},
                                             {"StartLevel1", "5"},
                                             {"StopLevel1", "10"},
                                             {"StepLevel1", "1"},
                                             {"Directory", directory},
                                             {"Filter", "*.png"}});
}

std::vector<double> SweepValues(double start, double stop, double step) {
    std::vector<double> values;
    if (!(step > 0) || !(stop >= start)) return values;
    const double n = StepCount(start, stop, step);
    for (double j = 0; j <= n; ++j) values.push_back(std::min(start + j * step, stop));
    return values;
}

std::vector<std::string> SweepRequest::Validate() {
    std::vector<std::string> problems;
    const bool startRead = ParseDouble(startText, &start);
    const bool stopRead = ParseDouble(stopText, &stop);
    const bool stepRead = ParseDouble(stepText, &step);
    if (!startRead) problems.push_back("StartLevel1 must be a valid floating point number.");
    if (!stopRead) problems.push_back("StopLevel1 must be a valid floating point number.");
    if (!stepRead) problems.push_back("StepLevel1 must be a valid floating point number.");
    if (start >= stop) problems.push_back("StopLevel1 must be greater than StartLevel1");
    if (!(step > 0)) {
        problems.push_back("StepLevel1 must be greater than zero.");
    } else if (StepCount(start, stop, step) > 1000) {
        problems.push_back("Number of steps must be less than or equal to 1000.");
    }
    if (fileNames.empty()) problems.push_back("You must select at least one file.");
    setPath = ParamSetPath(paramSetName, kCountingParamsExtension);
    char value[32] = "";
    double parsed = 0;
    if (!Tovanix::E_GetPrivateProfileString(kCountingSection, paramName.c_str(), "", value, 31, setPath.c_str()) ||
        !ParseDouble(value, &parsed)) {
        problems.push_back("Params file does not have parameter: " + paramName);
    }
    return problems;
}

SweepReport RunParameterSweep(const SweepRequest& request, const ToolWorkerContext& context) {
    SweepReport report;
    const std::vector<double> values = SweepValues(request.start, request.stop, request.step);
    const int imageCount = static_cast<int>(request.fileNames.size());
    const int valueCount = static_cast<int>(values.size());

    CountingAlgoOptions loaded;
    Tovanix::String problems;
    if (!loaded.LoadFromFile(request.setPath.c_str(), problems)) {
        report.lines.push_back(problems.c_str());
    } else {
        loaded.enabled = true;
        CStringArray description;
        loaded.AppendDescription(description);
        AppendLines(description, report.lines);

        bool ended = false;
        for (int i = 0; i < imageCount && !ended && !context.StopRequested(); ++i) {
            const std::string& name = request.fileNames[static_cast<size_t>(i)];
            const std::string path = JoinToolFolder(request.folder, name);
            if (!platform::FileExists(path)) {
                report.lines.push_back("Image does not exist\t" + path);
                continue;
            }
            cv::Mat image;
            try {
                image = cv::imread(path, cv::IMREAD_UNCHANGED);
            } catch (const std::exception&) {
                image.release();
            }
            // A file that decodes to nothing is no image either.
            if (image.empty()) {
                report.lines.push_back("Problem trying to load image: " + path);
                continue;
            }
            CountingAlgoOptions options;
            Tovanix::String ignored;
            options.LoadFromFile(request.setPath.c_str(), ignored);
            report.lines.push_back("File\tParam\tValue\tCount1\tCount2");
            for (int j = 0; j < valueCount; ++j) {
                if (context.StopRequested()) {
                    ended = true;
                    break;
                }
                Tovanix::String error;
                if (!options.SetParamByName(request.paramName.c_str(), values[static_cast<size_t>(j)], error)) {
                    report.lines.push_back(error.c_str());
                    ended = true;
                    break;
                }
                char status[96];
                std::snprintf(status, sizeof status, "file[%d:%d] step[%d:%d]", i + 1, imageCount, j + 1, valueCount);
                context.SetStatus(status);
                std::vector<std::vector<CellDetection>> detections;
                CountingAlgo(image, options, detections);
                char counts[64];
                std::snprintf(counts, sizeof counts, "\t%d\t%d", static_cast<int>(detections[0].size()),
                              static_cast<int>(detections[1].size()));
                report.lines.push_back(name + "\t" + request.paramName + "\t" + FormatValue(values[static_cast<size_t>(j)]) +
                                       counts);
            }
        }
    }

    // What was gathered is written however the run ended.
    const std::time_t now = std::chrono::system_clock::to_time_t(context.Clock().WallNow());
    std::tm local{};
    localtime_r(&now, &local);
    char folderName[64];
    std::snprintf(folderName, sizeof folderName, "AlgoIterTool_%04d%02d%02d_%02d%02d%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    const std::string runFolder = JoinToolFolder(request.folder, folderName);
    std::error_code ec;
    if (!std::filesystem::create_directory(runFolder, ec) || ec) {
        report.error = "Can't create output directory: " + runFolder;
        context.SetStatus("");
        return report;
    }
    const std::string logPath = platform::JoinPath(runFolder, "AlgoIteratorTool.log");
    platform::CrlfTextWriter writer(logPath);
    bool written = writer.IsOpen() && writer.Write("# ComputerName=" + platform::GetComputerName() + "\n");
    for (const std::string& line : report.lines) written = written && writer.Write(line + "\n");
    if (!written || !writer.Commit()) {
        report.error = "Can't create ouput file for AlgoIteratorTool run: " + logPath;
    } else {
        report.logPath = logPath;
    }
    context.SetStatus("");
    return report;
}
