#include "analysis/FlowGeometry.h"

#include "analysis/AnalysisEngineState.h"
#include "analysis/AnalysisStepGuard.h"
#include "analysis/ExperimentFolder.h"

#include <opencv2/imgcodecs.hpp>

#include <cmath>
#include <vector>

namespace {

// The middle entry in capture order (the mean of the two middle ones for an
// even count).
double MiddleValue(const std::vector<double>& values)
{
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

bool Refuse(const char* prefix, const char* reason, std::string* error)
{
    if (error)
        *error = std::string(prefix) + reason;
    return false;
}

}  // namespace

bool CalculateSplitLine(ExperimentDataSet data, std::string* error)
{
    return RunGuardedStep(kCalculateSplitLinePrefix, error, [&] {
        if (data.frames.empty())
            return Refuse(kCalculateSplitLinePrefix, "the experiment has no frames", error);
        std::vector<double> pump1, pump2;
        for (const FrameRecord& f : data.frames) {
            pump1.push_back(f.pump1Speed);
            pump2.push_back(f.pump2Speed);
        }
        const double p1 = MiddleValue(pump1);
        const double p2 = MiddleValue(pump2);
        if (!(p1 + p2 > 0.0))
            return Refuse(kCalculateSplitLinePrefix, "the pumps did not move", error);
        const double e = 0.5 / (p1 / p2 + 1.0);
        double bestF = 0.0;
        double bestDistance = INFINITY;
        for (int i = 0; i < 5000; ++i) {
            const double f = i / 5000.0;
            const double distance = std::fabs(f * f * f - 1.5 * f * f + e);
            if (distance < bestDistance) {
                bestDistance = distance;
                bestF = f;
            }
        }
        g_FlowGeometry.splitOffsetPercent = (bestF - 0.5) * 100.0;
        const double height = data.lowerChannelRowEnd - data.upperChannelRow;
        g_FlowGeometry.splitRow = (50.0 - g_FlowGeometry.splitOffsetPercent) / 100.0 * height + 100.0;
        return true;
    });
}

bool CalculatePixelShiftPerFrame(ExperimentDataSet data, std::string* error)
{
    return RunGuardedStep(kCalculatePixelShiftPrefix, error, [&] {
        const size_t n = data.frames.size();
        if (n < 2)
            return Refuse(kCalculatePixelShiftPrefix, "at least two frames are needed", error);
        if (!(data.pixelsPerMm > 0.0))
            return Refuse(kCalculatePixelShiftPrefix, "the experiment has no image calibration", error);
        int32_t total = 0;
        for (const FrameRecord& f : data.frames)
            total = static_cast<int32_t>(total + f.pump1Speed + f.pump2Speed);
        const int32_t averageFlow = total / static_cast<int32_t>(n);
        double elapsedMs = 0.0;
        for (size_t i = 1; i < n; ++i)
            elapsedMs += static_cast<uint32_t>(data.frames[i].captureTimeMs - data.frames[i - 1].captureTimeMs);
        const double frameInterval = elapsedMs / 1000.0 / static_cast<double>(n - 1);
        const double volumePerFrame = averageFlow / 60.0 * frameInterval;
        g_FlowGeometry.pixelShiftPerFrame = std::trunc(volumePerFrame * 0.25 / (1.0 / data.pixelsPerMm));
        return true;
    });
}

bool CalculateSampleVolume(std::string folder, ExperimentDataSet data, std::string* error)
{
    return RunGuardedStep(kCalculateSampleVolumePrefix, error, [&] {
        const size_t lead = static_cast<size_t>(g_LeadMeniscusSearch.frameIndex);
        const std::string path = ResolveExperimentImagePath(folder, data.frames.at(lead).brightFieldFile);
        const cv::Mat image = cv::imread(path, cv::IMREAD_UNCHANGED);
        if (image.empty())
            return Refuse(kCalculateSampleVolumePrefix, ("could not read " + path).c_str(), error);
        // Throws when the shift is negative or wider than the frame.
        (void)image.colRange(0, static_cast<int>(image.cols - g_FlowGeometry.pixelShiftPerFrame));
        return true;
    });
}
