#include "analysis/DisplayMapping.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <opencv2/imgcodecs.hpp>

#include "analysis/IntensityHistogram.h"

namespace Tovanix {

namespace {

uint32_t GreyPixel(int g) {
    return static_cast<uint32_t>(g) * 0x010101u;
}

// A display channel value from a real number: its integer part held to 0..255.
int HoldToByte(double value) {
    if (!(value > 0.0)) {
        return 0;  // also NaN
    }
    return value >= 255.0 ? 255 : static_cast<int>(value);
}

// The source index of each display point along one axis; -1 outside the image.
std::vector<int> SourceIndices(int points, double from, double to, int sourceSize) {
    std::vector<int> indices(static_cast<size_t>(points));
    for (int i = 0; i < points; ++i) {
        const double position = (static_cast<double>(i) / points * (to - from) + from) * sourceSize;
        // Integer part inside 0..size-1 exactly when -1 < position < size.
        indices[i] = (position > -1.0 && position < sourceSize) ? static_cast<int>(position) : -1;
    }
    return indices;
}

// How the points [first, last) of a display row take their source columns.
// The columns mostly advance by a whole step (1 at full size, 2 at half
// size...), with rounding in the column formula putting one off here and
// there. Then a row is read at that step (one block copy for step 1) and
// those few points are set on their own; otherwise every point is gathered.
struct RowCopyPlan {
    bool stepped = false;
    int step = 1;                 // source column of point j: step * j + shift, except at:
    int shift = 0;
    std::vector<int> exceptions;  // the points whose source column differs
};

RowCopyPlan PlanRowCopy(const std::vector<int>& columns, int first, int last, int sourceSize) {
    RowCopyPlan plan;
    if (last <= first) {
        return plan;
    }
    plan.step = last - first >= 2 ? columns[first + 1] - columns[first] : 1;
    if (plan.step < 1) {
        return plan;
    }
    plan.shift = columns[first] - plan.step * first;
    // Every stepped read must stay inside the source row.
    const int64_t lastRead = int64_t{plan.step} * (last - 1) + plan.shift;
    if (lastRead >= sourceSize || int64_t{plan.step} * first + plan.shift < 0) {
        return plan;
    }
    const size_t limit = static_cast<size_t>(last - first) / 16;
    for (int j = first; j < last; ++j) {
        if (columns[j] != plan.step * j + plan.shift) {
            if (plan.exceptions.size() >= limit) {
                plan.exceptions.clear();
                return plan;
            }
            plan.exceptions.push_back(j);
        }
    }
    plan.stepped = true;
    return plan;
}

// A row copy in plain vector moves. The library copy takes a string-move
// path for rows of a few kilobytes, which measured slower here than moves
// the processor can overlap with the rest of the row's work.
void CopyRun(const void* from, void* to, size_t bytes) {
    const auto* in = static_cast<const uint8_t*>(from);
    auto* out = static_cast<uint8_t*>(to);
    constexpr size_t kChunk = 16;
    size_t k = 0;
    for (; k + kChunk <= bytes; k += kChunk) {
        uint8_t chunk[kChunk];
        std::memcpy(chunk, in + k, kChunk);
        std::memcpy(out + k, chunk, kChunk);
    }
    for (; k < bytes; ++k) {
        out[k] = in[k];
    }
}

template <int kStep, typename T>
void CopyStepped(const T* in, T* out, int first, int last) {
    for (int j = first; j < last; ++j) {
        out[j] = in[kStep * j];
    }
}

template <typename T>
void CopyRow(const T* in, T* out, const int* columns, int first, int last, const RowCopyPlan& plan) {
    if (!plan.stepped) {
        for (int j = first; j < last; ++j) {
            out[j] = in[columns[j]];
        }
        return;
    }
    const T* base = in + plan.shift;  // point j reads base[step * j]
    switch (plan.step) {
        case 1:
            CopyRun(base + first, out + first, static_cast<size_t>(last - first) * sizeof(T));
            break;
        case 2:
            CopyStepped<2>(base, out, first, last);
            break;
        default:
            for (int j = first; j < last; ++j) {
                out[j] = base[static_cast<ptrdiff_t>(plan.step) * j];
            }
            break;
    }
    for (int j : plan.exceptions) {
        out[j] = in[columns[j]];
    }
}

// Large grids are split over the available cores, a band of rows (or of
// points) each; small ones are not worth the hand-over.
constexpr size_t kParallelPoints = size_t{1} << 18;

template <typename Work>
void ForRows(int rows, size_t points, const Work& work) {
    if (points < kParallelPoints || rows < 2) {
        work(cv::Range(0, rows));
        return;
    }
    const double bands = static_cast<double>(points) / static_cast<double>(kParallelPoints / 4);
    cv::parallel_for_(cv::Range(0, rows), work, std::min(bands, static_cast<double>(rows)));
}

}  // namespace

const GreyPalette* GetGreyPalette() {
    static const GreyPalette palette = [] {
        GreyPalette p;
        for (int i = 0; i < 256; ++i) {
            const auto grey = static_cast<uint8_t>(i);
            p.entries[i] = {grey, grey, grey, 0};
        }
        return p;
    }();
    return &palette;
}

bool SampleImageToDisplayGrid(const cv::Mat& image, std::vector<uint16_t>& values, double x0, double x1, double y0,
                              double y1, int width, int height, const cv::Mat* overlay,
                              std::vector<uint8_t>* overlayCodes) {
    if (image.empty() || image.cols <= 0 || image.type() != CV_16UC1 || width <= 0 || height <= 0) {
        return false;
    }
    const size_t points = static_cast<size_t>(width) * static_cast<size_t>(height);
    const bool withCodes = overlay && overlayCodes && !overlay->empty() && overlay->type() == CV_8UC1;
    // Every point is written below (0 outside the image), so a buffer kept
    // from the previous frame is not cleared first.
    values.resize(points);
    if (withCodes) {
        overlayCodes->resize(points);
    }

    const std::vector<int> sourceColumns = SourceIndices(width, x0, x1, image.cols);
    const std::vector<int> sourceRows = SourceIndices(height, y0, y1, image.rows);
    // The display points inside the image form one run [first, last) of
    // every row, since the source column moves one way across the grid.
    int first = 0;
    while (first < width && sourceColumns[first] < 0) {
        ++first;
    }
    int last = first;
    while (last < width && sourceColumns[last] >= 0) {
        ++last;
    }
    const int* columns = sourceColumns.data();
    const RowCopyPlan plan = PlanRowCopy(sourceColumns, first, last, image.cols);
    const bool overlayCoversImage = withCodes && overlay->cols >= image.cols;

    auto sampleRows = [&](const cv::Range& displayRows) {
        for (int i = displayRows.start; i < displayRows.end; ++i) {
            const int r = sourceRows[i];
            uint16_t* out = values.data() + static_cast<size_t>(i) * width;
            uint8_t* codesOut = withCodes ? overlayCodes->data() + static_cast<size_t>(i) * width : nullptr;
            if (r < 0) {
                std::fill(out, out + width, 0);
                if (codesOut) {
                    std::fill(codesOut, codesOut + width, 0);
                }
                continue;
            }
            std::fill(out, out + first, 0);
            std::fill(out + last, out + width, 0);
            CopyRow(image.ptr<uint16_t>(r), out, columns, first, last, plan);
            if (!codesOut) {
                continue;
            }
            // The overlay may be smaller than the image: only its own pixels are read.
            if (r >= overlay->rows) {
                std::fill(codesOut, codesOut + width, 0);
                continue;
            }
            std::fill(codesOut, codesOut + first, 0);
            std::fill(codesOut + last, codesOut + width, 0);
            const uint8_t* codesIn = overlay->ptr<uint8_t>(r);
            if (overlayCoversImage) {
                CopyRow(codesIn, codesOut, columns, first, last, plan);
            } else {
                for (int j = first; j < last; ++j) {
                    codesOut[j] = columns[j] < overlay->cols ? codesIn[columns[j]] : 0;
                }
            }
        }
    };
    ForRows(height, points, sampleRows);
    return true;
}

bool MapIntensitiesToDisplayColours(const uint16_t* values, int count, uint32_t* pixels, uint16_t high,
                                    uint16_t low, const uint8_t* overlayCodes, int16_t displayLow,
                                    int16_t displayHigh) {
    const int span = static_cast<int>(high) - low;
    const int64_t displaySpan = static_cast<int64_t>(displayHigh) - displayLow;
    auto grey = [&](int v) -> uint8_t {
        if (span == 0) {
            return 0;  // equal bounds: no scale to map with
        }
        const double g = static_cast<double>((v - low) * displaySpan) / span + displayLow;
        return static_cast<uint8_t>(HoldToByte(g));
    };
    // A frame maps far more points than there are intensities: a table of
    // grey pixels. Frame after frame is usually shown with the same range,
    // so the calling thread keeps its last table for the next call.
    const bool useTable = count >= 16384;
    struct GreyTable {
        bool made = false;
        uint16_t high = 0, low = 0;
        int16_t displayLow = 0, displayHigh = 0;
        std::vector<uint32_t> pixels;
    };
    thread_local GreyTable kept;
    if (useTable && !(kept.made && kept.high == high && kept.low == low && kept.displayLow == displayLow &&
                      kept.displayHigh == displayHigh)) {
        kept.pixels.resize(kIntensityLevels);
        for (int v = 0; v < kIntensityLevels; ++v) {
            kept.pixels[v] = GreyPixel(grey(v));
        }
        kept.made = true;
        kept.high = high;
        kept.low = low;
        kept.displayLow = displayLow;
        kept.displayHigh = displayHigh;
    }
    const uint32_t* table = kept.pixels.data();
    auto tintedPixel = [](int g, uint8_t code) -> uint32_t {
        // A tint shows even on black: the tinted channel is at least 32.
        const uint32_t tinted = static_cast<uint32_t>(std::clamp(3 * g, 32, 255));
        const uint32_t other = static_cast<uint32_t>(g / 3);
        switch (code) {
            case kOverlayRed:
                return (tinted << 16) | (other << 8) | other;
            case kOverlayBlue:
                return (other << 16) | (other << 8) | tinted;
            case kOverlayGreen:
                return (other << 16) | (tinted << 8) | other;
            default:
                return GreyPixel(g);
        }
    };
    // Overlays mark a few lines and outlines: runs of points without a code
    // take the plain grey path.
    auto mapPoints = [&](int from, int to) {
        constexpr int kBlock = 16;
        int k = from;
        while (k < to) {
            const int end = std::min(k + kBlock, to);
            bool plain = overlayCodes == nullptr;
            if (!plain && end - k == kBlock) {
                uint64_t halves[2];
                std::memcpy(halves, overlayCodes + k, sizeof halves);
                plain = (halves[0] | halves[1]) == 0;
            } else if (!plain) {
                uint8_t any = 0;
                for (int m = k; m < end; ++m) {
                    any |= overlayCodes[m];
                }
                plain = any == 0;
            }
            if (plain) {
                if (useTable) {
                    for (; k < end; ++k) {
                        pixels[k] = table[values[k]];
                    }
                } else {
                    for (; k < end; ++k) {
                        pixels[k] = GreyPixel(grey(values[k]));
                    }
                }
                continue;
            }
            for (; k < end; ++k) {
                const int g = useTable ? static_cast<int>(table[values[k]] & 0xFF) : grey(values[k]);
                pixels[k] = tintedPixel(g, overlayCodes[k]);
            }
        }
    };
    // Bands of points, each a multiple of the block, go to the cores.
    constexpr int kBand = 1 << 16;
    const int bands = count > 0 ? (count - 1) / kBand + 1 : 0;
    ForRows(bands, static_cast<size_t>(std::max(count, 0)), [&](const cv::Range& range) {
        mapPoints(range.start * kBand, static_cast<int>(std::min<int64_t>(int64_t{range.end} * kBand, count)));
    });
    return true;
}

int DisplayRowBytes(int width, int bitsPerPixel) {
    switch (bitsPerPixel) {
        case 32:
            return 4 * width;
        case 24:
            return 3 * width + (width % 2);
        case 16:
            return 2 * width;
        case 8:
            return width + (width % 2);
        default:
            return 0;
    }
}

bool ConvertPixelsToDisplayDepth(int width, int height, uint32_t* pixels, int bitsPerPixel) {
    if (bitsPerPixel == 32) {
        return true;
    }
    const int rowBytes = DisplayRowBytes(width, bitsPerPixel);
    if (rowBytes == 0) {
        return false;
    }
    // Every converted pixel is written no later in the buffer than the source
    // pixel it comes from, so one forward pass converts in place.
    auto* bytes = reinterpret_cast<uint8_t*>(pixels);
    for (int r = 0; r < height; ++r) {
        uint8_t* out = bytes + static_cast<size_t>(r) * rowBytes;
        const size_t first = static_cast<size_t>(r) * width;
        for (int c = 0; c < width; ++c) {
            const uint32_t p = pixels[first + c];
            const uint32_t red = (p >> 16) & 0xFF;
            const uint32_t green = (p >> 8) & 0xFF;
            const uint32_t blue = p & 0xFF;
            if (bitsPerPixel == 24) {
                out[3 * c] = static_cast<uint8_t>(blue);
                out[3 * c + 1] = static_cast<uint8_t>(green);
                out[3 * c + 2] = static_cast<uint8_t>(red);
            } else if (bitsPerPixel == 16) {
                const auto packed = static_cast<uint16_t>(((red >> 3) << 11) | ((green >> 2) << 5) | (blue >> 3));
                std::memcpy(out + 2 * c, &packed, sizeof packed);
            } else {
                // Grey levels use the palette indices 10..245.
                out[c] = static_cast<uint8_t>(std::min<uint32_t>((red + green + blue) / 3 * 236 / 256 + 10, 245));
            }
        }
        if (bitsPerPixel == 24 && width % 2 != 0) {
            out[3 * width] = 0;
        } else if (bitsPerPixel == 8 && width % 2 != 0) {
            out[width] = 0;
        }
    }
    return true;
}

bool ComputeSampledPercentileRange(const cv::Mat& image, int step, double lowFraction, double highFraction,
                                   uint16_t& low, uint16_t& high) {
    if (image.empty() || image.type() != CV_16UC1) {
        return false;
    }
    step = std::max(step, 1);
    std::vector<uint16_t> samples;
    samples.reserve(static_cast<size_t>(image.rows / step + 1) * static_cast<size_t>(image.cols / step + 1));
    for (int r = 0; r < image.rows; r += step) {
        const uint16_t* row = image.ptr<uint16_t>(r);
        for (int c = 0; c < image.cols; c += step) {
            samples.push_back(row[c]);
        }
    }
    const std::vector<float> fractions{static_cast<float>(std::max(lowFraction, 0.0)),
                                       static_cast<float>(std::min(highFraction, 1.0))};
    std::vector<int> intensities;
    ComputePercentilesOfValues(samples.data(), static_cast<int>(samples.size()), fractions, intensities);
    low = static_cast<uint16_t>(intensities[0]);
    high = static_cast<uint16_t>(intensities[1]);
    return true;
}

bool ComputePercentilesOfValues(const uint16_t* values, int count, const std::vector<float>& fractions,
                                std::vector<int>& intensities) {
    const int n = std::max(count, 0);
    std::vector<uint32_t> bins(kIntensityLevels, 0);
    CountValues(values, static_cast<size_t>(n), bins.data());

    std::vector<double> targets(fractions.size());
    for (size_t k = 0; k < fractions.size(); ++k) {
        const float t = std::min(std::roundf(static_cast<float>(n) * fractions[k]), static_cast<float>(n - 1));
        targets[k] = t > 0.0f ? t : 0.0;  // NaN counts as 0
    }
    FindIntensitiesAtCounts(bins.data(), targets, intensities);
    return true;
}

namespace {

// An image file as 16-bit single-channel pixels (empty when unreadable).
cv::Mat ReadImageFile(const std::string& path) {
    cv::Mat image = cv::imread(path, cv::IMREAD_ANYDEPTH | cv::IMREAD_GRAYSCALE);
    if (!image.empty() && image.type() != CV_16UC1) {
        image.convertTo(image, CV_16UC1);
    }
    return image;
}

// The linear contrast step of the file pictures: (v - low) x scale / (high -
// low), rounded half up; 0 when the two bounds are equal.
struct ContrastScale {
    ContrastScale(uint16_t lowBound, uint16_t highBound, double scale)
        : low(lowBound), factor(highBound == lowBound ? 0.0 : scale / (static_cast<int>(highBound) - lowBound)) {}
    double operator()(uint16_t v) const { return (static_cast<int>(v) - low) * factor + 0.5; }
    int low;
    double factor;
};

// The integer part of a contrast step (rounding towards zero, as a cast does),
// kept within a range where the cast is defined.
int IntegerPart(double value) {
    return static_cast<int>(std::clamp(value, -1000.0, 1000.0));
}

}  // namespace

namespace {

// An image file and its automatic contrast range at two fractions of every
// fourth row and column; false when the file cannot be read.
bool ReadWithContrast(const std::string& path, double lowFraction, double highFraction, cv::Mat& image,
                      uint16_t& low, uint16_t& high) {
    image = ReadImageFile(path);
    return ComputeSampledPercentileRange(image, 4, lowFraction, highFraction, low, high);
}

// Sets every display pixel of `picture` from the image pixel at its place.
template <typename PixelFromValue>
void ForEachPicturePixel(const cv::Mat& image, cv::Mat& picture, PixelFromValue pixelFromValue) {
    for (int r = 0; r < image.rows; ++r) {
        const uint16_t* in = image.ptr<uint16_t>(r);
        auto* out = picture.ptr<uint32_t>(r);
        for (int c = 0; c < image.cols; ++c) {
            out[c] = pixelFromValue(in[c], out[c]);
        }
    }
}

}  // namespace

bool MakeTintedPicture(const std::string& path, const std::string& channelName, cv::Mat& picture) {
    picture.release();
    cv::Mat image;
    uint16_t low = 0;
    uint16_t high = 0;
    if (!ReadWithContrast(path, 0.5, 0.999, image, low, high)) {
        return false;
    }
    const uint32_t tint = channelName == "red" ? 0xFF0000u : channelName == "green" ? 0x00FF00u : 0xFFFFFFu;
    const ContrastScale scale(low, high, 255.0);
    picture.create(image.size(), CV_8UC4);
    ForEachPicturePixel(image, picture, [&](uint16_t v, uint32_t) {
        return tint & GreyPixel(HoldToByte(IntegerPart(scale(v))));
    });
    return true;
}

bool MakeCompositePicture(const std::string& path1, const std::string& path2, const std::string& path3,
                          cv::Mat& picture) {
    picture.release();
    cv::Mat image1;
    uint16_t low1 = 0;
    uint16_t high1 = 0;
    if (!ReadWithContrast(path1, 0.05, 0.95, image1, low1, high1)) {
        return false;
    }
    // The channel images are read pixel for pixel with the first one: one
    // that cannot be read or has another size draws nothing.
    struct Channel {
        cv::Mat image;
        int shift;  // bit position of the channel in a display pixel
        uint16_t low = 0;
        uint16_t high = 0;
    };
    std::vector<Channel> channels;
    for (const auto& [path, shift] : {std::pair{path2, 8}, std::pair{path3, 16}}) {
        if (path.empty()) {
            continue;
        }
        Channel channel{cv::Mat(), shift};
        if (!ReadWithContrast(path, 0.5, 0.999, channel.image, channel.low, channel.high) ||
            channel.image.size() != image1.size()) {
            return false;
        }
        channels.push_back(channel);
    }

    const ContrastScale greyScale(low1, high1, channels.empty() ? 180.0 : 128.0);
    picture.create(image1.size(), CV_8UC4);
    ForEachPicturePixel(image1, picture,
                        [&](uint16_t v, uint32_t) { return GreyPixel(HoldToByte(IntegerPart(greyScale(v)))); });
    for (const Channel& channel : channels) {
        const ContrastScale scale(channel.low, channel.high, 150.0);
        const int shift = channel.shift;
        ForEachPicturePixel(channel.image, picture, [&](uint16_t v, uint32_t pixel) {
            const int base = static_cast<int>((pixel >> shift) & 0xFF);
            const auto value = static_cast<uint32_t>(std::clamp(base + IntegerPart(scale(v)), 0, 255));
            return (pixel & ~(0xFFu << shift)) | (value << shift);
        });
    }
    return true;
}

}  // namespace Tovanix
