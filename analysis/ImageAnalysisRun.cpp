#include "analysis/ImageAnalysisRun.h"

#include "analysis/BGImages.h"
#include "analysis/CountingAlgo.h"
#include "analysis/FolderListing.h"
#include "analysis/ImageLogFileData.h"
#include "analysis/ImageStatistics.h"
#include "analysis/Profiles.h"
#include "app/VelloraApp.h"
#include "platform/Files.h"
#include "platform/Sync.h"
#include "platform/UiBridge.h"
#include "support/ShellUtils.h"

#include <opencv2/imgcodecs.hpp>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <ctime>
#include <functional>
#include <optional>

ImageAnalysisJobs g_ImageAnalysisJobs;

namespace {

std::atomic<int> g_workerCount{0};

int WorkerCount()
{
    const int set = g_workerCount.load();
    if (set > 0)
        return set;
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : static_cast<int>(cores);
}

std::string Trimmed(const char* text)
{
    CString copy(text ? text : "");
    copy.Trim();
    return copy.str();
}

// Name without folder and extension.
std::string BaseName(const std::string& path)
{
    const size_t slash = path.find_last_of("\\/");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos)
        name.erase(dot);
    return name;
}

std::string VersionLine()
{
    return CString::Formatted("#%s_Version=%s", theApp.m_strDisplayName.GetString(),
                              theApp.m_strFileVersion.GetString())
        .str();
}

std::string ComputerNameLine()
{
    return "# ComputerName=" + platform::GetComputerName();
}

// 0 at the lower magnet, 1 at the upper. Equal rows are refused when a run
// is checked; a run built elsewhere gets 0 rather than a division by zero.
double HeightBetweenMagnets(double y, int32_t lower, int32_t upper)
{
    const double span = static_cast<double>(lower) - upper;
    return span == 0 ? 0.0 : (lower - y) / span;
}

void MeanAndStdev(double sum, double sumOfSquares, size_t n, double& mean, double& stdev)
{
    mean = stdev = 0.0;
    if (n == 0)
        return;
    mean = sum / static_cast<double>(n);
    if (n > 1) {
        const double variance = (sumOfSquares - sum * sum / static_cast<double>(n)) / static_cast<double>(n - 1);
        stdev = variance > 0 ? std::sqrt(variance) : 0.0;  // rounding can leave a tiny negative
    }
}

bool WriteTextFile(const std::string& path, const std::string& text)
{
    platform::CrlfTextWriter out(path);
    if (!out.IsOpen())
        return false;
    out.Write(text);
    return out.Commit();
}

// What the per-image work hands to the run's thread.
struct ImageResult {
    std::string skipMessage;  // set when the image was skipped
    std::string fullPath;
    std::vector<int32_t> rowProfile;
    std::vector<int32_t> columnProfile;
    double roiMean = 0, roiMedian = 0, roiPct10 = 0;
    std::vector<std::vector<CellDetection>> detections;  // per type
    double meanH[3] = {}, stdevH[3] = {}, meanLP[3] = {}, stdevLP[3] = {};
    SYSTEMTIME modified{};
};

struct RunSetup {
    const ImageAnalysisRun* run = nullptr;
    Tovanix::Roi roi;
    std::vector<cv::Mat> bgImages;
    std::vector<Tovanix::String> bgTypeNames;
};

