#include "platform/ui/TerminationSignals.h"

#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QWidget>

#include <csignal>

#include "platform/testsupport/QtTestApplication.h"

namespace {

// Runs the event loop until the condition holds, at most five seconds.
template <typename Condition>
bool ProcessEventsUntil(Condition condition) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!condition() && elapsed.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return condition();
}

// A main window that may refuse to close, as the program's does while work runs.
class Window : public QWidget {
public:
    bool refuse = false;
    int closeRequests = 0;

protected:
    void closeEvent(QCloseEvent* event) override {
        ++closeRequests;
        if (refuse) {
            event->ignore();
        } else {
            event->accept();
        }
    }
};

constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};

// The test process may have been started with some of them ignored.
void DefaultHandlers() {
    for (int signal : kSignals) std::signal(signal, SIG_DFL);
}

TEST(TerminationSignals, EachSignalClosesTheWindowInsteadOfEndingTheProcess) {
    testsupport::EnsureApplication();
    DefaultHandlers();
    for (int signal : kSignals) {
        Window window;
        window.show();
        platform::TerminationSignals guard;
        ASSERT_TRUE(guard.IsInstalled());
        guard.CloseOnSignal(&window);
        ASSERT_EQ(raise(signal), 0);
        EXPECT_TRUE(ProcessEventsUntil([&] { return !window.isVisible(); })) << "signal " << signal;
        EXPECT_EQ(window.closeRequests, 1) << "signal " << signal;
    }
}

TEST(TerminationSignals, WindowThatRefusesToCloseKeepsRunningAndHandlersAreRestored) {
    testsupport::EnsureApplication();
    DefaultHandlers();
    std::signal(SIGHUP, SIG_IGN);  // as under nohup
    Window window;
    window.refuse = true;
    window.show();
    {
        platform::TerminationSignals guard;
        guard.CloseOnSignal(&window);
        struct sigaction hangup {};
        ASSERT_EQ(sigaction(SIGHUP, nullptr, &hangup), 0);
        EXPECT_EQ(hangup.sa_handler, SIG_IGN);
        ASSERT_EQ(raise(SIGTERM), 0);
        EXPECT_TRUE(ProcessEventsUntil([&] { return window.closeRequests == 1; }));
        EXPECT_TRUE(window.isVisible());
    }
    for (int signal : kSignals) {
        struct sigaction current {};
        ASSERT_EQ(sigaction(signal, nullptr, &current), 0);
        EXPECT_EQ(current.sa_handler, signal == SIGHUP ? SIG_IGN : SIG_DFL) << "signal " << signal;
    }
}

TEST(TerminationSignals, SignalBeforeTheWindowExistsClosesItOnceItDoes) {
    testsupport::EnsureApplication();
    DefaultHandlers();
    platform::TerminationSignals guard;
    ASSERT_EQ(raise(SIGTERM), 0);  // at start-up, before the main window
    Window window;
    window.show();
    guard.CloseOnSignal(&window);
    EXPECT_TRUE(ProcessEventsUntil([&] { return !window.isVisible(); }));
    EXPECT_EQ(window.closeRequests, 1);
}

}  // namespace
