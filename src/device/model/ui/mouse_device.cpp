#include "device/model/ui/mouse_device.h"

#include <QLineEdit>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "macro/button_download.h"
#include "macro/key_names.h"
#include "macro/macro_files.h"
#include "macro/shoot_data.h"
#include "macro/ui/keyset_control.h"
#include "macro/ui/macro_control.h"
#include "macro/ui/shoot_control.h"
#include "platform/debug_output.h"
#include "platform/desktop/pointer_settings.h"
#include "platform/folders.h"
#include "platform/ui/control_factory.h"
#include "platform/ui/controls.h"
#include "platform/ui/deferred_control.h"
#include "platform/ui/language.h"
#include "platform/ui/layout_builder.h"
#include "profile/profile_files.h"
#include "profile/settings_limits.h"
#include "profile/ui/light_control.h"
#include "ui/button_map.h"
#include "ui/device_key_button.h"
#include "ui/mouse_page.h"
#include "ui/msg_wnd.h"
#include "ui/pallet_dialog.h"

namespace velqa::model {

namespace pui = platform::ui;

namespace {

using pui::numbered;
using pui::Quiet;

constexpr char kSensorPicture[] = "file='main/mouse.png'";
// Offset between the sleep-time combo's item and the sleep-time index (1-6).
constexpr int DormancyComboOffset = 1;

std::uint32_t stage_argb(const profile::DpiStage& s) {
    return 0xFF000000u | std::uint32_t(s.red) << 16 | std::uint32_t(s.green) << 8 | s.blue;
}

}  // namespace

CZentovaMouseDevice::CZentovaMouseDevice(std::shared_ptr<platform::hid::HidBackend> backend,
                                         QWidget* parent)
    : CZentovaUSBDevice(std::move(backend), parent) {
    setProperty(pui::kClassProperty, QString::fromLatin1(kClassName));
    set_key_count(KeyCount);
    set_light_count(LightCount);
    // The light thread's callback runs on its thread: it only posts to this page's thread.
    set_page_parts(profile_, std::make_unique<MouseLightThread>(channel_, [this] { post_frame(); }),
                   "mouse page");
    make_notifications({});
}

CZentovaMouseDevice::~CZentovaMouseDevice() {
    stop_threads();
}

// ---- Profile ----

void CZentovaMouseDevice::attach_profile(const std::filesystem::path& file) {
    attach_mouse_profile(profile_, core_, file, default_data_);
}

void CZentovaMouseDevice::set_pointer_value(const PointerRow& row, int value) {
    change(mouse::Pointer{row.which, value});
    {
        Quiet quiet(this);
        pui::set_selected(find(QLatin1String(row.desktop_check)), false, false);
    }
    emit pointer_setting_changed(static_cast<int>(row.which));
}

void CZentovaMouseDevice::use_desktop_pointer(const PointerRow& row, bool on) {
    if (!on) {
        // The profile takes the value the row shows, which is the desktop's own.
        QWidget* control = find(QLatin1String(row.control));
        set_pointer_value(row, row.slider ? pui::value(control) : pui::is_selected(control));
        return;
    }
    change(mouse::Pointer{row.which, std::nullopt});
    emit pointer_setting_changed(static_cast<int>(row.which));
}

ApplyResult CZentovaMouseDevice::change(const MouseChange& what,
                                        const std::function<void()>& stored) {
    const ApplyResult result = core_.apply(channel_, what, stored);
    report_applied(result);
    return result;
}

void CZentovaMouseDevice::change_audio_lighting(const profile::AudioLightInfo& info) {
    ensure_profile();
    change(mouse::AudioLighting{info});
}

int CZentovaMouseDevice::write_device_settings() {
    return core_.apply(channel_, mouse::WholeProfile{}).write_code;
}

bool CZentovaMouseDevice::read_device_settings(Mirror mirror) {
    core_.read_settings(channel_, mirror);
    return false;
}

void CZentovaMouseDevice::show_device_state() {
    profile::CMouseProfiledata shown = profile_;
    mirror_into_profile(core_.state(), core_.sensor(), shown);
    show_values(shown);
    show_lighting(shown.light_info());
}

// ---- Page ----

QString CZentovaMouseDevice::default_page_layout() const {
    return QString::fromLatin1(ui::kMousePageLayout);
}

void CZentovaMouseDevice::page_built() {
    ui::fill_mouse_page_combos(page_);
    {
        // The pointer sliders run over the ranges a profile's values are held to.
        Quiet quiet(this);
        pui::set_range(find(QStringLiteral("pointer_speed_slider")), profile::PointerSpeedRange.min,
                       profile::PointerSpeedRange.max);
        pui::set_range(find(QStringLiteral("scroll_speed_slider")), profile::WheelLinesRange.min,
                       profile::WheelLinesRange.max);
        pui::set_range(find(QStringLiteral("double_click_slider")), profile::DoubleClickRange.min,
                       profile::DoubleClickRange.max);
    }
    pui::set_selected(find(QStringLiteral("mouse_device_seting_option_0")), true, false);
    pui::select_page(find(QStringLiteral("mouse_device_seting_layout")), 0);
    pui::set_selected(find(QStringLiteral("key_page_option_0")), true, false);
    pui::select_page(find(QStringLiteral("key_page_layout")), 0);
    bind_button_editors();
}

// ---- Buttons and macros ----

pui::LayoutBuilder::Callback CZentovaMouseDevice::layout_callback() {
    // The Buttons and Macros tabs' editors are most of the page; each is built when its tab is
    // first shown or when something asks for it.
    return [](const QString& class_name) -> QWidget* {
        auto deferred = [&class_name](const char* tag, const QMetaObject& type) -> QWidget* {
            if (class_name.compare(QLatin1String(tag), Qt::CaseInsensitive) != 0)
                return nullptr;
            return new pui::DeferredControl(type, [tag] {
                return pui::ControlFactory::instance().create_control(QLatin1String(tag));
            });
        };
        if (QWidget* w = deferred(macro::CKeySetControlUI::kClassName,
                                  macro::CKeySetControlUI::staticMetaObject))
            return w;
        if (QWidget* w = deferred(macro::CShootControlUI::kClassName,
                                  macro::CShootControlUI::staticMetaObject))
            return w;
        return deferred(macro::CMacroControlUI::kClassName,
                        macro::CMacroControlUI::staticMetaObject);
    };
}

macro::CMacroControlUI* CZentovaMouseDevice::macro_editor() const {
    return pui::DeferredControl::find<macro::CMacroControlUI>(page_, true);
}

macro::CKeySetControlUI* CZentovaMouseDevice::keyset_editor() const {
    return pui::DeferredControl::find<macro::CKeySetControlUI>(page_, true);
}

macro::CShootControlUI* CZentovaMouseDevice::shoot_editor() const {
    return pui::DeferredControl::find<macro::CShootControlUI>(page_, true);
}

template <class T>
T* CZentovaMouseDevice::built_editor() const {
    return pui::DeferredControl::find<T>(page_, false);
}

void CZentovaMouseDevice::set_capture_note(const QString& note) {
    capture_note_ = note;
    if (auto* macros = built_editor<macro::CMacroControlUI>())
        macros->set_capture_note(note);
}

bool CZentovaMouseDevice::write_shooting_patterns() {
    macro::CShootControlUI* editor = shoot_editor();
    if (editor == nullptr)
        return false;
    if (!core_.has_record()) {
        platform::debug_output("mouse page: patterns not written until the mouse is read\n");
        emit shooting_written(false);
        return false;
    }
    const int rc = macro::download_shooting_patterns(channel_, editor->patterns());
    if (rc != link::result::Success) {
        platform::debug_printf("mouse page: the shooting patterns write gave %d\n", rc);
        report_write_failure("shoot_write_failed_text");
    }
    emit shooting_written(rc == link::result::Success);
    return rc == link::result::Success;
}

void CZentovaMouseDevice::bind_button_editors() {
    for (pui::DeferredControl* d : page_->findChildren<pui::DeferredControl*>())
        connect(d, &pui::DeferredControl::created, this, &CZentovaMouseDevice::bind_editor);
    // Editors the layout built at once.
    for (QWidget* editor : std::initializer_list<QWidget*>{
             built_editor<macro::CShootControlUI>(), built_editor<macro::CKeySetControlUI>(),
             built_editor<macro::CMacroControlUI>()}) {
        if (editor != nullptr)
            bind_editor(editor);
    }
}

void CZentovaMouseDevice::bind_editor(QWidget* editor) {
    if (auto* shoot = qobject_cast<macro::CShootControlUI*>(editor)) {
        shoot->set_folders(user_data_folder(), default_data_);
        connect(shoot, &macro::CShootControlUI::download_requested, this,
                [this] { write_shooting_patterns(); });
        return;
    }
    if (auto* keys = qobject_cast<macro::CKeySetControlUI*>(editor)) {
        keys->set_page_kind(false);
        connect(keys, &macro::CKeySetControlUI::key_saved, this, &CZentovaMouseDevice::store_key);
        connect(keys, &macro::CKeySetControlUI::write_requested, this,
                [this] { write_buttons(ButtonsFor::WriteButton); });
        refresh_macro_choice();
        show_selected_key();
        return;
    }
    auto* macros = qobject_cast<macro::CMacroControlUI*>(editor);
    if (macros == nullptr)
        return;
    if (!capture_note_.isEmpty())
        macros->set_capture_note(capture_note_);
    macros->set_macro_folder(user_data_folder());
    macros->load_macro_list();
    macros->set_references({[this](int index) {
                                ensure_profile();
                                return macro::uses_macro(profile_.read_key_list(), index);
                            },
                            [this](int index) { return fix_macro_profiles(index); }});
    connect(macros, &macro::CMacroControlUI::recording_started, this,
            &CZentovaMouseDevice::recording_started);
    connect(macros, &macro::CMacroControlUI::recording_stopped, this,
            &CZentovaMouseDevice::recording_stopped);
    connect(macros, &macro::CMacroControlUI::macro_added, this, [this](const QString& name) {
        if (auto* keys = built_editor<macro::CKeySetControlUI>())
            keys->add_macro(name);
    });
    connect(macros, &macro::CMacroControlUI::macro_renamed, this,
            [this](int index, const QString& name) {
                if (auto* keys = built_editor<macro::CKeySetControlUI>())
                    keys->rename_macro(index, name);
                refresh_key_labels();
            });
    connect(macros, &macro::CMacroControlUI::macro_deleted, this,
            [this](int, bool current_profile_changed) {
                refresh_macro_choice();
                refresh_key_labels();
                show_selected_key();
                // The mouse holds the current profile's buttons: they follow the new numbering.
                if (current_profile_changed)
                    write_buttons(ButtonsFor::WriteButton);
            });
    refresh_macro_choice();
}

void CZentovaMouseDevice::refresh_macro_choice() {
    auto* keys = built_editor<macro::CKeySetControlUI>();
    auto* macros = built_editor<macro::CMacroControlUI>();
    if (keys == nullptr)
        return;
    if (macros != nullptr) {
        keys->fill_macros(macros->macro_names());
        return;
    }
    macro::MacroLibrary library(user_data_folder());
    library.load();
    keys->fill_macros(library.names());
}

bool CZentovaMouseDevice::fix_macro_profiles(int deleted) {
    ensure_profile();
    const macro::ProfileFixOutcome others = macro::fix_macro_references_in_profiles(
        user_data_folder(), default_data_ / (name_ + ".Json"), deleted, profile_.profile_path());
    if (!others.list_error.empty())
        platform::debug_printf("mouse page: profile list: %s\n", others.list_error.c_str());
    for (const auto& file : others.failed)
        platform::debug_printf("mouse page: %s could not be stored\n", file.string().c_str());
    std::vector<profile::KeyAssignment> keys = profile_.read_key_list();
    if (!macro::fix_macro_references(keys, deleted))
        return false;
    profile_.write_key_list(keys);
    if (!profile_.save())
        report_write_failure(kSaveFailedText, QString::fromStdString(profile_.save_error()));
    return true;
}

void CZentovaMouseDevice::show_selected_key() {
    auto* editor = built_editor<macro::CKeySetControlUI>();
    const int k = selected_key();
    if (editor == nullptr || k < 0)
        return;
    ensure_profile();
    const std::vector<profile::KeyAssignment> keys = profile_.read_key_list();
    if (static_cast<std::size_t>(k) < keys.size())
        editor->show_key(keys[static_cast<std::size_t>(k)]);
}

void CZentovaMouseDevice::store_key(const profile::KeyCode& code) {
    const int k = selected_key();
    if (k < 0)
        return;
    ensure_profile();
    if (change(mouse::KeyAssignment{k, code}).failed == ApplyResult::Step::Refused) {
        platform::debug_printf("mouse page: key %d has no entry in the profile\n", k);
        return;
    }
    refresh_key_labels();
}

void CZentovaMouseDevice::refresh_key_labels() {
    ensure_profile();
    const std::vector<profile::KeyAssignment> keys = profile_.read_key_list();
    std::vector<std::string> macros;
    if (auto* editor = built_editor<macro::CMacroControlUI>()) {
        macros = editor->macro_names();
    } else {
        macro::MacroLibrary library(user_data_folder());
        library.load();
        macros = library.names();
    }
    auto& texts = pui::LanguageTexts::instance();
    std::vector<QString> labels;
    std::vector<QString> names;
    for (std::size_t i = 0; i < keys_.size() && i < keys.size(); ++i) {
        QString what;
        for (const macro::LabelPart& part : macro::assignment_label(keys[i].current, macros)) {
            const QString piece = QString::fromStdString(part.text);
            what += part.literal ? piece : texts.text(piece);
        }
        QWidget* button = keys_[i];
        const QString tip_id = button != nullptr ? button->property("toolTipId").toString() : "";
        const QString name = tip_id.isEmpty() ? QString() : texts.text(tip_id);
        if (button != nullptr)
            button->setToolTip(name.isEmpty() ? what : name + QStringLiteral(": ") + what);
        labels.push_back(what);
        names.push_back(name);
    }
    if (ui::ButtonMap* map = button_map())
        map->set_labels(labels, names);
}

ui::ButtonMap* CZentovaMouseDevice::button_map() const {
    return page_ != nullptr ? page_->findChild<ui::ButtonMap*>() : nullptr;
}

void CZentovaMouseDevice::set_language(int index) {
    CZentovaUSBDevice::set_language(index);
    // The window reloads the layout's texts; the labels built here follow them.
    if (auto* keys = built_editor<macro::CKeySetControlUI>())
        keys->refresh_texts();
    refresh_key_labels();
}

void CZentovaMouseDevice::report(const char* text_id, int number) {
    QWidget* owner = main_window_ ? static_cast<QWidget*>(main_window_.data()) : window();
    const int dpi = main_window_ ? main_window_->dpi() : 96;
    QString text = pui::LanguageTexts::instance().text(QString::fromLatin1(text_id));
    if (number >= 0)
        text.replace(QStringLiteral("%d"), QString::number(number));
    ui::show_message(owner, QString(), text, dpi, 0, 0);
}

bool CZentovaMouseDevice::write_buttons(ButtonsFor why) {
    ensure_profile();
    if (!core_.has_record()) {
        platform::debug_output("mouse page: buttons not written until the mouse is read\n");
        emit buttons_written(false);
        return false;
    }
    const auto& tables = core_.key_tables();
    const macro::ButtonWrite w = macro::write_buttons(
        channel_, user_data_folder(), tables, core_.info().key_count, profile_.read_key_list(),
        why == ButtonsFor::ProfileApply ? macro::AfterMacroFailure::WriteKeys
                                        : macro::AfterMacroFailure::SkipKeys);
    if (w.overflow())
        report("message_text_16", w.macros);
    else if (w.macros < 0)
        report_write_failure("message_text_7");
    if (w.keys_attempted && w.keys != 1) {
        platform::debug_printf("mouse page: the key table write gave %d\n", w.keys);
        // The profile keeps the assignments: "Write to mouse" tries them again.
        report_write_failure();
    }
    emit buttons_written(w.ok());
    return w.ok();
}

void CZentovaMouseDevice::switch_function_page(int page_type) {
    CZentovaUSBDevice::switch_function_page(page_type);
    if (QWidget* info = find(QStringLiteral("device_tishi_info")))
        info->hide();
    // The buttons' labels show beside the picture on the Buttons tab only. They need room
    // there, so the tabs not shown do not hold the page at their own widths.
    auto* pages = qobject_cast<QStackedWidget*>(find(QStringLiteral("device_function_switch")));
    if (pages == nullptr)
        return;
    for (int i = 0; i < pages->count(); ++i) {
        QWidget* tab = pages->widget(i);
        QSizePolicy policy = tab->sizePolicy();
        policy.setHorizontalPolicy(tab == pages->currentWidget() ? QSizePolicy::Preferred
                                                                 : QSizePolicy::Ignored);
        tab->setSizePolicy(policy);
    }
    show_button_labels_where_they_fit();
}

void CZentovaMouseDevice::show_key_page(int index) {
    pui::set_selected(find(QStringLiteral("key_page_option_") + QString::number(index)), true,
                      false);
    pui::select_page(find(QStringLiteral("key_page_layout")), index);
    show_button_labels_where_they_fit();
}

void CZentovaMouseDevice::show_button_labels_where_they_fit() {
    // Only the assignment editor leaves the picture room for its labels; the shooting editor
    // beside it needs the width itself.
    ui::ButtonMap* map = button_map();
    if (map == nullptr)
        return;
    auto* pages = qobject_cast<QStackedWidget*>(find(QStringLiteral("device_function_switch")));
    auto* editors = qobject_cast<QStackedWidget*>(find(QStringLiteral("key_page_layout")));
    const QWidget* shown = pages != nullptr ? pages->currentWidget() : nullptr;
    map->set_labels_shown(shown != nullptr &&
                          shown->objectName() == QLatin1String("function_page_keys") &&
                          (editors == nullptr || editors->currentIndex() == 0));
    show_selected_on_picture();
}

void CZentovaMouseDevice::select_key(int index) {
    CZentovaUSBDevice::select_key(index);
    show_selected_on_picture();
    show_selected_key();
}

void CZentovaMouseDevice::show_selected_on_picture() {
    // The key and its light indicator (same number) are highlighted while the Buttons tab is
    // shown; elsewhere an outlined key would read as a choice the tab does not offer.
    ui::ButtonMap* map = button_map();
    const int index = map == nullptr || map->labels_shown() ? selected_key() : -1;
    auto mark = [index](const std::vector<QPointer<QWidget>>& list) {
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (auto* spot = qobject_cast<ui::CDeviceKeyButtonUI*>(list[i].data()))
                spot->set_current(static_cast<int>(i) == index);
            else if (list[i])
                pui::set_selected(list[i], static_cast<int>(i) == index, false);
        }
    };
    mark(keys_);
    mark(lights_);
    if (map != nullptr)
        map->set_selected(index);
}

