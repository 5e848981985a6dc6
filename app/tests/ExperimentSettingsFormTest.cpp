#include "app/ExperimentSettingsForm.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/tests/AppTestSupport.h"
#include "app/tests/SettingsTestSupport.h"
#include "support/ShellUtils.h"

namespace {

namespace id = ExperimentSettingsId;
using settingstest::Value;

class ExperimentSettingsFormTest : public apptest::DataRootTest {
protected:
    // The pump driver's rule: at most 1000 ms.
    std::vector<std::string> Save(const ExperimentSettingsValues& values) {
        return SaveExperimentSettings(values, IniPath().c_str(), [this](uint16_t ms, Tovanix::String* error) {
            gaps.push_back(ms);
            if (ms > 1000) {
                *error = "driver refuses";
                return false;
            }
            return true;
        });
    }
    std::vector<int> gaps;
};

TEST_F(ExperimentSettingsFormTest, EachValueIsCheckedAndAcceptedOnesAreWrittenAsTyped) {
    const std::string kMissing = "<missing>";
    struct Case {
        int control;
        const char* section;
        const char* key;
        std::string typed;
        std::string message;  // empty: accepted and written as typed
    };
    const std::string count = "Image capture period must be between 1 and 10000.";
    const std::string sat = "Saturation pixel threshold must be an integer between 0 and 64K.";
    const std::string dark = "Dark pixel threshold must be an integer between 0 and 1024.";
    const std::string scale = "MonitorScaleFactor must be between 0.333 and 3.0";
    const std::string name1 = "ImageTypeName1 has invalid characters, only valid Windows file name characters allowed.";
    const std::string experiment =
        "ExperimentName has invalid characters, only valid Windows file name characters allowed.";
    const std::string steps = "ZaberStepsPerMM must be a floating point value between 1000 and 100000";
    const std::string gap = "Tecan: Min time between commands must be between 0 and 2000 ms";
    const char* E = "ExperimentSettings";
    const char* Z = "Zaber";
    const char* T = "TecanCentris";
    const std::vector<Case> cases = {
        {id::ImageCapturePeriod, E, "ImageCapturePeriod", "25", ""},
        {id::ImageCapturePeriod, E, "ImageCapturePeriod", "12abc", ""},
        {id::ImageCapturePeriod, E, "ImageCapturePeriod", "3600001",
         "Image capture period must be between 0 and 3600000. Where 0 indicates that only a single image will be "
         "acquired and saved per active image type."},
        {id::ImageCaptureCount, E, "ImageCaptureCount", "0", count},
        {id::ImageCaptureCount, E, "ImageCaptureCount", "10001", count},
        {id::ImageCaptureCount, E, "ImageCaptureCount", "1", ""},
        {id::ImageCaptureCount, E, "ImageCaptureCount", "10000", ""},
        {id::ImageCaptureCount, E, "ImageCaptureCount", "99999999999999999999", count},
        {id::SatPixelThreshold, E, "SatPixelThreshold", "1000", sat},
        {id::SatPixelThreshold, E, "SatPixelThreshold", "65536", ""},
        {id::SatPixelThreshold, E, "SatPixelThreshold", "65537", sat},
        {id::DarkPixelThreshold, E, "DarkPixelThreshold", "-5", dark},
        {id::DarkPixelThreshold, E, "DarkPixelThreshold", "abc", dark},
        {id::DarkPixelThreshold, E, "DarkPixelThreshold", "1024", ""},
        {id::DarkPixelsMaxFraction, E, "DarkPixelsMaxFraction", "1",
         "Dark pixels max fraction must be a floating point number between 0 and 0.999"},
        {id::SatPixelsMaxFraction, E, "SatPixelsMaxFraction", "0.999", ""},
        {id::SatPixelsMaxFraction, E, "SatPixelsMaxFraction", "-0.1",
         "Saturated pixels max fraction must be a floating point number between 0 and 0.999"},
        {id::MonitorScaleFactor, E, "MonitorScaleFactor", "3.0", scale},
        {id::MonitorScaleFactor, E, "MonitorScaleFactor", "2.999", ""},
        {id::MonitorScaleFactor, E, "MonitorScaleFactor", "0.333", ""},
        {id::MonitorScaleFactor, E, "MonitorScaleFactor", "0.3", scale},
        {id::MonitorScaleFactor, E, "MonitorScaleFactor", "", ""},
        {id::AspectRatio, E, "AspectRatio", "16:9 or so", ""},
        {id::DataDirectory, E, "DataDirectory", "/data/runs", ""},
        {id::ImageTypeName1, E, "ImageTypeName1", "A/B", name1},
        {id::ImageTypeName1, E, "ImageTypeName1", "a b", ""},
        {id::ImageTypeName4, E, "ImageTypeName4", "x?",
         "ImageTypeName4 has invalid characters, only valid Windows file name characters allowed."},
        // Long names are examined to their end as well.
        {id::ExperimentName, E, "ExperimentName", std::string(300, 'n') + ":", experiment},
        {id::ExperimentName, E, "ExperimentName", std::string(250, 'n'), ""},
        {id::ImageTypeExposure1, E, "ImageTypeExposure1", "20", "exposure must be at least 29 us"},
        {id::ImageTypeExposure2, E, "ImageTypeExposure2", "abc", "exposure must be at least 29 us"},
        {id::ImageTypeExposure3, E, "ImageTypeExposure3", "1000001", "exposure must be no more than 1000000 us"},
        {id::ImageTypeExposure4, E, "ImageTypeExposure4", "29", ""},
        {id::ImageTypeExposure4, E, "ImageTypeExposure4", "", ""},
        {id::ZaberXAxisIndex, Z, "ZaberXAxisIndex", "0", "ZaberXAxisIndex must be an integer between 1 and 99"},
        {id::ZaberFocusDeviceIndex, Z, "ZaberFocusDeviceIndex", "100",
         "ZaberFocusDeviceIndex must be an integer between 1 and 99"},
        {id::ZaberFocusAxisIndex, Z, "ZaberFocusAxisIndex", "99", ""},
        {id::ZaberXAxisDeviceIndex, Z, "ZaberXAxisDeviceIndex", "x",
         "ZaberXAxisDeviceIndex must be an integer between 1 and 99"},
        {id::ZaberStepsPerMM_Z, Z, "ZaberStepsPerMM_Z", "999", steps},
        {id::ZaberStepsPerMM_X, Z, "ZaberStepsPerMM_X", "steps", steps},
        {id::ZaberStepsPerMM_X, Z, "ZaberStepsPerMM_X", "100000", ""},
        {id::PumpMinTimeBetweenCommands, T, "min_time_between_commands_ms", "2001", gap},
        {id::PumpMinTimeBetweenCommands, T, "min_time_between_commands_ms", "-1", gap},
        {id::PumpMinTimeBetweenCommands, T, "min_time_between_commands_ms", "1500", "driver refuses"},
        {id::PumpMinTimeBetweenCommands, T, "min_time_between_commands_ms", "500", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " = " + c.typed.substr(0, 40));
        std::filesystem::remove(IniPath());
        ExperimentSettingsValues values = LoadExperimentSettings(IniPath().c_str(), dataRoot.c_str());
        values.texts[c.control] = c.typed;

        const std::vector<std::string> messages = Save(values);

        if (c.message.empty()) {
            EXPECT_TRUE(messages.empty()) << messages.front();
            EXPECT_EQ(Value(c.section, c.key, IniPath()), c.typed);
        } else {
            EXPECT_EQ(messages, std::vector<std::string>{c.message});
            EXPECT_EQ(Value(c.section, c.key, IniPath()), kMissing);
        }
        // A refused value does not keep the others from being written.
        if (c.control != id::ImageCaptureCount) {
            EXPECT_EQ(Value(E, "ImageCaptureCount", IniPath()), "100");
        }
        if (c.control != id::PumpMinTimeBetweenCommands) {
            EXPECT_EQ(Value(T, "min_time_between_commands_ms", IniPath()), "0");
        }
    }
}

TEST_F(ExperimentSettingsFormTest, PumpGapReachesTheDriverOnlyWithinTheWindowsRange) {
    ExperimentSettingsValues values = LoadExperimentSettings(IniPath().c_str(), dataRoot.c_str());
    for (const char* typed : {"500", "1500", "2001", "abc", "0"}) {
        values.texts[id::PumpMinTimeBetweenCommands] = typed;
        Save(values);
    }
    EXPECT_EQ(gaps, (std::vector<int>{500, 1500, 0}));
}

TEST_F(ExperimentSettingsFormTest, LoadShowsDefaultsAndReadsCheckBoxesByTheirRules) {
    ExperimentSettingsValues values = LoadExperimentSettings(IniPath().c_str(), dataRoot.c_str());
    EXPECT_EQ(values.texts[id::DataDirectory], dataRoot.string());
    EXPECT_EQ(values.texts[id::SatPixelThreshold], "4000");
    EXPECT_EQ(values.texts[id::ZaberXAxisIndex], "2");
    EXPECT_EQ(values.texts[id::ZaberStepsPerMM_Z], "20997.38");
    EXPECT_EQ(values.texts[id::ImageTypeExposure1], "");
    EXPECT_TRUE(values.checks[id::InitializeTecanPumps]);  // missing: on
    EXPECT_FALSE(values.checks[id::InitializeZaber]);      // missing: off
    EXPECT_FALSE(values.checks[id::CreateDailySubDirectory]);

    apptest::Put(IniPath(),
                 "[ExperimentSettings]\r\nCreateDailySubDirectory=maybe\r\nLockAspectRatio=true\r\nIsActive2=True\r\n"
                 "ImageTypeName2=Channel1\r\nDataDirectory=/somewhere\r\n"
                 "[TecanCentris]\r\nInitializeTecanPumpsOnStartup=false\r\n"
                 "[Zaber]\r\nInitializeZaberOnStartup=TRUE\r\nInitializeZaberXAxisOnStartup=yes\r\n");
    values = LoadExperimentSettings(IniPath().c_str(), dataRoot.c_str());
    EXPECT_EQ(values.texts[id::DataDirectory], "/somewhere");
    EXPECT_EQ(values.texts[id::ImageTypeName2], "Channel1");
    EXPECT_FALSE(values.checks[id::CreateDailySubDirectory]);
    EXPECT_TRUE(values.checks[id::LockAspectRatio]);
    EXPECT_TRUE(values.checks[id::IsActive2]);
    EXPECT_FALSE(values.checks[id::IsActive1]);
    EXPECT_FALSE(values.checks[id::InitializeTecanPumps]);
    EXPECT_TRUE(values.checks[id::InitializeZaber]);
    EXPECT_FALSE(values.checks[id::InitializeZaberXAxis]);

    // Check boxes are written as TRUE or FALSE.
    values.checks[id::InitializeZaberXAxis] = true;
    Save(values);
    EXPECT_EQ(Value("Zaber", "InitializeZaberXAxisOnStartup", IniPath()), "TRUE");
    EXPECT_EQ(Value("TecanCentris", "InitializeTecanPumpsOnStartup", IniPath()), "FALSE");
    EXPECT_EQ(Value("ExperimentSettings", "CreateDailySubDirectory", IniPath()), "FALSE");
}

TEST_F(ExperimentSettingsFormTest, ExposureLimitsComeFromTheOpenCameraWhenTheyMakeSense) {
    apptest::Put(IniPath(), "[Cam A Settings]\r\nmin_exposure_us=50\r\nmax_exposure_us=5000\r\n"
                            "[Cam B Settings]\r\nmin_exposure_us=2\r\nmax_exposure_us=5000\r\n"
                            "[Cam C Settings]\r\nmin_exposure_us=500\r\nmax_exposure_us=400\r\n");
    struct Case {
        const char* model;  // null: no camera
        bool initialized;
        int32_t exposure;
        const char* message;  // null: accepted
    };
    const Case cases[] = {
        {nullptr, false, 20, "exposure must be at least 29 us"},
        {nullptr, false, 29, nullptr},
        {nullptr, false, 1000000, nullptr},
        {"Cam A", true, 49, "exposure must be at least 50 us"},
        {"Cam A", true, 5001, "exposure must be no more than 5000 us"},
        {"Cam A", true, 5000, nullptr},
        {"Cam A", false, 5001, nullptr},  // a closed camera's limits do not count
        {"Cam B", true, 20, "exposure must be at least 29 us"},
        {"Cam C", true, 450, nullptr},
        {"Cam D", true, 28, "exposure must be at least 29 us"},  // no section: defaults
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.model ? c.model : "no camera") + " " + std::to_string(c.exposure));
        settingstest::ScopedCamera camera(c.model ? new settingstest::ModelCamera(c.model, c.initialized) : nullptr);
        CString error;
        EXPECT_EQ(CheckExposureAgainstCameraLimits(c.exposure, error), c.message == nullptr);
        if (c.message) {
            EXPECT_EQ(error.str(), c.message);
        }
    }
}

