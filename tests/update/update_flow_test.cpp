// The update flow's core: which items are listed, a row's way from listed to downloaded or
// failed, the date of the last check, the firmware package choice, and the shipped table.
#include "update/update_flow.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>

#include "platform/atomic_file.h"
#include "platform/debug_output.h"
#include "platform/json_read.h"
#include "support/loopback_http.h"
#include "support/shipped_devices.h"
#include "support/temp_dir.h"

namespace velqa::update {
namespace {

namespace fs = std::filesystem;
using platform::http::DownloadStatus;
using platform::http::HttpClient;

std::vector<UpdateItem> table() {
    UpdateConfig config;
    std::string error;
    EXPECT_TRUE(load_update_config(test::source_dir() / "DefaultData" / "UpdateConfig.json", config,
                                   &error))
        << error;
    return config.items;
}

TEST(UpdateItems, ShippedTableHasTheFiveRowsWithSafePackageNames) {
    UpdateConfig config;
    ASSERT_TRUE(
        load_update_config(test::source_dir() / "DefaultData" / "UpdateConfig.json", config));
    ASSERT_EQ(config.items.size(), 5u);
    EXPECT_TRUE(config.server_url.empty()) << "no working address of our own yet";
    for (std::size_t k = 0; k < 4; ++k) {
        EXPECT_NE(config.items[k].format, 0) << k;
        EXPECT_EQ(config.items[k].version, 0) << k;
    }
    const UpdateItem& software = config.items[4];
    EXPECT_EQ(software.format, 0);
    EXPECT_EQ(software.chip, "ALL");
    EXPECT_EQ(current_version_text(software.version, false), software.version_text)
        << "the software's number and its text agree";
    EXPECT_EQ(software.version_text, "V0105");
    for (const UpdateItem& item : config.items) {
        EXPECT_FALSE(item.name.empty());
        EXPECT_FALSE(package_file_name(item).empty()) << item.name;
    }
    for (const std::string* p :
         {&config.firmware_packages.wired, &config.firmware_packages.receiver,
          &config.firmware_packages.third}) {
        EXPECT_TRUE(platform::http::plain_file_name(*p)) << *p;
    }
    EXPECT_GT(config.max_download_bytes, 0u);

    apply_server_override(config, "");
    EXPECT_TRUE(config.server_url.empty());
    apply_server_override(config, "http://127.0.0.1:9/");
    EXPECT_EQ(config.server_url, "http://127.0.0.1:9/");
}

TEST(UpdateItems, ABrokenConfigurationIsReportedAndUnsafeNamesAreDropped) {
    test::TempDir dir;
    UpdateConfig config;
    config.server_url = "kept";
    std::string error;
    EXPECT_FALSE(load_update_config(dir / "missing.json", config, &error));
    EXPECT_FALSE(error.empty());
    ASSERT_TRUE(platform::write_file_atomically(dir / "c.json", R"({"Items":{}})"));
    EXPECT_FALSE(load_update_config(dir / "c.json", config, &error));
    EXPECT_EQ(config.server_url, "kept");

    ASSERT_TRUE(platform::write_file_atomically(
        dir / "c.json",
        R"({"Items":[{"name":"a","package":"../../bin/sh"},{"name":7,"version":"x"}],)"
        R"("MaxDownloadBytes":-5,"PlainHttpHosts":["mirror.lan",3]})"));
    ASSERT_TRUE(load_update_config(dir / "c.json", config, &error)) << error;
    ASSERT_EQ(config.items.size(), 2u);
    EXPECT_TRUE(package_file_name(config.items[0]).empty());
    EXPECT_TRUE(config.items[1].name.empty());
    EXPECT_EQ(config.items[1].version, 0);
    EXPECT_EQ(config.max_download_bytes, platform::http::DefaultMaxDownloadBytes);
    EXPECT_EQ(config.plain_http_hosts, std::vector<std::string>{"mirror.lan"});
}

TEST(UpdateItems, KeysAndVersionSources) {
    std::vector<UpdateItem> items = table();
    ASSERT_EQ(items.size(), 5u);
    EXPECT_EQ(item_key(items[0]), "NULL") << "version 0";
    EXPECT_EQ(item_key(items[4]), "ZARN_0_ALL_VELQA_0");

    // No device linked: only the software row.
    std::vector<UpdateItem> listed = build_update_list(items, {}, 0);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].chip, "ALL");

