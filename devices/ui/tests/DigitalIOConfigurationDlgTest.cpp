#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>

#include <cstdlib>

#include "devices/DigitalIO.h"
#include "devices/tests/VirtualInstrumentFixture.h"
#include "devices/ui/DigitalIOConfigurationDlg.h"
#include "platform/testsupport/QtTestApplication.h"
#include "support/ui/DialogControls.h"

namespace {

class DigitalIOConfigurationDlgTest : public VirtualInstrumentTest {
protected:
    void SetUp() override {
        testsupport::EnsureApplication();
        VirtualInstrumentTest::SetUp();
        g_DIOPort0InputTask = nullptr;
        g_DIOPort0OutputTask = nullptr;
        g_DIOPort1Task = nullptr;
        g_DIOPortTable = {};
        WriteSettings("[DIO_Config]\r\nMapping=Fluigent\r\nLED1_line=9\r\nCartridge_Port=0\r\nCartridge_Line=4\r\n"
                      "Clamp_Port=1\r\nClamp_Line=2\r\n");
    }
    template <class T>
    static T* Control(QWidget& dlg, int id) {
        return qobject_cast<T*>(Tovanix::GetDlgItem(&dlg, id));
    }
    // The window writes the interlock mapping shortly after it opens; wait
    // for that (however busy the machine is), then let the events settle.
    void Settle() {
        QDeadlineTimer deadline(20000);
        while (!deadline.hasExpired() && ReadSettings().find("Mapping=Interlock") == std::string::npos) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
};

TEST_F(DigitalIOConfigurationDlgTest, OpeningSetsTheInterlockMappingAndDisablesItsInputBoxes) {
    DigitalIOConfigurationDlg dlg;
    dlg.show();
    Settle();
    EXPECT_NE(ReadSettings().find("Mapping=Interlock"), std::string::npos);
    EXPECT_EQ(Control<QComboBox>(dlg, 1085)->currentIndex(), 7);  // LED1_line=9 is held to 7
    EXPECT_FALSE(Control<QCheckBox>(dlg, 1057)->isEnabled());     // cartridge, port 0 line 4
    EXPECT_FALSE(Control<QCheckBox>(dlg, 1063)->isEnabled());     // clamp, port 1 line 2
    EXPECT_TRUE(Control<QCheckBox>(dlg, 1062)->isEnabled());

    // Moving the cartridge to line 6 moves the disabled box at once.
    QComboBox* cartridgeLine = Control<QComboBox>(dlg, 1101);
    cartridgeLine->setCurrentIndex(6);
    emit cartridgeLine->activated(6);
    EXPECT_TRUE(Control<QCheckBox>(dlg, 1057)->isEnabled());
    EXPECT_FALSE(Control<QCheckBox>(dlg, 1059)->isEnabled());
    if (const char* folder = std::getenv("VELLORA_SCREENSHOTS")) dlg.grab().save(QString(folder) + "/DigitalIO.png");
}

TEST_F(DigitalIOConfigurationDlgTest, ACollidingLedLineIsWrittenAndItsCollisionShown) {
    DigitalIOConfigurationDlg dlg;
    dlg.show();
    Settle();
    const size_t boxesBefore = ui.ShownBoxes().size();
    QComboBox* led1Line = Control<QComboBox>(dlg, 1085);
    led1Line->setCurrentIndex(0);
    emit led1Line->activated(0);
    ASSERT_EQ(ui.ShownBoxes().size(), boxesBefore + 1);
    EXPECT_EQ(ui.ShownBoxes().back().text, "D I/O line assignment collision. LED0 + LED1 assigned to port 0 line 0\n");
    EXPECT_NE(ReadSettings().find("LED1_line=0"), std::string::npos);
    EXPECT_EQ(led1Line->currentIndex(), 0);
}

}  // namespace