int CZentovaMouseDevice::load_from_device() {
    const LoadOutcome load = core_.load_from_device(channel_, 0);
    // The page shows what the mouse holds: its buttons come into the profile as its settings do.
    // Only here: a load that precedes a write must leave the profile's changes alone.
    if (load.result == link::result::Success && merge_device_keys(profile_, core_.info().key_count))
        profile_.save();
    if (load.link_message)
        send_to_main(*load.link_message, 0);
    Quiet quiet(this);
    for (int n = 0; n < StageCount; ++n)
        pui::set_range(find(numbered("DPI_slider_", n)), load.range.min, load.range.max);
    if (load.sensor_picture)
        pui::set_bk_image(find(QStringLiteral("ms_device_name")),
                          QString::fromLatin1(kSensorPicture));
    if (load.sensor_id)
        send_to_main(MsgSensor, *load.sensor_id);
    return load.result;
}

void CZentovaMouseDevice::load_profile_into_page() {
    const int set = core_.sensor().stage_set;
    if (set >= 0)
        profile_.read_dpi_stages(set);
    profile_.read_system_settings();
    profile_.read_light_info();
    Quiet quiet(this);
    const profile::MouseSystemSettings& sys = profile_.system_settings();
    pui::set_value(find(QStringLiteral("pointer_speed_slider")), sys.pointer_speed);
    pui::set_value(find(QStringLiteral("scroll_speed_slider")), sys.wheel_scroll_lines);
    pui::set_value(find(QStringLiteral("double_click_slider")), sys.double_click_time);
    pui::set_selected(find(QStringLiteral("pointer_precision_check")), sys.pointer_precision != 0,
                      false);
    pui::set_selected(find(QStringLiteral("scrolls_page_check")), sys.scroll_page != 0, false);
    const std::uint8_t fields_set = profile_.pointer_fields_set();
    for (const PointerRow& row : PointerRows)
        pui::set_selected(find(QLatin1String(row.desktop_check)),
                          (fields_set & platform::desktop::pointer_field_bit(row.which)) == 0,
                          false);
    emit pointer_rows_loaded();
    refresh_key_labels();
    // The Buttons tab always shows a button: the first until the user picks another.
    if (selected_key() < 0 && pui::DeferredControl::holds<macro::CKeySetControlUI>(page_))
        select_key(0);
    else
        show_selected_key();
}

