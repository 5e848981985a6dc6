#include "tools/ImageAnalysisTool.h"

#include <cstdio>
#include <cstdlib>

#include "app/VelloraApp.h"
#include "platform/Files.h"
#include "support/Profile.h"
#include "support/String.h"
#include "tools/CountingParamSet.h"

namespace {

// "%d" of a settings value read into 30 characters; false when it does not read.
bool ReadMagnet(const std::string& file, const char* key, int32_t* value) {
    char buffer[32] = "";
    if (!Tovanix::E_GetPrivateProfileString("CalibrationSettings", key, "", buffer, 31, file.c_str())) return false;
    int parsed = 0;
    if (std::sscanf(buffer, "%d", &parsed) != 1) return false;
    *value = parsed;
    return true;
}

}  // namespace

ToolSettings MakeImageAnalysisToolSettings() {
    return ToolSettings("ImageAnalysisTool", {{"Directory", ""},
                                              {"Filter", ""},
                                              {"AlgoParamsSet", ""},
                                              {"AlgoParamsSetEpi", ""},
                                              {"LPCurve", ""},
                                              {"OpenSummary", ""},
                                              {"Gd_conc", ""}});
}

bool ImageAnalysisRequest::Prepare(ImageAnalysisRun& run, std::string* error, bool* warningOnly) const {
    *warningOnly = false;
    if (fileNames.empty()) {
        *error = "You must select at least one file to process.";
        *warningOnly = true;
        return false;
    }
    run.fileNames.RemoveAll();
    for (const std::string& name : fileNames) run.fileNames.Add(CString(name.c_str()));
    run.cirOptions.enabled = false;
    run.epiParams.enabled = false;

    if (!cirSetName.empty()) {
        const std::string path = ParamSetPath(cirSetName, kCountingParamsExtension);
        if (!platform::FileExists(path)) {
            *error = "Circular algo params file: " + path + " does not exist";
            return false;
        }
        Tovanix::String problems;
        if (!run.cirOptions.LoadFromFile(path.c_str(), problems)) {
            *error = problems.c_str();
            return false;
        }
        run.cirOptions.enabled = true;
        run.cirParamsFile = path.c_str();
    }
    if (!epiSetName.empty()) {
        const std::string path = ParamSetPath(epiSetName, kEpiParamsExtension);
        if (!platform::FileExists(path)) {
            *error = "Epi algo params file: " + path + " does not exist";
            return false;
        }
        run.epiParams.LoadFromFile(path.c_str());
        Tovanix::String problems;
        if (!run.epiParams.Validate(problems)) {
            *error = problems.c_str();
            return false;
        }
        run.epiParams.enabled = true;
        run.epiParamsFile = path.c_str();
    }
    if (!run.cirOptions.enabled && !run.epiParams.enabled) {
        *error = "You must specify a circular and/or epi algo params file.";
        return false;
    }
    run.imageDir = folder.c_str();

    std::string errors;
    char text[1024];
    int32_t upper = -10000;
    if (!ReadMagnet(magnetSettingsFile, "UpperMagnet", &upper)) upper = -10000;
    if (upper < -3000) {
        std::snprintf(text, sizeof text, "%s - missing [%s] UpperMagnet=%d must be >= -3000", magnetSettingsFile.c_str(),
                      "CalibrationSettings", upper);
        errors += text;
    }
    int32_t lower = -1;
    if (!ReadMagnet(magnetSettingsFile, "LowerMagnet", &lower)) lower = -1;
    if (lower < 0) {
        std::snprintf(text, sizeof text, "%s - missing [%s] LowerMagnet=nnn", magnetSettingsFile.c_str(), "CalibrationSettings");
        errors += text;
    }
    run.upperMagnet = upper;
    run.lowerMagnet = lower;

    run.lpCurve = LPCurveParams{};
    if (!lpCurveName.empty()) {
        const std::string path = ParamSetPath(lpCurveName, kLPCurveExtension);
        double gdConc = 0;
        if (std::sscanf(gdConcText.c_str(), "%lf", &gdConc) != 1) gdConc = 0;
        if (!(gdConc > 0.001 && gdConc < 1000)) {
            errors += "Gd_conc must be between 0.001 and 1000 mM";
        } else {
            CString lpError;
            if (!run.lpCurve.LoadFromFile(gdConc, path.c_str(), lpError)) errors += lpError.str();
        }
    }
    if (!errors.empty()) {
        *error = errors;
        return false;
    }
    return true;
}

void AppendParamFileHeaderLines(const std::string& cirSetName, const std::string& epiSetName,
                                const std::string& lpCurveName, const std::string& gdConcText,
                                const std::string& runFolder, CStringArray& lines) {
    const struct {
        const char* label;
        const std::string& name;
        const char* extension;
    } choices[] = {
        {"#cir_params=", cirSetName, kCountingParamsExtension},
        {"#epi_params=", epiSetName, kEpiParamsExtension},
        {"#LP_curve=", lpCurveName, kLPCurveExtension},
    };
    for (const auto& choice : choices) {
        if (!choice.name.empty()) {
            const std::string fileName = choice.name + choice.extension;
            const std::string target = runFolder.empty() ? fileName : platform::JoinPath(runFolder, fileName);
            platform::CopyFileAtomically(ParamSetPath(choice.name, choice.extension), target, true);
        }
        lines.Add(CString((std::string(choice.label) + choice.name).c_str()));
    }
    lines.Add(CString("#Projection Analysis params file="));
    lines.Add(CString("#Background Calibration params file="));
    lines.Add(CString(("#Gd_conc=" + gdConcText).c_str()));
}

ImageAnalysisToolOwner::ImageAnalysisToolOwner(const ImageAnalysisRequest& request, ToolWorkerContext context,
                                               std::function<void()> ended)
    : m_request(request), m_context(std::move(context)), m_ended(std::move(ended)) {}

void ImageAnalysisToolOwner::SetProgressText(const char* text) { m_context.SetStatus(text ? text : ""); }

void ImageAnalysisToolOwner::GetParamFileHeaderLines(CStringArray& lines, const char* runFolder) {
    AppendParamFileHeaderLines(m_request.cirSetName, m_request.epiSetName, m_request.lpCurveName, m_request.gdConcText,
                               runFolder ? runFolder : "", lines);
}

void ImageAnalysisToolOwner::EnableControls() {
    if (m_ended) m_ended();
}
