// The manufacturing-test commands on the live view: the brightness
// handshake with the render path reaching a target, its refusals and its
// time-out, the symbols and user symbol types, and the overlay emptied at
// the end of every run.

#include <gtest/gtest.h>

#include <opencv2/core.hpp>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "app/FrameHooks.h"
#include "app/VelloraApp.h"
#include "imaging/ImageDoc.h"
#include "imaging/ImageView.h"
#include "imaging/LiveView.h"
#include "imaging/MfgTestOverlay.h"
#include "imaging/RenderOverlays.h"
#include "imaging/RenderRequest.h"
#include "platform/Clock.h"
#include "support/CachedLog.h"
#include "script/tests/CommandTestSupport.h"

namespace {

constexpr int kMfgTest_BrightnessAtTarget = 112;
constexpr int kMfgTest_ShowSymbolOverVideo = 113;
constexpr int kMfgTest_RemoveAllSymbolsOverVideo = 114;
constexpr int kMfgTest_CreateSymbolType = 115;
constexpr int kMfgTest_AddPointToSymbolType = 116;

std::vector<MfgTestSymbol> Symbols()
{
    platform::SemaphoreLock lock(MfgTestSymbolsSemaphore(), kMfgTestSymbolsWaitMs);
    return g_MfgTestSymbols;
}

// The live view in miniature: a preview document of 120 x 100 with one
// view, the Live Image button's state, and a frame source that, while a
// measurement waits for its answer, hands over frames 1000 brighter each time and renders
// each as the render thread does (a request built from the preview view,
// the window measured and reported).
class MfgTestCommandTest : public scripttest::CommandTest {
protected:
    void SetUp() override
    {
        CommandTest::SetUp();
        variables = scripttest::Declared({"int result = -5;", "int ok = 7;", "STRING message = \"old\";",
                                          "int id = 0;", "int existed = 9;", "double d = 0.5;"});
        if (!g_MatAccessLock)
            g_MatAccessLock = std::make_unique<platform::Semaphore>(1, 1);
        document.m_bPreview = true;
        document.m_pImage = new cv::Mat(100, 120, CV_16UC1, cv::Scalar(5000));
        SetPreviewDocument(&document);
        saved = GetFrameHooks();
        FrameHooks hooks = saved;
        hooks.livePreviewOpen = [this] { return liveOn.load(); };
        SetFrameHooks(hooks);
        theApp.SetImageViewInvalidator([this] { ++redraws; });
        ClearMfgTestSymbols();
    }
    void TearDown() override
    {
        StopFrames();
        ForgetPreviewDocument(&document);
        SetFrameHooks(saved);
        theApp.SetImageViewInvalidator(nullptr);
        CommandTest::TearDown();
    }

    void StartFrames()
    {
        frames = std::thread([this] {
            int brightness = 5000;
            while (!stop) {
                // Frames come only while a measurement waits for its answer.
                const auto event = GetMfgTestBrightnessEvent();
                if (!event || event->IsSet()) {
                    std::this_thread::yield();
                    continue;
                }
                auto* frame = new cv::Mat(100, 120, CV_16UC1, cv::Scalar(brightness));
                bool noDocument = false;
                CString error;
                if (!HandFrameToPreviewDocument(frame, noDocument, error))
                    delete frame;
                std::unique_ptr<RenderRequest> request;
                if (g_MatAccessLock->Wait(1000)) {
                    request = std::make_unique<RenderRequest>(view);
                    g_MatAccessLock->Release();
                }
                int32_t median = 0;
                if (request && request->m_pBrightnessTarget &&
                    MeasureBrightnessWindow(*request->m_pImage, *request->m_pBrightnessTarget, median))
                    ReportMfgTestBrightness(median, *request->m_pBrightnessTarget);
                brightness = std::min(brightness + 1000, 65000);
            }
        });
    }
    void StopFrames()
    {
        stop = true;
        if (frames.joinable())
            frames.join();
    }

