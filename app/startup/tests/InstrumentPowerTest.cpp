#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <string>
#include <vector>

#include "app/VelloraApp.h"
#include "app/startup/StartUp.h"
#include "app/tests/AppTestSupport.h"
#include "platform/Clock.h"
#include "platform/UiBridge.h"

namespace {

using std::chrono::milliseconds;

class InstrumentPowerTest : public apptest::DataRootTest {
protected:
    platform::ManualClock clock;
    platform::ScopedClock useClock{clock};
    platform::ScriptedUiBridge ui;
    platform::ScopedUiBridge useUi{ui};
};

// The probe's answers per mode, used up in order (the last one repeats).
struct Answers {
    std::deque<bool> power;
    std::deque<bool> camera;
};

TEST_F(InstrumentPowerTest, PromptsWaitsAndTheAnswerThatEndsTheProgram) {
    struct Case {
        const char* name;
        Answers answers;
        std::vector<int> boxAnswers;
        std::string cameraType;
        bool expected;
        int boxes;        // message boxes shown
        long elapsedMs;   // on the program's clock
    };
    const std::vector<Case> cases = {
        {"power and camera at once", {{true}, {true}}, {}, "", true, 0, 2000},
        {"camera found after two rounds", {{true}, {false, false, true}}, {}, "", true, 0, 2 * 2000 + 2000},
        {"power at the second probe, Pixelink", {{false, true}, {true}}, {platform::IDOK}, "Pixelink", true, 1,
         1000 + 2000 + 15000},
        {"power at the second probe, other make", {{false, true}, {true}}, {platform::IDOK}, "pixelink", true, 1,
         1000 + 2000},
        {"no power, go on anyway", {{false}, {true}}, {platform::IDOK, platform::IDOK, platform::IDYES}, "", true, 3,
         2000},
        {"no power, end", {{false}, {true}}, {platform::IDOK, platform::IDOK, platform::IDNO}, "", false, 3, 2000},
        {"camera never found", {{true}, {false}}, {}, "", true, 0, 15 * 2000 + 2000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        apptest::Put(IniPath(), "[ExperimentSettings]\r\nCameraType=" + c.cameraType + "\r\n");
        ui.Clear();
        for (int answer : c.boxAnswers) ui.QueueAnswer(answer);
        Answers answers = c.answers;
        std::vector<std::string> calls;
        const auto probe = [&](int mode, bool runLister) {
            calls.push_back(std::to_string(mode) + (runLister ? "+" : "-"));
            std::deque<bool>& queue = mode == 1 ? answers.power : answers.camera;
            const bool result = queue.front();
            if (queue.size() > 1) queue.pop_front();
            return result;
        };
        const auto start = clock.Now();
        EXPECT_EQ(CheckInstrumentPower(probe), c.expected);
        EXPECT_EQ(std::chrono::duration_cast<milliseconds>(clock.Now() - start).count(), c.elapsedMs);
        const auto boxes = ui.ShownBoxes();
        ASSERT_EQ(static_cast<int>(boxes.size()), c.boxes);
        for (size_t n = 0; n < boxes.size() && n < 2; ++n) {
            EXPECT_EQ(boxes[n].text,
                      "The QX4 power seems to be off.  Please turn on the QX4 power and then click OK button below.");
            EXPECT_EQ(boxes[n].type, platform::MB_OK | platform::MB_ICONWARNING);
        }
        if (c.boxes == 3) {
            EXPECT_EQ(boxes[2].text, "The QX4 power was not detected.  Do you want to continue anyway?");
            EXPECT_EQ(boxes[2].type, platform::MB_YESNO | platform::MB_ICONQUESTION);
            EXPECT_EQ(calls, (std::vector<std::string>{"1+", "1+", "1+"})) << "no camera wait on this path";
        }
    }
}

}  // namespace