// Steps c to k of one image.
ImageResult AnalyseImage(const RunSetup& setup, ImageAnalysisRun& run, const std::string& name)
{
    ImageResult r;
    r.fullPath = platform::JoinPath(platform::NativePath(Trimmed(run.imageDir.c_str())), name);
    if (!platform::FileExists(r.fullPath)) {
        r.skipMessage = "Image does not exist\t" + r.fullPath;
        return r;
    }
    cv::Mat image;
    try {
        image = cv::imread(r.fullPath, cv::IMREAD_ANYDEPTH);
    } catch (const std::exception&) {
        run.AddMessage("Problem trying to load image: " + r.fullPath);
        image.release();
    }
    if (image.empty()) {
        r.skipMessage = "Invalid image: " + r.fullPath;
        return r;
    }

    // The background of the image's type, when one was loaded and fits.
    const cv::Mat* background = nullptr;
    Tovanix::String typeName;
    if (GetImageTypeNameFromFileName(name.c_str(), typeName)) {
        for (size_t i = 0; i < setup.bgTypeNames.size(); ++i) {
            const cv::Mat& bg = setup.bgImages[i];
            if (Tovanix::String::CompareNoCase(setup.bgTypeNames[i].c_str(), typeName.c_str()) == 0 &&
                bg.size() == image.size() && bg.type() == image.type()) {
                background = &bg;
                break;
            }
        }
    }

    ComputeRowProfile(image, setup.roi, r.rowProfile, background);
    ComputeColumnProfile(image, setup.roi, r.columnProfile, background);
    r.roiMean = ComputeMeanIntensityInROI(image, setup.roi);
    std::vector<double> percentiles;
    ComputeROIIntensityStatistics(image, setup.roi, {0.5, 0.1}, percentiles);
    percentiles.resize(2, 0.0);
    r.roiMedian = percentiles[0];
    r.roiPct10 = percentiles[1];

    r.detections.assign(3, {});
    if (run.cirOptions.enabled) {
        std::vector<std::vector<CellDetection>> circular(2);
        if (!CountingAlgo(image, run.cirOptions, circular)) {
            r.skipMessage = "CountingAlgo() Error for image " + r.fullPath;
            return r;
        }
        r.detections[0] = std::move(circular[0]);
        r.detections[1] = std::move(circular[1]);
    }
    if (run.epiParams.enabled) {
        Tovanix::String error;
        const cv::Mat* epiBackground = run.epiParams.UseBgImageIfAvail ? background : nullptr;
        if (!EpiCellCountingAlgo(image, run.epiParams, r.detections[2], error, nullptr, epiBackground)) {
            r.skipMessage = error.c_str();
            return r;
        }
    }
    image.release();

    if (run.cirOptions.enabled && run.epiParams.enabled && run.cirOptions.ProximityFilteringBetweenType1_2)
        RemoveCrossTypeOverlaps(r.detections[2], r.detections[0], r.detections[1]);

    const LPCurveParams& lp = run.lpCurve;
    for (size_t t = 0; t < 3; ++t) {
        double sumH = 0, sumH2 = 0, sumLP = 0, sumLP2 = 0;
        for (CellDetection& d : r.detections[t]) {
            const double h = HeightBetweenMagnets(d.y, run.lowerMagnet, run.upperMagnet);
            sumH += h;
            sumH2 += h * h;
            if (lp.loaded) {
                const double value = lp.LPValue(h * lp.mag_gap);
                d.height = static_cast<float>(value);
                sumLP += value;
                sumLP2 += value * value;
            }
        }
        const size_t n = r.detections[t].size();
        MeanAndStdev(sumH, sumH2, n, r.meanH[t], r.stdevH[t]);
        if (lp.loaded)
            MeanAndStdev(sumLP, sumLP2, n, r.meanLP[t], r.stdevLP[t]);
    }
    platform::GetFileModifiedLocalTime(r.fullPath, &r.modified);
    return r;
}

std::string ColumnHeaderLine()
{
    std::string line = "image\tElapsedMin\tImageModifyTime\tframe_idx\t";
    for (const char* t : kImageAnalysisTypeNames) {
        const std::string T = t;
        line += "count[" + T + "]\tmean[" + T + "]\tstdev[" + T + "]\tmean_LP[" + T + "]\tstdev_LP[" + T + "]\t";
    }
    return line + "MeanIntROI\tMedianIntROI\tPct10IntROI\tPump1SpeeULpMin\tPump2SpeedULpMin\tPump1VolUL\tPump2VolUL";
}

std::string SummaryLine(const std::string& name, double elapsed, const SYSTEMTIME& t, int frameIndex,
                        const ImageResult& r, const float pumps[4])
{
    CString line = CString::Formatted("%s\t%4.2lf\t%04u/%02u/%02u %02u:%02u:%02u\t%d\t", name.c_str(), elapsed,
                                      t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, frameIndex);
    for (size_t k = 0; k < 3; ++k)
        line.AppendFormat("%d\t%6.4lf\t%6.4lf\t%4.2lf\t%4.2lf\t", static_cast<int>(r.detections[k].size()), r.meanH[k],
                          r.stdevH[k], r.meanLP[k], r.stdevLP[k]);
    line.AppendFormat("%3.1lf\t%3.1lf\t%3.1lf", r.roiMean, r.roiMedian, r.roiPct10);
    line.AppendFormat("\t%3.1f\t%3.1f\t%4.2f\t%4.2f", static_cast<double>(pumps[0]), static_cast<double>(pumps[1]),
                      static_cast<double>(pumps[2]), static_cast<double>(pumps[3]));
    return line.str();
}

