#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <opencv2/imgcodecs.hpp>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>

#include "app/FlowSplit.h"
#include "app/ImageCaptureLogHeader.h"
#include "devices/TecanCentris.h"
#include "imaging/ImageFiling.h"
#include "imaging/tests/CaptureTestSupport.h"
#include "platform/Sync.h"

namespace {

using capturetest::Fields;

const char* kPrefix = "20240315-0942-07_Run3";

std::map<std::string, std::string> ReadXmp(const std::string& path) {
    std::map<std::string, std::string> tags;
    auto image = Exiv2::ImageFactory::open(path);
    image->readMetadata();
    for (const auto& datum : image->xmpData()) tags[datum.key()] = datum.toString();
    return tags;
}

class ImageFilingTest : public capturetest::CaptureChainTest {
protected:
    void SetUp() override {
        CaptureChainTest::SetUp();
        experiment = root / "Data" / kPrefix;
        std::filesystem::create_directories(experiment / "Images");
        WriteExperimentKeys("");
        RememberCameraIdentity("acA2440-35um", "24015833");
        SetFlowSplitFractionSource(nullptr);
    }
    void TearDown() override {
        ForgetCameraIdentity();
        SetFlowSplitFractionSource(nullptr);
        for (cv::Mat*& image : theApp.m_pBackgroundImages) {
            delete image;
            image = nullptr;
        }
        CaptureChainTest::TearDown();
    }

    void WriteExperimentKeys(const std::string& more) {
        WriteSettings(std::string("ExperimentImageNamePrefix=") + kPrefix + "\r\nExperimentFullName=" + kPrefix +
                      "\r\nExperimentDirectory=" + experiment.string() + "\r\nImageTypeName1=BRIGHTFIELD\r\n" + more);
    }
    std::string LogPath() const { return (experiment / (std::string(kPrefix) + ".log")).string(); }

    // A 16-bit frame with a gradient, so a wrong pixel shows.
    static cv::Mat Frame(int rows = 48, int cols = 64) {
        cv::Mat frame(rows, cols, CV_16UC1);
        for (int y = 0; y < rows; ++y) {
            for (int x = 0; x < cols; ++x) frame.at<uint16_t>(y, x) = static_cast<uint16_t>(1000 + 97 * x + 301 * y);
        }
        return frame;
    }

    std::filesystem::path experiment;
};

TEST_F(ImageFilingTest, FiledImageReadsBackWithItsTagsAndLogRow) {
    const cv::Mat frame = Frame();
    CString error;
    CString logPath;
    ASSERT_TRUE(SaveImageToExperiment(frame, "BRIGHTFIELD", 3, 0, 20000, error, nullptr, &logPath))
        << error.GetString();
    EXPECT_EQ(logPath.str(), LogPath());

    const std::string file = (experiment / "Images" / "20240315-0942-07_Run3_BRIGHTFIELD_0003.png").string();
    const cv::Mat back = cv::imread(file, cv::IMREAD_ANYDEPTH);
    ASSERT_EQ(back.type(), CV_16UC1);
    EXPECT_EQ(cv::norm(back, frame, cv::NORM_INF), 0);

    const auto tags = ReadXmp(file);
    EXPECT_EQ(tags.size(), 8u);
    EXPECT_EQ(tags.at("Xmp.dc.CreationTime").substr(0, 19), "2024/03/15 09:42:07");
    EXPECT_EQ(tags.at("Xmp.dc.Software"), "Tessaly Vellora V1.4.2.17");
    EXPECT_FALSE(tags.at("Xmp.dc.Computer").empty());
    EXPECT_LE(tags.at("Xmp.dc.Computer").size(), 15u);
    EXPECT_EQ(tags.at("Xmp.dc.CameraModel"), "acA2440-35um");
    EXPECT_EQ(tags.at("Xmp.dc.CameraSN"), "24015833");
    EXPECT_EQ(tags.at("Xmp.dc.ImageType"), "BRIGHTFIELD");
    EXPECT_EQ(tags.at("Xmp.dc.ExposureUS"), "20000");
    EXPECT_EQ(tags.at("Xmp.dc.ImageIndex"), "3");

    const auto lines = FlushedLog(LogPath());
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "Vellora_Version=1.4.2.17");
    EXPECT_EQ(lines[1], "CameraModel=acA2440-35um\tSN=24015833");
    EXPECT_EQ(lines[2].rfind("# ComputerName=", 0), 0u);
    EXPECT_EQ(lines[3], "ImageFile\tDate\tTime\tExposure(us)\tStatus\tError\tIllumChan\tSplit");
    const auto row = Fields(lines[4]);
    ASSERT_EQ(row.size(), 8u) << lines[4];
    EXPECT_EQ(row[0], "20240315-0942-07_Run3_BRIGHTFIELD_0003.png");
    EXPECT_EQ(row[1], "2024/03/15");
    EXPECT_EQ(row[2].substr(0, 8), "09:42:07");
    EXPECT_EQ(row[3], "20000");
    EXPECT_EQ(row[4], "0");
    EXPECT_EQ(row[5], "");
    EXPECT_EQ(row[6], "0");
    EXPECT_EQ(row[7], "NaN");
    EXPECT_TRUE(g_ReferenceImageRequests.empty()) << "only index 1 is queued";
}

