#include "analysis/ExperimentVideo.h"

#include "analysis/AnalysisEngineState.h"
#include "analysis/AnalysisStepGuard.h"
#include "analysis/ExperimentFolder.h"
#include "analysis/FalseColourFrames.h"
#include "analysis/FlowGeometry.h"
#include "analysis/SplitLineDetection.h"
#include "platform/Files.h"

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <mutex>
#include <vector>

namespace {

void DrawSplitLine(cv::Mat& picture)
{
    const int row = static_cast<int>(g_FlowGeometry.splitRow);
    cv::line(picture, cv::Point(0, row), cv::Point(picture.cols, row), cv::Scalar(255, 0, 0), 3, cv::LINE_8, 0);
}

}  // namespace

bool CreateExperimentVideo(void* /*owner*/, std::string folder, int includeChannel1, int includeChannel2,
                           int /*unused*/, std::string videoName, std::string* error)
{
    std::lock_guard<std::mutex> engine(AnalysisEngineLock());
    return RunGuardedStep(kCreateVideoPrefix, error, [&] {
        ExperimentDataSet data;
        OpenExperimentFolder(data, folder);
        if (!ParseCaptureLog(data, data.captureLogPath))
            return false;
        bool green = includeChannel1 != 0;
        bool red = includeChannel2 != 0;
        CheckFluorescenceChannels(data, green, red);
        ComputeReferenceContrastLevels(data, g_MontageDisplaySettings);
        g_MontageDisplaySettings.useChannel1 = green;
        g_MontageDisplaySettings.useChannel2 = red;
        if (!ReadExperimentSettings(data, data.settingsFilePath, error) ||
            !DetectSplitLineFromLogs(data, folder, data.settingsFilePath, error) || !CalculateSplitLine(data, error))
            return false;

        std::vector<FrameChannelImages> frames;
        if (!ListVideoFrames(data, frames) || frames.empty()) {
            if (error)
                *error = "error in getting images for video creation.";
            return false;
        }
        cv::Mat picture;
        if (!LoadFalseColourFrame(data, ChannelDisplaySettings(g_MontageDisplaySettings), frames[0], picture)) {
            if (error)
                *error = "Error in performing auto-contrast.";
            return false;
        }
        DrawSplitLine(picture);

        const std::string path = platform::JoinPath(folder, videoName) + ".mp4";
        cv::VideoWriter writer;
        writer.open(path, cv::VideoWriter::fourcc('M', 'P', '4', 'V'), 5.0, picture.size(), true);
        if (!writer.isOpened()) {
            if (error)
                *error = "Can't open VideoWriter object. (codec MP4V, file " + path +
                         "; the video library may lack this encoder)";
            return false;
        }
        writer.write(picture);
        for (size_t i = 1; i < frames.size(); ++i) {
            // A frame whose images cannot be composed is left out.
            if (!LoadFalseColourFrame(data, ChannelDisplaySettings(g_MontageDisplaySettings), frames[i], picture))
                continue;
            DrawSplitLine(picture);
            writer.write(picture);
        }
        writer.release();
        return true;
    });
}