// One line per profile entry; an image without a profile (skipped) gets an
// empty field, so every column stays under its image's name.
std::string ProjectionRows(const std::vector<std::vector<int32_t>>& profiles, int32_t first,
                           const std::function<std::string(int32_t, size_t, size_t)>& leading)
{
    size_t lines = 0;
    for (const auto& profile : profiles)
        lines = std::max(lines, profile.size());
    std::string text;
    for (size_t k = 0; k < lines; ++k) {
        text += leading(first + static_cast<int32_t>(k), k, lines);
        for (const auto& profile : profiles) {
            text += "\t";
            if (k < profile.size())
                text += std::to_string(profile[k]);
        }
        text += "\n";
    }
    return text;
}

void EndRun(ImageAnalysisRun& run)
{
    if (run.ownerDialog) {
        run.ownerDialog->SetProgressText("");
        run.ownerDialog->EnableControls();
    }
    run.MarkFinished();
}

}  // namespace

// ---------------------------------------------------------------------------
// ImageAnalysisRun

ImageAnalysisRun::State ImageAnalysisRun::Snapshot() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_state;
}

bool ImageAnalysisRun::WaitUntilFinished(uint32_t timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_lock);
    return m_finishedChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_state.finished; });
}

void ImageAnalysisRun::SetStatusText(const std::string& text)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_state.statusText = text;
}

void ImageAnalysisRun::SetResultFiles(const std::string& analysis, const std::string& horz, const std::string& vert)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_state.analysisFile = analysis;
    m_state.horzProjFile = horz;
    m_state.vertProjFile = vert;
}

void ImageAnalysisRun::SetImageLogFile(const std::string& path)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_state.imageLogFile = path;
}

void ImageAnalysisRun::AddMessage(const std::string& message)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_state.messages.push_back(message);
}

void ImageAnalysisRun::MarkFinished()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_state.statusText = "Finished";
        m_state.finished = true;
    }
    m_finishedChanged.notify_all();
}

// ---------------------------------------------------------------------------
// Job table

ImageAnalysisJobs::ImageAnalysisJobs()
{
    m_jobs.flags = 0x03;
}

ImageAnalysisJobs::~ImageAnalysisJobs() = default;

int32_t ImageAnalysisJobs::Add(std::shared_ptr<ImageAnalysisRun> run, std::thread::id thread)
{
    std::lock_guard<std::mutex> lock(m_lock);
    auto* job = new ImageAnalysisJob{++m_handleCounter, std::move(run), thread};
    m_jobs.AddUnique(job);  // handles are unique, so it is never refused
    return job->handle;
}

std::shared_ptr<ImageAnalysisRun> ImageAnalysisJobs::Find(int32_t handle) const
{
    std::lock_guard<std::mutex> lock(m_lock);
    ImageAnalysisJob key;
    key.handle = handle;
    const ImageAnalysisJob* job = m_jobs.Find(key);
    return job ? job->run : nullptr;
}

int ImageAnalysisJobs::IndexOf(int32_t handle, bool& found) const
{
    std::lock_guard<std::mutex> lock(m_lock);
    ImageAnalysisJob key;
    key.handle = handle;
    return m_jobs.FindSortedPos(key, found);
}

int ImageAnalysisJobs::RemoveAt(int position)
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (position < 0 || position >= m_jobs.count)
        return 0;
    return m_jobs.RemoveAt(m_jobs.order[position]) ? 1 : 0;
}

ImageAnalysisJobs::RemoveResult ImageAnalysisJobs::RemoveFinished(int32_t handle)
{
    std::lock_guard<std::mutex> lock(m_lock);
    ImageAnalysisJob key;
    key.handle = handle;
    bool found = false;
    const int pos = m_jobs.FindSortedPos(key, found);
    if (!found)
        return RemoveResult::NoSuchHandle;
    const ImageAnalysisJob* job = m_jobs.SortedAt(pos - 1);
    if (!job->run->Snapshot().finished)
        return RemoveResult::StillRunning;
    m_jobs.RemoveAt(m_jobs.order[pos - 1]);
    return RemoveResult::Removed;
}

int ImageAnalysisJobs::Count() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_jobs.count;
}

void SetImageAnalysisWorkerCount(int count)
{
    g_workerCount = std::max(count, 0);
}

