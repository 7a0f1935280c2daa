// The program's main window: caption, top tabs, the "no device" banner, tray icon, language and
// DPI, and the routing of notifications and window messages. The device tiles and pages are the
// device manager's; recording is the recording controller's.
#pragma once

#include <QPointer>
#include <QSize>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/desktop_pointer.h"
#include "app/device_manager.h"
#include "app/recording_controller.h"
#include "app/startup_trace.h"
#include "platform/desktop/focus_watcher.h"

#include "platform/diagnostics.h"
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
namespace velqa::platform {
class Notifier;
}
namespace velqa::ui {
struct AboutSource;
class AboutPanel;
}  // namespace velqa::ui
namespace velqa::update {
class CSetWnd;
class PackageLauncher;
struct UpdateItem;
}  // namespace velqa::update

namespace velqa::app {

struct TrayBattery;
class ProfileSwitcher;

// The DPI the window is laid out at on a screen of `size`: 144 when it is larger than
// 1500 x 960, else 96.
int dpi_for_screen(QSize size);

// The DPI the window is laid out at on a screen of logical `size` and `available` area whose
// device pixel ratio is `ratio` (QT_SCALE_FACTOR, the desktop's scale on Wayland or X11). A
// desktop that scales has already enlarged everything by its ratio: the window stays at 96 and
// follows it; with no scale given (ratio 1) the design's dpi_for_screen applies. The window
// (`base` at 96 DPI) then never gets larger than `available`: the DPI steps down through
// Window::is_valid_dpi's values while it does not fit, but never so far that its texts come out
// smaller on screen than at 96 DPI unscaled.
int dpi_for_desktop(QSize size, QSize available, double ratio, QSize base);

class CMainWnd : public platform::ui::Window, private DeviceManagerHost {
    Q_OBJECT

  public:
    // `default_data` holds Language.config and the factory AudioFile.json; `settings` keeps the
    // language; `channel` (may be null) carries messages with other programs; `hid` is the HID
    // backend chosen at start (null: no device is looked for); `catalog` the supported devices
    // read at start (null: those of `default_data`).
    CMainWnd(std::filesystem::path default_data, std::filesystem::path user_data,
             platform::SettingsStore settings, platform::ipc::ProgramChannel* channel = nullptr,
             std::shared_ptr<platform::hid::HidBackend> hid = nullptr,
             std::shared_ptr<const link::DeviceCatalog> catalog = nullptr);
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
    // A click on the battery widget: the Performance tab at its sensor and power settings.
    void open_power_settings();
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
    // The desktop's pointer settings the System tab changes (chosen at start; null: none can
    // be changed). Before the first scan.
    void set_desktop_pointer(std::shared_ptr<platform::desktop::PointerSettings> backend);
    // Marks the start-up phases the window sees and prints the trace when it settles. The
    // trace outlives the window; null: none.
    void set_startup_trace(StartupTrace* trace) { trace_ = trace; }
    DesktopPointer& desktop_pointer() { return *pointer_; }
    // Profiles that follow the focused application, through `watcher` (this session's; the
    // switcher starts it after the first scan pass). Null until set.
    void set_focus_watcher(std::unique_ptr<platform::desktop::FocusWatcher> watcher);
    ProfileSwitcher* profile_switcher() const { return switcher_.get(); }
    // Where low-battery notices go; the desktop's notification service unless set.
    void set_notifier(std::unique_ptr<platform::Notifier> notifier);
    // The audio-light styles loaded at start-up.
    const Json::Value& audio_styles() const;

    // The caption and tab buttons looked up when the window initialises.
    enum Caption { kClose, kMax, kRestore, kMin, kSkin, kGameMode, kCloud, kSmartEyes, kSet };
    enum Tab { kPerformanceTab, kKeyTab, kMacroTab, kSystemTab, kAboutTab };
    QWidget* caption_button(Caption which) const { return caption_[which]; }
    QWidget* tab_button(Tab which) const { return tabs_[which]; }
    // The devices: slots, tiles, pages and the worker threads.
    DeviceManager& devices() { return *devices_; }
    const DeviceManager& devices() const { return *devices_; }
    // Recording and key capture.
    RecordingController& recorder() { return *recorder_; }
    const RecordingController& recorder() const { return *recorder_; }

    // How a custom message is treated while the computer sleeps.
    enum class WhileAsleep {
        Run,        // acted on as when awake
        DeferSlot,  // a slot change: the slot (wParam) is looked at again on resume
        Drop,       // ignored (the window's default handling applies)
    };
    struct MessageRow {
        unsigned message;
        WhileAsleep asleep;
        std::function<platform::ui::LResult(platform::ui::WParam, platform::ui::LParam)> handler;
    };
    // Every custom message the window acts on, one row each.
    const std::vector<MessageRow>& message_table() const { return messages_; }

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
    // A problem found at start that the user must know of (the device locks are off): the
    // language text `text_id`, its %1 replaced by `detail`, in the message window once the
    // window is on screen.
    void add_start_notice(const char* text_id, const std::string& detail);

