#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/VelloraApp.h"
#include "app/startup/IdleQueues.h"
#include "platform/Sync.h"

namespace {

class IdleQueuesTest : public ::testing::Test {
protected:
    void SetUp() override {
        IdleWindows windows;
        windows.saveReferenceImage = [this](const char* path, CString&) {
            served.push_back(std::string("reference ") + path);
            return true;
        };
        windows.closeDocument = [this](const std::string& path) { served.push_back("close " + path); };
        windows.showVideoWindow = [this] { served.push_back("video"); };
        SetIdleWindows(windows);
    }
    void TearDown() override {
        SetIdleWindows({});
        g_ReferenceImageRequests.clear();
        g_CloseDocumentRequests.clear();
        g_ShowVideoDialogRequested = false;
    }

    // Idle calls until one serves nothing.
    int RunIdle() {
        int calls = 0;
        while (theApp.OnIdle(calls)) ++calls;
        return calls;
    }

    static void Queue(std::vector<Tovanix::String>& list, const char* path) {
        platform::SemaphoreLock lock(*g_IdleRequestSemaphore, 1000);
        ASSERT_TRUE(lock.Held());
        list.emplace_back(path);
    }

    std::vector<std::string> served;
};

TEST_F(IdleQueuesTest, OneItemPerCallReferencesNewestFirstThenClosesThenTheVideoWindow) {
    Queue(g_ReferenceImageRequests, "/d/A.png");
    Queue(g_ReferenceImageRequests, "/d/B.png");
    Queue(g_CloseDocumentRequests, "/d/X.png");
    Queue(g_ReferenceImageRequests, "/d/C.png");
    g_ShowVideoDialogRequested = true;
    g_ShowVideoDialogRequested = true;  // asked twice, shown once

    EXPECT_EQ(RunIdle(), 5);
    EXPECT_EQ(served, (std::vector<std::string>{"reference /d/C.png", "reference /d/B.png", "reference /d/A.png",
                                                "close /d/X.png", "video"}));
    EXPECT_TRUE(g_ReferenceImageRequests.empty());
    EXPECT_TRUE(g_CloseDocumentRequests.empty());
    EXPECT_FALSE(g_ShowVideoDialogRequested);
}

TEST_F(IdleQueuesTest, CloseWaitsForAReferenceQueuedAfterIt) {
    Queue(g_CloseDocumentRequests, "/d/A.png");
    Queue(g_ReferenceImageRequests, "/d/A.png");
    ASSERT_TRUE(theApp.OnIdle(0));
    EXPECT_EQ(served, std::vector<std::string>{"reference /d/A.png"});
    Queue(g_ReferenceImageRequests, "/d/B.png");
    RunIdle();
    EXPECT_EQ(served, (std::vector<std::string>{"reference /d/A.png", "reference /d/B.png", "close /d/A.png"}));
}

TEST_F(IdleQueuesTest, ALockHeldElsewhereSkipsTheQueuesForThisCall) {
    Queue(g_ReferenceImageRequests, "/d/A.png");
    {
        platform::SemaphoreLock lock(*g_IdleRequestSemaphore, 1000);
        EXPECT_FALSE(theApp.OnIdle(0)) << "both waits time out after a second";
    }
    EXPECT_TRUE(served.empty());
    EXPECT_TRUE(theApp.OnIdle(0));
    EXPECT_EQ(served, std::vector<std::string>{"reference /d/A.png"});
}

TEST_F(IdleQueuesTest, WithoutWindowsARequestIsTakenAndDropped) {
    SetIdleWindows({});
    Queue(g_CloseDocumentRequests, "/d/A.png");
    g_ShowVideoDialogRequested = true;
    EXPECT_EQ(RunIdle(), 2);
    EXPECT_TRUE(g_CloseDocumentRequests.empty());
}

}  // namespace
