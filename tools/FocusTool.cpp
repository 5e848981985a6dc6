#include "tools/FocusTool.h"

#include <opencv2/imgcodecs.hpp>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <exception>

#include "analysis/ImageRoi.h"
#include "analysis/ImageStatistics.h"
#include "app/VelloraApp.h"
#include "support/AppLogs.h"

namespace {

std::string Format(const char* format, auto... values) {
    char buffer[2048];
    std::snprintf(buffer, sizeof buffer, format, values...);
    return buffer;
}

std::tm LocalTime(platform::Clock& clock) {
    const std::time_t now = std::chrono::system_clock::to_time_t(clock.WallNow());
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

// The image as stored (16-bit stays 16-bit); empty when it cannot be read.
cv::Mat LoadImage(const std::string& path) {
    try {
        return cv::imread(path, cv::IMREAD_UNCHANGED);
    } catch (const std::exception&) {
        return cv::Mat();
    }
}

}  // namespace

ToolSettings MakeFocusSettings() { return ToolSettings("FocusTool", {{"Directory", ""}, {"Filter", "*.png"}}); }

FocusReport ScoreFocus(const FocusRequest& request, const ToolWorkerContext& context) {
    FocusReport report;
    CartridgeChannelROI channel;
    theApp.GetCartridgeChannelROI(false, CString(""), channel);
    Tovanix::Roi roi{channel.left, channel.top, channel.right, channel.bottom};

    const std::tm start = LocalTime(context.Clock());
    const std::string path = JoinToolFolder(
        request.folder, Format("FocusTool_%04u%02u%02u_%02u%02u%02u.txt", start.tm_year + 1900, start.tm_mon + 1,
                               start.tm_mday, start.tm_hour, start.tm_min, start.tm_sec));
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        // Without a report there is nothing to score into: the run ends here.
        report.error = Format("Unable to create file: %s", path.c_str());
        LogErrAndInfo("FocusToolDlg", __LINE__, report.error.c_str());
        return report;
    }
    report.path = path;
    std::fprintf(file, "%s Version = %s\r\n", theApp.m_strDisplayName.GetString(),
                 theApp.m_strFileVersion.GetString());
    std::fprintf(file, "FocusTool\r\n");
    std::fprintf(file, "directory=%s\r\n", request.folder.c_str());
    std::fprintf(file, "ROI_left=%ld\r\n", static_cast<long>(roi.left));
    std::fprintf(file, "ROI_right=%ld\r\n", static_cast<long>(roi.right));
    std::fprintf(file, "ROI_top=%ld\r\n", static_cast<long>(roi.top));
    std::fprintf(file, "ROI_bottom=%ld\r\n", static_cast<long>(roi.bottom));
    std::fprintf(file, "Image\tscore\tms\r\n");

    const long count = static_cast<long>(request.fileNames.size());
    for (long i = 0; i < count && !context.StopRequested(); ++i) {
        const std::string& name = request.fileNames[static_cast<size_t>(i)];
        context.SetStatus(Format("Processing %ld of %ld", i + 1, count));
        context.Clock().SleepFor(std::chrono::milliseconds(500));
        const std::string imagePath = JoinToolFolder(request.folder, name);
        cv::Mat image = LoadImage(imagePath);
        if (image.empty()) {
            LogErrAndInfo("FocusToolDlg", __LINE__, ("Problem trying to load image: " + imagePath).c_str());
            continue;
        }
        const auto before = context.Clock().Now();
        double score = 0;
        Tovanix::String error;
        const bool scored = ComputeFocusScore(image, &roi, score, error);
        const long ms = static_cast<long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(context.Clock().Now() - before).count());
        if (!scored) {
            report.error = error.c_str();
            LogErrAndInfo("FocusToolDlg", __LINE__, report.error.c_str());
            break;
        }
        const std::string row = Format("%s\t%5.3lf\t%ld", name.c_str(), score, ms);
        std::fprintf(file, "%s\r\n", row.c_str());
        report.rows.push_back(row);
    }
    std::fclose(file);
    return report;
}
