#include "analysis/MontagePipeline.h"

#include "analysis/AnalysisEngineState.h"
#include "analysis/AnalysisStepGuard.h"
#include "analysis/ExperimentFolder.h"
#include "analysis/FalseColourFrames.h"
#include "analysis/FlowGeometry.h"
#include "analysis/MeniscusSearch.h"
#include "analysis/MontageImage.h"
#include "analysis/SplitLineDetection.h"

#include <mutex>

bool CreateMontage(void* /*owner*/, std::string folder, int includeChannel1, int includeChannel2,
                   std::string montageName, std::string* error)
{
    std::lock_guard<std::mutex> engine(AnalysisEngineLock());
    ExperimentDataSet data;
    const bool result = RunGuardedStep(kCreateMontagePrefix, error, [&] {
        OpenExperimentFolder(data, folder);  // a folder without a log fails at the next step
        if (!ParseCaptureLog(data, data.captureLogPath))
            return false;
        bool green = includeChannel1 != 0;
        bool red = includeChannel2 != 0;
        CheckFluorescenceChannels(data, green, red);
        ComputeReferenceContrastLevels(data, g_MontageDisplaySettings);
        g_MontageDisplaySettings.useChannel1 = green;
        g_MontageDisplaySettings.useChannel2 = red;
        if (!ReadExperimentSettings(data, data.settingsFilePath, error) ||
            !DetectSplitLineFromLogs(data, folder, data.settingsFilePath, error) ||
            !LeadMeniscusIndex(folder, data, error) || !TrailMeniscusIndex(folder, data, error) ||
            !CalculateSplitLine(data, error) || !CalculatePixelShiftPerFrame(data, error) ||
            !CreateMontageImage(folder, data, g_MontageDisplaySettings, montageName, error))
            return false;
        return CalculateSampleVolume(folder, data, error);
    });
    ResetAfterPipeline(data);
    return result;
}
