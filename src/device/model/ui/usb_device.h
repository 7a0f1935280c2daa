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
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device/link/command_channel.h"
#include "device/link/supported_devices.h"
#include "device/model/lighting_preview.h"
#include "platform/ui/window.h"

class QTimer;

namespace velqa::ui {
class CMpDevicePowerUI;
}

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
    // Notification interfaces by path and link type (2 cable, 6 receiver); none in the base.
    virtual bool open_notification(const std::string& path, int type) {
        (void)path;
        (void)type;
        return false;
    }
    virtual void close_notification(int type) { (void)type; }
    // What the page does after the device manager moved it to the other link.
    virtual void after_link_switch();
    // Stops the page's worker threads (before the window goes away).
    virtual void stop_threads() {}

    // ---- Window state the main window tells its pages ----
    void set_window_active(bool on) { window_active_ = on; }
    bool window_active() const { return window_active_; }
    void set_hovered(bool on) { hovered_ = on; }
    bool hovered() const { return hovered_; }
    // More than one device tile is visible (light sync makes sense only then).
    void set_multiple_devices(bool on);
    bool multiple_devices() const { return multiple_devices_; }
    void set_light_sync(bool on) { light_sync_ = on; }
    bool light_sync() const { return light_sync_; }

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
    // Whether the window that shows the page is shown (not hidden, not minimised).
    virtual void set_page_visible(bool on) { page_visible_ = on; }
    bool page_visible() const { return page_visible_; }

    // ---- Profile paths ----
    // Folders the profile paths are made in; default: the program's DefaultData and the user
    // data folder. Tests point them elsewhere.
    void set_data_folders(std::filesystem::path default_data, std::filesystem::path user_data);
    // DefaultData/<device name>.Json.
    std::filesystem::path default_profile_file() const;
    // <user data>/<device name>/, created.
    std::filesystem::path user_data_folder() const;

    // ---- Virtual operations ----
    // Finds "SelectPanel" and binds its "key_" N and "light_" N controls within the counts.
    virtual void bind_page_controls();
    virtual void apply_lighting_from_profile() {}
    // Paints the LED frame on the light indicators (when the preview is enabled).
    virtual void show_led_frame();
    void set_led_entry(int index, std::uint32_t value);
    std::uint32_t led_entry(int index) const;
    const LedFrame& led_frame() const { return frame_; }
    virtual void reload_all() {}
    virtual void reload_settings() {}
    virtual void poll_power_status() {}
    // True when the link is open, the receiver path is selected and the mouse answers.
    virtual bool receiver_link_check();
    virtual void load_profile_into_page() {}
    // True once the page shows what the device holds (its state has been read).
    virtual bool device_loaded() const { return false; }
    // Puts the factory settings back: profile, device and page.
    virtual void restore_defaults() {}
    virtual void refresh_page() {}
    virtual int write_settings(int slot, std::uint8_t slot_byte) {
        (void)slot;
        (void)slot_byte;
        return 0;
    }
    virtual void switch_function_page(int page_type);
    int function_page() const { return function_page_; }
    virtual std::filesystem::path profile_path() const { return {}; }
    virtual QString profile_name() const { return {}; }
    virtual void save_profile() {}
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

    // A control notification forwarded by the main window; the base does nothing with it.
    virtual void notify(platform::ui::Notification& msg) { (void)msg; }

    // ---- Lifecycle timers ----
    // What the tile's timers 1001, 1002 and 1005 do (the tile calls this on "timer").
    void on_tile_timer(int id);
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

  protected:
    // The notice of a write the device refused or that never reached it.
    static constexpr const char* kWriteFailedText = "device_write_failed_text";

    // Posts a message to the main window (from the window thread) and emits window_message.
    void send_to_main(unsigned message, quintptr param, qintptr lparam = 0);
    // A write the user started did not reach the device. The user is told with the notice
    // `text_id` once the action is over; failures until that notice is closed (the other
    // writes of the same action, further attempts) join it instead of stacking notices.
    void report_write_failure(const char* text_id = kWriteFailedText);
    // After a settings write: true when it reached the device. A refused write leaves the
    // profile with the user's values, shows what the device holds and tells the user once; the
    // next write that gets through shows the profile again.
    bool settings_written(int result);
    // The page shows what the device holds instead of the profile, read again when
    // `fresh_read` (else the last record read); sets showing_device_values_.
    virtual void show_device_values(bool fresh_read) { (void)fresh_read; }
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

  private:
    std::map<int, QTimer*> timers_;
    bool write_notice_pending_ = false;
};

// Registers the device page classes with the control factory in place of their placeholders.
void register_device_pages();

}  // namespace velqa::model
