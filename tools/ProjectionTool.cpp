#include "tools/ProjectionTool.h"

ToolSettings MakeProjectionToolSettings() {
    return ToolSettings("ProjectionAnalysisTool", {{"Directory", ""},
                                                   {"ProjectionAnalysisParams", ""},
                                                   {"ROI", ""},
                                                   {"Filter", "*.png"},
                                                   {"LPCurve", ""},
                                                   {"OpenSummary", ""},
                                                   {"Gd_conc", ""}});
}

std::vector<std::string> ListProjectionToolParamSets() { return ListParamSets(kProjectionParamsExtension); }
