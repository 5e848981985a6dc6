#include "analysis/FalseColourFrames.h"

#include "analysis/ChannelGeometry.h"
#include "analysis/DisplayMapping.h"
#include "analysis/ExperimentFolder.h"
#include "platform/Files.h"

#include <algorithm>
#include <array>
#include <string>

namespace {

// Output level of every 16-bit value for one channel's low, high and maximum.
std::vector<uint8_t> LevelTable(uint16_t low, uint16_t high, uint8_t maximum)
{
    std::vector<uint8_t> table(65536);
    for (int p = 0; p < 65536; ++p) {
        int v;
        if (high == low) {
            // Nothing to scale over: a step at the level.
            v = p >= high ? maximum : 0;
        } else {
            const double scaled = static_cast<double>(p - low) * maximum / (static_cast<double>(high) - low) + 0.5;
            v = scaled >= 256.0 ? 255 : scaled <= -1.0 ? 0 : static_cast<int>(scaled);
        }
        table[static_cast<size_t>(p)] = static_cast<uint8_t>(std::clamp(v, 0, 255));
    }
    return table;
}

// Adds the channel's output levels into one byte of the picture, limited to 255.
void AddChannel(const cv::Mat& image, const std::vector<uint8_t>& table, int byte, cv::Mat& picture)
{
    for (int y = 0; y < picture.rows; ++y) {
        const uint16_t* in = image.ptr<uint16_t>(y);
        cv::Vec3b* out = picture.ptr<cv::Vec3b>(y);
        for (int x = 0; x < picture.cols; ++x)
            out[x][byte] = static_cast<uint8_t>(std::min(255, out[x][byte] + table[in[x]]));
    }
}

bool Load(const ExperimentDataSet& data, const std::string& path, int firstRow, int endRow, double gain,
          cv::Mat& image)
{
    LoadAnalysisImage(image, path, 0, data.imageWidth, firstRow, endRow, data.detectedOffset,
                      data.detectedRotation, static_cast<int>(data.rotationCentreX),
                      static_cast<int>(data.rotationCentreY), gain);
    return image.cols > 0;
}

}  // namespace

double ExposureGain(double meanExposure, double exposure)
{
    return exposure > 0.0 ? meanExposure / exposure : 1.0;
}

bool ComputeReferenceContrastLevels(const ExperimentDataSet& data, FalseColourLevels& levels)
{
    std::string brightField, green, red;
    GetReferenceFrameImageFiles(data, brightField, green, red);
    const FrameRecord* row = data.frames.size() > 10 ? &data.frames[10] : nullptr;

    levels.brightFieldMax = (!green.empty() || !red.empty()) ? 128 : 180;
    levels.brightFieldLow = levels.brightFieldHigh = 65535;
    levels.channel1Max = levels.channel2Max = 150;
    levels.channel1Low = levels.channel1High = 65535;
    levels.channel2Low = levels.channel2High = 65535;
    if (!row)
        return true;

    cv::Mat image;
    uint16_t low = 0, high = 0;
    if (!brightField.empty() &&
        Load(data, brightField, 0, data.imageHeight,
             ExposureGain(data.meanBrightFieldExposure, row->brightFieldExposure), image) &&
        Tovanix::ComputeSampledPercentileRange(image, 4, 0.05, 0.95, low, high)) {
        levels.brightFieldLow = low;
        levels.brightFieldHigh = high;
    }
    if (!green.empty() &&
        Load(data, green, 0, data.imageHeight, ExposureGain(data.meanChannel1Exposure, row->channel1Exposure),
             image) &&
        Tovanix::ComputeSampledPercentileRange(image, 4, 0.5, 0.999, low, high)) {
        levels.channel1Low = low;
        levels.channel1High = high;
    }
    if (!red.empty() &&
        Load(data, red, 0, data.imageHeight, ExposureGain(data.meanChannel2Exposure, row->channel2Exposure),
             image) &&
        Tovanix::ComputeSampledPercentileRange(image, 4, 0.5, 0.999, low, high)) {
        levels.channel2Low = low;
        levels.channel2High = high;
    }
    return true;
}

