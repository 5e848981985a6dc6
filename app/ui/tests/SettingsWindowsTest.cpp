#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>

#include "app/CartridgeTypes.h"
#include "app/ExperimentSettingsForm.h"
#include "app/tests/AppTestSupport.h"
#include "app/tests/SettingsTestSupport.h"
#include "app/ui/CartridgeDialogs.h"
#include "app/ui/ExperimentSettingsDlg.h"
#include "app/ui/MainFrame.h"
#include "app/ui/ProfileEncryptionDlg.h"
#include "app/ui/SettingsWindows.h"
#include "devices/TecanCentris.h"
#include "devices/ui/ZaberControlPanel.h"
#include "platform/UiBridge.h"
#include "platform/testsupport/QtTestApplication.h"
#include "support/ShellUtils.h"
#include "support/ui/DialogControls.h"
#include "support/ui/FolderBrowser.h"

namespace {

namespace id = ExperimentSettingsId;
using apptest::Bytes;
using apptest::Put;
using settingstest::Value;

template <typename T>
T* Control(const QWidget& dialog, int controlId) {
    T* control = qobject_cast<T*>(Tovanix::GetDlgItem(&dialog, controlId));
    EXPECT_NE(control, nullptr) << controlId;
    return control;
}

// A data root of the test's own, message boxes answered and recorded, and
// programs recorded instead of started.
class SettingsWindowTest : public apptest::DataRootTest {
protected:
    void SetUp() override {
        testsupport::EnsureApplication();
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
    std::vector<std::string> Boxes() const {
        std::vector<std::string> texts;
        for (const auto& box : bridge.ShownBoxes()) texts.push_back(box.text);
        return texts;
    }

    platform::ScriptedUiBridge bridge;
    platform::ScopedUiBridge installed{bridge};
    std::vector<std::string> started;
};

using ExperimentSettingsDlgTest = SettingsWindowTest;

TEST_F(ExperimentSettingsDlgTest, ChangesAreWrittenWhenTheDebounceTimerRunsOut) {
    Put(IniPath(), "[ExperimentSettings]\r\nImageCapturePeriod=3000\r\nIsActive1=TRUE\r\n");
    ExperimentSettingsDlg dialog;
    auto* period = Control<QLineEdit>(dialog, id::ImageCapturePeriod);
    EXPECT_EQ(period->text(), "3000");
    EXPECT_TRUE(Control<QCheckBox>(dialog, id::IsActive1)->isChecked());
    EXPECT_FALSE(dialog.SaveTimer().isActive());

    // Typing schedules the save a second later; nothing is written before.
    QTest::keyClicks(period, "5");
    EXPECT_TRUE(dialog.SaveTimer().isActive());
    EXPECT_EQ(dialog.SaveTimer().interval(), ExperimentSettingsDlg::kEditDelayMs);
    EXPECT_EQ(Value("ExperimentSettings", "ImageCapturePeriod", IniPath()), "3000");
    dialog.OnTimer();
    EXPECT_FALSE(dialog.SaveTimer().isActive());
    EXPECT_EQ(Value("ExperimentSettings", "ImageCapturePeriod", IniPath()), "30005");

    // Check boxes schedule it sooner.
    Control<QCheckBox>(dialog, id::InitializeTecanPumps)->click();
    EXPECT_EQ(dialog.SaveTimer().interval(), ExperimentSettingsDlg::kCheckDelayMs);
    Control<QCheckBox>(dialog, id::IsActive1)->click();
    EXPECT_EQ(dialog.SaveTimer().interval(), ExperimentSettingsDlg::kActiveTypeDelayMs);
    dialog.OnTimer();
    EXPECT_EQ(Value("ExperimentSettings", "IsActive1", IniPath()), "FALSE");

    // A refused value is shown; the edit keeps it and the file its old value.
    period->setText("-1");
    dialog.OnTimer();
    EXPECT_EQ(Boxes(), std::vector<std::string>{"Image capture period must be between 0 and 3600000. Where 0 indicates "
                                                "that only a single image will be acquired and saved per active image "
                                                "type."});
    EXPECT_EQ(period->text(), "-1");
    EXPECT_EQ(Value("ExperimentSettings", "ImageCapturePeriod", IniPath()), "30005");

    // Done saves at once and closes.
    period->setText("25");
    Control<QPushButton>(dialog, id::Done)->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(dialog.SaveTimer().isActive());
    EXPECT_EQ(Value("ExperimentSettings", "ImageCapturePeriod", IniPath()), "25");
}

TEST_F(ExperimentSettingsDlgTest, PumpGapGoesToTheDriverAtOnce) {
    g_PumpMinTimeBetweenCommandsMs = 0;
    ExperimentSettingsDlg dialog;
    auto* gap = Control<QLineEdit>(dialog, id::PumpMinTimeBetweenCommands);
    gap->setText("500");
    dialog.OnTimer();
    EXPECT_EQ(g_PumpMinTimeBetweenCommandsMs, 500);
    EXPECT_EQ(Value("TecanCentris", "min_time_between_commands_ms", IniPath()), "500");

    gap->setText("1500");
    dialog.OnTimer();
    EXPECT_EQ(Boxes(), std::vector<std::string>{"TecanCentris::SetMinimumTimeBetweenCommands (1500) maximum delay is 1000 ms"});
    EXPECT_EQ(g_PumpMinTimeBetweenCommandsMs, 500);
    EXPECT_EQ(Value("TecanCentris", "min_time_between_commands_ms", IniPath()), "500");
    g_PumpMinTimeBetweenCommandsMs = 0;
}

TEST_F(ExperimentSettingsDlgTest, ButtonsBrowseOpenFilesAndRemakeTheStagePanel) {
    Tovanix::SetFolderDialog([](const std::string& title, const std::string&, std::string* chosen) {
        EXPECT_EQ(title, "Select Data Directory...");
        *chosen = "/chosen/folder";
        return true;
    });
    Put(IniPath(), "[ExperimentSettings]\r\nImageCaptureCount=5\r\n");
    theApp.m_strRunLogPath = (dataRoot / "LOG" / "20261211-0300-00.log").c_str();
    ExperimentSettingsDlg dialog;

    Control<QPushButton>(dialog, id::Browse)->click();
    EXPECT_EQ(Control<QLineEdit>(dialog, id::DataDirectory)->text(), "/chosen/folder");
    EXPECT_EQ(dialog.SaveTimer().interval(), ExperimentSettingsDlg::kEditDelayMs);
    Tovanix::SetFolderDialog({});

    Control<QPushButton>(dialog, id::OpenSettingsFile)->click();
    Control<QPushButton>(dialog, id::OpenRunLog)->click();
    EXPECT_EQ(started, (std::vector<std::string>{IniPath().string(), theApp.m_strRunLogPath.str()}));
    theApp.m_strRunLogPath = "";

    // The enciphered settings file is not handed to the editor.
    settingstest::ScopedKeyFile key(folder);
    Tovanix::String error;
    ASSERT_TRUE(Tovanix::E_EncryptFile(IniPath().c_str(), error));
    Control<QPushButton>(dialog, id::OpenSettingsFile)->click();
    EXPECT_EQ(Boxes(), std::vector<std::string>{"File is encrypted. Can't edit it."});
    EXPECT_EQ(started.size(), 2u);

    // The stage panel is made anew after its start-up settings change.
    g_ZaberControlPanel = new ZaberControlPanel(nullptr);
    Control<QCheckBox>(dialog, id::InitializeZaberXAxis)->click();
    EXPECT_EQ(g_ZaberControlPanel, nullptr);
    EXPECT_EQ(dialog.SaveTimer().interval(), ExperimentSettingsDlg::kCheckDelayMs);
}

using ProfileEncryptionDlgTest = SettingsWindowTest;

TEST_F(ProfileEncryptionDlgTest, BoxesShowAndSwitchEachFilesState) {
    settingstest::ScopedKeyFile key(folder);
    const std::filesystem::path users = dataRoot / "Users.ini";
    Put(IniPath(), "[ExperimentSettings]\r\nImageCaptureCount=5\r\n");
    Put(users, "[Users]\r\nadmin=secret\r\n");
    Tovanix::String error;
    ASSERT_TRUE(Tovanix::E_EncryptFile(users.c_str(), error));

    ProfileEncryptionDlg dialog;
    auto* mainBox = Control<QCheckBox>(dialog, ProfileEncryptionDlg::IDC_MAIN_INI);
    auto* usersBox = Control<QCheckBox>(dialog, ProfileEncryptionDlg::IDC_USERS_INI);
    EXPECT_FALSE(mainBox->isChecked());
    EXPECT_TRUE(usersBox->isChecked());

    mainBox->click();
    EXPECT_TRUE(dialog.Timer(ProfileEncryptionDlg::IDT_MAIN_INI).isActive());
    dialog.OnTimer(ProfileEncryptionDlg::IDT_MAIN_INI);
    EXPECT_TRUE(Tovanix::HasEncryptedHeader(Bytes(IniPath())));
    EXPECT_TRUE(Tovanix::IsFileToBeEncrypted(IniPath().c_str()));

    // Edit deciphers Users.ini for the text editor and unchecks its box.
    Control<QPushButton>(dialog, ProfileEncryptionDlg::IDC_EDIT_USERS_INI)->click();
    EXPECT_EQ(Bytes(users), "[Users]\r\nadmin=secret\r\n");
    EXPECT_FALSE(usersBox->isChecked());
    EXPECT_EQ(started, std::vector<std::string>{users.string()});
    struct stat info {};
    ASSERT_EQ(::stat(users.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0077, 0u);

    // Edit on a plain file does nothing.
    mainBox->click();
    dialog.OnTimer(ProfileEncryptionDlg::IDT_MAIN_INI);
    EXPECT_EQ(Bytes(IniPath()), "[ExperimentSettings]\r\nImageCaptureCount=5\r\n");
    Control<QPushButton>(dialog, ProfileEncryptionDlg::IDC_EDIT_MAIN_INI)->click();
    EXPECT_EQ(started.size(), 1u);
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(ProfileEncryptionDlgTest, WithoutKeyFileTheBoxStaysCheckedAndTheStoreSaysWhy) {
    Put(IniPath(), "[ExperimentSettings]\r\nImageCaptureCount=5\r\n");
    ProfileEncryptionDlg dialog;
    QApplication::processEvents();
    // Users.ini does not exist: said once the window is up.
    EXPECT_EQ(Boxes(), std::vector<std::string>{"Tovanix::E_IsFileEncrypted() : file does not exist: " +
                                                (dataRoot / "Users.ini").string()});
    bridge.Clear();

    auto* mainBox = Control<QCheckBox>(dialog, ProfileEncryptionDlg::IDC_MAIN_INI);
    mainBox->click();
    dialog.OnTimer(ProfileEncryptionDlg::IDT_MAIN_INI);
    EXPECT_EQ(Boxes(), std::vector<std::string>{"Tovanix::encrypt() : internal error #1."});
    EXPECT_TRUE(mainBox->isChecked());
    EXPECT_EQ(Bytes(IniPath()), "[ExperimentSettings]\r\nImageCaptureCount=5\r\n");
}

using CartridgeDialogsTest = SettingsWindowTest;

TEST_F(CartridgeDialogsTest, ExperimentNameIsCorrectedUntilAcceptedThenTheExperimentIsCreated) {
    Put(IniPath(), "[ExperimentSettings]\r\nExperimentName=Previous run\r\n");
    std::vector<std::string> created;
    PromptForExperimentNameDlg dialog([&](const std::string& name, CString&) {
        created.push_back(name);
        return true;
    });
    dialog.m_nCartridgeTypeIndex = 0;
    dialog.show();
    auto* name = Control<QLineEdit>(dialog, CartridgeDialogId::ExperimentName);
    EXPECT_EQ(name->text(), "Previous run");
    EXPECT_TRUE(Control<QRadioButton>(dialog, CartridgeDialogId::Radio0)->isChecked());

    name->setText("a:b");
    dialog.OnOK();
    EXPECT_EQ(name->text(), "a_b");
    EXPECT_NE(dialog.result(), QDialog::Accepted);

    name->setText(QString(40, 'x'));
    dialog.OnOK();
    EXPECT_EQ(name->text(), QString(32, 'x'));
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"Invalid characters removed from file name.",
                                                 "Experiment name truncated at 32 characters."}));
    EXPECT_TRUE(created.empty());

