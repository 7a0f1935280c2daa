// The settings window against a loopback TLS update server: what it lists and offers, a row's
// way through download, check and hand-over, failures, closing mid-download, the language list
// and the autostart box.
#include <gtest/gtest.h>

#include <openssl/evp.h>

#include <QAbstractButton>
#include <condition_variable>
#include <mutex>
#include <set>
#include <string>

#include "platform/atomic_file.h"
#include "platform/autostart.h"
#include "platform/ui/controls.h"
#include "platform/ui/language.h"
#include "platform/ui/qt_test_app.h"
#include "support/loopback_http.h"
#include "support/recording_launcher.h"
#include "support/temp_dir.h"
#include "update/ui/set_wnd.h"
#include "update/ui/update_list_item.h"

namespace velqa::update {
namespace {

namespace fs = std::filesystem;
namespace pui = platform::ui;

// Stands in for the main window: records the messages the settings window sends it.
class MainStandIn : public pui::Window {
  public:
    QString skin_file() const override { return QStringLiteral("XML_MSG"); }
    std::vector<std::pair<unsigned, pui::WParam>> messages;

  protected:
    pui::LResult handle_custom_message(unsigned message, pui::WParam wparam, pui::LParam,
                                       bool& handled) override {
        messages.emplace_back(message, wparam);
        handled = true;
        return 0;
    }
};

std::string sha256_of(const std::string& data) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned size = 0;
    EXPECT_EQ(EVP_Digest(data.data(), data.size(), digest, &size, EVP_sha256(), nullptr), 1);
    std::string hex;
    for (unsigned i = 0; i < size; ++i) {
        static constexpr char kDigits[] = "0123456789abcdef";
        hex += kDigits[digest[i] >> 4];
        hex += kDigits[digest[i] & 15];
    }
    return hex;
}

class SettingsWindow : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        test::qt_app();
        ASSERT_TRUE(test::load_shipped_skin());
    }

    void SetUp() override {
        folder_ = dir_ / "UpdateData";
        fs::create_directory(folder_);
        fs::permissions(folder_, fs::perms::owner_all);
        ASSERT_TRUE(test::make_test_certificate(dir_.path(), "srv", "IP:127.0.0.1", cert_));
        server_ = std::make_unique<test::LoopbackServer>(cert_);
        auto& srv = server_->server();
        srv.Post("/api/updates", [this](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard lock(mutex_);
            const bool software = req.body.find("ALL") != std::string::npos;
            if (!software && !firmware_error_page_.empty()) {
                res.status = 500;
                res.set_content(firmware_error_page_, "text/html");
                return;
            }
            const std::string reply =
                software ? R"({"name":"Driver","version":")" + software_version_ +
                               R"(","version_name":"V0)" + software_version_ + R"(","path":")" +
                               server_->url("/velqa.deb") + R"(","device_id":1,"sha256":")" +
                               software_sha_ + R"("})"
                         : R"({"name":"fw","version":"0107","version_name":"1.0.7","path":")" +
                               server_->url(firmware_path_) + R"(","device_id":)" +
                               firmware_device_id_ + R"(,"sha256":")" + firmware_sha_ + R"("})";
            res.set_content(reply, "application/json");
        });
        // The package arrives in two halves; the second waits until the test lets it go, so
        // that the row is seen mid-download.
        srv.Get("/velqa.deb", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(
                kPackageSize, "application/octet-stream",
                [this](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                    if (offset == 0) {
                        sink.write(package_.data(), kPackageSize / 2);
                        return true;
                    }
                    std::unique_lock lock(mutex_);
                    if (!released_.wait_for(lock, std::chrono::seconds(30),
                                            [this] { return release_; })) {
                        return false;
                    }
                    sink.write(package_.data() + offset, kPackageSize - offset);
                    return true;
                });
        });
        srv.Get("/fw.bin", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(std::string(2500, 'f'), "application/octet-stream");
        });
        // HEAD says 100 bytes, GET sends 2044.
        srv.Get("/longer.bin", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content(std::string(req.method == "HEAD" ? 100 : 2044, 'f'),
                            "application/octet-stream");
        });
        srv.Post("/crawl/api/updates", [](const httplib::Request&, httplib::Response& res) {
            test::send_trickle(res, std::string(300, ' '), std::chrono::milliseconds(100));
        });
        ASSERT_TRUE(server_->start());
        table_ = shipped_table();
        software_sha_ = sha256_of(package_);
    }

    void TearDown() override {
        pui::Window::set_modal_test_hook({});
        wnd_.reset();
        release();
        server_.reset();
    }

    static std::vector<UpdateItem> shipped_table() {
        UpdateConfig config;
        EXPECT_TRUE(
            load_update_config(test::source_dir() / "DefaultData" / "UpdateConfig.json", config));
        return config.items;
    }

    SetWndOptions options(std::vector<UpdateItem> items) {
        SetWndOptions o;
        o.items = std::move(items);
        o.server_url = server_->url("/");
        o.policy.ca_file = cert_.cert;
        o.download_folder = folder_;
        o.last_check_file = dir_ / "updatetime.config";
        o.autostart_folder = dir_ / "autostart";
        o.launcher = launcher_;
        o.languages = {QStringLiteral("English"), QStringLiteral("简体中文")};
        o.main_window = &main_;
        o.install_delay = std::chrono::milliseconds(0);
        o.finish_delay = std::chrono::milliseconds(0);
        return o;
    }

    // Opens the window and waits for its check.
    void open(std::vector<UpdateItem> items) {
        wnd_ = std::make_unique<CSetWnd>(nullptr, options(std::move(items)));
        ASSERT_TRUE(wnd_->open());
        wnd_->show();
        ASSERT_TRUE(test::wait_until([this] { return wnd_->window_status() != WindowChecking; }));
    }

    void release() {
        {
            std::lock_guard lock(mutex_);
            release_ = true;
        }
        released_.notify_all();
    }

    QWidget* c(const char* name) { return wnd_->find_control(QString::fromLatin1(name)); }
    void click(const char* name) { qobject_cast<QAbstractButton*>(c(name))->click(); }
    void click_row_box(std::size_t k) {
        qobject_cast<QAbstractButton*>(wnd_->row_control(k)->check_box())->click();
    }
    bool shown(const char* name) { return c(name) != nullptr && !c(name)->isHidden(); }
    int state(std::size_t k) { return wnd_->rows()[k].state; }

    static constexpr std::size_t kPackageSize = 64 * 1024;
    test::TempDir dir_;
    fs::path folder_;
    test::TestCertificate cert_;
    std::unique_ptr<test::LoopbackServer> server_;
    std::vector<UpdateItem> table_;
    std::shared_ptr<test::RecordingLauncher> launcher_ =
        std::make_shared<test::RecordingLauncher>();
    MainStandIn main_;
    std::unique_ptr<CSetWnd> wnd_;

    std::mutex mutex_;  // guards what the server's threads read
    std::condition_variable released_;
    bool release_ = false;
    std::string package_ = std::string(kPackageSize, 'd');
    std::string software_version_ = "106";
    std::string software_sha_;
    std::string firmware_sha_;
    std::string firmware_path_ = "/fw.bin";
    std::string firmware_device_id_ = "2";
    std::string firmware_error_page_;  // non-empty: the firmware query fails with this page
};

