#include "tools/EpiCountingTool.h"

#include <strings.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "analysis/BGImages.h"
#include "imaging/ImageDoc.h"
#include "platform/Files.h"
#include "support/String.h"
#include "tools/ToolFrame.h"

namespace {

std::string Printf(const char* format, double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

bool ReadFloat(const std::string& text, float* value) {
    float parsed = 0;
    if (std::sscanf(text.c_str(), "%f", &parsed) != 1) return false;
    *value = parsed;
    return true;
}

bool ReadInt(const std::string& text, int32_t* value) {
    int parsed = 0;
    if (std::sscanf(text.c_str(), "%d", &parsed) != 1) return false;
    *value = parsed;
    return true;
}

std::string FolderOf(const std::string& path) {
    const size_t separator = path.find_last_of("\\/");
    return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

std::string NameOf(const std::string& path) {
    const size_t separator = path.find_last_of("\\/");
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

}  // namespace

bool GetEpiParamSetPath(const std::string& name, std::string* path, std::string* error) {
    bool valid = name.size() <= 256;
    for (size_t i = 0; valid && i < name.size(); ++i) valid = Tovanix::IsValidFileNameChar(&name[i]);
    if (!valid) {
        *error = "EpiCountingAlgoDlg - Drop down box must have a valid file name: " + name;
        return false;
    }
    const std::string folder = LibFolder();
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (!platform::DirectoryExists(folder)) {
        *error = "EpiCountingAlgoDlg - Can't create directory: " + folder;
        return false;
    }
    *path = ParamSetPath(name, kEpiCountingExtension);
    return true;
}

EpiControlTexts EpiParamsToControls(const EpiCellCountingAlgoParams& params) {
    EpiControlTexts texts;
    texts.darkPct0 = Printf("%6.4f", params.DarkPct0);
    texts.darkPct1 = Printf("%6.4f", params.DarkPct1);
    texts.minPixelCount = std::to_string(params.MinPixelCount);
    texts.minSize = std::to_string(params.MinSize);
    texts.maxRatio = Printf("%5.3f", params.MaxRatio);
    texts.left = std::to_string(params.Left);
    texts.top = std::to_string(params.Top);
    texts.right = std::to_string(params.Right);
    texts.bottom = std::to_string(params.Bottom);
    texts.useBgImageIfAvail = params.UseBgImageIfAvail;
    return texts;
}

void EpiControlsToParams(const EpiControlTexts& texts, EpiCellCountingAlgoParams& params) {
    if (!ReadFloat(texts.darkPct0, &params.DarkPct0)) params.DarkPct0 = 0.002f;
    if (!ReadFloat(texts.darkPct1, &params.DarkPct1)) params.DarkPct1 = 0.01f;
    if (!ReadInt(texts.minPixelCount, &params.MinPixelCount)) params.MinPixelCount = 60;
    if (!ReadInt(texts.minSize, &params.MinSize)) params.MinSize = 20;
    if (!ReadFloat(texts.maxRatio, &params.MaxRatio)) params.MaxRatio = 0.25f;
    if (!ReadInt(texts.left, &params.Left)) params.Left = 100;
    if (!ReadInt(texts.top, &params.Top)) params.Top = 100;
    if (!ReadInt(texts.right, &params.Right)) params.Right = 1000;
    if (!ReadInt(texts.bottom, &params.Bottom)) params.Bottom = 1000;
    params.UseBgImageIfAvail = texts.useBgImageIfAvail;
}

bool EpiParamsChanged(const EpiCellCountingAlgoParams& params) {
    uint8_t now[32];
    params.ComputeDigest(now);
    return !std::equal(std::begin(now), std::end(now), params.digest.begin());
}

void PublishEpiRegion(const EpiControlTexts& texts, ROIRect& region) {
    ReadInt(texts.left, &region.left);
    ReadInt(texts.top, &region.top);
    ReadInt(texts.right, &region.right);
    ReadInt(texts.bottom, &region.bottom);
}

bool SaveEpiParamSet(const std::string& name, EpiCellCountingAlgoParams& params, std::string* error) {
    std::string path;
    if (!GetEpiParamSetPath(name, &path, error)) return false;
    // The set holds only what is written now: an existing file is emptied.
    const bool existed = platform::FileExists(path);
    if (FILE* probe = std::fopen(path.c_str(), existed ? "w+b" : "wb")) {
        std::fclose(probe);
        if (!existed) std::remove(path.c_str());
    } else {
        *error = "Can't write to file: " + path;
        return false;
    }
    if (!params.SaveToFile(path.c_str())) {
        *error = "Can't write to file: " + path;
        return false;
    }
    return true;
}

bool RunEpiCountingOnDocument(CImageDoc& document, const EpiCellCountingAlgoParams& params, EpiRunResult& result,
                              std::string* error) {
    error->clear();
    CString reloadError;
    if (!document.ReloadFromFile(reloadError)) {
        *error = reloadError.str();
        return false;
    }
    Tovanix::String problems;
    if (!params.Validate(problems)) {
        *error = problems.c_str();
        return false;
    }
    if (g_pActiveROI == nullptr) {
        *error = "Must have a valid ROI";
        return false;
    }
    if (!document.m_pImage || document.m_pImage->empty()) {
        *error = "No valid image loaded";
        return false;
    }

    // The background of the image's type, when there is one.
    cv::Mat background;
    const std::string imagePath = document.GetPathName().str();
    if (params.UseBgImageIfAvail) {
        std::vector<cv::Mat> images;
        std::vector<Tovanix::String> typeNames;
        Tovanix::String bgError;
        Tovanix::String typeName;
        if (LoadBGImages(FolderOf(imagePath).c_str(), images, typeNames, bgError) &&
            GetImageTypeNameFromFileName(NameOf(imagePath).c_str(), typeName)) {
            for (size_t i = 0; i < typeNames.size(); ++i) {
                if (strcasecmp(typeNames[i].c_str(), typeName.c_str()) == 0) background = images[i];
            }
        }
    }

    const bool debug = params.showThreshold0Pixels || params.showThreshold1Pixels || params.showFoundObjectPixels;
    cv::Mat debugImage;
    if (debug) debugImage = cv::Mat::zeros(document.m_pImage->size(), CV_8UC1);
    std::vector<CellDetection> detections;
    Tovanix::String algoError;
    if (!EpiCellCountingAlgo(*document.m_pImage, params, detections, algoError, debug ? &debugImage : nullptr,
                             background.empty() ? nullptr : &background)) {
        *error = algoError.c_str();
        return false;
    }
    result.detections = std::move(detections);
    result.debugImage = debugImage;
    return true;
}
