#include "analysis/Projection.h"

#include "platform/UiBridge.h"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

fs::path Root()
{
    return fs::path(std::getenv("VELLORA_TEST_ROOT"));
}

// An image whose rows carry a Gaussian band (or dip, with a negative
// amplitude) over a level background; every column alike.
cv::Mat BandImage(int rows, int cols, double centre, double sigma, double amplitude, double level = 1000)
{
    cv::Mat image(rows, cols, CV_16UC1);
    for (int r = 0; r < rows; ++r) {
        const double value = level + amplitude * std::exp(-0.5 * (r - centre) * (r - centre) / (sigma * sigma));
        image.row(r).setTo(cv::Scalar(std::lround(value)));
    }
    return image;
}

ProjectionAnalysisParams Params(int rows, int cols)
{
    ProjectionAnalysisParams p;
    p.image_pixels_per_mm = 500;
    p.smoothingWindowMicrons = 0;
    p.numPeaksToFind = 1;
    p.stdevIntegrationArea = 1.0;
    p.integrationSamples = 11;
    p.left = 0;
    p.top = 0;
    p.right = cols - 1;
    p.bottom = rows - 1;
    return p;
}

std::string WriteImage(const std::string& name, const cv::Mat& image)
{
    const std::string path = (Root() / name).string();
    cv::imwrite(path, image);
    return path;
}

// Records what ComputeAndPlotProjection draws.
struct RecordingCanvas : ProjectionCanvas {
    struct Line {
        std::vector<ProjectionPoint> points;
        ProjectionPen pen;
    };
    std::vector<Line> lines;
    void Polyline(const std::vector<ProjectionPoint>& points, const ProjectionPen& pen) override
    {
        lines.push_back({points, pen});
    }
    int CountWithColour(int r, int g, int b) const
    {
        int n = 0;
        for (const Line& line : lines)
            n += line.pen.red == r && line.pen.green == g && line.pen.blue == b;
        return n;
    }
};

}  // namespace

TEST(Projection, FitsTheCentreAndWidthOfABand)
{
    const struct {
        bool valley;
        double centre, sigma;
    } cases[] = {{false, 90.0, 8.0}, {false, 131.5, 12.0}, {true, 70.0, 10.0}};
    for (const auto& c : cases) {
        const int rows = 200;
        const cv::Mat image = BandImage(rows, 60, c.centre, c.sigma, c.valley ? -3000 : 3000, 4000);
        ProjectionAnalysisParams p = Params(rows, 60);
        p.findValleys = c.valley;
        std::vector<ProjectionPeak> peaks;
        int32_t elapsed = -1;
        CString error;
        ASSERT_TRUE(ComputeAndPlotProjection(image, p, peaks, elapsed, error, nullptr, nullptr));
        EXPECT_TRUE(error.IsEmpty()) << error.GetString();
        ASSERT_EQ(peaks.size(), 1u);
        const ProjectionPeak& peak = peaks[0];
        EXPECT_FALSE(peak.errorFlag);
        // Within a step of the search (a twentieth of the width), in profile units.
        const double step = peak.stdev / 20.0;
        EXPECT_NEAR(peak.centre, c.centre / rows, step + 0.5 / rows) << c.centre;
        EXPECT_NEAR(peak.stdev, c.sigma / rows, 0.1 * c.sigma / rows) << c.sigma;
        EXPECT_NEAR(peak.amplitude, 1.0, 0.05);
        EXPECT_LT(peak.fitError, 0.05);
        EXPECT_FALSE(peak.curveX);  // kept only for drawing or a result file
    }
}

