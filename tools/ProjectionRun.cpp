#include "tools/ProjectionRun.h"

#include "analysis/ImageLogFileData.h"
#include "analysis/ImageStatistics.h"
#include "app/ExperimentSettingsIni.h"
#include "imaging/NamedROIEditing.h"
#include "platform/CStringArray.h"
#include "platform/Files.h"
#include "platform/Sync.h"
#include "platform/Time.h"
#include "support/Profile.h"
#include "support/ShellUtils.h"
#include "support/String.h"

#include <opencv2/imgcodecs.hpp>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <exception>

namespace {

constexpr char kPAParamsExtension[] = ".PA_params";
constexpr char kLPCurveExtension[] = ".LP_curve_params";
constexpr char kOperation[] = "WORKER_THREAD_AnalyzeProjections";

std::string Trimmed(const std::string& text) {
    Tovanix::String copy(text.c_str());
    copy.Trim();
    return copy.c_str();
}

// File name with extension, without its folder.
std::string NameOf(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// File name without folder and extension.
std::string BaseName(const std::string& path) {
    std::string name = NameOf(path);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.erase(dot);
    return name;
}

// A set file of the LIB folder, found in any letter case of its name.
std::string LibFile(const std::string& name, const char* extension) {
    const std::string path = ParamSetPath(name, extension);
    const std::string found = platform::FindFileIgnoringCase(path);
    return found.empty() ? path : found;
}

// "%d" of a settings value; `fallback` when the key is missing or does not parse.
int32_t ReadInt(const char* section, const char* key, int32_t fallback, const std::string& file) {
    char buffer[32] = "";
    int value = 0;
    if (!Tovanix::E_GetPrivateProfileString(section, key, "", buffer, 31, file.c_str()) ||
        std::sscanf(buffer, "%d", &value) != 1) {
        return fallback;
    }
    return value;
}

double ReadDouble(const char* section, const char* key, double fallback, const std::string& file) {
    char buffer[32] = "";
    double value = 0.0;
    if (!Tovanix::E_GetPrivateProfileString(section, key, "", buffer, 31, file.c_str()) ||
        std::sscanf(buffer, "%lf", &value) != 1) {
        return fallback;
    }
    return value;
}

std::tm LocalTimeOf(std::chrono::system_clock::time_point when) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    localtime_r(&seconds, &local);
    return local;
}

// Height of an image row between the magnets: 0 at the lower, 1 at the upper.
double HeightFraction(double y, int32_t upperMagnet, int32_t lowerMagnet) {
    return (lowerMagnet - y) / (static_cast<double>(lowerMagnet) - upperMagnet);
}

cv::Mat LoadImage(const std::string& path) {
    try {
        return cv::imread(platform::NativePath(path), cv::IMREAD_ANYDEPTH);
    } catch (const std::exception&) {
        // A file the codec cannot read is reported as one that did not load.
        return cv::Mat();
    }
}

// Per ROI column, the integer mean of its pixels from top to bottom. The
// ROI has been checked to lie inside the 16-bit image.
std::vector<int32_t> ColumnProjection(const cv::Mat& image, const ProjectionAnalysisParams& p) {
    std::vector<int64_t> sums(static_cast<size_t>(p.right - p.left + 1), 0);
    for (int r = p.top; r <= p.bottom; ++r) {
        const uint16_t* row = image.ptr<uint16_t>(r) + p.left;
        for (size_t c = 0; c < sums.size(); ++c) sums[c] += row[c];
    }
    const int64_t rows = p.bottom - p.top + 1;
    std::vector<int32_t> projection(sums.size());
    for (size_t c = 0; c < sums.size(); ++c) projection[c] = static_cast<int32_t>(sums[c] / rows);
    return projection;
}

std::string ColumnLine(size_t peakCount) {
    std::string line =
        "image\tElapsedMin\tImageModifyTime\tframe_idx\t"
        "MeanIntROI\tMedianIntROI\tPct10IntROI\tPump1SpeeULpMin\tPump2SpeedULpMin\tPump1VolUL\tPump2VolUL";
    for (size_t k = 1; k <= peakCount; ++k) {
        const int n = static_cast<int>(k);
        line += CString::Formatted("\tPeakAmplitude[%d]\tWidth[%d]\tPeakCenterLocation[%d]\tPeakCenterLP[%d]"
                                   "\tPeakWidthLP[%d]\tFitError[%d]\tComputationError[%d]",
                                   n, n, n, n, n, n, n)
                    .str();
    }
    return line;
}

struct ImageStatisticsOfRoi {
    double mean = 0.0;
    double median = 0.0;
    double pct10 = 0.0;
};

std::string RowStart(const std::string& name, double elapsedMinutes, const SYSTEMTIME& modified, int frameIndex,
                     const ImageStatisticsOfRoi& stats, const float pumps[4]) {
    return CString::Formatted("%s\t%4.2lf\t%04u/%02u/%02u %02u:%02u:%02u\t%d\t", name.c_str(), elapsedMinutes,
                              modified.wYear, modified.wMonth, modified.wDay, modified.wHour, modified.wMinute,
                              modified.wSecond, frameIndex)
               .str() +
           CString::Formatted("%3.1lf\t%3.1lf\t%3.1lf", stats.mean, stats.median, stats.pct10).str() +
           CString::Formatted("\t%3.1f\t%3.1f\t%4.2f\t%4.2f", static_cast<double>(pumps[0]),
                              static_cast<double>(pumps[1]), static_cast<double>(pumps[2]),
                              static_cast<double>(pumps[3]))
               .str();
}

// The two heading lines of both projection tables.
std::string TableHeading(const ProjectionRunRequest& request) {
    return "#" + request.programName + "_Version=" + request.programVersion + "\n# ComputerName=" +
           platform::GetComputerName() + "\n";
}

// One data row's image columns. An image without a projection keeps an
// empty column, so that every value stays under its own image's name.
std::string ImageColumns(const std::vector<std::vector<int32_t>>& projections, size_t j) {
    std::string text;
    for (const auto& projection : projections) {
        text += "\t";
        if (j < projection.size()) text += std::to_string(projection[j]);
    }
    return text;
}

bool WriteTextFile(const std::string& path, const std::string& text) {
    platform::CrlfTextWriter out(path);
    return out.IsOpen() && out.Write(text) && out.Commit();
}

}  // namespace

