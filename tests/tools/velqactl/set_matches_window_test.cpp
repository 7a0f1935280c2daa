// One change made twice on two fresh simulated mice with two fresh data folders: once typed into
// the window's mouse page, once with velqactl set. Both must leave the same profile file and the
// same settings record behind.
#include <gtest/gtest.h>
#include <json/json.h>

#include <sstream>
#include <string>

#include "device/model/ui/mouse_device.h"
#include "in_process_sim.h"
#include "platform/json_read.h"
#include "platform/ui/controls.h"
#include "platform/ui/qt_test_app.h"
#include "profile/profile_list.h"
#include "profile/ui/light_control.h"
#include "support/shipped_sensors.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"
#include "support/waiting.h"
#include "ui/custom_controls.h"

namespace velqa {
namespace {

namespace fs = std::filesystem;
namespace pui = platform::ui;

std::string hex(const std::vector<std::uint8_t>& bytes) {
    std::string out;
    char buf[3];
    for (std::uint8_t b : bytes) {
        std::snprintf(buf, sizeof buf, "%02x", b);
        out += buf;
    }
    return out;
}

std::string without_spaces(std::string s) {
    std::erase(s, ' ');
    return s;
}

class SetMatchesWindow : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        test::qt_app();
        ASSERT_TRUE(test::load_shipped_skin());
        model::register_device_pages();
        ui::register_custom_controls();
        profile::register_light_controls();
    }

    // The record of slot 0 in the simulator process.
    std::string process_record() const {
        const auto out = test::run_command(std::string(VELQA_SIM_BIN) + " ctl --dir " +
                                           (dir_.path() / "ctl-sim").string() + " dump");
        return without_spaces(platform::parse_json(out.out)["slots"][0].asString());
    }
    std::string page_record() {
        const auto mem = page_sim_.firmware().settings_memory();
        return hex(std::vector<std::uint8_t>(mem.begin(), mem.begin() + 74));
    }

    test::TempDir dir_;
    sim::InProcessSim page_sim_{dir_.path() / "page-sim"};
    test::SimProcess ctl_sim_;
};

TEST_F(SetMatchesWindow, TypedDpiAndSetDpiGiveTheSameFileAndRecord) {
    ASSERT_TRUE(ctl_sim_.start(VELQA_SIM_BIN, dir_.path() / "ctl-sim", {"--link", "both"}));
    ASSERT_TRUE(page_sim_.started());
    // Two identical mice to begin with.
    ASSERT_EQ(page_record(), process_record());

    // The window: the page as the device manager sets it up, the edit of stage 2 losing focus.
    const fs::path page_data = dir_.path() / "page-data";
    // The kind's selected profile, as the device manager gives it to the page.
    const fs::path factory = test::source_dir() / "DefaultData/mouse.Json";
    fs::create_directories(page_data / "ZARN_VELQA_R260/mouse");
    const fs::path page_profile =
        profile::selected_profile_path(page_data / "ZARN_VELQA_R260/mouse", factory);
    ASSERT_FALSE(page_profile.empty());
    model::CZentovaMouseDevice page(page_sim_.backend());
    page.set_sensors(test::shipped_sensors());
    page.set_device_name("mouse");
    page.set_device_type(model::WiredMouseType, 0);
    page.set_data_folders(test::source_dir() / "DefaultData", page_data / "ZARN_VELQA_R260");
    page.bind_page_controls();
    page.set_profile_file(page_profile);
    ASSERT_TRUE(page_sim_.open(page.channel(), sim::Link::Cable));
    page.on_tile_timer(model::TimerReload);
    ASSERT_TRUE(page.device_loaded());
    QWidget* edit = page.find(QStringLiteral("DPI_edit_2"));
    ASSERT_NE(edit, nullptr);
    pui::set_text(edit, QStringLiteral("3200"));
    pui::Notification killfocus{"killfocus", edit};
    page.notify(killfocus);

    // The command line.
    const auto r = test::run_command("XDG_DATA_HOME=" + (dir_.path() / "ctl-data").string() +
                                     " VELQA_HID=sim:" + (dir_.path() / "ctl-sim").string() + " " +
                                     VELQACTL_BIN + " set dpi 2 3200 --link cable 2>&1");
    ASSERT_EQ(r.exit_code, 0) << r.out;

    const fs::path ctl_profile =
        profile::selected_profile_path(dir_.path() / "ctl-data/ZARN_VELQA_R260/mouse", factory);
    // The same document but for the identifier each folder's list gave its first profile.
    auto without_identity = [](const fs::path& file) {
        Json::Value doc = platform::read_json_file(file);
        doc.removeMember("profileUUID");
        return doc;
    };
    ASSERT_TRUE(without_identity(page_profile).isObject());
    EXPECT_EQ(without_identity(page_profile), without_identity(ctl_profile));
    EXPECT_EQ(page_record(), process_record());
    EXPECT_EQ(platform::read_json_file(
                  ctl_profile)["Device"][0]["DPIStages"][0]["StageDPIs"][2]["StageDPIX"]
                  .asInt(),
              3200);
}

}  // namespace
}  // namespace velqa
