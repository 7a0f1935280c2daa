// The program's main window: caption, top tabs, device tile strip, device pages, the "no
// device" banner, tray icon and language. Device pages and their routing are added by the
// device manager and the pages themselves.
#pragma once

#include <QPointer>
#include <QSize>
#include <array>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/device_slots.h"

#include "platform/hid/hid_backend.h"
#include "platform/ui/settings_store.h"
#include "platform/ui/tray_icon.h"
#include "platform/ui/window.h"

namespace Json {
class Value;
}

namespace velqa::platform::ipc {
class ProgramChannel;
}
namespace velqa::model {
class CZentovaUSBDevice;
class CZentovaMouseDevice;
class CZentovaKeyboardDevice;
}  // namespace velqa::model
namespace velqa::profile {
class CDeviceProfileUI;
}
namespace velqa::ui {
class CDeviceOptionUI;
class CMpDevicePowerUI;
}  // namespace velqa::ui

namespace velqa::platform::input {
class InputCapture;
}
namespace velqa::platform {
class Notifier;
}
namespace velqa::update {
class CSetWnd;
class PackageLauncher;
struct UpdateItem;
}  // namespace velqa::update

namespace velqa::app {

class CDeviceHook;
class DeviceScanThread;
class LightSyncThread;
struct LightSyncTarget;
class ScanBridge;
struct TrayBattery;

// The DPI the window is laid out at on a screen of `size`: 144 when it is larger than
// 1500 x 960, else 96.
int dpi_for_screen(QSize size);

class CMainWnd : public platform::ui::Window {
    Q_OBJECT

  public:
    // `default_data` holds Language.config and the factory AudioFile.json; `settings` keeps the
    // language; `channel` (may be null) carries messages with other programs; `hid` is the HID
    // backend chosen at start (null: no device is looked for); `devices` the supported devices
    // read at start (null: those of `default_data`).
    CMainWnd(std::filesystem::path default_data, std::filesystem::path user_data,
             platform::SettingsStore settings, platform::ipc::ProgramChannel* channel = nullptr,
             std::shared_ptr<platform::hid::HidBackend> hid = nullptr,
             std::shared_ptr<const link::DeviceCatalog> devices = nullptr);
    ~CMainWnd() override;

    QString skin_file() const override { return QStringLiteral("XML_MAIN"); }
    QString window_class_name() const override { return QStringLiteral("MainWnd"); }

    // Switches the whole interface to the language of `index` in Language.config. Does nothing
    // for the current index or an index the list lacks; false then.
    bool apply_language(int index);
    int language_index() const { return language_index_; }

    // Sizes the window for the screen it is on (1000 x 640 at 96 DPI, 144 DPI on screens larger
    // than 1500 x 960) and centres it.
    void apply_dpi();
    // Tray icon click: hides a visible window, otherwise brings it forward.
    void toggle_from_tray();
    // Shows the window, restored and raised, with the banner matching the visible tiles.
    void bring_forward();
    // Selects the top tab control `name` as a click on it does; "name:N" also selects option N
    // of the shown page's switch on that tab.
    void show_tab(const QString& tab_name);
    // Sends close to every open auxiliary window.
    void close_aux_windows();
    // Slots of the auxiliary windows (settings, about, a third one, audio light).
    enum AuxWindow { kSettingsWindow, kAboutWindow, kThirdWindow, kMusicWindow };
    void close_aux_window(int slot);
    // Auxiliary windows the main window tells about language changes (settings, about, music).
    void set_aux_window(int slot, platform::ui::Window* window);

    const QSize& screen_size() const { return screen_size_; }
    bool tray_visible() const { return tray_.visible(); }
    // The tray icon's tooltip and low-battery mark (kept without a tray on the desktop too).
    const platform::ui::TrayIcon& tray() const { return tray_; }
    // Shows the selected mouse's battery, charging state and link on the tray icon.
    void refresh_tray();
    // Where low-battery notices go; the desktop's notification service unless set.
    void set_notifier(std::unique_ptr<platform::Notifier> notifier);
    // The audio-light styles loaded at start-up.
    const Json::Value& audio_styles() const;

    // The caption and tab buttons looked up when the window initialises.
    enum Caption { kClose, kMax, kRestore, kMin, kSkin, kGameMode, kCloud, kSmartEyes, kSet };
    enum Tab { kPerformanceTab, kKeyTab, kMacroTab, kSystemTab, kAboutTab };
    QWidget* caption_button(Caption which) const { return caption_[which]; }
    QWidget* tab_button(Tab which) const { return tabs_[which]; }
    // What the device scan and the device pages open their interfaces through.
    const std::shared_ptr<platform::hid::HidBackend>& hid_backend() const { return hid_; }

