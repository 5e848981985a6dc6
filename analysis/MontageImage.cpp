#include "analysis/MontageImage.h"

#include "analysis/AnalysisStepGuard.h"
#include "analysis/ChannelGeometry.h"
#include "analysis/ExperimentFolder.h"
#include "analysis/FalseColourFrames.h"
#include "platform/Files.h"
#include "support/AppLogs.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <numeric>
#include <stdexcept>
#include <vector>

MontageTiles g_MontageTiles;

namespace {

constexpr int kOverlap = 100;

class MontageBuilder {
public:
    MontageBuilder(const std::string& folder, const ExperimentDataSet& data, const ChannelDisplaySettings& settings)
        : m_folder(folder), m_data(data), m_settings(settings)
    {
        m_work.overlap = kOverlap;
    }

    cv::Mat& Load(cv::Mat& image, const std::string& file, int firstColumn, int endColumn, double gain)
    {
        return LoadAnalysisImage(image, ResolveExperimentImagePath(m_folder, file), firstColumn, endColumn,
                                 m_data.cropStartRow, m_data.cropEndRow, m_data.detectedOffset,
                                 m_data.detectedRotation, static_cast<int>(m_data.rotationCentreX),
                                 static_cast<int>(m_data.rotationCentreY), gain);
    }

    void LoadTiles(const FrameRecord& frame, int firstColumn, int endColumn)
    {
        Load(g_MontageTiles.brightField, frame.brightFieldFile, firstColumn, endColumn,
             ExposureGain(m_data.meanBrightFieldExposure, frame.brightFieldExposure));
        if (m_settings.useChannel1)
            Load(g_MontageTiles.channel1, frame.channel1File, firstColumn, endColumn,
                 ExposureGain(m_data.meanChannel1Exposure, frame.channel1Exposure));
        if (m_settings.useChannel2)
            Load(g_MontageTiles.channel2, frame.channel2File, firstColumn, endColumn,
                 ExposureGain(m_data.meanChannel2Exposure, frame.channel2Exposure));
        m_lastFile = frame.brightFieldFile;
    }

    // The reference frame's illumination profile across the given columns.
    void FitReferenceProfile(int firstColumn, int endColumn)
    {
        cv::Mat reference;
        Load(reference, m_data.referenceFrame.brightFieldFile, firstColumn, endColumn,
             ExposureGain(m_data.meanBrightFieldExposure, m_data.referenceFrame.brightFieldExposure));
        if (reference.empty())
            throw std::runtime_error("the reference frame cannot be read: " + m_data.referenceFrame.brightFieldFile);
        const std::vector<double> means = ComputeColumnMeanProfile(reference);
        std::vector<double> columns(means.size());
        std::iota(columns.begin(), columns.end(), 0.0);
        std::vector<double> fitted;
        FitQuadraticProfile(m_work, fitted, means, columns);
        m_work.reference = fitted.empty() ? 0.0 : *std::max_element(fitted.begin(), fitted.end());
    }

    void FlattenTiles()
    {
        const auto flatten = [&](cv::Mat& tile) {
            cv::Mat flat;
            NormaliseColumnsByProfile(m_work.reference, flat, std::vector<double>(m_work.fitted), tile);
            tile = flat;
        };
        flatten(g_MontageTiles.brightField);
        if (m_settings.useChannel1)
            flatten(g_MontageTiles.channel1);
        if (m_settings.useChannel2)
            flatten(g_MontageTiles.channel2);
    }

    void KeepColumns(int endColumn)
    {
        const auto keep = [&](cv::Mat& tile) { tile = tile.colRange(0, endColumn).clone(); };
        keep(g_MontageTiles.brightField);
        if (m_settings.useChannel1)
            keep(g_MontageTiles.channel1);
        if (m_settings.useChannel2)
            keep(g_MontageTiles.channel2);
    }

