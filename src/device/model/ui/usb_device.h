// The base of every device page: the container control that holds a device's settings page in
// the main window and, at once, the device's model. It owns the command channel and the
// notification channel, binds the page's key buttons and light indicators, shows the LED frame,
// switches the function page and runs the device's lifecycle timers. Byte and timing logic lives
// in the Qt-free core (device/model); this class only shows what the core returns.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "device/link/command_channel.h"
#include "device/link/supported_devices.h"
#include "device/model/lighting_preview.h"
#include "device/model/notification_worker.h"
#include "device/model/preview_loop.h"
#include "device/model/settings_change.h"
#include "platform/indexed_name.h"
#include "platform/ui/window.h"

class QTimer;

namespace velqa::ui {
class CMpDevicePowerUI;
}
namespace velqa::profile {
class CBasicProfiledata;
class CLightControlUI;
struct AudioLightInfo;
struct LightInfo;
}  // namespace velqa::profile

namespace velqa::model {

class CZentovaUSBDevice : public QWidget {
    Q_OBJECT

  public:
    static constexpr const char* kClassName = "CZentovaUSBDevice";
    // Retry period of the receiver link check and the power poll's period.
    static constexpr int LinkRetryMs = 2000;
    static constexpr int PowerPollMs = 3000;
    static constexpr int PowerStartMs = 50;
    static constexpr int LinkRetryWrap = 4;
    // The window thread waits no longer than this for another program's exchanges; a longer
    // hold is reported to the user rather than waited out.
    static constexpr std::chrono::milliseconds WindowLockWait{3000};

    // Both channels open their interfaces through `backend` (null: no link can be opened).
    explicit CZentovaUSBDevice(std::shared_ptr<platform::hid::HidBackend> backend = nullptr,
                               QWidget* parent = nullptr);
    ~CZentovaUSBDevice() override;

    link::CommandChannel& channel() { return channel_; }
    link::CommandChannel& notification_channel() { return notify_channel_; }

    // ---- Identity, set by the device manager ----
    void set_device_name(const std::string& name) { name_ = name; }
    const std::string& device_name() const { return name_; }
    void set_labels(std::array<QString, 3> labels) { labels_ = std::move(labels); }
    const std::array<QString, 3>& labels() const { return labels_; }
    void set_device_type(int type, int sub_type) {
        type_ = type;
        sub_type_ = sub_type;
    }
    int device_type() const { return type_; }
    int device_sub_type() const { return sub_type_; }
    void set_device_index(int index) { index_ = index; }
    int device_index() const { return index_; }

    // Resizes the key-button list.
    void set_key_count(int count);
    int key_count() const { return static_cast<int>(keys_.size()); }
    // Resizes the light lists and the LED frame, clearing every entry.
    void set_light_count(int count);
    int light_count() const { return static_cast<int>(lights_.size()); }

    // ---- Links, managed by the device manager ----
    // Held while the device manager opens or closes the page's interfaces.
    std::mutex& link_mutex() { return link_mutex_; }
    // Opens `path` as the command interface of the receiver link (`receiver`) or of the cable.
    // Call with link_mutex() held. False when the open fails (the page is then not linked on
    // that link).
    bool open_command_link(const std::string& path, bool receiver);
    // Closes both command interfaces and clears the linked state.
    void close_command_links();
    void set_linked(bool on) { linked_ = on; }
    bool linked() const { return linked_; }
    // 1 cable, 2 receiver (0: none yet); also selects the channel's path.
    void set_link_mode(int mode);
    int link_mode() const { return link_mode_; }
    bool use_receiver() const { return channel_.receiver_path(); }
    // The identity of the cable interface the page is keyed by (both links lead to one page).
    void set_wired_identity(link::DeviceIdentity identity) {
        wired_identity_ = std::move(identity);
    }
    const link::DeviceIdentity& wired_identity() const { return wired_identity_; }
    // The page's row in the device manager's kind table (sent back with its link messages).
    void set_kind_row(int row) { kind_row_ = row; }
    int kind_row() const { return kind_row_; }
    // Whether a switch to the receiver asks the receiver for the mouse's link first.
    void set_receiver_query(bool on) { receiver_query_ = on; }
    bool receiver_query() const { return receiver_query_; }
    // Notification interfaces by path and link type (mouse: 2 cable, 6 receiver; keyboard: 1
    // and 9); false without a notification worker (the bare base page).
    bool open_notification(const std::string& path, int type);
    // close_notification(type), then open_notification(path, type).
    bool reopen_notification(const std::string& path, int type);
    void close_notification(int type);
    // What the page does after the device manager moved it to the other link.
    virtual void after_link_switch();
    // Stops the light thread and both notification workers (before the window goes away).
    void stop_threads();
    // The notification workers; a device page has them from its construction.
    MouseNotifications& notifications() { return *notifications_; }

