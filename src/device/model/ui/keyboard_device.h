// The keyboard's device page: builds the settings page ("keyboarddevice.xml"), shows what the
// keyboard holds, turns every change into the profile and a settings write, listens on the
// notification interfaces (settings changed on the keyboard, key presses for the reactive
// lighting) and animates the lighting, streaming the frames of the two program-driven modes.
// Device logic runs through KeyboardCore; the worker threads only post to this page's thread.
#pragma once

#include <atomic>
#include <memory>

#include "device/model/keyboard_core.h"
#include "device/model/keyboard_light.h"
#include "device/model/notification_worker.h"
#include "device/model/ui/usb_device.h"
#include "profile/profile_data.h"

namespace velqa::profile {
class CLightControlUI;
}

namespace velqa::model {

// Device types the device manager hands the keyboard's notification interfaces over for.
constexpr int WiredKeyboardType = 1;
constexpr int ReceiverKeyboardType = 9;

class CZentovaKeyboardDevice : public CZentovaUSBDevice {
    Q_OBJECT

  public:
    static constexpr const char* kClassName = "CZentovaKeyboardDevice";
    static constexpr const char* kPageLayout = "keyboarddevice.xml";
    // Light indicators a keyboard page may hold (one per key position up to 170).
    static constexpr int LightCount = 171;
    static constexpr int PollingOptions = 6;
    static constexpr int RepeatDelayOptions = 4;
    static constexpr int RepeatMax = 31;

    explicit CZentovaKeyboardDevice(std::shared_ptr<platform::hid::HidBackend> backend = nullptr,
                                    QWidget* parent = nullptr);
    // Stops the light thread and both notification workers before anything they use is freed.
    ~CZentovaKeyboardDevice() override;

    // The profile file the page reads and saves; default <user data>/<name>/<name>.Json.
    void set_profile_file(const std::filesystem::path& file);
    // The profile the user chose becomes the page's: shown, and written once the keyboard has
    // been read.
    void apply_profile_file(const std::filesystem::path& file);
    std::filesystem::path profile_path() const override { return profile_.profile_path(); }
    void save_profile() override { profile_.save(); }

    void set_page_layout(const QString& layout) { page_layout_ = layout; }
    void bind_page_controls() override;
    void apply_lighting_from_profile() override;
    // Paints the light thread's newest frame.
    void show_led_frame() override;
    // Load, profile into the page, settings, refresh, lighting restart; the lighting writes
    // start again after a stop.
    void reload_all() override;
    void reload_settings() override;
    void poll_power_status() override;
    void load_profile_into_page() override;
    void restore_defaults() override;
    bool device_loaded() const override { return core_.has_record(); }
    void refresh_page() override;
    int write_settings(int slot, std::uint8_t slot_byte) override;
    void show_device_values(bool fresh_read) override;
    // Hidden: no frames, no stream, no custom-colour writes.
    void set_page_visible(bool on) override;

    // The lighting chosen in the editor: previewed, stored, saved and written; in mode 20 the
    // per-key colours follow. Ignored until the keyboard has been read.
    void change_lighting(const profile::LightInfo& info);
    void change_audio_lighting(const profile::AudioLightInfo& info);
    profile::CLightControlUI* light_editor() const;
    // The repeat rate and delay go back to the factory profile's, and to the keyboard.
    void reset_repeat();

    void notify(platform::ui::Notification& msg) override;

    bool open_notification(const std::string& path, int type) override;
    void close_notification(int type) override;
    void stop_threads() override;

    KeyboardCore& core() { return core_; }
    profile::CKeyboardProfiledata& profile() { return profile_; }
    KeyboardLightThread& light_thread() { return *light_; }
    MouseNotifications& notifications() { return *notifications_; }

  signals:
    void refreshed();

  private:
    void ensure_profile();
    void on_notification_event(const NotificationEvent& event);
    // Stores, saves and writes; true when the keyboard took the write.
    bool change_settings(const std::function<void(profile::KeyboardSystemSettings&)>& change);
    void fill_light_editor(profile::CKeyboardProfiledata& shown);
    // The page's controls and lighting show `shown` (the profile, or what the keyboard holds
    // after a refused write).
    void show_values(profile::CKeyboardProfiledata& shown);
    void show_lighting(const profile::LightInfo& info);
    // The per-key colours of mode 20; a refused write is reported like a settings write.
    void write_custom_colours();
    // The try-it field's hint in the current language.
    void show_try_hint();
    // LEDs showing key position `key`.
    std::vector<std::size_t> leds_of_key(int key) const;

    profile::CKeyboardProfiledata profile_;
    KeyboardCore core_{profile_};
    QWidget* page_ = nullptr;
    QString page_layout_;
    bool profile_loaded_ = false;
    bool light_modes_filled_ = false;
    std::atomic<bool> awake_{true};
    std::atomic<bool> frame_posted_{false};
    std::unique_ptr<KeyboardLightThread> light_;
    std::unique_ptr<MouseNotifications> notifications_;
};

}  // namespace velqa::model