bool PrepareProjectionRun(const ProjectionRunRequest& request, ProjectionAnalysisParams& params,
                          LPCurveParams& lpCurve, ProjectionRunMessage& refusal) {
    auto refuse = [&](const std::string& text, bool logged, bool errorIcon) {
        refusal = ProjectionRunMessage{text, logged, errorIcon};
        return false;
    };
    if (request.fileNames.empty()) return refuse("You must select at least one image.", false, false);
    if (request.paramSetName.empty())
        return refuse("You must select a projection params file from the drop down.", true, true);
    params.LoadFromFile(LibFile(request.paramSetName, kPAParamsExtension).c_str());
    if (request.lpCurveName.empty()) return refuse("You must select an lp curve file the drop down.", true, true);
    double gd = 0.0;
    if (std::sscanf(request.gdText.c_str(), "%lf", &gd) != 1) gd = 0.0;
    if (!(gd > 0.001 && gd < 1000)) return refuse("Gd_conc must be between 0.001 and 1000 mM", true, true);
    CString lpError;
    if (!lpCurve.LoadFromFile(gd, LibFile(request.lpCurveName, kLPCurveExtension).c_str(), lpError))
        return refuse(lpError.str(), true, true);
    if (request.roiName.empty()) return refuse("You must select a roi from the drop down.", true, true);
    ROIRect rect;
    CString roiError;
    if (!ROIManagerModel::SelectROIByName(request.roiName.c_str(), rect, roiError)) {
        // An unreadable ROI list says nothing of its own.
        if (roiError.IsEmpty()) roiError = CString("There is not ROI with name: ") + request.roiName.c_str();
        return refuse(roiError.str(), true, true);
    }
    params.left = rect.left;
    params.top = rect.top;
    params.right = rect.right;
    params.bottom = rect.bottom;
    return true;
}