TEST_F(SettingsWindow, WithoutADeviceOnlyTheSoftwareIsListedAndItsUpdateIsDownloadedAndOpened) {
    const auto items = build_update_list(table_, {}, 0);
    ASSERT_EQ(items.size(), 1u);
    open(items);
    EXPECT_EQ(wnd_->window_status(), WindowHaveUpdate);
    ASSERT_EQ(wnd_->rows().size(), 1u);
    CUpdateInfoListItemUI* row = wnd_->row_control(0);
    EXPECT_EQ(pui::text(row->check_box()), "VELQA R260 Software");
    EXPECT_EQ(pui::text(row->old_rev()), "V0105");
    EXPECT_EQ(pui::text(row->update_rev()), "V0106");
    EXPECT_FALSE(row->update_rev()->isHidden());
    EXPECT_EQ(pui::text_id(row->status_text()), "NeedUpdateText");
    EXPECT_TRUE(row->ticked());
    EXPECT_TRUE(row->check_box()->isEnabled());
    EXPECT_TRUE(shown("update_fw_and_ap"));
    EXPECT_TRUE(shown("update_status_image"));
    EXPECT_FALSE(shown("update_status_ring"));

    // Unticking every row hides the button; ticking brings it back.
    click_row_box(0);
    EXPECT_FALSE(wnd_->rows()[0].ticked);
    EXPECT_FALSE(shown("update_fw_and_ap"));
    click_row_box(0);
    EXPECT_TRUE(shown("update_fw_and_ap"));

    // The confirmation page, then the download: half the package is in and the row says so.
    click("update_fw_and_ap");
    EXPECT_EQ(pui::current_page(c("get_update_tab_layout")), 1);
    click("update_OK_btn");
    EXPECT_EQ(pui::current_page(c("get_update_tab_layout")), 0);
    EXPECT_FALSE(c("update_fw_and_ap")->isEnabled());
    ASSERT_TRUE(test::wait_until([&] { return pui::text(row->progress_value()) == "50%"; }));
    EXPECT_EQ(state(0), StateDownloading);
    EXPECT_EQ(pui::text_id(row->status_text()), "DownloadIngText");
    EXPECT_FALSE(row->progress()->isHidden());
    EXPECT_EQ(pui::value(row->progress()), 50);
    EXPECT_FALSE(row->check_box()->isEnabled());
    EXPECT_EQ(wnd_->window_status(), WindowUpdating);
    EXPECT_TRUE(launcher_->opened.empty());

    std::set<int> states;
    QObject::connect(wnd_.get(), &CSetWnd::row_changed, [&](int) { states.insert(state(0)); });
    release();
    ASSERT_TRUE(test::wait_until([&] { return state(0) == StateDone; }));
    EXPECT_TRUE(states.count(StateInstalling));
    ASSERT_EQ(launcher_->opened.size(), 1u);
    EXPECT_EQ(launcher_->opened[0], folder_ / "velqa.deb");
    std::string got;
    ASSERT_TRUE(platform::read_whole_file(folder_ / "velqa.deb", got));
    EXPECT_EQ(got, package_);
    EXPECT_EQ(fs::status(folder_ / "velqa.deb").permissions() &
                  (fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec),
              fs::perms::none);
    // Done: the new version is the current one.
    EXPECT_EQ(pui::text(row->old_rev()), "V0106");
    EXPECT_TRUE(row->update_rev()->isHidden());
    EXPECT_FALSE(row->check_box()->isEnabled());
    EXPECT_FALSE(wnd_->notice_shown());

    // The date of the check, without leading zeros.
    const auto stamp = read_last_check(dir_ / "updatetime.config");
    ASSERT_TRUE(stamp);
    EXPECT_EQ(*stamp, today_text());
    EXPECT_EQ(stamp->find("-0"), std::string::npos);
}