    // ---- Device manager (window thread) ----
    void on_device_arrived(std::size_t slot);
    void on_device_lost(std::size_t slot);
    void on_tile_link(int kind_row, bool present);
    // Builds power widget, tile and page for the device of a slot; true when all three exist.
    bool create_device_page(std::size_t slot, int sub_type);
    bool page_exists(std::size_t slot) const;
    bool partner_linked(std::size_t slot) const;
    // Moves a mouse page from one link to the other.
    void switch_link(std::size_t slot);
    void select_tile(int index, bool visible, bool select);
    void drop_tile(int index);
    // Index of the first visible tile (-1: none) and how many are visible.
    void linked_tiles(int& first, int& count) const;
    // Stops the scan and light-sync threads and the pages' threads.
    void stop_workers();
    // The size of the buffers data blocks are copied into.
    static constexpr std::size_t kDataBlockBytes = 2000;
    // A data block from another program (audio levels: kind 1; keyboard block: kind 2). A
    // block larger than its buffer is refused.
    void receive_data_block(unsigned kind, const QByteArray& block) {
        handle_data_block(kind, block);
    }

    // ---- Recording and key capture ----
    // The desktop capture behind recording (chosen in main); the window-only fallback until
    // set. A running capture ends first.
    void set_input_capture(std::unique_ptr<platform::input::InputCapture> capture);
    CDeviceHook& device_hook() { return *hook_; }
    bool recording() const { return recording_page_ != nullptr; }
    // Ends a running recording of any page (device switch, unplug, close): what was recorded
    // is saved and the keyboard is released.
    void stop_recording();

    // ---- Update flow and start-up in the background (main_wnd_update.cpp) ----
    // The update server the settings window asks (`server_override`, from VELQA_UPDATE_URL;
    // empty: the configured one), what opens downloaded packages (null: the desktop) and where
    // packages are downloaded to (platform::download_folder(), decided by the program's start;
    // empty: downloads are refused).
    void set_update_options(std::string server_override,
                            std::shared_ptr<update::PackageLauncher> launcher,
                            std::filesystem::path download_folder = {});
    // Opens the settings window modally: centred on the screen, or beside this window. `shown`
    // (may be empty) runs once the window is up. Brings an open one forward instead.
    void open_settings(bool centred, const std::function<void(update::CSetWnd&)>& shown = {});
    // The items the settings window lists: the configured table, versions from the pages.
    std::vector<update::UpdateItem> build_update_list();
    // A mouse page reports firmware that needs the upgrade package carried beside the program:
    // the user learns where it is and what to do with it. Nothing is started.
    void upgrade_firmware(int product_id, int version);
    // The first scan pass leaves the window in the tray (minimised when there is no tray).
    void set_start_hidden(bool on) { start_hidden_ = on; }

    DeviceSlots& device_slots() { return slots_; }
    int tile_count() const { return static_cast<int>(tiles_.size()); }
    ui::CDeviceOptionUI* tile(int index) const;
    // The page of the first visible, selected tile, or nullptr.
    model::CZentovaUSBDevice* selected_page() const;
    // The profile control of the selected page, or nullptr.
    profile::CDeviceProfileUI* selected_profile_control() const;
    const std::vector<model::CZentovaMouseDevice*>& mouse_pages() const { return mouse_pages_; }
    const std::vector<model::CZentovaKeyboardDevice*>& keyboard_pages() const {
        return keyboard_pages_;
    }
    // Supported interfaces found that this user may not open (from the last scan pass).
    const std::vector<std::string>& denied_interfaces() const { return denied_; }
    bool asleep() const { return asleep_; }
    bool lighting_control() const { return lighting_control_; }
    // JSON of what a script may look at: window and banner visibility, the tiles.
    std::string automation_state() const;
    // Scan passes run so far (0 before the scan thread starts).
    std::uint64_t scan_passes() const;

  signals:
    // Start-up has settled: the window is shown and laid out for its screen, and the page of a
    // device found by the first scan pass shows the device's values.
    void settled();
    // A tile was shown, hidden or selected.
    void tiles_changed();
    // The window is being destroyed (the program ends once this has run).
    void destroying();

