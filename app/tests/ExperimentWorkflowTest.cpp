#include "app/ExperimentWorkflow.h"

#include <chrono>
#include <cstring>
#include <iterator>
#include <optional>
#include <vector>

#include "app/ImageCaptureLogHeader.h"
#include "app/tests/FrameTestSupport.h"
#include "support/CachedLog.h"

namespace {

using std::chrono::milliseconds;

// The main window's timer 1000 on the test clock.
class ClockTimer : public WorkflowTimer {
public:
    void SetTimer(uint32_t periodMs) override {
        period = periodMs;
        periodsSet.push_back(periodMs);
    }
    void KillTimer() override { period.reset(); }

    std::optional<uint32_t> period;
    std::vector<uint32_t> periodsSet;
};

// A hand-over as the workflow thread sees it.
struct HandOver {
    int32_t index;
    bool withStartTime;
    long long atMs;
    bool operator==(const HandOver&) const = default;
};

std::ostream& operator<<(std::ostream& out, const HandOver& h) {
    return out << "{" << h.index << (h.withStartTime ? ", start" : ", no start") << ", " << h.atMs << " ms}";
}

class CaptureChainStub : public WorkflowCaptureChain {
public:
    bool CheckDiskSpaceForImageCapture(CString& error) override {
        error = diskQuestion;
        return diskQuestion.IsEmpty();
    }
    bool CheckCapturePeriod(SYSTEMTIME* startTime, CString& error) override {
        periodChecks++;
        checkedWithStart = startTime != nullptr;
        error = periodError;
        return !periodFails;
    }
    CString diskQuestion;
    bool periodFails = false;
    CString periodError;
    int periodChecks = 0;
    bool checkedWithStart = false;
};

class ExperimentWorkflowTest : public FrameLogicTest {
protected:
    void SetUp() override {
        FrameLogicTest::SetUp();
        SetWorkflowCaptureChain(&chain);
        started = clock.Now();
    }
    void TearDown() override {
        SetWorkflowCaptureChain(nullptr);
        FrameLogicTest::TearDown();
    }

    long long ElapsedMs() { return std::chrono::duration_cast<milliseconds>(clock.Now() - started).count(); }

    // Takes the hand-over the workflow thread would wake for.
    void Collect() {
        if (!g_WorkflowEvent->IsSet()) return;
        g_WorkflowEvent->Reset();
        handOvers.push_back({g_WorkflowCaptureIndex.load(), g_WorkflowStartTime.load() != nullptr, ElapsedMs()});
    }

    // Starts the workflow and lets the timer run for the given time.
    void StartAndRun(milliseconds duration) {
        workflow.Start();
        Collect();
        const auto end = clock.Now() + duration;
        while (timer.period && clock.Now() + milliseconds(*timer.period) <= end) {
            clock.Advance(milliseconds(*timer.period));
            workflow.OnTimer();
            Collect();
        }
    }