TEST_F(ImageFilingTest, FileNamesFollowPrefixTypeAndIndex) {
    struct Case {
        const char* extraPrefix;
        const char* typeName;
        int index;
        const char* expected;
    };
    const Case cases[] = {
        {nullptr, "BRIGHTFIELD", 3, "20240315-0942-07_Run3_BRIGHTFIELD_0003.png"},
        {nullptr, "BRIGHTFIELD", 0, "20240315-0942-07_Run3_BRIGHTFIELD_0000.png"},
        {nullptr, "GFP", 12345, "20240315-0942-07_Run3_GFP_12345.png"},
        {nullptr, nullptr, -1, "20240315-0942-07_Run3.png"},
        {"ManualCapture.", "GFP", 1, "ManualCapture.20240315-0942-07_Run3_GFP.png"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        CString error;
        ASSERT_TRUE(SaveImageToExperiment(Frame(8, 8), c.typeName, c.index, 1, 100, error, c.extraPrefix, nullptr))
            << error.GetString();
        EXPECT_TRUE(std::filesystem::exists(experiment / "Images" / c.expected));
    }
    const auto lines = FlushedLog(LogPath());
    ASSERT_EQ(lines.size(), 4u + std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(Fields(lines[4 + i])[0], cases[i].expected);
    EXPECT_TRUE(g_ReferenceImageRequests.empty()) << "a manual index 1 is not queued";
}

TEST_F(ImageFilingTest, IndexOneWritesTheBackgroundAndQueuesOneReference) {
    theApp.m_pBackgroundImages[0] = new cv::Mat(Frame(4, 4));
    CString error;
    ASSERT_TRUE(SaveImageToExperiment(Frame(), "BRIGHTFIELD", 1, 0, 100, error, nullptr, nullptr));
    EXPECT_TRUE(std::filesystem::exists(experiment / "BRIGHTFIELD.bg.tif"));
    ASSERT_EQ(g_ReferenceImageRequests.size(), 1u);
    EXPECT_EQ(std::string(g_ReferenceImageRequests[0].c_str()),
              (experiment / "Images" / "20240315-0942-07_Run3_BRIGHTFIELD_0001.png").string());
}

TEST_F(ImageFilingTest, FailedBackgroundWriteIsLoggedAndTheFrameStillFiled) {
    theApp.m_pBackgroundImages[0] = new cv::Mat(Frame(4, 4));
    // A folder in the background file's place makes its write fail.
    std::filesystem::create_directories(experiment / "BRIGHTFIELD.bg.tif");
    CString error;
    EXPECT_TRUE(SaveImageToExperiment(Frame(), "BRIGHTFIELD", 1, 0, 100, error, nullptr, nullptr))
        << error.GetString();
    EXPECT_TRUE(std::filesystem::exists(experiment / "Images" / "20240315-0942-07_Run3_BRIGHTFIELD_0001.png"));
    EXPECT_NE(LogText().find("Problem writing the background image of BRIGHTFIELD"), std::string::npos);
}

TEST_F(ImageFilingTest, DarkAndSaturationChecksMarkTheRow) {
    struct Case {
        const char* keys;
        int darkPixels;       // pixels set to 50
        int saturatedPixels;  // pixels set to 65535
        const char* status;
        const char* errorText;
    };
    // 100 pixels per frame.
    const Case cases[] = {
        {"DarkPixelThreshold=100\r\n", 1, 0, "1", "dark"},
        {"DarkPixelThreshold=100\r\nDarkPixelsMaxFraction=0.05\r\n", 5, 0, "0", ""},
        {"DarkPixelThreshold=100\r\nDarkPixelsMaxFraction=0.05\r\n", 6, 0, "1", "dark"},
        {"SatPixelThreshold=65535\r\n", 0, 1, "0", ""},
        {"SatPixelThreshold=65535\r\n", 0, 2, "1", "saturation"},
        {"SatPixelThreshold=65535\r\nDarkPixelThreshold=100\r\n", 3, 3, "1", "dark saturation"},
        {"DarkPixelThreshold=x\r\nSatPixelThreshold=\r\n", 100, 0, "0", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        WriteExperimentKeys(c.keys);
        cv::Mat frame(10, 10, CV_16UC1, cv::Scalar(30000));
        for (int i = 0; i < c.darkPixels; ++i) frame.at<uint16_t>(i / 10, i % 10) = 50;
        for (int i = 0; i < c.saturatedPixels; ++i) frame.at<uint16_t>(9 - i / 10, 9 - i % 10) = 65535;
        CString error;
        ASSERT_TRUE(SaveImageToExperiment(frame, "BRIGHTFIELD", 2, 0, 100, error, nullptr, nullptr));
        const auto lines = FlushedLog(LogPath());
        const auto row = Fields(lines.back());
        EXPECT_EQ(row[4], c.status);
        EXPECT_EQ(row[5], c.errorText);
        std::filesystem::remove(LogPath());
    }
}

TEST_F(ImageFilingTest, SplitFollowsTheFlowSplitWhileTheWorkflowRuns) {
    struct Case {
        bool running;
        double fraction;
        const char* split;
    };
    const Case cases[] = {{false, 0.62, "NaN"}, {true, 0.5, "0"}, {true, 0.62, "12"}, {true, 0.375, "-13"},
                          {true, 0.625, "13"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fraction);
        theApp.m_bWorkflowRunning = c.running;
        SetFlowSplitFractionSource([&c] { return c.fraction; });
        CString error;
        ASSERT_TRUE(SaveImageToExperiment(Frame(4, 4), "BRIGHTFIELD", 2, 0, 100, error, nullptr, nullptr));
    }
    theApp.m_bWorkflowRunning = false;
    const auto lines = FlushedLog(LogPath());
    ASSERT_EQ(lines.size(), 4u + std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(Fields(lines[4 + i]).back(), cases[i].split);
}

TEST_F(ImageFilingTest, SplitTakesTheSharedFlowSplitWithoutASourceOfItsOwn) {
    theApp.m_bWorkflowRunning = true;
    SetFlowSplitFraction(0.7);
    CString error;
    const bool saved = SaveImageToExperiment(Frame(4, 4), "BRIGHTFIELD", 2, 0, 100, error, nullptr, nullptr);
    theApp.m_bWorkflowRunning = false;
    ResetFlowSplit();
    ASSERT_TRUE(saved) << error.GetString();
    const auto lines = FlushedLog(LogPath());
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(Fields(lines.back()).back(), "20");
}

TEST_F(ImageFilingTest, PumpColumnsAppearWhenPumpsAreKnown) {
    // The header is written without pumps; then the pumps are found.
    CString error;
    ASSERT_TRUE(SaveImageToExperiment(Frame(4, 4), "BRIGHTFIELD", 0, 0, 100, error, nullptr, nullptr));
    theApp.m_nPumpComPort = 98;  // not in the port table: every query fails at once
    g_PumpValveState[0] = 'O';
    g_PumpValveState[1] = ' ';
    g_PumpTopSpeed[0] = 600;
    g_PumpTopSpeed[1] = 12.5;
    ASSERT_TRUE(SaveImageToExperiment(Frame(4, 4), "BRIGHTFIELD", 1, 0, 100, error, nullptr, nullptr));
    theApp.m_nPumpComPort = 0;
    g_PumpValveState[0] = g_PumpValveState[1] = ' ';
    g_PumpTopSpeed[0] = g_PumpTopSpeed[1] = 0;

    const auto lines = FlushedLog(LogPath());
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(Fields(lines[3]).size(), 8u) << "the column line keeps the layout it was written with";
    EXPECT_EQ(Fields(lines[4]).size(), 8u);
    const auto row = Fields(lines[5]);
    ASSERT_EQ(row.size(), 14u) << lines[5];
    EXPECT_EQ(row[7], "O");
    EXPECT_EQ(row[8], " ");
    EXPECT_EQ(row[9], "600.00");
    EXPECT_EQ(row[10], "12.50");
    EXPECT_EQ(row[11], "NaN");
    EXPECT_EQ(row[12], "NaN");
    EXPECT_EQ(row[13], "NaN");

    // A new log made while the pumps are known has the 14-column line.
    std::filesystem::remove(LogPath());
    theApp.m_nPumpComPort = 98;
    ASSERT_TRUE(SaveImageToExperiment(Frame(4, 4), "BRIGHTFIELD", 2, 0, 100, error, nullptr, nullptr));
    theApp.m_nPumpComPort = 0;
    EXPECT_EQ(FlushedLog(LogPath())[3],
              "ImageFile\tDate\tTime\tExposure(us)\tStatus\tError\tIllumChan\tPump1ValvePos\tPump2ValvePos\t"
              "Pump1SpeedULpMin\tPump2SpeedULpMin\tPump1VolUL\tPump2VolUL\tSplit");
}

TEST_F(ImageFilingTest, ScriptLinesGoIntoTheHeaderAboveTheColumnLine) {
    CreateImageCaptureLogHeaderSemaphore();
    QueueImageCaptureLogHeaderLine("Sample=S-17");
    CString error;
    ASSERT_TRUE(SaveImageToExperiment(Frame(4, 4), "BRIGHTFIELD", 0, 0, 100, error, nullptr, nullptr));
    QueueImageCaptureLogHeaderLine("Flow=2 ul/min");
    ASSERT_TRUE(SaveImageToExperiment(Frame(4, 4), "BRIGHTFIELD", 1, 0, 100, error, nullptr, nullptr));

    const auto lines = FlushedLog(LogPath());
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[3].substr(lines[3].find('\t')), "\tSample=S-17");
    EXPECT_EQ(lines[4].substr(lines[4].find('\t')), "\tFlow=2 ul/min");
    EXPECT_EQ(lines[5].rfind("ImageFile\t", 0), 0u);
    EXPECT_EQ(Fields(lines[6])[0], "20240315-0942-07_Run3_BRIGHTFIELD_0000.png");
    EXPECT_EQ(Fields(lines[7])[0], "20240315-0942-07_Run3_BRIGHTFIELD_0001.png");
}

TEST_F(ImageFilingTest, ThreadsFilingTheFirstImagesTogetherWriteOneHeader) {
    for (int round = 0; round < 5; ++round) {
        std::filesystem::remove(LogPath());
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([t] {
                CString error;
                SaveImageToExperiment(Frame(16, 16), "BRIGHTFIELD", 10 + t, t, 100, error, nullptr, nullptr);
            });
        }
        for (auto& thread : threads) thread.join();
        const auto lines = FlushedLog(LogPath());
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                                [](const std::string& l) { return l.rfind("ImageFile\t", 0) == 0; }),
                  1);
        EXPECT_EQ(lines.size(), 8u);
    }
}

