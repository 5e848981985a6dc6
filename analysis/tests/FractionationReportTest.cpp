#include "analysis/FractionationReport.h"

#include "analysis/AnalysisEngineState.h"
#include "app/VelloraApp.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace fs = std::filesystem;

namespace {

class FractionationReportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = fs::path(std::getenv("VELLORA_TEST_ROOT")) / test->test_suite_name() / test->name();
        fs::create_directories(folder);
        ResetFractionationState();
        ResetFlowGeometry();
        savedVersion = theApp.m_strFileVersion;
        theApp.m_strFileVersion = "1.2.3.4";
        data.upperChannelRow = 400;
        data.lowerChannelRowEnd = 1401;
    }
    void TearDown() override
    {
        ResetFractionationState();
        ResetFlowGeometry();
        theApp.m_strFileVersion = savedVersion;
    }

    std::string Report(const std::string& name = "Report") const
    {
        std::ifstream in(folder / (name + ".txt"), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    // The report's lines after the column header, without their CR LF.
    std::vector<std::string> ProfileLines() const
    {
        const std::string text = Report();
        const std::string header = "Channel position\tNormalized intensity\r\n";
        std::istringstream in(text.substr(text.find(header) + header.size()));
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) {
            EXPECT_EQ(line.back(), '\r');
            lines.push_back(line.substr(0, line.size() - 1));
        }
        return lines;
    }

    fs::path folder;
    ExperimentDataSet data;
    CString savedVersion;
};

}  // namespace

TEST_F(FractionationReportTest, WholeReport)
{
    g_FractionationState.intensityProfile = {4, 2, 6, 3, 1};
    g_FractionationState.topFraction = 123456.0;  // raw sums of the analysis, replaced
    g_FlowGeometry.splitRow = 102.3;  // profile row 2
    g_FlowGeometry.splitOffsetPercent = -17.36;
    std::string error;
    ASSERT_TRUE(WriteCellFractionationReport(folder.string(), "Run 7 of  May", "Report", data, &error)) << error;
    EXPECT_EQ(g_FractionationState.topFraction, 0.6);
    EXPECT_EQ(g_FractionationState.bottomFraction, 0.4);
    EXPECT_EQ(Report(),
              "Vellora\t1.2.3.4\r\n"
              "Experiment Name\tRun 7 of  May\r\n"
              "Cell Fractionation Report\r\n"
              "Top Fraction\t0.6\r\n"
              "Bottom Fraction\t0.4\r\n"
              "Upper Channel Position\t400\r\n"
              "Lower Channel Position\t1400\r\n"
              "Split-line Position\t402\r\n"
              "Split-line Value\t-17\r\n"
              "\r\n"
              "Channel position\tNormalized intensity\r\n"
              "-50\t6.25\r\n"
              "-25\t18.75\r\n"
              "0\t37.5\r\n"
              "25\t12.5\r\n"
              "50\t25\r\n");
}

TEST_F(FractionationReportTest, FractionsAndSplitRow)
{
    const struct {
        const char* what;
        std::vector<double> profile;
        double splitRow;
        double top, bottom;
        std::vector<std::string> lines;
    } cases[] = {
        {"negative everywhere", {-4, -2, -6}, 101, 0, 0, {"-50\t0", "0\t0", "50\t0"}},
        {"negative rows count as 0", {-4, 2, 6, 3}, 102, 0.4, 0.6, {"-50\t27.2727", "-16.6667\t54.5455",
                                                                      "16.6667\t18.1818", "50\t0"}},
        {"split below the channel: the last row", {1, 1, 2}, 160, 1, 0, {"-50\t50", "0\t25", "50\t25"}},
        {"split above the channel: the first row", {2, 1, 1}, 40, 0, 1, {"-50\t25", "0\t25", "50\t50"}},
        {"one row", {5}, 100, 0, 0, {"0\t100"}},
    };
    for (const auto& c : cases) {
        g_FractionationState.intensityProfile = c.profile;
        g_FlowGeometry.splitRow = c.splitRow;
        std::string error;
        ASSERT_TRUE(WriteCellFractionationReport(folder.string(), "E", "Report", data, &error)) << c.what;
        EXPECT_DOUBLE_EQ(g_FractionationState.topFraction, c.top) << c.what;
        EXPECT_DOUBLE_EQ(g_FractionationState.bottomFraction, c.bottom) << c.what;
        EXPECT_EQ(ProfileLines(), c.lines) << c.what;
    }

    // 773.6 - 100 + 0.5 = 674.1: the split is profile row 674.
    g_FractionationState.intensityProfile.assign(1000, 0.0);
    g_FractionationState.intensityProfile[674] = 10.0;
    g_FractionationState.intensityProfile[673] = 1.0;
    g_FractionationState.intensityProfile[675] = 3.0;
    g_FlowGeometry.splitRow = 773.6;
    std::string error;
    ASSERT_TRUE(WriteCellFractionationReport(folder.string(), "E", "Report", data, &error));
    EXPECT_DOUBLE_EQ(g_FractionationState.topFraction, 0.25);
    EXPECT_NE(Report().find("Split-line Position\t1073\r\n"), std::string::npos);
}

TEST_F(FractionationReportTest, FailuresAreReported)
{
    g_FractionationState.intensityProfile = {1, 2, 3};
    std::string error;
    EXPECT_FALSE(WriteCellFractionationReport((folder / "missing").string(), "E", "Report", data, &error));
    EXPECT_EQ(error, "Cell fractionation report: could not write " + (folder / "missing" / "Report.txt").string());

    g_FractionationState.intensityProfile.clear();
    EXPECT_FALSE(WriteCellFractionationReport(folder.string(), "E", "Report", data, &error));
    EXPECT_EQ(error, "Cell fractionation report: the intensity profile is empty");
    EXPECT_FALSE(fs::exists(folder / "Report.txt"));
}
