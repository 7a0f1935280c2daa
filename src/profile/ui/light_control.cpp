#include "profile/ui/light_control.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QListView>
#include <QScrollArea>
#include <QVBoxLayout>
#include <algorithm>
#include <stdexcept>

#include "platform/debug_output.h"
#include "platform/number_text.h"
#include "platform/ui/color_palette.h"
#include "platform/ui/control_factory.h"
#include "platform/ui/controls.h"
#include "platform/ui/language.h"
#include "platform/ui/layout_builder.h"

namespace velqa::profile {

namespace pui = platform::ui;

namespace {

// A layout that lacks an audio control; caught inside the editor.
class LightControlError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

constexpr char kSetAudioError[] = " SetAudioLightInfo control is NULL";
constexpr char kGetAudioError[] = "GetAudioLightInfo control is NULL";

// Presets a layout does not colour itself: the colours players pick most.
constexpr std::uint32_t kPresets[CLightControlUI::PresetCount] = {
    0xFF0000, 0xFF7A00, 0xFFE600, 0x00FF40, 0x00E5FF, 0x0040FF, 0x9B30FF, 0xFFFFFF};

constexpr std::uint32_t kOpaque = 0xFF000000u;

std::uint32_t rgb_of(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return std::uint32_t(r) << 16 | std::uint32_t(g) << 8 | b;
}

// An edit's decimal channel value: 0-255, larger numbers capped; nullopt for text that is no
// number (the caller keeps the colour it had).
std::optional<int> channel_value(const QString& text) {
    const auto n = platform::parse_number(text.trimmed().toStdString(), 0, 999);
    if (!n)
        return std::nullopt;
    return static_cast<int>(std::min<std::int64_t>(*n, 255));
}

using pui::numbered;

}  // namespace

CLightControlUI::CLightControlUI(QWidget* parent) : QWidget(parent) {
    setProperty(pui::kClassProperty, QString::fromLatin1(kClassName));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    // The editor scrolls inside its page rather than growing the window.
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("LightControl_scroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    layout->addWidget(scroll);
    if (QWidget* root = pui::Window::build_layout(QString::fromLatin1(kLayout), scroll))
        scroll->setWidget(root);
    else
        platform::debug_output("lighting editor: its layout could not be built\n");

    for (int i = 0; i < PresetCount; ++i) {
        for (const char* prefix : {"color_option_", "audiocolor_option_"}) {
            QWidget* preset = control(numbered(prefix, i));
            if (preset != nullptr && pui::bk_color(preset) == 0)
                pui::set_bk_color(preset, kOpaque | kPresets[i]);
        }
    }
    for (const char* name : {"deng_edit_R", "deng_edit_G", "deng_edit_B", "deng_audioedit_R",
                             "deng_audioedit_G", "deng_audioedit_B"}) {
        pui::set_number_only(control(name), true);
        pui::set_max_length(control(name), 3);
    }
    for (const char* name : {"R_light_slider", "G_light_slider", "B_light_slider"})
        pui::set_range(control(name), 0, 255);
    if (QWidget* audio = control("light_combo_audiomodeSelect")) {
        auto& texts = pui::LanguageTexts::instance();
        for (int i = 0; i < AudioModeCount; ++i) {
            const QString id = QStringLiteral("light_audio_mode_%1_text").arg(i);
            pui::add_combo_item(audio, texts.text(id), {}, id, 30);
        }
    }
    // The colour shown is not a button to press.
    for (const char* name : {"deng_colordp_btn", "deng_audiocolordp_btn"}) {
        if (QWidget* shown = control(name))
            shown->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    // A fresh editor shows the mouse's defaults until a page fills it.
    show_colour(0);
}

QWidget* CLightControlUI::control(const QString& name) const {
    return controls_.find(const_cast<CLightControlUI*>(this), name);
}

void CLightControlUI::set_light_sync(bool on) {
    light_sync_ = on;
    if (QWidget* box = control("deng_same_mode"))
        box->setVisible(same_mode_wanted_ && light_sync_);
}

void CLightControlUI::set_mode_list(const std::vector<QString>& names,
                                    const std::vector<bool>& visible, int brightness_max,
                                    int speed_max) {
    if (QWidget* combo = control("light_combo_modeSelect")) {
        pui::remove_all_items(combo);
        auto& texts = pui::LanguageTexts::instance();
        auto* view = qobject_cast<QListView*>(qobject_cast<QComboBox*>(combo) != nullptr
                                                  ? qobject_cast<QComboBox*>(combo)->view()
                                                  : nullptr);
        for (std::size_t i = 0; i < names.size(); ++i) {
            const int at = pui::add_combo_item(combo, texts.text(names[i]), {}, names[i], 30);
            const bool shown = i < visible.size() && visible[i];
            if (view != nullptr && at >= 0)
                view->setRowHidden(at, !shown);
        }
    }
    pui::set_range(control("deng_light_slider"), 0, brightness_max);
    pui::set_range(control("deng_speed_slider"), 0, speed_max);
}

void CLightControlUI::select_mode(int mode) {
    pui::select_item(control("light_combo_modeSelect"), mode, false);
    update_layout(light_type_, mode);
}

void CLightControlUI::mode_changed(int mode) {
    record_.mode = static_cast<std::uint8_t>(mode);
    const int shown = current_mode();
    update_layout(light_type_, shown >= 0 ? shown : mode);
}

void CLightControlUI::set_light_info(const LightInfo& record) {
    record_ = record;
    select_mode(record.mode);
    pui::set_value(control("deng_light_slider"), record.brightness);
    pui::set_value(control("deng_speed_slider"), record.speed);
    show_colour(rgb_of(record.red, record.green, record.blue));
    pui::set_selected(control("deng_7color_check"), record.multi_colour != 0, false);
    pui::select_item(control("light_combo_ZZCCmodeSelect"), record.second_mode, false);
    pui::set_selected(control("deng_FXL_check"), record.direction != 0, false);
    pui::set_selected(control("deng_FXR_check"), record.direction == 0, false);
    update_layout(light_type_, record.mode);
}

LightInfo CLightControlUI::light_info() const {
    LightInfo r = record_;
    if (const int mode = current_mode(); mode >= 0)
        r.mode = static_cast<std::uint8_t>(mode);
    if (QWidget* slider = control("deng_light_slider"))
        r.brightness = static_cast<std::uint8_t>(std::clamp(pui::value(slider), 0, 255));
    if (QWidget* slider = control("deng_speed_slider"))
        r.speed = static_cast<std::uint8_t>(std::clamp(pui::value(slider), 0, 255));
    if (QWidget* multi = control("deng_7color_check"))
        r.multi_colour = pui::is_selected(multi) ? 1 : 0;
    // A non-zero direction other than 1 stays as the device gave it while FXL is selected.
    if (pui::is_selected(control("deng_FXL_check")))
        r.direction = r.direction != 0 ? r.direction : 1;
    else if (pui::is_selected(control("deng_FXR_check")))
        r.direction = 0;
    r.red = static_cast<std::uint8_t>(colour_ >> 16);
    r.green = static_cast<std::uint8_t>(colour_ >> 8);
    r.blue = static_cast<std::uint8_t>(colour_);
    if (const int zzcc = zzcc_selection(); zzcc >= 0)
        r.second_mode = static_cast<std::uint8_t>(zzcc);
    return r;
}

void CLightControlUI::update_layout(int light_type, int mode) {
    apply_layout(light_layout_for(light_type, mode));
}

void CLightControlUI::apply_layout(const LightLayoutState& s) {
    auto enable = [this](const char* name, const std::optional<bool>& on) {
        if (on)
            if (QWidget* w = control(name))
                w->setEnabled(*on);
    };
    auto show = [this](const char* name, const std::optional<bool>& on) {
        if (on)
            if (QWidget* w = control(name))
                w->setVisible(*on);
    };
    enable("lighteffect_layout", s.effect);
    enable("deng_7color_check", s.multi_colour);
    enable("deng_color_layout", s.colour);
    enable("colorpallet_layout", s.palette);
    enable("deng_light_layout", s.brightness);
    enable("deng_speed_layout", s.speed);
    enable("deng_fx_layout", s.direction);
    enable("light_color_layout", s.light_colour);
    show("deng_speed_layout", s.speed_shown);
    show("lightcustom_layout", s.custom_shown);
    show("light_combo_ZZCCmodeSelectLayout", s.zzcc_shown);
    show("light_combo_AudiomodeSelectLayout", s.audio_mode_shown);
    if (s.same_mode_shown) {
        same_mode_wanted_ = *s.same_mode_shown;
        show("deng_same_mode", same_mode_wanted_ && light_sync_);
    }
    if (s.colour_tab)
        pui::select_page(control("light_color_tablayout"), *s.colour_tab);
    if (s.direction_labels) {
        pui::set_text_id(control("deng_FXL_check"), QString::fromLatin1(s.direction_labels->first));
        pui::set_text_id(control("deng_FXR_check"),
                         QString::fromLatin1(s.direction_labels->second));
    }
}

// ---- Getters ----

int CLightControlUI::current_mode() const {
    QWidget* combo = control("light_combo_modeSelect");
    return combo == nullptr ? -1 : pui::current_item(combo);
}

int CLightControlUI::brightness() const {
    return pui::value(control("deng_light_slider"));
}

int CLightControlUI::speed() const {
    return pui::value(control("deng_speed_slider"));
}

QString CLightControlUI::edit_text(char channel) const {
    return pui::text(control(QStringLiteral("deng_edit_") + QLatin1Char(channel)));
}

std::uint32_t CLightControlUI::palette_colour() const {
    auto* palette = qobject_cast<pui::ColorPalette*>(control("deng_Color_Pallet"));
    return palette == nullptr ? kOpaque : kOpaque | (palette->select_color().rgb() & 0xFFFFFFu);
}

int CLightControlUI::zzcc_selection() const {
    QWidget* combo = control("light_combo_ZZCCmodeSelect");
    return combo == nullptr ? -1 : pui::current_item(combo);
}

void CLightControlUI::set_custom_list(const std::vector<QString>& names) {
    QWidget* combo = control("light_combo_custommodeSelect");
    if (combo == nullptr)
        return;
    std::vector<QString> shown;
    for (int i = 0; i < pui::item_count(combo); ++i)
        shown.push_back(pui::item_data(combo, i).toString());
    // Refilled only when the list changed: the user's selection stays otherwise.
    if (shown != names) {
        const QSignalBlocker quiet(combo);
        pui::remove_all_items(combo);
        for (const QString& name : names)
            pui::add_combo_item(combo, name, {}, name, 30);
    }
    if (light_type_ != 1) {
        if (QWidget* layout = control("lightcustom_layout"))
            layout->setVisible(!names.empty());
    }
}

int CLightControlUI::custom_selection() const {
    QWidget* combo = control("light_combo_custommodeSelect");
    return combo == nullptr ? -1 : pui::current_item(combo);
}

bool CLightControlUI::multi_colour_checked() const {
    return pui::is_selected(control("deng_7color_check"));
}

bool CLightControlUI::direction_left_checked() const {
    return pui::is_selected(control("deng_FXL_check"));
}

std::uint32_t CLightControlUI::preset_colour(int i) const {
    return pui::bk_color(control(numbered("color_option_", i)));
}

std::uint32_t CLightControlUI::preset_audio_colour(int i) const {
    return pui::bk_color(control(numbered("audiocolor_option_", i)));
}

// ---- Colour ----

void CLightControlUI::show_colour(std::uint32_t rgb) {
    colour_ = rgb & 0xFFFFFFu;
    const int channels[3] = {int(colour_ >> 16 & 0xFF), int(colour_ >> 8 & 0xFF),
                             int(colour_ & 0xFF)};
    const char names[3] = {'R', 'G', 'B'};
    for (int i = 0; i < 3; ++i) {
        const QString c{QLatin1Char(names[i])};
        pui::set_text(control(QStringLiteral("deng_edit_") + c), QString::number(channels[i]));
        pui::set_value(control(c + QStringLiteral("_light_slider")), channels[i]);
        pui::set_text(control(c + QStringLiteral("_light_label")),
                      QString::asprintf("%c %d", names[i], channels[i]));
    }
    if (auto* palette = qobject_cast<pui::ColorPalette*>(control("deng_Color_Pallet")))
        palette->set_select_color(QColor::fromRgb(colour_));
    pui::set_bk_color(control("deng_colordp_btn"), kOpaque | colour_);
}

void CLightControlUI::show_audio_colour(std::uint32_t rgb) {
    rgb &= 0xFFFFFFu;
    pui::set_text(control("deng_audioedit_R"), QString::number(rgb >> 16 & 0xFF));
    pui::set_text(control("deng_audioedit_G"), QString::number(rgb >> 8 & 0xFF));
    pui::set_text(control("deng_audioedit_B"), QString::number(rgb & 0xFF));
    if (auto* palette = qobject_cast<pui::ColorPalette*>(control("deng_audioColor_Pallet")))
        palette->set_select_color(QColor::fromRgb(rgb));
    pui::set_bk_color(control("deng_audiocolordp_btn"), kOpaque | rgb);
}

void CLightControlUI::take_colour(std::uint32_t rgb) {
    show_colour(rgb);
    // Against the record last shown or emitted: a drag has already shown the colour.
    if (colour_ != rgb_of(record_.red, record_.green, record_.blue))
        user_changed();
}

void CLightControlUI::take_audio_colour(std::uint32_t rgb) {
    require_audio_controls(kGetAudioError);
    show_audio_colour(rgb);
    const AudioLightInfo before = audio_;
    if (read_audio(true) != before)
        emit audio_light_changed(audio_);
}

std::uint32_t CLightControlUI::colour_from_edits(const char* prefix, std::uint32_t fallback) const {
    std::uint32_t out = 0;
    int shift = 16;
    for (char c : {'R', 'G', 'B'}) {
        const QWidget* edit = control(QString::fromLatin1(prefix) + QLatin1Char(c));
        const auto v = edit != nullptr ? channel_value(pui::text(edit)) : std::nullopt;
        out |= std::uint32_t(v ? *v : int(fallback >> shift & 0xFF)) << shift;
        shift -= 8;
    }
    return out;
}

// ---- Audio record ----

QWidget* CLightControlUI::audio_control(const char* name, const char* what) const {
    QWidget* w = control(name);
    if (w == nullptr)
        throw LightControlError(what);
    return w;
}

void CLightControlUI::require_audio_controls(const char* what) const {
    for (const char* name :
         {"light_combo_audiomodeSelect", "audio_FgColor_check", "audio_BkColor_check",
          "deng_7audiocolor_check", "deng_audioedit_R", "deng_audioedit_G", "deng_audioedit_B",
          "deng_audioColor_Pallet", "deng_audiocolordp_btn", "light_audiocolor_layout",
          "audiocolorpallet_layout"})
        audio_control(name, what);
}

void CLightControlUI::apply_audio(const AudioLightInfo& record) {
    // Every control first, so that a layout lacking one changes nothing.
    QWidget* combo = audio_control("light_combo_audiomodeSelect", kSetAudioError);
    QWidget* fg = audio_control("audio_FgColor_check", kSetAudioError);
    QWidget* bk = audio_control("audio_BkColor_check", kSetAudioError);
    QWidget* seven = audio_control("deng_7audiocolor_check", kSetAudioError);
    for (const char* name :
         {"deng_audioedit_R", "deng_audioedit_G", "deng_audioedit_B", "deng_audioColor_Pallet",
          "deng_audiocolordp_btn", "light_audiocolor_layout", "audiocolorpallet_layout"})
        audio_control(name, kSetAudioError);

    audio_ = record;
    pui::select_item(combo, record.audio_mode, false);
    std::uint32_t shown = 0;
    if (record.colour_type != 0) {
        shown = rgb_of(record.fg_red, record.fg_green, record.fg_blue);
        pui::set_selected(bk, false, false);
        pui::set_selected(fg, true, false);
        pui::set_selected(seven, record.seven_colour != 0, false);
    } else {
        shown = rgb_of(record.bk_red, record.bk_green, record.bk_blue);
        pui::set_selected(fg, false, false);
        pui::set_selected(bk, true, false);
    }
    show_audio_colour(shown);
    const bool colours = record.audio_mode != 3;
    control("light_audiocolor_layout")->setEnabled(colours);
    control("audiocolorpallet_layout")->setEnabled(colours);
}

AudioLightInfo CLightControlUI::read_audio(bool take_colour) {
    require_audio_controls(kGetAudioError);
    QWidget* combo = audio_control("light_combo_audiomodeSelect", kGetAudioError);
    QWidget* seven = audio_control("deng_7audiocolor_check", kGetAudioError);
    QWidget* bk_box = audio_control("audio_BkColor_check", kGetAudioError);
    QWidget* fg_box = audio_control("audio_FgColor_check", kGetAudioError);
    QWidget* shown = audio_control("deng_audiocolordp_btn", kGetAudioError);

    AudioLightInfo r = audio_;
    if (const int mode = pui::current_item(combo); mode >= 0)
        r.audio_mode = static_cast<std::uint8_t>(mode);
    r.seven_colour = pui::is_selected(seven) ? 1 : 0;
    const bool old_flag = audio_.colour_type != 0;
    const bool bk = pui::is_selected(bk_box), fg = pui::is_selected(fg_box);
    r.colour_type = (old_flag && bk) || (!old_flag && bk && !fg) ? 0 : 1;
    if (take_colour) {
        const std::uint32_t c = pui::bk_color(shown);
        const auto red = static_cast<std::uint8_t>(c >> 16),
                   green = static_cast<std::uint8_t>(c >> 8), blue = static_cast<std::uint8_t>(c);
        if (r.colour_type != 0) {
            r.fg_red = red;
            r.fg_green = green;
            r.fg_blue = blue;
        } else {
            r.bk_red = red;
            r.bk_green = green;
            r.bk_blue = blue;
        }
    }
    audio_ = r;
    return r;
}

bool CLightControlUI::set_audio_light_info(const AudioLightInfo& record) {
    try {
        apply_audio(record);
        return true;
    } catch (const LightControlError& e) {
        platform::debug_printf("%s\n", e.what());
        return false;
    }
}

std::optional<AudioLightInfo> CLightControlUI::get_audio_light_info(bool take_colour) {
    try {
        return read_audio(take_colour);
    } catch (const LightControlError& e) {
        platform::debug_printf("%s\n", e.what());
        return std::nullopt;
    }
}

// ---- The user's changes ----

void CLightControlUI::user_changed() {
    record_ = light_info();
    emit light_changed(record_);
}

void CLightControlUI::audio_changed() {
    const AudioLightInfo r = read_audio(false);
    const bool colours = r.audio_mode != 3;
    if (QWidget* w = control("light_audiocolor_layout"))
        w->setEnabled(colours);
    if (QWidget* w = control("audiocolorpallet_layout"))
        w->setEnabled(colours);
    emit audio_light_changed(r);
}

void CLightControlUI::on_notify(pui::Notification& msg) {
    if (msg.sender == nullptr || !isAncestorOf(msg.sender))
        return;
    const QString name = msg.sender_name();
    const std::string& type = msg.type;
    const bool selected = type == "selectchanged" && msg.wparam != 0;
    const bool commit = type == "killfocus" || type == "return";
    auto is = [&](const char* exact) { return name == QLatin1String(exact); };
    auto index_of = [&](const char* prefix) {
        const QString p = QString::fromLatin1(prefix);
        if (!name.startsWith(p))
            return -1;
        bool ok = false;
        const int n = name.mid(p.size()).toInt(&ok);
        return ok ? n : -1;
    };
    // Nothing a layout lacks may escape into the window's event loop.
    try {
        if (is("light_combo_modeSelect") && type == "itemselect") {
            mode_changed(static_cast<int>(msg.wparam));
            user_changed();
        } else if (is("light_combo_ZZCCmodeSelect") && type == "itemselect") {
            user_changed();
        } else if (is("light_combo_custommodeSelect") && type == "itemselect") {
            if (static_cast<int>(msg.wparam) >= 0)
                emit custom_effect_selected(static_cast<int>(msg.wparam));
        } else if ((is("deng_light_slider") || is("deng_speed_slider")) && type == "valuechanged") {
            user_changed();
        } else if ((is("R_light_slider") || is("G_light_slider") || is("B_light_slider")) &&
                   (type == "valuechanged" || type == "movevaluechanged")) {
            const int shift = is("R_light_slider") ? 16 : is("G_light_slider") ? 8 : 0;
            const std::uint32_t v = std::uint32_t(std::clamp(int(msg.wparam), 0, 255));
            const std::uint32_t rgb = (colour_ & ~(0xFFu << shift)) | v << shift;
            // A drag shows the colour; its release commits it.
            if (type == "valuechanged")
                take_colour(rgb);
            else
                show_colour(rgb);
        } else if ((is("deng_edit_R") || is("deng_edit_G") || is("deng_edit_B")) && commit) {
            const std::uint32_t rgb = colour_from_edits("deng_edit_", colour_);
            take_colour(rgb);
            show_colour(colour_);  // a refused text shows the kept value again
        } else if (is("deng_Color_Pallet") && type == "colorchanged") {
            take_colour(static_cast<std::uint32_t>(msg.wparam));
        } else if (const int n = index_of("color_option_"); n >= 0 && type == "click") {
            if (control(numbered("color_option_", n)) != nullptr)
                take_colour(preset_colour(n));
        } else if (is("deng_7color_check") && type == "selectchanged") {
            user_changed();
        } else if ((is("deng_FXL_check") || is("deng_FXR_check")) && selected) {
            user_changed();
        } else if (is("deng_same_mode") && type == "click") {
            emit same_mode_changed(pui::is_selected(msg.sender));
        } else if (is("light_combo_audiomodeSelect") && type == "itemselect") {
            audio_changed();
        } else if ((is("deng_audioedit_R") || is("deng_audioedit_G") || is("deng_audioedit_B")) &&
                   commit) {
            const std::uint32_t before =
                pui::bk_color(audio_control("deng_audiocolordp_btn", kGetAudioError));
            take_audio_colour(colour_from_edits("deng_audioedit_", before));
        } else if (is("deng_audioColor_Pallet") && type == "colorchanged") {
            take_audio_colour(static_cast<std::uint32_t>(msg.wparam));
        } else if (const int a = index_of("audiocolor_option_"); a >= 0 && type == "click") {
            if (control(numbered("audiocolor_option_", a)) != nullptr)
                take_audio_colour(preset_audio_colour(a));
        } else if (is("deng_7audiocolor_check") && type == "selectchanged") {
            audio_changed();
        } else if ((is("audio_BkColor_check") || is("audio_FgColor_check")) && selected) {
            // The other colour of the record comes up for editing.
            apply_audio(read_audio(false));
            emit audio_light_changed(audio_);
        }
    } catch (const LightControlError& e) {
        platform::debug_printf("lighting editor: %s\n", e.what());
    }
}

void register_light_controls() {
    pui::ControlFactory::instance().regist_control(QStringLiteral("CLightControlUI"),
                                                   [] { return new CLightControlUI; });
}

void CLightControlUI::set_audio_unavailable(const QString& text, const QString& detail) {
    QWidget* label = control("light_audio_unavailable_label");
    if (label == nullptr)
        return;
    label->setProperty("text", text);
    label->setToolTip(detail);
    label->setAccessibleDescription(detail);
    label->setVisible(!text.isEmpty());
}

}  // namespace velqa::profile
