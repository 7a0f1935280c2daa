// The main window's side of the update flow (the settings window, the firmware upgrade notice)
// and the start in the background.
#include <malloc.h>

#include <QTimer>
#include <filesystem>

#include "app/main_wnd.h"
#include "app/messages.h"
#include "app/profile_switcher.h"
#include "app/startup.h"
#include "device/model/ui/mouse_device.h"
#include "platform/autostart.h"
#include "platform/debug_output.h"
#include "platform/diagnostics.h"
#include "platform/ui/language.h"
#include "ui/device_option.h"
#include "ui/msg_wnd.h"
#include "update/ui/set_wnd.h"
#include "update/update_config.h"

namespace velqa::app {
namespace pui = platform::ui;
namespace fs = std::filesystem;

static_assert(update::kMsgSetWndLanguage == kMsgLanguage);
static_assert(update::kMsgSetWndUpToDate == kMsgClearSetBadge);

namespace {

// The shipped configuration; an unreadable file leaves an empty table (only said in the debug
// output: the window then lists nothing and the rest of the program is unaffected).
update::UpdateConfig load_config(const fs::path& default_data) {
    update::UpdateConfig config;
    std::string error;
    if (!update::load_update_config(default_data / "UpdateConfig.json", config, &error))
        platform::debug_printf("UpdateConfig.json: %s\n", error.c_str());
    return config;
}

}  // namespace

void CMainWnd::set_update_options(std::string server_override,
                                  std::shared_ptr<update::PackageLauncher> launcher,
                                  fs::path download_folder) {
    update_server_override_ = std::move(server_override);
    package_launcher_ = std::move(launcher);
    download_folder_ = std::move(download_folder);
}

std::vector<update::UpdateItem> CMainWnd::build_update_list() {
    const update::UpdateConfig config = load_config(default_data_);
    std::vector<update::TileVersion> tiles;
    std::int32_t receiver_reported = 0;
    for (int i = 0; i < devices_->tile_count(); ++i) {
        const ui::CDeviceOptionUI* t = devices_->tile(i);
        update::TileVersion tile;
        auto* page = t != nullptr ? qobject_cast<model::CZentovaUSBDevice*>(t->page()) : nullptr;
        if (page != nullptr) {
            link::CommandChannel& channel = page->channel();
            tile.has_page = true;
            tile.command_open = channel.wired().is_open() || channel.receiver().is_open();
            tile.via_receiver = page->use_receiver();
            if (channel.receiver().is_open()) {
                tile.receiver_answers = tile.via_receiver && page->receiver_link_check();
                tile.receiver_version = channel.receiver().attributes().version_number;
                if (receiver_reported == 0)
                    receiver_reported = tile.receiver_version;
            }
            tile.firmware_version = channel.wired().is_open()
                                        ? channel.wired().attributes().version_number
                                        : channel.receiver().attributes().version_number;
            if (auto* mouse = qobject_cast<model::CZentovaMouseDevice*>(page))
                tile.sensor_code = mouse->core().sensor_id();
        }
        tiles.push_back(tile);
    }
    std::vector<update::UpdateItem> items =
        update::build_update_list(config.items, tiles, receiver_reported);
    // The software's row shows the version that About and --version show.
    for (update::UpdateItem& item : items) {
        if (update::is_software_item(item))
            item.version_text = platform::program_version();
    }
    return items;
}

void CMainWnd::open_settings(bool centred, const std::function<void(update::CSetWnd&)>& shown) {
    if (pui::Window* open = aux_windows_[kSettingsWindow]; open != nullptr) {
        open->raise();
        open->activateWindow();
        return;
    }
    update::UpdateConfig config = load_config(default_data_);
    update::apply_server_override(config, update_server_override_);

    update::SetWndOptions options;
    options.items = build_update_list();
    options.server_url = config.server_url;
    options.policy = update::transport_policy(config);
    options.download_folder = download_folder_;
    options.last_check_file = user_data_ / "updatetime.config";
    options.autostart_folder = platform::autostart_folder();
    options.launcher = package_launcher_;
    for (const LanguageEntry& entry : read_language_config(default_data_))
        options.languages.push_back(entry.text);
    options.language_index = language_index_;
    options.main_window = this;
    if (switcher_ != nullptr) {
        ProfileSwitcher* switcher = switcher_.get();
        options.auto_switch = [switcher] { return switcher->auto_switch(); };
        options.set_auto_switch = [switcher](bool on) {
            std::string error;
            if (!switcher->set_auto_switch(on, &error))
                platform::debug_printf("profile switching: %s\n", error.c_str());
        };
        options.auto_switch_unavailable = switcher->unavailable_reason();
    }

    auto* wnd = new update::CSetWnd(this, std::move(options));
    if (!wnd->open()) {
        platform::debug_output("setwnd: the layout cannot be built\n");
        delete wnd;
        return;
    }
    wnd->set_dpi(dpi());
    if (centred || !isVisible()) {
        wnd->center_window();
    } else {
        // Its right edge 30 pixels inside ours, its top 60 below ours (scaled).
        const double scale = dpi() / 96.0;
        const QRect ours = frameGeometry();
        wnd->move(ours.right() + 1 - wnd->width() - static_cast<int>(30 * scale),
                  ours.top() + static_cast<int>(60 * scale));
    }
    set_aux_window(kSettingsWindow, wnd);
    if (shown) {
        QTimer::singleShot(0, wnd, [wnd, shown] { shown(*wnd); });
    }
    wnd->show_modal();
    set_aux_window(kSettingsWindow, nullptr);
    delete wnd;
    // The window's thousands of small blocks leave holes in the heap that the allocator keeps;
    // a program that lives in the tray for weeks gives them back after each opening.
    malloc_trim(0);
}

void CMainWnd::upgrade_firmware(int product_id, int version) {
    model::CZentovaUSBDevice* page = devices_->selected_page();
    if (page == nullptr)
        return;
    auto* mouse = qobject_cast<model::CZentovaMouseDevice*>(page);
    const int sensor = mouse != nullptr ? mouse->core().sensor_id() : 0;
    const update::UpdateConfig config = load_config(default_data_);
    const auto package = update::firmware_package(devices_->catalog(), product_id, version, sensor,
                                                  config.firmware_packages);
    if (!package)
        return;
    const fs::path folder = update::firmware_package_folder();
    std::error_code ec;
    if (!fs::is_regular_file(folder / *package, ec)) {
        platform::debug_printf("firmware package %s is not in %s\n", package->c_str(),
                               folder.string().c_str());
        return;
    }
    // The package is a program for another system: we never start it, and the program keeps
    // running; the user learns where it is and what to do with it.
    auto& texts = pui::LanguageTexts::instance();
    const QString message =
        texts.text(QStringLiteral("message_text_30"))
            .arg(QString::fromStdString(*package), QString::fromStdString(folder.string()));
    ui::show_message(this, texts.text(QStringLiteral("tips_text")), message, dpi(), 0, 0);
}

void CMainWnd::show_started_hidden() {
    devices_->update_no_device_banner();
    if (tray_.visible()) {
        platform::debug_output("started hidden in the tray\n");
        hide();
        tell_pages_window_shown(false);
    } else {
        // A hidden window without a tray icon could not be found again.
        platform::debug_output("started minimised (no tray)\n");
        showMinimized();
    }
}

}  // namespace velqa::app
