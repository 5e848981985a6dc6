#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/VelloraApp.h"
#include "app/startup/StartUp.h"
#include "devices/Camera.h"
#include "imaging/LiveView.h"
#include "imaging/RenderList.h"
#include "platform/Sync.h"
#include "platform/UiBridge.h"
#include "sim/VirtualInstrumentSession.h"

namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Put(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::vector<fs::path> Files(const fs::path& folder, const std::string& prefix) {
    std::vector<fs::path> found;
    if (!fs::is_directory(folder)) return found;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().filename().string().rfind(prefix, 0) == 0) found.push_back(entry.path());
    }
    return found;
}

// Start-up on this test's own machine folders, with scripted message boxes.
class StartupTest : public ::testing::Test {
protected:
    void SetUp() override {
        publicDocuments = std::getenv("VELLORA_PUBLIC_DOCUMENTS");
        dataRoot = publicDocuments / "Tessaly" / "Vellora";
    }
    void TearDown() override {
        StopStartupThreads();
        StopLiveViewThread(nullptr);
        StopImageRenderThread();
        ReleaseInstanceLock();
        delete theApp.m_pCamera;
        theApp.m_pCamera = nullptr;
    }

    std::vector<std::string> Boxes() const {
        std::vector<std::string> texts;
        for (const auto& box : ui.ShownBoxes()) texts.push_back(box.text);
        return texts;
    }

    fs::path publicDocuments;
    fs::path dataRoot;
    platform::ScriptedUiBridge ui;
    platform::ScopedUiBridge useUi{ui};
};