    // Tile 0: an open mouse through an answering receiver, with the 3950 sensor; tile 1: a
    // page without an open interface; tile 2: a closed class-3 item while a receiver answers.
    std::vector<TileVersion> tiles(3);
    tiles[0] = {true, true, true, true, 0x0110, 0x0106, SensorCode3950};
    tiles[1] = {true, false, false, false, 0, 0x0107, 0};
    tiles[2] = {true, false, false, true, 0, 0, 0};
    listed = build_update_list(items, tiles, 0x0203);
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed[0].version, 0x0110) << "the receiver's version";
    EXPECT_EQ(listed[0].item_class, 2);
    EXPECT_EQ(listed[0].name, "VELQA-R260");
    EXPECT_EQ(item_key(listed[0]), "ZARN_1_PAW3395_R260_2");
    EXPECT_EQ(listed[1].item_class, 3);
    EXPECT_EQ(listed[1].version, 0x0203) << "the placeholder becomes the receiver's bytes";
    EXPECT_EQ(listed[2].chip, "ALL");

    // Wired: the device's own firmware version.
    tiles = {TileVersion{true, true, false, false, 0, 0x0106, SensorCode3395}};
    listed = build_update_list(items, tiles, 0);
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].version, 0x0106);
    EXPECT_EQ(listed[0].item_class, 1);
    EXPECT_EQ(listed[0].name, items[0].name);
}

TEST(UpdateRows, StatesFromListedToQueuedAndTheWindowStatus) {
    const std::vector<UpdateItem> items = table();
    UpdateItem mouse = items[0];
    mouse.version = 0x0106;
    const UpdateRow listed_mouse = listed_row(mouse);
    EXPECT_EQ(listed_mouse.display_name, mouse.name);
    EXPECT_EQ(listed_mouse.current_text, "V0106");
    EXPECT_EQ(listed_mouse.state, StateDone);
    const UpdateRow software = listed_row(items[4]);
    EXPECT_EQ(software.display_name, "Driver");
    EXPECT_EQ(software.current_text, "V0105");

    EXPECT_STREQ(state_text_id(StateOlder), "LessUpdateText");
    EXPECT_STREQ(state_text_id(StateNeedUpdate2), "NeedUpdateText");
    EXPECT_STREQ(state_text_id(StateFailed), "UpdateFailText");
    EXPECT_STREQ(window_status_text_id(WindowUpToDate), "UpdateOkText");
    EXPECT_TRUE(tick_enabled(StateFailed));
    EXPECT_FALSE(tick_enabled(StateDownloading));
    EXPECT_TRUE(grey_text(StateDone));
    EXPECT_TRUE(shows_progress(StateInstalling));
    EXPECT_TRUE(shows_done_mark(StateDownloaded));

    std::vector<UpdateRow> rows = {listed_mouse, software};
    rows[0].state = StateNeedUpdate;
    EXPECT_TRUE(tick_offered_rows(rows));
    EXPECT_TRUE(rows[0].ticked);
    EXPECT_FALSE(rows[1].ticked);
    EXPECT_EQ(status_after_check(rows, 0), WindowHaveUpdate);
    rows[0].ticked = false;
    EXPECT_FALSE(any_ticked(rows)) << "unticking every row hides the update button";
    EXPECT_FALSE(queue_ticked_rows(rows));
    rows[0].ticked = true;
    EXPECT_TRUE(queue_ticked_rows(rows));
    EXPECT_EQ(rows[0].state, StateQueued);
    EXPECT_TRUE(wants_download(rows[0]));
    EXPECT_FALSE(wants_download(rows[1]));

    rows[0].state = StateDone;
    EXPECT_EQ(status_after_check(rows, 2), WindowNoInfo);
    EXPECT_EQ(status_after_check(rows, 1), WindowUpToDate);
    EXPECT_EQ(status_after_check(rows, 0), WindowUpToDate);
}