    cv::Mat Compose()
    {
        cv::Mat picture;
        if (!ComposeFalseColourFrame(m_settings, g_MontageTiles.brightField, g_MontageTiles.channel1,
                                     g_MontageTiles.channel2, picture))
            throw std::runtime_error("a frame cannot be composed: " + m_lastFile);
        return picture;
    }

    void Append(cv::Mat& montage)
    {
        cv::Mat strip = Compose();
        CrossFadeJoin(m_work, strip, montage);
    }

    MontageWork& Work() { return m_work; }

private:
    const std::string& m_folder;
    const ExperimentDataSet& m_data;
    const ChannelDisplaySettings& m_settings;
    MontageWork m_work;
    std::string m_lastFile;
};

void WriteOrLog(const std::string& path, const cv::Mat& picture)
{
    bool written = false;
    try {
        written = cv::imwrite(path, picture);
    } catch (const cv::Exception&) {
        written = false;
    }
    if (!written)
        LogErrAndInfo(__FILE__, __LINE__, ("CreateMontageImage () : cannot write " + path).c_str());
}

}  // namespace

bool CreateMontageImage(std::string folder, ExperimentDataSet data, ChannelDisplaySettings settings,
                        std::string montageName, std::string* error)
{
    return RunGuardedStep(kCreateMontageImagePrefix, error, [&] {
        const int width = data.imageWidth;
        const int shift = static_cast<int>(g_FlowGeometry.pixelShiftPerFrame);
        const int lead = static_cast<int>(g_LeadMeniscusSearch.frameIndex);
        const int trail = static_cast<int>(g_TrailMeniscusSearch.frameIndex);
        if (data.frames.empty())
            throw std::runtime_error("the experiment has no frames");
        if (lead < 0 || trail >= static_cast<int>(data.frames.size()))
            throw std::runtime_error("the meniscus frames lie outside the experiment's frames");
        const int stripStart = width - shift - kOverlap;
        MontageBuilder builder(folder, data, settings);

        const bool leadFound = std::find(g_LeadMeniscusSearch.matchFlags.begin(),
                                         g_LeadMeniscusSearch.matchFlags.end(),
                                         true) != g_LeadMeniscusSearch.matchFlags.end();
        if (!leadFound) {
            builder.FitReferenceProfile(0, width);
            builder.LoadTiles(data.frames[static_cast<size_t>(lead)], 0, width);
            builder.FlattenTiles();
            builder.KeepColumns(width - shift);
            std::vector<double>& fitted = builder.Work().fitted;
            const size_t keep = static_cast<size_t>(std::max(0, shift + kOverlap));
            if (fitted.size() > keep)
                fitted.erase(fitted.begin(), fitted.end() - static_cast<std::ptrdiff_t>(keep));
        } else {
            builder.LoadTiles(data.frames[static_cast<size_t>(lead)], 0, width - shift);
            builder.FitReferenceProfile(stripStart, width);
        }
        cv::Mat montage = builder.Compose();

        for (int i = lead; i < trail; ++i) {
            builder.LoadTiles(data.frames[static_cast<size_t>(i)], stripStart, width);
            builder.FlattenTiles();
            builder.Append(montage);
        }
        if (g_TrailMeniscusSearch.found) {
            const double toEdge = g_TrailMeniscusSearch.distanceToRightEdge;
            const int first = shift > toEdge ? stripStart : static_cast<int>(width - toEdge - kOverlap);
            builder.LoadTiles(data.frames[static_cast<size_t>(trail)], first, width);
            builder.Append(montage);
        }

        const int row = static_cast<int>(g_FlowGeometry.splitRow);
        cv::line(montage, cv::Point(0, row), cv::Point(montage.cols, row), cv::Scalar(255, 0, 0), 3, cv::LINE_8, 0);

        const std::string base = platform::JoinPath(folder, montageName);
        WriteOrLog(base + ".png", montage);
        cv::Mat small;
        cv::resize(montage, small, cv::Size(montage.cols / 4, montage.rows / 4), 0, 0, cv::INTER_LINEAR);
        WriteOrLog(base + ".small.png", small);
        return true;
    });
}