// The profile mirrors the device after every read and holds every change since, so the page
// shows it; the decoded state adds the active stage the mouse reported last.
void CZentovaMouseDevice::refresh_page() {
    showing_device_values_ = false;
    show_values(profile_);
}

void CZentovaMouseDevice::show_values(profile::CMouseProfiledata& shown) {
    Quiet quiet(this);
    const auto stages = shown.dpi_stages();
    for (int n = 0; n < StageCount && n < static_cast<int>(stages.size()); ++n) {
        const profile::DpiStage& s = stages[static_cast<std::size_t>(n)];
        pui::set_selected(find(numbered("DPI_enable_check_", n)), s.stage_flag != 0, false);
        pui::set_value(find(numbered("DPI_slider_", n)), s.dpi_x);
        pui::set_text(find(numbered("DPI_edit_", n)), QString::number(dpi_display_value(s.dpi_x)));
        pui::set_bk_color(find(numbered("DPI_color_option_", n)), stage_argb(s));
    }
    const int active =
        core_.has_record() ? core_.state().settings.active_stage : shown.active_stage();
    if (active >= 0 && active < StageCount)
        ui::show_active_dpi_stage(this, active);

    const profile::MouseSystemSettings& sys = shown.system_settings();
    const int polling = channel_.receiver_path() ? sys.report_item_24g : sys.report_item_usb;
    const int option = polling >= 0 && polling < PollingOptions ? polling : 0;
    pui::set_selected(find(numbered("polling_rate_option_", option)), true, false);
    pui::set_value(find(QStringLiteral("polling_rate_slider")), option);
    auto two_way = [&](const char* prefix, int index) {
        pui::set_selected(find(numbered(prefix, shown_two_way_option(index))), true, false);
    };
    two_way("Linear_Calibration_option_", sys.linear_calibration);
    two_way("Silent_Altitude_option_", sys.silent_altitude);
    two_way("motion_sync_option_", sys.motion_sync);
    two_way("sensor_lif_option_", sys.sensor_lift);
    two_way("deep_sleep_option_", sys.deep_sleep_off);
    pui::set_value(find(QStringLiteral("Key_Delay_slider")), sys.key_delay);
    pui::select_item(find(QStringLiteral("Key_Delay_combo_timeSelect")), sys.key_delay, false);
    if (sys.dormancy_time >= 1) {
        pui::set_value(find(QStringLiteral("Dormancy_slider")), sys.dormancy_time);
        pui::select_item(find(QStringLiteral("Dormancy_combo_timeSelect")),
                         sys.dormancy_time - DormancyComboOffset, false);
    }
    pui::select_item(find(QStringLiteral("Anti_Shake_combo_timeSelect")), sys.anti_shake, false);
    if (QWidget* slider = find(QStringLiteral("Dormancy_slider")))
        slider->setEnabled(sys.deep_sleep_off != 0);
    fill_light_editor(shown);
    if (profile::CLightControlUI* editor = light_editor()) {
        std::vector<QString> names;
        for (const std::string& name : profile_.custom_effect_names())
            names.push_back(QString::fromStdString(name));
        editor->set_custom_list(names);
    }
    emit refreshed();
}