    CImageDoc document;
    CImageView view{&document, nullptr};
    std::atomic<bool> liveOn{true};
    std::atomic<bool> stop{false};
    std::thread frames;
    FrameHooks saved;
    int redraws = 0;
};

TEST_F(MfgTestCommandTest, BrightnessRefusals)
{
    const struct {
        const char* arguments;
        const char* result;
    } cases[] = {
        {"(-1, 10, 60, 50, 5, 1, result);", "low must be greater than or equal to 0"},
        {"(100, 100, 60, 50, 5, 1, result);", "high must be must be greater than or equal to low"},
        {"(65535, 65536, 60, 50, 5, 1, result);", "low must be less than to 65535"},
        {"(0, 65536, 60, 50, 5, 1, result);",
         "high must be less than or equal to 65535 must be greater than or equal to 0"},
        {"(0, 10, 60, 50, 4, 1, result);", "sz must be an odd number."},
        {"(0, 10, 1, 50, 5, 1, result);", "ix - sz/2 must be greater than or equal to zero."},
        {"(0, 10, 118, 50, 5, 1, result);", "ix + sz/2 must be less than image width: 120."},
        {"(0, 10, 60, 1, 5, 1, result);", "iy - sz/2 must be greater than or equal to zero."},
        {"(0, 10, 60, 98, 5, 1, result);", "ix + sz/2 must be less than image height: 100."},
        {"(0, 10, 2, 50, 5, 0, result);", "timeout_sec must be between 1 and 3600."},
        {"(0, 10, 2, 50, 5, 3601, result);", "timeout_sec must be between 1 and 3600."},
        {"(0, 10, 60, 50, 5, result);", "Invalid int parameter 7"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Run(kMfgTest_BrightnessAtTarget, c.arguments), c.result) << c.arguments;
        EXPECT_FALSE(g_MfgTestBrightnessActive) << c.arguments;
        EXPECT_EQ(Run(kMfgTest_BrightnessAtTarget, c.arguments, true),
                  std::string(c.result).rfind("Invalid", 0) == 0 ? c.result : "ok");
    }
    EXPECT_EQ(Value("result"), "int -5");

    liveOn = false;
    EXPECT_EQ(Run(kMfgTest_BrightnessAtTarget, "(-1, 10, 60, 50, 5, 1, result);"), "Image preview is not active.");
    liveOn = true;
    delete document.m_pImage;
    document.m_pImage = nullptr;
    EXPECT_EQ(Run(kMfgTest_BrightnessAtTarget, "(0, 10, 60, 50, 5, 1, result);"),
              "MfgTest_BrightnessAtTarget() : Internal error #2");
    ForgetPreviewDocument(&document);
    EXPECT_EQ(Run(kMfgTest_BrightnessAtTarget, "(0, 10, 60, 50, 5, 1, result);"),
              "MfgTest_BrightnessAtTarget() : Internal error #1");
    EXPECT_FALSE(g_MfgTestBrightnessActive);
}

TEST_F(MfgTestCommandTest, BrightnessHandshakeReachesTheTarget)
{
    StartFrames();
    // Frames brighten from 5000 by 1000 each: the first in the band is 20000.
    EXPECT_EQ(Run(kMfgTest_BrightnessAtTarget, "(19500, 22000, 60, 50, 5, 60, result);"), "ok");
    EXPECT_EQ(Value("result"), "int 20000");
    EXPECT_FALSE(g_MfgTestBrightnessActive);
    EXPECT_EQ(GetMfgTestBrightnessEvent(), nullptr);
    // The last value outside the band stays for a later time-out.
    EXPECT_EQ(g_MfgTestBrightnessLastValue, 19000);
}

TEST_F(MfgTestCommandTest, TimeOutGivesTheLastValueAndOneMeasurementRunsAtATime)
{
    platform::ManualClock clock;
    clock.ElapseBlockedWaits(true);
    {
        platform::ScopedClock useClock{clock};
        g_MfgTestBrightnessLastValue = 1234;
        EXPECT_EQ(Run(kMfgTest_BrightnessAtTarget, "(60000, 61000, 60, 50, 5, 3, result);"), "ok");
        EXPECT_EQ(Value("result"), "int 1234");
    }

    // A second caller (the other interpreter) while one waits.
    std::string first;
    std::thread waiting([&] {
        std::vector<Variable> own = scripttest::Declared({"int r = 0;"});
        CString error;
        Script other(1);
        first = other.ExecuteBuiltInFunction(kMfgTest_BrightnessAtTarget, "(100, 200, 60, 50, 5, 60, r);", own,
                                             false, error)
                    ? scripttest::Describe(own, "r")
                    : error.str();
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!GetMfgTestBrightnessEvent() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    ASSERT_NE(GetMfgTestBrightnessEvent(), nullptr);
    EXPECT_EQ(Run(kMfgTest_BrightnessAtTarget, "(0, 10, 60, 50, 5, 1, result);"),
              "Already running MfgTest_BrightnessAtTarget().");
    EXPECT_TRUE(g_MfgTestBrightnessActive);
    // A render of an older request does not answer; one of this target does.
    ReportMfgTestBrightness(150, MfgTestBrightnessTarget{0, 1000, 60, 50, 5, 0});
    EXPECT_FALSE(GetMfgTestBrightnessEvent()->IsSet());
    ReportMfgTestBrightness(150, MfgTestBrightnessTarget{100, 200, 60, 50, 5, 0});
    waiting.join();
    EXPECT_EQ(first, "int 150");
    EXPECT_FALSE(g_MfgTestBrightnessActive);
}

TEST_F(MfgTestCommandTest, SymbolsAndUserTypes)
{
    ASSERT_EQ(Run(kMfgTest_CreateSymbolType, "(\"Symbol test arrow\", id, existed);"), "ok");
    const int arrow = variables[3].iValue;
    EXPECT_GE(arrow, 1000);
    EXPECT_EQ(Value("existed"), "int 0");
    ASSERT_EQ(Run(kMfgTest_CreateSymbolType, "(\"SYMBOL TEST ARROW\", id, existed);"), "ok");
    EXPECT_EQ(Value("id"), "int " + std::to_string(arrow));
    EXPECT_EQ(Value("existed"), "int 1");
    ASSERT_EQ(Run(kMfgTest_CreateSymbolType, "(\"Symbol test box\", id, existed);"), "ok");
    const int box = variables[3].iValue;
    EXPECT_EQ(box, arrow + 1);
    const std::string next = std::to_string(box + 1);
    // Only the ids of types that exist take points.
    EXPECT_EQ(Run(kMfgTest_AddPointToSymbolType, "(" + std::to_string(box) + ", 3, -4);"), "ok");
    EXPECT_EQ(Run(kMfgTest_AddPointToSymbolType, "(" + next + ", 3, 4);"),
              "MfgTest_AddPointToSymbolType() : Invalid symbol_type: " + next);
    EXPECT_EQ(Run(kMfgTest_AddPointToSymbolType, "(999, 3, 4);"),
              "MfgTest_AddPointToSymbolType() : Invalid symbol_type: 999");
    EXPECT_EQ(Run(kMfgTest_AddPointToSymbolType, "(" + next + ", 3, 4);", true), "ok");
    std::vector<MfgTestPoint> points;
    ASSERT_TRUE(CopyMfgTestSymbolTypePoints(box, points));
    ASSERT_EQ(points.size(), 1u);
    EXPECT_EQ(points[0].x, 3);
    EXPECT_EQ(points[0].y, -4);

    const struct {
        std::string arguments;
        const char* ok;
        std::string message;
    } cases[] = {
        {"(10, 20, 0, 255, 0, 0, 2, ok, message);", "int 1", ""},
        {"(11, 21, 7, 0, 0, 0, 20, ok, message);", "int 1", ""},  // added, draws nothing
        {"(12, 22, " + std::to_string(box) + ", 1, 2, 3, 1, ok, message);", "int 1", ""},
        {"(1, 1, " + next + ", 0, 0, 0, 1, ok, message);", "int 0", "Invalid symbol_type: " + next},
        {"(1, 1, 1, 256, 0, 0, 1, ok, message);", "int 0", "Invalid parameter red: 256  Value must be between 0 and 255"},
        {"(1, 1, 1, 0, -1, 0, 1, ok, message);", "int 0", "Invalid parameter green: -1  Value must be between 0 and 255"},
        {"(1, 1, 1, 0, 0, 300, 1, ok, message);", "int 0", "Invalid parameter blue: 300  Value must be between 0 and 255"},
        {"(1, 1, 1, 0, 0, 0, 0, ok, message);", "int 0", "line_width must be between 1 and 20"},
        {"(1, 1, 1, 0, 0, 0, 21, ok, message);", "int 0", "line_width must be between 1 and 20"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Run(kMfgTest_ShowSymbolOverVideo, c.arguments), "ok") << c.arguments;
        EXPECT_EQ(Value("ok"), c.ok) << c.arguments;
        EXPECT_EQ(Value("message"), "STRING " + c.message) << c.arguments;
    }
    liveOn = false;
    EXPECT_EQ(Run(kMfgTest_ShowSymbolOverVideo, "(1, 1, 1, 0, 0, 0, 1, ok, message);"), "ok");
    EXPECT_EQ(Value("message"), "STRING Image preview is not active.");
    liveOn = true;
    // Outputs of another type receive nothing.
    EXPECT_EQ(Run(kMfgTest_ShowSymbolOverVideo, "(1, 1, 1, 0, 0, 0, 0, d, \"x\");"), "ok");
    EXPECT_EQ(Value("d"), "double 0.5");

    const std::vector<MfgTestSymbol> symbols = Symbols();
    ASSERT_EQ(symbols.size(), 3u);
    EXPECT_EQ(symbols[0].type, 0);
    EXPECT_EQ(symbols[0].x, 10);
    EXPECT_EQ(symbols[0].y, 20);
    EXPECT_EQ(symbols[0].red, 255);
    EXPECT_EQ(symbols[0].lineWidth, 2);
    EXPECT_EQ(symbols[0].shown, 1);
    EXPECT_EQ(symbols[1].type, 7);
    EXPECT_EQ(symbols[2].type, box);
    EXPECT_EQ(symbols[2].blue, 3);
    EXPECT_EQ(symbols[1].sequence, symbols[0].sequence + 1);
    EXPECT_EQ(symbols[2].sequence, symbols[1].sequence + 1);

    const int before = redraws;
    EXPECT_EQ(Run(kMfgTest_RemoveAllSymbolsOverVideo, "();", true), "ok");
    EXPECT_EQ(Symbols().size(), 3u);
    EXPECT_EQ(Run(kMfgTest_RemoveAllSymbolsOverVideo, "(1);"), "missing )");
    EXPECT_EQ(Run(kMfgTest_RemoveAllSymbolsOverVideo, "();"), "ok");
    EXPECT_TRUE(Symbols().empty());
    EXPECT_EQ(redraws, before + 1);
    // The types stay.
    EXPECT_EQ(Run(kMfgTest_CreateSymbolType, "(\"symbol test BOX\", id, existed);"), "ok");
    EXPECT_EQ(Value("existed"), "int 1");
}

TEST_F(MfgTestCommandTest, EveryEndOfARunEmptiesTheOverlayAndKeepsTheTypes)
{
    if (!_CachedLog_semaphore) {
        Tovanix::String error;
        ASSERT_TRUE(InitializeCachedLogging(30, &error)) << error.c_str();
    }
    const std::string good = Write("Scripts/symbols.scr",
                                   "int ok = 0;\nSTRING m = \"\";\nint id = 0;\nint e = 0;\n"
                                   "MfgTest_CreateSymbolType(\"Run end type\", id, e);\n"
                                   "MfgTest_ShowSymbolOverVideo(5, 5, 1, 0, 255, 0, 3, ok, m);\n"
                                   "MfgTest_ShowSymbolOverVideo(6, 6, 0, 0, 255, 0, 3, ok, m);\n");
    const std::string failing = Write("Scripts/failing.scr",
                                      "int ok = 0;\nSTRING m = \"\";\n"
                                      "MfgTest_ShowSymbolOverVideo(5, 5, 1, 0, 255, 0, 3, ok, m);\n"
                                      "MfgTest_AddPointToSymbolType(999, 0, 0);\n");
    size_t ends = 0;
    for (const std::string& path : {good, failing}) {
        CString error;
        ASSERT_TRUE(Script::RunScript(0, path.c_str(), error)) << error.GetString();
        ASSERT_TRUE(observer.WaitForEnds(++ends));
        EXPECT_TRUE(Symbols().empty()) << path;
    }
    EXPECT_EQ(observer.Ends(), (std::vector<std::string>{"0 ended", "0 failed"}));
    int32_t id = 0;
    bool existed = false;
    ASSERT_TRUE(FindMfgTestSymbolType("RUN END TYPE", id, existed));
    EXPECT_TRUE(existed);
}

}  // namespace
