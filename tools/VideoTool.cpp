#include "tools/VideoTool.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

namespace {

bool EndsWithPng(const std::string& name) {
    if (name.size() < 4) return false;
    std::string tail = name.substr(name.size() - 4);
    std::transform(tail.begin(), tail.end(), tail.begin(), [](unsigned char c) { return std::tolower(c); });
    return tail == ".png";
}

bool EqualNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

// Writes the frame count into the tool's status line.
class StatusProgress : public Tovanix::ProgressWindow {
public:
    explicit StatusProgress(const ToolWorkerContext& context) : m_context(context) {}
    void SetText(const std::string& text) override { m_context.SetStatus(text); }

private:
    const ToolWorkerContext& m_context;
};

std::vector<Tovanix::String> ToStrings(const std::vector<std::string>& names) {
    std::vector<Tovanix::String> strings;
    for (const std::string& name : names) strings.emplace_back(name.c_str());
    return strings;
}

}  // namespace

ToolSettings MakeVideoSettings() {
    return ToolSettings("VideoDlg", {{"Directory", ""},     {"Filter", "*.png"}, {"VideoFile", ""},
                                     {"fps", "3"},          {"Monochrome", ""},  {"Brightfield", ""},
                                     {"Red", ""},           {"Green", ""},       {"Blue", ""},
                                     {"Range0", ""},        {"Range1", ""},      {"Range2", ""},
                                     {"Range3", ""},        {"TrimToCustomerView", ""}});
}

bool ParseFramesPerSecond(const std::string& text, double* fps) {
    double value = 0;
    if (std::sscanf(text.c_str(), "%lf", &value) != 1) return false;
    if (!(value >= 1.0 && value <= 30.0)) return false;
    *fps = value;
    return true;
}

bool FindImageTypeField(const std::string& name, size_t* begin, size_t* end) {
    if (!EndsWithPng(name)) return false;
    // Fields after the type: the counter, or three positions and the counter.
    const int after = name.find("_Pos") != std::string::npos ? 4 : 1;
    size_t last = name.size();
    for (int i = 0; i < after; ++i) {
        if (last == 0) return false;
        last = name.rfind('_', last - 1);
        if (last == std::string::npos) return false;
    }
    if (last == 0) return false;
    const size_t previous = name.rfind('_', last - 1);
    if (previous == std::string::npos) return false;
    *begin = previous + 1;
    *end = last;
    return true;
}

std::vector<std::string> CollectImageTypeNames(const std::vector<std::string>& fileNames) {
    std::vector<std::string> types;
    for (const std::string& name : fileNames) {
        if (types.size() >= 4) break;
        size_t begin = 0, end = 0;
        if (!FindImageTypeField(name, &begin, &end)) continue;
        const std::string type = name.substr(begin, end - begin);
        const auto at = std::lower_bound(types.begin(), types.end(), type);
        if (at == types.end() || *at != type) types.insert(at, type);
    }
    return types;
}

std::vector<std::string> CollectChannelFiles(const std::string& type, const std::vector<std::string>& selected) {
    std::vector<std::string> files;
    if (type.empty()) return files;
    for (const std::string& name : selected) {
        std::string file = name;
        size_t begin = 0, end = 0;
        if (FindImageTypeField(name, &begin, &end) && !EqualNoCase(name.substr(begin, end - begin), type))
            file = name.substr(0, begin) + type + name.substr(end);
        if (std::find(files.begin(), files.end(), file) == files.end()) files.push_back(file);
    }
    return files;
}

std::string ResolveVideoPath(const std::string& videoText, const std::string& folder) {
    const bool absolute = !videoText.empty() && (videoText[0] == '\\' || videoText[0] == '/' ||
                                                 (videoText.size() > 2 && std::isalpha(static_cast<unsigned char>(videoText[0])) &&
                                                  videoText[1] == ':' && (videoText[2] == '\\' || videoText[2] == '/')));
    std::string path = videoText;
    if (!absolute) {
        const size_t separator = videoText.find_last_of("\\/");
        path = JoinToolFolder(folder, separator == std::string::npos ? videoText : videoText.substr(separator + 1));
    }
    const size_t separator = path.find_last_of("\\/");
    const size_t dot = path.rfind('.');
    if (dot != std::string::npos && (separator == std::string::npos || dot > separator)) path.erase(dot);
    return path + ".mp4";
}

bool ReadRangeText(const std::string& text, long* low, long* high) {
    return std::sscanf(text.c_str(), "%ld:%ld", low, high) == 2;
}

Tovanix::IntensityRange RangeFromText(const std::string& text) {
    long low = 0, high = 65535;
    if (!ReadRangeText(text, &low, &high)) return {};
    Tovanix::IntensityRange range;
    range.low = static_cast<int32_t>(std::clamp(low, 0L, 65535L));
    range.high = static_cast<int32_t>(std::clamp(high, 0L, 65535L));
    return range;
}

std::string RunCreateVideo(const VideoRequest& request, const ToolWorkerContext& context) {
    StatusProgress progress(context);
    Tovanix::String error;
    bool written = false;
    if (request.monochrome) {
        const Tovanix::IntensityRange range = RangeFromText(request.rangeTexts[0]);
        written = Tovanix::CreateVideo(request.path, request.folder, ToStrings(request.channels[0]), request.fps,
                                       &progress, context.stop, &error, range.low, range.high);
    } else {
        Tovanix::CompositeRanges ranges;
        for (size_t c = 0; c < 4; ++c) ranges[c] = RangeFromText(request.rangeTexts[c]);
        written = Tovanix::CreateVideo4Chan(request.path, request.folder, ToStrings(request.channels[0]),
                                            ToStrings(request.channels[1]), ToStrings(request.channels[2]),
                                            ToStrings(request.channels[3]), request.fps, &progress, context.stop,
                                            &error, &ranges);
    }
    return written ? std::string() : std::string(error.c_str()).empty() ? "Video could not be written." : error.c_str();
}