  protected:
    void init_window() override;
    void notify(platform::ui::Notification& msg) override;
    platform::ui::LResult handle_custom_message(unsigned message, platform::ui::WParam wparam,
                                                platform::ui::LParam lparam,
                                                bool& handled) override;
    QWidget* create_control(const QString& class_name) override;
    // Shown, hidden and minimised: the pages learn whether anybody can see them.
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void on_window_init();
    void route(platform::ui::Notification& msg);
    void on_click(const QString& name, int index);
    void on_tab_selected(const QString& name);
    void on_tile_selected(QWidget* sender, const QString& name, bool selected);
    void on_timer(QWidget* control, int id);
    void on_destroy();
    void maybe_settle();
    void update_no_device_banner();
    void update_denied_notice();
    int visible_tiles() const;
    void start_workers();
    void create_initial_pages();
    void for_each_page(const std::function<void(model::CZentovaUSBDevice&)>& action) const;
    void tell_pages_window_shown(bool shown);
    void set_lighting_control(bool on);
    void set_asleep(bool asleep);
    int tile_index_of_page(const QWidget* page) const;
    int tile_index_of_kind_row(int kind_row) const;
    model::CZentovaUSBDevice* page_for_identity(const link::DeviceIdentity& identity) const;
    void mouse_arrival(std::size_t slot, std::size_t command);
    void mouse_loss(std::size_t slot);
    void select_neighbour_tile(int step);
    void update_tile_link_text(int index);
    void sync_light_targets();
    void handle_data_block(unsigned kind, const QByteArray& block);
    void on_access_denied();
    QByteArray tool_query_block() const;
    void open_device_settings(int which);
    void open_maker_page();
    void start_recording(model::CZentovaMouseDevice* page, int hook_mode);
    void end_recording();
    void set_recording_controls_enabled(bool on);
    void on_hook_message(int mode, bool mouse, platform::ui::LParam lparam);
    void bind_button_editors(model::CZentovaMouseDevice* page);
    model::CZentovaMouseDevice* recording_mouse() const;
    TrayBattery& tray_battery();
    void on_power_status();
    void show_started_hidden();

    std::filesystem::path default_data_;
    std::filesystem::path user_data_;
    platform::SettingsStore settings_;
    platform::ipc::ProgramChannel* channel_ = nullptr;
    std::shared_ptr<platform::hid::HidBackend> hid_;
    platform::ui::TrayIcon tray_;
    QWidget* caption_[9] = {};
    QWidget* tabs_[5] = {};
    std::vector<QPointer<platform::ui::Window>> aux_windows_;
    int language_index_ = -1;
    bool settled_ = false;
    bool dpi_applied_ = false;
    bool destroyed_ = false;
    QSize screen_size_;
    std::unique_ptr<Json::Value> audio_styles_;

    // Device manager.
    std::shared_ptr<const link::DeviceCatalog> devices_;
    DeviceKindTable kinds_;
    DeviceSlots slots_;
    std::vector<QPointer<ui::CDeviceOptionUI>> tiles_;
    std::vector<QPointer<ui::CMpDevicePowerUI>> power_widgets_;
    std::vector<model::CZentovaMouseDevice*> mouse_pages_;
    std::vector<model::CZentovaKeyboardDevice*> keyboard_pages_;
    std::vector<model::CZentovaUSBDevice*> pages_;                // every page, in tile order
    std::vector<std::shared_ptr<LightSyncTarget>> sync_targets_;  // in tile order
    std::unique_ptr<ScanBridge> scan_bridge_;
    std::unique_ptr<DeviceScanThread> scan_thread_;
    std::unique_ptr<LightSyncThread> light_sync_;
    std::vector<std::string> denied_;
    std::set<std::size_t> deferred_slots_;  // slot messages that came while asleep
    bool first_pass_done_ = false;
    bool asleep_ = false;
    bool lighting_control_ = true;
    bool window_active_ = false;
    bool display_change_pending_ = false;
    bool workers_stopped_ = false;
    int tab_code_ = 8;  // the function page every mouse page shows (performance)
    std::set<const QObject*> loaded_pages_;  // pages that have shown their device's values
    bool settle_timer_started_ = false;
    bool settle_deadline_passed_ = false;
    std::array<std::uint8_t, kDataBlockBytes> audio_levels_{};
    std::array<std::uint8_t, kDataBlockBytes> keyboard_block_{};

    std::unique_ptr<CDeviceHook> hook_;
    QPointer<QObject> recording_page_;  // the mouse page whose editor records

    struct TrayBatteryDelete {
        void operator()(TrayBattery* battery) const;
    };
    std::unique_ptr<TrayBattery, TrayBatteryDelete> battery_;
    std::string update_server_override_;
    std::shared_ptr<update::PackageLauncher> package_launcher_;
    std::filesystem::path download_folder_;
    bool start_hidden_ = false;
};

}  // namespace velqa::app
