#include "tools/ProjectionRun.h"

// Stand-in until the batch run lands: every request is refused.

bool PrepareProjectionRun(const ProjectionRunRequest&, ProjectionAnalysisParams&, LPCurveParams&,
                          ProjectionRunMessage& refusal) {
    refusal = ProjectionRunMessage{"The projection run is not available.", false, false};
    return false;
}

ProjectionRunResult WORKER_THREAD_AnalyzeProjections(const ProjectionRunRequest&, ProjectionAnalysisParams&,
                                                     const LPCurveParams&, const ToolWorkerContext&) {
    return {};
}
