#include <gtest/gtest.h>

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTest>

#include <cstdlib>
#include <memory>

#include <opencv2/core.hpp>

#include "app/FrameCommands.h"
#include "app/FrameHooks.h"
#include "app/ImageTypes.h"
#include "imaging/ImageDoc.h"
#include "imaging/LiveView.h"
#include "imaging/tests/CaptureTestSupport.h"
#include "imaging/ui/ChildFrame.h"
#include "imaging/ui/DocTemplate.h"
#include "imaging/ui/ImageViewWidget.h"
#include "imaging/ui/LivePreview.h"
#include "platform/testsupport/QtTestApplication.h"
#include "platform/ui/QtUiBridge.h"

namespace {

// The Live Image command and the preview window on the virtual instrument,
// in real time, as the main window runs them.
class LivePreviewTest : public capturetest::VirtualCaptureTest {
protected:
    void SetUp() override {
        testsupport::EnsureApplication();
        capturetest::VirtualCaptureTest::SetUp();
        otherSections += "[acA2440-35um Settings]\r\nRefreshPeriodMs=100\r\n";
        WriteSettings("ImageTypeName1=BRIGHTFIELD\r\nImageTypeExposure1=3000\r\nIsActive1=TRUE\r\n"
                      "ImageTypeName2=GFP\r\nImageTypeExposure2=200000\r\nIsActive2=TRUE\r\n");
        platform::SetClock(nullptr);
        platform::SetUiBridge(&bridge);
        ImageTypeBox::TextChanged("BRIGHTFIELD");

        area = std::make_unique<QMdiArea>();
        area->resize(700, 600);
        area->show();
        docTemplate = std::make_unique<CMultiDocTemplate>(area.get());
        installed = std::make_unique<ScopedImageDocTemplate>(docTemplate.get());
        AddMainFrameRules(router);
        live = std::make_unique<ScopedLiveView>(router);
    }

    void TearDown() override {
        live.reset();
        installed.reset();
        docTemplate.reset();
        area.reset();
        ImageTypeBox::TextChanged("");
        theApp.m_strLiveImageType.Empty();
        platform::SetUiBridge(&ui);
        platform::SetClock(&clock);
        capturetest::VirtualCaptureTest::TearDown();
    }

    CImageDoc* OnlyDocument() const {
        const auto documents = docTemplate->GetDocuments();
        return documents.size() == 1 ? documents.front() : nullptr;
    }
    ImageViewWidget* PreviewView() const {
        CImageDoc* document = OnlyDocument();
        CChildFrame* frame = document ? docTemplate->GetFrame(document) : nullptr;
        return frame ? frame->View() : nullptr;
    }
    bool LiveButtonPressed() const { return router.State(cmd::LiveImage).checked; }

    platform::QtUiBridge bridge;
    CommandRouter router;
    std::unique_ptr<QMdiArea> area;
    std::unique_ptr<CMultiDocTemplate> docTemplate;
    std::unique_ptr<ScopedImageDocTemplate> installed;
    std::unique_ptr<ScopedLiveView> live;
};

TEST_F(LivePreviewTest, LiveButtonOpensTheStreamingPreviewAndClosesIt) {
    EXPECT_FALSE(LiveButtonPressed());
    ASSERT_TRUE(router.Execute(cmd::LiveImage));
    CImageDoc* preview = OnlyDocument();
    ASSERT_NE(preview, nullptr);
    EXPECT_TRUE(preview->m_bPreview);
    EXPECT_TRUE(LiveButtonPressed());

    // Frames keep coming and reach the window's picture, titled with the type.
    const int grabs = Device().counters.grabs;
    ASSERT_TRUE(QTest::qWaitFor([&] { return PreviewView() && !PreviewView()->Picture().empty(); }, 20000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Device().counters.grabs >= grabs + 4; }, 20000));
    EXPECT_EQ(docTemplate->GetFrame(preview)->windowTitle(), "BRIGHTFIELD");
    ASSERT_NE(preview->m_pImage, nullptr);
    EXPECT_EQ(preview->m_pImage->cols, 2448);
    if (const char* folder = std::getenv("VELLORA_SCREENSHOTS")) {
        area->grab().save(QString(folder) + "/live-preview.png");
    }

    // Pressed again: the window closes, the button comes up, grabbing stops.
    ASSERT_TRUE(router.Execute(cmd::LiveImage));
    EXPECT_FALSE(LiveButtonPressed());
    EXPECT_TRUE(theApp.m_strLiveImageType.IsEmpty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return docTemplate->GetDocuments().empty(); }, 5000));
    QTest::qWait(400);  // a grab in progress may finish
    const int after = Device().counters.grabs;
    QTest::qWait(400);
    EXPECT_EQ(Device().counters.grabs, after) << "no grabs without a preview";
    EXPECT_FALSE(AnyLedLit());
    EXPECT_EQ(LogText().find("RunImageCaptureLiveView"), std::string::npos);
}

TEST_F(LivePreviewTest, ClosingAndReopeningAtOnceRestartsWithTheNewType) {
    ASSERT_TRUE(router.Execute(cmd::LiveImage));
    ASSERT_TRUE(QTest::qWaitFor([&] { return PreviewView() && !PreviewView()->Picture().empty(); }, 20000));

    // The image-type box restarts the live view by posting the command twice.
    ImageTypeBox::TextChanged("GFP");
    ASSERT_TRUE(router.Execute(cmd::LiveImage));
    ASSERT_TRUE(router.Execute(cmd::LiveImage));
    EXPECT_TRUE(LiveButtonPressed());
    ASSERT_TRUE(QTest::qWaitFor([&] { return OnlyDocument() != nullptr; }, 5000)) << "one preview window";
    CImageDoc* preview = OnlyDocument();
    EXPECT_TRUE(preview->m_bPreview);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return docTemplate->GetFrame(preview)->windowTitle() == "GFP" && !PreviewView()->Picture().empty(); },
        20000));
    EXPECT_EQ(theApp.m_nLastLiveImageType, 1);

    // The Close Preview command ends it the same way.
    FrameHooks hooks = GetFrameHooks();
    ASSERT_TRUE(hooks.closeLivePreview && hooks.closeLivePreview());
    EXPECT_FALSE(LiveButtonPressed());
    ASSERT_TRUE(QTest::qWaitFor([&] { return docTemplate->GetDocuments().empty(); }, 5000));
}

TEST_F(LivePreviewTest, ClosingThePreviewWindowItselfEndsTheLiveView) {
    ASSERT_TRUE(router.Execute(cmd::LiveImage));
    ASSERT_TRUE(QTest::qWaitFor([&] { return PreviewView() && !PreviewView()->Picture().empty(); }, 20000));
    docTemplate->GetFrame(OnlyDocument())->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return docTemplate->GetDocuments().empty(); }, 5000));
    EXPECT_FALSE(LiveButtonPressed());
    QTest::qWait(400);
    const int after = Device().counters.grabs;
    QTest::qWait(400);
    EXPECT_EQ(Device().counters.grabs, after);
}

}  // namespace
