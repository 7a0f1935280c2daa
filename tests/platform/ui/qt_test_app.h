// One QApplication per test process (offscreen when no platform is chosen).
#pragma once

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>
#include <filesystem>
#include <functional>
#include <string>

namespace velqa::test {

inline QApplication& qt_app() {
    static int argc = 1;
    static char name[] = "velqa-test";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Never destroyed: Qt's own globals may already be gone when static destructors run.
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

// Runs the event loop until `done` holds or a generous deadline passes; returns done().
inline bool wait_until(const std::function<bool()>& done, int deadline_ms = 10000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > deadline_ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// Points the resources at the shipped skin and loads "res.xml" and the English texts; false when
// either fails to load.
bool load_shipped_skin();

// Writes a text file, creating its folder.
void write_text(const std::filesystem::path& file, const std::string& text);

// A minimal Designer layout: `body` is the XML of the root widget's children (inside a
// QVBoxLayout), root widget named "root".
std::string ui_layout(const std::string& body);
// One layout item holding a widget of `cls` named `name` with extra property XML.
std::string ui_widget(const std::string& cls, const std::string& name,
                      const std::string& properties = {});

}  // namespace velqa::test