    ClockTimer timer;
    ExperimentWorkflow workflow{timer};
    CaptureChainStub chain;
    std::vector<HandOver> handOvers;
    std::chrono::steady_clock::time_point started;
};

TEST_F(ExperimentWorkflowTest, HandsOutOneIndexPerPeriodUntilTheCount) {
    struct Case {
        const char* settings;
        std::vector<HandOver> expected;
        std::vector<uint32_t> periodsSet;
    };
    const Case cases[] = {
        {"ImageCapturePeriod=1000\r\nImageCaptureCount=3\r\n",
         {{0, true, 0}, {1, true, 1000}, {2, true, 2000}},
         {1000}},
        // A count of 1 captures once; the timer is killed at once.
        {"ImageCapturePeriod=1000\r\nImageCaptureCount=1\r\n", {{0, true, 0}}, {1000}},
        {"ImageCapturePeriod=500\r\nImageCaptureCount=0\r\n", {{0, true, 0}}, {500}},
        // A count that does not parse counts as 1.
        {"ImageCapturePeriod=500\r\nImageCaptureCount=many\r\n", {{0, true, 0}}, {500}},
        // Period 0: one pass of every active type, without a start time and without the timer.
        {"ImageCapturePeriod=0\r\nImageCaptureCount=5\r\n", {{0, false, 0}}, {}},
        {"ImageCapturePeriod=soon\r\nImageCaptureCount=5\r\n", {{0, false, 0}}, {}},
        {"ImageCaptureCount=5\r\n", {{0, false, 0}}, {}},
        {"ImageCapturePeriod=3600000\r\nImageCaptureCount=2\r\n", {{0, true, 0}, {1, true, 3600000}}, {3600000}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.settings);
        handOvers.clear();
        timer.periodsSet.clear();
        started = clock.Now();
        WriteIni(std::string("[ExperimentSettings]\r\n") + c.settings);

        StartAndRun(milliseconds(4000000));

        EXPECT_EQ(handOvers, c.expected);
        EXPECT_EQ(timer.periodsSet, c.periodsSet);
        EXPECT_FALSE(timer.period) << "the timer still runs";
        EXPECT_FALSE(theApp.m_bWorkflowRunning);
        EXPECT_EQ(theApp.m_nWorkflowCaptureIndex, 0);
    }
    EXPECT_TRUE(ui.ShownBoxes().empty());
}

TEST_F(ExperimentWorkflowTest, RunsWhileIndicesRemainAndStopsAfterTheLast) {
    WriteIni("[ExperimentSettings]\r\nImageCapturePeriod=1000\r\nImageCaptureCount=3\r\n");
    workflow.Start();
    Collect();
    EXPECT_TRUE(theApp.m_bWorkflowRunning);
    EXPECT_EQ(theApp.m_nWorkflowCaptureIndex, 0);
    ASSERT_TRUE(timer.period);

    clock.Advance(milliseconds(1000));
    workflow.OnTimer();
    EXPECT_TRUE(theApp.m_bWorkflowRunning);
    EXPECT_EQ(theApp.m_nWorkflowCaptureIndex, 1);

    // The count is read at every tick: lowering it ends the run at the next one.
    WriteIni("[ExperimentSettings]\r\nImageCapturePeriod=1000\r\nImageCaptureCount=2\r\n");
    clock.Advance(milliseconds(1000));
    g_WorkflowEvent->Reset();
    workflow.OnTimer();
    EXPECT_FALSE(g_WorkflowEvent->IsSet()) << "no index beyond the count";
    EXPECT_FALSE(theApp.m_bWorkflowRunning);
    EXPECT_FALSE(timer.period);
}

TEST_F(ExperimentWorkflowTest, PeriodsOutsideTheLimitsAreRefusedWithTheirMessage) {
    const char* const periods[] = {"3600001", "-1", "99999999999"};
    const char* const shown[] = {"3600001", "-1", "2147483647"};
    for (size_t i = 0; i < std::size(periods); ++i) {
        SCOPED_TRACE(periods[i]);
        ui.Clear();
        WriteIni(std::string("[ExperimentSettings]\r\nImageCapturePeriod=") + periods[i] + "\r\nImageCaptureCount=3\r\n");
        StartAndRun(milliseconds(5000));

        const std::string message = std::string("[ExperimentSettings] invalid ImageCapturePeriod=") + shown[i] +
                                    " : must be an integer between 0 and 3600000";
        ASSERT_EQ(ui.ShownBoxes().size(), 1u);
        EXPECT_EQ(ui.ShownBoxes()[0].text, message);
        EXPECT_NE(ErrorLog().find(message), std::string::npos);
        EXPECT_TRUE(handOvers.empty());
        EXPECT_TRUE(timer.periodsSet.empty());
        EXPECT_FALSE(theApp.m_bWorkflowRunning);
    }
    EXPECT_EQ(chain.periodChecks, 0);
}

TEST_F(ExperimentWorkflowTest, AFailedPeriodCheckLeavesTheWorkflowIdle) {
    WriteIni("[ExperimentSettings]\r\nImageCapturePeriod=700\r\nImageCaptureCount=3\r\n");
    chain.periodFails = true;
    chain.periodError = "Image capture period, currently set to 700 ms, must be at least 700 ms longer";
    StartAndRun(milliseconds(5000));

    EXPECT_EQ(chain.periodChecks, 1);
    EXPECT_TRUE(chain.checkedWithStart);
    EXPECT_TRUE(handOvers.empty());
    EXPECT_FALSE(timer.period);
    EXPECT_FALSE(theApp.m_bWorkflowRunning);
    ASSERT_EQ(ui.ShownBoxes().size(), 1u);
    EXPECT_EQ(ui.ShownBoxes()[0].text, chain.periodError.GetString());
    EXPECT_NE(ErrorLog().find(chain.periodError.GetString()), std::string::npos);

    // A failure without text is not shown.
    ui.Clear();
    chain.periodError.Empty();
    workflow.Start();
    EXPECT_TRUE(ui.ShownBoxes().empty());
    EXPECT_FALSE(theApp.m_bWorkflowRunning);
}

TEST_F(ExperimentWorkflowTest, TheDiskSpaceQuestionDecidesWhetherTheRunStarts) {
    WriteIni("[ExperimentSettings]\r\nImageCapturePeriod=1000\r\nImageCaptureCount=3\r\n");
    chain.diskQuestion = "Recommended disk space for this operation is 20 GB. You have 3 GB available.";

    // No: nothing of the workflow changes.
    theApp.m_nWorkflowCaptureIndex = 7;
    SYSTEMTIME before = theApp.m_WorkflowStartTime;
    clock.Advance(milliseconds(5000));
    ui.QueueAnswer(platform::IDNO);
    workflow.Start();
    Collect();
    ASSERT_EQ(ui.ShownBoxes().size(), 1u);
    EXPECT_EQ(ui.ShownBoxes()[0].text, chain.diskQuestion.GetString());
    EXPECT_EQ(ui.ShownBoxes()[0].type & 0x0F, platform::MB_YESNO);
    EXPECT_FALSE(theApp.m_bWorkflowRunning);
    EXPECT_EQ(theApp.m_nWorkflowCaptureIndex, 7);
    EXPECT_EQ(std::memcmp(&before, &theApp.m_WorkflowStartTime, sizeof before), 0);
    EXPECT_TRUE(handOvers.empty());

    // Yes: the run starts.
    ui.QueueAnswer(platform::IDYES);
    workflow.Start();
    Collect();
    EXPECT_TRUE(theApp.m_bWorkflowRunning);
    EXPECT_EQ(handOvers.size(), 1u);
    workflow.Stop();
}

TEST_F(ExperimentWorkflowTest, StopEndsTheRunAndWritesTheQueuedHeaderLinesToTheCaptureLog) {
    static const bool loggingStarted = [] {
        Tovanix::String error;
        return InitializeCachedLogging(30, &error);
    }();
    ASSERT_TRUE(loggingStarted);
    const std::string logPath = (root / "Exp1.log").string();
    Tovanix::String error;
    // Header lines go in above the column line.
    ASSERT_TRUE(AddALine(logPath.c_str(), "Vellora", &error));
    ASSERT_TRUE(AddALine(logPath.c_str(), "ImageFile\tDate\tTime", &error, true));

    CreateImageCaptureLogHeaderSemaphore();
    QueueImageCaptureLogHeaderLine("Operator=Ann");
    QueueImageCaptureLogHeaderLine("Sample=S12");

    WriteIni("[ExperimentSettings]\r\nImageCapturePeriod=1000\r\nImageCaptureCount=10\r\n");
    workflow.Start();
    ASSERT_TRUE(theApp.m_bWorkflowRunning);
    // Before any capture filed a log, the header lines wait in their queue.
    workflow.Stop();
    EXPECT_FALSE(theApp.m_bWorkflowRunning);
    EXPECT_FALSE(timer.period);

    workflow.Start();
    workflow.m_strImageCaptureLogPath.SetIfEmpty(logPath.c_str());
    workflow.m_strImageCaptureLogPath.SetIfEmpty("elsewhere.log");
    workflow.Stop();

    EXPECT_FALSE(theApp.m_bWorkflowRunning);
    EXPECT_EQ(theApp.m_nWorkflowCaptureIndex, 0);
    EXPECT_FALSE(timer.period);
    EXPECT_TRUE(workflow.m_strImageCaptureLogPath.Get().IsEmpty());
    std::ifstream file(logPath, std::ios::binary);
    std::vector<std::string> rows;
    for (std::string row; std::getline(file, row);) rows.push_back(row);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], "Vellora\r");
    EXPECT_TRUE(rows[1].ends_with("\tOperator=Ann\r")) << rows[1];
    EXPECT_TRUE(rows[2].ends_with("\tSample=S12\r")) << rows[2];
    EXPECT_EQ(rows[3], "ImageFile\tDate\tTime\r");
    std::vector<Tovanix::String> left;
    EXPECT_EQ(TakeImageCaptureLogHeaderLines(left), 0) << "the queue was emptied";
}

}  // namespace