TEST_F(ImageFilingTest, UnwritableImagesFolderFailsWithoutAPartialFile) {
    struct Case {
        const char* name;
        std::function<void(const std::filesystem::path&)> breakFolder;
    };
    const Case cases[] = {
        {"missing", [](const std::filesystem::path& images) { std::filesystem::remove_all(images); }},
        {"a file in its place",
         [](const std::filesystem::path& images) {
             std::filesystem::remove_all(images);
             capturetest::WriteTextFile(images, "x");
         }},
        {"read-only", [](const std::filesystem::path& images) { chmod(images.c_str(), 0555); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (std::string(c.name) == "read-only" && geteuid() == 0) continue;  // root writes anywhere
        std::filesystem::remove_all(experiment / "Images");
        std::filesystem::create_directories(experiment / "Images");
        c.breakFolder(experiment / "Images");
        CString error;
        EXPECT_FALSE(SaveImageToExperiment(Frame(), "BRIGHTFIELD", 4, 0, 100, error, nullptr, nullptr));
        const std::string file = (experiment / "Images" / "20240315-0942-07_Run3_BRIGHTFIELD_0004.png").string();
        EXPECT_EQ(error.str(), "Problem saving image to file: " + file);
        if (std::filesystem::is_directory(experiment / "Images")) {
            EXPECT_TRUE(std::filesystem::is_empty(experiment / "Images")) << "no partial or temporary file";
        }
        const auto row = Fields(FlushedLog(LogPath()).back());
        EXPECT_EQ(row[0], "20240315-0942-07_Run3_BRIGHTFIELD_0004.png");
        EXPECT_EQ(row[4], "1");
        EXPECT_EQ(row[5], "not saved");
        chmod((experiment / "Images").c_str(), 0755);
        std::filesystem::remove(LogPath());
    }
}

TEST_F(ImageFilingTest, AddXmpToAFileKeepsItsPixels) {
    const std::string file = (experiment / "Images" / "plain.png").string();
    ASSERT_TRUE(cv::imwrite(file, Frame()));
    EXPECT_TRUE(AddImageMetadata(file.c_str(), nullptr, 0, -1));
    const auto tags = ReadXmp(file);
    EXPECT_EQ(tags.at("Xmp.dc.ImageType"), "");
    EXPECT_EQ(tags.at("Xmp.dc.ImageIndex"), "-1");
    EXPECT_EQ(cv::norm(cv::imread(file, cv::IMREAD_ANYDEPTH), Frame(), cv::NORM_INF), 0);

    // A file that holds tags already is rewritten whole by the library; the
    // old tags stay beside the new one.
    CString error;
    ASSERT_TRUE(Add_XMP_MetaData(file.c_str(), {"Operator"}, {"JS"}, error)) << error.GetString();
    const auto again = ReadXmp(file);
    EXPECT_EQ(again.at("Xmp.dc.Operator"), "JS");
    EXPECT_EQ(again.at("Xmp.dc.ImageIndex"), "-1");
    EXPECT_EQ(cv::norm(cv::imread(file, cv::IMREAD_ANYDEPTH), Frame(), cv::NORM_INF), 0);

    EXPECT_FALSE(Add_XMP_MetaData((experiment / "none.png").c_str(), {"A"}, {"1"}, error));
    EXPECT_EQ(error.str(), "Add_XMP_MetaData() - Can't open image file: " + (experiment / "none.png").string());
    EXPECT_FALSE(AddImageMetadata((experiment / "none.png").c_str(), "GFP", 1, 1));
    EXPECT_NE(LogText().find("Can't open image file"), std::string::npos);
}

}  // namespace
#pragma GCC diagnostic pop
