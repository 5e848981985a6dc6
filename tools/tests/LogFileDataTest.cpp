// The tools' capture-log reader: finding the one log of a folder, its
// refusals, the case-blind image search and the channel divider.

#include <gtest/gtest.h>

#include "tools/LogFileData.h"
#include "tools/tests/ToolTestSupport.h"

#include <cmath>

using namespace tools_testing;

namespace {

std::string Row(const std::string& name, const std::string& q1, const std::string& q2) {
    return name + "\t2026-01-01\t10:00:00\t100\tOK\t0\t1\t1\t1\t" + q1 + "\t" + q2 + "\t0\t0\r\n";
}

std::string Log(const std::string& rows, const std::string& extraColumns = "\tSplit") {
    return std::string("Vellora capture log\r\nExperiment\tx\r\n") + kCaptureLogHeader + extraColumns + "\r\n" + rows;
}

}  // namespace

TEST(LogFileData, LoadsTheFoldersOnlyLog)
{
    const fs::path folder = TestRoot() / "log_ok";
    WriteFile(folder / "20260101-1000-00.log", Log(Row("a.png", "1", "2") + Row("B.png", "0", "0")));
    LogFileData data;
    std::string error;
    ASSERT_TRUE(data.Load(folder.string(), error)) << error;
    EXPECT_EQ(data.Rows.count, 2);
    EXPECT_NE(std::string(data.LogPath.c_str()).find("20260101-1000-00.log"), std::string::npos);

    double d = 0;
    // The folder part plays no part; the name matches in any case.
    ASSERT_TRUE(data.GetChannelDivider("/elsewhere/A.PNG", d, error)) << error;
    EXPECT_NEAR(d, 0.387, 0.002);
    ASSERT_TRUE(data.GetChannelDivider("b.png", d, error));
    EXPECT_EQ(d, 0.5);
    EXPECT_FALSE(data.GetChannelDivider("/x/c.png", d, error));
    EXPECT_EQ(error, "Missing log file data for image: /x/c.png");

    // An empty folder text loads nothing, reports nothing.
    error.clear();
    EXPECT_TRUE(data.Load("", error));
    EXPECT_EQ(data.Rows.count, 0);
    EXPECT_TRUE(error.empty());
}

TEST(LogFileData, AnImagesFolderTakesTheLogOfItsExperiment)
{
    const fs::path experiment = TestRoot() / "log_experiment";
    WriteFile(experiment / "20260101-1000-00_Run.log", Log(Row("a.png", "1", "2")));
    fs::create_directories(experiment / "images");
    fs::create_directories(experiment / "Other");
    LogFileData data;
    std::string error;
    ASSERT_TRUE(data.Load((experiment / "images").string() + "/", error)) << error;
    EXPECT_EQ(data.Rows.count, 1);
    EXPECT_EQ(fs::path(data.LogPath.c_str()), experiment / "20260101-1000-00_Run.log");
    // Any other folder keeps to its own logs.
    EXPECT_FALSE(data.Load((experiment / "Other").string(), error));
    EXPECT_EQ(error, "No log file found in image directory: " + (experiment / "Other").string());
    // A log of the Images folder's own comes first.
    WriteFile(experiment / "images" / "own.log", Log(Row("b.png", "1", "1")));
    ASSERT_TRUE(data.Load((experiment / "images").string(), error)) << error;
    EXPECT_EQ(fs::path(data.LogPath.c_str()).filename(), "own.log");
}

TEST(LogFileData, RefusesFoldersWithoutOneLog)
{
    const fs::path none = TestRoot() / "log_none";
    fs::create_directories(none / "dir.log");
    const fs::path two = TestRoot() / "log_two";
    WriteFile(two / "a.log", Log(""));
    WriteFile(two / "b.log", Log(""));
    LogFileData data;
    std::string error;
    EXPECT_FALSE(data.Load(none.string(), error));
    EXPECT_EQ(error, "No log file found in image directory: " + none.string());
    EXPECT_FALSE(data.Load(two.string(), error));
    EXPECT_EQ(error, "Expect only 1 log file, found 2 log files in the image directory: " + two.string());
    EXPECT_TRUE(std::string(data.LogPath.c_str()).empty());
}

TEST(LogFileData, RefusesBadContentWithLineNumbers)
{
    struct Case {
        std::string text;
        std::string error;
        int rowsKept;
    } cases[] = {
        {"ImageFile\tDate\tTime\tExposure(us)\tStatus\tError\tIllumChan\tPump1ValvePos\r\na.png\t1\r\n",
         std::string("Did not find expected header line in the log file: ") + kCaptureLogHeader, 0},
        {Log(Row("a.png", "1", "1") + "\r\n"),
         "Error at line 5 : LogFileData::LoadFromText() - invalid line, expected 13 items, found 0 items", 1},
        {Log(Row("a.png", "x1", "1")),
         "Error at line 4 : LogFileData::LoadFromText() - invalid line, expected floating point value for column 10 "
         "(Pump1SpeedULpMin): x1",
         0},
        {Log(Row("a.png", "1", "-2")),
         "Error at line 4 : LogFileData::LoadFromText() - invalid line, expected floating point value for column 11 "
         "(Pump2SpeedULpMin): -2",
         0},
        {Log(Row("a.png", "nan", "1")),
         "Error at line 4 : LogFileData::LoadFromText() - invalid line, expected floating point value for column 10 "
         "(Pump1SpeedULpMin): nan",
         0},
        {Log(Row("a.png", "1", "1") + Row("b.png", "1", "1") + Row("A.PNG", "1", "1")),
         "Log file error at line 6, repeated file name: A.PNG", 2},
    };
    int i = 0;
    for (const Case& c : cases) {
        const fs::path folder = TestRoot() / ("log_bad" + std::to_string(i++));
        WriteFile(folder / "run.log", c.text);
        LogFileData data;
        std::string error;
        EXPECT_FALSE(data.Load(folder.string(), error)) << c.error;
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(data.Rows.count, c.rowsKept) << c.error;
        EXPECT_TRUE(std::string(data.LogPath.c_str()).empty());
    }

    LogFileData data;
    std::string error;
    data.LogPath = (TestRoot() / "log_missing" / "x.log").c_str();
    EXPECT_FALSE(data.LoadFromText(error));
    EXPECT_EQ(error.rfind("Unable to open log file for reading, make sure that it is not open in Excel: ", 0), 0u);
}

TEST(LogFileData, DividerPositionFollowsThePumpRatio)
{
    const struct {
        float q1, q2, expected, tolerance;
    } cases[] = {
        {1, 2, 0.387f, 0.002f}, {2, 1, 0.613f, 0.002f},  {1, 3, 0.327f, 0.002f}, {10, 1, 0.814f, 0.002f},
        {1, 100, 0.059f, 0.002f}, {3, 3, 0.5f, 0.0f},    {0, 5, 0.0f, 0.0f},     {5, 0, 1.0f, 0.0f},
    };
    for (const auto& c : cases) {
        const float x = ComputeFlowDividerPosition(c.q1, c.q2);
        EXPECT_NEAR(x, c.expected, c.tolerance) << c.q1 << "," << c.q2;
        if (c.q1 > 0 && c.q2 > 0) {
            // The share of the height carries pump 1's share of a parabolic flow.
            EXPECT_NEAR(3 * x * x - 2 * x * x * x, c.q1 / (c.q1 + c.q2), 0.002) << c.q1 << "," << c.q2;
        }
    }
}
