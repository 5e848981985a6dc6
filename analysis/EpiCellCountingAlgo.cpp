#include "analysis/EpiCellCountingAlgo.h"

#include "analysis/BackgroundMap.h"
#include "analysis/ImageStatistics.h"
#include "analysis/Rounding.h"
#include "platform/CString.h"
#include "platform/Files.h"
#include "support/Profile.h"
#include "support/Sha256.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr char kSection[] = "EpiCellCountingAlgoDlg";
constexpr char kName[] = "EpiCellCountingAlgo";

std::string ReadValue(const char* key, int size, const std::string& file)
{
    char buffer[32] = "";
    if (!Tovanix::E_GetPrivateProfileString(kSection, key, "", buffer, size, file.c_str()))
        return {};
    return buffer;
}

float ReadFloat(const char* key, float fallback, const std::string& file)
{
    float value = 0.0f;
    return std::sscanf(ReadValue(key, 31, file).c_str(), "%f", &value) == 1 ? value : fallback;
}

int32_t ReadInt(const char* key, int32_t fallback, const std::string& file)
{
    const std::string text = ReadValue(key, 31, file);
    char* end = nullptr;
    const long long parsed = std::strtoll(text.c_str(), &end, 10);
    if (end == text.c_str())
        return fallback;
    return static_cast<int32_t>(std::clamp<long long>(parsed, INT32_MIN, INT32_MAX));
}

std::string FormatFloat(float value)
{
    char buffer[16] = "";
    Tovanix::FormatNumber(static_cast<double>(value), buffer);
    return buffer;
}

std::string ResolveFile(const char* path)
{
    const std::string native = platform::NativePath(path ? path : "");
    const std::string found = platform::FindFileIgnoringCase(native);
    return found.empty() ? native : found;
}

void Fail(Tovanix::String& error, const char* reason)
{
    error = kName;
    error.Append(reason);
}

}  // namespace

bool EpiCellCountingAlgoParams::LoadFromFile(const char* path)
{
    const std::string file = ResolveFile(path);
    const std::string flag = ReadValue("UseBgImageIfAvail", 9, file);
    UseBgImageIfAvail = Tovanix::String::CompareNoCase(flag.c_str(), "FALSE") != 0;
    DarkPct0 = ReadFloat("DarkPct0", 0.002f, file);
    DarkPct1 = ReadFloat("DarkPct1", 0.01f, file);
    MinPixelCount = ReadInt("MinPixelCount", 60, file);
    MinSize = ReadInt("MinSize", 20, file);
    MaxRatio = ReadFloat("MaxRatio", 0.35f, file);
    Left = ReadInt("Left", 100, file);
    Right = ReadInt("Right", 1000, file);
    Top = ReadInt("Top", 100, file);
    Bottom = ReadInt("Bottom", 1000, file);
    ComputeDigest(digest.data());
    return true;
}

bool EpiCellCountingAlgoParams::SaveToFile(const char* path)
{
    const std::string file = ResolveFile(path);
    const std::pair<const char*, std::string> values[] = {
        {"UseBgImageIfAvail", UseBgImageIfAvail ? "TRUE" : "FALSE"},
        {"DarkPct0", FormatFloat(DarkPct0)},
        {"DarkPct1", FormatFloat(DarkPct1)},
        {"MinPixelCount", std::to_string(MinPixelCount)},
        {"MinSize", std::to_string(MinSize)},
        {"MaxRatio", FormatFloat(MaxRatio)},
        {"Left", std::to_string(Left)},
        {"Right", std::to_string(Right)},
        {"Top", std::to_string(Top)},
        {"Bottom", std::to_string(Bottom)},
    };
    bool written = true;
    for (const auto& [key, value] : values)
        written = Tovanix::E_WritePrivateProfileString(kSection, key, value.c_str(), file.c_str()) && written;
    ComputeDigest(digest.data());
    return written;
}

