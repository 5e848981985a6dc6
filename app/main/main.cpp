#include <QApplication>
#include <QTimer>

#include <cstdlib>

#include "app/ui/MainFrame.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("Vellora");

    CMainFrame frame;
    frame.show();

    // Test facility: close the program on its own after a delay, so that the
    // start-up and shut-down paths can run unattended.
    if (const char* exitAfter = std::getenv("VELLORA_EXIT_AFTER_MS")) {
        QTimer::singleShot(std::atoi(exitAfter), &frame, &QWidget::close);
    }
    return application.exec();
}
