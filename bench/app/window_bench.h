// What the benches that run the main window share: one offscreen application with the program's
// resources loaded, and the event loop run until a condition holds.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <cstdlib>

#include "app/startup.h"

namespace velqa::bench {

// The application, made on the first call (VELQA_SOURCE_DIR's skin and fonts).
inline QApplication& window_bench_app() {
    static int argc = 1;
    static char name[] = "velqa-bench";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication* app = [] {
        auto* a = new QApplication(argc, argv);
        if (!velqa::app::load_resources(VELQA_SOURCE_DIR))
            std::abort();
        return a;
    }();
    return *app;
}

// Runs the event loop until `done` or 10 s; false on the deadline.
template <class F>
bool run_until(F done) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > 10000)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 1);
    }
    return true;
}

}  // namespace velqa::bench