void EpiCellCountingAlgoParams::ComputeDigest(uint8_t out[32]) const
{
    uint8_t message[37];
    size_t at = 0;
    auto put = [&](const void* value, size_t size) {
        std::memcpy(message + at, value, size);  // the program runs little-endian only
        at += size;
    };
    const uint8_t flag = UseBgImageIfAvail ? 1 : 0;
    put(&flag, 1);
    put(&DarkPct0, 4);
    put(&DarkPct1, 4);
    put(&MinPixelCount, 4);
    put(&MinSize, 4);
    put(&MaxRatio, 4);
    put(&Left, 4);
    put(&Top, 4);
    put(&Right, 4);
    put(&Bottom, 4);
    Tovanix::Sha256Context context;
    Tovanix::Sha256Init(&context);
    Tovanix::Sha256Update(&context, message, sizeof message);
    Tovanix::Sha256Final(&context, out);
}

bool EpiCellCountingAlgoParams::Validate(Tovanix::String& error) const
{
    error = "";
    if (!(DarkPct0 >= 0.0001f && DarkPct0 <= 0.5f))
        error.Append("Dark percentile threshold 0 must be a floating point number between 0.0001 and 0.5\n");
    if (!(DarkPct1 >= 0.0005f && DarkPct1 <= 0.5f))
        error.Append("Dark percentile threshold 1 must be a floating point number between 0.0005 and 0.5\n");
    if (DarkPct1 <= DarkPct0)
        error.Append("Dark percentile threshold 0 must be less than dark percentile threshold 1\n");
    if (MinPixelCount < 10 || MinPixelCount > 1000)
        error.Append("Min pixel count must be an integer between 10 and 1000\n");
    if (MinSize < 5 || MinSize > 150)
        error.Append("Min pixel size must be an integer between 5 and 150\n");
    if (!(MaxRatio >= 0.05f && MaxRatio <= 0.5f))
        error.Append("Max ratio between 0.05 and 0.5\n");
    if (int64_t{Right} - Left + 1 < 50)
        error.Append("Region of interest must be at lest 50 pixels wide\n");
    if (int64_t{Bottom} - Top + 1 < 50)
        error.Append("Region of interest must be at least 50 pixels high\n");
    if (Left < 0 || Right > 10000 || Top < 0 || Bottom > 10000)
        error.Append("Invalid region of interest\n");
    return !error.HasText();
}

bool EpiCellCountingAlgoParams::AppendDescription(CStringArray& lines) const
{
    if (!enabled) {
        lines.Add("# ******** EpiCellCountingAlgo is not enabled ********");
        return true;
    }
    lines.Add("# ******** EpiCellCountingAlgo params ********");
    lines.Add(CString::Formatted("#roi.left=%d", Left));
    lines.Add(CString::Formatted("#roi.right=%d", Right));
    lines.Add(CString::Formatted("#roi.top=%d", Top));
    lines.Add(CString::Formatted("#roi.bottom=%d", Bottom));
    lines.Add(CString::Formatted("#UseBgImageIfAvail=%s", UseBgImageIfAvail ? "true" : "false"));
    lines.Add(CString::Formatted("DarkPct0=%f", static_cast<double>(DarkPct0)));
    lines.Add(CString::Formatted("DarkPct1=%f", static_cast<double>(DarkPct1)));
    lines.Add(CString::Formatted("MinPixelCount=%d", MinPixelCount));
    lines.Add(CString::Formatted("MinSize=%d", MinSize));
    lines.Add(CString::Formatted("MaxRatio=%f", static_cast<double>(MaxRatio)));
    return true;
}

