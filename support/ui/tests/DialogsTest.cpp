#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QTimer>

#include <filesystem>

#include "platform/testsupport/QtTestApplication.h"
#include "platform/UiBridge.h"
#include "support/String.h"
#include "support/ui/FolderBrowser.h"
#include "support/ui/SelectColor.h"

namespace {

using testsupport::EnsureApplication;

// Accepts the modal dialog that is about to open.
void AcceptNextDialog() {
    QTimer::singleShot(50, [] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            dialog->accept();
        }
    });
}

TEST(SelectColorTest, OpensOnTheStoredColourAndHandsBackTheChoice) {
    EnsureApplication();
    Tovanix::SelectColor dialog;
    EXPECT_EQ(dialog.m_FirstColor, 0u);
    dialog.m_FirstColor = 0x00306090;  // red 0x90, green 0x60, blue 0x30
    AcceptNextDialog();
    EXPECT_EQ(dialog.DoModal(), platform::IDOK);
    EXPECT_EQ(dialog.currentColor(), QColor(0x90, 0x60, 0x30));
    EXPECT_EQ(dialog.GetColor(), 0x00306090u);

    dialog.m_FirstColor = 0x000000FF;
    QTimer::singleShot(50, [] { qobject_cast<QDialog*>(QApplication::activeModalWidget())->reject(); });
    EXPECT_EQ(dialog.DoModal(), platform::IDCANCEL);
    EXPECT_EQ(dialog.currentColor(), QColor(0xFF, 0, 0));
}

TEST(BrowseForFolderTest, StartsInTheHeldFolderAndKeepsItOnCancel) {
    struct Call {
        std::string title, start;
    };
    std::vector<Call> calls;
    bool confirm = false;
    Tovanix::SetFolderDialog([&](const std::string& title, const std::string& start, std::string* chosen) {
        calls.push_back({title, start});
        *chosen = "/data/experiments";
        return confirm;
    });

    Tovanix::String folder;
    EXPECT_FALSE(folder.BrowseForFolder("Select Data Directory..."));
    EXPECT_STREQ(folder.c_str(), "");
    folder = "runs\\2025";
    EXPECT_FALSE(folder.BrowseForFolder("Select a directory with images..."));
    EXPECT_STREQ(folder.c_str(), "runs\\2025");
    confirm = true;
    EXPECT_TRUE(folder.BrowseForFolder("Select a directory with images..."));
    EXPECT_STREQ(folder.c_str(), "/data/experiments");

    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].title, "Select Data Directory...");
    EXPECT_EQ(calls[0].start, "/");  // nothing held: the file-system root
    EXPECT_EQ(calls[1].start, "runs/2025");
    Tovanix::SetFolderDialog({});
}

TEST(BrowseForFolderTest, QtDialogReturnsTheFolderItWasOpenedIn) {
    EnsureApplication();
    const std::string start = std::string(std::getenv("VELLORA_TEST_ROOT")) + "/images";
    std::filesystem::create_directories(start);
    Tovanix::String folder(start.c_str());
    AcceptNextDialog();
    EXPECT_TRUE(folder.BrowseForFolder("Select a directory with images..."));
    EXPECT_EQ(std::filesystem::path(folder.c_str()), std::filesystem::path(start));
}

}  // namespace
