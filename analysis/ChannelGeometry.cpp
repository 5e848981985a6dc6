#include "analysis/ChannelGeometry.h"

#include "analysis/SplitString.h"
#include "platform/Files.h"
#include "support/AppLogs.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>

namespace {

template <typename T>
void ScalePixels(cv::Mat& image, double gain, double maxValue)
{
    for (int y = 0; y < image.rows; ++y) {
        T* row = image.ptr<T>(y);
        for (int x = 0; x < image.cols; ++x) {
            // Clamp before converting: a large gain must saturate, not overflow the int.
            const double scaled = std::trunc(row[x] * gain);
            row[x] = static_cast<T>(std::clamp(scaled, 0.0, maxValue));
        }
    }
}

// The first "*.txt" of the folder in sorted order, or the empty text.
std::string FirstDescriptionFile(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file(ec) && name.size() >= 4) {
            std::string ext = name.substr(name.size() - 4);
            std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
            if (ext == ".txt")
                names.push_back(name);
        }
    }
    if (names.empty())
        return {};
    std::sort(names.begin(), names.end());
    return platform::JoinPath(folder, names.front());
}

bool ListsType(const std::string& list, const std::string& type)
{
    for (const std::string& entry : SplitString(list, ','))
        if (entry == type)
            return true;
    return false;
}

struct Candidate {
    double score = 0.0;
    int x = 0;
    int y = 0;
};

}  // namespace

void RotateImageAboutCentre(cv::Mat& image, double angle, double centreX, double centreY, int xShift)
{
    const cv::Point2f centre(static_cast<float>(centreX), static_cast<float>(centreY));
    cv::Mat matrix = cv::getRotationMatrix2D(centre, angle * 180.0 / 3.14159265358979, 1.0);
    matrix.at<double>(0, 2) += xShift;
    cv::warpAffine(image, image, matrix, image.size(), cv::INTER_LINEAR, cv::BORDER_REPLICATE);
}

cv::Mat& LoadAnalysisImage(cv::Mat& image, const std::string& path, int firstColumn, int endColumn, int firstRow,
                           int endRow, int xShift, double angle, int centreX, int centreY, double gain)
{
    image = cv::imread(platform::NativePath(path), cv::IMREAD_ANYDEPTH | cv::IMREAD_GRAYSCALE);
    if (angle != 0.0)
        RotateImageAboutCentre(image, angle, centreX, centreY, -xShift);
    if (image.cols > 0) {
        if (firstRow > 0 || endRow < image.rows)
            image = image.rowRange(firstRow, endRow).clone();
        if (firstColumn > 0 || endColumn < image.cols)
            image = image.colRange(firstColumn, endColumn).clone();
    }
    if (gain != 1.0)
        ApplyGain(image, gain);
    return image;
}

bool ApplyGain(cv::Mat& image, double gain)
{
    if (!(gain > 0.0) || image.channels() != 1)
        return false;
    if (image.depth() == CV_8U) {
        ScalePixels<uint8_t>(image, gain, 255.0);
        return true;
    }
    if (image.depth() == CV_16U) {
        ScalePixels<uint16_t>(image, gain, 65535.0);
        return true;
    }
    return false;
}

std::vector<double> ComputeColumnMeanProfile(const cv::Mat& image)
{
    std::vector<double> profile(static_cast<size_t>(image.cols), 0.0);
    for (int y = 0; y < image.rows; ++y) {
        const uint16_t* row = image.ptr<uint16_t>(y);
        for (int x = 0; x < image.cols; ++x)
            profile[static_cast<size_t>(x)] += row[x];
    }
    for (double& value : profile)
        value /= image.rows;
    return profile;
}

std::vector<double> SumQuadraticTerms(const std::vector<double>& quadratic, const std::vector<double>& linear,
                                      double constant)
{
    std::vector<double> sum(quadratic.size());
    for (size_t i = 0; i < sum.size(); ++i)
        sum[i] = quadratic[i] + linear[i] + constant;
    return sum;
}

