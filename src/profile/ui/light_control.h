// The lighting editor of a device page: shows a profile's lighting record in its controls, lets
// the user change it, and enables, disables, shows or hides the controls by device type and light
// mode so that only what a mode uses can be edited. The main window routes the notifications of
// its controls to on_notify; every change the user makes is emitted as light_changed (or
// audio_light_changed), and the page stores it, saves it and writes it to the device.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "platform/ui/window.h"
#include "profile/light_layout.h"
#include "profile/profile_records.h"
#include "profile/settings_limits.h"

namespace velqa::profile {

class CLightControlUI : public QWidget {
    Q_OBJECT

  public:
    static constexpr const char* kLayout = "XML\\CustomControlXML\\LightControl.xml";
    static constexpr const char* kClassName = "LightControl";
    static constexpr int PresetCount = 8;
    // The audio modes offered in "light_combo_audiomodeSelect"; mode 3 takes no colour.
    static constexpr int AudioModeCount = AudioModeRange.max + 1;

    explicit CLightControlUI(QWidget* parent = nullptr);

    // The device type of the page (selects the layout table).
    void set_light_type(int type) { light_type_ = type; }
    int light_type() const { return light_type_; }
    // While clear, the same-mode box stays hidden in every mode.
    void set_light_sync(bool on);
    bool light_sync() const { return light_sync_; }

    // Fills "light_combo_modeSelect" with one item per name (a language text id, also its user
    // data), hidden where `visible` is false or missing, and sets the slider maxima.
    void set_mode_list(const std::vector<QString>& names, const std::vector<bool>& visible,
                       int brightness_max, int speed_max);
    // Fills "light_combo_custommodeSelect" with the custom effects' names (shown as given) and,
    // except on the keyboard whose modes decide it, shows "lightcustom_layout" while there is one.
    void set_custom_list(const std::vector<QString>& names);
    // Shows a lighting record and updates the layout for its mode. Sends no notification.
    void set_light_info(const LightInfo& record);
    // The record the controls show; the fields no control holds are those last set.
    LightInfo light_info() const;
    // Selects a mode without notification and updates the layout.
    void select_mode(int mode);
    // The mode combo's selection event: stores the mode and updates the layout for the combo's
    // current selection.
    void mode_changed(int mode);
    void update_layout(int light_type, int mode);
    void apply_layout(const LightLayoutState& state);

    // Getters with the neutral value of a missing control.
    int current_mode() const;               // -1 without combo
    int brightness() const;                 // 0 without slider
    int speed() const;                      // 0 without slider
    QString edit_text(char channel) const;  // 'R', 'G' or 'B'; empty without edit
    std::uint32_t palette_colour() const;   // 0xFF000000 without palette
    int zzcc_selection() const;
    int custom_selection() const;
    bool multi_colour_checked() const;
    bool direction_left_checked() const;             // "deng_FXL_check"
    std::uint32_t preset_colour(int i) const;        // 0 when missing
    std::uint32_t preset_audio_colour(int i) const;  // 0 when missing

    // The audio record. A layout that lacks an audio control leaves everything as it was and
    // gives false (nullopt), with a debug line; the editor never lets that failure escape.
    bool set_audio_light_info(const AudioLightInfo& record);
    // `take_colour`: the colour shown in "deng_audiocolordp_btn" goes into the record.
    std::optional<AudioLightInfo> get_audio_light_info(bool take_colour);
    const AudioLightInfo& audio_light_info() const { return audio_; }

    // Music lighting cannot run: `text` (shown beside the audio mode; empty: it can) and the
    // companion's own words as its tooltip.
    void set_audio_unavailable(const QString& text, const QString& detail);

    // A notification of one of the editor's controls (routed by the main window). Others are
    // ignored.
    void on_notify(platform::ui::Notification& msg);

    // The editor's control of a name (found on first use and remembered), or nullptr.
    QWidget* control(const QString& name) const;

  signals:
    void light_changed(const profile::LightInfo& info);
    void audio_light_changed(const profile::AudioLightInfo& info);
    void same_mode_changed(bool on);
    // The user chose custom effect `entry` in "light_combo_custommodeSelect".
    void custom_effect_selected(int entry);

  private:
    QWidget* control(const char* name) const { return control(QString::fromLatin1(name)); }
    void show_colour(std::uint32_t rgb);
    void show_audio_colour(std::uint32_t rgb);
    void take_colour(std::uint32_t rgb);
    void take_audio_colour(std::uint32_t rgb);
    std::uint32_t colour_from_edits(const char* prefix, std::uint32_t fallback) const;
    void apply_audio(const AudioLightInfo& record);
    AudioLightInfo read_audio(bool take_colour);
    QWidget* audio_control(const char* name, const char* what) const;
    // Throws the layout error `what` unless every audio control is there.
    void require_audio_controls(const char* what) const;
    void user_changed();
    void audio_changed();

    int light_type_ = 0;
    bool light_sync_ = false;
    bool same_mode_wanted_ = false;
    LightInfo record_;
    std::uint32_t colour_ = 0;  // 0xRRGGBB
    AudioLightInfo audio_;
    platform::ui::ControlCache controls_;
};

// Registers CLightControlUI with the control factory (replacing its placeholder).
void register_light_controls();

}  // namespace velqa::profile
