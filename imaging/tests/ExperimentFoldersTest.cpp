#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/CartridgeTypes.h"
#include "imaging/ExperimentFolders.h"
#include "imaging/tests/CaptureTestSupport.h"
#include "support/Profile.h"

namespace {

using capturetest::ReadText;

class ExperimentFoldersTest : public capturetest::CaptureChainTest {
protected:
    std::string Key(const char* key) {
        char value[1024] = {};
        Tovanix::E_GetPrivateProfileString("ExperimentSettings", key, "", value, sizeof value, g_IniPath);
        return value;
    }
    std::string data() const { return (root / "Data").string(); }
};

TEST_F(ExperimentFoldersTest, DailyFoldersOnOrOffGiveTheLayoutAndTheFourKeys) {
    struct Case {
        const char* daily;          // CreateDailySubDirectory line, empty: key missing
        const char* trailing;       // appended to DataDirectory
        const char* expectedParent; // below <root>/Data
    };
    const Case cases[] = {
        {"", "", "20240315"},
        {"CreateDailySubDirectory=TRUE\r\n", "\\", "20240315"},
        {"CreateDailySubDirectory=false\r\n", "", ""},
        {"CreateDailySubDirectory=FaLsE\r\n", "/", ""},
    };
    int second = 7;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.daily) + "|" + c.trailing);
        clock.SetWallTime(capturetest::LocalTime(2024, 3, 15, 9, 42, second));
        WriteSettings("DataDirectory=" + data() + c.trailing + "\r\n" + c.daily);
        CString error;
        ASSERT_TRUE(CreateNewExperiment("Run3", error)) << error.GetString();

        char full[64];
        std::snprintf(full, sizeof full, "20240315-0942-%02d_Run3", second);
        const std::filesystem::path parent = std::string(c.expectedParent).empty()
                                                 ? root / "Data"
                                                 : root / "Data" / c.expectedParent;
        const std::filesystem::path folder = parent / full;
        EXPECT_TRUE(std::filesystem::is_directory(folder / "Images"));
        EXPECT_EQ(Key("ExperimentFullName"), full);
        EXPECT_EQ(Key("ExperimentImageNamePrefix"), full);
        EXPECT_EQ(Key("ExperimentDirectory"), folder.string());
        EXPECT_EQ(Key("ExperimentFile"), (folder / "ExperimentSettings.ini").string());
        EXPECT_EQ(Key("ExperimentDirectory").find("//"), std::string::npos);

        // The copy holds the keys of its own experiment; the backup is the
        // main file as it stands.
        const std::string copy = ReadText(folder / "ExperimentSettings.ini");
        EXPECT_NE(copy.find(std::string("ExperimentFullName=") + full), std::string::npos);
        EXPECT_EQ(ReadText(root / "Backup" / "Vellora.ini.bak"), ReadText(g_IniPath.str()));
        ++second;
    }
}

TEST_F(ExperimentFoldersTest, EmptyDataDirectoryUsesTheDataRoot) {
    WriteSettings("CreateDailySubDirectory=FALSE\r\n");
    CString error;
    ASSERT_TRUE(CreateNewExperiment("Manual_Image_Capture", error)) << error.GetString();
    EXPECT_TRUE(std::filesystem::is_directory(root / "20240315-0942-07_Manual_Image_Capture" / "Images"));
}

TEST_F(ExperimentFoldersTest, OnlyOneMissingLevelIsCreated) {
    const std::string missing = (root / "NoSuchParent" / "Data").string();
    WriteSettings("DataDirectory=" + missing + "\r\n");
    CString error;
    EXPECT_FALSE(CreateNewExperiment("Run3", error));
    EXPECT_EQ(error.str(), "Unable to create directory: " + missing + " : directory name contains invalid character(s)");
    EXPECT_FALSE(std::filesystem::exists(root / "NoSuchParent"));
}

