#include "tools/FractionationRun.h"

#include "analysis/Projection.h"
#include "platform/Files.h"
#include "platform/Time.h"
#include "support/String.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>

namespace {

std::string NameOf(const std::string& path) {
    Tovanix::String name;
    Tovanix::GetPathPart(name, path.c_str(), false, true, true);
    return name.c_str();
}

std::string FolderOf(const std::string& path) {
    Tovanix::String folder;
    Tovanix::GetPathPart(folder, path.c_str(), true, false, false);
    return folder.c_str();
}

std::string ReportPath(const std::string& folder) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char name[64];
    std::snprintf(name, sizeof name, "FractionationAnalysis_%d%02d%02d-%02d%02d-%02d.txt", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return platform::JoinPath(folder, name);
}

// A share whose denominator is zero (an image without signal) is written as
// 0, never as the 0/0 the plain division gives.
double Share(double part, double whole) { return whole != 0.0 ? part / whole : 0.0; }

bool WriteReport(const std::string& path, const FractionationRequest& request, const ProjectionAnalysisParams& params,
                 const FractionationRoi& roi, const std::vector<int32_t>& bgMeans, const FractionationResult& result) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(platform::NativePath(path).c_str(), "wb"), &std::fclose);
    if (!file) return false;
    FILE* f = file.get();
    // Text files are written with CR LF, as the instrument's computer did.
    std::fprintf(f, "Tessaly %s version %s\r\n", request.programName.c_str(), request.programVersion.c_str());
    std::fprintf(f, "Cell Fractionation Report\r\n");
    std::fprintf(f, "upper_channel\t%d\r\n", params.upperChannel);
    std::fprintf(f, "lower_channel\t%d\r\n", params.lowerChannel);
    std::fprintf(f, "roi_name\t%s\r\n", roi.name.c_str());
    std::fprintf(f, "roi.left\t%d\r\nroi.right\t%d\r\nroi.top\t%d\r\nroi.bottom\t%d\r\n", roi.left, roi.right, roi.top,
                 roi.bottom);
    std::fprintf(f, "image_dir\t%s\r\n",
                 request.imagePaths.empty() ? request.folder.c_str() : FolderOf(request.imagePaths.front()).c_str());
    std::fprintf(f, "bg_image_count\t%d\r\n", static_cast<int>(request.backgroundPaths.size()));
    std::fprintf(f, "bg_image_file\tavg_intensity\r\n");
    for (size_t i = 0; i < request.backgroundPaths.size(); ++i) {
        std::fprintf(f, "%s\t%d\r\n", NameOf(request.backgroundPaths[i]).c_str(), i < bgMeans.size() ? bgMeans[i] : 0);
    }
    std::fprintf(f, "total_fraction_cells_to_the_top\t%lf\r\n", result.totalTop);
    std::fprintf(f, "total_fraction_cells_to_the_bottom\t%lf\r\n", 1.0 - result.totalTop);
    std::fprintf(f, "image_count\t%d\r\n", static_cast<int>(result.images.size()));
    std::fprintf(f, "image_file\tfract_top\tweight\tchan_div\r\n");
    for (const auto& image : result.images) {
        std::fprintf(f, "%s\t%f\t%f\t%f\r\n", NameOf(image.path).c_str(), image.fractTop, image.weight, image.chanDiv);
    }
    std::fprintf(f, "*************** Projection data **********************\r\n");
    for (size_t i = 0; i < result.images.size(); ++i) {
        std::fprintf(f, "%s%s", i ? "\t" : "", NameOf(result.images[i].path).c_str());
    }
    std::fprintf(f, "\r\n");
    const int rows = roi.bottom - roi.top + 1;
    // Images that were not processed show zeros in their columns.
    for (int r = 0; r < rows; ++r) {
        for (size_t i = 0; i < result.images.size(); ++i) {
            const auto& p = result.images[i].projection;
            std::fprintf(f, "%s%d", i ? "\t" : "", static_cast<size_t>(r) < p.size() ? p[static_cast<size_t>(r)] : 0);
        }
        std::fprintf(f, "\r\n");
    }
    return std::fflush(f) == 0 && !std::ferror(f);
}

}  // namespace