// ---------------------------------------------------------------------------
// Starting a run

bool RunImageAnalysisTool(const char* imageDir, const char* cirParamsFile, const char* epiParamsFile,
                          const char* lpCurveFile, double gdConc, const char* pattern, int32_t upperMagnet,
                          int32_t lowerMagnet, int32_t& handle, CString& error, bool checkOnly)
{
    auto run = std::make_shared<ImageAnalysisRun>();
    auto fail = [&](const CString& message) {
        error = message;
        return false;
    };
    run->imageDir = imageDir ? imageDir : "";
    const std::string folder = Trimmed(imageDir);
    const std::string spec = pattern ? pattern : "";

    std::vector<FolderEntry> entries;
    if (!ListFolderEntriesMatching(folder, spec, entries))
        return fail(CString::Formatted("RunImageAnalysisTool() - invalid image_dir: %s", imageDir ? imageDir : ""));
    for (const FolderEntry& entry : entries)
        if (!entry.isDirectory)
            run->fileNames.Add(entry.name.c_str());
    if (run->fileNames.IsEmpty())
        return fail(CString::Formatted("RunImageAnalysisTool() - no images found mathing spec: %s in dir: %s",
                                       spec.c_str(), imageDir ? imageDir : ""));

    if (cirParamsFile && *cirParamsFile) {
        run->cirParamsFile = cirParamsFile;
        const std::string path = platform::FindFileIgnoringCase(platform::NativePath(cirParamsFile));
        if (path.empty())
            return fail(CString::Formatted("RunImageAnalysisTool() - Circular algo params file: %s does not exist",
                                           cirParamsFile));
        Tovanix::String problems;
        if (!run->cirOptions.LoadFromFile(path.c_str(), problems))
            return fail(problems.c_str());
        run->cirOptions.enabled = true;
    }
    if (epiParamsFile && *epiParamsFile) {
        run->epiParamsFile = epiParamsFile;
        const std::string path = platform::FindFileIgnoringCase(platform::NativePath(epiParamsFile));
        if (path.empty())
            return fail(CString::Formatted("Epi algo params file: %s does not exist", epiParamsFile));
        run->epiParams.LoadFromFile(path.c_str());
        Tovanix::String problems;
        if (!run->epiParams.Validate(problems))
            return fail(problems.c_str());
        run->epiParams.enabled = true;
    }
    if (!run->cirOptions.enabled && !run->epiParams.enabled)
        return fail("RunImageAnalysisTool() - Either cir_params or epi_params must be specified.");

    run->upperMagnet = upperMagnet;
    if (upperMagnet < -3000)
        return fail("upper_magnet must be >= -3000");
    run->lowerMagnet = lowerMagnet;
    if (lowerMagnet < 0)
        return fail("lower_magnet must be >= 0");
    // Heights are measured between the two rows.
    if (upperMagnet == lowerMagnet)
        return fail("upper_magnet and lower_magnet must not be equal");

    if (lpCurveFile && *lpCurveFile) {
        if (!(gdConc > 0.001 && gdConc < 1000))
            return fail("Gd_conc must be between 0.001 and 1000 mM");
        CString lpError;
        if (!run->lpCurve.LoadFromFile(gdConc, lpCurveFile, lpError))
            return fail(lpError);
    }
    if (checkOnly)
        return true;

    const std::thread::id thread = StartImageAnalysisThread(run);
    handle = g_ImageAnalysisJobs.Add(std::move(run), thread);
    return true;
}

std::thread::id StartImageAnalysisThread(std::shared_ptr<ImageAnalysisRun> run)
{
    std::thread thread(ImageAnalysisThread, std::move(run));
    const std::thread::id id = thread.get_id();
    thread.detach();
    return id;
}

// ---------------------------------------------------------------------------
// The run