    // ---- Window state the main window tells its pages ----
    void set_window_active(bool on) { window_active_ = on; }
    bool window_active() const { return window_active_; }
    void set_hovered(bool on) { hovered_ = on; }
    bool hovered() const { return hovered_; }
    // More than one device tile is visible (light sync makes sense only then).
    void set_multiple_devices(bool on);
    bool multiple_devices() const { return multiple_devices_; }
    // Off, the preview goes back to the page's own lighting.
    void set_light_sync(bool on);
    bool light_sync() const { return light_sync_; }
    // The light-sync colour (red in the low byte, brightness in the high byte): while the page
    // syncs, its preview shows it on every light in place of the page's own lighting.
    void set_sync_colour(std::uint32_t colour);
    // A game's event: every light shows `colour` (packed as the sync colour) `flashes` times,
    // `on_ms` on and as long off, over the page's own lighting; then the page's lighting again.
    void flash_colour(std::uint32_t colour, int flashes, int on_ms);
    // The colour being flashed now, if any.
    std::optional<std::uint32_t> flash_shown() const { return flash_on_ ? flash_ : std::nullopt; }

    // ---- Handles ----
    void set_main_window(platform::ui::Window* window) { main_window_ = window; }
    platform::ui::Window* main_window() const { return main_window_; }
    // The device's tile in the device list: when set, lifecycle timers run as its control
    // timers and the tile forwards their "timer" notifications to on_tile_timer().
    void set_tile(QWidget* tile) { tile_ = tile; }
    QWidget* tile() const { return tile_; }
    void set_power_control(ui::CMpDevicePowerUI* power);
    ui::CMpDevicePowerUI* power_control() const;

    // ---- Flags ----
    void set_power_capable(bool on);
    bool power_capable() const { return power_capable_; }
    // Taken only while the device is power-capable.
    void set_power_suppress(bool on) { power_suppress_ = on; }
    bool power_suppressed() const { return power_capable_ && power_suppress_; }
    // Stores the flag; switching it on for a keyboard (type 1) sends the lighting-control
    // command.
    void set_software_lighting(bool on);
    bool software_lighting() const { return software_lighting_; }
    void set_preview_enabled(bool on) { preview_enabled_ = on; }
    bool preview_enabled() const { return preview_enabled_; }
    // Whether the window that shows the page is shown (not hidden, not minimised). The preview
    // stops computing frames while nobody can see it.
    virtual void set_page_visible(bool on);
    bool page_visible() const { return page_visible_; }

    // ---- Profile paths ----
    // Folders the profile paths are made in; default: the program's DefaultData and the user
    // data folder. Tests point them elsewhere.
    void set_data_folders(std::filesystem::path default_data, std::filesystem::path user_data);
    // DefaultData/<device name>.Json.
    std::filesystem::path default_profile_file() const;
    // <user data>/<device name>/, created.
    std::filesystem::path user_data_folder() const;

