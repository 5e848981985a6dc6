#pragma once

// The batch analysis run engine: analyses every listed image of a folder on
// a worker thread (circular and/or epifluorescence counting, heights between
// the magnets and LP values, ROI statistics, row and column profiles, capture
// time and pump state from the capture log) and writes, into a new run
// folder inside the image folder, a tab-separated summary, two projection
// tables and one low-level file per image.
//
// Scripts start runs with RunImageAnalysisTool and reach them by handle
// through g_ImageAnalysisJobs; the image analysis tool builds a run itself,
// names itself its owner and starts ImageAnalysisThread directly.
//
// Threads: each run has its own lock. The run's thread is the only writer
// of its status and result paths and sets `finished` last; other threads
// read them through Snapshot(). A run is shared between its job and its
// thread, so removing a job never frees a run its thread still touches. The
// job table and its handle counter have their own lock.

#include "analysis/CellDetection.h"
#include "analysis/CountingAlgoOptions.h"
#include "analysis/EpiCellCountingAlgo.h"
#include "analysis/LPCurveParams.h"
#include "platform/CString.h"
#include "platform/CStringArray.h"
#include "platform/Time.h"
#include "support/SortedPtrList.h"
#include "support/String.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// What the run asks of the tool window that started it. Called on the run's
// thread; the window forwards to its user-interface thread.
class ImageAnalysisOwner {
public:
    virtual ~ImageAnalysisOwner() = default;
    // Read before each image; true ends the run after the images started so far.
    virtual bool StopRequested() = 0;
    virtual void SetProgressText(const char* text) = 0;
    // Copies the chosen parameter files into the run folder and appends one
    // header line per file.
    virtual void GetParamFileHeaderLines(CStringArray& lines, const char* runFolder) = 0;
    // The "Open Summary" choice when the run ends.
    virtual bool OpenSummaryWhenDone() = 0;
    // The run has ended: the window enables its inputs again.
    virtual void EnableControls() = 0;
};

class ImageAnalysisRun {
public:
    // Inputs, filled before the thread starts and only read by it.
    CStringArray fileNames;  // names only, in folder-listing order
    Tovanix::String cirParamsFile;
    Tovanix::String epiParamsFile;
    int32_t upperMagnet = 0;  // image rows
    int32_t lowerMagnet = 0;
    CountingAlgoOptions cirOptions;  // `enabled`: circular counting runs
    EpiCellCountingAlgoParams epiParams;  // `enabled`: epifluorescence counting runs
    LPCurveParams lpCurve;  // `loaded` only when an LP curve was given
    Tovanix::String imageDir;
    ImageAnalysisOwner* ownerDialog = nullptr;  // not owned; null for script runs

    // What other threads read, copied under the run's lock.
    struct State {
        std::string statusText;  // "", "Processing %ld of %ld", "Finished"
        bool finished = false;
        std::string analysisFile;  // the summary
        std::string horzProjFile;  // column-projection table
        std::vector<std::string> messages;  // images that could not be loaded
        std::string vertProjFile;  // row-projection table
        std::string imageLogFile;  // capture log used, "" when none
    };
    State Snapshot() const;
    // Waits up to `timeoutMs` for the run to end (tests and shutdown).
    bool WaitUntilFinished(uint32_t timeoutMs) const;

    // Written by the run's thread.
    void SetStatusText(const std::string& text);
    void SetResultFiles(const std::string& analysis, const std::string& horz, const std::string& vert);
    void SetImageLogFile(const std::string& path);
    void AddMessage(const std::string& message);
    // Sets "Finished" and then `finished`, in one step under the lock.
    void MarkFinished();

private:
    mutable std::mutex m_lock;
    mutable std::condition_variable m_finishedChanged;
    State m_state;
};

// One entry of the running-analysis table.
struct ImageAnalysisJob {
    int32_t handle = 0;
    std::shared_ptr<ImageAnalysisRun> run;
    std::thread::id thread;  // the run's (detached) thread
};

// The table of script-started runs, in ascending order of handle.
class ImageAnalysisJobs {
public:
    ImageAnalysisJobs();
    ~ImageAnalysisJobs();

    // Registers a run under the next handle (1, 2, 3 ... never reused).
    int32_t Add(std::shared_ptr<ImageAnalysisRun> run, std::thread::id thread);
    // The run of a handle, or null.
    std::shared_ptr<ImageAnalysisRun> Find(int32_t handle) const;
    // One more than the handle's position in the sorted table, or where it
    // would go; `found` tells whether it is there.
    int IndexOf(int32_t handle, bool& found) const;
    // Removes the entry at a sorted position (0-based); 1 on success. The run
    // itself lives on while its thread still holds it.
    int RemoveAt(int position);
    // Removes a handle's job only when its run has finished.
    enum class RemoveResult { Removed, NoSuchHandle, StillRunning };
    RemoveResult RemoveFinished(int32_t handle);
    int Count() const;

private:
    mutable std::mutex m_lock;
    Tovanix::SortedPtrList<ImageAnalysisJob, Tovanix::KeyOrder<&ImageAnalysisJob::handle>> m_jobs;
    int32_t m_handleCounter = 0;
};

extern ImageAnalysisJobs g_ImageAnalysisJobs;

// Checks the inputs and, unless `checkOnly`, starts a run on its own thread
// and registers it; `handle` receives its handle. False with the reason in
// `error` (nothing started, nothing registered).
bool RunImageAnalysisTool(const char* imageDir, const char* cirParamsFile, const char* epiParamsFile,
                          const char* lpCurveFile, double gdConc, const char* pattern, int32_t upperMagnet,
                          int32_t lowerMagnet, int32_t& handle, CString& error, bool checkOnly);

// The run's thread procedure; returns 0.
int ImageAnalysisThread(std::shared_ptr<ImageAnalysisRun> run);
// Starts ImageAnalysisThread on a detached thread that shares the run.
std::thread::id StartImageAnalysisThread(std::shared_ptr<ImageAnalysisRun> run);

// Images analysed at once by one run (the run's thread assembles their
// results in image order). 0 restores the default, the number of cores.
void SetImageAnalysisWorkerCount(int count);

// The three detection types of a run, in column order.
inline constexpr const char* kImageAnalysisTypeNames[3] = {"cir_1", "cir_2", "epi_1"};

// Circular detections that overlap an epifluorescence detection (centres
// closer than the sum of the radii) are removed from both circular lists.
void RemoveCrossTypeOverlaps(const std::vector<CellDetection>& epi, std::vector<CellDetection>& cir1,
                             std::vector<CellDetection>& cir2);

// Writes one image's low-level counting file into the run folder, named
// after the image (with "[n]" when taken). False when it cannot be written.
bool WriteLowLevelCountingData(const char* runFolder, const char* imagePath, const SYSTEMTIME& imageTime,
                               const std::vector<double>& meanHeights, const std::vector<double>& heightStdevs,
                               const std::vector<std::string>& typeNames,
                               const std::vector<std::vector<CellDetection>>& detections, int32_t lowerMagnet,
                               int32_t upperMagnet, const LPCurveParams& lpCurve, const CountingAlgoOptions& cirOptions);