void CZentovaMouseDevice::light_mode_list(std::vector<QString>& names, std::vector<bool>& visible) {
    for (const LightModeEntry& mode :
         light_modes(profile::read_json(default_data_ / "default_light.json"), 0)) {
        names.push_back(QString::fromStdString(mode.name));
        visible.push_back(mode.visible);
    }
}

void CZentovaMouseDevice::change_lighting(const profile::LightInfo& info) {
    if (!core_.has_record()) {
        platform::debug_output("mouse page: lighting change ignored until the mouse is read\n");
        return;
    }
    // A newly selected effect pauses the preview until the settings are read back from the
    // mouse, so the page never animates an effect the mouse did not take.
    const bool effect_selected = info.mode != profile_.light_info().mode;
    if (effect_selected)
        channel_.set_preview_pause(1);
    const ApplyResult result =
        change(mouse::Lighting{info}, [this] { apply_lighting_from_profile(); });
    // A refused write reads the settings back at once, which ends the pause too.
    if (result.ok() && effect_selected)
        start_tile_timer(TimerSettings, SettingsReloadDelayMs);
}

void CZentovaMouseDevice::apply_custom_effect(int entry) {
    ensure_profile();
    const auto info =
        custom_effect_record(profile_.light_info(), profile_.read_custom_effect(entry), entry);
    if (!info) {
        platform::debug_printf("mouse page: custom effect %d has no steps\n", entry);
        return;
    }
    change_lighting(*info);
    fill_light_editor(profile_);
}