    // The profile file the page reads and saves (the current profile of the profile list);
    // default: <user data>/<device name>/<device name>.Json. Loads its section.
    void set_profile_file(const std::filesystem::path& file);
    // The profile the user chose becomes the page's: shown, and written to the device once it
    // has been read (the record is built on the one read).
    void apply_profile_file(const std::filesystem::path& file);
    // The music-reactive record: stored in the profile and saved (the device's record has no
    // byte for it), through the device core's apply. A page built from a layout alone has no
    // core and keeps nothing.
    virtual void change_audio_lighting(const profile::AudioLightInfo& info);

    // ---- Virtual operations ----
    // The layout the page is built from (default: the device's own); before
    // bind_page_controls.
    void set_page_layout(const QString& layout) { page_layout_ = layout; }
    // Builds the page from its layout (a device page) and finds "SelectPanel" and binds its
    // "key_" N and "light_" N controls within the counts.
    virtual void bind_page_controls();
    // The preview shows the profile's lighting.
    void apply_lighting_from_profile();
    // Paints the LED frame (the light thread's newest, on a device page) on the light
    // indicators (when the preview is enabled).
    void show_led_frame();
    void set_led_entry(int index, std::uint32_t value);
    std::uint32_t led_entry(int index) const;
    const LedFrame& led_frame() const { return frame_; }
    // Load from the device, the profile into the page, the settings, refresh, preview restart.
    void reload_all();
    // The settings again (after the device reported a change), or what the device holds while
    // the page shows it.
    void reload_settings();
    // The battery, shown on the power control and sent to the main window.
    // False when nothing was read (not polled, or the device did not answer).
    bool poll_power_status();
    // True when the link is open, the receiver path is selected and the mouse answers.
    virtual bool receiver_link_check();
    virtual void load_profile_into_page() {}
    // True once the page shows what the device holds (its state has been read).
    virtual bool device_loaded() const { return false; }
    // Puts the factory settings back (the factory file's section replaces the profile's):
    // profile, device and page.
    void restore_defaults();
    virtual void refresh_page() {}
    // The settings record to the device; a refused write is shown and reported.
    int write_settings();
    virtual void switch_function_page(int page_type);
    int function_page() const { return function_page_; }
    std::filesystem::path profile_path() const;
    virtual QString profile_name() const { return {}; }
    virtual void set_language(int index) { language_ = index; }
    int language() const { return language_; }
    void set_lighting_values(std::array<std::uint32_t, 3> words, std::uint16_t half) {
        lighting_words_ = words;
        lighting_half_ = half;
    }
    void set_colour_triple(std::array<std::uint32_t, 3> colour) { colour_ = colour; }
    std::array<std::uint32_t, 3> colour_triple() const { return colour_; }
    virtual void select_key(int index) { selected_key_ = index; }
    int selected_key() const { return selected_key_; }
    void set_second_selection(int index) { second_selection_ = index; }
    int second_selection() const { return second_selection_; }

    // ---- Music lighting ----
    // The preview shows an effect lit by the desktop's audio.
    virtual bool audio_effect_selected() const { return false; }
    // The music lighting level (0-255) from the newest block of audio levels.
    virtual void show_audio_level(std::uint8_t level) { (void)level; }
    // The lighting mode the preview shows.
    int shown_light_mode() const { return shown_light_mode_; }

    // A control notification forwarded by the main window; the base does nothing with it.
    virtual void notify(platform::ui::Notification& msg) { (void)msg; }
    // The page's lighting editor, or nullptr when its layout has none. The page fills it from
    // the profile whenever it shows new values.
    profile::CLightControlUI* light_editor() const;

    // ---- Lifecycle timers ----
    // What the tile's timers 1001, 1002 and 1005 do (the tile calls this on "timer").
    void on_tile_timer(int id);
    // The receiver answers but the mouse behind it does not: the tile goes (message 0xD03 with
    // 0) and the reload timer looks for the mouse again every 2000 ms.
    void receiver_lost_mouse();
    // Starts (or restarts) a lifecycle timer: on the tile when there is one, else on a timer
    // of this page. One-shot: each handler sets the next period itself.
    void start_tile_timer(int id, int delay_ms);
    void stop_tile_timer(int id);
    bool tile_timer_active(int id) const;
    int link_retries() const { return link_retries_; }