TEST_F(ExperimentSettingsFormTest, AWriteThatFailsIsReportedOnce) {
    const std::filesystem::path unreachable = dataRoot / "missing" / "Vellora.ini";
    ExperimentSettingsValues values = LoadExperimentSettings(unreachable.c_str(), dataRoot.c_str());
    values.texts[id::ImageCaptureCount] = "0";
    const std::vector<std::string> messages = SaveExperimentSettings(values, unreachable.c_str(), {});
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], "Image capture period must be between 1 and 10000.");
    EXPECT_EQ(messages[1].rfind("ExperimentSettingsDlg::SaveSettings() : unable to write to " + unreachable.string() +
                                    ": DataDirectory CreateDailySubDirectory ExperimentName",
                                0),
              0u)
        << messages[1];
}

class OpenMainSettingsFileTest : public apptest::DataRootTest {
protected:
    void SetUp() override {
        DataRootTest::SetUp();
        Tovanix::SetProcessStarter([this](const std::vector<std::string>& arguments, const std::string&) {
            started.push_back(arguments.back());
            return true;
        });
    }
    void TearDown() override {
        Tovanix::SetProcessStarter({});
        settingstest::ScopedKeyFile::Forget();
        DataRootTest::TearDown();
    }
    std::vector<std::string> started;
};

TEST_F(OpenMainSettingsFileTest, OpensAPlainFileAndRefusesAnEncipheredOne) {
    CString error;
    EXPECT_FALSE(OpenMainSettingsFileForEditing(dataRoot.c_str(), error));
    EXPECT_EQ(error.str(), "Tovanix::E_IsFileEncrypted() : file does not exist: " + IniPath().string());

    apptest::Put(IniPath(), "[ExperimentSettings]\r\nImageCaptureCount=5\r\n");
    ASSERT_TRUE(OpenMainSettingsFileForEditing((dataRoot.string() + "  ").c_str(), error)) << error.str();
    EXPECT_EQ(started, std::vector<std::string>{IniPath().string()});

    settingstest::ScopedKeyFile key(folder);
    Tovanix::String encryptError;
    ASSERT_TRUE(Tovanix::E_EncryptFile(IniPath().c_str(), encryptError)) << encryptError.c_str();
    EXPECT_FALSE(OpenMainSettingsFileForEditing(dataRoot.c_str(), error));
    EXPECT_EQ(error.str(), "File is encrypted. Can't edit it.");
    EXPECT_EQ(started.size(), 1u);
}

}  // namespace
