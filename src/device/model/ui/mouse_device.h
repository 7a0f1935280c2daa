// The mouse's device page: builds the settings page ("mousedevice.xml"), shows what the mouse
// holds, turns every change the user makes into the profile and a settings write, listens on the
// notification interfaces for changes made on the mouse and animates the lighting preview.
// Device sequences run through MouseCore; the worker threads are MouseLightThread and
// MouseNotifications, whose callbacks only post to this page's thread.
#pragma once

#include <memory>

#include "device/model/light_thread.h"
#include "device/model/mouse_core.h"
#include "device/model/notification_worker.h"
#include "device/model/ui/usb_device.h"
#include "platform/desktop/pointer_settings.h"
#include "profile/profile_data.h"

namespace velqa::profile {
class CLightControlUI;
}
namespace velqa::ui {
class ButtonMap;
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

    // The System tab's rows of desktop pointer settings: the control, its row with the label
    // (empty: the control is the row's only setting control), and the row's "Use desktop
    // setting" box.
    struct PointerRow {
        platform::desktop::PointerSetting which;
        const char* control;
        const char* row;
        const char* desktop_check;
        bool slider;
    };
    static constexpr PointerRow PointerRows[] = {
        {platform::desktop::PointerSetting::Speed, "pointer_speed_slider", "pointer_speed_row",
         "pointer_speed_desktop_check", true},
        {platform::desktop::PointerSetting::WheelLines, "scroll_speed_slider", "scroll_speed_row",
         "scroll_speed_desktop_check", true},
        {platform::desktop::PointerSetting::DoubleClick, "double_click_slider", "double_click_row",
         "double_click_desktop_check", true},
        {platform::desktop::PointerSetting::Precision, "pointer_precision_check",
         "pointer_precision_row", "pointer_precision_desktop_check", false},
        {platform::desktop::PointerSetting::ScrollPage, "scrolls_page_check", "scrolls_page_row",
         "scrolls_page_desktop_check", false},
    };

    explicit CZentovaMouseDevice(std::shared_ptr<platform::hid::HidBackend> backend = nullptr,
                                 QWidget* parent = nullptr);
    // Stops the light thread and both notification workers before anything they use is freed.
    ~CZentovaMouseDevice() override;

    // The product ID the receiver interface reports (0: unknown), which decides the polling
    // field an option button sets.
    void set_receiver_product_id(std::uint16_t pid) { receiver_pid_ = pid; }
    // The sensors of the mouse's device file (see MouseCore::set_sensors).
    void set_sensors(profile::SensorTable sensors) { core_.set_sensors(std::move(sensors)); }

    void load_profile_into_page() override;
    bool device_loaded() const override { return core_.has_record(); }
    void refresh_page() override;
    void switch_function_page(int page_type) override;
    void select_key(int index) override;

    // The Buttons tab shows editor `index` (0: assignment, 1: shooting patterns).
    void show_key_page(int index);

    // Stage `index` (0-5) becomes the active stage of the sensor's stage set and is shown so.
    void select_dpi_stage(int index);

    // The lighting the user chose in the editor: the preview shows it at once, the profile
    // stores and saves it and the settings record is written, as for every page change.
    // Ignored (with a debug line) until the mouse has been read.
    void change_lighting(const profile::LightInfo& info);
    void change_audio_lighting(const profile::AudioLightInfo& info) override;
    // The lighting editor's custom effect `entry` ("tavix_light.config"): its first step becomes
    // the lighting, as for change_lighting. An effect whose file is missing, damaged or refused
    // changes nothing.
    void apply_custom_effect(int entry);