TEST(UpdateRows, ProgressReportsMoveTheRow) {
    UpdateRow row = listed_row(table()[4]);
    row.state = StateDownloading;
    platform::DebugCapture probe;
    apply_progress(row, 3000, 1024);
    EXPECT_EQ(row.percent, 34);
    EXPECT_EQ(progress_text(row), "34%");
    EXPECT_EQ(row.state, StateDownloading);
    apply_progress(row, 3000, 3000);
    EXPECT_EQ(row.percent, 100);
    EXPECT_EQ(row.state, StateDownloaded);
    apply_progress(row, 3000, 10);
    EXPECT_TRUE(probe.contains("count:10,size:3000\n"));
    apply_progress(row, 0, 2048);
    EXPECT_EQ(row.state, StateFailed);

    row.latest_text = "V0106";
    row.ticked = true;
    finish_install(row);
    EXPECT_EQ(row.current_text, "V0106");
    EXPECT_TRUE(row.latest_text.empty());
    EXPECT_EQ(row.state, StateDone);
    EXPECT_FALSE(row.ticked);
}

class UpdateServer : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = dir_ / "UpdateData";
        fs::create_directory(folder_);
        fs::permissions(folder_, fs::perms::owner_all);
        server_.server().Post(
            "/api/updates", [this](const httplib::Request& req, httplib::Response& res) {
                const bool software = req.body.find("ALL") != std::string::npos;
                std::lock_guard lock(mutex_);
                res.set_content(
                    software ? R"({"name":"Driver","version":"105","version_name":"V0105"})"
                             : R"({"name":"fw","version":"0107","version_name":"1.0.7","path":")" +
                                   server_.url("/fw.bin") + R"(","device_id":2,"sha256":")" +
                                   sha256_ + R"("})",
                    "application/json");
            });
        server_.server().Get("/fw.bin", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(std::string(2500, 'f'), "application/octet-stream");
        });
        // The connection breaks after 1024 of 2500 bytes.
        server_.server().Get("/broken.bin", [](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(2500, "application/octet-stream",
                                     [](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                         if (offset > 0)
                                             return false;
                                         sink.write(std::string(1024, 'b').data(), 1024);
                                         return true;
                                     });
        });
        ASSERT_TRUE(server_.start());
        items_ = table();
        items_[0].version = 0x0106;
    }

    test::TempDir dir_;
    fs::path folder_;
    test::LoopbackServer server_;
    std::vector<UpdateItem> items_;
    std::mutex mutex_;
    std::string sha256_;  // under mutex_: the server's thread reads it
    HttpClient client_;
};