bool EpiCellCountingAlgo(const cv::Mat& image, const EpiCellCountingAlgoParams& params,
                         std::vector<CellDetection>& detections, Tovanix::String& error, cv::Mat* overlay,
                         const cv::Mat* background)
{
    if (!params.Validate(error))
        return false;
    if (image.empty()) {
        Fail(error, "() - image has no data.");
        return false;
    }
    if (image.type() != CV_16UC1) {
        Fail(error, "() - image must be type CV_16UC1");
        return false;
    }
    if (image.cols < 100 || image.rows < 100) {
        Fail(error, "() - image size must be at least 100 x 100");
        return false;
    }
    const int64_t width = int64_t{params.Right} - params.Left + 1;
    const int64_t height = int64_t{params.Bottom} - params.Top + 1;
    // The region must also lie inside the image: nothing past an edge is read.
    if (width <= 20 || height <= 20 || width >= image.cols || height >= image.rows || params.Left < 0 ||
        params.Top < 0 || params.Right >= image.cols || params.Bottom >= image.rows) {
        Fail(error, "() - invalid region of interest.");
        return false;
    }
    const Tovanix::Roi roi{params.Left, params.Top, params.Right, params.Bottom};

    cv::Mat corrected;
    const cv::Mat* work = &image;
    if (background) {
        corrected = image.clone();
        // A region narrower than four objects still gets one cell of background.
        const int columns = std::max(1, static_cast<int>(width / (4 * int64_t{params.MinSize})));
        const int rows = std::max(1, static_cast<int>(height / (4 * int64_t{params.MinSize})));
        Tovanix::BackgroundMap map;
        if (!Tovanix::ConstructBackgroundMap(*background, roi, map, error, columns, rows) ||
            !Tovanix::CreateBGCorrectedImage(image, map, corrected, error))
            return false;
        work = &corrected;
    }

    std::vector<uint16_t> thresholds;
    if (!Tovanix::ComputePercentileIntensities(*work, roi, {params.DarkPct0, params.DarkPct1}, thresholds, error) ||
        thresholds.size() < 2)
        return false;
    const uint16_t t0 = thresholds[0], t1 = thresholds[1];

    if (overlay && (overlay->type() != CV_8UC1 || overlay->size() != image.size()))
        *overlay = cv::Mat::zeros(image.size(), CV_8UC1);
    if (overlay && (params.showThreshold0Pixels || params.showThreshold1Pixels)) {
        for (int y = params.Top; y <= params.Bottom; ++y) {
            const uint16_t* in = work->ptr<uint16_t>(y);
            uint8_t* codes = overlay->ptr<uint8_t>(y);
            for (int x = params.Left; x <= params.Right; ++x) {
                if (in[x] > t1)
                    continue;
                if (in[x] > t0 && params.showThreshold1Pixels)
                    codes[x] = kEpiCodeThreshold1;
                else
                    codes[x] = params.showThreshold0Pixels ? kEpiCodeThreshold0 : kEpiCodeThreshold1;
            }
        }
    }

    cv::Mat mask;
    const bool wantMask = params.showFoundObjectPixels;
    std::vector<Tovanix::DarkIsland> islands;
    if (!Tovanix::FindDarkIslands(*work, roi, t0, t1, islands, error, wantMask ? &mask : nullptr))
        return false;
    if (wantMask && overlay && !mask.empty()) {
        for (int y = params.Top; y <= params.Bottom; ++y) {
            const uint8_t* marks = mask.ptr<uint8_t>(y);
            uint8_t* codes = overlay->ptr<uint8_t>(y);
            for (int x = params.Left; x <= params.Right; ++x)
                if (marks[x] != 0)
                    codes[x] = kEpiCodeFoundObject;
        }
    }

    for (const Tovanix::DarkIsland& island : islands) {
        const uint32_t count = island.pixelCount;
        const int32_t side = std::max(island.maxX - island.minX, island.maxY - island.minY) + 1;
        if (count < static_cast<uint32_t>(std::max(params.MinPixelCount, 0)) || side < params.MinSize)
            continue;
        if (static_cast<float>(count) / static_cast<float>(side * side) > params.MaxRatio)
            continue;
        CellDetection cell;
        cell.x = RoundToInt32(island.centroidX);
        cell.y = RoundToInt32(island.centroidY);
        cell.radius = static_cast<float>(side) / 3.0f;
        detections.push_back(cell);
    }
    return true;
}
