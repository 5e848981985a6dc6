#include "analysis/Projection.h"

#include "analysis/Profiles.h"
#include "analysis/Rounding.h"
#include "app/VelloraApp.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/UiBridge.h"

#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// A fit moves its centre and width by a twentieth of the width per step; the
// cap only guards against a profile that keeps the search improving forever.
constexpr int kMaxSearchPasses = 10000;

size_t RoiRows(const ProjectionAnalysisParams& p)
{
    return static_cast<size_t>(p.bottom - p.top + 1);
}

// v interpolated at u between x[k] <= u < x[k + 1]; the bracket search
// starts at `k`, which is left on the bracket found. False outside
// [x first, x last).
bool Interpolate(const std::vector<double>& x, const std::vector<double>& v, double u, size_t& k, double& value)
{
    const size_t n = x.size();
    if (n < 2 || !(u >= x[0]) || !(u < x[n - 1]))
        return false;
    if (k >= n - 1 || x[k] > u)
        k = 0;
    while (k + 1 < n - 1 && x[k + 1] <= u)
        ++k;
    const double span = x[k + 1] - x[k];
    value = span > 0 ? v[k] + (v[k + 1] - v[k]) * (u - x[k]) / span : v[k];
    return true;
}

// Moves `value` by +step while the fit error strictly improves, then (only
// when nothing was accepted) by -step. An invalid probe raises the error
// flag and ends that direction. True when anything moved.
template <class Probe>
bool SearchOneParameter(double& value, double& best, Probe probe, bool& errorFlag)
{
    const double step = value / 20.0;
    bool moved = false;
    for (const double direction : {1.0, -1.0}) {
        for (;;) {
            const double error = probe(value + direction * step);
            if (error >= kInvalidFitError) {
                errorFlag = true;
                break;
            }
            if (!(error < best))
                break;
            value += direction * step;
            best = error;
            moved = true;
        }
        if (moved)
            break;
    }
    return moved;
}

bool WriteResultFile(const char* path, const std::vector<double>& x, const std::vector<double>& v,
                     const std::vector<float>& od, const ProjectionPeak& peak)
{
    platform::CrlfTextWriter out(path);
    if (!out.IsOpen())
        return false;
    std::string text = CString::Formatted("version\t%s\n", theApp.m_strFileVersion.GetString()).str();
    text += CString::Formatted("center\t%lf\namplitude\t%lf\nstdev\t%lf\n", peak.centre, peak.amplitude, peak.stdev)
                .str();
    text += CString::Formatted("err\t%s\n", peak.fitError != 0 ? "true" : "false").str();
    text += "x\ty\tod_factor\tgx\tgy\n";
    const size_t curveLength = peak.curveX ? peak.curveX->size() : 0;
    for (size_t j = 0; j < x.size(); ++j) {
        text += CString::Formatted("%lf\t%lf\t%6.4f", x[j], v[j], j < od.size() ? od[j] : 0.0f).str();
        if (j < curveLength)
            text += CString::Formatted("\t%lf\t%lf", (*peak.curveX)[j], (*peak.curveY)[j]).str();
        text += "\n";
    }
    out.Write(text);
    return out.Commit();
}

// Loads a file's row projection for the file-based routines.
bool LoadRowProjection(const char* file, const ProjectionAnalysisParams& params, const char* operation,
                       std::vector<int32_t>& projection, Tovanix::String& error)
{
    const std::string path = platform::NativePath(file ? file : "");
    if (!platform::FileExists(path)) {
        error = (std::string("File does not exist: ") + (file ? file : "")).c_str();
        return false;
    }
    cv::Mat image;
    try {
        image = cv::imread(path, cv::IMREAD_ANYDEPTH);
    } catch (const cv::Exception& e) {
        error = CString::Formatted("%s() - unable to read %s: %s", operation, file, e.what()).GetString();
        return false;
    }
    CString message;
    if (!ComputeRowProjection(image, params, projection, operation, message)) {
        error = (message + " (" + file + ")").GetString();
        return false;
    }
    return true;
}