void CZentovaMouseDevice::select_dpi_stage(int index) {
    if (index < 0 || index >= StageCount)
        return;
    mouse::ActiveStage active{index, std::nullopt};
    // Sliders showing what the mouse holds would overwrite the values it refused.
    if (!showing_device_values_) {
        std::array<int, StageCount> shown{};
        const auto stages = profile_.dpi_stages();
        for (int n = 0; n < StageCount; ++n) {
            const auto i = static_cast<std::size_t>(n);
            QWidget* slider = find(numbered("DPI_slider_", n));
            shown[i] = slider != nullptr   ? pui::value(slider)
                       : i < stages.size() ? stages[i].dpi_x
                                           : 0;
        }
        active.shown_dpi = shown;
    }
    {
        Quiet quiet(this);
        ui::show_active_dpi_stage(this, index);
    }
    change(active);
}

// ---- Notification interfaces ----

void CZentovaMouseDevice::show_reactive(const NotificationEvent& event) {
    (void)event;
    light_thread().trigger_reactive();
}

bool CZentovaMouseDevice::apply_slot_change(const NotificationAction& action) {
    if (!core_.apply(action))
        return false;
    // The mouse switched stage itself: the profile follows the device.
    const int set = core_.sensor().stage_set;
    if (action.stage >= 0 && set >= 0) {
        profile_.write_active_stage(action.stage, set);
        profile_.save();
    }
    return true;
}

