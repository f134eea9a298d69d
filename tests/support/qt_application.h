#pragma once

#include <QApplication>

namespace tev::testing {

// The one QApplication of a test program, made on first use; suites that need widgets call it
// in their SetUp so that their order does not matter. It is never destroyed: tearing it down
// among the exit handlers would run after Qt's own statics (the test input devices) are gone.
inline QApplication& qtApplication() {
    if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) {
        return *existing;
    }
    static int argc = 1;
    static char name[] = "tev3p_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

}  // namespace tev::testing