std::string FormatProjectionPeakColumns(const ProjectionPeak& peak, const ProjectionAnalysisParams& params,
                                        int32_t upperMagnet, int32_t lowerMagnet, const LPCurveParams& lpCurve) {
    const double gap = static_cast<double>(lowerMagnet) - upperMagnet;
    const double rows = static_cast<double>(params.bottom) - params.top + 1;
    const double width = (static_cast<double>(params.bottom) - params.top) / gap * 2.0 * peak.stdev;
    const double centre = HeightFraction(params.top + peak.centre * rows, upperMagnet, lowerMagnet);
    const double centreLP = lpCurve.LPValue(centre * lpCurve.mag_gap);
    const double topLP = lpCurve.LPValue(HeightFraction(params.top, upperMagnet, lowerMagnet) * lpCurve.mag_gap);
    const double bottomLP =
        lpCurve.LPValue(HeightFraction(params.bottom, upperMagnet, lowerMagnet) * lpCurve.mag_gap);
    const double widthLP = std::fabs(topLP - bottomLP) * 2.0 * peak.stdev;
    const double fitError = peak.fitError == kInvalidFitError ? -1.0 : peak.fitError;
    return CString::Formatted("\t%5.3lf\t%9.8lf\t%5.3lf\t%4.2lf\t%4.2lf\t%9.8lf\t%s", peak.amplitude, width, centre,
                              centreLP, widthLP, fitError, peak.errorFlag ? "TRUE" : "FALSE")
        .str();
}

