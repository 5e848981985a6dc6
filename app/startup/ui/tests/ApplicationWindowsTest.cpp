#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMdiArea>
#include <QTest>

#include <filesystem>
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "app/FrameCommands.h"
#include "app/VelloraApp.h"
#include "app/startup/ui/AboutDlg.h"
#include "app/startup/ui/ApplicationWindows.h"
#include "imaging/ImageDoc.h"
#include "imaging/ui/DocTemplate.h"
#include "platform/Sync.h"
#include "platform/UiBridge.h"
#include "platform/testsupport/QtTestApplication.h"

namespace {

namespace fs = std::filesystem;

TEST(AboutDlgTest, ShowsTheNameVersionAndBuild) {
    testsupport::EnsureApplication();
    theApp.m_strVersion = "1.0.0";
    theApp.m_strBuild = "17";
    CAboutDlg about;
    EXPECT_EQ(about.windowTitle(), "About Vellora");
    EXPECT_EQ(about.NameLabel()->text(), "Vellora");
    EXPECT_EQ(about.VersionLabel()->text(), "Version 1.0.0");
    EXPECT_EQ(about.BuildLabel()->text(), "Build 17");
    if (const char* shots = std::getenv("VELLORA_SCREENSHOTS")) {
        about.show();
        about.grab().save(QString(shots) + "/about.png");
    }
}

// A close request names the document's path in other letter case: the idle
// work closes that document's window.
TEST(ApplicationWindowsTest, IdleCloseRequestMatchesThePathWithoutRegardToCase) {
    testsupport::EnsureApplication();
    platform::ScriptedUiBridge ui;
    platform::ScopedUiBridge useUi(ui);
    const fs::path folder = fs::path(std::getenv("VELLORA_TEST_ROOT")) / "idle";
    fs::create_directories(folder);
    const fs::path image = folder / "Image.png";
    ASSERT_TRUE(cv::imwrite(image.string(), cv::Mat(8, 8, CV_16UC1, cv::Scalar(1000))));

    QMdiArea area;
    CommandRouter commands;
    CMultiDocTemplate documents(&area);
    ScopedImageDocTemplate installed(&documents);
    ScopedApplicationWindows windows(commands, &area, &documents);
    EXPECT_TRUE(commands.HasHandler(cmd::ID_APP_ABOUT));
    EXPECT_TRUE(commands.HasHandler(cmd::ID_FILE_OPEN));
    ASSERT_NE(documents.OpenDocumentFile(image.c_str()), nullptr);
    ASSERT_EQ(documents.GetDocuments().size(), 1u);

    std::string other = (folder / "IMAGE.PNG").string();
    {
        platform::SemaphoreLock lock(*g_IdleRequestSemaphore, 1000);
        g_CloseDocumentRequests.emplace_back(other.c_str());
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return documents.GetDocuments().empty(); }, 20000));
    EXPECT_TRUE(g_CloseDocumentRequests.empty());
}

}  // namespace