std::vector<double>& FitQuadraticProfile(MontageWork& work, std::vector<double>& fitted,
                                         const std::vector<double>& y, const std::vector<double>& x)
{
    const size_t n = std::min(x.size(), y.size());
    std::array<double, 5> s{};
    std::array<double, 3> t{};
    for (size_t i = 0; i < n; ++i) {
        double power = 1.0;
        for (int l = 0; l < 5; ++l) {
            s[static_cast<size_t>(l)] += power;
            if (l < 3)
                t[static_cast<size_t>(l)] += power * y[i];
            power *= x[i];
        }
    }
    double a[3][4] = {{s[0], s[1], s[2], t[0]}, {s[1], s[2], s[3], t[1]}, {s[2], s[3], s[4], t[2]}};
    for (int col = 0; col < 3; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 3; ++r)
            if (std::fabs(a[r][col]) > std::fabs(a[pivot][col]))
                pivot = r;
        if (pivot != col)
            for (int k = 0; k < 4; ++k)
                std::swap(a[col][k], a[pivot][k]);
        if (a[col][col] == 0.0)
            continue;
        for (int r = col + 1; r < 3; ++r) {
            const double factor = a[r][col] / a[col][col];
            for (int k = col; k < 4; ++k)
                a[r][k] -= factor * a[col][k];
        }
    }
    double c[3] = {0.0, 0.0, 0.0};
    for (int r = 2; r >= 0; --r) {
        double v = a[r][3];
        for (int k = r + 1; k < 3; ++k)
            v -= a[r][k] * c[k];
        // Too few distinct x leave a term undetermined: it is left out (0)
        // rather than turning every fitted value into not-a-number.
        c[r] = a[r][r] != 0.0 ? v / a[r][r] : 0.0;
    }
    std::vector<double> quadratic(n), linear(n);
    for (size_t i = 0; i < n; ++i) {
        quadratic[i] = c[2] * x[i] * x[i];
        linear[i] = c[1] * x[i];
    }
    fitted = SumQuadraticTerms(quadratic, linear, c[0]);
    work.fitted = fitted;
    return fitted;
}

cv::Mat& NormaliseColumnsByProfile(double reference, cv::Mat& result, const std::vector<double>& profile,
                                   const cv::Mat& source)
{
    const bool colour = source.channels() == 3;
    if (colour)
        cv::cvtColor(source, result, cv::COLOR_BGR2GRAY);
    else
        result = source.clone();
    for (int y = 0; y < result.rows; ++y) {
        uint16_t* row = result.ptr<uint16_t>(y);
        const int columns = std::min(result.cols, static_cast<int>(profile.size()));
        for (int x = 0; x < columns; ++x) {
            const double divisor = profile[static_cast<size_t>(x)] / reference;
            // A zero or undefined level has nothing to scale by.
            if (!(divisor != 0.0) || !std::isfinite(divisor))
                continue;
            row[x] = static_cast<uint16_t>(std::clamp(std::trunc(row[x] / divisor), 0.0, 65535.0));
        }
    }
    if (colour)
        cv::cvtColor(result, result, cv::COLOR_GRAY2BGR);
    return result;
}

void CrossFadeJoin(MontageWork& work, cv::Mat& right, cv::Mat& left)
{
    const int w = work.overlap;
    work.leftWork = left.colRange(left.cols - w, left.cols).clone();
    left = left.colRange(0, left.cols - w).clone();
    work.rightWork = right.colRange(0, w).clone();
    right = right.colRange(w, right.cols).clone();

    cv::Mat blend(work.leftWork.rows, w, CV_8UC3);
    for (int k = 0; k < w; ++k) {
        const float f = 1.0f - static_cast<float>(k) / static_cast<float>(w);
        for (int r = 0; r < blend.rows; ++r) {
            const cv::Vec3b& l = work.leftWork.at<cv::Vec3b>(r, k);
            const cv::Vec3b& rt = work.rightWork.at<cv::Vec3b>(r, k);
            cv::Vec3b& out = blend.at<cv::Vec3b>(r, k);
            for (int ch = 0; ch < 3; ++ch)
                out[ch] = static_cast<uint8_t>(static_cast<int>(l[ch] * f) + rt[ch] * (1.0f - f));
        }
    }
    cv::hconcat(std::vector<cv::Mat>{left, blend, right}, left);
}

