#include "imaging/RenderList.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "imaging/tests/ImagingTestSupport.h"

namespace {

using imagingtest::FakeViewWindow;
using imagingtest::ImagingTest;
using imagingtest::PendingPaths;

class RenderListTest : public ImagingTest {};

RenderRequest* Request(const std::string& path, bool reference = false, bool close = false) {
    auto* request = new RenderRequest;
    request->m_strImagePath = path.c_str();
    request->m_bSaveReference = reference;
    request->m_bCloseDocument = close;
    return request;
}

TEST_F(RenderListTest, NewerRequestTakesThePendingOnesPlaceAndKeepsItsReferenceAndClose) {
    struct Case {
        bool pendingReference, pendingClose, newReference, newClose;
        bool reference, close;
    };
    const Case cases[] = {
        {true, true, false, false, true, true},     // a repaint must not cancel them
        {true, false, false, false, true, false},
        {false, false, true, true, true, true},
        {false, false, false, false, false, false},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(AddToRenderList(Request("a.png")));
        ASSERT_TRUE(AddToRenderList(Request("b.png", c.pendingReference, c.pendingClose)));
        ASSERT_TRUE(AddToRenderList(Request("c.png")));
        RenderRequest* newer = Request("b.png", c.newReference, c.newClose);
        ASSERT_TRUE(AddToRenderList(newer));

        EXPECT_EQ(PendingPaths(), (std::vector<std::string>{"a.png", "b.png", "c.png"}));
        EXPECT_EQ(g_RenderList[1], newer);
        EXPECT_EQ(newer->m_bSaveReference, c.reference);
        EXPECT_EQ(newer->m_bCloseDocument, c.close);
        imagingtest::ClearRenderList();
    }
}

TEST_F(RenderListTest, PathsCompareWithLetterCase) {
    ASSERT_TRUE(AddToRenderList(Request("/data/Image.png")));
    ASSERT_TRUE(AddToRenderList(Request("/data/image.png")));
    EXPECT_EQ(PendingPaths().size(), 2u);
}

TEST_F(RenderListTest, HoldsOneHundredImagesAndRefusesTheNextOne) {
    for (int i = 0; i < kRenderListSize; ++i) {
        ASSERT_TRUE(AddToRenderList(Request("image" + std::to_string(i) + ".png")));
    }
    RenderRequest* refused = Request("image100.png");
    EXPECT_FALSE(AddToRenderList(refused));
    delete refused;
    EXPECT_NE(LogText().find("Render List Overflow."), std::string::npos);

    // A newer request for one of the hundred still takes its place.
    RenderRequest* newer = Request("image42.png");
    EXPECT_TRUE(AddToRenderList(newer));
    EXPECT_EQ(g_RenderList[42], newer);
}

TEST_F(RenderListTest, HeadIsServedFirstAndTheRestMoveUp) {
    for (int i = 0; i < kRenderListSize; ++i) {
        ASSERT_TRUE(AddToRenderList(Request("image" + std::to_string(i) + ".png")));
    }
    RenderRequest* head = TakeRenderListHead();
    ASSERT_NE(head, nullptr);
    EXPECT_EQ(head->m_strImagePath, "image0.png");
    delete head;
    for (int i = 0; i < kRenderListSize - 1; ++i) {
        ASSERT_NE(g_RenderList[i], nullptr);
        EXPECT_EQ(g_RenderList[i]->m_strImagePath, CString::Formatted("image%d.png", i + 1));
    }
    EXPECT_EQ(g_RenderList[kRenderListSize - 1], nullptr);

    imagingtest::ClearRenderList();
    EXPECT_EQ(TakeRenderListHead(), nullptr);
    EXPECT_FALSE(g_RenderEvent->IsSet());
    ASSERT_TRUE(AddToRenderList(Request("later.png")));
    EXPECT_TRUE(g_RenderEvent->IsSet());
}

TEST_F(RenderListTest, RefusesWhenTheListStaysLocked) {
    ASSERT_TRUE(_render_list_semaphore->Wait(0));
    RenderRequest* request = Request("a.png");
    const bool added = AddToRenderList(request);
    _render_list_semaphore->Release();
    delete request;

    EXPECT_FALSE(added);
    EXPECT_NE(LogText().find("AddToRenderList() Timeout after waiting 1000ms for _render_list_semaphore."),
              std::string::npos);
}

TEST_F(RenderListTest, ServingDrawsForTheTargetWindowAndQueuesTheClose) {
    FakeViewWindow window(120, 60);
    std::vector<cv::Size> drawnSizes;
    SetRenderImageFunction([&drawnSizes](RenderRequest*, cv::Mat& picture) {
        drawnSizes.push_back(picture.size());
        picture.setTo(cv::Scalar(1, 2, 3, 0));
        return true;
    });

    RenderRequest* request = Request("/data/a.png", false, true);
    request->m_hWnd = window.GetRenderTarget();
    request->m_rcTarget = window.GetClientRect();
    ServeRenderRequest(request);

    // The picture covers the target rectangle, right and bottom edges included.
    ASSERT_EQ(drawnSizes, (std::vector<cv::Size>{cv::Size(121, 61)}));
    ASSERT_EQ(window.Pictures().size(), 1u);
    EXPECT_EQ(window.Pictures()[0].at<cv::Vec4b>(60, 120), cv::Vec4b(1, 2, 3, 0));
    ASSERT_EQ(g_CloseDocumentRequests.size(), 1u);
    EXPECT_STREQ(g_CloseDocumentRequests[0].c_str(), "/data/a.png");
}

TEST_F(RenderListTest, RequestForAClosedWindowDrawsNothingAndClosesNothing) {
    std::atomic<int> draws{0};
    SetRenderImageFunction([&draws](RenderRequest*, cv::Mat&) {
        ++draws;
        return true;
    });
    HWND closed = 0;
    {
        FakeViewWindow window(50, 50);
        closed = window.GetRenderTarget();
    }
    FakeViewWindow another(50, 50);  // a handle is never given out twice
    ASSERT_NE(another.GetRenderTarget(), closed);

    RenderRequest* request = Request("/data/a.png", true, true);
    request->m_hWnd = closed;
    ServeRenderRequest(request);

    EXPECT_EQ(draws, 0);
    EXPECT_TRUE(g_CloseDocumentRequests.empty());
    EXPECT_NE(LogText().find("Image is not displayed due to invalid window handle"), std::string::npos);
}

TEST_F(RenderListTest, WindowClosedWhileItsPictureIsDrawnGetsNoPicture) {
    auto window = std::make_unique<FakeViewWindow>(40, 30);
    FakeViewWindow* const closing = window.get();
    SetRenderImageFunction([closing](RenderRequest*, cv::Mat&) {
        closing->Close();  // the user closes the window meanwhile
        return true;
    });
    RenderRequest* request = Request("/data/a.png");
    request->m_hWnd = window->GetRenderTarget();
    request->m_rcTarget = window->GetClientRect();
    ServeRenderRequest(request);

    EXPECT_TRUE(window->Pictures().empty());
    EXPECT_FALSE(IsWindow(window->GetRenderTarget()));
}

TEST_F(RenderListTest, VisibleToolsRowsAreDrawnAndTheViewsComeBackAfter) {
    const int32_t viewRows[4] = {400, 1500, 100, 1800};
    for (int i = 0; i < 4; ++i) g_ChannelMagnetLines[i] = viewRows[i];
    FakeViewWindow window(20, 20);
    std::vector<std::vector<int>> drawnRows;
    SetRenderImageFunction([&drawnRows](RenderRequest*, cv::Mat&) {
        drawnRows.push_back({g_ChannelMagnetLines[0], g_ChannelMagnetLines[1], g_ChannelMagnetLines[2],
                             g_ChannelMagnetLines[3]});
        return true;
    });
    bool fractionationVisible = true;
    bool projectionVisible = false;
    int upperChannel = 420;
    ToolLinesSources sources;
    sources.fractionationTool = [&](int32_t rows[4]) {
        const int32_t tool[4] = {upperChannel, 1450, 120, 1750};
        std::copy(tool, tool + 4, rows);
        return fractionationVisible;
    };
    sources.projectionTool = [&](int32_t rows[4]) {
        const int32_t tool[4] = {300, 1300, 200, 1600};
        std::copy(tool, tool + 4, rows);
        return projectionVisible;
    };
    SetToolLinesSources(sources);
    auto serve = [&] {
        RenderRequest* request = Request("a.png");
        request->m_hWnd = window.GetRenderTarget();
        ServeRenderRequest(request);
    };
    serve();
    upperChannel = 430;  // the tool's rows change while it stays visible
    serve();
    projectionVisible = true;  // the projection tool comes first
    serve();
    projectionVisible = fractionationVisible = false;
    serve();
    SetToolLinesSources({});

    EXPECT_EQ(drawnRows, (std::vector<std::vector<int>>{{420, 1450, 120, 1750},
                                                        {430, 1450, 120, 1750},
                                                        {300, 1300, 200, 1600},
                                                        {400, 1500, 100, 1800}}));
    EXPECT_FALSE(g_ToolLinesActive);
}

TEST_F(RenderListTest, RenderThreadServesRequestsInOrder) {
    FakeViewWindow window(10, 10);
    std::mutex mutex;
    std::vector<std::string> drawn;
    SetRenderImageFunction([&](RenderRequest* request, cv::Mat&) {
        std::lock_guard<std::mutex> lock(mutex);
        drawn.push_back(request->m_strImagePath.str());
        return true;
    });
    // Queued before the thread runs: the second b.png replaces the first.
    for (const char* path : {"a.png", "b.png", "c.png", "b.png"}) {
        RenderRequest* request = Request(path);
        request->m_hWnd = window.GetRenderTarget();
        ASSERT_TRUE(AddToRenderList(request));
    }
    std::atomic<bool> stop{false};
    std::thread thread([&stop] { RunRenderLoop(stop); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (window.Pictures().size() < 3 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    stop = true;
    g_RenderEvent->Set();
    thread.join();

    std::lock_guard<std::mutex> lock(mutex);
    EXPECT_EQ(drawn, (std::vector<std::string>{"a.png", "b.png", "c.png"}));
}

}  // namespace
