// The mouse's device page: builds the settings page ("mousedevice.xml"), shows what the mouse
// holds, turns every change the user makes into the profile and a settings write, listens on the
// notification interfaces for changes made on the mouse and animates the lighting preview.
// Device sequences run through MouseCore; the worker threads are MouseLightThread and
// MouseNotifications, whose callbacks only post to this page's thread.
#pragma once

#include <atomic>
#include <memory>

#include "device/model/light_thread.h"
#include "device/model/mouse_core.h"
#include "device/model/notification_worker.h"
#include "device/model/ui/usb_device.h"
#include "profile/profile_data.h"

namespace velqa::profile {
class CLightControlUI;
}
namespace velqa::macro {
class CMacroControlUI;
class CKeySetControlUI;
class CShootControlUI;
}  // namespace velqa::macro

namespace velqa::model {

class CZentovaMouseDevice : public CZentovaUSBDevice {
    Q_OBJECT

  public:
    static constexpr const char* kClassName = "CZentovaMouseDevice";
    static constexpr int KeyCount = 6;
    static constexpr int LightCount = 7;
    static constexpr int StageCount = 6;

    explicit CZentovaMouseDevice(std::shared_ptr<platform::hid::HidBackend> backend = nullptr,
                                 QWidget* parent = nullptr);
    // Stops the light thread and both notification workers before anything they use is freed.
    ~CZentovaMouseDevice() override;

    // The profile file the page reads and saves (the current profile of the profile list);
    // default: <user data>/<device name>/<device name>.Json. Loads its section.
    void set_profile_file(const std::filesystem::path& file);
    // The profile the user chose becomes the page's: shown, and written to the mouse (once the
    // mouse has been read; the record is built on the one read).
    void apply_profile_file(const std::filesystem::path& file);
    std::filesystem::path profile_path() const override { return profile_.profile_path(); }
    void save_profile() override { profile_.save(); }
    // The product ID the receiver interface reports (0: unknown), which decides the polling
    // field an option button sets.
    void set_receiver_product_id(std::uint16_t pid) { receiver_pid_ = pid; }

    // The layout the page is built from (default "mousedevice.xml"); before bind_page_controls.
    void set_page_layout(const QString& layout) { page_layout_ = layout; }
    // Builds the page from its layout and binds the key buttons and light indicators.
    void bind_page_controls() override;
    void apply_lighting_from_profile() override;
    // Paints the light thread's newest frame on the light indicators.
    void show_led_frame() override;
    // Load from the device, the profile into the page, the settings, refresh, preview restart.
    void reload_all() override;
    void reload_settings() override;
    void poll_power_status() override;
    void load_profile_into_page() override;
    // The factory section of DefaultData/mouse.Json replaces the profile's; the mouse and the
    // page follow.
    void restore_defaults() override;
    bool device_loaded() const override { return core_.has_record(); }
    void refresh_page() override;
    int write_settings(int slot, std::uint8_t slot_byte) override;
    void show_device_values(bool fresh_read) override;
    void switch_function_page(int page_type) override;
    void select_key(int index) override;
    // The preview stops computing frames while nobody can see it.
    void set_page_visible(bool on) override;

    // Stage `index` (0-5) becomes the active stage of the sensor's stage set and is shown so.
    void select_dpi_stage(int index);

    // The lighting the user chose in the editor: the preview shows it at once, the profile
    // stores and saves it and the settings record is written, as for every page change.
    // Ignored (with a debug line) until the mouse has been read.
    void change_lighting(const profile::LightInfo& info);
    // The music-reactive record: stored in the profile and saved (the mouse's record has no
    // byte for it).
    void change_audio_lighting(const profile::AudioLightInfo& info);
    // The page's lighting editor, or nullptr when its layout has none. The page fills it from
    // the profile whenever it shows new values.
    profile::CLightControlUI* light_editor() const;

    // The Macros and Buttons tabs' editors, or nullptr when the layout has none.
    macro::CMacroControlUI* macro_editor() const;
    macro::CKeySetControlUI* keyset_editor() const;
    macro::CShootControlUI* shoot_editor() const;
    // The four shooting patterns to the mouse; a failure is reported to the user.
    bool write_shooting_patterns();
    // The selected profile's buttons to the mouse: the macros they use, then the key table, as
    // "write to mouse" does. A profile apply writes the key table even after the macros failed.
    // Reports refusals and failures to the user; true when everything was written.
    enum class ButtonsFor { WriteButton, ProfileApply };
    bool write_buttons(ButtonsFor why);
    // The assignment the key editor saved becomes the selected key's, in the profile.
    void store_key(const profile::KeyCode& code);
    // Each key button's tooltip names what the button does.
    void refresh_key_labels();
    // The macros of the key editor's macro choice follow the macro list.
    void refresh_macro_choice();

    // Control notifications from the main window's dispatch, routed by name and type.
    void notify(platform::ui::Notification& msg) override;

    // ---- Notification interfaces (paths of the consumer collection) ----
    bool open_notification(const std::string& path, int type) override;
    bool reopen_notification(const std::string& path, int type);
    void close_notification(int type) override;

    // Stops the light thread and both notification workers (the device manager's removal).
    void stop_threads() override;

    MouseCore& core() { return core_; }
    profile::CMouseProfiledata& profile() { return profile_; }
    MouseLightThread& light_thread() { return *light_; }
    MouseNotifications& notifications() { return *notifications_; }

  signals:
    // The page shows new values (after a refresh), for observers such as tests.
    void refreshed();
    // The macro editor starts or ends a recording (hook mode of the capture).
    void recording_started(int hook_mode);
    void recording_stopped();
    // The buttons were written (true) or the write was refused or failed (false).
    void buttons_written(bool ok);
    void shooting_written(bool ok);

  private:
    void ensure_profile();
    void on_change(const QString& name, platform::ui::Notification& msg);
    void on_notification_event(const NotificationEvent& event);
    void commit_dpi_edit(int stage);
    void pick_stage_colour(int stage);
    // Stores the profile and writes the settings with slot 0, as every page change does.
    void store_and_write();
    std::vector<profile::DpiStage> stage_list() const;
    void store_stages(const std::vector<profile::DpiStage>& list);
    void set_system(const std::function<void(profile::MouseSystemSettings&)>& change);
    void fill_light_editor(profile::CMouseProfiledata& shown);
    // The page's controls and lighting preview show `shown` (the profile, or what the mouse
    // holds after a refused write).
    void show_values(profile::CMouseProfiledata& shown);
    void show_lighting(const profile::LightInfo& info);
    void bind_button_editors();
    void show_selected_key();
    bool fix_macro_profiles(int deleted);
    void report(const char* text_id, int number = -1);

    profile::CMouseProfiledata profile_;
    MouseCore core_{profile_};
    QWidget* page_ = nullptr;
    QString page_layout_;
    bool profile_loaded_ = false;
    bool light_modes_filled_ = false;
    std::uint16_t receiver_pid_ = 0;
    std::atomic<bool> frame_posted_{false};
    // Last: their threads are stopped (in the destructor body) before the rest is freed.
    std::unique_ptr<MouseLightThread> light_;
    std::unique_ptr<MouseNotifications> notifications_;
};

}  // namespace velqa::model
