// The prompt dialogs, the countdown and the notice; the prompts raised from a
// script thread while the user-interface thread runs them.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "app/VelloraApp.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Folders.h"
#include "platform/UiBridge.h"
#include "platform/testsupport/QtTestApplication.h"
#include "platform/ui/QtUiBridge.h"
#include "operator/ui/PromptDialogs.h"
#include "operator/ui/PromptWindows.h"
#include "support/ui/DialogControls.h"

namespace {

void Screenshot(QWidget& widget, const char* name)
{
    if (const char* folder = std::getenv("VELLORA_SCREENSHOTS"))
        widget.grab().save(QString(folder) + "/" + name + ".png");
}

QString Text(const QWidget& dialog, int id) { return Tovanix::GetControlText(Tovanix::GetDlgItem(&dialog, id)); }

class PromptDialogsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        testsupport::EnsureApplication();
        // No scale factor in the main settings file.
        const std::string ini = platform::JoinPath(platform::PublicDocumentsFolder(), "Vellora.ini");
        platform::WriteFileAtomically(ini, "", 0);
        g_IniPath = ini.c_str();
    }
};

TEST_F(PromptDialogsTest, CustomButtonsAreSizedToTheirLabelsInOneCentredRow)
{
    PromptCustomDlg dialog("Which way now?", "Yes;Rather not");
    dialog.show();
    QPushButton* first = dialog.Button(0);
    QPushButton* second = dialog.Button(1);
    EXPECT_TRUE(first->isVisible());
    EXPECT_TRUE(second->isVisible());
    EXPECT_FALSE(dialog.Button(2)->isVisible());
    EXPECT_FALSE(dialog.Button(3)->isVisible());
    EXPECT_EQ(first->text(), "Yes");
    EXPECT_EQ(second->text(), "Rather not");
    EXPECT_EQ(Text(dialog, promptid::kMessage), "Which way now?");
    // The longer label has the wider button; both in one row, 8 pixels apart,
    // centred in the dialog.
    EXPECT_GT(second->width(), first->width());
    EXPECT_EQ(first->y(), second->y());
    EXPECT_EQ(second->x(), first->x() + first->width() + 1 + 8);
    const int rowWidth = first->width() + second->width() + 2 + 2 * 8 - 1;
    EXPECT_EQ(first->x(), (dialog.width() - rowWidth + 1) / 2);
    Screenshot(dialog, "PromptCustom");

    second->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.PressedButton(), 2);
}

TEST_F(PromptDialogsTest, CustomPromptShowsAtMostFourButtonsAndEscapeAnswersNone)
{
    PromptCustomDlg dialog("Pick", "a;b;c;d;e");
    dialog.show();
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(dialog.Button(i)->isVisible()) << i;
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(dialog.PressedButton(), 0);

    PromptCustomDlg empty("Nothing to press", "");
    for (int i = 0; i < 4; ++i)
        EXPECT_FALSE(empty.Button(i)->isVisibleTo(&empty)) << i;
}

TEST_F(PromptDialogsTest, ValuePromptHandsBackWhatWasTypedOnlyOnOk)
{
    PromptForValueDlg dialog("Volume to dispense (uL)", "50.00");
    dialog.show();
    auto* edit = static_cast<QLineEdit*>(Tovanix::GetDlgItem(&dialog, promptid::kValue));
    EXPECT_EQ(edit->text(), "50.00");
    EXPECT_EQ(Text(dialog, promptid::kPrompt), "Volume to dispense (uL)");
    Screenshot(dialog, "PromptForValue");
    edit->clear();
    static_cast<QPushButton*>(Tovanix::GetDlgItem(&dialog, promptid::kOk))->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Value(), "");

    PromptForValueDlg cancelled("Name", "kept");
    cancelled.show();
    static_cast<QLineEdit*>(Tovanix::GetDlgItem(&cancelled, promptid::kValue))->setText("typed");
    static_cast<QPushButton*>(Tovanix::GetDlgItem(&cancelled, promptid::kCancel))->click();
    EXPECT_EQ(cancelled.result(), QDialog::Rejected);
    EXPECT_EQ(cancelled.Value(), "kept");
}

TEST_F(PromptDialogsTest, InformationAndContinueCancelPrompts)
{
    PromptInfoDlg info("Insert the cartridge\nthen press Continue");
    info.show();
    EXPECT_EQ(Text(info, promptid::kMessage), "Insert the cartridge\nthen press Continue");
    EXPECT_EQ(Tovanix::GetDlgItem(&info, promptid::kCancel), nullptr);
    EXPECT_FALSE(info.windowFlags() & Qt::WindowCloseButtonHint);
    Screenshot(info, "PromptInfo");

    PromptContinueCancelDlg question("Flush the channel?");
    question.show();
    Screenshot(question, "PromptContinueCancel");
    static_cast<QPushButton*>(Tovanix::GetDlgItem(&question, promptid::kCancel))->click();
    EXPECT_EQ(question.result(), QDialog::Rejected);
}

