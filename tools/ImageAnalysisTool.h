#pragma once

// The batch image analysis tool without its window: its settings section,
// the checks that turn the chosen folder, files and parameter files into a
// run record of the batch engine, the parameter-file header lines of a run,
// and the owner through which the engine's thread reaches the tool (stop
// flag, status sink, "Open Summary", end of run).

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "analysis/ImageAnalysisRun.h"
#include "tools/ToolFrame.h"

constexpr const char* kEpiParamsExtension = ".epi_counting_params";
constexpr const char* kLPCurveExtension = ".LP_curve_params";

// [ImageAnalysisTool]: Directory, Filter, AlgoParamsSet, AlgoParamsSetEpi,
// LPCurve, OpenSummary, Gd_conc; every default empty.
ToolSettings MakeImageAnalysisToolSettings();

struct ImageAnalysisRequest {
    std::vector<std::string> fileNames;  // selected, in list order
    std::string cirSetName;              // list texts
    std::string epiSetName;
    std::string lpCurveName;
    std::string gdConcText;
    std::string folder;
    std::string magnetSettingsFile;  // the acquisition's settings file, or the main one

    // Checks the inputs and fills `run` (file names, set paths, magnets,
    // options, LP curve, folder). False with the message in `error`;
    // `warningOnly` is set for the one refusal that is not logged (no file
    // selected).
    bool Prepare(ImageAnalysisRun& run, std::string* error, bool* warningOnly) const;
};

// The run's parameter-file lines: for the circular set, the epi set and the
// LP curve the file is copied from the LIB folder into the run folder (a
// failed copy is ignored) and "#cir_params=", "#epi_params=", "#LP_curve="
// with the name are added; then "#Projection Analysis params file=",
// "#Background Calibration params file=" and "#Gd_conc=" with the text.
void AppendParamFileHeaderLines(const std::string& cirSetName, const std::string& epiSetName,
                                const std::string& lpCurveName, const std::string& gdConcText,
                                const std::string& runFolder, CStringArray& lines);

// What the engine's thread asks of the tool: the worker context's stop flag
// and status sink, the header lines of the request, the "Open Summary"
// choice (which may change while the run goes on) and the end of the run.
// Safe from any thread.
class ImageAnalysisToolOwner : public ImageAnalysisOwner {
public:
    ImageAnalysisToolOwner(const ImageAnalysisRequest& request, ToolWorkerContext context,
                           std::function<void()> ended = nullptr);

    void RequestStop() { m_stop = true; }
    void SetOpenSummary(bool open) { m_openSummary = open; }
    // Where the choice is read when the run ends instead (a window's box).
    void SetOpenSummarySource(std::function<bool()> source) { m_openSummarySource = std::move(source); }

    bool StopRequested() override { return m_stop || m_context.StopRequested(); }
    void SetProgressText(const char* text) override;
    void GetParamFileHeaderLines(CStringArray& lines, const char* runFolder) override;
    bool OpenSummaryWhenDone() override { return m_openSummarySource ? m_openSummarySource() : m_openSummary.load(); }
    void EnableControls() override;

private:
    ImageAnalysisRequest m_request;
    ToolWorkerContext m_context;
    std::function<void()> m_ended;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_openSummary{false};
    std::function<bool()> m_openSummarySource;
};
