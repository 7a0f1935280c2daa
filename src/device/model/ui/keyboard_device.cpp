#include "device/model/ui/keyboard_device.h"

#include <QAbstractButton>
#include <QLayout>
#include <QLineEdit>
#include <QMetaObject>
#include <memory>

#include "device/model/mouse_core.h"
#include "platform/debug_output.h"
#include "platform/json_read.h"
#include "platform/ui/controls.h"
#include "platform/ui/language.h"
#include "platform/ui/layout_builder.h"
#include "platform/ui/window.h"
#include "profile/profile_files.h"
#include "profile/ui/light_control.h"
#include "ui/mp_device_power.h"

namespace velqa::model {

namespace pui = platform::ui;

namespace {

QString numbered(const char* prefix, int n) {
    return QString::fromLatin1(prefix) + QString::number(n);
}

std::pair<QString, int> split_suffix(const QString& name) {
    const auto cut = name.lastIndexOf(QLatin1Char('_'));
    if (cut > 0) {
        bool ok = false;
        const int n = name.mid(cut + 1).toInt(&ok);
        if (ok && n >= 0)
            return {name.left(cut), n};
    }
    return {name, -1};
}

// Suppresses the notifications of the page's window while the page sets values itself.
class Quiet {
  public:
    explicit Quiet(QWidget* page) {
        if (pui::Window* w = pui::window_of(page))
            suppressor_ = std::make_unique<pui::Window::NotifySuppressor>(*w);
    }