TEST_F(UpdateServer, CheckOffersANewerFirmwareAndKeepsAnEqualSoftwareListed) {
    std::vector<UpdateRow> rows = {listed_row(items_[0]), listed_row(items_[4])};
    EXPECT_TRUE(check_row(client_, server_.url("/"), rows[0], folder_));
    EXPECT_TRUE(check_row(client_, server_.url("/"), rows[1], folder_));
    EXPECT_EQ(rows[0].state, StateNeedUpdate);
    EXPECT_EQ(rows[0].latest_text, "V0107");
    EXPECT_EQ(rows[0].current_text, "V0106");
    EXPECT_EQ(rows[0].result.package_file, (folder_ / items_[0].package).string());
    EXPECT_EQ(rows[1].state, StateDone);
    EXPECT_TRUE(rows[1].latest_text.empty()) << "an equal version shows no latest version";
    EXPECT_EQ(rows[1].current_text, "V0105");
    EXPECT_EQ(status_after_check(rows, 0), WindowHaveUpdate);

    // The announced digest does not match: the row fails and no package is left.
    {
        std::lock_guard lock(mutex_);
        sha256_ = std::string(64, '0');
    }
    ASSERT_TRUE(check_row(client_, server_.url("/"), rows[0], folder_));
    rows[0].ticked = true;
    ASSERT_TRUE(queue_ticked_rows(rows));
    std::vector<std::int32_t> states;
    EXPECT_EQ(download_row(client_, rows[0], folder_,
                           [&](const UpdateRow& r) { states.push_back(r.state); }),
              DownloadStatus::Failed);
    EXPECT_EQ(rows[0].state, StateFailed);
    EXPECT_EQ(states.front(), StateDownloading);
    EXPECT_FALSE(fs::exists(rows[0].result.package_file));

    // Without a digest the same download completes; a failed row may be downloaded again.
    {
        std::lock_guard lock(mutex_);
        sha256_.clear();
    }
    rows[0].result.sha256.clear();
    EXPECT_TRUE(wants_download(rows[0]));
    EXPECT_EQ(download_row(client_, rows[0], folder_, {}), DownloadStatus::Complete);
    EXPECT_EQ(rows[0].state, StateDownloaded);
    EXPECT_EQ(rows[0].percent, 100);
    EXPECT_EQ(fs::file_size(rows[0].result.package_file), 2500u);
    EXPECT_TRUE(rows[0].verified);
    // Only our own software item, once verified, goes to the desktop: the server's device id
    // does not turn firmware into it.
    rows[0].result.device_id = 1;
    EXPECT_EQ(package_action(rows[0]), PackageAction::KeepInFolder);
    UpdateRow software = rows[0];
    software.item = items_[4];
    EXPECT_EQ(package_action(software), PackageAction::OpenWithDesktop);
    software.verified = false;
    EXPECT_EQ(package_action(software), PackageAction::KeepInFolder);
}

TEST_F(UpdateServer, ACheckPassTicksOfferedRowsAndStampsTheDate) {
    std::vector<UpdateRow> rows = {listed_row(items_[0]), listed_row(items_[4])};
    const fs::path stamp = dir_ / "updatetime.config";
    std::vector<std::size_t> seen;
    EXPECT_EQ(check_rows(client_, server_.url("/"), rows, folder_, stamp,
                         [&](std::size_t k, const UpdateRow&) { seen.push_back(k); }),
              WindowHaveUpdate);
    EXPECT_EQ(seen, (std::vector<std::size_t>{0, 1}));
    EXPECT_TRUE(rows[0].ticked);
    EXPECT_FALSE(rows[1].ticked);
    EXPECT_EQ(read_last_check(stamp).value_or(""), today_text());

    platform::StopEvent stop;
    stop.set();
    std::vector<UpdateRow> unchecked = {listed_row(items_[0])};
    EXPECT_EQ(check_rows(client_, server_.url("/"), unchecked, folder_, stamp, {}, &stop),
              WindowNoInfo);
    EXPECT_FALSE(unchecked[0].ticked);
}

TEST_F(UpdateServer, UnreachableServerLeavesRowsListedAndAPackageNameMustBeSafe) {
    const std::string closed =
        "http://127.0.0.1:" + std::to_string(test::closed_loopback_port()) + "/";
    std::vector<UpdateRow> rows = {listed_row(items_[0]), listed_row(items_[4])};
    EXPECT_FALSE(check_row(client_, closed, rows[0], folder_));
    EXPECT_FALSE(check_row(client_, closed, rows[1], folder_));
    EXPECT_EQ(rows[0].state, StateDone);
    EXPECT_EQ(rows[0].current_text, "V0106");
    EXPECT_TRUE(rows[0].latest_text.empty());
    EXPECT_EQ(rows[0].check, CheckOutcome::Unreachable);
    EXPECT_STREQ(row_status_text_id(rows[0]), "update_row_unreachable_text");
    EXPECT_EQ(status_after_check(rows, 2), WindowNoInfo);
    // One row answered, one not: the list is not up to date as a whole.
    ASSERT_TRUE(check_row(client_, server_.url("/"), rows[1], folder_));
    EXPECT_STREQ(row_status_text_id(rows[1]), "UpdateOkText");
    EXPECT_EQ(status_after_check(rows, 1), WindowSomeUnchecked);

    // A read that fails part-way: state 8, no package.
    UpdateRow row = listed_row(items_[0]);
    ASSERT_TRUE(check_row(client_, server_.url("/"), row, folder_));
    row.result.package_address = server_.url("/broken.bin");
    EXPECT_EQ(download_row(client_, row, folder_, {}), DownloadStatus::Failed);
    EXPECT_EQ(row.state, StateFailed);
    EXPECT_FALSE(fs::exists(row.result.package_file));

    // A hand-edited table whose package name climbs out of the folder.
    row.result.package_address = server_.url("/fw.bin");
    row.item.package = "../escape.bin";
    EXPECT_EQ(download_row(client_, row, folder_, {}), DownloadStatus::Failed);
    EXPECT_EQ(row.state, StateFailed);
    EXPECT_FALSE(fs::exists(dir_ / "escape.bin"));
}

