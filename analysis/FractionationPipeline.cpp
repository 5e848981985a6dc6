#include "analysis/FractionationPipeline.h"

#include "analysis/AnalysisEngineState.h"
#include "analysis/AnalysisStepGuard.h"
#include "analysis/ExperimentFolder.h"
#include "analysis/FlowGeometry.h"
#include "analysis/FractionationAnalysis.h"
#include "analysis/MeniscusSearch.h"
#include "analysis/SplitLineDetection.h"

#include <mutex>

namespace {

void ResetEngine()
{
    ResetMeniscusSearches();
    ResetFlowGeometry();
    ResetFractionationState();
}

// Back to the start-up state, however the pipeline ended.
class EngineReset {
public:
    explicit EngineReset(ExperimentDataSet& data) : m_data(data) {}
    ~EngineReset()
    {
        m_data = ExperimentDataSet{};
        ResetEngine();
    }
    EngineReset(const EngineReset&) = delete;
    EngineReset& operator=(const EngineReset&) = delete;

private:
    ExperimentDataSet& m_data;
};

}  // namespace

bool FractionationAnalysis(void* /*unused*/, std::string folder, std::string reportName, double& top, double& bottom,
                           std::string* error)
{
    std::lock_guard<std::mutex> engine(AnalysisEngineLock());
    // The searches add to their lists: start from empty ones whatever ran
    // before.
    ResetEngine();
    ExperimentDataSet data;
    EngineReset reset(data);
    return RunGuardedStep(kFractionationAnalysisPrefix, error, [&] {
        OpenExperimentFolder(data, folder);  // a folder without a log fails at the next step
        if (!ParseCaptureLog(data, data.captureLogPath))
            return false;
        if (!ReadExperimentSettings(data, data.settingsFilePath, error))
            return false;
        if (!DetectSplitLineFromLogs(data, folder, data.settingsFilePath, error))
            return false;
        if (!LeadMeniscusIndex(folder, data, error) || !TrailMeniscusIndex(folder, data, error) ||
            !CalculateSplitLine(data, error) || !CalculatePixelShiftPerFrame(data, error))
            return false;
        const bool analysed = ConductFractionationAnalysis(folder, data.experimentName, reportName, data, error);
        top = g_FractionationState.topFraction;
        bottom = g_FractionationState.bottomFraction;
        return analysed;
    });
}