int ImageAnalysisThread(std::shared_ptr<ImageAnalysisRun> shared)
{
    ImageAnalysisRun& run = *shared;
    SYSTEMTIME start{};
    GetLocalTime(&start);
    std::vector<std::string> lines;
    ImageLogFileData log;

    lines.push_back(VersionLine());
    lines.push_back(ComputerNameLine());
    lines.push_back(std::string("#image_directory=") + run.imageDir.c_str());
    CString logError;
    if (log.Load(run.imageDir.c_str(), logError))
        lines.push_back(std::string("#image_log_used=") + log.logPath.c_str());
    else
        lines.push_back("#error_loading_image_log_file_data=" + logError.str());
    run.SetImageLogFile(log.logPath.c_str());
    lines.push_back("# **** Magnet elevations in vertical pixels ****");
    lines.push_back(CString::Formatted("#lower_magnet=%d", run.lowerMagnet).str());
    lines.push_back(CString::Formatted("#upper_magnet=%d", run.upperMagnet).str());

    const std::string imageDir = platform::NativePath(Trimmed(run.imageDir.c_str()));
    const std::string runFolder = platform::JoinPath(
        imageDir, CString::Formatted("%04u%02u%02u-%02u%02u-%02u", start.wYear, start.wMonth, start.wDay, start.wHour,
                                     start.wMinute, start.wSecond)
                      .str());
    if (::mkdir(platform::NativePath(runFolder).c_str(), 0777) != 0) {
        platform::ShowMessageBox(CString::Formatted("Unable to create directory: %s", runFolder.c_str()).str());
        EndRun(run);
        return 0;
    }

    CStringArray header;
    if (run.ownerDialog)
        run.ownerDialog->GetParamFileHeaderLines(header, runFolder.c_str());
    run.cirOptions.AppendDescription(header);
    run.epiParams.AppendDescription(header);
    for (const CString& line : header)
        lines.push_back(line.str());

    RunSetup setup;
    setup.run = &run;
    Tovanix::String bgError;
    if (!LoadBGImages(imageDir.c_str(), setup.bgImages, setup.bgTypeNames, bgError) && bgError.HasText()) {
        platform::ShowMessageBox(bgError.c_str());
        EndRun(run);
        return 0;
    }
    if (run.cirOptions.enabled)
        setup.roi = {run.cirOptions.Left, run.cirOptions.Top, run.cirOptions.Right, run.cirOptions.Bottom};
    else
        setup.roi = {run.epiParams.Left, run.epiParams.Top, run.epiParams.Right, run.epiParams.Bottom};

    // Images are analysed by a few workers at once; this thread takes their
    // results in image order, so the outputs are those of one image after
    // the other.
    const int count = run.fileNames.GetSize();
    std::vector<std::optional<ImageResult>> results(static_cast<size_t>(count));
    std::mutex resultsLock;
    std::condition_variable resultReady;
    int nextImage = 0;
    bool stopped = false;
    const int workerCount = std::max(1, std::min(WorkerCount(), count));
    int workersLeft = workerCount;

    auto worker = [&] {
        for (;;) {
            int index = 0;
            {
                std::lock_guard<std::mutex> lock(resultsLock);
                if (stopped || nextImage >= count)
                    break;
                if (run.ownerDialog && run.ownerDialog->StopRequested()) {
                    stopped = true;
                    break;
                }
                index = nextImage++;
                const std::string status = CString::Formatted("Processing %d of %d", index + 1, count).str();
                run.SetStatusText(status);
                if (run.ownerDialog)
                    run.ownerDialog->SetProgressText(status.c_str());
            }
            ImageResult result = AnalyseImage(setup, run, run.fileNames[index].str());
            std::lock_guard<std::mutex> lock(resultsLock);
            results[static_cast<size_t>(index)] = std::move(result);
            resultReady.notify_all();
        }
        std::lock_guard<std::mutex> lock(resultsLock);
        --workersLeft;
        resultReady.notify_all();
    };
    // With one worker this thread does the work itself and assembles after.
    std::vector<std::thread> workers;
    if (workerCount == 1)
        worker();
    else
        for (int w = 0; w < workerCount; ++w)
            workers.emplace_back(worker);

    std::vector<std::vector<int32_t>> rowProfiles(static_cast<size_t>(count));
    std::vector<std::vector<int32_t>> columnProfiles(static_cast<size_t>(count));
    int frameIndex = 0;
    for (int index = 0; index < count; ++index) {
        ImageResult r;
        {
            std::unique_lock<std::mutex> lock(resultsLock);
            resultReady.wait(lock, [&] { return results[static_cast<size_t>(index)] || workersLeft == 0; });
            if (!results[static_cast<size_t>(index)])
                break;  // stopped before this image
            r = std::move(*results[static_cast<size_t>(index)]);
            results[static_cast<size_t>(index)].reset();
        }
        rowProfiles[static_cast<size_t>(index)] = std::move(r.rowProfile);
        columnProfiles[static_cast<size_t>(index)] = std::move(r.columnProfile);
        if (!r.skipMessage.empty()) {
            lines.push_back(r.skipMessage);
            continue;
        }
        const std::string name = run.fileNames[index].str();
        if (frameIndex == 0) {
            if (!log.imageFiles.empty()) {
                CString error;
                if (!log.SetFirstFileName(name.c_str(), error))
                    lines.push_back("#error_loading_image_log_file_data=" + error.str());
            }
            lines.push_back(ColumnHeaderLine());
        }
        ++frameIndex;
        float pumps[4] = {0, 0, 0, 0};
        const double elapsed = log.GetElapsedMinutes(name.c_str(), pumps);
        lines.push_back(SummaryLine(name, elapsed, r.modified, frameIndex, r, pumps));

        std::vector<double> means(r.meanH, r.meanH + 3), stdevs(r.stdevH, r.stdevH + 3);
        const std::vector<std::string> names(std::begin(kImageAnalysisTypeNames), std::end(kImageAnalysisTypeNames));
        WriteLowLevelCountingData(runFolder.c_str(), r.fullPath.c_str(), r.modified, means, stdevs, names,
                                  r.detections, run.lowerMagnet, run.upperMagnet, run.lpCurve, run.cirOptions);
    }
    for (std::thread& t : workers)
        t.join();

    const std::string base =
        platform::JoinPath(runFolder, BaseName(count > 0 ? run.fileNames[0].str() : std::string("analysis")));
    std::string nameColumns;
    for (const CString& name : run.fileNames)
        nameColumns += "\t" + name.str();
    const std::string preamble = VersionLine() + "\n" + ComputerNameLine() + "\n";

    const LPCurveParams& lp = run.lpCurve;
    const std::string vertPath = base + ".[vert_proj].txt";
    const std::string vertText =
        preamble + "iy_row\ty_fract\ty_mm\ty_ROI_fract\tLP" + nameColumns + "\n" +
        ProjectionRows(rowProfiles, setup.roi.top, [&](int32_t j, size_t k, size_t lines) {
            const double yFract = HeightBetweenMagnets(j, run.lowerMagnet, run.upperMagnet);
            const double yMm = yFract * lp.mag_gap;
            return CString::Formatted("%d\t%6.4lf\t%6.4lf\t%6.4lf\t%4.2lf", j, yFract, yMm,
                                      static_cast<double>(k) / static_cast<double>(lines), lp.LPValue(yMm))
                .str();
        });
    const std::string horzPath = base + ".[horz_proj].txt";
    const std::string horzText = preamble + "ix" + nameColumns + "\n" +
                                 ProjectionRows(columnProfiles, setup.roi.left,
                                                [](int32_t j, size_t, size_t) { return std::to_string(j); });
    const bool vertWritten = WriteTextFile(vertPath, vertText);
    const bool horzWritten = WriteTextFile(horzPath, horzText);

    const std::string summaryPath = base + ".Analysis.txt";
    std::string summary = ComputerNameLine() + "\n";
    for (const std::string& line : lines)
        summary += line + "\n";
    const bool summaryWritten = WriteTextFile(summaryPath, summary);
    run.SetResultFiles(summaryWritten ? summaryPath : "", horzWritten ? horzPath : "", vertWritten ? vertPath : "");
    if (!summaryWritten) {
        platform::ShowMessageBox(
            CString::Formatted("Can't create ouput file for analysis run: %s", summaryPath.c_str()).str());
    } else if (run.ownerDialog && run.ownerDialog->OpenSummaryWhenDone()) {
        Tovanix::OpenUsingDefaultApp(summaryPath.c_str(), ".xls");
    }
    EndRun(run);
    return 0;
}