TEST(Projection, FlatImageAndUnfittablePeaks)
{
    // A flat profile: y is 0 everywhere and the first sample comes first.
    std::vector<ProjectionPeak> peaks;
    int32_t elapsed = 0;
    CString error;
    const cv::Mat flat(100, 50, CV_16UC1, cv::Scalar(1234));
    ASSERT_TRUE(ComputeAndPlotProjection(flat, Params(100, 50), peaks, elapsed, error, nullptr, nullptr));
    ASSERT_EQ(peaks.size(), 1u);
    EXPECT_EQ(peaks[0].index, 0);

    // A maximum on the last sample: every probe leaves the profile.
    std::vector<double> x, y;
    for (int j = 0; j < 50; ++j) {
        x.push_back(j / 50.0);
        y.push_back(j / 49.0);
    }
    const double startCentre = x.back();
    FitProjectionPeaks(x, y, {}, 0, 1, false, 1.0, 11, peaks, false, nullptr);
    ASSERT_EQ(peaks.size(), 1u);
    EXPECT_EQ(peaks[0].index, 49);
    EXPECT_TRUE(peaks[0].errorFlag);
    EXPECT_EQ(peaks[0].centre, startCentre);
    EXPECT_DOUBLE_EQ(peaks[0].stdev, 15.0 / 50.0);
    EXPECT_EQ(peaks[0].amplitude, kInvalidFitError);
    EXPECT_EQ(peaks[0].fitError, kInvalidFitError);

    // A band near the top: the search runs into the edge and says so.
    const cv::Mat top = BandImage(200, 40, 6, 8, 3000);
    ASSERT_TRUE(ComputeAndPlotProjection(top, Params(200, 40), peaks, elapsed, error, nullptr, nullptr));
    ASSERT_EQ(peaks.size(), 1u);
    EXPECT_TRUE(peaks[0].errorFlag);
}

TEST(Projection, FindsPeaksAndValleysInOrder)
{
    //                      0  1  2  3  4  5  6  7  8  9 10 11 12 13 14 15 16 17 18 19
    const std::vector<double> profile{0, 1, 2, 9, 2, 1, 0, 5, 0, 1, 7, 8, 7, 1, 0, 3, 0, 0, 4, 0};
    const struct {
        bool valleys;
        int count, window;
        std::vector<int32_t> expected;
    } cases[] = {
        {false, 0, 2, {}},
        {false, 1, 2, {3}},
        {false, 5, 2, {3, 11, 7, 15}},  // 18 lies in the last half window + 1
        {false, 5, 4, {3, 11, 7, 15}},
        {false, 5, 8, {3, 11}},  // 7 and 15 are exceeded within half = 4
        {false, 2, 0, {3, 11}},
        {true, 3, 2, {0, 6, 8}},        // ties: the lowest index first
    };
    for (const auto& c : cases) {
        std::vector<int32_t> indexes{42};
        if (c.valleys)
            FindProfileValleys(profile, c.count, c.window, indexes);
        else
            FindProfilePeaks(profile, c.count, c.window, indexes);
        EXPECT_EQ(indexes, c.expected) << c.count << " " << c.window;
    }
    std::vector<int32_t> none{1};
    FindProfilePeaks({}, 3, 10, none);
    EXPECT_TRUE(none.empty());
}

TEST(Projection, SmoothsWithForwardAndBackwardMeans)
{
    std::vector<double> values{0, 0, 6, 0, 0};
    std::vector<double> same(values);
    SmoothProjection(same, 1);
    EXPECT_EQ(same, values);
    SmoothProjection(values, 2);
    // forward: 0 0 3 3 0, backward: 0 3 3 0 0
    EXPECT_EQ(values, (std::vector<double>{0, 1.5, 3, 1.5, 0}));
}

