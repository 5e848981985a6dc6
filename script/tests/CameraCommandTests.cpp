// The camera commands on the virtual instrument: the focus stack's checks in
// both passes, its folders and files, and its images' focus following the
// stage; re-opening the camera; the split-line detection on a fresh frame
// and the rotation correction it hands to the live view.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "app/SuppliedFiles.h"
#include "devices/CameraFactory.h"
#include "devices/Pylon_Camera.h"
#include "devices/Zaber.h"
#include "imaging/LiveView.h"
#include "imaging/tests/CaptureTestSupport.h"
#include "script/Script.h"
#include "script/tests/CommandCallSupport.h"
#include "script/tests/ScriptTestSupport.h"
#include "sim/CameraScene.h"
#include "sim/StageSimulator.h"
#include "support/Profile.h"
#include "support/SerialPort.h"

namespace {

namespace fs = std::filesystem;
using scripttest::Call;
using scripttest::Declared;
using scripttest::Describe;

constexpr int kStagePort = 6;

// The capture chain of the virtual instrument with its stage on a serial
// line, and two active image types.
class CameraCommandTest : public capturetest::VirtualCaptureTest {
protected:
    void SetUp() override
    {
        VirtualCaptureTest::SetUp();
        BuildBuiltInFunctionTable();
        SetLiveRotation(LiveRotation{});
        WriteSettings(kImageTypes);
        // The data folder exists; the command makes the day's folder in it.
        fs::create_directories(root / "Data");
        stage = std::make_unique<sim::StageSimulator>();
        stage->SetSpeedFactor(0);
        ASSERT_TRUE(stage->Start(kStagePort));
    }
    void TearDown() override
    {
        SetLiveRotation(LiveRotation{});
        ReleaseSerialPort(kStagePort);
        theApp.m_nStageComPort = 0;
        theApp.m_nStageBaudRate = 0;
        theApp.m_bWorkflowRunning = false;
        g_ZaberStepsPerMM_Z = g_ZaberStepsPerMM_X = 0;
        g_ZaberFocusDeviceIndex = g_ZaberXAxisDeviceIndex = g_ZaberFocusAxisIndex = g_ZaberXAxisIndex = 0;
        stage.reset();
        VirtualCaptureTest::TearDown();
    }

    void OpenStage()
    {
        Tovanix::String error;
        ASSERT_TRUE(SetupSerialPort(kStagePort, sim::StageSimulator::kBaudRate, &error)) << error.c_str();
        theApp.m_nStageComPort = kStagePort;
        theApp.m_nStageBaudRate = sim::StageSimulator::kBaudRate;
    }

    std::string Check(const std::string& line) { return Call(script, variables, line, true); }
    std::string Run(const std::string& line) { return Call(script, variables, line, false); }

    std::string data() const { return (root / "Data").string(); }

    // File names in a folder, sorted.
    static std::vector<std::string> Files(const fs::path& folder)
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    // How sharp an image is: the gradient energy of the image shrunk four
    // times, which keeps the channel's edges and averages the sensor noise away.
    static double Sharpness(const fs::path& file)
    {
        const cv::Mat image = cv::imread(file.string(), cv::IMREAD_UNCHANGED);
        EXPECT_EQ(image.type(), CV_16UC1) << file;
        cv::Mat real, small, dx, dy;
        image.convertTo(real, CV_32F);
        cv::resize(real, small, cv::Size(real.cols / 4, real.rows / 4), 0, 0, cv::INTER_AREA);
        cv::Sobel(small, dx, CV_32F, 1, 0);
        cv::Sobel(small, dy, CV_32F, 0, 1);
        return cv::mean(dx.mul(dx) + dy.mul(dy))[0];
    }

    const std::string kImageTypes = "IsActive1=TRUE\r\nImageTypeName1=BF\r\nImageTypeExposure1=1000\r\n"
                                    "IsActive2=TRUE\r\nImageTypeName2=GFP\r\nImageTypeExposure2=2000\r\n";

