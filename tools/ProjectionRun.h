#pragma once

// One projection batch run of the projection analysis tool: for every
// selected image, the row and column projections of a named region, the
// fitted peaks of the row projection against a baseline taken from chosen
// background images, and their heights between the magnets as LP values.
// Writes a time-stamped run folder beside the images: the summary
// "<first image>.Analysis.txt", the two projection tables
// "<first image>.[vert_proj].txt" and "<first image>.[horz_proj].txt", the
// per-image fit files and copies of the parameter files used.
//
// Runs without a window: the tool builds the request, checks it with
// PrepareProjectionRun on its own thread, then runs the worker; every
// message the run meets comes back in its result, to be shown (and logged
// where marked) by the window.

#include "analysis/LPCurveParams.h"
#include "analysis/Projection.h"
#include "analysis/ProjectionAnalysisParams.h"
#include "tools/ToolFrame.h"

#include <string>
#include <vector>

struct ProjectionRunRequest {
    std::string folder;                        // the tool's directory text
    std::vector<std::string> fileNames;        // selected entries of the file list, list order
    std::vector<std::string> backgroundNames;  // chosen background images, names with extension
    std::string paramSetName;                  // the parameter-set combo's text
    std::string roiName;                       // the ROI combo's text
    std::string lpCurveName;                   // the LP-curve combo's text
    std::string gdText;                        // the Gd edit's text, as typed
    bool openSummary = false;                  // the "Open Summary" box: the worker opens the summary
    std::string programName = "Vellora";
    std::string programVersion;
};

// A message of the run or of its checks, in the order met.
struct ProjectionRunMessage {
    std::string text;
    bool logged = false;     // also written to the error-and-info log
    bool errorIcon = false;  // shown with the error icon rather than a plain box
};

// The Run button's checks, in their order, up to starting the worker: loads
// the parameter set and the LP curve of the LIB folder into `params` and
// `lpCurve` and puts the named ROI's rectangle into `params`. False with the
// refusal in `refusal`; what was loaded before the refusing check stays
// loaded.
bool PrepareProjectionRun(const ProjectionRunRequest& request, ProjectionAnalysisParams& params,
                          LPCurveParams& lpCurve, ProjectionRunMessage& refusal);

struct ProjectionRunResult {
    std::vector<ProjectionRunMessage> messages;  // failures that end the run or must be shown
    std::string imageLogPath;                    // the capture log used, empty when none loaded
    std::string runFolder;                       // empty when the run ended before making it
    std::string summaryPath;                     // empty when no summary was written
    std::string vertProjectionPath;
    std::string horzProjectionPath;
    int imagesAnalysed = 0;  // images whose projection succeeded (the last frame_idx)
    bool stopped = false;    // ended between images by the stop flag
};

// The worker. `params` takes the run's baseline and pixels per millimetre.
// The stop flag of `context` is tested between images; a stopped run still
// writes what it has.
ProjectionRunResult WORKER_THREAD_AnalyzeProjections(const ProjectionRunRequest& request,
                                                     ProjectionAnalysisParams& params, const LPCurveParams& lpCurve,
                                                     const ToolWorkerContext& context);

// The seven summary columns of one fitted peak: amplitude, width, centre as
// a height between the magnets (0 at the lower, 1 at the upper), the LP
// values of that height and of the width, the fit error (-1 when none was
// computed) and the error flag. The ROI is that of `params`; the magnet rows
// must differ.
std::string FormatProjectionPeakColumns(const ProjectionPeak& peak, const ProjectionAnalysisParams& params,
                                        int32_t upperMagnet, int32_t lowerMagnet, const LPCurveParams& lpCurve);
