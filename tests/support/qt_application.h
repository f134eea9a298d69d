#pragma once

#include <QApplication>

namespace tev::testing {

// The one QApplication of a test program, made on first use; suites that need widgets call it
// in their SetUp so that their order does not matter.
inline QApplication& qtApplication() {
    if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) {
        return *existing;
    }
    static int argc = 1;
    static char name[] = "tev3p_tests";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return app;
}

}  // namespace tev::testing
