#include "analysis/AnalysisEngineState.h"

#include "analysis/ExperimentDataSet.h"

MeniscusSearchState g_LeadMeniscusSearch;
MeniscusSearchState g_TrailMeniscusSearch;
FlowGeometry g_FlowGeometry;
FractionationState g_FractionationState;
ChannelDisplaySettings g_MontageDisplaySettings;

std::mutex& AnalysisEngineLock()
{
    static std::mutex lock;
    return lock;
}

void ResetMeniscusSearches()
{
    g_LeadMeniscusSearch = MeniscusSearchState{};
    g_TrailMeniscusSearch = MeniscusSearchState{};
}

void ResetFlowGeometry() { g_FlowGeometry = FlowGeometry{}; }

void ResetFractionationState() { g_FractionationState = FractionationState{}; }

void ResetAfterPipeline(ExperimentDataSet& data)
{
    ResetMeniscusSearches();
    data = ExperimentDataSet{};
    ResetFlowGeometry();
}