TEST_F(SettingsWindow, AWrongDigestFailsTheRowAndAFirmwarePackageStaysInTheFolder) {
    std::vector<UpdateItem> items = {table_[0], table_[4]};
    items[0].version = 0x0106;
    software_version_ = "105";  // the software is up to date
    firmware_sha_ = std::string(64, '0');
    // The id the software's answer carries does not make a firmware package one to open.
    firmware_device_id_ = "1";
    open(items);
    EXPECT_EQ(state(0), StateNeedUpdate);
    EXPECT_EQ(state(1), StateDone);
    EXPECT_TRUE(wnd_->row_control(1)->update_rev()->isHidden());
    EXPECT_FALSE(wnd_->row_control(1)->check_box()->isEnabled());
    EXPECT_TRUE(wnd_->row_control(1)->check_box()->property("grey").toBool());

    click("update_fw_and_ap");
    click("update_OK_btn");
    ASSERT_TRUE(test::wait_until([&] { return state(0) == StateFailed; }));
    CUpdateInfoListItemUI* row = wnd_->row_control(0);
    EXPECT_EQ(pui::text_id(row->status_text()), "UpdateFailText");
    EXPECT_TRUE(row->check_box()->isEnabled());
    EXPECT_FALSE(fs::exists(folder_ / table_[0].package));
    EXPECT_TRUE(launcher_->opened.empty());

    // With the right digest the next try downloads it; firmware is never opened by us: the
    // notice says where it is, and the row stays downloaded (nothing was flashed).
    {
        std::lock_guard lock(mutex_);
        firmware_sha_.clear();
    }
    wnd_.reset();
    open(items);
    click("update_fw_and_ap");
    click("update_OK_btn");
    ASSERT_TRUE(test::wait_until([&] { return wnd_->notice_shown(); }));
    ASSERT_TRUE(test::wait_until([&] { return state(0) == StateDownloaded; }));
    EXPECT_TRUE(launcher_->opened.empty());
    EXPECT_TRUE(fs::exists(folder_ / table_[0].package));
    const QString notice = pui::text(c("update_tishi_text"));
    EXPECT_TRUE(notice.contains(QString::fromStdString(table_[0].package)));
    EXPECT_TRUE(notice.contains(QString::fromStdString(folder_.string())));
    EXPECT_FALSE(wnd_->row_control(0)->done_mark()->isHidden());
    click("set_in_update_wnd_btn");
    EXPECT_FALSE(wnd_->notice_shown());
}