int32_t FractionationDividerRow(int32_t upper, int32_t lower, double divider) {
    return static_cast<int32_t>(std::round(static_cast<double>(lower - upper + 1) * divider + upper));
}

FractionationResult WORKER_THREAD_AnalyzeFractionation(const FractionationRequest& request, const LogFileData& log,
                                                       const ToolWorkerContext& context) {
    FractionationResult result;
    auto fail = [&](const std::string& text) { result.errors.push_back(text); };

    if (request.backgroundPaths.empty()) {
        fail("Must select one or more backgroud images.");
        return result;
    }
    FractionationRoi roi;
    std::string error;
    if (!ResolveFractionationRoi(request.folder, request.roiName, roi, error)) {
        fail(error);
        return result;
    }
    ProjectionAnalysisParams params;
    if (!GetFractionationProjectionParams(request.folder, request.paramSetName, params, error)) {
        fail(error);
        return result;
    }
    params.left = roi.left;
    params.top = roi.top;
    params.right = roi.right;
    params.bottom = roi.bottom;
    params.roiName = roi.name.c_str();
    params.baseline.clear();

    context.SetStatus("Computing baseline.");
    std::vector<Tovanix::String> backgrounds;
    for (const auto& path : request.backgroundPaths) backgrounds.emplace_back(path.c_str());
    std::vector<int32_t> baseline;
    std::vector<int32_t> bgMeans;
    Tovanix::String projectionError;
    if (!ComputeMedianProjectionOfFiles(backgrounds, params, baseline, projectionError, &bgMeans)) {
        fail(projectionError.c_str());
        return result;
    }

    const size_t n = request.imagePaths.size();
    result.images.resize(n);
    for (size_t i = 0; i < n; ++i) result.images[i].path = request.imagePaths[i];
    const int rows = roi.bottom - roi.top + 1;
    double weightSum = 0.0;
    for (size_t i = 0; i < n; ++i) {
        context.SetStatus("Image " + std::to_string(i + 1) + " of " + std::to_string(n));
        FractionationImageResult& image = result.images[i];
        std::vector<int32_t> projection;
        if (!ComputeChannelWeightedProjection(image.path.c_str(), params, baseline, projection, projectionError,
                                              request.brightField)) {
            fail(projectionError.c_str());
            break;
        }
        double divider = 0.0;
        if (!log.GetChannelDivider(image.path.c_str(), divider, error)) {
            fail(error);
            break;
        }
        const int32_t dividerRow = FractionationDividerRow(params.upperChannel, params.lowerChannel, divider);
        int64_t top = 0;
        int64_t all = 0;
        for (int k = 0; k < static_cast<int>(projection.size()); ++k) {
            all += projection[static_cast<size_t>(k)];
            if (k <= dividerRow - roi.top) top += projection[static_cast<size_t>(k)];
        }
        image.fractTop = static_cast<float>(Share(static_cast<double>(top), static_cast<double>(all)));
        image.weight = static_cast<float>(static_cast<double>(all) / rows);
        image.chanDiv = static_cast<float>(divider);
        image.projection = std::move(projection);
        weightSum += image.weight;
    }

    double total = 0.0;
    for (auto& image : result.images) {
        image.weight = static_cast<float>(Share(image.weight, weightSum));
        total += static_cast<double>(image.weight) * image.fractTop;
    }
    result.totalTop = total;

    const std::string path = ReportPath(request.folder);
    if (!WriteReport(path, request, params, roi, bgMeans, result)) {
        fail("Unable to create file: " + path);
        return result;
    }
    result.reportPath = path;
    return result;
}