    Control<QRadioButton>(dialog, CartridgeDialogId::Radio2)->click();
    dialog.OnOK();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(created, std::vector<std::string>{std::string(32, 'x')});
    EXPECT_EQ(dialog.m_nCartridgeTypeIndex, 2);
    EXPECT_STREQ(theApp.m_strCartridgeTypeCode.c_str(), kCartridgeTypeCodes[2]);
    theApp.m_strCartridgeTypeCode = "";
}

TEST_F(CartridgeDialogsTest, AFailedExperimentCreationIsShownAndTheWindowStays) {
    PromptForExperimentNameDlg dialog([](const std::string&, CString& error) {
        error = "CreateNewExperiment() - no room";
        return false;
    });
    dialog.show();
    Control<QLineEdit>(dialog, CartridgeDialogId::ExperimentName)->setText("Run");
    dialog.OnOK();
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(Boxes(), std::vector<std::string>{"CreateNewExperiment() - no room"});
    theApp.m_strCartridgeTypeCode = "";
}

TEST_F(CartridgeDialogsTest, CartridgeChoiceShowsThePresetAndReturnsTheChosenCode) {
    CSelectCartridgeDlg dialog;
    dialog.m_nCartridgeTypeIndex = CartridgeChoiceOfCode("999-001-0001");
    dialog.show();
    EXPECT_TRUE(Control<QRadioButton>(dialog, CartridgeDialogId::Radio0)->isChecked());
    EXPECT_EQ(Control<QRadioButton>(dialog, CartridgeDialogId::Radio3)->text().toStdString(),
              CartridgeChoiceLabel(3, false));

    Control<QRadioButton>(dialog, CartridgeDialogId::Radio3)->click();
    Control<QPushButton>(dialog, platform::IDOK)->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.m_nCartridgeTypeIndex, 3);
    EXPECT_STREQ(dialog.GetCartridgeTypeCode(), kCartridgeTypeCodes[3]);
}

}  // namespace

