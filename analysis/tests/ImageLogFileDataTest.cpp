#include "analysis/ImageLogFileData.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

const char kLayoutA[] =
    "ImageFile\tDate\tTime\tExposure(us)\tStatus\tError\tIllumChan\tPinchValveInput\tPinchValveOutput1\t"
    "PinchValveOutput2\tPump1ValvePos\tPump2ValvePos\tPump1SpeedULpMin\tPump2SpeedULpMin\tPump1VolUL\tPump2VolUL";
const char kLayoutB[] =
    "ImageFile\tDate\tTime\tExposure(us)\tStatus\tError\tIllumChan\tPump1ValvePos\tPump2ValvePos\t"
    "Pump1SpeedULpMin\tPump2SpeedULpMin\tPump1VolUL\tPump2VolUL";
const char kLayoutC[] =
    "ImageFile\tDate\tTime\tExposure(us)\tStatus\tError\tIllumChan\tP1\tP2\tP3\tP4\tQ1\tQ2\tVSampleUL\t"
    "VBufferUL\tVTopOutletUL\tVBotOutletUL";

// A fresh image folder under the test's temporary root.
fs::path NewFolder(const std::string& name)
{
    const fs::path folder = fs::path(std::getenv("VELLORA_TEST_ROOT")) / name;
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

void WriteLog(const fs::path& path, const std::string& header, const std::vector<std::string>& rows)
{
    std::ofstream out(path, std::ios::binary);
    out << "Experiment: run 7\r\nOperator\tA\r\n" << header << "\r\n";
    for (const std::string& row : rows)
        out << row << "\r\n";
}

}  // namespace

