#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTimer>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/FrameCommands.h"
#include "devices/Pylon_Camera.h"
#include "devices/tests/VirtualInstrumentFixture.h"
#include "devices/ui/CameraSettingsDlg.h"
#include "devices/ui/DeviceWindows.h"
#include "platform/testsupport/QtTestApplication.h"
#include "support/Profile.h"
#include "support/ui/DialogControls.h"

namespace {

constexpr const char* kSection = "acA2440-35um Settings";

class CameraSettingsDlgTest : public VirtualInstrumentTest {
protected:
    void SetUp() override {
        testsupport::EnsureApplication();
        VirtualInstrumentTest::SetUp();
        sim::VirtualCamera::Instance().Attach(sim::CameraMake::Basler);
        g_PylonLastInitAttempt = 0;
        clock.Advance(std::chrono::milliseconds(6000));
        camera = std::make_unique<Pylon_Camera>();
        CString error;
        ASSERT_TRUE(camera->Initialize(&error, false)) << error.GetString();
        theApp.m_pCamera = camera.get();
        theApp.m_nMinTimeBetweenCaptureEventsMs = 100;
        ui.Clear();
    }
    void TearDown() override { theApp.m_pCamera = nullptr; }

    QLineEdit* Edit(QWidget& dlg, int id) { return qobject_cast<QLineEdit*>(Tovanix::GetDlgItem(&dlg, id)); }
    std::string Setting(const char* key) {
        char buffer[256] = {};
        Tovanix::E_GetPrivateProfileString(kSection, key, "<missing>", buffer, sizeof buffer, g_IniPath);
        return buffer;
    }
    std::string LastBox() {
        const auto boxes = ui.ShownBoxes();
        return boxes.empty() ? std::string() : boxes.back().text;
    }