// ---- Page changes ----

void CZentovaMouseDevice::notify(pui::Notification& msg) {
    if (!own_notification(msg))
        return;
    // Which of the Buttons tab's two editors shows needs no mouse.
    if (msg.type == "selectchanged" && msg.wparam != 0) {
        const auto [prefix, n] = indexed_name(msg.sender_name());
        if (prefix == "key_page_option_" && n >= 0) {
            show_key_page(n);
            return;
        }
    }
    // Until the mouse's values are shown, the controls show nothing worth keeping: a change
    // then (focus passing through an edit, say) would store and send placeholders.
    if (!core_.has_record()) {
        platform::debug_printf("mouse page: %s ignored until the mouse is read\n",
                               msg.type.c_str());
        return;
    }
    on_change(msg.sender_name(), msg);
}

void CZentovaMouseDevice::commit_dpi_edit(int stage) {
    QWidget* edit = find(numbered("DPI_edit_", stage));
    if (edit == nullptr)
        return;
    const std::string typed = pui::text(edit).toStdString();
    // Unchanged text (focus passing through) costs no write; while the page shows what the
    // mouse holds, the same value again is the user's retry.
    const ApplyResult result = change(
        mouse::StageDpi{stage, typed_number(typed), !showing_device_values_ && !typed.empty()});
    if (result.unchanged || !result.ok())
        return;
    Quiet quiet(this);
    pui::set_value(find(numbered("DPI_slider_", stage)), result.stored);
    pui::set_text(edit, QString::number(dpi_display_value(result.stored)));
}