    Script script{0};
    std::vector<Variable> variables = Declared({"int ok = 5;", "STRING why = \"unchanged\";", "double d = 1;"});
    std::unique_ptr<sim::StageSimulator> stage;
};

const char kNoStage[] =
    "Please set InitializeZaberOnStartup=TRUE in the ExperimentSettings.ini file and restart Vellora";

TEST_F(CameraCommandTest, FocusStackChecksInBothPasses)
{
    OpenStage();
    const struct {
        const char* line;
        std::string message;
    } cases[] = {
        {"CollectFocusStack(\"z\", 1, 1, 1);", "CollectFocusStack() axis must have value \"X\" or \"Z\""},
        {"CollectFocusStack(\"Z\", 30, 1, 1);",
         "CollectFocusStack() start_mm must have a value between 0 and 25 for the Z axis"},
        {"CollectFocusStack(\"Z\", -0.5, 1, 1);",
         "CollectFocusStack() start_mm must have a value between 0 and 25 for the Z axis"},
        {"CollectFocusStack(\"X\", 100.5, 1, 1);",
         "CollectFocusStack() start_mm must have a value between 0 and 100 for the X axis"},
        {"CollectFocusStack(\"X\", 30, 10.5, 1);", "CollectFocusStack() step_mm must have a value between -10.0 and +10.0"},
        {"CollectFocusStack(\"X\", 30, -10.01, 1);",
         "CollectFocusStack() step_mm must have a value between -10.0 and +10.0"},
        {"CollectFocusStack(\"X\", 30, 1, 0);", "CollectFocusStack() nsteps must be a value between 1 and 500"},
        {"CollectFocusStack(\"X\", 30, 1, 501);", "CollectFocusStack() nsteps must be a value between 1 and 500"},
        {"CollectFocusStack(\"X\", 30, 1);", "Invalid int parameter 4"},
        {"CollectFocusStack(\"X\", 30, d, ok);", "ok"},
        {"CollectFocusStack(\"Z\", 25, -10, 500);", "ok"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(Check(c.line), c.message);
    }
    for (const auto& c : cases) {
        if (c.message != "ok") {
            SCOPED_TRACE(c.line);
            EXPECT_EQ(Run(c.line), c.message);
        }
    }

    // The stage, the camera and the workflow are asked in the check pass too.
    const std::string good = "CollectFocusStack(\"X\", 30, 1, 1);";
    theApp.m_bWorkflowRunning = true;
    EXPECT_EQ(Check(good), "CollectFocusStack() - Can't capture image while image workflow is active.");
    theApp.m_bWorkflowRunning = false;
    Camera* camera = theApp.m_pCamera;
    theApp.m_pCamera = nullptr;
    EXPECT_EQ(Check(good), "CollectFocusStack() - no camera");
    theApp.m_pCamera = camera;
    theApp.m_nStageComPort = 0;
    EXPECT_EQ(Check(good), kNoStage);
    EXPECT_EQ(stage->ReceivedBytes().find("move"), std::string::npos) << "no check moved the stage";
    EXPECT_FALSE(fs::exists(root / "Data" / "20240315"));
}

TEST_F(CameraCommandTest, AScriptWithAFaultyFocusStackIsRefusedWhenItIsLoaded)
{
    OpenStage();
    std::istringstream file("int n = 2;\nZB_Home(\"x\");\nCollectFocusStack(\"Z\", 30, 1, n);\n");
    CString error;
    ASSERT_FALSE(script.mainCode.Load(script, file, "focus.scr", 0, error, false));
    EXPECT_EQ(error.str(),
              "focus.scr at line 3 : CollectFocusStack() start_mm must have a value between 0 and 25 for the Z axis");
}

TEST_F(CameraCommandTest, FocusStackFilesEveryActiveTypeAtEveryPositionAndFocusFollowsTheStage)
{
    OpenStage();
    WriteSettings("DataDirectory=  " + data() + "\t\r\n" + kImageTypes);
    ASSERT_EQ(Check("CollectFocusStack(\"Z\", 4.2, 0.2, 4);"), "ok");
    ASSERT_EQ(Run("CollectFocusStack(\"Z\", 4.2, 0.2, 4);"), "ok");

    const fs::path stack = root / "Data" / "20240315" / "StackZ_20240315-094207";
    ASSERT_TRUE(fs::is_directory(stack));
    const char* positions[] = {"004200", "004400", "004600", "004800", "005000"};
    std::vector<std::string> expected;
    for (const char* type : {"BF", "GFP"}) {
        for (const char* position : positions)
            expected.push_back(std::string("StackZ_20240315-094207_") + type + "_Z" + position + ".png");
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Files(stack), expected);
    EXPECT_NEAR(stage->Position(sim::StageSimulator::kFocusAxis) / sim::StageSimulator::kStepsPerMm, 5.0, 1e-4);

    // The channel is sharp at 5 mm: the frames grow sharper towards it.
    double previous = 0;
    for (const char* position : positions) {
        const double sharpness = Sharpness(stack / (std::string("StackZ_20240315-094207_BF_Z") + position + ".png"));
        EXPECT_GT(sharpness, previous * 1.02) << position;
        previous = sharpness;
    }

    // A second stack in the same second finds its folder taken.
    EXPECT_EQ(Run("CollectFocusStack(\"Z\", 4.2, 0.2, 1);"),
              "CollectFocusStack() - unable to create directory: " + stack.string());
}

TEST_F(CameraCommandTest, AFailedMoveEndsTheStackAndKeepsWhatWasSaved)
{
    OpenStage();
    WriteSettings("DataDirectory=" + data() + "/\r\nIsActive1=TRUE\r\nImageTypeName1=BF\r\nImageTypeExposure1=1000\r\n");
    // The second position lies behind the X axis's end stop.
    const std::string result = Run("CollectFocusStack(\"X\", 0.5, -1, 2);");
    EXPECT_NE(result, "ok");
    EXPECT_NE(result.find("Zaber"), std::string::npos) << result;
    EXPECT_EQ(Files(root / "Data" / "20240315" / "StackX_20240315-094207"),
              std::vector<std::string>{"StackX_20240315-094207_BF_X000500.png"});
}

TEST_F(CameraCommandTest, AFocusStackImageThatCannotBeWrittenIsLoggedAndTheStackGoesOn)
{
    OpenStage();
    // A type name so long that its file name exceeds what the file system takes.
    const std::string longName(250, 'L');
    WriteSettings("DataDirectory=" + data() + "\r\n" + kImageTypes + "IsActive4=TRUE\r\nImageTypeName4=" + longName +
                  "\r\nImageTypeExposure4=1000\r\n");
    ASSERT_EQ(Run("CollectFocusStack(\"Z\", 4, 1, 1);"), "ok");
    const fs::path stack = root / "Data" / "20240315" / "StackZ_20240315-094207";
    EXPECT_EQ(Files(stack).size(), 4u) << "the other types are all there";
    const std::string log = LogText();
    EXPECT_NE(log.find("CollectFocusStack() - unable to write image: " +
                       (stack / ("StackZ_20240315-094207_" + longName + "_Z004000.png")).string()),
              std::string::npos);
    EXPECT_NE(log.find("_Z005000.png"), std::string::npos);
}

TEST_F(CameraCommandTest, AFocusStackNeedsItsDayFolder)
{
    OpenStage();
    const fs::path file = root / "not-a-folder";
    imagingtest::WriteText(file, "x");
    WriteSettings("DataDirectory=" + file.string() + "\r\n" + kImageTypes);
    EXPECT_EQ(Run("CollectFocusStack(\"Z\", 1, 1, 1);"),
              "CollectFocusStack() - unable to create directory: " + (file / "20240315").string());
    EXPECT_EQ(stage->ReceivedBytes().find("move"), std::string::npos) << "nothing moved";
}

TEST_F(CameraCommandTest, InitializeCameraAnswersThroughItsVariables)
{
    EXPECT_EQ(Check("InitializeCamera(1, why);"), "ok");
    EXPECT_EQ(Check("InitializeCamera(ok, 2);"), "Missing leading \" for string parameter 2");
    EXPECT_EQ(Check("InitializeCamera(ok);"), "Missing leading \" for string parameter 2");

    ASSERT_EQ(Run("InitializeCamera(ok, why);"), "ok");
    EXPECT_EQ(Describe(variables, "ok"), "int 1");
    EXPECT_EQ(Describe(variables, "why"), "STRING unchanged");

    // A camera object that cannot open.
    delete theApp.m_pCamera;
    theApp.m_pCamera = CreateCameraForType("");
    ChangeCamera([](sim::CameraDeviceState& state) { state.faults.failOpen = true; });
    g_PylonLastInitAttempt = 0;  // opens are kept apart in time
    ASSERT_EQ(Run("InitializeCamera(ok, why);"), "ok");
    EXPECT_EQ(Describe(variables, "ok"), "int 0");
    EXPECT_NE(Describe(variables, "why").find("STRING Pylon_Camera::Initialize () : Error : "), std::string::npos)
        << Describe(variables, "why");

    delete theApp.m_pCamera;
    theApp.m_pCamera = nullptr;
    ASSERT_EQ(Run("InitializeCamera(ok, why);"), "ok");
    EXPECT_EQ(Describe(variables, "ok"), "int 0");
    EXPECT_EQ(Describe(variables, "why"), "STRING Camera object was not initialized on startup.");
}

TEST_F(CameraCommandTest, CameraTemperatureIsReadWithoutStageOrPumps)
{
    variables = Declared({"double t1 = 1;", "double t2 = 2;", "double t3 = 3;", "double t4 = 4;"});
    ASSERT_EQ(Run("GetTemperatures(t1, t2, t3, t4, 0);"), "ok");
    EXPECT_EQ(Describe(variables, "t1"), "double 1");
    EXPECT_EQ(Describe(variables, "t2"), "double 2");
    EXPECT_EQ(Describe(variables, "t4"), "double 41.5");
}

// An experiment whose settings copy carries the calibration and channel rows
// of the virtual camera, with a split line in the channel.
class SplitLineCommandTest : public CameraCommandTest {
protected:
    void SetUp() override
    {
        CameraCommandTest::SetUp();
        const sim::ChannelGeometry walls = sim::ChannelGeometry::ForSensorHeight(2048);
        otherSections += "[CalibrationSettings]\r\nimage_pixels_per_mm=400\r\n[Cartridge]\r\nCartridgeUpperChannel=" +
                         std::to_string(walls.upperWallBottom) +
                         "\r\nCartridgeLowerChannel=" + std::to_string(walls.lowerWallTop - 1) + "\r\n";
        std::string installError;
        ASSERT_TRUE(InstallMissingDataRootFiles(root.c_str(), &installError)) << installError;
        experiment = root / "Data" / "20240315-0942-07_Split";
        fs::create_directories(experiment);
        WriteSettings("ExperimentDirectory=" + experiment.string() + "\r\n" + kImageTypes);
        fs::copy_file(g_IniPath.str(), experiment / "ExperimentSettings.ini");
        theApp.m_strCartridgeTypeCode = "410-000-0001";
        auto lock = sim::VirtualInstrument::Instance().Lock();
        sim::VirtualInstrument::Instance().State().sample.splitLineRow = (walls.upperWallBottom + walls.lowerWallTop) / 2.0;
    }

    std::string Detected(const char* key)
    {
        char value[64] = {};
        Tovanix::E_GetPrivateProfileString("Cartridge", key, "", value, sizeof value,
                                           (experiment / "ExperimentSettings.ini").c_str());
        return value;
    }

    fs::path experiment;
};

TEST_F(SplitLineCommandTest, DetectedSplitLineBecomesTheLiveRotation)
{
    EXPECT_EQ(Check("AutoDetectSplitLineZeroPosition(x);"), "missing )");
    const int grabs = Device().counters.grabs;
    ASSERT_EQ(Check("AutoDetectSplitLineZeroPosition ( ) ;"), "ok");
    EXPECT_EQ(Device().counters.grabs, grabs) << "the check pass grabs nothing";

    ASSERT_EQ(Run("AutoDetectSplitLineZeroPosition();"), "ok");
    EXPECT_EQ(Device().counters.grabs, grabs + 2) << "one frame thrown away, one used";
    const std::string offset = Detected("CartridgeChannelDetectedOffset");
    ASSERT_FALSE(offset.empty());
    ASSERT_NE(offset, "10000");

    // The correction is loaded already while a script is checked, whatever
    // stands in its parentheses.
    SetLiveRotation(LiveRotation{});
    ASSERT_EQ(Check("StartDisplayRotationCorrectedImages(anything at all"), "ok");
    const LiveRotation rotation = GetLiveRotation();
    EXPECT_EQ(std::to_string(rotation.offset), offset);
    EXPECT_EQ(std::to_string(rotation.centerX), Detected("CartridgeChannelDetectedRotationCenterX"));
    EXPECT_EQ(std::to_string(rotation.centerY), Detected("CartridgeChannelDetectedRotationCenterY"));
    EXPECT_NEAR(rotation.angle, std::stod(Detected("CartridgeChannelDetectedRotation")), 1e-9);
}

TEST_F(SplitLineCommandTest, RotationFallsBackToNoneUnlessAllFourKeysRead)
{
    const std::string copy = (experiment / "ExperimentSettings.ini").string();
    const struct {
        const char* offset;
        const char* rotation;
        const char* centreX;
        const char* centreY;
        bool applied;
    } cases[] = {
        {"12", "0.01", "1224", "1024", true},
        {"12", "0.01", "1224", nullptr, false},  // a key missing
        {"12", "10000", "1224", "1024", false},  // nothing detected
        {"12", "abc", "1224", "1024", false},    // unreadable
        {"12", "0.01", "12345678901234567890123456789012345", "1024", false},  // longer than its buffer
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rotation);
        fs::copy_file(g_IniPath.str(), copy, fs::copy_options::overwrite_existing);
        const char* keys[] = {"CartridgeChannelDetectedOffset", "CartridgeChannelDetectedRotation",
                              "CartridgeChannelDetectedRotationCenterX", "CartridgeChannelDetectedRotationCenterY"};
        const char* values[] = {c.offset, c.rotation, c.centreX, c.centreY};
        for (int i = 0; i < 4; ++i) {
            if (values[i])
                ASSERT_TRUE(Tovanix::E_WritePrivateProfileString("Cartridge", keys[i], values[i], copy.c_str()));
        }
        SetLiveRotation(LiveRotation{0.5, 1, 2, 3});
        ASSERT_EQ(Run("StartDisplayRotationCorrectedImages();"), "ok");
        const LiveRotation rotation = GetLiveRotation();
        if (c.applied) {
            EXPECT_EQ(rotation.offset, 12);
            EXPECT_EQ(rotation.angle, 0.01);
            EXPECT_EQ(rotation.centerX, 1224);
            EXPECT_EQ(rotation.centerY, 1024);
        } else {
            EXPECT_EQ(rotation.offset, 0);
            EXPECT_EQ(rotation.angle, 0.0);
            EXPECT_EQ(rotation.centerX, 0);
            EXPECT_EQ(rotation.centerY, 0);
        }
    }
}

TEST_F(SplitLineCommandTest, DetectionWithoutSettingsCopyOrCameraWritesNothingAndSucceeds)
{
    // No experiment: the frames are grabbed, nothing is stored anywhere.
    WriteSettings(kImageTypes);
    const auto before = Files(root);
    const int grabs = Device().counters.grabs;
    ASSERT_EQ(Run("AutoDetectSplitLineZeroPosition();"), "ok");
    EXPECT_EQ(Device().counters.grabs, grabs + 2);
    EXPECT_EQ(Files(root), before);
    EXPECT_EQ(LogText().find("could not store"), std::string::npos);

    // No camera: the experiment's copy keeps no detection keys.
    WriteSettings("ExperimentDirectory=" + experiment.string() + "\r\n" + kImageTypes);
    delete theApp.m_pCamera;
    theApp.m_pCamera = nullptr;
    ASSERT_EQ(Run("AutoDetectSplitLineZeroPosition();"), "ok");
    EXPECT_EQ(Detected("CartridgeChannelDetectedOffset"), "");
}

}  // namespace