TEST_F(ExperimentFoldersTest, SameNameInTheSameSecondFailsOnTheSettingsCopy) {
    WriteSettings("DataDirectory=" + data() + "\r\nCreateDailySubDirectory=FALSE\r\n");
    CString error;
    ASSERT_TRUE(CreateNewExperiment("Run3", error));
    EXPECT_FALSE(CreateNewExperiment("Run3", error));
    const std::string copy = (root / "Data" / "20240315-0942-07_Run3" / "ExperimentSettings.ini").string();
    EXPECT_EQ(error.str(), "Problem copying " + g_IniPath.str() + " -> " + copy);
}

TEST_F(ExperimentFoldersTest, CartridgeOffsetsGoIntoTheCopyAndTheMainFile) {
    WriteSettings("DataDirectory=" + data() + "\r\nCreateDailySubDirectory=FALSE\r\n");
    theApp.m_strCartridgeTypeCode = "410-001-0001";
    std::vector<std::string> written;
    SetCartridgeOffsetsWriter([&](const char* file, const char* code, CString& error) {
        written.push_back(std::string(file) + "|" + code);
        if (written.size() == 2) {
            error = "ImposeCartridgeTypeOffsets() - no cartridge type for 410-001-0001";
            return false;
        }
        return true;
    });
    CString error;
    EXPECT_FALSE(CreateNewExperiment("Run3", error));
    EXPECT_EQ(error.str(), "ImposeCartridgeTypeOffsets() - no cartridge type for 410-001-0001");
    ASSERT_EQ(written.size(), 2u);
    EXPECT_EQ(written[0], (root / "Data" / "20240315-0942-07_Run3" / "ExperimentSettings.ini").string() +
                              "|410-001-0001");
    EXPECT_EQ(written[1], g_IniPath.str() + "|410-001-0001");
}

TEST_F(ExperimentFoldersTest, CatalogueOffsetsAreImposedOnBothFiles) {
    SetCartridgeOffsetsWriter(nullptr);
    imagingtest::WriteText(root / "Cartridge" / "K4.1.ini",
                           "[General]\r\nType=K4.1\r\n[BarcodeFormats]\r\nf01=###-###-####\r\n[BarcodeIDs]\r\nids=410\r\n"
                           "[OffsetsInMicron]\r\nUpperChannelOffset=100\r\nLowerChannelOffset=-100\r\n"
                           "[SampleLoadInMicroLitre]\r\nSampleAspirateVolume=270\r\n");
    CString error;
    ASSERT_TRUE(LoadCartridgeTypes(error)) << error.GetString();
    otherSections = "[CalibrationSettings]\r\nimage_pixels_per_mm=200\r\nUpperChannel=700\r\nLowerChannel=1300\r\n";
    WriteSettings("DataDirectory=" + data() + "\r\nCreateDailySubDirectory=FALSE\r\n");

    theApp.m_strCartridgeTypeCode = "";
    EXPECT_FALSE(CreateNewExperiment("NoCartridge", error)) << "an experiment needs a known cartridge";

    clock.SetWallTime(capturetest::LocalTime(2024, 3, 15, 9, 42, 8));
    theApp.m_strCartridgeTypeCode = "410-001-0001";
    ASSERT_TRUE(CreateNewExperiment("Run3", error)) << error.GetString();
    const auto copy = root / "Data" / "20240315-0942-08_Run3" / "ExperimentSettings.ini";
    for (const std::string& file : {copy.string(), g_IniPath.str()}) {
        char rows[2][32] = {};
        Tovanix::E_GetPrivateProfileString("Cartridge", "CartridgeUpperChannel", "", rows[0], 32, file.c_str());
        Tovanix::E_GetPrivateProfileString("Cartridge", "CartridgeLowerChannel", "", rows[1], 32, file.c_str());
        EXPECT_STREQ(rows[0], "720") << file;
        EXPECT_STREQ(rows[1], "1280") << file;
    }
    g_CartridgeTypes.RemoveAll();
}