TEST(Projection, GaussianFitErrorCurve)
{
    std::vector<double> x, v;
    for (int j = 0; j < 100; ++j) {
        x.push_back(j / 100.0);
        v.push_back(0.8 * std::exp(-0.5 * (j - 50.0) * (j - 50.0) / 100.0));
    }
    double amplitude = 0;
    std::vector<double> cx, cy;
    const double error = GaussianFitError(x, v, 0.5, 0.1, 1.0, 11, &amplitude, &cx, &cy);
    EXPECT_NEAR(error, 0.0, 1e-3);
    EXPECT_DOUBLE_EQ(amplitude, 0.8);
    ASSERT_EQ(cx.size(), 11u);
    EXPECT_NEAR(cx.front(), 0.5 - 10.0 / 11.0 * 0.1, 1e-12);
    EXPECT_NEAR(cx.back(), 0.5 + 10.0 / 11.0 * 0.1, 1e-12);
    EXPECT_DOUBLE_EQ(cy[5], 0.8);
    EXPECT_EQ(GaussianFitError(x, v, 0.95, 0.1, 1.0, 11), kInvalidFitError);  // reaches past the last sample
    EXPECT_EQ(GaussianFitError(x, v, -0.01, 0.1, 1.0, 11, &amplitude), kInvalidFitError);
    EXPECT_EQ(amplitude, kInvalidFitError);
}

TEST(Projection, RefusesRegionsAndBaselinesThatDoNotFit)
{
    const cv::Mat image = BandImage(100, 50, 50, 5, 1000);
    const struct {
        int left, top, right, bottom;
        size_t baseline;
        const char* error;
    } cases[] = {
        {0, 0, 50, 99, 0, "ComputeAndPlotProjection() - ROI is not inside the image."},
        {0, 60, 49, 100, 0, "ComputeAndPlotProjection() - ROI is not inside the image."},
        {-1, 0, 49, 99, 0, "ComputeAndPlotProjection() - ROI is not inside the image."},
        {0, 0, 49, 99, 99, "ComputeAndPlotProjection() - baseline must have one value per ROI row."},
        {0, 0, 49, 99, 100, ""},
    };
    for (const auto& c : cases) {
        ProjectionAnalysisParams p = Params(100, 50);
        p.left = c.left;
        p.top = c.top;
        p.right = c.right;
        p.bottom = c.bottom;
        p.baseline.assign(c.baseline, 10);
        std::vector<ProjectionPeak> peaks;
        int32_t elapsed = 0;
        CString error;
        EXPECT_EQ(ComputeAndPlotProjection(image, p, peaks, elapsed, error, nullptr, nullptr), *c.error == '\0');
        if (*c.error) {
            EXPECT_STREQ(error.GetString(), c.error);
        }
    }
    const cv::Mat eightBit(100, 50, CV_8UC1, cv::Scalar(1));
    std::vector<ProjectionPeak> peaks;
    int32_t elapsed = 0;
    CString error;
    EXPECT_FALSE(ComputeAndPlotProjection(eightBit, Params(100, 50), peaks, elapsed, error, nullptr, nullptr));
}

TEST(Projection, InvalidParamsStillDrawTheProfileButNoFits)
{
    const cv::Mat image = BandImage(200, 80, 100, 10, 3000);
    for (const bool valid : {true, false}) {
        ProjectionAnalysisParams p = Params(200, 80);
        p.left = 10;
        p.right = 49;  // 40 wide: the plot box is 10 columns
        if (!valid)
            p.integrationSamples = 4;
        RecordingCanvas canvas;
        ProjectionDrawTarget target{&canvas, 0, 0, 400, 1000, 0, 1, 0, 1};  // 5 device pixels per image pixel
        std::vector<ProjectionPeak> peaks;
        int32_t elapsed = 0;
        CString error;
        ASSERT_TRUE(ComputeAndPlotProjection(image, p, peaks, elapsed, error, &target, nullptr));
        EXPECT_EQ(error.IsEmpty(), valid);
        ASSERT_GE(canvas.lines.size(), 2u);
        // The frame: X0 = column 50, X1 = column 58, one pixel to the right.
        const auto& frame = canvas.lines[0];
        EXPECT_EQ(canvas.CountWithColour(192, 192, 0), 1);
        EXPECT_EQ(frame.points[0].x, 251);
        EXPECT_EQ(frame.points[2].x, 291);
        EXPECT_EQ(frame.points[1].y, 995);
        // The profile: one point per row, its largest value at the box's right.
        const auto& profile = canvas.lines[1];
        EXPECT_EQ(profile.pen.red, 255);
        EXPECT_EQ(profile.pen.width, 2);
        ASSERT_EQ(profile.points.size(), 200u);
        EXPECT_EQ(profile.points[100].y, 498);  // 995 x 100 / 200, rounded
        EXPECT_GT(profile.points[100].x, profile.points[0].x + 35);
        EXPECT_EQ(canvas.CountWithColour(100, 255, 150), valid ? 2 : 0);  // the marker's two strokes
        EXPECT_EQ(canvas.CountWithColour(60, 160, 100), valid ? 1 : 0);   // the fitted curve
        if (valid) {
            ASSERT_TRUE(peaks[0].curveY);
            EXPECT_NEAR(1.0 - (*peaks[0].curveY)[5], peaks[0].amplitude, 1e-12);  // stored as 1 - fit
        }
    }
}