void CZentovaMouseDevice::pick_stage_colour(int stage) {
    const auto stages = profile_.dpi_stages();
    const std::uint32_t current =
        static_cast<std::size_t>(stage) < stages.size()
            ? stage_argb(stages[static_cast<std::size_t>(stage)]) & 0xFFFFFFu
            : 0xFFFFFFu;
    const auto user = user_data_.empty() ? platform::user_data_folder() : user_data_;
    QWidget* owner = main_window_ ? static_cast<QWidget*>(main_window_.data()) : window();
    const int dpi = main_window_ ? main_window_->dpi() : 96;
    std::uint32_t chosen = 0;
    const int result = ui::show_pallet_dialog(owner, dpi, current, {user, default_data_}, chosen);
    {
        // The click toggled the stage's select check: show the active stage again.
        Quiet quiet(this);
        const int active = profile_.active_stage();
        if (active >= 0 && active < StageCount)
            ui::show_active_dpi_stage(this, active);
    }
    if (result != 1)
        return;
    profile::DpiStage shown;
    shown.red = static_cast<std::uint8_t>(chosen >> 16);
    shown.green = static_cast<std::uint8_t>(chosen >> 8);
    shown.blue = static_cast<std::uint8_t>(chosen);
    pui::set_bk_color(find(numbered("DPI_color_option_", stage)), stage_argb(shown));
    change(mouse::StageColour{stage, shown.red, shown.green, shown.blue});
}