TEST(ImageLogFileData, ReadsEachLayoutsPumpColumns)
{
    struct Case {
        const char* what;
        std::string header;
        std::string pumps;  // the fields after Time
        float expected[4];
    };
    const Case cases[] = {
        {"layout A", kLayoutA, "100\tOK\t0\t1\t0\t1\t0\t2\t3\t1.5\t2.5\t10\t20", {1.5f, 2.5f, 10, 20}},
        {"layout B", kLayoutB, "100\tOK\t0\t1\t2\t3\t1.5\t2.5\t10\t20", {1.5f, 2.5f, 10, 20}},
        {"layout B with a Split column", std::string(kLayoutB) + "\tSplit", "100\tOK\t0\t1\t2\t3\t1.5\t2.5\t10\t20\t0.4",
         {1.5f, 2.5f, 10, 20}},
        {"layout C", kLayoutC, "100\tOK\t0\t1\t2\t3\t4\t5\t1.5\t2.5\t99\t98\t10\t20", {1.5f, 2.5f, 10, 20}},
        {"the workflow's short header: no pumps",
         "ImageFile\tDate\tTime\tExposure(us)\tStatus\tError\tIllumChan\tSplit", "100\tOK\t0\t1\t0.5", {0, 0, 0, 0}},
        {"layout B row without its pump columns", kLayoutB, "100\tOK\t0\t1\t2\t3", {0, 0, 0, 0}},
        {"layout B row without its volumes", kLayoutB, "100\tOK\t0\t1\t2\t3\t1.5\t2.5", {1.5f, 2.5f, 0, 0}},
        {"layout B speeds that do not parse keep zeros after them", kLayoutB, "100\tOK\t0\t1\t2\t3\tx\t2.5\t10\t20",
         {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path folder = NewFolder("layouts");
        WriteLog(folder / "20240105-0930-12.log", c.header, {"img_0001.png\t2024/01/05\t09:30:12.250\t" + c.pumps});
        ImageLogFileData data;
        CString error;
        ASSERT_TRUE(data.Load(folder.c_str(), error)) << error.GetString();
        EXPECT_STREQ(data.logPath.c_str(), (folder / "20240105-0930-12.log").c_str());
        ASSERT_EQ(data.imageFiles.size(), 1u);
        EXPECT_EQ(data.imageFiles[0], "img_0001.png");
        EXPECT_EQ(data.pump1Speed[0], c.expected[0]);
        EXPECT_EQ(data.pump2Speed[0], c.expected[1]);
        EXPECT_EQ(data.pump1Volume[0], c.expected[2]);
        EXPECT_EQ(data.pump2Volume[0], c.expected[3]);
    }
}

TEST(ImageLogFileData, TimeStampsAndElapsedMinutes)
{
    const fs::path folder = NewFolder("times");
    WriteLog(folder / "20240105-0930-12.log", kLayoutB,
             {"img_0001.png\t2024/01/05\t09:30:12.250\t100\tOK\t0\t1\t2\t3\t1\t2\t3\t4",
              "img_0002.png\t2024/13/05\t09:30:13.000\t100\tOK\t0\t1\t2\t3\t1\t2\t3\t4",  // no such month
              "img_0003.png\t2024-01-05\t09:30:14.000\t100\tOK\t0\t1\t2\t3\t1\t2\t3\t4",  // malformed date
              "no tab in this line",
              "img_0004.png\t2024/01/05\t09:31:42.250\t100\tOK\t0\t1\t2\t3\t5\t6\t7\t8",
              "img_0005.png\t2024/01/05\t09:29:42.250\t100\tOK\t0\t1\t2\t3\t5\t6\t7\t8"});
    ImageLogFileData data;
    CString error;
    ASSERT_TRUE(data.Load(folder.c_str(), error)) << error.GetString();
    ASSERT_EQ(data.imageFiles, (std::vector<std::string>{"img_0001.png", "img_0004.png", "img_0005.png"}));
    // 09:30:12.250 on 2024-01-05: whole seconds and 250 ms.
    EXPECT_EQ(data.timeStamps[0] % 10000000, 2500000u);

    float pumps[4] = {-1, -1, -1, -1};
    EXPECT_EQ(data.GetElapsedMinutes("img_0001.png", pumps), 0.0);
    EXPECT_EQ(data.GetElapsedMinutes("IMG_0004.PNG", pumps), 1.5);
    EXPECT_EQ(pumps[0], 5.0f);
    EXPECT_EQ(pumps[3], 8.0f);
    EXPECT_EQ(data.GetElapsedMinutes("img_0005.png", pumps), -0.5);
    EXPECT_EQ(pumps[1], 0.0f);
    pumps[0] = 42;
    EXPECT_EQ(data.GetElapsedMinutes("img_0099.png", pumps), 0.0);
    EXPECT_EQ(pumps[0], 42.0f);
    EXPECT_EQ(data.GetElapsedMinutes("img_0002.png"), 0.0);

    ASSERT_TRUE(data.SetFirstFileName("Img_0004.png", error));
    EXPECT_EQ(data.searchStart, 1);
    EXPECT_EQ(data.GetElapsedMinutes("img_0001.png", pumps), 0.0);  // before the start: not found
    EXPECT_EQ(pumps[0], 42.0f);
    EXPECT_EQ(data.GetElapsedMinutes("img_0004.png"), 1.5);  // still measured from row 0
    EXPECT_FALSE(data.SetFirstFileName("img_0099.png", error));
    EXPECT_STREQ(error, "ImageLogFileData::SetFirstFileName() - did not find file img_0099.png in the log.");
}

TEST(ImageLogFileData, FindingTheLog)
{
    CString error;
    {
        SCOPED_TRACE("the capture log beside another log without dashes");
        const fs::path folder = NewFolder("find1");
        WriteLog(folder / "notes.log", kLayoutB, {});
        WriteLog(folder / "20240105-0930-12.log", kLayoutB, {});
        fs::create_directories(folder / "20240105-0930-11.log");  // a folder is never the log
        ImageLogFileData data;
        EXPECT_TRUE(data.Load((folder.string() + "  \r\n").c_str(), error)) << error.GetString();
        EXPECT_STREQ(data.logPath.c_str(), (folder / "20240105-0930-12.log").c_str());
    }
    {
        SCOPED_TRACE("the first candidate decides, even when a valid log follows");
        const fs::path folder = NewFolder("find2");
        WriteLog(folder / "20240105-0930-0x.log", kLayoutB, {});
        WriteLog(folder / "20240105-0930-12.log", kLayoutB, {});
        ImageLogFileData data;
        EXPECT_FALSE(data.Load(folder.c_str(), error));
        EXPECT_STREQ(error, (CString("No log file with a valid name found in directory: ") + folder.c_str()).GetString());
    }
    {
        SCOPED_TRACE("an upper-case extension is never the log");
        const fs::path folder = NewFolder("find3");
        WriteLog(folder / "20240105-0930-12.LOG", kLayoutB, {});
        ImageLogFileData data;
        EXPECT_FALSE(data.Load(folder.c_str(), error));
        EXPECT_STREQ(error, (CString("No log file with a valid name found in directory: ") + folder.c_str()).GetString());
    }
    {
        SCOPED_TRACE("no log at all, or no folder");
        const fs::path folder = NewFolder("find4");
        ImageLogFileData data;
        EXPECT_FALSE(data.Load(folder.c_str(), error));
        EXPECT_STREQ(error, (CString("No log file found in directory: ") + folder.c_str()).GetString());
        EXPECT_FALSE(data.Load((folder / "missing").c_str(), error));
        EXPECT_FALSE(data.SetFirstFileName("img_0001.png", error));
        EXPECT_STREQ(error, "ImageLogFileData::SetFirstFileName() - Must call Load() before calling this function.");
    }
    {
        SCOPED_TRACE("a log without its header line");
        const fs::path folder = NewFolder("find5");
        std::ofstream(folder / "20240105-0930-12.log") << "ImageFile Date Time\n";
        ImageLogFileData data;
        EXPECT_FALSE(data.Load(folder.c_str(), error));
        const std::string path = (folder / "20240105-0930-12.log").string();
        EXPECT_STREQ(error, ("Did not find line beginning with: \"ImageFile\tDate\tTime\t\" in file " + path).c_str());
        EXPECT_STREQ(data.logPath.c_str(), path.c_str());
    }
}