TEST_F(ExperimentFoldersTest, ResumeAppendsToThePrefixEachTime) {
    WriteSettings("ExperimentImageNamePrefix=20240315-0942-07_Run3\r\nExperimentFullName=20240315-0942-07_Run3\r\n");
    CString error = "old";
    EXPECT_TRUE(ResumeExperiment(error));
    EXPECT_TRUE(error.IsEmpty());
    EXPECT_TRUE(ResumeExperiment(error));
    EXPECT_EQ(Key("ExperimentImageNamePrefix"), "20240315-0942-07_Run3_Resumed_Resumed");
    EXPECT_EQ(Key("ExperimentFullName"), "20240315-0942-07_Run3");
}

TEST_F(ExperimentFoldersTest, DiskSpaceAgainstActiveTypesTimesTheGigabytesPerType) {
    constexpr uint64_t kGb = uint64_t{1} << 30;
    struct Case {
        const char* keys;
        uint64_t freeBytes;
        bool enough;
        const char* numbers;  // "required/free" of the question
    };
    const Case cases[] = {
        {"IsActive1=TRUE\r\nIsActive3=true\r\nDiskSpaceCheckMBPerChannel=5\r\n", 9 * kGb + 7 * kGb / 10, false,
         "10/9"},
        {"IsActive1=TRUE\r\nIsActive3=true\r\nDiskSpaceCheckMBPerChannel=5\r\n", 10 * kGb + kGb / 5, true, ""},
        {"IsActive1=TRUE\r\nIsActive2=TRUE\r\nDiskSpaceCheckMBPerChannel=x\r\n", 9 * kGb, false, "10/9"},
        {"IsActive1=FALSE\r\n", 0, true, ""},
    };
    std::string checked;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        SetDiskFreeSpaceQuery([&](const std::string& path, uint64_t* freeBytes, int*) {
            checked = path;
            *freeBytes = c.freeBytes;
            return true;
        });
        WriteSettings(std::string("DataDirectory=") + data() + "\r\n" + c.keys);
        CString message;
        EXPECT_EQ(CheckDiskSpaceForImageCapture(message), c.enough);
        EXPECT_EQ(checked, data());
        if (!c.enough) {
            std::string numbers = c.numbers;
            const std::string required = numbers.substr(0, numbers.find('/'));
            const std::string available = numbers.substr(numbers.find('/') + 1);
            EXPECT_EQ(message.Find(("Recommended disk space for this operation is " + required +
                                    " GB. You have " + available + " GB available.\n\nPlease delete files")
                                       .c_str()),
                      0)
                << message.GetString();
            EXPECT_NE(message.Find("red Record button."), -1);
        }
    }
    EXPECT_NE(LogText().find("disk_space_gb=0 check_path=" + data()), std::string::npos);
}

TEST_F(ExperimentFoldersTest, DriveLetterPathsCheckTheDriveRoot) {
    std::string checked;
    SetDiskFreeSpaceQuery([&](const std::string& path, uint64_t*, int* code) {
        checked = path;
        *code = 3;
        return false;
    });
    WriteSettings("DataDirectory=D:\\Data\\Runs\r\n");
    CString message;
    EXPECT_FALSE(CheckDiskSpaceForImageCapture(message));
    EXPECT_EQ(message.str(), "Unable to check for available disk space at location: D:\\");
    EXPECT_NE(LogText().find("GetDiskFreeSpaceEx() D:\\ fails, err=3"), std::string::npos);

    WriteSettings("DataDirectory=C:\r\n");
    EXPECT_FALSE(CheckDiskSpaceForImageCapture(message));
    EXPECT_EQ(message.str(), "Unable to check for available disk space at location: C:");
}

TEST_F(ExperimentFoldersTest, RealFreeSpaceOfTheDataRootIsReadable) {
    WriteSettings("IsActive1=TRUE\r\nDiskSpaceCheckMBPerChannel=0\r\n");
    CString message;
    EXPECT_TRUE(CheckDiskSpaceForImageCapture(message)) << message.GetString();
}

}  // namespace