TEST_F(SettingsWindow, APackageOfAnotherLengthOrAFolderOthersMayChangeFailsTheRowAndSaysWhy) {
    std::vector<UpdateItem> items = {table_[0]};
    items[0].version = 0x0106;
    // Downloads the firmware row in a new window; the notice must tell `why` and no file stays.
    auto fails_telling = [&](const char* why) {
        wnd_.reset();
        open(items);
        click("update_fw_and_ap");
        click("update_OK_btn");
        ASSERT_TRUE(
            test::wait_until([&] { return state(0) == StateFailed && wnd_->notice_shown(); }));
        const QString notice = pui::text(c("update_tishi_text"));
        EXPECT_TRUE(notice.contains(QLatin1String(why))) << notice.toStdString();
        EXPECT_TRUE(fs::is_empty(folder_));
    };
    firmware_path_ = "/longer.bin";
    fails_telling("announced 100 bytes");
    {
        std::lock_guard lock(mutex_);
        firmware_path_ = "/fw.bin";
    }
    fs::permissions(folder_, fs::perms::all);
    fails_telling("mode 0777");
    EXPECT_TRUE(launcher_->opened.empty());
}

TEST_F(SettingsWindow, APackageTheDesktopCannotOpenIsAFailureThatMayBeTriedAgain) {
    launcher_->succeed = false;
    release();
    QString told;
    pui::Window::set_modal_test_hook([&told](pui::Window& w) {
        told = pui::text(w.find_control(QStringLiteral("MessageText")));
        w.close_window(1);
    });
    open(build_update_list(table_, {}, 0));
    click("update_fw_and_ap");
    click("update_OK_btn");
    ASSERT_TRUE(test::wait_until([&] { return state(0) == StateFailed; }));
    EXPECT_EQ(told, "Update failed!");
    EXPECT_EQ(launcher_->opened.size(), 1u);
    EXPECT_TRUE(wnd_->row_control(0)->check_box()->isEnabled());
    EXPECT_EQ(pui::text(wnd_->row_control(0)->old_rev()), "V0105") << "not updated";
}

TEST_F(SettingsWindow, ClosingDuringADownloadStopsAndJoinsTheWorkers) {
    open(build_update_list(table_, {}, 0));
    click("update_fw_and_ap");
    click("update_OK_btn");
    ASSERT_TRUE(test::wait_until([&] { return state(0) == StateDownloading; }));
    click("closebtn");
    EXPECT_FALSE(wnd_->workers_running());
    EXPECT_FALSE(wnd_->isVisible());
    EXPECT_FALSE(fs::exists(folder_ / "velqa.deb")) << "no partial package is left";
}