    // ---- About pane and window (main_wnd_about.cpp) ----
    // The session for the diagnostic report, and the folders where the udev rule is looked for.
    void set_diagnostics(platform::SessionFacts session,
                         std::vector<std::filesystem::path> udev_rule_folders =
                             platform::default_udev_rule_folders());
    // Opens the about window, or brings an open one forward.
    void open_about();
    // What the about pane and window show, and the facts of the diagnostic report.
    ui::AboutSource about_source();
    std::vector<platform::LinkedDeviceFacts> linked_devices() const;
    platform::DiagnosticFacts diagnostic_facts() const;

    // JSON of what a script may look at: window and banner visibility, the tiles.
    std::string automation_state() const { return devices_->automation_state(); }

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
    // Selects the next (step 1) or previous (-1) top tab the user can choose.
    void step_tab(int step);
    void notify(platform::ui::Notification& msg) override;
    platform::ui::LResult handle_custom_message(unsigned message, platform::ui::WParam wparam,
                                                platform::ui::LParam lparam,
                                                bool& handled) override;
    QWidget* create_control(const QString& class_name) override;
    // Shown, hidden and minimised: the pages learn whether anybody can see them.
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    // Activated and deactivated, the pointer over the window and off it: the pages learn it
    // through their messages.
    bool event(QEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    // The window's first expose (its first frame is painted), and fully covered (no longer
    // exposed): the preview stops too, as when minimised.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // DeviceManagerHost
    platform::ui::Window& device_window() override { return *this; }
    void device_came() override { bring_forward(); }
    void link_switched() override { close_aux_window(kSettingsWindow); }
    void showing_page(const QWidget* page) override { recorder_->showing_page(page); }
    void shown_page_lost() override;
    void mouse_page_added(model::CZentovaMouseDevice& page) override;
    void tiles_updated() override { emit tiles_changed(); }
    void page_loaded() override { maybe_settle(); }

    std::vector<MessageRow> build_message_table();
    void on_first_pass_done();
    void on_menu_command(platform::ui::WParam wparam);
    void clear_set_badge();
    void on_window_init();
    void route(platform::ui::Notification& msg);
    void on_click(const QString& name, int index);
    void on_tab_selected(const QString& name);
    void on_timer(QWidget* control, int id);
    void on_destroy();
    void maybe_settle();
    // The window has painted once: the devices start.
    void on_first_paint();
    // Builds the first device pages and starts the scan; once.
    void start_devices();
    // The notices of add_start_notice, once the window is on screen.
    void show_start_notices();
    void tell_pages_window_shown(bool shown) { devices_->set_window_shown(shown); }
    void set_lighting_control(bool on);
    void set_recording_controls_enabled(bool on);
    void open_device_settings(int which);
    void open_maker_page();
    TrayBattery& tray_battery();
    void on_power_status();
    void show_started_hidden();
    // The About tab's pane is shown instead of the device pages while its tab is selected.
    void show_about_pane(bool on);
    void refresh_about();
    // The About tab's pane; with `build`, built now if it was not yet.
    ui::AboutPanel* about_pane(bool build) const;

    std::filesystem::path default_data_;
    std::filesystem::path user_data_;
    platform::SettingsStore settings_;
    platform::ipc::ProgramChannel* channel_ = nullptr;
    platform::ui::TrayIcon tray_;
    QWidget* caption_[9] = {};
    QWidget* tabs_[5] = {};
    std::vector<QPointer<platform::ui::Window>> aux_windows_;
    int language_index_ = -1;
    // The stored language's texts the constructor loaded (-1: none); the first apply_language
    // of that language does not read its file again.
    int preloaded_language_ = -1;
    bool settled_ = false;
    bool first_paint_seen_ = false;
    // The no-device picture until it first shows.
    QPointer<QWidget> no_device_picture_;
    bool devices_started_ = false;
    StartupTrace* trace_ = nullptr;
    bool dpi_applied_ = false;
    bool destroyed_ = false;
    QSize screen_size_;
    std::unique_ptr<Json::Value> audio_styles_;
    bool display_change_pending_ = false;
    bool settle_timer_started_ = false;
    bool settle_deadline_passed_ = false;

    std::unique_ptr<DeviceManager> devices_;
    std::unique_ptr<RecordingController> recorder_;
    std::unique_ptr<DesktopPointer> pointer_;
    std::vector<MessageRow> messages_;

    struct TrayBatteryDelete {
        void operator()(TrayBattery* battery) const;
    };
    std::unique_ptr<TrayBattery, TrayBatteryDelete> battery_;
    std::unique_ptr<ProfileSwitcher> switcher_;  // goes before the devices it switches
    std::string update_server_override_;
    std::shared_ptr<update::PackageLauncher> package_launcher_;
    std::filesystem::path download_folder_;
    bool start_hidden_ = false;
    std::vector<std::pair<QString, QString>> start_notices_;  // text id, detail
    platform::SessionFacts session_;
    std::vector<std::filesystem::path> udev_rule_folders_ = platform::default_udev_rule_folders();
};

}  // namespace velqa::app
