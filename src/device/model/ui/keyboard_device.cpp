#include "device/model/ui/keyboard_device.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <memory>

#include "platform/debug_output.h"
#include "platform/json_read.h"
#include "platform/ui/controls.h"
#include "platform/ui/language.h"
#include "platform/ui/layout_builder.h"
#include "platform/ui/window.h"
#include "profile/profile_files.h"

namespace velqa::model {

namespace pui = platform::ui;

namespace {

using pui::numbered;
using pui::Quiet;

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
    set_page_parts(profile_,
                   std::make_unique<KeyboardLightThread>(channel_,
                                                         [this](const LedFrame& frame, int mode) {
                                                             core_.stream(channel_, frame, mode,
                                                                          awake_.load());
                                                             post_frame();
                                                         }),
                   "keyboard page");
    MouseNotifications::Kinds kinds;
    kinds.wired_type = WiredKeyboardType;
    kinds.receiver_type = ReceiverKeyboardType;
    kinds.decode = decode_keyboard_notification;
    kinds.stop_text = "KB 设备同步线程设定退出";
    make_notifications(std::move(kinds));
}

CZentovaKeyboardDevice::~CZentovaKeyboardDevice() {
    stop_threads();
}

// ---- Profile ----

void CZentovaKeyboardDevice::attach_profile(const std::filesystem::path& file) {
    attach_keyboard_profile(profile_, file, default_data_);
    core_.load_colours_from_profile();
}

void CZentovaKeyboardDevice::write_profile_extras() {
    if (profile_.light_info().mode == CustomColourMode)
        write_custom_colours();
}

bool CZentovaKeyboardDevice::read_device_settings(Mirror mirror) {
    // The core saves what it mirrors, the colours read with the rest.
    return core_.read_settings(channel_, mirror).mode_changed;
}

void CZentovaKeyboardDevice::show_device_state() {
    profile::CKeyboardProfiledata shown = profile_;
    mirror_keyboard_state(core_.state(), shown);
    show_values(shown);
    show_lighting(shown.light_info());
}

void CZentovaKeyboardDevice::write_custom_colours() {
    // 0 is also the gate holding the colours back (hidden window, a pause): only a write that
    // was sent and refused counts.
    if (core_.write_custom_colours(channel_, awake_.load()) < 0)
        report_write_failure();
}

bool CZentovaKeyboardDevice::written(const ApplyResult& result) {
    if (result.colours_code < 0)
        report_write_failure();
    return report_applied(result);
}

void CZentovaKeyboardDevice::change_audio_lighting(const profile::AudioLightInfo& info) {
    ensure_profile();
    written(core_.apply(channel_, keyboard::AudioLighting{info}));
}

bool CZentovaKeyboardDevice::change_settings(
    const std::function<void(profile::KeyboardSystemSettings&)>& change) {
    profile::KeyboardSystemSettings sys = profile_.read_keyboard_settings();
    change(sys);
    return written(core_.apply(channel_, keyboard::System{sys}));
}

// ---- Page ----

void CZentovaKeyboardDevice::page_built() {
    pui::set_selected(find(QStringLiteral("kb_device_seting_option_0")), true, false);
    pui::select_page(find(QStringLiteral("kb_device_seting_layout")), 0);
    // The two setting tabs only switch the page's own panes: no device traffic.
    for (int n = 0; n < 2; ++n) {
        if (auto* tab =
                qobject_cast<QAbstractButton*>(find(numbered("kb_device_seting_option_", n)))) {
            connect(tab, &QAbstractButton::toggled, this, [this, n](bool on) {
                if (on)
                    pui::select_page(find(QStringLiteral("kb_device_seting_layout")), n);
            });
        }
    }
    show_try_hint();
}

void CZentovaKeyboardDevice::show_try_hint() {
    if (auto* edit = qobject_cast<QLineEdit*>(find(QStringLiteral("repeat_input_richedit"))))
        edit->setPlaceholderText(
            pui::LanguageTexts::instance().text(QStringLiteral("kb_repeat_try_text")));
}

void CZentovaKeyboardDevice::show_lighting(const profile::LightInfo& info) {
    light_thread().set_custom_colours(core_.led_colours());
    CZentovaUSBDevice::show_lighting(info);
}

void CZentovaKeyboardDevice::set_page_visible(bool on) {
    // Before the light thread wakes: its first frame is streamed only when awake.
    awake_ = on;
    CZentovaUSBDevice::set_page_visible(on);
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

void CZentovaKeyboardDevice::light_mode_list(std::vector<QString>& names,
                                             std::vector<bool>& visible) {
    for (int mode = 0; mode < KeyboardModeEntries; ++mode) {
        names.push_back(QStringLiteral("kb_light_mode_%1_text").arg(mode));
        visible.push_back(listed_mode(mode));
    }
}

void CZentovaKeyboardDevice::change_lighting(const profile::LightInfo& info) {
    if (!core_.has_record()) {
        platform::debug_output("keyboard page: lighting change ignored until it is read\n");
        return;
    }
    written(core_.apply(channel_, keyboard::Lighting{info, awake_.load()},
                        [this] { apply_lighting_from_profile(); }));
}

void CZentovaKeyboardDevice::take_data_block(std::span<const std::uint8_t> block) {
    data_block_.assign(block.begin(), block.end());
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

void CZentovaKeyboardDevice::show_reactive(const NotificationEvent& event) {
    light_thread().press(leds_of_key(event.action.key), event.action.reactive_kind);
}

// ---- Page changes ----

void CZentovaKeyboardDevice::notify(pui::Notification& msg) {
    if (!own_notification(msg))
        return;
    const QString name = msg.sender_name();
    const auto [prefix, n] = indexed_name(name);
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
    if (selected && prefix == "polling_rate_option_" && n < PollingOptions) {
        change_settings([&, option = n](Sys& s) { s.polling_rate = u16(option); });
    } else if (selected && prefix == "repeat_delay_check_" && n < RepeatDelayOptions) {
        change_settings([&, option = n](Sys& s) { s.repeat_delay = u16(option); });
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