TEST_F(SettingsWindow, AnUnreachableServerAndAnUpToDateCheckAndTheLanguageList) {
    std::vector<UpdateItem> items = {table_[4]};
    SetWndOptions o = options(items);
    o.server_url = "https://127.0.0.1:" + std::to_string(test::closed_loopback_port()) + "/";
    wnd_ = std::make_unique<CSetWnd>(nullptr, std::move(o));
    ASSERT_TRUE(wnd_->open());
    ASSERT_TRUE(test::wait_until([this] { return wnd_->window_status() != WindowChecking; }));
    EXPECT_EQ(wnd_->window_status(), WindowNoInfo);
    EXPECT_EQ(state(0), StateDone);
    // Not reached is not "up to date": the row says why, and hovering it tells the reason.
    EXPECT_EQ(pui::text_id(wnd_->row_control(0)->status_text()), "update_row_unreachable_text");
    EXPECT_FALSE(wnd_->row_control(0)->status_text()->toolTip().isEmpty());
    EXPECT_FALSE(shown("update_fw_and_ap"));
    EXPECT_EQ(pui::text_id(c("Update_Status_text")), "NoUpdateInfoText");
    EXPECT_TRUE(main_.messages.empty());

    // A server that crawls is not reached either, once the query's deadline has passed.
    wnd_.reset();
    o = options(items);
    o.server_url = server_->url("/crawl/");
    o.policy.deadlines.request_ms = 500;
    wnd_ = std::make_unique<CSetWnd>(nullptr, std::move(o));
    ASSERT_TRUE(wnd_->open());
    ASSERT_TRUE(test::wait_until([this] { return wnd_->window_status() != WindowChecking; }));
    EXPECT_EQ(wnd_->window_status(), WindowNoInfo);

    software_version_ = "105";
    wnd_.reset();
    open(items);
    EXPECT_EQ(wnd_->window_status(), WindowUpToDate);
    EXPECT_EQ(pui::text_id(wnd_->row_control(0)->status_text()), "UpdateOkText");
    EXPECT_TRUE(pui::text(c("Update_Status_text")).endsWith(QString::fromStdString(today_text())));
    ASSERT_EQ(main_.messages.size(), 1u);
    EXPECT_EQ(main_.messages[0].first, kMsgSetWndUpToDate);

    // The language list shows the languages and hands the choice to the main window.
    QWidget* combo = c("Language_combox_info");
    EXPECT_EQ(pui::item_count(combo), 2);
    EXPECT_EQ(pui::current_item(combo), 0);
    pui::select_item(combo, 1, false);
    wnd_->send_notify(combo, "itemselect", 1);
    EXPECT_EQ(wnd_->language_index(), 1);
    ASSERT_EQ(main_.messages.size(), 2u);
    EXPECT_EQ(main_.messages[1], std::make_pair(kMsgSetWndLanguage, pui::WParam{1}));
}

// The shipped configuration names no server: that is a fact to state, not a failure to show.
TEST_F(SettingsWindow, WithNoServerNothingIsAskedNothingFailsAndTheRowIsInTheLanguage) {
    std::vector<UpdateItem> items = {table_[4]};
    items[0].version_text = "0.1.0";  // the program's version, as the main window gives it
    SetWndOptions o = options(items);
    o.server_url.clear();
    wnd_ = std::make_unique<CSetWnd>(nullptr, std::move(o));
    ASSERT_TRUE(wnd_->open());
    ASSERT_TRUE(test::wait_until([this] { return wnd_->window_status() != WindowChecking; }));
    EXPECT_EQ(wnd_->window_status(), WindowNoServer);
    EXPECT_EQ(pui::text_id(c("Update_Status_text")), "update_no_server_text");
    CUpdateInfoListItemUI* row = wnd_->row_control(0);
    EXPECT_EQ(pui::text_id(row->status_text()), "update_row_no_server_text");
    EXPECT_FALSE(row->status_text()->property("unchecked").toBool()) << "not a warning";
    EXPECT_EQ(pui::text(row->old_rev()), "0.1.0");
    EXPECT_EQ(pui::text(row->check_box()), "VELQA R260 Software");
    ASSERT_TRUE(pui::LanguageTexts::instance().load_language(QStringLiteral("lan_cn.xml")));
    wnd_->send_message(kMsgSetWndLanguage);
    EXPECT_EQ(pui::text(row->check_box()), QStringLiteral("VELQA R260 软件"));
    EXPECT_EQ(pui::text(c("Update_Status_text")), QStringLiteral("未配置更新服务器"));
    EXPECT_EQ(wnd_->windowTitle(), QStringLiteral("设置 — ZARN VELQA R260"));
    ASSERT_TRUE(pui::LanguageTexts::instance().load_language(QStringLiteral("lan_en.xml")));
}

