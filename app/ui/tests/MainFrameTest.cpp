#include <gtest/gtest.h>

#include <QApplication>
#include <QMdiArea>

#include "app/ui/MainFrame.h"

TEST(MainFrame, OpensAsAnEmptyMdiWindowTitledVellora) {
    int argc = 1;
    char name[] = "app_ui_tests";
    char* argv[] = {name, nullptr};
    QApplication application(argc, argv);

    CMainFrame frame;
    frame.show();
    QApplication::processEvents();

    EXPECT_EQ(frame.windowTitle().toStdString(), "Vellora");
    ASSERT_NE(frame.mdiArea(), nullptr);
    EXPECT_TRUE(frame.mdiArea()->subWindowList().isEmpty());
    EXPECT_TRUE(frame.isVisible());
}