namespace {

// The main window's commands open the windows modally.
TEST_F(SettingsWindowTest, MainWindowCommandsOpenTheSettingsWindows) {
    Put(IniPath(), "[ExperimentSettings]\r\nImageCaptureCount=5\r\n");
    CMainFrame frame;
    bool created = false;
    InstallSettingsWindows(frame.Commands(), &frame, [&created](const std::string&, CString&) {
        created = true;
        return true;
    });
    struct Case {
        int command;
        const char* title;
        int closeWith;
    };
    const Case cases[] = {
        {cmd::ExperimentSettings, "Experiment Settings", id::Done},
        {cmd::EncryptedProfiles, "Profile Encryption", platform::IDOK},
        {cmd::StartExperimentWorkflow, "Update Experiment Name", platform::IDCANCEL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        std::string shown;
        QTimer::singleShot(10, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            ASSERT_NE(dialog, nullptr);
            shown = dialog->windowTitle().toStdString();
            QMetaObject::invokeMethod(Tovanix::GetDlgItem(dialog, c.closeWith), "click");
        });
        EXPECT_TRUE(frame.OnCommand(c.command));
        EXPECT_EQ(shown, c.title);
    }
    // A cancelled name starts nothing.
    EXPECT_FALSE(created);
    EXPECT_FALSE(theApp.m_bWorkflowRunning);
}

}  // namespace
