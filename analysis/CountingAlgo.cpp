#include "analysis/CountingAlgo.h"

#include "analysis/CountFilter.h"
#include "analysis/Rounding.h"
#include "analysis/ImageStatistics.h"
#include "analysis/RingFilter.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace {

struct TypeOptions {
    bool ringFilter;
    bool countFilter;
    bool withinType;
    bool useInnerRing;
    double radiusUm;
    int32_t sweepUm;
    int32_t ringThreshold;
    int32_t samples;
    int32_t countThreshold;
    int32_t minSize;
};

TypeOptions OptionsOfType(const CountingAlgoOptions& o, int type)
{
    if (type == 1)
        return {o.MFilter1, o.CFilter1, o.ProximityFilteringWithinType1, o.UseInnerRing1, o.ObjectRadius1,
                o.ObjectRadiusSweep1, o.MFilterThreshold1, o.MFilterSamples1, o.CFilterThreshold1,
                o.CFilterMinSize1};
    return {o.MFilter2, o.CFilter2, o.ProximityFilteringWithinType2, o.UseInnerRing2, o.ObjectRadius2,
            o.ObjectRadiusSweep2, o.MFilterThreshold2, o.MFilterSamples2, o.CFilterThreshold2,
            o.CFilterMinSize2};
}

// The region clipped to the image, as inclusive bounds.
struct Region {
    int left, right, top, bottom;
    bool IsEmpty() const { return right < left || bottom < top; }
};

Region ClipRegion(const CountingAlgoOptions& o, cv::Size size)
{
    return {std::max(o.Left, 0), std::min(o.Right, size.width - 1), std::max(o.Top, 0),
            std::min(o.Bottom, size.height - 1)};
}

// A larger trial radius has a narrower ring window than the count filter's
// window of the nominal radius. The band between them still holds the
// unfiltered image, whose intensities would be counted as ring responses;
// it has no response, so it is cleared.
void ClearUnfilteredBand(cv::Mat& working, const Region& region, double radius, int nominalRadius)
{
    const CountWindow count =
        CountFilterWindow(region.left, region.right, region.top, region.bottom, nominalRadius, working.size());
    if (count.IsEmpty())
        return;
    const cv::Rect countRect(count.xmin, count.ymin, count.xmax - count.xmin, count.ymax - count.ymin);
    const cv::Rect ringRect =
        RingFilterWindow(region.left, region.right, region.top, region.bottom, radius, working.size()) &
        countRect;
    if (ringRect.empty()) {
        working(countRect).setTo(0);
        return;
    }
    // Above, below, left of and right of the filtered part.
    working(cv::Rect(countRect.x, countRect.y, countRect.width, ringRect.y - countRect.y)).setTo(0);
    working(cv::Rect(countRect.x, ringRect.br().y, countRect.width, countRect.br().y - ringRect.br().y)).setTo(0);
    working(cv::Rect(countRect.x, ringRect.y, ringRect.x - countRect.x, ringRect.height)).setTo(0);
    working(cv::Rect(ringRect.br().x, ringRect.y, countRect.br().x - ringRect.br().x, ringRect.height)).setTo(0);
}

// `keepOutside`: the caller wants the working image itself, so every trial
// radius starts from a fresh copy of the base image. Otherwise only the
// count filter's window is read, and every pixel of it is rewritten by the
// ring filter or cleared, so the copy is skipped.
void CountType(const cv::Mat& base, const Region& region, const TypeOptions& t, double pixelsPerMm,
               std::vector<CellDetection>& detections, cv::Mat& working, bool keepOutside)
{
    const double nominal = t.radiusUm * pixelsPerMm / 1000.0;
    const int sweep = RoundToInt32(t.sweepUm * pixelsPerMm / 1000.0);
    const int nominalPixels = RoundToInt32(nominal);
    DetectionColumnBins bins(region.IsEmpty() ? 0 : static_cast<size_t>(region.right - region.left + 1));

    thread_local cv::Mat atThreshold;
    MakeRingThresholdFlags(base, t.ringThreshold, atThreshold);
    for (double radius : BuildRadiusList(nominal, sweep)) {
        if (keepOutside)
            base.copyTo(working);
        else
            working.create(base.size(), base.type());
        MorphologicalRingFilter(base, working, region.left, region.right, region.top, region.bottom, radius,
                                t.samples, t.ringThreshold, t.useInnerRing, atThreshold);
        ClearUnfilteredBand(working, region, radius, nominalPixels);
        if (t.countFilter)
            CountFilter(working, region.left, region.right, region.top, region.bottom, nominalPixels,
                        t.countThreshold, t.minSize, detections, t.withinType, bins,
                        static_cast<float>(radius));
    }
}

