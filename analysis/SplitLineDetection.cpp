#include "analysis/SplitLineDetection.h"

#include "analysis/AnalysisStepGuard.h"
#include "analysis/ChannelGeometry.h"
#include "analysis/ExperimentFolder.h"
#include "support/AppLogs.h"
#include "support/Profile.h"
#include "support/String.h"

#include <opencv2/imgcodecs.hpp>

#include <cinttypes>
#include <cstdio>

namespace {

const char* kSection = "Cartridge";
const char* kOffsetKey = "CartridgeChannelDetectedOffset";
const char* kRotationKey = "CartridgeChannelDetectedRotation";
const char* kCentreXKey = "CartridgeChannelDetectedRotationCenterX";
const char* kCentreYKey = "CartridgeChannelDetectedRotationCenterY";

template <typename T>
T ReadCached(const char* key, const char* format, const std::string& iniPath)
{
    char buffer[31] = "";
    T value = kSplitLineNotDetected;
    if (!Tovanix::E_GetPrivateProfileString(kSection, key, "", buffer, sizeof buffer, iniPath.c_str()) ||
        std::sscanf(buffer, format, &value) != 1)
        return kSplitLineNotDetected;
    return value;
}

bool WriteInt(const char* key, int32_t value, const std::string& iniPath)
{
    char text[16];
    std::snprintf(text, sizeof text, "%" PRId32, value);
    return Tovanix::E_WritePrivateProfileString(kSection, key, text, iniPath.c_str());
}

bool WriteDetected(const ExperimentDataSet& data, const std::string& iniPath)
{
    char rotation[64] = "";
    Tovanix::FormatNumber(data.detectedRotation, rotation);
    bool written = WriteInt(kOffsetKey, data.detectedOffset, iniPath);
    written = Tovanix::E_WritePrivateProfileString(kSection, kRotationKey, rotation, iniPath.c_str()) && written;
    written = WriteInt(kCentreXKey, static_cast<int32_t>(data.rotationCentreX), iniPath) && written;
    written = WriteInt(kCentreYKey, static_cast<int32_t>(data.rotationCentreY), iniPath) && written;
    return written;
}

bool Find(cv::Mat& image, ExperimentDataSet& data)
{
    return FindSplitLine(image, data.pixelsPerMm, data.upperChannelRow, data.lowerChannelRowEnd,
                         data.cartridgeCodePrefix, data.detectedOffset, data.detectedRotation, data.rotationCentreX,
                         data.rotationCentreY);
}

}  // namespace

bool DetectSplitLineFromLogs(ExperimentDataSet& data, const std::string& folder, const std::string& iniPath,
                             std::string* error)
{
    return RunGuardedStep(kDetectSplitLineFromLogsPrefix, error, [&] {
        const int offset = ReadCached<int>(kOffsetKey, "%d", iniPath);
        const double rotation = ReadCached<double>(kRotationKey, "%lf", iniPath);
        const int centreX = ReadCached<int>(kCentreXKey, "%d", iniPath);
        const int centreY = ReadCached<int>(kCentreYKey, "%d", iniPath);
        if (offset != kSplitLineNotDetected && rotation != kSplitLineNotDetected &&
            centreX != kSplitLineNotDetected && centreY != kSplitLineNotDetected) {
            data.detectedOffset = offset;
            data.detectedRotation = rotation;
            data.rotationCentreX = centreX;
            data.rotationCentreY = centreY;
            return true;
        }
        const std::string path = ResolveExperimentImagePath(folder, data.referenceFrame.brightFieldFile);
        cv::Mat image = cv::imread(path, cv::IMREAD_GRAYSCALE);
        // FindSplitLine writes the data set's fields only when it completes;
        // work on a copy so an error leaves them as they were.
        ExperimentDataSet found = data;
        const bool result = Find(image, found);
        data.detectedOffset = found.detectedOffset;
        data.detectedRotation = found.detectedRotation;
        data.rotationCentreX = found.rotationCentreX;
        data.rotationCentreY = found.rotationCentreY;
        if (result && !WriteDetected(data, iniPath))
            LogErrAndInfo(__FILE__, __LINE__, ("Detect split line: could not store the result in " + iniPath).c_str());
        return result;
    });
}

bool DetectSplitLine(ExperimentDataSet& data, const std::string& iniPath, const std::string& cartridge, cv::Mat image,
                     std::string* error)
{
    bool result = RunGuardedStep(kDetectSplitLinePrefix, error, [&] {
        if (!ReadExperimentSettings(data, iniPath, error))
            return false;
        if (image.depth() != CV_8U)
            image.convertTo(image, CV_8U, image.elemSize1() == 2 ? 1.0 / 256.0 : 1.0);
        data.cartridgeCodePrefix = cartridge.substr(0, 3);
        return Find(image, data);
    });
    if (!result) {
        data.detectedOffset = 0;
        data.detectedRotation = 0.0;
        data.rotationCentreX = 0.0;
        data.rotationCentreY = 0.0;
    }
    if (!WriteDetected(data, iniPath))
        LogErrAndInfo(__FILE__, __LINE__, ("Detect split line: could not store the result in " + iniPath).c_str());
    return result;
}