    QWidget* find(const QString& name) const;

  signals:
    // Every main-window message this page sends (also posted to the main window when set).
    void window_message(unsigned message, quintptr param, qintptr lparam);
    // The page shows new values (after a refresh), for observers such as tests.
    void refreshed();
    // The preview shows a lighting record (perhaps of another mode).
    void lighting_shown();

  protected:
    // ---- What a device page adds ----
    // The page's profile and preview: set by a device page's constructor (with
    // make_notifications), none in the bare base page.
    void set_page_parts(profile::CBasicProfiledata& profile, std::unique_ptr<PreviewLoop> light,
                        const char* debug_name);
    // The notification workers of `kinds`; their events reach on_notification_event() on the
    // window thread.
    void make_notifications(MouseNotifications::Kinds kinds);
    // Called by the light thread when a frame is ready: shows it on the window thread, at most
    // one pending call at a time.
    void post_frame();
    // Its layout's file name (empty: the page builds no layout).
    virtual QString default_page_layout() const { return {}; }
    // Classes the page's layout makes its own way before the control factory is asked.
    virtual platform::ui::LayoutBuilder::Callback layout_callback() { return {}; }
    // After the page's layout was built and added.
    virtual void page_built() {}
    // The factory profile in DefaultData ("mouse.Json").
    virtual std::string factory_profile_file() const { return {}; }
    // Points the page's profile at `file` and loads it and what the core takes from it.
    virtual void attach_profile(const std::filesystem::path& file) { (void)file; }
    // Loads the device's information; returns the load's result.
    virtual int load_from_device() { return 0; }
    // Reads the device's settings (into the profile with Mirror::IntoProfile, saved); true when
    // the preview has to show the profile's lighting again.
    virtual bool read_device_settings(Mirror mirror) {
        (void)mirror;
        return false;
    }
    // The profile as it is to the device (its core's apply of the whole profile).
    virtual int write_device_settings() { return 0; }
    // The controls and the preview show what the device holds (the last record read) in place
    // of the profile.
    virtual void show_device_state() {}
    // After an applied profile was written: the device's other records follow it.
    virtual void write_profile_extras() {}
    // A key press the device reported, for the reactive lighting.
    virtual void show_reactive(const NotificationEvent& event) { (void)event; }
    // A slot or stage the device switched to: true when the page must show it.
    virtual bool apply_slot_change(const NotificationAction& action) {
        (void)action;
        return false;
    }
    // The preview shows `info`.
    virtual void show_lighting(const profile::LightInfo& info);
    // The lighting editor: its table type and the modes it lists (names, shown or not).
    virtual int light_editor_type() const { return 0; }
    virtual void light_mode_list(std::vector<QString>& names, std::vector<bool>& visible) {
        (void)names;
        (void)visible;
    }
    // The lighting editor shows `shown`'s records.
    void fill_light_editor(profile::CBasicProfiledata& shown);
    // Loads the profile when none was set.
    void ensure_profile();
    // Whether `msg` comes from a control of this page.
    bool own_notification(const platform::ui::Notification& msg);
    void on_notification_event(const NotificationEvent& event);

    // A control name split at its last underscore ("DPI_slider_3": "DPI_slider_", 3); a name
    // without an index gives an empty prefix and -1.
    static platform::IndexedName indexed_name(const QString& name);
    // The notice of a write the device refused or that never reached it.
    static constexpr const char* kWriteFailedText = "device_write_failed_text";
    // The notice of a change the profile file did not take; the reason follows it.
    static constexpr const char* kSaveFailedText = "profile_change_not_saved_text";

