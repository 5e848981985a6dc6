#include "tools/MeniscusTool.h"

#include <opencv2/imgcodecs.hpp>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>

#include "app/VelloraApp.h"
#include "support/AppLogs.h"

namespace {

constexpr int kMaxMeniscusJump = 200;

std::string Format(const char* format, auto... values) {
    char buffer[2048];
    std::snprintf(buffer, sizeof buffer, format, values...);
    return buffer;
}

// The image as a 16-bit grey image, which the meniscus search works on; an
// 8-bit file is widened. Empty when the file cannot be read.
cv::Mat LoadGreyImage(const std::string& path) {
    cv::Mat image;
    try {
        image = cv::imread(path, cv::IMREAD_GRAYSCALE | cv::IMREAD_ANYDEPTH);
    } catch (const std::exception&) {
        return cv::Mat();
    }
    if (!image.empty() && image.depth() == CV_8U) image.convertTo(image, CV_16U, 256.0);
    return image;
}

}  // namespace

ToolSettings MakeMeniscusSettings() {
    return ToolSettings("FindMeniscus", {{"Directory", ""}, {"Filter", "*.png"}});
}

void ApplyMeniscusConsistency(std::vector<NamedMeniscus>& results) {
    for (size_t i = 1; i < results.size(); ++i) {
        MeniscusResult& current = results[i].result;
        if (!current.found) continue;
        MeniscusResult& previous = results[i - 1].result;
        if (previous.found && std::abs(current.meniscus_x - previous.meniscus_x) > kMaxMeniscusJump) {
            previous.found = false;
            current.found = false;
        }
        if (i + 1 < results.size() && !results[i + 1].result.found) current.found = false;
    }
}

std::string MeniscusRow(const NamedMeniscus& named) {
    const MeniscusResult& r = named.result;
    const long upper = r.upper_channel_row, lower = r.lower_channel_row, x = r.meniscus_x;
    std::string values;
    if (r.found && r.form_valid)
        values = Format("%ld\t%ld\tTrue\t%ld\t%6.1f", upper, lower, x, static_cast<double>(r.form));
    else if (r.found)
        values = Format("%ld\t%ld\tTrue\t%ld", upper, lower, x);
    else
        values = Format("%ld\t%ld\tFalse\t\t", upper, lower);
    return named.name + "\t" + values;
}

MeniscusReport RunFindMeniscus(const MeniscusRequest& request, const ToolWorkerContext& context) {
    MeniscusReport report;
    report.lines = {"FindMeniscus", std::string("Version\t") + theApp.m_strFileVersion.GetString(),
                    "Directory\t" + request.folder,
                    "Image\tupper_channel_y\tlower_channel_y\tmeniscus_found\tmeniscus_x\tmeniscus_form"};
    std::vector<NamedMeniscus> results;
    int upperHint = -1, lowerHint = -1;
    const long count = static_cast<long>(request.fileNames.size());
    for (long i = 0; i < count && !context.StopRequested(); ++i) {
        const std::string& name = request.fileNames[static_cast<size_t>(i)];
        context.SetStatus(Format("%ld of %ld", i + 1, count));
        const std::string path = JoinToolFolder(request.folder, name);
        const cv::Mat image = LoadGreyImage(path);
        if (image.empty()) {
            report.lines.push_back(path + "\tCan't open image file.");
            continue;
        }
        NamedMeniscus named{name, MeniscusResult{}};
        FindMeniscus(image, named.result, upperHint, lowerHint);
        upperHint = named.result.upper_channel_row;
        lowerHint = named.result.lower_channel_row;
        results.push_back(named);
    }
    ApplyMeniscusConsistency(results);
    for (const NamedMeniscus& named : results) report.lines.push_back(MeniscusRow(named));
    context.SetStatus("");

    // The report is named after the end of the run.
    const std::time_t now = std::chrono::system_clock::to_time_t(context.Clock().WallNow());
    std::tm t{};
    localtime_r(&now, &t);
    const std::string path = JoinToolFolder(
        request.folder, Format("%04u%02u%02u_%02u%02u%02u_MeniscusReport.txt", t.tm_year + 1900, t.tm_mon + 1,
                               t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec));
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        report.error = "Can't open report file: " + path;
        LogErrAndInfo("FindMeniscusDlg", __LINE__, report.error.c_str());
        return report;
    }
    for (const std::string& line : report.lines) std::fprintf(file, "%s\r\n", line.c_str());
    std::fclose(file);
    report.path = path;
    return report;
}