TEST_F(StartupTest, FirstStartOnTheVirtualInstrumentComesUpReady) {
    sim::VirtualInstrumentSession instrument;
    std::string error;
    ASSERT_TRUE(instrument.Start(&error)) << error;
    std::vector<std::string> steps;
    StartupWindows windows;
    windows.createDocumentTemplate = [&] { steps.push_back("template"); return true; };
    windows.createMainWindow = [&] { steps.push_back("main window"); return true; };
    windows.createModelessWindows = [&] { steps.push_back("modeless windows"); };
    windows.runUserInterface = [&] { steps.push_back("run user interface"); };
    SetStartupWindows(windows);

    ASSERT_TRUE(theApp.InitInstance());
    SetStartupWindows({});

    // Only the one note that the settings file was made; no question.
    EXPECT_EQ(Boxes(), std::vector<std::string>{"Vellora.ini file is created with default values."});
    EXPECT_EQ(steps, (std::vector<std::string>{"template", "main window", "modeless windows"}))
        << "RunOnStartup is not set in the supplied settings";
    for (const char* folder : {"LOG", "Tmp", "LIB", "Backup"}) EXPECT_TRUE(fs::is_directory(dataRoot / folder));
    EXPECT_TRUE(IsIniValid((dataRoot / "Vellora.ini").c_str(), true));
    EXPECT_TRUE(fs::exists(dataRoot / "Default.ControlPanel"));
    EXPECT_EQ(theApp.m_strFileVersion.str(), ProgramFileVersion());
    EXPECT_EQ(theApp.m_strUsersIniPath.str(), (dataRoot / "Users.ini").string());

    EXPECT_EQ(theApp.m_nPumpComPort, sim::VirtualInstrumentSession::kPumpComPort);
    EXPECT_EQ(theApp.m_nStageComPort, sim::VirtualInstrumentSession::kStageComPort);
    ASSERT_NE(theApp.m_pCamera, nullptr);
    EXPECT_TRUE(theApp.m_pCamera->IsInitialized());

    const fs::path runLog = theApp.m_strRunLogPath.str();
    ASSERT_EQ(runLog.parent_path(), dataRoot / "LOG");
    const std::string text = Read(runLog);
    for (const char* line : {"Tecan pumps detected on COM5", "CameraModel=acA2440-35um\tSN=", "Camera TC\t41.50\r\n",
                             "ImageFile\tDate\tTime\tExposure(us)\tStatus\tError\r\n"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    }
    EXPECT_LT(text.find("Tecan pumps detected"), text.find("CameraModel=")) << "discovery comes first";

    const auto errorLogs = Files(dataRoot / "LOG", "Err_And_Info_");
    ASSERT_EQ(errorLogs.size(), 1u);
    const std::string errors = Read(errorLogs[0]);
    const size_t at = errors.find("Channel 2 initial image intensity: ");
    ASSERT_NE(at, std::string::npos) << errors;
    EXPECT_GT(std::atol(errors.c_str() + at + 35), 0) << "the test grab saw the lit channel";
}

// Every way start-up ends the program before it reaches the instrument.
TEST_F(StartupTest, FatalStepsShowTheirMessageAndEndTheProgram) {
    struct Case {
        const char* name;
        std::function<void(const fs::path& publicDocuments, const fs::path& dataRoot)> arrange;
        std::string message;  // the start of the one box shown
    };
    const std::vector<Case> cases = {
        {"another instance", [](const fs::path&, const fs::path&) {}, "Another instance of Vellora is already running."},
        {"no public documents folder",
         [](const fs::path& documents, const fs::path&) {
             setenv("VELLORA_PUBLIC_DOCUMENTS", (documents / "missing").c_str(), 1);
         },
         "Unable to create directory: "},
        {"settings file cannot be created",
         [](const fs::path&, const fs::path& root) {
             // A file where the supplied default copy's folder belongs.
             Put(root / "Default", "not a folder");
         },
         "Unable to create Vellora.ini file."},
        {"invalid settings file without a backup",
         [](const fs::path&, const fs::path& root) {
             Put(root / "Vellora.ini", "[CalibrationSettings]\r\nimage_pixels_per_mm=x\r\n");
         },
         "The Vellora.ini file is corrupted. Please: \n1) Select an Vellora.ini backup in '"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(dataRoot);
        ui.Clear();
        c.arrange(publicDocuments, dataRoot);
        std::unique_ptr<platform::SingleInstanceLock> other;
        if (c.message.rfind("Another instance", 0) == 0) {
            other = std::make_unique<platform::SingleInstanceLock>(platform::kInstanceMutexName);
            ASSERT_TRUE(other->Acquire());
        }
        bool mainWindowMade = false;
        StartupWindows windows;
        windows.createMainWindow = [&] { return mainWindowMade = true; };
        SetStartupWindows(windows);

        EXPECT_FALSE(theApp.InitInstance());
        SetStartupWindows({});
        const auto boxes = Boxes();
        ASSERT_FALSE(boxes.empty());
        EXPECT_EQ(boxes.back().rfind(c.message, 0), 0u) << boxes.back();
        EXPECT_FALSE(mainWindowMade);
        EXPECT_EQ(theApp.m_pCamera, nullptr);
        other.reset();
        ReleaseInstanceLock();
        setenv("VELLORA_PUBLIC_DOCUMENTS", publicDocuments.c_str(), 1);
    }
}

TEST_F(StartupTest, MissingDataRootParentNamesTheDataRoot) {
    setenv("VELLORA_PUBLIC_DOCUMENTS", (publicDocuments / "missing").c_str(), 1);
    EXPECT_FALSE(theApp.InitInstance());
    setenv("VELLORA_PUBLIC_DOCUMENTS", publicDocuments.c_str(), 1);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0], "Unable to create directory: " + (publicDocuments / "missing/Tessaly/Vellora").string());
    EXPECT_EQ(ui.ShownBoxes()[0].type, platform::MB_OK | platform::MB_ICONERROR);
    EXPECT_FALSE(fs::exists(publicDocuments / "missing")) << "folders above the maker's are not made";
}

TEST_F(StartupTest, CorruptSettingsFileIsRestoredFromAValidBackupAndStartUpGoesOn) {
    sim::VirtualInstrumentSession instrument;
    std::string error;
    ASSERT_TRUE(instrument.Start(&error)) << error;
    const std::string valid =
        "[CalibrationSettings]\r\nimage_pixels_per_mm=310.5\r\n[TecanCentris]\r\nPump2SyringeVolume=1250\r\n"
        "[AutoScale]\r\nLowMappingDisplayIntensity=0\r\n";
    Put(dataRoot / "Backup" / "Vellora.ini.bak", valid);
    Put(dataRoot / "Vellora.ini", "[CalibrationSettings]\r\nimage_pixels_per_mm=abc\r\n");

    ASSERT_TRUE(theApp.InitInstance());
    ASSERT_FALSE(Boxes().empty());
    EXPECT_EQ(Boxes()[0], "The Vellora.ini file is corrupted and is retored from the backup.");
    EXPECT_TRUE(IsIniValid((dataRoot / "Vellora.ini").c_str(), true));
    EXPECT_NE(Read(dataRoot / "Vellora.ini").find("image_pixels_per_mm=310.5"), std::string::npos);
}

}  // namespace
