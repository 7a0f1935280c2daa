// A private skin folder per test and a window class built from a named layout.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/debug_output.h"
#include "platform/ui/controls.h"
#include "platform/ui/qt_test_app.h"
#include "platform/ui/resources.h"
#include "platform/ui/window.h"
#include "support/temp_dir.h"

namespace velqa::test {

// Records every notification it receives; its builder callback can create extra classes.
class RecordingWindow : public platform::ui::Window {
  public:
    explicit RecordingWindow(QString layout, QWidget* owner = nullptr)
        : Window(owner), layout_(std::move(layout)) {}
    QString skin_file() const override { return layout_; }

    struct Seen {
        std::string type;
        QString sender;
        platform::ui::WParam wparam;
        platform::ui::LParam lparam;
    };
    std::vector<Seen> seen;
    std::vector<std::string> types() const {
        std::vector<std::string> t;
        for (const auto& s : seen)
            t.push_back(s.type);
        return t;
    }
    int count(const std::string& type, const QString& sender = {}) const {
        int n = 0;
        for (const auto& s : seen) {
            if (s.type == type && (sender.isEmpty() || s.sender == sender))
                ++n;
        }
        return n;
    }
    std::function<QWidget*(const QString&)> callback;
    std::function<platform::ui::LResult(unsigned, platform::ui::WParam, platform::ui::LParam,
                                        bool&)>
        on_message;
    int init_calls = 0;

  protected:
    void init_window() override { ++init_calls; }
    void notify(platform::ui::Notification& msg) override {
        seen.push_back({msg.type, msg.sender_name(), msg.wparam, msg.lparam});
    }
    QWidget* create_control(const QString& class_name) override {
        return callback ? callback(class_name) : nullptr;
    }
    platform::ui::LResult handle_custom_message(unsigned m, platform::ui::WParam w,
                                                platform::ui::LParam l, bool& handled) override {
        return on_message ? on_message(m, w, l, handled) : 0;
    }

  private:
    QString layout_;
};

class UiTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qt_app();
        platform::ui::Resources::instance().set_resource_path(dir_.path());
        write_text(dir_ / "res.xml",
                   "<Res><Layout name=\"XML_TEST\" file=\"XML/test.xml\"/></Res>");
        platform::ui::Resources::instance().load_resource("res.xml");
    }
    void layout(const std::string& body, const std::string& file = "XML/test.xml") {
        write_text(dir_ / file, ui_layout(body));
    }
    TempDir dir_;
};

}  // namespace velqa::test
