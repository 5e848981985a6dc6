#include "tools/CountingRun.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "analysis/CountingAlgo.h"
#include "app/VelloraApp.h"
#include "platform/Files.h"
#include "platform/Sync.h"

namespace {

constexpr int kBins = 30;

bool ParseDouble(const std::string& text, double* value) {
    const char* start = text.c_str();
    char* end = nullptr;
    const double parsed = std::strtod(start, &end);
    if (end == start || !std::isfinite(parsed)) return false;
    *value = parsed;
    return true;
}

// "%d": leading digits after blanks and a sign; held at the 32-bit limits.
bool ParseInt(const std::string& text, int32_t* value) {
    const char* start = text.c_str();
    char* end = nullptr;
    errno = 0;
    const long long parsed = std::strtoll(start, &end, 10);
    if (end == start) return false;
    *value = parsed > INT32_MAX ? INT32_MAX : parsed < INT32_MIN ? INT32_MIN : static_cast<int32_t>(parsed);
    return true;
}

int32_t IntOr(const std::string& text, int32_t fallback) {
    int32_t value = fallback;
    ParseInt(text, &value);
    return value;
}

double DoubleOr(const std::string& text, double fallback) {
    double value = fallback;
    ParseDouble(text, &value);
    return value;
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
    char buffer[2048];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

const char* TrueFalse(bool on) { return on ? "true" : "false"; }

std::string WithoutExtension(const std::string& path) {
    const size_t dot = path.find_last_of('.');
    const size_t separator = path.find_last_of("\\/");
    if (dot == std::string::npos || (separator != std::string::npos && dot < separator)) return path;
    return path.substr(0, dot);
}

}  // namespace

CountingRequest CountingRequest::FromControls(const CountingParamValues& values, const std::string& upperMagnet,
                                              const std::string& lowerMagnet, bool createResultsFiles, bool openSummary) {
    CountingRequest request;
    request.values = values;
    request.upperMagnet = upperMagnet;
    request.lowerMagnet = lowerMagnet;
    request.createResultsFiles = createResultsFiles;
    request.openSummary = openSummary;
    request.pixelsPerMm = ReadImagePixelsPerMm();
    return request;
}

std::vector<std::string> CountingRequest::Validate(int imageRows) const {
    std::vector<std::string> problems;
    // Every number the detection and the report need must read; the count
    // filter values have their own fallbacks.
    for (const char* key : {"ObjectRadius1", "ObjectRadius2"}) {
        double value = 0;
        if (!ParseDouble(values.Get(key), &value)) problems.push_back(std::string(key) + " must be a number.");
    }
    for (const char* key : {"ObjectRadiusSweep1", "ObjectRadiusSweep2", "MFilterThreshold1", "MFilterThreshold2",
                            "MFilterSamples1", "MFilterSamples2", "Left", "Right", "Top", "Bottom"}) {
        int32_t value = 0;
        if (!ParseInt(values.Get(key), &value)) problems.push_back(std::string(key) + " must be a whole number.");
    }
    int32_t magnet = 0;
    if (!ParseInt(upperMagnet, &magnet)) problems.push_back("Upper magnet height must be a whole number.");
    if (!ParseInt(lowerMagnet, &magnet)) problems.push_back("Lower magnet height must be a whole number.");
    if (!problems.empty()) return problems;

    const CountingAlgoOptions options = Options();
    if (options.ObjectRadiusSweep1 < 0 || options.ObjectRadiusSweep1 > 20 || options.ObjectRadiusSweep2 < 0 ||
        options.ObjectRadiusSweep2 > 20) {
        problems.push_back("Radius sweep must be between 0 and 20");
        return problems;
    }
    if (static_cast<int64_t>(options.Bottom) - options.Top < 20) {
        problems.push_back("CountingAlgorithmDlg::process_image () Bottom - Top must be greater than or equal to 20 pixel rows");
    } else if (options.Top < 0) {
        problems.push_back("CountingAlgorithmDlg::process_image () Top must be greather than or equal to 0");
    } else if (options.Bottom >= imageRows) {
        problems.push_back(Format("CountingAlgorithmDlg::process_image () Bottom must be less than image height %d", imageRows));
    }
    // Heights divide by the magnet spacing and radii by the pixel scale.
    if (Upper() == Lower()) problems.push_back("The upper and lower magnet heights must differ.");
    if (!(pixelsPerMm > 0)) problems.push_back("image_pixels_per_mm must be greater than zero.");
    return problems;
}

CountingAlgoOptions CountingRequest::Options() const {
    CountingAlgoOptions options;
    options.image_pixels_per_mm = pixelsPerMm;
    options.enabled = false;
    options.EdgeProcessing = values.Flag("EdgeProcessing");
    options.MFilter1 = values.Flag("MFilter1");
    options.MFilter2 = values.Flag("MFilter2");
    options.CFilter1 = values.Flag("CFilter1");
    options.CFilter2 = values.Flag("CFilter2");
    options.UseInnerRing1 = values.Flag("UseInnerRing1");
    options.UseInnerRing2 = values.Flag("UseInnerRing2");
    options.ProximityFilteringWithinType1 = values.Flag("ProximityFilteringWithinType1");
    options.ProximityFilteringWithinType2 = values.Flag("ProximityFilteringWithinType2");
    options.ProximityFilteringBetweenType1_2 = values.Flag("ProximityFilteringBetweenType1_2");
    options.ObjectRadius1 = DoubleOr(values.Get("ObjectRadius1"), 0.0);
    options.ObjectRadius2 = DoubleOr(values.Get("ObjectRadius2"), 0.0);
    options.ObjectRadiusSweep1 = IntOr(values.Get("ObjectRadiusSweep1"), 0);
    options.ObjectRadiusSweep2 = IntOr(values.Get("ObjectRadiusSweep2"), 0);
    options.MFilterThreshold1 = IntOr(values.Get("MFilterThreshold1"), 0);
    options.MFilterThreshold2 = IntOr(values.Get("MFilterThreshold2"), 0);
    options.MFilterSamples1 = IntOr(values.Get("MFilterSamples1"), 0);
    options.MFilterSamples2 = IntOr(values.Get("MFilterSamples2"), 0);
    options.CFilterThreshold1 = IntOr(values.Get("CFilterThreshold1"), 1);
    options.CFilterThreshold2 = IntOr(values.Get("CFilterThreshold2"), 1);
    options.CFilterMinSize1 = IntOr(values.Get("CFilterMinSize1"), 0);
    options.CFilterMinSize2 = IntOr(values.Get("CFilterMinSize2"), 0);
    options.Left = IntOr(values.Get("Left"), 0);
    options.Right = IntOr(values.Get("Right"), 0);
    options.Top = IntOr(values.Get("Top"), 0);
    options.Bottom = IntOr(values.Get("Bottom"), 0);
    return options;
}

int32_t CountingRequest::Upper() const { return IntOr(upperMagnet, 0); }
int32_t CountingRequest::Lower() const { return IntOr(lowerMagnet, 0); }

void RunCounting(const cv::Mat& image, const CountingRequest& request, CountingResult& result) {
    result.detections.assign(2, {});
    result.outputImage.release();
    const bool restore = request.values.Flag("RestoreImage");
    CountingAlgo(image, request.Options(), result.detections, restore ? nullptr : &result.outputImage);
}

double RelativeHeight(int32_t y, int32_t lower, int32_t upper) {
    return static_cast<double>(lower - static_cast<int64_t>(y)) / static_cast<double>(lower - static_cast<int64_t>(upper));
}

int HeightBin(double h) {
    // Below the lower magnet (negative) counts in the first bin, above the
    // upper one in the last.
    if (!(h > 0)) return 0;
    const double bin = std::trunc(h * (kBins - 1));
    return bin > kBins - 1 ? kBins - 1 : static_cast<int>(bin);
}

std::string ChooseCountingReportPath(const std::string& imagePath) {
    const std::string stem = WithoutExtension(imagePath);
    std::string path = stem + ".txt";
    if (!platform::FileExists(path)) return path;
    for (int n = 1; n <= 100; ++n) {
        path = stem + "[" + std::to_string(n) + "].txt";
        if (!platform::FileExists(path)) return path;
    }
    return path;
}

std::string CountingSummaryPath(const std::string& reportPath) { return WithoutExtension(reportPath) + ".sum.txt"; }

bool WriteCountingReports(const std::string& imagePath, const CountingRequest& request, const CountingResult& result,
                          const std::string& reportPath, std::string* error) {
    const CountingAlgoOptions options = request.Options();
    const int32_t upper = request.Upper();
    const int32_t lower = request.Lower();
    const double ppmm = options.image_pixels_per_mm;
    static const std::vector<CellDetection> none;
    const std::vector<CellDetection>& type1 = result.detections.size() > 0 ? result.detections[0] : none;
    const std::vector<CellDetection>& type2 = result.detections.size() > 1 ? result.detections[1] : none;

    std::string header;
    header += Format("%s\tVersion\t%s\n", theApp.m_strDisplayName.GetString(), theApp.m_strFileVersion.GetString());
    header += Format("# ComputerName=%s\n", platform::GetComputerName().c_str());
    header += Format("# image\t%s\n", imagePath.c_str());
    header += Format("# b_edge_processing\t%s\n", TrueFalse(options.EdgeProcessing));
    header += Format("# ROI left\t%d\n# ROI right\t%d\n# ROI top\t%d\n# ROI bottom\t%d\n", options.Left, options.Right,
                     options.Top, options.Bottom);
    header += Format("# Upper magnet height\t%d\n# Lower magnet height\t%d\n", upper, lower);
    header += Format("# bMFilter1\t%s\n# bMFilter2\t%s\n", TrueFalse(options.MFilter1), TrueFalse(options.MFilter2));
    header += Format("# radius1\t%5.3lf\tum\n# radius2\t%5.3lf\tum\n# ppmm\t%5.3lf\n", options.ObjectRadius1,
                     options.ObjectRadius2, ppmm);
    header += Format("# radius1\t%5.3lf\tpix\n# radius2\t%5.3lf\tpix\n", options.ObjectRadius1 * ppmm / 1000.0,
                     options.ObjectRadius2 * ppmm / 1000.0);
    header += Format("# mthreshold1\t%d\n# mthreshold2\t%d\n# use_inner_ring_1\t%s\n# use_inner_ring_2\t%s\n",
                     options.MFilterThreshold1, options.MFilterThreshold2, TrueFalse(options.UseInnerRing1),
                     TrueFalse(options.UseInnerRing2));
    header += Format("# samples1\t%d\n# samples2\t%d\n", options.MFilterSamples1, options.MFilterSamples2);
    header += Format("# bCFilter1\t%s\n# bCFilter2\t%s\n# cthreshold1\t%d\n# cthreshold2\t%d\n# min_sz_1\t%d\n# min_sz_2\t%d\n",
                     TrueFalse(options.CFilter1), TrueFalse(options.CFilter2), options.CFilterThreshold1,
                     options.CFilterThreshold2, options.CFilterMinSize1, options.CFilterMinSize2);
    header += Format("# count1\t%d\n# count2\t%d\n", static_cast<int>(type1.size()), static_cast<int>(type2.size()));

    std::string report = header + "sz_idx\tidx\tix\tiy\tconfidence\theight\tradius(um)\n";
    const std::vector<CellDetection>* lists[2] = {&type1, &type2};
    for (int type = 0; type < 2; ++type) {
        for (size_t i = 0; i < lists[type]->size(); ++i) {
            const CellDetection& d = (*lists[type])[i];
            report += Format("%d\t%d\t", type + 1, static_cast<int>(i));
            report += Format(type == 0 ? "%d\t%d\t%7.4f\t%5.3lf\t%3.1f\t" : "%d\t%d\t%7.4f\t%5.3lf\t%3.1f", d.x, d.y,
                             static_cast<double>(d.score), RelativeHeight(d.y, lower, upper),
                             static_cast<double>(d.radius) / ppmm * 1000.0);
            report += "\n";
        }
    }

    std::string summary = header + "itype\tavg_y\tstdev_y\n";
    int histogram[2][kBins] = {};
    for (int type = 0; type < 2; ++type) {
        const std::vector<CellDetection>& list = *lists[type];
        if (list.empty()) {
            summary += "\t\t\n";
            continue;
        }
        double sum = 0;
        for (const CellDetection& d : list) {
            const double h = RelativeHeight(d.y, lower, upper);
            sum += h;
            ++histogram[type][HeightBin(h)];
        }
        const double mean = sum / static_cast<double>(list.size());
        double squares = 0;
        for (const CellDetection& d : list) squares += std::pow(RelativeHeight(d.y, lower, upper) - mean, 2);
        const double stdev = list.size() > 1 ? std::sqrt(squares / static_cast<double>(list.size() - 1)) : 0.0;
        summary += Format(type == 0 ? "1\t%5.3lf\t%5.3lf\n" : "2\t%5.3lf\t%5.3lf", mean, stdev);
    }
    summary += "\n**************** Histograms **********************\n";
    summary += "height\tcount1\tcount2\n";
    for (int i = 0; i < kBins; ++i) {
        summary += Format("%5.3lf\t%d\t%d\n", i / 30.0, histogram[0][i], histogram[1][i]);
    }

    for (const auto& [path, text] : {std::pair{reportPath, report}, std::pair{CountingSummaryPath(reportPath), summary}}) {
        platform::CrlfTextWriter writer(path);
        if (!writer.IsOpen() || !writer.Write(text) || !writer.Commit()) {
            *error = "Can't create file: " + path;
            return false;
        }
    }
    return true;
}