bool ComposeFalseColourFrame(const FalseColourLevels& levels, const cv::Mat& brightField, const cv::Mat& green,
                             const cv::Mat& red, cv::Mat& picture)
{
    if (brightField.cols == 0 || brightField.type() != CV_16UC1)
        return false;
    picture.create(brightField.size(), CV_8UC3);
    const std::vector<uint8_t> grey =
        LevelTable(levels.brightFieldLow, levels.brightFieldHigh, levels.brightFieldMax);
    for (int y = 0; y < picture.rows; ++y) {
        const uint16_t* in = brightField.ptr<uint16_t>(y);
        cv::Vec3b* out = picture.ptr<cv::Vec3b>(y);
        for (int x = 0; x < picture.cols; ++x) {
            const uint8_t v = grey[in[x]];
            out[x] = cv::Vec3b(v, v, v);
        }
    }
    const struct {
        bool enabled;
        const cv::Mat& image;
        uint16_t low, high;
        uint8_t maximum;
        int byte;  // blue-green-red order
    } channels[] = {
        {levels.useChannel1, green, levels.channel1Low, levels.channel1High, levels.channel1Max, 1},
        {levels.useChannel2, red, levels.channel2Low, levels.channel2High, levels.channel2Max, 2},
    };
    for (const auto& channel : channels) {
        if (!channel.enabled)
            continue;
        if (channel.image.cols == 0 || channel.image.type() != CV_16UC1 || channel.image.size() != picture.size())
            return false;
        AddChannel(channel.image, LevelTable(channel.low, channel.high, channel.maximum), channel.byte, picture);
    }
    return true;
}

bool LoadFalseColourFrame(const ExperimentDataSet& data, const FalseColourLevels& levels,
                          const FrameChannelImages& images, cv::Mat& picture)
{
    if (images.brightField.file.empty() || !platform::FileExists(images.brightField.file))
        return false;
    cv::Mat brightField, green, red;
    if (!Load(data, images.brightField.file, data.cropStartRow, data.cropEndRow,
              ExposureGain(data.meanBrightFieldExposure, images.brightField.exposure), brightField))
        return false;
    if (levels.useChannel1 &&
        (images.green.file.empty() || !platform::FileExists(images.green.file) ||
         !Load(data, images.green.file, data.cropStartRow, data.cropEndRow,
               ExposureGain(data.meanChannel1Exposure, images.green.exposure), green)))
        return false;
    if (levels.useChannel2 &&
        (images.red.file.empty() || !platform::FileExists(images.red.file) ||
         !Load(data, images.red.file, data.cropStartRow, data.cropEndRow,
               ExposureGain(data.meanChannel2Exposure, images.red.exposure), red)))
        return false;
    return ComposeFalseColourFrame(levels, brightField, green, red, picture);
}

bool ListVideoFrames(const ExperimentDataSet& data, std::vector<FrameChannelImages>& frames)
{
    frames.clear();
    if (data.logRows.empty() || data.frames.empty())
        return false;
    const auto start = std::find_if(data.logRows.begin(), data.logRows.end(), [&](const FrameRecord& row) {
        return row.brightFieldFile == data.frames.front().brightFieldFile;
    });
    if (start == data.logRows.end())
        return false;
    const int i = static_cast<int>(start - data.logRows.begin());
    const int last = static_cast<int>(data.logRows.size()) - 1;
    if (i < 10 || i == last)
        return false;

    const auto take = [&](const FrameRecord& row) {
        FrameChannelImages images;
        const std::array<std::pair<ChannelImage*, std::pair<const std::string*, double>>, 3> channels{{
            {&images.brightField, {&row.brightFieldFile, row.brightFieldExposure}},
            {&images.green, {&row.channel1File, row.channel1Exposure}},
            {&images.red, {&row.channel2File, row.channel2Exposure}},
        }};
        for (const auto& [image, source] : channels) {
            if (source.first->empty())
                continue;
            image->file = ResolveExperimentImagePath(data.directory, *source.first);
            image->exposure = source.second;
        }
        frames.push_back(images);
    };
    const int count = std::min(i - 3, 100);
    for (int j = 3; j < count; ++j) {
        const int k = static_cast<int>(static_cast<double>(j) * (i - 4) / (count - 1) + 0.5);
        take(data.logRows[static_cast<size_t>(k)]);
    }
    for (int k = i; k <= last; ++k)
        take(data.logRows[static_cast<size_t>(k)]);
    return true;
}
