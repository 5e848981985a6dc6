#include "platform/ui/QtUiBridge.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/testsupport/QtTestApplication.h"

namespace {

using testsupport::EnsureApplication;

// Runs the user-interface thread's event loop until the condition holds (at
// most ten seconds, so a broken bridge fails instead of hanging).
template <typename Condition>
bool ProcessEventsUntil(Condition condition) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!condition() && elapsed.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return condition();
}

class QtUiBridgeTest : public ::testing::Test {
protected:
    void SetUp() override { EnsureApplication(); }
    const std::thread::id m_uiThread = std::this_thread::get_id();
};

TEST_F(QtUiBridgeTest, PostedCommandsReachTheHandlerOnTheUiThreadInOrder) {
    std::vector<int> received;
    std::vector<std::thread::id> threads;
    platform::QtUiBridge bridge([&](int id) {
        received.push_back(id);
        threads.push_back(std::this_thread::get_id());
    });
    std::thread worker([&] {
        bridge.PostCommand(1364);
        bridge.PostCommand(32861);
    });
    worker.join();  // posting does not wait for the user-interface thread
    EXPECT_TRUE(received.empty());

    ASSERT_TRUE(ProcessEventsUntil([&] { return received.size() == 2; }));
    EXPECT_EQ(received, (std::vector<int>{1364, 32861}));
    for (auto id : threads) EXPECT_EQ(id, m_uiThread);
}

TEST_F(QtUiBridgeTest, PostedCommandsCarryTheirArgument) {
    std::vector<std::pair<int, intptr_t>> received;
    platform::QtUiBridge bridge(
        platform::QtUiBridge::CommandHandler([&](int id, intptr_t argument) { received.emplace_back(id, argument); }));
    std::thread worker([&] {
        platform::ScopedUiBridge installed(bridge);
        platform::PostCommand(1364, 7);
        platform::PostCommand(32861);
    });
    worker.join();
    ASSERT_TRUE(ProcessEventsUntil([&] { return received.size() == 2; }));
    EXPECT_EQ(received, (std::vector<std::pair<int, intptr_t>>{{1364, 7}, {32861, 0}}));
}

TEST_F(QtUiBridgeTest, RunOnUiThreadRunsThereAndWaitsForTheResult) {
    platform::QtUiBridge bridge;
    platform::ScopedUiBridge installed(bridge);
    int value = 0;
    int seenByWorker = 0;
    std::thread::id ranOn;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        platform::RunOnUiThread([&] {
            ranOn = std::this_thread::get_id();
            value = 42;
        });
        seenByWorker = value;
        done = true;
    });
    ASSERT_TRUE(ProcessEventsUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_EQ(ranOn, m_uiThread);
    EXPECT_EQ(seenByWorker, 42);

    // A failure on the user-interface thread comes back to the waiting worker.
    std::atomic<bool> caught{false};
    done = false;
    std::thread failing([&] {
        try {
            platform::RunOnUiThread([] { throw std::runtime_error("no window"); });
        } catch (const std::runtime_error& error) {
            caught = std::string(error.what()) == "no window";
        }
        done = true;
    });
    ASSERT_TRUE(ProcessEventsUntil([&] { return done.load(); }));
    failing.join();
    EXPECT_TRUE(caught);

    // Called on the user-interface thread it runs at once, without the event loop.
    bool ranAtOnce = false;
    platform::RunOnUiThread([&] { ranAtOnce = true; });
    EXPECT_TRUE(ranAtOnce);
}

TEST_F(QtUiBridgeTest, MessageBoxFromAWorkerShowsARealBoxAndReturnsTheAnswer) {
    struct Case {
        unsigned type;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton click;
        int answer;
    } cases[] = {
        {platform::MB_YESNO | platform::MB_ICONQUESTION, QMessageBox::Question, QMessageBox::Yes | QMessageBox::No,
         QMessageBox::No, platform::IDNO},
        {platform::MB_YESNOCANCEL | platform::MB_ICONERROR, QMessageBox::Critical,
         QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes, platform::IDYES},
        {platform::MB_OKCANCEL | platform::MB_ICONWARNING, QMessageBox::Warning, QMessageBox::Ok | QMessageBox::Cancel,
         QMessageBox::Cancel, platform::IDCANCEL},
        {platform::MB_OK | platform::MB_ICONINFORMATION, QMessageBox::Information, QMessageBox::Ok, QMessageBox::Ok,
         platform::IDOK},
        {platform::MB_OK, QMessageBox::NoIcon, QMessageBox::Ok, QMessageBox::Ok, platform::IDOK},
    };
    platform::QtUiBridge bridge;
    platform::ScopedUiBridge installed(bridge);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        QString text, title;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        bool onUiThread = false;
        QTimer answerer;
        answerer.setInterval(5);
        QObject::connect(&answerer, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            text = box->text();
            title = box->windowTitle();
            icon = box->icon();
            buttons = box->standardButtons();
            onUiThread = box->thread() == QThread::currentThread() && std::this_thread::get_id() == m_uiThread;
            answerer.stop();
            box->button(c.click)->click();
        });
        answerer.start();

        std::atomic<int> answer{0};
        std::thread worker([&] { answer = platform::ShowMessageBox("Continue with image capture?", "Vellora", c.type); });
        ASSERT_TRUE(ProcessEventsUntil([&] { return answer.load() != 0; }));
        worker.join();

        EXPECT_EQ(answer.load(), c.answer);
        EXPECT_TRUE(onUiThread);
        EXPECT_EQ(text, "Continue with image capture?");
        EXPECT_EQ(title, "Vellora");
        EXPECT_EQ(icon, c.icon);
        EXPECT_EQ(buttons, c.buttons);
    }
}

}  // namespace