template <class Better>
void FindExtremes(const std::vector<double>& profile, int count, int window, std::vector<int32_t>& indexes,
                  Better better)
{
    indexes.clear();
    if (count <= 0 || profile.empty())
        return;
    const int size = static_cast<int>(profile.size());
    int global = 0;
    for (int i = 1; i < size; ++i)
        if (better(profile[static_cast<size_t>(i)], profile[static_cast<size_t>(global)]))
            global = i;
    indexes.push_back(global);
    if (count == 1)
        return;

    const int half = std::max(window, 0) / 2;
    std::vector<int> candidates;
    for (int i = half; i < size - half - 1; ++i) {
        if (std::abs(i - global) <= half)
            continue;
        bool extreme = true;
        for (int d = 1; d <= half && extreme; ++d)
            extreme = !better(profile[static_cast<size_t>(i - d)], profile[static_cast<size_t>(i)]) &&
                      !better(profile[static_cast<size_t>(i + d)], profile[static_cast<size_t>(i)]);
        if (extreme)
            candidates.push_back(i);
    }
    while (!candidates.empty() && static_cast<int>(indexes.size()) < count) {
        size_t best = 0;
        for (size_t c = 1; c < candidates.size(); ++c)
            if (better(profile[static_cast<size_t>(candidates[c])], profile[static_cast<size_t>(candidates[best])]))
                best = c;
        indexes.push_back(candidates[best]);
        candidates.erase(candidates.begin() + static_cast<std::ptrdiff_t>(best));
    }
}

void Draw(const ProjectionDrawTarget& target, const cv::Mat& image, const ProjectionAnalysisParams& params,
          const std::vector<double>& x, const std::vector<double>& y, const std::vector<ProjectionPeak>& peaks,
          bool valid)
{
    if (!target.canvas || target.vx1 == target.vx0 || target.vy1 == target.vy0 || image.cols <= 0 || image.rows <= 0)
        return;
    auto screenX = [&](double column) {
        const double fx = column / image.cols;
        return target.left + (target.right - target.left) * (fx - target.vx0) / (target.vx1 - target.vx0);
    };
    auto screenY = [&](double row) {
        const double fy = row / image.rows;
        return target.top + (target.bottom - target.top) * (fy - target.vy0) / (target.vy1 - target.vy0);
    };
    const int roiWidth = params.right - params.left + 1;
    const double X0 = screenX(params.right + 1);
    const double X1 = screenX(params.right + std::min(roiWidth / 4, 100) - 1);
    const double Y0 = screenY(params.top);
    const double Y1 = screenY(params.bottom);
    auto point = [&](double fraction, double position) {
        return ProjectionPoint{RoundToInt32((X1 - X0) * fraction + X0), RoundToInt32((Y1 - Y0) * position + Y0)};
    };

    const int fx0 = RoundToInt32(X0) + 1, fx1 = RoundToInt32(X1) + 1;
    const int fy0 = RoundToInt32(Y0), fy1 = RoundToInt32(Y1);
    target.canvas->Polyline({{fx0, fy0}, {fx0, fy1}, {fx1, fy1}, {fx1, fy0}, {fx0, fy0}}, {192, 192, 0, 0});

    std::vector<ProjectionPoint> profile;
    for (size_t j = 0; j < y.size(); ++j)
        profile.push_back(point(y[j], x[j]));
    target.canvas->Polyline(profile, {255, 0, 0, 2});
    if (!valid)
        return;

    for (const ProjectionPeak& peak : peaks) {
        if (peak.index < 0 || static_cast<size_t>(peak.index) >= y.size())
            continue;
        const ProjectionPoint p = point(y[static_cast<size_t>(peak.index)], x[static_cast<size_t>(peak.index)]);
        target.canvas->Polyline({{p.x - 3, p.y}, {p.x + 3, p.y}}, {100, 255, 150, 3});
        target.canvas->Polyline({{p.x, p.y - 3}, {p.x, p.y + 3}}, {100, 255, 150, 3});
    }
    for (const ProjectionPeak& peak : peaks) {
        if (!peak.curveX || !peak.curveY)
            continue;
        std::vector<ProjectionPoint> curve;
        for (size_t m = 0; m < peak.curveX->size() && m < peak.curveY->size(); ++m)
            curve.push_back(point(1.0 - (*peak.curveY)[m], (*peak.curveX)[m]));
        target.canvas->Polyline(curve, {60, 160, 100, 1});
    }
}

}  // namespace

void ProjectionPeak::ReleaseCurves()
{
    curveX.reset();
    curveY.reset();
}

void DeleteProjectionResults(std::vector<ProjectionPeak>& peaks)
{
    for (ProjectionPeak& peak : peaks)
        peak.ReleaseCurves();
    peaks.clear();
}