  private:
    // Not an optional: GCC then takes the suppressor's window for uninitialised.
    std::unique_ptr<pui::Window::NotifySuppressor> suppressor_;
};

// The light editor's list: one entry per mode number; 0, 27 and 28 are no keyboard modes.
constexpr int KeyboardModeEntries = 31;
bool listed_mode(int mode) {
    return (mode >= KbStatic && mode <= KbOff) || mode == KbAudio || mode == KbStreamWave;
}

}  // namespace

CZentovaKeyboardDevice::CZentovaKeyboardDevice(std::shared_ptr<platform::hid::HidBackend> backend,
                                               QWidget* parent)
    : CZentovaUSBDevice(std::move(backend), parent) {
    setProperty(pui::kClassProperty, QString::fromLatin1(kClassName));
    set_key_count(0);
    set_light_count(LightCount);
    core_.set_led_count(LightCount);
    // The callbacks run on worker threads. The stream goes out from the light thread itself,
    // so a slow keyboard never holds up the window; painting is posted to the page's thread.
    light_ =
        std::make_unique<KeyboardLightThread>(channel_, [this](const LedFrame& frame, int mode) {
            core_.stream(channel_, frame, mode, awake_.load());
            if (frame_posted_.exchange(true))
                return;
            QMetaObject::invokeMethod(
                this,
                [this] {
                    frame_posted_ = false;
                    show_led_frame();
                },
                Qt::QueuedConnection);
        });
    MouseNotifications::Kinds kinds;
    kinds.wired_type = WiredKeyboardType;
    kinds.receiver_type = ReceiverKeyboardType;
    kinds.decode = decode_keyboard_notification;
    kinds.stop_text = "KB 设备同步线程设定退出";
    notifications_ = std::make_unique<MouseNotifications>(
        notify_channel_, channel_,
        [this](const NotificationEvent& event) {
            QMetaObject::invokeMethod(
                this, [this, event] { on_notification_event(event); }, Qt::QueuedConnection);
        },
        kinds);
}

CZentovaKeyboardDevice::~CZentovaKeyboardDevice() {
    stop_threads();
    stop_all_tile_timers();
}

void CZentovaKeyboardDevice::stop_threads() {
    light_->stop();
    notifications_->close_notification(WiredKeyboardType);
    notifications_->close_notification(ReceiverKeyboardType);
}

// ---- Profile ----

void CZentovaKeyboardDevice::set_profile_file(const std::filesystem::path& file) {
    attach_keyboard_profile(profile_, file, default_data_);
    core_.load_colours_from_profile();
    profile_loaded_ = true;
}

void CZentovaKeyboardDevice::apply_profile_file(const std::filesystem::path& file) {
    set_profile_file(file);
    load_profile_into_page();
    refresh_page();
    apply_lighting_from_profile();
    if (core_.has_record()) {
        write_settings(0, 0);
        if (profile_.light_info().mode == CustomColourMode)
            write_custom_colours();
    }
}

void CZentovaKeyboardDevice::ensure_profile() {
    if (!profile_loaded_)
        set_profile_file(user_data_folder() / (name_ + ".Json"));
}

int CZentovaKeyboardDevice::write_settings(int slot, std::uint8_t slot_byte) {
    const int result = core_.write_settings(channel_, slot, slot_byte);
    settings_written(result);
    return result;
}

void CZentovaKeyboardDevice::show_device_values(bool fresh_read) {
    // Earlier writes may have changed the keyboard since the last read; when the read fails
    // too, the last record read. The profile is left alone for a retry.
    if (fresh_read)
        core_.read_settings(channel_, Mirror::No);
    profile::CKeyboardProfiledata shown = profile_;
    mirror_keyboard_state(core_.state(), shown);
    show_values(shown);
    show_lighting(shown.light_info());
    showing_device_values_ = true;
}

void CZentovaKeyboardDevice::write_custom_colours() {
    // 0 is also the gate holding the colours back (hidden window, a pause): only a write that
    // was sent and refused counts.
    if (core_.write_custom_colours(channel_, awake_.load()) < 0)
        report_write_failure();
}

bool CZentovaKeyboardDevice::change_settings(
    const std::function<void(profile::KeyboardSystemSettings&)>& change) {
    profile::KeyboardSystemSettings sys = profile_.read_keyboard_settings();
    change(sys);
    profile_.write_keyboard_settings(sys);
    profile_.save();
    return write_settings(0, 0) == link::result::Success;
}

// ---- Page ----

void CZentovaKeyboardDevice::bind_page_controls() {
    if (page_ == nullptr) {
        const QString file =
            page_layout_.isEmpty() ? QString::fromLatin1(kPageLayout) : page_layout_;
        page_ = pui::Window::build_layout(file, this);
        if (page_ != nullptr) {
            layout()->addWidget(page_);
            pui::set_selected(find(QStringLiteral("kb_device_seting_option_0")), true, false);
            pui::select_page(find(QStringLiteral("kb_device_seting_layout")), 0);
            // The two setting tabs only switch the page's own panes: no device traffic.
            for (int n = 0; n < 2; ++n) {
                if (auto* tab = qobject_cast<QAbstractButton*>(
                        find(numbered("kb_device_seting_option_", n)))) {
                    connect(tab, &QAbstractButton::toggled, this, [this, n](bool on) {
                        if (on)
                            pui::select_page(find(QStringLiteral("kb_device_seting_layout")), n);
                    });
                }
            }
            show_try_hint();
        } else {
            platform::debug_printf("keyboard page: layout %s could not be built\n",
                                   file.toUtf8().constData());
        }
    }
    CZentovaUSBDevice::bind_page_controls();
}

void CZentovaKeyboardDevice::show_try_hint() {
    if (auto* edit = qobject_cast<QLineEdit*>(find(QStringLiteral("repeat_input_richedit"))))
        edit->setPlaceholderText(
            pui::LanguageTexts::instance().text(QStringLiteral("kb_repeat_try_text")));
}

void CZentovaKeyboardDevice::apply_lighting_from_profile() {
    show_lighting(profile_.light_info());
}

void CZentovaKeyboardDevice::show_lighting(const profile::LightInfo& info) {
    if (light_->frame().size() != frame_.size())
        light_->set_led_count(frame_.size());
    set_lighting_values({info.mode, info.brightness, info.speed}, info.direction);
    light_->set_custom_colours(core_.led_colours());
    light_->set_lighting(lighting_from_record(info));
}

void CZentovaKeyboardDevice::show_led_frame() {
    frame_ = light_->frame();
    CZentovaUSBDevice::show_led_frame();
}

void CZentovaKeyboardDevice::set_page_visible(bool on) {
    CZentovaUSBDevice::set_page_visible(on);
    awake_ = on;
    light_->set_hidden(!on);
}

void CZentovaKeyboardDevice::reload_all() {
    ensure_profile();
    const bool busy = link_busy(core_.load_from_device(channel_).result);
    load_profile_into_page();
    const KeyboardReadOutcome read = core_.read_settings(channel_);
    if (read.colours_read)
        profile_.save();
    refresh_page();
    apply_lighting_from_profile();
    light_->restart();
    after_reload(busy);
}

void CZentovaKeyboardDevice::reload_settings() {
    ensure_profile();
    if (showing_device_values_) {
        // The profile still holds values the keyboard refused: they stay there for a retry.
        show_device_values(true);
        return;
    }
    const KeyboardReadOutcome read = core_.read_settings(channel_);
    if (read.colours_read)
        profile_.save();
    refresh_page();
    if (read.mode_changed)
        apply_lighting_from_profile();
}

void CZentovaKeyboardDevice::restore_defaults() {
    ensure_profile();
    const Json::Value factory = profile::read_json(default_data_ / "keyboard.Json");
    const Json::Value& section =
        platform::element(platform::member(factory, "Device"), static_cast<Json::ArrayIndex>(0));
    if (!section.isObject()) {
        platform::debug_output("keyboard page: no factory settings to restore\n");
        return;
    }
    const std::filesystem::path file = profile_.profile_path();
    if (!profile_.store_section(section, file))
        return;
    set_profile_file(file);
    load_profile_into_page();
    refresh_page();
    apply_lighting_from_profile();
    write_settings(0, 0);
}

void CZentovaKeyboardDevice::reset_repeat() {
    if (!core_.has_record())
        return;
    const Json::Value factory = profile::read_json(default_data_ / "keyboard.Json");
    const profile::KeyboardSystemSettings defaults = profile::decode_keyboard_settings(
        platform::element(platform::member(factory, "Device"), 0));
    const bool written = change_settings([&](profile::KeyboardSystemSettings& s) {
        s.repeat = defaults.repeat;
        s.repeat_delay = defaults.repeat_delay;
    });
    // A refused write already shows what the keyboard holds.
    if (written)
        refresh_page();
}

void CZentovaKeyboardDevice::load_profile_into_page() {
    ensure_profile();
    profile_.read_keyboard_settings();
    profile_.read_light_info();
}

void CZentovaKeyboardDevice::refresh_page() {
    showing_device_values_ = false;
    show_values(profile_);
}

void CZentovaKeyboardDevice::show_values(profile::CKeyboardProfiledata& shown) {
    Quiet quiet(this);
    const profile::KeyboardSystemSettings& sys = shown.read_keyboard_settings();
    const int polling = sys.polling_rate < PollingOptions ? sys.polling_rate : 0;
    pui::set_selected(find(numbered("polling_rate_option_", polling)), true, false);
    pui::set_selected(find(QStringLiteral("winlockflag_option")), sys.win_flag != 0, false);
    pui::set_selected(find(QStringLiteral("wflag_option")), sys.w_flag != 0, false);
    pui::set_selected(find(QStringLiteral("6flag_option")), sys.six_key_flag != 0, false);
    pui::set_value(find(QStringLiteral("repeat_rate_slider")),
                   std::min<int>(sys.repeat, RepeatMax));
    const int delay = sys.repeat_delay < RepeatDelayOptions ? sys.repeat_delay : 0;
    pui::set_selected(find(numbered("repeat_delay_check_", delay)), true, false);
    fill_light_editor(shown);
    show_try_hint();
    emit refreshed();
}

profile::CLightControlUI* CZentovaKeyboardDevice::light_editor() const {
    return page_ != nullptr ? page_->findChild<profile::CLightControlUI*>() : nullptr;
}

void CZentovaKeyboardDevice::fill_light_editor(profile::CKeyboardProfiledata& shown) {
    profile::CLightControlUI* editor = light_editor();
    if (editor == nullptr)
        return;
    editor->set_light_type(WiredKeyboardType);
    editor->set_light_sync(light_sync());
    if (!light_modes_filled_) {
        std::vector<QString> names;
        std::vector<bool> visible;
        for (int mode = 0; mode < KeyboardModeEntries; ++mode) {
            names.push_back(QStringLiteral("kb_light_mode_%1_text").arg(mode));
            visible.push_back(listed_mode(mode));
        }
        editor->set_mode_list(names, visible, LightLevelMax, LightLevelMax);
        light_modes_filled_ = true;
    }
    editor->set_light_info(shown.light_info());
    editor->set_audio_light_info(shown.read_audio_light_info());
}

void CZentovaKeyboardDevice::change_lighting(const profile::LightInfo& info) {
    if (!core_.has_record()) {
        platform::debug_output("keyboard page: lighting change ignored until it is read\n");
        return;
    }
    set_lighting(profile_, info);
    if (info.mode == CustomColourMode) {
        // The custom group chosen: its colours from the profile, shown and sent.
        core_.load_colours_from_profile();
        write_custom_colours();
    }
    apply_lighting_from_profile();
    profile_.save();
    write_settings(0, 0);
}

void CZentovaKeyboardDevice::change_audio_lighting(const profile::AudioLightInfo& info) {
    ensure_profile();
    profile_.write_audio_light_info(info);
    profile_.save();
}

void CZentovaKeyboardDevice::poll_power_status() {
    PowerUpdate update;
    if (poll_power(channel_, power_capable_, power_suppress_, update) != link::result::Success)
        return;
    if (auto* power = power_control())
        power->show_status(update.block.bytes.data(), update.block.bytes.size());
    send_to_main(update.message, update.message_param);
}

// ---- Notification interfaces ----

bool CZentovaKeyboardDevice::open_notification(const std::string& path, int type) {
    return notifications_->open_notification(path, type);
}

void CZentovaKeyboardDevice::close_notification(int type) {
    notifications_->close_notification(type);
}

std::vector<std::size_t> CZentovaKeyboardDevice::leds_of_key(int key) const {
    std::vector<std::size_t> leds;
    const LedKeyMap& map = core_.led_map();
    for (std::size_t i = 0; i < map.size(); ++i) {
        if (map[i] == key)
            leds.push_back(i);
    }
    return leds;
}

void CZentovaKeyboardDevice::on_notification_event(const NotificationEvent& event) {
    switch (event.action.kind) {
        case NotificationAction::Kind::ReloadSettings:
            start_tile_timer(TimerSettings, SettingsReloadDelayMs);
            return;
        case NotificationAction::Kind::Reactive:
            light_->press(leds_of_key(event.action.key), event.action.reactive_kind);
            return;
        case NotificationAction::Kind::SetSlot:
            if (!core_.apply(event.action))
                return;
            if (showing_device_values_)
                show_device_values(false);
            else
                refresh_page();
            return;
        case NotificationAction::Kind::None:
            return;
    }
}

// ---- Page changes ----

void CZentovaKeyboardDevice::notify(pui::Notification& msg) {
    if (msg.sender == nullptr || !isAncestorOf(msg.sender))
        return;
    platform::debug_output("测试成功   、n");
    const QString name = msg.sender_name();
    const auto [prefix, n] = split_suffix(name);
    const bool selected = msg.type == "selectchanged" && msg.wparam != 0;
    if (name == QLatin1String("reset_repeat_btn") && msg.type == "click") {
        reset_repeat();
        return;
    }
    // Until the keyboard's values are shown the controls hold placeholders: nothing to keep.
    if (!core_.has_record()) {
        platform::debug_printf("keyboard page: %s ignored until the keyboard is read\n",
                               msg.type.c_str());
        return;
    }
    using Sys = profile::KeyboardSystemSettings;
    const auto u16 = [](int v) { return static_cast<std::uint16_t>(std::max(v, 0)); };
    if (selected && prefix == QLatin1String("polling_rate_option") && n < PollingOptions) {
        change_settings([&](Sys& s) { s.polling_rate = u16(n); });
    } else if (selected && prefix == QLatin1String("repeat_delay_check") &&
               n < RepeatDelayOptions) {
        change_settings([&](Sys& s) { s.repeat_delay = u16(n); });
    } else if (msg.type == "selectchanged" && name == QLatin1String("winlockflag_option")) {
        change_settings([&](Sys& s) { s.win_flag = msg.wparam != 0; });
    } else if (msg.type == "selectchanged" && name == QLatin1String("wflag_option")) {
        change_settings([&](Sys& s) { s.w_flag = msg.wparam != 0; });
    } else if (msg.type == "selectchanged" && name == QLatin1String("6flag_option")) {
        change_settings([&](Sys& s) { s.six_key_flag = msg.wparam != 0; });
    } else if (msg.type == "valuechanged" && name == QLatin1String("repeat_rate_slider")) {
        const int rate = std::clamp(static_cast<int>(msg.wparam), 0, RepeatMax);
        change_settings([&](Sys& s) { s.repeat = u16(rate); });
    }
}

}  // namespace velqa::model