TEST(LastCheck, DatesWithoutLeadingZerosKeptInUpdatetimeConfig) {
    EXPECT_EQ(date_text(2026, 3, 7), "2026-3-7");
    EXPECT_EQ(date_text(2026, 12, 31), "2026-12-31");
    const std::string today = today_text();
    EXPECT_EQ(today.find("-0"), std::string::npos) << today;

    test::TempDir dir;
    const fs::path file = dir / "updatetime.config";
    EXPECT_FALSE(read_last_check(file));
    EXPECT_EQ(last_check_on_open(file, "2026-3-7"), "2026-3-7");
    EXPECT_EQ(read_last_check(file).value_or(""), "2026-3-7");
    EXPECT_EQ(last_check_on_open(file, "2026-3-8"), "2026-3-7") << "a stored date is kept";

    // Other members survive a rewrite; a damaged file is replaced.
    ASSERT_TRUE(platform::write_file_atomically(
        file, R"({"note":1,"updatelasttime":{"value":"2025-1-1"}})"));
    ASSERT_TRUE(write_last_check(file, "2026-10-2"));
    const Json::Value root = platform::read_json_file(file);
    EXPECT_EQ(root["note"].asInt(), 1);
    EXPECT_EQ(root["updatelasttime"]["value"].asString(), "2026-10-2");
    ASSERT_TRUE(platform::write_file_atomically(file, "{ not json"));
    ASSERT_TRUE(write_last_check(file, "2026-1-2"));
    EXPECT_EQ(read_last_check(file).value_or(""), "2026-1-2");
}

// Which product takes which package is read from the shipped device files.
TEST(FirmwarePackage, ChosenByProductSensorAndVersion) {
    const FirmwarePackages p{"wired.bin", "receiver.bin", "third.bin"};
    const link::DeviceCatalog devices = test::shipped_devices();
    const auto package_for = [&](auto... args) {
        return update::firmware_package(devices, args...);
    };
    EXPECT_FALSE(package_for(0x2299, 0x108, SensorCode3395, p));
    EXPECT_FALSE(package_for(0x2299, 0x109, SensorCode3395, p));
    EXPECT_EQ(package_for(0x2299, 0x200, SensorCode3950, p).value_or(""), "wired.bin");
    EXPECT_EQ(package_for(0x22A0, 0x100, SensorCode3950, p).value_or(""), "receiver.bin");
    EXPECT_EQ(package_for(0, 0x105, SensorCode3950, p).value_or(""), "third.bin");
    EXPECT_FALSE(package_for(0, 0x106, SensorCode3950, p));
    EXPECT_FALSE(package_for(0x1234, 0x100, SensorCode3950, p));
    const FirmwarePackages unsafe{"../../usr/bin/x", "", ""};
    EXPECT_FALSE(package_for(0x2299, 0x200, SensorCode3950, unsafe));
    EXPECT_FALSE(package_for(0x22A0, 0x200, SensorCode3950, unsafe));
}

}  // namespace
}  // namespace velqa::update