TEST_F(PromptDialogsTest, TheCountdownShowsItsTimeAndClosesWhenItIsUp)
{
    platform::ManualClock clock;
    platform::ScopedClock useClock(clock);
    WaitWithTimerDlg wait;
    wait.StartWait("Soaking the filter", 75, 0);
    EXPECT_TRUE(wait.IsShown());
    EXPECT_EQ(Text(wait, promptid::kTime), "01:15");
    EXPECT_EQ(Text(wait, promptid::kMessage), "Soaking the filter");
    EXPECT_EQ(wait.Timer().interval(), 950);
    Screenshot(wait, "WaitWithTimer");
    clock.Advance(std::chrono::milliseconds(950));
    wait.OnTimer();
    EXPECT_EQ(Text(wait, promptid::kTime), "01:14");
    clock.Advance(std::chrono::milliseconds(73900));
    wait.OnTimer();
    EXPECT_FALSE(wait.IsShown());
    EXPECT_FALSE(wait.isVisible());
    EXPECT_FALSE(wait.Timer().isActive());

    // Counting up, with an empty message that keeps the last text.
    wait.StartWait("", 2, 1);
    EXPECT_EQ(Text(wait, promptid::kTime), "00:00");
    EXPECT_EQ(Text(wait, promptid::kMessage), "Soaking the filter");
    clock.Advance(std::chrono::milliseconds(950));
    wait.OnTimer();
    EXPECT_EQ(Text(wait, promptid::kTime), "00:01");
    // "Continue" ends it at once.
    static_cast<QPushButton*>(Tovanix::GetDlgItem(&wait, promptid::kOk))->click();
    EXPECT_FALSE(wait.IsShown());
}

TEST_F(PromptDialogsTest, TheNoticeHidesAfterItsSecondsOrStaysUntilClosed)
{
    InformOperatorDlg notice;
    notice.Inform("Gone at once", 0);
    EXPECT_TRUE(notice.isVisible());
    EXPECT_EQ(notice.Timer().interval(), 0);
    notice.OnTimer();
    EXPECT_FALSE(notice.isVisible());

    notice.Inform("Stays\tput", -1);
    EXPECT_TRUE(notice.isVisible());
    EXPECT_FALSE(notice.Timer().isActive());
    EXPECT_EQ(Text(notice, promptid::kMessage), "Stays\tput");
    Screenshot(notice, "InformOperator");

    // A second notice gives the shown one a countdown.
    notice.Inform("Five seconds", 5);
    EXPECT_EQ(notice.Timer().interval(), 1000);
    for (int tick = 0; tick < 4; ++tick)
        notice.OnTimer();
    EXPECT_TRUE(notice.isVisible());
    notice.OnTimer();
    EXPECT_FALSE(notice.isVisible());
    EXPECT_FALSE(notice.Timer().isActive());

    notice.Inform("Closed by hand", -1);
    static_cast<QPushButton*>(Tovanix::GetDlgItem(&notice, promptid::kOk))->click();
    EXPECT_FALSE(notice.isVisible());
}

// Serves the user-interface thread until the condition holds (10 s at most).
template <class Condition>
bool ServeUntil(Condition condition)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// Answers the next modal dialog of the type from inside its own event loop,
// as the operator would.
template <class Dialog, class Answer>
void AnswerWhenShown(Answer answer)
{
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, answer] {
        if (auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            answer(dialog);
        }
    });
    poll->start(10);
}

TEST_F(PromptDialogsTest, AScriptThreadWaitsWhileItsPromptRunsOnTheUserInterfaceThread)
{
    platform::QtUiBridge bridge;
    platform::ScopedUiBridge useBridge(bridge);
    QtScriptPromptWindows windows;

    int pressed = -1;
    int result = 0;
    std::atomic<bool> answered{false};
    AnswerWhenShown<PromptCustomDlg>([&](PromptCustomDlg* dialog) {
        EXPECT_FALSE(answered);
        dialog->Button(2)->click();
    });
    std::thread script([&] {
        result = windows.PromptCustom("Next step?", "Flush;Prime;Skip", pressed);
        answered = true;
    });
    EXPECT_TRUE(ServeUntil([&] { return answered.load(); }));
    script.join();
    EXPECT_EQ(result, platform::IDOK);
    EXPECT_EQ(pressed, 3);

    std::string value = "1.00";
    answered = false;
    AnswerWhenShown<PromptForValueDlg>([](PromptForValueDlg* dialog) {
        static_cast<QLineEdit*>(Tovanix::GetDlgItem(dialog, promptid::kValue))->setText("2.5");
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    std::thread valueScript([&] {
        result = windows.PromptForValue("Volume", value);
        answered = true;
    });
    EXPECT_TRUE(ServeUntil([&] { return answered.load(); }));
    valueScript.join();
    EXPECT_EQ(result, platform::IDCANCEL);
    EXPECT_EQ(value, "1.00");
}

}  // namespace