bool ComputeRowProjection(const cv::Mat& image, const ProjectionAnalysisParams& p, std::vector<int32_t>& projection,
                          const char* operation, CString& error)
{
    if (image.empty() || image.type() != CV_16UC1) {
        error.Format("%s() - image must be type CV_16UC1.", operation);
        return false;
    }
    if (p.left < 0 || p.top < 0 || p.left > p.right || p.top > p.bottom || p.right >= image.cols ||
        p.bottom >= image.rows) {
        error.Format("%s() - ROI is not inside the image.", operation);
        return false;
    }
    const int64_t width = p.right - p.left + 1;
    projection.assign(RoiRows(p), 0);
    for (int r = p.top; r <= p.bottom; ++r) {
        const uint16_t* row = image.ptr<uint16_t>(r);
        int64_t sum = 0;
        for (int c = p.left; c <= p.right; ++c)
            sum += row[c];
        projection[static_cast<size_t>(r - p.top)] = static_cast<int32_t>(sum / width);
    }
    return true;
}

bool ComputeAndPlotProjection(const cv::Mat& image, const ProjectionAnalysisParams& params,
                              std::vector<ProjectionPeak>& peaks, int32_t& elapsedMs, CString& error,
                              const ProjectionDrawTarget* target, const char* resultFile)
{
    const bool valid = params.Validate(error);
    const auto start = platform::GetClock().Now();

    std::vector<int32_t> p;
    CString roiError;
    if (!ComputeRowProjection(image, params, p, "ComputeAndPlotProjection", roiError)) {
        error = roiError;
        return false;
    }
    if (!params.baseline.empty()) {
        if (params.baseline.size() != p.size()) {
            error = "ComputeAndPlotProjection() - baseline must have one value per ROI row.";
            return false;
        }
        for (size_t j = 0; j < p.size(); ++j)
            p[j] -= params.baseline[j];
    }

    const auto [minIt, maxIt] = std::minmax_element(p.begin(), p.end());
    const double low = *minIt, high = *maxIt;
    const size_t n = p.size();
    std::vector<double> x(n), y(n);
    for (size_t j = 0; j < n; ++j) {
        y[j] = (p[j] - low) / (high - low + 1.0);
        x[j] = static_cast<double>(j) / static_cast<double>(n);
    }

    std::vector<float> od(n, 0.0f);
    if (params.upperChannel < params.lowerChannel) {
        const double span = static_cast<double>(params.lowerChannel) - params.upperChannel + 1.0;
        for (size_t j = 0; j < n; ++j) {
            const double t = (static_cast<double>(params.top) + j - params.upperChannel) / span - 0.5;
            od[j] = static_cast<float>(1.0 - 4.0 * t * t);
        }
    }

    if (valid) {
        const int window = static_cast<int>(params.smoothingWindowMicrons * params.image_pixels_per_mm / 1000.0);
        FitProjectionPeaks(x, y, od, window, params.numPeaksToFind, params.findValleys, params.stdevIntegrationArea,
                           params.integrationSamples, peaks, target != nullptr, resultFile);
    }
    elapsedMs = static_cast<int32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(platform::GetClock().Now() - start).count());

    if (target)
        Draw(*target, image, params, x, y, peaks, valid);
    return true;
}