    // The Macros and Buttons tabs' editors, or nullptr when the layout has none. Each is built
    // when its tab is first shown; asking for one builds it.
    macro::CMacroControlUI* macro_editor() const;
    macro::CKeySetControlUI* keyset_editor() const;
    macro::CShootControlUI* shoot_editor() const;
    // What the macro editor says about recording outside this window (empty: nothing); kept
    // for an editor built later.
    void set_capture_note(const QString& note);
    // The four shooting patterns to the mouse; a failure is reported to the user.
    bool write_shooting_patterns();
    // The selected profile's buttons to the mouse: the macros they use, then the key table, as
    // "write to mouse" does. A profile apply writes the key table even after the macros failed.
    // Reports refusals and failures to the user; true when everything was written.
    enum class ButtonsFor { WriteButton, ProfileApply };
    bool write_buttons(ButtonsFor why);
    // The assignment the key editor saved becomes the selected key's, in the profile.
    void store_key(const profile::KeyCode& code);
    // Each key button's tooltip and its label on the Buttons tab's map name what it does.
    void refresh_key_labels();
    // The Buttons tab's map of the mouse, or nullptr when the layout has none.
    ui::ButtonMap* button_map() const;
    // Also gives the key labels and the key editor's lists the new language's texts.
    void set_language(int index) override;
    // The macros of the key editor's macro choice follow the macro list.
    void refresh_macro_choice();

    // Control notifications from the main window's dispatch, routed by name and type.
    void notify(platform::ui::Notification& msg) override;

    MouseCore& core() { return core_; }
    profile::CMouseProfiledata& profile() { return profile_; }
    MouseLightThread& light_thread() { return static_cast<MouseLightThread&>(*light_); }

  signals:
    // The macro editor starts or ends a recording (hook mode of the capture).
    void recording_started(int hook_mode);
    void recording_stopped();
    // The buttons were written (true) or the write was refused or failed (false).
    void buttons_written(bool ok);
    void shooting_written(bool ok);
    // The user changed one of the desktop's pointer settings on the System tab, or gave it back
    // to the desktop ("Use desktop setting"); the profile holds the change. `setting` is a
    // platform::desktop::PointerSetting.
    void pointer_setting_changed(int setting);
    // The System tab shows a profile: its set pointer settings, and the boxes of the others
    // ticked (their controls still show the profile's unused values).
    void pointer_rows_loaded();

  private:
    QString default_page_layout() const override;
    platform::ui::LayoutBuilder::Callback layout_callback() override;
    void page_built() override;
    std::string factory_profile_file() const override { return "mouse.Json"; }
    void attach_profile(const std::filesystem::path& file) override;
    int load_from_device() override;
    bool read_device_settings(Mirror mirror) override;
    int write_device_settings() override;
    void show_device_state() override;
    void write_profile_extras() override { write_buttons(ButtonsFor::ProfileApply); }
    void show_reactive(const NotificationEvent& event) override;
    bool apply_slot_change(const NotificationAction& action) override;
    // The mouse's table on either link.
    int light_editor_type() const override { return WiredMouseType; }
    void light_mode_list(std::vector<QString>& names, std::vector<bool>& visible) override;

    void on_change(const QString& name, platform::ui::Notification& msg);
    void commit_dpi_edit(int stage);
    void pick_stage_colour(int stage);
    // Every settings change of the page: through the core's one way in; a record write's
    // result is shown (a refused one shows what the mouse holds).
    ApplyResult change(const MouseChange& what, const std::function<void()>& stored = {});
    // The user's value of a pointer setting: stored in the profile as set, and told.
    void set_pointer_value(const PointerRow& row, int value);
    // The row's "Use desktop setting" box was ticked (on) or unticked.
    void use_desktop_pointer(const PointerRow& row, bool on);
    // The page's controls and lighting editor show `shown` (the profile, or what the mouse
    // holds after a refused write).
    void show_values(profile::CMouseProfiledata& shown);
    void bind_button_editors();
    // Connects an editor to the page once it is built.
    void bind_editor(QWidget* editor);
    // An editor that has been built, or nullptr.
    template <class T>
    T* built_editor() const;
    void show_selected_key();
    void show_button_labels_where_they_fit();
    void show_selected_on_picture();
    bool fix_macro_profiles(int deleted);
    void report(const char* text_id, int number = -1);

    profile::CMouseProfiledata profile_;
    MouseCore core_{profile_};
    std::uint16_t receiver_pid_ = 0;
    QString capture_note_;
};

}  // namespace velqa::model
