#include "analysis/VideoWriters.h"

#include "platform/Files.h"
#include "platform/UiBridge.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

namespace Tovanix {

namespace {

constexpr const char* kCreateVideo = "Tovanix::CreateVideo";
constexpr const char* kCreateVideo4Chan = "Tovanix::CreateVideo4Chan";
constexpr const char* kAssignComposite = "Tovanix::assign_composite_intensity";

bool Fail(String* error, const char* operation, int number, const std::string& reason)
{
    if (error)
        *error = (std::string(operation) + "(" + std::to_string(number) + ") : " + reason).c_str();
    return false;
}

// The writer could not start: name the codec and the file, since the usual
// cause is a video library without that encoder.
std::string WriterReason(const char* fourcc, const std::string& path)
{
    return std::string("Can't open VideoWriter object.") + " (codec " + fourcc + ", file " + path +
           "; the video library may lack this encoder)";
}

std::string ImagePath(const std::string& directory, const String& name)
{
    String trimmed(directory.c_str());
    trimmed.Trim();
    if (!trimmed.HasText())
        return name.c_str();
    return platform::JoinPath(trimmed.c_str(), name.c_str());
}

bool StopRequested(const std::atomic<bool>* stop) { return stop && stop->load(); }

void ShowProgress(ProgressWindow* progress, const std::string& text)
{
    if (progress)
        platform::RunOnUiThread([progress, &text] { progress->SetText(text); });
}

std::string Progress(size_t i, size_t count)
{
    char text[48];
    std::snprintf(text, sizeof text, "%ld of %ld", static_cast<long>(i), static_cast<long>(count));
    return text;
}

cv::VideoWriter OpenWriter(const std::string& path, const char* fourcc, double fps, cv::Size size)
{
    cv::VideoWriter writer;
    try {
        writer.open(path, cv::VideoWriter::fourcc(fourcc[0], fourcc[1], fourcc[2], fourcc[3]), fps, size, true);
    } catch (const cv::Exception&) {
        writer.release();
    }
    return writer;
}

// One series' mapping of 16-bit values to 8 bits, as a table.
std::vector<uint8_t> EightBitTable(const IntensityRange* range)
{
    std::vector<uint8_t> table(65536);
    for (int k = 0; k < 65536; ++k) {
        if (!range) {
            table[static_cast<size_t>(k)] = static_cast<uint8_t>(k >> 8);
        } else if (range->high <= range->low) {
            // No span to stretch over: a step at the high level.
            table[static_cast<size_t>(k)] = k >= range->high ? 255 : 0;
        } else {
            const float e = static_cast<float>(std::max(0, k - range->low)) * 65536.0f /
                            static_cast<float>(range->high - range->low);
            table[static_cast<size_t>(k)] =
                e > 65535.0f ? 255 : static_cast<uint8_t>(static_cast<int>(std::roundf(e)) >> 8);
        }
    }
    return table;
}

// A captured image as 16-bit single-channel; 8-bit files are widened.
cv::Mat ReadSixteenBit(const std::string& path)
{
    cv::Mat image = cv::imread(path, cv::IMREAD_ANYDEPTH | cv::IMREAD_GRAYSCALE);
    if (image.depth() == CV_8U)
        image.convertTo(image, CV_16U, 257.0);
    else if (!image.empty() && image.depth() != CV_16U)
        image.convertTo(image, CV_16U);
    return image;
}

// A frame of CreateVideo: as read, or stretched to the range first.
cv::Mat ReadVideoFrame(const std::string& path, int low, int high)
{
    if (low != 0 || high != 65535) {
        cv::Mat wide = cv::imread(path, cv::IMREAD_ANYDEPTH | cv::IMREAD_GRAYSCALE);
        if (!wide.empty() && wide.depth() == CV_16U) {
            StretchIntensities(wide, static_cast<uint16_t>(std::clamp(low, 0, 65535)),
                               static_cast<uint16_t>(std::clamp(high, 0, 65535)));
            cv::Mat narrow, colour;
            wide.convertTo(narrow, CV_8U, 1.0 / 256.0);
            cv::cvtColor(narrow, colour, cv::COLOR_GRAY2BGR);
            return colour;
        }
    }
    return cv::imread(path, cv::IMREAD_COLOR);
}

}  // namespace

bool StretchIntensities(cv::Mat& image, uint16_t low, uint16_t high)
{
    if (high <= low || image.type() != CV_16UC1)
        return false;
    const float scale = 65536.0f / static_cast<float>(high - low);
    for (int y = 0; y < image.rows; ++y) {
        uint16_t* row = image.ptr<uint16_t>(y);
        for (int x = 0; x < image.cols; ++x) {
            const float v = static_cast<float>(std::max(0, row[x] - low)) * scale;
            row[x] = static_cast<uint16_t>(std::roundf(std::min(65535.0f, v)));
        }
    }
    return true;
}

bool CreateVideo(const std::string& outputPath, const std::string& imageDirectory,
                 const std::vector<String>& imageNames, double framesPerSecond, ProgressWindow* progress,
                 const std::atomic<bool>* stop, String* error, int low, int high)
{
    // An old file of that name goes first, so a failed run leaves none.
    if (FILE* probe = std::fopen(outputPath.c_str(), "wb")) {
        std::fclose(probe);
        std::error_code ec;
        std::filesystem::remove(outputPath, ec);
    } else {
        return Fail(error, kCreateVideo, 119, "unable to create file: " + outputPath);
    }
    if (imageNames.empty())
        return Fail(error, kCreateVideo, 128, "image_names must have one or more images.");

    std::string path = ImagePath(imageDirectory, imageNames[0]);
    if (!platform::FileExists(path))
        return Fail(error, kCreateVideo, 139, "image file does not exist: " + path);
    cv::Mat frame = ReadVideoFrame(path, low, high);
    if (frame.empty())
        return Fail(error, kCreateVideo, 146, "Can't open image: " + path);

    cv::VideoWriter writer = OpenWriter(outputPath, "XVID", framesPerSecond, frame.size());
    if (!writer.isOpened())
        return Fail(error, kCreateVideo, 161, WriterReason("XVID", outputPath));
    writer.write(frame);

    const size_t count = imageNames.size();
    for (size_t i = 1; i < count; ++i) {
        if (StopRequested(stop))
            break;
        ShowProgress(progress, Progress(i, count));
        path = ImagePath(imageDirectory, imageNames[i]);
        if (!platform::FileExists(path))
            return Fail(error, kCreateVideo, 188, "image file does not exist: " + path);
        frame = ReadVideoFrame(path, low, high);
        if (frame.empty())
            return Fail(error, kCreateVideo, 196, "Can't open image: " + path);
        writer.write(frame);
    }
    ShowProgress(progress, "");
    return true;
}

bool assign_composite_intensity(const std::string& imageDirectory, const std::vector<String>& brightField,
                                const std::vector<String>& channel2, const std::vector<String>& channel3,
                                const std::vector<String>& channel4, int index, cv::Mat& frame, String* error,
                                const CompositeRanges* ranges)
{
    if (index < 0 || static_cast<size_t>(index) >= brightField.size())
        return Fail(error, kAssignComposite, 254, "Internal error #1");
    const size_t i = static_cast<size_t>(index);

    std::string path = ImagePath(imageDirectory, brightField[i]);
    if (!platform::FileExists(path))
        return Fail(error, kAssignComposite, 263, "Image does not exist: " + path);
    const cv::Mat base = ReadSixteenBit(path);
    if (base.empty())
        return Fail(error, kAssignComposite, 271, "Can't read image: " + path);
    if (base.size() != frame.size() || frame.type() != CV_8UC3)
        return Fail(error, kAssignComposite, 277, "Image has unexpected size: " + path);

    const std::vector<uint8_t> baseTable = EightBitTable(ranges ? &(*ranges)[0] : nullptr);
    for (int y = 0; y < frame.rows; ++y) {
        const uint16_t* in = base.ptr<uint16_t>(y);
        cv::Vec3b* out = frame.ptr<cv::Vec3b>(y);
        for (int x = 0; x < frame.cols; ++x) {
            const uint8_t v = static_cast<uint8_t>(baseTable[in[x]] / 2);
            out[x] = cv::Vec3b(v, v, v);
        }
    }

    struct Tint {
        const std::vector<String>* series;
        int byte;  // in blue-green-red order
        int readNumber;
        int sizeNumber;
    };
    const Tint tints[] = {{&channel2, 2, 323, 329}, {&channel3, 1, 362, 368}, {&channel4, 0, 400, 406}};
    for (size_t t = 0; t < 3; ++t) {
        const Tint& tint = tints[t];
        if (i >= tint.series->size())
            continue;
        path = ImagePath(imageDirectory, (*tint.series)[i]);
        if (!platform::FileExists(path))
            continue;
        const cv::Mat channel = ReadSixteenBit(path);
        if (channel.empty())
            return Fail(error, kAssignComposite, tint.readNumber, "Can't read image: " + path);
        if (channel.size() != frame.size())
            return Fail(error, kAssignComposite, tint.sizeNumber, "Image has unexpected size: " + path);
        const std::vector<uint8_t> table = EightBitTable(ranges ? &(*ranges)[t + 1] : nullptr);
        for (int y = 0; y < frame.rows; ++y) {
            const uint16_t* in = channel.ptr<uint16_t>(y);
            cv::Vec3b* out = frame.ptr<cv::Vec3b>(y);
            for (int x = 0; x < frame.cols; ++x)
                out[x][tint.byte] = static_cast<uint8_t>(out[x][tint.byte] + table[in[x]] / 2);
        }
    }
    return true;
}

bool CreateVideo4Chan(const std::string& outputPath, const std::string& imageDirectory,
                      const std::vector<String>& brightField, const std::vector<String>& channel2,
                      const std::vector<String>& channel3, const std::vector<String>& channel4,
                      double framesPerSecond, ProgressWindow* progress, const std::atomic<bool>* stop,
                      String* error, const CompositeRanges* ranges)
{
    if (brightField.empty())
        return Fail(error, kCreateVideo4Chan, 433, "brightfield_fnames must have one or more images.");
    const std::string path = ImagePath(imageDirectory, brightField[0]);
    if (!platform::FileExists(path))
        return Fail(error, kCreateVideo4Chan, 444, "image file does not exist: " + path);
    const cv::Mat first = cv::imread(path, cv::IMREAD_COLOR);
    if (first.empty())
        return Fail(error, kCreateVideo4Chan, 451, "Can't open image: " + path);

    cv::Mat frame(first.size(), CV_8UC3, cv::Scalar::all(0));
    if (!assign_composite_intensity(imageDirectory, brightField, channel2, channel3, channel4, 0, frame, error,
                                    ranges))
        return false;
    cv::VideoWriter writer = OpenWriter(outputPath, "MJPG", framesPerSecond, frame.size());
    if (!writer.isOpened())
        return Fail(error, kCreateVideo4Chan, 464, WriterReason("MJPG", outputPath));
    writer.write(frame);

    const size_t count = brightField.size();
    for (size_t i = 1; i < count; ++i) {
        if (StopRequested(stop))
            break;
        ShowProgress(progress, Progress(i, count));
        if (!assign_composite_intensity(imageDirectory, brightField, channel2, channel3, channel4,
                                        static_cast<int>(i), frame, error, ranges))
            return false;
        writer.write(frame);
    }
    ShowProgress(progress, "");
    return true;
}

}  // namespace Tovanix