void MatchTemplateNormed(const cv::Mat& image, const cv::Mat& templ, double& bestScore, int& bestX, int& bestY)
{
    const cv::Mat searched = image.colRange(0, std::min(image.cols, image.cols / 3 + 1));
    cv::Mat scores;
    cv::matchTemplate(searched, templ, scores, cv::TM_CCOEFF_NORMED);
    cv::Point best;
    cv::minMaxLoc(scores, nullptr, &bestScore, nullptr, &best);
    bestX = best.x;
    bestY = best.y;
}

bool FindSplitLine(cv::Mat& image, double pixelsPerMm, double boundaryRow1, double boundaryRow2,
                   const std::string& cartridgeType, int& offset, double& rotation, double& centreX,
                   double& centreY)
{
    offset = 0;
    rotation = 0.0;
    centreX = 0.0;
    centreY = 0.0;
    const int middle = static_cast<int>((boundaryRow1 + boundaryRow2 - 1) * 0.5);

    const std::string folder =
        platform::FindFileIgnoringCase(DataRootPath("Templates\\splitline-templates").str());
    if (folder.empty())
        return false;
    const std::string descriptionPath = FirstDescriptionFile(folder);
    std::ifstream description(descriptionPath);
    if (descriptionPath.empty() || !description)
        return false;

    cv::GaussianBlur(image, image, cv::Size(5, 5), 0);

    size_t typeColumn = 0, scaleColumn = 0, imageColumn = 0;
    std::vector<Candidate> candidates;
    cv::Mat band, scaled;
    int bandTop = 0;
    std::string line;
    while (std::getline(description, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        const std::vector<std::string> fields = SplitString(line, '\t');
        const auto header = std::find(fields.begin(), fields.end(), "CartridgeType");
        if (header != fields.end()) {
            for (size_t i = 0; i < fields.size(); ++i) {
                if (fields[i] == "CartridgeType")
                    typeColumn = i;
                else if (fields[i] == "ImagePixelsPermm")
                    scaleColumn = i;
                else if (fields[i] == "TemplateImage")
                    imageColumn = i;
            }
            continue;
        }
        if (fields.size() <= std::max({typeColumn, scaleColumn, imageColumn}))
            continue;
        const std::string& templateName = fields[imageColumn];
        if (templateName.find("Splitline") == std::string::npos || !ListsType(fields[typeColumn], cartridgeType))
            continue;

        const float templateScale = std::stof(fields[scaleColumn]);
        std::string templatePath = platform::FindFileIgnoringCase(platform::JoinPath(folder, templateName));
        if (templatePath.empty())
            templatePath = platform::JoinPath(folder, templateName);
        const cv::Mat templ = cv::imread(templatePath, cv::IMREAD_GRAYSCALE);
        const double ratio = static_cast<float>(pixelsPerMm) / templateScale;
        cv::resize(templ, scaled,
                   cv::Size(static_cast<int>(templ.cols * ratio), static_cast<int>(templ.rows * ratio)), 0, 0,
                   cv::INTER_NEAREST);
        bandTop = middle - scaled.rows / 2 - 80;
        band = image.rowRange(bandTop, middle + scaled.rows / 2 + 81);
        Candidate candidate;
        MatchTemplateNormed(band, scaled, candidate.score, candidate.x, candidate.y);
        candidates.push_back(candidate);
    }
    if (candidates.empty())
        return false;

    const Candidate best = *std::max_element(candidates.begin(), candidates.end(),
                                             [](const Candidate& a, const Candidate& b) { return a.score < b.score; });
    if (!(best.score > 0.8))
        return true;

    const cv::Mat patch = band(cv::Rect(best.x, best.y, scaled.cols, scaled.rows));
    const int rightStart = band.cols - band.cols / 3;
    Candidate second;
    MatchTemplateNormed(band.colRange(rightStart, band.cols), patch, second.score, second.x, second.y);
    if (second.score > 0.8) {
        rotation = std::atan(static_cast<double>(second.y - best.y) / (second.x + rightStart - best.x));
        centreX = best.x;
        centreY = best.y + bandTop;
        offset = patch.rows / 2 + best.y + bandTop - middle;
    }
    return true;
}
