#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>

#include <cstdlib>

#include "devices/tests/InstrumentLines.h"
#include "app/FrameCommands.h"
#include "devices/ui/DeviceWindows.h"
#include "devices/ui/PumpInformationDlg.h"
#include "platform/testsupport/QtTestApplication.h"

namespace {

class PumpInformationDlgTest : public devices_testing::InstrumentLines {
protected:
    void SetUp() override {
        testsupport::EnsureApplication();
        InstrumentLines::SetUp();
    }

    // Selects the row starting with `prefix`, optionally edits its text, and
    // presses Query; true when a query ran and answered.
    bool Query(PumpInformationDlg& dlg, const QString& prefix, const QString& editedText = {}) {
        const int row = dlg.QueryList()->findText(prefix, Qt::MatchStartsWith);
        if (row < 0) return false;
        dlg.QueryList()->setCurrentIndex(row);
        if (!editedText.isEmpty()) dlg.QueryList()->lineEdit()->setText(editedText);
        QSignalSpy finished(&dlg, &PumpInformationDlg::queryFinished);
        dlg.QueryButton()->click();
        return finished.count() > 0 || finished.wait(10000);
    }
};

TEST_F(PumpInformationDlgTest, OpensWithTheListAndNothingSelected) {
    PumpInformationDlg dlg;
    EXPECT_EQ(dlg.windowTitle(), "Pump Information");
    EXPECT_EQ(dlg.QueryList()->count(), 62);
    EXPECT_EQ(dlg.QueryList()->currentIndex(), -1);
    EXPECT_TRUE(dlg.Result()->isReadOnly());
    // Query with nothing selected does nothing.
    OpenPumps();
    dlg.QueryButton()->click();
    EXPECT_TRUE(pumps->ReceivedBytes().empty());
    EXPECT_TRUE(dlg.QueryButton()->isEnabled());
}

TEST_F(PumpInformationDlgTest, QueryShowsBothPumpsReplies) {
    OpenPumps();
    PumpInformationDlg dlg;
    ASSERT_TRUE(Query(dlg, "?29 "));
    EXPECT_EQ(dlg.Result()->toPlainText(), "pump1: 0\npump2: 0");
    EXPECT_EQ(pumps->ReceivedBytes(), "/1?29\r/2?29\r");
    EXPECT_TRUE(dlg.QueryButton()->isEnabled());
}

TEST_F(PumpInformationDlgTest, EditedRowSendsItsNumberOrNothing) {
    OpenPumps();
    PumpInformationDlg dlg;
    // A report number the list does not offer is still sent.
    ASSERT_TRUE(Query(dlg, "?4 ", "?5 : edited"));
    EXPECT_EQ(pumps->ReceivedBytes().rfind("/1?5\r", 0), 0u) << pumps->ReceivedBytes();
    pumps->ClearReceived();
    // One above 99 is ignored: no query starts, nothing is sent.
    dlg.QueryList()->lineEdit()->setText("?123 : edited");
    dlg.OnBnClickedQuery();
    EXPECT_TRUE(dlg.QueryButton()->isEnabled());
    QCoreApplication::processEvents();
    EXPECT_TRUE(pumps->ReceivedBytes().empty());
}

TEST_F(PumpInformationDlgTest, WithoutAPumpPortTheDriversMessageIsShown) {
    theApp.m_nPumpComPort = 0;
    PumpInformationDlg dlg;
    ASSERT_TRUE(Query(dlg, "?29 "));
    EXPECT_TRUE(dlg.Result()->toPlainText().contains("Invalid com_port=0")) << dlg.Result()->toPlainText().toStdString();
    EXPECT_TRUE(dlg.QueryButton()->isEnabled());
}

}  // namespace

namespace {

TEST(DeviceWindowsCommand, PumpInformationIsCreatedOnceAndToggled) {
    testsupport::EnsureApplication();
    CommandRouter commands;
    QWidget frame;
    InstallDeviceWindows(commands, &frame);
    ASSERT_TRUE(commands.Execute(cmd::PumpInformation));
    PumpInformationDlg* first = g_PumpInformationDlg;
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->isVisible());
    ASSERT_TRUE(commands.Execute(cmd::PumpInformation));
    EXPECT_EQ(g_PumpInformationDlg, first);
    EXPECT_FALSE(first->isVisible());
    if (const char* folder = std::getenv("VELLORA_SCREENSHOTS")) {
        first->show();
        first->grab().save(QString(folder) + "/PumpInformation.png");
    }
    delete first;
    g_PumpInformationDlg = nullptr;
}

}  // namespace