bool FitProjectionPeaks(const std::vector<double>& x, std::vector<double>& y, const std::vector<float>& od,
                        int smoothingWindow, int peaksToFind, bool findValleys, double stdevIntegrationArea,
                        int integrationSamples, std::vector<ProjectionPeak>& peaks, bool keepCurves,
                        const char* resultFile)
{
    if (smoothingWindow != 0)
        SmoothProjection(y, smoothingWindow);
    const int searchWindow = std::max(smoothingWindow, 10);
    std::vector<int32_t> indexes;
    if (peaksToFind != 0) {
        if (findValleys)
            FindProfileValleys(y, peaksToFind, searchWindow, indexes);
        else
            FindProfilePeaks(y, peaksToFind, searchWindow, indexes);
    }
    // A fit needs two samples to know the sample spacing.
    if (x.size() < 2 || y.size() != x.size())
        indexes.clear();

    for (size_t i = indexes.size(); i < peaks.size(); ++i)
        peaks[i].ReleaseCurves();
    peaks.resize(indexes.size());
    for (size_t i = 0; i < indexes.size(); ++i) {
        peaks[i] = ProjectionPeak();
        peaks[i].index = indexes[i];
    }

    std::vector<double> v(y);
    if (findValleys)
        for (double& value : v)
            value = 1.0 - value;

    for (size_t i = 0; i < indexes.size(); ++i) {
        ProjectionPeak& peak = peaks[i];
        double C = x[static_cast<size_t>(indexes[i])];
        double D = 15.0 * (x[1] - x[0]);
        bool errorFlag = false;
        double H = GaussianFitError(x, v, C, D, stdevIntegrationArea, integrationSamples);

        bool moved = true;
        for (int pass = 0; moved && pass < kMaxSearchPasses; ++pass) {
            moved = SearchOneParameter(
                D, H, [&](double d) { return GaussianFitError(x, v, C, d, stdevIntegrationArea, integrationSamples); },
                errorFlag);
            // The centre's step is a twentieth of the width found so far.
            const double centreStep = D / 20.0;
            double best = H;
            bool centreMoved = false;
            for (const double direction : {1.0, -1.0}) {
                for (;;) {
                    const double error =
                        GaussianFitError(x, v, C + direction * centreStep, D, stdevIntegrationArea, integrationSamples);
                    if (error >= kInvalidFitError) {
                        errorFlag = true;
                        break;
                    }
                    if (!(error < best))
                        break;
                    C += direction * centreStep;
                    best = error;
                    centreMoved = true;
                }
                if (centreMoved)
                    break;
            }
            H = best;
            moved = moved || centreMoved;
        }

        const bool writeFile = resultFile && *resultFile && i == 0;
        if (keepCurves || writeFile) {
            peak.curveX = std::make_unique<std::vector<double>>();
            peak.curveY = std::make_unique<std::vector<double>>();
        }
        double amplitude = 0.0;
        peak.fitError = GaussianFitError(x, v, C, D, stdevIntegrationArea, integrationSamples, &amplitude,
                                         peak.curveX.get(), peak.curveY.get());
        peak.centre = C;
        peak.amplitude = amplitude;
        peak.stdev = D;
        peak.errorFlag = errorFlag;

        if (writeFile && !WriteResultFile(resultFile, x, v, od, peak))
            platform::ShowMessageBox(CString::Formatted("Can't create file: %s", resultFile).str());
        if (!findValleys && peak.curveY)
            for (double& c : *peak.curveY)
                c = 1.0 - c;
    }
    return true;
}

double GaussianFitError(const std::vector<double>& x, const std::vector<double>& v, double centre, double stdev,
                        double stdevIntegrationArea, int integrationSamples, double* amplitude,
                        std::vector<double>* curveX, std::vector<double>* curveY)
{
    size_t k = 0;
    double h = kInvalidFitError;
    if (v.size() < x.size() || !Interpolate(x, v, centre, k, h))
        h = kInvalidFitError;
    if (amplitude)
        *amplitude = h;
    if (integrationSamples <= 0)
        return kInvalidFitError;

    const double m = 2.0 * stdev * stdevIntegrationArea / integrationSamples;
    const int half = integrationSamples / 2;
    if (curveX)
        curveX->assign(static_cast<size_t>(integrationSamples), 0.0);
    if (curveY)
        curveY->assign(static_cast<size_t>(integrationSamples), 0.0);
    double sum = 0.0;
    size_t bracket = 0;
    for (int i = -half; i <= half; ++i) {
        const double u = centre + i * m;
        const double g = std::exp(-0.5 * (u - centre) * (u - centre) / (stdev * stdev));
        const size_t slot = static_cast<size_t>(half + i);
        if (curveX && slot < curveX->size())
            (*curveX)[slot] = u;
        if (curveY && slot < curveY->size())
            (*curveY)[slot] = g * h;
        double B = 0.0;
        if (v.size() < x.size() || !Interpolate(x, v, u, bracket, B))
            return kInvalidFitError;
        sum += std::fabs(g * h - B);
    }
    return sum / h / integrationSamples;
}

bool FindProfilePeaks(const std::vector<double>& profile, int count, int window, std::vector<int32_t>& indexes)
{
    FindExtremes(profile, count, window, indexes, [](double a, double b) { return a > b; });
    return true;
}

