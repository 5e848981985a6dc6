#pragma once

// One application object for a whole Qt test process (on the offscreen
// platform the test main selects). Created on first use and kept to the end,
// since Qt allows only one per process.

#include <QApplication>

namespace testsupport {

inline void EnsureApplication() {
    static int argc = 1;
    static char name[] = "vellora_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    (void)app;
}

}  // namespace testsupport