TEST_F(SettingsWindow, OnlyTheRowWhoseQueryFailedSaysItCouldNotBeChecked) {
    std::vector<UpdateItem> items = {table_[0], table_[4]};
    items[0].version = 0x0106;
    software_version_ = "105";
    firmware_error_page_ = "<html>502 Bad Gateway</html>";
    open(items);
    EXPECT_EQ(pui::text_id(wnd_->row_control(0)->status_text()), "update_row_bad_answer_text");
    EXPECT_EQ(pui::text(wnd_->row_control(0)->old_rev()), "V0106");
    EXPECT_TRUE(wnd_->row_control(0)->update_rev()->isHidden());
    EXPECT_EQ(pui::text_id(wnd_->row_control(1)->status_text()), "UpdateOkText");
    // The window does not call the whole list up to date, nor tell the main window so.
    EXPECT_EQ(wnd_->window_status(), WindowSomeUnchecked);
    EXPECT_EQ(pui::text_id(c("Update_Status_text")), "update_some_unchecked_text");
    EXPECT_TRUE(main_.messages.empty());
    EXPECT_FALSE(shown("update_fw_and_ap"));
}

TEST_F(SettingsWindow, TheAutostartBoxWritesAndRemovesTheEntry) {
    open({table_[4]});
    auto* box = qobject_cast<QAbstractButton*>(c("autostart_select"));
    ASSERT_NE(box, nullptr);
    EXPECT_FALSE(box->isChecked());
    box->click();
    EXPECT_TRUE(platform::autostart_enabled(dir_ / "autostart"));
    EXPECT_TRUE(box->isChecked());
    box->click();
    EXPECT_FALSE(fs::exists(dir_ / "autostart" / platform::AutostartFileName));
    EXPECT_FALSE(box->isChecked());

    // A folder that cannot be made: the box stays off.
    wnd_.reset();
    ASSERT_TRUE(platform::write_file_atomically(dir_ / "blocked", "x"));
    SetWndOptions o = options({table_[4]});
    o.autostart_folder = dir_ / "blocked" / "autostart";
    wnd_ = std::make_unique<CSetWnd>(nullptr, std::move(o));
    ASSERT_TRUE(wnd_->open());
    box = qobject_cast<QAbstractButton*>(c("autostart_select"));
    box->click();
    EXPECT_FALSE(box->isChecked());
}

// A desktop that cannot tell the focus greys the box out; it still shows what is stored, which
// comes back into effect on a desktop that can.
TEST_F(SettingsWindow, AGreyedSwitchBoxShowsTheStoredChoice) {
    SetWndOptions o = options({table_[4]});
    o.auto_switch = [] { return true; };
    o.set_auto_switch = [](bool) {};
    o.auto_switch_unavailable = "GNOME on Wayland tells no program which window has the focus.";
    wnd_ = std::make_unique<CSetWnd>(nullptr, std::move(o));
    ASSERT_TRUE(wnd_->open());
    auto* box = qobject_cast<QAbstractButton*>(c("auto_switch_select"));
    ASSERT_NE(box, nullptr);
    EXPECT_FALSE(box->isEnabled());
    EXPECT_TRUE(box->isChecked());
}

}  // namespace
}  // namespace velqa::update