TEST(Projection, WritesTheFirstPeaksResultFile)
{
    const cv::Mat image = BandImage(120, 40, 60, 8, 3000);
    ProjectionAnalysisParams p = Params(120, 40);
    p.numPeaksToFind = 2;
    p.upperChannel = 0;
    p.lowerChannel = 119;
    const std::string path = (Root() / "fit.txt").string();
    std::vector<ProjectionPeak> peaks;
    int32_t elapsed = 0;
    CString error;
    ASSERT_TRUE(ComputeAndPlotProjection(image, p, peaks, elapsed, error, nullptr, path.c_str()));
    std::ifstream in(path, std::ios::binary);
    std::string version, centre, amplitude, stdev, err, header, first;
    std::getline(in, version);
    std::getline(in, centre);
    std::getline(in, amplitude);
    std::getline(in, stdev);
    std::getline(in, err);
    std::getline(in, header);
    std::getline(in, first);
    EXPECT_EQ(version.rfind("version\t", 0), 0u);
    EXPECT_EQ(centre, CString::Formatted("center\t%lf\r", peaks[0].centre).str());
    EXPECT_EQ(err, "err\ttrue\r");
    EXPECT_EQ(header, "x\ty\tod_factor\tgx\tgy\r");
    // Sample 0 with the first point of the (uninverted) fitted curve.
    std::istringstream fields(first);
    double x0, y0, od0, gx0, gy0;
    fields >> x0 >> y0 >> od0 >> gx0 >> gy0;
    EXPECT_EQ(x0, 0.0);
    EXPECT_EQ(od0, 0.0);  // t = -0.5 on the upper wall
    EXPECT_NEAR(gx0, (*peaks[0].curveX)[0], 1e-6);
    EXPECT_NEAR(gy0, 1.0 - (*peaks[0].curveY)[0], 1e-6);
    int lines = 7;
    for (std::string line; std::getline(in, line);)
        ++lines;
    EXPECT_EQ(lines, 6 + 120);
    EXPECT_FALSE(peaks[1].curveX);  // only the first peak's curve is kept for the file

    // A file that cannot be created is reported on the user-interface side;
    // the fit is stored all the same.
    platform::ScriptedUiBridge bridge;
    platform::ScopedUiBridge scoped(bridge);
    const std::string bad = (Root() / "missing" / "fit.txt").string();
    ASSERT_TRUE(ComputeAndPlotProjection(image, p, peaks, elapsed, error, nullptr, bad.c_str()));
    ASSERT_EQ(bridge.ShownBoxes().size(), 1u);
    EXPECT_EQ(bridge.ShownBoxes()[0].text, "Can't create file: " + bad);
    EXPECT_NEAR(peaks[0].centre, 0.5, 0.02);
}

