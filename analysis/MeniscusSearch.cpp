#include "analysis/MeniscusSearch.h"

#include "analysis/AnalysisEngineState.h"
#include "analysis/AnalysisStepGuard.h"
#include "analysis/ExperimentFolder.h"
#include "analysis/OrderedSearch.h"
#include "platform/Files.h"
#include "support/AppLogs.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace {

void FindTemplates(MeniscusSearchState& state, const char* relativeFolder)
{
    state.templateDirectory = DataRootPath(relativeFolder).str();
    const std::string folder = platform::FindFileIgnoringCase(state.templateDirectory);
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder.empty() ? state.templateDirectory : folder, ec)) {
        std::string ext = entry.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
        if (entry.is_regular_file(ec) && ext == ".png")
            state.templateFiles.push_back(entry.path().string());
    }
    std::sort(state.templateFiles.begin(), state.templateFiles.end());
}

// The frame's channel rows, shrunk by the divisor.
cv::Mat PrepareFrame(const std::string& folder, const FrameRecord& frame, const ExperimentDataSet& data, int divisor)
{
    const cv::Mat image =
        cv::imread(ResolveExperimentImagePath(folder, frame.brightFieldFile), cv::IMREAD_GRAYSCALE);
    const cv::Mat channel = image.rowRange(data.upperChannelRow, data.lowerChannelRowEnd);
    cv::Mat shrunk;
    cv::resize(channel, shrunk, cv::Size(channel.cols / divisor, channel.rows / divisor), 0, 0, cv::INTER_LINEAR);
    return shrunk;
}

// The template shrunk like the frames, and no taller than the frame.
cv::Mat PrepareTemplate(const std::string& path, const cv::Mat& frame, int divisor)
{
    const cv::Mat image = cv::imread(path, cv::IMREAD_GRAYSCALE);
    cv::Mat templ;
    cv::resize(image, templ, cv::Size(image.cols / divisor, image.rows / divisor), 0, 0, cv::INTER_LINEAR);
    if (templ.rows > frame.rows) {
        const int width = static_cast<int>(static_cast<float>(frame.rows) / templ.rows * templ.cols);
        cv::resize(templ, templ, cv::Size(width, frame.rows), 0, 0, cv::INTER_LINEAR);
    }
    return templ;
}

// The best score and its column, for the first template that scores above
// the limit; false when none does.
bool MatchAny(const MeniscusSearchState& state, const cv::Mat& frame, int divisor, double limit, int& column,
              int& templateColumns)
{
    for (const std::string& path : state.templateFiles) {
        const cv::Mat templ = PrepareTemplate(path, frame, divisor);
        cv::Mat scores;
        cv::matchTemplate(frame, templ, scores, cv::TM_CCOEFF_NORMED);
        double best = 0.0;
        cv::Point at;
        cv::minMaxLoc(scores, nullptr, &best, nullptr, &at);
        if (best > limit) {
            column = at.x;
            templateColumns = templ.cols;
            return true;
        }
    }
    return false;
}

// The best match of one frame.
struct Match {
    int column = 0;
    int columns = 0;
    int frameColumns = 0;
};

}  // namespace

bool LeadMeniscusIndex(std::string folder, ExperimentDataSet data, std::string* error)
{
    return RunGuardedStep(kLeadMeniscusIndexPrefix, error, [&] {
        MeniscusSearchState& state = g_LeadMeniscusSearch;
        FindTemplates(state, "Templates\\lead-meniscus-templates");
        const int n = static_cast<int>(data.frames.size());
        const int s = state.scaleDivisor;
        state.framesSearched = n / 4;
        state.matchFlags.assign(static_cast<size_t>(n / 4), false);
        state.frameIndex = 0.0;
        state.matchX = 0.0;
        state.templateWidth = 0.0;
        // Candidates from frame n/4 - 1 back to frame 0; the first that matches wins.
        std::vector<Match> matches(static_cast<size_t>(std::max(0, n / 4)));
        const int found = FindFirstInOrder(n / 4, [&](int k) {
            const int i = n / 4 - 1 - k;
            const cv::Mat frame = PrepareFrame(folder, data.frames[static_cast<size_t>(i)], data, s);
            Match& match = matches[static_cast<size_t>(k)];
            return MatchAny(state, frame, s, 0.6, match.column, match.columns);
        });
        if (found >= 0) {
            const int i = n / 4 - 1 - found;
            const Match& match = matches[static_cast<size_t>(found)];
            state.matchFlags[static_cast<size_t>(i)] = true;
            state.frameIndex = i;
            state.matchX = match.column * s;
            state.templateWidth = match.columns * s;
        }
        return true;
    });
}

bool TrailMeniscusIndex(std::string folder, ExperimentDataSet data, std::string* error)
{
    return RunGuardedStep(kTrailMeniscusIndexPrefix, error, [&] {
        MeniscusSearchState& state = g_TrailMeniscusSearch;
        FindTemplates(state, "Templates\\trail-meniscus-templates");
        const int n = static_cast<int>(data.frames.size());
        const int s = state.scaleDivisor;
        state.framesSearched = n / 2;
        state.found = false;
        state.matchX = 0.0;
        state.distanceToRightEdge = 0.0;
        state.frameIndex = n - 1;
        state.templateWidth = 0.0;
        // Candidates from frame n - n/2 forward; the first that matches wins.
        std::vector<Match> matches(static_cast<size_t>(n / 2));
        const int found = FindFirstInOrder(n / 2, [&](int k) {
            const cv::Mat frame = PrepareFrame(folder, data.frames[static_cast<size_t>(n - n / 2 + k)], data, s);
            Match& match = matches[static_cast<size_t>(k)];
            match.frameColumns = frame.cols;
            return MatchAny(state, frame, s, 0.65, match.column, match.columns);
        });
        if (found >= 0) {
            const Match& match = matches[static_cast<size_t>(found)];
            state.found = true;
            state.matchX = match.column * s;
            state.distanceToRightEdge = match.frameColumns * s - state.matchX;
            state.frameIndex = n - n / 2 + found;
            state.templateWidth = static_cast<int>(match.columns * s / 1.5);
        }
        return true;
    });
}