bool FindProfileValleys(const std::vector<double>& profile, int count, int window, std::vector<int32_t>& indexes)
{
    FindExtremes(profile, count, window, indexes, [](double a, double b) { return a < b; });
    return true;
}

bool SmoothProjection(std::vector<double>& values, int window)
{
    const size_t n = values.size();
    if (window < 2 || n == 0)
        return true;
    const size_t w = static_cast<size_t>(window);
    std::vector<double> forward(n), backward(n);
    double sum = 0.0;
    for (size_t i = 0; i < n; ++i) {
        sum += values[i];
        if (i >= w)
            sum -= values[i - w];
        forward[i] = sum / static_cast<double>(std::min(i + 1, w));
    }
    sum = 0.0;
    for (size_t r = 0; r < n; ++r) {
        const size_t i = n - 1 - r;
        sum += values[i];
        if (r >= w)
            sum -= values[i + w];
        backward[i] = sum / static_cast<double>(std::min(r + 1, w));
    }
    for (size_t i = 0; i < n; ++i)
        values[i] = (forward[i] + backward[i]) / 2.0;
    return true;
}

bool ComputeMedianProjectionOfFiles(const std::vector<Tovanix::String>& files, const ProjectionAnalysisParams& params,
                                    std::vector<int32_t>& median, Tovanix::String& error,
                                    std::vector<int32_t>* fileMeans)
{
    median.clear();
    if (fileMeans)
        fileMeans->assign(files.size(), 0);
    if (files.empty()) {
        error = "ComputeMedianProjectionOfFiles() - no files given.";
        return false;
    }
    std::vector<std::vector<int32_t>> projections(files.size());
    for (size_t f = 0; f < files.size(); ++f) {
        if (!LoadRowProjection(files[f].c_str(), params, "ComputeMedianProjectionOfFiles", projections[f], error))
            return false;
        if (fileMeans) {
            double sum = 0.0;
            for (const int32_t value : projections[f])
                sum += value;
            (*fileMeans)[f] = RoundToInt32(sum / static_cast<double>(projections[f].size()));
        }
    }
    const size_t rows = RoiRows(params);
    const double position = (static_cast<double>(files.size()) - 1.0) * 0.5;
    const size_t lo = static_cast<size_t>(position);
    const size_t hi = std::min(files.size() - 1, lo + 1);
    std::vector<int32_t> values(files.size());
    median.resize(rows);
    for (size_t j = 0; j < rows; ++j) {
        for (size_t f = 0; f < files.size(); ++f)
            values[f] = projections[f][j];
        std::sort(values.begin(), values.end());
        const double value = values[lo] + (static_cast<double>(values[hi]) - values[lo]) * (position - lo);
        median[j] = RoundToInt32(std::max(0.0, value));
    }
    return true;
}

bool ComputeChannelWeightedProjection(const char* file, const ProjectionAnalysisParams& params,
                                      const std::vector<int32_t>& baseline, std::vector<int32_t>& projection,
                                      Tovanix::String& error, bool invert)
{
    if (!LoadRowProjection(file, params, "ComputeChannelWeightedProjection", projection, error))
        return false;
    if (baseline.size() != projection.size()) {
        error = "ComputeChannelWeightedProjection() - baseline must have one value per ROI row.";
        return false;
    }
    for (size_t j = 0; j < projection.size(); ++j) {
        const int64_t value = invert ? int64_t{baseline[j]} - projection[j] : int64_t{projection[j]} - baseline[j];
        projection[j] = static_cast<int32_t>(std::clamp<int64_t>(value, 0, INT32_MAX));
    }
    SmoothProfile(projection, static_cast<int>(params.smoothingWindowMicrons * params.image_pixels_per_mm / 1000.0));

    const int32_t upper = params.upperChannel, lower = params.lowerChannel;
    if (upper >= lower || upper < 0 || lower > 5000) {
        error = CString::Formatted("Invalid channel coordinates upper_channel=%d lower_channel=%d", upper, lower)
                    .GetString();
        return false;
    }
    for (size_t j = 0; j < projection.size(); ++j) {
        const int32_t r = params.top + static_cast<int32_t>(j);
        if (r < upper || r > lower) {
            projection[j] = 0;
            continue;
        }
        const float t = static_cast<float>(r - upper) / static_cast<float>(lower - upper + 1) - 0.5f;
        projection[j] = RoundToInt32(projection[j] * (1.0 - 4.0 * t * t));
    }
    return true;
}