TEST(Projection, MedianProjectionOfFiles)
{
    const ProjectionAnalysisParams p = Params(4, 3);
    const std::string a = WriteImage("a.png", cv::Mat(4, 3, CV_16UC1, cv::Scalar(100)));
    const std::string b = WriteImage("b.png", cv::Mat(4, 3, CV_16UC1, cv::Scalar(301)));
    cv::Mat rows = (cv::Mat_<uint16_t>(4, 3) << 10, 20, 30, 1, 1, 2, 5000, 5000, 5000, 7, 8, 9);
    const std::string c = WriteImage("c.png", rows);

    std::vector<int32_t> median, means;
    Tovanix::String error;
    ASSERT_TRUE(ComputeMedianProjectionOfFiles({a.c_str(), b.c_str()}, p, median, error, &means));
    EXPECT_EQ(median, (std::vector<int32_t>{201, 201, 201, 201}));  // 200.5 rounds up
    EXPECT_EQ(means, (std::vector<int32_t>{100, 301}));
    ASSERT_TRUE(ComputeMedianProjectionOfFiles({a.c_str(), b.c_str(), c.c_str()}, p, median, error, &means));
    EXPECT_EQ(median, (std::vector<int32_t>{100, 100, 301, 100}));  // c's rows: 20, 1, 5000, 8
    EXPECT_EQ(means[2], 1257);                                      // (20 + 1 + 5000 + 8) / 4 = 1257.25

    EXPECT_FALSE(ComputeMedianProjectionOfFiles({a.c_str(), "/nowhere/x.png"}, p, median, error));
    EXPECT_STREQ(error.c_str(), "File does not exist: /nowhere/x.png");
    EXPECT_FALSE(ComputeMedianProjectionOfFiles({}, p, median, error));
    ProjectionAnalysisParams wide = p;
    wide.right = 3;
    EXPECT_FALSE(ComputeMedianProjectionOfFiles({a.c_str()}, wide, median, error));
    EXPECT_NE(std::string(error.c_str()).find("ROI is not inside the image"), std::string::npos);
}

TEST(Projection, ChannelWeightedProjection)
{
    // Rows 0..9 all 1100 over a baseline of 100: a signal of 1000 per row.
    const std::string file = WriteImage("ch.png", cv::Mat(10, 5, CV_16UC1, cv::Scalar(1100)));
    ProjectionAnalysisParams p = Params(10, 5);
    p.upperChannel = 2;
    p.lowerChannel = 7;
    const std::vector<int32_t> baseline(10, 100);
    std::vector<int32_t> out;
    Tovanix::String error;
    ASSERT_TRUE(ComputeChannelWeightedProjection(file.c_str(), p, baseline, out, error, false));
    // t = (r - 2) / 6 - 0.5 for rows 2..7: weight 1 - 4t^2.
    EXPECT_EQ(out, (std::vector<int32_t>{0, 0, 0, 556, 889, 1000, 889, 556, 0, 0}));
    ASSERT_TRUE(ComputeChannelWeightedProjection(file.c_str(), p, baseline, out, error, true));
    EXPECT_EQ(out, std::vector<int32_t>(10, 0));  // baseline below the image: clipped at 0

    const struct {
        int upper, lower;
        size_t baselineSize;
        const char* error;
    } refusals[] = {
        {2, 5001, 10, "Invalid channel coordinates upper_channel=2 lower_channel=5001"},
        {4, 4, 10, "Invalid channel coordinates upper_channel=4 lower_channel=4"},
        {-1, 4, 10, "Invalid channel coordinates upper_channel=-1 lower_channel=4"},
        {2, 7, 9, "ComputeChannelWeightedProjection() - baseline must have one value per ROI row."},
    };
    for (const auto& r : refusals) {
        p.upperChannel = r.upper;
        p.lowerChannel = r.lower;
        EXPECT_FALSE(ComputeChannelWeightedProjection(file.c_str(), p, std::vector<int32_t>(r.baselineSize, 0), out,
                                                      error, false));
        EXPECT_STREQ(error.c_str(), r.error);
    }
    EXPECT_FALSE(ComputeChannelWeightedProjection("/nowhere.png", p, baseline, out, error, false));
    EXPECT_STREQ(error.c_str(), "File does not exist: /nowhere.png");
}