    // Posts a message to the main window (from the window thread) and emits window_message.
    void send_to_main(unsigned message, quintptr param, qintptr lparam = 0);
    // A write the user started did not reach the device. The user is told with the notice
    // `text_id` once the action is over; failures until that notice is closed (the other
    // writes of the same action, further attempts) join it instead of stacking notices.
    void report_write_failure(const char* text_id = kWriteFailedText, const QString& detail = {});
    // After the device core's apply: a failed save is told (with its reason), a written record
    // goes through settings_written. False when the device did not take the record.
    bool report_applied(const ApplyResult& result);
    // After a settings write: true when it reached the device. A refused write leaves the
    // profile with the user's values, shows what the device holds and tells the user once; the
    // next write that gets through shows the profile again.
    bool settings_written(int result);
    // The page shows what the device holds instead of the profile, read again when
    // `fresh_read` (else the last record read); sets showing_device_values_.
    void show_device_values(bool fresh_read);
    // The page shows what the device holds, not the profile (a write was refused).
    bool showing_device_values_ = false;
    // Whether a load that ended with `result` failed because another program of ours kept the
    // link lock; read right after the load, before other exchanges.
    bool link_busy(int result) const;
    // After a reload: when the link was busy, reads again later and tells the user once (until
    // a reload gets through).
    void after_reload(bool busy);
    void stop_all_tile_timers();

    link::CommandChannel channel_;
    link::CommandChannel notify_channel_;
    bool told_link_busy_ = false;
    std::string name_;
    std::array<QString, 3> labels_;
    int type_ = 0;
    int sub_type_ = 0;
    int index_ = -1;
    int selected_key_ = -1;
    int second_selection_ = -1;
    int function_page_ = 1;
    int shown_light_mode_ = -1;
    std::vector<QPointer<QWidget>> keys_;
    std::vector<QPointer<QWidget>> lights_;
    LedFrame frame_;
    std::array<std::uint32_t, 3> lighting_words_{};
    std::uint16_t lighting_half_ = 0;
    bool software_lighting_ = false;
    int language_ = 0;
    std::array<std::uint32_t, 3> colour_{};
    QPointer<platform::ui::Window> main_window_;
    QPointer<QWidget> tile_;
    QPointer<QWidget> power_;
    bool preview_enabled_ = true;
    bool page_visible_ = true;
    bool power_capable_ = false;
    bool power_suppress_ = false;
    int link_retries_ = 0;
    std::filesystem::path default_data_;
    std::filesystem::path user_data_;

    std::mutex link_mutex_;
    bool linked_ = false;
    int link_mode_ = 0;
    link::DeviceIdentity wired_identity_;
    int kind_row_ = -1;
    bool receiver_query_ = true;
    bool window_active_ = false;
    bool hovered_ = false;
    bool multiple_devices_ = false;
    bool light_sync_ = false;
    std::optional<std::uint32_t> sync_colour_;  // the last one pushed while syncing
    std::optional<std::uint32_t> flash_;        // a game's flash, while it lasts
    bool flash_on_ = false;
    int flash_steps_ = 0;  // on and off phases still to show
    QTimer* flash_timer_ = nullptr;

    QWidget* page_ = nullptr;
    QString page_layout_;
    bool profile_loaded_ = false;
    bool light_modes_filled_ = false;
    // The device page's profile (a member of it) and the prefix of its debug lines.
    profile::CBasicProfiledata* profile_data_ = nullptr;
    const char* debug_name_ = "device page";
    std::atomic<bool> frame_posted_{false};
    MouseNotifications::Kinds notify_kinds_;
    // Last: a device page stops their threads (in its destructor) before the rest is freed.
    std::unique_ptr<PreviewLoop> light_;
    std::unique_ptr<MouseNotifications> notifications_;

  private:
    std::map<int, QTimer*> timers_;
    bool write_notice_pending_ = false;
};

// Registers the device page classes with the control factory in place of their placeholders.
void register_device_pages();

}  // namespace velqa::model