// Removes the entries at the given indexes (any order, repeats allowed).
void RemoveMarked(std::vector<CellDetection>& list, std::vector<size_t>& marks)
{
    std::sort(marks.begin(), marks.end());
    marks.erase(std::unique(marks.begin(), marks.end()), marks.end());
    for (auto it = marks.rbegin(); it != marks.rend(); ++it)
        list.erase(list.begin() + static_cast<ptrdiff_t>(*it));
}

}  // namespace

std::vector<double> BuildRadiusList(double nominalRadius, int sweep)
{
    int step = 1;
    if (sweep > 5) {
        step = 2;
        while (sweep / step > 5)
            ++step;
    }
    std::vector<double> radii{nominalRadius};
    for (int64_t d = 1; d <= sweep; d += step) {
        radii.push_back(nominalRadius + static_cast<double>(d));
        if (nominalRadius - static_cast<double>(d) >= 3.0)
            radii.push_back(nominalRadius - static_cast<double>(d));
    }
    return radii;
}

void ThinDetectionsBetweenTypes(std::vector<CellDetection>& type1, std::vector<CellDetection>& type2)
{
    std::vector<size_t> marks1, marks2;
    for (size_t i = 0; i < type1.size(); ++i) {
        const CellDetection& a = type1[i];
        for (size_t j = 0; j < type2.size(); ++j) {
            const CellDetection& b = type2[j];
            const float reach = a.radius + b.radius;
            if (!(reach >= 0.0f))
                continue;
            const double box = std::ceil(static_cast<double>(reach));
            const double dx = static_cast<double>(b.x) - a.x;
            const double dy = static_cast<double>(b.y) - a.y;
            if (std::fabs(dy) > box || std::fabs(dx) > box)
                continue;
            const float distance = std::sqrt(static_cast<float>(dx * dx + dy * dy));
            if (distance > reach)
                continue;
            if (b.score > a.score)
                marks1.push_back(i);
            else
                marks2.push_back(j);
        }
    }
    RemoveMarked(type1, marks1);
    RemoveMarked(type2, marks2);
}

bool CountingAlgo(const cv::Mat& image, const CountingAlgoOptions& options,
                  std::vector<std::vector<CellDetection>>& detections, cv::Mat* filteredImage)
{
    if (image.type() != CV_16UC1)
        return false;
    if (detections.size() < 2)
        detections.resize(2);

    const Region region = ClipRegion(options, image.size());
    // The edge-processed image is the same for both types, so it is made once.
    // The base and working images are kept per thread between calls: a batch
    // counts frame after frame of one size, and reusing the buffers spares
    // mapping fresh pages for every frame. Without edge processing the input
    // is only read, so it serves as the base directly.
    thread_local cv::Mat edgeBuffer;
    thread_local cv::Mat workingBuffer;
    cv::Mat base = image;
    if (options.EdgeProcessing && !region.IsEmpty()) {
        image.copyTo(edgeBuffer);
        base = edgeBuffer;
        Tovanix::ComputeLocalContrastImage(base, region.left, region.right, region.top, region.bottom);
    }

    cv::Mat working;  // the last filter run's image
    for (int type = 1; type <= 2; ++type) {
        const TypeOptions t = OptionsOfType(options, type);
        if (t.ringFilter) {
            working = workingBuffer;
            CountType(base, region, t, options.image_pixels_per_mm, detections[static_cast<size_t>(type - 1)],
                      working, filteredImage != nullptr);
            workingBuffer = working;
        }
    }

    if (options.ProximityFilteringBetweenType1_2)
        ThinDetectionsBetweenTypes(detections[0], detections[1]);

    if (filteredImage) {
        const cv::Mat& result = working.empty() ? base : working;
        if (result.data != filteredImage->data)
            result.copyTo(*filteredImage);
    }
    return true;
}