void CZentovaMouseDevice::on_change(const QString& name, pui::Notification& msg) {
    const auto [prefix, n] = indexed_name(name);
    const std::string& type = msg.type;
    const bool selected = type == "selectchanged" && msg.wparam != 0;
    const int value = static_cast<int>(msg.wparam);

    if (n >= 0 && n < StageCount && prefix.starts_with("DPI_")) {
        // Focus that Tab passes through a stage's field leaves the active stage alone: only a
        // click there (or the stage's number) makes it the active one.
        const bool tabbed =
            msg.wparam == Qt::TabFocusReason || msg.wparam == Qt::BacktabFocusReason;
        if (prefix == "DPI_slider_" && type == "valuechanged") {
            const ApplyResult result = change(mouse::StageDpi{n, value});
            if (result.failed == ApplyResult::Step::Refused)
                return;
            Quiet quiet(this);
            pui::set_text(find(numbered("DPI_edit_", n)),
                          QString::number(dpi_display_value(result.stored)));
            const int active = profile_.active_stage();
            if (active >= 0 && active < StageCount)
                ui::show_active_dpi_stage(this, active);
        } else if (prefix == "DPI_slider_" && type == "movevaluechanged") {
            Quiet quiet(this);
            pui::set_text(find(numbered("DPI_edit_", n)),
                          QString::number(dpi_display_value(value)));
        } else if (prefix == "DPI_edit_" && (type == "killfocus" || type == "return")) {
            commit_dpi_edit(n);
        } else if (prefix == "DPI_edit_" && (type == "click" || (type == "setfocus" && !tabbed))) {
            select_dpi_stage(n);
        } else if (prefix == "DPI_enable_check_" && type == "selectchanged") {
            change(mouse::StageEnabled{n, msg.wparam != 0});
        } else if ((prefix == "DPI_select_check_" || prefix == "DPI_color_option_") &&
                   type == "click") {
            pick_stage_colour(n);
        }
        return;
    }

    auto option = [&](MouseOption which, int v) { change(mouse::Option{which, v}); };
    if (selected && n >= 0) {
        if (prefix == "polling_rate_option_" && n < PollingOptions) {
            const PollingField field =
                polling_option_field(channel_.receiver_path(), receiver_pid_);
            change(mouse::Polling{field, n});
        } else if (prefix == "Silent_Altitude_option_") {
            option(MouseOption::LiftOff, n);
        } else if (prefix == "Linear_Calibration_option_") {
            option(MouseOption::LinearCalibration, n);
        } else if (prefix == "motion_sync_option_") {
            option(MouseOption::MotionSync, n);
        } else if (prefix == "sensor_lif_option_") {
            option(MouseOption::SensorLift, n);
        } else if (prefix == "deep_sleep_option_") {
            if (QWidget* slider = find(QStringLiteral("Dormancy_slider")))
                slider->setEnabled(n != 0);
            option(MouseOption::DeepSleep, n);
        } else if (prefix == "mouse_device_seting_option_") {
            pui::select_page(find(QStringLiteral("mouse_device_seting_layout")), n);
        }
        return;
    }

    if (name == QLatin1String("polling_rate_slider") && type == "valuechanged") {
        const PollingField field = polling_slider_field(channel_.receiver_path());
        change(mouse::Polling{field, value});
    } else if (name == QLatin1String("Dormancy_combo_timeSelect") && type == "itemselect") {
        QWidget* slider = find(QStringLiteral("Dormancy_slider"));
        {
            Quiet quiet(this);
            pui::set_value(slider, value + DormancyComboOffset);
        }
        option(MouseOption::SleepTime, pui::value(slider));
    } else if (name == QLatin1String("Dormancy_slider") && type == "valuechanged") {
        {
            Quiet quiet(this);
            pui::select_item(find(QStringLiteral("Dormancy_combo_timeSelect")),
                             value - DormancyComboOffset, false);
        }
        option(MouseOption::SleepTime, value);
    } else if (name == QLatin1String("Key_Delay_combo_timeSelect") && type == "itemselect") {
        QWidget* slider = find(QStringLiteral("Key_Delay_slider"));
        {
            Quiet quiet(this);
            pui::set_value(slider, value);
        }
        option(MouseOption::KeyDelay, pui::value(slider));
    } else if (name == QLatin1String("Key_Delay_slider") && type == "valuechanged") {
        {
            Quiet quiet(this);
            pui::select_item(find(QStringLiteral("Key_Delay_combo_timeSelect")), value, false);
        }
        option(MouseOption::KeyDelay, value);
    } else if (name == QLatin1String("Anti_Shake_combo_timeSelect") && type == "itemselect") {
        option(MouseOption::AntiShake, value);
    } else {
        for (const PointerRow& row : PointerRows) {
            if (name == QLatin1String(row.control) &&
                type == (row.slider ? "valuechanged" : "selectchanged")) {
                set_pointer_value(row, row.slider ? value : msg.wparam != 0);
            } else if (name == QLatin1String(row.desktop_check) && type == "selectchanged") {
                use_desktop_pointer(row, msg.wparam != 0);
            }
        }
    }
}

}  // namespace velqa::model