void RemoveCrossTypeOverlaps(const std::vector<CellDetection>& epi, std::vector<CellDetection>& cir1,
                             std::vector<CellDetection>& cir2)
{
    for (std::vector<CellDetection>* list : {&cir1, &cir2}) {
        list->erase(std::remove_if(list->begin(), list->end(),
                                   [&](const CellDetection& c) {
                                       return std::any_of(epi.begin(), epi.end(), [&](const CellDetection& e) {
                                           const double dx = static_cast<double>(c.x) - e.x;
                                           const double dy = static_cast<double>(c.y) - e.y;
                                           return std::sqrt(dx * dx + dy * dy) <
                                                  static_cast<double>(c.radius) + e.radius;
                                       });
                                   }),
                    list->end());
    }
}

bool WriteLowLevelCountingData(const char* runFolder, const char* imagePath, const SYSTEMTIME& t,
                               const std::vector<double>& meanHeights, const std::vector<double>& heightStdevs,
                               const std::vector<std::string>& typeNames,
                               const std::vector<std::vector<CellDetection>>& detections, int32_t lowerMagnet,
                               int32_t upperMagnet, const LPCurveParams& lp, const CountingAlgoOptions& cirOptions)
{
    const std::string base =
        platform::JoinPath(platform::NativePath(Trimmed(runFolder)), BaseName(imagePath ? imagePath : ""));
    std::string path = base + ".txt";
    for (int n = 1; n <= 100 && platform::FileExists(path); ++n)
        path = base + "[" + std::to_string(n) + "].txt";

    auto number = [](double value) {
        char buffer[16] = "";
        Tovanix::FormatNumber(value, buffer);
        return std::string(buffer);
    };
    std::string text = "# **** Low level counting data ****\n";
    text += CString::Formatted("%s\tVersion\t%s\n", theApp.m_strDisplayName.GetString(),
                               theApp.m_strFileVersion.GetString())
                .str();
    text += ComputerNameLine() + "\n";
    text += std::string("#image_file=") + (imagePath ? imagePath : "") + "\n";
    text += CString::Formatted("#image_timestamp=%d%02d%02d-%02d%02d-%02d\n", t.wYear, t.wMonth, t.wDay, t.wHour,
                               t.wMinute, t.wSecond)
                .str();
    if (lp.loaded) {
        text += "# **** LP Curve Params ****\n";
        const std::pair<const char*, double> values[] = {
            {"Gd_conc", lp.Gd_conc}, {"ChiGd_factor", lp.ChiGd_factor}, {"rhobuffer", lp.rhobuffer},
            {"rohf", lp.rohf},       {"ChiGd", lp.ChiGd},               {"munot", lp.munot},
            {"g", lp.g},             {"cubic", lp.cubic},               {"square", lp.square},
            {"linear", lp.linear},   {"constant", lp.constant},         {"mag_gap", lp.mag_gap}};
        for (const auto& [key, value] : values)
            text += std::string("# ") + key + "=" + number(value) + "\n";
        text += "# top magnet dim is 50x5x2 mm\n# bottom magnet dim is 50x15x2 mm\n"
                "# remanent magnetization is 1.45 T\n# ****************\n";
    }
    for (size_t i = 0; i < 10; ++i) {
        const std::string name = i < typeNames.size() ? typeNames[i] : "not_used";
        const size_t n = i < detections.size() ? detections[i].size() : 0;
        const double mean = n > 0 && i < meanHeights.size() ? meanHeights[i] : 0.0;
        const double stdev = i < detections.size() && i < heightStdevs.size() ? heightStdevs[i] : 0.0;
        text += CString::Formatted("#particle_count[%s]=%d\n", name.c_str(), static_cast<int>(n)).str();
        text += CString::Formatted("#particle_height_mean[%s]=%5.3lf\n", name.c_str(), mean).str();
        text += CString::Formatted("#particle_height_stdev[%s]=%6.4lf\n", name.c_str(), stdev).str();
    }
    text += lp.loaded ? "type_name\tidx\tix\tiy\theight\tradius(um)\tLP\n" : "type_name\tidx\tix\tiy\theight\tradius(um)\n";

    // Script runs without circular counting carry no image scale; take the
    // main settings file's.
    const double pixelsPerMm = cirOptions.image_pixels_per_mm > 0 ? cirOptions.image_pixels_per_mm
                                                                 : ReadImagePixelsPerMm();
    for (size_t i = 0; i < detections.size() && i < 10; ++i) {
        const std::string name = i < typeNames.size() ? typeNames[i] : "not_used";
        for (size_t idx = 0; idx < detections[i].size(); ++idx) {
            const CellDetection& d = detections[i][idx];
            const double h = HeightBetweenMagnets(d.y, lowerMagnet, upperMagnet);
            const double radiusUm = d.radius / pixelsPerMm * 1000.0;
            CString line = CString::Formatted("%s\t%d\t%d\t%d\t%5.3lf\t%3.1f", name.c_str(), static_cast<int>(idx), d.x,
                                              d.y, h, radiusUm);
            if (lp.loaded)
                line.AppendFormat("\t%3.1lf", static_cast<double>(d.height));
            text += line.str() + "\n";
        }
    }
    return WriteTextFile(path, text);
}