ProjectionRunResult WORKER_THREAD_AnalyzeProjections(const ProjectionRunRequest& request,
                                                     ProjectionAnalysisParams& params, const LPCurveParams& lpCurve,
                                                     const ToolWorkerContext& context) {
    ProjectionRunResult result;
    auto fail = [&](const std::string& text, bool logged, bool errorIcon) {
        result.messages.push_back(ProjectionRunMessage{text, logged, errorIcon});
        context.SetStatus("");
        return result;
    };

    // Baseline from the background images.
    if (request.backgroundNames.empty()) return fail("Must select one or more backgroud images.", true, true);
    std::vector<Tovanix::String> backgrounds;
    for (const std::string& name : request.backgroundNames)
        backgrounds.emplace_back(JoinToolFolder(request.folder, name).c_str());
    const std::tm stamp = LocalTimeOf(context.Clock().WallNow());
    context.SetStatus("Computing baseline.");
    std::vector<int32_t> baseline;
    std::vector<int32_t> backgroundMeans;
    Tovanix::String baselineError;
    if (!ComputeMedianProjectionOfFiles(backgrounds, params, baseline, baselineError, &backgroundMeans))
        return fail(baselineError.c_str(), true, true);
    params.baseline = baseline;

    // The folder's calibration.
    const std::string folder = platform::NativePath(Trimmed(request.folder));
    const std::string ini = FindExperimentSettingsIni(folder.c_str()).c_str();
    if (ini.empty())
        return fail(CString::Formatted("Missing file: %s", platform::JoinPath(folder, "ExperimentSettings.ini").c_str())
                        .str(),
                    true, true);
    const int32_t upperMagnet = ReadInt("CalibrationSettings", "UpperMagnet", -1, ini);
    const int32_t lowerMagnet = ReadInt("CalibrationSettings", "LowerMagnet", -1, ini);
    const double pixelsPerMm = ReadDouble("CalibrationSettings", "image_pixels_per_mm", 0.0, ini);
    if (pixelsPerMm == 0.0) {
        return fail(
            CString::Formatted("Missing or invalid CalibrationSettings] image_pixels_per_mm in file: %s", ini.c_str())
                .str(),
            true, true);
    }
    params.image_pixels_per_mm = pixelsPerMm;
    CString invalid;
    if (!params.Validate(invalid)) return fail(invalid.str(), true, true);
    if (upperMagnet == -1)
        return fail(CString::Formatted("missing [CalibrationSettings] UpperMagnet from file %s", ini.c_str()).str(),
                    true, true);
    if (lowerMagnet == -1)
        return fail(CString::Formatted("missing [CalibrationSettings] LowerMagnet from file %s", ini.c_str()).str(),
                    true, true);
    // Every height is a fraction of the gap between the two rows.
    if (upperMagnet == lowerMagnet) {
        return fail(CString::Formatted("[CalibrationSettings] UpperMagnet and LowerMagnet must not be equal in file %s",
                                       ini.c_str())
                        .str(),
                    true, true);
    }

    std::vector<std::string> lines;
    lines.push_back("#" + request.programName + "_Version=" + request.programVersion);
    lines.push_back("# ComputerName=" + platform::GetComputerName());
    lines.push_back("#image_directory=" + request.folder);
    ImageLogFileData log;
    CString logError;
    if (log.Load(request.folder.c_str(), logError)) {
        result.imageLogPath = log.logPath.c_str();
        lines.push_back("#image_log_used=" + result.imageLogPath);
    } else {
        lines.push_back("#error_loading_image_log_file_data=" + logError.str());
    }
    lines.push_back("# **** Magnet elevations in vertical pixels ****");
    lines.push_back(CString::Formatted("#lower_magnet=%d", lowerMagnet).str());
    lines.push_back(CString::Formatted("#upper_magnet=%d", upperMagnet).str());

    // One run folder per second; an existing one is never reused.
    const std::string runFolder = platform::JoinPath(
        folder, CString::Formatted("%04u%02u%02u-%02u%02u-%02u", static_cast<unsigned>(stamp.tm_year + 1900),
                                   static_cast<unsigned>(stamp.tm_mon + 1), static_cast<unsigned>(stamp.tm_mday),
                                   static_cast<unsigned>(stamp.tm_hour), static_cast<unsigned>(stamp.tm_min),
                                   static_cast<unsigned>(stamp.tm_sec))
                    .str());
    if (::mkdir(runFolder.c_str(), 0777) != 0)
        return fail(CString::Formatted("Unable to create directory: %s", runFolder.c_str()).str(), false, false);
    result.runFolder = runFolder;

    // The parameter files used, copied beside the results; a failed copy
    // does not stop the run.
    if (!request.lpCurveName.empty()) {
        const std::string source = LibFile(request.lpCurveName, kLPCurveExtension);
        platform::CopyFileAtomically(source, platform::JoinPath(runFolder, NameOf(source)), true);
        lines.push_back("#LP_curve=" + request.lpCurveName);
    }
    if (!request.paramSetName.empty()) {
        const std::string source = LibFile(request.paramSetName, kPAParamsExtension);
        platform::CopyFileAtomically(source, platform::JoinPath(runFolder, NameOf(source)), true);
        lines.push_back("#Projection Analysis params file=" + request.paramSetName);
    }
    lines.push_back("#Gd_conc=" + request.gdText);
    CStringArray description;
    params.AppendDescription(description);
    for (const CString& line : description) lines.push_back(line.str());

    const std::string prefix = platform::JoinPath(
        runFolder, BaseName(request.fileNames.empty() ? std::string("analysis") : request.fileNames.front()));

    lines.push_back(CString::Formatted("#nbg_images=%d", static_cast<int>(backgrounds.size())).str());
    lines.push_back("ImageFile\tAvgIntensity");
    for (size_t b = 0; b < backgrounds.size(); ++b) {
        lines.push_back(CString::Formatted("#%s\t%d", NameOf(backgrounds[b].c_str()).c_str(),
                                           b < backgroundMeans.size() ? backgroundMeans[b] : 0)
                            .str());
    }

    const size_t n = request.fileNames.size();
    std::vector<std::vector<int32_t>> rowProjections(n);
    std::vector<std::vector<int32_t>> columnProjections(n);
    const Tovanix::Roi roi{params.left, params.top, params.right, params.bottom};
    int frameIndex = 0;
    for (size_t i = 0; i < n; ++i) {
        if (context.StopRequested()) {
            result.stopped = true;
            break;
        }
        context.SetStatus(CString::Formatted("%d of %d", static_cast<int>(i + 1), static_cast<int>(n)).str());
        const std::string& name = request.fileNames[i];
        const std::string imagePath = JoinToolFolder(request.folder, name);
        const std::string fitPath = platform::JoinPath(runFolder, BaseName(name) + ".[smoothed_vert_proj].txt");

        const cv::Mat image = LoadImage(imagePath);
        if (image.empty()) {
            lines.push_back("Problem trying to load image: " + imagePath);
            continue;
        }
        // A region that does not lie inside this image has no projection.
        std::vector<int32_t> rows;
        CString error;
        if (!ComputeRowProjection(image, params, rows, kOperation, error)) {
            lines.push_back(error.str() + " (" + imagePath + ")");
            continue;
        }
        rowProjections[i] = std::move(rows);
        columnProjections[i] = ColumnProjection(image, params);

        ImageStatisticsOfRoi stats;
        stats.mean = ComputeMeanIntensityInROI(image, roi);
        std::vector<double> intensities;
        ComputeROIIntensityStatistics(image, roi, {0.5, 0.1}, intensities);
        intensities.resize(2, 0.0);
        stats.median = intensities[0];
        stats.pct10 = intensities[1];

        std::vector<ProjectionPeak> peaks;
        int32_t elapsedMs = 0;
        error.Empty();
        if (!ComputeAndPlotProjection(image, params, peaks, elapsedMs, error, nullptr, fitPath.c_str())) {
            lines.push_back(error.str());
            DeleteProjectionResults(peaks);
            continue;
        }

        SYSTEMTIME modified{};
        platform::GetFileModifiedLocalTime(platform::NativePath(imagePath), &modified);

        if (frameIndex == 0) {
            if (!log.imageFiles.empty()) {
                CString firstError;
                if (!log.SetFirstFileName(name.c_str(), firstError))
                    lines.push_back("#error_loading_image_log_file_data=" + firstError.str());
            }
            lines.push_back(ColumnLine(peaks.size()));
        }
        ++frameIndex;
        float pumps[4] = {0, 0, 0, 0};
        const double elapsed = log.GetElapsedMinutes(name.c_str(), pumps);

        std::string row = RowStart(name, elapsed, modified, frameIndex, stats, pumps);
        std::stable_sort(peaks.begin(), peaks.end(),
                         [](const ProjectionPeak& a, const ProjectionPeak& b) { return a.centre < b.centre; });
        for (const ProjectionPeak& peak : peaks)
            row += FormatProjectionPeakColumns(peak, params, upperMagnet, lowerMagnet, lpCurve);
        lines.push_back(row);
        DeleteProjectionResults(peaks);
    }
    result.imagesAnalysed = frameIndex;

    // The two projection tables. A table that cannot be written is reported
    // and the summary is still written.
    std::string nameColumns;
    for (const std::string& name : request.fileNames) nameColumns += "\t" + name;
    const std::string heading = TableHeading(request);

    std::string vert = heading + "iy_row\ty_fract\ty_mm\ty_ROI_fract\tLP" + nameColumns + "\n";
    const size_t rowCount = rowProjections.empty() ? 0 : rowProjections.front().size();
    for (size_t j = 0; j < rowCount; ++j) {
        const int32_t y = params.top + static_cast<int32_t>(j);
        const double yFract = HeightFraction(y, upperMagnet, lowerMagnet);
        const double yMm = yFract * lpCurve.mag_gap;
        vert += CString::Formatted("%d\t%6.4lf\t%6.4lf\t%6.4lf\t%4.2lf", y, yFract, yMm,
                                   static_cast<double>(j) / static_cast<double>(rowCount), lpCurve.LPValue(yMm))
                    .str() +
                ImageColumns(rowProjections, j) + "\n";
    }
    std::string horz = heading + "ix" + nameColumns + "\n";
    const size_t columnCount = columnProjections.empty() ? 0 : columnProjections.front().size();
    for (size_t j = 0; j < columnCount; ++j)
        horz += std::to_string(params.left + static_cast<int32_t>(j)) + ImageColumns(columnProjections, j) + "\n";

    struct Table {
        std::string path;
        const std::string* text;
        std::string* written;
    };
    const Table tables[] = {
        {prefix + ".[vert_proj].txt", &vert, &result.vertProjectionPath},
        {prefix + ".[horz_proj].txt", &horz, &result.horzProjectionPath},
    };
    for (const Table& table : tables) {
        if (WriteTextFile(table.path, *table.text)) {
            *table.written = table.path;
        } else {
            result.messages.push_back(ProjectionRunMessage{
                CString::Formatted("Can't create ouput file for analysis run: %s", table.path.c_str()).str(), true,
                false});
        }
    }

    const std::string summaryPath = prefix + ".Analysis.txt";
    std::string summary = "# ComputerName=" + platform::GetComputerName() + "\n";
    for (const std::string& line : lines) summary += line + "\n";
    if (!WriteTextFile(summaryPath, summary)) {
        return fail(CString::Formatted("Can't create ouput file for analysis run: %s", summaryPath.c_str()).str(),
                    false, false);
    }
    result.summaryPath = summaryPath;
    if (request.openSummary) Tovanix::OpenUsingDefaultApp(summaryPath.c_str(), ".xls");
    context.SetStatus("");
    return result;
}
