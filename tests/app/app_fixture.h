// The shipped skin and factory data with private user folders per test.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>

#include "app/startup.h"
#include "platform/ui/language.h"
#include "platform/ui/qt_test_app.h"
#include "platform/ui/resources.h"
#include "platform/ui/settings_store.h"
#include "platform/ui/window.h"
#include "support/temp_dir.h"

namespace velqa::test {

class AppTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qt_app();
        ASSERT_TRUE(app::load_resources(source_dir()));
        platform::ui::Window::set_all_dpi(96);
    }
    void TearDown() override { platform::ui::Window::set_modal_test_hook({}); }

    std::filesystem::path factory() const { return source_dir() / "DefaultData"; }
    QString settings_file() const {
        return QString::fromStdString((dir_ / "config/velqa.conf").string());
    }
    platform::SettingsStore store() const { return platform::SettingsStore(settings_file()); }

    TempDir dir_;
};

}  // namespace velqa::test
