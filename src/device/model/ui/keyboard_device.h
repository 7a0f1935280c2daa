// The keyboard's device page: builds the settings page ("keyboarddevice.xml"), shows what the
// keyboard holds, turns every change into the profile and a settings write, listens on the
// notification interfaces (settings changed on the keyboard, key presses for the reactive
// lighting) and animates the lighting, streaming the frames of the two program-driven modes.
// Device logic runs through KeyboardCore; the worker threads only post to this page's thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "device/model/keyboard_core.h"
#include "device/model/keyboard_light.h"
#include "device/model/notification_worker.h"
#include "device/model/ui/usb_device.h"
#include "profile/profile_data.h"
#include "profile/settings_limits.h"

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
    static constexpr int PollingOptions = profile::PollingIndexRange.max + 1;
    static constexpr int RepeatDelayOptions = profile::KeyRepeatDelayRange.max + 1;
    static constexpr int RepeatMax = profile::KeyRepeatRange.max;

    explicit CZentovaKeyboardDevice(std::shared_ptr<platform::hid::HidBackend> backend = nullptr,
                                    QWidget* parent = nullptr);
    // Stops the light thread and both notification workers before anything they use is freed.
    ~CZentovaKeyboardDevice() override;

    void load_profile_into_page() override;
    bool device_loaded() const override { return core_.has_record(); }
    void refresh_page() override;
    // Hidden: no frames, no stream, no custom-colour writes.
    void set_page_visible(bool on) override;

    // The lighting chosen in the editor: previewed, stored, saved and written; in mode 20 the
    // per-key colours follow. Ignored until the keyboard has been read.
    void change_lighting(const profile::LightInfo& info);
    void change_audio_lighting(const profile::AudioLightInfo& info) override;
    // The repeat rate and delay go back to the factory profile's, and to the keyboard.
    void reset_repeat();

    void notify(platform::ui::Notification& msg) override;

    bool audio_effect_selected() const override { return shown_light_mode() == KbAudio; }
    void show_audio_level(std::uint8_t level) override { light_thread().set_audio_level(level); }
    // The data block another program sends the first keyboard page (kind 2); kept as sent,
    // zero-filled to its size. No keyboard mode of ours reads it yet.
    void take_data_block(std::span<const std::uint8_t> block);
    const std::vector<std::uint8_t>& data_block() const { return data_block_; }

    KeyboardCore& core() { return core_; }
    profile::CKeyboardProfiledata& profile() { return profile_; }
    KeyboardLightThread& light_thread() { return static_cast<KeyboardLightThread&>(*light_); }

  private:
    QString default_page_layout() const override { return QString::fromLatin1(kPageLayout); }
    void page_built() override;
    std::string factory_profile_file() const override { return "keyboard.Json"; }
    void attach_profile(const std::filesystem::path& file) override;
    int load_from_device() override { return core_.load_from_device(channel_).result; }
    bool read_device_settings(Mirror mirror) override;
    int write_device_settings() override {
        return core_.apply(channel_, keyboard::WholeProfile{}).write_code;
    }
    void show_device_state() override;
    // In mode 20 the per-key colours follow the profile.
    void write_profile_extras() override;
    void show_reactive(const NotificationEvent& event) override;
    bool apply_slot_change(const NotificationAction& action) override {
        return core_.apply(action);
    }
    void show_lighting(const profile::LightInfo& info) override;
    int light_editor_type() const override { return WiredKeyboardType; }
    void light_mode_list(std::vector<QString>& names, std::vector<bool>& visible) override;

    // Stores, saves and writes; true when the keyboard took the write.
    bool change_settings(const std::function<void(profile::KeyboardSystemSettings&)>& change);
    // The page's controls and lighting editor show `shown` (the profile, or what the keyboard
    // holds after a refused write).
    void show_values(profile::CKeyboardProfiledata& shown);
    // The per-key colours of mode 20; a refused write is reported like a settings write.
    void write_custom_colours();
    // Shows the outcome of a change: a refused write shows what the keyboard holds.
    bool written(const ApplyResult& result);
    // The try-it field's hint in the current language.
    void show_try_hint();
    // LEDs showing key position `key`.
    std::vector<std::size_t> leds_of_key(int key) const;

    profile::CKeyboardProfiledata profile_;
    KeyboardCore core_{profile_};
    std::atomic<bool> awake_{true};
    std::vector<std::uint8_t> data_block_;
};

}  // namespace velqa::model
