#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>

#include <chrono>
#include <cstdlib>
#include <future>
#include <memory>
#include <shared_mutex>
#include <thread>
#include <string>
#include <vector>

#include "devices/tests/InstrumentLines.h"
#include "devices/ui/ZaberControlPanel.h"
#include "platform/testsupport/QtTestApplication.h"
#include "support/ui/DialogControls.h"

namespace {

template <class T>
T* Control(QWidget& panel, int id) {
    return qobject_cast<T*>(Tovanix::GetDlgItem(&panel, id));
}

// Runs the event loop until `done` holds or five seconds have passed.
template <class Done>
bool SpinUntil(Done done) {
    QDeadlineTimer deadline(5000);
    while (!done() && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

class ZaberControlPanelTest : public devices_testing::InstrumentLines {
protected:
    void SetUp() override {
        testsupport::EnsureApplication();
        InstrumentLines::SetUp();
        OpenStage();
        stage->SetPosition(1, 50 * 20997);
        stage->SetPosition(2, 50 * 20997);
    }
    std::vector<std::string> logged;
    StagePanel::LogSink log = [this](const std::string& message) { logged.push_back(message); };
};

TEST_F(ZaberControlPanelTest, OpensWithIdentityPositionsAndShortenedWithoutTheXAxis) {
    WriteSettings("[Zaber]\nMoveAbsPos_Focus=12.5\nMoveVelocity_Focus=0.5\n");
    stage->SetPosition(1, 1049869);  // 50 mm
    ZaberControlPanel panel(nullptr, log);
    panel.WaitForWorker();
    QCoreApplication::processEvents();
    EXPECT_EQ(Tovanix::GetControlText(Tovanix::GetDlgItem(&panel, 1308)), "COM6");
    EXPECT_EQ(Tovanix::GetControlText(Tovanix::GetDlgItem(&panel, 1309)), "115200 baud");
    EXPECT_EQ(Tovanix::GetControlText(Tovanix::GetDlgItem(&panel, 1003)), "DeviceID 50081");
    EXPECT_EQ(Tovanix::GetControlText(Tovanix::GetDlgItem(&panel, 1004)), "S/N 34567");
    EXPECT_EQ(Control<QLineEdit>(panel, 1319)->text(), "12.5");
    EXPECT_EQ(Control<QLineEdit>(panel, 1331)->text(), "0.5");
    EXPECT_EQ(Control<QLineEdit>(panel, 1317)->text(), "50.0000");
    // The X part is hidden and its position never read.
    panel.show();
    EXPECT_FALSE(Control<QLineEdit>(panel, 1327)->isVisible());
    EXPECT_TRUE(Control<QLineEdit>(panel, 1327)->text().isEmpty());
    EXPECT_TRUE(logged.empty());
    if (const char* folder = std::getenv("VELLORA_SCREENSHOTS")) panel.grab().save(QString(folder) + "/StageShort.png");
}

TEST_F(ZaberControlPanelTest, IdentityIsAskedOffTheUserInterfaceThread) {
    // While another thread holds every serial port, an exchange cannot
    // start: the panel must open all the same and fill its labels later.
    std::promise<void> held;
    std::promise<void> release;
    std::thread holder([&] {
        std::unique_lock<std::shared_mutex> ports(g_SerialPortsLock);
        held.set_value();
        // Bounded, so that a panel that waits on the port fails the test
        // instead of hanging it.
        release.get_future().wait_for(std::chrono::seconds(3));
    });
    held.get_future().wait();
    auto panel = std::make_unique<ZaberControlPanel>(nullptr, log);
    const QString modelWhileBlocked = Tovanix::GetControlText(Tovanix::GetDlgItem(panel.get(), 1003));
    release.set_value();
    holder.join();
    EXPECT_EQ(modelWhileBlocked, "Model");
    QSignalSpy shown(panel.get(), &ZaberControlPanel::identityShown);
    EXPECT_TRUE(shown.count() > 0 || shown.wait(5000));
    EXPECT_EQ(Tovanix::GetControlText(Tovanix::GetDlgItem(panel.get(), 1003)), "DeviceID 50081");
    EXPECT_EQ(Tovanix::GetControlText(Tovanix::GetDlgItem(panel.get(), 1004)), "S/N 34567");
    panel->WaitForWorker();
}

TEST_F(ZaberControlPanelTest, JogVelocityRefusalAndSavedEdits) {
    WriteSettings("[Zaber]\nInitializeZaberXAxisOnStartup=TRUE\n");
    ZaberControlPanel panel(nullptr, log);
    panel.show();
    panel.WaitForWorker();
    stage->ClearReceived();

    // "0.010" and ">>>" on the focus axis: 1.0 mm; the button waits for the exchange.
    Control<QComboBox>(panel, 1316)->setCurrentIndex(1);
    QPushButton* jog = Control<QPushButton>(panel, 1314);
    jog->click();
    EXPECT_FALSE(jog->isEnabled());
    panel.WaitForWorker();
    EXPECT_TRUE(SpinUntil([&] { return jog->isEnabled(); }));
    EXPECT_EQ(stage->ReceivedBytes(), "/01 1 move rel 20997\n");

    // A velocity out of range sends nothing and is logged.
    stage->ClearReceived();
    Control<QLineEdit>(panel, 1334)->setText("5.01");
    Control<QPushButton>(panel, 1336)->click();
    panel.WaitForWorker();
    EXPECT_EQ(stage->ReceivedBytes(), "");
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0], "Invalid velocity: 5.01 must be between 0.0001 and 5 mm/s");

    // The X axis's position is refreshed, and typing is saved a second later.
    EXPECT_TRUE(SpinUntil([&] { return !Control<QLineEdit>(panel, 1327)->text().isEmpty(); }));
    Control<QLineEdit>(panel, 1329)->setText("-3.25");
    EXPECT_TRUE(SpinUntil([&] { return ReadFile(dataRoot + "/Vellora.ini").find("MoveAbsPos_XAxis=-3.25") != std::string::npos; }));
    EXPECT_NE(ReadFile(dataRoot + "/Vellora.ini").find("MoveVelocity_XAxis=5.01"), std::string::npos);
    if (const char* folder = std::getenv("VELLORA_SCREENSHOTS")) panel.grab().save(QString(folder) + "/StageFull.png");
    panel.hide();
    panel.WaitForWorker();
}

}  // namespace