    std::unique_ptr<Pylon_Camera> camera;
};

TEST_F(CameraSettingsDlgTest, WithoutAnInitialisedCameraTheWindowDoesNotOpen) {
    theApp.m_pCamera = nullptr;
    CameraSettingsDlg dlg(nullptr);
    EXPECT_FALSE(dlg.OnInitDialog());
    EXPECT_EQ(dlg.exec(), QDialog::Rejected);
    ASSERT_EQ(ui.ShownBoxes().size(), 2u);
    EXPECT_EQ(LastBox(), "No camera initialized.");

    // The main window's command says so too, and opens nothing.
    CommandRouter commands;
    InstallDeviceWindows(commands, nullptr);
    ASSERT_TRUE(commands.Execute(cmd::CameraSettings));
    EXPECT_EQ(ui.ShownBoxes().size(), 3u);

    Pylon_Camera closed;
    CameraSettingsDlg notInitialised(&closed);
    EXPECT_FALSE(notInitialised.OnInitDialog());
}

TEST_F(CameraSettingsDlgTest, OpensWithTheCameraAndTheSectionsValues) {
    ChangeCamera([](sim::CameraDeviceState& state) {
        state.parameters.exposureUs = 2500.4;
        state.parameters.gain = 1.5;
    });
    WriteSettings(std::string("[") + kSection + "]\r\nRefreshPeriodMs=250\r\nmax_exposure_us=50000\r\n");
    CameraSettingsDlg dlg(camera.get());
    ASSERT_TRUE(dlg.OnInitDialog());
    const CameraSettingsFields fields = dlg.Fields();
    EXPECT_EQ(fields.model, "acA2440-35um");
    EXPECT_EQ(fields.serialNumber, "24015833");
    EXPECT_EQ(fields.width, "2448");
    EXPECT_EQ(fields.height, "2048");
    EXPECT_EQ(fields.pixelDepth, "12");
    EXPECT_EQ(fields.gain, "1.50");
    EXPECT_EQ(fields.exposure, "2500");
    // The default exposure falls back to the exposure shown.
    EXPECT_EQ(fields.defaultExposure, "2500");
    EXPECT_EQ(fields.refreshPeriodMs, "250");
    EXPECT_EQ(fields.minTimeBetweenCapturesMs, "100");
    EXPECT_EQ(fields.minExposureUs, "29");
    EXPECT_EQ(fields.maxExposureUs, "50000");
    EXPECT_TRUE(Edit(dlg, 1003)->isReadOnly());
    EXPECT_TRUE(ui.ShownBoxes().empty());
    // Filling the edits counts as typing: the gain and exposure timers run.
    int active = 0;
    for (QTimer* timer : dlg.findChildren<QTimer*>()) active += timer->isActive() ? 1 : 0;
    EXPECT_EQ(active, 4);
    if (const char* folder = std::getenv("VELLORA_SCREENSHOTS")) {
        dlg.show();
        dlg.grab().save(QString(folder) + "/CameraSettings.png");
    }
}

TEST_F(CameraSettingsDlgTest, GainAndExposureAreAppliedAndEveryKeyIsSavedAsShown) {
    CameraSettingsDlg dlg(camera.get());
    ASSERT_TRUE(dlg.OnInitDialog());
    Edit(dlg, 1008)->setText("3.25");
    Edit(dlg, 1009)->setText("1500");
    Edit(dlg, 1011)->setText(" 1200 ");
    dlg.OnTimer(1001);
    dlg.OnTimer(1002);
    EXPECT_DOUBLE_EQ(Camera().parameters.gain, 3.25);
    EXPECT_DOUBLE_EQ(Camera().parameters.exposureUs, 1500);
    EXPECT_EQ(Setting("Gain"), "3.25");
    EXPECT_EQ(Setting("LastExposure"), "1500");
    EXPECT_EQ(Setting("DefaultExposure"), " 1200 ");
    EXPECT_EQ(Setting("PixelDepth"), "12");
    EXPECT_EQ(Setting("RefreshPeriodMs"), "100");
    EXPECT_EQ(Setting("min_time_between_image_capture_events_ms"), "100");
    EXPECT_EQ(Setting("min_exposure_us"), "29");
    EXPECT_EQ(Setting("max_exposure_us"), "1000000");

    // Kept as the window has always done it: gain text that does not read
    // as a number applies gain 0.
    Edit(dlg, 1008)->setText("high");
    dlg.OnTimer(1001);
    EXPECT_DOUBLE_EQ(Camera().parameters.gain, 0.0);
    EXPECT_EQ(Setting("Gain"), "high");
    EXPECT_TRUE(ui.ShownBoxes().empty());
}

TEST_F(CameraSettingsDlgTest, RangeMessagesBlockTheSave) {
    CameraSettingsDlg dlg(camera.get());
    ASSERT_TRUE(dlg.OnInitDialog());
    struct Case {
        const char* refresh;
        bool saved;
    };
    for (const Case& c : {Case{"24", false}, Case{"25", true}, Case{"10000", true}, Case{"10001", false},
                          Case{"fast", false}}) {
        ui.Clear();
        Edit(dlg, 1016)->setText(c.refresh);
        dlg.OnTimer(1003);
        EXPECT_EQ(Setting("RefreshPeriodMs") == c.refresh, c.saved) << c.refresh;
        EXPECT_EQ(LastBox(), c.saved ? "" : "Refresh period (ms) must be an integer between 25 and 10000") << c.refresh;
    }

    // An invalid minimum time refuses every save, the gain's included; the
    // camera takes the gain all the same.
    for (const char* minTime : {"99", "1001"}) {
        ui.Clear();
        Edit(dlg, 1275)->setText(minTime);
        Edit(dlg, 1008)->setText("2.00");
        dlg.OnTimer(1001);
        EXPECT_DOUBLE_EQ(Camera().parameters.gain, 2.0);
        EXPECT_EQ(Setting("Gain"), "1.00") << minTime;
        EXPECT_EQ(LastBox(), "Minimum time between image capture (ms) must be an integer between 100 and 1000");
    }
}

TEST_F(CameraSettingsDlgTest, PixelDepthOutsideTheListIsAppliedOrPutBack) {
    CameraSettingsDlg dlg(camera.get());
    ASSERT_TRUE(dlg.OnInitDialog());
    auto* depth = qobject_cast<QComboBox*>(Tovanix::GetDlgItem(&dlg, 1006));
    depth->setEditText("16");
    dlg.OnTimer(1000);
    EXPECT_EQ(Camera().parameters.pixelBits, 16);
    EXPECT_EQ(Setting("PixelDepth"), "16");
    depth->setEditText("10");
    dlg.OnTimer(1000);
    EXPECT_EQ(Camera().parameters.pixelBits, 16);
    EXPECT_EQ(depth->currentText(), "16");
    EXPECT_TRUE(ui.ShownBoxes().empty());
}

TEST_F(CameraSettingsDlgTest, OutputBoxesToggleTheCameraLines) {
    CameraSettingsDlg dlg(camera.get());
    ASSERT_TRUE(dlg.OnInitDialog());
    auto* output2 = qobject_cast<QCheckBox*>(Tovanix::GetDlgItem(&dlg, 1015));
    const bool before = output2->isChecked();
    output2->click();
    bool state = before;
    CString error;
    ASSERT_TRUE(camera->GetDigitalOutput(2, &state, &error)) << error.GetString();
    EXPECT_NE(state, before);
    output2->click();
    ASSERT_TRUE(camera->GetDigitalOutput(2, &state, &error));
    EXPECT_EQ(state, before);
}

TEST_F(CameraSettingsDlgTest, ClosingReloadsTheCaptureSpacingAndAnUnsavedMinimumIsNotWritten) {
    {
        CameraSettingsDlg dlg(camera.get());
        ASSERT_TRUE(dlg.OnInitDialog());
        dlg.OnTimer(1004);
        // Only the minimum time edited: closing writes nothing.
        Edit(dlg, 1275)->setText("400");
        dlg.accept();
    }
    EXPECT_EQ(Setting("min_time_between_image_capture_events_ms"), "100");
    EXPECT_EQ(theApp.m_nMinTimeBetweenCaptureEventsMs, 100);

    CameraSettingsDlg dlg(camera.get());
    ASSERT_TRUE(dlg.OnInitDialog());
    Edit(dlg, 1275)->setText("400");
    Edit(dlg, 1276)->setText("40");
    dlg.OnTimer(1004);
    EXPECT_EQ(Setting("min_time_between_image_capture_events_ms"), "400");
    EXPECT_EQ(theApp.m_nMinTimeBetweenCaptureEventsMs, 100);
    dlg.reject();
    EXPECT_EQ(theApp.m_nMinTimeBetweenCaptureEventsMs, 400);
}

}  // namespace
